// Font files as the movie builder reads them: the face FreeType opens for a
// face name, its metrics, kerning, widths and pixel glyphs, and every glyph
// outline turned into shape edges (quadratic splines of TrueType faces,
// cubic curves of PostScript ones). Any face the bytes make either opens or
// is refused with the library's error.
#include "fuzz/fuzz_input.h"
#include "movie/edges.h"
#include "movie/fonts.h"
#include "platform/fonts.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TQuietMessages quiet;
    const std::string file = InputFile(data, size, ".ttf");
    std::unique_ptr<TPlatformFont> font;
    try {
        font = TPlatformFont::OpenFile(file);
    } catch (const Exception&) {
        return 0;
    }
    volatile size_t sink = font->FamilyName().size() + font->IsBold() + font->IsItalic();
    const TFontMetrics metrics = font->GetMetrics();
    sink = sink + static_cast<size_t>(metrics.Ascent + metrics.Descent);
    // Letters, a space, a character no face has, a symbol-font code and
    // one past the Basic Multilingual Plane.
    const std::u32string characters = U"AVag0 \u00e9\u4e2d\U0010fffd\uf041\U0001f600";
    for (char32_t code : characters) {
        sink = sink + font->HasGlyph(code);
        TGlyphOutline outline;
        font->GetGlyphOutline(code, outline);
        TSWFShapeRecordList records;
        TFlashEdges edges(records);
        GlyphOutlineToEdges(outline, edges);
        const TABCWidths widths = font->GetCharABCWidths(code);
        sink = sink + records.size() + static_cast<size_t>(widths.A + widths.C) + widths.B +
               static_cast<size_t>(font->GetAdvance(code));
        TGlyphBitmap glyph;
        font->RenderGlyph(code, 12, glyph);
    }
    sink = sink + font->GetKerningPairs(characters).size();
    int32_t width = 0, height = 0;
    font->GetTextExtent(characters, width, height);
    sink = sink + static_cast<size_t>(font->GetPixelMetrics(9).Ascent + font->EmForCellHeight(20));
    (void)sink;
    return 0;
}
