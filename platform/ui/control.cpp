#include "platform/ui/control.h"

#include <algorithm>
#include <cmath>

#include "platform/canvas.h"
#include "platform/codepage.h"
#include "platform/ui/actions.h"
#include "platform/ui/application.h"

// ---------------------------------------------------------------- TControl

TControl::TControl(TComponent* owner) : TComponent(owner) {
    HandleMessage(CM_HINTSHOW, [this](TMessage& m, const TMessageHandler& inherited) {
        auto* info = reinterpret_cast<THintInfo*>(m.LParam);
        auto* action = actionLink_ ? dynamic_cast<TCustomAction*>(actionLink_->Action()) : nullptr;
        if (info && action && Application().HintShortCuts && action->ShortCut() != scNone && !info->HintStr.empty())
            info->HintStr += " (" + ShortCutToText(action->ShortCut()) + ")";
        inherited(m);
    });
    // A docked control tells its site of a new caption.
    HandleMessage(CM_TEXTCHANGED, [this](TMessage& m, const TMessageHandler& inherited) {
        inherited(m);
        if (hostDockSite_) hostDockSite_->Perform(CM_DOCKNOTIFICATION, reinterpret_cast<intptr_t>(this),
                                                   reinterpret_cast<intptr_t>(&m));
    });
}

TControl::~TControl() {
    actionLink_.reset();
    Application().ForgetControl(*this);
    if (parent_) parent_->RemoveControl(this);
    // The site lets go of what it made for the control.
    if (TWinControl* site = hostDockSite_) {
        hostDockSite_ = nullptr;
        site->RemoveFreeNotification(this);
        site->Perform(CM_UNDOCKCLIENT, reinterpret_cast<intptr_t>(this), 0);
    }
}

bool TControl::ManualDock(TWinControl* site) {
    if (site == hostDockSite_) return true;
    if (TWinControl* old = hostDockSite_) {
        hostDockSite_ = nullptr;
        old->RemoveFreeNotification(this);
        SetParent(nullptr);
        old->Perform(CM_UNDOCKCLIENT, reinterpret_cast<intptr_t>(this), 0);
    }
    if (!site) {
        // A shown window floats on its own again.
        if (auto* windowed = dynamic_cast<TWinControl*>(this); windowed && Visible()) windowed->Handle();
        return true;
    }
    if (site->Perform(CM_DOCKCLIENT, reinterpret_cast<intptr_t>(this), 0) == 0) return false;
    hostDockSite_ = site;
    site->FreeNotification(this);
    return true;
}

void TControl::SetEnabled(bool enabled) {
    if (enabled_ == enabled) return;
    enabled_ = enabled;
    Perform(CM_ENABLEDCHANGED);
    Invalidate();
}

void TControl::SetAlign(TAlign align) {
    if (align_ == align) return;
    align_ = align;
    if (parent_) parent_->AlignControls();
}

void TControl::SetText(const std::string& text) {
    if (GetText() == text) return;
    text_ = text;
    Perform(CM_TEXTCHANGED);
    Invalidate();
}

TBasicAction* TControl::Action() const { return actionLink_ ? actionLink_->Action() : nullptr; }

void TControl::SetAction(TBasicAction* action) {
    if (LinkClientToAction(*this, actionLink_, action, [this] { return CreateActionLink(); })) ActionChange(action, false);
}

std::unique_ptr<TActionLink> TControl::CreateActionLink() { return std::make_unique<TActionLink>(this); }

void TControl::ActionChange(TBasicAction* sender, bool checkDefaults) {
    auto* action = dynamic_cast<TCustomAction*>(sender);
    if (!action) return;
    if (!checkDefaults || Caption().empty() || Caption() == Name) SetCaption(action->Caption());
    if (!checkDefaults || Hint.empty()) Hint = action->Hint();
    if (!checkDefaults || Enabled()) SetEnabled(action->Enabled());
}

void TControl::Notification(TComponent* component, TOperation operation) {
    TComponent::Notification(component, operation);
    if (operation == TOperation::opRemove && actionLink_ && component == actionLink_->Action()) actionLink_.reset();
    if (operation == TOperation::opRemove && component == hostDockSite_) hostDockSite_ = nullptr;
}

void TControl::Click() {
    if (OnClick) {
        OnClick(this);
    } else if (actionLink_) {
        actionLink_->Execute();
    }
}

TPoint TControl::ClientOrigin() const {
    if (!parent_) return {left_, top_};
    TPoint origin = parent_->ClientOrigin();
    return {origin.X + left_, origin.Y + top_};
}

