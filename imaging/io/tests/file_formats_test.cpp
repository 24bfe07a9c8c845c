// The format registry and content detection over files made by ImageMagick
// and ffmpeg, and hand-built headers at their boundary sizes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "imaging/core/tests/tool_support.h"
#include "imaging/io/ie_file_formats.h"
#include "imaging/io/tests/file_formats_scope.h"

using namespace imaging_test;

namespace {

class FileFormats : public ::testing::Test {
protected:
    void SetUp() override { IEInitFileFormats(); }

private:
    TFileFormatsScope registry_;
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

// The 25-byte header of a layers stream of that version, no layers.
std::vector<uint8_t> LayersHeader(int32_t version) {
    std::vector<uint8_t> b(25, 0);
    std::memcpy(b.data(), "RIDIREVARAVIZ", 13);
    std::memcpy(b.data() + 13, &version, 4);
    return b;
}

// An ALL container: the IEV stream's position, counted from the start of
// the whole stream (base bytes come before the container), a layers header
// and the IEV stream's first bytes.
std::vector<uint8_t> AllContainer(int64_t base, int32_t ievOffset) {
    std::vector<uint8_t> b(4, 0);
    int32_t position = static_cast<int32_t>(base) + ievOffset;
    std::memcpy(b.data(), &position, 4);
    auto layers = LayersHeader(1);
    b.insert(b.end(), layers.begin(), layers.end());
    for (char c : std::string("IEVP")) b.push_back(static_cast<uint8_t>(c));
    b.resize(64, 0);
    return b;
}

// A data set without the DICOM preamble: two little-endian elements.
std::vector<uint8_t> BareDICOM(bool explicitVR, uint16_t group) {
    std::vector<uint8_t> b = {static_cast<uint8_t>(group), static_cast<uint8_t>(group >> 8), 0x16, 0};
    const std::string uid = "1.2.3.4";  // 8 bytes with its padding
    if (explicitVR) b.insert(b.end(), {'U', 'I', 8, 0});
    else b.insert(b.end(), {8, 0, 0, 0});
    b.insert(b.end(), uid.begin(), uid.end());
    b.push_back(0);
    b.insert(b.end(), {static_cast<uint8_t>(group), static_cast<uint8_t>(group >> 8), 0x18, 0});
    if (explicitVR) b.insert(b.end(), {'U', 'I', 2, 0});
    else b.insert(b.end(), {2, 0, 0, 0});
    b.insert(b.end(), {'1', 0});
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
        {"IEV P", Bytes("IEVP", 4), 25},
        {"IEV 1", Bytes("IEV1", 20), 25},
        {"IEV 0", Bytes("IEV0", 20), 0},
        {"IEV Q", Bytes("IEVQ", 20), 0},
        {"IEV 3 bytes", Bytes("IEV", 3), 0},
        {"layers v1", LayersHeader(1), 26},
        {"layers v0", LayersHeader(0), 0},
        {"layers 24 bytes", [] { auto b = LayersHeader(1); b.resize(24); return b; }(), 0},
        {"ALL", AllContainer(3, 29), 27},
        {"ALL without IEV there", AllContainer(3, 30), 0},
        {"ALL past the end", AllContainer(3, 64), 0},
        {"DICM 132", [] { auto b = Bytes("", 132); std::memcpy(b.data() + 128, "DICM", 4); return b; }(), 28},
        {"DICM 131", [] { auto b = Bytes("", 132); std::memcpy(b.data() + 128, "DICM", 4); b.resize(131); return b; }(), 0},
        {"bare DICOM explicit", BareDICOM(true, 0x0008), 28},
        {"bare DICOM implicit", BareDICOM(false, 0x0008), 28},
        {"bare DICOM meta group", BareDICOM(true, 0x0002), 28},
        {"bare DICOM other group", BareDICOM(true, 0x0010), 0},
        {"bare DICOM cut", [] { auto b = BareDICOM(false, 0x0008); b.resize(20); return b; }(), 0},
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

// Camera RAW against TIFF: ImageMagick's TIFF marked by exiftool the way
// camera files are (a DNG version, a colour-filter photometric); DICOM
// files made by dcmtk with and without the preamble.
TEST_F(FileFormats, ToolsTellsRawFromTIFFAndFindsDICOM) {
    REQUIRE_TOOL("convert");
    REQUIRE_TOOL("exiftool");
    REQUIRE_TOOL("img2dcm");
    REQUIRE_TOOL("dcmconv");
    auto folder = FixtureFolder("detect-raw");
    auto run = [](const std::string& command) {
        int status = 0;
        std::string output = RunCommand(command + " 2>&1", &status);
        EXPECT_EQ(status, 0) << command << "\n" << output;
    };
    const std::string tif = (folder / "plain.tif").string(), gray = (folder / "gray.tif").string();
    run("convert -size 64x48 gradient:red-blue '" + tif + "'");
    run("convert -size 64x48 gradient:white-black -depth 8 -type grayscale -compress none '" + gray + "'");
    auto detectFile = [](const std::filesystem::path& file) {
        auto bytes = ReadBytes(file);
        return Detect(bytes);
    };
    EXPECT_EQ(detectFile(tif), 1);
    EXPECT_EQ(detectFile(gray), 1);
    struct Marking {
        const char* file;
        const std::string* from;
        const char* tags;  // exiftool assignments
        int32_t expected;  // a camera file is never taken for a TIFF
    } markings[] = {
        // Mosaic data with its pattern, as a camera writes it: LibRaw identifies it.
        {"camera.dng", &gray,
         "-DNGVersion=1.4.0.0 -PhotometricInterpretation#=32803 -IFD0:CFARepeatPatternDim='2 2' "
         "-IFD0:CFAPattern2='0 1 1 2' -Make=Maker -Model=Model -UniqueCameraModel=Maker",
         20},
        // Marked only: not TIFF, and LibRaw finds no camera in it.
        {"version.tif", &tif, "-DNGVersion=1.4.0.0", 0},
        {"cfa.tif", &tif, "-PhotometricInterpretation#=32803", 0},
        {"linear.tif", &tif, "-PhotometricInterpretation#=34892", 0},
    };
    for (const Marking& m : markings) {
        SCOPED_TRACE(m.file);
        auto file = folder / m.file;
        std::filesystem::copy_file(*m.from, file, std::filesystem::copy_options::overwrite_existing);
        run(std::string("exiftool -q -overwrite_original ") + m.tags + " '" + file.string() + "'");
        TMemoryStream stream;
        auto bytes = ReadBytes(file);
        stream.Write(bytes.data(), static_cast<int64_t>(bytes.size()));
        stream.SetPosition(0);
        EXPECT_TRUE(IEIsTIFFStream(stream));
        EXPECT_TRUE(IEIsTIFFRawStream(stream));
        EXPECT_EQ(stream.GetPosition(), 0);
        EXPECT_EQ(detectFile(file), m.expected);
    }
    // Named as a camera file, the identified one is RAW in strict mode too.
    std::filesystem::copy_file(folder / "camera.dng", folder / "camera.nef",
                               std::filesystem::copy_options::overwrite_existing);
    EXPECT_EQ(IEFindFileFormat((folder / "camera.nef").string(), true), 20);
    EXPECT_EQ(IEFindFileFormat((folder / "camera.dng").string(), true), 0);  // no registry row for DNG
    EXPECT_EQ(IEFindFileFormat((folder / "camera.dng").string(), false), 20);

    const std::string bmp = (folder / "a.bmp").string(), dcm = (folder / "a.dcm").string();
    run("convert -size 64x48 gradient:red-blue -type truecolor BMP3:'" + bmp + "'");
    run("img2dcm -i BMP '" + bmp + "' '" + dcm + "'");
    struct DicomCase {
        const char* file;
        const char* options;  // dcmconv's, or none for img2dcm's own file
    } dicoms[] = {{"a.dcm", nullptr}, {"explicit.dcm", "-F +te"}, {"implicit.dcm", "-F +ti"}};
    for (const DicomCase& d : dicoms) {
        SCOPED_TRACE(d.file);
        auto file = folder / d.file;
        if (d.options) run(std::string("dcmconv ") + d.options + " '" + dcm + "' '" + file.string() + "'");
        EXPECT_EQ(detectFile(file), 28);
        EXPECT_EQ(IEFindFileFormat(file.string(), true), 28);
    }
}
