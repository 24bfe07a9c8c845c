#include "swf/text_tags.h"

#include <algorithm>
#include <cctype>

#include "platform/codepage.h"
#include "swf/names.h"
#include "swf/xml_form.h"

uint8_t GlyphIndexBits(uint32_t index) { return static_cast<uint8_t>(GetBitsCount(static_cast<int32_t>(index))); }

uint8_t AdvanceBitsFor(int32_t advance) { return static_cast<uint8_t>(GetSignedBitsCount(advance, 1)); }

// ---------------------------------------------------------------- text records

TSWFRGBA& TSWFTextRecord::GetTextColor() {
    if (!textColor_) textColor_ = std::make_unique<TSWFRGBA>(true);
    StyleFlagsHasColor = true;
    return *textColor_;
}

void TSWFTextRecord::CopyFrom(const TSWFTextRecord& source) {
    StyleFlagsHasFont = source.StyleFlagsHasFont;
    FontId = source.FontId;
    TextHeight = source.TextHeight;
    StyleFlagsHasXOffset = source.StyleFlagsHasXOffset;
    XOffset = source.XOffset;
    StyleFlagsHasYOffset = source.StyleFlagsHasYOffset;
    YOffset = source.YOffset;
    WithAlpha = source.WithAlpha;
    textColor_.reset();
    StyleFlagsHasColor = false;
    if (source.textColor_) GetTextColor().CopyFrom(*source.textColor_);
    StyleFlagsHasColor = source.StyleFlagsHasColor;
    GlyphEntries = source.GlyphEntries;
}

void TSWFTextRecord::WriteToStream(TBitsEngine& be, uint8_t glyphBits, uint8_t advanceBits) {
    if (GlyphEntries.size() > kMaxGlyphs)
        throw EWriteError(FormatStr("A text record holds %zu glyphs; its count is one byte", GlyphEntries.size()));
    be.WriteByte(static_cast<uint8_t>(0x80 | StyleFlagsHasFont << 3 | StyleFlagsHasColor << 2 |
                                      StyleFlagsHasYOffset << 1 | StyleFlagsHasXOffset));
    if (StyleFlagsHasFont) be.WriteWord(FontId);
    if (StyleFlagsHasColor) {
        TSWFRGBA& color = GetTextColor();
        if (WithAlpha) be.WriteRGBA(color.GetRGBA());
        else be.WriteRGB(color.GetRGB());
    }
    if (StyleFlagsHasXOffset) be.WriteWord(static_cast<uint16_t>(XOffset));
    if (StyleFlagsHasYOffset) be.WriteWord(static_cast<uint16_t>(YOffset));
    if (StyleFlagsHasFont) be.WriteWord(TextHeight);
    be.WriteByte(static_cast<uint8_t>(GlyphEntries.size()));
    for (const TSWFGlyphEntry& entry : GlyphEntries) {
        be.WriteBits(entry.GlyphIndex, glyphBits);
        be.WriteSBits(entry.GlyphAdvance, advanceBits);
    }
    be.FlushLastByte(true);
}

void TSWFTextRecord::ReadFromStream(TBitsEngine& be, uint8_t flags, uint8_t glyphBits, uint8_t advanceBits) {
    StyleFlagsHasFont = flags & 0x08;
    StyleFlagsHasYOffset = flags & 0x02;
    StyleFlagsHasXOffset = flags & 0x01;
    if (StyleFlagsHasFont) FontId = be.ReadWord();
    if (flags & 0x04) {
        TSWFRGBA& color = GetTextColor();
        if (WithAlpha) color.SetRGBA(be.ReadRGBA());
        else color.SetRGB(be.ReadRGB());
    }
    if (StyleFlagsHasXOffset) XOffset = static_cast<int16_t>(be.ReadWord());
    if (StyleFlagsHasYOffset) YOffset = static_cast<int16_t>(be.ReadWord());
    if (StyleFlagsHasFont) TextHeight = be.ReadWord();
    const uint8_t count = be.ReadByte();
    GlyphEntries.clear();
    for (uint8_t i = 0; i < count; ++i) {
        TSWFGlyphEntry entry;
        entry.GlyphIndex = static_cast<uint16_t>(be.GetBits(glyphBits));
        entry.GlyphAdvance = be.GetSBits(advanceBits);
        GlyphEntries.push_back(entry);
    }
    be.FlushLastByte(false);
}

