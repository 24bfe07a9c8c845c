// The drawing canvas and its anti-aliased half: the pixel rules of lines,
// boxes, hatches, pens and smoothing, blits, and text measured against what
// FreeType itself gives for the face fontconfig picks.
#include <gtest/gtest.h>

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <cmath>
#include <functional>
#include <set>

#include "platform/canvas.h"
#include "platform/graphics.h"

namespace {

constexpr TColor kWhite = 0xFFFFFF;

TBitmap White(int32_t width, int32_t height, TPixelFormat format = TPixelFormat::pf24bit) {
    TBitmap bitmap;
    bitmap.SetPixelFormat(format);
    bitmap.SetSize(width, height);
    TCanvas canvas(bitmap);
    canvas.Brush.Color = kWhite;
    canvas.FillRect(TRect{0, 0, width, height});
    return bitmap;
}

// Pixels that are not white, and the colours seen.
struct TInk {
    TRect Box{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};  // inclusive
    int32_t Count = 0;
    std::set<TColor> Colors;
};

TInk InkOf(TBitmap& bitmap) {
    TCanvas canvas(bitmap);
    TInk ink;
    for (int32_t y = 0; y < bitmap.Height(); ++y)
        for (int32_t x = 0; x < bitmap.Width(); ++x) {
            const TColor c = canvas.GetPixel(x, y);
            if (c == kWhite) continue;
            ++ink.Count;
            ink.Colors.insert(c);
            ink.Box.Left = std::min(ink.Box.Left, x);
            ink.Box.Top = std::min(ink.Box.Top, y);
            ink.Box.Right = std::max(ink.Box.Right, x);
            ink.Box.Bottom = std::max(ink.Box.Bottom, y);
        }
    return ink;
}

bool Painted(TBitmap& bitmap, int32_t x, int32_t y) { return TCanvas(bitmap).GetPixel(x, y) != kWhite; }

}  // namespace

