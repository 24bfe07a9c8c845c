// The Qt plugin's insides (only the plugin and its test helpers include
// this). Every native window is a TQtWindow: a standard control's window is
// the Qt widget of its class; any other window is a surface widget that
// shows the pixels its control painted; a top-level form also has a menu
// bar above its surface. Qt owns the event loop: waking the toolkit posts an
// event that runs its messages, and one single-shot timer is armed for the
// next toolkit timer.
#pragma once

#include <atomic>
#include <map>
#include <memory>

#include "platform/ui/qt/qt_pch.h"
#include "platform/ui/application.h"
#include "platform/ui/backend.h"
#include "platform/ui/menus.h"

class TQtWindow;
class TQtWidgetClass;

// The desktop's look (Qt's style and palette) for the toolkit: installed
// with the Qt application, removed before it goes.
void InstallQtTheme();
void RemoveQtTheme();

// Virtual key of a Qt key (0 when it has none) and the shift state of Qt's
// modifiers.
uint16_t QtVirtualKey(int qtKey);
// The Qt cursor of a toolkit cursor: a system shape, or the picture of one
// the program added to the screen's table.
QCursor QtCursor(TCursor cursor);
int QtKeyOfVirtualKey(uint16_t key);
TShiftState QtShiftState(Qt::KeyboardModifiers modifiers);
QKeySequence QtShortCut(TShortCut shortCut);
inline QString ToQString(const std::u16string& text) { return QString::fromStdU16String(text); }
inline std::u16string FromQString(const QString& text) { return text.toStdU16String(); }

// Offers a key press to the control first (WM_KEYDOWN, then WM_CHAR for
// each character of its text): true when it was swallowed whole; otherwise
// text is what is left of the typed text for the widget.
bool OfferKeyToControl(TWinControl& control, QKeyEvent* event, QString& text);
// Offers the key to the control, then hands what is left of it to the
// widget's own handling (pass), changed when the control changed its text.
void PassKeyThroughControl(TWinControl& control, QKeyEvent* event, const std::function<void(QKeyEvent*)>& pass);

// The menu bar (or pop-up menu) built from a menu's item tree. It keeps
// its actions while the tree keeps its shape, updating them in place, and
// builds them again when the shape changed.
class TQtMenuBuilder {
public:
    TQtMenuBuilder(TMenu& menu, QWidget* target);
    ~TQtMenuBuilder();
    void Update();
    QAction* ActionOf(uint32_t command) const;
    // The item of an action, looked up in the tree (nullptr when gone).
    TMenuItem* ItemOf(QAction* action) const;
    QMenuBar* Bar() const { return qobject_cast<QMenuBar*>(target_.data()); }

private:
    void Build();
    void Fill(QWidget* target, TMenuItem& parent);
    void Apply(QAction* action, TMenuItem& item);
    std::vector<uint32_t> Shape() const;
    TMenu& menu_;
    QPointer<QWidget> target_;
    std::vector<uint32_t> shape_;
    std::map<uint32_t, QPointer<QAction>> actions_;
    std::vector<QMenu*> menus_;
};

class TQtBackend : public TUIBackend {
public:
    TQtBackend();
    ~TQtBackend() override;
    std::string Name() const override { return "qt"; }
    std::unique_ptr<TNativeWindow> CreateNativeWindow(TWinControl& control, TNativeWindow* parent) override;
    uint64_t Now() override;
    void WaitForEvents(int64_t timeoutMs) override;
    void Wake() override;
    void PumpEvents() override {}
    int GetSystemMetric(TSystemMetric metric) const override;
    void RunUntil(const std::function<bool()>& done) override;
    void ScheduleTimer(int64_t ms) override;
    void SetClipboard(const TClipboardData& data) override;
    TClipboardData Clipboard() const override;
    int MessageBox(const std::u16string& text, const std::u16string& caption, uint32_t flags) override;
    bool FileDialog(TFileDialogRequest& request) override;
    bool ColorDialog(uint32_t& color, std::vector<uint32_t>& customColors) override;
    bool FontDialog(TCanvasFont& font) override;
    void PopupMenu(TMenu& menu, int x, int y) override;
    bool OpenURL(const std::string& url) override;
    TRect ScreenRect() const override;
    TRect WorkArea() const override;
    double DevicePixelRatio() const override;

