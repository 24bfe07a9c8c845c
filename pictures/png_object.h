// PNG pictures: TPNGObject keeps a PNG file as its ordered list of chunk
// objects. The header chunk owns the decoded picture as a pixel store laid
// out like a device-independent bitmap (rows bottom-up, padded to 4 bytes;
// palette indices at 1, 4 or 8 bits, or 24-bit blue-green-red), with an
// alpha plane for the colour types that carry alpha and a plane of the low
// bytes of 16-bit samples. The image data chunk (png_image_data.cpp) fills
// the store from the zlib-compressed, filtered rows and encodes it back.
// Every decoding error raises its own exception class; nothing is repaired.
// Stands on platform/ (streams, canvas, bitmaps) and zlib.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "platform/errors.h"
#include "platform/picture.h"
#include "platform/stream.h"

// The base of every PNG failure; itself raised for a palette entry that does
// not exist and for chunks of different kinds assigned to each other.
class EPngError : public Exception {
public:
    using Exception::Exception;
};

#define TW_PNG_ERROR(name)          \
    class name : public EPngError { \
    public:                         \
        name();                     \
    };
TW_PNG_ERROR(EPngInvalidCRC)
TW_PNG_ERROR(EPngInvalidIHDR)
TW_PNG_ERROR(EPNGMissingMultipleIDAT)
TW_PNG_ERROR(EPNGInvalidPalette)
TW_PNG_ERROR(EPNGInvalidFileHeader)
TW_PNG_ERROR(EPNGIHDRNotFirst)
TW_PNG_ERROR(EPNGSizeExceeds)
TW_PNG_ERROR(EPNGUnknownCriticalChunk)
TW_PNG_ERROR(EPNGUnknownCompression)
TW_PNG_ERROR(EPNGUnknownInterlace)
TW_PNG_ERROR(EPngUnexpectedEnd)
TW_PNG_ERROR(EPNGNoImageData)
TW_PNG_ERROR(EPNGOutMemory)
TW_PNG_ERROR(EPNGHeaderNotPresent)
TW_PNG_ERROR(EPNGInvalidNewSize)
#undef TW_PNG_ERROR

// zlib's text for the error follows the message.
class EPNGZLIBError : public EPngError {
public:
    explicit EPNGZLIBError(const std::string& description);
};

class TPNGObject;

// A colour as the toolkit keeps it: red in the low byte.
using TPNGColor = uint32_t;

class TChunk {
public:
    explicit TChunk(TPNGObject* owner) : owner_(owner) {}
    virtual ~TChunk() = default;
    TChunk(const TChunk&) = delete;
    TChunk& operator=(const TChunk&) = delete;

    // The chunk's four-character name.
    const std::string& Name() const { return name_; }
    void SetName(const std::string& name) { name_ = name.substr(0, 4); }
    TPNGObject* Owner() const { return owner_; }
    std::vector<uint8_t>& Data() { return data_; }
    const std::vector<uint8_t>& Data() const { return data_; }

    // Copies the data of a chunk of the same class.
    virtual void Assign(const TChunk& source);
    // Reads length bytes of data and the CRC (EPngInvalidCRC when it
    // differs); true when the chunk was taken.
    virtual bool LoadFromStream(TStream& stream, const std::string& name, uint32_t length);
    // Writes length, name, data and CRC.
    virtual bool SaveToStream(TStream& stream);

protected:
    // Writes the data held now with its framing.
    bool SaveData(TStream& stream);
    TPNGObject* owner_;
    std::string name_;
    std::vector<uint8_t> data_;
};

class TChunkIEND : public TChunk {
public:
    using TChunk::TChunk;
};

// The picture's store, kept by the header chunk.
struct TPNGPixelStore {
    int32_t Width = 0, Height = 0;
    int BitsPerPixel = 0;  // 1, 4, 8 or 24
    int32_t BytesPerRow = 0;
    std::vector<uint8_t> Pixels;  // rows bottom-up
    std::vector<uint8_t> Alpha;   // width x height, top-down; colour types 4 and 6
    std::vector<uint8_t> Low;     // same layout as Pixels; bit depth 16
    // Red, green, blue of each colour-table entry (palette stores only).
    std::vector<std::array<uint8_t, 3>> Palette;
    uint8_t* Row(int32_t y) { return Pixels.data() + static_cast<size_t>(Height - 1 - y) * static_cast<size_t>(BytesPerRow); }
    uint8_t* LowRow(int32_t y) { return Low.data() + static_cast<size_t>(Height - 1 - y) * static_cast<size_t>(BytesPerRow); }
    uint8_t* AlphaRow(int32_t y) { return Alpha.data() + static_cast<size_t>(y) * static_cast<size_t>(Width); }
};

