// TIECanvas: the image library's drawing surface over a toolkit canvas. With
// the vector graphics library bound (IEGDIPLoadLibrary, done by every image
// view) it draws shapes through platform/graphics.h, anti-aliased when asked,
// with transparent pens and brushes and hatches over a back colour; without
// it, through the canvas itself with the toolkit's pixel rules. Text always
// goes through the canvas. TIEPen and TIEBrush keep the canvas's pen and
// brush in step with their own colour, transparency, width and style.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/core/ie_types.h"
#include "platform/canvas.h"
#include "platform/graphics.h"

// The toolkit's pen and brush styles and pen modes, in its order.
enum TPenStyle : uint8_t { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
enum TPenMode : uint8_t {
    pmBlack, pmWhite, pmNop, pmNot, pmCopy, pmNotCopy, pmMergePenNot, pmMaskPenNot, pmMergeNotPen, pmMaskNotPen,
    pmMerge, pmNotMerge, pmMask, pmNotMask, pmXor, pmNotXor,
};
enum TBrushStyle : uint8_t { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross };

// The vector library's binding, counted by its users (the image views).
void IEGDIPLoadLibrary();
void IEGDIPUnloadLibrary();
// Bound while any user holds it.
bool IEGDIPLoaded();
// Bound and not switched off.
bool IEGDIPEnabled();
// The switch, on from start-up.
extern bool IEGDIPSwitch;

class TIEPen {
public:
    // Takes colour, width, style and mode from the canvas's pen, which it
    // keeps in step from then on.
    explicit TIEPen(TCanvasPen& pen);

    TColor Color() const { return color_; }
    void SetColor(TColor value);
    int32_t Transparency() const { return transparency_; }
    // The vector library's pen only; the canvas's pen is left.
    void SetTransparency(int32_t value) { transparency_ = value; }
    float Width() const { return width_; }
    void SetWidth(float value);
    TPenStyle Style() const { return style_; }
    void SetStyle(TPenStyle value);
    TPenMode Mode() const { return mode_; }
    void SetMode(TPenMode value);

    // The vector library's pen: alpha 0 for psClear, else the transparency.
    TGraphicsPen GraphicsPen() const;

private:
    TCanvasPen& pen_;
    TColor color_;
    int32_t transparency_ = 255;
    float width_;
    TPenStyle style_;
    TPenMode mode_;
};

class TIEBrush {
public:
    explicit TIEBrush(TCanvasBrush& brush);

    TColor Color() const { return color_; }
    void SetColor(TColor value);
    int32_t Transparency() const { return transparency_; }
    void SetTransparency(int32_t value) { transparency_ = value; }
    TBrushStyle Style() const { return style_; }
    void SetStyle(TBrushStyle value);
    // Behind the lines of a hatch (the vector library only).
    TColor BackColor = 0;
    int32_t BackTransparency = 0;

    TGraphicsBrush GraphicsBrush() const;

private:
    TCanvasBrush& brush_;
    TColor color_;
    int32_t transparency_ = 255;
    TBrushStyle style_;
};

class TIECanvas {
public:
    // Draws on canvas (the caller's, which outlives this); through the
    // vector library when useGDIPlus and the library is enabled.
    TIECanvas(TCanvas& canvas, bool antialias = true, bool useGDIPlus = true);

    TCanvas& Canvas;
    TIEPen Pen;
    TIEBrush Brush;
    int32_t PenPosX = 0, PenPosY = 0;
    bool UsingGDIPlus() const { return usingGDIPlus_; }

    // 5 anti-aliased, 2 high speed (the vector library's mode + 1).
    void SetSmoothingMode(uint8_t mode);
    TCanvasFont& GetFont() { return Canvas.Font; }

    void SetPenPos(const TPoint& p);
    void MoveTo(int32_t x, int32_t y);
    void LineTo(int32_t x, int32_t y);
    // Both end points drawn.
    void DrawLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
    void FillRect(const TRect& rect);
    void Rectangle(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
    void RectangleR(const TRect& r) { Rectangle(r.Left, r.Top, r.Right, r.Bottom); }
    void Ellipse(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
    void EllipseR(const TRect& r) { Ellipse(r.Left, r.Top, r.Right, r.Bottom); }
    void Polygon(const std::vector<TPoint>& points);
    void Polyline(const std::vector<TPoint>& points);
    // The toolkit's arc: counter-clockwise from the radial through (x3, y3)
    // to the radial through (x4, y4).
    void Arc(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3, int32_t y3, int32_t x4, int32_t y4);
    // x3, y3: width and height of the corner ellipse.
    void RoundRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3, int32_t y3);
    int32_t TextWidth(const std::string& text) { return Canvas.TextWidth(text); }
    int32_t TextHeight(const std::string& text) { return Canvas.TextHeight(text); }
    void TextOut(int32_t x, int32_t y, const std::string& text) { Canvas.TextOut(x, y, text); }
    void TextRect(const TRect& r, int32_t x, int32_t y, const std::string& text) { Canvas.TextRect(r, x, y, text); }

private:
    TGraphics graphics_;
    bool usingGDIPlus_;
};
