// TIEBitmap's whole-image pixel work: conversion between the eleven pixel
// formats, rectangle copies and moves, canvas resizing and single-pixel reads.
#include <algorithm>
#include <cstring>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_color_reduce.h"
#include "imaging/core/ie_dib_bitmap.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_mask.h"
#include "imaging/core/ie_quantizer.h"
#include "platform/mathutil.h"

namespace {

// Ordered-dither matrix, first index x mod 8, second y mod 8.
constexpr uint8_t kDither[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26}, {12, 44, 4, 36, 14, 46, 6, 38},
    {60, 28, 52, 20, 62, 30, 54, 22}, {3, 35, 11, 43, 1, 33, 9, 41},   {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37},  {63, 31, 55, 23, 61, 29, 53, 21},
};

int32_t Gray8(TRGB c) { return IERGBToGray(c); }
uint16_t Gray16(TRGB c) { return static_cast<uint16_t>((c.r * 54484 + c.g * 183241 + c.b * 19275) / 1000); }
float GrayF(TRGB c) { return static_cast<float>((c.r * 0.2126 + c.g * 0.7152 + c.b * 0.0722) / 255); }

uint16_t Word(const uint8_t* p) {
    uint16_t w;
    std::memcpy(&w, p, 2);
    return w;
}
void PutWord(uint8_t* p, uint16_t w) { std::memcpy(p, &w, 2); }
float Float(const uint8_t* p) {
    float f;
    std::memcpy(&f, p, 4);
    return f;
}
void PutFloat(uint8_t* p, float f) { std::memcpy(p, &f, 4); }
void PutRGB48(uint8_t* p, uint16_t r, uint16_t g, uint16_t b) {
    PutWord(p, r);
    PutWord(p + 2, g);
    PutWord(p + 4, b);
}
void SetBit(uint8_t* row, int32_t x, bool on) {
    auto mask = static_cast<uint8_t>(0x80 >> (x & 7));
    if (on)
        row[x >> 3] |= mask;
    else
        row[x >> 3] &= static_cast<uint8_t>(~mask);
}
bool GetBit(const uint8_t* row, int32_t x) { return (row[x >> 3] & (0x80 >> (x & 7))) != 0; }
// Float values are not clamped: the low byte or word of the truncation.
uint8_t TruncByte(double v) { return static_cast<uint8_t>(Trunc(v)); }
uint16_t TruncWord(double v) { return static_cast<uint16_t>(Trunc(v)); }

// Formats whose conversions to target go through ie24RGB first.
bool NeedsVia24(TIEPixelFormat source, TIEPixelFormat target) {
    if (source == ie24RGB || target == ie24RGB) return false;
    switch (source) {
        case ieCMYK: return target != ie32RGB;
        case ieCIELab: return target != ie32RGB;
        case ie32RGB: return true;
        case ieRGB48: return target == ie8p || target == ieCMYK || target == ieCIELab;
        default: return target == ieCMYK || target == ieCIELab;
    }
}

// The 0 .. 63 level an ordered dither compares with the matrix.
int32_t DitherLevel(TIEBitmap& source, const uint8_t* row, int32_t x) {
    switch (source.GetPixelFormat()) {
        case ie8g: return row[x] / 4;
        case ie16g: return Word(row + 2 * x) >> 10;
        case ie32f: return std::clamp(static_cast<int32_t>(Trunc(Float(row + 4 * x) * 64.0)), 0, 63);
        case ieRGB48: {
            const uint8_t* p = row + 6 * x;
            return ((p[1]) * IEGrayWeights[0] + (p[3]) * IEGrayWeights[1] + (p[5]) * IEGrayWeights[2]) / 100 / 4;
        }
        default: return Gray8(IERowPixelRGB(source, row, x)) / 4;
    }
}

void SetGrayRamp(TIEBitmap& bitmap) {
    for (int32_t i = 0; i < 256; ++i) {
        auto v = static_cast<uint8_t>(i);
        bitmap.SetPaletteColor(i, TRGB{v, v, v});
    }
}

