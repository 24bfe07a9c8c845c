#include "swf/font_tags.h"

#include <algorithm>

#include "platform/codepage.h"
#include "platform/paths.h"
#include "swf/xml_form.h"

namespace {

// Style-change records of a glyph select fill style 1 with one index bit and
// no line bits; a record in the middle of the list that ends the shape would
// cut the glyph short, so only the last one is written.
void WriteGlyphRecords(TBitsEngine& be, TSWFShapeRecordList& records, bool fixFirstFill) {
    be.WriteByte(0x10);
    if (fixFirstFill && !records.empty() && records.front()->RecordKind == kShapeRecordStyleChange) {
        auto& first = static_cast<TSWFStyleChangeRecord&>(*records.front());
        if ((!first.StateFillStyle0 && !first.StateFillStyle1) || (first.StateFillStyle1 && first.Fill1Id == 0)) {
            first.StateFillStyle0 = false;
            first.StateLineStyle = true;
            first.SetFill1Id(1);
        }
    }
    for (size_t i = 0; i < records.size(); ++i) {
        TSWFShapeRecord& record = *records[i];
        if (record.RecordKind == kShapeRecordEnd) {
            if (i + 1 == records.size()) record.WriteToStream(be);
            continue;
        }
        if (record.RecordKind == kShapeRecordStyleChange) {
            auto& change = static_cast<TSWFStyleChangeRecord&>(record);
            change.FillBits = 1;
            change.LineBits = 0;
        }
        record.WriteToStream(be);
    }
    if (records.empty() || records.back()->RecordKind != kShapeRecordEnd) TSWFEndShapeRecord().WriteToStream(be);
    be.FlushLastByte(true);
}

std::unique_ptr<TSWFShapeRecordList> ReadGlyphRecords(TBitsEngine& be) {
    auto records = std::make_unique<TSWFShapeRecordList>();
    uint8_t widths = be.ReadByte();
    ReadShapeRecords(be, *records, widths >> 4, widths & 15, nullptr);
    be.FlushLastByte(false);
    return records;
}

// A name as its length byte counts it: UTF-8 from SWF 6 on. A name longer
// than the byte can count is cut at a character boundary rather than written
// with a length that does not match its bytes.
std::string StoredName(const std::string& name, bool utf8) {
    std::string bytes = utf8 ? AnsiToUtf8(name) : name;
    if (bytes.size() > 255) {
        size_t cut = 255;
        if (utf8)
            while (cut > 0 && (static_cast<uint8_t>(bytes[cut]) & 0xC0) == 0x80) --cut;
        bytes.resize(cut);
    }
    return bytes;
}

// The bytes a name is stored as: those it was read with while it is
// unchanged.
std::string NameBytes(const std::string& name, bool utf8, const TSWFNameAsRead& kept) {
    return name == kept.Text && !kept.Bytes.empty() ? kept.Bytes : StoredName(name, utf8);
}

void WriteName(TBitsEngine& be, const std::string& name, bool utf8, const TSWFNameAsRead& kept) {
    std::string bytes = NameBytes(name, utf8, kept);
    be.WriteByte(static_cast<uint8_t>(bytes.size()));
    be.WriteString(bytes, false);
}

// Names are kept with every byte, a terminator that some producers count in
// the length included.
std::string ReadName(TBitsEngine& be, bool utf8, TSWFNameAsRead& kept) {
    uint8_t length = be.ReadByte();
    std::string bytes(length, '\0');
    be.ReadBytes(bytes.data(), length);
    kept.Bytes = bytes;
    kept.Text = utf8 ? Utf8ToAnsi(bytes) : bytes;
    return kept.Text;
}

// XML attributes cannot hold a zero byte: trailing terminators travel as
// their count. The attribute holds the name itself (the document is UTF-8):
// from SWF 6 on the file's own bytes when they are UTF-8.
void SaveNameAttr(TXmlNode node, const std::string& attr, const std::string& name, bool utf8,
                  const TSWFNameAsRead& kept) {
    std::string bytes = NameBytes(name, utf8, kept);
    std::string text = utf8 && IsValidUtf8(bytes) ? bytes : AnsiToUtf8(name);
    size_t end = text.find_last_not_of('\0');
    std::string shown = end == std::string::npos ? std::string() : text.substr(0, end + 1);
    node.SetAttrUtf8(attr, shown);
    if (shown.size() < text.size()) node.SetAttr("NameZeros", static_cast<int64_t>(text.size() - shown.size()));
}

std::string LoadNameAttr(const TXmlNode& node, const std::string& attr, bool utf8, TSWFNameAsRead& kept) {
    std::string text = node.AttrStrUtf8(attr);
    int64_t zeros = std::clamp<int64_t>(node.AttrIntDef("NameZeros", 0), 0, 255);
    text.append(static_cast<size_t>(zeros), '\0');
    kept = {};
    if (!utf8) return Utf8ToAnsi(text);
    kept.Bytes = text;
    kept.Text = Utf8ToAnsi(text);
    return kept.Text;
}

const char* const kXmlDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n";

}  // namespace

