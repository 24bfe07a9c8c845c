// The list view in report mode, the page control and the up-down with
// their wide texts on Qt's offscreen plugin, as a user drives them.
#include <gtest/gtest.h>

#include "controls/ui/uccomctrls.h"
#include "controls/ui/ucforms.h"
#include "platform/errors.h"
#include "platform/testing/test_support.h"
#include "platform/ui/qt/qt_testing.h"
#include "platform/ui/qt/qt_testing_ctrls.h"
#include "controls/ui/tests/form_fixture.h"
#include "controls/ui/tests/require_qt.h"

namespace {

// A list view of towns with their sizes.
TUcListView* Towns(TFormFixture& f) {
    auto* view = f.Place<TUcListView>(10, 10, 420, 200);
    TUcListColumn* name = view->Columns().Add();
    name->SetCaption(u"Город ↓");
    name->SetWidth(150);
    TUcListColumn* size = view->Columns().Add();
    size->SetCaption(u"人口");
    size->SetWidth(120);
    const std::pair<const char16_t*, const char16_t*> rows[] = {
        {u"Москва", u"13"}, {u"Ålesund", u"7"}, {u"東京", u"37"}, {u"Ζάκυνθος", u"2"}};
    for (const auto& [town, people] : rows) {
        TUcListItem* item = view->Items().Add();
        item->SetCaption(town);
        item->SubItems().Add(people);
    }
    return view;
}

std::vector<std::u16string> Column(TUcListView& view, int column) {
    std::vector<std::u16string> texts;
    for (int row = 0; row < view.Items().Count(); ++row) texts.push_back(QtTesting::CellText(view, row, column));
    return texts;
}

}  // namespace

TEST(UcListView, ColumnsAndItemsWithSubItemsShowInReportMode) {
    REQUIRE_QT();
    TFormFixture f;
    TUcListView* view = Towns(f);
    EXPECT_EQ(QtTesting::ColumnHeaderText(*view, 0), u"Город ↓");
    EXPECT_EQ(QtTesting::ColumnHeaderText(*view, 1), u"人口");
    EXPECT_EQ(view->Column(0)->Width(), 150);
    EXPECT_EQ(view->Column(1)->Width(), 120);
    EXPECT_EQ(Column(*view, 0), (std::vector<std::u16string>{u"Москва", u"Ålesund", u"東京", u"Ζάκυνθος"}));
    EXPECT_EQ(Column(*view, 1), (std::vector<std::u16string>{u"13", u"7", u"37", u"2"}));

    view->Items().Item(1)->SubItems().Put(0, u"七");
    EXPECT_EQ(QtTesting::CellText(*view, 1, 1), u"七");
    view->Items().Delete(0);
    EXPECT_EQ(QtTesting::CellText(*view, 0, 0), u"Ålesund");
    EXPECT_THROW(view->Items().Item(3), EListError);
    EXPECT_THROW(view->Items().Delete(-1), EListError);
    EXPECT_THROW(view->Column(2), EListError);

    // A new window shows the same texts, widths and selection.
    view->Items().Item(2)->SetSelected(true);
    view->Column(1)->SetWidth(90);
    view->RecreateWnd();
    EXPECT_EQ(Column(*view, 0), (std::vector<std::u16string>{u"Ålesund", u"東京", u"Ζάκυνθος"}));
    EXPECT_EQ(QtTesting::ColumnHeaderText(*view, 1), u"人口");
    EXPECT_EQ(view->Column(1)->Width(), 90);
    EXPECT_EQ(view->Selected(), view->Items().Item(2));

    // With check boxes the window gets sub-item images and info tips too.
    view->SetCheckboxes(true);
    EXPECT_EQ(view->SendClassMessage(LVM_GETEXTENDEDLISTVIEWSTYLE) & 0x406, 0x406);
}

