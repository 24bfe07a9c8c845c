#include "imaging/core/ie_compose.h"

#include <algorithm>
#include <cstring>

namespace {

// The smallest correct blend: source over destination, rounded to nearest.
inline uint8_t Blend(uint8_t s, uint8_t d, uint32_t a) { return static_cast<uint8_t>((s * a + d * (255 - a) + 127) / 255); }

}  // namespace

void IERenderLayer(TIEBitmap& src, const TRect& srcRect, TIEBitmap& dest, const TRect& dstRect,
                   TResampleFilter filter, int32_t transparency, bool useAlpha, const TRect& clip,
                   const std::vector<int32_t>* columns, const std::vector<int32_t>* rows) {
    const int32_t sx = srcRect.Left, sy = srcRect.Top, sw = srcRect.Right, sh = srcRect.Bottom;
    const int32_t dx = dstRect.Left, dy = dstRect.Top, dw = dstRect.Right, dh = dstRect.Bottom;
    if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0 || dest.GetPixelFormat() != ie24RGB) return;
    transparency = std::clamp(transparency, 0, 255);
    if (transparency == 0) return;

    // A filtered size change: resample the rectangle first, then draw 1:1.
    if (filter != rfNone && (sw != dw || sh != dh) && !columns) {
        TIEBitmap part(sw, sh, src.GetPixelFormat() == ie24RGB ? ie24RGB : ie24RGB);
        for (int32_t y = 0; y < sh; ++y) {
            uint8_t* out = part.GetScanline(y);
            for (int32_t x = 0; x < sw; ++x) {
                const int32_t cx = std::clamp(sx + x, 0, src.GetWidth() - 1), cy = std::clamp(sy + y, 0, src.GetHeight() - 1);
                TRGB c = src.GetPixelRGB(cx, cy);
                std::memcpy(out + 3 * x, &c, 3);
            }
        }
        const bool alpha = useAlpha && src.GetHasAlphaChannel();
        if (alpha) {
            TIEBitmap* channel = part.GetAlphaChannel();
            for (int32_t y = 0; y < sh; ++y)
                for (int32_t x = 0; x < sw; ++x)
                    channel->GetScanline(y)[x] = src.GetAlpha(std::clamp(sx + x, 0, src.GetWidth() - 1),
                                                              std::clamp(sy + y, 0, src.GetHeight() - 1));
        }
        TIEBitmap sized(dw, dh, ie24RGB);
        IEResample(part, sized, filter, TIEProgressEvent(), nullptr);
        if (alpha) {
            TIEBitmap sizedAlpha(dw, dh, ie8g);
            IEResample(*part.GetAlphaChannel(), sizedAlpha, filter, TIEProgressEvent(), nullptr);
            sized.GetAlphaChannel()->AssignImage(sizedAlpha);
        }
        IERenderLayer(sized, {0, 0, dw, dh}, dest, dstRect, rfNone, transparency, alpha, clip);
        return;
    }

    int32_t x0 = std::max(dx, 0), y0 = std::max(dy, 0);
    int32_t x1 = std::min(dx + dw, dest.GetWidth()), y1 = std::min(dy + dh, dest.GetHeight());
    if (clip.Right > clip.Left && clip.Bottom > clip.Top) {
        x0 = std::max(x0, clip.Left);
        y0 = std::max(y0, clip.Top);
        x1 = std::min(x1, clip.Right);
        y1 = std::min(y1, clip.Bottom);
    }
    if (x0 >= x1 || y0 >= y1) return;
    const bool alpha = useAlpha && src.GetHasAlphaChannel();
    TIEBitmap* srcAlpha = alpha ? src.GetAlphaChannel() : nullptr;
    TIEBitmap* destAlpha = dest.GetHasAlphaChannel() ? dest.GetAlphaChannel() : nullptr;
    const int32_t lastColumn = src.GetWidth() - 1, lastRow = src.GetHeight() - 1;
    std::vector<int32_t> sourceColumns(static_cast<size_t>(x1 - x0));
    for (int32_t x = x0; x < x1; ++x) {
        const int32_t i = x - dx;
        int32_t c = columns && static_cast<size_t>(i) < columns->size() ? (*columns)[static_cast<size_t>(i)]
                                                                       : sx + static_cast<int32_t>(int64_t{i} * sw / dw);
        sourceColumns[static_cast<size_t>(x - x0)] = std::clamp(c, 0, lastColumn);
    }
    const bool rgb = src.GetPixelFormat() == ie24RGB;
    for (int32_t y = y0; y < y1; ++y) {
        const int32_t j = y - dy;
        int32_t r = rows && static_cast<size_t>(j) < rows->size() ? (*rows)[static_cast<size_t>(j)]
                                                                 : sy + static_cast<int32_t>(int64_t{j} * sh / dh);
        r = std::clamp(r, 0, lastRow);
        const uint8_t* in = src.GetScanline(r);
        std::vector<uint8_t> inCopy;
        if (src.GetLocation() == ieFile) {
            // A row mapped from the temporary file lasts until the next mapping.
            inCopy.assign(in, in + src.GetRowLen());
            in = inCopy.data();
        }
        const uint8_t* a = srcAlpha ? srcAlpha->GetScanline(r) : nullptr;
        std::vector<uint8_t> aCopy;
        if (a && srcAlpha->GetLocation() == ieFile) {
            aCopy.assign(a, a + srcAlpha->GetRowLen());
            a = aCopy.data();
        }
        uint8_t* out = dest.GetScanline(y);
        uint8_t* outAlpha = destAlpha ? destAlpha->GetScanline(y) : nullptr;
        for (int32_t x = x0; x < x1; ++x) {
            const int32_t c = sourceColumns[static_cast<size_t>(x - x0)];
            const uint32_t weight = a ? (uint32_t{a[c]} * static_cast<uint32_t>(transparency) + 127) / 255
                                      : static_cast<uint32_t>(transparency);
            if (weight == 0) continue;
            TRGB s;
            if (rgb)
                std::memcpy(&s, in + 3 * c, 3);
            else
                s = IERowPixelRGB(src, in, c);
            uint8_t* o = out + 3 * x;
            o[0] = Blend(s.b, o[0], weight);
            o[1] = Blend(s.g, o[1], weight);
            o[2] = Blend(s.r, o[2], weight);
            if (outAlpha) outAlpha[x] = static_cast<uint8_t>(weight + (outAlpha[x] * (255 - weight) + 127) / 255);
        }
    }
}

