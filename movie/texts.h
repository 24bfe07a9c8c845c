// Texts of the movie builder: a static text becomes a DefineText (or
// DefineText2 when its colour is translucent) of one line of glyphs laid out
// with the advances of an embedded font; a dynamic text becomes a
// DefineEditText with its flags, layout, variable and initial text,
// optionally wrapped in HTML font tags. A text stands at a point (its bounds
// follow from the measured text and the alignment) or in a rectangle.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "movie/flash_object.h"
#include "swf/text_tags.h"
#include "swf/value_records.h"

class TFlashFont;

class TFlashText : public TFlashVisualObject {
public:
    explicit TFlashText(TFlashMovie* movie = nullptr, const std::string& text = "");
    static std::unique_ptr<TFlashText> CreateAtPoint(TFlashMovie* movie, const std::u16string& text,
                                                     TSWFRGBAValue color, TFlashFont* font, const TPoint& point,
                                                     uint8_t align);
    static std::unique_ptr<TFlashText> CreateInRect(TFlashMovie* movie, const std::u16string& text,
                                                    TSWFRGBAValue color, TFlashFont* font, const TRect& rect);
    ~TFlashText() override;

    std::string Text;
    std::u16string WideText;
    TFlashFont* Font = nullptr;  // borrowed
    uint16_t TextHeight = 0;     // twips
    bool HasColor = false;
    TSWFRect Bounds;             // twips
    int32_t X = 0, Y = 0;        // twips
    bool AtPoint = false;
    bool Dynamic = false;
    uint8_t Align = 0;
    int32_t CharSpacing = 0;     // twips
    bool HasLayout = false;
    int32_t Indent = 0, Leading = 0, LeftMargin = 0, RightMargin = 0;  // twips
    bool AutoSize = false, Border = false, HTML = false, Multiline = false, NoSelect = false;
    bool Password = false, ReadOnly = false, WordWrap = false, UseOutlines = false;
    bool HasMaxLength = false;
    int32_t MaxLength = 0;
    std::string VariableName;

    void SetText(const std::string& text);
    void SetWideText(const std::u16string& text);
    void SetFont(TFlashFont* font);
    void SetDynamic(bool on);
    void SetHTML(bool on);
    void SetAlign(uint8_t align);
    void SetHasLayout(bool on);
    void SetIndent(int32_t value);
    void SetLeading(int32_t value);
    void SetLeftMargin(int32_t value);
    void SetRightMargin(int32_t value);
    void SetCharSpacing(int32_t value);
    void SetTextHeight(int32_t value);
    void SetMaxLength(int32_t value);
    void SetBounds(const TRect& rect);  // window order, movie units
    void SetUseOutlines(bool on);

    TSWFRGBA& GetColor();
    TSWFMatrix& GetMatrix();
    bool HasMatrix() const { return matrix_ != nullptr; }
    bool IsDynamic() const { return Dynamic; }
    int32_t GetIndent() const { return Indent / GetUnitFactor(); }
    int32_t GetLeading() const { return Leading / GetUnitFactor(); }
    int32_t GetLeftMargin() const { return LeftMargin / GetUnitFactor(); }
    int32_t GetRightMargin() const { return RightMargin / GetUnitFactor(); }
    int32_t GetTextHeight() const { return TextHeight / GetUnitFactor(); }

    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    int RequiredVersion() const override { return Dynamic ? 4 : 3; }
    void WriteTag(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;

    // The tag WriteTag writes: DefineText, DefineText2 or DefineEditText;
    // none for a static text without text.
    std::unique_ptr<TSWFObject> MakeTag();

private:
    TSWFRGBA color_;
    std::unique_ptr<TSWFMatrix> matrix_;

    std::unique_ptr<TSWFDefineText> MakeStaticTag();
    std::unique_ptr<TSWFDefineEditText> MakeEditTag();
};
