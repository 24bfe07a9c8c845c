#include "imaging/io/ie_psd.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_resample.h"
#include "imaging/core/ie_view.h"
#include "imaging/io/ie_jpeg.h"

namespace {

constexpr int32_t kMaxSide = 300000;  // larger than any side Photoshop stores

// ---------------------------------------------------------------- reading

class TInput {
public:
    explicit TInput(TStream& stream) : stream_(stream), size_(stream.GetSize()) {}
    bool Read(void* buffer, int64_t count) {
        if (count <= 0) return true;
        if (stream_.Read(buffer, count) != count) {
            ended_ = true;
            return false;
        }
        return true;
    }
    uint8_t U8() {
        uint8_t b = 0;
        Read(&b, 1);
        return b;
    }
    uint16_t U16() {
        uint8_t b[2] = {0, 0};
        Read(b, 2);
        return static_cast<uint16_t>(b[0] << 8 | b[1]);
    }
    uint32_t U32() {
        uint8_t b[4] = {0, 0, 0, 0};
        Read(b, 4);
        return uint32_t{b[0]} << 24 | uint32_t{b[1]} << 16 | uint32_t{b[2]} << 8 | b[3];
    }
    int64_t Pos() { return stream_.GetPosition(); }
    void Seek(int64_t position) { stream_.SetPosition(position); }
    int64_t Size() const { return size_; }
    int64_t Left() { return size_ - Pos(); }
    bool Ended() const { return ended_; }
    TStream& Stream() { return stream_; }

private:
    TStream& stream_;
    int64_t size_;
    bool ended_ = false;
};

struct THeader {
    int32_t channels = 0, rows = 0, columns = 0, depth = 0, mode = 0;
};

bool ReadHeader(TInput& in, THeader& header) {
    uint8_t b[26];
    if (!in.Read(b, 26)) return false;
    auto be16 = [&](int at) { return b[at] << 8 | b[at + 1]; };
    auto be32 = [&](int at) { return static_cast<int64_t>(uint32_t{b[at]} << 24 | uint32_t{b[at + 1]} << 16 | uint32_t{b[at + 2]} << 8 | b[at + 3]); };
    if (std::memcmp(b, "8BPS", 4) != 0 || be16(4) != 1) return false;
    header.channels = be16(12);
    const int64_t rows = be32(14), columns = be32(18);
    header.depth = be16(22);
    header.mode = be16(24);
    if (header.channels < 1 || header.channels > 24 || header.depth < 1 || header.depth > 16 || header.mode >= 10)
        return false;
    header.rows = static_cast<int32_t>(std::min<int64_t>(rows, kMaxSide + 1));
    header.columns = static_cast<int32_t>(std::min<int64_t>(columns, kMaxSide + 1));
    return true;
}

TIEPixelFormat FormatFor(int32_t mode, int32_t depth) {
    switch (mode) {
        case 0: return depth == 1 ? ie1g : ienull;
        case 1:
        case 8: return depth == 8 ? ie8g : depth == 16 ? ie16g : ienull;
        case 2: return depth == 8 ? ie8p : ienull;
        case 3: return depth == 8 ? ie24RGB : depth == 16 ? ieRGB48 : ienull;
        case 4: return depth == 8 || depth == 16 ? ieCMYK : ienull;
        case 9: return depth == 8 || depth == 16 ? ieCIELab : ienull;
        default: return ienull;
    }
}

int32_t ColourChannels(int32_t mode) { return mode == 3 || mode == 9 ? 3 : mode == 4 ? 4 : 1; }
bool HasAlphaChannel(int32_t mode) { return mode != 0 && mode != 2; }

int64_t RowBytes(int32_t width, int32_t depth) {
    return depth == 1 ? (int64_t{width} + 7) / 8 : int64_t{width} * ((depth + 7) / 8);
}

// What one channel of a document holds.
enum TRole : int32_t { kSkip = -3, kMask = -2, kAlpha = -1 };  // 0 and up: colour channel

TRole RoleOf(int32_t id, int32_t mode) {
    if (id >= 0 && id < ColourChannels(mode)) return static_cast<TRole>(id);
    if (id == -2) return kMask;
    if (HasAlphaChannel(mode) && (id == -1 || id == ColourChannels(mode))) return kAlpha;
    return kSkip;
}

struct TDocument {
    THeader header;
    TIEPixelFormat format = ienull;
    std::vector<TRGB> palette;  // 256 entries when the colour mode data held one
    int32_t transparentIndex = -1;
};

// Places one unpacked row of a channel into the bitmap, allocating the
// bitmap in its format at the first row of the first channel.
void PlaceRow(TIEBitmap& bitmap, const TDocument& doc, TRole role, int32_t y, const uint8_t* row) {
    const int32_t width = bitmap.GetWidth();
    const int32_t depth = doc.header.depth;
    if (role == kMask) {
        uint8_t* out = bitmap.GetScanline(y);
        for (int32_t x = 0; x < width; ++x) out[x] = depth == 16 ? row[2 * x] : row[x];
        return;
    }
    if (role == kAlpha) {
        uint8_t* out = bitmap.GetAlphaChannel()->GetScanline(y);
        for (int32_t x = 0; x < width; ++x) out[x] = depth == 16 ? row[2 * x] : row[x];
        bitmap.SetFullOpacity(false);
        return;
    }
    uint8_t* out = bitmap.GetScanline(y);
    const int32_t c = role;
    switch (bitmap.GetPixelFormat()) {
        case ie1g: {
            const int64_t n = RowBytes(width, 1);
            for (int64_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(~row[i]);
            break;
        }
        case ie8p:
            std::memcpy(out, row, static_cast<size_t>(width));
            if (doc.transparentIndex >= 0) {
                uint8_t* alpha = bitmap.GetAlphaChannel()->GetScanline(y);
                for (int32_t x = 0; x < width; ++x) alpha[x] = row[x] == doc.transparentIndex ? 0 : 255;
                bitmap.SetFullOpacity(false);
            }
            break;
        case ie8g: std::memcpy(out, row, static_cast<size_t>(width)); break;
        case ie16g:
            for (int32_t x = 0; x < width; ++x) out[2 * x] = row[2 * x + 1], out[2 * x + 1] = row[2 * x];
            break;
        case ie24RGB:
            for (int32_t x = 0; x < width; ++x) out[3 * x + 2 - c] = row[x];
            break;
        case ieRGB48:
            for (int32_t x = 0; x < width; ++x) out[6 * x + 2 * c] = row[2 * x + 1], out[6 * x + 2 * c + 1] = row[2 * x];
            break;
        case ieCMYK: {
            const int32_t step = depth == 16 ? 2 : 1;
            for (int32_t x = 0; x < width; ++x) out[4 * x + c] = row[step * x];
            break;
        }
        case ieCIELab: {
            const int32_t step = depth == 16 ? 2 : 1;
            const int32_t shift = c == 0 ? 0 : 128;
            for (int32_t x = 0; x < width; ++x) out[3 * x + c] = static_cast<uint8_t>(row[step * x] - shift);
            break;
        }
        default: break;
    }
}

// Whether data of `available` bytes can hold height rows of rowSize bytes
// (packed rows take at least two bytes for every 128 bytes they unpack to;
// the row table is read before).
bool PlausibleRows(int64_t available, int64_t rowSize, int64_t height, int32_t compression) {
    if (compression == 0) return rowSize * height <= available;
    return height * 2 * ((rowSize + 127) / 128) <= available;
}

// Reads height rows of rowSize bytes: raw, or packed with the given byte
// counts; each unpacked row goes to place. False when the data is bad.
template <typename Place>
bool ReadRows(TInput& in, int32_t compression, const uint16_t* counts, int32_t height, int64_t rowSize, int64_t limit,
              Place place) {
    std::vector<uint8_t> row(static_cast<size_t>(rowSize)), packed;
    for (int32_t y = 0; y < height; ++y) {
        if (compression == 0) {
            if (in.Pos() + rowSize > limit || !in.Read(row.data(), rowSize)) return false;
        } else {
            const int32_t count = counts[y];
            if (in.Pos() + count > limit) return false;
            packed.resize(static_cast<size_t>(count));
            if (!in.Read(packed.data(), count)) return false;
            if (!IEPSDUnpackRow(packed.data(), count, row.data(), static_cast<int32_t>(rowSize))) return false;
        }
        place(y, row.data());
    }
    return true;
}

bool ReadCounts(TInput& in, std::vector<uint16_t>& counts, int64_t n, int64_t limit) {
    if (in.Pos() + 2 * n > limit) return false;
    std::vector<uint8_t> raw(static_cast<size_t>(2 * n));
    if (!in.Read(raw.data(), 2 * n)) return false;
    counts.resize(static_cast<size_t>(n));
    for (int64_t i = 0; i < n; ++i) counts[static_cast<size_t>(i)] = static_cast<uint16_t>(raw[2 * i] << 8 | raw[2 * i + 1]);
    return true;
}

bool AllocateFor(TIEBitmap& bitmap, int32_t width, int32_t height, TIEPixelFormat format, const TDocument& doc) {
    if (bitmap.GetWidth() != width || bitmap.GetHeight() != height || bitmap.GetPixelFormat() != format) {
        if (!bitmap.Allocate(width, height, format)) return false;
        if (format == ie1g || format == ie8g || format == ie16g) bitmap.Fill(format == ie1g ? 1 : 0);
        else if (format == ieCMYK) bitmap.Fill(static_cast<double>(0xFFFFFFFFu));
        else bitmap.Fill(0);
    }
    if (format == ie8p && doc.palette.size() == 256)
        for (int32_t i = 0; i < 256; ++i) bitmap.SetPaletteColor(i, doc.palette[static_cast<size_t>(i)]);
    return true;
}

void PrepareAlpha(TIEBitmap& bitmap) {
    TIEBitmap* alpha = bitmap.GetAlphaChannel();
    if (alpha->GetWidth() != bitmap.GetWidth() || alpha->GetHeight() != bitmap.GetHeight()) {
        alpha->Allocate(bitmap.GetWidth(), bitmap.GetHeight(), ie8g);
        alpha->Fill(255);
    }
}

struct TLayerRecord {
    int32_t top = 0, left = 0, bottom = 0, right = 0;
    std::vector<std::pair<int32_t, uint32_t>> channels;  // id, data length
    uint8_t opacity = 255, clipping = 0, flags = 0;
    std::string name;
    bool hasMask = false;
    int32_t maskTop = 0, maskLeft = 0, maskBottom = 0, maskRight = 0;
};

int32_t ToInt(uint32_t v) { return static_cast<int32_t>(v); }

bool ReadLayerRecord(TInput& in, TLayerRecord& record, int64_t limit) {
    record.top = ToInt(in.U32());
    record.left = ToInt(in.U32());
    record.bottom = ToInt(in.U32());
    record.right = ToInt(in.U32());
    const int32_t channels = in.U16();
    if (channels > 56 || in.Pos() + channels * 6 > limit) return false;
    for (int32_t i = 0; i < channels; ++i) {
        const auto id = static_cast<int16_t>(in.U16());
        const uint32_t length = in.U32();
        record.channels.emplace_back(id, length);
    }
    uint8_t signature[4] = {0, 0, 0, 0};
    in.Read(signature, 4);
    if (std::memcmp(signature, "8BIM", 4) != 0 && std::memcmp(signature, "8B64", 4) != 0) return false;
    in.U32();  // blend mode
    record.opacity = in.U8();
    record.clipping = in.U8();
    record.flags = in.U8();
    in.U8();
    const uint32_t extra = in.U32();
    const int64_t extraEnd = in.Pos() + extra;
    if (extraEnd > limit || in.Ended()) return false;
    const uint32_t maskSize = in.U32();
    const int64_t maskEnd = in.Pos() + maskSize;
    if (maskEnd > extraEnd) return false;
    if (maskSize >= 16) {
        record.maskTop = ToInt(in.U32());
        record.maskLeft = ToInt(in.U32());
        record.maskBottom = ToInt(in.U32());
        record.maskRight = ToInt(in.U32());
        record.hasMask = true;
    }
    in.Seek(maskEnd);
    const uint32_t ranges = in.U32();
    if (in.Pos() + ranges > extraEnd) return false;
    in.Seek(in.Pos() + ranges);
    const uint8_t nameLength = in.U8();
    if (in.Pos() + nameLength > extraEnd) return false;
    record.name.resize(nameLength);
    in.Read(record.name.data(), nameLength);
    // The additional layer information up to the end is not used.
    in.Seek(extraEnd);
    return !in.Ended();
}

bool ValidRect(int32_t top, int32_t left, int32_t bottom, int32_t right) {
    const int64_t w = int64_t{right} - left, h = int64_t{bottom} - top;
    return w >= 0 && h >= 0 && w <= kMaxSide && h <= kMaxSide;
}

// Reads the layer records and channels of a layer info block that starts
// at the count; false on bad data.
bool ReadLayers(TInput& in, TDocument& doc, int64_t end, TIELayerList& layers, TIEProgressRec& progress,
                std::string& failure) {
    const auto signedCount = static_cast<int16_t>(in.U16());
    const int32_t count = std::abs(static_cast<int32_t>(signedCount));
    if (count * 40 > end - in.Pos()) {
        failure = "the layer records do not fit their section";
        return false;
    }
    std::vector<TLayerRecord> records(static_cast<size_t>(count));
    for (auto& record : records) {
        if (!ReadLayerRecord(in, record, end) || !ValidRect(record.top, record.left, record.bottom, record.right) ||
            (record.hasMask && !ValidRect(record.maskTop, record.maskLeft, record.maskBottom, record.maskRight))) {
            failure = "a layer record is damaged";
            return false;
        }
    }
    const size_t first = layers.size();
    for (const auto& record : records) {
        auto layer = std::make_unique<TIELayer>(nullptr, false, nullptr);
        layer->PosX = record.left;
        layer->PosY = record.top;
        layer->Transparency = record.opacity;
        layer->Name = record.name.substr(0, 1023);
        layer->Visible = (record.flags & 2) == 0;
        layer->Cropped = record.clipping == 0;
        layers.push_back(std::move(layer));
    }
    // Channel data, layer after layer; a mask goes into a layer of its own
    // just after its layer.
    size_t at = first;
    for (int32_t index = 0; index < count; ++index) {
        const TLayerRecord& record = records[static_cast<size_t>(index)];
        TIELayer* layer = layers[at].get();
        TIELayer* mask = nullptr;
        const int32_t width = record.right - record.left, height = record.bottom - record.top;
        for (const auto& [id, length] : record.channels) {
            const int64_t start = in.Pos();
            const int64_t channelEnd = start + length;
            if (channelEnd > end) {
                failure = "layer channel data runs past its section";
                return false;
            }
            const TRole role = RoleOf(id, doc.header.mode);
            const int32_t compression = length >= 2 ? in.U16() : -1;
            if (role == kSkip || compression < 0 || compression > 1 || doc.format == ienull) {
                in.Seek(channelEnd);
                continue;
            }
            int32_t w = width, h = height;
            TIEBitmap* target = layer->GetBitmap();
            TIEPixelFormat format = doc.format;
            if (role == kMask) {
                if (!record.hasMask) {
                    in.Seek(channelEnd);
                    continue;
                }
                w = record.maskRight - record.maskLeft;
                h = record.maskBottom - record.maskTop;
                if (w == 0 || h == 0) {
                    in.Seek(channelEnd);
                    continue;
                }
                if (!mask) {
                    auto made = std::make_unique<TIELayer>(nullptr, false, nullptr);
                    made->PosX = record.maskLeft;
                    made->PosY = record.maskTop;
                    made->IsMask = true;
                    made->Visible = false;
                    mask = made.get();
                    layers.insert(layers.begin() + static_cast<std::ptrdiff_t>(at + 1), std::move(made));
                }
                target = mask->GetBitmap();
                format = ie8g;
            }
            if (w == 0 || h == 0) {
                in.Seek(channelEnd);
                continue;
            }
            const int64_t rowSize = RowBytes(w, doc.header.depth);
            std::vector<uint16_t> counts;
            if (compression == 1 && !ReadCounts(in, counts, h, channelEnd)) {
                failure = "a layer channel's row table is cut";
                return false;
            }
            if (!PlausibleRows(channelEnd - in.Pos(), rowSize, h, compression)) {
                failure = "a layer channel holds fewer bytes than its rows";
                return false;
            }
            if (!AllocateFor(*target, w, h, format, doc)) {
                failure = "a layer's pixels could not be held";
                return false;
            }
            if (role == kAlpha || (format == ie8p && doc.transparentIndex >= 0)) PrepareAlpha(*target);
            const bool ok = ReadRows(in, compression, counts.data(), h, rowSize, channelEnd,
                                     [&](int32_t y, const uint8_t* row) { PlaceRow(*target, doc, role, y, row); });
            if (!ok) {
                failure = "a layer channel's rows are damaged";
                return false;
            }
            in.Seek(channelEnd);
        }
        at += mask ? 2 : 1;
        progress.Report(static_cast<int>(static_cast<double>(index) / count * 100));
        if (progress.Aborting()) return true;
    }
    // Layers without pixels are dropped, with their masks.
    for (size_t i = first; i < layers.size();) {
        TIEBitmap* b = layers[i]->GetBitmap();
        if (!layers[i]->IsMask && (b->GetWidth() == 0 || b->GetHeight() == 0)) {
            const bool withMask = i + 1 < layers.size() && layers[i + 1]->IsMask;
            layers.erase(layers.begin() + static_cast<std::ptrdiff_t>(i),
                         layers.begin() + static_cast<std::ptrdiff_t>(i + (withMask ? 2 : 1)));
        } else {
            ++i;
        }
    }
    return true;
}

void HandleResource(int32_t id, const std::vector<uint8_t>& data, TIOParamsVals& params, TDocument& doc,
                    TIEBitmap* bitmap, bool& thumbnailTaken) {
    auto be32 = [&](size_t at) {
        return uint32_t{data[at]} << 24 | uint32_t{data[at + 1]} << 16 | uint32_t{data[at + 2]} << 8 | data[at + 3];
    };
    const auto size = static_cast<int32_t>(data.size());
    switch (id) {
        case 1005:
            if (data.size() >= 12) {
                params.SetDpiX(static_cast<int32_t>(be32(0) >> 16));
                params.SetDpiY(static_cast<int32_t>(be32(8) >> 16));
            }
            break;
        case 1028: params.IPTCList.LoadFromBuffer(data.data(), size); break;
        case 1039: params.GetInputICCProfile().LoadFromBuffer(data.data(), size); break;
        case 1047:
            if (data.size() >= 2) doc.transparentIndex = data[0] << 8 | data[1];
            if (doc.transparentIndex > 255) doc.transparentIndex = -1;
            break;
        case 1060: {
            // The packet, without the NUL bytes that may end it.
            size_t length = data.size();
            while (length > 0 && data[length - 1] == 0) --length;
            params.XmpInfo.assign(reinterpret_cast<const char*>(data.data()), length);
            break;
        }
        case 1036:
            if (data.size() > 28) {
                try {
                    TMemoryStream jpeg(std::vector<uint8_t>(data.begin() + 28, data.end()));
                    TIOParamsVals thumbParams;
                    bool abort = false;
                    TIEProgressRec quiet;
                    quiet.AbortFlag = &abort;
                    TIEBitmap& thumbnail = params.GetOrCreateExifThumbnail();
                    IEReadJPEGStream(jpeg, nullptr, thumbnail, false, -1, false, false, false, false, false, false,
                                     quiet, thumbParams);
                    if (!abort && params.GetThumbnail && bitmap && !thumbnail.IsEmpty()) {
                        bitmap->Assign(thumbnail);
                        thumbnailTaken = true;
                    }
                } catch (const std::exception&) {
                    // A thumbnail that does not decode is left out.
                }
            }
            break;
        default: break;
    }
}

}  // namespace

bool IEPSDUnpackRow(const uint8_t* packed, int32_t packedSize, uint8_t* row, int32_t rowSize) {
    int32_t i = 0, o = 0;
    while (i < packedSize && o < rowSize) {
        const auto n = static_cast<int8_t>(packed[i++]);
        if (n >= 0) {
            const int32_t count = n + 1;
            if (i + count > packedSize || o + count > rowSize) return false;
            std::memcpy(row + o, packed + i, static_cast<size_t>(count));
            i += count;
            o += count;
        } else if (n != -128) {
            const int32_t count = 1 - n;
            if (i >= packedSize || o + count > rowSize) return false;
            std::memset(row + o, packed[i++], static_cast<size_t>(count));
            o += count;
        }
    }
    if (o < rowSize) {
        std::memset(row + o, 0, static_cast<size_t>(rowSize - o));
        return false;
    }
    return true;
}

bool IEIsPSDStream(TStream& stream) {
    const int64_t at = stream.GetPosition();
    TInput in(stream);
    THeader header;
    const bool ok = ReadHeader(in, header);
    stream.SetPosition(at);
    return ok;
}

void IEReadPSDStream(TStream& stream, TIEBitmap* bitmap, TIOParamsVals& params, TIEProgressRec& progress,
                     bool loadLayers, TIELayerList* layers, std::string* failure) {
    std::string why;
    auto fail = [&](const std::string& reason) {
        if (failure) *failure = reason;
        progress.Abort();
    };
    progress.Report(0);
    TInput in(stream);
    TDocument doc;
    if (!ReadHeader(in, doc.header)) return fail("the header is not a Photoshop document's");
    const THeader& h = doc.header;
    if (h.rows > kMaxSide || h.columns > kMaxSide) return fail("the image is larger than a document can be");
    doc.format = FormatFor(h.mode, h.depth);
    params.Width = h.columns;
    params.Height = h.rows;
    params.BitsPerSample = h.depth;
    params.SamplesPerPixel = h.channels;
    params.SetDpiX(96);
    params.SetDpiY(96);

    // Colour mode data.
    const uint32_t colourLength = in.U32();
    if (in.Ended() || colourLength > in.Left()) return fail("the colour mode data is cut");
    if (colourLength == 768) {
        uint8_t planes[768];
        in.Read(planes, 768);
        doc.palette.resize(256);
        for (int i = 0; i < 256; ++i) doc.palette[static_cast<size_t>(i)] = TRGB{planes[512 + i], planes[256 + i], planes[i]};
    } else {
        in.Seek(in.Pos() + colourLength);
    }
    if (doc.format == ie8p && doc.palette.empty()) {
        // Without a palette the indexes show as grey levels.
        doc.palette.resize(256);
        for (int i = 0; i < 256; ++i) doc.palette[static_cast<size_t>(i)] = TRGB{uint8_t(i), uint8_t(i), uint8_t(i)};
    }

    // Image resources.
    bool thumbnailTaken = false;
    const uint32_t resourcesLength = in.U32();
    if (in.Ended() || resourcesLength > in.Left()) return fail("the image resources are cut");
    const int64_t resourcesEnd = in.Pos() + resourcesLength;
    while (in.Pos() + 12 <= resourcesEnd) {
        if (in.Pos() & 1) in.U8();
        uint8_t signature[4] = {0, 0, 0, 0};
        in.Read(signature, 4);
        if (std::memcmp(signature, "8BIM", 4) != 0) break;
        const int32_t id = in.U16();
        const uint8_t nameLength = in.U8();
        in.Seek(in.Pos() + nameLength + ((nameLength + 1) & 1));
        const uint32_t size = in.U32();
        if (in.Ended() || in.Pos() + size > resourcesEnd) break;
        std::vector<uint8_t> data(size);
        in.Read(data.data(), size);
        HandleResource(id, data, params, doc, bitmap, thumbnailTaken);
    }
    in.Seek(resourcesEnd);
    if (thumbnailTaken) loadLayers = false;

    // Layer and mask information.
    const uint32_t layersLength = in.U32();
    if (in.Ended() || layersLength > in.Left()) return fail("the layer section is cut");
    const int64_t layersEnd = in.Pos() + layersLength;
    bool layersLoaded = false;
    if (layersLength >= 4 && layers) {
        const uint32_t infoLength = in.U32();
        const int64_t infoEnd = in.Pos() + infoLength;
        if (infoEnd > layersEnd) return fail("the layer records run past their section");
        if (infoLength >= 2) {
            const int64_t countAt = in.Pos();
            const int32_t count = std::abs(static_cast<int32_t>(static_cast<int16_t>(in.U16())));
            in.Seek(countAt);
            if (count == 1 || loadLayers) {
                if (!ReadLayers(in, doc, infoEnd, *layers, progress, why)) return fail(why);
                layersLoaded = loadLayers && !layers->empty();
            }
        }
    }
    in.Seek(layersEnd);
    if (progress.Aborting()) return;

    // Merged image.
    if (bitmap && !layersLoaded && !thumbnailTaken && doc.format != ienull && h.rows > 0 && h.columns > 0) {
        const int32_t compression = in.U16();
        if (in.Ended()) return fail("the merged image is missing");
        if (compression <= 1) {
            const int64_t rowSize = RowBytes(h.columns, h.depth);
            const int64_t limit = in.Size();
            std::vector<uint16_t> counts;
            if (compression == 1 && !ReadCounts(in, counts, int64_t{h.rows} * h.channels, limit))
                return fail("the merged image's row table is cut");
            if (!PlausibleRows(limit - in.Pos(), rowSize, int64_t{h.rows} * h.channels, compression))
                return fail("the merged image holds fewer bytes than its rows");
            bitmap->RemoveAlphaChannel(false, clWhite);
            if (!AllocateFor(*bitmap, h.columns, h.rows, doc.format, doc)) return fail("the image could not be held");
            if (doc.format == ie8p && doc.transparentIndex >= 0) PrepareAlpha(*bitmap);
            for (int32_t channel = 0; channel < h.channels; ++channel) {
                const TRole role = RoleOf(channel, h.mode);
                const uint16_t* rowCounts = compression == 1 ? counts.data() + int64_t{channel} * h.rows : nullptr;
                if (role == kSkip || role == kMask) {
                    int64_t skip = 0;
                    for (int32_t y = 0; y < h.rows; ++y) skip += rowCounts ? rowCounts[y] : rowSize;
                    in.Seek(in.Pos() + skip);
                    continue;
                }
                if (role == kAlpha) PrepareAlpha(*bitmap);
                const bool ok = ReadRows(in, compression, rowCounts, h.rows, rowSize, limit,
                                         [&](int32_t y, const uint8_t* row) { PlaceRow(*bitmap, doc, role, y, row); });
                if (!ok) return fail("the merged image's rows are damaged or cut");
                if (progress.OnProgress) progress.Report(static_cast<int>((channel + 1) * 100.0 / h.channels));
                if (progress.Aborting()) return;
            }
            if (bitmap->GetHasAlphaChannel()) IEUpdateAlphaFullFlag(*bitmap);
        }
    }

    if (!params.NativePixelFormat) {
        if (layers)
            for (auto& layer : *layers) {
                TIEBitmap* b = layer->GetBitmap();
                if (!layer->IsMask && !b->IsEmpty() && b->GetPixelFormat() != ie24RGB) b->ConvertToPixelFormat(ie24RGB);
            }
        if (bitmap && !thumbnailTaken && !bitmap->IsEmpty() && bitmap->GetPixelFormat() != ie24RGB &&
            bitmap->GetPixelFormat() != ie1g)
            bitmap->ConvertToPixelFormat(ie24RGB);
    }
}

// ---------------------------------------------------------------- writing

namespace {

class TOutput {
public:
    explicit TOutput(TStream& stream) : stream_(stream) {}
    void Bytes(const void* data, int64_t count) {
        if (count > 0) stream_.WriteBuffer(data, count);
    }
    void U8(uint32_t v) {
        const auto b = static_cast<uint8_t>(v);
        Bytes(&b, 1);
    }
    void U16(uint32_t v) {
        const uint8_t b[2] = {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
        Bytes(b, 2);
    }
    void U32(uint32_t v) {
        const uint8_t b[4] = {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8),
                              static_cast<uint8_t>(v)};
        Bytes(b, 4);
    }
    void Text(const char* text) { Bytes(text, static_cast<int64_t>(std::strlen(text))); }
    int64_t Pos() { return stream_.GetPosition(); }
    // Writes a 4-byte placeholder and returns its position.
    int64_t Placeholder() {
        const int64_t at = Pos();
        U32(0);
        return at;
    }
    void PatchU32(int64_t at, uint32_t v) {
        const int64_t back = Pos();
        stream_.SetPosition(at);
        U32(v);
        stream_.SetPosition(back);
    }
    // The section length from just after the placeholder to here.
    void PatchLength(int64_t at) { PatchU32(at, static_cast<uint32_t>(Pos() - at - 4)); }
    void PatchU16s(int64_t at, const std::vector<uint16_t>& values) {
        const int64_t back = Pos();
        stream_.SetPosition(at);
        for (uint16_t v : values) U16(v);
        stream_.SetPosition(back);
    }
    TStream& Stream() { return stream_; }

private:
    TStream& stream_;
};

struct TMode {
    int32_t mode = -1, depth = 0, channels = 0;
    TIEPixelFormat layerFormat = ienull;
};

TMode ModeOf(TIEPixelFormat format) {
    switch (format) {
        case ie1g: return {0, 1, 1, ie1g};
        case ie8p: return {2, 8, 1, ie8p};
        case ie8g: return {1, 8, 1, ie8g};
        case ie16g: return {1, 16, 1, ie16g};
        case ie24RGB:
        case ie32RGB: return {3, 8, 3, ie24RGB};
        case ieCMYK: return {4, 8, 4, ieCMYK};
        case ieRGB48: return {3, 16, 3, ieRGB48};
        case ieCIELab: return {9, 8, 3, ieCIELab};
        default: return {};
    }
}

// The palette index that stands for transparent pixels of an indexed
// bitmap with an alpha channel: the last index no pixel uses, -1 when
// there is no alpha channel or every index is in use.
int32_t FreeIndex(TIEBitmap& bitmap) {
    if (bitmap.GetPixelFormat() != ie8p || !bitmap.GetHasAlphaChannel()) return -1;
    bool used[256] = {};
    for (int32_t y = 0; y < bitmap.GetHeight(); ++y) {
        const uint8_t* row = bitmap.GetScanline(y);
        for (int32_t x = 0; x < bitmap.GetWidth(); ++x) used[row[x]] = true;
    }
    for (int32_t i = 255; i >= 0; --i)
        if (!used[i]) return i;
    return -1;
}

// Channel c of row y in file order; c == -1 is the alpha channel. Indexed
// pixels whose alpha is 0 take transparentIndex when it is not -1.
void ChannelRow(TIEBitmap& bitmap, int32_t y, int32_t c, int32_t depth, std::vector<uint8_t>& out,
                int32_t transparentIndex = -1) {
    const int32_t width = bitmap.GetWidth();
    out.clear();
    if (c == -1) {
        const uint8_t* alpha = bitmap.GetAlphaChannel()->GetScanline(y);
        for (int32_t x = 0; x < width; ++x) {
            out.push_back(alpha[x]);
            if (depth == 16) out.push_back(alpha[x]);
        }
        return;
    }
    const uint8_t* row = bitmap.GetScanline(y);
    switch (bitmap.GetPixelFormat()) {
        case ie1g:
            for (int64_t i = 0; i < RowBytes(width, 1); ++i) out.push_back(static_cast<uint8_t>(~row[i]));
            break;
        case ie8p:
        case ie8g:
            out.assign(row, row + width);
            if (transparentIndex >= 0 && bitmap.GetHasAlphaChannel()) {
                const uint8_t* alpha = bitmap.GetAlphaChannel()->GetScanline(y);
                for (int32_t x = 0; x < width; ++x)
                    if (alpha[x] == 0) out[static_cast<size_t>(x)] = static_cast<uint8_t>(transparentIndex);
            }
            break;
        case ie16g:
            for (int32_t x = 0; x < width; ++x) out.push_back(row[2 * x + 1]), out.push_back(row[2 * x]);
            break;
        case ie24RGB:
            for (int32_t x = 0; x < width; ++x) out.push_back(row[3 * x + 2 - c]);
            break;
        case ie32RGB:
            for (int32_t x = 0; x < width; ++x) out.push_back(row[4 * x + 2 - c]);
            break;
        case ieCMYK:
            for (int32_t x = 0; x < width; ++x) out.push_back(row[4 * x + c]);
            break;
        case ieRGB48:
            for (int32_t x = 0; x < width; ++x) out.push_back(row[6 * x + 2 * c + 1]), out.push_back(row[6 * x + 2 * c]);
            break;
        case ieCIELab:
            // a and b are signed in the bitmap, offset by 128 in the file.
            for (int32_t x = 0; x < width; ++x)
                out.push_back(static_cast<uint8_t>(row[3 * x + c] + (c == 0 ? 0 : 128)));
            break;
        default: break;
    }
}

// One channel's rows, packed, after its compression field and row table.
void WriteChannel(TOutput& out, TIEBitmap& bitmap, int32_t c, int32_t depth, int32_t transparentIndex = -1) {
    const int32_t height = bitmap.GetHeight();
    out.U16(1);
    const int64_t table = out.Pos();
    std::vector<uint16_t> counts(static_cast<size_t>(height), 0);
    out.Bytes(counts.data(), 2 * int64_t{height});
    std::vector<uint8_t> row, packed;
    for (int32_t y = 0; y < height; ++y) {
        ChannelRow(bitmap, y, c, depth, row, transparentIndex);
        packed.clear();
        IEPackBitsRow(row.data(), static_cast<int32_t>(row.size()), packed);
        counts[static_cast<size_t>(y)] = static_cast<uint16_t>(packed.size());
        out.Bytes(packed.data(), static_cast<int64_t>(packed.size()));
    }
    out.PatchU16s(table, counts);
}

// A layer as the writer stores it: its bitmap in the document's format at
// its display size (a copy when either had to change).
struct TWriteLayer {
    TIEBitmap* bitmap = nullptr;
    std::unique_ptr<TIEBitmap> copy;
    int32_t posX = 0, posY = 0, opacity = 255;
    bool visible = true;
    std::string name;
    TIEBitmap* mask = nullptr;
    std::unique_ptr<TIEBitmap> maskCopy;
    int32_t maskX = 0, maskY = 0;
};

TIEBitmap* Prepared(TIEBitmap& source, TIEPixelFormat format, int32_t width, int32_t height, TResampleFilter filter,
                    std::unique_ptr<TIEBitmap>& copy) {
    TIEBitmap* result = &source;
    if (source.GetPixelFormat() != format && !(format == ie24RGB && source.GetPixelFormat() == ie32RGB)) {
        copy = std::make_unique<TIEBitmap>();
        copy->Assign(source);
        copy->ConvertToPixelFormat(format);
        result = copy.get();
    }
    if (width > 0 && height > 0 && (result->GetWidth() != width || result->GetHeight() != height)) {
        auto resized = std::make_unique<TIEBitmap>();
        resized->Allocate(width, height, result->GetPixelFormat());
        IEResample(*result, *resized, filter, TIEProgressEvent(), nullptr);
        if (resized->GetPixelFormat() != format) resized->ConvertToPixelFormat(format);
        copy = std::move(resized);
        result = copy.get();
    }
    return result;
}

void WriteResources(TOutput& out, TIOParamsVals& params, int32_t transparentIndex) {
    const int64_t section = out.Placeholder();
    auto block = [&](int32_t id, const void* data, size_t size) {
        if (out.Pos() & 1) out.U8(0);
        out.Text("8BIM");
        out.U16(static_cast<uint32_t>(id));
        out.U16(0);  // empty name, padded
        out.U32(static_cast<uint32_t>(size));
        out.Bytes(data, static_cast<int64_t>(size));
    };
    uint8_t resolution[16];
    auto put32 = [](uint8_t* p, uint32_t v) {
        for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (24 - 8 * i));
    };
    put32(resolution, static_cast<uint32_t>(params.DpiX) << 16);
    put32(resolution + 4, 0x00010001);
    put32(resolution + 8, static_cast<uint32_t>(params.DpiY) << 16);
    put32(resolution + 12, 0x00010001);
    block(1005, resolution, 16);
    if (transparentIndex >= 0) {
        const uint8_t index[2] = {0, static_cast<uint8_t>(transparentIndex)};
        block(1047, index, 2);
    }
    if (params.IPTCList.GetCount() > 0) {
        const std::vector<uint8_t> iptc = params.IPTCList.SaveToBuffer(false);
        block(1028, iptc.data(), iptc.size());
    }
    if (params.InputICCProfile() && !params.InputICCProfile()->Raw().empty()) {
        const auto& raw = params.InputICCProfile()->Raw();
        block(1039, raw.data(), raw.size());
    }
    if (params.ExifThumbnail() && !params.ExifThumbnail()->IsEmpty()) {
        TIEBitmap thumbnail;
        thumbnail.Assign(*params.ExifThumbnail());
        if (thumbnail.GetPixelFormat() != ie24RGB) thumbnail.ConvertToPixelFormat(ie24RGB);
        TMemoryStream jpeg;
        TIOParamsVals jpegParams;
        bool abort = false;
        TIEProgressRec quiet;
        quiet.AbortFlag = &abort;
        IEWriteJPEGStream(jpeg, thumbnail, jpegParams, quiet);
        const uint32_t w = static_cast<uint32_t>(thumbnail.GetWidth()), h = static_cast<uint32_t>(thumbnail.GetHeight());
        const uint32_t widthBytes = (w * 24 + 31) / 32 * 4;
        std::vector<uint8_t> data(28);
        put32(&data[0], 1);
        put32(&data[4], w);
        put32(&data[8], h);
        put32(&data[12], widthBytes);
        put32(&data[16], widthBytes * h);
        put32(&data[20], static_cast<uint32_t>(jpeg.Bytes().size()));
        data[24] = 0, data[25] = 24, data[26] = 0, data[27] = 1;
        data.insert(data.end(), jpeg.Bytes().begin(), jpeg.Bytes().end());
        if (!abort) block(1036, data.data(), data.size());
    }
    if (!params.XmpInfo.empty()) {
        std::vector<uint8_t> xmp(params.XmpInfo.begin(), params.XmpInfo.end());
        xmp.push_back(0);
        block(1060, xmp.data(), xmp.size());
    }
    if (out.Pos() & 1) out.U8(0);
    out.PatchLength(section);
}

}  // namespace

