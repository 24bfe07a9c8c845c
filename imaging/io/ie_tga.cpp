#include "imaging/io/ie_tga.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_color_reduce.h"
#include "imaging/core/ie_dib_exchange.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_quantizer.h"
#include "imaging/io/ie_io_params.h"
#include "imaging/io/ie_le_bytes.h"
#include "platform/clock.h"

namespace {

constexpr int32_t kHeaderSize = 18, kFooterSize = 26, kExtensionSize = 495;
constexpr char kSignature[] = "TRUEVISION-XFILE.";  // and its NUL: 18 bytes
// Largest image the reader allocates, in pixels.
constexpr int64_t kMaxPixels = int64_t{1} << 28;


bool IsDepth(int32_t depth) {
    return depth == 1 || depth == 4 || depth == 8 || depth == 16 || depth == 24 || depth == 32;
}
bool IsImageType(int32_t type) { return (type >= 1 && type <= 3) || (type >= 9 && type <= 11); }

// Text of a NUL-terminated field of at most size bytes.
std::string FieldText(const uint8_t* p, size_t size) {
    const size_t length = static_cast<size_t>(std::find(p, p + size, uint8_t{0}) - p);
    return std::string(reinterpret_cast<const char*>(p), length);
}

// The extension area's fields into the parameters.
void ReadExtension(const uint8_t* e, TIOParamsVals& params) {
    params.TgaAuthor = FieldText(e + 2, 41);
    const int month = IEGetLE16(e + 367), day = IEGetLE16(e + 369), year = IEGetLE16(e + 371);
    const int hour = IEGetLE16(e + 373), minute = IEGetLE16(e + 375), second = IEGetLE16(e + 377);
    double date = 0;
    if (month >= 1 && month <= 12 && day >= 1 && day <= 31 && year >= 1 && year <= 2499 && hour < 24 && minute < 60 &&
        second < 60 && TryEncodeDate(year, month, day, date))
        params.TgaDate = date + (hour * 3600 + minute * 60 + second) / 86400.0;
    params.TgaJobName = FieldText(e + 379, 41);
    params.TgaBackground = TRGB{e[473], e[472], e[471]};
    const uint16_t aspectN = IEGetLE16(e + 474), aspectD = IEGetLE16(e + 476);
    if (aspectN != 0 && aspectD != 0) params.TgaAspectRatio = static_cast<double>(aspectN) / aspectD;
    const uint16_t gammaN = IEGetLE16(e + 478), gammaD = IEGetLE16(e + 480);
    if (gammaN != 0 && gammaD != 0) params.TgaGamma = static_cast<double>(gammaN) / gammaD;
}

TRGB From555(uint16_t v) {
    return TRGB{static_cast<uint8_t>((v & 31) * 8), static_cast<uint8_t>((v >> 5 & 31) * 8),
                static_cast<uint8_t>((v >> 10 & 31) * 8)};
}

// Decodes the pixel rows from the bytes after the colour map: raw rows or
// run-length packets, a packet going on into the next row when it is
// longer than what is left of this one.
class TPixelReader {
public:
    TPixelReader(const uint8_t* data, size_t size, int32_t depth, bool packed, const TRGB* palette,
                 const uint8_t* paletteAlpha)
        : data_(data), size_(size), depth_(depth), packed_(packed), palette_(palette), paletteAlpha_(paletteAlpha) {}