class TChunkIHDR : public TChunk {
public:
    using TChunk::TChunk;
    int32_t Width = 0, Height = 0;
    uint8_t BitDepth = 0, ColorType = 0, CompressionMethod = 0, FilterMethod = 0, InterlaceMethod = 0;
    TPNGPixelStore Store;

    void Assign(const TChunk& source) override;
    bool LoadFromStream(TStream& stream, const std::string& name, uint32_t length) override;
    bool SaveToStream(TStream& stream) override;
    // Builds an empty store (and palette) for the header values.
    void PrepareImageData();
};

class TChunkPLTE : public TChunk {
public:
    using TChunk::TChunk;
    // Entries written; 0 means as many as the colour table holds.
    int Count = 0;
    void Assign(const TChunk& source) override;
    bool LoadFromStream(TStream& stream, const std::string& name, uint32_t length) override;
    bool SaveToStream(TStream& stream) override;
    // Raises "There is no such palette entry." for an index past the count.
    TPNGColor Item(int index) const;
};

class TChunktRNS : public TChunk {
public:
    explicit TChunktRNS(TPNGObject* owner) : TChunk(owner) { AlphaValues.fill(255); }
    std::array<uint8_t, 256> AlphaValues{};
    // One colour is transparent (not an alpha per entry).
    bool OneColor = false;
    void Assign(const TChunk& source) override;
    bool LoadFromStream(TStream& stream, const std::string& name, uint32_t length) override;
    bool SaveToStream(TStream& stream) override;
    void SetTransparentColor(TPNGColor color);
};

class TChunkgAMA : public TChunk {
public:
    using TChunk::TChunk;
    uint32_t Gamma = 1;
    void Assign(const TChunk& source) override;
    bool LoadFromStream(TStream& stream, const std::string& name, uint32_t length) override;
    bool SaveToStream(TStream& stream) override;
};

class TChunkpHYs : public TChunk {
public:
    using TChunk::TChunk;
    uint32_t PPUnitX = 0, PPUnitY = 0;
    uint8_t UnitType = 0;
    void Assign(const TChunk& source) override;
    bool LoadFromStream(TStream& stream, const std::string& name, uint32_t length) override;
    bool SaveToStream(TStream& stream) override;
};

class TChunktIME : public TChunk {
public:
    using TChunk::TChunk;
    uint16_t Year = 0;
    uint8_t Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0;
    void Assign(const TChunk& source) override;
    bool LoadFromStream(TStream& stream, const std::string& name, uint32_t length) override;
    bool SaveToStream(TStream& stream) override;
};

class TChunktEXt : public TChunk {
public:
    using TChunk::TChunk;
    std::string Keyword, Text;
    void Assign(const TChunk& source) override;
    bool LoadFromStream(TStream& stream, const std::string& name, uint32_t length) override;
    bool SaveToStream(TStream& stream) override;
};

class TChunkzTXt : public TChunktEXt {
public:
    using TChunktEXt::TChunktEXt;
    bool LoadFromStream(TStream& stream, const std::string& name, uint32_t length) override;
    bool SaveToStream(TStream& stream) override;
};

class TChunkIDAT : public TChunk {
public:
    using TChunk::TChunk;
    // Decodes all image data from the first IDAT chunk on.
    bool LoadFromStream(TStream& stream, const std::string& name, uint32_t length) override;
    // Writes the whole picture as IDAT chunks.
    bool SaveToStream(TStream& stream) override;
};

using TChunkMaker = std::function<std::unique_ptr<TChunk>(TPNGObject*)>;
// Registers a chunk class by name; a name registered first wins.
void AddPngChunkClass(const std::string& name, TChunkMaker maker);
// The classes of this unit (done once, on first use of the registry).
void RegisterPngChunkClasses();
// A chunk of the class registered for the name (else a plain TChunk), named.
std::unique_ptr<TChunk> CreatePngChunkByName(TPNGObject* owner, const std::string& name);

