// The painted scroll bar on the headless plugin (its virtual clock drives
// the repeat timer): its range and position rules, layout, thumb dragging
// with the tracking zone, track paging, arrow repeat, wheel and keys, the
// scroll and change events, and the painters' look of its parts.
#include <gtest/gtest.h>

#include "navbar/lf_scrollbar.h"
#include "navbar/tests/lf_painter_sheet.h"
#include "navbar/tests/headless_clock.h"

namespace {

// The look-and-feel unit's global state ends with each test, as the
// program's end would end it.
class ScrollBar : public ::testing::Test {
protected:
    void TearDown() override { FreeGlobalLookAndFeel(); }
};

struct TEvents {
    explicit TEvents(TlfScrollBar& bar) {
        bar.OnScroll = [this](TComponent*, TScrollCode code, int& position) { scrolls.push_back({code, position}); };
        bar.OnChange = [this](TComponent*) { ++changes; };
    }
    std::vector<std::pair<TScrollCode, int>> scrolls;
    int changes = 0;
    std::vector<TScrollCode> Codes() const {
        std::vector<TScrollCode> codes;
        for (const auto& s : scrolls) codes.push_back(s.first);
        return codes;
    }
};

void Mouse(TlfScrollBar& bar, uint32_t msg, int x, int y) { bar.Perform(msg, msg == WM_LBUTTONUP ? 0 : MK_LBUTTON, MakeLParam(x, y)); }

TEST_F(ScrollBar, RangeAndPositionAreClampedAndCheckedAsOneChange) {
    Headless();
    TlfScrollBar bar(nullptr);
    EXPECT_EQ(bar.Width(), 121);
    EXPECT_EQ(bar.Height(), 17);
    EXPECT_EQ(bar.Max(), 100);
    TEvents events(bar);
    bar.SetPosition(500);
    EXPECT_EQ(bar.Position(), 100);
    EXPECT_EQ(events.changes, 1);
    bar.SetPosition(-5);
    EXPECT_EQ(bar.Position(), 0);
    EXPECT_EQ(events.changes, 2);
    bar.SetPosition(0);
    EXPECT_EQ(events.changes, 2);

    bar.SetPageSize(10);
    try {
        bar.SetMax(5);
        FAIL() << "no error";
    } catch (const EInvalidOperation& e) {
        EXPECT_STREQ(e.what(), "Scrollbar property out of range");
    }
    EXPECT_EQ(bar.Max(), 100);
    EXPECT_EQ(bar.PageSize(), 10);
    EXPECT_THROW(bar.SetMin(101), EInvalidOperation);
    EXPECT_EQ(bar.Min(), 0);
    // Lowering Max below the position pulls the position along.
    bar.SetPosition(90);
    bar.SetMax(50);
    EXPECT_EQ(bar.Position(), 50);
    // A page as large as the range from a raised Min leaves the thumb no
    // room to move: it stays at the track's start, and the position stands.
    bar.AssignScrollParams(5, 10, 7, 10, true);
    EXPECT_EQ(bar.ViewInfo().ThumbnailRect.Left, 17);
    EXPECT_EQ(bar.PositionFromThumb(), 7);
    EXPECT_EQ(bar.Position(), 7);
}

TEST_F(ScrollBar, LayoutFollowsKindSizeAndEnabledState) {
    Headless();
    TlfScrollBar bar(nullptr);
    bar.SetKind(sbVertical);
    EXPECT_EQ(bar.Width(), 17);
    EXPECT_EQ(bar.Height(), 121);
    bar.SetBounds(0, 0, 17, 30);
    const TlfScrollBarViewInfo& v = bar.ViewInfo();
    EXPECT_EQ(v.TopLeftArrowRect, (TRect{0, 0, 17, 15}));
    EXPECT_EQ(v.BottomRightArrowRect, (TRect{0, 15, 17, 30}));
    EXPECT_TRUE(RectIsEmpty(v.ThumbnailRect));
    EXPECT_EQ(bar.GetScrollBarPart({5, 20}), partLineDown);

    bar.SetBounds(0, 0, 17, 121);
    EXPECT_EQ(v.ThumbnailRect, (TRect{0, 17, 17, 34}));  // the system's thumb, at the top
    bar.SetPosition(100);
    EXPECT_EQ(v.ThumbnailRect, (TRect{0, 87, 17, 104}));
    EXPECT_EQ(v.PageUpRect, (TRect{0, 17, 17, 87}));
    EXPECT_TRUE(RectIsEmpty(v.PageDownRect));
    // With a page the thumb is as long as the page's share of the track.
    bar.SetPageSize(50);
    bar.SetPosition(0);
    EXPECT_EQ(RectHeight(v.ThumbnailRect), 43);  // 87 * 50 / 101

    bar.SetEnabled(false);
    EXPECT_TRUE(RectIsEmpty(v.ThumbnailRect));
    for (TlfScrollBarPart part : {partLineUp, partLineDown, partPageUp}) EXPECT_EQ(bar.PartState(part), esDisabled);
    bar.SetEnabled(true);
    EXPECT_FALSE(RectIsEmpty(v.ThumbnailRect));
}

TEST_F(ScrollBar, DraggingTheThumbTracksAndSnapsBackOutsideTheZone) {
    Headless();
    for (bool unlimited : {false, true}) {
        SCOPED_TRACE(unlimited ? "unlimited" : "zone");
        TlfScrollBar bar(nullptr);  // horizontal 121 x 17: track 17 .. 104, thumb 17 long
        bar.UnlimitedTracking = unlimited;
        TEvents events(bar);
        Mouse(bar, WM_LBUTTONDOWN, 25, 8);
        EXPECT_EQ(bar.State(), partThumb);
        Mouse(bar, WM_MOUSEMOVE, 25 + 35, 8);  // half the free track
        EXPECT_EQ(bar.Position(), 50);
        EXPECT_EQ(bar.ViewInfo().ThumbnailRect.Left, 17 + 35);
        ASSERT_FALSE(events.scrolls.empty());
        EXPECT_EQ(events.scrolls.back(), (std::pair<TScrollCode, int>{scTrack, 50}));
        Mouse(bar, WM_MOUSEMOVE, 25 + 35, 8 + 200);  // far off the bar
        EXPECT_EQ(bar.Position(), unlimited ? 50 : 0);
        Mouse(bar, WM_MOUSEMOVE, 25 + 1000, 8);  // clamped at the end
        EXPECT_EQ(bar.Position(), unlimited ? 100 : 0);
        events.scrolls.clear();
        events.changes = 0;
        Mouse(bar, WM_LBUTTONUP, 25 + 1000, 8);
        EXPECT_EQ(events.Codes(), (std::vector<TScrollCode>{scPosition, scEndScroll}));
        EXPECT_EQ(bar.State(), partNone);
        EXPECT_EQ(events.changes, unlimited ? 1 : 0);  // a drag that moved it is one change
    }
}

TEST_F(ScrollBar, TrackClicksPageAndArrowsRepeatOnTheTimerWhileHeld) {
    Headless();
    TlfScrollBar bar(nullptr);
    bar.SetLargeChange(10);
    bar.SetSmallChange(2);
    TEvents events(bar);
    Mouse(bar, WM_LBUTTONDOWN, 80, 8);  // the page-down track
    EXPECT_EQ(bar.Position(), 10);
    EXPECT_EQ(events.scrolls.front(), (std::pair<TScrollCode, int>{scPageDown, 10}));
    Mouse(bar, WM_LBUTTONUP, 80, 8);
    EXPECT_EQ(events.Codes().back(), scEndScroll);

    events.scrolls.clear();
    Mouse(bar, WM_LBUTTONDOWN, 110, 8);  // the right arrow: once at once
    EXPECT_EQ(bar.Position(), 12);
    EXPECT_EQ(bar.PartState(partLineDown), esPressed);
    Advance(399);
    EXPECT_EQ(bar.Position(), 12);
    Advance(1);  // again after 400 ms
    EXPECT_EQ(bar.Position(), 14);
    Advance(60);  // then every 60 ms
    EXPECT_EQ(bar.Position(), 16);
    Advance(60);
    EXPECT_EQ(bar.Position(), 18);
    Mouse(bar, WM_MOUSEMOVE, 60, 8);  // off the arrow: the repeat pauses
    EXPECT_EQ(bar.PartState(partLineDown), esNormal);
    Advance(300);
    EXPECT_EQ(bar.Position(), 18);
    Mouse(bar, WM_MOUSEMOVE, 110, 8);  // back on it: it goes on
    Advance(60);
    EXPECT_EQ(bar.Position(), 20);
    Mouse(bar, WM_LBUTTONUP, 110, 8);
    Advance(500);
    EXPECT_EQ(bar.Position(), 20);
    for (size_t i = 0; i + 1 < events.scrolls.size(); ++i) EXPECT_EQ(events.scrolls[i].first, scLineDown);
    EXPECT_EQ(events.Codes().back(), scEndScroll);

    // Losing the mouse cancels a held arrow.
    Mouse(bar, WM_LBUTTONDOWN, 5, 8);
    EXPECT_EQ(bar.Position(), 18);
    bar.Perform(WM_CANCELMODE);
    Advance(1000);
    EXPECT_EQ(bar.Position(), 18);
    EXPECT_EQ(bar.State(), partNone);
}

TEST_F(ScrollBar, WheelKeysAndScrollMessagesScrollWithTheirCodes) {
    Headless();
    TlfScrollBar bar(nullptr);
    bar.SetKind(sbVertical);
    bar.SetLargeChange(20);
    TEvents events(bar);
    bar.Perform(WM_MOUSEWHEEL, MakeWParam(0, -120), 0);  // a notch down: three lines
    EXPECT_EQ(bar.Position(), 3);
    EXPECT_EQ(events.Codes(), (std::vector<TScrollCode>{scLineDown, scLineDown, scLineDown, scEndScroll}));
    bar.Perform(WM_MOUSEWHEEL, MakeWParam(0, 120), 0);
    EXPECT_EQ(bar.Position(), 0);
    const std::pair<uint16_t, int> keys[] = {{VK_NEXT, 20}, {VK_DOWN, 21}, {VK_END, 100}, {VK_PRIOR, 80},
                                             {VK_UP, 79}, {VK_HOME, 0}};
    for (const auto& [key, expected] : keys) {
        bar.Perform(WM_KEYDOWN, key, 0);
        EXPECT_EQ(bar.Position(), expected) << key;
    }
    bar.Perform(WM_VSCROLL, MakeWParam(SB_BOTTOM, 0), 0);
    EXPECT_EQ(bar.Position(), 100);
    // The scroll handler may change the position it is given.
    bar.OnScroll = [](TComponent*, TScrollCode code, int& position) {
        if (code == scLineUp) position = 42;
    };
    bar.Perform(WM_KEYDOWN, VK_UP, 0);
    EXPECT_EQ(bar.Position(), 42);
}

TEST_F(ScrollBar, PartsArePaintedByTheLookAndFeelsPainter) {
    Headless();
    TlfScrollBar bar(nullptr);
    bar.LookAndFeel().SetKind(lfUltraFlat);
    EXPECT_EQ(bar.Painter(), UltraFlatPainter());
    bar.PaintToBitmap();
    const TBitmap normal = bar.Bitmap();
    Mouse(bar, WM_MOUSEMOVE, 110, 8);  // hot right arrow: ultra-flat buttons light up
    EXPECT_EQ(bar.HotPart(), partLineDown);
    EXPECT_EQ(bar.PartState(partLineDown), esHot);
    bar.PaintToBitmap();
    EXPECT_FALSE(painter_sheet::SamePixels(normal, bar.Bitmap()));
    const TColor highlight = ColorToRGB(lfColors::clHighlight);
    EXPECT_EQ(bar.Bitmap().PixelColor(bar.Bitmap().ScanLine(0), 104),
              uint32_t(RedOf(highlight)) << 16 | uint32_t(GreenOf(highlight)) << 8 | BlueOf(highlight));
    bar.Perform(CM_MOUSELEAVE);
    EXPECT_EQ(bar.HotPart(), partNone);
    bar.PaintToBitmap();
    EXPECT_TRUE(painter_sheet::SamePixels(normal, bar.Bitmap()));

    // The Office 2003 kind paints the classic bar when visual styles are off.
    TlfScrollBar office(nullptr), classic(nullptr);
    office.LookAndFeel().SetKind(lfOffice11);
    classic.LookAndFeel().SetKind(lfStandard);
    for (TlfScrollBar* b : {&office, &classic}) {
        b->SetPosition(30);
        b->PaintToBitmap();
    }
    EXPECT_EQ(office.Painter(), Office11Painter());
    EXPECT_TRUE(painter_sheet::SamePixels(office.Bitmap(), classic.Bitmap()));
    // A look-and-feel change reaches the bar: the painter follows.
    office.LookAndFeel().SetKind(lfFlat);
    EXPECT_EQ(office.Painter(), FlatPainter());
}

}  // namespace
