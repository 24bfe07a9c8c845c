#include "controls/ui/uccomctrls.h"

#include <algorithm>

#include "platform/canvas.h"

namespace {
constexpr TColor clBtnFace = static_cast<TColor>(0x8000000F);

[[noreturn]] void IndexError(int index) { throw EListError(FormatStr(SListIndexError, index)); }

intptr_t Ptr(const void* p) { return reinterpret_cast<intptr_t>(p); }
}  // namespace

// ---------------------------------------------------------------- columns

void TUcListColumn::SetCaption(const WideString& caption) {
    caption_ = caption;
    TLVColumn column;
    column.Mask = LVCF_TEXT;
    column.Text = caption_.c_str();
    view_.SendClassMessage(LVM_SETCOLUMNW, index_, Ptr(&column));
}

int TUcListColumn::Width() const {
    return view_.NativeWindow() ? static_cast<int>(view_.SendClassMessage(LVM_GETCOLUMNWIDTH, index_)) : width_;
}

void TUcListColumn::SetWidth(int width) {
    width_ = width;
    view_.SendClassMessage(LVM_SETCOLUMNWIDTH, index_, width);
}

TUcListColumn* TUcListColumns::Add() {
    columns_.push_back(std::make_unique<TUcListColumn>(view_, Count()));
    TUcListColumn& column = *columns_.back();
    TLVColumn record;
    record.Mask = LVCF_TEXT | LVCF_WIDTH;
    record.Width = column.width_;
    record.Text = column.caption_.c_str();
    view_.SendClassMessage(LVM_INSERTCOLUMNW, column.index_, Ptr(&record));
    return &column;
}

TUcListColumn* TUcListColumns::Items(int index) const {
    if (index < 0 || index >= Count()) IndexError(index);
    return columns_[static_cast<size_t>(index)].get();
}

// ---------------------------------------------------------------- items

TWideSubItems::TWideSubItems(TUcListItem& item) : item_(item) {
    OnChange = [this](TUcStringList*) { item_.ShowTexts(); };
}

TUcListItem::TUcListItem(TUcListItems& owner) : owner_(owner), subItems_(*this) {}

TUcCustomListView& TUcListItem::ListView() const { return owner_.Owner(); }

int TUcListItem::Index() const { return owner_.IndexOf(this); }

void TUcListItem::SetCaption(const WideString& caption) {
    caption_ = caption;
    ShowTexts();
}

void TUcListItem::ShowTexts() {
    TUcCustomListView& view = ListView();
    const int index = Index();
    if (!view.NativeWindow() || index < 0) return;
    // Columns beyond the sub-items shown before are emptied.
    const int count = std::max(subItems_.Count(), shownSubItems_);
    for (int k = 0; k <= count; ++k) {
        const WideString text = k == 0 ? caption_ : k <= subItems_.Count() ? subItems_.Get(k - 1) : WideString();
        TLVItem record;
        record.SubItem = k;
        record.Text = text.c_str();
        view.SendClassMessage(LVM_SETITEMTEXTW, index, Ptr(&record));
    }
    shownSubItems_ = subItems_.Count();
}

bool TUcListItem::Selected() const {
    TUcCustomListView& view = ListView();
    if (!view.NativeWindow()) return selected_;
    return view.SendClassMessage(LVM_GETITEMSTATE, Index(), LVIS_SELECTED) != 0;
}

void TUcListItem::SetSelected(bool selected) {
    selected_ = selected;
    TLVItem record;
    record.StateMask = LVIS_SELECTED | (selected ? LVIS_FOCUSED : 0);
    record.State = selected ? LVIS_SELECTED | LVIS_FOCUSED : 0;
    ListView().SendClassMessage(LVM_SETITEMSTATE, Index(), Ptr(&record));
}

bool TUcListItem::EditCaption() { return ListView().SendClassMessage(LVM_EDITLABELW, Index()) != 0; }

