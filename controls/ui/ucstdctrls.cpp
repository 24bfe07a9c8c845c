#include "controls/ui/ucstdctrls.h"

#include <algorithm>

#include "controls/ucgraphics.h"
#include "controls/ucsysutils.h"
#include "controls/ui/ucforms.h"
#include "platform/canvas.h"

const char* const SInsertLineError = "Unable to insert a line";
const char* const SLineTooLong = "Line too long";

namespace {
constexpr TColor clBtnShadow = static_cast<TColor>(0x80000010);
constexpr TColor clBtnHighlight = static_cast<TColor>(0x80000014);
constexpr TColor clWindow = static_cast<TColor>(0x80000005);
constexpr TColor clWindowText = static_cast<TColor>(0x80000008);
constexpr TColor clHighlight = static_cast<TColor>(0x8000000D);
constexpr TColor clHighlightText = static_cast<TColor>(0x8000000E);

uint32_t Rgb(TColor color) { return static_cast<uint32_t>(ColorToRGB(color)); }

intptr_t TextParam(const WideString& text) { return reinterpret_cast<intptr_t>(text.c_str()); }

// The caption's accelerator is the typed character.
bool AccelMatches(const TMessage& message, TControl& control) {
    return WideCaptionAccelMatches(static_cast<unsigned>(message.WParam), UcControlGetText(control));
}

// The focus rectangle: every other pixel of the edge inverted.
void DrawFocusRect(TCanvas& canvas, const TRect& r) {
    auto invert = [&canvas](int x, int y) {
        if ((x + y) % 2 == 0) canvas.SetPixel(x, y, static_cast<TColor>(~static_cast<uint32_t>(canvas.GetPixel(x, y)) & 0xFFFFFF));
    };
    for (int x = r.Left; x < r.Right; ++x) {
        invert(x, r.Top);
        if (r.Bottom - 1 > r.Top) invert(x, r.Bottom - 1);
    }
    for (int y = r.Top + 1; y < r.Bottom - 1; ++y) {
        invert(r.Left, y);
        if (r.Right - 1 > r.Left) invert(r.Right - 1, y);
    }
}

// An owner-drawn item of a list or combo box: the canvas over the window's
// item bitmap in the list's colours (the highlight's when selected), the
// control's painting, then the focus rectangle.
void PaintOwnerDrawnItem(TMessage& message, const TCanvasFont& font,
                         const std::function<void(TCanvas&, int, const TRect&, TOwnerDrawState)>& draw) {
    auto* item = reinterpret_cast<TDrawItemStruct*>(message.LParam);
    if (!item || !item->Surface) return;
    TCanvas canvas(*item->Surface);
    canvas.Font = font;
    const bool selected = item->ItemState & ODS_SELECTED;
    canvas.Brush.Color = Rgb(selected ? clHighlight : clWindow);
    if (selected) canvas.Font.Color = Rgb(clHighlightText);
    draw(canvas, item->ItemID, item->Item, item->ItemState);
    if ((item->ItemState & ODS_FOCUS) && !(item->ItemState & ODS_COMBOBOXEDIT)) DrawFocusRect(canvas, item->Item);
    message.Result = 1;
}

void MeasureOwnerDrawnItem(TMessage& message, const std::function<void(int, int&)>& measure) {
    auto* item = reinterpret_cast<TMeasureItemStruct*>(message.LParam);
    if (!item) return;
    measure(item->ItemID, item->ItemHeight);
    message.Result = 1;
}

}  // namespace

void UcListControlAddItem(TControl& control, const WideString& text, void* object) {
    if (auto* list = dynamic_cast<IWideListControl*>(&control)) list->AddItem(text, object);
}

// ---------------------------------------------------------------- label

TUcLabel::TUcLabel(TComponent* owner) : TUcControl<TLabel>(owner) {
    HandleMessage(CM_DIALOGCHAR, [this](TMessage& m, const TMessageHandler& inherited) {
        if (focusControl_ && Enabled() && showAccelChar_ && AccelMatches(m, *this) && focusControl_->CanFocus()) {
            focusControl_->SetFocus();
            m.Result = 1;
            return;
        }
        inherited(m);
    });
}

void TUcLabel::SetFocusControl(TWinControl* control) {
    if (control == focusControl_) return;
    if (focusControl_) RemoveFreeNotification(focusControl_);
    focusControl_ = control;
    if (control) FreeNotification(control);
}

void TUcLabel::Notification(TComponent* component, TOperation operation) {
    TUcControl<TLabel>::Notification(component, operation);
    if (operation == TOperation::opRemove && component == focusControl_) focusControl_ = nullptr;
}

void TUcLabel::SetShowAccelChar(bool show) {
    if (show == showAccelChar_) return;
    showAccelChar_ = show;
    AdjustSize();
}

// An empty caption (or a lone accelerator mark) still measures one line
// high.
std::u16string TUcLabel::DisplayText() const {
    WideString text = UcControlGetText(const_cast<TUcLabel&>(*this));
    if (showAccelChar_) {
        WideString shown;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == u'&' && i + 1 < text.size()) ++i;
            else if (text[i] == u'&') continue;
            shown += text[i];
        }
        text = shown;
    }
    return text.empty() ? u" " : text;
}

