// Fonts and texts of the movie builder: glyphs embedded from installed fonts
// judged against FreeType's own reading of the same font file, the font's
// glyph list and outline conversion, static and dynamic texts as tags.
#include <gtest/gtest.h>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

#include <cmath>
#include <filesystem>

#include "movie/flash_movie.h"
#include "movie/fonts.h"
#include "movie/texts.h"
#include "platform/codepage.h"
#include "platform/testing/test_support.h"
#include "swf/reader.h"
#include "swf/text_tags.h"
#include "test_util.h"

namespace {

const char* const kDejaVuSans = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

#define TW_REQUIRE_FILE(path)                                                          \
    do {                                                                               \
        if (!std::filesystem::exists(path)) {                                          \
            if (std::getenv("CI")) FAIL() << path << " is missing (scripts/setup.sh)"; \
            GTEST_SKIP() << path << " is missing (scripts/setup.sh installs it)";       \
        }                                                                              \
    } while (0)

// The control box of a glyph's records (y down), as the records place it.
TRect RecordBox(const TSWFShapeRecordList& records) {
    TPoint pen;
    bool any = false;
    TRect box;
    auto include = [&](int32_t x, int32_t y) {
        if (!any) box = TRect{x, y, x, y};
        any = true;
        box.Left = std::min(box.Left, x);
        box.Top = std::min(box.Top, y);
        box.Right = std::max(box.Right, x);
        box.Bottom = std::max(box.Bottom, y);
    };
    for (const auto& record : records) {
        if (record->RecordKind == kShapeRecordStyleChange) {
            auto& change = static_cast<const TSWFStyleChangeRecord&>(*record);
            if (change.StateMoveTo) pen = TPoint{change.DeltaX, change.DeltaY};
        } else if (record->RecordKind == kShapeRecordStraightEdge) {
            auto& edge = static_cast<const TSWFStraightEdgeRecord&>(*record);
            include(pen.X, pen.Y);
            pen.X += edge.DeltaX;
            pen.Y += edge.DeltaY;
            include(pen.X, pen.Y);
        } else if (record->RecordKind == kShapeRecordCurvedEdge) {
            auto& curve = static_cast<const TSWFCurvedEdgeRecord&>(*record);
            include(pen.X, pen.Y);
            pen.X += curve.ControlDeltaX;
            pen.Y += curve.ControlDeltaY;
            include(pen.X, pen.Y);
            pen.X += curve.AnchorDeltaX;
            pen.Y += curve.AnchorDeltaY;
            include(pen.X, pen.Y);
        }
    }
    return box;
}

// The font's tag as the movie writes it, read back.
std::unique_ptr<TSWFDefineFont2> WrittenFont(TFlashFont& font) {
    TMemoryStream out;
    TBitsEngine be(out);
    font.WriteTag(be);
    Bytes record = out.Bytes();
    std::vector<TagRecord> tags = SplitRecords(record.data(), record.size());
    EXPECT_EQ(tags.size(), 1u);
    EXPECT_EQ(tags[0].code, 48);
    auto tag = std::make_unique<TSWFDefineFont2>();
    tag->SWFVersion = 8;
    ReadBodyBytes(*tag, tags[0].body);
    return tag;
}

int ScaledToEm(long value, int unitsPerEm) { return static_cast<int>(std::lround(double(value) * 1024 / unitsPerEm)); }

// Cell metrics round up, so that the cell holds the whole ascent and descent.
int CellToEm(long value, int unitsPerEm) { return static_cast<int>(std::ceil(double(value) * 1024 / unitsPerEm)); }

}  // namespace

