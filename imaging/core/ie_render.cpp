// Rendering of a TIEBitmap into a 24-bit bitmap: zoom by index tables or a
// resampled temporary, display settings, transparency, alpha and blend modes.
#include "imaging/core/ie_render.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_resample.h"
#include "platform/mathutil.h"

namespace {

constexpr int32_t kNoClip = 2147483646;

// The source's access mode is read only for the length of a call.
class TReadOnly {
public:
    explicit TReadOnly(TIEBitmap& bitmap) : bitmap_(bitmap), mode_(bitmap.AccessMode) {
        bitmap.AccessMode = TIEFileBuffer::kRead;
    }
    ~TReadOnly() { bitmap_.AccessMode = mode_; }
    TReadOnly(const TReadOnly&) = delete;
    TReadOnly& operator=(const TReadOnly&) = delete;

private:
    TIEBitmap& bitmap_;
    uint8_t mode_;
};

double ContrastFactor(int32_t contrast) {
    return contrast < 0 ? 1 - std::sqrt(static_cast<double>(-contrast)) / 10 : contrast / 10.0 + 1;
}

uint8_t Gray8(int32_t v, double black, double white) {
    const double range = white - black;
    if (range == 0) return static_cast<uint8_t>(v);
    const int32_t lo = static_cast<int32_t>(Trunc(black)), hi = static_cast<int32_t>(Trunc(white));
    v = std::min(std::max(v, lo), hi);
    return static_cast<uint8_t>(Trunc((v - lo) / range * 255));
}

uint8_t Gray16(int32_t v, double black, double white) {
    const double range = white - black;
    if (range == 0) return static_cast<uint8_t>(v >> 8);
    const int32_t lo = static_cast<int32_t>(Trunc(black)), hi = static_cast<int32_t>(Trunc(white));
    v = std::min(std::max(v, lo), hi);
    return static_cast<uint8_t>(Trunc((v - lo) / range * 255));
}

uint8_t GrayFloat(float v, double black, double white) {
    const double range = white - black;
    if (range == 0) return static_cast<uint8_t>(static_cast<int64_t>(Trunc(v * 255.0)) & 255);
    const double value = std::min(std::max(static_cast<double>(v), black), white);
    return static_cast<uint8_t>(Trunc((value - black) / range * 255));
}

uint8_t SoftLight(int32_t s, int32_t d) {
    const double c = s / 255.0, e = d / 255.0;
    const double r = c >= 0.5 ? std::sqrt(e) * (2 * c - 1) + 2 * e * (1 - c) : e * e * (1 - 2 * c) + 2 * c * e;
    return static_cast<uint8_t>(Trunc(r * 255));
}

uint8_t BlendChannel(int32_t s, int32_t d, uint8_t mode) {
    auto clamp = [](int32_t v) { return static_cast<uint8_t>(std::min(std::max(v, 0), 255)); };
    switch (mode) {
        case 0: return static_cast<uint8_t>(s);
        case 1: return static_cast<uint8_t>(std::min(d + s, 255));
        case 2: return static_cast<uint8_t>(std::abs(d - s));
        case 3: return static_cast<uint8_t>(d / std::max(s, 1));
        case 4: return static_cast<uint8_t>((s * d) >> 8);
        case 5: return static_cast<uint8_t>(d | s);
        case 6: return static_cast<uint8_t>(d & s);
        case 7: return static_cast<uint8_t>(d ^ s);
        case 8: return static_cast<uint8_t>(std::max(d, s));
        case 9: return static_cast<uint8_t>(std::min(d, s));
        case 10: return static_cast<uint8_t>((d + s) >> 1);
        case 11: return static_cast<uint8_t>(255 - (((255 - d) * (255 - s)) >> 8));
        case 12: return static_cast<uint8_t>(255 - std::abs(255 - s - d));
        case 13: return static_cast<uint8_t>(d + s - (s * d) / 128);
        case 14: return d < 128 ? static_cast<uint8_t>((s * d) >> 7) : static_cast<uint8_t>(255 - (((255 - d) * (255 - s)) >> 7));
        case 15: return s < 128 ? static_cast<uint8_t>((s * d) >> 7) : static_cast<uint8_t>(255 - (((255 - d) * (255 - s)) >> 7));
        case 16: return SoftLight(s, d);
        case 17: {
            const int32_t m = (s * d) >> 8;
            const int32_t k = 255 - (((255 - d) * (255 - s)) >> 8) - m;
            return static_cast<uint8_t>(m + ((d * k) >> 8));
        }
        case 18: return s == 255 ? 255 : static_cast<uint8_t>(std::min(d * 256 / (255 - s), 255));
        case 19: return s == 0 ? 0 : clamp(255 - ((255 - d) << 8) / s);
        case 20: return d == 255 ? 255 : static_cast<uint8_t>(std::min(s * 256 / (255 - d), 255));
        case 21: return d == 0 ? 0 : clamp(255 - ((255 - s) << 8) / d);
        case 22:
            if (s + d < 256) return s == 255 ? 255 : static_cast<uint8_t>(std::min(d * 128 / (255 - s), 255));
            return clamp(255 - ((255 - s) << 7) / d);
        case 23:
            if (s + d < 256) return d == 255 ? 255 : static_cast<uint8_t>(std::min(s * 128 / (255 - d), 255));
            return clamp(255 - ((255 - d) << 7) / s);
        case 24: return s == 255 ? 255 : static_cast<uint8_t>(std::min(d * d / (255 - s), 255));
        case 25: return d == 255 ? 255 : static_cast<uint8_t>(std::min(s * s / (255 - d), 255));
        case 26: return s == 0 ? 0 : clamp(255 - (255 - d) * (255 - d) / s);
        case 27: return d == 0 ? 0 : clamp(255 - (255 - s) * (255 - s) / d);
        case 28: return clamp(d + s - 256);
        case 29: {
            const int32_t* table = IECosineTable();
            return static_cast<uint8_t>(std::min(table[s] + table[d], 255));
        }
        case 30: return clamp(d + 2 * s - 256);
        default: return static_cast<uint8_t>(d);
    }
}

// Where a render draws: the destination's rows and the span of the call.
struct TSpan {
    int32_t FirstX, LastX, FirstY, LastY;
};

// Everything one direct-path render needs, gathered once.
struct TRenderJob {
    TIEBitmap* Source;
    TIEBitmap* Destination;
    uint8_t* const* Rows;
    const int32_t* XTable;  // indexed by destination column - FirstX
    const int32_t* YTable;  // indexed by destination row - FirstY
    TSpan Span;
    bool Straight;
    int32_t SrcX, SrcY, DstX, DstY;
    bool AlphaVariant;
    bool AlphaInUse;
    int32_t Transparency;
    bool ReuseRows;
    uint8_t BlendMode;
};

// The pixel value of a source row at column x, before blending.
class TPixelReader {
public:
    explicit TPixelReader(TIEBitmap& source)
        : source_(source), format_(source.GetPixelFormat()), black_(source.BlackValue), white_(source.WhiteValue) {
        adjust_ = source.ChannelOffsetsEnabled || source.Contrast != 0;
        factor_ = ContrastFactor(source.Contrast);
        fixedFactor_ = static_cast<int64_t>(Trunc(factor_ * 65536));
        for (int i = 0; i < 3; ++i) offsets_[i] = source.ChannelOffsetsEnabled ? source.ChannelOffsets[i] : 0;
        if (format_ == ie8p) {
            palette_.resize(static_cast<size_t>(source.GetPaletteLen()));
            for (int32_t i = 0; i < source.GetPaletteLen(); ++i) source.GetPaletteColor(i, palette_[static_cast<size_t>(i)]);
        }
    }
    bool CanDraw() const {
        if (format_ == ie8p) return !palette_.empty();
        return format_ != ienull;
    }
    // Formats whose renderer adjusts and blends.
    bool Blends() const { return format_ == ie24RGB || format_ == ie32RGB || format_ == ieRGB48; }
    bool NeedsAdjust(uint8_t blendMode) const { return adjust_ || blendMode != 0; }

