#include "platform/canvas.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <tuple>

#include "platform/codepage.h"
#include "platform/errors.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

uint32_t ToRgb(uint32_t color) {
    const TColor c = ColorToRGB(static_cast<TColor>(color));
    return uint32_t{RedOf(c)} << 16 | uint32_t{GreenOf(c)} << 8 | BlueOf(c);
}

TColor ToColor(uint32_t rgb) {
    return RGBColor(static_cast<uint8_t>(rgb >> 16), static_cast<uint8_t>(rgb >> 8), static_cast<uint8_t>(rgb));
}

uint32_t Mix(uint32_t destination, uint32_t pen, int32_t mode) {
    switch (mode) {
        case R2_BLACK: return 0;
        case R2_WHITE: return 0xFFFFFF;
        case R2_NOT: return ~destination & 0xFFFFFF;
        case R2_XORPEN: return (destination ^ pen) & 0xFFFFFF;
        case R2_MASKPEN: return destination & pen;
        case R2_NOTXORPEN: return ~(destination ^ pen) & 0xFFFFFF;
        case R2_MERGEPEN: return (destination | pen) & 0xFFFFFF;
        case R2_NOP: return destination;
        default: return pen;
    }
}

uint32_t RasterOp(uint32_t destination, uint32_t source, uint32_t rop) {
    switch (rop) {
        case SRCPAINT: return destination | source;
        case SRCAND: return destination & source;
        case SRCINVERT: return destination ^ source;
        case NOTSRCCOPY: return ~source & 0xFFFFFF;
        case DSTINVERT: return ~destination & 0xFFFFFF;
        case BLACKNESS: return 0;
        case WHITENESS: return 0xFFFFFF;
        default: return source;
    }
}

// The system's hatch patterns, one byte a row, bit 7 the leftmost pixel.
constexpr uint8_t kHatches[6][8] = {
    {0xFF, 0, 0, 0, 0, 0, 0, 0},                                 // horizontal
    {0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80},            // vertical
    {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01},            // forward diagonal: top-left to bottom-right
    {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80},            // backward diagonal
    {0xFF, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80},            // cross
    {0x81, 0x42, 0x24, 0x18, 0x18, 0x24, 0x42, 0x81},            // diagonal cross
};

// On and off runs of the cosmetic pen styles, in pixels.
std::vector<int32_t> DashRuns(int32_t style) {
    switch (style) {
        case PS_DASH: return {18, 6};
        case PS_DOT: return {3, 3};
        case PS_DASHDOT: return {9, 6, 3, 6};
        case PS_DASHDOTDOT: return {9, 3, 3, 3, 3, 3};
        default: return {};
    }
}

int32_t CeilDiv(int32_t value, int32_t by) { return value >= 0 ? (value + by - 1) / by : -(-value / by); }
int32_t FloorDiv(int32_t value, int32_t by) { return value >= 0 ? value / by : -((-value + by - 1) / by); }

// A region of layout pixels as device pixels, and back (covering every
// device pixel of it).
TRegion ScaleRegion(const TRegion& region, int32_t scale) {
    TRegion out;
    for (const TRect& r : region.Rects())
        out.Combine(TRegion(TRect{r.Left * scale, r.Top * scale, r.Right * scale, r.Bottom * scale}), RGN_OR);
    return out;
}

TRegion ShrinkRegion(const TRegion& region, int32_t scale) {
    TRegion out;
    for (const TRect& r : region.Rects())
        out.Combine(TRegion(TRect{FloorDiv(r.Left, scale), FloorDiv(r.Top, scale), CeilDiv(r.Right, scale),
                                  CeilDiv(r.Bottom, scale)}),
                    RGN_OR);
    return out;
}

double Wrap(double angle) {
    angle = std::fmod(angle, 2 * kPi);
    return angle < 0 ? angle + 2 * kPi : angle;
}

}  // namespace

const uint8_t* HatchPattern(int32_t hatch) { return kHatches[std::clamp(hatch, 0, 5)]; }

int32_t TCanvasFont::Size() const {
    // Height = -points * 96 / 72, rounded; a cell height gives no size of its own.
    return static_cast<int32_t>(std::lround(-Height * 72.0 / 96.0));
}

void TCanvasFont::SetSize(int32_t points) { Height = -static_cast<int32_t>(std::lround(points * 96.0 / 72.0)); }

// A box with elliptic corners: an ellipse when the corners are the whole
// box, a rectangle when they are empty. Coordinates are edges of pixels.
struct TCanvas::TShape {
    double Left, Top, Right, Bottom;
    double RadiusX, RadiusY;  // of the corner ellipses
    // Pixels of row y inside; false when none.
    bool Span(int32_t y, int32_t& x1, int32_t& x2) const {
        const double yc = y + 0.5;
        if (Right <= Left || Bottom <= Top || yc < Top || yc > Bottom) return false;
        double inset = 0;
        if (RadiusX > 0 && RadiusY > 0) {
            double dy = 0;
            if (yc < Top + RadiusY) dy = Top + RadiusY - yc;
            else if (yc > Bottom - RadiusY) dy = yc - (Bottom - RadiusY);
            if (dy > 0) {
                const double t = std::min(1.0, dy / RadiusY);
                inset = RadiusX * (1 - std::sqrt(1 - t * t));
            }
        }
        x1 = static_cast<int32_t>(std::ceil(Left + inset - 0.5));
        x2 = static_cast<int32_t>(std::floor(Right - inset - 0.5));
        return x2 >= x1;
    }
    TShape Inset(double w) const {
        return TShape{Left + w, Top + w, Right - w, Bottom - w, std::max(0.0, RadiusX - w), std::max(0.0, RadiusY - w)};
    }
};

// What SaveDC keeps (complete before the constructor and destructor,
// which make and free the stack of them).
struct TCanvas::TSavedState {
    TCanvasPen Pen;
    TCanvasBrush Brush;
    TCanvasFont Font;
    TPoint PenPos;
    uint32_t CopyMode;
    int32_t StretchMode, PolyFillMode;
    TRect Clip;
    std::unique_ptr<TRegion> Region;
    bool ClipSet;
};

// A call on a scaled canvas runs inside one of these: the pen width, the
// font height and the pen position are device pixels until it ends.
struct TCanvas::TDeviceScope {
    explicit TDeviceScope(TCanvas& canvas)
        : Canvas(canvas), PenWidth(canvas.Pen.Width), FontHeight(canvas.Font.Height) {
        Canvas.device_ = true;
        Canvas.layoutFontHeight_ = FontHeight;
        Canvas.Pen.Width = std::max(1, PenWidth) * Canvas.scale_;
        Canvas.Font.Height = (FontHeight == 0 ? -12 : FontHeight) * Canvas.scale_;
        Canvas.PenPos = Canvas.Up(Canvas.PenPos);
    }
    ~TDeviceScope() {
        Canvas.PenPos = TPoint{FloorDiv(Canvas.PenPos.X, Canvas.scale_), FloorDiv(Canvas.PenPos.Y, Canvas.scale_)};
        Canvas.Pen.Width = PenWidth;
        Canvas.Font.Height = FontHeight;
        Canvas.device_ = false;
    }
    TDeviceScope(const TDeviceScope&) = delete;
    TDeviceScope& operator=(const TDeviceScope&) = delete;
    TCanvas& Canvas;
    int32_t PenWidth, FontHeight;
};

