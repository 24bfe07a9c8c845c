// Rendering a bitmap into a 24-bit bitmap: nearest-pixel zoom and its
// clipping, blend modes and alpha against ImageMagick's compose operators,
// display settings, kept tables, filtered zoom and StretchRectTo.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <random>

#include "imaging/core/ie_render.h"
#include "imaging/core/ie_resample.h"
#include "imaging/core/tests/tool_support.h"

namespace {

using imaging_test::FixtureFolder;
using imaging_test::RunCommand;

void WritePPM(TIEBitmap& bitmap, const std::filesystem::path& path) {
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << bitmap.GetWidth() << " " << bitmap.GetHeight() << "\n255\n";
    for (int32_t y = 0; y < bitmap.GetHeight(); ++y)
        for (int32_t x = 0; x < bitmap.GetWidth(); ++x) {
            const TRGB c = bitmap.GetPixelTRGB(x, y);
            out.put(static_cast<char>(c.r)).put(static_cast<char>(c.g)).put(static_cast<char>(c.b));
        }
}

// A PAM with the bitmap's alpha channel.
void WritePAM(TIEBitmap& bitmap, const std::filesystem::path& path) {
    std::ofstream out(path, std::ios::binary);
    out << "P7\nWIDTH " << bitmap.GetWidth() << "\nHEIGHT " << bitmap.GetHeight()
        << "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
    for (int32_t y = 0; y < bitmap.GetHeight(); ++y)
        for (int32_t x = 0; x < bitmap.GetWidth(); ++x) {
            const TRGB c = bitmap.GetPixelTRGB(x, y);
            out.put(static_cast<char>(c.r)).put(static_cast<char>(c.g)).put(static_cast<char>(c.b));
            out.put(static_cast<char>(bitmap.GetAlpha(x, y)));
        }
}

std::unique_ptr<TIEBitmap> ReadPPM(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int width = 0, height = 0, maxval = 0;
    in >> magic >> width >> height >> maxval;
    in.get();
    if (magic != "P6" || maxval != 255) return nullptr;
    auto bitmap = std::make_unique<TIEBitmap>(width, height, ie24RGB);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            TRGB c;
            c.r = static_cast<uint8_t>(in.get());
            c.g = static_cast<uint8_t>(in.get());
            c.b = static_cast<uint8_t>(in.get());
            bitmap->SetPixelTRGB(x, y, c);
        }
    return bitmap;
}

std::unique_ptr<TIEBitmap> Noise(int32_t width, int32_t height, uint32_t seed) {
    auto bitmap = std::make_unique<TIEBitmap>(width, height, ie24RGB);
    std::mt19937 random(seed);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            bitmap->SetPixelTRGB(x, y, TRGB{static_cast<uint8_t>(random()), static_cast<uint8_t>(random()),
                                            static_cast<uint8_t>(random())});
    return bitmap;
}

int MaxDifference(TIEBitmap& a, TIEBitmap& b) {
    int worst = 0;
    for (int32_t y = 0; y < a.GetHeight(); ++y)
        for (int32_t x = 0; x < a.GetWidth(); ++x) {
            const TRGB p = a.GetPixelTRGB(x, y), q = b.GetPixelTRGB(x, y);
            worst = std::max({worst, std::abs(p.r - q.r), std::abs(p.g - q.g), std::abs(p.b - q.b)});
        }
    return worst;
}

bool SamePixels(TIEBitmap& a, TIEBitmap& b) {
    return a.GetWidth() == b.GetWidth() && a.GetHeight() == b.GetHeight() && MaxDifference(a, b) == 0;
}

}  // namespace

TEST(RenderTest, ToolsNearestZoomByThreeMatchesImageMagickSample) {
    REQUIRE_TOOL("convert");
    const auto folder = FixtureFolder("render_sample");
    auto source = Noise(13, 7, 1);
    WritePPM(*source, folder / "in.ppm");
    int status = 0;
    RunCommand("convert '" + (folder / "in.ppm").string() + "' -sample 300% '" + (folder / "out.ppm").string() + "'",
               &status);
    ASSERT_EQ(status, 0);
    auto expected = ReadPPM(folder / "out.ppm");
    ASSERT_TRUE(expected);
    TIEBitmap destination(39, 21, ie24RGB);
    source->DrawToTIEBitmap(destination, 0, 0, 39, 21, 0, 0, 13, 7, 255, rfNone, 0);
    EXPECT_TRUE(SamePixels(destination, *expected));
}

