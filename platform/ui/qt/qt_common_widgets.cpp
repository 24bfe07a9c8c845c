// The common controls' window classes: "SysListView32" (report mode on a
// QTreeWidget), "SysTabControl32" (a QTabBar above the area where the pages
// go) and "msctls_updown32" (Qt has no bare up-down: two auto-repeating
// arrow buttons painted with our canvas, which step the position and keep
// the buddy window's text in step).
#include <QtCore/QAbstractTableModel>
#include <QtCore/QItemSelectionModel>
#include <QtWidgets/QHeaderView>
#include <QtWidgets/QTreeView>
#include <QtWidgets/QStyledItemDelegate>
#include <QtWidgets/QTabBar>
#include <QtWidgets/QTreeWidget>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>

#include "platform/canvas.h"
#include "platform/colour.h"
#include "platform/ui/qt/qt_widget_class.h"

namespace {

int Param(intptr_t value) { return static_cast<int>(value); }

constexpr int ParamRole = Qt::UserRole;

// ---------------------------------------------------------------- list view

// What asks the control about a label edit.
class TLabelEditing {
public:
    virtual ~TLabelEditing() = default;
    // Answer 0: the edit may begin.
    virtual intptr_t BeginEdit(const QModelIndex& index) = 0;
    // Null text: the edit was cancelled. Answer nonzero: the text stands.
    virtual intptr_t EndEdit(const QModelIndex& index, const QString* text) = 0;
};

// The label editor of the first column: the control allows the edit when it
// begins and decides whether the new text stands when it ends.
class TLabelDelegate : public QStyledItemDelegate {
public:
    TLabelDelegate(TLabelEditing& owner, QObject* parent) : QStyledItemDelegate(parent), owner_(owner) {}
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;
    void destroyEditor(QWidget* editor, const QModelIndex& index) const override;

private:
    TLabelEditing& owner_;
    mutable bool committed_ = false;
};

// Report mode as both list views show it: whole rows, the label editor on
// the first column, and column titles whose clicks go to the control.
void SetUpReportView(QTreeView* view, uint32_t style, TLabelEditing& editing, std::function<void(int)> columnClicked) {
    view->setRootIsDecorated(false);
    view->setUniformRowHeights(true);
    view->setAllColumnsShowFocus(true);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode((style & LVS_SINGLESEL) ? QAbstractItemView::SingleSelection
                                                   : QAbstractItemView::ExtendedSelection);
    view->setEditTriggers((style & LVS_EDITLABELS) ? QAbstractItemView::SelectedClicked
                                                   : QAbstractItemView::NoEditTriggers);
    view->setItemDelegate(new TLabelDelegate(editing, view));
    view->header()->setSectionsClickable(!(style & LVS_NOSORTHEADER));
    view->header()->setStretchLastSection(false);
    view->header()->setSectionsMovable(false);
    QObject::connect(view->header(), &QHeaderView::sectionClicked, std::move(columnClicked));
}

class TQtListViewClass : public TQtWidgetClass, public TLabelEditing {
public:
    TQtListViewClass(TQtWindow& window, QWidget* parent) : TQtWidgetClass(window) {
        const uint32_t style = window.Control().Params().Style;
        tree_ = new TQtKeyOffering<QTreeWidget>(window.Control(), parent);
        tree_->setColumnCount(0);
        SetUpReportView(tree_, style, *this, [this](int column) { ColumnClicked(column); });
        QObject::connect(tree_, &QTreeWidget::itemSelectionChanged, [this] { SelectionChanged(); });
    }
    QWidget* Widget() const override { return tree_; }
    void ColumnClicked(int column) {
        TNMListView info;
        info.SubItem = column;
        Notify(info.Hdr, LVN_COLUMNCLICK);
    }

    intptr_t BeginEdit(const QModelIndex& index) override {
        TNMLVDispInfo info;
        info.Item.Item = index.row();
        info.Item.Param = Row(index.row())->data(0, ParamRole).toLongLong();
        return Notify(info.Hdr, LVN_BEGINLABELEDITW);
    }
    // Null text: the edit was cancelled.
    intptr_t EndEdit(const QModelIndex& index, const QString* text) override {
        TNMLVDispInfo info;
        info.Item.Item = index.row();
        info.Item.Mask = LVIF_TEXT;
        info.Item.Param = Row(index.row())->data(0, ParamRole).toLongLong();
        std::u16string value = text ? FromQString(*text) : std::u16string();
        info.Item.Text = text ? value.c_str() : nullptr;
        return Notify(info.Hdr, LVN_ENDLABELEDITW);
    }

