#include "movie/morph_shapes.h"

#include <algorithm>

#include "movie/flash_movie.h"
#include "movie/images.h"
#include "movie/shapes.h"
#include "platform/codepage.h"
#include "platform/errors.h"
#include "swf/xml_form.h"

namespace {

constexpr size_t kMaxRadialColors = 8;

// Morph fills and lines are always RGBA.
void CheckGradientColors(const std::vector<TSWFRGBAValue>& start, const std::vector<TSWFRGBAValue>& end) {
    if (start.size() < 2)
        throw EConvertError("A morph gradient needs at least two colours");
    if (start.size() > static_cast<size_t>(kMaxGradientRecords))
        throw EConvertError(FormatStr("A morph gradient of %zu colours cannot be drawn: a gradient holds at most %d",
                                      start.size(), kMaxGradientRecords));
    if (end.size() != start.size())
        throw EConvertError(FormatStr("A morph gradient needs as many end colours as start colours (%zu, not %zu)",
                                      start.size(), end.size()));
}

void SetGradientRecords(TSWFMorphGradientFill& fill, const std::vector<TSWFRGBAValue>& start,
                        const std::vector<TSWFRGBAValue>& end) {
    const int count = static_cast<int>(start.size());
    fill.Gradients.clear();
    for (int i = 1; i <= count; ++i) {
        TSWFMorphGradientRecord& record = fill.GetGradientRecord(i);
        record.StartColor = start[static_cast<size_t>(i - 1)];
        record.EndColor = end[static_cast<size_t>(i - 1)];
        record.StartRatio = record.EndRatio = EvenGradientRatio(i, count);
    }
}

}  // namespace

TFlashMorphShape::TFlashMorphShape(TFlashMovie* movie)
    : TFlashVisualObject(movie),
      tag_(std::make_unique<TSWFDefineMorphShape>()),
      startEdges_(std::make_unique<TFlashEdges>(tag_->StartEdges, movie)),
      endEdges_(std::make_unique<TFlashEdges>(tag_->EndEdges, movie)) {}

TFlashMorphShape::~TFlashMorphShape() = default;

void TFlashMorphShape::OwnerChanged() {
    startEdges_->Owner = Owner;
    endEdges_->Owner = Owner;
}

void TFlashMorphShape::SetCharacterId(uint16_t id) {
    TFlashVisualObject::SetCharacterId(id);
    tag_->CharacterID = id;
}

// ---------------------------------------------------------------- bounds

TRect TFlashMorphShape::Widened(int32_t left, int32_t top, int32_t right, int32_t bottom) const {
    const int64_t f = GetUnitFactor();
    auto twips = [f](int32_t v, int32_t margin) {
        const int64_t t = v * f + margin;
        if (t < INT32_MIN || t > INT32_MAX) throw EConvertError(FormatStr("The bound %d lies outside a morph shape", v));
        return static_cast<int32_t>(t);
    };
    return TRect{twips(left, -10), twips(top, -10), twips(right, 10), twips(bottom, 10)};
}

void TFlashMorphShape::SetStartBounds(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    tag_->StartBounds.SetRect(Widened(left, top, right, bottom));
}

void TFlashMorphShape::SetEndBounds(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    tag_->EndBounds.SetRect(Widened(left, top, right, bottom));
}

int32_t TFlashMorphShape::GetStartWidth() const { return tag_->StartBounds.Xmax - tag_->StartBounds.Xmin; }
int32_t TFlashMorphShape::GetStartHeight() const { return tag_->StartBounds.Ymax - tag_->StartBounds.Ymin; }
int32_t TFlashMorphShape::GetEndWidth() const { return tag_->EndBounds.Xmax - tag_->EndBounds.Xmin; }
int32_t TFlashMorphShape::GetEndHeight() const { return tag_->EndBounds.Ymax - tag_->EndBounds.Ymin; }

// ---------------------------------------------------------------- selection

TSWFStyleChangeRecord* TFlashMorphShape::GetLastStyleChangeRecord() {
    TSWFShapeRecordList& edges = tag_->StartEdges;
    for (auto it = edges.rbegin(); it != edges.rend(); ++it)
        if ((*it)->RecordKind == kShapeRecordStyleChange) return static_cast<TSWFStyleChangeRecord*>(it->get());
    return nullptr;
}

