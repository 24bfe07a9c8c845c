#include "movie/shapes.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <sstream>

#include "movie/flash_movie.h"
#include "movie/images.h"
#include "platform/codepage.h"
#include "platform/errors.h"
#include "platform/mathutil.h"
#include "swf/xml_form.h"

namespace {

// The side of the square a gradient is defined on.
constexpr double kGradientSquare = 32768.0;
constexpr size_t kMaxRadialColors = 8;

uint8_t AlphaOf(TSWFRGBAValue rgba) { return static_cast<uint8_t>(rgba >> 24); }

int32_t Rnd(long double v) { return static_cast<int32_t>(RoundHalfEven(static_cast<double>(v))); }

// Lends a list of the shape to the tag being written and takes it back on
// every path out, so the shape keeps sole ownership between writes.
template <class List>
class TLentList {
public:
    TLentList(List& owner, List& borrower) : owner_(owner), borrower_(borrower) { owner_.swap(borrower_); }
    ~TLentList() { owner_.swap(borrower_); }
    TLentList(const TLentList&) = delete;
    TLentList& operator=(const TLentList&) = delete;

private:
    List& owner_;
    List& borrower_;
};

}  // namespace

// ---------------------------------------------------------------- dash pattern

uint8_t TFlashLineStyle::GetItem(int index) const {
    if (index < 0 || static_cast<size_t>(index) >= items_.size())
        throw EConvertError(FormatStr("The dash pattern has no length %d", index));
    return items_[static_cast<size_t>(index)];
}

void TFlashLineStyle::SetItem(int index, uint8_t length) {
    if (index < 0 || static_cast<size_t>(index) >= items_.size())
        throw EConvertError(FormatStr("The dash pattern has no length %d", index));
    items_[static_cast<size_t>(index)] = length;
}

bool TFlashLineStyle::HasLength() const {
    return std::any_of(items_.begin(), items_.end(), [](uint8_t length) { return length != 0; });
}

// ---------------------------------------------------------------- the shape

TFlashShape::TFlashShape(TFlashMovie* movie)
    : TFlashVisualObject(movie), edges_(std::make_unique<TFlashEdges>(ListEdges, movie)) {}

TFlashShape::~TFlashShape() = default;

void TFlashShape::SetBounds(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    const int64_t f = GetUnitFactor();
    auto twips = [f](int32_t v) {
        int64_t t = v * f;
        if (t < INT32_MIN || t > INT32_MAX) throw EConvertError(FormatStr("The bound %d lies outside a shape", v));
        return static_cast<int32_t>(t);
    };
    Bounds.SetRect(TRect{twips(left), twips(top), twips(right), twips(bottom)});
}

void TFlashShape::CalcBounds() { Bounds.SetRect(edges_->GetBoundsRect()); }

int32_t TFlashShape::GetWidth(bool inTwips) const {
    return (GetXMax() - GetXMin()) * (inTwips ? GetUnitFactor() : 1);
}

int32_t TFlashShape::GetHeight(bool inTwips) const {
    return (GetYMax() - GetYMin()) * (inTwips ? GetUnitFactor() : 1);
}

// ---------------------------------------------------------------- selection

TSWFStyleChangeRecord* TFlashShape::GetLastStyleChangeRecord() {
    for (auto it = ListEdges.rbegin(); it != ListEdges.rend(); ++it)
        if ((*it)->RecordKind == kShapeRecordStyleChange) return static_cast<TSWFStyleChangeRecord*>(it->get());
    return nullptr;
}

TSWFStyleChangeRecord* TFlashShape::SelectionTarget() {
    if (StyleToLastRecord) return GetLastStyleChangeRecord();
    if (!ListEdges.empty() && ListEdges.front()->RecordKind == kShapeRecordStyleChange)
        return static_cast<TSWFStyleChangeRecord*>(ListEdges.front().get());
    return nullptr;
}

void TFlashShape::SetFill0Index(uint16_t index) {
    TSWFStyleChangeRecord* target = SelectionTarget();
    Fill0Index = target ? index : 0;
    if (target) target->SetFill0Id(index);
}

void TFlashShape::SetFill1Index(uint16_t index) {
    TSWFStyleChangeRecord* target = SelectionTarget();
    Fill1Index = target ? index : 0;
    if (target) target->SetFill1Id(index);
}

