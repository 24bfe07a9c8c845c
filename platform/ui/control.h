// Controls: a rectangle in a parent, messages dispatched by number to
// handlers each class adds over its base's, invalidation and painting, and
// (for windowed controls) a native window from the running platform plugin
// with its scroll bars. A control without a parent window has no native
// window and is never laid out or painted, but everything else about it
// works.
#pragma once

#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

#include <string>

#include "platform/bitmap.h"
#include "platform/geometry.h"
#include "platform/ui/backend.h"
#include "platform/ui/component.h"
#include "platform/ui/messages.h"

class TWinControl;
class TCanvas;
class TBasicAction;
class TActionLink;

using TMessageHandler = std::function<void(TMessage&)>;
// A key handler may change the key or zero it, which swallows it.
using TKeyEvent = std::function<void(TComponent* sender, uint16_t& key, TShiftState shift)>;
using TKeyPressEvent = std::function<void(TComponent* sender, char16_t& key)>;

// Where a control sits in its parent when the parent is resized.
enum class TAlign : uint8_t { alNone, alTop, alBottom, alLeft, alRight, alClient };

class TControl : public TComponent {
public:
    explicit TControl(TComponent* owner);
    ~TControl() override;

    int32_t Left() const { return left_; }
    int32_t Top() const { return top_; }
    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    TRect BoundsRect() const { return {left_, top_, left_ + width_, top_ + height_}; }
    virtual void SetBounds(int32_t left, int32_t top, int32_t width, int32_t height);
    void SetWidth(int32_t width) { SetBounds(left_, top_, width, height_); }
    void SetHeight(int32_t height) { SetBounds(left_, top_, width_, height); }
    virtual int32_t ClientWidth() { return width_; }
    virtual int32_t ClientHeight() { return height_; }

    TWinControl* Parent() const { return parent_; }
    virtual void SetParent(TWinControl* parent);
    bool Visible() const { return visible_; }
    void SetVisible(bool visible);
    bool Enabled() const { return enabled_; }
    virtual void SetEnabled(bool enabled);
    TCursor Cursor() const { return cursor_; }
    virtual void SetCursor(TCursor cursor) { cursor_ = cursor; }
    TAlign Align() const { return align_; }
    void SetAlign(TAlign align);

    // The caption (or text) in the system code page, as the toolkit's own
    // code reads and writes it. A windowed control with a window keeps it
    // in the window (wide), so this is the window text converted.
    virtual std::string GetText() const { return text_; }
    virtual void SetText(const std::string& text);
    std::string Caption() const { return GetText(); }
    void SetCaption(const std::string& text) { SetText(text); }

    // The hint: a short part shown in the hint window and a long part for
    // the status line, separated by "|".
    std::string Hint;
    bool ShowHint = true;

    // The action whose caption, hint, enabled state and execution the
    // control takes (nullptr: none).
    TBasicAction* Action() const;
    void SetAction(TBasicAction* action);
    TActionLink* ActionLink() const { return actionLink_.get(); }
    // Runs OnClick, or the action when there is no OnClick.
    virtual void Click();

    // Sends a message to this control now and returns its result.
    intptr_t Perform(uint32_t msg, intptr_t wParam = 0, intptr_t lParam = 0);
    virtual void WndProc(TMessage& message);
    // The handler of the message's number, else DefaultHandler.
    void Dispatch(TMessage& message);
    virtual void DefaultHandler(TMessage&) {}

    // Marks the control for repainting; the next pass of the message loop
    // (or Update) paints it.
    virtual void Invalidate();
    // Paints what is invalid now.
    virtual void Update();
    void Repaint() {
        Invalidate();
        Update();
    }

    TNotifyEvent OnClick;

    // The top-left corner of the client area on the screen.
    virtual TPoint ClientOrigin() const;

    // The dock site the control is docked into, or nullptr.
    TWinControl* HostDockSite() const { return hostDockSite_; }
    // Docks the control into a dock site (which places it), or with nullptr
    // takes it out of its site again (a form floats as a window of its own);
    // false when the site refuses it.
    bool ManualDock(TWinControl* site);

protected:
    // The link class of this control's clients of actions.
    virtual std::unique_ptr<TActionLink> CreateActionLink();
    // Takes the action's caption, hint and enabled state; with checkDefaults
    // only where the control still has its own defaults.
    virtual void ActionChange(TBasicAction* sender, bool checkDefaults);
    void Notification(TComponent* component, TOperation operation) override;

