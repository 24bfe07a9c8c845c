#include "swf/morph_tags.h"

#include <algorithm>

#include "platform/errors.h"
#include "swf/names.h"
#include "swf/xml_form.h"

namespace {

template <class T>
const T& MorphStyleAs(const TSWFMorphFillStyle& source, const TSWFMorphFillStyle& target) {
    auto* typed = dynamic_cast<const T*>(&source);
    if (!typed)
        throw EConvertError(FormatStr("Cannot copy a morph fill of type 0x%X into one of type 0x%X",
                                      source.FillStyleType, target.FillStyleType));
    return *typed;
}

void SetColor(TXmlNode node, const std::string& name, TSWFRGBAValue color) { SetRGBAAttr(node, color, 2, name); }

uint16_t WidthAttr(const TXmlNode& node, const std::string& name, const TXMLReadWriteSettings& settings) {
    return static_cast<uint16_t>(std::clamp<int64_t>(ReadCoordAttr(settings, node, name), 0, 0xFFFF));
}

// The widths and colours both morph line styles begin with (MORPHLINESTYLE2
// puts its stroke flags between the widths and the colours).
void SaveWidthsXml(TXmlNode node, const TSWFMorphLineStyle& style, const TXMLReadWriteSettings& settings) {
    WriteCoordAttr(settings, node, "StartWidth", style.StartWidth);
    WriteCoordAttr(settings, node, "EndWidth", style.EndWidth);
}

void LoadWidthsXml(const TXmlNode& node, TSWFMorphLineStyle& style, const TXMLReadWriteSettings& settings) {
    style.StartWidth = WidthAttr(node, "StartWidth", settings);
    style.EndWidth = WidthAttr(node, "EndWidth", settings);
}

}  // namespace

std::unique_ptr<TSWFMorphFillStyle> CreateMorphFillStyle(uint8_t type) {
    std::unique_ptr<TSWFMorphFillStyle> fill;
    switch (type) {
        case kFillSolid: fill = std::make_unique<TSWFMorphColorFill>(); break;
        case kFillLinearGradient:
        case kFillRadialGradient: fill = std::make_unique<TSWFMorphGradientFill>(); break;
        case kFillFocalGradient: fill = std::make_unique<TSWFMorphFocalGradientFill>(); break;
        case kFillTileBitmap:
        case kFillClipBitmap:
        case kFillNonSmoothTileBitmap:
        case kFillNonSmoothClipBitmap: fill = std::make_unique<TSWFMorphImageFill>(); break;
        default: throw EReadError(FormatStr("Unknown morph fill style type 0x%X", type));
    }
    fill->FillStyleType = type;
    return fill;
}

std::unique_ptr<TSWFMorphFillStyle> CloneMorphFillStyle(const TSWFMorphFillStyle& source) {
    auto fill = CreateMorphFillStyle(source.FillStyleType);
    fill->CopyFrom(source);
    return fill;
}

// ---------------------------------------------------------------- solid

void TSWFMorphColorFill::CopyFrom(const TSWFMorphFillStyle& source) {
    const auto& other = MorphStyleAs<TSWFMorphColorFill>(source, *this);
    FillStyleType = other.FillStyleType;
    StartColor = other.StartColor;
    EndColor = other.EndColor;
}

void TSWFMorphColorFill::ReadFromStream(TBitsEngine& be) {
    StartColor = be.ReadRGBA();
    EndColor = be.ReadRGBA();
}

void TSWFMorphColorFill::WriteToStream(TBitsEngine& be) {
    be.WriteByte(FillStyleType);
    be.WriteRGBA(StartColor);
    be.WriteRGBA(EndColor);
}

void TSWFMorphColorFill::LoadFromXml(const TXmlNode& node, const TXMLReadWriteSettings& settings) {
    StartColor = ReadRGBAAttr(node, "StartColor");
    EndColor = ReadRGBAAttr(node, "EndColor");
}

