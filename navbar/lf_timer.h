// Objects that take window messages without being controls, timers whose
// ticks all arrive through one shared message window (from the toolkit's
// loop), components that live as children of a library control, the
// mouse-message key flags of a shift state, and the library's cursors in
// the screen's cursor table.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "navbar/lf_classes.h"
#include "platform/bitmap.h"
#include "platform/ui/application.h"

// A window that only receives messages (the toolkit's utility window):
// WndProc sees each one; the base answers every message with 0.
class TlfMessageWindow {
public:
    TlfMessageWindow() = default;
    virtual ~TlfMessageWindow();
    TlfMessageWindow(const TlfMessageWindow&) = delete;
    TlfMessageWindow& operator=(const TlfMessageWindow&) = delete;
    intptr_t Perform(uint32_t msg, intptr_t wParam = 0, intptr_t lParam = 0);
    // A timer of the window: WM_TIMER with id as WParam every interval ms,
    // from the toolkit's loop. False when it cannot run.
    bool SetTimer(uintptr_t id, uint32_t interval);
    bool KillTimer(uintptr_t id);

protected:
    virtual void WndProc(TMessage& message) { message.Result = 0; }

private:
    std::map<uintptr_t, std::unique_ptr<TTimer>> timers_;
};

class TlfTimer : public TComponent {
public:
    explicit TlfTimer(TComponent* owner);
    ~TlfTimer() override;
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    uint32_t Interval() const { return interval_; }
    // 0 keeps the interval.
    void SetInterval(uint32_t value);
    const TNotifyEvent& OnTimer() const { return onTimer_; }
    void SetOnTimer(TNotifyEvent handler);
    uintptr_t EventID() const { return reinterpret_cast<uintptr_t>(this); }
    bool TimerOn() const { return timerOn_; }

protected:
    virtual void TimeOut();

private:
    friend class TlfTimerWindow;
    void UpdateTimer();
    void StartTimer();
    void StopTimer();
    void SetTimerOn(bool on);
    bool enabled_ = true;
    uint32_t interval_ = 1000;
    TNotifyEvent onTimer_;
    bool timerOn_ = false;
};

// Whether a timer with the identity is running now (its ticks are only
// delivered then).
bool TlfTimerRunning(uintptr_t eventId);

// A component that belongs to a library control (its parent component).
class TlfControlChildComponent : public TlfComponent {
public:
    explicit TlfControlChildComponent(TComponent* owner) : TlfComponent(owner) { Initialize(); }
    // With the control's owner as owner when assignOwner, else none.
    static TlfControlChildComponent* CreateEx(TComponent* control, bool assignOwner);
    TComponent* Control() const { return control_; }
    TComponent* GetParentComponent() const { return control_; }
    bool HasParent() const { return control_ != nullptr; }
    virtual bool GetIsDestroying() const { return HasState(csDestroying); }
    virtual void SetControl(TComponent* control) { control_ = control; }

protected:
    virtual void Initialize() {}

private:
    TComponent* control_ = nullptr;
};

// Shift state bits (0 Shift, 1 Alt, 2 Ctrl, 3 left, 4 right, 5 middle
// button) to MK_* key flags.
uint32_t ShiftToKeyFlags(uint32_t shift);

// The library's cursors: ids 2100 .. 2114 and -2099 (the hand).
constexpr TCursor crlfDragCopy = 2100, crlfFullScroll = 2101, crlfHorScroll = 2102, crlfVerScroll = 2103,
                  crlfUpScroll = 2104, crlfRightScroll = 2105, crlfDownScroll = 2106, crlfLeftScroll = 2107,
                  crlfRemove = 2108, crlfVertSize = 2109, crlfHorzSize = 2110, crlfMultiDrag = 2111,
                  crlfNoDrop = 2112, crlfDrag = 2113, crlfHand = -2099, crlfColorPicker = 2114;

struct TlfCursorImage {
    std::string ResourceName;  // "CX_DRAGCURSOR", ...; empty for the hand
    TBitmap Image;             // 32 x 32, 32 bits, alpha in the fourth byte
    TPoint HotSpot;
    TCursor SystemCursor = crDefault;  // the system's own cursor it stands for
};
// Adds the library's cursors to the screen's cursor table (once; done when
// the program starts).
void LoadLibraryCursors();
// The screen's cursor table entry of an id, or nullptr.
const TlfCursorImage* ScreenCursor(TCursor id);
