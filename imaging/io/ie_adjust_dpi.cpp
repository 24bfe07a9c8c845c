// Resolution equalization after loading: files with different horizontal
// and vertical DPI (fax images of 204 x 98) are resampled so that a pixel
// covers the same distance both ways.
#include <cmath>

#include "imaging/core/ie_resample.h"
#include "imaging/io/ie_vidurer_io.h"

namespace {

// The new size, or false when nothing is to be done. The parameters' size is
// the one scaled (the bitmap's when the reader left it unset); the shorter
// side of a landscape image, else the width.
bool EqualizedSize(TIEBitmap& bitmap, const TIOParamsVals& params, int32_t& width, int32_t& height,
                   bool& heightChanges) {
    const int32_t x = params.DpiX, y = params.DpiY;
    if (x == y || x <= 0 || y <= 0 || bitmap.GetWidth() <= 0 || bitmap.GetHeight() <= 0) return false;
    width = params.Width > 0 ? params.Width : bitmap.GetWidth();
    height = params.Height > 0 ? params.Height : bitmap.GetHeight();
    heightChanges = height < width;
    if (heightChanges) height = static_cast<int32_t>(std::trunc(static_cast<double>(height) / y * x));
    else width = static_cast<int32_t>(std::trunc(static_cast<double>(width) / x * y));
    return width > 0 && height > 0;
}

std::unique_ptr<TIEBitmap> Resampled(TIEBitmap& source, int32_t width, int32_t height, bool filtered) {
    auto result = std::make_unique<TIEBitmap>();
    if (filtered) {
        if (source.GetPixelFormat() != ie24RGB) source.ConvertToPixelFormat(ie24RGB);
        result->Allocate(width, height, ie24RGB);
        IEResampleFiltered(source, *result, rfFastLinear, nullptr, nullptr);
    } else {
        result->Allocate(width, height, source.GetPixelFormat());
        IEStretchNearest(source, *result, nullptr, nullptr);
    }
    return result;
}

}  // namespace

void TVidurErIO::AdjustDPI() {
    if (!MakeConsistentBitmap(0)) return;
    int32_t width = 0, height = 0;
    bool heightChanges = false;
    if (!EqualizedSize(*bitmap_, ImageParams, width, height, heightChanges)) return;
    // Written directly: the view gets the DPI when the load ends.
    if (heightChanges) {
        ImageParams.DpiY = ImageParams.DpiX;
        ImageParams.Height = height;
    } else {
        ImageParams.DpiX = ImageParams.DpiY;
        ImageParams.Width = width;
    }
    std::unique_ptr<TIEBitmap> alpha;
    if (bitmap_->GetHasAlphaChannel()) {
        alpha = std::make_unique<TIEBitmap>();
        alpha->Assign(*bitmap_->GetAlphaChannel());
    }
    std::unique_ptr<TIEBitmap> result = Resampled(*bitmap_, width, height, FilteredAdjustDPI);
    bitmap_->Assign(*result);
    result.reset();
    if (alpha) {
        TIEBitmap* target = bitmap_->GetAlphaChannel();
        IEStretchNearest(*alpha, *target, nullptr, nullptr);
    }
}

std::unique_ptr<TIEBitmap> IEEqualizeDPI(TIEBitmap& bitmap, TIOParamsVals& params, bool filtered) {
    int32_t width = 0, height = 0;
    bool heightChanges = false;
    if (!EqualizedSize(bitmap, params, width, height, heightChanges)) return nullptr;
    if (heightChanges) {
        params.SetDpiY(params.DpiX);
        params.Height = height;
    } else {
        params.SetDpiX(params.DpiY);
        params.Width = width;
    }
    return Resampled(bitmap, width, height, filtered);
}
