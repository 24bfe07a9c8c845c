#include "swf/styles.h"

#include <algorithm>
#include <cmath>

#include "platform/codepage.h"
#include "platform/errors.h"
#include "platform/mathutil.h"
#include "swf/names.h"
#include "swf/xml_form.h"

namespace {

template <class T>
const T& StyleAs(const TSWFFillStyle& source, const TSWFFillStyle& target) {
    auto* typed = dynamic_cast<const T*>(&source);
    if (typed == nullptr)
        throw EConvertError(FormatStr("Cannot copy fill style 0x%02X into fill style 0x%02X", source.FillStyleType,
                                      target.FillStyleType));
    return *typed;
}

// Colours travel as RGBA or RGB by the style's colour form; in XML always in
// the "#" notation, with alpha digits only in the RGBA form.
void ReadColor(TBitsEngine& be, TSWFRGBA& color, bool hasAlpha) {
    color.SetHasAlpha(hasAlpha);
    if (hasAlpha) color.SetRGBA(be.ReadRGBA());
    else color.SetRGB(be.ReadRGB());
}

void WriteColor(TBitsEngine& be, const TSWFRGBA& color, bool hasAlpha) {
    if (hasAlpha) be.WriteRGBA(color.GetRGBA());
    else be.WriteRGB(color.GetRGB());
}

void SaveColorAttr(TXmlNode node, const std::string& name, const TSWFRGBA& color, bool hasAlpha) {
    if (hasAlpha) SetRGBAAttr(node, color.GetRGBA(), 2, name);
    else SetRGBAttr(node, 2, name, color.GetRGB());
}

void LoadColorAttr(const TXmlNode& node, const std::string& name, TSWFRGBA& color, bool hasAlpha) {
    color.SetHasAlpha(hasAlpha);
    if (hasAlpha) color.SetRGBA(ReadRGBAAttr(node, name));
    else color.SetRGB(ReadRGBAttr(node, name));
}

uint8_t TwoBits(int64_t value) { return static_cast<uint8_t>(value & 3); }

uint16_t WidthFromXml(const TXmlNode& node, const TXMLReadWriteSettings& settings) {
    return static_cast<uint16_t>(std::clamp<int64_t>(ReadCoordAttr(settings, node, "Width"), 0, 0xFFFF));
}

// The smallest body each style can have: a fill is at least its type byte
// and two more (a gradient's empty matrix and count byte), a LINESTYLE its
// width and an RGB colour.
constexpr int64_t kMinFillBytes = 3;
constexpr int64_t kMinLineBytes = 5;

void CheckArrayFits(TBitsEngine& be, uint16_t count, int64_t minBytes, const char* what) {
    int64_t remaining = be.Stream.Remaining();
    if (int64_t(count) * minBytes > remaining)
        throw EReadError(FormatStr("The %s style array claims %u styles but only %lld bytes are left", what, count,
                                   static_cast<long long>(remaining)));
}

}  // namespace

// ---------------------------------------------------------------- fill styles

bool IsKnownFillStyleType(uint8_t type) {
    switch (type) {
        case kFillSolid:
        case kFillLinearGradient: case kFillRadialGradient: case kFillFocalGradient:
        case kFillTileBitmap: case kFillClipBitmap: case kFillNonSmoothTileBitmap: case kFillNonSmoothClipBitmap:
            return true;
        default:
            return false;
    }
}

std::unique_ptr<TSWFFillStyle> CreateFillStyle(uint8_t type) {
    std::unique_ptr<TSWFFillStyle> fill;
    switch (type) {
        case kFillSolid: fill = std::make_unique<TSWFColorFill>(); break;
        case kFillLinearGradient:
        case kFillRadialGradient: fill = std::make_unique<TSWFGradientFill>(); break;
        case kFillFocalGradient: fill = std::make_unique<TSWFFocalGradientFill>(); break;
        case kFillTileBitmap: case kFillClipBitmap: case kFillNonSmoothTileBitmap: case kFillNonSmoothClipBitmap:
            fill = std::make_unique<TSWFImageFill>();
            break;
        default:
            throw EReadError(FormatStr("Unknown fill style type 0x%02X", type));
    }
    fill->FillStyleType = type;
    return fill;
}

