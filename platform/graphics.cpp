#include "platform/graphics.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>

namespace {

constexpr double kPi = 3.14159265358979323846;

using TBuilder = std::function<void(cairo_t*)>;

struct TCairoDeleter {
    void operator()(cairo_t* cr) const { cairo_destroy(cr); }
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
    void operator()(cairo_pattern_t* p) const { cairo_pattern_destroy(p); }
};
template <typename T>
using TCairo = std::unique_ptr<T, TCairoDeleter>;

// The parametric angle of the ellipse point whose radial makes the given
// angle, kept in the same turn so that sweeps keep their length.
double Unstretch(double degrees, double width, double height) {
    const double a = degrees * kPi / 180;
    if (width <= 0 || height <= 0) return a;
    const double p = std::atan2(std::sin(a) / height, std::cos(a) / width);
    return p + 2 * kPi * std::round((a - p) / (2 * kPi));
}

void ArcPath(cairo_t* cr, double x, double y, double width, double height, double start, double sweep, bool join) {
    if (width <= 0 || height <= 0) return;
    double a1, a2;
    if (std::abs(sweep) >= 360) {
        a1 = start * kPi / 180;
        a2 = a1 + (sweep > 0 ? 2 * kPi : -2 * kPi);
    } else {
        a1 = Unstretch(start, width, height);
        a2 = Unstretch(start + sweep, width, height);
        if (sweep > 0 && a2 < a1) a2 += 2 * kPi;
        if (sweep < 0 && a2 > a1) a2 -= 2 * kPi;
    }
    cairo_save(cr);
    cairo_translate(cr, x + width / 2, y + height / 2);
    cairo_scale(cr, width / 2, height / 2);
    if (!join) cairo_new_sub_path(cr);
    if (a2 >= a1) cairo_arc(cr, 0, 0, 1, a1, a2);
    else cairo_arc_negative(cr, 0, 0, 1, a1, a2);
    cairo_restore(cr);
}

void PointsPath(cairo_t* cr, const std::vector<TPoint>& points, bool close) {
    for (size_t i = 0; i < points.size(); ++i) {
        if (i == 0) cairo_move_to(cr, points[i].X, points[i].Y);
        else cairo_line_to(cr, points[i].X, points[i].Y);
    }
    if (close && !points.empty()) cairo_close_path(cr);
}

double Channel(uint32_t argb, int shift) { return ((argb >> shift) & 255) / 255.0; }

void SetPen(cairo_t* cr, const TGraphicsPen& pen) {
    const double width = std::max(pen.Width, 0.0f);
    cairo_set_line_width(cr, width);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
    cairo_set_miter_limit(cr, 10);
    static const std::vector<double> kDashes[] = {{}, {3, 1}, {1, 1}, {3, 1, 1, 1}, {3, 1, 1, 1, 1, 1}};
    const auto& dashes = kDashes[std::clamp(pen.DashStyle, 0, 4)];
    std::vector<double> scaled;
    for (double d : dashes) scaled.push_back(d * std::max(width, 1.0));
    cairo_set_dash(cr, scaled.data(), static_cast<int>(scaled.size()), 0);
    cairo_set_source_rgba(cr, Channel(pen.Color, 16), Channel(pen.Color, 8), Channel(pen.Color, 0),
                          Channel(pen.Color, 24));
}

uint32_t Premultiplied(uint32_t argb) {
    const uint32_t a = argb >> 24;
    auto c = [&](int shift) { return ((((argb >> shift) & 255) * a + 127) / 255) << shift; };
    return a << 24 | c(16) | c(8) | c(0);
}

// Returns the pattern to keep alive while the brush is in use (hatches).
TCairo<cairo_pattern_t> SetBrush(cairo_t* cr, const TGraphicsBrush& brush) {
    if (brush.GradientMode >= 0) {
        // The fills' pixel rule: the rectangle's first column is at x - 0.5.
        const double x = brush.GradientX - 0.5, y = brush.GradientY - 0.5;
        const double w = brush.GradientWidth, h = brush.GradientHeight;
        double x1 = x, y1 = y, x2 = x + w, y2 = y;
        switch (brush.GradientMode) {
            case 1: x2 = x; y2 = y + h; break;
            case 2: y2 = y + h; break;
            case 3: x1 = x + w; x2 = x; y2 = y + h; break;
            default: break;
        }
        TCairo<cairo_pattern_t> pattern(cairo_pattern_create_linear(x1, y1, x2, y2));
        cairo_pattern_add_color_stop_rgba(pattern.get(), 0, Channel(brush.Color, 16), Channel(brush.Color, 8),
                                          Channel(brush.Color, 0), Channel(brush.Color, 24));
        cairo_pattern_add_color_stop_rgba(pattern.get(), 1, Channel(brush.Color2, 16), Channel(brush.Color2, 8),
                                          Channel(brush.Color2, 0), Channel(brush.Color2, 24));
        cairo_pattern_set_extend(pattern.get(), CAIRO_EXTEND_REPEAT);
        cairo_set_source(cr, pattern.get());
        return pattern;
    }
    if (brush.Hatch < 0) {
        cairo_set_source_rgba(cr, Channel(brush.Color, 16), Channel(brush.Color, 8), Channel(brush.Color, 0),
                              Channel(brush.Color, 24));
        return nullptr;
    }
    TCairo<cairo_surface_t> tile(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 8, 8));
    unsigned char* data = cairo_image_surface_get_data(tile.get());
    const int stride = cairo_image_surface_get_stride(tile.get());
    const uint8_t* bits = HatchPattern(brush.Hatch);
    const uint32_t fore = Premultiplied(brush.Color), back = Premultiplied(brush.BackColor);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            reinterpret_cast<uint32_t*>(data + y * stride)[x] = (bits[y] & (0x80 >> x)) ? fore : back;
    cairo_surface_mark_dirty(tile.get());
    TCairo<cairo_pattern_t> pattern(cairo_pattern_create_for_surface(tile.get()));
    cairo_pattern_set_extend(pattern.get(), CAIRO_EXTEND_REPEAT);
    cairo_pattern_set_filter(pattern.get(), CAIRO_FILTER_NEAREST);
    // The pattern repeats from the bitmap's origin, as the canvas's hatches do.
    cairo_matrix_t matrix;
    cairo_matrix_init_translate(&matrix, 0.5, 0.5);
    cairo_pattern_set_matrix(pattern.get(), &matrix);
    cairo_set_source(cr, pattern.get());
    return pattern;
}

