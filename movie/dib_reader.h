// The movie builder's in-memory device-independent bitmap: every lossless
// picture of a movie passes through it. It reads BMP files (1, 4, 8, 16, 24
// and 32 bits, run-length coded 4- and 8-bit data, bit-field masks, bottom-up
// and top-down rows, core, info, V4 and V5 headers), writes them, and does
// the pixel arithmetic the image and canvas classes need: colours, palette
// look-ups, alpha bytes, rectangle copies and colour counts.
//
// Colour values taken and filled with are 0x00RRGGBB integers (blue in the
// low byte: a 24-bit BMP pixel read as a little-endian integer), not the
// toolkit's colour order; colours returned are triples stored blue, green,
// red. The pixel memory is the reader's own (or the caller's, through
// SetInfoAndBits); there is no device context behind it.
//
// Bit-field files of 32 bits, and of 16 bits with an alpha field, load as
// plain 32-bit pixels whose fourth byte is alpha: the alpha field's value
// scaled to 8 bits, or 0 when the file gives no alpha mask. Fields wider
// than 8 bits keep their top bits. Files that cannot be shown raise
// EReadError saying why; damage that still leaves a picture is listed in
// Warnings.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/dib_layout.h"
#include "platform/stream.h"

struct TBitmapInfoHeader {
    uint32_t biSize = 40;
    int32_t biWidth = 0;
    int32_t biHeight = 0;  // negative: rows stored top first
    uint16_t biPlanes = 1;
    uint16_t biBitCount = 0;
    uint32_t biCompression = 0;  // 0 RGB, 1 RLE8, 2 RLE4, 3 bit fields
    uint32_t biSizeImage = 0;
    int32_t biXPelsPerMeter = 0;
    int32_t biYPelsPerMeter = 0;
    uint32_t biClrUsed = 0;
    uint32_t biClrImportant = 0;
};

struct TRGBQuad {
    uint8_t rgbBlue = 0, rgbGreen = 0, rgbRed = 0, rgbReserved = 0;
    bool operator==(const TRGBQuad&) const = default;
};

struct TRGBTriple {
    uint8_t rgbtBlue = 0, rgbtGreen = 0, rgbtRed = 0;
    bool operator==(const TRGBTriple&) const = default;
    uint32_t Value() const { return uint32_t{rgbtRed} << 16 | uint32_t{rgbtGreen} << 8 | rgbtBlue; }
};

// The header and 256 colour entries. In bit-field mode the first three
// entries hold the red, green and blue masks as little-endian double words.
struct TBitmapInfo {
    TBitmapInfoHeader bmiHeader;
    TRGBQuad bmiColors[256];
};

class TBMPReader {
public:
    // Larger pictures are refused before their memory is taken.
    static constexpr int64_t kMaxImageBytes = int64_t{256} << 20;

    TBMPReader();
    TBMPReader(const TBMPReader&) = delete;
    TBMPReader& operator=(const TBMPReader&) = delete;

    TBitmapInfo Info;
    int32_t TransparentIndex = -1;
    int32_t Stride = 0;
    int32_t RowCount = 0;
    int32_t Pad = 0;
    uint8_t* Bits = nullptr;
    TRGBQuad* Palette = Info.bmiColors;
    uint8_t BlueBits = 0, GreenBits = 0, RedBits = 0;
    uint8_t BlueLoss = 0, GreenLoss = 0, RedLoss = 0;
    uint8_t GreenShift = 0, RedShift = 0;
    // Rows in memory order: for a bottom-up bitmap row 0 is the bottom row.
    std::vector<uint8_t*> Rows;
    // What the last load found damaged but could still show (runs that
    // leave the picture, indices past the palette), each kind once.
    std::vector<std::string> Warnings;

    // (Re)allocates for the format; see the source for the rules. A null
    // bits pointer makes the reader allocate (and keep the pixels when the
    // format does not change); a given pointer stays the caller's memory.
    void SetFormat(uint8_t* bits, int32_t width, int32_t height, uint16_t bitCount, uint8_t redBits = 0,
                   uint8_t greenBits = 0, uint8_t blueBits = 0);
    void SetSize(int32_t width, int32_t height, uint16_t bitCount) { SetFormat(nullptr, width, height, bitCount); }
    void SetInfo(const TBitmapInfo& info);
    void SetInfoAndBits(uint8_t* bits, const TBitmapInfo& info);
    void Assign(const TBMPReader& source, bool copyPixels);

    void LoadFromFile(const std::string& fileName);
    void LoadFromStream(TStream& stream);
    void SaveToStream(TStream& stream) const;

    int32_t GetWidth() const { return Info.bmiHeader.biWidth; }
    int32_t GetHeight() const { return Info.bmiHeader.biHeight; }
    uint16_t GetBitCount() const { return Info.bmiHeader.biBitCount; }
    uint32_t GetCompression() const { return Info.bmiHeader.biCompression; }
    uint32_t GetSizeImage() const { return Info.bmiHeader.biSizeImage; }
    uint32_t GetRedMask() const { return Mask(0); }
    uint32_t GetGreenMask() const { return Mask(1); }
    uint32_t GetBlueMask() const { return Mask(2); }
    void SetWidth(int32_t v) { Info.bmiHeader.biWidth = v; }
    void SetHeight(int32_t v) { Info.bmiHeader.biHeight = v; }
    void SetBitCount(uint16_t v) { Info.bmiHeader.biBitCount = v; }
    void SetCompression(uint32_t v) { Info.bmiHeader.biCompression = v; }
    void SetSizeImage(uint32_t v) { Info.bmiHeader.biSizeImage = v; }

    // Pixel access by memory row; coordinates outside the picture read as 0
    // and write nothing.
    uint8_t GetPixelIndex(int32_t row, int32_t col) const;
    void SetPixelIndex(int32_t row, int32_t col, uint8_t index);
    void GetPixelColor(int32_t row, int32_t col, TRGBTriple& color) const;
    void SetPixelColor(int32_t row, int32_t col, uint32_t color);
    void FillColor(uint32_t color);
    void FillTriple(const TRGBTriple& color) { FillColor(color.Value()); }
    // Coordinates counted from the top of the picture.
    void CopyRect(const TBMPReader& source, int32_t dstX, int32_t dstY, int32_t width, int32_t height, int32_t srcX,
                  int32_t srcY);
    void CopyAlphaFrom(const TBMPReader& source);
    void SetAlpha(uint8_t value);
    void SetAlphaWhereColored(uint8_t value);
    bool HasAlpha() const;
    // Distinct colours; compacts 4- and 8-bit palettes as a side effect.
    int32_t CountColors();
    uint8_t NearestPaletteIndex(uint32_t color) const;

private:
    uint32_t Mask(int i) const;
    void SetMask(int i, uint32_t mask);
    void DetectPaletteAlpha(TBitmapInfo& info);
    void TakeInfo(const TBitmapInfo& info, uint8_t* bits);
    uint32_t PackColor(uint32_t color) const;
    void DecodeRLE(const uint8_t* data, size_t size, bool fourBits);
    void TakeBitFieldPixels(const uint32_t masks[4]);
    void CheckPaletteIndices(uint32_t entries);
    void AddWarning(const std::string& text);
    void CompactPalette(const bool* used, int entries);

    std::vector<uint8_t> pixels_;
    bool ownsPixels_ = false;
    uint8_t redPos_ = 0, greenPos_ = 0, bluePos_ = 0;  // lowest bit of each mask
};