void TFlashShape::SetLineStyleIndex(uint16_t index) {
    TSWFStyleChangeRecord* target = SelectionTarget();
    LineStyleIndex = target ? index : 0;
    if (target) target->SetLineId(index);
}

// ---------------------------------------------------------------- styles

TSWFFillStyle* TFlashShape::AddFillStyle(std::unique_ptr<TSWFFillStyle> fill) {
    if (!fill) throw EConvertError("No fill style to add");
    TSWFFillStyle* raw = fill.get();
    FillStyles.push_back(std::move(fill));
    SetFill1Index(static_cast<uint16_t>(FillStyles.size()));
    return raw;
}

TSWFFillStyle* TFlashShape::SelectFillStyle(TSWFFillStyle* existing) {
    for (size_t i = 0; i < FillStyles.size(); ++i)
        if (FillStyles[i].get() == existing) {
            SetFill1Index(static_cast<uint16_t>(i + 1));
            return existing;
        }
    throw EConvertError("The fill style does not belong to this shape");
}

TSWFLineStyle* TFlashShape::AddLineStyleObject(std::unique_ptr<TSWFLineStyle> style) {
    if (!style) style = std::make_unique<TSWFLineStyle>();
    TSWFLineStyle* raw = style.get();
    LineStyles.push_back(std::move(style));
    SetLineStyleIndex(static_cast<uint16_t>(LineStyles.size()));
    return raw;
}

TSWFLineStyle* TFlashShape::SelectLineStyle(TSWFLineStyle* existing) {
    for (size_t i = 0; i < LineStyles.size(); ++i)
        if (LineStyles[i].get() == existing) {
            SetLineStyleIndex(static_cast<uint16_t>(i + 1));
            return existing;
        }
    throw EConvertError("The line style does not belong to this shape");
}

TSWFColorFill* TFlashShape::AddSolidFill(TSWFRGBAValue rgba) {
    auto fill = std::make_unique<TSWFColorFill>();
    fill->Color.SetRGBA(rgba);
    if (AlphaOf(rgba) < 255) HasAlpha = true;
    return static_cast<TSWFColorFill*>(AddFillStyle(std::move(fill)));
}

TSWFColorFill* TFlashShape::AddSolidFillColor(uint32_t color) { return AddSolidFill((color & 0xFFFFFF) | 0xFF000000u); }

TSWFLineStyle* TFlashShape::AddLineStyle(int32_t width, TSWFRGBAValue rgba) {
    const int64_t twips = int64_t(width) * GetUnitFactor();
    if (twips < 0 || twips > 0xFFFF)
        throw EConvertError(FormatStr("A line %d units wide cannot be drawn: a line style is at most 65535 twips wide",
                                      width));
    TSWFLineStyle* line = AddLineStyleObject();
    line->Width = static_cast<uint16_t>(twips);
    line->Color.SetRGBA(rgba);
    if (AlphaOf(rgba) < 255) HasAlpha = true;
    return line;
}

TSWFLineStyle* TFlashShape::AddLineStyleColor(int32_t width, uint32_t color) {
    return AddLineStyle(width, (color & 0xFFFFFF) | 0xFF000000u);
}

void TFlashShape::SetGradientColors(TSWFGradientFill& fill, const std::vector<TSWFRGBAValue>& colors) {
    if (colors.empty()) throw EConvertError("A gradient needs at least one colour");
    if (colors.size() > static_cast<size_t>(kMaxGradientRecords))
        throw EConvertError(FormatStr("A gradient of %zu colours cannot be drawn: a gradient holds at most %d",
                                      colors.size(), kMaxGradientRecords));
    const int count = static_cast<int>(colors.size());
    fill.SetNumGradients(count);
    for (int i = 1; i <= count; ++i) {
        fill.GetGradientColor(i).SetRGBA(colors[static_cast<size_t>(i - 1)]);
        fill.SetGradientRatio(i, EvenGradientRatio(i, count));
        if (AlphaOf(colors[static_cast<size_t>(i - 1)]) != 255) HasAlpha = true;
    }
}