// Composes premultiplied ARGB pixels over the canvas's pixels at (left,
// top), inside its clip region.
void Compose(TCanvas& canvas, cairo_surface_t* surface, int32_t left, int32_t top) {
    TBitmap& bitmap = canvas.Bitmap();
    cairo_surface_flush(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const int width = cairo_image_surface_get_width(surface), height = cairo_image_surface_get_height(surface);
    const TPixelFormat format = bitmap.PixelFormat();
    const bool direct = format == TPixelFormat::pf24bit || format == TPixelFormat::pf32bit;
    const size_t bytes = format == TPixelFormat::pf24bit ? 3 : 4;
    for (int y = 0; y < height; ++y) {
        const uint32_t* in = reinterpret_cast<const uint32_t*>(data + y * stride);
        uint8_t* row = bitmap.ScanLine(top + y);
        for (int x = 0; x < width; ++x) {
            const uint32_t s = in[x];
            const uint32_t a = s >> 24;
            if (a == 0 || !canvas.DevicePtVisible(left + x, top + y)) continue;
            const uint32_t keep = 255 - a;
            if (direct) {
                uint8_t* p = row + static_cast<size_t>(left + x) * bytes;
                for (int c = 0; c < 3; ++c)
                    p[c] = static_cast<uint8_t>(((s >> (8 * c)) & 255) + (p[c] * keep + 127) / 255);
            } else {
                const uint32_t d = bitmap.PixelColor(row, left + x);
                uint32_t out = 0;
                for (int c = 0; c < 3; ++c)
                    out |= (((s >> (8 * c)) & 255) + (((d >> (8 * c)) & 255) * keep + 127) / 255) << (8 * c);
                bitmap.SetPixelColor(row, left + x, out);
            }
        }
    }
}

// Draws one figure: the builder adds its path; a pen strokes it, else the
// brush fills it. The figure is drawn into a scratch surface covering its
// extent inside the clip and composed onto the canvas.
void Render(TCanvas& canvas, bool antialias, const TBuilder& build, const TGraphicsPen* pen,
            const TGraphicsBrush* brush, int32_t fillMode) {
    if (pen && (pen->Color >> 24) == 0) return;
    if (brush && (brush->Color >> 24) == 0 && (brush->Hatch < 0 || (brush->BackColor >> 24) == 0) &&
        (brush->GradientMode < 0 || (brush->Color2 >> 24) == 0))
        return;
    // The scratch surface and the clip are in the bitmap's own pixels (the
    // canvas's scale of them on a high-density surface).
    const TRect clip = canvas.DeviceClipRect();
    const double scale = canvas.Scale();
    if (clip.Right <= clip.Left || clip.Bottom <= clip.Top) return;
    // The figure's extent, measured on a context of no size.
    TCairo<cairo_surface_t> probeSurface(cairo_image_surface_create(CAIRO_FORMAT_A8, 1, 1));
    TCairo<cairo_t> probe(cairo_create(probeSurface.get()));
    cairo_translate(probe.get(), 0.5, 0.5);
    build(probe.get());
    double x1, y1, x2, y2;
    if (pen) {
        SetPen(probe.get(), *pen);
        cairo_stroke_extents(probe.get(), &x1, &y1, &x2, &y2);
    } else {
        cairo_fill_extents(probe.get(), &x1, &y1, &x2, &y2);
    }
    if (x2 <= x1 || y2 <= y1) return;
    const int32_t left = std::max(clip.Left, static_cast<int32_t>(std::floor((x1 + 0.5) * scale)) - 1);
    const int32_t top = std::max(clip.Top, static_cast<int32_t>(std::floor((y1 + 0.5) * scale)) - 1);
    const int32_t right = std::min(clip.Right, static_cast<int32_t>(std::ceil((x2 + 0.5) * scale)) + 1);
    const int32_t bottom = std::min(clip.Bottom, static_cast<int32_t>(std::ceil((y2 + 0.5) * scale)) + 1);
    if (right <= left || bottom <= top) return;

    TCairo<cairo_surface_t> surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, right - left, bottom - top));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return;
    TCairo<cairo_t> cr(cairo_create(surface.get()));
    // Whole-number coordinates are pixel centres.
    cairo_translate(cr.get(), -left, -top);
    cairo_scale(cr.get(), scale, scale);
    cairo_translate(cr.get(), 0.5, 0.5);
    cairo_set_antialias(cr.get(), antialias ? CAIRO_ANTIALIAS_GRAY : CAIRO_ANTIALIAS_NONE);
    build(cr.get());
    TCairo<cairo_pattern_t> keep;
    if (pen) {
        SetPen(cr.get(), *pen);
        cairo_stroke(cr.get());
    } else {
        keep = SetBrush(cr.get(), *brush);
        cairo_set_fill_rule(cr.get(), fillMode == kFillWinding ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
        cairo_fill(cr.get());
    }
    Compose(canvas, surface.get(), left, top);
}

}  // namespace

