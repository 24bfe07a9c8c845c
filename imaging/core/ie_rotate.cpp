#include "imaging/core/ie_rotate.h"

#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include "imaging/core/ie_helpers.h"
#include "platform/mathutil.h"

namespace {

// A top-down copy of a bitmap's pixels, C bytes each, without padding.
struct Raster {
    int32_t w = 0, h = 0, c = 1;
    std::vector<uint8_t> px;
    Raster() = default;
    Raster(int32_t width, int32_t height, int32_t bytes) : w(width), h(height), c(bytes) {
        px.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * static_cast<size_t>(bytes), 0);
    }
    uint8_t* Row(int32_t y) { return px.data() + static_cast<size_t>(y) * static_cast<size_t>(w) * static_cast<size_t>(c); }
    uint8_t* At(int32_t x, int32_t y) { return Row(y) + static_cast<size_t>(x) * static_cast<size_t>(c); }
    void Fill(const uint8_t* pixel) {
        for (size_t i = 0; i < px.size(); i += static_cast<size_t>(c)) std::memcpy(&px[i], pixel, static_cast<size_t>(c));
    }
};

Raster Load(TIEBitmap& bitmap) {
    Raster r(bitmap.GetWidth(), bitmap.GetHeight(), bitmap.GetBitCount() / 8);
    for (int32_t y = 0; y < r.h; ++y) std::memcpy(r.Row(y), bitmap.GetScanline(y), static_cast<size_t>(r.w) * r.c);
    bitmap.UnmapAllRows();
    return r;
}

// The bitmap takes the raster's size and pixels; its format and palette stay
// (the alpha channel does not: callers rotate it on its own).
void Store(Raster& r, TIEBitmap& bitmap) {
    const TIEPixelFormat format = bitmap.GetPixelFormat();
    std::vector<TRGB> palette(static_cast<size_t>(bitmap.GetPaletteLen()));
    for (size_t i = 0; i < palette.size(); ++i) palette[i] = bitmap.GetPaletteColor(static_cast<int32_t>(i));
    bitmap.Allocate(r.w, r.h, format);
    for (size_t i = 0; i < palette.size(); ++i) bitmap.SetPaletteColor(static_cast<int32_t>(i), palette[i]);
    for (int32_t y = 0; y < r.h; ++y) std::memcpy(bitmap.GetScanline(y), r.Row(y), static_cast<size_t>(r.w) * r.c);
    bitmap.UnmapAllRows();
    bitmap.SetFullOpacity(false);
}

Raster QuarterCW(Raster& s) {
    Raster d(s.h, s.w, s.c);
    for (int32_t row = 0; row < d.h; ++row)
        for (int32_t k = 0; k < d.w; ++k) std::memcpy(d.At(k, row), s.At(row, s.h - 1 - k), static_cast<size_t>(s.c));
    return d;
}

Raster QuarterCCW(Raster& s) {
    Raster d(s.h, s.w, s.c);
    for (int32_t i = 0; i < s.h; ++i)
        for (int32_t x = 0; x < s.w; ++x) std::memcpy(d.At(i, s.w - 1 - x), s.At(x, i), static_cast<size_t>(s.c));
    return d;
}

// (prev * fa + cur * fb) / 4096 rounded half up, by exact integers, so an
// unblended byte (fa 0) is copied unchanged.
inline void Blend(uint8_t* out, const uint8_t* prev, const uint8_t* cur, int32_t fa, int32_t fb, int32_t c) {
    for (int32_t k = 0; k < c; ++k) out[k] = IEClampByte((prev[k] * fa + cur[k] * fb + 2048) >> 12);
}