    intptr_t ClassProc(uint32_t msg, intptr_t wParam, intptr_t lParam) override {
        const int count = tree_->topLevelItemCount();
        auto valid = [count](intptr_t i) { return i >= 0 && i < count; };
        switch (msg) {
            case LVM_GETITEMCOUNT: return count;
            case LVM_INSERTITEMW: {
                const auto& item = *reinterpret_cast<const TLVItem*>(lParam);
                const int at = std::clamp(item.Item, 0, count);
                auto* row = new QTreeWidgetItem();
                row->setFlags(row->flags() | Qt::ItemIsEditable);
                if (item.Mask & LVIF_TEXT) row->setText(0, QtTextParam(reinterpret_cast<intptr_t>(item.Text)));
                row->setData(0, ParamRole, qlonglong{(item.Mask & LVIF_PARAM) ? item.Param : 0});
                {
                    TQtQuiet quiet(Quiet);
                    tree_->insertTopLevelItem(at, row);
                }
                RememberSelection();
                return at;
            }
            case LVM_DELETEITEM:
                if (!valid(wParam)) return 0;
                {
                    TQtQuiet quiet(Quiet);
                    delete tree_->takeTopLevelItem(Param(wParam));
                }
                RememberSelection();
                return 1;
            case LVM_DELETEALLITEMS: {
                TQtQuiet quiet(Quiet);
                tree_->clear();
                selected_.clear();
                return 1;
            }
            case LVM_SETITEMTEXTW: {
                const auto& item = *reinterpret_cast<const TLVItem*>(lParam);
                if (!valid(wParam) || item.SubItem < 0) return 0;
                Row(Param(wParam))->setText(item.SubItem, QtTextParam(reinterpret_cast<intptr_t>(item.Text)));
                return 1;
            }
            case LVM_GETITEMTEXTW: {
                auto& item = *reinterpret_cast<TLVItem*>(lParam);
                if (!valid(wParam) || !item.Buffer || item.TextMax <= 0) return 0;
                const QString text = Row(Param(wParam))->text(item.SubItem).left(item.TextMax - 1);
                return QtCopyText(text, reinterpret_cast<intptr_t>(item.Buffer));
            }
            case LVM_SETITEMSTATE: {
                const auto& item = *reinterpret_cast<const TLVItem*>(lParam);
                for (int i = wParam < 0 ? 0 : Param(wParam); i < (wParam < 0 ? count : Param(wParam) + 1); ++i) {
                    if (!valid(i)) return 0;
                    if (item.StateMask & LVIS_SELECTED) Row(i)->setSelected(item.State & LVIS_SELECTED);
                    if ((item.StateMask & LVIS_FOCUSED) && (item.State & LVIS_FOCUSED)) {
                        tree_->selectionModel()->setCurrentIndex(tree_->model()->index(i, 0),
                                                                 QItemSelectionModel::NoUpdate);
                    }
                }
                return 1;
            }
            case LVM_GETITEMSTATE: {
                if (!valid(wParam)) return 0;
                uint32_t state = 0;
                if (Row(Param(wParam))->isSelected()) state |= LVIS_SELECTED;
                if (tree_->currentItem() == Row(Param(wParam))) state |= LVIS_FOCUSED;
                return state & static_cast<uint32_t>(lParam);
            }
            case LVM_GETNEXTITEM:
                for (int i = wParam < 0 ? 0 : Param(wParam) + 1; i < count; ++i)
                    if (!(lParam & LVNI_SELECTED) || Row(i)->isSelected()) return i;
                return -1;
            case LVM_SORTITEMS: Sort(reinterpret_cast<TLVCompare>(lParam), wParam); return 1;
            case LVM_EDITLABELW:
                if (!valid(wParam)) return 0;
                tree_->setFocus();
                tree_->setCurrentItem(Row(Param(wParam)));
                tree_->editItem(Row(Param(wParam)), 0);
                return 1;
            case LVM_INSERTCOLUMNW: {
                const auto& column = *reinterpret_cast<const TLVColumn*>(lParam);
                const int columns = tree_->columnCount();
                const int at = std::clamp(Param(wParam), 0, columns);
                tree_->setColumnCount(columns + 1);
                ShiftColumns(at, columns, +1);
                SetColumn(at, column);
                return at;
            }
            case LVM_DELETECOLUMN: {
                const int columns = tree_->columnCount();
                if (wParam < 0 || wParam >= columns) return 0;
                ShiftColumns(Param(wParam), columns, -1);
                tree_->setColumnCount(columns - 1);
                return 1;
            }
            case LVM_SETCOLUMNW:
                if (wParam < 0 || wParam >= tree_->columnCount()) return 0;
                SetColumn(Param(wParam), *reinterpret_cast<const TLVColumn*>(lParam));
                return 1;
            case LVM_GETCOLUMNWIDTH:
                return wParam >= 0 && wParam < tree_->columnCount() ? tree_->columnWidth(Param(wParam)) : 0;
            case LVM_SETCOLUMNWIDTH:
                if (wParam < 0 || wParam >= tree_->columnCount()) return 0;
                tree_->setColumnWidth(Param(wParam), Param(lParam));
                return 1;
            case LVM_GETCOLUMNW: {
                if (wParam < 0 || wParam >= tree_->columnCount()) return 0;
                auto& column = *reinterpret_cast<TLVColumn*>(lParam);
                column.Width = tree_->columnWidth(Param(wParam));
                return 1;
            }
            case LVM_SETEXTENDEDLISTVIEWSTYLE: {
                const uint32_t old = extended_;
                const uint32_t mask = wParam ? static_cast<uint32_t>(wParam) : 0xFFFFFFFF;
                extended_ = (extended_ & ~mask) | (static_cast<uint32_t>(lParam) & mask);
                tree_->setStyleSheet((extended_ & LVS_EX_GRIDLINES) ? "QTreeView::item { border: 1px solid #d0d0d0; }"
                                                                    : QString());
                return old;
            }
            case LVM_GETEXTENDEDLISTVIEWSTYLE: return extended_;
        }
        return 0;
    }

private:
    QTreeWidgetItem* Row(int index) const { return tree_->topLevelItem(index); }

