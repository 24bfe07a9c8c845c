#include <QtGui/QCursor>
#include <QtGui/QPixmap>

#include <cmath>
#include <cstring>

#include "platform/ui/qt/qt_backend.h"
#include "platform/ui/qt/qt_widget_class.h"
#include "platform/ui/forms.h"

namespace {

// The window of a top-level form: a menu bar above the surface; closing it
// asks the form (WM_CLOSE) instead of closing, and moves and resizes by the
// desktop reach the control.
class TQtFrame : public QWidget {
public:
    TQtFrame(TQtWindow& window, Qt::WindowFlags flags) : QWidget(nullptr, flags), window_(window) {}

protected:
    void closeEvent(QCloseEvent* event) override {
        event->ignore();
        QPointer<QWidget> self(this);
        window_.Control().Perform(WM_CLOSE);
    }
    void moveEvent(QMoveEvent*) override { window_.GeometryChanged(); }
    void resizeEvent(QResizeEvent*) override { window_.GeometryChanged(); }

private:
    TQtWindow& window_;
};

}  // namespace

QCursor QtCursor(TCursor cursor) {
    // A cursor the program added to the screen's table shows its picture.
    if (const TCursorPicture* picture = FindScreenCursor(cursor)) {
        if (picture->SystemCursor != crDefault && picture->SystemCursor != cursor) return QtCursor(picture->SystemCursor);
        const TBitmap& image = picture->Image;
        if (!image.Empty() && image.PixelFormat() == TPixelFormat::pf32bit) {
            QImage shape(image.Width(), image.Height(), QImage::Format_ARGB32);
            for (int y = 0; y < image.Height(); ++y)
                std::memcpy(shape.scanLine(y), image.ScanLine(y), static_cast<size_t>(image.Width()) * 4);
            return QCursor(QPixmap::fromImage(shape), picture->HotSpot.X, picture->HotSpot.Y);
        }
    }
    switch (cursor) {
        case crNone: return Qt::BlankCursor;
        case crCross: return Qt::CrossCursor;
        case crIBeam: return Qt::IBeamCursor;
        case crSizeNESW: return Qt::SizeBDiagCursor;
        case crSizeNS: return Qt::SizeVerCursor;
        case crSizeNWSE: return Qt::SizeFDiagCursor;
        case crSizeWE: return Qt::SizeHorCursor;
        case crHourGlass: return Qt::WaitCursor;
        case crHandPoint: return Qt::PointingHandCursor;
        case crSizeAll: return Qt::SizeAllCursor;
    }
    return Qt::ArrowCursor;
}

namespace {

// The picture a surface shows: its memory comes as the surface's own does
// (a large one mapped with its pages present), freed with the image.
QImage SurfaceImage(int w, int h) {
    if (w <= 0 || h <= 0) return QImage();
    struct TBlock {
        void* Pixels;
        size_t Bytes;
    };
    const size_t bytes = static_cast<size_t>(w) * static_cast<size_t>(h) * 4;
    auto* block = new TBlock{AllocateZeroedBlock(bytes), bytes};
    return QImage(
        static_cast<uchar*>(block->Pixels), w, h, static_cast<qsizetype>(w) * 4, QImage::Format_RGB32,
        [](void* info) {
            auto* freed = static_cast<TBlock*>(info);
            FreeZeroedBlock(freed->Pixels, freed->Bytes);
            delete freed;
        },
        block);
}

intptr_t MouseKeys(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers) {
    intptr_t keys = 0;
    if (buttons & Qt::LeftButton) keys |= MK_LBUTTON;
    if (buttons & Qt::RightButton) keys |= MK_RBUTTON;
    if (buttons & Qt::MiddleButton) keys |= MK_MBUTTON;
    if (modifiers & Qt::ShiftModifier) keys |= MK_SHIFT;
    if (modifiers & Qt::ControlModifier) keys |= MK_CONTROL;
    return keys;
}

}  // namespace

void PassKeyThroughControl(TWinControl& control, QKeyEvent* event, const std::function<void(QKeyEvent*)>& pass) {
    QString text;
    if (OfferKeyToControl(control, event, text)) {
        event->accept();
        return;
    }
    if (text == event->text()) {
        pass(event);
        return;
    }
    QKeyEvent changed(event->type(), text.isEmpty() ? event->key() : 0, event->modifiers(), text,
                      event->isAutoRepeat(), static_cast<ushort>(event->count()));
    pass(&changed);
}