// One shear pass along a line: count pixels from `in` (stride inStride)
// written at off + i of `out` (length outLength, stride outStride), blended
// with the previous pixel when asked, the trailing pixel included.
void ShearLine(const uint8_t* in, int32_t inStride, int32_t count, uint8_t* out, int32_t outStride, int32_t outLength,
               int32_t off, int32_t fa, bool blend, const uint8_t* background, int32_t c) {
    const int32_t fb = 4096 - fa;
    std::vector<uint8_t> prevStore(background, background + c);
    const uint8_t* prev = prevStore.data();
    for (int32_t i = 0; i < count; ++i) {
        const int32_t at = off + i;
        const uint8_t* cur = in + static_cast<size_t>(i) * inStride;
        if (at < 0 || at >= outLength) continue;
        uint8_t* p = out + static_cast<size_t>(at) * outStride;
        if (blend) {
            Blend(p, prev, cur, fa, fb, c);
            prev = cur;
        } else {
            std::memcpy(p, cur, static_cast<size_t>(c));
        }
    }
    if (blend && fa > 0 && off + count >= 0 && off + count < outLength)
        Blend(out + static_cast<size_t>(off + count) * outStride, prev, background, fa, fb, c);
}

// The three-shear rotation of IERotate and IERotateGray8.
void ShearRotate(TIEBitmap& bitmap, bool antiAlias, const uint8_t* background, int32_t c, void* sender,
                 const TIEProgressEvent& onProgress, double angle) {
    if (angle == 0) return;
    const int64_t a = Trunc(angle * 1000) % 360000;
    double deg = a / 1000.0;
    Raster t = Load(bitmap);
    while (deg > 45) {
        t = QuarterCCW(t);
        deg -= 90;
    }
    while (deg < -45) {
        t = QuarterCW(t);
        deg += 90;
    }
    if (deg == 0) {
        Store(t, bitmap);
        return;
    }
    const double theta = deg * std::numbers::pi / 180;
    const double tn = std::fabs(std::sin(theta / 2) / std::cos(theta / 2));
    const double s = std::fabs(std::sin(theta));
    const int32_t w = t.w, h = t.h;
    const auto w1 = static_cast<int32_t>(RoundHalfEven(h * tn + w + 1));
    const auto d1 = static_cast<int32_t>(RoundHalfEven((w1 - w) * s));
    const auto h2 = static_cast<int32_t>(RoundHalfEven(w1 * s + h + 1));
    const auto d2 = static_cast<int32_t>(RoundHalfEven((h2 - h - d1) * tn));
    const int32_t hf = h2 - 2 * d1;
    const auto wf = static_cast<int32_t>(RoundHalfEven(hf * tn + w1 + 1 - 2 * d2));
    const double f = 100.0 / (h + w1 + hf);
    auto report = [&](double units) {
        if (onProgress) onProgress(sender, static_cast<int>(Trunc(units * f)));
    };

    Raster first(w1, h, c);
    first.Fill(background);
    for (int32_t y = 0; y < h; ++y) {
        const double skew = theta > 0 ? y * tn : (h - y) * tn;
        const auto off = static_cast<int32_t>(RoundHalfEven(skew));
        const auto fa = static_cast<int32_t>(Trunc((skew - off) * 4096));
        ShearLine(t.Row(y), c, w, first.Row(y), c, w1, off, fa, antiAlias, background, c);
        report(y);
    }
    Raster second(w1, hf, c);
    second.Fill(background);
    const int32_t rowStride = w1 * c;
    for (int32_t x = 0; x < w1; ++x) {
        const double skew = theta > 0 ? (w1 - x) * s : x * s;
        auto off = static_cast<int32_t>(RoundHalfEven(skew));
        const auto fa = static_cast<int32_t>(RoundHalfEven((skew - off) * 4096));
        off -= d1;
        ShearLine(first.At(x, 0), rowStride, h, second.At(x, 0), rowStride, hf, off, fa, antiAlias, background, c);
        report(h + x);
    }
    Raster result(wf, hf, c);
    result.Fill(background);
    for (int32_t y = 0; y < hf; ++y) {
        const double skew = theta > 0 ? y * tn : (hf - y) * tn;
        auto off = static_cast<int32_t>(RoundHalfEven(skew));
        const auto fa = static_cast<int32_t>(RoundHalfEven((skew - off) * 4096));
        off -= d2;
        ShearLine(second.Row(y), c, w1, result.Row(y), c, wf, off, fa, antiAlias, background, c);
        report(h + w1 + y);
    }
    Store(result, bitmap);
}