TUcListItem* TUcListItems::Add() { return Insert(Count()); }

TUcListItem* TUcListItems::Insert(int index) {
    if (index < 0 || index > Count()) IndexError(index);
    auto item = std::make_unique<TUcListItem>(*this);
    TUcListItem* added = item.get();
    items_.insert(items_.begin() + index, std::move(item));
    view_.InsertRow(*added, index);
    return added;
}

void TUcListItems::Delete(int index) {
    if (index < 0 || index >= Count()) IndexError(index);
    view_.SendClassMessage(LVM_DELETEITEM, index);
    items_.erase(items_.begin() + index);
}

void TUcListItems::Clear() {
    view_.SendClassMessage(LVM_DELETEALLITEMS);
    items_.clear();
}

TUcListItem* TUcListItems::Item(int index) const {
    if (index < 0 || index >= Count()) IndexError(index);
    return items_[static_cast<size_t>(index)].get();
}

int TUcListItems::IndexOf(const TUcListItem* item) const {
    for (size_t i = 0; i < items_.size(); ++i)
        if (items_[i].get() == item) return static_cast<int>(i);
    return -1;
}

// ---------------------------------------------------------------- list view

TUcCustomListView::TUcCustomListView(TComponent* owner)
    : TUcWinControl<TStandardControl>(owner),
      columns_(std::make_unique<TUcListColumns>(*this)),
      items_(std::make_unique<TUcListItems>(*this)) {
    SetBounds(0, 0, 250, 150);
    HandleMessage(CN_NOTIFY, [this](TMessage& m, const TMessageHandler& inherited) {
        Notified(m);
        inherited(m);
    });
}

TUcCustomListView::~TUcCustomListView() {
    // The window goes before the items its rows point to.
    DestroyHandle();
}

void TUcCustomListView::CreateParams(TCreateParams& params) {
    params.WinClassName = "SysListView32";
    params.ExStyle |= WS_EX_CLIENTEDGE;
    params.Style |= LVS_REPORT | LVS_SHOWSELALWAYS;
    if (!MultiSelect) params.Style |= LVS_SINGLESEL;
    if (!ReadOnly) params.Style |= LVS_EDITLABELS;
    if (!ColumnClick) params.Style |= LVS_NOSORTHEADER;
}

void TUcCustomListView::CreateWnd() {
    TUcWinControl<TStandardControl>::CreateWnd();
    uint32_t extended = RowSelect ? LVS_EX_FULLROWSELECT : 0;
    if (GridLines) extended |= LVS_EX_GRIDLINES;
    if (checkboxes_) extended |= LVS_EX_CHECKBOXES | LVS_EX_SUBITEMIMAGES | LVS_EX_INFOTIP;
    SendClassMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, extended);
    for (auto& column : columns_->columns_) {
        TLVColumn record;
        record.Mask = LVCF_TEXT | LVCF_WIDTH;
        record.Width = column->width_;
        record.Text = column->caption_.c_str();
        SendClassMessage(LVM_INSERTCOLUMNW, column->index_, Ptr(&record));
    }
    for (int i = 0; i < items_->Count(); ++i) {
        TUcListItem& item = *items_->Item(i);
        item.shownSubItems_ = 0;
        InsertRow(item, i);
    }
}

void TUcCustomListView::DestroyWnd() {
    if (NativeWindow()) {
        for (auto& column : columns_->columns_) column->width_ = column->Width();
        for (auto& item : items_->items_) item->selected_ = item->Selected();
    }
    TUcWinControl<TStandardControl>::DestroyWnd();
}

void TUcCustomListView::InsertRow(TUcListItem& item, int index) {
    if (!NativeWindow()) return;
    TLVItem record;
    record.Mask = LVIF_TEXT | LVIF_PARAM;
    record.Item = index;
    record.Text = item.caption_.c_str();
    record.Param = Ptr(&item);
    SendClassMessage(LVM_INSERTITEMW, 0, Ptr(&record));
    item.ShowTexts();
    if (item.selected_) item.SetSelected(true);
}

