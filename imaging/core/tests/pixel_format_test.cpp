// Pixel-format conversion, rectangle copies and canvas resizing, checked
// against ImageMagick's raw output where a colour formula is involved.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/tests/tool_support.h"

using namespace imaging_test;

namespace {

constexpr int32_t kW = 64, kH = 48;

// A photo-like ImageMagick picture as an ie24RGB bitmap (raw rgb is r, g, b;
// the bitmap holds b, g, r).
std::vector<uint8_t> MagickRGB(const std::filesystem::path& folder, const std::string& picture) {
    auto raw = folder / "in.rgb";
    int status = 0;
    RunCommand("convert -size " + std::to_string(kW) + "x" + std::to_string(kH) + " -seed 7 " + picture +
                   " -depth 8 rgb:" + raw.string(),
               &status);
    EXPECT_EQ(status, 0);
    return ReadBytes(raw);
}

void LoadRGB(TIEBitmap& bitmap, const std::vector<uint8_t>& rgb) {
    bitmap.Allocate(kW, kH, ie24RGB);
    for (int32_t y = 0; y < kH; ++y) {
        uint8_t* row = bitmap.GetScanline(y);
        for (int32_t x = 0; x < kW; ++x) {
            const uint8_t* p = &rgb[3 * static_cast<size_t>(y * kW + x)];
            row[3 * x] = p[2];
            row[3 * x + 1] = p[1];
            row[3 * x + 2] = p[0];
        }
    }
}

}  // namespace

TEST(PixelFormatToolsTest, GrayCmykAndLabAgreeWithImageMagick) {
    REQUIRE_TOOL("convert");
    auto folder = FixtureFolder("pixel_format_magick");
    auto rgb = MagickRGB(folder, "plasma:");
    ASSERT_EQ(rgb.size(), size_t{3} * kW * kH);

    // 24-bit to 8-bit gray: the library's weights, exactly.
    TIEBitmap gray;
    LoadRGB(gray, rgb);
    gray.ConvertToPixelFormat(ie8g);
    ASSERT_EQ(gray.GetPixelFormat(), ie8g);
    for (int32_t y = 0; y < kH; ++y)
        for (int32_t x = 0; x < kW; ++x) {
            const uint8_t* p = &rgb[3 * static_cast<size_t>(y * kW + x)];
            ASSERT_EQ(gray.GetScanline(y)[x], (p[0] * 21 + p[1] * 71 + p[2] * 8) / 100) << x << "," << y;
        }

    // CMYK to RGB: ImageMagick's conversion of the same ink bytes within 1.
    // ImageMagick's bytes are ink amounts; ieCMYK stores them inverted.
    auto cmykRaw = folder / "in.cmyk";
    int status = 0;
    RunCommand("convert -size 64x48 -depth 8 rgb:" + (folder / "in.rgb").string() + " -colorspace CMYK -depth 8 cmyk:" +
                   cmykRaw.string() + " && convert -size 64x48 -depth 8 cmyk:" + cmykRaw.string() +
                   " -colorspace sRGB -depth 8 rgb:" + (folder / "back.rgb").string(),
               &status);
    ASSERT_EQ(status, 0);
    auto cmyk = ReadBytes(cmykRaw);
    auto back = ReadBytes(folder / "back.rgb");
    ASSERT_EQ(cmyk.size(), size_t{4} * kW * kH);
    TIEBitmap ink(kW, kH, ieCMYK);
    for (int32_t y = 0; y < kH; ++y)
        for (int32_t x = 0; x < 4 * kW; ++x)
            ink.GetScanline(y)[x] = static_cast<uint8_t>(255 - cmyk[static_cast<size_t>(4 * y * kW + x)]);
    ink.ConvertToPixelFormat(ie24RGB);
    for (int32_t y = 0; y < kH; ++y)
        for (int32_t x = 0; x < kW; ++x) {
            const uint8_t* expected = &back[3 * static_cast<size_t>(y * kW + x)];
            TRGB got = ink.GetPixelRGB(x, y);
            ASSERT_NEAR(got.r, expected[0], 1);
            ASSERT_NEAR(got.g, expected[1], 1);
            ASSERT_NEAR(got.b, expected[2], 1);
        }

    // CIELab: ImageMagick's 16-bit L*, a*, b* in this library's scaling (the
    // colorspace is relabelled so the raw writer keeps the Lab values),
    // within 2.
    RunCommand("convert -size 64x48 -depth 8 rgb:" + (folder / "in.rgb").string() + " -colorspace Lab -set colorspace sRGB -depth 16 rgb:" +
                   (folder / "lab.raw").string(),
               &status);
    ASSERT_EQ(status, 0);
    auto labRaw = ReadBytes(folder / "lab.raw");
    ASSERT_EQ(labRaw.size(), size_t{6} * kW * kH);
    TIEBitmap lab;
    LoadRGB(lab, rgb);
    lab.ConvertToPixelFormat(ieCIELab);
    for (int32_t y = 0; y < kH; ++y)
        for (int32_t x = 0; x < kW; ++x) {
            uint16_t w[3];
            std::memcpy(w, &labRaw[6 * static_cast<size_t>(y * kW + x)], 6);
            const uint8_t* got = lab.GetScanline(y) + 3 * x;
            ASSERT_NEAR(got[0], w[0] / 65535.0 * 100 * 2.5, 2) << x << "," << y;
            ASSERT_NEAR(static_cast<int8_t>(got[1]), w[1] / 65535.0 * 255 - 127.5, 2) << x << "," << y;
            ASSERT_NEAR(static_cast<int8_t>(got[2]), w[2] / 65535.0 * 255 - 127.5, 2) << x << "," << y;
        }
}

