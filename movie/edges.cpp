#include "movie/edges.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include "movie/flash_movie.h"
#include "platform/codepage.h"
#include "platform/errors.h"
#include "platform/mathutil.h"
#include "swf/xml_form.h"

namespace {

constexpr long double kPi = 3.14159265358979323846264338327950288L;

// The ellipse as eight quadratic curves: per curve the signs of control X,
// control Y, anchor X and anchor Y, starting at the right-hand middle point
// and turning clockwise on screen.
constexpr int kEllipseSigns[8][4] = {
    {0, 1, -1, 1}, {-1, 1, -1, 0}, {-1, 0, -1, -1}, {-1, -1, 0, -1},
    {0, -1, 1, -1}, {1, -1, 1, 0}, {1, 0, 1, 1}, {1, 1, 0, 1},
};
// Relative to the full width or height: half of tan 22.5 degrees and half of
// 1 - cos 45 degrees. Two curves make a quarter.
constexpr long double kEllipseControl = 0.207L;
constexpr long double kEllipseAnchor = 0.1465L;
// Twips a quadratic piece may stray from the cubic it stands for.
constexpr long double kCubicTolerance = 10.0L;

// Coordinates in twips are 32-bit; anything computed beyond that (or not a
// number at all) is refused rather than wrapped.
long double InRange(long double v, long double limit) {
    if (!(v > -limit && v < limit))
        throw EConvertError(FormatStr("The coordinate %Lg twips lies outside the range of a shape", v));
    return v;
}
int32_t Rnd(long double v) { return static_cast<int32_t>(RoundHalfEven(static_cast<double>(InRange(v, 2147483647.0L)))); }
int32_t TruncTo(long double v) { return static_cast<int32_t>(std::trunc(InRange(v, 2147483648.0L))); }
// Tangent directions, which may be longer than any coordinate.
int64_t RndWide(long double v) { return RoundHalfEven(static_cast<double>(InRange(v, 1e18L))); }
long double Radians(long double degrees) { return degrees * kPi / 180.0L; }

bool SameSign(int32_t a, int32_t b) { return (a < 0 && b < 0) || (a > 0 && b > 0); }

int64_t RoundedLength(int64_t dx, int64_t dy) {
    return RndWide(std::sqrt(static_cast<long double>(dx) * dx + static_cast<long double>(dy) * dy));
}

// Rounded as rnd does, for values that may lie far outside the plane (the
// meeting point of nearly parallel tangents): those are left as they are.
long double RndLoose(long double v) {
    return std::fabs(v) < 1e15L ? static_cast<long double>(RoundHalfEven(static_cast<double>(v))) : v;
}

// One sample of a cubic: the rounded point and the tangent through it as
// slope and intercept, or vertical.
struct TCubicSample {
    long double t = 0;
    TPoint point;
    bool vertical = false;
    long double slope = 0, intercept = 0;
};

TCubicSample SampleWithDirection(long double t, TPoint point, int64_t dirX, int64_t dirY) {
    TCubicSample s;
    s.t = t;
    s.point = point;
    if (dirX == 0) {
        s.vertical = true;
    } else {
        s.slope = static_cast<long double>(dirY) / static_cast<long double>(dirX);
        s.intercept = point.Y - s.slope * point.X;
    }
    return s;
}

}  // namespace

TFlashEdges::TFlashEdges(TSWFShapeRecordList& list, TFlashMovie* owner) : Owner(owner), list_(list) {
    GetStyleChangeRecord()->SetFill1Id(0);
}

int32_t TFlashEdges::UnitFactor() const {
    if (IgnoreMovieSettings || Owner == nullptr) return 1;
    return Owner->UnitFactor;
}

int32_t TFlashEdges::Checked(int64_t twips) {
    if (twips < std::numeric_limits<int32_t>::min() || twips > std::numeric_limits<int32_t>::max())
        throw EConvertError(FormatStr("The coordinate %lld twips lies outside the range of a shape",
                                      static_cast<long long>(twips)));
    return static_cast<int32_t>(twips);
}

TSWFStyleChangeRecord* TFlashEdges::GetStyleChangeRecord() {
    if (!list_.empty() && list_.back()->RecordKind == kShapeRecordStyleChange)
        return static_cast<TSWFStyleChangeRecord*>(list_.back().get());
    list_.push_back(std::make_unique<TSWFStyleChangeRecord>());
    return static_cast<TSWFStyleChangeRecord*>(list_.back().get());
}

void TFlashEdges::FinishEdges() { list_.push_back(std::make_unique<TSWFEndShapeRecord>()); }

// ---------------------------------------------------------------- walks over the path

TRect TFlashEdges::GetBoundsRect() const {
    if (list_.empty()) return TRect{};
    TPoint pen;
    // The first record's point whatever its flags: an outline that starts
    // without a move starts at its (0, 0).
    if (list_.front()->RecordKind == kShapeRecordStyleChange) {
        const auto& first = static_cast<const TSWFStyleChangeRecord&>(*list_.front());
        pen = TPoint{first.DeltaX, first.DeltaY};
    }
    TRect r{pen.X, pen.Y, pen.X, pen.Y};
    auto include = [&r](const TPoint& p) {
        r.Left = std::min(r.Left, p.X);
        r.Top = std::min(r.Top, p.Y);
        r.Right = std::max(r.Right, p.X);
        r.Bottom = std::max(r.Bottom, p.Y);
    };
    for (const auto& record : list_) {
        switch (record->RecordKind) {
            case kShapeRecordStyleChange: {
                const auto& change = static_cast<const TSWFStyleChangeRecord&>(*record);
                // A record that does not move leaves the pen where it is.
                if (change.StateMoveTo) pen = TPoint{change.DeltaX, change.DeltaY};
                include(pen);
                break;
            }
            case kShapeRecordStraightEdge: {
                const auto& edge = static_cast<const TSWFStraightEdgeRecord&>(*record);
                pen.X += edge.DeltaX;
                pen.Y += edge.DeltaY;
                include(pen);
                break;
            }
            case kShapeRecordCurvedEdge: {
                const auto& curve = static_cast<const TSWFCurvedEdgeRecord&>(*record);
                pen.X += curve.ControlDeltaX;
                pen.Y += curve.ControlDeltaY;
                include(pen);
                pen.X += curve.AnchorDeltaX;
                pen.Y += curve.AnchorDeltaY;
                include(pen);
                break;
            }
            default:
                break;
        }
    }
    return r;
}

