// Windows as a user meets them, on Qt's offscreen plugin: titles, menus,
// keys, hints, the clipboard, and the toolkit's loop inside Qt's nested
// loops.
#include <gtest/gtest.h>

#include "controls/ui/ucactnlist.h"
#include "controls/ui/ucforms.h"
#include "controls/ui/uchintwindow.h"
#include "controls/ui/ucmenus.h"
#include "controls/ui/ucstdctrls.h"
#include "platform/testing/test_support.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/qt/qt_testing.h"
#include "require_qt.h"

namespace {

// Pixels of the surface whose colour is far from the background's.
int InkPixels(const TBitmap& surface, const TRect& area, TColor background) {
    int ink = 0;
    for (int32_t y = std::max(area.Top, 0); y < std::min(area.Bottom, surface.Height()); ++y) {
        const uint8_t* row = surface.ScanLine(y);
        for (int32_t x = std::max(area.Left, 0); x < std::min(area.Right, surface.Width()); ++x) {
            const uint8_t* p = row + x * 4;  // blue, green, red
            const int distance = std::abs(p[2] - RedOf(background)) + std::abs(p[1] - GreenOf(background)) +
                                 std::abs(p[0] - BlueOf(background));
            if (distance > 200) ++ink;
        }
    }
    return ink;
}

// Sets the application's OnHint for one test.
struct THintHandler {
    explicit THintHandler(TNotifyEvent handler) { Application().OnHint = std::move(handler); }
    ~THintHandler() { Application().OnHint = nullptr; }
};

}  // namespace

TEST(UcWindows, AWideCaptionIsTheTitleAndALabelPaintsItWithOurCanvas) {
    REQUIRE_QT();
    const WideString caption = u"Ελληνικά Русский 中文";
    TUcForm form(nullptr);
    form.SetBounds(40, 40, 420, 160);
    form.SetCaption(caption);
    auto* label = new TUcLabel(&form);
    label->Font.Name = "WenQuanYi Micro Hei";
    label->Font.Height = -20;
    label->SetBounds(10, 10, 10, 10);
    label->SetParent(&form);
    label->SetCaption(caption);
    form.Show();
    EXPECT_EQ(QtTesting::WindowTitle(form), caption);
    ASSERT_TRUE(QtTesting::WaitUntil([&] { return !form.NeedsPaint(); }));
    const TBitmap& surface = form.NativeWindow()->Surface();
    const TColor face = ColorToRGB(form.Color);
    // Each script's glyphs left ink in its third of the label.
    const TRect box = label->BoundsRect();
    ASSERT_GT(label->Width(), 200);
    TCanvas measure(const_cast<TBitmap&>(surface));
    measure.Font = label->Font;
    const int32_t greek = measure.TextExtent(u"Ελληνικά ").cx;
    const int32_t russian = measure.TextExtent(u"Ελληνικά Русский ").cx;
    EXPECT_GT(InkPixels(surface, {box.Left, box.Top, box.Left + greek, box.Bottom}, face), 40);
    EXPECT_GT(InkPixels(surface, {box.Left + greek, box.Top, box.Left + russian, box.Bottom}, face), 40);
    EXPECT_GT(InkPixels(surface, {box.Left + russian, box.Top, box.Right, box.Bottom}, face), 40);
    EXPECT_EQ(measure.FontFace().FamilyName(), "WenQuanYi Micro Hei");
    // Another title on the fly.
    form.SetCaption(u"Ωμέγα");
    EXPECT_EQ(QtTesting::WindowTitle(form), u"Ωμέγα");
}

