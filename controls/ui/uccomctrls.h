// The Unicode list view (report mode), page control with tab sheets and
// up-down, on the platform's common controls (window classes
// "SysListView32", "SysTabControl32", "msctls_updown32"), with wide
// captions, column titles and item texts.
//
// The list view keeps its columns and items itself and shows them in its
// window, so they outlive a new window; each row of the window carries its
// item. In owner-data mode it keeps no items, only their count: the window
// asks for the texts it shows, and OnData fills the one item that stands
// for whichever row is asked for. The page control shows a tab for each page whose tab is visible and
// the active page in its page area; the up-down steps a position within a
// range and keeps the text of its associated control in step.
#pragma once

#include <memory>
#include <vector>

#include "controls/ucwidestrings.h"
#include "controls/ui/uccontrols.h"
#include "controls/ui/ucstdctrls.h"
#include "platform/ui/ctrl_messages.h"

// An index out of an item list's range.
class EListError : public Exception {
    using Exception::Exception;
};

class TUcCustomListView;
class TUcListItems;

class TUcListColumn {
public:
    TUcListColumn(TUcCustomListView& view, int index) : view_(view), index_(index) {}
    WideString Caption() const { return caption_; }
    void SetCaption(const WideString& caption);
    int Width() const;
    void SetWidth(int width);
    int Index() const { return index_; }

private:
    friend class TUcListColumns;
    friend class TUcCustomListView;
    TUcCustomListView& view_;
    int index_;
    WideString caption_;
    int width_ = 50;
};

class TUcListColumns {
public:
    explicit TUcListColumns(TUcCustomListView& view) : view_(view) {}
    TUcListColumn* Add();
    int Count() const { return static_cast<int>(columns_.size()); }
    TUcListColumn* Items(int index) const;

private:
    friend class TUcCustomListView;
    TUcCustomListView& view_;
    std::vector<std::unique_ptr<TUcListColumn>> columns_;
};

class TUcListItem;

// The sub-items (the texts of the second column on) of an item: every
// change shows in the window.
class TWideSubItems : public TUcStringList {
public:
    explicit TWideSubItems(TUcListItem& item);

private:
    TUcListItem& item_;
};

class TUcListItem {
public:
    TUcListItem(TUcListItems& owner);
    WideString Caption() const { return caption_; }
    void SetCaption(const WideString& caption);
    TWideSubItems& SubItems() { return subItems_; }
    void* Data = nullptr;
    int Index() const;
    bool Selected() const;
    void SetSelected(bool selected);
    // Starts the label editor of the item in the window.
    bool EditCaption();
    TUcCustomListView& ListView() const;

private:
    friend class TUcListItems;
    friend class TUcCustomListView;
    friend class TWideSubItems;
    // Puts the texts into the window's row.
    void ShowTexts();
    TUcListItems& owner_;
    WideString caption_;
    TWideSubItems subItems_;
    bool selected_ = false;
    int shownSubItems_ = 0;
};

class TUcListItems {
public:
    explicit TUcListItems(TUcCustomListView& view) : view_(view) {}
    // In owner-data mode items are not added one by one (EListError): the
    // count says how many there are.
    TUcListItem* Add();
    TUcListItem* Insert(int index);
    void Delete(int index);
    void Clear();
    int Count() const;
    void SetCount(int count);
    // Raises EListError for an index out of range. In owner-data mode the
    // answer is the view's one owner-data item, filled by OnData for the
    // index (valid until the next item is asked for).
    TUcListItem* Item(int index) const;
    int IndexOf(const TUcListItem* item) const;
    TUcCustomListView& Owner() const { return view_; }

private:
    friend class TUcCustomListView;
    TUcCustomListView& view_;
    std::vector<std::unique_ptr<TUcListItem>> items_;
    int count_ = 0;  // owner data
};

enum TSortType { stNone, stText };
enum TItemFind { ifData, ifPartialString, ifExactString, ifNearest };
enum TSearchDirection { sdLeft, sdRight, sdAbove, sdBelow, sdAll };

