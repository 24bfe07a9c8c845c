// Owner-drawn and virtual list boxes and owner-drawn combo boxes on Qt's
// offscreen plugin: items painted with our canvas (checked in the pixels Qt
// shows of them), their heights, and the texts of a virtual list that come
// from OnData.
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

constexpr TColor Palette[] = {RGBColor(200, 30, 30), RGBColor(30, 160, 30), RGBColor(30, 30, 200),
                              RGBColor(200, 160, 0)};

TColor PixelAt(const TBitmap& picture, int x, int y) { return TCanvas(const_cast<TBitmap&>(picture)).GetPixel(x, y); }

// Paints each item in a colour of its own, the selected one white.
TDrawItemEvent Swatches(std::vector<std::pair<int, TOwnerDrawState>>& calls) {
    return [&calls](TWinControl*, TCanvas& canvas, int index, const TRect& rect, TOwnerDrawState state) {
        calls.emplace_back(index, state);
        canvas.Brush.Color = static_cast<uint32_t>((state & odSelected) ? RGBColor(255, 255, 255)
                                                                          : Palette[std::max(index, 0) % 4]);
        canvas.FillRect(rect);
    };
}

}  // namespace

TEST(UcListBoxOwnerDraw, FixedAndVariableItemsArePaintedAndSizedByTheControl) {
    REQUIRE_QT();
    TFormFixture f{520, 360};
    auto* list = f.Place<TUcListBox>(10, 10, 200, 240);
    list->SetStyle(lbOwnerDrawFixed);
    list->SetItemHeight(30);
    std::vector<std::pair<int, TOwnerDrawState>> calls;
    list->OnDrawItem = Swatches(calls);
    for (const char16_t* item : {u"красный", u"緑", u"μπλε", u"jaune"}) list->Items().Add(item);
    list->SetItemIndex(2);
    QtTesting::ProcessEvents(50);
    ASSERT_TRUE(QtTesting::WaitUntil([&] { return !calls.empty(); }));
    EXPECT_EQ(QtTesting::RowHeight(*list, 0), 30);
    EXPECT_EQ(QtTesting::RowHeight(*list, 3), 30);
    EXPECT_EQ(list->Items().Get(1), u"緑");

    TBitmap shown;
    ASSERT_TRUE(QtTesting::GrabWindow(*list, shown));
    // Row 1 (from about y 30 inside the frame) is green; row 2, selected, white.
    const int x = 100;
    auto rowColour = [&](int row) { return PixelAt(shown, x, 2 + row * 30 + 15); };
    EXPECT_EQ(rowColour(0), Palette[0]);
    EXPECT_EQ(rowColour(1), Palette[1]);
    EXPECT_EQ(rowColour(2), RGBColor(255, 255, 255));
    bool selectedSeen = false;
    for (const auto& [index, state] : calls) selectedSeen |= index == 2 && (state & odSelected);
    EXPECT_TRUE(selectedSeen);

    // Without OnDrawItem the item's text is drawn in the list's colours.
    list->OnDrawItem = nullptr;
    list->SetItemIndex(-1);
    list->Invalidate();
    QtTesting::ProcessEvents(50);
    ASSERT_TRUE(QtTesting::GrabWindow(*list, shown));
    int ink = 0;
    for (int y = 2; y < 32; ++y)
        for (int xx = 4; xx < 60; ++xx) ink += PixelAt(shown, xx, y) != PixelAt(shown, 150, 16) ? 1 : 0;
    EXPECT_GT(ink, 20);

    // Variable heights come from OnMeasureItem, and survive a new window.
    list->OnDrawItem = Swatches(calls);
    list->OnMeasureItem = [](TWinControl*, int index, int& height) { height = 20 + index * 10; };
    list->SetStyle(lbOwnerDrawVariable);
    QtTesting::ProcessEvents(50);
    EXPECT_EQ(list->Items().Count(), 4);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(QtTesting::RowHeight(*list, i), 20 + i * 10);
}

