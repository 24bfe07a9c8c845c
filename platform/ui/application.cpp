#include "platform/ui/application.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <map>

#include <cstdio>

#include "platform/codepage.h"
#include "platform/errors.h"
#include "platform/ui/forms.h"
#include "platform/ui/headless.h"

namespace {
struct TBackendEntry {
    std::string Name;
    TUIBackendMaker Maker;
    std::function<bool()> CanRun;
};
std::vector<TBackendEntry>& Backends() {
    static std::vector<TBackendEntry> list;
    return list;
}

std::unique_ptr<TUIBackend> MakeBackend() {
    const char* wanted = std::getenv("TW_UI_PLATFORM");
    if (wanted && *wanted) {
        for (const auto& entry : Backends())
            if (entry.Name == wanted) return entry.Maker();
        if (std::string(wanted) != "headless")
            throw Exception(std::string("The user-interface platform \"") + wanted + "\" is not available.");
    } else {
        for (const auto& entry : Backends())
            if (entry.CanRun && entry.CanRun()) return entry.Maker();
    }
    return std::make_unique<THeadlessBackend>();
}
}  // namespace

void RegisterUIBackend(const std::string& name, TUIBackendMaker maker, std::function<bool()> canRun) {
    Backends().push_back({name, std::move(maker), std::move(canRun)});
}

namespace {
std::map<TCursor, TCursorPicture>& ScreenCursors() {
    static std::map<TCursor, TCursorPicture> cursors;
    return cursors;
}
}  // namespace

void AddScreenCursor(TCursor id, TCursorPicture picture) { ScreenCursors()[id] = std::move(picture); }

const TCursorPicture* FindScreenCursor(TCursor id) {
    const auto found = ScreenCursors().find(id);
    return found == ScreenCursors().end() ? nullptr : &found->second;
}

namespace {
TApplication* running = nullptr;
bool madeOnFirstUse = false;
int programArgc = 1;
char programName[] = "tamblewick";
char* defaultArgv[] = {programName, nullptr};
char** programArgv = defaultArgv;

void DestroyFirstUseApplication() { delete running; }
}  // namespace

int& ProgramArgc() { return programArgc; }
char** ProgramArgv() { return programArgv; }

TApplication& Application() {
    if (!running) {
        new TApplication();  // registers itself as the running one
        if (!madeOnFirstUse) std::atexit(DestroyFirstUseApplication);
        madeOnFirstUse = true;
    }
    return *running;
}

TApplicationScope::TApplicationScope(int& argc, char** argv) {
    if (running) throw Exception("The toolkit has been started already.");
    programArgc = argc;
    programArgv = argv;
    new TApplication();
}

TApplicationScope::~TApplicationScope() {
    delete running;
    programArgc = 1;
    programArgv = defaultArgv;
}

THeadlessBackend* HeadlessBackend() { return dynamic_cast<THeadlessBackend*>(&Application().Backend()); }

TApplication::TApplication() : thread_(std::this_thread::get_id()) {
    running = this;
    try {
        backend_ = MakeBackend();
    } catch (...) {
        running = nullptr;
        throw;
    }
    HintWindowClass = [](TComponent* owner) { return new THintWindow(owner); };
}

TApplication::~TApplication() {
    // The hint window and its timer still need the application.
    hintWindow_ = nullptr;
    hintTimer_ = nullptr;
    hintOwner_.reset();
    backend_.reset();
    running = nullptr;
}

void TApplication::Run() {
    if (MainForm) MainForm->Show();
    backend_->RunUntil([this] { return terminated_; });
}

void TApplication::Terminate() {
    terminated_ = true;
    backend_->Wake();
}

void TApplication::SetHint(const std::string& hint) {
    hint_ = hint;
    if (OnHint) OnHint(nullptr);
}

int TApplication::MessageBox(const std::string& text, const std::string& caption, uint32_t flags) {
    CancelHint();
    return backend_->MessageBox(AnsiToWide(text), AnsiToWide(caption.empty() ? Title : caption), flags);
}

void TApplication::ShowException(const std::exception& error) {
    std::string message = error.what();
    if (!message.empty() && message.back() != '.') message += '.';
    // Messages are UTF-8 like every text of the program's own.
    CancelHint();
    backend_->MessageBox(Utf8ToWide(message), AnsiToWide(Title), MB_OK | MB_ICONERROR);
}

void TApplication::TimersChanged() {
    int64_t wait = -1;
    const uint64_t now = backend_->Now();
    for (TTimer* timer : timers_)
        if (timer->Enabled() && timer->OnTimer) {
            const int64_t left = timer->due_ > now ? static_cast<int64_t>(timer->due_ - now) : 0;
            wait = wait < 0 ? left : std::min(wait, left);
        }
    backend_->ScheduleTimer(wait);
}

// ---------------------------------------------------------------- hints

