// The painters' canvas: a thin object over the toolkit canvas with the
// operations every painter needs (fills with a colour or a tiled bitmap,
// frames of chosen sides and widths, 3-D edges, text in a rectangle with
// alignment and an embossed disabled look, saved states, clip regions
// combined from TlfRegion objects); the library's 24-bit bitmap with its
// compressed stream form and rotation, and its 32-bit bitmap with per-pixel
// filters; the named-colour table and the colour arithmetic of selections.
//
// The toolkit canvas has no window or viewport origin: both are (0, 0), so
// "considering the origin" never moves a region here.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "navbar/lf_geometry.h"
#include "platform/canvas.h"
#include "platform/region.h"
#include "platform/stream.h"

// Special colours of the canvas operations and the painters.
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;

using TlfTextFlags = uint16_t;
enum : TlfTextFlags {
    tfLeft = 0x0001, tfRight = 0x0002, tfHCenter = 0x0004, tfTop = 0x0008, tfBottom = 0x0010, tfVCenter = 0x0020,
    tfSingleLine = 0x0040, tfNoClip = 0x0080, tfExpandTabs = 0x0100, tfShowPrefix = 0x0200, tfWordBreak = 0x0400,
    tfEndEllipsis = 0x0800, tfCalcRect = 0x1000, tfPathEllipsis = 0x2000, tfNoCharBreak = 0x4000,
};
uint32_t FlagsToDrawTextFlags(TlfTextFlags flags);

enum TlfRegionOperation : uint8_t { rcCopy = 0, rcUnion = 1, rcDifference = 2, rcIntersection = 3 };

// Sides of frames.
using TlfBorders = uint8_t;
enum : TlfBorders { bLeft = 0x1, bTop = 0x2, bRight = 0x4, bBottom = 0x8, bAll = 0xF };

struct TlfPaintParams {
    const TBitmap* Bitmap = nullptr;
    TColor Color = 0;
    TCanvasFont* Font = nullptr;
    TColor TextColor = 0;
};

class TlfRegion {
public:
    TlfRegion() : region_(TRect{}) {}
    explicit TlfRegion(TRegion region) : region_(std::move(region)) {}
    explicit TlfRegion(const TRect& rect) : region_(rect) {}
    TlfRegion(int32_t left, int32_t top, int32_t right, int32_t bottom) : region_(TRect{left, top, right, bottom}) {}
    // rcCopy replaces the content by the other's; the others combine.
    void Combine(const TlfRegion& region, TlfRegionOperation operation);
    void Offset(int32_t dx, int32_t dy) { region_.Offset(dx, dy); }
    bool IsEmpty() const { return region_.Empty(); }
    const TRegion& Handle() const { return region_; }

private:
    TRegion region_;
};

class TlfCanvas {
public:
    // The toolkit canvas is the caller's.
    explicit TlfCanvas(TCanvas& canvas) : canvas_(&canvas) {}
    virtual ~TlfCanvas() = default;
    TlfCanvas(const TlfCanvas&) = delete;
    TlfCanvas& operator=(const TlfCanvas&) = delete;

    TCanvas& Canvas() const { return *canvas_; }
    TCanvasBrush& Brush() { return canvas_->Brush; }
    TCanvasPen& Pen() { return canvas_->Pen; }
    TCanvasFont& Font() { return canvas_->Font; }
    void SetFont(const TCanvasFont& font) { canvas_->Font = font; }

    void SetPixel(int32_t x, int32_t y, TColor color) { canvas_->SetPixel(x, y, color); }
    void MoveTo(int32_t x, int32_t y) { canvas_->MoveTo(x, y); }
    void LineTo(int32_t x, int32_t y) { canvas_->LineTo(x, y); }
    void Polygon(const std::vector<TPoint>& points) { canvas_->Polygon(points); }
    void Polyline(const std::vector<TPoint>& points) { canvas_->Polyline(points); }
    void CopyRect(const TRect& dest, const TBitmap& source, const TRect& sourceRect) { canvas_->CopyRect(dest, source, sourceRect); }
    void Draw(int32_t x, int32_t y, const TBitmap& graphic) { canvas_->Draw(x, y, graphic); }