// ---------------------------------------------------------------- DefineFont

TSWFShapeRecordList& TSWFDefineFont::AddGlyph() {
    GlyphShapeTable.push_back(std::make_unique<TSWFShapeRecordList>());
    return *GlyphShapeTable.back();
}

void TSWFDefineFont::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto& other = SourceAs<TSWFDefineFont>(source, *this);
    TSWFObject::CopyFieldsFrom(source);
    FontId = other.FontId;
    Trailing = other.Trailing;
    GlyphShapeTable.clear();
    for (const auto& glyph : other.GlyphShapeTable) CopyShapeRecords(*glyph, AddGlyph());
}

void TSWFDefineFont::ReadBody(TBitsEngine& be) {
    const int64_t start = be.Stream.GetPosition();
    GlyphShapeTable.clear();
    FontId = be.ReadWord();
    const uint16_t firstOffset = be.ReadWord();
    const size_t count = firstOffset / 2;
    for (size_t i = 1; i < count; ++i) be.ReadWord();
    for (size_t i = 0; i < count; ++i) GlyphShapeTable.push_back(ReadGlyphRecords(be));
    Trailing = ReadRestOfBody(be, start, BodySize);
}

void TSWFDefineFont::WriteBody(TBitsEngine& be) {
    WriteGlyphTable(be);
    WriteTrailing(be);
}

void TSWFDefineFont::WriteTrailing(TBitsEngine& be) {
    if (!Trailing.empty()) be.WriteBuffer(Trailing.data(), static_cast<int64_t>(Trailing.size()));
}

void TSWFDefineFont::WriteGlyphTable(TBitsEngine& be) {
    be.WriteWord(FontId);
    if (GlyphShapeTable.empty()) {
        be.WriteWord(0);
        return;
    }
    TMemoryStream glyphs;
    TBitsEngine glyphWriter(glyphs);
    std::vector<uint32_t> offsets;
    const uint32_t tableSize = static_cast<uint32_t>(GlyphShapeTable.size() * 2);
    for (auto& glyph : GlyphShapeTable) {
        offsets.push_back(tableSize + static_cast<uint32_t>(glyphs.GetSize()));
        WriteGlyphRecords(glyphWriter, *glyph, false);
    }
    if (offsets.back() > 0xFFFF)
        throw EWriteError(FormatStr("DefineFont %d: its glyphs need offsets beyond 16 bits", FontId));
    for (uint32_t offset : offsets) be.WriteWord(static_cast<uint16_t>(offset));
    be.WriteBuffer(glyphs.Memory(), glyphs.GetSize());
}

void TSWFDefineFont::SaveFontFile(TXmlNode node, TXMLReadWriteSettings& settings) {
    std::string name = settings.GetNewFileName(kDataKindFont);
    std::string path = settings.GetDataFolder(kDataKindFont) + name;
    DeleteFileIfExists(path);
    if (settings.FontFormat == 1) {
        TMemoryStream body;
        TBitsEngine be(body);
        WriteBody(be);
        be.FlushLastByte(true);
        WriteFileBytes(path, body.Memory(), static_cast<size_t>(body.GetSize()));
    } else {
        SaveGlyphsToXml(node, settings);
        std::string text = kXmlDeclaration + node.XmlText();
        WriteFileBytes(path, text.data(), text.size());
        for (TXmlNode child : node.ChildNodes()) node.Raw().remove_child(child.Raw());
    }
    node.SetAttr("File", settings.GetRelativeDataFolder(kDataKindFont) + name);
    node.SetAttr("FileType", settings.FontFormat == 1 ? "bytecode" : "AC");
}

bool TSWFDefineFont::LoadFontFile(const TXmlNode& node, TXMLReadWriteSettings& settings, TXmlDocument& doc,
                                  TXmlNode& glyphs) {
    if (!node.HasAttribute("File")) return false;
    std::string fileName = settings.GetFullFileName(kDataKindFont, node.AttrStr("File"));
    if (AnsiSameText(node.AttrStrDef("FileType", ""), "bytecode")) {
        std::vector<uint8_t> bytes = ReadFileBytes(fileName);
        uint16_t id = FontId;
        TMemoryStream in(std::move(bytes));
        TBoundedStream view(in, 0, in.GetSize());
        TBitsEngine be(view);
        BodySize = static_cast<int32_t>(in.GetSize());
        ReadBody(be);
        FontId = id;
        return true;
    }
    doc.LoadFromFile(fileName);
    glyphs = doc.DocumentElement();
    return false;
}