void TUcLabel::Paint(TCanvas& canvas) {
    if (!Transparent) {
        canvas.Brush.Color = static_cast<uint32_t>(ColorToRGB(Color));
        canvas.FillRect({0, 0, canvas.Width(), canvas.Height()});
    }
    canvas.Brush.Style = BS_NULL;
    canvas.Font = Font;
    const WideString text = UcControlGetText(*this);
    TRect r{0, 0, Width(), Height()};
    if (Enabled()) {
        canvas.DrawText(text, r, TextFormat());
        return;
    }
    // Disabled: embossed, the highlight one pixel down and right under the
    // shadow.
    TRect shifted{1, 1, Width() + 1, Height() + 1};
    canvas.Font.Color = static_cast<uint32_t>(ColorToRGB(clBtnHighlight));
    canvas.DrawText(text, shifted, TextFormat());
    canvas.Font.Color = static_cast<uint32_t>(ColorToRGB(clBtnShadow));
    canvas.DrawText(text, r, TextFormat());
}

// ---------------------------------------------------------------- edit

void TUcCustomEdit::CreateParams(TCreateParams& params) {
    TEdit::CreateParams(params);
    if (readOnly_) params.Style |= ES_READONLY;
}

void TUcCustomEdit::CreateWnd() {
    TUcWinControl<TEdit>::CreateWnd();
    if (maxLength_ > 0) SendClassMessage(EM_LIMITTEXT, maxLength_);
}

std::pair<int, int> TUcCustomEdit::Selection() {
    int32_t start = 0, end = 0;
    SendClassMessage(EM_GETSEL, reinterpret_cast<intptr_t>(&start), reinterpret_cast<intptr_t>(&end));
    return {start, end};
}

int TUcCustomEdit::SelStart() { return Selection().first; }

void TUcCustomEdit::SetSelStart(int start) { SendClassMessage(EM_SETSEL, start, start); }

int TUcCustomEdit::SelLength() {
    const auto [start, end] = Selection();
    return end - start;
}

void TUcCustomEdit::SetSelLength(int length) {
    const int start = SelStart();
    SendClassMessage(EM_SETSEL, start, start + length);
}

void TUcCustomEdit::SetSelText(const WideString& text) { SendClassMessage(EM_REPLACESEL, 1, TextParam(text)); }

void TUcCustomEdit::SetMaxLength(int length) {
    maxLength_ = std::max(length, 0);
    SendClassMessage(EM_LIMITTEXT, maxLength_);
}

void TUcCustomEdit::SetReadOnly(bool readOnly) {
    readOnly_ = readOnly;
    SendClassMessage(EM_SETREADONLY, readOnly ? 1 : 0);
}

WideString TUcEdit::SelText() {
    const auto [start, end] = Selection();
    return Text().substr(static_cast<size_t>(start), static_cast<size_t>(std::max(end - start, 0)));
}

void TUcEdit::SetPasswordChar(WideChar c) {
    if (c == passwordChar_) return;
    passwordChar_ = c;
    SendClassMessage(EM_SETPASSWORDCHAR, c);
    Invalidate();
}

void TUcEdit::CreateWnd() {
    TUcCustomEdit::CreateWnd();
    if (passwordChar_) SendClassMessage(EM_SETPASSWORDCHAR, passwordChar_);
}

// ---------------------------------------------------------------- memo

TUcCustomMemo::TUcCustomMemo(TComponent* owner)
    : TUcCustomEdit(owner), lines_(std::make_unique<TUcMemoStrings>(*this)) {
    SetBounds(0, 0, 185, 89);
}

TUcCustomMemo::~TUcCustomMemo() = default;

void TUcCustomMemo::CreateParams(TCreateParams& params) {
    TUcCustomEdit::CreateParams(params);
    params.Style |= ES_MULTILINE;
    if (!WordWrap) params.Style |= ES_AUTOHSCROLL;
}

bool TUcMemoStrings::OnWindow() const { return memo_.NativeWindow() != nullptr; }

intptr_t TUcMemoStrings::Send(uint32_t msg, intptr_t wParam, intptr_t lParam) const {
    return memo_.SendClassMessage(msg, wParam, lParam);
}

namespace {
// The lines of a text (a final line break adds no empty line).
std::unique_ptr<TUcStringList> LinesOf(const WideString& text) {
    auto lines = std::make_unique<TUcStringList>();
    lines->SetTextStr(text);
    return lines;
}

// The lines joined as the window joins them: no break after the last.
WideString JoinLines(const TUcStringList& lines) {
    WideString text;
    for (int i = 0; i < lines.Count(); ++i) text += (i ? u"\r\n" : u"") + lines.Get(i);
    return text;
}
}  // namespace

int TUcMemoStrings::GetCount() const {
    if (!OnWindow()) return LinesOf(GetTextStr())->Count();
    // An empty last line (after a final break) is no line.
    int count = static_cast<int>(Send(EM_GETLINECOUNT));
    if (count > 0 && Send(EM_LINELENGTH, Send(EM_LINEINDEX, count - 1)) == 0) --count;
    return count;
}

void TUcMemoStrings::CheckIndex(int index) const {
    if (index < 0 || index >= GetCount()) Error(SListIndexError, index);
}

WideString TUcMemoStrings::Get(int index) const {
    CheckIndex(index);
    if (!OnWindow()) return LinesOf(GetTextStr())->Get(index);
    const intptr_t start = Send(EM_LINEINDEX, index);
    const intptr_t length = start < 0 ? 0 : Send(EM_LINELENGTH, start);
    if (length <= 0) return u"";
    if (length > 0xFFFF) throw EOutOfResources(SLineTooLong);
    WideString buffer(static_cast<size_t>(length) + 1, u'\0');
    buffer[0] = static_cast<WideChar>(length);
    const intptr_t got = Send(EM_GETLINE, index, reinterpret_cast<intptr_t>(buffer.data()));
    buffer.resize(static_cast<size_t>(std::clamp<intptr_t>(got, 0, length)));
    return buffer;
}

