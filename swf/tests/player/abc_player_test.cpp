// haxe's ActionScript 3 movies read with their byte code parsed into the ABC
// model, then written again, loaded from the XML form, and written with a
// string of the constant pool changed: the player runs each, and its trace
// and pixels say the code survived (and that the change took).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "platform/player/player_test_support.h"
#include "swf/do_abc.h"
#include "swf/reader.h"
#include "test_util.h"
#include "tool_fixtures.h"

namespace {

TSWFDoABC* FindDoAbc(TSWFStreamReader& reader) {
    for (const auto& info : reader.Tags)
        if (auto* tag = dynamic_cast<TSWFDoABC*>(info->Object)) return tag;
    return nullptr;
}

struct TVariants {
    std::string rewritten, fromXml, edited;
};

// The three rewritten files of a movie; edit, when set, changes the parsed
// block before the third is written.
TVariants WriteVariants(const std::string& original, const std::filesystem::path& folder, const std::string& stem,
                        const std::function<void(TSWFDoABC&)>& edit) {
    TVariants files;
    TSWFStreamReader reader(original);
    reader.ParseTags(true, true);
    TSWFDoABC* tag = FindDoAbc(reader);
    EXPECT_NE(tag, nullptr);
    if (tag) {
        EXPECT_FALSE(tag->HasRawData) << tag->RawReason;
    }
    reader.MakeStream();
    files.rewritten = (folder / (stem + "-rewritten.swf")).string();
    reader.SaveToFile(files.rewritten);

    TXmlDocument doc;
    reader.Settings.Options = 0;
    reader.Settings.ActionFormat = 0;
    reader.SaveToXml(doc.Root().AddChild("Movie"));
    TXmlDocument reread;
    reread.LoadFromString(doc.SaveToString());
    TSWFStreamReader loaded;
    EXPECT_TRUE(loaded.LoadFromXml(reread.DocumentElement(), true));
    loaded.MakeStream();
    files.fromXml = (folder / (stem + "-from-xml.swf")).string();
    loaded.SaveToFile(files.fromXml);

    if (edit && tag) {
        edit(*tag);
        reader.MakeStream();
        files.edited = (folder / (stem + "-edited.swf")).string();
        reader.SaveToFile(files.edited);
    }
    return files;
}

}  // namespace

TEST(PlayerAbc, RewrittenHaxeMoviesRunTheirCode) {
    TW_REQUIRE_PLAYER();
    const std::string plain = HaxeFixture();
    const std::string vectors = HaxeVectorFixture();
    if (plain.empty() || vectors.empty()) TW_SKIP_OR_FAIL() << "haxe is not installed";
    std::filesystem::path folder = std::filesystem::path(TestScratchFolder("tw_player_abc"));
    TPlayerHarness& player = TPlayerHarness::Shared();

    // The vector program: its trace and its red square, from every variant.
    TVariants files = WriteVariants(vectors, folder, "vector", [](TSWFDoABC& tag) {
        auto& strings = tag.ConstantPool.Strings;
        auto found = std::find(strings.begin(), strings.end(), "boom");
        ASSERT_NE(found, strings.end());
        *found = "edited";
    });
    const std::vector<std::string> expected = {"sum 30 a-b 5 9.25 boom"};
    for (const std::string& path : {vectors, files.rewritten, files.fromXml}) {
        SCOPED_TRACE(path);
        TPlayedMovie played = player.Play(path, 2);
        EXPECT_TRUE(played.info.isActionScript3);
        EXPECT_EQ(played.trace, expected);
        ASSERT_EQ(played.frames.size(), 2u);
        EXPECT_EQ(Pixel(played.frames.back(), 50, 50), (TPlayerPixel{255, 0, 0, 255}));
        EXPECT_EQ(Pixel(played.frames.back(), 150, 150), (TPlayerPixel{255, 255, 255, 255}));
    }
    ASSERT_FALSE(files.edited.empty());
    EXPECT_EQ(player.Play(files.edited, 2).trace, std::vector<std::string>{"sum 30 a-b 5 9.25 edited"});

    // The plain program shows its trace text on the stage (haxe's trace
    // draws a text field): the same pixels from its rewritten files.
    TVariants plainFiles = WriteVariants(plain, folder, "plain", nullptr);
    TPlayedMovie first = player.Play(plain, 2);
    ASSERT_EQ(first.frames.size(), 2u);
    int dark = 0;
    const auto& rgba = first.frames.back().rgba;
    for (size_t i = 0; i + 3 < rgba.size(); i += 4) dark += (rgba[i] + rgba[i + 1] + rgba[i + 2]) / 3 < 128;
    ASSERT_GT(dark, 20) << "haxe's own movie shows no trace text";
    for (const std::string& path : {plainFiles.rewritten, plainFiles.fromXml}) {
        SCOPED_TRACE(path);
        TPlayedMovie again = player.Play(path, 2);
        ASSERT_EQ(again.frames.size(), 2u);
        EXPECT_TRUE(again.frames.back().rgba == rgba);
    }
}