// O, g, A and the euro sign of DejaVu Sans: outline box and advance as
// FreeType reads them from the file, scaled to the 1024-unit em; ascent and
// descent from the font's OS/2 table.
TEST(Fonts, EmbeddedGlyphsMatchFreeType) {
    TW_REQUIRE_FILE(kDejaVuSans);
    TFlashMovie movie(0, 0, 400, 200, 12, true);
    movie.SetVersion(8);
    TFlashFont* font = movie.AddFontByName("DejaVu Sans", false, false, 24, false);
    font->SetHasLayout(true);
    font->AddWideChars(u"Og A\u20ac");
    std::unique_ptr<TSWFDefineFont2> tag = WrittenFont(*font);

    FT_Library library;
    ASSERT_EQ(FT_Init_FreeType(&library), 0);
    FT_Face face;
    ASSERT_EQ(FT_New_Face(library, kDejaVuSans, 0, &face), 0);
    const int upem = face->units_per_EM;
    auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    ASSERT_NE(os2, nullptr);
    EXPECT_EQ(tag->FontAscent, CellToEm(os2->usWinAscent, upem));
    EXPECT_EQ(tag->FontDescent, CellToEm(os2->usWinDescent, upem));
    EXPECT_EQ(tag->FontName, "DejaVu Sans");
    EXPECT_TRUE(tag->FontFlagsWideCodes);

    ASSERT_EQ(tag->CodeTable.size(), 5u);
    for (size_t i = 0; i < tag->CodeTable.size(); ++i) {
        const char16_t code = tag->CodeTable[i];
        SCOPED_TRACE(static_cast<int>(code));
        ASSERT_EQ(FT_Load_Char(face, code, FT_LOAD_NO_SCALE), 0);
        EXPECT_NEAR(tag->FontAdvanceTable[i], ScaledToEm(face->glyph->advance.x, upem), 1);
        if (code == u' ') {
            // A space has no outline: a style change and the end alone.
            EXPECT_EQ(tag->GlyphShapeTable[i]->size(), 2u);
            continue;
        }
        FT_BBox cbox;
        FT_Outline_Get_CBox(&face->glyph->outline, &cbox);
        TRect box = RecordBox(*tag->GlyphShapeTable[i]);
        EXPECT_NEAR(box.Left, ScaledToEm(cbox.xMin, upem), 1);
        EXPECT_NEAR(box.Right, ScaledToEm(cbox.xMax, upem), 1);
        EXPECT_NEAR(box.Top, -ScaledToEm(cbox.yMax, upem), 1);
        EXPECT_NEAR(box.Bottom, -ScaledToEm(cbox.yMin, upem), 1);
        // The layout's bounds are the same box.
        EXPECT_EQ(tag->FontBoundsTable[i].GetRect(), box);
    }
    FT_Done_Face(face);
    FT_Done_FreeType(library);
}

TEST(Fonts, DefaultFaceAndSubstitutes) {
    TW_REQUIRE_FILE("/usr/share/wine/fonts/tahoma.ttf");
    std::unique_ptr<TPlatformFont> tahoma = TPlatformFont::Open("Tahoma", false, false);
    EXPECT_EQ(tahoma->FamilyName(), "Tahoma");
    std::unique_ptr<TPlatformFont> bold = TPlatformFont::Open("Tahoma", true, false);
    EXPECT_TRUE(bold->IsBold());
    // A name nobody has still gives a face to draw with.
    std::unique_ptr<TPlatformFont> other = TPlatformFont::Open("No Such Face 17", false, false);
    EXPECT_FALSE(other->FamilyName().empty());
    TGlyphOutline outline;
    EXPECT_TRUE(other->GetGlyphOutline(U'A', outline));
    EXPECT_FALSE(other->GetGlyphOutline(U' ', outline));
}

// A file that is no face, or no scalable one, is refused with the file's
// name, and the face half made is let go of (it once hung on the lock).
TEST(Fonts, FilesThatAreNoFaceAreRefused) {
    const std::string folder = TestScratchFolder("fonts-refused");
    for (const std::string& bytes : {std::string(), std::string("not a font at all")}) {
        const std::string file = folder + "/bad.ttf";
        WriteFileBytes(file, bytes.data(), bytes.size());
        try {
            TPlatformFont::OpenFile(file);
            ADD_FAILURE() << "opened";
        } catch (const EConvertError& e) {
            EXPECT_NE(std::string(e.what()).find(file), std::string::npos) << e.what();
        }
    }
}