TEST(UcListView, AClickSelectsOneWholeRowAndAColumnClickSortsByTheCompareEvent) {
    REQUIRE_QT();
    TFormFixture f;
    TUcListView* view = Towns(f);
    std::vector<std::pair<std::u16string, bool>> events;
    view->OnSelectItem = [&](TComponent*, TUcListItem* item, bool selected) {
        events.emplace_back(item->Caption(), selected);
    };
    ASSERT_TRUE(QtTesting::ClickItem(*view, 1));
    ASSERT_TRUE(QtTesting::ClickItem(*view, 2));
    EXPECT_EQ(view->Selected(), view->Items().Item(2));
    EXPECT_FALSE(view->Items().Item(1)->Selected());
    EXPECT_EQ(events, (std::vector<std::pair<std::u16string, bool>>{
                          {u"Ålesund", true}, {u"Ålesund", false}, {u"東京", true}}));

    // Clicking a column title sorts by that column's numbers.
    int sortColumn = -1;
    view->OnColumnClick = [&](TComponent*, TUcListColumn* column) {
        sortColumn = column->Index();
        view->AlphaSort();
    };
    view->OnCompare = [&](TComponent*, TUcListItem* a, TUcListItem* b, intptr_t, int& compare) {
        auto number = [](TUcListItem* item) {
            const WideString text = item->SubItems().Get(0);
            return std::stoi(std::string(text.begin(), text.end()));
        };
        compare = sortColumn == 1 ? number(a) - number(b) : LocaleCompareText(a->Caption(), b->Caption());
    };
    ASSERT_TRUE(QtTesting::ClickColumnHeader(*view, 1));
    EXPECT_EQ(sortColumn, 1);
    EXPECT_EQ(Column(*view, 0), (std::vector<std::u16string>{u"Ζάκυνθος", u"Ålesund", u"Москва", u"東京"}));
    EXPECT_EQ(Column(*view, 1), (std::vector<std::u16string>{u"2", u"7", u"13", u"37"}));
    EXPECT_EQ(view->Items().Item(3)->Caption(), u"東京");
    // The selection moved with its row.
    EXPECT_EQ(view->Selected(), view->Items().Item(3));
    EXPECT_TRUE(QtTesting::ClickItem(*view, 0));
    EXPECT_EQ(view->Selected()->Caption(), u"Ζάκυνθος");
}

TEST(UcListView, ALabelEditIsAcceptedOrRefused) {
    REQUIRE_QT();
    TFormFixture f;
    TUcListView* view = Towns(f);
    TUcListItem* item = view->Items().Item(0);
    WideString edited;
    // The editor commits once Qt's loop runs again.
    auto finish = [&](uint16_t key, const std::u16string& text) {
        QtTesting::KeyClickFocused(key, text);
        return QtTesting::WaitUntil([&] { return !QtTesting::LabelEditorOpen(*view); });
    };
    view->OnEdited = [&](TComponent*, TUcListItem*, WideString& text) { edited = text; };

    ASSERT_TRUE(item->EditCaption());
    ASSERT_TRUE(QtTesting::LabelEditorOpen(*view));
    QtTesting::KeyClickFocused('A', u"", ssCtrl);
    for (const char16_t* key : {u"С", u"П", u"б", u"😀"}) QtTesting::KeyClickFocused(0, key);
    EXPECT_TRUE(finish(VK_RETURN, u"\r"));
    EXPECT_EQ(edited, u"СПб😀");
    EXPECT_EQ(item->Caption(), u"СПб😀");
    EXPECT_EQ(QtTesting::CellText(*view, 0, 0), u"СПб😀");

    // OnEdited puts the old text back: the caption stays.
    view->OnEdited = [&](TComponent*, TUcListItem*, WideString& text) { text = u"СПб😀"; };
    ASSERT_TRUE(item->EditCaption());
    QtTesting::KeyClickFocused(0, u"x");
    EXPECT_TRUE(finish(VK_RETURN, u"\r"));
    EXPECT_EQ(item->Caption(), u"СПб😀");
    EXPECT_EQ(QtTesting::CellText(*view, 0, 0), u"СПб😀");

    // Escape cancels; OnEditing may refuse the edit before it starts.
    ASSERT_TRUE(item->EditCaption());
    QtTesting::KeyClickFocused(0, u"y");
    EXPECT_TRUE(finish(VK_ESCAPE, u""));
    EXPECT_EQ(item->Caption(), u"СПб😀");
    view->OnEditing = [](TComponent*, TUcListItem*, bool& allow) { allow = false; };
    item->EditCaption();
    EXPECT_FALSE(QtTesting::LabelEditorOpen(*view));
}