TSWFStyleChangeRecord* TFlashMorphShape::SelectionTarget() {
    TSWFShapeRecordList& edges = tag_->StartEdges;
    if (tag_->MorphFillStyles.size() == 1) {
        if (!edges.empty() && edges.front()->RecordKind == kShapeRecordStyleChange)
            return static_cast<TSWFStyleChangeRecord*>(edges.front().get());
        return nullptr;
    }
    return GetLastStyleChangeRecord();
}

void TFlashMorphShape::SetFill0Index(uint16_t index) {
    TSWFStyleChangeRecord* target = SelectionTarget();
    Fill0Index = target ? index : 0;
    if (target) target->SetFill0Id(index);
}

void TFlashMorphShape::SetLineStyleIndex(uint16_t index) {
    TSWFStyleChangeRecord* target = SelectionTarget();
    LineStyleIndex = target ? index : 0;
    if (target) target->SetLineId(index);
}

// ---------------------------------------------------------------- styles

TSWFMorphFillStyle* TFlashMorphShape::AddFillStyle(std::unique_ptr<TSWFMorphFillStyle> fill) {
    if (!fill) throw EConvertError("No morph fill style to add");
    TSWFMorphFillStyle* raw = fill.get();
    tag_->MorphFillStyles.push_back(std::move(fill));
    SetFill0Index(static_cast<uint16_t>(tag_->MorphFillStyles.size()));
    return raw;
}

TSWFMorphLineStyle* TFlashMorphShape::AddLineStyleObject(std::unique_ptr<TSWFMorphLineStyle> style) {
    if (!style) style = std::make_unique<TSWFMorphLineStyle>();
    TSWFMorphLineStyle* raw = style.get();
    tag_->MorphLineStyles.push_back(std::move(style));
    SetLineStyleIndex(static_cast<uint16_t>(tag_->MorphLineStyles.size()));
    return raw;
}

TSWFMorphColorFill* TFlashMorphShape::AddSolidFill(TSWFRGBAValue startColor, TSWFRGBAValue endColor) {
    auto fill = std::make_unique<TSWFMorphColorFill>();
    fill->StartColor = startColor;
    fill->EndColor = endColor;
    return static_cast<TSWFMorphColorFill*>(AddFillStyle(std::move(fill)));
}

TSWFMorphLineStyle* TFlashMorphShape::AddLineStyle(int32_t startWidth, int32_t endWidth, TSWFRGBAValue startColor,
                                                   TSWFRGBAValue endColor) {
    auto twips = [this](int32_t width) {
        const int64_t t = int64_t(width) * GetUnitFactor();
        if (t < 0 || t > 0xFFFF)
            throw EConvertError(FormatStr("A line %d units wide cannot be drawn: a line style is at most 65535 twips wide",
                                          width));
        return static_cast<uint16_t>(t);
    };
    auto line = std::make_unique<TSWFMorphLineStyle>();
    line->StartWidth = twips(startWidth);
    line->EndWidth = twips(endWidth);
    line->StartColor = startColor;
    line->EndColor = endColor;
    return AddLineStyleObject(std::move(line));
}

void TFlashMorphShape::FitLinear(TSWFMorphGradientFill& fill, float startAngle, float endAngle) const {
    const TSWFRect& s = tag_->StartBounds;
    const TSWFRect& e = tag_->EndBounds;
    FitLinearGradientMatrix(fill.StartGradientMatrix, GetStartWidth(), GetStartHeight(), s.Xmin, s.Ymin, startAngle);
    FitLinearGradientMatrix(fill.EndGradientMatrix, GetEndWidth(), GetEndHeight(), e.Xmin, e.Ymin, endAngle);
}

void TFlashMorphShape::FitRadial(TSWFMorphGradientFill& fill, int startX, int startY, int endX, int endY) const {
    const TSWFRect& s = tag_->StartBounds;
    const TSWFRect& e = tag_->EndBounds;
    FitRadialGradientMatrix(fill.StartGradientMatrix, GetStartWidth(), GetStartHeight(), s.Xmin, s.Ymin, startX, startY);
    FitRadialGradientMatrix(fill.EndGradientMatrix, GetEndWidth(), GetEndHeight(), e.Xmin, e.Ymin, endX, endY);
}

TSWFMorphGradientFill* TFlashMorphShape::AddLinearGradient(TSWFRGBAValue startColor1, TSWFRGBAValue startColor2,
                                                           TSWFRGBAValue endColor1, TSWFRGBAValue endColor2,
                                                           float startAngle, float endAngle) {
    return AddLinearGradientColors({startColor1, startColor2}, {endColor1, endColor2}, startAngle, endAngle);
}

