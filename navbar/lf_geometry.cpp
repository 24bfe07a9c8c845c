#include "navbar/lf_geometry.h"

TRect RectCenter(const TRect& r, int32_t w, int32_t h) {
    const int32_t left = (r.Left + r.Right - w) / 2, top = (r.Top + r.Bottom - h) / 2;
    return {left, top, left + w, top + h};
}

int32_t RangeCenter(int32_t a, int32_t b) {
    const int64_t sum = int64_t{a} + b;
    return static_cast<int32_t>(sum > 0 ? sum / 2 : (sum - 1) / 2);
}

void TlfRect::SetRect(const TRect& rect) {
    if (rect == rect_) return;
    rect_ = rect;
    if (OnChange) OnChange(this);
}

void TlfRect::SetValue(int index, int32_t value) {
    TRect r = rect_;
    switch (index) {
        case 0: r.Left = value; break;
        case 1: r.Top = value; break;
        case 2: r.Right = value; break;
        default: r.Bottom = value; break;
    }
    SetRect(r);
}
