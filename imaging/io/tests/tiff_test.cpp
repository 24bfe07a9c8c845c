// The TIFF codec: the LZW and CCITT coders against themselves; files made by
// ImageMagick and libtiff's tools in every compression and layout decode to
// ImageMagick's pixels with tiffinfo's page count; our files pass tiffinfo
// and decode the same in ImageMagick; damaged files are refused cleanly.
#include <unistd.h>

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_tiff_dir.h"
#include "imaging/core/tests/tool_support.h"
#include "imaging/io/tests/rgba_support.h"
#include "imaging/io/ie_ccitt.h"
#include "imaging/io/ie_tiff.h"
#include "imaging/io/ie_tiff_lzw.h"
#include "imaging/io/ie_vidurer_io.h"

using namespace imaging_test;
namespace fs = std::filesystem;

namespace {

// ---------------------------------------------------------------- coders

std::vector<uint8_t> Noise(size_t size, uint32_t seed, int range) {
    std::mt19937 random(seed);
    std::vector<uint8_t> out(size);
    for (uint8_t& b : out) b = static_cast<uint8_t>(random() % static_cast<uint32_t>(range));
    return out;
}

// Where the coder tests leave their streams as fuzz seeds.
fs::path CoderSeeds() {
    static const fs::path folder = FixtureFolder("tiff-coders/" + std::to_string(::getpid()));
    return folder;
}

TEST(TiffLZW, RowsRoundTripThroughOneStream) {
    struct TCase {
        const char* name;
        std::vector<uint8_t> data;
        int32_t rowLength;
    };
    std::vector<uint8_t> runs(3000, 7);
    const TCase cases[] = {
        {"noise past several clears", Noise(60000, 1, 256), 300},
        {"few symbols, long strings", Noise(20000, 2, 3), 1},
        {"one long run", runs, 100},
        {"single row", Noise(17, 3, 256), 17},
    };
    for (const TCase& c : cases) {
        TMemoryStream out;
        TIETIFFLZWState* state = nullptr;
        for (size_t at = 0; at < c.data.size(); at += static_cast<size_t>(c.rowLength))
            IETIFFLZWCompress(c.data.data() + at, c.rowLength, out, state);
        IETIFFLZWCompress(nullptr, 0, out, state);
        EXPECT_EQ(state, nullptr);
        // One end code closes the stream; nothing follows it.
        TIETIFFLZWState* decoder = IETIFFLZWBeginBlock(out.Memory(), out.GetSize(), c.rowLength);
        std::vector<uint8_t> back;
        for (size_t at = 0; at < c.data.size(); at += static_cast<size_t>(c.rowLength)) {
            const uint8_t* row = IETIFFLZWDecompress(out.Memory(), c.rowLength, decoder);
            ASSERT_NE(row, nullptr) << c.name;
            back.insert(back.end(), row, row + c.rowLength);
        }
        EXPECT_FALSE(IETIFFLZWEnded(decoder)) << c.name;
        IETIFFLZWDecompress(nullptr, 0, decoder);
        EXPECT_EQ(back, c.data) << c.name;
        // A seed for the decoder's fuzz target: the row-length byte first.
        std::vector<uint8_t> seed = {static_cast<uint8_t>((c.rowLength - 1) / 3)};
        seed.insert(seed.end(), out.Memory(), out.Memory() + std::min<int64_t>(out.GetSize(), 60000));
        WriteBytes(CoderSeeds() / (std::string(c.name) + ".lzw"), seed.data(), seed.size());
    }
}

TEST(TiffLZW, CodeBeyondTheTableIsRefused) {
    // Clear (256) then code 300, which names no entry: 9-bit codes.
    const uint8_t data[] = {0x80, 0x4B, 0x00, 0x00, 0x00};
    TIETIFFLZWState* state = IETIFFLZWBeginBlock(data, sizeof data, 4);
    EXPECT_EQ(IETIFFLZWDecompress(data, 4, state), nullptr);
    IETIFFLZWDecompress(nullptr, 0, state);
}

TEST(TiffLZW, RepeatedClearCodesAreOneClear) {
    // Clear, clear, 'A', end (9-bit codes): the second clear is no string.
    const uint8_t data[] = {0x80, 0x40, 0x08, 0x30, 0x10};
    TIETIFFLZWState* state = IETIFFLZWBeginBlock(data, sizeof data, 1);
    const uint8_t* row = IETIFFLZWDecompress(data, 1, state);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row[0], 'A');
    IETIFFLZWDecompress(nullptr, 0, state);
}