// Adds the 3-pixel background border the inverse-mapping rotations work on.
void AddBorder(TIEBitmap& bitmap, double background) {
    const int32_t w = bitmap.GetWidth(), h = bitmap.GetHeight();
    bitmap.Resize(w + 6, h + 6, background, 255, 0, 0);
    bitmap.MoveRect(0, 0, w + 2, h + 2, 3, 3, background);
}

void TrimBorder(Raster& r) {
    Raster trimmed(std::max(r.w - 6, 1), std::max(r.h - 6, 1), r.c);
    for (int32_t y = 0; y < trimmed.h; ++y)
        for (int32_t x = 0; x < trimmed.w; ++x)
            if (x + 3 < r.w && y + 3 < r.h) std::memcpy(trimmed.At(x, y), r.At(x + 3, y + 3), static_cast<size_t>(r.c));
    r = std::move(trimmed);
}

// The rows of a bitmap to read from: its own rows where they stay put, a
// copy where they live in a temporary file.
struct SourceRows {
    int32_t w = 0, h = 0, c = 1;
    std::vector<const uint8_t*> rows;
    Raster copy;
    explicit SourceRows(TIEBitmap& bitmap) : w(bitmap.GetWidth()), h(bitmap.GetHeight()), c(bitmap.GetBitCount() / 8) {
        rows.resize(static_cast<size_t>(h));
        if (bitmap.GetLocation() == ieFile) {
            copy = Load(bitmap);
            for (int32_t y = 0; y < h; ++y) rows[static_cast<size_t>(y)] = copy.Row(y);
        } else {
            for (int32_t y = 0; y < h; ++y) rows[static_cast<size_t>(y)] = bitmap.GetScanline(y);
        }
    }
};

// The bitmap takes the result's pixels: moved where it owns its storage,
// copied into a toolkit bitmap or an alpha channel, which must stay what
// they are.
void TakeResult(TIEBitmap& result, TIEBitmap& bitmap) {
    if (bitmap.GetLocation() == ieTBitmap || bitmap.IsAlpha()) {
        bitmap.Assign(result);
    } else {
        result.MoveContentTo(bitmap);
    }
    bitmap.SetFullOpacity(false);
}

