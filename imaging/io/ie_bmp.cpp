#include "imaging/io/ie_bmp.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <unordered_map>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_helpers.h"
#include "platform/dib_layout.h"

namespace {

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Get32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
void Put16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Reads count bytes; what the stream does not hold reads as zeros.
void ReadPadded(TStream& stream, uint8_t* buffer, int64_t count) {
    int64_t got = stream.Read(buffer, count);
    if (got < count) std::memset(buffer + std::max<int64_t>(got, 0), 0, static_cast<size_t>(count - std::max<int64_t>(got, 0)));
}

int32_t RoundHalfEven(double v) { return static_cast<int32_t>(std::nearbyint(v)); }

struct TBmpInfo {
    int32_t width = 0, height = 0, bits = 0, compression = 0;
    bool topDown = false;
    uint32_t masks[4] = {};  // red, green, blue, alpha of 16- and 32-bit pixels
};

class TRowTarget {
public:
    TRowTarget(TIEBitmap& bitmap, const TBmpInfo& info) : bitmap_(bitmap), info_(info) {}
    // Image row of the n-th row in file order.
    int32_t ImageRow(int32_t n) const { return info_.topDown ? n : info_.height - 1 - n; }
    uint8_t* Row(int32_t n) { return bitmap_.GetScanline(ImageRow(n)); }

private:
    TIEBitmap& bitmap_;
    const TBmpInfo& info_;
};

void StorePixel(uint8_t* row, int32_t x, uint8_t index, bool native, const std::array<TRGB, 256>& map) {
    if (native) row[x] = index;
    else std::memcpy(row + 3 * x, &map[index], 3);
}

void DecodeRLE(const std::vector<uint8_t>& data, TIEBitmap& bitmap, const TBmpInfo& info, bool native,
               const std::array<TRGB, 256>& map, TIEProgressRec& progress) {
    const bool rle4 = info.bits == 4;
    TRowTarget target(bitmap, info);
    int32_t n = 0, x = 0;  // n: row in file order
    size_t i = 0;
    uint8_t* row = target.Row(0);
    auto put = [&](uint8_t index) {
        // Pixels past the row end are dropped: writers pad rows to whole
        // 4-byte units in the coded data too.
        if (x < info.width) StorePixel(row, x, index, native, map);
        ++x;
    };
    while (i + 1 < data.size()) {
        uint8_t first = data[i], second = data[i + 1];
        i += 2;
        if (first > 0) {
            for (int k = 0; k < first; ++k) put(rle4 ? static_cast<uint8_t>(k % 2 ? second & 15 : second >> 4) : second);
        } else if (second == 0) {
            if (++n >= info.height) break;
            x = 0;
            row = target.Row(n);
            progress.Report(static_cast<int>(int64_t{n} * 100 / info.height));
            if (progress.Aborting()) return;
        } else if (second == 1) {
            break;
        } else if (second == 2) {
            if (i + 1 >= data.size()) break;
            x += data[i];
            n += data[i + 1];
            i += 2;
            if (n >= info.height) break;
            row = target.Row(n);
        } else {
            size_t bytes = rle4 ? (second + 1u) / 2 : second;
            for (int k = 0; k < second && i + static_cast<size_t>(rle4 ? k / 2 : k) < data.size(); ++k) {
                uint8_t b = data[i + static_cast<size_t>(rle4 ? k / 2 : k)];
                put(rle4 ? static_cast<uint8_t>(k % 2 ? b & 15 : b >> 4) : b);
            }
            i += bytes + (bytes & 1);
        }
    }
}

}  // namespace

