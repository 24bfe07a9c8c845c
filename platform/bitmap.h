// The toolkit's bitmap: one picture of 1, 4, 8, 15, 16, 24 or 32 bits per
// pixel held as a device-independent bitmap, the one bitmap type of the whole
// project (the image library's buffers and the movie builder's pictures take
// and give it).
//
// The pixels are one contiguous block, rows bottom-up as in a Windows DIB,
// each row padded to a multiple of 32 bits; ScanLine(0) is the top row. The
// 1, 4 and 8-bit formats carry a colour table. Changing the width or height
// keeps the pixels that still fit (new pixels are zero); changing the pixel
// format keeps the picture (to 1, 4 and 8 bits through the nearest entry of
// the new format's default colour table). OnChange is called after every
// change of size, format or colour table, and by Changed().
//
// Drawing on it goes through a TCanvas (platform/canvas.h) made over it.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <new>
#include <utility>
#include <vector>

enum class TPixelFormat : uint8_t { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };

// The two kinds of the original bitmap handle. Only recorded here: every
// bitmap is device-independent.
enum class TBitmapHandleType : uint8_t { bmDIB, bmDDB };

// A colour-table entry (the system's PALETTEENTRY order).
struct TPaletteEntry {
    uint8_t peRed = 0, peGreen = 0, peBlue = 0, peFlags = 0;
    bool operator==(const TPaletteEntry&) const = default;
};

// Bits per pixel of a format as the bitmap stores it (pfDevice and pfCustom
// are kept at 32 bits, the depth of the screen they stand for).
int PixelFormatStorageBits(TPixelFormat format);
// Bytes per row of width pixels at bits per pixel, padded to 32 bits.
int32_t BitmapRowBytes(int32_t width, int bits);

// Zeroed memory for large blocks of pixels: a block of a megabyte or more
// is mapped from the system with all its pages present at once (a window's
// surface is touched whole as soon as it is painted, and faulting its pages
// in one by one costs more than the painting); a smaller one comes from
// calloc. Either way it needs no clearing pass.
void* AllocateZeroedBlock(size_t bytes);
void FreeZeroedBlock(void* block, size_t bytes) noexcept;

// The allocator of pixel blocks (over the two above); growing a block leaves
// its new bytes zero as they came.
template <class T>
struct TZeroedAllocator {
    using value_type = T;
    TZeroedAllocator() = default;
    template <class U>
    TZeroedAllocator(const TZeroedAllocator<U>&) noexcept {}
    T* allocate(size_t n) { return static_cast<T*>(AllocateZeroedBlock(n * sizeof(T))); }
    void deallocate(T* block, size_t n) noexcept { FreeZeroedBlock(block, n * sizeof(T)); }
    // Value-initialised elements are calloc's zeros already.
    template <class U>
    void construct(U*) noexcept {}
    template <class U, class... A>
    void construct(U* at, A&&... args) {
        ::new (static_cast<void*>(at)) U(std::forward<A>(args)...);
    }
    template <class U>
    bool operator==(const TZeroedAllocator<U>&) const noexcept {
        return true;
    }
};
using TPixelBlock = std::vector<uint8_t, TZeroedAllocator<uint8_t>>;

class TBitmap {
public:
    TBitmap() = default;
    TBitmap(const TBitmap& other);
    TBitmap& operator=(const TBitmap& other);

    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    TPixelFormat PixelFormat() const { return format_; }
    void SetWidth(int32_t width) { SetSize(width, height_); }
    void SetHeight(int32_t height) { SetSize(width_, height); }
    void SetSize(int32_t width, int32_t height);
    void SetPixelFormat(TPixelFormat format);
    bool Empty() const { return width_ == 0 || height_ == 0; }

    TBitmapHandleType HandleType() const { return handleType_; }
    void SetHandleType(TBitmapHandleType type) { handleType_ = type; }

    // Device pixels per layout pixel (a whole number, 1 unless set). A
    // window's surface on a high-density screen holds this many pixels a
    // side for each layout pixel; a canvas made over it takes coordinates in
    // layout pixels and draws at the full density.
    int32_t DevicePixelRatio() const { return devicePixelRatio_; }
    void SetDevicePixelRatio(int32_t ratio) { devicePixelRatio_ = ratio < 1 ? 1 : ratio; }
    // The size in layout pixels.
    int32_t LayoutWidth() const { return width_ / devicePixelRatio_; }
    int32_t LayoutHeight() const { return height_ / devicePixelRatio_; }

    // Bytes per row including padding.
    int32_t RowBytes() const { return BitmapRowBytes(width_, PixelFormatStorageBits(format_)); }
    // Row `row` counted from the top; raises Exception outside 0 .. Height-1.
    uint8_t* ScanLine(int32_t row);
    const uint8_t* ScanLine(int32_t row) const;

    // The colour table: 2, 16 or 256 entries for 1, 4 and 8 bits, none else.
    int PaletteSize() const { return static_cast<int>(palette_.size()); }
    // Copies up to count entries from start; returns how many were copied.
    int GetPaletteEntries(int start, int count, TPaletteEntry* entries) const;
    int SetPaletteEntries(int start, int count, const TPaletteEntry* entries);
    // A 1-bit bitmap whose two entries are black and white.
    bool Monochrome() const;

    // Change notification; the bitmap is passed to the handler.
    std::function<void(TBitmap&)> OnChange;
    void Changed();

    // Colour of pixel x of a row of this bitmap as 0x00RRGGBB, and its
    // setter (the nearest colour-table entry at 1, 4 and 8 bits).
    uint32_t PixelColor(const uint8_t* row, int32_t x) const;
    void SetPixelColor(uint8_t* row, int32_t x, uint32_t color) const;

private:
    void DefaultPalette();

    int32_t width_ = 0;
    int32_t height_ = 0;
    TPixelFormat format_ = TPixelFormat::pfDevice;
    TBitmapHandleType handleType_ = TBitmapHandleType::bmDIB;
    int32_t devicePixelRatio_ = 1;
    TPixelBlock bits_;
    std::vector<TPaletteEntry> palette_;
};
