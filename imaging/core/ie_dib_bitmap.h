// Two small rasters beside TIEBitmap. TIEDibbitmap is a 1 or 24-bit
// device-independent bitmap whose rows the library addresses directly and
// that a canvas (DC) draws into at the same time: its section is a toolkit
// bitmap, whose rows lie the same way;
// TIEWorkBitmap is the resamplers' bare scratch raster. Both keep their
// rows bottom-up: row 0, the top row, is the last in memory.
#pragma once

#include <cstdint>
#include <memory>

#include "imaging/core/ie_bitmap.h"
#include "platform/canvas.h"

// The header of a device-independent bitmap as the section is described.
struct TIEBitmapInfoHeader {
    uint32_t biSize = 40;
    int32_t biWidth = 0;
    int32_t biHeight = 0;  // positive: rows bottom-up
    uint16_t biPlanes = 1;
    uint16_t biBitCount = 0;
    uint32_t biCompression = 0;  // BI_RGB
    uint32_t biSizeImage = 0;
    int32_t biXPelsPerMeter = 0;
    int32_t biYPelsPerMeter = 0;
    uint32_t biClrUsed = 0;
    uint32_t biClrImportant = 0;
};

class TIEDibbitmap : public TIEBaseBitmap {
public:
    TIEDibbitmap();
    ~TIEDibbitmap() override;
    TIEDibbitmap(const TIEDibbitmap&) = delete;
    TIEDibbitmap& operator=(const TIEDibbitmap&) = delete;

    uint8_t* GetScanline(int32_t row) override;
    int32_t GetBitCount() override { return BitCount; }
    int32_t GetHeight() override { return Height; }
    int32_t GetWidth() override { return Width; }
    TIEPixelFormat GetPixelFormat() override;
    int32_t GetRowLen() override { return RowLen; }
    // The section has no palette of the library's: black, and nothing stored.
    void GetPaletteColor(int32_t, TRGB& color) override { color = TRGB{}; }
    void SetPaletteColor(int32_t, TRGB) override {}
    int32_t GetPaletteLen() override { return 0; }
    // ie1g and ie24RGB only.
    bool Allocate(int32_t width, int32_t height, TIEPixelFormat format) override;
    // Only from another TIEDibbitmap; other sources change nothing.
    void Assign(TIEBaseBitmap& source) override;

    bool AllocateBits(int32_t width, int32_t height, int32_t bitCount);
    void FreeBits();

    int32_t Width = 0;
    int32_t Height = 0;
    int32_t BitCount = 0;
    int32_t RowLen = 0;
    TIEBitmapInfoHeader BitmapInfo;
    // Colour table: entry 0 black, entry 1 white (blue, green, red, reserved).
    uint8_t Colors[2][4] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
    uint8_t* Bits = nullptr;  // the section's lowest row (row Height - 1)
    // The section and the canvas drawing into it (nullptr when empty).
    std::unique_ptr<TBitmap> DIBSection;
    std::unique_ptr<TCanvas> DC;
};

// The video library's bitmap drawing, in place of its handle-based calls:
// open and close give and take a handle that draws nothing of its own, draw
// stretches the source rectangle of a bitmap onto the canvas (nearest pixel,
// or averaged when the canvas's stretch mode is HALFTONE), realize has no
// palette to realize. Draw is false for an empty rectangle.
using TIEDrawDib = uintptr_t;
TIEDrawDib IEDrawDibOpen();
bool IEDrawDibClose(TIEDrawDib handle);
bool IEDrawDibDraw(TIEDrawDib handle, TCanvas& canvas, int32_t xDst, int32_t yDst, int32_t dxDst, int32_t dyDst,
                   const TBitmap& source, int32_t xSrc, int32_t ySrc, int32_t dxSrc, int32_t dySrc);
uint32_t IEDrawDibRealize(TIEDrawDib handle, TCanvas& canvas, bool background);

class TIEWorkBitmap {
public:
    TIEWorkBitmap(int32_t width, int32_t height, int32_t bitsPerPixel);
    ~TIEWorkBitmap() { Free(); }
    TIEWorkBitmap(const TIEWorkBitmap&) = delete;
    TIEWorkBitmap& operator=(const TIEWorkBitmap&) = delete;

    // Keeps the pixels when nothing changes; Bits is nullptr when memory is short.
    void Allocate(int32_t width, int32_t height, int32_t bitsPerPixel);
    uint8_t* GetScanline(int32_t row) {
        return Bits + static_cast<size_t>(RowLen) * static_cast<size_t>(Height - row - 1);
    }
    void Free();

    int32_t Width = 0;
    int32_t Height = 0;
    int32_t BitsPerPixel = 0;
    int32_t RowLen = 0;
    uint8_t* Bits = nullptr;
};
