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

// The cursor pictures are drawn here, each with a sign of its role: black
// shapes outlined in white on a clear 32 x 32 picture.
constexpr TColor kClear = 0xFF00FF;

using TPainter = void (*)(TCanvas&);

void Shape(TCanvas& canvas, const std::vector<TPoint>& points) {
    canvas.Pen.Color = 0xFFFFFF;
    canvas.Brush.Color = 0;
    canvas.Polygon(points);
}

void Arrow(TCanvas& canvas) { Shape(canvas, {{0, 0}, {0, 16}, {4, 12}, {7, 18}, {9, 17}, {6, 11}, {11, 11}}); }

void Box(TCanvas& canvas, int32_t left, int32_t top) {
    canvas.Pen.Color = 0;
    canvas.Brush.Color = 0xFFFFFF;
    canvas.Rectangle(left, top, left + 10, top + 8);
}

// An arrow head pointing up (dir 0), right (1), down (2) or left (3) with its
// tip at (x, y).
void Head(TCanvas& canvas, int32_t x, int32_t y, int dir) {
    static const int dx[4][3] = {{0, -4, 4}, {0, -4, -4}, {0, 4, -4}, {0, 4, 4}};
    static const int dy[4][3] = {{0, 4, 4}, {0, -4, 4}, {0, -4, -4}, {0, 4, -4}};
    Shape(canvas, {{x + dx[dir][0], y + dy[dir][0]}, {x + dx[dir][1], y + dy[dir][1]}, {x + dx[dir][2], y + dy[dir][2]}});
}

void Dot(TCanvas& canvas) {
    canvas.Pen.Color = 0xFFFFFF;
    canvas.Brush.Color = 0;
    canvas.Ellipse(13, 13, 19, 19);
}

void DragCopy(TCanvas& c) {
    Arrow(c);
    Box(c, 12, 18);
    c.Pen.Color = 0;
    c.MoveTo(17, 20);
    c.LineTo(17, 25);
    c.MoveTo(15, 22);
    c.LineTo(20, 22);
}
// The scrolling cursors: a dot with heads toward the directions it scrolls
// (bit 0 up, 1 right, 2 down, 3 left).
template <int Directions>
void Scroll(TCanvas& c) {
    static const TPoint tips[4] = {{16, 3}, {29, 16}, {16, 29}, {3, 16}};
    Dot(c);
    for (int dir = 0; dir < 4; ++dir)
        if (Directions & (1 << dir)) Head(c, tips[dir].X, tips[dir].Y, dir);
}
void Remove(TCanvas& c) {
    Arrow(c);
    Shape(c, {{13, 17}, {15, 15}, {19, 19}, {23, 15}, {25, 17}, {21, 21}, {25, 25}, {23, 27}, {19, 23}, {15, 27}, {13, 25}, {17, 21}});
}
void VertSize(TCanvas& c) {
    Shape(c, {{4, 14}, {28, 14}, {28, 18}, {4, 18}});
    Head(c, 16, 3, 0);
    Head(c, 16, 29, 2);
    Shape(c, {{15, 7}, {17, 7}, {17, 25}, {15, 25}});
}
void HorzSize(TCanvas& c) {
    Shape(c, {{14, 4}, {18, 4}, {18, 28}, {14, 28}});
    Head(c, 29, 16, 1);
    Head(c, 3, 16, 3);
    Shape(c, {{7, 15}, {25, 15}, {25, 17}, {7, 17}});
}
void MultiDrag(TCanvas& c) {
    Arrow(c);
    Box(c, 16, 14);
    Box(c, 13, 17);
    Box(c, 10, 20);
}
void NoDrop(TCanvas& c) {
    c.Pen.Color = 0;
    c.Pen.Width = 3;
    c.Brush.Style = BS_NULL;
    c.Ellipse(6, 6, 26, 26);
    c.MoveTo(10, 10);
    c.LineTo(22, 22);
    c.Pen.Width = 1;
    c.Brush.Style = BS_SOLID;
}
void Drag(TCanvas& c) {
    Arrow(c);
    Box(c, 12, 18);
}
void Hand(TCanvas& c) {
    // A pointing hand: the finger up from a palm.
    Shape(c, {{5, 0}, {8, 0}, {8, 9}, {18, 10}, {19, 20}, {15, 25}, {6, 25}, {1, 16}, {3, 14}, {5, 16}});
}
void ColorPicker(TCanvas& c) {
    // A pipette from the bottom-left tip up to its bulb.
    Shape(c, {{0, 31}, {2, 26}, {16, 12}, {19, 15}, {5, 29}});
    c.Pen.Color = 0xFFFFFF;
    c.Brush.Color = 0;
    c.Ellipse(17, 6, 26, 15);
}