TEST(Fonts, GlyphListKeepsCharactersSortedOnce) {
    TFlashFont font;
    font.AddChars("ABA");
    ASSERT_EQ(font.GetGlyphList().size(), 2u);
    EXPECT_EQ(font.GetGlyph(0)->Code, 'A');
    EXPECT_EQ(font.GetGlyph(1)->Code, 'B');
    EXPECT_FALSE(font.AddChar('A'));

    // In the code page the euro sign is byte 0x80 but U+20AC: it sorts after é.
    TFlashFont western;
    western.AddChars("\x80\xE9");
    EXPECT_EQ(western.GetGlyph(0)->Code, 0xE9);
    EXPECT_EQ(western.GetGlyph(1)->Code, 0x80);
    EXPECT_EQ(western.GetGlyph(1)->WideCode, 0x20AC);
    EXPECT_FALSE(western.IsWideCodes());

    TFlashMovie movie(0, 0, 100, 100, 12, true);
    movie.SetVersion(5);
    TFlashFont* wide = movie.AddFont();
    wide->AddChar(0x263A);
    EXPECT_TRUE(wide->Wide);
    EXPECT_EQ(movie.Version, 6);
}

// A face's outline records become edges: fixed point rounded halves to
// even, spline midpoints between controls, the end point's fraction
// dropped, y turned down.
TEST(Fonts, OutlineConversion) {
    EXPECT_EQ(FixedToInteger(0x00018000), 2);
    EXPECT_EQ(FixedToInteger(0x00028000), 2);
    EXPECT_EQ(FixedToInteger(0x00030000), 3);

    auto fx = [](double v) { return static_cast<int32_t>(std::lround(v * 65536)); };
    TGlyphOutline outline;
    TOutlinePolygon polygon;
    polygon.Start = TFixedPoint{0, 0};
    polygon.Records.push_back(TOutlineRecord{TOutlineCurve::QSpline,
                                             {{fx(10), fx(0)}, {fx(20), fx(10)}, {fx(20.75), fx(30.5)}}});
    outline.Polygons.push_back(polygon);
    TSWFShapeRecordList records;
    TFlashEdges edges(records);
    GlyphOutlineToEdges(outline, edges);
    std::vector<const TSWFCurvedEdgeRecord*> curves;
    for (const auto& record : records)
        if (record->RecordKind == kShapeRecordCurvedEdge)
            curves.push_back(static_cast<const TSWFCurvedEdgeRecord*>(record.get()));
    ASSERT_EQ(curves.size(), 2u);
    // (c, midpoint(c, p1)) then (p1, integer part of p2), mirrored in y.
    EXPECT_EQ(curves[0]->ControlDeltaX, 10);
    EXPECT_EQ(curves[0]->ControlDeltaY, 0);
    EXPECT_EQ(curves[0]->AnchorDeltaX, 5);
    EXPECT_EQ(curves[0]->AnchorDeltaY, -5);
    EXPECT_EQ(curves[1]->ControlDeltaX, 5);
    EXPECT_EQ(curves[1]->ControlDeltaY, -5);
    EXPECT_EQ(curves[1]->AnchorDeltaX, 0);
    EXPECT_EQ(curves[1]->AnchorDeltaY, -20);
}

