#include "pictures/color_reduction.h"

#include <algorithm>
#include <cstdlib>

#include "pictures/dithering.h"

// ---------------------------------------------------------------- bitmap pixels

TGIFColor GetBitmapPixel(const TBitmap& bitmap, int x, int y) {
    const uint8_t* row = bitmap.ScanLine(y);
    auto entry = [&bitmap](int index) {
        TPaletteEntry e;
        bitmap.GetPaletteEntries(index, 1, &e);
        return TGIFColor{e.peRed, e.peGreen, e.peBlue};
    };
    switch (bitmap.PixelFormat()) {
    case TPixelFormat::pf1bit: return entry((row[x / 8] >> (7 - x % 8)) & 1);
    case TPixelFormat::pf4bit: return entry(x % 2 ? row[x / 2] & 15 : row[x / 2] >> 4);
    case TPixelFormat::pf8bit: return entry(row[x]);
    case TPixelFormat::pf24bit: return {row[x * 3 + 2], row[x * 3 + 1], row[x * 3]};
    case TPixelFormat::pf15bit:
    case TPixelFormat::pf16bit: {
        TBitmap copy = ConvertTo24Bit(bitmap);
        return GetBitmapPixel(copy, x, y);
    }
    default: return {row[x * 4 + 2], row[x * 4 + 1], row[x * 4]};
    }
}

void SetBitmapPixel(TBitmap& bitmap, int x, int y, const TGIFColor& color) {
    uint8_t* pixel = bitmap.ScanLine(y) + x * 3;
    pixel[0] = color.Blue;
    pixel[1] = color.Green;
    pixel[2] = color.Red;
}

TBitmap MakeBitmap(int width, int height, TPixelFormat format) {
    TBitmap bitmap;
    bitmap.SetPixelFormat(format);
    bitmap.SetSize(width, height);
    return bitmap;
}

std::vector<TGIFColor> BitmapPalette(const TBitmap& bitmap) {
    std::vector<TPaletteEntry> entries(static_cast<size_t>(bitmap.PaletteSize()));
    bitmap.GetPaletteEntries(0, bitmap.PaletteSize(), entries.data());
    std::vector<TGIFColor> palette;
    for (const TPaletteEntry& e : entries) palette.push_back({e.peRed, e.peGreen, e.peBlue});
    return palette;
}

TBitmap ConvertTo24Bit(const TBitmap& bitmap) {
    TBitmap copy(bitmap);
    if (copy.PixelFormat() != TPixelFormat::pf24bit) copy.SetPixelFormat(TPixelFormat::pf24bit);
    return copy;
}

// ---------------------------------------------------------------- fixed palettes

const TGIFPalette& SystemPalette20() {
    static const TGIFPalette palette = {
        {0, 0, 0},       {128, 0, 0},     {0, 128, 0},     {128, 128, 0},   {0, 0, 128},
        {128, 0, 128},   {0, 128, 128},   {192, 192, 192}, {192, 220, 192}, {166, 202, 240},
        {255, 251, 240}, {160, 160, 164}, {128, 128, 128}, {255, 0, 0},     {0, 255, 0},
        {255, 255, 0},   {0, 0, 255},     {255, 0, 255},   {0, 255, 255},   {255, 255, 255},
    };
    return palette;
}

// Our own halftone table: the first ten system colours, the 216-colour cube,
// twenty greys between the cube's grey levels and the last ten system colours.
const TGIFPalette& HalftonePalette() {
    static const TGIFPalette palette = [] {
        const TGIFPalette& system = SystemPalette20();
        TGIFPalette result(system.begin(), system.begin() + 10);
        TGIFPalette web = CreateWebPalette();
        result.insert(result.end(), web.begin(), web.end());
        for (int i = 1; i <= 20; ++i) {
            auto level = static_cast<uint8_t>(i * 255 / 21);
            result.push_back({level, level, level});
        }
        result.insert(result.end(), system.begin() + 10, system.end());
        return result;
    }();
    return palette;
}

