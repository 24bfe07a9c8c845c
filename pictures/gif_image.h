// GIF pictures: an object model of GIF87a/GIF89a files that converts bitmaps
// into frames (through colour reduction and dithering), reads GIF streams
// tolerantly and writes them with LZW or run-length coding.
//
// A TGIFImage owns a header (logical screen and global colour table) and a
// list of frames; a TGIFSubImage owns its local colour table, its extension
// blocks (graphic control, comment, plain text, application) and one
// colour-index byte per pixel. Recoverable problems of a stream go to the
// image's warning event and reading goes on; everything else raises
// GIFException. Stands on platform/ (streams, errors and the toolkit's
// bitmap).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "pictures/color_reduction.h"
#include "pictures/dithering.h"
#include "platform/bitmap.h"
#include "platform/stream.h"

class GIFException : public Exception {
    using Exception::Exception;
};

class TGIFImage;
class TGIFSubImage;

enum TGIFVersion { gvUnknown = 0, gv87a = 1, gv89a = 2 };
enum TGIFCompression { cmLZW = 0, cmRLE = 1 };
enum TGIFProgressStage { psStarting, psRunning, psEnding };
// How a picture is drawn and animated (TGIFImage::PaintOptions).
enum TGIFPaintOption : uint16_t {
    poThreaded = 1,
    poTransparent = 2,
    poAnimate = 4,
    poRepeat = 8,
    poRepeatForever = 16,
    poCheckCanvas = 32,
    poDirectPaint = 64,
    poClearOnRestart = 128,
    poTile = 256,
    poDither = 512,
    poAutoDither = 1024,
};
class TGIFPainter;
class TCanvas;
struct TRect;

// Image, list and colour-table items report through their owning image.
class TGIFItem {
public:
    explicit TGIFItem(TGIFImage* image) : image_(image) {}
    virtual ~TGIFItem() = default;
    TGIFItem(const TGIFItem&) = delete;
    TGIFItem& operator=(const TGIFItem&) = delete;

    virtual TGIFVersion GetVersion() const { return gv87a; }
    virtual void Warning(int severity, const std::string& message) const;
    virtual void SaveToStream(TStream& stream) = 0;
    virtual void LoadFromStream(TStream& stream) = 0;
    void SaveToFile(const std::string& fileName);
    void LoadFromFile(const std::string& fileName);
    TGIFImage* Image() const { return image_; }

protected:
    TGIFImage* image_;
};

// Up to 256 colours; the global table belongs to the header, a local one to
// a frame.
class TGIFColorMap {
public:
    TGIFColorMap(TGIFImage* image, TGIFSubImage* frame) : image_(image), frame_(frame) {}

    int Count() const { return static_cast<int>(colors_.size()); }
    int Capacity() const { return capacity_; }
    bool Optimized() const { return sorted_; }
    void SetOptimized(bool sorted) { sorted_ = sorted; }
    const TGIFColor& operator[](int index) const { return colors_[static_cast<size_t>(index)]; }
    const std::vector<TGIFColor>& Colors() const { return colors_; }

    int Add(const TGIFColor& color);
    int AddUnique(const TGIFColor& color);
    int IndexOf(const TGIFColor& color) const;
    void Delete(int index);
    void Clear();
    // Replaces the table (up to 256 entries).
    void Import(const std::vector<TGIFColor>& colors);
    void Assign(const TGIFColorMap& source);
    // A toolkit colour (0x00BBGGRR); an index outside the table warns and
    // uses entry 0.
    uint32_t GetEntryColor(int index) const;
    // Bits per pixel of the table: the smallest b >= 1 with 2^b >= count
    // (0 for an empty table).
    int BitsPerPixel() const;

    // Sorts the entries by use (most used first), remaps the pixels of the
    // frames that use the table and drops unused entries; true when the
    // table had more than one entry.
    bool SortByUse();

    void SaveToStream(TStream& stream) const;
    void LoadFromStream(TStream& stream, int count);

private:
    void Reserve(int count);

    TGIFImage* image_;
    TGIFSubImage* frame_;  // null for the global table
    std::vector<TGIFColor> colors_;
    int capacity_ = 0;
    bool sorted_ = false;
};

// ---------------------------------------------------------------- extensions

class TGIFExtension : public TGIFItem {
public:
    explicit TGIFExtension(TGIFSubImage* frame);
    TGIFVersion GetVersion() const override { return gv89a; }
    virtual uint8_t ExtensionType() const = 0;
    TGIFSubImage* SubImage() const { return frame_; }
    // Writes 0x21 and the label, then the body.
    void SaveToStream(TStream& stream) override;
    // Reads and checks 0x21 and the label, then the body.
    void LoadFromStream(TStream& stream) override;

protected:
    virtual void SaveBody(TStream& stream) = 0;
    virtual void LoadBody(TStream& stream) = 0;
    TGIFSubImage* frame_;
};

