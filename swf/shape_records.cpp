#include "swf/shape_records.h"

#include <algorithm>

#include "platform/codepage.h"
#include "platform/errors.h"
#include "swf/shape_tags.h"
#include "swf/xml_form.h"

namespace {

template <class T>
const T& RecordAs(const TSWFShapeRecord& source, const TSWFShapeRecord& target) {
    if (source.RecordKind != target.RecordKind)
        throw EConvertError(FormatStr("Cannot copy a shape record of kind %d into one of kind %d", source.RecordKind,
                                      target.RecordKind));
    return static_cast<const T&>(source);
}

// The width of a signed field holding v: the bits of |v| and a sign bit.
uint8_t SignedWidth(int32_t v) { return static_cast<uint8_t>(GetSignedBitsCount(v, 1)); }

uint8_t EdgeWidth(int32_t largest, const char* what) {
    uint8_t bits = SignedWidth(largest);
    if (bits > 17)
        throw EWriteError(FormatStr("A %s delta of %d twips cannot be written: edges hold at most %d", what, largest,
                                    kMaxEdgeDelta));
    return bits < 2 ? 2 : bits;
}

void WriteIndex(TBitsEngine& be, uint16_t index, uint8_t bits, const char* what) {
    // A width of 0 writes nothing, which reads back as index 0.
    if (bits < 16 && index >= (1u << bits))
        throw EWriteError(FormatStr("The %s index %u does not fit in %u bits", what, index, bits));
    be.WriteBits(index, bits);
}

uint16_t IndexAttr(const TXmlNode& node, const std::string& name) {
    int64_t value = node.AttrInt(name);
    if (value < 0 || value > 0xFFFF) throw EConvertError(FormatStr("%s=%lld is not a style index", name.c_str(),
                                                                    static_cast<long long>(value)));
    return static_cast<uint16_t>(value);
}

}  // namespace

std::unique_ptr<TSWFShapeRecord> CreateShapeRecord(uint8_t kind) {
    switch (kind) {
        case kShapeRecordEnd: return std::make_unique<TSWFEndShapeRecord>();
        case kShapeRecordStyleChange: return std::make_unique<TSWFStyleChangeRecord>();
        case kShapeRecordStraightEdge: return std::make_unique<TSWFStraightEdgeRecord>();
        case kShapeRecordCurvedEdge: return std::make_unique<TSWFCurvedEdgeRecord>();
        default: throw EConvertError(FormatStr("%d is not a shape record kind", kind));
    }
}

// ---------------------------------------------------------------- end

void TSWFEndShapeRecord::WriteToStream(TBitsEngine& be) { be.WriteBits(0, 6); }

// ---------------------------------------------------------------- straight edge

void TSWFStraightEdgeRecord::CopyFrom(const TSWFShapeRecord& source) {
    const auto& other = RecordAs<TSWFStraightEdgeRecord>(source, *this);
    DeltaX = other.DeltaX;
    DeltaY = other.DeltaY;
}

void TSWFStraightEdgeRecord::WriteToStream(TBitsEngine& be) {
    uint8_t bits = EdgeWidth(MaxAbs2(DeltaX, DeltaY), "straight edge");
    be.WriteBits(0x3, 2);
    be.WriteBits(bits - 2u, 4);
    if (DeltaX != 0 && DeltaY != 0) {
        be.WriteBit(true);
        be.WriteSBits(DeltaX, bits);
        be.WriteSBits(DeltaY, bits);
    } else {
        bool vertical = DeltaX == 0;
        be.WriteBit(false);
        be.WriteBit(vertical);
        be.WriteSBits(vertical ? DeltaY : DeltaX, bits);
    }
}

// ---------------------------------------------------------------- style change