TEST(RenderTest, ClippingMovesTheSourceEdgeAndEmptyOrOutsideRectanglesDrawNothing) {
    // Each source pixel carries its column in red and its row in green.
    TIEBitmap source(100, 100, ie24RGB);
    for (int32_t y = 0; y < 100; ++y)
        for (int32_t x = 0; x < 100; ++x) source.SetPixelTRGB(x, y, TRGB{0, static_cast<uint8_t>(y), static_cast<uint8_t>(x)});
    TIEBitmap destination(200, 200, ie24RGB);
    destination.Fill(0xFFFFFF);
    source.DrawToTIEBitmap(destination, -50, 0, 200, 200, 0, 0, 100, 100, 255, rfNone, 0);
    for (int32_t x = 0; x < 150; ++x) EXPECT_EQ(destination.GetPixelTRGB(x, 10).r, 25 + x / 2) << x;
    EXPECT_EQ(destination.GetPixelTRGB(149, 10).r, 99);
    EXPECT_EQ(destination.GetPixelTRGB(150, 10), (TRGB{255, 255, 255}));

    TIEBitmap untouched(20, 20, ie24RGB);
    untouched.Fill(0x123456);
    TIEBitmap reference(20, 20, ie24RGB);
    reference.Fill(0x123456);
    source.DrawToTIEBitmap(untouched, 20, 0, 10, 10, 0, 0, 10, 10, 255, rfNone, 0);   // right of the target
    source.DrawToTIEBitmap(untouched, 0, 25, 10, 10, 0, 0, 10, 10, 255, rfNone, 0);   // below it
    source.DrawToTIEBitmap(untouched, 0, 0, 0, 10, 0, 0, 10, 10, 255, rfNone, 0);     // no width
    source.DrawToTIEBitmap(untouched, 0, 0, 10, 10, 0, 0, 10, 10, 0, rfNone, 0);      // transparency 0
    EXPECT_TRUE(SamePixels(untouched, reference));
}

TEST(RenderTest, KeptTablesAndClipGiveTheSamePixelsAsAFreshRender) {
    auto source = Noise(40, 30, 2);
    TIEBitmap fresh(64, 48, ie24RGB), kept(64, 48, ie24RGB);
    fresh.Fill(0);
    kept.Fill(0);
    const TRect clip{5, 6, 50, 40};
    source->RenderToTIEBitmap(fresh, nullptr, &clip, -3, 2, 90, 70, 1, 1, 38, 28, true, true, 255, rfNone, true, 0);
    TIERenderTables tables;
    for (int pass = 0; pass < 2; ++pass)
        source->RenderToTIEBitmap(kept, &tables, &clip, -3, 2, 90, 70, 1, 1, 38, 28, true, true, 255, rfNone, false, 0);
    EXPECT_FALSE(tables.XTable.empty());
    EXPECT_TRUE(SamePixels(fresh, kept));
    // Nothing outside the inclusive clip.
    EXPECT_EQ(fresh.GetPixelTRGB(4, 20), (TRGB{}));
    EXPECT_EQ(fresh.GetPixelTRGB(51, 20), (TRGB{}));
    EXPECT_EQ(fresh.GetPixelTRGB(20, 41), (TRGB{}));
}

TEST(RenderTest, BlendModeExamplesOfTheTable) {
    struct TCase {
        uint8_t mode, s, d, expected;
    } cases[] = {
        {4, 255, 200, 199},  // multiply: 255 * 200 shr 8
        {4, 255, 255, 254},
        {28, 128, 128, 0},   // subtract
        {30, 128, 128, 128}, // stamp
        {1, 200, 100, 255},  // add, capped
        {2, 10, 200, 190},
        {3, 0, 77, 77},      // divide by max(s, 1)
        {10, 3, 4, 3},       // average
        {29, 255, 0, 128},   // interpolation: T[255] + T[0]
        {19, 0, 255, 0},     // colour burn of black
        {38, 1, 2, 2},       // unknown modes leave the destination
    };
    for (const TCase& c : cases) {
        TRGB d{c.d, c.d, c.d};
        IEBlendPixel(TRGB{c.s, c.s, c.s}, d, c.mode);
        EXPECT_EQ(d.r, c.expected) << int(c.mode);
        EXPECT_EQ(d.b, c.expected) << int(c.mode);
    }
    TRGB d{1, 2, 3};
    IEBlendPixel(TRGB{10, 20, 30}, d, 31);  // red only
    EXPECT_EQ(d, (TRGB{1, 2, 30}));
}

