// The toolkit's drawing canvas: the stand-in for the system's device context
// over a bitmap. It draws with a pen, a brush and a font into a TBitmap of
// any pixel format, with the system's pixel rules: a line leaves out its last
// point, a filled shape covers its box up to but not including the right and
// bottom edges, a pen outline lies inside the box, hatch brushes repeat every
// 8 pixels from the bitmap's origin. Text comes from installed faces
// (fontconfig finds them, FreeType rasterises them, grey-scale smoothed).
//
// Anti-aliased drawing with real-valued coordinates and transparent colours
// is the other half of this layer (platform/graphics.h), which draws onto the
// same canvas.
//
// Clipping is a region (platform/region.h): one rectangle, or any set of
// pixels combined from rectangles and shapes. Saved states (SaveDC) keep the
// pen, brush, font, modes and the clip. Text is laid out in a rectangle as
// the system's DrawText does (alignment, word breaks, ellipses), and drawn
// embossed for disabled captions.
//
// On a bitmap with a device pixel ratio above 1 (a window's surface on a
// high-density screen) every coordinate, size, pen width and font height is
// in layout pixels and the canvas draws at the full density: text and
// shapes come out crisp, a layout pixel's fill covers its whole block, and
// one-pixel lines are blocks of the same pattern. Bitmaps drawn onto it are
// placed by their own layout size.
//
// What it leaves out: mapping modes and world transforms, palettes, pen
// end-cap and join styles (wide pens are round), text escapement and
// background mode opaque for lines.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/bitmap.h"
#include "platform/colour.h"
#include "platform/fonts.h"
#include "platform/geometry.h"
#include "platform/region.h"

// Pen styles, brush styles, hatches and text-alignment flags of the system.
enum : int32_t { PS_SOLID = 0, PS_DASH = 1, PS_DOT = 2, PS_DASHDOT = 3, PS_DASHDOTDOT = 4, PS_NULL = 5, PS_INSIDEFRAME = 6 };
enum : int32_t { BS_SOLID = 0, BS_NULL = 1, BS_HATCHED = 2 };
enum : int32_t { HS_HORIZONTAL = 0, HS_VERTICAL = 1, HS_FDIAGONAL = 2, HS_BDIAGONAL = 3, HS_CROSS = 4, HS_DIAGCROSS = 5 };
enum : int32_t { TA_UPDATECP = 1, TA_RIGHT = 2, TA_CENTER = 6, TA_BOTTOM = 8, TA_BASELINE = 24 };
// Pen mixes (the system's binary raster operations).
enum : int32_t {
    R2_BLACK = 1, R2_NOT = 6, R2_XORPEN = 7, R2_MASKPEN = 9, R2_NOTXORPEN = 10, R2_NOP = 11, R2_COPYPEN = 13,
    R2_MERGEPEN = 15, R2_WHITE = 16,
};
// Copy modes of blits (ternary raster operations).
enum : uint32_t {
    SRCCOPY = 0x00CC0020, SRCPAINT = 0x00EE0086, SRCAND = 0x008800C6, SRCINVERT = 0x00660046,
    NOTSRCCOPY = 0x00330008, DSTINVERT = 0x00550009, BLACKNESS = 0x00000042, WHITENESS = 0x00FF0062,
};
enum : int32_t { ALTERNATE = 1, WINDING = 2 };
enum : int32_t { COLORONCOLOR = 3, HALFTONE = 4 };
// Formats of DrawText.
enum : uint32_t {
    DT_LEFT = 0x0, DT_CENTER = 0x1, DT_RIGHT = 0x2, DT_VCENTER = 0x4, DT_BOTTOM = 0x8, DT_WORDBREAK = 0x10,
    DT_SINGLELINE = 0x20, DT_EXPANDTABS = 0x40, DT_NOCLIP = 0x100, DT_CALCRECT = 0x400, DT_NOPREFIX = 0x800,
    DT_EDITCONTROL = 0x2000, DT_PATH_ELLIPSIS = 0x4000, DT_END_ELLIPSIS = 0x8000,
};

struct TCanvasPen {
    uint32_t Color = 0;  // a TColor: red in the low byte
    int32_t Width = 1;   // pixels
    int32_t Style = PS_SOLID;
    int32_t Mode = R2_COPYPEN;
    bool operator==(const TCanvasPen&) const = default;
};

struct TCanvasBrush {
    uint32_t Color = 0xFFFFFF;
    int32_t Style = BS_SOLID;
    int32_t Hatch = HS_HORIZONTAL;  // with BS_HATCHED
    bool operator==(const TCanvasBrush&) const = default;
};

struct TCanvasFont {
    std::string Name = "Tahoma";
    int32_t Height = -13;  // pixels; negative: the em height, positive: the cell height
    bool Bold = false, Italic = false, Underline = false, StrikeOut = false;
    uint32_t Color = 0;
    bool operator==(const TCanvasFont&) const = default;
    // The size in points at 96 pixels per inch, as the toolkit's font gives it.
    int32_t Size() const;
    void SetSize(int32_t points);
};