void FitLinearGradientMatrix(TSWFMatrix& matrix, int32_t w, int32_t h, int32_t xMin, int32_t yMin, float angle) {
    const double a = angle * M_PI / 180.0;
    matrix.SetScale(static_cast<float>(std::cos(a) * w / kGradientSquare), static_cast<float>(std::cos(a) * h / kGradientSquare));
    matrix.SetSkew(static_cast<float>(std::sin(a) * w / kGradientSquare), static_cast<float>(-std::sin(a) * h / kGradientSquare));
    matrix.SetTranslate(w / 2 + xMin, h / 2 + yMin);
}

void FitRadialGradientMatrix(TSWFMatrix& matrix, int32_t w, int32_t h, int32_t xMin, int32_t yMin, int xCenter,
                             int yCenter) {
    matrix.SetScale(static_cast<float>(w / kGradientSquare), static_cast<float>(h / kGradientSquare));
    matrix.SetTranslate(Rnd(w / 100.0 * xCenter) + xMin, Rnd(h / 100.0 * yCenter) + yMin);
}

uint8_t EvenGradientRatio(int i, int count) {
    // One colour has nothing to spread over: its record stands at 0.
    return count <= 1 ? 0 : static_cast<uint8_t>(Rnd((i - 1) / double(count - 1) * 255.0));
}

void TFlashShape::FitLinear(TSWFGradientFill& fill, float angle) const {
    FitLinearGradientMatrix(fill.GradientMatrix, GetWidth(true), GetHeight(true), Bounds.Xmin, Bounds.Ymin, angle);
}

void TFlashShape::FitRadial(TSWFGradientFill& fill, int xCenter, int yCenter) const {
    FitRadialGradientMatrix(fill.GradientMatrix, GetWidth(true), GetHeight(true), Bounds.Xmin, Bounds.Ymin, xCenter,
                            yCenter);
}

TSWFGradientFill* TFlashShape::AddLinearGradient(TSWFRGBAValue color1, TSWFRGBAValue color2, float angle) {
    return AddLinearGradientColors({color1, color2}, angle);
}

TSWFGradientFill* TFlashShape::AddLinearGradientColors(const std::vector<TSWFRGBAValue>& colors, float angle) {
    auto fill = std::make_unique<TSWFGradientFill>();
    SetGradientColors(*fill, colors);
    FitLinear(*fill, angle);
    return static_cast<TSWFGradientFill*>(AddFillStyle(std::move(fill)));
}

TSWFGradientFill* TFlashShape::AddRadialGradient(TSWFRGBAValue color1, TSWFRGBAValue color2, uint8_t xCenter,
                                                 uint8_t yCenter) {
    return AddRadialGradientColors({color1, color2}, xCenter, yCenter);
}

TSWFImageFill* TFlashShape::AddImageFill(TFlashImage* image, uint8_t mode, float scaleX, float scaleY) {
    if (!image) throw EConvertError("An image fill needs an image");
    // Players before SWF 8 show a bitmap fill a little off its place and
    // size; movies made for them correct it.
    const bool correct = Owner && Owner->CorrectImageFill;
    const double correction = correct ? 15.0 / 4096.0 : 0.0;
    const int32_t offset = correct ? 5 : 0;
    auto fill = std::make_unique<TSWFImageFill>();
    fill->BitmapId = image->GetCharacterId();
    if (mode <= 2) {
        fill->BitmapMatrix.SetTranslate(Bounds.Xmin - offset, Bounds.Ymin - offset);
        if (mode == 1) {
            if (image->GetWidth() == 0 || image->GetHeight() == 0)
                throw EConvertError(FormatStr("Image %u holds no picture to fit into a shape", image->GetCharacterId()));
            fill->FillStyleType = kFillClipBitmap;
            fill->BitmapMatrix.SetScale(
                static_cast<float>(std::min(GetWidth(true) / double(image->GetWidth()) + correction, 16383.0)),
                static_cast<float>(std::min(GetHeight(true) / double(image->GetHeight()) + correction, 16383.0)));
        } else {
            // A bitmap's pixel is 20 twips.
            fill->FillStyleType = mode == 0 ? kFillClipBitmap : kFillTileBitmap;
            fill->BitmapMatrix.SetScale(scaleX * 20, scaleY * 20);
        }
    }
    auto* raw = static_cast<TSWFImageFill*>(AddFillStyle(std::move(fill)));
    if (Owner) Owner->MoveDefinitionBefore(image, this);
    return raw;
}