bool TFlashEdges::IsClockWise() const {
    if (list_.size() <= 2) return true;
    TPoint p0, p1, p2;
    int counter = 0;
    for (size_t i = 0; i < list_.size(); ++i) {
        const TSWFShapeRecord& record = *list_[i];
        TPoint delta;
        switch (record.RecordKind) {
            case kShapeRecordStyleChange: {
                const auto& change = static_cast<const TSWFStyleChangeRecord&>(record);
                p0 = TPoint{change.DeltaX, change.DeltaY};
                continue;
            }
            case kShapeRecordStraightEdge: {
                const auto& edge = static_cast<const TSWFStraightEdgeRecord&>(record);
                delta = TPoint{edge.DeltaX, edge.DeltaY};
                break;
            }
            case kShapeRecordCurvedEdge: {
                const auto& curve = static_cast<const TSWFCurvedEdgeRecord&>(record);
                delta = TPoint{curve.ControlDeltaX + curve.AnchorDeltaX, curve.ControlDeltaY + curve.AnchorDeltaY};
                break;
            }
            default:
                continue;
        }
        if (i <= 1) {
            p1 = TPoint{p0.X + delta.X, p0.Y + delta.Y};
            continue;
        }
        p2 = TPoint{p1.X + delta.X, p1.Y + delta.Y};
        int64_t cross = int64_t(p0.X - p2.X) * (p1.Y - p2.Y) - int64_t(p0.Y - p2.Y) * (p1.X - p2.X);
        counter += (cross > 0) - (cross < 0);
        p0 = p1;
        p1 = p2;
    }
    return counter > 0;
}

void TFlashEdges::CloseAllContours() {
    TPoint start, pen;
    bool drawn = false;
    for (size_t i = 0; i < list_.size(); ++i) {
        TSWFShapeRecord& record = *list_[i];
        switch (record.RecordKind) {
            case kShapeRecordStyleChange: {
                if (drawn && (pen.X != start.X || pen.Y != start.Y)) {
                    // In front of this record: the pieces of the closing
                    // edge, split as any edge longer than a record holds.
                    TSWFShapeRecordList closing;
                    int64_t dx = int64_t(start.X) - pen.X, dy = int64_t(start.Y) - pen.Y;
                    int64_t n = std::max((std::abs(dx) + kMaxEdgeDelta - 1) / kMaxEdgeDelta,
                                         (std::abs(dy) + kMaxEdgeDelta - 1) / kMaxEdgeDelta);
                    for (int64_t k = 1; k <= n; ++k) {
                        auto edge = std::make_unique<TSWFStraightEdgeRecord>();
                        edge->DeltaX = Rnd(static_cast<long double>(dx) / n * k) - Rnd(static_cast<long double>(dx) / n * (k - 1));
                        edge->DeltaY = Rnd(static_cast<long double>(dy) / n * k) - Rnd(static_cast<long double>(dy) / n * (k - 1));
                        closing.push_back(std::move(edge));
                    }
                    size_t count = closing.size();
                    list_.insert(list_.begin() + static_cast<ptrdiff_t>(i), std::make_move_iterator(closing.begin()),
                                 std::make_move_iterator(closing.end()));
                    i += count;
                }
                const auto& change = static_cast<const TSWFStyleChangeRecord&>(*list_[i]);
                if (change.StateMoveTo) pen = TPoint{change.DeltaX, change.DeltaY};
                start = pen;
                drawn = false;
                break;
            }
            case kShapeRecordStraightEdge: {
                const auto& edge = static_cast<const TSWFStraightEdgeRecord&>(record);
                pen.X += edge.DeltaX;
                pen.Y += edge.DeltaY;
                drawn = true;
                break;
            }
            case kShapeRecordCurvedEdge: {
                const auto& curve = static_cast<const TSWFCurvedEdgeRecord&>(record);
                pen.X += curve.ControlDeltaX + curve.AnchorDeltaX;
                pen.Y += curve.ControlDeltaY + curve.AnchorDeltaY;
                drawn = true;
                break;
            }
            default:
                break;
        }
    }
}

void TFlashEdges::MakeMirror(bool horz, bool vert) {
    const int sx = horz ? -1 : 1, sy = vert ? -1 : 1;
    for (auto& record : list_) {
        switch (record->RecordKind) {
            case kShapeRecordStyleChange:
            case kShapeRecordStraightEdge: {
                auto& edge = static_cast<TSWFStraightEdgeRecord&>(*record);
                edge.DeltaX *= sx;
                edge.DeltaY *= sy;
                break;
            }
            case kShapeRecordCurvedEdge: {
                auto& curve = static_cast<TSWFCurvedEdgeRecord&>(*record);
                curve.ControlDeltaX *= sx;
                curve.ControlDeltaY *= sy;
                curve.AnchorDeltaX *= sx;
                curve.AnchorDeltaY *= sy;
                break;
            }
            default:
                break;
        }
    }
    // The pen goes with the path, so that drawing on continues from where
    // the mirrored path ends.
    CurrentPos = TPoint{CurrentPos.X * sx, CurrentPos.Y * sy};
    LastStart = TPoint{LastStart.X * sx, LastStart.Y * sy};
}

