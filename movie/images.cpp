#include "movie/images.h"

#include <algorithm>
#include <cstring>

#include "movie/jpeg_probe.h"
#include "platform/codepage.h"
#include "platform/errors.h"
#include "platform/jpeg.h"
#include "platform/paths.h"
#include "platform/zstream.h"
#include "swf/bitmap_tags.h"

namespace {

// The extension without its dot, upper-cased, as the messages name it.
std::string ExtensionName(const std::string& fileName) {
    std::string ext = AnsiUpperCase(ExtractFileExt(fileName));
    return ext.empty() ? ext : ext.substr(1);
}

// The memory row that holds picture row y (counted from the top): BMP rows
// are stored bottom first unless the height is negative.
int32_t MemoryRow(const TBMPReader& bmp, int32_t y) { return bmp.GetHeight() < 0 ? y : bmp.RowCount - 1 - y; }

// One alpha byte per pixel, top row first: the fourth byte of a 32-bit
// pixel, the value of a narrower one. On purpose, 4- and 1-bit values are
// spread over 0..255 rather than taken as they are (a nibble of 15 would be
// all but transparent), so that their largest value is opaque as an 8-bit
// 255 is.
std::vector<uint8_t> AlphaPlane(const TBMPReader& source) {
    const int32_t width = source.GetWidth(), height = source.RowCount;
    std::vector<uint8_t> plane;
    plane.reserve(size_t(width) * size_t(height));
    for (int32_t y = 0; y < height; ++y) {
        int32_t row = MemoryRow(source, y);
        const uint8_t* line = source.Rows[size_t(row)];
        for (int32_t x = 0; x < width; ++x) {
            switch (source.GetBitCount()) {
                case 32: plane.push_back(line[x * 4 + 3]); break;
                case 8: plane.push_back(line[x]); break;
                case 4: plane.push_back(static_cast<uint8_t>(source.GetPixelIndex(row, x) * 17)); break;
                case 1: plane.push_back(source.GetPixelIndex(row, x) ? 255 : 0); break;
                default: plane.push_back(255); break;
            }
        }
    }
    return plane;
}

// Colour times alpha, as bitmaps with alpha carry their colours.
uint8_t Premultiply(uint8_t colour, uint8_t alpha) { return static_cast<uint8_t>((colour * alpha + 127) / 255); }

void CheckPictureSize(int64_t width, int64_t height, const std::string& what) {
    if (width <= 0 || height <= 0 || width > 65535 || height > 65535)
        throw EConvertError(FormatStr("%s of %lld x %lld pixels cannot be a movie's bitmap (1 to 65535 each way)",
                                      what.c_str(), static_cast<long long>(width), static_cast<long long>(height)));
}

}  // namespace

TFlashImage::TFlashImage(TFlashMovie* movie, const std::string& fileName) : TFlashIDObject(movie) {
    if (!fileName.empty()) LoadFromFile(fileName);
}

TFlashImage::~TFlashImage() = default;

TBMPReader& TFlashImage::GetBitmap() {
    if (!bitmap_) bitmap_ = std::make_unique<TBMPReader>();
    return *bitmap_;
}

// ---------------------------------------------------------------- loading

void TFlashImage::LoadFromFile(const std::string& fileName) {
    std::string ext = ExtensionName(fileName);
    if (ext == "JPG" || ext == "JPEG") {
        LoadJPEGFile(fileName);
    } else if (ext == "BMP") {
        auto bitmap = std::make_unique<TBMPReader>();
        bitmap->LoadFromFile(fileName);
        TakeBitmap(std::move(bitmap));
    } else {
        FileName = fileName;
        AsJPEG = false;
        HasAlpha = false;
        throw Exception("Image format \"" + ext + "\" not supported!");
    }
    FileName = fileName;
}