TSWFGradientFill* TFlashShape::AddRadialGradientColors(const std::vector<TSWFRGBAValue>& colors, uint8_t xCenter,
                                                       uint8_t yCenter) {
    auto fill = std::make_unique<TSWFGradientFill>();
    fill->FillStyleType = kFillRadialGradient;
    const size_t kept = std::min(colors.size(), kMaxRadialColors);
    SetGradientColors(*fill, std::vector<TSWFRGBAValue>(colors.begin(), colors.begin() + static_cast<ptrdiff_t>(kept)));
    FitRadial(*fill, xCenter, yCenter);
    return static_cast<TSWFGradientFill*>(AddFillStyle(std::move(fill)));
}

// ---------------------------------------------------------------- dashes

TFlashLineStyle& TFlashShape::GetDashPattern() {
    if (!dashPattern_) dashPattern_ = std::make_unique<TFlashLineStyle>();
    Dashed = true;
    return *dashPattern_;
}

TSWFRGBA& TFlashShape::GetGapColor() {
    if (!gapColor_) gapColor_ = std::make_unique<TSWFRGBA>(true);
    return *gapColor_;
}

// ---------------------------------------------------------------- object

void TFlashShape::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto& other = CopySourceAs<TFlashShape>(source, "a shape");
    TFlashVisualObject::CopyFieldsFrom(source);
    ListEdges.clear();
    CopyShapeRecords(other.ListEdges, ListEdges);
    edges_->Owner = Owner;
    edges_->CurrentPos = other.edges_->CurrentPos;
    edges_->LastStart = other.edges_->LastStart;
    edges_->IgnoreMovieSettings = other.edges_->IgnoreMovieSettings;
    edges_->OptimizeMode = other.edges_->OptimizeMode;
    Bounds.CopyFrom(other.Bounds);
    FillStyles.clear();
    for (const auto& fill : other.FillStyles) FillStyles.push_back(CloneFillStyle(*fill));
    LineStyles.clear();
    for (const auto& line : other.LineStyles) LineStyles.push_back(CloneLineStyle(*line));
    Fill0Index = other.Fill0Index;
    Fill1Index = other.Fill1Index;
    LineStyleIndex = other.LineStyleIndex;
    Dashed = other.Dashed;
    StyleToLastRecord = other.StyleToLastRecord;
    HasAlpha = other.HasAlpha;
    UseDefineShape4 = other.UseDefineShape4;
    dashPattern_.reset();
    if (other.dashPattern_) dashPattern_ = std::make_unique<TFlashLineStyle>(*other.dashPattern_);
    gapColor_.reset();
    if (other.gapColor_) {
        gapColor_ = std::make_unique<TSWFRGBA>(true);
        gapColor_->SetRGBA(other.gapColor_->GetRGBA());
    }
}

void TFlashShape::OwnerChanged() { edges_->Owner = Owner; }

bool TFlashShape::NeedsAlpha() const {
    if (HasAlpha) return true;
    // A colour made translucent after it was added would lose its alpha
    // in a DefineShape2.
    for (const auto& fill : FillStyles) {
        if (auto* solid = dynamic_cast<const TSWFColorFill*>(fill.get()); solid && solid->Color.A != 255) return true;
        if (auto* gradient = dynamic_cast<const TSWFBaseGradientFill*>(fill.get()))
            for (const TSWFGradientRecord& record : gradient->Gradients)
                if (record.Color.A != 255) return true;
    }
    for (const auto& line : LineStyles)
        if (line->Color.A != 255) return true;
    return Dashed && gapColor_ && gapColor_->A != 255;
}

int TFlashShape::RequiredVersion() const {
    if (UseDefineShape4) return 8;
    return NeedsAlpha() ? 3 : 2;
}