void TApplication::MouseEntered(TControl* control) {
    CancelHint();
    // The long hint of the control under the mouse goes to the status line.
    std::string hint;
    for (TControl* c = control; c; c = c->Parent())
        if (!c->Hint.empty()) {
            hint = c->Hint;
            break;
        }
    const size_t bar = hint.find('|');
    SetHint(bar == std::string::npos ? hint : hint.substr(bar + 1));
    if (!ShowHint || !control || !control->ShowHint || hint.empty()) return;
    if (!hintOwner_) hintOwner_ = std::make_unique<TComponent>(nullptr);
    if (!hintTimer_) {
        hintTimer_ = new TTimer(hintOwner_.get());
        // Shows the hint after the pause, hides it after the hide pause.
        hintTimer_->OnTimer = [this](TComponent*) {
            if (hintWindow_) CancelHint();
            else ActivateHint();
        };
    }
    hintControl_ = control;
    hintTimer_->SetEnabled(false);
    hintTimer_->SetInterval(std::max<uint32_t>(HintPause, 1));
    hintTimer_->SetEnabled(true);
    TimersChanged();
}

void TApplication::ActivateHint() {
    hintTimer_->SetEnabled(false);
    TControl* control = hintControl_;
    if (!control || control != mouseControl_) return;
    std::string hint;
    for (TControl* c = control; c; c = c->Parent())
        if (!c->Hint.empty()) {
            hint = c->Hint;
            break;
        }
    THintInfo info;
    info.HintControl = control;
    info.HintWindowClass = HintWindowClass;
    info.HintWindowClassName = HintWindowClassName;
    // Below the mouse pointer, as far as the pointer is tall.
    info.HintPos = {cursorPos_.X, cursorPos_.Y + 20};
    info.HintMaxWidth = backend_->ScreenRect().Right - backend_->ScreenRect().Left;
    info.HintStr = hint.substr(0, hint.find('|'));
    if (control->Perform(CM_HINTSHOW, 0, reinterpret_cast<intptr_t>(&info)) != 0 || info.HintStr.empty()) return;
    if (hintWindow_) {
        hintWindow_->Free();
        hintWindow_ = nullptr;
    }
    hintWindow_ = info.HintWindowClass(hintOwner_.get());
    TRect rect = hintWindow_->CalcHintRect(info.HintMaxWidth, info.HintStr, info.HintData);
    const TRect screen = backend_->WorkArea();
    int32_t x = info.HintPos.X, y = info.HintPos.Y;
    const int32_t w = rect.Right - rect.Left, h = rect.Bottom - rect.Top;
    x = std::max(screen.Left, std::min(x, screen.Right - w));
    y = std::max(screen.Top, std::min(y, screen.Bottom - h));
    hintWindow_->ActivateHintData({x, y, x + w, y + h}, info.HintStr, info.HintData);
    // The hint goes after a while on its own.
    hintTimer_->SetInterval(std::max<uint32_t>(HintHidePause, 1));
    hintTimer_->SetEnabled(true);
    TimersChanged();
}

void TApplication::CancelHint() {
    if (hintTimer_) hintTimer_->SetEnabled(false);
    hintControl_ = nullptr;
    if (hintWindow_) {
        hintWindow_->Free();
        hintWindow_ = nullptr;
    }
}

HWND TApplication::RegisterWindow(TWinControl& control) {
    std::lock_guard guard(lock_);
    HWND handle = nextHandle_++;
    windows_[handle] = &control;
    return handle;
}

void TApplication::UnregisterWindow(HWND window) {
    std::lock_guard guard(lock_);
    windows_.erase(window);
}

TWinControl* TApplication::FindControl(HWND window) {
    std::lock_guard guard(lock_);
    auto at = windows_.find(window);
    return at == windows_.end() ? nullptr : at->second;
}

void TApplication::ForgetControl(TControl& control) {
    if (mouseControl_ == &control) mouseControl_ = nullptr;
    if (hintControl_ == &control) CancelHint();
    if (hintWindow_ == &control) hintWindow_ = nullptr;
    if (MainForm == &control) MainForm = nullptr;
}

bool TApplication::PostMessage(HWND window, uint32_t msg, intptr_t wParam, intptr_t lParam) {
    {
        std::lock_guard guard(lock_);
        if (!windows_.count(window)) return false;
        queue_.push_back({window, {msg, wParam, lParam, 0}});
    }
    backend_->Wake();
    return true;
}

intptr_t TApplication::SendMessage(HWND window, uint32_t msg, intptr_t wParam, intptr_t lParam) {
    TWinControl* control = FindControl(window);
    return control ? control->Perform(msg, wParam, lParam) : 0;
}

void TApplication::ProcessMessages() {
    backend_->PumpEvents();
    // Only what is queued now: a handler that posts again waits for the next pass.
    std::deque<TPosted> batch;
    {
        std::lock_guard guard(lock_);
        batch.swap(queue_);
    }
    for (auto& posted : batch) {
        // The window may have gone since the message was posted.
        if (TWinControl* control = FindControl(posted.Window)) control->WndProc(posted.Message);
    }
    FireTimers();
    PaintWindows();
    TimersChanged();
}

