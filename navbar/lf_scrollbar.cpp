#include "navbar/lf_scrollbar.h"

#include <algorithm>

#include "navbar/lf_painter_images.h"
#include "platform/ui/application.h"

namespace {

constexpr uint32_t kFirstDelay = 400, kRepeatDelay = 60;
// The tracking zone reaches this far past the bar's ends and sides.
constexpr int32_t kZoneAlong = 34, kZoneAcross = 136;

// a * b / c rounded to the nearest, halves away from zero; c = 0 gives 0.
int32_t MulDiv(int32_t a, int32_t b, int32_t c) {
    if (c == 0) return 0;
    const int64_t p = int64_t{a} * b;
    const int64_t half = (c < 0 ? -int64_t{c} : int64_t{c}) / 2;
    const int64_t q = (p >= 0) == (c >= 0) ? (std::abs(p) + half) / std::abs(int64_t{c}) : -((std::abs(p) + half) / std::abs(int64_t{c}));
    return static_cast<int32_t>(q);
}

int Metric(TSystemMetric metric) { return Application().Backend().GetSystemMetric(metric); }

bool IsRepeatPart(TlfScrollBarPart part) {
    return part == partLineUp || part == partLineDown || part == partPageUp || part == partPageDown;
}

}  // namespace

// ------------------------------------------------------------------ view info

void TlfScrollBarViewInfo::CalculateRects() {
    TlfScrollBar& bar = *scrollBar_;
    const bool vertical = bar.Kind() == sbVertical;
    const int32_t w = bar.Width(), h = bar.Height();
    if (vertical) {
        const int32_t a = std::min(Metric(SM_CXVSCROLL), h / 2);
        TopLeftArrowRect = {0, 0, w, a};
        BottomRightArrowRect = {0, h - a, w, h};
    } else {
        const int32_t a = std::min(Metric(SM_CYHSCROLL), w / 2);
        TopLeftArrowRect = {0, 0, a, h};
        BottomRightArrowRect = {w - a, 0, w, h};
    }
    ComputeThumbRect();
}

void TlfScrollBarViewInfo::ComputeThumbRect() {
    TlfScrollBar& bar = *scrollBar_;
    const bool vertical = bar.Kind() == sbVertical;
    ThumbnailRect = {};
    auto along = [&](int32_t from, int32_t to) {
        return vertical ? TRect{0, from, bar.Width(), to} : TRect{from, 0, to, bar.Height()};
    };
    const int32_t trackStart = vertical ? TopLeftArrowRect.Bottom : TopLeftArrowRect.Right;
    const int32_t trackEnd = vertical ? BottomRightArrowRect.Top : BottomRightArrowRect.Left;
    const int32_t t = trackEnd - trackStart;
    const int min = bar.Min(), max = bar.Max(), page = bar.PageSize(), position = bar.Position();
    if (bar.Enabled()) {
        if (page != 0) {
            int32_t l = std::min(t, MulDiv(page, t, max - min + 1));
            if (t >= ThumbnailSize && max != min) {
                l = std::max(l, ThumbnailSize);
                const int32_t d = max - min - page + 1;
                const int32_t offset = d > 0 ? MulDiv(t - l, std::min(position - min, d), d) : 0;
                ThumbnailRect = along(trackStart + offset, trackStart + offset + l);
            }
        } else {
            // The system's thumb is as long as the bar is wide.
            const int32_t l = Metric(vertical ? SM_CXVSCROLL : SM_CYHSCROLL);
            if (t >= l) {
                int32_t start = trackStart;
                if (t - l > 0 && max != min) start += MulDiv(t - l, position - min, max - min);
                ThumbnailRect = along(start, start + l);
            }
        }
    }
    CalculatePageRects();
}

void TlfScrollBarViewInfo::CalculatePageRects() {
    TlfScrollBar& bar = *scrollBar_;
    PageUpRect = PageDownRect = {};
    if (RectIsEmpty(ThumbnailRect)) return;
    if (bar.Kind() == sbVertical) {
        PageUpRect = {0, TopLeftArrowRect.Bottom, bar.Width(), ThumbnailRect.Top};
        PageDownRect = {0, ThumbnailRect.Bottom, bar.Width(), BottomRightArrowRect.Top};
    } else {
        PageUpRect = {TopLeftArrowRect.Right, 0, ThumbnailRect.Left, bar.Height()};
        PageDownRect = {ThumbnailRect.Right, 0, BottomRightArrowRect.Left, bar.Height()};
    }
}

