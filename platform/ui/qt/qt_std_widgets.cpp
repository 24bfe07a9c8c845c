// The standard controls' window classes: "EDIT" (a QLineEdit, or with
// ES_MULTILINE a QPlainTextEdit), "BUTTON" (push button, check box, radio
// button, group box), "LISTBOX" (QListWidget) and "COMBOBOX" (QComboBox).
//
// Positions are counted as the toolkit counts them: in UTF-16 units, with a
// memo's line breaks as CR LF (two units), while Qt keeps one unit a break.
#include <QtGui/QFocusEvent>
#include <QtGui/QShortcutEvent>
#include <QtGui/QTextBlock>
#include <QtGui/QWheelEvent>
#include <QtGui/QTextCursor>
#include <QtCore/QAbstractListModel>
#include <QtWidgets/QAbstractItemDelegate>
#include <QtWidgets/QAbstractItemView>
#include <QtWidgets/QListView>
#include <QtWidgets/QStylePainter>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QListWidget>
#include <QtWidgets/QPlainTextEdit>
#include <QtWidgets/QProxyStyle>

#include <map>

#include "platform/bitmap.h"
#include "platform/ui/qt/qt_widget_class.h"

// ---------------------------------------------------------------- registry

namespace {
std::map<std::string, TQtWidgetClassMaker>& Registry() {
    static std::map<std::string, TQtWidgetClassMaker> registry;
    return registry;
}
}  // namespace

void RegisterQtWindowClass(const std::string& name, TQtWidgetClassMaker maker) { Registry()[name] = std::move(maker); }

const TQtWidgetClassMaker* FindQtWindowClass(const std::string& name) {
    static const bool common = (RegisterQtCommonWindowClasses(), RegisterQtRichEditClass(), true);
    (void)common;
    auto at = Registry().find(name);
    return at == Registry().end() ? nullptr : &at->second;
}

TWinControl& TQtWidgetClass::Control() const { return window_.Control(); }

void TQtWidgetClass::Command(int code) {
    if (!detached_) Control().Perform(CN_COMMAND, MakeWParam(0, code), 0);
}

intptr_t TQtWidgetClass::Notify(TNMHdr& header, int code) {
    if (detached_) return 0;
    header.From = Control().Handle();
    header.Code = code;
    return Control().Perform(CN_NOTIFY, 0, reinterpret_cast<intptr_t>(&header));
}

bool RouteQtMnemonic(TWinControl& control, QEvent* event) {
    if (event->type() != QEvent::Shortcut) return false;
    const QKeySequence sequence = static_cast<QShortcutEvent*>(event)->key();
    if (sequence.isEmpty()) return true;
    const int key = sequence[0].key();
    if (key <= 0 || key > 0xFFFF) return true;
    TWinControl* top = &control;
    while (top->Parent()) top = top->Parent();
    top->Perform(CM_DIALOGCHAR, QChar(static_cast<char16_t>(key)).toLower().unicode(), 0);
    return true;
}

intptr_t QtCopyText(const QString& text, intptr_t buffer) {
    if (!buffer) return text.size();
    auto* out = reinterpret_cast<char16_t*>(buffer);
    std::copy(text.utf16(), text.utf16() + text.size(), out);
    out[text.size()] = 0;
    return text.size();
}

namespace {

int Param(intptr_t value) { return static_cast<int>(value); }

// Windows' packed selection answer, also written through the pointers a
// caller gave.
intptr_t SelectionAnswer(int start, int end, intptr_t startOut, intptr_t endOut) {
    if (startOut) *reinterpret_cast<int32_t*>(startOut) = start;
    if (endOut) *reinterpret_cast<int32_t*>(endOut) = end;
    return MakeWParam(start, end);
}

// The password character Qt shows is a style hint: a style of its own
// gives the edit the character the control asked for.
class TPasswordStyle : public QProxyStyle {
public:
    explicit TPasswordStyle(char16_t c) : QProxyStyle(nullptr), char_(c) {}
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* data) const override {
        if (hint == SH_LineEdit_PasswordCharacter) return char_;
        return QProxyStyle::styleHint(hint, option, widget, data);
    }

private:
    char16_t char_;
};

// ---------------------------------------------------------------- single-line edit

// The edit tells its control when it gains and loses the focus, and offers
// the wheel to it first (a spin edit steps with it).
class TQtLineEdit : public TQtKeyOffering<QLineEdit> {
public:
    using TQtKeyOffering<QLineEdit>::TQtKeyOffering;

protected:
    void focusInEvent(QFocusEvent* event) override {
        QLineEdit::focusInEvent(event);
        control_.Perform(WM_SETFOCUS);
    }
    void focusOutEvent(QFocusEvent* event) override {
        QLineEdit::focusOutEvent(event);
        control_.Perform(WM_KILLFOCUS);
    }
    void wheelEvent(QWheelEvent* event) override {
        const intptr_t delta = static_cast<int16_t>(event->angleDelta().y());
        if (control_.Perform(WM_MOUSEWHEEL, MakeWParam(0, static_cast<int>(delta)), 0)) event->accept();
        else QLineEdit::wheelEvent(event);
    }
};