// Bilinear (mode 1) or bicubic (mode 2) inverse mapping over C bytes. The
// source is seen with a 3-pixel background border on every side, and the
// same border is left out of the result, as if it had been added and
// trimmed.
void AntialiasRotate(TIEBitmap& bitmap, const uint8_t* background, uint8_t mode, double angle, void* sender,
                     const TIEProgressEvent& onProgress) {
    SourceRows src(bitmap);
    const int32_t c = src.c, bw = src.w + 6, bh = src.h + 6;
    const double theta = angle * std::numbers::pi / 180;
    const double cs = std::cos(theta), sn = std::sin(theta);
    const auto nw = std::max<int32_t>(static_cast<int32_t>(RoundHalfEven(std::fabs(cs) * (bw - 1) + std::fabs(sn) * (bh - 1))), 1);
    const auto nh = std::max<int32_t>(static_cast<int32_t>(RoundHalfEven(std::fabs(sn) * (bw - 1) + std::fabs(cs) * (bh - 1))), 1);
    const double scx = (bw - 1) / 2.0, scy = (bh - 1) / 2.0, dcx = (nw - 1) / 2.0, dcy = (nh - 1) / 2.0;
    auto pixel = [&](int32_t x, int32_t y) -> const uint8_t* {
        x -= 3;
        y -= 3;
        return x < 0 || y < 0 || x >= src.w || y >= src.h ? background : src.rows[static_cast<size_t>(y)] + static_cast<size_t>(x) * c;
    };
    const int32_t ow = std::max(nw - 6, 1), oh = std::max(nh - 6, 1);
    TIEBitmap result;
    result.MemoryThreshold = bitmap.MemoryThreshold;
    if (!result.Allocate(ow, oh, bitmap.GetPixelFormat())) return;
    for (int32_t i = 0; i < bitmap.GetPaletteLen(); ++i) result.SetPaletteColor(i, bitmap.GetPaletteColor(i));
    std::vector<double> colCos(static_cast<size_t>(ow)), colSin(static_cast<size_t>(ow));
    for (int32_t i = 0; i < ow; ++i) {
        colCos[static_cast<size_t>(i)] = (i + 3 - dcx) * cs;
        colSin[static_cast<size_t>(i)] = (i + 3 - dcx) * sn;
    }
    auto cubic = [](double u, double w[4]) {
        w[0] = -u * (1 - u) * (1 - u);
        w[1] = 1 - 2 * u * u + u * u * u;
        w[2] = u * (1 + u - u * u);
        w[3] = u * u * (u - 1);
    };
    for (int32_t r = 0; r < oh; ++r) {
        const double rowSin = (r + 3 - dcy) * sn, rowCos = (r + 3 - dcy) * cs;
        uint8_t* line = result.GetScanline(r);
        for (int32_t i = 0; i < ow; ++i) {
            const double sx = scx + colCos[static_cast<size_t>(i)] - rowSin;
            const double sy = scy + colSin[static_cast<size_t>(i)] + rowCos;
            uint8_t* out = line + static_cast<size_t>(i) * c;
            const auto tx = static_cast<int32_t>(sx), ty = static_cast<int32_t>(sy);
            if (mode == 2) {
                double wx[4], wy[4];
                cubic(sx - tx, wx);
                cubic(sy - ty, wy);
                const uint8_t* p[4][4];
                for (int32_t m = 0; m < 4; ++m)
                    for (int32_t n = 0; n < 4; ++n) p[m][n] = pixel(tx - 1 + n, ty - 1 + m);
                for (int32_t k = 0; k < c; ++k) {
                    double sum = 0;
                    for (int32_t m = 0; m < 4; ++m)
                        sum += wy[m] * (wx[0] * p[m][0][k] + wx[1] * p[m][1][k] + wx[2] * p[m][2][k] + wx[3] * p[m][3][k]);
                    out[k] = static_cast<uint8_t>(std::min<int64_t>(std::llabs(static_cast<int64_t>(sum)), 255));
                }
            } else {
                const double fx = sx - std::floor(sx), fy = sy - std::floor(sy);
                const uint8_t *a, *b, *cc, *d;
                if (tx >= 3 && ty >= 3 && tx + 1 < src.w + 3 && ty + 1 < src.h + 3) {
                    // All four inside: no border checks.
                    a = src.rows[static_cast<size_t>(ty - 3)] + static_cast<size_t>(tx - 3) * c;
                    b = a + c;
                    cc = src.rows[static_cast<size_t>(ty - 2)] + static_cast<size_t>(tx - 3) * c;
                    d = cc + c;
                } else {
                    a = pixel(tx, ty);
                    b = pixel(tx + 1, ty);
                    cc = pixel(tx, ty + 1);
                    d = pixel(tx + 1, ty + 1);
                }
                for (int32_t k = 0; k < c; ++k) {
                    const double top = a[k] + (b[k] - a[k]) * fx, bottom = cc[k] + (d[k] - cc[k]) * fx;
                    out[k] = static_cast<uint8_t>(static_cast<int64_t>(top + (bottom - top) * fy));
                }
            }
        }
        if (onProgress) onProgress(sender, static_cast<int>(Trunc((r + 3) * 100.0 / nh)));
    }
    result.UnmapAllRows();
    bitmap.UnmapAllRows();
    TakeResult(result, bitmap);
}

void AntialiasInPlace(TIEBitmap& bitmap, const uint8_t* background, uint8_t mode, double angle, void* sender,
                      const TIEProgressEvent& onProgress) {
    // Mode 0 belongs to the shears, and modes past bicubic are unknown: both
    // sample bilinearly rather than leave the turned image unwritten.
    if (mode != 1 && mode != 2) mode = 1;
    AntialiasRotate(bitmap, background, mode, angle, sender, onProgress);
}

