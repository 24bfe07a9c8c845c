// Packed DIB export: its size and header, and ImageMagick reading it behind
// a file header to the same pixels; bitmap comparison.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_dib_bitmap.h"
#include "imaging/core/ie_dib_exchange.h"
#include "imaging/core/tests/tool_support.h"

using namespace imaging_test;

namespace {

uint32_t Get32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t{b[at]} | uint32_t{b[at + 1]} << 8 | uint32_t{b[at + 2]} << 16 | uint32_t{b[at + 3]} << 24;
}

std::unique_ptr<TIEBitmap> Picture(TIEPixelFormat format, int32_t w, int32_t h) {
    auto b = std::make_unique<TIEBitmap>(w, h, format);
    for (int32_t y = 0; y < h; ++y) {
        uint8_t* row = b->GetScanline(y);
        for (int32_t x = 0; x < b->GetRowLen(); ++x) row[x] = static_cast<uint8_t>(x * 37 + y * 11);
    }
    if (format == ie8p)
        for (int32_t i = 0; i < 256; ++i) b->SetPaletteColor(i, TRGB{uint8_t(i), uint8_t(255 - i), uint8_t(i * 3)});
    return b;
}

// A 40-byte header with the fields the import reads.
std::vector<uint8_t> Header(int32_t width, int32_t height, int bits, uint32_t compression, uint32_t used = 0) {
    std::vector<uint8_t> h(40, 0);
    auto put = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) h[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    put(0, 40);
    put(4, static_cast<uint32_t>(width));
    put(8, static_cast<uint32_t>(height));
    h[12] = 1;
    h[14] = static_cast<uint8_t>(bits);
    put(16, compression);
    put(32, used);
    return h;
}

std::vector<uint8_t> FromHex(const std::string& hex) {
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) bytes.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

std::vector<uint8_t> Joined(std::vector<uint8_t> head, const std::vector<uint8_t>& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}


uint32_t Code(const char* fourcc) {
    return uint32_t(uint8_t(fourcc[0])) | uint32_t(uint8_t(fourcc[1])) << 8 | uint32_t(uint8_t(fourcc[2])) << 16 |
           uint32_t(uint8_t(fourcc[3])) << 24;
}

}  // namespace

TEST(DibExport, SizesHeadersAndTables) {
    auto rgb = Picture(ie24RGB, 10, 10);
    auto dib = _CopyBitmaptoDIBEx(*rgb, 0, 0, 0, 0, 300, 300);
    ASSERT_EQ(dib.size(), 364u);  // 44 + 32 x 10
    EXPECT_EQ(Get32(dib, 0), 40u);
    EXPECT_EQ(Get32(dib, 4), 10u);
    EXPECT_EQ(Get32(dib, 8), 10u);
    EXPECT_EQ(dib[14], 24);
    EXPECT_EQ(Get32(dib, 24), 11811u);
    // Bottom-up: the last bitmap row comes first.
    EXPECT_EQ(std::memcmp(dib.data() + 40, rgb->GetScanline(9), 30), 0);

    auto gray16 = Picture(ie16g, 5, 3);
    EXPECT_EQ(_CopyBitmaptoDIBEx(*gray16, 0, 0, 0, 0, 72, 72)[14], 24);

    auto bilevel = Picture(ie1g, 13, 4);
    auto one = _CopyBitmaptoDIBEx(*bilevel, 0, 0, 0, 0, 72, 72);
    EXPECT_EQ(std::vector<uint8_t>(one.begin() + 40, one.begin() + 48), (std::vector<uint8_t>{0, 0, 0, 0, 255, 255, 255, 255}));

    EXPECT_TRUE(_CopyBitmaptoDIBEx(*rgb, 5, 5, 2, 2, 72, 72).empty());    // corners swapped
    EXPECT_TRUE(_CopyBitmaptoDIBEx(*rgb, 0, 0, 11, 10, 72, 72).empty());  // past the right edge

    auto same = Picture(ie24RGB, 10, 10);
    EXPECT_TRUE(IEBitmapsEqual(*rgb, *same));
    same->GetScanline(3)[same->GetRowLen() - 1] ^= 1;  // a padding byte
    EXPECT_FALSE(IEBitmapsEqual(*rgb, *same));
}