void TSWFDefineFont::SaveGlyphsToXml(TXmlNode node, const TXMLReadWriteSettings& settings) {
    for (size_t i = 0; i < GlyphShapeTable.size(); ++i) {
        TXmlNode glyph = node.AddChild("Glyph");
        glyph.SetAttr("Num", static_cast<int64_t>(i));
        SaveShapeRecordsToXml(glyph, *GlyphShapeTable[i], false, settings);
    }
}

void TSWFDefineFont::LoadGlyphsFromXml(const TXmlNode& node, const TXMLReadWriteSettings& settings) {
    for (const TXmlNode& child : node.ChildElements()) LoadShapeRecordsFromXml(child, AddGlyph(), false, settings);
}

void TSWFDefineFont::SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) {
    const bool external = (settings.Options & kXmlExternalFonts) != 0;
    if (external) SaveFontFile(node, settings);
    else if (!GlyphShapeTable.empty()) SaveGlyphsToXml(node, settings);
    node.SetAttr("ID", static_cast<int>(FontId));
    SaveTrailingAttr(node);
}

void TSWFDefineFont::SaveTrailingAttr(TXmlNode node) const {
    if (!Trailing.empty()) node.SetAttr("Trailing", BinToHexStr(Trailing.data(), Trailing.size()));
}

void TSWFDefineFont::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) {
    FontId = static_cast<uint16_t>(node.AttrInt("ID"));
    GlyphShapeTable.clear();
    Trailing = HexStrToBin(node.AttrStrDef("Trailing", ""));
    TXmlDocument doc;
    TXmlNode glyphs = node;
    if (LoadFontFile(node, settings, doc, glyphs)) return;
    LoadGlyphsFromXml(glyphs, settings);
}

// ---------------------------------------------------------------- DefineFont2 and DefineFont3

void TSWFDefineFont2::CopyFieldsFrom(const TBasedSWFObject& source) {
    TSWFDefineFont::CopyFieldsFrom(source);
    const auto& other = SourceAs<TSWFDefineFont2>(source, *this);
    FontFlagsHasLayout = other.FontFlagsHasLayout;
    FontFlagsShiftJIS = other.FontFlagsShiftJIS;
    FontFlagsSmallText = other.FontFlagsSmallText;
    FontFlagsANSI = other.FontFlagsANSI;
    FontFlagsWideOffsets = other.FontFlagsWideOffsets;
    FontFlagsWideCodes = other.FontFlagsWideCodes;
    FontFlagsItalic = other.FontFlagsItalic;
    FontFlagsBold = other.FontFlagsBold;
    LanguageCode = other.LanguageCode;
    FontName = other.FontName;
    NameAsRead = other.NameAsRead;
    SWFVersion = other.SWFVersion;
    KeepGlyphlessForm = other.KeepGlyphlessForm;
    GlyphlessCodeTableOffset = other.GlyphlessCodeTableOffset;
    CodeTable = other.CodeTable;
    FontAdvanceTable.clear();
    FontBoundsTable.clear();
    kerningTable_.clear();
    if (other.FontFlagsHasLayout) {
        FontAscent = other.FontAscent;
        FontDescent = other.FontDescent;
        FontLeading = other.FontLeading;
        FontAdvanceTable = other.FontAdvanceTable;
        FontBoundsTable = other.FontBoundsTable;
        kerningTable_ = other.kerningTable_;
    }
}

