// Byte and cell helpers the PNG chunk classes share: big-endian numbers of
// the file, and cells of 1, 4 or 8 bits in the rows of the pixel store (the
// leftmost pixel in the high bits).
#pragma once

#include <cstdint>

inline uint32_t PngBigEndian32(const uint8_t* bytes) {
    return uint32_t{bytes[0]} << 24 | uint32_t{bytes[1]} << 16 | uint32_t{bytes[2]} << 8 | bytes[3];
}

inline void PutPngBigEndian32(uint8_t* bytes, uint32_t value) {
    bytes[0] = static_cast<uint8_t>(value >> 24);
    bytes[1] = static_cast<uint8_t>(value >> 16);
    bytes[2] = static_cast<uint8_t>(value >> 8);
    bytes[3] = static_cast<uint8_t>(value);
}

inline int PngCell(const uint8_t* row, int32_t x, int bits) {
    switch (bits) {
        case 1: return row[x >> 3] >> (7 - (x & 7)) & 1;
        case 4: return (x & 1) ? row[x >> 1] & 15 : row[x >> 1] >> 4;
        default: return row[x];
    }
}

inline void SetPngCell(uint8_t* row, int32_t x, int bits, int value) {
    switch (bits) {
        case 1:
            row[x >> 3] = static_cast<uint8_t>((row[x >> 3] & ~(0x80 >> (x & 7))) | ((value & 1) << (7 - (x & 7))));
            break;
        case 4:
            row[x >> 1] = static_cast<uint8_t>((x & 1) ? (row[x >> 1] & 0xF0) | (value & 15)
                                                      : (row[x >> 1] & 0x0F) | (value & 15) << 4);
            break;
        default: row[x] = static_cast<uint8_t>(value); break;
    }
}
