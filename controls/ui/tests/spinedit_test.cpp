// The spin edit: its text is its value, formatted and parsed with the
// program's decimal separator; stepping by arrows, keys and the wheel; the
// gauge's pixels; the pop-up track bar over the gauge range. Windows run on
// Qt's offscreen plugin.
#include <gtest/gtest.h>

#include <cmath>

#include "controls/ui/bmspinedit.h"
#include "controls/ui/ucforms.h"
#include "platform/codepage.h"
#include "platform/format_settings.h"
#include "platform/ui/dialogs.h"
#include "platform/testing/test_support.h"
#include "platform/ui/qt/qt_testing.h"
#include "controls/ui/tests/require_qt.h"

namespace {

// The decimal separator for one test.
struct TSeparator {
    explicit TSeparator(char16_t separator) : old_(FormatSettings().DecimalSeparator) {
        FormatSettings().DecimalSeparator = separator;
    }
    ~TSeparator() { FormatSettings().DecimalSeparator = old_; }
    char16_t old_;
};

// A shown form with one spin edit on it.
struct TSpinForm {
    TSpinForm() : form(nullptr) {
        form.SetBounds(50, 50, 300, 140);
        edit = new TBMSpinEdit(&form);
        edit->SetBounds(10, 10, 120, 30);
        edit->SetParent(&form);
        other = new TUcEdit(&form);
        other->SetBounds(10, 80, 120, 26);
        other->SetParent(&form);
        form.Show();
        QtTesting::ActivateWindow(form);
        QtTesting::ProcessEvents();
    }
    void Paint() {
        QtTesting::WaitUntil([&] { return !edit->Gauge().NeedsPaint() && !form.NeedsPaint(); }, 2000);
    }
    TUcForm form;
    TBMSpinEdit* edit;
    TUcEdit* other;
};

TColor PixelAt(TWinControl& control, int x, int y) {
    const uint8_t* p = control.NativeWindow()->Surface().ScanLine(y) + x * 4;
    return RGBColor(p[2], p[1], p[0]);
}

}  // namespace

TEST(BMSpinEdit, FormatsAndParsesWithTheProgramsDecimalSeparator) {
    struct TCase {
        char16_t Separator;
        int Precision;
        const char16_t* Unit;
        double Value;
        const char16_t* Text;
    };
    const TCase cases[] = {
        {u'.', 1, u"px", 5, u"5.0 px"},
        {u',', 1, u"px", 5, u"5,0 px"},
        {u'.', 2, u"", -0.125, u"-0.13"},    // halves away from zero, as typed digits show them
        {u'.', 1, u"", 0.15, u"0.2"},        // the decimal value, not the binary one below it
        {u'.', 0, u"°", 359.5, u"360 °"},
        {u'.', -1, u"", 1234.5, u"1235"},    // four significant digits
        {u'.', -1, u"", 0.000012345, u"0.00001235"},
        {u'.', -1, u"", 0.00000012345, u"1.235E-7"},
        {u'.', -1, u"", 12345678, u"1.235E7"},
        {u',', -1, u"s", 2.5, u"2,5 s"},
    };
    for (const TCase& c : cases) {
        TSeparator separator(c.Separator);
        TBMSpinEdit edit(nullptr);
        edit.SetMinValue(-1e9);
        edit.SetMaxValue(1e9);
        edit.SetPrecision(c.Precision);
        edit.SetValueUnit(c.Unit);
        edit.SetValue(c.Value);
        EXPECT_EQ(edit.Text(), c.Text) << c.Value;
        // And the text reads back (to the digits it shows).
        EXPECT_NEAR(edit.Value(), c.Value, (c.Precision < 0 ? 0.0005 * std::fabs(c.Value) : std::pow(10, -c.Precision) / 2) + 1e-12)
            << c.Value;
    }
    TBMSpinEdit edit(nullptr);
    edit.SetPrecision(9);
    EXPECT_EQ(edit.Precision(), 6);
    edit.SetPrecision(-5);
    EXPECT_EQ(edit.Precision(), -1);
}

