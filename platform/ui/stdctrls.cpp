#include "platform/ui/stdctrls.h"

#include "platform/codepage.h"
#include "platform/ui/application.h"

namespace {
constexpr TColor clBtnFace = static_cast<TColor>(0x8000000F);
constexpr TColor clBtnShadow = static_cast<TColor>(0x80000010);
constexpr TColor clWindowText = static_cast<TColor>(0x80000008);
}  // namespace

// ---------------------------------------------------------------- TLabel

TLabel::TLabel(TComponent* owner) : TGraphicControl(owner), Color(clBtnFace) {
    SetBounds(0, 0, 65, 17);
    Font.Color = static_cast<uint32_t>(ColorToRGB(clWindowText));
}

void TLabel::SetText(const std::string& text) {
    TGraphicControl::SetText(text);
    AdjustSize();
}

std::u16string TLabel::DisplayText() const { return AnsiToWide(GetText()); }

void TLabel::AdjustSize() {
    if (!AutoSize) return;
    TBitmap scratch;
    TCanvas canvas(scratch);
    canvas.Font = Font;
    const TSize extent = canvas.TextExtent(DisplayText());
    if (extent.cx != Width() || extent.cy != Height()) {
        Invalidate();
        SetBounds(Left(), Top(), extent.cx, extent.cy);
    }
    Invalidate();
}

void TLabel::Paint(TCanvas& canvas) {
    if (!Transparent) {
        canvas.Brush.Color = static_cast<uint32_t>(ColorToRGB(Color));
        canvas.FillRect({0, 0, canvas.Width(), canvas.Height()});
    }
    canvas.Brush.Style = BS_NULL;
    canvas.Font = Font;
    if (!Enabled()) canvas.Font.Color = static_cast<uint32_t>(ColorToRGB(clBtnShadow));
    canvas.TextOut(0, 0, DisplayText());
}

// ---------------------------------------------------------------- standard controls

intptr_t TStandardControl::SendClassMessage(uint32_t msg, intptr_t wParam, intptr_t lParam) {
    return NativeWindow() ? NativeWindow()->ClassProc(msg, wParam, lParam) : 0;
}

TEdit::TEdit(TComponent* owner) : TStandardControl(owner) {
    SetBounds(0, 0, 121, 23);
    HandleMessage(CN_COMMAND, [this](TMessage& m, const TMessageHandler& inherited) {
        if (HiWord(m.WParam) == EN_CHANGE && OnChange) OnChange(this);
        inherited(m);
    });
}

void TEdit::CreateParams(TCreateParams& params) {
    params.ExStyle |= WS_EX_CLIENTEDGE;
    params.WinClassName = "EDIT";
}

TButton::TButton(TComponent* owner) : TStandardControl(owner) {
    SetBounds(0, 0, 75, 25);
    HandleMessage(CN_COMMAND, [this](TMessage& m, const TMessageHandler& inherited) {
        if (HiWord(m.WParam) == BN_CLICKED) Click();
        inherited(m);
    });
}

void TButton::CreateParams(TCreateParams& params) {
    params.Style |= BS_PUSHBUTTON;
    params.WinClassName = "BUTTON";
}

// ---------------------------------------------------------------- TStatusBar

TStatusBar::TStatusBar(TComponent* owner) : TCustomControl(owner), Color(clBtnFace) {
    SetBounds(0, 0, 200, 22);
    SetAlign(TAlign::alBottom);
    Font.Color = static_cast<uint32_t>(ColorToRGB(clWindowText));
}

void TStatusBar::SetSimpleText(const std::string& text) {
    if (text == simpleText_) return;
    simpleText_ = text;
    Invalidate();
}

std::u16string TStatusBar::DisplayText() const { return AnsiToWide(simpleText_); }

void TStatusBar::Paint() {
    TCanvas canvas(*PaintSurface());
    canvas.Brush.Color = static_cast<uint32_t>(ColorToRGB(Color));
    canvas.FillRect({0, 0, canvas.Width(), canvas.Height()});
    // A sunken line along the top separates it from the client area.
    canvas.Pen.Color = static_cast<uint32_t>(ColorToRGB(clBtnShadow));
    canvas.MoveTo(0, 0);
    canvas.LineTo(canvas.Width(), 0);
    canvas.Brush.Style = BS_NULL;
    canvas.Font = Font;
    const TSize extent = canvas.TextExtent(DisplayText());
    canvas.TextOut(4, (canvas.Height() - extent.cy) / 2 + 1, DisplayText());
}