void TSWFStyleChangeRecord::CopyFrom(const TSWFShapeRecord& source) {
    const auto& other = RecordAs<TSWFStyleChangeRecord>(source, *this);
    DeltaX = other.DeltaX;
    DeltaY = other.DeltaY;
    FillBits = other.FillBits;
    LineBits = other.LineBits;
    Fill0Id = other.Fill0Id;
    Fill1Id = other.Fill1Id;
    LineId = other.LineId;
    StateFillStyle0 = other.StateFillStyle0;
    StateFillStyle1 = other.StateFillStyle1;
    StateLineStyle = other.StateLineStyle;
    StateMoveTo = other.StateMoveTo;
    StateNewStyles = other.StateNewStyles;
    HasAlpha = other.HasAlpha;
    MoveBits = other.MoveBits;
    NewFillStyles.clear();
    NewLineStyles.clear();
    if (StateNewStyles) {
        for (const auto& fill : other.NewFillStyles) NewFillStyles.push_back(CloneFillStyle(*fill));
        for (const auto& line : other.NewLineStyles) NewLineStyles.push_back(CloneLineStyle(*line));
    }
}

void TSWFStyleChangeRecord::WriteToStream(TBitsEngine& be) {
    // Five zero flags are an end record, so a record that changes nothing
    // must carry a move-to; one that brings new styles is already told apart
    // and keeps its pen where it is.
    bool moveTo = StateMoveTo || !(StateFillStyle0 || StateFillStyle1 || StateLineStyle || StateNewStyles);
    be.WriteBit(false);
    be.WriteBit(StateNewStyles);
    be.WriteBit(StateLineStyle);
    be.WriteBit(StateFillStyle1);
    be.WriteBit(StateFillStyle0);
    be.WriteBit(moveTo);
    if (moveTo) {
        uint8_t bits = SignedWidth(MaxAbs2(DeltaX, DeltaY));
        if (bits <= 31) bits = std::max<uint8_t>(bits, std::min<uint8_t>(MoveBits, 31));
        if (bits > 31)
            throw EWriteError(FormatStr("The move-to point (%d, %d) cannot be written", DeltaX, DeltaY));
        be.WriteBits(bits, 5);
        be.WriteSBits(DeltaX, bits);
        be.WriteSBits(DeltaY, bits);
    }
    if (StateFillStyle0) WriteIndex(be, Fill0Id, FillBits, "fill style 0");
    if (StateFillStyle1) WriteIndex(be, Fill1Id, FillBits, "fill style 1");
    if (StateLineStyle) WriteIndex(be, LineId, LineBits, "line style");
    if (StateNewStyles) {
        be.FlushLastByte(true);
        WriteFillStyleArray(be, NewFillStyles, HasAlpha);
        WriteLineStyleArray(be, NewLineStyles, HasAlpha);
        be.FlushLastByte(true);
        FillBits = StyleIndexBits(NewFillStyles.size());
        LineBits = StyleIndexBits(NewLineStyles.size());
        be.WriteBits(FillBits, 4);
        be.WriteBits(LineBits, 4);
    }
}

// ---------------------------------------------------------------- curved edge

void TSWFCurvedEdgeRecord::CopyFrom(const TSWFShapeRecord& source) {
    const auto& other = RecordAs<TSWFCurvedEdgeRecord>(source, *this);
    ControlDeltaX = other.ControlDeltaX;
    ControlDeltaY = other.ControlDeltaY;
    AnchorDeltaX = other.AnchorDeltaX;
    AnchorDeltaY = other.AnchorDeltaY;
}

void TSWFCurvedEdgeRecord::WriteToStream(TBitsEngine& be) {
    if (ControlDeltaX == 0 && ControlDeltaY == 0 && AnchorDeltaX == 0 && AnchorDeltaY == 0) return;
    uint8_t bits = EdgeWidth(MaxAbs4(ControlDeltaX, ControlDeltaY, AnchorDeltaX, AnchorDeltaY), "curved edge");
    be.WriteBits(0x2, 2);
    be.WriteBits(bits - 2u, 4);
    be.WriteSBits(ControlDeltaX, bits);
    be.WriteSBits(ControlDeltaY, bits);
    be.WriteSBits(AnchorDeltaX, bits);
    be.WriteSBits(AnchorDeltaY, bits);
}

// ---------------------------------------------------------------- list reader

