#include "imaging/core/ie_geometry.h"

#include <algorithm>
#include <cstdlib>

void IESnapTo45(int32_t anchorX, int32_t anchorY, int32_t& x, int32_t& y) {
    int64_t adx = std::llabs(int64_t{anchorX} - x), ady = std::llabs(int64_t{anchorY} - y);
    auto k = static_cast<int32_t>(std::llabs(adx - ady));
    if (ady > adx + 30) {
        x = anchorX;
        return;
    }
    if (ady < adx - 30) {
        y = anchorY;
        return;
    }
    bool steep = ady > adx;
    if (x > anchorX && y > anchorY) {
        if (steep) x += k;
        else y += k;
    } else if (x < anchorX && y < anchorY) {
        if (steep) y += k;
        else x += k;
    } else if (x < anchorX && y >= anchorY) {
        if (steep) x -= k;
        else y += k;
    } else if (x >= anchorX && y < anchorY) {
        if (steep) x += k;
        else y -= k;
    }
}

bool IEBoxIntersectsRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t left, int32_t top, int32_t right,
                         int32_t bottom) {
    return std::max(x1, x2) >= left && std::min(x1, x2) <= right && std::max(y1, y2) >= top &&
           std::min(y1, y2) <= bottom;
}

int32_t IERectOverlapKind(int32_t l1, int32_t t1, int32_t r1, int32_t b1, int32_t l2, int32_t t2, int32_t r2,
                          int32_t b2) {
    bool cl = l1 <= l2 && l2 <= r1, cr = l1 <= r2 && r2 <= r1;
    bool ct = t1 <= t2 && t2 <= b1, cb = t1 <= b2 && b2 <= b1;
    if ((cr != cl && (cb || ct)) || ((cr || cl) && cb != ct) || (cr != cl && cb != ct)) return 1;
    if (cl && cr && ct && cb) return 2;
    return 0;
}

bool IEPointInRect(int32_t x, int32_t y, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    return x1 <= x && x <= x2 && y1 <= y && y <= y2;
}

bool IEPointInRectAnyOrder(int32_t x, int32_t y, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    return IEPointInRect(x, y, std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2));
}

double IEDistance(double x1, double y1, double x2, double y2) { return std::hypot(x2 - x1, y2 - y1); }

double IEDistPointToLine(double px, double py, double x1, double y1, double x2, double y2) {
    return std::fabs((y1 - y2) * px + (x2 - x1) * py + x1 * y2 - x2 * y1) /
           std::sqrt((y1 - y2) * (y1 - y2) + (x2 - x1) * (x2 - x1));
}

double IEDistPointToSegment(int32_t px, int32_t py, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    // Real arithmetic throughout, so no square overflows.
    if (x1 == x2 && y1 == y2) return IEDistance(px, py, x1, y1);
    double dx = static_cast<double>(x2) - x1, dy = static_cast<double>(y2) - y1;
    double t = ((static_cast<double>(px) - x1) * dx + (static_cast<double>(py) - y1) * dy) / (dx * dx + dy * dy);
    if (t > 1) {
        if (std::llabs(int64_t{px} - x2) <= 45000 && std::llabs(int64_t{py} - y2) <= 45000)
            return IEDistance(px, py, x2, y2);
        return kIEFarDistance;
    }
    if (t < 0) {
        if (std::llabs(int64_t{x1} - px) <= 45000 && std::llabs(int64_t{y1} - py) <= 45000)
            return IEDistance(px, py, x1, y1);
        return kIEFarDistance;
    }
    double d = IEDistPointToLine(px, py, x1, y1, x2, y2);
    return std::isfinite(d) ? d : kIEFarDistance;
}

long double IEArcTan2(long double y, long double x) { return std::atan2(y, x); }

long double IEArcCos(long double x) {
    if (x == 1 || x == -1) return 0;
    return IEArcTan2(std::sqrt(1 - x * x), x);
}

double IEAngleBetween(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3, int32_t y3) {
    double ux = static_cast<double>(x2) - x1, uy = static_cast<double>(y2) - y1, wx = static_cast<double>(x3) - x2, wy = static_cast<double>(y3) - y2;
    double lengths = std::hypot(ux, uy) * std::hypot(wx, wy);
    if (lengths == 0) return 0;
    double q = (ux * wx + uy * wy) / lengths;
    if (std::fabs(q) > 1) return 0;
    return static_cast<double>(IEArcCos(q));
}

double IEAngleOfLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    if (x2 > x1 && y2 < y1) return 3.141592653589793 - IEAngleBetween(x2, y2, x1, y1, x2, y1);
    if (x2 > x1 && y2 > y1) return IEAngleBetween(x2, y1, x1, y1, x2, y2) + 3.141592653589793;
    if (x2 < x1 && y2 > y1) return 6.283185307179586 - IEAngleBetween(x2, y1, x1, y1, x2, y2);
    if (x2 < x1 && y2 < y1) return IEAngleBetween(x2, y1, x1, y1, x2, y2);
    if (x1 == x2 && y2 != y1) return y2 < y1 ? 1.5707963267948966 : 4.71238898038469;
    return x2 < x1 ? 3.141592653589793 : 0;
}

int32_t IECCW(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    int64_t dx1 = int64_t{x1} - x0, dy1 = int64_t{y1} - y0, dx2 = int64_t{x2} - x0, dy2 = int64_t{y2} - y0;
    if (dy1 * dx2 < dx1 * dy2) return 1;
    if (dx1 * dy2 < dy1 * dx2) return -1;
    if (dx1 * dx2 < 0 || dy1 * dy2 < 0) return -1;
    return dx1 * dx1 + dy1 * dy1 < dx2 * dx2 + dy2 * dy2 ? 1 : 0;
}

double IEAngle3Points(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    auto length = [](double dx, double dy) {
        double d = std::hypot(dx, dy);
        return d == 0 ? 1.0 : d;
    };
    double a = length(static_cast<double>(x2) - x1, static_cast<double>(y2) - y1);
    double b = length(static_cast<double>(x2) - x0, static_cast<double>(y2) - y0);
    double c = length(static_cast<double>(x1) - x0, static_cast<double>(y1) - y0);
    double r = static_cast<double>(IEArcCos((a * a + c * c - b * b) / (2 * a * c)));
    return IECCW(x0, y0, x1, y1, x2, y2) == -1 ? 2 * kIEPi - r : r;
}

void IEFitSize(int32_t width, int32_t height, int32_t boxWidth, int32_t boxHeight, int32_t& outWidth,
               int32_t& outHeight) {
    if (width == 0 || height == 0) return;
    double scale = std::min(static_cast<double>(boxWidth) / width, static_cast<double>(boxHeight) / height);
    outWidth = std::max<int32_t>(1, static_cast<int32_t>(Trunc(width * scale)));
    outHeight = std::max<int32_t>(1, static_cast<int32_t>(Trunc(height * scale)));
}