std::unique_ptr<TSWFFillStyle> CloneFillStyle(const TSWFFillStyle& source) {
    std::unique_ptr<TSWFFillStyle> copy = CreateFillStyle(source.FillStyleType);
    copy->CopyFrom(source);
    return copy;
}

void TSWFFillStyle::CopyFrom(const TSWFFillStyle& source) {
    HasAlpha = source.HasAlpha;
    FillStyleType = source.FillStyleType;
}

// ---- solid

void TSWFColorFill::CopyFrom(const TSWFFillStyle& source) {
    const auto& other = StyleAs<TSWFColorFill>(source, *this);
    TSWFFillStyle::CopyFrom(source);
    Color.SetHasAlpha(other.Color.HasAlpha);
    Color.SetRGBA(other.Color.GetRGBA());
}

void TSWFColorFill::ReadFromStream(TBitsEngine& be) { ReadColor(be, Color, HasAlpha); }

void TSWFColorFill::WriteToStream(TBitsEngine& be) {
    be.WriteByte(FillStyleType);
    WriteColor(be, Color, HasAlpha);
}

void TSWFColorFill::LoadFromXml(const TXmlNode& node, const TXMLReadWriteSettings& settings) {
    LoadColorAttr(node, "Color", Color, HasAlpha);
}

void TSWFColorFill::SaveToXml(TXmlNode node, const TXMLReadWriteSettings& settings) {
    SaveColorAttr(node, "Color", Color, HasAlpha);
}

// ---- bitmap

void TSWFImageFill::CopyFrom(const TSWFFillStyle& source) {
    const auto& other = StyleAs<TSWFImageFill>(source, *this);
    TSWFFillStyle::CopyFrom(source);
    BitmapMatrix.CopyFrom(other.BitmapMatrix);
    BitmapId = other.BitmapId;
}

void TSWFImageFill::ReadFromStream(TBitsEngine& be) {
    BitmapId = be.ReadWord();
    BitmapMatrix.SetRec(be.ReadMatrix());
}

void TSWFImageFill::WriteToStream(TBitsEngine& be) {
    be.WriteByte(FillStyleType);
    be.WriteWord(BitmapId);
    be.WriteMatrix(BitmapMatrix.GetRec());
}

void TSWFImageFill::LoadFromXml(const TXmlNode& node, const TXMLReadWriteSettings& settings) {
    BitmapId = static_cast<uint16_t>(node.AttrInt("ID"));
    BitmapMatrix.SetRec(ReadMatrixNode(settings, node, "Matrix"));
}

void TSWFImageFill::SaveToXml(TXmlNode node, const TXMLReadWriteSettings& settings) {
    node.SetAttr("ID", static_cast<int>(BitmapId));
    WriteMatrixNode(settings, node, BitmapMatrix.GetRec(), "Matrix");
}

// ---- gradients

void TSWFBaseGradientFill::SetNumGradients(int count) {
    if (count < 0 || count > 255) throw EConvertError(FormatStr("%d is not a valid number of gradient records", count));
    Gradients.resize(static_cast<size_t>(count));
}

TSWFGradientRecord& TSWFBaseGradientFill::Record(int index) {
    if (index < 1 || index > 255) throw EConvertError(FormatStr("%d is not a valid gradient record index", index));
    if (static_cast<size_t>(index) > Gradients.size()) Gradients.resize(static_cast<size_t>(index));
    return Gradients[static_cast<size_t>(index - 1)];
}

TSWFRGBA& TSWFBaseGradientFill::GetGradientColor(int index) { return Record(index).Color; }

void TSWFBaseGradientFill::SetGradientRatio(int index, uint8_t ratio) { Record(index).Ratio = ratio; }

