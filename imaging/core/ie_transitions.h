// Transition effects of the image views: a timer composes frames from the
// picture shown before (the source) and the one shown next (the target) by
// kind and elapsed share of a duration, and the view shows each frame in
// place of its own picture until the duration is over. Kinds 1-30 and the
// pan-zoom are drawn here; kinds 31-163 by the painters of the effect table,
// which the extra transitions library installs (without it those kinds
// leave the frame as it was).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "platform/geometry.h"
#include "platform/ui/component.h"

class TIEView;
class TIEBitmap;
class TTimer;

// The kinds, with their display names in the effect table.
enum TIETransitionType : uint8_t {
    iettNone,
    iettCrossDissolve,
    iettFadeOut,
    iettFadeIn,
    iettFadeOutIn,
    iettLeftRight1,
    iettLeftRight2,
    iettRightLeft1,
    iettRightLeft2,
    iettUpDown1,
    iettUpDown2,
    iettDownUp1,
    iettDownUp2,
    iettFromUpLeft,
    iettFromUpRight,
    iettFromBottomLeft,
    iettFromBottomRight,
    iettMoveLeftRight1,
    iettMoveLeftRight2,
    iettMoveRightLeft1,
    iettMoveRightLeft2,
    iettMoveUpDown1,
    iettMoveUpDown2,
    iettMoveDownUp1,
    iettMoveDownUp2,
    iettRandomPoints,
    iettRandomBoxes,
    iettCenter1,
    iettCenter2,
    iettCenterZoom1,
    iettCenterZoom2,
    iettExpandFromLeft,
    iettExpandFromRight,
    iettExpandFromTop,
    iettExpandFromBottom,
    iettExpandFromTopLeft,
    iettExpandFromTopRight,
    iettExpandFromBottomLeft,
    iettExpandFromBottomRight,
    iettExpandInFromLeft,
    iettExpandInFromRight,
    iettExpandInFromTop,
    iettExpandInFromBottom,
    iettExpandInToVerticalCenter,
    iettExpandInToHorizon,
    iettExpandInFromSides,
    iettExpandInFromTopAndBottom,
    iettExpandOutFromHorizon,
    iettExpandOutFromVerticalCenter,
    iettWipeFromTopLeft,
    iettWipeFromTopRight,
    iettWipeFromBottomLeft,
    iettWipeFromBottomRight,
    iettWipeFromHorizon,
    iettWipeInFromSides,
    iettWipeOutFromVerticalCenter,
    iettBuildUpFromLeft,
    iettBuildUpFromRight,
    iettBuildUpFromTop,
    iettBuildUpFromBottom,
    iettUnrollFromLeft,
    iettUnrollFromRight,
    iettUnrollFromTop,
    iettUnrollFromBottom,
    iettSlideInFromLeft,
    iettSlideInFromRight,
    iettSlideInFromTop,
    iettSlideInFromBottom,
    iettSlideInFromTopAndBottom,
    iettShrinkToTopLeft,
    iettShrinkToTopRight,
    iettShrinkToBottomLeft,
    iettShrinkToBottomRight,
    iettShrinkToCenter,
    iettQuartersWipeInToCenter,
    iettQuartersExpandToCenter,
    iettQuartersSlideInToCenter,
    iettCurvedWipeFromLeft,
    iettCurvedWipeFromRight,
    iettCurvedWipeFromTop,
    iettCurvedWipeFromBottom,
    iettBarsInFromLeft,
    iettBarsInFromRight,
    iettBarsFromTop,
    iettBarsFromBottom,
    iettBarsLeftThenRight,
    iettBarsRightThenLeft,
    iettBarsTopThenBottom,
    iettBarsBottomThenTop,
    iettBarsFrombothSides,
    iettBarsFromTopAndBottom,
    iettShreddedFromLeft,
    iettShreddedFromRight,
    iettShreddedFromTop,
    iettShreddedFromBottom,
    iettShreddedFromTopAndLeft,
    iettShreddedFromTopAndRight,
    iettShreddedFromBottomAndLeft,
    iettShreddedFromBottomAndRight,
    iettShreddedFromHorizonAndLeft,
    iettShreddedFromHorizonAndRight,
    iettShreddedFromTopAndVerticalCenter,
    iettShreddedFromBottomAndVerticalCenter,
    iettShreddedToCenter,
    iettShreddedFromCenter,
    iettShreddedInToHorizon,
    iettShreddedInToVerticalCenter,
    iettShreddedOutFromHorizon,
    iettShreddedOutFromVerticalCenter,
    iettRectangularShred,
    iettTriangularShredToTopLeft,
    iettCurvedWipeFromTopLeft,
    iettCurvedWipeFromTopRight,
    iettCurvedWipeFromBottomLeft,
    iettCurvedWipeFromBottomRight,
    iettCircularWipeFromCenter,
    iettCircularWipeToCenter,
    iettCrisscrossWipeFromTopLeft,
    iettCrisscrossWipeFromTopRight,
    iettCrisscrossWipeFromBottomLeft,
    iettCrisscrossWipeFromBottomRight,
    iettCrisscrossWipeBounceFromTopLeft,
    iettCrisscrossWipeBounceFromTopRight,
    iettCrisscrossWipeBounceFromBottomLeft,
    iettCrisscrossWipeBounceFromBottomRight,
    iettCrisscrossWipeFromLeftRightAndTop,
    iettCrisscrossWipeFromLeftRightAndBottom,
    iettCrisscrossWipeFromLeftTopAndBottom,
    iettCrisscrossWipeFromTopLeftRightAndBottom,
    iettCrisscrossWipeFromRightTopAndBottom,
    iettCrisscrossWipeFromBottomLeftTopRight,
    iettWipeDiagonalFromTopLeft,
    iettWipeDiagonalFromTopRight,
    iettWipeDiagonalFromBottomLeft,
    iettWipeDiagonalFromBottomRight,
    iettDiagonalSweepClockwise,
    iettDiagonalSweepCounterClockwise,
    iettSweepClockwise,
    iettSweepCounterClockwise,
    iettStarburstClockwiseFromCenter,
    iettRotationalRectangle,
    iettRotationalStar,
    iettSpeckledWipeFromLeft,
    iettSpeckledWipeFromRight,
    iettSpeckledWipeFromTop,
    iettSpeckledWipeFromBottom,
    iettPushLeftAndSlideOut,
    iettPushRightAndSlideOut,
    iettPushUpAndSlideOut,
    iettPushDownAndSlideOut,
    iettPushAndSqueezeLeft,
    iettPushAndSqueezeRight,
    iettPushAndSqueezeUp,
    iettPushAndSqueezeDown,
    iettHorizontalBlinds,
    iettVerticalBlinds,
    iettUnevenBlindsFromLeft,
    iettUnevenBlindsFromRight,
    iettUnevenBlindsFromTop,
    iettUnevenBlindsFromBottom,
    iettRectanglesFromTheLeft,
    iettRectanglesFromTheRight,
    iettRectanglesFromTheTop,
    iettRectanglesFromTheBottom,
    iettPanZoom
};