// Writes one pixel of colour c in the target format (the ie24RGB rules).
void PutFromRGB(TIEPixelFormat target, uint8_t* row, int32_t x, TRGB c) {
    switch (target) {
        case ie8g: row[x] = static_cast<uint8_t>(Gray8(c)); break;
        case ie16g: PutWord(row + 2 * x, Gray16(c)); break;
        case ie32f: PutFloat(row + 4 * x, GrayF(c)); break;
        case ie24RGB: std::memcpy(row + 3 * x, &c, 3); break;
        case ie32RGB: {
            uint8_t* p = row + 4 * x;
            std::memcpy(p, &c, 3);
            p[3] = 255;
            break;
        }
        case ieCMYK: {
            uint32_t cmyk = IERGBToCMYK(IERGBToDWord(c));
            std::memcpy(row + 4 * x, &cmyk, 4);
            break;
        }
        case ieRGB48: PutRGB48(row + 6 * x, static_cast<uint16_t>(c.r * 257), static_cast<uint16_t>(c.g * 257),
                               static_cast<uint16_t>(c.b * 257));
            break;
        case ieCIELab: IERGB2CIELab(c, row + 3 * x); break;
        default: break;
    }
}

}  // namespace

TRGB IERowPixelRGB(TIEBitmap& bitmap, const uint8_t* row, int32_t x) {
    switch (bitmap.GetPixelFormat()) {
        case ie1g: return GetBit(row, x) ? TRGB{255, 255, 255} : TRGB{};
        case ie8p: return bitmap.GetPaletteColor(row[x]);
        case ie8g: return TRGB{row[x], row[x], row[x]};
        case ie16g: {
            auto v = static_cast<uint8_t>(Word(row + 2 * x) >> 8);
            return TRGB{v, v, v};
        }
        case ie24RGB: return TRGB{row[3 * x], row[3 * x + 1], row[3 * x + 2]};
        case ie32RGB: return TRGB{row[4 * x], row[4 * x + 1], row[4 * x + 2]};
        case ie32f: {
            uint8_t v = TruncByte(Float(row + 4 * x) * 255.0);
            return TRGB{v, v, v};
        }
        case ieCMYK: return IECMYKToRGB(row + 4 * x);
        case ieRGB48: {
            const uint8_t* p = row + 6 * x;
            return IECreateRGB(p[1], p[3], p[5]);
        }
        case ieCIELab: return IECIELab2RGB(row + 3 * x);
        default: return TRGB{};
    }
}

void TIEBitmap::SetPixelFormat(TIEPixelFormat format) {
    if (format != GetPixelFormat()) ConvertToPixelFormat(format);
}

void TIEBitmap::ConvertToPixelFormat(TIEPixelFormat format) {
    if (location_ == ieTBitmap) {
        ConvertTBitmapTo(format);
        return;
    }
    TIEBitmap old;
    MoveContentTo(old);
    width_ = old.width_;
    height_ = old.height_;
    pixelFormat_ = format;
    AllocateStorage();
    if (old.pixelFormat_ != ienull) CopyAndConvertFormat(old);
    // The alpha channel travelled through old; it comes back whatever the
    // source format was, so nothing is lost or left behind.
    if (old.alphaChannel_) alphaChannel_ = std::move(old.alphaChannel_);
}

// The toolkit bitmap takes only the pairs it can hold (1 to 24 bits, 24 to 1
// and to 8-bit gray); any other pair leaves it, and so this bitmap, as it was.
void TIEBitmap::ConvertTBitmapTo(TIEPixelFormat format) {
    if (!vclBitmap_) return;
    const TPixelFormat vcl = vclBitmap_->PixelFormat();
    if (vclBitmap_->Empty()) {
        if (format == ie1g) vclBitmap_->SetPixelFormat(TPixelFormat::pf1bit);
        if (format == ie24RGB) vclBitmap_->SetPixelFormat(TPixelFormat::pf24bit);
    } else if (vcl == TPixelFormat::pf1bit && format == ie24RGB) {
        std::unique_ptr<TBitmap> clone = IECloneTBitmap(*vclBitmap_);
        TIEProgressRec progress;
        IETBitmap1To24(*clone, *vclBitmap_, progress);
    } else if (vcl == TPixelFormat::pf24bit && (format == ie1g || format == ie8g)) {
        // Converted in memory by the usual rules, then taken back: the
        // toolkit bitmap becomes 1 or 8 bits and the alpha channel stays.
        TIEBitmap work;
        work.location_ = ieMemory;
        work.BilevelMethod = BilevelMethod;
        work.AssignImage(*this);
        work.SetPixelFormat(format);
        AssignImage(work);
    }
    SyncFromTBitmap();
    BuildRowCache();
}

