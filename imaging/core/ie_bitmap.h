// TIEBitmap, the image library's raster buffer: every reader fills one,
// every writer reads one, the processing component changes one in place.
//
// An image has one of eleven pixel formats, an optional palette (ie8p) and
// an optional alpha channel (a second TIEBitmap of format ie8g). Its pixels
// live in one of three places, chosen per allocation: a 32-byte aligned
// memory block (rows bottom-up), a temporary file (rows top first, copied in
// and out a row at a time; images above MemoryThreshold go there), or a
// toolkit TBitmap, owned or borrowed from the caller. Row 0 is the top row
// for every accessor, whatever the storage order.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/ie_file_buffer.h"
#include "imaging/core/ie_types.h"
#include "platform/bitmap.h"
#include "platform/geometry.h"
#include "platform/stream.h"

class TIEMask;
class TIEDibbitmap;
enum TResampleFilter : uint8_t;

// Index tables and destination row addresses of a render geometry, kept by
// a caller that draws the same geometry again and again (an empty vector
// means "not built"). XTable has one source column per destination column
// of the drawn span, YTable one source row per destination row, Rows every
// destination row's address.
struct TIERenderTables {
    std::vector<int32_t> XTable;
    std::vector<int32_t> YTable;
    std::vector<uint8_t*> Rows;
    void Clear() {
        XTable.clear();
        YTable.clear();
        Rows.clear();
    }
};

class TIEBaseBitmap {
public:
    virtual ~TIEBaseBitmap() = default;

    // Tells the file storage whether a mapped row is read from the file
    // (TIEFileBuffer::kRead) and written back on release (kWrite).
    uint8_t AccessMode = 3;

    virtual uint8_t* GetScanline(int32_t row) = 0;
    virtual int32_t GetBitCount() = 0;
    virtual int32_t GetHeight() = 0;
    virtual int32_t GetWidth() = 0;
    virtual TIEPixelFormat GetPixelFormat() = 0;
    virtual int32_t GetRowLen() = 0;
    // Leaves color untouched for an index outside the palette.
    virtual void GetPaletteColor(int32_t index, TRGB& color) = 0;
    virtual void SetPaletteColor(int32_t index, TRGB color) = 0;
    virtual int32_t GetPaletteLen() = 0;
    virtual bool Allocate(int32_t width, int32_t height, TIEPixelFormat format) = 0;
    virtual void Assign(TIEBaseBitmap& source) = 0;
};

class TIEBitmap : public TIEBaseBitmap {
public:
    TIEBitmap();
    TIEBitmap(int32_t width, int32_t height, TIEPixelFormat format);  // CreateSize
    // An alpha channel: ie8g, all 255 (ieTBitmap is replaced by ieMemory).
    static std::unique_ptr<TIEBitmap> CreateAlpha(int32_t width, int32_t height, TIELocation location);
    ~TIEBitmap() override;
    TIEBitmap(const TIEBitmap&) = delete;
    TIEBitmap& operator=(const TIEBitmap&) = delete;

    // ------------------------------------------------------------ queries
    uint8_t* GetScanline(int32_t row) override;
    int32_t GetBitCount() override;
    int32_t GetHeight() override;
    int32_t GetWidth() override;
    TIEPixelFormat GetPixelFormat() override;
    int32_t GetRowLen() override;
    int32_t GetChannelCount();
    void GetPaletteColor(int32_t index, TRGB& color) override;
    TRGB GetPaletteColor(int32_t index) {
        TRGB color;
        GetPaletteColor(index, color);
        return color;
    }
    void SetPaletteColor(int32_t index, TRGB color) override;
    int32_t GetPaletteLen() override { return paletteLength_; }
    bool IsEmpty() const { return width_ == 0 || height_ == 0 || rowLen_ == 0 || bitCount_ == 0; }
    TIELocation GetLocation() const { return location_; }
    bool GetHasAlphaChannel() const { return alphaChannel_ != nullptr; }
    bool IsAlpha() const { return isAlpha_; }
    bool FullOpacity() const { return fullOpacity_; }
    void SetFullOpacity(bool value) { fullOpacity_ = value; }
    int32_t RowAlignment() const { return rowAlignment_; }
    bool NeedsRealloc() const { return needsRealloc_; }
    // The message of the last allocation the toolkit bitmap refused (empty
    // when it succeeded); Allocate itself only returns false.
    const std::string& AllocationError() const { return allocationError_; }
    // The memory block's pixel area (ieMemory) and the temporary file.
    uint8_t* Memory() const { return memory_; }
    const TIEFileBuffer& FileBuffer() const { return *fileBuffer_; }