void TControl::SetBounds(int32_t left, int32_t top, int32_t width, int32_t height) {
    left_ = left;
    top_ = top;
    width_ = std::max(width, 0);
    height_ = std::max(height, 0);
}

void TControl::SetParent(TWinControl* parent) {
    if (parent == parent_) return;
    if (parent_) parent_->RemoveControl(this);
    parent_ = nullptr;
    if (parent) parent->InsertControl(this);
}

void TControl::SetVisible(bool visible) {
    if (visible_ == visible) return;
    visible_ = visible;
    if (auto* self = dynamic_cast<TWinControl*>(this); self && self->NativeWindow())
        self->NativeWindow()->SetVisible(visible);
    if (parent_) parent_->Invalidate();
}

intptr_t TControl::Perform(uint32_t msg, intptr_t wParam, intptr_t lParam) {
    TMessage message{msg, wParam, lParam, 0};
    WndProc(message);
    return message.Result;
}

void TControl::WndProc(TMessage& message) { Dispatch(message); }

void TControl::Dispatch(TMessage& message) {
    auto at = handlers_.find(message.Msg);
    if (at != handlers_.end()) {
        at->second(message);
    } else {
        DefaultHandler(message);
    }
}

void TControl::HandleMessage(uint32_t msg, TChainedHandler handler) {
    TMessageHandler inherited;
    if (auto at = handlers_.find(msg); at != handlers_.end()) {
        inherited = std::move(at->second);
    } else {
        inherited = [this](TMessage& message) { DefaultHandler(message); };
    }
    handlers_[msg] = [handler = std::move(handler), inherited = std::move(inherited)](TMessage& message) {
        handler(message, inherited);
    };
}

void TControl::Invalidate() {
    if (parent_) parent_->InvalidateRect(BoundsRect());
}

void TControl::Update() {
    if (parent_) parent_->Update();
}

void TWinControl::SetEnabled(bool enabled) {
    if (native_) native_->SetEnabled(enabled);
    TControl::SetEnabled(enabled);
}

std::string TWinControl::GetText() const { return native_ ? WideToAnsi(native_->Text()) : text_; }

void TWinControl::SetText(const std::string& text) {
    if (GetText() == text) return;
    text_ = text;
    if (native_) native_->SetText(AnsiToWide(text));
    Perform(CM_TEXTCHANGED);
    Invalidate();
}

TPoint TWinControl::ClientOrigin() const {
    const int32_t border = BorderWidth();
    if (native_ && !Parent()) return native_->ClientToScreen({border, border});
    TPoint origin = TControl::ClientOrigin();
    return {origin.X + border, origin.Y + border + (native_ ? native_->NonClientTop() : 0)};
}

void TWinControl::SetFocus() {
    if (native_) native_->SetFocus();
}

bool TWinControl::Focused() const { return native_ && native_->Focused(); }

bool TWinControl::CanFocus() const {
    for (const TControl* at = this; at; at = at->Parent())
        if (!at->Visible() || !at->Enabled()) return false;
    return true;
}

void TWinControl::Broadcast(TMessage& message) {
    for (size_t i = 0; i < controls_.size(); ++i) {
        controls_[i]->WndProc(message);
        if (message.Result != 0) return;
    }
}

namespace {
TWinControl* TopLevelOf(TWinControl* control) {
    while (control->Parent()) control = control->Parent();
    return control;
}
}  // namespace

bool TWinControl::DoKeyDown(uint16_t& key, TShiftState shift) {
    TWinControl* top = TopLevelOf(this);
    if (top != this && top->PreviewKeyDown(key, shift)) return true;
    if (key == 0) return true;
    if (OnKeyDown) OnKeyDown(this, key, shift);
    return key == 0;
}

bool TWinControl::DoKeyPress(char16_t& key) {
    TWinControl* top = TopLevelOf(this);
    if (top != this && top->PreviewKeyPress(key)) return true;
    if (key == 0) return true;
    if (OnKeyPress) OnKeyPress(this, key);
    return key == 0;
}