void TIEBitmap::CopyAndConvertFormat(TIEBitmap& source) {
    if (source.width_ != width_ || source.height_ != height_ || location_ == ieTBitmap) return;
    const TIEPixelFormat target = pixelFormat_;
    if (source.pixelFormat_ != ienull && source.pixelFormat_ != target) {
        if (NeedsVia24(source.pixelFormat_, target) ||
            (target == ie1g && source.pixelFormat_ == ieRGB48 && BilevelMethod == 1))
            source.ConvertToPixelFormat(ie24RGB);
        const TIEPixelFormat from = source.pixelFormat_;
        if (target == ie1g) {
            if (BilevelMethod == 1) {
                TIEProgressRec progress;
                IEThresholdToBW(source, *this, -1, progress);
            } else if (BilevelMethod == 0) {
                for (int32_t y = 0; y < height_; ++y) {
                    const uint8_t* in = source.GetScanline(y);
                    uint8_t* out = GetScanline(y);
                    for (int32_t x = 0; x < width_; ++x)
                        SetBit(out, x, DitherLevel(source, in, x) > kDither[x & 7][y & 7]);
                }
            }
        } else if (target == ie8p && from == ie24RGB) {
            QuantizeFrom(source);
        } else {
            if (target == ie8p && from == ie1g) {
                SetPaletteColor(0, TRGB{0, 0, 0});
                SetPaletteColor(1, TRGB{255, 255, 255});
            } else if (target == ie8p && from != ie8p) {
                SetGrayRamp(*this);
            }
            for (int32_t y = 0; y < height_; ++y) {
                const uint8_t* in = source.GetScanline(y);
                uint8_t* out = GetScanline(y);
                ConvertRow(source, in, out);
            }
        }
        source.UnmapAllRows();
        UnmapAllRows();
    }
    // An alpha channel this bitmap had is freed by the move.
    alphaChannel_ = std::move(source.alphaChannel_);
    UpdateTBitmapPalette();
}

void TIEBitmap::ConvertRow(TIEBitmap& source, const uint8_t* in, uint8_t* out) {
    const TIEPixelFormat from = source.pixelFormat_;
    const TIEPixelFormat target = pixelFormat_;
    const int32_t w = width_;
    if (from == ie8g && target == ie8p) {
        std::memcpy(out, in, static_cast<size_t>(std::min(rowLen_, source.rowLen_)));
        return;
    }
    for (int32_t x = 0; x < w; ++x) {
        switch (from) {
            case ie1g: {
                bool on = GetBit(in, x);
                switch (target) {
                    case ie8p: out[x] = on ? 1 : 0; break;
                    case ie16g: PutWord(out + 2 * x, on ? 65535 : 0); break;
                    case ie32f: PutFloat(out + 4 * x, on ? 1.0f : 0.0f); break;
                    default: PutFromRGB(target, out, x, on ? TRGB{255, 255, 255} : TRGB{}); break;
                }
                break;
            }
            case ie8g: {
                uint8_t v = in[x];
                switch (target) {
                    case ie16g: PutWord(out + 2 * x, static_cast<uint16_t>(v * 257)); break;
                    case ie32f: PutFloat(out + 4 * x, static_cast<float>(v / 255.0)); break;
                    default: PutFromRGB(target, out, x, TRGB{v, v, v}); break;
                }
                break;
            }
            case ie16g: {
                uint16_t v = Word(in + 2 * x);
                auto hi = static_cast<uint8_t>(v >> 8);
                switch (target) {
                    case ie8p:
                    case ie8g: out[x] = hi; break;
                    case ie32f: PutFloat(out + 4 * x, static_cast<float>(v / 65535.0)); break;
                    case ieRGB48: PutRGB48(out + 6 * x, v, v, v); break;
                    default: PutFromRGB(target, out, x, TRGB{hi, hi, hi}); break;
                }
                break;
            }
            case ie32f: {
                double f = Float(in + 4 * x);
                switch (target) {
                    case ie8p:
                    case ie8g: out[x] = TruncByte(f * 255); break;
                    case ie16g: PutWord(out + 2 * x, TruncWord(f * 65535)); break;
                    case ieRGB48: {
                        uint16_t v = TruncWord(f * 65535);
                        PutRGB48(out + 6 * x, v, v, v);
                        break;
                    }
                    default: {
                        uint8_t v = TruncByte(f * 255);
                        PutFromRGB(target, out, x, TRGB{v, v, v});
                        break;
                    }
                }
                break;
            }
            case ieRGB48: {
                uint16_t r = Word(in + 6 * x), g = Word(in + 6 * x + 2), b = Word(in + 6 * x + 4);
                switch (target) {
                    case ie8g:
                        out[x] = static_cast<uint8_t>(
                            ((r / 256) * IEGrayWeights[0] + (g / 256) * IEGrayWeights[1] + (b / 256) * IEGrayWeights[2]) /
                            100);
                        break;
                    case ie16g: PutWord(out + 2 * x, static_cast<uint16_t>((r * 212 + g * 713 + b * 75) / 1000)); break;
                    case ie32f:
                        PutFloat(out + 4 * x, static_cast<float>((r * 0.2126 / 256 + g * 0.7152 / 256 + b * 0.0722 / 256) / 255));
                        break;
                    default:
                        PutFromRGB(target, out, x, IECreateRGB(static_cast<uint8_t>(r >> 8), static_cast<uint8_t>(g >> 8),
                                                               static_cast<uint8_t>(b >> 8)));
                        break;
                }
                break;
            }
            default: {
                // ie8p, ie24RGB, ie32RGB, ieCMYK, ieCIELab: through the colour.
                TRGB c = IERowPixelRGB(source, in, x);
                if (from == ie8p && target == ie16g)
                    PutWord(out + 2 * x, Gray16(c));
                else
                    PutFromRGB(target, out, x, c);
                break;
            }
        }
    }
}