TEST(UcPageControl, WideTabsHiddenPagesAndAChangeTheChangingEventRefuses) {
    REQUIRE_QT();
    TFormFixture f;
    auto* pages = f.Place<TUcPageControl>(10, 10, 400, 250);
    const WideString captions[] = {u"Общие", u"画像", u"Τέλος"};
    std::vector<TUcTabSheet*> sheets;
    for (const WideString& caption : captions) {
        auto* sheet = new TUcTabSheet(&f.Form);
        sheet->SetPageControl(pages);
        sheet->SetCaption(caption);
        sheets.push_back(sheet);
    }
    ASSERT_EQ(QtTesting::TabCount(*pages), 3);
    EXPECT_EQ(QtTesting::TabText(*pages, 1), u"画像");
    EXPECT_EQ(pages->ActivePage(), sheets[0]);
    EXPECT_TRUE(QtTesting::WindowVisible(*sheets[0]));
    EXPECT_FALSE(QtTesting::WindowVisible(*sheets[1]));
    // A page fills the area below the tabs.
    EXPECT_EQ(sheets[0]->Width(), pages->ClientWidth());
    EXPECT_EQ(sheets[0]->Height(), pages->ClientHeight());
    EXPECT_LT(sheets[0]->Height(), pages->Height());

    int changing = 0, changes = 0;
    bool allow = true;
    pages->OnChanging = [&](TComponent*, bool& allowChange) {
        ++changing;
        allowChange = allow;
    };
    pages->OnChange = [&](TComponent*) { ++changes; };
    ASSERT_TRUE(QtTesting::ClickItem(*pages, 2));
    EXPECT_EQ(pages->ActivePage(), sheets[2]);
    EXPECT_TRUE(QtTesting::WindowVisible(*sheets[2]));
    EXPECT_FALSE(QtTesting::WindowVisible(*sheets[0]));
    EXPECT_EQ(changing, 1);
    EXPECT_EQ(changes, 1);

    // Refused: the old tab and page stay.
    allow = false;
    ASSERT_TRUE(QtTesting::ClickItem(*pages, 0));
    EXPECT_EQ(changing, 2);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(pages->ActivePage(), sheets[2]);
    EXPECT_EQ(pages->TabIndex(), 2);
    EXPECT_TRUE(QtTesting::WindowVisible(*sheets[2]));

    // Hiding the middle page's tab; the program changes pages without events.
    sheets[1]->SetTabVisible(false);
    ASSERT_EQ(QtTesting::TabCount(*pages), 2);
    EXPECT_EQ(QtTesting::TabText(*pages, 1), u"Τέλος");
    EXPECT_EQ(pages->TabIndex(), 1);
    sheets[1]->SetTabVisible(true);
    EXPECT_EQ(QtTesting::TabCount(*pages), 3);
    // Hiding the active page shows the next one.
    sheets[2]->SetTabVisible(false);
    EXPECT_EQ(pages->ActivePage(), sheets[1]);
    EXPECT_TRUE(QtTesting::WindowVisible(*sheets[1]));
    EXPECT_EQ(changes, 1);
    sheets[1]->SetCaption(u"Картинки");
    EXPECT_EQ(QtTesting::TabText(*pages, 1), u"Картинки");
    EXPECT_THROW(pages->Pages(3), EListError);
}

TEST(UcUpDown, StepsWithinItsRangeAndKeepsItsEditInStep) {
    REQUIRE_QT();
    TFormFixture f;
    auto* edit = f.Place<TUcEdit>(10, 10, 80, 24);
    auto* upDown = f.Place<TUcUpDown>(0, 0, 17, 24);
    upDown->SetMin(0);
    upDown->SetMax(10);
    upDown->SetIncrement(2);
    upDown->SetPosition(5);
    upDown->SetAssociate(edit);
    // Beside the edit, inside its former width.
    EXPECT_EQ(upDown->Left(), 10 + 80 - 17);
    EXPECT_EQ(edit->Width(), 80 - 17);
    EXPECT_EQ(edit->Text(), u"5");

    std::vector<TUDBtnType> clicks;
    upDown->OnClick = [&](TComponent*, TUDBtnType button) { clicks.push_back(button); };
    auto click = [&](bool increase) {
        QtTesting::PressArrow(*upDown, increase);
        QtTesting::ReleaseArrow(*upDown, increase);
    };
    click(true);
    EXPECT_EQ(upDown->Position(), 7);
    EXPECT_EQ(edit->Text(), u"7");
    click(false);
    EXPECT_EQ(upDown->Position(), 5);
    EXPECT_EQ(clicks, (std::vector<TUDBtnType>{btNext, btPrev}));

    // A typed number is the position the next step starts from.
    edit->SetText(u"9");
    EXPECT_EQ(upDown->Position(), 9);
    click(true);  // stops at the end
    EXPECT_EQ(upDown->Position(), 10);
    upDown->Wrap = true;
    upDown->RecreateWnd();
    click(true);  // wraps round
    EXPECT_EQ(upDown->Position(), 0);
    EXPECT_EQ(edit->Text(), u"0");

    // Arrow keys typed into the edit step too.
    QtTesting::KeyClick(*edit, VK_UP, u"");
    EXPECT_EQ(upDown->Position(), 2);
    QtTesting::KeyClick(*edit, VK_DOWN, u"");
    EXPECT_EQ(upDown->Position(), 0);
    EXPECT_EQ(edit->Text(), u"0");

    // The changing event may refuse a step.
    upDown->OnChangingEx = [](TComponent*, bool& allow, int newValue, TUpDownDirection) { allow = newValue <= 4; };
    click(true);
    click(true);
    click(true);
    EXPECT_EQ(upDown->Position(), 4);
    EXPECT_EQ(edit->Text(), u"4");
}