TEST(UcWindows, AMenuBarShowsWideItemsRunsThemAndGivesTheirHintsToTheStatusLine) {
    REQUIRE_QT();
    TUcForm form(nullptr);
    form.SetBounds(60, 60, 480, 240);
    form.SetCaption(u"Меню");
    auto* status = new TUcStatusBar(&form);
    status->SetParent(&form);
    THintHandler showHints([&](TComponent*) { status->SetSimpleText(UcApplication().GetWideHint()); });
    auto* preview = new TUcAction(&form);
    preview->SetCaption(u"&Просмотр");
    preview->SetHint(u"Просмотр|Показать фильм в окне");
    preview->SetShortCut(ShortCut(VK_F9, 0));
    int previews = 0;
    preview->OnExecute = [&](TBasicAction*) { ++previews; };
    auto* menu = new TMainMenu(&form);
    auto* file = new TUcMenuItem(&form);
    file->SetWideCaption(u"&Файл");
    auto* exportMenu = new TUcMenuItem(&form);
    exportMenu->SetWideCaption(u"Экспорт");
    auto* gif = new TUcMenuItem(&form);
    gif->SetWideCaption(u"GIF…");
    gif->SetWideHint(u"GIF|Сохранить как GIF");
    auto* line = new TUcMenuItem(&form);
    line->SetCaption("-");
    auto* previewItem = new TUcMenuItem(&form);
    previewItem->SetAction(preview);
    menu->Items()->Add(file);
    file->Add(previewItem);
    file->Add(line);
    file->Add(exportMenu);
    exportMenu->Add(gif);
    int gifs = 0;
    gif->OnClick = [&](TComponent*) { ++gifs; };
    form.SetMenu(menu);
    auto* button = new TUcButton(&form);
    button->SetBounds(10, 10, 120, 28);
    button->SetParent(&form);
    button->SetAction(preview);
    form.Show();
    ASSERT_TRUE(QtTesting::ActivateWindow(form));

    const QtTesting::TMenuItemState shown = QtTesting::MenuItemState(form, *previewItem);
    ASSERT_TRUE(shown.Found);
    EXPECT_EQ(shown.Text, u"&Просмотр");
    EXPECT_EQ(shown.ShortCut, u"F9");
    EXPECT_TRUE(QtTesting::MenuItemState(form, *line).Separator);
    EXPECT_EQ(QtTesting::MenuItemState(form, *file).Text, u"&Файл");

    // Hovering an item puts its long hint in the status line.
    ASSERT_TRUE(QtTesting::HoverMenuItem(form, *gif));
    EXPECT_TRUE(QtTesting::WaitUntil([&] { return status->SimpleText() == u"Сохранить как GIF"; }))
        << UcSystem::WideToUtf8(status->SimpleText());
    // Clicking it runs it.
    ASSERT_TRUE(QtTesting::ClickMenuItem(form, *gif));
    EXPECT_TRUE(QtTesting::WaitUntil([&] { return gifs == 1; }));
    QtTesting::ClosePopup();
    // The shortcut and the item both run the action.
    QtTesting::KeyClick(form, VK_F9, u"");
    EXPECT_TRUE(QtTesting::WaitUntil([&] { return previews == 1; }));
    ASSERT_TRUE(QtTesting::ClickMenuItem(form, *previewItem));
    EXPECT_TRUE(QtTesting::WaitUntil([&] { return previews == 2; }));
    // A disabled action disables its menu item and its button.
    preview->SetEnabled(false);
    EXPECT_FALSE(QtTesting::MenuItemState(form, *previewItem).Enabled);
    EXPECT_FALSE(button->Enabled());
    QtTesting::KeyClick(form, VK_F9, u"");
    QtTesting::ProcessEvents(50);
    EXPECT_EQ(previews, 2);
}

TEST(UcWindows, TheAcceleratorOfAMenuOpensIt) {
    REQUIRE_QT();
    TUcForm form(nullptr);
    form.SetBounds(60, 60, 300, 200);
    auto* menu = new TMainMenu(&form);
    auto* file = new TUcMenuItem(&form);
    file->SetWideCaption(u"&File");
    auto* open = new TUcMenuItem(&form);
    open->SetWideCaption(u"Открыть");
    file->Add(open);
    menu->Items()->Add(file);
    form.SetMenu(menu);
    form.Show();
    ASSERT_TRUE(QtTesting::ActivateWindow(form));
    QtTesting::KeyClick(form, 'F', u"f", ssAlt);
    EXPECT_TRUE(QtTesting::WaitUntil([] { return QtTesting::PopupOpen(); }));
    QtTesting::ClosePopup();
}