TSWFGradientRec TSWFBaseGradientFill::GetGradientRecord(int index) const {
    if (index < 1 || static_cast<size_t>(index) > Gradients.size())
        throw EConvertError(FormatStr("The gradient has no record %d", index));
    const TSWFGradientRecord& record = Gradients[static_cast<size_t>(index - 1)];
    return TSWFGradientRec{record.Color.GetRGBA(), record.Ratio};
}

void TSWFBaseGradientFill::CopyGradientFrom(const TSWFBaseGradientFill& source) {
    TSWFFillStyle::CopyFrom(source);
    // The modes are part of the record: a copy without them would draw
    // another gradient.
    SpreadMode = source.SpreadMode;
    InterpolationMode = source.InterpolationMode;
    Gradients.clear();
    for (const TSWFGradientRecord& record : source.Gradients) {
        TSWFGradientRecord& copy = Gradients.emplace_back();
        copy.Ratio = record.Ratio;
        copy.Color.SetHasAlpha(record.Color.HasAlpha);
        copy.Color.SetRGBA(record.Color.GetRGBA());
    }
}

void TSWFBaseGradientFill::ReadGradient(TBitsEngine& be) {
    uint8_t modes = be.ReadByte();
    SpreadMode = modes >> 6;
    InterpolationMode = (modes >> 4) & 3;
    Gradients.clear();
    Gradients.resize(modes & 15);
    for (TSWFGradientRecord& record : Gradients) {
        record.Ratio = be.ReadByte();
        ReadColor(be, record.Color, HasAlpha);
    }
}

void TSWFBaseGradientFill::WriteGradient(TBitsEngine& be) {
    if (Gradients.size() > kMaxGradientRecords)
        throw EWriteError(FormatStr("A gradient of %zu colours cannot be written: a gradient record holds at most %d",
                                    Gradients.size(), kMaxGradientRecords));
    be.WriteByte(static_cast<uint8_t>(TwoBits(SpreadMode) << 6 | TwoBits(InterpolationMode) << 4 | Gradients.size()));
    for (const TSWFGradientRecord& record : Gradients) {
        be.WriteByte(record.Ratio);
        WriteColor(be, record.Color, HasAlpha);
    }
}

void TSWFBaseGradientFill::LoadGradientXml(const TXmlNode& node) {
    Gradients.clear();
    bool matrixSkipped = false;
    for (const TXmlNode& child : node.ChildElements()) {
        // The matrix element is not a record; every other child is one,
        // whatever its name.
        if (!matrixSkipped && AnsiSameText(child.NodeName(), "Matrix")) {
            matrixSkipped = true;
            continue;
        }
        TSWFGradientRecord& record = Gradients.emplace_back();
        record.Ratio = static_cast<uint8_t>(std::clamp<int64_t>(child.AttrInt("Ratio"), 0, 255));
        LoadColorAttr(child, "Color", record.Color, HasAlpha);
    }
}

void TSWFBaseGradientFill::SaveGradientXml(TXmlNode node) {
    for (const TSWFGradientRecord& record : Gradients) {
        TXmlNode child = node.AddChild("Gradient");
        child.SetAttr("Ratio", static_cast<int>(record.Ratio));
        SaveColorAttr(child, "Color", record.Color, HasAlpha);
    }
}

void TSWFGradientFill::FitToRect(const TRect& rect) {
    int32_t width = rect.Right - rect.Left, height = rect.Bottom - rect.Top;
    GradientMatrix.SetScale(static_cast<float>(width) / 32768.0f, static_cast<float>(height) / 32768.0f);
    GradientMatrix.SetTranslate(rect.Left + width / 2, rect.Top + height / 2);
}

void TSWFGradientFill::CopyFrom(const TSWFFillStyle& source) {
    const auto& other = StyleAs<TSWFGradientFill>(source, *this);
    CopyGradientFrom(other);
    GradientMatrix.CopyFrom(other.GradientMatrix);
}

void TSWFGradientFill::ReadFromStream(TBitsEngine& be) {
    GradientMatrix.SetRec(be.ReadMatrix());
    ReadGradient(be);
}