// Every pair whose target holds all the source's information comes back
// unchanged through it: colour pictures through the wider colour formats,
// gray ones through the gray and colour formats.
TEST(PixelFormatTest, LosslessPairsRoundTrip) {
    TIEBitmap colour(7, 5, ie24RGB);
    TIEBitmap gray(7, 5, ie8g);
    for (int32_t y = 0; y < 5; ++y)
        for (int32_t x = 0; x < 7; ++x) {
            uint8_t* p = colour.GetScanline(y) + 3 * x;
            p[0] = static_cast<uint8_t>(x * 37 + y);
            p[1] = static_cast<uint8_t>(y * 51 + 3);
            p[2] = static_cast<uint8_t>(x * y * 11);
            gray.GetScanline(y)[x] = static_cast<uint8_t>(x * 36 + y * 5);
        }
    struct Case {
        TIEBitmap* original;
        TIEPixelFormat via;
    };
    const Case cases[] = {{&colour, ie32RGB}, {&colour, ieRGB48}, {&colour, ie8p}, {&gray, ie16g}, {&gray, ie32f},
                          {&gray, ie24RGB},   {&gray, ieRGB48},   {&gray, ie32RGB}, {&gray, ie8p}, {&gray, ieCMYK}};
    for (const Case& c : cases) {
        TIEBitmap copy;
        copy.Assign(*c.original);
        TIEPixelFormat start = copy.GetPixelFormat();
        copy.ConvertToPixelFormat(c.via);
        ASSERT_EQ(copy.GetPixelFormat(), c.via);
        copy.ConvertToPixelFormat(start);
        for (int32_t y = 0; y < 5; ++y)
            for (int32_t x = 0; x < 7; ++x)
                ASSERT_EQ(copy.GetPixelRGB(x, y), c.original->GetPixelRGB(x, y))
                    << IEPixelFormatName(start) << " via " << IEPixelFormatName(c.via) << " at " << x << "," << y;
    }
}

TEST(PixelFormatTest, ConversionRulesAndAlphaSurvive) {
    // The weights' example, black and white in CIELab.
    TIEBitmap b(3, 1, ie24RGB);
    uint8_t* row = b.GetScanline(0);
    const uint8_t pixels[9] = {30, 200, 10, 0, 0, 0, 255, 255, 255};
    std::memcpy(row, pixels, 9);
    auto alpha = TIEBitmap::CreateAlpha(3, 1, ieMemory);
    alpha->GetScanline(0)[1] = 77;
    b.SetAlphaChannel(std::move(alpha));

    TIEBitmap g;
    g.Assign(b);
    g.ConvertToPixelFormat(ie8g);
    EXPECT_EQ(g.GetScanline(0)[0], 146);
    ASSERT_TRUE(g.GetHasAlphaChannel());
    EXPECT_EQ(g.GetAlphaChannel()->GetScanline(0)[1], 77);

    b.ConvertToPixelFormat(ieCIELab);
    const uint8_t* lab = b.GetScanline(0);
    EXPECT_EQ(lab[3], 0);
    EXPECT_EQ(lab[4], 0);
    EXPECT_EQ(lab[5], 0);
    EXPECT_EQ(lab[7], 0);
    EXPECT_EQ(lab[8], 0);
    ASSERT_TRUE(b.GetHasAlphaChannel());
    EXPECT_EQ(b.GetAlphaChannel()->GetScanline(0)[1], 77);

    // ie1g to ie8p sets only entries 0 and 1; ie8g to ie8p the gray ramp.
    TIEBitmap bits(8, 1, ie1g);
    bits.GetScanline(0)[0] = 0xA0;
    bits.SetPaletteColor(5, TRGB{1, 2, 3});
    bits.ConvertToPixelFormat(ie8p);
    EXPECT_EQ(bits.GetScanline(0)[0], 1);
    EXPECT_EQ(bits.GetScanline(0)[1], 0);
    EXPECT_EQ(bits.GetPaletteColor(1), (TRGB{255, 255, 255}));
}

