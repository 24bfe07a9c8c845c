// The standard controls the toolkit's own code needs: a label painted with
// the canvas, an edit and a push button that are the platform's widgets
// (window classes "EDIT" and "BUTTON"), and a status line painted with the
// canvas. Their Unicode descendants live above this folder.
#pragma once

#include "platform/canvas.h"
#include "platform/colour.h"
#include "platform/ui/control.h"

class TLabel : public TGraphicControl {
public:
    explicit TLabel(TComponent* owner);
    TCanvasFont Font;
    bool Transparent = true;
    TColor Color;
    // Sizes the label to its text.
    bool AutoSize = true;
    void SetText(const std::string& text) override;
    void Paint(TCanvas& canvas) override;

protected:
    // The text drawn (wide: a wide label gives its own).
    virtual std::u16string DisplayText() const;
    void AdjustSize();
};

// A control whose window is one of the platform's standard controls: it
// sends the class messages and hears the reflected notifications.
class TStandardControl : public TWinControl {
public:
    explicit TStandardControl(TComponent* owner) : TWinControl(owner) {}
    // A class message to the window (0 without one).
    intptr_t SendClassMessage(uint32_t msg, intptr_t wParam = 0, intptr_t lParam = 0);
};

class TEdit : public TStandardControl {
public:
    explicit TEdit(TComponent* owner);
    void SelectAll() { SendClassMessage(EM_SETSEL, 0, -1); }
    void CopyToClipboard() { SendClassMessage(WM_COPY); }
    void CutToClipboard() { SendClassMessage(WM_CUT); }
    void PasteFromClipboard() { SendClassMessage(WM_PASTE); }
    TNotifyEvent OnChange;

protected:
    void CreateParams(TCreateParams& params) override;
};

class TButton : public TStandardControl {
public:
    explicit TButton(TComponent* owner);

protected:
    void CreateParams(TCreateParams& params) override;
};

class TStatusBar : public TCustomControl {
public:
    explicit TStatusBar(TComponent* owner);
    TCanvasFont Font;
    TColor Color;
    const std::string& SimpleText() const { return simpleText_; }
    void SetSimpleText(const std::string& text);

protected:
    void Paint() override;
    virtual std::u16string DisplayText() const;

private:
    std::string simpleText_;
};