void TSWFGradientFill::WriteToStream(TBitsEngine& be) {
    be.WriteByte(FillStyleType);
    be.WriteMatrix(GradientMatrix.GetRec());
    WriteGradient(be);
}

void TSWFGradientFill::LoadFromXml(const TXmlNode& node, const TXMLReadWriteSettings& settings) {
    SpreadMode = TwoBits(node.AttrIntDef("SpreadMode", 0));
    InterpolationMode = TwoBits(node.AttrIntDef("InterpolationMode", 0));
    GradientMatrix.SetRec(ReadMatrixNode(settings, node, "Matrix"));
    LoadGradientXml(node);
}

void TSWFGradientFill::SaveToXml(TXmlNode node, const TXMLReadWriteSettings& settings) {
    // Written only when set, so the usual element keeps its plain form.
    if (SpreadMode != 0) node.SetAttr("SpreadMode", static_cast<int>(SpreadMode));
    if (InterpolationMode != 0) node.SetAttr("InterpolationMode", static_cast<int>(InterpolationMode));
    WriteMatrixNode(settings, node, GradientMatrix.GetRec(), "Matrix");
    SaveGradientXml(node);
}

float FocalPointValue(int16_t stored) { return std::clamp(static_cast<float>(stored) / 255.0f, -1.0f, 1.0f); }

int16_t FocalPointStored(float value) {
    int64_t stored = RoundHalfEven(static_cast<double>(value) * 255.0);
    return static_cast<int16_t>(std::clamp<int64_t>(stored, -255, 255));
}

float TSWFFocalGradientFill::GetFocalPoint() const { return FocalPointValue(FocalPoint); }

void TSWFFocalGradientFill::SetFocalPoint(float value) { FocalPoint = FocalPointStored(value); }

void TSWFFocalGradientFill::CopyFrom(const TSWFFillStyle& source) {
    TSWFGradientFill::CopyFrom(source);
    // The stored value itself: going through the clamped getter would change
    // a focal point that lies outside -1..1.
    if (auto* focal = dynamic_cast<const TSWFFocalGradientFill*>(&source)) FocalPoint = focal->FocalPoint;
}

void TSWFFocalGradientFill::ReadFromStream(TBitsEngine& be) {
    TSWFGradientFill::ReadFromStream(be);
    FocalPoint = static_cast<int16_t>(be.ReadWord());
}

void TSWFFocalGradientFill::WriteToStream(TBitsEngine& be) {
    TSWFGradientFill::WriteToStream(be);
    be.WriteWord(static_cast<uint16_t>(FocalPoint));
}

void TSWFFocalGradientFill::LoadFromXml(const TXmlNode& node, const TXMLReadWriteSettings& settings) {
    double focal = node.AttrFloat("FocalPoint");
    if (!std::isfinite(focal)) throw EConvertError("'FocalPoint' is not a finite number");
    FocalPoint = static_cast<int16_t>(std::clamp<double>(std::nearbyint(focal * 255.0), INT16_MIN, INT16_MAX));
    InterpolationMode = TwoBits(node.AttrInt("InterpolationMode"));
    SpreadMode = TwoBits(node.AttrInt("SpreadMode"));
    GradientMatrix.SetRec(ReadMatrixNode(settings, node, "Matrix"));
    LoadGradientXml(node);
}

void TSWFFocalGradientFill::SaveToXml(TXmlNode node, const TXMLReadWriteSettings& settings) {
    // Unclamped, so a stored value outside -1..1 comes back unchanged.
    node.SetAttr("FocalPoint", FocalPoint / 255.0);
    node.SetAttr("InterpolationMode", static_cast<int>(InterpolationMode));
    node.SetAttr("SpreadMode", static_cast<int>(SpreadMode));
    WriteMatrixNode(settings, node, GradientMatrix.GetRec(), "Matrix");
    SaveGradientXml(node);
}

// ---------------------------------------------------------------- line styles

std::unique_ptr<TSWFLineStyle> CloneLineStyle(const TSWFLineStyle& source) {
    std::unique_ptr<TSWFLineStyle> copy = source.Create();
    copy->CopyFrom(source);
    return copy;
}

