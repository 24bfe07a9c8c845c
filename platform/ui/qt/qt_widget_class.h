// The window classes of the standard controls on the Qt plugin. A standard
// control names its class ("EDIT", "BUTTON", "COMBOBOX", "LISTBOX",
// "SysListView32", "SysTabControl32", "msctls_updown32", ...) in its create
// parameters; the class registered under that name makes the Qt widget and
// answers the class messages the control sends, and turns the widget's
// signals into the notifications the control handles (CN_COMMAND with a
// code in the high word, CN_NOTIFY with a record). Each class lives in a
// file of its own and registers itself when the plugin is linked.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/ui/qt/qt_backend.h"
#include "platform/ui/control.h"
#include "platform/ui/ctrl_messages.h"

class TQtWindow;

class TQtWidgetClass {
public:
    explicit TQtWidgetClass(TQtWindow& window) : window_(window) {}
    virtual ~TQtWidgetClass() = default;
    TQtWidgetClass(const TQtWidgetClass&) = delete;
    TQtWidgetClass& operator=(const TQtWidgetClass&) = delete;

    // The widget placed in the parent window.
    virtual QWidget* Widget() const = 0;
    // Where the windows of child controls go.
    virtual QWidget* ClientWidget() const { return Widget(); }
    // What takes the keyboard focus.
    virtual QWidget* FocusWidget() const { return Widget(); }
    // Where mouse input arrives (the viewport of a scrolling widget).
    virtual QWidget* MouseWidget() const { return Widget(); }
    virtual void SetCursor(const QCursor& cursor) { Widget()->setCursor(cursor); }
    // Whether the widget with the focus is this window's.
    virtual bool HasFocus(QWidget* focus) const { return focus == Widget() || focus == FocusWidget(); }
    virtual void SetText(const std::u16string& text) { text_ = text; }
    virtual std::u16string Text() const { return text_; }
    virtual intptr_t ClassProc(uint32_t msg, intptr_t wParam, intptr_t lParam) { return 0; }
    // Rows above the client widget that the widget itself shows.
    virtual int32_t NonClientTop() const { return 0; }

    TWinControl& Control() const;
    TQtWindow& Window() const { return window_; }
    // The window is going: no more notifications reach the control.
    void Detach() { detached_ = true; }
    bool Detached() const { return detached_; }

protected:
    // A notification to the control (nothing once detached).
    void Command(int code);
    intptr_t Notify(TNMHdr& header, int code);
    // Set while the class itself changes its widget, so that signals of
    // changes the control asked for are not reported back as the user's.
    bool Quiet = false;

private:
    TQtWindow& window_;
    std::u16string text_;
    bool detached_ = false;
};

// Blocks notifications for the life of a programmatic change.
class TQtQuiet {
public:
    explicit TQtQuiet(bool& flag) : flag_(flag), old_(flag) { flag_ = true; }
    ~TQtQuiet() { flag_ = old_; }

private:
    bool& flag_;
    bool old_;
};

using TQtWidgetClassMaker = std::function<std::unique_ptr<TQtWidgetClass>(TQtWindow& window, QWidget* parent)>;
void RegisterQtWindowClass(const std::string& name, TQtWidgetClassMaker maker);
// The common controls' classes (a static library would otherwise drop
// their file, which nothing else refers to).
void RegisterQtCommonWindowClasses();
// The rich edit ("RICHEDIT20W", on a QTextEdit).
void RegisterQtRichEditClass();
// The maker of a class, or nullptr when no class has that name.
const TQtWidgetClassMaker* FindQtWindowClass(const std::string& name);

// A zero-terminated wide string of a message parameter.
inline QString QtTextParam(intptr_t lParam) {
    return lParam ? QString::fromUtf16(reinterpret_cast<const char16_t*>(lParam)) : QString();
}
// Copies text with its NUL into a caller's buffer; answers the length.
intptr_t QtCopyText(const QString& text, intptr_t buffer);

// A widget that offers each key press to its control first (WM_KEYDOWN,
// then WM_CHAR for each character): a swallowed key never reaches the
// widget, a replaced character reaches it replaced.
template <typename Base>
class TQtKeyOffering : public Base {
public:
    template <typename... Args>
    TQtKeyOffering(TWinControl& control, Args&&... args) : Base(std::forward<Args>(args)...), control_(control) {}

protected:
    void keyPressEvent(QKeyEvent* event) override {
        PassKeyThroughControl(control_, event, [this](QKeyEvent* key) { Base::keyPressEvent(key); });
    }

    TWinControl& control_;
};

// Qt gives a widget whose text has an accelerator ("&File") a shortcut of
// its own; the toolkit's controls decide about accelerators themselves, so
// the shortcut goes to the control's form as the character typed with Alt
// (CM_DIALOGCHAR). True when the event was such a shortcut.
bool RouteQtMnemonic(TWinControl& control, QEvent* event);

template <typename Base>
class TQtAccelRouted : public Base {
public:
    template <typename... Args>
    TQtAccelRouted(TWinControl& control, Args&&... args) : Base(std::forward<Args>(args)...), control_(control) {}

protected:
    bool event(QEvent* event) override { return RouteQtMnemonic(control_, event) || Base::event(event); }

private:
    TWinControl& control_;
};
