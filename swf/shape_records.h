// The SHAPERECORD list of SWF shapes, morph shapes and glyphs: end records,
// style-change records (move-to, style indices, new style arrays) and
// straight and curved edges. Each record writes itself bit by bit;
// ReadShapeRecords turns a bit-packed list into records; CopyShapeRecords
// makes a deep copy; the XML form of a list is its "edges".
//
// The index widths (FillBits, LineBits) are not the records' own: the owner
// sets the widths in force on each style-change record before writing it,
// and after a record with new styles continues with the widths that record
// computed. Owners also end a list with an end record when it lacks one.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/xml.h"
#include "swf/bits_engine.h"
#include "swf/styles.h"

class TXMLReadWriteSettings;

class TSWFDefineShape;

enum : uint8_t {
    kShapeRecordEnd = 0,
    kShapeRecordStyleChange = 1,
    kShapeRecordStraightEdge = 2,
    kShapeRecordCurvedEdge = 3,
};

// Edge deltas have a 4-bit width field (NumBits - 2), so 17 signed bits.
constexpr int32_t kMaxEdgeDelta = 65535;

class TSWFShapeRecord {
public:
    explicit TSWFShapeRecord(uint8_t kind) : RecordKind(kind) {}
    virtual ~TSWFShapeRecord() = default;

    uint8_t RecordKind;

    virtual void CopyFrom(const TSWFShapeRecord& source) {}
    virtual void WriteToStream(TBitsEngine& be) = 0;
};

using TSWFShapeRecordList = std::vector<std::unique_ptr<TSWFShapeRecord>>;

// An empty record of kind 0-3; EConvertError for another kind.
std::unique_ptr<TSWFShapeRecord> CreateShapeRecord(uint8_t kind);

class TSWFEndShapeRecord : public TSWFShapeRecord {
public:
    TSWFEndShapeRecord() : TSWFShapeRecord(kShapeRecordEnd) {}
    void WriteToStream(TBitsEngine& be) override;
};

class TSWFStraightEdgeRecord : public TSWFShapeRecord {
public:
    TSWFStraightEdgeRecord() : TSWFShapeRecord(kShapeRecordStraightEdge) {}

    int32_t DeltaX = 0, DeltaY = 0;  // twips

    void CopyFrom(const TSWFShapeRecord& source) override;
    // EWriteError when a delta needs more than 17 signed bits.
    void WriteToStream(TBitsEngine& be) override;

protected:
    explicit TSWFStraightEdgeRecord(uint8_t kind) : TSWFShapeRecord(kind) {}
};

// Keeps its move-to point (absolute, twips) in the inherited DeltaX and
// DeltaY. Being a straight edge by class, it is told apart by RecordKind.
class TSWFStyleChangeRecord : public TSWFStraightEdgeRecord {
public:
    TSWFStyleChangeRecord() : TSWFStraightEdgeRecord(kShapeRecordStyleChange) {}

    uint8_t FillBits = 0, LineBits = 0;
    uint16_t Fill0Id = 0, Fill1Id = 0, LineId = 0;  // 1-based; 0 = none
    TSWFFillStyleList NewFillStyles;
    TSWFLineStyleList NewLineStyles;
    bool StateFillStyle0 = false;
    bool StateFillStyle1 = false;
    bool StateLineStyle = false;
    bool StateMoveTo = false;
    bool StateNewStyles = false;
    bool HasAlpha = false;  // colour form of the new styles
    // The width of the move-to fields as read, when a producer chose it
    // wider than needed: written at least this wide, so the bytes come back.
    uint8_t MoveBits = 0;

    void SetFill0Id(uint16_t value) { Fill0Id = value; StateFillStyle0 = true; }
    void SetFill1Id(uint16_t value) { Fill1Id = value; StateFillStyle1 = true; }
    void SetLineId(uint16_t value) { LineId = value; StateLineStyle = true; }
    void SetMoveTo(int32_t x, int32_t y) { DeltaX = x; DeltaY = y; StateMoveTo = true; }
    TSWFFillStyleList& GetNewFillStyles() { StateNewStyles = true; return NewFillStyles; }
    TSWFLineStyleList& GetNewLineStyles() { StateNewStyles = true; return NewLineStyles; }

    void CopyFrom(const TSWFShapeRecord& source) override;
    // A record that sets nothing at all is written with a move-to to its
    // point, as five zero flags would read as an end record. EWriteError
    // when a style index does not fit its width or the point needs more
    // than 31 signed bits.
    void WriteToStream(TBitsEngine& be) override;
};

class TSWFCurvedEdgeRecord : public TSWFShapeRecord {
public:
    TSWFCurvedEdgeRecord() : TSWFShapeRecord(kShapeRecordCurvedEdge) {}

    int32_t ControlDeltaX = 0, ControlDeltaY = 0;
    int32_t AnchorDeltaX = 0, AnchorDeltaY = 0;  // relative to the control point

    void CopyFrom(const TSWFShapeRecord& source) override;
    // Writes nothing for a curve of four zero deltas.
    void WriteToStream(TBitsEngine& be) override;
};

// Appends the records read up to and including the end record; the stream
// is left on a byte boundary. owner (the shape tag being read, or none for
// morph shapes and glyphs) gives the colour form of new styles (alpha when
// none) and LINESTYLE2 for a DefineShape4.
void ReadShapeRecords(TBitsEngine& be, TSWFShapeRecordList& list, uint8_t fillBits, uint8_t lineBits,
                      const TSWFDefineShape* owner);
// Appends a copy of every source record to target; an empty source clears
// target.
void CopyShapeRecords(const TSWFShapeRecordList& source, TSWFShapeRecordList& target);
void LoadShapeRecordsFromXml(const TXmlNode& node, TSWFShapeRecordList& list, bool hasAlpha,
                             const TXMLReadWriteSettings& settings);
void SaveShapeRecordsToXml(TXmlNode node, TSWFShapeRecordList& list, bool hasAlpha,
                           const TXMLReadWriteSettings& settings);