void TSWFLineStyle::CopyFrom(const TSWFLineStyle& source) {
    Width = source.Width;
    Color.SetHasAlpha(source.Color.HasAlpha);
    Color.SetRGBA(source.Color.GetRGBA());
}

void TSWFLineStyle::ReadFromStream(TBitsEngine& be) {
    Width = be.ReadWord();
    ReadColor(be, Color, Color.HasAlpha);
}

void TSWFLineStyle::WriteToStream(TBitsEngine& be) {
    be.WriteWord(Width);
    WriteColor(be, Color, Color.HasAlpha);
}

void TSWFLineStyle::LoadFromXml(const TXmlNode& node, const TXMLReadWriteSettings& settings) {
    Width = WidthFromXml(node, settings);
    LoadColorAttr(node, "Color", Color, Color.HasAlpha);
}

void TSWFLineStyle::SaveToXml(TXmlNode node, const TXMLReadWriteSettings& settings) {
    WriteCoordAttr(settings, node, "Width", Width);
    SaveColorAttr(node, "Color", Color, Color.HasAlpha);
}

void TSWFStroke2::ReadStroke(TBitsEngine& be) {
    uint8_t first = be.ReadByte();
    StartCapStyle = first >> 6;
    JoinStyle = (first >> 4) & 3;
    HasFillFlag = (first & 0x08) != 0;
    NoHScaleFlag = (first & 0x04) != 0;
    NoVScaleFlag = (first & 0x02) != 0;
    PixelHintingFlag = (first & 0x01) != 0;
    uint8_t second = be.ReadByte();
    NoClose = (second & 0x04) != 0;
    EndCapStyle = second & 3;
    if (JoinStyle == 2) MiterLimitFactor = Fixed8ToSingle(be.ReadWord());
}

void TSWFStroke2::WriteStroke(TBitsEngine& be) const {
    be.WriteByte(static_cast<uint8_t>(TwoBits(StartCapStyle) << 6 | TwoBits(JoinStyle) << 4 | HasFillFlag << 3 |
                                      NoHScaleFlag << 2 | NoVScaleFlag << 1 | PixelHintingFlag));
    be.WriteByte(static_cast<uint8_t>(NoClose << 2 | TwoBits(EndCapStyle)));
    if (TwoBits(JoinStyle) == 2) be.WriteWord(SingleToFixed8(MiterLimitFactor));
}

void TSWFStroke2::LoadStrokeXml(const TXmlNode& node) {
    HasFillFlag = node.AttrBoolDef("HasFillFlag", false);
    if (node.HasAttribute("CapStyle")) {
        StartCapStyle = EndCapStyle = TwoBits(node.AttrInt("CapStyle"));
    } else {
        StartCapStyle = TwoBits(node.AttrInt("StartCapStyle"));
        EndCapStyle = TwoBits(node.AttrInt("EndCapStyle"));
    }
    JoinStyle = TwoBits(node.AttrInt("JoinStyle"));
    NoClose = node.AttrBool("NoClose");
    NoHScaleFlag = node.AttrBool("NoHScaleFlag");
    NoVScaleFlag = node.AttrBool("NoVScaleFlag");
    PixelHintingFlag = node.AttrBool("PixelHintingFlag");
    if (JoinStyle == 2) MiterLimitFactor = static_cast<float>(node.AttrFloat("MiterLimitFactor"));
}

void TSWFStroke2::SaveStrokeXml(TXmlNode node) const {
    if (HasFillFlag) node.SetAttrBool("HasFillFlag", true);
    node.SetAttr("StartCapStyle", static_cast<int>(StartCapStyle));
    node.SetAttr("EndCapStyle", static_cast<int>(EndCapStyle));
    node.SetAttr("JoinStyle", static_cast<int>(JoinStyle));
    node.SetAttrBool("NoClose", NoClose);
    node.SetAttrBool("NoHScaleFlag", NoHScaleFlag);
    node.SetAttrBool("NoVScaleFlag", NoVScaleFlag);
    node.SetAttrBool("PixelHintingFlag", PixelHintingFlag);
    if (JoinStyle == 2) node.SetAttr("MiterLimitFactor", static_cast<double>(MiterLimitFactor));
}