// One table of the canvas's rules; each case draws on a white 32 x 32
// bitmap and checks what it left.
TEST(CanvasTest, PixelRules) {
    struct TCase {
        const char* name;
        void (*draw)(TCanvas&, TGraphics&);
        void (*check)(TBitmap&);
    } cases[] = {
        {"a line leaves out its last point",
         [](TCanvas& c, TGraphics&) {
             c.MoveTo(2, 3);
             c.LineTo(9, 3);
         },
         [](TBitmap& b) {
             const TInk ink = InkOf(b);
             EXPECT_EQ(ink.Count, 7);
             EXPECT_EQ(ink.Box, (TRect{2, 3, 8, 3}));
         }},
        {"a rectangle's outline lies inside its box, fill one less without a pen",
         [](TCanvas& c, TGraphics&) {
             c.Brush.Color = 0x0000FF;
             c.Rectangle(0, 0, 10, 10);
             c.Pen.Style = PS_NULL;
             c.Rectangle(20, 20, 30, 30);
         },
         [](TBitmap& b) {
             TCanvas c(b);
             EXPECT_EQ(c.GetPixel(9, 9), 0);
             EXPECT_EQ(c.GetPixel(10, 10), kWhite);
             EXPECT_EQ(c.GetPixel(5, 5), 0x0000FF);
             EXPECT_EQ(c.GetPixel(28, 28), 0x0000FF);
             EXPECT_EQ(c.GetPixel(29, 29), kWhite);
         }},
        {"an anti-aliased outline lines up with a fill of the same rectangle",
         [](TCanvas&, TGraphics& g) {
             g.SetAntialias(true);
             g.DrawRectangle(TGraphicsPen{}, 2, 2, 9, 9);  // the box (2, 2, 12, 12) drawn as its outline
             g.FillRectangle(TGraphicsBrush{}, 16, 2, 10, 10);
         },
         [](TBitmap& b) {
             TCanvas c(b);
             for (int32_t y = 0; y < 14; ++y)
                 for (int32_t x = 0; x < 14; ++x) {
                     const bool ring = x >= 2 && x <= 11 && y >= 2 && y <= 11 && (x == 2 || x == 11 || y == 2 || y == 11);
                     const bool filled = c.GetPixel(x + 14, y) == 0;
                     EXPECT_EQ(c.GetPixel(x, y), ring ? 0 : kWhite) << x << "," << y;
                     // The fill covers exactly what the outline bounds.
                     EXPECT_EQ(filled, x >= 2 && x <= 11 && y >= 2 && y <= 11) << x << "," << y;
                 }
         }},
        {"a hatch repeats every 8 pixels from the origin",
         [](TCanvas& c, TGraphics& g) {
             c.Brush.Style = BS_HATCHED;
             c.Brush.Hatch = HS_DIAGCROSS;
             c.Brush.Color = 0;
             c.FillRect(TRect{0, 0, 16, 32});
             g.FillRectangle(TGraphicsBrush{0xFF000000, HS_DIAGCROSS, 0}, 16, 0, 16, 32);
         },
         [](TBitmap& b) {
             for (int32_t y = 0; y < 24; ++y)
                 for (int32_t x = 0; x < 24; ++x) {
                     EXPECT_EQ(Painted(b, x, y), Painted(b, x + 8, y)) << x << "," << y;
                     EXPECT_EQ(Painted(b, x, y), Painted(b, x, y + 8)) << x << "," << y;
                 }
             // Not a shorter period, and both halves draw the same pattern.
             EXPECT_NE(Painted(b, 0, 0), Painted(b, 4, 0));
             for (int32_t x = 0; x < 8; ++x) EXPECT_EQ(Painted(b, x, 5), Painted(b, x + 16, 5));
         }},
        {"a clear pen draws nothing",
         [](TCanvas& c, TGraphics& g) {
             c.Pen.Style = PS_NULL;
             c.Brush.Style = BS_NULL;
             c.MoveTo(0, 0);
             c.LineTo(30, 30);
             c.Rectangle(1, 1, 20, 20);
             c.Ellipse(1, 1, 20, 20);
             g.DrawLine(TGraphicsPen{0x00FF0000}, 0, 0, 30, 30);
             g.DrawEllipse(TGraphicsPen{0x00000000, 5}, 2, 2, 20, 20);
         },
         [](TBitmap& b) { EXPECT_EQ(InkOf(b).Count, 0); }},
        {"an anti-aliased ellipse has intermediate coverage",
         [](TCanvas&, TGraphics& g) {
             g.SetAntialias(true);
             g.FillEllipse(TGraphicsBrush{}, 3, 3, 25, 21);
         },
         [](TBitmap& b) { EXPECT_GT(InkOf(b).Colors.size(), 4u); }},
        {"the fast mode has none",
         [](TCanvas&, TGraphics& g) {
             g.SetAntialias(false);
             g.FillEllipse(TGraphicsBrush{}, 3, 3, 25, 21);
             g.DrawEllipse(TGraphicsPen{0xFF000000, 2.5f}, 3, 3, 25, 21);
         },
         [](TBitmap& b) {
             const TInk ink = InkOf(b);
             EXPECT_EQ(ink.Colors, (std::set<TColor>{0}));
             EXPECT_GT(ink.Count, 300);
         }},
        {"a half-transparent brush blends",
         [](TCanvas&, TGraphics& g) { g.FillRectangle(TGraphicsBrush{0x80000000}, 0, 0, 4, 4); },
         [](TBitmap& b) { EXPECT_EQ(TCanvas(b).GetPixel(1, 1), RGBColor(127, 127, 127)); }},
        {"an ellipse and a pie stay inside their box",
         [](TCanvas& c, TGraphics&) {
             c.Ellipse(0, 0, 11, 7);
             c.Brush.Color = 0;
             c.Pie(TRect{12, 12, 30, 30}, TPoint{30, 21}, TPoint{21, 12});
         },
         [](TBitmap& b) {
             TInk ink = InkOf(b);
             EXPECT_EQ(ink.Box, (TRect{0, 0, 29, 21}));  // the quarter reaches down to the centre
             TCanvas c(b);
             EXPECT_TRUE(Painted(b, 5, 0));
             EXPECT_TRUE(Painted(b, 0, 3));
             EXPECT_FALSE(Painted(b, 0, 0));
             // The pie is the upper right quarter: its lower left is empty.
             EXPECT_TRUE(Painted(b, 27, 18));
             EXPECT_FALSE(Painted(b, 15, 26));
             EXPECT_EQ(c.GetPixel(24, 16), 0);
             EXPECT_EQ(c.GetPixel(5, 3), kWhite);  // the ellipse's white brush
         }},
        {"drawing stays inside the clip rectangle",
         [](TCanvas& c, TGraphics& g) {
             c.IntersectClipRect(TRect{10, 10, 20, 20});
             c.Brush.Color = 0;
             c.FillRect(TRect{0, 0, 32, 32});
             g.FillEllipse(TGraphicsBrush{}, 0, 0, 32, 32);
             c.SetPixel(5, 5, 0);
         },
         [](TBitmap& b) { EXPECT_EQ(InkOf(b).Box, (TRect{10, 10, 19, 19})); }},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        TBitmap bitmap = White(32, 32);
        TCanvas canvas(bitmap);
        TGraphics graphics(canvas);
        c.draw(canvas, graphics);
        c.check(bitmap);
    }
}