void TUcCustomListView::SetCheckboxes(bool checkboxes) {
    checkboxes_ = checkboxes;
    constexpr uint32_t mask = LVS_EX_CHECKBOXES | LVS_EX_SUBITEMIMAGES | LVS_EX_INFOTIP;
    SendClassMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, mask, checkboxes ? mask : 0);
}

TUcListItem* TUcCustomListView::Selected() {
    if (!NativeWindow()) {
        for (auto& item : items_->items_)
            if (item->selected_) return item.get();
        return nullptr;
    }
    const intptr_t index = SendClassMessage(LVM_GETNEXTITEM, -1, LVNI_SELECTED);
    return index >= 0 && index < items_->Count() ? items_->Item(static_cast<int>(index)) : nullptr;
}

void TUcCustomListView::AddItem(const WideString& text, void* object) {
    TUcListItem* item = items_->Add();
    item->SetCaption(text);
    item->Data = object;
    SortIfWanted();
}

void TUcCustomListView::CopySelectedItems(TControl& destination) {
    for (auto& item : items_->items_)
        if (item->Selected()) UcListControlAddItem(destination, item->Caption(), item->Data);
}

void TUcCustomListView::SetSortType(TSortType sortType) {
    sortType_ = sortType;
    SortIfWanted();
}

void TUcCustomListView::SortIfWanted() {
    if (sortType_ != stNone) AlphaSort();
}

bool TUcCustomListView::AlphaSort() {
    return CustomSort(
        [this](TUcListItem* a, TUcListItem* b, intptr_t data) {
            if (OnCompare) {
                int compare = 0;
                OnCompare(this, a, b, data, compare);
                return compare;
            }
            return LocaleCompareText(a->Caption(), b->Caption());
        },
        0);
}

namespace {
// The window's rows follow the order the items took: a row's place is its
// item's index.
int ByItemIndex(intptr_t param1, intptr_t param2, intptr_t) {
    return reinterpret_cast<TUcListItem*>(param1)->Index() - reinterpret_cast<TUcListItem*>(param2)->Index();
}
}  // namespace

bool TUcCustomListView::CustomSort(const std::function<int(TUcListItem*, TUcListItem*, intptr_t)>& compare,
                                   intptr_t data) {
    std::stable_sort(items_->items_.begin(), items_->items_.end(),
                     [&](const auto& a, const auto& b) { return compare(a.get(), b.get(), data) < 0; });
    SendClassMessage(LVM_SORTITEMS, 0, reinterpret_cast<intptr_t>(&ByItemIndex));
    return true;
}

void TUcCustomListView::Notified(TMessage& message) {
    auto* header = reinterpret_cast<TNMHdr*>(message.LParam);
    if (!header) return;
    switch (header->Code) {
        case LVN_COLUMNCLICK: {
            const int column = reinterpret_cast<TNMListView*>(header)->SubItem;
            if (OnColumnClick && column >= 0 && column < columns_->Count()) OnColumnClick(this, columns_->Items(column));
            break;
        }
        case LVN_ITEMCHANGED: {
            const auto& info = *reinterpret_cast<TNMListView*>(header);
            auto* item = reinterpret_cast<TUcListItem*>(info.Param);
            if (!item || !(info.Changed & LVIF_STATE) || !((info.NewState ^ info.OldState) & LVIS_SELECTED)) break;
            item->selected_ = (info.NewState & LVIS_SELECTED) != 0;
            if (OnSelectItem) OnSelectItem(this, item, item->selected_);
            break;
        }
        case LVN_BEGINLABELEDITW: {
            auto* item = reinterpret_cast<TUcListItem*>(reinterpret_cast<TNMLVDispInfo*>(header)->Item.Param);
            bool allow = !ReadOnly && item;
            if (allow && OnEditing) OnEditing(this, item, allow);
            message.Result = allow ? 0 : 1;
            break;
        }
        case LVN_ENDLABELEDITW: {
            const TLVItem& record = reinterpret_cast<TNMLVDispInfo*>(header)->Item;
            auto* item = reinterpret_cast<TUcListItem*>(record.Param);
            // No text: the edit was cancelled.
            if (!item || !record.Text) break;
            WideString text = record.Text;
            if (OnEdited) OnEdited(this, item, text);
            item->SetCaption(text);
            message.Result = 0;
            SortIfWanted();
            break;
        }
    }
}