// The 8 x 8 pattern of a hatch: bit x of entry y (bit 7 leftmost) is a line.
const uint8_t* HatchPattern(int32_t hatch);

class TCanvas {
public:
    // The bitmap is the caller's and must outlive the canvas.
    explicit TCanvas(TBitmap& bitmap);
    ~TCanvas();
    TCanvas(const TCanvas&) = delete;
    TCanvas& operator=(const TCanvas&) = delete;

    TBitmap& Bitmap() { return bitmap_; }
    // The size in layout pixels.
    int32_t Width() const { return bitmap_.Width() / scale_; }
    int32_t Height() const { return bitmap_.Height() / scale_; }
    // Device pixels a side per layout pixel (the bitmap's ratio).
    int32_t Scale() const { return scale_; }
    // The clip's box and a pixel of it in the bitmap's own pixels.
    TRect DeviceClipRect() const { return clip_; }
    bool DevicePtVisible(int32_t x, int32_t y) const { return Inside(x, y); }

    TCanvasPen Pen;
    TCanvasBrush Brush;
    TCanvasFont Font;
    TPoint PenPos;
    uint32_t CopyMode = SRCCOPY;
    int32_t StretchMode = COLORONCOLOR;
    int32_t PolyFillMode = ALTERNATE;

    // Clipping: ClipRect is the box round the clip region inside the bitmap
    // (right and bottom exclusive); PtVisible tells a pixel of the region.
    TRect ClipRect() const;
    void IntersectClipRect(const TRect& rect);
    void ExcludeClipRect(const TRect& rect);
    void ResetClip();
    bool PtVisible(int32_t x, int32_t y) const { return Inside(x * scale_, y * scale_); }
    // Selects a copy of the region as the clip (nullptr: no clip); it is
    // cut to the bitmap.
    void SelectClipRegion(const TRegion* region);
    // Combines the clip with a region (RGN_AND, RGN_OR, RGN_DIFF, RGN_XOR,
    // RGN_COPY); a canvas without a clip counts as the whole bitmap.
    void CombineClipRegion(const TRegion& region, int32_t operation);
    // The clip as a region; false when no clip was set (the whole bitmap).
    bool GetClipRegion(TRegion& region) const;

    // Pushes pen, brush, font, pen position, modes and clip; returns the
    // depth reached. RestoreDC(-1) pops the last, RestoreDC(n) returns to
    // the state SaveDC saved when it answered n; false when there is none.
    int SaveDC();
    bool RestoreDC(int saved = -1);

    // Pixels: the colour as a TColor, -1 outside the bitmap or the clip.
    TColor GetPixel(int32_t x, int32_t y) const;
    void SetPixel(int32_t x, int32_t y, TColor color);

    // Lines with the pen; the last point is not drawn.
    void MoveTo(int32_t x, int32_t y);
    void LineTo(int32_t x, int32_t y);
    void Polyline(const std::vector<TPoint>& points);
    // The first point and then three points (two controls, the end) a segment.
    void PolyBezier(const std::vector<TPoint>& points);

    // Shapes: the brush fills, the pen outlines inside the box.
    void Rectangle(int32_t left, int32_t top, int32_t right, int32_t bottom);
    void Rectangle(const TRect& rect) { Rectangle(rect.Left, rect.Top, rect.Right, rect.Bottom); }
    void FillRect(const TRect& rect);
    // A frame one pixel wide in the brush's colour.
    void FrameRect(const TRect& rect);
    void Ellipse(int32_t left, int32_t top, int32_t right, int32_t bottom);
    void Ellipse(const TRect& rect) { Ellipse(rect.Left, rect.Top, rect.Right, rect.Bottom); }
    void RoundRect(int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t cornerWidth, int32_t cornerHeight);
    void Polygon(const std::vector<TPoint>& points);
    // Counter-clockwise on the screen from the radial through start to the
    // radial through end.
    void Arc(const TRect& box, const TPoint& start, const TPoint& end);
    void Chord(const TRect& box, const TPoint& start, const TPoint& end);
    void Pie(const TRect& box, const TPoint& start, const TPoint& end);

    // Text in the font's colour; the brush fills the text's cell unless its
    // style is BS_NULL. (x, y) is the cell's top-left corner.
    void TextOut(int32_t x, int32_t y, const std::u16string& text);
    void TextOut(int32_t x, int32_t y, const std::string& utf8) { TextOut(x, y, Utf8Text(utf8)); }
    // The same, clipped to the rectangle (filled first unless the brush is BS_NULL).
    void TextRect(const TRect& rect, int32_t x, int32_t y, const std::u16string& text);
    void TextRect(const TRect& rect, int32_t x, int32_t y, const std::string& utf8) {
        TextRect(rect, x, y, Utf8Text(utf8));
    }
    // Width: the sum of the characters' advances; height: ascent + descent.
    TSize TextExtent(const std::u16string& text);
    TSize TextExtent(const std::string& utf8) { return TextExtent(Utf8Text(utf8)); }
    int32_t TextWidth(const std::string& utf8) { return TextExtent(utf8).cx; }
    int32_t TextHeight(const std::string& utf8) { return TextExtent(utf8).cy; }
    // The face the font resolves to (fontconfig's substitute when the name
    // is not installed) and its em height in pixels.
    const TPlatformFont& FontFace();
    int32_t FontEmPixels();

