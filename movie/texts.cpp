#include "movie/texts.h"

#include <algorithm>
#include <map>

#include "movie/flash_movie.h"
#include "movie/fonts.h"
#include "platform/codepage.h"
#include "platform/mathutil.h"
#include "swf/names.h"
#include "swf/xml_form.h"

namespace {

const char* const kAlignNames[] = {"Left", "Right", "Center", "Justify"};

int32_t Rnd(double x) { return static_cast<int32_t>(RoundHalfEven(x)); }

}  // namespace

TFlashText::TFlashText(TFlashMovie* movie, const std::string& text) : TFlashVisualObject(movie) { SetText(text); }

TFlashText::~TFlashText() = default;

std::unique_ptr<TFlashText> TFlashText::CreateAtPoint(TFlashMovie* movie, const std::u16string& text,
                                                      TSWFRGBAValue color, TFlashFont* font, const TPoint& point,
                                                      uint8_t align) {
    auto made = std::make_unique<TFlashText>(movie);
    made->SetFont(font);
    made->SetWideText(text);
    made->GetColor().SetRGBA(color);
    made->X = point.X * made->GetUnitFactor();
    made->Y = point.Y * made->GetUnitFactor();
    made->SetAlign(align);
    made->AutoSize = true;
    made->AtPoint = true;
    if (font) {
        made->TextHeight = font->Size;
        made->UseOutlines = !font->AsDevice;
    }
    return made;
}

std::unique_ptr<TFlashText> TFlashText::CreateInRect(TFlashMovie* movie, const std::u16string& text,
                                                     TSWFRGBAValue color, TFlashFont* font, const TRect& rect) {
    auto made = std::make_unique<TFlashText>(movie);
    made->SetFont(font);
    made->SetWideText(text);
    made->GetColor().SetRGBA(color);
    made->SetBounds(rect);
    made->X = rect.Left;
    made->Y = rect.Top;
    made->AutoSize = true;
    made->AtPoint = false;
    if (font) {
        made->TextHeight = font->Size;
        made->UseOutlines = !font->AsDevice;
    }
    return made;
}

// ---------------------------------------------------------------- setters

void TFlashText::SetText(const std::string& text) {
    if (text == Text) return;
    if (Font) Font->AddChars(text);
    Text = text;
}

void TFlashText::SetWideText(const std::u16string& text) {
    if (text == WideText) return;
    if (Font) Font->AddCharsW(text);
    WideText = text;
    Text = WideToAnsi(text);
}

void TFlashText::SetFont(TFlashFont* font) {
    Font = font;
    if (Font) Font->UsageFlags |= Dynamic ? kFontUsedByEditText : kFontUsedByStaticText;
}

void TFlashText::SetDynamic(bool on) {
    if (on) ReadOnly = NoSelect = false;
    Dynamic = on;
}

void TFlashText::SetHTML(bool on) {
    if (on) Dynamic = true;
    HTML = on;
}

void TFlashText::SetAlign(uint8_t align) {
    SetHasLayout(true);
    Align = align;
}

void TFlashText::SetHasLayout(bool on) {
    if (Font) Font->SetHasLayout(on);
    HasLayout = on;
}

void TFlashText::SetIndent(int32_t value) {
    SetHasLayout(true);
    Indent = value * GetUnitFactor();
}

void TFlashText::SetLeading(int32_t value) {
    SetHasLayout(true);
    Leading = value * GetUnitFactor();
}

void TFlashText::SetLeftMargin(int32_t value) {
    SetHasLayout(true);
    LeftMargin = value * GetUnitFactor();
}

void TFlashText::SetRightMargin(int32_t value) {
    SetHasLayout(true);
    RightMargin = value * GetUnitFactor();
}

void TFlashText::SetCharSpacing(int32_t value) { CharSpacing = value * GetUnitFactor(); }

void TFlashText::SetTextHeight(int32_t value) { TextHeight = static_cast<uint16_t>(value * GetUnitFactor()); }

void TFlashText::SetMaxLength(int32_t value) {
    HasMaxLength = true;
    MaxLength = value;
}