void IEReadBMPStream(TStream& stream, TIEBitmap& bitmap, int64_t blockSize, TIOParamsVals& params,
                     TIEProgressRec& progress, bool previewOnly, bool noFileHeader, bool ignoreAlpha) {
    const int64_t start = stream.GetPosition();
    uint32_t fileSize, offset = 0;
    if (noFileHeader) {
        fileSize = static_cast<uint32_t>(std::min<int64_t>(stream.GetSize(), UINT32_MAX));
    } else {
        uint8_t header[14];
        if (stream.Read(header, 14) != 14 || header[0] != 'B' || header[1] != 'M') {
            progress.Abort();
            return;
        }
        fileSize = Get32(header + 2);
        offset = Get32(header + 10);
    }
    if (blockSize <= 0 && fileSize != 0) blockSize = fileSize;

    uint8_t sizeBytes[4];
    if (stream.Read(sizeBytes, 4) != 4) {
        progress.Abort();
        return;
    }
    stream.Seek(-4, TSeekOrigin::Current);
    const uint32_t headerSize = Get32(sizeBytes);
    params.ColorMap.clear();

    TBmpInfo info;
    uint32_t dataSize = 0;
    int32_t colors = 0;
    std::array<TRGB, 256> map{};
    if (headerSize == 12) {
        uint8_t h[12];
        ReadPadded(stream, h, 12);
        info.width = Get16(h + 4);
        info.height = Get16(h + 6);
        info.bits = Get16(h + 10);
        const TDibHeader layout = DibParseHeader(h, 12);
        std::copy(layout.masks, layout.masks + 4, info.masks);
        params.BmpVersion = 2;
        params.SetDpiX(IELibraryDefaultDPI[0]);
        params.SetDpiY(IELibraryDefaultDPI[1]);
        if (info.bits <= 8) {
            colors = 1 << info.bits;
            std::vector<uint8_t> table(static_cast<size_t>(colors) * 3);
            ReadPadded(stream, table.data(), static_cast<int64_t>(table.size()));
            params.ColorMap.resize(static_cast<size_t>(colors));
            for (int32_t c = 0; c < colors; ++c) params.ColorMap[static_cast<size_t>(c)] = TRGB{table[3 * c], table[3 * c + 1], table[3 * c + 2]};
        }
    } else {
        uint8_t h[64] = {};
        const uint32_t taken = std::min<uint32_t>(headerSize, 64);
        if (taken < 16) {  // too short to hold even the fields every form has
            progress.Abort();
            return;
        }
        ReadPadded(stream, h, taken);
        if (headerSize > 64) stream.Seek(static_cast<int64_t>(headerSize) - 64, TSeekOrigin::Current);
        params.BmpVersion = headerSize == 64 ? 3 : headerSize == 40 ? 1 : 0;
        TDibHeader layout = DibParseHeader(h, taken);
        // The masks of a short bit-field header come before the colour table.
        if (const uint32_t maskBytes = layout.MaskBytesAfterHeader()) {
            uint8_t m[16];
            ReadPadded(stream, m, maskBytes);
            DibTakeMasksAfterHeader(layout, m);
        }
        info.width = layout.width;
        int32_t height = layout.height;
        if (height < 0 && height != INT32_MIN) {
            height = -height;
            info.topDown = true;
        }
        info.height = height;
        info.bits = layout.bitCount;
        info.compression = static_cast<int32_t>(layout.compression);
        std::copy(layout.masks, layout.masks + 4, info.masks);
        dataSize = layout.sizeImage;
        int32_t dpiX = RoundHalfEven(layout.xPelsPerMeter / 100.0 * 2.54);
        int32_t dpiY = RoundHalfEven(layout.yPelsPerMeter / 100.0 * 2.54);
        params.SetDpiX(dpiX != 0 ? dpiX : IELibraryDefaultDPI[0]);
        params.SetDpiY(dpiY != 0 ? dpiY : IELibraryDefaultDPI[1]);
        uint32_t used = layout.clrUsed;
        if (used > 256) used = 0;
        if (used == 0 && info.bits >= 1 && info.bits <= 8) used = 1u << info.bits;
        colors = static_cast<int32_t>(used);
        if (colors > 0) {
            std::vector<uint8_t> table(static_cast<size_t>(colors) * 4);
            ReadPadded(stream, table.data(), static_cast<int64_t>(table.size()));
            params.ColorMap.resize(static_cast<size_t>(colors));
            for (int32_t c = 0; c < colors; ++c) params.ColorMap[static_cast<size_t>(c)] = TRGB{table[4 * c], table[4 * c + 1], table[4 * c + 2]};
        }
    }
    for (size_t c = 0; c < params.ColorMap.size() && c < 256; ++c) map[c] = params.ColorMap[c];
    params.BmpCompressed = info.compression == 1 || info.compression == 2;
    const bool bitFields = info.compression == kDibBitFields || info.compression == kDibAlphaBitFields;
    // A 1-bit table of other colours than black and white gives a colour
    // picture; black and white stay 1-bit.
    const bool blackAndWhite = params.ColorMap.size() == 2 &&
                               ((params.ColorMap[0] == TRGB{0, 0, 0} && params.ColorMap[1] == TRGB{255, 255, 255}) ||
                                (params.ColorMap[0] == TRGB{255, 255, 255} && params.ColorMap[1] == TRGB{0, 0, 0}));

    if (offset != 0) stream.SetPosition(start + offset);
    int64_t available = blockSize > 0 ? blockSize - (stream.GetPosition() - start) : dataSize;
    available = std::clamp<int64_t>(available, 0, std::max<int64_t>(stream.GetSize() - stream.GetPosition(), 0));

    params.Width = info.width;
    params.Height = info.height;
    const bool oneBitColors = info.bits == 1 && !blackAndWhite;
    const bool native = params.NativePixelFormat && (info.bits == 4 || info.bits == 8 || oneBitColors);
    const int64_t rowLen = ((int64_t{info.width} * info.bits + 31) / 32) * 4;
    // Other bit counts (0 for embedded JPEG or PNG data) have no rows to
    // read: a picture of their size would be all allocation, no pixels.
    const bool knownDepth = info.bits == 1 || info.bits == 4 || info.bits == 8 || info.bits == 16 ||
                            info.bits == 24 || info.bits == 32;
    if (!knownDepth || info.width < 0 || int64_t{info.width} * info.height > kIEBMPMaxPixels) {
        progress.Abort();
        return;
    }
    // A header that promises far more rows than the stream holds is not a
    // truncated file but a bad one: refuse it before allocating.
    const bool rle = (info.bits == 8 && info.compression == 1) || (info.bits == 4 && info.compression == 2);
    if (!rle && rowLen * info.height > available * 8 + (int64_t{1} << 20)) {
        progress.Abort();
        return;
    }
    // A run of two bytes codes at most 255 pixels; deltas may skip more, but
    // files that leave most of a large picture unpainted are not worth
    // memory out of all proportion to their size.
    if (rle && int64_t{info.width} * info.height > available * 128 + (int64_t{1} << 22)) {
        progress.Abort();
        return;
    }
    if (info.width == 0 || info.height == 0) previewOnly = true;

    TIEPixelFormat format = info.bits == 1 && !oneBitColors ? ie1g : native ? ie8p : ie24RGB;
    if (!previewOnly) {
        if (!bitmap.Allocate(info.width, info.height, format)) {
            progress.Abort();
            return;
        }
        progress.PercentPerUnit = 100.0 / info.height;
    }
    switch (info.bits) {
        case 1: params.BitsPerSample = 1; params.SamplesPerPixel = 1; break;
        case 4: params.BitsPerSample = 4; params.SamplesPerPixel = 1; break;
        case 8: params.BitsPerSample = 8; params.SamplesPerPixel = 1; break;
        case 16: params.BitsPerSample = 5; params.SamplesPerPixel = 3; break;
        case 24: params.BitsPerSample = 8; params.SamplesPerPixel = 3; break;
        case 32: params.BitsPerSample = 8; params.SamplesPerPixel = 4; break;
        default: break;
    }
    if (previewOnly) return;

    if (native) {
        for (int32_t c = 0; c < 256; ++c) bitmap.SetPaletteColor(c, map[static_cast<size_t>(c)]);
        bitmap.PaletteColors = info.bits == 8 ? 256 : 1 << info.bits;
    }
    TRowTarget target(bitmap, info);
    std::vector<uint8_t> buffer(static_cast<size_t>(rowLen));
    int lastPercent = -1;
    // Reads the next file row into buffer, with progress; false on abort.
    auto nextRow = [&](int32_t n, bool read) {
        int percent = static_cast<int>(int64_t{n} * 100 / info.height);
        if (percent != lastPercent) {
            progress.Report(percent);
            lastPercent = percent;
        }
        if (progress.Aborting()) return false;
        if (read) ReadPadded(stream, buffer.data(), rowLen);
        return true;
    };

    if (rle) {
        std::vector<uint8_t> data(static_cast<size_t>(available));
        ReadPadded(stream, data.data(), available);
        DecodeRLE(data, bitmap, info, native, map, progress);
        return;
    }
    if (info.bits == 1) {
        if (info.compression != 0) return;
        if (oneBitColors) {
            for (int32_t n = 0; n < info.height && nextRow(n, true); ++n) {
                uint8_t* row = target.Row(n);
                for (int32_t x = 0; x < info.width; ++x)
                    StorePixel(row, x, static_cast<uint8_t>(buffer[x / 8] >> (7 - x % 8) & 1), native, map);
            }
            return;
        }
        for (int32_t n = 0; n < info.height && nextRow(n, true); ++n)
            std::memcpy(target.Row(n), buffer.data(), static_cast<size_t>(rowLen));
        if (params.ColorMap.size() == 2 && params.ColorMap[0] == TRGB{255, 255, 255} && params.ColorMap[1] == TRGB{0, 0, 0})
            for (int32_t y = 0; y < info.height; ++y) IEInvertBuffer(bitmap.GetScanline(y), static_cast<int32_t>(rowLen));
        return;
    }
    if (info.bits == 4) {
        if (info.compression != 0) return;
        for (int32_t n = 0; n < info.height && nextRow(n, true); ++n) {
            uint8_t* row = target.Row(n);
            for (int32_t x = 0; x < info.width; ++x)
                StorePixel(row, x, static_cast<uint8_t>(x % 2 ? buffer[x / 2] & 15 : buffer[x / 2] >> 4), native, map);
        }
        return;
    }
    if (info.bits == 8) {
        if (info.compression != 0) return;
        std::vector<uint8_t> block(static_cast<size_t>(rowLen * info.height));
        ReadPadded(stream, block.data(), static_cast<int64_t>(block.size()));
        for (int32_t n = 0; n < info.height && nextRow(n, false); ++n) {
            uint8_t* row = target.Row(n);
            const uint8_t* src = block.data() + rowLen * n;
            for (int32_t x = 0; x < info.width; ++x) StorePixel(row, x, src[x], native, map);
        }
        return;
    }
    std::vector<uint8_t> unpacked(static_cast<size_t>(info.width) * 4);
    if (info.bits == 16) {
        if (info.compression != 0 && !bitFields) return;
        for (int32_t n = 0; n < info.height && nextRow(n, true); ++n) {
            uint8_t* row = target.Row(n);
            DibUnpackRow(buffer.data(), info.width, 16, info.masks, unpacked.data());
            for (int32_t x = 0; x < info.width; ++x) std::memcpy(row + 3 * x, unpacked.data() + 4 * x, 3);
        }
        return;
    }
    if (info.bits == 24) {
        for (int32_t n = 0; n < info.height && nextRow(n, true); ++n)
            std::memcpy(target.Row(n), buffer.data(), static_cast<size_t>(std::min<int64_t>(rowLen, bitmap.GetRowLen())));
        return;
    }
    if (info.bits == 32) {
        TIEBitmap* alpha = nullptr;
        if (!ignoreAlpha) {
            bitmap.RemoveAlphaChannel(false, clWhite);
            alpha = bitmap.GetAlphaChannel();
        }
        bool anyVisible = false, anyPartial = false;
        for (int32_t n = 0; n < info.height && nextRow(n, true); ++n) {
            uint8_t* row = target.Row(n);
            DibUnpackRow(buffer.data(), info.width, 32, info.masks, unpacked.data());
            for (int32_t x = 0; x < info.width; ++x) std::memcpy(row + 3 * x, unpacked.data() + 4 * x, 3);
            if (alpha) {
                uint8_t* alphaRow = alpha->GetScanline(target.ImageRow(n));
                for (int32_t x = 0; x < info.width; ++x) {
                    uint8_t value = unpacked[4 * static_cast<size_t>(x) + 3];
                    alphaRow[x] = value;
                    anyVisible |= value != 0;
                    anyPartial |= value != 255;
                }
            }
        }
        if (alpha && (!anyVisible || !anyPartial)) bitmap.RemoveAlphaChannel(false, clWhite);
    }
}