    // Text laid out in the rectangle with DT_* formats: lines broken at
    // line feeds and, with DT_WORDBREAK, between words; a single line
    // aligned vertically too; ellipses where it does not fit; '&' marks the
    // next character unless DT_NOPREFIX. Returns the text's height; with
    // DT_CALCRECT draws nothing and sets the rectangle's right and bottom
    // to the text's extent.
    int32_t DrawText(const std::u16string& text, TRect& rect, uint32_t format);
    int32_t DrawText(const std::string& utf8, TRect& rect, uint32_t format) { return DrawText(Utf8Text(utf8), rect, format); }
    // The disabled look: the text in the button-highlight colour one pixel
    // right and down, then in the button-shadow colour at the place.
    void DrawTextEmbossed(const std::u16string& text, const TRect& rect, uint32_t format);
    // Fills the rectangle with copies of the tile placed at multiples of its
    // size from the canvas's origin.
    void TileRect(const TRect& rect, const TBitmap& tile);

    // Blits through CopyMode. Sizes that differ stretch: nearest pixel, or
    // with StretchMode HALFTONE the average of the covered source pixels.
    void CopyRect(const TRect& destination, const TBitmap& source, const TRect& sourceRect);
    void CopyRect(const TRect& destination, TCanvas& source, const TRect& sourceRect) {
        CopyRect(destination, source.Bitmap(), sourceRect);
    }
    void Draw(int32_t x, int32_t y, const TBitmap& source);
    void StretchDraw(const TRect& destination, const TBitmap& source);

    // Blends colour over the pixel by coverage 0..255 (clipped).
    void BlendPixel(int32_t x, int32_t y, TColor color, uint8_t coverage);

private:
    static std::u16string Utf8Text(const std::string& utf8);
    TBitmap& bitmap_;
    // Device pixels per layout pixel; inside a scaled call (device_) the
    // coordinates, pen width and font height are device pixels.
    int32_t scale_ = 1;
    bool device_ = false;
    // One-pixel lines drawn as blocks of scale_ pixels a side.
    bool blockLines_ = false;
    struct TDeviceScope;
    bool Scaled() const { return scale_ > 1 && !device_; }
    TRect Up(const TRect& r) const { return {r.Left * scale_, r.Top * scale_, r.Right * scale_, r.Bottom * scale_}; }
    TPoint Up(const TPoint& p) const { return {p.X * scale_, p.Y * scale_}; }
    void ScaledPenLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, bool lastPoint);
    TRect clip_;
    // A clip that is not one rectangle: its region and a byte a pixel.
    std::unique_ptr<TRegion> region_;
    std::vector<uint8_t> mask_;
    bool clipSet_ = false;
    struct TSavedState;
    std::vector<TSavedState> saved_;
    void ApplyClip(TRegion region, bool set);
    // Faces and their rendered glyphs are the process's, shared by every
    // canvas (a window's controls paint the same few faces again and again).
    struct TSharedFace;
    TSharedFace* shared_ = nullptr;
    const TPlatformFont* face_ = nullptr;
    TCanvasFont faceFont_;  // the font face_ was opened for

    // Writes one pixel through the mix; (x, y) already clipped.
    void Put(int32_t x, int32_t y, uint32_t rgb, int32_t mix);
    uint32_t Get(int32_t x, int32_t y) const;
    bool Inside(int32_t x, int32_t y) const {
        return x >= clip_.Left && x < clip_.Right && y >= clip_.Top && y < clip_.Bottom &&
               (mask_.empty() || mask_[static_cast<size_t>(y) * static_cast<size_t>(bitmap_.Width()) + x]);
    }
    // A clipped run of pixels of row y in the brush (pattern from the origin).
    void BrushSpan(int32_t x1, int32_t x2, int32_t y);
    void PenSpan(int32_t x1, int32_t x2, int32_t y);
    void PenLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, bool lastPoint);
    void PenDot(int32_t x, int32_t y);
    void FillPolygonSpans(const std::vector<std::vector<TPoint>>& polygons, bool withBrush, int32_t mode);
    // A convex shape given by its span on each row, filled and outlined.
    struct TShape;
    void DrawShape(const TShape& outer, bool withBrush, bool withPen, const TPoint* arcStart, const TPoint* arcEnd,
                   int32_t arcKind);
    void EnsureFace();
    // Glyphs of the current face at an em size, rendered once.
    const TGlyphBitmap& Glyph(char32_t code, int32_t em);
    TFontMetrics Metrics(int32_t em);
    // Glyphs past the shared cache's bound.
    std::map<std::pair<int32_t, char32_t>, TGlyphBitmap> ownGlyphs_;
    // On a scaled canvas text keeps the advances of its layout size, so a
    // line is as long at every density; the font height of the layout
    // while a scaled call runs.
    int32_t layoutFontHeight_ = 0;
    int32_t LayoutEm();
    int32_t LayoutAdvance(char32_t code, int32_t em) { return Glyph(code, em).Advance; }
};