TEST(UcWindows, MessagesAndTimersRunWhileAModalDialogOrAPopupMenuIsOpen) {
    REQUIRE_QT();
    TUcForm form(nullptr);
    form.SetBounds(80, 80, 300, 200);
    form.Show();
    auto* timer = new TTimer(&form);
    timer->SetInterval(20);
    int ticks = 0, posted = 0;
    bool closed = false;
    // Posted messages reach their window while the loop is nested.
    struct TProbe : TCustomControl {
        TProbe(TComponent* owner, int& count) : TCustomControl(owner) {
            HandleMessage(WM_USER + 7, [&count](TMessage&, const TMessageHandler&) { ++count; });
        }
    };
    auto* probe = new TProbe(&form, posted);
    probe->SetParent(&form);
    const HWND handle = probe->Handle();
    timer->OnTimer = [&](TComponent*) {
        ++ticks;
        Application().PostMessage(handle, WM_USER + 7);
        if (posted >= 2 && (QtTesting::ModalOpen() || QtTesting::PopupOpen())) {
            closed = QtTesting::ModalOpen() ? QtTesting::CloseModal() : QtTesting::ClosePopup();
        }
    };
    // A modal dialog of the platform (QDialog::exec inside).
    TColorDialog colours(&form);
    EXPECT_FALSE(colours.Execute());
    EXPECT_TRUE(closed);
    EXPECT_GE(posted, 2);
    // A pop-up menu (QMenu::exec inside).
    ticks = 0;
    posted = 0;
    closed = false;
    TUcPopupMenu popup(&form);
    auto* item = new TUcMenuItem(&form);
    item->SetWideCaption(u"Пункт");
    popup.Items()->Add(item);
    popup.Popup(100, 100);
    EXPECT_TRUE(closed);
    EXPECT_GE(posted, 2);
    // A modal form of our own.
    ticks = 0;
    TUcForm dialog(nullptr);
    dialog.SetBounds(120, 120, 200, 100);
    timer->OnTimer = [&](TComponent*) {
        if (++ticks == 3) dialog.ModalResult = mrOk;
    };
    EXPECT_EQ(dialog.ShowModal(), mrOk);
    timer->SetEnabled(false);
}

TEST(UcWindows, AFormWithKeyPreviewSwallowsAKeyAndWideTextArrivesWhole) {
    REQUIRE_QT();
    TUcForm form(nullptr);
    form.SetBounds(100, 100, 300, 120);
    form.KeyPreview = true;
    std::vector<uint16_t> previewed;
    form.OnKeyDown = [&](TComponent*, uint16_t& key, TShiftState) {
        previewed.push_back(key);
        if (key == VK_F9) key = 0;
    };
    form.OnKeyPress = [&](TComponent*, char16_t& key) {
        if (key == u'#') key = 0;  // swallowed
    };
    auto* edit = new TUcEdit(&form);
    edit->SetBounds(10, 10, 200, 24);
    edit->SetParent(&form);
    std::vector<uint16_t> editKeys;
    edit->OnKeyDown = [&](TComponent*, uint16_t& key, TShiftState) { editKeys.push_back(key); };
    form.Show();
    ASSERT_TRUE(QtTesting::ActivateWindow(form));
    edit->SetFocus();
    QtTesting::KeyClick(*edit, VK_F9, u"");
    EXPECT_EQ(previewed, std::vector<uint16_t>{VK_F9});
    EXPECT_TRUE(editKeys.empty());
    QtTesting::KeyClick(*edit, 'A', u"a");
    QtTesting::KeyClick(*edit, 0, u"#");
    QtTesting::KeyClick(*edit, 0, u"Ωщ中😀");
    EXPECT_EQ(editKeys, std::vector<uint16_t>{'A'});
    EXPECT_EQ(edit->Text(), u"aΩщ中😀");
}