void IEEncodeBMPRLERow(const uint8_t* indices, int32_t width, bool rle4, std::vector<uint8_t>& out) {
    auto flush = [&](int32_t from, int32_t to) {
        while (from < to) {
            int32_t n = std::min(to - from, 255);
            const uint8_t* p = indices + from;
            if (n == 1) {
                out.insert(out.end(), {1, static_cast<uint8_t>(rle4 ? p[0] << 4 : p[0])});
            } else if (n == 2) {
                if (rle4) out.insert(out.end(), {2, static_cast<uint8_t>(p[0] << 4 | (p[1] & 15))});
                else out.insert(out.end(), {1, p[0], 1, p[1]});
            } else {
                out.insert(out.end(), {0, static_cast<uint8_t>(n)});
                int32_t bytes = rle4 ? (n + 1) / 2 : n;
                for (int32_t k = 0; k < bytes; ++k) {
                    if (!rle4) out.push_back(p[k]);
                    else out.push_back(static_cast<uint8_t>(p[2 * k] << 4 | (2 * k + 1 < n ? p[2 * k + 1] & 15 : 0)));
                }
                if (bytes & 1) out.push_back(0);
            }
            from += n;
        }
    };
    int32_t s = 0, p = 0;
    while (p < width) {
        if (p - s > 255) {
            flush(s, p);
            s = p;
        }
        if (p + 1 < width && indices[p] == indices[p + 1]) {
            flush(s, p);
            int32_t end = p + 1;
            while (end < width && end - p < 255 && indices[end] == indices[p]) ++end;
            uint8_t v = indices[p];
            out.insert(out.end(), {static_cast<uint8_t>(end - p), static_cast<uint8_t>(rle4 ? (v & 15) << 4 | (v & 15) : v)});
            s = p = end;
        } else {
            ++p;
        }
    }
    flush(s, width);
    out.insert(out.end(), {0, 0});
}