void ReadShapeRecords(TBitsEngine& be, TSWFShapeRecordList& list, uint8_t fillBits, uint8_t lineBits,
                      const TSWFDefineShape* owner) {
    const bool hasAlpha = owner ? owner->HasAlpha : true;
    const bool lineStyle2 = owner && owner->TagCode == TagCodes::DefineShape4;
    // Every record takes at least six bits, and every bit read is bounded by
    // the body, so a list without an end record ends in EReadError.
    for (;;) {
        if (be.GetBit()) {
            bool straight = be.GetBit();
            int bits = static_cast<int>(be.GetBits(4)) + 2;
            if (straight) {
                auto edge = std::make_unique<TSWFStraightEdgeRecord>();
                if (be.GetBit()) {
                    edge->DeltaX = be.GetSBits(bits);
                    edge->DeltaY = be.GetSBits(bits);
                } else if (be.GetBit()) {
                    edge->DeltaY = be.GetSBits(bits);
                } else {
                    edge->DeltaX = be.GetSBits(bits);
                }
                list.push_back(std::move(edge));
            } else {
                auto curve = std::make_unique<TSWFCurvedEdgeRecord>();
                curve->ControlDeltaX = be.GetSBits(bits);
                curve->ControlDeltaY = be.GetSBits(bits);
                curve->AnchorDeltaX = be.GetSBits(bits);
                curve->AnchorDeltaY = be.GetSBits(bits);
                list.push_back(std::move(curve));
            }
            continue;
        }
        uint32_t flags = be.GetBits(5);
        if (flags == 0) {
            list.push_back(std::make_unique<TSWFEndShapeRecord>());
            break;
        }
        auto change = std::make_unique<TSWFStyleChangeRecord>();
        change->HasAlpha = hasAlpha;
        if (flags & 0x01) {
            int bits = static_cast<int>(be.GetBits(5));
            int32_t x = be.GetSBits(bits);
            int32_t y = be.GetSBits(bits);
            change->SetMoveTo(x, y);
            change->MoveBits = static_cast<uint8_t>(bits);
        }
        if (flags & 0x02) change->SetFill0Id(static_cast<uint16_t>(be.GetBits(fillBits)));
        if (flags & 0x04) change->SetFill1Id(static_cast<uint16_t>(be.GetBits(fillBits)));
        if (flags & 0x08) change->SetLineId(static_cast<uint16_t>(be.GetBits(lineBits)));
        if (flags & 0x10) {
            be.FlushLastByte(false);
            ReadFillStyleArray(be, change->GetNewFillStyles(), hasAlpha);
            ReadLineStyleArray(be, change->GetNewLineStyles(), hasAlpha, lineStyle2);
            be.FlushLastByte(false);
            uint8_t widths = be.ReadByte();
            fillBits = widths >> 4;
            lineBits = widths & 15;
        }
        list.push_back(std::move(change));
    }
    be.FlushLastByte(false);
}

// ---------------------------------------------------------------- copy

void CopyShapeRecords(const TSWFShapeRecordList& source, TSWFShapeRecordList& target) {
    if (source.empty()) {
        target.clear();
        return;
    }
    for (const auto& record : source) {
        std::unique_ptr<TSWFShapeRecord> copy = CreateShapeRecord(record->RecordKind);
        copy->CopyFrom(*record);
        target.push_back(std::move(copy));
    }
}

// ---------------------------------------------------------------- XML