TEST(DibExport, ToolsImageMagickReadsTheExportBehindAFileHeader) {
    REQUIRE_TOOL("convert");
    auto folder = FixtureFolder("dib-export");
    struct Case {
        const char* name;
        TIEPixelFormat format;
        int32_t x1, y1, x2, y2;
    } cases[] = {
        {"rgb", ie24RGB, 0, 0, 0, 0}, {"rgb-part", ie24RGB, 3, 2, 17, 9}, {"palette", ie8p, 1, 1, 0, 0},
        {"gray", ie8g, 0, 0, 0, 0},   {"bilevel-odd", ie1g, 3, 1, 16, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto bitmap = Picture(c.format, 19, 11);
        auto dib = _CopyBitmaptoDIBEx(*bitmap, c.x1, c.y1, c.x2, c.y2, 96, 96);
        ASSERT_FALSE(dib.empty());
        const uint32_t table = dib[14] == 1 ? 8 : dib[14] == 8 ? 1024 : 0;
        std::vector<uint8_t> file = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        const uint32_t size = static_cast<uint32_t>(14 + dib.size() - 4), offset = 14 + 40 + table;
        for (int i = 0; i < 4; ++i) file[2 + i] = static_cast<uint8_t>(size >> (8 * i)), file[10 + i] = static_cast<uint8_t>(offset >> (8 * i));
        file.insert(file.end(), dib.begin(), dib.end() - 4);
        auto path = folder / (std::string(c.name) + ".bmp");
        WriteBytes(path, file.data(), file.size());
        std::string magick = RunCommand("convert '" + path.string() + "' -depth 8 rgb:-");
        const int32_t x2 = c.x2 ? c.x2 : 19, y2 = c.y2 ? c.y2 : 11;
        std::string ours;
        for (int32_t y = c.y1; y < y2; ++y) {
            const uint8_t* row = bitmap->GetScanline(y);
            for (int32_t x = c.x1; x < x2; ++x) {
                TRGB p;
                switch (c.format) {
                    case ie1g: p.r = p.g = p.b = (row[x / 8] & (0x80 >> (x % 8))) ? 255 : 0; break;
                    case ie8g: p.r = p.g = p.b = row[x]; break;
                    case ie8p: p = bitmap->GetPaletteColor(row[x]); break;
                    default: p = TRGB{row[3 * x], row[3 * x + 1], row[3 * x + 2]}; break;
                }
                ours += {static_cast<char>(p.r), static_cast<char>(p.g), static_cast<char>(p.b)};
            }
        }
        EXPECT_EQ(magick, ours);
    }
}

TEST(DibImport, ExportsComeBackAndEveryDepthReads) {
    // Our own exports read back to the same picture; they are kept as the
    // fuzzer's first inputs.
    const auto seeds = FixtureFolder("dib-exports");
    for (TIEPixelFormat format : {ie24RGB, ie1g, ie8p}) {
        auto picture = Picture(format, 19, 11);
        auto dib = _CopyBitmaptoDIBEx(*picture, 0, 0, 0, 0, 72, 72);
        WriteBytes(seeds / (std::string(IEPixelFormatName(format)) + ".dib"), dib.data(), dib.size());
        if (format == ie8p) continue;  // kept for the fuzzer; read back as 24-bit
        TIEBitmap back;
        EXPECT_EQ(IEDIBToIEBitmap(dib.data(), dib.size(), back), format == ie1g ? 1 : 24);
        ASSERT_EQ(back.GetPixelFormat(), format);
        for (int32_t y = 0; y < 11; ++y)
            EXPECT_EQ(std::memcmp(back.GetScanline(y), picture->GetScanline(y), format == ie1g ? 2 : 57), 0) << y;
    }

    // 4 bits, width 7: seven pixels a row through a table of 3 used entries.
    auto dib = Header(7, 2, 4, 0, 3);
    for (uint32_t c : {0x0000FFu, 0x00FF00u, 0xFF0000u}) dib.insert(dib.end(), {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16), 0});
    dib.insert(dib.end(), {0x01, 0x20, 0x12, 0x0F, 0x22, 0x22, 0x22, 0x2F});  // bottom row first
    TIEBitmap four;
    ASSERT_EQ(IEDIBToIEBitmap(dib.data(), dib.size(), four), 4);
    EXPECT_EQ(four.GetWidth(), 7);
    const uint8_t* bottom = four.GetScanline(1);
    EXPECT_EQ(TRGB(bottom[0], bottom[1], bottom[2]), TRGB(0xFF, 0, 0));  // entry 0: blue, green, red
    EXPECT_EQ(TRGB(bottom[15], bottom[16], bottom[17]), TRGB(0, 0, 0xFF));  // pixel 5: entry 2
    EXPECT_EQ(TRGB(bottom[18], bottom[19], bottom[20]), TRGB(0xFF, 0, 0));  // pixel 6, the last: entry 0
    EXPECT_EQ(four.GetScanline(0)[0], 0);  // entry 2 again, top row: red only

    // 16 bits with 5-6-5 masks.
    auto sixteen = Header(2, 1, 16, 3);
    for (uint32_t m : {0xF800u, 0x07E0u, 0x001Fu}) sixteen.insert(sixteen.end(), {uint8_t(m), uint8_t(m >> 8), 0, 0});
    sixteen.insert(sixteen.end(), {0x00, 0xF8, 0x1F, 0x00});
    TIEBitmap rgb565;
    ASSERT_EQ(IEDIBToIEBitmap(sixteen.data(), sixteen.size(), rgb565), 16);
    const uint8_t* p = rgb565.GetScanline(0);
    EXPECT_EQ(std::vector<uint8_t>(p, p + 6), (std::vector<uint8_t>{0, 0, 0xF8, 0xF8, 0, 0}));

    // Missing pixels or headers are refused and leave the bitmap alone.
    TIEBitmap untouched(3, 3, ie8g);
    auto cut = _CopyBitmaptoDIBEx(*Picture(ie24RGB, 19, 11), 0, 0, 0, 0, 72, 72);
    cut.resize(cut.size() - 40);
    auto huge = Header(100000, 100000, 24, 0);
    auto yuvShort = Header(64, 48, 12, Code("I420"));
    yuvShort.resize(40 + 64 * 48);
    for (const auto& bad : {cut, huge, yuvShort, Header(0, 5, 24, 0), std::vector<uint8_t>(39, 0)}) {
        EXPECT_EQ(IEDIBToIEBitmap(bad.data(), bad.size(), untouched), 0);
        EXPECT_EQ(untouched.GetWidth(), 3);
    }

    // Row conversions between depths.
    const TRGB palette[2] = {TRGB{1, 2, 3}, TRGB{4, 5, 6}};
    const uint8_t bits[1] = {0x80};
    uint8_t wide[6];
    EXPECT_EQ(IEConvertRowBitDepth(bits, wide, 1, nullptr, palette, 2, 24), 6);
    EXPECT_EQ(std::vector<uint8_t>(wide, wide + 6), (std::vector<uint8_t>{4, 5, 6, 1, 2, 3}));
    const uint8_t bytes[9] = {1, 0, 0, 1, 1, 0, 1, 0, 1};
    uint8_t packed[2] = {0xFF, 0xFF};
    EXPECT_EQ(IEConvertRowBitDepth(bytes, packed, 8, nullptr, nullptr, 9, 1), 2);
    EXPECT_EQ(packed[0], 0x9A);
    EXPECT_EQ(packed[1], 0x80);
}