// ie24RGB to ie8p through a quantizer of PaletteColors colours; all 256
// entries become the palette.
void TIEBitmap::QuantizeFrom(TIEBitmap& source) {
    TRGB palette[256] = {};
    for (int32_t i = 0; i < 256; ++i) source.GetPaletteColor(i, palette[i]);
    TIEQuantizer quantizer(source, palette, std::clamp(PaletteColors, 1, 256));
    for (int32_t i = 0; i < 256; ++i) SetPaletteColor(i, palette[i]);
    for (int32_t y = 0; y < height_; ++y) {
        const uint8_t* in = source.GetScanline(y);
        uint8_t* out = GetScanline(y);
        for (int32_t x = 0; x < width_; ++x)
            out[x] = static_cast<uint8_t>(std::max(quantizer.ColorIndex(TRGB{in[3 * x], in[3 * x + 1], in[3 * x + 2]}), 0));
    }
}

bool TIEBitmap::ClipCopy(TIEBitmap& destination, int32_t& srcX, int32_t& srcY, int32_t& dstX, int32_t& dstY,
                         int32_t& width, int32_t& height) {
    if (IsEmpty() || destination.IsEmpty()) return false;
    if (dstX < 0) {
        srcX -= dstX;
        width += dstX;
        dstX = 0;
    }
    if (dstY < 0) {
        srcY -= dstY;
        height += dstY;
        dstY = 0;
    }
    dstX = std::min(dstX, destination.width_ - 1);
    dstY = std::min(dstY, destination.height_ - 1);
    srcX = std::min(std::max(srcX, 0), width_ - 1);
    srcY = std::min(std::max(srcY, 0), height_ - 1);
    width = std::min({width, width_ - srcX, destination.width_ - dstX});
    height = std::min({height, height_ - srcY, destination.height_ - dstY});
    return width > 0 && height > 0;
}

void TIEBitmap::CopyRectTo(TIEBitmap& destination, int32_t srcX, int32_t srcY, int32_t dstX, int32_t dstY,
                           int32_t width, int32_t height) {
    if (!ClipCopy(destination, srcX, srcY, dstX, dstY, width, height)) return;
    const TIEPixelFormat from = pixelFormat_, to = destination.pixelFormat_;
    const bool bothBits = from == ie1g && to == ie1g;
    const bool bitsToRGB = from == ie1g && to == ie24RGB;
    // ie32RGB copies its four bytes too: nothing useful is gained by refusing.
    const bool same = from == to && from != ie1g && from != ienull;
    if (!bothBits && !bitsToRGB && !same) return;
    const size_t bytes = static_cast<size_t>(IEBitsPerPixel[from] / 8);
    std::vector<uint8_t> buffer(static_cast<size_t>(rowLen_));
    for (int32_t r = 0; r < height; ++r) {
        // A copy of the row, so both bitmaps may be file-backed or the same.
        std::memcpy(buffer.data(), GetScanline(srcY + r), buffer.size());
        uint8_t* out = destination.GetScanline(dstY + r);
        if (bothBits)
            IECopyBits(out, buffer.data(), dstX, rowLen_, width, srcX);
        else if (bitsToRGB)
            for (int32_t x = 0; x < width; ++x)
                std::memset(out + 3 * (dstX + x), GetBit(buffer.data(), srcX + x) ? 255 : 0, 3);
        else
            std::memmove(out + bytes * static_cast<size_t>(dstX), buffer.data() + bytes * static_cast<size_t>(srcX),
                         bytes * static_cast<size_t>(width));
        if (destination.location_ == ieFile) destination.UnmapAllRows();
    }
    UnmapAllRows();
}