void TSWFTextRecord::SaveToXml(TXmlNode node, const TXMLReadWriteSettings& settings) {
    if (StyleFlagsHasFont) node.SetAttr("FontID", static_cast<int>(FontId));
    if (StyleFlagsHasColor) {
        if (WithAlpha) SetRGBAAttr(node, GetTextColor().GetRGBA(), 2, "Color");
        else SetRGBAttr(node, 2, "Color", GetTextColor().GetRGB());
    }
    if (StyleFlagsHasXOffset) WriteCoordAttr(settings, node, "X", XOffset);
    if (StyleFlagsHasYOffset) WriteCoordAttr(settings, node, "Y", YOffset);
    if (StyleFlagsHasFont) node.SetAttr("Height", static_cast<int>(TextHeight));
    for (const TSWFGlyphEntry& entry : GlyphEntries) {
        TXmlNode glyph = node.AddChild("Glyph");
        glyph.SetAttr("Index", static_cast<int>(entry.GlyphIndex));
        glyph.SetAttr("Advance", static_cast<int64_t>(entry.GlyphAdvance));
    }
}

void TSWFTextRecord::LoadFromXml(const TXmlNode& node, uint8_t& glyphBits, uint8_t& advanceBits,
                                 const TXMLReadWriteSettings& settings) {
    if (node.HasAttribute("FontID")) SetFontId(static_cast<uint16_t>(node.AttrInt("FontID")));
    if (node.HasAttribute("Color")) {
        if (WithAlpha) GetTextColor().SetRGBA(ReadRGBAAttr(node, "Color"));
        else GetTextColor().SetRGB(ReadRGBAttr(node, "Color"));
    }
    if (node.HasAttribute("X")) SetXOffset(ReadCoordAttr(settings, node, "X"));
    if (node.HasAttribute("Y")) SetYOffset(ReadCoordAttr(settings, node, "Y"));
    if (node.HasAttribute("Height")) SetTextHeight(static_cast<uint16_t>(node.AttrInt("Height")));
    GlyphEntries.clear();
    for (const TXmlNode& child : node.ChildElements()) {
        TSWFGlyphEntry entry;
        entry.GlyphIndex = static_cast<uint16_t>(child.AttrInt("Index"));
        entry.GlyphAdvance = static_cast<int32_t>(child.AttrInt("Advance"));
        glyphBits = std::max(glyphBits, GlyphIndexBits(entry.GlyphIndex));
        advanceBits = std::max(advanceBits, AdvanceBitsFor(entry.GlyphAdvance));
        GlyphEntries.push_back(entry);
    }
}

// ---------------------------------------------------------------- DefineText and DefineText2

TSWFTextRecord& TSWFDefineText::AddTextRecord() {
    TextRecords.push_back(std::make_unique<TSWFTextRecord>());
    TextRecords.back()->WithAlpha = WithAlpha;
    return *TextRecords.back();
}

void TSWFDefineText::ComputeBitCounts() {
    for (const auto& record : TextRecords)
        for (const TSWFGlyphEntry& entry : record->GlyphEntries) {
            GlyphBits = std::max(GlyphBits, GlyphIndexBits(entry.GlyphIndex));
            AdvanceBits = std::max(AdvanceBits, AdvanceBitsFor(entry.GlyphAdvance));
        }
}

void TSWFDefineText::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto& other = SourceAs<TSWFDefineText>(source, *this);
    TSWFObject::CopyFieldsFrom(source);
    CharacterIdValue = other.CharacterIdValue;
    GlyphBits = other.GlyphBits;
    AdvanceBits = other.AdvanceBits;
    WithAlpha = other.WithAlpha;
    TextBounds.CopyFrom(other.TextBounds);
    TextMatrix.CopyFrom(other.TextMatrix);
    TextRecords.clear();
    for (const auto& record : other.TextRecords) AddTextRecord().CopyFrom(*record);
}