TCanvas::TCanvas(TBitmap& bitmap) : bitmap_(bitmap), scale_(bitmap.DevicePixelRatio()) { ResetClip(); }

TCanvas::~TCanvas() = default;

std::u16string TCanvas::Utf8Text(const std::string& utf8) { return Utf8ToWide(utf8); }

TRect TCanvas::ClipRect() const {
    if (!Scaled()) return clip_;
    return TRect{clip_.Left / scale_, clip_.Top / scale_, CeilDiv(clip_.Right, scale_), CeilDiv(clip_.Bottom, scale_)};
}

void TCanvas::ResetClip() {
    clip_ = TRect{0, 0, bitmap_.Width(), bitmap_.Height()};
    region_.reset();
    mask_.clear();
    clipSet_ = false;
}

void TCanvas::ApplyClip(TRegion region, bool set) {
    region.Combine(TRegion(TRect{0, 0, bitmap_.Width(), bitmap_.Height()}), RGN_AND);
    clipSet_ = set;
    clip_ = region.Bounds();
    mask_.clear();
    region_.reset();
    if (region.IsRectangle()) return;
    // A pixel mask keeps the test of a pixel as cheap as the rectangle's.
    const size_t width = static_cast<size_t>(bitmap_.Width());
    mask_.assign(width * static_cast<size_t>(bitmap_.Height()), 0);
    for (const TRect& r : region.Rects())
        for (int32_t y = r.Top; y < r.Bottom; ++y)
            std::fill_n(mask_.begin() + static_cast<std::ptrdiff_t>(y * width + static_cast<size_t>(r.Left)),
                        r.Right - r.Left, uint8_t{1});
    region_ = std::make_unique<TRegion>(std::move(region));
}

void TCanvas::IntersectClipRect(const TRect& rect) {
    const TRect r = NormalizeRect(Scaled() ? Up(rect) : rect);
    clipSet_ = true;
    if (region_) {
        TRegion region(*region_);
        region.Combine(TRegion(r), RGN_AND);
        ApplyClip(std::move(region), true);
        return;
    }
    clip_.Left = std::max(clip_.Left, r.Left);
    clip_.Top = std::max(clip_.Top, r.Top);
    clip_.Right = std::max(clip_.Left, std::min(clip_.Right, r.Right));
    clip_.Bottom = std::max(clip_.Top, std::min(clip_.Bottom, r.Bottom));
}

void TCanvas::ExcludeClipRect(const TRect& rect) { CombineClipRegion(TRegion(rect), RGN_DIFF); }

void TCanvas::SelectClipRegion(const TRegion* region) {
    if (!region) ResetClip();
    else ApplyClip(Scaled() ? ScaleRegion(*region, scale_) : *region, true);
}

bool TCanvas::GetClipRegion(TRegion& region) const {
    region = region_ ? *region_ : TRegion(clip_);
    if (Scaled()) region = ShrinkRegion(region, scale_);
    return clipSet_;
}

void TCanvas::CombineClipRegion(const TRegion& region, int32_t operation) {
    TRegion current = region_ ? *region_ : TRegion(clip_);
    current.Combine(Scaled() ? ScaleRegion(region, scale_) : region, operation);
    ApplyClip(std::move(current), true);
}

int TCanvas::SaveDC() {
    saved_.push_back(TSavedState{Pen, Brush, Font, PenPos, CopyMode, StretchMode, PolyFillMode, clip_,
                                 region_ ? std::make_unique<TRegion>(*region_) : nullptr, clipSet_});
    return static_cast<int>(saved_.size());
}

bool TCanvas::RestoreDC(int saved) {
    if (saved_.empty()) return false;
    size_t index = saved_.size() - 1;
    if (saved > 0) {
        if (static_cast<size_t>(saved) > saved_.size()) return false;
        index = static_cast<size_t>(saved) - 1;
    }
    TSavedState state = std::move(saved_[index]);
    saved_.resize(index);
    Pen = state.Pen;
    Brush = state.Brush;
    Font = state.Font;
    PenPos = state.PenPos;
    CopyMode = state.CopyMode;
    StretchMode = state.StretchMode;
    PolyFillMode = state.PolyFillMode;
    if (state.Region) {
        ApplyClip(std::move(*state.Region), state.ClipSet);
    } else {
        ResetClip();
        clip_ = state.Clip;
        clipSet_ = state.ClipSet;
    }
    return true;
}

uint32_t TCanvas::Get(int32_t x, int32_t y) const { return bitmap_.PixelColor(bitmap_.ScanLine(y), x); }

void TCanvas::Put(int32_t x, int32_t y, uint32_t rgb, int32_t mix) {
    if (!mask_.empty() && !mask_[static_cast<size_t>(y) * static_cast<size_t>(bitmap_.Width()) + x]) return;
    uint8_t* row = bitmap_.ScanLine(y);
    const TPixelFormat format = bitmap_.PixelFormat();
    if (mix != R2_COPYPEN) rgb = Mix(bitmap_.PixelColor(row, x), rgb, mix);
    if (format == TPixelFormat::pf24bit || format == TPixelFormat::pf32bit || format == TPixelFormat::pfDevice ||
        format == TPixelFormat::pfCustom) {
        uint8_t* p = row + static_cast<size_t>(x) * (format == TPixelFormat::pf24bit ? 3 : 4);
        p[0] = static_cast<uint8_t>(rgb);
        p[1] = static_cast<uint8_t>(rgb >> 8);
        p[2] = static_cast<uint8_t>(rgb >> 16);
    } else {
        bitmap_.SetPixelColor(row, x, rgb);
    }
}

TColor TCanvas::GetPixel(int32_t x, int32_t y) const {
    if (Scaled()) {
        x *= scale_;
        y *= scale_;
    }
    if (!Inside(x, y)) return -1;
    return ToColor(Get(x, y));
}

void TCanvas::SetPixel(int32_t x, int32_t y, TColor color) {
    if (Scaled()) {
        const TDeviceScope scope(*this);
        for (int32_t dy = 0; dy < scale_; ++dy)
            for (int32_t dx = 0; dx < scale_; ++dx) SetPixel(x * scale_ + dx, y * scale_ + dy, color);
        return;
    }
    if (Inside(x, y)) Put(x, y, ToRgb(static_cast<uint32_t>(color)), R2_COPYPEN);
}

