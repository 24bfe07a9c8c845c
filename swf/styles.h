// Fill and line styles of SWF shapes: FILLSTYLE (solid colour, linear,
// radial and focal gradients, bitmap fills), LINESTYLE and LINESTYLE2.
// One class per fill kind, chosen by the type byte; each style reads its
// body from the bit stream, writes itself back, copies itself from another
// style of its kind and has an XML element. The helpers at the end read and
// write the style arrays (with their 0xFF escape for long counts) that shape
// tags and style-change records share, and load and save their XML lists.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/xml.h"
#include "swf/bits_engine.h"
#include "swf/value_records.h"

class TXMLReadWriteSettings;

enum : uint8_t {
    kFillSolid = 0x00,
    kFillLinearGradient = 0x10,
    kFillRadialGradient = 0x12,
    kFillFocalGradient = 0x13,
    kFillTileBitmap = 0x40,
    kFillClipBitmap = 0x41,
    kFillNonSmoothTileBitmap = 0x42,
    kFillNonSmoothClipBitmap = 0x43,
};

// The 4-bit count of a gradient's mode/count byte is all a record can hold.
constexpr int kMaxGradientRecords = 15;
// Style indices are written in at most 15 bits (their width is a 4-bit field).
constexpr size_t kMaxAddressableStyles = 32767;

class TSWFFillStyle {
public:
    explicit TSWFFillStyle(uint8_t type) : FillStyleType(type) {}
    virtual ~TSWFFillStyle() = default;

    bool HasAlpha = false;
    uint8_t FillStyleType;

    // Copies HasAlpha and FillStyleType; the kinds add their fields and raise
    // EConvertError for a source of another kind.
    virtual void CopyFrom(const TSWFFillStyle& source);
    // The body only: the owner has read the type byte and built the class.
    virtual void ReadFromStream(TBitsEngine& be) = 0;
    // The type byte and the body.
    virtual void WriteToStream(TBitsEngine& be) = 0;
    virtual void LoadFromXml(const TXmlNode& node, const TXMLReadWriteSettings& settings) = 0;
    virtual void SaveToXml(TXmlNode node, const TXMLReadWriteSettings& settings) = 0;
};

using TSWFFillStyleList = std::vector<std::unique_ptr<TSWFFillStyle>>;

bool IsKnownFillStyleType(uint8_t type);
// An empty fill of the class for type; EReadError for a type outside the table.
std::unique_ptr<TSWFFillStyle> CreateFillStyle(uint8_t type);
// A new fill of the source's type holding a copy of it.
std::unique_ptr<TSWFFillStyle> CloneFillStyle(const TSWFFillStyle& source);

class TSWFColorFill : public TSWFFillStyle {
public:
    TSWFColorFill() : TSWFFillStyle(kFillSolid) {}

    TSWFRGBA Color;

    void CopyFrom(const TSWFFillStyle& source) override;
    void ReadFromStream(TBitsEngine& be) override;
    void WriteToStream(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node, const TXMLReadWriteSettings& settings) override;
    void SaveToXml(TXmlNode node, const TXMLReadWriteSettings& settings) override;
};

class TSWFImageFill : public TSWFFillStyle {
public:
    TSWFImageFill() : TSWFFillStyle(kFillClipBitmap) {}

    uint16_t BitmapId = 0;
    TSWFMatrix BitmapMatrix;

    void CopyFrom(const TSWFFillStyle& source) override;
    void ReadFromStream(TBitsEngine& be) override;
    void WriteToStream(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node, const TXMLReadWriteSettings& settings) override;
    void SaveToXml(TXmlNode node, const TXMLReadWriteSettings& settings) override;
};

struct TSWFGradientRecord {
    uint8_t Ratio = 0;
    TSWFRGBA Color;
};

// A gradient record as plain values: the packed colour and its ratio.
struct TSWFGradientRec {
    TSWFRGBAValue Color = 0;
    uint8_t Ratio = 0;
};

class TSWFBaseGradientFill : public TSWFFillStyle {
public:
    uint8_t SpreadMode = 0;         // 0..3
    uint8_t InterpolationMode = 0;  // 0..3
    // The records in order; their number is the gradient's count. Kept as a
    // list so a gradient built or loaded with more colours than a record can
    // hold is refused by the writer instead of overrunning a table.
    std::vector<TSWFGradientRecord> Gradients;

    int NumGradients() const { return static_cast<int>(Gradients.size()); }
    void SetNumGradients(int count);
    // index counts from 1; the record is created (and the count raised) when
    // it does not exist yet.
    TSWFRGBA& GetGradientColor(int index);
    void SetGradientRatio(int index, uint8_t ratio);
    TSWFGradientRec GetGradientRecord(int index) const;

protected:
    explicit TSWFBaseGradientFill(uint8_t type) : TSWFFillStyle(type) {}
    TSWFGradientRecord& Record(int index);
    void CopyGradientFrom(const TSWFBaseGradientFill& source);
    // The mode/count byte and the records.
    void ReadGradient(TBitsEngine& be);
    void WriteGradient(TBitsEngine& be);
    void LoadGradientXml(const TXmlNode& node);
    void SaveGradientXml(TXmlNode node);
};

// Linear (0x10) and radial (0x12) gradients.
class TSWFGradientFill : public TSWFBaseGradientFill {
public:
    TSWFGradientFill() : TSWFBaseGradientFill(kFillLinearGradient) {}

    TSWFMatrix GradientMatrix;

    // Scales and centres the 32768-twip gradient square onto rect (window
    // order, twips).
    void FitToRect(const TRect& rect);

