// The text tags: static text as runs of glyphs of an embedded font
// (DefineText, code 11, and DefineText2, 33, whose colours carry alpha),
// edit and dynamic text fields (DefineEditText, 37) and the anti-aliasing
// settings of a text (CSMTextSettings, 74).
//
// A static text is a list of text records, each a run of glyph entries (an
// index into the font's glyph list and an advance in twips) that may change
// the font, height, colour and pen position first. The glyph and advance bit
// counts of the tag must cover every entry: whoever fills the records keeps
// them at the maximum, as ComputeBitCounts does.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "swf/tag.h"
#include "swf/value_records.h"

class TXMLReadWriteSettings;

class TSWFGlyphEntry {
public:
    uint16_t GlyphIndex = 0;
    int32_t GlyphAdvance = 0;  // twips
};

class TSWFTextRecord {
public:
    // The glyph count of a record is one byte.
    static constexpr size_t kMaxGlyphs = 255;

    bool StyleFlagsHasFont = false;
    uint16_t FontId = 0;
    uint16_t TextHeight = 0;
    bool StyleFlagsHasColor = false;
    bool StyleFlagsHasXOffset = false;
    int32_t XOffset = 0;
    bool StyleFlagsHasYOffset = false;
    int32_t YOffset = 0;
    bool WithAlpha = false;
    std::vector<TSWFGlyphEntry> GlyphEntries;

    void SetFontId(uint16_t id) { FontId = id; StyleFlagsHasFont = true; }
    void SetTextHeight(uint16_t height) { TextHeight = height; StyleFlagsHasFont = true; }
    void SetXOffset(int32_t x) { XOffset = x; StyleFlagsHasXOffset = true; }
    void SetYOffset(int32_t y) { YOffset = y; StyleFlagsHasYOffset = true; }
    // Created on first use; sets the has-colour flag.
    TSWFRGBA& GetTextColor();
    bool HasTextColorObject() const { return textColor_ != nullptr; }
    TSWFGlyphEntry& GetGlyphEntry(size_t index) { return GlyphEntries.at(index); }

    void CopyFrom(const TSWFTextRecord& source);
    // EWriteError for more than 255 entries: the count would not fit.
    void WriteToStream(TBitsEngine& be, uint8_t glyphBits, uint8_t advanceBits);
    // Reads the record whose flag byte has been read; ends on a byte boundary.
    void ReadFromStream(TBitsEngine& be, uint8_t flags, uint8_t glyphBits, uint8_t advanceBits);
    // Raises glyphBits and advanceBits to cover the entries read.
    void LoadFromXml(const TXmlNode& node, uint8_t& glyphBits, uint8_t& advanceBits,
                     const TXMLReadWriteSettings& settings);
    void SaveToXml(TXmlNode node, const TXMLReadWriteSettings& settings);

private:
    std::unique_ptr<TSWFRGBA> textColor_;
};

class TSWFDefineText : public TSWFObject {
public:
    TSWFDefineText() { TagCode = 11; }

    uint16_t CharacterIdValue = 0;
    TSWFRect TextBounds;
    TSWFMatrix TextMatrix;
    uint8_t GlyphBits = 0;
    uint8_t AdvanceBits = 0;
    std::vector<std::unique_ptr<TSWFTextRecord>> TextRecords;
    bool WithAlpha = false;

    TSWFTextRecord& AddTextRecord();
    TSWFTextRecord* GetTextRecord(size_t index) const { return TextRecords.at(index).get(); }
    // Raises the bit counts to cover every entry of every record.
    void ComputeBitCounts();

    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    int RequiredVersion() const override { return TagCode == 33 ? 3 : 1; }
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) override;
    int32_t CharacterId() const override { return CharacterIdValue; }
};

class TSWFDefineText2 : public TSWFDefineText {
public:
    TSWFDefineText2() {
        TagCode = 33;
        WithAlpha = true;
    }
};

// The glyph-index and advance bit lengths as the text records need them.
uint8_t GlyphIndexBits(uint32_t index);
uint8_t AdvanceBitsFor(int32_t advance);

enum : uint8_t { kEditTextAlignLeft = 0, kEditTextAlignRight = 1, kEditTextAlignCenter = 2, kEditTextAlignJustify = 3 };

class TSWFDefineEditText : public TSWFObject {
public:
    TSWFDefineEditText() { TagCode = 37; }

    uint16_t CharacterIdValue = 0;
    TSWFRect Bounds;
    bool HasText = false, WordWrap = false, Multiline = false, Password = false, ReadOnly = false;
    bool HasTextColor = false, HasMaxLength = false, HasFont = false, HasFontClass = false, AutoSize = false;
    bool HasLayout = false, NoSelect = false, Border = false, HTML = false, UseOutlines = false;
    bool WasStatic = false;  // the text was a static one in the authoring tool
    uint16_t FontId = 0;
    uint16_t FontHeight = 0;
    std::string FontClass;
    uint16_t MaxLength = 0;
    uint8_t Align = 0;
    uint16_t LeftMargin = 0, RightMargin = 0, Indent = 0, Leading = 0;
    std::string VariableName;
    std::string InitialText;           // code page, or the file's bytes as read
    std::u16string WideInitialText;    // takes precedence when not empty
    // 0 for a tag read from a file: its strings then pass byte for byte.
    int SWFVersion = 0;

    // Created on first use; sets the has-text-colour flag.
    TSWFRGBA& GetTextColor();

    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    int RequiredVersion() const override;
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) override;
    int32_t CharacterId() const override { return CharacterIdValue; }

private:
    std::unique_ptr<TSWFRGBA> textColor_;
};

class TSWFCSMTextSettings : public TSWFObject {
public:
    TSWFCSMTextSettings() { TagCode = 74; }

    uint16_t TextId = 0;
    uint8_t UseFlashType = 0;  // 0 to 3
    uint8_t GridFit = 0;       // 0 to 7
    float Thickness = 0;
    float Sharpness = 0;

    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    int RequiredVersion() const override { return 8; }
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) override;
};
