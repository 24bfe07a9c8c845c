// The desktop's look on the Qt plugin: theme parts that have a counterpart
// in Qt's style are drawn by it into a bitmap; the system colours come from
// Qt's palette, and a new application palette is the desktop's theme
// change.
#include <QtWidgets/QStyleOption>

#include <algorithm>
#include <cstring>
#include <set>

#include "platform/colour.h"
#include "platform/ui/qt/qt_backend.h"
#include "platform/ui/theme.h"

namespace {

TColor ToColor(const QColor& color) { return RGBColor(uint8_t(color.red()), uint8_t(color.green()), uint8_t(color.blue())); }

void SyncSystemColors() {
    const QPalette palette = QApplication::palette();
    const std::pair<int32_t, QColor> scheme[] = {
        {COLOR_WINDOW, palette.color(QPalette::Base)},
        {COLOR_WINDOWTEXT, palette.color(QPalette::Text)},
        {COLOR_BTNFACE, palette.color(QPalette::Button)},
        {COLOR_BTNTEXT, palette.color(QPalette::ButtonText)},
        {COLOR_BTNHIGHLIGHT, palette.color(QPalette::Light)},
        {COLOR_3DLIGHT, palette.color(QPalette::Midlight)},
        {COLOR_BTNSHADOW, palette.color(QPalette::Dark)},
        {COLOR_3DDKSHADOW, palette.color(QPalette::Shadow)},
        {COLOR_HIGHLIGHT, palette.color(QPalette::Highlight)},
        {COLOR_HIGHLIGHTTEXT, palette.color(QPalette::HighlightedText)},
        {COLOR_GRAYTEXT, palette.color(QPalette::Disabled, QPalette::Text)},
        {COLOR_INFOBK, palette.color(QPalette::ToolTipBase)},
        {COLOR_INFOTEXT, palette.color(QPalette::ToolTipText)},
        {COLOR_MENU, palette.color(QPalette::Window)},
        {COLOR_MENUTEXT, palette.color(QPalette::WindowText)},
        {COLOR_HOTLIGHT, palette.color(QPalette::Link)},
    };
    for (const auto& [index, color] : scheme) SetSystemColor(index, ToColor(color));
}

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::toupper(c)); });
    return text;
}

// States of the theme parts: 1 normal, 2 hot, 3 pressed, 4 disabled, 5
// default or focused; check boxes and radio buttons repeat them checked
// (5 .. 8) and, for check boxes, mixed (9 .. 12).
void ApplyState(QStyleOption& option, int state) {
    option.state = QStyle::State_Enabled;
    switch ((state - 1) % 4) {
        case 1: option.state |= QStyle::State_MouseOver; break;
        case 2: option.state |= QStyle::State_Sunken; break;
        case 3: option.state &= ~QStyle::State(QStyle::State_Enabled); break;
        default: break;
    }
}

class TQtTheme : public TUITheme {
public:
    bool HasClass(const std::string& className) const override {
        static const std::set<std::string> classes = {"BUTTON", "SCROLLBAR", "HEADER", "PROGRESS", "EDIT",
                                                      "COMBOBOX", "TAB", "TOOLBAR", "TOOLTIP"};
        return classes.count(Upper(className)) > 0;
    }