void TSWFDefineText::ReadBody(TBitsEngine& be) {
    const int64_t start = be.Stream.GetPosition();
    TextRecords.clear();
    CharacterIdValue = be.ReadWord();
    TextBounds.ReadAsStored(be);
    TextMatrix.SetRec(be.ReadMatrix());
    GlyphBits = be.ReadByte();
    AdvanceBits = be.ReadByte();
    if (GlyphBits > 32 || AdvanceBits > 32)
        throw EReadError(FormatStr("DefineText %d: glyph entries of %d and %d bits do not fit 32", CharacterIdValue,
                                   GlyphBits, AdvanceBits));
    for (uint8_t flags = be.ReadByte(); flags != 0; flags = be.ReadByte())
        AddTextRecord().ReadFromStream(be, flags, GlyphBits, AdvanceBits);
    if (BodySize > 0) be.Stream.SetPosition(start + BodySize);
}

void TSWFDefineText::WriteBody(TBitsEngine& be) {
    be.WriteWord(CharacterIdValue);
    TextBounds.Write(be);
    be.WriteMatrix(TextMatrix.GetRec());
    be.WriteByte(GlyphBits);
    be.WriteByte(AdvanceBits);
    for (auto& record : TextRecords) {
        record->WithAlpha = WithAlpha;
        record->WriteToStream(be, GlyphBits, AdvanceBits);
    }
    be.WriteByte(0);
}

void TSWFDefineText::SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) {
    node.SetAttr("ID", static_cast<int>(CharacterIdValue));
    WriteRectAttrs(settings, node, TextBounds);
    WriteMatrixNode(settings, node, TextMatrix.GetRec(), "Matrix");
    for (auto& record : TextRecords) {
        record->WithAlpha = WithAlpha;
        record->SaveToXml(node.AddChild("TextRecord"), settings);
    }
}

void TSWFDefineText::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) {
    CharacterIdValue = static_cast<uint16_t>(node.AttrInt("ID"));
    ReadRectAttrs(settings, node, TextBounds);
    TextMatrix.SetRec(ReadMatrixNode(settings, node, "Matrix"));
    TextRecords.clear();
    GlyphBits = 0;
    AdvanceBits = 0;
    for (const TXmlNode& child : node.ChildElements())
        if (child.NodeName() == "TextRecord") AddTextRecord().LoadFromXml(child, GlyphBits, AdvanceBits, settings);
}

// ---------------------------------------------------------------- DefineEditText

namespace {

const char* const kAlignNames[] = {"Left", "Right", "Center", "Justify"};

// The element's CDATA section is written as UTF-8 from 16-bit text, which
// the code-page form of the XML layer could not carry whole.
void AddUtf8CData(TXmlNode node, const std::string& utf8) {
    node.Raw().append_child(pugi::node_cdata).set_value(utf8.c_str());
}

}  // namespace

TSWFRGBA& TSWFDefineEditText::GetTextColor() {
    if (!textColor_) textColor_ = std::make_unique<TSWFRGBA>(true);
    HasTextColor = true;
    return *textColor_;
}

int TSWFDefineEditText::RequiredVersion() const {
    if (SWFVersion >= 9 && !FontClass.empty()) return 9;
    return AutoSize ? 6 : 4;
}

