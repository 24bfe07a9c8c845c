#include "platform/ui/qt/qt_backend.h"

// ---------------------------------------------------------------- keys

uint16_t QtVirtualKey(int qtKey) {
    if ((qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) || (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z))
        return static_cast<uint16_t>(qtKey);
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) return static_cast<uint16_t>(VK_F1 + (qtKey - Qt::Key_F1));
    switch (qtKey) {
        case Qt::Key_Backspace: return VK_BACK;
        case Qt::Key_Tab: return VK_TAB;
        case Qt::Key_Return:
        case Qt::Key_Enter: return VK_RETURN;
        case Qt::Key_Shift: return VK_SHIFT;
        case Qt::Key_Control: return VK_CONTROL;
        case Qt::Key_Alt: return VK_MENU;
        case Qt::Key_Escape: return VK_ESCAPE;
        case Qt::Key_Space: return VK_SPACE;
        case Qt::Key_PageUp: return VK_PRIOR;
        case Qt::Key_PageDown: return VK_NEXT;
        case Qt::Key_End: return VK_END;
        case Qt::Key_Home: return VK_HOME;
        case Qt::Key_Left: return VK_LEFT;
        case Qt::Key_Up: return VK_UP;
        case Qt::Key_Right: return VK_RIGHT;
        case Qt::Key_Down: return VK_DOWN;
        case Qt::Key_Insert: return VK_INSERT;
        case Qt::Key_Delete: return VK_DELETE;
    }
    return 0;
}