void TUcMemoStrings::Put(int index, const WideString& text) {
    CheckIndex(index);
    if (!OnWindow()) {
        auto lines = LinesOf(GetTextStr());
        lines->Put(index, text);
        SetTextStr(JoinLines(*lines));
        return;
    }
    const intptr_t start = Send(EM_LINEINDEX, index);
    if (start < 0) return;
    Send(EM_SETSEL, start, start + Send(EM_LINELENGTH, start));
    Send(EM_REPLACESEL, 0, TextParam(text));
}

void TUcMemoStrings::Insert(int index, const WideString& text) {
    if (index < 0) return;
    if (!OnWindow()) {
        auto lines = LinesOf(GetTextStr());
        if (index > lines->Count()) return;
        lines->Insert(index, text);
        SetTextStr(JoinLines(*lines));
        return;
    }
    intptr_t start = Send(EM_LINEINDEX, index);
    WideString line;
    if (start >= 0) {
        line = text + u"\r\n";
    } else {
        // Past the last line: after the previous one, when it has text.
        const intptr_t previous = index > 0 ? Send(EM_LINEINDEX, index - 1) : -1;
        if (previous < 0) return;
        const intptr_t length = Send(EM_LINELENGTH, previous);
        if (length == 0) return;
        start = previous + length;
        line = u"\r\n" + text;
    }
    Send(EM_SETSEL, start, start);
    Send(EM_REPLACESEL, 0, TextParam(line));
}

void TUcMemoStrings::Delete(int index) {
    CheckIndex(index);
    auto lines = LinesOf(GetTextStr());
    if (!OnWindow()) {
        lines->Delete(index);
        SetTextStr(JoinLines(*lines));
        return;
    }
    const intptr_t start = Send(EM_LINEINDEX, index);
    intptr_t end = Send(EM_LINEINDEX, index + 1);
    if (end < 0) end = start + Send(EM_LINELENGTH, start);
    Send(EM_SETSEL, start, end);
    Send(EM_REPLACESEL, 0, TextParam(u""));
}

void TUcMemoStrings::Clear() { SetTextStr(u""); }

WideString TUcMemoStrings::GetTextStr() const { return UcControlGetText(memo_); }

void TUcMemoStrings::SetTextStr(const WideString& text) {
    const WideString adjusted = WideAdjustLineBreaks(text, tlbsCRLF);
    if (adjusted != GetTextStr()) UcControlSetText(memo_, adjusted);
}

// ---------------------------------------------------------------- buttons

void UcPushButtonDialogChar(TWinControl& button, TMessage& message, const TMessageHandler& inherited) {
    if (AccelMatches(message, button) && button.CanFocus()) {
        button.Click();
        message.Result = 1;
        return;
    }
    inherited(message);
}

TUcButton::TUcButton(TComponent* owner) : TUcWinControl<TButton>(owner) {
    HandleMessage(CM_DIALOGCHAR, [this](TMessage& m, const TMessageHandler& inherited) {
        UcPushButtonDialogChar(*this, m, inherited);
    });
}

// ---------------------------------------------------------------- check box and radio button

TUcButtonControl::TUcButtonControl(TComponent* owner) : TUcWinControl<TStandardControl>(owner) {
    HandleMessage(CN_COMMAND, [this](TMessage& m, const TMessageHandler& inherited) {
        if (HiWord(m.WParam) == BN_CLICKED) {
            const bool checked = SendClassMessage(BM_GETCHECK) == BST_CHECKED;
            const bool changed = checked != checked_;
            checked_ = checked;
            if (changed) CheckedChanged(checked);
            Click();
        }
        inherited(m);
    });
}

bool TUcButtonControl::Checked() {
    if (NativeWindow()) checked_ = SendClassMessage(BM_GETCHECK) == BST_CHECKED;
    return checked_;
}

void TUcButtonControl::SetChecked(bool checked) {
    if (checked == Checked()) return;
    checked_ = checked;
    SendClassMessage(BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED);
    CheckedChanged(checked);
    // A radio button clicks when it becomes the checked one only.
    if (checked || !dynamic_cast<TUcRadioButton*>(this)) Click();
}

void TUcButtonControl::CreateWnd() {
    TUcWinControl<TStandardControl>::CreateWnd();
    if (checked_) SendClassMessage(BM_SETCHECK, BST_CHECKED);
}

void TUcButtonControl::DestroyWnd() {
    Checked();
    TUcWinControl<TStandardControl>::DestroyWnd();
}

TUcCheckBox::TUcCheckBox(TComponent* owner) : TUcButtonControl(owner) {
    SetBounds(0, 0, 97, 17);
    HandleMessage(CM_DIALOGCHAR, [this](TMessage& m, const TMessageHandler& inherited) {
        if (!AccelMatches(m, *this) || !CanFocus()) return inherited(m);
        SetFocus();
        if (Focused()) Toggle();
        m.Result = 1;
    });
}

TUcRadioButton::TUcRadioButton(TComponent* owner) : TUcButtonControl(owner) {
    SetBounds(0, 0, 113, 17);
    HandleMessage(CM_DIALOGCHAR, [this](TMessage& m, const TMessageHandler& inherited) {
        if (!AccelMatches(m, *this) || !CanFocus()) return inherited(m);
        SetFocus();
        SetChecked(true);
        m.Result = 1;
    });
}

void TUcCheckBox::CreateParams(TCreateParams& params) {
    params.Style |= BS_AUTOCHECKBOX;
    params.WinClassName = "BUTTON";
}

