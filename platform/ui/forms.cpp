#include "platform/ui/forms.h"

#include "platform/canvas.h"
#include "platform/codepage.h"
#include "platform/errors.h"
#include "platform/ui/application.h"
#include "platform/ui/menus.h"

namespace {
constexpr TColor clBtnFace = static_cast<TColor>(0x8000000F);
}

TCustomForm* GetParentForm(TControl* control) {
    TControl* top = control;
    while (top && top->Parent()) top = top->Parent();
    return dynamic_cast<TCustomForm*>(top);
}

// ---------------------------------------------------------------- TCustomForm

TCustomForm::TCustomForm(TComponent* owner) : TWinControl(owner), Color(clBtnFace) {
    SetVisible(false);
    SetBounds(0, 0, 640, 480);
    // The status line and the whole toolkit take the long hint of the menu
    // item under the mouse from here.
    HandleMessage(WM_MENUSELECT, [this](TMessage& m, const TMessageHandler&) {
        TMenuItem* item = nullptr;
        if (HiWord(m.WParam) != 0xFFFF) item = FindMenuItem(static_cast<uint32_t>(m.LParam));
        Application().SetHint(item ? GetLongHint(item->Hint()) : "");
    });
    HandleMessage(WM_CLOSE, [this](TMessage&, const TMessageHandler&) { Close(); });
}

TCustomForm::~TCustomForm() {
    if (menu_) menu_->OnNativeChange = nullptr;
    if (Application().MainForm == this) Application().MainForm = nullptr;
}

void TCustomForm::CreateParams(TCreateParams& params) {
    params.Style |= WS_CAPTION;
    params.WinClassName = "TForm";
}

void TCustomForm::CreateWnd() {
    TWinControl::CreateWnd();
    if (menu_) {
        // The menu bar takes rows from the client area laid out above.
        NativeWindow()->SetMenu(menu_);
        Resized();
    }
}

void TCustomForm::SetMenu(TMainMenu* menu) {
    if (menu_ == menu) return;
    if (menu_) {
        menu_->OnNativeChange = nullptr;
        menu_->SetWindow(nullptr);
        menu_->RemoveFreeNotification(this);
    }
    menu_ = menu;
    if (menu_) {
        menu_->FreeNotification(this);
        menu_->SetWindow(this);
        menu_->OnNativeChange = [this] {
            if (NativeWindow()) NativeWindow()->MenuChanged();
        };
    }
    if (NativeWindow()) {
        NativeWindow()->SetMenu(menu_);
        Resized();
    }
}

void TCustomForm::Notification(TComponent* component, TOperation operation) {
    TWinControl::Notification(component, operation);
    if (operation == TOperation::opRemove && component == menu_) {
        menu_ = nullptr;
        if (NativeWindow()) NativeWindow()->SetMenu(nullptr);
    }
}

TMenuItem* TCustomForm::FindMenuItem(uint32_t command) const {
    return menu_ ? menu_->Items()->Find(command) : nullptr;
}

void TCustomForm::Show() {
    if (!Application().MainForm) Application().MainForm = this;
    Handle();
    SetVisible(true);
    if (OnShow) OnShow(this);
}

int TCustomForm::ShowModal() {
    if (modal_) throw Exception("Cannot make a visible window modal");
    ModalResult = mrNone;
    modal_ = true;
    Handle();
    NativeWindow()->SetModal(true);
    SetVisible(true);
    if (OnShow) OnShow(this);
    try {
        Application().RunUntil([this] { return ModalResult != mrNone || Application().Terminated(); });
    } catch (...) {
        modal_ = false;
        if (NativeWindow()) NativeWindow()->SetModal(false);
        SetVisible(false);
        throw;
    }
    modal_ = false;
    if (NativeWindow()) NativeWindow()->SetModal(false);
    SetVisible(false);
    return ModalResult;
}

void TCustomForm::Close() {
    bool canClose = true;
    if (OnCloseQuery) OnCloseQuery(this, canClose);
    if (!canClose) return;
    if (modal_) {
        // A modal form closes by giving its result.
        if (ModalResult == mrNone) ModalResult = mrCancel;
        return;
    }
    TCloseAction action = TCloseAction::caHide;
    if (OnClose) OnClose(this, action);
    if (action == TCloseAction::caNone) return;
    if (Application().MainForm == this) {
        Application().Terminate();
        return;
    }
    Hide();
}

void TCustomForm::PaintWindow(TBitmap& surface) {
    TCanvas canvas(surface);
    canvas.Brush.Color = static_cast<uint32_t>(ColorToRGB(Color));
    canvas.FillRect({0, 0, surface.Width(), surface.Height()});
}

bool TCustomForm::PreviewKeyDown(uint16_t& key, TShiftState shift) {
    if (!KeyPreview || !OnKeyDown) return false;
    OnKeyDown(this, key, shift);
    return key == 0;
}

bool TCustomForm::PreviewKeyPress(char16_t& key) {
    if (!KeyPreview || !OnKeyPress) return false;
    OnKeyPress(this, key);
    return key == 0;
}

// ---------------------------------------------------------------- THintWindow

THintWindow::THintWindow(TComponent* owner) : TCustomControl(owner), Color(clInfoBk) { SetVisible(false); }

void THintWindow::CreateParams(TCreateParams& params) {
    params.Style |= WS_POPUP;
    params.ExStyle |= WS_EX_TOOLWINDOW | WS_EX_TOPMOST;
    params.WinClassName = "THintWindow";
}

TRect THintWindow::CalcHintRect(int32_t maxWidth, const std::string& hint, void*) {
    TBitmap scratch;
    TCanvas canvas(scratch);
    const TSize extent = canvas.TextExtent(AnsiToWide(hint));
    return {0, 0, std::min(extent.cx, maxWidth) + 6, extent.cy + 2};
}

void THintWindow::ActivateHint(const TRect& rect, const std::string& hint) {
    SetCaption(hint);
    SetBounds(rect.Left, rect.Top, rect.Right - rect.Left, rect.Bottom - rect.Top);
    Handle();
    SetVisible(true);
    Invalidate();
}

void THintWindow::Paint() {
    TCanvas canvas(*PaintSurface());
    canvas.Brush.Color = static_cast<uint32_t>(ColorToRGB(Color));
    canvas.Pen.Color = 0;
    canvas.Rectangle(0, 0, canvas.Width(), canvas.Height());
    canvas.Brush.Style = BS_NULL;
    canvas.Font.Color = static_cast<uint32_t>(clInfoText);
    canvas.TextOut(2, 2, AnsiToWide(Caption()));
}
