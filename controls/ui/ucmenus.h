// Menu items with wide captions and hints, pop-up menus whose status hints
// are wide, and the accelerator and shortcut-text helpers of the wide
// controls. The toolkit's menus keep 8-bit captions; the wide caption is
// what the platform shows.
#pragma once

#include "controls/ucsystem.h"
#include "platform/ui/menus.h"

// The text without accelerator marks ("&&" keeps one "&"). With farEast,
// a trailing "(&X)" group is removed whole.
WideString WideStripHotkeys(const WideString& text, bool farEast = false);
bool WideSameCaption(const WideString& a, const WideString& b);
bool WideSameCaptionExact(const WideString& a, const WideString& b);
// 1-based position of the accelerator character (0: none) and the
// character itself.
int WideHotkeyPosition(const WideString& text);
WideString WideHotkeyChar(const WideString& text);
WideString WideShortCutToText(TShortCut shortCut);
// A wide item's hint, else the 8-bit hint widened.
WideString WideMenuItemHint(TMenuItem* item);

class TUcMenuItem : public TMenuItem {
public:
    explicit TUcMenuItem(TComponent* owner) : TMenuItem(owner) {}
    WideString WideCaption() const;
    void SetWideCaption(const WideString& caption);
    WideString WideHint() const;
    void SetWideHint(const WideString& hint);
    std::u16string NativeCaption() const override { return WideCaption(); }
    std::u16string NativeHint() const override { return WideHint(); }

protected:
    std::unique_ptr<TActionLink> CreateActionLink() override;
    void ActionChange(TBasicAction* sender, bool checkDefaults) override;

private:
    mutable WideString caption_, hint_;
};

// The link of a wide menu item to its action.
class TUcMenuActionLink : public TMenuActionLink {
public:
    explicit TUcMenuActionLink(TUcMenuItem* item) : TMenuActionLink(item) {}
    bool IsCaptionLinked() const override;
    bool IsHintLinked() const override;
    void SetCaption(const std::string& value) override;
    void SetHint(const std::string& value) override;

private:
    TUcMenuItem& WideItem() const { return *static_cast<TUcMenuItem*>(Client()); }
};

// A pop-up menu whose status hints are wide (through TUcPopupList).
class TUcPopupMenu : public TPopupMenu {
public:
    using TPopupMenu::TPopupMenu;
    void Popup(int x, int y) override;
};

// The list the wide pop-up menus report to: the item under the mouse gives
// the application's wide hint.
class TUcPopupList : public TPopupList {
public:
    void MenuSelect(TPopupMenu& menu, TMenuItem* item) override;
};
