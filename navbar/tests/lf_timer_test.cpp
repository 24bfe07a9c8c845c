// Library timers tick through the shared message window on the toolkit's
// loop (the headless plugin's virtual clock); the library cursors land in
// the screen's cursor table and a control shows them.
#include <gtest/gtest.h>

#include <cstring>

#include "navbar/lf_timer.h"
#include "platform/ui/control.h"
#include "navbar/tests/headless_clock.h"

namespace {

TEST(LfTimer, TicksOnTheToolkitLoopOnlyWhenEnabledWithAHandler) {
    Headless();
    TlfTimer timer(nullptr);
    timer.SetInterval(100);
    EXPECT_FALSE(timer.TimerOn());  // no handler yet
    int ticks = 0;
    timer.SetOnTimer([&](TComponent* sender) {
        EXPECT_EQ(sender, &timer);
        ++ticks;
    });
    EXPECT_TRUE(timer.TimerOn());
    EXPECT_TRUE(TlfTimerRunning(timer.EventID()));
    Advance(99);
    EXPECT_EQ(ticks, 0);
    Advance(1);
    EXPECT_EQ(ticks, 1);
    Advance(100);
    EXPECT_EQ(ticks, 2);

    timer.SetInterval(0);  // keeps 100
    EXPECT_EQ(timer.Interval(), 100u);
    timer.SetEnabled(false);
    EXPECT_FALSE(timer.TimerOn());
    Advance(500);
    EXPECT_EQ(ticks, 2);
    timer.SetEnabled(true);
    timer.SetInterval(300);  // restarts with the new interval
    Advance(200);
    EXPECT_EQ(ticks, 2);
    Advance(100);
    EXPECT_EQ(ticks, 3);
}

TEST(LfTimer, AFreedTimerGetsNoTickThatWasDue) {
    Headless();
    int ticks = 0;
    auto timer = std::make_unique<TlfTimer>(nullptr);
    timer->SetInterval(50);
    timer->SetOnTimer([&](TComponent*) { ++ticks; });
    const uintptr_t id = timer->EventID();
    Headless().AdvanceTime(60);  // due, not yet delivered
    timer.reset();
    EXPECT_FALSE(TlfTimerRunning(id));
    Application().ProcessMessages();
    EXPECT_EQ(ticks, 0);
}

TEST(LfTimer, ShiftStatesBecomeKeyFlags) {
    EXPECT_EQ(ShiftToKeyFlags(0x01 | 0x08), 0x5u);
    EXPECT_EQ(ShiftToKeyFlags(0x02), 0u);
    EXPECT_EQ(ShiftToKeyFlags(0x04 | 0x10 | 0x20), 0x8u | 0x2u | 0x10u);
}

class TPlainControl : public TCustomControl {
public:
    using TCustomControl::TCustomControl;
};

TEST(LfCursors, LoadedIntoTheScreenTableAndSetOnAControl) {
    LoadLibraryCursors();
    const TlfCursorImage* scroll = ScreenCursor(crlfFullScroll);
    ASSERT_NE(scroll, nullptr);
    EXPECT_EQ(scroll->ResourceName, "CX_FULLSCROLLCURSOR");
    EXPECT_EQ(scroll->Image.Width(), 32);
    ASSERT_NE(ScreenCursor(crlfColorPicker), nullptr);
    EXPECT_EQ(ScreenCursor(crlfColorPicker)->ResourceName, "CX_COLORPICKERCURSOR");
    ASSERT_NE(ScreenCursor(crlfHand), nullptr);
    EXPECT_EQ(ScreenCursor(crlfHand)->SystemCursor, crHandPoint);
    EXPECT_EQ(ScreenCursor(2115), nullptr);
    // Some pixels of the picture are opaque, some clear.
    int opaque = 0;
    for (int32_t y = 0; y < 32; ++y)
        for (int32_t x = 0; x < 32; ++x) opaque += scroll->Image.ScanLine(y)[x * 4 + 3] == 255;
    EXPECT_GT(opaque, 20);
    EXPECT_LT(opaque, 32 * 32 - 20);
    // Each is in the toolkit's screen table with its own picture; the hand
    // stands for the system's.
    for (TCursor id = crlfDragCopy; id <= crlfColorPicker; ++id) {
        const TCursorPicture* picture = FindScreenCursor(id);
        ASSERT_NE(picture, nullptr) << id;
        EXPECT_EQ(picture->HotSpot, ScreenCursor(id)->HotSpot);
        if (id > crlfDragCopy) {
            const TBitmap& a = FindScreenCursor(id - 1)->Image;
            EXPECT_NE(std::memcmp(a.ScanLine(31), picture->Image.ScanLine(31), static_cast<size_t>(a.RowBytes()) * 32), 0)
                << id;
        }
    }
    ASSERT_NE(FindScreenCursor(crlfHand), nullptr);
    EXPECT_EQ(FindScreenCursor(crlfHand)->SystemCursor, crHandPoint);

    TPlainControl control(nullptr);
    control.SetBounds(0, 0, 50, 50);
    control.SetCursor(crlfDragCopy);
    control.Handle();
    EXPECT_EQ(static_cast<THeadlessWindow*>(control.NativeWindow())->Cursor(), crlfDragCopy);
}

}  // namespace
