// Colour quantizers: the shortcuts, the builder choice and the palette
// quality against ImageMagick's own colour reduction.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_quantizer.h"
#include "imaging/core/tests/tool_support.h"

using namespace imaging_test;

namespace {

void SetPixel(TIEBitmap& b, int32_t x, int32_t y, TRGB c) { std::memcpy(b.GetScanline(y) + 3 * x, &c, 3); }

double MeanError(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i) sum += std::abs(int{a[i]} - int{b[i]});
    return sum / static_cast<double>(a.size());
}

}  // namespace

TEST(QuantizerTest, FewColoursAreKeptExactlyInOrderOfAppearance) {
    TIEBitmap b(4, 2, ie24RGB);
    const TRGB colours[3] = {{1, 2, 3}, {200, 10, 0}, {5, 5, 250}};
    for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 0; x < 4; ++x) SetPixel(b, x, y, colours[(x + y * 4) % 3]);
    TRGB palette[256] = {};
    TIEQuantizer q(b, palette, 3);
    ASSERT_TRUE(q.HasExactColors());
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(palette[i], colours[i]);
        EXPECT_EQ(q.ColorIndex(colours[i]), i);
    }
    EXPECT_EQ(q.ColorIndex(TRGB{9, 9, 9}), -1);

    // The conversion to ie8p uses it: the pixels keep their colours.
    b.ConvertToPixelFormat(ie8p);
    EXPECT_EQ(b.GetScanline(1)[0], 1);
    EXPECT_EQ(b.GetPaletteColor(2), colours[2]);
}

TEST(QuantizerTest, GreyRampMethodChoiceAndSampleFactor) {
    TIEBitmap grey(16, 1, ie24RGB);
    for (int32_t x = 0; x < 16; ++x) SetPixel(grey, x, 0, TRGB{uint8_t(x * 3), uint8_t(x * 3), uint8_t(x * 3)});
    TRGB palette[256] = {};
    TIEQuantizer q(grey, palette, 16);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(palette[i].r, i * 16);
    EXPECT_EQ(q.ColorIndex(TRGB{200, 200, 200}), 200 * 16 / 256);

    // 300 distinct colours: too many for an exact palette at 127 or 128.
    TIEBitmap many(300, 1, ie24RGB);
    for (int32_t x = 0; x < 300; ++x) SetPixel(many, x, 0, TRGB{uint8_t(x), uint8_t(x / 2), uint8_t(x * 7)});
    TIEQuantizer histogram(many, palette, 127);
    TIEQuantizer neural(many, palette, 128);
    EXPECT_EQ(histogram.Method(), 1);
    EXPECT_EQ(neural.Method(), 0);
    EXPECT_FALSE(histogram.HasExactColors());

    EXPECT_EQ(IENeuralSampleFactor(1000, -1), 1);
    EXPECT_EQ(IENeuralSampleFactor(int64_t{100000} * 100000, -1), 30);  // would overflow 32 bits
    EXPECT_EQ(IENeuralSampleFactor(5000, 100), 1);
    EXPECT_EQ(IENeuralSampleFactor(5000, 0), 30);
}

TEST(QuantizerToolsTest, PlasmaErrorIsCloseToImageMagicks) {
    REQUIRE_TOOL("convert");
    auto folder = FixtureFolder("quantizer_magick");
    constexpr int32_t w = 160, h = 120;
    const std::string size = "-size " + std::to_string(w) + "x" + std::to_string(h);
    int status = 0;
    RunCommand("convert " + size + " -seed 3 plasma: -depth 8 rgb:" + (folder / "in.rgb").string(), &status);
    ASSERT_EQ(status, 0);
    auto rgb = ReadBytes(folder / "in.rgb");
    ASSERT_EQ(rgb.size(), size_t{3} * w * h);
    for (int colours : {256, 16}) {
        auto out = folder / ("out" + std::to_string(colours) + ".rgb");
        RunCommand("convert " + size + " -depth 8 rgb:" + (folder / "in.rgb").string() + " +dither -colors " +
                       std::to_string(colours) + " -depth 8 rgb:" + out.string(),
                   &status);
        ASSERT_EQ(status, 0);
        const double magickError = MeanError(rgb, ReadBytes(out));

        TIEBitmap b(w, h, ie24RGB);
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) {
                const uint8_t* p = &rgb[3 * static_cast<size_t>(y * w + x)];
                SetPixel(b, x, y, IECreateRGB(p[0], p[1], p[2]));
            }
        TRGB palette[256] = {};
        TIEQuantizer q(b, palette, colours);
        std::vector<uint8_t> mapped(rgb.size());
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) {
                const uint8_t* p = b.GetScanline(y) + 3 * x;
                int32_t index = q.ColorIndex(TRGB{p[0], p[1], p[2]});
                ASSERT_GE(index, 0);
                ASSERT_LT(index, colours);
                TRGB c = palette[index];
                uint8_t* m = &mapped[3 * static_cast<size_t>(y * w + x)];
                m[0] = c.r;
                m[1] = c.g;
                m[2] = c.b;
            }
        const double ours = MeanError(rgb, mapped);
        EXPECT_LE(ours, 1.5 * magickError) << colours << " colours: ours " << ours << ", ImageMagick " << magickError;
    }
}
