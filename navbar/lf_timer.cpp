#include "navbar/lf_timer.h"

#include <algorithm>
#include <set>
#include <vector>

#include "platform/canvas.h"

namespace {

// The running timers' identities: a tick for one that is not here (freed,
// stopped) is dropped.
std::set<uintptr_t>& RunningTimers() {
    static std::set<uintptr_t> running;
    return running;
}

}  // namespace

TlfMessageWindow::~TlfMessageWindow() = default;

intptr_t TlfMessageWindow::Perform(uint32_t msg, intptr_t wParam, intptr_t lParam) {
    TMessage message{msg, wParam, lParam, 0};
    WndProc(message);
    return message.Result;
}

bool TlfMessageWindow::SetTimer(uintptr_t id, uint32_t interval) {
    if (interval == 0) return false;
    auto timer = std::make_unique<TTimer>(nullptr);
    timer->SetInterval(interval);
    timer->OnTimer = [this, id](TComponent*) { Perform(WM_TIMER, static_cast<intptr_t>(id)); };
    timers_[id] = std::move(timer);
    return true;
}

bool TlfMessageWindow::KillTimer(uintptr_t id) { return timers_.erase(id) > 0; }

// The one window every library timer ticks through.
class TlfTimerWindow : public TlfMessageWindow {
protected:
    void WndProc(TMessage& message) override {
        if (message.Msg == WM_TIMER) {
            const auto id = static_cast<uintptr_t>(message.WParam);
            if (RunningTimers().count(id)) reinterpret_cast<TlfTimer*>(id)->TimeOut();
            return;
        }
        TlfMessageWindow::WndProc(message);
    }
};

namespace {

TlfTimerWindow& TimerWindow() {
    static TlfTimerWindow* window = new TlfTimerWindow;  // lives to the end of the process
    return *window;
}

}  // namespace

bool TlfTimerRunning(uintptr_t eventId) { return RunningTimers().count(eventId) > 0; }

TlfTimer::TlfTimer(TComponent* owner) : TComponent(owner) {}

TlfTimer::~TlfTimer() { StopTimer(); }

void TlfTimer::SetEnabled(bool value) {
    if (value == enabled_) return;
    enabled_ = value;
    UpdateTimer();
}

void TlfTimer::SetInterval(uint32_t value) {
    if (value == 0 || value == interval_) return;
    interval_ = value;
    UpdateTimer();
}

void TlfTimer::SetOnTimer(TNotifyEvent handler) {
    onTimer_ = std::move(handler);
    UpdateTimer();
}

void TlfTimer::UpdateTimer() {
    StopTimer();
    StartTimer();
}

void TlfTimer::StartTimer() {
    if (!enabled_ || timerOn_ || !onTimer_) return;
    SetTimerOn(TimerWindow().SetTimer(EventID(), interval_));
}

void TlfTimer::StopTimer() {
    if (!timerOn_) return;
    TimerWindow().KillTimer(EventID());
    SetTimerOn(false);
}

void TlfTimer::SetTimerOn(bool on) {
    timerOn_ = on;
    if (on) RunningTimers().insert(EventID());
    else RunningTimers().erase(EventID());
}

void TlfTimer::TimeOut() {
    if (onTimer_) onTimer_(this);
}

TlfControlChildComponent* TlfControlChildComponent::CreateEx(TComponent* control, bool assignOwner) {
    auto* child = new TlfControlChildComponent(assignOwner && control ? control->Owner() : nullptr);
    child->SetControl(control);
    return child;
}

uint32_t ShiftToKeyFlags(uint32_t shift) {
    uint32_t flags = 0;
    if (shift & 0x01) flags |= 0x4;   // MK_SHIFT
    if (shift & 0x04) flags |= 0x8;   // MK_CONTROL
    if (shift & 0x08) flags |= 0x1;   // MK_LBUTTON
    if (shift & 0x10) flags |= 0x2;   // MK_RBUTTON
    if (shift & 0x20) flags |= 0x10;  // MK_MBUTTON
    return flags;
}

// ------------------------------------------------------------------ cursors

namespace {

std::map<TCursor, TlfCursorImage>& CursorTable() {
    static std::map<TCursor, TlfCursorImage> table;
    return table;
}

// The cursor pictures are drawn here: a black arrow outlined in white with
// a sign of its role beside it.
TlfCursorImage MakeCursor(const std::string& name, const std::vector<TPoint>& sign, TPoint hotSpot) {
    TlfCursorImage cursor;
    cursor.ResourceName = name;
    cursor.HotSpot = hotSpot;
    cursor.Image.SetPixelFormat(TPixelFormat::pf32bit);
    cursor.Image.SetSize(32, 32);
    TCanvas canvas(cursor.Image);
    canvas.Pen.Color = 0xFFFFFF;
    canvas.Brush.Color = 0;
    canvas.Polygon({{0, 0}, {0, 16}, {4, 12}, {7, 18}, {9, 17}, {6, 11}, {11, 11}});
    if (sign.size() >= 3) canvas.Polygon(sign);
    // Drawn pixels are opaque, the rest stays clear.
    for (int32_t y = 0; y < 32; ++y) {
        uint8_t* row = cursor.Image.ScanLine(y);
        for (int32_t x = 0; x < 32; ++x) {
            const uint8_t* p = row + x * 4;
            const bool drawn = p[0] || p[1] || p[2] ||
                               (x <= 11 && y <= 18) || (sign.size() >= 3 && x >= 14 && y >= 14);
            row[x * 4 + 3] = drawn ? 255 : 0;
        }
    }
    return cursor;
}

}  // namespace

void LoadLibraryCursors() {
    auto& table = CursorTable();
    if (!table.empty()) return;
    const std::vector<TPoint> square{{16, 16}, {26, 16}, {26, 26}, {16, 26}};
    const std::pair<TCursor, const char*> resources[] = {
        {crlfDragCopy, "CX_DRAGCOPYCURSOR"},   {crlfFullScroll, "CX_FULLSCROLLCURSOR"},
        {crlfHorScroll, "CX_HORSCROLLCURSOR"}, {crlfVerScroll, "CX_VERSCROLLCURSOR"},
        {crlfUpScroll, "CX_UPSCROLLCURSOR"},   {crlfRightScroll, "CX_RIGHTSCROLLCURSOR"},
        {crlfDownScroll, "CX_DOWNSCROLLCURSOR"}, {crlfLeftScroll, "CX_LEFTSCROLLCURSOR"},
        {crlfRemove, "CX_REMOVECURSOR"},       {crlfVertSize, "CX_VERTSIZECURSOR"},
        {crlfHorzSize, "CX_HORZSIZECURSOR"},   {crlfMultiDrag, "CX_MULTIDRAGCURSOR"},
        {crlfNoDrop, "CX_NODROPCURSOR"},       {crlfDrag, "CX_DRAGCURSOR"},
        {crlfColorPicker, "CX_COLORPICKERCURSOR"},
    };
    for (const auto& [id, name] : resources) table[id] = MakeCursor(name, square, {0, 0});
    TlfCursorImage hand = MakeCursor("", {}, {5, 0});
    hand.SystemCursor = crHandPoint;
    table[crlfHand] = std::move(hand);
}

const TlfCursorImage* ScreenCursor(TCursor id) {
    const auto& table = CursorTable();
    const auto found = table.find(id);
    return found == table.end() ? nullptr : &found->second;
}