    TPoint GetWindowOrg() const { return {}; }
    TPoint GetViewportOrg() const { return {}; }
    TPoint GetDCOrigin() const;

    void SetBrushColor(TColor color);
    void FillRect(const TRect& r, const TBitmap* bitmap = nullptr, bool excludeRect = false);
    void FillRectColor(const TRect& r, TColor color);
    void FrameRect(const TRect& r, TColor color, int32_t lineWidth = 1, TlfBorders borders = bAll, bool excludeFrame = false);
    void FrameAndFillRect(const TRect& r, const TlfPaintParams& params, TlfBorders borders, TColor frameColor,
                          int32_t lineWidth = 1, bool excludeRect = false);
    void DrawTwoColorFrame(const TRect& r, TColor leftTopColor, TColor rightBottomColor, TlfBorders borders,
                           int32_t borderWidth = 1);
    void DrawEdgeFrame(const TRect& r, bool sunken, bool outer, TlfBorders borders = bAll);
    void InvertRect(const TRect& r);

    TlfSize TextSize(const std::u16string& text);
    int32_t TextWidth(const std::u16string& text) { return TextSize(text).cx; }
    // The rectangle the text takes when laid out in r, placed in r by the
    // alignment flags.
    void MeasureText(const std::u16string& text, TRect& r, TlfTextFlags flags);
    // alignment: 1 bottom, 2 centre.
    void AlignTextVertically(TRect& r, const std::u16string& text, bool noCharBreak, bool enabled, bool showPrefix,
                             bool wordBreak, int alignment);
    void DrawTextInRect(const std::u16string& text, TRect r, TlfTextFlags flags, bool enabled = true);

    void SaveState() { saved_.push_back(canvas_->SaveDC()); }
    void RestoreState();
    void ExcludeClipRect(const TRect& r) { canvas_->ExcludeClipRect(r); }
    // The clip, or (0, 0, 30000, 30000) when the canvas has none.
    std::unique_ptr<TlfRegion> GetClipRegion(bool considerOrigin = true);
    void SetClipRegion(const TlfRegion& region, TlfRegionOperation operation, bool considerOrigin = true);

protected:
    TlfCanvas() = default;
    void SetCanvas(TCanvas& canvas) { canvas_ = &canvas; }

private:
    TCanvas* canvas_ = nullptr;
    std::vector<int> saved_;
};

// The screen as a canvas: a bitmap the size of the screen, shared by the
// whole program.
class TlfScreenCanvas : public TlfCanvas {
public:
    TlfScreenCanvas();

private:
    TBitmap screen_;
    std::unique_ptr<TCanvas> canvas_;
};
TlfScreenCanvas& ScreenCanvas();

class TlfCustomBitmap : public TBitmap {
public:
    TlfCustomBitmap() : TlfCustomBitmap(0, 0, TPixelFormat::pf24bit) {}
    explicit TlfCustomBitmap(const TRect& r) : TlfCustomBitmap(RectWidth(r), RectHeight(r), TPixelFormat::pf24bit) {}
    TlfCustomBitmap(int32_t width, int32_t height, TPixelFormat format);
    virtual ~TlfCustomBitmap() = default;
    TlfCustomBitmap(const TlfCustomBitmap&) = delete;
    TlfCustomBitmap& operator=(const TlfCustomBitmap&) = delete;

    bool CompressData = false;
    TlfCanvas& lfCanvas() { return *lfCanvas_; }
    TCanvas& Canvas() { return *canvas_; }
    TRect ClientRect() const { return {0, 0, Width(), Height()}; }