class TQtEditClass : public TQtWidgetClass {
public:
    TQtEditClass(TQtWindow& window, QWidget* parent) : TQtWidgetClass(window) {
        const TCreateParams& params = window.Control().Params();
        edit_ = new TQtLineEdit(window.Control(), parent);
        edit_->setReadOnly(params.Style & ES_READONLY);
        if (params.Style & ES_PASSWORD) SetPasswordChar(u'*');
        QObject::connect(edit_, &QLineEdit::textChanged, [this] {
            if (!Quiet) Command(EN_CHANGE);
        });
    }
    QWidget* Widget() const override { return edit_; }
    void SetText(const std::u16string& text) override {
        const QString value = ToQString(text);
        if (edit_->text() != value) edit_->setText(value);
    }
    std::u16string Text() const override { return FromQString(edit_->text()); }

    intptr_t ClassProc(uint32_t msg, intptr_t wParam, intptr_t lParam) override {
        switch (msg) {
            case EM_GETSEL: {
                const int start = edit_->hasSelectedText() ? edit_->selectionStart() : edit_->cursorPosition();
                return SelectionAnswer(start, start + static_cast<int>(edit_->selectedText().size()), wParam, lParam);
            }
            case EM_SETSEL: {
                const int length = static_cast<int>(edit_->text().size());
                int start = Param(wParam), end = Param(lParam);
                if (start < 0) {
                    edit_->deselect();
                    return 0;
                }
                if (end < 0 || end > length) end = length;
                start = std::min(start, length);
                edit_->setSelection(start, end - start);
                return 0;
            }
            case EM_REPLACESEL: edit_->insert(QtTextParam(lParam)); return 0;
            case EM_GETLINECOUNT: return 1;
            case EM_LINEINDEX: return wParam <= 0 ? 0 : -1;
            case EM_LINELENGTH: return edit_->text().size();
            case EM_GETLINE: return CopyLine(edit_->text(), lParam);
            case EM_LIMITTEXT: edit_->setMaxLength(wParam <= 0 ? 0x7FFFFFFE : Param(wParam)); return 0;
            case EM_GETLIMITTEXT: return edit_->maxLength();
            case EM_SETREADONLY: edit_->setReadOnly(wParam != 0); return 1;
            case EM_SETPASSWORDCHAR: SetPasswordChar(static_cast<char16_t>(wParam)); return 1;
            case WM_COPY: edit_->copy(); return 0;
            case WM_CUT: edit_->cut(); return 0;
            case WM_PASTE: edit_->paste(); return 0;
            case WM_CLEAR: edit_->del(); return 0;
            case EM_SETMARGINS: {
                const QMargins margins = edit_->textMargins();
                edit_->setTextMargins((wParam & EC_LEFTMARGIN) ? LoWord(lParam) : margins.left(), margins.top(),
                                      (wParam & EC_RIGHTMARGIN) ? HiWord(lParam) : margins.right(),
                                      margins.bottom());
                return 0;
            }
        }
        return 0;
    }

    // EM_GETLINE: the buffer's first unit holds its size; no NUL is added.
    static intptr_t CopyLine(const QString& line, intptr_t buffer) {
        if (!buffer) return 0;
        auto* out = reinterpret_cast<char16_t*>(buffer);
        const int count = std::min<int>(out[0], static_cast<int>(line.size()));
        std::copy(line.utf16(), line.utf16() + count, out);
        return count;
    }

private:
    void SetPasswordChar(char16_t c) {
        if (c == 0) {
            edit_->setEchoMode(QLineEdit::Normal);
            edit_->setStyle(nullptr);
            style_.reset();
            return;
        }
        auto style = std::make_unique<TPasswordStyle>(c);
        edit_->setStyle(style.get());
        style_ = std::move(style);
        edit_->setEchoMode(QLineEdit::Password);
    }
    QLineEdit* edit_;
    std::unique_ptr<TPasswordStyle> style_;
};

// ---------------------------------------------------------------- memo

// A memo refuses typed or pasted text beyond its limit, as the platform's
// edit does.
class TQtMemo : public TQtKeyOffering<QPlainTextEdit> {
public:
    TQtMemo(TWinControl& control, QWidget* parent) : TQtKeyOffering<QPlainTextEdit>(control, parent) {}
    int Limit = 0;  // 0: none
    // The length as the toolkit counts it (CR LF for a break).
    int ToolkitLength() const {
        const QString text = toPlainText();
        return static_cast<int>(text.size() + text.count(u'\n'));
    }

protected:
    bool Fits(const QString& added) const {
        if (Limit <= 0) return true;
        const QString selected = textCursor().selectedText();
        const qsizetype removed = selected.size() + selected.count(QChar::ParagraphSeparator);
        const qsizetype adding = added.size() + added.count(u'\n') + added.count(u'\r');
        return ToolkitLength() - removed + adding <= Limit;
    }
    void keyPressEvent(QKeyEvent* event) override {
        QString added = event->text();
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) added = "\n";
        if ((!added.isEmpty() && added[0].isPrint()) || added == "\n") {
            if (!isReadOnly() && !Fits(added)) {
                event->accept();
                return;
            }
        }
        TQtKeyOffering<QPlainTextEdit>::keyPressEvent(event);
    }
    void insertFromMimeData(const QMimeData* source) override {
        if (source && source->hasText() && !Fits(source->text())) return;
        QPlainTextEdit::insertFromMimeData(source);
    }
};