TEST(CanvasTest, OtherPixelFormatsTakeTheSameDrawing) {
    for (TPixelFormat format : {TPixelFormat::pf32bit, TPixelFormat::pf16bit, TPixelFormat::pf8bit}) {
        TBitmap bitmap = White(20, 20, format);
        TCanvas canvas(bitmap);
        canvas.Brush.Color = 0;
        canvas.FillRect(TRect{2, 3, 7, 9});
        TGraphics(canvas).FillRectangle(TGraphicsBrush{}, 10, 10, 5, 5);
        const TInk ink = InkOf(bitmap);
        EXPECT_EQ(ink.Count, 30 + 25);
        EXPECT_EQ(ink.Box, (TRect{2, 3, 14, 14}));
    }
}

TEST(CanvasTest, BlitsCopyStretchAndMixThroughTheCopyMode) {
    TBitmap source = White(4, 2);
    TCanvas(source).SetPixel(1, 0, 0x0000FF);
    TBitmap target = White(12, 8);
    TCanvas canvas(target);
    canvas.Draw(0, 0, source);
    EXPECT_EQ(canvas.GetPixel(1, 0), 0x0000FF);
    canvas.StretchDraw(TRect{4, 2, 12, 6}, source);  // two by two
    EXPECT_EQ(canvas.GetPixel(6, 2), 0x0000FF);
    EXPECT_EQ(canvas.GetPixel(7, 3), 0x0000FF);
    EXPECT_EQ(canvas.GetPixel(8, 3), kWhite);
    canvas.CopyMode = SRCINVERT;
    canvas.CopyRect(TRect{0, 0, 4, 2}, source, TRect{0, 0, 4, 2});
    EXPECT_EQ(canvas.GetPixel(1, 0), 0);  // x xor x
    EXPECT_EQ(canvas.GetPixel(0, 0), 0);
    // Halftone averages what a pixel covers.
    TBitmap half = White(2, 1);
    TCanvas halfCanvas(half);
    halfCanvas.StretchMode = HALFTONE;
    TBitmap stripes = White(4, 1);
    TCanvas(stripes).SetPixel(0, 0, 0);
    TCanvas(stripes).SetPixel(2, 0, 0);
    halfCanvas.StretchDraw(TRect{0, 0, 2, 1}, stripes);
    EXPECT_EQ(halfCanvas.GetPixel(0, 0), RGBColor(128, 128, 128));
}

// The text's ink and extent against FreeType's own rendering of the same
// string by the face fontconfig chooses for the name.
TEST(CanvasTest, TextHasTheInkBoxAndExtentFreeTypeGives) {
    const std::u16string text = u"Quartz, gyp!";
    const int32_t em = 22;
    TBitmap bitmap = White(260, 60);
    TCanvas canvas(bitmap);
    canvas.Font.Name = "Arial";
    canvas.Font.Height = -em;
    canvas.Font.Color = 0;
    canvas.Brush.Style = BS_NULL;
    canvas.TextOut(7, 9, text);
    const TSize extent = canvas.TextExtent(text);
    const TInk ink = InkOf(bitmap);

    // The face: fontconfig's match for the name.
    FcInit();
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("Arial"));
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    ASSERT_NE(match, nullptr);
    FcChar8* file = nullptr;
    int index = 0;
    FcPatternGetString(match, FC_FILE, 0, &file);
    FcPatternGetInteger(match, FC_INDEX, 0, &index);
    const std::string path = reinterpret_cast<const char*>(file);
    FcPatternDestroy(match);
    FcPatternDestroy(pattern);
    EXPECT_EQ(canvas.FontFace().FileName(), path);

    FT_Library library;
    ASSERT_EQ(FT_Init_FreeType(&library), 0);
    FT_Face face;
    ASSERT_EQ(FT_New_Face(library, path.c_str(), index, &face), 0);
    FT_Set_Pixel_Sizes(face, 0, em);
    auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    ASSERT_NE(os2, nullptr);
    const int32_t ascent = static_cast<int32_t>(std::ceil(double(os2->usWinAscent) * em / face->units_per_EM - 1e-9));
    const int32_t descent = static_cast<int32_t>(std::ceil(double(os2->usWinDescent) * em / face->units_per_EM - 1e-9));
    TRect box{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
    int32_t penX = 7;
    const int32_t baseline = 9 + ascent;
    for (char16_t c : text) {
        ASSERT_EQ(FT_Load_Char(face, c, FT_LOAD_RENDER), 0);
        const FT_GlyphSlot slot = face->glyph;
        for (unsigned y = 0; y < slot->bitmap.rows; ++y)
            for (unsigned x = 0; x < slot->bitmap.width; ++x)
                if (slot->bitmap.buffer[y * static_cast<unsigned>(slot->bitmap.pitch) + x]) {
                    const int32_t px = penX + slot->bitmap_left + static_cast<int32_t>(x);
                    const int32_t py = baseline - slot->bitmap_top + static_cast<int32_t>(y);
                    box.Left = std::min(box.Left, px);
                    box.Top = std::min(box.Top, py);
                    box.Right = std::max(box.Right, px);
                    box.Bottom = std::max(box.Bottom, py);
                }
        penX += static_cast<int32_t>((slot->advance.x + 32) >> 6);
    }
    FT_Done_Face(face);
    FT_Done_FreeType(library);

    EXPECT_EQ(extent, (TSize{penX - 7, ascent + descent}));
    EXPECT_EQ(ink.Box, box);
    EXPECT_GT(ink.Colors.size(), 2u);  // smoothed edges
    EXPECT_EQ(canvas.PenPos, (TPoint{penX, 9}));
}