void TFlashImage::LoadJPEGFile(const std::string& fileName) {
    TMemoryStream file(ReadFileBytes(fileName));
    uint16_t width = 0, height = 0;
    bool sized = GetJPEGSize(file, width, height) && width > 0 && height > 0;
    std::vector<uint8_t> bytes = file.TakeBytes();
    TJPEGImage image;
    try {
        image.LoadFromBytes(bytes.data(), bytes.size());
    } catch (const EJPEGError& failure) {
        throw EJPEGError(FormatStr("JPEG file \"%s\" cannot be decoded: %s", fileName.c_str(), failure.what()));
    }
    // libjpeg completes cut-short or damaged data with grey and only warns.
    if (image.Warnings() > 0)
        throw EJPEGError(FormatStr("JPEG file \"%s\" is damaged or cut short (%d decoder warnings)", fileName.c_str(),
                                   image.Warnings()));
    CheckPictureSize(image.Width(), image.Height(), "JPEG file \"" + fileName + "\"");
    std::vector<uint8_t> memory;
    uint8_t kind = kImageJPEGFile;
    // Without a baseline frame header (progressive data, above all) the data
    // is encoded again, so that every player can show it; with conversion
    // off the file goes in as it is, its size taken from the decoding.
    if (!sized) {
        width = static_cast<uint16_t>(image.Width());
        height = static_cast<uint16_t>(image.Height());
        if (ConvertProgressive) {
            image.CompressionQuality = 90;
            image.ProgressiveEncoding = false;
            memory = image.SaveToBytes();
            kind = kImageJPEGMemory;
        }
    }
    DataKind = kind;
    jpegData_ = std::move(memory);
    Width = width;
    Height = height;
    AsJPEG = true;
    HasAlpha = false;
    alphaData_.clear();
    losslessData_.clear();
    bitmap_.reset();
    alphaInPixels_ = false;
    Format = kLosslessUnknown;
    PaddedWidth = 0;
    PaletteSize = 0;
}

void TFlashImage::LoadFromStream(TStream& stream) {
    auto bitmap = std::make_unique<TBMPReader>();
    bitmap->LoadFromStream(stream);
    TakeBitmap(std::move(bitmap));
}

void TFlashImage::LoadFromBitmap(const TBMPReader& source) {
    auto bitmap = std::make_unique<TBMPReader>();
    bitmap->Assign(source, true);
    std::memcpy(bitmap->Info.bmiColors, source.Info.bmiColors, sizeof source.Info.bmiColors);
    bitmap->TransparentIndex = source.TransparentIndex;
    TakeBitmap(std::move(bitmap));
}

void TFlashImage::TakeBitmap(std::unique_ptr<TBMPReader> bitmap) {
    CheckPictureSize(bitmap->GetWidth(), bitmap->RowCount, "A bitmap");
    std::unique_ptr<TBMPReader> previous = std::move(bitmap_);
    bitmap_ = std::move(bitmap);
    try {
        HasAlpha = false;
        SetupFromBitmap();
    } catch (...) {
        bitmap_ = std::move(previous);
        throw;
    }
    // Plain 32-bit pixels leave the fourth byte 0; only a picture that
    // uses it has alpha there.
    alphaInPixels_ = bitmap_->GetBitCount() == 32 && bitmap_->HasAlpha();
    AsJPEG = false;
    jpegData_.clear();
    alphaData_.clear();
}

void TFlashImage::SetupFromBitmap() {
    TBMPReader& bmp = GetBitmap();
    CheckPictureSize(bmp.GetWidth(), bmp.RowCount, "A bitmap");
    Width = static_cast<uint16_t>(bmp.GetWidth());
    Height = static_cast<uint16_t>(bmp.RowCount);
    losslessData_.clear();
    switch (bmp.GetBitCount()) {
        case 1:
        case 4:
        case 8: {
            Format = kLosslessColorMapped;
            PaletteSize = static_cast<uint32_t>(bmp.CountColors());
            // The count of a 1-bit picture says nothing of which entry its
            // one colour uses; every index in use must stay in the table.
            for (int32_t row = 0; row < bmp.RowCount; ++row)
                for (int32_t col = 0; col < Width; ++col)
                    PaletteSize = std::max<uint32_t>(PaletteSize, bmp.GetPixelIndex(row, col) + 1u);
            PaddedWidth = static_cast<uint16_t>(std::min<uint32_t>((Width + 3u) & ~3u, 0xFFFF));
            HasAlpha = bmp.TransparentIndex >= 0;
            if (HasAlpha) SetAlphaIndex(static_cast<uint8_t>(bmp.TransparentIndex), 0);
            break;
        }
        case 16:
            Format = kLosslessRGB15;
            PaddedWidth = static_cast<uint16_t>(std::min<uint32_t>(Width + (Width & 1u), 0xFFFF));
            break;
        case 24:
            Format = kLosslessRGB24;
            PaddedWidth = Width;
            break;
        case 32:
            Format = kLosslessARGB;
            PaddedWidth = Width;
            HasAlpha = true;
            break;
        default: throw EConvertError(FormatStr("A bitmap of %u bits per pixel cannot be written", bmp.GetBitCount()));
    }
    DataKind = kImageLossless;
}