    TRGB Read(const uint8_t* row, int32_t x, bool adjusted) const {
        switch (format_) {
            case ie24RGB:
            case ie32RGB: {
                const uint8_t* p = row + static_cast<size_t>(x) * (format_ == ie24RGB ? 3 : 4);
                TRGB c{p[0], p[1], p[2]};
                if (adjusted) {
                    c.r = Adjust8(c.r, offsets_[0]);
                    c.g = Adjust8(c.g, offsets_[1]);
                    c.b = Adjust8(c.b, offsets_[2]);
                }
                return c;
            }
            case ie1g: return (row[x >> 3] & (0x80 >> (x & 7))) ? TRGB{255, 255, 255} : TRGB{0, 0, 0};
            case ie8g: {
                const uint8_t g = Gray8(row[x], black_, white_);
                return TRGB{g, g, g};
            }
            case ie8p: {
                const size_t index = row[x];
                return index < palette_.size() ? palette_[index] : TRGB{};
            }
            case ie16g: {
                uint16_t w;
                std::memcpy(&w, row + 2 * static_cast<size_t>(x), 2);
                const uint8_t g = Gray16(w, black_, white_);
                return TRGB{g, g, g};
            }
            case ie32f: {
                float f;
                std::memcpy(&f, row + 4 * static_cast<size_t>(x), 4);
                const uint8_t g = GrayFloat(f, black_, white_);
                return TRGB{g, g, g};
            }
            case ieCMYK: return IECMYKToRGB(row + 4 * static_cast<size_t>(x));
            case ieCIELab: return IECIELab2RGB(row + 3 * static_cast<size_t>(x));
            case ieRGB48: {
                uint16_t w[3];
                std::memcpy(w, row + 6 * static_cast<size_t>(x), 6);
                if (!adjusted) return TRGB{static_cast<uint8_t>(w[2] >> 8), static_cast<uint8_t>(w[1] >> 8), static_cast<uint8_t>(w[0] >> 8)};
                return TRGB{Adjust16(w[2], offsets_[2]), Adjust16(w[1], offsets_[1]), Adjust16(w[0], offsets_[0])};
            }
            default: return TRGB{};
        }
    }

private:
    uint8_t Adjust8(int32_t c, int32_t offset) const {
        const int64_t v = fixedFactor_ * (c + offset - 128) / 65536 + 128;
        return static_cast<uint8_t>(std::min<int64_t>(std::max<int64_t>(v, 0), 255));
    }
    uint8_t Adjust16(int32_t w, int32_t offset) const {
        const int64_t v = static_cast<int64_t>(Trunc((w + offset - 32768) * factor_ + 32768)) >> 8;
        return static_cast<uint8_t>(std::min<int64_t>(std::max<int64_t>(v, 0), 255));
    }