    void CopyFrom(const TSWFFillStyle& source) override;
    void ReadFromStream(TBitsEngine& be) override;
    void WriteToStream(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node, const TXMLReadWriteSettings& settings) override;
    void SaveToXml(TXmlNode node, const TXMLReadWriteSettings& settings) override;

protected:
    explicit TSWFGradientFill(uint8_t type) : TSWFBaseGradientFill(type) {}
};

// A focal point as stored (units of 1/255 of the radius) and as a float:
// the stored value over 255 clamped to -1..1, and a float times 255 rounded
// and clamped to -255..255.
float FocalPointValue(int16_t stored);
int16_t FocalPointStored(float value);

class TSWFFocalGradientFill : public TSWFGradientFill {
public:
    TSWFFocalGradientFill() : TSWFGradientFill(kFillFocalGradient) {}

    // Units of 1/255 of the gradient radius, stored on the stream unchanged.
    int16_t FocalPoint = 0;

    float GetFocalPoint() const;
    void SetFocalPoint(float value);

    void CopyFrom(const TSWFFillStyle& source) override;
    void ReadFromStream(TBitsEngine& be) override;
    void WriteToStream(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node, const TXMLReadWriteSettings& settings) override;
    void SaveToXml(TXmlNode node, const TXMLReadWriteSettings& settings) override;
};

class TSWFLineStyle {
public:
    TSWFLineStyle() = default;
    virtual ~TSWFLineStyle() = default;

    uint16_t Width = 0;  // twips
    TSWFRGBA Color;      // its HasAlpha, set by the owner, picks RGB or RGBA

    virtual std::unique_ptr<TSWFLineStyle> Create() const { return std::make_unique<TSWFLineStyle>(); }
    virtual void CopyFrom(const TSWFLineStyle& source);
    virtual void ReadFromStream(TBitsEngine& be);
    virtual void WriteToStream(TBitsEngine& be);
    virtual void LoadFromXml(const TXmlNode& node, const TXMLReadWriteSettings& settings);
    virtual void SaveToXml(TXmlNode node, const TXMLReadWriteSettings& settings);
};

using TSWFLineStyleList = std::vector<std::unique_ptr<TSWFLineStyle>>;

// A new line style of the source's class holding a copy of it.
std::unique_ptr<TSWFLineStyle> CloneLineStyle(const TSWFLineStyle& source);

// The stroke of a LINESTYLE2 (and of a morph shape's MORPHLINESTYLE2): caps,
// join, scaling and the flag that a fill replaces the colour. On the stream
// two flag bytes and, for a miter join, the limit; in XML attributes.
struct TSWFStroke2 {
    uint8_t StartCapStyle = 0;  // 0..3
    uint8_t JoinStyle = 0;      // 0..3; 2 is a miter join
    bool HasFillFlag = false;
    bool NoHScaleFlag = false;
    bool NoVScaleFlag = false;
    bool PixelHintingFlag = false;
    bool NoClose = false;
    uint8_t EndCapStyle = 0;  // 0..3
    float MiterLimitFactor = 0;

    void CopyStrokeFrom(const TSWFStroke2& source) { *this = source; }
    void ReadStroke(TBitsEngine& be);
    void WriteStroke(TBitsEngine& be) const;
    void LoadStrokeXml(const TXmlNode& node);
    void SaveStrokeXml(TXmlNode node) const;
};

class TSWFLineStyle2 : public TSWFLineStyle, public TSWFStroke2 {
public:
    TSWFLineStyle2() { Color.SetHasAlpha(true); }

    std::unique_ptr<TSWFFillStyle> FillStyle;

    // type < 0: the present fill, or none. Otherwise a fill of that type
    // (kept when the present one has it, else built), with HasAlpha on.
    TSWFFillStyle* GetFillStyle(int type);

    std::unique_ptr<TSWFLineStyle> Create() const override { return std::make_unique<TSWFLineStyle2>(); }
    void CopyFrom(const TSWFLineStyle& source) override;
    void ReadFromStream(TBitsEngine& be) override;
    void WriteToStream(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node, const TXMLReadWriteSettings& settings) override;
    void SaveToXml(TXmlNode node, const TXMLReadWriteSettings& settings) override;
};

// ---- style arrays on the stream: a UI8 count, or 0xFF and a UI16 count.
uint16_t ReadStyleCount(TBitsEngine& be);
void WriteStyleCount(TBitsEngine& be, size_t count);
// The width of the style indices that address an array of count styles:
// 0 for 0, 1 for 1, 2 for 2-3, 3 for 4-7 ...; EWriteError past 32767.
uint8_t StyleIndexBits(size_t count);
// Each fill's type byte picks its class; HasAlpha is the owner's colour form.
void ReadFillStyleArray(TBitsEngine& be, TSWFFillStyleList& list, bool hasAlpha);
void WriteFillStyleArray(TBitsEngine& be, TSWFFillStyleList& list, bool hasAlpha);
// LINESTYLE2 records when lineStyle2, else LINESTYLE; colours by hasAlpha.
void ReadLineStyleArray(TBitsEngine& be, TSWFLineStyleList& list, bool hasAlpha, bool lineStyle2);
void WriteLineStyleArray(TBitsEngine& be, TSWFLineStyleList& list, bool hasAlpha);

// ---- XML lists
void LoadFillStylesFromXml(const TXmlNode& node, TSWFFillStyleList& list, bool hasAlpha,
                           const TXMLReadWriteSettings& settings);
void LoadLineStylesFromXml(const TXmlNode& node, TSWFLineStyleList& list, bool hasAlpha,
                           const TXMLReadWriteSettings& settings);
void SaveFillStylesToXml(TXmlNode node, TSWFFillStyleList& list, bool hasAlpha, const TXMLReadWriteSettings& settings);
void SaveLineStylesToXml(TXmlNode node, const TSWFLineStyleList& list, const TXMLReadWriteSettings& settings);
