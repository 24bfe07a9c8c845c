#include "imaging/core/ie_canvas.h"

#include <algorithm>
#include <atomic>

#include "imaging/core/ie_geometry.h"
#include "imaging/core/ie_helpers.h"
#include "platform/mathutil.h"

bool IEGDIPSwitch = true;

namespace {

std::atomic<int32_t> gdipUsers{0};

// The toolkit's pen modes in order, as the system's mixes.
constexpr int32_t kMixes[16] = {1, 16, 11, 6, 13, 4, 14, 5, 12, 3, 15, 2, 9, 8, 7, 10};

int32_t Rop2Of(TPenMode mode) { return kMixes[std::min<size_t>(mode, 15)]; }

}  // namespace

void IEGDIPLoadLibrary() { ++gdipUsers; }

void IEGDIPUnloadLibrary() {
    int32_t users = gdipUsers.load();
    while (users > 0 && !gdipUsers.compare_exchange_weak(users, users - 1)) {
    }
}

bool IEGDIPLoaded() { return gdipUsers.load() > 0; }

bool IEGDIPEnabled() { return IEGDIPSwitch && IEGDIPLoaded(); }

// ------------------------------------------------------------------ pen

TIEPen::TIEPen(TCanvasPen& pen)
    : pen_(pen), color_(static_cast<TColor>(pen.Color)), width_(static_cast<float>(pen.Width)),
      style_(static_cast<TPenStyle>(std::clamp(pen.Style, 0, 6))), mode_(pmCopy) {
    for (uint8_t m = 0; m < 16; ++m)
        if (kMixes[m] == pen.Mode) mode_ = static_cast<TPenMode>(m);
}

void TIEPen::SetColor(TColor value) {
    color_ = value;
    pen_.Color = static_cast<uint32_t>(value);
}

void TIEPen::SetWidth(float value) {
    width_ = value;
    pen_.Width = static_cast<int32_t>(Trunc(value));
}

void TIEPen::SetStyle(TPenStyle value) {
    style_ = value;
    pen_.Style = value;
}

void TIEPen::SetMode(TPenMode value) {
    mode_ = value;
    pen_.Mode = Rop2Of(value);
}

TGraphicsPen TIEPen::GraphicsPen() const {
    TGraphicsPen pen;
    pen.Color = IEColorToARGB(color_, static_cast<uint8_t>(style_ == psClear ? 0 : std::clamp(transparency_, 0, 255)));
    pen.Width = width_;
    pen.DashStyle = style_ <= psDashDotDot ? style_ : 0;
    return pen;
}

// ------------------------------------------------------------------ brush

TIEBrush::TIEBrush(TCanvasBrush& brush) : brush_(brush), color_(static_cast<TColor>(brush.Color)) {
    if (brush.Style == BS_NULL) style_ = bsClear;
    else if (brush.Style == BS_HATCHED) style_ = static_cast<TBrushStyle>(bsHorizontal + std::clamp(brush.Hatch, 0, 5));
    else style_ = bsSolid;
}

void TIEBrush::SetColor(TColor value) {
    color_ = value;
    brush_.Color = static_cast<uint32_t>(value);
}

void TIEBrush::SetStyle(TBrushStyle value) {
    style_ = value;
    if (value == bsSolid) brush_.Style = BS_SOLID;
    else if (value == bsClear) brush_.Style = BS_NULL;
    else {
        brush_.Style = BS_HATCHED;
        brush_.Hatch = value - bsHorizontal;
    }
}

TGraphicsBrush TIEBrush::GraphicsBrush() const {
    TGraphicsBrush brush;
    brush.Color = IEColorToARGB(color_, static_cast<uint8_t>(style_ == bsClear ? 0 : std::clamp(transparency_, 0, 255)));
    if (style_ >= bsHorizontal) {
        brush.Hatch = style_ - bsHorizontal;
        brush.BackColor = IEColorToARGB(BackColor, static_cast<uint8_t>(std::clamp(BackTransparency, 0, 255)));
    }
    return brush;
}

// ------------------------------------------------------------------ canvas

TIECanvas::TIECanvas(TCanvas& canvas, bool antialias, bool useGDIPlus)
    : Canvas(canvas), Pen(canvas.Pen), Brush(canvas.Brush), graphics_(canvas),
      usingGDIPlus_(useGDIPlus && IEGDIPEnabled()) {
    SetSmoothingMode(antialias ? 5 : 2);
}