void TFlashEdges::OffsetEdges(int32_t dx, int32_t dy, bool useUnitFactor) {
    const int64_t f = useUnitFactor ? UnitFactor() : 1;
    const int32_t ox = Checked(dx * f), oy = Checked(dy * f);
    bool first = true;
    for (auto& record : list_) {
        if (record->RecordKind != kShapeRecordStyleChange) continue;
        auto& change = static_cast<TSWFStyleChangeRecord&>(*record);
        // A record without a move leaves the pen where the (already moved)
        // edges before it end; only the first one starts from the origin,
        // so it gets an explicit move.
        if (change.StateMoveTo || first)
            change.SetMoveTo(Checked(int64_t(change.DeltaX) + ox), Checked(int64_t(change.DeltaY) + oy));
        first = false;
    }
}

// ---------------------------------------------------------------- the pen

TSWFStyleChangeRecord* TFlashEdges::MoveToTwips(int32_t x, int32_t y) {
    TSWFStyleChangeRecord* record = GetStyleChangeRecord();
    if (list_.size() <= 1 && x == CurrentPos.X && y == CurrentPos.Y) return record;
    CurrentPos = TPoint{x, y};
    record->SetMoveTo(x, y);
    LastStart = CurrentPos;
    return record;
}

TSWFStyleChangeRecord* TFlashEdges::MoveTo(int32_t x, int32_t y) {
    return MoveToTwips(Checked(Scaled(x)), Checked(Scaled(y)));
}

TSWFStyleChangeRecord* TFlashEdges::MoveDeltaTwips(int64_t dx, int64_t dy) {
    TSWFStyleChangeRecord* record = GetStyleChangeRecord();
    if (dx == 0 && dy == 0) return record;
    CurrentPos = TPoint{Checked(CurrentPos.X + dx), Checked(CurrentPos.Y + dy)};
    record->SetMoveTo(CurrentPos.X, CurrentPos.Y);
    LastStart = CurrentPos;
    return record;
}

TSWFStyleChangeRecord* TFlashEdges::MoveDelta(int32_t dx, int32_t dy) { return MoveDeltaTwips(Scaled(dx), Scaled(dy)); }

TSWFStraightEdgeRecord* TFlashEdges::StraightEdge(int32_t dx, int32_t dy) {
    if (dx == 0 && dy == 0) return nullptr;
    CurrentPos = TPoint{Checked(int64_t(CurrentPos.X) + dx), Checked(int64_t(CurrentPos.Y) + dy)};
    if (OptimizeMode && !list_.empty() && list_.back()->RecordKind == kShapeRecordStraightEdge) {
        auto& last = static_cast<TSWFStraightEdgeRecord&>(*list_.back());
        if (last.DeltaX == 0 && dx == 0 && SameSign(last.DeltaY, dy) &&
            std::abs(int64_t(last.DeltaY) + dy) < kMaxEdgeDelta) {
            last.DeltaY += dy;
            return nullptr;
        }
        if (last.DeltaY == 0 && dy == 0 && SameSign(last.DeltaX, dx) &&
            std::abs(int64_t(last.DeltaX) + dx) < kMaxEdgeDelta) {
            last.DeltaX += dx;
            return nullptr;
        }
        if (dx == last.DeltaX && dy == last.DeltaY && RoundedLength(2 * int64_t(dx), 2 * int64_t(dy)) < kMaxEdgeDelta) {
            last.DeltaX *= 2;
            last.DeltaY *= 2;
            return nullptr;
        }
    }
    // Equal pieces rounded so that they add up to the delta exactly. The
    // count is not limited to a byte: an edge of any length is split.
    const int64_t n = std::max((std::abs(int64_t(dx)) + kMaxEdgeDelta - 1) / kMaxEdgeDelta,
                               (std::abs(int64_t(dy)) + kMaxEdgeDelta - 1) / kMaxEdgeDelta);
    TSWFStraightEdgeRecord* piece = nullptr;
    for (int64_t i = 1; i <= n; ++i) {
        auto edge = std::make_unique<TSWFStraightEdgeRecord>();
        const long double stepX = static_cast<long double>(dx) / n, stepY = static_cast<long double>(dy) / n;
        edge->DeltaX = Rnd(stepX * i) - Rnd(stepX * (i - 1));
        edge->DeltaY = Rnd(stepY * i) - Rnd(stepY * (i - 1));
        piece = edge.get();
        list_.push_back(std::move(edge));
    }
    return piece;
}

TSWFStraightEdgeRecord* TFlashEdges::LineTo(int32_t x, int32_t y) {
    const int64_t tx = Scaled(x), ty = Scaled(y);
    if (tx == CurrentPos.X && ty == CurrentPos.Y) return nullptr;
    return StraightEdge(Checked(tx - CurrentPos.X), Checked(ty - CurrentPos.Y));
}

TSWFStraightEdgeRecord* TFlashEdges::LineDelta(int32_t dx, int32_t dy) {
    if (dx == 0 && dy == 0) return nullptr;
    return StraightEdge(Checked(Scaled(dx)), Checked(Scaled(dy)));
}