// Rows of 0 white / 1 black for the encoders, and the same rows inverted
// (1 white) as the decoders give them.
std::vector<std::vector<uint8_t>> FaxRows(int32_t width, int32_t height) {
    std::mt19937 random(5);
    std::vector<std::vector<uint8_t>> rows;
    const int32_t bytes = (width + 7) / 8;
    std::vector<uint8_t> row(static_cast<size_t>(bytes), 0);
    for (int32_t y = 0; y < height; ++y) {
        // Mostly like the row above, with a few runs moved: what 2D coding
        // is for; the last row starts black.
        for (int32_t k = 0; k < 6; ++k) {
            const int32_t x = static_cast<int32_t>(random() % static_cast<uint32_t>(width));
            row[static_cast<size_t>(x / 8)] ^= static_cast<uint8_t>(0x80 >> (x % 8));
        }
        if (y == height - 1) row[0] |= 0x80;
        if (width % 8) row.back() &= static_cast<uint8_t>(0xFF00 >> (width % 8));
        rows.push_back(row);
    }
    return rows;
}

TEST(TiffCCITT, EveryCodingRoundTrips) {
    for (int32_t width : {5, 203, 2700}) {
        const auto rows = FaxRows(width, 12);
        const size_t bytes = rows[0].size();
        for (int32_t fillOrder : {1, 2}) {
            for (int kind = 0; kind < 4; ++kind) {
                TMemoryStream out;
                bool abort = false;
                TCCITTEncoderState state;
                std::vector<int64_t> rowStarts;
                for (const auto& row : rows) {
                    rowStarts.push_back(out.GetSize());
                    switch (kind) {
                        case 0: CCITTEncodeRowMH(row.data(), width, out, abort, fillOrder); break;
                        case 1: CCITTEncodeRow1D(row.data(), width, out, state, abort, fillOrder); break;
                        case 2: CCITTEncodeRowG3_2D(row.data(), width, out, state, abort, fillOrder); break;
                        default: CCITTEncodeRowG4(row.data(), width, out, state, abort, fillOrder); break;
                    }
                }
                if (kind == 1) CCITTEncodeRow1D(nullptr, 0, out, state, abort, fillOrder);
                if (kind == 2) CCITTEncodeRowG3_2D(nullptr, width, out, state, abort, fillOrder);
                if (kind == 3) CCITTEncodeRowG4(nullptr, width, out, state, abort, fillOrder);
                const uint8_t* data = out.Memory();
                const int64_t size = out.GetSize();
                std::vector<uint8_t> seed = {static_cast<uint8_t>((width - 1) >> 8), static_cast<uint8_t>(width - 1),
                                             static_cast<uint8_t>(kind | (fillOrder == 2 ? 4 : 0))};
                seed.insert(seed.end(), data, data + size);
                WriteBytes(CoderSeeds() / ("w" + std::to_string(width) + "k" + std::to_string(kind) + "f" +
                                           std::to_string(fillOrder) + ".fax"),
                           seed.data(), seed.size());
                std::vector<uint8_t> line(bytes), reference(bytes, 0xFF);
                int64_t bit = 0;
                for (size_t y = 0; y < rows.size(); ++y) {
                    if (kind == 0) CCITTDecodeLineMH(line.data(), data + rowStarts[y], size - rowStarts[y], width, fillOrder);
                    else if (kind == 1) bit = CCITTDecodeLine1D(line.data(), data, size, width, bit, fillOrder);
                    else bit = CCITTDecodeLine2D(line.data(), data, size, width, reference.data(), bit, fillOrder, kind == 2);
                    std::vector<uint8_t> expected = rows[y];
                    for (uint8_t& b : expected) b = static_cast<uint8_t>(~b);
                    if (width % 8) line.back() |= static_cast<uint8_t>(0xFF >> (width % 8));
                    if (width % 8) expected.back() |= static_cast<uint8_t>(0xFF >> (width % 8));
                    ASSERT_EQ(line, expected) << "width " << width << " kind " << kind << " fill " << fillOrder << " row " << y;
                }
            }
        }
    }
}

TEST(TiffCCITT, LongRunUsesExtendedMakeUpCodes) {
    // A white run of 2560 + 64 + 3 pixels, then 5 black.
    const int32_t width = 2632;
    std::vector<uint8_t> row(static_cast<size_t>((width + 7) / 8), 0);
    for (int32_t x = 2627; x < width; ++x) row[static_cast<size_t>(x / 8)] |= static_cast<uint8_t>(0x80 >> (x % 8));
    TMemoryStream out;
    bool abort = false;
    CCITTEncodeRowMH(row.data(), width, out, abort, 1);
    // 2560 (000000011111), 64 (11011), 3 (1000), black 5 (0011).
    const std::string bits = "000000011111" "11011" "1000" "0011";
    std::string got;
    for (int64_t i = 0; i < out.GetSize(); ++i)
        for (int b = 7; b >= 0; --b) got += (out.Memory()[i] >> b & 1) ? '1' : '0';
    EXPECT_EQ(got.substr(0, bits.size()), bits);
}

