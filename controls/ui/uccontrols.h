// Wide captions and hints for any control of the toolkit, and the base of
// every Unicode control class.
//
// The toolkit keeps captions and hints in the system code page. A control
// with a window keeps its caption in the window, which is wide on every
// platform plugin, so its wide caption is the window's text. Every other
// control (no window, or none yet) keeps its wide caption and hint in a side
// object, its helper, beside the 8-bit text the toolkit sees; when the
// toolkit's 8-bit text changes behind the helper's back, the helper takes it
// again (the synced pair of ucclasses.h). Hints always live in the helper.
#pragma once

#include <type_traits>

#include "controls/ucclasses.h"
#include "platform/ui/actions.h"
#include "platform/ui/application.h"
#include "platform/ui/control.h"

class TWideControlHelper : public TWideComponentHelper {
public:
    TControl& Control() const { return *control_; }
    WideString Caption;
    WideString Hint;

private:
    friend class TWideComponentHelper;
    TWideControlHelper(const void* component, TControl* control);
    TControl* control_;
    // Hears of the control's going and lets the helper go with it.
    std::unique_ptr<TComponent> watcher_;
};

// The control's helper (made when missing and create is set), or nullptr.
TWideControlHelper* FindWideControlHelper(TControl& control, bool create);

WideString UcControlGetText(TControl& control);
void UcControlSetText(TControl& control, const WideString& text);
// The helper's caption, or the default when the control has no helper.
WideString UcControlGetHelperText(TControl& control, const WideString& defaultText);
// Keeps the caption in the helper and gives the control its 8-bit form.
void UcControlSetHelperText(TControl& control, const WideString& text);
WideString UcControlGetHint(TControl& control);
void UcControlSetHint(TControl& control, const WideString& hint);
// Whether the wide caption and hint are the control's own (not its
// action's).
bool UcControlIsCaptionStored(TControl& control);
bool UcControlIsHintStored(TControl& control);
// The wide hint of the control, or of its nearest parent that has one.
WideString UcGetEffectiveHint(TControl* control);
// The part before / after the first "|" (all of it without one).
WideString UcShortHint(const WideString& hint);
WideString UcLongHint(const WideString& hint);
bool IsWindowTextMessage(uint32_t msg);

// A character above 255 carried through 8-bit key handling in a WM_CHAR
// record: the handlers see 255, the high word keeps the character.
void StashWideCharInWMChar(TMessage& message);
void UnstashWideCharInWMChar(TMessage& message);
WideChar WideCharOfWMChar(const TMessage& message);
void InitWMCharMessage(TMessage& message, WideChar c);

// A new window of a Unicode control takes the wide caption the control had
// (its helper's, which wins over the 8-bit caption); a window that goes
// while its control stays leaves its caption in the helper.
void UcWindowCreated(TWinControl& control);
void UcWindowDestroying(TWinControl& control);

// The hint-show fix-up (the hint window's side, uchintwindow.cpp).
void UcPrepareHintInfo(TMessage& message);

// The link of a Unicode control to its action: wide captions and hints.
class TUcControlActionLink : public TActionLink {
public:
    explicit TUcControlActionLink(TControl* control) : TActionLink(control) {}
    bool IsCaptionLinked() const override;
    bool IsHintLinked() const override;
    void SetCaption(const std::string& value) override;
    void SetHint(const std::string& value) override;

private:
    TControl& ClientControl() const { return *static_cast<TControl*>(Client()); }
};

// The wide part of a Unicode control's ActionChange.
void UcControlActionChange(TControl& control, TBasicAction* action, bool checkDefaults);

// A Unicode control class: a toolkit control class with a wide Caption and
// Hint, the hint-show fix-up and wide action links.
template <typename Base>
class TUcControl : public Base {
public:
    explicit TUcControl(TComponent* owner) : Base(owner) {
        this->HandleMessage(CM_HINTSHOW, [](TMessage& m, const TMessageHandler& inherited) {
            UcPrepareHintInfo(m);
            inherited(m);
        });
    }
    using Base::SetText;
    WideString Caption() { return UcControlGetText(*this); }
    void SetCaption(const WideString& text) { UcControlSetText(*this, text); }
    WideString Text() { return UcControlGetText(*this); }
    void SetText(const WideString& text) { UcControlSetText(*this, text); }
    WideString Hint() { return UcControlGetHint(*this); }
    void SetHint(const WideString& hint) { UcControlSetHint(*this, hint); }

protected:
    std::unique_ptr<TActionLink> CreateActionLink() override { return std::make_unique<TUcControlActionLink>(this); }
    void ActionChange(TBasicAction* sender, bool checkDefaults) override {
        UcControlActionChange(*this, sender, checkDefaults);
        Base::ActionChange(sender, checkDefaults);
    }
};

// A windowed one also keeps its wide caption when its window is made again.
template <typename Base>
class TUcWinControl : public TUcControl<Base> {
public:
    explicit TUcWinControl(TComponent* owner) : TUcControl<Base>(owner) {}

protected:
    void CreateWnd() override {
        Base::CreateWnd();
        UcWindowCreated(*this);
    }
    void DestroyWnd() override {
        UcWindowDestroying(*this);
        Base::DestroyWnd();
    }
};