// A canvas on a bitmap of device pixel ratio 2 takes layout pixels: what
// lies on whole pixels comes out as the same picture with every pixel a 2 x 2
// block, while text and curves are drawn at the full density.
namespace {

TBitmap WhiteAt(int32_t width, int32_t height, int32_t ratio) {
    TBitmap bitmap;
    bitmap.SetPixelFormat(TPixelFormat::pf32bit);
    bitmap.SetDevicePixelRatio(ratio);
    bitmap.SetSize(width * ratio, height * ratio);
    TCanvas canvas(bitmap);
    canvas.Brush.Color = kWhite;
    canvas.FillRect(TRect{0, 0, width, height});
    return bitmap;
}

uint32_t RawPixel(const TBitmap& bitmap, int32_t x, int32_t y) {
    const uint8_t* p = bitmap.ScanLine(y) + x * 4;
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16;
}

}  // namespace

TEST(CanvasTest, AtRatioTwoWholePixelDrawingIsTheSamePictureInBlocks) {
    TBitmap tile = WhiteAt(3, 2, 1);
    {
        TCanvas canvas(tile);
        canvas.SetPixel(0, 0, 0x0000FF);
        canvas.SetPixel(2, 1, 0x00FF00);
    }
    const std::function<void(TCanvas&)> scenes[] = {
        [](TCanvas& c) { c.Brush.Color = 0xFF0000; c.FillRect({3, 4, 17, 9}); },
        [](TCanvas& c) { c.Brush.Color = 0x00AA00; c.FrameRect({2, 2, 20, 15}); },
        [](TCanvas& c) { c.Pen.Color = 0; c.MoveTo(1, 1); c.LineTo(20, 13); c.LineTo(5, 18); },
        [](TCanvas& c) { c.Pen.Color = 0; c.Pen.Style = PS_DOT; c.MoveTo(0, 10); c.LineTo(24, 10); },
        [](TCanvas& c) { c.Pen.Color = 0x0000FF; c.Brush.Color = 0xFFFF00; c.Rectangle(4, 3, 18, 16); },
        [](TCanvas& c) { c.Brush.Style = BS_HATCHED; c.Brush.Hatch = HS_DIAGCROSS; c.Brush.Color = 0; c.FillRect({0, 0, 24, 20}); },
        [](TCanvas& c) { c.SetPixel(7, 7, 0x123456); c.SetPixel(23, 19, 0x654321); },
        [&tile](TCanvas& c) { c.Draw(5, 6, tile); c.StretchDraw({10, 10, 16, 14}, tile); c.TileRect({0, 15, 11, 20}, tile); },
        [](TCanvas& c) {
            // Clipping by a combined region, in layout pixels.
            TRegion region(TRect{2, 2, 10, 10});
            region.Combine(TRegion(TRect{8, 8, 20, 18}), RGN_OR);
            c.SelectClipRegion(&region);
            c.ExcludeClipRect({4, 4, 6, 6});
            c.Brush.Color = 0x808080;
            c.FillRect({0, 0, 24, 20});
            EXPECT_EQ(c.ClipRect(), (TRect{2, 2, 20, 18}));
        },
    };
    int scene = 0;
    for (const auto& draw : scenes) {
        SCOPED_TRACE(scene++);
        TBitmap one = WhiteAt(24, 20, 1), two = WhiteAt(24, 20, 2);
        TCanvas a(one), b(two);
        EXPECT_EQ(b.Width(), 24);
        EXPECT_EQ(b.Height(), 20);
        draw(a);
        draw(b);
        int differ = 0;
        for (int32_t y = 0; y < 40; ++y)
            for (int32_t x = 0; x < 48; ++x) differ += RawPixel(two, x, y) != RawPixel(one, x / 2, y / 2);
        EXPECT_EQ(differ, 0);
        // The pen position stays in layout pixels.
        EXPECT_EQ(b.PenPos, a.PenPos);
    }
}

