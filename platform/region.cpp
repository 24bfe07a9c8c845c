#include "platform/region.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <new>

namespace {

cairo_region_t* Checked(cairo_region_t* region) {
    if (cairo_region_status(region) != CAIRO_STATUS_SUCCESS) {
        cairo_region_destroy(region);
        throw std::bad_alloc();
    }
    return region;
}

cairo_rectangle_int_t CairoRect(const TRect& rect) {
    const TRect r = NormalizeRect(rect);
    return cairo_rectangle_int_t{r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top};
}

// The pixels of box whose centres the outline holds, sampled without
// smoothing by cairo and gathered row by row into runs.
cairo_region_t* Rasterise(const TRect& box, cairo_fill_rule_t rule, const std::function<void(cairo_t*)>& outline) {
    cairo_region_t* region = Checked(cairo_region_create());
    const int32_t width = box.Right - box.Left, height = box.Bottom - box.Top;
    if (width <= 0 || height <= 0) return region;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A8, width, height);
    cairo_t* cr = cairo_create(surface);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    cairo_set_fill_rule(cr, rule);
    cairo_translate(cr, -box.Left, -box.Top);
    outline(cr);
    cairo_fill(cr);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    if (data) {
        for (int32_t y = 0; y < height; ++y) {
            const unsigned char* row = data + static_cast<size_t>(y) * static_cast<size_t>(stride);
            for (int32_t x = 0; x < width;) {
                if (row[x] < 128) {
                    ++x;
                    continue;
                }
                int32_t end = x;
                while (end < width && row[end] >= 128) ++end;
                const cairo_rectangle_int_t run{box.Left + x, box.Top + y, end - x, 1};
                cairo_region_union_rectangle(region, &run);
                x = end;
            }
        }
    }
    cairo_surface_destroy(surface);
    return region;
}

void EllipsePath(cairo_t* cr, double left, double top, double right, double bottom) {
    const double rx = (right - left) / 2, ry = (bottom - top) / 2;
    if (rx <= 0 || ry <= 0) return;
    cairo_save(cr);
    cairo_translate(cr, left + rx, top + ry);
    cairo_scale(cr, rx, ry);
    cairo_arc(cr, 0, 0, 1, 0, 2 * 3.14159265358979323846);
    cairo_restore(cr);
}

}  // namespace

TRegion::TRegion() : region_(Checked(cairo_region_create())) {}

TRegion::TRegion(const TRect& rect) {
    const cairo_rectangle_int_t r = CairoRect(rect);
    region_ = Checked(r.width > 0 && r.height > 0 ? cairo_region_create_rectangle(&r) : cairo_region_create());
}

TRegion::TRegion(const TRegion& other) : region_(Checked(cairo_region_copy(other.region_))) {}

TRegion::TRegion(TRegion&& other) noexcept : region_(other.region_) { other.region_ = nullptr; }

TRegion& TRegion::operator=(const TRegion& other) {
    if (this != &other) {
        cairo_region_t* copy = Checked(cairo_region_copy(other.region_));
        if (region_) cairo_region_destroy(region_);
        region_ = copy;
    }
    return *this;
}

TRegion& TRegion::operator=(TRegion&& other) noexcept {
    std::swap(region_, other.region_);
    return *this;
}

TRegion::~TRegion() {
    if (region_) cairo_region_destroy(region_);
}

TRegion TRegion::Ellipse(const TRect& box) {
    const TRect b = NormalizeRect(box);
    return TRegion(Rasterise(b, CAIRO_FILL_RULE_WINDING, [&](cairo_t* cr) {
        EllipsePath(cr, b.Left, b.Top, b.Right, b.Bottom);
    }));
}

TRegion TRegion::RoundRect(const TRect& box, int32_t cornerWidth, int32_t cornerHeight) {
    const TRect b = NormalizeRect(box);
    const double rx = std::clamp(std::abs(cornerWidth) / 2.0, 0.0, (b.Right - b.Left) / 2.0);
    const double ry = std::clamp(std::abs(cornerHeight) / 2.0, 0.0, (b.Bottom - b.Top) / 2.0);
    if (rx <= 0 || ry <= 0) return TRegion(b);
    return TRegion(Rasterise(b, CAIRO_FILL_RULE_WINDING, [&](cairo_t* cr) {
        const double pi = 3.14159265358979323846;
        auto corner = [&](double cx, double cy, double from) {
            cairo_save(cr);
            cairo_translate(cr, cx, cy);
            cairo_scale(cr, rx, ry);
            cairo_arc(cr, 0, 0, 1, from, from + pi / 2);
            cairo_restore(cr);
        };
        corner(b.Right - rx, b.Top + ry, -pi / 2);
        corner(b.Right - rx, b.Bottom - ry, 0);
        corner(b.Left + rx, b.Bottom - ry, pi / 2);
        corner(b.Left + rx, b.Top + ry, pi);
        cairo_close_path(cr);
    }));
}

TRegion TRegion::Polygon(const std::vector<TPoint>& points, int32_t fillMode) {
    if (points.size() < 3) return TRegion();
    TRect box{points[0].X, points[0].Y, points[0].X, points[0].Y};
    for (const TPoint& p : points) {
        box.Left = std::min(box.Left, p.X);
        box.Top = std::min(box.Top, p.Y);
        box.Right = std::max(box.Right, p.X);
        box.Bottom = std::max(box.Bottom, p.Y);
    }
    return TRegion(Rasterise(box, fillMode == 2 ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD,
                             [&](cairo_t* cr) {
                                 for (size_t i = 0; i < points.size(); ++i) {
                                     if (i == 0) cairo_move_to(cr, points[i].X, points[i].Y);
                                     else cairo_line_to(cr, points[i].X, points[i].Y);
                                 }
                                 cairo_close_path(cr);
                             }));
}

void TRegion::Combine(const TRegion& other, int32_t operation) {
    cairo_status_t status = CAIRO_STATUS_SUCCESS;
    switch (operation) {
        case RGN_AND: status = cairo_region_intersect(region_, other.region_); break;
        case RGN_OR: status = cairo_region_union(region_, other.region_); break;
        case RGN_XOR: status = cairo_region_xor(region_, other.region_); break;
        case RGN_DIFF: status = cairo_region_subtract(region_, other.region_); break;
        case RGN_COPY: *this = other; break;
        default: break;
    }
    if (status != CAIRO_STATUS_SUCCESS) throw std::bad_alloc();
}

void TRegion::Offset(int32_t dx, int32_t dy) { cairo_region_translate(region_, dx, dy); }

bool TRegion::Empty() const { return cairo_region_is_empty(region_); }

bool TRegion::Contains(int32_t x, int32_t y) const { return cairo_region_contains_point(region_, x, y); }

TRect TRegion::Bounds() const {
    if (Empty()) return TRect{};
    cairo_rectangle_int_t r;
    cairo_region_get_extents(region_, &r);
    return TRect{r.x, r.y, r.x + r.width, r.y + r.height};
}

std::vector<TRect> TRegion::Rects() const {
    std::vector<TRect> rects;
    const int count = cairo_region_num_rectangles(region_);
    for (int i = 0; i < count; ++i) {
        cairo_rectangle_int_t r;
        cairo_region_get_rectangle(region_, i, &r);
        rects.push_back(TRect{r.x, r.y, r.x + r.width, r.y + r.height});
    }
    return rects;
}

bool TRegion::operator==(const TRegion& other) const { return cairo_region_equal(region_, other.region_); }