void TSWFMorphColorFill::SaveToXml(TXmlNode node, const TXMLReadWriteSettings& settings) {
    SetColor(node, "StartColor", StartColor);
    SetColor(node, "EndColor", EndColor);
}

// ---------------------------------------------------------------- gradients

TSWFMorphGradientRecord& TSWFMorphGradientFill::GetGradientRecord(int index) {
    if (index < 1 || index > kMaxGradientRecords)
        throw EConvertError(FormatStr("%d is not a valid gradient record index", index));
    if (static_cast<int>(Gradients.size()) < index) Gradients.resize(static_cast<size_t>(index));
    return Gradients[static_cast<size_t>(index - 1)];
}

void TSWFMorphGradientFill::CopyFrom(const TSWFMorphFillStyle& source) {
    const auto& other = MorphStyleAs<TSWFMorphGradientFill>(source, *this);
    FillStyleType = other.FillStyleType;
    StartGradientMatrix.CopyFrom(other.StartGradientMatrix);
    EndGradientMatrix.CopyFrom(other.EndGradientMatrix);
    SpreadMode = other.SpreadMode;
    InterpolationMode = other.InterpolationMode;
    Gradients = other.Gradients;
}

void TSWFMorphGradientFill::ReadFromStream(TBitsEngine& be) {
    StartGradientMatrix.SetRec(be.ReadMatrix());
    EndGradientMatrix.SetRec(be.ReadMatrix());
    uint8_t countByte = be.ReadByte();
    SpreadMode = countByte >> 6;
    InterpolationMode = (countByte >> 4) & 3;
    Gradients.resize(countByte & 0x0F);
    for (TSWFMorphGradientRecord& record : Gradients) {
        record.StartRatio = be.ReadByte();
        record.StartColor = be.ReadRGBA();
        record.EndRatio = be.ReadByte();
        record.EndColor = be.ReadRGBA();
    }
}

void TSWFMorphGradientFill::WriteToStream(TBitsEngine& be) {
    if (Gradients.size() > static_cast<size_t>(kMaxGradientRecords))
        throw EWriteError(FormatStr("A morph gradient holds at most %d records, this one has %zu",
                                    kMaxGradientRecords, Gradients.size()));
    be.WriteByte(FillStyleType);
    be.WriteMatrix(StartGradientMatrix.GetRec());
    be.WriteMatrix(EndGradientMatrix.GetRec());
    // The spread and interpolation modes share the count byte; they are
    // written back so that nothing read is lost.
    be.WriteByte(static_cast<uint8_t>((SpreadMode & 3) << 6 | (InterpolationMode & 3) << 4 | Gradients.size()));
    for (const TSWFMorphGradientRecord& record : Gradients) {
        be.WriteByte(record.StartRatio);
        be.WriteRGBA(record.StartColor);
        be.WriteByte(record.EndRatio);
        be.WriteRGBA(record.EndColor);
    }
}

void TSWFMorphGradientFill::LoadFromXml(const TXmlNode& node, const TXMLReadWriteSettings& settings) {
    Gradients.clear();
    SpreadMode = InterpolationMode = 0;
    for (bool start : {true, false}) {
        TXmlNode part = node.ChildNode(start ? "Start" : "End");
        if (!part) continue;
        if (start) {
            SpreadMode = static_cast<uint8_t>(part.AttrIntDef("SpreadMode", 0) & 3);
            InterpolationMode = static_cast<uint8_t>(part.AttrIntDef("InterpolationMode", 0) & 3);
        }
        (start ? StartGradientMatrix : EndGradientMatrix).SetRec(ReadMatrixNode(settings, part, "Matrix"));
        std::vector<TXmlNode> children = part.ChildElements();
        for (size_t i = 1; i < children.size(); ++i) {
            TSWFMorphGradientRecord& record = GetGradientRecord(static_cast<int>(i));
            uint8_t ratio = static_cast<uint8_t>(std::clamp<int64_t>(children[i].AttrInt("Ratio"), 0, 255));
            TSWFRGBAValue color = ReadRGBAAttr(children[i], "Color");
            (start ? record.StartRatio : record.EndRatio) = ratio;
            (start ? record.StartColor : record.EndColor) = color;
        }
    }
}