TEST(UcUpDown, AnArrowRepeatsWhileHeld) {
    REQUIRE_QT();
    TFormFixture f;
    auto* edit = f.Place<TUcEdit>(10, 10, 80, 24);
    auto* upDown = f.Place<TUcUpDown>(0, 0, 17, 24);
    upDown->SetMax(1000);
    upDown->SetAssociate(edit);
    ASSERT_TRUE(QtTesting::PressArrow(*upDown, true));
    EXPECT_TRUE(QtTesting::WaitUntil([&] { return upDown->Position() >= 4; }, 10000));
    ASSERT_TRUE(QtTesting::ReleaseArrow(*upDown, true));
    const int released = upDown->Position();
    QtTesting::ProcessEvents(300);
    EXPECT_EQ(upDown->Position(), released);
    const std::string digits = std::to_string(released);
    EXPECT_EQ(edit->Text(), WideString(digits.begin(), digits.end()));
}

TEST(UcListView, OwnerDataShowsACountOfItemsThatOnDataFills) {
    REQUIRE_QT();
    TFormFixture f;
    auto* view = f.Place<TUcListView>(10, 10, 420, 220);
    view->SetOwnerData(true);
    for (const char16_t* caption : {u"Элемент", u"値"}) view->Columns().Add()->SetCaption(caption);
    int fetched = 0;
    view->OnData = [&](TComponent*, TUcListItem* item) {
        ++fetched;
        const WideString number = AnsiToWideDefault(std::to_string(item->Index()));
        item->SetCaption(u"Элемент " + number);
        item->SubItems().Add(u"× " + AnsiToWideDefault(std::to_string(item->Index() * 2)));
        item->Data = reinterpret_cast<void*>(static_cast<intptr_t>(item->Index() + 1));
    };
    view->Items().SetCount(50000);
    EXPECT_EQ(view->Items().Count(), 50000);
    EXPECT_EQ(QtTesting::RowCount(*view), 50000);
    EXPECT_EQ(QtTesting::ColumnHeaderText(*view, 1), u"値");
    EXPECT_EQ(QtTesting::CellText(*view, 7, 0), u"Элемент 7");
    EXPECT_EQ(QtTesting::CellText(*view, 7, 1), u"× 14");
    EXPECT_EQ(view->Items().Item(49999)->Caption(), u"Элемент 49999");
    EXPECT_EQ(view->Items().Item(12)->Data, reinterpret_cast<void*>(13));
    // Items are not added one by one, and the index is checked.
    EXPECT_THROW(view->Items().Add(), EListError);
    EXPECT_THROW(view->Items().Item(50000), EListError);
    // Painting asks for the rows on the screen only.
    fetched = 0;
    view->Invalidate();
    QtTesting::ProcessEvents(100);
    EXPECT_LT(fetched, 500);

    std::vector<std::pair<WideString, bool>> selections;
    view->OnSelectItem = [&](TComponent*, TUcListItem* item, bool selected) {
        selections.emplace_back(item->Caption(), selected);
    };
    ASSERT_TRUE(QtTesting::ClickItem(*view, 3));
    ASSERT_EQ(selections.size(), 1u);
    EXPECT_EQ(selections[0], (std::pair<WideString, bool>{u"Элемент 3", true}));
    ASSERT_NE(view->Selected(), nullptr);
    EXPECT_EQ(view->Selected()->Index(), 3);

    // The search for a typed prefix and FindCaption ask OnDataFind.
    std::vector<std::pair<WideString, int>> finds;
    view->OnDataFind = [&](TComponent*, TItemFind find, const WideString& text, const TPoint&, void*, int start,
                           TSearchDirection, bool, int& index) {
        finds.emplace_back(text, start);
        if (find == ifPartialString && text == u"Элемент 4") index = 4;
        if (find == ifExactString && text == u"Элемент 9") index = 9;
    };
    EXPECT_EQ(view->FindCaption(0, u"Элемент 9", false, true, true), 9);
    EXPECT_EQ(view->FindCaption(0, u"нет", true, true, true), -1);
    view->SetFocus();
    finds.clear();
    QtTesting::KeyClickFocused(0, u"Элемент 4");
    ASSERT_FALSE(finds.empty());
    EXPECT_EQ(finds.back().first, u"Элемент 4");
    EXPECT_TRUE(QtTesting::WaitUntil([&] { return view->Selected() && view->Selected()->Index() == 4; }));

    // A new count shows; leaving owner-data mode drops it.
    view->Items().SetCount(2);
    EXPECT_EQ(QtTesting::RowCount(*view), 2);
    view->SetOwnerData(false);
    EXPECT_EQ(view->Items().Count(), 0);
    view->Items().Add()->SetCaption(u"сам");
    EXPECT_EQ(QtTesting::CellText(*view, 0, 0), u"сам");
}

