#include "swf/shape_tags.h"

#include "platform/errors.h"
#include "swf/xml_form.h"

// ---------------------------------------------------------------- DefineShape

void TSWFDefineShape::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto* other = &SourceAs<TSWFDefineShape>(source, *this);
    TSWFObject::CopyFieldsFrom(source);
    ShapeId = other->ShapeId;
    ShapeBounds.CopyFrom(other->ShapeBounds);
    HasAlpha = other->HasAlpha;
    Edges.clear();
    CopyShapeRecords(other->Edges, Edges);
    LineStyles.clear();
    for (const auto& line : other->LineStyles) LineStyles.push_back(CloneLineStyle(*line));
    FillStyles.clear();
    for (const auto& fill : other->FillStyles) FillStyles.push_back(CloneFillStyle(*fill));
}

int TSWFDefineShape::RequiredVersion() const {
    switch (TagCode) {
        case 22: return 2;
        case 32: return 3;
        case 83: return 8;
        default: return 1;
    }
}

void TSWFDefineShape::ReadBody(TBitsEngine& be) {
    const int64_t start = be.Stream.GetPosition();
    FillStyles.clear();
    LineStyles.clear();
    Edges.clear();
    ShapeId = be.ReadWord();
    ShapeBounds.ReadAsStored(be);
    ReadExtraFields(be);
    ReadFillStyleArray(be, FillStyles, HasAlpha);
    ReadLineStyleArray(be, LineStyles, HasAlpha, TagCode == TagCodes::DefineShape4);
    uint8_t widths = be.ReadByte();
    ReadShapeRecords(be, Edges, widths >> 4, widths & 15, this);
    // Whatever the records took, the next tag starts where the body ends.
    if (BodySize > 0) be.Stream.SetPosition(start + BodySize);
}

void TSWFDefineShape::WriteBody(TBitsEngine& be) {
    be.WriteWord(ShapeId);
    ShapeBounds.Write(be);
    WriteExtraFields(be);
    WriteFillStyleArray(be, FillStyles, HasAlpha);
    WriteLineStyleArray(be, LineStyles, HasAlpha);
    uint8_t fillBits = StyleIndexBits(FillStyles.size());
    uint8_t lineBits = StyleIndexBits(LineStyles.size());
    be.WriteBits(fillBits, 4);
    be.WriteBits(lineBits, 4);
    if (Edges.empty()) {
        TSWFEndShapeRecord().WriteToStream(be);
    } else {
        for (size_t i = 0; i < Edges.size(); ++i) {
            TSWFShapeRecord& record = *Edges[i];
            bool last = i + 1 == Edges.size();
            if (record.RecordKind == kShapeRecordEnd) {
                // Only the final end record is written: one in the middle
                // would cut the outline short.
                if (last) record.WriteToStream(be);
                continue;
            }
            if (record.RecordKind == kShapeRecordStyleChange) {
                auto& change = static_cast<TSWFStyleChangeRecord&>(record);
                change.HasAlpha = HasAlpha;
                change.FillBits = fillBits;
                change.LineBits = lineBits;
                if (!change.StateNewStyles) {
                    // Without styles to select there is no index to write.
                    if (fillBits == 0) change.StateFillStyle0 = change.StateFillStyle1 = false;
                    if (lineBits == 0) change.StateLineStyle = false;
                }
                change.WriteToStream(be);
                if (change.StateNewStyles) {
                    fillBits = change.FillBits;
                    lineBits = change.LineBits;
                }
            } else {
                record.WriteToStream(be);
            }
        }
        if (Edges.back()->RecordKind != kShapeRecordEnd) TSWFEndShapeRecord().WriteToStream(be);
    }
    be.FlushLastByte(true);
}

void TSWFDefineShape::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) {
    ShapeId = static_cast<uint16_t>(node.AttrInt("ID"));
    ReadRectAttrs(settings, node, ShapeBounds);
    FillStyles.clear();
    LineStyles.clear();
    Edges.clear();
    if (TXmlNode fills = node.ChildNode("FillStyles")) LoadFillStylesFromXml(fills, FillStyles, HasAlpha, settings);
    if (TXmlNode lines = node.ChildNode("LineStyles")) LoadLineStylesFromXml(lines, LineStyles, HasAlpha, settings);
    if (TXmlNode edges = node.ChildNode("Edges")) LoadShapeRecordsFromXml(edges, Edges, HasAlpha, settings);
}

