// 24-bit toolkit bitmaps for the tests: a solid one, a pixel read as
// 0xRRGGBB, and how many pixels two of them differ in.
#pragma once

#include <cstdint>

#include "platform/bitmap.h"

inline TBitmap SolidBitmap24(int32_t width, int32_t height, uint32_t rgb) {
    TBitmap bitmap;
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    bitmap.SetSize(width, height);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            uint8_t* p = bitmap.ScanLine(y) + 3 * x;  // blue, green, red
            p[0] = rgb & 255, p[1] = (rgb >> 8) & 255, p[2] = (rgb >> 16) & 255;
        }
    return bitmap;
}

inline uint32_t Pixel24(const TBitmap& bitmap, int32_t x, int32_t y) {
    const uint8_t* p = bitmap.ScanLine(y) + 3 * x;
    return uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
}

inline int64_t DifferingPixels(const TBitmap& a, const TBitmap& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height()) return -1;
    int64_t count = 0;
    for (int32_t y = 0; y < a.Height(); ++y)
        for (int32_t x = 0; x < a.Width(); ++x) count += Pixel24(a, x, y) != Pixel24(b, x, y);
    return count;
}
