// The font tags: glyph fonts (DefineFont, code 10; DefineFont2, 48;
// DefineFont3, 75), whose glyphs are shape-record lists, with a code table,
// a name, style flags and an optional layout block of metrics, advances,
// bounds and kerning pairs; and the tags that describe a font defined
// elsewhere: DefineFontInfo (13) and DefineFontInfo2 (62) with the font's
// name, flags and code table, DefineFontAlignZones (73) with its alignment
// zones and DefineFontName (88) with its display name and notice.
//
// DefineFont3 has exactly the body of DefineFont2; its glyph coordinates are
// stored and written as they stand.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "swf/shape_records.h"
#include "swf/tag.h"
#include "swf/value_records.h"

class TXMLReadWriteSettings;

class TSWFKerningRecord {
public:
    uint16_t Code1 = 0;
    uint16_t Code2 = 0;
    int32_t Adjustment = 0;  // written as 16 bits

    void CopyFrom(const TSWFKerningRecord& source) { *this = source; }
};

using TSWFGlyphList = std::vector<std::unique_ptr<TSWFShapeRecordList>>;

// A font name's bytes as a file stored them (UTF-8 from SWF 6 on) beside
// the code-page text they gave. While a tag's name is still that text, the
// bytes are what is written, in the file and (as UTF-8) in the XML form: a
// name the code page cannot hold ("... 標準") is not turned into "??".
struct TSWFNameAsRead {
    std::string Text;
    std::string Bytes;
};

class TSWFDefineFont : public TSWFObject {
public:
    TSWFDefineFont() { TagCode = 10; }

    uint16_t FontId = 0;
    TSWFGlyphList GlyphShapeTable;  // one record list per glyph, in glyph-index order
    // Bytes a file had after the last field, written back after the fields.
    std::vector<uint8_t> Trailing;

    // Appends an empty glyph and returns its records.
    TSWFShapeRecordList& AddGlyph();

    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) override;
    int32_t CharacterId() const override { return FontId; }
    virtual std::unique_ptr<TSWFDefineFont> Create() const { return std::make_unique<TSWFDefineFont>(); }

protected:
    void WriteGlyphTable(TBitsEngine& be);
    void WriteTrailing(TBitsEngine& be);
    void SaveTrailingAttr(TXmlNode node) const;
    // The font-file option of the XML form: the body or the element's XML
    // (its glyphs) goes to an external file named by "File".
    void SaveFontFile(TXmlNode node, TXMLReadWriteSettings& settings);
    // Follows "File": reads the body from a byte-code file (true), or loads
    // an XML file into doc and returns its element in place of node.
    bool LoadFontFile(const TXmlNode& node, TXMLReadWriteSettings& settings, TXmlDocument& doc, TXmlNode& glyphs);
    virtual void LoadGlyphsFromXml(const TXmlNode& node, const TXMLReadWriteSettings& settings);
    virtual void SaveGlyphsToXml(TXmlNode node, const TXMLReadWriteSettings& settings);
};

class TSWFDefineFont2 : public TSWFDefineFont {
public:
    TSWFDefineFont2() { TagCode = 48; }

    std::vector<uint16_t> CodeTable;      // one code per glyph
    std::vector<int16_t> FontAdvanceTable;
    std::vector<TSWFRect> FontBoundsTable;
    int16_t FontAscent = 0, FontDescent = 0, FontLeading = 0;
    bool FontFlagsHasLayout = false;
    bool FontFlagsShiftJIS = false;
    bool FontFlagsSmallText = false;
    bool FontFlagsANSI = false;
    // Decided by the writer: 32-bit offsets when the font was read or loaded
    // with them, or when an offset does not fit 16 bits.
    bool FontFlagsWideOffsets = false;
    bool FontFlagsWideCodes = false;
    bool FontFlagsItalic = false;
    bool FontFlagsBold = false;
    uint8_t LanguageCode = 0;
    std::string FontName;  // code page
    TSWFNameAsRead NameAsRead;
    uint8_t SWFVersion = 0;
    // A font without glyphs as a file had it: its flags and layout as they
    // stand, and its code-table offset only when it had one. One built in
    // code (KeepGlyphlessForm false) is written with the ANSI flag, without
    // layout and with the offset.
    bool KeepGlyphlessForm = false;
    std::optional<uint32_t> GlyphlessCodeTableOffset;

