// The standard controls with wide text on Qt's offscreen plugin, driven as
// a user drives them (keys with their text, clicks) and through their own
// interfaces: edits and memos, check boxes and radio buttons in group
// boxes, combo and list boxes.
#include <gtest/gtest.h>

#include "controls/ui/ucforms.h"
#include "controls/ui/ucstdctrls.h"
#include "platform/errors.h"
#include "platform/testing/test_support.h"
#include "platform/ui/qt/qt_testing.h"
#include "platform/ui/qt/qt_testing_ctrls.h"
#include "controls/ui/tests/form_fixture.h"
#include "controls/ui/tests/require_qt.h"

namespace {

// Types text into the control's window, one character a key.
void Type(TWinControl& control, const std::u16string& text) {
    for (char16_t c : text) QtTesting::KeyClick(control, 0, std::u16string(1, c));
}

const WideString Wide = u"Ωμέγα 😀 中文";  // with a surrogate pair

}  // namespace

TEST(UcEdit, KeepsWideTextAndCountsTheSelectionInUtf16Units) {
    REQUIRE_QT();
    TFormFixture f{520, 360};
    auto* edit = f.Place<TUcEdit>(10, 10, 200, 24);
    int changes = 0;
    edit->OnChange = [&](TComponent*) { ++changes; };

    edit->SetText(Wide);
    EXPECT_EQ(edit->Text(), Wide);
    EXPECT_EQ(changes, 1);
    edit->SetText(Wide);  // the same text again changes nothing
    EXPECT_EQ(changes, 1);

    // The emoji is two units.
    edit->SetSelStart(6);
    edit->SetSelLength(2);
    EXPECT_EQ(edit->SelStart(), 6);
    EXPECT_EQ(edit->SelLength(), 2);
    EXPECT_EQ(edit->SelText(), u"😀");
    edit->SetSelText(u"★");
    EXPECT_EQ(edit->Text(), u"Ωμέγα ★ 中文");
    EXPECT_EQ(changes, 2);

    // One change event for each key the user types.
    edit->SetSelStart(static_cast<int>(edit->Text().size()));
    Type(*edit, u"жё");
    EXPECT_EQ(edit->Text(), u"Ωμέγα ★ 中文жё");
    EXPECT_EQ(changes, 4);

    // Replacing the characters survives a new window.
    edit->RecreateWnd();
    EXPECT_EQ(edit->Text(), u"Ωμέγα ★ 中文жё");
}

TEST(UcEdit, MaximumLengthReadOnlyAndAWidePasswordCharacter) {
    REQUIRE_QT();
    TFormFixture f{520, 360};
    auto* edit = f.Place<TUcEdit>(10, 10, 200, 24);
    edit->SetMaxLength(3);
    Type(*edit, u"абвгд");
    EXPECT_EQ(edit->Text(), u"абв");

    int changes = 0;
    edit->OnChange = [&](TComponent*) { ++changes; };
    edit->SetReadOnly(true);
    Type(*edit, u"x");
    EXPECT_EQ(edit->Text(), u"абв");
    EXPECT_EQ(changes, 0);
    // Read-only holds in a new window too.
    edit->RecreateWnd();
    Type(*edit, u"x");
    EXPECT_EQ(edit->Text(), u"абв");

    edit->SetPasswordChar(u'●');
    EXPECT_EQ(edit->PasswordChar(), u'●');
    EXPECT_EQ(edit->AnsiPasswordChar(), '*');
    edit->SetPasswordChar(u'#');
    EXPECT_EQ(edit->AnsiPasswordChar(), '#');
    EXPECT_EQ(edit->Text(), u"абв");
}

