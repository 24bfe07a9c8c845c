// Drawing a selection mask: inverted selection, shaded outside and the
// marching outline, at 1:1 and zoomed.
#include <gtest/gtest.h>

#include "imaging/core/ie_mask.h"

namespace {

TBitmap White(int32_t width, int32_t height) {
    TBitmap bitmap;
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    bitmap.SetSize(width, height);
    TCanvas canvas(bitmap);
    canvas.Brush.Color = 0xFFFFFF;
    canvas.FillRect(TRect{0, 0, width, height});
    return bitmap;
}

int32_t Count(TBitmap& bitmap, TColor color) {
    TCanvas canvas(bitmap);
    int32_t n = 0;
    for (int32_t y = 0; y < bitmap.Height(); ++y)
        for (int32_t x = 0; x < bitmap.Width(); ++x) n += canvas.GetPixel(x, y) == color;
    return n;
}

// Columns and rows 2 .. 5 selected.
TIEMask Square(int32_t bits) {
    TIEMask mask;
    mask.AllocateBits(10, 10, bits);
    const TPoint square[] = {{2, 2}, {6, 2}, {6, 6}, {2, 6}};
    mask.DrawPolygon(bits == 1 ? 1 : 255, square, 4);
    return mask;
}

}  // namespace

TEST(MaskDrawTest, OuterShadesACheckerboardOutsideTheSelection) {
    constexpr TColor kShade = 0x616161;
    TIEMask mask;
    mask.AllocateBits(10, 10, 1);
    TBitmap bitmap = White(10, 10);
    mask.DrawOuter(bitmap, 0, 0, 10, 10, 0, 0, 10, 10);
    EXPECT_EQ(Count(bitmap, kShade), 0);  // an empty box draws nothing

    mask.SetPixel(4, 4, 1);
    mask.DrawOuter(bitmap, 0, 0, 10, 10, 0, 0, 10, 10);
    EXPECT_EQ(Count(bitmap, kShade), 49);
    EXPECT_EQ(TCanvas(bitmap).GetPixel(4, 4), 0xFFFFFF);
    EXPECT_EQ(TCanvas(bitmap).GetPixel(0, 0), kShade);
    EXPECT_EQ(TCanvas(bitmap).GetPixel(1, 0), 0xFFFFFF);

    TIEMask full;
    full.AllocateBits(10, 10, 8);
    full.Fill(255);
    full.SyncBounds();
    TBitmap untouched = White(10, 10);
    full.DrawOuter(untouched, 0, 0, 10, 10, 0, 0, 10, 10);
    EXPECT_EQ(Count(untouched, kShade), 0);

    // Zoomed twice and placed partly above the bitmap.
    TIEMask square = Square(1);
    TBitmap zoomed = White(20, 20);
    square.DrawOuter(zoomed, 0, -4, 20, 20, 0, 0, 10, 10);
    EXPECT_EQ(TCanvas(zoomed).GetPixel(6, 2), 0xFFFFFF);  // mask (3, 3)
    EXPECT_EQ(TCanvas(zoomed).GetPixel(0, 0), kShade);
}

TEST(MaskDrawTest, BorderOutlinesTheSelectionInMarchingStripes) {
    for (int32_t bits : {1, 8}) {
        SCOPED_TRACE(bits);
        TIEMask mask = Square(bits);
        TBitmap bitmap = White(10, 10);
        TCanvas canvas(bitmap);
        mask.DrawBorder(canvas, 0, 0, 10, 10, 0, 0, 10, 10, 4, 0x0000FF, 0x00FF00);
        EXPECT_EQ(Count(bitmap, 0xFFFFFF), 100 - 12);
        EXPECT_EQ(canvas.GetPixel(3, 3), 0xFFFFFF);  // inside
        EXPECT_EQ(canvas.GetPixel(2, 2), 0x00FF00);  // (2 + 2 + 4) mod 8 < 4: the second colour
        EXPECT_EQ(canvas.GetPixel(5, 5), 0x0000FF);  // 14 mod 8 = 6: the first
        // Zoomed twice the ring moves out with the square.
        TBitmap zoomed = White(20, 20);
        TCanvas zoomedCanvas(zoomed);
        mask.DrawBorder(zoomedCanvas, 0, 0, 20, 20, 0, 0, 10, 10, 0, 0, 0);
        EXPECT_EQ(zoomedCanvas.GetPixel(4, 4), 0);
        EXPECT_EQ(zoomedCanvas.GetPixel(11, 11), 0);
        EXPECT_EQ(zoomedCanvas.GetPixel(7, 7), 0xFFFFFF);
        EXPECT_EQ(zoomedCanvas.GetPixel(3, 3), 0xFFFFFF);
    }
}

TEST(MaskDrawTest, InvertedFlipsTheSelectedPixelsOfAHardMask) {
    TIEMask mask = Square(1);
    TBitmap bitmap = White(10, 10);
    TCanvas canvas(bitmap);
    mask.DrawInverted(canvas, 0, 0, 10, 10, 0, 0, 10, 10);
    EXPECT_EQ(Count(bitmap, 0), 16);
    EXPECT_EQ(canvas.GetPixel(5, 5), 0);
    mask.DrawInverted(canvas, 0, 0, 10, 10, 0, 0, 10, 10);
    EXPECT_EQ(Count(bitmap, 0), 0);
    TIEMask soft = Square(8);
    soft.DrawInverted(canvas, 0, 0, 10, 10, 0, 0, 10, 10);  // soft masks do not invert
    EXPECT_EQ(Count(bitmap, 0), 0);
}