    std::vector<TSWFKerningRecord>& GetKerningTable() { return kerningTable_; }
    const std::vector<TSWFKerningRecord>& GetKerningTable() const { return kerningTable_; }

    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    int RequiredVersion() const override { return 3; }
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) override;
    void SetSWFVersion(uint8_t version) override { SWFVersion = version; }
    std::unique_ptr<TSWFDefineFont> Create() const override { return std::make_unique<TSWFDefineFont2>(); }

protected:
    void LoadGlyphsFromXml(const TXmlNode& node, const TXMLReadWriteSettings& settings) override;
    void SaveGlyphsToXml(TXmlNode node, const TXMLReadWriteSettings& settings) override;

private:
    void WriteLayout(TBitsEngine& be, size_t count);
    std::vector<TSWFKerningRecord> kerningTable_;
};

class TSWFDefineFont3 : public TSWFDefineFont2 {
public:
    TSWFDefineFont3() {
        TagCode = 75;
        FontFlagsWideCodes = true;
    }
    int RequiredVersion() const override { return 8; }
    std::unique_ptr<TSWFDefineFont> Create() const override { return std::make_unique<TSWFDefineFont3>(); }
};

// ---------------------------------------------------------------- font information

class TSWFDefineFontInfo : public TSWFObject {
public:
    TSWFDefineFontInfo() { TagCode = 13; }

    uint16_t FontId = 0;
    std::string FontName;  // code page
    TSWFNameAsRead NameAsRead;
    bool FontFlagsSmallText = false;
    bool FontFlagsShiftJIS = false;
    bool FontFlagsANSI = false;
    bool FontFlagsItalic = false;
    bool FontFlagsBold = false;
    bool FontFlagsWideCodes = false;
    std::vector<uint16_t> CodeTable;
    uint8_t SWFVersion = 0;

    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;
    // The codes fill the rest of the body: the tag does not carry their
    // number, which is the glyph count of the font it describes.
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) override;
    void SetSWFVersion(uint8_t version) override { SWFVersion = version; }
    int32_t CharacterId() const override { return FontId; }
    virtual std::unique_ptr<TSWFDefineFontInfo> Create() const { return std::make_unique<TSWFDefineFontInfo>(); }
};

class TSWFDefineFontInfo2 : public TSWFDefineFontInfo {
public:
    TSWFDefineFontInfo2() { TagCode = 62; }

    uint8_t LanguageCode = 0;

    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    int RequiredVersion() const override { return 6; }
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) override;
    // Its name is always UTF-8: no version is handed in.
    void SetSWFVersion(uint8_t) override {}
    std::unique_ptr<TSWFDefineFontInfo> Create() const override { return std::make_unique<TSWFDefineFontInfo2>(); }
};

// ---------------------------------------------------------------- alignment zones

// Alignment coordinate and range: the format's 16-bit floats, carried as
// their raw bit patterns.
class TSWFZoneData {
public:
    uint16_t AlignmentCoordinate = 0;
    uint16_t Range = 0;
};

class TSWFZoneRecord : public std::vector<TSWFZoneData> {
public:
    uint8_t NumZoneData = 0;
    bool ZoneMaskX = false;
    bool ZoneMaskY = false;

    TSWFZoneData& AddZoneData() {
        push_back(TSWFZoneData{});
        NumZoneData = static_cast<uint8_t>(size());
        return back();
    }
    TSWFZoneData& GetZoneData(size_t index) { return at(index); }
};

class TSWFZoneTable : public std::vector<TSWFZoneRecord> {
public:
    TSWFZoneRecord& AddZoneRecord() {
        push_back(TSWFZoneRecord{});
        return back();
    }
    TSWFZoneRecord& GetZoneRecord(size_t index) { return at(index); }
};

class TSWFDefineFontAlignZones : public TSWFObject {
public:
    TSWFDefineFontAlignZones() { TagCode = 73; }

    uint16_t FontId = 0;
    uint8_t CSMTableHint = 0;  // 0 to 3
    TSWFZoneTable ZoneTable;

    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    int RequiredVersion() const override { return 8; }
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) override;
};

class TSWFDefineFontName : public TSWFObject {
public:
    TSWFDefineFontName() { TagCode = 88; }

    uint16_t FontId = 0;
    std::string FontName;
    std::string FontCopyright;

    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    int RequiredVersion() const override { return 9; }
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) override;
};