// A cubic outline record (as PostScript-flavoured faces give) becomes
// quadratic edges that follow the curve: every anchor lies on the cubic
// within the approximation's tolerance, the contour ends where the record
// does, and y is turned down.
TEST(Fonts, CubicOutlineConversion) {
    auto fx = [](int32_t v) { return v * 65536; };
    TGlyphOutline outline;
    TOutlinePolygon polygon;
    polygon.Start = TFixedPoint{0, 0};
    // Two cubics: an arch up to (400, 0) and an S back down to (800, -100).
    polygon.Records.push_back(TOutlineRecord{TOutlineCurve::Cubic,
                                             {{fx(0), fx(400)}, {fx(400), fx(400)}, {fx(400), fx(0)},
                                              {fx(400), fx(-300)}, {fx(800), fx(200)}, {fx(800), fx(-100)}}});
    outline.Polygons.push_back(polygon);
    TSWFShapeRecordList records;
    TFlashEdges edges(records);
    GlyphOutlineToEdges(outline, edges);

    // The cubics sampled densely, in the glyph's y-down space.
    const double cubics[2][4][2] = {{{0, 0}, {0, 400}, {400, 400}, {400, 0}},
                                    {{400, 0}, {400, -300}, {800, 200}, {800, -100}}};
    std::vector<std::pair<double, double>> samples;
    for (const auto& c : cubics)
        for (int i = 0; i <= 2000; ++i) {
            double t = i / 2000.0, u = 1 - t;
            double x = u * u * u * c[0][0] + 3 * u * u * t * c[1][0] + 3 * u * t * t * c[2][0] + t * t * t * c[3][0];
            double y = u * u * u * c[0][1] + 3 * u * u * t * c[1][1] + 3 * u * t * t * c[2][1] + t * t * t * c[3][1];
            samples.emplace_back(x, -y);
        }
    auto distance = [&](double x, double y) {
        double best = 1e18;
        for (auto [sx, sy] : samples) best = std::min(best, std::hypot(sx - x, sy - y));
        return best;
    };
    int32_t penX = 0, penY = 0;
    int curves = 0;
    bool closed = false;
    for (const auto& record : records) {
        if (record->RecordKind == kShapeRecordStyleChange) {
            auto& change = static_cast<const TSWFStyleChangeRecord&>(*record);
            if (change.StateMoveTo) penX = change.DeltaX, penY = change.DeltaY;
        } else if (record->RecordKind == kShapeRecordCurvedEdge) {
            auto& curve = static_cast<const TSWFCurvedEdgeRecord&>(*record);
            penX += curve.ControlDeltaX + curve.AnchorDeltaX;
            penY += curve.ControlDeltaY + curve.AnchorDeltaY;
            EXPECT_LE(distance(penX, penY), 10.5) << "anchor " << curves << " at " << penX << "," << penY;
            ++curves;
        } else if (record->RecordKind == kShapeRecordStraightEdge) {
            auto& line = static_cast<const TSWFStraightEdgeRecord&>(*record);
            // Only the closing line runs back to the start.
            EXPECT_EQ(penX + line.DeltaX, 0);
            EXPECT_EQ(penY + line.DeltaY, 0);
            EXPECT_EQ(penX, 800);
            EXPECT_EQ(penY, 100);
            closed = true;
            penX += line.DeltaX;
            penY += line.DeltaY;
        }
    }
    EXPECT_GE(curves, 4);
    EXPECT_TRUE(closed);
}

TEST(Texts, StaticTextLayout) {
    TW_REQUIRE_FILE(kDejaVuSans);
    TFlashMovie movie(0, 0, 400, 200, 12, true);
    TFlashFont* font = movie.AddFontByName("DejaVu Sans", false, false, 12, false);
    TFlashText* text = movie.AddTextAtPoint(u"AB", SWFRGBA(0, 0, 0, 255), font, TPoint{100, 50}, 1);
    text->SetCharSpacing(2);
    auto tag = text->MakeTag();
    ASSERT_EQ(tag->TagCode, 11);
    auto& defineText = static_cast<TSWFDefineText&>(*tag);
    const TSize extent = font->GetTextExtent(u"AB");
    EXPECT_EQ(defineText.TextBounds.Xmin, 2000 - extent.cx);
    EXPECT_EQ(defineText.TextBounds.Xmax, 2000);
    EXPECT_EQ(defineText.TextBounds.Ymin, 1000);
    ASSERT_EQ(defineText.TextRecords.size(), 1u);
    const TSWFTextRecord& record = *defineText.TextRecords[0];
    EXPECT_EQ(record.YOffset, 1000 + static_cast<int32_t>(std::nearbyint(font->Ascent / 1024.0 * 240)));
    ASSERT_EQ(record.GlyphEntries.size(), 2u);
    EXPECT_EQ(record.GlyphEntries[0].GlyphAdvance,
              static_cast<int32_t>(std::nearbyint(font->FindGlyph('A')->Advance / 1024.0 * 240)) + 40);
    EXPECT_EQ(record.GlyphEntries[1].GlyphIndex, 1);

    text->GetColor().SetAlpha(200);
    EXPECT_EQ(text->MakeTag()->TagCode, 33);
    TFlashText* empty = movie.AddText();
    empty->SetFont(font);
    EXPECT_EQ(empty->MakeTag(), nullptr);
}