void TIEBitmap::FillRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, double value) {
    x1 = std::max(x1, 0);
    y1 = std::max(y1, 0);
    x2 = std::min(x2, width_ - 1);
    y2 = std::min(y2, height_ - 1);
    if (y2 < y1 || x2 < x1 || IsEmpty()) return;
    auto v = static_cast<int32_t>(Trunc(value));
    TRGB c = IEColorToRGB(static_cast<TColor>(v));
    for (int32_t y = y1; y <= y2; ++y) {
        uint8_t* row = GetScanline(y);
        for (int32_t x = x1; x <= x2; ++x) {
            switch (pixelFormat_) {
                case ie1g: SetBit(row, x, v != 0); break;
                case ie8p:
                case ie8g: row[x] = static_cast<uint8_t>(v); break;
                case ie16g: PutWord(row + 2 * x, static_cast<uint16_t>(v)); break;
                case ie32f: PutFloat(row + 4 * x, static_cast<float>(v)); break;
                case ie32RGB: std::memcpy(row + 4 * x, &c, 3); break;
                default: PutFromRGB(pixelFormat_, row, x, c); break;
            }
        }
    }
    UnmapAllRows();
}

void TIEBitmap::MoveRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t dstX, int32_t dstY, double fill) {
    if (x2 < x1 || y2 < y1) return;
    TIEBitmap temporary(x2 - x1 + 1, y2 - y1 + 1, pixelFormat_);
    CopyRectTo(temporary, x1, y1, 0, 0, temporary.width_, temporary.height_);
    FillRect(x1, y1, x2, y2, fill);
    temporary.CopyRectTo(*this, 0, 0, dstX, dstY, temporary.width_, temporary.height_);
}

void TIEBitmap::Resize(int32_t newWidth, int32_t newHeight, double background, int32_t alphaFill,
                       uint8_t horizontalAlign, uint8_t verticalAlign) {
    const int32_t oldWidth = width_, oldHeight = height_;
    ResizeShiftShrunk(newWidth, newHeight, background, horizontalAlign, verticalAlign);
    if (alphaChannel_)
        alphaChannel_->ResizeShiftShrunk(newWidth, newHeight, alphaFill, horizontalAlign, verticalAlign);
    SetWidth(newWidth);
    SetHeight(newHeight);
    ResizeFillGrown(oldWidth, oldHeight, background, horizontalAlign, verticalAlign);
    if (alphaChannel_) alphaChannel_->ResizeFillGrown(oldWidth, oldHeight, alphaFill, horizontalAlign, verticalAlign);
}

void TIEBitmap::ResizeShiftShrunk(int32_t nw, int32_t nh, double fill, uint8_t ha, uint8_t va) {
    if (nw < width_) {
        int32_t d = (width_ - nw) / 2;
        if (ha == 1) MoveRect(d, 0, nw + d - 1, height_ - 1, 0, 0, fill);
        if (ha == 2) MoveRect(width_ - nw, 0, width_ - 1, height_ - 1, 0, 0, fill);
    }
    if (nh < height_) {
        int32_t d = (height_ - nh) / 2;
        if (va == 1) MoveRect(0, d, width_ - 1, nh + d - 1, 0, 0, fill);
        if (va == 2) MoveRect(0, height_ - nh, width_ - 1, height_ - 1, 0, 0, fill);
    }
}

void TIEBitmap::ResizeFillGrown(int32_t ow, int32_t oh, double fill, uint8_t ha, uint8_t va) {
    if (ow < width_) {
        FillRect(ow, 0, width_ - 1, height_ - 1, fill);
        if (ha == 1) MoveRect(0, 0, ow - 1, oh - 1, (width_ - ow) / 2, 0, fill);
        if (ha == 2) MoveRect(0, 0, ow - 1, oh - 1, width_ - ow, 0, fill);
    }
    if (oh < height_) {
        FillRect(0, oh, width_ - 1, height_ - 1, fill);
        if (va == 1) MoveRect(0, 0, width_ - 1, oh - 1, 0, (height_ - oh) / 2, fill);
        if (va == 2) MoveRect(0, 0, width_ - 1, oh - 1, 0, height_ - oh, fill);
    }
}

TRGB TIEBitmap::GetPixelRGB(int32_t x, int32_t y) {
    if (pixelFormat_ == ienull) return TRGB{};
    TRGB c = IERowPixelRGB(*this, GetScanline(y), x);
    UnmapAllRows();
    return c;
}

// ---------------------------------------------------------------- alpha and single pixels