    TIEBitmap& source_;
    TIEPixelFormat format_;
    double black_, white_;
    bool adjust_;
    double factor_;
    int64_t fixedFactor_;
    int32_t offsets_[3];
    std::vector<TRGB> palette_;
};

void RunRenderer(const TRenderJob& job) {
    TIEBitmap& source = *job.Source;
    TPixelReader reader(source);
    if (!reader.CanDraw()) return;
    const TSpan& span = job.Span;
    const int32_t spanBytes = (span.LastX - span.FirstX + 1) * 3;
    if (job.Straight) {
        for (int32_t y = span.FirstY; y <= span.LastY; ++y) {
            const uint8_t* in = source.GetScanline(y + job.SrcY - job.DstY) + 3 * static_cast<size_t>(span.FirstX + job.SrcX - job.DstX);
            std::memcpy(job.Rows[y] + 3 * static_cast<size_t>(span.FirstX), in, static_cast<size_t>(spanBytes));
        }
        return;
    }
    const bool blends = reader.Blends();
    const bool adjusted = blends && reader.NeedsAdjust(job.BlendMode);
    const uint8_t mode = blends ? job.BlendMode : 0;
    // A row that shows the same source row as the one above is a copy of it,
    // as long as what is drawn does not depend on what was there before.
    const TIEPixelFormat format = source.GetPixelFormat();
    const bool reuse = job.ReuseRows && !job.AlphaVariant && mode == 0 &&
                       (format == ie24RGB || format == ie32RGB || format == ie1g);
    TIEBitmap* alpha = job.AlphaInUse ? source.GetAlphaChannel() : nullptr;
    std::vector<uint8_t> alphaRow;
    for (int32_t y = span.FirstY; y <= span.LastY; ++y) {
        const int32_t sy = job.YTable[y - span.FirstY];
        uint8_t* out = job.Rows[y];
        if (reuse && y > span.FirstY && sy == job.YTable[y - 1 - span.FirstY]) {
            std::memcpy(out + 3 * static_cast<size_t>(span.FirstX), job.Rows[y - 1] + 3 * static_cast<size_t>(span.FirstX),
                        static_cast<size_t>(spanBytes));
            continue;
        }
        if (alpha) {
            // The source row may be a file mapping that the next read replaces.
            const uint8_t* a = alpha->GetScanline(sy);
            alphaRow.assign(a, a + alpha->GetRowLen());
        }
        const uint8_t* in = source.GetScanline(sy);
        for (int32_t x = span.FirstX; x <= span.LastX; ++x) {
            const int32_t sx = job.XTable[x - span.FirstX];
            TRGB s = reader.Read(in, sx, adjusted);
            uint8_t* d = out + 3 * static_cast<size_t>(x);
            if (mode != 0) {
                TRGB blended{d[0], d[1], d[2]};
                IEBlendPixel(s, blended, mode);
                s = blended;
            }
            if (!job.AlphaVariant) {
                d[0] = s.b;
                d[1] = s.g;
                d[2] = s.r;
                continue;
            }
            int32_t a = std::min(job.Transparency, alpha ? int32_t{alphaRow[static_cast<size_t>(sx)]} : job.Transparency);
            // Opacity 0..255 as 0..256, so that an opaque pixel lands as it
            // is; floor((s - d) * a / 256) by an arithmetic shift.
            a += a >> 7;
            d[0] = static_cast<uint8_t>(d[0] + (((s.b - d[0]) * a) >> 8));
            d[1] = static_cast<uint8_t>(d[1] + (((s.g - d[1]) * a) >> 8));
            d[2] = static_cast<uint8_t>(d[2] + (((s.r - d[2]) * a) >> 8));
        }
    }
}

// Copies the source's rectangle (and alpha when asked) into a new bitmap.
std::unique_ptr<TIEBitmap> CropOf(TIEBitmap& source, int32_t x, int32_t y, int32_t w, int32_t h, bool withAlpha) {
    auto crop = std::make_unique<TIEBitmap>(w, h, source.GetPixelFormat());
    for (int32_t i = 0; i < source.GetPaletteLen(); ++i) crop->SetPaletteColor(i, source.GetPaletteColor(i));
    source.CopyRectTo(*crop, x, y, 0, 0, w, h);
    if (withAlpha) {
        TIEBitmap* alpha = source.GetAlphaChannel();
        alpha->CopyRectTo(*crop->GetAlphaChannel(), x, y, 0, 0, w, h);
        crop->GetAlphaChannel()->SetFullOpacity(alpha->FullOpacity());
    }
    crop->BlackValue = source.BlackValue;
    crop->WhiteValue = source.WhiteValue;
    return crop;
}

// The source rectangle resampled to w x h: ie1g sources through the 1-bit
// resampler (ie1g for the projections), others into ie24RGB.
std::unique_ptr<TIEBitmap> Resampled(TIEBitmap& crop, int32_t w, int32_t h, TResampleFilter filter, bool withAlpha) {
    std::unique_ptr<TIEBitmap> out;
    if (crop.GetPixelFormat() == ie1g) {
        out = std::make_unique<TIEBitmap>(w, h, filter == rfProjectBW || filter == rfProjectWB ? ie1g : ie24RGB);
        IEResample1Bit(crop, *out, filter);
    } else {
        if (crop.GetPixelFormat() != ie24RGB) crop.ConvertToPixelFormat(ie24RGB);
        out = std::make_unique<TIEBitmap>(w, h, ie24RGB);
        IEResampleFiltered(crop, *out, filter, nullptr, TIEProgressEvent());
    }
    if (withAlpha) {
        IEResampleGray8(*crop.GetAlphaChannel(), *out->GetAlphaChannel(), filter);
        out->GetAlphaChannel()->SetFullOpacity(crop.GetAlphaChannel()->FullOpacity());
    }
    return out;
}

}  // namespace

