#include "movie/fonts.h"

#include <algorithm>

#include "movie/flash_movie.h"
#include "platform/codepage.h"
#include "platform/mathutil.h"
#include "swf/reader.h"

namespace {

constexpr int32_t kEmUnits = 1024;

TPoint FixedPointToInteger(const TFixedPoint& p) { return TPoint{FixedToInteger(p.X), FixedToInteger(p.Y)}; }

int32_t Midpoint(int32_t a, int32_t b) { return static_cast<int32_t>(RoundHalfEven((double(a) + b) / 2 / 65536.0)); }

// The integer part of a 16.16 value, its fraction dropped (toward minus
// infinity, as the signed integer half of the value is).
int32_t IntegerPart(int32_t fixed) { return fixed >> 16; }

std::u32string ToUtf32(const std::u16string& text) { return std::u32string(text.begin(), text.end()); }

// The Unicode character of a code-page byte.
uint16_t CodePageCharacter(uint16_t code) {
    std::u16string text = AnsiToWide(std::string(1, static_cast<char>(code)));
    return text.empty() ? code : text.front();
}

}  // namespace

int32_t FixedToInteger(int32_t fixed) {
    if ((fixed & 0xFFFF) == 0) return fixed >> 16;
    return static_cast<int32_t>(RoundHalfEven(fixed / 65536.0));
}

void GlyphOutlineToEdges(const TGlyphOutline& outline, TFlashEdges& edges) {
    for (const TOutlinePolygon& polygon : outline.Polygons) {
        TPoint start = FixedPointToInteger(polygon.Start);
        edges.MoveTo(start.X, start.Y);
        for (const TOutlineRecord& record : polygon.Records) {
            switch (record.Curve) {
                case TOutlineCurve::Line:
                    for (const TFixedPoint& p : record.Points) edges.LineTo(FixedPointToInteger(p));
                    break;
                case TOutlineCurve::QSpline: {
                    // Between two controls the curve passes through their
                    // midpoint; the last point lies on the curve.
                    TFixedPoint control = record.Points.front();
                    for (size_t i = 1; i < record.Points.size(); ++i) {
                        const TFixedPoint& p = record.Points[i];
                        TPoint anchor = i + 1 < record.Points.size()
                                            ? TPoint{Midpoint(control.X, p.X), Midpoint(control.Y, p.Y)}
                                            : TPoint{IntegerPart(p.X), IntegerPart(p.Y)};
                        TPoint c = FixedPointToInteger(control);
                        edges.CurveTo(c.X, c.Y, anchor.X, anchor.Y);
                        control = p;
                    }
                    break;
                }
                case TOutlineCurve::Cubic:
                    for (size_t i = 0; i + 2 < record.Points.size(); i += 3)
                        edges.MakeCubicBezier(FixedPointToInteger(record.Points[i]),
                                              FixedPointToInteger(record.Points[i + 1]),
                                              FixedPointToInteger(record.Points[i + 2]));
                    break;
            }
        }
        edges.CloseShape();
    }
    // The outline's y axis points up, the glyph's down.
    edges.MakeMirror(false, true);
}

// ---------------------------------------------------------------- TFlashChar

TFlashChar::TFlashChar(uint16_t code, bool wide) : Code(code), IsWide(wide) {
    WideCode = code > 255 || wide ? code : CodePageCharacter(code);
    edges_ = std::make_unique<TFlashEdges>(Records);
}

void TFlashChar::CopyFrom(const TFlashChar& source) {
    Code = source.Code;
    IsWide = source.IsWide;
    OutlineReady = source.OutlineReady;
    if (!OutlineReady) return;
    Advance = source.Advance;
    Kerning.CopyFrom(source.Kerning);
    TSWFShapeRecordList copy;
    CopyShapeRecords(source.Records, copy);
    // After this glyph's own first style-change record.
    if (!copy.empty() && copy.front()->RecordKind == kShapeRecordStyleChange &&
        !static_cast<TSWFStyleChangeRecord&>(*copy.front()).StateMoveTo)
        copy.erase(copy.begin());
    for (auto& record : copy) Records.push_back(std::move(record));
}

// ---------------------------------------------------------------- TFlashFont

