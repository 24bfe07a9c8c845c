// The platform plugin under the toolkit: native windows with a surface to
// paint on, the clock and the wait for events. Nothing above platform/ui
// sees which plugin runs. The headless plugin keeps every window as an
// in-memory surface and takes its mouse and key events from the caller (tests
// and CI run on it); a plugin for real windows registers itself the same way.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/bitmap.h"
#include "platform/geometry.h"
#include "platform/ui/messages.h"

class TWinControl;
class TMenu;
struct TCanvasFont;

// One native window of a control. Positions are in the parent window's
// client coordinates (the screen's for a top-level window).
class TNativeWindow {
public:
    virtual ~TNativeWindow() = default;
    virtual void SetBounds(const TRect& bounds) = 0;
    virtual void SetVisible(bool visible) = 0;
    // The pixels of the client area (32 bits per pixel), sized by the
    // toolkit before each paint.
    virtual TBitmap& Surface() = 0;
    // The painted area of the surface is ready to be shown.
    virtual void Present(const TRect& area) = 0;
    virtual void SetCursor(TCursor cursor) = 0;
    // The scroll bars drawn by the platform: shown, range, page, position.
    virtual void SetScrollBar(int bar, bool shown, bool enabled, int min, int max, int page, int position) = 0;

    // The window's text: the title of a top-level window, the text of a
    // standard control. Wide on every plugin.
    virtual void SetText(const std::u16string& text) { text_ = text; }
    virtual std::u16string Text() const { return text_; }
    // The procedure of the window's class: the messages a standard control
    // understands (EM_SETSEL, EM_REPLACESEL, WM_COPY, BM_SETCHECK, ...).
    // Answers 0 to what its class does not know.
    virtual intptr_t ClassProc(uint32_t msg, intptr_t wParam, intptr_t lParam) { return 0; }
    virtual void SetEnabled(bool enabled) {}
    virtual void SetFocus() {}
    virtual bool Focused() const { return false; }
    // Rows above the client area that the window itself shows (its menu bar).
    virtual int32_t NonClientTop() const { return 0; }
    // The border the window shows on each side of its client area, given
    // the width its style asks for (a desktop frames a top-level window
    // outside its bounds).
    virtual int32_t BorderWidth(int32_t styled) const { return styled; }
    // The menu bar of a top-level window (nullptr: none). Rebuilt from the
    // menu's item tree whenever the menu says it changed.
    virtual void SetMenu(TMenu* menu) {}
    virtual void MenuChanged() {}
    // Takes every mouse event until released.
    virtual void SetCapture(bool capture) {}
    // Blocks the other top-level windows while shown (a modal form).
    virtual void SetModal(bool modal) {}
    // The position of a client point on the screen.
    virtual TPoint ClientToScreen(const TPoint& point) const { return point; }
    // How many pictures of the window the screen has shown so far.
    virtual int FramesShown() const { return 0; }
    // Device pixels per layout pixel of the screen the window is on.
    virtual double DevicePixelRatio() const { return 1.0; }

protected:
    std::u16string text_;
};

// The screen's cursors beyond the system's own: the ones a program or a
// library adds (by id, as its cursor resources) with their pictures (32
// bits, alpha in the fourth byte) and hot spots. A window whose cursor is
// such an id shows the picture.
struct TCursorPicture {
    TBitmap Image;
    TPoint HotSpot;
    // Not crDefault: the id stands for this system cursor instead.
    TCursor SystemCursor = crDefault;
};
void AddScreenCursor(TCursor id, TCursorPicture picture);
// nullptr for an id nobody added.
const TCursorPicture* FindScreenCursor(TCursor id);

// Answers of a message box (and the buttons it shows).
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;
constexpr uint32_t MB_OK = 0x0;
constexpr uint32_t MB_OKCANCEL = 0x1;
constexpr uint32_t MB_YESNO = 0x4;
constexpr uint32_t MB_ICONERROR = 0x10;
constexpr uint32_t MB_ICONQUESTION = 0x20;
constexpr uint32_t MB_ICONWARNING = 0x30;
constexpr uint32_t MB_ICONINFORMATION = 0x40;

// What the open and save dialogs ask and answer. The filter is the
// toolkit's: "Text|*.txt|All|*" pairs of description and patterns.
struct TFileDialogRequest {
    bool Save = false;
    std::u16string Title;
    std::u16string Filter;
    int FilterIndex = 1;
    std::u16string InitialDir;
    std::u16string FileName;
    bool MultiSelect = false;
    std::vector<std::u16string> Files;  // the answer
};

// Clipboard contents: one entry a format, by MIME type ("text/plain" holds
// UTF-8 text; a private format gets its own type).
using TClipboardData = std::vector<std::pair<std::string, std::string>>;

class TUIBackend {
public:
    virtual ~TUIBackend() = default;
    virtual std::string Name() const = 0;
    virtual std::unique_ptr<TNativeWindow> CreateNativeWindow(TWinControl& control, TNativeWindow* parent) = 0;
    // Milliseconds on a clock that only moves forward.
    virtual uint64_t Now() = 0;
    // Waits until an event arrives, Wake is called or timeout ms pass.
    virtual void WaitForEvents(int64_t timeoutMs) = 0;
    // Ends a wait from any thread.
    virtual void Wake() = 0;
    // Moves the platform's pending input into the application's queue.
    virtual void PumpEvents() = 0;
    virtual int GetSystemMetric(TSystemMetric metric) const = 0;

    // Runs events until done() holds (the toolkit's loop and its nested
    // loops: modal forms, the program's main loop).
    virtual void RunUntil(const std::function<bool()>& done) = 0;
    // The next toolkit timer is due in ms (negative: none is armed).
    virtual void ScheduleTimer(int64_t ms) {}

    virtual void SetClipboard(const TClipboardData& data) { clipboard_ = data; }
    virtual TClipboardData Clipboard() const { return clipboard_; }

    // Modal dialogs of the platform; the headless plugin answers them
    // without asking (a message box gives its first button, the others
    // Cancel) and writes message boxes to the standard error stream.
    virtual int MessageBox(const std::u16string& text, const std::u16string& caption, uint32_t flags);
    virtual bool FileDialog(TFileDialogRequest& request) { return false; }
    // The colour dialog also shows and gives back its 16 custom colours.
    virtual bool ColorDialog(uint32_t& color, std::vector<uint32_t>& customColors) { return false; }
    virtual bool FontDialog(TCanvasFont& font) { return false; }
    // Pops the menu up at a screen point and returns once it is closed.
    virtual void PopupMenu(TMenu& menu, int x, int y) {}
    // Hands an address or a file to the desktop; false when nothing took it.
    virtual bool OpenURL(const std::string& url) { return false; }

    // Screen geometry in layout pixels; the work area leaves out panels.
    virtual TRect ScreenRect() const { return {0, 0, 1024, 768}; }
    virtual TRect WorkArea() const { return ScreenRect(); }
    virtual double DevicePixelRatio() const { return 1.0; }

private:
    TClipboardData clipboard_;
};

// Plugins register a maker under a name; TW_UI_PLATFORM picks one, else
// the first that says it can run here, else "headless".
using TUIBackendMaker = std::function<std::unique_ptr<TUIBackend>()>;
void RegisterUIBackend(const std::string& name, TUIBackendMaker maker, std::function<bool()> canRun);
