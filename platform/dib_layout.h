// Pixel layouts of device-independent bitmaps, the system's DIB format that
// BMP files and packed DIB data carry: the fields of the info header, where
// its bit-field masks lie, and how a masked channel widens to 8 bits. Every
// reader of such data takes them from here, so that all of them read a
// layout the same way; what each reader does with damage, palettes and
// pixel memory stays its own.
//
// Header forms: 12 bytes (core: 16-bit sizes, 3-byte colour entries), 16
// and 64 (OS/2 2.x), 40 (info), 52 and 56 (info with the colour masks, and
// the alpha mask, inside), 108 (V4) and 124 (V5). Fields a short form lacks
// read as 0. All integers are little-endian.
#pragma once

#include <cstdint>

constexpr uint32_t kDibRGB = 0, kDibRLE8 = 1, kDibRLE4 = 2, kDibBitFields = 3, kDibJPEG = 4, kDibPNG = 5,
                   kDibAlphaBitFields = 6;

struct TDibHeader {
    uint32_t size = 0;
    int32_t width = 0;
    int32_t height = 0;  // negative: rows stored top row first
    uint16_t planes = 0;
    uint16_t bitCount = 0;
    uint32_t compression = kDibRGB;
    uint32_t sizeImage = 0;
    int32_t xPelsPerMeter = 0;
    int32_t yPelsPerMeter = 0;
    uint32_t clrUsed = 0;
    uint32_t clrImportant = 0;
    // Red, green, blue and alpha masks of 16- and 32-bit pixels: the
    // file's own with bit fields, else the fixed layout (5-5-5 for 16 bits;
    // blue, green, red, alpha bytes for 32).
    uint32_t masks[4] = {0, 0, 0, 0};

    bool Core() const { return size == 12; }
    // Bytes of one colour-table entry.
    int EntrySize() const { return Core() ? 3 : 4; }
    bool BitFields() const { return compression == kDibBitFields || compression == kDibAlphaBitFields; }
    // Bytes of masks stored after the header, before any colour table: the
    // masks of a bit-field header too short to hold them itself.
    uint32_t MaskBytesAfterHeader() const;
};

// The header at bytes, of size bytes (at least 12; its own size field is
// not consulted). The masks are those inside the header, or the fixed
// layout; TakeMasksAfterHeader completes a short bit-field header.
TDibHeader DibParseHeader(const uint8_t* bytes, uint32_t size);
// Takes the MaskBytesAfterHeader() bytes that follow a short header.
void DibTakeMasksAfterHeader(TDibHeader& header, const uint8_t* bytes);

// Replicates the bits of a channel of width bits into 8 bits (5 bits 31
// become 255, not 248); wider channels keep their top 8 bits.
uint8_t ExpandChannel(uint32_t value, int width);
// Index of the highest set bit minus the lowest, plus one; 0 for no bits.
uint8_t DibMaskSpan(uint32_t mask);
// The lowest set bit; 0 for no bits.
uint8_t DibMaskLow(uint32_t mask);
// The channel of a pixel under mask as 8 bits; an empty mask gives 0.
uint8_t DibMaskedChannel(uint32_t pixel, uint32_t mask);
// A row of width 16- or 32-bit pixels (little-endian) to blue, green, red
// and alpha bytes through the masks.
void DibUnpackRow(const uint8_t* row, int32_t width, int bitCount, const uint32_t masks[4], uint8_t* bgra);
