// The path builder of the movie builder. It appends SWF shape records
// (style changes, straight and curved edges, the end record) to a record
// list that belongs to its owner: a shape, a morph shape, a glyph or the
// drawing canvas. Callers give coordinates in movie units; the builder keeps
// its pen in twips, turns every primitive (lines, quadratic and cubic curves,
// rectangles, rounded rectangles, ellipses, arcs, pies, diamonds, stars,
// poly-Beziers) into straight and quadratic edges, and splits edges that do
// not fit a record. It also builds a path from an XML element of verbs.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/xml.h"
#include "swf/shape_records.h"

class TFlashMovie;

class TFlashEdges {
public:
    // Makes sure a style-change record ends list (with fill style 1 set to
    // 0 explicitly). The list is borrowed and never freed here.
    explicit TFlashEdges(TSWFShapeRecordList& list, TFlashMovie* owner = nullptr);
    TFlashEdges(const TFlashEdges&) = delete;
    TFlashEdges& operator=(const TFlashEdges&) = delete;

    TPoint CurrentPos;          // twips, pen after the last record appended
    TPoint LastStart;           // twips, start of the current contour
    TFlashMovie* Owner;         // source of the unit factor; may be none
    bool IgnoreMovieSettings = false;  // arguments are already twips
    // Merges a new straight edge into the previous one where it can.
    bool OptimizeMode = false;

    TSWFShapeRecordList& ListEdges() { return list_; }
    const TSWFShapeRecordList& ListEdges() const { return list_; }
    // 1 with IgnoreMovieSettings or without a movie, else the movie's factor.
    int32_t UnitFactor() const;

    // The last record when it is a style change, else a new one appended.
    TSWFStyleChangeRecord* GetStyleChangeRecord();
    void FinishEdges();
    // Window order, twips; every point of the path, control points included.
    TRect GetBoundsRect() const;
    bool IsClockWise() const;
    // Closes every contour but the last with a straight edge to its start.
    void CloseAllContours();
    // About the axes through the origin, not the path's own centre.
    void MakeMirror(bool horz, bool vert);
    // Moves the move-to points only; the edges are relative and follow.
    void OffsetEdges(int32_t dx, int32_t dy, bool useUnitFactor);

    // ---- the pen (movie units); each returns the record it appended, or none
    TSWFStyleChangeRecord* MoveTo(int32_t x, int32_t y);
    TSWFStyleChangeRecord* MoveDelta(int32_t dx, int32_t dy);
    TSWFStraightEdgeRecord* LineTo(int32_t x, int32_t y);
    TSWFStraightEdgeRecord* LineTo(const TPoint& p) { return LineTo(p.X, p.Y); }
    TSWFStraightEdgeRecord* LineDelta(int32_t dx, int32_t dy);
    // Control and anchor absolute.
    TSWFCurvedEdgeRecord* CurveTo(int32_t cx, int32_t cy, int32_t ax, int32_t ay);
    // Control relative to the pen, anchor relative to the control point.
    TSWFCurvedEdgeRecord* CurveDelta(int32_t cx, int32_t cy, int32_t ax, int32_t ay);
    // A line back to the start of the contour, when the pen is elsewhere.
    TSWFStraightEdgeRecord* CloseShape();

    // ---- shapes (movie units; the current point is the pen)
    // Top-left corner at the pen.
    void MakeRectangle(int32_t w, int32_t h);
    void MakeRoundRect(int32_t w, int32_t h, int32_t rx, int32_t ry);
    void MakeEllipse(int32_t w, int32_t h);
    // The pen is the top vertex.
    void MakeDiamond(int32_t w, int32_t h);
    // Angles in degrees; a positive angle turns clockwise on screen.
    void MakePie(int32_t rx, int32_t ry, float startAngle, float endAngle, bool clockWise = true);
    void MakeArc(int32_t x, int32_t y, int32_t rx, int32_t ry, float startAngle, float endAngle, bool closed,
                 bool clockWise = true);
    // numPoints is clamped to 2..360; curved makes the inner points controls.
    void MakeStar(int32_t x, int32_t y, int32_t r1, int32_t r2, uint16_t numPoints, bool curved = false);
    // A cubic from the pen, approximated by quadratic curves.
    void MakeCubicBezier(const TPoint& p1, const TPoint& p2, const TPoint& p3, uint8_t parts = 4);
    // Cubics through groups of three points; start (-1, -1) starts at points[0].
    void MakePolyBezier(const std::vector<TPoint>& points, const TPoint& start = TPoint{-1, -1});

    // Reads the verbs of element in order; unknown names are skipped.
    void LoadFromXml(const TXmlNode& node, const TXMLReadWriteSettings& settings);

private:
    TSWFShapeRecordList& list_;

    int64_t Scaled(int64_t v) const { return v * UnitFactor(); }
    static int32_t Checked(int64_t twips);
    TSWFStyleChangeRecord* MoveToTwips(int32_t x, int32_t y);
    TSWFStyleChangeRecord* MoveDeltaTwips(int64_t dx, int64_t dy);
    // Straight edges in twips: merged or split as a record requires.
    TSWFStraightEdgeRecord* StraightEdge(int32_t dx, int32_t dy);
    // Curves in twips; degenerate ones become straight edges.
    TSWFCurvedEdgeRecord* CurveEdge(int32_t cx, int32_t cy, int32_t ax, int32_t ay);
    void AppendCurve(int32_t cx, int32_t cy, int32_t ax, int32_t ay);
    void EllipseCurve(int i, int64_t w, int64_t h);
    void RoundRectTwips(int64_t w, int64_t h, int64_t rx, int64_t ry);
    void ArcSegments(int64_t x, int64_t y, int64_t rx, int64_t ry, double startAngle, double endAngle,
                     bool clockWise, bool pie, bool closed);
    void CubicTwips(const TPoint& p1, const TPoint& p2, const TPoint& p3, int parts);
};
