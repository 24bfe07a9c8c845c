#include "controls/ui/ucforms.h"

#include "controls/ucsysutils.h"
#include "controls/ui/ucmenus.h"
#include "platform/ui/menus.h"

TUcForm::TUcForm(TComponent* owner) : TUcWinControl<TForm>(owner) {
    // The hint of a menu item of the form's menu, in wide text.
    HandleMessage(WM_MENUSELECT, [this](TMessage& m, const TMessageHandler&) {
        TMenuItem* item = nullptr;
        if (HiWord(m.WParam) != 0xFFFF) item = FindMenuItem(static_cast<uint32_t>(m.LParam));
        UcApplication().SetWideHint(item ? UcLongHint(WideMenuItemHint(item)) : u"");
    });
}

// ---------------------------------------------------------------- TUcScrollBox

TUcScrollBox::TUcScrollBox(TComponent* owner) : TUcWinControl<TScrollBox>(owner) {
    HandleMessage(WM_SIZE, [this](TMessage& m, const TMessageHandler& inherited) {
        struct TDepth {
            int& depth;
            explicit TDepth(int& d) : depth(++d) {}
            ~TDepth() { --depth; }
        } depth(sizeDepth_);
        if (sizeDepth_ < 32) inherited(m);
    });
}

// ---------------------------------------------------------------- TUcApplication

TUcApplication::TUcApplication() = default;

TUcApplication& UcApplication() {
    static TUcApplication application;
    return application;
}

WideString MouseControlLongHint() { return UcLongHint(UcGetEffectiveHint(Application().MouseControl())); }

WideString TUcApplication::GetWideHint() {
    const WideString hint = MouseControlLongHint();
    if (WideToAnsiDefault(hint) == Application().Hint()) hint_ = hint;
    return UcGetSyncedWideString(hint_, Application().Hint());
}

void TUcApplication::SetWideHint(const WideString& hint) {
    UcSetSyncedWideString(hint, hint_, Application().Hint(),
                          [](const std::string& value) { Application().SetHint(value); });
}

void TUcApplication::RefreshWideHint() {
    const WideString hint = MouseControlLongHint();
    if (WideToAnsiDefault(hint) == Application().Hint()) SetWideHint(hint);
}

WideString TUcApplication::GetWideTitle() { return UcGetSyncedWideString(title_, Application().Title); }

void TUcApplication::SetWideTitle(const WideString& title) {
    UcSetSyncedWideString(title, title_, Application().Title,
                          [](const std::string& value) { Application().Title = value; });
}

bool WideCaptionAccelMatches(unsigned key, const WideString& caption) {
    const WideString accel = WideHotkeyChar(caption);
    if (accel.empty()) return false;
    return UcWideUpperCase(accel) == UcWideUpperCase(WideString(1, KeyCharToWide(key)));
}
