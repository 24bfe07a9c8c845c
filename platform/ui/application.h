// The message loop of the toolkit: one per process, on the thread that
// created it. Messages posted from any thread wait in its queue; the loop
// delivers them, fires due timers and paints invalid windows. Input from the
// platform plugin is routed here to the window under the mouse, with the
// enter and leave notices and the cursor of the control it is over.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "platform/ui/backend.h"
#include "platform/ui/control.h"

class TTimer;

class TApplication {
public:
    TApplication();
    ~TApplication();
    TUIBackend& Backend() { return *backend_; }

    // Any thread: queues the message for the window; false when no window
    // has that handle now.
    bool PostMessage(HWND window, uint32_t msg, intptr_t wParam = 0, intptr_t lParam = 0);
    // The window thread: delivers now.
    intptr_t SendMessage(HWND window, uint32_t msg, intptr_t wParam = 0, intptr_t lParam = 0);
    // Delivers every queued message, fires due timers, paints.
    void ProcessMessages();
    // Waits for at least one event (or the next timer), then ProcessMessages.
    void HandleMessage();
    TWinControl* FindControl(HWND window);
    bool IsWindowThread() const { return std::this_thread::get_id() == thread_; }

    // Input from the platform plugin, in the client coordinates of a
    // top-level window.
    void MouseInput(TWinControl& topLevel, uint32_t msg, int x, int y, intptr_t keys = 0);
    void KeyInput(TWinControl& focus, uint32_t msg, intptr_t key);
    TControl* MouseControl() const { return mouseControl_; }

    // The cursor over everything while not crDefault (the hourglass of long
    // work).
    TCursor ScreenCursor = crDefault;

    // ------------------------------------------------ internals of controls and timers
    HWND RegisterWindow(TWinControl& control);
    void UnregisterWindow(HWND window);
    void AddTimer(TTimer& timer);
    void RemoveTimer(TTimer& timer);
    void ForgetControl(TControl& control);

private:
    void FireTimers();
    void PaintWindows();
    struct TPosted {
        HWND Window;
        TMessage Message;
    };
    std::unique_ptr<TUIBackend> backend_;
    std::thread::id thread_;
    std::mutex lock_;
    std::deque<TPosted> queue_;
    std::unordered_map<HWND, TWinControl*> windows_;
    HWND nextHandle_ = 1;
    std::vector<TTimer*> timers_;
    TControl* mouseControl_ = nullptr;
};

// The process's application, made on first use with the platform plugin
// TW_UI_PLATFORM names (or the first that can run, else headless).
TApplication& Application();

// A component that calls OnTimer every Interval ms while enabled, from the
// message loop.
class TTimer : public TComponent {
public:
    explicit TTimer(TComponent* owner);
    ~TTimer() override;
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    uint32_t Interval() const { return interval_; }
    void SetInterval(uint32_t interval);
    TNotifyEvent OnTimer;

private:
    friend class TApplication;
    void Restart();
    bool enabled_ = true;
    uint32_t interval_ = 1000;
    uint64_t due_ = 0;
};