void TUcRadioButton::CreateParams(TCreateParams& params) {
    params.Style |= BS_AUTORADIOBUTTON;
    params.WinClassName = "BUTTON";
}

void TUcRadioButton::CheckedChanged(bool checked) {
    if (!checked || !Parent()) return;
    for (int i = 0; i < Parent()->ControlCount(); ++i) {
        auto* other = dynamic_cast<TUcRadioButton*>(Parent()->Controls(i));
        if (other && other != this) other->SetChecked(false);
    }
}

TUcGroupBox::TUcGroupBox(TComponent* owner) : TUcWinControl<TStandardControl>(owner) {
    SetBounds(0, 0, 185, 105);
    HandleMessage(CM_DIALOGCHAR, [this](TMessage& m, const TMessageHandler& inherited) {
        if (!AccelMatches(m, *this) || !CanFocus()) return inherited(m);
        SelectFirst();
        m.Result = 1;
    });
}

namespace {
// The first control inside that takes the focus (a container's children
// before the next control), or nullptr.
TWinControl* FirstFocusable(TWinControl& parent) {
    for (int i = 0; i < parent.ControlCount(); ++i) {
        auto* child = dynamic_cast<TWinControl*>(parent.Controls(i));
        if (!child || !child->CanFocus()) continue;
        if (child->ControlCount() > 0) {
            if (TWinControl* inner = FirstFocusable(*child)) return inner;
            continue;
        }
        return child;
    }
    return nullptr;
}
}  // namespace

void TUcGroupBox::SelectFirst() {
    if (TWinControl* first = FirstFocusable(*this)) first->SetFocus();
}

void TUcGroupBox::CreateParams(TCreateParams& params) {
    params.Style |= BS_GROUPBOX;
    params.WinClassName = "BUTTON";
}

// ---------------------------------------------------------------- item lists

TUcItemStrings::TUcItemStrings(TStandardControl& control, const TUcItemMessages& messages)
    : messages_(messages), control_(control) {}

void TUcItemStrings::CheckIndex(int index) const {
    if (index < 0 || index >= GetCount()) Error(SListIndexError, index);
}

int TUcItemStrings::GetCount() const {
    return OnWindow() ? static_cast<int>(Send(messages_.Count)) : kept_.Count();
}

WideString TUcItemStrings::Get(int index) const {
    if (!OnWindow()) return kept_.Get(index);
    const intptr_t length = Send(messages_.GetTextLen, index);
    if (length < 0) Error(SListIndexError, index);
    WideString buffer(static_cast<size_t>(length) + 1, u'\0');
    if (Send(messages_.GetText, index, reinterpret_cast<intptr_t>(buffer.data())) < 0) return u"";
    buffer.resize(buffer.find(u'\0'));
    return buffer;
}

void* TUcItemStrings::GetObject(int index) const {
    CheckIndex(index);
    if (!OnWindow()) return kept_.GetObject(index);
    return reinterpret_cast<void*>(Send(messages_.GetData, index));
}

void TUcItemStrings::PutObject(int index, void* object) {
    CheckIndex(index);
    if (!OnWindow()) {
        kept_.PutObject(index, object);
        return;
    }
    Send(messages_.SetData, index, reinterpret_cast<intptr_t>(object));
}

int TUcItemStrings::Add(const WideString& text) {
    if (!OnWindow()) return kept_.Add(text);
    const intptr_t index = Send(messages_.Add, 0, TextParam(text));
    if (index < 0) throw EOutOfResources(SInsertLineError);
    return static_cast<int>(index);
}

void TUcItemStrings::Insert(int index, const WideString& text) {
    if (index < 0 || index > GetCount()) Error(SListIndexError, index);
    if (!OnWindow()) {
        kept_.Insert(index, text);
        return;
    }
    if (Send(messages_.Insert, index, TextParam(text)) < 0) throw EOutOfResources(SInsertLineError);
}

void TUcItemStrings::Delete(int index) {
    CheckIndex(index);
    if (!OnWindow()) {
        kept_.Delete(index);
        if (KeptItemIndex == index) KeptItemIndex = -1;
        else if (KeptItemIndex > index) --KeptItemIndex;
        return;
    }
    Send(messages_.Delete, index);
}

void TUcItemStrings::Clear() {
    KeptItemIndex = -1;
    if (!OnWindow()) {
        kept_.Clear();
        return;
    }
    Send(messages_.Reset);
}

int TUcItemStrings::IndexOf(const WideString& text) const {
    if (!OnWindow()) return kept_.IndexOf(text);
    // The platform's search finds the same text in any case; an exact
    // match is preferred.
    const int found = static_cast<int>(Send(messages_.FindExact, -1, TextParam(text)));
    if (found < 0) return -1;
    for (int at = found;;) {
        if (Get(at) == text) return at;
        const int next = static_cast<int>(Send(messages_.FindExact, at, TextParam(text)));
        if (next <= at) return found;
        at = next;
    }
}

void TUcItemStrings::SetSorted(bool sorted) {
    sorted_ = sorted;
    if (!OnWindow()) SortKept(sorted);
}

// The kept item index follows its item when the kept list is sorted.
void TUcItemStrings::SortKept(bool sorted) {
    const int selected = KeptItemIndex;
    const bool valid = selected >= 0 && selected < kept_.Count();
    const WideString text = valid ? kept_.Get(selected) : WideString();
    void* object = valid ? kept_.GetObject(selected) : nullptr;
    kept_.SetSorted(sorted);
    if (!valid) return;
    for (int i = 0; i < kept_.Count(); ++i) {
        if (kept_.Get(i) == text && kept_.GetObject(i) == object) {
            KeptItemIndex = i;
            return;
        }
    }
}