void IEWritePSDStream(TStream& stream, TIOParamsVals& params, TIEProgressRec& progress, TIEBitmap* bitmap,
                      const std::vector<TIELayer*>& layers) {
    TIEBitmap* merged = bitmap ? bitmap : (!layers.empty() ? layers.front()->GetBitmap() : nullptr);
    const TMode mode = merged ? ModeOf(merged->GetPixelFormat()) : TMode{};
    if (mode.mode < 0 || merged->IsEmpty()) {
        progress.Abort();
        return;
    }
    // Row byte counts are 16-bit: a document keeps to 30,000 pixels a side.
    if (merged->GetWidth() > 30000 || merged->GetHeight() > 30000)
        throw EInvalidGraphic("A Photoshop document holds at most 30000 x 30000 pixels");

    // The layers in the document's format at their display size.
    std::vector<TWriteLayer> stored;
    if (layers.empty()) {
        TWriteLayer only;
        only.bitmap = merged;
        if (merged->GetPixelFormat() == ie32RGB) only.bitmap = Prepared(*merged, ie24RGB, 0, 0, rfNone, only.copy);
        stored.push_back(std::move(only));
    } else {
        for (size_t i = 0; i < layers.size(); ++i) {
            TIELayer* layer = layers[i];
            if (layer->IsMask) {
                if (stored.empty() || stored.back().mask) continue;
                TWriteLayer& owner = stored.back();
                owner.mask = Prepared(*layer->GetBitmap(), ie8g, 0, 0, rfNone, owner.maskCopy);
                owner.maskX = layer->PosX;
                owner.maskY = layer->PosY;
                continue;
            }
            TWriteLayer entry;
            const TResampleFilter filter = layer->UseResampleFilter ? layer->ResampleFilter : rfNone;
            entry.bitmap = Prepared(*layer->GetBitmap(), mode.layerFormat, layer->GetWidth(), layer->GetHeight(), filter,
                                    entry.copy);
            entry.posX = layer->PosX;
            entry.posY = layer->PosY;
            entry.opacity = std::clamp(layer->Transparency, 0, 255);
            entry.visible = layer->Visible;
            entry.name = layer->Name;
            stored.push_back(std::move(entry));
        }
    }

    TOutput out(stream);
    // Header.
    const bool mergedAlpha = merged->GetHasAlphaChannel() && mode.mode != 0 && mode.mode != 2;
    out.Text("8BPS");
    out.U16(1);
    out.U32(0);
    out.U16(0);
    out.U16(static_cast<uint32_t>(mode.channels + (mergedAlpha ? 1 : 0)));
    out.U32(static_cast<uint32_t>(merged->GetHeight()));
    out.U32(static_cast<uint32_t>(merged->GetWidth()));
    out.U16(static_cast<uint32_t>(mode.depth));
    out.U16(static_cast<uint32_t>(mode.mode));

    // Colour mode data.
    if (mode.mode == 2) {
        out.U32(768);
        uint8_t planes[768] = {};
        for (int32_t i = 0; i < 256 && i < merged->GetPaletteLen(); ++i) {
            const TRGB c = merged->GetPaletteColor(i);
            planes[i] = c.r, planes[256 + i] = c.g, planes[512 + i] = c.b;
        }
        out.Bytes(planes, 768);
    } else {
        out.U32(0);
    }

    const int32_t transparentIndex = FreeIndex(*merged);
    WriteResources(out, params, transparentIndex);

    // Layer and mask information.
    const int64_t layerSection = out.Placeholder();
    const int64_t layerInfo = out.Placeholder();
    out.U16(static_cast<uint32_t>(stored.size()));
    struct TChannelSlot {
        int32_t channel;
        int64_t lengthAt;
    };
    std::vector<std::vector<TChannelSlot>> slots(stored.size());
    for (size_t i = 0; i < stored.size(); ++i) {
        TWriteLayer& layer = stored[i];
        TIEBitmap& b = *layer.bitmap;
        const bool alpha = b.GetHasAlphaChannel() && mode.mode != 0 && mode.mode != 2;
        out.U32(static_cast<uint32_t>(layer.posY));
        out.U32(static_cast<uint32_t>(layer.posX));
        out.U32(static_cast<uint32_t>(layer.posY + b.GetHeight()));
        out.U32(static_cast<uint32_t>(layer.posX + b.GetWidth()));
        std::vector<int32_t> ids;
        if (alpha) ids.push_back(-1);
        for (int32_t c = 0; c < mode.channels; ++c) ids.push_back(c);
        if (layer.mask) ids.push_back(-2);
        out.U16(static_cast<uint32_t>(ids.size()));
        for (int32_t id : ids) {
            out.U16(static_cast<uint16_t>(static_cast<int16_t>(id)));
            slots[i].push_back({id, out.Placeholder()});
        }
        out.Text("8BIMnorm");
        out.U8(static_cast<uint32_t>(layer.opacity));
        out.U8(0);
        out.U8(layer.visible ? 0 : 2);
        out.U8(0);
        const int64_t extra = out.Placeholder();
        if (layer.mask) {
            out.U32(20);
            out.U32(static_cast<uint32_t>(layer.maskY));
            out.U32(static_cast<uint32_t>(layer.maskX));
            out.U32(static_cast<uint32_t>(layer.maskY + layer.mask->GetHeight()));
            out.U32(static_cast<uint32_t>(layer.maskX + layer.mask->GetWidth()));
            out.U8(0);
            out.U8(0);
            out.U16(0);
        } else {
            out.U32(0);
        }
        out.U32(0);  // blending ranges
        const std::string name = layer.name.substr(0, 255);
        out.U8(static_cast<uint32_t>(name.size()));
        out.Bytes(name.data(), static_cast<int64_t>(name.size()));
        while ((out.Pos() - extra - 4) % 4 != 0) out.U8(1);
        out.PatchLength(extra);
    }
    for (size_t i = 0; i < stored.size(); ++i) {
        TWriteLayer& layer = stored[i];
        for (const TChannelSlot& slot : slots[i]) {
            const int64_t start = out.Pos();
            if (slot.channel == -2) {
                TIEBitmap& m = *layer.mask;
                if (mode.depth == 16) {
                    // The mask's bytes as words, as the document's depth asks.
                    TIEBitmap wide(m.GetWidth(), m.GetHeight(), ie16g);
                    for (int32_t y = 0; y < m.GetHeight(); ++y) {
                        const uint8_t* s = m.GetScanline(y);
                        uint8_t* d = wide.GetScanline(y);
                        for (int32_t x = 0; x < m.GetWidth(); ++x) d[2 * x] = d[2 * x + 1] = s[x];
                    }
                    WriteChannel(out, wide, 0, 16);
                } else {
                    WriteChannel(out, m, 0, 8);
                }
            } else {
                WriteChannel(out, *layer.bitmap, slot.channel, mode.depth, transparentIndex);
            }
            out.PatchU32(slot.lengthAt, static_cast<uint32_t>(out.Pos() - start));
        }
        progress.Report(static_cast<int>(static_cast<double>(i) / static_cast<double>(stored.size()) * 100));
    }
    if ((out.Pos() - layerInfo - 4) & 1) out.U8(0);
    out.PatchLength(layerInfo);
    out.U32(0);  // global layer mask information
    out.PatchLength(layerSection);

    // Merged image: one row table for every channel, then the rows.
    std::vector<int32_t> channels;
    for (int32_t c = 0; c < mode.channels; ++c) channels.push_back(c);
    if (mergedAlpha) channels.push_back(-1);
    const int32_t height = merged->GetHeight();
    out.U16(1);
    const int64_t table = out.Pos();
    std::vector<uint16_t> counts(channels.size() * static_cast<size_t>(height), 0);
    out.Bytes(counts.data(), static_cast<int64_t>(2 * counts.size()));
    std::vector<uint8_t> row, packed;
    size_t k = 0;
    for (size_t ci = 0; ci < channels.size(); ++ci) {
        for (int32_t y = 0; y < height; ++y) {
            ChannelRow(*merged, y, channels[ci], mode.depth, row, transparentIndex);
            packed.clear();
            IEPackBitsRow(row.data(), static_cast<int32_t>(row.size()), packed);
            counts[k++] = static_cast<uint16_t>(packed.size());
            out.Bytes(packed.data(), static_cast<int64_t>(packed.size()));
        }
        if (!layers.empty()) progress.Report(static_cast<int>((ci + 1) * 100.0 / channels.size()));
    }
    out.PatchU16s(table, counts);
}
