// The painters of the extra transition effects and their table.
#include "imaging/extra/ie_xtra_transitions.h"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <cmath>
#include <numbers>
#include <vector>

#include "platform/mathutil.h"
#include "platform/random.h"

int32_t MulDiv(int32_t a, int32_t b, int32_t c) {
    if (c == 0) return -1;
    const int64_t product = static_cast<int64_t>(a) * b;
    const int64_t half = std::abs(static_cast<int64_t>(c)) / 2;
    const bool negative = (product < 0) != (c < 0);
    const int64_t magnitude = (std::abs(product) + half) / std::abs(static_cast<int64_t>(c));
    return static_cast<int32_t>(negative ? -magnitude : magnitude);
}

TTransitionExtents TransitionExtents(const TRect& rect, int32_t stepValue, int32_t percent) {
    TTransitionExtents e;
    e.W = rect.Right - rect.Left;
    e.H = rect.Bottom - rect.Top;
    if (e.W >= e.H) {
        e.X = MulDiv(e.W, percent, 100);
        e.Y = MulDiv(e.X, e.H, e.W);
    } else {
        e.Y = MulDiv(e.H, percent, 100);
        e.X = MulDiv(e.Y, e.W, e.H);
    }
    e.U = std::max(MulDiv(std::max(e.W, e.H), stepValue, 90), 1);
    return e;
}

void StretchMirrored(TCanvas& canvas, const TRect& destination, const TBitmap& bitmap, bool flipVertically,
                     bool flipHorizontally, const TRect& source) {
    const TRect s{std::max(source.Left, 0), std::max(source.Top, 0), std::min(source.Right, bitmap.Width()),
                  std::min(source.Bottom, bitmap.Height())};
    const int32_t dw = destination.Right - destination.Left, dh = destination.Bottom - destination.Top;
    if (s.Right <= s.Left || s.Bottom <= s.Top || dw <= 0 || dh <= 0) return;
    // Stretched into a piece of the destination's size, turned over there,
    // then copied in place.
    TBitmap piece;
    piece.SetPixelFormat(TPixelFormat::pf24bit);
    piece.SetSize(dw, dh);
    {
        TCanvas on(piece);
        on.StretchMode = HALFTONE;
        on.CopyRect({0, 0, dw, dh}, bitmap, s);
    }
    if (flipHorizontally)
        for (int32_t y = 0; y < dh; ++y) {
            uint8_t* row = piece.ScanLine(y);
            for (int32_t a = 0, b = dw - 1; a < b; ++a, --b) std::swap_ranges(row + 3 * a, row + 3 * a + 3, row + 3 * b);
        }
    if (flipVertically)
        for (int32_t a = 0, b = dh - 1; a < b; ++a, --b)
            std::swap_ranges(piece.ScanLine(a), piece.ScanLine(a) + 3 * dw, piece.ScanLine(b));
    canvas.StretchMode = HALFTONE;
    canvas.CopyRect(destination, piece, {0, 0, dw, dh});
}

