#include "pictures/png_object.h"
#include "pictures/png_bytes.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

#include "platform/mathutil.h"

// ---------------------------------------------------------------- errors

#define TW_PNG_MESSAGE(name, text) \
    name::name() : EPngError(text) {}
TW_PNG_MESSAGE(EPngInvalidCRC,
               "This \"Portable Network Graphics\" image is not valid because it contains invalid pieces of data (crc "
               "error)")
TW_PNG_MESSAGE(EPngInvalidIHDR,
               "The \"Portable Network Graphics\" image could not be loaded because one of its main piece of data "
               "(ihdr) might be corrupted")
TW_PNG_MESSAGE(EPNGMissingMultipleIDAT,
               "This \"Portable Network Graphics\" image is invalid because it has missing image parts.")
TW_PNG_MESSAGE(EPNGInvalidPalette, "The \"Portable Network Graphics\" image contains an invalid palette.")
TW_PNG_MESSAGE(EPNGInvalidFileHeader,
               "The file being readed is not a valid \"Portable Network Graphics\" image because it contains an "
               "invalid header. This file may be corruped, try obtaining it again.")
TW_PNG_MESSAGE(EPNGIHDRNotFirst,
               "This \"Portable Network Graphics\" image is not supported or it might be invalid.\r\n(IHDR chunk is "
               "not the first)")
TW_PNG_MESSAGE(EPNGSizeExceeds,
               "This \"Portable Network Graphics\" image is not supported because either it's width or height "
               "exceeds the maximum size, which is 65535 pixels length.")
TW_PNG_MESSAGE(EPNGUnknownCriticalChunk,
               "This \"Portable Network Graphics\" image contains an unknown critical part which could not be "
               "decoded.")
TW_PNG_MESSAGE(EPNGUnknownCompression,
               "This \"Portable Network Graphics\" image is encoded with an unknown compression scheme which could "
               "not be decoded.")
TW_PNG_MESSAGE(EPNGUnknownInterlace,
               "This \"Portable Network Graphics\" image uses an unknown interlace scheme which could not be "
               "decoded.")
TW_PNG_MESSAGE(EPngUnexpectedEnd,
               "This \"Portable Network Graphics\" image is invalid because the decoder found an unexpected end of "
               "the file.")
TW_PNG_MESSAGE(EPNGNoImageData, "This \"Portable Network Graphics\" image contains no data.")
TW_PNG_MESSAGE(EPNGOutMemory,
               "Some operation could not be performed because the system is out of resources. Close some windows "
               "and try again.")
TW_PNG_MESSAGE(EPNGHeaderNotPresent,
               "This operation is not valid because the current image contains no valid header.")
TW_PNG_MESSAGE(EPNGInvalidNewSize, "The new size provided for image resizing is invalid.")
#undef TW_PNG_MESSAGE

EPNGZLIBError::EPNGZLIBError(const std::string& description)
    : EPngError("Could not decompress the image because it contains invalid compressed data.\r\n Description: " +
                description) {}

uint32_t PngUpdateCrc(uint32_t crc, const uint8_t* data, size_t length) {
    // zlib answers a null buffer with the start value: nothing to add.
    if (length == 0) return crc;
    return static_cast<uint32_t>(crc32(crc, data, static_cast<uInt>(length)));
}

namespace {



TPNGColor PngRGB(uint8_t red, uint8_t green, uint8_t blue) {
    return TPNGColor{red} | TPNGColor{green} << 8 | TPNGColor{blue} << 16;
}
uint8_t RedOf(TPNGColor c) { return static_cast<uint8_t>(c); }
uint8_t GreenOf(TPNGColor c) { return static_cast<uint8_t>(c >> 8); }
uint8_t BlueOf(TPNGColor c) { return static_cast<uint8_t>(c >> 16); }

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

// Reads exactly count bytes or raises EPngUnexpectedEnd.
void ReadExact(TStream& stream, void* buffer, int64_t count) {
    if (count > 0 && stream.Read(buffer, count) != count) throw EPngUnexpectedEnd();
}

}  // namespace

// ---------------------------------------------------------------- chunk framing

void TChunk::Assign(const TChunk& source) {
    name_ = source.name_;
    data_ = source.data_;
}

bool TChunk::LoadFromStream(TStream& stream, const std::string& name, uint32_t length) {
    // A length the rest of the stream cannot hold is an unexpected end, found
    // before allocating it.
    if (static_cast<int64_t>(length) + 4 > stream.Remaining()) throw EPngUnexpectedEnd();
    data_.resize(length);
    ReadExact(stream, data_.data(), length);
    uint8_t crcBytes[4];
    ReadExact(stream, crcBytes, 4);
    uint32_t crc = PngUpdateCrc(0, reinterpret_cast<const uint8_t*>(name.data()), 4);
    crc = PngUpdateCrc(crc, data_.data(), data_.size());
    if (crc != PngBigEndian32(crcBytes)) throw EPngInvalidCRC();
    return true;
}

bool TChunk::SaveData(TStream& stream) {
    uint8_t head[8];
    PutPngBigEndian32(head, static_cast<uint32_t>(data_.size()));
    std::memcpy(head + 4, name_.data(), 4);
    stream.WriteBuffer(head, 8);
    if (!data_.empty()) stream.WriteBuffer(data_.data(), static_cast<int64_t>(data_.size()));
    uint32_t crc = PngUpdateCrc(0, head + 4, 4);
    crc = PngUpdateCrc(crc, data_.data(), data_.size());
    uint8_t crcBytes[4];
    PutPngBigEndian32(crcBytes, crc);
    stream.WriteBuffer(crcBytes, 4);
    return true;
}

