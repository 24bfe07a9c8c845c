// Actions with wide captions and hints. The action's 8-bit caption and hint
// stay what the toolkit's links see and compare; the wide texts live in a
// helper the action owns. While a wide caption is being set, the links are
// shown the caption the action had (so they recognise clients that still
// show it) and hand their clients the new wide caption.
#pragma once

#include "controls/ucsystem.h"
#include "platform/ui/actions.h"

// The wide side of one action (owned by the action).
class TCustomActionHelper : public TComponent {
public:
    explicit TCustomActionHelper(TCustomAction* action) : TComponent(action), Action(action) {}
    TCustomAction* Action;
    WideString Caption;
    bool SettingCaption = false;
    WideString PreviousCaption;
    std::string NewAnsiCaption;
    WideString Hint;
    bool SettingHint = false;
    WideString PreviousHint;
    std::string NewAnsiHint;
};

// Actions with wide texts.
class IWideAction {
public:
    virtual ~IWideAction() = default;
};
bool IsWideAction(TBasicAction* action);

class TUcAction : public TAction, public IWideAction {
public:
    explicit TUcAction(TComponent* owner) : TAction(owner) {}
    WideString Caption();
    void SetCaption(const WideString& value);
    WideString Hint();
    void SetHint(const WideString& value);
    using TAction::SetCaption;
    using TAction::SetHint;
    // The toolkit's copy, then the wide texts of a source action.
    void Assign(TCustomAction& source);
};

// The action that carries the application's hint to whoever shows it.
class TUcHintAction : public TUcAction {
public:
    using TUcAction::TUcAction;
};

// The wide caption and hint of any action (widened 8-bit ones for an
// action without wide texts).
WideString WideActionCaption(TBasicAction* action);
WideString WideActionHint(TBasicAction* action);
void SetWideActionCaption(TBasicAction* action, const WideString& value);
void SetWideActionHint(TBasicAction* action, const WideString& value);
// What a link hands its client while the toolkit runs the links.
WideString LinkSideActionCaption(TBasicAction* action, const WideString& text);
WideString LinkSideActionHint(TBasicAction* action, const WideString& text);
void CopyWideActionTexts(TCustomAction& destination, TCustomAction& source);