TGIFPalette CreateWebPalette() {
    TGIFPalette palette;
    palette.reserve(216);
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b)
                palette.push_back({static_cast<uint8_t>(r * 51), static_cast<uint8_t>(g * 51),
                                   static_cast<uint8_t>(b * 51)});
    return palette;
}

TGIFPalette CreateWindowsGrayPalette() { return {{0, 0, 0}, {128, 128, 128}, {192, 192, 192}, {255, 255, 255}}; }

TGIFPalette CreateMonochromePalette() { return {{0, 0, 0}, {255, 255, 255}}; }

TGIFPalette CreateGrayScalePalette() {
    TGIFPalette palette(256);
    for (int i = 0; i < 256; ++i) palette[i] = {static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(i)};
    return palette;
}

// ---------------------------------------------------------------- lookups

namespace {

int InverseCell(uint8_t red, uint8_t green, uint8_t blue) {
    return (red >> 3) | ((green >> 3) << 5) | ((blue >> 3) << 10);
}

}  // namespace

TFastColorLookup::TFastColorLookup(const TGIFPalette& palette)
    : TColorLookup(static_cast<int>(std::min<size_t>(palette.size(), 256))),
      palette_(palette.begin(), palette.begin() + colors_),
      inverse_(32768, -1) {
    for (int i = 0; i < colors_; ++i) {
        int16_t& cell = inverse_[InverseCell(palette_[i].Red, palette_[i].Green, palette_[i].Blue)];
        if (cell == -1) cell = static_cast<int16_t>(i);
        else if (!(palette_[cell] == palette_[i])) sharedCells_.emplace(ColorToToolkit(palette_[i]), static_cast<int16_t>(i));
    }
}

int TFastColorLookup::Lookup(uint8_t red, uint8_t green, uint8_t blue, TGIFColor& chosen) {
    if (!sharedCells_.empty()) {
        auto found = sharedCells_.find(ColorToToolkit({red, green, blue}));
        if (found != sharedCells_.end()) {
            chosen = palette_[found->second];
            return found->second;
        }
    }
    int16_t& cell = inverse_[InverseCell(red, green, blue)];
    if (cell == -1) {
        int best = 196608;
        int found = 0;
        for (int i = 0; i < colors_; ++i) {
            int distance = std::abs(red - palette_[i].Red) + std::abs(green - palette_[i].Green) +
                           std::abs(blue - palette_[i].Blue);
            if (distance < best) {
                best = distance;
                found = i;
            }
        }
        cell = static_cast<int16_t>(found);
    }
    chosen = palette_[cell];
    return cell;
}

TSlowColorLookup::TSlowColorLookup(const TGIFPalette& palette)
    : TColorLookup(static_cast<int>(std::min<size_t>(palette.size(), 256))),
      palette_(palette.begin(), palette.begin() + colors_) {}

int TSlowColorLookup::Lookup(uint8_t red, uint8_t green, uint8_t blue, TGIFColor& chosen) {
    int best = -1;
    int found = 0;
    for (int i = 0; i < colors_; ++i) {
        int dr = red - palette_[i].Red, dg = green - palette_[i].Green, db = blue - palette_[i].Blue;
        int distance = dr * dr + dg * dg + db * db;
        if (best < 0 || distance < best) {
            best = distance;
            found = i;
        }
    }
    chosen = palette_[found];
    return found;
}

int TNetscapeColorLookup::Lookup(uint8_t red, uint8_t green, uint8_t blue, TGIFColor& chosen) {
    int r = (red + 3) / 51, g = (green + 3) / 51, b = (blue + 3) / 51;
    chosen = {static_cast<uint8_t>(r * 51), static_cast<uint8_t>(g * 51), static_cast<uint8_t>(b * 51)};
    return r * 36 + g * 6 + b;
}

int TGrayScaleLookup::Lookup(uint8_t red, uint8_t green, uint8_t blue, TGIFColor& chosen) {
    auto grey = static_cast<uint8_t>((77 * red + 150 * green + 29 * blue) >> 8);
    chosen = {grey, grey, grey};
    return grey;
}