    // One row of width pixels: ie24RGB bytes (blue, green, red) and alpha,
    // or for depth 1 the row's bytes as they are. False when the data end
    // first; what was decoded stays.
    bool Row(uint8_t* out, uint8_t* alpha, int32_t width) {
        if (depth_ == 1) return Take(out, (static_cast<size_t>(width) + 7) / 8);
        if (depth_ == 4) {
            const size_t bytes = (static_cast<size_t>(width) + 1) / 2;
            if (position_ + bytes > size_) return false;
            for (int32_t x = 0; x < width; ++x) {
                const uint8_t b = data_[position_ + static_cast<size_t>(x / 2)];
                Index(x % 2 ? b & 15 : b >> 4, out + 3 * x, alpha ? alpha + x : nullptr);
            }
            position_ += bytes;
            return true;
        }
        const size_t pixelBytes = static_cast<size_t>(depth_ / 8);
        for (int32_t x = 0; x < width; ++x) {
            const uint8_t* pixel = nullptr;
            if (!packed_) {
                if (position_ + pixelBytes > size_) return false;
                pixel = data_ + position_;
                position_ += pixelBytes;
            } else {
                if (left_ == 0) {
                    if (position_ >= size_) return false;
                    const uint8_t head = data_[position_++];
                    left_ = (head & 127) + 1;
                    run_ = (head & 128) != 0;
                    if (run_) {
                        if (position_ + pixelBytes > size_) return false;
                        runPixel_ = data_ + position_;
                        position_ += pixelBytes;
                    }
                }
                if (run_) {
                    pixel = runPixel_;
                } else {
                    if (position_ + pixelBytes > size_) return false;
                    pixel = data_ + position_;
                    position_ += pixelBytes;
                }
                --left_;
            }
            Convert(pixel, out + 3 * x, alpha ? alpha + x : nullptr);
        }
        return true;
    }

private:
    bool Take(uint8_t* out, size_t bytes) {
        const size_t got = std::min(bytes, size_ - std::min(position_, size_));
        std::memcpy(out, data_ + position_, got);
        position_ += got;
        return got == bytes;
    }

    void Index(uint32_t index, uint8_t* bgr, uint8_t* alpha) const {
        const TRGB c = palette_[index & 255];
        bgr[0] = c.b, bgr[1] = c.g, bgr[2] = c.r;
        if (alpha && paletteAlpha_) *alpha = paletteAlpha_[index & 255];
    }

    void Convert(const uint8_t* p, uint8_t* bgr, uint8_t* alpha) const {
        switch (depth_) {
            case 8: Index(p[0], bgr, alpha); break;
            case 16: {
                const TRGB c = From555(IEGetLE16(p));
                bgr[0] = c.b, bgr[1] = c.g, bgr[2] = c.r;
                break;
            }
            case 24: bgr[0] = p[0], bgr[1] = p[1], bgr[2] = p[2]; break;
            default:
                bgr[0] = p[0], bgr[1] = p[1], bgr[2] = p[2];
                if (alpha) *alpha = p[3];
                break;
        }
    }

    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
    int32_t depth_;
    bool packed_;
    const TRGB* palette_;
    const uint8_t* paletteAlpha_;
    int32_t left_ = 0;
    bool run_ = false;
    const uint8_t* runPixel_ = nullptr;
};

// Mirrors a row of count cells of the given byte size.
void MirrorRow(uint8_t* row, int32_t count, size_t cell) {
    for (int32_t a = 0, b = count - 1; a < b; ++a, --b)
        std::swap_ranges(row + static_cast<size_t>(a) * cell, row + static_cast<size_t>(a + 1) * cell,
                         row + static_cast<size_t>(b) * cell);
}

void MirrorBits(uint8_t* row, int32_t width) {
    std::vector<uint8_t> copy(row, row + (width + 7) / 8);
    for (int32_t x = 0; x < width; ++x) {
        const int32_t from = width - 1 - x;
        const bool set = copy[static_cast<size_t>(from / 8)] & (0x80 >> (from % 8));
        if (set) row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        else row[x / 8] &= static_cast<uint8_t>(~(0x80 >> (x % 8)));
    }
}

// A pixel of the mask below 255, whatever the mask's flag says.
bool HasTransparency(TIEMask& mask) {
    for (int32_t y = 0; y < mask.Height(); ++y) {
        const uint8_t* row = mask.GetScanline(y);
        if (std::any_of(row, row + mask.Width(), [](uint8_t a) { return a != 255; })) return true;
    }
    return false;
}

}  // namespace

bool IEIsTGAHeader(const uint8_t* h, int64_t size) {
    if (size < kHeaderSize) return false;
    const uint8_t colorMapType = h[1], imageType = h[2], depth = h[16];
    if (colorMapType > 1 || !IsImageType(imageType)) return false;
    if (colorMapType == 1 && !(h[7] == 15 || h[7] == 16 || h[7] == 24 || h[7] == 32)) return false;
    if (colorMapType == 0 && (imageType == 1 || imageType == 9)) return false;
    if (!IsDepth(depth)) return false;
    if (IEGetLE16(h + 12) == 0 || IEGetLE16(h + 14) == 0) return false;
    return (h[17] & 0xC0) == 0;
}