void IEBlendPixel(TRGB source, TRGB& destination, uint8_t mode) {
    if (mode > 37) return;
    if (mode >= 31) {
        switch (mode) {
            case 31: destination.r = source.r; return;
            case 32: destination.g = source.g; return;
            case 33: destination.b = source.b; return;
            default: break;
        }
        double sh, ss, sl, dh, ds, dl;
        IERGBToHSL(source, sh, ss, sl);
        IERGBToHSL(destination, dh, ds, dl);
        switch (mode) {
            case 34: destination = IEHSLToRGB(sh, ds, dl); return;
            case 35: destination = IEHSLToRGB(dh, ss, dl); return;
            case 36: destination = IEHSLToRGB(sh, ss, dl); return;
            default: destination = IEHSLToRGB(sh, ds, sl); return;
        }
    }
    destination.r = BlendChannel(source.r, destination.r, mode);
    destination.g = BlendChannel(source.g, destination.g, mode);
    destination.b = BlendChannel(source.b, destination.b, mode);
}

void TIEBitmap::RenderToTIEBitmap(TIEBitmap& destination, TIERenderTables* tables, const TRect* clip, int32_t dstX,
                                  int32_t dstY, int32_t dstW, int32_t dstH, int32_t srcX, int32_t srcY, int32_t srcW,
                                  int32_t srcH, bool useAlpha, bool reuseRows, int32_t transparency,
                                  TResampleFilter filter, bool freeTables, uint8_t blendMode) {
    TReadOnly readOnly(*this);
    if (destination.GetPixelFormat() != ie24RGB || IsEmpty() || &destination == this) return;
    const int32_t destWidth = destination.GetWidth(), destHeight = destination.GetHeight();
    if (dstW == 0 || dstH == 0 || srcW == 0 || srcH == 0 || dstY > destHeight - 1 || dstX > destWidth - 1) return;
    const double ry = static_cast<double>(srcH) / dstH, rx = static_cast<double>(srcW) / dstW;
    // Cut what lies outside the destination, moving the source edges in proportion.
    if (dstY < 0) {
        const int32_t k = -dstY, cut = static_cast<int32_t>(Trunc(k * ry));
        dstH -= k;
        srcY += cut;
        srcH -= cut;
        dstY = 0;
    }
    if (dstX < 0) {
        const int32_t k = -dstX, cut = static_cast<int32_t>(Trunc(k * rx));
        dstW -= k;
        srcX += cut;
        srcW -= cut;
        dstX = 0;
    }
    if (dstY + dstH > destHeight) {
        const int32_t k = dstY + dstH - destHeight;
        srcH -= static_cast<int32_t>(Trunc(k * ry));
        dstH = destHeight - dstY;
    }
    if (dstX + dstW > destWidth) {
        const int32_t k = dstX + dstW - destWidth;
        srcW -= static_cast<int32_t>(Trunc(k * rx));
        dstW = destWidth - dstX;
    }
    dstX = IEClamp(dstX, 0, destWidth - 1);
    dstY = IEClamp(dstY, 0, destHeight - 1);
    dstW = IEClamp(dstW, 0, destWidth);
    dstH = IEClamp(dstH, 0, destHeight);
    srcX = IEClamp(srcX, 0, GetWidth() - 1);
    srcY = IEClamp(srcY, 0, GetHeight() - 1);
    srcW = IEClamp(srcW, 0, GetWidth());
    srcH = IEClamp(srcH, 0, GetHeight());
    if (dstW == 0 || dstH == 0 || srcW == 0 || srcH == 0) return;

    const bool sourceAlpha = useAlpha && GetHasAlphaChannel();
    try {
        if (filter != rfNone && (srcW != dstW || srcH != dstH) &&
            (GetPixelFormat() == ie1g || GetPixelFormat() == ie24RGB)) {
            std::unique_ptr<TIEBitmap> zoomed;
            if (GetPixelFormat() == ie1g && srcW >= dstW && filter != rfProjectBW && filter != rfProjectWB &&
                !sourceAlpha) {
                zoomed = std::make_unique<TIEBitmap>(dstW, dstH, ie24RGB);
                IEStretchAverage(*this, srcX, srcY, srcX + srcW - 1, srcY + srcH - 1, *zoomed);
            } else {
                std::unique_ptr<TIEBitmap> crop = CropOf(*this, srcX, srcY, srcW, srcH, sourceAlpha);
                zoomed = Resampled(*crop, dstW, dstH, filter, sourceAlpha);
            }
            for (int i = 0; i < 4; ++i) zoomed->ChannelOffsets[i] = ChannelOffsets[i];
            zoomed->ChannelOffsetsEnabled = ChannelOffsetsEnabled;
            zoomed->Contrast = Contrast;
            TIERenderTables local;
            if (tables) local.Rows = tables->Rows;
            zoomed->RenderToTIEBitmap(destination, &local, clip, dstX, dstY, dstW, dstH, 0, 0, dstW, dstH, useAlpha,
                                      reuseRows, transparency, rfNone, true, blendMode);
            return;
        }

        // Every table is the caller's when given and fit for this geometry,
        // else built here.
        TIERenderTables local;
        TIERenderTables& use = tables ? *tables : local;
        const bool fileDestination = destination.GetLocation() == ieFile;
        bool builtRows = false, builtX = false, builtY = false;
        if (fileDestination || use.Rows.size() != static_cast<size_t>(destHeight)) {
            use.Rows.resize(static_cast<size_t>(destHeight));
            for (int32_t y = 0; y < destHeight; ++y)
                use.Rows[static_cast<size_t>(y)] = fileDestination ? destination.MapRow(y) : destination.GetScanline(y);
            builtRows = true;
        }
        struct TFinish {
            TIEBitmap& destination;
            bool file;
            ~TFinish() {
                if (file) destination.UnmapAllRows();
            }
        } finish{destination, fileDestination};

        TSpan span;
        const int32_t clipLeft = clip ? clip->Left : -kNoClip, clipTop = clip ? clip->Top : -kNoClip;
        const int32_t clipRight = clip ? clip->Right : kNoClip, clipBottom = clip ? clip->Bottom : kNoClip;
        span.FirstX = IEClamp(std::max(dstX, clipLeft), 0, destWidth - 1);
        span.LastX = IEClamp(std::min({dstX + dstW - 1, destWidth - 1, clipRight}), 0, destWidth - 1);
        span.FirstY = IEClamp(std::max(dstY, clipTop), 0, destHeight - 1);
        span.LastY = IEClamp(std::min({dstY + dstH - 1, destHeight - 1, clipBottom}), 0, destHeight - 1);
        if (span.LastX < span.FirstX || span.LastY < span.FirstY) return;

        const int32_t yStep = static_cast<int32_t>(Trunc(static_cast<double>(srcH) / dstH * 16384));
        const int32_t xStep = static_cast<int32_t>(Trunc(static_cast<double>(srcW) / dstW * 16384));
        const bool alphaInUse = sourceAlpha && !GetAlphaChannel()->FullOpacity();
        const bool straight = xStep == 16384 && yStep == 16384 && GetPixelFormat() == ie24RGB && transparency >= 255 &&
                              !alphaInUse && !ChannelOffsetsEnabled && Contrast == 0 && blendMode == 0;

        // Kept tables are indexed from the span's first column and row
        // counted from dstX and dstY; one too short for this span is rebuilt.
        std::vector<int32_t> xView, yView;
        if (!straight) {
            const size_t needX = static_cast<size_t>(span.LastX - dstX + 1), needY = static_cast<size_t>(span.LastY - dstY + 1);
            if (use.XTable.size() < needX) {
                use.XTable.resize(needX);
                for (int32_t x = dstX; x <= span.LastX; ++x)
                    use.XTable[static_cast<size_t>(x - dstX)] =
                        IEClamp(static_cast<int32_t>(Trunc((x - dstX) * rx + srcX)), 0, GetWidth() - 1);
                builtX = true;
            } else {
                while (span.LastX >= span.FirstX && use.XTable[static_cast<size_t>(span.LastX - dstX)] >= GetWidth()) --span.LastX;
            }
            if (use.YTable.size() < needY) {
                use.YTable.resize(needY);
                for (int32_t y = dstY; y <= span.LastY; ++y)
                    use.YTable[static_cast<size_t>(y - dstY)] =
                        IEClamp(static_cast<int32_t>(Trunc((y - dstY) * ry + srcY)), 0, GetHeight() - 1);
                builtY = true;
            } else {
                while (span.LastY >= span.FirstY && use.YTable[static_cast<size_t>(span.LastY - dstY)] >= GetHeight()) --span.LastY;
            }
            if (span.LastX < span.FirstX || span.LastY < span.FirstY) return;
        }

        TRenderJob job{};
        job.Source = this;
        job.Destination = &destination;
        job.Rows = use.Rows.data();
        job.XTable = straight ? nullptr : use.XTable.data() + (span.FirstX - dstX);
        job.YTable = straight ? nullptr : use.YTable.data() + (span.FirstY - dstY);
        job.Span = span;
        job.Straight = straight;
        job.SrcX = srcX;
        job.SrcY = srcY;
        job.DstX = dstX;
        job.DstY = dstY;
        job.AlphaVariant = transparency < 255 || alphaInUse;
        job.AlphaInUse = alphaInUse;
        job.Transparency = std::clamp(transparency, 0, 255);
        job.ReuseRows = reuseRows;
        job.BlendMode = blendMode;
        RunRenderer(job);

        if (freeTables || fileDestination) {
            if (builtRows || fileDestination) use.Rows.clear();
            if (builtX) use.XTable.clear();
            if (builtY) use.YTable.clear();
        }
    } catch (const std::exception&) {
        // Drawing never fails its caller: what was drawn stays.
    }
    UnmapAllRows();
}