TEST(UcMemo, LinesWorkOnTheWindowWithCrLfBreaks) {
    REQUIRE_QT();
    TFormFixture f{520, 360};
    auto* memo = f.Place<TUcMemo>(10, 10, 300, 150);
    int changes = 0;
    memo->OnChange = [&](TComponent*) { ++changes; };

    // Bare LF breaks are stored as CR LF.
    memo->Lines().SetTextStr(u"első\nвторая\n😀 third");
    EXPECT_EQ(memo->Text(), u"első\r\nвторая\r\n😀 third");
    EXPECT_EQ(changes, 1);
    memo->Lines().SetTextStr(u"első\r\nвторая\r\n😀 third");
    EXPECT_EQ(changes, 1);
    ASSERT_EQ(memo->Lines().Count(), 3);
    EXPECT_EQ(memo->Lines().Get(1), u"вторая");
    EXPECT_EQ(memo->Lines().Get(2), u"😀 third");

    // Line starts count CR LF as two units.
    EXPECT_EQ(memo->SendClassMessage(EM_LINEINDEX, 2), 14);
    memo->SetSelStart(14);
    memo->SetSelLength(2);
    EXPECT_EQ(memo->SelStart(), 14);
    EXPECT_EQ(memo->SelLength(), 2);
    memo->SetSelText(u"☺");
    EXPECT_EQ(memo->Lines().Get(2), u"☺ third");

    memo->Lines().Put(1, u"Zwei");
    EXPECT_EQ(memo->Text(), u"első\r\nZwei\r\n☺ third");
    // At the count: after the last line, which has text; beyond: nothing.
    memo->Lines().Insert(3, u"vier");
    memo->Lines().Insert(9, u"nowhere");
    EXPECT_EQ(memo->Text(), u"első\r\nZwei\r\n☺ third\r\nvier");
    memo->Lines().Insert(0, u"null");
    memo->Lines().Delete(2);
    EXPECT_EQ(memo->Text(), u"null\r\nelső\r\n☺ third\r\nvier");
    EXPECT_THROW(memo->Lines().Get(4), EStringListError);
    EXPECT_THROW(memo->Lines().Delete(-1), EStringListError);

    // Enter typed by the user counts two units against the limit.
    memo->Lines().Clear();
    memo->SetMaxLength(4);
    Type(*memo, u"ab");
    QtTesting::KeyClick(*memo, VK_RETURN, u"\r");
    Type(*memo, u"cd");
    EXPECT_EQ(memo->Text(), u"ab\r\n");
}

TEST(UcMemo, KeepsItsLinesWithoutAWindow) {
    REQUIRE_QT();
    TUcMemo memo(nullptr);
    memo.Lines().Add(u"один");
    memo.Lines().Add(u"два");
    EXPECT_EQ(memo.Text(), u"один\r\nдва");
    TFormFixture f{520, 360};
    memo.SetParent(&f.Form);
    EXPECT_EQ(memo.Lines().Count(), 2);
    EXPECT_EQ(memo.Lines().Get(1), u"два");
    memo.SetParent(nullptr);
}

TEST(UcCheckBox, ChangesByClickAndByKeyAndNotWhenDisabled) {
    REQUIRE_QT();
    TFormFixture f{520, 360};
    auto* box = f.Place<TUcCheckBox>(10, 10, 200, 24);
    box->SetCaption(u"Ελληνικά ☑");
    EXPECT_EQ(box->Caption(), u"Ελληνικά ☑");
    int clicks = 0;
    box->OnClick = [&](TComponent*) { ++clicks; };

    QtTesting::MouseClick(*box, 8, 12);
    EXPECT_TRUE(box->Checked());
    QtTesting::KeyClick(*box, VK_SPACE, u" ");
    EXPECT_FALSE(box->Checked());
    EXPECT_EQ(clicks, 2);
    // The program's change is a click too.
    box->SetChecked(true);
    EXPECT_EQ(clicks, 3);
    box->SetChecked(true);
    EXPECT_EQ(clicks, 3);

    box->SetEnabled(false);
    QtTesting::MouseClick(*box, 8, 12);
    QtTesting::KeyClick(*box, VK_SPACE, u" ");
    EXPECT_TRUE(box->Checked());
    EXPECT_EQ(clicks, 3);

    // The state survives a new window.
    box->RecreateWnd();
    EXPECT_TRUE(box->Checked());
}