TEST(PixelFormatTest, OrderedDitherOfMidGrayHalvesEachBlock) {
    TIEBitmap b(16, 16, ie8g);
    b.Fill(128);
    b.BilevelMethod = 0;
    b.ConvertToPixelFormat(ie1g);
    const uint8_t m[8][8] = {
        {0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26}, {12, 44, 4, 36, 14, 46, 6, 38},
        {60, 28, 52, 20, 62, 30, 54, 22}, {3, 35, 11, 43, 1, 33, 9, 41},   {51, 19, 59, 27, 49, 17, 57, 25},
        {15, 47, 7, 39, 13, 45, 5, 37},  {63, 31, 55, 23, 61, 29, 53, 21}};
    int set = 0;
    for (int32_t y = 0; y < 16; ++y)
        for (int32_t x = 0; x < 16; ++x) {
            bool on = b.GetPixelRGB(x, y).r == 255;
            ASSERT_EQ(on, m[x % 8][y % 8] < 32) << x << "," << y;
            set += on;
        }
    EXPECT_EQ(set, 128);
}

TEST(PixelFormatTest, ResizeAlignsAndFillsBackground) {
    TIEBitmap b(100, 50, ie24RGB);
    b.Fill(0x0000FF);  // red
    b.Resize(200, 50, 16777215.0, 255, 1, 0);
    ASSERT_EQ(b.GetWidth(), 200);
    for (int32_t x : {0, 49, 150, 199}) EXPECT_EQ(b.GetPixelRGB(x, 10), (TRGB{255, 255, 255})) << x;
    for (int32_t x : {50, 149}) EXPECT_EQ(b.GetPixelRGB(x, 10), (TRGB{0, 0, 255})) << x;

    // Shrinking with alignment 2 keeps the right-most and bottom-most part.
    TIEBitmap s(10, 10, ie8g);
    for (int32_t y = 0; y < 10; ++y)
        for (int32_t x = 0; x < 10; ++x) s.GetScanline(y)[x] = static_cast<uint8_t>(y * 10 + x);
    s.Resize(4, 3, 0, 255, 2, 2);
    EXPECT_EQ(s.GetScanline(0)[0], 76);
    EXPECT_EQ(s.GetScanline(2)[3], 99);
}

TEST(PixelFormatTest, CopyRectClipsAndFillRectIgnoresEmpty) {
    TIEBitmap src(4, 4, ie8g), dst(4, 4, ie8g);
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 4; ++x) src.GetScanline(y)[x] = static_cast<uint8_t>(1 + y * 4 + x);
    dst.Fill(0);
    src.CopyRectTo(dst, 0, 0, -1, 2, 4, 4);  // column 0 cut off, rows beyond 3 clipped
    EXPECT_EQ(dst.GetScanline(2)[0], 2);
    EXPECT_EQ(dst.GetScanline(3)[2], 8);
    EXPECT_EQ(dst.GetScanline(3)[3], 0);
    EXPECT_EQ(dst.GetScanline(1)[0], 0);

    dst.FillRect(3, 0, 1, 3, 200);  // x2 < x1
    EXPECT_EQ(dst.GetScanline(0)[2], 0);
    dst.FillRect(-5, -5, 1, 0, 200);
    EXPECT_EQ(dst.GetScanline(0)[1], 200);
    EXPECT_EQ(dst.GetScanline(0)[2], 0);

    TIEBitmap bits(20, 1, ie1g), wide(20, 1, ie1g);
    bits.Fill(1);
    wide.Fill(0);
    bits.CopyRectTo(wide, 3, 0, 5, 0, 9, 1);
    for (int32_t x = 0; x < 20; ++x) EXPECT_EQ(wide.GetPixelRGB(x, 0).r, x >= 5 && x < 14 ? 255 : 0) << x;
}