void TIEBitmap::RenderToTBitmap(TBitmap& destination, TIERenderTables* tables, const TRect* clip, int32_t dstX,
                                int32_t dstY, int32_t dstW, int32_t dstH, int32_t srcX, int32_t srcY, int32_t srcW,
                                int32_t srcH, bool useAlpha, bool reuseRows, int32_t transparency,
                                TResampleFilter filter, bool freeTables, uint8_t blendMode) {
    TIEBitmap wrapper;
    wrapper.EncapsulateTBitmap(&destination, false);
    RenderToTIEBitmap(wrapper, tables, clip, dstX, dstY, dstW, dstH, srcX, srcY, srcW, srcH, useAlpha, reuseRows,
                      transparency, filter, freeTables, blendMode);
}

void TIEBitmap::DrawToTIEBitmap(TIEBitmap& destination, int32_t dstX, int32_t dstY, int32_t dstW, int32_t dstH,
                                int32_t srcX, int32_t srcY, int32_t srcW, int32_t srcH, int32_t transparency,
                                TResampleFilter filter, uint8_t blendMode) {
    RenderToTIEBitmap(destination, nullptr, nullptr, dstX, dstY, dstW, dstH, srcX, srcY, srcW, srcH, true, false,
                      transparency, filter, true, blendMode);
}

