#include "platform/dib_layout.h"

#include <bit>
#include <cstring>

namespace {

uint16_t Word(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t DWord(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

}  // namespace

uint32_t TDibHeader::MaskBytesAfterHeader() const {
    if (!BitFields() || size >= 52) return 0;
    return compression == kDibAlphaBitFields ? 16 : 12;
}

TDibHeader DibParseHeader(const uint8_t* bytes, uint32_t size) {
    TDibHeader h;
    h.size = size;
    if (size == 12) {
        h.width = Word(bytes + 4);
        h.height = Word(bytes + 6);
        h.planes = Word(bytes + 8);
        h.bitCount = Word(bytes + 10);
    } else {
        uint8_t full[56] = {};
        std::memcpy(full, bytes, size < 56 ? size : 56);
        h.width = static_cast<int32_t>(DWord(full + 4));
        h.height = static_cast<int32_t>(DWord(full + 8));
        h.planes = Word(full + 12);
        h.bitCount = Word(full + 14);
        h.compression = DWord(full + 16);
        h.sizeImage = DWord(full + 20);
        h.xPelsPerMeter = static_cast<int32_t>(DWord(full + 24));
        h.yPelsPerMeter = static_cast<int32_t>(DWord(full + 28));
        h.clrUsed = DWord(full + 32);
        h.clrImportant = DWord(full + 36);
        if (h.BitFields() && size >= 52) {
            for (int i = 0; i < 3; ++i) h.masks[i] = DWord(full + 40 + 4 * i);
            // The alpha mask has a place from the 56-byte form on.
            if (size >= 56) h.masks[3] = DWord(full + 52);
            return h;
        }
    }
    if (h.bitCount == 16) {
        h.masks[0] = 0x7C00, h.masks[1] = 0x03E0, h.masks[2] = 0x001F;
    } else if (h.bitCount == 32) {
        h.masks[0] = 0x00FF0000, h.masks[1] = 0x0000FF00, h.masks[2] = 0x000000FF, h.masks[3] = 0xFF000000;
    }
    return h;
}

void DibTakeMasksAfterHeader(TDibHeader& header, const uint8_t* bytes) {
    const uint32_t count = header.MaskBytesAfterHeader() / 4;
    header.masks[3] = 0;
    for (uint32_t i = 0; i < count; ++i) header.masks[i] = DWord(bytes + 4 * i);
}

uint8_t ExpandChannel(uint32_t v, int width) {
    switch (width) {
        case 1: return v ? 255 : 0;
        case 2: return static_cast<uint8_t>(v << 6 | v << 4 | v << 2 | v);
        case 3: return static_cast<uint8_t>(v << 5 | v << 2 | v >> 1);
        case 4: return static_cast<uint8_t>(v << 4 | v);
        case 5: return static_cast<uint8_t>(v << 3 | v >> 2);
        case 6: return static_cast<uint8_t>(v << 2 | v >> 4);
        case 7: return static_cast<uint8_t>(v << 1 | v >> 6);
        default: return static_cast<uint8_t>(width > 8 ? v >> (width - 8) : v);
    }
}

uint8_t DibMaskSpan(uint32_t mask) {
    if (mask == 0) return 0;
    return static_cast<uint8_t>(32 - std::countl_zero(mask) - std::countr_zero(mask));
}

uint8_t DibMaskLow(uint32_t mask) { return mask == 0 ? 0 : static_cast<uint8_t>(std::countr_zero(mask)); }

uint8_t DibMaskedChannel(uint32_t pixel, uint32_t mask) {
    if (mask == 0) return 0;
    return ExpandChannel((pixel & mask) >> DibMaskLow(mask), DibMaskSpan(mask));
}

void DibUnpackRow(const uint8_t* row, int32_t width, int bitCount, const uint32_t masks[4], uint8_t* bgra) {
    const int bytes = bitCount / 8;
    for (int32_t x = 0; x < width; ++x, row += bytes, bgra += 4) {
        const uint32_t pixel = bytes == 2 ? Word(row) : DWord(row);
        bgra[0] = DibMaskedChannel(pixel, masks[2]);
        bgra[1] = DibMaskedChannel(pixel, masks[1]);
        bgra[2] = DibMaskedChannel(pixel, masks[0]);
        bgra[3] = DibMaskedChannel(pixel, masks[3]);
    }
}