int TMonochromeLookup::Lookup(uint8_t red, uint8_t green, uint8_t blue, TGIFColor& chosen) {
    bool white = 77 * red + 150 * green + 29 * blue >= 32513;
    chosen = white ? TGIFColor{255, 255, 255} : TGIFColor{0, 0, 0};
    return white ? 1 : 0;
}

// ---------------------------------------------------------------- octree quantizer

struct TColorQuantizer::TOctreeNode {
    bool leaf = false;
    uint32_t pixelCount = 0;
    uint32_t redSum = 0, greenSum = 0, blueSum = 0;
    TOctreeNode* nextReducible = nullptr;
    std::array<std::unique_ptr<TOctreeNode>, 8> children;
};

TColorQuantizer::TColorQuantizer(int maxColors, int colorDepth)
    : maxColors_(std::max(maxColors, 1)), colorDepth_(std::clamp(colorDepth, 1, 8)) {}

TColorQuantizer::~TColorQuantizer() = default;

void TColorQuantizer::AddColor(uint8_t red, uint8_t green, uint8_t blue) {
    std::unique_ptr<TOctreeNode>* slot = &root_;
    for (int level = 0;; ++level) {
        if (!*slot) {
            *slot = std::make_unique<TOctreeNode>();
            TOctreeNode* created = slot->get();
            if (level == colorDepth_) {
                created->leaf = true;
                ++leafCount_;
            } else {
                created->nextReducible = reducible_[level];
                reducible_[level] = created;
            }
        }
        TOctreeNode* node = slot->get();
        if (node->leaf) {
            ++node->pixelCount;
            node->redSum += red;
            node->greenSum += green;
            node->blueSum += blue;
            return;
        }
        int shift = 7 - level;
        int child = (((red >> shift) & 1) << 2) | (((green >> shift) & 1) << 1) | ((blue >> shift) & 1);
        slot = &node->children[child];
    }
}

void TColorQuantizer::ProcessImage(const TBitmap& bitmap) {
    for (int y = 0; y < bitmap.Height(); ++y) {
        const uint8_t* row = bitmap.ScanLine(y);
        for (int x = 0; x < bitmap.Width(); ++x, row += 3) {
            AddColor(row[2], row[1], row[0]);
            while (leafCount_ > maxColors_) Reduce();
        }
    }
}

void TColorQuantizer::Reduce() {
    int level = colorDepth_ - 1;
    while (level > 0 && reducible_[level] == nullptr) --level;
    TOctreeNode* node = reducible_[level];
    if (node == nullptr) return;
    reducible_[level] = node->nextReducible;
    // The deepest levels with reducible nodes are reduced first, so every
    // child here is a leaf.
    int children = 0;
    node->pixelCount = node->redSum = node->greenSum = node->blueSum = 0;
    for (auto& child : node->children) {
        if (!child) continue;
        node->pixelCount += child->pixelCount;
        node->redSum += child->redSum;
        node->greenSum += child->greenSum;
        node->blueSum += child->blueSum;
        child.reset();
        ++children;
    }
    node->leaf = true;
    leafCount_ -= children - 1;
}

TGIFPalette TColorQuantizer::ColorTable() const {
    TGIFPalette table;
    auto walk = [&table](const TOctreeNode* node, auto& self) -> void {
        if (node == nullptr) return;
        if (node->leaf) {
            if (node->pixelCount == 0) {
                table.push_back({});
            } else {
                table.push_back({static_cast<uint8_t>(node->redSum / node->pixelCount),
                                 static_cast<uint8_t>(node->greenSum / node->pixelCount),
                                 static_cast<uint8_t>(node->blueSum / node->pixelCount)});
            }
            return;
        }
        for (const auto& child : node->children) self(child.get(), self);
    };
    walk(root_.get(), walk);
    return table;
}