void TFlashText::SetBounds(const TRect& rect) {
    const int32_t factor = GetUnitFactor();
    Bounds.SetRect(TRect{rect.Left * factor, rect.Top * factor, rect.Right * factor, rect.Bottom * factor});
}

void TFlashText::SetUseOutlines(bool on) {
    UseOutlines = on;
    if (Font) Font->AsDevice = false;
}

TSWFRGBA& TFlashText::GetColor() {
    HasColor = true;
    return color_;
}

TSWFMatrix& TFlashText::GetMatrix() {
    if (!matrix_) matrix_ = std::make_unique<TSWFMatrix>();
    return *matrix_;
}

// ---------------------------------------------------------------- copies

void TFlashText::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto* other = &CopySourceAs<TFlashText>(source, "a text");
    TFlashIDObject::CopyFieldsFrom(source);
    Align = other->Align;
    AutoSize = other->AutoSize;
    Border = other->Border;
    Bounds.CopyFrom(other->Bounds);
    Dynamic = other->Dynamic;
    if (other->Owner == Owner) Font = other->Font;
    if (other->HasLayout) {
        HasLayout = true;
        Indent = other->Indent;
        Leading = other->Leading;
        LeftMargin = other->LeftMargin;
        RightMargin = other->RightMargin;
    }
    HTML = other->HTML;
    if (other->matrix_) GetMatrix().CopyFrom(*other->matrix_);
    Multiline = other->Multiline;
    NoSelect = other->NoSelect;
    Password = other->Password;
    X = other->X;
    Y = other->Y;
    ReadOnly = other->ReadOnly;
    SetText(other->Text);
    WideText = other->WideText;
    TextHeight = other->TextHeight;
    UseOutlines = other->UseOutlines;
    VariableName = other->VariableName;
    WordWrap = other->WordWrap;
    AtPoint = other->AtPoint;
    CharSpacing = other->CharSpacing;
    if (other->HasColor) GetColor().CopyFrom(other->color_);
    if (other->HasMaxLength) SetMaxLength(other->MaxLength);
}

// ---------------------------------------------------------------- writing

std::unique_ptr<TSWFDefineText> TFlashText::MakeStaticTag() {
    const bool wide = !WideText.empty();
    if (!wide && Text.empty()) return nullptr;
    if (!Font) throw EConvertError("A text needs a font to be written");
    std::unique_ptr<TSWFDefineText> tag =
        color_.A == 255 ? std::make_unique<TSWFDefineText>() : std::make_unique<TSWFDefineText2>();
    Font->LoadGlyphs();
    tag->CharacterIdValue = GetCharacterId();

    TRect r;
    if (AtPoint) {
        TSize extent;
        if (wide) {
            extent = Font->GetTextExtent(WideText);
        } else {
            extent = Font->GetTextExtentA(Text);
            const double scale = Font->Size ? double(TextHeight) / Font->Size : 1.0;
            extent = TSize{Rnd(extent.cx * scale), Rnd(extent.cy * scale)};
        }
        r = TRect{X, Y, X + extent.cx, Y + extent.cy};
        int32_t shift = 0;
        if (Align == 1) shift = extent.cx;
        else if (Align == 2 || Align == 3) shift = extent.cx / 2;
        r.Left -= shift;
        r.Right -= shift;
    } else {
        r = Bounds.GetRect();
    }
    tag->TextBounds.SetRect(r);
    if (matrix_) tag->TextMatrix.CopyFrom(*matrix_);

    // Glyph indexes are positions in the font's tag as the font writes it.
    std::map<const TFlashChar*, int32_t> indexes;
    for (const auto& glyph : Font->GetGlyphList()) indexes[glyph.get()] = Font->WrittenGlyphIndex(glyph.get());

    TSWFTextRecord* record = &tag->AddTextRecord();
    record->SetFontId(Font->GetCharacterId());
    record->GetTextColor().CopyFrom(color_);
    record->SetTextHeight(TextHeight);
    record->SetYOffset(r.Top + Rnd(Font->Ascent / 1024.0 * TextHeight));
    if (r.Left != 0) record->SetXOffset(r.Left);
    int32_t pen = r.Left;
    const size_t count = wide ? WideText.size() : Text.size();
    for (size_t i = 0; i < count; ++i) {
        const uint16_t code = wide ? WideText[i] : static_cast<uint8_t>(Text[i]);
        const TFlashChar* glyph = Font->FindGlyph(code);
        if (!glyph) continue;
        const int32_t index = indexes[glyph];
        if (index < 0) continue;
        // A record counts its glyphs in one byte: a longer line goes on in
        // a new record that starts where the pen is.
        if (record->GlyphEntries.size() == TSWFTextRecord::kMaxGlyphs) {
            record = &tag->AddTextRecord();
            record->SetXOffset(pen);
        }
        const int32_t advance = Rnd(glyph->Advance / 1024.0 * TextHeight) + CharSpacing;
        record->GlyphEntries.push_back(TSWFGlyphEntry{static_cast<uint16_t>(index), advance});
        pen += advance;
    }
    tag->ComputeBitCounts();
    return tag;
}