// ---------------------------------------------------------------- JPEG or pixels

std::vector<uint8_t> TFlashImage::RGBPixels() const {
    std::vector<uint8_t> rgb;
    rgb.reserve(size_t(Width) * Height * 3);
    for (int32_t y = 0; y < Height; ++y) {
        int32_t row = MemoryRow(*bitmap_, y);
        for (int32_t x = 0; x < Width; ++x) {
            TRGBTriple c;
            bitmap_->GetPixelColor(row, x, c);
            rgb.insert(rgb.end(), {c.rgbtRed, c.rgbtGreen, c.rgbtBlue});
        }
    }
    return rgb;
}

void TFlashImage::SetAsJPEG(bool on) {
    if (on == AsJPEG) return;
    if (on && DataKind == kImageLossless && bitmap_) {
        // Transparency survives as the alpha plane of a DefineBitsJPEG3.
        std::vector<uint8_t> alpha;
        if (bitmap_->GetBitCount() == 32 && alphaInPixels_) {
            alpha = AlphaPlane(*bitmap_);
        } else if (Format == kLosslessColorMapped && HasAlpha) {
            for (int32_t y = 0; y < Height; ++y)
                for (int32_t x = 0; x < Width; ++x)
                    alpha.push_back(bitmap_->Palette[bitmap_->GetPixelIndex(MemoryRow(*bitmap_, y), x)].rgbReserved);
        }
        TJPEGImage image;
        image.CompressionQuality = 100;
        image.SetPixels(Width, Height, 3, RGBPixels());
        jpegData_ = image.SaveToBytes();
        alphaData_ = std::move(alpha);
        HasAlpha = !alphaData_.empty();
        DataKind = kImageJPEGMemory;
        AsJPEG = true;
        losslessData_.clear();
    } else if (!on && (DataKind == kImageJPEGFile || DataKind == kImageJPEGMemory)) {
        std::vector<uint8_t> bytes = GetJPEGData();
        TJPEGImage image;
        image.LoadFromBytes(bytes.data(), bytes.size());
        bool alpha = alphaData_.size() == size_t(image.Width()) * size_t(image.Height());
        auto bmp = std::make_unique<TBMPReader>();
        // Top-down rows: memory row y is picture row y.
        bmp->SetSize(image.Width(), -image.Height(), alpha ? 32 : 24);
        const int components = image.Components();
        const uint8_t* pixel = image.Pixels().data();
        size_t at = 0;
        for (int32_t y = 0; y < image.Height(); ++y) {
            uint8_t* line = bmp->Rows[size_t(y)];
            for (int32_t x = 0; x < image.Width(); ++x, pixel += components, ++at) {
                uint8_t r = pixel[0], g = components == 3 ? pixel[1] : r, b = components == 3 ? pixel[2] : r;
                if (alpha) {
                    uint8_t* p = line + x * 4;
                    p[0] = b, p[1] = g, p[2] = r, p[3] = alphaData_[at];
                } else {
                    uint8_t* p = line + x * 3;
                    p[0] = b, p[1] = g, p[2] = r;
                }
            }
        }
        TakeBitmap(std::move(bmp));
        alphaInPixels_ = alpha;
        DataKind = kImageLossless;
    }
}