    // ------------------------------------------------------------ storage
    bool Allocate(int32_t width, int32_t height, TIEPixelFormat format) override;
    bool AllocateStorage();
    void FreeImage(bool freeAlpha);
    // Wraps the caller's toolkit bitmap without copying it.
    void EncapsulateTBitmap(TBitmap* bitmap, bool freeFirst);
    // Wraps the caller's block of RowLen * Height bytes, last row first.
    void EncapsulateMemory(uint8_t* memory, int32_t width, int32_t height, TIEPixelFormat format, bool freeFirst);
    void SyncFromTBitmap();
    void BuildRowCache();
    void FreeRowCache() { rowCache_.clear(); }
    void UpdateTBitmapPalette();

    // ------------------------------------------------------------ rows
    // At ieFile a row stays valid until the next GetScanline; MapRow keeps
    // one until UnmapRow or UnmapAllRows.
    uint8_t* MapRow(int32_t row);
    void UnmapRow(int32_t row);
    void UnmapAllRows();

    // ------------------------------------------------------------ alpha
    // Creates an all-opaque alpha channel when missing (nullptr for an alpha
    // channel itself).
    TIEBitmap* GetAlphaChannel();
    // Takes the bitmap as the alpha channel; a previous one is freed.
    void SetAlphaChannel(std::unique_ptr<TIEBitmap> alpha);
    // Drops the alpha channel; with merge an ie24RGB image is first
    // composed onto background.
    void RemoveAlphaChannel(bool merge, TColor background);

    // ------------------------------------------------------------ storage changes and copies
    void MoveContentTo(TIEBitmap& destination);
    void SetLocation(TIELocation location);
    TBitmap* GetTBitmap();
    void SetWidth(int32_t width);
    void SetHeight(int32_t height);
    void SetRowAlignment(int32_t bits);
    void Assign(TIEBaseBitmap& source) override;
    // Pixels and palette only; the alpha channel stays.
    void AssignImage(TIEBitmap& source);

    // Every pixel set to value: Trunc(value) as a TColor for colour formats,
    // as the level for gray ones, the value itself for ie32f.
    void Fill(double value);