void TSWFDefineEditText::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto& other = SourceAs<TSWFDefineEditText>(source, *this);
    TSWFObject::CopyFieldsFrom(source);
    CharacterIdValue = other.CharacterIdValue;
    Bounds.CopyFrom(other.Bounds);
    HasText = other.HasText;
    WordWrap = other.WordWrap;
    Multiline = other.Multiline;
    Password = other.Password;
    ReadOnly = other.ReadOnly;
    HasTextColor = other.HasTextColor;
    HasMaxLength = other.HasMaxLength;
    HasFont = other.HasFont;
    HasFontClass = other.HasFontClass;
    AutoSize = other.AutoSize;
    HasLayout = other.HasLayout;
    NoSelect = other.NoSelect;
    Border = other.Border;
    WasStatic = other.WasStatic;
    HTML = other.HTML;
    UseOutlines = other.UseOutlines;
    if (HasFont) {
        FontId = other.FontId;
        FontHeight = other.FontHeight;
    }
    if (HasFontClass) FontClass = other.FontClass;
    if (HasTextColor && other.textColor_) GetTextColor().CopyFrom(*other.textColor_);
    if (HasMaxLength) MaxLength = other.MaxLength;
    if (HasLayout) {
        Align = other.Align;
        LeftMargin = other.LeftMargin;
        RightMargin = other.RightMargin;
        Indent = other.Indent;
        Leading = other.Leading;
    }
    VariableName = other.VariableName;
    if (HasText) InitialText = other.InitialText;
}

void TSWFDefineEditText::ReadBody(TBitsEngine& be) {
    const int64_t start = be.Stream.GetPosition();
    CharacterIdValue = be.ReadWord();
    Bounds.ReadAsStored(be);
    const uint8_t flags1 = be.ReadByte();
    const uint8_t flags2 = be.ReadByte();
    HasText = flags1 & 0x80;
    WordWrap = flags1 & 0x40;
    Multiline = flags1 & 0x20;
    Password = flags1 & 0x10;
    ReadOnly = flags1 & 0x08;
    HasTextColor = flags1 & 0x04;
    HasMaxLength = flags1 & 0x02;
    HasFont = flags1 & 0x01;
    // A tag read from a file (version 0) takes the flag as the file has it.
    HasFontClass = (SWFVersion == 0 || SWFVersion >= 9) && (flags2 & 0x80);
    AutoSize = flags2 & 0x40;
    HasLayout = flags2 & 0x20;
    NoSelect = flags2 & 0x10;
    Border = flags2 & 0x08;
    WasStatic = flags2 & 0x04;
    HTML = flags2 & 0x02;
    UseOutlines = flags2 & 0x01;
    if (HasFont) FontId = be.ReadWord();
    if (HasFontClass) FontClass = be.ReadString();
    if (HasFont) FontHeight = be.ReadWord();
    if (HasTextColor) GetTextColor().SetRGBA(be.ReadRGBA());
    if (HasMaxLength) MaxLength = be.ReadWord();
    if (HasLayout) {
        Align = be.ReadByte();
        LeftMargin = be.ReadWord();
        RightMargin = be.ReadWord();
        Indent = be.ReadWord();
        Leading = be.ReadWord();
    }
    VariableName = be.ReadString();
    if (HasText) InitialText = be.ReadString();
    if (BodySize > 0) be.Stream.SetPosition(start + BodySize);
}

void TSWFDefineEditText::WriteBody(TBitsEngine& be) {
    const bool utf8 = SWFVersion >= 6;
    if (SWFVersion != 0) HasFontClass = SWFVersion >= 9 && !FontClass.empty();
    be.WriteWord(CharacterIdValue);
    Bounds.Write(be);
    be.WriteByte(static_cast<uint8_t>(HasText << 7 | WordWrap << 6 | Multiline << 5 | Password << 4 | ReadOnly << 3 |
                                      HasTextColor << 2 | HasMaxLength << 1 | HasFont));
    be.WriteByte(static_cast<uint8_t>(HasFontClass << 7 | AutoSize << 6 | HasLayout << 5 | NoSelect << 4 |
                                      Border << 3 | WasStatic << 2 | HTML << 1 | UseOutlines));
    if (HasFont) be.WriteWord(FontId);
    if (HasFontClass) be.WriteString(FontClass);
    if (HasFont) be.WriteWord(FontHeight);
    if (HasTextColor) be.WriteRGBA(GetTextColor().GetRGBA());
    if (HasMaxLength) be.WriteWord(MaxLength);
    if (HasLayout) {
        be.WriteByte(Align);
        be.WriteWord(LeftMargin);
        be.WriteWord(RightMargin);
        be.WriteWord(Indent);
        be.WriteWord(Leading);
    }
    be.WriteString(VariableName, true, utf8);
    if (HasText) {
        if (!WideInitialText.empty()) be.WriteString(WideToUtf8(WideInitialText), true);
        else be.WriteString(InitialText, true, utf8 && !HTML);
    }
}

