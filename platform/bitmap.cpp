#include "platform/bitmap.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>

#include "platform/errors.h"

int PixelFormatStorageBits(TPixelFormat format) {
    switch (format) {
        case TPixelFormat::pf1bit: return 1;
        case TPixelFormat::pf4bit: return 4;
        case TPixelFormat::pf8bit: return 8;
        case TPixelFormat::pf15bit:
        case TPixelFormat::pf16bit: return 16;
        case TPixelFormat::pf24bit: return 24;
        default: return 32;
    }
}

int32_t BitmapRowBytes(int32_t width, int bits) {
    return static_cast<int32_t>(((int64_t{width} * bits + 31) / 32) * 4);
}

namespace {
// Blocks from this size up are mapped; up to the second size with their
// pages present (a larger one is left to fill as it is used).
constexpr size_t kMappedBlock = size_t{1} << 20;
constexpr size_t kPopulatedBlock = size_t{64} << 20;
}  // namespace

void* AllocateZeroedBlock(size_t bytes) {
    if (bytes >= kMappedBlock) {
        const int populate = bytes <= kPopulatedBlock ? MAP_POPULATE : 0;
        void* block = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | populate, -1, 0);
        if (block == MAP_FAILED) throw std::bad_alloc();
        return block;
    }
    void* block = std::calloc(bytes ? bytes : 1, 1);
    if (!block) throw std::bad_alloc();
    return block;
}

void FreeZeroedBlock(void* block, size_t bytes) noexcept {
    if (!block) return;
    if (bytes >= kMappedBlock) munmap(block, bytes);
    else std::free(block);
}

TBitmap::TBitmap(const TBitmap& other)
    : width_(other.width_), height_(other.height_), format_(other.format_), handleType_(other.handleType_),
      devicePixelRatio_(other.devicePixelRatio_), bits_(other.bits_), palette_(other.palette_) {}

TBitmap& TBitmap::operator=(const TBitmap& other) {
    if (this == &other) return *this;
    width_ = other.width_;
    height_ = other.height_;
    format_ = other.format_;
    handleType_ = other.handleType_;
    devicePixelRatio_ = other.devicePixelRatio_;
    bits_ = other.bits_;
    palette_ = other.palette_;
    Changed();
    return *this;
}

void TBitmap::SetSize(int32_t width, int32_t height) {
    if (width < 0 || height < 0) throw Exception("Invalid bitmap size");
    if (width == width_ && height == height_) return;
    int bits = PixelFormatStorageBits(format_);
    int32_t oldRow = RowBytes();
    int32_t newRow = BitmapRowBytes(width, bits);
    TPixelBlock fresh(static_cast<size_t>(newRow) * static_cast<size_t>(height));
    // The top-left part that fits survives, row r to row r counted from the
    // top; whole bytes of the rows' common width are enough because every
    // pixel of a narrower row lies inside them.
    int32_t rows = std::min(height, height_);
    int32_t bytes = std::min(oldRow, newRow);
    for (int32_t r = 0; r < rows; ++r) {
        const uint8_t* from = bits_.data() + static_cast<size_t>(oldRow) * (height_ - 1 - r);
        uint8_t* to = fresh.data() + static_cast<size_t>(newRow) * (height - 1 - r);
        std::memcpy(to, from, static_cast<size_t>(bytes));
    }
    bits_ = std::move(fresh);
    width_ = width;
    height_ = height;
    Changed();
}

void TBitmap::SetPixelFormat(TPixelFormat format) {
    if (format == format_) return;
    TBitmap old(*this);
    format_ = format;
    bits_.assign(static_cast<size_t>(RowBytes()) * static_cast<size_t>(height_), 0);
    DefaultPalette();
    for (int32_t y = 0; y < height_; ++y) {
        const uint8_t* from = old.ScanLine(y);
        uint8_t* to = ScanLine(y);
        for (int32_t x = 0; x < width_; ++x) SetPixelColor(to, x, old.PixelColor(from, x));
    }
    Changed();
}

uint32_t TBitmap::PixelColor(const uint8_t* row, int32_t x) const {
    auto entry = [this](size_t index) -> uint32_t {
        if (index >= palette_.size()) return 0;
        const TPaletteEntry& e = palette_[index];
        return uint32_t{e.peRed} << 16 | uint32_t{e.peGreen} << 8 | e.peBlue;
    };
    switch (format_) {
        case TPixelFormat::pf1bit: return entry((row[x / 8] >> (7 - x % 8)) & 1);
        case TPixelFormat::pf4bit: return entry(x % 2 ? row[x / 2] & 15 : row[x / 2] >> 4);
        case TPixelFormat::pf8bit: return entry(row[x]);
        case TPixelFormat::pf15bit:
        case TPixelFormat::pf16bit: {
            uint32_t w = row[2 * x] | row[2 * x + 1] << 8;
            bool five = format_ == TPixelFormat::pf15bit;
            uint32_t r = five ? (w >> 10) & 31 : w >> 11, g = five ? (w >> 5) & 31 : (w >> 5) & 63, b = w & 31;
            r = r << 3 | r >> 2;
            g = five ? (g << 3 | g >> 2) : (g << 2 | g >> 4);
            b = b << 3 | b >> 2;
            return r << 16 | g << 8 | b;
        }
        case TPixelFormat::pf24bit: return uint32_t{row[3 * x + 2]} << 16 | uint32_t{row[3 * x + 1]} << 8 | row[3 * x];
        default: return uint32_t{row[4 * x + 2]} << 16 | uint32_t{row[4 * x + 1]} << 8 | row[4 * x];
    }
}