// ------------------------------------------------------------------ scroll bar

TlfScrollBar::TlfScrollBar(TComponent* owner) : TCustomControl(owner) {
    lookAndFeel_ = std::make_unique<TlfLookAndFeel>(this);
    lookAndFeel_->OnChanged = [this](TlfLookAndFeel*, TlfLookAndFeelValues) { LookAndFeelChanged(); };
    viewInfo_ = std::make_unique<TlfScrollBarViewInfo>(this);
    timer_ = std::make_unique<TlfTimer>(nullptr);
    timer_->SetEnabled(false);
    timer_->SetInterval(kFirstDelay);
    timer_->SetOnTimer([this](TComponent*) { TimerTick(); });
    themeNotificator_ = std::make_unique<TkrThemeChangedNotificator>();
    themeNotificator_->OnThemeChanged = [this] { ThemeChanged(); };
    paletteNotifier_ = std::make_unique<TlfSystemPaletteChangedNotifier>(false);
    paletteNotifier_->OnChanged = [this] {
        UpdateScrollBarPatterns();
        Invalidate();
    };
    bitmap_.SetPixelFormat(TPixelFormat::pf32bit);
    UpdateThumbSize();
    SetBounds(0, 0, 121, Metric(SM_CYHSCROLL));

    HandleMessage(WM_LBUTTONDOWN, [this](TMessage& m, const TMessageHandler&) { MouseDown(LParamX(m.LParam), LParamY(m.LParam)); });
    HandleMessage(WM_LBUTTONDBLCLK, [this](TMessage& m, const TMessageHandler&) { MouseDown(LParamX(m.LParam), LParamY(m.LParam)); });
    HandleMessage(WM_MOUSEMOVE, [this](TMessage& m, const TMessageHandler&) { MouseMove(LParamX(m.LParam), LParamY(m.LParam)); });
    HandleMessage(WM_LBUTTONUP, [this](TMessage& m, const TMessageHandler&) { MouseUp(LParamX(m.LParam), LParamY(m.LParam)); });
    HandleMessage(CM_MOUSEENTER, [this](TMessage& m, const TMessageHandler& inherited) {
        mouseInside_ = true;
        if (Painter()->HotTrackedButtons() || IsRepeatPart(state_)) Invalidate();
        inherited(m);
    });
    HandleMessage(CM_MOUSELEAVE, [this](TMessage& m, const TMessageHandler& inherited) {
        mouseInside_ = false;
        if (!Dragging()) hotPart_ = partNone;
        if (Painter()->HotTrackedButtons() || IsRepeatPart(state_)) Invalidate();
        inherited(m);
    });
    HandleMessage(WM_CANCELMODE, [this](TMessage&, const TMessageHandler&) { StopScrolling(); });
    HandleMessage(CM_ENABLEDCHANGED, [this](TMessage& m, const TMessageHandler& inherited) {
        if (!Enabled()) StopScrolling();
        viewInfo_->Calculate();
        Invalidate();
        inherited(m);
    });
    auto scrollMessage = [this](TMessage& m, const TMessageHandler&) { ApplyScroll(static_cast<TScrollCode>(LoWord(m.WParam))); };
    HandleMessage(WM_HSCROLL, scrollMessage);
    HandleMessage(WM_VSCROLL, scrollMessage);
    HandleMessage(WM_MOUSEWHEEL, [this](TMessage& m, const TMessageHandler&) {
        if (!Enabled()) return;
        // Three lines a notch (120), toward the top for a positive delta.
        const int delta = static_cast<int16_t>(HiWord(m.WParam));
        const int lines = std::max(1, std::abs(delta) * 3 / 120);
        for (int i = 0; i < lines; ++i) ApplyScroll(delta > 0 ? scLineUp : scLineDown);
        int p = position_;
        Scroll(scEndScroll, p);
        m.Result = 1;
    });
    HandleMessage(WM_KEYDOWN, [this](TMessage& m, const TMessageHandler& inherited) {
        TScrollCode code;
        switch (static_cast<uint16_t>(m.WParam)) {
            case VK_UP: case VK_LEFT: code = scLineUp; break;
            case VK_DOWN: case VK_RIGHT: code = scLineDown; break;
            case VK_PRIOR: code = scPageUp; break;
            case VK_NEXT: code = scPageDown; break;
            case VK_HOME: code = scTop; break;
            case VK_END: code = scBottom; break;
            default: inherited(m); return;
        }
        if (!Enabled()) return;
        ApplyScroll(code);
        int p = position_;
        Scroll(scEndScroll, p);
    });
}

