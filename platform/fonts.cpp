#include "platform/fonts.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <tuple>

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

#include "platform/errors.h"
#include "platform/mathutil.h"

namespace {

constexpr int kEm = 1024;
// Where Wine installs its Windows-compatible faces (Tahoma among them).
constexpr const char* kWineFontFolder = "/usr/share/wine/fonts";

// FreeType and fontconfig are set up once for the process; every call that
// touches either goes through this lock, as neither library's objects may be
// used from two threads at once.
std::mutex& FontLock() {
    static std::mutex lock;
    return lock;
}

FT_Library Library() {
    static FT_Library library = [] {
        FT_Library made = nullptr;
        if (FT_Init_FreeType(&made) != 0) throw EConvertError("The font engine cannot be started");
        return made;
    }();
    return library;
}

FcConfig* FontConfig() {
    static FcConfig* config = [] {
        // The process's current configuration, shared with a toolkit that
        // loaded it already (loading it again would read every file of it
        // once more).
        FcConfig* made = FcConfigReference(nullptr);
        if (!made) throw EConvertError("The font configuration cannot be loaded");
        std::error_code error;
        if (std::filesystem::is_directory(kWineFontFolder, error))
            FcConfigAppFontAddDir(made, reinterpret_cast<const FcChar8*>(kWineFontFolder));
        // Fontconfig keeps caches of its own beside the configuration: both
        // go at exit, so that nothing of it outlives the process's last use.
        std::atexit([] {
            std::lock_guard<std::mutex> guard(FontLock());
            FcConfigDestroy(config);
            FcFini();
        });
        return made;
    }();
    return config;
}

const char* CharsetLanguage(uint8_t charset) {
    switch (charset) {
        case kShiftJisCharset: return "ja";
        case kHangulCharset: return "ko";
        case kGB2312Charset: return "zh-cn";
        case kChineseBig5Charset: return "zh-tw";
        default: return nullptr;
    }
}

int32_t Scaled(FT_Long fontUnits, FT_UShort unitsPerEm) {
    return static_cast<int32_t>(RoundHalfEven(double(fontUnits) * kEm / unitsPerEm));
}

// 26.6 outline coordinates at an em of 1024 pixels, as 16.16 em units.
TFixedPoint Fixed(const FT_Vector& v) {
    return TFixedPoint{static_cast<int32_t>(v.x * 1024), static_cast<int32_t>(v.y * 1024)};
}

}  // namespace

struct TPlatformFont::TFace {
    FT_Face Face = nullptr;
    bool SynthBold = false;
    bool SynthItalic = false;
    ~TFace() {
        if (Face) FT_Done_Face(Face);
    }
};

// Faces matched to requests so far (file and index); new faces void it.
using TMatchKey = std::tuple<std::string, bool, bool, uint8_t>;
static std::map<TMatchKey, std::pair<std::string, int>>& MatchedFaces() {
    static std::map<TMatchKey, std::pair<std::string, int>> matched;
    return matched;
}

bool AddFontFolder(const std::string& folder) {
    std::lock_guard<std::mutex> guard(FontLock());
    MatchedFaces().clear();
    return FcConfigAppFontAddDir(FontConfig(), reinterpret_cast<const FcChar8*>(folder.c_str())) == FcTrue;
}

std::unique_ptr<TPlatformFont> TPlatformFont::OpenFile(const std::string& fileName, int index) {
    std::unique_ptr<TPlatformFont> font(new TPlatformFont());
    font->face_ = std::make_unique<TFace>();
    // Taken after the font is made: a face refused below is freed, under
    // the same lock, only once the guard has let go of it.
    std::lock_guard<std::mutex> guard(FontLock());
    if (FT_New_Face(Library(), fileName.c_str(), index, &font->face_->Face) != 0)
        throw EConvertError("The font file \"" + fileName + "\" cannot be opened");
    FT_Face face = font->face_->Face;
    if (!FT_IS_SCALABLE(face)) throw EConvertError("The font file \"" + fileName + "\" has no outlines");
    FT_Set_Pixel_Sizes(face, 0, kEm);
    FT_Select_Charmap(face, FT_ENCODING_UNICODE);
    font->family_ = face->family_name ? face->family_name : "";
    font->file_ = fileName;
    return font;
}