TEST(CanvasTest, AtRatioTwoTextAndCurvesAreDrawnAtTheFullDensity) {
    TBitmap one = WhiteAt(120, 40, 1), two = WhiteAt(120, 40, 2);
    TCanvas a(one), b(two);
    for (TCanvas* c : {&a, &b}) {
        c->Font.Name = "DejaVu Sans";
        c->Font.Height = -14;
        c->Brush.Style = BS_NULL;
        c->TextOut(4, 4, u"Crisp Ag");
        c->Pen.Color = 0xFF;
        c->Brush.Style = BS_SOLID;
        c->Brush.Color = 0xFF;
        c->Ellipse(80, 5, 110, 35);
    }
    // Measured in layout pixels, the same at both densities (a line is as
    // long at every density, so layouts do not change with the screen).
    EXPECT_EQ(b.TextExtent(u"Crisp Ag"), a.TextExtent(u"Crisp Ag"));
    EXPECT_EQ(b.PenPos, a.PenPos);
    // The text's ink spans twice the device pixels, and is not the small
    // text blown up: many 2 x 2 blocks hold more than one shade.
    int mixedBlocks = 0, text = 0;
    for (int32_t y = 0; y < 80; y += 2)
        for (int32_t x = 0; x < 150; x += 2) {
            const uint32_t p = RawPixel(two, x, y);
            if (p != RawPixel(two, x + 1, y) || p != RawPixel(two, x, y + 1) || p != RawPixel(two, x + 1, y + 1)) ++mixedBlocks;
            for (int32_t k = 0; k < 4; ++k) text += RawPixel(two, x + k % 2, y + k / 2) != 0xFFFFFF;
        }
    EXPECT_GT(mixedBlocks, 40);
    int textOne = 0;
    for (int32_t y = 0; y < 40; ++y)
        for (int32_t x = 0; x < 75; ++x) textOne += RawPixel(one, x, y) != 0xFFFFFF;
    EXPECT_NEAR(double(text) / textOne, 4.0, 1.2);
    // The ellipse covers four times the pixels.
    int ellipseOne = 0, ellipseTwo = 0;
    for (int32_t y = 0; y < 40; ++y)
        for (int32_t x = 80; x < 120; ++x) ellipseOne += RawPixel(one, x, y) == 0xFF0000;
    for (int32_t y = 0; y < 80; ++y)
        for (int32_t x = 160; x < 240; ++x) ellipseTwo += RawPixel(two, x, y) == 0xFF0000;
    EXPECT_NEAR(double(ellipseTwo) / ellipseOne, 4.0, 0.3);
}

TEST(CanvasTest, AtRatioTwoSmoothFiguresTakeLayoutCoordinates) {
    TBitmap one = WhiteAt(40, 40, 1), two = WhiteAt(40, 40, 2);
    for (TBitmap* bitmap : {&one, &two}) {
        TCanvas canvas(*bitmap);
        TGraphics graphics(canvas);
        graphics.FillEllipse(TGraphicsBrush{}, 10, 10, 20, 20);
        graphics.DrawLine(TGraphicsPen{0xFFFF0000u, 2, 0}, 0, 38, 39, 38);
    }
    // The disc's centre is dark in both, at the same layout place.
    EXPECT_EQ(RawPixel(one, 20, 20), 0u);
    EXPECT_EQ(RawPixel(two, 40, 40), 0u);
    EXPECT_EQ(RawPixel(two, 4, 4), 0xFFFFFFu);
    // Its coverage is four times the pixels; the line lies on the same row.
    auto dark = [](const TBitmap& b) {
        int n = 0;
        for (int32_t y = 0; y < b.Height(); ++y)
            for (int32_t x = 0; x < b.Width(); ++x) n += RawPixel(b, x, y) == 0;
        return n;
    };
    EXPECT_NEAR(double(dark(two)) / dark(one), 4.0, 0.4);
    EXPECT_EQ(RawPixel(two, 40, 76), 0xFF0000u);  // red (blue first in memory)
}
