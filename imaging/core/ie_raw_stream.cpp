// The raw form of a TIEBitmap ("TIEBITMAPRAW"): header, palette, settings,
// rows top first, then the alpha channel's rows. Integers and doubles are
// little-endian, fields packed.
#include <bit>
#include <cstring>

#include "imaging/core/ie_bitmap.h"

static_assert(std::endian::native == std::endian::little, "the raw form is written in the machine's byte order");

namespace {

constexpr char kMagic[12] = {'T', 'I', 'E', 'B', 'I', 'T', 'M', 'A', 'P', 'R', 'A', 'W'};

class TRawWriter {
public:
    TRawWriter(uint8_t* memory, TStream* stream) : memory_(memory), stream_(stream) {}
    void Bytes(const void* data, size_t count) {
        if (memory_) {
            std::memcpy(memory_ + offset_, data, count);
            offset_ += count;
        } else {
            stream_->WriteBuffer(data, static_cast<int64_t>(count));
        }
    }
    template <typename T>
    void Value(T value) {
        Bytes(&value, sizeof value);
    }

private:
    uint8_t* memory_;
    TStream* stream_;
    size_t offset_ = 0;
};

// Reads from a bounded block or a stream; every read says whether all its
// bytes were there.
class TRawReader {
public:
    TRawReader(const uint8_t* memory, size_t size, TStream* stream) : memory_(memory), size_(size), stream_(stream) {}
    bool Bytes(void* data, size_t count) {
        if (memory_) {
            if (count > size_ - offset_) return false;
            std::memcpy(data, memory_ + offset_, count);
            offset_ += count;
            return true;
        }
        return stream_ && stream_->Read(data, static_cast<int64_t>(count)) == static_cast<int64_t>(count);
    }
    template <typename T>
    bool Value(T& value) {
        return Bytes(&value, sizeof value);
    }
    // Whether count more bytes can be there (unknown for streams without a size).
    bool Holds(int64_t count) {
        if (memory_) return count >= 0 && static_cast<uint64_t>(count) <= size_ - offset_;
        const int64_t remaining = stream_->Remaining();
        return remaining < 0 || count <= remaining;
    }

private:
    const uint8_t* memory_;
    size_t size_;
    TStream* stream_;
    size_t offset_ = 0;
};

}  // namespace

int64_t TIEBitmap::RawSize() {
    int64_t size = 12 + 4 + 4 + 3 * int64_t{paletteLength_} + 55 + int64_t{height_} * rowLen_ + 1;
    if (alphaChannel_) size += int64_t{alphaChannel_->height_} * alphaChannel_->rowLen_ + 1;
    return size;
}

void TIEBitmap::SaveRawToStream(uint8_t* memory, TStream* stream) {
    TRawWriter out(memory, stream);
    out.Bytes(kMagic, sizeof kMagic);
    out.Value<int32_t>(0);
    out.Value<int32_t>(paletteLength_);
    for (int32_t i = 0; i < paletteLength_; ++i) out.Bytes(&palette_[static_cast<size_t>(i)], 3);
    out.Value<int32_t>(width_);
    out.Value<int32_t>(height_);
    out.Value<uint8_t>(pixelFormat_);
    out.Value<uint8_t>(fullOpacity_ ? 1 : 0);
    out.Value<int32_t>(PaletteColors);
    out.Value<double>(BlackValue);
    out.Value<double>(WhiteValue);
    for (int32_t offset : ChannelOffsets) out.Value<int32_t>(offset);
    out.Value<uint8_t>(ChannelOffsetsEnabled ? 1 : 0);
    out.Value<int32_t>(Contrast);
    out.Value<int32_t>(rowAlignment_);
    const uint8_t mode = AccessMode;
    AccessMode = TIEFileBuffer::kRead;
    for (int32_t row = 0; row < height_ && rowLen_ > 0; ++row) out.Bytes(GetScanline(row), static_cast<size_t>(rowLen_));
    AccessMode = mode;
    UnmapAllRows();
    out.Value<uint8_t>(alphaChannel_ ? 1 : 0);
    if (alphaChannel_) {
        TIEBitmap& alpha = *alphaChannel_;
        const uint8_t alphaMode = alpha.AccessMode;
        alpha.AccessMode = TIEFileBuffer::kRead;
        for (int32_t row = 0; row < alpha.height_ && alpha.rowLen_ > 0; ++row)
            out.Bytes(alpha.GetScanline(row), static_cast<size_t>(alpha.rowLen_));
        alpha.AccessMode = alphaMode;
        alpha.UnmapAllRows();
        out.Value<uint8_t>(alpha.fullOpacity_ ? 1 : 0);
    }
}