class TQtMemoClass : public TQtWidgetClass {
public:
    TQtMemoClass(TQtWindow& window, QWidget* parent) : TQtWidgetClass(window) {
        const TCreateParams& params = window.Control().Params();
        memo_ = new TQtMemo(window.Control(), parent);
        memo_->setReadOnly(params.Style & ES_READONLY);
        memo_->setLineWrapMode((params.Style & ES_AUTOHSCROLL) ? QPlainTextEdit::NoWrap : QPlainTextEdit::WidgetWidth);
        QObject::connect(memo_, &QPlainTextEdit::textChanged, [this] {
            if (!Quiet) Command(EN_CHANGE);
        });
    }
    QWidget* Widget() const override { return memo_; }
    void SetText(const std::u16string& text) override {
        const QString value = FromToolkit(ToQString(text));
        if (memo_->toPlainText() == value) return;
        {
            TQtQuiet quiet(Quiet);
            memo_->setPlainText(value);
        }
        Command(EN_CHANGE);
    }
    std::u16string Text() const override { return FromQString(ToToolkit(memo_->toPlainText())); }

    intptr_t ClassProc(uint32_t msg, intptr_t wParam, intptr_t lParam) override {
        switch (msg) {
            case EM_GETSEL: {
                const QTextCursor cursor = memo_->textCursor();
                return SelectionAnswer(ToolkitPos(cursor.selectionStart()), ToolkitPos(cursor.selectionEnd()), wParam,
                                       lParam);
            }
            case EM_SETSEL: {
                QTextCursor cursor = memo_->textCursor();
                if (wParam < 0) {
                    cursor.clearSelection();
                } else {
                    const int end = lParam < 0 ? memo_->document()->characterCount() - 1 : QtPos(Param(lParam));
                    cursor.setPosition(QtPos(Param(wParam)));
                    cursor.setPosition(end, QTextCursor::KeepAnchor);
                }
                memo_->setTextCursor(cursor);
                return 0;
            }
            case EM_REPLACESEL: memo_->textCursor().insertText(FromToolkit(QtTextParam(lParam))); return 0;
            case EM_GETLINECOUNT: return memo_->document()->blockCount();
            case EM_LINEINDEX: {
                int line = Param(wParam);
                if (line < 0) line = memo_->textCursor().blockNumber();
                const QTextBlock block = memo_->document()->findBlockByNumber(line);
                return block.isValid() ? ToolkitPos(block.position()) : -1;
            }
            case EM_LINELENGTH: {
                const QTextBlock block = wParam < 0 ? memo_->textCursor().block()
                                                    : memo_->document()->findBlock(QtPos(Param(wParam)));
                return block.isValid() ? block.length() - 1 : 0;
            }
            case EM_GETLINE: {
                const QTextBlock block = memo_->document()->findBlockByNumber(Param(wParam));
                return block.isValid() ? TQtEditClass::CopyLine(block.text(), lParam) : 0;
            }
            case EM_LIMITTEXT: memo_->Limit = wParam <= 0 ? 0 : Param(wParam); return 0;
            case EM_GETLIMITTEXT: return memo_->Limit > 0 ? memo_->Limit : 0x7FFFFFFE;
            case EM_SETREADONLY: memo_->setReadOnly(wParam != 0); return 1;
            case WM_COPY: memo_->copy(); return 0;
            case WM_CUT: memo_->cut(); return 0;
            case WM_PASTE: memo_->paste(); return 0;
            case WM_CLEAR: memo_->textCursor().removeSelectedText(); return 0;
        }
        return 0;
    }

private:
    static QString FromToolkit(QString text) {
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        text.replace(QChar(u'\r'), QChar(u'\n'));
        return text;
    }
    static QString ToToolkit(QString text) { return text.replace(QChar(u'\n'), QStringLiteral("\r\n")); }
    // A position of Qt's document counted as the toolkit counts it.
    int ToolkitPos(int position) const {
        const QString text = memo_->toPlainText();
        return position + static_cast<int>(QStringView(text).left(position).count(u'\n'));
    }
    // A toolkit position inside a CR LF pair falls before the break.
    int QtPos(int position) const {
        const QString text = memo_->toPlainText();
        int at = 0, index = 0;
        for (; index < text.size(); ++index) {
            const int step = text[index] == u'\n' ? 2 : 1;
            if (at + step > position) break;
            at += step;
        }
        return index;
    }
    TQtMemo* memo_;
};

// ---------------------------------------------------------------- buttons