void TFlashImage::SetConvertProgressive(bool on) {
    if (on && !ConvertProgressive && DataKind == kImageJPEGFile && !FileName.empty()) {
        uint16_t width = 0, height = 0;
        if (!GetJPEGSize(FileName, width, height)) {
            TBaselineJPEG baseline = ReencodeAsBaseline(ReadFileBytes(FileName), 90, FileName);
            jpegData_ = std::move(baseline.Data);
            DataKind = kImageJPEGMemory;
        }
    }
    ConvertProgressive = on;
}

std::vector<uint8_t> TFlashImage::GetJPEGData() const {
    if (DataKind == kImageJPEGMemory) return jpegData_;
    if (DataKind != kImageJPEGFile) return {};
    std::vector<uint8_t> bytes = ReadFileBytes(FileName);
    // The file is read again at every make: it may have changed since.
    if (bytes.size() < 4 || bytes[0] != 0xFF || bytes[1] != 0xD8)
        throw EReadError(FormatStr("JPEG file \"%s\" no longer holds JPEG data", FileName.c_str()));
    return bytes;
}

// ---------------------------------------------------------------- transparency

void TFlashImage::SetAlphaColor(uint32_t color) {
    if (Format != kLosslessColorMapped || !bitmap_) return;
    HasAlpha = true;
    uint8_t r = color & 0xFF, g = (color >> 8) & 0xFF, b = (color >> 16) & 0xFF, alpha = color >> 24;
    for (uint32_t i = 0; i < PaletteSize && i < 256; ++i) {
        TRGBQuad& entry = bitmap_->Palette[i];
        if (entry.rgbRed != r || entry.rgbGreen != g || entry.rgbBlue != b) continue;
        entry.rgbReserved = alpha;
        if (alpha == 0) entry.rgbRed = entry.rgbGreen = entry.rgbBlue = 0;
    }
    losslessData_.clear();
}

void TFlashImage::SetAlphaIndex(uint8_t index, uint8_t alpha) {
    if (Format != kLosslessColorMapped || !bitmap_ || index >= PaletteSize) return;
    HasAlpha = true;
    TRGBQuad& entry = bitmap_->Palette[index];
    entry.rgbReserved = alpha;
    if (alpha == 0) entry.rgbRed = entry.rgbGreen = entry.rgbBlue = 0;
    losslessData_.clear();
}

void TFlashImage::ConvertToARGB() {
    auto argb = std::make_unique<TBMPReader>();
    argb->SetSize(Width, -int32_t{Height}, 32);
    for (int32_t y = 0; y < Height; ++y) {
        int32_t row = MemoryRow(*bitmap_, y);
        uint8_t* line = argb->Rows[size_t(y)];
        for (int32_t x = 0; x < Width; ++x) {
            TRGBTriple c;
            bitmap_->GetPixelColor(row, x, c);
            uint8_t* p = line + x * 4;
            p[0] = c.rgbtBlue, p[1] = c.rgbtGreen, p[2] = c.rgbtRed, p[3] = 255;
        }
    }
    bitmap_ = std::move(argb);
}

void TFlashImage::SetAlphaFromBitmap(const TBMPReader& source) {
    if (DataKind == kImageEmpty) return;
    int bits = source.GetBitCount();
    if (bits != 32 && bits > 8) return;
    // Alpha values of another size would not line up with the pixels,
    // whatever their depth.
    if (source.GetWidth() != Width || source.RowCount != Height || !source.Bits) return;
    std::vector<uint8_t> plane = AlphaPlane(source);  // source may be our own bitmap
    HasAlpha = true;
    if (AsJPEG) {
        alphaData_ = std::move(plane);
        return;
    }
    if (!bitmap_) return;
    // Per-pixel alpha needs 32-bit pixels: any other lossless picture is
    // widened rather than losing the values.
    if (bitmap_->GetBitCount() != 32) ConvertToARGB();
    for (int32_t y = 0; y < Height; ++y) {
        uint8_t* line = bitmap_->Rows[size_t(MemoryRow(*bitmap_, y))];
        for (int32_t x = 0; x < Width; ++x) line[x * 4 + 3] = plane[size_t(y) * Width + x];
    }
    alphaInPixels_ = true;
    Format = kLosslessARGB;
    PaddedWidth = Width;
    losslessData_.clear();
}

