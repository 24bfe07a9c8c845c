// The visual-styles binding over Qt's style: a part Qt can draw paints
// pixels into our canvas, a class without a counterpart has no theme, and a
// new palette reopens the themes and reaches each listener once. The parts
// drawn are saved as a picture to look at.
#include <gtest/gtest.h>

#include <filesystem>

#include "navbar/kr_gdiplus.h"
#include "navbar/lf_graphics.h"
#include "navbar/lf_theme.h"
#include "platform/ui/qt/qt_testing.h"

namespace {

struct TSheet {
    TSheet() {
        bitmap.SetPixelFormat(TPixelFormat::pf24bit);
        bitmap.SetSize(240, 40);
        canvas = std::make_unique<TCanvas>(bitmap);
        canvas->Brush.Color = 0xFFFFFF;
        canvas->FillRect(TRect{0, 0, 240, 40});
    }
    int Inked(const TRect& r) const {
        int n = 0;
        for (int32_t y = r.Top; y < r.Bottom; ++y)
            for (int32_t x = r.Left; x < r.Right; ++x) n += canvas->GetPixel(x, y) != 0xFFFFFF;
        return n;
    }
    TBitmap bitmap;
    std::unique_ptr<TCanvas> canvas;
};

TEST(ThemeBinding, PartsWithACounterpartPaintAndOthersHaveNoTheme) {
    ASSERT_TRUE(QtTesting::Running());
    ASSERT_TRUE(ThemeLibraryBound());
    ASSERT_TRUE(ThemeActive());
    const TTheme button = AcquireThemeHandle(totButton);
    ASSERT_NE(button, 0);
    EXPECT_EQ(AcquireThemeHandle(totButton), button);  // not reopened
    const TTheme scroll = AcquireThemeHandle(totScrollBar);
    EXPECT_EQ(AcquireThemeHandle(totScrollBar, u"SCROLLBAR"), scroll);  // letter case does not count
    EXPECT_EQ(AcquireThemeHandle(totExplorerBar), 0);                   // no counterpart: no theme
    EXPECT_FALSE(VisualStylesActive({totButton, totExplorerBar}));
    EXPECT_TRUE(VisualStylesActive({totButton, totScrollBar}));

    TSheet sheet;
    struct TPart {
        TkrThemedObjectType Type;
        int Part, State;
    } parts[] = {{totButton, 1, 1}, {totButton, 3, 5}, {totScrollBar, 1, 5}, {totHeader, 1, 1},
                 {totProgress, 3, 1}, {totEdit, 1, 1}};
    for (size_t i = 0; i < std::size(parts); ++i) {
        const TRect r{int32_t(i) * 40 + 4, 4, int32_t(i) * 40 + 36, 36};
        EXPECT_EQ(DrawThemeBackground(AcquireThemeHandle(parts[i].Type), *sheet.canvas, parts[i].Part, parts[i].State, r), 0)
            << i;
        EXPECT_GT(sheet.Inked(r), 20) << i;
    }
    // A part the style has nothing for is refused and paints nothing.
    EXPECT_NE(DrawThemeBackground(button, *sheet.canvas, 77, 1, TRect{0, 0, 4, 4}), 0);
    EXPECT_EQ(sheet.Inked(TRect{0, 0, 4, 4}), 0);

    std::filesystem::create_directories(TW_ARTIFACT_DIR);
    TkrPNGImage png;
    png.LoadFromBitmap(sheet.bitmap);
    png.SaveToFile(std::string(TW_ARTIFACT_DIR) + "/theme-parts.png");
}

TEST(ThemeBinding, APaletteChangeReopensThemesAndReachesListenersOnce) {
    const TTheme before = AcquireThemeHandle(totButton);
    ASSERT_NE(before, 0);
    int heard = 0, heardSecond = 0;
    TkrThemeChangedNotificator first, second, silent;
    first.OnThemeChanged = [&] { ++heard; };
    second.OnThemeChanged = [&] { ++heardSecond; };
    QtTesting::ChangePalette(RGBColor(10, 200, 30));
    QtTesting::ProcessEvents(50);
    EXPECT_EQ(heard, 1);
    EXPECT_EQ(heardSecond, 1);
    EXPECT_EQ(GetSysColor(COLOR_BTNFACE), RGBColor(10, 200, 30));
    // Closed by the change and reopened on the next use.
    const TTheme after = AcquireThemeHandle(totButton);
    EXPECT_NE(after, 0);
    EXPECT_NE(after, before);
}

// The wrappers with no drawing of their own in Qt's style: sizes, margins,
// colours and regions come from the style where it has them; a closed
// theme (a class without a counterpart) answers "no theme" and leaves the
// arguments as the caller's fallback needs them.
TEST(ThemeBinding, TheOtherWrappersAnswerFromTheStyleOrReportNoTheme) {
    ASSERT_TRUE(QtTesting::Running());
    const TTheme button = AcquireThemeHandle(totButton);
    const TTheme explorer = AcquireThemeHandle(totExplorerBar);
    ASSERT_NE(button, 0);
    ASSERT_EQ(explorer, 0);

    // Content inside the push button's frame; none for no theme.
    TRect content;
    EXPECT_EQ(GetThemeBackgroundContentRect(button, 1, 1, {10, 10, 110, 40}, content), 0);
    EXPECT_GT(content.Left, 10);
    EXPECT_LT(content.Right, 110);
    EXPECT_LE(content.Top, content.Bottom);
    EXPECT_EQ(GetThemeBackgroundContentRect(explorer, 1, 1, {10, 10, 110, 40}, content), kThemeFailed);
    EXPECT_EQ(content, (TRect{10, 10, 110, 40}));

    // A check box's own size; the drawing size is the rectangle's.
    TSize size{};
    EXPECT_EQ(GetThemePartSize(button, 3, 1, TS_TRUE, size), 0);
    EXPECT_GT(size.cx, 5);
    EXPECT_GT(size.cy, 5);
    const TRect box{0, 0, 30, 20};
    EXPECT_EQ(GetThemePartSize(button, 3, 1, &box, TS_DRAW, size), 0);
    EXPECT_EQ(size.cx, 30);
    EXPECT_NE(GetThemePartSize(button, 1, 1, TS_TRUE, size), 0);  // a push button has no size of its own
    EXPECT_EQ(GetThemePartSize(explorer, 3, 1, TS_TRUE, size), kThemeFailed);

    // The region a radio button covers is inside its rectangle and not all of it.
    TRegion region;
    EXPECT_EQ(GetThemeBackgroundRegion(button, 2, 1, {5, 5, 25, 25}, region), 0);
    EXPECT_FALSE(region.Empty());
    const TRect bounds = region.Bounds();
    EXPECT_GE(bounds.Left, 5);
    EXPECT_LE(bounds.Right, 25);
    EXPECT_TRUE(IsThemeBackgroundPartiallyTransparent(button, 2, 1));
    EXPECT_EQ(GetThemeBackgroundRegion(explorer, 2, 1, {5, 5, 25, 25}, region), kThemeFailed);
    EXPECT_TRUE(region.Empty());
    EXPECT_FALSE(IsThemeBackgroundPartiallyTransparent(explorer, 1, 1));

    // Colours of the palette: the button's fill is the button face.
    TColor color = -1;
    EXPECT_EQ(GetThemeColor(button, 1, 1, 3802, color), 0);
    EXPECT_EQ(color, GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(GetThemeColor(button, 1, 1, 3803, color), 0);
    EXPECT_EQ(color, GetSysColor(COLOR_BTNTEXT));
    EXPECT_EQ(GetThemeColor(button, 1, 1, 9999, color), kThemeFailed);
    EXPECT_EQ(GetThemeColor(explorer, 1, 1, 3810, color), kThemeFailed);

    // Edges with our canvas: a sunken edge, the content inside it.
    TSheet sheet;
    TRect inside;
    EXPECT_EQ(DrawThemeEdge(button, *sheet.canvas, 1, 1, {10, 10, 30, 30}, EDGE_SUNKEN, BF_RECT | BF_ADJUST, &inside), 0);
    EXPECT_EQ(inside, (TRect{12, 12, 28, 28}));
    EXPECT_EQ(sheet.canvas->GetPixel(10, 20), GetSysColor(COLOR_BTNSHADOW));
    EXPECT_EQ(sheet.canvas->GetPixel(29, 20), GetSysColor(COLOR_BTNHIGHLIGHT));
    EXPECT_EQ(sheet.canvas->GetPixel(11, 20), GetSysColor(COLOR_3DDKSHADOW));
    EXPECT_EQ(sheet.canvas->GetPixel(20, 20), 0xFFFFFF);
    EXPECT_EQ(DrawThemeEdge(explorer, *sheet.canvas, 1, 1, {40, 10, 60, 30}, EDGE_RAISED, BF_RECT), kThemeFailed);
    EXPECT_EQ(sheet.Inked({40, 10, 60, 30}), 0);

    // 8-bit text in the system code page.
    sheet.canvas->Font.Name = "DejaVu Sans";
    EXPECT_EQ(DrawThemeText(button, *sheet.canvas, 1, 1, std::string("Caf\xe9"), DT_SINGLELINE, {70, 5, 160, 35}), 0);
    EXPECT_GT(sheet.Inked({70, 5, 160, 35}), 20);
    EXPECT_EQ(DrawThemeText(explorer, *sheet.canvas, 1, 1, std::string("x"), DT_SINGLELINE, {170, 5, 230, 35}), kThemeFailed);
}

}  // namespace