void TUcItemStrings::SaveWindowItems() {
    // Nothing when the items were taken from this window already.
    if (!OnWindow() || (kept_.Count() > 0 && Send(messages_.Count) == 0)) return;
    kept_.SetSorted(false);
    kept_.Clear();
    for (int i = 0; i < GetCount(); ++i) kept_.AddObject(Get(i), GetObject(i));
    KeptItemIndex = static_cast<int>(Send(messages_.GetCurSel));
    Send(messages_.Reset);
    SortKept(sorted_);
}

void TUcItemStrings::RestoreWindowItems() {
    if (!OnWindow()) return;
    Send(messages_.Reset);
    for (int i = 0; i < kept_.Count(); ++i) {
        const intptr_t index = Send(messages_.Insert, i, TextParam(kept_.Get(i)));
        if (index < 0) throw EOutOfResources(SInsertLineError);
        Send(messages_.SetData, index, reinterpret_cast<intptr_t>(kept_.GetObject(i)));
    }
    if (KeptItemIndex >= 0) Send(messages_.SetCurSel, std::min(KeptItemIndex, kept_.Count() - 1));
    const bool sorted = kept_.Sorted();
    kept_.SetSorted(false);
    kept_.Clear();
    kept_.SetSorted(sorted);
    KeptItemIndex = -1;
}

namespace {
const TUcItemMessages ComboMessages{CB_ADDSTRING,    CB_INSERTSTRING, CB_DELETESTRING,    CB_RESETCONTENT, CB_GETCOUNT,
                                    CB_GETLBTEXT,    CB_GETLBTEXTLEN, CB_GETITEMDATA,     CB_SETITEMDATA,  CB_FINDSTRINGEXACT,
                                    CB_FINDSTRING,   CB_SETCURSEL,    CB_GETCURSEL,       CB_ERR};
const TUcItemMessages ListMessages{LB_ADDSTRING,    LB_INSERTSTRING, LB_DELETESTRING,    LB_RESETCONTENT, LB_GETCOUNT,
                                   LB_GETTEXT,      LB_GETTEXTLEN,   LB_GETITEMDATA,     LB_SETITEMDATA,  LB_FINDSTRINGEXACT,
                                   LB_FINDSTRING,   LB_SETCURSEL,    LB_GETCURSEL,       LB_ERR};
}  // namespace

// ---------------------------------------------------------------- combo box

TUcComboBoxStrings::TUcComboBoxStrings(TUcCustomComboBox& combo) : TUcItemStrings(combo, ComboMessages), combo_(combo) {}

void TUcComboBoxStrings::Clear() {
    const WideString text = UcControlGetText(combo_);
    TUcItemStrings::Clear();
    UcControlSetText(combo_, text);
    combo_.Update();
}

TUcCustomComboBox::TUcCustomComboBox(TComponent* owner)
    : TUcWinControl<TStandardControl>(owner), items_(std::make_unique<TUcComboBoxStrings>(*this)) {
    SetBounds(0, 0, 145, 25);
    HandleMessage(CN_COMMAND, [this](TMessage& m, const TMessageHandler& inherited) {
        switch (HiWord(m.WParam)) {
            case CBN_SELCHANGE: {
                const int index = ItemIndex();
                if (index >= 0) SetText(items_->Get(index));
                Click();
                Select();
                return;
            }
            case CBN_EDITCHANGE: Change(); break;
            case CBN_DROPDOWN:
                if (OnDropDown) OnDropDown(this);
                break;
            case CBN_CLOSEUP:
                if (OnCloseUp) OnCloseUp(this);
                break;
        }
        inherited(m);
    });
    // The key handlers hear the character first; what they leave may
    // complete the text.
    HandleMessage(WM_CHAR, [this](TMessage& m, const TMessageHandler& inherited) {
        inherited(m);
        if (m.Result != 0 || m.WParam == 0) return;
        if (AutoCompleteChar(WideCharOfWMChar(m))) m.Result = 1;
    });
    Font.Color = Rgb(clWindowText);
    HandleMessage(CN_DRAWITEM, [this](TMessage& m, const TMessageHandler&) {
        PaintOwnerDrawnItem(m, Font, [this](TCanvas& canvas, int index, const TRect& rect, TOwnerDrawState state) {
            DrawItem(canvas, index, rect, state);
        });
    });
    HandleMessage(CN_MEASUREITEM, [this](TMessage& m, const TMessageHandler&) {
        MeasureOwnerDrawnItem(m, [this](int index, int& height) { MeasureItem(index, height); });
    });
}

TUcCustomComboBox::~TUcCustomComboBox() = default;

void TUcCustomComboBox::CreateParams(TCreateParams& params) {
    params.WinClassName = "COMBOBOX";
    params.Style |= style_ == csSimple ? CBS_SIMPLE : style_ >= csDropDownList ? CBS_DROPDOWNLIST : CBS_DROPDOWN;
    if (style_ == csOwnerDrawFixed) params.Style |= CBS_OWNERDRAWFIXED | CBS_HASSTRINGS;
    if (style_ == csOwnerDrawVariable) params.Style |= CBS_OWNERDRAWVARIABLE | CBS_HASSTRINGS;
    if (Sorted()) params.Style |= CBS_SORT;
}

