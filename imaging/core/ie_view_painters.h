// Painters of the image view's background and of the preview dialog: the
// drop shadows right of and below an image, the soft shadow all round it,
// the bell curve and the striped and noisy textures made from it. The
// painters only darken or fill; every pixel is checked against the bitmap
// before it is touched.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/bitmap.h"
#include "platform/canvas.h"

// Darken the strip x1..x2 right of an image (rows y1..y2, bevelled at both
// ends), or y1..y2 below it, in the 24-bit bitmap where it holds the pixel
// (bitmap may be nullptr), else on the canvas.
void IEDrawShadowRight(TCanvas& canvas, TBitmap* bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
void IEDrawShadowBottom(TCanvas& canvas, TBitmap* bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
// A blurred shadow round the image rectangle x1..x2, y1..y2 (inclusive),
// falling to the bottom right; the rectangle itself is left.
void IEDrawSoftShadow(TBitmap& bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2);

// n values of a bell curve over -1 .. 1, scaled to low .. high.
void IEGaussianCurve(int32_t n, double low, double high, double sigma, std::vector<double>& values);
// The bitmap becomes 24-bit of width x height with horizontal gray stripes.
void IEDrawStripedBackground(TBitmap& bitmap, int32_t width, int32_t height);
// The same with a light vertical band and faint random streaks.
void IEDrawNoisyBackground(TBitmap& bitmap, int32_t width, int32_t height);