// ---------------------------------------------------------------- raw bitmap stream

void IESaveRawBitmap(TIEBitmap& bitmap, TStream& stream) {
    auto i32 = [&](int32_t v) { stream.WriteBuffer(&v, 4); };
    auto u8 = [&](uint8_t v) { stream.WriteBuffer(&v, 1); };
    auto f64 = [&](double v) { stream.WriteBuffer(&v, 8); };
    stream.WriteBuffer("TIEBITMAPRAW", 12);
    i32(0);
    i32(bitmap.GetPaletteLen());
    for (int32_t i = 0; i < bitmap.GetPaletteLen(); ++i) {
        TRGB c = bitmap.GetPaletteColor(i);
        stream.WriteBuffer(&c, 3);
    }
    i32(bitmap.GetWidth());
    i32(bitmap.GetHeight());
    u8(bitmap.GetPixelFormat());
    u8(bitmap.FullOpacity());
    i32(bitmap.PaletteColors);
    f64(bitmap.BlackValue);
    f64(bitmap.WhiteValue);
    for (int32_t offset : bitmap.ChannelOffsets) i32(offset);
    u8(bitmap.ChannelOffsetsEnabled);
    i32(bitmap.Contrast);
    i32(bitmap.RowAlignment());
    for (int32_t y = 0; y < bitmap.GetHeight(); ++y) stream.WriteBuffer(bitmap.GetScanline(y), bitmap.GetRowLen());
    u8(bitmap.GetHasAlphaChannel());
    if (bitmap.GetHasAlphaChannel()) {
        TIEBitmap& alpha = *bitmap.GetAlphaChannel();
        for (int32_t y = 0; y < alpha.GetHeight(); ++y) stream.WriteBuffer(alpha.GetScanline(y), alpha.GetRowLen());
        u8(alpha.FullOpacity());
    }
}

