// Damaged input: truncated files, absurd lengths and byte-mutated copies of
// real movies must give a clear error, a raw tag or an invalid file, never a
// crash, a hang or an allocation the data does not justify.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/random.h"
#include "swf/reader.h"
#include "test_util.h"
#include "tool_fixtures.h"

namespace {

// Every step a caller may take on a file it reads; any failure must be one
// of the project's exceptions, with a message.
void ReadEverything(const Bytes& file) {
    try {
        TMemoryStream in(file);
        auto reader = TSWFStreamReader::CreateFromStream(in);
        reader->ParseTags(true, true);
        for (uint16_t id : {1, 2, 3}) reader->GetCharacterObject(id);
        reader->FindObjectByName("a");
        reader->MakeStream();
        TMemoryStream out;
        reader->SaveToStream(out);
        TXmlDocument doc;
        // Every payload inline: the XML form must not leave data files behind.
        reader->Settings.Options = 0;
        reader->SaveToXml(doc.Root().AddChild("doc"));
        TSWFStreamReader loaded;
        loaded.LoadFromXml(doc.DocumentElement(), true);
    } catch (const Exception& e) {
        EXPECT_NE(std::string(e.what()), "");
    } catch (const std::exception& e) {
        ADD_FAILURE() << "not one of the project's exceptions: " << e.what();
    }
}

std::vector<Bytes> Seeds() {
    std::vector<Bytes> seeds;
    for (const std::string& path : FfmpegFixtures()) seeds.push_back(ReadFileBytes(path));
    std::string haxe = HaxeFixture();
    if (!haxe.empty()) seeds.push_back(ReadFileBytes(haxe));
    std::filesystem::path corpus = std::filesystem::path(SharedDir()) / "corpus" / "swf-gnash" / "misc-ming.all";
    std::error_code error;
    if (std::filesystem::is_directory(corpus, error)) {
        int taken = 0;
        for (auto& entry : std::filesystem::directory_iterator(corpus))
            if (entry.path().extension() == ".swf" && entry.file_size() < 20000 && taken++ < 6)
                seeds.push_back(ReadFileBytes(entry.path().string()));
    }
    // A small hand-made movie of control tags, so the test has a seed anywhere.
    seeds.push_back(HexBytes("46 57 53 06 2C 00 00 00 78 00 05 5F 00 00 0F A0 00 00 0C 01 00"
                             "43 02 FF 00 00 C8 0A 6C 61 62 65 6C 00 01 C4 10 01 00 10 00"
                             "40 00 00 00"));
    return seeds;
}

}  // namespace

TEST(DamagedInput, TruncatedFilesAndAbsurdLengths) {
    for (const Bytes& seed : Seeds()) {
        for (size_t cut : {size_t(0), size_t(3), size_t(4), size_t(9), seed.size() / 3, seed.size() - 1})
            ReadEverything(Bytes(seed.begin(), seed.begin() + static_cast<long>(std::min(cut, seed.size()))));
        for (uint32_t length : {0u, 1u, 8u, 9u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
            Bytes bad = seed;
            for (int i = 0; i < 4; ++i) bad[4 + i] = static_cast<uint8_t>(length >> (8 * i));
            ReadEverything(bad);
        }
    }
}

TEST(DamagedInput, RecordLengthsPastTheEnd) {
    // Long headers claiming 2 GB and 4 GB bodies, and a header cut in half.
    for (const char* tail : {"FF 0A FF FF FF 7F 01 02", "FF 0A FF FF FF FF", "FF 0A 10", "43"}) {
        Bytes file = HexBytes("46 57 53 06 00 00 00 00 78 00 05 5F 00 00 0F A0 00 00 0C 01 00");
        Bytes more = HexBytes(tail);
        file.insert(file.end(), more.begin(), more.end());
        ReadEverything(file);
    }
}

TEST(DamagedInput, ThousandsOfMutatedCopies) {
    std::vector<Bytes> seeds = Seeds();
    TRandomSource random(20261210);
    int copies = 0;
    const int perSeed = std::max(1000 / static_cast<int>(seeds.size()) + 1, 120);
    for (const Bytes& seed : seeds) {
        ASSERT_FALSE(seed.empty());
        for (int n = 0; n < perSeed; ++n) {
            Bytes copy = seed;
            int flips = 1 + static_cast<int>(random.Next(4));
            for (int k = 0; k < flips; ++k) {
                // Mostly the first bytes of the body, where record headers and
                // bit fields are; now and then anywhere.
                size_t span = random.Next(3) == 0 ? copy.size() : std::min<size_t>(copy.size(), 400);
                size_t at = random.Next(static_cast<uint32_t>(span));
                copy[at] = static_cast<uint8_t>(random.Next(3) == 0 ? copy[at] ^ (1u << random.Next(8))
                                                                    : random.Next(256));
            }
            ReadEverything(copy);
            ++copies;
        }
    }
    EXPECT_GE(copies, 1000);
}