void TSWFDefineFont2::ReadBody(TBitsEngine& be) {
    const int64_t start = be.Stream.GetPosition();
    GlyphShapeTable.clear();
    CodeTable.clear();
    FontAdvanceTable.clear();
    FontBoundsTable.clear();
    kerningTable_.clear();
    FontId = be.ReadWord();
    const uint8_t flags = be.ReadByte();
    FontFlagsHasLayout = flags & 0x80;
    FontFlagsShiftJIS = flags & 0x40;
    FontFlagsSmallText = flags & 0x20;
    FontFlagsANSI = flags & 0x10;
    FontFlagsWideOffsets = flags & 0x08;
    FontFlagsWideCodes = flags & 0x04;
    FontFlagsItalic = flags & 0x02;
    FontFlagsBold = flags & 0x01;
    LanguageCode = be.ReadByte();
    FontName = ReadName(be, SWFVersion >= 6, NameAsRead);
    const uint16_t count = be.ReadWord();
    const int64_t tableStart = be.Stream.GetPosition();
    std::vector<uint32_t> offsets;
    if (count > 0)
        for (uint32_t i = 0; i <= count; ++i) offsets.push_back(FontFlagsWideOffsets ? be.ReadDWord() : be.ReadWord());
    // Without glyphs some producers write the code-table offset and others
    // do not: it is there when the body holds exactly it and, with layout,
    // the metrics and an empty kerning table.
    KeepGlyphlessForm = count == 0;
    GlyphlessCodeTableOffset.reset();
    const int64_t width = FontFlagsWideOffsets ? 4 : 2;
    if (count == 0 && BodySize > 0 && start + BodySize - tableStart == (FontFlagsHasLayout ? 8 : 0) + width)
        GlyphlessCodeTableOffset = FontFlagsWideOffsets ? be.ReadDWord() : be.ReadWord();
    for (uint16_t i = 0; i < count; ++i) {
        be.Stream.SetPosition(tableStart + offsets[i]);
        GlyphShapeTable.push_back(ReadGlyphRecords(be));
    }
    for (uint16_t i = 0; i < count; ++i) CodeTable.push_back(FontFlagsWideCodes ? be.ReadWord() : be.ReadByte());
    if (FontFlagsHasLayout) {
        FontAscent = static_cast<int16_t>(be.ReadWord());
        FontDescent = static_cast<int16_t>(be.ReadWord());
        FontLeading = static_cast<int16_t>(be.ReadWord());
        if (count > 0) {
            for (uint16_t i = 0; i < count; ++i) FontAdvanceTable.push_back(static_cast<int16_t>(be.ReadWord()));
            for (uint16_t i = 0; i < count; ++i) {
                TSWFRect bounds;
                bounds.ReadAsStored(be);
                FontBoundsTable.push_back(bounds);
            }
        }
        const uint16_t kerningCount = be.ReadWord();
        for (uint16_t i = 0; i < kerningCount; ++i) {
            TSWFKerningRecord record;
            record.Code1 = FontFlagsWideCodes ? be.ReadWord() : be.ReadByte();
            record.Code2 = FontFlagsWideCodes ? be.ReadWord() : be.ReadByte();
            record.Adjustment = static_cast<int16_t>(be.ReadWord());
            kerningTable_.push_back(record);
        }
    }
    Trailing = ReadRestOfBody(be, start, BodySize);
}

void TSWFDefineFont2::WriteBody(TBitsEngine& be) {
    const size_t count = CodeTable.size();
    const bool asRead = count == 0 && KeepGlyphlessForm;
    const bool hasLayout = FontFlagsHasLayout && (count > 0 || asRead);
    const bool ansi = FontFlagsANSI || (count == 0 && !asRead);

    // The glyphs go first into a buffer of their own: only their offsets
    // tell whether 16-bit entries can hold them.
    TMemoryStream glyphs;
    TBitsEngine glyphWriter(glyphs);
    std::vector<uint32_t> positions;
    TSWFShapeRecordList empty;
    for (size_t i = 0; i < count; ++i) {
        positions.push_back(static_cast<uint32_t>(glyphs.GetSize()));
        WriteGlyphRecords(glyphWriter, i < GlyphShapeTable.size() ? *GlyphShapeTable[i] : empty, true);
    }
    const uint32_t codeTableAt = static_cast<uint32_t>(glyphs.GetSize());
    const bool wide = FontFlagsWideOffsets || (count + 1) * 2 + uint64_t(codeTableAt) > 0xFFFF;
    FontFlagsWideOffsets = wide;
    const uint32_t tableSize = static_cast<uint32_t>((count + 1) * (wide ? 4 : 2));

    be.WriteWord(FontId);
    be.WriteByte(static_cast<uint8_t>(hasLayout << 7 | FontFlagsShiftJIS << 6 | FontFlagsSmallText << 5 | ansi << 4 |
                                      wide << 3 | FontFlagsWideCodes << 2 | FontFlagsItalic << 1 | FontFlagsBold));
    be.WriteByte(LanguageCode);
    WriteName(be, FontName, SWFVersion >= 6, NameAsRead);
    be.WriteWord(static_cast<uint16_t>(count));
    if (asRead) {
        if (GlyphlessCodeTableOffset) {
            if (wide) be.WriteDWord(*GlyphlessCodeTableOffset);
            else be.WriteWord(static_cast<uint16_t>(*GlyphlessCodeTableOffset));
        }
    } else {
        positions.push_back(codeTableAt);
    }
    for (uint32_t position : positions) {
        if (wide) be.WriteDWord(tableSize + position);
        else be.WriteWord(static_cast<uint16_t>(tableSize + position));
    }
    be.WriteBuffer(glyphs.Memory(), glyphs.GetSize());
    for (uint16_t code : CodeTable) {
        if (FontFlagsWideCodes) be.WriteWord(code);
        else be.WriteByte(static_cast<uint8_t>(code));
    }
    if (hasLayout) WriteLayout(be, count);
    WriteTrailing(be);
}

