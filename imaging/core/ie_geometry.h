// Small geometry of the image library: snapping, hit tests, distances,
// angles, polygon tests, rotation of point lists, Bezier sampling and
// fitting a size into a box. Coordinates are 32-bit integers with y growing
// downwards; point and rectangle types are any with X, Y (and Left, Top,
// Right, Bottom) members, such as the toolkit's TPoint and TRect.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "platform/mathutil.h"

constexpr double kIEPi = 3.141592653589793;
// The distance routines give this for a degenerate or out-of-range case.
constexpr double kIEFarDistance = 1000000;

void IESnapTo45(int32_t anchorX, int32_t anchorY, int32_t& x, int32_t& y);
bool IEBoxIntersectsRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t left, int32_t top, int32_t right,
                         int32_t bottom);
// 0 apart or crossing, 1 an edge of the second inside the first, 2 inside.
int32_t IERectOverlapKind(int32_t l1, int32_t t1, int32_t r1, int32_t b1, int32_t l2, int32_t t2, int32_t r2,
                          int32_t b2);
bool IEPointInRect(int32_t x, int32_t y, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
bool IEPointInRectAnyOrder(int32_t x, int32_t y, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
double IEDistance(double x1, double y1, double x2, double y2);
double IEDistPointToLine(double px, double py, double x1, double y1, double x2, double y2);
double IEDistPointToSegment(int32_t px, int32_t py, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
long double IEArcTan2(long double y, long double x);
long double IEArcCos(long double x);
double IEAngleBetween(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3, int32_t y3);
double IEAngleOfLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
int32_t IECCW(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
double IEAngle3Points(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
void IEFitSize(int32_t width, int32_t height, int32_t boxWidth, int32_t boxHeight, int32_t& outWidth,
               int32_t& outHeight);

// The screen position of a vertex of a zoomed, scrolled drawing.
struct IEScreenMap {
    double originX, originY, offsetX, offsetY, zoomX, zoomY;
    double X(double x) const { return (x - originX) * zoomX + offsetX; }
    double Y(double y) const { return (y - originY) * zoomY + offsetY; }
};

template <typename Rect>
Rect& IEExtendRect(Rect& rect, int32_t x, int32_t y) {
    if (x < rect.Left) rect.Left = x;
    if (x > rect.Right) rect.Right = x;
    if (y < rect.Top) rect.Top = y;
    if (y > rect.Bottom) rect.Bottom = y;
    return rect;
}

// Smallest distance from (px, py) to the open polyline, vertices mapped to
// the screen and rounded.
template <typename Point>
double IEDistPointToPolyline(int32_t px, int32_t py, const Point* vertices, int32_t count, const IEScreenMap& map) {
    double result = kIEFarDistance;
    if (count < 2) return result;
    auto sx = [&](int32_t i) { return static_cast<int32_t>(RoundHalfEven(map.X(vertices[i].X))); };
    auto sy = [&](int32_t i) { return static_cast<int32_t>(RoundHalfEven(map.Y(vertices[i].Y))); };
    for (int32_t i = 1; i < count; ++i)
        result = std::fmin(result, IEDistPointToSegment(px, py, sx(i - 1), sy(i - 1), sx(i), sy(i)));
    return result;
}

// Turns the points about the centre; a positive angle (degrees) turns them
// counter-clockwise on the screen.
template <typename Point>
void IERotatePoints(std::vector<Point>& points, int32_t centreX, int32_t centreY, double angle) {
    double a = -angle * kIEPi / 180, c = std::cos(a), s = std::sin(a);
    for (Point& p : points) {
        double dx = p.X - centreX, dy = p.Y - centreY;
        p.X = centreX + static_cast<int32_t>(Trunc(c * dx - s * dy));
        p.Y = centreY + static_cast<int32_t>(Trunc(s * dx + c * dy));
    }
}

// Even-odd crossing test of a closed polygon; with a map, against the
// vertices' unrounded screen positions.
template <typename Point>
bool IEPointInPolygon(double x, double y, const Point* vertices, int32_t count, const IEScreenMap* map = nullptr) {
    bool inside = false;
    auto vx = [&](int32_t i) { return map ? map->X(vertices[i].X) : static_cast<double>(vertices[i].X); };
    auto vy = [&](int32_t i) { return map ? map->Y(vertices[i].Y) : static_cast<double>(vertices[i].Y); };
    for (int32_t i = 0, j = count - 1; i < count; j = i++) {
        double xi = vx(i), yi = vy(i), xj = vx(j), yj = vy(j);
        if ((y >= yi && y < yj) || (y >= yj && y < yi)) {
            double crossing = (xj - xi) * (y - yi) / (yj - yi) + xi;
            if (x < crossing) inside = !inside;
        }
    }
    return inside;
}

template <typename Point>
bool IEPointInScaledPolygon(int32_t x, int32_t y, const Point* vertices, int32_t count, const IEScreenMap& map) {
    return IEPointInPolygon(x, y, vertices, count, &map);
}

// n points of the cubic Bezier curve at t = 1/n .. n/n (not t = 0).
template <typename Point>
void IEBezierPoints(const Point& p0, const Point& p1, const Point& p2, const Point& p3, std::vector<Point>& out,
                    int32_t n) {
    out.resize(n > 0 ? static_cast<size_t>(n) : 0);
    for (int32_t i = 1; i <= n; ++i) {
        double t = static_cast<double>(i) / n, u = 1 - t;
        double a = u * u * u, b = 3 * t * u * u, c = 3 * t * t * u, d = t * t * t;
        out[static_cast<size_t>(i - 1)].X = static_cast<int32_t>(RoundHalfEven(a * p0.X + b * p1.X + c * p2.X + d * p3.X));
        out[static_cast<size_t>(i - 1)].Y = static_cast<int32_t>(RoundHalfEven(a * p0.Y + b * p1.Y + c * p2.Y + d * p3.Y));
    }
}
