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
        reader->FindDamage();
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

// The integrity check: the lengths a file declares against the bytes it
// holds, down to the action records of its scripts, in sprites too. A
// movie of a 1-byte RECT: a script (Push "a", Pop, ActionEnd), a sprite of
// one frame, a ShowFrame and the End tag.
TEST(DamagedInput, FindDamageComparesDeclaredLengthsWithTheBytes) {
    const std::string header = "46 57 53 06 LL 00 00 00 00 00 0C 01 00 ";
    const std::string script = "08 03 96 03 00 00 61 00 17 00 ";
    const std::string sprite = "C8 09 01 00 01 00 40 00 00 00 ";
    const std::string tail = "40 00 00 00";
    auto file = [&](const std::string& tags, int cut = 0) {
        Bytes bytes = HexBytes(header.substr(0, 12) + "00" + header.substr(14) + tags);
        bytes[4] = static_cast<uint8_t>(bytes.size());
        bytes.resize(bytes.size() - size_t(cut));
        return bytes;
    };
    struct TCase {
        const char* name;
        Bytes bytes;
        const char* says;  // empty: sound
    };
    const TCase cases[] = {
        {"sound", file(script + sprite + tail), ""},
        {"longer than declared", [&] { Bytes b = file(script + sprite + tail); b.push_back(0); return b; }(), ""},
        {"cut", file(script + sprite + tail, 3), "file length of"},
        {"cut at a tag", file(script + sprite + "40 00"), "ends without its End tag"},
        {"tag past the end", file("3F 03 FF 00 00 00 " + tail), "declares 255 bytes, but only 4 are left"},
        {"action past its script", file("08 03 96 09 00 00 61 00 17 00 " + tail), "declares 9 bytes, but only 5 are left"},
        {"fields past the length", file("08 03 96 02 00 07 01 00 00 00 " + tail), "its fields run past them"},
        {"fields short of the length", file("07 03 81 03 00 01 00 00 00 " + tail), "its fields take 2"},
        {"no ActionEnd", file("08 03 96 03 00 00 61 00 17 17 " + tail), "does not end with ActionEnd"},
        {"sprite tag past the sprite", file("CA 09 01 00 01 00 7F 00 10 00 00 00 " + tail),
         "the ShowFrame tag at byte 6 of the DefineSprite tag at byte 0 declares 16 bytes, but only 0 are left"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        TMemoryStream in(c.bytes);
        auto reader = TSWFStreamReader::CreateFromStream(in);
        ASSERT_TRUE(reader->Valid);
        std::vector<std::string> damage = reader->FindDamage();
        if (std::string(c.says).empty()) {
            EXPECT_EQ(damage, std::vector<std::string>{});
        } else {
            ASSERT_FALSE(damage.empty());
            EXPECT_NE(damage[0].find(c.says), std::string::npos) << damage[0];
        }
    }
}