void TIEBitmap::DrawToTBitmap(TBitmap& destination, int32_t dstX, int32_t dstY, int32_t dstW, int32_t dstH, int32_t srcX,
                              int32_t srcY, int32_t srcW, int32_t srcH, int32_t transparency, TResampleFilter filter,
                              uint8_t blendMode) {
    RenderToTBitmap(destination, nullptr, nullptr, dstX, dstY, dstW, dstH, srcX, srcY, srcW, srcH, true, false,
                    transparency, filter, true, blendMode);
}

void TIEBitmap::StretchRectTo(TIEBitmap& destination, int32_t dstX, int32_t dstY, int32_t dstW, int32_t dstH,
                              int32_t srcX, int32_t srcY, int32_t srcW, int32_t srcH, TResampleFilter filter,
                              int32_t alpha) {
    TReadOnly readOnly(*this);
    if (destination.GetPixelFormat() != ie24RGB || IsEmpty() || &destination == this) return;
    try {
        if (filter != rfNone && (srcW != dstW || srcH != dstH)) {
            if (dstW < 1 || dstH < 1 || srcW < 1 || srcH < 1) return;
            // The source rectangle must lie inside the source.
            srcX = IEClamp(srcX, 0, GetWidth() - 1);
            srcY = IEClamp(srcY, 0, GetHeight() - 1);
            srcW = std::min(srcW, GetWidth() - srcX);
            srcH = std::min(srcH, GetHeight() - srcY);
            std::unique_ptr<TIEBitmap> zoomed;
            if (srcW < dstW || GetPixelFormat() != ie1g || GetHasAlphaChannel()) {
                std::unique_ptr<TIEBitmap> crop = CropOf(*this, srcX, srcY, srcW, srcH, GetHasAlphaChannel());
                zoomed = Resampled(*crop, dstW, dstH, filter, GetHasAlphaChannel());
            } else {
                zoomed = std::make_unique<TIEBitmap>(dstW, dstH, ie24RGB);
                IEStretchAverage(*this, srcX, srcY, srcX + srcW - 1, srcY + srcH - 1, *zoomed);
            }
            zoomed->StretchRectTo(destination, dstX, dstY, dstW, dstH, 0, 0, dstW, dstH, rfNone, alpha);
            return;
        }
        if (dstW == 0 || dstH == 0 || srcW <= 0 || srcH <= 0) return;
        const int32_t yStep = static_cast<int32_t>(Trunc(static_cast<double>(srcH) / dstH * 16384));
        const int32_t xStep = static_cast<int32_t>(Trunc(static_cast<double>(srcW) / dstW * 16384));
        const int32_t firstX = std::max(dstX, 0), lastX = std::min(dstX + dstW - 1, destination.GetWidth() - 1);
        const int32_t firstY = std::max(dstY, 0), lastY = std::min(dstY + dstH - 1, destination.GetHeight() - 1);
        if (lastX < firstX || lastY < firstY) return;
        const bool alphaInUse = GetHasAlphaChannel() && !GetAlphaChannel()->FullOpacity();
        // Source columns and rows of the span; entries stay inside the source.
        std::vector<int32_t> xTable(static_cast<size_t>(lastX - firstX + 1)), yTable(static_cast<size_t>(lastY - firstY + 1));
        for (int32_t x = firstX; x <= lastX; ++x)
            xTable[static_cast<size_t>(x - firstX)] =
                IEClamp(srcX + static_cast<int32_t>((int64_t{x - dstX} * xStep) >> 14), 0, GetWidth() - 1);
        for (int32_t y = firstY; y <= lastY; ++y)
            yTable[static_cast<size_t>(y - firstY)] =
                IEClamp(srcY + static_cast<int32_t>((int64_t{y - dstY} * yStep) >> 14), 0, GetHeight() - 1);
        const uint8_t cap = static_cast<uint8_t>(std::clamp(alpha, 0, 255));
        TIEBitmap* destinationAlpha = destination.GetAlphaChannel();
        if (alphaInUse) {
            TIEBitmap* sourceAlpha = GetAlphaChannel();
            std::vector<uint8_t> row;
            for (int32_t y = firstY; y <= lastY; ++y) {
                const uint8_t* in = sourceAlpha->GetScanline(yTable[static_cast<size_t>(y - firstY)]);
                row.assign(in, in + sourceAlpha->GetRowLen());
                uint8_t* out = destinationAlpha->GetScanline(y);
                for (int32_t x = firstX; x <= lastX; ++x)
                    out[x] = std::min(cap, row[static_cast<size_t>(xTable[static_cast<size_t>(x - firstX)])]);
            }
            destinationAlpha->UnmapAllRows();
            destinationAlpha->SetFullOpacity(false);
        } else {
            destinationAlpha->FillRect(firstX, firstY, lastX, lastY, cap);
        }
        const TIEPixelFormat format = GetPixelFormat();
        if (format != ie1g && format != ie24RGB) return;
        std::vector<uint8_t> row;
        for (int32_t y = firstY; y <= lastY; ++y) {
            const uint8_t* in = GetScanline(yTable[static_cast<size_t>(y - firstY)]);
            row.assign(in, in + GetRowLen());
            uint8_t* out = destination.GetScanline(y);
            for (int32_t x = firstX; x <= lastX; ++x) {
                const int32_t sx = xTable[static_cast<size_t>(x - firstX)];
                uint8_t* d = out + 3 * static_cast<size_t>(x);
                if (format == ie1g) {
                    std::memset(d, (row[static_cast<size_t>(sx >> 3)] & (0x80 >> (sx & 7))) ? 255 : 0, 3);
                } else {
                    std::memcpy(d, row.data() + 3 * static_cast<size_t>(sx), 3);
                }
            }
        }
        destination.UnmapAllRows();
    } catch (const std::exception&) {
        // Drawing never fails its caller.
    }
}