std::unique_ptr<TPlatformFont> TPlatformFont::Open(const std::string& faceName, bool bold, bool italic,
                                                   uint8_t charset) {
    std::string file;
    int index = 0;
    // Each request is matched once: a window's controls ask for the same few
    // faces again and again.
    auto& matched = MatchedFaces();
    const TMatchKey key{faceName, bold, italic, charset};
    {
        std::lock_guard<std::mutex> guard(FontLock());
        if (auto at = matched.find(key); at != matched.end()) std::tie(file, index) = at->second;
    }
    if (file.empty()) {
        std::lock_guard<std::mutex> guard(FontLock());
        FcConfig* config = FontConfig();
        FcPattern* pattern = FcPatternCreate();
        if (!faceName.empty())
            FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(faceName.c_str()));
        FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
        FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
        FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
        FcPatternAddBool(pattern, FC_OUTLINE, FcTrue);
        if (const char* language = CharsetLanguage(charset))
            FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>(language));
        FcConfigSubstitute(config, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        FcPattern* match = FcFontMatch(config, pattern, &result);
        FcPatternDestroy(pattern);
        if (match) {
            FcChar8* path = nullptr;
            if (FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch && path)
                file = reinterpret_cast<const char*>(path);
            FcPatternGetInteger(match, FC_INDEX, 0, &index);
            FcPatternDestroy(match);
        }
        if (!file.empty()) matched[key] = {file, index};
    }
    if (file.empty()) throw EConvertError("No installed font can stand in for \"" + faceName + "\"");
    std::unique_ptr<TPlatformFont> font = OpenFile(file, index);
    // The system draws a style the face lacks by slanting or thickening the
    // regular outlines.
    font->face_->SynthBold = bold && !font->IsBold();
    font->face_->SynthItalic = italic && !font->IsItalic();
    return font;
}

std::unique_ptr<TPlatformFont> TPlatformFont::Open(const TLogFont& logFont) {
    return Open(logFont.lfFaceName, logFont.lfWeight >= 700, logFont.lfItalic != 0, logFont.lfCharSet);
}

TPlatformFont::~TPlatformFont() {
    std::lock_guard<std::mutex> guard(FontLock());
    face_.reset();
}

bool TPlatformFont::IsBold() const { return (face_->Face->style_flags & FT_STYLE_FLAG_BOLD) != 0; }

bool TPlatformFont::IsItalic() const { return (face_->Face->style_flags & FT_STYLE_FLAG_ITALIC) != 0; }

bool TPlatformFont::HasGlyph(char32_t code) const {
    std::lock_guard<std::mutex> guard(FontLock());
    return FT_Get_Char_Index(face_->Face, code) != 0;
}

TFontMetrics TPlatformFont::GetMetrics() const { return GetPixelMetrics(kEm); }

// Loads the character's glyph into the face's slot, unhinted, with the
// synthetic styles applied. Called under the lock.
bool TPlatformFont::LoadGlyph(char32_t code) const {
    FT_Face face = face_->Face;
    FT_UInt index = FT_Get_Char_Index(face, code);
    if (FT_Load_Glyph(face, index, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) != 0) return false;
    FT_GlyphSlot slot = face->glyph;
    if (slot->format != FT_GLYPH_FORMAT_OUTLINE) return false;
    if (face_->SynthItalic) {
        // The slant of the system's synthetic italic: about one in five.
        FT_Matrix shear{0x10000, 0x0366A, 0, 0x10000};
        FT_Outline_Transform(&slot->outline, &shear);
    }
    if (face_->SynthBold) {
        const FT_Pos strength = kEm * 64 / 48;
        FT_Outline_Embolden(&slot->outline, strength);
        slot->linearHoriAdvance += strength << 10;
    }
    return true;
}