// ---------------------------------------------------------------- files

// The largest difference of colour where the pixel is at least half opaque,
// and of alpha everywhere.
int MaxDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a.size() != b.size()) return 1000;
    int worst = 0;
    for (size_t i = 0; i < a.size(); i += 4) {
        const bool visible = b[i + 3] >= 128;
        for (size_t c = 0; c < 4; ++c)
            if (c == 3 || visible) worst = std::max(worst, std::abs(a[i + c] - b[i + c]));
    }
    return worst;
}

int TiffinfoPages(const fs::path& file, int* status = nullptr) {
    const std::string out = RunCommand("tiffinfo '" + file.string() + "' 2>&1", status);
    int pages = 0;
    for (size_t at = out.find("TIFF Directory"); at != std::string::npos; at = out.find("TIFF Directory", at + 1)) ++pages;
    return pages;
}

class TiffToolsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // A folder of this process: ctest runs the suite's tests side by side.
        folder_ = FixtureFolder("tiff/" + std::to_string(::getpid()));
        if (!HaveTool("convert") || !HaveTool("tiffcp")) return;
        const std::string f = folder_.string() + "/";
        RunCommand("convert -size 41x29 -seed 7 plasma:fractal -depth 8 '" + f + "src.png'");
        RunCommand("convert '" + f + "src.png' \\( -size 29x41 gradient: -rotate 90 \\) -alpha off -compose copy_opacity "
                   "-composite -depth 8 '" + f + "srca.png'");
        RunCommand("convert -size 203x61 xc:white -fill black -draw 'circle 100,30 100,5' -draw 'rectangle 5,5 40,50' "
                   "-monochrome '" + f + "mono.png'");
    }
    static fs::path folder_;
};
fs::path TiffToolsTest::folder_;

struct TFileCase {
    const char* name;
    const char* command;  // {f} is the fixture folder, output to {o}
    // Lossy data, 16-bit samples and 16-bit colour maps: readers round to
    // 8 bits differently.
    int tolerance;
    int pages;
};

std::string Expand(std::string text, const std::string& folder, const std::string& name) {
    for (size_t at; (at = text.find("{f}")) != std::string::npos;) text.replace(at, 3, folder);
    for (size_t at; (at = text.find("{o}")) != std::string::npos;) text.replace(at, 3, folder + name + ".tif");
    return text;
}

// Makes each file with its tool (in table order: later files may start
// from earlier ones), counts its pages with tiffinfo and compares every
// page's pixels with ImageMagick's.
void CheckToolFiles(const fs::path& folder, const std::vector<TFileCase>& cases) {
    const std::string f = folder.string() + "/";
    for (const TFileCase& c : cases) {
        SCOPED_TRACE(c.name);
        RunCommand(Expand(c.command, f, c.name) + " 2>/dev/null");
        const fs::path file = f + std::string(c.name) + ".tif";
        ASSERT_TRUE(fs::exists(file));
        ASSERT_EQ(TiffinfoPages(file), c.pages);
        for (int page = 0; page < c.pages; ++page) {
            TVidurErIO io;
            io.ImageParams.TiffImageIndex = page;
            io.LoadFromFile(file.string());
            ASSERT_FALSE(io.AbortFlag) << io.LastError();
            EXPECT_EQ(io.ImageParams.ImageCount, c.pages);
            EXPECT_LE(MaxDifference(OurRGBA(*io.Bitmap()), MagickRGBA(file, page)), c.tolerance) << "page " << page;
        }
    }
}