void TUcCustomComboBox::SetItemHeight(int height) {
    if (height <= 0 || height == itemHeight_) return;
    itemHeight_ = height;
    SendClassMessage(CB_SETITEMHEIGHT, 0, height);
}

void TUcCustomComboBox::DrawItem(TCanvas& canvas, int index, const TRect& rect, TOwnerDrawState state) {
    if (OnDrawItem) {
        OnDrawItem(this, canvas, index, rect, state);
        return;
    }
    canvas.FillRect(rect);
    if (index >= 0 && index < items_->Count()) WideCanvasTextOut(canvas, rect.Left + 2, rect.Top, items_->Get(index));
}

void TUcCustomComboBox::MeasureItem(int index, int& height) {
    if (OnMeasureItem) OnMeasureItem(this, index, height);
}

void TUcCustomComboBox::CreateWnd() {
    TUcWinControl<TStandardControl>::CreateWnd();
    SendClassMessage(CB_SETITEMHEIGHT, 0, itemHeight_);
    items_->RestoreWindowItems();
    UcWindowCreated(*this);
}

void TUcCustomComboBox::DestroyWnd() {
    const WideString text = Text();
    items_->SaveWindowItems();
    TUcWinControl<TStandardControl>::DestroyWnd();
    if (!HasState(csDestroying)) UcControlSetHelperText(*this, text);
}

uint64_t TUcCustomComboBox::TickCount() const { return Application().Backend().Now(); }

void TUcCustomComboBox::Change() {
    if (OnChange) OnChange(this);
}

void TUcCustomComboBox::Select() {
    if (OnSelect) OnSelect(this);
    else Change();
}

int TUcCustomComboBox::ItemIndex() {
    return NativeWindow() ? static_cast<int>(SendClassMessage(CB_GETCURSEL)) : items_->KeptItemIndex;
}

void TUcCustomComboBox::SetItemIndex(int index) {
    if (index < -1 || index >= items_->Count()) items_->Error(SListIndexError, index);
    if (!NativeWindow()) {
        items_->KeptItemIndex = index;
        UcControlSetText(*this, index >= 0 ? items_->Get(index) : WideString());
        return;
    }
    SendClassMessage(CB_SETCURSEL, index);
}

void TUcCustomComboBox::SetStyle(TComboBoxStyle style) {
    if (style == style_) return;
    style_ = style;
    RecreateWnd();
}

void TUcCustomComboBox::SetSorted(bool sorted) {
    if (sorted == Sorted()) return;
    // A new window of the sorted kind takes the items, sorted.
    items_->SetSorted(sorted);
    RecreateWnd();
}

bool TUcCustomComboBox::DroppedDown() { return SendClassMessage(CB_GETDROPPEDSTATE) != 0; }

void TUcCustomComboBox::SetDroppedDown(bool dropped) { SendClassMessage(CB_SHOWDROPDOWN, dropped ? 1 : 0); }

std::pair<int, int> TUcCustomComboBox::EditSelection() {
    int32_t start = 0, end = 0;
    SendClassMessage(CB_GETEDITSEL, reinterpret_cast<intptr_t>(&start), reinterpret_cast<intptr_t>(&end));
    return {start, end};
}

int TUcCustomComboBox::SelStart() { return EditSelection().first; }

void TUcCustomComboBox::SetSelStart(int start) { SendClassMessage(CB_SETEDITSEL, 0, MakeLParam(start, start)); }

int TUcCustomComboBox::SelLength() {
    const auto [start, end] = EditSelection();
    return end - start;
}

void TUcCustomComboBox::SetSelLength(int length) {
    const int start = SelStart();
    SendClassMessage(CB_SETEDITSEL, 0, MakeLParam(start, start + length));
}

WideString TUcCustomComboBox::SelText() {
    if (style_ >= csDropDownList) return u"";
    const auto [start, end] = EditSelection();
    return Text().substr(static_cast<size_t>(start), static_cast<size_t>(std::max(end - start, 0)));
}

void TUcCustomComboBox::CopySelection(TControl& destination) {
    const int index = ItemIndex();
    if (index != -1) UcListControlAddItem(destination, items_->Get(index), items_->GetObject(index));
}

int TUcCustomComboBox::FindPrefix(const WideString& text) const {
    if (!NativeWindow()) {
        for (int i = 0; i < items_->Count(); ++i)
            if (LocaleCompareText(items_->Get(i).substr(0, text.size()), text) == 0) return i;
        return -1;
    }
    const auto found = const_cast<TUcCustomComboBox*>(this)->SendClassMessage(CB_FINDSTRING, -1, TextParam(text));
    return found < 0 ? -1 : static_cast<int>(found);
}

bool TUcCustomComboBox::Complete(const WideString& text) {
    int index = FindPrefix(text);
    if (index >= 0 && UniqueOnly()) {
        const auto again = SendClassMessage(CB_FINDSTRING, index, TextParam(text));
        if (again != index) index = -1;
    }
    if (index < 0) return false;
    const WideString item = items_->Get(index);
    const bool changed = style_ == csDropDown ? Text() != item : index != ItemIndex();
    if (AutoCloseUp && items_->IndexOf(text) >= 0) SetDroppedDown(false);
    SetItemIndex(index);
    if (style_ == csDropDown || style_ == csSimple) {
        SetText(KeepTypedCase() ? text + item.substr(std::min(text.size(), item.size())) : item);
        SetSelStart(static_cast<int>(text.size()));
        SetSelLength(static_cast<int>(item.size()) - static_cast<int>(text.size()));
    }
    if (changed) {
        Click();
        Select();
    }
    return true;
}

