// The view's shadow painters and the preview dialog's textures.
#include <gtest/gtest.h>

#include <cmath>

#include "imaging/core/ie_view_painters.h"

namespace {

TBitmap Gray(int32_t width, int32_t height, uint8_t value) {
    TBitmap bitmap;
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    bitmap.SetSize(width, height);
    for (int32_t y = 0; y < height; ++y) std::fill_n(bitmap.ScanLine(y), 3 * static_cast<size_t>(width), value);
    return bitmap;
}

uint8_t At(TBitmap& bitmap, int32_t x, int32_t y) { return bitmap.ScanLine(y)[3 * static_cast<size_t>(x)]; }

}  // namespace

TEST(ViewPaintersTest, DropShadowsDarkenTheirStripsByTheBellFactor) {
    TBitmap bitmap = Gray(40, 40, 200);
    TCanvas canvas(bitmap);
    IEDrawShadowRight(canvas, &bitmap, 30, 0, 35, 30);  // w = 6
    EXPECT_EQ(At(bitmap, 30, 10), static_cast<uint8_t>(200 * std::exp(-1.6)));
    EXPECT_GT(At(bitmap, 35, 10), At(bitmap, 30, 10));  // lighter away from the image
    EXPECT_EQ(At(bitmap, 30, 5), 200);                   // the bevelled top starts at y1 + w
    EXPECT_EQ(At(bitmap, 29, 10), 200);

    // Through the canvas alone, the bottom strip.
    TBitmap other = Gray(40, 40, 100);
    TCanvas otherCanvas(other);
    IEDrawShadowBottom(otherCanvas, nullptr, 0, 30, 30, 35);  // h = 6
    EXPECT_EQ(At(other, 10, 30), static_cast<uint8_t>(100 * std::exp(-1.6)));
    EXPECT_EQ(At(other, 5, 30), 100);  // columns start at x1 + h
}

TEST(ViewPaintersTest, SoftShadowLeavesTheImageAndFallsToTheBottomRight) {
    TBitmap bitmap = Gray(60, 60, 240);
    IEDrawSoftShadow(bitmap, 20, 20, 39, 39);
    for (int32_t y = 20; y <= 39; ++y)
        for (int32_t x = 20; x <= 39; ++x) ASSERT_EQ(At(bitmap, x, y), 240);
    EXPECT_LT(At(bitmap, 41, 30), At(bitmap, 18, 30));
    EXPECT_LT(At(bitmap, 30, 41), At(bitmap, 30, 18));
    EXPECT_EQ(At(bitmap, 10, 10), 240);
    TBitmap corner = Gray(10, 10, 240);
    IEDrawSoftShadow(corner, 0, 0, 5, 5);  // the shadow's reach past the bitmap is skipped
    EXPECT_LT(At(corner, 7, 3), 240);
}

TEST(ViewPaintersTest, GaussianCurveAndTextures) {
    std::vector<double> v;
    IEGaussianCurve(4, 130, 255, 0.5, v);
    ASSERT_EQ(v.size(), 4u);
    EXPECT_DOUBLE_EQ(*std::max_element(v.begin(), v.end()), 255);
    EXPECT_DOUBLE_EQ(v[2], 255);  // t = 0
    TBitmap striped;
    IEDrawStripedBackground(striped, 5, 8);
    EXPECT_EQ(striped.PixelFormat(), TPixelFormat::pf24bit);
    EXPECT_EQ(At(striped, 0, 2), 255);
    EXPECT_EQ(At(striped, 3, 6), 255);
    EXPECT_EQ(At(striped, 0, 0), static_cast<uint8_t>(v[0]));
    TBitmap noisy;
    IEDrawNoisyBackground(noisy, 200, 50);
    EXPECT_GE(At(noisy, 100, 0), 208);  // the light band in the middle
    EXPECT_LE(At(noisy, 0, 0), 170);
}
