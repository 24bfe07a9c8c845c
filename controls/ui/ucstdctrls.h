// The Unicode standard controls: label, edit, memo, push button, check box,
// radio button, group box, combo box, list box and the status line, with
// wide captions, texts and items. The label and the status line paint with
// our canvas; the others are the platform's widgets (window classes "EDIT",
// "BUTTON", "COMBOBOX", "LISTBOX"), which are wide already, so every text
// and position goes to the window as it is, counted in UTF-16 units.
//
// Item lists work on the window while there is one; a control without a
// window (not placed yet, or between two windows) keeps its items, item
// index and text, and gives them to its next window.
#pragma once

#include "controls/ucwidestrings.h"
#include "controls/ui/uccontrols.h"
#include "platform/canvas.h"
#include "platform/ui/ctrl_messages.h"
#include "platform/ui/stdctrls.h"

// The platform refused an item or a line.
class EOutOfResources : public Exception {
    using Exception::Exception;
};
extern const char* const SInsertLineError;  // "Unable to insert a line"
extern const char* const SLineTooLong;      // "Line too long"

// A list control that takes wide items with an object (combo box, list
// box, list view).
class IWideListControl {
public:
    virtual ~IWideListControl() = default;
    virtual void AddItem(const WideString& text, void* object) = 0;
};
// Adds the item to any list control with wide items.
void UcListControlAddItem(TControl& control, const WideString& text, void* object);

// The state of an owner-drawn item (flags).
using TOwnerDrawState = uint32_t;
constexpr TOwnerDrawState odSelected = ODS_SELECTED, odDisabled = ODS_DISABLED, odFocused = ODS_FOCUS,
                          odComboBoxEdit = ODS_COMBOBOXEDIT;
// Paints item index in rect on the canvas (the list's own colours set: the
// highlight's for a selected item).
using TDrawItemEvent =
    std::function<void(TWinControl* control, TCanvas& canvas, int index, const TRect& rect, TOwnerDrawState state)>;
// Sets the height of item index (variable-height styles).
using TMeasureItemEvent = std::function<void(TWinControl* control, int index, int& height)>;
// Gives the text of item index of a virtual list.
using TLBGetDataEvent = std::function<void(TWinControl* control, int index, WideString& data)>;

// A label whose caption marks an accelerator ("&Name") focuses its
// FocusControl when Alt and that character are typed.
class TUcLabel : public TUcControl<TLabel> {
public:
    explicit TUcLabel(TComponent* owner);
    void SetCaption(const WideString& text) {
        UcControlSetText(*this, text);
        AdjustSize();
    }
    void Paint(TCanvas& canvas) override;
    TWinControl* FocusControl() const { return focusControl_; }
    void SetFocusControl(TWinControl* control);
    // "&" marks the accelerator (else it is shown as it is).
    bool ShowAccelChar() const { return showAccelChar_; }
    void SetShowAccelChar(bool show);

protected:
    // What the label measures: the caption without its accelerator marks,
    // a space when that leaves nothing.
    std::u16string DisplayText() const override;
    void Notification(TComponent* component, TOperation operation) override;

private:
    uint32_t TextFormat() const { return showAccelChar_ ? 0u : static_cast<uint32_t>(DT_NOPREFIX); }
    TWinControl* focusControl_ = nullptr;
    bool showAccelChar_ = true;
};

// ---------------------------------------------------------------- edit and memo

class TUcCustomEdit : public TUcWinControl<TEdit> {
public:
    explicit TUcCustomEdit(TComponent* owner) : TUcWinControl<TEdit>(owner) {}
    // The selection, in wide characters.
    int SelStart();
    void SetSelStart(int start);
    int SelLength();
    void SetSelLength(int length);
    // Replaces the selection (inserts at the caret without one).
    void SetSelText(const WideString& text);
    // The longest text a user may type or paste (0: no limit).
    int MaxLength() const { return maxLength_; }
    void SetMaxLength(int length);
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool readOnly);

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;
    // The selection's ends from the window.
    std::pair<int, int> Selection();

private:
    int maxLength_ = 0;
    bool readOnly_ = false;
};