// ------------------------------------------------------------------ canvas helpers

void IEDraw3DFrame(TCanvas& canvas, int32_t left, int32_t top, int32_t right, int32_t bottom, TColor topLeftColor,
                   TColor bottomRightColor) {
    canvas.Pen.Mode = R2_COPYPEN;
    canvas.Pen.Style = PS_SOLID;
    canvas.Pen.Width = 1;
    canvas.Pen.Color = static_cast<uint32_t>(topLeftColor);
    canvas.MoveTo(left, bottom);
    canvas.LineTo(left, top);
    canvas.LineTo(right, top);
    canvas.Pen.Color = static_cast<uint32_t>(bottomRightColor);
    canvas.MoveTo(left, bottom);
    canvas.LineTo(right, bottom);
    canvas.LineTo(right, top);
}

void IEDraw3DFrame(TIECanvas& canvas, int32_t left, int32_t top, int32_t right, int32_t bottom, TColor topLeftColor,
                   TColor bottomRightColor) {
    canvas.Pen.SetMode(pmCopy);
    canvas.Pen.SetStyle(psSolid);
    canvas.Pen.SetWidth(1);
    canvas.Pen.SetColor(topLeftColor);
    canvas.MoveTo(left, bottom);
    canvas.LineTo(left, top);
    canvas.LineTo(right, top);
    canvas.Pen.SetColor(bottomRightColor);
    canvas.MoveTo(left, bottom);
    canvas.LineTo(right, bottom);
    canvas.LineTo(right, top);
}

