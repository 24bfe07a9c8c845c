// The BMP reader and writer, judged by ImageMagick where it can be, and by
// hand-built files for what it cannot make.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/tests/tool_support.h"
#include "imaging/io/ie_bmp.h"

using namespace imaging_test;

namespace {

struct TReadResult {
    bool aborted = false;
    TIEBitmap bitmap;
    TIOParamsVals params;
};

void ReadBMP(const std::vector<uint8_t>& bytes, TReadResult& result, bool ignoreAlpha = false,
             TIEProgressEvent onProgress = nullptr) {
    TMemoryStream stream;
    stream.Write(bytes.data(), static_cast<int64_t>(bytes.size()));
    stream.SetPosition(0);
    TIEProgressRec progress;
    progress.AbortFlag = &result.aborted;
    progress.OnProgress = std::move(onProgress);
    IEReadBMPStream(stream, result.bitmap, 0, result.params, progress, false, false, ignoreAlpha);
}

// The image as rows of red, green, blue, alpha bytes, top row first.
std::vector<uint8_t> ToRGBA(TIEBitmap& bitmap) {
    std::vector<uint8_t> out;
    TIEBitmap* alpha = bitmap.GetHasAlphaChannel() ? bitmap.GetAlphaChannel() : nullptr;
    for (int32_t y = 0; y < bitmap.GetHeight(); ++y) {
        std::vector<uint8_t> row(bitmap.GetScanline(y), bitmap.GetScanline(y) + bitmap.GetRowLen());
        const uint8_t* alphaRow = alpha ? alpha->GetScanline(y) : nullptr;
        for (int32_t x = 0; x < bitmap.GetWidth(); ++x) {
            TRGB c;
            if (bitmap.GetPixelFormat() == ie1g) c = (row[x / 8] & IEBitMask[x % 8]) ? TRGB{255, 255, 255} : TRGB{};
            else if (bitmap.GetPixelFormat() == ie8p) c = bitmap.GetPaletteColor(row[x]);
            else c = TRGB{row[3 * x], row[3 * x + 1], row[3 * x + 2]};
            out.insert(out.end(), {c.r, c.g, c.b, alphaRow ? alphaRow[x] : uint8_t{255}});
        }
    }
    return out;
}

std::vector<uint8_t> MagickRGBA(const std::filesystem::path& file) {
    std::string out = RunCommand("convert '" + file.string() + "' -depth 8 rgba:-");
    return std::vector<uint8_t>(out.begin(), out.end());
}

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

// A BMP with a 40-byte header; pixels are the given rows as stored.
std::vector<uint8_t> MakeBMP(int32_t width, int32_t height, int bits, uint32_t compression,
                             const std::vector<uint32_t>& palette, const std::vector<uint8_t>& pixels,
                             uint32_t colorsUsed = 0, uint32_t ppm = 0) {
    std::vector<uint8_t> b(54);
    b[0] = 'B', b[1] = 'M';
    Put32(b, 14, 40);
    Put32(b, 18, static_cast<uint32_t>(width));
    Put32(b, 22, static_cast<uint32_t>(height));
    b[26] = 1;
    b[28] = static_cast<uint8_t>(bits);
    Put32(b, 30, compression);
    Put32(b, 34, static_cast<uint32_t>(pixels.size()));
    Put32(b, 38, ppm);
    Put32(b, 42, ppm);
    Put32(b, 46, colorsUsed);
    for (uint32_t c : palette) b.insert(b.end(), {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16), 0});
    Put32(b, 10, static_cast<uint32_t>(b.size()));
    b.insert(b.end(), pixels.begin(), pixels.end());
    Put32(b, 2, static_cast<uint32_t>(b.size()));
    return b;
}

std::vector<uint8_t> WriteBMP(TIEBitmap& bitmap, TIOParamsVals& params, bool writeAlpha = false) {
    TMemoryStream stream;
    bool aborted = false;
    TIEProgressRec progress;
    progress.AbortFlag = &aborted;
    IEWriteBMPStream(stream, bitmap, params, progress, writeAlpha);
    EXPECT_FALSE(aborted);
    std::vector<uint8_t> bytes(static_cast<size_t>(stream.GetSize()));
    stream.SetPosition(0);
    stream.Read(bytes.data(), static_cast<int64_t>(bytes.size()));
    return bytes;
}

}  // namespace

