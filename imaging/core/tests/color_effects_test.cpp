// Colour reduction, effects and the processing component's operations on
// them; flips, crops and blur checked against ImageMagick.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/core/ie_color_reduce.h"
#include "imaging/core/ie_effects.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_proc.h"
#include "imaging/core/tests/tool_support.h"

using namespace imaging_test;

namespace {

bool White(TIEBitmap& b, int32_t x, int32_t y) { return b.GetPixelRGB(x, y) == TRGB{255, 255, 255}; }

void Uniform(TIEBitmap& b, int32_t w, int32_t h, TRGB c) {
    b.Allocate(w, h, ie24RGB);
    b.Fill(static_cast<double>(IERGBToColor(c)));
}

}  // namespace

TEST(ColorReduceTest, DitherAndThresholdExamples) {
    struct Case {
        const char* name;
        TRGB color;
        int32_t threshold;  // 0: ordered dither
        // Which of the 8 x 8 positions come out white.
        bool (*white)(int32_t x, int32_t y);
    };
    const Case cases[] = {
        {"white dithers white", {255, 255, 255}, 0, [](int32_t, int32_t) { return true; }},
        {"251 counts as white", {251, 251, 251}, 0, [](int32_t, int32_t) { return true; }},
        // Level 63: black only where the matrix holds 63.
        {"level 63", IECreateRGB(250, 255, 255), 0, [](int32_t x, int32_t y) { return !(x == 7 && y == 0); }},
        {"black dithers black", {0, 0, 0}, 0, [](int32_t, int32_t) { return false; }},
        // One gray level: no entropy score, the threshold stays -2: white.
        {"entropy of one level", {90, 90, 90}, -2, [](int32_t, int32_t) { return true; }},
        {"average of one level", {90, 90, 90}, -1, [](int32_t, int32_t) { return true; }},
        {"given threshold above", {90, 90, 90}, 91, [](int32_t, int32_t) { return false; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TIEBitmap b;
        Uniform(b, 8, 8, c.color);
        TIEProgressRec progress;
        if (c.threshold == 0) IEConvertToBWOrdered(b, progress);
        else IEConvertToBWThreshold(b, c.threshold, progress);
        ASSERT_EQ(b.GetPixelFormat(), ie1g);
        for (int32_t y = 0; y < 8; ++y)
            for (int32_t x = 0; x < 8; ++x) ASSERT_EQ(White(b, x, y), c.white(x, y)) << x << "," << y;
    }

    // Eight gray levels, a row each: both automatic thresholds split them.
    for (int32_t threshold : {-1, -2}) {
        SCOPED_TRACE(threshold);
        TIEBitmap b(8, 8, ie24RGB);
        for (int32_t y = 0; y < 8; ++y) b.FillRect(0, y, 7, y, 30 * y * 0x010101);
        TIEBitmap bits(8, 8, ie1g);
        TIEProgressRec progress;
        IEThresholdToBW(b, bits, threshold, progress);
        EXPECT_FALSE(White(bits, 3, 0));
        EXPECT_TRUE(White(bits, 3, 7));
    }
}

TEST(ColorReduceTest, TwoColourDetectionPutsTheDarkerColourAtBitZero) {
    TIEBitmap b;
    Uniform(b, 5, 3, TRGB{200, 200, 200});  // the brighter colour met first
    b.FillRect(4, 2, 4, 2, 0x000010);
    TRGB first, second;
    auto bits = IEBitmapToBWIfTwoColors(b, first, second);
    ASSERT_NE(bits, nullptr);
    EXPECT_EQ(first, IECreateRGB(0x10, 0, 0));  // TColor 0x000010 is red 16
    EXPECT_EQ(second, (TRGB{200, 200, 200}));
    EXPECT_FALSE(White(*bits, 4, 2));
    EXPECT_TRUE(White(*bits, 0, 0));
    b.FillRect(0, 0, 0, 0, 0x00FF00);
    EXPECT_EQ(IEBitmapToBWIfTwoColors(b, first, second), nullptr);
    TIEBitmap one;
    Uniform(one, 2, 2, TRGB{1, 2, 3});
    EXPECT_EQ(IEBitmapToBWIfTwoColors(one, first, second), nullptr);

    const TRGB palette[] = {{0, 0, 0}, {10, 10, 10}, {10, 10, 10}, {250, 250, 250}};
    EXPECT_EQ(IENearestPaletteIndex(palette, 4, TRGB{9, 12, 10}), 1);
    EXPECT_EQ(IENearestPaletteIndex(palette, 0, TRGB{9, 12, 10}), 0);
}

TEST(ColorReduceTest, ProcessingOperationsOfColours) {
    TIEBitmap b;
    Uniform(b, 16, 8, TRGB{10, 20, 30});
    b.FillRect(0, 0, 7, 7, 0xF0E0D0);
    TVidurErProc proc;
    proc.AutoUndo = true;
    proc.SetAttachedIEBitmap(&b);
    int finished = 0;
    proc.OnFinishWork = [&](TVidurErProc&) { ++finished; };

    proc.ConvertTo(1500, false);  // no change, but an entry and completion
    EXPECT_EQ(b.GetPixelFormat(), ie24RGB);
    EXPECT_EQ(proc.GetUndoCaption(0), "ConvertTo 1500");
    EXPECT_EQ(finished, 1);

    TRGB palette[4];
    proc.ConvertToPalette(0, palette, false);
    EXPECT_EQ(finished, 1);
    proc.ConvertToPalette(4, palette, false);
    EXPECT_EQ(proc.GetUndoCaption(0), "ConvertToPalette");
    EXPECT_EQ(b.GetPixelRGB(0, 0), (TRGB{0xF0, 0xE0, 0xD0}));
    EXPECT_EQ(b.GetPixelRGB(15, 7), (TRGB{10, 20, 30}));

    proc.ConvertToGray();
    EXPECT_EQ(proc.GetUndoCaption(0), "ConvertToGray");
    const int32_t gray = (0xD0 * 21 + 0xE0 * 71 + 0xF0 * 8) / 100;
    EXPECT_EQ(b.GetPixelRGB(0, 0), (TRGB{uint8_t(gray), uint8_t(gray), uint8_t(gray)}));

    proc.ConvertTo(2, false);
    EXPECT_EQ(b.GetPixelFormat(), ie1g);
    // The gate brings the 1-bit image back to 24 bits for the next reduction.
    proc.ConvertTo(2, true);
    EXPECT_EQ(b.GetPixelFormat(), ie1g);
    EXPECT_TRUE(White(b, 0, 0));
    EXPECT_FALSE(White(b, 15, 0));

    // Filling a 1-bit image: a colour with red 0 is black, red is white.
    proc.Fill(TRGB{255, 0, 0});
    EXPECT_FALSE(White(b, 0, 0));
    proc.Fill(IECreateRGB(255, 0, 0));
    EXPECT_TRUE(White(b, 15, 7));
}

// The channel rearrangement of the DICOM reader, histogram matching of the
// RAW reader and colour quantizing, on images whose answers are known.
TEST(ColorReduceTest, RearrangeMatchAndQuantize) {
    // Bytes 0, 1, 2 of each pixel take the bytes the pattern names; the
    // pattern's case does not matter and other letters keep the byte.
    struct Case {
        const char* pattern;
        uint8_t expected[3];
    } cases[] = {{"RGB", {3, 2, 1}}, {"rgb", {3, 2, 1}}, {"BBB", {1, 1, 1}}, {"GRB", {2, 3, 1}}, {"xRx", {1, 3, 3}}};
    for (const Case& c : cases) {
        TIEBitmap b;
        b.Allocate(4, 3, ie24RGB);
        for (int32_t y = 0; y < 3; ++y)
            for (int32_t x = 0; x < 4; ++x) {
                uint8_t* p = b.GetScanline(y) + 3 * x;
                p[0] = 1, p[1] = 2, p[2] = 3;
            }
        std::vector<int> percents;
        IERearrangeChannels(b, c.pattern, nullptr, [&](void*, int percent) { percents.push_back(percent); });
        for (int32_t y = 0; y < 3; ++y)
            EXPECT_EQ(0, std::memcmp(b.GetScanline(y) + 9, c.expected, 3)) << c.pattern << " row " << y;
        EXPECT_EQ(percents, (std::vector<int>{0, 33, 66})) << c.pattern;
    }

    // A 16 x 16 ramp of every gray level matched to a reference that is half
    // level 50 and half level 200: each level goes to the first level whose
    // cumulative share is nearest its own, 0 below 64, 50 up to 191, 200 above.
    TIEBitmap ramp, reference;
    ramp.Allocate(16, 16, ie24RGB);
    for (int32_t y = 0; y < 16; ++y)
        for (int32_t x = 0; x < 16; ++x) std::memset(ramp.GetScanline(y) + 3 * x, y * 16 + x, 3);
    Uniform(reference, 8, 4, IECreateRGB(50, 50, 50));
    reference.FillRect(0, 0, 7, 1, IERGBToColor(IECreateRGB(200, 200, 200)));
    IEMatchHistogram(reference, ramp);
    for (int32_t level = 0; level < 256; ++level) {
        const uint8_t* p = ramp.GetScanline(level / 16) + 3 * (level % 16);
        const int expected = level < 64 ? 0 : level < 192 ? 50 : 200;
        EXPECT_EQ(p[0], expected) << level;
        EXPECT_EQ(p[1], expected) << level;
        EXPECT_EQ(p[2], expected) << level;
    }

    // Six colours in bands down to four: every pixel becomes one of the
    // palette's colours, and no more than four remain; an image with fewer
    // colours than asked keeps its own exactly.
    const TRGB bands[6] = {IECreateRGB(255, 0, 0), IECreateRGB(250, 5, 0), IECreateRGB(0, 0, 255),
                           IECreateRGB(0, 200, 0), IECreateRGB(0, 205, 5), IECreateRGB(255, 255, 255)};
    TIEBitmap image;
    image.Allocate(6, 4, ie24RGB);
    for (int32_t x = 0; x < 6; ++x) image.FillRect(x, 0, x, 3, IERGBToColor(bands[x]));
    TRGB palette[4];
    int lastPercent = -1;
    IEQuantizeColors(image, 4, palette, nullptr, [&](void*, int percent) { lastPercent = percent; });
    EXPECT_EQ(image.GetPixelFormat(), ie24RGB);
    EXPECT_EQ(lastPercent, 88);  // Trunc(100 / 4.5 * 4)
    std::vector<uint32_t> seen;
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 6; ++x) {
            TRGB pixel = image.GetPixelRGB(x, y);
            bool inPalette = false;
            for (const TRGB& entry : palette) inPalette = inPalette || entry == pixel;
            EXPECT_TRUE(inPalette) << x << "," << y;
            uint32_t key = IERGBToColor(pixel);
            if (std::find(seen.begin(), seen.end(), key) == seen.end()) seen.push_back(key);
        }
    EXPECT_LE(seen.size(), 4u);
    EXPECT_GE(seen.size(), 3u);
    // The near pairs merge, the distinct colours stay apart.
    EXPECT_EQ(image.GetPixelRGB(0, 0), image.GetPixelRGB(1, 0));
    EXPECT_NE(image.GetPixelRGB(2, 0), image.GetPixelRGB(5, 0));

    TIEBitmap few;
    few.Allocate(4, 2, ie24RGB);
    few.FillRect(0, 0, 1, 1, IERGBToColor(bands[0]));
    few.FillRect(2, 0, 3, 1, IERGBToColor(bands[2]));
    IEQuantizeColors(few, 16, nullptr, nullptr, nullptr);
    EXPECT_EQ(few.GetPixelRGB(0, 0), bands[0]);
    EXPECT_EQ(few.GetPixelRGB(3, 1), bands[2]);
}

TEST(EffectsTest, KernelsFiltersShadowsAndCorners) {
    TIEGaussianKernel kernel;
    IEBuildGaussianKernel(kernel, 1);
    EXPECT_EQ(kernel.Radius, 4);
    EXPECT_EQ(kernel.At(0), 26145);
    IEBuildGaussianKernel(kernel, 2);
    EXPECT_EQ(kernel.Radius, 9);
    IEBuildGaussianKernel(kernel, 50);
    EXPECT_EQ(kernel.Radius, 100);

    TIEBitmap gray(6, 5, ie8g);
    gray.Fill(77);
    IEApplyFilterGray8(gray, IEFilterPresets[2].Filter, 0, 0, 6, 5);
    for (int32_t y = 0; y < 5; ++y)
        for (int32_t x = 0; x < 6; ++x) ASSERT_EQ(gray.GetPixelByte(x, y), 0);
    EXPECT_STREQ(IEFilterPresets[8].Name, "Low Pass 2");

    TIEBitmap unchanged(6, 5, ie24RGB);
    unchanged.Fill(0x123456);
    IEGaussianBlur(unchanged, 0, nullptr, TIEProgressEvent());
    EXPECT_EQ(unchanged.GetPixelRGB(3, 3), IEColorToRGB(0x123456));

    // A shadow beside an opaque square: intensity 100 keeps the blurred
    // alpha, intensity 0 divides it by 3.
    int32_t alpha[2] = {};
    for (int32_t i = 0; i < 2; ++i) {
        TIEBitmap b(40, 40, ie24RGB);
        b.Fill(0xFFFFFF);
        b.GetAlphaChannel()->Fill(0);
        b.GetAlphaChannel()->FillRect(10, 10, 19, 19, 255);
        IEAddSoftShadow(b, 6, 6, 2, i == 0 ? 100 : 0, false, TRGB{0, 0, 0}, TIEProgressEvent(), nullptr);
        alpha[i] = b.GetAlpha(24, 24);
        EXPECT_EQ(b.GetPixelRGB(24, 24), (TRGB{0, 0, 0}));
        EXPECT_EQ(b.GetAlpha(15, 15), 255);
    }
    EXPECT_GT(alpha[0], 0);
    EXPECT_EQ(alpha[1], static_cast<int32_t>(alpha[0] / 3.0));

    // Rounded corners, also on an image narrower than the radius.
    for (int32_t width : {30, 3}) {
        TIEBitmap b(width, 20, ie24RGB);
        IERoundAlphaCorners(b, 6, 6);
        EXPECT_EQ(b.GetAlpha(0, 0), 0);
        EXPECT_EQ(b.GetAlpha(width - 1, 19), 0);
        if (width == 30) {
            EXPECT_EQ(b.GetAlpha(15, 10), 255);
        }
        EXPECT_FALSE(b.GetAlphaChannel()->FullOpacity());
    }
}

TEST(EffectsTest, CropAndCanvasOperations) {
    TIEBitmap b(4, 4, ie24RGB);
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 4; ++x) {
            b.SetPixelTRGB(x, y, TRGB{uint8_t(x), uint8_t(y), 9});
            b.SetAlpha(x, y, static_cast<uint8_t>(10 * (x + 4 * y)));
        }
    TVidurErProc proc;
    proc.AutoUndo = true;
    proc.SetAttachedIEBitmap(&b);
    proc.Crop(0, 0, 3, 3);
    proc.Crop(3, 3, 1, 1);  // swapped corners
    EXPECT_EQ(proc.GetUndoCount(), 0);
    EXPECT_EQ(b.GetWidth(), 4);
    proc.Crop(1, 1, 2, 2);
    ASSERT_EQ(b.GetWidth(), 2);
    EXPECT_EQ(b.GetPixelTRGB(1, 0), (TRGB{2, 1, 9}));
    EXPECT_EQ(b.GetAlpha(1, 1), 10 * (2 + 4 * 2));
    EXPECT_EQ(proc.GetUndoCaption(0), "Crop");

    // All transparent: nothing to keep, nothing done.
    b.GetAlphaChannel()->Fill(0);
    proc.ClearAllUndo();
    proc.CropTransparentBorder();
    EXPECT_EQ(b.GetWidth(), 2);
    b.SetAlpha(1, 0, 5);
    proc.CropTransparentBorder();
    EXPECT_EQ(b.GetWidth(), 1);
    EXPECT_EQ(b.GetHeight(), 1);
    EXPECT_EQ(proc.GetUndoCount(), 0);

    int finished = 0;
    proc.OnFinishWork = [&](TVidurErProc&) { ++finished; };
    proc.ImageResize(1, 1);
    EXPECT_EQ(finished, 0);
    proc.SetBackground(0x0000FF);
    proc.ImageResize(10, 10, 1, 1, 0);  // cleared first: two completions
    EXPECT_EQ(finished, 2);
    EXPECT_EQ(b.GetPixelRGB(9, 9), (TRGB{0, 0, 255}));
    EXPECT_EQ(b.GetAlpha(9, 9), 0);
    EXPECT_EQ(proc.GetUndoCount(), 0);  // a 1 x 1 image makes no entry
}