TFlashFont::TFlashFont(TFlashMovie* movie) : TFlashIDObject(movie) {}

TFlashFont::~TFlashFont() = default;

std::unique_ptr<TFlashFont> TFlashFont::CreateFont(TFlashMovie* movie, bool asDevice, const std::string& name,
                                                   bool bold, bool italic, uint16_t size) {
    auto font = std::make_unique<TFlashFont>(movie);
    font->AsDevice = asDevice;
    font->Name = name;
    font->Bold = bold;
    font->Italic = italic;
    font->SetSize(size);
    return font;
}

void TFlashFont::SetSize(int32_t value) {
    Size = static_cast<uint16_t>(Owner ? value * Owner->UnitFactor : value);
}

void TFlashFont::SetHasLayout(bool on) {
    if (on && !HasLayout) ReadMetrics();
    HasLayout = on;
}

void TFlashFont::SetLogFont(const TLogFont& logFont) {
    LogFont = logFont;
    Bold = logFont.lfWeight == 700;
    Name = logFont.lfFaceName;
    Italic = logFont.lfItalic != 0;
    SetSize(std::abs(logFont.lfHeight));
    SetCharset(logFont.lfCharSet);
    LogFont.lfHeight = -kEmUnits;
    LogFont.lfWidth = LogFont.lfEscapement = LogFont.lfOrientation = 0;
}

void TFlashFont::SetCharset(uint8_t charset) {
    if (charset == Charset) return;
    switch (charset) {
        case kAnsiCharset:
        case kSymbolCharset:
            LanguageCode = 0;
            EncodingType = kEncodingANSI;
            break;
        case kDefaultCharset:
            LanguageCode = 0;
            EncodingType = kEncodingUnicode;
            break;
        case kShiftJisCharset:
            LanguageCode = 2;
            EncodingType = kEncodingShiftJIS;
            break;
        case kHangulCharset: LanguageCode = 3; break;
        case kGB2312Charset: LanguageCode = 4; break;
        case kChineseBig5Charset: LanguageCode = 5; break;
        default:
            LanguageCode = 64;
            EncodingType = kEncodingUnicode;
            break;
    }
}

void TFlashFont::AddChars(const std::string& text) {
    for (unsigned char c : text) AddChar(c);
}

void TFlashFont::AddWideChars(const std::u16string& text) {
    if (text.empty()) return;
    Wide = true;
    for (char16_t c : text) AddChar(c);
}

bool TFlashFont::AddChar(uint16_t code) {
    if (code >= 256) Wide = true;
    bool added = true;
    if (glyphs_.empty()) {
        glyphs_.push_back(std::make_unique<TFlashChar>(code, Wide));
    } else {
        const uint16_t key = Wide ? code : CodePageCharacter(code);
        size_t at = glyphs_.size();
        for (size_t i = 0; i < glyphs_.size(); ++i) {
            TFlashChar& glyph = *glyphs_[i];
            const uint16_t compared = code >= 128 ? glyph.WideCode : glyph.Code;
            if (compared == key) {
                glyph.Used = true;
                added = false;
                break;
            }
            if (key < compared) {
                at = i;
                break;
            }
        }
        if (added) glyphs_.insert(glyphs_.begin() + static_cast<std::ptrdiff_t>(at), std::make_unique<TFlashChar>(code, Wide));
    }
    if (Wide && Owner && Owner->Version < 6) Owner->SetVersion(6);
    return added;
}

TFlashChar* TFlashFont::FindGlyph(uint16_t code) const {
    for (const auto& glyph : glyphs_)
        if (glyph->Code == code) return glyph.get();
    return nullptr;
}

bool TFlashFont::IsWideCodes() const {
    if (Wide) return true;
    if (AsDevice || glyphs_.empty()) return false;
    return std::any_of(glyphs_.begin(), glyphs_.end(), [](const auto& g) { return g->IsWide; });
}

int32_t TFlashFont::ScaleToSize(int32_t value) const {
    return static_cast<int32_t>(RoundHalfEven(double(value) / kEmUnits * Size));
}

int32_t TFlashFont::GetSizeInUnits() const { return Owner ? Size / Owner->UnitFactor : Size; }