class TUcEdit : public TUcCustomEdit {
public:
    explicit TUcEdit(TComponent* owner) : TUcCustomEdit(owner) {}
    WideString SelText();
    // Shown in place of each character (0: the text itself).
    WideChar PasswordChar() const { return passwordChar_; }
    void SetPasswordChar(WideChar c);
    // Its 8-bit form: itself below 256, else '*'.
    char AnsiPasswordChar() const { return passwordChar_ < 256 ? static_cast<char>(passwordChar_) : '*'; }

protected:
    void CreateWnd() override;

private:
    WideChar passwordChar_ = 0;
};

class TUcCustomMemo;

// A memo's lines, read and changed on its window.
class TUcMemoStrings : public TUcStrings {
public:
    explicit TUcMemoStrings(TUcCustomMemo& memo) : memo_(memo) {}
    WideString Get(int index) const override;
    int GetCount() const override;
    void Put(int index, const WideString& text) override;
    void Insert(int index, const WideString& text) override;
    void Delete(int index) override;
    void Clear() override;
    WideString GetTextStr() const override;
    void SetTextStr(const WideString& text) override;

private:
    // Without a window the lines are the text's.
    bool OnWindow() const;
    void CheckIndex(int index) const;
    intptr_t Send(uint32_t msg, intptr_t wParam = 0, intptr_t lParam = 0) const;
    TUcCustomMemo& memo_;
};

class TUcCustomMemo : public TUcCustomEdit {
public:
    explicit TUcCustomMemo(TComponent* owner);
    ~TUcCustomMemo() override;
    TUcStrings& Lines() { return *lines_; }
    void SetLines(const TUcStrings& lines) { lines_->Assign(lines); }
    bool WordWrap = true;

protected:
    void CreateParams(TCreateParams& params) override;

private:
    std::unique_ptr<TUcMemoStrings> lines_;
};

class TUcMemo : public TUcCustomMemo {
public:
    explicit TUcMemo(TComponent* owner) : TUcCustomMemo(owner) {}
};

// ---------------------------------------------------------------- buttons

// Alt and the accelerator of its caption click it.
class TUcButton : public TUcWinControl<TButton> {
public:
    explicit TUcButton(TComponent* owner);
};

// The accelerator of a push button (the bitmap button's too): when the
// control can take the focus, Click and answer 1; otherwise the message goes
// on to the children.
void UcPushButtonDialogChar(TWinControl& button, TMessage& message, const TMessageHandler& inherited);

// Check box and radio button: Checked follows the window while there is
// one; a change by the user or by the program runs OnClick.
class TUcButtonControl : public TUcWinControl<TStandardControl> {
public:
    explicit TUcButtonControl(TComponent* owner);
    bool Checked();
    void SetChecked(bool checked);

protected:
    void CreateWnd() override;
    void DestroyWnd() override;
    // The state changed to checked (true) or unchecked.
    virtual void CheckedChanged(bool checked) {}

private:
    bool checked_ = false;
};

class TUcCheckBox : public TUcButtonControl {
public:
    // Alt and its accelerator focus and toggle it.
    explicit TUcCheckBox(TComponent* owner);
    void Toggle() { SetChecked(!Checked()); }

protected:
    void CreateParams(TCreateParams& params) override;
};

// Radio buttons with the same parent form one group: checking one clears
// the others.
class TUcRadioButton : public TUcButtonControl {
public:
    // Alt and its accelerator focus and check it, as the platform checks an
    // automatic radio button that the keyboard focuses.
    explicit TUcRadioButton(TComponent* owner);

protected:
    void CreateParams(TCreateParams& params) override;
    void CheckedChanged(bool checked) override;
};

// A frame with a caption around a group of controls (its children); its
// accelerator focuses the first of them that can take the focus.
class TUcGroupBox : public TUcWinControl<TStandardControl> {
public:
    explicit TUcGroupBox(TComponent* owner);
    void SelectFirst();

protected:
    void CreateParams(TCreateParams& params) override;
};

// ---------------------------------------------------------------- item lists

// The messages of one kind of item window.
struct TUcItemMessages {
    uint32_t Add, Insert, Delete, Reset, Count, GetText, GetTextLen, GetData, SetData, FindExact, Find, SetCurSel,
        GetCurSel;
    intptr_t Error;
};

