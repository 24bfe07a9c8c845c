// Shape tweens: DefineMorphShape (46) and DefineMorphShape2 (84), a
// character with a start and an end state (bounds and an edge list each)
// that share one fill array and one line array whose styles each hold a
// start and an end value.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "swf/shape_records.h"
#include "swf/styles.h"
#include "swf/tag.h"
#include "swf/value_records.h"

class TXMLReadWriteSettings;

class TSWFMorphFillStyle {
public:
    explicit TSWFMorphFillStyle(uint8_t type) : FillStyleType(type) {}
    virtual ~TSWFMorphFillStyle() = default;

    uint8_t FillStyleType;

    // EConvertError for a source of another kind.
    virtual void CopyFrom(const TSWFMorphFillStyle& source) = 0;
    // The body after the type byte.
    virtual void ReadFromStream(TBitsEngine& be) = 0;
    // The type byte and the body.
    virtual void WriteToStream(TBitsEngine& be) = 0;
    virtual void LoadFromXml(const TXmlNode& node, const TXMLReadWriteSettings& settings) = 0;
    virtual void SaveToXml(TXmlNode node, const TXMLReadWriteSettings& settings) = 0;
};

using TSWFMorphFillStyleList = std::vector<std::unique_ptr<TSWFMorphFillStyle>>;

// An empty morph fill of the class for type; EReadError for a type outside
// the fill-type table.
std::unique_ptr<TSWFMorphFillStyle> CreateMorphFillStyle(uint8_t type);
std::unique_ptr<TSWFMorphFillStyle> CloneMorphFillStyle(const TSWFMorphFillStyle& source);

class TSWFMorphColorFill : public TSWFMorphFillStyle {
public:
    TSWFMorphColorFill() : TSWFMorphFillStyle(kFillSolid) {}

    TSWFRGBAValue StartColor = 0, EndColor = 0;

    void CopyFrom(const TSWFMorphFillStyle& source) override;
    void ReadFromStream(TBitsEngine& be) override;
    void WriteToStream(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node, const TXMLReadWriteSettings& settings) override;
    void SaveToXml(TXmlNode node, const TXMLReadWriteSettings& settings) override;
};

struct TSWFMorphGradientRecord {
    uint8_t StartRatio = 0;
    TSWFRGBAValue StartColor = 0;
    uint8_t EndRatio = 0;
    TSWFRGBAValue EndColor = 0;
};

class TSWFMorphGradientFill : public TSWFMorphFillStyle {
public:
    TSWFMorphGradientFill() : TSWFMorphFillStyle(kFillLinearGradient) {}

    TSWFMatrix StartGradientMatrix, EndGradientMatrix;
    uint8_t SpreadMode = 0, InterpolationMode = 0;
    // The records in order; the count byte's four bits hold at most 15.
    std::vector<TSWFMorphGradientRecord> Gradients;

    int NumGradients() const { return static_cast<int>(Gradients.size()); }
    // index counts from 1; the record is created (and the count raised) when
    // it does not exist yet.
    TSWFMorphGradientRecord& GetGradientRecord(int index);
    // The fields of record index (from 1, created as GetGradientRecord does).
    TSWFRGBAValue& GetStartColor(int index) { return GetGradientRecord(index).StartColor; }
    TSWFRGBAValue& GetEndColor(int index) { return GetGradientRecord(index).EndColor; }
    uint8_t GetStartRatio(int index) { return GetGradientRecord(index).StartRatio; }
    uint8_t GetEndRatio(int index) { return GetGradientRecord(index).EndRatio; }
    void SetStartRatio(int index, uint8_t ratio) { GetGradientRecord(index).StartRatio = ratio; }
    void SetEndRatio(int index, uint8_t ratio) { GetGradientRecord(index).EndRatio = ratio; }

    void CopyFrom(const TSWFMorphFillStyle& source) override;
    void ReadFromStream(TBitsEngine& be) override;
    void WriteToStream(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node, const TXMLReadWriteSettings& settings) override;
    void SaveToXml(TXmlNode node, const TXMLReadWriteSettings& settings) override;

protected:
    explicit TSWFMorphGradientFill(uint8_t type) : TSWFMorphFillStyle(type) {}
};

class TSWFMorphFocalGradientFill : public TSWFMorphGradientFill {
public:
    TSWFMorphFocalGradientFill() : TSWFMorphGradientFill(kFillFocalGradient) {}

    int16_t StartFocalPoint = 0, EndFocalPoint = 0;  // units of 1/255

    // As the plain focal fill converts them (FocalPointValue, FocalPointStored).
    float GetStartFocalPoint() const { return FocalPointValue(StartFocalPoint); }
    float GetEndFocalPoint() const { return FocalPointValue(EndFocalPoint); }
    void SetStartFocalPoint(float value) { StartFocalPoint = FocalPointStored(value); }
    void SetEndFocalPoint(float value) { EndFocalPoint = FocalPointStored(value); }

    void CopyFrom(const TSWFMorphFillStyle& source) override;
    void ReadFromStream(TBitsEngine& be) override;
    void WriteToStream(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node, const TXMLReadWriteSettings& settings) override;
    void SaveToXml(TXmlNode node, const TXMLReadWriteSettings& settings) override;
};

class TSWFMorphImageFill : public TSWFMorphFillStyle {
public:
    TSWFMorphImageFill() : TSWFMorphFillStyle(kFillClipBitmap) {}

    uint16_t BitmapId = 0;
    TSWFMatrix StartBitmapMatrix, EndBitmapMatrix;

