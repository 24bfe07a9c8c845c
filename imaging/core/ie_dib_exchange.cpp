#include "imaging/core/ie_dib_exchange.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_dib_bitmap.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_quantizer.h"

namespace {

void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// The largest picture a DIB carries in or out: 2^28 pixels, 768 MB at 24 bits.
constexpr int64_t kMaxDIBPixels = int64_t{1} << 28;

}  // namespace

std::vector<uint8_t> _CopyBitmaptoDIBEx(TIEBitmap& bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                                        int32_t dpiX, int32_t dpiY) {
    if (x2 == 0) x2 = bitmap.GetWidth();
    if (y2 == 0) y2 = bitmap.GetHeight();
    // Swapped corners or a rectangle reaching outside would give negative
    // sizes or rows read past the picture.
    if (x1 < 0 || y1 < 0 || x2 < x1 || y2 < y1 || x2 > bitmap.GetWidth() || y2 > bitmap.GetHeight()) return {};
    const int32_t w = x2 - x1, h = y2 - y1;
    // A block the import would refuse is not made either, nor converted for.
    if (int64_t{w} * h > kMaxDIBPixels) return {};
    const TIEPixelFormat format = bitmap.GetPixelFormat();
    if (format != ie1g && format != ie24RGB && format != ie8g && format != ie8p && bitmap.GetWidth() > 0 &&
        bitmap.GetHeight() > 0) {
        TIEBitmap copy;
        copy.Assign(bitmap);
        copy.SetPixelFormat(ie24RGB);
        return _CopyBitmaptoDIBEx(copy, x1, y1, x2, y2, dpiX, dpiY);
    }
    const int32_t bits = format == ie1g ? 1 : format == ie24RGB ? 24 : format == ie8g || format == ie8p ? 8 : 0;
    const int64_t rowLen = (int64_t{w} * bits + 31) / 32 * 4;
    const int64_t tableBytes = bits == 1 ? 8 : bits == 8 ? 1024 : 0;
    std::vector<uint8_t> dib;
    try {
        dib.assign(static_cast<size_t>(44 + tableBytes + rowLen * h), 0);
    } catch (const std::bad_alloc&) {
        return {};
    }
    uint8_t* header = dib.data();
    Put32(header, 40);
    Put32(header + 4, static_cast<uint32_t>(w));
    Put32(header + 8, static_cast<uint32_t>(h));
    header[12] = 1;
    header[14] = static_cast<uint8_t>(bits);
    Put32(header + 24, static_cast<uint32_t>(static_cast<int64_t>(dpiX * 39.3700787)));
    Put32(header + 28, static_cast<uint32_t>(static_cast<int64_t>(dpiY * 39.3700787)));
    uint8_t* table = header + 40;
    if (bits == 1) std::memset(table + 4, 0xFF, 4);
    for (int32_t i = 0; bits == 8 && i < 256; ++i) {
        const TRGB c = format == ie8p ? bitmap.GetPaletteColor(i) : TRGB{uint8_t(i), uint8_t(i), uint8_t(i)};
        table[4 * i] = c.b, table[4 * i + 1] = c.g, table[4 * i + 2] = c.r;
    }
    uint8_t* out = table + tableBytes;
    for (int32_t y = y2 - 1; y >= y1; --y, out += rowLen) {
        const uint8_t* row = bitmap.GetScanline(y);
        if (bits == 1) {
            for (int32_t x = 0; x < w; ++x)
                if (row[(x1 + x) / 8] & (0x80 >> ((x1 + x) % 8))) out[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        } else {
            std::memcpy(out, row + static_cast<size_t>(x1) * bits / 8, static_cast<size_t>(w) * bits / 8);
        }
    }
    return dib;
}

bool IEBitmapsEqual(TIEBitmap& a, TIEBitmap& b) {
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight() ||
        a.GetHasAlphaChannel() != b.GetHasAlphaChannel() || a.GetRowLen() != b.GetRowLen())
        return false;
    for (int32_t y = 0; y < a.GetHeight(); ++y)
        if (std::memcmp(a.GetScanline(y), b.GetScanline(y), static_cast<size_t>(a.GetRowLen())) != 0) return false;
    return !a.GetHasAlphaChannel() || IEBitmapsEqual(*a.GetAlphaChannel(), *b.GetAlphaChannel());
}