TEST(DibImport, ToolsYUVFramesOfFfmpegWithinThreeLevels) {
    REQUIRE_TOOL("ffmpeg");
    auto folder = FixtureFolder("dib-yuv");
    // Blocks of 8 x 8 pixels, so chroma shared by 2 or 4 pixels is exact.
    const std::string source = "ffmpeg -loglevel error -y -f lavfi -i testsrc=size=8x6 -frames 1 -vf scale=64:48:flags=neighbor";
    struct Case {
        const char* fourcc;
        const char* pixelFormat;  // ffmpeg's name of the layout
        bool swapPlanes;          // YV12: I420 with V before U
    } cases[] = {{"I420", "yuv420p", false}, {"YV12", "yuv420p", true}, {"YUY2", "yuyv422", false},
                 {"UYVY", "uyvy422", false}, {"YVYU", "yvyu422", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fourcc);
        auto frame = folder / (std::string(c.fourcc) + ".yuv");
        auto rgb = folder / (std::string(c.fourcc) + ".rgb");
        int status = 0;
        RunCommand(source + " -pix_fmt " + c.pixelFormat + " -f rawvideo '" + frame.string() + "' 2>&1", &status);
        ASSERT_EQ(status, 0);
        RunCommand("ffmpeg -loglevel error -y -f rawvideo -pix_fmt " + std::string(c.pixelFormat) + " -s 64x48 -i '" +
                       frame.string() + "' -sws_flags neighbor -pix_fmt rgb24 -f rawvideo '" + rgb.string() + "' 2>&1",
                   &status);
        ASSERT_EQ(status, 0);
        auto pixels = ReadBytes(frame);
        if (c.swapPlanes) {
            std::vector<uint8_t> swapped(pixels.begin(), pixels.begin() + 64 * 48);
            swapped.insert(swapped.end(), pixels.begin() + 64 * 48 + 32 * 24, pixels.end());
            swapped.insert(swapped.end(), pixels.begin() + 64 * 48, pixels.begin() + 64 * 48 + 32 * 24);
            pixels = swapped;
        }
        auto dib = Header(64, 48, 16, Code(c.fourcc));
        const auto whole = Joined(dib, pixels);
        WriteBytes(folder / (std::string(c.fourcc) + ".dib"), whole.data(), whole.size());
        TIEBitmap bitmap;
        IEDIBToIEBitmap(dib.data(), dib.size(), bitmap, pixels.data(), pixels.size());
        ASSERT_EQ(bitmap.GetWidth(), 64);
        auto expected = ReadBytes(rgb);
        int worst = 0;
        for (int32_t y = 0; y < 48; ++y) {
            const uint8_t* row = bitmap.GetScanline(y);  // a positive height: top row first
            for (int32_t x = 0; x < 64; ++x)
                for (int k = 0; k < 3; ++k)
                    worst = std::max(worst, std::abs(row[3 * x + 2 - k] - expected[static_cast<size_t>((y * 64 + x) * 3 + k)]));
        }
        EXPECT_LE(worst, 3);
    }
}


