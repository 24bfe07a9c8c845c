#include "platform/ui/qt/qt_testing.h"

#include <QtTest/QTest>

#include <cstring>

#include "platform/bitmap.h"

#include "platform/ui/qt/qt_backend.h"

namespace QtTesting {

namespace {
QWidget* WidgetOf(TWinControl& control) {
    TQtWindow* window = TQtBackend::WindowOf(control);
    return window ? window->Outer() : nullptr;
}

QWidget* InputWidgetOf(TWinControl& control) {
    TQtWindow* window = TQtBackend::WindowOf(control);
    return window ? window->Client() : nullptr;
}

// The menus that lead to the item's action: the bar, then each menu down.
bool OpenTo(TWinControl& form, TMenuItem& item, QWidget*& holder, QAction*& action) {
    TQtWindow* window = TQtBackend::WindowOf(form);
    if (!window || !window->Menu()) return false;
    std::vector<TMenuItem*> path;
    for (TMenuItem* at = &item; at && at->Parent(); at = at->Parent()) path.insert(path.begin(), at);
    holder = window->Menu()->Bar();
    for (size_t i = 0; i < path.size(); ++i) {
        action = window->Menu()->ActionOf(path[i]->Command());
        if (!action || !holder) return false;
        if (i + 1 == path.size()) return true;
        // Open the submenu by clicking its title.
        QRect geometry;
        if (auto* bar = qobject_cast<QMenuBar*>(holder)) geometry = bar->actionGeometry(action);
        else if (auto* menu = qobject_cast<QMenu*>(holder)) geometry = menu->actionGeometry(action);
        QTest::mouseClick(holder, Qt::LeftButton, {}, geometry.center());
        QMenu* sub = action->menu();
        if (!sub || !WaitUntil([sub] { return sub->isVisible(); }, 3000)) return false;
        holder = sub;
    }
    return false;
}

QRect ActionGeometry(QWidget* holder, QAction* action) {
    if (auto* bar = qobject_cast<QMenuBar*>(holder)) return bar->actionGeometry(action);
    if (auto* menu = qobject_cast<QMenu*>(holder)) return menu->actionGeometry(action);
    return {};
}
}  // namespace

bool Running() { return dynamic_cast<TQtBackend*>(&Application().Backend()) != nullptr; }

void ProcessEvents(int ms) {
    Application().ProcessMessages();
    if (ms <= 0) {
        QCoreApplication::processEvents();
    } else {
        QTest::qWait(ms);
    }
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
    return QTest::qWaitFor(done, timeoutMs);
}

std::u16string WindowTitle(TWinControl& form) {
    QWidget* widget = WidgetOf(form);
    return widget ? FromQString(widget->window()->windowTitle()) : u"";
}

bool WindowVisible(TWinControl& control) {
    QWidget* widget = WidgetOf(control);
    return widget && widget->isVisible();
}

TRect ScreenGeometry(TWinControl& control) {
    QWidget* widget = WidgetOf(control);
    if (!widget) return {};
    const QPoint at = widget->mapToGlobal(QPoint(0, 0));
    return {at.x(), at.y(), at.x() + widget->width(), at.y() + widget->height()};
}

bool ActivateWindow(TWinControl& form) {
    QWidget* widget = WidgetOf(form);
    if (!widget) return false;
    widget->show();
    widget->activateWindow();
    return QTest::qWaitForWindowActive(widget, 3000);
}

void KeyClick(TWinControl& control, uint16_t key, const std::u16string& text, TShiftState shift) {
    QWidget* widget = InputWidgetOf(control);
    if (!widget) return;
    Qt::KeyboardModifiers modifiers;
    if (shift & ssShift) modifiers |= Qt::ShiftModifier;
    if (shift & ssCtrl) modifiers |= Qt::ControlModifier;
    if (shift & ssAlt) modifiers |= Qt::AltModifier;
    const int qtKey = key ? QtKeyOfVirtualKey(key) : 0;
    QTest::sendKeyEvent(QTest::Press, widget, static_cast<Qt::Key>(qtKey), ToQString(text), modifiers);
    QTest::sendKeyEvent(QTest::Release, widget, static_cast<Qt::Key>(qtKey), ToQString(text), modifiers);
}

static QWidget* MouseWidgetOf(TWinControl& control) {
    TQtWindow* window = TQtBackend::WindowOf(control);
    return window ? window->MouseWidget() : nullptr;
}

void MouseMove(TWinControl& control, int x, int y) {
    if (QWidget* widget = MouseWidgetOf(control)) QTest::mouseMove(widget, QPoint(x, y));
}

void MouseClick(TWinControl& control, int x, int y) {
    if (QWidget* widget = MouseWidgetOf(control)) QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(x, y));
}