bool TUcCustomComboBox::AutoCompleteChar(WideChar c) {
    if (!AutoComplete) return false;
    if (c == VK_TAB) {
        if (AutoDropDown && DroppedDown()) SetDroppedDown(false);
        return false;
    }
    if (style_ >= csDropDownList) {
        if (c == VK_BACK) {
            if (!searchText_.empty()) searchText_.pop_back();
            return false;
        }
        if (c == VK_ESCAPE) return false;
        if (AutoDropDown && !DroppedDown()) SetDroppedDown(true);
        const uint64_t now = TickCount();
        // A pause of 1250 ms starts the search again.
        if (now - lastSearchKey_ >= 1250) searchText_.clear();
        lastSearchKey_ = now;
        if (!Complete(searchText_ + c)) return false;
        searchText_ += c;
        return true;
    }
    if (c == VK_BACK || c == VK_ESCAPE) return false;
    if (AutoDropDown && !DroppedDown()) {
        const WideString text = Text();
        const auto [start, end] = EditSelection();
        SetDroppedDown(true);
        SetText(text);
        SendClassMessage(CB_SETEDITSEL, 0, MakeLParam(start, end));
    }
    const auto [start, end] = EditSelection();
    const WideString text = Text();
    if (end != static_cast<int>(text.size())) return false;
    return Complete(text.substr(0, static_cast<size_t>(start)) + c);
}

// ---------------------------------------------------------------- list box

TUcListBoxStrings::TUcListBoxStrings(TUcCustomListBox& list) : TUcItemStrings(list, ListMessages), list_(list) {}

void TUcListBoxStrings::Put(int index, const WideString& text) {
    CheckIndex(index);
    const int itemIndex = list_.ItemIndex();
    void* object = GetObject(index);
    PutObject(index, nullptr);
    Delete(index);
    InsertObject(index, text, object);
    if (itemIndex >= 0) list_.SetItemIndex(itemIndex);
}

WideString TUcListBoxStrings::Get(int index) const {
    if (!list_.IsVirtual()) return TUcItemStrings::Get(index);
    const intptr_t length = list_.Perform(LB_GETTEXTLEN, index);
    if (length < 0) Error(SListIndexError, index);
    WideString buffer(static_cast<size_t>(length) + 1, u'\0');
    list_.Perform(LB_GETTEXT, index, reinterpret_cast<intptr_t>(buffer.data()));
    buffer.resize(static_cast<size_t>(length));
    return buffer;
}

int TUcListBoxStrings::GetCount() const { return list_.IsVirtual() ? list_.Count() : TUcItemStrings::GetCount(); }

TUcCustomListBox::TUcCustomListBox(TComponent* owner)
    : TUcWinControl<TStandardControl>(owner), items_(std::make_unique<TUcListBoxStrings>(*this)) {
    SetBounds(0, 0, 121, 97);
    Font.Color = Rgb(clWindowText);
    // A virtual list answers for its texts itself; other lists ask their
    // window.
    for (uint32_t msg : {LB_GETTEXT, LB_GETTEXTLEN}) {
        HandleMessage(msg, [this, msg](TMessage& m, const TMessageHandler&) {
            if (!IsVirtual()) {
                m.Result = SendClassMessage(msg, m.WParam, m.LParam);
                return;
            }
            WideString text;
            if (!VirtualText(static_cast<int>(m.WParam), text)) {
                m.Result = LB_ERR;
                return;
            }
            if (msg == LB_GETTEXT && m.LParam) {
                auto* out = reinterpret_cast<char16_t*>(m.LParam);
                std::copy(text.begin(), text.end(), out);
                out[text.size()] = 0;
            }
            m.Result = static_cast<intptr_t>(text.size());
        });
    }
    HandleMessage(CN_DRAWITEM, [this](TMessage& m, const TMessageHandler&) {
        PaintOwnerDrawnItem(m, Font, [this](TCanvas& canvas, int index, const TRect& rect, TOwnerDrawState state) {
            DrawItem(canvas, index, rect, state);
        });
    });
    HandleMessage(CN_MEASUREITEM, [this](TMessage& m, const TMessageHandler&) {
        MeasureOwnerDrawnItem(m, [this](int index, int& height) { MeasureItem(index, height); });
    });
    HandleMessage(CN_COMMAND, [this](TMessage& m, const TMessageHandler& inherited) {
        switch (HiWord(m.WParam)) {
            case LBN_SELCHANGE: Click(); break;
            case LBN_DBLCLK:
                if (OnDblClick) OnDblClick(this);
                break;
        }
        inherited(m);
    });
}

TUcCustomListBox::~TUcCustomListBox() = default;

void TUcCustomListBox::CreateParams(TCreateParams& params) {
    params.WinClassName = "LISTBOX";
    params.ExStyle |= WS_EX_CLIENTEDGE;
    if (Sorted() && !IsVirtual()) params.Style |= LBS_SORT;
    if (MultiSelect) params.Style |= LBS_MULTIPLESEL;
    switch (style_) {
        case lbStandard: break;
        case lbOwnerDrawFixed: params.Style |= LBS_OWNERDRAWFIXED | LBS_HASSTRINGS; break;
        case lbOwnerDrawVariable: params.Style |= LBS_OWNERDRAWVARIABLE | LBS_HASSTRINGS; break;
        case lbVirtual:
        case lbVirtualOwnerDraw: params.Style |= LBS_OWNERDRAWFIXED | LBS_NODATA; break;
    }
}