TSWFFillStyle* TSWFLineStyle2::GetFillStyle(int type) {
    if (type < 0) return FillStyle.get();
    if (type > 0xFF) throw EReadError(FormatStr("Unknown fill style type 0x%X", type));
    if (FillStyle && FillStyle->FillStyleType != type) FillStyle.reset();
    if (!FillStyle) FillStyle = CreateFillStyle(static_cast<uint8_t>(type));
    FillStyle->HasAlpha = true;
    FillStyle->FillStyleType = static_cast<uint8_t>(type);
    return FillStyle.get();
}

void TSWFLineStyle2::CopyFrom(const TSWFLineStyle& source) {
    TSWFLineStyle::CopyFrom(source);
    auto* other = dynamic_cast<const TSWFLineStyle2*>(&source);
    if (other == nullptr) return;
    CopyStrokeFrom(*other);
    if (other->HasFillFlag && other->FillStyle)
        GetFillStyle(other->FillStyle->FillStyleType)->CopyFrom(*other->FillStyle);
    else
        FillStyle.reset();
}

void TSWFLineStyle2::ReadFromStream(TBitsEngine& be) {
    Width = be.ReadWord();
    ReadStroke(be);
    if (HasFillFlag) {
        uint8_t type = be.ReadByte();
        GetFillStyle(type)->ReadFromStream(be);
    } else {
        ReadColor(be, Color, true);
    }
}

void TSWFLineStyle2::WriteToStream(TBitsEngine& be) {
    be.WriteWord(Width);
    WriteStroke(be);
    if (HasFillFlag) {
        if (!FillStyle) throw EWriteError("A line style marked as filled has no fill style");
        // The fill of a LINESTYLE2 is always in the RGBA form.
        FillStyle->HasAlpha = true;
        FillStyle->WriteToStream(be);
    } else {
        WriteColor(be, Color, true);
    }
}

void TSWFLineStyle2::LoadFromXml(const TXmlNode& node, const TXMLReadWriteSettings& settings) {
    Width = WidthFromXml(node, settings);
    LoadStrokeXml(node);
    if (HasFillFlag) {
        std::vector<TXmlNode> children = node.ChildElements();
        if (children.empty()) throw EConvertError("A filled line style has no fill element");
        GetFillStyle(FillStyleFromName(children.front().NodeName()))->LoadFromXml(children.front(), settings);
    } else {
        FillStyle.reset();
        LoadColorAttr(node, "Color", Color, true);
    }
}

void TSWFLineStyle2::SaveToXml(TXmlNode node, const TXMLReadWriteSettings& settings) {
    WriteCoordAttr(settings, node, "Width", Width);
    SaveStrokeXml(node);
    if (HasFillFlag && FillStyle) {
        FillStyle->HasAlpha = true;
        FillStyle->SaveToXml(node.AddChild(FillStyleToName(FillStyle->FillStyleType, false)), settings);
    } else {
        SaveColorAttr(node, "Color", Color, true);
    }
}

// ---------------------------------------------------------------- style arrays

uint16_t ReadStyleCount(TBitsEngine& be) {
    uint8_t count = be.ReadByte();
    return count == 0xFF ? be.ReadWord() : count;
}

void WriteStyleCount(TBitsEngine& be, size_t count) {
    if (count > 0xFFFF) throw EWriteError(FormatStr("A style array of %zu styles cannot be written", count));
    if (count < 0xFF) {
        be.WriteByte(static_cast<uint8_t>(count));
    } else {
        be.WriteByte(0xFF);
        be.WriteWord(static_cast<uint16_t>(count));
    }
}

uint8_t StyleIndexBits(size_t count) {
    if (count > kMaxAddressableStyles)
        throw EWriteError(FormatStr("A style array of %zu styles cannot be addressed: at most %zu can be", count,
                                    kMaxAddressableStyles));
    return static_cast<uint8_t>(GetBitsCount(static_cast<int32_t>(count)));
}

