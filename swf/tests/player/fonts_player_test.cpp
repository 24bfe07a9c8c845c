// haxe's movie with an embedded font, read and written again through the tag
// objects and through the XML form: the player draws the same text from each.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/player/player_test_support.h"
#include "swf/reader.h"
#include "test_util.h"
#include "tool_fixtures.h"

namespace {

int DarkPixels(const TPlayerFrame& frame) {
    int dark = 0;
    for (size_t i = 0; i + 3 < frame.rgba.size(); i += 4)
        dark += (frame.rgba[i] + frame.rgba[i + 1] + frame.rgba[i + 2]) / 3 < 128;
    return dark;
}

}  // namespace

TEST(PlayerFonts, RewrittenHaxeFontStillShowsItsText) {
    TW_REQUIRE_PLAYER();
    const std::string original = HaxeFontFixture();
    if (original.empty()) {
        if (std::getenv("CI")) FAIL() << "haxe is not installed";
        GTEST_SKIP() << "haxe is not installed";
    }
    std::filesystem::path folder = std::filesystem::path(TestScratchFolder("tw_player_fonts"));
    std::filesystem::create_directories(folder);

    TSWFStreamReader reader(original);
    reader.ParseTags(true, true);
    reader.MakeStream();
    const std::string rewritten = (folder / "rewritten.swf").string();
    reader.SaveToFile(rewritten);

    TXmlDocument doc;
    reader.Settings.Options = 0;
    reader.SaveToXml(doc.Root().AddChild("Movie"));
    TSWFStreamReader loaded;
    ASSERT_TRUE(loaded.LoadFromXml(doc.DocumentElement(), true));
    loaded.MakeStream();
    const std::string fromXml = (folder / "from-xml.swf").string();
    loaded.SaveToFile(fromXml);

    TPlayedMovie first = TPlayerHarness::Shared().Play(original, 2);
    ASSERT_EQ(first.frames.size(), 2u);
    const int dark = DarkPixels(first.frames.back());
    // "Hello" at 40 pixels: a few hundred dark pixels at least.
    ASSERT_GT(dark, 300) << "haxe's own movie shows no text";
    for (const std::string& path : {rewritten, fromXml}) {
        SCOPED_TRACE(path);
        TPlayedMovie again = TPlayerHarness::Shared().Play(path, 2);
        ASSERT_EQ(again.frames.size(), 2u);
        EXPECT_EQ(DarkPixels(again.frames.back()), dark);
        EXPECT_TRUE(again.frames.back().rgba == first.frames.back().rgba);
    }
}