void TSWFMorphGradientFill::SaveToXml(TXmlNode node, const TXMLReadWriteSettings& settings) {
    for (bool start : {true, false}) {
        TXmlNode part = node.AddChild(start ? "Start" : "End");
        if (start && SpreadMode != 0) part.SetAttr("SpreadMode", static_cast<int>(SpreadMode));
        if (start && InterpolationMode != 0) part.SetAttr("InterpolationMode", static_cast<int>(InterpolationMode));
        WriteMatrixNode(settings, part, (start ? StartGradientMatrix : EndGradientMatrix).GetRec(), "Matrix");
        for (const TSWFMorphGradientRecord& record : Gradients) {
            TXmlNode child = part.AddChild("Gradient");
            child.SetAttr("Ratio", static_cast<int>(start ? record.StartRatio : record.EndRatio));
            SetColor(child, "Color", start ? record.StartColor : record.EndColor);
        }
    }
}

void TSWFMorphFocalGradientFill::CopyFrom(const TSWFMorphFillStyle& source) {
    const auto& other = MorphStyleAs<TSWFMorphFocalGradientFill>(source, *this);
    TSWFMorphGradientFill::CopyFrom(source);
    StartFocalPoint = other.StartFocalPoint;
    EndFocalPoint = other.EndFocalPoint;
}

void TSWFMorphFocalGradientFill::ReadFromStream(TBitsEngine& be) {
    TSWFMorphGradientFill::ReadFromStream(be);
    StartFocalPoint = static_cast<int16_t>(be.ReadWord());
    EndFocalPoint = static_cast<int16_t>(be.ReadWord());
}

void TSWFMorphFocalGradientFill::WriteToStream(TBitsEngine& be) {
    TSWFMorphGradientFill::WriteToStream(be);
    be.WriteWord(static_cast<uint16_t>(StartFocalPoint));
    be.WriteWord(static_cast<uint16_t>(EndFocalPoint));
}

void TSWFMorphFocalGradientFill::LoadFromXml(const TXmlNode& node, const TXMLReadWriteSettings& settings) {
    TSWFMorphGradientFill::LoadFromXml(node, settings);
    if (TXmlNode start = node.ChildNode("Start")) StartFocalPoint = static_cast<int16_t>(start.AttrIntDef("FocalPoint", 0));
    if (TXmlNode end = node.ChildNode("End")) EndFocalPoint = static_cast<int16_t>(end.AttrIntDef("FocalPoint", 0));
}

void TSWFMorphFocalGradientFill::SaveToXml(TXmlNode node, const TXMLReadWriteSettings& settings) {
    TSWFMorphGradientFill::SaveToXml(node, settings);
    node.ChildNode("Start").SetAttr("FocalPoint", static_cast<int>(StartFocalPoint));
    node.ChildNode("End").SetAttr("FocalPoint", static_cast<int>(EndFocalPoint));
}

// ---------------------------------------------------------------- bitmap

void TSWFMorphImageFill::CopyFrom(const TSWFMorphFillStyle& source) {
    const auto& other = MorphStyleAs<TSWFMorphImageFill>(source, *this);
    FillStyleType = other.FillStyleType;
    BitmapId = other.BitmapId;
    StartBitmapMatrix.CopyFrom(other.StartBitmapMatrix);
    EndBitmapMatrix.CopyFrom(other.EndBitmapMatrix);
}

void TSWFMorphImageFill::ReadFromStream(TBitsEngine& be) {
    BitmapId = be.ReadWord();
    StartBitmapMatrix.SetRec(be.ReadMatrix());
    EndBitmapMatrix.SetRec(be.ReadMatrix());
}

