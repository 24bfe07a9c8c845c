#include "platform/ui/application.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

#include "platform/errors.h"
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

TApplication& Application() {
    static TApplication application;
    return application;
}

THeadlessBackend* HeadlessBackend() { return dynamic_cast<THeadlessBackend*>(&Application().Backend()); }

TApplication::TApplication() : backend_(MakeBackend()), thread_(std::this_thread::get_id()) {}

TApplication::~TApplication() = default;

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
        if (TWinControl* control = FindControl(handle)) control->Update();
}

void TApplication::AddTimer(TTimer& timer) {
    if (std::find(timers_.begin(), timers_.end(), &timer) == timers_.end()) timers_.push_back(&timer);
}

void TApplication::RemoveTimer(TTimer& timer) { timers_.erase(std::remove(timers_.begin(), timers_.end(), &timer), timers_.end()); }

void TApplication::MouseInput(TWinControl& topLevel, uint32_t msg, int x, int y, intptr_t keys) {
    TWinControl* target = topLevel.ControlAtPos(x, y);
    if (target != mouseControl_) {
        if (mouseControl_) mouseControl_->Perform(CM_MOUSELEAVE);
        mouseControl_ = target;
        target->Perform(CM_MOUSEENTER);
    }
    if (target->NativeWindow()) {
        const TCursor cursor = ScreenCursor != crDefault ? ScreenCursor : target->Cursor();
        if (!target->Perform(WM_SETCURSOR, static_cast<intptr_t>(target->Handle()))) target->NativeWindow()->SetCursor(cursor);
    }
    target->Perform(msg, keys, MakeLParam(x, y));
}

void TApplication::KeyInput(TWinControl& focus, uint32_t msg, intptr_t key) { focus.Perform(msg, key, 0); }

// ---------------------------------------------------------------- TTimer

TTimer::TTimer(TComponent* owner) : TComponent(owner) {
    Restart();
    Application().AddTimer(*this);
}

TTimer::~TTimer() { Application().RemoveTimer(*this); }

void TTimer::Restart() { due_ = Application().Backend().Now() + std::max<uint32_t>(interval_, 1); }

void TTimer::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    if (enabled) Restart();
}

void TTimer::SetInterval(uint32_t interval) {
    if (interval == interval_) return;
    interval_ = interval;
    Restart();
}
