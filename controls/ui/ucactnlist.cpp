#include "controls/ui/ucactnlist.h"

#include "controls/ucclasses.h"

namespace {

TCustomActionHelper* HelperOf(TBasicAction* action) {
    auto* custom = dynamic_cast<TCustomAction*>(action);
    if (!custom || !IsWideAction(action)) return nullptr;
    for (int i = 0; i < custom->ComponentCount(); ++i)
        if (auto* helper = dynamic_cast<TCustomActionHelper*>(custom->Components(i))) return helper;
    return new TCustomActionHelper(custom);
}

bool CaptionChanging(const TCustomActionHelper& helper) {
    return helper.SettingCaption && helper.Action->Caption() != helper.NewAnsiCaption;
}

bool HintChanging(const TCustomActionHelper& helper) {
    return helper.SettingHint && helper.Action->Hint() != helper.NewAnsiHint;
}

}  // namespace

bool IsWideAction(TBasicAction* action) { return dynamic_cast<IWideAction*>(action) != nullptr; }

WideString WideActionCaption(TBasicAction* action) {
    if (TCustomActionHelper* helper = HelperOf(action)) {
        if (CaptionChanging(*helper)) return helper->PreviousCaption;
        return UcGetSyncedWideString(helper->Caption, helper->Action->Caption());
    }
    auto* custom = dynamic_cast<TCustomAction*>(action);
    return custom ? AnsiToWideDefault(custom->Caption()) : u"";
}

WideString WideActionHint(TBasicAction* action) {
    if (TCustomActionHelper* helper = HelperOf(action)) {
        if (HintChanging(*helper)) return helper->PreviousHint;
        return UcGetSyncedWideString(helper->Hint, helper->Action->Hint());
    }
    auto* custom = dynamic_cast<TCustomAction*>(action);
    return custom ? AnsiToWideDefault(custom->Hint()) : u"";
}

void SetWideActionCaption(TBasicAction* action, const WideString& value) {
    auto* custom = dynamic_cast<TCustomAction*>(action);
    if (!custom) return;
    TCustomActionHelper* helper = HelperOf(action);
    if (!helper) {
        custom->TCustomAction::SetCaption(WideToAnsiDefault(value));
        return;
    }
    helper->PreviousCaption = WideActionCaption(action);
    helper->NewAnsiCaption = WideToAnsiDefault(value);
    helper->SettingCaption = true;
    try {
        UcSetSyncedWideString(value, helper->Caption, custom->Caption(), [&](const std::string& ansi) {
            custom->TCustomAction::SetCaption(ansi);
            // The empty first step: the links compare with the empty caption next.
            if (ansi.empty() && !helper->NewAnsiCaption.empty()) helper->PreviousCaption.clear();
        });
    } catch (...) {
        helper->SettingCaption = false;
        throw;
    }
    helper->SettingCaption = false;
}

void SetWideActionHint(TBasicAction* action, const WideString& value) {
    auto* custom = dynamic_cast<TCustomAction*>(action);
    if (!custom) return;
    TCustomActionHelper* helper = HelperOf(action);
    if (!helper) {
        custom->TCustomAction::SetHint(WideToAnsiDefault(value));
        return;
    }
    helper->PreviousHint = WideActionHint(action);
    helper->NewAnsiHint = WideToAnsiDefault(value);
    helper->SettingHint = true;
    try {
        UcSetSyncedWideString(value, helper->Hint, custom->Hint(), [&](const std::string& ansi) {
            custom->TCustomAction::SetHint(ansi);
            if (ansi.empty() && !helper->NewAnsiHint.empty()) helper->PreviousHint.clear();
        });
    } catch (...) {
        helper->SettingHint = false;
        throw;
    }
    helper->SettingHint = false;
}

WideString LinkSideActionCaption(TBasicAction* action, const WideString& text) {
    TCustomActionHelper* helper = HelperOf(action);
    return helper && CaptionChanging(*helper) ? helper->Caption : text;
}

WideString LinkSideActionHint(TBasicAction* action, const WideString& text) {
    TCustomActionHelper* helper = HelperOf(action);
    return helper && HintChanging(*helper) ? helper->Hint : text;
}

void CopyWideActionTexts(TCustomAction& destination, TCustomAction& source) {
    destination.TCustomAction::SetCaption(WideToAnsiDefault(WideActionCaption(&source)));
    destination.TCustomAction::SetHint(WideToAnsiDefault(WideActionHint(&source)));
    if (TCustomActionHelper* helper = HelperOf(&destination)) {
        helper->Caption = WideActionCaption(&source);
        helper->Hint = WideActionHint(&source);
    }
}

WideString TUcAction::Caption() { return WideActionCaption(this); }
void TUcAction::SetCaption(const WideString& value) { SetWideActionCaption(this, value); }
WideString TUcAction::Hint() { return WideActionHint(this); }
void TUcAction::SetHint(const WideString& value) { SetWideActionHint(this, value); }

void TUcAction::Assign(TCustomAction& source) {
    TCustomAction::SetEnabled(source.Enabled());
    TCustomAction::SetChecked(source.Checked());
    TCustomAction::SetShortCut(source.ShortCut());
    OnExecute = source.OnExecute;
    OnUpdate = source.OnUpdate;
    CopyWideActionTexts(*this, source);
}
