// Forms and the hint window. A form is a top-level window with a caption
// (its title), an optional main menu, key preview, and a modal loop; closing
// the main form ends the program. The hint window is a small top-level
// surface that shows a control's short hint near the mouse.
#pragma once

#include <functional>

#include "platform/colour.h"
#include "platform/ui/control.h"

class TMainMenu;
class TMenuItem;

enum class TCloseAction : uint8_t { caNone, caHide, caFree, caMinimize };
using TCloseEvent = std::function<void(TComponent* sender, TCloseAction& action)>;
using TCloseQueryEvent = std::function<void(TComponent* sender, bool& canClose)>;

// Modal results.
constexpr int mrNone = 0;
constexpr int mrOk = 1;
constexpr int mrCancel = 2;

class TCustomForm : public TWinControl {
public:
    explicit TCustomForm(TComponent* owner);
    ~TCustomForm() override;

    // The form's client colour (a TColor, system colours allowed).
    TColor Color;
    // Keys go to the form's OnKeyDown and OnKeyPress before the focused
    // control; a key zeroed there never reaches it.
    bool KeyPreview = false;

    TMainMenu* Menu() const { return menu_; }
    void SetMenu(TMainMenu* menu);

    void Show();
    void Hide() { SetVisible(false); }
    // Shows the form modally: returns its ModalResult once a handler sets it
    // (or the form is closed, which gives mrCancel).
    int ShowModal();
    int ModalResult = mrNone;
    // Asks OnCloseQuery, then OnClose decides: hide (the default), free or
    // nothing. Closing the main form ends the program.
    void Close();
    TCloseEvent OnClose;
    TCloseQueryEvent OnCloseQuery;
    TNotifyEvent OnShow;

    // The menu item with the command number, in the main menu.
    TMenuItem* FindMenuItem(uint32_t command) const;

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;
    void PaintWindow(TBitmap& surface) override;
    bool PreviewKeyDown(uint16_t& key, TShiftState shift) override;
    bool PreviewKeyPress(char16_t& key) override;
    void Notification(TComponent* component, TOperation operation) override;

private:
    TMainMenu* menu_ = nullptr;
    bool modal_ = false;
};

class TForm : public TCustomForm {
public:
    using TCustomForm::TCustomForm;
};

// The form a control sits on, or nullptr.
TCustomForm* GetParentForm(TControl* control);

class THintWindow : public TCustomControl {
public:
    explicit THintWindow(TComponent* owner);
    TColor Color;
    // Shows the window at rect (screen) with the hint text.
    virtual void ActivateHint(const TRect& rect, const std::string& hint);
    virtual void ActivateHintData(const TRect& rect, const std::string& hint, void* data) { ActivateHint(rect, hint); }
    // The size the hint needs, wrapped at maxWidth: (0, 0, width, height).
    virtual TRect CalcHintRect(int32_t maxWidth, const std::string& hint, void* data);
    void ReleaseHandle() { DestroyHandle(); }

protected:
    void CreateParams(TCreateParams& params) override;
    void Paint() override;
};

// The font and colours of hints: the platform's tool-tip look.
constexpr TColor clInfoBk = 0xE1FFFF;  // pale yellow, red in the low byte
constexpr TColor clInfoText = 0x000000;