TEST_F(TiffToolsTest, ColourFilesOfEveryCompressionDecodeToImageMagickPixels) {
    REQUIRE_TOOL("convert");
    REQUIRE_TOOL("tiffcp");
    REQUIRE_TOOL("tiffinfo");
    CheckToolFiles(folder_, {
        {"none", "convert {f}src.png -compress none {o}", 0, 1},
        {"packbits", "convert {f}src.png -compress rle {o}", 0, 1},
        {"lzw", "convert {f}src.png -compress lzw {o}", 0, 1},
        {"lzw_predictor", "tiffcp -c lzw:2 {f}none.tif {o}", 0, 1},
        {"deflate", "convert {f}src.png -compress zip {o}", 0, 1},
        {"deflate_predictor", "tiffcp -c zip:2 {f}none.tif {o}", 0, 1},
        {"jpeg_magick", "convert {f}src.png -compress jpeg -quality 90 {o}", 2, 1},
        {"jpeg_tiffcp_ycbcr", "tiffcp -c jpeg:90:r {f}none.tif {o}", 2, 1},
        {"jpeg_tiffcp_rgb", "tiffcp -c jpeg:90 {f}none.tif {o}", 2, 1},
        {"palette8", "convert {f}src.png -colors 200 -type palette -compress none {o}", 1, 1},
        {"palette4", "convert {f}src.png -colors 16 -type palette -compress lzw {o}", 1, 1},
        {"gray8", "convert {f}src.png -colorspace gray -type grayscale -compress none {o}", 0, 1},
        {"gray4", "convert {f}src.png -colorspace gray -type grayscale -depth 4 -compress none {o}", 0, 1},
        {"gray16", "convert {f}src.png -colorspace gray -type grayscale -depth 16 -compress lzw {o}", 1, 1},
        {"rgb16", "convert {f}src.png -depth 16 -compress zip {o}", 1, 1},
        {"rgba_unassociated", "convert {f}srca.png -define tiff:alpha=unassociated -compress lzw {o}", 0, 1},
        {"rgba_associated", "convert {f}srca.png -define tiff:alpha=associated -compress none {o}", 3, 1},
        {"cmyk", "convert {f}src.png -colorspace cmyk -compress none {o}", 2, 1},
        {"tiles_lzw_bigendian", "tiffcp -B -t -w 32 -l 16 -c lzw {f}none.tif {o}", 0, 1},
    });
}

TEST_F(TiffToolsTest, BilevelFilesOfEveryFaxCodingDecodeToImageMagickPixels) {
    REQUIRE_TOOL("convert");
    REQUIRE_TOOL("tiffcp");
    REQUIRE_TOOL("tiffinfo");
    CheckToolFiles(folder_, {
        {"mono_none", "convert {f}mono.png -type bilevel -depth 1 -compress none {o}", 0, 1},
        {"g3_1d", "tiffcp -c g3:1d {f}mono_none.tif {o}", 0, 1},
        {"g3_2d", "tiffcp -c g3:2d {f}mono_none.tif {o}", 0, 1},
        {"g3_fill", "tiffcp -c g3:2d:fill {f}mono_none.tif {o}", 0, 1},
        {"g4", "tiffcp -c g4 {f}mono_none.tif {o}", 0, 1},
        {"g4_magick", "convert {f}mono.png -compress group4 {o}", 0, 1},
        {"g3_magick", "convert {f}mono.png -compress fax {o}", 0, 1},
        {"g4_lsb", "tiffcp -c g4 -f lsb2msb {f}mono_none.tif {o}", 0, 1},
        {"mono_whiteiszero", "convert {f}mono.png -type bilevel -depth 1 -compress none -define quantum:polarity=min-is-white {o}", 0, 1},
    });
}

TEST_F(TiffToolsTest, TilesPlanesByteOrdersAndPagesDecodeToImageMagickPixels) {
    REQUIRE_TOOL("convert");
    REQUIRE_TOOL("tiffcp");
    REQUIRE_TOOL("tiffinfo");
    CheckToolFiles(folder_, {
        {"none", "convert {f}src.png -compress none {o}", 0, 1},
        {"tiles", "tiffcp -t -w 16 -l 16 {f}none.tif {o}", 0, 1},
        {"strips_bigendian", "tiffcp -B -r 5 -c packbits {f}none.tif {o}", 0, 1},
        {"planar", "tiffcp -p separate -r 7 -c lzw:2 {f}none.tif {o}", 0, 1},
        {"multipage", "convert {f}src.png {f}mono.png {f}srca.png -compress lzw {o}", 0, 3},
    });
}