namespace {

int32_t Round32(double v) { return static_cast<int32_t>(RoundHalfEven(v)); }

// R(c): a fresh draw in 0 .. c - 1, 0 when c is 0.
int32_t R(int32_t c) { return c > 0 ? static_cast<int32_t>(DefaultRandom().Next(static_cast<uint32_t>(c))) : 0; }

// A copy of the target's rectangle s onto the frame's rectangle d; nothing
// when either is empty.
void Copy(TCanvas& canvas, const TRect& d, const TBitmap& target, const TRect& s) {
    if (d.Right <= d.Left || d.Bottom <= d.Top || s.Right <= s.Left || s.Bottom <= s.Top) return;
    canvas.CopyRect(d, target, s);
}
void Same(TCanvas& canvas, const TBitmap& target, const TRect& r) { Copy(canvas, r, target, r); }

// The union of many rectangles, merged pairwise so that the work stays
// close to linear in their number.
TRegion Union(std::vector<TRegion> parts) {
    if (parts.empty()) return TRegion();
    while (parts.size() > 1) {
        std::vector<TRegion> next;
        next.reserve(parts.size() / 2 + 1);
        for (size_t i = 0; i + 1 < parts.size(); i += 2) {
            parts[i].Combine(parts[i + 1], RGN_OR);
            next.push_back(std::move(parts[i]));
        }
        if (parts.size() % 2) next.push_back(std::move(parts.back()));
        parts = std::move(next);
    }
    return std::move(parts.front());
}
TRegion Union(const std::vector<TRect>& rects) {
    std::vector<TRegion> parts;
    parts.reserve(rects.size());
    for (const TRect& r : rects)
        if (r.Right > r.Left && r.Bottom > r.Top) parts.emplace_back(r);
    return Union(std::move(parts));
}

// The target drawn through the region; the canvas is left without clip.
void Reveal(TCanvas& canvas, const TBitmap& target, const TRegion& region) {
    canvas.SelectClipRegion(&region);
    canvas.Draw(0, 0, target);
    canvas.SelectClipRegion(nullptr);
}

#define PAINTER [](TCanvas & c, const TBitmap&, const TBitmap& t, const TRect& rect, int32_t sv, int32_t p)
#define EXTENTS                                          \
    const TTransitionExtents e = TransitionExtents(rect, sv, p); \
    const int32_t x = e.X, y = e.Y, W = e.W, H = e.H, u = e.U; \
    (void)x, (void)y, (void)W, (void)H, (void)u

// ---------------------------------------------------------------- rectangle copies

TRect Full(const TTransitionExtents& e) { return {0, 0, e.W, e.H}; }

void Unroll(TCanvas& c, const TBitmap& t, const TTransitionExtents& e, bool vertical, bool fromFar) {
    const int32_t size = vertical ? e.H : e.W, along = vertical ? e.Y : e.X;
    if (!fromFar) {
        const int32_t r = along < size / 5 ? along + along / 2 : (size < along + size / 5 ? along + (size - along) / 2 : along + size / 10);
        if (vertical) {
            StretchMirrored(c, {0, along, e.W, r}, t, true, false, {0, r, e.W, 2 * r - along});
            Same(c, t, {0, 0, e.W, along});
        } else {
            StretchMirrored(c, {along, 0, r, e.H}, t, false, true, {r, 0, 2 * r - along, e.H});
            Same(c, t, {0, 0, along, e.H});
        }
    } else {
        const int32_t end = size - along;
        const int32_t l = along < size / 5 ? end - along / 2 : (end < size / 5 ? end - end / 2 : end - size / 10);
        if (vertical) {
            StretchMirrored(c, {0, l, e.W, end}, t, true, false, {0, 2 * l - end, e.W, l});
            Same(c, t, {0, e.H - along, e.W, e.H});
        } else {
            StretchMirrored(c, {l, 0, end, e.H}, t, false, true, {2 * l - end, 0, l, e.H});
            Same(c, t, {e.W - along, 0, e.W, e.H});
        }
    }
}

// ---------------------------------------------------------------- clip regions

TRegion Crisscross(const TTransitionExtents& e, bool doubled, int32_t columns, int32_t rows, int32_t snap) {
    const int32_t a = doubled ? 2 * e.X : e.X, b = doubled ? 2 * e.Y : e.Y;
    return BarsRegion(a, b, e.W, columns, rows, snap, e.H);
}

TRegion Blinds(const TTransitionExtents& e, int32_t p, int32_t pitch, bool vertical, bool fromFar) {
    const int32_t q = std::max(pitch, 1);
    const int32_t s = p * q / 100;
    std::vector<TRect> rects;
    if (!vertical) {
        if (!fromFar)
            for (int32_t k = 0; k * q < e.W; ++k) rects.push_back({k * q, 0, k * q + s, e.H});
        else
            for (int32_t k = 0; e.W - k * q >= 0; ++k) rects.push_back({e.W - s - k * q, 0, e.W - k * q, e.H});
    } else {
        if (!fromFar)
            for (int32_t k = 0; k * q < e.H; ++k) rects.push_back({0, k * q, e.W, k * q + s});
        else
            for (int32_t k = 0; e.H - k * q >= 0; ++k) rects.push_back({0, e.H - s - k * q, e.W, e.H - k * q});
    }
    return Union(rects);
}

TRegion Bands(const TTransitionExtents& e, int32_t p, bool vertical) {
    std::vector<TRect> rects;
    if (!vertical) {
        const int32_t q = std::max(e.H / e.U, 1);
        for (int32_t k = 0; q / 2 - p * q / 200 + k * q < e.H; ++k)
            rects.push_back({0, q / 2 - p * q / 200 + k * q, e.W, q / 2 + p * q / 200 + k * q});
    } else {
        const int32_t q = std::max(e.W / e.U, 1);
        for (int32_t k = 0; q / 2 - p * q / 200 + k * q < e.W; ++k)
            rects.push_back({q / 2 - p * q / 200 + k * q, 0, q / 2 + p * q / 200 + k * q, e.H});
    }
    return Union(rects);
}

// Centred bands across one axis united with uneven blinds along the other.
TRegion Rectangles(const TTransitionExtents& e, int32_t p, bool vertical, bool fromFar) {
    TRegion region = Bands(e, p, vertical);
    region.Combine(Blinds(e, p, std::max(1, vertical ? e.Y : e.X), vertical, fromFar), RGN_OR);
    return region;
}

TRegion ShredGrid(const TTransitionExtents& e, bool triangles) {
    const int32_t n = e.U > 1 ? e.U / 2 : e.U;
    const int32_t w = e.W / n, h = e.H / n;
    std::vector<TRegion> parts;
    for (int32_t row = 0; row <= n; ++row)
        for (int32_t col = 0; col <= n; ++col) {
            const int32_t gx = col * w, gy = row * h;
            if (!triangles) {
                const TRect r{gx - e.X / e.U, gy - e.Y / e.U, gx + e.X / e.U, gy + e.Y / e.U};
                if (r.Right > r.Left && r.Bottom > r.Top) parts.emplace_back(r);
            } else {
                parts.push_back(TriangleRegion({gx - e.X / n, gy - e.Y / n}, {gx + e.X / n, gy - e.Y / n},
                                               {gx - e.X / n, gy + e.Y / n}));
            }
        }
    return Union(std::move(parts));
}

TRegion Sweep(const TTransitionExtents& e, int32_t p, bool clockwise) {
    const int32_t hw = e.W / 2, hh = e.H / 2;
    const int32_t radius = static_cast<int32_t>(std::ceil(std::sqrt(static_cast<double>(hw) * hw + static_cast<double>(hh) * hh)));
    const double start = -std::numbers::pi / 2;
    const double end = (clockwise ? p : -p) * std::numbers::pi / 50 - std::numbers::pi / 2;
    return FanRegion({hw, hh}, radius, p, end, start);
}

TRegion Turned(const TTransitionExtents& e, int32_t p, bool star) {
    const int32_t cx = e.W / 2, cy = e.H / 2, x = e.X, y = e.Y;
    std::vector<TPoint> points;
    if (!star)
        points = {{cx - x / 2, cy - y / 2}, {cx + x / 2, cy - y / 2}, {cx + x / 2, cy + y / 2}, {cx - x / 2, cy + y / 2}};
    else
        points = {{cx - 2 * x, cy},         {cx - x / 2, cy - y / 2}, {cx, cy - 2 * y}, {cx + x / 2, cy - y / 2},
                  {cx + 2 * x, cy},         {cx + x / 2, cy + y / 2}, {cx, cy + 2 * y}, {cx - x / 2, cy + y / 2}};
    RotatePoints(points.data(), static_cast<int32_t>(points.size()), {cx, cy}, p * std::numbers::pi / 50);
    return TRegion::Polygon(points, WINDING);
}

TRegion Triangles(std::initializer_list<std::array<TPoint, 3>> list) {
    std::vector<TRegion> parts;
    for (const auto& tri : list) parts.push_back(TriangleRegion(tri[0], tri[1], tri[2]));
    return Union(std::move(parts));
}

}  // namespace