    // ------------------------------------------------------------ pixel formats, rectangles, pixels
    // Converts the pixels when format differs from the current one.
    void SetPixelFormat(TIEPixelFormat format);
    void ConvertToPixelFormat(TIEPixelFormat format);
    // Fills this bitmap, allocated in its format at the source's size, from
    // a source of another format; the source may be converted to ie24RGB on
    // the way and hands over its alpha channel.
    void CopyAndConvertFormat(TIEBitmap& source);
    void CopyRectTo(TIEBitmap& destination, int32_t srcX, int32_t srcY, int32_t dstX, int32_t dstY, int32_t width,
                    int32_t height);
    void FillRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, double value);
    void MoveRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t dstX, int32_t dstY, double fill);
    // Changes the canvas without scaling; alignment 0 left/top, 1 centre,
    // 2 right/bottom.
    void Resize(int32_t newWidth, int32_t newHeight, double background, int32_t alphaFill, uint8_t horizontalAlign,
                uint8_t verticalAlign);
    void ResizeShiftShrunk(int32_t newWidth, int32_t newHeight, double background, uint8_t horizontalAlign,
                           uint8_t verticalAlign);
    void ResizeFillGrown(int32_t oldWidth, int32_t oldHeight, double background, uint8_t horizontalAlign,
                         uint8_t verticalAlign);
    TRGB GetPixelRGB(int32_t x, int32_t y);
    // Each destination alpha byte becomes the larger of the two (both alpha
    // channels are created when missing); clipped as CopyRectTo.
    void MergeAlphaRectTo(TIEBitmap& destination, int32_t srcX, int32_t srcY, int32_t dstX, int32_t dstY,
                          int32_t width, int32_t height);
    // An alpha channel reads and writes its own bytes, any other bitmap those
    // of its alpha channel (created opaque when missing).
    uint8_t GetAlpha(int32_t x, int32_t y);
    void SetAlpha(int32_t x, int32_t y, uint8_t value);

    // Direct pixel access in the storage width of the format; no bounds check.
    // Setters that can tell clear FullOpacity for a value below the maximum.
    uint8_t GetPixelByte(int32_t x, int32_t y) { return GetScanline(y)[x]; }
    void SetPixelByte(int32_t x, int32_t y, uint8_t value);
    uint16_t GetPixelWord(int32_t x, int32_t y);
    void SetPixelWord(int32_t x, int32_t y, uint16_t value);
    float GetPixelFloat(int32_t x, int32_t y);
    void SetPixelFloat(int32_t x, int32_t y, float value);
    uint32_t GetPixelCMYK(int32_t x, int32_t y);
    void SetPixelCMYK(int32_t x, int32_t y, uint32_t value);
    TRGB GetPixelTRGB(int32_t x, int32_t y);
    void SetPixelTRGB(int32_t x, int32_t y, TRGB value);
    uint8_t* GetPixelTRGBPtr(int32_t x, int32_t y) { return GetScanline(y) + 3 * static_cast<size_t>(x); }
    // Words red, green, blue.
    void GetPixelRGB48(int32_t x, int32_t y, uint16_t rgb[3]);
    void SetPixelRGB48(int32_t x, int32_t y, const uint16_t rgb[3]);

    // ------------------------------------------------------------ import
    void CopyFromTBitmap(const TBitmap& bitmap);
    // nullptr fills the bitmap with 255.
    void CopyFromTIEMask(TIEMask* mask);
    void CopyFromDibBitmap(TIEDibbitmap* dib);

    // ------------------------------------------------------------ rendering
    // Draws the source rectangle zoomed into the destination rectangle of an
    // ie24RGB bitmap (other destinations are left alone): nearest pixel by
    // index tables, or through a resampled copy with a filter (ie1g and
    // ie24RGB sources); with the display settings (value range, channel
    // offsets, contrast), transparency 0..255 (255 opaque), the alpha
    // channel when useAlpha, and blend mode 0..37 (see IEBlendPixel). clip,
    // when given, is inclusive. tables nullptr: built and freed here; else
    // the tables it holds are used and those it lacks are built into it (and
    // cleared again at the end with freeTables). reuseRows copies a
    // destination row instead of drawing it again when it shows the same
    // source row as the one above. Never raises.
    void RenderToTIEBitmap(TIEBitmap& destination, TIERenderTables* tables, const TRect* clip, int32_t dstX,
                           int32_t dstY, int32_t dstW, int32_t dstH, int32_t srcX, int32_t srcY, int32_t srcW,
                           int32_t srcH, bool useAlpha, bool reuseRows, int32_t transparency, TResampleFilter filter,
                           bool freeTables, uint8_t blendMode);
    // The same onto a 24-bit toolkit bitmap.
    void RenderToTBitmap(TBitmap& destination, TIERenderTables* tables, const TRect* clip, int32_t dstX, int32_t dstY,
                         int32_t dstW, int32_t dstH, int32_t srcX, int32_t srcY, int32_t srcW, int32_t srcH,
                         bool useAlpha, bool reuseRows, int32_t transparency, TResampleFilter filter, bool freeTables,
                         uint8_t blendMode);
    // RenderToTIEBitmap without kept tables or clip, with the alpha channel.
    void DrawToTIEBitmap(TIEBitmap& destination, int32_t dstX, int32_t dstY, int32_t dstW, int32_t dstH, int32_t srcX,
                         int32_t srcY, int32_t srcW, int32_t srcH, int32_t transparency, TResampleFilter filter,
                         uint8_t blendMode);
    void DrawToTBitmap(TBitmap& destination, int32_t dstX, int32_t dstY, int32_t dstW, int32_t dstH, int32_t srcX,
                       int32_t srcY, int32_t srcW, int32_t srcH, int32_t transparency, TResampleFilter filter,
                       uint8_t blendMode);
    // Copies (ie1g and ie24RGB sources) the source rectangle into an ie24RGB
    // destination, zoomed, and sets the destination's alpha channel over the
    // drawn span to the source alpha capped at alpha (or to alpha).
    void StretchRectTo(TIEBitmap& destination, int32_t dstX, int32_t dstY, int32_t dstW, int32_t dstH, int32_t srcX,
                       int32_t srcY, int32_t srcW, int32_t srcH, TResampleFilter filter, int32_t alpha);

    // ------------------------------------------------------------ raw stream
    // The lossless raw form "TIEBITMAPRAW" with display settings and alpha:
    // into memory (from its start; the caller gives enough room) when memory
    // is not nullptr, else at the stream's position.
    void SaveRawToStream(uint8_t* memory, TStream* stream);
    // From a block of memorySize bytes when memory is not nullptr, else
    // from the stream's position. False for another magic or a negative
    // version (the bitmap untouched), and for a size, format or alignment
    // that cannot be or a stream that ends early (the bitmap then keeps
    // what was read).
    bool LoadRawFromStream(const uint8_t* memory, size_t memorySize, TStream* stream);
    // The number of bytes SaveRawToStream writes.
    int64_t RawSize();

    // ------------------------------------------------------------ settings
    int64_t MemoryThreshold;
    uint8_t BilevelMethod = 1;   // 0 ordered dither, 1 threshold
    int32_t PaletteColors = 256;
    double BlackValue = 0;
    double WhiteValue = 0;
    int32_t ChannelOffsets[4] = {0, 0, 0, 0};
    bool ChannelOffsetsEnabled = false;
    int32_t Contrast = 0;
    uint8_t AllocatorMode = 2;   // 0 heap, 1 zero-filled global memory, 2 IEAutoAlloc
    int32_t UndoLayerIndex = 0;