void TBitmap::SetPixelColor(uint8_t* row, int32_t x, uint32_t color) const {
    uint32_t r = (color >> 16) & 255, g = (color >> 8) & 255, b = color & 255;
    auto nearest = [&]() {
        size_t best = 0;
        uint32_t bestDistance = UINT32_MAX;
        for (size_t i = 0; i < palette_.size(); ++i) {
            int dr = int(r) - palette_[i].peRed, dg = int(g) - palette_[i].peGreen, db = int(b) - palette_[i].peBlue;
            auto distance = static_cast<uint32_t>(dr * dr + dg * dg + db * db);
            if (distance < bestDistance) {
                bestDistance = distance;
                best = i;
            }
        }
        return static_cast<uint8_t>(best);
    };
    switch (format_) {
        case TPixelFormat::pf1bit:
            if (nearest()) row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
            else row[x / 8] &= static_cast<uint8_t>(~(0x80 >> (x % 8)));
            break;
        case TPixelFormat::pf4bit: {
            uint8_t index = nearest();
            row[x / 2] = x % 2 ? static_cast<uint8_t>((row[x / 2] & 0xF0) | index)
                               : static_cast<uint8_t>((row[x / 2] & 0x0F) | index << 4);
            break;
        }
        case TPixelFormat::pf8bit: row[x] = nearest(); break;
        case TPixelFormat::pf15bit:
        case TPixelFormat::pf16bit: {
            uint32_t w = format_ == TPixelFormat::pf15bit ? (r >> 3) << 10 | (g >> 3) << 5 | b >> 3
                                                          : (r >> 3) << 11 | (g >> 2) << 5 | b >> 3;
            row[2 * x] = static_cast<uint8_t>(w);
            row[2 * x + 1] = static_cast<uint8_t>(w >> 8);
            break;
        }
        case TPixelFormat::pf24bit:
            row[3 * x] = static_cast<uint8_t>(b);
            row[3 * x + 1] = static_cast<uint8_t>(g);
            row[3 * x + 2] = static_cast<uint8_t>(r);
            break;
        default:
            row[4 * x] = static_cast<uint8_t>(b);
            row[4 * x + 1] = static_cast<uint8_t>(g);
            row[4 * x + 2] = static_cast<uint8_t>(r);
            break;
    }
}

uint8_t* TBitmap::ScanLine(int32_t row) {
    return const_cast<uint8_t*>(static_cast<const TBitmap&>(*this).ScanLine(row));
}

const uint8_t* TBitmap::ScanLine(int32_t row) const {
    if (row < 0 || row >= height_) throw Exception("Scan line index out of range");
    return bits_.data() + static_cast<size_t>(RowBytes()) * (height_ - 1 - row);
}

int TBitmap::GetPaletteEntries(int start, int count, TPaletteEntry* entries) const {
    if (start < 0 || count <= 0 || start >= PaletteSize()) return 0;
    int n = std::min(count, PaletteSize() - start);
    std::copy_n(palette_.begin() + start, n, entries);
    return n;
}

int TBitmap::SetPaletteEntries(int start, int count, const TPaletteEntry* entries) {
    if (start < 0 || count <= 0 || start >= PaletteSize()) return 0;
    int n = std::min(count, PaletteSize() - start);
    std::copy_n(entries, n, palette_.begin() + start);
    Changed();
    return n;
}

bool TBitmap::Monochrome() const {
    return format_ == TPixelFormat::pf1bit && palette_.size() == 2 && palette_[0] == TPaletteEntry{0, 0, 0, 0} &&
           palette_[1] == TPaletteEntry{255, 255, 255, 0};
}

void TBitmap::Changed() {
    if (OnChange) OnChange(*this);
}

void TBitmap::DefaultPalette() {
    // The sixteen colours of the standard VGA palette; a 1-bit bitmap starts
    // black and white, the rest of an 8-bit table black.
    static const TPaletteEntry vga[16] = {
        {0, 0, 0, 0},     {128, 0, 0, 0},   {0, 128, 0, 0},   {128, 128, 0, 0}, {0, 0, 128, 0},   {128, 0, 128, 0},
        {0, 128, 128, 0}, {192, 192, 192, 0}, {128, 128, 128, 0}, {255, 0, 0, 0}, {0, 255, 0, 0},   {255, 255, 0, 0},
        {0, 0, 255, 0},   {255, 0, 255, 0}, {0, 255, 255, 0}, {255, 255, 255, 0}};
    switch (format_) {
        case TPixelFormat::pf1bit: palette_ = {{0, 0, 0, 0}, {255, 255, 255, 0}}; break;
        case TPixelFormat::pf4bit: palette_.assign(vga, vga + 16); break;
        case TPixelFormat::pf8bit:
            palette_.assign(256, TPaletteEntry{});
            std::copy_n(vga, 16, palette_.begin());
            break;
        default: palette_.clear(); break;
    }
}
