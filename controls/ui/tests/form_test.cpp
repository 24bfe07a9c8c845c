// A form holding one of each standard control with wide texts, shown on the
// screen (Qt's offscreen one under ctest); its picture lands in the
// artifacts for a person to look at.
#include <gtest/gtest.h>

#include <filesystem>

#include "controls/ui/ucbuttons.h"
#include "controls/ui/uccomctrls.h"
#include "controls/ui/ucforms.h"
#include "controls/ui/ucstdctrls.h"
#include "platform/testing/test_support.h"
#include "platform/ui/qt/qt_testing.h"
#include "platform/ui/qt/qt_testing_ctrls.h"

TEST(UcStandardControls, AFormHoldsOneOfEachWithWideTexts) {
    if (!QtTesting::Running()) {
        TW_SKIP_OR_FAIL() << "the Qt plugin is not running (TW_UI_PLATFORM=qt)";
    }
    TUcForm form(nullptr);
    form.SetBounds(20, 20, 640, 470);
    form.SetCaption(u"Όλα τα στοιχεία · Все элементы · 全部");
    auto place = [&](auto* control, TWinControl* parent, int left, int top, int width, int height) {
        control->SetBounds(left, top, width, height);
        control->SetParent(parent);
        return control;
    };
    auto* label = new TUcLabel(&form);
    // Our canvas draws with one face: one that has every script here.
    label->Font.Name = "WenQuanYi Micro Hei";
    place(label, &form, 10, 12, 10, 10);
    label->SetCaption(u"Имя 名前:");
    auto* edit = place(new TUcEdit(&form), &form, 100, 8, 180, 24);
    edit->SetText(u"Åsa Ωμέγα 😀");
    auto* memo = place(new TUcMemo(&form), &form, 10, 40, 270, 80);
    memo->Lines().SetTextStr(u"Первая строка\n第二行\nΤρίτη");
    auto* combo = place(new TUcComboBox(&form), &form, 10, 128, 130, 26);
    for (const char16_t* item : {u"Ёлка", u"Ähre", u"木"}) combo->Items().Add(item);
    combo->SetItemIndex(0);
    auto* list = place(new TUcListBox(&form), &form, 150, 128, 130, 80);
    for (const char16_t* item : {u"Α", u"Б", u"中"}) list->Items().Add(item);
    list->SetItemIndex(1);
    auto* group = place(new TUcGroupBox(&form), &form, 10, 214, 270, 90);
    group->SetCaption(u"Выбор 選択");
    auto* check = place(new TUcCheckBox(&form), group, 10, 22, 120, 22);
    check->SetCaption(u"Ελληνικά");
    check->SetChecked(true);
    auto* radioA = place(new TUcRadioButton(&form), group, 140, 22, 120, 22);
    radioA->SetCaption(u"Один");
    auto* radioB = place(new TUcRadioButton(&form), group, 140, 52, 120, 22);
    radioB->SetCaption(u"二");
    radioB->SetChecked(true);
    auto* button = place(new TUcButton(&form), &form, 10, 312, 100, 28);
    button->SetCaption(u"Готово ✓");
    TBitmap glyph;
    glyph.SetPixelFormat(TPixelFormat::pf32bit);
    glyph.SetSize(16, 16);
    {
        TCanvas canvas(glyph);
        canvas.Brush.Color = 0x008080;
        canvas.FillRect({0, 0, 16, 16});
        canvas.Brush.Color = 0x0000C0;
        canvas.Ellipse(2, 2, 14, 14);
    }
    auto* speed = place(new TUcSpeedButton(&form), &form, 120, 312, 70, 28);
    speed->Glyph = glyph;
    speed->SetCaption(u"Да");
    speed->GroupIndex = 1;
    speed->SetDown(true);
    auto* bitBtn = place(new TUcBitBtn(&form), &form, 200, 312, 80, 28);
    bitBtn->Glyph = glyph;
    bitBtn->SetCaption(u"Далее");
    auto* view = place(new TUcListView(&form), &form, 300, 8, 320, 150);
    for (const auto& [caption, width] : {std::pair{u"Город", 140}, std::pair{u"人口", 80}}) {
        TUcListColumn* column = view->Columns().Add();
        column->SetCaption(caption);
        column->SetWidth(width);
    }
    for (const auto& [town, people] : {std::pair{u"Москва", u"13"}, std::pair{u"東京", u"37"}}) {
        TUcListItem* item = view->Items().Add();
        item->SetCaption(town);
        item->SubItems().Add(people);
    }
    view->Items().Item(1)->SetSelected(true);
    auto* pages = place(new TUcPageControl(&form), &form, 300, 166, 320, 140);
    for (const char16_t* caption : {u"Общие", u"画像", u"Τέλος"}) {
        auto* sheet = new TUcTabSheet(&form);
        sheet->SetPageControl(pages);
        sheet->SetCaption(caption);
    }
    auto* onPage = place(new TUcLabel(&form), pages->Pages(0), 10, 10, 10, 10);
    onPage->SetCaption(u"Страница 1");
    auto* number = place(new TUcEdit(&form), &form, 300, 314, 80, 24);
    auto* upDown = place(new TUcUpDown(&form), &form, 0, 0, 17, 24);
    upDown->SetPosition(42);
    upDown->SetAssociate(number);

    form.Show();
    ASSERT_TRUE(QtTesting::ActivateWindow(form));
    ASSERT_TRUE(QtTesting::WaitUntil([&] { return !form.NeedsPaint(); }));
    QtTesting::ProcessEvents(50);
    EXPECT_EQ(QtTesting::WindowTitle(form), u"Όλα τα στοιχεία · Все элементы · 全部");
    EXPECT_EQ(number->Text(), u"42");
    EXPECT_EQ(combo->Text(), u"Ёлка");
    EXPECT_EQ(QtTesting::TabText(*pages, 1), u"画像");
    EXPECT_TRUE(radioB->Checked());

    const std::filesystem::path folder = std::filesystem::path(TW_ARTIFACT_DIR) / "controls";
    std::filesystem::create_directories(folder);
    EXPECT_TRUE(QtTesting::SaveWindowPicture(form, (folder / "standard-controls.png").string()));
}
