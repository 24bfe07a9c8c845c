// Painted scroll bars in a shown window on Qt's offscreen plugin, driven by
// the mouse and wheel as a user would: the held arrow repeats on Qt's own
// timers, a thumb dragged far off the bar snaps back (the bar keeps the
// mouse while the button is down), keys scroll the focused bar, and the
// window is saved as a picture.
#include <gtest/gtest.h>

#include "navbar/lf_scrollbar.h"
#include "platform/ui/forms.h"
#include "platform/ui/qt/qt_testing.h"

namespace {

struct TBarsForm {
    TBarsForm() : form(nullptr) {
        form.SetBounds(60, 60, 300, 200);
        horizontal = new TlfScrollBar(&form);
        horizontal->SetBounds(10, 150, 220, 17);
        horizontal->LookAndFeel().SetKind(lfOffice11);
        horizontal->SetParent(&form);
        vertical = new TlfScrollBar(&form);
        vertical->SetKind(sbVertical);
        vertical->SetBounds(260, 10, 17, 160);
        vertical->LookAndFeel().SetKind(lfUltraFlat);
        vertical->SetParent(&form);
        flat = new TlfScrollBar(&form);
        flat->SetBounds(10, 10, 220, 17);
        flat->LookAndFeel().SetKind(lfFlat);
        flat->SetPageSize(20);
        flat->SetPosition(40);
        flat->SetParent(&form);
        classic = new TlfScrollBar(&form);
        classic->SetBounds(10, 40, 220, 17);
        classic->LookAndFeel().SetKind(lfStandard);
        classic->SetPosition(70);
        classic->SetParent(&form);
        disabled = new TlfScrollBar(&form);
        disabled->SetBounds(10, 70, 220, 17);
        disabled->SetEnabled(false);
        disabled->SetParent(&form);
        form.Show();
        QtTesting::ActivateWindow(form);
        QtTesting::ProcessEvents(50);
    }
    TForm form;
    TlfScrollBar *horizontal, *vertical, *flat, *classic, *disabled;
};

TEST(ScrollBarWindow, MouseAndWheelDriveTheBarsInAShownWindow) {
    ASSERT_TRUE(QtTesting::Running());
    TBarsForm f;
    TlfScrollBar& v = *f.vertical;
    // Held on the down arrow: once at once, then repeating.
    QtTesting::MousePress(v, 8, 150);
    EXPECT_EQ(v.Position(), 1);
    QtTesting::ProcessEvents(700);
    const int held = v.Position();
    EXPECT_GE(held, 4);  // 400 ms, then every 60 ms
    QtTesting::MouseRelease(v, 8, 150);
    QtTesting::ProcessEvents(300);
    EXPECT_EQ(v.Position(), held);
    // The wheel: three lines a notch, down for a negative turn.
    QtTesting::MouseWheel(v, 8, 80, -120);
    QtTesting::ProcessEvents(20);
    EXPECT_EQ(v.Position(), held + 3);
    // Keys, once the bar has the focus.
    v.SetFocus();
    QtTesting::KeyClick(v, VK_END, u"");
    EXPECT_EQ(v.Position(), 100);
    QtTesting::KeyClick(v, VK_PRIOR, u"");
    EXPECT_EQ(v.Position(), 99);  // a large change of 1
    QtTesting::KeyClick(v, VK_HOME, u"");
    EXPECT_EQ(v.Position(), 0);
    v.SetPosition(held + 3);

    // The thumb follows the mouse along the bar and snaps back far off it.
    TlfScrollBar& h = *f.horizontal;
    const TRect thumb = h.ViewInfo().ThumbnailRect;
    const int x = (thumb.Left + thumb.Right) / 2, half = (h.ViewInfo().BottomRightArrowRect.Left - h.ViewInfo().TopLeftArrowRect.Right - RectWidth(thumb)) / 2;
    QtTesting::MousePress(h, x, 8);
    QtTesting::MouseDrag(h, x + half, 8);
    const int middle = h.Position();
    EXPECT_NEAR(middle, 50, 1);
    QtTesting::MouseDrag(h, x + half, 8 - 300);
    EXPECT_EQ(h.Position(), 0);
    QtTesting::MouseDrag(h, x + half, 8 + 20);  // back inside the zone, below the bar
    EXPECT_EQ(h.Position(), middle);
    QtTesting::MouseRelease(h, x + half, 8 + 20);
    EXPECT_EQ(h.Position(), middle);
    EXPECT_EQ(h.State(), partNone);
    // A hot arrow of the ultra-flat bar for the picture.
    QtTesting::MouseMove(v, 8, 5);
    QtTesting::ProcessEvents(50);
    EXPECT_EQ(v.HotPart(), partLineUp);
    QtTesting::WaitUntil([&] { return !f.form.NeedsPaint() && !v.NeedsPaint(); }, 2000);
    EXPECT_TRUE(QtTesting::SaveWindowPicture(f.form, std::string(TW_ARTIFACT_DIR) + "/scrollbars-window.png"));
}

}  // namespace
