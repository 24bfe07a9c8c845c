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
#include <vector>

#include "pictures/picture_bitmap.h"

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
    void ProcessImage(const TPictureBitmap& bitmap);
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
TGIFPalette BuildOctreePalette(const TPictureBitmap& bitmap24, int colors, int colorDepth, bool withSystemColors);

// A new 8-bit bitmap whose palette has 256 entries (the palette of the
// method, black beyond it), or for rdNone a 24-bit copy. An unknown
// reduction or dither method, or a custom palette without entries, gives an
// empty bitmap.
TPictureBitmap ReduceBitmapColors(const TPictureBitmap& bitmap, int reduction, int dither,
                                  const TGIFPalette* customPalette, int colorBits);

// A 24-bit copy of any bitmap.
TPictureBitmap ConvertTo24Bit(const TPictureBitmap& bitmap);