void TSWFDefineFont2::WriteLayout(TBitsEngine& be, size_t count) {
    be.WriteWord(static_cast<uint16_t>(FontAscent));
    be.WriteWord(static_cast<uint16_t>(FontDescent));
    be.WriteWord(static_cast<uint16_t>(FontLeading));
    // One advance and one rectangle per glyph, whatever the tables hold:
    // readers take exactly that many.
    for (size_t i = 0; i < count; ++i)
        be.WriteWord(static_cast<uint16_t>(i < FontAdvanceTable.size() ? FontAdvanceTable[i] : 0));
    for (size_t i = 0; i < count; ++i) {
        if (i < FontBoundsTable.size()) FontBoundsTable[i].Write(be);
        else be.WriteRect(TRect{});
    }
    be.WriteWord(static_cast<uint16_t>(kerningTable_.size()));
    for (const TSWFKerningRecord& record : kerningTable_) {
        if (FontFlagsWideCodes) {
            be.WriteWord(record.Code1);
            be.WriteWord(record.Code2);
        } else {
            be.WriteByte(static_cast<uint8_t>(record.Code1));
            be.WriteByte(static_cast<uint8_t>(record.Code2));
        }
        be.WriteWord(static_cast<uint16_t>(record.Adjustment));
    }
}

void TSWFDefineFont2::SaveGlyphsToXml(TXmlNode node, const TXMLReadWriteSettings& settings) {
    for (size_t i = 0; i < CodeTable.size(); ++i) {
        TXmlNode glyph = node.AddChild("Glyph");
        glyph.SetAttr("Num", static_cast<int64_t>(i));
        glyph.SetAttr("Code", static_cast<int>(CodeTable[i]));
        if (i < GlyphShapeTable.size()) SaveShapeRecordsToXml(glyph, *GlyphShapeTable[i], false, settings);
        if (FontFlagsHasLayout) {
            if (i < FontAdvanceTable.size())
                glyph.SetAttr("Advance", static_cast<int>(static_cast<uint16_t>(FontAdvanceTable[i])));
            if (i < FontBoundsTable.size()) WriteRectAttrs(settings, glyph, FontBoundsTable[i]);
        }
    }
    for (const TSWFKerningRecord& record : kerningTable_) {
        TXmlNode kerning = node.AddChild("Kerning");
        kerning.SetAttr("KerningCode1", static_cast<int>(record.Code1));
        kerning.SetAttr("KerningCode2", static_cast<int>(record.Code2));
        kerning.SetAttr("KerningAdjustment", static_cast<int64_t>(record.Adjustment));
    }
}

void TSWFDefineFont2::LoadGlyphsFromXml(const TXmlNode& node, const TXMLReadWriteSettings& settings) {
    for (const TXmlNode& child : node.ChildElements()) {
        if (child.NodeName() == "Kerning") {
            TSWFKerningRecord record;
            record.Code1 = static_cast<uint16_t>(child.AttrInt("KerningCode1"));
            record.Code2 = static_cast<uint16_t>(child.AttrInt("KerningCode2"));
            record.Adjustment = static_cast<int16_t>(child.AttrInt("KerningAdjustment"));
            kerningTable_.push_back(record);
            continue;
        }
        const uint16_t code = static_cast<uint16_t>(child.AttrInt("Code"));
        CodeTable.push_back(code);
        FontFlagsWideCodes = FontFlagsWideCodes || code > 255 || TagCode == 75;
        LoadShapeRecordsFromXml(child, AddGlyph(), false, settings);
        if (FontFlagsHasLayout || child.HasAttribute("Advance")) {
            FontFlagsHasLayout = true;
            FontAdvanceTable.push_back(static_cast<int16_t>(child.AttrInt("Advance")));
            TSWFRect bounds;
            ReadRectAttrs(settings, child, bounds);
            FontBoundsTable.push_back(bounds);
        }
    }
}

void TSWFDefineFont2::SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) {
    const bool external = (settings.Options & kXmlExternalFonts) != 0;
    if (external) SaveFontFile(node, settings);
    else if (!CodeTable.empty()) SaveGlyphsToXml(node, settings);
    node.SetAttr("ID", static_cast<int>(FontId));
    SaveNameAttr(node, "Name", FontName, SWFVersion >= 6, NameAsRead);
    node.SetAttrBool("SmallText", FontFlagsSmallText);
    node.SetAttrBool("ShiftJIS", FontFlagsShiftJIS);
    node.SetAttrBool("ANSI", FontFlagsANSI);
    node.SetAttrBool("Italic", FontFlagsItalic);
    node.SetAttrBool("Bold", FontFlagsBold);
    node.SetAttrBool("WideCodes", FontFlagsWideCodes);
    node.SetAttr("LanguageCode", static_cast<int>(LanguageCode));
    if (FontFlagsHasLayout) {
        node.SetAttr("Ascent", static_cast<int>(FontAscent));
        node.SetAttr("Descent", static_cast<int>(FontDescent));
        node.SetAttr("Leading", static_cast<int>(FontLeading));
    }
    // Kept so that a font read with 32-bit offsets is written as it was.
    if (FontFlagsWideOffsets) node.SetAttrBool("WideOffsets", true);
    if (CodeTable.empty() && KeepGlyphlessForm)
        node.SetAttr("CodeTableOffset",
                     GlyphlessCodeTableOffset ? std::to_string(*GlyphlessCodeTableOffset) : std::string("none"));
    SaveTrailingAttr(node);
}