void TSWFDefineShape::SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) {
    node.SetAttr("ID", static_cast<int>(ShapeId));
    WriteRectAttrs(settings, node, ShapeBounds);
    if (!FillStyles.empty()) SaveFillStylesToXml(node.AddChild("FillStyles"), FillStyles, HasAlpha, settings);
    if (!LineStyles.empty()) SaveLineStylesToXml(node.AddChild("LineStyles"), LineStyles, settings);
    if (!Edges.empty()) SaveShapeRecordsToXml(node.AddChild("Edges"), Edges, HasAlpha, settings);
}

// ---------------------------------------------------------------- DefineShape4

void TSWFDefineShape4::CopyFieldsFrom(const TBasedSWFObject& source) {
    TSWFDefineShape::CopyFieldsFrom(source);
    if (auto* other = dynamic_cast<const TSWFDefineShape4*>(&source)) {
        EdgeBounds.CopyFrom(other->EdgeBounds);
        UsesNonScalingStrokes = other->UsesNonScalingStrokes;
        UsesScalingStrokes = other->UsesScalingStrokes;
        ReservedFlags = other->ReservedFlags;
        strokeFlagsKept_ = other->strokeFlagsKept_;
    }
}

void TSWFDefineShape4::ReadExtraFields(TBitsEngine& be) {
    EdgeBounds.ReadAsStored(be);
    uint8_t flags = be.ReadByte();
    ReservedFlags = flags >> 2;
    UsesNonScalingStrokes = (flags & 0x02) != 0;
    UsesScalingStrokes = (flags & 0x01) != 0;
    strokeFlagsKept_ = true;
}

void TSWFDefineShape4::WriteExtraFields(TBitsEngine& be) {
    EdgeBounds.Write(be);
    if (!strokeFlagsKept_) ComputeStrokeFlags();
    be.WriteByte(static_cast<uint8_t>((ReservedFlags & 0x3F) << 2 | UsesNonScalingStrokes << 1 | UsesScalingStrokes));
}

void TSWFDefineShape4::ComputeStrokeFlags() {
    UsesNonScalingStrokes = UsesScalingStrokes = false;
    auto look = [this](const TSWFLineStyleList& lines) {
        for (const auto& line : lines) {
            auto* second = dynamic_cast<const TSWFLineStyle2*>(line.get());
            if (second && (second->NoHScaleFlag || second->NoVScaleFlag)) UsesNonScalingStrokes = true;
            else UsesScalingStrokes = true;
        }
    };
    look(LineStyles);
    for (const auto& record : Edges)
        if (record->RecordKind == kShapeRecordStyleChange) {
            const auto& change = static_cast<const TSWFStyleChangeRecord&>(*record);
            if (change.StateNewStyles) look(change.NewLineStyles);
        }
}

void TSWFDefineShape4::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) {
    TSWFDefineShape::LoadFromXml(node, settings);
    UsesNonScalingStrokes = node.AttrBoolDef("UsesNonScalingStrokes", false);
    UsesScalingStrokes = node.AttrBoolDef("UsesScalingStrokes", false);
    strokeFlagsKept_ = node.HasAttribute("UsesNonScalingStrokes") || node.HasAttribute("UsesScalingStrokes");
    if (node.HasAttribute("EdgeXMax")) ReadRectAttrs(settings, node, EdgeBounds, "Edge");
    ReservedFlags = static_cast<uint8_t>(node.AttrIntDef("ReservedFlags", 0) & 0x3F);
}

void TSWFDefineShape4::SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) {
    TSWFDefineShape::SaveToXml(node, settings);
    if (strokeFlagsKept_) {
        node.SetAttrBool("UsesNonScalingStrokes", UsesNonScalingStrokes);
        node.SetAttrBool("UsesScalingStrokes", UsesScalingStrokes);
    }
    WriteRectAttrs(settings, node, EdgeBounds, "Edge");
    if (ReservedFlags != 0) node.SetAttr("ReservedFlags", static_cast<int>(ReservedFlags));
}