TEST(UcListBoxOwnerDraw, AVirtualListHoldsACountAndTakesItsTextsFromOnData) {
    REQUIRE_QT();
    TFormFixture f{520, 360};
    auto* list = f.Place<TUcListBox>(10, 10, 220, 200);
    list->SetStyle(lbVirtual);
    // No handler: the items have no text.
    list->SetCount(3);
    EXPECT_THROW(list->Items().Get(0), EStringListError);
    EXPECT_EQ(list->Perform(LB_GETTEXTLEN, 0), LB_ERR);

    std::vector<int> asked;
    list->OnData = [&](TWinControl*, int index, WideString& text) {
        asked.push_back(index);
        text = u"Строка № " + WideString(index % 10 == 0 ? u"😀" : u"") + AnsiToWideDefault(std::to_string(index));
    };
    list->SetCount(100000);
    EXPECT_EQ(list->Items().Count(), 100000);
    EXPECT_EQ(QtTesting::RowCount(*list), 100000);
    EXPECT_EQ(list->Items().Get(20), u"Строка № 😀20");
    EXPECT_EQ(list->Items().Get(99999), u"Строка № 99999");
    EXPECT_THROW(list->Items().Get(100000), EStringListError);
    // A virtual list takes no items of its own.
    EXPECT_THROW(list->Items().Add(u"x"), EOutOfResources);

    // Only the rows shown are asked for when painting.
    asked.clear();
    list->Invalidate();
    QtTesting::ProcessEvents(100);
    ASSERT_FALSE(asked.empty());
    EXPECT_LT(asked.size(), 200u);

    int clicks = 0;
    list->OnClick = [&](TComponent*) { ++clicks; };
    ASSERT_TRUE(QtTesting::ClickItem(*list, 3));
    EXPECT_EQ(list->ItemIndex(), 3);
    EXPECT_EQ(clicks, 1);
    // The count and the item index outlive a new window.
    list->RecreateWnd();
    EXPECT_EQ(list->Items().Count(), 100000);
    EXPECT_EQ(list->ItemIndex(), 3);
    // The default painting shows the texts OnData gives.
    list->SetItemHeight(24);
    QtTesting::ProcessEvents(50);
    EXPECT_EQ(QtTesting::RowHeight(*list, 0), 24);
    TBitmap shown;
    ASSERT_TRUE(QtTesting::GrabWindow(*list, shown));
    int ink = 0;
    for (int y = 3; y < 24; ++y)
        for (int x = 4; x < 100; ++x) ink += PixelAt(shown, x, y) != PixelAt(shown, 200, 12) ? 1 : 0;
    EXPECT_GT(ink, 30);
}

TEST(UcComboBoxOwnerDraw, ItemsAndTheSelectedItemArePaintedByTheControl) {
    REQUIRE_QT();
    TFormFixture f{520, 360};
    auto* combo = f.Place<TUcComboBox>(10, 10, 200, 30);
    combo->SetStyle(csOwnerDrawFixed);
    combo->SetItemHeight(22);
    std::vector<std::pair<int, TOwnerDrawState>> calls;
    combo->OnDrawItem = Swatches(calls);
    for (const char16_t* item : {u"Ёж", u"猫", u"Ζώο"}) combo->Items().AddObject(item, nullptr);
    combo->SetItemIndex(1);
    EXPECT_EQ(combo->Text(), u"猫");
    combo->Invalidate();
    ASSERT_TRUE(QtTesting::WaitUntil([&] {
        for (const auto& [index, state] : calls)
            if (index == 1 && (state & odComboBoxEdit)) return true;
        return false;
    }));
    // The drop-down list paints the items with the control too.
    calls.clear();
    combo->SetDroppedDown(true);
    ASSERT_TRUE(QtTesting::WaitUntil([&] { return QtTesting::ComboPopupVisible(*combo) && calls.size() >= 3; }));
    bool listed[3] = {};
    for (const auto& [index, state] : calls)
        if (index >= 0 && index < 3 && !(state & odComboBoxEdit)) listed[index] = true;
    EXPECT_TRUE(listed[0] && listed[1] && listed[2]);
    combo->SetDroppedDown(false);

    // Typing in an owner-drawn box searches its items as in a drop-down list.
    combo->SetFocus();
    ASSERT_TRUE(QtTesting::WaitUntil([&] { return combo->Focused(); }));
    QtTesting::KeyClick(*combo, 0, u"ζ");
    EXPECT_EQ(combo->ItemIndex(), 2);
}