void TFlashEdges::AppendCurve(int32_t cx, int32_t cy, int32_t ax, int32_t ay) {
    if (MaxAbs4(cx, cy, ax, ay) > kMaxEdgeDelta) {
        // Too long for one record: halved at its middle, with the halves'
        // points rounded so that their deltas still add up exactly.
        const int64_t mx = Rnd((3.0L * cx + ax) / 4.0L), my = Rnd((3.0L * cy + ay) / 4.0L);
        const int64_t c1x = Rnd(cx / 2.0L), c1y = Rnd(cy / 2.0L);
        const int64_t c2x = Rnd(cx + ax / 2.0L), c2y = Rnd(cy + ay / 2.0L);
        AppendCurve(static_cast<int32_t>(c1x), static_cast<int32_t>(c1y), static_cast<int32_t>(mx - c1x),
                    static_cast<int32_t>(my - c1y));
        AppendCurve(static_cast<int32_t>(c2x - mx), static_cast<int32_t>(c2y - my),
                    static_cast<int32_t>(int64_t(cx) + ax - c2x), static_cast<int32_t>(int64_t(cy) + ay - c2y));
        return;
    }
    auto curve = std::make_unique<TSWFCurvedEdgeRecord>();
    curve->ControlDeltaX = cx;
    curve->ControlDeltaY = cy;
    curve->AnchorDeltaX = ax;
    curve->AnchorDeltaY = ay;
    list_.push_back(std::move(curve));
}

TSWFCurvedEdgeRecord* TFlashEdges::CurveEdge(int32_t cx, int32_t cy, int32_t ax, int32_t ay) {
    if (cx == 0 && cy == 0) {
        StraightEdge(ax, ay);
    } else if (ax == 0 && ay == 0) {
        StraightEdge(cx, cy);
    } else if (cy == 0 && ay == 0) {
        StraightEdge(Checked(int64_t(cx) + ax), 0);
    } else if (cx != 0 || ax != 0) {
        CurrentPos = TPoint{Checked(int64_t(CurrentPos.X) + cx + ax), Checked(int64_t(CurrentPos.Y) + cy + ay)};
        AppendCurve(cx, cy, ax, ay);
        return static_cast<TSWFCurvedEdgeRecord*>(list_.back().get());
    } else {
        StraightEdge(0, Checked(int64_t(cy) + ay));
    }
    return nullptr;
}

TSWFCurvedEdgeRecord* TFlashEdges::CurveTo(int32_t cx, int32_t cy, int32_t ax, int32_t ay) {
    const int64_t tcx = Scaled(cx), tcy = Scaled(cy), tax = Scaled(ax), tay = Scaled(ay);
    if (tax == CurrentPos.X && tay == CurrentPos.Y) return nullptr;
    return CurveEdge(Checked(tcx - CurrentPos.X), Checked(tcy - CurrentPos.Y), Checked(tax - tcx), Checked(tay - tcy));
}

TSWFCurvedEdgeRecord* TFlashEdges::CurveDelta(int32_t cx, int32_t cy, int32_t ax, int32_t ay) {
    return CurveEdge(Checked(Scaled(cx)), Checked(Scaled(cy)), Checked(Scaled(ax)), Checked(Scaled(ay)));
}

TSWFStraightEdgeRecord* TFlashEdges::CloseShape() {
    if (CurrentPos.X == LastStart.X && CurrentPos.Y == LastStart.Y) return nullptr;
    return StraightEdge(Checked(int64_t(LastStart.X) - CurrentPos.X), Checked(int64_t(LastStart.Y) - CurrentPos.Y));
}

// ---------------------------------------------------------------- shapes
//
// The shapes work in twips: the public operations scale their arguments
// once and call the twips forms below, so IgnoreMovieSettings is never
// switched on for the calls they make. It is a transient switch all the same:
// the closed shapes and the cubic end by clearing it, whatever the caller
// left in it, so a caller's twips call cannot leak into its next pixel call.

void TFlashEdges::MakeRectangle(int32_t w, int32_t h) {
    LineDelta(w, 0);
    LineDelta(0, h);
    LineDelta(-w, 0);
    LineDelta(0, -h);
}

void TFlashEdges::EllipseCurve(int i, int64_t w, int64_t h) {
    const int* t = kEllipseSigns[i];
    const long double control = i % 2 == 0 ? kEllipseControl : kEllipseAnchor;
    const long double anchor = i % 2 == 0 ? kEllipseAnchor : kEllipseControl;
    CurveEdge(TruncTo(t[0] * control * w), TruncTo(t[1] * control * h), TruncTo(t[2] * anchor * w),
              TruncTo(t[3] * anchor * h));
}

void TFlashEdges::MakeEllipse(int32_t w, int32_t h) {
    const int64_t tw = Scaled(w), th = Scaled(h);
    MoveDeltaTwips(tw, th / 2);
    for (int i = 0; i < 8; ++i) EllipseCurve(i, tw, th);
    IgnoreMovieSettings = false;
}

void TFlashEdges::RoundRectTwips(int64_t w, int64_t h, int64_t rx, int64_t ry) {
    MoveDeltaTwips(w, ry);
    for (int i = 0; i < 8; ++i) {
        switch (i) {
            case 0: StraightEdge(0, Checked(h - 2 * ry)); break;
            case 2: StraightEdge(Checked(-(w - 2 * rx)), 0); break;
            case 4: StraightEdge(0, Checked(-(h - 2 * ry))); break;
            case 6: StraightEdge(Checked(w - 2 * rx), 0); break;
            default: break;
        }
        EllipseCurve(i, 2 * rx, 2 * ry);
    }
}

void TFlashEdges::MakeRoundRect(int32_t w, int32_t h, int32_t rx, int32_t ry) {
    RoundRectTwips(Scaled(w), Scaled(h), Scaled(rx), Scaled(ry));
    IgnoreMovieSettings = false;
}

