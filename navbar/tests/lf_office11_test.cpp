// The Office 2003 helpers: the scheme a theme's names give, the colour
// arithmetic, gradient bands between two colours, and the finger grips.
#include <gtest/gtest.h>

#include "navbar/lf_graphics.h"
#include "navbar/lf_office11.h"

#include <set>

namespace {

struct TSurface {
    TSurface(int32_t w, int32_t h) {
        bitmap.SetPixelFormat(TPixelFormat::pf24bit);
        bitmap.SetSize(w, h);
        canvas = std::make_unique<TCanvas>(bitmap);
        canvas->Brush.Color = 0xFFFFFF;
        canvas->FillRect(TRect{0, 0, w, h});
    }
    TBitmap bitmap;
    std::unique_ptr<TCanvas> canvas;
};

TEST(Office11, SchemesFromThemeNamesAndNoneWithoutAVisualStyleFile) {
    EXPECT_EQ(Office11SchemeFromTheme("C:/WINDOWS/Resources/Themes/Luna/Luna.msstyles", "Metallic", 5), 3);
    EXPECT_EQ(Office11SchemeFromTheme("luna.msstyles", "homestead", 5), 2);
    EXPECT_EQ(Office11SchemeFromTheme("Royale.msstyles", "NormalColor", 5), 0);
    EXPECT_EQ(Office11SchemeFromTheme("Aero.msstyles", "NormalColor", 6), 1);
    EXPECT_EQ(Office11SchemeFromTheme("luna.msstyles", "Other", 5), 0);
    // Here the desktop has no such file: the scheme derived from the system
    // colours.
    AcquireOffice11Colors();
    EXPECT_EQ(Office11SchemeIndex(), 0);
    EXPECT_FALSE(Office11Themed());
    EXPECT_EQ(GripFingerDarkColor(), MixRGB(SysColor(COLOR_BTNSHADOW), SysColor(COLOR_WINDOW), 76));
    EXPECT_EQ(GripFingerLightColor(), GetSysColor(COLOR_WINDOW));
    EXPECT_EQ(NavPaneColors().BorderColor, GetSysColor(COLOR_BTNSHADOW));
    EXPECT_EQ(NavPaneColors().HeaderColor2, NavPaneColors().BorderColor);
    DiscardOffice11Colors();
    EXPECT_EQ(Office11ColorUsers(), 0);
}

TEST(Office11, ColourArithmetic) {
    EXPECT_EQ(ScaleColor(0x808080, 60), 0x4D4D4D);  // 76.8 rounds to 77
    EXPECT_EQ(ScaleColor(0x0A0A0A, 25), 0x020202);  // 2.5: halves to even
    EXPECT_EQ(FadeColor(0x000000, 20), 0xCCCCCC);   // 0 + 204
    EXPECT_EQ(FadeColor(0xFFFFFF, 40), 0xFFFFFF);   // 102 + 153
    EXPECT_EQ(MixRGB(0xFFFFFF, 0x000000, 50), 0x808080);
    EXPECT_EQ(MixRGB(0x0000FF, 0xFF0000, 100), 0x0000FF);
}

TEST(Office11, GradientBandsBetweenTwoColours) {
    struct TCase {
        int32_t Width;
        bool Horizontal;
    } cases[] = {{300, true}, {256, true}, {17, false}};
    for (const TCase& c : cases) {
        const int32_t w = c.Horizontal ? c.Width : 4, h = c.Horizontal ? 4 : c.Width;
        TSurface s(w, h);
        FillRectGradient(*s.canvas, TRect{0, 0, w, h}, 0x000000, RGBColor(255, 0, 0), c.Horizontal);
        auto at = [&](int32_t i) { return RedOf(c.Horizontal ? s.canvas->GetPixel(i, 2) : s.canvas->GetPixel(2, i)); };
        EXPECT_EQ(at(0), 0) << c.Width;
        EXPECT_EQ(at(c.Width - 1), 255) << c.Width;
        // Band i of N has From + MulDiv(i, To - From, N - 1).
        const int32_t bands = std::min(c.Width, 256);
        const int32_t middle = c.Width / 2;
        int32_t band = 0;
        while ((band + 1) * c.Width / bands <= middle) ++band;  // the band that holds the middle pixel
        EXPECT_NEAR(at(middle), (band * 255 + (bands - 1) / 2) / (bands - 1), 1) << c.Width;
        // Distinct colours: one per band.
        std::set<int> colours;
        for (int32_t i = 0; i < c.Width; ++i) colours.insert(at(i));
        EXPECT_EQ(static_cast<int32_t>(colours.size()), bands) << c.Width;
    }
    TSurface plain(10, 10);
    FillRectGradient(*plain.canvas, TRect{0, 0, 10, 10}, 0x00FF00, 0x00FF00, true);
    EXPECT_EQ(plain.canvas->GetPixel(9, 9), 0x00FF00);
}

TEST(Office11, CornerGripIsATriangleOfSixFingers) {
    TSurface s(12, 12);
    DrawCornerGrip(*s.canvas, TRect{0, 0, 12, 12}, 0x0000FF, 0x00FF00);
    // Rows of 3, 2 and 1 fingers rising to the right: dark 2 x 2 dots, each
    // with a light one a unit down-right behind it.
    int dark = 0, light = 0;
    for (int32_t y = 0; y < 12; ++y)
        for (int32_t x = 0; x < 12; ++x) {
            const TColor c = s.canvas->GetPixel(x, y);
            dark += c == 0x0000FF;
            light += c == 0x00FF00;
        }
    EXPECT_EQ(dark, 6 * 4);
    EXPECT_EQ(light, 6 * 3);  // each light dot is half hidden behind its dark one
    EXPECT_EQ(s.canvas->GetPixel(0, 0), 0xFFFFFF);   // top-left stays empty
    EXPECT_EQ(s.canvas->GetPixel(8, 1), 0x0000FF);   // the top finger
    EXPECT_EQ(s.canvas->GetPixel(10, 3), 0x00FF00);  // its light dot
    EXPECT_EQ(s.canvas->GetPixel(0, 9), 0x0000FF);   // the bottom-left finger
    EXPECT_EQ(s.canvas->GetPixel(1, 5), 0xFFFFFF);   // no finger above the bottom row on the left
}

}  // namespace