void TSWFDefineFont2::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) {
    if (node.HasAttribute("ID")) FontId = static_cast<uint16_t>(node.AttrInt("ID"));
    GlyphShapeTable.clear();
    Trailing = HexStrToBin(node.AttrStrDef("Trailing", ""));
    CodeTable.clear();
    FontAdvanceTable.clear();
    FontBoundsTable.clear();
    kerningTable_.clear();
    FontName = LoadNameAttr(node, "Name", SWFVersion >= 6, NameAsRead);
    FontFlagsSmallText = node.AttrBoolDef("SmallText", false);
    FontFlagsShiftJIS = node.AttrBoolDef("ShiftJIS", false);
    FontFlagsANSI = node.AttrBoolDef("ANSI", true);
    FontFlagsItalic = node.AttrBoolDef("Italic", false);
    FontFlagsBold = node.AttrBoolDef("Bold", false);
    FontFlagsWideOffsets = node.AttrBoolDef("WideOffsets", false);
    KeepGlyphlessForm = node.HasAttribute("CodeTableOffset");
    GlyphlessCodeTableOffset.reset();
    if (KeepGlyphlessForm && node.AttrStr("CodeTableOffset") != "none")
        GlyphlessCodeTableOffset = static_cast<uint32_t>(node.AttrInt("CodeTableOffset"));
    // Without the attribute (older documents) the codes decide, and
    // DefineFont3 always has wide codes.
    FontFlagsWideCodes = node.AttrBoolDef("WideCodes", TagCode == 75);
    LanguageCode = static_cast<uint8_t>(node.AttrInt("LanguageCode"));
    FontFlagsHasLayout = false;
    if (node.HasAttribute("Ascent")) {
        FontAscent = static_cast<int16_t>(node.AttrInt("Ascent"));
        FontDescent = static_cast<int16_t>(node.AttrInt("Descent"));
        FontLeading = static_cast<int16_t>(node.AttrInt("Leading"));
        FontFlagsHasLayout = true;
    }
    TXmlDocument doc;
    TXmlNode glyphs = node;
    if (LoadFontFile(node, settings, doc, glyphs)) return;
    LoadGlyphsFromXml(glyphs, settings);
}

// ---------------------------------------------------------------- DefineFontInfo and DefineFontInfo2

void TSWFDefineFontInfo::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto& other = SourceAs<TSWFDefineFontInfo>(source, *this);
    TSWFObject::CopyFieldsFrom(source);
    FontId = other.FontId;
    FontName = other.FontName;
    NameAsRead = other.NameAsRead;
    FontFlagsSmallText = other.FontFlagsSmallText;
    FontFlagsShiftJIS = other.FontFlagsShiftJIS;
    FontFlagsANSI = other.FontFlagsANSI;
    FontFlagsItalic = other.FontFlagsItalic;
    FontFlagsBold = other.FontFlagsBold;
    FontFlagsWideCodes = other.FontFlagsWideCodes;
    SWFVersion = other.SWFVersion;
    CodeTable = other.CodeTable;
}

static uint8_t FontInfoFlags(const TSWFDefineFontInfo& info, bool wideCodes) {
    return static_cast<uint8_t>(info.FontFlagsSmallText << 5 | info.FontFlagsShiftJIS << 4 | info.FontFlagsANSI << 3 |
                                info.FontFlagsItalic << 2 | info.FontFlagsBold << 1 | wideCodes);
}

static void ReadFontInfoFlags(TSWFDefineFontInfo& info, uint8_t flags) {
    info.FontFlagsSmallText = flags & 0x20;
    info.FontFlagsShiftJIS = flags & 0x10;
    info.FontFlagsANSI = flags & 0x08;
    info.FontFlagsItalic = flags & 0x04;
    info.FontFlagsBold = flags & 0x02;
    info.FontFlagsWideCodes = flags & 0x01;
}

// The codes run to the end of the body (their number is the described
// font's glyph count, which only the body's size tells here).
static void ReadFontInfoCodes(TBitsEngine& be, std::vector<uint16_t>& codes, bool wide) {
    codes.clear();
    const int64_t width = wide ? 2 : 1;
    for (int64_t left = be.Stream.Remaining() / width; left > 0; --left)
        codes.push_back(wide ? be.ReadWord() : be.ReadByte());
}

void TSWFDefineFontInfo::ReadBody(TBitsEngine& be) {
    FontId = be.ReadWord();
    FontName = ReadName(be, SWFVersion >= 6, NameAsRead);
    ReadFontInfoFlags(*this, be.ReadByte());
    ReadFontInfoCodes(be, CodeTable, FontFlagsWideCodes);
}