    void SetColumn(int index, const TLVColumn& column) {
        if (column.Mask & LVCF_TEXT)
            tree_->headerItem()->setText(index, QtTextParam(reinterpret_cast<intptr_t>(column.Text)));
        if (column.Mask & LVCF_WIDTH) tree_->setColumnWidth(index, column.Width);
    }

    // Moves the texts of the columns from `from` one place right (+1) or
    // left (-1, dropping column `from`) in the header and every row.
    void ShiftColumns(int from, int columns, int direction) {
        std::vector<QTreeWidgetItem*> rows{tree_->headerItem()};
        for (int i = 0; i < tree_->topLevelItemCount(); ++i) rows.push_back(Row(i));
        for (QTreeWidgetItem* row : rows) {
            if (direction > 0) {
                for (int c = columns; c > from; --c) row->setText(c, row->text(c - 1));
                row->setText(from, QString());
            } else {
                for (int c = from; c + 1 < columns; ++c) row->setText(c, row->text(c + 1));
                row->setText(columns - 1, QString());
            }
        }
        if (direction > 0) {
            for (int c = columns; c > from; --c) tree_->setColumnWidth(c, tree_->columnWidth(c - 1));
        } else {
            for (int c = from; c + 1 < columns; ++c) tree_->setColumnWidth(c, tree_->columnWidth(c + 1));
        }
    }

    void Sort(TLVCompare compare, intptr_t data) {
        if (!compare) return;
        TQtQuiet quiet(Quiet);
        QTreeWidgetItem* current = tree_->currentItem();
        // Rows taken out would hand the selection on to their neighbours.
        const std::set<QTreeWidgetItem*> selected = selected_;
        tree_->selectionModel()->clear();
        std::vector<std::pair<QTreeWidgetItem*, bool>> rows;
        while (tree_->topLevelItemCount() > 0) {
            QTreeWidgetItem* row = tree_->takeTopLevelItem(0);
            rows.emplace_back(row, selected.count(row) > 0);
        }
        std::stable_sort(rows.begin(), rows.end(), [&](const auto& a, const auto& b) {
            return compare(a.first->data(0, ParamRole).toLongLong(), b.first->data(0, ParamRole).toLongLong(), data) <
                   0;
        });
        for (auto& [row, wasSelected] : rows) tree_->addTopLevelItem(row);
        tree_->selectionModel()->clear();
        if (current) tree_->selectionModel()->setCurrentIndex(tree_->indexFromItem(current), QItemSelectionModel::NoUpdate);
        for (auto& [row, wasSelected] : rows)
            if (wasSelected) row->setSelected(true);
        RememberSelection();
    }

    void RememberSelection() {
        selected_.clear();
        for (QTreeWidgetItem* row : tree_->selectedItems()) selected_.insert(row);
    }

    // Each row whose selection changed is announced, the ones left first.
    void SelectionChanged() {
        if (Quiet) return;
        std::set<QTreeWidgetItem*> now;
        for (QTreeWidgetItem* row : tree_->selectedItems()) now.insert(row);
        const std::set<QTreeWidgetItem*> before = selected_;
        selected_ = now;
        auto announce = [this](QTreeWidgetItem* row, bool selected) {
            TNMListView info;
            info.Item = tree_->indexOfTopLevelItem(row);
            if (info.Item < 0) return;
            info.Changed = LVIF_STATE;
            info.NewState = selected ? LVIS_SELECTED : 0;
            info.OldState = selected ? 0 : LVIS_SELECTED;
            info.Param = row->data(0, ParamRole).toLongLong();
            Notify(info.Hdr, LVN_ITEMCHANGED);
        };
        for (QTreeWidgetItem* row : before)
            if (!now.count(row)) announce(row, false);
        for (QTreeWidgetItem* row : now)
            if (!before.count(row)) announce(row, true);
    }

    QTreeWidget* tree_;
    std::set<QTreeWidgetItem*> selected_;
    uint32_t extended_ = 0;
};

QWidget* TLabelDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                      const QModelIndex& index) const {
    if (index.column() != 0 || owner_.BeginEdit(index) != 0) return nullptr;
    committed_ = false;
    return QStyledItemDelegate::createEditor(parent, option, index);
}

void TLabelDelegate::setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const {
    committed_ = true;
    const QString text = static_cast<QLineEdit*>(editor)->text();
    // Answer 0: the control keeps (or sets) the caption itself.
    if (owner_.EndEdit(index, &text) != 0) model->setData(index, text);
}

void TLabelDelegate::destroyEditor(QWidget* editor, const QModelIndex& index) const {
    if (!committed_) owner_.EndEdit(index, nullptr);
    committed_ = true;
    QStyledItemDelegate::destroyEditor(editor, index);
}


// ---------------------------------------------------------------- list view with owner data