void MouseLeave(TWinControl& control) {
    if (QWidget* widget = InputWidgetOf(control)) {
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(widget, &leave);
    }
}

void MousePress(TWinControl& control, int x, int y) {
    if (QWidget* widget = InputWidgetOf(control)) QTest::mousePress(widget, Qt::LeftButton, {}, QPoint(x, y));
}

void MouseDrag(TWinControl& control, int x, int y) {
    QWidget* widget = InputWidgetOf(control);
    if (!widget) return;
    // A move with the button held, straight to the widget as Qt's implicit
    // grab would deliver it.
    const QPointF local(x, y);
    QMouseEvent move(QEvent::MouseMove, local, widget->mapToGlobal(local), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &move);
}

void MouseRelease(TWinControl& control, int x, int y) {
    if (QWidget* widget = InputWidgetOf(control)) QTest::mouseRelease(widget, Qt::LeftButton, {}, QPoint(x, y));
}

void MouseWheel(TWinControl& control, int x, int y, int delta) {
    QWidget* widget = InputWidgetOf(control);
    if (!widget) return;
    const QPointF local(x, y);
    QWheelEvent wheel(local, widget->mapToGlobal(local), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(widget, &wheel);
}

bool SaveWindowPicture(TWinControl& control, const std::string& path) {
    QWidget* widget = WidgetOf(control);
    return widget && widget->grab().save(QString::fromStdString(path), "PNG");
}

bool GrabWindow(TWinControl& control, TBitmap& picture, double& devicePixelRatio) {
    QWidget* widget = WidgetOf(control);
    if (!widget) return false;
    const QImage image = widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
    devicePixelRatio = widget->devicePixelRatioF();
    picture.SetPixelFormat(TPixelFormat::pf32bit);
    picture.SetSize(image.width(), image.height());
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(picture.ScanLine(y), image.constScanLine(y), static_cast<size_t>(image.width()) * 4);
    return true;
}

bool WindowCursorPicture(TWinControl& control, TBitmap& picture, TPoint& hotSpot) {
    TQtWindow* window = TQtBackend::WindowOf(control);
    QWidget* widget = window ? window->MouseWidget() : nullptr;
    if (!widget) return false;
    const QCursor cursor = widget->cursor();
    if (cursor.shape() != Qt::BitmapCursor) return false;
    const QImage image = cursor.pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
    picture.SetPixelFormat(TPixelFormat::pf32bit);
    picture.SetSize(image.width(), image.height());
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(picture.ScanLine(y), image.constScanLine(y), static_cast<size_t>(image.width()) * 4);
    hotSpot = {cursor.hotSpot().x(), cursor.hotSpot().y()};
    return true;
}

bool GrabWindow(TWinControl& control, TBitmap& picture) {
    double ratio = 1;
    return GrabWindow(control, picture, ratio);
}

bool ToolWindow(TWinControl& form) {
    QWidget* widget = WidgetOf(form);
    return widget && widget->isWindow() && widget->windowType() == Qt::Tool;
}

namespace {
QColorDialog* OpenColorDialog() { return qobject_cast<QColorDialog*>(QApplication::activeModalWidget()); }
uint32_t ToolkitColor(const QColor& c) { return static_cast<uint32_t>(c.red() | c.green() << 8 | c.blue() << 16); }
}  // namespace

bool ColorDialogCustomColor(int i, uint32_t& color) {
    if (!OpenColorDialog()) return false;
    color = ToolkitColor(QColorDialog::customColor(i));
    return true;
}

bool AcceptColorDialog(uint32_t color, int customIndex) {
    QColorDialog* dialog = OpenColorDialog();
    if (!dialog) return false;
    const QColor qt(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
    if (customIndex >= 0) QColorDialog::setCustomColor(customIndex, qt);
    dialog->setCurrentColor(qt);
    dialog->accept();
    return true;
}

TMenuItemState MenuItemState(TWinControl& form, TMenuItem& item) {
    TMenuItemState state;
    TQtWindow* window = TQtBackend::WindowOf(form);
    QAction* action = window && window->Menu() ? window->Menu()->ActionOf(item.Command()) : nullptr;
    if (!action) return state;
    state.Found = true;
    state.Enabled = action->isEnabled();
    state.Visible = action->isVisible();
    state.Separator = action->isSeparator();
    state.Text = FromQString(action->text());
    state.ShortCut = FromQString(action->shortcut().toString(QKeySequence::NativeText));
    return state;
}

bool HoverMenuItem(TWinControl& form, TMenuItem& item) {
    while (QWidget* popup = QApplication::activePopupWidget()) popup->close();
    QWidget* holder = nullptr;
    QAction* action = nullptr;
    if (!OpenTo(form, item, holder, action)) return false;
    QTest::mouseMove(holder, ActionGeometry(holder, action).center());
    return true;
}

bool ClickMenuItem(TWinControl& form, TMenuItem& item) {
    // From a closed menu bar, as a user starts.
    while (QWidget* popup = QApplication::activePopupWidget()) popup->close();
    QWidget* holder = nullptr;
    QAction* action = nullptr;
    if (!OpenTo(form, item, holder, action)) return false;
    const QPoint at = ActionGeometry(holder, action).center();
    QTest::mouseMove(holder, at);
    QTest::mouseClick(holder, Qt::LeftButton, {}, at);
    return true;
}

bool PopupOpen() { return QApplication::activePopupWidget() != nullptr; }

bool ClosePopup() {
    QWidget* popup = QApplication::activePopupWidget();
    if (!popup) return false;
    popup->close();
    return true;
}

bool ModalOpen() { return QApplication::activeModalWidget() != nullptr; }

bool CloseModal() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal) return false;
    if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
    else modal->close();
    return true;
}