void TSWFDefineFontInfo::WriteBody(TBitsEngine& be) {
    be.WriteWord(FontId);
    WriteName(be, FontName, SWFVersion >= 6, NameAsRead);
    be.WriteByte(FontInfoFlags(*this, FontFlagsWideCodes));
    for (uint16_t code : CodeTable) {
        if (FontFlagsWideCodes) be.WriteWord(code);
        else be.WriteByte(static_cast<uint8_t>(code));
    }
}

static void SaveFontInfoGlyphs(TXmlNode node, const std::vector<uint16_t>& codes, bool wide) {
    for (size_t i = 0; i < codes.size(); ++i) {
        TXmlNode glyph = node.AddChild("Glyph");
        glyph.SetAttr("Num", static_cast<int64_t>(i));
        glyph.SetAttr("Code", static_cast<int>(wide ? codes[i] : codes[i] & 0xFF));
    }
}

void TSWFDefineFontInfo::SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) {
    node.SetAttr("ID", static_cast<int>(FontId));
    SaveNameAttr(node, "Name", FontName, SWFVersion >= 6, NameAsRead);
    node.SetAttrBool("SmallText", FontFlagsSmallText);
    node.SetAttrBool("ShiftJIS", FontFlagsShiftJIS);
    node.SetAttrBool("ANSI", FontFlagsANSI);
    if (FontFlagsItalic) node.SetAttrBool("Italic", true);
    if (FontFlagsBold) node.SetAttrBool("Bold", true);
    node.SetAttrBool("WideCodes", FontFlagsWideCodes);
    SaveFontInfoGlyphs(node, CodeTable, FontFlagsWideCodes);
}

static void LoadFontInfoCommon(TSWFDefineFontInfo& info, const TXmlNode& node, bool utf8) {
    info.FontId = static_cast<uint16_t>(node.AttrInt("ID"));
    info.FontName = LoadNameAttr(node, "Name", utf8, info.NameAsRead);
    info.FontFlagsSmallText = node.AttrBoolDef("SmallText", false);
    info.FontFlagsShiftJIS = node.AttrBoolDef("ShiftJIS", false);
    info.FontFlagsANSI = node.AttrBoolDef("ANSI", true);
    info.FontFlagsItalic = node.AttrBoolDef("Italic", false);
    info.FontFlagsBold = node.AttrBoolDef("Bold", false);
    info.CodeTable.clear();
}

void TSWFDefineFontInfo::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) {
    LoadFontInfoCommon(*this, node, SWFVersion >= 6);
    FontFlagsWideCodes = node.AttrBool("WideCodes");
    for (const TXmlNode& child : node.ChildElements())
        if (child.HasAttribute("Code")) CodeTable.push_back(static_cast<uint16_t>(child.AttrInt("Code")));
}

void TSWFDefineFontInfo2::CopyFieldsFrom(const TBasedSWFObject& source) {
    TSWFDefineFontInfo::CopyFieldsFrom(source);
    LanguageCode = SourceAs<TSWFDefineFontInfo2>(source, *this).LanguageCode;
}

void TSWFDefineFontInfo2::ReadBody(TBitsEngine& be) {
    FontId = be.ReadWord();
    FontName = ReadName(be, true, NameAsRead);
    ReadFontInfoFlags(*this, be.ReadByte());
    LanguageCode = be.ReadByte();
    ReadFontInfoCodes(be, CodeTable, true);
}

void TSWFDefineFontInfo2::WriteBody(TBitsEngine& be) {
    be.WriteWord(FontId);
    WriteName(be, FontName, true, NameAsRead);
    be.WriteByte(FontInfoFlags(*this, true));
    be.WriteByte(LanguageCode);
    for (uint16_t code : CodeTable) be.WriteWord(code);
}

void TSWFDefineFontInfo2::SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) {
    node.SetAttr("ID", static_cast<int>(FontId));
    SaveNameAttr(node, "Name", FontName, true, NameAsRead);
    node.SetAttrBool("SmallText", FontFlagsSmallText);
    node.SetAttrBool("ShiftJIS", FontFlagsShiftJIS);
    node.SetAttrBool("ANSI", FontFlagsANSI);
    node.SetAttrBool("Italic", FontFlagsItalic);
    node.SetAttrBool("Bold", FontFlagsBold);
    node.SetAttrBool("WideCodes", true);
    node.SetAttr("LanguageCode", static_cast<int>(LanguageCode));
    SaveFontInfoGlyphs(node, CodeTable, true);
}

void TSWFDefineFontInfo2::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) {
    LoadFontInfoCommon(*this, node, true);
    FontFlagsWideCodes = true;
    LanguageCode = static_cast<uint8_t>(node.AttrInt("LanguageCode"));
    for (const TXmlNode& child : node.ChildElements()) CodeTable.push_back(static_cast<uint16_t>(child.AttrInt("Code")));
}