// Report mode over a model of rows that holds only their count: every text
// shown is asked of the control (LVN_GETDISPINFOW), and a typed prefix
// finds its row through the control (LVN_ODFINDITEMW).
class TQtOwnerDataListViewClass : public TQtWidgetClass, public TLabelEditing {
    class TModel : public QAbstractTableModel {
    public:
        TModel(TQtOwnerDataListViewClass& owner, QObject* parent) : QAbstractTableModel(parent), owner_(owner) {}
        int Count = 0;
        std::vector<QString> Captions;
        int rowCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : Count; }
        int columnCount(const QModelIndex& parent) const override {
            return parent.isValid() ? 0 : static_cast<int>(Captions.size());
        }
        QVariant data(const QModelIndex& index, int role) const override {
            if ((role != Qt::DisplayRole && role != Qt::EditRole) || !index.isValid()) return {};
            return owner_.Text(index.row(), index.column());
        }
        QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
            if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
                section >= static_cast<int>(Captions.size()))
                return {};
            return Captions[static_cast<size_t>(section)];
        }
        Qt::ItemFlags flags(const QModelIndex& index) const override {
            Qt::ItemFlags flags = QAbstractTableModel::flags(index);
            if (index.column() == 0) flags |= Qt::ItemIsEditable;
            return flags;
        }
        void Reset(int count) {
            beginResetModel();
            Count = count;
            endResetModel();
        }
        void InsertColumn(int at, const QString& caption) {
            beginInsertColumns({}, at, at);
            Captions.insert(Captions.begin() + at, caption);
            endInsertColumns();
        }
        void RemoveColumn(int at) {
            beginRemoveColumns({}, at, at);
            Captions.erase(Captions.begin() + at);
            endRemoveColumns();
        }
        void SetCaption(int at, const QString& caption) {
            Captions[static_cast<size_t>(at)] = caption;
            emit headerDataChanged(Qt::Horizontal, at, at);
        }
        void Redraw(int first, int last) {
            if (Count == 0 || Captions.empty()) return;
            emit dataChanged(index(std::max(first, 0), 0),
                             index(std::min(last, Count - 1), static_cast<int>(Captions.size()) - 1));
        }

    private:
        TQtOwnerDataListViewClass& owner_;
    };

    // The typed search asks the control.
    class TView : public TQtKeyOffering<QTreeView> {
    public:
        TView(TWinControl& control, QWidget* parent, TQtOwnerDataListViewClass& owner)
            : TQtKeyOffering<QTreeView>(control, parent), owner_(owner) {}
        void keyboardSearch(const QString& search) override { owner_.Search(search); }

    private:
        TQtOwnerDataListViewClass& owner_;
    };