TGIFPalette BuildOctreePalette(const TBitmap& bitmap24, int colors, int colorDepth, bool withSystemColors) {
    TGIFPalette palette(static_cast<size_t>(withSystemColors ? 256 : colors));
    int first = 0;
    if (withSystemColors) {
        const TGIFPalette& system = SystemPalette20();
        std::copy(system.begin(), system.begin() + 10, palette.begin());
        std::copy(system.begin() + 10, system.end(), palette.begin() + 246);
        colors = 236;
        first = 10;
    }
    TColorQuantizer quantizer(colors, colorDepth);
    quantizer.ProcessImage(bitmap24);
    TGIFPalette table = quantizer.ColorTable();
    for (int i = 0; i < colors && i < static_cast<int>(table.size()); ++i) palette[first + i] = table[i];
    return palette;
}

// ---------------------------------------------------------------- reduction

TBitmap ReduceBitmapColors(const TBitmap& bitmap, int reduction, int dither, const TGIFPalette* customPalette,
                           int colorBits) {
    if (reduction == rdNone) return ConvertTo24Bit(bitmap);
    if (reduction < 0 || reduction > rdCustomPalette) return {};
    TBitmap source = ConvertTo24Bit(bitmap);

    TGIFPalette palette;
    std::unique_ptr<TColorLookup> lookup;
    switch (reduction) {
    case rdSystem20: palette = SystemPalette20(); break;
    case rdHalftone: palette = HalftonePalette(); break;
    case rdWindowsGray: palette = CreateWindowsGrayPalette(); break;
    case rdMonochrome:
        palette = CreateMonochromePalette();
        lookup = std::make_unique<TMonochromeLookup>();
        break;
    case rdGrayScale:
        palette = CreateGrayScalePalette();
        lookup = std::make_unique<TGrayScaleLookup>();
        break;
    case rdNetscape:
        palette = CreateWebPalette();
        lookup = std::make_unique<TNetscapeColorLookup>();
        break;
    case rdOctree:
        // More than 8 bits would give more colours than a frame can hold.
        palette = BuildOctreePalette(source, 1 << std::clamp(colorBits, 1, 8), 8, false);
        lookup = std::make_unique<TFastColorLookup>(palette);
        break;
    case rdOctreeSystem: palette = BuildOctreePalette(source, 256, 8, true); break;
    case rdCustomPalette:
        if (customPalette != nullptr) palette.assign(customPalette->begin(),
                                                     customPalette->begin() + std::min<size_t>(customPalette->size(), 256));
        break;
    }
    if (!lookup) lookup = std::make_unique<TSlowColorLookup>(palette);
    return MapToPalette(source, palette, *lookup, dither);
}

TBitmap MapToPalette(const TBitmap& source, const TGIFPalette& palette, TColorLookup& lookup, int dither) {
    if (lookup.Colors() == 0 || source.PixelFormat() != TPixelFormat::pf24bit) return {};
    std::unique_ptr<TDitherEngine> ditherer = CreateDitherer(dither, source.Width(), lookup);
    if (!ditherer) return {};

    TBitmap result = MakeBitmap(source.Width(), source.Height(), TPixelFormat::pf8bit);
    std::vector<TPaletteEntry> entries(256);
    for (size_t i = 0; i < palette.size() && i < 256; ++i) entries[i] = {palette[i].Red, palette[i].Green, palette[i].Blue, 0};
    result.SetPaletteEntries(0, 256, entries.data());
    TGIFColor chosen;
    for (int y = 0; y < source.Height(); ++y) {
        const uint8_t* in = source.ScanLine(y);
        uint8_t* out = result.ScanLine(y);
        for (int x = ditherer->Column(); x >= 0 && x < source.Width(); x = ditherer->Column()) {
            const uint8_t* pixel = in + x * 3;
            out[x] = static_cast<uint8_t>(ditherer->Dither(pixel[2], pixel[1], pixel[0], chosen));
        }
        ditherer->NextLine();
    }
    return result;
}
