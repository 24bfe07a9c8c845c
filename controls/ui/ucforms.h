// Unicode forms and the application's wide texts: forms with a wide
// caption (their window's title) and hint, the application's wide hint
// (what the status line shows, from the control or menu item under the
// mouse) and wide title, and the accelerator test of the wide controls.
#pragma once

#include "controls/ui/uccontrols.h"
#include "platform/ui/forms.h"
#include "platform/ui/scrollbox.h"

class TUcForm : public TUcWinControl<TForm> {
public:
    explicit TUcForm(TComponent* owner);
};

// The scroll box with a wide hint. Size messages nested deeper than 31 (a
// layout that keeps resizing itself) are dropped instead of recursing on.
class TUcScrollBox : public TUcWinControl<TScrollBox> {
public:
    explicit TUcScrollBox(TComponent* owner);

private:
    int sizeDepth_ = 0;
};

class TUcApplication {
public:
    TUcApplication();
    WideString GetWideHint();
    void SetWideHint(const WideString& hint);
    // Re-reads the hint of the control under the mouse in wide text.
    void RefreshWideHint();
    WideString GetWideTitle();
    void SetWideTitle(const WideString& title);

private:
    WideString hint_, title_;
};
// The one application helper of the process.
TUcApplication& UcApplication();

// The long wide hint of the control under the mouse.
WideString MouseControlLongHint();
// Whether the caption's accelerator character is the key's character (in
// any case).
bool WideCaptionAccelMatches(unsigned key, const WideString& caption);
