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
#include "controls/ui/tests/require_qt.h"

namespace {
// Puts a new control into its parent.
template <typename C>
C* Place(C* control, TWinControl* parent, int left, int top, int width, int height) {
    control->SetBounds(left, top, width, height);
    control->SetParent(parent);
    return control;
}

// A round 16 x 16 glyph on the olive its corner gives as transparent.
TBitmap Glyph(uint32_t colour) {
    TBitmap glyph;
    glyph.SetPixelFormat(TPixelFormat::pf32bit);
    glyph.SetSize(16, 16);
    TCanvas canvas(glyph);
    canvas.Brush.Color = 0x008080;
    canvas.FillRect({0, 0, 16, 16});
    canvas.Brush.Color = colour;
    canvas.Ellipse(2, 2, 14, 14);
    return glyph;
}
}  // namespace

TEST(UcStandardControls, AFormHoldsOneOfEachWithWideTexts) {
    REQUIRE_QT();
    TUcForm form(nullptr);
    form.SetBounds(20, 20, 640, 470);
    form.SetCaption(u"Όλα τα στοιχεία · Все элементы · 全部");
    auto* label = new TUcLabel(&form);
    // Our canvas draws with one face: one that has every script here.
    label->Font.Name = "WenQuanYi Micro Hei";
    Place(label, &form, 10, 12, 10, 10);
    label->SetCaption(u"Имя 名前:");
    auto* edit = Place(new TUcEdit(&form), &form, 100, 8, 180, 24);
    edit->SetText(u"Åsa Ωμέγα 😀");
    auto* memo = Place(new TUcMemo(&form), &form, 10, 40, 270, 80);
    memo->Lines().SetTextStr(u"Первая строка\n第二行\nΤρίτη");
    auto* combo = Place(new TUcComboBox(&form), &form, 10, 128, 130, 26);
    for (const char16_t* item : {u"Ёлка", u"Ähre", u"木"}) combo->Items().Add(item);
    combo->SetItemIndex(0);
    auto* list = Place(new TUcListBox(&form), &form, 150, 128, 130, 80);
    for (const char16_t* item : {u"Α", u"Б", u"中"}) list->Items().Add(item);
    list->SetItemIndex(1);
    auto* group = Place(new TUcGroupBox(&form), &form, 10, 214, 270, 90);
    group->SetCaption(u"Выбор 選択");
    auto* check = Place(new TUcCheckBox(&form), group, 10, 22, 120, 22);
    check->SetCaption(u"Ελληνικά");
    check->SetChecked(true);
    auto* radioA = Place(new TUcRadioButton(&form), group, 140, 22, 120, 22);
    radioA->SetCaption(u"Один");
    auto* radioB = Place(new TUcRadioButton(&form), group, 140, 52, 120, 22);
    radioB->SetCaption(u"二");
    radioB->SetChecked(true);
    auto* button = Place(new TUcButton(&form), &form, 10, 312, 100, 28);
    button->SetCaption(u"Готово ✓");
    const TBitmap glyph = Glyph(0x0000C0);
    auto* speed = Place(new TUcSpeedButton(&form), &form, 120, 312, 70, 28);
    speed->Glyph = glyph;
    speed->SetCaption(u"Да");
    speed->GroupIndex = 1;
    speed->SetDown(true);
    auto* bitBtn = Place(new TUcBitBtn(&form), &form, 200, 312, 80, 28);
    bitBtn->Glyph = glyph;
    bitBtn->SetCaption(u"Далее");
    auto* view = Place(new TUcListView(&form), &form, 300, 8, 320, 150);
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
    auto* pages = Place(new TUcPageControl(&form), &form, 300, 166, 320, 140);
    for (const char16_t* caption : {u"Общие", u"画像", u"Τέλος"}) {
        auto* sheet = new TUcTabSheet(&form);
        sheet->SetPageControl(pages);
        sheet->SetCaption(caption);
    }
    auto* onPage = Place(new TUcLabel(&form), pages->Pages(0), 10, 10, 10, 10);
    onPage->SetCaption(u"Страница 1");
    auto* number = Place(new TUcEdit(&form), &form, 300, 314, 80, 24);
    auto* upDown = Place(new TUcUpDown(&form), &form, 0, 0, 17, 24);
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

TEST(UcStandardControls, AFormOfAcceleratorsOwnerDrawnAndVirtualListsOwnerDataAndADockedForm) {
    REQUIRE_QT();
    TUcForm form(nullptr);
    form.SetBounds(20, 20, 700, 500);
    form.SetCaption(u"Клавиши, списки, страницы");
    const char* const face = "WenQuanYi Micro Hei";
    // Accelerators: underlined on our canvas and in Qt's widgets.
    auto* edit = Place(new TUcEdit(&form), &form, 110, 8, 150, 24);
    auto* label = Place(new TUcLabel(&form), &form, 10, 12, 10, 10);
    label->Font.Name = face;
    label->SetCaption(u"&Имя 名前:");
    label->SetFocusControl(edit);
    Place(new TUcButton(&form), &form, 270, 6, 110, 28)->SetCaption(u"&Готово");
    Place(new TUcCheckBox(&form), &form, 390, 10, 140, 22)->SetCaption(u"Ελληνι&κά");
    const TBitmap glyph = Glyph(0x00A000);
    auto* speed = Place(new TUcSpeedButton(&form), &form, 540, 6, 70, 28);
    speed->Font.Name = face;
    speed->Glyph = glyph;
    speed->SetCaption(u"&Σ");
    // A bitmap button whose long caption wraps.
    auto* wrapped = Place(new TUcBitBtn(&form), &form, 10, 42, 130, 56);
    wrapped->Font.Name = face;
    wrapped->Glyph = glyph;
    wrapped->SetWordWrap(true);
    wrapped->SetCaption(u"&Сохранить всё и закрыть 保存");
    // Owner-drawn list with swatches of variable height.
    const uint32_t swatches[] = {0x3030C8, 0x30A030, 0xC83030, 0x00A0C8};
    auto* owner = Place(new TUcListBox(&form), &form, 150, 42, 170, 150);
    owner->Font.Name = face;
    owner->SetStyle(lbOwnerDrawVariable);
    owner->OnMeasureItem = [](TWinControl*, int index, int& height) { height = 22 + (index % 2) * 12; };
    owner->OnDrawItem = [&swatches](TWinControl*, TCanvas& canvas, int index, const TRect& rect,
                                    TOwnerDrawState state) {
        canvas.FillRect(rect);
        canvas.Brush.Color = swatches[index % 4];
        canvas.FillRect({rect.Left + 3, rect.Top + 3, rect.Left + 30, rect.Bottom - 3});
        canvas.Brush.Style = BS_NULL;
        TRect text{rect.Left + 36, rect.Top, rect.Right, rect.Bottom};
        canvas.DrawText(std::u16string(index % 2 ? u"Цвет " : u"色 ") + char16_t(u'A' + index), text,
                        DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
        canvas.Brush.Style = BS_SOLID;
        (void)state;
    };
    for (int i = 0; i < 6; ++i) owner->Items().Add(u"x");
    owner->SetItemIndex(1);
    // A virtual list of a hundred thousand rows.
    auto* lines = Place(new TUcListBox(&form), &form, 330, 42, 170, 150);
    lines->Font.Name = face;
    lines->SetStyle(lbVirtual);
    lines->OnData = [](TWinControl*, int index, WideString& text) {
        text = u"Строка № " + AnsiToWideDefault(std::to_string(index)) + u" 行";
    };
    lines->SetCount(100000);
    lines->SetItemIndex(2);
    // An owner-drawn combo box.
    auto* combo = Place(new TUcComboBox(&form), &form, 510, 42, 170, 30);
    combo->Font.Name = face;
    combo->SetStyle(csOwnerDrawFixed);
    combo->SetItemHeight(22);
    combo->OnDrawItem = [&swatches](TWinControl*, TCanvas& canvas, int index, const TRect& rect, TOwnerDrawState) {
        canvas.FillRect(rect);
        if (index < 0) return;
        canvas.Brush.Color = swatches[index % 4];
        canvas.FillRect({rect.Left + 2, rect.Top + 3, rect.Left + 24, rect.Bottom - 3});
        canvas.Brush.Style = BS_NULL;
        canvas.TextOut(rect.Left + 30, rect.Top + 2, std::u16string(u"Färg ") + char16_t(u'1' + index));
        canvas.Brush.Style = BS_SOLID;
    };
    for (int i = 0; i < 4; ++i) combo->Items().Add(u"x");
    combo->SetItemIndex(2);
    // An owner-data list view.
    auto* view = Place(new TUcListView(&form), &form, 10, 200, 330, 180);
    view->SetOwnerData(true);
    for (const auto& [caption, width] : {std::pair{u"Элемент", 150}, std::pair{u"値", 120}}) {
        TUcListColumn* column = view->Columns().Add();
        column->SetCaption(caption);
        column->SetWidth(width);
    }
    view->OnData = [](TComponent*, TUcListItem* item) {
        item->SetCaption(u"Элемент " + AnsiToWideDefault(std::to_string(item->Index())));
        item->SubItems().Add(AnsiToWideDefault(std::to_string(int64_t{item->Index()} * item->Index())) + u" ²");
    };
    view->Items().SetCount(1000000);
    // A page control with a docked form.
    auto* pages = Place(new TUcPageControl(&form), &form, 350, 200, 330, 180);
    pages->DockSite = true;
    auto* general = new TUcTabSheet(&form);
    general->SetPageControl(pages);
    general->SetCaption(u"&Общие");
    auto docked = std::make_unique<TUcForm>(nullptr);
    docked->SetCaption(u"&Настройки 設定");
    auto* inside = new TUcEdit(docked.get());
    inside->SetBounds(10, 10, 160, 24);
    inside->SetParent(docked.get());
    inside->SetText(u"в пристыкованной форме");
    auto* insideCheck = new TUcCheckBox(docked.get());
    insideCheck->SetBounds(10, 44, 200, 22);
    insideCheck->SetParent(docked.get());
    insideCheck->SetCaption(u"&Включено ✓");
    insideCheck->SetChecked(true);
    docked->Show();
    ASSERT_TRUE(docked->ManualDock(pages));

    form.Show();
    ASSERT_TRUE(QtTesting::ActivateWindow(form));
    // Owner data keeps its selection in the window.
    view->Items().Item(1)->SetSelected(true);
    ASSERT_TRUE(QtTesting::WaitUntil([&] { return !form.NeedsPaint(); }));
    QtTesting::ProcessEvents(100);
    EXPECT_EQ(view->Selected()->Index(), 1);
    EXPECT_EQ(QtTesting::TabText(*pages, 1), u"&Настройки 設定");
    EXPECT_EQ(pages->ActivePageIndex(), 1);
    EXPECT_EQ(QtTesting::CellText(*view, 999999, 0), u"Элемент 999999");
    EXPECT_EQ(lines->Items().Get(2), u"Строка № 2 行");

    const std::filesystem::path folder = std::filesystem::path(TW_ARTIFACT_DIR) / "controls";
    std::filesystem::create_directories(folder);
    EXPECT_TRUE(QtTesting::SaveWindowPicture(form, (folder / "owner-draw-and-docking.png").string()));
    docked.reset();
}