// ---------------------------------------------------------------- shared regions

TRegion BarsRegion(int32_t a, int32_t b, int32_t W, int32_t columnKind, int32_t rowKind, int32_t snap, int32_t H) {
    std::vector<TRect> rects;
    if (rowKind >= 1 && rowKind <= 5) {
        const bool second = a > W;
        for (int32_t i = second ? 5 : 0; i < H + 5; i += 10) {
            if (second) {
                rects.push_back({0, i - 5, W, i});
                if (rowKind == 1 || rowKind == 4) rects.push_back({2 * W - a, i, W, i + 5});
                if (rowKind == 2 || rowKind == 5) rects.push_back({0, i, a - W, i + 5});
            } else {
                if (W < snap + a) a = W;
                if (rowKind == 1 || rowKind == 5) rects.push_back({W - a, i, W, i + 5});
                if (rowKind == 2 || rowKind == 4) rects.push_back({0, i, a, i + 5});
                if (rowKind == 3) {
                    rects.push_back({0, i + 5, a, i + 10});
                    rects.push_back({W - a, i, W, i + 5});
                }
            }
        }
    }
    if (columnKind >= 1 && columnKind <= 5) {
        const bool second = b > H;
        for (int32_t j = second ? 5 : 0; j < W + 5; j += 10) {
            if (second) {
                rects.push_back({j - 5, 0, j, H});
                if (columnKind == 1 || columnKind == 4) rects.push_back({j, 2 * H - b, j + 5, H});
                if (columnKind == 2 || columnKind == 5) rects.push_back({j, 0, j + 5, b - H});
            } else {
                if (H < snap + b) b = H;
                if (columnKind == 1 || columnKind == 5) rects.push_back({j, H - b, j + 5, H});
                if (columnKind == 2 || columnKind == 4) rects.push_back({j, 0, j + 5, b});
                if (columnKind == 3) {
                    rects.push_back({j, H - b, j + 5, H});
                    rects.push_back({j + 5, 0, j + 10, b});
                }
            }
        }
    }
    return Union(rects);
}

TRegion ShredRegion(int32_t x, int32_t y, int32_t W, int32_t columnKind, int32_t rowKind, int32_t H) {
    std::vector<TRect> rects;
    if (rowKind >= 1 && rowKind <= 4) {
        const int32_t c = x < W ? W / 7 : 0;
        for (int32_t o = 0; o < H; o += 5) {
            const int32_t e = o + H % 5 + 5;
            switch (rowKind) {
                case 1: rects.push_back({W - x + R(c) - R(c), o, W, e}); break;
                case 2: rects.push_back({0, o, x + R(c) - R(c), e}); break;
                case 3:
                    rects.push_back({(W - x + R(c) - R(c)) / 2, o, W / 2, e});
                    rects.push_back({W / 2, o, (W + x + R(c) - R(c)) / 2, e});
                    break;
                default:
                    rects.push_back({W - (x + R(c) - R(c)) / 2, o, W, e});
                    rects.push_back({0, o, (x + R(c) - R(c)) / 2, e});
                    break;
            }
        }
    }
    if (columnKind >= 1 && columnKind <= 4) {
        const int32_t c = y < H ? H / 7 : 0;
        for (int32_t o = 0; o < W; o += 5) {
            const int32_t e = o + W % 5 + 5;
            switch (columnKind) {
                case 1: rects.push_back({o, H - y + R(c) - R(c), e, H}); break;
                case 2: rects.push_back({o, 0, e, y + R(c) - R(c)}); break;
                case 3:
                    rects.push_back({o, (H - y + R(c) - R(c)) / 2, e, H / 2});
                    rects.push_back({o, H / 2, e, (H + y + R(c) - R(c)) / 2});
                    break;
                default:
                    rects.push_back({o, H - (y + R(c) - R(c)) / 2, e, H});
                    rects.push_back({o, 0, e, (y + R(c) - R(c)) / 2});
                    break;
            }
        }
    }
    return Union(rects);
}