void TUcCustomListBox::CreateWnd() {
    TUcWinControl<TStandardControl>::CreateWnd();
    SendClassMessage(LB_SETITEMHEIGHT, 0, itemHeight_);
    if (IsVirtual()) {
        SendClassMessage(LB_SETCOUNT, virtualCount_);
        if (items_->KeptItemIndex >= 0 && items_->KeptItemIndex < virtualCount_)
            SendClassMessage(LB_SETCURSEL, items_->KeptItemIndex);
        items_->KeptItemIndex = -1;
    } else {
        items_->RestoreWindowItems();
    }
    SendClassMessage(LB_SETTOPINDEX, keptTopIndex_);
}

void TUcCustomListBox::DestroyWnd() {
    if (NativeWindow()) keptTopIndex_ = static_cast<int>(SendClassMessage(LB_GETTOPINDEX));
    if (IsVirtual()) {
        if (NativeWindow()) items_->KeptItemIndex = static_cast<int>(SendClassMessage(LB_GETCURSEL));
    } else {
        items_->SaveWindowItems();
    }
    TUcWinControl<TStandardControl>::DestroyWnd();
}

void TUcCustomListBox::SetStyle(TListBoxStyle style) {
    if (style == style_) return;
    // The items of a list that becomes virtual (or stops being) go.
    if (IsVirtual() != (style == lbVirtual || style == lbVirtualOwnerDraw)) {
        if (!IsVirtual()) items_->Clear();
        virtualCount_ = 0;
        items_->KeptItemIndex = -1;
        SendClassMessage(LB_RESETCONTENT);
    }
    style_ = style;
    RecreateWnd();
}

int TUcCustomListBox::Count() const {
    if (IsVirtual()) return NativeWindow() ? static_cast<int>(const_cast<TUcCustomListBox*>(this)->SendClassMessage(LB_GETCOUNT)) : virtualCount_;
    return items_->Count();
}

void TUcCustomListBox::SetCount(int count) {
    if (!IsVirtual()) throw EOutOfResources(SInsertLineError);
    virtualCount_ = std::max(count, 0);
    SendClassMessage(LB_SETCOUNT, virtualCount_);
}

void TUcCustomListBox::SetItemHeight(int height) {
    if (height <= 0 || height == itemHeight_) return;
    itemHeight_ = height;
    SendClassMessage(LB_SETITEMHEIGHT, 0, height);
}

bool TUcCustomListBox::VirtualText(int index, WideString& text) const {
    if (index < 0 || index >= Count() || !OnData) return false;
    text.clear();
    OnData(const_cast<TUcCustomListBox*>(this), index, text);
    return true;
}

void TUcCustomListBox::DrawItem(TCanvas& canvas, int index, const TRect& rect, TOwnerDrawState state) {
    if (OnDrawItem) {
        OnDrawItem(this, canvas, index, rect, state);
        return;
    }
    canvas.FillRect(rect);
    if (index < 0 || index >= items_->Count()) return;
    WideString text;
    if (IsVirtual()) {
        if (!VirtualText(index, text)) return;
    } else {
        text = items_->Get(index);
    }
    TRect r{rect.Left + 2, rect.Top, rect.Right, rect.Bottom};
    canvas.Brush.Style = BS_NULL;
    canvas.DrawText(text, r, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    canvas.Brush.Style = BS_SOLID;
}

void TUcCustomListBox::MeasureItem(int index, int& height) {
    if (OnMeasureItem) OnMeasureItem(this, index, height);
}

void TUcCustomListBox::AddItem(const WideString& text, void* object) {
    items_->AddObject(text.substr(0, text.find(u'\0')), object);
}

int TUcCustomListBox::ItemIndex() {
    return NativeWindow() ? static_cast<int>(SendClassMessage(LB_GETCURSEL)) : items_->KeptItemIndex;
}

void TUcCustomListBox::SetItemIndex(int index) {
    if (index < -1 || index >= items_->Count()) items_->Error(SListIndexError, index);
    if (!NativeWindow()) {
        items_->KeptItemIndex = index;
        return;
    }
    SendClassMessage(LB_SETCURSEL, index);
}

int TUcCustomListBox::TopIndex() {
    return NativeWindow() ? static_cast<int>(SendClassMessage(LB_GETTOPINDEX)) : keptTopIndex_;
}

void TUcCustomListBox::SetTopIndex(int index) {
    keptTopIndex_ = index;
    SendClassMessage(LB_SETTOPINDEX, index);
}

bool TUcCustomListBox::Selected(int index) {
    if (index < 0 || index >= items_->Count()) items_->Error(SListIndexError, index);
    if (!NativeWindow()) return index == items_->KeptItemIndex;
    return SendClassMessage(LB_GETSEL, index) > 0;
}

void TUcCustomListBox::SetSorted(bool sorted) {
    if (sorted == Sorted()) return;
    // A new window of the sorted kind takes the items, sorted.
    items_->SetSorted(sorted);
    RecreateWnd();
}

void TUcCustomListBox::CopySelection(TControl& destination) {
    auto add = [&](int i) {
        const WideString text = items_->Get(i);
        UcListControlAddItem(destination, text.substr(0, text.find(u'\0')), items_->GetObject(i));
    };
    if (MultiSelect) {
        for (int i = 0; i < items_->Count(); ++i)
            if (Selected(i)) add(i);
    } else if (ItemIndex() != -1) {
        add(ItemIndex());
    }
}

// ---------------------------------------------------------------- status line

void TUcStatusBar::SetSimpleText(const WideString& text) {
    if (text == simpleText_) return;
    simpleText_ = text;
    TStatusBar::SetSimpleText(WideToAnsiDefault(text));
    Invalidate();
}