void TCanvas::BlendPixel(int32_t x, int32_t y, TColor color, uint8_t coverage) {
    if (Scaled()) {
        const TDeviceScope scope(*this);
        for (int32_t dy = 0; dy < scale_; ++dy)
            for (int32_t dx = 0; dx < scale_; ++dx) BlendPixel(x * scale_ + dx, y * scale_ + dy, color, coverage);
        return;
    }
    if (coverage == 0 || !Inside(x, y)) return;
    const uint32_t s = ToRgb(static_cast<uint32_t>(color));
    if (coverage == 255) {
        Put(x, y, s, R2_COPYPEN);
        return;
    }
    const uint32_t d = Get(x, y);
    uint32_t out = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const uint32_t dc = (d >> shift) & 255, sc = (s >> shift) & 255;
        out |= ((dc * (255u - coverage) + sc * coverage + 127) / 255) << shift;
    }
    Put(x, y, out, R2_COPYPEN);
}

void TCanvas::BrushSpan(int32_t x1, int32_t x2, int32_t y) {
    if (Brush.Style == BS_NULL || y < clip_.Top || y >= clip_.Bottom) return;
    x1 = std::max(x1, clip_.Left);
    x2 = std::min(x2, clip_.Right - 1);
    if (x2 < x1) return;
    const uint32_t rgb = ToRgb(Brush.Color);
    // The pen's mix applies to what the brush paints as well.
    if (Brush.Style == BS_HATCHED || Pen.Mode != R2_COPYPEN) {
        // (A hatch keeps its size in layout pixels.)
        const uint8_t bits = Brush.Style == BS_HATCHED ? HatchPattern(Brush.Hatch)[(y / scale_) & 7] : 0xFF;
        for (int32_t x = x1; x <= x2; ++x)
            if (bits & (0x80 >> ((x / scale_) & 7))) Put(x, y, rgb, Pen.Mode);
        return;
    }
    const TPixelFormat format = bitmap_.PixelFormat();
    if (format == TPixelFormat::pf24bit && mask_.empty()) {
        uint8_t* p = bitmap_.ScanLine(y) + static_cast<size_t>(x1) * 3;
        for (int32_t x = x1; x <= x2; ++x, p += 3) {
            p[0] = static_cast<uint8_t>(rgb);
            p[1] = static_cast<uint8_t>(rgb >> 8);
            p[2] = static_cast<uint8_t>(rgb >> 16);
        }
        return;
    }
    for (int32_t x = x1; x <= x2; ++x) Put(x, y, rgb, R2_COPYPEN);
}

void TCanvas::PenSpan(int32_t x1, int32_t x2, int32_t y) {
    if (Pen.Style == PS_NULL || y < clip_.Top || y >= clip_.Bottom) return;
    x1 = std::max(x1, clip_.Left);
    x2 = std::min(x2, clip_.Right - 1);
    const uint32_t rgb = ToRgb(Pen.Color);
    for (int32_t x = x1; x <= x2; ++x) Put(x, y, rgb, Pen.Mode);
}

void TCanvas::PenDot(int32_t x, int32_t y) {
    if (blockLines_) {
        for (int32_t dy = 0; dy < scale_; ++dy)
            for (int32_t dx = 0; dx < scale_; ++dx)
                if (Inside(x * scale_ + dx, y * scale_ + dy)) Put(x * scale_ + dx, y * scale_ + dy, ToRgb(Pen.Color), Pen.Mode);
        return;
    }
    if (Inside(x, y)) Put(x, y, ToRgb(Pen.Color), Pen.Mode);
}

// ------------------------------------------------------------------ lines

void TCanvas::PenLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, bool lastPoint) {
    if (Pen.Style == PS_NULL) return;
    if (Pen.Width > 1 && !blockLines_) {
        // A wide pen: the segment's band and a round dot at each end.
        const double dx = x2 - x1, dy = y2 - y1, length = std::hypot(dx, dy);
        const double half = Pen.Width / 2.0;
        const int32_t saveFill = PolyFillMode;
        PolyFillMode = WINDING;
        if (length > 0) {
            const double nx = -dy / length * half, ny = dx / length * half;
            auto pt = [](double x, double y) {
                return TPoint{static_cast<int32_t>(std::lround(x)), static_cast<int32_t>(std::lround(y))};
            };
            FillPolygonSpans({{pt(x1 + 0.5 + nx, y1 + 0.5 + ny), pt(x2 + 0.5 + nx, y2 + 0.5 + ny),
                               pt(x2 + 0.5 - nx, y2 + 0.5 - ny), pt(x1 + 0.5 - nx, y1 + 0.5 - ny)}},
                             false, WINDING);
        }
        PolyFillMode = saveFill;
        for (const TPoint& p : {TPoint{x1, y1}, TPoint{x2, y2}}) {
            const TShape dot{p.X + 0.5 - half, p.Y + 0.5 - half, p.X + 0.5 + half, p.Y + 0.5 + half, half, half};
            for (int32_t y = static_cast<int32_t>(std::floor(dot.Top)); y <= static_cast<int32_t>(dot.Bottom); ++y) {
                int32_t a, b;
                if (dot.Span(y, a, b)) PenSpan(a, b, y);
            }
        }
        return;
    }
    const std::vector<int32_t> runs = DashRuns(Pen.Style);
    size_t run = 0;
    int32_t left = runs.empty() ? 0 : runs[0];
    // Bresenham's walk; the end point itself is left out unless asked for.
    const int32_t dx = std::abs(x2 - x1), dy = -std::abs(y2 - y1);
    const int32_t sx = x1 < x2 ? 1 : -1, sy = y1 < y2 ? 1 : -1;
    int32_t error = dx + dy, x = x1, y = y1;
    while (true) {
        const bool end = x == x2 && y == y2;
        if (end && !lastPoint) break;
        if (runs.empty() || run % 2 == 0) PenDot(x, y);
        if (!runs.empty() && --left == 0) {
            run = (run + 1) % runs.size();
            left = runs[run];
        }
        if (end) break;
        const int32_t e2 = 2 * error;
        if (e2 >= dy) {
            error += dy;
            x += sx;
        }
        if (e2 <= dx) {
            error += dx;
            y += sy;
        }
    }
}

void TCanvas::ScaledPenLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, bool lastPoint) {
    if (!Scaled()) {
        PenLine(x1, y1, x2, y2, lastPoint);
        return;
    }
    // A one-pixel line keeps its pixels, each a block; a wide pen draws at
    // the full density.
    const bool thin = Pen.Width <= 1;
    const TDeviceScope scope(*this);
    if (thin) {
        blockLines_ = true;
        PenLine(x1, y1, x2, y2, lastPoint);
        blockLines_ = false;
    } else {
        PenLine(x1 * scale_, y1 * scale_, x2 * scale_, y2 * scale_, lastPoint);
    }
}

void TCanvas::MoveTo(int32_t x, int32_t y) { PenPos = TPoint{x, y}; }

void TCanvas::LineTo(int32_t x, int32_t y) {
    ScaledPenLine(PenPos.X, PenPos.Y, x, y, false);
    PenPos = TPoint{x, y};
}