bool IELoadRawBitmap(TIEBitmap& bitmap, TStream& stream) {
    auto i32 = [&] {
        int32_t v;
        stream.ReadBuffer(&v, 4);
        return v;
    };
    auto u8 = [&] {
        uint8_t v;
        stream.ReadBuffer(&v, 1);
        return v;
    };
    auto f64 = [&] {
        double v;
        stream.ReadBuffer(&v, 8);
        return v;
    };
    char magic[12];
    if (stream.Read(magic, 12) != 12 || std::memcmp(magic, "TIEBITMAPRAW", 12) != 0) return false;
    if (i32() < 0) return false;
    const int32_t count = i32();
    // Every later read is checked against what the stream holds, so a damaged
    // count or size ends in a read error, not in a huge allocation.
    if (count < 0 || count > 65536 || int64_t{count} * 3 > stream.Remaining())
        throw EReadError("The raw bitmap's palette does not fit in the stream");
    std::vector<TRGB> palette(static_cast<size_t>(count));
    if (count) stream.ReadBuffer(palette.data(), 3 * int64_t{count});
    const int32_t width = i32(), height = i32();
    const uint8_t format = u8();
    const bool full = u8() != 0;
    const int32_t paletteColors = i32();
    const double black = f64(), white = f64();
    int32_t offsets[4];
    for (int32_t& offset : offsets) offset = i32();
    const bool offsetsEnabled = u8() != 0;
    const int32_t contrast = i32();
    const int32_t alignment = i32();
    if (width < 0 || height < 0 || format == ienull || format >= kIEPixelFormatCount)
        throw EReadError("The raw bitmap's size or pixel format is not valid");
    if (alignment != 8 && alignment != 16 && alignment != 32)
        throw EReadError("The raw bitmap's row alignment is not valid");
    const int32_t bits = format == ie1g ? 1 : 8;  // a lower bound per pixel, enough to refuse absurd sizes
    if (int64_t{width} * height * bits / 8 > stream.Remaining())
        throw EReadError("The raw bitmap's rows do not fit in the stream");
    bitmap.SetRowAlignment(alignment);
    if (!bitmap.Allocate(width, height, static_cast<TIEPixelFormat>(format)))
        throw EReadError("The raw bitmap cannot be allocated");
    bitmap.SetFullOpacity(full);
    bitmap.PaletteColors = paletteColors;
    bitmap.BlackValue = black;
    bitmap.WhiteValue = white;
    std::copy(offsets, offsets + 4, bitmap.ChannelOffsets);
    bitmap.ChannelOffsetsEnabled = offsetsEnabled;
    bitmap.Contrast = contrast;
    for (int32_t i = 0; i < std::min(count, bitmap.GetPaletteLen()); ++i) bitmap.SetPaletteColor(i, palette[static_cast<size_t>(i)]);
    for (int32_t y = 0; y < height; ++y) stream.ReadBuffer(bitmap.GetScanline(y), bitmap.GetRowLen());
    if (u8() != 0) {
        TIEBitmap& alpha = *bitmap.GetAlphaChannel();
        for (int32_t y = 0; y < height; ++y) stream.ReadBuffer(alpha.GetScanline(y), alpha.GetRowLen());
        alpha.SetFullOpacity(u8() != 0);
    }
    return true;
}