void TSWFDefineEditText::SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) {
    node.SetAttr("ID", static_cast<int>(CharacterIdValue));
    WriteRectAttrs(settings, node, Bounds);
    node.SetAttrBool("AutoSize", AutoSize);
    if (HasFontClass && !FontClass.empty()) node.SetAttr("ClassName", FontClass);
    if (WordWrap) node.SetAttrBool("WordWrap", true);
    if (Multiline) node.SetAttrBool("Multiline", true);
    if (Password) node.SetAttrBool("Password", true);
    if (ReadOnly) node.SetAttrBool("ReadOnly", true);
    if (NoSelect) node.SetAttrBool("NoSelect", true);
    if (Border) node.SetAttrBool("Border", true);
    if (WasStatic) node.SetAttrBool("WasStatic", true);
    if (HTML) node.SetAttrBool("HTML", true);
    node.SetAttrBool("UseOutlines", UseOutlines);
    if (HasFont) {
        node.SetAttr("FontID", static_cast<int>(FontId));
        node.SetAttr("Height", static_cast<int>(FontHeight));
    }
    if (HasTextColor) SetRGBAAttr(node, GetTextColor().GetRGBA(), 2, "Color");
    if (HasMaxLength) node.SetAttr("MaxLength", static_cast<int>(MaxLength));
    if (!VariableName.empty()) node.SetAttr("Variable", VariableName);
    if (HasLayout) {
        TXmlNode layout = node.AddChild("Layout");
        // Values beyond the four names keep their number.
        if (Align < 4) layout.SetAttr("Align", kAlignNames[Align]);
        else layout.SetAttr("Align", static_cast<int>(Align));
        layout.SetAttr("LeftMargin", static_cast<int>(LeftMargin));
        layout.SetAttr("RightMargin", static_cast<int>(RightMargin));
        layout.SetAttr("Indent", static_cast<int>(Indent));
        layout.SetAttr("Leading", static_cast<int>(Leading));
    }
    // An empty text keeps its element, so that the flag survives. A text
    // with a carriage return goes into an attribute: XML turns every CR of
    // element text into LF when it is read.
    if (HasText || !WideInitialText.empty() || !InitialText.empty()) {
        TXmlNode value = node.AddChild("Value");
        if (HasText && !WideInitialText.empty()) AddUtf8CData(value, WideToUtf8(WideInitialText));
        else if (InitialText.find('\r') != std::string::npos) value.SetAttr("Text", InitialText);
        else if (!InitialText.empty()) value.AddCData(InitialText);
    }
}