// ---------------------------------------------------------------- TQtSurface

TQtSurface::TQtSurface(TWinControl& control, QWidget* parent) : QWidget(parent), control_(control) {
    setMouseTracking(true);
    setFocusPolicy(Qt::ClickFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TQtSurface::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    // What the control has not painted (yet) shows the window's colour.
    QRegion bare(event->rect());
    if (!Image.isNull()) {
        // The image holds scale device pixels a side for each of ours.
        const int scale = std::max(1, static_cast<int>(Image.devicePixelRatio()));
        const QRect painted = event->rect() & QRect(0, 0, Image.width() / scale, Image.height() / scale);
        painter.drawImage(QRectF(painted), Image,
                          QRectF(painted.x() * scale, painted.y() * scale, painted.width() * scale, painted.height() * scale));
        bare -= painted;
        ++Frames;
        // Moved to a screen of another density: the control paints anew.
        if (scale != static_cast<int>(std::ceil(devicePixelRatioF() - 0.01)) && !control_.NeedsPaint())
            control_.Invalidate();
    }
    for (const QRect& r : bare) painter.fillRect(r, palette().window());
}

void TQtSurface::Mouse(QMouseEvent* event, uint32_t msg) {
    const QPoint at = event->position().toPoint();
    Application().MouseInput(control_, msg, at.x(), at.y(), MouseKeys(event->buttons(), event->modifiers()));
}

void TQtSurface::mousePressEvent(QMouseEvent* event) {
    switch (event->button()) {
        case Qt::LeftButton: Mouse(event, WM_LBUTTONDOWN); break;
        case Qt::RightButton: Mouse(event, WM_RBUTTONDOWN); break;
        case Qt::MiddleButton: Mouse(event, WM_MBUTTONDOWN); break;
        default: break;
    }
}

void TQtSurface::mouseReleaseEvent(QMouseEvent* event) {
    switch (event->button()) {
        case Qt::LeftButton: Mouse(event, WM_LBUTTONUP); break;
        case Qt::RightButton: Mouse(event, WM_RBUTTONUP); break;
        case Qt::MiddleButton: Mouse(event, WM_MBUTTONUP); break;
        default: break;
    }
}

void TQtSurface::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) Mouse(event, WM_LBUTTONDBLCLK);
}

void TQtSurface::mouseMoveEvent(QMouseEvent* event) { Mouse(event, WM_MOUSEMOVE); }

void TQtSurface::wheelEvent(QWheelEvent* event) {
    const QPoint at = event->position().toPoint();
    const intptr_t keys = MouseKeys(event->buttons(), event->modifiers());
    Application().MouseInput(control_, WM_MOUSEWHEEL, at.x(), at.y(),
                             MakeWParam(static_cast<int>(keys), event->angleDelta().y()));
}

void TQtSurface::leaveEvent(QEvent*) { Application().MouseLeave(control_); }

void TQtSurface::closeEvent(QCloseEvent* event) {
    // Qt closes a pop-up when the mouse goes down outside it: the control
    // hears WM_CLOSE and hides its window itself, so the toolkit knows; one
    // that does not is hidden all the same.
    event->ignore();
    control_.Perform(WM_CLOSE);
    if (control_.Visible()) control_.SetVisible(false);
}

void TQtSurface::keyPressEvent(QKeyEvent* event) {
    QString text;
    OfferKeyToControl(control_, event, text);
}

void TQtSurface::keyReleaseEvent(QKeyEvent* event) {
    if (uint16_t key = QtVirtualKey(event->key())) control_.Perform(WM_KEYUP, key, QtShiftState(event->modifiers()));
}

void TQtSurface::changeEvent(QEvent* event) {
    // A new desktop palette is the toolkit's change of system colours.
    if (event->type() == QEvent::PaletteChange && isWindow()) control_.Perform(WM_SYSCOLORCHANGE);
    QWidget::changeEvent(event);
}

// ---------------------------------------------------------------- TQtWindow

