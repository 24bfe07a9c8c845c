#include "platform/ui/actions.h"

#include <algorithm>

#include "platform/ui/control.h"

TShortCut ShortCut(uint16_t key, TShiftState shift) {
    TShortCut result = key & 0xFF;
    if (shift & ssShift) result |= scShift;
    if (shift & ssCtrl) result |= scCtrl;
    if (shift & ssAlt) result |= scAlt;
    return result;
}

namespace {
std::string KeyName(uint8_t key) {
    if ((key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z')) return std::string(1, static_cast<char>(key));
    if (key >= VK_F1 && key <= VK_F24) return "F" + std::to_string(key - VK_F1 + 1);
    if (key >= 0x60 && key <= 0x69) return "Num " + std::to_string(key - 0x60);
    switch (key) {
        case VK_BACK: return "BkSp";
        case VK_TAB: return "Tab";
        case VK_RETURN: return "Enter";
        case VK_ESCAPE: return "Esc";
        case VK_SPACE: return "Space";
        case VK_PRIOR: return "PgUp";
        case VK_NEXT: return "PgDn";
        case VK_END: return "End";
        case VK_HOME: return "Home";
        case VK_LEFT: return "Left";
        case VK_UP: return "Up";
        case VK_RIGHT: return "Right";
        case VK_DOWN: return "Down";
        case VK_INSERT: return "Ins";
        case VK_DELETE: return "Del";
    }
    return "";
}
}  // namespace

std::string ShortCutToText(TShortCut shortCut) {
    std::string name = KeyName(static_cast<uint8_t>(shortCut & 0xFF));
    if (name.empty()) return "";
    std::string text;
    if (shortCut & scShift) text += "Shift+";
    if (shortCut & scCtrl) text += "Ctrl+";
    if (shortCut & scAlt) text += "Alt+";
    return text + name;
}

std::string StripHotkey(const std::string& text) {
    std::string result;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            result += text[i];
        } else if (i + 1 < text.size() && text[i + 1] == '&') {
            result += '&';
            ++i;
        }
    }
    return result;
}

// ---------------------------------------------------------------- TBasicAction

TBasicAction::~TBasicAction() {
    // The clients live on without their action.
    while (!clients_.empty()) clients_.back()->SetAction(nullptr);
}

bool TBasicAction::Execute() {
    if (!OnExecute) return false;
    OnExecute(this);
    return true;
}

bool TBasicAction::Update() {
    if (!OnUpdate) return false;
    OnUpdate(this);
    return true;
}

// ---------------------------------------------------------------- TCustomAction

void TCustomAction::SetCaption(const std::string& value) {
    if (value == caption_) return;
    // The links compare their clients with the caption the action had.
    const auto clients = clients_;
    for (TActionLink* link : clients) link->SetCaption(value);
    caption_ = value;
}

void TCustomAction::SetHint(const std::string& value) {
    if (value == hint_) return;
    const auto clients = clients_;
    for (TActionLink* link : clients) link->SetHint(value);
    hint_ = value;
}

void TCustomAction::SetEnabled(bool value) {
    if (value == enabled_) return;
    const auto clients = clients_;
    for (TActionLink* link : clients) link->SetEnabled(value);
    enabled_ = value;
}

void TCustomAction::SetChecked(bool value) {
    if (value == checked_) return;
    const auto clients = clients_;
    for (TActionLink* link : clients) link->SetChecked(value);
    checked_ = value;
}

void TCustomAction::SetShortCut(TShortCut value) {
    if (value == shortCut_) return;
    const auto clients = clients_;
    for (TActionLink* link : clients) link->SetShortCut(value);
    shortCut_ = value;
}

bool TCustomAction::Execute() { return enabled_ && TBasicAction::Execute(); }

// ---------------------------------------------------------------- TActionLink

bool LinkClientToAction(TComponent& client, std::unique_ptr<TActionLink>& link, TBasicAction* action,
                        const std::function<std::unique_ptr<TActionLink>()>& makeLink) {
    if (!action) {
        link.reset();
        return false;
    }
    if (!link) link = makeLink();
    if (link->Action()) link->Action()->RemoveFreeNotification(&client);
    link->SetAction(action);
    action->FreeNotification(&client);
    return true;
}

TActionLink::~TActionLink() { SetAction(nullptr); }

void TActionLink::SetAction(TBasicAction* action) {
    if (action == action_) return;
    if (action_) {
        auto& list = action_->clients_;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
    }
    action_ = action;
    if (action_) action_->clients_.push_back(this);
}

bool TActionLink::IsCaptionLinked() const {
    const TCustomAction* action = CustomAction();
    return action && ClientCaption() == action->Caption();
}

bool TActionLink::IsHintLinked() const {
    const TCustomAction* action = CustomAction();
    return action && ClientHint() == action->Hint();
}

void TActionLink::SetCaption(const std::string& value) {
    if (IsCaptionLinked()) SetClientCaption(value);
}

void TActionLink::SetHint(const std::string& value) {
    if (IsHintLinked()) SetClientHint(value);
}

void TActionLink::SetEnabled(bool value) {
    if (IsEnabledLinked()) SetClientEnabled(value);
}

std::string TActionLink::ClientCaption() const {
    auto* control = dynamic_cast<TControl*>(client_);
    return control ? control->Caption() : "";
}

void TActionLink::SetClientCaption(const std::string& value) {
    if (auto* control = dynamic_cast<TControl*>(client_)) control->SetCaption(value);
}

std::string TActionLink::ClientHint() const {
    auto* control = dynamic_cast<TControl*>(client_);
    return control ? control->Hint : "";
}

void TActionLink::SetClientHint(const std::string& value) {
    if (auto* control = dynamic_cast<TControl*>(client_)) control->Hint = value;
}

void TActionLink::SetClientEnabled(bool value) {
    if (auto* control = dynamic_cast<TControl*>(client_)) control->SetEnabled(value);
}