void ReadFillStyleArray(TBitsEngine& be, TSWFFillStyleList& list, bool hasAlpha) {
    uint16_t count = ReadStyleCount(be);
    CheckArrayFits(be, count, kMinFillBytes, "fill");
    for (uint16_t i = 0; i < count; ++i) {
        std::unique_ptr<TSWFFillStyle> fill = CreateFillStyle(be.ReadByte());
        fill->HasAlpha = hasAlpha;
        fill->ReadFromStream(be);
        list.push_back(std::move(fill));
    }
}

void WriteFillStyleArray(TBitsEngine& be, TSWFFillStyleList& list, bool hasAlpha) {
    WriteStyleCount(be, list.size());
    for (auto& fill : list) {
        fill->HasAlpha = hasAlpha;
        fill->WriteToStream(be);
    }
}

void ReadLineStyleArray(TBitsEngine& be, TSWFLineStyleList& list, bool hasAlpha, bool lineStyle2) {
    uint16_t count = ReadStyleCount(be);
    CheckArrayFits(be, count, kMinLineBytes, "line");
    for (uint16_t i = 0; i < count; ++i) {
        std::unique_ptr<TSWFLineStyle> line;
        if (lineStyle2) line = std::make_unique<TSWFLineStyle2>();
        else line = std::make_unique<TSWFLineStyle>();
        line->Color.SetHasAlpha(hasAlpha);
        line->ReadFromStream(be);
        list.push_back(std::move(line));
    }
}

void WriteLineStyleArray(TBitsEngine& be, TSWFLineStyleList& list, bool hasAlpha) {
    WriteStyleCount(be, list.size());
    for (auto& line : list) {
        // A LINESTYLE2 colour is RGBA in every shape; only LINESTYLE follows
        // the owner's colour form.
        if (dynamic_cast<TSWFLineStyle2*>(line.get()) == nullptr) line->Color.SetHasAlpha(hasAlpha);
        line->WriteToStream(be);
    }
}

// ---------------------------------------------------------------- XML lists

void LoadFillStylesFromXml(const TXmlNode& node, TSWFFillStyleList& list, bool hasAlpha,
                           const TXMLReadWriteSettings& settings) {
    for (const TXmlNode& child : node.ChildElements()) {
        std::unique_ptr<TSWFFillStyle> fill = CreateFillStyle(FillStyleFromName(child.NodeName()));
        fill->HasAlpha = hasAlpha;
        fill->LoadFromXml(child, settings);
        list.push_back(std::move(fill));
    }
}

void LoadLineStylesFromXml(const TXmlNode& node, TSWFLineStyleList& list, bool hasAlpha,
                           const TXMLReadWriteSettings& settings) {
    for (const TXmlNode& child : node.ChildElements()) {
        std::unique_ptr<TSWFLineStyle> line;
        if (AnsiSameText(child.NodeName(), "Style")) line = std::make_unique<TSWFLineStyle>();
        else line = std::make_unique<TSWFLineStyle2>();
        line->Color.SetHasAlpha(hasAlpha);
        line->LoadFromXml(child, settings);
        list.push_back(std::move(line));
    }
}

void SaveFillStylesToXml(TXmlNode node, TSWFFillStyleList& list, bool hasAlpha, const TXMLReadWriteSettings& settings) {
    for (auto& fill : list) {
        fill->HasAlpha = hasAlpha;
        fill->SaveToXml(node.AddChild(FillStyleToName(fill->FillStyleType, false)), settings);
    }
}

void SaveLineStylesToXml(TXmlNode node, const TSWFLineStyleList& list, const TXMLReadWriteSettings& settings) {
    for (const auto& line : list) {
        bool second = dynamic_cast<const TSWFLineStyle2*>(line.get()) != nullptr;
        line->SaveToXml(node.AddChild(second ? "Style2" : "Style"), settings);
    }
}
