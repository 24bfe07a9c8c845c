// Installed fonts: the stand-in for the system's font functions (face look-up
// by name, weight, slant and character set, text metrics, glyph outlines,
// ABC widths and kerning pairs), over fontconfig and FreeType.
//
// A face is opened with its em square 1024 units high, the size at which the
// movie builder reads every outline, so all values here are in those units
// with y pointing up, as a glyph outline comes from the system. Outlines keep
// the curve kinds of the font: quadratic splines for TrueType faces, cubic
// curves for faces with PostScript outlines, whose conversion is left to the
// caller.
//
// Faces are found through fontconfig, which also sees the font folders the
// application adds (AddFontFolder); the folder of Windows-compatible faces
// that Wine installs is added on first use, so that the application's default
// face "Tahoma" resolves. What it leaves out: bitmap faces, vertical text,
// hinting (outlines at this size need none) and substitution tables.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The character sets of a face request, by the system's numbers.
enum : uint8_t {
    kAnsiCharset = 0,
    kDefaultCharset = 1,
    kSymbolCharset = 2,
    kShiftJisCharset = 128,
    kHangulCharset = 129,
    kGB2312Charset = 134,
    kChineseBig5Charset = 136,
};

// The part of the system's logical-font record that the movie builder uses.
struct TLogFont {
    int32_t lfHeight = 0;  // negative: em height; positive: cell height
    int32_t lfWidth = 0;
    int32_t lfEscapement = 0;
    int32_t lfOrientation = 0;
    int32_t lfWeight = 400;  // 700 is bold
    uint8_t lfItalic = 0;
    uint8_t lfUnderline = 0;
    uint8_t lfStrikeOut = 0;
    uint8_t lfCharSet = 0;
    uint8_t lfQuality = 0;
    std::string lfFaceName;
};

// The style set of a font, as the toolkit's font object keeps it.
enum class TFontStyle : uint8_t { Bold = 1, Italic = 2, Underline = 4, StrikeOut = 8 };
struct TFontStyles {
    uint8_t Bits = 0;
    bool Has(TFontStyle style) const { return Bits & static_cast<uint8_t>(style); }
    void Include(TFontStyle style) { Bits = static_cast<uint8_t>(Bits | static_cast<uint8_t>(style)); }
    bool operator==(const TFontStyles&) const = default;
};

// A width and a height, as the system's text measures return them.
struct TSize {
    int32_t cx = 0, cy = 0;
    bool operator==(const TSize&) const = default;
};

// Text metrics of a face at an em of 1024 units.
struct TFontMetrics {
    int32_t Ascent = 0;           // from the OS/2 table's Windows ascent
    int32_t Descent = 0;          // from the OS/2 table's Windows descent, positive
    int32_t InternalLeading = 0;  // Ascent + Descent - 1024
};

// A point of an outline in 16.16 fixed point, em units.
struct TFixedPoint {
    int32_t X = 0, Y = 0;
};

enum class TOutlineCurve : uint8_t {
    Line = 1,       // a line to each point
    QSpline = 2,    // a quadratic B-spline: implied on-curve midpoints between controls, the last point on the curve
    Cubic = 3,      // cubic Beziers from groups of three points (two controls, then the end point)
};

struct TOutlineRecord {
    TOutlineCurve Curve = TOutlineCurve::Line;
    std::vector<TFixedPoint> Points;
};

// One closed contour: a start point and the records that go round from it.
struct TOutlinePolygon {
    TFixedPoint Start;
    std::vector<TOutlineRecord> Records;
};

struct TGlyphOutline {
    std::vector<TOutlinePolygon> Polygons;  // empty for a glyph without ink (a space)
};

// The three widths of a character: A (space before the ink), B (the ink) and
// C (space after); A + B + C is the advance.
struct TABCWidths {
    int32_t A = 0;
    uint32_t B = 0;
    int32_t C = 0;
};

// A character rasterised at a pixel size: coverage 0..255, Width x Rows,
// top row first; Left is the ink's offset from the pen position, Top the
// height of its first row above the baseline.
struct TGlyphBitmap {
    int32_t Left = 0, Top = 0, Width = 0, Rows = 0;
    int32_t Advance = 0;  // pixels
    std::vector<uint8_t> Coverage;
};

struct TKerningPair {
    char32_t First = 0, Second = 0;
    int32_t Adjustment = 0;
};

// Adds a folder whose font files the look-up sees from now on (the
// application's own fonts). False when the folder cannot be added.
bool AddFontFolder(const std::string& folder);

class TPlatformFont {
public:
    // The installed face that best matches: the face name first (the
    // look-up substitutes a face when none has the name), then weight
    // (bold), slant (italic) and, for the East Asian sets, the character
    // set's language. EConvertError only when no face at all can be opened.
    static std::unique_ptr<TPlatformFont> Open(const std::string& faceName, bool bold, bool italic,
                                               uint8_t charset = kDefaultCharset);
    static std::unique_ptr<TPlatformFont> Open(const TLogFont& logFont);
    // A face from its file (index: the face within a collection).
    static std::unique_ptr<TPlatformFont> OpenFile(const std::string& fileName, int index = 0);

    ~TPlatformFont();
    TPlatformFont(const TPlatformFont&) = delete;
    TPlatformFont& operator=(const TPlatformFont&) = delete;

    const std::string& FamilyName() const { return family_; }
    const std::string& FileName() const { return file_; }
    bool IsBold() const;
    bool IsItalic() const;
    // Whether the face has a glyph for the character.
    bool HasGlyph(char32_t code) const;

    TFontMetrics GetMetrics() const;
    // False (and an empty outline) for a character without ink or without a
    // glyph; the outline of a missing character is the face's own fallback.
    bool GetGlyphOutline(char32_t code, TGlyphOutline& outline) const;
    TABCWidths GetCharABCWidths(char32_t code) const;
    int32_t GetAdvance(char32_t code) const;
    // Adjustments between pairs of the given characters that are not zero.
    std::vector<TKerningPair> GetKerningPairs(const std::u32string& characters) const;
    int32_t GetKerning(char32_t first, char32_t second) const;
    // Width (sum of advances) and height (ascent + descent) of a text.
    void GetTextExtent(const std::u32string& text, int32_t& width, int32_t& height) const;

    // Drawing text on a canvas: metrics and glyphs at an em of emPixels,
    // hinted. Ascent and Descent round up as the em-unit metrics do.
    TFontMetrics GetPixelMetrics(int32_t emPixels) const;
    // The em in pixels whose cell (ascent + descent) is cellPixels high.
    int32_t EmForCellHeight(int32_t cellPixels) const;
    // False for a character the face lacks (its fallback glyph is drawn then).
    bool RenderGlyph(char32_t code, int32_t emPixels, TGlyphBitmap& glyph) const;

private:
    TPlatformFont() = default;
    struct TFace;
    std::unique_ptr<TFace> face_;
    std::string family_;
    std::string file_;
    bool LoadGlyph(char32_t code) const;
};