// ---------------------------------------------------------------- DefineFontAlignZones

void TSWFDefineFontAlignZones::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto& other = SourceAs<TSWFDefineFontAlignZones>(source, *this);
    TSWFObject::CopyFieldsFrom(source);
    FontId = other.FontId;
    CSMTableHint = other.CSMTableHint;
    ZoneTable = other.ZoneTable;
}

void TSWFDefineFontAlignZones::ReadBody(TBitsEngine& be) {
    ZoneTable.clear();
    FontId = be.ReadWord();
    CSMTableHint = be.ReadByte() >> 6;
    while (be.Stream.Remaining() > 0) {
        TSWFZoneRecord& record = ZoneTable.AddZoneRecord();
        const uint8_t entries = be.ReadByte();
        for (uint8_t i = 0; i < entries; ++i) {
            TSWFZoneData& data = record.AddZoneData();
            data.AlignmentCoordinate = be.ReadWord();
            data.Range = be.ReadWord();
        }
        record.NumZoneData = entries;
        const uint8_t mask = be.ReadByte();
        record.ZoneMaskX = mask & 0x01;
        record.ZoneMaskY = mask & 0x02;
    }
}

void TSWFDefineFontAlignZones::WriteBody(TBitsEngine& be) {
    be.WriteWord(FontId);
    be.WriteByte(static_cast<uint8_t>(CSMTableHint << 6));
    for (const TSWFZoneRecord& record : ZoneTable) {
        // The count written is the number of entries that follow it.
        be.WriteByte(static_cast<uint8_t>(std::min<size_t>(record.size(), 255)));
        for (size_t i = 0; i < record.size() && i < 255; ++i) {
            be.WriteWord(record[i].AlignmentCoordinate);
            be.WriteWord(record[i].Range);
        }
        be.WriteByte(static_cast<uint8_t>(record.ZoneMaskX | record.ZoneMaskY << 1));
    }
}

void TSWFDefineFontAlignZones::SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) {
    node.SetAttr("ID", static_cast<int>(FontId));
    node.SetAttr("CSMTableHint", static_cast<int>(CSMTableHint));
    for (const TSWFZoneRecord& record : ZoneTable) {
        TXmlNode element = node.AddChild("ZoneRecord");
        element.SetAttrBool("MaskX", record.ZoneMaskX);
        element.SetAttrBool("MaskY", record.ZoneMaskY);
        for (size_t i = 0; i < record.size(); ++i) {
            element.SetAttr("Align" + std::to_string(i + 1), static_cast<int>(record[i].AlignmentCoordinate));
            element.SetAttr("Range" + std::to_string(i + 1), static_cast<int>(record[i].Range));
        }
    }
}

void TSWFDefineFontAlignZones::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) {
    FontId = static_cast<uint16_t>(node.AttrInt("ID"));
    CSMTableHint = static_cast<uint8_t>(node.AttrInt("CSMTableHint") & 3);
    ZoneTable.clear();
    for (const TXmlNode& child : node.ChildElements()) {
        TSWFZoneRecord& record = ZoneTable.AddZoneRecord();
        record.ZoneMaskX = child.AttrBool("MaskX");
        record.ZoneMaskY = child.AttrBool("MaskY");
        for (int n = 1; n <= 255 && child.HasAttribute("Align" + std::to_string(n)); ++n) {
            TSWFZoneData& data = record.AddZoneData();
            data.AlignmentCoordinate = static_cast<uint16_t>(child.AttrInt("Align" + std::to_string(n)));
            data.Range = static_cast<uint16_t>(child.AttrInt("Range" + std::to_string(n)));
        }
    }
}

// ---------------------------------------------------------------- DefineFontName

void TSWFDefineFontName::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto& other = SourceAs<TSWFDefineFontName>(source, *this);
    TSWFObject::CopyFieldsFrom(source);
    FontId = other.FontId;
    FontName = other.FontName;
    FontCopyright = other.FontCopyright;
}

void TSWFDefineFontName::ReadBody(TBitsEngine& be) {
    FontId = be.ReadWord();
    FontName = be.ReadString();
    FontCopyright = be.ReadString();
}

void TSWFDefineFontName::WriteBody(TBitsEngine& be) {
    be.WriteWord(FontId);
    be.WriteString(FontName);
    be.WriteString(FontCopyright);
}

void TSWFDefineFontName::SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) {
    node.SetAttr("FontID", static_cast<int>(FontId));
    node.SetAttr("Font", FontName);
    node.SetAttr("Copyright", FontCopyright);
}

void TSWFDefineFontName::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) {
    FontId = static_cast<uint16_t>(node.AttrInt("FontID"));
    FontName = node.AttrStr("Font");
    FontCopyright = node.AttrStr("Copyright");
}
