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
class TCustomForm;
class THintWindow;

// What CM_HINTSHOW hands the control under the mouse before its hint shows:
// the control may change the text, the position, the window class, or
// answer non-zero to show no hint.
struct THintInfo {
    TControl* HintControl = nullptr;
    std::function<THintWindow*(TComponent* owner)> HintWindowClass;
    TPoint HintPos;  // screen
    int32_t HintMaxWidth = 0;
    std::string HintStr;
    void* HintData = nullptr;
    // Identifies the class HintWindowClass makes ("THintWindow" for the
    // toolkit's own).
    std::string HintWindowClassName;
};

class TApplication {
public:
    TApplication();
    ~TApplication();
    TUIBackend& Backend() { return *backend_; }

    // The program's loop: runs until Terminate (or the main form closes).
    void Run();
    void Terminate();
    bool Terminated() const { return terminated_; }
    // Runs the loop (nested) until done() holds.
    void RunUntil(const std::function<bool()>& done) { backend_->RunUntil(done); }

    // The first form shown with Run becomes the main form; closing it ends
    // the program.
    TCustomForm* MainForm = nullptr;
    std::string Title;

    // The long hint of the control or menu item under the mouse; setting
    // it runs OnHint (the status line shows it).
    const std::string& Hint() const { return hint_; }
    void SetHint(const std::string& hint);
    TNotifyEvent OnHint;
    // Hints: shown after HintPause ms over a control with a hint.
    bool ShowHint = true;
    // A hint of a control whose action has a shortcut names the shortcut.
    bool HintShortCuts = true;
    uint32_t HintPause = 500;
    uint32_t HintHidePause = 2500;
    // The hint window class of the application (the toolkit's THintWindow
    // unless a unit installs its own).
    std::function<THintWindow*(TComponent* owner)> HintWindowClass;
    std::string HintWindowClassName = "THintWindow";
    THintWindow* HintWindow() const { return hintWindow_; }
    void CancelHint();
    // The screen position of the mouse as the last input gave it.
    TPoint CursorPos() const { return cursorPos_; }
    // Shows a message box (modal) and returns the button pressed.
    int MessageBox(const std::string& text, const std::string& caption, uint32_t flags = MB_OK);
    // Shows an exception's message in a message box.
    void ShowException(const std::exception& error);

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
    // The mouse left the window (of the control it was over).
    void MouseLeave(TWinControl& window);
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

    // The next timer changed: the plugin arms its clock for it.
    void TimersChanged();

private:
    void FireTimers();
    void PaintWindows();
    void MouseEntered(TControl* control);
    void ActivateHint();
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
    bool terminated_ = false;
    std::string hint_;
    TPoint cursorPos_;
    THintWindow* hintWindow_ = nullptr;
    TControl* hintControl_ = nullptr;
    std::unique_ptr<TComponent> hintOwner_;
    TTimer* hintTimer_ = nullptr;
};

// The process's application. A program starts it explicitly with a
// TApplicationScope (the platform plugin's own objects, a QApplication,
// live exactly as long); without one it is made on first use and lives to
// the end of the process. Either way the plugin is the one TW_UI_PLATFORM
// names, else the first registered that can run here, else headless.
TApplication& Application();

class TApplicationScope {
public:
    // The arguments go to the plugin (it may take its own from them).
    TApplicationScope(int& argc, char** argv);
    // Every control must be gone by now.
    ~TApplicationScope();
    TApplicationScope(const TApplicationScope&) = delete;
    TApplicationScope& operator=(const TApplicationScope&) = delete;
};

// The program's arguments as TApplicationScope received them (the plugin
// reads them when it starts).
int& ProgramArgc();
char** ProgramArgv();

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