// ---------------------------------------------------------------- import

namespace {

uint32_t Get32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

constexpr uint32_t FourCC(const char (&code)[5]) {
    return uint32_t(uint8_t(code[0])) | uint32_t(uint8_t(code[1])) << 8 | uint32_t(uint8_t(code[2])) << 16 |
           uint32_t(uint8_t(code[3])) << 24;
}

// A packed YUV layout: per group of pixels, the byte of each pixel's Y, U
// and V.
struct TPackedYUV {
    uint32_t fourcc;
    int32_t pixels, bytes;
    uint8_t y[8], u[8], v[8];
    bool topFirstWhenNegative;  // the rows run top first when biHeight < 0
};

const TPackedYUV kPackedLayouts[] = {
    {FourCC("YUY2"), 2, 4, {0, 2}, {1, 1}, {3, 3}, false},
    {FourCC("YUNV"), 2, 4, {0, 2}, {1, 1}, {3, 3}, false},
    {FourCC("UYVY"), 2, 4, {1, 3}, {0, 0}, {2, 2}, false},
    {FourCC("UYNV"), 2, 4, {1, 3}, {0, 0}, {2, 2}, false},
    {FourCC("cyuv"), 2, 4, {1, 3}, {0, 0}, {2, 2}, true},
    {FourCC("YVYU"), 2, 4, {0, 2}, {3, 3}, {1, 1}, false},
    {FourCC("Y211"), 4, 4, {0, 0, 2, 2}, {1, 1, 1, 1}, {3, 3, 3, 3}, false},
    {FourCC("IYU1"), 4, 6, {1, 2, 4, 5}, {0, 0, 0, 0}, {3, 3, 3, 3}, false},
    {FourCC("IYU2"), 1, 3, {1}, {0}, {2}, false},
    {FourCC("Y41P"), 8, 12, {1, 3, 5, 7, 8, 9, 10, 11}, {0, 0, 0, 0, 4, 4, 4, 4}, {2, 2, 2, 2, 6, 6, 6, 6}, true},
};

void PutPixel(uint8_t* row, int32_t x, TRGB c) { std::memcpy(row + 3 * x, &c, 3); }

}  // namespace

TRGB IEYUVToRGB(int32_t y, int32_t u, int32_t v) {
    const double d = 1.164 * (y - 16);
    auto clamp = [](double value) { return static_cast<uint8_t>(std::clamp(std::nearbyint(value), 0.0, 255.0)); };
    TRGB c;
    c.b = clamp(d + 2.018 * (u - 128));
    c.g = clamp(d - 0.813 * (v - 128) - 0.391 * (u - 128));
    c.r = clamp(d + 1.596 * (v - 128));
    return c;
}