TEST_F(TiffToolsTest, OurFilesPassTiffinfoAndDecodeInImageMagick) {
    REQUIRE_TOOL("convert");
    REQUIRE_TOOL("tiffinfo");
    struct TCase {
        const char* name;
        const char* source;
        uint8_t compression;
        int32_t bits, samples;
        int tolerance;
    };
    const TCase cases[] = {
        {"w_none", "src.png", 0, 8, 3, 0},           {"w_lzw", "src.png", 5, 8, 3, 0},
        {"w_packbits", "src.png", 8, 8, 3, 0},       {"w_deflate", "src.png", 9, 8, 3, 0},
        {"w_jpeg", "src.png", 7, 8, 3, 64},           {"w_rgba_lzw", "srca.png", 5, 8, 3, 0},
        {"w_mono_none", "mono.png", 0, 1, 1, 0},     {"w_mono_mh", "mono.png", 1, 1, 1, 0},
        {"w_mono_g3", "mono.png", 2, 1, 1, 0},       {"w_mono_g3_2d", "mono.png", 3, 1, 1, 0},
        {"w_mono_g4", "mono.png", 4, 1, 1, 0},       {"w_mono_lzw", "mono.png", 5, 1, 1, 0},
        {"w_gray_palette", "mono.png", 0, 8, 1, 0},
    };
    const std::string f = folder_.string() + "/";
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        TVidurErIO io;
        io.LoadFromFile(f + c.source);
        ASSERT_FALSE(io.AbortFlag) << io.LastError();
        const std::vector<uint8_t> expected = OurRGBA(*io.Bitmap());
        io.ImageParams.TiffCompression = c.compression;
        io.ImageParams.BitsPerSample = c.bits;
        io.ImageParams.SamplesPerPixel = c.samples;
        const fs::path file = f + std::string(c.name) + ".tif";
        io.SaveToFile(file.string());
        ASSERT_FALSE(io.AbortFlag) << io.LastError();
        int status = 0;
        const std::string info = RunCommand("tiffinfo -D '" + file.string() + "' 2>&1 >/dev/null", &status);
        EXPECT_EQ(status, 0);
        EXPECT_EQ(info, "");
        TVidurErIO back;
        back.LoadFromFile(file.string());
        ASSERT_FALSE(back.AbortFlag) << back.LastError();
        const std::vector<uint8_t> ours = OurRGBA(*back.Bitmap());
        EXPECT_LE(MaxDifference(ours, expected), c.tolerance);
        // Lossy data decode alike in both readers.
        EXPECT_LE(MaxDifference(MagickRGBA(file), ours), c.compression == 7 ? 2 : 0);
    }
}

TEST_F(TiffToolsTest, PagesAreWrittenAndAppended) {
    REQUIRE_TOOL("tiffinfo");
    REQUIRE_TOOL("convert");
    const std::string f = folder_.string() + "/";
    const fs::path file = f + "w_pages.tif";
    fs::remove(file);
    const char* sources[] = {"src.png", "mono.png", "srca.png"};
    for (const char* source : sources) {
        TVidurErIO io;
        io.LoadFromFile(f + source);
        ASSERT_FALSE(io.AbortFlag) << io.LastError();
        io.ImageParams.TiffCompression = 5;
        io.ImageParams.TiffImageIndex = 99;  // past the end: appended
        io.InsertToFileTIFF(file.string());
        ASSERT_FALSE(io.AbortFlag) << io.LastError();
    }
    // One more page in front of the others.
    TVidurErIO first;
    first.LoadFromFile(f + "mono.png");
    first.ImageParams.TiffCompression = 4;
    first.ImageParams.TiffImageIndex = 0;
    first.InsertToFileTIFF(file.string());
    ASSERT_FALSE(first.AbortFlag) << first.LastError();
    EXPECT_EQ(TiffinfoPages(file), 4);
    const char* order[] = {"mono.png", "src.png", "mono.png", "srca.png"};
    for (int page = 0; page < 4; ++page) {
        TVidurErIO io;
        io.ImageParams.TiffImageIndex = page;
        io.LoadFromFile(file.string());
        ASSERT_FALSE(io.AbortFlag) << io.LastError();
        EXPECT_EQ(io.ImageParams.ImageCount, 4);
        EXPECT_EQ(MaxDifference(OurRGBA(*io.Bitmap()), MagickRGBA(f + order[page])), 0) << page;
        EXPECT_EQ(MaxDifference(MagickRGBA(file, page), MagickRGBA(f + order[page])), 0) << page;
    }
}

// ---------------------------------------------------------------- YCbCr and orientation

// A little-endian one-page YCbCr TIFF of 8-bit samples holding the given
// strips or tiles (uncompressed, or Deflate when deflate is set).
std::vector<uint8_t> YCbCrFile(int32_t width, int32_t height, int32_t h, int32_t v, int32_t rowsPerStrip,
                               int32_t tileSize, const std::vector<std::vector<uint8_t>>& blocks, bool deflate) {
    TMemoryStream stream;
    const uint8_t header[8] = {'I', 'I', 42, 0, 0, 0, 0, 0};
    stream.WriteBuffer(header, 8);
    TIETIFFIFDWriter ifd(stream);
    std::vector<uint32_t> offsets, counts;
    for (const auto& block : blocks) {
        std::vector<uint8_t> stored = block;
        if (deflate) {
            uLongf size = compressBound(static_cast<uLong>(block.size()));
            stored.resize(size);
            compress(stored.data(), &size, block.data(), static_cast<uLong>(block.size()));
            stored.resize(size);
        }
        offsets.push_back(ifd.WriteOutOfLine(stored.data(), stored.size()));
        counts.push_back(static_cast<uint32_t>(stored.size()));
    }
    ifd.AddLong(256, static_cast<uint32_t>(width));
    ifd.AddLong(257, static_cast<uint32_t>(height));
    ifd.AddShorts(258, {8, 8, 8});
    ifd.AddShort(259, deflate ? 8 : 1);
    ifd.AddShort(262, 6);
    ifd.AddShort(277, 3);
    ifd.AddShorts(530, {static_cast<uint16_t>(h), static_cast<uint16_t>(v)});
    if (tileSize > 0) {
        ifd.AddLong(322, static_cast<uint32_t>(tileSize));
        ifd.AddLong(323, static_cast<uint32_t>(tileSize));
        ifd.AddLongs(324, offsets);
        ifd.AddLongs(325, counts);
    } else {
        ifd.AddLong(278, static_cast<uint32_t>(rowsPerStrip));
        ifd.AddLongs(273, offsets);
        ifd.AddLongs(279, counts);
    }
    const uint32_t at = ifd.Write(0);
    std::vector<uint8_t> bytes = stream.Bytes();
    std::memcpy(bytes.data() + 4, &at, 4);
    return bytes;
}