TRegion SpeckleRegion(int32_t x, int32_t y, int32_t W, int32_t columnKind, int32_t rowKind, int32_t H) {
    std::vector<TRect> rects;
    if (rowKind == 1 || rowKind == 2) {
        const int32_t zone = x < W ? W / 10 : 0;
        const int32_t f = std::max(2, zone / 20), n = zone / f;
        for (int32_t s = 0; s < H; s += f / 2) {
            rects.push_back(rowKind == 1 ? TRect{W - x, s, W, s + f} : TRect{0, s, x, s + f});
            for (int32_t i = n; i >= 1; --i) {
                const int32_t v = i <= (3 * zone / f) / 4 ? 1 : 0;
                if (v >= R(i))
                    rects.push_back(rowKind == 1 ? TRect{W - x - f * i, s, W - x - f * i + f, s + f}
                                                 : TRect{x + f * i - f, s, x + f * i, s + f});
            }
        }
    }
    if (columnKind == 1 || columnKind == 2) {
        const int32_t zone = y < H ? H / 10 : 0;
        const int32_t f = std::max(2, zone / 20), n = zone / f;
        for (int32_t s = 0; s < W; s += f / 2) {
            rects.push_back(columnKind == 1 ? TRect{s, H - y, s + f, H} : TRect{s, 0, s + f, y});
            for (int32_t i = n; i >= 1; --i) {
                const int32_t v = i <= (3 * zone / f) / 4 ? 1 : 0;
                if (v >= R(i))
                    rects.push_back(columnKind == 1 ? TRect{s, H - y - f * i, s + f, H - y - f * i + f}
                                                    : TRect{s, y + f * i - f, s + f, y + f * i});
            }
        }
    }
    return Union(rects);
}

TRegion TriangleRegion(const TPoint& p1, const TPoint& p2, const TPoint& p3) {
    return TRegion::Polygon({p1, p2, p3}, WINDING);
}

TRegion FanRegion(const TPoint& centre, int32_t radius, int32_t count, double endAngle, double startAngle) {
    std::vector<TPoint> points{centre};
    for (int32_t k = 0; k < count; ++k) {
        const double angle = startAngle + k * (endAngle - startAngle) / count;
        points.push_back({centre.X + Round32(std::cos(angle) * radius), centre.Y + Round32(std::sin(angle) * radius)});
    }
    if (points.size() < 3) return TRegion();
    return TRegion::Polygon(points, WINDING);
}

void RotatePoints(TPoint* points, int32_t count, const TPoint& centre, double angle) {
    const double c = std::cos(angle), s = std::sin(angle);
    for (int32_t i = 0; i < count; ++i) {
        const double dx = points[i].X - centre.X, dy = points[i].Y - centre.Y;
        points[i] = {centre.X + Round32(c * dx - s * dy), centre.Y + Round32(s * dx + c * dy)};
    }
}

// ---------------------------------------------------------------- the table