TEST(BMSpinEdit, TypedGarbageFallsBackToTheMinimumAndStrayCharactersBecomeTheSeparator) {
    TSeparator separator(u'.');
    TBMSpinEdit edit(nullptr);
    edit.SetMinValue(3);
    edit.SetMaxValue(50);
    edit.SetValueUnit(u"px");
    struct TCase {
        const char16_t* Text;
        double Value;
        bool Replaced;  // the text became the formatted minimum
    };
    const TCase cases[] = {
        // With a unit the text ends at its first space; a unit glued to the
        // number is no unit but stray letters.
        {u"5,0 px", 5, false}, {u"1 2", 1, false},      {u"7px", 3, true},      {u"-", 0, false},
        {u"   ", 3, true},     {u"abc", 3, true},       {u"1.2.3", 3, true},    {u"", 3, true},
        {u"2-1", 3, true},     {u".5 px", 0.5, false},  {u"8. px", 8, false},   {u"99 px", 99, false},
    };
    for (const TCase& c : cases) {
        edit.SetText(WideString(c.Text));
        EXPECT_DOUBLE_EQ(edit.Value(), c.Value) << WideToUtf8(c.Text);
        EXPECT_EQ(edit.Text(), c.Replaced ? u"3.0 px" : WideString(c.Text)) << WideToUtf8(c.Text);
    }
    // Without a unit inner spaces go.
    edit.SetValueUnit(u"");
    edit.SetText(u"1 2");
    EXPECT_DOUBLE_EQ(edit.Value(), 12);
}

TEST(BMSpinEdit, ClampsToTheRangeAndReportsChanges) {
    TBMSpinEdit edit(nullptr);
    int changes = 0;
    edit.OnChange = [&](TComponent*) { ++changes; };
    edit.SetMaxValue(10);
    edit.SetValue(20);
    EXPECT_EQ(edit.Text(), u"10.0");
    EXPECT_EQ(changes, 1);
    edit.SetValue(10);
    EXPECT_EQ(changes, 1) << "the same value is no change";
    edit.SetValue(-4);
    EXPECT_EQ(edit.Text(), u"0.0");
    edit.SetValue(7);
    edit.SetMaxValue(5);  // lowers the value with it
    EXPECT_DOUBLE_EQ(edit.Value(), 5);
    edit.SetMinValue(6);
    EXPECT_DOUBLE_EQ(edit.Value(), 6);
    // A range of one point does not clamp.
    edit.SetMaxValue(0);
    edit.SetMinValue(0);
    edit.SetValue(-42);
    EXPECT_DOUBLE_EQ(edit.Value(), -42);
    // The gauge range is not the value range.
    edit.SetMinValue(-100);
    edit.SetMaxValue(100);
    edit.SetGaugeMinValue(1);
    edit.SetGaugeMaxValue(5);
    edit.SetValue(50);
    EXPECT_DOUBLE_EQ(edit.Value(), 50);
    edit.SetTrackBarWidth(20);
    EXPECT_EQ(edit.TrackBarWidth(), 50);
    edit.SetTrackBarWidth(1000);
    EXPECT_EQ(edit.TrackBarWidth(), 300);
}

TEST(BMSpinEdit, StepsByArrowsKeysAndWheelWithinTheRange) {
    REQUIRE_QT();
    TSpinForm f;
    TBMSpinEdit& edit = *f.edit;
    edit.SetMaxValue(20);
    edit.Increment = 2;
    int changes = 0;
    edit.OnChange = [&](TComponent*) { ++changes; };
    edit.SetFocus();
    QtTesting::KeyClick(edit, VK_UP, u"");
    EXPECT_DOUBLE_EQ(edit.Value(), 2);
    QtTesting::KeyClick(edit, VK_UP, u"");
    QtTesting::KeyClick(edit, VK_DOWN, u"");
    EXPECT_DOUBLE_EQ(edit.Value(), 2);
    EXPECT_GE(changes, 3);
    // The arrow buttons: the upper and lower half of the up-down.
    TBMSpinButtons& buttons = edit.Buttons();
    ASSERT_TRUE(buttons.HandleAllocated());
    QtTesting::MouseClick(buttons, 6, 3);
    EXPECT_DOUBLE_EQ(edit.Value(), 4);
    QtTesting::MouseClick(buttons, 6, buttons.Height() - 4);
    EXPECT_DOUBLE_EQ(edit.Value(), 2);
    // The wheel, over the edit and over its buttons.
    QtTesting::MouseWheel(edit, 20, 10, 120);
    EXPECT_DOUBLE_EQ(edit.Value(), 4);
    QtTesting::MouseWheel(buttons, 6, 6, -120);
    EXPECT_DOUBLE_EQ(edit.Value(), 2);
    // Down from within one step of the minimum gives the minimum; up from
    // the maximum stays there.
    edit.SetValue(1);
    QtTesting::KeyClick(edit, VK_DOWN, u"");
    EXPECT_DOUBLE_EQ(edit.Value(), 0);
    edit.SetValue(20);
    QtTesting::KeyClick(edit, VK_UP, u"");
    EXPECT_DOUBLE_EQ(edit.Value(), 20);
    edit.SetValue(19);
    QtTesting::KeyClick(edit, VK_UP, u"");
    EXPECT_DOUBLE_EQ(edit.Value(), 20);
}