// Codings and bit counts the format does not define, and pictures the bytes
// given cannot hold, are refused before anything is allocated: never a
// blank picture reported as read.
TEST(DibImport, RefusesUndefinedCodingsAndMissingRows) {
    const std::vector<uint8_t> table(1024, 0);
    const struct {
        const char* name;
        std::vector<uint8_t> dib;
    } cases[] = {
        // An unknown compression on a picture of 2 x 108,409,089 pixels.
        {"unknown compression", FromHex("280000000200000001317606eb0000080000002030ff00130bffff5f6000000638008040102030ff")},
        // BI_RGB with a bit count of 0 on 1 x 185,794,561 pixels.
        {"bit count 0", Joined(FromHex("28000000010000000100130b0100"), std::vector<uint8_t>(26, 0))},
        {"BI_RGB at 7 bits", Joined(Header(4, 4, 7, 0), std::vector<uint8_t>(64, 0))},
        {"bit fields at 24 bits", Joined(Header(4, 4, 24, 3), std::vector<uint8_t>(64, 0))},
        {"RLE8 at 4 bits", Joined(Header(4, 4, 4, 1), table)},
        {"RLE4 at 8 bits", Joined(Header(4, 4, 8, 2), table)},
        {"RLE top row first", Joined(Joined(Header(4, -4, 8, 1), table), {0, 1})},
        {"RLE of 200 million pixels in 2 bytes", Joined(Joined(Header(20000, 10000, 8, 1), table), {0, 1})},
    };
    const auto seeds = FixtureFolder("dib-refused");
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteBytes(seeds / (std::to_string(n++) + ".dib"), c.dib.data(), c.dib.size());
        TIEBitmap untouched(3, 3, ie8g);
        EXPECT_EQ(IEDIBToIEBitmap(c.dib.data(), c.dib.size(), untouched), 0);
        EXPECT_EQ(untouched.GetWidth(), 3);
        EXPECT_EQ(untouched.GetPixelFormat(), ie8g);
    }
}