void TFlashImage::LoadAlphaFromStream(TStream& stream) {
    TBMPReader alpha;
    alpha.LoadFromStream(stream);
    SetAlphaFromBitmap(alpha);
}

void TFlashImage::LoadAlphaFromFile(const std::string& fileName) {
    std::string ext = ExtensionName(fileName);
    if (ext != "BMP") throw Exception("Image format \"" + ext + "\" for alpha not supported!");
    TFileStream file(fileName, TFileMode::OpenRead);
    LoadAlphaFromStream(file);
}

// ---------------------------------------------------------------- writing

void TFlashImage::MakeLosslessData() {
    if (!bitmap_ || !bitmap_->Bits) throw Exception("The image has no pixels to write");
    if (Format == kLosslessUnknown) SetupFromBitmap();
    const TBMPReader& bmp = *bitmap_;
    std::vector<uint8_t> raw;
    size_t pixelBytes = Format == kLosslessColorMapped ? 1 : Format == kLosslessRGB15 ? 2 : 4;
    raw.reserve(size_t(PaddedWidth) * Height * pixelBytes + PaletteSize * 4);
    // Bitmaps of a movie have their rows top first, each padded to 32 bits.
    switch (Format) {
        case kLosslessColorMapped: {
            for (uint32_t i = 0; i < PaletteSize; ++i) {
                const TRGBQuad& entry = bmp.Palette[i];
                if (HasAlpha) {
                    // On purpose premultiplied, as players read the palette of
                    // DefineBitsLossless2; written straight, a half-transparent
                    // entry would show too bright.
                    uint8_t a = entry.rgbReserved;
                    raw.insert(raw.end(), {Premultiply(entry.rgbRed, a), Premultiply(entry.rgbGreen, a),
                                           Premultiply(entry.rgbBlue, a), a});
                } else {
                    raw.insert(raw.end(), {entry.rgbRed, entry.rgbGreen, entry.rgbBlue});
                }
            }
            for (int32_t y = 0; y < Height; ++y) {
                int32_t row = MemoryRow(bmp, y);
                for (int32_t x = 0; x < Width; ++x) raw.push_back(bmp.GetPixelIndex(row, x));
                raw.resize(raw.size() + (PaddedWidth - Width), 0);
            }
            break;
        }
        case kLosslessRGB15: {
            // Five bits a channel, whatever the source's masks (a 5-6-5
            // picture loses the lowest green bit), the high byte first.
            for (int32_t y = 0; y < Height; ++y) {
                int32_t row = MemoryRow(bmp, y);
                for (int32_t x = 0; x < Width; ++x) {
                    TRGBTriple c;
                    bmp.GetPixelColor(row, x, c);
                    uint16_t v = static_cast<uint16_t>((c.rgbtRed >> 3) << 10 | (c.rgbtGreen >> 3) << 5 | c.rgbtBlue >> 3);
                    raw.insert(raw.end(), {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)});
                }
                raw.resize(raw.size() + 2 * size_t(PaddedWidth - Width), 0);
            }
            break;
        }
        case kLosslessRGB24:
        case kLosslessARGB: {
            // The fourth byte of bit-field pixels is alpha only where the
            // masks leave it free.
            bool alphaByte = Format == kLosslessARGB && alphaInPixels_ && bmp.GetBitCount() == 32 &&
                             ((bmp.GetRedMask() | bmp.GetGreenMask() | bmp.GetBlueMask()) & 0xFF000000u) == 0;
            if (Format == kLosslessARGB) HasAlpha = true;
            for (int32_t y = 0; y < Height; ++y) {
                int32_t row = MemoryRow(bmp, y);
                const uint8_t* line = bmp.Rows[size_t(row)];
                for (int32_t x = 0; x < Width; ++x) {
                    TRGBTriple c;
                    bmp.GetPixelColor(row, x, c);
                    uint8_t a = alphaByte ? line[x * 4 + 3] : 255;
                    raw.insert(raw.end(), {a, Premultiply(c.rgbtRed, a), Premultiply(c.rgbtGreen, a),
                                           Premultiply(c.rgbtBlue, a)});
                }
            }
            break;
        }
        default: throw Exception(FormatStr("Lossless bitmap format %u cannot be written", Format));
    }
    losslessData_ = ZCompress(raw.data(), raw.size());
    DataKind = kImageLossless;
}