TEST(UcWindows, AWideHintShowsAfterThePauseNearTheMouseSizedToItsTextAndHidesOnLeave) {
    REQUIRE_QT();
    TUcForm form(nullptr);
    form.SetBounds(120, 120, 320, 200);
    auto* button = new TUcButton(&form);
    button->SetBounds(20, 20, 120, 30);
    button->SetParent(&form);
    auto* label = new TUcLabel(&form);
    label->SetBounds(20, 80, 100, 20);
    label->SetParent(&form);
    label->SetCaption(u"Метка");
    label->SetHint(u"Подсказка 提示|Длинная часть");
    form.Show();
    ASSERT_TRUE(QtTesting::ActivateWindow(form));
    const uint32_t pause = Application().HintPause;
    Application().HintPause = 100;
    QtTesting::MouseMove(form, label->Left() + 5, label->Top() + 5);
    EXPECT_EQ(Application().HintWindow(), nullptr);  // not before the pause
    ASSERT_TRUE(QtTesting::WaitUntil([] { return Application().HintWindow() && Application().HintWindow()->Visible(); }));
    auto* hint = dynamic_cast<TUcCustomHintWindow*>(Application().HintWindow());
    ASSERT_NE(hint, nullptr);
    EXPECT_EQ(hint->Caption(), u"Подсказка 提示");
    EXPECT_TRUE(QtTesting::WindowVisible(*hint));
    // Near the mouse: just below the pointer.
    const TPoint mouse = Application().CursorPos();
    const TRect at = QtTesting::ScreenGeometry(*hint);
    EXPECT_NEAR(at.Left, mouse.X, 2);
    EXPECT_GT(at.Top, mouse.Y);
    EXPECT_LT(at.Top, mouse.Y + 40);
    // Sized to its text.
    TBitmap scratch;
    TCanvas canvas(scratch);
    canvas.Font = hint->Font;
    const TSize text = canvas.TextExtent(u"Подсказка 提示");
    EXPECT_EQ(at.Right - at.Left, text.cx + 8);
    EXPECT_EQ(at.Bottom - at.Top, text.cy + 4);
    QtTesting::MouseLeave(form);
    EXPECT_EQ(Application().HintWindow(), nullptr);
    Application().HintPause = pause;
}

TEST(UcWindows, WideTextCopiedFromOneEditPastesIntoAnotherAndTheSystemClipboard) {
    REQUIRE_QT();
    TUcForm form(nullptr);
    form.SetBounds(140, 140, 320, 120);
    auto* from = new TUcEdit(&form);
    from->SetBounds(10, 10, 200, 24);
    from->SetParent(&form);
    auto* to = new TUcEdit(&form);
    to->SetBounds(10, 50, 200, 24);
    to->SetParent(&form);
    form.Show();
    from->SetText(u"Копия αβγ 复制");
    from->SelectAll();
    from->CopyToClipboard();
    EXPECT_EQ(QtTesting::SystemClipboardText(), u"Копия αβγ 复制");
    EXPECT_EQ(Clipboard().AsText(), u"Копия αβγ 复制");
    to->PasteFromClipboard();
    EXPECT_EQ(to->Text(), u"Копия αβγ 复制");
    // And back: text put on the clipboard by the toolkit pastes into an edit.
    Clipboard().SetAsText(u"Ещё 再");
    EXPECT_EQ(QtTesting::SystemClipboardText(), u"Ещё 再");
    to->SelectAll();
    to->PasteFromClipboard();
    EXPECT_EQ(to->Text(), u"Ещё 再");
    // A private format travels as its own type beside the text.
    Clipboard().SetFormats({{"text/plain", "x"}, {ClipboardFormatMime("VIDURER VECT"), std::string("\0\1\2", 3)}});
    EXPECT_EQ(Clipboard().AsFormat("application/x-vidurer-vect"), std::string("\0\1\2", 3));
}
