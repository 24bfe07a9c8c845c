// Accelerators: Alt and the character after "&" in a control's wide caption
// reach that control, as a user types them on Qt's offscreen plugin, with
// whichever control has the focus (Qt's own widgets included, which would
// otherwise take the shortcut for themselves).
#include <gtest/gtest.h>

#include "controls/ui/ucbuttons.h"
#include "controls/ui/uccomctrls.h"
#include "controls/ui/ucforms.h"
#include "controls/ui/ucstdctrls.h"
#include "platform/testing/test_support.h"
#include "platform/ui/qt/qt_testing.h"
#include "platform/ui/qt/qt_testing_ctrls.h"
#include "controls/ui/tests/form_fixture.h"
#include "controls/ui/tests/require_qt.h"

namespace {

// Alt and a character, typed into the widget with the focus.
void Alt(char16_t c) {
    const uint16_t key = (c >= u'a' && c <= u'z') ? static_cast<uint16_t>(c - u'a' + 'A') : 0;
    QtTesting::KeyClickFocused(key, std::u16string(1, c), ssAlt);
    QtTesting::ProcessEvents(20);
}

}  // namespace

TEST(UcAccelerators, TheCaptionsAcceleratorReachesItsControl) {
    REQUIRE_QT();
    TFormFixture f{520, 360};
    auto* edit = f.Place<TUcEdit>(120, 10, 150, 24);
    auto* label = f.Place<TUcLabel>(10, 12, 100, 20);
    label->SetCaption(u"&Имя:");
    label->SetFocusControl(edit);
    auto* other = f.Place<TUcEdit>(120, 40, 150, 24);

    int clicks = 0;
    auto* button = f.Place<TUcButton>(10, 80, 100, 28);
    button->SetCaption(u"&Готово");
    button->OnClick = [&](TComponent*) { ++clicks; };
    auto* check = f.Place<TUcCheckBox>(10, 120, 150, 22);
    check->SetCaption(u"Ελληνι&κά");
    auto* group = f.Place<TUcGroupBox>(200, 80, 260, 120);
    group->SetCaption(u"&Выбор");
    auto* inGroup = new TUcEdit(&f.Form);
    inGroup->SetBounds(10, 24, 100, 24);
    inGroup->SetParent(group);
    // Characters outside the system code page.
    auto* radio = new TUcRadioButton(&f.Form);
    radio->SetBounds(10, 60, 200, 22);
    radio->SetParent(group);
    radio->SetCaption(u"Один и &ж");
    auto* radio2 = new TUcRadioButton(&f.Form);
    radio2->SetBounds(10, 86, 200, 22);
    radio2->SetParent(group);
    radio2->SetCaption(u"&中文");
    radio2->SetChecked(true);
    int speedClicks = 0, bitClicks = 0;
    auto* speed = f.Place<TUcSpeedButton>(10, 220, 90, 26);
    speed->SetCaption(u"&Σ сумма");
    speed->OnClick = [&](TComponent*) { ++speedClicks; };
    auto* bit = f.Place<TUcBitBtn>(110, 220, 90, 26);
    bit->SetCaption(u"&Далее");
    bit->OnClick = [&](TComponent*) { ++bitClicks; };
    ASSERT_TRUE(QtTesting::WaitUntil([&] { return !f.Form.NeedsPaint(); }));

    other->SetFocus();
    ASSERT_TRUE(QtTesting::WaitUntil([&] { return other->Focused(); }));
    // A label focuses its focus control.
    Alt(u'и');
    EXPECT_TRUE(edit->Focused());
    // A push button clicks, whatever has the focus.
    Alt(u'г');
    EXPECT_EQ(clicks, 1);
    // A check box is focused and toggled, in any case of the letter.
    Alt(u'Κ');
    EXPECT_TRUE(check->Focused());
    EXPECT_TRUE(check->Checked());
    Alt(u'κ');
    EXPECT_FALSE(check->Checked());
    // A group box focuses its first child; a radio button in it is focused
    // and checked, the others of its group unchecked.
    Alt(u'в');
    EXPECT_TRUE(inGroup->Focused());
    Alt(u'ж');
    EXPECT_TRUE(radio->Focused());
    EXPECT_TRUE(radio->Checked());
    EXPECT_FALSE(radio2->Checked());
    Alt(u'中');
    EXPECT_TRUE(radio2->Checked());
    // Speed and bitmap buttons click.
    Alt(u'σ');
    Alt(u'д');
    EXPECT_EQ(speedClicks, 1);
    EXPECT_EQ(bitClicks, 1);
    // No control has "q"; a disabled one takes nothing; "&&" is no mark.
    Alt(u'q');
    button->SetEnabled(false);
    Alt(u'г');
    EXPECT_EQ(clicks, 1);
    speed->SetCaption(u"A&&B");
    Alt(u'b');
    EXPECT_EQ(speedClicks, 1);
    // A label with accelerators shown as text passes the key on.
    label->SetShowAccelChar(false);
    other->SetFocus();
    ASSERT_TRUE(QtTesting::WaitUntil([&] { return other->Focused(); }));
    Alt(u'и');
    EXPECT_TRUE(other->Focused());
}

TEST(UcAccelerators, APagesAcceleratorTurnsToItUnlessTheChangeIsRefused) {
    REQUIRE_QT();
    TFormFixture f{520, 360};
    auto* pages = f.Place<TUcPageControl>(10, 10, 400, 250);
    for (const char16_t* caption : {u"&Общие", u"&画像", u"&Τέλος"}) {
        auto* sheet = new TUcTabSheet(&f.Form);
        sheet->SetPageControl(pages);
        sheet->SetCaption(caption);
    }
    auto* onFirst = new TUcEdit(&f.Form);
    onFirst->SetBounds(10, 10, 100, 24);
    onFirst->SetParent(pages->Pages(0));
    int changes = 0;
    bool allow = true;
    pages->OnChange = [&](TComponent*) { ++changes; };
    pages->OnChanging = [&](TComponent*, bool& allowChange) { allowChange = allow; };
    ASSERT_TRUE(QtTesting::WaitUntil([&] { return !f.Form.NeedsPaint(); }));
    onFirst->SetFocus();
    ASSERT_TRUE(QtTesting::WaitUntil([&] { return onFirst->Focused(); }));

    Alt(u'τ');
    EXPECT_EQ(pages->ActivePageIndex(), 2);
    EXPECT_EQ(pages->TabIndex(), 2);
    EXPECT_EQ(changes, 1);
    allow = false;
    Alt(u'画');
    EXPECT_EQ(pages->ActivePageIndex(), 2);
    EXPECT_EQ(changes, 1);
    // A hidden page's tab cannot be reached.
    allow = true;
    pages->Pages(1)->SetTabVisible(false);
    Alt(u'画');
    EXPECT_EQ(pages->ActivePageIndex(), 2);
    Alt(u'о');
    EXPECT_EQ(pages->ActivePageIndex(), 0);
    EXPECT_EQ(changes, 2);
}
