#include "controls/ui/uchintwindow.h"

#include "controls/ucgraphics.h"
#include "controls/ui/uccontrols.h"
#include "controls/ui/ucmenus.h"

void UcPrepareHintInfo(TMessage& message) {
    auto* info = reinterpret_cast<THintInfo*>(message.LParam);
    if (!info) return;
    if (info->HintWindowClassName != "THintWindow" && info->HintWindowClassName != kUcHintWindowClassName) return;
    info->HintWindowClassName = kUcHintWindowClassName;
    info->HintWindowClass = [](TComponent* owner) -> THintWindow* { return new TUcCustomHintWindow(owner); };
    info->HintData = info;
    info->HintStr = WideToAnsiDefault(UcShortHint(UcGetEffectiveHint(info->HintControl)));
}

bool IsUcHintData(void* data) {
    if (!data) return false;
    auto* info = static_cast<THintInfo*>(data);
    return info->HintData == data && info->HintWindowClassName == kUcHintWindowClassName;
}

WideString UcHintTextOf(const THintInfo& info) {
    WideString result = AnsiToWideDefault(info.HintStr);
    if (result.empty()) return result;
    const WideString shortHint = UcShortHint(UcGetEffectiveHint(info.HintControl));
    if (WideToAnsiDefault(shortHint) == info.HintStr) return shortHint;
    // The toolkit added the shortcut of the control's action: the same in wide text.
    if (Application().HintShortCuts && info.HintControl) {
        auto* action = dynamic_cast<TCustomAction*>(info.HintControl->Action());
        if (action && action->ShortCut() != scNone &&
            info.HintStr == WideToAnsiDefault(shortHint) + " (" + ShortCutToText(action->ShortCut()) + ")")
            return shortHint + u" (" + WideShortCutToText(action->ShortCut()) + u")";
    }
    return result;
}

TUcCustomHintWindow::TUcCustomHintWindow(TComponent* owner) : THintWindow(owner) {
    Font.Color = static_cast<uint32_t>(clInfoText);
    // A new caption sizes the window to it (unless the hint is being shown,
    // which sizes it itself).
    HandleMessage(CM_TEXTCHANGED, [this](TMessage& m, const TMessageHandler& inherited) {
        inherited(m);
        if (activating_) return;
        TBitmap scratch;
        TCanvas canvas(scratch);
        canvas.Font = Font;
        const WideString text = Caption();
        SetBounds(Left(), Top(), WideCanvasTextWidth(canvas, text) + 6, WideCanvasTextHeight(canvas, text) + 6);
    });
}

void TUcCustomHintWindow::CreateWnd() {
    THintWindow::CreateWnd();
    UcWindowCreated(*this);
}

void TUcCustomHintWindow::DestroyWnd() {
    UcWindowDestroying(*this);
    THintWindow::DestroyWnd();
}

WideString TUcCustomHintWindow::Caption() { return UcControlGetText(*this); }

void TUcCustomHintWindow::SetCaption(const WideString& text) { UcControlSetText(*this, text); }

void TUcCustomHintWindow::ActivateHint(const TRect& rect, const std::string& hint) {
    const bool was = activating_;
    activating_ = true;
    try {
        THintWindow::ActivateHint(rect, hint);
    } catch (...) {
        activating_ = was;
        throw;
    }
    activating_ = was;
}

void TUcCustomHintWindow::ActivateHintData(const TRect& rect, const std::string& hint, void* data) {
    if (!IsUcHintData(data)) {
        THintWindow::ActivateHintData(rect, hint, data);
        return;
    }
    blockPaint_ = true;
    const bool was = activating_;
    activating_ = true;
    try {
        THintWindow::ActivateHintData(rect, hint, data);
        SetCaption(UcHintTextOf(*static_cast<THintInfo*>(data)));
    } catch (...) {
        activating_ = was;
        blockPaint_ = false;
        throw;
    }
    activating_ = was;
    blockPaint_ = false;
    Invalidate();
}

TRect TUcCustomHintWindow::CalcHintRect(int32_t maxWidth, const std::string& hint, void* data) {
    if (!IsUcHintData(data)) return THintWindow::CalcHintRect(maxWidth, hint, data);
    TBitmap scratch;
    TCanvas canvas(scratch);
    canvas.Font = Font;
    const WideString text = UcHintTextOf(*static_cast<THintInfo*>(data));
    const TSize extent = WideCanvasTextExtent(canvas, text);
    return {0, 0, std::min(extent.cx, maxWidth) + 6 + 2, extent.cy + 2 + 2};
}

void TUcCustomHintWindow::Paint() {
    if (blockPaint_) return;
    TCanvas canvas(*PaintSurface());
    canvas.Brush.Color = static_cast<uint32_t>(ColorToRGB(Color));
    canvas.Pen.Color = 0;
    canvas.Rectangle(0, 0, canvas.Width(), canvas.Height());
    canvas.Brush.Style = BS_NULL;
    canvas.Font = Font;
    WideCanvasTextOut(canvas, 2 + 1, 2, Caption());
}
