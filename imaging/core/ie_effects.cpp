#include "imaging/core/ie_effects.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "imaging/core/ie_geometry.h"
#include "imaging/core/ie_helpers.h"
#include "platform/mathutil.h"

const TIEFilterPreset IEFilterPresets[9] = {
    {"None", {{{0, 0, 0}, {0, 1, 0}, {0, 0, 0}}, 0}},
    {"Blur", {{{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}, 9}},
    {"Edges", {{{1, 1, 1}, {1, -8, 1}, {1, 1, 1}}, 1}},
    {"Emboss", {{{-1, 0, 1}, {-1, 1, 1}, {-1, 0, 1}}, 1}},
    {"High Pass 1", {{{0, -1, 0}, {-1, 5, -1}, {0, -1, 0}}, 1}},
    {"High Pass 2", {{{-1, -1, -1}, {-1, 9, -1}, {-1, -1, -1}}, 1}},
    {"High Pass 3", {{{1, -2, 1}, {-2, 5, -2}, {1, -2, 1}}, 1}},
    {"Low Pass 1", {{{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}, 10}},
    {"Low Pass 2", {{{1, 2, 1}, {2, 4, 2}, {1, 2, 1}}, 16}},
};

namespace {

bool Bit(const uint8_t* row, int32_t x) { return (row[x >> 3] & (0x80 >> (x & 7))) != 0; }
void PutBit(uint8_t* row, int32_t x, bool on) {
    auto mask = static_cast<uint8_t>(0x80 >> (x & 7));
    row[x >> 3] = on ? static_cast<uint8_t>(row[x >> 3] | mask) : static_cast<uint8_t>(row[x >> 3] & ~mask);
}

// Blurs n samples of c interleaved channels (stride c) in place.
void BlurLine(uint8_t* samples, int32_t n, int32_t c, const TIEGaussianKernel& kernel, std::vector<uint8_t>& scratch) {
    scratch.assign(samples, samples + static_cast<size_t>(n) * c);
    const int32_t r = kernel.Radius;
    for (int32_t x = 0; x < n; ++x)
        for (int32_t k = 0; k < c; ++k) {
            uint32_t acc = 32768;
            for (int32_t o = -r; o <= r; ++o)
                acc += static_cast<uint32_t>(kernel.At(o)) * scratch[static_cast<size_t>(IEClamp(x + o, 0, n - 1)) * c + k];
            samples[static_cast<size_t>(x) * c + k] = static_cast<uint8_t>(std::min<uint32_t>(acc >> 16, 255));
        }
}

// Blurs rows y1..y2 over x1..x2 and then those columns over y1..y2, all
// inclusive, of a bitmap of c bytes per pixel.
void BlurRegion(TIEBitmap& bitmap, int32_t c, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                const TIEGaussianKernel& kernel, void* sender, const TIEProgressEvent& onProgress) {
    const int32_t w = x2 - x1 + 1, h = y2 - y1 + 1;
    const double factor = 100.0 / (bitmap.GetHeight() + bitmap.GetWidth());
    std::vector<uint8_t> line, scratch;
    for (int32_t y = y1; y <= y2; ++y) {
        BlurLine(bitmap.GetScanline(y) + static_cast<size_t>(x1) * c, w, c, kernel, scratch);
        if (onProgress) onProgress(sender, static_cast<int>(Trunc((y - y1) * factor)));
    }
    bitmap.UnmapAllRows();
    // Columns: gathered a block of rows at a time through row copies, so a
    // file-backed bitmap is read and written once per column band.
    std::vector<std::vector<uint8_t>> rows(static_cast<size_t>(h));
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* p = bitmap.GetScanline(y1 + y) + static_cast<size_t>(x1) * c;
        rows[static_cast<size_t>(y)].assign(p, p + static_cast<size_t>(w) * c);
    }
    line.resize(static_cast<size_t>(h) * c);
    for (int32_t x = 0; x < w; ++x) {
        for (int32_t y = 0; y < h; ++y)
            std::memcpy(&line[static_cast<size_t>(y) * c], &rows[static_cast<size_t>(y)][static_cast<size_t>(x) * c], static_cast<size_t>(c));
        BlurLine(line.data(), h, c, kernel, scratch);
        for (int32_t y = 0; y < h; ++y)
            std::memcpy(&rows[static_cast<size_t>(y)][static_cast<size_t>(x) * c], &line[static_cast<size_t>(y) * c], static_cast<size_t>(c));
        if (onProgress) onProgress(sender, static_cast<int>(Trunc((bitmap.GetHeight() + x) * factor)));
    }
    for (int32_t y = 0; y < h; ++y)
        std::memcpy(bitmap.GetScanline(y1 + y) + static_cast<size_t>(x1) * c, rows[static_cast<size_t>(y)].data(),
                    rows[static_cast<size_t>(y)].size());
    bitmap.UnmapAllRows();
}

// Composes the shadow over the pixels of a region (inclusive) from the alpha
// before the blur (original) and the shadow alpha in the alpha channel.
void ComposeShadow(TIEBitmap& bitmap, TIEBitmap& original, int32_t x1, int32_t y1, int32_t x2, int32_t y2, TRGB color,
                   int32_t intensity, bool oneBitKeepsAlpha) {
    intensity = IEClamp(intensity, 0, 100);
    const double l = 3 - 2 * intensity / 100.0;
    TIEBitmap* alpha = bitmap.GetAlphaChannel();
    const TIEPixelFormat format = bitmap.GetPixelFormat();
    for (int32_t y = y1; y <= y2; ++y) {
        std::vector<uint8_t> before(original.GetScanline(y), original.GetScanline(y) + original.GetWidth());
        std::vector<uint8_t> shadow(alpha->GetScanline(y), alpha->GetScanline(y) + alpha->GetWidth());
        uint8_t* row = bitmap.GetScanline(y);
        for (int32_t x = x1; x <= x2; ++x) {
            const int32_t o = before[static_cast<size_t>(x)], s = shadow[static_cast<size_t>(x)];
            int32_t a = o;
            if (o != 0 || o == s) {
                if (format == ie24RGB && o > 0 && o < 255) {
                    const double v = s / 255.0, cover = o / 255.0;
                    uint8_t* p = row + 3 * x;
                    const uint8_t shade[3] = {color.b, color.g, color.r};
                    for (int k = 0; k < 3; ++k) {
                        const auto shadowed = static_cast<int32_t>(Trunc(shade[k] * v + p[k] * (1 - v)));
                        p[k] = static_cast<uint8_t>(Trunc(cover * p[k] + (1 - cover) * shadowed));
                    }
                    a = static_cast<int32_t>(Trunc((cover + v * (1 - cover)) * 255));
                }
            } else {
                if (format == ie24RGB) std::memcpy(row + 3 * x, &color, 3);
                else if (format == ie1g) PutBit(row, x, false);
                a = format == ie1g && oneBitKeepsAlpha ? s : l == 1 ? s : static_cast<int32_t>(Trunc(s / l));
            }
            shadow[static_cast<size_t>(x)] = static_cast<uint8_t>(a);
        }
        std::memcpy(alpha->GetScanline(y), shadow.data(), shadow.size());
        alpha->UnmapAllRows();
    }
    bitmap.UnmapAllRows();
    original.UnmapAllRows();
}

}  // namespace

void IEFillRectRGB(TIEBitmap& bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, TRGB color, void* sender,
                   const TIEProgressEvent& onProgress) {
    x2 = std::min(x2, bitmap.GetWidth());
    y2 = std::min(y2, bitmap.GetHeight());
    x1 = std::max(x1, 0);
    y1 = std::max(y1, 0);
    const TIEPixelFormat format = bitmap.GetPixelFormat();
    if (format != ie24RGB && format != ie1g) return;
    const int32_t rows = y2 - y1;
    for (int32_t y = y1; y < y2; ++y) {
        uint8_t* row = bitmap.GetScanline(y);
        for (int32_t x = x1; x < x2; ++x) {
            if (format == ie24RGB) std::memcpy(row + 3 * x, &color, 3);
            else PutBit(row, x, color.r != 0);
        }
        if (format == ie24RGB && onProgress) onProgress(sender, static_cast<int>(Trunc((y - y1 + 1) * 100 / (rows + 0.5))));
    }
    bitmap.UnmapAllRows();
}

void IEFlip(TIEBitmap& bitmap, int32_t direction) {
    const int32_t w = bitmap.GetWidth(), h = bitmap.GetHeight();
    const TIEPixelFormat format = bitmap.GetPixelFormat();
    if (w == 0 || h == 0 || (direction != 0 && direction != 1)) return;
    const int32_t bytes = IEBitsPerPixel[format] / 8;
    TIEBitmap flipped(w, h, format);
    for (int32_t y = 0; y < h; ++y) {
        std::vector<uint8_t> in(bitmap.GetScanline(direction == 1 ? h - 1 - y : y),
                                bitmap.GetScanline(direction == 1 ? h - 1 - y : y) + bitmap.GetRowLen());
        uint8_t* out = flipped.GetScanline(y);
        if (direction == 1) {
            std::memcpy(out, in.data(), in.size());
        } else if (format == ie1g) {
            for (int32_t x = 0; x < w; ++x) PutBit(out, w - 1 - x, Bit(in.data(), x));
        } else {
            // Every whole-byte format mirrors its pixels as units.
            for (int32_t x = 0; x < w; ++x)
                std::memcpy(out + static_cast<size_t>(w - 1 - x) * bytes, in.data() + static_cast<size_t>(x) * bytes,
                            static_cast<size_t>(bytes));
        }
        flipped.UnmapAllRows();
    }
    bitmap.UnmapAllRows();
    for (int32_t i = 0; i < bitmap.GetPaletteLen(); ++i) flipped.SetPaletteColor(i, bitmap.GetPaletteColor(i));
    bitmap.AssignImage(flipped);
    if (bitmap.GetHasAlphaChannel()) IEFlip(*bitmap.GetAlphaChannel(), direction);
}

TRect IEGetOpaqueBounds(TIEBitmap& bitmap) {
    const int32_t w = bitmap.GetWidth(), h = bitmap.GetHeight();
    TRect bounds{0, 0, w - 1, h - 1};
    if (!bitmap.GetHasAlphaChannel()) return bounds;
    TIEBitmap* alpha = bitmap.GetAlphaChannel();
    std::vector<bool> columns(static_cast<size_t>(std::max(w, 0)), false);
    int32_t top = h, bottom = -1;
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* row = alpha->GetScanline(y);
        bool any = false;
        for (int32_t x = 0; x < w; ++x)
            if (row[x]) {
                columns[static_cast<size_t>(x)] = true;
                any = true;
            }
        if (any) {
            top = std::min(top, y);
            bottom = y;
        }
    }
    alpha->UnmapAllRows();
    int32_t left = w, right = -1;
    for (int32_t x = 0; x < w; ++x)
        if (columns[static_cast<size_t>(x)]) {
            left = std::min(left, x);
            right = x;
        }
    return TRect{left, top, right, bottom};
}

