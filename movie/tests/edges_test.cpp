// The edge builder: the records its primitives append, contours that close
// exactly, edges split to fit a record, the cubic approximation measured
// against the exact curve, the walks over a path and the XML verbs.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>

#include "movie/edges.h"
#include "movie/flash_movie.h"
#include "path_text.h"
#include "swf/xml_form.h"

namespace {

struct TPathFixture {
    TFlashMovie pixels{0, 0, 550, 400, 12, true};
    TSWFShapeRecordList list;
    TFlashEdges edges;
    explicit TPathFixture(bool inPixels) : edges(list, inPixels ? &pixels : nullptr) {}
};

struct TLayoutCase {
    const char* name;
    bool pixels;
    std::function<void(TFlashEdges&)> draw;
    const char* records;
};

}  // namespace

TEST(FlashEdges, RecordLayouts) {
    const std::vector<TLayoutCase> cases = {
        {"LineToThePenAppendsNothing", false, [](TFlashEdges& e) { EXPECT_EQ(e.LineTo(0, 0), nullptr); }, "S"},
        {"LineDeltaZeroAppendsNothing", false, [](TFlashEdges& e) { EXPECT_EQ(e.LineDelta(0, 0), nullptr); }, "S"},
        {"MoveDeltaZeroOnlyEndsWithAStyleChange", false,
         [](TFlashEdges& e) {
             e.LineDelta(100, 0);
             e.MoveDelta(0, 0);
         },
         "S L(100,0) S"},
        {"RectangleInPixels", true,
         [](TFlashEdges& e) {
             e.MoveTo(10, 10);
             e.MakeRectangle(5, 3);
         },
         "M(200,200) L(100,0) L(0,60) L(-100,0) L(0,-60)"},
        {"EdgeOf65535IsOneRecord", false, [](TFlashEdges& e) { e.LineDelta(65535, 0); }, "S L(65535,0)"},
        {"EdgeOf65536IsTwo", false, [](TFlashEdges& e) { e.LineDelta(65536, 0); }, "S L(32768,0) L(32768,0)"},
        {"EdgeOf200000IsFour", false, [](TFlashEdges& e) { e.LineDelta(0, -200000); },
         "S L(0,-50000) L(0,-50000) L(0,-50000) L(0,-50000)"},
        {"SplitPiecesAddUpExactly", false, [](TFlashEdges& e) { e.LineDelta(131071, -3); },
         "S L(43690,-1) L(43691,-1) L(43690,-1)"},
        {"MergedAlongAnAxis", false,
         [](TFlashEdges& e) {
             e.OptimizeMode = true;
             e.LineDelta(100, 0);
             EXPECT_EQ(e.LineDelta(100, 0), nullptr);
         },
         "S L(200,0)"},
        {"OppositeEdgesStayApart", false,
         [](TFlashEdges& e) {
             e.OptimizeMode = true;
             e.LineDelta(100, 0);
             e.LineDelta(-100, 0);
         },
         "S L(100,0) L(-100,0)"},
        {"EqualDiagonalsMerge", false,
         [](TFlashEdges& e) {
             e.OptimizeMode = true;
             e.LineDelta(30, 40);
             e.LineDelta(30, 40);
         },
         "S L(60,80)"},
        {"CurveWithoutControlIsALine", false,
         [](TFlashEdges& e) { EXPECT_EQ(e.CurveDelta(0, 0, 50, 20), nullptr); }, "S L(50,20)"},
        {"FlatCurveIsALine", false, [](TFlashEdges& e) { e.CurveDelta(30, 0, 40, 0); }, "S L(70,0)"},
        {"UprightCurveIsALine", false, [](TFlashEdges& e) { e.CurveDelta(0, 30, 0, 40); }, "S L(0,70)"},
        {"CurveToIsRelative", true,
         [](TFlashEdges& e) {
             e.MoveTo(10, 10);
             EXPECT_NE(e.CurveTo(20, 10, 20, 20), nullptr);
         },
         "M(200,200) C(200,0,0,200)"},
        {"Ellipse100x50", true, [](TFlashEdges& e) { e.MakeEllipse(100, 50); },
         "M(2000,500) C(0,207,-293,146) C(-293,146,-414,0) C(-414,0,-293,-146) C(-293,-146,0,-207) "
         "C(0,-207,293,-146) C(293,-146,414,0) C(414,0,293,146) C(293,146,0,207)"},
        {"RoundRectangle", false, [](TFlashEdges& e) { e.MakeRoundRect(1000, 600, 100, 100); },
         "M(1000,100) L(0,400) C(0,41,-29,29) C(-29,29,-41,0) L(-800,0) C(-41,0,-29,-29) C(-29,-29,0,-41) "
         "L(0,-400) C(0,-41,29,-29) C(29,-29,41,0) L(800,0) C(41,0,29,29) C(29,29,0,41)"},
        {"DiamondHalvesTruncated", false, [](TFlashEdges& e) { e.MakeDiamond(3, 5); },
         "S L(1,2) L(-1,2) L(-1,-2) L(1,-2)"},
        {"QuarterPie", false, [](TFlashEdges& e) { e.MakePie(100, 100, 0, 90, true); },
         "S L(100,0) C(0,41,-30,29) C(-29,30,-41,0) L(0,-100)"},
        {"PieOfNoSweep", false, [](TFlashEdges& e) { e.MakePie(100, 100, 30, 30, true); }, "S L(86,50) L(-86,-50)"},
        {"ArcCounterClockwiseClosed", false, [](TFlashEdges& e) { e.MakeArc(1000, 1000, 100, 100, 0, 90, true, false); },
         "M(1100,1000) C(0,-41,-30,-29) C(-29,-30,-41,0) L(100,100)"},
        {"MirroredVertically", false,
         [](TFlashEdges& e) {
             e.LineTo(100, 100);
             e.MakeMirror(false, true);
         },
         "S L(100,-100)"},
        {"OnlyTheFirstOfTwoContoursCloses", false,
         [](TFlashEdges& e) {
             e.LineTo(100, 0);
             e.LineTo(100, 100);
             e.MoveTo(500, 500);
             e.LineTo(600, 500);
             e.CloseAllContours();
         },
         "S L(100,0) L(0,100) L(-100,-100) M(500,500) L(100,0)"},
        {"CloseShape", true,
         [](TFlashEdges& e) {
             e.MoveTo(1, 1);
             e.LineTo(5, 1);
             e.LineTo(5, 4);
             e.CloseShape();
             EXPECT_EQ(e.CloseShape(), nullptr);
         },
         "M(20,20) L(80,0) L(0,60) L(-80,-60)"},
    };
    for (const TLayoutCase& c : cases) {
        SCOPED_TRACE(c.name);
        TPathFixture f(c.pixels);
        c.draw(f.edges);
        EXPECT_EQ(Describe(f.list), c.records);
    }
}