bool TPlatformFont::GetGlyphOutline(char32_t code, TGlyphOutline& outline) const {
    outline.Polygons.clear();
    std::lock_guard<std::mutex> guard(FontLock());
    if (!LoadGlyph(code)) return false;
    const FT_Outline& source = face_->Face->glyph->outline;
    int first = 0;
    for (int c = 0; c < source.n_contours; ++c) {
        const int last = source.contours[c];
        const int count = last - first + 1;
        if (count < 2) {
            first = last + 1;
            continue;
        }
        auto point = [&](int i) { return source.points[first + ((i % count) + count) % count]; };
        auto tag = [&](int i) { return FT_CURVE_TAG(source.tags[first + ((i % count) + count) % count]); };
        // Start on a point that lies on the curve; a contour of conic
        // controls only starts at the implied point between its last and first.
        int startAt = -1;
        for (int i = 0; i < count && startAt < 0; ++i)
            if (tag(i) == FT_CURVE_TAG_ON) startAt = i;
        TOutlinePolygon polygon;
        FT_Vector start;
        int begin;
        if (startAt >= 0) {
            start = point(startAt);
            begin = startAt + 1;
        } else {
            FT_Vector a = point(count - 1), b = point(0);
            start = FT_Vector{(a.x + b.x) / 2, (a.y + b.y) / 2};
            begin = 0;
        }
        polygon.Start = Fixed(start);
        // Walk once round, from the point after the start back to the start.
        const int end = begin + count - (startAt >= 0 ? 1 : 0);
        std::vector<TFixedPoint> controls;
        bool cubic = false;
        for (int i = begin; i <= end; ++i) {
            const bool closing = i == end;
            const FT_Vector p = closing ? start : point(i);
            const int kind = closing ? FT_CURVE_TAG_ON : tag(i);
            if (kind != FT_CURVE_TAG_ON) {
                cubic = kind == FT_CURVE_TAG_CUBIC;
                controls.push_back(Fixed(p));
                continue;
            }
            // An on-curve point ends a line, a spline or a cubic.
            if (controls.empty()) {
                if (polygon.Records.empty() || polygon.Records.back().Curve != TOutlineCurve::Line)
                    polygon.Records.push_back(TOutlineRecord{TOutlineCurve::Line, {}});
                polygon.Records.back().Points.push_back(Fixed(p));
            } else if (cubic) {
                // Two controls, then this end point; a face that puts more
                // controls in a row gets its pairs joined at the next control.
                TOutlineRecord record{TOutlineCurve::Cubic, {}};
                if (controls.size() == 1) controls.push_back(controls.front());
                for (size_t k = 0; k + 1 < controls.size(); k += 2) {
                    record.Points.push_back(controls[k]);
                    record.Points.push_back(controls[k + 1]);
                    record.Points.push_back(k + 2 < controls.size() ? controls[k + 2] : Fixed(p));
                }
                polygon.Records.push_back(std::move(record));
            } else {
                TOutlineRecord record{TOutlineCurve::QSpline, controls};
                record.Points.push_back(Fixed(p));
                polygon.Records.push_back(std::move(record));
            }
            controls.clear();
        }
        polygon.Records.erase(std::remove_if(polygon.Records.begin(), polygon.Records.end(),
                                             [](const TOutlineRecord& r) { return r.Points.empty(); }),
                              polygon.Records.end());
        if (!polygon.Records.empty()) outline.Polygons.push_back(std::move(polygon));
        first = last + 1;
    }
    return !outline.Polygons.empty();
}

TABCWidths TPlatformFont::GetCharABCWidths(char32_t code) const {
    std::lock_guard<std::mutex> guard(FontLock());
    TABCWidths widths;
    if (!LoadGlyph(code)) return widths;
    FT_GlyphSlot slot = face_->Face->glyph;
    const int32_t advance = static_cast<int32_t>(RoundHalfEven(slot->linearHoriAdvance / 65536.0));
    FT_BBox box{};
    if (slot->outline.n_points > 0) FT_Outline_Get_CBox(&slot->outline, &box);
    if (slot->outline.n_points == 0 || box.xMax <= box.xMin) {
        widths.A = 0;
        widths.B = 0;
        widths.C = advance;
        return widths;
    }
    widths.A = static_cast<int32_t>(std::floor(box.xMin / 64.0));
    widths.B = static_cast<uint32_t>(static_cast<int32_t>(std::ceil(box.xMax / 64.0)) - widths.A);
    widths.C = advance - widths.A - static_cast<int32_t>(widths.B);
    return widths;
}

int32_t TPlatformFont::GetAdvance(char32_t code) const {
    TABCWidths widths = GetCharABCWidths(code);
    return widths.A + static_cast<int32_t>(widths.B) + widths.C;
}

int32_t TPlatformFont::GetKerning(char32_t first, char32_t second) const {
    std::lock_guard<std::mutex> guard(FontLock());
    FT_Face face = face_->Face;
    if (!FT_HAS_KERNING(face)) return 0;
    FT_Vector delta{};
    if (FT_Get_Kerning(face, FT_Get_Char_Index(face, first), FT_Get_Char_Index(face, second), FT_KERNING_UNSCALED,
                       &delta) != 0)
        return 0;
    return Scaled(delta.x, face->units_per_EM);
}

std::vector<TKerningPair> TPlatformFont::GetKerningPairs(const std::u32string& characters) const {
    std::vector<TKerningPair> pairs;
    {
        std::lock_guard<std::mutex> guard(FontLock());
        if (!FT_HAS_KERNING(face_->Face)) return pairs;
    }
    for (char32_t first : characters)
        for (char32_t second : characters)
            if (int32_t adjustment = GetKerning(first, second)) pairs.push_back({first, second, adjustment});
    return pairs;
}