void TWinControl::AlignControls() {
    TRect rest{0, 0, ClientWidth(), ClientHeight()};
    for (TAlign pass : {TAlign::alTop, TAlign::alBottom, TAlign::alLeft, TAlign::alRight, TAlign::alClient}) {
        for (TControl* child : controls_) {
            if (child->Align() != pass || !child->Visible()) continue;
            const int32_t w = child->Width(), h = child->Height();
            switch (pass) {
                case TAlign::alTop:
                    child->SetBounds(rest.Left, rest.Top, rest.Right - rest.Left, h);
                    rest.Top += h;
                    break;
                case TAlign::alBottom:
                    child->SetBounds(rest.Left, rest.Bottom - h, rest.Right - rest.Left, h);
                    rest.Bottom -= h;
                    break;
                case TAlign::alLeft:
                    child->SetBounds(rest.Left, rest.Top, w, rest.Bottom - rest.Top);
                    rest.Left += w;
                    break;
                case TAlign::alRight:
                    child->SetBounds(rest.Right - w, rest.Top, w, rest.Bottom - rest.Top);
                    rest.Right -= w;
                    break;
                default:
                    child->SetBounds(rest.Left, rest.Top, rest.Right - rest.Left, rest.Bottom - rest.Top);
                    break;
            }
        }
    }
}

// ---------------------------------------------------------------- TWinControl

TWinControl::TWinControl(TComponent* owner) : TControl(owner) {
    // Keys from the platform: Result 1 tells it the key was swallowed; a
    // character handler may also have replaced the character.
    HandleMessage(WM_KEYDOWN, [this](TMessage& m, const TMessageHandler& inherited) {
        auto key = static_cast<uint16_t>(m.WParam);
        if (DoKeyDown(key, static_cast<TShiftState>(m.LParam))) {
            m.Result = 1;
            return;
        }
        m.WParam = key;
        inherited(m);
    });
    HandleMessage(WM_CHAR, [this](TMessage& m, const TMessageHandler& inherited) {
        auto key = static_cast<char16_t>(m.WParam);
        if (DoKeyPress(key)) {
            m.Result = 1;
            return;
        }
        m.WParam = key;
        // A character typed with Alt is an accelerator when a control of
        // the form has it in its caption.
        const auto shift = static_cast<TShiftState>(m.LParam);
        if ((shift & ssAlt) && !(shift & ssCtrl) && TopLevelOf(this)->Perform(CM_DIALOGCHAR, key, 0) != 0) {
            m.Result = 1;
            return;
        }
        inherited(m);
    });
    // Accelerators go round the children until one takes it.
    HandleMessage(CM_DIALOGCHAR, [this](TMessage& m, const TMessageHandler&) { Broadcast(m); });
    // A plain dock site takes a control in as a child.
    HandleMessage(CM_DOCKCLIENT, [this](TMessage& m, const TMessageHandler& inherited) {
        if (!DockSite || !m.WParam) return inherited(m);
        reinterpret_cast<TControl*>(m.WParam)->SetParent(this);
        m.Result = 1;
    });
}

TWinControl::~TWinControl() {
    // Children that outlive their parent window lose it, not their memory;
    // the handlers of the classes above are gone, so they hear nothing of it.
    SetState(csDestroying, true);
    while (!controls_.empty()) controls_.back()->SetParent(nullptr);
    DestroyHandle();
}

void TWinControl::InsertControl(TControl* control) {
    controls_.push_back(control);
    control->parent_ = this;
    if (auto* win = dynamic_cast<TWinControl*>(control); win && HandleAllocated()) win->Handle();
    Perform(CM_CONTROLCHANGE, reinterpret_cast<intptr_t>(control), 1);
    Invalidate();
}

void TWinControl::RemoveControl(TControl* control) {
    controls_.erase(std::remove(controls_.begin(), controls_.end(), control), controls_.end());
    control->parent_ = nullptr;
    if (auto* win = dynamic_cast<TWinControl*>(control)) win->DestroyHandle();
    if (!HasState(csDestroying)) Perform(CM_CONTROLCHANGE, reinterpret_cast<intptr_t>(control), 0);
    Invalidate();
}

HWND TWinControl::Handle() {
    if (!handle_) CreateWnd();
    return handle_;
}

void TWinControl::CreateWnd() {
    params_ = TCreateParams{};
    CreateParams(params_);
    if (params_.WinClassName.empty()) params_.WinClassName = "TWinControl";
    TNativeWindow* parentWindow = nullptr;
    if (Parent()) {
        Parent()->Handle();
        parentWindow = Parent()->NativeWindow();
    }
    native_ = Application().Backend().CreateNativeWindow(*this, parentWindow);
    handle_ = Application().RegisterWindow(*this);
    native_->SetBounds(BoundsRect());
    native_->SetVisible(Visible());
    native_->SetCursor(Cursor());
    native_->SetText(AnsiToWide(text_));
    if (!Enabled()) native_->SetEnabled(false);
    UpdateBars();
    for (TControl* child : controls_)
        if (auto* win = dynamic_cast<TWinControl*>(child)) win->Handle();
    Perform(WM_CREATE);
    dirty_ = true;
    dirtyRect_ = {0, 0, ClientWidth(), ClientHeight()};
    AlignControls();
    Application().Backend().Wake();
}