TEST(UcPageControl, ADockedFormGetsAPageOfItsOwnCaptionedWithItsCaption) {
    REQUIRE_QT();
    TFormFixture f;
    auto* pages = f.Place<TUcPageControl>(10, 10, 420, 260);
    auto* first = new TUcTabSheet(&f.Form);
    first->SetPageControl(pages);
    first->SetCaption(u"Общие");
    auto client = std::make_unique<TUcForm>(nullptr);
    client->SetCaption(u"Настройки 設定\r\nвторая строка");
    auto* inside = new TUcEdit(client.get());
    inside->SetBounds(5, 5, 100, 24);
    inside->SetParent(client.get());
    inside->SetText(u"внутри");

    // Not a dock site: refused.
    EXPECT_FALSE(client->ManualDock(pages));
    EXPECT_EQ(pages->PageCount(), 1);
    pages->DockSite = true;
    client->Show();
    ASSERT_TRUE(client->ManualDock(pages));
    EXPECT_EQ(client->HostDockSite(), pages);
    ASSERT_EQ(pages->PageCount(), 2);
    TUcTabSheet* page = pages->Pages(1);
    EXPECT_EQ(client->Parent(), page);
    // Its caption's first line; shown, as the form is.
    EXPECT_EQ(page->Caption(), u"Настройки 設定");
    EXPECT_EQ(QtTesting::TabText(*pages, 1), u"Настройки 設定");
    EXPECT_EQ(pages->ActivePage(), page);
    // The form fills its page and keeps its controls and their texts.
    EXPECT_EQ(client->Width(), page->ClientWidth());
    EXPECT_EQ(client->Height(), page->ClientHeight());
    EXPECT_EQ(inside->Text(), u"внутри");

    // A new caption of the form is the page's.
    client->SetCaption(u"Παράμετροι\nx");
    EXPECT_EQ(QtTesting::TabText(*pages, 1), u"Παράμετροι");
    // Floating again takes the page away; docking again makes one.
    ASSERT_TRUE(client->ManualDock(nullptr));
    EXPECT_EQ(pages->PageCount(), 1);
    EXPECT_EQ(client->Parent(), nullptr);
    EXPECT_EQ(client->HostDockSite(), nullptr);
    EXPECT_TRUE(QtTesting::WindowVisible(*client));
    EXPECT_EQ(inside->Text(), u"внутри");
    ASSERT_TRUE(client->ManualDock(pages));
    EXPECT_EQ(pages->PageCount(), 2);
    // A docked form that goes takes its page with it.
    client.reset();
    EXPECT_EQ(pages->PageCount(), 1);
    EXPECT_EQ(QtTesting::TabCount(*pages), 1);
}
