// Clip regions of the canvas, saved states, text laid out in a rectangle,
// tiled fills and gradients: pixels inside and outside what each one covers.
#include <gtest/gtest.h>

#include "platform/canvas.h"
#include "platform/graphics.h"
#include "platform/region.h"

namespace {

TBitmap Filled(int32_t width, int32_t height, TColor color) {
    TBitmap bitmap;
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    bitmap.SetSize(width, height);
    TCanvas canvas(bitmap);
    canvas.Brush.Color = static_cast<uint32_t>(color);
    canvas.FillRect(TRect{0, 0, width, height});
    return bitmap;
}

TEST(Region, ShapesAndCombinationsHoldTheExpectedPixels) {
    TRegion ellipse = TRegion::Ellipse(TRect{0, 0, 10, 10});
    EXPECT_TRUE(ellipse.Contains(5, 5));
    EXPECT_FALSE(ellipse.Contains(0, 0));
    EXPECT_FALSE(ellipse.Contains(10, 5));
    EXPECT_EQ(ellipse.Bounds(), (TRect{0, 0, 10, 10}));

    TRegion triangle = TRegion::Polygon({{0, 0}, {8, 0}, {0, 8}});
    EXPECT_TRUE(triangle.Contains(1, 1));
    EXPECT_FALSE(triangle.Contains(6, 6));

    struct TCase {
        int32_t Operation;
        bool Left, Middle, Right;  // (2, 2), (6, 2), (10, 2)
    } cases[] = {{RGN_AND, false, true, false},
                 {RGN_OR, true, true, true},
                 {RGN_DIFF, true, false, false},
                 {RGN_XOR, true, false, true},
                 {RGN_COPY, false, true, true}};
    for (const TCase& c : cases) {
        TRegion region(TRect{0, 0, 8, 4});
        region.Combine(TRegion(TRect{4, 0, 12, 4}), c.Operation);
        EXPECT_EQ(region.Contains(2, 2), c.Left) << c.Operation;
        EXPECT_EQ(region.Contains(6, 2), c.Middle) << c.Operation;
        EXPECT_EQ(region.Contains(10, 2), c.Right) << c.Operation;
    }
    TRegion moved(TRect{0, 0, 2, 2});
    moved.Offset(5, 5);
    EXPECT_EQ(moved.Bounds(), (TRect{5, 5, 7, 7}));
}

TEST(CanvasClip, EveryKindOfDrawingKeepsToACombinedRegion) {
    // Two squares joined, a hole cut out of the first.
    TRegion clip(TRect{0, 0, 10, 10});
    clip.Combine(TRegion(TRect{20, 0, 30, 10}), RGN_OR);
    clip.Combine(TRegion::Ellipse(TRect{2, 2, 8, 8}), RGN_DIFF);
    TBitmap tile = Filled(4, 4, 0x00FF00);

    using TDraw = std::function<void(TCanvas&)>;
    const std::pair<const char*, TDraw> draws[] = {
        {"FillRect", [](TCanvas& c) { c.Brush.Color = 0xFF; c.FillRect(TRect{0, 0, 40, 12}); }},
        {"CopyRect", [&](TCanvas& c) { for (int y = 0; y < 12; y += 4) for (int x = 0; x < 40; x += 4) c.Draw(x, y, tile); }},
        {"Graphics", [](TCanvas& c) { TGraphics g(c); g.FillRectangle(TGraphicsBrush{0xFF0000FF}, 0, 0, 40, 12); }},
        {"TileRect", [&](TCanvas& c) { c.TileRect(TRect{0, 0, 40, 12}, tile); }},
    };
    for (const auto& [name, draw] : draws) {
        TBitmap bitmap = Filled(40, 12, 0xFFFFFF);
        TCanvas canvas(bitmap);
        canvas.SelectClipRegion(&clip);
        EXPECT_EQ(canvas.ClipRect(), (TRect{0, 0, 30, 10}));
        draw(canvas);
        canvas.ResetClip();
        EXPECT_NE(canvas.GetPixel(0, 0), 0xFFFFFF) << name;     // inside
        EXPECT_NE(canvas.GetPixel(25, 5), 0xFFFFFF) << name;    // the second square
        EXPECT_EQ(canvas.GetPixel(5, 5), 0xFFFFFF) << name;     // the hole
        EXPECT_EQ(canvas.GetPixel(15, 5), 0xFFFFFF) << name;    // between
        EXPECT_EQ(canvas.GetPixel(5, 11), 0xFFFFFF) << name;    // below
    }
}

TEST(CanvasClip, SavedStatesComeBackInOrder) {
    TBitmap bitmap = Filled(20, 20, 0xFFFFFF);
    TCanvas canvas(bitmap);
    TRegion region;
    EXPECT_FALSE(canvas.GetClipRegion(region));
    EXPECT_EQ(region.Bounds(), (TRect{0, 0, 20, 20}));
    canvas.Brush.Color = 0x123456;
    const int first = canvas.SaveDC();
    canvas.IntersectClipRect(TRect{0, 0, 10, 10});
    canvas.Brush.Color = 0xFF;
    canvas.SaveDC();
    canvas.ExcludeClipRect(TRect{0, 0, 5, 5});
    EXPECT_FALSE(canvas.PtVisible(2, 2));
    EXPECT_TRUE(canvas.PtVisible(7, 2));
    EXPECT_TRUE(canvas.RestoreDC());
    EXPECT_TRUE(canvas.PtVisible(2, 2));
    EXPECT_FALSE(canvas.PtVisible(12, 2));
    EXPECT_TRUE(canvas.GetClipRegion(region));
    EXPECT_TRUE(canvas.RestoreDC(first));
    EXPECT_TRUE(canvas.PtVisible(12, 2));
    EXPECT_EQ(canvas.Brush.Color, 0x123456u);
    EXPECT_FALSE(canvas.RestoreDC());
}

TEST(CanvasText, DrawTextLaysOutLinesAndAligns) {
    TBitmap bitmap = Filled(200, 100, 0xFFFFFF);
    TCanvas canvas(bitmap);
    canvas.Font.Name = "DejaVu Sans";
    canvas.Brush.Style = BS_NULL;
    const TSize word = canvas.TextExtent(u"word");
    const int32_t line = canvas.TextExtent(u"").cy;

    TRect calc{10, 10, 10 + canvas.TextExtent(u"word word").cx, 10};
    EXPECT_EQ(canvas.DrawText(u"word word word", calc, DT_WORDBREAK | DT_CALCRECT), 2 * line);
    EXPECT_EQ(calc.Bottom, 10 + 2 * line);
    TRect single{0, 0, 50, 10};
    canvas.DrawText(u"a\nb", single, DT_SINGLELINE | DT_CALCRECT);
    EXPECT_EQ(single.Bottom, line);
    TRect prefix{0, 0, 0, 0};
    canvas.DrawText(u"&word", prefix, DT_CALCRECT);
    EXPECT_EQ(prefix.Right, word.cx);
    TRect ellipsis{0, 0, word.cx * 2, 0};
    canvas.DrawText(u"wordwordwordword", ellipsis, DT_SINGLELINE | DT_END_ELLIPSIS | DT_CALCRECT);
    EXPECT_LE(ellipsis.Right, word.cx * 2);

    // Right and bottom alignment put the ink in the rectangle's corner, and
    // nothing is drawn outside the rectangle.
    TRect box{20, 20, 180, 80};
    canvas.DrawText(u"word", box, DT_SINGLELINE | DT_RIGHT | DT_BOTTOM);
    int32_t minX = 1000, maxY = -1, outside = 0;
    for (int32_t y = 0; y < 100; ++y)
        for (int32_t x = 0; x < 200; ++x)
            if (canvas.GetPixel(x, y) != 0xFFFFFF) {
                minX = std::min(minX, x);
                maxY = std::max(maxY, y);
                if (x < 20 || x >= 180 || y < 20 || y >= 80) ++outside;
            }
    EXPECT_GE(minX, 180 - word.cx);
    EXPECT_GT(maxY, 80 - line / 2);
    EXPECT_EQ(outside, 0);
}

TEST(CanvasText, EmbossedTextHasHighlightBelowRightOfShadow) {
    SetSystemColor(COLOR_BTNHIGHLIGHT, 0x00FF00);
    SetSystemColor(COLOR_BTNSHADOW, 0x0000FF);
    TBitmap bitmap = Filled(60, 30, 0xFFFFFF);
    TCanvas canvas(bitmap);
    canvas.Font.Name = "DejaVu Sans";
    canvas.Font.Color = 0x123456;
    canvas.Font.Height = -24;
    canvas.Font.Bold = true;
    canvas.DrawTextEmbossed(u"I", TRect{0, 0, 60, 30}, DT_SINGLELINE);
    // Where each colour shows on its own, the highlight sits lower right.
    double shadowX = 0, shadowY = 0, highlightX = 0, highlightY = 0;
    int32_t shadows = 0, highlights = 0;
    for (int32_t y = 0; y < 30; ++y)
        for (int32_t x = 0; x < 60; ++x) {
            const TColor c = canvas.GetPixel(x, y);
            if (RedOf(c) > 200 && GreenOf(c) < 60) shadowX += x, shadowY += y, ++shadows;
            if (GreenOf(c) > 200 && RedOf(c) < 60) highlightX += x, highlightY += y, ++highlights;
        }
    ResetSystemColors();
    ASSERT_GT(shadows, 0);
    ASSERT_GT(highlights, 0);
    EXPECT_GT(highlightX / highlights, shadowX / shadows);
    EXPECT_GT(highlightY / highlights, shadowY / shadows);
    EXPECT_EQ(canvas.Font.Color, 0x123456u);
}

TEST(Graphics, LinearGradientRunsBetweenItsColoursWithOpacity) {
    TBitmap bitmap = Filled(101, 10, 0xFFFFFF);
    TCanvas canvas(bitmap);
    TGraphics graphics(canvas);
    graphics.FillRectangle(TGraphicsBrush::LinearGradient(0, 0, 101, 10, 0xFFFF0000, 0xFF0000FF, 0), 0, 0, 101, 10);
    const TColor left = canvas.GetPixel(0, 5), middle = canvas.GetPixel(50, 5), right = canvas.GetPixel(100, 5);
    EXPECT_GE(RedOf(left), 250);
    EXPECT_GE(BlueOf(right), 250);
    EXPECT_NEAR(RedOf(middle), 128, 4);
    EXPECT_NEAR(BlueOf(middle), 128, 4);
    // Half-transparent black over white is mid grey.
    graphics.FillRectangle(TGraphicsBrush::LinearGradient(0, 0, 10, 101, 0x80000000, 0x80000000, 1), 0, 0, 101, 10);
    EXPECT_NEAR(RedOf(canvas.GetPixel(0, 0)), 127, 3);
}

}  // namespace