void TWinControl::DestroyWnd() {
    if (native_) text_ = WideToAnsi(native_->Text());
}

void TWinControl::DestroyHandle() {
    if (!handle_) return;
    for (TControl* child : controls_)
        if (auto* win = dynamic_cast<TWinControl*>(child)) win->DestroyHandle();
    Perform(WM_DESTROY);
    DestroyWnd();
    Application().UnregisterWindow(handle_);
    handle_ = 0;
    native_.reset();
    dirty_ = false;
}

void TWinControl::RecreateWnd() {
    if (!handle_) return;
    DestroyHandle();
    CreateWnd();
}

int32_t TWinControl::BorderWidth() const {
    int32_t styled = 0;
    if (params_.ExStyle & WS_EX_CLIENTEDGE) styled = Application().Backend().GetSystemMetric(SM_CXEDGE);
    else if (params_.Style & WS_BORDER) styled = Application().Backend().GetSystemMetric(SM_CXBORDER);
    return native_ ? native_->BorderWidth(styled) : styled;
}

int32_t TWinControl::ClientWidth() {
    int32_t width = Width() - 2 * BorderWidth();
    if (bars_[1].Shown) width -= Application().Backend().GetSystemMetric(SM_CXVSCROLL);
    return std::max(width, 0);
}

int32_t TWinControl::ClientHeight() {
    int32_t height = Height() - 2 * BorderWidth() - (native_ ? native_->NonClientTop() : 0);
    if (bars_[0].Shown) height -= Application().Backend().GetSystemMetric(SM_CYHSCROLL);
    return std::max(height, 0);
}

void TWinControl::SetBounds(int32_t left, int32_t top, int32_t width, int32_t height) {
    const bool resized = width != Width() || height != Height();
    TControl::SetBounds(left, top, width, height);
    if (native_) native_->SetBounds(BoundsRect());
    if (resized) Resized();
}

void TWinControl::Resized() {
    if (!handle_) return;
    // A window class that does not ask for a full repaint keeps what it
    // showed; the control repaints what it must itself.
    if (params_.ClassStyle & (CS_HREDRAW | CS_VREDRAW)) Invalidate();
    AlignControls();
    Perform(WM_SIZE, 0, MakeLParam(ClientWidth(), ClientHeight()));
}

void TWinControl::SetParent(TWinControl* parent) {
    if (parent == Parent()) return;
    DestroyHandle();
    TControl::SetParent(parent);
}

void TWinControl::SetCursor(TCursor cursor) {
    TControl::SetCursor(cursor);
    if (native_ && Application().MouseControl() == this) native_->SetCursor(cursor);
}

void TWinControl::UpdateBars() {
    if (!native_) return;
    for (int bar = 0; bar < 2; ++bar) {
        const TScrollInfo& b = bars_[bar];
        native_->SetScrollBar(bar, b.Shown, b.Enabled, b.Min, b.Max, b.Page, b.Position);
    }
}

void TWinControl::SetScrollInfo(int bar, int min, int max, int page, int position, bool redraw) {
    TScrollInfo& b = bars_[bar == SB_HORZ ? 0 : 1];
    b.Min = min;
    b.Max = std::max(max, min);
    b.Page = std::clamp(page, 0, b.Max - b.Min + 1);
    const int top = std::max(b.Min, b.Max - std::max(b.Page - 1, 0));
    b.Position = std::clamp(position, b.Min, top);
    if (redraw) UpdateBars();
}

void TWinControl::SetScrollPos(int bar, int position, bool redraw) {
    const TScrollInfo& b = GetScrollInfo(bar);
    SetScrollInfo(bar, b.Min, b.Max, b.Page, position, redraw);
}

void TWinControl::ShowScrollBar(int bar, bool show) {
    TScrollInfo& b = bars_[bar == SB_HORZ ? 0 : 1];
    if (b.Shown == show) return;
    b.Shown = show;
    UpdateBars();
    Resized();
}

void TWinControl::EnableScrollBar(int bar, int arrows) {
    bars_[bar == SB_HORZ ? 0 : 1].Enabled = arrows != ESB_DISABLE_BOTH;
    UpdateBars();
}

void TWinControl::Invalidate() { InvalidateRect({0, 0, ClientWidth(), ClientHeight()}); }