namespace {

#define REGION(expr)        \
    PAINTER {               \
        EXTENTS;            \
        Reveal(c, t, expr); \
    }

const TEffect table[IEEffectTableRows] = {
    {"Cross Fade", nullptr},
    {"Fade Out", nullptr},
    {"Fade In", nullptr},
    {"Fade Out then In", nullptr},
    {"Wipe Left to Right", nullptr},
    {"Wipe Left to Right 2", nullptr},
    {"Wipe Right to Left", nullptr},
    {"Wipe Right to Left 2", nullptr},
    {"Wipe Top to Bottom", nullptr},
    {"Wipe Top to Bottom 2", nullptr},
    {"Wipe Bottom to Top", nullptr},
    {"Wipe Bottom to Top 2", nullptr},
    {"Slide from Top Left", nullptr},
    {"Slide from Top Right", nullptr},
    {"Slide from Bottom Left", nullptr},
    {"Slide from Bottom Right", nullptr},
    {"Push Left to Right", nullptr},
    {"Slide Out Left to Right", nullptr},
    {"Push Right to Left", nullptr},
    {"Slide Out Right to Left", nullptr},
    {"Push Top to Bottom", nullptr},
    {"Slide Out Top to Bottom", nullptr},
    {"Push Bottom to Top", nullptr},
    {"Slide Out Bottom to Top", nullptr},
    {"Random Points", nullptr},
    {"Random Boxes", nullptr},
    {"Wipe Out from Center", nullptr},
    {"Wipe In to Center", nullptr},
    {"Expand Out from Center", nullptr},
    {"Expand In to Center", nullptr},
    // 31: stretched whole picture
    {"Expand from Left", PAINTER { EXTENTS; Copy(c, {0, 0, x, H}, t, Full(e)); }},
    {"Expand from Right", PAINTER { EXTENTS; Copy(c, {W - x, 0, W, H}, t, Full(e)); }},
    {"Expand from Top", PAINTER { EXTENTS; Copy(c, {0, 0, W, y}, t, Full(e)); }},
    {"Expand from Bottom", PAINTER { EXTENTS; Copy(c, {0, H - y, W, H}, t, Full(e)); }},
    {"Expand from Top Left", PAINTER { EXTENTS; Copy(c, {0, 0, x, y}, t, Full(e)); }},
    {"Expand from Top Right", PAINTER { EXTENTS; Copy(c, {W - x, 0, W, y}, t, Full(e)); }},
    {"Expand from Bottom Left", PAINTER { EXTENTS; Copy(c, {0, H - y, x, H}, t, Full(e)); }},
    {"Expand from Bottom Right", PAINTER { EXTENTS; Copy(c, {W - x, H - y, W, H}, t, Full(e)); }},
    // 39: stretched part
    {"Expand in from Left", PAINTER { EXTENTS; Copy(c, {x - W, 0, W, H}, t, {W - x, 0, W, H}); }},
    {"Expand in from Right", PAINTER { EXTENTS; Copy(c, {0, 0, 2 * W - x, H}, t, {0, 0, x, H}); }},
    {"Expand in from Top", PAINTER { EXTENTS; Copy(c, {0, y - H, W, H}, t, {0, H - y, W, H}); }},
    {"Expand in from Bottom", PAINTER { EXTENTS; Copy(c, {0, 0, W, 2 * H - y}, t, {0, 0, W, y}); }},
    {"Expand in to Vertical Center",
     PAINTER { EXTENTS; Copy(c, {x - W, 0, 2 * W - x, H}, t, {(W - x) / 2, 0, (W + x) / 2, H}); }},
    {"Expand in to Horizon", PAINTER { EXTENTS; Copy(c, {0, y - H, W, 2 * H - y}, t, {0, (H - y) / 2, W, (H + y) / 2}); }},
    {"Expand in from Sides", PAINTER {
         EXTENTS;
         Copy(c, {0, 0, x / 2 + 1, H}, t, {0, 0, W / 2 + 1, H});
         Copy(c, {W - x / 2 - 1, 0, W, H}, t, {W / 2, 0, W, H});
     }},
    {"Expand in from Top and Bottom", PAINTER {
         EXTENTS;
         Copy(c, {0, 0, W, y / 2 + 1}, t, {0, 0, W, H / 2 + 1});
         Copy(c, {0, H - y / 2 - 1, W, H}, t, {0, H / 2, W, H});
     }},
    // 47
    {"Expand out from Horizon", PAINTER { EXTENTS; Copy(c, {0, (H - y) / 2, W, (H + y) / 2}, t, Full(e)); }},
    {"Expand out from Vertical Center", PAINTER { EXTENTS; Copy(c, {(W - x) / 2, 0, (W + x) / 2, H}, t, Full(e)); }},
    // 49: wipes
    {"Wipe from Top Left", PAINTER { EXTENTS; Same(c, t, {0, 0, x, y}); }},
    {"Wipe from Top Right", PAINTER { EXTENTS; Same(c, t, {W - x, 0, W, y}); }},
    {"Wipe from Bottom Left", PAINTER { EXTENTS; Same(c, t, {0, H - y, x, H}); }},
    {"Wipe from Bottom Right", PAINTER { EXTENTS; Same(c, t, {W - x, H - y, W, H}); }},
    {"Wipe from Horizon", PAINTER { EXTENTS; Same(c, t, {0, (H - y) / 2, W, (H + y) / 2}); }},
    {"Wipe in from Sides", PAINTER {
         EXTENTS;
         Same(c, t, {0, 0, x / 2 + 1, H});
         Same(c, t, {W - x / 2 - 1, 0, W, H});
     }},
    {"Wipe out from Vertical Center", PAINTER { EXTENTS; Same(c, t, {(W - x) / 2, 0, (W + x) / 2, H}); }},
    // 56: build-up
    {"Build up from Left", PAINTER {
         EXTENTS;
         Same(c, t, {W - x, 0, W, H});
         Copy(c, {0, 0, W - x, H}, t, {std::max(W - x - W / u, 0), 0, W - x, H});
     }},
    {"Build up from Right", PAINTER {
         EXTENTS;
         Same(c, t, {0, 0, x, H});
         Copy(c, {x, 0, W, H}, t, {x, 0, std::min(x + W / u, W), H});
     }},
    {"Build up from Top", PAINTER {
         EXTENTS;
         Same(c, t, {0, H - y, W, H});
         Copy(c, {0, 0, W, H - y}, t, {0, std::max(H - y - H / u, 0), W, H - y});
     }},
    {"Build up from Bottom", PAINTER {
         EXTENTS;
         Same(c, t, {0, 0, W, y});
         Copy(c, {0, y, W, H}, t, {0, y, W, std::min(y + H / u, H)});
     }},
    // 60: unroll
    {"Unroll from Left", PAINTER { EXTENTS; Unroll(c, t, e, false, false); }},
    {"Unroll from Right", PAINTER { EXTENTS; Unroll(c, t, e, false, true); }},
    {"Unroll from Top", PAINTER { EXTENTS; Unroll(c, t, e, true, false); }},
    {"Unroll from Bottom", PAINTER { EXTENTS; Unroll(c, t, e, true, true); }},
    // 64: slides
    {"Slide in from Left", PAINTER { EXTENTS; Copy(c, {x - W, 0, x, H}, t, Full(e)); }},
    {"Slide in from Right", PAINTER { EXTENTS; Copy(c, {W - x, 0, 2 * W - x, H}, t, Full(e)); }},
    {"Slide in from Top", PAINTER { EXTENTS; Copy(c, {0, y - H, W, y}, t, Full(e)); }},
    {"Slide in from Bottom", PAINTER { EXTENTS; Copy(c, {0, H - y, W, 2 * H - y}, t, Full(e)); }},
    {"Slide in from Top and Bottom", PAINTER {
         EXTENTS;
         Same(c, t, {0, 0, W, y / 2 + 1});
         Same(c, t, {0, H - y / 2 - 1, W, H});
     }},
    // 69: shrink
    {"Shrink to Top Left", PAINTER { EXTENTS; Copy(c, {0, 0, 2 * W - x, 2 * H - y}, t, {0, 0, x, y}); }},
    {"Shrink to Top Right", PAINTER { EXTENTS; Copy(c, {x - W, 0, W, 2 * H - y}, t, {W - x, 0, W, y}); }},
    {"Shrink to Bottom Left", PAINTER { EXTENTS; Copy(c, {0, y - H, 2 * W - x, H}, t, {0, H - y, x, H}); }},
    {"Shrink to Bottom Right", PAINTER { EXTENTS; Copy(c, {x - W, y - H, W, H}, t, {W - x, H - y, W, H}); }},
    {"Shrink to Center", PAINTER {
         EXTENTS;
         Copy(c, {x - W, y - H, 2 * W - x, 2 * H - y}, t, {(W - x) / 2, (H - y) / 2, (W + x) / 2, (H + y) / 2});
     }},
    // 74: quarters
    {"Quarters Wipe in to Center", PAINTER {
         EXTENTS;
         Same(c, t, {0, 0, x / 2 + 1, y / 2 + 1});
         Same(c, t, {0, H - y / 2 - 1, x / 2 + 1, H});
         Same(c, t, {W - x / 2 - 1, H - y / 2 - 1, W, H});
         Same(c, t, {W - x / 2 - 1, 0, W, y / 2 + 1});
     }},
    {"Quarters Expand to Center", PAINTER {
         EXTENTS;
         Copy(c, {0, 0, x / 2 + 1, y / 2 + 1}, t, {0, 0, W / 2 + 1, H / 2 + 1});
         Copy(c, {0, H - y / 2, x / 2 + 1, H}, t, {0, H / 2 + 1, W / 2 + 1, H});
         Copy(c, {W - x / 2, H - y / 2, W, H}, t, {W / 2 + 1, H / 2 + 1, W, H});
         Copy(c, {W - x / 2, 0, W, y / 2 + 1}, t, {W / 2 + 1, 0, W, H / 2 + 1});
     }},
    {"Quarters Slide in to Center", PAINTER {
         EXTENTS;
         Copy(c, {(x - W) / 2, 0, x / 2 + 1, H / 2 + 1}, t, {0, 0, W / 2 + 1, H / 2 + 1});
         Copy(c, {W / 2 - 1, (y - H) / 2, W, y / 2 + 1}, t, {W / 2 - 1, 0, W, H / 2 + 1});
         Copy(c, {W - x / 2, H / 2 - 1, W + (W - x) / 2, H}, t, {W / 2 + 1, H / 2 - 1, W, H});
         Copy(c, {0, H - y / 2, W / 2 + 1, H + (H - y) / 2}, t, {0, H / 2 + 1, W / 2 + 1, H});
     }},
    // 77: curved wipes
    {"Curved Wipe from Left", REGION(TRegion::RoundRect({-2 * W, -5, 2 * x, H + 5}, 2 * W, 2 * W))},
    {"Curved Wipe from Right", REGION(TRegion::RoundRect({W - 2 * x, -5, 3 * W, H + 5}, 2 * W, 2 * W))},
    {"Curved Wipe from Top", REGION(TRegion::RoundRect({-5, -2 * H, W + 5, 2 * y}, 2 * H, 2 * H))},
    {"Curved Wipe from Bottom", REGION(TRegion::RoundRect({-5, H - 2 * y, W + 5, 3 * H}, 2 * H, 2 * H))},
    // 81: bars
    {"Bars in from Left", REGION(BarsRegion(2 * x, 0, W, 0, 2, u, H))},
    {"Bars in from Right", REGION(BarsRegion(2 * x, 0, W, 0, 1, u, H))},
    {"Bars from Top", REGION(BarsRegion(0, 2 * y, W, 2, 0, u, H))},
    {"Bars from Bottom", REGION(BarsRegion(0, 2 * y, W, 1, 0, u, H))},
    {"Bars Left then Right", REGION(BarsRegion(2 * x, 0, W, 0, 4, u, H))},
    {"Bars Right then Left", REGION(BarsRegion(2 * x, 0, W, 0, 5, u, H))},
    {"Bars Top then Bottom", REGION(BarsRegion(0, 2 * y, W, 4, 0, u, H))},
    {"Bars Bottom then Top", REGION(BarsRegion(0, 2 * y, W, 5, 0, u, H))},
    {"Bars from both Sides", REGION(BarsRegion(x, 0, W, 0, 3, 0, H))},
    {"Bars from Top and Bottom", REGION(BarsRegion(0, y, W, 3, 0, 0, H))},
    // 91: shredded (columns, rows)
    {"Shredded from Left", REGION(ShredRegion(x, 0, W, 0, 2, H))},
    {"Shredded from Right", REGION(ShredRegion(x, 0, W, 0, 1, H))},
    {"Shredded from Top", REGION(ShredRegion(0, y, W, 2, 0, H))},
    {"Shredded from Bottom", REGION(ShredRegion(0, y, W, 1, 0, H))},
    {"Shredded from Top and Left", REGION(ShredRegion(x, y, W, 2, 2, H))},
    {"Shredded from Top and Right", REGION(ShredRegion(x, y, W, 2, 1, H))},
    {"Shredded from Bottom and Left", REGION(ShredRegion(x, y, W, 1, 2, H))},
    {"Shredded from Bottom and Right", REGION(ShredRegion(x, y, W, 1, 1, H))},
    {"Shredded from Horizon and Left", REGION(ShredRegion(x, y, W, 3, 2, H))},
    {"Shredded from Horizon and Right", REGION(ShredRegion(x, y, W, 3, 1, H))},
    {"Shredded from Top and Vertical Center", REGION(ShredRegion(x, y, W, 2, 3, H))},
    {"Shredded from Bottom and Vertical Center", REGION(ShredRegion(x, y, W, 1, 3, H))},
    {"Shredded to Center", REGION(ShredRegion(x, y, W, 4, 4, H))},
    {"Shredded from Center", REGION(ShredRegion(x, y, W, 3, 3, H))},
    {"Shredded in to Horizon", REGION(ShredRegion(0, y, W, 4, 0, H))},
    {"Shredded in to Vertical Center", REGION(ShredRegion(x, 0, W, 0, 4, H))},
    {"Shredded out from Horizon", REGION(ShredRegion(0, y, W, 3, 0, H))},
    {"Shredded out from Vertical Center", REGION(ShredRegion(x, 0, W, 0, 3, H))},
    // 109: shred grids
    {"Rectangular Shred", REGION(ShredGrid(e, false))},
    {"Triangular Shred to Top Left", REGION(ShredGrid(e, true))},
    // 111: curved corner wipes
    {"Curved Wipe from Top Left", REGION(TRegion::RoundRect({-2 * W, -2 * H, 2 * x, 2 * y}, 2 * W, 2 * H))},
    {"Curved Wipe from Top Right", REGION(TRegion::RoundRect({W - 2 * x, -2 * H, 3 * W, 2 * y}, 2 * W, 2 * H))},
    {"Curved Wipe from Bottom Left", REGION(TRegion::RoundRect({-2 * W, H - 2 * y, 2 * x, 3 * H}, 2 * W, 2 * H))},
    {"Curved Wipe from Bottom Right", REGION(TRegion::RoundRect({W - 2 * x, H - 2 * y, 3 * W, 3 * H}, 2 * H, 2 * H))},
    // 115: circular
    {"Circular Wipe from Center",
     REGION(TRegion::RoundRect({W / 2 - x, H / 2 - y, W / 2 + x, H / 2 + y}, 9 * x / 5, 9 * y / 5))},
    {"Circular Wipe to Center", PAINTER {
         EXTENTS;
         TRegion region(rect);
         region.Combine(TRegion::RoundRect({x - W / 2, y - H / 2, 3 * W / 2 - x, 3 * H / 2 - y}, 9 * (W - x) / 5,
                                           9 * (H - y) / 5),
                        RGN_XOR);
         Reveal(c, t, region);
     }},
    // 117: crisscross (columns, rows)
    {"Crisscross Wipe from Top Left", REGION(Crisscross(e, true, 2, 2, u))},
    {"Crisscross Wipe from Top Right", REGION(Crisscross(e, true, 2, 1, u))},
    {"Crisscross Wipe from Bottom Left", REGION(Crisscross(e, true, 1, 2, u))},
    {"Crisscross Wipe from Bottom Right", REGION(Crisscross(e, true, 1, 1, u))},
    {"Crisscross Wipe Bounce from Top Left", REGION(Crisscross(e, true, 4, 4, u))},
    {"Crisscross Wipe Bounce from Top Right", REGION(Crisscross(e, true, 4, 5, u))},
    {"Crisscross Wipe Bounce from Bottom Left", REGION(Crisscross(e, true, 5, 4, u))},
    {"Crisscross Wipe Bounce from Bottom Right", REGION(Crisscross(e, true, 5, 5, u))},
    {"Crisscross Wipe from Left Right and Top", REGION(Crisscross(e, false, 2, 3, u))},
    {"Crisscross Wipe from Left Right and Bottom", REGION(Crisscross(e, false, 1, 3, u))},
    {"Crisscross Wipe from Left Top and Bottom", REGION(Crisscross(e, false, 3, 2, u))},
    {"Crisscross Wipe from Top Left Right and Bottom", REGION(Crisscross(e, false, 3, 3, 0))},
    {"Crisscross Wipe from Right Top and Bottom", REGION(Crisscross(e, false, 3, 1, u))},
    {"Crisscross Wipe from Bottom Left Top Right", PAINTER {
         EXTENTS;
         TRegion region = Crisscross(e, true, 1, 1, u);
         region.Combine(Crisscross(e, true, 2, 2, u), RGN_AND);
         Reveal(c, t, region);
     }},
    // 131: triangles
    {"Wipe diagonal from Top Left", REGION(TriangleRegion({0, 0}, {2 * x, 0}, {0, 2 * y}))},
    {"Wipe diagonal from Top Right", REGION(TriangleRegion({W, 0}, {W - 2 * x, 0}, {W, 2 * y}))},
    {"Wipe diagonal from Bottom Left", REGION(TriangleRegion({0, H}, {2 * x, H}, {0, H - 2 * y}))},
    {"Wipe diagonal from Bottom Right", REGION(TriangleRegion({W, H}, {W - 2 * x, H}, {W, H - 2 * y}))},
    {"Diagonal Sweep Clockwise",
     REGION(Triangles({{TPoint{W, 0}, TPoint{0, 0}, TPoint{W, y}}, {TPoint{W, H}, TPoint{0, H}, TPoint{0, H - y}}}))},
    {"Diagonal Sweep Counter-Clockwise",
     REGION(Triangles({{TPoint{0, H}, TPoint{0, 0}, TPoint{x, H}}, {TPoint{W, H}, TPoint{W, 0}, TPoint{W - x, 0}}}))},
    // 137: sweeps
    {"Sweep Clockwise", REGION(Sweep(e, p, true))},
    {"Sweep Counter-Clockwise", REGION(Sweep(e, p, false))},
    {"Starburst Clockwise from Center", REGION(Triangles({{TPoint{W / 2, H / 2}, TPoint{0, H}, TPoint{0, H - y}},
                                                          {TPoint{0, 0}, TPoint{x, 0}, TPoint{W / 2, H / 2}},
                                                          {TPoint{W - x, H}, TPoint{W / 2, H / 2}, TPoint{W, H}},
                                                          {TPoint{W / 2, H / 2}, TPoint{W, 0}, TPoint{W, y}}}))},
    // 140: turning polygons
    {"Rotational Rectangle", REGION(Turned(e, p, false))},
    {"Rotational Star", REGION(Turned(e, p, true))},
    // 142: speckles
    {"Speckled Wipe from Left", REGION(SpeckleRegion(x, 0, W, 0, 2, H))},
    {"Speckled Wipe from Right", REGION(SpeckleRegion(x, 0, W, 0, 1, H))},
    {"Speckled Wipe from Top", REGION(SpeckleRegion(0, y, W, 2, 0, H))},
    {"Speckled Wipe from Bottom", REGION(SpeckleRegion(0, y, W, 1, 0, H))},
    // 146: push (the frame first, then the target)
    {"Push Left and Slide out", PAINTER {
         EXTENTS;
         Copy(c, {0, 0, W - x, H}, c.Bitmap(), {x, 0, W, H});
         Copy(c, {W - x, 0, W, H}, t, {0, 0, x, H});
     }},
    {"Push Right and Slide out", PAINTER {
         EXTENTS;
         Copy(c, {x, 0, W, H}, c.Bitmap(), {0, 0, W - x, H});
         Copy(c, {0, 0, x, H}, t, {W - x, 0, W, H});
     }},
    {"Push up and Slide out", PAINTER {
         EXTENTS;
         Copy(c, {0, 0, W, H - y}, c.Bitmap(), {0, y, W, H});
         Copy(c, {0, H - y, W, H}, t, {0, 0, W, y});
     }},
    {"Push down and Slide out", PAINTER {
         EXTENTS;
         Copy(c, {0, y, W, H}, c.Bitmap(), {0, 0, W, H - y});
         Copy(c, {0, 0, W, y}, t, {0, H - y, W, H});
     }},
    {"Push and Squeeze Left", PAINTER {
         EXTENTS;
         Copy(c, {0, 0, W - x, H}, c.Bitmap(), Full(e));
         Copy(c, {W - x, 0, W, H}, t, {0, 0, x, H});
     }},
    {"Push and Squeeze Right", PAINTER {
         EXTENTS;
         Copy(c, {x, 0, W, H}, c.Bitmap(), Full(e));
         Copy(c, {0, 0, x, H}, t, {W - x, 0, W, H});
     }},
    {"Push and Squeeze up", PAINTER {
         EXTENTS;
         Copy(c, {0, 0, W, H - y}, c.Bitmap(), Full(e));
         Copy(c, {0, H - y, W, H}, t, {0, 0, W, y});
     }},
    {"Push and Squeeze down", PAINTER {
         EXTENTS;
         Copy(c, {0, y, W, H}, c.Bitmap(), Full(e));
         Copy(c, {0, 0, W, y}, t, {0, H - y, W, H});
     }},
    // 154: blinds
    {"Horizontal Blinds", REGION(Blinds(e, p, H / u, true, false))},
    {"Vertical Blinds", REGION(Blinds(e, p, W / u, false, false))},
    {"Uneven Blinds from Left", REGION(Blinds(e, p, std::max(1, x), false, false))},
    {"Uneven Blinds from Right", REGION(Blinds(e, p, std::max(1, x), false, true))},
    {"Uneven Blinds from Top", REGION(Blinds(e, p, std::max(1, y), true, false))},
    {"Uneven Blinds from Bottom", REGION(Blinds(e, p, std::max(1, y), true, true))},
    // 160: rectangles
    {"Rectangles from the Left", REGION(Rectangles(e, p, false, false))},
    {"Rectangles from the Right", REGION(Rectangles(e, p, false, true))},
    {"Rectangles from the Top", REGION(Rectangles(e, p, true, false))},
    {"Rectangles from the Bottom", REGION(Rectangles(e, p, true, true))},
};

// The engine finds the table as soon as the program holds it.
[[maybe_unused]] const bool installed = (IESetEffectTable(table), true);

}  // namespace

const TEffect* IEExtraTransitionTable() {
    if (IEEffectTable() != table) IESetEffectTable(table);
    return table;
}