bool IEIsTGAStream(TStream& stream) {
    const int64_t position = stream.GetPosition();
    uint8_t h[kHeaderSize];
    const int64_t got = stream.Read(h, kHeaderSize);
    stream.SetPosition(position);
    return got == kHeaderSize && IEIsTGAHeader(h, got);
}

void IEReadTGAStream(TStream& stream, TIEBitmap& bitmap, TIOParamsVals& params, TIEProgressRec& progress,
                     bool previewOnly, std::unique_ptr<TIEMask>& mask, bool noMask, std::string* failure) {
    auto fail = [&](const std::string& why) {
        progress.Abort();
        if (failure && failure->empty()) *failure = why;
    };
    params.TgaAuthor.clear();
    params.TgaJobName.clear();
    params.TgaDate = std::floor(NowAsDateTime());
    params.TgaBackground = TRGB{0, 0, 0};
    params.TgaAspectRatio = 1.0;
    params.TgaGamma = 2.2;

    // The whole file is held: the footer sits at its end.
    const int64_t start = stream.GetPosition();
    const int64_t total = std::max<int64_t>(stream.GetSize() - start, 0);
    std::vector<uint8_t> file(static_cast<size_t>(total));
    const auto size = static_cast<size_t>(stream.Read(file.data(), total));
    file.resize(size);
    if (size < kHeaderSize) {
        fail("the file is shorter than a Targa header");
        return;
    }
    if (size >= kHeaderSize + kFooterSize) {
        const uint8_t* footer = file.data() + size - kFooterSize;
        const uint32_t extension = IEGetLE32(footer);
        if (std::memcmp(footer + 8, kSignature, sizeof kSignature) == 0 && extension != 0 &&
            extension <= size - kFooterSize && size - kFooterSize - extension >= kExtensionSize)
            ReadExtension(file.data() + extension, params);
    }

    const uint8_t* h = file.data();
    const int32_t idLength = h[0], colorMapType = h[1], imageType = h[2];
    const int32_t mapFirst = IEGetLE16(h + 3), mapLength = IEGetLE16(h + 5), mapEntry = h[7];
    const int32_t width = IEGetLE16(h + 12), height = IEGetLE16(h + 14), depth = h[16], descriptor = h[17];
    params.TgaXPos = static_cast<int16_t>(IEGetLE16(h + 8));
    params.TgaYPos = static_cast<int16_t>(IEGetLE16(h + 10));
    if (!IsImageType(imageType)) {
        fail("the image type " + std::to_string(imageType) + " is not a Targa type");
        return;
    }
    if (!IsDepth(depth)) {
        fail("the pixel depth " + std::to_string(depth) + " is not supported");
        return;
    }
    const bool packed = imageType >= 9;
    if (packed && (depth == 1 || depth == 4)) {
        fail("run-length coded images of " + std::to_string(depth) + " bit a pixel are not supported");
        return;
    }
    size_t position = kHeaderSize;
    params.TgaImageId.assign(reinterpret_cast<const char*>(h + position),
                             std::min<size_t>(static_cast<size_t>(idLength), size - position));
    // The ID may hold its NUL.
    if (const size_t nul = params.TgaImageId.find('\0'); nul != std::string::npos) params.TgaImageId.resize(nul);
    position += static_cast<size_t>(idLength);
    if (position > size) {
        fail("the image ID runs past the end of the file");
        return;
    }

    // A 3-3-2 colour cube until a colour map says otherwise.
    TRGB palette[256];
    uint8_t paletteAlpha[256];
    bool hasPaletteAlpha = false;
    for (int32_t i = 0; i < 256; ++i) {
        palette[i] = TRGB{static_cast<uint8_t>(64 * (i & 3) + 60), static_cast<uint8_t>(32 * ((i >> 2) & 7) + 28),
                          static_cast<uint8_t>(32 * (i >> 5) + 28)};
        paletteAlpha[i] = 255;
    }
    params.ColorMap.clear();
    if (colorMapType == 1) {
        const size_t entryBytes = (static_cast<size_t>(mapEntry) + 7) / 8;
        const size_t mapBytes = entryBytes * static_cast<size_t>(mapLength);
        if (position + mapBytes > size) {
            fail("the colour map runs past the end of the file");
            return;
        }
        if (mapEntry == 15 || mapEntry == 16 || mapEntry == 24 || mapEntry == 32) {
            for (int32_t i = 0; i < mapLength && mapFirst + i < 256; ++i) {
                const uint8_t* e = h + position + static_cast<size_t>(i) * entryBytes;
                TRGB& c = palette[mapFirst + i];
                if (entryBytes == 2) c = From555(IEGetLE16(e));
                else c = TRGB{e[0], e[1], e[2]};
                if (entryBytes == 4) {
                    paletteAlpha[mapFirst + i] = e[3];
                    hasPaletteAlpha = true;
                }
            }
        }
        position += mapBytes;
        params.ColorMap.assign(palette, palette + std::min(mapLength, 256));
        params.TgaGrayLevel = false;
    } else if (depth == 8) {
        for (int32_t i = 0; i < 256; ++i) palette[i] = TRGB{static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(i)};
        params.TgaGrayLevel = true;
    } else if (depth == 1) {
        palette[0] = TRGB{0, 0, 0};
        palette[1] = TRGB{255, 255, 255};
    }
    params.TgaCompressed = packed;
    params.Width = width;
    params.Height = height;
    params.SetDpiX(IELibraryDefaultDPI[0]);
    params.SetDpiY(IELibraryDefaultDPI[1]);
    switch (depth) {
        case 1: params.BitsPerSample = 1, params.SamplesPerPixel = 1; break;
        case 4: params.BitsPerSample = 4, params.SamplesPerPixel = 1; break;
        case 8: params.BitsPerSample = 8, params.SamplesPerPixel = 1; break;
        case 16: params.BitsPerSample = 5, params.SamplesPerPixel = 3; break;
        case 24: params.BitsPerSample = 8, params.SamplesPerPixel = 3; break;
        default: params.BitsPerSample = 8, params.SamplesPerPixel = 4; break;
    }
    if (previewOnly) return;
    if (width <= 0 || height <= 0) {
        fail("the image has no size");
        return;
    }
    if (int64_t{width} * height > kMaxPixels) {
        fail("the image is too large (" + std::to_string(width) + " x " + std::to_string(height) + ")");
        return;
    }
    // A run packet gives at most 128 pixels: data that cannot cover the
    // image are refused before its memory is taken.
    if (int64_t{width} * height > static_cast<int64_t>(size - position + 1) * 128) {
        fail("the pixel data end before the image does");
        return;
    }
    // Colour-mapped images need pixels that are indexes.
    if ((imageType == 1 || imageType == 9) && depth != 1 && depth != 4 && depth != 8) {
        fail("colour-mapped pixels of " + std::to_string(depth) + " bits are not supported");
        return;
    }
    progress.PercentPerUnit = 100.0 / height;
    progress.UnitsDone = 0;
    if (!bitmap.Allocate(width, height, depth == 1 ? ie1g : ie24RGB)) {
        fail("not enough memory for the image");
        return;
    }
    const bool withAlpha = !noMask && (depth == 32 || (colorMapType == 1 && mapEntry == 32 && hasPaletteAlpha));
    if (withAlpha) {
        if (!mask) mask = std::make_unique<TIEMask>();
        mask->AllocateBits(width, height, 8);
        mask->Fill(255);
    }
    std::vector<uint8_t> alphaRow(withAlpha ? static_cast<size_t>(width) : 0, 255);
    const bool topDown = (descriptor & 0x20) != 0;
    const bool rightToLeft = (descriptor & 0x10) != 0;
    TPixelReader reader(h + position, size - position, depth, packed, palette, hasPaletteAlpha ? paletteAlpha : nullptr);
    bool complete = true;
    for (int32_t i = 0; i < height; ++i) {
        const int32_t y = topDown ? i : height - 1 - i;
        uint8_t* row = bitmap.GetScanline(y);
        complete = reader.Row(row, withAlpha ? alphaRow.data() : nullptr, width);
        if (rightToLeft) {
            if (depth == 1) MirrorBits(row, width);
            else MirrorRow(row, width, 3);
            if (withAlpha) MirrorRow(alphaRow.data(), width, 1);
        }
        if (withAlpha) std::memcpy(mask->GetScanline(y), alphaRow.data(), static_cast<size_t>(width));
        ++progress.UnitsDone;
        progress.Report(IEUnitPercent(progress, progress.UnitsDone));
        if (!complete) {
            fail("the pixel data end before the image does");
            break;
        }
        if (progress.Aborting()) break;
    }
    if (withAlpha) {
        // Alpha that is 0 everywhere was never meant: the image is opaque.
        mask->SyncBounds();
        if (mask->IsEmpty()) mask.reset();
        else mask->SetFull(false);
    }
}