TlfScrollBar::~TlfScrollBar() {
    timer_->SetOnTimer(nullptr);
    lookAndFeel_->OnChanged = nullptr;
}

void TlfScrollBar::SetKind(TScrollBarKind kind) {
    if (kind == kind_) return;
    kind_ = kind;
    if (HasState(csLoading)) {
        UpdateThumbSize();
        viewInfo_->Calculate();
    } else {
        UpdateThumbSize();
        SetBounds(Left(), Top(), Height(), Width());
        viewInfo_->Calculate();
    }
    Invalidate();
}

void TlfScrollBar::SetCtl3D(bool value) {
    realCtl3D_ = value;
    ctl3D_ = value;
}

void TlfScrollBar::AssignScrollParams(int min, int max, int position, int pageSize, bool redraw) {
    if (max < min || max < pageSize) throw EInvalidOperation("Scrollbar property out of range");
    redraw = redraw && HandleAllocated();
    position = std::clamp(position, min, max);
    if (min == min_ && max == max_ && pageSize == pageSize_ && position == position_) redraw = false;
    else {
        min_ = min;
        max_ = max;
        pageSize_ = pageSize;
    }
    if (position == position_) {
        viewInfo_->ComputeThumbRect();
        if (redraw) Invalidate();
        return;
    }
    position_ = position;
    viewInfo_->ComputeThumbRect();
    if (redraw) Invalidate();
    Changed();
}

void TlfScrollBar::Changed() {
    if (OnChange) OnChange(this);
}

void TlfScrollBar::SetBounds(int32_t left, int32_t top, int32_t width, int32_t height) {
    const bool resized = width != Width() || height != Height();
    TCustomControl::SetBounds(left, top, width, height);
    if (resized && width > 0 && height > 0) {
        bitmap_.SetSize(width, height);
        viewInfo_->Calculate();
    }
}

TlfPainterClass TlfScrollBar::Painter() const { return lookAndFeel_->ResolvePainter(totScrollBar); }

void TlfScrollBar::UpdateThumbSize() { viewInfo_->ThumbnailSize = Painter()->MinScrollThumbSize(kind_ == sbVertical); }

void TlfScrollBar::LookAndFeelChanged() {
    if (lookAndFeel_->ExtendedStylePainter() && ctl3D_) {
        realCtl3D_ = true;
        ctl3D_ = false;
    } else if (realCtl3D_) {
        ctl3D_ = true;
    }
    UpdateThumbSize();
    viewInfo_->Calculate();
    Invalidate();
}

void TlfScrollBar::ThemeChanged() {
    UpdateScrollBarPatterns();
    LookAndFeelChanged();
    if (Parent()) Parent()->AlignControls();
}

TlfScrollBarPart TlfScrollBar::GetScrollBarPart(const TPoint& p) {
    const auto in = [&p](const TRect& r) { return p.X >= r.Left && p.X < r.Right && p.Y >= r.Top && p.Y < r.Bottom; };
    if (!in(TRect{0, 0, Width(), Height()})) return partNone;
    const TlfScrollBarViewInfo& v = *viewInfo_;
    if (in(v.TopLeftArrowRect)) return partLineUp;
    if (in(v.BottomRightArrowRect)) return partLineDown;
    if (RectIsEmpty(v.ThumbnailRect)) return partNone;
    if (in(v.ThumbnailRect)) return partThumb;
    if (in(v.PageUpRect)) return partPageUp;
    if (in(v.PageDownRect)) return partPageDown;
    return partNone;
}

TlfElementState TlfScrollBar::PartState(TlfScrollBarPart part) const {
    if (!Enabled()) return esDisabled;
    if (part == partThumb && !Painter()->HotTrackedButtons()) return esNormal;
    if (state_ != partNone) return part == state_ && part == hotPart_ ? esPressed : esNormal;
    return part == hotPart_ ? esHot : esNormal;
}

