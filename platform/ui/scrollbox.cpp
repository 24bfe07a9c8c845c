#include "platform/ui/scrollbox.h"

#include <algorithm>

#include "platform/canvas.h"

namespace {
constexpr TColor clBtnFace = static_cast<TColor>(0x8000000F);
}

TScrollBox::TScrollBox(TComponent* owner) : TWinControl(owner), Color(clBtnFace) {
    SetBounds(0, 0, 185, 41);
    HandleMessage(WM_HSCROLL, [this](TMessage& m, const TMessageHandler&) { Scroll(SB_HORZ, LoWord(m.WParam), HiWord(m.WParam)); });
    HandleMessage(WM_VSCROLL, [this](TMessage& m, const TMessageHandler&) { Scroll(SB_VERT, LoWord(m.WParam), HiWord(m.WParam)); });
    HandleMessage(WM_MOUSEWHEEL, [this](TMessage& m, const TMessageHandler&) {
        // One notch (120) scrolls three lines.
        const int delta = static_cast<int16_t>(HiWord(m.WParam));
        SetScrollPosition(SB_VERT, offsetY_ - delta * 3 * Increment / 120);
    });
    HandleMessage(WM_SIZE, [this](TMessage& m, const TMessageHandler& inherited) {
        UpdateScrollBars();
        if (OnResize) OnResize(this);
        inherited(m);
    });
    HandleMessage(CM_CONTROLCHANGE, [this](TMessage& m, const TMessageHandler& inherited) {
        UpdateScrollBars();
        inherited(m);
    });
    HandleMessage(WM_CREATE, [this](TMessage& m, const TMessageHandler& inherited) {
        UpdateScrollBars();
        inherited(m);
    });
}

void TScrollBox::SetBorderStyle(TBorderStyle style) {
    if (borderStyle_ == style) return;
    borderStyle_ = style;
    RecreateWnd();
}

void TScrollBox::CreateParams(TCreateParams& params) {
    params.Style |= WS_HSCROLL | WS_VSCROLL;
    if (borderStyle_ == TBorderStyle::bsSingle) params.ExStyle |= WS_EX_CLIENTEDGE;
    params.WinClassName = "TScrollBox";
}

void TScrollBox::PaintWindow(TBitmap& surface) {
    TCanvas canvas(surface);
    canvas.Brush.Color = static_cast<uint32_t>(ColorToRGB(Color));
    canvas.FillRect({0, 0, surface.Width(), surface.Height()});
}

void TScrollBox::UpdateScrollBars() {
    if (updating_) return;
    updating_ = true;
    // The children's extent, measured unscrolled.
    rangeX_ = rangeY_ = 0;
    for (int i = 0; i < ControlCount(); ++i) {
        TControl* child = Controls(i);
        if (!child->Visible()) continue;
        rangeX_ = std::max(rangeX_, child->Left() + offsetX_ + child->Width());
        rangeY_ = std::max(rangeY_, child->Top() + offsetY_ + child->Height());
    }
    // A bar that appears takes room from the other direction, which may
    // call for the other bar: two rounds settle it.
    for (int round = 0; round < 2; ++round) {
        const bool needH = rangeX_ > ClientWidth();
        ShowScrollBar(SB_HORZ, needH);
        const bool needV = rangeY_ > ClientHeight();
        ShowScrollBar(SB_VERT, needV);
    }
    updating_ = false;
    // Positions stay inside the new ranges.
    SetScrollPosition(SB_HORZ, offsetX_);
    SetScrollPosition(SB_VERT, offsetY_);
}

void TScrollBox::SetScrollPosition(int bar, int32_t position) {
    const bool horizontal = bar == SB_HORZ;
    const int32_t range = horizontal ? rangeX_ : rangeY_;
    const int32_t page = horizontal ? ClientWidth() : ClientHeight();
    const bool shown = GetScrollInfo(bar).Shown;
    const int32_t top = shown ? std::max(range - page, 0) : 0;
    position = std::clamp(position, 0, top);
    int32_t& offset = horizontal ? offsetX_ : offsetY_;
    const int32_t delta = offset - position;
    offset = position;
    SetScrollInfo(bar, 0, std::max(range - 1, 0), page, position);
    if (delta == 0) return;
    for (int i = 0; i < ControlCount(); ++i) {
        TControl* child = Controls(i);
        child->SetBounds(child->Left() + (horizontal ? delta : 0), child->Top() + (horizontal ? 0 : delta), child->Width(),
                         child->Height());
    }
    Invalidate();
}

void TScrollBox::Scroll(int bar, int code, int thumb) {
    const int32_t position = bar == SB_HORZ ? offsetX_ : offsetY_;
    const int32_t page = bar == SB_HORZ ? ClientWidth() : ClientHeight();
    const int32_t range = bar == SB_HORZ ? rangeX_ : rangeY_;
    switch (code) {
        case SB_LINEUP: SetScrollPosition(bar, position - Increment); break;
        case SB_LINEDOWN: SetScrollPosition(bar, position + Increment); break;
        case SB_PAGEUP: SetScrollPosition(bar, position - page); break;
        case SB_PAGEDOWN: SetScrollPosition(bar, position + page); break;
        case SB_THUMBPOSITION:
        case SB_THUMBTRACK: SetScrollPosition(bar, thumb); break;
        case SB_TOP: SetScrollPosition(bar, 0); break;
        case SB_BOTTOM: SetScrollPosition(bar, range); break;
        default: break;
    }
}

void TScrollBox::ScrollInView(TControl* control) {
    if (!control || control->Parent() != this) return;
    auto bring = [this](int bar, int32_t start, int32_t extent, int32_t page, int32_t offset) {
        if (start < 0) SetScrollPosition(bar, offset + start);
        else if (start + extent > page) SetScrollPosition(bar, offset + std::min(start, start + extent - page));
    };
    bring(SB_HORZ, control->Left(), control->Width(), ClientWidth(), offsetX_);
    bring(SB_VERT, control->Top(), control->Height(), ClientHeight(), offsetY_);
}
