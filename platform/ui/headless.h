// The headless plugin: windows are in-memory surfaces, time moves only when
// the caller advances it, and input is injected. Same controls, same
// messages, no display.
#pragma once

#include <map>
#include <vector>

#include "platform/ui/backend.h"

class THeadlessBackend;

class THeadlessWindow : public TNativeWindow {
public:
    explicit THeadlessWindow(TWinControl& control) : control_(control) {}
    void SetBounds(const TRect& bounds) override { bounds_ = bounds; }
    void SetVisible(bool visible) override { visible_ = visible; }
    TBitmap& Surface() override { return surface_; }
    void Present(const TRect& area) override { ++presents_; lastPresented_ = area; }
    void SetCursor(TCursor cursor) override { cursor_ = cursor; }
    void SetScrollBar(int bar, bool shown, bool enabled, int min, int max, int page, int position) override;
    int FramesShown() const override { return presents_; }

    struct TBarState {
        bool Shown = false, Enabled = true;
        int Min = 0, Max = 0, Page = 0, Position = 0;
    };
    TWinControl& Control() const { return control_; }
    const TRect& Bounds() const { return bounds_; }
    bool Visible() const { return visible_; }
    TCursor Cursor() const { return cursor_; }
    int Presents() const { return presents_; }
    const TRect& LastPresented() const { return lastPresented_; }
    const TBarState& Bar(int bar) const { return bars_[bar == 0 ? 0 : 1]; }

private:
    TWinControl& control_;
    TRect bounds_{};
    bool visible_ = false;
    TBitmap surface_;
    TCursor cursor_ = 0;
    int presents_ = 0;
    TRect lastPresented_{};
    TBarState bars_[2];
};

class THeadlessBackend : public TUIBackend {
public:
    std::string Name() const override { return "headless"; }
    std::unique_ptr<TNativeWindow> CreateNativeWindow(TWinControl& control, TNativeWindow* parent) override;
    uint64_t Now() override { return now_; }
    // Never sleeps: the clock jumps to the timeout, so timers due by then
    // fire at once and tests stay fast.
    void WaitForEvents(int64_t timeoutMs) override;
    void Wake() override {}
    void PumpEvents() override {}
    int GetSystemMetric(TSystemMetric metric) const override;
    void RunUntil(const std::function<bool()>& done) override;

    void AdvanceTime(uint64_t ms) { now_ += ms; }

private:
    uint64_t now_ = 1;
};

// The running plugin when it is the headless one, else nullptr.
THeadlessBackend* HeadlessBackend();