void TFlashEdges::MakeDiamond(int32_t w, int32_t h) {
    const int32_t hw = Checked(Scaled(w) / 2), hh = Checked(Scaled(h) / 2);
    StraightEdge(hw, hh);
    StraightEdge(-hw, hh);
    StraightEdge(-hw, -hh);
    StraightEdge(hw, -hh);
    IgnoreMovieSettings = false;
}

void TFlashEdges::ArcSegments(int64_t x, int64_t y, int64_t rx, int64_t ry, double startAngle, double endAngle,
                              bool clockWise, bool pie, bool closed) {
    if (!std::isfinite(startAngle) || !std::isfinite(endAngle))
        throw EConvertError("An arc needs finite start and end angles");
    if (endAngle < startAngle) endAngle += 360.0;
    // Beyond a full turn the arc goes round again; a sweep that would need
    // more segments than any outline can hold is refused.
    const long double sweep = static_cast<long double>(endAngle) - startAngle;
    if (sweep > 1e6L) throw EConvertError(FormatStr("An arc of %Lg degrees is too long to draw", sweep));
    const int64_t n = std::max<int64_t>(1, static_cast<int64_t>(std::ceil(sweep / 45.0L)));
    const long double step = sweep / n;
    const long double d = clockWise ? 1.0L : -1.0L;
    auto point = [&](int64_t i) {
        const long double a = Radians((startAngle + i * step) * d);
        return TPoint{Checked(TruncTo(std::cos(a) * rx) + x), Checked(TruncTo(std::sin(a) * ry) + y)};
    };
    const long double widen = std::cos(Radians(step / 2.0L));
    auto control = [&](int64_t i) {
        const long double a = Radians((startAngle + i * step) * d - (step / 2.0L) * d);
        return TPoint{Checked(TruncTo(std::cos(a) * (rx / widen)) + x), Checked(TruncTo(std::sin(a) * (ry / widen)) + y)};
    };
    const TPoint first = point(0);
    if (pie) StraightEdge(first.X, first.Y);
    else MoveToTwips(first.X, first.Y);
    TPoint previous = first;
    for (int64_t i = 1; i <= n; ++i) {
        const TPoint c = control(i), p = point(i);
        CurveEdge(Checked(int64_t(c.X) - previous.X), Checked(int64_t(c.Y) - previous.Y),
                  Checked(int64_t(p.X) - c.X), Checked(int64_t(p.Y) - c.Y));
        previous = p;
    }
    if (pie) StraightEdge(-previous.X, -previous.Y);
    else if (closed) StraightEdge(Checked(int64_t(first.X) - previous.X), Checked(int64_t(first.Y) - previous.Y));
}

void TFlashEdges::MakePie(int32_t rx, int32_t ry, float startAngle, float endAngle, bool clockWise) {
    ArcSegments(0, 0, Scaled(rx), Scaled(ry), startAngle, endAngle, clockWise, true, false);
    IgnoreMovieSettings = false;
}

void TFlashEdges::MakeArc(int32_t x, int32_t y, int32_t rx, int32_t ry, float startAngle, float endAngle, bool closed,
                          bool clockWise) {
    ArcSegments(Scaled(x), Scaled(y), Scaled(rx), Scaled(ry), startAngle, endAngle, clockWise, false, closed);
}

void TFlashEdges::MakeStar(int32_t x, int32_t y, int32_t r1, int32_t r2, uint16_t numPoints, bool curved) {
    const int64_t cx = Scaled(x), cy = Scaled(y), outer = Scaled(r1), inner = Scaled(r2);
    const int count = std::clamp<int>(numPoints, 2, 360);
    const long double step = 2.0L * kPi / count;
    long double angle = -kPi / 2.0L;
    auto at = [&](long double a, int64_t r) {
        return TPoint{Checked(cx + Rnd(std::cos(a) * r)), Checked(cy + Rnd(std::sin(a) * r))};
    };
    const TPoint start = at(angle, outer);
    MoveToTwips(start.X, start.Y);
    for (int i = 0; i < count; ++i) {
        const TPoint in = at(angle + step / 2.0L, inner);
        angle += step;
        const TPoint out = at(angle, outer);
        if (curved) {
            if (out.X != CurrentPos.X || out.Y != CurrentPos.Y)
                CurveEdge(Checked(int64_t(in.X) - CurrentPos.X), Checked(int64_t(in.Y) - CurrentPos.Y),
                          Checked(int64_t(out.X) - in.X), Checked(int64_t(out.Y) - in.Y));
        } else {
            StraightEdge(Checked(int64_t(in.X) - CurrentPos.X), Checked(int64_t(in.Y) - CurrentPos.Y));
            StraightEdge(Checked(int64_t(out.X) - CurrentPos.X), Checked(int64_t(out.Y) - CurrentPos.Y));
        }
    }
    IgnoreMovieSettings = false;
}

void TFlashEdges::MakeCubicBezier(const TPoint& p1, const TPoint& p2, const TPoint& p3, uint8_t parts) {
    auto scaled = [this](const TPoint& p) { return TPoint{Checked(Scaled(p.X)), Checked(Scaled(p.Y))}; };
    CubicTwips(scaled(p1), scaled(p2), scaled(p3), parts);
    IgnoreMovieSettings = false;
}