std::u16string SystemClipboardText() { return FromQString(QGuiApplication::clipboard()->text()); }

void ChangePalette(uint32_t buttonColor) {
    QPalette palette = QApplication::palette();
    palette.setColor(QPalette::Button, QColor(int(buttonColor & 255), int(buttonColor >> 8 & 255), int(buttonColor >> 16 & 255)));
    QApplication::setPalette(palette);
    QCoreApplication::processEvents();
}

// ---------------------------------------------------------------- scroll bars

namespace {
QScrollBar* ScrollBarOf(TWinControl& control, int bar) {
    TQtWindow* window = TQtBackend::WindowOf(control);
    return window && window->Box() ? window->Box()->Bar(bar) : nullptr;
}
}  // namespace

TScrollBarState ScrollBarState(TWinControl& control, int bar) {
    TScrollBarState state;
    QScrollBar* scrollBar = ScrollBarOf(control, bar);
    if (!scrollBar) return state;
    state.Found = true;
    state.Visible = scrollBar->isVisible();
    state.Enabled = scrollBar->isEnabled();
    state.Min = scrollBar->minimum();
    state.Page = scrollBar->pageStep();
    state.Max = scrollBar->maximum() + state.Page - 1;
    state.Position = scrollBar->value();
    const QRect r = scrollBar->geometry();
    state.Geometry = {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
    return state;
}

void ClickScrollBar(TWinControl& control, int bar, int x, int y) {
    if (QScrollBar* scrollBar = ScrollBarOf(control, bar)) QTest::mouseClick(scrollBar, Qt::LeftButton, {}, QPoint(x, y));
}

void DragScrollBar(TWinControl& control, int bar, int position) {
    QScrollBar* scrollBar = ScrollBarOf(control, bar);
    if (!scrollBar) return;
    // As the thumb's drag does: the slider moves while pressed, then lets go.
    scrollBar->setSliderDown(true);
    scrollBar->setSliderPosition(position);
    scrollBar->setSliderDown(false);
}

}  // namespace QtTesting