// Every pair of source and destination values, in three channels, through
// the renderer and through ImageMagick's operator of the same name.
TEST(RenderTest, ToolsBlendModesAgreeWithImageMagickCompose) {
    REQUIRE_TOOL("convert");
    const auto folder = FixtureFolder("render_compose");
    TIEBitmap source(256, 256, ie24RGB), destination(256, 256, ie24RGB);
    for (int32_t y = 0; y < 256; ++y)
        for (int32_t x = 0; x < 256; ++x) {
            source.SetPixelTRGB(x, y, TRGB{static_cast<uint8_t>(x * 7), static_cast<uint8_t>(255 - x), static_cast<uint8_t>(x)});
            destination.SetPixelTRGB(x, y, TRGB{static_cast<uint8_t>(y * 13), static_cast<uint8_t>(y), static_cast<uint8_t>(255 - y)});
        }
    WritePPM(source, folder / "src.ppm");
    WritePPM(destination, folder / "dst.ppm");
    // Exclusion's integer form subtracts s * d div 128 where the operator
    // subtracts 2sd / 255: up to 3 levels apart at the bright end.
    struct TCase {
        uint8_t mode;
        const char* compose;
        int tolerance = 2;
    } cases[] = {
        {4, "multiply"},      {11, "screen"},      {2, "difference"}, {8, "lighten"},   {9, "darken"},
        {1, "plus"},          {28, "linearburn"},  {14, "overlay"},   {15, "hardlight"}, {13, "exclusion", 3},
        {18, "colordodge"},   {10, "blend -define compose:args=50"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.compose);
        const auto out = folder / (std::to_string(c.mode) + ".ppm");
        int status = 0;
        RunCommand("convert '" + (folder / "dst.ppm").string() + "' '" + (folder / "src.ppm").string() + "' -compose " +
                       c.compose + " -composite '" + out.string() + "'",
                   &status);
        ASSERT_EQ(status, 0);
        auto expected = ReadPPM(out);
        ASSERT_TRUE(expected);
        TIEBitmap target(256, 256, ie24RGB);
        destination.CopyRectTo(target, 0, 0, 0, 0, 256, 256);
        source.DrawToTIEBitmap(target, 0, 0, 256, 256, 0, 0, 256, 256, 255, rfNone, c.mode);
        EXPECT_LE(MaxDifference(target, *expected), c.tolerance);
    }
}

TEST(RenderTest, ToolsAlphaOverAgreesWithImageMagickWithinOneLevel) {
    REQUIRE_TOOL("convert");
    const auto folder = FixtureFolder("render_over");
    auto source = Noise(64, 64, 3);
    auto destination = Noise(64, 64, 4);
    for (int32_t y = 0; y < 64; ++y)
        for (int32_t x = 0; x < 64; ++x) source->SetAlpha(x, y, static_cast<uint8_t>((x * 64 + y) * 255 / 4095));
    WritePAM(*source, folder / "src.pam");
    WritePPM(*destination, folder / "dst.ppm");
    int status = 0;
    RunCommand("convert '" + (folder / "dst.ppm").string() + "' '" + (folder / "src.pam").string() +
                   "' -compose over -composite '" + (folder / "out.ppm").string() + "'",
               &status);
    ASSERT_EQ(status, 0);
    auto expected = ReadPPM(folder / "out.ppm");
    ASSERT_TRUE(expected);
    source->DrawToTIEBitmap(*destination, 0, 0, 64, 64, 0, 0, 64, 64, 255, rfNone, 0);
    EXPECT_LE(MaxDifference(*destination, *expected), 1);
}

