// Colour reduction, the octree quantizer and the ditherers.
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "gif_test_support.h"
#include "pictures/dithering.h"

namespace {

TPictureBitmap Uniform(int width, int height, TGIFColor color) {
    TPictureBitmap bitmap(width, height, TPixelFormat::pf24bit);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) bitmap.SetPixel(x, y, color);
    return bitmap;
}

}  // namespace

TEST(ColorReduction, FixedLookupsFollowTheirTables) {
    TGIFColor chosen;
    TNetscapeColorLookup web;
    EXPECT_EQ(web.Lookup(255, 255, 255, chosen), 215);
    EXPECT_EQ(chosen, (TGIFColor{255, 255, 255}));
    EXPECT_EQ(web.Lookup(47, 47, 47, chosen), 0);
    EXPECT_EQ(web.Lookup(48, 48, 48, chosen), 43);
    EXPECT_EQ(chosen, (TGIFColor{51, 51, 51}));
    EXPECT_EQ(CreateWebPalette()[43], (TGIFColor{51, 51, 51}));

    TMonochromeLookup mono;
    // Exactly at the threshold and one below it.
    int below = 0, at = 0;
    for (int r = 0; r < 256 && (!below || !at); ++r)
        for (int g = 0; g < 256; ++g) {
            int rest = 32512 - 77 * r - 150 * g;
            if (rest >= 0 && rest % 29 == 0 && rest / 29 < 256) {
                EXPECT_EQ(mono.Lookup(static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(rest / 29), chosen), 0);
                below = 1;
            }
            rest = 32513 - 77 * r - 150 * g;
            if (rest >= 0 && rest % 29 == 0 && rest / 29 < 256) {
                EXPECT_EQ(mono.Lookup(static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(rest / 29), chosen), 1);
                EXPECT_EQ(chosen, (TGIFColor{255, 255, 255}));
                at = 1;
            }
        }
    EXPECT_TRUE(below && at);

    TGrayScaleLookup grey;
    EXPECT_EQ(grey.Lookup(255, 255, 255, chosen), 255);
    EXPECT_EQ(grey.Lookup(100, 0, 0, chosen), 30);  // 7700 >> 8

    // The fast lookup: the first of equal entries wins, misses find the
    // nearest by the sum of channel differences.
    TFastColorLookup fast({{10, 10, 10}, {200, 0, 0}, {10, 10, 10}});
    EXPECT_EQ(fast.Lookup(10, 10, 10, chosen), 0);
    EXPECT_EQ(fast.Lookup(190, 20, 0, chosen), 1);
    EXPECT_EQ(chosen, (TGIFColor{200, 0, 0}));
    TSlowColorLookup slow(CreateWindowsGrayPalette());
    EXPECT_EQ(slow.Lookup(170, 170, 170, chosen), 2);
}

TEST(ColorReduction, MethodsGivePalettesOf256AndUnknownOnesAnEmptyBitmap) {
    TPictureBitmap source = GradientBitmap(40, 30);
    for (int method = rdSystem20; method <= rdOctreeSystem; ++method) {
        SCOPED_TRACE(method);
        TPictureBitmap reduced = ReduceBitmapColors(source, method, dtNearest, nullptr, 8);
        ASSERT_EQ(reduced.PixelFormat(), TPixelFormat::pf8bit);
        EXPECT_EQ(reduced.Width(), 40);
        EXPECT_EQ(reduced.Palette.size(), 256u);
    }
    TGIFPalette custom = {{1, 2, 3}, {250, 250, 250}};
    TPictureBitmap reduced = ReduceBitmapColors(source, rdCustomPalette, dtNearest, &custom, 8);
    std::set<int> used(reduced.ScanLine(0), reduced.ScanLine(0) + 40 * 30);
    EXPECT_TRUE(used.count(0) && used.count(1) && used.size() == 2);

    EXPECT_EQ(ReduceBitmapColors(source, rdNone, dtNearest, nullptr, 8).PixelFormat(), TPixelFormat::pf24bit);
    EXPECT_TRUE(ReduceBitmapColors(source, 10, dtNearest, nullptr, 8).Empty());
    EXPECT_TRUE(ReduceBitmapColors(source, rdNetscape, 7, nullptr, 8).Empty());
    EXPECT_TRUE(ReduceBitmapColors(source, rdCustomPalette, dtNearest, nullptr, 8).Empty());
}