std::unique_ptr<TSWFDefineEditText> TFlashText::MakeEditTag() {
    auto tag = std::make_unique<TSWFDefineEditText>();
    tag->SWFVersion = Owner ? Owner->Version : 6;
    tag->CharacterIdValue = GetCharacterId();
    if (AtPoint) tag->Bounds.SetRect(TRect{X, Y, X, Y});
    else tag->Bounds.CopyFrom(Bounds);
    tag->AutoSize = AutoSize;
    tag->Border = Border;
    tag->HTML = HTML;
    tag->Multiline = Multiline;
    tag->NoSelect = NoSelect;
    tag->Password = Password;
    tag->ReadOnly = ReadOnly;
    tag->WordWrap = WordWrap;
    tag->UseOutlines = UseOutlines || (Font && !Font->AsDevice);
    if (Font) {
        tag->HasFont = true;
        tag->FontId = Font->GetCharacterId();
        tag->FontHeight = TextHeight;
    }
    if (HasColor) tag->GetTextColor().CopyFrom(color_);
    if (HasMaxLength) {
        tag->HasMaxLength = true;
        tag->MaxLength = static_cast<uint16_t>(MaxLength);
    }
    if (HasLayout) {
        tag->HasLayout = true;
        tag->Align = Align;
        tag->LeftMargin = static_cast<uint16_t>(LeftMargin);
        tag->RightMargin = static_cast<uint16_t>(RightMargin);
        tag->Indent = static_cast<uint16_t>(Indent);
        tag->Leading = static_cast<uint16_t>(Leading);
    }
    tag->VariableName = VariableName;
    std::string open, close;
    if (HTML && Font) {
        open = "<font face=\"" + Font->Name + "\">";
        if (Font->Bold) open += "<b>";
        if (Font->Italic) open += "<i>";
        if (Font->Italic) close += "</i>";
        if (Font->Bold) close += "</b>";
        close += "</font>";
    }
    if (Font && Font->IsWideCodes()) {
        if (!WideText.empty()) {
            tag->WideInitialText = AnsiToWide(open) + WideText + AnsiToWide(close);
            tag->HasText = true;
        }
    } else if (!Text.empty()) {
        tag->InitialText = open + Text + close;
        tag->HasText = true;
    }
    return tag;
}

std::unique_ptr<TSWFObject> TFlashText::MakeTag() {
    if (Dynamic) return MakeEditTag();
    return MakeStaticTag();
}

void TFlashText::WriteTag(TBitsEngine& be) {
    if (std::unique_ptr<TSWFObject> tag = MakeTag()) tag->WriteTag(be);
}

// ---------------------------------------------------------------- XML