void IEBuildGaussianKernel(TIEGaussianKernel& kernel, double sigma) {
    double sum = 0;
    for (int32_t k = -100; k <= 100; ++k) {
        const double v = std::exp(-((k / sigma) * (k / sigma)) / 2);
        kernel.Weights[static_cast<size_t>(k + 100)] = v;
        sum += v;
    }
    for (size_t i = 0; i < 201; ++i) kernel.Fixed[i] = static_cast<int32_t>(RoundHalfEven(kernel.Weights[i] * 65536 / sum));
    kernel.Radius = 100;
    while (kernel.Radius > 1 && kernel.At(kernel.Radius) == 0 && kernel.At(-kernel.Radius) == 0) --kernel.Radius;
}

void IEGaussianBlur(TIEBitmap& bitmap, double sigma, void* sender, const TIEProgressEvent& onProgress) {
    const TIEPixelFormat format = bitmap.GetPixelFormat();
    if (sigma <= 0 || (format != ie8g && format != ie24RGB) || bitmap.IsEmpty()) return;
    TIEGaussianKernel kernel;
    IEBuildGaussianKernel(kernel, sigma);
    BlurRegion(bitmap, format == ie8g ? 1 : 3, 0, 0, bitmap.GetWidth() - 1, bitmap.GetHeight() - 1, kernel, sender,
               onProgress);
}