void TSWFDefineEditText::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) {
    CharacterIdValue = static_cast<uint16_t>(node.AttrInt("ID"));
    ReadRectAttrs(settings, node, Bounds);
    FontClass = node.AttrStrDef("ClassName", "");
    HasFontClass = !FontClass.empty();
    AutoSize = node.AttrBool("AutoSize");
    WordWrap = node.AttrBoolDef("WordWrap", false);
    Multiline = node.AttrBoolDef("Multiline", false);
    Password = node.AttrBoolDef("Password", false);
    ReadOnly = node.AttrBoolDef("ReadOnly", false);
    NoSelect = node.AttrBoolDef("NoSelect", false);
    Border = node.AttrBoolDef("Border", false);
    WasStatic = node.AttrBoolDef("WasStatic", false);
    HTML = node.AttrBoolDef("HTML", false);
    UseOutlines = node.AttrBool("UseOutlines");
    HasFont = node.HasAttribute("FontID");
    if (HasFont) {
        FontId = static_cast<uint16_t>(node.AttrInt("FontID"));
        FontHeight = static_cast<uint16_t>(node.AttrInt("Height"));
    }
    HasTextColor = false;
    textColor_.reset();
    if (node.HasAttribute("Color")) GetTextColor().SetRGBA(ReadRGBAAttr(node, "Color"));
    HasMaxLength = node.HasAttribute("MaxLength");
    if (HasMaxLength) MaxLength = static_cast<uint16_t>(node.AttrInt("MaxLength"));
    if (node.HasAttribute("Variable")) VariableName = node.AttrStr("Variable");
    HasLayout = false;
    if (TXmlNode layout = node.ChildNode("Layout")) {
        const std::string align = layout.AttrStr("Align");
        int found = IndexOfPCharText(align, kAlignNames, 4);
        if (found < 0 && !align.empty() && std::all_of(align.begin(), align.end(), ::isdigit))
            found = static_cast<int>(StrToInt64(align) & 0xFF);
        Align = static_cast<uint8_t>(found < 0 ? 255 : found);
        LeftMargin = static_cast<uint16_t>(layout.AttrInt("LeftMargin"));
        RightMargin = static_cast<uint16_t>(layout.AttrInt("RightMargin"));
        Indent = static_cast<uint16_t>(layout.AttrInt("Indent"));
        Leading = static_cast<uint16_t>(layout.AttrInt("Leading"));
        HasLayout = true;
    }
    InitialText.clear();
    HasText = false;
    if (TXmlNode value = node.ChildNode("Value")) {
        HasText = true;
        std::vector<TXmlNode> children = value.ChildNodes();
        if (value.HasAttribute("Text")) InitialText = value.AttrStr("Text");
        else if (children.size() == 1 && children[0].NodeType() == TXmlNodeType::CData) InitialText = children[0].Text();
        else InitialText = value.Text();
    }
}

// ---------------------------------------------------------------- CSMTextSettings

void TSWFCSMTextSettings::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto& other = SourceAs<TSWFCSMTextSettings>(source, *this);
    TSWFObject::CopyFieldsFrom(source);
    TextId = other.TextId;
    UseFlashType = other.UseFlashType;
    GridFit = other.GridFit;
    Thickness = other.Thickness;
    Sharpness = other.Sharpness;
}

void TSWFCSMTextSettings::ReadBody(TBitsEngine& be) {
    TextId = be.ReadWord();
    const uint8_t bits = be.ReadByte();
    UseFlashType = bits >> 6;
    GridFit = (bits >> 3) & 7;
    Thickness = be.ReadFloat();
    Sharpness = be.ReadFloat();
    be.ReadByte();
}

void TSWFCSMTextSettings::WriteBody(TBitsEngine& be) {
    be.WriteWord(TextId);
    be.WriteByte(static_cast<uint8_t>((UseFlashType & 3) << 6 | (GridFit & 7) << 3));
    be.WriteFloat(Thickness);
    be.WriteFloat(Sharpness);
    be.WriteByte(0);
}

void TSWFCSMTextSettings::SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) {
    node.SetAttr("ID", static_cast<int>(TextId));
    node.SetAttr("UseFlashType", static_cast<int>(UseFlashType));
    node.SetAttr("GridFit", static_cast<int>(GridFit));
    node.SetAttr("Thickness", static_cast<double>(Thickness));
    node.SetAttr("Sharpness", static_cast<double>(Sharpness));
}

void TSWFCSMTextSettings::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) {
    TextId = static_cast<uint16_t>(node.AttrInt("ID"));
    UseFlashType = static_cast<uint8_t>(node.AttrInt("UseFlashType") & 3);
    GridFit = static_cast<uint8_t>(node.AttrInt("GridFit") & 7);
    Thickness = static_cast<float>(node.AttrFloat("Thickness"));
    Sharpness = static_cast<float>(node.AttrFloat("Sharpness"));
}