public:
    TQtOwnerDataListViewClass(TQtWindow& window, QWidget* parent) : TQtWidgetClass(window) {
        const uint32_t style = window.Control().Params().Style;
        view_ = new TView(window.Control(), parent, *this);
        model_ = new TModel(*this, view_);
        view_->setModel(model_);
        SetUpReportView(view_, style, *this, [this](int column) { ColumnClicked(column); });
        QObject::connect(view_->selectionModel(), &QItemSelectionModel::selectionChanged,
                         [this](const QItemSelection& selected, const QItemSelection& deselected) {
                             if (Quiet) return;
                             Announce(deselected, false);
                             Announce(selected, true);
                         });
    }
    QWidget* Widget() const override { return view_; }
    void ColumnClicked(int column) {
        TNMListView info;
        info.SubItem = column;
        Notify(info.Hdr, LVN_COLUMNCLICK);
    }

    QString Text(int row, int column) {
        if (Detached()) return {};
        char16_t buffer[1024] = {};
        TNMLVDispInfo info;
        info.Item.Mask = LVIF_TEXT;
        info.Item.Item = row;
        info.Item.SubItem = column;
        info.Item.Buffer = buffer;
        info.Item.TextMax = 1024;
        Notify(info.Hdr, LVN_GETDISPINFOW);
        return QString::fromUtf16(buffer);
    }

    intptr_t BeginEdit(const QModelIndex& index) override {
        TNMLVDispInfo info;
        info.Item.Item = index.row();
        return Notify(info.Hdr, LVN_BEGINLABELEDITW);
    }
    intptr_t EndEdit(const QModelIndex& index, const QString* text) override {
        TNMLVDispInfo info;
        info.Item.Item = index.row();
        info.Item.Mask = LVIF_TEXT;
        std::u16string value = text ? FromQString(*text) : std::u16string();
        info.Item.Text = text ? value.c_str() : nullptr;
        const intptr_t answer = Notify(info.Hdr, LVN_ENDLABELEDITW);
        model_->Redraw(index.row(), index.row());
        return answer;
    }

    intptr_t ClassProc(uint32_t msg, intptr_t wParam, intptr_t lParam) override {
        const int count = model_->Count;
        const int columns = static_cast<int>(model_->Captions.size());
        auto valid = [count](intptr_t i) { return i >= 0 && i < count; };
        auto row = [this](intptr_t i) { return model_->index(Param(i), 0); };
        QItemSelectionModel* selection = view_->selectionModel();
        switch (msg) {
            case LVM_GETITEMCOUNT: return count;
            case LVM_SETITEMCOUNT: {
                TQtQuiet quiet(Quiet);
                model_->Reset(std::max(Param(wParam), 0));
                return 1;
            }
            case LVM_DELETEALLITEMS: {
                TQtQuiet quiet(Quiet);
                model_->Reset(0);
                return 1;
            }
            case LVM_REDRAWITEMS: model_->Redraw(Param(wParam), Param(lParam)); return 1;
            case LVM_ENSUREVISIBLE:
                if (!valid(wParam)) return 0;
                view_->scrollTo(row(wParam));
                return 1;
            case LVM_GETITEMTEXTW: {
                auto& item = *reinterpret_cast<TLVItem*>(lParam);
                if (!valid(wParam) || !item.Buffer || item.TextMax <= 0) return 0;
                return QtCopyText(Text(Param(wParam), item.SubItem).left(item.TextMax - 1),
                                  reinterpret_cast<intptr_t>(item.Buffer));
            }
            case LVM_SETITEMSTATE: {
                const auto& item = *reinterpret_cast<const TLVItem*>(lParam);
                TQtQuiet quiet(Quiet);
                for (int i = wParam < 0 ? 0 : Param(wParam); i < (wParam < 0 ? count : Param(wParam) + 1); ++i) {
                    if (!valid(i)) return 0;
                    if (item.StateMask & LVIS_SELECTED)
                        selection->select(row(i), ((item.State & LVIS_SELECTED) ? QItemSelectionModel::Select
                                                                                 : QItemSelectionModel::Deselect) |
                                                      QItemSelectionModel::Rows);
                    if ((item.StateMask & LVIS_FOCUSED) && (item.State & LVIS_FOCUSED))
                        selection->setCurrentIndex(row(i), QItemSelectionModel::NoUpdate);
                }
                return 1;
            }
            case LVM_GETITEMSTATE: {
                if (!valid(wParam)) return 0;
                uint32_t state = 0;
                if (selection->isRowSelected(Param(wParam), {})) state |= LVIS_SELECTED;
                if (view_->currentIndex().row() == Param(wParam)) state |= LVIS_FOCUSED;
                return state & static_cast<uint32_t>(lParam);
            }
            case LVM_GETNEXTITEM:
                for (int i = wParam < 0 ? 0 : Param(wParam) + 1; i < count; ++i)
                    if (!(lParam & LVNI_SELECTED) || selection->isRowSelected(i, {})) return i;
                return -1;
            case LVM_EDITLABELW:
                if (!valid(wParam)) return 0;
                view_->setFocus();
                view_->setCurrentIndex(row(wParam));
                view_->edit(row(wParam));
                return 1;
            case LVM_INSERTCOLUMNW: {
                const auto& column = *reinterpret_cast<const TLVColumn*>(lParam);
                const int at = std::clamp(Param(wParam), 0, columns);
                model_->InsertColumn(
                    at, (column.Mask & LVCF_TEXT) ? QtTextParam(reinterpret_cast<intptr_t>(column.Text)) : QString());
                if (column.Mask & LVCF_WIDTH) view_->setColumnWidth(at, column.Width);
                return at;
            }
            case LVM_DELETECOLUMN:
                if (wParam < 0 || wParam >= columns) return 0;
                model_->RemoveColumn(Param(wParam));
                return 1;
            case LVM_SETCOLUMNW: {
                if (wParam < 0 || wParam >= columns) return 0;
                const auto& column = *reinterpret_cast<const TLVColumn*>(lParam);
                if (column.Mask & LVCF_TEXT)
                    model_->SetCaption(Param(wParam), QtTextParam(reinterpret_cast<intptr_t>(column.Text)));
                if (column.Mask & LVCF_WIDTH) view_->setColumnWidth(Param(wParam), column.Width);
                return 1;
            }
            case LVM_GETCOLUMNWIDTH: return wParam >= 0 && wParam < columns ? view_->columnWidth(Param(wParam)) : 0;
            case LVM_SETCOLUMNWIDTH:
                if (wParam < 0 || wParam >= columns) return 0;
                view_->setColumnWidth(Param(wParam), Param(lParam));
                return 1;
            case LVM_GETCOLUMNW: {
                if (wParam < 0 || wParam >= columns) return 0;
                reinterpret_cast<TLVColumn*>(lParam)->Width = view_->columnWidth(Param(wParam));
                return 1;
            }
            case LVM_SETEXTENDEDLISTVIEWSTYLE: {
                const uint32_t old = extended_;
                const uint32_t mask = wParam ? static_cast<uint32_t>(wParam) : 0xFFFFFFFF;
                extended_ = (extended_ & ~mask) | (static_cast<uint32_t>(lParam) & mask);
                return old;
            }
            case LVM_GETEXTENDEDLISTVIEWSTYLE: return extended_;
        }
        return 0;
    }

    // The row after the current one (wrapping round) whose text the control
    // finds for the typed prefix becomes the current and selected one.
    void Search(const QString& search) {
        if (Detached() || search.isEmpty() || model_->Count == 0) return;
        const QString text = search;
        const std::u16string wide = FromQString(text);
        TNMLVFindItem find;
        find.Start = std::max(view_->currentIndex().row(), 0);
        find.Flags = LVFI_STRING | LVFI_PARTIAL | LVFI_WRAP;
        find.Text = wide.c_str();
        const intptr_t found = Notify(find.Hdr, LVN_ODFINDITEMW);
        if (found < 0 || found >= model_->Count) return;
        view_->setCurrentIndex(model_->index(static_cast<int>(found), 0));
    }

private:
    // Each row whose selection changed is announced.
    void Announce(const QItemSelection& rows, bool selected) {
        std::set<int> done;
        for (const QModelIndex& index : rows.indexes()) {
            if (!done.insert(index.row()).second) continue;
            TNMListView info;
            info.Item = index.row();
            info.Changed = LVIF_STATE;
            info.NewState = selected ? LVIS_SELECTED : 0;
            info.OldState = selected ? 0 : LVIS_SELECTED;
            Notify(info.Hdr, LVN_ITEMCHANGED);
            if (Detached()) return;
        }
    }

    TView* view_;
    TModel* model_;
    uint32_t extended_ = 0;
};