void TSWFMorphImageFill::WriteToStream(TBitsEngine& be) {
    be.WriteByte(FillStyleType);
    be.WriteWord(BitmapId);
    be.WriteMatrix(StartBitmapMatrix.GetRec());
    be.WriteMatrix(EndBitmapMatrix.GetRec());
}

void TSWFMorphImageFill::LoadFromXml(const TXmlNode& node, const TXMLReadWriteSettings& settings) {
    BitmapId = static_cast<uint16_t>(node.AttrInt("ID"));
    StartBitmapMatrix.SetRec(ReadMatrixNode(settings, node, "StartMatrix"));
    EndBitmapMatrix.SetRec(ReadMatrixNode(settings, node, "EndMatrix"));
}

void TSWFMorphImageFill::SaveToXml(TXmlNode node, const TXMLReadWriteSettings& settings) {
    node.SetAttr("ID", static_cast<int>(BitmapId));
    WriteMatrixNode(settings, node, StartBitmapMatrix.GetRec(), "StartMatrix");
    WriteMatrixNode(settings, node, EndBitmapMatrix.GetRec(), "EndMatrix");
}

// ---------------------------------------------------------------- line styles

void TSWFMorphLineStyle::CopyFrom(const TSWFMorphLineStyle& source) {
    StartWidth = source.StartWidth;
    EndWidth = source.EndWidth;
    StartColor = source.StartColor;
    EndColor = source.EndColor;
}

void TSWFMorphLineStyle::ReadFromStream(TBitsEngine& be) {
    StartWidth = be.ReadWord();
    EndWidth = be.ReadWord();
    StartColor = be.ReadRGBA();
    EndColor = be.ReadRGBA();
}

void TSWFMorphLineStyle::WriteToStream(TBitsEngine& be) {
    be.WriteWord(StartWidth);
    be.WriteWord(EndWidth);
    be.WriteRGBA(StartColor);
    be.WriteRGBA(EndColor);
}

void TSWFMorphLineStyle::LoadFromXml(const TXmlNode& node, const TXMLReadWriteSettings& settings) {
    LoadWidthsXml(node, *this, settings);
    StartColor = ReadRGBAAttr(node, "StartColor");
    EndColor = ReadRGBAAttr(node, "EndColor");
}

void TSWFMorphLineStyle::SaveToXml(TXmlNode node, const TXMLReadWriteSettings& settings) {
    SaveWidthsXml(node, *this, settings);
    SetColor(node, "StartColor", StartColor);
    SetColor(node, "EndColor", EndColor);
}

TSWFMorphFillStyle* TSWFMorphLineStyle2::GetFillStyle(int type) {
    if (type < 0) return FillStyle.get();
    if (FillStyle && FillStyle->FillStyleType != type) FillStyle.reset();
    if (!FillStyle) FillStyle = CreateMorphFillStyle(static_cast<uint8_t>(type));
    return FillStyle.get();
}

void TSWFMorphLineStyle2::CopyFrom(const TSWFMorphLineStyle& source) {
    TSWFMorphLineStyle::CopyFrom(source);
    auto* other = dynamic_cast<const TSWFMorphLineStyle2*>(&source);
    if (other == nullptr || other == this) return;
    CopyStrokeFrom(*other);
    FillStyle = other->HasFillFlag && other->FillStyle ? CloneMorphFillStyle(*other->FillStyle) : nullptr;
}

void TSWFMorphLineStyle2::ReadFromStream(TBitsEngine& be) {
    StartWidth = be.ReadWord();
    EndWidth = be.ReadWord();
    ReadStroke(be);
    if (HasFillFlag) {
        GetFillStyle(be.ReadByte())->ReadFromStream(be);
    } else {
        FillStyle.reset();
        StartColor = be.ReadRGBA();
        EndColor = be.ReadRGBA();
    }
}

