#include "imaging/io/ie_wbmp.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/io/ie_io_params.h"

namespace {

// At most four bytes of 7 bits each, most significant group first; only the
// low 8 bits are kept. A stream that ends reads as 0 bytes.
int32_t ReadMultiByte(TStream& stream) {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        uint8_t byte = 0;
        stream.Read(&byte, 1);
        value = value * 128 + (byte & 127u);
        if (!(byte & 128)) break;
    }
    return static_cast<int32_t>(value & 255);
}

void WriteMultiByte(TStream& stream, int32_t value) {
    if (value >= 128) {
        const uint8_t bytes[2] = {static_cast<uint8_t>(128 | (value >> 7)), static_cast<uint8_t>(value & 127)};
        stream.WriteBuffer(bytes, 2);
    } else {
        const uint8_t byte = static_cast<uint8_t>(value);
        stream.WriteBuffer(&byte, 1);
    }
}

}  // namespace

void IEReadWBMPStream(TStream& stream, TIEBitmap& bitmap, TIOParamsVals& params, bool previewOnly,
                      TIEProgressRec& progress) {
    const int32_t type = ReadMultiByte(stream);
    const int32_t fixedHeader = ReadMultiByte(stream);
    const int32_t width = ReadMultiByte(stream);
    const int32_t height = ReadMultiByte(stream);
    if (type != 0 || fixedHeader != 0 || width == 0 || height == 0) {
        progress.Abort();
        return;
    }
    params.BitsPerSample = 1;
    params.SamplesPerPixel = 1;
    params.Width = width;
    params.Height = height;
    params.SetDpiX(IELibraryDefaultDPI[0]);
    params.SetDpiY(IELibraryDefaultDPI[1]);
    params.ColorMap.clear();
    if (previewOnly) return;
    progress.PercentPerUnit = 100.0 / height;
    if (!bitmap.Allocate(width, height, ie1g)) throw EInvalidGraphic(bitmap.AllocationError().empty() ? "Not enough memory" : bitmap.AllocationError());
    const int64_t rowBytes = (width + 7) / 8;
    for (int32_t y = 0; y < height; ++y) {
        stream.Read(bitmap.GetScanline(y), rowBytes);
        progress.Report(static_cast<int>(y * progress.PercentPerUnit));
    }
}

void IEWriteWBMPStream(TStream& stream, TIEBitmap& bitmap, TIEProgressRec& progress) {
    TIEBitmap* image = &bitmap;
    std::unique_ptr<TIEBitmap> copy;
    auto workingCopy = [&] {
        if (copy) return;
        copy = std::make_unique<TIEBitmap>();
        copy->Assign(bitmap);
        image = copy.get();
    };
    if (bitmap.GetPixelFormat() != ie1g) {
        workingCopy();
        copy->SetPixelFormat(ie1g);
    }
    const int32_t width = image->GetWidth(), height = image->GetHeight();
    if (width > 255 || height > 255) {
        workingCopy();
        if (width > height) copy->Resize(255, static_cast<int32_t>(int64_t{height} * 255 / width), 0, 255, 0, 0);
        else copy->Resize(static_cast<int32_t>(int64_t{width} * 255 / height), 255, 0, 255, 0, 0);
    }
    const int32_t outWidth = image->GetWidth(), outHeight = image->GetHeight();
    WriteMultiByte(stream, 0);
    WriteMultiByte(stream, 0);
    WriteMultiByte(stream, outWidth);
    WriteMultiByte(stream, outHeight);
    progress.PercentPerUnit = outHeight > 0 ? 100.0 / outHeight : 0;
    const int64_t rowBytes = (outWidth + 7) / 8;
    std::vector<uint8_t> row(static_cast<size_t>(rowBytes));
    for (int32_t y = 0; y < outHeight; ++y) {
        const uint8_t* source = image->GetScanline(y);
        std::copy(source, source + rowBytes, row.begin());
        // Bits past the width are written as 0.
        if (outWidth % 8 != 0) row.back() &= static_cast<uint8_t>(0xFF << (8 - outWidth % 8));
        stream.WriteBuffer(row.data(), rowBytes);
        progress.Report(static_cast<int>(y * progress.PercentPerUnit));
    }
}