class TGIFGraphicControlExtension : public TGIFExtension {
public:
    // Becomes the frame's GraphicControl when the frame has none; the caller
    // adds it to the frame's extension list.
    explicit TGIFGraphicControlExtension(TGIFSubImage* frame);
    ~TGIFGraphicControlExtension() override;
    uint8_t ExtensionType() const override { return 0xF9; }

    bool TransparentFlag() const { return (packed_ & 1) != 0; }
    void SetTransparentFlag(bool value);
    bool UserInputFlag() const { return (packed_ & 2) != 0; }
    void SetUserInputFlag(bool value);
    int DisposalMethod() const { return (packed_ >> 2) & 7; }
    void SetDisposalMethod(int value) { packed_ = static_cast<uint8_t>((packed_ & ~0x1C) | ((value * 4) & 0x1C)); }
    int DelayTime() const { return delay_; }
    void SetDelayTime(int value) { delay_ = static_cast<uint16_t>(value); }
    int TransparentIndex() const { return transparentIndex_; }
    void SetTransparentIndex(int value);

protected:
    void SaveBody(TStream& stream) override;
    void LoadBody(TStream& stream) override;

private:
    uint8_t packed_ = 0;
    uint16_t delay_ = 0;
    uint8_t transparentIndex_ = 0;
};

// Text of comment and plain-text extensions: one line per data sub-block.
class TGIFTextExtension : public TGIFExtension {
public:
    explicit TGIFTextExtension(TGIFSubImage* frame) : TGIFExtension(frame) {}
    uint8_t ExtensionType() const override { return 0x01; }
    // Grid left, top, width, height (16-bit), cell width, cell height,
    // foreground and background index (bytes).
    std::array<uint8_t, 12> Grid{};
    std::vector<std::string> Text;

protected:
    void SaveBody(TStream& stream) override;
    void LoadBody(TStream& stream) override;
};

class TGIFCommentExtension : public TGIFExtension {
public:
    explicit TGIFCommentExtension(TGIFSubImage* frame) : TGIFExtension(frame) {}
    uint8_t ExtensionType() const override { return 0xFE; }
    std::vector<std::string> Text;

protected:
    void SaveBody(TStream& stream) override;
    void LoadBody(TStream& stream) override;
};

class TGIFApplicationExtension : public TGIFExtension {
public:
    explicit TGIFApplicationExtension(TGIFSubImage* frame) : TGIFExtension(frame) {}
    uint8_t ExtensionType() const override { return 0xFF; }
    // Application name (8 bytes) and authentication code (3 bytes).
    std::array<uint8_t, 11> Identifier{};
    std::string IdentifierText() const { return std::string(Identifier.begin(), Identifier.end()); }

protected:
    void SaveBody(TStream& stream) override;
    void LoadBody(TStream& stream) override;
    virtual void SaveData(TStream& stream);
    virtual void LoadData(TStream& stream);
};

class TGIFUnknownAppExtension : public TGIFApplicationExtension {
public:
    explicit TGIFUnknownAppExtension(TGIFSubImage* frame) : TGIFApplicationExtension(frame) {}
    // The data sub-blocks as read, written back unchanged.
    std::vector<std::vector<uint8_t>> Blocks;

protected:
    void SaveData(TStream& stream) override;
    void LoadData(TStream& stream) override;
};

// The looping extension ("NETSCAPE2.0", also read as "ANIMEXTS1.0").
class TGIFAppExtNSLoop : public TGIFApplicationExtension {
public:
    explicit TGIFAppExtNSLoop(TGIFSubImage* frame);
    int LoopCount = 0;  // 0 = forever
    uint32_t BufferSizeHint = 0;

protected:
    void SaveData(TStream& stream) override;
    void LoadData(TStream& stream) override;
};

// ---------------------------------------------------------------- frames

class TGIFSubImage : public TGIFItem {
public:
    explicit TGIFSubImage(TGIFImage* image);
    ~TGIFSubImage() override;

    TGIFVersion GetVersion() const override;
    void SaveToStream(TStream& stream) override;
    void LoadFromStream(TStream& stream) override;

