// The transition engine: steps by timing, the frames of the kinds drawn by
// the engine, and a view in a headless window running transitions on the
// virtual clock (step and stop events, the paint lock, a transition started
// during another).
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <vector>

#include "imaging/core/ie_transitions.h"
#include "imaging/core/ie_view.h"
#include "imaging/core/tests/bitmap24.h"
#include "imaging/core/tests/view_window.h"
#include "platform/ui/application.h"
#include "platform/ui/headless.h"

namespace {

void Advance(uint64_t ms) {
    HeadlessBackend()->AdvanceTime(ms);
    Application().ProcessMessages();
}

}  // namespace

TEST(TransitionTiming, StepsFollowTheTimingCurves) {
    struct TCase {
        uint32_t elapsed;
        TIETransitionTiming timing;
        int32_t low, high;
    } cases[] = {
        {500, iettLinear, 512, 512},      {0, iettLinear, 0, 0},           {999, iettLinear, 1022, 1023},
        {0, iettExponential, 6, 6},       {999, iettExponential, 990, 1004},
        {0, iettLogarithmic, 0, 0},       {1, iettLogarithmic, 0, 0},       {990, iettLogarithmic, 1024, 1024},
        {500, iettLogarithmic, 886, 887}, {2000, iettLinear, 1024, 1024},
    };
    for (const TCase& c : cases) {
        const int32_t step = TIETransitionEffects::StepAt(c.elapsed, 1000, c.timing);
        EXPECT_GE(step, c.low) << c.elapsed << " ms, timing " << int(c.timing);
        EXPECT_LE(step, c.high) << c.elapsed << " ms, timing " << int(c.timing);
    }
}

TEST(TransitionFrames, EngineKindsPutTheTargetWhereTheGeometrySays) {
    TIETransitionEffects effects(nullptr);
    // Blue to red.
    const TBitmap source = SolidBitmap24(200, 100, 0x0000FF), target = SolidBitmap24(200, 100, 0xFF0000);
    // Wipes: the edge sits where the step puts it.
    effects.Run(source, target, iettLeftRight1, 1000);
    effects.DrawFrame(512);
    EXPECT_EQ(Pixel24(effects.Frame(), 99, 50), 0xFF0000u);
    EXPECT_EQ(Pixel24(effects.Frame(), 100, 50), 0x0000FFu);
    effects.Run(source, SolidBitmap24(200, 100, 0x00FF00), iettRightLeft2, 1000);
    effects.DrawFrame(512);
    EXPECT_EQ(Pixel24(effects.Frame(), 99, 50), 0x0000FFu);
    EXPECT_EQ(Pixel24(effects.Frame(), 100, 50), 0xFF0000u);  // the red edge line
    EXPECT_EQ(Pixel24(effects.Frame(), 101, 50), 0x00FF00u);
    effects.Run(source, target, iettDownUp1, 1000);
    effects.DrawFrame(256);
    EXPECT_EQ(Pixel24(effects.Frame(), 10, 74), 0x0000FFu);
    EXPECT_EQ(Pixel24(effects.Frame(), 10, 75), 0xFF0000u);
    // The cross fade mixes every byte; at the end it is the target exactly.
    effects.Run(source, target, iettCrossDissolve, 1000);
    effects.DrawFrame(512);
    EXPECT_EQ(Pixel24(effects.Frame(), 0, 0), 0x7F007Fu);
    effects.DrawFrame(1024);
    EXPECT_EQ(DifferingPixels(effects.Frame(), target), 0);
    // A push moves both pictures: at a quarter the target's last 50
    // columns lead, the source follows from its first column.
    TBitmap marked = source;
    marked.ScanLine(10)[2] = 7;
    effects.Run(marked, target, iettMoveLeftRight1, 1000);
    effects.DrawFrame(256);
    EXPECT_EQ(Pixel24(effects.Frame(), 49, 10), 0xFF0000u);
    EXPECT_EQ(Pixel24(effects.Frame(), 50, 10), 0x0700FFu);
    // Random boxes lie on the 8-pixel grid.
    effects.Run(source, target, iettRandomBoxes, 1000);
    effects.DrawFrame(0);
    effects.DrawFrame(600);
    std::set<std::pair<int, int>> blocks;
    for (int32_t y = 0; y < 100; ++y)
        for (int32_t x = 0; x < 200; ++x)
            if (Pixel24(effects.Frame(), x, y) == 0xFF0000u) blocks.insert({x / 8, y / 8});
    ASSERT_FALSE(blocks.empty());
    for (auto [bx, by] : blocks)
        for (int32_t y = by * 8; y < std::min(by * 8 + 8, 100); ++y)
            for (int32_t x = bx * 8; x < bx * 8 + 8; ++x) ASSERT_EQ(Pixel24(effects.Frame(), x, y), 0xFF0000u) << x << "," << y;
}

TEST(TransitionFrames, FadesPassThroughTheViewBackground) {
    TViewWindow w(120, 90, 120, 90);
    w.view.SetBackground(0x00FF00);  // green (a TColor)
    TIETransitionEffects& effects = w.view.Transition();
    const TBitmap source = SolidBitmap24(120, 90, 0xFF0000), target = SolidBitmap24(120, 90, 0x0000FF);
    effects.Run(source, target, iettFadeOutIn, 1000);
    effects.DrawFrame(512);
    EXPECT_EQ(Pixel24(effects.Frame(), 60, 45), 0x00FF00u);
    effects.Run(source, target, iettFadeOut, 1000);
    effects.DrawFrame(1024);
    EXPECT_EQ(Pixel24(effects.Frame(), 60, 45), 0x00FF00u);
    effects.Stop();
}

