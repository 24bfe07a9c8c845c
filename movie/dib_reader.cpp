#include "movie/dib_reader.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>

#include "platform/errors.h"

namespace {

constexpr uint32_t kBI_RGB = kDibRGB, kBI_RLE8 = kDibRLE8, kBI_RLE4 = kDibRLE4, kBI_BITFIELDS = kDibBitFields,
                   kBI_JPEG = kDibJPEG, kBI_PNG = kDibPNG, kBI_ALPHABITFIELDS = kDibAlphaBitFields;

uint16_t Word(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t DWord(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

int64_t StrideOf(int32_t width, int bitCount) {
    int64_t bits = int64_t{width} * bitCount;
    if (bitCount < 8) bits = (bits + 7) / 8 * 8;
    return ((bits + 31) & ~int64_t{31}) / 8;
}

uint8_t MaskSpan(uint32_t mask) { return DibMaskSpan(mask); }
uint8_t MaskLow(uint32_t mask) { return DibMaskLow(mask); }

bool ValidBitCount(unsigned bitCount) {
    return bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 16 || bitCount == 24 || bitCount == 32;
}

// The pixel memory and row table of a picture, refused above the cap before
// anything is taken. Every factor is checked first, so the product cannot
// overflow whatever a file claims.
int64_t CheckedImageBytes(const char* what, int64_t width, int64_t rows, int bitCount) {
    constexpr int64_t cap = TBMPReader::kMaxImageBytes;
    int64_t stride = width > cap ? cap + 1 : StrideOf(static_cast<int32_t>(width), bitCount);
    int64_t rowBytes = stride + static_cast<int64_t>(sizeof(uint8_t*));
    if (rows > cap / rowBytes)
        throw EReadError(FormatStr("%s of %lld x %lld pixels at %d bits is too large", what,
                                   static_cast<long long>(width), static_cast<long long>(rows), bitCount));
    return rows * stride;
}

void PutLE32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

}  // namespace

TBMPReader::TBMPReader() { Info.bmiHeader = TBitmapInfoHeader{}; }

uint32_t TBMPReader::Mask(int i) const {
    const TRGBQuad& q = Info.bmiColors[i];
    return uint32_t{q.rgbBlue} | uint32_t{q.rgbGreen} << 8 | uint32_t{q.rgbRed} << 16 | uint32_t{q.rgbReserved} << 24;
}

void TBMPReader::SetMask(int i, uint32_t mask) {
    TRGBQuad& q = Info.bmiColors[i];
    q.rgbBlue = static_cast<uint8_t>(mask);
    q.rgbGreen = static_cast<uint8_t>(mask >> 8);
    q.rgbRed = static_cast<uint8_t>(mask >> 16);
    q.rgbReserved = static_cast<uint8_t>(mask >> 24);
}

// ---------------------------------------------------------------- format

void TBMPReader::SetFormat(uint8_t* bits, int32_t width, int32_t height, uint16_t bitCount, uint8_t redBits,
                           uint8_t greenBits, uint8_t blueBits) {
    // Without a screen, its depth is taken as 32 bits of 8/8/8.
    if (bitCount == 0) {
        bitCount = 32;
        redBits = greenBits = blueBits = 8;
    }
    if (!ValidBitCount(bitCount)) throw EReadError(FormatStr("A bitmap cannot have %u bits per pixel", bitCount));
    if (width < 0 || height == INT32_MIN)
        throw EReadError(FormatStr("A bitmap cannot be %d x %d pixels", width, height));
    // The widths become shift counts: together they fit the pixel.
    if (redBits + greenBits + blueBits > (bitCount == 16 ? 16 : 32))
        throw EReadError(FormatStr("Colour channels of %u, %u and %u bits do not fit %u bits per pixel", redBits,
                                   greenBits, blueBits, bitCount));
    int64_t rows = height < 0 ? -int64_t{height} : height;
    int64_t stride = StrideOf(width, bitCount);
    CheckedImageBytes("A bitmap", width, rows, bitCount);

    uint32_t compression;
    if (redBits || greenBits || blueBits) {
        compression = kBI_BITFIELDS;
    } else {
        compression = kBI_RGB;
        if (bitCount == 16) redBits = greenBits = blueBits = 5;
        if (bitCount == 32) redBits = greenBits = blueBits = 8;
    }
    if (bitCount == 16 || bitCount == 32) {
        uint64_t blue = (uint64_t{1} << blueBits) - 1;
        uint64_t green = ((uint64_t{1} << (greenBits + blueBits)) - 1) & ~blue;
        int sum = redBits + greenBits + blueBits;
        uint64_t all = sum >= 32 ? 0xFFFFFFFFu : (uint64_t{1} << sum) - 1;
        uint64_t red = all & ~blue & ~green;
        // Masks given by a file are kept; built ones follow the widths.
        if (compression != kBI_BITFIELDS || (Mask(0) | Mask(1) | Mask(2)) == 0 || MaskSpan(Mask(0)) != redBits ||
            MaskSpan(Mask(1)) != greenBits || MaskSpan(Mask(2)) != blueBits) {
            SetMask(0, static_cast<uint32_t>(red));
            SetMask(1, static_cast<uint32_t>(green));
            SetMask(2, static_cast<uint32_t>(blue));
        }
    }

    TBitmapInfoHeader& h = Info.bmiHeader;
    if (bits == nullptr && ownsPixels_ && h.biWidth == width && h.biHeight == height && h.biBitCount == bitCount &&
        RedBits == redBits && GreenBits == greenBits && BlueBits == blueBits) {
        h.biCompression = compression;
        return;
    }

    h.biSize = 40;
    h.biPlanes = 1;
    h.biWidth = width;
    h.biHeight = height;
    h.biBitCount = bitCount;
    h.biCompression = compression;
    RowCount = static_cast<int32_t>(rows);
    RedBits = redBits;
    GreenBits = greenBits;
    BlueBits = blueBits;
    RedLoss = redBits >= 8 ? 0 : static_cast<uint8_t>(8 - redBits);
    GreenLoss = greenBits >= 8 ? 0 : static_cast<uint8_t>(8 - greenBits);
    BlueLoss = blueBits >= 8 ? 0 : static_cast<uint8_t>(8 - blueBits);
    GreenShift = blueBits;
    RedShift = static_cast<uint8_t>(blueBits + greenBits);
    redPos_ = MaskLow(Mask(0));
    greenPos_ = MaskLow(Mask(1));
    bluePos_ = MaskLow(Mask(2));
    Stride = static_cast<int32_t>(stride);
    int64_t pixelBytes = (int64_t{width} * bitCount + 7) / 8;
    Pad = static_cast<int32_t>(Stride - pixelBytes);
    h.biSizeImage = static_cast<uint32_t>(RowCount * int64_t{Stride});

    if (bits) {
        pixels_.clear();
        pixels_.shrink_to_fit();
        ownsPixels_ = false;
        Bits = bits;
    } else {
        pixels_.assign(h.biSizeImage, 0);
        ownsPixels_ = true;
        Bits = pixels_.data();
    }
    Rows.resize(static_cast<size_t>(RowCount));
    for (int32_t i = 0; i < RowCount; ++i) Rows[static_cast<size_t>(i)] = Bits + int64_t{i} * Stride;
}

void TBMPReader::TakeInfo(const TBitmapInfo& info, uint8_t* bits) {
    TBitmapInfo copy = info;  // info may be our own
    TBitmapInfoHeader& h = copy.bmiHeader;
    uint32_t compression = h.biCompression;
    auto maskOf = [&](int i) {
        const TRGBQuad& q = copy.bmiColors[i];
        return uint32_t{q.rgbBlue} | uint32_t{q.rgbGreen} << 8 | uint32_t{q.rgbRed} << 16 |
               uint32_t{q.rgbReserved} << 24;
    };
    if (compression == kBI_RLE8 || compression == kBI_RLE4)
        compression = (maskOf(0) | maskOf(1) | maskOf(2)) != 0 ? kBI_BITFIELDS : kBI_RGB;
    uint8_t r = 0, g = 0, b = 0;
    if ((h.biBitCount == 16 || h.biBitCount == 32) && compression == kBI_BITFIELDS) {
        r = MaskSpan(maskOf(0));
        g = MaskSpan(maskOf(1));
        b = MaskSpan(maskOf(2));
        // All three empty would mean "no masks": take the defaults then.
    }
    if (h.biBitCount <= 8 || (r | g | b) != 0)
        std::memcpy(Info.bmiColors, copy.bmiColors, sizeof Info.bmiColors);
    SetFormat(bits, h.biWidth, h.biHeight, h.biBitCount, r, g, b);
    Info.bmiHeader.biXPelsPerMeter = h.biXPelsPerMeter;
    Info.bmiHeader.biYPelsPerMeter = h.biYPelsPerMeter;
    Info.bmiHeader.biClrUsed = h.biBitCount <= 8 ? std::min<uint32_t>(h.biClrUsed, 256) : 0;
    Info.bmiHeader.biClrImportant = Info.bmiHeader.biClrUsed ? std::min(h.biClrImportant, 256u) : 0;
}

void TBMPReader::SetInfo(const TBitmapInfo& info) {
    TBitmapInfo copy = info;
    DetectPaletteAlpha(copy);
    // DetectPaletteAlpha changes the palette that is taken over.
    TakeInfo(copy, nullptr);
}

void TBMPReader::SetInfoAndBits(uint8_t* bits, const TBitmapInfo& info) { TakeInfo(info, bits); }

void TBMPReader::Assign(const TBMPReader& source, bool copyPixels) {
    SetInfo(source.Info);
    if (copyPixels && source.Bits && Bits)
        std::memcpy(Bits, source.Bits, std::min(GetSizeImage(), source.GetSizeImage()));
}

void TBMPReader::DetectPaletteAlpha(TBitmapInfo& info) {
    TransparentIndex = -1;
    int bits = info.bmiHeader.biBitCount;
    if (bits > 8) return;
    if (bits == 8) {
        uint32_t used = info.bmiHeader.biClrUsed == 0 ? 256 : std::min<uint32_t>(info.bmiHeader.biClrUsed, 256);
        bool anyZero = false, anyOpaque = false;
        for (uint32_t i = 0; i < used; ++i) {
            anyZero = anyZero || info.bmiColors[i].rgbReserved == 0;
            anyOpaque = anyOpaque || info.bmiColors[i].rgbReserved == 255;
        }
        if (!anyZero) return;
        if (anyOpaque) {
            for (int i = 0; i < 256; ++i)
                if (info.bmiColors[i].rgbReserved == 0) {
                    TransparentIndex = i;
                    break;
                }
            return;
        }
    }
    for (int i = 0; i < (1 << bits); ++i) info.bmiColors[i].rgbReserved = 255;
}

// ---------------------------------------------------------------- files

void TBMPReader::LoadFromFile(const std::string& fileName) {
    TFileStream file(fileName, TFileMode::OpenRead);
    LoadFromStream(file);
}

void TBMPReader::LoadFromStream(TStream& stream) {
    Warnings.clear();
    int64_t start = stream.GetPosition();
    int64_t available = stream.GetSize() - start;
    uint8_t fileHeader[18];
    if (available < 18) throw EReadError("The BMP file is too short for its headers");
    stream.ReadBuffer(fileHeader, 18);
    if (fileHeader[0] != 'B' || fileHeader[1] != 'M') throw EReadError("Not a BMP file (no \"BM\" signature)");
    uint32_t fileSize = DWord(fileHeader + 2);
    uint32_t offBits = DWord(fileHeader + 10);
    uint32_t headerSize = DWord(fileHeader + 14);
    if (headerSize != 12 && headerSize != 16 && headerSize != 40 && headerSize != 52 && headerSize != 56 &&
        headerSize != 64 && headerSize != 108 && headerSize != 124)
        throw EReadError(FormatStr("BMP info header of %u bytes is not supported", headerSize));
    if (14 + int64_t{headerSize} > available) throw EReadError("The BMP file is too short for its headers");
    std::vector<uint8_t> header(headerSize);
    std::memcpy(header.data(), fileHeader + 14, 4);
    stream.ReadBuffer(header.data() + 4, headerSize - 4);

    TBitmapInfo info;
    TBitmapInfoHeader& h = info.bmiHeader;
    TDibHeader layout = DibParseHeader(header.data(), headerSize);
    const int entrySize = layout.EntrySize();
    h.biWidth = layout.width;
    h.biHeight = layout.height;
    h.biPlanes = layout.planes;
    h.biBitCount = layout.bitCount;
    h.biCompression = layout.compression;
    h.biSizeImage = layout.sizeImage;
    h.biXPelsPerMeter = layout.xPelsPerMeter;
    h.biYPelsPerMeter = layout.yPelsPerMeter;
    h.biClrUsed = layout.clrUsed;
    h.biClrImportant = layout.clrImportant;
    if (headerSize == 16 || headerSize == 64) {
        // OS/2 uses 3 for Huffman 1D and 4 for RLE24, neither of which
        // means the Windows codes.
        if (h.biCompression != kBI_RGB && h.biCompression != kBI_RLE8 && h.biCompression != kBI_RLE4)
            throw EReadError(FormatStr("OS/2 BMP compression %u is not supported", h.biCompression));
    }
    if (h.biCompression == kBI_JPEG || h.biCompression == kBI_PNG)
        throw EReadError("BMP files with embedded JPEG or PNG data are not supported");
    if (h.biCompression > kBI_ALPHABITFIELDS)
        throw EReadError(FormatStr("BMP compression %u is not supported", h.biCompression));
    // The bit count comes first: every size below depends on it.
    if (!ValidBitCount(h.biBitCount))
        throw EReadError(FormatStr("BMP pictures of %u bits per pixel are not supported", h.biBitCount));
    if (h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT32_MIN)
        throw EReadError(FormatStr("A BMP picture of %d x %d pixels holds no pixels", h.biWidth, h.biHeight));
    bool runLength = h.biCompression == kBI_RLE8 || h.biCompression == kBI_RLE4;
    if ((h.biCompression == kBI_RLE8 && h.biBitCount != 8) || (h.biCompression == kBI_RLE4 && h.biBitCount != 4))
        throw EReadError(FormatStr("BMP run-length coding %u does not fit %u bits per pixel", h.biCompression,
                                   h.biBitCount));
    // Run-length data is stored bottom-up, and deltas only move up.
    if (runLength && h.biHeight < 0)
        throw EReadError("BMP run-length data cannot be stored top-down (negative height)");
    bool bitFields = h.biCompression == kBI_BITFIELDS || h.biCompression == kBI_ALPHABITFIELDS;
    if (bitFields && h.biBitCount != 16 && h.biBitCount != 32)
        throw EReadError(FormatStr("BMP bit-field masks do not fit %u bits per pixel", h.biBitCount));

    // Red, green, blue and alpha. Alpha is there only when the header has a
    // place for it (V3 and later) or the compression says so.
    uint32_t masks[4] = {0, 0, 0, 0};
    if (bitFields) {
        if (uint32_t count = layout.MaskBytesAfterHeader()) {
            // A short header is followed by the masks in the place of the
            // colour table.
            uint8_t bytes[16];
            if (stream.Read(bytes, count) != count) throw EReadError("The BMP file is too short for its colour masks");
            DibTakeMasksAfterHeader(layout, bytes);
        }
        std::copy(layout.masks, layout.masks + 4, masks);
        uint32_t taken = 0;
        for (uint32_t mask : masks) {
            // One run of bits each, inside the pixel, none sharing a bit.
            bool contiguous = mask == 0 || MaskSpan(mask) == std::popcount(mask);
            bool inside = h.biBitCount == 32 || mask >> 16 == 0;
            if (!contiguous || !inside || (mask & taken) != 0)
                throw EReadError(FormatStr("BMP colour masks %08X %08X %08X %08X do not fit %u-bit pixels", masks[0],
                                           masks[1], masks[2], masks[3], h.biBitCount));
            taken |= mask;
        }
        for (int i = 0; i < 3; ++i) {
            TRGBQuad& q = info.bmiColors[i];
            q = TRGBQuad{static_cast<uint8_t>(masks[i]), static_cast<uint8_t>(masks[i] >> 8),
                         static_cast<uint8_t>(masks[i] >> 16), static_cast<uint8_t>(masks[i] >> 24)};
        }
        h.biCompression = kBI_BITFIELDS;
    } else if (h.biBitCount <= 8) {
        uint32_t entries = h.biClrUsed == 0 || h.biClrUsed > (1u << h.biBitCount) ? 1u << h.biBitCount : h.biClrUsed;
        // The table ends where the pixels begin, whatever biClrUsed says.
        int64_t tableStart = stream.GetPosition() - start;
        if (offBits > tableStart)
            entries = std::min<uint32_t>(entries, static_cast<uint32_t>((offBits - tableStart) / entrySize));
        std::vector<uint8_t> table(size_t{entries} * entrySize);
        if (stream.Read(table.data(), static_cast<int64_t>(table.size())) != static_cast<int64_t>(table.size()))
            throw EReadError("The BMP file is too short for its colour table");
        for (uint32_t i = 0; i < entries; ++i) {
            const uint8_t* p = &table[size_t{i} * entrySize];
            info.bmiColors[i] = TRGBQuad{p[0], p[1], p[2], entrySize == 4 ? p[3] : uint8_t{0}};
        }
        h.biClrUsed = entries == (1u << h.biBitCount) ? 0 : entries;
    }
    if (offBits > available) throw EReadError(FormatStr("BMP pixel offset %u lies past the end of the file", offBits));
    int64_t left = available - offBits;
    // Checked before the pixel memory is taken, so that a damaged size in a
    // short file costs nothing.
    int64_t rows = h.biHeight < 0 ? -int64_t{h.biHeight} : h.biHeight;
    int64_t needed = CheckedImageBytes("A BMP picture", h.biWidth, rows, h.biBitCount);
    int64_t runLengthBytes = left;
    if (runLength) {
        if (fileSize > offBits) runLengthBytes = std::min<int64_t>(left, int64_t{fileSize} - offBits);
        // Two bytes of data paint at most 255 pixels; allowing four times
        // that (rows left to the background, early ends) still keeps a small
        // file from claiming a vast picture.
        int64_t pixels = int64_t{h.biWidth} * rows;
        if (pixels > std::max<int64_t>(int64_t{1} << 16, runLengthBytes * 512))
            throw EReadError(FormatStr("BMP run-length data of %lld bytes cannot fill a picture of %d x %lld pixels",
                                       static_cast<long long>(runLengthBytes), h.biWidth,
                                       static_cast<long long>(rows)));
    } else {
        int64_t lastPad = StrideOf(h.biWidth, h.biBitCount) - (int64_t{h.biWidth} * h.biBitCount + 7) / 8;
        // A file may leave out the padding of its last row; any less is damage.
        if (left < needed - lastPad)
            throw EReadError(FormatStr("BMP pixel data is truncated: %lld of %lld bytes", static_cast<long long>(left),
                                       static_cast<long long>(needed)));
    }
    // Entries written as "reserved" zero are no statement about alpha; V4
    // and V5 files say so with an alpha mask instead.
    SetInfo(info);

    stream.SetPosition(start + offBits);
    if (runLength) {
        std::vector<uint8_t> data(static_cast<size_t>(runLengthBytes));
        stream.ReadBuffer(data.data(), runLengthBytes);
        // Runs may skip pixels: those show the background, never what an
        // earlier picture of the same format left in the memory.
        if (Bits) std::memset(Bits, 0, GetSizeImage());
        DecodeRLE(data.data(), data.size(), h.biCompression == kBI_RLE4);
    } else {
        stream.ReadBuffer(Bits, std::min(needed, left));
    }
    if (bitFields && (h.biBitCount == 32 || masks[3] != 0)) TakeBitFieldPixels(masks);
    if (h.biBitCount <= 8 && h.biClrUsed != 0) CheckPaletteIndices(h.biClrUsed);
}

void TBMPReader::AddWarning(const std::string& text) {
    if (std::find(Warnings.begin(), Warnings.end(), text) == Warnings.end()) Warnings.push_back(text);
}

// 32-bit bit-field pixels, and 16-bit ones with alpha, become plain 32-bit
// pixels (blue, green, red, alpha), so that the fourth byte means alpha
// wherever the picture goes: the alpha field's value, or 0 when the file
// has none (the byte of an X8R8G8B8 picture, or red stored at the top, is
// no transparency).
void TBMPReader::TakeBitFieldPixels(const uint32_t masks[4]) {
    int32_t width = GetWidth(), height = GetHeight();
    std::vector<uint8_t> converted(size_t(width) * size_t(RowCount) * 4);
    for (int32_t row = 0; row < RowCount; ++row)
        DibUnpackRow(Rows[static_cast<size_t>(row)], width, GetBitCount(), masks, converted.data() + size_t(row) * width * 4);
    SetFormat(nullptr, width, height, 32);
    // Rows of 32-bit pixels have no padding: the copy is one block.
    std::memcpy(Bits, converted.data(), converted.size());
}

void TBMPReader::CheckPaletteIndices(uint32_t entries) {
    for (int32_t row = 0; row < RowCount; ++row)
        for (int32_t col = 0; col < GetWidth(); ++col)
            if (GetPixelIndex(row, col) >= entries) {
                AddWarning(FormatStr("BMP pixels use colours past the %u of the palette; they show black", entries));
                return;
            }
}

void TBMPReader::DecodeRLE(const uint8_t* data, size_t size, bool fourBits) {
    int64_t row = 0, col = 0;
    const int64_t width = GetWidth();
    // Encoders may code a row's padding too: only runs past it lose pixels.
    const int64_t paddedWidth = int64_t{Stride} * 8 / GetBitCount();
    size_t at = 0;
    auto put = [&](int64_t x, uint8_t index) {
        if (x < 0 || x >= width || row >= RowCount) return;
        uint8_t* line = Rows[static_cast<size_t>(row)];
        if (!fourBits) {
            line[x] = index;
        } else {
            uint8_t& b = line[x / 2];
            b = (x & 1) ? static_cast<uint8_t>((b & 0xF0) | (index & 0x0F))
                        : static_cast<uint8_t>((b & 0x0F) | (index << 4));
        }
    };
    while (row < RowCount) {
        if (at + 2 > size) {
            // Data that stops on the last row lacks only its final escape.
            if (row >= RowCount - 1) return;
            throw EReadError("BMP run-length data ends before the end of the picture");
        }
        uint8_t n = data[at], value = data[at + 1];
        at += 2;
        if (n > 0) {
            for (int i = 0; i < n && col + i < width; ++i)
                put(col + i, fourBits ? ((i & 1) ? value & 0x0F : value >> 4) : value);
            col += n;
            if (col > paddedWidth) AddWarning("BMP run-length data runs past the end of a row; the pixels beyond it are dropped");
            col = std::min<int64_t>(col, width + 256);
            continue;
        }
        if (value == 0) {
            col = 0;
            ++row;
        } else if (value == 1) {
            return;
        } else if (value == 2) {
            if (at + 2 > size) throw EReadError("BMP run-length data ends inside a delta");
            col += data[at];
            row += data[at + 1];
            at += 2;
            if (col > paddedWidth || row >= RowCount)
                AddWarning("BMP run-length data moves past the end of the picture; the pixels beyond it are dropped");
        } else {
            size_t bytes = fourBits ? (value + 1u) / 2 : value;
            bytes += bytes & 1;
            if (at + bytes > size) throw EReadError("BMP run-length data ends inside an absolute run");
            for (int i = 0; i < value; ++i) {
                uint8_t index = fourBits ? ((i & 1) ? data[at + i / 2] & 0x0F : data[at + i / 2] >> 4) : data[at + i];
                put(col + i, index);
            }
            col += value;
            at += bytes;
            if (col > paddedWidth) AddWarning("BMP run-length data runs past the end of a row; the pixels beyond it are dropped");
        }
        // Columns past the row only drop pixels; keep the count from growing
        // without bound over many runs.
        col = std::min<int64_t>(col, width + 256);
    }
}

void TBMPReader::SaveToStream(TStream& stream) const {
    const TBitmapInfoHeader& h = Info.bmiHeader;
    uint32_t tableSize;
    if (h.biClrUsed != 0)
        tableSize = h.biClrUsed * 4;
    else if (h.biCompression == kBI_BITFIELDS)
        tableSize = 12;
    else if (h.biBitCount > 8)
        tableSize = 0;
    else
        tableSize = (1u << h.biBitCount) * 4;
    uint32_t offBits = tableSize + 54;
    std::vector<uint8_t> out = {'B', 'M'};
    PutLE32(out, h.biSizeImage + offBits);
    PutLE32(out, 0);
    PutLE32(out, offBits);
    PutLE32(out, 40);
    PutLE32(out, static_cast<uint32_t>(h.biWidth));
    PutLE32(out, static_cast<uint32_t>(h.biHeight));
    out.push_back(1);
    out.push_back(0);
    out.push_back(static_cast<uint8_t>(h.biBitCount));
    out.push_back(static_cast<uint8_t>(h.biBitCount >> 8));
    PutLE32(out, h.biCompression);
    PutLE32(out, h.biSizeImage);
    PutLE32(out, static_cast<uint32_t>(h.biXPelsPerMeter));
    PutLE32(out, static_cast<uint32_t>(h.biYPelsPerMeter));
    PutLE32(out, h.biClrUsed);
    PutLE32(out, h.biClrImportant);
    const uint8_t* table = reinterpret_cast<const uint8_t*>(Info.bmiColors);
    out.insert(out.end(), table, table + tableSize);
    stream.WriteBuffer(out.data(), static_cast<int64_t>(out.size()));
    if (h.biSizeImage) stream.WriteBuffer(Bits, h.biSizeImage);
}

// ---------------------------------------------------------------- pixels

uint8_t TBMPReader::GetPixelIndex(int32_t row, int32_t col) const {
    if (row < 0 || row >= RowCount || col < 0 || col >= GetWidth()) return 0;
    const uint8_t* line = Rows[static_cast<size_t>(row)];
    switch (GetBitCount()) {
        case 1: return (line[col / 8] >> (7 - col % 8)) & 1;
        case 4: return (col & 1) ? line[col / 2] & 0x0F : line[col / 2] >> 4;
        case 8: return line[col];
        default: return 0;
    }
}

void TBMPReader::SetPixelIndex(int32_t row, int32_t col, uint8_t index) {
    if (row < 0 || row >= RowCount || col < 0 || col >= GetWidth()) return;
    uint8_t* line = Rows[static_cast<size_t>(row)];
    switch (GetBitCount()) {
        case 1: {
            uint8_t bit = static_cast<uint8_t>(0x80 >> (col % 8));
            line[col / 8] = (index & 1) ? (line[col / 8] | bit) : static_cast<uint8_t>(line[col / 8] & ~bit);
            break;
        }
        case 4: {
            uint8_t& b = line[col / 2];
            b = (col & 1) ? static_cast<uint8_t>((b & 0xF0) | (index & 0x0F))
                          : static_cast<uint8_t>((b & 0x0F) | (index << 4));
            break;
        }
        case 8: line[col] = index; break;
        default: break;
    }
}

void TBMPReader::GetPixelColor(int32_t row, int32_t col, TRGBTriple& color) const {
    if (row < 0 || row >= RowCount || col < 0 || col >= GetWidth()) return;
    const uint8_t* line = Rows[static_cast<size_t>(row)];
    switch (GetBitCount()) {
        case 1:
        case 4:
        case 8: {
            const TRGBQuad& q = Info.bmiColors[GetPixelIndex(row, col)];
            color = TRGBTriple{q.rgbBlue, q.rgbGreen, q.rgbRed};
            break;
        }
        case 24: color = TRGBTriple{line[col * 3], line[col * 3 + 1], line[col * 3 + 2]}; break;
        case 16:
        case 32: {
            if (GetBitCount() == 32 && GetCompression() != kBI_BITFIELDS) {
                color = TRGBTriple{line[col * 4], line[col * 4 + 1], line[col * 4 + 2]};
                break;
            }
            const uint32_t masks[4] = {Mask(0), Mask(1), Mask(2), 0};
            uint8_t bgra[4];
            DibUnpackRow(line + col * (GetBitCount() / 8), 1, GetBitCount(), masks, bgra);
            color = TRGBTriple{bgra[0], bgra[1], bgra[2]};
            break;
        }
        default: break;
    }
}

uint8_t TBMPReader::NearestPaletteIndex(uint32_t color) const {
    int r = (color >> 16) & 0xFF, g = (color >> 8) & 0xFF, b = color & 0xFF;
    int best = 765, found = 0;
    int entries = GetBitCount() <= 8 ? 1 << GetBitCount() : 256;
    for (int i = 0; i < entries; ++i) {
        const TRGBQuad& q = Info.bmiColors[i];
        int d = std::abs(q.rgbBlue - b) + std::abs(q.rgbGreen - g) + std::abs(q.rgbRed - r);
        if (d < best) {
            best = d;
            found = i;
        }
    }
    return static_cast<uint8_t>(found);
}

// The raw value of a 16-bit or bit-field pixel.
uint32_t TBMPReader::PackColor(uint32_t color) const {
    uint32_t r = (color >> 16) & 0xFF, g = (color >> 8) & 0xFF, b = color & 0xFF;
    uint32_t rv = RedBits > 8 ? r << (RedBits - 8) : r >> RedLoss;
    uint32_t gv = GreenBits > 8 ? g << (GreenBits - 8) : g >> GreenLoss;
    uint32_t bv = BlueBits > 8 ? b << (BlueBits - 8) : b >> BlueLoss;
    return (rv << redPos_ & Mask(0)) | (gv << greenPos_ & Mask(1)) | (bv << bluePos_ & Mask(2));
}

void TBMPReader::SetPixelColor(int32_t row, int32_t col, uint32_t color) {
    if (row < 0 || row >= RowCount || col < 0 || col >= GetWidth()) return;
    uint8_t* line = Rows[static_cast<size_t>(row)];
    switch (GetBitCount()) {
        case 1:
        case 4:
        case 8: SetPixelIndex(row, col, NearestPaletteIndex(color)); break;
        case 16: {
            uint32_t v = PackColor(color);
            line[col * 2] = static_cast<uint8_t>(v);
            line[col * 2 + 1] = static_cast<uint8_t>(v >> 8);
            break;
        }
        case 24:
        case 32: {
            if (GetBitCount() == 32 && GetCompression() == kBI_BITFIELDS) {
                // The bits outside the three masks (alpha) are kept.
                uint32_t keep = DWord(line + col * 4) & ~(Mask(0) | Mask(1) | Mask(2));
                uint32_t v = PackColor(color) | keep;
                for (int i = 0; i < 4; ++i) line[col * 4 + i] = static_cast<uint8_t>(v >> (8 * i));
                break;
            }
            int size = GetBitCount() / 8;
            line[col * size] = static_cast<uint8_t>(color);
            line[col * size + 1] = static_cast<uint8_t>(color >> 8);
            line[col * size + 2] = static_cast<uint8_t>(color >> 16);
            break;
        }
        default: break;
    }
}

void TBMPReader::FillColor(uint32_t color) {
    if (GetBitCount() <= 8) {
        uint8_t index = NearestPaletteIndex(color);
        for (int32_t r = 0; r < RowCount; ++r)
            for (int32_t c = 0; c < GetWidth(); ++c) SetPixelIndex(r, c, index);
        return;
    }
    for (int32_t r = 0; r < RowCount; ++r)
        for (int32_t c = 0; c < GetWidth(); ++c) SetPixelColor(r, c, color);
}

void TBMPReader::CopyRect(const TBMPReader& source, int32_t dstX, int32_t dstY, int32_t width, int32_t height,
                          int32_t srcX, int32_t srcY) {
    if (!Bits || !source.Bits) return;
    int64_t dx = dstX, dy = dstY, sx = srcX, sy = srcY, w = width, hgt = height;
    if (dx < 0) { sx -= dx; w += dx; dx = 0; }
    if (dy < 0) { sy -= dy; hgt += dy; dy = 0; }
    if (sx < 0) { dx -= sx; w += sx; sx = 0; }
    if (sy < 0) { dy -= sy; hgt += sy; sy = 0; }
    if (dx >= GetWidth() || dy >= RowCount || sx >= source.GetWidth() || sy >= source.RowCount) return;
    w = std::min({w, int64_t{GetWidth()} - dx, int64_t{source.GetWidth()} - sx});
    hgt = std::min({hgt, int64_t{RowCount} - dy, int64_t{source.RowCount} - sy});
    if (w <= 0 || hgt <= 0) return;
    // Top-based rows to memory rows: bottom-up bitmaps keep the top last.
    auto memoryRow = [](const TBMPReader& r, int64_t topRow) {
        return r.GetHeight() > 0 ? r.RowCount - 1 - topRow : topRow;
    };
    int bits = GetBitCount();
    if (bits == source.GetBitCount() && bits <= 8)
        std::memcpy(Info.bmiColors, source.Info.bmiColors, sizeof Info.bmiColors);
    if (bits == source.GetBitCount() && bits >= 8) {
        int bytes = bits / 8;
        for (int64_t i = 0; i < hgt; ++i) {
            uint8_t* to = Rows[static_cast<size_t>(memoryRow(*this, dy + i))] + dx * bytes;
            const uint8_t* from = source.Rows[static_cast<size_t>(memoryRow(source, sy + i))] + sx * bytes;
            std::memmove(to, from, static_cast<size_t>(w * bytes));
        }
        return;
    }
    for (int64_t i = 0; i < hgt; ++i) {
        int32_t toRow = static_cast<int32_t>(memoryRow(*this, dy + i));
        int32_t fromRow = static_cast<int32_t>(memoryRow(source, sy + i));
        for (int64_t j = 0; j < w; ++j) {
            TRGBTriple c;
            source.GetPixelColor(fromRow, static_cast<int32_t>(sx + j), c);
            if (bits <= 8 && bits == source.GetBitCount())
                SetPixelIndex(toRow, static_cast<int32_t>(dx + j), source.GetPixelIndex(fromRow, static_cast<int32_t>(sx + j)));
            else
                SetPixelColor(toRow, static_cast<int32_t>(dx + j), c.Value());
        }
    }
}

void TBMPReader::CopyAlphaFrom(const TBMPReader& source) {
    if (GetBitCount() != 32 || source.GetBitCount() != 8 || source.GetWidth() != GetWidth() ||
        source.RowCount != RowCount)
        return;
    for (int32_t r = 0; r < RowCount; ++r)
        for (int32_t c = 0; c < GetWidth(); ++c)
            Rows[static_cast<size_t>(r)][c * 4 + 3] = source.Rows[static_cast<size_t>(r)][c];
}

void TBMPReader::SetAlpha(uint8_t value) {
    if (GetBitCount() != 32) return;
    for (int64_t i = 3; i < int64_t{GetSizeImage()}; i += 4) Bits[i] = value;
}

void TBMPReader::SetAlphaWhereColored(uint8_t value) {
    if (GetBitCount() != 32) return;
    for (int64_t i = 0; i + 3 < int64_t{GetSizeImage()}; i += 4)
        Bits[i + 3] = (Bits[i] | Bits[i + 1] | Bits[i + 2]) ? value : 0;
}

bool TBMPReader::HasAlpha() const {
    if (GetBitCount() != 32) return false;
    for (int64_t i = 3; i < int64_t{GetSizeImage()}; i += 4)
        if (Bits[i]) return true;
    return false;
}

void TBMPReader::CompactPalette(const bool* used, int entries) {
    uint8_t remap[256] = {};
    TRGBQuad moved[256] = {};
    int next = 0;
    for (int i = 0; i < entries; ++i)
        if (used[i]) {
            remap[i] = static_cast<uint8_t>(next);
            moved[next++] = Info.bmiColors[i];
        }
    for (int i = 0; i < next; ++i) Info.bmiColors[i] = moved[i];
    // A transparent entry that no pixel uses has nothing left to point at.
    if (TransparentIndex >= 0 && TransparentIndex < entries)
        TransparentIndex = used[TransparentIndex] ? remap[TransparentIndex] : -1;
    for (int32_t r = 0; r < RowCount; ++r)
        for (int32_t c = 0; c < GetWidth(); ++c) SetPixelIndex(r, c, remap[GetPixelIndex(r, c)]);
}

int32_t TBMPReader::CountColors() {
    if (!Bits) return 0;
    int bits = GetBitCount();
    int32_t width = GetWidth();
    switch (bits) {
        case 1: {
            uint8_t first = Bits[0];
            if (first != 0x00 && first != 0xFF) return 2;
            for (int32_t r = 0; r < RowCount; ++r)
                for (int32_t b = 0; b < width / 8; ++b)
                    if (Rows[static_cast<size_t>(r)][b] != first) return 2;
            return 1;
        }
        case 4:
        case 8: {
            bool used[256] = {};
            int count = 0, limit = 1 << bits;
            for (int32_t r = 0; r < RowCount && count < limit; ++r)
                for (int32_t c = 0; c < width; ++c) {
                    uint8_t index = GetPixelIndex(r, c);
                    if (!used[index]) {
                        used[index] = true;
                        ++count;
                    }
                }
            // A one-colour 8-bit picture of index 1 stays as it is.
            if (bits == 8 && count == 1 && used[1]) return 2;
            if (count < limit) CompactPalette(used, limit);
            return count;
        }
        case 16: {
            std::vector<uint8_t> seen(65536, 0);
            int32_t count = 0;
            for (int32_t r = 0; r < RowCount; ++r)
                for (int32_t c = 0; c < width; ++c) {
                    uint16_t v = Word(Rows[static_cast<size_t>(r)] + c * 2);
                    if (!seen[v]) {
                        seen[v] = 1;
                        ++count;
                    }
                }
            return count;
        }
        case 24:
        case 32: {
            int size = bits / 8;
            int64_t pixels = int64_t{width} * RowCount;
            if (pixels <= 65536) {
                // Sorting a small picture costs less than touching 2 MB.
                std::vector<uint32_t> values;
                values.reserve(static_cast<size_t>(pixels));
                for (int32_t r = 0; r < RowCount; ++r)
                    for (int32_t c = 0; c < width; ++c) {
                        const uint8_t* p = Rows[static_cast<size_t>(r)] + c * size;
                        values.push_back(uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0]);
                    }
                std::sort(values.begin(), values.end());
                return static_cast<int32_t>(std::unique(values.begin(), values.end()) - values.begin());
            }
            std::vector<uint8_t> seen(size_t{1} << 21, 0);
            int32_t count = 0;
            for (int32_t r = 0; r < RowCount; ++r)
                for (int32_t c = 0; c < width; ++c) {
                    const uint8_t* p = Rows[static_cast<size_t>(r)] + c * size;
                    uint32_t key = uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
                    uint8_t bit = static_cast<uint8_t>(1u << (key & 7));
                    if (!(seen[key >> 3] & bit)) {
                        seen[key >> 3] |= bit;
                        ++count;
                    }
                }
            return count;
        }
        default: return 0;
    }
}