    int Left() const { return left_; }
    int Top() const { return top_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    void SetLeft(int value) { left_ = static_cast<uint16_t>(value); }
    void SetTop(int value) { top_ = static_cast<uint16_t>(value); }
    void SetWidth(int value);
    void SetHeight(int value);
    // 1 left, 2 top, 3 width, 4 height; 0 for anything else.
    int GetBoundsPart(int part) const;
    bool Interlaced() const { return (packed_ & 0x40) != 0; }
    void SetInterlaced(bool value) { packed_ = static_cast<uint8_t>(value ? packed_ | 0x40 : packed_ & ~0x40); }
    bool Empty() const { return indexData_.empty() || width_ == 0 || height_ == 0; }

    TGIFColorMap& LocalTable() { return localTable_; }
    const TGIFColorMap& LocalTable() const { return localTable_; }
    // The local table when it has entries, else the global one when it has
    // entries, else the (empty) local table.
    const TGIFColorMap& ActiveColorMap() const;
    std::vector<std::unique_ptr<TGIFExtension>>& ExtensionBlocks() { return extensions_; }
    const std::vector<std::unique_ptr<TGIFExtension>>& ExtensionBlocks() const { return extensions_; }
    int AddExtension(std::unique_ptr<TGIFExtension> extension);
    void DeleteExtension(const TGIFExtension* extension);
    TGIFGraphicControlExtension* GraphicControl() const { return graphicControl_; }
    bool HasTransparency = false;

    // width x height colour indices, row by row.
    std::vector<uint8_t>& IndexData() { return indexData_; }
    const std::vector<uint8_t>& IndexData() const { return indexData_; }
    uint8_t* ScanLine(int row);
    int GetPixelIndex(int x, int y);

    void Clear();
    // Converts a bitmap into this frame: 1, 4 and 8-bit bitmaps keep their
    // indices and colour table, others go through the image's colour
    // reduction and dithering.
    void Assign(const TBitmap& bitmap);
    void Assign(const TGIFSubImage& source);
    // Marks the pixels of a mask (one byte per pixel, row by row; non-zero
    // marks a transparent pixel) with a new transparent colour index.
    void AddMask(const std::vector<uint8_t>& mask);
    // The pixels through the active colour table as a 24-bit bitmap.
    TBitmap ToBitmap() const;
    // The transparent colour index, or -1 when the frame has none.
    int TransparentIndex() const;

    void DecodePixels(TStream& stream);
    void EncodePixels(TStream& stream);

    // The frame rendered into an 8-bit bitmap with the active colour table
    // (cached; null for an empty frame).
    const TBitmap* RenderBitmap();
    // One byte per pixel, 1 where the pixel is transparent; empty when the
    // frame has no transparent pixel.
    const std::vector<uint8_t>& RenderMask();
    void DropRendered();
    // Draws the frame into rect, which stands for the logical screen: the
    // frame lands at its place, scaled; with tile, tiles of the frame repeat
    // across rect at the screen's size; with transparent, masked pixels keep
    // the canvas.
    void Draw(TCanvas& canvas, const TRect& rect, bool tile, bool transparent);

private:
    friend class TGIFGraphicControlExtension;
    void AllocatePixels();
    void LoadExtensions(TStream& stream);

    uint16_t left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    uint8_t packed_ = 0;
    TGIFColorMap localTable_;
    std::vector<std::unique_ptr<TGIFExtension>> extensions_;
    TGIFGraphicControlExtension* graphicControl_ = nullptr;
    std::vector<uint8_t> indexData_;
    std::unique_ptr<TBitmap> rendered_;
    std::vector<uint8_t> mask_;
};

// ---------------------------------------------------------------- header and image

struct TGIFHeader {
    explicit TGIFHeader(TGIFImage* image) : GlobalTable(image, nullptr) {}
    uint16_t ScreenWidth = 0;
    uint16_t ScreenHeight = 0;
    uint8_t Packed = 0;
    uint8_t BackgroundColorIndex = 0;
    uint8_t AspectRatio = 0;
    TGIFColorMap GlobalTable;
};

class TGIFImage {
public:
    using TWarningEvent = std::function<void(TGIFImage& sender, int severity, const std::string& message)>;
    using TProgressEvent =
        std::function<void(TGIFImage& sender, TGIFProgressStage stage, int percent, const std::string& message)>;

    TGIFImage();
    ~TGIFImage();
    TGIFImage(const TGIFImage&) = delete;
    TGIFImage& operator=(const TGIFImage&) = delete;