TSWFMorphGradientFill* TFlashMorphShape::AddLinearGradientColors(const std::vector<TSWFRGBAValue>& startColors,
                                                                 const std::vector<TSWFRGBAValue>& endColors,
                                                                 float startAngle, float endAngle) {
    CheckGradientColors(startColors, endColors);
    auto fill = std::make_unique<TSWFMorphGradientFill>();
    SetGradientRecords(*fill, startColors, endColors);
    FitLinear(*fill, startAngle, endAngle);
    return static_cast<TSWFMorphGradientFill*>(AddFillStyle(std::move(fill)));
}

TSWFMorphGradientFill* TFlashMorphShape::AddRadialGradient(TSWFRGBAValue startColor1, TSWFRGBAValue startColor2,
                                                           TSWFRGBAValue endColor1, TSWFRGBAValue endColor2,
                                                           uint8_t startX, uint8_t startY, uint8_t endX, uint8_t endY) {
    return AddRadialGradientColors({startColor1, startColor2}, {endColor1, endColor2}, startX, startY, endX, endY);
}

TSWFMorphGradientFill* TFlashMorphShape::AddRadialGradientColors(const std::vector<TSWFRGBAValue>& startColors,
                                                                 const std::vector<TSWFRGBAValue>& endColors,
                                                                 uint8_t startX, uint8_t startY, uint8_t endX,
                                                                 uint8_t endY) {
    const size_t kept = std::min(startColors.size(), kMaxRadialColors);
    std::vector<TSWFRGBAValue> start(startColors.begin(), startColors.begin() + static_cast<ptrdiff_t>(kept));
    std::vector<TSWFRGBAValue> end(endColors.begin(),
                                   endColors.begin() + static_cast<ptrdiff_t>(std::min(endColors.size(), kept)));
    CheckGradientColors(start, end);
    auto fill = std::make_unique<TSWFMorphGradientFill>();
    fill->FillStyleType = kFillRadialGradient;
    SetGradientRecords(*fill, start, end);
    FitRadial(*fill, startX, startY, endX, endY);
    return static_cast<TSWFMorphGradientFill*>(AddFillStyle(std::move(fill)));
}

TSWFMorphImageFill* TFlashMorphShape::AddImageFill(TFlashImage* image, uint8_t mode, float startScaleX,
                                                   float startScaleY, float endScaleX, float endScaleY) {
    if (!image) throw EConvertError("An image fill needs an image");
    // Morph shapes keep the correction of older players whatever the
    // movie's version.
    constexpr double kCorrection = 15.0 / 4096.0;
    auto fill = std::make_unique<TSWFMorphImageFill>();
    fill->BitmapId = image->GetCharacterId();
    const TSWFRect& s = tag_->StartBounds;
    const TSWFRect& e = tag_->EndBounds;
    if (mode <= 2) {
        fill->StartBitmapMatrix.SetTranslate(s.Xmin - 5, s.Ymin - 5);
        fill->EndBitmapMatrix.SetTranslate(e.Xmin - 5, e.Ymin - 5);
        if (mode == 1) {
            if (image->GetWidth() == 0 || image->GetHeight() == 0)
                throw EConvertError(FormatStr("Image %u holds no picture to fit into a morph shape", image->GetCharacterId()));
            const double w = image->GetWidth(), h = image->GetHeight();
            fill->FillStyleType = kFillClipBitmap;
            fill->StartBitmapMatrix.SetScale(static_cast<float>(GetStartWidth() / w + kCorrection),
                                             static_cast<float>(GetStartHeight() / h + kCorrection));
            fill->EndBitmapMatrix.SetScale(static_cast<float>(GetEndWidth() / w + kCorrection),
                                           static_cast<float>(GetEndHeight() / h + kCorrection));
        } else {
            fill->FillStyleType = mode == 0 ? kFillClipBitmap : kFillTileBitmap;
            fill->StartBitmapMatrix.SetScale(startScaleX * 20, startScaleY * 20);
            fill->EndBitmapMatrix.SetScale(endScaleX * 20, endScaleY * 20);
        }
    }
    auto* raw = static_cast<TSWFMorphImageFill*>(AddFillStyle(std::move(fill)));
    if (Owner) Owner->MoveDefinitionBefore(image, this);
    return raw;
}

// ---------------------------------------------------------------- object