// Random data units of a block of the given size: luma anywhere, chroma
// near the middle so that colours stay mostly in range.
std::vector<uint8_t> YCbCrUnits(int32_t width, int32_t rows, int32_t h, int32_t v, uint32_t seed) {
    std::mt19937 random(seed);
    const int32_t unit = h * v + 2;
    const size_t units = static_cast<size_t>((width + h - 1) / h) * static_cast<size_t>((rows + v - 1) / v);
    std::vector<uint8_t> data(units * static_cast<size_t>(unit));
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(static_cast<int32_t>(i % static_cast<size_t>(unit)) < h * v ? random() % 256
                                                                                                  : 80 + random() % 96);
    return data;
}

// libtiff's own conversion (tiff2rgba) is the judge of YCbCr pages:
// ImageMagick reads subsampled data units as if they were pixels.
std::vector<uint8_t> LibtiffRGBA(const fs::path& file) {
    const fs::path out = file.string() + ".rgba.tif";
    RunCommand("tiff2rgba -c none '" + file.string() + "' '" + out.string() + "'");
    return MagickRGBA(out);
}

TEST_F(TiffToolsTest, YCbCrPagesDecodeToLibtiffPixels) {
    REQUIRE_TOOL("convert");
    REQUIRE_TOOL("tiffcp");
    REQUIRE_TOOL("tiff2rgba");
    const std::string f = folder_.string() + "/";
    // Files of the tools: ImageMagick writes full-resolution colour.
    const char* made[][2] = {
        {"ycc_none", "convert {f}src.png -colorspace YCbCr -compress none {o}"},
        {"ycc_lzw", "convert {f}src.png -colorspace YCbCr -compress lzw {o}"},
        {"ycc_packbits", "convert {f}src.png -colorspace YCbCr -compress rle {o}"},
        {"ycc_tiles", "tiffcp -t -w 16 -l 16 {f}ycc_none.tif {o}"},
        {"ycc_planar", "tiffcp -p separate {f}ycc_none.tif {o}"},
    };
    std::vector<fs::path> files;
    for (const auto& m : made) {
        RunCommand(Expand(m[1], f, m[0]) + " 2>/dev/null");
        files.push_back(f + m[0] + ".tif");
    }
    // Subsampled pages, odd sizes so that units overhang the edges (4 x 4
    // in one whole row of units: libtiff 4.5 misplaces 4 x 4 units at a
    // right edge and in later rows).
    struct TUnits {
        const char* name;
        int32_t width, height, h, v, rowsPerStrip, tile;
        bool deflate;
    };
    const TUnits units[] = {
        {"ycc_22", 13, 9, 2, 2, 9, 0, false},      {"ycc_21_strips", 15, 11, 2, 1, 3, 0, false},
        {"ycc_42", 17, 7, 4, 2, 4, 0, false},      {"ycc_44_deflate", 8, 4, 4, 4, 4, 0, true},
        {"ycc_22_tiles", 37, 21, 2, 2, 0, 16, false},
    };
    uint32_t seed = 1;
    for (const TUnits& u : units) {
        std::vector<std::vector<uint8_t>> blocks;
        if (u.tile > 0) {
            const int32_t count = ((u.width + u.tile - 1) / u.tile) * ((u.height + u.tile - 1) / u.tile);
            for (int32_t i = 0; i < count; ++i) blocks.push_back(YCbCrUnits(u.tile, u.tile, u.h, u.v, seed++));
        } else {
            for (int32_t y = 0; y < u.height; y += u.rowsPerStrip)
                blocks.push_back(YCbCrUnits(u.width, std::min(u.rowsPerStrip, u.height - y), u.h, u.v, seed++));
        }
        const std::vector<uint8_t> bytes = YCbCrFile(u.width, u.height, u.h, u.v, u.rowsPerStrip, u.tile, blocks, u.deflate);
        files.push_back(f + u.name + ".tif");
        WriteFileBytes(files.back().string(), bytes.data(), bytes.size());
    }
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.filename().string());
        ASSERT_TRUE(fs::exists(file));
        ASSERT_NE(RunCommand("tiffinfo '" + file.string() + "'").find("YCbCr"), std::string::npos);
        TVidurErIO io;
        io.LoadFromFile(file.string());
        ASSERT_FALSE(io.AbortFlag) << io.LastError();
        EXPECT_LE(MaxDifference(OurRGBA(*io.Bitmap()), LibtiffRGBA(file)), 1);
    }
}

