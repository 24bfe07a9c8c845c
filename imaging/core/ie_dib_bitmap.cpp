#include "imaging/core/ie_dib_bitmap.h"

#include <cstring>

#include "platform/global_memory.h"

TIEDibbitmap::TIEDibbitmap() = default;

TIEDibbitmap::~TIEDibbitmap() { FreeBits(); }

uint8_t* TIEDibbitmap::GetScanline(int32_t row) {
    return Bits + static_cast<size_t>(RowLen) * static_cast<size_t>(Height - row - 1);
}

TIEPixelFormat TIEDibbitmap::GetPixelFormat() {
    return BitCount == 1 ? ie1g : BitCount == 24 ? ie24RGB : ienull;
}

bool TIEDibbitmap::Allocate(int32_t width, int32_t height, TIEPixelFormat format) {
    if (format == ie1g) return AllocateBits(width, height, 1);
    if (format == ie24RGB) return AllocateBits(width, height, 24);
    return false;
}

void TIEDibbitmap::Assign(TIEBaseBitmap& base) {
    auto* source = dynamic_cast<TIEDibbitmap*>(&base);
    if (!source || source == this || !source->Bits) return;
    if (AllocateBits(source->Width, source->Height, source->BitCount))
        std::memcpy(Bits, source->Bits, static_cast<size_t>(RowLen) * static_cast<size_t>(Height));
}

bool TIEDibbitmap::AllocateBits(int32_t width, int32_t height, int32_t bitCount) {
    // A negative size is refused like a zero one: the section would be
    // top-down or of a wrapped size.
    if (width <= 0 || height <= 0) return false;
    FreeBits();
    BitCount = bitCount;
    Width = width;
    Height = height;
    RowLen = IEBitmapRowLen(width, bitCount, 32);
    BitmapInfo.biBitCount = static_cast<uint16_t>(bitCount);
    BitmapInfo.biWidth = width;
    BitmapInfo.biHeight = height;
    int64_t size = int64_t{RowLen} * height;
    BitmapInfo.biSizeImage = size > UINT32_MAX ? 0 : static_cast<uint32_t>(size);
    if (RowLen == 0) return false;
    try {
        auto section = std::make_unique<TBitmap>();
        section->SetPixelFormat(bitCount == 1 ? TPixelFormat::pf1bit : TPixelFormat::pf24bit);
        section->SetSize(width, height);
        if (section->RowBytes() != RowLen) return false;
        Bits = section->ScanLine(height - 1);
        DIBSection = std::move(section);
        DC = std::make_unique<TCanvas>(*DIBSection);
    } catch (const std::exception&) {
        return false;  // memory is short
    }
    return true;
}

void TIEDibbitmap::FreeBits() {
    DC.reset();
    DIBSection.reset();
    Bits = nullptr;
    Width = Height = BitCount = 0;
}

TIEWorkBitmap::TIEWorkBitmap(int32_t width, int32_t height, int32_t bitsPerPixel) {
    if (width > 0 && height > 0) Allocate(width, height, bitsPerPixel);
}

void TIEWorkBitmap::Allocate(int32_t width, int32_t height, int32_t bitsPerPixel) {
    if (width == Width && height == Height && bitsPerPixel == BitsPerPixel) return;
    Free();
    Width = width;
    Height = height;
    BitsPerPixel = bitsPerPixel;
    RowLen = IEBitmapRowLen(width, bitsPerPixel, 32);
    if (RowLen > 0 && height > 0) Bits = static_cast<uint8_t*>(IEAutoAlloc(static_cast<size_t>(RowLen) * height));
}

void TIEWorkBitmap::Free() {
    void* block = Bits;
    IEAutoFree(block);
    Bits = nullptr;
    Width = Height = BitsPerPixel = RowLen = 0;
}

TIEDrawDib IEDrawDibOpen() { return 1; }

bool IEDrawDibClose(TIEDrawDib handle) { return handle != 0; }

bool IEDrawDibDraw(TIEDrawDib handle, TCanvas& canvas, int32_t xDst, int32_t yDst, int32_t dxDst, int32_t dyDst,
                   const TBitmap& source, int32_t xSrc, int32_t ySrc, int32_t dxSrc, int32_t dySrc) {
    if (handle == 0 || dxDst <= 0 || dyDst <= 0 || dxSrc <= 0 || dySrc <= 0) return false;
    canvas.CopyRect(TRect{xDst, yDst, xDst + dxDst, yDst + dyDst}, source, TRect{xSrc, ySrc, xSrc + dxSrc, ySrc + dySrc});
    return true;
}

uint32_t IEDrawDibRealize(TIEDrawDib, TCanvas&, bool) { return 0; }
