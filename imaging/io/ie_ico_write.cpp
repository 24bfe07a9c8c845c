#include "imaging/io/ie_ico_write.h"

#include <cmath>
#include <cstring>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_quantizer.h"
#include "imaging/core/ie_resample.h"
#include "imaging/io/ie_png.h"
#include "platform/file_type_icon.h"

namespace {

void PutLE16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void PutLE32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

int32_t DepthOf(int32_t bitCount, const TIOParamsVals& params) {
    switch (bitCount) {
        case 1:
        case 4:
        case 8:
        case 32: return bitCount;
        case 0: {
            const int32_t spp = params.SamplesPerPixel, bps = params.BitsPerSample;
            if (spp == 1 && bps == 1) return 1;
            if (spp == 1 && bps == 4) return 4;
            if (spp == 3 && bps == 8) return 24;
            if (spp == 4 && bps == 8) return 32;
            return 8;
        }
        default: return 24;
    }
}

// Pixels per metre of a DPI, rounded half to even.
uint32_t PerMetre(int32_t dpi) { return static_cast<uint32_t>(std::nearbyint(dpi / 2.54 * 100)); }

// One image: info header, colour table, colour rows and AND rows, bottom
// row first.
std::vector<uint8_t> EncodeImage(TIEBitmap& scaled, int32_t depth, const TIOParamsVals& params) {
    const int32_t w = scaled.GetWidth(), h = scaled.GetHeight();
    const int32_t colourRow = IEBitmapRowLen(w, depth, 32), maskRow = IEBitmapRowLen(w, 1, 32);
    const bool alpha = scaled.GetHasAlphaChannel();
    std::vector<uint8_t> out;
    PutLE32(out, 40);
    PutLE32(out, static_cast<uint32_t>(w));
    PutLE32(out, static_cast<uint32_t>(2 * h));
    PutLE16(out, 1);
    PutLE16(out, static_cast<uint32_t>(depth));
    PutLE32(out, 0);
    PutLE32(out, depth <= 8 ? static_cast<uint32_t>(h * (colourRow + maskRow)) : 0);
    PutLE32(out, PerMetre(params.DpiX));
    PutLE32(out, PerMetre(params.DpiY));
    PutLE32(out, 0);
    PutLE32(out, 0);
    std::vector<uint8_t> row(static_cast<size_t>(colourRow));
    auto alphaAt = [&](int32_t x, int32_t y) { return alpha ? scaled.GetAlphaChannel()->GetPixelByte(x, y) : uint8_t{255}; };
    if (depth == 1) {
        for (uint32_t c : {0x00000000u, 0x00FFFFFFu}) PutLE32(out, c);
        for (int32_t y = h - 1; y >= 0; --y) {
            std::fill(row.begin(), row.end(), 0);
            std::memcpy(row.data(), scaled.GetScanline(y), static_cast<size_t>((w + 7) / 8));
            out.insert(out.end(), row.begin(), row.end());
        }
    } else if (depth == 4 || depth == 8) {
        const int32_t entries = depth == 4 ? 16 : 256;
        std::vector<TRGB> palette(static_cast<size_t>(entries));
        TIEQuantizer quantizer(scaled, palette.data(), entries - 1);
        PutLE32(out, 0);  // entry 0: black, the transparent pixels
        for (int32_t i = 0; i < entries - 1; ++i) PutLE32(out, IERGBToDWord(palette[static_cast<size_t>(i)]));
        for (int32_t y = h - 1; y >= 0; --y) {
            std::fill(row.begin(), row.end(), 0);
            for (int32_t x = 0; x < w; ++x) {
                uint8_t index = 0;
                if (alphaAt(x, y) == 255) {
                    const int32_t found = quantizer.ColorIndex(scaled.GetPixelTRGB(x, y));
                    index = static_cast<uint8_t>(std::max(0, found) + 1);
                }
                if (depth == 8) row[static_cast<size_t>(x)] = index;
                else row[static_cast<size_t>(x / 2)] |= static_cast<uint8_t>(x % 2 ? index : index << 4);
            }
            out.insert(out.end(), row.begin(), row.end());
        }
    } else {
        for (int32_t y = h - 1; y >= 0; --y) {
            std::fill(row.begin(), row.end(), 0);
            const uint8_t* source = scaled.GetScanline(y);
            for (int32_t x = 0; x < w; ++x) {
                if (depth == 24) {
                    std::memcpy(&row[static_cast<size_t>(3 * x)], source + 3 * x, 3);
                } else {
                    std::memcpy(&row[static_cast<size_t>(4 * x)], source + 3 * x, 3);
                    row[static_cast<size_t>(4 * x + 3)] = alphaAt(x, y);
                }
            }
            out.insert(out.end(), row.begin(), row.end());
        }
    }
    std::vector<uint8_t> mask(static_cast<size_t>(maskRow));
    for (int32_t y = h - 1; y >= 0; --y) {
        std::fill(mask.begin(), mask.end(), 0);
        if (alpha && depth != 24)
            for (int32_t x = 0; x < w; ++x)
                if (alphaAt(x, y) < 255) mask[static_cast<size_t>(x / 8)] |= static_cast<uint8_t>(0x80 >> (x % 8));
        out.insert(out.end(), mask.begin(), mask.end());
    }
    return out;
}

}  // namespace