void TGraphicsPath::AddArc(double x, double y, double width, double height, double startAngle, double sweepAngle) {
    items_.push_back(TItem{TItem::Arc, x, y, width, height, startAngle, sweepAngle});
}

void TGraphicsPath::AddLine(double x1, double y1, double x2, double y2) {
    items_.push_back(TItem{TItem::Line, x1, y1, x2, y2, 0, 0});
}

void TGraphicsPath::CloseFigure() { items_.push_back(TItem{TItem::Close, 0, 0, 0, 0, 0, 0}); }

void TGraphics::DrawLine(const TGraphicsPen& pen, double x1, double y1, double x2, double y2) {
    Render(canvas_, antialias_, [&](cairo_t* cr) {
        cairo_move_to(cr, x1, y1);
        cairo_line_to(cr, x2, y2);
    }, &pen, nullptr, 0);
}

void TGraphics::DrawLines(const TGraphicsPen& pen, const std::vector<TPoint>& points) {
    if (points.size() < 2) return;
    Render(canvas_, antialias_, [&](cairo_t* cr) { PointsPath(cr, points, false); }, &pen, nullptr, 0);
}

void TGraphics::DrawRectangle(const TGraphicsPen& pen, double x, double y, double width, double height) {
    Render(canvas_, antialias_, [&](cairo_t* cr) { cairo_rectangle(cr, x, y, width, height); }, &pen, nullptr, 0);
}

void TGraphics::FillRectangle(const TGraphicsBrush& brush, double x, double y, double width, double height) {
    if (width <= 0 || height <= 0) return;
    Render(canvas_, antialias_, [&](cairo_t* cr) { cairo_rectangle(cr, x - 0.5, y - 0.5, width, height); }, nullptr,
           &brush, kFillAlternate);
}

void TGraphics::DrawEllipse(const TGraphicsPen& pen, double x, double y, double width, double height) {
    Render(canvas_, antialias_, [&](cairo_t* cr) {
        ArcPath(cr, x, y, width, height, 0, 360, false);
        cairo_close_path(cr);
    }, &pen, nullptr, 0);
}

void TGraphics::FillEllipse(const TGraphicsBrush& brush, double x, double y, double width, double height) {
    // Fills cover the same area as outlines of the same box, half a pixel out.
    Render(canvas_, antialias_, [&](cairo_t* cr) { ArcPath(cr, x - 0.5, y - 0.5, width, height, 0, 360, false); },
           nullptr, &brush, kFillAlternate);
}