int QtKeyOfVirtualKey(uint16_t key) {
    if ((key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z')) return key;
    if (key >= VK_F1 && key <= VK_F24) return Qt::Key_F1 + (key - VK_F1);
    for (int qtKey : {int(Qt::Key_Backspace), int(Qt::Key_Tab), int(Qt::Key_Return), int(Qt::Key_Escape),
                      int(Qt::Key_Space), int(Qt::Key_PageUp), int(Qt::Key_PageDown), int(Qt::Key_End),
                      int(Qt::Key_Home), int(Qt::Key_Left), int(Qt::Key_Up), int(Qt::Key_Right), int(Qt::Key_Down),
                      int(Qt::Key_Insert), int(Qt::Key_Delete)})
        if (QtVirtualKey(qtKey) == key) return qtKey;
    return 0;
}

TShiftState QtShiftState(Qt::KeyboardModifiers modifiers) {
    TShiftState shift = 0;
    if (modifiers & Qt::ShiftModifier) shift |= ssShift;
    if (modifiers & Qt::ControlModifier) shift |= ssCtrl;
    if (modifiers & Qt::AltModifier) shift |= ssAlt;
    return shift;
}

QKeySequence QtShortCut(TShortCut shortCut) {
    const int key = QtKeyOfVirtualKey(static_cast<uint16_t>(shortCut & 0xFF));
    if (!key) return {};
    Qt::KeyboardModifiers modifiers;
    if (shortCut & scShift) modifiers |= Qt::ShiftModifier;
    if (shortCut & scCtrl) modifiers |= Qt::ControlModifier;
    if (shortCut & scAlt) modifiers |= Qt::AltModifier;
    return QKeySequence(QKeyCombination(modifiers, static_cast<Qt::Key>(key)));
}

bool OfferKeyToControl(TWinControl& control, QKeyEvent* event, QString& text) {
    const TShiftState shift = QtShiftState(event->modifiers());
    if (uint16_t key = QtVirtualKey(event->key())) {
        TMessage down{WM_KEYDOWN, key, shift, 0};
        control.WndProc(down);
        if (down.Result != 0) return true;
    }
    text.clear();
    const QString typed = event->text();
    if (typed.isEmpty()) return false;
    for (QChar c : typed) {
        TMessage press{WM_CHAR, c.unicode(), shift, 0};
        control.WndProc(press);
        if (press.Result == 0 && press.WParam != 0) text += QChar(static_cast<char16_t>(press.WParam));
    }
    return text.isEmpty();
}

// ---------------------------------------------------------------- menus

TQtMenuBuilder::TQtMenuBuilder(TMenu& menu, QWidget* target) : menu_(menu), target_(target) {}

namespace {
// Takes every action off the widget and frees those it owns.
void ClearActions(QWidget* target) {
    const QList<QAction*> actions = target->actions();
    for (QAction* action : actions) {
        target->removeAction(action);
        if (action->parent() == target) delete action;
    }
}
}  // namespace

TQtMenuBuilder::~TQtMenuBuilder() {
    if (target_) ClearActions(target_);
    for (QMenu* menu : menus_) {
        ClearActions(menu);
        delete menu;
    }
}

std::vector<uint32_t> TQtMenuBuilder::Shape() const {
    std::vector<uint32_t> shape;
    std::function<void(TMenuItem&)> walk = [&](TMenuItem& item) {
        for (int i = 0; i < item.Count(); ++i) {
            TMenuItem& child = *item.Items(i);
            shape.push_back(child.Command());
            shape.push_back(child.IsLine() ? 1u : 0u);
            shape.push_back(static_cast<uint32_t>(child.Count()));
            walk(child);
        }
    };
    walk(*menu_.Items());
    return shape;
}

void TQtMenuBuilder::Update() {
    if (!target_) return;
    std::vector<uint32_t> shape = Shape();
    if (shape != shape_) {
        shape_ = std::move(shape);
        Build();
        return;
    }
    std::function<void(TMenuItem&)> walk = [&](TMenuItem& item) {
        for (int i = 0; i < item.Count(); ++i) {
            TMenuItem& child = *item.Items(i);
            if (QAction* action = ActionOf(child.Command())) Apply(action, child);
            walk(child);
        }
    };
    walk(*menu_.Items());
}

void TQtMenuBuilder::Build() {
    ClearActions(target_);
    for (QMenu* menu : menus_) {
        ClearActions(menu);
        delete menu;
    }
    menus_.clear();
    actions_.clear();
    Fill(target_, *menu_.Items());
}

void TQtMenuBuilder::Fill(QWidget* target, TMenuItem& parent) {
    for (int i = 0; i < parent.Count(); ++i) {
        TMenuItem& item = *parent.Items(i);
        const uint32_t command = item.Command();
        QAction* action = nullptr;
        if (item.IsLine()) {
            action = new QAction(target);
            action->setSeparator(true);
            target->addAction(action);
        } else if (item.Count() > 0) {
            auto* sub = new QMenu();
            menus_.push_back(sub);
            Fill(sub, item);
            action = sub->menuAction();
            target->addAction(action);
            QObject::connect(sub, &QMenu::aboutToHide, [this] { menu_.ItemSelected(nullptr); });
        } else {
            action = new QAction(target);
            target->addAction(action);
            // The bar's items run when chosen; a pop-up menu's run once it
            // has closed (see PopupMenu).
            QObject::connect(action, &QAction::triggered, [this, command] {
                if (!Bar()) return;
                if (TMenuItem* found = menu_.Items()->Find(command)) found->Click();
            });
        }
        action->setData(QVariant::fromValue(command));
        QObject::connect(action, &QAction::hovered, [this, command] {
            if (TMenuItem* found = menu_.Items()->Find(command)) menu_.ItemSelected(found);
        });
        actions_[command] = action;
        Apply(action, item);
    }
}

void TQtMenuBuilder::Apply(QAction* action, TMenuItem& item) {
    action->setVisible(item.Visible());
    if (item.IsLine()) return;
    action->setText(ToQString(item.NativeCaption()));
    action->setEnabled(item.Enabled());
    action->setCheckable(item.Checked());
    action->setChecked(item.Checked());
    // Items of the bar itself show no shortcut text, sub-items do.
    if (item.Count() == 0) {
        action->setShortcut(QtShortCut(item.ShortCut()));
        action->setShortcutContext(Qt::WindowShortcut);
    }
    action->setStatusTip(ToQString(item.NativeHint()));
}

QAction* TQtMenuBuilder::ActionOf(uint32_t command) const {
    auto at = actions_.find(command);
    return at == actions_.end() ? nullptr : at->second.data();
}

TMenuItem* TQtMenuBuilder::ItemOf(QAction* action) const {
    return action ? menu_.Items()->Find(action->data().toUInt()) : nullptr;
}