    // Runs the toolkit's messages, timers and painting (from Qt's loop).
    void RunToolkit();
    // The window of a control, when it has one here.
    static TQtWindow* WindowOf(TWinControl& control);

private:
    // SIGTERM and SIGINT close the main form as its close box would.
    void WatchTerminationSignals();
    std::unique_ptr<QSocketNotifier> signalNotifier_;
    std::unique_ptr<QApplication> app_;
    std::unique_ptr<QObject> waker_;
    std::unique_ptr<QTimer> timer_;
    QElapsedTimer clock_;
    std::atomic<bool> wakePending_{false};
};

// The surface a control paints: the retained pixels of its last paint, and
// its mouse and key input handed to the toolkit.
class TQtSurface : public QWidget {
public:
    TQtSurface(TWinControl& control, QWidget* parent);
    QImage Image;
    int Frames = 0;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void Mouse(QMouseEvent* event, uint32_t msg);
    TWinControl& control_;
};

// The frame of a child surface with a border or scroll bars: the border
// painted around the surface, and the platform's scroll bars beside it whose
// moves come back to the control as WM_HSCROLL / WM_VSCROLL.
class TQtBox : public QWidget {
public:
    TQtBox(TWinControl& control, QWidget* parent, int border);
    TQtSurface* Surface() const { return surface_; }
    QScrollBar* Bar(int bar) const { return bars_[bar == SB_HORZ ? 0 : 1]; }
    void SetScrollBar(int bar, bool shown, bool enabled, int min, int max, int page, int position);
    // Places the surface and the bars in the box's size.
    void Relayout();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void Action(int bar, int action);
    TWinControl& control_;
    TQtSurface* surface_;
    QScrollBar* bars_[2];
    int border_;
};

class TQtWindow : public TNativeWindow {
public:
    TQtWindow(TWinControl& control, TQtWindow* parent);
    ~TQtWindow() override;

    void SetBounds(const TRect& bounds) override;
    void SetVisible(bool visible) override;
    TBitmap& Surface() override { return surface_; }
    void Present(const TRect& area) override;
    void SetCursor(TCursor cursor) override;
    void SetScrollBar(int bar, bool shown, bool enabled, int min, int max, int page, int position) override;
    void SetText(const std::u16string& text) override;
    std::u16string Text() const override;
    intptr_t ClassProc(uint32_t msg, intptr_t wParam, intptr_t lParam) override;
    void SetEnabled(bool enabled) override;
    void SetFocus() override;
    bool Focused() const override;
    int32_t NonClientTop() const override;
    int32_t BorderWidth(int32_t styled) const override;
    void SetMenu(TMenu* menu) override;
    void MenuChanged() override;
    void SetCapture(bool capture) override;
    void SetModal(bool modal) override;
    TPoint ClientToScreen(const TPoint& point) const override;
    double DevicePixelRatio() const override;
    int FramesShown() const override { return surfaceWidget_ ? surfaceWidget_->Frames : 0; }

    TWinControl& Control() const { return control_; }
    // The widget placed in the parent (the window itself for top-level).
    QWidget* Outer() const { return outer_; }
    // Where child windows go.
    QWidget* Client() const { return client_; }
    // Where mouse input arrives.
    QWidget* MouseWidget() const;
    // The frame with the border and scroll bars (nullptr: none).
    TQtBox* Box() const { return box_; }
    TQtMenuBuilder* Menu() const { return menu_.get(); }
    bool TopLevel() const { return topLevel_; }
    // Qt moved or resized the window: the control hears of it.
    void GeometryChanged();
    bool Syncing = false;

    // The standard control's widget class (nullptr for a surface).
    TQtWidgetClass* WidgetClass() const { return widget_.get(); }

private:
    TWinControl& control_;
    QPointer<QWidget> outer_;
    QWidget* client_ = nullptr;
    TQtSurface* surfaceWidget_ = nullptr;
    std::unique_ptr<TQtWidgetClass> widget_;
    TQtBox* box_ = nullptr;
    TBitmap surface_;
    bool topLevel_ = false;
    std::unique_ptr<TQtMenuBuilder> menu_;
};
