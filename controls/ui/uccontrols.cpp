#include "controls/ui/uccontrols.h"

#include "controls/ucsysutils.h"
#include "controls/ui/ucactnlist.h"

namespace {

TWideComponentHelperList& Helpers() {
    static TWideComponentHelperList helpers;
    return helpers;
}

// Passes the control's removal on to its helper.
class THelperWatcher : public TComponent {
public:
    THelperWatcher(TWideControlHelper& helper, TControl& control) : TComponent(nullptr), helper_(helper) {
        FreeNotification(&control);
    }

protected:
    void Notification(TComponent* component, TOperation operation) override {
        // The helper (and this watcher with it) is freed here.
        helper_.Notification(component, operation);
    }

private:
    TWideControlHelper& helper_;
};

bool HasWindow(TControl& control) {
    auto* windowed = dynamic_cast<TWinControl*>(&control);
    return windowed && windowed->NativeWindow();
}

}  // namespace

TWideControlHelper::TWideControlHelper(const void* component, TControl* control)
    : TWideComponentHelper(component), control_(control), watcher_(std::make_unique<THelperWatcher>(*this, *control)) {}

TWideControlHelper* FindWideControlHelper(TControl& control, bool create) {
    auto* helper = static_cast<TWideControlHelper*>(FindComponentHelper(Helpers(), &control));
    if (!helper && create) helper = TWideComponentHelper::CreateHelper<TWideControlHelper>(&control, Helpers(), &control);
    return helper;
}

WideString UcControlGetHelperText(TControl& control, const WideString& defaultText) {
    TWideControlHelper* helper = FindWideControlHelper(control, false);
    return helper ? helper->Caption : defaultText;
}

void UcControlSetHelperText(TControl& control, const WideString& text) {
    FindWideControlHelper(control, true)->Caption = text;
    control.TControl::SetText(WideToAnsiDefault(text));
}

WideString UcControlGetText(TControl& control) {
    if (HasWindow(control)) return static_cast<TWinControl&>(control).NativeWindow()->Text();
    if (dynamic_cast<TWinControl*>(&control)) return UcControlGetHelperText(control, AnsiToWideDefault(control.GetText()));
    if (TWideControlHelper* helper = FindWideControlHelper(control, false))
        return UcGetSyncedWideString(helper->Caption, control.GetText());
    return AnsiToWideDefault(control.GetText());
}

void UcControlSetText(TControl& control, const WideString& text) {
    if (HasWindow(control)) {
        auto& windowed = static_cast<TWinControl&>(control);
        if (windowed.NativeWindow()->Text() == text) return;
        windowed.NativeWindow()->SetText(text);
        control.Perform(CM_TEXTCHANGED);
        control.Invalidate();
        return;
    }
    if (dynamic_cast<TWinControl*>(&control)) {
        UcControlSetHelperText(control, text);
        return;
    }
    TWideControlHelper* helper = FindWideControlHelper(control, true);
    UcSetSyncedWideString(text, helper->Caption, control.GetText(),
                          [&control](const std::string& value) { control.SetText(value); });
}

WideString UcControlGetHint(TControl& control) {
    if (TWideControlHelper* helper = FindWideControlHelper(control, false))
        return UcGetSyncedWideString(helper->Hint, control.Hint);
    return AnsiToWideDefault(control.Hint);
}

void UcControlSetHint(TControl& control, const WideString& hint) {
    TWideControlHelper* helper = FindWideControlHelper(control, true);
    UcSetSyncedWideString(hint, helper->Hint, control.Hint,
                          [&control](const std::string& value) { control.Hint = value; });
}

bool UcControlIsCaptionStored(TControl& control) {
    return !(control.ActionLink() && control.ActionLink()->IsCaptionLinked());
}

bool UcControlIsHintStored(TControl& control) { return !(control.ActionLink() && control.ActionLink()->IsHintLinked()); }

WideString UcGetEffectiveHint(TControl* control) {
    for (TControl* at = control; at; at = at->Parent()) {
        WideString hint = UcControlGetHint(*at);
        if (!hint.empty()) return hint;
    }
    return u"";
}

WideString UcShortHint(const WideString& hint) { return hint.substr(0, hint.find(u'|')); }

WideString UcLongHint(const WideString& hint) {
    const size_t bar = hint.find(u'|');
    return bar == WideString::npos ? hint : hint.substr(bar + 1);
}

bool IsWindowTextMessage(uint32_t msg) { return msg == WM_SETTEXT || msg == WM_GETTEXT || msg == WM_GETTEXTLENGTH; }

void StashWideCharInWMChar(TMessage& message) {
    const int c = LoWord(message.WParam);
    if (c >= 256) message.WParam = MakeWParam(255, c);
}

void UnstashWideCharInWMChar(TMessage& message) {
    if (HiWord(message.WParam) != 0 && LoWord(message.WParam) == 255) message.WParam = HiWord(message.WParam);
}

WideChar WideCharOfWMChar(const TMessage& message) {
    if (LoWord(message.WParam) == 255 && (message.WParam & 0xFFFFFFFF) > 0xFFFF)
        return static_cast<WideChar>(HiWord(message.WParam));
    return static_cast<WideChar>(LoWord(message.WParam));
}

void InitWMCharMessage(TMessage& message, WideChar c) {
    message.WParam = c;
    StashWideCharInWMChar(message);
}

void UcWindowCreated(TWinControl& control) {
    UcControlSetText(control, UcControlGetHelperText(control, AnsiToWideDefault(control.TControl::GetText())));
}

void UcWindowDestroying(TWinControl& control) {
    if (!control.HasState(csDestroying)) UcControlSetHelperText(control, UcControlGetText(control));
}

// ---------------------------------------------------------------- action links

bool TUcControlActionLink::IsCaptionLinked() const {
    return TActionLink::IsCaptionLinked() && WideActionCaption(Action()) == UcControlGetText(ClientControl());
}

bool TUcControlActionLink::IsHintLinked() const {
    return TActionLink::IsHintLinked() && WideActionHint(Action()) == UcControlGetHint(ClientControl());
}

void TUcControlActionLink::SetCaption(const std::string& value) {
    if (IsCaptionLinked()) UcControlSetText(ClientControl(), LinkSideActionCaption(Action(), AnsiToWideDefault(value)));
}

void TUcControlActionLink::SetHint(const std::string& value) {
    if (IsHintLinked()) UcControlSetHint(ClientControl(), LinkSideActionHint(Action(), AnsiToWideDefault(value)));
}

void UcControlActionChange(TControl& control, TBasicAction* action, bool checkDefaults) {
    if (!dynamic_cast<TCustomAction*>(action) || !IsWideAction(action)) return;
    const WideString caption = UcControlGetText(control);
    if (!checkDefaults || caption.empty() || caption == AnsiToWideDefault(control.Name))
        UcControlSetText(control, WideActionCaption(action));
    if (!checkDefaults || UcControlGetHint(control).empty()) UcControlSetHint(control, WideActionHint(action));
}