void TFlashText::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) {
    TFlashIDObject::LoadFromXml(node, settings);
    SetDynamic(node.AttrBoolDef("Dynamic", true));
    int align = 0;
    if (node.HasAttribute("Align")) align = std::max(0, IndexOfPCharText(node.AttrStr("Align"), kAlignNames, 4));
    SetAlign(static_cast<uint8_t>(align));
    const int32_t factor = GetUnitFactor();
    if (node.HasAttribute("XMax")) {
        TRect r{static_cast<int32_t>(node.AttrIntDef("XMin", 0)), static_cast<int32_t>(node.AttrIntDef("YMin", 0)),
                static_cast<int32_t>(node.AttrInt("XMax")), static_cast<int32_t>(node.AttrInt("YMax"))};
        SetBounds(r);
        X = Bounds.Xmin;
        Y = Bounds.Ymin;
        AutoSize = node.AttrBoolDef("AutoSize", false);
        AtPoint = false;
    } else {
        X = static_cast<int32_t>(node.AttrIntDef("XMin", 0)) * factor;
        Y = static_cast<int32_t>(node.AttrIntDef("YMin", 0)) * factor;
        AutoSize = node.AttrBoolDef("AutoSize", true);
        AtPoint = true;
    }
    Border = node.AttrBoolDef("Border", false);
    if (node.HasAttribute("Color")) GetColor().SetRGBA(ReadRGBAAttr(node, "Color"));
    SetCharSpacing(static_cast<int32_t>(node.AttrIntDef("CharSpacing", 0)));
    SetHTML(node.AttrBoolDef("HTML", false));
    SetIndent(static_cast<int32_t>(node.AttrIntDef("Indent", 0)));
    SetLeading(static_cast<int32_t>(node.AttrIntDef("Leading", 0)));
    SetLeftMargin(static_cast<int32_t>(node.AttrIntDef("LeftMargin", 0)));
    SetRightMargin(static_cast<int32_t>(node.AttrIntDef("RightMargin", 0)));
    if (node.HasAttribute("MaxLength")) SetMaxLength(static_cast<int32_t>(node.AttrInt("MaxLength")));
    Multiline = node.AttrBoolDef("Multiline", false);
    NoSelect = node.AttrBoolDef("NoSelect", false);
    Password = node.AttrBoolDef("Password", false);
    ReadOnly = node.AttrBoolDef("ReadOnly", false);
    WordWrap = node.AttrBoolDef("WordWrap", false);
    if (node.HasAttribute("Variable")) VariableName = node.AttrStr("Variable");
    if (TXmlNode matrix = node.ChildNode("Matrix")) GetMatrix().SetRec(ReadMatrixNode(settings, node, "Matrix"));

    TFlashFont* font = nullptr;
    if (Owner) {
        if (node.HasAttribute("FontIDStr")) {
            int32_t id = Owner->FindCharacterId(node.AttrStr("FontIDStr"));
            if (id >= 0) font = Owner->GetFonts().FindById(static_cast<uint16_t>(id));
        } else if (node.HasAttribute("FontID")) {
            font = Owner->GetFonts().FindById(static_cast<uint16_t>(node.AttrInt("FontID")));
        } else if (TXmlNode child = node.ChildNode("Font")) {
            Owner->AddFont()->LoadFromXml(child, settings);
            font = Owner->GetFonts().Last();
        }
    }
    if (font) SetFont(font);
    SetUseOutlines(node.AttrBoolDef("UseOutlines", true));
    SetTextHeight(static_cast<int32_t>(node.AttrIntDef("Height", font ? font->GetSizeInUnits() : 12)));
    if (TXmlNode value = node.ChildNode("Value")) {
        std::vector<TXmlNode> children = value.ChildNodes();
        if (children.size() == 1 && children[0].NodeType() == TXmlNodeType::CData) {
            SetWideText(Utf8ToWide(children[0].Raw().value()));
        } else {
            SetWideText(Utf8ToWide(value.Raw().text().get()));
            if (value.NodeType() == TXmlNodeType::Element) SetText(value.Text());
        }
    }
    if (Owner && node.HasAttribute("Depth")) Owner->PlaceObject(this, static_cast<uint16_t>(node.AttrInt("Depth")));
}