// Row filters the encoder may use (bits of FilterSet).
enum : uint8_t { pfNone = 1, pfSub = 2, pfUp = 4, pfAverage = 8, pfPaeth = 16 };

class TPNGObject : public TGraphic {
public:
    TPNGObject();
    ~TPNGObject() override;
    TPNGObject(const TPNGObject&) = delete;
    TPNGObject& operator=(const TPNGObject&) = delete;

    // ------------------------------------------------ chunks
    int ChunkCount() const { return static_cast<int>(chunks_.size()); }
    TChunk* Chunk(int index) const {
        return index >= 0 && index < ChunkCount() ? chunks_[static_cast<size_t>(index)].get() : nullptr;
    }
    template <class T>
    T* FindChunk() const {
        for (const auto& chunk : chunks_)
            if (auto* found = dynamic_cast<T*>(chunk.get())) return found;
        return nullptr;
    }
    // Appends a chunk (before IEND when there is one); returns it.
    TChunk* AddChunk(std::unique_ptr<TChunk> chunk);
    void ClearChunks();
    // The first chunk when it is the header, else EPNGHeaderNotPresent.
    TChunkIHDR& HeaderChunk() const;

    // ------------------------------------------------ settings
    uint8_t FilterSet = pfSub;
    int DeflateLevel = 7;
    // Size of the IDAT chunks written; a smaller value counts as 65535.
    int32_t IdatChunkSize = 65535;
    // 0 progressive, 1 Adam7; from the header on reading, into it on saving.
    int InterlaceKind = 0;
    std::array<uint8_t, 256> DecodeGamma{};
    std::array<uint8_t, 256> EncodeGamma{};
    void ResetGamma();

    // Bytes per row of samples and bytes per complete pixel (at least 1);
    // both 0 without a header.
    void RowLayout(int32_t& bytesPerRow, int32_t& filterOffset) const;

    // ------------------------------------------------ the graphic
    int32_t Width() const override;
    int32_t Height() const override;
    bool Empty() const override { return chunks_.empty(); }
    bool Transparent() const override { return TransparencyKind() != 0; }
    void SetWidth(int32_t width) { ChangeSize(width, Height()); }
    void SetHeight(int32_t height) { ChangeSize(Width(), height); }
    void ChangeSize(int32_t width, int32_t height);

    // 0 opaque, 1 one transparent colour, 2 alpha per pixel.
    int TransparencyKind() const;
    TPNGColor KeyColor() const;
    // Black outside the picture; setting outside it does nothing.
    TPNGColor GetPixelColor(int32_t x, int32_t y) const;
    void SetPixelColor(int32_t x, int32_t y, TPNGColor color);
    // The alpha of a pixel (255 for pictures without alpha).
    uint8_t GetPixelAlpha(int32_t x, int32_t y) const;

    // The header's colour table (entries red, green, blue).
    std::vector<TPaletteEntry> GetPalette() const;
    // For pictures of palette indices: takes the entries as the table.
    void SetPalette(const std::vector<TPaletteEntry>& palette);

    void LoadFromStream(TStream& stream) override;
    void SaveToStream(TStream& stream) const override;
    void Draw(TCanvas& canvas, const TRect& rect) const override;

    void Assign(const TPNGObject& source);
    // Replaces the chunks by a picture of the bitmap: 1, 4 and 8 bits as
    // palette images, anything else as 8-bit RGB; with transparent, the
    // colour becomes the one transparent colour.
    void LoadFromBitmap(const TBitmap& bitmap, bool transparent = false, TPNGColor transparentColor = 0);
    // The picture as a toolkit bitmap (24 bits with alpha drawn on the
    // bitmap's white, else its own depth).
    void AssignTo(TBitmap& bitmap) const;

private:
    friend class TChunkIHDR;
    std::vector<std::unique_ptr<TChunk>> chunks_;
};

// The CRC-32 of PNG chunks (also of zlib's crc32, continued from crc).
uint32_t PngUpdateCrc(uint32_t crc, const uint8_t* data, size_t length);

// Registers TPNGObject for the extension "PNG" with the toolkit's pictures.
void RegisterPNGPicture();