void TSWFMorphLineStyle2::WriteToStream(TBitsEngine& be) {
    be.WriteWord(StartWidth);
    be.WriteWord(EndWidth);
    WriteStroke(be);
    if (HasFillFlag) {
        if (!FillStyle) throw EWriteError("A morph line style marked as filled has no fill style");
        FillStyle->WriteToStream(be);
    } else {
        be.WriteRGBA(StartColor);
        be.WriteRGBA(EndColor);
    }
}

void TSWFMorphLineStyle2::LoadFromXml(const TXmlNode& node, const TXMLReadWriteSettings& settings) {
    LoadWidthsXml(node, *this, settings);
    LoadStrokeXml(node);
    if (HasFillFlag) {
        std::vector<TXmlNode> children = node.ChildElements();
        if (children.empty()) throw EConvertError("A filled morph line style has no fill element");
        GetFillStyle(FillStyleFromName(children.front().NodeName()))->LoadFromXml(children.front(), settings);
    } else {
        FillStyle.reset();
        StartColor = ReadRGBAAttr(node, "StartColor");
        EndColor = ReadRGBAAttr(node, "EndColor");
    }
}

void TSWFMorphLineStyle2::SaveToXml(TXmlNode node, const TXMLReadWriteSettings& settings) {
    SaveWidthsXml(node, *this, settings);
    SaveStrokeXml(node);
    if (HasFillFlag && FillStyle) {
        FillStyle->SaveToXml(node.AddChild(FillStyleToName(FillStyle->FillStyleType, false)), settings);
    } else {
        SetColor(node, "StartColor", StartColor);
        SetColor(node, "EndColor", EndColor);
    }
}

// ---------------------------------------------------------------- XML lists

void LoadMorphFillStylesFromXml(const TXmlNode& node, TSWFMorphFillStyleList& list, const TXMLReadWriteSettings& settings) {
    for (const TXmlNode& child : node.ChildElements()) {
        uint8_t type = FillStyleFromName(child.NodeName());
        if (!IsKnownFillStyleType(type)) type = kFillSolid;
        auto fill = CreateMorphFillStyle(type);
        fill->LoadFromXml(child, settings);
        list.push_back(std::move(fill));
    }
}

void LoadMorphLineStylesFromXml(const TXmlNode& node, TSWFMorphLineStyleList& list, const TXMLReadWriteSettings& settings) {
    for (const TXmlNode& child : node.ChildElements()) {
        std::unique_ptr<TSWFMorphLineStyle> style;
        if (child.NodeName() == "Style") style = std::make_unique<TSWFMorphLineStyle>();
        else style = std::make_unique<TSWFMorphLineStyle2>();
        style->LoadFromXml(child, settings);
        list.push_back(std::move(style));
    }
}

void SaveMorphFillStylesToXml(TXmlNode node, TSWFMorphFillStyleList& list, const TXMLReadWriteSettings& settings) {
    for (const auto& fill : list) fill->SaveToXml(node.AddChild(FillStyleToName(fill->FillStyleType, false)), settings);
}

void SaveMorphLineStylesToXml(TXmlNode node, TSWFMorphLineStyleList& list, const TXMLReadWriteSettings& settings) {
    for (const auto& style : list)
        style->SaveToXml(node.AddChild(dynamic_cast<TSWFMorphLineStyle2*>(style.get()) ? "Style2" : "Style"), settings);
}

// ---------------------------------------------------------------- DefineMorphShape