bool TChunk::SaveToStream(TStream& stream) { return SaveData(stream); }

// ---------------------------------------------------------------- IHDR

void TChunkIHDR::Assign(const TChunk& source) {
    const auto* header = dynamic_cast<const TChunkIHDR*>(&source);
    if (!header) throw EPngError("The chunks must be compatible to be assigned.");
    TChunk::Assign(source);
    Width = header->Width;
    Height = header->Height;
    BitDepth = header->BitDepth;
    ColorType = header->ColorType;
    CompressionMethod = header->CompressionMethod;
    FilterMethod = header->FilterMethod;
    InterlaceMethod = header->InterlaceMethod;
    Store = header->Store;
}

void TChunkIHDR::PrepareImageData() {
    TPNGPixelStore store;
    store.Width = Width;
    store.Height = Height;
    const bool indexed = ColorType == 0 || ColorType == 3 || ColorType == 4;
    if (indexed) {
        switch (BitDepth) {
            case 1: store.BitsPerPixel = 1; break;
            case 2:
            case 4: store.BitsPerPixel = 4; break;
            default: store.BitsPerPixel = 8; break;
        }
    } else {
        store.BitsPerPixel = 24;
    }
    store.BytesPerRow = ((store.BitsPerPixel * Width + 31) >> 5) * 4;
    store.Pixels.assign(static_cast<size_t>(store.BytesPerRow) * static_cast<size_t>(Height), 0);
    if (ColorType == 4 || ColorType == 6) store.Alpha.assign(static_cast<size_t>(Width) * static_cast<size_t>(Height), 0);
    if (BitDepth == 16) store.Low.assign(store.Pixels.size(), 0);
    if (indexed) {
        const int cells = 1 << store.BitsPerPixel;
        if (ColorType == 3) {
            // The halftone palette until a PLTE chunk replaces it: a 6 x 6 x 6
            // colour cube, then greys.
            for (int i = 0; i < cells; ++i) {
                const int r = i % 6, g = i / 6 % 6, b = i / 36 % 6;
                store.Palette.push_back({static_cast<uint8_t>(r * 51), static_cast<uint8_t>(g * 51), static_cast<uint8_t>(b * 51)});
            }
        } else {
            const int n = BitDepth == 16 ? 256 : 1 << BitDepth;
            const auto& gamma = owner_ ? owner_->DecodeGamma : std::array<uint8_t, 256>{};
            for (int i = 0; i < cells; ++i) {
                const uint8_t grey = owner_ ? gamma[static_cast<size_t>(std::min(i, n - 1) * 255 / (n - 1))] : 0;
                store.Palette.push_back({grey, grey, grey});
            }
        }
    }
    Store = std::move(store);
}

bool TChunkIHDR::LoadFromStream(TStream& stream, const std::string& name, uint32_t length) {
    TChunk::LoadFromStream(stream, name, length);
    if (data_.size() < 13) throw EPngInvalidIHDR();
    const uint32_t width = PngBigEndian32(data_.data()), height = PngBigEndian32(data_.data() + 4);
    if (width > 65535 || height > 65535) throw EPNGSizeExceeds();
    Width = static_cast<int32_t>(width);
    Height = static_cast<int32_t>(height);
    BitDepth = data_[8];
    ColorType = data_[9];
    CompressionMethod = data_[10];
    FilterMethod = data_[11];
    InterlaceMethod = data_[12];
    if (CompressionMethod != 0) throw EPNGUnknownCompression();
    if (InterlaceMethod > 1) throw EPNGUnknownInterlace();
    // Depths and colour types the format does not have would leave the store
    // meaningless; they are a broken header.
    static const struct {
        uint8_t type;
        uint8_t depths;  // bits 1, 2, 4, 8, 16 as bits 0 .. 4
    } kAllowed[] = {{0, 0x1F}, {2, 0x18}, {3, 0x0F}, {4, 0x18}, {6, 0x18}};
    int depthBit = -1;
    for (int b = 0; b < 5; ++b)
        if (BitDepth == (1 << b)) depthBit = b;
    bool allowed = false;
    for (const auto& a : kAllowed)
        if (a.type == ColorType && depthBit >= 0 && (a.depths >> depthBit & 1)) allowed = true;
    if (!allowed || Width == 0 || Height == 0) throw EPngInvalidIHDR();
    if (owner_) owner_->InterlaceKind = InterlaceMethod;
    PrepareImageData();
    return true;
}

bool TChunkIHDR::SaveToStream(TStream& stream) {
    data_.assign(13, 0);
    PutPngBigEndian32(data_.data(), static_cast<uint32_t>(Width));
    PutPngBigEndian32(data_.data() + 4, static_cast<uint32_t>(Height));
    data_[8] = BitDepth == 2 ? 4 : BitDepth;
    data_[9] = ColorType;
    data_[10] = CompressionMethod;
    data_[11] = FilterMethod;
    data_[12] = static_cast<uint8_t>(owner_ ? owner_->InterlaceKind : InterlaceMethod);
    return SaveData(stream);
}

