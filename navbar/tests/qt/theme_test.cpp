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

}  // namespace
