// Plain geometry shared by every layer: integer rectangles and points, and
// the cubic Bezier evaluation the outline code uses. Nothing here knows a
// file format; the SWF library adds its own rectangle orders on top.
#pragma once

#include <cstdint>

// A rectangle as four numbers. Window order: Left = Xmin, Top = Ymin,
// Right = Xmax, Bottom = Ymax. SWF order: Left = Xmin, Top = Xmax,
// Right = Ymin, Bottom = Ymax. Each operation says which order it takes.
struct TRect {
    int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
    bool operator==(const TRect&) const = default;
};

struct TPoint {
    int32_t X = 0, Y = 0;
    bool operator==(const TPoint&) const = default;
};

// Window order in and out, with Left <= Right and Top <= Bottom.
TRect NormalizeRect(const TRect& source);

// The cubic Bezier through control values p0..p3 at t in [0, 1].
double BezierPoint(int32_t p0, int32_t p1, int32_t p2, int32_t p3, float t);