void TSWFDefineMorphShape::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto& other = SourceAs<TSWFDefineMorphShape>(source, *this);
    if (&other == this) return;
    TSWFObject::CopyFieldsFrom(source);
    CharacterID = other.CharacterID;
    StartBounds.CopyFrom(other.StartBounds);
    EndBounds.CopyFrom(other.EndBounds);
    StartEdges.clear();
    CopyShapeRecords(other.StartEdges, StartEdges);
    EndEdges.clear();
    CopyShapeRecords(other.EndEdges, EndEdges);
    EndEdgeWidths = other.EndEdgeWidths;
    MorphLineStyles.clear();
    for (const auto& line : other.MorphLineStyles) {
        auto copy = line->Create();
        copy->CopyFrom(*line);
        MorphLineStyles.push_back(std::move(copy));
    }
    MorphFillStyles.clear();
    for (const auto& fill : other.MorphFillStyles) MorphFillStyles.push_back(CloneMorphFillStyle(*fill));
}

void TSWFDefineMorphShape::ReadBody(TBitsEngine& be) {
    const int64_t start = be.Stream.GetPosition();
    MorphFillStyles.clear();
    MorphLineStyles.clear();
    StartEdges.clear();
    EndEdges.clear();
    CharacterID = be.ReadWord();
    StartBounds.ReadAsStored(be);
    EndBounds.ReadAsStored(be);
    ReadExtraFields(be);
    be.ReadDWord();  // the offset of the end edges: they follow the start edges anyway
    // Every style takes at least 5 bytes: a count beyond the body is damage.
    uint16_t fills = ReadStyleCount(be);
    if (int64_t(fills) * 5 > be.Stream.Remaining())
        throw EReadError(FormatStr("%u morph fill styles cannot fit in the tag", unsigned(fills)));
    for (uint16_t i = 0; i < fills; ++i) {
        auto fill = CreateMorphFillStyle(be.ReadByte());
        fill->ReadFromStream(be);
        MorphFillStyles.push_back(std::move(fill));
    }
    uint16_t lines = ReadStyleCount(be);
    if (int64_t(lines) * 5 > be.Stream.Remaining())
        throw EReadError(FormatStr("%u morph line styles cannot fit in the tag", unsigned(lines)));
    for (uint16_t i = 0; i < lines; ++i) {
        std::unique_ptr<TSWFMorphLineStyle> line;
        if (TagCode == TagCodes::DefineMorphShape2) line = std::make_unique<TSWFMorphLineStyle2>();
        else line = std::make_unique<TSWFMorphLineStyle>();
        line->ReadFromStream(be);
        MorphLineStyles.push_back(std::move(line));
    }
    uint8_t widths = be.ReadByte();
    ReadShapeRecords(be, StartEdges, widths >> 4, widths & 15, nullptr);
    EndEdgeWidths = 0;
    if (be.Stream.Remaining() > 0) {
        widths = be.ReadByte();
        EndEdgeWidths = widths;
        ReadShapeRecords(be, EndEdges, widths >> 4, widths & 15, nullptr);
    }
    if (BodySize > 0) be.Stream.SetPosition(start + BodySize);
}

void TSWFDefineMorphShape::WriteEdges(TBitsEngine& be, TSWFShapeRecordList& edges, uint8_t fillBits,
                                      uint8_t lineBits) {
    for (size_t i = 0; i < edges.size(); ++i) {
        TSWFShapeRecord* record = edges[i].get();
        // An end record in the middle would cut the list short for every
        // reader: only the last one is written.
        if (record->RecordKind == kShapeRecordEnd && i + 1 < edges.size()) continue;
        if (record->RecordKind == kShapeRecordStyleChange) {
            auto& change = static_cast<TSWFStyleChangeRecord&>(*record);
            change.FillBits = fillBits;
            change.LineBits = lineBits;
            if (MorphFillStyles.empty()) change.StateFillStyle0 = change.StateFillStyle1 = false;
            if (MorphLineStyles.empty()) change.StateLineStyle = false;
        }
        record->WriteToStream(be);
    }
    if (edges.empty() || edges.back()->RecordKind != kShapeRecordEnd) be.WriteBits(0, 6);
    be.FlushLastByte(true);
}