TEST(FlashEdges, SegmentAndPointCounts) {
    struct Case {
        float start, end;
        size_t curves;
    };
    for (const Case& c : std::vector<Case>{{0, 90, 2}, {0, 91, 3}, {10, 370, 8}, {300, 30, 2}}) {
        SCOPED_TRACE(c.end);
        TPathFixture f(false);
        f.edges.MakePie(1000, 1000, c.start, c.end, true);
        EXPECT_EQ(CountKind(f.list, kShapeRecordCurvedEdge), c.curves);
    }
    // NumPoints is held to 2..360: two lines per point.
    for (auto [asked, points] : std::vector<std::pair<uint16_t, size_t>>{{1, 2}, {5, 5}, {1000, 360}}) {
        SCOPED_TRACE(asked);
        TPathFixture f(false);
        f.edges.MakeStar(0, 0, 20000, 10000, asked, false);
        EXPECT_EQ(CountKind(f.list, kShapeRecordStraightEdge), 2 * points);
        TPathFixture curved(false);
        curved.edges.MakeStar(0, 0, 20000, 10000, asked, true);
        EXPECT_EQ(CountKind(curved.list, kShapeRecordCurvedEdge), points);
    }
}

TEST(FlashEdges, ContoursCloseExactly) {
    std::mt19937 random(20240611);
    auto any = [&random](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    auto closes = [](const TSWFShapeRecordList& list) {
        std::vector<TWalked> walked = Walk(list);
        return walked.back().pen == walked.back().start;
    };
    for (int round = 0; round < 200; ++round) {
        const bool pixels = round % 2 == 0;
        const int w = any(1, 3000), h = any(1, 3000);
        SCOPED_TRACE(FormatStr("round %d: %d x %d %s", round, w, h, pixels ? "pixels" : "twips"));
        {
            TPathFixture f(pixels);
            f.edges.MoveTo(any(-500, 500), any(-500, 500));
            f.edges.MakeEllipse(w, h);
            EXPECT_TRUE(closes(f.list)) << Describe(f.list);
            EXPECT_EQ(f.edges.CurrentPos, f.edges.LastStart);
        }
        {
            TPathFixture f(pixels);
            f.edges.MakeRoundRect(w, h, any(0, w / 2), any(0, h / 2));
            EXPECT_TRUE(closes(f.list)) << Describe(f.list);
        }
        const float start = static_cast<float>(any(-720, 720)) + 0.25f, end = static_cast<float>(any(-720, 720));
        {
            TPathFixture f(pixels);
            f.edges.MakeArc(any(-500, 500), any(-500, 500), w, h, start, end, true, round % 3 == 0);
            EXPECT_TRUE(closes(f.list)) << Describe(f.list);
            EXPECT_EQ(f.edges.CurrentPos, f.edges.LastStart);
        }
        {
            TPathFixture f(pixels);
            f.edges.MoveTo(any(-500, 500), any(-500, 500));
            const TPoint centre = f.edges.CurrentPos;
            f.edges.MakePie(w, h, start, end, round % 3 == 0);
            EXPECT_TRUE(closes(f.list)) << Describe(f.list);
            EXPECT_EQ(f.edges.CurrentPos, centre);
        }
        {
            TPathFixture f(pixels);
            f.edges.MakeStar(any(-500, 500), any(-500, 500), w, h, static_cast<uint16_t>(any(2, 40)), round % 4 == 0);
            EXPECT_TRUE(closes(f.list)) << Describe(f.list);
        }
    }
}

TEST(FlashEdges, LongEdgesFitTheirRecords) {
    TPathFixture f(false);
    f.edges.LineDelta(-300000, 123457);
    // A curve is halved until its deltas fit, and still ends where it should.
    f.edges.CurveDelta(100000, 0, 0, 100000);
    int64_t x = 0, y = 0;
    for (const auto& record : f.list) {
        if (record->RecordKind == kShapeRecordStraightEdge) {
            const auto& edge = static_cast<const TSWFStraightEdgeRecord&>(*record);
            EXPECT_LE(std::max(std::abs(edge.DeltaX), std::abs(edge.DeltaY)), kMaxEdgeDelta);
            x += edge.DeltaX;
            y += edge.DeltaY;
        } else if (record->RecordKind == kShapeRecordCurvedEdge) {
            const auto& c = static_cast<const TSWFCurvedEdgeRecord&>(*record);
            EXPECT_LE(MaxAbs4(c.ControlDeltaX, c.ControlDeltaY, c.AnchorDeltaX, c.AnchorDeltaY), kMaxEdgeDelta);
            x += c.ControlDeltaX + c.AnchorDeltaX;
            y += c.ControlDeltaY + c.AnchorDeltaY;
        }
    }
    EXPECT_EQ(CountKind(f.list, kShapeRecordStraightEdge), 5u);
    EXPECT_GE(CountKind(f.list, kShapeRecordCurvedEdge), 2u);
    EXPECT_EQ(x, -200000);
    EXPECT_EQ(y, 223457);
    EXPECT_EQ(f.edges.CurrentPos, (TPoint{-200000, 223457}));
}

namespace {

struct TFloatPoint {
    double x, y;
};

double SegmentDistance(const TFloatPoint& p, const TFloatPoint& a, const TFloatPoint& b) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double length = dx * dx + dy * dy;
    double t = length > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / length : 0;
    t = std::clamp(t, 0.0, 1.0);
    return std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy));
}