void TCanvas::Polyline(const std::vector<TPoint>& points) {
    for (size_t i = 1; i < points.size(); ++i)
        ScaledPenLine(points[i - 1].X, points[i - 1].Y, points[i].X, points[i].Y, false);
}

void TCanvas::PolyBezier(const std::vector<TPoint>& points) {
    if (points.empty()) return;
    std::vector<TPoint> flat{points[0]};
    for (size_t i = 1; i + 2 < points.size(); i += 3) {
        const TPoint p0 = flat.back(), c1 = points[i], c2 = points[i + 1], p3 = points[i + 2];
        const double length = std::hypot(c1.X - p0.X, c1.Y - p0.Y) + std::hypot(c2.X - c1.X, c2.Y - c1.Y) +
                              std::hypot(p3.X - c2.X, p3.Y - c2.Y);
        const int steps = std::clamp(static_cast<int>(length / 4), 1, 256);
        for (int s = 1; s <= steps; ++s) {
            const float t = static_cast<float>(s) / static_cast<float>(steps);
            flat.push_back(TPoint{static_cast<int32_t>(std::lround(BezierPoint(p0.X, c1.X, c2.X, p3.X, t))),
                                  static_cast<int32_t>(std::lround(BezierPoint(p0.Y, c1.Y, c2.Y, p3.Y, t)))});
        }
    }
    Polyline(flat);
}

// ------------------------------------------------------------------ filled shapes

void TCanvas::FillPolygonSpans(const std::vector<std::vector<TPoint>>& polygons, bool withBrush, int32_t mode) {
    struct TEdge {
        double X0, Y0, X1, Y1;
        int Direction;
    };
    std::vector<TEdge> edges;
    int32_t top = INT32_MAX, bottom = INT32_MIN;
    for (const auto& points : polygons) {
        for (size_t i = 0; i < points.size(); ++i) {
            const TPoint a = points[i], b = points[(i + 1) % points.size()];
            top = std::min(top, a.Y);
            bottom = std::max(bottom, a.Y);
            if (a.Y == b.Y) continue;
            edges.push_back(a.Y < b.Y ? TEdge{double(a.X), double(a.Y), double(b.X), double(b.Y), 1}
                                      : TEdge{double(b.X), double(b.Y), double(a.X), double(a.Y), -1});
        }
    }
    if (edges.empty()) return;
    top = std::max(top, clip_.Top);
    bottom = std::min(bottom, clip_.Bottom);
    std::vector<std::pair<double, int>> crossings;
    for (int32_t y = top; y < bottom; ++y) {
        const double yc = y + 0.5;
        crossings.clear();
        for (const TEdge& e : edges)
            if (yc >= e.Y0 && yc < e.Y1) crossings.emplace_back(e.X0 + (yc - e.Y0) * (e.X1 - e.X0) / (e.Y1 - e.Y0), e.Direction);
        std::sort(crossings.begin(), crossings.end());
        int winding = 0;
        for (size_t i = 0; i + 1 < crossings.size(); ++i) {
            winding += crossings[i].second;
            const bool inside = mode == WINDING ? winding != 0 : i % 2 == 0;
            if (!inside) continue;
            const int32_t x1 = static_cast<int32_t>(std::ceil(crossings[i].first - 0.5));
            const int32_t x2 = static_cast<int32_t>(std::ceil(crossings[i + 1].first - 0.5)) - 1;
            if (x2 < x1) continue;
            if (withBrush) BrushSpan(x1, x2, y);
            else PenSpan(x1, x2, y);
        }
    }
}

void TCanvas::Polygon(const std::vector<TPoint>& points) {
    if (points.empty()) return;
    if (Scaled()) {
        std::vector<TPoint> device;
        for (const TPoint& p : points) device.push_back(Up(p));
        const TDeviceScope scope(*this);
        FillPolygonSpans({device}, true, PolyFillMode);
    } else {
        FillPolygonSpans({points}, true, PolyFillMode);
    }
    for (size_t i = 0; i < points.size(); ++i) {
        const TPoint a = points[i], b = points[(i + 1) % points.size()];
        ScaledPenLine(a.X, a.Y, b.X, b.Y, points.size() == 1);
    }
}

void TCanvas::FillRect(const TRect& rect) {
    if (Scaled()) {
        const TDeviceScope scope(*this);
        FillRect(Up(rect));
        return;
    }
    const TRect r = NormalizeRect(rect);
    for (int32_t y = std::max(r.Top, clip_.Top); y < std::min(r.Bottom, clip_.Bottom); ++y) BrushSpan(r.Left, r.Right - 1, y);
}

void TCanvas::FrameRect(const TRect& rect) {
    const TRect r = NormalizeRect(rect);
    if (r.Right <= r.Left || r.Bottom <= r.Top) return;
    if (Scaled()) {
        // Each side a layout pixel wide.
        const TCanvasBrush keep = Brush;
        Brush.Style = BS_SOLID;
        FillRect(TRect{r.Left, r.Top, r.Right, r.Top + 1});
        if (r.Bottom - r.Top > 1) FillRect(TRect{r.Left, r.Bottom - 1, r.Right, r.Bottom});
        FillRect(TRect{r.Left, r.Top + 1, r.Left + 1, r.Bottom - 1});
        if (r.Right - r.Left > 1) FillRect(TRect{r.Right - 1, r.Top + 1, r.Right, r.Bottom - 1});
        Brush = keep;
        return;
    }
    const TCanvasBrush keep = Brush;
    Brush.Style = BS_SOLID;
    BrushSpan(r.Left, r.Right - 1, r.Top);
    BrushSpan(r.Left, r.Right - 1, r.Bottom - 1);
    for (int32_t y = r.Top + 1; y < r.Bottom - 1; ++y) {
        BrushSpan(r.Left, r.Left, y);
        BrushSpan(r.Right - 1, r.Right - 1, y);
    }
    Brush = keep;
}