    bool DrawPart(const std::string& className, int part, int state, TBitmap& target, const TRect& rect) override {
        const int w = rect.Right - rect.Left, h = rect.Bottom - rect.Top;
        if (w <= 0 || h <= 0 || !HasClass(className)) return false;
        // The target's density: the style draws in layout pixels on an image
        // of the target's own.
        const int scale = target.DevicePixelRatio();
        QImage image(w * scale, h * scale, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(scale);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        QStyle* style = QApplication::style();
        const QRect box(0, 0, w, h);
        const std::string name = Upper(className);
        bool drawn = true;
        if (name == "BUTTON" && part == 1) {
            QStyleOptionButton option;
            Init(option, box, state);
            if (state == 5) option.features |= QStyleOptionButton::DefaultButton;
            style->drawControl(QStyle::CE_PushButtonBevel, &option, &painter);
        } else if (name == "BUTTON" && (part == 2 || part == 3)) {
            QStyleOptionButton option;
            Init(option, box, state);
            option.state |= state > 8 ? QStyle::State_NoChange : state > 4 ? QStyle::State_On : QStyle::State_Off;
            style->drawPrimitive(part == 2 ? QStyle::PE_IndicatorRadioButton : QStyle::PE_IndicatorCheckBox, &option,
                                 &painter);
        } else if (name == "BUTTON" && part == 4) {
            QStyleOptionFrame option;
            Init(option, box, state);
            option.lineWidth = 1;
            style->drawPrimitive(QStyle::PE_FrameGroupBox, &option, &painter);
        } else if (name == "SCROLLBAR" && part >= 1 && part <= 7) {
            QStyleOptionSlider option;
            Init(option, box, state);
            option.orientation = (part == 2 || part == 4 || part == 5) ? Qt::Horizontal : Qt::Vertical;
            option.minimum = 0;
            option.maximum = 100;
            option.pageStep = 10;
            if (part == 1) {
                // The arrow buttons: up, down, left, right, four states each.
                static const QStyle::PrimitiveElement arrows[] = {QStyle::PE_IndicatorArrowUp, QStyle::PE_IndicatorArrowDown,
                                                                  QStyle::PE_IndicatorArrowLeft, QStyle::PE_IndicatorArrowRight};
                ApplyState(option, (state - 1) % 4 + 1);
                style->drawPrimitive(QStyle::PE_PanelButtonBevel, &option, &painter);
                style->drawPrimitive(arrows[std::clamp((state - 1) / 4, 0, 3)], &option, &painter);
            } else if (part <= 3) {
                style->drawPrimitive(QStyle::PE_PanelButtonBevel, &option, &painter);
            } else {
                style->drawControl(QStyle::CE_ScrollBarAddPage, &option, &painter);
            }
        } else if (name == "HEADER" && part == 1) {
            QStyleOptionHeader option;
            Init(option, box, state);
            style->drawControl(QStyle::CE_HeaderSection, &option, &painter);
        } else if (name == "PROGRESS" && part >= 1 && part <= 4) {
            QStyleOptionProgressBar option;
            Init(option, box, state);
            option.minimum = 0;
            option.maximum = 100;
            option.progress = part >= 3 ? 100 : 0;
            style->drawControl(part >= 3 ? QStyle::CE_ProgressBarContents : QStyle::CE_ProgressBarGroove, &option, &painter);
        } else if (name == "EDIT" && part == 1) {
            QStyleOptionFrame option;
            Init(option, box, state);
            option.lineWidth = 1;
            style->drawPrimitive(QStyle::PE_PanelLineEdit, &option, &painter);
        } else if (name == "COMBOBOX" && part == 1) {
            QStyleOptionComboBox option;
            Init(option, box, state);
            option.subControls = QStyle::SC_ComboBoxArrow | QStyle::SC_ComboBoxFrame;
            style->drawComplexControl(QStyle::CC_ComboBox, &option, &painter);
        } else if (name == "TAB" && part >= 1 && part <= 8) {
            QStyleOptionTab option;
            Init(option, box, state);
            style->drawControl(QStyle::CE_TabBarTabShape, &option, &painter);
        } else if (name == "TAB" && part == 9) {
            QStyleOptionTabWidgetFrame option;
            Init(option, box, state);
            style->drawPrimitive(QStyle::PE_FrameTabWidget, &option, &painter);
        } else if (name == "TOOLBAR" && part == 1) {
            QStyleOptionToolButton option;
            Init(option, box, state);
            if (state != 1) option.state |= QStyle::State_Raised | QStyle::State_AutoRaise;
            style->drawPrimitive(QStyle::PE_PanelButtonTool, &option, &painter);
        } else if (name == "TOOLTIP" && part == 1) {
            QStyleOptionFrame option;
            Init(option, box, state);
            style->drawPrimitive(QStyle::PE_PanelTipLabel, &option, &painter);
        } else {
            drawn = false;
        }
        painter.end();
        if (!drawn) return false;
        // Premultiplied BGRA rows, as the 32-bit bitmap keeps them.
        target.SetPixelFormat(TPixelFormat::pf32bit);
        target.SetSize(std::max(target.Width(), rect.Right * scale), std::max(target.Height(), rect.Bottom * scale));
        for (int y = 0; y < h * scale; ++y)
            std::memcpy(target.ScanLine(rect.Top * scale + y) + rect.Left * scale * 4, image.constScanLine(y),
                        static_cast<size_t>(w * scale) * 4);
        return true;
    }

    bool PartSize(const std::string& className, int part, int state, TSize& size) override {
        (void)state;
        const std::string name = Upper(className);
        QStyle* style = QApplication::style();
        if (name == "BUTTON" && (part == 2 || part == 3)) {
            const bool radio = part == 2;
            size = TSize{style->pixelMetric(radio ? QStyle::PM_ExclusiveIndicatorWidth : QStyle::PM_IndicatorWidth),
                         style->pixelMetric(radio ? QStyle::PM_ExclusiveIndicatorHeight : QStyle::PM_IndicatorHeight)};
            return true;
        }
        if (name == "SCROLLBAR" && part >= 1 && part <= 3) {
            // The arrow buttons are square; a thumb is at least as long.
            const int extent = style->pixelMetric(QStyle::PM_ScrollBarExtent);
            const int length = part == 1 ? extent : std::max(extent, style->pixelMetric(QStyle::PM_ScrollBarSliderMin));
            size = part == 2 ? TSize{length, extent} : part == 3 ? TSize{extent, length} : TSize{extent, extent};
            return true;
        }
        return false;
    }

    bool PartMargins(const std::string& className, int part, int state, TRect& margins) override {
        const std::string name = Upper(className);
        QStyle* style = QApplication::style();
        const QRect box(0, 0, 100, 100);
        QRect inner;
        if (name == "BUTTON" && part == 1) {
            QStyleOptionButton option;
            Init(option, box, state);
            inner = style->subElementRect(QStyle::SE_PushButtonContents, &option);
        } else if (name == "EDIT" && part == 1) {
            QStyleOptionFrame option;
            Init(option, box, state);
            option.lineWidth = 1;
            inner = style->subElementRect(QStyle::SE_LineEditContents, &option);
        } else if (HasClass(className) && part >= 1) {
            const int frame = style->pixelMetric(QStyle::PM_DefaultFrameWidth);
            inner = box.adjusted(frame, frame, -frame, -frame);
        } else {
            return false;
        }
        if (!inner.isValid()) return false;
        margins = TRect{inner.left(), inner.top(), box.right() - inner.right(), box.bottom() - inner.bottom()};
        return true;
    }

    bool PartColor(const std::string& className, int part, int state, int property, TColor& color) override {
        if (!HasClass(className)) return false;
        const std::string name = Upper(className);
        const QPalette palette = QApplication::palette();
        const QPalette::ColorGroup group = state == 4 ? QPalette::Disabled : QPalette::Active;
        const bool field = name == "EDIT" || name == "COMBOBOX";
        const bool tip = name == "TOOLTIP";
        const bool chunk = name == "PROGRESS" && part >= 3;
        QPalette::ColorRole role;
        switch (property) {
            case 3801: role = QPalette::Dark; break;  // border
            case 3802:                                // fill
                role = tip ? QPalette::ToolTipBase : field ? QPalette::Base : chunk ? QPalette::Highlight : QPalette::Button;
                break;
            case 3803:  // text
                role = tip ? QPalette::ToolTipText : field ? QPalette::Text : QPalette::ButtonText;
                break;
            case 3804: role = QPalette::Midlight; break;  // edge light
            case 3805: role = QPalette::Light; break;     // edge highlight
            case 3806: role = QPalette::Dark; break;      // edge shadow
            case 3807: role = QPalette::Shadow; break;    // edge dark shadow
            case 3808: role = QPalette::Button; break;    // edge fill
            case 3810: role = QPalette::Light; break;     // gradient, first colour
            case 3811: role = QPalette::Button; break;    // gradient, second colour
            default: return false;
        }
        color = ToColor(palette.color(group, role));
        return true;
    }

private:
    static void Init(QStyleOption& option, const QRect& box, int state) {
        option.rect = box;
        option.palette = QApplication::palette();
        option.direction = Qt::LeftToRight;
        ApplyState(option, state);
    }
};

// A new application palette: the colours follow it and the theme's users
// hear of it once.
class TPaletteWatcher : public QObject {
protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        if (object == QCoreApplication::instance() && event->type() == QEvent::ApplicationPaletteChange) {
            SyncSystemColors();
            NotifyThemeChanged();
        }
        return false;
    }
};

QPointer<QObject> watcher;

}  // namespace

void InstallQtTheme() {
    SyncSystemColors();
    SetUITheme(std::make_unique<TQtTheme>());
    watcher = new TPaletteWatcher;
    QCoreApplication::instance()->installEventFilter(watcher);
}

void RemoveQtTheme() {
    delete watcher.data();
    SetUITheme(nullptr);
    ResetSystemColors();
}