// ---------------------------------------------------------------- tab sheet

TUcTabSheet::TUcTabSheet(TComponent* owner) : TUcWinControl<TCustomControl>(owner) {
    SetVisible(false);
    SetAlign(TAlign::alClient);
    // A new caption shows on the tab.
    HandleMessage(CM_TEXTCHANGED, [this](TMessage& m, const TMessageHandler& inherited) {
        inherited(m);
        if (pageControl_) pageControl_->UpdateTabs();
    });
}

TUcTabSheet::~TUcTabSheet() { SetPageControl(nullptr); }

void TUcTabSheet::SetPageControl(TUcPageControl* pageControl) {
    if (pageControl == pageControl_) return;
    if (pageControl_) pageControl_->RemovePage(*this);
    pageControl_ = pageControl;
    SetParent(pageControl);
    if (pageControl_) pageControl_->InsertPage(*this);
}

int TUcTabSheet::PageIndex() const {
    if (!pageControl_) return -1;
    const auto& pages = pageControl_->pages_;
    return static_cast<int>(std::find(pages.begin(), pages.end(), this) - pages.begin());
}

int TUcTabSheet::TabIndex() const {
    if (!pageControl_ || !tabVisible_) return -1;
    int index = 0;
    for (TUcTabSheet* page : pageControl_->pages_) {
        if (page == this) return index;
        if (page->tabVisible_) ++index;
    }
    return -1;
}

void TUcTabSheet::SetTabVisible(bool visible) {
    if (visible == tabVisible_) return;
    tabVisible_ = visible;
    if (!pageControl_) return;
    if (!visible && pageControl_->active_ == this) {
        // The next visible page (or the one before) takes its place.
        TUcTabSheet* next = nullptr;
        const int at = PageIndex();
        for (int i = at + 1; i < pageControl_->PageCount() && !next; ++i)
            if (pageControl_->pages_[i]->tabVisible_) next = pageControl_->pages_[i];
        for (int i = at - 1; i >= 0 && !next; --i)
            if (pageControl_->pages_[i]->tabVisible_) next = pageControl_->pages_[i];
        pageControl_->active_ = next;
    }
    pageControl_->UpdateTabs();
}

void TUcTabSheet::Paint() {
    TCanvas canvas(*PaintSurface());
    canvas.Brush.Color = static_cast<uint32_t>(ColorToRGB(clBtnFace));
    canvas.FillRect({0, 0, canvas.Width(), canvas.Height()});
}

// ---------------------------------------------------------------- page control

TUcPageControl::TUcPageControl(TComponent* owner) : TUcWinControl<TStandardControl>(owner) {
    SetBounds(0, 0, 289, 193);
    HandleMessage(CN_NOTIFY, [this](TMessage& m, const TMessageHandler& inherited) {
        auto* header = reinterpret_cast<TNMHdr*>(m.LParam);
        if (header && header->Code == TCN_SELCHANGING) {
            m.Result = CanChange() ? 0 : 1;
            return;
        }
        if (header && header->Code == TCN_SELCHANGE) {
            const int tab = TabIndex();
            for (TUcTabSheet* page : pages_)
                if (page->TabIndex() == tab && tab >= 0) active_ = page;
            ShowActive();
            Change();
            return;
        }
        inherited(m);
    });
}