void TCanvas::DrawShape(const TShape& outer, bool withBrush, bool withPen, const TPoint* arcStart,
                        const TPoint* arcEnd, int32_t arcKind) {
    // arcKind: 0 whole shape, 1 arc (outline only), 2 chord, 3 pie.
    const double w = withPen ? std::max(1, Pen.Width) : 0;
    const TShape inner = outer.Inset(w);
    const double cx = (outer.Left + outer.Right) / 2, cy = (outer.Top + outer.Bottom) / 2;
    double start = 0, sweep = 2 * kPi;
    TPoint p1{}, p2{};
    double sideOfArc = 0;
    auto onEllipse = [&](double angle) {
        // Where the radial at this angle meets the ellipse of the pixel centres.
        const double a = std::max(0.5, (outer.Right - outer.Left - 1) / 2), b = std::max(0.5, (outer.Bottom - outer.Top - 1) / 2);
        const double dx = std::cos(angle), dy = -std::sin(angle);
        const double t = 1 / std::sqrt(dx * dx / (a * a) + dy * dy / (b * b));
        return TPoint{static_cast<int32_t>(std::lround(cx - 0.5 + dx * t)), static_cast<int32_t>(std::lround(cy - 0.5 + dy * t))};
    };
    if (arcKind != 0) {
        start = Wrap(std::atan2(-(arcStart->Y + 0.5 - cy), arcStart->X + 0.5 - cx));
        const double end = Wrap(std::atan2(-(arcEnd->Y + 0.5 - cy), arcEnd->X + 0.5 - cx));
        sweep = Wrap(end - start);
        if (sweep == 0) sweep = 2 * kPi;
        p1 = onEllipse(start);
        p2 = onEllipse(start + sweep);
        const TPoint mid = onEllipse(start + sweep / 2);
        sideOfArc = double(p2.X - p1.X) * (mid.Y - p1.Y) - double(p2.Y - p1.Y) * (mid.X - p1.X);
    }
    auto inAngle = [&](int32_t x, int32_t y) {
        if (arcKind == 0) return true;
        return Wrap(std::atan2(-(y + 0.5 - cy), x + 0.5 - cx) - start) <= sweep;
    };
    auto inChord = [&](int32_t x, int32_t y) {
        const double side = double(p2.X - p1.X) * (y - p1.Y) - double(p2.Y - p1.Y) * (x - p1.X);
        return side == 0 || (side > 0) == (sideOfArc > 0);
    };
    const int32_t top = std::max(clip_.Top, static_cast<int32_t>(std::floor(outer.Top)));
    const int32_t bottom = std::min(clip_.Bottom - 1, static_cast<int32_t>(std::ceil(outer.Bottom)));
    const uint32_t penRgb = ToRgb(Pen.Color);
    for (int32_t y = top; y <= bottom; ++y) {
        int32_t ox1, ox2, ix1 = 0, ix2 = -1;
        if (!outer.Span(y, ox1, ox2)) continue;
        const bool hasInner = inner.Span(y, ix1, ix2);
        if (!hasInner) ix2 = ix1 - 1;
        if (arcKind == 0) {
            if (withBrush && hasInner) BrushSpan(ix1, ix2, y);
            if (withPen) {
                if (!hasInner) PenSpan(ox1, ox2, y);
                else {
                    PenSpan(ox1, ix1 - 1, y);
                    PenSpan(ix2 + 1, ox2, y);
                }
            }
            continue;
        }
        const int32_t x1 = std::max(ox1, clip_.Left), x2 = std::min(ox2, clip_.Right - 1);
        for (int32_t x = x1; x <= x2; ++x) {
            const bool ring = !hasInner || x < ix1 || x > ix2;
            if (ring) {
                if (withPen && inAngle(x, y)) Put(x, y, penRgb, Pen.Mode);
            } else if (withBrush && Brush.Style != BS_NULL && arcKind >= 2) {
                if (arcKind == 2 ? inChord(x, y) : inAngle(x, y)) BrushSpan(x, x, y);
            }
        }
    }
    if (withPen && arcKind == 2) PenLine(p1.X, p1.Y, p2.X, p2.Y, true);
    if (withPen && arcKind == 3) {
        const TPoint c{static_cast<int32_t>(std::floor(cx - 0.5 + 0.5)), static_cast<int32_t>(std::floor(cy - 0.5 + 0.5))};
        PenLine(c.X, c.Y, p1.X, p1.Y, true);
        PenLine(c.X, c.Y, p2.X, p2.Y, true);
    }
}

void TCanvas::Rectangle(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    const TRect r = NormalizeRect(TRect{left, top, right, bottom});
    if (Pen.Style == PS_NULL) {
        // Without a pen the system fills one pixel less to the right and below.
        FillRect(TRect{r.Left, r.Top, r.Right - 1, r.Bottom - 1});
        return;
    }
    if (Pen.Width <= 1 && Pen.Style != PS_SOLID && Pen.Style != PS_INSIDEFRAME) {
        FillRect(TRect{r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 1});
        ScaledPenLine(r.Left, r.Top, r.Right - 1, r.Top, false);
        ScaledPenLine(r.Right - 1, r.Top, r.Right - 1, r.Bottom - 1, false);
        ScaledPenLine(r.Right - 1, r.Bottom - 1, r.Left, r.Bottom - 1, false);
        ScaledPenLine(r.Left, r.Bottom - 1, r.Left, r.Top, false);
        return;
    }
    if (Scaled()) {
        const TDeviceScope scope(*this);
        const TRect d = Up(r);
        DrawShape(TShape{double(d.Left), double(d.Top), double(d.Right), double(d.Bottom), 0, 0}, true, true, nullptr,
                  nullptr, 0);
        return;
    }
    DrawShape(TShape{double(r.Left), double(r.Top), double(r.Right), double(r.Bottom), 0, 0}, true, true, nullptr,
              nullptr, 0);
}

void TCanvas::Ellipse(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    if (Scaled()) {
        const TDeviceScope scope(*this);
        Ellipse(left * scale_, top * scale_, right * scale_, bottom * scale_);
        return;
    }
    const TRect r = NormalizeRect(TRect{left, top, right, bottom});
    const bool pen = Pen.Style != PS_NULL;
    const double shrink = pen ? 0 : scale_;
    const TShape shape{double(r.Left), double(r.Top), r.Right - shrink, r.Bottom - shrink, (r.Right - shrink - r.Left) / 2,
                       (r.Bottom - shrink - r.Top) / 2};
    DrawShape(shape, true, pen, nullptr, nullptr, 0);
}

void TCanvas::RoundRect(int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t cornerWidth,
                        int32_t cornerHeight) {
    if (Scaled()) {
        const TDeviceScope scope(*this);
        RoundRect(left * scale_, top * scale_, right * scale_, bottom * scale_, cornerWidth * scale_, cornerHeight * scale_);
        return;
    }
    const TRect r = NormalizeRect(TRect{left, top, right, bottom});
    const bool pen = Pen.Style != PS_NULL;
    const double shrink = pen ? 0 : scale_;
    const double rx = std::min(std::abs(cornerWidth) / 2.0, (r.Right - r.Left) / 2.0);
    const double ry = std::min(std::abs(cornerHeight) / 2.0, (r.Bottom - r.Top) / 2.0);
    DrawShape(TShape{double(r.Left), double(r.Top), r.Right - shrink, r.Bottom - shrink, rx, ry}, true, pen, nullptr,
              nullptr, 0);
}

void TCanvas::Arc(const TRect& box, const TPoint& start, const TPoint& end) {
    if (Scaled()) {
        const TDeviceScope scope(*this);
        Arc(Up(box), Up(start), Up(end));
        return;
    }
    const TRect r = NormalizeRect(box);
    DrawShape(TShape{double(r.Left), double(r.Top), double(r.Right), double(r.Bottom), (r.Right - r.Left) / 2.0,
                     (r.Bottom - r.Top) / 2.0},
              false, Pen.Style != PS_NULL, &start, &end, 1);
}