TLogFont TFlashFont::BuildLogFont() const {
    TLogFont logFont;
    logFont.lfCharSet = Charset;
    logFont.lfFaceName = Name;
    logFont.lfHeight = -kEmUnits;
    logFont.lfWeight = Bold ? 700 : 400;
    logFont.lfItalic = Italic;
    logFont.lfQuality = SmallText ? 3 : 4;
    return logFont;
}

const TPlatformFont& TFlashFont::Face() const {
    const TLogFont logFont = LogFont.lfFaceName.empty() ? BuildLogFont() : LogFont;
    const std::string key = logFont.lfFaceName + '\n' + std::to_string(logFont.lfWeight) + '\n' +
                            std::to_string(logFont.lfItalic) + '\n' + std::to_string(logFont.lfCharSet);
    if (!face_ || key != faceKey_) {
        face_ = TPlatformFont::Open(logFont);
        faceKey_ = key;
    }
    return *face_;
}

void TFlashFont::ReadMetrics() {
    TFontMetrics metrics = Face().GetMetrics();
    Ascent = static_cast<int16_t>(metrics.Ascent);
    Descent = static_cast<int16_t>(metrics.Descent);
    Leading = static_cast<int16_t>(metrics.InternalLeading);
}

TSize TFlashFont::GetTextExtent(const std::u16string& text) const {
    TSize size;
    Face().GetTextExtent(ToUtf32(text), size.cx, size.cy);
    return TSize{ScaleToSize(size.cx), ScaleToSize(size.cy)};
}

TSize TFlashFont::GetTextExtentA(const std::string& text) const { return GetTextExtent(AnsiToWide(text)); }

void TFlashFont::ReadGlyph(const TPlatformFont& face, TFlashChar& glyph) {
    glyph.OutlineReady = true;
    TGlyphOutline outline;
    if (face.GetGlyphOutline(glyph.WideCode, outline)) GlyphOutlineToEdges(outline, glyph.Edges());
    glyph.Advance = face.GetAdvance(glyph.WideCode);
}

void TFlashFont::LoadGlyphs() {
    ReadMetrics();
    const TPlatformFont* face = nullptr;
    for (auto& glyph : glyphs_) {
        if (!glyph->Used || glyph->OutlineReady) continue;
        if (!face) face = &Face();
        ReadGlyph(*face, *glyph);
    }
}

bool TFlashFont::WritesGlyphs() const { return (!AsDevice || (UsageFlags & kFontUsedByStaticText)) && !glyphs_.empty(); }

std::vector<TFlashChar*> TFlashFont::WrittenGlyphs() const {
    std::vector<TFlashChar*> written;
    if (!WritesGlyphs()) return written;
    for (const auto& glyph : glyphs_)
        if (glyph->Used) written.push_back(glyph.get());
    const bool wideCodes = EncodingType == kEncodingUnicode || IsWideCodes();
    if (!wideCodes)
        std::stable_sort(written.begin(), written.end(),
                         [](const TFlashChar* a, const TFlashChar* b) { return (a->Code & 0xFF) < (b->Code & 0xFF); });
    return written;
}

int32_t TFlashFont::WrittenGlyphIndex(const TFlashChar* glyph) const {
    std::vector<TFlashChar*> written = WrittenGlyphs();
    auto found = std::find(written.begin(), written.end(), glyph);
    return found == written.end() ? -1 : static_cast<int32_t>(found - written.begin());
}

