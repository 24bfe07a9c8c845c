// The format registry and content detection over files made by ImageMagick
// and ffmpeg, and hand-built headers at their boundary sizes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "imaging/core/tests/tool_support.h"
#include "imaging/io/ie_file_formats.h"

using namespace imaging_test;

namespace {

class FileFormats : public ::testing::Test {
protected:
    void SetUp() override { IEInitFileFormats(); }
    void TearDown() override { IEFreeFileFormats(); }
};

// Detection on bytes behind a 3-byte prefix: the answer, with the position
// checked to be where it was.
int32_t Detect(const std::vector<uint8_t>& bytes) {
    TMemoryStream stream;
    stream.Write("xyz", 3);
    stream.Write(bytes.data(), static_cast<int64_t>(bytes.size()));
    stream.SetPosition(3);
    int32_t answer = IEDetectFormatFromStream(stream);
    EXPECT_EQ(stream.GetPosition(), 3);
    return answer;
}

std::vector<uint8_t> Bytes(const std::string& text, size_t size) {
    std::vector<uint8_t> b(text.begin(), text.end());
    b.resize(size, 0);
    return b;
}

std::vector<uint8_t> EMFHeader() {
    std::vector<uint8_t> b(108, 0);
    b[0] = 1;
    b[40] = 0x20, b[41] = 0x45, b[42] = 0x4D, b[43] = 0x46;
    return b;
}

std::vector<uint8_t> WMFHeader(bool placeable, uint8_t type) {
    std::vector<uint8_t> b;
    if (placeable) {
        b = {0xD7, 0xCD, 0xC6, 0x9A};
        b.resize(22, 0);
    }
    std::vector<uint8_t> header = {type, 0, 9, 0, 0, 3, 100, 0, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0, 3, 0, 0, 0, 0, 0};
    b.insert(b.end(), header.begin(), header.end());
    return b;
}

}  // namespace

TEST_F(FileFormats, RegistryLookups) {
    for (const char* ext : {".JPE", "jpe", "JPE"}) EXPECT_EQ(IEFileFormatFindByExt(ext)->FileType, 3) << ext;
    EXPECT_EQ(IEFileFormatFindByExt(""), nullptr);
    EXPECT_EQ(IEFileFormatGetExt(1, 5), "XIF");
    EXPECT_EQ(IEFileFormatGetExt(1, 6), "");
    EXPECT_EQ(IEFileFormatGetExtCount(20), 13);
    EXPECT_EQ(IEFileFormatGetExtCount(15), 0);
    EXPECT_EQ(IEFileFormats.size(), 24u);
    EXPECT_EQ(IEFileFormats[8]->FileType, 28);  // DICOM before the metafiles
    EXPECT_EQ(IEFileFormatGetInfo(7)->WriteFunction, nullptr);

    TIEFileFormatInfo added;
    added.FileType = 99;
    added.Extensions = "ZZZ";
    added.TryFunction = [](TStream& s, int32_t) {
        uint8_t c = 0;
        s.Read(&c, 1);
        return c == 'Z';
    };
    IEFileFormatAdd(added);
    EXPECT_EQ(Detect(Bytes("Zebra", 5)), 99);
    IEFileFormatRemove(99);
    EXPECT_EQ(Detect(Bytes("Zebra", 5)), 0);
}