TEST(TiffRead, YCbCrLayoutsWithoutAReadingAreRefusedWithAReason) {
    const std::vector<uint8_t> data = YCbCrUnits(8, 8, 2, 2, 3);
    struct TCase {
        int32_t h, v;
        const char* reason;
    } cases[] = {{3, 1, "subsampling 3 x 1"}, {2, 8, "subsampling 2 x 8"}};
    for (const TCase& c : cases) {
        std::vector<uint8_t> bytes = YCbCrFile(8, 8, c.h, c.v, 8, 0, {data}, false);
        TMemoryStream stream(bytes);
        TIEBitmap bitmap;
        TIOParamsVals params;
        bool aborted = false;
        TIEProgressRec progress;
        progress.AbortFlag = &aborted;
        std::unique_ptr<TIEMask> mask;
        int32_t pages = 0;
        std::string failure;
        IEReadTIFFStream(&bitmap, stream, pages, &params, progress, false, mask, false, false, false, &failure);
        EXPECT_TRUE(aborted);
        EXPECT_NE(failure.find(c.reason), std::string::npos) << failure;
    }
}

// A page stored turned carries its alpha turned with it.
TEST_F(TiffToolsTest, TurnedPagesTurnTheirAlphaToo) {
    REQUIRE_TOOL("convert");
    const std::string f = folder_.string() + "/";
    for (const char* orient : {"right-top", "bottom-right", "left-bottom", "top-right"}) {
        SCOPED_TRACE(orient);
        const fs::path file = f + "oriented_" + orient + ".tif";
        RunCommand("convert '" + f + "srca.png' -orient " + orient + " -compress lzw '" + file.string() + "'");
        TVidurErIO io;
        io.ImageParams.TiffEnableAdjustOrientation = true;
        io.LoadFromFile(file.string());
        ASSERT_FALSE(io.AbortFlag) << io.LastError();
        ASSERT_TRUE(io.Bitmap()->GetHasAlphaChannel());
        const std::string upright =
            RunCommand("convert '" + file.string() + "' -auto-orient -depth 8 rgba:- 2>/dev/null");
        EXPECT_EQ(MaxDifference(OurRGBA(*io.Bitmap()), std::vector<uint8_t>(upright.begin(), upright.end())), 0);
    }
}

// ---------------------------------------------------------------- damage

uint32_t Get32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}
// The entry of a tag in the first directory of a little-endian file.
size_t EntryOf(const std::vector<uint8_t>& b, uint16_t tag) {
    const size_t ifd = Get32(b, 4);
    const size_t count = b[ifd] | b[ifd + 1] << 8;
    for (size_t i = 0; i < count; ++i) {
        const size_t at = ifd + 2 + 12 * i;
        if ((b[at] | b[at + 1] << 8) == tag) return at;
    }
    return 0;
}