int32_t IEDIBToIEBitmap(const uint8_t* dib, size_t dibSize, TIEBitmap& bitmap, const uint8_t* bits, size_t bitsSize) {
    if (!dib || dibSize < 40) return 0;
    const uint32_t headerSize = Get32(dib);
    if (headerSize < 40 || headerSize > dibSize) return 0;
    const int32_t width = static_cast<int32_t>(Get32(dib + 4)), rawHeight = static_cast<int32_t>(Get32(dib + 8));
    const int32_t bitCount = dib[14] | dib[15] << 8;
    const uint32_t compression = Get32(dib + 16);
    if (width <= 0 || rawHeight == 0 || rawHeight == INT32_MIN || bitCount == 0) return 0;
    const int32_t height = rawHeight < 0 ? -rawHeight : rawHeight;
    const int64_t pixels = int64_t{width} * height;
    if (pixels > kMaxDIBPixels) return 0;

    // The bit counts each of the four Windows codings defines; run-length
    // coded rows are stored bottom-up only.
    const bool rgb = compression == 0 || compression == 3;
    const bool rle = compression == 1 || compression == 2;
    if (compression == 0 && bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 &&
        bitCount != 32)
        return 0;
    if (compression == 3 && bitCount != 16 && bitCount != 32) return 0;
    if (rle && (bitCount != (compression == 1 ? 8 : 4) || rawHeight < 0)) return 0;

    // Where the pixels start and how many bytes they have.
    size_t offset = headerSize;
    if (compression <= 2 && bitCount <= 8) {
        uint32_t used = Get32(dib + 32);
        if (used == 0) used = 1u << bitCount;
        offset += size_t{std::min<uint32_t>(used, 1u << 16)} * 4;
    }
    if (compression == 3) offset += 12;
    const uint8_t* data = bits;
    size_t available = bitsSize;
    if (!data) {
        if (offset > dibSize) return 0;
        data = dib + offset;
        available = dibSize - offset;
    }
    const int64_t rowLen = (int64_t{width} * bitCount + 31) / 32 * 4;

    // The bytes each layout needs: refused, not read past, when missing;
    // unknown codes are refused too. Everything is checked before the
    // bitmap is allocated.
    int64_t needed = -1;
    const TPackedYUV* packed = nullptr;
    for (const TPackedYUV& layout : kPackedLayouts)
        if (layout.fourcc == compression) packed = &layout;
    int32_t planarShare = 0;  // pixels sharing one chroma sample in each direction
    bool planarVFirst = false;
    if (compression == FourCC("I420") || compression == FourCC("IYUV")) planarShare = 2;
    else if (compression == FourCC("YV12")) planarShare = 2, planarVFirst = true;
    else if (compression == FourCC("YVU9")) planarShare = 4, planarVFirst = true;
    // A two-byte run codes at most 255 pixels, so a large run-length coded
    // picture needs a byte of coded data for every 128 pixels; a small one
    // may be anything from a lone end-of-bitmap on.
    if (rgb) needed = rowLen * height;
    else if (rle) needed = pixels > (int64_t{1} << 16) ? pixels / 128 : 2;
    else if (packed) needed = (int64_t{width} + packed->pixels - 1) / packed->pixels * packed->bytes * height;
    else if (compression == FourCC("CLJR")) needed = (int64_t{width} + 3) / 4 * 4 * height;
    else if (planarShare) needed = int64_t{width} * height + 2 * int64_t{width / planarShare} * (height / planarShare);
    if (needed < 0 || needed > static_cast<int64_t>(available)) return 0;

    if (!bitmap.Allocate(width, height, bitCount == 1 && rgb ? ie1g : ie24RGB)) return 0;
    // Row n of the source, counted from the first stored.
    auto target = [&](int32_t n, bool topFirst) { return bitmap.GetScanline(topFirst ? n : height - 1 - n); };

    const uint8_t* table = dib + headerSize;
    const size_t tableEntries = offset > headerSize ? (offset - headerSize) / 4 : 0;
    auto entry = [&](uint32_t i) {
        if (i >= tableEntries || headerSize + 4 * size_t{i} + 3 > dibSize) return TRGB{};
        return TRGB{table[4 * i], table[4 * i + 1], table[4 * i + 2]};
    };

    if (rle) {
        // Pixels no code reaches keep colour 0, as a cleared screen would.
        const TRGB background = entry(0);
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x) PutPixel(bitmap.GetScanline(y), x, background);
        const bool four = compression == 2;
        // A code pair is a run (count, colours) or an escape: 0 ends the row,
        // 1 the picture, 2 moves right and up by the next two bytes, 3 and
        // more starts that many literal pixels padded to a whole word.
        int32_t n = 0, x = 0;
        // Pixels past the row end are dropped.
        auto put = [&](uint8_t value, int32_t k) {
            PutPixel(target(n, false), x++, entry(four ? static_cast<uint8_t>(k % 2 ? value & 15 : value >> 4) : value));
        };
        size_t at = 0;
        while (n < height && at + 2 <= available) {
            const uint8_t count = data[at], code = data[at + 1];
            at += 2;
            if (count > 0) {
                for (int32_t k = 0; k < count && x < width; ++k) put(code, k);
            } else if (code == 0) {
                ++n, x = 0;
            } else if (code == 1) {
                break;
            } else if (code == 2) {
                if (at + 2 > available) break;
                x += data[at], n += data[at + 1];
                at += 2;
            } else {
                const size_t literal = four ? (code + 1u) / 2 : code;
                if (at + literal > available) break;
                for (int32_t k = 0; k < code && x < width; ++k) put(data[at + static_cast<size_t>(four ? k / 2 : k)], k);
                at += literal + (literal & 1);
            }
        }
        return bitCount;
    }

    if (rgb) {
        const bool topFirst = rawHeight < 0;
        uint32_t masks[3] = {0x7C00, 0x3E0, 0x1F};
        if (compression == 3 && bitCount == 16 && headerSize + 12 <= dibSize)
            for (int k = 0; k < 3; ++k) masks[k] = Get32(dib + headerSize + 4 * k);
        const int32_t nr = IEBitMaskWidth(masks[0]), ng = IEBitMaskWidth(masks[1]), nb = IEBitMaskWidth(masks[2]);
        // Shifts of damaged masks beyond a word give 0.
        auto shift = [](uint32_t value, int32_t right) -> uint8_t {
            if (right >= 32 || right <= -32) return 0;
            return static_cast<uint8_t>(right >= 0 ? value >> right : value << -right);
        };
        for (int32_t n = 0; n < height; ++n) {
            const uint8_t* src = data + rowLen * n;
            uint8_t* row = target(n, topFirst);
            switch (bitCount) {
                case 1: std::memcpy(row, src, static_cast<size_t>(std::min<int64_t>(rowLen, bitmap.GetRowLen()))); break;
                case 4:
                    for (int32_t x = 0; x < width; ++x) PutPixel(row, x, entry(x % 2 ? src[x / 2] & 15 : src[x / 2] >> 4));
                    break;
                case 8:
                    for (int32_t x = 0; x < width; ++x) PutPixel(row, x, entry(src[x]));
                    break;
                case 16:
                    for (int32_t x = 0; x < width; ++x) {
                        const uint32_t p = uint32_t{src[2 * x]} | uint32_t{src[2 * x + 1]} << 8;
                        TRGB c;
                        c.r = shift(p & masks[0], nr + ng + nb - 8);
                        c.g = shift(p & masks[1], ng + nb - 8);
                        c.b = shift((p & 0xFF) & (masks[2] & 0xFF), -(8 - nb));
                        PutPixel(row, x, c);
                    }
                    break;
                case 24: std::memcpy(row, src, static_cast<size_t>(width) * 3); break;
                default:  // 32
                    for (int32_t x = 0; x < width; ++x) std::memcpy(row + 3 * x, src + 4 * x, 3);
                    break;
            }
        }
        return bitCount;
    }

    if (planarShare) {
        const bool topFirst = rawHeight > 0;
        const int32_t chromaWidth = width / planarShare;
        const uint8_t* lumaPlane = data;
        const uint8_t* first = data + int64_t{width} * height;
        const uint8_t* second = first + int64_t{chromaWidth} * (height / planarShare);
        const uint8_t* uPlane = planarVFirst ? second : first;
        const uint8_t* vPlane = planarVFirst ? first : second;
        const int32_t chromaRows = height / planarShare;
        for (int32_t n = 0; n < height; ++n) {
            uint8_t* row = target(n, topFirst);
            const int32_t cy = std::min(n / planarShare, chromaRows - 1);
            for (int32_t x = 0; x < width; ++x) {
                const int32_t cx = std::min(x / planarShare, chromaWidth - 1);
                // A picture narrower or lower than one chroma block has none.
                const bool chroma = cx >= 0 && cy >= 0;
                const int64_t at = int64_t{cy} * chromaWidth + cx;
                PutPixel(row, x, IEYUVToRGB(lumaPlane[int64_t{n} * width + x], chroma ? uPlane[at] : 128, chroma ? vPlane[at] : 128));
            }
        }
        return bitCount;
    }

    if (packed || compression == FourCC("CLJR")) {
        const bool topFirst = packed && packed->topFirstWhenNegative ? rawHeight < 0 : rawHeight > 0;
        const int32_t groupPixels = packed ? packed->pixels : 4, groupBytes = packed ? packed->bytes : 4;
        const int64_t stride = (int64_t{width} + groupPixels - 1) / groupPixels * groupBytes;
        for (int32_t n = 0; n < height; ++n) {
            uint8_t* row = target(n, topFirst);
            const uint8_t* src = data + stride * n;
            // Every group that starts inside the row; its pixels past the
            // right edge are dropped.
            for (int32_t x = 0; x < width; x += groupPixels, src += groupBytes) {
                for (int32_t k = 0; k < groupPixels && x + k < width; ++k) {
                    if (packed) {
                        PutPixel(row, x + k, IEYUVToRGB(src[packed->y[k]], src[packed->u[k]], src[packed->v[k]]));
                    } else {
                        // Fields of 5 (luma) and 6 (chroma) bits widened to 8.
                        const uint32_t word = Get32(src);
                        const uint32_t v6 = word & 63, u6 = word >> 6 & 63, y5 = word >> (12 + 5 * k) & 31;
                        PutPixel(row, x + k, IEYUVToRGB(int32_t(y5 << 3 | y5 >> 2), int32_t(u6 << 2 | u6 >> 4), int32_t(v6 << 2 | v6 >> 4)));
                    }
                }
            }
        }
    }
    return bitCount;
}