void TFlashShape::WriteTag(TBitsEngine& be) {
    uint16_t maxWidth = 0;
    for (const auto& line : LineStyles) maxWidth = std::max(maxWidth, line->Width);
    const bool alpha = NeedsAlpha();

    std::unique_ptr<TSWFDefineShape> tag;
    if (UseDefineShape4) tag = std::make_unique<TSWFDefineShape4>();
    else if (alpha) tag = std::make_unique<TSWFDefineShape3>();
    else tag = std::make_unique<TSWFDefineShape2>();
    tag->ShapeId = CharacterId;
    // DefineShape4 colours are RGBA whatever the shape holds.
    tag->HasAlpha = UseDefineShape4 || alpha;
    const TRect bounds = Bounds.GetRect();
    const int32_t grow = maxWidth / 2;
    tag->ShapeBounds.SetRect(TRect{bounds.Left - grow, bounds.Top - grow, bounds.Right + grow, bounds.Bottom + grow});
    if (UseDefineShape4) static_cast<TSWFDefineShape4&>(*tag).EdgeBounds.SetRect(bounds);

    // Line styles are copied (as LINESTYLE2 for DefineShape4), so that the
    // gap style of a dashed outline goes into this tag only.
    for (const auto& line : LineStyles) {
        if (!UseDefineShape4) {
            tag->LineStyles.push_back(CloneLineStyle(*line));
        } else if (auto* second = dynamic_cast<const TSWFLineStyle2*>(line.get())) {
            tag->LineStyles.push_back(CloneLineStyle(*second));
        } else {
            auto copy = std::make_unique<TSWFLineStyle2>();
            copy->Width = line->Width;
            copy->Color.SetRGBA(line->Color.GetRGBA());
            tag->LineStyles.push_back(std::move(copy));
        }
    }
    const bool dashed = Dashed && !tag->LineStyles.empty() && dashPattern_ && dashPattern_->HasLength();
    uint16_t gapStyle = 0;
    if (dashed && gapColor_) {
        std::unique_ptr<TSWFLineStyle> gap;
        if (UseDefineShape4) gap = std::make_unique<TSWFLineStyle2>();
        else gap = std::make_unique<TSWFLineStyle>();
        gap->Width = tag->LineStyles.front()->Width;
        gap->Color.SetHasAlpha(true);
        gap->Color.SetRGBA(gapColor_->GetRGBA());
        tag->LineStyles.push_back(std::move(gap));
        gapStyle = static_cast<uint16_t>(tag->LineStyles.size());
    }

    TLentList<TSWFFillStyleList> fills(FillStyles, tag->FillStyles);
    if (dashed) {
        WriteDashed(*tag, gapStyle);
        tag->WriteTag(be);
    } else {
        TLentList<TSWFShapeRecordList> edges(ListEdges, tag->Edges);
        tag->WriteTag(be);
    }
}