TUcPageControl::~TUcPageControl() {
    for (TUcTabSheet* page : pages_) page->pageControl_ = nullptr;
    pages_.clear();
    active_ = nullptr;
}

void TUcPageControl::CreateParams(TCreateParams& params) { params.WinClassName = "SysTabControl32"; }

void TUcPageControl::CreateWnd() {
    TUcWinControl<TStandardControl>::CreateWnd();
    UpdateTabs();
}

TUcTabSheet* TUcPageControl::Pages(int index) const {
    if (index < 0 || index >= PageCount()) IndexError(index);
    return pages_[static_cast<size_t>(index)];
}

int TUcPageControl::ActivePageIndex() const { return active_ ? active_->PageIndex() : -1; }

void TUcPageControl::SetActivePageIndex(int index) { SetActivePage(index == -1 ? nullptr : Pages(index)); }

void TUcPageControl::SetActivePage(TUcTabSheet* page) {
    if (page && page->pageControl_ != this) return;
    active_ = page && page->tabVisible_ ? page : nullptr;
    UpdateTabs();
}

int TUcPageControl::TabIndex() {
    return NativeWindow() ? static_cast<int>(SendClassMessage(TCM_GETCURSEL)) : (active_ ? active_->TabIndex() : -1);
}

bool TUcPageControl::CanChange() {
    bool allow = true;
    if (OnChanging) OnChanging(this, allow);
    return allow;
}

void TUcPageControl::Change() {
    if (OnChange) OnChange(this);
}

void TUcPageControl::InsertPage(TUcTabSheet& page) {
    pages_.push_back(&page);
    if (!active_ && page.tabVisible_) active_ = &page;
    UpdateTabs();
}

void TUcPageControl::RemovePage(TUcTabSheet& page) {
    pages_.erase(std::remove(pages_.begin(), pages_.end(), &page), pages_.end());
    if (active_ == &page) {
        active_ = nullptr;
        for (TUcTabSheet* other : pages_)
            if (other->tabVisible_ && !active_) active_ = other;
    }
    UpdateTabs();
}

void TUcPageControl::UpdateTabs() {
    if (NativeWindow()) {
        SendClassMessage(TCM_DELETEALLITEMS);
        int tab = 0;
        for (TUcTabSheet* page : pages_) {
            if (!page->tabVisible_) continue;
            const WideString caption = page->Caption();
            TTCItem item;
            item.Mask = TCIF_TEXT | TCIF_PARAM;
            item.Text = caption.c_str();
            item.Param = reinterpret_cast<intptr_t>(page);
            SendClassMessage(TCM_INSERTITEMW, tab++, reinterpret_cast<intptr_t>(&item));
        }
        if (active_) SendClassMessage(TCM_SETCURSEL, active_->TabIndex());
    }
    ShowActive();
}

void TUcPageControl::ShowActive() {
    for (TUcTabSheet* page : pages_) page->SetVisible(page == active_);
    AlignControls();
}

// ---------------------------------------------------------------- up-down

TUcCustomUpDown::TUcCustomUpDown(TComponent* owner) : TUcWinControl<TStandardControl>(owner) {
    SetBounds(0, 0, 17, 25);
    HandleMessage(CN_NOTIFY, [this](TMessage& m, const TMessageHandler& inherited) {
        auto* header = reinterpret_cast<TNMHdr*>(m.LParam);
        if (header && header->Code == UDN_DELTAPOS) {
            const auto& info = *reinterpret_cast<TNMUpDown*>(header);
            lastDirection_ = info.Delta > 0 ? updUp : info.Delta < 0 ? updDown : updNone;
            m.Result = CanChange(info.Pos + info.Delta, lastDirection_) ? 0 : 1;
            return;
        }
        inherited(m);
    });
    for (uint32_t scroll : {CN_BASE + WM_VSCROLL, CN_BASE + WM_HSCROLL}) {
        HandleMessage(scroll, [this](TMessage& m, const TMessageHandler& inherited) {
            position_ = static_cast<int>(SendClassMessage(UDM_GETPOS32));
            if (OnClick) OnClick(this, lastDirection_ == updDown ? btPrev : btNext);
            inherited(m);
        });
    }
}