bool TIEBitmap::LoadRawFromStream(const uint8_t* memory, size_t memorySize, TStream* stream) {
    TRawReader in(memory, memorySize, stream);
    char magic[12];
    if (!in.Bytes(magic, sizeof magic) || std::memcmp(magic, kMagic, sizeof magic) != 0) return false;
    int32_t version = 0, paletteCount = 0;
    if (!in.Value(version) || version < 0) return false;
    // A palette holds at most 256 entries; more is not a bitmap of ours.
    if (!in.Value(paletteCount) || paletteCount < 0 || paletteCount > 65536) return false;
    std::vector<TRGB> palette(static_cast<size_t>(paletteCount));
    if (paletteCount > 0 && !in.Bytes(palette.data(), 3 * palette.size())) return false;
    int32_t width = 0, height = 0, paletteColors = 0, offsets[4] = {}, contrast = 0, alignment = 0;
    uint8_t format = 0, fullOpacity = 0, offsetsEnabled = 0;
    double black = 0, white = 0;
    if (!in.Value(width) || !in.Value(height) || !in.Value(format) || !in.Value(fullOpacity) ||
        !in.Value(paletteColors) || !in.Value(black) || !in.Value(white) || !in.Bytes(offsets, sizeof offsets) ||
        !in.Value(offsetsEnabled) || !in.Value(contrast) || !in.Value(alignment))
        return false;
    if (width < 0 || height < 0 || format >= kIEPixelFormatCount || alignment < 8 || alignment > 1024 ||
        alignment % 8 != 0)
        return false;
    const bool empty = width == 0 || height == 0 || format == ienull;
    // The rows must be there before anything is allocated for them.
    if (!empty && !in.Holds(int64_t{height} * IEBitmapRowLen(width, IEBitsPerPixel[format], alignment) + 1)) return false;

    if (empty) {
        FreeImage(true);
    } else {
        SetRowAlignment(alignment);
        if (!Allocate(width, height, static_cast<TIEPixelFormat>(format))) return false;
    }
    fullOpacity_ = fullOpacity != 0;
    PaletteColors = paletteColors;
    BlackValue = black;
    WhiteValue = white;
    for (int i = 0; i < 4; ++i) ChannelOffsets[i] = offsets[i];
    ChannelOffsetsEnabled = offsetsEnabled != 0;
    Contrast = contrast;
    for (int32_t i = 0; i < std::min(paletteCount, paletteLength_); ++i) SetPaletteColor(i, palette[static_cast<size_t>(i)]);

    bool whole = true;
    const uint8_t mode = AccessMode;
    AccessMode = TIEFileBuffer::kWrite;
    for (int32_t row = 0; !empty && row < height_ && whole; ++row)
        whole = in.Bytes(GetScanline(row), static_cast<size_t>(rowLen_));
    AccessMode = mode;
    UnmapAllRows();
    uint8_t hasAlpha = 0;
    if (!whole || !in.Value(hasAlpha)) return false;
    if (hasAlpha == 0) return true;
    if (empty) return false;
    TIEBitmap& alpha = *GetAlphaChannel();
    const uint8_t alphaMode = alpha.AccessMode;
    alpha.AccessMode = TIEFileBuffer::kWrite;
    for (int32_t row = 0; row < alpha.height_ && whole; ++row)
        whole = in.Bytes(alpha.GetScanline(row), static_cast<size_t>(alpha.rowLen_));
    alpha.AccessMode = alphaMode;
    alpha.UnmapAllRows();
    uint8_t alphaFull = 0;
    if (!whole || !in.Value(alphaFull)) return false;
    alpha.fullOpacity_ = alphaFull != 0;
    return true;
}
