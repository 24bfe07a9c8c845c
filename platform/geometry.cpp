#include "platform/geometry.h"

#include <utility>

TRect NormalizeRect(const TRect& s) {
    TRect r = s;
    if (r.Left > r.Right) std::swap(r.Left, r.Right);
    if (r.Top > r.Bottom) std::swap(r.Top, r.Bottom);
    return r;
}

double BezierPoint(int32_t p0, int32_t p1, int32_t p2, int32_t p3, float t) {
    double c = 3.0 * (double(p1) - p0);
    double b = 3.0 * (double(p2) - p1) - c;
    double a = double(p3) - p0 - b - c;
    double tt = t;
    return a * tt * tt * tt + b * tt * tt + c * tt + p0;
}
