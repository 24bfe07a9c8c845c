// Speed and bitmap buttons: glyph and wide caption placed by the layout
// rules (checked in pixels of what our canvas painted), grouped speed
// buttons staying down one at a time, and clicks.
#include <gtest/gtest.h>

#include "controls/ucgraphics.h"
#include "controls/ui/ucbuttons.h"
#include "controls/ui/ucforms.h"
#include "platform/testing/test_support.h"
#include "platform/ui/qt/qt_testing.h"
#include "controls/ui/tests/require_qt.h"

namespace {

constexpr TColor Olive = RGBColor(128, 128, 0);  // the transparent colour
constexpr TColor Red = RGBColor(255, 0, 0);
constexpr TColor Blue = RGBColor(0, 0, 255);

// Two 16 x 16 glyphs side by side (up: red, disabled: blue), each a square
// inset by 2 on an olive ground.
void MakeGlyph(TBitmap& glyph) {
    glyph.SetPixelFormat(TPixelFormat::pf32bit);
    glyph.SetSize(32, 16);
    TCanvas canvas(glyph);
    canvas.Brush.Color = static_cast<uint32_t>(Olive);
    canvas.FillRect({0, 0, 32, 16});
    canvas.Brush.Color = static_cast<uint32_t>(Red);
    canvas.FillRect({2, 2, 14, 14});
    canvas.Brush.Color = static_cast<uint32_t>(Blue);
    canvas.FillRect({18, 2, 30, 14});
}

TColor PixelAt(const TBitmap& surface, int x, int y) {
    TCanvas canvas(const_cast<TBitmap&>(surface));
    return canvas.GetPixel(x, y);
}

struct TFormFixture {
    TFormFixture() {
        Form.SetBounds(30, 30, 400, 200);
        Form.Show();
    }
    void Painted() { ASSERT_TRUE(QtTesting::WaitUntil([this] { return !Form.NeedsPaint(); })); }
    TUcForm Form{nullptr};
};

}  // namespace

TEST(UcButtonLayout, MarginAndSpacingPlaceGlyphAndCaption) {
    TBitmap scratch;
    scratch.SetSize(10, 10);
    TCanvas canvas(scratch);
    const WideString caption = u"Ωκ 中";
    const int32_t tx = WideCanvasTextExtent(canvas, caption).cx;
    const TRect client{0, 0, 200, 40};
    // Margin and spacing -1: three equal gaps across.
    TWideButtonLayout l = CalcWideButtonLayout(canvas, client, {0, 0}, caption, blGlyphLeft, -1, -1, {16, 16});
    const int gap = (200 - (16 + tx)) / 3;
    EXPECT_EQ(l.GlyphPos.X, gap);
    EXPECT_EQ(l.TextBounds.Left, gap + 16 + gap);
    EXPECT_EQ(l.GlyphPos.Y, (40 - 16 + 1) / 2);
    // Right to left: glyph-left becomes glyph-right.
    l = CalcWideButtonLayout(canvas, client, {0, 0}, caption, blGlyphLeft, 5, 3, {16, 16}, true);
    EXPECT_EQ(l.GlyphPos.X, 200 - 5 - 16);
    EXPECT_EQ(l.TextBounds.Right, 200 - 5 - 16 - 3);
    // Glyph on top, with the offset of a pressed button.
    l = CalcWideButtonLayout(canvas, client, {1, 1}, caption, blGlyphTop, 2, 4, {16, 16});
    EXPECT_EQ(l.GlyphPos, (TPoint{(200 - 16 + 1) / 2 + 1, 2 + 1}));
    EXPECT_EQ(l.TextBounds.Top, 2 + 16 + 4 + 1);
    // No caption: no spacing, the glyph centred by the margin.
    l = CalcWideButtonLayout(canvas, client, {0, 0}, u"", blGlyphLeft, -1, 4, {16, 16});
    EXPECT_EQ(l.GlyphPos.X, (200 - 16 + 1) / 2);
}

TEST(UcSpeedButton, PaintsGlyphAndCaptionWhereTheLayoutPutsThem) {
    REQUIRE_QT();
    TFormFixture f;
    auto* button = new TUcSpeedButton(&f.Form);
    button->SetBounds(20, 20, 120, 30);
    MakeGlyph(button->Glyph);
    button->NumGlyphs = 2;
    button->SetParent(&f.Form);
    button->SetCaption(u"Ωκ");
    button->Invalidate();
    f.Painted();
    const TBitmap& surface = f.Form.NativeWindow()->Surface();
    // Inside the two-pixel edge: margin centres glyph, spacing and text.
    TBitmap scratch;
    TCanvas measure(scratch);
    measure.Font = button->Font;
    const int tx = WideCanvasTextExtent(measure, u"Ωκ").cx;
    const int margin = (116 - (16 + 4 + tx) + 1) / 2;
    const int gx = 20 + 2 + margin, gy = 20 + 2 + (26 - 16 + 1) / 2;
    EXPECT_EQ(PixelAt(surface, gx + 8, gy + 8), Red);
    EXPECT_EQ(PixelAt(surface, gx + 2, gy + 2), Red);
    EXPECT_NE(PixelAt(surface, gx + 1, gy + 1), Red);
    EXPECT_NE(PixelAt(surface, gx + 1, gy + 1), Olive);  // transparent: the face shows
    // Disabled: the second glyph.
    button->SetEnabled(false);
    f.Painted();
    EXPECT_EQ(PixelAt(f.Form.NativeWindow()->Surface(), gx + 8, gy + 8), Blue);
}