// ---------------------------------------------------------------- PLTE

void TChunkPLTE::Assign(const TChunk& source) {
    TChunk::Assign(source);
    if (const auto* p = dynamic_cast<const TChunkPLTE*>(&source)) Count = p->Count;
}

bool TChunkPLTE::LoadFromStream(TStream& stream, const std::string& name, uint32_t length) {
    TChunk::LoadFromStream(stream, name, length);
    if (data_.size() % 3 != 0 || data_.size() > 768) throw EPNGInvalidPalette();
    Count = static_cast<int>(data_.size() / 3);
    TChunkIHDR& header = owner_->HeaderChunk();
    auto& palette = header.Store.Palette;
    for (int i = 0; i < Count && i < static_cast<int>(palette.size()); ++i)
        for (int c = 0; c < 3; ++c) palette[static_cast<size_t>(i)][static_cast<size_t>(c)] = owner_->DecodeGamma[data_[3 * static_cast<size_t>(i) + static_cast<size_t>(c)]];
    // Indices past the file's entries show black.
    for (size_t i = static_cast<size_t>(Count); i < palette.size(); ++i) palette[i] = {0, 0, 0};
    return true;
}

bool TChunkPLTE::SaveToStream(TStream& stream) {
    const auto& palette = owner_->HeaderChunk().Store.Palette;
    const int count = std::min<int>(Count == 0 ? static_cast<int>(palette.size()) : Count, static_cast<int>(palette.size()));
    data_.resize(static_cast<size_t>(count) * 3);
    for (int i = 0; i < count; ++i)
        for (int c = 0; c < 3; ++c)
            data_[3 * static_cast<size_t>(i) + static_cast<size_t>(c)] = owner_->EncodeGamma[palette[static_cast<size_t>(i)][static_cast<size_t>(c)]];
    return SaveData(stream);
}

TPNGColor TChunkPLTE::Item(int index) const {
    const auto& palette = owner_->HeaderChunk().Store.Palette;
    if (index < 0 || index >= Count || index >= static_cast<int>(palette.size()))
        throw EPngError("There is no such palette entry.");
    const auto& e = palette[static_cast<size_t>(index)];
    return PngRGB(e[0], e[1], e[2]);
}

// ---------------------------------------------------------------- tRNS

void TChunktRNS::Assign(const TChunk& source) {
    TChunk::Assign(source);
    if (const auto* t = dynamic_cast<const TChunktRNS*>(&source)) {
        AlphaValues = t->AlphaValues;
        OneColor = t->OneColor;
    }
}

bool TChunktRNS::LoadFromStream(TStream& stream, const std::string& name, uint32_t length) {
    TChunk::LoadFromStream(stream, name, length);
    if (data_.size() > 256) throw EPNGInvalidPalette();
    AlphaValues.fill(255);
    std::copy(data_.begin(), data_.end(), AlphaValues.begin());
    const uint8_t type = owner_->HeaderChunk().ColorType;
    if (type == 0 || type == 2) {
        OneColor = true;
    } else if (type == 3) {
        OneColor = std::count_if(data_.begin(), data_.end(), [](uint8_t a) { return a != 255; }) == 1;
    }
    return true;
}

bool TChunktRNS::SaveToStream(TStream& stream) { return SaveData(stream); }

void TChunktRNS::SetTransparentColor(TPNGColor color) {
    TChunkIHDR& header = owner_->HeaderChunk();
    OneColor = true;
    switch (header.ColorType) {
        case 0: data_ = {0, RedOf(color)}; break;
        case 2: data_ = {0, RedOf(color), 0, GreenOf(color), 0, BlueOf(color)}; break;
        case 3: {
            const auto& palette = header.Store.Palette;
            size_t index = palette.size();
            for (size_t i = 0; i < palette.size(); ++i)
                if (PngRGB(palette[i][0], palette[i][1], palette[i][2]) == color) {
                    index = i;
                    break;
                }
            index = std::min<size_t>(index, 255);
            data_.assign(index, 255);
            data_.push_back(0);
            break;
        }
        default: break;
    }
    AlphaValues.fill(255);
    std::copy(data_.begin(), data_.end(), AlphaValues.begin());
}

// ---------------------------------------------------------------- gAMA, pHYs, tIME

void TChunkgAMA::Assign(const TChunk& source) {
    TChunk::Assign(source);
    if (const auto* g = dynamic_cast<const TChunkgAMA*>(&source)) Gamma = g->Gamma;
}

bool TChunkgAMA::LoadFromStream(TStream& stream, const std::string& name, uint32_t length) {
    TChunk::LoadFromStream(stream, name, length);
    if (data_.size() < 4) return true;
    Gamma = PngBigEndian32(data_.data());
    if (Gamma != 0) {
        const double exponent = 1.0 / (static_cast<double>(Gamma) / 100000.0 * 2.2);
        for (int i = 0; i < 256; ++i) {
            const double value = 255.0 * std::pow(i / 255.0, exponent);
            const auto decoded = static_cast<uint8_t>(std::clamp<double>(std::nearbyint(value), 0, 255));
            owner_->DecodeGamma[static_cast<size_t>(i)] = decoded;
            owner_->EncodeGamma[decoded] = static_cast<uint8_t>(i);
        }
    }
    return true;
}

bool TChunkgAMA::SaveToStream(TStream& stream) {
    data_.assign(4, 0);
    PutPngBigEndian32(data_.data(), Gamma);
    return SaveData(stream);
}

