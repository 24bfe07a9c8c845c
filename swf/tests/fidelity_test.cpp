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
