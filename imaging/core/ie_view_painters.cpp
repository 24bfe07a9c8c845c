#include "imaging/core/ie_view_painters.h"

#include <cmath>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_effects.h"
#include "platform/mathutil.h"
#include "platform/random.h"

namespace {

// Darkens one pixel by factor: in the bitmap when it holds it, else on the canvas.
void Darken(TCanvas& canvas, TBitmap* bitmap, int32_t x, int32_t y, double factor) {
    if (bitmap && bitmap->PixelFormat() == TPixelFormat::pf24bit && x >= 0 && y >= 0 && x < bitmap->Width() &&
        y < bitmap->Height()) {
        uint8_t* p = bitmap->ScanLine(y) + 3 * static_cast<size_t>(x);
        for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>(Trunc(p[c] * factor));
        return;
    }
    const TColor color = canvas.GetPixel(x, y);
    if (color < 0) return;  // outside the canvas
    canvas.SetPixel(x, y, RGBColor(static_cast<uint8_t>(Trunc(RedOf(color) * factor)),
                                   static_cast<uint8_t>(Trunc(GreenOf(color) * factor)),
                                   static_cast<uint8_t>(Trunc(BlueOf(color) * factor))));
}

void Make24(TBitmap& bitmap, int32_t width, int32_t height) {
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    bitmap.SetSize(width, height);
}

}  // namespace

void IEDrawShadowRight(TCanvas& canvas, TBitmap* bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    const int32_t w = x2 - x1 + 1;
    if (w <= 0) return;
    const double sigma = w / 3.0;
    for (int32_t j = 0; j < w; ++j) {
        const double t = (w - j) / sigma;
        const double factor = std::exp(-0.1 - t * t / 6);
        for (int32_t row = y1 + w; row <= y2 - w + j + 3; ++row) Darken(canvas, bitmap, x1 + j, row, factor);
    }
}

void IEDrawShadowBottom(TCanvas& canvas, TBitmap* bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    const int32_t h = y2 - y1 + 1;
    if (h <= 0) return;
    const double sigma = h / 3.0;
    for (int32_t r = 0; r < h; ++r) {
        const double t = (r - h) / sigma;
        const double factor = std::exp(-0.1 - t * t / 6);
        for (int32_t column = x1 + h; column <= x2 - h + r + 1; ++column) Darken(canvas, bitmap, column, y1 + r, factor);
    }
}

void IEDrawSoftShadow(TBitmap& bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    constexpr int32_t kRadius = 5, kOffset = 2;
    const int32_t width = x2 - x1 + 1, height = y2 - y1 + 1;
    if (width <= 0 || height <= 0 || bitmap.PixelFormat() != TPixelFormat::pf24bit) return;
    TIEBitmap work(width + 2 * kRadius, height + 2 * kRadius, ie8g);
    work.Fill(0);
    work.FillRect(kRadius, kRadius, kRadius + width - 1 + kOffset, kRadius + height - 1 + kOffset, 255);
    IEGaussianBlur(work, kRadius / 2.0, nullptr, TIEProgressEvent());
    for (int32_t y = std::max(y1 - kRadius, 0); y <= std::min(y2 + kRadius, bitmap.Height() - 1); ++y) {
        uint8_t* row = bitmap.ScanLine(y);
        const uint8_t* shade = work.GetScanline(y - (y1 - kRadius));
        for (int32_t x = std::max(x1 - kRadius, 0); x <= std::min(x2 + kRadius, bitmap.Width() - 1); ++x) {
            if (x >= x1 && x <= x2 && y >= y1 && y <= y2) continue;
            const double keep = 1 - shade[x - (x1 - kRadius)] / 255.0;
            uint8_t* p = row + 3 * static_cast<size_t>(x);
            for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>(Trunc(p[c] * keep));
        }
    }
}

void IEGaussianCurve(int32_t n, double low, double high, double sigma, std::vector<double>& values) {
    values.assign(static_cast<size_t>(std::max(n, 0)), 0);
    double maximum = -100000;
    for (int32_t i = 0; i < n; ++i) {
        const double t = (static_cast<double>(i) / n) * 2 - 1;
        const double value = std::exp(-0.5 * sigma * sigma * t * t) / (sigma * std::sqrt(2 * 3.141592653589793));
        values[static_cast<size_t>(i)] = value;
        maximum = std::max(maximum, value);
    }
    for (double& value : values) value = value / maximum * (high - low) + low;
}

void IEDrawStripedBackground(TBitmap& bitmap, int32_t width, int32_t height) {
    Make24(bitmap, width, height);
    std::vector<double> v;
    IEGaussianCurve(4, 130, 255, 0.5, v);
    for (int32_t r = 0; r < bitmap.Height(); ++r) {
        const auto gray = static_cast<uint8_t>(Trunc(v[static_cast<size_t>(r % 4)]));
        std::fill_n(bitmap.ScanLine(r), 3 * static_cast<size_t>(bitmap.Width()), gray);
    }
}

void IEDrawNoisyBackground(TBitmap& bitmap, int32_t width, int32_t height) {
    Make24(bitmap, width, height);
    if (bitmap.Empty()) return;
    std::vector<double> v;
    IEGaussianCurve(width, 160, 208, 3, v);
    TRandomSource& random = DefaultRandom();
    int32_t offset = 0, counter = 0;
    for (int32_t r = 0; r < bitmap.Height(); ++r) {
        uint8_t* row = bitmap.ScanLine(r);
        for (int32_t j = 0; j < bitmap.Width(); ++j) {
            const auto gray = static_cast<uint8_t>((static_cast<int32_t>(Trunc(v[static_cast<size_t>(j)])) + offset) % 256);
            std::fill_n(row + 3 * static_cast<size_t>(j), 3, gray);
            ++counter;
            const auto q = static_cast<int32_t>(random.Next(static_cast<uint32_t>(width)));
            if (q + 100 < counter) {
                offset = static_cast<int32_t>(random.Next(11));
                counter = 0;
            }
        }
    }
}