    void BeginUpdate() { ++updateLock_; }
    void EndUpdate(bool force = true);
    bool Modified() const { return modified_; }
    virtual void Clear();
    void SetSize(int32_t width, int32_t height);
    // 0 none, 1 a quarter turn counter-clockwise, 2 clockwise, 3 a half turn.
    void Rotate(int angle, bool flipVertically = false);

    // Told of each change outside an update bracket.
    std::function<void(TlfCustomBitmap&)> OnChanged;

    // The bitmap's stream form: plain data (a 32-bit size, then a BMP file),
    // or, with CompressData, a 10-byte header and the run-length coded data.
    virtual void WriteData(TStream& stream) const;
    void ReadData(TStream& stream);

protected:
    virtual void Update() {}
    virtual void Initialize(int32_t width, int32_t height, TPixelFormat format);

private:
    void BitmapChanged();
    std::unique_ptr<TCanvas> canvas_;
    std::unique_ptr<TlfCanvas> lfCanvas_;
    int32_t updateLock_ = 0;
    bool modified_ = false;
};

void RotateBitmap(TBitmap& bitmap, int angle, bool flipVertically);
// A BMP file of 24 or 32 bits per pixel, uncompressed; EReadError when the
// bytes are not one.
void ReadBitmapFile(TBitmap& bitmap, const uint8_t* file, size_t size);

// Run-length coding of the compressed stream form.
std::vector<uint8_t> CompressBitmapData(const uint8_t* data, size_t size);
std::vector<uint8_t> DecompressBitmapData(const uint8_t* data, size_t size);

enum TlfBitmapFilter : uint8_t {
    bfLighten = 0, bfShadowGrey = 1, bfMean = 2, bfOpaque = 3, bfMask = 4, bfGrey = 5, bfGreyLuminance = 6,
    bfAlphaFromZero = 7, bfChecker = 8, bfClear = 9,
};

// A 32-bit bitmap with per-pixel filters. Pixels are BGRA values
// (0xAARRGGBB as numbers).
class TlfBitmap : public TlfCustomBitmap {
public:
    TlfBitmap() : TlfBitmap(0, 0) {}
    TlfBitmap(int32_t width, int32_t height);
    // A non-zero alpha byte: Clear paints this colour.
    uint32_t TransparentBkColor = 0;
    // RGB colours (0xRRGGBB) that count as transparent.
    std::vector<uint32_t> TransparentPixels;
    uint32_t CheckerColor1 = 0xFFFFFFFF, CheckerColor2 = 0xFFC0C0C0;
    uint8_t CheckerOpacity1 = 255, CheckerOpacity2 = 255, CheckerSize = 8;

    void Clear() override;
    std::vector<uint32_t> GetPixels() const;
    void SetPixels(const std::vector<uint32_t>& pixels);
    bool IsTransparent(uint32_t pixel) const;
    void ApplyFilter(TlfBitmapFilter kind);
};

TColor NearestScreenColor(TColor color);
inline int ClampChannel(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }
TColor MixSelectionColor(int8_t facePercent, int8_t highlightPercent, int8_t windowPercent);
TColor HotSelectionColor();
TColor PressedSelectionColor();
uint32_t ColorToARGB(TColor color, uint8_t alpha = 255);
// Blends an ARGB colour over a BGRA pixel at an opacity.
uint32_t BlendPixel(uint32_t argb, uint32_t pixel, uint8_t opacity);
// Case-insensitive look-up in the table of CSS and system colour names.
bool ColorByName(const std::string& name, TColor& color);
bool HasGlyph(const TBitmap* bitmap);

class TControl;
// Makes the control look transparent: paints what lies under r (in the
// control's coordinates) onto the canvas: its parent's client area and,
// with paintChildren, the parent's visible windowed children that come
// before the control (each with its border). Nothing for a control without
// a parent.
void DrawParentBackground(TControl& control, TCanvas& canvas, const TRect& r, bool paintChildren);