void NearestGeneral(Raster& src, Raster& dst, const uint8_t* background, double angle) {
    const double alpha = -angle / 57.295779513082320877;
    const double cs = Trunc(std::cos(alpha) * 10000) / 10000.0, sn = Trunc(std::sin(alpha) * 10000) / 10000.0;
    const int32_t w = src.w, h = src.h;
    dst = Raster(std::max<int32_t>(static_cast<int32_t>(Trunc(std::fabs(w * cs) + std::fabs(h * sn))), 1),
                 std::max<int32_t>(static_cast<int32_t>(Trunc(std::fabs(w * sn) + std::fabs(h * cs))), 1), src.c);
    for (int32_t t = 0; t < dst.h; ++t) {
        const double dy = t - (dst.h / 2.0 - 0.5);
        for (int32_t l = 0; l < dst.w; ++l) {
            const double dx = l - (dst.w / 2.0 - 0.5);
            const auto sx = static_cast<int32_t>(Trunc((w / 2.0 - 0.5) + sn * dy) + Trunc(cs * dx));
            const auto sy = static_cast<int32_t>(Trunc((h / 2.0 - 0.5) + cs * dy) + Trunc(-sn * dx));
            const uint8_t* p = sx >= 0 && sy >= 0 && sx < w && sy < h ? src.At(sx, sy) : background;
            std::memcpy(dst.At(l, t), p, static_cast<size_t>(src.c));
        }
    }
}

// The exact moves and general mapping of IERotate1Bit and IERotateNearest8,
// on pixels of one byte (bits are widened to bytes on the way).
Raster NearestSmall(Raster& src, uint8_t background, double angle) {
    if (angle == 90) return QuarterCCW(src);
    if (angle == -90 || angle == 270) return QuarterCW(src);
    if (angle == 180 || angle == -180) {
        Raster d(src.w, src.h, src.c);
        for (int32_t y = 0; y < src.h; ++y)
            for (int32_t x = 0; x < src.w; ++x) *d.At(src.w - 1 - x, src.h - 1 - y) = *src.At(x, y);
        return d;
    }
    Raster d;
    NearestGeneral(src, d, &background, angle);
    return d;
}

}  // namespace

bool IEIsMultipleOf90(double angle) { return std::trunc(angle) == angle && std::fmod(angle, 90.0) == 0; }

void IERotate(TIEBitmap& bitmap, bool antiAlias, void* sender, const TIEProgressEvent& onProgress, TRGB background,
              double angle) {
    if (angle == 0) return;
    if (bitmap.GetPixelFormat() != ie24RGB) {
        IERotate1Bit(bitmap, background.r != 0 && background.g != 0 && background.b != 0, sender, onProgress, angle);
        return;
    }
    const uint8_t bg[3] = {background.b, background.g, background.r};
    ShearRotate(bitmap, antiAlias, bg, 3, sender, onProgress, angle);
}

void IERotateGray8(TIEBitmap& bitmap, bool antiAlias, uint8_t background, void* sender,
                   const TIEProgressEvent& onProgress, double angle) {
    if (bitmap.GetPixelFormat() != ie8g && bitmap.GetPixelFormat() != ie8p) return;
    ShearRotate(bitmap, antiAlias, &background, 1, sender, onProgress, angle);
}

void IERotate1Bit(TIEBitmap& bitmap, bool backgroundBit, void* sender, const TIEProgressEvent& onProgress,
                  double angle) {
    if (bitmap.GetPixelFormat() != ie1g || bitmap.IsEmpty()) return;
    Raster bytes(bitmap.GetWidth(), bitmap.GetHeight(), 1);
    for (int32_t y = 0; y < bytes.h; ++y) {
        const uint8_t* row = bitmap.GetScanline(y);
        for (int32_t x = 0; x < bytes.w; ++x) *bytes.At(x, y) = (row[x >> 3] & (0x80 >> (x & 7))) ? 1 : 0;
    }
    Raster turned = NearestSmall(bytes, backgroundBit ? 1 : 0, angle);
    bitmap.Allocate(turned.w, turned.h, ie1g);
    for (int32_t y = 0; y < turned.h; ++y) {
        uint8_t* row = bitmap.GetScanline(y);
        std::memset(row, 0, static_cast<size_t>(bitmap.GetRowLen()));
        for (int32_t x = 0; x < turned.w; ++x)
            if (*turned.At(x, y)) row[x >> 3] = static_cast<uint8_t>(row[x >> 3] | (0x80 >> (x & 7)));
        if (onProgress) onProgress(sender, static_cast<int>(Trunc(y * 100.0 / turned.h)));
    }
    bitmap.UnmapAllRows();
}