    // Frames.
    int Count() const { return static_cast<int>(frames_.size()); }
    TGIFSubImage& GetSubImage(int index) { return *frames_.at(static_cast<size_t>(index)); }
    const TGIFSubImage& GetSubImage(int index) const { return *frames_.at(static_cast<size_t>(index)); }
    const std::vector<std::unique_ptr<TGIFSubImage>>& Frames() const { return frames_; }
    bool Empty() const { return frames_.empty(); }
    // Converts a bitmap into a new frame; returns its index. The frame is
    // dropped again when the conversion fails.
    int AddImage(const TBitmap& bitmap);
    int AddImage(std::unique_ptr<TGIFSubImage> frame);
    void DeleteFrame(int index);
    void Clear();

    // Logical screen.
    TGIFHeader& Header() { return header_; }
    const TGIFHeader& Header() const { return header_; }
    TGIFColorMap& GlobalColorMap() { return header_.GlobalTable; }
    const TGIFColorMap& GlobalColorMap() const { return header_.GlobalTable; }
    int Width() const { return header_.ScreenWidth; }
    int Height() const { return header_.ScreenHeight; }
    void SetWidth(int value);
    void SetHeight(int value);
    TGIFVersion Version() const;
    int BitsPerPixel() const;
    int ColorResolution() const { return BitsPerPixel() - 1; }
    uint32_t BackgroundColor() const { return header_.GlobalTable.GetEntryColor(header_.BackgroundColorIndex); }

    // Conversion and coding settings.
    int ReductionMethod = rdNetscape;
    int ReductionColorBits = 8;
    int DitherMethod = 0;
    int CompressionMethod = cmLZW;
    // Colour the painter uses for background areas (toolkit colour); clNone
    // means the header's background colour.
    static constexpr uint32_t clNone = 0x1FFFFFFF;
    uint32_t BackgroundFillColor = clNone;

    // Bounds on what a stream may make us allocate: pixels of one frame and
    // of all frames together.
    int64_t MaxFramePixels = int64_t{1} << 26;
    int64_t MaxImagePixels = int64_t{1} << 29;

    // Drawing and animation.
    uint16_t PaintOptions = poThreaded | poTransparent | poAnimate | poRepeat | poClearOnRestart | poDither | poAutoDither;
    // Priority of painter threads: 0 normal, negative lower, positive higher.
    int PainterPriority = 0;
    // Percent of the frames' own timing; at 0 a threaded painter waits to
    // be woken and an unthreaded one 12 seconds a frame, below 0 a threaded
    // painter does not wait at all.
    int PlaybackSpeed = 100;
    // The frame drawn when the picture is not animated (-1: the first).
    int ForcedFrame = -1;
    std::function<void(TGIFPainter&)> OnPainterStart, OnFramePaint, OnFramePainted, OnLoopRestart, OnPainterEnd;
    // The window Draw animates in: painters tell it when a frame is due.
    uint32_t PaintWindow = 0;
    // Draws the picture stretched into rect; an animation starts a painter
    // (kept until the picture, its rectangle or its frames change) and shows
    // its current picture.
    void Draw(TCanvas& canvas, const TRect& rect);
    TGIFPainter* DrawPainter() const { return drawPainter_.get(); }
    void StopDraw();
    // Dithering is in force: poDither, and poAutoDither only on screens of
    // fewer than 9 bits a pixel.
    bool Dithering() const;
    // The picture's palette: the rendered bitmap's, else the cached global
    // one, else the web palette when dithering, else the global table, else
    // frame 0's table.
    std::vector<TPaletteEntry> GetPalette();
    void SetPalette(const std::vector<TPaletteEntry>& palette);
    // The first frame on the logical screen as a bitmap (cached).
    void AssignTo(TBitmap& bitmap);
    void DropRendered();

    TWarningEvent OnGIFWarning;
    TProgressEvent OnProgress;
    void Warning(int severity, const std::string& message);
    void Progress(TGIFProgressStage stage, int percent, const std::string& message);

    void LoadFromStream(TStream& stream);
    void SaveToStream(TStream& stream);
    void LoadFromFile(const std::string& fileName);
    void SaveToFile(const std::string& fileName);

    // Pixels allocated over all frames (checked against MaxImagePixels).
    int64_t AllocatedPixels() const;

    // The signature, the logical screen and the global table as the frames
    // so far make them: the start of a file that is written frame by frame
    // (TGIFFrameWriter).
    void SaveHeader(TStream& stream);

private:
    void LoadHeader(TStream& stream);
    void LoadFrames(TStream& stream);

    TGIFHeader header_;
    std::vector<std::unique_ptr<TGIFSubImage>> frames_;
    std::vector<TPaletteEntry> globalPalette_;
    std::unique_ptr<TBitmap> rendered_;
    bool drawing_ = false;
    bool paletteLookup_ = false;
    // Last: a painter refers to the image and goes first.
    std::unique_ptr<TGIFPainter> drawPainter_;
};