void TSWFDefineMorphShape::WriteBody(TBitsEngine& be) {
    TStream& stream = be.Stream;
    be.WriteWord(CharacterID);
    StartBounds.Write(be);
    EndBounds.Write(be);
    WriteExtraFields(be);
    const int64_t offsetAt = stream.GetPosition();
    be.WriteDWord(0);
    WriteStyleCount(be, MorphFillStyles.size());
    for (const auto& fill : MorphFillStyles) fill->WriteToStream(be);
    WriteStyleCount(be, MorphLineStyles.size());
    for (const auto& line : MorphLineStyles) line->WriteToStream(be);
    const uint8_t fillBits = StyleIndexBits(MorphFillStyles.size());
    const uint8_t lineBits = StyleIndexBits(MorphLineStyles.size());
    be.WriteBits(fillBits, 4);
    be.WriteBits(lineBits, 4);
    WriteEdges(be, StartEdges, fillBits, lineBits);
    const int64_t end = stream.GetPosition();
    stream.SetPosition(offsetAt);
    be.WriteDWord(static_cast<uint32_t>(end - offsetAt - 4));
    stream.SetPosition(end);
    uint8_t endFillBits = 0, endLineBits = 0;
    EndWidths(endFillBits, endLineBits);
    be.WriteBits(endFillBits, 4);
    be.WriteBits(endLineBits, 4);
    WriteEdges(be, EndEdges, endFillBits, endLineBits);
}

// The end edges of the first version select no styles; those of the second
// take the start edges' widths. Widths read wider are kept.
void TSWFDefineMorphShape::DefaultEndWidths(uint8_t& fillBits, uint8_t& lineBits) const {
    const bool second = TagCode == TagCodes::DefineMorphShape2;
    fillBits = second ? StyleIndexBits(MorphFillStyles.size()) : 0;
    lineBits = second ? StyleIndexBits(MorphLineStyles.size()) : 0;
}

void TSWFDefineMorphShape::EndWidths(uint8_t& fillBits, uint8_t& lineBits) const {
    DefaultEndWidths(fillBits, lineBits);
    fillBits = std::max<uint8_t>(fillBits, EndEdgeWidths >> 4);
    lineBits = std::max<uint8_t>(lineBits, EndEdgeWidths & 15);
}

void TSWFDefineMorphShape::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) {
    CharacterID = static_cast<uint16_t>(node.AttrInt("ID"));
    MorphFillStyles.clear();
    MorphLineStyles.clear();
    StartEdges.clear();
    EndEdges.clear();
    if (TXmlNode fills = node.ChildNode("FillStyles")) LoadMorphFillStylesFromXml(fills, MorphFillStyles, settings);
    if (TXmlNode lines = node.ChildNode("LineStyles")) LoadMorphLineStylesFromXml(lines, MorphLineStyles, settings);
    for (bool start : {true, false}) {
        TXmlNode shape = node.ChildNode(start ? "StartShape" : "EndShape");
        if (!shape) continue;
        ReadRectAttrs(settings, shape, start ? StartBounds : EndBounds);
        LoadExtraFromXml(shape, start, settings);
        if (shape.ChildCount() > 0) LoadShapeRecordsFromXml(shape, start ? StartEdges : EndEdges, true, settings);
    }
    EndEdgeWidths = 0;
    if (TXmlNode shape = node.ChildNode("EndShape"))
        EndEdgeWidths = static_cast<uint8_t>(std::clamp<int64_t>(shape.AttrIntDef("FillBits", 0), 0, 15) << 4 |
                                             std::clamp<int64_t>(shape.AttrIntDef("LineBits", 0), 0, 15));
}

