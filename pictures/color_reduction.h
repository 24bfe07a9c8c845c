// Colour reduction: turning a true-colour bitmap into an 8-bit palette bitmap
// for a GIF frame. A reduction method picks the palette (a fixed table of
// our own, or one computed by the octree quantizer), a colour lookup maps a
// pixel to a palette index, and a ditherer (pictures/dithering.h) may spread
// each pixel's quantisation error onto its neighbours.
//
// The system palette (20 colours) and the halftone palette are fixed tables
// here, and the nearest-colour query of the slow lookup is a plain search.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "platform/bitmap.h"

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

// Pixels of the toolkit's bitmap. Reading works for every format (through
// the colour table for 1, 4 and 8 bits); writing for 24-bit bitmaps only.
TGIFColor GetBitmapPixel(const TBitmap& bitmap, int x, int y);
void SetBitmapPixel(TBitmap& bitmap, int x, int y, const TGIFColor& color);
// A new bitmap of the given size and format (24-bit bitmaps keep blue,
// green, red per pixel).
TBitmap MakeBitmap(int width, int height, TPixelFormat format);
// The colour table of a 1, 4 or 8-bit bitmap.
std::vector<TGIFColor> BitmapPalette(const TBitmap& bitmap);

enum TColorReduction {
    rdNone = 0,
    rdSystem20 = 1,
    rdHalftone = 2,
    rdWindowsGray = 3,
    rdMonochrome = 4,
    rdGrayScale = 5,
    rdNetscape = 6,
    rdOctree = 7,
    rdOctreeSystem = 8,
    rdCustomPalette = 9,
};

using TGIFPalette = std::vector<TGIFColor>;

// Fixed palettes.
const TGIFPalette& SystemPalette20();
const TGIFPalette& HalftonePalette();
TGIFPalette CreateWebPalette();          // 216 entries: index R x 36 + G x 6 + B, levels x 51
TGIFPalette CreateWindowsGrayPalette();  // 0, 128, 192, 255
TGIFPalette CreateMonochromePalette();   // black, white
TGIFPalette CreateGrayScalePalette();    // 256 greys

// Maps a colour to a palette index and gives back the chosen colour.
class TColorLookup {
public:
    virtual ~TColorLookup() = default;
    int Colors() const { return colors_; }
    virtual int Lookup(uint8_t red, uint8_t green, uint8_t blue, TGIFColor& chosen) = 0;

protected:
    explicit TColorLookup(int colors) : colors_(colors) {}
    int colors_;
};

// An inverse table of 15-bit colours; a cell is filled by a search on its
// first use, so later colours of the same cell cost one table read.
class TFastColorLookup : public TColorLookup {
public:
    explicit TFastColorLookup(const TGIFPalette& palette);
    int Lookup(uint8_t red, uint8_t green, uint8_t blue, TGIFColor& chosen) override;

private:
    TGIFPalette palette_;
    std::vector<int16_t> inverse_;
    // Entries whose cell an earlier entry holds: a colour of the palette
    // always maps to its own entry.
    std::unordered_map<uint32_t, int16_t> sharedCells_;
};

// The nearest palette entry by Euclidean distance (first entry wins ties).
class TSlowColorLookup : public TColorLookup {
public:
    explicit TSlowColorLookup(const TGIFPalette& palette);
    int Lookup(uint8_t red, uint8_t green, uint8_t blue, TGIFColor& chosen) override;

private:
    TGIFPalette palette_;
};

class TNetscapeColorLookup : public TColorLookup {
public:
    TNetscapeColorLookup() : TColorLookup(216) {}
    int Lookup(uint8_t red, uint8_t green, uint8_t blue, TGIFColor& chosen) override;
};

class TGrayScaleLookup : public TColorLookup {
public:
    TGrayScaleLookup() : TColorLookup(256) {}
    int Lookup(uint8_t red, uint8_t green, uint8_t blue, TGIFColor& chosen) override;
};

class TMonochromeLookup : public TColorLookup {
public:
    TMonochromeLookup() : TColorLookup(2) {}
    int Lookup(uint8_t red, uint8_t green, uint8_t blue, TGIFColor& chosen) override;
};

// Octree colour quantizer that reduces as it goes, so the tree never holds
// more than the maximum number of colours plus one leaf.
class TColorQuantizer {
public:
    TColorQuantizer(int maxColors, int colorDepth);
    ~TColorQuantizer();
    TColorQuantizer(const TColorQuantizer&) = delete;
    TColorQuantizer& operator=(const TColorQuantizer&) = delete;

    void AddColor(uint8_t red, uint8_t green, uint8_t blue);
    // Every pixel of a 24-bit bitmap, rows top to bottom.
    void ProcessImage(const TBitmap& bitmap);
    int LeafCount() const { return leafCount_; }
    TGIFPalette ColorTable() const;

private:
    struct TOctreeNode;
    void Reduce();

    std::unique_ptr<TOctreeNode> root_;
    int leafCount_ = 0;
    std::array<TOctreeNode*, 9> reducible_{};
    int maxColors_;
    int colorDepth_;
};

// A palette of n entries from the octree of the bitmap (black beyond the
// colours found). With system colours the first and last ten entries are the
// system palette's and the quantizer fills 236 entries between them.
TGIFPalette BuildOctreePalette(const TBitmap& bitmap24, int colors, int colorDepth, bool withSystemColors);

// A new 8-bit bitmap whose palette has 256 entries (the palette of the
// method, black beyond it), or for rdNone a 24-bit copy. An unknown
// reduction or dither method, or a custom palette without entries, gives an
// empty bitmap. The source bitmap is left as it is.
TBitmap ReduceBitmapColors(const TBitmap& bitmap, int reduction, int dither, const TGIFPalette* customPalette,
                           int colorBits);

// A new 8-bit bitmap of a 24-bit one's pixels through a lookup into palette
// (its first 256 entries; black beyond it) with a dither method; empty for
// another source format, an empty lookup or an unknown method.
TBitmap MapToPalette(const TBitmap& source24, const TGIFPalette& palette, TColorLookup& lookup, int dither);

// A 24-bit copy of any bitmap.
TBitmap ConvertTo24Bit(const TBitmap& bitmap);