void IEWriteICOStream(TStream& stream, TIEBitmap& bitmap, TIOParamsVals& params, TIEProgressRec& progress,
                      const std::vector<std::pair<int32_t, int32_t>>& sizes, const std::vector<int32_t>& bitCounts) {
    if (bitCounts.size() < sizes.size()) throw EInvalidGraphic("Every icon size needs a colour depth");
    for (const auto& [w, h] : sizes)
        if (w < 1 || h < 1 || w > 256 || h > 256) throw EInvalidGraphic("Icon images are 1 to 256 pixels a side");
    const auto count = static_cast<int32_t>(sizes.size());
    std::vector<uint8_t> header;
    PutLE16(header, 0);
    PutLE16(header, 1);
    PutLE16(header, static_cast<uint32_t>(count));
    stream.WriteBuffer(header.data(), 6);
    const int64_t directory = stream.GetPosition();
    std::vector<uint8_t> zeros(static_cast<size_t>(count) * 16, 0);
    if (count > 0) stream.WriteBuffer(zeros.data(), count * 16);
    params.ColorMap.clear();
    if (bitmap.GetPixelFormat() != ie24RGB) {
        params.BitsPerSample = 1;
        params.SamplesPerPixel = 1;
    }
    std::vector<uint8_t> entries;
    for (int32_t i = 0; i < count; ++i) {
        if (progress.OnProgress) progress.Report(static_cast<int>(i * 100 / count));
        if (progress.Aborting()) break;
        const auto [w, h] = sizes[static_cast<size_t>(i)];
        const int32_t depth = DepthOf(bitCounts[static_cast<size_t>(i)], params);
        TIEBitmap scaled;
        scaled.Allocate(w, h, bitmap.GetPixelFormat());
        IEResample(bitmap, scaled, bitmap.GetPixelFormat() == ie1g ? rfNone : rfFastLinear, TIEProgressEvent(), nullptr);
        // Each depth takes the pixels in the form it stores.
        if (depth == 1 && scaled.GetPixelFormat() != ie1g) scaled.ConvertToPixelFormat(ie1g);
        if (depth != 1 && scaled.GetPixelFormat() != ie24RGB) scaled.ConvertToPixelFormat(ie24RGB);
        const int64_t start = stream.GetPosition();
        const std::vector<uint8_t> image = EncodeImage(scaled, depth, params);
        stream.WriteBuffer(image.data(), static_cast<int64_t>(image.size()));
        const bool deep = depth >= 24;
        entries.push_back(static_cast<uint8_t>(w & 255));
        entries.push_back(static_cast<uint8_t>(h & 255));
        entries.push_back(deep ? 0 : static_cast<uint8_t>(std::min(1 << depth, 255)));
        entries.push_back(0);
        PutLE16(entries, deep ? 1 : 0);
        PutLE16(entries, deep ? static_cast<uint32_t>(depth) : 0);
        PutLE32(entries, static_cast<uint32_t>(image.size()));
        PutLE32(entries, static_cast<uint32_t>(start));
    }
    const int64_t end = stream.GetPosition();
    // After an abort the directory holds the images written; the count
    // says as much.
    const auto written = static_cast<uint32_t>(entries.size() / 16);
    stream.SetPosition(directory - 2);
    std::vector<uint8_t> countField;
    PutLE16(countField, written);
    stream.WriteBuffer(countField.data(), 2);
    if (!entries.empty()) stream.WriteBuffer(entries.data(), static_cast<int64_t>(entries.size()));
    stream.SetPosition(end);
}

bool IEFileIconToBitmap(const std::string& fileName, TIEBitmap& bitmap, int32_t size) {
    const std::string path = FileTypeIconPath(fileName, size);
    if (path.empty()) return false;
    try {
        TFileStream file(path, TFileMode::OpenRead);
        TIEBitmap icon;
        TIOParamsVals params;
        bool abort = false;
        TIEProgressRec progress;
        progress.AbortFlag = &abort;
        std::string failure;
        IEReadPNGStream(file, icon, params, false, progress, &failure);
        if (abort || !failure.empty() || icon.IsEmpty()) return false;
        if (icon.GetPixelFormat() != ie24RGB) icon.ConvertToPixelFormat(ie24RGB);
        if (icon.GetHasAlphaChannel()) {
            IEUpdateAlphaFullFlag(icon);
            if (icon.FullOpacity()) icon.RemoveAlphaChannel(false, clWhite);
        }
        bitmap.Assign(icon);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}