TEST(UcRadioButton, EachGroupBoxHoldsItsOwnGroup) {
    REQUIRE_QT();
    TFormFixture f{520, 360};
    auto* left = f.Place<TUcGroupBox>(10, 10, 200, 120);
    auto* right = f.Place<TUcGroupBox>(220, 10, 200, 120);
    left->SetCaption(u"Слева");
    right->SetCaption(u"右");
    EXPECT_EQ(left->Caption(), u"Слева");
    auto radio = [](TUcGroupBox* box, int top, const WideString& caption) {
        auto* button = new TUcRadioButton(box);
        button->SetBounds(10, top, 150, 24);
        button->SetParent(box);
        button->SetCaption(caption);
        return button;
    };
    TUcRadioButton* a = radio(left, 30, u"α");
    TUcRadioButton* b = radio(left, 60, u"β");
    TUcRadioButton* c = radio(right, 30, u"γ");
    TUcRadioButton* d = radio(right, 60, u"δ");
    int clicks = 0;
    b->OnClick = [&](TComponent*) { ++clicks; };

    QtTesting::MouseClick(*a, 8, 12);
    QtTesting::MouseClick(*c, 8, 12);
    EXPECT_TRUE(a->Checked());
    EXPECT_TRUE(c->Checked());
    QtTesting::MouseClick(*b, 8, 12);
    EXPECT_EQ(clicks, 1);
    EXPECT_TRUE(b->Checked());
    EXPECT_FALSE(a->Checked());
    EXPECT_TRUE(c->Checked());
    // The program checks one: its group's other one clears.
    d->SetChecked(true);
    EXPECT_FALSE(c->Checked());
    EXPECT_TRUE(b->Checked());
    // Cleared by another's check, it does not click.
    a->SetChecked(true);
    EXPECT_FALSE(b->Checked());
    EXPECT_EQ(clicks, 1);
    // An arrow key moves the check to the next one of the group.
    a->SetFocus();
    QtTesting::KeyClick(*a, VK_DOWN, u"");
    EXPECT_TRUE(b->Checked());
    EXPECT_FALSE(a->Checked());
    EXPECT_EQ(clicks, 2);
    EXPECT_TRUE(d->Checked());
}

TEST(UcListBox, WideItemsWithObjectsSortingFindingAndTheSelectionEvent) {
    REQUIRE_QT();
    int objects[4] = {};
    TFormFixture f{520, 360};
    // Items given before the window exists reach it.
    auto* list = new TUcListBox(&f.Form);
    list->SetBounds(10, 10, 200, 150);
    list->Items().AddObject(u"Żółw", &objects[0]);
    list->Items().AddObject(u"ägypten", &objects[1]);
    list->SetParent(&f.Form);
    list->Items().AddObject(u"Вода", &objects[2]);
    list->Items().InsertObject(0, u"Apfel", &objects[3]);
    ASSERT_EQ(list->Items().Count(), 4);
    EXPECT_EQ(list->Items().Get(1), u"Żółw");
    EXPECT_EQ(list->Items().GetObject(3), &objects[2]);
    EXPECT_EQ(list->Items().IndexOf(u"вода"), 3);
    // The platform's list finds an item in any case.
    EXPECT_EQ(list->Items().IndexOf(u"ÄGYPTEN"), 2);

    int clicks = 0;
    list->OnClick = [&](TComponent*) { ++clicks; };
    list->SetItemIndex(1);
    EXPECT_EQ(clicks, 0);
    ASSERT_TRUE(QtTesting::ClickItem(*list, 3));
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(list->ItemIndex(), 3);

    // Sorted: the selected item keeps its selection at its new place.
    list->SetSorted(true);
    EXPECT_EQ(list->Items().Get(0), u"Apfel");
    EXPECT_EQ(list->Items().Get(3), u"Вода");
    EXPECT_EQ(list->ItemIndex(), 3);
    EXPECT_EQ(list->Items().GetObject(3), &objects[2]);
    EXPECT_EQ(list->Items().Add(u"Banane"), 1);

    list->Items().Put(1, u"Birne");
    EXPECT_EQ(list->Items().Get(1), u"Birne");
    list->Items().Delete(0);
    EXPECT_EQ(list->Items().Count(), 4);

    // Out of range: the list's error, nothing read past the list.
    EXPECT_THROW(list->Items().Get(4), EStringListError);
    EXPECT_THROW(list->Items().GetObject(-1), EStringListError);
    EXPECT_THROW(list->Items().Delete(9), EStringListError);
    EXPECT_THROW(list->Items().Insert(9, u"x"), EStringListError);
    EXPECT_THROW(list->SetItemIndex(7), EStringListError);

    // Copying the selection hands text and object on.
    auto* other = f.Place<TUcListBox>(220, 10, 200, 150);
    list->CopySelection(*other);
    ASSERT_EQ(other->Items().Count(), 1);
    EXPECT_EQ(other->Items().Get(0), u"Вода");
    EXPECT_EQ(other->Items().GetObject(0), &objects[2]);
}