void TCanvas::Chord(const TRect& box, const TPoint& start, const TPoint& end) {
    if (Scaled()) {
        const TDeviceScope scope(*this);
        Chord(Up(box), Up(start), Up(end));
        return;
    }
    const TRect r = NormalizeRect(box);
    DrawShape(TShape{double(r.Left), double(r.Top), double(r.Right), double(r.Bottom), (r.Right - r.Left) / 2.0,
                     (r.Bottom - r.Top) / 2.0},
              true, Pen.Style != PS_NULL, &start, &end, 2);
}

void TCanvas::Pie(const TRect& box, const TPoint& start, const TPoint& end) {
    if (Scaled()) {
        const TDeviceScope scope(*this);
        Pie(Up(box), Up(start), Up(end));
        return;
    }
    const TRect r = NormalizeRect(box);
    DrawShape(TShape{double(r.Left), double(r.Top), double(r.Right), double(r.Bottom), (r.Right - r.Left) / 2.0,
                     (r.Bottom - r.Top) / 2.0},
              true, Pen.Style != PS_NULL, &start, &end, 3);
}

// ------------------------------------------------------------------ text

struct TCanvas::TSharedFace {
    std::unique_ptr<TPlatformFont> Face;
    // By em and character; entries stay, so references to them do too.
    std::map<std::pair<int32_t, char32_t>, TGlyphBitmap> Glyphs;
    std::map<int32_t, TFontMetrics> Metrics;
};

namespace {

// Glyphs kept for the whole process at most (beyond them a canvas keeps
// its own).
constexpr size_t kSharedGlyphs = 65536;

std::mutex& SharedFacesLock() {
    static std::mutex* lock = new std::mutex;  // lives to the end of the process
    return *lock;
}

size_t& SharedGlyphCount() {
    static size_t count = 0;
    return count;
}

}  // namespace

void TCanvas::EnsureFace() {
    if (face_ && faceFont_.Name == Font.Name && faceFont_.Bold == Font.Bold && faceFont_.Italic == Font.Italic) return;
    using TKey = std::tuple<std::string, bool, bool>;
    static auto* faces = new std::map<TKey, std::unique_ptr<TSharedFace>>;  // lives to the end of the process
    const TKey key{Font.Name, Font.Bold, Font.Italic};
    {
        std::lock_guard<std::mutex> guard(SharedFacesLock());
        if (const auto found = faces->find(key); found != faces->end()) shared_ = found->second.get();
        else shared_ = nullptr;
    }
    if (!shared_) {
        auto made = std::make_unique<TSharedFace>();
        made->Face = TPlatformFont::Open(Font.Name, Font.Bold, Font.Italic);
        std::lock_guard<std::mutex> guard(SharedFacesLock());
        // Another thread may have opened it meanwhile: the first one stays.
        shared_ = faces->emplace(key, std::move(made)).first->second.get();
    }
    face_ = shared_->Face.get();
    faceFont_ = Font;
    ownGlyphs_.clear();
}

TFontMetrics TCanvas::Metrics(int32_t em) {
    {
        std::lock_guard<std::mutex> guard(SharedFacesLock());
        if (const auto found = shared_->Metrics.find(em); found != shared_->Metrics.end()) return found->second;
    }
    const TFontMetrics metrics = face_->GetPixelMetrics(em);
    std::lock_guard<std::mutex> guard(SharedFacesLock());
    shared_->Metrics.emplace(em, metrics);
    return metrics;
}

const TPlatformFont& TCanvas::FontFace() {
    EnsureFace();
    return *face_;
}

int32_t TCanvas::FontEmPixels() {
    EnsureFace();
    if (Font.Height < 0) return -Font.Height;
    if (Font.Height > 0) return face_->EmForCellHeight(Font.Height);
    return 12;  // the system's default size
}

const TGlyphBitmap& TCanvas::Glyph(char32_t code, int32_t em) {
    const std::pair<int32_t, char32_t> key{em, code};
    {
        std::lock_guard<std::mutex> guard(SharedFacesLock());
        if (const auto found = shared_->Glyphs.find(key); found != shared_->Glyphs.end()) return found->second;
    }
    if (const auto found = ownGlyphs_.find(key); found != ownGlyphs_.end()) return found->second;
    TGlyphBitmap glyph;
    face_->RenderGlyph(code, em, glyph);
    std::lock_guard<std::mutex> guard(SharedFacesLock());
    if (SharedGlyphCount() >= kSharedGlyphs) return ownGlyphs_.emplace(key, std::move(glyph)).first->second;
    const auto placed = shared_->Glyphs.emplace(key, std::move(glyph));
    if (placed.second) ++SharedGlyphCount();
    return placed.first->second;
}

int32_t TCanvas::LayoutEm() {
    EnsureFace();
    const int32_t height = device_ ? layoutFontHeight_ : Font.Height;
    if (height < 0) return -height;
    if (height > 0) return face_->EmForCellHeight(height);
    return 12;
}

TSize TCanvas::TextExtent(const std::u16string& text) {
    if (scale_ > 1) {
        // The layout size's extent (in device pixels inside a scaled call).
        const int32_t em = LayoutEm();
        const TFontMetrics metrics = Metrics(em);
        TSize size{0, metrics.Ascent + metrics.Descent};
        for (char32_t c : WideToCodePoints(text)) size.cx += LayoutAdvance(c, em);
        if (device_) size = TSize{size.cx * scale_, size.cy * scale_};
        return size;
    }
    const int32_t em = FontEmPixels();
    const TFontMetrics metrics = Metrics(em);
    TSize size{0, metrics.Ascent + metrics.Descent};
    for (char32_t c : WideToCodePoints(text)) size.cx += Glyph(c, em).Advance;
    return size;
}

void TCanvas::TextOut(int32_t x, int32_t y, const std::u16string& text) {
    if (Scaled()) {
        const TDeviceScope scope(*this);
        TextOut(x * scale_, y * scale_, text);
        return;
    }
    const int32_t em = FontEmPixels();
    const TFontMetrics metrics = Metrics(em);
    const TSize extent = TextExtent(text);
    if (Brush.Style != BS_NULL) {
        const TCanvasBrush keep = Brush;
        Brush.Style = BS_SOLID;
        FillRect(TRect{x, y, x + extent.cx, y + extent.cy});
        Brush = keep;
    }
    const TColor color = ColorToRGB(static_cast<TColor>(Font.Color));
    const int32_t baseline = y + metrics.Ascent;
    const int32_t layoutEm = scale_ > 1 ? LayoutEm() : 0;
    int32_t penX = x;
    for (char32_t c : WideToCodePoints(text)) {
        const TGlyphBitmap& glyph = Glyph(c, em);
        for (int32_t row = 0; row < glyph.Rows; ++row) {
            const int32_t py = baseline - glyph.Top + row;
            if (py < clip_.Top || py >= clip_.Bottom) continue;
            const uint8_t* coverage = glyph.Coverage.data() + static_cast<size_t>(row) * static_cast<size_t>(glyph.Width);
            for (int32_t col = 0; col < glyph.Width; ++col)
                if (coverage[col]) BlendPixel(penX + glyph.Left + col, py, color, coverage[col]);
        }
        penX += scale_ > 1 ? LayoutAdvance(c, layoutEm) * scale_ : glyph.Advance;
    }
    if (Font.Underline || Font.StrikeOut) {
        const int32_t thickness = std::max(1, em / 14);
        const TCanvasBrush keep = Brush;
        Brush = TCanvasBrush{static_cast<uint32_t>(color), BS_SOLID, 0};
        if (Font.Underline) {
            const int32_t top = baseline + std::max(1, metrics.Descent / 3);
            FillRect(TRect{x, top, penX, top + thickness});
        }
        if (Font.StrikeOut) {
            const int32_t top = baseline - metrics.Ascent * 3 / 10 - thickness / 2;
            FillRect(TRect{x, top, penX, top + thickness});
        }
        Brush = keep;
    }
    PenPos = TPoint{penX, y};
}