void TIECanvas::SetSmoothingMode(uint8_t mode) {
    if (!usingGDIPlus_) return;
    // The library's modes: 2 high quality and 4 anti-alias smooth, the rest do not.
    const int32_t libraryMode = mode - 1;
    graphics_.SetAntialias(libraryMode == 2 || libraryMode == 4);
}

void TIECanvas::SetPenPos(const TPoint& p) {
    PenPosX = p.X;
    PenPosY = p.Y;
    if (!usingGDIPlus_) Canvas.PenPos = p;
}

void TIECanvas::MoveTo(int32_t x, int32_t y) {
    PenPosX = x;
    PenPosY = y;
    if (!usingGDIPlus_) Canvas.MoveTo(x, y);
}

void TIECanvas::LineTo(int32_t x, int32_t y) {
    if (!usingGDIPlus_) {
        Canvas.LineTo(x, y);
        return;
    }
    graphics_.DrawLine(Pen.GraphicsPen(), PenPosX, PenPosY, x, y);
    PenPosX = x;
    PenPosY = y;
}

void TIECanvas::DrawLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    if (usingGDIPlus_) graphics_.DrawLine(Pen.GraphicsPen(), x1, y1, x2, y2);
    else Canvas.Polygon({TPoint{x1, y1}, TPoint{x2, y2}});
}

void TIECanvas::FillRect(const TRect& r) {
    if (usingGDIPlus_) graphics_.FillRectangle(Brush.GraphicsBrush(), r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top);
    else Canvas.FillRect(r);
}

void TIECanvas::Rectangle(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    if (!usingGDIPlus_) {
        Canvas.Rectangle(x1, y1, x2, y2);
        return;
    }
    graphics_.FillRectangle(Brush.GraphicsBrush(), x1, y1, x2 - x1 - 1, y2 - y1 - 1);
    graphics_.DrawRectangle(Pen.GraphicsPen(), x1, y1, x2 - x1 - 1, y2 - y1 - 1);
}

void TIECanvas::Ellipse(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    if (!usingGDIPlus_) {
        Canvas.Ellipse(x1, y1, x2, y2);
        return;
    }
    graphics_.FillEllipse(Brush.GraphicsBrush(), x1, y1, x2 - x1 - 1, y2 - y1 - 1);
    graphics_.DrawEllipse(Pen.GraphicsPen(), x1, y1, x2 - x1 - 1, y2 - y1 - 1);
}

void TIECanvas::Polygon(const std::vector<TPoint>& points) {
    if (!usingGDIPlus_) {
        Canvas.Polygon(points);
        return;
    }
    graphics_.DrawPolygon(Pen.GraphicsPen(), points);
    graphics_.FillPolygon(Brush.GraphicsBrush(), points, kFillAlternate);
}

void TIECanvas::Polyline(const std::vector<TPoint>& points) {
    if (usingGDIPlus_) graphics_.DrawLines(Pen.GraphicsPen(), points);
    else Canvas.Polyline(points);
}

void TIECanvas::Arc(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3, int32_t y3, int32_t x4, int32_t y4) {
    if (!usingGDIPlus_) {
        Canvas.Arc(TRect{x1, y1, x2, y2}, TPoint{x3, y3}, TPoint{x4, y4});
        return;
    }
    const int32_t cx = (x1 + x2) / 2, cy = (y1 + y2) / 2;
    const float a = static_cast<float>(IEAngleOfLine(cx, cy, x4, y4) * 180 / kIEPi);
    const float b = static_cast<float>(IEAngle3Points(x3, y3, cx, cy, x4, y4) * 180 / kIEPi);
    // Clockwise on the screen from the end point back to the start point:
    // the same curve as the toolkit's counter-clockwise arc.
    graphics_.DrawArc(Pen.GraphicsPen(), x1, y1, x2 - x1 + 1, y2 - y1 + 1, -a, b);
}

void TIECanvas::RoundRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3, int32_t y3) {
    if (!usingGDIPlus_) {
        Canvas.RoundRect(x1, y1, x2, y2, x3, y3);
        return;
    }
    const int32_t w = x2 - x1, h = y2 - y1;
    TGraphicsPath path(kFillAlternate);
    path.AddArc(x1, y1, x3, y3, 180, 90);
    path.AddArc(x1 + w - x3, y1, x3, y3, 270, 90);
    path.AddArc(x1 + w - x3, y1 + h - y3, x3, y3, 0, 90);
    path.AddArc(x1, y1 + h - y3, x3, y3, 90, 90);
    path.AddLine(x1, y1 + h - y3, x1, y1 + y3 / 2.0);
    graphics_.FillPath(Brush.GraphicsBrush(), path);
    graphics_.DrawPath(Pen.GraphicsPen(), path);
}
