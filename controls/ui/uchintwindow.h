// The hint window of wide hints. When a Unicode control's hint is about to
// show, the fix-up of CM_HINTSHOW swaps the toolkit's hint window for this
// one and marks the hint info as wide; the window then shows and measures
// the control's wide short hint with our canvas.
#pragma once

#include "controls/ucsystem.h"
#include "platform/canvas.h"
#include "platform/ui/application.h"
#include "platform/ui/forms.h"

class TUcCustomHintWindow : public THintWindow {
public:
    explicit TUcCustomHintWindow(TComponent* owner);
    TCanvasFont Font;
    WideString Caption();
    void SetCaption(const WideString& text);
    void ActivateHint(const TRect& rect, const std::string& hint) override;
    void ActivateHintData(const TRect& rect, const std::string& hint, void* data) override;
    TRect CalcHintRect(int32_t maxWidth, const std::string& hint, void* data) override;

protected:
    void CreateWnd() override;
    void DestroyWnd() override;
    void Paint() override;

private:
    bool activating_ = false;
    bool blockPaint_ = false;
};

// The class name the fix-up puts into the hint info.
constexpr const char* kUcHintWindowClassName = "TUcCustomHintWindow";
bool IsUcHintData(void* data);
WideString UcHintTextOf(const THintInfo& info);