TQtWindow::TQtWindow(TWinControl& control, TQtWindow* parent) : control_(control) {
    const TCreateParams& params = control.Params();
    QWidget* parentWidget = parent ? parent->Client() : nullptr;
    topLevel_ = parentWidget == nullptr;
    const std::string& cls = params.WinClassName;
    if (const TQtWidgetClassMaker* maker = FindQtWindowClass(cls)) {
        widget_ = (*maker)(*this, parentWidget);
        outer_ = widget_->Widget();
        client_ = widget_->ClientWidget();
    } else if (topLevel_ && (params.Style & WS_POPUP)) {
        // A pop-up (the hint window): no frame, never takes the focus.
        Qt::WindowFlags flags = Qt::FramelessWindowHint;
        flags |= (params.ExStyle & WS_EX_TOOLWINDOW) ? Qt::ToolTip : Qt::Popup;
        surfaceWidget_ = new TQtSurface(control, nullptr);
        surfaceWidget_->setWindowFlags(flags);
        surfaceWidget_->setAttribute(Qt::WA_ShowWithoutActivating);
        outer_ = client_ = surfaceWidget_;
    } else if (topLevel_) {
        // A tool window (a torn-off palette) floats over its owner's window.
        Qt::WindowFlags flags = (params.ExStyle & WS_EX_TOOLWINDOW) ? Qt::Tool : Qt::Window;
        if (params.ExStyle & WS_EX_TOPMOST) flags |= Qt::WindowStaysOnTopHint;
        auto* frame = new TQtFrame(*this, flags);
        auto* layout = new QVBoxLayout(frame);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        surfaceWidget_ = new TQtSurface(control, frame);
        layout->addWidget(surfaceWidget_);
        outer_ = frame;
        client_ = surfaceWidget_;
    } else if ((params.Style & (WS_BORDER | WS_HSCROLL | WS_VSCROLL)) || (params.ExStyle & WS_EX_CLIENTEDGE)) {
        const int border = (params.ExStyle & WS_EX_CLIENTEDGE) ? Application().Backend().GetSystemMetric(SM_CXEDGE)
                           : (params.Style & WS_BORDER)       ? Application().Backend().GetSystemMetric(SM_CXBORDER)
                                                              : 0;
        box_ = new TQtBox(control, parentWidget, border);
        surfaceWidget_ = box_->Surface();
        outer_ = box_;
        client_ = surfaceWidget_;
    } else {
        surfaceWidget_ = new TQtSurface(control, parentWidget);
        outer_ = client_ = surfaceWidget_;
    }
}

TQtWindow::~TQtWindow() {
    menu_.reset();
    if (Application().MouseControl() == &control_) Application().MouseLeave(control_);
    if (widget_) widget_->Detach();
    delete outer_.data();
    widget_.reset();
}

void TQtWindow::SetBounds(const TRect& bounds) {
    if (!outer_ || Syncing) return;
    Syncing = true;
    outer_->setGeometry(bounds.Left, bounds.Top, bounds.Right - bounds.Left, bounds.Bottom - bounds.Top);
    Syncing = false;
}

void TQtWindow::GeometryChanged() {
    if (Syncing || !outer_) return;
    Syncing = true;
    const QRect r = outer_->geometry();
    control_.SetBounds(r.x(), r.y(), r.width(), r.height());
    Syncing = false;
}

void TQtWindow::SetVisible(bool visible) {
    if (!outer_) return;
    outer_->setVisible(visible);
    // (The offscreen plugin has no stacking order to change.)
    if (visible && topLevel_ && !(control_.Params().Style & WS_POPUP) && QGuiApplication::platformName() != "offscreen") {
        outer_->raise();
        outer_->activateWindow();
    }
}

void TQtWindow::Present(const TRect& area) {
    if (!surfaceWidget_) return;
    // The surface's rows become the widget's picture (32 bits, blue first
    // in memory: Qt's RGB32).
    // On a high-density screen the surface has scale pixels a side for
    // each layout pixel; the area is in layout pixels.
    const int scale = surface_.DevicePixelRatio();
    const int w = surface_.Width(), h = surface_.Height();
    QRect changed = QRect(area.Left * scale, area.Top * scale, (area.Right - area.Left) * scale,
                          (area.Bottom - area.Top) * scale) &
                    QRect(0, 0, w, h);
    QImage& image = surfaceWidget_->Image;
    if (image.width() != w || image.height() != h || static_cast<int>(image.devicePixelRatio()) != scale) {
        image = SurfaceImage(w, h);
        image.setDevicePixelRatio(scale);
        changed = QRect(0, 0, w, h);
    }
    // Only the painted area changed.
    for (int y = changed.top(); y <= changed.bottom(); ++y)
        std::memcpy(image.scanLine(y) + changed.left() * 4, surface_.ScanLine(y) + changed.left() * 4,
                    static_cast<size_t>(changed.width()) * 4);
    surfaceWidget_->update(QRect(changed.x() / scale, changed.y() / scale, (changed.width() + scale - 1) / scale,
                                 (changed.height() + scale - 1) / scale));
}

