// The Unicode label, edit, button and status line: the toolkit's controls
// with wide captions (a label and the status line paint theirs with our
// canvas; the edit and the button are the platform's widgets, wide already).
#pragma once

#include "controls/ui/uccontrols.h"
#include "platform/ui/stdctrls.h"

class TUcLabel : public TUcControl<TLabel> {
public:
    explicit TUcLabel(TComponent* owner) : TUcControl<TLabel>(owner) {}
    void SetCaption(const WideString& text) {
        UcControlSetText(*this, text);
        AdjustSize();
    }

protected:
    std::u16string DisplayText() const override;
};

class TUcEdit : public TUcWinControl<TEdit> {
public:
    explicit TUcEdit(TComponent* owner) : TUcWinControl<TEdit>(owner) {}
    // Replaces the selection (inserts at the caret without one).
    void SetSelText(const WideString& text);
};

class TUcButton : public TUcWinControl<TButton> {
public:
    explicit TUcButton(TComponent* owner) : TUcWinControl<TButton>(owner) {}
};

class TUcStatusBar : public TUcWinControl<TStatusBar> {
public:
    explicit TUcStatusBar(TComponent* owner) : TUcWinControl<TStatusBar>(owner) {}
    WideString SimpleText() const { return simpleText_; }
    void SetSimpleText(const WideString& text);

protected:
    std::u16string DisplayText() const override { return simpleText_; }

private:
    WideString simpleText_;
};
