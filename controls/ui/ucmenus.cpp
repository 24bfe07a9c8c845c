#include "controls/ui/ucmenus.h"

#include "controls/ucclasses.h"
#include "controls/ucsysutils.h"
#include "controls/ui/ucactnlist.h"
#include "controls/ui/uccontrols.h"
#include "controls/ui/ucforms.h"

WideString WideStripHotkeys(const WideString& text, bool farEast) {
    WideString result;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != u'&') {
            result += text[i];
            continue;
        }
        if (farEast && i > 0 && text[i - 1] == u'(' && i + 2 < text.size() && text[i + 2] == u')') {
            // "(&X)": the whole group goes.
            result.pop_back();
            i += 2;
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == u'&') {
            result += u'&';
            ++i;
        }
    }
    return result;
}

bool WideSameCaption(const WideString& a, const WideString& b) {
    return UcWideUpperCase(WideStripHotkeys(a)) == UcWideUpperCase(WideStripHotkeys(b));
}

bool WideSameCaptionExact(const WideString& a, const WideString& b) { return WideStripHotkeys(a) == WideStripHotkeys(b); }

int WideHotkeyPosition(const WideString& text) {
    int position = 0;
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != u'&') continue;
        if (text[i + 1] == u'&') {
            ++i;
            continue;
        }
        position = static_cast<int>(i) + 2;
    }
    return position;
}

WideString WideHotkeyChar(const WideString& text) {
    const int position = WideHotkeyPosition(text);
    return position ? text.substr(static_cast<size_t>(position - 1), 1) : u"";
}

WideString WideShortCutToText(TShortCut shortCut) { return AnsiToWideDefault(ShortCutToText(shortCut)); }

WideString WideMenuItemHint(TMenuItem* item) {
    if (!item) return u"";
    if (auto* wide = dynamic_cast<TUcMenuItem*>(item)) return wide->WideHint();
    return AnsiToWideDefault(item->Hint());
}

// ---------------------------------------------------------------- TUcMenuItem

namespace {
// Puts the accelerator marks of source (the toolkit's 8-bit caption,
// widened) into dest (the wide caption) where the toolkit moved them.
void SyncHotKeyPosition(const WideString& source, WideString& dest) {
    if (WideToAnsiDefault(source) == WideToAnsiDefault(dest)) return;
    WideString result;
    for (WideChar c : dest)
        if (c != u'&') result += c;
    for (size_t i = 0; i < source.size(); ++i)
        if (source[i] == u'&' && i <= result.size()) result.insert(i, 1, u'&');
    dest = result;
    if (WideToAnsiDefault(source) != WideToAnsiDefault(dest))
        throw EUcInternalError("Internal Error: SyncHotKeyPosition Failed (\"" + WideToAnsiDefault(source) + "\" <> \"" +
                               WideToAnsiDefault(dest) + "\").");
}
}  // namespace

WideString TUcMenuItem::WideCaption() const {
    const std::string ansi = Caption();
    if (WideToAnsiDefault(caption_) != ansi && WideSameCaptionExact(AnsiToWideDefault(WideToAnsiDefault(caption_)), AnsiToWideDefault(ansi)))
        SyncHotKeyPosition(AnsiToWideDefault(ansi), caption_);
    return UcGetSyncedWideString(caption_, ansi);
}

void TUcMenuItem::SetWideCaption(const WideString& caption) {
    WideCaption();
    UcSetSyncedWideString(caption, caption_, Caption(), [this](const std::string& value) { SetCaption(value); });
}

WideString TUcMenuItem::WideHint() const { return UcGetSyncedWideString(hint_, Hint()); }

void TUcMenuItem::SetWideHint(const WideString& hint) {
    UcSetSyncedWideString(hint, hint_, Hint(), [this](const std::string& value) { SetHint(value); });
}

std::unique_ptr<TActionLink> TUcMenuItem::CreateActionLink() { return std::make_unique<TUcMenuActionLink>(this); }

void TUcMenuItem::ActionChange(TBasicAction* sender, bool checkDefaults) {
    if (dynamic_cast<TCustomAction*>(sender) && IsWideAction(sender)) {
        if (!checkDefaults || WideCaption().empty()) SetWideCaption(WideActionCaption(sender));
        if (!checkDefaults || WideHint().empty()) SetWideHint(WideActionHint(sender));
    }
    TMenuItem::ActionChange(sender, checkDefaults);
}

bool TUcMenuActionLink::IsCaptionLinked() const {
    return TMenuActionLink::IsCaptionLinked() && WideSameCaption(WideItem().WideCaption(), WideActionCaption(Action()));
}

bool TUcMenuActionLink::IsHintLinked() const {
    return TMenuActionLink::IsHintLinked() && WideItem().WideHint() == WideActionHint(Action());
}

void TUcMenuActionLink::SetCaption(const std::string& value) {
    if (IsCaptionLinked()) WideItem().SetWideCaption(LinkSideActionCaption(Action(), AnsiToWideDefault(value)));
}

void TUcMenuActionLink::SetHint(const std::string& value) {
    if (IsHintLinked()) WideItem().SetWideHint(LinkSideActionHint(Action(), AnsiToWideDefault(value)));
}

// ---------------------------------------------------------------- pop-up menus

void TUcPopupList::MenuSelect(TPopupMenu&, TMenuItem* item) {
    UcApplication().SetWideHint(item ? UcLongHint(WideMenuItemHint(item)) : u"");
}

void TUcPopupMenu::Popup(int x, int y) {
    static TUcPopupList list;
    TPopupList* previous = SetPopupList(&list);
    try {
        TPopupMenu::Popup(x, y);
    } catch (...) {
        SetPopupList(previous);
        throw;
    }
    SetPopupList(previous);
}