class TQtButtonClass : public TQtWidgetClass {
public:
    TQtButtonClass(TQtWindow& window, QWidget* parent) : TQtWidgetClass(window) {
        switch (window.Control().Params().Style & 0xF) {
            case BS_CHECKBOX:
            case BS_AUTOCHECKBOX: button_ = new TQtAccelRouted<QCheckBox>(window.Control(), parent); break;
            case BS_RADIOBUTTON:
            case BS_AUTORADIOBUTTON: button_ = new TQtAccelRouted<QRadioButton>(window.Control(), parent); break;
            case BS_GROUPBOX: group_ = new TQtAccelRouted<QGroupBox>(window.Control(), parent); return;
            default: button_ = new TQtAccelRouted<QPushButton>(window.Control(), parent); break;
        }
        QObject::connect(button_, &QAbstractButton::clicked, [this] { Command(BN_CLICKED); });
    }
    QWidget* Widget() const override { return group_ ? static_cast<QWidget*>(group_) : button_; }
    void SetText(const std::u16string& text) override {
        if (group_) group_->setTitle(ToQString(text));
        else button_->setText(ToQString(text));
    }
    std::u16string Text() const override { return FromQString(group_ ? group_->title() : button_->text()); }
    intptr_t ClassProc(uint32_t msg, intptr_t wParam, intptr_t lParam) override {
        if (!button_) return 0;
        switch (msg) {
            case BM_CLICK: button_->click(); return 0;
            case BM_GETCHECK: return button_->isChecked() ? BST_CHECKED : BST_UNCHECKED;
            case BM_SETCHECK:
                button_->setCheckable(true);
                if (wParam == 0 && button_->autoExclusive() && button_->isChecked()) {
                    // An exclusive radio button cannot be unchecked by itself.
                    button_->setAutoExclusive(false);
                    button_->setChecked(false);
                    button_->setAutoExclusive(true);
                } else {
                    button_->setChecked(wParam != 0);
                }
                return 0;
        }
        return 0;
    }

private:
    QAbstractButton* button_ = nullptr;
    QGroupBox* group_ = nullptr;
};

// ---------------------------------------------------------------- item lists

// What the list box and the combo box share: items with a data word,
// sorted insertion and searches that ignore case.
constexpr int DataRole = Qt::UserRole;

bool StartsWithText(const QString& item, const QString& prefix) { return item.startsWith(prefix, Qt::CaseInsensitive); }
bool SameText(const QString& item, const QString& text) { return item.compare(text, Qt::CaseInsensitive) == 0; }

// The first item from after start (wrapping round) that matches.
template <typename TextOf>
intptr_t FindItem(int count, intptr_t start, bool exact, const QString& text, TextOf textOf) {
    if (count == 0) return LB_ERR;
    const int first = start < 0 || start >= count ? 0 : Param(start) + 1;
    for (int n = 0; n < count; ++n) {
        const int index = (first + n) % count;
        const QString item = textOf(index);
        if (exact ? SameText(item, text) : StartsWithText(item, text)) return index;
    }
    return LB_ERR;
}

// Where a sorted list puts a new item: after the items that compare equal,
// comparing upper-cased UTF-16 units as the toolkit's own lists do (Qt's
// case-insensitive comparison folds to lower case, which orders some
// letters otherwise, such as Ё and Я).
template <typename TextOf>
int SortedPlace(int count, const QString& text, TextOf textOf) {
    const QString key = text.toUpper();
    int at = 0;
    while (at < count && textOf(at).toUpper().compare(key, Qt::CaseSensitive) <= 0) ++at;
    return at;
}

// Items painted with our canvas: the control paints each item into a
// bitmap of the item's size (CN_DRAWITEM) and, when the heights vary, tells
// each item's height (CN_MEASUREITEM).
class TOwnerDrawDelegate : public QAbstractItemDelegate {
public:
    TOwnerDrawDelegate(TQtWidgetClass& owner, int type, bool variable, QObject* parent)
        : QAbstractItemDelegate(parent), owner_(owner), type_(type), variable_(variable) {}
    int FixedHeight = 16;
    bool Variable() const { return variable_; }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        uint32_t state = 0;
        if (option.state & QStyle::State_Selected) state |= ODS_SELECTED;
        if (option.state & QStyle::State_HasFocus) state |= ODS_FOCUS;
        if (!(option.state & QStyle::State_Enabled)) state |= ODS_DISABLED;
        PaintItem(*painter, option.rect, index.row(), index.data(DataRole).toLongLong(), state);
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        // As wide as the list shows it: no wider than the view.
        (void)option;
        return QSize(1, Height(index.row(), index.data(DataRole).toLongLong()));
    }
    int Height(int row, intptr_t data) const {
        if (!variable_ || owner_.Detached()) return FixedHeight;
        TMeasureItemStruct measure;
        measure.CtlType = type_;
        measure.ItemID = row;
        measure.ItemHeight = FixedHeight;
        measure.ItemData = data;
        owner_.Control().Perform(CN_MEASUREITEM, 0, reinterpret_cast<intptr_t>(&measure));
        return std::max(measure.ItemHeight, 1);
    }
    void PaintItem(QPainter& painter, const QRect& rect, int row, intptr_t data, uint32_t state) const {
        if (rect.isEmpty() || owner_.Detached()) return;
        TBitmap bitmap;
        bitmap.SetPixelFormat(TPixelFormat::pf32bit);
        bitmap.SetSize(rect.width(), rect.height());
        TDrawItemStruct item;
        item.CtlType = type_;
        item.ItemID = row;
        item.ItemState = state;
        item.Surface = &bitmap;
        item.Item = {0, 0, rect.width(), rect.height()};
        item.ItemData = data;
        owner_.Control().Perform(CN_DRAWITEM, 0, reinterpret_cast<intptr_t>(&item));
        // Our canvas leaves the fourth byte clear: Qt's 32-bit RGB wants it set.
        QImage image(rect.width(), rect.height(), QImage::Format_RGB32);
        for (int y = 0; y < rect.height(); ++y) {
            const auto* from = reinterpret_cast<const uint32_t*>(bitmap.ScanLine(y));
            auto* to = reinterpret_cast<uint32_t*>(image.scanLine(y));
            for (int x = 0; x < rect.width(); ++x) to[x] = from[x] | 0xFF000000u;
        }
        painter.drawImage(rect.topLeft(), image);
    }