using TLVColumnClickEvent = std::function<void(TComponent* sender, TUcListColumn* column)>;
using TLVSelectItemEvent = std::function<void(TComponent* sender, TUcListItem* item, bool selected)>;
using TLVCompareEvent =
    std::function<void(TComponent* sender, TUcListItem* item1, TUcListItem* item2, intptr_t data, int& compare)>;
using TLVEditingEvent = std::function<void(TComponent* sender, TUcListItem* item, bool& allowEdit)>;
using TUcLVEditedEvent = std::function<void(TComponent* sender, TUcListItem* item, WideString& text)>;
// Owner data: fills the item (its caption, sub-items and Data) for its index.
using TLVOwnerDataEvent = std::function<void(TComponent* sender, TUcListItem* item)>;
// Owner data: the index of the item the search finds (left at -1: none).
using TUcLVOwnerDataFindEvent =
    std::function<void(TComponent* sender, TItemFind find, const WideString& findString, const TPoint& findPosition,
                       void* findData, int startIndex, TSearchDirection direction, bool wrap, int& index)>;

class TUcCustomListView : public TUcWinControl<TStandardControl>, public IWideListControl {
public:
    explicit TUcCustomListView(TComponent* owner);
    ~TUcCustomListView() override;

    TUcListColumns& Columns() { return *columns_; }
    TUcListColumn* Column(int index) const { return columns_->Items(index); }
    TUcListItems& Items() { return *items_; }
    // The first selected item, or nullptr.
    TUcListItem* Selected();
    void AddItem(const WideString& text, void* object) override;
    void CopySelectedItems(TControl& destination);

    // Options, taken when the window is made.
    bool RowSelect = true;
    bool MultiSelect = false;
    bool ReadOnly = false;
    bool ColumnClick = true;
    bool GridLines = false;
    // Owner-data mode (Items.SetCount, OnData, OnDataFind); changing it makes
    // the window again and drops the items.
    bool OwnerData() const { return ownerData_; }
    void SetOwnerData(bool ownerData);
    // The index of the first item from start (inclusive or after it) whose
    // caption is text (or starts with it, partial), wrapping round to the
    // top; -1 when none. In owner-data mode OnDataFind answers.
    int FindCaption(int start, const WideString& text, bool partial, bool inclusive, bool wrap);
    bool Checkboxes() const { return checkboxes_; }
    void SetCheckboxes(bool checkboxes);
    TSortType SortType() const { return sortType_; }
    // stText keeps the items sorted (OnCompare, else by caption).
    void SetSortType(TSortType sortType);

    // Sorts by OnCompare, else by the captions.
    bool AlphaSort();
    // Sorts by compare(item1, item2, data).
    bool CustomSort(const std::function<int(TUcListItem*, TUcListItem*, intptr_t)>& compare, intptr_t data);

    TLVColumnClickEvent OnColumnClick;
    TLVSelectItemEvent OnSelectItem;
    TLVCompareEvent OnCompare;
    TLVEditingEvent OnEditing;
    TUcLVEditedEvent OnEdited;
    TLVOwnerDataEvent OnData;
    TUcLVOwnerDataFindEvent OnDataFind;

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;
    void DestroyWnd() override;
    // The owner-data item filled for the index.
    virtual TUcListItem* OwnerDataFetch(int index);
    virtual int OwnerDataFind(TItemFind find, const WideString& findString, int startIndex, bool wrap);

private:
    friend class TUcListItem;
    friend class TUcListItems;
    friend class TUcListColumn;
    friend class TUcListColumns;
    void InsertRow(TUcListItem& item, int index);
    void Notified(TMessage& message);
    void SortIfWanted();
    // The item a notification is about (nullptr: none).
    TUcListItem* NotifiedItem(int index, intptr_t param);
    std::unique_ptr<TUcListColumns> columns_;
    std::unique_ptr<TUcListItems> items_;
    bool checkboxes_ = false;
    bool ownerData_ = false;
    TSortType sortType_ = stNone;
    // Stands for every row in owner-data mode.
    std::unique_ptr<TUcListItem> ownerDataItem_;
    int ownerDataIndex_ = -1;
};

class TUcListView : public TUcCustomListView {
public:
    explicit TUcListView(TComponent* owner) : TUcCustomListView(owner) {}
};

// ---------------------------------------------------------------- page control

class TUcPageControl;