namespace {
// A combo box whose type-ahead clock the test moves.
class TClockedComboBox : public TUcComboBox {
public:
    explicit TClockedComboBox(TComponent* owner) : TUcComboBox(owner) {}
    uint64_t Now = 100000;

protected:
    uint64_t TickCount() const override { return Now; }
};
}  // namespace

TEST(UcComboBox, WideItemsTypedTextAndTheSelectionEvent) {
    REQUIRE_QT();
    TFormFixture f{520, 360};
    auto* combo = f.Place<TUcComboBox>(10, 10, 200, 26);
    combo->AutoComplete = false;
    int object = 0;
    combo->Items().Add(u"Ёлка");
    combo->Items().AddObject(u"Ähre", &object);
    combo->Items().Insert(0, u"木");
    EXPECT_EQ(combo->Items().Count(), 3);
    EXPECT_EQ(combo->Items().IndexOf(u"Ähre"), 2);
    EXPECT_EQ(combo->Items().GetObject(2), &object);
    EXPECT_EQ(combo->ItemIndex(), -1);
    EXPECT_THROW(combo->Items().Get(3), EStringListError);

    int changes = 0, selects = 0;
    combo->OnChange = [&](TComponent*) { ++changes; };
    combo->SetFocus();
    // A key's text holds a whole surrogate pair.
    for (const char16_t* key : {u"Д", u"о", u"м", u"😀"}) QtTesting::KeyClickFocused(0, key);
    EXPECT_EQ(combo->Text(), u"Дом😀");
    EXPECT_EQ(changes, 4);

    combo->OnSelect = [&](TComponent*) { ++selects; };
    combo->SetStyle(csDropDownList);
    EXPECT_EQ(combo->Items().Count(), 3);
    combo->SetItemIndex(0);
    EXPECT_EQ(selects, 0);
    QtTesting::KeyClick(*combo, VK_DOWN, u"");
    EXPECT_EQ(selects, 1);
    EXPECT_EQ(combo->ItemIndex(), 1);
    EXPECT_EQ(combo->Text(), u"Ёлка");

    // Sorted: the selected item keeps its selection at its new place, and
    // new items go where they sort.
    combo->SetSorted(true);
    EXPECT_EQ(combo->Items().Get(0), u"Ähre");
    EXPECT_EQ(combo->Items().Get(1), u"Ёлка");
    EXPECT_EQ(combo->ItemIndex(), 1);
    EXPECT_EQ(combo->Items().GetObject(0), &object);
    // (Compared as the lists compare: upper-cased UTF-16 units.)
    EXPECT_EQ(combo->Items().Add(u"Zebra"), 0);
    EXPECT_EQ(combo->Items().Add(u"Я"), 3);
    EXPECT_EQ(combo->ItemIndex(), 2);

    // Clearing keeps the text of an edit part.
    combo->SetStyle(csDropDown);
    combo->SetText(u"stays");
    combo->Items().Clear();
    EXPECT_EQ(combo->Text(), u"stays");
}