double PolylineDistance(const TFloatPoint& p, const std::vector<TFloatPoint>& line) {
    double best = 1e300;
    for (size_t i = 1; i < line.size(); ++i) best = std::min(best, SegmentDistance(p, line[i - 1], line[i]));
    return best;
}

// The path after its first move, as a dense polyline of its edges.
std::vector<TFloatPoint> Flatten(const TSWFShapeRecordList& list) {
    std::vector<TFloatPoint> out;
    TFloatPoint pen{0, 0};
    for (const auto& record : list) {
        if (record->RecordKind == kShapeRecordStyleChange) {
            const auto& change = static_cast<const TSWFStyleChangeRecord&>(*record);
            if (change.StateMoveTo) pen = TFloatPoint{double(change.DeltaX), double(change.DeltaY)};
            out.push_back(pen);
        } else if (record->RecordKind == kShapeRecordStraightEdge) {
            const auto& edge = static_cast<const TSWFStraightEdgeRecord&>(*record);
            pen = TFloatPoint{pen.x + edge.DeltaX, pen.y + edge.DeltaY};
            out.push_back(pen);
        } else if (record->RecordKind == kShapeRecordCurvedEdge) {
            const auto& c = static_cast<const TSWFCurvedEdgeRecord&>(*record);
            const TFloatPoint control{pen.x + c.ControlDeltaX, pen.y + c.ControlDeltaY};
            const TFloatPoint anchor{control.x + c.AnchorDeltaX, control.y + c.AnchorDeltaY};
            for (int k = 1; k <= 16; ++k) {
                const double t = k / 16.0, u = 1 - t;
                out.push_back({u * u * pen.x + 2 * u * t * control.x + t * t * anchor.x,
                               u * u * pen.y + 2 * u * t * control.y + t * t * anchor.y});
            }
            pen = anchor;
        }
    }
    return out;
}

}  // namespace