    // Adds the handler of one message number over the one this control had
    // (its base class's); the handler may call that one through inherited.
    using TChainedHandler = std::function<void(TMessage& message, const TMessageHandler& inherited)>;
    void HandleMessage(uint32_t msg, TChainedHandler handler);

    std::string text_;

private:
    friend class TWinControl;
    friend class TActionLink;
    std::unordered_map<uint32_t, TMessageHandler> handlers_;
    TWinControl* parent_ = nullptr;
    int32_t left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    bool visible_ = true;
    bool enabled_ = true;
    TCursor cursor_ = crDefault;
    TAlign align_ = TAlign::alNone;
    std::unique_ptr<TActionLink> actionLink_;
    TWinControl* hostDockSite_ = nullptr;
};

// A control without a window of its own: it paints onto its parent's
// surface, after the parent and in the order of the parent's controls.
class TGraphicControl : public TControl {
public:
    explicit TGraphicControl(TComponent* owner) : TControl(owner) {}
    // Draws on a canvas of the control's size whose pixels start as the
    // parent's beneath it.
    virtual void Paint(TCanvas& canvas) {}
};

// Window styles a windowed control asks for.
constexpr uint32_t WS_POPUP = 0x80000000;
constexpr uint32_t WS_CHILD = 0x40000000;
constexpr uint32_t WS_CAPTION = 0x00C00000;
constexpr uint32_t WS_BORDER = 0x00800000;
// The window may show scroll bars.
constexpr uint32_t WS_VSCROLL = 0x00200000;
constexpr uint32_t WS_HSCROLL = 0x00100000;
constexpr uint32_t WS_EX_TOOLWINDOW = 0x00000080;
constexpr uint32_t WS_EX_TOPMOST = 0x00000008;
constexpr uint32_t WS_EX_CLIENTEDGE = 0x00000200;
constexpr uint32_t CS_VREDRAW = 0x0001;
constexpr uint32_t CS_HREDRAW = 0x0002;
// Button styles.
constexpr uint32_t BS_PUSHBUTTON = 0x0;
constexpr uint32_t BS_AUTOCHECKBOX = 0x3;
constexpr uint32_t BS_AUTORADIOBUTTON = 0x9;
constexpr uint32_t BS_GROUPBOX = 0x7;
// Edit styles.
constexpr uint32_t ES_MULTILINE = 0x4;
constexpr uint32_t ES_READONLY = 0x800;

struct TCreateParams {
    uint32_t Style = 0;
    uint32_t ExStyle = 0;
    uint32_t ClassStyle = CS_HREDRAW | CS_VREDRAW;
    // The window class: a standard control's system class ("EDIT",
    // "BUTTON", ...) becomes the platform's widget for it; any other name
    // (the control's class by default) is a surface the control paints.
    std::string WinClassName;
};

class TWinControl : public TControl {
public:
    explicit TWinControl(TComponent* owner);
    ~TWinControl() override;

    int ControlCount() const { return static_cast<int>(controls_.size()); }
    TControl* Controls(int index) const { return controls_.at(static_cast<size_t>(index)); }

    // A native window exists (the control has one once it has a parent
    // window, or once a top-level control is shown or asked for its handle).
    bool HandleAllocated() const { return handle_ != 0; }
    // Creates the native window when missing.
    HWND Handle();
    TNativeWindow* NativeWindow() const { return native_.get(); }
    void DestroyHandle();
    // Creates the native window again with fresh create parameters.
    void RecreateWnd();
    const TCreateParams& Params() const { return params_; }

    void SetBounds(int32_t left, int32_t top, int32_t width, int32_t height) override;
    void SetParent(TWinControl* parent) override;
    void SetCursor(TCursor cursor) override;
    void SetEnabled(bool enabled) override;
    std::string GetText() const override;
    void SetText(const std::string& text) override;
    TPoint ClientOrigin() const override;