std::unique_ptr<TSWFDefineFont2> TFlashFont::MakeTag() {
    auto tag = std::make_unique<TSWFDefineFont2>();
    tag->SWFVersion = Owner ? Owner->Version : 6;
    tag->FontId = GetCharacterId();
    const bool layout = HasLayout || (UsageFlags & kFontUsedByEditText);
    tag->FontFlagsHasLayout = layout;
    tag->FontFlagsShiftJIS = EncodingType == kEncodingShiftJIS;
    tag->FontFlagsSmallText = SmallText;
    tag->FontFlagsANSI = EncodingType == kEncodingANSI;
    tag->FontFlagsWideOffsets = false;
    tag->FontFlagsWideCodes = EncodingType == kEncodingUnicode || IsWideCodes();
    tag->FontFlagsItalic = Italic;
    tag->FontFlagsBold = Bold;
    tag->LanguageCode = LanguageCode;
    tag->FontName = Name;
    if ((layout || !glyphs_.empty()) && Ascent == 0 && Descent == 0 && Leading == 0) ReadMetrics();
    if (layout) {
        tag->FontAscent = Ascent;
        tag->FontDescent = Descent;
        tag->FontLeading = Leading;
    }
    if (!WritesGlyphs()) return tag;
    LoadGlyphs();
    std::vector<TFlashChar*> written = WrittenGlyphs();
    for (TFlashChar* glyph : written) {
        CopyShapeRecords(glyph->Records, tag->AddGlyph());
        tag->CodeTable.push_back(tag->FontFlagsWideCodes ? glyph->WideCode : glyph->Code);
        if (layout) {
            // The glyph's control box, where a layout of empty boxes would
            // tell a player nothing.
            TRect box = glyph->Edges().GetBoundsRect();
            TSWFRect bounds;
            bounds.SetRect(box);
            tag->FontBoundsTable.push_back(bounds);
            tag->FontAdvanceTable.push_back(static_cast<int16_t>(std::clamp<int32_t>(glyph->Advance, -32768, 32767)));
        }
    }
    if (layout && HasKerning) {
        // Pairs kept with glyphs taken from an SWF file, else those of the
        // installed face between the glyphs written.
        for (TFlashChar* glyph : written)
            if (glyph->Kerning.Adjustment != 0) tag->GetKerningTable().push_back(glyph->Kerning);
        if (tag->GetKerningTable().empty() && !fromSWF_) {
            std::u32string characters;
            for (TFlashChar* glyph : written) characters += static_cast<char32_t>(glyph->WideCode);
            for (const TKerningPair& pair : Face().GetKerningPairs(characters)) {
                auto codeOf = [&](char32_t c) -> uint16_t {
                    for (TFlashChar* glyph : written)
                        if (glyph->WideCode == c) return tag->FontFlagsWideCodes ? glyph->WideCode : glyph->Code;
                    return 0;
                };
                tag->GetKerningTable().push_back(
                    TSWFKerningRecord{codeOf(pair.First), codeOf(pair.Second), pair.Adjustment});
            }
        }
    }
    return tag;
}

void TFlashFont::WriteTag(TBitsEngine& be) { MakeTag()->WriteTag(be); }

// ---------------------------------------------------------------- fonts from SWF files

void TFlashFont::LoadFromDefineFont2(const TSWFDefineFont2& tag) {
    SetHasLayout(tag.FontFlagsHasLayout);
    if (tag.FontFlagsShiftJIS) EncodingType = kEncodingShiftJIS;
    SmallText = tag.FontFlagsSmallText;
    if (tag.FontFlagsANSI) EncodingType = kEncodingANSI;
    if (tag.FontFlagsWideCodes) EncodingType = kEncodingUnicode;
    Italic = tag.FontFlagsItalic;
    Bold = tag.FontFlagsBold;
    LanguageCode = tag.LanguageCode;
    fromSWF_ = true;
    // Some producers count a terminator in the name.
    Name = tag.FontName.substr(0, tag.FontName.find('\0'));
    if (tag.FontFlagsHasLayout) {
        Ascent = tag.FontAscent;
        Descent = tag.FontDescent;
        Leading = tag.FontLeading;
    }
    for (size_t i = 0; i < tag.CodeTable.size() && i < tag.GlyphShapeTable.size(); ++i) {
        AddChar(tag.CodeTable[i]);
        TFlashChar* glyph = FindGlyph(tag.CodeTable[i]);
        if (!glyph || glyph->OutlineReady) continue;
        TSWFShapeRecordList copy;
        CopyShapeRecords(*tag.GlyphShapeTable[i], copy);
        for (auto& record : copy) glyph->Records.push_back(std::move(record));
        glyph->Used = false;
        glyph->OutlineReady = true;
        if (tag.FontFlagsHasLayout && i < tag.FontAdvanceTable.size()) glyph->Advance = tag.FontAdvanceTable[i];
        if (HasKerning && i < tag.GetKerningTable().size()) glyph->Kerning.CopyFrom(tag.GetKerningTable()[i]);
    }
}