private:
    // The clipping of CopyRectTo; false when nothing is left to copy.
    bool ClipCopy(TIEBitmap& destination, int32_t& srcX, int32_t& srcY, int32_t& dstX, int32_t& dstY, int32_t& width,
                  int32_t& height);
    void RefreshFormatInfo();
    void ReleaseCurrentRow();
    void CopyRowsFrom(TIEBitmap& source);
    void CopyPaletteFrom(TIEBitmap& source);
    // Rows and palette of the image this one was rebuilt from.
    void CopyImageFrom(TIEBitmap& old);
    void TakeSettingsOf(TIEBitmap& source);
    void ResizeKeeping(int32_t width, int32_t height);
    bool SetUpTBitmap();
    void ConvertTBitmapTo(TIEPixelFormat format);
    void ConvertRow(TIEBitmap& source, const uint8_t* in, uint8_t* out);
    void QuantizeFrom(TIEBitmap& source);

    std::unique_ptr<TIEFileBuffer> fileBuffer_;
    uint8_t* currentRow_ = nullptr;
    std::unique_ptr<TRGB[]> palette_;
    int32_t paletteLength_ = 0;
    std::unique_ptr<TIEBitmap> alphaChannel_;
    uint8_t* memory_ = nullptr;
    void* memoryBlock_ = nullptr;
    uint8_t blockMode_ = 2;  // the AllocatorMode memoryBlock_ came from
    TBitmap* vclBitmap_ = nullptr;
    std::unique_ptr<TBitmap> ownedVclBitmap_;
    std::vector<uint8_t*> rowCache_;
    std::vector<uint8_t*> mappedRows_;
    std::vector<int32_t> mappedRowIndexes_;
    int32_t width_ = 0;
    int32_t height_ = 0;
    int32_t bitCount_ = 0;
    int32_t channelCount_ = 0;
    int32_t rowLen_ = 0;
    TIEPixelFormat pixelFormat_ = ienull;
    bool isAlpha_ = false;
    TIELocation location_ = ieFile;
    bool fullOpacity_ = false;
    bool vclBitmapBorrowed_ = false;
    bool memoryBorrowed_ = false;
    int32_t rowAlignment_ = 32;
    bool needsRealloc_ = true;
    std::string allocationError_;
};

int32_t IEBitmapRowLen(int32_t width, int32_t bitsPerPixel, int32_t alignment);
// The colour of pixel x of a bitmap's row, as GetPixelRGB reads it.
TRGB IERowPixelRGB(TIEBitmap& bitmap, const uint8_t* row, int32_t x);
// FullOpacity := every pixel byte of every row is 255.
void IEUpdateAlphaFullFlag(TIEBitmap& bitmap);
// Every byte of every row, padding included, is 0.
bool IEIsBitmapZero(TIEBitmap& bitmap);
// ie8p: every palette entry is gray; ie24RGB and ieRGB48: every pixel; other formats true.
bool IEIsGrayBitmap(TIEBitmap& bitmap);
int32_t IEVclPixelFormatBits(TPixelFormat format);
int32_t IEVclRowLen(int32_t width, TPixelFormat format);

// Small blocks from the heap, from 1 MB on zero-filled global memory; the
// byte before the result tells IEAutoFree which.
void* IEAutoAlloc(size_t size);
void IEAutoFree(void*& block);
// The size from which IEAutoAlloc takes global memory.
constexpr size_t kIEAutoAllocGlobalFrom = 1048576;