TEST(ToolsBmp, ReadsWhatImageMagickWrites) {
    REQUIRE_TOOL("convert");
    auto folder = FixtureFolder("bmp_read");
    const std::string picture = "-size 37x23 gradient:red-blue \\( -size 37x23 gradient:yellow-black -rotate 90 -resize 37x23! \\) -compose multiply -composite";
    struct Case {
        const char* name;
        const char* options;
        const char* target;
    } cases[] = {
        {"bmp2_8", "-colors 200 -type palette", "BMP2"},
        {"bmp3_1", "-monochrome", "BMP3"},
        {"bmp3_1colours", "-colors 2 -type palette", "BMP3"},
        {"bmp3_4", "-colors 16 -type palette", "BMP3"},
        {"bmp3_8", "-colors 200 -type palette", "BMP3"},
        {"bmp3_24", "-type truecolor", "BMP3"},
        {"rle8", "-colors 60 -type palette -compress rle", "BMP3"},
        {"rgb565", "-define bmp:subtype=RGB565", "BMP"},
        {"rgb555", "-define bmp:subtype=RGB555", "BMP"},
        {"alpha32", "-alpha set -channel A -fx 'i/w' +channel", "BMP"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto file = folder / (std::string(c.name) + ".bmp");
        int status = 0;
        RunCommand("convert " + picture + " " + c.options + " " + c.target + ":'" + file.string() + "' 2>&1", &status);
        ASSERT_EQ(status, 0);
        TReadResult result;
        ReadBMP(ReadBytes(file), result);
        ASSERT_FALSE(result.aborted);
        EXPECT_EQ(result.params.Width, 37);
        EXPECT_EQ(result.params.Height, 23);
        auto ours = ToRGBA(result.bitmap), theirs = MagickRGBA(file);
        ASSERT_EQ(ours.size(), theirs.size());
        EXPECT_EQ(ours, theirs);
        EXPECT_EQ(result.bitmap.GetHasAlphaChannel(), std::string(c.name) == "alpha32");
    }
}

// Layouts ImageMagick reads but does not write, made from its own files.
TEST(ToolsBmp, BitFieldLayoutsReadAsImageMagickReadsThem) {
    REQUIRE_TOOL("convert");
    auto folder = FixtureFolder("bmp_bitfields");
    const std::string picture = "-size 13x7 gradient:red-blue \\( -size 13x7 gradient:yellow-black -rotate 90 -resize 13x7! \\) -compose multiply -composite";
    auto source = folder / "source.bmp";
    RunCommand("convert " + picture + " -type truecolor BMP3:'" + source.string() + "'");
    auto plain = ReadBytes(source);
    ASSERT_GT(plain.size(), 54u);
    const uint32_t offset = plain[10] | plain[11] << 8;
    const int32_t width = 13, height = 7;
    const size_t plainRow = (width * 3 + 3) / 4 * 4;
    // The 24-bit pixels packed anew under masks, with a 40-byte header
    // followed by the masks and then (when asked) a colour table.
    auto repack = [&](int bits, const std::vector<uint32_t>& masks, uint32_t colorsUsed) {
        std::vector<uint8_t> pixels;
        const size_t row = (width * bits / 8 + 3) / 4 * 4;
        for (int32_t y = 0; y < height; ++y) {
            std::vector<uint8_t> line(row, 0);
            for (int32_t x = 0; x < width; ++x) {
                const uint8_t* p = &plain[offset + y * plainRow + 3 * x];
                uint32_t v = 0;
                const uint8_t channels[4] = {p[2], p[1], p[0], 255};
                for (int k = 0; k < 4; ++k) {
                    const uint32_t mask = masks[static_cast<size_t>(k)];
                    if (!mask) continue;
                    const int low = __builtin_ctz(mask), span = __builtin_popcount(mask);
                    const uint32_t value = span <= 8 ? uint32_t{channels[k]} >> (8 - span) : uint32_t{channels[k]} << (span - 8);
                    v |= value << low;
                }
                for (int b = 0; b < bits / 8; ++b) line[static_cast<size_t>(x * bits / 8 + b)] = static_cast<uint8_t>(v >> (8 * b));
            }
            pixels.insert(pixels.end(), line.begin(), line.end());
        }
        std::vector<uint32_t> table(masks.begin(), masks.begin() + 3);
        for (uint32_t i = 0; i < colorsUsed; ++i) table.push_back(0x102030 * (i + 1));
        return MakeBMP(width, height, bits, 3, table, pixels, colorsUsed);
    };
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"565 with a colour table", repack(16, {0xF800, 0x07E0, 0x001F, 0}, 2)},
        {"32-bit red in the top byte", repack(32, {0xFF000000, 0x00FF0000, 0x0000FF00, 0}, 0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto file = folder / "case.bmp";
        WriteBytes(file, c.bytes.data(), c.bytes.size());
        TReadResult result;
        ReadBMP(c.bytes, result);
        ASSERT_FALSE(result.aborted);
        EXPECT_EQ(ToRGBA(result.bitmap), MagickRGBA(file));
        EXPECT_FALSE(result.bitmap.GetHasAlphaChannel());
    }
}

TEST(ToolsBmp, WrittenFilesDecodeInImageMagick) {
    REQUIRE_TOOL("convert");
    REQUIRE_TOOL("compare");
    auto folder = FixtureFolder("bmp_write");
    auto reference = folder / "ref.bmp";
    RunCommand("convert -size 41x19 gradient:green-orange -colors 12 -type truecolor BMP3:'" + reference.string() + "'");
    TReadResult source;
    ReadBMP(ReadBytes(reference), source);
    ASSERT_FALSE(source.aborted);
    TIEBitmap& image = source.bitmap;
    // An alpha ramp for the 32-bit case.
    TIEBitmap withAlpha;
    withAlpha.Assign(image);
    TIEBitmap* alpha = withAlpha.GetAlphaChannel();
    for (int32_t y = 0; y < withAlpha.GetHeight(); ++y)
        for (int32_t x = 0; x < withAlpha.GetWidth(); ++x) alpha->GetScanline(y)[x] = static_cast<uint8_t>(x * 6);

    struct Case {
        const char* name;
        int bitsPerSample, samples;
        bool compressed;
        bool alpha;
        const char* identify;  // depth, compression
    } cases[] = {
        {"w4", 4, 1, false, false, "4 None"},      {"w8", 8, 1, false, false, "8 None"},
        {"w24", 8, 3, false, false, "8 None"},     {"w32", 8, 3, false, true, "8 None"},
        {"rle4", 4, 1, true, false, "4 RLE"},      {"rle8", 8, 1, true, false, "8 RLE"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TIOParamsVals params;
        params.BitsPerSample = c.bitsPerSample;
        params.SamplesPerPixel = c.samples;
        params.BmpCompressed = c.compressed;
        params.SetDpiX(150);
        params.SetDpiY(72);
        TIEBitmap& picture = c.alpha ? withAlpha : image;
        auto file = folder / (std::string(c.name) + ".bmp");
        auto bytes = WriteBMP(picture, params, c.alpha);
        WriteBytes(file, bytes.data(), bytes.size());
        EXPECT_EQ(MagickRGBA(file), ToRGBA(picture));
        std::string info = RunCommand("identify -format '%z %C %x %y' '" + file.string() + "'");
        EXPECT_EQ(info.substr(0, std::strlen(c.identify)), c.identify) << info;
        EXPECT_NE(info.find("59.06"), std::string::npos) << info;  // 150 dpi in pixels per centimetre
        EXPECT_NE(info.find("28.35"), std::string::npos) << info;  // 72 dpi
        // Important colours: all of the table, none without one.
        const uint32_t important = bytes[50] | bytes[51] << 8 | bytes[52] << 16 | uint32_t{bytes[53]} << 24;
        EXPECT_EQ(important, c.samples == 1 ? 1u << c.bitsPerSample : 0u);
    }
    // A bitmap with alpha written without it is a 24-bit file.
    {
        TIOParamsVals params;
        params.SamplesPerPixel = 3;
        auto bytes = WriteBMP(withAlpha, params, false);
        EXPECT_EQ(bytes[28], 24);
        auto file = folder / "alpha_off.bmp";
        WriteBytes(file, bytes.data(), bytes.size());
        EXPECT_EQ(MagickRGBA(file), ToRGBA(image));
    }

    // 1 bit: a two-colour picture keeps its colours, the darker first.
    TIEBitmap twoColors(5, 3, ie24RGB);
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 5; ++x) {
            TRGB c = (x + y) % 2 ? TRGB{200, 220, 240} : TRGB{10, 0, 40};
            std::memcpy(twoColors.GetScanline(y) + 3 * x, &c, 3);
        }
    TIOParamsVals params;
    params.BitsPerSample = 1;
    params.SamplesPerPixel = 1;
    auto bytes = WriteBMP(twoColors, params);
    ASSERT_EQ(params.ColorMap.size(), 2u);
    EXPECT_EQ(params.ColorMap[0], (TRGB{10, 0, 40}));
    auto file = folder / "w1.bmp";
    WriteBytes(file, bytes.data(), bytes.size());
    EXPECT_EQ(MagickRGBA(file), ToRGBA(twoColors));
}

TEST(ToolsBmp, TopDownFileReadsUpright) {
    REQUIRE_TOOL("convert");
    auto folder = FixtureFolder("bmp_topdown");
    auto file = folder / "td.bmp";
    // Rows 0x10.., 0x20.. as stored; with negative height the first is the top.
    std::vector<uint8_t> pixels = {0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0, 0, 0, 0, 0, 0,
                                   0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0, 0, 0, 0, 0, 0};
    auto bytes = MakeBMP(2, -2, 24, 0, {}, pixels);
    WriteBytes(file, bytes.data(), bytes.size());
    TReadResult result;
    ReadBMP(bytes, result);
    ASSERT_FALSE(result.aborted);
    EXPECT_EQ(result.bitmap.GetScanline(0)[0], 0x10);
    EXPECT_EQ(ToRGBA(result.bitmap), MagickRGBA(file));
}

TEST(Bmp, RLERowCoding) {
    struct Case {
        std::vector<uint8_t> row;
        bool rle4;
        std::vector<uint8_t> coded;
    } cases[] = {
        {{1, 2, 3}, true, {0, 3, 0x12, 0x30, 0, 0}},
        {{5, 5, 5}, true, {3, 0x55, 0, 0}},
        {{7, 9}, false, {1, 7, 1, 9, 0, 0}},
        {{1, 2, 3, 4, 4}, false, {0, 3, 1, 2, 3, 0, 2, 4, 0, 0}},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> out;
        IEEncodeBMPRLERow(c.row.data(), static_cast<int32_t>(c.row.size()), c.rle4, out);
        EXPECT_EQ(out, c.coded);
    }
}

TEST(Bmp, ReaderDetails) {
    // 16-bit bit fields 5-6-5: white stays white, each channel's top bits
    // repeated below it.
    {
        auto b = MakeBMP(1, 1, 16, 3, {0xF800, 0x07E0, 0x001F}, {0xFF, 0xFF, 0, 0});
        TReadResult r;
        ReadBMP(b, r);
        const uint8_t* p = r.bitmap.GetScanline(0);
        EXPECT_EQ((std::vector<int>{p[2], p[1], p[0]}), (std::vector<int>{255, 255, 255}));
    }
    // Channels of 4 bits repeat their bits too (ImageMagick only shifts
    // them): 4-4-4 in the high bits, 0xF5A0 is (255, 85, 170).
    {
        auto b = MakeBMP(1, 1, 16, 3, {0xF000, 0x0F00, 0x00F0}, {0xA0, 0xF5, 0, 0});
        TReadResult r;
        ReadBMP(b, r);
        const uint8_t* p = r.bitmap.GetScanline(0);
        EXPECT_EQ((std::vector<int>{p[2], p[1], p[0]}), (std::vector<int>{255, 85, 170}));
    }
    // 1 bit: a white, black table inverts the bits; black, white keeps them.
    for (bool whiteFirst : {true, false}) {
        std::vector<uint32_t> palette = whiteFirst ? std::vector<uint32_t>{0xFFFFFF, 0} : std::vector<uint32_t>{0, 0xFFFFFF};
        TReadResult r;
        ReadBMP(MakeBMP(8, 1, 1, 0, palette, {0xF0, 0, 0, 0}), r);
        EXPECT_EQ(r.bitmap.GetScanline(0)[0], whiteFirst ? 0x0F : 0xF0);
    }
    // 32 bit: all-0 or all-255 alpha gives no alpha channel; IgnoreAlpha neither.
    for (uint8_t a : {uint8_t{0}, uint8_t{255}}) {
        TReadResult r;
        ReadBMP(MakeBMP(2, 1, 32, 0, {}, {1, 2, 3, a, 4, 5, 6, a}), r);
        EXPECT_FALSE(r.bitmap.GetHasAlphaChannel());
    }
    {
        TReadResult r;
        ReadBMP(MakeBMP(2, 1, 32, 0, {}, {1, 2, 3, 9, 4, 5, 6, 255}), r, true);
        EXPECT_FALSE(r.bitmap.GetHasAlphaChannel());
    }
    // Colours used above 256 count as 0: a 4-bit file gets 16 entries; 3780 ppm is 96 dpi.
    {
        TReadResult r;
        std::vector<uint32_t> palette(16, 0x123456);
        ReadBMP(MakeBMP(2, 1, 4, 0, palette, {0x12, 0, 0, 0}, 300, 3780), r);
        EXPECT_EQ(r.params.ColorMapCount(), 16);
        EXPECT_EQ(r.params.DpiX, 96);
    }
    // RLE8 run past the row end: the pixels before the end stay, the rest is dropped.
    {
        TReadResult r;
        r.params.NativePixelFormat = true;
        ReadBMP(MakeBMP(3, 1, 8, 1, std::vector<uint32_t>(256), {2, 7, 4, 9, 2, 5, 0, 1}), r);
        EXPECT_EQ(std::vector<uint8_t>(r.bitmap.GetScanline(0), r.bitmap.GetScanline(0) + 3), (std::vector<uint8_t>{7, 7, 9}));
    }
    // Zero width: parameters filled, nothing allocated, no abort.
    {
        TReadResult r;
        ReadBMP(MakeBMP(0, 5, 24, 0, {}, {}), r);
        EXPECT_FALSE(r.aborted);
        EXPECT_EQ(r.params.Height, 5);
        EXPECT_EQ(r.bitmap.GetWidth(), 0);
    }
}

TEST(Bmp, AbortStopsReadingAndWriting) {
    std::vector<uint8_t> pixels(4 * 10, 0x80);
    TReadResult r;
    int reports = 0;
    ReadBMP(MakeBMP(1, 10, 24, 0, {}, pixels), r, false, [&](void*, int percent) {
        ++reports;
        if (percent >= 50) *const_cast<bool*>(&r.aborted) = true;
    });
    EXPECT_TRUE(r.aborted);
    EXPECT_EQ(reports, 6);  // 0, 10, .. 50
    EXPECT_EQ(r.bitmap.GetScanline(9)[0], 0x80);  // bottom rows were read
    EXPECT_EQ(r.bitmap.GetScanline(0)[0], 0);

    TIEBitmap image(4, 4, ie24RGB);
    TIOParamsVals params;
    TMemoryStream stream;
    bool aborted = true;
    TIEProgressRec progress;
    progress.AbortFlag = &aborted;
    IEWriteBMPStream(stream, image, params, progress, false);
    EXPECT_EQ(stream.GetSize(), 54);  // headers only, left as placeholders
}

TEST(Bmp, BadFilesAbortCleanly) {
    auto good = MakeBMP(4, 4, 8, 0, std::vector<uint32_t>(256), std::vector<uint8_t>(16, 1));
    auto with = [&](size_t at, uint32_t value) {
        auto b = good;
        Put32(b, at, value);
        return b;
    };
    auto cut = [&](size_t size) {
        auto b = good;
        b.resize(size);
        return b;
    };
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        bool aborts;
    } cases[] = {
        {"not BM", std::vector<uint8_t>{'B', 'X', 0, 0}, true},
        {"header only", cut(14), true},
        {"tiny info header", with(14, 4), true},
        {"huge info header", with(14, 0x7FFFFFFF), false},
        {"huge dimensions", with(18, 1000000), true},
        {"huge height", with(22, 0x7FFFFFF0), true},
        {"most negative height", with(22, 0x80000000), true},
        {"offset past the file", with(10, 0xFFFFFF00), false},
        {"palette count past the file", with(46, 256), false},
        {"truncated rows", cut(good.size() - 7), false},
        {"RLE past the data", [&] { auto b = with(30, 1); b.resize(b.size() - 10); return b; }(), false},
        {"delta past the image", MakeBMP(4, 4, 8, 1, {}, {0, 2, 200, 200, 5, 1}), false},
        {"no bit count, 10240 x 10496", [] {
             auto b = MakeBMP(4, 4, 0, 0, {}, std::vector<uint8_t>(16, 1));
             Put32(b, 18, 10240);
             Put32(b, 22, 10496);
             return b;
         }(), true},
        {"16-bit masks wider than a pixel", MakeBMP(2, 2, 16, 3, {0xFFFFFF, 0xFFFFFF, 0xFFFFFF}, std::vector<uint8_t>(8, 9)), false},
        // 2000 bytes of RLE paint at most 255 000 pixels: refused before the
        // 90 MB picture is allocated.
        {"RLE far larger than its data", [] {
             std::vector<uint8_t> runs;
             for (int i = 0; i < 1000; ++i) runs.insert(runs.end(), {255, 1});
             return MakeBMP(6000, 5000, 8, 1, {}, runs);
         }(), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TReadResult r;
        ReadBMP(c.bytes, r);
        EXPECT_EQ(r.aborted, c.aborts);
    }
}