// The outline walked in runs of the pattern: dashes are edges, gaps are moves
// (or edges in the gap style). A closed path with fills first goes into the
// tag whole, without its lines, to carry the fill under the dashes.
void TFlashShape::WriteDashed(TSWFDefineShape& tag, uint16_t gapStyle) {
    TSWFShapeRecordList& out = tag.Edges;
    if (!tag.FillStyles.empty() && edges_->CurrentPos == edges_->LastStart) {
        CopyShapeRecords(ListEdges, out);
        for (auto& record : out)
            if (record->RecordKind == kShapeRecordStyleChange) {
                auto& change = static_cast<TSWFStyleChangeRecord&>(*record);
                if (change.StateLineStyle) change.LineId = 0;
            }
    }

    const TFlashLineStyle& pattern = *dashPattern_;
    bool on = true;
    unsigned counter = 0;
    int64_t carry = 0;
    TPoint pen;
    uint16_t line = 0;

    // The next run in twips; a run cut at the end of an edge goes on in the
    // state it had.
    auto nextRun = [&]() -> int64_t {
        if (carry != 0) {
            int64_t run = carry;
            carry = 0;
            on = !on;
            return run;
        }
        int64_t run = int64_t(pattern.GetItem(static_cast<int>(counter % pattern.GetCount()))) * 20;
        ++counter;
        return run;
    };
    auto selectLine = [&](uint16_t index) {
        auto change = std::make_unique<TSWFStyleChangeRecord>();
        change->SetLineId(index);
        out.push_back(std::move(change));
    };
    auto straight = [&](int32_t dx, int32_t dy) {
        if (dx == 0 && dy == 0) return;
        auto edge = std::make_unique<TSWFStraightEdgeRecord>();
        edge->DeltaX = dx;
        edge->DeltaY = dy;
        out.push_back(std::move(edge));
    };
    auto curved = [&](const TPoint& control, const TPoint& delta) {
        auto curve = std::make_unique<TSWFCurvedEdgeRecord>();
        curve->ControlDeltaX = control.X;
        curve->ControlDeltaY = control.Y;
        curve->AnchorDeltaX = delta.X - control.X;
        curve->AnchorDeltaY = delta.Y - control.Y;
        out.push_back(std::move(curve));
    };
    // A gap ending at end (absolute): a move there, or the piece drawn by
    // draw in the gap style.
    auto gap = [&](const TPoint& end, const std::function<void()>& draw) {
        if (gapStyle == 0) {
            auto change = std::make_unique<TSWFStyleChangeRecord>();
            change->SetLineId(line);
            change->SetMoveTo(end.X, end.Y);
            out.push_back(std::move(change));
        } else {
            selectLine(gapStyle);
            draw();
            selectLine(line);
        }
    };

    for (const auto& record : ListEdges) {
        switch (record->RecordKind) {
            case kShapeRecordEnd:
                out.push_back(std::make_unique<TSWFEndShapeRecord>());
                break;
            case kShapeRecordStyleChange: {
                const auto& source = static_cast<const TSWFStyleChangeRecord&>(*record);
                auto change = std::make_unique<TSWFStyleChangeRecord>();
                if (source.StateLineStyle && source.LineId != 0) {
                    change->SetLineId(source.LineId);
                    change->SetFill0Id(source.Fill0Id);
                    change->SetFill1Id(source.Fill0Id);
                    line = source.LineId;
                }
                // A record that does not move leaves the pen where it is
                // (and says so, for a record that sets nothing else).
                if (source.StateMoveTo) pen = TPoint{source.DeltaX, source.DeltaY};
                if (source.StateMoveTo || !change->StateLineStyle) change->SetMoveTo(pen.X, pen.Y);
                out.push_back(std::move(change));
                break;
            }
            case kShapeRecordStraightEdge: {
                const auto& edge = static_cast<const TSWFStraightEdgeRecord&>(*record);
                const long double dx = edge.DeltaX, dy = edge.DeltaY;
                const int64_t length = RoundHalfEven(static_cast<double>(std::sqrt(dx * dx + dy * dy)));
                int64_t pos = 0;
                while (pos < length) {
                    int64_t run = nextRun();
                    if (run == 0) {
                        on = !on;
                        continue;
                    }
                    if (pos + run > length) {
                        carry = pos + run - length;
                        run = length - pos;
                    }
                    // Rounded from the edge's start, so the pieces add up to it.
                    const TPoint from{Rnd(dx * pos / length), Rnd(dy * pos / length)};
                    const TPoint to{Rnd(dx * (pos + run) / length), Rnd(dy * (pos + run) / length)};
                    if (on) straight(to.X - from.X, to.Y - from.Y);
                    else gap(TPoint{pen.X + to.X, pen.Y + to.Y}, [&] { straight(to.X - from.X, to.Y - from.Y); });
                    pos += run;
                    on = !on;
                }
                pen.X += edge.DeltaX;
                pen.Y += edge.DeltaY;
                break;
            }
            case kShapeRecordCurvedEdge: {
                const auto& curve = static_cast<const TSWFCurvedEdgeRecord&>(*record);
                // The quadratic P(t) = t (t (P2 - 2 P1) + 2 P1) from the edge's
                // start, walked by length along the curve.
                const long double p1x = curve.ControlDeltaX, p1y = curve.ControlDeltaY;
                const long double p2x = p1x + curve.AnchorDeltaX, p2y = p1y + curve.AnchorDeltaY;
                const long double qx = p2x - 2 * p1x, qy = p2y - 2 * p1y;
                auto at = [&](long double t) { return TPoint{Rnd(t * (t * qx + 2 * p1x)), Rnd(t * (t * qy + 2 * p1y))}; };
                const long double span = std::hypot(p1x, p1y) + std::hypot(p2x - p1x, p2y - p1y);
                const int samples = std::clamp(static_cast<int>(span / 10.0L), 16, 4096);
                std::vector<long double> lengths(static_cast<size_t>(samples) + 1, 0.0L);
                long double lastX = 0, lastY = 0;
                for (int k = 1; k <= samples; ++k) {
                    const long double t = static_cast<long double>(k) / samples;
                    const long double x = t * (t * qx + 2 * p1x), y = t * (t * qy + 2 * p1y);
                    lengths[static_cast<size_t>(k)] = lengths[static_cast<size_t>(k - 1)] + std::hypot(x - lastX, y - lastY);
                    lastX = x;
                    lastY = y;
                }
                const long double total = lengths.back();
                auto parameterAt = [&](long double s) {
                    auto it = std::lower_bound(lengths.begin(), lengths.end(), s);
                    const size_t k = static_cast<size_t>(std::max<ptrdiff_t>(1, it - lengths.begin()));
                    const long double a = lengths[k - 1], b = lengths[k];
                    const long double within = b > a ? (s - a) / (b - a) : 0.0L;
                    return (static_cast<long double>(k - 1) + within) / samples;
                };
                long double t = 0, walked = 0;
                TPoint previous{0, 0};
                while (true) {
                    int64_t run = nextRun();
                    if (run == 0) {
                        on = !on;
                        continue;
                    }
                    long double next;
                    int64_t leftover = 0;
                    if (walked + run >= total) {
                        next = 1;
                        leftover = RoundHalfEven(static_cast<double>(walked + run - total));
                        run = RoundHalfEven(static_cast<double>(total - walked));
                    } else {
                        next = parameterAt(walked + run);
                    }
                    const TPoint q = next == 1 ? TPoint{curve.ControlDeltaX + curve.AnchorDeltaX,
                                                        curve.ControlDeltaY + curve.AnchorDeltaY}
                                               : at(next);
                    const TPoint delta{q.X - previous.X, q.Y - previous.Y};
                    // The control of the piece: half the step along the
                    // tangent at its start, the exact split of a quadratic.
                    const long double half = (next - t) / 2;
                    const TPoint control{Rnd(2 * (qx * t + p1x) * half), Rnd(2 * (qy * t + p1y) * half)};
                    auto draw = [&] {
                        if (std::abs(delta.X) < 20 || std::abs(delta.Y) < 20 || run < 100 || control.X + control.Y == 0)
                            straight(delta.X, delta.Y);
                        else
                            curved(control, delta);
                    };
                    if (on) draw();
                    else gap(TPoint{pen.X + delta.X, pen.Y + delta.Y}, draw);
                    on = !on;
                    pen.X += delta.X;
                    pen.Y += delta.Y;
                    previous = q;
                    walked += run;
                    t = next;
                    if (next == 1) {
                        carry = leftover;
                        break;
                    }
                }
                break;
            }
            default:
                break;
        }
    }
}