private:
    TQtWidgetClass& owner_;
    int type_;
    bool variable_;
};

// The owner-drawn styles of a list or combo box: a delegate of our canvas,
// or nullptr for the standard look.
TOwnerDrawDelegate* OwnerDrawDelegate(TQtWidgetClass& owner, int type, uint32_t fixedStyle, uint32_t variableStyle,
                                      QObject* parent) {
    const uint32_t style = owner.Control().Params().Style;
    if (!(style & (fixedStyle | variableStyle))) return nullptr;
    return new TOwnerDrawDelegate(owner, type, (style & variableStyle) != 0, parent);
}

// A virtual list box: a count of rows, each painted by the control, whose
// texts (for the typed search) the control gives.
class TQtVirtualListBoxClass : public TQtWidgetClass {
    class TCountModel : public QAbstractListModel {
    public:
        TCountModel(TQtVirtualListBoxClass& owner, QObject* parent) : QAbstractListModel(parent), owner_(owner) {}
        int Count = 0;
        int rowCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : Count; }
        QVariant data(const QModelIndex& index, int role) const override {
            if (role != Qt::DisplayRole || owner_.Detached() || !index.isValid()) return {};
            TWinControl& control = owner_.Control();
            const intptr_t length = control.Perform(LB_GETTEXTLEN, index.row());
            if (length <= 0) return QString();
            std::u16string text(static_cast<size_t>(length) + 1, u'\0');
            control.Perform(LB_GETTEXT, index.row(), reinterpret_cast<intptr_t>(text.data()));
            text.resize(static_cast<size_t>(length));
            return ToQString(text);
        }
        void SetCount(int count) {
            beginResetModel();
            Count = count;
            endResetModel();
        }

    private:
        TQtVirtualListBoxClass& owner_;
    };

public:
    TQtVirtualListBoxClass(TQtWindow& window, QWidget* parent) : TQtWidgetClass(window) {
        const uint32_t style = window.Control().Params().Style;
        list_ = new TQtKeyOffering<QListView>(window.Control(), parent);
        model_ = new TCountModel(*this, list_);
        list_->setModel(model_);
        list_->setUniformItemSizes(true);
        delegate_ = new TOwnerDrawDelegate(*this, ODT_LISTBOX, false, list_);
        list_->setItemDelegate(delegate_);
        list_->setSelectionMode((style & LBS_MULTIPLESEL) ? QAbstractItemView::MultiSelection
                                                          : QAbstractItemView::SingleSelection);
        QObject::connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, [this] {
            if (!Quiet) Command(LBN_SELCHANGE);
        });
        QObject::connect(list_, &QListView::doubleClicked, [this] { Command(LBN_DBLCLK); });
    }
    QWidget* Widget() const override { return list_; }

    intptr_t ClassProc(uint32_t msg, intptr_t wParam, intptr_t lParam) override {
        TQtQuiet quiet(Quiet);
        const int count = model_->Count;
        auto valid = [count](intptr_t i) { return i >= 0 && i < count; };
        auto row = [this](intptr_t i) { return model_->index(Param(i), 0); };
        switch (msg) {
            case LB_SETCOUNT:
                if (wParam < 0) return LB_ERR;
                model_->SetCount(Param(wParam));
                return 0;
            case LB_GETCOUNT: return count;
            case LB_RESETCONTENT: model_->SetCount(0); return 0;
            case LB_SETCURSEL:
                if (!valid(wParam)) {
                    list_->clearSelection();
                    list_->setCurrentIndex(QModelIndex());
                    return wParam == -1 ? 0 : LB_ERR;
                }
                list_->setCurrentIndex(row(wParam));
                return wParam;
            case LB_GETCURSEL: {
                const QModelIndex current = list_->currentIndex();
                return current.isValid() && list_->selectionModel()->isSelected(current) ? current.row() : LB_ERR;
            }
            case LB_GETSEL: return valid(wParam) ? (list_->selectionModel()->isSelected(row(wParam)) ? 1 : 0) : LB_ERR;
            case LB_GETTOPINDEX: {
                const QModelIndex top = list_->indexAt(QPoint(1, 1));
                return top.isValid() ? top.row() : 0;
            }
            case LB_SETTOPINDEX:
                if (!valid(wParam)) return LB_ERR;
                list_->scrollTo(row(wParam), QAbstractItemView::PositionAtTop);
                return 0;
            case LB_SETITEMHEIGHT:
                if (lParam <= 0 || lParam > 255) return LB_ERR;
                delegate_->FixedHeight = Param(lParam);
                list_->reset();
                return 0;
            case LB_GETITEMHEIGHT: return delegate_->FixedHeight;
            case LB_GETITEMDATA: return valid(wParam) ? 0 : LB_ERR;
        }
        // A list without items of its own takes none.
        return LB_ERR;
    }

