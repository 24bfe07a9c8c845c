// Anti-aliased drawing onto a canvas: the stand-in for the system's 2-D
// vector graphics library, over cairo. Coordinates are real numbers with the
// canvas's pixel rules: outlines are centred on whole-number coordinates
// (pixel centres), fills cover whole pixels (a fill from x over width w
// covers pixels x .. x + w - 1), so an outline of width 1 drawn round a box
// of width w - 1 lines up with a fill of width w. Colours are ARGB (alpha in
// the top byte, then red, green, blue) and blend over what the canvas holds;
// angles are degrees, clockwise on the screen, measured to the radial of the
// point on the ellipse. Everything is clipped to the canvas's clip rectangle.
//
// Two smoothing modes: anti-aliased (partial coverage at the edges) and high
// speed (every pixel wholly in or out). Pens have a width, a dash style
// (solid, dash, dot, dash-dot, dash-dot-dot, lengths in pen widths), flat
// ends and mitred joins; brushes are solid or one of six 8 x 8 hatches with
// a fore and a back colour, or a linear gradient between two colours across
// a rectangle (repeated beyond it), each colour with its own opacity. Drawing
// keeps to the canvas's clip region. Images with alpha are drawn scaled
// (bilinear) from a source rectangle into a destination rectangle. What it
// leaves out: transforms, texture brushes and text (the canvas draws text).
#pragma once

#include <cstdint>
#include <vector>

#include "platform/canvas.h"

struct TGraphicsPen {
    uint32_t Color = 0xFF000000;  // ARGB
    float Width = 1;
    int32_t DashStyle = 0;  // 0 solid, 1 dash, 2 dot, 3 dash-dot, 4 dash-dot-dot
};

struct TGraphicsBrush {
    uint32_t Color = 0xFF000000;  // ARGB; the fore colour of a hatch
    int32_t Hatch = -1;           // -1 solid, else HS_HORIZONTAL .. HS_DIAGCROSS
    uint32_t BackColor = 0;       // ARGB behind a hatch
    // A gradient (GradientMode >= 0) from Color at the rectangle's start to
    // Color2 at its end: 0 left to right, 1 top to bottom, 2 top-left to
    // bottom-right, 3 top-right to bottom-left.
    int32_t GradientMode = -1;
    uint32_t Color2 = 0;
    double GradientX = 0, GradientY = 0, GradientWidth = 0, GradientHeight = 0;

    static TGraphicsBrush LinearGradient(double x, double y, double width, double height, uint32_t from, uint32_t to,
                                         int32_t mode) {
        TGraphicsBrush brush;
        brush.Color = from;
        brush.Color2 = to;
        brush.GradientMode = mode;
        brush.GradientX = x;
        brush.GradientY = y;
        brush.GradientWidth = width;
        brush.GradientHeight = height;
        return brush;
    }
};

enum : int32_t { kFillAlternate = 0, kFillWinding = 1 };

// A figure of lines and elliptic arcs, filled or outlined as one.
class TGraphicsPath {
public:
    explicit TGraphicsPath(int32_t fillMode = kFillAlternate) : fillMode_(fillMode) {}
    void AddArc(double x, double y, double width, double height, double startAngle, double sweepAngle);
    void AddLine(double x1, double y1, double x2, double y2);
    void CloseFigure();
    int32_t FillMode() const { return fillMode_; }

    struct TItem {
        enum Kind : uint8_t { Line, Arc, Close } Type;
        double A, B, C, D, E, F;
    };
    const std::vector<TItem>& Items() const { return items_; }

private:
    int32_t fillMode_;
    std::vector<TItem> items_;
};

class TGraphics {
public:
    // Draws onto the canvas's bitmap, inside its clip rectangle at each call.
    explicit TGraphics(TCanvas& canvas) : canvas_(canvas) {}

    void SetAntialias(bool antialias) { antialias_ = antialias; }
    bool Antialias() const { return antialias_; }

    void DrawLine(const TGraphicsPen& pen, double x1, double y1, double x2, double y2);
    void DrawLines(const TGraphicsPen& pen, const std::vector<TPoint>& points);
    void DrawRectangle(const TGraphicsPen& pen, double x, double y, double width, double height);
    void FillRectangle(const TGraphicsBrush& brush, double x, double y, double width, double height);
    void DrawEllipse(const TGraphicsPen& pen, double x, double y, double width, double height);
    void FillEllipse(const TGraphicsBrush& brush, double x, double y, double width, double height);
    void DrawPolygon(const TGraphicsPen& pen, const std::vector<TPoint>& points);
    void FillPolygon(const TGraphicsBrush& brush, const std::vector<TPoint>& points, int32_t fillMode = kFillAlternate);
    void DrawArc(const TGraphicsPen& pen, double x, double y, double width, double height, double startAngle,
                 double sweepAngle);
    void DrawPath(const TGraphicsPen& pen, const TGraphicsPath& path);
    void FillPath(const TGraphicsBrush& brush, const TGraphicsPath& path);
    // pixels: width x height premultiplied ARGB values, rows top-down. The
    // source rectangle's pixels land on the destination's (fill rules).
    void DrawImage(const uint32_t* pixels, int32_t width, int32_t height, double sx, double sy, double sw, double sh,
                   double dx, double dy, double dw, double dh);

private:
    TCanvas& canvas_;
    bool antialias_ = true;
};