TEST(FlashEdges, CubicApproximationStaysWithinAPixel) {
    struct Curve {
        const char* name;
        TPoint p0, p1, p2, p3;
    };
    const std::vector<Curve> curves = {
        {"arch", {0, 0}, {0, -4000}, {6000, -4000}, {6000, 0}},
        {"s-curve", {0, 0}, {6000, 0}, {0, 4000}, {6000, 4000}},
        {"loop", {0, 0}, {8000, 4000}, {-2000, 4000}, {6000, 0}},
        {"control on its start", {0, 0}, {0, 0}, {4000, 2000}, {4000, 0}},
        {"control on its end", {0, 0}, {1000, 3000}, {5000, 1000}, {5000, 1000}},
        {"wide", {-10000, 3000}, {-2000, -9000}, {6000, 15000}, {12000, -2000}},
        {"straight", {0, 0}, {1000, 1000}, {2000, 2000}, {3000, 3000}},
    };
    for (const Curve& c : curves) {
        SCOPED_TRACE(c.name);
        TPathFixture f(false);
        f.edges.MoveTo(c.p0.X, c.p0.Y);
        f.edges.MakeCubicBezier(c.p1, c.p2, c.p3, 4);
        std::vector<TFloatPoint> emitted = Flatten(f.list);
        std::vector<TFloatPoint> exact;
        for (int k = 0; k <= 1000; ++k) {
            const double t = k / 1000.0, u = 1 - t;
            auto axis = [&](double a, double b, double cc, double d) {
                return u * u * u * a + 3 * u * u * t * b + 3 * u * t * t * cc + t * t * t * d;
            };
            exact.push_back({axis(c.p0.X, c.p1.X, c.p2.X, c.p3.X), axis(c.p0.Y, c.p1.Y, c.p2.Y, c.p3.Y)});
        }
        double worst = 0;
        for (const TFloatPoint& p : exact) worst = std::max(worst, PolylineDistance(p, emitted));
        for (const TFloatPoint& p : emitted) worst = std::max(worst, PolylineDistance(p, exact));
        EXPECT_LE(worst, 20.0) << Describe(f.list);
        EXPECT_EQ(f.edges.CurrentPos, c.p3);
        // Pieces are split only as far as the tolerance needs.
        EXPECT_LE(f.list.size(), std::string(c.name) == "straight" ? 5u : 40u) << Describe(f.list);
    }
}

TEST(FlashEdges, WalksOverThePath) {
    TPathFixture ellipse(true);
    ellipse.edges.MoveTo(10, 20);
    ellipse.edges.MakeEllipse(100, 50);
    // Truncated deltas keep the curves a twip inside the box at the top and
    // bottom; the extremes there are control points.
    EXPECT_EQ(ellipse.edges.GetBoundsRect(), (TRect{200, 401, 2200, 1399}));
    TPathFixture empty(false);
    empty.list.clear();
    EXPECT_EQ(empty.edges.GetBoundsRect(), (TRect{}));
    TPathFixture single(false);
    single.edges.MoveTo(-30, 40);
    EXPECT_EQ(single.edges.GetBoundsRect(), (TRect{-30, 40, -30, 40}));

    // Clockwise on screen, where Y points down.
    TPathFixture clockwise(false);
    clockwise.edges.MakeRectangle(100, 100);
    EXPECT_TRUE(clockwise.edges.IsClockWise());
    TPathFixture counter(false);
    counter.edges.MakeRectangle(-100, 100);
    EXPECT_FALSE(counter.edges.IsClockWise());

    // An outline that starts without a move is moved as a whole; the pen
    // stays as the caller left it.
    TPathFixture moved(false);
    moved.edges.LineTo(100, 0);
    moved.edges.MoveTo(500, 500);
    moved.edges.LineTo(600, 500);
    moved.edges.OffsetEdges(10, -10, false);
    EXPECT_EQ(Describe(moved.list), "M(10,-10) L(100,0) M(510,490) L(100,0)");
    EXPECT_EQ(moved.edges.CurrentPos, (TPoint{600, 500}));

    // Drawing goes on from where the mirrored path ends.
    TPathFixture mirrored(false);
    mirrored.edges.MoveTo(100, 100);
    mirrored.edges.LineTo(200, 100);
    mirrored.edges.MakeMirror(true, false);
    mirrored.edges.LineTo(-200, 200);
    EXPECT_EQ(Describe(mirrored.list), "M(-100,100) L(-100,0) L(0,100)");
}