void TIEBitmap::MergeAlphaRectTo(TIEBitmap& destination, int32_t srcX, int32_t srcY, int32_t dstX, int32_t dstY,
                                 int32_t width, int32_t height) {
    TIEBitmap* from = isAlpha_ ? this : GetAlphaChannel();
    TIEBitmap* to = destination.isAlpha_ ? &destination : destination.GetAlphaChannel();
    if (!from || !to || from->pixelFormat_ != ie8g || to->pixelFormat_ != ie8g) return;
    if (!from->ClipCopy(*to, srcX, srcY, dstX, dstY, width, height)) return;
    std::vector<uint8_t> buffer(static_cast<size_t>(width));
    for (int32_t r = 0; r < height; ++r) {
        std::memcpy(buffer.data(), from->GetScanline(srcY + r) + srcX, buffer.size());
        uint8_t* out = to->GetScanline(dstY + r) + dstX;
        for (int32_t x = 0; x < width; ++x) out[x] = std::max(out[x], buffer[static_cast<size_t>(x)]);
        to->UnmapAllRows();
    }
    from->UnmapAllRows();
    // A merge can only raise bytes, so a full channel stays full; one that was
    // not full may have become so, which the flag need not promise.
}

uint8_t TIEBitmap::GetAlpha(int32_t x, int32_t y) {
    TIEBitmap* alpha = isAlpha_ ? this : GetAlphaChannel();
    uint8_t value = alpha->GetScanline(y)[x];
    alpha->UnmapAllRows();
    return value;
}

void TIEBitmap::SetAlpha(int32_t x, int32_t y, uint8_t value) {
    TIEBitmap* alpha = isAlpha_ ? this : GetAlphaChannel();
    alpha->GetScanline(y)[x] = value;
    alpha->UnmapAllRows();
    if (value != 255) {
        alpha->fullOpacity_ = false;
        fullOpacity_ = false;
    }
}

void TIEBitmap::SetPixelByte(int32_t x, int32_t y, uint8_t value) {
    GetScanline(y)[x] = value;
    if (value != 255) fullOpacity_ = false;
}

uint16_t TIEBitmap::GetPixelWord(int32_t x, int32_t y) { return Word(GetScanline(y) + 2 * static_cast<size_t>(x)); }

void TIEBitmap::SetPixelWord(int32_t x, int32_t y, uint16_t value) {
    PutWord(GetScanline(y) + 2 * static_cast<size_t>(x), value);
    if (value != 65535) fullOpacity_ = false;
}

float TIEBitmap::GetPixelFloat(int32_t x, int32_t y) { return Float(GetScanline(y) + 4 * static_cast<size_t>(x)); }

void TIEBitmap::SetPixelFloat(int32_t x, int32_t y, float value) {
    PutFloat(GetScanline(y) + 4 * static_cast<size_t>(x), value);
    if (value < 1.0f) fullOpacity_ = false;
}

uint32_t TIEBitmap::GetPixelCMYK(int32_t x, int32_t y) {
    uint32_t value;
    std::memcpy(&value, GetScanline(y) + 4 * static_cast<size_t>(x), 4);
    return value;
}

void TIEBitmap::SetPixelCMYK(int32_t x, int32_t y, uint32_t value) {
    std::memcpy(GetScanline(y) + 4 * static_cast<size_t>(x), &value, 4);
}

TRGB TIEBitmap::GetPixelTRGB(int32_t x, int32_t y) {
    TRGB value;
    std::memcpy(&value, GetPixelTRGBPtr(x, y), 3);
    return value;
}

void TIEBitmap::SetPixelTRGB(int32_t x, int32_t y, TRGB value) { std::memcpy(GetPixelTRGBPtr(x, y), &value, 3); }

void TIEBitmap::GetPixelRGB48(int32_t x, int32_t y, uint16_t rgb[3]) {
    const uint8_t* p = GetScanline(y) + 6 * static_cast<size_t>(x);
    for (int i = 0; i < 3; ++i) rgb[i] = Word(p + 2 * i);
}

void TIEBitmap::SetPixelRGB48(int32_t x, int32_t y, const uint16_t rgb[3]) {
    PutRGB48(GetScanline(y) + 6 * static_cast<size_t>(x), rgb[0], rgb[1], rgb[2]);
    if (rgb[0] != 65535 || rgb[1] != 65535 || rgb[2] != 65535) fullOpacity_ = false;
}

// ---------------------------------------------------------------- import

