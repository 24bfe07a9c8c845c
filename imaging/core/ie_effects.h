// Geometric and tonal routines on TIEBitmap images: rectangle fill, mirror,
// the opaque bounds of the alpha channel, Gaussian blur (whole images of 8 or
// 24 bits, rectangles of 8-bit ones), a 3 x 3 integer filter with nine named
// presets, soft drop shadows built from the alpha channel, and rounded
// transparent corners.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "imaging/core/ie_bitmap.h"
#include "platform/geometry.h"

// x2 and y2 exclusive; ie24RGB and ie1g only.
void IEFillRectRGB(TIEBitmap& bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, TRGB color, void* sender,
                   const TIEProgressEvent& onProgress);
// 0 mirrors left to right, 1 top to bottom; the alpha channel follows.
void IEFlip(TIEBitmap& bitmap, int32_t direction);
// Inclusive corners of the part whose alpha is not 0 (the whole image
// without an alpha channel). All-transparent: Left = width, Right = -1,
// Top = height, Bottom = -1.
TRect IEGetOpaqueBounds(TIEBitmap& bitmap);

struct TIEGaussianKernel {
    int32_t Radius = 1;                  // 1 .. 100
    std::array<double, 201> Weights{};   // offsets -100 .. 100
    std::array<int32_t, 201> Fixed{};    // in 1/65536
    int32_t At(int32_t offset) const { return Fixed[static_cast<size_t>(offset + 100)]; }
};
void IEBuildGaussianKernel(TIEGaussianKernel& kernel, double sigma);
void IEGaussianBlur(TIEBitmap& bitmap, double sigma, void* sender, const TIEProgressEvent& onProgress);
// Corners inclusive; ie8g only.
void IEGaussianBlurGray8(TIEBitmap& bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, double sigma);

struct TIEFilter {
    int32_t Values[3][3];
    int32_t Divisor;
};
struct TIEFilterPreset {
    const char* Name;
    TIEFilter Filter;
};
extern const TIEFilterPreset IEFilterPresets[9];
// x2 and y2 exclusive; ie8g only.
void IEApplyFilterGray8(TIEBitmap& bitmap, const TIEFilter& filter, int32_t x1, int32_t y1, int32_t x2, int32_t y2);

void IEAddSoftShadow(TIEBitmap& bitmap, int32_t dx, int32_t dy, double sigma, int32_t intensity, bool enlarge,
                     TRGB color, const TIEProgressEvent& onProgress, void* sender);
// Returns the margin the shadow may reach around the rectangle.
int32_t IEAddSoftShadowRect(TIEBitmap& bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t dx, int32_t dy,
                            TRGB color, int32_t intensity, double sigma);
void IERoundAlphaCorners(TIEBitmap& bitmap, int32_t rx, int32_t ry);