void TGraphics::DrawPolygon(const TGraphicsPen& pen, const std::vector<TPoint>& points) {
    if (points.size() < 2) return;
    Render(canvas_, antialias_, [&](cairo_t* cr) { PointsPath(cr, points, true); }, &pen, nullptr, 0);
}

void TGraphics::FillPolygon(const TGraphicsBrush& brush, const std::vector<TPoint>& points, int32_t fillMode) {
    if (points.size() < 3) return;
    Render(canvas_, antialias_, [&](cairo_t* cr) {
        cairo_translate(cr, -0.5, -0.5);
        PointsPath(cr, points, true);
    }, nullptr, &brush, fillMode);
}

void TGraphics::DrawArc(const TGraphicsPen& pen, double x, double y, double width, double height, double startAngle,
                        double sweepAngle) {
    Render(canvas_, antialias_, [&](cairo_t* cr) { ArcPath(cr, x, y, width, height, startAngle, sweepAngle, false); },
           &pen, nullptr, 0);
}

namespace {

void PathOf(cairo_t* cr, const TGraphicsPath& path) {
    bool open = false;
    for (const TGraphicsPath::TItem& item : path.Items()) {
        switch (item.Type) {
            case TGraphicsPath::TItem::Line:
                if (open) cairo_line_to(cr, item.A, item.B);
                else cairo_move_to(cr, item.A, item.B);
                cairo_line_to(cr, item.C, item.D);
                open = true;
                break;
            case TGraphicsPath::TItem::Arc:
                ArcPath(cr, item.A, item.B, item.C, item.D, item.E, item.F, open);
                open = true;
                break;
            case TGraphicsPath::TItem::Close:
                cairo_close_path(cr);
                open = false;
                break;
        }
    }
}

}  // namespace

void TGraphics::DrawPath(const TGraphicsPen& pen, const TGraphicsPath& path) {
    Render(canvas_, antialias_, [&](cairo_t* cr) { PathOf(cr, path); }, &pen, nullptr, 0);
}

void TGraphics::FillPath(const TGraphicsBrush& brush, const TGraphicsPath& path) {
    Render(canvas_, antialias_, [&](cairo_t* cr) {
        cairo_translate(cr, -0.5, -0.5);
        PathOf(cr, path);
    }, nullptr, &brush, path.FillMode());
}

void TGraphics::DrawImage(const uint32_t* pixels, int32_t width, int32_t height, double sx, double sy, double sw,
                          double sh, double dx, double dy, double dw, double dh) {
    if (!pixels || width <= 0 || height <= 0 || sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return;
    // The destination in the bitmap's own pixels.
    const TRect clip = canvas_.DeviceClipRect();
    const double scale = canvas_.Scale();
    dx *= scale;
    dy *= scale;
    dw *= scale;
    dh *= scale;
    const int32_t left = std::max(clip.Left, static_cast<int32_t>(std::floor(dx)));
    const int32_t top = std::max(clip.Top, static_cast<int32_t>(std::floor(dy)));
    const int32_t right = std::min(clip.Right, static_cast<int32_t>(std::ceil(dx + dw)));
    const int32_t bottom = std::min(clip.Bottom, static_cast<int32_t>(std::ceil(dy + dh)));
    if (right <= left || bottom <= top) return;
    TCairo<cairo_surface_t> image(cairo_image_surface_create_for_data(
        reinterpret_cast<unsigned char*>(const_cast<uint32_t*>(pixels)), CAIRO_FORMAT_ARGB32, width, height, width * 4));
    TCairo<cairo_surface_t> surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, right - left, bottom - top));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS || cairo_surface_status(image.get()) != CAIRO_STATUS_SUCCESS)
        return;
    TCairo<cairo_t> cr(cairo_create(surface.get()));
    cairo_translate(cr.get(), dx - left, dy - top);
    cairo_scale(cr.get(), dw / sw, dh / sh);
    cairo_translate(cr.get(), -sx, -sy);
    cairo_rectangle(cr.get(), sx, sy, sw, sh);
    cairo_clip(cr.get());
    cairo_set_source_surface(cr.get(), image.get(), 0, 0);
    cairo_pattern_set_extend(cairo_get_source(cr.get()), CAIRO_EXTEND_PAD);
    cairo_pattern_set_filter(cairo_get_source(cr.get()), antialias_ ? CAIRO_FILTER_BILINEAR : CAIRO_FILTER_NEAREST);
    cairo_paint(cr.get());
    Compose(canvas_, surface.get(), left, top);
}