// ---------------------------------------------------------------- tab control

// The tab bar along the top; the rest is the area where the pages go.
class TQtTabFrame : public QWidget {
public:
    TQtTabFrame(TWinControl& control, QWidget* parent) : QWidget(parent) {
        Bar = new TQtAccelRouted<QTabBar>(control, this);
        Bar->setDrawBase(true);
        Bar->setExpanding(false);
        Bar->setUsesScrollButtons(true);
        // One fixed height, measured once, so that the page area the
        // toolkit lays out does not depend on when Qt measures the bar.
        Bar->setFixedHeight(QFontMetrics(Bar->font()).height() + 12);
        Area = new QWidget(this);
    }
    QTabBar* Bar;
    QWidget* Area;

protected:
    void resizeEvent(QResizeEvent*) override {
        Bar->setGeometry(0, 0, width(), Bar->height());
        Area->setGeometry(0, Bar->height(), width(), std::max(height() - Bar->height(), 0));
    }
};

class TQtTabControlClass : public TQtWidgetClass {
public:
    TQtTabControlClass(TQtWindow& window, QWidget* parent) : TQtWidgetClass(window) {
        frame_ = new TQtTabFrame(window.Control(), parent);
        QObject::connect(frame_->Bar, &QTabBar::currentChanged, [this](int index) { Changed(index); });
    }
    QWidget* Widget() const override { return frame_; }
    QWidget* ClientWidget() const override { return frame_->Area; }
    QWidget* FocusWidget() const override { return frame_->Bar; }
    int32_t NonClientTop() const override { return frame_->Bar->height(); }

    intptr_t ClassProc(uint32_t msg, intptr_t wParam, intptr_t lParam) override {
        QTabBar* bar = frame_->Bar;
        const int count = bar->count();
        auto valid = [count](intptr_t i) { return i >= 0 && i < count; };
        TQtQuiet quiet(Quiet);
        switch (msg) {
            case TCM_GETITEMCOUNT: return count;
            case TCM_INSERTITEMW: {
                const auto& item = *reinterpret_cast<const TTCItem*>(lParam);
                const int at = std::clamp(Param(wParam), 0, count);
                const QString text = (item.Mask & TCIF_TEXT) ? QtTextParam(reinterpret_cast<intptr_t>(item.Text)) : QString();
                const int index = bar->insertTab(at, text);
                bar->setTabData(index, qlonglong{(item.Mask & TCIF_PARAM) ? item.Param : 0});
                current_ = bar->currentIndex();
                return index;
            }
            case TCM_SETITEMW: {
                if (!valid(wParam)) return 0;
                const auto& item = *reinterpret_cast<const TTCItem*>(lParam);
                if (item.Mask & TCIF_TEXT)
                    bar->setTabText(Param(wParam), QtTextParam(reinterpret_cast<intptr_t>(item.Text)));
                if (item.Mask & TCIF_PARAM) bar->setTabData(Param(wParam), qlonglong{item.Param});
                return 1;
            }
            case TCM_GETITEMW: {
                if (!valid(wParam)) return 0;
                auto& item = *reinterpret_cast<TTCItem*>(lParam);
                item.Param = bar->tabData(Param(wParam)).toLongLong();
                return 1;
            }
            case TCM_DELETEITEM:
                if (!valid(wParam)) return 0;
                bar->removeTab(Param(wParam));
                current_ = bar->currentIndex();
                return 1;
            case TCM_DELETEALLITEMS:
                while (bar->count() > 0) bar->removeTab(0);
                current_ = -1;
                return 1;
            case TCM_GETCURSEL: return bar->currentIndex();
            case TCM_SETCURSEL: {
                const int old = bar->currentIndex();
                if (!valid(wParam)) return -1;
                bar->setCurrentIndex(Param(wParam));
                current_ = bar->currentIndex();
                return old;
            }
            case TCM_ADJUSTRECT: {
                auto& rect = *reinterpret_cast<TRect*>(lParam);
                rect.Top += wParam ? -bar->height() : bar->height();
                return 0;
            }
        }
        return 0;
    }

private:
    // Qt has changed the tab already: the old one comes back while the
    // control is asked whether it may change, and stays when it may not.
    void Changed(int index) {
        if (Quiet || Detached()) return;
        QTabBar* bar = frame_->Bar;
        const int old = current_;
        if (old == index) return;
        {
            TQtQuiet quiet(Quiet);
            if (old >= 0 && old < bar->count()) bar->setCurrentIndex(old);
        }
        TNMHdr header;
        if (Notify(header, TCN_SELCHANGING) != 0) return;
        {
            TQtQuiet quiet(Quiet);
            bar->setCurrentIndex(index);
        }
        current_ = bar->currentIndex();
        TNMHdr changed;
        Notify(changed, TCN_SELCHANGE);
    }

    TQtTabFrame* frame_;
    int current_ = -1;
};

// ---------------------------------------------------------------- up-down

constexpr TColor clBtnFace = static_cast<TColor>(0x8000000F);
constexpr TColor clBtnShadow = static_cast<TColor>(0x80000010);
constexpr TColor clBtnHighlight = static_cast<TColor>(0x80000014);
constexpr TColor cl3DDkShadow = static_cast<TColor>(0x80000015);
constexpr TColor clBtnText = static_cast<TColor>(0x80000012);
constexpr TColor clGrayText = static_cast<TColor>(0x80000011);