private:
    QListView* list_;
    TCountModel* model_;
    TOwnerDrawDelegate* delegate_;
};

class TQtListBoxClass : public TQtWidgetClass {
public:
    TQtListBoxClass(TQtWindow& window, QWidget* parent) : TQtWidgetClass(window) {
        const uint32_t style = window.Control().Params().Style;
        list_ = new TQtKeyOffering<QListWidget>(window.Control(), parent);
        if ((delegate_ = OwnerDrawDelegate(*this, ODT_LISTBOX, LBS_OWNERDRAWFIXED, LBS_OWNERDRAWVARIABLE, list_))) {
            list_->setItemDelegate(delegate_);
            list_->setUniformItemSizes(!delegate_->Variable());
        }
        sorted_ = style & LBS_SORT;
        list_->setSelectionMode((style & LBS_MULTIPLESEL) ? QAbstractItemView::MultiSelection
                                                          : QAbstractItemView::SingleSelection);
        QObject::connect(list_, &QListWidget::itemSelectionChanged, [this] {
            if (!Quiet) Command(LBN_SELCHANGE);
        });
        QObject::connect(list_, &QListWidget::itemDoubleClicked, [this] { Command(LBN_DBLCLK); });
    }
    QWidget* Widget() const override { return list_; }

    intptr_t ClassProc(uint32_t msg, intptr_t wParam, intptr_t lParam) override {
        TQtQuiet quiet(Quiet);
        const int count = list_->count();
        auto textOf = [this](int i) { return list_->item(i)->text(); };
        auto valid = [count](intptr_t i) { return i >= 0 && i < count; };
        switch (msg) {
            case LB_ADDSTRING:
            case LB_INSERTSTRING: {
                const QString text = QtTextParam(lParam);
                int at = msg == LB_ADDSTRING ? (sorted_ ? SortedPlace(count, text, textOf) : count) : Param(wParam);
                if (at == -1) at = count;
                if (at < 0 || at > count) return LB_ERR;
                list_->insertItem(at, text);
                list_->item(at)->setData(DataRole, qlonglong{0});
                return at;
            }
            case LB_DELETESTRING:
                if (!valid(wParam)) return LB_ERR;
                delete list_->takeItem(Param(wParam));
                return list_->count();
            case LB_RESETCONTENT: list_->clear(); return 0;
            case LB_GETCOUNT: return count;
            case LB_GETTEXTLEN: return valid(wParam) ? textOf(Param(wParam)).size() : LB_ERR;
            case LB_GETTEXT: return valid(wParam) ? QtCopyText(textOf(Param(wParam)), lParam) : LB_ERR;
            case LB_GETITEMDATA:
                return valid(wParam) ? static_cast<intptr_t>(list_->item(Param(wParam))->data(DataRole).toLongLong())
                                     : LB_ERR;
            case LB_SETITEMDATA:
                if (!valid(wParam)) return LB_ERR;
                list_->item(Param(wParam))->setData(DataRole, qlonglong{lParam});
                return 0;
            case LB_SETCURSEL:
                if (!valid(wParam)) {
                    list_->clearSelection();
                    list_->setCurrentRow(-1);
                    return wParam == -1 ? 0 : LB_ERR;
                }
                list_->setCurrentRow(Param(wParam));
                return wParam;
            case LB_GETCURSEL: {
                const int row = list_->currentRow();
                return row >= 0 && list_->item(row)->isSelected() ? row : LB_ERR;
            }
            case LB_GETSEL: return valid(wParam) ? (list_->item(Param(wParam))->isSelected() ? 1 : 0) : LB_ERR;
            case LB_FINDSTRING:
            case LB_FINDSTRINGEXACT:
                return FindItem(count, wParam, msg == LB_FINDSTRINGEXACT, QtTextParam(lParam), textOf);
            case LB_GETTOPINDEX: {
                const QModelIndex top = list_->indexAt(QPoint(1, 1));
                return top.isValid() ? top.row() : 0;
            }
            case LB_SETTOPINDEX:
                if (!valid(wParam)) return LB_ERR;
                list_->scrollToItem(list_->item(Param(wParam)), QAbstractItemView::PositionAtTop);
                return 0;
            case LB_SETITEMHEIGHT:
                if (!delegate_) return 0;
                if (lParam <= 0 || lParam > 255) return LB_ERR;
                delegate_->FixedHeight = Param(lParam);
                list_->doItemsLayout();
                return 0;
            case LB_GETITEMHEIGHT:
                if (delegate_) return delegate_->Variable() && valid(wParam) ? list_->visualItemRect(list_->item(Param(wParam))).height() : delegate_->FixedHeight;
                return count > 0 ? list_->sizeHintForRow(0) : QFontMetrics(list_->font()).height();
        }
        return 0;
    }

private:
    QListWidget* list_;
    TOwnerDrawDelegate* delegate_ = nullptr;
    bool sorted_ = false;
};