void TChunkpHYs::Assign(const TChunk& source) {
    TChunk::Assign(source);
    if (const auto* p = dynamic_cast<const TChunkpHYs*>(&source)) {
        PPUnitX = p->PPUnitX;
        PPUnitY = p->PPUnitY;
        UnitType = p->UnitType;
    }
}

bool TChunkpHYs::LoadFromStream(TStream& stream, const std::string& name, uint32_t length) {
    TChunk::LoadFromStream(stream, name, length);
    if (data_.size() == 9) {
        PPUnitX = PngBigEndian32(data_.data());
        PPUnitY = PngBigEndian32(data_.data() + 4);
        UnitType = data_[8];
    }
    return true;
}

bool TChunkpHYs::SaveToStream(TStream& stream) {
    data_.assign(9, 0);
    PutPngBigEndian32(data_.data(), PPUnitX);
    PutPngBigEndian32(data_.data() + 4, PPUnitY);
    data_[8] = UnitType;
    return SaveData(stream);
}

void TChunktIME::Assign(const TChunk& source) {
    TChunk::Assign(source);
    if (const auto* t = dynamic_cast<const TChunktIME*>(&source)) {
        Year = t->Year;
        Month = t->Month;
        Day = t->Day;
        Hour = t->Hour;
        Minute = t->Minute;
        Second = t->Second;
    }
}

bool TChunktIME::LoadFromStream(TStream& stream, const std::string& name, uint32_t length) {
    TChunk::LoadFromStream(stream, name, length);
    if (data_.size() == 7) {
        Year = static_cast<uint16_t>(data_[0] << 8 | data_[1]);
        Month = data_[2];
        Day = data_[3];
        Hour = data_[4];
        Minute = data_[5];
        Second = data_[6];
    }
    return true;
}

bool TChunktIME::SaveToStream(TStream& stream) {
    data_ = {static_cast<uint8_t>(Year >> 8), static_cast<uint8_t>(Year), Month, Day, Hour, Minute, Second};
    return SaveData(stream);
}

// ---------------------------------------------------------------- tEXt, zTXt

void TChunktEXt::Assign(const TChunk& source) {
    TChunk::Assign(source);
    if (const auto* t = dynamic_cast<const TChunktEXt*>(&source)) {
        Keyword = t->Keyword;
        Text = t->Text;
    }
}

bool TChunktEXt::LoadFromStream(TStream& stream, const std::string& name, uint32_t length) {
    TChunk::LoadFromStream(stream, name, length);
    if (data_.size() > 2) {
        const auto zero = std::find(data_.begin(), data_.end(), uint8_t{0});
        Keyword.assign(data_.begin(), zero);
        Text = zero == data_.end() ? std::string() : std::string(zero + 1, data_.end());
    }
    return true;
}

bool TChunktEXt::SaveToStream(TStream& stream) {
    data_.assign(Keyword.begin(), Keyword.end());
    data_.push_back(0);
    data_.insert(data_.end(), Text.begin(), Text.end());
    return SaveData(stream);
}

namespace {

// A complete zlib stream of the bytes; false with zlib's message on failure.
bool InflateAll(const uint8_t* data, size_t size, std::string& out, std::string& message) {
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK) {
        message = "inflateInit failed";
        return false;
    }
    zs.next_in = const_cast<Bytef*>(data);
    zs.avail_in = static_cast<uInt>(size);
    char buffer[16384];
    int result;
    do {
        zs.next_out = reinterpret_cast<Bytef*>(buffer);
        zs.avail_out = sizeof buffer;
        result = inflate(&zs, Z_NO_FLUSH);
        out.append(buffer, sizeof buffer - zs.avail_out);
        // Text that inflates without end is not a text.
        if (out.size() > (size_t{64} << 20)) result = Z_MEM_ERROR;
    } while (result == Z_OK && (zs.avail_in > 0 || zs.avail_out == 0));
    if (result != Z_STREAM_END) message = zs.msg ? zs.msg : zError(result == Z_OK ? Z_BUF_ERROR : result);
    inflateEnd(&zs);
    return result == Z_STREAM_END;
}

std::vector<uint8_t> DeflateAll(const std::string& text, int level) {
    uLongf size = compressBound(static_cast<uLong>(text.size()));
    std::vector<uint8_t> out(size);
    compress2(out.data(), &size, reinterpret_cast<const Bytef*>(text.data()), static_cast<uLong>(text.size()),
              std::clamp(level, 0, 9));
    out.resize(size);
    return out;
}

}  // namespace

bool TChunkzTXt::LoadFromStream(TStream& stream, const std::string& name, uint32_t length) {
    TChunk::LoadFromStream(stream, name, length);
    if (data_.size() > 3) {
        const auto zero = std::find(data_.begin(), data_.end(), uint8_t{0});
        Keyword.assign(data_.begin(), zero);
        Text.clear();
        if (zero != data_.end() && zero + 1 != data_.end()) {
            const size_t start = static_cast<size_t>(zero - data_.begin()) + 2;
            std::string message;
            if (start <= data_.size() && !InflateAll(data_.data() + start, data_.size() - start, Text, message))
                Text.clear();
        }
    }
    return true;
}