void TIEBitmap::CopyFromTBitmap(const TBitmap& bitmap) {
    if (location_ == ieTBitmap) {
        if (!vclBitmap_) {
            ownedVclBitmap_ = std::make_unique<TBitmap>();
            vclBitmap_ = ownedVclBitmap_.get();
            vclBitmapBorrowed_ = false;
        }
        IECopyTBitmap(bitmap, *vclBitmap_);
        width_ = vclBitmap_->Width();
        height_ = vclBitmap_->Height();
        switch (vclBitmap_->PixelFormat()) {
            case TPixelFormat::pf1bit: pixelFormat_ = ie1g; break;
            case TPixelFormat::pf24bit: pixelFormat_ = ie24RGB; break;
            case TPixelFormat::pf32bit: pixelFormat_ = ie32RGB; break;
            default: break;  // settled by SyncFromTBitmap
        }
        RefreshFormatInfo();
        BuildRowCache();
        return;
    }
    const int32_t w = bitmap.Width(), h = bitmap.Height();
    const TPixelFormat vcl = bitmap.PixelFormat();
    TIEPixelFormat format;
    switch (vcl) {
        case TPixelFormat::pf1bit: format = bitmap.Monochrome() ? ie1g : ie8p; break;
        case TPixelFormat::pf4bit:
        case TPixelFormat::pf8bit: format = ie8p; break;
        case TPixelFormat::pf15bit:
        case TPixelFormat::pf16bit:
        case TPixelFormat::pf24bit: format = ie24RGB; break;
        case TPixelFormat::pf32bit: format = ie32RGB; break;
        default: return;
    }
    if (!Allocate(w, h, format)) return;
    if (format == ie8p) {
        TPaletteEntry entries[256];
        int n = bitmap.GetPaletteEntries(0, 256, entries);
        for (int i = 0; i < n; ++i) SetPaletteColor(i, IECreateRGB(entries[i].peRed, entries[i].peGreen, entries[i].peBlue));
    }
    const auto bytes = static_cast<size_t>(std::min(rowLen_, IEVclRowLen(w, vcl)));
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* in = bitmap.ScanLine(y);
        uint8_t* out = GetScanline(y);
        switch (vcl) {
            case TPixelFormat::pf1bit:
                if (format == ie1g) std::memcpy(out, in, bytes);
                else for (int32_t x = 0; x < w; ++x) out[x] = GetBit(in, x) ? 1 : 0;
                break;
            case TPixelFormat::pf4bit:
                for (int32_t x = 0; x < w; ++x)
                    out[x] = static_cast<uint8_t>((x & 1) ? in[x >> 1] & 15 : in[x >> 1] >> 4);
                break;
            case TPixelFormat::pf15bit:
            case TPixelFormat::pf16bit:
                for (int32_t x = 0; x < w; ++x) {
                    const uint16_t v = Word(in + 2 * x);
                    TRGB c = vcl == TPixelFormat::pf15bit
                                 ? IECreateRGB(static_cast<uint8_t>(((v >> 10) & 31) << 3),
                                               static_cast<uint8_t>(((v >> 5) & 31) << 3), static_cast<uint8_t>((v & 31) << 3))
                                 : IECreateRGB(static_cast<uint8_t>((v >> 11) << 3), static_cast<uint8_t>(((v >> 5) & 63) << 2),
                                               static_cast<uint8_t>((v & 31) << 3));
                    std::memcpy(out + 3 * x, &c, 3);
                }
                break;
            default: std::memcpy(out, in, bytes); break;
        }
    }
    UnmapAllRows();
    fullOpacity_ = false;
}

void TIEBitmap::CopyFromTIEMask(TIEMask* mask) {
    if (!mask) {
        Fill(255.0);
        return;
    }
    const int32_t bits = mask->BitsPerPixel();
    if (bits != 1 && bits != 8) return;
    if (!Allocate(mask->Width(), mask->Height(), bits == 1 ? ie1g : ie8g)) return;
    const auto bytes = static_cast<size_t>(std::min(rowLen_, mask->RowLen()));
    for (int32_t y = 0; y < height_; ++y) std::memcpy(GetScanline(y), mask->GetScanline(y), bytes);
    UnmapAllRows();
    fullOpacity_ = mask->Full();
}