int TlfScrollBar::PositionFromThumb() const {
    const TlfScrollBarViewInfo& v = *viewInfo_;
    const bool vertical = kind_ == sbVertical;
    const int32_t trackStart = vertical ? v.TopLeftArrowRect.Bottom : v.TopLeftArrowRect.Right;
    const int32_t trackEnd = vertical ? v.BottomRightArrowRect.Top : v.BottomRightArrowRect.Left;
    const int32_t thumbStart = vertical ? v.ThumbnailRect.Top : v.ThumbnailRect.Left;
    const int32_t thumbLength = vertical ? RectHeight(v.ThumbnailRect) : RectWidth(v.ThumbnailRect);
    const int32_t free = trackEnd - trackStart - thumbLength;
    if (free <= 0) return position_;
    const int range = max_ - min_ + (pageSize_ > 0 ? 1 - pageSize_ : 0);
    return std::clamp(min_ + MulDiv(range, thumbStart - trackStart, free), min_, max_);
}

void TlfScrollBar::Scroll(TScrollCode code, int& position) {
    if (OnScroll) OnScroll(this, code, position);
}

void TlfScrollBar::ApplyScroll(TScrollCode code) {
    int position = position_;
    switch (code) {
        case scLineUp: position -= smallChange_; break;
        case scLineDown: position += smallChange_; break;
        case scPageUp: position -= largeChange_; break;
        case scPageDown: position += largeChange_; break;
        case scTop: position = min_; break;
        case scBottom: position = max_; break;
        default: break;
    }
    position = std::clamp(position, min_, max_);
    Scroll(code, position);
    position = std::clamp(position, min_, max_);
    if (position == position_) return;
    if (code == scTrack) {
        position_ = position;
        Invalidate();
    } else {
        AssignScrollParams(min_, max_, position, pageSize_, true);
    }
}

void TlfScrollBar::ScrollPart(TlfScrollBarPart part) {
    switch (part) {
        case partLineUp: ApplyScroll(scLineUp); break;
        case partLineDown: ApplyScroll(scLineDown); break;
        case partThumb: ApplyScroll(scTrack); break;
        case partPageUp: ApplyScroll(scPageUp); break;
        case partPageDown: ApplyScroll(scPageDown); break;
        default: break;
    }
}

void TlfScrollBar::MouseDown(int x, int y) {
    mousePos_ = {x, y};
    if (!Enabled()) return;
    const TlfScrollBarPart part = GetScrollBarPart({x, y});
    if (part == partNone) return;
    if (NativeWindow()) NativeWindow()->SetCapture(true);
    state_ = hotPart_ = part;
    if (part == partThumb) {
        downMousePos_ = {x, y};
        savePosition_ = position_;
        saveThumbnailPos_ = {viewInfo_->ThumbnailRect.Left, viewInfo_->ThumbnailRect.Top};
        ScrollPart(part);
    } else {
        ScrollPart(part);
        timer_->SetInterval(kFirstDelay);
        timer_->SetEnabled(true);
    }
    Invalidate();
}

void TlfScrollBar::TimerTick() {
    if (state_ == partNone || !IsRepeatPart(state_) || !Visible() || !Enabled()) {
        StopScrolling();
        return;
    }
    if (timer_->Interval() == kFirstDelay) timer_->SetInterval(kRepeatDelay);
    ScrollPart(state_);
    // A page part ends where the thumb reaches the mouse.
    timer_->SetEnabled(GetScrollBarPart(mousePos_) == state_);
    Invalidate();
}