uint32_t Rgb(TColor color) { return static_cast<uint32_t>(ColorToRGB(color)); }

// One arrow button: a raised (or, held, sunken) face with a triangle,
// drawn with our canvas.
class TArrowButton : public QAbstractButton {
public:
    TArrowButton(bool increase, bool horizontal, QWidget* parent)
        : QAbstractButton(parent), increase_(increase), horizontal_(horizontal) {
        setAutoRepeat(true);
        setAutoRepeatDelay(400);
        setAutoRepeatInterval(60);
        setFocusPolicy(Qt::NoFocus);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        // At the screen's density.
        const int scale = std::max(1, static_cast<int>(std::ceil(devicePixelRatioF() - 0.01)));
        TBitmap bitmap;
        bitmap.SetPixelFormat(TPixelFormat::pf32bit);
        bitmap.SetDevicePixelRatio(scale);
        bitmap.SetSize(width() * scale, height() * scale);
        TCanvas canvas(bitmap);
        const int w = width(), h = height();
        canvas.Brush.Color = Rgb(clBtnFace);
        canvas.FillRect({0, 0, w, h});
        const bool down = isDown();
        auto line = [&canvas](TColor color, int x1, int y1, int x2, int y2) {
            canvas.Pen.Color = Rgb(color);
            canvas.MoveTo(x1, y1);
            canvas.LineTo(x2, y2);
        };
        line(down ? clBtnShadow : clBtnHighlight, 0, h - 1, 0, 0);
        line(down ? clBtnShadow : clBtnHighlight, 0, 0, w, 0);
        line(down ? clBtnShadow : cl3DDkShadow, w - 1, 0, w - 1, h);
        line(down ? clBtnShadow : cl3DDkShadow, 0, h - 1, w, h - 1);
        // The triangle, a third of the smaller side, moved a pixel when held.
        const int size = std::max(2, std::min(w, h) / 3);
        const int cx = w / 2 + (down ? 1 : 0), cy = h / 2 + (down ? 1 : 0);
        std::vector<TPoint> points;
        if (horizontal_) {
            const int tip = increase_ ? cx + size / 2 : cx - size / 2, base = increase_ ? tip - size : tip + size;
            points = {{tip, cy}, {base, cy - size}, {base, cy + size}};
        } else {
            const int tip = increase_ ? cy - size / 2 : cy + size / 2, base = increase_ ? tip + size : tip - size;
            points = {{cx, tip}, {cx - size, base}, {cx + size, base}};
        }
        const uint32_t ink = Rgb(isEnabled() ? clBtnText : clGrayText);
        canvas.Pen.Color = ink;
        canvas.Brush.Color = ink;
        canvas.Polygon(points);
        QImage image(bitmap.Width(), bitmap.Height(), QImage::Format_RGB32);
        for (int y = 0; y < bitmap.Height(); ++y)
            std::memcpy(image.scanLine(y), bitmap.ScanLine(y), static_cast<size_t>(bitmap.Width()) * 4);
        image.setDevicePixelRatio(scale);
        QPainter(this).drawImage(QPointF(0, 0), image);
    }

private:
    bool increase_, horizontal_;
};

// Up and Down (Left and Right for a horizontal one) typed into the buddy
// step the up-down instead.
class TArrowKeyFilter : public QObject {
public:
    TArrowKeyFilter(QObject* parent, std::function<bool(int key)> onKey) : QObject(parent), onKey_(std::move(onKey)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress && onKey_(static_cast<QKeyEvent*>(event)->key())) return true;
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<bool(int key)> onKey_;
};

class TQtUpDownClass : public TQtWidgetClass {
public:
    TQtUpDownClass(TQtWindow& window, QWidget* parent) : TQtWidgetClass(window) {
        style_ = window.Control().Params().Style;
        frame_ = new TQtUpDownFrame(parent, (style_ & UDS_HORZ) != 0);
        for (bool increase : {true, false}) {
            auto* button = new TArrowButton(increase, style_ & UDS_HORZ, frame_);
            QObject::connect(button, &QAbstractButton::clicked, [this, increase] { Step(increase ? 1 : -1); });
            (increase ? frame_->Increase : frame_->Decrease) = button;
        }
        keys_ = new TArrowKeyFilter(frame_, [this](int key) {
            const bool horizontal = style_ & UDS_HORZ;
            const int up = horizontal ? Qt::Key_Right : Qt::Key_Up, down = horizontal ? Qt::Key_Left : Qt::Key_Down;
            if (key != up && key != down) return false;
            Step(key == up ? 1 : -1);
            return true;
        });
    }
    QWidget* Widget() const override { return frame_; }