void TWinControl::InvalidateRect(const TRect& area) {
    if (!handle_) return;
    if (!dirty_) {
        dirtyRect_ = area;
    } else {
        dirtyRect_ = {std::min(dirtyRect_.Left, area.Left), std::min(dirtyRect_.Top, area.Top),
                      std::max(dirtyRect_.Right, area.Right), std::max(dirtyRect_.Bottom, area.Bottom)};
    }
    if (!dirty_) Application().Backend().Wake();
    dirty_ = true;
}

void TWinControl::Update() {
    if (!handle_ || !dirty_) return;
    dirty_ = false;
    TBitmap& surface = native_->Surface();
    // On a high-density screen the surface holds the screen's pixels: the
    // ratio rounded up to a whole number (the platform scales a fraction).
    const int32_t scale = HighDensitySurface() ? std::max(1, static_cast<int32_t>(std::ceil(native_->DevicePixelRatio() - 0.01)))
                                               : 1;
    if (surface.Width() != ClientWidth() * scale || surface.Height() != ClientHeight() * scale ||
        surface.DevicePixelRatio() != scale || surface.PixelFormat() != TPixelFormat::pf32bit) {
        surface.SetPixelFormat(TPixelFormat::pf32bit);
        surface.SetDevicePixelRatio(scale);
        surface.SetSize(ClientWidth() * scale, ClientHeight() * scale);
    }
    Perform(WM_PAINT);
    PaintWindow(surface);
    PaintGraphicControls(surface);
    native_->Present(dirtyRect_);
}

void TWinControl::PaintTo(TCanvas& canvas, int32_t x, int32_t y) {
    const int32_t w = ClientWidth(), h = ClientHeight();
    if (w <= 0 || h <= 0 || paintingCopy_) return;
    // The control paints a picture of its own at the canvas's density, as
    // if the whole client area were due; the canvas's clip cuts the copy.
    const int32_t scale = HighDensitySurface() ? canvas.Scale() : 1;
    TBitmap picture;
    picture.SetPixelFormat(TPixelFormat::pf32bit);
    picture.SetDevicePixelRatio(scale);
    picture.SetSize(w * scale, h * scale);
    const TRect keepRect = dirtyRect_;
    dirtyRect_ = {0, 0, w, h};
    paintingCopy_ = true;
    try {
        PaintWindow(picture);
        PaintGraphicControls(picture);
    } catch (...) {
        paintingCopy_ = false;
        dirtyRect_ = keepRect;
        throw;
    }
    paintingCopy_ = false;
    dirtyRect_ = keepRect;
    canvas.CopyRect({x, y, x + w, y + h}, picture, {0, 0, w, h});
}

TWinControl* TWinControl::ControlAtPos(int& x, int& y) {
    for (auto it = controls_.rbegin(); it != controls_.rend(); ++it) {
        auto* win = dynamic_cast<TWinControl*>(*it);
        if (!win || !win->Visible()) continue;
        if (x >= win->Left() && y >= win->Top() && x < win->Left() + win->Width() && y < win->Top() + win->Height()) {
            x -= win->Left() + win->BorderWidth();
            y -= win->Top() + win->BorderWidth();
            return win->ControlAtPos(x, y);
        }
    }
    return this;
}

// ---------------------------------------------------------------- TCustomControl

void TCustomControl::PaintWindow(TBitmap& surface) {
    surface_ = &surface;
    try {
        Paint();
    } catch (...) {
        surface_ = nullptr;
        throw;
    }
    surface_ = nullptr;
}

void TWinControl::PaintGraphicControls(TBitmap& surface) {
    for (TControl* child : controls_) {
        auto* graphic = dynamic_cast<TGraphicControl*>(child);
        if (!graphic || !graphic->Visible() || graphic->Width() <= 0 || graphic->Height() <= 0) continue;
        const TRect area = graphic->BoundsRect();
        TBitmap picture;
        picture.SetPixelFormat(TPixelFormat::pf32bit);
        picture.SetDevicePixelRatio(surface.DevicePixelRatio());
        picture.SetSize((area.Right - area.Left) * surface.DevicePixelRatio(),
                        (area.Bottom - area.Top) * surface.DevicePixelRatio());
        const TRect whole{0, 0, area.Right - area.Left, area.Bottom - area.Top};
        TCanvas pictureCanvas(picture);
        pictureCanvas.CopyRect(whole, surface, area);
        graphic->Paint(pictureCanvas);
        TCanvas surfaceCanvas(surface);
        surfaceCanvas.CopyRect(area, picture, whole);
    }
}