void IEWriteTGAStream(TStream& stream, TIEBitmap& bitmap, TIOParamsVals& params, TIEProgressRec& progress,
                      TIEMask* mask) {
    const TIEPixelFormat format = bitmap.GetPixelFormat();
    if (format != ie24RGB && format != ie1g) return;
    const int32_t width = bitmap.GetWidth(), height = bitmap.GetHeight();
    TIEBitmap* image = &bitmap;
    std::unique_ptr<TIEBitmap> converted;
    std::unique_ptr<TIEQuantizer> quantizer;
    TRGB palette[256] = {};
    bool gray = false;
    int32_t depth = 24;
    if (params.SamplesPerPixel == 1 && params.BitsPerSample == 1) {
        depth = 1;
        params.TgaCompressed = false;
        if (format != ie1g) {
            TRGB first, second;
            converted = IEBitmapToBWIfTwoColors(bitmap, first, second);
            if (!converted) {
                converted = std::make_unique<TIEBitmap>();
                converted->Assign(bitmap);
                converted->SetPixelFormat(ie1g);
            }
            image = converted.get();
        }
    } else {
        // Deeper files are made from true colour: black and white pixels
        // are widened first.
        if (format == ie1g) {
            converted = std::make_unique<TIEBitmap>();
            converted->Assign(bitmap);
            converted->SetPixelFormat(ie24RGB);
            image = converted.get();
        }
        if (params.SamplesPerPixel == 1 && (params.BitsPerSample == 4 || params.BitsPerSample == 8)) {
            depth = params.BitsPerSample;
            const int32_t colors = 1 << depth;
            if (depth == 4) params.TgaCompressed = false;
            gray = depth == 8 && params.TgaGrayLevel;
            quantizer = std::make_unique<TIEQuantizer>(*image, palette, colors);
            params.ColorMap.assign(palette, palette + colors);
        } else if (mask && mask->BitsPerPixel() == 8 && mask->Width() == width && mask->Height() == height &&
                   HasTransparency(*mask)) {
            depth = 32;
            params.TgaCompressed = false;
        }
    }
    const bool packed = params.TgaCompressed && (depth == 8 || depth == 24);
    const bool colorMapped = (depth == 4 || depth == 8) && !gray;

    uint8_t header[kHeaderSize] = {};
    const std::string id = params.TgaImageId.substr(0, 254);
    header[0] = static_cast<uint8_t>(id.size() + 1);
    header[1] = colorMapped ? 1 : 0;
    header[2] = static_cast<uint8_t>((colorMapped ? 1 : (depth == 1 || gray) ? 3 : 2) + (packed ? 8 : 0));
    if (colorMapped) {
        IEPutLE16(header + 5, 1u << depth);
        header[7] = 24;
    }
    IEPutLE16(header + 8, static_cast<uint32_t>(params.TgaXPos));
    IEPutLE16(header + 10, static_cast<uint32_t>(params.TgaYPos));
    IEPutLE16(header + 12, static_cast<uint32_t>(width));
    IEPutLE16(header + 14, static_cast<uint32_t>(height));
    header[16] = static_cast<uint8_t>(depth);
    header[17] = static_cast<uint8_t>(0x20 | (depth == 32 ? 8 : 0));
    const int64_t start = stream.GetPosition();
    IEStreamWriteChecked(stream, header, kHeaderSize, progress);
    IEStreamWriteChecked(stream, id.c_str(), static_cast<int64_t>(id.size() + 1), progress);
    if (colorMapped) {
        std::vector<uint8_t> map;
        for (int32_t i = 0; i < (1 << depth); ++i) map.insert(map.end(), {palette[i].b, palette[i].g, palette[i].r});
        IEStreamWriteChecked(stream, map.data(), static_cast<int64_t>(map.size()), progress);
    }

    progress.PercentPerUnit = height > 0 ? 100.0 / height : 0;
    progress.UnitsDone = 0;
    const int32_t rowBytes = depth == 1 ? (width + 7) / 8 : depth == 4 ? (width + 1) / 2 : width * (depth / 8);
    std::vector<uint8_t> row(static_cast<size_t>(width) * 4 + 8), out;
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* source = image->GetScanline(y);
        std::fill(row.begin(), row.end(), uint8_t{0});
        if (depth == 32) {
            const uint8_t* alpha = mask->GetScanline(y);
            for (int32_t x = 0; x < width; ++x) {
                std::memcpy(&row[4 * static_cast<size_t>(x)], source + 3 * x, 3);
                row[4 * static_cast<size_t>(x) + 3] = alpha[x];
            }
        } else if (depth == 1 || depth == 24) {
            std::memcpy(row.data(), source, static_cast<size_t>(rowBytes));
            if (depth == 1 && width % 8) row[static_cast<size_t>(rowBytes - 1)] &= static_cast<uint8_t>(0xFF << (8 - width % 8));
        } else {
            IEConvertRowBitDepth(source, row.data(), 24, quantizer.get(), palette, width, depth);
            if (gray)
                for (int32_t x = 0; x < width; ++x) row[static_cast<size_t>(x)] = static_cast<uint8_t>(IERGBToGray(palette[row[static_cast<size_t>(x)]]));
        }
        if (packed) {
            // Runs of two or more equal pixels are run packets; other pixels
            // go in raw packets, which end where two equal pixels follow.
            const size_t cell = static_cast<size_t>(depth / 8);
            auto same = [&](int32_t a, int32_t b) {
                return std::memcmp(&row[static_cast<size_t>(a) * cell], &row[static_cast<size_t>(b) * cell], cell) == 0;
            };
            out.clear();
            for (int32_t x = 0; x < width;) {
                int32_t run = 1;
                while (x + run < width && run < 128 && same(x, x + run)) ++run;
                if (run >= 2) {
                    out.push_back(static_cast<uint8_t>(0x80 + run - 1));
                    out.insert(out.end(), &row[static_cast<size_t>(x) * cell], &row[static_cast<size_t>(x + 1) * cell]);
                    x += run;
                    continue;
                }
                int32_t count = 1;
                while (x + count < width && count < 128 && !(x + count + 1 < width && same(x + count, x + count + 1)))
                    ++count;
                out.push_back(static_cast<uint8_t>(count - 1));
                out.insert(out.end(), &row[static_cast<size_t>(x) * cell], &row[static_cast<size_t>(x + count) * cell]);
                x += count;
            }
            IEStreamWriteChecked(stream, out.data(), static_cast<int64_t>(out.size()), progress);
        } else {
            IEStreamWriteChecked(stream, row.data(), rowBytes, progress);
        }
        ++progress.UnitsDone;
        progress.Report(IEUnitPercent(progress, progress.UnitsDone));
    }

    uint8_t extension[kExtensionSize] = {};
    IEPutLE16(extension, kExtensionSize);
    std::memcpy(extension + 2, params.TgaAuthor.c_str(), std::min<size_t>(params.TgaAuthor.size(), 40));
    int year = 0, month = 0, day = 0;
    DecodeDate(params.TgaDate, year, month, day);
    const double fraction = params.TgaDate - std::floor(params.TgaDate);
    const auto seconds = static_cast<int32_t>(std::lround(fraction * 86400)) % 86400;
    const int32_t date[6] = {month, day, year, seconds / 3600, seconds / 60 % 60, seconds % 60};
    for (int32_t i = 0; i < 6; ++i) IEPutLE16(extension + 367 + 2 * i, static_cast<uint32_t>(std::max(date[i], 0)));
    std::memcpy(extension + 379, params.TgaJobName.c_str(), std::min<size_t>(params.TgaJobName.size(), 40));
    extension[471] = params.TgaBackground.r;
    extension[472] = params.TgaBackground.g;
    extension[473] = params.TgaBackground.b;
    IEPutLE16(extension + 474, static_cast<uint32_t>(std::clamp(params.TgaAspectRatio * 10000, 0.0, 65535.0)));
    IEPutLE16(extension + 476, 10000);
    IEPutLE16(extension + 478, static_cast<uint32_t>(std::clamp(params.TgaGamma * 10000, 0.0, 65535.0)));
    IEPutLE16(extension + 480, 10000);
    const int64_t extensionAt = stream.GetPosition() - start;
    IEStreamWriteChecked(stream, extension, kExtensionSize, progress);
    uint8_t footer[kFooterSize] = {};
    IEPutLE32(footer, static_cast<uint32_t>(extensionAt));
    std::memcpy(footer + 8, kSignature, sizeof kSignature);
    IEStreamWriteChecked(stream, footer, kFooterSize, progress);
}