TEST(TransitionFrames, PanZoomShowsTheRectangleAndKeepsItsAspectWhenClipped) {
    TViewWindow w(100, 50, 100, 50);
    w.view.SetBackground(0x00FF00);
    TIEBitmap picture(200, 100, ie24RGB);
    picture.Fill(0);
    for (int32_t y = 0; y < 100; ++y)
        for (int32_t x = 0; x < 100; ++x) picture.GetPixelTRGBPtr(x, y)[2] = 255;  // left half red
    TIETransitionEffects& effects = w.view.Transition();
    effects.RunPanZoom(picture, {0, 0, 100, 50}, {100, 50, 200, 100}, 100, 50, 1000);
    effects.DrawFrame(0);
    EXPECT_EQ(Pixel24(effects.Frame(), 50, 25), 0xFF0000u);
    effects.DrawFrame(1024);
    EXPECT_EQ(Pixel24(effects.Frame(), 50, 25), 0x000000u);
    // Reaching out of the picture on the left: the rest is drawn at its
    // aspect in the middle over the background.
    effects.RunPanZoom(picture, {-100, 0, 100, 100}, {-100, 0, 100, 100}, 100, 50, 1000);
    effects.DrawFrame(0);
    EXPECT_EQ(Pixel24(effects.Frame(), 2, 25), 0x00FF00u);
    EXPECT_EQ(Pixel24(effects.Frame(), 50, 25), 0xFF0000u);
    effects.Stop();
}

TEST(TransitionView, RunsOnTheTimerAndHandsTheWindowBack) {
    TViewWindow w(160, 120, 160, 120);
    std::vector<int32_t> steps;
    int stops = 0;
    w.view.SetOnTransitionStep([&](TComponent* sender, int32_t step) {
        EXPECT_EQ(sender, &w.view);
        steps.push_back(step);
    });
    w.view.SetOnTransitionStop([&](TComponent* sender) {
        EXPECT_EQ(sender, &w.view);
        ++stops;
    });
    // Stop on an idle view fires nothing.
    w.view.Transition().Stop();
    EXPECT_EQ(stops, 0);

    w.view.PrepareTransition();
    w.view.GetIEBitmap()->Fill(0xFF0000);  // blue
    w.view.Update();
    w.view.RunTransition(iettLeftRight1, 100);
    EXPECT_TRUE(w.view.Transition().Running());
    EXPECT_EQ(w.view.PaintLockCount(), 1);
    Advance(1);
    ASSERT_EQ(steps.size(), 1u);
    EXPECT_EQ(steps[0], 0);  // the first frame shows the start
    Advance(49);
    // Each tick draws the step the tick before set: half way now.
    EXPECT_EQ(w.view.Transition().Step(), 512);
    Advance(1);
    // The window shows the new picture on its left half only.
    EXPECT_EQ(w.Shown(2, 60), 0x0000FFu);
    EXPECT_EQ(w.Shown(78, 60), 0x0000FFu);
    EXPECT_EQ(w.Shown(82, 60), 0x808080u);
    EXPECT_EQ(w.Shown(158, 60), 0x808080u);
    for (int i = 0; i < 60 && w.view.Transition().Running(); ++i) Advance(2);
    EXPECT_FALSE(w.view.Transition().Running());
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(w.view.PaintLockCount(), 0);
    for (size_t i = 1; i < steps.size(); ++i) EXPECT_GE(steps[i], steps[i - 1]);
    EXPECT_GT(steps.back(), 900);
    // Back to the composed picture on the next paint.
    w.view.Invalidate();
    Application().ProcessMessages();
    EXPECT_EQ(w.Shown(2, 60), w.Shown(158, 60));
}

TEST(TransitionView, ANewTransitionEndsTheRunningOne) {
    TViewWindow w(80, 60, 80, 60);
    int stops = 0;
    w.view.SetOnTransitionStop([&](TComponent*) { ++stops; });
    w.view.PrepareTransition();
    w.view.RunTransition(iettCrossDissolve, 1000);
    Advance(5);
    w.view.PrepareTransition();  // ends the first
    EXPECT_EQ(stops, 1);
    w.view.RunTransition(iettUpDown1, 1000);
    EXPECT_TRUE(w.view.Transition().Running());
    EXPECT_EQ(w.view.Transition().TransitionType(), iettUpDown1);
    EXPECT_EQ(w.view.PaintLockCount(), 1);
    // A resize ends it too; so does clearing the view.
    w.view.SetBounds(0, 0, 70, 50);
    EXPECT_FALSE(w.view.Transition().Running());
    EXPECT_EQ(stops, 2);
    w.view.RunTransition(iettUpDown1, 1000);
    w.view.Clear();
    EXPECT_EQ(stops, 3);
    EXPECT_EQ(w.view.PaintLockCount(), 0);
    EXPECT_THROW(w.view.Transition().Run(TBitmap(), TBitmap(), iettNone, 100), Exception);
    EXPECT_THROW(w.view.RunTransition(iettCrossDissolve, 0), Exception);
}