    void CopyFrom(const TSWFMorphFillStyle& source) override;
    void ReadFromStream(TBitsEngine& be) override;
    void WriteToStream(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node, const TXMLReadWriteSettings& settings) override;
    void SaveToXml(TXmlNode node, const TXMLReadWriteSettings& settings) override;
};

class TSWFMorphLineStyle {
public:
    virtual ~TSWFMorphLineStyle() = default;

    uint16_t StartWidth = 0, EndWidth = 0;  // twips
    TSWFRGBAValue StartColor = 0, EndColor = 0;

    virtual std::unique_ptr<TSWFMorphLineStyle> Create() const { return std::make_unique<TSWFMorphLineStyle>(); }
    // Widths and colours; between two MORPHLINESTYLE2 also the stroke.
    virtual void CopyFrom(const TSWFMorphLineStyle& source);
    virtual void ReadFromStream(TBitsEngine& be);
    virtual void WriteToStream(TBitsEngine& be);
    virtual void LoadFromXml(const TXmlNode& node, const TXMLReadWriteSettings& settings);
    virtual void SaveToXml(TXmlNode node, const TXMLReadWriteSettings& settings);
};

using TSWFMorphLineStyleList = std::vector<std::unique_ptr<TSWFMorphLineStyle>>;

class TSWFMorphLineStyle2 : public TSWFMorphLineStyle, public TSWFStroke2 {
public:
    // The stroke's fill when HasFillFlag: a morph fill, with its start and
    // end values like every other style of the tag.
    std::unique_ptr<TSWFMorphFillStyle> FillStyle;

    // type < 0: the present fill, or none. Otherwise a fill of that type,
    // kept when the present one has it, else built.
    TSWFMorphFillStyle* GetFillStyle(int type);

    std::unique_ptr<TSWFMorphLineStyle> Create() const override { return std::make_unique<TSWFMorphLineStyle2>(); }
    void CopyFrom(const TSWFMorphLineStyle& source) override;
    void ReadFromStream(TBitsEngine& be) override;
    void WriteToStream(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node, const TXMLReadWriteSettings& settings) override;
    void SaveToXml(TXmlNode node, const TXMLReadWriteSettings& settings) override;
};

void LoadMorphFillStylesFromXml(const TXmlNode& node, TSWFMorphFillStyleList& list, const TXMLReadWriteSettings& settings);
void LoadMorphLineStylesFromXml(const TXmlNode& node, TSWFMorphLineStyleList& list, const TXMLReadWriteSettings& settings);
void SaveMorphFillStylesToXml(TXmlNode node, TSWFMorphFillStyleList& list, const TXMLReadWriteSettings& settings);
void SaveMorphLineStylesToXml(TXmlNode node, TSWFMorphLineStyleList& list, const TXMLReadWriteSettings& settings);

class TSWFDefineMorphShape : public TSWFObject {
public:
    TSWFDefineMorphShape() { TagCode = TagCodes::DefineMorphShape; }

    uint16_t CharacterID = 0;
    TSWFRect StartBounds, EndBounds;
    TSWFMorphFillStyleList MorphFillStyles;
    TSWFMorphLineStyleList MorphLineStyles;
    TSWFShapeRecordList StartEdges, EndEdges;
    // The index widths of the end edges as read (fill bits in the high
    // nibble). The end edges select no styles, so the writer would put 0
    // (the first version) where some producers put other widths: the end
    // edges are written at least this wide.
    uint8_t EndEdgeWidths = 0;

    TSWFShapeRecord* GetStartEdgeRecord(size_t index) const { return StartEdges.at(index).get(); }
    TSWFShapeRecord* GetEndEdgeRecord(size_t index) const { return EndEdges.at(index).get(); }

    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    int RequiredVersion() const override { return 3; }
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;
    void SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) override;
    int32_t CharacterId() const override { return CharacterID; }

    virtual void ReadExtraFields(TBitsEngine& be) {}
    virtual void WriteExtraFields(TBitsEngine& be) {}
    virtual void LoadExtraFromXml(const TXmlNode& node, bool isStart, const TXMLReadWriteSettings& settings) {}
    virtual void SaveExtraToXml(TXmlNode node, bool isStart, const TXMLReadWriteSettings& settings) {}
    virtual std::unique_ptr<TSWFDefineMorphShape> Create() const { return std::make_unique<TSWFDefineMorphShape>(); }

private:
    void DefaultEndWidths(uint8_t& fillBits, uint8_t& lineBits) const;
    void EndWidths(uint8_t& fillBits, uint8_t& lineBits) const;
    void WriteEdges(TBitsEngine& be, TSWFShapeRecordList& edges, uint8_t fillBits, uint8_t lineBits);
};

class TSWFDefineMorphShape2 : public TSWFDefineMorphShape {
public:
    TSWFDefineMorphShape2() { TagCode = TagCodes::DefineMorphShape2; }

    TSWFRect StartEdgeBounds, EndEdgeBounds;
    bool UsesNonScalingStrokes = false, UsesScalingStrokes = false;

    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    void ReadExtraFields(TBitsEngine& be) override;
    // The stroke flags are recomputed from the line styles.
    void WriteExtraFields(TBitsEngine& be) override;
    void LoadExtraFromXml(const TXmlNode& node, bool isStart, const TXMLReadWriteSettings& settings) override;
    void SaveExtraToXml(TXmlNode node, bool isStart, const TXMLReadWriteSettings& settings) override;
    std::unique_ptr<TSWFDefineMorphShape> Create() const override { return std::make_unique<TSWFDefineMorphShape2>(); }
};