// A line of more than 255 glyphs goes on in further records, each starting
// where the pen stands, so nothing of it is lost.
TEST(Texts, LongLineSplitsIntoRecords) {
    TW_REQUIRE_FILE(kDejaVuSans);
    TFlashMovie movie(0, 0, 400, 200, 12, true);
    TFlashFont* font = movie.AddFontByName("DejaVu Sans", false, false, 10, false);
    std::u16string line;
    for (int i = 0; i < 600; ++i) line += static_cast<char16_t>(u'a' + i % 26);
    TFlashText* text = movie.AddTextAtPoint(line, SWFRGBA(0, 0, 0, 255), font, TPoint{0, 0}, 0);
    auto tag = text->MakeTag();
    auto& defineText = static_cast<TSWFDefineText&>(*tag);
    ASSERT_EQ(defineText.TextRecords.size(), 3u);
    size_t glyphs = 0;
    int32_t pen = 0;
    for (const auto& record : defineText.TextRecords) {
        if (glyphs > 0) {
            EXPECT_EQ(record->XOffset, pen);
        }
        for (const TSWFGlyphEntry& entry : record->GlyphEntries) pen += entry.GlyphAdvance;
        glyphs += record->GlyphEntries.size();
    }
    EXPECT_EQ(glyphs, 600u);
    // Written and read back whole.
    Bytes body = WriteBodyBytes(defineText);
    TSWFDefineText read;
    ReadBodyBytes(read, body);
    EXPECT_EQ(read.TextRecords.size(), 3u);
}

TEST(Texts, DynamicHtmlText) {
    TFlashMovie movie(0, 0, 400, 200, 12, true);
    movie.SetVersion(8);
    TFlashFont* font = movie.AddFontByName("Arial", true, true, 12, true);
    font->EncodingType = kEncodingANSI;
    TFlashText* text = movie.AddText();
    text->SetFont(font);
    text->SetText("Hi");
    text->SetHTML(true);
    EXPECT_TRUE(text->IsDynamic());
    text->VariableName = "v";
    auto tag = text->MakeTag();
    ASSERT_EQ(tag->TagCode, 37);
    auto& edit = static_cast<TSWFDefineEditText&>(*tag);
    EXPECT_EQ(edit.InitialText, "<font face=\"Arial\"><b><i>Hi</i></b></font>");
    EXPECT_TRUE(edit.HTML);
    EXPECT_TRUE(edit.HasFont);
    EXPECT_EQ(edit.FontId, font->GetCharacterId());

    // A dynamic text needs the font's layout, not its outlines.
    TFlashText* dynamicText = movie.AddDynamicText("w", u"x", SWFRGBA(0, 0, 0, 255), font, TRect{0, 0, 100, 20});
    EXPECT_TRUE(dynamicText->IsDynamic());
    EXPECT_TRUE(font->UsageFlags & kFontUsedByEditText);
    text->SetUseOutlines(false);
    EXPECT_FALSE(font->AsDevice);
}

// A font written into a movie is found again in the saved file by its name
// and style, with the same glyphs.
TEST(Fonts, FontTakenFromAnSWF) {
    TW_REQUIRE_FILE(kDejaVuSans);
    TFlashMovie movie(0, 0, 200, 100, 12, true);
    movie.SetVersion(8);
    TFlashFont* font = movie.AddFontByName("DejaVu Sans", false, false, 20, false);
    font->SetHasLayout(true);
    font->AddWideChars(u"Wave");
    movie.MakeStream();
    TMemoryStream file;
    movie.SaveToStream(file);
    file.SetPosition(0);

    TFlashFont taken;
    taken.Name = "DejaVu Sans";
    taken.LoadFromSWFStream(file);
    ASSERT_EQ(taken.GetGlyphList().size(), 4u);
    EXPECT_TRUE(taken.HasLayout);
    EXPECT_EQ(taken.Ascent, font->Ascent);
    const TFlashChar* w = taken.FindGlyph('W');
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->OutlineReady);
    EXPECT_EQ(w->Advance, font->FindGlyph('W')->Advance);
    EXPECT_EQ(RecordBox(w->Records), RecordBox(font->FindGlyph('W')->Records));

    // A name that the file does not hold leaves the font as it was.
    TFlashFont other;
    other.Name = "Other";
    file.SetPosition(0);
    other.LoadFromSWFStream(file);
    EXPECT_TRUE(other.GetGlyphList().empty());

    TFlashObjectList<TFlashFont>& fonts = movie.GetFonts();
    EXPECT_EQ(FindFont(fonts, TFontDescription{"DejaVu Sans", false, false, 99}, false), font);
    EXPECT_EQ(FindFont(fonts, TFontDescription{"DejaVu Sans", false, false, 99}, true), nullptr);
    EXPECT_EQ(FindFont(fonts, TFontDescription{"DejaVu Sans", false, false, 20}, true), font);
}