// ---------------------------------------------------------------- XML form

void TFlashShape::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) {
    TFlashVisualObject::LoadFromXml(node, settings);
    const bool hasBounds = node.HasAttribute("XMax");
    if (hasBounds) Bounds.SetRect(ReadRectAttrs(settings, node));

    // The records of a gradient element: one child each, with a ratio that
    // defaults to the even spread.
    auto loadGradient = [this](const TXmlNode& element, TSWFGradientFill& fill) {
        std::vector<TXmlNode> children = element.ChildElements();
        std::vector<TSWFRGBAValue> colors;
        for (const TXmlNode& child : children) colors.push_back(ReadRGBAAttr(child, "Color"));
        SetGradientColors(fill, colors);
        for (size_t k = 0; k < children.size(); ++k)
            if (children[k].HasAttribute("Ratio"))
                fill.SetGradientRatio(static_cast<int>(k + 1),
                                      static_cast<uint8_t>(std::clamp<int64_t>(children[k].AttrInt("Ratio"), 0, 255)));
    };

    for (const TXmlNode& child : node.ChildElements()) {
        const std::string name = child.NodeName();
        auto is = [&name](const char* word) { return AnsiSameText(name, word); };
        if (is("Edges")) {
            edges_->LoadFromXml(child, settings);
            if (!hasBounds) CalcBounds();
        } else if (is("FillStyles")) {
            LoadFillStylesFromXml(child, FillStyles, true, settings);
        } else if (is("LineStyles")) {
            LoadLineStylesFromXml(child, LineStyles, true, settings);
        } else if (is("RadialGradient")) {
            auto fill = std::make_unique<TSWFGradientFill>();
            fill->FillStyleType = kFillRadialGradient;
            loadGradient(child, *fill);
            TPoint center{50, 50};
            if (child.HasAttribute("XCenter")) center = ReadPointAttrs(settings, child, "", "Center");
            FitRadial(*fill, center.X, center.Y);
            AddFillStyle(std::move(fill));
        } else if (is("LinearGradient")) {
            auto fill = std::make_unique<TSWFGradientFill>();
            loadGradient(child, *fill);
            FitLinear(*fill, static_cast<float>(child.AttrFloatDef("Angle", 0)));
            AddFillStyle(std::move(fill));
        } else if (is("SolidColor")) {
            AddSolidFill(ReadRGBAAttr(child, "Color"));
        } else if (is("ImageFill")) {
            // The picture: a new image from a file, or one of the movie's by
            // the name registered while loading or by its identifier.
            TFlashImage* image = nullptr;
            if (!Owner) throw EConvertError("An image fill needs the movie that holds its image");
            if (child.HasAttribute("File")) {
                image = Owner->AddImage(child.AttrStr("File"));
            } else {
                int64_t id = child.HasAttribute("IDStr") ? Owner->FindCharacterId(child.AttrStr("IDStr"))
                                                         : child.AttrIntDef("ID", -1);
                if (id >= 0 && id <= 0xFFFF) image = Owner->GetImages().FindById(static_cast<uint16_t>(id));
                if (!image) throw EConvertError("The image fill names no image of the movie");
            }
            const std::string type = child.AttrStrDef("Type", "Fit");
            uint8_t mode = AnsiSameText(type, "Clip") ? 0 : AnsiSameText(type, "Fit") ? 1 : AnsiSameText(type, "Tile") ? 2 : 3;
            if (mode == 3) throw EConvertError("Image fill type \"" + type + "\" is none of Clip, Fit and Tile");
            float scaleX = 1, scaleY = 1;
            if (child.HasAttribute("ScaleX")) {
                scaleX = static_cast<float>(child.AttrFloat("ScaleX"));
                scaleY = static_cast<float>(child.AttrFloatDef("ScaleY", 1));
            }
            AddImageFill(image, mode, scaleX, scaleY);
        } else if (is("LineStyle")) {
            AddLineStyle(static_cast<int32_t>(child.AttrInt("Width")), ReadRGBAAttr(child, "Color"));
            if (child.HasAttribute("BgColor")) GetGapColor().SetRGBA(ReadRGBAAttr(child, "BgColor"));
            if (child.HasAttribute("Ext")) {
                std::vector<uint8_t> lengths;
                std::stringstream items(child.AttrStr("Ext"));
                std::string item;
                while (std::getline(items, item, ',')) {
                    const size_t first = item.find_first_not_of(" \t"), last = item.find_last_not_of(" \t");
                    int64_t length = StrToInt64(first == std::string::npos ? item : item.substr(first, last - first + 1));
                    if (length < 0 || length > 255)
                        throw EConvertError(FormatStr("The dash length %lld is outside 0..255", static_cast<long long>(length)));
                    lengths.push_back(static_cast<uint8_t>(length));
                }
                if (lengths.size() > 255) throw EConvertError("A dash pattern holds at most 255 lengths");
                TFlashLineStyle& pattern = GetDashPattern();
                pattern.SetCount(static_cast<uint8_t>(lengths.size()));
                for (size_t i = 0; i < lengths.size(); ++i) pattern.SetItem(static_cast<int>(i), lengths[i]);
            }
        }
    }
    if (node.HasAttribute("Color")) AddSolidFill(ReadRGBAAttr(node, "Color"));
    if (node.HasAttribute("Depth") && Owner)
        Owner->PlaceObject(this, static_cast<uint16_t>(std::clamp<int64_t>(node.AttrInt("Depth"), 0, 0xFFFF)));
}