// ---------------------------------------------------------------- combo box

// The combo box offers keys to its control in the edit part and, without
// one, in the box itself.
class TQtComboBox : public TQtKeyOffering<QComboBox> {
public:
    TQtComboBox(TWinControl& control, QWidget* parent) : TQtKeyOffering<QComboBox>(control, parent) {}
    std::function<void(bool)> DroppedDown;
    // Owner drawn: the selected item is the control's painting too.
    TOwnerDrawDelegate* OwnerDraw = nullptr;

    void showPopup() override {
        if (DroppedDown) DroppedDown(true);
        QComboBox::showPopup();
    }
    void hidePopup() override {
        QComboBox::hidePopup();
        if (DroppedDown) DroppedDown(false);
    }

protected:
    // With an edit part the edit offers the keys; what it leaves comes
    // here and must not be offered twice.
    void keyPressEvent(QKeyEvent* event) override {
        if (isEditable()) QComboBox::keyPressEvent(event);
        else TQtKeyOffering<QComboBox>::keyPressEvent(event);
    }
    void paintEvent(QPaintEvent* event) override {
        if (!OwnerDraw) {
            QComboBox::paintEvent(event);
            return;
        }
        QStylePainter painter(this);
        QStyleOptionComboBox option;
        initStyleOption(&option);
        option.currentText.clear();
        option.currentIcon = QIcon();
        painter.drawComplexControl(QStyle::CC_ComboBox, option);
        const QRect field = style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
        uint32_t state = ODS_COMBOBOXEDIT;
        if (hasFocus()) state |= ODS_SELECTED | ODS_FOCUS;
        if (!isEnabled()) state |= ODS_DISABLED;
        const int index = currentIndex();
        OwnerDraw->PaintItem(painter, field, index, index >= 0 ? itemData(index).toLongLong() : 0, state);
    }
};

class TQtComboBoxClass : public TQtWidgetClass {
public:
    TQtComboBoxClass(TQtWindow& window, QWidget* parent) : TQtWidgetClass(window) {
        const uint32_t style = window.Control().Params().Style;
        combo_ = new TQtComboBox(window.Control(), parent);
        if ((combo_->OwnerDraw =
                 OwnerDrawDelegate(*this, ODT_COMBOBOX, CBS_OWNERDRAWFIXED, CBS_OWNERDRAWVARIABLE, combo_)))
            combo_->setItemDelegate(combo_->OwnerDraw);
        sorted_ = style & CBS_SORT;
        combo_->setInsertPolicy(QComboBox::NoInsert);
        if ((style & 0x3) != CBS_DROPDOWNLIST) {
            combo_->setEditable(true);
            auto* edit = new TQtKeyOffering<QLineEdit>(window.Control(), combo_);
            combo_->setLineEdit(edit);
            // Completion is the control's own.
            combo_->setCompleter(nullptr);
            QObject::connect(edit, &QLineEdit::textEdited, [this] {
                if (!Quiet) Command(CBN_EDITCHANGE);
            });
        }
        combo_->DroppedDown = [this](bool shown) {
            if (!Quiet) Command(shown ? CBN_DROPDOWN : CBN_CLOSEUP);
        };
        QObject::connect(combo_, qOverload<int>(&QComboBox::activated), [this] {
            if (!Quiet) Command(CBN_SELCHANGE);
        });
    }
    QWidget* Widget() const override { return combo_; }
    bool HasFocus(QWidget* focus) const override { return focus == combo_ || combo_->isAncestorOf(focus); }
    void SetText(const std::u16string& text) override {
        TQtQuiet quiet(Quiet);
        const QString value = ToQString(text);
        if (combo_->lineEdit()) {
            if (combo_->lineEdit()->text() != value) combo_->lineEdit()->setText(value);
        } else {
            combo_->setCurrentIndex(combo_->findText(value, Qt::MatchFixedString));
        }
    }
    std::u16string Text() const override {
        return FromQString(combo_->lineEdit() ? combo_->lineEdit()->text() : combo_->currentText());
    }

