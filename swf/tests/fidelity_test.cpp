// Every fixture of the table comes back byte for byte through the objects
// read, through copies of those objects and through the XML form with its
// external data files, and its objects say what the file says.
#include <gtest/gtest.h>

#include <filesystem>

#include "fidelity_fixtures.h"
#include "platform/xml.h"
#include "swf/names.h"

using namespace fidelity;

namespace {

void ExpectEveryTagParsed(TSWFStreamReader& movie) {
    for (size_t i = 0; i < movie.TagCount(); ++i) {
        TSWFObject* tag = movie.GetTagInfo(i).Object;
        ASSERT_NE(tag, nullptr);
        EXPECT_NE(tag->TagCode, kErrorTagCode) << "tag " << i << ": " << static_cast<TSWFByteCodeTag*>(tag)->Name;
        if (!tag->ChildTags()) continue;
        for (const auto& child : *tag->ChildTags()) {
            EXPECT_NE(child->TagCode, kErrorTagCode) << "in tag " << i;
        }
    }
}

bool FolderHoldsFile(const std::filesystem::path& folder, const Bytes& bytes) {
    for (auto& entry : std::filesystem::recursive_directory_iterator(folder))
        if (entry.is_regular_file() && ReadFileBytes(entry.path().string()) == bytes) return true;
    return false;
}

}  // namespace

TEST(Fidelity, FixturesComeBackThroughObjectsCopiesAndXml) {
    const std::filesystem::path root = std::filesystem::path(TW_FIXTURE_DIR) / "fidelity";
    for (const Fixture& f : Fixtures()) {
        SCOPED_TRACE(f.name);
        const Bytes file = FileOf(f);
        const std::string expected = Unpacked(file);

        // The objects read.
        TMemoryStream in(file);
        auto movie = TSWFStreamReader::CreateFromStream(in);
        movie->ParseTags(true, true);
        ExpectEveryTagParsed(*movie);
        f.check(*movie);
        movie->MakeStream();
        EXPECT_EQ(Unpacked(Saved(*movie)), expected);

        // Copies of every tag, under the header read.
        TSWFStreamReader copies;
        copies.Version = movie->Version;
        copies.Compressed = movie->Compressed;
        copies.Bounds = movie->Bounds;
        copies.FrameRate = movie->FrameRate;
        copies.FrameCount = movie->FrameCount;
        {
            TBitsEngine be(copies.GetBodyStream());
            for (size_t i = 0; i < movie->TagCount(); ++i) CloneTag(*movie->GetTagInfo(i).Object)->WriteTag(be);
        }
        EXPECT_EQ(Unpacked(Saved(copies)), expected);

        // The XML form, payloads in external data files.
        const std::filesystem::path folder = root / f.name;
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        movie->Settings.Options |= kXmlExternalImages | kXmlExternalRawTags;
        movie->Settings.BaseFolder = folder.string();
        TXmlDocument doc;
        movie->SaveToXml(doc.Root().AddChild("Movie"));
        const std::string text = doc.SaveToString();
        if (f.dataFile) {
            EXPECT_TRUE(FolderHoldsFile(folder, HexBytes(f.dataFile)));
        }
        TXmlDocument parsed;
        parsed.LoadFromString(text);
        TSWFStreamReader loaded;
        loaded.Settings.BaseFolder = folder.string();
        ASSERT_TRUE(loaded.LoadFromXml(parsed.DocumentElement(), true)) << text;
        ExpectEveryTagParsed(loaded);
        f.check(loaded);
        loaded.MakeStream();
        EXPECT_EQ(Unpacked(Saved(loaded)), expected) << text;
    }
}

// Scripts see a movie's framing: getBytesTotal reads the declared length and
// a jump measured across a block counts its header. A movie read and written
// back unchanged keeps a long header over a short body, at the top level and
// in a sprite, and a declared length that is not the file's; once changed,
// the movie is written with the length it has.
TEST(Fidelity, UnchangedMovieKeepsHeaderFormsAndDeclaredLength) {
    Bytes body = HexBytes(kStage);
    body.insert(body.end(), {0x00, 0x0C, 0x01, 0x00});
    // SetBackgroundColor (9) and a DoAction under long headers, a sprite
    // whose ShowFrame has a long header, then ShowFrame and End.
    for (const char* record : {"7F 02 03 00 00 00 FF 00 00", "3F 03 08 00 00 00 96 03 00 00 78 00 26 00",
                               "FF 09 0C 00 00 00 07 00 01 00 7F 00 00 00 00 00 00 00", "40 00", "00 00"}) {
        Bytes bytes = HexBytes(record);
        body.insert(body.end(), bytes.begin(), bytes.end());
    }
    const uint32_t declared = static_cast<uint32_t>(body.size() + 8 + 100);
    Bytes file = {'F', 'W', 'S', 6};
    for (int i = 0; i < 4; ++i) file.push_back(static_cast<uint8_t>(declared >> (8 * i)));
    file.insert(file.end(), body.begin(), body.end());

    TMemoryStream in(file);
    auto movie = TSWFStreamReader::CreateFromStream(in);
    movie->ParseTags(true, true);
    ExpectEveryTagParsed(*movie);
    movie->MakeStream();
    EXPECT_EQ(ToHex(Saved(*movie)), ToHex(file));

    // Through the XML form each header keeps its form, the sprite's ones
    // (part of the sprite's body) included.
    TXmlDocument doc;
    movie->SaveToXml(doc.Root());
    TXmlDocument reread;
    reread.LoadFromString(doc.SaveToString());
    TSWFStreamReader loaded;
    ASSERT_TRUE(loaded.LoadFromXml(reread.Root(), true));
    loaded.MakeStream();
    Bytes fromXml = Saved(loaded);
    EXPECT_EQ(ToHex(Bytes(fromXml.begin() + 8, fromXml.end())), ToHex(body));

    // Changed, the movie takes its true length.
    TagAt<TSWFSetBackgroundColor>(*movie, 0).Color.SetRGB(TSWFRGBRec{0, 0xFF, 0});
    movie->MakeStream();
    Bytes changed = Saved(*movie);
    EXPECT_EQ(changed[4] | changed[5] << 8, static_cast<int>(changed.size()));
}