TEST(RenderTest, DisplaySettingsAndPaletteRules) {
    TIEBitmap gray(3, 1, ie8g);
    gray.BlackValue = 50;
    gray.WhiteValue = 100;
    gray.SetPixelByte(0, 0, 75);
    gray.SetPixelByte(1, 0, 50);
    gray.SetPixelByte(2, 0, 20);
    TIEBitmap target(3, 1, ie24RGB);
    target.Fill(0xFFFFFF);
    gray.DrawToTIEBitmap(target, 0, 0, 3, 1, 0, 0, 3, 1, 255, rfNone, 0);
    EXPECT_EQ(target.GetPixelTRGB(0, 0), (TRGB{127, 127, 127}));
    EXPECT_EQ(target.GetPixelTRGB(1, 0), (TRGB{}));
    EXPECT_EQ(target.GetPixelTRGB(2, 0), (TRGB{}));

    // Contrast and channel offsets adjust 24-bit pixels before they land.
    TIEBitmap colour(1, 1, ie24RGB);
    colour.SetPixelTRGB(0, 0, TRGB{100, 100, 100});
    colour.ChannelOffsetsEnabled = true;
    colour.ChannelOffsets[0] = 10;  // red
    colour.Contrast = 10;           // factor 2
    colour.DrawToTIEBitmap(target, 0, 0, 1, 1, 0, 0, 1, 1, 255, rfNone, 0);
    EXPECT_EQ(target.GetPixelTRGB(0, 0), (TRGB{72, 72, 92}));

    // Transparency 128 moves halfway; an opaque alpha pixel lands whole.
    TIEBitmap white(2, 1, ie24RGB);
    white.Fill(0xFFFFFF);
    white.SetAlpha(1, 0, 255);
    white.SetAlpha(0, 0, 0);
    target.Fill(0);
    white.DrawToTIEBitmap(target, 0, 0, 1, 1, 1, 0, 1, 1, 128, rfNone, 0);
    EXPECT_EQ(target.GetPixelTRGB(0, 0), (TRGB{128, 128, 128}));
    white.DrawToTIEBitmap(target, 1, 0, 2, 1, 0, 0, 2, 1, 255, rfNone, 0);
    EXPECT_EQ(target.GetPixelTRGB(1, 0), (TRGB{}));
    EXPECT_EQ(target.GetPixelTRGB(2, 0), (TRGB{255, 255, 255}));
}

TEST(RenderTest, EveryPixelFormatDrawsAndAFileBackedSourceDrawsAsInMemory) {
    auto colour = Noise(9, 5, 5);
    for (int f = ie1g; f < kIEPixelFormatCount; ++f) {
        const auto format = static_cast<TIEPixelFormat>(f);
        SCOPED_TRACE(IEPixelFormatName(format));
        TIEBitmap memory, file;
        memory.MemoryThreshold = INT64_MAX;
        file.MemoryThreshold = 0;
        for (TIEBitmap* b : {&memory, &file}) {
            b->Allocate(9, 5, ie24RGB);
            colour->CopyRectTo(*b, 0, 0, 0, 0, 9, 5);
            b->ConvertToPixelFormat(format);
        }
        ASSERT_EQ(file.GetLocation(), ieFile);
        TIEBitmap a(18, 10, ie24RGB), b(18, 10, ie24RGB);
        a.Fill(0x808080);
        b.Fill(0x808080);
        memory.DrawToTIEBitmap(a, 0, 0, 18, 10, 0, 0, 9, 5, 200, rfNone, 0);
        file.DrawToTIEBitmap(b, 0, 0, 18, 10, 0, 0, 9, 5, 200, rfNone, 0);
        EXPECT_TRUE(SamePixels(a, b));
    }
}

TEST(RenderTest, FilteredZoomAndStretchRectTo) {
    TIEBitmap flat(20, 20, ie24RGB);
    flat.Fill(0x3070B0);
    TIEBitmap target(50, 50, ie24RGB);
    target.Fill(0);
    flat.DrawToTIEBitmap(target, 5, 5, 40, 40, 0, 0, 20, 20, 255, rfTriangle, 0);
    EXPECT_EQ(target.GetPixelTRGB(25, 25), (TRGB{0x30, 0x70, 0xB0}));
    EXPECT_EQ(target.GetPixelTRGB(4, 25), (TRGB{}));
    EXPECT_EQ(target.GetPixelTRGB(45, 25), (TRGB{}));

    // StretchRectTo always leaves an alpha channel: the source's capped, or
    // the given alpha.
    TIEBitmap withAlpha(4, 4, ie24RGB);
    withAlpha.Fill(0xFFFFFF);
    withAlpha.GetAlphaChannel()->Fill(200);
    withAlpha.GetAlphaChannel()->SetFullOpacity(false);
    TIEBitmap stretched(8, 8, ie24RGB);
    withAlpha.StretchRectTo(stretched, 0, 0, 8, 8, 0, 0, 4, 4, rfNone, 150);
    ASSERT_TRUE(stretched.GetHasAlphaChannel());
    EXPECT_EQ(stretched.GetAlpha(7, 7), 150);
    EXPECT_EQ(stretched.GetPixelTRGB(7, 7), (TRGB{255, 255, 255}));
    TIEBitmap opaque(4, 4, ie24RGB), plain(4, 4, ie24RGB);
    opaque.StretchRectTo(plain, 0, 0, 4, 4, 0, 0, 4, 4, rfNone, 99);
    EXPECT_EQ(plain.GetAlpha(3, 3), 99);
}