void IEDrawTextBox(TCanvas& canvas, int32_t& x, int32_t& y, const std::string& text, const TCanvasFont& font,
                   const TCanvasBrush& brush, TBitmap& save, int32_t widthLimit, int32_t heightLimit,
                   TColor topLeftColor, TColor bottomRightColor) {
    canvas.Font = font;
    canvas.Brush = brush;
    const int32_t w = canvas.TextWidth(text) + 12, h = canvas.TextHeight(text) + 12;
    x = std::min(std::max(x, 0), widthLimit - w - 1);
    y = std::min(std::max(y, 0), heightLimit - h - 1);
    save.SetPixelFormat(TPixelFormat::pf24bit);
    save.SetSize(w, h);
    TCanvas saveCanvas(save);
    saveCanvas.CopyRect(TRect{0, 0, w, h}, canvas.Bitmap(), TRect{x, y, x + w, y + h});
    canvas.FillRect(TRect{x + 6, y + 6, x + w, y + h});
    IEDraw3DFrame(canvas, x + 6, y + 6, x + w - 1, y + h - 1, topLeftColor, bottomRightColor);
    canvas.TextOut(x + 9, y + 9, text);
}

void IEDrawHintBox(TCanvas& canvas, int32_t& x, int32_t& y, const std::string& text, const std::string& widthText) {
    TIECanvas ieCanvas(canvas);
    TCanvasFont& font = ieCanvas.GetFont();
    font.Name = "Arial";
    font.SetSize(9);
    font.Color = clBlack;
    ieCanvas.Brush.SetStyle(bsSolid);
    ieCanvas.Brush.SetColor(0x60FFFF);
    ieCanvas.Brush.SetTransparency(128);
    const int32_t w = std::max(ieCanvas.TextWidth(text), ieCanvas.TextWidth(widthText)) + 12;
    const int32_t h = ieCanvas.TextHeight(text) + 12;
    x = std::max(x, 0);
    y = std::max(y, 0);
    ieCanvas.FillRect(TRect{x + 6, y + 6, x + w, y + h});
    IEDraw3DFrame(ieCanvas, x + 6, y + 6, x + w - 1, y + h - 1, clWhite, 8421504);
    ieCanvas.Brush.SetStyle(bsClear);
    ieCanvas.TextOut(x + 9, y + 9, text);
}
