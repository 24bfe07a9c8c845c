// Component collections and their notifications, the geometry helpers and
// the rectangle object.
#include <gtest/gtest.h>

#include "navbar/lf_classes.h"
#include "navbar/lf_geometry.h"

namespace {

class TTestBar;

class TTestItem : public TkrNavBarComponentCollectionItem {
public:
    using TkrNavBarComponentCollectionItem::TkrNavBarComponentCollectionItem;
    int Actions = 0;
    void UpdateActions() override { ++Actions; }

protected:
    TlfComponentCollection* GetCollectionFromParent(TComponent* parent) override;
};

class TTestBar : public TComponent {
public:
    explicit TTestBar(TComponent* owner) : TComponent(owner), Items(this, ItemClassOf<TTestItem>()) {
        Items.OnChange = [this](TlfComponentCollection*, TlfComponentCollectionItem* item, TlfCollectionItemNotification kind) {
            Log.push_back({item, kind});
        };
    }
    TkrNavBarComponentCollection Items;
    std::vector<std::pair<TlfComponentCollectionItem*, TlfCollectionItemNotification>> Log;
};

TlfComponentCollection* TTestItem::GetCollectionFromParent(TComponent* parent) {
    auto* bar = dynamic_cast<TTestBar*>(parent);
    return bar ? &bar->Items : nullptr;
}

TEST(ComponentCollection, ItemsGetRunningIdsAndBelongToTheFormOwner) {
    TComponent form(nullptr);
    auto* bar = new TTestBar(&form);
    TkrNavBarComponentCollectionItem* a = bar->Items.Add();
    TkrNavBarComponentCollectionItem* b = bar->Items.Add();
    TkrNavBarComponentCollectionItem* c = bar->Items.Add();
    EXPECT_EQ(a->Owner(), &form);
    EXPECT_EQ(a->GetParentComponent(), bar);
    EXPECT_EQ((std::vector<int32_t>{a->ID(), b->ID(), c->ID()}), (std::vector<int32_t>{0, 1, 2}));
    b->Free();
    EXPECT_EQ(bar->Items.Count(), 2);
    EXPECT_EQ(bar->Log.back().second, ciExtracted);
    EXPECT_EQ(bar->Items.Add()->ID(), 3);

    a->SetIndex(10);
    EXPECT_EQ(a->GetIndex(), 2);
    a->SetIndex(-4);
    EXPECT_EQ(a->GetIndex(), 0);

    a->Name = "Group";
    EXPECT_EQ(bar->Items.ItemByName("Group"), a);
    EXPECT_EQ(bar->Items.ItemByName("group"), nullptr);
    bar->Items.UpdateActions();
    EXPECT_EQ(static_cast<TTestItem*>(a)->Actions, 1);
}

TEST(ComponentCollection, UpdateBracketsAndClearReportOnce) {
    TComponent form(nullptr);
    auto* bar = new TTestBar(&form);
    for (int i = 0; i < 3; ++i) bar->Items.Add();
    bar->Log.clear();
    bar->Items.BeginUpdate();
    bar->Items.Items(0)->Changed(false);
    bar->Items.EndUpdate(false);
    EXPECT_TRUE(bar->Log.empty());

    bar->Items.Items(1)->Changed(false);
    ASSERT_EQ(bar->Log.size(), 1u);
    EXPECT_EQ(bar->Log[0].first, bar->Items.Items(1));
    bar->Log.clear();

    bar->Items.Clear();
    EXPECT_EQ(bar->Items.Count(), 0);
    ASSERT_EQ(bar->Log.size(), 1u);
    EXPECT_EQ(bar->Log[0].first, nullptr);
    EXPECT_EQ(bar->Log[0].second, ciChanged);
    EXPECT_EQ(form.ComponentCount(), 1);  // the bar alone
}

TEST(ComponentCollection, ForeignItemsAreIgnoredAndDestructionIsSilent) {
    class TOther : public TlfComponentCollectionItem {
    public:
        using TlfComponentCollectionItem::TlfComponentCollectionItem;

    protected:
        TlfComponentCollection* GetCollectionFromParent(TComponent*) override { return nullptr; }
    };
    TComponent form(nullptr);
    auto* bar = new TTestBar(&form);
    auto* other = new TOther(&form);
    bar->Items.InsertItem(other);
    EXPECT_EQ(bar->Items.Count(), 0);
    EXPECT_EQ(other->Collection(), nullptr);
    bar->Items.Add();
    bar->Log.clear();
    std::vector<std::pair<TlfComponentCollectionItem*, TlfCollectionItemNotification>> log;
    bar->Items.OnChange = [&](TlfComponentCollection*, TlfComponentCollectionItem* item, TlfCollectionItemNotification kind) {
        log.push_back({item, kind});
    };
    bar->Free();
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(form.ComponentCount(), 1);  // the foreign item; the bar's item went with it
}

TEST(Geometry, CentresAndRanges) {
    EXPECT_EQ(RectCenter(TRect{0, 0, 15, 15}, 10, 10), (TRect{2, 2, 12, 12}));
    EXPECT_EQ(RectCenter(TRect{-15, -15, 0, 0}, MakeSize(10, 10)), (TRect{-12, -12, -2, -2}));
    EXPECT_EQ(RangeCenter(-3, 0), -2);
    EXPECT_EQ(RangeCenter(3, 0), 1);
    EXPECT_EQ(RangeCenter(0, 0), 0);
    EXPECT_EQ(RectInflate(TRect{10, 10, 20, 20}, 1, 2, 3, 4), (TRect{9, 8, 23, 24}));
    EXPECT_EQ(RectSetLeft(TRect{10, 0, 20, 5}, 30), (TRect{30, 0, 40, 5}));
    EXPECT_EQ(RectSetRight(TRect{10, 0, 20, 5}, 30, 4), (TRect{26, 0, 30, 5}));
    EXPECT_EQ(RectContent(TRect{0, 0, 10, 10}, TRect{1, 2, 3, 4}), (TRect{1, 2, 7, 6}));

    TlfRect rect;
    int changes = 0;
    rect.OnChange = [&](TlfRect*) { ++changes; };
    rect.SetLeft(5);
    rect.SetLeft(5);
    rect.SetRect(TRect{5, 0, 0, 0});
    EXPECT_EQ(changes, 1);
    TlfRect copy;
    copy.Assign(rect);
    EXPECT_TRUE(copy.IsEqual(TRect{5, 0, 0, 0}));
}

}  // namespace
