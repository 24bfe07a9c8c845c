// Menus: trees of menu items, shown by the platform as a window's menu bar
// or as a pop-up menu. An item has a caption (with "&" accelerator marks, a
// lone "-" for a separator), a hint, a shortcut, enabled / checked / visible
// states, sub-items and an OnClick or an action. Whenever an item changes,
// its menu tells the platform, which rebuilds what it shows.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/ui/actions.h"
#include "platform/ui/component.h"

class TMenu;
class TWinControl;

class TMenuItem : public TComponent {
public:
    explicit TMenuItem(TComponent* owner);
    ~TMenuItem() override;

    virtual std::string Caption() const { return caption_; }
    virtual void SetCaption(const std::string& caption);
    const std::string& Hint() const { return hint_; }
    virtual void SetHint(const std::string& hint);
    TShortCut ShortCut() const { return shortCut_; }
    void SetShortCut(TShortCut shortCut);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    bool Checked() const { return checked_; }
    void SetChecked(bool checked);
    bool Visible() const { return visible_; }
    void SetVisible(bool visible);
    bool IsLine() const { return Caption() == "-"; }
    // A number unique in the process: the platform names items by it.
    uint32_t Command() const { return command_; }

    // What the platform shows: the caption with its accelerator marks and
    // the hint, wide (a wide item gives its own; else the 8-bit ones
    // widened).
    virtual std::u16string NativeCaption() const;
    virtual std::u16string NativeHint() const;

    // Sub-items (not owned: their owner frees them, and a freed item leaves
    // its parent).
    int Count() const { return static_cast<int>(items_.size()); }
    TMenuItem* Items(int index) const { return items_.at(static_cast<size_t>(index)); }
    void Add(TMenuItem* item);
    void Insert(int index, TMenuItem* item);
    void Remove(TMenuItem* item);
    TMenuItem* Parent() const { return parent_; }
    // The menu the item's tree belongs to.
    TMenu* GetParentMenu() const;
    TMenuItem* Find(uint32_t command);

    // The item was chosen: OnClick, or the action when there is none.
    virtual void Click();
    TNotifyEvent OnClick;

    TBasicAction* Action() const;
    void SetAction(TBasicAction* action);

protected:
    virtual std::unique_ptr<TActionLink> CreateActionLink();
    virtual void ActionChange(TBasicAction* sender, bool checkDefaults);
    // Something the platform shows changed.
    virtual void MenuChanged();
    void Notification(TComponent* component, TOperation operation) override;

private:
    friend class TMenu;
    std::string caption_, hint_;
    TShortCut shortCut_ = scNone;
    bool enabled_ = true, checked_ = false, visible_ = true;
    uint32_t command_;
    std::vector<TMenuItem*> items_;
    TMenuItem* parent_ = nullptr;
    TMenu* menu_ = nullptr;  // set on the root item only
    std::unique_ptr<TActionLink> actionLink_;
};

// The link of a menu item to its action.
class TMenuActionLink : public TActionLink {
public:
    explicit TMenuActionLink(TMenuItem* item) : TActionLink(item) {}
    bool IsCaptionLinked() const override;
    void SetChecked(bool value) override;
    void SetShortCut(TShortCut value) override;

protected:
    TMenuItem& Item() const { return *static_cast<TMenuItem*>(Client()); }
    std::string ClientCaption() const override { return Item().Caption(); }
    void SetClientCaption(const std::string& value) override { Item().SetCaption(value); }
    std::string ClientHint() const override { return Item().Hint(); }
    void SetClientHint(const std::string& value) override { Item().SetHint(value); }
    void SetClientEnabled(bool value) override { Item().SetEnabled(value); }
};

class TMenu : public TComponent {
public:
    explicit TMenu(TComponent* owner);
    ~TMenu() override;
    // The root item: its sub-items are the menu's items.
    TMenuItem* Items() const { return items_; }
    // The window that shows the menu (a main menu's form), or nullptr.
    TWinControl* Window() const { return window_; }
    void SetWindow(TWinControl* window) { window_ = window; }
    // An item of the menu changed: the platform rebuilds what it shows.
    virtual void Changed(TMenuItem* item);
    // The mouse is over an item (nullptr: the menu closed).
    virtual void ItemSelected(TMenuItem* item);
    // The platform notices changes here (set by the window showing the menu).
    std::function<void()> OnNativeChange;

private:
    TMenuItem* items_;
    TWinControl* window_ = nullptr;
};

// The menu bar of a form.
class TMainMenu : public TMenu {
public:
    using TMenu::TMenu;
    void ItemSelected(TMenuItem* item) override;
};

class TPopupMenu;

// Where pop-up menus tell which item the mouse is over. The toolkit's list
// sets the application's hint to the item's long hint; a unit may install
// its own (SetPopupList) for wide hints.
class TPopupList {
public:
    virtual ~TPopupList() = default;
    virtual void MenuSelect(TPopupMenu& menu, TMenuItem* item);
};
TPopupList& PopupList();
// Installs another list (nullptr: the toolkit's again); returns the one
// that was current.
TPopupList* SetPopupList(TPopupList* list);

class TPopupMenu : public TMenu {
public:
    using TMenu::TMenu;
    // Shows the menu at a screen point and returns once it closed (the
    // chosen item has run by then).
    virtual void Popup(int x, int y);
    TNotifyEvent OnPopup;
    void ItemSelected(TMenuItem* item) override { PopupList().MenuSelect(*this, item); }
};

// The long part of a hint (after the first "|"), or all of it.
std::string GetLongHint(const std::string& hint);
std::string GetShortHint(const std::string& hint);