    intptr_t ClassProc(uint32_t msg, intptr_t wParam, intptr_t lParam) override {
        switch (msg) {
            case UDM_SETRANGE32:
                min_ = Param(wParam);
                max_ = Param(lParam);
                return 0;
            case UDM_GETRANGE32:
                if (wParam) *reinterpret_cast<int*>(wParam) = min_;
                if (lParam) *reinterpret_cast<int*>(lParam) = max_;
                return 0;
            case UDM_SETPOS32: {
                const int old = position_;
                position_ = Clamp(Param(lParam));
                ShowInBuddy();
                return old;
            }
            case UDM_GETPOS32: {
                const bool error = !ReadBuddy();
                if (lParam) *reinterpret_cast<bool*>(lParam) = error;
                return position_;
            }
            case UDM_SETBUDDY: {
                const HWND old = buddy_;
                buddy_ = static_cast<HWND>(wParam);
                if (buddyWidget_) buddyWidget_->removeEventFilter(keys_);
                buddyWidget_ = nullptr;
                TWinControl* buddy = Buddy();
                if (buddy && (style_ & UDS_ARROWKEYS)) {
                    if (TQtWindow* window = TQtBackend::WindowOf(*buddy)) {
                        buddyWidget_ = window->Client();
                        buddyWidget_->installEventFilter(keys_);
                    }
                }
                ShowInBuddy();
                return old;
            }
            case UDM_GETBUDDY: return buddy_;
            case UDM_SETACCEL:
                if (wParam > 0 && lParam) increment_ = static_cast<int>(reinterpret_cast<const TUDAccel*>(lParam)->Inc);
                return 1;
        }
        return 0;
    }

private:
    // The frame splits itself between the two buttons: up over down, or
    // left of right for a horizontal one (the increasing one on the right).
    class TQtUpDownFrame : public QWidget {
    public:
        TQtUpDownFrame(QWidget* parent, bool horizontal) : QWidget(parent), horizontal_(horizontal) {}
        QAbstractButton* Increase = nullptr;
        QAbstractButton* Decrease = nullptr;

    protected:
        void resizeEvent(QResizeEvent*) override {
            if (horizontal_) {
                Decrease->setGeometry(0, 0, width() / 2, height());
                Increase->setGeometry(width() / 2, 0, width() - width() / 2, height());
            } else {
                Increase->setGeometry(0, 0, width(), height() / 2);
                Decrease->setGeometry(0, height() / 2, width(), height() - height() / 2);
            }
        }

    private:
        bool horizontal_;
    };

    int Clamp(int value) const { return std::clamp(value, std::min(min_, max_), std::max(min_, max_)); }

    TWinControl* Buddy() const { return buddy_ ? Application().FindControl(buddy_) : nullptr; }

    void ShowInBuddy() {
        TWinControl* buddy = Buddy();
        if (!buddy || !(style_ & UDS_SETBUDDYINT) || !buddy->NativeWindow()) return;
        QString text = QString::number(position_);
        if (!(style_ & UDS_NOTHOUSANDS)) {
            const int digitsStart = position_ < 0 ? 1 : 0;
            for (qsizetype at = text.size() - 3; at > digitsStart; at -= 3) text.insert(at, u',');
        }
        buddy->NativeWindow()->SetText(FromQString(text));
    }

    // A number typed into the buddy becomes the position; false when the
    // buddy holds no number in the range.
    bool ReadBuddy() {
        TWinControl* buddy = Buddy();
        if (!buddy || !(style_ & UDS_SETBUDDYINT) || !buddy->NativeWindow()) return true;
        QString text = ToQString(buddy->NativeWindow()->Text()).trimmed();
        text.remove(u',');
        bool ok = false;
        const int value = text.toInt(&ok);
        if (!ok || value != Clamp(value)) return false;
        position_ = value;
        return true;
    }

    // One step of an arrow (the first of a press, or a repeat while held):
    // the control may refuse it; past an end the position wraps or stops.
    void Step(int direction) {
        if (Detached()) return;
        ReadBuddy();
        const int delta = direction * increment_ * (max_ < min_ ? -1 : 1);
        TNMUpDown info;
        info.Pos = position_;
        info.Delta = delta;
        if (Notify(info.Hdr, UDN_DELTAPOS) != 0) return;
        const int low = std::min(min_, max_), high = std::max(min_, max_);
        int next = position_ + info.Delta;
        if (next > high) next = (style_ & UDS_WRAP) ? low : high;
        else if (next < low) next = (style_ & UDS_WRAP) ? high : low;
        if (next == position_) return;
        position_ = next;
        ShowInBuddy();
        if (!Detached())
            Control().Perform(CN_BASE + ((style_ & UDS_HORZ) ? WM_HSCROLL : WM_VSCROLL),
                              MakeWParam(SB_THUMBPOSITION, position_), 0);
    }

    TQtUpDownFrame* frame_;
    TArrowKeyFilter* keys_;
    QPointer<QWidget> buddyWidget_;
    uint32_t style_;
    int min_ = 0, max_ = 100, position_ = 0, increment_ = 1;
    HWND buddy_ = 0;
};

template <typename Class>
TQtWidgetClassMaker Maker() {
    return [](TQtWindow& window, QWidget* parent) -> std::unique_ptr<TQtWidgetClass> {
        return std::make_unique<Class>(window, parent);
    };
}

}  // namespace

void RegisterQtCommonWindowClasses() {
    RegisterQtWindowClass("SysListView32", [](TQtWindow& window, QWidget* parent) -> std::unique_ptr<TQtWidgetClass> {
        if (window.Control().Params().Style & LVS_OWNERDATA)
            return std::make_unique<TQtOwnerDataListViewClass>(window, parent);
        return std::make_unique<TQtListViewClass>(window, parent);
    });
    RegisterQtWindowClass("SysTabControl32", Maker<TQtTabControlClass>());
    RegisterQtWindowClass("msctls_updown32", Maker<TQtUpDownClass>());
}
