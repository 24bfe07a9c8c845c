#include "imaging/core/ie_window_helpers.h"

#include "platform/ui/application.h"

void IESetScrollRange(TWinControl& window, int bar, int32_t min, int32_t max, bool redraw, bool) {
    const auto& info = window.GetScrollInfo(bar);
    window.SetScrollInfo(bar, min, max, info.Page, info.Position, redraw);
}

void IESetScrollInfo(TWinControl& window, int bar, const TIEScrollInfo& info, bool redraw, bool) {
    const auto& now = window.GetScrollInfo(bar);
    window.SetScrollInfo(bar, info.SetRange ? info.Min : now.Min, info.SetRange ? info.Max : now.Max,
                         info.SetPage ? info.Page : now.Page, info.SetPosition ? info.Position : now.Position, redraw);
}

void IESetScrollPage(TWinControl& window, int bar, int32_t page, bool redraw, bool flat) {
    TIEScrollInfo info;
    info.SetPage = true;
    info.Page = page;
    IESetScrollInfo(window, bar, info, redraw, flat);
}

void IESetScrollPos(TWinControl& window, int bar, int32_t position, bool redraw, bool) {
    window.SetScrollPos(bar, position, redraw);
}

void IEEnableScrollBar(TWinControl& window, int bar, int arrows, bool) { window.EnableScrollBar(bar, arrows); }

void IEShowScrollBar(TWinControl& window, int bar, bool show, bool) { window.ShowScrollBar(bar, show); }

TWinControl* IEFindHandle(TComponent* component) {
    for (TComponent* c = component; c; c = c->Owner())
        if (auto* window = dynamic_cast<TWinControl*>(c)) return window->HandleAllocated() ? window : nullptr;
    return nullptr;
}

void IECenterWindow(TWinControl& window) {
    const TRect screen = Application().Backend().ScreenRect();
    const int32_t x = (screen.Right - screen.Left - window.Width()) / 2;
    const int32_t y = (screen.Bottom - screen.Top - window.Height()) / 3;
    window.SetBounds(x, y, window.Width(), window.Height());
}