TlfCursorImage MakeCursor(const std::string& name, TPainter paint, TPoint hotSpot) {
    TlfCursorImage cursor;
    cursor.ResourceName = name;
    cursor.HotSpot = hotSpot;
    cursor.Image.SetPixelFormat(TPixelFormat::pf32bit);
    cursor.Image.SetSize(32, 32);
    TCanvas canvas(cursor.Image);
    canvas.Brush.Color = kClear;
    canvas.FillRect({0, 0, 32, 32});
    paint(canvas);
    // What was drawn is opaque, the rest clear.
    for (int32_t y = 0; y < 32; ++y) {
        uint8_t* row = cursor.Image.ScanLine(y);
        for (int32_t x = 0; x < 32; ++x) {
            uint8_t* p = row + x * 4;
            const bool clear = p[0] == 0xFF && p[1] == 0 && p[2] == 0xFF;
            if (clear) p[0] = p[1] = p[2] = 0;
            p[3] = clear ? 0 : 255;
        }
    }
    return cursor;
}

}  // namespace

void LoadLibraryCursors() {
    auto& table = CursorTable();
    if (!table.empty()) return;
    struct TEntry {
        TCursor Id;
        const char* Name;
        TPainter Paint;
        TPoint HotSpot;
    };
    const TEntry entries[] = {
        {crlfDragCopy, "CX_DRAGCOPYCURSOR", DragCopy, {0, 0}},      {crlfFullScroll, "CX_FULLSCROLLCURSOR", Scroll<15>, {16, 16}},
        {crlfHorScroll, "CX_HORSCROLLCURSOR", Scroll<10>, {16, 16}}, {crlfVerScroll, "CX_VERSCROLLCURSOR", Scroll<5>, {16, 16}},
        {crlfUpScroll, "CX_UPSCROLLCURSOR", Scroll<1>, {16, 16}},    {crlfRightScroll, "CX_RIGHTSCROLLCURSOR", Scroll<2>, {16, 16}},
        {crlfDownScroll, "CX_DOWNSCROLLCURSOR", Scroll<4>, {16, 16}}, {crlfLeftScroll, "CX_LEFTSCROLLCURSOR", Scroll<8>, {16, 16}},
        {crlfRemove, "CX_REMOVECURSOR", Remove, {0, 0}},            {crlfVertSize, "CX_VERTSIZECURSOR", VertSize, {16, 16}},
        {crlfHorzSize, "CX_HORZSIZECURSOR", HorzSize, {16, 16}},    {crlfMultiDrag, "CX_MULTIDRAGCURSOR", MultiDrag, {0, 0}},
        {crlfNoDrop, "CX_NODROPCURSOR", NoDrop, {16, 16}},          {crlfDrag, "CX_DRAGCURSOR", Drag, {0, 0}},
        {crlfColorPicker, "CX_COLORPICKERCURSOR", ColorPicker, {0, 31}},
    };
    for (const TEntry& entry : entries) table[entry.Id] = MakeCursor(entry.Name, entry.Paint, entry.HotSpot);
    TlfCursorImage hand = MakeCursor("", Hand, {6, 0});
    hand.SystemCursor = crHandPoint;
    table[crlfHand] = std::move(hand);
    // The screen's cursor table: a window set to one of these ids shows its
    // picture (the hand is the system's own).
    for (const auto& [id, cursor] : table) AddScreenCursor(id, TCursorPicture{cursor.Image, cursor.HotSpot, cursor.SystemCursor});
}

namespace {
// The library's cursors are in the screen's table from the start, as the
// library's controls take them for granted.
[[maybe_unused]] const bool cursorsAdded = (LoadLibraryCursors(), true);
}  // namespace

const TlfCursorImage* ScreenCursor(TCursor id) {
    const auto& table = CursorTable();
    const auto found = table.find(id);
    return found == table.end() ? nullptr : &found->second;
}