int32_t IEConvertRowBitDepth(const uint8_t* source, uint8_t* destination, int32_t sourceBits,
                             TIEQuantizer* quantizer, const TRGB* palette, int32_t count, int32_t destinationBits) {
    auto bit = [&](int32_t i) { return (source[i / 8] >> (7 - i % 8)) & 1; };
    auto nibble = [&](int32_t i) { return i % 2 ? source[i / 2] & 15 : source[i / 2] >> 4; };
    auto putNibble = [&](int32_t i, int32_t v) { destination[i / 2] |= static_cast<uint8_t>(i % 2 ? v & 15 : (v & 15) << 4); };
    auto index = [&](int32_t i) {
        return quantizer ? quantizer->ColorIndex(TRGB{source[3 * i], source[3 * i + 1], source[3 * i + 2]}) : 0;
    };
    const int32_t pair = sourceBits * 100 + destinationBits;
    for (int32_t i = 0; i < count; ++i) {
        switch (pair) {
            case 2404: putNibble(i, index(i)); break;
            case 2408: destination[i] = static_cast<uint8_t>(index(i)); break;
            case 3224: std::memcpy(destination + 3 * i, source + 4 * i, 3); break;
            case 801:
                if (i == 0) std::memset(destination, 0, static_cast<size_t>((count + 7) / 8));
                if (source[i] & 1) destination[i / 8] |= static_cast<uint8_t>(0x80 >> (i % 8));
                break;
            case 824: std::memcpy(destination + 3 * i, &palette[source[i]], 3); break;
            case 104: putNibble(i, bit(i)); break;
            case 108: destination[i] = static_cast<uint8_t>(bit(i)); break;
            case 124: std::memcpy(destination + 3 * i, &palette[bit(i)], 3); break;
            case 408: destination[i] = static_cast<uint8_t>(nibble(i)); break;
            case 424: std::memcpy(destination + 3 * i, &palette[nibble(i)], 3); break;
            default: break;
        }
    }
    switch (pair) {
        case 2424: std::memcpy(destination, source, static_cast<size_t>(count) * 3); break;
        case 808: std::memcpy(destination, source, static_cast<size_t>(count)); break;
        case 101: std::memcpy(destination, source, static_cast<size_t>((count + 7) / 8)); break;
        case 404: std::memcpy(destination, source, static_cast<size_t>((count + 1) / 2)); break;
        default: break;
    }
    switch (destinationBits) {
        case 1: return (count + 7) / 8;
        case 4: return (count + 1) / 2;
        case 8: return count;
        case 24: return 3 * count;
        default: return 0;
    }
}

int32_t IEPackedDIBToDibbitmap(const uint8_t* dib, size_t dibSize, TIEDibbitmap& dibbitmap, const uint8_t* bits,
                               size_t bitsSize) {
    TIEBitmap decoded;
    const int32_t bitCount = IEDIBToIEBitmap(dib, dibSize, decoded, bits, bitsSize);
    if (bitCount == 0) return 0;
    const bool mono = decoded.GetPixelFormat() == ie1g;
    if (!dibbitmap.AllocateBits(decoded.GetWidth(), decoded.GetHeight(), mono ? 1 : 24)) return bitCount;
    const auto bytes = static_cast<size_t>(mono ? (decoded.GetWidth() + 7) / 8 : decoded.GetWidth() * 3);
    for (int32_t y = 0; y < decoded.GetHeight(); ++y)
        std::memcpy(dibbitmap.GetScanline(y), decoded.GetScanline(y), bytes);
    return bitCount;
}