void TFlashMorphShape::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto& other = CopySourceAs<TFlashMorphShape>(source, "a morph shape");
    TFlashVisualObject::CopyFieldsFrom(source);
    tag_->CopyFieldsFrom(*other.tag_);
    tag_->CharacterID = CharacterId;
    for (auto [mine, theirs] : {std::pair{startEdges_.get(), other.startEdges_.get()},
                                std::pair{endEdges_.get(), other.endEdges_.get()}}) {
        mine->Owner = Owner;
        mine->CurrentPos = theirs->CurrentPos;
        mine->LastStart = theirs->LastStart;
        mine->IgnoreMovieSettings = theirs->IgnoreMovieSettings;
        mine->OptimizeMode = theirs->OptimizeMode;
    }
    Fill0Index = other.Fill0Index;
    LineStyleIndex = other.LineStyleIndex;
    UseDefineMorphShape2 = other.UseDefineMorphShape2;
}

void TFlashMorphShape::WriteTag(TBitsEngine& be) {
    tag_->CharacterID = CharacterId;
    // The end path only moves: its styles are those of the start path, and
    // a player reading a DefineMorphShape2 takes a selection in it as a
    // change of style that hides the shape.
    for (auto& record : tag_->EndEdges)
        if (record->RecordKind == kShapeRecordStyleChange) {
            auto& change = static_cast<TSWFStyleChangeRecord&>(*record);
            change.StateFillStyle0 = change.StateFillStyle1 = change.StateLineStyle = change.StateNewStyles = false;
            // A record without any flag would read as the end of the path;
            // only the path's opening record lacks a move, and its pen is
            // at the origin.
            if (!change.StateMoveTo) change.SetMoveTo(change.DeltaX, change.DeltaY);
        }
    if (!UseDefineMorphShape2) {
        tag_->WriteTag(be);
        return;
    }
    TSWFDefineMorphShape2 second;
    second.CopyFieldsFrom(*tag_);
    second.WriteTag(be);
}

// ---------------------------------------------------------------- XML form