namespace {

// The colour of a pixel of an ie1g, ie8p or ie24RGB row.
TRGB PixelColor(TIEBitmap& bitmap, const uint8_t* row, int32_t x) {
    switch (bitmap.GetPixelFormat()) {
        case ie1g: return (row[x / 8] & IEBitMask[x % 8]) ? TRGB{255, 255, 255} : TRGB{0, 0, 0};
        case ie8p: return bitmap.GetPaletteColor(row[x]);
        default: return TRGB{row[3 * x], row[3 * x + 1], row[3 * x + 2]};
    }
}

// Palette for an indexed file: the image's own colours when they fit,
// otherwise a fixed spread (3-3-2 levels for 256 entries, the 16 standard
// colours for 16) with each pixel taking its nearest entry.
class TBmpPalette {
public:
    TBmpPalette(TIEBitmap& bitmap, int32_t size) : size_(size) {
        std::unordered_map<uint32_t, uint8_t> exact;
        bool fits = true;
        for (int32_t y = 0; y < bitmap.GetHeight() && fits; ++y) {
            const uint8_t* row = bitmap.GetScanline(y);
            for (int32_t x = 0; x < bitmap.GetWidth(); ++x) {
                uint32_t key = IERGBToDWord(PixelColor(bitmap, row, x));
                if (exact.count(key)) continue;
                if (static_cast<int32_t>(exact.size()) == size) {
                    fits = false;
                    break;
                }
                exact.emplace(key, static_cast<uint8_t>(exact.size()));
                colors.push_back(IEDWordToRGB(key));
            }
        }
        if (fits) {
            index_ = std::move(exact);
        } else if (size == 256) {
            colors.clear();
            for (int32_t i = 0; i < 256; ++i)
                colors.push_back(IECreateRGB(static_cast<uint8_t>((i >> 5) * 255 / 7), static_cast<uint8_t>(((i >> 2) & 7) * 255 / 7),
                                             static_cast<uint8_t>((i & 3) * 255 / 3)));
        } else {
            static const uint32_t vga[16] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
                                             0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
            colors.clear();
            for (uint32_t c : vga) colors.push_back(IEDWordToRGB(c));
        }
        colors.resize(static_cast<size_t>(size_));
    }
    uint8_t ColorIndex(TRGB color) {
        uint32_t key = IERGBToDWord(color);
        auto found = index_.find(key);
        if (found != index_.end()) return found->second;
        int32_t best = 0, bestDistance = INT32_MAX;
        for (int32_t i = 0; i < size_; ++i) {
            const TRGB& c = colors[static_cast<size_t>(i)];
            int32_t d = (c.r - color.r) * (c.r - color.r) + (c.g - color.g) * (c.g - color.g) + (c.b - color.b) * (c.b - color.b);
            if (d < bestDistance) bestDistance = d, best = i;
        }
        index_.emplace(key, static_cast<uint8_t>(best));
        return static_cast<uint8_t>(best);
    }
    std::vector<TRGB> colors;

private:
    int32_t size_;
    std::unordered_map<uint32_t, uint8_t> index_;
};

}  // namespace

