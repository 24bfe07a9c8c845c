#include "platform/ui/menus.h"

#include <algorithm>
#include <atomic>

#include "platform/codepage.h"
#include "platform/ui/application.h"
#include "platform/ui/forms.h"

namespace {
std::atomic<uint32_t> nextCommand{1};
}

std::string GetShortHint(const std::string& hint) { return hint.substr(0, hint.find('|')); }

std::string GetLongHint(const std::string& hint) {
    const size_t bar = hint.find('|');
    return bar == std::string::npos ? hint : hint.substr(bar + 1);
}

// ---------------------------------------------------------------- TMenuItem

TMenuItem::TMenuItem(TComponent* owner) : TComponent(owner), command_(nextCommand++) {}

TMenuItem::~TMenuItem() {
    actionLink_.reset();
    for (TMenuItem* item : items_) item->parent_ = nullptr;
    items_.clear();
    if (parent_) parent_->Remove(this);
}

void TMenuItem::SetCaption(const std::string& caption) {
    if (caption == caption_) return;
    caption_ = caption;
    MenuChanged();
}

void TMenuItem::SetHint(const std::string& hint) { hint_ = hint; }

void TMenuItem::SetShortCut(TShortCut shortCut) {
    if (shortCut == shortCut_) return;
    shortCut_ = shortCut;
    MenuChanged();
}

void TMenuItem::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    MenuChanged();
}

void TMenuItem::SetChecked(bool checked) {
    if (checked == checked_) return;
    checked_ = checked;
    MenuChanged();
}

void TMenuItem::SetVisible(bool visible) {
    if (visible == visible_) return;
    visible_ = visible;
    MenuChanged();
}

std::u16string TMenuItem::NativeCaption() const { return AnsiToWide(Caption()); }
std::u16string TMenuItem::NativeHint() const { return AnsiToWide(Hint()); }

void TMenuItem::Add(TMenuItem* item) { Insert(Count(), item); }

void TMenuItem::Insert(int index, TMenuItem* item) {
    if (item->parent_) item->parent_->Remove(item);
    index = std::clamp(index, 0, Count());
    items_.insert(items_.begin() + index, item);
    item->parent_ = this;
    MenuChanged();
}

void TMenuItem::Remove(TMenuItem* item) {
    auto at = std::find(items_.begin(), items_.end(), item);
    if (at == items_.end()) return;
    items_.erase(at);
    item->parent_ = nullptr;
    MenuChanged();
}

TMenu* TMenuItem::GetParentMenu() const {
    const TMenuItem* item = this;
    while (item->parent_) item = item->parent_;
    return item->menu_;
}

TMenuItem* TMenuItem::Find(uint32_t command) {
    if (command_ == command) return this;
    for (TMenuItem* item : items_)
        if (TMenuItem* found = item->Find(command)) return found;
    return nullptr;
}

void TMenuItem::Click() {
    if (!enabled_) return;
    if (OnClick) {
        OnClick(this);
    } else if (actionLink_) {
        actionLink_->Execute();
    }
}

void TMenuItem::MenuChanged() {
    if (TMenu* menu = GetParentMenu()) menu->Changed(this);
}

TBasicAction* TMenuItem::Action() const { return actionLink_ ? actionLink_->Action() : nullptr; }

void TMenuItem::SetAction(TBasicAction* action) {
    if (LinkClientToAction(*this, actionLink_, action, [this] { return CreateActionLink(); })) ActionChange(action, false);
}

std::unique_ptr<TActionLink> TMenuItem::CreateActionLink() { return std::make_unique<TMenuActionLink>(this); }

void TMenuItem::ActionChange(TBasicAction* sender, bool checkDefaults) {
    auto* action = dynamic_cast<TCustomAction*>(sender);
    if (!action) return;
    if (!checkDefaults || Caption().empty()) SetCaption(action->Caption());
    if (!checkDefaults || Hint().empty()) SetHint(action->Hint());
    if (!checkDefaults || Enabled()) SetEnabled(action->Enabled());
    if (!checkDefaults || !Checked()) SetChecked(action->Checked());
    if (!checkDefaults || ShortCut() == scNone) SetShortCut(action->ShortCut());
}

void TMenuItem::Notification(TComponent* component, TOperation operation) {
    TComponent::Notification(component, operation);
    if (operation == TOperation::opRemove && actionLink_ && component == actionLink_->Action()) actionLink_.reset();
}

// ---------------------------------------------------------------- TMenuActionLink

bool TMenuActionLink::IsCaptionLinked() const {
    const TCustomAction* action = CustomAction();
    // Menus move accelerator marks; the caption counts as the action's
    // without them, in any case.
    return action && AnsiSameText(StripHotkey(Item().Caption()), StripHotkey(action->Caption()));
}

void TMenuActionLink::SetChecked(bool value) {
    if (CustomAction()) Item().SetChecked(value);
}

void TMenuActionLink::SetShortCut(TShortCut value) {
    if (IsShortCutLinked()) Item().SetShortCut(value);
}

// ---------------------------------------------------------------- TMenu

TMenu::TMenu(TComponent* owner) : TComponent(owner), items_(new TMenuItem(this)) { items_->menu_ = this; }

TMenu::~TMenu() {
    // The root goes with the menu's owned components; its sub-items (owned
    // elsewhere) only lose their parent.
    items_->menu_ = nullptr;
}

void TMenu::Changed(TMenuItem*) {
    if (OnNativeChange) OnNativeChange();
}

void TMenu::ItemSelected(TMenuItem* item) {}

void TMainMenu::ItemSelected(TMenuItem* item) {
    if (!Window()) return;
    // As the window hears it: the item's command, or 0xFFFF flags and no
    // item when the menu closed.
    if (item)
        Window()->Perform(WM_MENUSELECT, MakeWParam(static_cast<int>(item->Command() & 0xFFFF), 0),
                          static_cast<intptr_t>(item->Command()));
    else Window()->Perform(WM_MENUSELECT, MakeWParam(0, 0xFFFF), 0);
}

// ---------------------------------------------------------------- pop-up menus

void TPopupList::MenuSelect(TPopupMenu&, TMenuItem* item) {
    Application().SetHint(item ? GetLongHint(item->Hint()) : "");
}

namespace {
TPopupList toolkitPopupList;
TPopupList* currentPopupList = &toolkitPopupList;
}  // namespace

TPopupList& PopupList() { return *currentPopupList; }

TPopupList* SetPopupList(TPopupList* list) {
    TPopupList* previous = currentPopupList;
    currentPopupList = list ? list : &toolkitPopupList;
    return previous;
}

void TPopupMenu::Popup(int x, int y) {
    if (OnPopup) OnPopup(this);
    Application().CancelHint();
    Application().Backend().PopupMenu(*this, x, y);
}