void TFlashMorphShape::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) {
    TFlashVisualObject::LoadFromXml(node, settings);
    tag_->CharacterID = CharacterId;

    // One path and its bounds: the rectangle given, else the path's own
    // bounds (twips) with the same margin.
    auto loadShape = [&](const TXmlNode& child, bool start) {
        TFlashEdges& edges = start ? *startEdges_ : *endEdges_;
        edges.LoadFromXml(child, settings);
        TSWFRect& bounds = start ? tag_->StartBounds : tag_->EndBounds;
        if (child.HasAttribute("XMax")) {
            const TRect r = ReadRectAttrs(settings, child);
            bounds.SetRect(Widened(r.Left, r.Top, r.Right, r.Bottom));
        } else {
            const TRect r = edges.GetBoundsRect();
            bounds.SetRect(TRect{r.Left - 10, r.Top - 10, r.Right + 10, r.Bottom + 10});
        }
    };
    // The records of a gradient's "StartShape" or "EndShape" child.
    struct TGradientSide {
        std::vector<TSWFRGBAValue> colors;
        std::vector<int> ratios;  // -1: the even spread
        TXmlNode node;
    };
    auto readSide = [&](const TXmlNode& gradient, const char* name) {
        TGradientSide side;
        side.node = gradient.ChildNode(name);
        if (!side.node) return side;
        for (const TXmlNode& record : side.node.ChildElements()) {
            side.colors.push_back(ReadRGBAAttr(record, "Color"));
            side.ratios.push_back(record.HasAttribute("Ratio")
                                      ? static_cast<int>(std::clamp<int64_t>(record.AttrInt("Ratio"), 0, 255))
                                      : -1);
        }
        return side;
    };
    auto applyRatios = [](TSWFMorphGradientFill& fill, const TGradientSide& start, const TGradientSide& end) {
        for (size_t k = 0; k < fill.Gradients.size(); ++k) {
            if (k < start.ratios.size() && start.ratios[k] >= 0) fill.Gradients[k].StartRatio = static_cast<uint8_t>(start.ratios[k]);
            if (k < end.ratios.size() && end.ratios[k] >= 0) fill.Gradients[k].EndRatio = static_cast<uint8_t>(end.ratios[k]);
        }
    };

    for (const TXmlNode& child : node.ChildElements()) {
        const std::string name = child.NodeName();
        auto is = [&name](const char* word) { return AnsiSameText(name, word); };
        if (is("StartShape")) {
            loadShape(child, true);
        } else if (is("EndShape")) {
            loadShape(child, false);
        } else if (is("FillStyles")) {
            TSWFMorphFillStyleList fills;
            LoadMorphFillStylesFromXml(child, fills, settings);
            for (auto& fill : fills) tag_->MorphFillStyles.push_back(std::move(fill));
        } else if (is("LineStyles")) {
            TSWFMorphLineStyleList lines;
            LoadMorphLineStylesFromXml(child, lines, settings);
            for (auto& line : lines) tag_->MorphLineStyles.push_back(std::move(line));
        } else if (is("RadialGradient") || is("LinearGradient")) {
            const TGradientSide start = readSide(child, "StartShape");
            const TGradientSide end = readSide(child, "EndShape");
            TSWFMorphGradientFill* fill;
            if (is("RadialGradient")) {
                fill = AddRadialGradientColors(start.colors, end.colors);
                // The centres, in percent of each state's bounds.
                auto centre = [&](const TGradientSide& side, bool atStart) {
                    if (!side.node || !side.node.HasAttribute("XCenter")) return;
                    const TPoint c = ReadPointAttrs(settings, side.node, "", "Center");
                    const TSWFRect& b = atStart ? tag_->StartBounds : tag_->EndBounds;
                    FitRadialGradientMatrix(atStart ? fill->StartGradientMatrix : fill->EndGradientMatrix,
                                            b.Xmax - b.Xmin, b.Ymax - b.Ymin, b.Xmin, b.Ymin, c.X, c.Y);
                };
                centre(start, true);
                centre(end, false);
            } else {
                const float startAngle = start.node ? static_cast<float>(start.node.AttrFloatDef("Angle", 0)) : 0.0f;
                const float endAngle = end.node ? static_cast<float>(end.node.AttrFloatDef("Angle", 0)) : 0.0f;
                fill = AddLinearGradientColors(start.colors, end.colors, startAngle, endAngle);
            }
            applyRatios(*fill, start, end);
        } else if (is("SolidColor")) {
            AddSolidFill(ReadRGBAAttr(child, "StartColor"), ReadRGBAAttr(child, "EndColor"));
        } else if (is("ImageFill")) {
            if (!Owner) throw EConvertError("An image fill needs the movie that holds its image");
            TFlashImage* image = nullptr;
            if (child.HasAttribute("File")) {
                image = Owner->AddImage(settings.GetFullFileName(kDataKindImage, child.AttrStr("File")));
            } else {
                const int64_t id = child.HasAttribute("IDStr") ? Owner->FindCharacterId(child.AttrStr("IDStr"))
                                                               : child.AttrIntDef("ID", -1);
                if (id >= 0 && id <= 0xFFFF) image = Owner->GetImages().FindById(static_cast<uint16_t>(id));
                if (!image) throw EConvertError("The image fill names no image of the movie");
            }
            const std::string type = child.AttrStrDef("Type", "Fit");
            const uint8_t mode = AnsiSameText(type, "Clip") ? 0 : AnsiSameText(type, "Fit") ? 1 : AnsiSameText(type, "Tile") ? 2 : 3;
            if (mode == 3) throw EConvertError("Image fill type \"" + type + "\" is none of Clip, Fit and Tile");
            float scale[4] = {1, 1, 1, 1};
            if (child.HasAttribute("StartScaleX")) {
                scale[0] = static_cast<float>(child.AttrFloat("StartScaleX"));
                scale[1] = static_cast<float>(child.AttrFloatDef("StartScaleY", 1));
            }
            if (child.HasAttribute("EndScaleX")) {
                scale[2] = static_cast<float>(child.AttrFloat("EndScaleX"));
                scale[3] = static_cast<float>(child.AttrFloatDef("EndScaleY", 1));
            }
            AddImageFill(image, mode, scale[0], scale[1], scale[2], scale[3]);
        } else if (is("LineStyle")) {
            AddLineStyle(static_cast<int32_t>(child.AttrInt("StartWidth")), static_cast<int32_t>(child.AttrInt("EndWidth")),
                         ReadRGBAAttr(child, "StartColor"), ReadRGBAAttr(child, "EndColor"));
        }
    }
    if (node.HasAttribute("Depth") && Owner)
        Owner->PlaceObject(this, static_cast<uint16_t>(std::clamp<int64_t>(node.AttrInt("Depth"), 0, 0xFFFF)));
}