namespace {

// A 1-bit PBM file (1 = black) of an ie1g bitmap (1 = white), and back.
void WritePBM(TIEBitmap& b, const std::filesystem::path& path) {
    std::string data = "P4\n" + std::to_string(b.GetWidth()) + " " + std::to_string(b.GetHeight()) + "\n";
    const int32_t bytes = (b.GetWidth() + 7) / 8;
    for (int32_t y = 0; y < b.GetHeight(); ++y)
        for (int32_t i = 0; i < bytes; ++i) data += static_cast<char>(~b.GetScanline(y)[i]);
    WriteBytes(path, data.data(), data.size());
}

std::vector<bool> PBMBits(const std::filesystem::path& path, int32_t w, int32_t h) {
    auto data = ReadBytes(path);
    std::vector<bool> white;
    const size_t start = data.size() - static_cast<size_t>((w + 7) / 8 * h);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            white.push_back(!(data[start + static_cast<size_t>(y * ((w + 7) / 8) + x / 8)] & (0x80 >> (x % 8))));
    return white;
}

}  // namespace

TEST(EffectsToolsTest, FlipsAndCropsEqualImageMagick) {
    REQUIRE_TOOL("convert");
    auto folder = FixtureFolder("effects_flip");
    // A 24-bit and an odd-width 1-bit picture.
    int status = 0;
    RunCommand("convert -size 37x23 -seed 5 plasma: -depth 8 rgb:" + (folder / "in.rgb").string(), &status);
    ASSERT_EQ(status, 0);
    auto rgb = ReadBytes(folder / "in.rgb");
    ASSERT_EQ(rgb.size(), size_t{37 * 23 * 3});
    struct Case {
        const char* magick;
        int32_t direction;  // -1: crop
    };
    for (Case c : {Case{"-flop", 0}, Case{"-flip", 1}, Case{"-crop 11x7+5+3 +repage", -1}}) {
        SCOPED_TRACE(c.magick);
        TIEBitmap b(37, 23, ie24RGB);
        for (int32_t y = 0; y < 23; ++y)
            for (int32_t x = 0; x < 37; ++x) {
                const uint8_t* p = &rgb[3 * static_cast<size_t>(y * 37 + x)];
                b.SetPixelTRGB(x, y, IECreateRGB(p[0], p[1], p[2]));
            }
        TIEBitmap bits;
        bits.Assign(b);
        bits.BilevelMethod = 1;
        bits.SetPixelFormat(ie1g);
        WritePBM(bits, folder / "in.pbm");
        TVidurErProc proc;
        if (c.direction >= 0) {
            IEFlip(b, c.direction);
            IEFlip(bits, c.direction);
        } else {
            proc.SetAttachedIEBitmap(&b);
            proc.Crop(5, 3, 15, 9);
            proc.SetAttachedIEBitmap(&bits);
            proc.Crop(5, 3, 15, 9);
        }
        RunCommand("convert -size 37x23 -depth 8 rgb:" + (folder / "in.rgb").string() + " " + c.magick + " -depth 8 rgb:" +
                       (folder / "out.rgb").string(),
                   &status);
        ASSERT_EQ(status, 0);
        auto expected = ReadBytes(folder / "out.rgb");
        std::vector<uint8_t> ours;
        for (int32_t y = 0; y < b.GetHeight(); ++y)
            for (int32_t x = 0; x < b.GetWidth(); ++x) {
                TRGB p = b.GetPixelRGB(x, y);
                ours.insert(ours.end(), {p.r, p.g, p.b});
            }
        EXPECT_TRUE(ours == expected);
        RunCommand("convert " + (folder / "in.pbm").string() + " " + c.magick + " " + (folder / "out.pbm").string(), &status);
        ASSERT_EQ(status, 0);
        ASSERT_EQ(bits.GetPixelFormat(), ie1g);
        auto bitsExpected = PBMBits(folder / "out.pbm", bits.GetWidth(), bits.GetHeight());
        std::vector<bool> bitsOurs;
        for (int32_t y = 0; y < bits.GetHeight(); ++y)
            for (int32_t x = 0; x < bits.GetWidth(); ++x) bitsOurs.push_back(White(bits, x, y));
        EXPECT_TRUE(bitsOurs == bitsExpected);
    }
}