void IERotateNearest8(TIEBitmap& bitmap, uint8_t background, double angle) {
    if (bitmap.GetPixelFormat() != ie8g && bitmap.GetPixelFormat() != ie8p) return;
    Raster src = Load(bitmap);
    Raster turned = NearestSmall(src, background, angle);
    Store(turned, bitmap);
}

void IERotateAntialias24(TIEBitmap& bitmap, TColor background, uint8_t mode, void* sender,
                         const TIEProgressEvent& onProgress, double angle) {
    if (bitmap.GetPixelFormat() != ie24RGB || bitmap.IsEmpty()) return;
    const TRGB bg = IEColorToRGB(background);
    const uint8_t pixel[3] = {bg.b, bg.g, bg.r};
    AntialiasInPlace(bitmap, pixel, mode, angle, sender, onProgress);
}

void IERotateAntialias8(TIEBitmap& bitmap, uint8_t background, uint8_t mode, double angle) {
    if (bitmap.GetBitCount() != 8 || bitmap.IsEmpty()) return;
    AntialiasInPlace(bitmap, &background, mode, angle, nullptr, TIEProgressEvent());
}

void IERotateNearest(TIEBitmap& bitmap, double background, void* sender, const TIEProgressEvent& onProgress,
                     double angle) {
    if (bitmap.GetBitCount() < 8 || bitmap.IsEmpty()) return;
    AddBorder(bitmap, background);
    Raster src = Load(bitmap);
    // The background pixel in the bitmap's own format, as Fill writes it.
    TIEBitmap probe(1, 1, bitmap.GetPixelFormat());
    probe.Fill(background);
    std::vector<uint8_t> bg(probe.GetScanline(0), probe.GetScanline(0) + src.c);
    const double theta = angle * std::numbers::pi / 180;
    const double cs = std::cos(theta), sn = std::sin(theta);
    const auto nw = std::max<int32_t>(static_cast<int32_t>(RoundHalfEven(std::fabs(cs) * (src.w - 1) + std::fabs(sn) * (src.h - 1))), 1);
    const auto nh = std::max<int32_t>(static_cast<int32_t>(RoundHalfEven(std::fabs(sn) * (src.w - 1) + std::fabs(cs) * (src.h - 1))), 1);
    Raster dst(nw, nh, src.c);
    dst.Fill(bg.data());
    std::vector<int32_t> colx(static_cast<size_t>(nw)), coly(static_cast<size_t>(nw));
    for (int32_t i = 0; i < nw; ++i) {
        const double di = i - (nw - 1) / 2.0;
        colx[static_cast<size_t>(i)] = static_cast<int32_t>(Trunc((src.w - 1) / 2.0 + cs * di));
        coly[static_cast<size_t>(i)] = static_cast<int32_t>(Trunc((src.h - 1) / 2.0 + sn * di));
    }
    for (int32_t r = 0; r < nh; ++r) {
        const double dr = r - (nh - 1) / 2.0;
        const auto rx = static_cast<int32_t>(Trunc(sn * dr)), ry = static_cast<int32_t>(Trunc(cs * dr));
        for (int32_t i = 0; i < nw; ++i) {
            const int32_t x = colx[static_cast<size_t>(i)] - rx, y = coly[static_cast<size_t>(i)] + ry;
            if (x >= 0 && y >= 0 && x < src.w && y < src.h) std::memcpy(dst.At(i, r), src.At(x, y), static_cast<size_t>(src.c));
        }
        if (onProgress) onProgress(sender, static_cast<int>(Trunc(r * 100.0 / nh)));
    }
    TrimBorder(dst);
    Store(dst, bitmap);
}