void IEWriteBMPStream(TStream& stream, TIEBitmap& bitmap, TIOParamsVals& params, TIEProgressRec& progress,
                      bool writeAlpha) {
    const int32_t width = bitmap.GetWidth(), height = bitmap.GetHeight();
    int32_t bits = params.BitsPerSample == 1 || params.BitsPerSample == 4 ? params.BitsPerSample
                   : params.SamplesPerPixel == 1                          ? 8
                   : writeAlpha && bitmap.GetHasAlphaChannel()            ? 32
                                                                          : 24;
    const bool smallHeader = params.BmpVersion == 2;
    const bool rle = !smallHeader && params.BmpCompressed && (bits == 4 || bits == 8);
    const int64_t start = stream.GetPosition();
    uint8_t fileHeader[14] = {'B', 'M'};
    IEStreamWriteChecked(stream, fileHeader, 14, progress);

    uint8_t info[64] = {};
    const uint32_t infoSize = smallHeader ? 12 : params.BmpVersion == 3 ? 64 : 40;
    Put32(info, infoSize);
    if (smallHeader) {
        Put16(info + 4, static_cast<uint32_t>(width));
        Put16(info + 6, static_cast<uint32_t>(height));
        Put16(info + 8, 1);
    } else {
        Put32(info + 4, static_cast<uint32_t>(width));
        Put32(info + 8, static_cast<uint32_t>(height));
        Put16(info + 12, 1);
        Put32(info + 16, rle ? (bits == 4 ? 2 : 1) : 0);
        Put32(info + 24, static_cast<uint32_t>(RoundHalfEven(params.DpiX / 2.54 * 100)));
        Put32(info + 28, static_cast<uint32_t>(RoundHalfEven(params.DpiY / 2.54 * 100)));
        Put32(info + 32, bits <= 8 ? 1u << bits : 0);
        // Every colour of the table is important; deeper pictures have none.
        Put32(info + 36, bits <= 8 ? 1u << bits : 0);
    }
    const int64_t infoPosition = stream.GetPosition();
    IEStreamWriteChecked(stream, info, infoSize, progress);

    progress.PercentPerUnit = height > 0 ? 100.0 / height : 0;
    const int64_t rowLen = ((int64_t{width} * bits + 31) / 32) * 4;
    std::vector<uint8_t> row(static_cast<size_t>(rowLen));
    auto writePalette = [&](const std::vector<TRGB>& colors) {
        params.ColorMap = colors;
        for (const TRGB& c : colors) {
            uint8_t entry[4] = {c.b, c.g, c.r, 0};
            IEStreamWriteChecked(stream, entry, smallHeader ? 3 : 4, progress);
        }
    };
    auto rowStep = [&](int32_t y) {
        progress.Report(static_cast<int>(int64_t{height - 1 - y} * 100 / std::max(height, 1)));
        return !progress.Aborting();
    };
    int64_t pixelPosition = 0;

    if (bits == 4 || bits == 8) {
        TBmpPalette palette(bitmap, 1 << bits);
        writePalette(palette.colors);
        pixelPosition = stream.GetPosition();
        std::vector<uint8_t> indices(static_cast<size_t>(width));
        std::vector<uint8_t> coded;
        for (int32_t y = height - 1; y >= 0 && rowStep(y); --y) {
            const uint8_t* src = bitmap.GetScanline(y);
            for (int32_t x = 0; x < width; ++x) indices[static_cast<size_t>(x)] = palette.ColorIndex(PixelColor(bitmap, src, x));
            if (rle) {
                coded.clear();
                IEEncodeBMPRLERow(indices.data(), width, bits == 4, coded);
                IEStreamWriteChecked(stream, coded.data(), static_cast<int64_t>(coded.size()), progress);
            } else {
                std::fill(row.begin(), row.end(), 0);
                for (int32_t x = 0; x < width; ++x) {
                    if (bits == 8) row[static_cast<size_t>(x)] = indices[static_cast<size_t>(x)];
                    else row[static_cast<size_t>(x / 2)] |= static_cast<uint8_t>(x % 2 ? indices[static_cast<size_t>(x)] & 15 : indices[static_cast<size_t>(x)] << 4);
                }
                IEStreamWriteChecked(stream, row.data(), rowLen, progress);
            }
        }
        if (rle && !progress.Aborting()) IEStreamWriteChecked(stream, "\0\1", 2, progress);
    } else if (bits == 1) {
        // Two colours: the darker first; anything else goes black and white.
        TBmpPalette palette(bitmap, 2);
        bool twoColors = bitmap.GetPixelFormat() != ie1g && palette.colors.size() == 2;
        std::vector<TRGB> colors{TRGB{0, 0, 0}, TRGB{255, 255, 255}};
        bool swap = false;
        if (twoColors) {
            colors = palette.colors;
            swap = IERGBToGray(colors[0]) > IERGBToGray(colors[1]);
            if (swap) std::swap(colors[0], colors[1]);
        }
        writePalette(colors);
        pixelPosition = stream.GetPosition();
        for (int32_t y = height - 1; y >= 0 && rowStep(y); --y) {
            const uint8_t* src = bitmap.GetScanline(y);
            std::fill(row.begin(), row.end(), 0);
            for (int32_t x = 0; x < width; ++x) {
                bool one;
                if (bitmap.GetPixelFormat() == ie1g) one = src[x / 8] & IEBitMask[x % 8];
                else if (twoColors) one = (palette.ColorIndex(PixelColor(bitmap, src, x)) == 1) != swap;
                else one = IERGBToGray(PixelColor(bitmap, src, x)) >= 128;
                if (one) row[static_cast<size_t>(x / 8)] |= IEBitMask[x % 8];
            }
            IEStreamWriteChecked(stream, row.data(), rowLen, progress);
        }
    } else {
        pixelPosition = stream.GetPosition();
        TIEBitmap* alpha = bits == 32 ? bitmap.GetAlphaChannel() : nullptr;
        for (int32_t y = height - 1; y >= 0 && rowStep(y); --y) {
            const uint8_t* src = bitmap.GetScanline(y);
            if (bits == 24 && bitmap.GetPixelFormat() == ie24RGB) {  // same layout: rows go out as they are
                std::memcpy(row.data(), src, static_cast<size_t>(std::min<int64_t>(rowLen, bitmap.GetRowLen())));
                IEStreamWriteChecked(stream, row.data(), rowLen, progress);
                continue;
            }
            std::vector<TRGB> colors(static_cast<size_t>(width));
            for (int32_t x = 0; x < width; ++x) colors[static_cast<size_t>(x)] = PixelColor(bitmap, src, x);
            const uint8_t* alphaRow = alpha ? alpha->GetScanline(y) : nullptr;
            for (int32_t x = 0; x < width; ++x) {
                const TRGB& c = colors[static_cast<size_t>(x)];
                uint8_t* d = row.data() + static_cast<size_t>(x) * (bits / 8);
                d[0] = c.b, d[1] = c.g, d[2] = c.r;
                if (bits == 32) d[3] = alphaRow ? alphaRow[x] : 255;
            }
            IEStreamWriteChecked(stream, row.data(), rowLen, progress);
        }
    }
    if (progress.Aborting()) return;

    const int64_t end = stream.GetPosition();
    Put32(fileHeader + 2, static_cast<uint32_t>(end - start));
    Put32(fileHeader + 10, static_cast<uint32_t>(pixelPosition - start));
    if (smallHeader) {
        Put16(info + 10, static_cast<uint32_t>(bits));
    } else {
        Put16(info + 14, static_cast<uint32_t>(bits));
        Put32(info + 20, static_cast<uint32_t>(end - pixelPosition));
    }
    stream.SetPosition(start);
    IEStreamWriteChecked(stream, fileHeader, 14, progress);
    stream.SetPosition(infoPosition);
    IEStreamWriteChecked(stream, info, infoSize, progress);
    stream.SetPosition(end);
}
