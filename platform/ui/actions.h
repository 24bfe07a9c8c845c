// Actions: one command (a caption, a hint, a shortcut, an enabled state and
// what it runs) shared by the controls and menu items linked to it. A client
// holds an action link; a change of the action goes through every link,
// which passes it to its client while the client still shows what the
// action showed before (so a client given its own caption keeps it).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/component.h"
#include "platform/ui/messages.h"

class TControl;
class TActionLink;

using TShortCut = uint16_t;
constexpr TShortCut scShift = 0x2000;
constexpr TShortCut scCtrl = 0x4000;
constexpr TShortCut scAlt = 0x8000;
constexpr TShortCut scNone = 0;
// A shortcut of a virtual key and its modifiers.
TShortCut ShortCut(uint16_t key, TShiftState shift);
// "Ctrl+Shift+A", "F9", "Del": the toolkit's English key names.
std::string ShortCutToText(TShortCut shortCut);
// The accelerator marks: "&" marks the next character, "&&" is one "&".
std::string StripHotkey(const std::string& text);

class TBasicAction : public TComponent {
public:
    explicit TBasicAction(TComponent* owner) : TComponent(owner) {}
    ~TBasicAction() override;
    // Runs OnExecute; false when nobody handled it.
    virtual bool Execute();
    // Runs OnUpdate (the state of the action before it is shown).
    virtual bool Update();
    std::function<void(TBasicAction* sender)> OnExecute;
    std::function<void(TBasicAction* sender)> OnUpdate;

    int ClientCount() const { return static_cast<int>(clients_.size()); }
    TActionLink* Clients(int index) const { return clients_.at(static_cast<size_t>(index)); }

protected:
    friend class TActionLink;
    std::vector<TActionLink*> clients_;
};

class TCustomAction : public TBasicAction {
public:
    explicit TCustomAction(TComponent* owner) : TBasicAction(owner) {}
    const std::string& Caption() const { return caption_; }
    virtual void SetCaption(const std::string& value);
    const std::string& Hint() const { return hint_; }
    virtual void SetHint(const std::string& value);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    bool Checked() const { return checked_; }
    void SetChecked(bool value);
    TShortCut ShortCut() const { return shortCut_; }
    void SetShortCut(TShortCut value);
    // Disabled actions do not run.
    bool Execute() override;

private:
    std::string caption_, hint_;
    bool enabled_ = true, checked_ = false;
    TShortCut shortCut_ = scNone;
};

// Links a client (a control or a menu item) to an action, making its link
// with makeLink when it has none; nullptr unlinks. The client hears of the
// action's going (FreeNotification). True when the client now has an
// action, whose values it should take next (its ActionChange).
bool LinkClientToAction(TComponent& client, std::unique_ptr<TActionLink>& link, TBasicAction* action,
                        const std::function<std::unique_ptr<TActionLink>()>& makeLink);

class TAction : public TCustomAction {
public:
    using TCustomAction::TCustomAction;
};

// The link of one client to its action. Each kind of client has its own
// link class that knows how to set that client's caption, hint and state.
class TActionLink {
public:
    explicit TActionLink(TComponent* client) : client_(client) {}
    virtual ~TActionLink();
    TActionLink(const TActionLink&) = delete;
    TActionLink& operator=(const TActionLink&) = delete;

    TBasicAction* Action() const { return action_; }
    void SetAction(TBasicAction* action);
    TComponent* Client() const { return client_; }
    // Runs the action for its client.
    bool Execute() { return action_ && action_->Execute(); }

    // Whether the client still shows the action's value (it follows the
    // action while it does).
    virtual bool IsCaptionLinked() const;
    virtual bool IsHintLinked() const;
    virtual bool IsEnabledLinked() const { return dynamic_cast<TCustomAction*>(action_) != nullptr; }
    virtual bool IsShortCutLinked() const { return dynamic_cast<TCustomAction*>(action_) != nullptr; }

    // Called by the action before it stores the new value.
    virtual void SetCaption(const std::string& value);
    virtual void SetHint(const std::string& value);
    virtual void SetEnabled(bool value);
    virtual void SetChecked(bool value) {}
    virtual void SetShortCut(TShortCut value) {}

protected:
    // The client's own caption and hint (a control's; menu items override).
    virtual std::string ClientCaption() const;
    virtual void SetClientCaption(const std::string& value);
    virtual std::string ClientHint() const;
    virtual void SetClientHint(const std::string& value);
    virtual void SetClientEnabled(bool value);
    TCustomAction* CustomAction() const { return dynamic_cast<TCustomAction*>(action_); }

private:
    TComponent* client_;
    TBasicAction* action_ = nullptr;
};