void TCanvas::TextRect(const TRect& rect, int32_t x, int32_t y, const std::u16string& text) {
    const int saved = SaveDC();
    const TCanvasBrush keepBrush = Brush;
    if (Brush.Style != BS_NULL) {
        Brush.Style = BS_SOLID;
        FillRect(rect);
    }
    IntersectClipRect(rect);
    Brush.Style = BS_NULL;
    TextOut(x, y, text);
    RestoreDC(saved);
    Brush = keepBrush;
    PenPos = TPoint{x + TextExtent(text).cx, y};
}

// ------------------------------------------------------------------ blits

void TCanvas::CopyRect(const TRect& destination, const TBitmap& source, const TRect& sourceRect) {
    // Layout pixels on both sides: each bitmap's own ratio gives its pixels.
    const int32_t sourceScale = source.DevicePixelRatio();
    if (!device_ && (scale_ > 1 || sourceScale > 1)) {
        const TDeviceScope scope(*this);
        CopyRect(Up(destination), source,
                 TRect{sourceRect.Left * sourceScale, sourceRect.Top * sourceScale, sourceRect.Right * sourceScale,
                       sourceRect.Bottom * sourceScale});
        return;
    }
    const TRect d = NormalizeRect(destination), s = NormalizeRect(sourceRect);
    const int32_t dw = d.Right - d.Left, dh = d.Bottom - d.Top, sw = s.Right - s.Left, sh = s.Bottom - s.Top;
    if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0 || source.Empty()) return;
    const int32_t y1 = std::max(d.Top, clip_.Top), y2 = std::min(d.Bottom, clip_.Bottom);
    const int32_t x1 = std::max(d.Left, clip_.Left), x2 = std::min(d.Right, clip_.Right);
    if (x2 <= x1 || y2 <= y1) return;
    const bool same = dw == sw && dh == sh;
    const bool average = !same && StretchMode == HALFTONE && (sw > dw || sh > dh);
    // Straight row copies where nothing is mixed or converted.
    if (same && CopyMode == SRCCOPY && mask_.empty() && source.PixelFormat() == bitmap_.PixelFormat() &&
        (bitmap_.PixelFormat() == TPixelFormat::pf24bit || bitmap_.PixelFormat() == TPixelFormat::pf32bit) &&
        s.Left + (x1 - d.Left) >= 0 && s.Left + (x2 - d.Left) <= source.Width() && s.Top + (y1 - d.Top) >= 0 &&
        s.Top + (y2 - d.Top) <= source.Height() && &source != &bitmap_) {
        const size_t bytes = bitmap_.PixelFormat() == TPixelFormat::pf24bit ? 3 : 4;
        for (int32_t y = y1; y < y2; ++y)
            std::memcpy(bitmap_.ScanLine(y) + x1 * bytes, source.ScanLine(s.Top + y - d.Top) + (s.Left + x1 - d.Left) * bytes,
                        static_cast<size_t>(x2 - x1) * bytes);
        return;
    }
    // A copy onto itself reads from a snapshot.
    std::unique_ptr<TBitmap> snapshot;
    const TBitmap* from = &source;
    if (&source == &bitmap_) {
        snapshot = std::make_unique<TBitmap>(source);
        from = snapshot.get();
    }
    const TBitmap& src = *from;
    auto pixel = [&](int32_t sx, int32_t sy) -> uint32_t {
        if (sx < 0 || sy < 0 || sx >= src.Width() || sy >= src.Height()) return 0;
        return src.PixelColor(src.ScanLine(sy), sx);
    };
    for (int32_t y = y1; y < y2; ++y) {
        for (int32_t x = x1; x < x2; ++x) {
            uint32_t value;
            if (same) {
                value = pixel(s.Left + x - d.Left, s.Top + y - d.Top);
            } else if (average) {
                const int32_t ax = s.Left + static_cast<int32_t>(int64_t(x - d.Left) * sw / dw);
                const int32_t bx = std::max(ax + 1, s.Left + static_cast<int32_t>(int64_t(x - d.Left + 1) * sw / dw));
                const int32_t ay = s.Top + static_cast<int32_t>(int64_t(y - d.Top) * sh / dh);
                const int32_t by = std::max(ay + 1, s.Top + static_cast<int32_t>(int64_t(y - d.Top + 1) * sh / dh));
                uint32_t sum[3] = {0, 0, 0}, count = 0;
                for (int32_t sy = ay; sy < by; ++sy)
                    for (int32_t sx = ax; sx < bx; ++sx) {
                        const uint32_t c = pixel(sx, sy);
                        sum[0] += c & 255;
                        sum[1] += (c >> 8) & 255;
                        sum[2] += (c >> 16) & 255;
                        ++count;
                    }
                value = (sum[0] + count / 2) / count | ((sum[1] + count / 2) / count) << 8 | ((sum[2] + count / 2) / count) << 16;
            } else {
                value = pixel(s.Left + static_cast<int32_t>(int64_t(x - d.Left) * sw / dw),
                              s.Top + static_cast<int32_t>(int64_t(y - d.Top) * sh / dh));
            }
            Put(x, y, CopyMode == SRCCOPY ? value : RasterOp(Get(x, y), value, CopyMode), R2_COPYPEN);
        }
    }
}

void TCanvas::Draw(int32_t x, int32_t y, const TBitmap& source) {
    const int32_t w = source.LayoutWidth(), h = source.LayoutHeight();
    CopyRect(TRect{x, y, x + w, y + h}, source, TRect{0, 0, w, h});
}

void TCanvas::StretchDraw(const TRect& destination, const TBitmap& source) {
    CopyRect(destination, source, TRect{0, 0, source.LayoutWidth(), source.LayoutHeight()});
}

// ------------------------------------------------------------------ text in a rectangle

