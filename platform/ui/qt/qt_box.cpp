#include "platform/ui/qt/qt_backend.h"

#include "platform/colour.h"

namespace {
constexpr TColor clBtnShadow = static_cast<TColor>(0x80000010);
constexpr TColor clBtnHighlight = static_cast<TColor>(0x80000014);
constexpr TColor clWindowFrame = static_cast<TColor>(0x80000006);

QColor QtColor(TColor color) {
    const TColor rgb = ColorToRGB(color);
    return QColor(RedOf(rgb), GreenOf(rgb), BlueOf(rgb));
}

// The scroll code of a slider action (-1: none to send).
int ScrollCode(int action) {
    switch (action) {
        case QAbstractSlider::SliderSingleStepSub: return SB_LINEUP;
        case QAbstractSlider::SliderSingleStepAdd: return SB_LINEDOWN;
        case QAbstractSlider::SliderPageStepSub: return SB_PAGEUP;
        case QAbstractSlider::SliderPageStepAdd: return SB_PAGEDOWN;
        case QAbstractSlider::SliderToMinimum: return SB_TOP;
        case QAbstractSlider::SliderToMaximum: return SB_BOTTOM;
        case QAbstractSlider::SliderMove: return SB_THUMBTRACK;
    }
    return -1;
}
}  // namespace

TQtBox::TQtBox(TWinControl& control, QWidget* parent, int border)
    : QWidget(parent), control_(control), surface_(new TQtSurface(control, this)), border_(border) {
    for (int bar : {SB_HORZ, SB_VERT}) {
        auto* scrollBar = new QScrollBar(bar == SB_HORZ ? Qt::Horizontal : Qt::Vertical, this);
        scrollBar->hide();
        // The control decides where the bar goes: it hears the action and
        // sets the position it took.
        QObject::connect(scrollBar, &QAbstractSlider::actionTriggered, [this, bar](int action) { Action(bar, action); });
        QObject::connect(scrollBar, &QAbstractSlider::sliderReleased, [this, bar, scrollBar] {
            const intptr_t msg = bar == SB_HORZ ? WM_HSCROLL : WM_VSCROLL;
            control_.Perform(static_cast<uint32_t>(msg), MakeWParam(SB_THUMBPOSITION, scrollBar->sliderPosition()), 0);
            control_.Perform(static_cast<uint32_t>(msg), MakeWParam(SB_ENDSCROLL, 0), 0);
        });
        bars_[bar == SB_HORZ ? 0 : 1] = scrollBar;
    }
    Relayout();
}

void TQtBox::Action(int bar, int action) {
    const int code = ScrollCode(action);
    if (code < 0) return;
    QScrollBar* scrollBar = Bar(bar);
    const uint32_t msg = bar == SB_HORZ ? WM_HSCROLL : WM_VSCROLL;
    QPointer<QScrollBar> alive(scrollBar);
    control_.Perform(msg, MakeWParam(code, scrollBar->sliderPosition()), 0);
    if (code != SB_THUMBTRACK && alive) control_.Perform(msg, MakeWParam(SB_ENDSCROLL, 0), 0);
    // What the control made of it, not Qt's own step, is where the bar goes.
    if (alive) scrollBar->setSliderPosition(control_.GetScrollInfo(bar).Position);
}

void TQtBox::SetScrollBar(int bar, bool shown, bool enabled, int min, int max, int page, int position) {
    QScrollBar* scrollBar = Bar(bar);
    const QSignalBlocker quiet(scrollBar);
    // The toolkit's range counts the page in; Qt's is the positions alone.
    scrollBar->setRange(min, std::max(min, max - std::max(page - 1, 0)));
    scrollBar->setPageStep(std::max(page, 1));
    scrollBar->setSingleStep(1);
    scrollBar->setValue(position);
    scrollBar->setEnabled(enabled);
    if (scrollBar->isVisibleTo(this) != shown) {
        scrollBar->setVisible(shown);
        Relayout();
    }
}

void TQtBox::Relayout() {
    const int extent = Application().Backend().GetSystemMetric(SM_CXVSCROLL);
    const bool h = !Bar(SB_HORZ)->isHidden(), v = !Bar(SB_VERT)->isHidden();
    const int w = std::max(width() - 2 * border_ - (v ? extent : 0), 0);
    const int hgt = std::max(height() - 2 * border_ - (h ? extent : 0), 0);
    surface_->setGeometry(border_, border_, w, hgt);
    Bar(SB_HORZ)->setGeometry(border_, border_ + hgt, w, extent);
    Bar(SB_VERT)->setGeometry(border_ + w, border_, extent, hgt);
    update();
}

void TQtBox::resizeEvent(QResizeEvent*) { Relayout(); }

void TQtBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    const QRect r = rect();
    if (border_ == 1) {
        painter.setPen(QtColor(clWindowFrame));
        painter.drawRect(r.adjusted(0, 0, -1, -1));
    } else if (border_ >= 2) {
        // The sunken edge: shadow on the top and left, light on the bottom
        // and right, two lines each.
        painter.setPen(QtColor(clBtnShadow));
        painter.drawLine(r.left(), r.top(), r.right() - 1, r.top());
        painter.drawLine(r.left(), r.top(), r.left(), r.bottom() - 1);
        painter.setPen(QtColor(clBtnHighlight));
        painter.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
        painter.drawLine(r.right(), r.top(), r.right(), r.bottom());
        painter.setPen(Qt::black);
        painter.drawLine(r.left() + 1, r.top() + 1, r.right() - 2, r.top() + 1);
        painter.drawLine(r.left() + 1, r.top() + 1, r.left() + 1, r.bottom() - 2);
    }
}