void IEGaussianBlurGray8(TIEBitmap& bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, double sigma) {
    if (bitmap.GetPixelFormat() != ie8g || sigma <= 0 || bitmap.IsEmpty()) return;
    const int32_t w = bitmap.GetWidth(), h = bitmap.GetHeight();
    x1 = IEClamp(x1, 0, w - 1);
    x2 = IEClamp(x2, 0, w - 1);
    y1 = IEClamp(y1, 0, h - 1);
    y2 = IEClamp(y2, 0, h - 1);
    if (x2 < x1 || y2 < y1) return;
    TIEGaussianKernel kernel;
    IEBuildGaussianKernel(kernel, sigma);
    BlurRegion(bitmap, 1, x1, y1, x2, y2, kernel, nullptr, TIEProgressEvent());
}

void IEApplyFilterGray8(TIEBitmap& bitmap, const TIEFilter& filter, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    if (bitmap.GetPixelFormat() != ie8g || bitmap.IsEmpty()) return;
    const int32_t w = bitmap.GetWidth(), h = bitmap.GetHeight();
    const int32_t divisor = filter.Divisor == 0 ? 1 : filter.Divisor;
    x2 = std::min(x2, w);
    y2 = std::min(y2, h);
    x1 = std::max(x1, 0);
    y1 = std::max(y1, 0);
    if (x2 <= x1 || y2 <= y1) return;
    std::vector<std::vector<uint8_t>> source(static_cast<size_t>(h));
    for (int32_t y = 0; y < h; ++y) source[static_cast<size_t>(y)].assign(bitmap.GetScanline(y), bitmap.GetScanline(y) + w);
    for (int32_t y = y1; y < y2; ++y) {
        uint8_t* out = bitmap.GetScanline(y);
        for (int32_t x = x1; x < x2; ++x) {
            int32_t sum = 0;
            for (int32_t j = 0; j < 3; ++j)
                for (int32_t i = 0; i < 3; ++i)
                    sum += filter.Values[j][i] *
                           source[static_cast<size_t>(IEClamp(y + j - 1, 0, h - 1))][static_cast<size_t>(IEClamp(x + i - 1, 0, w - 1))];
            out[x] = static_cast<uint8_t>(std::min(255, std::abs(sum) / divisor));
        }
    }
    bitmap.UnmapAllRows();
}