TEST(FlashEdges, UnitsAndTheCallersSwitch) {
    // MoveTo compares its target with the pen in the same units.
    TPathFixture f(true);
    f.edges.MoveDelta(1, 1);
    f.edges.MoveTo(20, 20);
    EXPECT_EQ(f.edges.CurrentPos, (TPoint{400, 400}));
    EXPECT_EQ(Describe(f.list), "M(400,400)");

    // The switch is transient: the closed shapes and the cubic clear it at
    // their end, the arc leaves it as it found it.
    using TShapeCall = std::function<void(TFlashEdges&)>;
    const std::pair<const char*, TShapeCall> clearing[] = {
        {"ellipse", [](TFlashEdges& e) { e.MakeEllipse(2000, 1000); }},
        {"round rect", [](TFlashEdges& e) { e.MakeRoundRect(200, 100, 10, 10); }},
        {"diamond", [](TFlashEdges& e) { e.MakeDiamond(200, 100); }},
        {"pie", [](TFlashEdges& e) { e.MakePie(100, 100, 0, 90, true); }},
        {"star", [](TFlashEdges& e) { e.MakeStar(0, 0, 100, 50, 5, false); }},
        {"cubic", [](TFlashEdges& e) { e.MakeCubicBezier({10, 10}, {20, 10}, {30, 0}, 4); }},
    };
    for (const auto& [name, call] : clearing) {
        SCOPED_TRACE(name);
        TPathFixture twips(true);
        twips.edges.IgnoreMovieSettings = true;
        call(twips.edges);
        EXPECT_FALSE(twips.edges.IgnoreMovieSettings);
        twips.edges.LineTo(40, 0);
        EXPECT_EQ(twips.edges.CurrentPos, (TPoint{800, 0}));
    }
    TPathFixture arc(true);
    arc.edges.IgnoreMovieSettings = true;
    arc.edges.MakeArc(0, 0, 100, 100, 0, 90, false, true);
    EXPECT_TRUE(arc.edges.IgnoreMovieSettings);

    // Sizes beyond 32-bit twips and angles that are not numbers are refused.
    TPathFixture huge(true);
    EXPECT_THROW(huge.edges.MakeEllipse(2000000000, 10), EConvertError);
    EXPECT_THROW(huge.edges.LineDelta(200000000, 0), EConvertError);
    EXPECT_THROW(huge.edges.MakePie(10, 10, 0, NAN, true), EConvertError);
    EXPECT_THROW(huge.edges.MakeArc(0, 0, 10, 10, 0, 1e30f, false, true), EConvertError);

    // Groups of three points make cubics; what is left over makes lines.
    TPathFixture poly(true);
    poly.edges.MakePolyBezier({{0, 0}, {10, -10}, {20, -10}, {30, 0}, {40, 0}, {50, 10}});
    std::vector<TWalked> walked = Walk(poly.list);
    EXPECT_EQ(walked.back().pen, (TPoint{1000, 200}));
    EXPECT_EQ(Describe(poly.list).substr(0, 1), "S") << "starts where the pen is, without a move";
}