    intptr_t ClassProc(uint32_t msg, intptr_t wParam, intptr_t lParam) override {
        TQtQuiet quiet(Quiet);
        const int count = combo_->count();
        auto textOf = [this](int i) { return combo_->itemText(i); };
        auto valid = [count](intptr_t i) { return i >= 0 && i < count; };
        QLineEdit* edit = combo_->lineEdit();
        switch (msg) {
            case CB_ADDSTRING:
            case CB_INSERTSTRING: {
                const QString text = QtTextParam(lParam);
                int at = msg == CB_ADDSTRING ? (sorted_ ? SortedPlace(count, text, textOf) : count) : Param(wParam);
                if (at == -1) at = count;
                if (at < 0 || at > count) return CB_ERR;
                // Qt selects the first item put into an empty box; the
                // platform's box stays without a selection.
                const QString kept = edit ? edit->text() : QString();
                const int current = combo_->currentIndex();
                combo_->insertItem(at, text, qlonglong{0});
                combo_->setCurrentIndex(current < 0 ? -1 : current + (at <= current ? 1 : 0));
                if (edit) edit->setText(kept);
                return at;
            }
            case CB_DELETESTRING:
                if (!valid(wParam)) return CB_ERR;
                combo_->removeItem(Param(wParam));
                return combo_->count();
            case CB_RESETCONTENT: combo_->clear(); return 0;
            case CB_GETCOUNT: return count;
            case CB_GETLBTEXTLEN: return valid(wParam) ? textOf(Param(wParam)).size() : CB_ERR;
            case CB_GETLBTEXT: return valid(wParam) ? QtCopyText(textOf(Param(wParam)), lParam) : CB_ERR;
            case CB_GETITEMDATA:
                return valid(wParam) ? static_cast<intptr_t>(combo_->itemData(Param(wParam)).toLongLong()) : CB_ERR;
            case CB_SETITEMDATA:
                if (!valid(wParam)) return CB_ERR;
                combo_->setItemData(Param(wParam), qlonglong{lParam});
                return 0;
            case CB_SETCURSEL:
                combo_->setCurrentIndex(valid(wParam) ? Param(wParam) : -1);
                if (edit && !valid(wParam)) edit->clear();
                return valid(wParam) ? wParam : CB_ERR;
            case CB_GETCURSEL: return combo_->currentIndex();
            case CB_FINDSTRING:
            case CB_FINDSTRINGEXACT:
                return FindItem(count, wParam, msg == CB_FINDSTRINGEXACT, QtTextParam(lParam), textOf);
            case CB_SHOWDROPDOWN:
                if (wParam) combo_->showPopup();
                else combo_->hidePopup();
                return 1;
            case CB_GETDROPPEDSTATE: return combo_->view()->isVisible() ? 1 : 0;
            case CB_LIMITTEXT:
                if (edit) edit->setMaxLength(wParam <= 0 ? 0x7FFFFFFE : Param(wParam));
                return 1;
            case CB_GETEDITSEL: {
                if (!edit) return SelectionAnswer(0, 0, wParam, lParam);
                const int start = edit->hasSelectedText() ? edit->selectionStart() : edit->cursorPosition();
                return SelectionAnswer(start, start + static_cast<int>(edit->selectedText().size()), wParam, lParam);
            }
            case CB_SETEDITSEL: {
                if (!edit) return CB_ERR;
                const int length = static_cast<int>(edit->text().size());
                const int start = static_cast<int16_t>(LoWord(lParam)), end = static_cast<int16_t>(HiWord(lParam));
                if (start < 0) {
                    edit->deselect();
                    return 1;
                }
                const int to = end < 0 || end > length ? length : end;
                edit->setSelection(std::min(start, length), to - std::min(start, length));
                return 1;
            }
            case EM_REPLACESEL:
                if (edit) edit->insert(QtTextParam(lParam));
                return 0;
            case CB_SETITEMHEIGHT:
                if (!combo_->OwnerDraw) return 0;
                if (lParam <= 0 || lParam > 255) return CB_ERR;
                combo_->OwnerDraw->FixedHeight = Param(lParam);
                combo_->update();
                return 0;
            case CB_GETITEMHEIGHT:
                return combo_->OwnerDraw ? combo_->OwnerDraw->FixedHeight : QFontMetrics(combo_->font()).height();
        }
        return 0;
    }

private:
    TQtComboBox* combo_;
    bool sorted_ = false;
};

template <typename Class>
TQtWidgetClassMaker Maker() {
    return [](TQtWindow& window, QWidget* parent) -> std::unique_ptr<TQtWidgetClass> {
        return std::make_unique<Class>(window, parent);
    };
}

[[maybe_unused]] const bool registered = [] {
    RegisterQtWindowClass("EDIT", [](TQtWindow& window, QWidget* parent) -> std::unique_ptr<TQtWidgetClass> {
        if (window.Control().Params().Style & ES_MULTILINE) return std::make_unique<TQtMemoClass>(window, parent);
        return std::make_unique<TQtEditClass>(window, parent);
    });
    RegisterQtWindowClass("BUTTON", Maker<TQtButtonClass>());
    RegisterQtWindowClass("LISTBOX", [](TQtWindow& window, QWidget* parent) -> std::unique_ptr<TQtWidgetClass> {
        if (window.Control().Params().Style & LBS_NODATA) return std::make_unique<TQtVirtualListBoxClass>(window, parent);
        return std::make_unique<TQtListBoxClass>(window, parent);
    });
    RegisterQtWindowClass("COMBOBOX", Maker<TQtComboBoxClass>());
    return true;
}();

}  // namespace