void TFlashEdges::CubicTwips(const TPoint& p1, const TPoint& p2, const TPoint& p3, int parts) {
    const TPoint p0 = CurrentPos;
    if (parts < 1) parts = 1;
    // Per axis B(t) = P0 + e t + g t^2 + h t^3.
    const long double ex = 3.0L * (p1.X - p0.X), ey = 3.0L * (p1.Y - p0.Y);
    const long double gx = 3.0L * (p2.X - p1.X) - ex, gy = 3.0L * (p2.Y - p1.Y) - ey;
    const long double hx = p3.X - p0.X - gx - ex, hy = p3.Y - p0.Y - gy - ey;
    // A control point lying on its end point leaves no tangent there; the
    // curve then leaves towards (or arrives from) the other control point.
    auto sample = [&](long double t) {
        if (t == 0) {
            int64_t dx = int64_t(p1.X) - p0.X, dy = int64_t(p1.Y) - p0.Y;
            if (dx == 0 && dy == 0) dx = int64_t(p2.X) - p0.X, dy = int64_t(p2.Y) - p0.Y;
            return SampleWithDirection(0, p0, dx, dy);
        }
        const TPoint point{Checked(Rnd(p0.X + ex * t + gx * t * t + hx * t * t * t)),
                           Checked(Rnd(p0.Y + ey * t + gy * t * t + hy * t * t * t))};
        int64_t dx = RndWide(ex + 2 * gx * t + 3 * hx * t * t), dy = RndWide(ey + 2 * gy * t + 3 * hy * t * t);
        if (dx == 0 && dy == 0 && t == 1) dx = int64_t(p3.X) - p1.X, dy = int64_t(p3.Y) - p1.Y;
        return SampleWithDirection(t, point, dx, dy);
    };
    auto lineTo = [this](const TPoint& p) {
        if (p.X != CurrentPos.X || p.Y != CurrentPos.Y)
            StraightEdge(Checked(int64_t(p.X) - CurrentPos.X), Checked(int64_t(p.Y) - CurrentPos.Y));
    };
    auto curveTo = [this](const TPoint& c, const TPoint& a) {
        if (a.X == CurrentPos.X && a.Y == CurrentPos.Y) return;
        CurveEdge(Checked(int64_t(c.X) - CurrentPos.X), Checked(int64_t(c.Y) - CurrentPos.Y),
                  Checked(int64_t(a.X) - c.X), Checked(int64_t(a.Y) - c.Y));
    };
    // The tangents' meeting point can lie within reach of both ends and
    // still bend the piece away from the cubic (long pieces, inflections):
    // the quadratic must also stay within the tolerance of the cubic, each
    // measured at points along the other. A piece that close to its chord is
    // drawn as a line, where rounded tangents would only split it further.
    constexpr int kChecks = 16;
    auto cubicAt = [&](long double t) {
        return std::pair{p0.X + ex * t + gx * t * t + hx * t * t * t, p0.Y + ey * t + gy * t * t + hy * t * t * t};
    };
    auto pieceOfCubic = [&](const TCubicSample& s0, const TCubicSample& s1) {
        std::vector<std::pair<long double, long double>> points;
        for (int k = 0; k <= kChecks; ++k) points.push_back(cubicAt(s0.t + (s1.t - s0.t) * k / kChecks));
        points.front() = {s0.point.X, s0.point.Y};
        points.back() = {s1.point.X, s1.point.Y};
        return points;
    };
    auto within = [](const std::vector<std::pair<long double, long double>>& from,
                     const std::vector<std::pair<long double, long double>>& line) {
        for (const auto& [px, py] : from) {
            long double best = std::numeric_limits<long double>::max();
            for (size_t i = 1; i < line.size() && best > kCubicTolerance; ++i) {
                const auto [ax, ay] = line[i - 1];
                const auto [bx, by] = line[i];
                const long double dx = bx - ax, dy = by - ay, length = dx * dx + dy * dy;
                const long double t = length > 0 ? std::clamp(((px - ax) * dx + (py - ay) * dy) / length, 0.0L, 1.0L) : 0;
                best = std::min(best, std::hypot(px - (ax + t * dx), py - (ay + t * dy)));
            }
            if (best > kCubicTolerance) return false;
        }
        return true;
    };
    auto closeToCubic = [&](const TCubicSample& s0, const TPoint& c, const TCubicSample& s1) {
        std::vector<std::pair<long double, long double>> quadratic;
        for (int k = 0; k <= kChecks; ++k) {
            const long double t = static_cast<long double>(k) / kChecks, u = 1 - t;
            quadratic.emplace_back(u * u * s0.point.X + 2 * u * t * c.X + t * t * s1.point.X,
                                   u * u * s0.point.Y + 2 * u * t * c.Y + t * t * s1.point.Y);
        }
        const auto cubic = pieceOfCubic(s0, s1);
        return within(cubic, quadratic) && within(quadratic, cubic);
    };
    auto flat = [&](const TCubicSample& s0, const TCubicSample& s1) {
        return within(pieceOfCubic(s0, s1), {{s0.point.X, s0.point.Y}, {s1.point.X, s1.point.Y}});
    };
    auto approximate = [&](auto& self, const TCubicSample& s0, const TCubicSample& s1, int depth) -> void {
        if (depth > 10) {
            lineTo(s1.point);
            return;
        }
        bool found = true;
        long double x = 0, y = 0;
        if (s0.vertical && s1.vertical) {
            found = false;
        } else if (s0.vertical) {
            x = s0.point.X;
            y = RndLoose(x * s1.slope + s1.intercept);
        } else if (s1.vertical) {
            x = s1.point.X;
            y = RndLoose(x * s0.slope + s0.intercept);
        } else if (s0.slope == s1.slope) {
            found = false;
        } else {
            x = RndLoose((s1.intercept - s0.intercept) / (s0.slope - s1.slope));
            y = RndLoose(x * s0.slope + s0.intercept);
        }
        const int64_t chord = RoundedLength(int64_t(s1.point.X) - s0.point.X, int64_t(s1.point.Y) - s0.point.Y);
        if (found && std::isfinite(x) && std::isfinite(y) && std::fabs(x) < 2e9L && std::fabs(y) < 2e9L) {
            const TPoint c{static_cast<int32_t>(x), static_cast<int32_t>(y)};
            if (RoundedLength(int64_t(c.X) - s0.point.X, int64_t(c.Y) - s0.point.Y) <= chord &&
                RoundedLength(int64_t(c.X) - s1.point.X, int64_t(c.Y) - s1.point.Y) <= chord &&
                closeToCubic(s0, c, s1)) {
                curveTo(c, s1.point);
                return;
            }
        }
        if (flat(s0, s1)) {
            lineTo(s1.point);
            return;
        }
        const TCubicSample middle = sample((s0.t + s1.t) / 2.0L);
        self(self, s0, middle, depth + 1);
        self(self, middle, s1, depth + 1);
    };
    const long double step = 1.0L / parts;
    TCubicSample previous = sample(0);
    for (int i = 1; i <= parts; ++i) {
        // The last sample is the end point itself.
        TCubicSample next = sample(i == parts ? 1.0L : i * step);
        approximate(approximate, previous, next, 0);
        previous = next;
    }
}