void IEAddSoftShadow(TIEBitmap& bitmap, int32_t dx, int32_t dy, double sigma, int32_t intensity, bool enlarge,
                     TRGB color, const TIEProgressEvent& onProgress, void* sender) {
    if (bitmap.IsEmpty()) return;
    bitmap.GetAlphaChannel()->SetFullOpacity(false);
    if (enlarge) {
        const int32_t m = std::max(2 * std::max(std::abs(dx), std::abs(dy)) + static_cast<int32_t>(Trunc(sigma * 5)), 1);
        bitmap.Resize(bitmap.GetWidth() + m, bitmap.GetHeight() + m, 0, 0, 1, 1);
    }
    TIEBitmap* alpha = bitmap.GetAlphaChannel();
    TIEBitmap original;
    original.Assign(*alpha);
    IEGaussianBlur(*alpha, sigma, sender, onProgress);
    if (dx != 0 || dy != 0) alpha->MoveRect(0, 0, alpha->GetWidth() - 1, alpha->GetHeight() - 1, dx, dy, 0);
    ComposeShadow(bitmap, original, 0, 0, bitmap.GetWidth() - 1, bitmap.GetHeight() - 1, color, intensity, false);
}

int32_t IEAddSoftShadowRect(TIEBitmap& bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t dx, int32_t dy,
                            TRGB color, int32_t intensity, double sigma) {
    const bool blur = sigma != 0;
    if (!blur) sigma = 2;
    const int32_t m = std::max(2 * std::max(std::abs(dx), std::abs(dy)) + static_cast<int32_t>(Trunc(sigma * 5)), 1);
    if (bitmap.IsEmpty()) return m;
    const int32_t h = m / 2, w = bitmap.GetWidth(), height = bitmap.GetHeight();
    TIEBitmap* alpha = bitmap.GetAlphaChannel();
    alpha->SetFullOpacity(false);
    TIEBitmap original;
    original.Assign(*alpha);
    const int32_t bx1 = IEClamp(x1 - h, 0, w - 1), by1 = IEClamp(y1 - h, 0, height - 1);
    const int32_t bx2 = IEClamp(x2 + h, 0, w - 1), by2 = IEClamp(y2 + h, 0, height - 1);
    if (blur) IEGaussianBlurGray8(*alpha, bx1, by1, bx2, by2, sigma);
    else IEApplyFilterGray8(*alpha, IEFilterPresets[1].Filter, bx1, by1, bx2, by2);
    if (dx != 0 || dy != 0) alpha->MoveRect(bx1, by1, bx2, by2, bx1 + dx, by1 + dy, 0);
    ComposeShadow(bitmap, original, IEClamp(x1 - m, 0, w - 1), IEClamp(y1 - m, 0, height - 1), IEClamp(x2 + m, 0, w - 1),
                  IEClamp(y2 + m, 0, height - 1), color, intensity, true);
    return m;
}

