#include "pictures/picture_bitmap.h"

TPictureBitmap::TPictureBitmap(int width, int height, TPixelFormat format)
    : width_(width), height_(height), format_(format) {
    if (width < 0 || height < 0 || int64_t{width} * height > kMaxPixels)
        throw Exception(FormatStr("Invalid bitmap size %d x %d", width, height));
    pixels_.assign(static_cast<size_t>(width) * height * BytesPerPixel(), 0);
}

TGIFColor TPictureBitmap::GetPixel(int x, int y) const {
    const uint8_t* row = ScanLine(y);
    if (format_ == TPixelFormat::pf24bit) return {row[x * 3 + 2], row[x * 3 + 1], row[x * 3]};
    uint8_t index = row[x];
    return index < Palette.size() ? Palette[index] : TGIFColor{};
}

void TPictureBitmap::SetPixel(int x, int y, const TGIFColor& color) {
    uint8_t* pixel = ScanLine(y) + x * 3;
    pixel[0] = color.Blue;
    pixel[1] = color.Green;
    pixel[2] = color.Red;
}
