// Colour buttons: the palette's layout and cells, dropping it down under
// the button, picking a colour, tearing the palette off, and the colour
// dialog behind "Other Colors..." with its custom colours. Windows run on
// Qt's offscreen plugin.
#include <gtest/gtest.h>

#include "controls/ui/bmspinedit.h"
#include "controls/ui/colorbuttons.h"
#include "controls/ui/ucforms.h"
#include "platform/testing/test_support.h"
#include "platform/ui/application.h"
#include "platform/ui/qt/qt_testing.h"
#include "controls/ui/tests/require_qt.h"

namespace {

struct TColorForm {
    TColorForm() : form(nullptr) {
        form.SetBounds(60, 60, 260, 120);
        button = new TColorButton(&form);
        button->SetBounds(20, 20, 40, 24);
        button->SetParent(&form);
        button->OnColorSelected = [this](TComponent*, TColor color) { selected.push_back(color); };
        form.Show();
        QtTesting::ActivateWindow(form);
        QtTesting::ProcessEvents();
    }
    ~TColorForm() {
        if (button->Palette().Visible()) button->Palette().Hide();
    }
    // Clicks a part of the palette in the middle.
    void ClickInPalette(TControl& part) {
        const TRect r = part.BoundsRect();
        QtTesting::MouseClick(button->Palette(), (r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2);
        QtTesting::ProcessEvents();
    }
    void DropDown() {
        TColorSpeedButton& arrow = button->ArrowButton();
        QtTesting::MouseClick(*button, arrow.Left() + arrow.Width() / 2, arrow.Height() / 2);
        QtTesting::WaitUntil([&] { return QtTesting::WindowVisible(button->Palette()); }, 2000);
    }
    TUcForm form;
    TColorButton* button;
    std::vector<TColor> selected;
};

TColor PixelAt(TWinControl& control, int x, int y) {
    const uint8_t* p = control.NativeWindow()->Surface().ScanLine(y) + x * 4;
    return RGBColor(p[2], p[1], p[0]);
}

}  // namespace

TEST(ColorButton, LaysOutThePaletteAndKeepsItsMetricsAtTheirMinimum) {
    TColorButton button(nullptr);
    EXPECT_EQ(button.Width(), 35);
    EXPECT_EQ(button.Height(), 22);
    button.SetBounds(0, 0, 20, 15);
    EXPECT_EQ(button.Width(), 35);
    EXPECT_EQ(button.Height(), 22);
    EXPECT_EQ(button.FaceButton().Width(), 23);
    EXPECT_EQ(button.ArrowButton().Left(), 23);

    button.LayoutPalette(true);
    EXPECT_EQ(button.Palette().Width(), 158);
    EXPECT_EQ(button.Palette().Height(), 158);
    EXPECT_EQ(button.Palette().DragBarRect(), (TRect{4, 2, 154, 9}));
    EXPECT_EQ(button.AutomaticCell().BoundsRect(), (TRect{7, 12, 151, 34}));
    EXPECT_EQ(button.Cell(9).BoundsRect(), (TRect{25, 56, 43, 74}));
    EXPECT_EQ(button.OtherButton().BoundsRect(), (TRect{7, 132, 151, 154}));
    button.LayoutPalette(false);
    EXPECT_EQ(button.Palette().Height(), 151);
    EXPECT_EQ(button.AutomaticCell().Top(), 5);

    EXPECT_TRUE(button.WordStyle());
    button.SetMetric(TColorButton::mColorSize, 10);
    EXPECT_EQ(button.ColorSize(), 18);
    EXPECT_FALSE(button.WordStyle());
    button.SetMetric(TColorButton::mColorSpace, 2);
    button.LayoutPalette(true);
    EXPECT_EQ(button.Palette().Width(), 2 * 7 + 8 * 18 + 7 * 2);
    button.SetWordStyle(true);
    EXPECT_EQ(button.ColorSpace(), 0);
}

TEST(ColorButton, SelectingAColourPutsItsCellDownAndTellsOnce) {
    TColorButton button(nullptr);
    std::vector<TColor> selected;
    button.OnColorSelected = [&](TComponent*, TColor color) { selected.push_back(color); };
    EXPECT_EQ(button.SelectedColor(), clDefault);
    EXPECT_TRUE(button.AutomaticCell().Down());
    button.SetSelectedColor(clDefault);
    EXPECT_TRUE(selected.empty());

    button.SetSelectedColor(RGBColor(0x00, 0x33, 0x66));
    for (int i = 0; i < 40; ++i) EXPECT_EQ(button.Cell(i).Down(), i == 4) << i;
    EXPECT_FALSE(button.AutomaticCell().Down());
    button.SetSelectedColor(RGBColor(0x00, 0x33, 0x66));
    ASSERT_EQ(selected.size(), 1u);

    button.SetSelectedColor(RGBColor(1, 2, 3));  // no cell holds it
    for (int i = 0; i < 40; ++i) EXPECT_FALSE(button.Cell(i).Down()) << i;
    EXPECT_FALSE(button.AutomaticCell().Down());
    button.SetSelectedColor(clDefault);
    EXPECT_TRUE(button.AutomaticCell().Down());
    EXPECT_EQ(selected, (std::vector<TColor>{RGBColor(0x00, 0x33, 0x66), RGBColor(1, 2, 3), clDefault}));
}

TEST(ColorButton, ThePaletteDropsDownUnderTheButtonAndASwatchClickSelects) {
    REQUIRE_QT();
    TColorForm f;
    f.DropDown();
    TColorPalette& palette = f.button->Palette();
    ASSERT_TRUE(QtTesting::WindowVisible(palette));
    EXPECT_FALSE(QtTesting::ToolWindow(palette));
    const TRect under = QtTesting::ScreenGeometry(*f.button);
    const TRect shown = QtTesting::ScreenGeometry(palette);
    EXPECT_EQ(shown.Left, under.Left);
    EXPECT_EQ(shown.Top, under.Bottom);
    EXPECT_EQ(shown.Right - shown.Left, 158);
    EXPECT_TRUE(f.button->ArrowButton().Down());
    // The drag bar, lit while the mouse is over it.
    ASSERT_TRUE(QtTesting::WaitUntil([&] { return !palette.NeedsPaint(); }, 2000));
    EXPECT_EQ(PixelAt(palette, 50, 5), ColorToRGB(static_cast<TColor>(0x80000003)));
    QtTesting::MouseMove(palette, 50, 5);
    ASSERT_TRUE(QtTesting::WaitUntil([&] { return !palette.NeedsPaint(); }, 2000));
    EXPECT_EQ(PixelAt(palette, 50, 5), ColorToRGB(static_cast<TColor>(0x80000002)));

    // Cell 13 holds pure blue.
    f.ClickInPalette(f.button->Cell(13));
    EXPECT_FALSE(QtTesting::WindowVisible(palette));
    EXPECT_FALSE(f.button->ArrowButton().Down());
    EXPECT_EQ(f.selected, (std::vector<TColor>{RGBColor(0, 0, 255)}));
    EXPECT_EQ(f.button->SelectedColor(), RGBColor(0, 0, 255));
    EXPECT_TRUE(f.button->Cell(13).Down());

    // The face's swatch shows it: a 16 by 4 bar under the glyph.
    ASSERT_TRUE(QtTesting::WaitUntil([&] { return !f.button->NeedsPaint(); }, 2000));
    const int w = f.button->FaceButton().Width(), h = f.button->FaceButton().Height();
    const int x = (w + 1) / 2 - 8, y = (h + 1) / 2 + 4;
    for (int dx : {1, 8, 14}) EXPECT_EQ(PixelAt(*f.button, x + dx, y + 2), RGBColor(0, 0, 255)) << dx;
    // A cell of the palette shows its colour too.
    const TRect cell = f.button->Cell(26).BoundsRect();
    ASSERT_TRUE(QtTesting::WaitUntil([&] { return !palette.NeedsPaint(); }, 2000));
    EXPECT_EQ(PixelAt(palette, (cell.Left + cell.Right) / 2, (cell.Top + cell.Bottom) / 2), RGBColor(255, 255, 0));

    // Automatic gives the default colour back.
    f.DropDown();
    f.ClickInPalette(f.button->AutomaticCell());
    EXPECT_EQ(f.button->SelectedColor(), clDefault);
    EXPECT_EQ(f.selected.size(), 2u);
}

TEST(ColorButton, NearTheScreensCornerThePaletteOpensAboveAndEndsAtTheRightEdge) {
    REQUIRE_QT();
    TColorForm f;
    const TRect work = Application().Backend().WorkArea();
    const TRect at = QtTesting::ScreenGeometry(*f.button);
    const TRect frame = QtTesting::ScreenGeometry(f.form);
    // The button's right edge 40 pixels from the screen's, its bottom 10
    // from the screen's.
    f.form.SetBounds(work.Right - 40 - (at.Right - frame.Left), work.Bottom - 10 - (at.Bottom - frame.Top), f.form.Width(),
                     f.form.Height());
    QtTesting::ProcessEvents(20);
    f.DropDown();
    const TRect under = QtTesting::ScreenGeometry(*f.button);
    const TRect shown = QtTesting::ScreenGeometry(f.button->Palette());
    ASSERT_EQ(under.Bottom, work.Bottom - 10);
    EXPECT_EQ(shown.Right, work.Right);
    EXPECT_EQ(shown.Bottom, under.Top);
}

TEST(ColorButton, ATornOffPaletteStaysOpenAsAToolWindow) {
    REQUIRE_QT();
    TColorForm f;
    f.DropDown();
    TColorPalette& palette = f.button->Palette();
    const TRect bar = palette.DragBarRect();
    const int x = (bar.Left + bar.Right) / 2, y = (bar.Top + bar.Bottom) / 2;
    QtTesting::MousePress(palette, x, y);
    QtTesting::MouseDrag(palette, x + 30, y + 20);
    QtTesting::MouseRelease(palette, x + 30, y + 20);
    ASSERT_TRUE(QtTesting::WaitUntil([&] { return palette.TornOff() && QtTesting::WindowVisible(palette); }, 2000));
    EXPECT_TRUE(QtTesting::ToolWindow(palette));
    EXPECT_EQ(QtTesting::WindowTitle(palette), u"Text Color Window");
    EXPECT_EQ(palette.Height(), 151);  // no drag bar any more
    EXPECT_FALSE(f.button->ArrowButton().Down());

    // Picking leaves it open.
    f.ClickInPalette(f.button->Cell(16));
    EXPECT_TRUE(QtTesting::WindowVisible(palette));
    EXPECT_EQ(f.button->SelectedColor(), RGBColor(255, 0, 0));
    f.ClickInPalette(f.button->Cell(27));
    EXPECT_TRUE(QtTesting::WindowVisible(palette));
    EXPECT_EQ(f.selected, (std::vector<TColor>{RGBColor(255, 0, 0), RGBColor(0, 255, 0)}));

    // Switching the drag bar off closes it and docks it again.
    f.button->SetDropDownMove(false);
    EXPECT_FALSE(QtTesting::WindowVisible(palette));
    EXPECT_FALSE(palette.TornOff());
    f.DropDown();
    EXPECT_EQ(palette.Height(), 151);
    EXPECT_FALSE(QtTesting::ToolWindow(palette));
}

TEST(ColorButton, OtherColoursAsksTheColourDialogAndKeepsItsCustomColours) {
    REQUIRE_QT();
    TColorForm f;
    f.button->SetSelectedColor(RGBColor(10, 20, 30));
    f.selected.clear();
    f.button->SetCustomColors({"ColorA=563412"});
    // The dialog is driven from a toolkit timer, which runs inside its loop.
    uint32_t shownCustom = 0;
    bool driven = false;
    TTimer driver(nullptr);
    driver.SetInterval(20);
    driver.OnTimer = [&](TComponent*) {
        if (!QtTesting::ColorDialogCustomColor(0, shownCustom)) return;
        driven = QtTesting::AcceptColorDialog(static_cast<uint32_t>(RGBColor(0x11, 0x22, 0x33)), 1);
        driver.SetEnabled(false);
    };
    f.DropDown();
    f.ClickInPalette(f.button->OtherButton());
    ASSERT_TRUE(driven);
    EXPECT_EQ(shownCustom, 0x563412u);
    EXPECT_FALSE(QtTesting::WindowVisible(f.button->Palette()));
    EXPECT_EQ(f.button->SelectedColor(), RGBColor(0x11, 0x22, 0x33));
    EXPECT_EQ(f.selected, (std::vector<TColor>{RGBColor(0x11, 0x22, 0x33)}));
    const std::vector<std::string> custom = f.button->CustomColors();
    ASSERT_EQ(custom.size(), 16u);
    EXPECT_EQ(custom[0], "ColorA=563412");
    EXPECT_EQ(custom[1], "ColorB=332211");
    EXPECT_EQ(custom[15], "ColorP=FFFFFF");

    // A cancelled dialog changes nothing but still keeps the custom colours.
    driver.OnTimer = [&](TComponent*) {
        if (QtTesting::CloseModal()) driver.SetEnabled(false);
    };
    driver.SetEnabled(true);
    f.DropDown();
    f.ClickInPalette(f.button->OtherButton());
    EXPECT_EQ(f.button->SelectedColor(), RGBColor(0x11, 0x22, 0x33));
    EXPECT_EQ(f.selected.size(), 1u);
    EXPECT_EQ(f.button->CustomColors()[1], "ColorB=332211");
}

// A form with spin edits and colour buttons as the program's forms use them,
// saved for a person to look at (in the test's working folder).
TEST(ColorButton, AFormOfSpinEditsAndColourButtonsIsSavedAsAPicture) {
    REQUIRE_QT();
    TColorForm f;
    f.form.SetBounds(60, 60, 360, 330);
    f.button->SetSelectedColor(RGBColor(0xFF, 0x66, 0x00));
    auto* background = new TColorButton(&f.form);
    background->SetBounds(80, 20, 40, 24);
    background->SetGlyphType(TGlyphType::gtBackGround);
    background->SetSelectedColor(RGBColor(0x33, 0x99, 0x66));
    background->SetParent(&f.form);
    auto* lines = new TColorButton(&f.form);
    lines->SetBounds(140, 20, 40, 24);
    lines->SetGlyphType(TGlyphType::gtLines);
    lines->SetParent(&f.form);
    const TColorSpeedButton& arrow = f.button->ArrowButton();
    auto* angle = new TBMSpinEdit(&f.form);
    angle->SetBounds(20, 60, 130, 30);
    angle->SetMaxValue(360);
    angle->SetPrecision(0);
    angle->SetValueUnit(u"°");
    angle->SetGuageHeight(5);
    angle->SetValue(270);
    angle->SetParent(&f.form);
    auto* offset = new TBMSpinEdit(&f.form);
    offset->SetBounds(170, 60, 150, 30);
    offset->SetMinValue(-100);
    offset->SetMaxValue(100);
    offset->SetGaugeAroundCenter(0);
    offset->SetGuageHeight(5);
    offset->SetValueUnit(u"px");
    offset->SetValue(40);
    offset->SetParent(&f.form);
    QtTesting::ProcessEvents(50);
    f.DropDown();
    f.button->Cell(9).SetDown(true);
    QtTesting::ProcessEvents(50);
    ASSERT_TRUE(QtTesting::SaveWindowPicture(f.form, "colour-buttons-form.png"));
    ASSERT_TRUE(QtTesting::SaveWindowPicture(f.button->Palette(), "colour-buttons-palette.png"));
    (void)arrow;
}
