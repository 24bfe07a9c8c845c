// The bitmap the GIF picture classes take in and give out.
//
// This is the one seam between the picture classes and the toolkit's bitmap:
// a width, a height, rows of 24-bit pixels (blue, green, red) or of 8-bit
// palette indices with their palette, and an optional transparency mask.
// Everything in pictures/ reaches pixels only through this type, so binding
// it to the toolkit's bitmap type means changing this file and its .cpp only.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/errors.h"

// One colour of a palette or colour table.
struct TGIFColor {
    uint8_t Red = 0;
    uint8_t Green = 0;
    uint8_t Blue = 0;
    friend bool operator==(const TGIFColor&, const TGIFColor&) = default;
};

// A toolkit colour (red in the low byte: 0x00BBGGRR) to a colour and back.
inline TGIFColor ColorFromToolkit(uint32_t color) {
    return {static_cast<uint8_t>(color), static_cast<uint8_t>(color >> 8), static_cast<uint8_t>(color >> 16)};
}
inline uint32_t ColorToToolkit(const TGIFColor& color) {
    return color.Red | (static_cast<uint32_t>(color.Green) << 8) | (static_cast<uint32_t>(color.Blue) << 16);
}

enum class TPixelFormat { pf8bit, pf24bit };

class TPictureBitmap {
public:
    TPictureBitmap() = default;
    // Raises Exception for negative sizes or more pixels than a bitmap may hold.
    TPictureBitmap(int width, int height, TPixelFormat format);

    int Width() const { return width_; }
    int Height() const { return height_; }
    TPixelFormat PixelFormat() const { return format_; }
    bool Empty() const { return width_ <= 0 || height_ <= 0; }
    int BytesPerPixel() const { return format_ == TPixelFormat::pf24bit ? 3 : 1; }

    // Row 0 is the top row. 24-bit rows hold blue, green, red per pixel.
    uint8_t* ScanLine(int row) { return pixels_.data() + static_cast<size_t>(row) * RowBytes(); }
    const uint8_t* ScanLine(int row) const { return pixels_.data() + static_cast<size_t>(row) * RowBytes(); }
    size_t RowBytes() const { return static_cast<size_t>(width_) * BytesPerPixel(); }

    // The colour of a pixel (through the palette for 8-bit bitmaps; an index
    // beyond the palette reads as black).
    TGIFColor GetPixel(int x, int y) const;
    // 24-bit bitmaps only.
    void SetPixel(int x, int y, const TGIFColor& color);

    // The palette of an 8-bit bitmap.
    std::vector<TGIFColor> Palette;
    // Transparent pixels, one byte per pixel row by row (non-zero marks a
    // transparent pixel); empty for an opaque bitmap.
    std::vector<uint8_t> Mask;
    bool Transparent() const { return !Mask.empty(); }

    // The largest number of pixels a bitmap may hold.
    static constexpr int64_t kMaxPixels = int64_t{1} << 28;

private:
    int width_ = 0;
    int height_ = 0;
    TPixelFormat format_ = TPixelFormat::pf24bit;
    std::vector<uint8_t> pixels_;
};