TEST(UcComboBox, CompletesTypedWideTextWithTheRestOfAnItem) {
    REQUIRE_QT();
    TFormFixture f{520, 360};
    auto* combo = f.Place<TUcComboBox>(10, 10, 200, 26);
    for (const char16_t* item : {u"Banane", u"Быстро", u"Бык"}) combo->Items().Add(item);
    int selects = 0;
    combo->OnSelect = [&](TComponent*) { ++selects; };
    combo->SetFocus();
    // The typed letters keep their case; the completed rest is selected.
    QtTesting::KeyClickFocused(0, u"б");
    EXPECT_EQ(combo->Text(), u"быстро");
    EXPECT_EQ(combo->SelStart(), 1);
    EXPECT_EQ(combo->SelLength(), 5);
    EXPECT_EQ(combo->SelText(), u"ыстро");
    EXPECT_EQ(combo->ItemIndex(), 1);
    EXPECT_EQ(selects, 1);
    QtTesting::KeyClickFocused(0, u"ы");
    QtTesting::KeyClickFocused(0, u"к");
    EXPECT_EQ(combo->Text(), u"бык");
    EXPECT_EQ(combo->ItemIndex(), 2);
    // No item starts so: the character is typed as it is.
    QtTesting::KeyClickFocused(0, u"z");
    EXPECT_EQ(combo->Text(), u"быкz");
}

TEST(UcComboBox, ADropDownListSearchesWhatIsTypedWithinAPause) {
    REQUIRE_QT();
    TFormFixture f{520, 360};
    auto* combo = new TClockedComboBox(&f.Form);
    combo->SetStyle(csDropDownList);
    combo->SetBounds(10, 10, 200, 26);
    combo->SetParent(&f.Form);
    for (const char16_t* item : {u"Бык", u"Быстро", u"Ёж", u"ёлка"}) combo->Items().Add(item);

    QtTesting::KeyClick(*combo, 0, u"б");
    combo->Now += 100;
    QtTesting::KeyClick(*combo, 0, u"ы");
    combo->Now += 1249;
    QtTesting::KeyClick(*combo, 0, u"с");
    EXPECT_EQ(combo->ItemIndex(), 1);
    EXPECT_EQ(combo->Text(), u"Быстро");
    // After a pause of 1250 ms the search starts again.
    combo->Now += 1250;
    QtTesting::KeyClick(*combo, 0, u"ё");
    EXPECT_EQ(combo->ItemIndex(), 2);
    combo->Now += 10;
    QtTesting::KeyClick(*combo, 0, u"л");
    EXPECT_EQ(combo->ItemIndex(), 3);
}

TEST(UcLabel, AnEmptyCaptionKeepsOneLineAndADisabledOneIsEmbossed) {
    REQUIRE_QT();
    TFormFixture f{520, 360};
    auto* label = f.Place<TUcLabel>(10, 10, 10, 10);
    label->SetCaption(u"Ж");
    const int32_t lineHeight = label->Height();
    EXPECT_GT(lineHeight, 5);
    label->SetCaption(u"");
    EXPECT_EQ(label->Height(), lineHeight);

    label->Font.Height = -40;
    label->SetCaption(u"█");
    label->SetEnabled(false);
    ASSERT_TRUE(QtTesting::WaitUntil([&] { return !f.Form.NeedsPaint(); }));
    // The block in shadow, its highlight copy showing a pixel right of it
    // and below it.
    const TBitmap& surface = f.Form.NativeWindow()->Surface();
    TCanvas canvas(const_cast<TBitmap&>(surface));
    const TColor shadow = ColorToRGB(static_cast<TColor>(0x80000010));
    const TColor highlight = ColorToRGB(static_cast<TColor>(0x80000014));
    int shadows = 0, highlights = 0, rightEdges = 0;
    for (int y = 10; y < 10 + label->Height(); ++y) {
        for (int x = 10; x < 10 + label->Width(); ++x) {
            const TColor colour = canvas.GetPixel(x, y);
            shadows += colour == shadow;
            highlights += colour == highlight;
            rightEdges += colour == shadow && canvas.GetPixel(x + 1, y) == highlight;
        }
    }
    EXPECT_GT(shadows, 100);
    EXPECT_GT(highlights, 10);
    EXPECT_GT(rightEdges, 10);
}