TEST(ColorReduction, OctreeOfTenColoursKeepsThemAndPadsWithBlack) {
    TPictureBitmap source(10, 4, TPixelFormat::pf24bit);
    std::set<std::tuple<int, int, int>> colours;
    for (int x = 0; x < 10; ++x) {
        TGIFColor colour{static_cast<uint8_t>(20 + x * 23), static_cast<uint8_t>(200 - x * 17), static_cast<uint8_t>(x * 9)};
        colours.insert({colour.Red, colour.Green, colour.Blue});
        for (int y = 0; y < 4; ++y) source.SetPixel(x, y, colour);
    }
    TPictureBitmap reduced = ReduceBitmapColors(source, rdOctree, dtNearest, nullptr, 8);
    ASSERT_EQ(reduced.Palette.size(), 256u);
    std::set<std::tuple<int, int, int>> found;
    for (int i = 0; i < 10; ++i) found.insert({reduced.Palette[i].Red, reduced.Palette[i].Green, reduced.Palette[i].Blue});
    EXPECT_EQ(found, colours);
    for (int i = 10; i < 256; ++i) EXPECT_EQ(reduced.Palette[i], TGIFColor{});
    for (int x = 0; x < 10; ++x) EXPECT_EQ(reduced.GetPixel(x, 2), source.GetPixel(x, 2));

    // Four colour bits: 16 entries at most, the rest of the table black.
    TPictureBitmap sixteen = ReduceBitmapColors(GradientBitmap(64, 64), rdOctree, dtNearest, nullptr, 4);
    std::set<int> used(sixteen.ScanLine(0), sixteen.ScanLine(0) + 64 * 64);
    EXPECT_LE(*used.rbegin(), 15);
    EXPECT_GT(used.size(), 8u);
}

TEST(ColorReduction, QuantizerNeverHoldsMoreLeavesThanAsked) {
    TColorQuantizer quantizer(16, 8);
    TPictureBitmap source = GradientBitmap(128, 64);
    quantizer.ProcessImage(source);
    EXPECT_LE(quantizer.LeafCount(), 16);
    EXPECT_EQ(static_cast<int>(quantizer.ColorTable().size()), quantizer.LeafCount());
}

TEST(Dithering, ExactPaletteColoursStayAndNearestDependsOnThePixelOnly) {
    for (int method = dtNearest; method <= dtBurkes; ++method) {
        SCOPED_TRACE(method);
        // A uniform picture of a palette colour: that index everywhere.
        TPictureBitmap reduced = ReduceBitmapColors(Uniform(9, 5, {51, 102, 153}), rdNetscape, method, nullptr, 8);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 9; ++x) ASSERT_EQ(reduced.ScanLine(y)[x], 1 * 36 + 2 * 6 + 3);
        // One pixel wide: rows still alternate, nothing outside the guards.
        TPictureBitmap narrow = ReduceBitmapColors(GradientBitmap(1, 17), rdWindowsGray, method, nullptr, 8);
        EXPECT_EQ(narrow.Height(), 17);
    }
    TPictureBitmap gradient = GradientBitmap(50, 20);
    TPictureBitmap nearest = ReduceBitmapColors(gradient, rdNetscape, dtNearest, nullptr, 8);
    TNetscapeColorLookup web;
    TGIFColor chosen;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 50; ++x) {
            TGIFColor c = gradient.GetPixel(x, y);
            ASSERT_EQ(nearest.ScanLine(y)[x], web.Lookup(c.Red, c.Green, c.Blue, chosen));
        }
}

TEST(Dithering, ErrorDiffusionKeepsTheMeanColour) {
    // A smooth picture reduced to the eight corners of the colour cube: plain
    // nearest colour shifts the mean a lot, every diffusing ditherer keeps it
    // within a small bound.
    TPictureBitmap source(120, 80, TPixelFormat::pf24bit);
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 120; ++x) {
            auto v = static_cast<uint8_t>(40 + x * 60 / 119 + y / 4);
            source.SetPixel(x, y, {v, static_cast<uint8_t>(v + 10), static_cast<uint8_t>(v / 2 + 30)});
        }
    auto mean = [](const TPictureBitmap& bitmap, int channel) {
        double sum = 0;
        for (int y = 0; y < bitmap.Height(); ++y)
            for (int x = 0; x < bitmap.Width(); ++x) {
                TGIFColor c = bitmap.GetPixel(x, y);
                sum += channel == 0 ? c.Red : channel == 1 ? c.Green : c.Blue;
            }
        return sum / (bitmap.Width() * bitmap.Height());
    };
    TGIFPalette corners;
    for (int i = 0; i < 8; ++i)
        corners.push_back({static_cast<uint8_t>(i & 4 ? 255 : 0), static_cast<uint8_t>(i & 2 ? 255 : 0),
                           static_cast<uint8_t>(i & 1 ? 255 : 0)});
    TPictureBitmap nearest = ReduceBitmapColors(source, rdCustomPalette, dtNearest, &corners, 8);
    EXPECT_GT(std::fabs(mean(nearest, 0) - mean(source, 0)), 10.0);
    for (int method = dtFloydSteinberg; method <= dtBurkes; ++method) {
        SCOPED_TRACE(method);
        TPictureBitmap dithered = ReduceBitmapColors(source, rdCustomPalette, method, &corners, 8);
        for (int channel = 0; channel < 3; ++channel)
            EXPECT_NEAR(mean(dithered, channel), mean(source, channel), 2.5) << "channel " << channel;
    }
}
