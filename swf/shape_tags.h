// The shape definition tags DefineShape (code 2), DefineShape2 (22),
// DefineShape3 (32) and DefineShape4 (83): a shape character with its
// bounds, its fill and line style arrays and its outline as a shape-record
// list. Codes 2 and 22 write their colours as RGB, 32 and 83 as RGBA;
// DefineShape4 adds the edge bounds and stroke flags and uses LINESTYLE2.
#pragma once

#include <cstdint>
#include <memory>

#include "swf/shape_records.h"
#include "swf/styles.h"
#include "swf/tag.h"
#include "swf/value_records.h"

class TSWFDefineShape : public TSWFObject {
public:
    TSWFDefineShape() { TagCode = TagCodes::DefineShape; }

    uint16_t ShapeId = 0;
    TSWFRect ShapeBounds;
    TSWFFillStyleList FillStyles;
    TSWFLineStyleList LineStyles;
    TSWFShapeRecordList Edges;
    bool HasAlpha = false;

    TSWFShapeRecord* GetEdgeRecord(size_t index) const { return Edges.at(index).get(); }

    // Copies any tag of the DefineShape family.
    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    // By the code written: 1, 2, 3, or 8 for DefineShape4.
    int RequiredVersion() const override;
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;
    void SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) override;
    int32_t CharacterId() const override { return ShapeId; }

    virtual void ReadExtraFields(TBitsEngine& be) {}
    virtual void WriteExtraFields(TBitsEngine& be) {}
    virtual std::unique_ptr<TSWFDefineShape> Create() const { return std::make_unique<TSWFDefineShape>(); }
};

class TSWFDefineShape2 : public TSWFDefineShape {
public:
    TSWFDefineShape2() { TagCode = TagCodes::DefineShape2; }
    std::unique_ptr<TSWFDefineShape> Create() const override { return std::make_unique<TSWFDefineShape2>(); }
};

class TSWFDefineShape3 : public TSWFDefineShape {
public:
    TSWFDefineShape3() {
        TagCode = TagCodes::DefineShape3;
        HasAlpha = true;
    }
    std::unique_ptr<TSWFDefineShape> Create() const override { return std::make_unique<TSWFDefineShape3>(); }
};

class TSWFDefineShape4 : public TSWFDefineShape {
public:
    TSWFDefineShape4() {
        TagCode = TagCodes::DefineShape4;
        HasAlpha = true;
    }

    TSWFRect EdgeBounds;
    bool UsesNonScalingStrokes = false;
    bool UsesScalingStrokes = false;
    // The six upper bits of the flag byte, kept as read (later players give
    // one of them a meaning: the fill winding rule).
    uint8_t ReservedFlags = 0;

    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;
    void SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) override;
    void ReadExtraFields(TBitsEngine& be) override;
    // The stroke flags of a shape read from a file or its XML form are
    // written as they were read; for a shape built in code they are
    // computed from its line styles, those of its new-style records included.
    void WriteExtraFields(TBitsEngine& be) override;
    std::unique_ptr<TSWFDefineShape> Create() const override { return std::make_unique<TSWFDefineShape4>(); }

private:
    void ComputeStrokeFlags();
    bool strokeFlagsKept_ = false;
};
