#include "imaging/core/ie_dib_export.h"

#include <cstring>

#include "imaging/core/ie_bitmap.h"

namespace {

void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

std::vector<uint8_t> _CopyBitmaptoDIBEx(TIEBitmap& bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                                        int32_t dpiX, int32_t dpiY) {
    const TIEPixelFormat format = bitmap.GetPixelFormat();
    if (format != ie1g && format != ie24RGB && format != ie8g && format != ie8p && bitmap.GetWidth() > 0 &&
        bitmap.GetHeight() > 0) {
        TIEBitmap copy;
        copy.Assign(bitmap);
        copy.SetPixelFormat(ie24RGB);
        return _CopyBitmaptoDIBEx(copy, x1, y1, x2, y2, dpiX, dpiY);
    }
    if (x2 == 0) x2 = bitmap.GetWidth();
    if (y2 == 0) y2 = bitmap.GetHeight();
    // Swapped corners or a rectangle reaching outside would give negative
    // sizes or rows read past the picture.
    if (x1 < 0 || y1 < 0 || x2 < x1 || y2 < y1 || x2 > bitmap.GetWidth() || y2 > bitmap.GetHeight()) return {};
    const int32_t w = x2 - x1, h = y2 - y1;
    const int32_t bits = format == ie1g ? 1 : format == ie24RGB ? 24 : format == ie8g || format == ie8p ? 8 : 0;
    const int64_t rowLen = (int64_t{w} * bits + 31) / 32 * 4;
    const int64_t tableBytes = bits == 1 ? 8 : bits == 8 ? 1024 : 0;
    std::vector<uint8_t> dib(static_cast<size_t>(44 + tableBytes + rowLen * h), 0);
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