TEST(TiffDamage, DamagedFilesAreRefusedWithAReason) {
    // A 64 x 40 LZW page of our own, one strip.
    TIEBitmap picture(64, 40, ie24RGB);
    for (int32_t y = 0; y < 40; ++y)
        for (int32_t x = 0; x < 64 * 3; ++x) picture.GetScanline(y)[x] = static_cast<uint8_t>(x * y + x / 3);
    TIOParamsVals params;
    params.TiffCompression = 5;
    params.TiffLZWCompress = IETIFFLZWCompress;
    bool abort = false;
    TIEProgressRec progress;
    progress.AbortFlag = &abort;
    TMemoryStream written;
    IEWriteTIFFStream(written, false, &picture, params, progress);
    ASSERT_FALSE(abort);
    const std::vector<uint8_t> good = written.Bytes();
    const size_t offsets = EntryOf(good, 273), counts = EntryOf(good, 279), width = EntryOf(good, 256);
    ASSERT_NE(offsets, 0u);
    const uint32_t strip = Get32(good, offsets + 8), stripSize = Get32(good, counts + 8);

    struct TCase {
        const char* name;
        std::vector<uint8_t> bytes;
    };
    std::vector<TCase> cases;
    auto add = [&](const char* name, auto change) {
        std::vector<uint8_t> b = good;
        change(b);
        cases.push_back({name, std::move(b)});
    };
    // The directory follows the strip, so a cut inside the strip loses it:
    // the cut file keeps its directory and loses the strip's tail instead.
    add("truncated strip", [&](std::vector<uint8_t>& b) {
        std::vector<uint8_t> moved(b.begin() + strip + stripSize, b.end());
        const uint32_t newIFD = strip + stripSize / 2;
        b.resize(newIFD);
        // Offsets out of line (the resolutions) keep pointing behind: fine.
        b.insert(b.end(), moved.begin(), moved.end());
        Put32(b, 4, Get32(b, 4) - (stripSize - stripSize / 2));
    });
    add("strip offset past the end", [&](std::vector<uint8_t>& b) { Put32(b, offsets + 8, 0x7FFFFFF0); });
    add("huge dimensions", [&](std::vector<uint8_t>& b) { Put32(b, width + 8, 0x00FFFFFF); });
    add("bad LZW code", [&](std::vector<uint8_t>& b) {
        for (uint32_t i = 4; i < 40; ++i) b[strip + i] = 0xFF;
    });
    add("strip byte count of zero, data short", [&](std::vector<uint8_t>& b) {
        Put32(b, counts + 8, 0);
        Put32(b, offsets + 8, static_cast<uint32_t>(b.size() - 20));
    });
    add("not a TIFF", [&](std::vector<uint8_t>& b) { b[0] = 'X'; });
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        TVidurErIO io;
        TMemoryStream stream(c.bytes);
        io.LoadFromStreamFormat(stream, 1);
        EXPECT_TRUE(io.AbortFlag);
        EXPECT_NE(io.LastError(), "");
    }
}

TEST(TiffDamage, LoopingChainEndsTheCount) {
    TIEBitmap picture(8, 8, ie24RGB);
    TIOParamsVals params;
    bool abort = false;
    TIEProgressRec progress;
    progress.AbortFlag = &abort;
    TMemoryStream stream;
    IEWriteTIFFStream(stream, false, &picture, params, progress);
    stream.SetPosition(0);
    params.TiffImageIndex = 1;
    IEWriteTIFFStream(stream, true, &picture, params, progress);
    ASSERT_FALSE(abort);
    // Page 1 links back to page 0.
    std::vector<uint8_t> b = stream.Bytes();
    const uint32_t first = Get32(b, 4);
    const size_t link0 = first + 2 + 12 * (b[first] | b[first + 1] << 8);
    const uint32_t second = Get32(b, link0);
    const size_t link1 = second + 2 + 12 * (b[second] | b[second + 1] << 8);
    Put32(b, link1, first);
    TMemoryStream looping(b);
    EXPECT_EQ(IEGetTIFFPageCount(looping), 2);
    TVidurErIO io;
    io.ImageParams.TiffImageIndex = 2;
    looping.SetPosition(0);
    io.LoadFromStreamFormat(looping, 1);
    EXPECT_TRUE(io.AbortFlag);
    EXPECT_NE(io.LastError().find("no page 2"), std::string::npos) << io.LastError();
}

TEST(TiffRead, ZeroStripByteCountReadsToTheEnd) {
    TIEBitmap picture(9, 4, ie24RGB);
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 27; ++x) picture.GetScanline(y)[x] = static_cast<uint8_t>(10 * y + x);
    TIOParamsVals params;
    params.TiffCompression = 8;  // PackBits: the count matters
    bool abort = false;
    TIEProgressRec progress;
    progress.AbortFlag = &abort;
    TMemoryStream stream;
    IEWriteTIFFStream(stream, false, &picture, params, progress);
    // Move the directory in front of the strip so the strip ends the file.
    std::vector<uint8_t> b = stream.Bytes();
    Put32(b, EntryOf(b, 279) + 8, 0);
    TMemoryStream zero(b);
    TIEBitmap back;
    std::unique_ptr<TIEMask> mask;
    int32_t pages = 0;
    TIOParamsVals readParams;
    IEReadTIFFStream(&back, zero, pages, &readParams, progress, false, mask, false, false, false);
    // The directory follows the strip: PackBits stops when the row is full.
    EXPECT_FALSE(abort);
    ASSERT_EQ(back.GetWidth(), 9);
    for (int32_t y = 0; y < 4; ++y)
        EXPECT_EQ(std::memcmp(back.GetScanline(y), picture.GetScanline(y), 27), 0) << y;
}

}  // namespace