void TQtWindow::SetCursor(TCursor cursor) {
    if (!outer_) return;
    const QCursor shown = QtCursor(cursor);
    if (widget_) widget_->SetCursor(shown);
    else outer_->setCursor(shown);
}

QWidget* TQtWindow::MouseWidget() const { return widget_ ? widget_->MouseWidget() : client_; }

void TQtWindow::SetText(const std::u16string& text) {
    if (!outer_) return;
    if (widget_) {
        widget_->SetText(text);
    } else if (topLevel_) {
        outer_->setWindowTitle(ToQString(text));
    } else {
        text_ = text;
    }
}

std::u16string TQtWindow::Text() const {
    if (!outer_) return text_;
    if (widget_) return widget_->Text();
    if (topLevel_) return FromQString(outer_->windowTitle());
    return text_;
}

intptr_t TQtWindow::ClassProc(uint32_t msg, intptr_t wParam, intptr_t lParam) {
    return widget_ && outer_ ? widget_->ClassProc(msg, wParam, lParam) : 0;
}

void TQtWindow::SetEnabled(bool enabled) {
    if (outer_) outer_->setEnabled(enabled);
}

void TQtWindow::SetFocus() {
    if (!outer_) return;
    QWidget* target = widget_ ? widget_->FocusWidget() : client_;
    target->setFocus(Qt::OtherFocusReason);
}

bool TQtWindow::Focused() const {
    if (!outer_) return false;
    QWidget* focus = QApplication::focusWidget();
    if (focus && widget_) return widget_->HasFocus(focus);
    return focus && (focus == outer_ || focus == client_);
}

int32_t TQtWindow::NonClientTop() const {
    if (widget_) return widget_->NonClientTop();
    QMenuBar* bar = menu_ ? menu_->Bar() : nullptr;
    if (!bar || bar->isHidden() || !outer_) return 0;
    // The height the frame's layout gives its menu bar at this width (a
    // narrow window wraps the bar onto more rows).
    int height = bar->heightForWidth(std::max(outer_->width(), bar->minimumWidth()));
    if (height < 0) height = bar->sizeHint().height();
    return std::clamp(height, bar->minimumSizeHint().height(), bar->maximumHeight());
}

int32_t TQtWindow::BorderWidth(int32_t styled) const { return topLevel_ ? 0 : styled; }

void TQtWindow::SetScrollBar(int bar, bool shown, bool enabled, int min, int max, int page, int position) {
    if (box_) box_->SetScrollBar(bar, shown, enabled, min, max, page, position);
}

void TQtWindow::SetMenu(TMenu* menu) {
    menu_.reset();
    if (!topLevel_ || !outer_) return;
    auto* layout = static_cast<QVBoxLayout*>(outer_->layout());
    if (layout && layout->menuBar()) {
        QWidget* bar = layout->menuBar();
        layout->setMenuBar(nullptr);
        delete bar;
    }
    if (!menu || !layout) return;
    auto* bar = new QMenuBar(outer_);
    layout->setMenuBar(bar);
    menu_ = std::make_unique<TQtMenuBuilder>(*menu, bar);
    menu_->Update();
}

void TQtWindow::MenuChanged() {
    if (menu_) menu_->Update();
}

void TQtWindow::SetCapture(bool capture) {
    if (!client_) return;
    if (capture) client_->grabMouse();
    else client_->releaseMouse();
}

void TQtWindow::SetModal(bool modal) {
    if (!outer_ || !topLevel_) return;
    const bool shown = outer_->isVisible();
    if (shown) outer_->hide();
    outer_->setWindowModality(modal ? Qt::ApplicationModal : Qt::NonModal);
    if (shown) outer_->show();
}

TPoint TQtWindow::ClientToScreen(const TPoint& point) const {
    if (!client_) return point;
    const QPoint at = client_->mapToGlobal(QPoint(point.X, point.Y));
    return {at.x(), at.y()};
}

double TQtWindow::DevicePixelRatio() const { return outer_ ? outer_->devicePixelRatioF() : 1.0; }
