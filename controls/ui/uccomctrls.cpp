#include "controls/ui/uccomctrls.h"

#include <algorithm>

#include "controls/ui/ucforms.h"
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

int TUcListItem::Index() const {
    TUcCustomListView& view = ListView();
    if (this == view.ownerDataItem_.get()) return view.ownerDataIndex_;
    return owner_.IndexOf(this);
}

void TUcListItem::SetCaption(const WideString& caption) {
    caption_ = caption;
    ShowTexts();
}

void TUcListItem::ShowTexts() {
    TUcCustomListView& view = ListView();
    const int index = Index();
    // Owner data: the window asks for texts when it shows them.
    if (!view.NativeWindow() || index < 0 || view.ownerData_) return;
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

namespace {
const char* const SOwnerDataItems = "A list view with owner data has no items of its own: set its item count";
}

TUcListItem* TUcListItems::Add() { return Insert(Count()); }

int TUcListItems::Count() const { return view_.ownerData_ ? count_ : static_cast<int>(items_.size()); }

void TUcListItems::SetCount(int count) {
    if (!view_.ownerData_) throw EListError(SOwnerDataItems);
    count_ = std::max(count, 0);
    view_.SendClassMessage(LVM_SETITEMCOUNT, count_);
}

TUcListItem* TUcListItems::Insert(int index) {
    if (view_.ownerData_) throw EListError(SOwnerDataItems);
    if (index < 0 || index > Count()) IndexError(index);
    auto item = std::make_unique<TUcListItem>(*this);
    TUcListItem* added = item.get();
    items_.insert(items_.begin() + index, std::move(item));
    view_.InsertRow(*added, index);
    return added;
}

void TUcListItems::Delete(int index) {
    if (view_.ownerData_) throw EListError(SOwnerDataItems);
    if (index < 0 || index >= Count()) IndexError(index);
    view_.SendClassMessage(LVM_DELETEITEM, index);
    items_.erase(items_.begin() + index);
}

void TUcListItems::Clear() {
    view_.SendClassMessage(LVM_DELETEALLITEMS);
    items_.clear();
    count_ = 0;
}

TUcListItem* TUcListItems::Item(int index) const {
    if (index < 0 || index >= Count()) IndexError(index);
    if (view_.ownerData_) return view_.OwnerDataFetch(index);
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
    if (ownerData_) params.Style |= LVS_OWNERDATA;
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
    if (ownerData_) {
        SendClassMessage(LVM_SETITEMCOUNT, items_->count_);
        return;
    }
    for (int i = 0; i < items_->Count(); ++i) {
        TUcListItem& item = *items_->Item(i);
        item.shownSubItems_ = 0;
        InsertRow(item, i);
    }
}

void TUcCustomListView::SetOwnerData(bool ownerData) {
    if (ownerData == ownerData_) return;
    items_->Clear();
    ownerData_ = ownerData;
    RecreateWnd();
}

TUcListItem* TUcCustomListView::OwnerDataFetch(int index) {
    // The first item made stands for every row.
    if (!ownerDataItem_) ownerDataItem_ = std::make_unique<TUcListItem>(*items_);
    TUcListItem& item = *ownerDataItem_;
    ownerDataIndex_ = index;
    item.caption_.clear();
    item.subItems_.Clear();
    item.Data = nullptr;
    if (OnData) OnData(this, &item);
    return &item;
}

int TUcCustomListView::OwnerDataFind(TItemFind find, const WideString& findString, int startIndex, bool wrap) {
    int index = -1;
    if (OnDataFind) OnDataFind(this, find, findString, TPoint{0, 0}, nullptr, startIndex, sdAll, wrap, index);
    return index;
}

int TUcCustomListView::FindCaption(int start, const WideString& text, bool partial, bool inclusive, bool wrap) {
    const int count = items_->Count();
    if (count == 0) return -1;
    int first = inclusive ? start : start + 1;
    if (first < 0 || first >= count) {
        if (!wrap && first >= count) return -1;
        first = 0;
    }
    if (ownerData_) {
        const int found = OwnerDataFind(partial ? ifPartialString : ifExactString, text, first, wrap);
        return found >= 0 && found < count ? found : -1;
    }
    const int steps = wrap ? count : count - first;
    for (int n = 0; n < steps; ++n) {
        const int i = (first + n) % count;
        const WideString caption = items_->Item(i)->Caption();
        const WideString part = partial ? caption.substr(0, text.size()) : caption;
        if (LocaleCompareText(part, text) == 0) return i;
    }
    return -1;
}

TUcListItem* TUcCustomListView::NotifiedItem(int index, intptr_t param) {
    if (ownerData_) return index >= 0 && index < items_->Count() ? OwnerDataFetch(index) : nullptr;
    return reinterpret_cast<TUcListItem*>(param);
}

void TUcCustomListView::DestroyWnd() {
    if (NativeWindow()) {
        for (auto& column : columns_->columns_) column->width_ = column->Width();
        if (!ownerData_)
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
    if (!NativeWindow() && ownerData_) return nullptr;
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
    if (ownerData_) {
        for (intptr_t i = SendClassMessage(LVM_GETNEXTITEM, -1, LVNI_SELECTED); i >= 0 && i < items_->Count();
             i = SendClassMessage(LVM_GETNEXTITEM, i, LVNI_SELECTED)) {
            TUcListItem* item = items_->Item(static_cast<int>(i));
            UcListControlAddItem(destination, item->Caption(), item->Data);
        }
        return;
    }
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
    // The owner keeps owner data in its own order.
    if (ownerData_) return false;
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
            if (!(info.Changed & LVIF_STATE) || !((info.NewState ^ info.OldState) & LVIS_SELECTED)) break;
            TUcListItem* item = NotifiedItem(info.Item, info.Param);
            if (!item) break;
            item->selected_ = (info.NewState & LVIS_SELECTED) != 0;
            if (OnSelectItem) OnSelectItem(this, item, item->selected_);
            break;
        }
        case LVN_GETDISPINFOW: {
            auto& record = reinterpret_cast<TNMLVDispInfo*>(header)->Item;
            if (!(record.Mask & LVIF_TEXT) || !record.Buffer || record.TextMax <= 0) break;
            TUcListItem* item = NotifiedItem(record.Item, record.Param);
            WideString text;
            if (item) {
                if (record.SubItem == 0) text = item->Caption();
                else if (record.SubItem - 1 < item->SubItems().Count()) text = item->SubItems().Get(record.SubItem - 1);
            }
            text.resize(std::min(text.size(), static_cast<size_t>(record.TextMax - 1)));
            std::copy(text.begin(), text.end(), record.Buffer);
            record.Buffer[text.size()] = 0;
            break;
        }
        case LVN_ODFINDITEMW: {
            const auto& find = *reinterpret_cast<TNMLVFindItem*>(header);
            message.Result = -1;
            if (!(find.Flags & (LVFI_STRING | LVFI_PARTIAL)) || !find.Text) break;
            const int found = OwnerDataFind((find.Flags & LVFI_PARTIAL) ? ifPartialString : ifExactString, find.Text,
                                            find.Start, (find.Flags & LVFI_WRAP) != 0);
            message.Result = found >= 0 && found < items_->Count() ? found : -1;
            break;
        }
        case LVN_BEGINLABELEDITW: {
            const TLVItem& record = reinterpret_cast<TNMLVDispInfo*>(header)->Item;
            TUcListItem* item = NotifiedItem(record.Item, record.Param);
            bool allow = !ReadOnly && item;
            if (allow && OnEditing) OnEditing(this, item, allow);
            message.Result = allow ? 0 : 1;
            break;
        }
        case LVN_ENDLABELEDITW: {
            const TLVItem& record = reinterpret_cast<TNMLVDispInfo*>(header)->Item;
            TUcListItem* item = NotifiedItem(record.Item, record.Param);
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
    HandleMessage(CM_DIALOGCHAR, [this](TMessage& m, const TMessageHandler& inherited) {
        if (CanFocus()) {
            for (TUcTabSheet* page : pages_) {
                if (!page->tabVisible_ || !WideCaptionAccelMatches(static_cast<unsigned>(m.WParam), page->Caption()))
                    continue;
                m.Result = 1;
                if (page != active_ && CanChange()) {
                    SetActivePage(page);
                    Change();
                }
                return;
            }
        }
        inherited(m);
    });
    // A docked control gets a page of its own, captioned with its caption
    // (its first line), which goes when the control goes or floats again.
    HandleMessage(CM_DOCKCLIENT, [this](TMessage& m, const TMessageHandler& inherited) {
        auto* client = reinterpret_cast<TControl*>(m.WParam);
        if (!DockSite || !client) return inherited(m);
        auto* page = new TUcTabSheet(this);
        page->SetPageControl(this);
        page->SetCaption(UcControlGetText(*client).substr(0, UcControlGetText(*client).find_first_of(u"\r\n")));
        docked_.emplace_back(client, page);
        client->SetParent(page);
        client->SetAlign(TAlign::alClient);
        page->AlignControls();
        if (client->Visible()) SetActivePage(page);
        m.Result = 1;
    });
    HandleMessage(CM_UNDOCKCLIENT, [this](TMessage& m, const TMessageHandler& inherited) {
        auto* client = reinterpret_cast<TControl*>(m.WParam);
        TUcTabSheet* page = DockedPage(client);
        if (!page) return inherited(m);
        docked_.erase(std::remove_if(docked_.begin(), docked_.end(), [client](const auto& d) { return d.first == client; }),
                      docked_.end());
        if (client->Parent() == page) client->SetParent(nullptr);
        page->Free();
        m.Result = 1;
    });
    HandleMessage(CM_DOCKNOTIFICATION, [this](TMessage& m, const TMessageHandler& inherited) {
        auto* client = reinterpret_cast<TControl*>(m.WParam);
        const auto* notice = reinterpret_cast<const TMessage*>(m.LParam);
        TUcTabSheet* page = DockedPage(client);
        if (!page || !notice || notice->Msg != CM_TEXTCHANGED) return inherited(m);
        const WideString caption = UcControlGetText(*client);
        page->SetCaption(caption.substr(0, caption.find_first_of(u"\r\n")));
    });
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

TUcTabSheet* TUcPageControl::DockedPage(const TControl* client) const {
    for (const auto& [docked, page] : docked_)
        if (docked == client) return page;
    return nullptr;
}

TUcPageControl::~TUcPageControl() {
    docked_.clear();
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