TEST(FlashEdges, XmlVerbsDrawAsTheOperations) {
    const char* xml = R"(<Edges>
        <MoveTo X="10" Y="10" Fill1="1" Line="1"/>
        <LineTo X="30" Y="10"/>
        <Rectangle Width="50" Height="20"/>
        <Circle XCenter="100" YCenter="100" Radius="30"/>
        <RoundRect XMin="0" YMin="0" XMax="80" YMax="40" Radius="10"/>
        <Ellipse XMin="5" YMin="5" XMax="45" YMax="25"/>
        <Pie XCenter="200" YCenter="200" Radius="40" StartAngle="0" EndAngle="90"/>
        <Arc XCenter="300" YCenter="50" RadiusX="20" RadiusY="10" StartAngle="0" EndAngle="180" Closed="true"/>
        <Arc Radius="15" StartAngle="90" EndAngle="0" ClockWise="false"/>
        <Star XCenter="50" YCenter="300" R1="40" R2="20" Points="5" Curve="true"/>
        <Diamond Width="30" Height="40"/>
        <Polygon><P X="0" Y="0"/><P X="10" Y="0"/><P X="10" Y="10"/></Polygon>
        <Polyline><P X="1" Y="1"/></Polyline>
        <CubicBezier X0="0" Y0="0" X1="10" Y1="-20" X2="30" Y2="-20" X3="40" Y3="0"/>
        <PolyBezier X="5" Y="5"><C X1="10" Y1="0" X2="20" Y2="0" X3="25" Y3="5"/></PolyBezier>
        <Square X1="100" Y1="100" X2="150" Y2="130"/>
        <Ring XCenter="60" YCenter="60" R1="10" R2="30"/>
        <Line X1="1" Y1="2" X2="3" Y2="4"/>
        <Curve ControlX="5" ControlY="0" AnchorX="0" AnchorY="5"/>
        <Unknown X="1"/>
        <End/>
    </Edges>)";
    TXmlDocument doc;
    doc.LoadFromString(xml);
    TPathFixture loaded(true);
    loaded.edges.LoadFromXml(doc.DocumentElement(), TXMLReadWriteSettings{});

    TPathFixture made(true);
    TFlashEdges& e = made.edges;
    TSWFStyleChangeRecord* first = e.GetStyleChangeRecord();
    first->SetFill1Id(1);
    first->SetLineId(1);
    e.MoveTo(10, 10);
    e.LineTo(30, 10);
    e.MakeRectangle(50, 20);
    e.MoveTo(70, 70);
    e.MakeEllipse(60, 60);
    e.MoveTo(0, 0);
    e.MakeRoundRect(80, 40, 10, 10);
    e.MoveTo(5, 5);
    e.MakeEllipse(40, 20);
    e.MoveTo(200, 200);
    e.MakePie(40, 40, 0, 90, true);
    e.MoveTo(300, 50);
    e.MakeArc(300, 50, 20, 10, 0, 180, true, true);
    // Without a centre the arc is centred on the pen.
    e.IgnoreMovieSettings = true;
    e.MakeArc(e.CurrentPos.X, e.CurrentPos.Y, 300, 300, 90, 0, false, false);
    e.IgnoreMovieSettings = false;
    e.MakeStar(50, 300, 40, 20, 5, true);
    e.MakeDiamond(30, 40);
    e.MoveTo(0, 0);
    e.LineTo(10, 0);
    e.LineTo(10, 10);
    e.CloseShape();
    e.MoveTo(0, 0);
    e.MakeCubicBezier({10, -20}, {30, -20}, {40, 0}, 4);
    e.MoveTo(5, 5);
    e.MakeCubicBezier({10, 0}, {20, 0}, {25, 5}, 4);
    // The side of the box the corners span, not the larger corner's value.
    e.MoveTo(100, 100);
    e.MakeRectangle(30, 30);
    e.MoveTo(30, 30);
    e.MakeEllipse(60, 60);
    e.MoveTo(50, 50);
    e.MakeEllipse(20, 20);
    e.MoveTo(1, 2);
    e.LineTo(3, 4);
    e.CurveDelta(5, 0, 0, 5);
    e.FinishEdges();

    EXPECT_EQ(Describe(loaded.list), Describe(made.list));
    EXPECT_EQ(loaded.edges.CurrentPos, made.edges.CurrentPos);
    const auto& change = static_cast<const TSWFStyleChangeRecord&>(*loaded.list.front());
    EXPECT_TRUE(change.StateFillStyle1 && change.StateLineStyle);
    EXPECT_EQ(change.Fill1Id, 1);
    EXPECT_EQ(change.LineId, 1);

    TXmlDocument bad;
    bad.LoadFromString(R"(<Edges><LineTo X="ten" Y="0"/></Edges>)");
    EXPECT_THROW(loaded.edges.LoadFromXml(bad.DocumentElement(), TXMLReadWriteSettings{}), EConvertError);
}