bool TChunkzTXt::SaveToStream(TStream& stream) {
    data_.assign(Keyword.begin(), Keyword.end());
    data_.push_back(0);
    data_.push_back(0);
    const std::vector<uint8_t> packed = DeflateAll(Text.empty() ? std::string(" ") : Text, owner_->DeflateLevel);
    data_.insert(data_.end(), packed.begin(), packed.end());
    return SaveData(stream);
}

// ---------------------------------------------------------------- registry

namespace {

struct TChunkClass {
    std::string name;
    TChunkMaker maker;
};

std::vector<TChunkClass>& ChunkClasses() {
    static std::vector<TChunkClass> classes;
    return classes;
}

std::once_flag chunkClassesRegistered;

template <class T>
TChunkMaker Maker() {
    return [](TPNGObject* owner) { return std::make_unique<T>(owner); };
}

}  // namespace

void AddPngChunkClass(const std::string& name, TChunkMaker maker) {
    ChunkClasses().push_back({name.substr(0, 4), std::move(maker)});
}

void RegisterPngChunkClasses() {
    std::call_once(chunkClassesRegistered, [] {
        AddPngChunkClass("IEND", Maker<TChunkIEND>());
        AddPngChunkClass("IHDR", Maker<TChunkIHDR>());
        AddPngChunkClass("IDAT", Maker<TChunkIDAT>());
        AddPngChunkClass("PLTE", Maker<TChunkPLTE>());
        AddPngChunkClass("gAMA", Maker<TChunkgAMA>());
        AddPngChunkClass("tRNS", Maker<TChunktRNS>());
        AddPngChunkClass("pHYs", Maker<TChunkpHYs>());
        AddPngChunkClass("tIME", Maker<TChunktIME>());
        AddPngChunkClass("tEXt", Maker<TChunktEXt>());
        AddPngChunkClass("zTXt", Maker<TChunkzTXt>());
    });
}

std::unique_ptr<TChunk> CreatePngChunkByName(TPNGObject* owner, const std::string& name) {
    RegisterPngChunkClasses();
    std::unique_ptr<TChunk> chunk;
    for (const TChunkClass& c : ChunkClasses())
        if (c.name == name) {
            chunk = c.maker(owner);
            break;
        }
    if (!chunk) chunk = std::make_unique<TChunk>(owner);
    chunk->SetName(name);
    return chunk;
}

// ---------------------------------------------------------------- the object

TPNGObject::TPNGObject() { ResetGamma(); }
TPNGObject::~TPNGObject() = default;