TUcCustomUpDown::~TUcCustomUpDown() { SetAssociate(nullptr); }

void TUcCustomUpDown::CreateParams(TCreateParams& params) {
    params.WinClassName = "msctls_updown32";
    params.Style |= UDS_SETBUDDYINT | UDS_ALIGNRIGHT;
    if (Wrap) params.Style |= UDS_WRAP;
    if (!Thousands) params.Style |= UDS_NOTHOUSANDS;
    if (Orientation == udHorizontal) params.Style |= UDS_HORZ;
    if (ArrowKeys) params.Style |= UDS_ARROWKEYS;
}

void TUcCustomUpDown::CreateWnd() {
    TUcWinControl<TStandardControl>::CreateWnd();
    SendClassMessage(UDM_SETRANGE32, min_, max_);
    TUDAccel accel{0, static_cast<unsigned>(increment_)};
    SendClassMessage(UDM_SETACCEL, 1, reinterpret_cast<intptr_t>(&accel));
    if (associate_ && associate_->HandleAllocated()) SendClassMessage(UDM_SETBUDDY, associate_->Handle());
    SendClassMessage(UDM_SETPOS32, 0, position_);
}

bool TUcCustomUpDown::CanChange(int newValue, TUpDownDirection direction) {
    bool allow = true;
    if (OnChanging) OnChanging(this, allow);
    if (OnChangingEx) OnChangingEx(this, allow, newValue, direction);
    return allow;
}

void TUcCustomUpDown::SetMin(int value) {
    min_ = value;
    SendClassMessage(UDM_SETRANGE32, min_, max_);
}

void TUcCustomUpDown::SetMax(int value) {
    max_ = value;
    SendClassMessage(UDM_SETRANGE32, min_, max_);
}

void TUcCustomUpDown::SetIncrement(int value) {
    increment_ = value;
    TUDAccel accel{0, static_cast<unsigned>(value)};
    SendClassMessage(UDM_SETACCEL, 1, reinterpret_cast<intptr_t>(&accel));
}

int TUcCustomUpDown::Position() {
    if (NativeWindow()) position_ = static_cast<int>(SendClassMessage(UDM_GETPOS32));
    return position_;
}

void TUcCustomUpDown::SetPosition(int value) {
    position_ = std::clamp(value, std::min(min_, max_), std::max(min_, max_));
    SendClassMessage(UDM_SETPOS32, 0, position_);
}

void TUcCustomUpDown::SetAssociate(TWinControl* control) {
    if (control == associate_) return;
    if (associate_) RemoveFreeNotification(associate_);
    associate_ = control;
    if (!control) {
        SendClassMessage(UDM_SETBUDDY, 0);
        return;
    }
    FreeNotification(control);
    // Beside the associate, inside its former width.
    if (control->Parent() && Parent() != control->Parent()) SetParent(control->Parent());
    SetBounds(control->Left() + control->Width() - Width(), control->Top(), Width(), control->Height());
    control->SetWidth(control->Width() - Width());
    if (NativeWindow() && control->HandleAllocated()) {
        SendClassMessage(UDM_SETBUDDY, control->Handle());
        SendClassMessage(UDM_SETPOS32, 0, position_);
    }
}

void TUcCustomUpDown::Notification(TComponent* component, TOperation operation) {
    TUcWinControl<TStandardControl>::Notification(component, operation);
    if (operation == TOperation::opRemove && component == associate_) {
        associate_ = nullptr;
        SendClassMessage(UDM_SETBUDDY, 0);
    }
}