void IERotateNearestTo(TIEBitmap& src, TIEBitmap& dst, double background, void* sender,
                       const TIEProgressEvent& onProgress, double angle) {
    const int32_t w = src.GetWidth(), h = src.GetHeight();
    const TIEPixelFormat format = src.GetPixelFormat();
    if (src.IsEmpty()) return;
    const double theta = angle * std::numbers::pi / 180;
    const double cs = std::cos(theta), sn = std::sin(theta);
    const auto nw = std::max<int32_t>(static_cast<int32_t>(RoundHalfEven(std::fabs(cs) * (w - 1) + std::fabs(sn) * (h - 1))), 1);
    const auto nh = std::max<int32_t>(static_cast<int32_t>(RoundHalfEven(std::fabs(sn) * (w - 1) + std::fabs(cs) * (h - 1))), 1);
    dst.Allocate(nw, nh, format);
    for (int32_t i = 0; i < src.GetPaletteLen(); ++i) dst.SetPaletteColor(i, src.GetPaletteColor(i));
    dst.Fill(background);
    std::vector<const uint8_t*> rows(static_cast<size_t>(h));
    for (int32_t y = 0; y < h; ++y) rows[static_cast<size_t>(y)] = src.MapRow(y);
    const size_t bytes = static_cast<size_t>(IEBitsPerPixel[format] / 8);
    for (int32_t r = 0; r < nh; ++r) {
        const double dr = r - (nh - 1) / 2.0;
        uint8_t* out = dst.GetScanline(r);
        for (int32_t i = 0; i < nw; ++i) {
            const double di = i - (nw - 1) / 2.0;
            const auto x = static_cast<int32_t>(Trunc((w - 1) / 2.0 + cs * di) - Trunc(sn * dr));
            const auto y = static_cast<int32_t>(Trunc((h - 1) / 2.0 + sn * di) + Trunc(cs * dr));
            if (x < 0 || y < 0 || x >= w || y >= h) continue;
            const uint8_t* in = rows[static_cast<size_t>(y)];
            if (format == ie1g) {
                if (in[x >> 3] & (0x80 >> (x & 7))) out[i >> 3] = static_cast<uint8_t>(out[i >> 3] | (0x80 >> (i & 7)));
            } else {
                std::memcpy(out + bytes * static_cast<size_t>(i), in + bytes * static_cast<size_t>(x), bytes);
            }
        }
        if (onProgress) onProgress(sender, static_cast<int>(Trunc(r * 100.0 / nh)));
    }
    for (int32_t y = 0; y < h; ++y) src.UnmapRow(y);
    dst.UnmapAllRows();
}

namespace {
void QuarterInto(TIEBitmap& src, TIEBitmap& dst, bool clockwise) {
    Raster s = Load(src);
    Raster d = clockwise ? QuarterCW(s) : QuarterCCW(s);
    dst.Allocate(d.w, d.h, src.GetPixelFormat());
    for (int32_t i = 0; i < src.GetPaletteLen(); ++i) dst.SetPaletteColor(i, src.GetPaletteColor(i));
    for (int32_t y = 0; y < d.h; ++y) std::memcpy(dst.GetScanline(y), d.Row(y), static_cast<size_t>(d.w) * d.c);
    dst.UnmapAllRows();
}
}  // namespace

void IERotate90CW24(TIEBitmap& src, TIEBitmap& dst) { QuarterInto(src, dst, true); }
void IERotate90CCW24(TIEBitmap& src, TIEBitmap& dst) { QuarterInto(src, dst, false); }
void IERotate90CW8(TIEBitmap& src, TIEBitmap& dst) { QuarterInto(src, dst, true); }
void IERotate90CCW8(TIEBitmap& src, TIEBitmap& dst) { QuarterInto(src, dst, false); }