void TFlashEdges::MakePolyBezier(const std::vector<TPoint>& points, const TPoint& start) {
    if (points.empty()) return;
    size_t first = 0;
    auto moveUnlessThere = [this](const TPoint& p) {
        if (Scaled(p.X) != CurrentPos.X || Scaled(p.Y) != CurrentPos.Y) MoveTo(p.X, p.Y);
    };
    if (start.X == -1 && start.Y == -1) {
        moveUnlessThere(points[0]);
        first = 1;
    } else {
        moveUnlessThere(start);
    }
    size_t i = first;
    for (; i + 3 <= points.size(); i += 3) MakeCubicBezier(points[i], points[i + 1], points[i + 2], 4);
    for (; i < points.size(); ++i) LineTo(points[i].X, points[i].Y);
}

// ---------------------------------------------------------------- XML form

void TFlashEdges::LoadFromXml(const TXmlNode& node, const TXMLReadWriteSettings& settings) {
    auto plain = [](const TXmlNode& n, const char* name) { return static_cast<int32_t>(n.AttrInt(name)); };
    auto coord = [&settings](const TXmlNode& n, const std::string& name) { return ReadCoordAttr(settings, n, name); };
    // Radius, or RadiusX and RadiusY.
    auto radii = [&](const TXmlNode& n) {
        if (n.HasAttribute("Radius")) {
            int32_t r = coord(n, "Radius");
            return TPoint{r, r};
        }
        return TPoint{coord(n, "RadiusX"), coord(n, "RadiusY")};
    };
    // Width and Height, or the rectangle with a move to its corner first.
    auto box = [&](const TXmlNode& n) {
        if (n.HasAttribute("Width")) return TPoint{coord(n, "Width"), coord(n, "Height")};
        TRect r = ReadRectAttrs(settings, n);
        MoveTo(r.Left, r.Top);
        return TPoint{r.Right - r.Left, r.Bottom - r.Top};
    };
    auto points = [&](const TXmlNode& n) {
        std::vector<TPoint> list;
        for (const TXmlNode& child : n.ChildElements()) list.push_back(TPoint{coord(child, "X"), coord(child, "Y")});
        return list;
    };

    for (const TXmlNode& verb : node.ChildElements()) {
        const std::string name = verb.NodeName();
        auto is = [&name](const char* word) { return AnsiSameText(name, word); };
        if (is("End")) {
            FinishEdges();
        } else if (is("MoveTo")) {
            TSWFStyleChangeRecord* record = GetStyleChangeRecord();
            if (verb.HasAttribute("Line")) record->SetLineId(static_cast<uint16_t>(plain(verb, "Line")));
            if (verb.HasAttribute("Fill0")) record->SetFill0Id(static_cast<uint16_t>(plain(verb, "Fill0")));
            if (verb.HasAttribute("Fill1")) record->SetFill1Id(static_cast<uint16_t>(plain(verb, "Fill1")));
            if (verb.HasAttribute("X")) {
                // On purpose unlike a plain record's loader, which takes X and
                // Y as given and leaves the pen: in movie units as every other
                // verb, and the pen follows, so that the verbs after it draw
                // from this point.
                CurrentPos = TPoint{Checked(Scaled(coord(verb, "X"))), Checked(Scaled(coord(verb, "Y")))};
                record->SetMoveTo(CurrentPos.X, CurrentPos.Y);
                LastStart = CurrentPos;
            }
            for (const TXmlNode& styles : verb.ChildElements()) {
                if (AnsiSameText(styles.NodeName(), "NewLineStyles")) {
                    record->HasAlpha = true;
                    LoadLineStylesFromXml(styles, record->GetNewLineStyles(), true, settings);
                } else if (AnsiSameText(styles.NodeName(), "NewFillStyles")) {
                    record->HasAlpha = true;
                    LoadFillStylesFromXml(styles, record->GetNewFillStyles(), true, settings);
                }
            }
        } else if (is("Line")) {
            if (verb.HasAttribute("X")) {
                LineDelta(coord(verb, "X"), coord(verb, "Y"));
            } else {
                MoveTo(coord(verb, "X1"), coord(verb, "Y1"));
                LineTo(coord(verb, "X2"), coord(verb, "Y2"));
            }
        } else if (is("Curve")) {
            if (verb.HasAttribute("X0")) {
                MoveTo(coord(verb, "X0"), coord(verb, "Y0"));
                CurveTo(coord(verb, "X1"), coord(verb, "Y1"), coord(verb, "X2"), coord(verb, "Y2"));
            } else {
                CurveDelta(coord(verb, "ControlX"), coord(verb, "ControlY"), coord(verb, "AnchorX"),
                           coord(verb, "AnchorY"));
            }
        } else if (is("LineTo")) {
            LineTo(coord(verb, "X"), coord(verb, "Y"));
        } else if (is("CurveTo")) {
            CurveTo(coord(verb, "ControlX"), coord(verb, "ControlY"), coord(verb, "AnchorX"), coord(verb, "AnchorY"));
        } else if (is("MoveDelta")) {
            MoveDelta(coord(verb, "X"), coord(verb, "Y"));
        } else if (is("LineDelta")) {
            LineDelta(coord(verb, "X"), coord(verb, "Y"));
        } else if (is("CloseShape")) {
            CloseShape();
        } else if (is("Rectangle")) {
            TPoint size = box(verb);
            MakeRectangle(size.X, size.Y);
        } else if (is("RoundRect")) {
            TPoint r = radii(verb);
            TPoint size = box(verb);
            MakeRoundRect(size.X, size.Y, r.X, r.Y);
        } else if (is("Ellipse")) {
            TPoint size = box(verb);
            MakeEllipse(size.X, size.Y);
        } else if (is("Circle")) {
            int32_t r = coord(verb, "Radius");
            TPoint c = ReadPointAttrs(settings, verb, "", "Center");
            MoveTo(c.X - r, c.Y - r);
            MakeEllipse(2 * r, 2 * r);
        } else if (is("Pie")) {
            if (verb.HasAttribute("XCenter")) {
                TPoint c = ReadPointAttrs(settings, verb, "", "Center");
                MoveTo(c.X, c.Y);
            }
            TPoint r = radii(verb);
            MakePie(r.X, r.Y, static_cast<float>(verb.AttrFloat("StartAngle")),
                    static_cast<float>(verb.AttrFloat("EndAngle")), true);
        } else if (is("Arc")) {
            // Centred on the given centre, or else on the pen.
            TPoint r = radii(verb);
            const bool closed = verb.AttrBoolDef("Closed", false);
            const bool clockWise = verb.AttrBoolDef("ClockWise", true);
            const float start = static_cast<float>(plain(verb, "StartAngle"));
            const float end = static_cast<float>(plain(verb, "EndAngle"));
            if (verb.HasAttribute("XCenter")) {
                TPoint c = ReadPointAttrs(settings, verb, "", "Center");
                MoveTo(c.X, c.Y);
                MakeArc(c.X, c.Y, r.X, r.Y, start, end, closed, clockWise);
            } else {
                ArcSegments(CurrentPos.X, CurrentPos.Y, Scaled(r.X), Scaled(r.Y), start, end, clockWise, false, closed);
            }
        } else if (is("Diamond")) {
            if (verb.HasAttribute("Width")) {
                MakeDiamond(plain(verb, "Width"), plain(verb, "Height"));
            } else {
                TPoint size = box(verb);
                MakeDiamond(size.X, size.Y);
            }
        } else if (is("Star")) {
            TPoint c = ReadPointAttrs(settings, verb, "", "Center");
            MakeStar(c.X, c.Y, plain(verb, "R1"), plain(verb, "R2"), static_cast<uint16_t>(std::clamp<int64_t>(
                                                                          verb.AttrInt("Points"), 0, 0xFFFF)),
                     verb.AttrBoolDef("Curve", false));
        } else if (is("CubicBezier")) {
            if (verb.HasAttribute("X0")) MoveTo(coord(verb, "X0"), coord(verb, "Y0"));
            MakeCubicBezier(ReadPointAttrs(settings, verb, "", "1"), ReadPointAttrs(settings, verb, "", "2"),
                            ReadPointAttrs(settings, verb, "", "3"), 4);
        } else if (is("Polyline") || is("Polygon")) {
            std::vector<TPoint> list = points(verb);
            if (list.size() >= 2) {
                MoveTo(list[0].X, list[0].Y);
                for (size_t i = 1; i < list.size(); ++i) LineTo(list[i].X, list[i].Y);
                if (is("Polygon")) CloseShape();
            }
        } else if (is("PolyBezier")) {
            MoveTo(coord(verb, "X"), coord(verb, "Y"));
            for (const TXmlNode& curve : verb.ChildElements())
                MakeCubicBezier(ReadPointAttrs(settings, curve, "", "1"), ReadPointAttrs(settings, curve, "", "2"),
                                ReadPointAttrs(settings, curve, "", "3"), 4);
        } else if (is("Mirror")) {
            MakeMirror(verb.AttrBoolDef("Horz", false), verb.AttrBoolDef("Vert", false));
        } else if (is("OffsetEdges")) {
            OffsetEdges(ReadCoordAttrDef(settings, verb, "Horz", 0), ReadCoordAttrDef(settings, verb, "Vert", 0), true);
        } else if (is("Square")) {
            const int32_t x1 = coord(verb, "X1"), y1 = coord(verb, "Y1");
            MoveTo(x1, y1);
            // On purpose the smaller side of the box the two corners span,
            // not the smaller of X2 and Y2 taken as sizes: the corners are
            // points, as X1 and Y1 are.
            const int32_t side = verb.HasAttribute("Side")
                                     ? coord(verb, "Side")
                                     : std::min(coord(verb, "X2") - x1, coord(verb, "Y2") - y1);
            MakeRectangle(side, side);
        } else if (is("Ring")) {
            TPoint c = ReadPointAttrs(settings, verb, "", "Center");
            const int32_t a = coord(verb, "R1"), b = coord(verb, "R2");
            const int32_t big = std::max(a, b), small = std::min(a, b);
            MoveTo(c.X - big, c.Y - big);
            MakeEllipse(2 * big, 2 * big);
            MoveTo(c.X - small, c.Y - small);
            MakeEllipse(2 * small, 2 * small);
        }
    }
}
