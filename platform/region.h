// Regions: the stand-in for the system's clip regions. A region is a set of
// whole pixels kept as bands of rectangles (cairo's pixel regions underneath),
// made from rectangles or shapes (ellipses, rounded rectangles, polygons) and
// combined with the system's five operations. A shape holds the pixels whose
// centres lie inside its outline, with the box's right and bottom edges
// exclusive, as the canvas fills it.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/geometry.h"

// Combination modes of the system's CombineRgn.
enum : int32_t { RGN_AND = 1, RGN_OR = 2, RGN_XOR = 3, RGN_DIFF = 4, RGN_COPY = 5 };

struct _cairo_region;

class TRegion {
public:
    TRegion();
    explicit TRegion(const TRect& rect);
    TRegion(const TRegion& other);
    TRegion(TRegion&& other) noexcept;
    TRegion& operator=(const TRegion& other);
    TRegion& operator=(TRegion&& other) noexcept;
    ~TRegion();

    static TRegion Ellipse(const TRect& box);
    static TRegion RoundRect(const TRect& box, int32_t cornerWidth, int32_t cornerHeight);
    // fillMode: ALTERNATE (1) or WINDING (2) as the canvas names them.
    static TRegion Polygon(const std::vector<TPoint>& points, int32_t fillMode = 1);

    // This := this op other (RGN_COPY: a copy of other).
    void Combine(const TRegion& other, int32_t operation);
    void Offset(int32_t dx, int32_t dy);

    bool Empty() const;
    bool Contains(int32_t x, int32_t y) const;
    // The smallest rectangle round every pixel ((0, 0, 0, 0) when empty).
    TRect Bounds() const;
    // The region's rectangles, top to bottom, left to right.
    std::vector<TRect> Rects() const;
    // One rectangle (or nothing) describes it exactly.
    bool IsRectangle() const { return Rects().size() <= 1; }
    bool operator==(const TRegion& other) const;

private:
    explicit TRegion(_cairo_region* region) : region_(region) {}
    _cairo_region* region_;
};