void IERoundAlphaCorners(TIEBitmap& bitmap, int32_t rx, int32_t ry) {
    const int32_t w = bitmap.GetWidth(), h = bitmap.GetHeight();
    if (w == 0 || h == 0 || rx == 0 || ry == 0) return;
    TIEBitmap* alpha = bitmap.GetAlphaChannel();
    const int32_t n = rx + ry;
    std::vector<TPoint> points;
    auto clear = [&](int32_t k, int32_t j) {
        if (k < 0 || j < 0 || k >= w || j >= h) return;
        alpha->GetScanline(j)[k] = 0;
        alpha->GetScanline(j)[w - 1 - k] = 0;
    };
    IEBezierPoints(TPoint{0, ry}, TPoint{0, 0}, TPoint{rx, 0}, TPoint{rx, 0}, points, n);
    for (const TPoint& p : points)
        for (int32_t j = 0; j <= std::min(p.Y, h - 1); ++j)
            for (int32_t k = 0; k <= std::min(p.X, w - 1); ++k) clear(k, j);
    IEBezierPoints(TPoint{w, h - ry}, TPoint{w, h}, TPoint{w - rx, h}, TPoint{w - rx, h}, points, n);
    for (const TPoint& p : points)
        for (int32_t j = std::max(p.Y, 0); j <= h - 1; ++j)
            for (int32_t k = std::max(p.X, 0); k <= w - 1; ++k) clear(k, j);
    alpha->UnmapAllRows();
    IEUpdateAlphaFullFlag(*alpha);
    bitmap.SetFullOpacity(false);
}