void TIEBitmap::CopyFromDibBitmap(TIEDibbitmap* dib) {
    if (!dib || !dib->Bits) return;
    const TIEPixelFormat format = dib->BitCount == 1 ? ie1g : dib->BitCount == 8 ? ie8g : ie24RGB;
    if (dib->BitCount != 1 && dib->BitCount != 8 && dib->BitCount != 24) return;
    if (location_ == ieTBitmap) {
        if (format == ie8g) return;  // the toolkit side takes 1 and 24 bits only
        if (!vclBitmap_) {
            ownedVclBitmap_ = std::make_unique<TBitmap>();
            vclBitmap_ = ownedVclBitmap_.get();
            vclBitmapBorrowed_ = false;
        }
        vclBitmap_->SetSize(1, 1);
        vclBitmap_->SetPixelFormat(format == ie1g ? TPixelFormat::pf1bit : TPixelFormat::pf24bit);
        vclBitmap_->SetSize(dib->Width, dib->Height);
        width_ = dib->Width;
        height_ = dib->Height;
        pixelFormat_ = format;
        RefreshFormatInfo();
        BuildRowCache();
    } else if (!Allocate(dib->Width, dib->Height, format)) {
        return;
    }
    const auto bytes = static_cast<size_t>(std::min(rowLen_, dib->RowLen));
    for (int32_t y = 0; y < height_; ++y) std::memcpy(GetScanline(y), dib->GetScanline(y), bytes);
    UnmapAllRows();
}

void IECopyBitmapToMask(TIEBitmap& bitmap, TIEMask& mask) {
    const TIEPixelFormat format = bitmap.GetPixelFormat();
    const int32_t w = bitmap.GetWidth(), h = bitmap.GetHeight();
    if (format == ie1g || format == ie8g) {
        mask.AllocateBits(w, h, format == ie1g ? 1 : 8);
        const auto bytes = static_cast<size_t>(std::min(bitmap.GetRowLen(), mask.RowLen()));
        for (int32_t y = 0; y < h; ++y) std::memcpy(mask.GetScanline(y), bitmap.GetScanline(y), bytes);
        mask.SetFull(bitmap.FullOpacity());
    } else if (format == ie24RGB) {
        mask.AllocateBits(w, h, 8);
        for (int32_t y = 0; y < h; ++y) {
            const uint8_t* in = bitmap.GetScanline(y);
            uint8_t* out = mask.GetScanline(y);
            for (int32_t x = 0; x < w; ++x) out[x] = static_cast<uint8_t>(Gray8(TRGB{in[3 * x], in[3 * x + 1], in[3 * x + 2]}) / 4);
        }
    } else {
        return;
    }
    bitmap.UnmapAllRows();
}

// ---------------------------------------------------------------- scans

void IEUpdateAlphaFullFlag(TIEBitmap& bitmap) {
    const auto bytes = static_cast<size_t>(IEBitmapRowLen(bitmap.GetWidth(), bitmap.GetBitCount(), 8));
    bool full = true;
    for (int32_t y = 0; full && y < bitmap.GetHeight(); ++y) {
        const uint8_t* row = bitmap.GetScanline(y);
        full = std::all_of(row, row + bytes, [](uint8_t b) { return b == 255; });
    }
    bitmap.UnmapAllRows();
    bitmap.SetFullOpacity(full);
}

bool IEIsBitmapZero(TIEBitmap& bitmap) {
    const auto bytes = static_cast<size_t>(bitmap.GetRowLen());
    bool zero = true;
    for (int32_t y = 0; zero && y < bitmap.GetHeight(); ++y) {
        const uint8_t* row = bitmap.GetScanline(y);
        zero = std::all_of(row, row + bytes, [](uint8_t b) { return b == 0; });
    }
    bitmap.UnmapAllRows();
    return zero;
}

bool IEIsGrayBitmap(TIEBitmap& bitmap) {
    const TIEPixelFormat format = bitmap.GetPixelFormat();
    if (format == ie8p) {
        for (int32_t i = 0; i < bitmap.GetPaletteLen(); ++i) {
            TRGB c = bitmap.GetPaletteColor(i);
            if (c.r != c.g || c.g != c.b) return false;
        }
        return true;
    }
    if (format != ie24RGB && format != ieRGB48) return true;
    const int32_t w = bitmap.GetWidth();
    bool gray = true;
    for (int32_t y = 0; gray && y < bitmap.GetHeight(); ++y) {
        const uint8_t* row = bitmap.GetScanline(y);
        for (int32_t x = 0; gray && x < w; ++x) {
            if (format == ie24RGB) {
                const uint8_t* p = row + 3 * x;
                gray = p[0] == p[1] && p[1] == p[2];
            } else {
                const uint8_t* p = row + 6 * x;
                gray = Word(p) == Word(p + 2) && Word(p + 2) == Word(p + 4);
            }
        }
    }
    bitmap.UnmapAllRows();
    return gray;
}