void TlfScrollBar::MouseMove(int x, int y) {
    mousePos_ = {x, y};
    const bool vertical = kind_ == sbVertical;
    if (Dragging()) {
        const TRect zone = vertical ? TRect{-kZoneAcross, -kZoneAlong, Width() + kZoneAcross, Height() + kZoneAlong}
                                    : TRect{-kZoneAlong, -kZoneAcross, Width() + kZoneAlong, Height() + kZoneAcross};
        const bool inside = x >= zone.Left && x < zone.Right && y >= zone.Top && y < zone.Bottom;
        TlfScrollBarViewInfo& v = *viewInfo_;
        if (UnlimitedTracking || inside) {
            const int32_t trackStart = vertical ? v.TopLeftArrowRect.Bottom : v.TopLeftArrowRect.Right;
            const int32_t trackEnd = vertical ? v.BottomRightArrowRect.Top : v.BottomRightArrowRect.Left;
            const int32_t length = vertical ? RectHeight(v.ThumbnailRect) : RectWidth(v.ThumbnailRect);
            const int32_t moved = vertical ? saveThumbnailPos_.Y + (y - downMousePos_.Y) : saveThumbnailPos_.X + (x - downMousePos_.X);
            const int32_t start = std::clamp(moved, trackStart, std::max(trackStart, trackEnd - length));
            v.ThumbnailRect = vertical ? TRect{0, start, Width(), start + length} : TRect{start, 0, start + length, Height()};
            v.CalculatePageRects();
            Invalidate();
            int position = PositionFromThumb();
            if (position != position_) {
                position_ = position;
                Scroll(scTrack, position);
            }
        } else {
            if (position_ != savePosition_) AssignScrollParams(min_, max_, savePosition_, pageSize_, true);
            else {
                v.ComputeThumbRect();
                Invalidate();
            }
            int position = position_;
            Scroll(scTrack, position);
        }
        return;
    }
    const TlfScrollBarPart part = GetScrollBarPart({x, y});
    if (IsRepeatPart(state_)) {
        const bool over = part == state_;
        if (over != timer_->Enabled()) {
            timer_->SetEnabled(over);
            Invalidate();
        }
    }
    if (part != hotPart_) {
        hotPart_ = part;
        if (Painter()->HotTrackedButtons() || state_ != partNone) Invalidate();
    }
}

void TlfScrollBar::MouseUp(int x, int y) {
    mousePos_ = {x, y};
    StopScrolling();
    hotPart_ = GetScrollBarPart({x, y});
    if (Painter()->HotTrackedButtons()) Invalidate();
}

void TlfScrollBar::StopScrolling() {
    if (state_ == partNone) return;
    if (Dragging()) {
        int position = PositionFromThumb();
        Scroll(scPosition, position);
        position = std::clamp(position, min_, max_);
        const bool moved = position_ != savePosition_;
        if (position != position_) AssignScrollParams(min_, max_, position, pageSize_, true);
        else if (moved) Changed();  // the drag moved the position: its listeners hear of it once
    }
    timer_->SetEnabled(false);
    timer_->SetInterval(kFirstDelay);
    state_ = hotPart_ = partNone;
    if (NativeWindow()) NativeWindow()->SetCapture(false);
    int position = position_;
    Scroll(scEndScroll, position);
    viewInfo_->ComputeThumbRect();
    Invalidate();
}

void TlfScrollBar::PaintToBitmap() {
    if (bitmap_.Width() != Width() || bitmap_.Height() != Height()) bitmap_.SetSize(Width(), Height());
    if (bitmap_.Empty()) return;
    TlfCanvas& canvas = bitmap_.lfCanvas();
    const TlfPainterClass painter = Painter();
    const bool horizontal = kind_ == sbHorizontal;
    const TlfScrollBarViewInfo& v = *viewInfo_;
    if (RectIsEmpty(v.ThumbnailRect)) {
        painter->PaintScrollBarArea(canvas, horizontal, TRect{0, 0, Width(), Height()}, partPageUp, esNormal);
    } else {
        painter->PaintScrollBarArea(canvas, horizontal, v.ThumbnailRect, partThumb, PartState(partThumb));
    }
    painter->PaintScrollBarArea(canvas, horizontal, v.TopLeftArrowRect, partLineUp, PartState(partLineUp));
    painter->PaintScrollBarArea(canvas, horizontal, v.BottomRightArrowRect, partLineDown, PartState(partLineDown));
    if (!RectIsEmpty(v.PageUpRect))
        painter->PaintScrollBarArea(canvas, horizontal, v.PageUpRect, partPageUp, PartState(partPageUp));
    if (!RectIsEmpty(v.PageDownRect))
        painter->PaintScrollBarArea(canvas, horizontal, v.PageDownRect, partPageDown, PartState(partPageDown));
}

void TlfScrollBar::Paint() {
    PaintToBitmap();
    TBitmap* surface = PaintSurface();
    if (!surface || bitmap_.Empty()) return;
    TCanvas canvas(*surface);
    canvas.CopyRect(TRect{0, 0, Width(), Height()}, bitmap_, TRect{0, 0, Width(), Height()});
}