// The wide items of a combo or list box: on its window while it has one,
// else in a list kept for the next window.
class TUcItemStrings : public TUcStrings {
public:
    TUcItemStrings(TStandardControl& control, const TUcItemMessages& messages);
    WideString Get(int index) const override;
    int GetCount() const override;
    void* GetObject(int index) const override;
    void PutObject(int index, void* object) override;
    int Add(const WideString& text) override;
    void Insert(int index, const WideString& text) override;
    void Delete(int index) override;
    void Clear() override;
    int IndexOf(const WideString& text) const override;

    // The items move from the window into the kept list (the window goes)
    // and back (a new window).
    void SaveWindowItems();
    void RestoreWindowItems();
    // Kept while there is no window.
    int KeptItemIndex = -1;
    // Sorts the kept items now, window items when they are next kept.
    void SetSorted(bool sorted);
    bool Sorted() const { return sorted_; }

protected:
    bool OnWindow() const { return control_.NativeWindow() != nullptr; }
    intptr_t Send(uint32_t msg, intptr_t wParam = 0, intptr_t lParam = 0) const {
        return control_.SendClassMessage(msg, wParam, lParam);
    }
    void CheckIndex(int index) const;
    const TUcItemMessages& messages_;
    TStandardControl& control_;
    TUcStringList kept_;
    bool sorted_ = false;

private:
    void SortKept(bool sorted);
};

// The owner-drawn styles are drop-down lists whose items (and selected
// item) the control paints.
enum TComboBoxStyle { csDropDown, csSimple, csDropDownList, csOwnerDrawFixed, csOwnerDrawVariable };

class TUcCustomComboBox;

class TUcComboBoxStrings : public TUcItemStrings {
public:
    explicit TUcComboBoxStrings(TUcCustomComboBox& combo);
    // Keeps the combo box's text.
    void Clear() override;

private:
    TUcCustomComboBox& combo_;
};

class TUcCustomComboBox : public TUcWinControl<TStandardControl>, public IWideListControl {
public:
    explicit TUcCustomComboBox(TComponent* owner);
    ~TUcCustomComboBox() override;

    TUcStrings& Items() { return *items_; }
    void SetItems(const TUcStrings& items) { items_->Assign(items); }
    void AddItem(const WideString& text, void* object) override { items_->AddObject(text, object); }
    int ItemIndex();
    void SetItemIndex(int index);
    TComboBoxStyle Style() const { return style_; }
    void SetStyle(TComboBoxStyle style);
    bool Sorted() const { return items_->Sorted(); }
    void SetSorted(bool sorted);
    bool DroppedDown();
    void SetDroppedDown(bool dropped);
    // The selection of the edit part, in wide characters.
    int SelStart();
    void SetSelStart(int start);
    int SelLength();
    void SetSelLength(int length);
    // Empty for a drop-down list.
    WideString SelText();
    // Copies the selected item to another list control.
    void CopySelection(TControl& destination);
    // The height of the owner-drawn items (of each, for csOwnerDrawFixed).
    int ItemHeight() const { return itemHeight_; }
    void SetItemHeight(int height);
    TCanvasFont Font;
    TDrawItemEvent OnDrawItem;
    TMeasureItemEvent OnMeasureItem;

    bool AutoComplete = true;
    bool AutoDropDown = false;
    bool AutoCloseUp = false;
    TNotifyEvent OnChange;
    TNotifyEvent OnSelect;
    TNotifyEvent OnDropDown;
    TNotifyEvent OnCloseUp;

    // The completion: the first item that starts with text becomes the
    // selected one, and (with an edit part) the text, with the completed
    // rest selected; true when one was found.
    bool Complete(const WideString& text);

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;
    void DestroyWnd() override;
    // Milliseconds on the clock the type-ahead search measures its pause on.
    virtual uint64_t TickCount() const;
    // The typed letters' case stays in the completed text.
    virtual bool KeepTypedCase() const { return true; }
    virtual bool UniqueOnly() const { return false; }
    virtual void Change();
    virtual void Select();
    // Paints an owner-drawn item (index -1: none, in the edit part).
    virtual void DrawItem(TCanvas& canvas, int index, const TRect& rect, TOwnerDrawState state);
    virtual void MeasureItem(int index, int& height);

private:
    int itemHeight_ = 16;
    // A typed character the completion may consume (true).
    bool AutoCompleteChar(WideChar c);
    int FindPrefix(const WideString& text) const;
    std::pair<int, int> EditSelection();
    std::unique_ptr<TUcComboBoxStrings> items_;
    TComboBoxStyle style_ = csDropDown;
    WideString searchText_;
    uint64_t lastSearchKey_ = 0;
};