void TPlatformFont::GetTextExtent(const std::u32string& text, int32_t& width, int32_t& height) const {
    width = 0;
    for (char32_t c : text) width += GetAdvance(c);
    TFontMetrics metrics = GetMetrics();
    height = metrics.Ascent + metrics.Descent;
}

namespace {

// The face's cell above and below the baseline in font units: the OS/2
// table's Windows values, as the system measures text, else the hhea ones.
void CellUnits(FT_Face face, FT_Long& ascent, FT_Long& descent) {
    auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    if (os2 && os2->version != 0xFFFF && (os2->usWinAscent != 0 || os2->usWinDescent != 0)) {
        ascent = os2->usWinAscent;
        descent = os2->usWinDescent;
    } else {
        ascent = face->ascender;
        descent = -face->descender;
    }
}

// Cell metrics round up, as the system's do: the cell holds the whole glyph.
int32_t CellPixels(FT_Long fontUnits, int32_t emPixels, FT_UShort unitsPerEm) {
    return static_cast<int32_t>(std::ceil(double(fontUnits) * emPixels / unitsPerEm - 1e-9));
}

}  // namespace

TFontMetrics TPlatformFont::GetPixelMetrics(int32_t emPixels) const {
    std::lock_guard<std::mutex> guard(FontLock());
    FT_Face face = face_->Face;
    FT_Long ascent = 0, descent = 0;
    CellUnits(face, ascent, descent);
    TFontMetrics metrics;
    metrics.Ascent = CellPixels(ascent, emPixels, face->units_per_EM);
    metrics.Descent = CellPixels(descent, emPixels, face->units_per_EM);
    metrics.InternalLeading = metrics.Ascent + metrics.Descent - emPixels;
    return metrics;
}

int32_t TPlatformFont::EmForCellHeight(int32_t cellPixels) const {
    std::lock_guard<std::mutex> guard(FontLock());
    FT_Face face = face_->Face;
    FT_Long ascent = 0, descent = 0;
    CellUnits(face, ascent, descent);
    if (ascent + descent <= 0) return cellPixels;
    return std::max<int32_t>(1, static_cast<int32_t>(RoundHalfEven(double(cellPixels) * face->units_per_EM /
                                                                    double(ascent + descent))));
}

bool TPlatformFont::RenderGlyph(char32_t code, int32_t emPixels, TGlyphBitmap& glyph) const {
    std::lock_guard<std::mutex> guard(FontLock());
    glyph = TGlyphBitmap{};
    FT_Face face = face_->Face;
    const FT_UInt index = FT_Get_Char_Index(face, code);
    // The face stays at its outline size for everyone else.
    struct TRestoreSize {
        FT_Face face;
        ~TRestoreSize() { FT_Set_Pixel_Sizes(face, 0, kEm); }
    } restore{face};
    if (emPixels < 1 || FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(emPixels)) != 0) return false;
    if (FT_Load_Glyph(face, index, FT_LOAD_DEFAULT | FT_LOAD_NO_BITMAP) != 0) return false;
    FT_GlyphSlot slot = face->glyph;
    FT_Pos extra = 0;
    if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
        if (face_->SynthItalic) {
            FT_Matrix shear{0x10000, 0x0366A, 0, 0x10000};
            FT_Outline_Transform(&slot->outline, &shear);
        }
        if (face_->SynthBold) {
            extra = std::max<FT_Pos>(64, emPixels * 64 / 48);
            FT_Outline_Embolden(&slot->outline, extra);
        }
    }
    glyph.Advance = static_cast<int32_t>((slot->advance.x + extra + 32) >> 6);
    if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0) return index != 0;
    const FT_Bitmap& bitmap = slot->bitmap;
    glyph.Left = slot->bitmap_left;
    glyph.Top = slot->bitmap_top;
    glyph.Width = static_cast<int32_t>(bitmap.width);
    glyph.Rows = static_cast<int32_t>(bitmap.rows);
    glyph.Coverage.resize(static_cast<size_t>(glyph.Width) * static_cast<size_t>(glyph.Rows));
    for (int32_t y = 0; y < glyph.Rows; ++y) {
        const unsigned char* row = bitmap.buffer + static_cast<ptrdiff_t>(y) * bitmap.pitch;
        for (int32_t x = 0; x < glyph.Width; ++x) {
            uint8_t value = 0;
            if (bitmap.pixel_mode == FT_PIXEL_MODE_GRAY) value = row[x];
            else if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO) value = (row[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
            glyph.Coverage[static_cast<size_t>(y) * static_cast<size_t>(glyph.Width) + static_cast<size_t>(x)] = value;
        }
    }
    return index != 0;
}
