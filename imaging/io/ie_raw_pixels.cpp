#include "imaging/io/ie_raw_pixels.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/io/ie_io_params.h"

namespace {

int32_t BitsOf(TIEPixelFormat format) {
    switch (format) {
        case ie1g: return 1;
        case ie8p:
        case ie8g: return 8;
        case ie16g: return 16;
        case ie24RGB: return 24;
        case ie32f:
        case ieCMYK: return 32;
        case ieRGB48: return 48;
        default: return 0;
    }
}

}  // namespace

void IEReadRawPixels(TStream& stream, TIEBitmap& bitmap, TIOParamsVals& params, TIEProgressRec& progress) {
    const TIEPixelFormat format = bitmap.GetPixelFormat();
    const int32_t bits = BitsOf(format);
    const int32_t width = bitmap.GetWidth(), height = bitmap.GetHeight();
    if (bits == 0 || width <= 0 || height <= 0) return;
    progress.PercentPerUnit = 100.0 / height;
    stream.Seek(std::max(params.RawPixelsDataStart, 0), TSeekOrigin::Current);
    const int32_t align = params.RawPixelsRowAlign;
    const int32_t channels = format == ie24RGB || format == ieRGB48 ? 3 : format == ieCMYK ? 4 : 0;
    if (params.RawPixelsPlanar && channels > 0) {
        const int32_t sampleBytes = format == ieRGB48 ? 2 : 1;
        const int32_t planeRow = IEBitmapRowLen(width, 8 * sampleBytes, align);
        std::vector<uint8_t> row(static_cast<size_t>(std::max(planeRow, width * sampleBytes)));
        const int32_t step = channels == 3 ? 33 : 25;
        for (int32_t k = 0; k < channels; ++k) {
            progress.Report(k * step);
            for (int32_t y = 0; y < height; ++y) {
                const int64_t got = stream.Read(row.data(), planeRow);
                if (got <= 0) break;
                uint8_t* pixels = bitmap.GetScanline(y);
                const int32_t samples = std::min<int64_t>(width, got / sampleBytes);
                for (int32_t x = 0; x < samples; ++x)
                    std::memcpy(pixels + (static_cast<size_t>(x) * channels + k) * sampleBytes,
                                row.data() + static_cast<size_t>(x) * sampleBytes, static_cast<size_t>(sampleBytes));
            }
        }
        progress.Report(100);
    } else {
        const int32_t stored = IEBitmapRowLen(width, bits, align);
        const int32_t own = bitmap.GetRowLen();
        const int32_t taken = std::min(stored, own);
        for (int32_t y = 0; y < height; ++y) {
            if (stream.Read(bitmap.GetScanline(y), taken) < taken) break;
            if (stored > taken) stream.Seek(stored - taken, TSeekOrigin::Current);
            progress.Report(IEUnitPercent(progress, y));
        }
    }
    if (format == ie24RGB && !params.RawPixelsBGR)
        for (int32_t y = 0; y < height; ++y) IESwapRB(bitmap.GetScanline(y), width);
    if (format == ieRGB48 && params.RawPixelsBGR)
        for (int32_t y = 0; y < height; ++y) IESwapRB48(reinterpret_cast<uint16_t*>(bitmap.GetScanline(y)), width);
}
