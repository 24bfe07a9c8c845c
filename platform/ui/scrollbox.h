// The scroll box: a windowed control whose children may reach beyond its
// client area. Its scroll bars (the platform's) show the whole range of the
// children and appear only when they do not fit; scrolling moves the
// children. The position comes back as WM_HSCROLL / WM_VSCROLL from the bars
// and as WM_MOUSEWHEEL from the wheel.
#pragma once

#include "platform/colour.h"
#include "platform/ui/control.h"

class TScrollBox : public TWinControl {
public:
    enum class TBorderStyle : uint8_t { bsNone, bsSingle };
    explicit TScrollBox(TComponent* owner);
    TColor Color;
    TBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TBorderStyle style);
    // Pixels a line of the scroll bars moves.
    int32_t Increment = 8;
    // The client area changed size.
    TNotifyEvent OnResize;

    // The scrolled offset of the children (what lies left of / above the
    // client area).
    int32_t HorzPosition() const { return offsetX_; }
    int32_t VertPosition() const { return offsetY_; }
    // The extent of the children, unscrolled.
    int32_t HorzRange() const { return rangeX_; }
    int32_t VertRange() const { return rangeY_; }
    // Scrolls to the position (kept inside the range).
    void SetScrollPosition(int bar, int32_t position);
    // Scrolls so that the child lies wholly in view where it can.
    void ScrollInView(TControl* control);
    // Works the range and the bars out again (after children moved).
    void UpdateScrollBars();

protected:
    void CreateParams(TCreateParams& params) override;
    void PaintWindow(TBitmap& surface) override;
    void Scroll(int bar, int code, int thumb);

private:
    TBorderStyle borderStyle_ = TBorderStyle::bsSingle;
    int32_t offsetX_ = 0, offsetY_ = 0;
    int32_t rangeX_ = 0, rangeY_ = 0;
    bool updating_ = false;
};