namespace {

// The text without its prefix marks ("&&" stays one '&'); marked gets the
// places of the characters a single '&' marks.
std::u16string StripPrefixes(const std::u16string& text, std::vector<size_t>* marked = nullptr) {
    std::u16string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && i + 1 < text.size()) {
            ++i;
            if (text[i] != u'&' && marked) marked->push_back(out.size());
        } else if (text[i] == u'&') {
            continue;
        }
        out += text[i];
    }
    return out;
}

}  // namespace

int32_t TCanvas::DrawText(const std::u16string& source, TRect& rect, uint32_t format) {
    std::vector<size_t> marked;
    std::u16string text = (format & DT_NOPREFIX) ? source : StripPrefixes(source, &marked);
    const std::u16string unbroken = text;
    if (format & DT_EXPANDTABS) {
        std::u16string expanded;
        for (char16_t c : text) {
            if (c == u'\t') expanded.append(8 - expanded.size() % 8, u' ');
            else expanded += c;
        }
        text = expanded;
    }
    const int32_t lineHeight = TextExtent(u"").cy;
    const int32_t width = rect.Right - rect.Left;
    auto widthOf = [&](const std::u16string& s) { return TextExtent(s).cx; };

    // Lines: paragraphs at line feeds, then word breaks inside the width.
    std::vector<std::u16string> lines;
    if (format & DT_SINGLELINE) {
        std::u16string line;
        for (char16_t c : text)
            if (c != u'\r' && c != u'\n') line += c;
        lines.push_back(line);
    } else {
        std::u16string paragraph;
        auto flush = [&](const std::u16string& para) {
            if (!(format & DT_WORDBREAK) || widthOf(para) <= width) {
                lines.push_back(para);
                return;
            }
            std::u16string line;
            size_t i = 0;
            while (i < para.size()) {
                size_t end = i;
                while (end < para.size() && para[end] != u' ') ++end;
                const std::u16string word = para.substr(i, end - i);
                std::u16string candidate = line.empty() ? word : line + u" " + word;
                if (widthOf(candidate) <= width || line.empty()) {
                    line = candidate;
                } else {
                    lines.push_back(line);
                    line = word;
                }
                // A word wider than the line breaks between characters in
                // the edit control's manner.
                while ((format & DT_EDITCONTROL) && line.size() > 1 && widthOf(line) > width) {
                    size_t fit = 1;
                    while (fit < line.size() && widthOf(line.substr(0, fit + 1)) <= width) ++fit;
                    lines.push_back(line.substr(0, fit));
                    line = line.substr(fit);
                }
                i = end;
                while (i < para.size() && para[i] == u' ') ++i;
            }
            lines.push_back(line);
        };
        for (char16_t c : text) {
            if (c == u'\r') continue;
            if (c == u'\n') {
                flush(paragraph);
                paragraph.clear();
            } else {
                paragraph += c;
            }
        }
        flush(paragraph);
    }
    if (format & (DT_END_ELLIPSIS | DT_PATH_ELLIPSIS)) {
        for (std::u16string& line : lines) {
            if (widthOf(line) <= width) continue;
            const size_t slash = line.find_last_of(u"/\\");
            if ((format & DT_PATH_ELLIPSIS) && slash != std::u16string::npos && slash > 0) {
                // The last part of a path stays; its folders give way.
                const std::u16string tail = line.substr(slash);
                std::u16string head = line.substr(0, slash);
                while (!head.empty() && widthOf(head + u"..." + tail) > width) head.pop_back();
                line = head + u"..." + tail;
            } else {
                std::u16string head = line;
                while (!head.empty() && widthOf(head + u"...") > width) head.pop_back();
                line = head + u"...";
            }
        }
    }
    int32_t textWidth = 0;
    for (const std::u16string& line : lines) textWidth = std::max(textWidth, widthOf(line));
    const int32_t textHeight = lineHeight * static_cast<int32_t>(lines.size());
    if (format & DT_CALCRECT) {
        rect.Right = rect.Left + textWidth;
        rect.Bottom = rect.Top + textHeight;
        return textHeight;
    }
    int32_t top = rect.Top;
    if (format & DT_SINGLELINE) {
        if (format & DT_BOTTOM) top = rect.Bottom - textHeight;
        else if (format & DT_VCENTER) top = (rect.Top + rect.Bottom - textHeight) / 2;
    }
    const int saved = SaveDC();
    if (!(format & DT_NOCLIP)) IntersectClipRect(rect);
    size_t searchFrom = 0;
    for (const std::u16string& line : lines) {
        const int32_t w = widthOf(line);
        int32_t x = rect.Left;
        if (format & DT_RIGHT) x = rect.Right - w;
        else if (format & DT_CENTER) x = (rect.Left + rect.Right - w) / 2;
        if (!line.empty()) TextOut(x, top, line);
        // A marked character (an accelerator) is underlined, where the line
        // is still the text as it came.
        const size_t at = marked.empty() || line.empty() ? std::u16string::npos : unbroken.find(line, searchFrom);
        if (at != std::u16string::npos) {
            searchFrom = at + line.size();
            for (size_t mark : marked) {
                if (mark < at || mark >= at + line.size()) continue;
                const bool underline = Font.Underline;
                Font.Underline = true;
                TextOut(x + widthOf(line.substr(0, mark - at)), top, line.substr(mark - at, 1));
                Font.Underline = underline;
            }
        }
        top += lineHeight;
    }
    RestoreDC(saved);
    return textHeight;
}

void TCanvas::DrawTextEmbossed(const std::u16string& text, const TRect& rect, uint32_t format) {
    const int saved = SaveDC();
    Brush.Style = BS_NULL;
    Font.Color = static_cast<uint32_t>(SysColor(COLOR_BTNHIGHLIGHT));
    TRect r{rect.Left + 1, rect.Top + 1, rect.Right + 1, rect.Bottom + 1};
    DrawText(text, r, format & ~DT_CALCRECT);
    Font.Color = static_cast<uint32_t>(SysColor(COLOR_BTNSHADOW));
    r = rect;
    DrawText(text, r, format & ~DT_CALCRECT);
    RestoreDC(saved);
}

void TCanvas::TileRect(const TRect& rect, const TBitmap& tile) {
    const TRect r = NormalizeRect(rect);
    const int32_t tw = tile.LayoutWidth(), th = tile.LayoutHeight();
    if (tw <= 0 || th <= 0 || r.Right <= r.Left || r.Bottom <= r.Top) return;
    auto floorTo = [](int32_t v, int32_t step) { return (v >= 0 ? v / step : (v - step + 1) / step) * step; };
    const uint32_t keepMode = CopyMode;
    CopyMode = SRCCOPY;
    for (int32_t ty = floorTo(r.Top, th); ty < r.Bottom; ty += th)
        for (int32_t tx = floorTo(r.Left, tw); tx < r.Right; tx += tw) {
            const TRect d{std::max(tx, r.Left), std::max(ty, r.Top), std::min(tx + tw, r.Right), std::min(ty + th, r.Bottom)};
            CopyRect(d, tile, TRect{d.Left - tx, d.Top - ty, d.Right - tx, d.Bottom - ty});
        }
    CopyMode = keepMode;
}