TEST(BMSpinEdit, TypingShowsTheUnitAndLeavingTheFieldClampsTheValue) {
    REQUIRE_QT();
    TSeparator separator(u'.');
    TSpinForm f;
    TBMSpinEdit& edit = *f.edit;
    edit.SetValueUnit(u"px");
    edit.SetFocus();
    ASSERT_TRUE(QtTesting::WaitUntil([&] { return edit.Focused(); }, 2000));
    edit.SetText(WideString());
    QtTesting::KeyClick(edit, 0, u"7");
    EXPECT_EQ(edit.Text(), u"7.0 px");
    EXPECT_EQ(LoWord(edit.SendClassMessage(EM_GETSEL)), 1) << "the caret stays after the typed digit";
    // A typed value beyond the maximum stays until the field is left.
    QtTesting::KeyClick(edit, 0, u"9");
    QtTesting::KeyClick(edit, 0, u"9");
    EXPECT_EQ(edit.Text(), u"799.0 px");
    f.other->SetFocus();
    ASSERT_TRUE(QtTesting::WaitUntil([&] { return f.other->Focused(); }, 2000));
    EXPECT_EQ(edit.Text(), u"100.0 px");
    // Paste is refused while the editor is not enabled.
    Clipboard().SetAsText(u"42");
    edit.SetFocus();
    QtTesting::WaitUntil([&] { return edit.Focused(); }, 2000);
    QtTesting::KeyClick(edit, 'V', u"", ssCtrl);
    EXPECT_EQ(edit.Text(), u"100.0 px");
}

TEST(BMSpinEdit, ThePopupTrackBarMovesOverTheGaugeRange) {
    REQUIRE_QT();
    TSpinForm f;
    TBMSpinEdit& edit = *f.edit;
    edit.SetMinValue(-1000);
    edit.SetMaxValue(1000);
    edit.SetGaugeMinValue(-100);
    edit.SetGaugeMaxValue(200);
    edit.SetValue(50);
    TBMSpinButtons& buttons = edit.Buttons();
    const int dropX = 15 + TBMSpinButtons::DropWidth / 2, dropY = 5;
    QtTesting::MousePress(buttons, dropX, dropY);
    ASSERT_TRUE(QtTesting::WaitUntil([&] { return QtTesting::WindowVisible(edit.Popup()); }, 2000));
    EXPECT_TRUE(buttons.DropDown());
    EXPECT_EQ(edit.TrackBar().Position(), 500);  // (50 - -100) / 300 of the way
    // The thumb lies under the mouse.
    const TPoint mouse = buttons.ClientOrigin();
    const TRect thumb = edit.TrackBar().ThumbRect();
    const TPoint track = edit.TrackBar().ClientOrigin();
    EXPECT_NEAR(track.X + (thumb.Left + thumb.Right) / 2, mouse.X + dropX, 1);
    // Far right and far left: the ends of the gauge range, not of the values.
    QtTesting::MouseDrag(buttons, dropX + 400, dropY);
    EXPECT_DOUBLE_EQ(edit.Value(), 200);
    QtTesting::MouseDrag(buttons, dropX - 400, dropY);
    EXPECT_DOUBLE_EQ(edit.Value(), -100);
    // In between, in steps of IncrementGauge.
    edit.SetIncrementGauge(25);
    const TRect channel = edit.TrackBar().ChannelRect();
    const double b = channel.Right - channel.Left - (thumb.Right - thumb.Left);
    const int x = track.X + channel.Left + static_cast<int>(b / 3) + (thumb.Right - thumb.Left) / 2 - mouse.X;
    QtTesting::MouseDrag(buttons, x, dropY);
    EXPECT_DOUBLE_EQ(edit.Value(), 0);
    EXPECT_NEAR(edit.TrackBar().Position(), 333, 1);
    QtTesting::MouseRelease(buttons, x, dropY);
    EXPECT_FALSE(QtTesting::WindowVisible(edit.Popup()));
    EXPECT_FALSE(buttons.DropDown());
    EXPECT_DOUBLE_EQ(edit.Value(), 0);
}