TEST(EffectsToolsTest, GaussianBlurFollowsImageMagick) {
    REQUIRE_TOOL("convert");
    auto folder = FixtureFolder("effects_blur");
    int status = 0;
    RunCommand("convert -size 120x90 -seed 3 plasma: -depth 8 rgb:" + (folder / "in.rgb").string(), &status);
    ASSERT_EQ(status, 0);
    auto rgb = ReadBytes(folder / "in.rgb");
    TIEBitmap b(120, 90, ie24RGB);
    for (int32_t y = 0; y < 90; ++y)
        for (int32_t x = 0; x < 120; ++x) {
            const uint8_t* p = &rgb[3 * static_cast<size_t>(y * 120 + x)];
            b.SetPixelTRGB(x, y, IECreateRGB(p[0], p[1], p[2]));
        }
    IEGaussianBlur(b, 2, nullptr, TIEProgressEvent());
    RunCommand("convert -size 120x90 -depth 8 rgb:" + (folder / "in.rgb").string() +
                   " -virtual-pixel edge -gaussian-blur 0x2 -depth 8 rgb:" + (folder / "out.rgb").string(),
               &status);
    ASSERT_EQ(status, 0);
    auto expected = ReadBytes(folder / "out.rgb");
    double sum = 0;
    for (int32_t y = 0; y < 90; ++y)
        for (int32_t x = 0; x < 120; ++x) {
            TRGB p = b.GetPixelRGB(x, y);
            const uint8_t* e = &expected[3 * static_cast<size_t>(y * 120 + x)];
            sum += std::abs(p.r - e[0]) + std::abs(p.g - e[1]) + std::abs(p.b - e[2]);
        }
    EXPECT_LT(sum / (120.0 * 90 * 3), 1.0);
}
