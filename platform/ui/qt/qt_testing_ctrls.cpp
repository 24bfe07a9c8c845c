#include "platform/ui/qt/qt_testing_ctrls.h"

#include <QtTest/QTest>
#include <QtWidgets/QAbstractButton>
#include <QtWidgets/QAbstractItemView>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QHeaderView>
#include <QtWidgets/QListWidget>
#include <QtWidgets/QTabBar>
#include <QtWidgets/QTreeWidget>

#include "platform/ui/qt/qt_backend.h"

namespace QtTesting {

namespace {
QWidget* WidgetOf(TWinControl& control) {
    TQtWindow* window = TQtBackend::WindowOf(control);
    return window ? window->Outer() : nullptr;
}

template <typename W>
W* Find(TWinControl& control) {
    QWidget* widget = WidgetOf(control);
    if (!widget) return nullptr;
    if (auto* self = qobject_cast<W*>(widget)) return self;
    return widget->findChild<W*>();
}

Qt::KeyboardModifiers Modifiers(TShiftState shift) {
    Qt::KeyboardModifiers modifiers;
    if (shift & ssShift) modifiers |= Qt::ShiftModifier;
    if (shift & ssCtrl) modifiers |= Qt::ControlModifier;
    if (shift & ssAlt) modifiers |= Qt::AltModifier;
    return modifiers;
}

// The up-down's arrows: the increasing one is made first.
QAbstractButton* Arrow(TWinControl& upDown, bool increase) {
    QWidget* widget = WidgetOf(upDown);
    if (!widget) return nullptr;
    const auto buttons = widget->findChildren<QAbstractButton*>(Qt::FindDirectChildrenOnly);
    if (buttons.size() != 2) return nullptr;
    return buttons[increase ? 0 : 1];
}
}  // namespace

bool ClickItem(TWinControl& control, int index) {
    if (auto* bar = Find<QTabBar>(control)) {
        if (index < 0 || index >= bar->count()) return false;
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
        return true;
    }
    // A list box, list view or virtual list of either: a row of its model.
    if (auto* view = Find<QAbstractItemView>(control)) {
        const QModelIndex item = view->model()->index(index, 0);
        if (!item.isValid()) return false;
        view->scrollTo(item);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(item).center());
        return true;
    }
    return false;
}

bool ClickColumnHeader(TWinControl& control, int column) {
    auto* tree = Find<QTreeView>(control);
    if (!tree || column < 0 || column >= tree->model()->columnCount()) return false;
    QHeaderView* header = tree->header();
    const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
    return true;
}

std::u16string ColumnHeaderText(TWinControl& control, int column) {
    auto* tree = Find<QTreeView>(control);
    return tree ? FromQString(tree->model()->headerData(column, Qt::Horizontal).toString()) : u"";
}

std::u16string CellText(TWinControl& control, int row, int column) {
    auto* tree = Find<QTreeView>(control);
    const QModelIndex cell = tree ? tree->model()->index(row, column) : QModelIndex();
    return cell.isValid() ? FromQString(cell.data().toString()) : u"";
}

int RowCount(TWinControl& control) {
    auto* view = Find<QAbstractItemView>(control);
    return view ? view->model()->rowCount() : -1;
}

int RowHeight(TWinControl& control, int row) {
    auto* view = Find<QAbstractItemView>(control);
    const QModelIndex item = view ? view->model()->index(row, 0) : QModelIndex();
    return item.isValid() ? view->visualRect(item).height() : -1;
}

int TabCount(TWinControl& control) {
    auto* bar = Find<QTabBar>(control);
    return bar ? bar->count() : -1;
}

std::u16string TabText(TWinControl& control, int index) {
    auto* bar = Find<QTabBar>(control);
    return bar ? FromQString(bar->tabText(index)) : u"";
}

bool LabelEditorOpen(TWinControl& control) {
    auto* tree = Find<QTreeView>(control);
    QWidget* focus = QApplication::focusWidget();
    return tree && focus && qobject_cast<QLineEdit*>(focus) && tree->isAncestorOf(focus);
}

void KeyClickFocused(uint16_t key, const std::u16string& text, TShiftState shift) {
    QWidget* focus = QApplication::focusWidget();
    if (!focus) return;
    const auto qtKey = static_cast<Qt::Key>(key ? QtKeyOfVirtualKey(key) : 0);
    QTest::sendKeyEvent(QTest::Press, focus, qtKey, ToQString(text), Modifiers(shift));
    QTest::sendKeyEvent(QTest::Release, focus, qtKey, ToQString(text), Modifiers(shift));
}

bool PressArrow(TWinControl& upDown, bool increase) {
    QAbstractButton* arrow = Arrow(upDown, increase);
    if (!arrow) return false;
    QTest::mousePress(arrow, Qt::LeftButton, {}, arrow->rect().center());
    return true;
}

bool ReleaseArrow(TWinControl& upDown, bool increase) {
    QAbstractButton* arrow = Arrow(upDown, increase);
    if (!arrow) return false;
    QTest::mouseRelease(arrow, Qt::LeftButton, {}, arrow->rect().center());
    return true;
}

bool ComboPopupVisible(TWinControl& combo) {
    auto* box = Find<QComboBox>(combo);
    return box && box->view()->isVisible();
}

}  // namespace QtTesting