void SaveShapeRecordsToXml(TXmlNode node, TSWFShapeRecordList& list, bool hasAlpha,
                           const TXMLReadWriteSettings& settings) {
    for (auto& record : list) {
        switch (record->RecordKind) {
            case kShapeRecordEnd:
                node.AddChild("End");
                break;
            case kShapeRecordStyleChange: {
                auto& change = static_cast<TSWFStyleChangeRecord&>(*record);
                TXmlNode element = node.AddChild("MoveTo");
                if (change.StateLineStyle) element.SetAttr("Line", static_cast<int>(change.LineId));
                if (change.StateFillStyle0) element.SetAttr("Fill0", static_cast<int>(change.Fill0Id));
                if (change.StateFillStyle1) element.SetAttr("Fill1", static_cast<int>(change.Fill1Id));
                if (change.StateMoveTo) {
                    WriteCoordAttr(settings, element, "X", change.DeltaX);
                    WriteCoordAttr(settings, element, "Y", change.DeltaY);
                    if (change.MoveBits > SignedWidth(MaxAbs2(change.DeltaX, change.DeltaY)))
                        element.SetAttr("Bits", static_cast<int>(change.MoveBits));
                }
                if (change.StateNewStyles) {
                    if (!change.NewLineStyles.empty())
                        SaveLineStylesToXml(element.AddChild("NewLineStyles"), change.NewLineStyles, settings);
                    // Empty new arrays still reset the styles: an empty
                    // element keeps that record from losing its flag.
                    if (!change.NewFillStyles.empty() || change.NewLineStyles.empty())
                        SaveFillStylesToXml(element.AddChild("NewFillStyles"), change.NewFillStyles, hasAlpha,
                                            settings);
                }
                break;
            }
            case kShapeRecordStraightEdge: {
                auto& edge = static_cast<TSWFStraightEdgeRecord&>(*record);
                TXmlNode element = node.AddChild("Line");
                WriteCoordAttr(settings, element, "X", edge.DeltaX);
                WriteCoordAttr(settings, element, "Y", edge.DeltaY);
                break;
            }
            case kShapeRecordCurvedEdge: {
                auto& curve = static_cast<TSWFCurvedEdgeRecord&>(*record);
                TXmlNode element = node.AddChild("Curve");
                WriteCoordAttr(settings, element, "ControlX", curve.ControlDeltaX);
                WriteCoordAttr(settings, element, "ControlY", curve.ControlDeltaY);
                WriteCoordAttr(settings, element, "AnchorX", curve.AnchorDeltaX);
                WriteCoordAttr(settings, element, "AnchorY", curve.AnchorDeltaY);
                break;
            }
            default:
                break;
        }
    }
}

void LoadShapeRecordsFromXml(const TXmlNode& node, TSWFShapeRecordList& list, bool hasAlpha,
                             const TXMLReadWriteSettings& settings) {
    bool endedWithEnd = false;
    for (const TXmlNode& child : node.ChildElements()) {
        std::string name = child.NodeName();
        if (AnsiSameText(name, "End")) {
            list.push_back(std::make_unique<TSWFEndShapeRecord>());
            endedWithEnd = true;
            continue;
        }
        if (AnsiSameText(name, "MoveTo")) {
            auto change = std::make_unique<TSWFStyleChangeRecord>();
            change->HasAlpha = hasAlpha;
            if (child.HasAttribute("Line")) change->SetLineId(IndexAttr(child, "Line"));
            if (child.HasAttribute("Fill0")) change->SetFill0Id(IndexAttr(child, "Fill0"));
            if (child.HasAttribute("Fill1")) change->SetFill1Id(IndexAttr(child, "Fill1"));
            if (child.HasAttribute("X"))
                change->SetMoveTo(ReadCoordAttr(settings, child, "X"), ReadCoordAttr(settings, child, "Y"));
            if (child.HasAttribute("Bits")) change->MoveBits = static_cast<uint8_t>(std::clamp<int64_t>(child.AttrInt("Bits"), 0, 31));
            for (const TXmlNode& styles : child.ChildElements()) {
                if (AnsiSameText(styles.NodeName(), "NewLineStyles"))
                    LoadLineStylesFromXml(styles, change->GetNewLineStyles(), hasAlpha, settings);
                else if (AnsiSameText(styles.NodeName(), "NewFillStyles"))
                    LoadFillStylesFromXml(styles, change->GetNewFillStyles(), hasAlpha, settings);
            }
            list.push_back(std::move(change));
        } else if (AnsiSameText(name, "Line")) {
            auto edge = std::make_unique<TSWFStraightEdgeRecord>();
            edge->DeltaX = ReadCoordAttr(settings, child, "X");
            edge->DeltaY = ReadCoordAttr(settings, child, "Y");
            list.push_back(std::move(edge));
        } else if (AnsiSameText(name, "Curve")) {
            auto curve = std::make_unique<TSWFCurvedEdgeRecord>();
            curve->ControlDeltaX = ReadCoordAttr(settings, child, "ControlX");
            curve->ControlDeltaY = ReadCoordAttr(settings, child, "ControlY");
            curve->AnchorDeltaX = ReadCoordAttr(settings, child, "AnchorX");
            curve->AnchorDeltaY = ReadCoordAttr(settings, child, "AnchorY");
            list.push_back(std::move(curve));
        } else {
            continue;
        }
        endedWithEnd = false;
    }
    if (!endedWithEnd) list.push_back(std::make_unique<TSWFEndShapeRecord>());
}