const std::vector<uint8_t>& TFlashImage::GetLosslessData() {
    if (losslessData_.empty()) MakeLosslessData();
    return losslessData_;
}

void TFlashImage::WriteTag(TBitsEngine& be) {
    if (DataKind == kImageEmpty)
        throw Exception(FormatStr("Image %u holds no picture: load one before the movie is made", GetCharacterId()));
    if (AsJPEG) {
        std::vector<uint8_t> jpeg = GetJPEGData();
        if (jpeg.empty()) throw Exception(FormatStr("Image %u holds no JPEG data", GetCharacterId()));
        // The payload begins with FF D8, so the tag puts FF D9 FF D8 in
        // front of it, as old players expect.
        if (!alphaData_.empty()) {
            TSWFDefineBitsJPEG3 tag;
            tag.CharId = GetCharacterId();
            tag.SetBorrowedData(jpeg.data(), static_cast<int32_t>(jpeg.size()));
            tag.SetAlphaData(ZCompress(alphaData_.data(), alphaData_.size()));
            tag.WriteTag(be);
        } else {
            TSWFDefineBitsJPEG2 tag;
            tag.CharId = GetCharacterId();
            tag.SetBorrowedData(jpeg.data(), static_cast<int32_t>(jpeg.size()));
            tag.WriteTag(be);
        }
        return;
    }
    const std::vector<uint8_t>& data = GetLosslessData();
    std::unique_ptr<TSWFDefineBitsLossless> tag =
        HasAlpha ? std::make_unique<TSWFDefineBitsLossless2>() : std::make_unique<TSWFDefineBitsLossless>();
    tag->CharId = GetCharacterId();
    tag->BitmapFormat = Format == kLosslessARGB ? uint8_t{kBitmapRGB24} : Format;
    tag->BitmapWidth = Width;
    tag->BitmapHeight = Height;
    if (Format == kLosslessColorMapped) tag->BitmapColorTableSize = static_cast<uint8_t>(PaletteSize - 1);
    tag->SetBorrowedData(data.data(), static_cast<int32_t>(data.size()));
    tag->WriteTag(be);
}

void TFlashImage::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto& other = CopySourceAs<TFlashImage>(source, "an image");
    TFlashIDObject::CopyFieldsFrom(source);
    FileName = other.FileName;
    DataKind = other.DataKind;
    AsJPEG = other.AsJPEG;
    ConvertProgressive = other.ConvertProgressive;
    HasAlpha = other.HasAlpha;
    Width = other.Width;
    Height = other.Height;
    PaddedWidth = other.PaddedWidth;
    Format = other.Format;
    PaletteSize = other.PaletteSize;
    alphaInPixels_ = other.alphaInPixels_;
    // A JPEG still read from its file is read from the same file by the copy.
    jpegData_ = other.jpegData_;
    alphaData_ = other.alphaData_;
    losslessData_ = other.losslessData_;
    bitmap_.reset();
    if (other.bitmap_) {
        bitmap_ = std::make_unique<TBMPReader>();
        bitmap_->Assign(*other.bitmap_, true);
        // Assign reads the palette's alpha afresh; the copy keeps it as set.
        std::memcpy(bitmap_->Info.bmiColors, other.bitmap_->Info.bmiColors, sizeof bitmap_->Info.bmiColors);
        bitmap_->TransparentIndex = other.bitmap_->TransparentIndex;
    }
}