class TUcComboBox : public TUcCustomComboBox {
public:
    explicit TUcComboBox(TComponent* owner) : TUcCustomComboBox(owner) {}
};

class TUcCustomListBox;

class TUcListBoxStrings : public TUcItemStrings {
public:
    explicit TUcListBoxStrings(TUcCustomListBox& list);
    // Keeps the item's object and the item index.
    void Put(int index, const WideString& text) override;
    // A virtual list's texts come from its control (OnData).
    WideString Get(int index) const override;
    int GetCount() const override;

private:
    TUcCustomListBox& list_;
};

// lbVirtual and lbVirtualOwnerDraw hold no items, only Count: OnData
// gives the text of each (an item without text reads as LB_ERR), and the
// control paints them. The owner-drawn styles paint with OnDrawItem (or,
// without one, the item's text); lbOwnerDrawVariable asks OnMeasureItem for
// each item's height.
enum TListBoxStyle { lbStandard, lbOwnerDrawFixed, lbOwnerDrawVariable, lbVirtual, lbVirtualOwnerDraw };

class TUcCustomListBox : public TUcWinControl<TStandardControl>, public IWideListControl {
public:
    explicit TUcCustomListBox(TComponent* owner);
    ~TUcCustomListBox() override;

    TUcStrings& Items() { return *items_; }
    void SetItems(const TUcStrings& items) { items_->Assign(items); }
    // The text is cut at its first NUL.
    void AddItem(const WideString& text, void* object) override;
    int ItemIndex();
    void SetItemIndex(int index);
    int TopIndex();
    void SetTopIndex(int index);
    bool Selected(int index);
    bool Sorted() const { return items_->Sorted(); }
    void SetSorted(bool sorted);
    bool MultiSelect = false;
    void CopySelection(TControl& destination);
    TNotifyEvent OnDblClick;

    TListBoxStyle Style() const { return style_; }
    void SetStyle(TListBoxStyle style);
    bool IsVirtual() const { return style_ == lbVirtual || style_ == lbVirtualOwnerDraw; }
    // The number of items of a virtual list (of any list, read).
    int Count() const;
    void SetCount(int count);
    // The height of the owner-drawn items (of each, for the fixed styles).
    int ItemHeight() const { return itemHeight_; }
    void SetItemHeight(int height);
    TCanvasFont Font;
    TDrawItemEvent OnDrawItem;
    TMeasureItemEvent OnMeasureItem;
    TLBGetDataEvent OnData;

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;
    void DestroyWnd() override;
    virtual void DrawItem(TCanvas& canvas, int index, const TRect& rect, TOwnerDrawState state);
    virtual void MeasureItem(int index, int& height);

private:
    // The text of a virtual item, or false when it has none.
    bool VirtualText(int index, WideString& text) const;
    std::unique_ptr<TUcListBoxStrings> items_;
    int keptTopIndex_ = 0;
    TListBoxStyle style_ = lbStandard;
    int virtualCount_ = 0;
    int itemHeight_ = 16;
};

class TUcListBox : public TUcCustomListBox {
public:
    explicit TUcListBox(TComponent* owner) : TUcCustomListBox(owner) {}
};

// ---------------------------------------------------------------- status line

class TUcStatusBar : public TUcWinControl<TStatusBar> {
public:
    explicit TUcStatusBar(TComponent* owner) : TUcWinControl<TStatusBar>(owner) {}
    WideString SimpleText() const { return simpleText_; }
    void SetSimpleText(const WideString& text);

protected:
    std::u16string DisplayText() const override { return simpleText_; }

private:
    WideString simpleText_;
};
