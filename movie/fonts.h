// Fonts of the movie builder: a face name, size and style, the characters
// the movie's texts use, and one DefineFont2 whose glyphs are the outlines of
// an installed font (read through the platform's font layer in a 1024-unit em
// square) or the glyphs of a DefineFont2 taken from an SWF file. A font also
// measures text; without a movie it is a plain measuring object.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "movie/edges.h"
#include "movie/flash_object.h"
#include "platform/fonts.h"
#include "swf/font_tags.h"

class TStream;

enum : uint8_t { kEncodingANSI = 0, kEncodingShiftJIS = 1, kEncodingUnicode = 2 };
enum : uint8_t { kFontUsedByStaticText = 1, kFontUsedByEditText = 2 };

// One glyph of a font.
class TFlashChar {
public:
    TFlashChar(uint16_t code, bool wide);
    TFlashChar(const TFlashChar&) = delete;
    TFlashChar& operator=(const TFlashChar&) = delete;

    uint16_t Code;
    bool IsWide;
    // The character's Unicode value: the code itself when above 255 or wide,
    // else the character of that byte in the system code page.
    uint16_t WideCode;
    bool Used = true;
    bool OutlineReady = false;
    int32_t Advance = 0;  // em units
    TSWFKerningRecord Kerning;
    TSWFShapeRecordList Records;

    TFlashEdges& Edges() { return *edges_; }
    // Code, wide flag and OutlineReady; with an outline also the advance,
    // the kerning values and a copy of the records after the first
    // style-change record.
    void CopyFrom(const TFlashChar& source);

private:
    std::unique_ptr<TFlashEdges> edges_;
};

// What the toolkit's font object tells a font look-up.
struct TFontDescription {
    std::string Name;
    bool Bold = false;
    bool Italic = false;
    int32_t Size = 0;  // movie units
};

class TFlashFont : public TFlashIDObject {
public:
    explicit TFlashFont(TFlashMovie* movie = nullptr);
    static std::unique_ptr<TFlashFont> CreateFont(TFlashMovie* movie, bool asDevice, const std::string& name,
                                                  bool bold, bool italic, uint16_t size);
    ~TFlashFont() override;

    std::string Name;
    uint16_t Size = 0;  // twips
    bool Bold = false, Italic = false;
    bool AsDevice = true;
    bool SmallText = false;
    uint8_t EncodingType = kEncodingANSI;
    uint8_t LanguageCode = 0;
    uint8_t Charset = 0;
    TLogFont LogFont;
    bool HasLayout = false;
    bool HasKerning = false;
    int16_t Ascent = 0, Descent = 0, Leading = 0;  // em units
    uint8_t UsageFlags = 0;
    bool Wide = false;

    void SetSize(int32_t value);
    void SetHasLayout(bool on);
    void SetLogFont(const TLogFont& logFont);
    void SetCharset(uint8_t charset);

    void AddChars(const std::string& text);
    void AddWideChars(const std::u16string& text);
    void AddCharsW(const std::u16string& text) { AddWideChars(text); }
    bool AddChar(uint16_t code);
    TFlashChar* FindGlyph(uint16_t code) const;
    TFlashChar* GetGlyph(size_t index) const { return glyphs_.at(index).get(); }
    const std::vector<std::unique_ptr<TFlashChar>>& GetGlyphList() const { return glyphs_; }
    // The glyph's index in the tag as WriteTag writes it (-1 when it is not
    // written).
    int32_t WrittenGlyphIndex(const TFlashChar* glyph) const;

    // Width and height in twips, scaled to the font's size.
    TSize GetTextExtent(const std::u16string& text) const;
    TSize GetTextExtentA(const std::string& text) const;
    int32_t ScaleToSize(int32_t value) const;
    int32_t GetSizeInUnits() const;
    bool IsWideCodes() const;

    void LoadGlyphs();
    void ReadMetrics();
    void LoadFromDefineFont2(const TSWFDefineFont2& tag);
    void LoadFromSWFFile(const std::string& fileName);
    void LoadFromSWFStream(TStream& stream);

    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    int RequiredVersion() const override { return 3; }
    void WriteTag(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;
    bool IsMovableResource() const override { return true; }

    // The DefineFont2 that WriteTag writes.
    std::unique_ptr<TSWFDefineFont2> MakeTag();

private:
    std::vector<std::unique_ptr<TFlashChar>> glyphs_;
    // The face every platform call uses, opened on first need.
    mutable std::unique_ptr<TPlatformFont> face_;
    mutable std::string faceKey_;
    bool fromSWF_ = false;  // glyphs taken from an SWF file

    TLogFont BuildLogFont() const;
    const TPlatformFont& Face() const;
    void ReadGlyph(const TPlatformFont& face, TFlashChar& glyph);
    // Glyphs in the order the tag lists them.
    std::vector<TFlashChar*> WrittenGlyphs() const;
    bool WritesGlyphs() const;
};

// The first font of the list with the face name (exact), bold and italic
// flags, and with compareSize the size in movie units, of the description.
TFlashFont* FindFont(const TFlashObjectList<TFlashFont>& fonts, const TFontDescription& font, bool compareSize);

// A 16.16 value rounded to an integer, halves to even.
int32_t FixedToInteger(int32_t fixed);
// Turns a glyph outline (em units, y up) into edges (y down).
void GlyphOutlineToEdges(const TGlyphOutline& outline, TFlashEdges& edges);