// RLE4 escapes by hand: a run, end of line, literal nibbles padded to a
// word, a move, a run past the row end, the end of the picture; pixels no
// code reaches take colour 0.
TEST(DibImport, RunLengthCodedRowsDecode) {
    auto dib = Header(8, 3, 4, 2);
    for (int i = 0; i < 16; ++i) dib.insert(dib.end(), {uint8_t(10 * i + 1), 0, 0, 0});
    dib.insert(dib.end(), {0x05, 0x12, 0x00, 0x00,                     // bottom row: 1 2 1 2 1, then the end of the row
                           0x00, 0x05, 0xAB, 0xCD, 0xE0, 0x00,         // middle row: A B C D E, 3 bytes and a pad
                           0x00, 0x02, 0x01, 0x01,                     // one right, one up
                           0x04, 0x34,                                 // top row: 3 4 at x 6 and 7, 3 4 dropped
                           0x00, 0x01, 0x07, 0x77});                   // the end; the rest is not read
    WriteBytes(FixtureFolder("dib-rle4") / "rle4.dib", dib.data(), dib.size());
    TIEBitmap bitmap;
    ASSERT_EQ(IEDIBToIEBitmap(dib.data(), dib.size(), bitmap), 4);
    ASSERT_EQ(bitmap.GetPixelFormat(), ie24RGB);
    const std::vector<std::vector<int>> expected = {{0, 0, 0, 0, 0, 0, 3, 4}, {10, 11, 12, 13, 14, 0, 0, 0}, {1, 2, 1, 2, 1, 0, 0, 0}};
    for (int32_t y = 0; y < 3; ++y) {
        std::vector<int> entries;
        for (int32_t x = 0; x < 8; ++x) entries.push_back((bitmap.GetScanline(y)[3 * x] - 1) / 10);
        EXPECT_EQ(entries, expected[static_cast<size_t>(y)]) << "row " << y;
    }
}

TEST(DibImport, ToolsRunLengthCodedRowsAsImageMagickReadsThem) {
    REQUIRE_TOOL("convert");
    auto folder = FixtureFolder("dib-rle");
    auto path = folder / "rle8.bmp";
    int status = 0;
    RunCommand("convert -seed 7 -size 37x7 plasma:fractal -size 37x6 gradient:red-blue -append -colors 60 -type palette -compress rle 'BMP3:" + path.string() + "' 2>&1", &status);
    ASSERT_EQ(status, 0);
    const auto file = ReadBytes(path);
    ASSERT_GT(file.size(), 54u);
    ASSERT_EQ(file[14 + 16], 1);  // RLE8
    TIEBitmap bitmap;
    ASSERT_EQ(IEDIBToIEBitmap(file.data() + 14, file.size() - 14, bitmap), 8);
    std::string ours;
    for (int32_t y = 0; y < bitmap.GetHeight(); ++y)
        for (int32_t x = 0; x < bitmap.GetWidth(); ++x) {
            const uint8_t* p = bitmap.GetScanline(y) + 3 * x;
            ours += {static_cast<char>(p[2]), static_cast<char>(p[1]), static_cast<char>(p[0])};
        }
    EXPECT_EQ(ours, RunCommand("convert '" + path.string() + "' -depth 8 rgb:-"));
}

TEST(DibImport, PackedDIBsDrawIntoADibSection) {
    for (TIEPixelFormat format : {ie24RGB, ie1g, ie8p}) {
        auto picture = Picture(format, 19, 11);
        auto dib = _CopyBitmaptoDIBEx(*picture, 0, 0, 0, 0, 72, 72);
        TIEBitmap expected;
        IEDIBToIEBitmap(dib.data(), dib.size(), expected);
        TIEDibbitmap section;
        EXPECT_EQ(IEPackedDIBToDibbitmap(dib.data(), dib.size(), section), format == ie1g ? 1 : format == ie8p ? 8 : 24);
        ASSERT_EQ(section.BitCount, format == ie1g ? 1 : 24);
        ASSERT_EQ(section.Width, 19);
        ASSERT_EQ(section.Height, 11);
        for (int32_t y = 0; y < 11; ++y)
            EXPECT_EQ(std::memcmp(section.GetScanline(y), expected.GetScanline(y), format == ie1g ? 3 : 57), 0) << y;
    }
    // A damaged DIB leaves the section as it was.
    TIEDibbitmap untouched;
    const uint8_t shortHeader[12] = {40};
    EXPECT_EQ(IEPackedDIBToDibbitmap(shortHeader, sizeof shortHeader, untouched), 0);
    EXPECT_EQ(untouched.Width, 0);
}