class TUcTabSheet : public TUcWinControl<TCustomControl> {
public:
    explicit TUcTabSheet(TComponent* owner);
    ~TUcTabSheet() override;
    TUcPageControl* PageControl() const { return pageControl_; }
    void SetPageControl(TUcPageControl* pageControl);
    int PageIndex() const;
    // A page whose tab is hidden is not shown either.
    bool TabVisible() const { return tabVisible_; }
    void SetTabVisible(bool visible);
    // The index among the visible tabs, or -1.
    int TabIndex() const;

protected:
    void Paint() override;

private:
    friend class TUcPageControl;
    TUcPageControl* pageControl_ = nullptr;
    bool tabVisible_ = true;
};

using TTabChangingEvent = std::function<void(TComponent* sender, bool& allowChange)>;

// Alt and the accelerator of a page's caption turn to that page. With
// DockSite on, a control docked into it (ManualDock) gets a page of its own
// captioned with its caption, and takes the page with it when it goes.
class TUcPageControl : public TUcWinControl<TStandardControl> {
public:
    explicit TUcPageControl(TComponent* owner);
    ~TUcPageControl() override;
    int PageCount() const { return static_cast<int>(pages_.size()); }
    // Raises EListError for an index out of range.
    TUcTabSheet* Pages(int index) const;
    TUcTabSheet* ActivePage() const { return active_; }
    void SetActivePage(TUcTabSheet* page);
    int ActivePageIndex() const;
    void SetActivePageIndex(int index);
    // The selected tab (among the visible ones), or -1.
    int TabIndex();
    TNotifyEvent OnChange;
    TTabChangingEvent OnChanging;

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;
    virtual bool CanChange();
    virtual void Change();

private:
    friend class TUcTabSheet;
    void InsertPage(TUcTabSheet& page);
    void RemovePage(TUcTabSheet& page);
    // The tabs again from the pages.
    void UpdateTabs();
    void ShowActive();
    // The page made for a docked control, or nullptr.
    TUcTabSheet* DockedPage(const TControl* client) const;
    std::vector<TUcTabSheet*> pages_;
    TUcTabSheet* active_ = nullptr;
    std::vector<std::pair<const TControl*, TUcTabSheet*>> docked_;
};

// ---------------------------------------------------------------- up-down

enum TUDBtnType { btNext, btPrev };
enum TUDOrientation { udHorizontal, udVertical };
enum TUpDownDirection { updNone, updUp, updDown };
using TUDClickEvent = std::function<void(TComponent* sender, TUDBtnType button)>;
using TUDChangingEvent = std::function<void(TComponent* sender, bool& allowChange)>;
using TUDChangingEventEx =
    std::function<void(TComponent* sender, bool& allowChange, int newValue, TUpDownDirection direction)>;

class TUcCustomUpDown : public TUcWinControl<TStandardControl> {
public:
    explicit TUcCustomUpDown(TComponent* owner);
    ~TUcCustomUpDown() override;
    int Min() const { return min_; }
    void SetMin(int value);
    int Max() const { return max_; }
    void SetMax(int value);
    // With an associate, a number typed into it is the position.
    int Position();
    void SetPosition(int value);
    int Increment() const { return increment_; }
    void SetIncrement(int value);
    bool Wrap = false;
    bool Thousands = true;
    // Up and Down typed into the associate step the position.
    bool ArrowKeys = true;
    TUDOrientation Orientation = udVertical;
    // The control (an edit) that shows the position; the up-down sits at
    // its right edge, taking its width from it.
    TWinControl* Associate() const { return associate_; }
    void SetAssociate(TWinControl* control);
    TUDClickEvent OnClick;
    TUDChangingEvent OnChanging;
    TUDChangingEventEx OnChangingEx;

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;
    void Notification(TComponent* component, TOperation operation) override;
    virtual bool CanChange(int newValue, TUpDownDirection direction);

private:
    int min_ = 0, max_ = 100, position_ = 0, increment_ = 1;
    TWinControl* associate_ = nullptr;
    TUpDownDirection lastDirection_ = updNone;
};

class TUcUpDown : public TUcCustomUpDown {
public:
    explicit TUcUpDown(TComponent* owner) : TUcCustomUpDown(owner) {}
};