TEST_F(FileFormats, HeaderBoundaries) {
    std::vector<uint8_t> pcx5(129, 0), pcx6(129, 0);
    pcx5[0] = pcx6[0] = 10;
    pcx5[1] = 5;
    pcx6[1] = 6;
    std::vector<uint8_t> pcx128(pcx5.begin(), pcx5.begin() + 128);
    std::vector<uint8_t> emf43 = EMFHeader();
    emf43.resize(43);
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        int32_t expected;
    } cases[] = {
        {"JFIF 13", Bytes("JFIF", 13), 3},
        {"JFIF 12", Bytes("JFIF", 12), 0},
        {"GIF 14", Bytes("GIF89a", 14), 2},
        {"GIF 13", Bytes("GIF89a", 13), 0},
        {"PCX2 13", Bytes("PCX2", 13), 4},
        {"PCX 5", Bytes("PCX", 5), 4},
        {"BM 15", Bytes("BM", 15), 5},
        {"BM 14", Bytes("BM", 14), 0},
        {"PCX v5 129", pcx5, 4},
        {"PCX v6 129", pcx6, 0},
        {"PCX v5 128", pcx128, 0},
        {"TIFF header 13", Bytes("TIFF", 13), 1},
        {"EMF", EMFHeader(), 10},
        {"EMF 43", emf43, 0},
        {"WMF placeable", WMFHeader(true, 1), 9},
        {"WMF plain", WMFHeader(false, 1), 9},
        {"WMF on disk", WMFHeader(false, 2), 0},
        {"nothing", Bytes("hello world, nothing here", 40), 0},
        {"empty", {}, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(Detect(c.bytes), c.expected) << c.name;
}

TEST_F(FileFormats, ToolsDetectsMadeFiles) {
    REQUIRE_TOOL("convert");
    REQUIRE_TOOL("ffmpeg");
    auto folder = FixtureFolder("detect");
    const std::string picture = "-size 16x12 gradient:red-blue";
    struct Case {
        const char* file;
        const char* make;  // ImageMagick output name with its format prefix, or empty for ffmpeg
        int32_t expected;
    } cases[] = {
        {"a.gif", "GIF", 2},   {"a.jpg", "JPEG", 3},    {"a.png", "PNG", 8},   {"a.tif", "TIFF", 1},
        {"a.pcx", "PCX", 4},   {"a.dcx", "DCX", 19},    {"a.tga", "TGA", 11},  {"a.psd", "PSD", 24},
        {"a.ico", "ICO", 6},   {"a.jp2", "JP2", 13},    {"a.j2k", "J2K", 14},  {"a.bmp", "BMP", 5},
        {"p1.pbm", "PBM", 12}, {"p2.pgm", "PGM", 12},   {"p3.ppm", "PPM", 12}, {"p4.pbm", "PBM", 12},
        {"p5.pgm", "PGM", 12}, {"p6.ppm", "PPM", 12},   {"a.avi", "", 15},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        auto file = folder / c.file;
        std::string name(c.file);
        std::string command;
        if (!*c.make) {
            command = "ffmpeg -loglevel error -y -f lavfi -i testsrc=size=32x24:rate=5 -t 1 '" + file.string() + "'";
        } else {
            bool plain = name[0] == 'p' && name[1] >= '1' && name[1] <= '3';
            command = "convert " + picture + (plain ? " -compress none " : " ") + c.make + ":'" + file.string() + "'";
        }
        int status = 0;
        RunCommand(command + " 2>&1", &status);
        ASSERT_EQ(status, 0) << command;
        auto bytes = ReadBytes(file);
        if (name[0] == 'p') {
            ASSERT_EQ(bytes[1], name[1]);  // the P1 .. P6 magic asked for
        }
        EXPECT_EQ(Detect(bytes), c.expected);
        // AVI has no registry row, so strict reconciliation refuses it.
        EXPECT_EQ(IEFindFileFormat(file.string(), true), c.expected == 15 ? 0 : c.expected);
    }
    // A cursor: the icon with the directory type 2.
    auto ico = ReadBytes(folder / "a.ico");
    ico[2] = 2;
    EXPECT_EQ(Detect(ico), 7);
    WriteBytes(folder / "a.cur", ico.data(), ico.size());

    // Reconciliation with the extension, on renamed copies.
    auto copy = [&](const char* from, const char* to) {
        std::filesystem::copy_file(folder / from, folder / to, std::filesystem::copy_options::overwrite_existing);
        return (folder / to).string();
    };
    EXPECT_EQ(IEFindFileFormat(copy("a.ico", "icon.cur"), true), 7);
    EXPECT_EQ(IEFindFileFormat(copy("a.cur", "cursor.ico"), true), 6);
    EXPECT_EQ(IEFindFileFormat(copy("a.png", "png.bmp"), true), 0);
    EXPECT_EQ(IEFindFileFormat((folder / "png.bmp").string(), false), 8);
    EXPECT_EQ(IEFindFileFormat(copy("a.png", "png.unknown"), true), 0);
    EXPECT_EQ(IEFindFileFormat(copy("a.tif", "camera.nef"), true), 20);
    EXPECT_EQ(IEFindFileFormat((folder / "missing.png").string(), false), 0);
    EXPECT_EQ(IEFindFileFormat("", false), 0);
    TIEFileFormatInfo plugin;
    plugin.FileType = 77;
    plugin.Extensions = "PLG";
    IEFileFormatAdd(plugin);
    EXPECT_EQ(IEFindFileFormat(copy("a.png", "x.plg"), true), 77);
}