void TFlashFont::LoadFromSWFFile(const std::string& fileName) {
    TFileStream file(fileName, TFileMode::OpenRead);
    LoadFromSWFStream(file);
}

void TFlashFont::LoadFromSWFStream(TStream& stream) {
    const int64_t start = stream.GetPosition();
    char lead[3] = {};
    const int64_t got = stream.Read(lead, 3);
    stream.SetPosition(start);
    const bool swf = got == 3 && (lead[0] == 'F' || lead[0] == 'C') && lead[1] == 'W' && lead[2] == 'S';
    if (!swf) {
        TSWFDefineFont2 tag;
        tag.SWFVersion = Owner ? Owner->Version : 6;
        TBoundedStream view(stream, start, stream.GetSize() - start);
        TBitsEngine be(view);
        tag.BodySize = static_cast<int32_t>(view.GetSize());
        tag.ReadBody(be);
        LoadFromDefineFont2(tag);
        return;
    }
    TSWFStreamReader reader;
    reader.LoadFromStream(stream);
    reader.ParseTags(true, false);
    for (const auto& info : reader.Tags) {
        auto* tag = dynamic_cast<const TSWFDefineFont2*>(info->Object);
        if (!tag || tag->TagCode != 48) continue;
        const std::string name = tag->FontName.substr(0, tag->FontName.find('\0'));
        if (Name.empty() || (name == Name && tag->FontFlagsItalic == Italic && tag->FontFlagsBold == Bold)) {
            LoadFromDefineFont2(*tag);
            return;
        }
    }
}

// ---------------------------------------------------------------- copies and XML

void TFlashFont::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto* other = &CopySourceAs<TFlashFont>(source, "a font");
    TFlashIDObject::CopyFieldsFrom(source);
    Name = other->Name;
    Size = other->Size;
    Bold = other->Bold;
    Italic = other->Italic;
    AsDevice = other->AsDevice;
    SmallText = other->SmallText;
    EncodingType = other->EncodingType;
    LanguageCode = other->LanguageCode;
    SetCharset(other->Charset);
    SetHasLayout(other->HasLayout);
    HasKerning = other->HasKerning;
    Ascent = other->Ascent;
    Descent = other->Descent;
    Leading = other->Leading;
    UsageFlags = other->UsageFlags;
    glyphs_.clear();
    for (const auto& glyph : other->glyphs_) {
        glyphs_.push_back(std::make_unique<TFlashChar>(glyph->Code, other->Wide));
        glyphs_.back()->CopyFrom(*glyph);
    }
}

void TFlashFont::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) {
    TFlashIDObject::LoadFromXml(node, settings);
    if (node.AttrBoolDef("SWFFormat", false)) {
        TSWFDefineFont2 tag;
        tag.SWFVersion = Owner ? Owner->Version : 6;
        tag.LoadFromXml(node, settings);
        LoadFromDefineFont2(tag);
        return;
    }
    AsDevice = node.AttrBoolDef("Device", true);
    Name = node.AttrStrDef("Name", "Arial");
    SetSize(static_cast<int32_t>(node.AttrIntDef("Size", 12)));
    Bold = node.AttrBoolDef("Bold", false);
    Italic = node.AttrBoolDef("Italic", false);
    LanguageCode = static_cast<uint8_t>(node.AttrIntDef("LanguageCode", 1));
    const std::string encoding = node.AttrStrDef("EncodingType", "Unicode");
    if (AnsiSameText(encoding, "ANSI")) EncodingType = kEncodingANSI;
    else if (AnsiSameText(encoding, "ShiftJIS")) EncodingType = kEncodingShiftJIS;
    else EncodingType = kEncodingUnicode;
    if (node.HasAttribute("File")) LoadFromSWFFile(settings.GetFullFileName(kDataKindFont, node.AttrStr("File")));
}

TFlashFont* FindFont(const TFlashObjectList<TFlashFont>& fonts, const TFontDescription& font, bool compareSize) {
    for (TFlashFont* item : fonts)
        if (item->Name == font.Name && item->Bold == font.Bold && item->Italic == font.Italic &&
            (!compareSize || item->GetSizeInUnits() == font.Size))
            return item;
    return nullptr;
}