constexpr int32_t IETransitionKinds = 164;  // iettNone .. iettPanZoom

// How the step follows the elapsed share of the duration.
enum TIETransitionTiming : uint8_t { iettLinear, iettExponential, iettLogarithmic };

// A painter of the effect table: draws the frame for progress percent
// (1..100) onto canvas, which holds the previous frame (the source at the
// first step); rect is the whole frame, stepValue is 1.
using TIETransitionPainter = void (*)(TCanvas& canvas, const TBitmap& source, const TBitmap& target, const TRect& rect,
                                      int32_t stepValue, int32_t percent);
// One row of the effect table: row k - 1 for kind k (1..163).
struct TEffect {
    const char* Name;
    TIETransitionPainter Painter;
};
constexpr int32_t IEEffectTableRows = 163;
// The effect table the engine reads the painters of kinds 31-163 from
// (nullptr: none installed).
void IESetEffectTable(const TEffect* table);
const TEffect* IEEffectTable();
// The display name of a kind 1..163 ("Cross Fade", ...); empty for the
// others or without a table.
std::string IETransitionName(TIETransitionType kind);

class TIETransitionEffects {
public:
    explicit TIETransitionEffects(TIEView* view);
    ~TIETransitionEffects();
    TIETransitionEffects(const TIETransitionEffects&) = delete;
    TIETransitionEffects& operator=(const TIETransitionEffects&) = delete;

    // Starts a transition from source to target (both shown at the frame
    // size, the larger of the two; converted to 24 bits) on the view's paint
    // lock. A transition already running is stopped first (its stop event
    // fires). Raises for iettNone, iettPanZoom (see RunPanZoom), a kind out
    // of range or a duration below 1.
    void Run(const TBitmap& source, const TBitmap& target, TIETransitionType kind, int32_t duration);
    // Pans and zooms from rectangle start to rectangle end of bitmap (not
    // owned; it must live until the transition stops) over a frame of
    // width x height.
    void RunPanZoom(TIEBitmap& bitmap, const TRect& start, const TRect& end, int32_t width, int32_t height,
                    int32_t duration);
    // Ends a running transition: releases the paint lock without a repaint,
    // repaints when UpdateOnStop, then fires OnTransitionStop.
    void Stop();
    // The timer's work: fires the step event, draws the frame of the
    // current step, shows it, and sets the next step (or stops).
    void TimerStep();
    // Draws the frame of the running kind at a step (0..1024) without
    // showing it; kinds that build on earlier frames keep what is drawn.
    void DrawFrame(int32_t step);
    // The step (0..1024) a timing gives after elapsed of duration ms.
    static int32_t StepAt(uint32_t elapsed, int32_t duration, TIETransitionTiming timing);

    bool Running() const { return running_; }
    int32_t Step() const { return step_; }
    TIETransitionType TransitionType() const { return kind_; }
    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    const TBitmap& Source() const { return source_; }
    const TBitmap& Target() const { return target_; }
    const TBitmap& Frame() const { return frame_; }
    // The timer (nullptr until the first transition).
    TTimer* Timer() { return timer_.get(); }

    int32_t Duration = 1000;
    bool UpdateOnStop = false;
    TIETransitionTiming Timing = iettLinear;
    TIEBitmap* PanZoomBitmap = nullptr;
    TRect PanZoomStart{}, PanZoomEnd{};  // left, top, right, bottom
    TNotifyEvent OnTransitionStop;
    std::function<void(TComponent* sender, int32_t step)> OnTransitionStep;

private:
    void Start(TIETransitionType kind, int32_t duration);
    void Blend(int32_t s);
    void Fade(int32_t s, bool in);
    void DrawPanZoom(int32_t s);
    void CopyBlock(const TBitmap& from, int32_t x, int32_t y, int32_t w, int32_t h, int32_t dx, int32_t dy);
    void RedLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2);

    TIEView* view_;
    std::unique_ptr<TTimer> timer_;
    TBitmap source_, target_, frame_;
    int32_t width_ = 1, height_ = 1;
    bool running_ = false;
    int32_t step_ = 0;
    int32_t drawnCount_ = 0;
    TIETransitionType kind_ = iettNone;
    uint64_t startTick_ = 0;
    bool locked_ = false;
};