TEST(BMSpinEdit, AVerticalTrackBarRunsUpwards) {
    REQUIRE_QT();
    TSpinForm f;
    TBMSpinEdit& edit = *f.edit;
    edit.SetTrackBarOrientation(TTrackBarOrientation::trVertical);
    edit.SetTrackBarWidth(120);
    edit.SetValue(25);
    TBMSpinButtons& buttons = edit.Buttons();
    const int dropX = 15 + TBMSpinButtons::DropWidth / 2, dropY = 5;
    QtTesting::MousePress(buttons, dropX, dropY);
    ASSERT_TRUE(QtTesting::WaitUntil([&] { return QtTesting::WindowVisible(edit.Popup()); }, 2000));
    EXPECT_EQ(edit.Popup().Height(), 120);
    EXPECT_LT(edit.Popup().Width(), edit.Popup().Height());
    EXPECT_EQ(edit.TrackBar().Position(), 750);  // the top is the maximum
    QtTesting::MouseDrag(buttons, dropX, dropY - 300);
    EXPECT_DOUBLE_EQ(edit.Value(), 100);
    QtTesting::MouseDrag(buttons, dropX, dropY + 300);
    EXPECT_DOUBLE_EQ(edit.Value(), 0);
    QtTesting::MouseRelease(buttons, dropX, dropY + 300);
    EXPECT_FALSE(QtTesting::WindowVisible(edit.Popup()));
}

TEST(BMSpinEdit, TheGaugeShowsTheValueInItsColour) {
    REQUIRE_QT();
    TSpinForm f;
    TBMSpinEdit& edit = *f.edit;
    edit.SetGuageHeight(5);
    edit.SetGuageBeginColor(RGBColor(0, 0, 0));
    edit.SetGuageEndColor(RGBColor(0, 0, 255));
    edit.SetValue(50);
    f.Paint();
    TBMAGauge& gauge = edit.Gauge();
    ASSERT_EQ(gauge.Height(), 7);
    const int w = gauge.Width() - 1;
    const int xValue = static_cast<int>(std::nearbyint(50.0 * w / 100 + 1));
    // e = round(50 × 256 / 100 + 1) = 129; blue = 129 × 255 / 256 = 128.
    EXPECT_EQ(PixelAt(gauge, 3, 3), RGBColor(0, 0, 128));
    EXPECT_EQ(PixelAt(gauge, xValue - 1, 3), RGBColor(0, 0, 128));
    EXPECT_EQ(PixelAt(gauge, xValue + 2, 3), RGBColor(255, 255, 255));
    // Around a centre: the bar runs from the centre to the value, with a
    // line at the centre.
    edit.SetGaugeAroundCenter(25);
    edit.SetValue(75);
    f.Paint();
    const int xCentre = static_cast<int>(std::nearbyint(25.0 * w / 100 + 1));
    const int xEnd = static_cast<int>(std::nearbyint(75.0 * w / 100 + 1));
    EXPECT_EQ(PixelAt(gauge, xCentre - 3, 3), RGBColor(255, 255, 255));
    EXPECT_EQ(PixelAt(gauge, xCentre, 3), ColorToRGB(static_cast<TColor>(0x80000006)));
    // e = round(50 × 256 / 75 + 1) = 172; blue = 172 × 255 / 256 = 171.
    EXPECT_EQ(PixelAt(gauge, (xCentre + xEnd) / 2, 3), RGBColor(0, 0, 171));
    EXPECT_EQ(PixelAt(gauge, xEnd + 2, 3), RGBColor(255, 255, 255));
}
