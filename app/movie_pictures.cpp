#include "app/movie_pictures.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "imaging/core/ie_proc.h"
#include "movie/dib_reader.h"
#include "movie/flash_movie.h"
#include "movie/images.h"

namespace {

constexpr TColor kWhite = 0xFFFFFF;

// The processor works on a bare bitmap handed to it, without undo.
struct TBitmapProcessor {
    explicit TBitmapProcessor(TIEBitmap& bitmap) { proc.SetAttachedIEBitmap(&bitmap); }
    TVidurErProc proc;
};

}  // namespace

void ResamplePicture(TIEBitmap& bitmap, int32_t width, int32_t height) {
    width = std::max(width, 1);
    height = std::max(height, 1);
    if (width == bitmap.GetWidth() && height == bitmap.GetHeight()) return;
    TBitmapProcessor(bitmap).proc.Resample(width, height, rfLanczos3);
}

void RotatePicture(TIEBitmap& bitmap, int32_t degrees) {
    if (degrees % 360 == 0) return;
    TBitmapProcessor(bitmap).proc.Rotate(degrees, true, 2, -1);
}

void ResizePictureCanvas(TIEBitmap& bitmap, int32_t width, int32_t height, uint8_t horizontalAlign,
                         uint8_t verticalAlign) {
    bitmap.Resize(std::max(width, 1), std::max(height, 1), kWhite, 0, horizontalAlign, verticalAlign);
}

void CoverPicture(TIEBitmap& bitmap, int32_t width, int32_t height) {
    double scale = std::max(double(height) / bitmap.GetHeight(), double(width) / bitmap.GetWidth());
    ResamplePicture(bitmap, static_cast<int32_t>(std::ceil(bitmap.GetWidth() * scale)),
                    static_cast<int32_t>(std::ceil(bitmap.GetHeight() * scale)));
    ResizePictureCanvas(bitmap, width, height, 1, 1);
}

bool HasSeeThroughPixels(TIEBitmap& bitmap) {
    if (!bitmap.GetHasAlphaChannel()) return false;
    TIEBitmap& alpha = *bitmap.GetAlphaChannel();
    const int32_t width = bitmap.GetWidth();
    for (int32_t y = 0; y < bitmap.GetHeight(); ++y) {
        const uint8_t* row = alpha.GetScanline(y);
        if (std::any_of(row, row + width, [](uint8_t a) { return a != 255; })) return true;
    }
    return false;
}

TFlashImage* AddPictureImage(TFlashMovie& movie, TIEBitmap& bitmap, bool withAlpha) {
    const int32_t width = bitmap.GetWidth(), height = bitmap.GetHeight();
    // Top-down rows: memory row y is picture row y.
    TBMPReader pixels;
    pixels.SetSize(width, -height, 24);
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* from = bitmap.GetScanline(y);
        uint8_t* to = pixels.Rows[size_t(y)];
        std::copy(from, from + size_t(width) * 3, to);  // both blue, green, red
    }
    TFlashImage* image = movie.AddImage();
    image->LoadFromBitmap(pixels);
    image->SetAsJPEG(true);
    if (withAlpha && bitmap.GetHasAlphaChannel()) {
        TIEBitmap& alpha = *bitmap.GetAlphaChannel();
        TBMPReader plane;
        plane.SetSize(width, -height, 8);
        for (int32_t y = 0; y < height; ++y) {
            const uint8_t* from = alpha.GetScanline(y);
            std::copy(from, from + width, plane.Rows[size_t(y)]);
        }
        image->SetAlphaFromBitmap(plane);
    }
    return image;
}