void TPNGObject::ResetGamma() {
    for (int i = 0; i < 256; ++i) DecodeGamma[static_cast<size_t>(i)] = EncodeGamma[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
}

void TPNGObject::ClearChunks() {
    chunks_.clear();
    ResetGamma();
}

TChunk* TPNGObject::AddChunk(std::unique_ptr<TChunk> chunk) {
    auto end = std::find_if(chunks_.begin(), chunks_.end(), [](const auto& c) { return c->Name() == "IEND"; });
    return chunks_.insert(end, std::move(chunk))->get();
}

TChunkIHDR& TPNGObject::HeaderChunk() const {
    auto* header = chunks_.empty() ? nullptr : dynamic_cast<TChunkIHDR*>(chunks_.front().get());
    if (!header) throw EPNGHeaderNotPresent();
    return *header;
}

void TPNGObject::RowLayout(int32_t& bytesPerRow, int32_t& filterOffset) const {
    bytesPerRow = filterOffset = 0;
    auto* header = chunks_.empty() ? nullptr : dynamic_cast<TChunkIHDR*>(chunks_.front().get());
    if (!header) return;
    const int depth = header->BitDepth;
    int samples = 1;
    switch (header->ColorType) {
        case 2: samples = 3; filterOffset = depth * 3 / 8; break;
        case 4: samples = 2; filterOffset = depth / 4; break;
        case 6: samples = 4; filterOffset = depth / 2; break;
        default: filterOffset = depth == 16 ? 2 : 1; break;
    }
    bytesPerRow = static_cast<int32_t>((int64_t{header->Width} * depth * samples + 7) / 8);
    filterOffset = std::max(filterOffset, 1);
}

int32_t TPNGObject::Width() const {
    auto* header = chunks_.empty() ? nullptr : dynamic_cast<TChunkIHDR*>(chunks_.front().get());
    return header ? header->Width : 0;
}

int32_t TPNGObject::Height() const {
    auto* header = chunks_.empty() ? nullptr : dynamic_cast<TChunkIHDR*>(chunks_.front().get());
    return header ? header->Height : 0;
}

void TPNGObject::LoadFromStream(TStream& stream) {
    ClearChunks();
    uint8_t signature[8];
    if (stream.Read(signature, 8) != 8 || std::memcmp(signature, kSignature, 8) != 0) throw EPNGInvalidFileHeader();
    bool hasImageData = false;
    for (int count = 1;; ++count) {
        uint8_t head[8];
        const int64_t got = stream.Read(head, 8);
        if (got < 8) throw EPngUnexpectedEnd();
        const uint32_t length = PngBigEndian32(head);
        const std::string name(reinterpret_cast<const char*>(head + 4), 4);
        if (count == 1 && name != "IHDR") throw EPNGIHDRNotFirst();
        if (length > 0x7FFFFFFF) throw EPngUnexpectedEnd();
        if (name == "cHRM" || (name == "IDAT" && hasImageData)) {
            if (stream.Remaining() < int64_t{length} + 4) throw EPngUnexpectedEnd();
            stream.Seek(int64_t{length} + 4, TSeekOrigin::Current);
            continue;
        }
        std::unique_ptr<TChunk> chunk = CreatePngChunkByName(this, name);
        if (typeid(*chunk) == typeid(TChunk) && !(name[0] & 0x20)) throw EPNGUnknownCriticalChunk();
        TChunk* kept = chunk.get();
        chunks_.push_back(std::move(chunk));
        kept->LoadFromStream(stream, name, length);
        if (name == "IDAT") hasImageData = true;
        if (name == "IEND") break;
    }
    if (!hasImageData) throw EPNGNoImageData();
}

void TPNGObject::SaveToStream(TStream& stream) const {
    stream.WriteBuffer(kSignature, 8);
    for (const auto& chunk : chunks_) chunk->SaveToStream(stream);
}

void TPNGObject::Assign(const TPNGObject& source) {
    if (&source == this) return;
    ClearChunks();
    InterlaceKind = source.InterlaceKind;
    IdatChunkSize = source.IdatChunkSize;
    DeflateLevel = source.DeflateLevel;
    FilterSet = source.FilterSet;
    DecodeGamma = source.DecodeGamma;
    EncodeGamma = source.EncodeGamma;
    for (const auto& chunk : source.chunks_) {
        std::unique_ptr<TChunk> copy = CreatePngChunkByName(this, chunk->Name());
        copy->Assign(*chunk);
        chunks_.push_back(std::move(copy));
    }
}

// ---------------------------------------------------------------- pixels

int TPNGObject::TransparencyKind() const {
    auto* header = chunks_.empty() ? nullptr : dynamic_cast<TChunkIHDR*>(chunks_.front().get());
    if (!header) return 0;
    const auto* trns = FindChunk<TChunktRNS>();
    switch (header->ColorType) {
        case 0:
        case 2: return trns ? 1 : 0;
        case 3: return trns ? (trns->OneColor ? 1 : 2) : 0;
        case 4:
        case 6: return 2;
        default: return 0;
    }
}

TPNGColor TPNGObject::KeyColor() const {
    const auto* trns = FindChunk<TChunktRNS>();
    auto* header = chunks_.empty() ? nullptr : dynamic_cast<TChunkIHDR*>(chunks_.front().get());
    if (!trns || !header) return 0;
    const auto& data = trns->Data();
    switch (header->ColorType) {
        case 0:
            if (data.size() >= 2 && !header->Store.Palette.empty()) {
                const auto& e = header->Store.Palette[std::min<size_t>(data[1], header->Store.Palette.size() - 1)];
                return PngRGB(e[0], e[1], e[2]);
            }
            return 0;
        case 2:
            if (data.size() >= 6) return PngRGB(DecodeGamma[data[1]], DecodeGamma[data[3]], DecodeGamma[data[5]]);
            return 0;
        case 3:
            for (size_t i = 0; i < header->Store.Palette.size(); ++i)
                if (trns->AlphaValues[i] == 0) {
                    const auto& e = header->Store.Palette[i];
                    return PngRGB(e[0], e[1], e[2]);
                }
            return 0;
        default: return 0;
    }
}

namespace {



int NearestEntry(const std::vector<std::array<uint8_t, 3>>& palette, TPNGColor color) {
    int best = 0, bestDistance = 1 << 30;
    for (size_t i = 0; i < palette.size(); ++i) {
        const int d = std::abs(palette[i][0] - RedOf(color)) + std::abs(palette[i][1] - GreenOf(color)) +
                      std::abs(palette[i][2] - BlueOf(color));
        if (d < bestDistance) {
            bestDistance = d;
            best = static_cast<int>(i);
        }
    }
    return best;
}

}  // namespace

TPNGColor TPNGObject::GetPixelColor(int32_t x, int32_t y) const {
    auto* header = chunks_.empty() ? nullptr : dynamic_cast<TChunkIHDR*>(chunks_.front().get());
    if (!header || x < 0 || y < 0 || x >= header->Width || y >= header->Height) return 0;
    TPNGPixelStore& store = header->Store;
    const uint8_t* row = store.Row(y);
    switch (header->ColorType) {
        case 3: {
            const int v = PngCell(row, x, store.BitsPerPixel);
            const auto& e = store.Palette[static_cast<size_t>(v) % store.Palette.size()];
            return PngRGB(e[0], e[1], e[2]);
        }
        case 0: {
            const int v = PngCell(row, x, store.BitsPerPixel);
            uint8_t grey;
            if (store.BitsPerPixel == 1) grey = DecodeGamma[v ? 255 : 0];
            else grey = DecodeGamma[static_cast<size_t>((v * ((1 << store.BitsPerPixel) + 1)) % 256)];
            return PngRGB(grey, grey, grey);
        }
        case 4: {
            const uint8_t v = row[x];
            return PngRGB(v, v, v);
        }
        default: return PngRGB(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
    }
}

void TPNGObject::SetPixelColor(int32_t x, int32_t y, TPNGColor color) {
    auto* header = chunks_.empty() ? nullptr : dynamic_cast<TChunkIHDR*>(chunks_.front().get());
    if (!header || x < 0 || y < 0 || x >= header->Width || y >= header->Height) return;
    TPNGPixelStore& store = header->Store;
    uint8_t* row = store.Row(y);
    switch (header->ColorType) {
        case 0:
        case 3: SetPngCell(row, x, store.BitsPerPixel, NearestEntry(store.Palette, color)); break;
        case 4: row[x] = RedOf(color); break;
        default:
            row[3 * x] = BlueOf(color);
            row[3 * x + 1] = GreenOf(color);
            row[3 * x + 2] = RedOf(color);
            break;
    }
}

uint8_t TPNGObject::GetPixelAlpha(int32_t x, int32_t y) const {
    auto* header = chunks_.empty() ? nullptr : dynamic_cast<TChunkIHDR*>(chunks_.front().get());
    if (!header || x < 0 || y < 0 || x >= header->Width || y >= header->Height) return 255;
    TPNGPixelStore& store = header->Store;
    if (!store.Alpha.empty()) return store.AlphaRow(y)[x];
    const auto* trns = FindChunk<TChunktRNS>();
    if (!trns) return 255;
    if (header->ColorType == 3) return trns->AlphaValues[static_cast<size_t>(PngCell(store.Row(y), x, store.BitsPerPixel))];
    // One transparent colour: the stored samples equal the key.
    const auto& d = trns->Data();
    if (header->ColorType == 0 && d.size() >= 2) {
        const int v = PngCell(store.Row(y), x, store.BitsPerPixel);
        int sample = header->BitDepth == 2 ? v / 5 : v;
        if (header->BitDepth == 16) {
            const int low = PngCell(store.LowRow(y), x, 8);
            return (d[0] << 8 | d[1]) == (sample << 8 | low) ? 0 : 255;
        }
        return (d[0] << 8 | d[1]) == sample ? 0 : 255;
    }
    if (header->ColorType == 2 && d.size() >= 6) {
        const uint8_t* row = store.Row(y);
        // The store holds decoded samples; compare what was in the file.
        const int r = EncodeGamma[row[3 * x + 2]], g = EncodeGamma[row[3 * x + 1]], b = EncodeGamma[row[3 * x]];
        if (header->BitDepth == 16) {
            const uint8_t* low = store.LowRow(y);
            const int lr = EncodeGamma[low[3 * x + 2]], lg = EncodeGamma[low[3 * x + 1]], lb = EncodeGamma[low[3 * x]];
            return (d[0] == r && d[1] == lr && d[2] == g && d[3] == lg && d[4] == b && d[5] == lb) ? 0 : 255;
        }
        return (d[0] == 0 && d[1] == r && d[2] == 0 && d[3] == g && d[4] == 0 && d[5] == b) ? 0 : 255;
    }
    return 255;
}

std::vector<TPaletteEntry> TPNGObject::GetPalette() const {
    std::vector<TPaletteEntry> out;
    auto* header = chunks_.empty() ? nullptr : dynamic_cast<TChunkIHDR*>(chunks_.front().get());
    if (!header) return out;
    for (const auto& e : header->Store.Palette) out.push_back(TPaletteEntry{e[0], e[1], e[2], 0});
    return out;
}

void TPNGObject::SetPalette(const std::vector<TPaletteEntry>& palette) {
    auto* header = chunks_.empty() ? nullptr : dynamic_cast<TChunkIHDR*>(chunks_.front().get());
    if (!header || header->Store.Palette.empty()) return;
    auto& table = header->Store.Palette;
    for (size_t i = 0; i < table.size() && i < palette.size(); ++i)
        table[i] = {palette[i].peRed, palette[i].peGreen, palette[i].peBlue};
}

void TPNGObject::ChangeSize(int32_t width, int32_t height) {
    if (width < 1 || height < 1) throw EPNGInvalidNewSize();
    TChunkIHDR& header = HeaderChunk();
    const TPNGPixelStore old = header.Store;
    header.Width = width;
    header.Height = height;
    header.PrepareImageData();
    TPNGPixelStore& store = header.Store;
    store.Palette = old.Palette;
    const int32_t rows = std::min(old.Height, height);
    const size_t rowBytes = static_cast<size_t>(std::min(old.BytesPerRow, store.BytesPerRow));
    const size_t alphaBytes = static_cast<size_t>(std::min(old.Width, width));
    auto oldRow = [&old](const std::vector<uint8_t>& plane, int32_t y) {
        return plane.data() + static_cast<size_t>(old.Height - 1 - y) * static_cast<size_t>(old.BytesPerRow);
    };
    for (int32_t y = 0; y < rows; ++y) {
        std::memcpy(store.Row(y), oldRow(old.Pixels, y), rowBytes);
        if (!store.Low.empty() && !old.Low.empty()) std::memcpy(store.LowRow(y), oldRow(old.Low, y), rowBytes);
        if (!store.Alpha.empty() && !old.Alpha.empty())
            std::memcpy(store.AlphaRow(y), old.Alpha.data() + static_cast<size_t>(y) * static_cast<size_t>(old.Width), alphaBytes);
    }
    // New alpha outside the old picture is opaque.
    if (!store.Alpha.empty())
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x)
                if (y >= rows || x >= static_cast<int32_t>(alphaBytes) || old.Alpha.empty()) store.AlphaRow(y)[x] = 255;
}

// ---------------------------------------------------------------- drawing and bitmaps

void TPNGObject::Draw(TCanvas& canvas, const TRect& rect) const {
    if (Empty()) return;
    const int32_t width = Width(), height = Height();
    const int32_t rw = rect.Right - rect.Left, rh = rect.Bottom - rect.Top;
    if (width <= 0 || height <= 0 || rw <= 0 || rh <= 0) return;
    const int kind = TransparencyKind();
    for (int32_t ty = 0; ty < rh; ++ty) {
        const auto sy = static_cast<int32_t>(int64_t{ty} * height / rh);
        for (int32_t tx = 0; tx < rw; ++tx) {
            const auto sx = static_cast<int32_t>(int64_t{tx} * width / rw);
            const TPNGColor colour = GetPixelColor(sx, sy);
            const int32_t x = rect.Left + tx, y = rect.Top + ty;
            if (kind == 1) {
                if (GetPixelAlpha(sx, sy) == 0) continue;
                canvas.SetPixel(x, y, static_cast<TColor>(colour));
            } else if (kind == 2) {
                const uint8_t alpha = GetPixelAlpha(sx, sy);
                if (alpha == 0) continue;
                if (alpha == 255) {
                    canvas.SetPixel(x, y, static_cast<TColor>(colour));
                    continue;
                }
                const TColor under = canvas.GetPixel(x, y);
                if (under == static_cast<TColor>(-1)) continue;
                auto blend = [alpha](int source, int target) {
                    return static_cast<uint8_t>((source * alpha + (255 - alpha) * target + 255) >> 8);
                };
                canvas.SetPixel(x, y, static_cast<TColor>(PngRGB(blend(RedOf(colour), RedOf(under)),
                                                                   blend(GreenOf(colour), GreenOf(under)),
                                                                   blend(BlueOf(colour), BlueOf(under)))));
            } else {
                canvas.SetPixel(x, y, static_cast<TColor>(colour));
            }
        }
    }
}

void TPNGObject::LoadFromBitmap(const TBitmap& bitmap, bool transparent, TPNGColor transparentColor) {
    ClearChunks();
    auto header = std::make_unique<TChunkIHDR>(this);
    header->SetName("IHDR");
    header->Width = bitmap.Width();
    header->Height = bitmap.Height();
    const int bits = PixelFormatStorageBits(bitmap.PixelFormat());
    const bool paletted = bits < 16 && bitmap.PaletteSize() > 0;
    header->BitDepth = static_cast<uint8_t>(paletted ? bits : 8);
    header->ColorType = paletted ? 3 : 2;
    InterlaceKind = 0;
    header->PrepareImageData();
    TChunkIHDR* h = header.get();
    chunks_.push_back(std::move(header));
    if (paletted) {
        std::vector<TPaletteEntry> entries(static_cast<size_t>(bitmap.PaletteSize()));
        bitmap.GetPaletteEntries(0, bitmap.PaletteSize(), entries.data());
        h->Store.Palette.assign(static_cast<size_t>(1) << bits, {0, 0, 0});
        for (size_t i = 0; i < entries.size() && i < h->Store.Palette.size(); ++i)
            h->Store.Palette[i] = {entries[i].peRed, entries[i].peGreen, entries[i].peBlue};
        auto plte = CreatePngChunkByName(this, "PLTE");
        static_cast<TChunkPLTE*>(plte.get())->Count = 1 << bits;
        chunks_.push_back(std::move(plte));
    }
    for (int32_t y = 0; y < h->Height; ++y) {
        const uint8_t* source = bitmap.ScanLine(y);
        uint8_t* row = h->Store.Row(y);
        for (int32_t x = 0; x < h->Width; ++x) {
            if (paletted) {
                int index = 0;
                if (bits == 8) index = source[x];
                else if (bits == 4) index = (x & 1) ? source[x >> 1] & 15 : source[x >> 1] >> 4;
                else index = source[x >> 3] >> (7 - (x & 7)) & 1;
                SetPngCell(row, x, h->Store.BitsPerPixel, index);
            } else {
                const uint32_t c = bitmap.PixelColor(source, x);  // 0x00RRGGBB
                row[3 * x] = static_cast<uint8_t>(c);
                row[3 * x + 1] = static_cast<uint8_t>(c >> 8);
                row[3 * x + 2] = static_cast<uint8_t>(c >> 16);
            }
        }
    }
    if (transparent) {
        auto trns = CreatePngChunkByName(this, "tRNS");
        TChunk* kept = chunks_.emplace_back(std::move(trns)).get();
        static_cast<TChunktRNS*>(kept)->SetTransparentColor(transparentColor);
    }
    chunks_.push_back(CreatePngChunkByName(this, "IDAT"));
    chunks_.push_back(CreatePngChunkByName(this, "IEND"));
}

void TPNGObject::AssignTo(TBitmap& bitmap) const {
    const TChunkIHDR& header = HeaderChunk();
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    bitmap.SetSize(header.Width, header.Height);
    TCanvas canvas(bitmap);
    canvas.Brush.Color = 0xFFFFFF;
    canvas.FillRect(TRect{0, 0, header.Width, header.Height});
    Draw(canvas, TRect{0, 0, header.Width, header.Height});
}

void RegisterPNGPicture() {
    static std::once_flag registered;
    std::call_once(registered, [] {
        RegisterFileFormat("PNG", "Portable Network Graphics", "TPNGObject",
                           [] { return std::unique_ptr<TGraphic>(std::make_unique<TPNGObject>()); });
    });
}