void TApplication::HandleMessage() {
    int64_t wait = std::numeric_limits<int32_t>::max();
    {
        std::lock_guard guard(lock_);
        if (!queue_.empty()) wait = 0;
    }
    const uint64_t now = backend_->Now();
    for (TTimer* timer : timers_)
        if (timer->Enabled() && timer->OnTimer) wait = std::min<int64_t>(wait, timer->due_ > now ? timer->due_ - now : 0);
    if (wait > 0) backend_->WaitForEvents(wait);
    ProcessMessages();
}

void TApplication::FireTimers() {
    const uint64_t now = backend_->Now();
    // A handler may stop or free timers: walk a copy, checking each is still there.
    std::vector<TTimer*> due;
    for (TTimer* timer : timers_)
        if (timer->Enabled() && timer->OnTimer && timer->due_ <= now) due.push_back(timer);
    for (TTimer* timer : due) {
        if (std::find(timers_.begin(), timers_.end(), timer) == timers_.end()) continue;
        timer->due_ = now + std::max<uint32_t>(timer->Interval(), 1);
        timer->OnTimer(timer);
    }
}

void TApplication::PaintWindows() {
    std::vector<HWND> handles;
    {
        std::lock_guard guard(lock_);
        for (const auto& [handle, control] : windows_)
            if (control->NeedsPaint()) handles.push_back(handle);
    }
    std::sort(handles.begin(), handles.end());
    for (HWND handle : handles)
        if (TWinControl* control = FindControl(handle)) control->TWinControl::Update();  // the paint, whatever a class names Update
}

void TApplication::AddTimer(TTimer& timer) {
    if (std::find(timers_.begin(), timers_.end(), &timer) == timers_.end()) timers_.push_back(&timer);
}

void TApplication::RemoveTimer(TTimer& timer) { timers_.erase(std::remove(timers_.begin(), timers_.end(), &timer), timers_.end()); }

void TApplication::MouseInput(TWinControl& topLevel, uint32_t msg, int x, int y, intptr_t keys) {
    const TPoint origin = topLevel.ClientOrigin();
    cursorPos_ = {origin.X + x, origin.Y + y};
    TWinControl* window = topLevel.ControlAtPos(x, y);
    // A control without a window of its own gets the mouse over it.
    TControl* target = window;
    for (int i = window->ControlCount() - 1; i >= 0; --i) {
        auto* graphic = dynamic_cast<TGraphicControl*>(window->Controls(i));
        if (!graphic || !graphic->Visible()) continue;
        const TRect r = graphic->BoundsRect();
        if (x >= r.Left && y >= r.Top && x < r.Right && y < r.Bottom) {
            target = graphic;
            x -= r.Left;
            y -= r.Top;
            break;
        }
    }
    if (target != mouseControl_) {
        if (mouseControl_) mouseControl_->Perform(CM_MOUSELEAVE);
        mouseControl_ = target;
        target->Perform(CM_MOUSEENTER);
        MouseEntered(target);
    } else if (msg != WM_MOUSEMOVE) {
        CancelHint();
    }
    if (window->NativeWindow()) {
        const TCursor cursor = ScreenCursor != crDefault ? ScreenCursor : target->Cursor();
        if (!target->Perform(WM_SETCURSOR, static_cast<intptr_t>(window->Handle()))) window->NativeWindow()->SetCursor(cursor);
    }
    target->Perform(msg, keys, MakeLParam(x, y));
}

void TApplication::KeyInput(TWinControl& focus, uint32_t msg, intptr_t key) {
    CancelHint();
    focus.Perform(msg, key, 0);
}

void TApplication::MouseLeave(TWinControl& window) {
    if (!mouseControl_) return;
    // Only when the mouse leaves the window of the control it was over.
    for (TControl* c = mouseControl_; c; c = c->Parent())
        if (c == &window) {
            TControl* left = mouseControl_;
            mouseControl_ = nullptr;
            left->Perform(CM_MOUSELEAVE);
            CancelHint();
            SetHint("");
            return;
        }
}

// ---------------------------------------------------------------- TTimer

TTimer::TTimer(TComponent* owner) : TComponent(owner) {
    Restart();
    Application().AddTimer(*this);
    Application().TimersChanged();
}

TTimer::~TTimer() { Application().RemoveTimer(*this); }

void TTimer::Restart() { due_ = Application().Backend().Now() + std::max<uint32_t>(interval_, 1); }

void TTimer::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    if (enabled) Restart();
    Application().TimersChanged();
}

void TTimer::SetInterval(uint32_t interval) {
    if (interval == interval_) return;
    interval_ = interval;
    Restart();
    Application().TimersChanged();
}