    // Keyboard focus.
    void SetFocus();
    bool Focused() const;
    // Visible and enabled, and so is every parent up to the top.
    bool CanFocus() const;
    // Sends the message to each child in turn until one answers nonzero.
    void Broadcast(TMessage& message);
    // Takes a control into this dock site (answering CM_DOCKCLIENT).
    bool DockSite = false;
    // Key input as the platform delivers it: the form (with KeyPreview) and
    // then the control hear it first; true when one of them swallowed it.
    // A character handler may also replace the character.
    bool DoKeyDown(uint16_t& key, TShiftState shift);
    bool DoKeyPress(char16_t& key);
    TKeyEvent OnKeyDown;
    TKeyPressEvent OnKeyPress;
    // Lays out the aligned controls in the client area.
    void AlignControls();
    int32_t ClientWidth() override;
    int32_t ClientHeight() override;
    // The width of the border on each side, from the create parameters.
    int32_t BorderWidth() const;

    // Scroll bars. Showing or hiding one changes the client area (and sends
    // WM_SIZE). Range and position are kept also while hidden.
    struct TScrollInfo {
        int Min = 0, Max = 100, Page = 0, Position = 0;
        bool Shown = false, Enabled = true;
    };
    void SetScrollInfo(int bar, int min, int max, int page, int position, bool redraw = true);
    void SetScrollPos(int bar, int position, bool redraw = true);
    const TScrollInfo& GetScrollInfo(int bar) const { return bars_[bar == SB_HORZ ? 0 : 1]; }
    void ShowScrollBar(int bar, bool show);
    void EnableScrollBar(int bar, int arrows);

    void Invalidate() override;
    void InvalidateRect(const TRect& area);
    void Update() override;
    // Paints the client area with its graphic controls (not its windowed
    // children) onto the canvas, its top-left corner at (x, y), as its own
    // paint does; PaintingCopy holds meanwhile.
    void PaintTo(TCanvas& canvas, int32_t x, int32_t y);
    bool PaintingCopy() const { return paintingCopy_; }
    bool NeedsPaint() const { return dirty_; }
    // The deepest visible child window at a client point, or this one; the
    // point becomes that control's client point.
    TWinControl* ControlAtPos(int& x, int& y);

protected:
    virtual void CreateParams(TCreateParams& params) {}
    virtual void CreateWnd();
    // The native window is about to go (while the control stays, its text
    // is kept for the next window).
    virtual void DestroyWnd();
    // The top-level control previews keys of its children (a form with
    // KeyPreview); true swallows the key.
    virtual bool PreviewKeyDown(uint16_t& key, TShiftState shift) { return false; }
    virtual bool PreviewKeyPress(char16_t& key) { return false; }
    // The size changed: aligned children are laid out again, WM_SIZE sent.
    void Resized();
    // Painting of the client area onto the native surface.
    virtual void PaintWindow(TBitmap& surface) {}
    // The surface has the screen's density (its device pixel ratio); a
    // control that writes the surface's pixels itself, rather than through a
    // canvas, answers false and is shown scaled.
    virtual bool HighDensitySurface() const { return true; }
    // The part of the client area the running paint redraws.
    const TRect& PaintRect() const { return dirtyRect_; }

private:
    friend class TControl;
    void InsertControl(TControl* control);
    void RemoveControl(TControl* control);
    void PaintGraphicControls(TBitmap& surface);
    void UpdateBars();
    std::vector<TControl*> controls_;
    std::unique_ptr<TNativeWindow> native_;
    HWND handle_ = 0;
    TCreateParams params_;
    TScrollInfo bars_[2];
    bool dirty_ = false;
    bool paintingCopy_ = false;
    TRect dirtyRect_{};
};

// A windowed control that paints itself: Paint draws on the surface.
class TCustomControl : public TWinControl {
public:
    explicit TCustomControl(TComponent* owner) : TWinControl(owner) {}

protected:
    virtual void Paint() {}
    // The surface while Paint runs, else nullptr.
    TBitmap* PaintSurface() const { return surface_; }
    void PaintWindow(TBitmap& surface) override;

private:
    TBitmap* surface_ = nullptr;
};
