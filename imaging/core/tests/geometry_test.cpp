// The geometry helpers, on the documented examples and a few edges.
#include <gtest/gtest.h>

#include <cmath>

#include "imaging/core/ie_geometry.h"

namespace {
struct Point {
    int32_t X = 0, Y = 0;
    bool operator==(const Point&) const = default;
};
struct Rect {
    int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
};
}  // namespace

TEST(Geometry, SnapTo45) {
    struct Case {
        Point in, out;
    };
    const Case cases[] = {{{100, 10}, {100, 0}},  {{10, 100}, {0, 100}},   {{50, 40}, {50, 50}},
                          {{-50, -40}, {-40, -40}}, {{-40, 50}, {-50, 50}}, {{40, -50}, {50, -50}},
                          {{0, 20}, {0, 20}}};
    for (const Case& c : cases) {
        Point p = c.in;
        IESnapTo45(0, 0, p.X, p.Y);
        EXPECT_EQ(p, c.out) << c.in.X << "," << c.in.Y;
    }
}

TEST(Geometry, DistancesAndAngles) {
    EXPECT_EQ(IEDistPointToSegment(0, 0, 10, 0, 20, 0), 10);
    EXPECT_EQ(IEDistPointToSegment(0, 0, 50000, 0, 60000, 0), kIEFarDistance);
    EXPECT_EQ(IEDistPointToSegment(5, 5, 0, 0, 10, 0), 5);
    EXPECT_EQ(IEDistPointToSegment(3, 4, 0, 0, 0, 0), 5);
    // Coordinates whose squares overflow 32 bits still measure.
    EXPECT_NEAR(IEDistPointToSegment(0, 40000, -2000000000, 0, 2000000000, 0), 40000, 1e-6);

    EXPECT_DOUBLE_EQ(IEAngleOfLine(0, 0, 10, 0), 0);
    EXPECT_DOUBLE_EQ(IEAngleOfLine(0, 0, 0, -10), kIEPi / 2);
    EXPECT_DOUBLE_EQ(IEAngleOfLine(0, 0, -10, 0), kIEPi);
    EXPECT_DOUBLE_EQ(IEAngleOfLine(0, 0, 0, 10), 3 * kIEPi / 2);
    EXPECT_NEAR(IEAngleOfLine(0, 0, 10, -10), kIEPi / 4, 1e-12);
    EXPECT_NEAR(IEAngleOfLine(0, 0, 10, 10), 7 * kIEPi / 4, 1e-12);
    EXPECT_EQ(IEAngleOfLine(3, 3, 3, 3), 0);
    EXPECT_EQ(static_cast<double>(IEArcCos(-1)), 0);
    EXPECT_EQ(IEAngleBetween(0, 0, 0, 0, 5, 5), 0);
    EXPECT_NEAR(IEAngleBetween(0, 0, 10, 0, 10, 10), kIEPi / 2, 1e-12);
    EXPECT_EQ(IECCW(0, 0, 10, 0, 10, 10), 1);
    EXPECT_EQ(IECCW(0, 0, 10, 10, 10, 0), -1);
    EXPECT_EQ(IECCW(0, 0, 10, 0, -10, 0), -1);  // the first point between the others
    EXPECT_EQ(IECCW(0, 0, 5, 0, 10, 0), 1);
    EXPECT_EQ(IECCW(0, 0, 10, 0, 5, 0), 0);
    EXPECT_NEAR(IEAngle3Points(0, 0, 10, 0, 10, 10), kIEPi / 2, 1e-9);
}

TEST(Geometry, RectanglesAndSizes) {
    EXPECT_TRUE(IEBoxIntersectsRect(5, 5, -5, -5, 0, 0, 10, 10));
    EXPECT_FALSE(IEBoxIntersectsRect(11, 11, 20, 20, 0, 0, 10, 10));
    EXPECT_EQ(IERectOverlapKind(0, 0, 10, 10, 2, 2, 8, 8), 2);
    EXPECT_EQ(IERectOverlapKind(0, 0, 10, 10, 5, 5, 15, 15), 1);
    EXPECT_EQ(IERectOverlapKind(0, 0, 10, 10, -5, -5, 15, 15), 0);  // covering
    EXPECT_EQ(IERectOverlapKind(0, 0, 10, 10, 20, 20, 30, 30), 0);
    EXPECT_TRUE(IEPointInRect(10, 10, 0, 0, 10, 10));
    EXPECT_FALSE(IEPointInRect(5, 5, 10, 10, 0, 0));
    EXPECT_TRUE(IEPointInRectAnyOrder(5, 5, 10, 10, 0, 0));
    Rect rect{0, 0, 1, 1};
    IEExtendRect(rect, -3, 7);
    EXPECT_EQ(rect.Left, -3);
    EXPECT_EQ(rect.Bottom, 7);
    int32_t w = -1, h = -1;
    IEFitSize(400, 200, 100, 100, w, h);
    EXPECT_EQ(w, 100);
    EXPECT_EQ(h, 50);
    IEFitSize(1000, 1, 10, 10, w, h);
    EXPECT_EQ(w, 10);
    EXPECT_EQ(h, 1);
    IEFitSize(0, 5, 10, 10, w, h);
    EXPECT_EQ(w, 10);
}

TEST(Geometry, PolygonsPointListsAndCurves) {
    const Point square[] = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
    EXPECT_TRUE(IEPointInPolygon(5, 5, square, 4));
    EXPECT_FALSE(IEPointInPolygon(15, 5, square, 4));
    EXPECT_FALSE(IEPointInPolygon(5, 5, square, 0));
    IEScreenMap doubled{0, 0, 100, 0, 2, 2};
    EXPECT_TRUE(IEPointInScaledPolygon(115, 15, square, 4, doubled));
    EXPECT_FALSE(IEPointInScaledPolygon(5, 5, square, 4, doubled));
    EXPECT_NEAR(IEDistPointToPolyline(110, 30, square, 4, doubled), 10, 1e-9);
    EXPECT_EQ(IEDistPointToPolyline(0, 0, square, 1, doubled), kIEFarDistance);

    std::vector<Point> points = {{10, 0}};
    IERotatePoints(points, 0, 0, 90.0);
    EXPECT_EQ(points[0], (Point{0, -10}));  // counter-clockwise on the screen

    std::vector<Point> curve;
    IEBezierPoints(Point{0, 0}, Point{0, 100}, Point{100, 100}, Point{100, 0}, curve, 4);
    ASSERT_EQ(curve.size(), 4u);
    EXPECT_EQ(curve[1], (Point{50, 75}));
    EXPECT_EQ(curve[3], (Point{100, 0}));
}