TEST(UcSpeedButton, GroupedButtonsStayDownOneAtATime) {
    REQUIRE_QT();
    TFormFixture f;
    std::vector<TUcSpeedButton*> buttons;
    int clicks = 0;
    for (int i = 0; i < 3; ++i) {
        auto* button = new TUcSpeedButton(&f.Form);
        button->SetBounds(10 + i * 30, 10, 25, 25);
        button->GroupIndex = 1;
        button->OnClick = [&](TComponent*) { ++clicks; };
        button->SetParent(&f.Form);
        buttons.push_back(button);
    }
    f.Painted();
    QtTesting::MouseClick(f.Form, 20, 20);
    EXPECT_TRUE(buttons[0]->Down());
    QtTesting::MouseClick(f.Form, 50, 20);
    EXPECT_FALSE(buttons[0]->Down());
    EXPECT_TRUE(buttons[1]->Down());
    EXPECT_EQ(buttons[1]->State(), bsExclusive);
    // Without AllowAllUp the down one stays down.
    QtTesting::MouseClick(f.Form, 50, 20);
    EXPECT_TRUE(buttons[1]->Down());
    EXPECT_EQ(clicks, 3);
    buttons[2]->SetDown(true);
    EXPECT_FALSE(buttons[1]->Down());
    // The down state shows: the pressed face is patterned and the glyph
    // area moved by one pixel.
    f.Painted();
    const TBitmap& surface = f.Form.NativeWindow()->Surface();
    int highlights = 0;
    for (int x = 72; x < 93; ++x)
        if (PixelAt(surface, x, 14) == ColorToRGB(static_cast<TColor>(0x80000014))) ++highlights;
    EXPECT_GT(highlights, 5);
}

TEST(UcBitBtn, PaintsItsFaceAndClicksByMouseAndKey) {
    REQUIRE_QT();
    TFormFixture f;
    auto* button = new TUcBitBtn(&f.Form);
    button->SetBounds(20, 60, 140, 36);
    MakeGlyph(button->Glyph);
    button->NumGlyphs = 2;
    button->Layout = blGlyphRight;
    button->Margin = 6;
    button->SetParent(&f.Form);
    button->SetCaption(u"Далее →");
    int clicks = 0;
    button->OnClick = [&](TComponent*) { ++clicks; };
    ASSERT_TRUE(QtTesting::WaitUntil([&] { return !button->NeedsPaint() && !f.Form.NeedsPaint(); }));
    const TWideButtonLayout& layout = button->LastLayout();
    EXPECT_EQ(layout.GlyphPos, (TPoint{140 - 2 - 6 - 16, 2 + (32 - 16 + 1) / 2}));
    EXPECT_EQ(PixelAt(button->NativeWindow()->Surface(), layout.GlyphPos.X + 8, layout.GlyphPos.Y + 8), Red);
    EXPECT_LT(layout.TextBounds.Right, layout.GlyphPos.X);

    QtTesting::MouseClick(*button, 30, 18);
    EXPECT_EQ(clicks, 1);
    QtTesting::KeyClick(*button, VK_SPACE, u" ");
    EXPECT_EQ(clicks, 2);
    button->SetEnabled(false);
    QtTesting::MouseClick(*button, 30, 18);
    EXPECT_EQ(clicks, 2);
    ASSERT_TRUE(QtTesting::WaitUntil([&] { return !button->NeedsPaint(); }));
    EXPECT_EQ(PixelAt(button->NativeWindow()->Surface(), layout.GlyphPos.X + 8, layout.GlyphPos.Y + 8), Blue);
}

TEST(UcBitBtn, WordWrapBreaksALongCaptionWithinTheWidthBesideTheGlyph) {
    REQUIRE_QT();
    TFormFixture f;
    auto* button = new TUcBitBtn(&f.Form);
    button->SetBounds(20, 20, 120, 60);
    MakeGlyph(button->Glyph);
    button->NumGlyphs = 2;
    button->SetParent(&f.Form);
    button->SetCaption(u"Сохранить всё и закрыть 保存");
    auto painted = [&] { ASSERT_TRUE(QtTesting::WaitUntil([&] { return !button->NeedsPaint(); })); };
    button->Invalidate();
    painted();
    const TRect single = button->LastLayout().TextBounds;
    button->SetWordWrap(true);
    painted();
    const TRect wrapped = button->LastLayout().TextBounds;
    TBitmap scratch;
    TCanvas measure(scratch);
    measure.Font = button->Font;
    const int line = WideCanvasTextHeight(measure, u"Ag");
    // The client inside edges (2 on each side) less the glyph and 3.
    const int room = (120 - 4) - 16 - 3;
    EXPECT_EQ(single.Bottom - single.Top, line);
    EXPECT_GE(wrapped.Bottom - wrapped.Top, 2 * line);
    EXPECT_LE(wrapped.Right - wrapped.Left, room);
    EXPECT_GT(wrapped.Right - wrapped.Left, 0);
    // Glyph and text block stay centred on the button's height.
    EXPECT_NEAR((wrapped.Top + wrapped.Bottom) / 2, 60 / 2, 2);
    // The text is drawn: ink on both lines inside its bounds.
    const TBitmap& surface = button->NativeWindow()->Surface();
    auto inkOnRow = [&](int y) {
        int ink = 0;
        for (int x = wrapped.Left; x < wrapped.Right; ++x)
            ink += PixelAt(surface, x, y) != ColorToRGB(static_cast<TColor>(0x8000000F)) ? 1 : 0;
        return ink;
    };
    int firstLine = 0, secondLine = 0;
    for (int y = wrapped.Top; y < wrapped.Top + line; ++y) firstLine += inkOnRow(y);
    for (int y = wrapped.Top + line; y < wrapped.Top + 2 * line; ++y) secondLine += inkOnRow(y);
    EXPECT_GT(firstLine, 10);
    EXPECT_GT(secondLine, 10);
}