void TSWFDefineMorphShape::SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) {
    node.SetAttr("ID", static_cast<int>(CharacterID));
    if (!MorphFillStyles.empty()) SaveMorphFillStylesToXml(node.AddChild("FillStyles"), MorphFillStyles, settings);
    if (!MorphLineStyles.empty()) SaveMorphLineStylesToXml(node.AddChild("LineStyles"), MorphLineStyles, settings);
    for (bool start : {true, false}) {
        TXmlNode shape = node.AddChild(start ? "StartShape" : "EndShape");
        WriteRectAttrs(settings, shape, start ? StartBounds : EndBounds);
        SaveExtraToXml(shape, start, settings);
        if (!start) {
            uint8_t fillBits = 0, lineBits = 0, defaultFill = 0, defaultLine = 0;
            EndWidths(fillBits, lineBits);
            DefaultEndWidths(defaultFill, defaultLine);
            if (fillBits != defaultFill || lineBits != defaultLine) {
                shape.SetAttr("FillBits", static_cast<int>(fillBits));
                shape.SetAttr("LineBits", static_cast<int>(lineBits));
            }
        }
        TSWFShapeRecordList& edges = start ? StartEdges : EndEdges;
        if (!edges.empty()) SaveShapeRecordsToXml(shape, edges, true, settings);
    }
}

// ---------------------------------------------------------------- DefineMorphShape2

void TSWFDefineMorphShape2::CopyFieldsFrom(const TBasedSWFObject& source) {
    TSWFDefineMorphShape::CopyFieldsFrom(source);
    if (auto* other = dynamic_cast<const TSWFDefineMorphShape2*>(&source)) {
        StartEdgeBounds.CopyFrom(other->StartEdgeBounds);
        EndEdgeBounds.CopyFrom(other->EndEdgeBounds);
        UsesNonScalingStrokes = other->UsesNonScalingStrokes;
        UsesScalingStrokes = other->UsesScalingStrokes;
        return;
    }
    // From the first version: its bounds serve as edge bounds, and its line
    // styles become MORPHLINESTYLE2 with the default stroke.
    StartEdgeBounds.CopyFrom(StartBounds);
    EndEdgeBounds.CopyFrom(EndBounds);
    for (auto& line : MorphLineStyles) {
        if (dynamic_cast<TSWFMorphLineStyle2*>(line.get())) continue;
        auto second = std::make_unique<TSWFMorphLineStyle2>();
        second->CopyFrom(*line);
        line = std::move(second);
    }
}

void TSWFDefineMorphShape2::ReadExtraFields(TBitsEngine& be) {
    StartEdgeBounds.ReadAsStored(be);
    EndEdgeBounds.ReadAsStored(be);
    uint8_t flags = be.ReadByte();
    UsesNonScalingStrokes = (flags & 0x02) != 0;
    UsesScalingStrokes = (flags & 0x01) != 0;
}

void TSWFDefineMorphShape2::WriteExtraFields(TBitsEngine& be) {
    StartEdgeBounds.Write(be);
    EndEdgeBounds.Write(be);
    UsesNonScalingStrokes = UsesScalingStrokes = false;
    for (const auto& line : MorphLineStyles) {
        auto* second = dynamic_cast<const TSWFMorphLineStyle2*>(line.get());
        if (second && (second->NoHScaleFlag || second->NoVScaleFlag)) UsesNonScalingStrokes = true;
        else UsesScalingStrokes = true;
    }
    be.WriteByte(static_cast<uint8_t>(UsesNonScalingStrokes << 1 | UsesScalingStrokes));
}

void TSWFDefineMorphShape2::LoadExtraFromXml(const TXmlNode& node, bool isStart, const TXMLReadWriteSettings& settings) {
    const std::string prefix = isStart ? "Start" : "End";
    if (!node.HasAttribute(prefix + "XMax")) return;
    ReadRectAttrs(settings, node, isStart ? StartEdgeBounds : EndEdgeBounds, prefix);
}

void TSWFDefineMorphShape2::SaveExtraToXml(TXmlNode node, bool isStart, const TXMLReadWriteSettings& settings) {
    WriteRectAttrs(settings, node, isStart ? StartEdgeBounds : EndEdgeBounds, isStart ? "Start" : "End");
}
