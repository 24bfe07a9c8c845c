#include "controls/wstrlist.h"

#include <locale.h>
#include <wchar.h>
#include <wctype.h>

#include <map>
#include <mutex>
#include <string>

#include "controls/list_helpers.h"
#include "controls/ucwidestrings.h"
#include "platform/codepage.h"

namespace WStrList {

using list_helpers::InUpdate;

intptr_t TWideStrings::GetObject(int) const { return 0; }
void TWideStrings::PutObject(int, intptr_t) {}
void TWideStrings::SetCapacity(int) {}
void TWideStrings::SetUpdateState(bool) {}

WideString TWideStrings::GetTextStr() const {
    WideString text;
    for (int i = 0; i < GetCount(); ++i) text += Get(i) + u"\r\n";
    return text;
}

void TWideStrings::SetTextStr(const WideString& text) {
    InUpdate(*this, [&] {
        Clear();
        size_t end = text.find(u'\0');
        if (end == WideString::npos) end = text.size();
        size_t at = 0;
        while (at < end) {
            size_t start = at;
            while (at < end && text[at] != u'\r' && text[at] != u'\n') ++at;
            Add(text.substr(start, at - start));
            if (at < end && text[at] == u'\r') ++at;
            if (at < end && text[at] == u'\n') ++at;
        }
    });
}

void TWideStrings::Put(int index, const WideString& text) {
    intptr_t value = GetObject(index);
    Delete(index);
    Insert(index, text);
    PutObject(index, value);
}

int TWideStrings::Add(const WideString& text) {
    int index = GetCount();
    Insert(index, text);
    return index;
}

int TWideStrings::AddObject(const WideString& text, intptr_t value) {
    int index = Add(text);
    PutObject(index, value);
    return index;
}

void TWideStrings::AddStrings(const TWideStrings& strings) {
    InUpdate(*this, [&] {
        for (int i = 0; i < strings.GetCount(); ++i) AddObject(strings.Get(i), strings.GetObject(i));
    });
}

void TWideStrings::Exchange(int index1, int index2) {
    InUpdate(*this, [&] {
        WideString text = Get(index1);
        intptr_t value = GetObject(index1);
        Put(index1, Get(index2));
        PutObject(index1, GetObject(index2));
        Put(index2, text);
        PutObject(index2, value);
    });
}

std::unique_ptr<WideChar[]> TWideStrings::GetText() const {
    WideString text = GetTextStr();
    auto block = std::make_unique<WideChar[]>(text.size() + 5);  // 2 x length + 10 bytes, zeroed
    std::copy(text.begin(), text.end(), block.get());
    return block;
}

namespace {

// The C library's collation of a locale id's language (the locale of the
// language's main country, in UTF-8), made once and kept; null when the
// system has no such locale.
locale_t CollationOf(TLanguage language) {
    static const struct {
        uint16_t primary;
        const char* name;
    } kLocales[] = {
        {0x01, "ar_SA"}, {0x02, "bg_BG"}, {0x04, "zh_CN"}, {0x05, "cs_CZ"}, {0x06, "da_DK"}, {0x07, "de_DE"},
        {0x08, "el_GR"}, {0x09, "en_US"}, {0x0A, "es_ES"}, {0x0B, "fi_FI"}, {0x0C, "fr_FR"}, {0x0D, "he_IL"},
        {0x0E, "hu_HU"}, {0x0F, "is_IS"}, {0x10, "it_IT"}, {0x11, "ja_JP"}, {0x12, "ko_KR"}, {0x13, "nl_NL"},
        {0x14, "nb_NO"}, {0x15, "pl_PL"}, {0x16, "pt_BR"}, {0x18, "ro_RO"}, {0x19, "ru_RU"}, {0x1A, "hr_HR"},
        {0x1B, "sk_SK"}, {0x1D, "sv_SE"}, {0x1E, "th_TH"}, {0x1F, "tr_TR"}, {0x22, "uk_UA"}, {0x24, "sl_SI"},
        {0x25, "et_EE"}, {0x26, "lv_LV"}, {0x27, "lt_LT"},
    };
    struct TCache {
        std::mutex lock;
        std::map<uint16_t, locale_t> made;
        ~TCache() {
            for (auto& [primary, locale] : made)
                if (locale) freelocale(locale);
        }
    };
    static TCache cache;
    const uint16_t primary = language & 0x3FF;
    std::lock_guard<std::mutex> guard(cache.lock);
    auto found = cache.made.find(primary);
    if (found != cache.made.end()) return found->second;
    locale_t made = nullptr;
    for (const auto& entry : kLocales)
        if (entry.primary == primary)
            made = newlocale(LC_COLLATE_MASK | LC_CTYPE_MASK, (std::string(entry.name) + ".UTF-8").c_str(), nullptr);
    cache.made[primary] = made;
    return made;
}

// The text as the C library's wide characters, in lower case.
std::wstring LowerWide(const WideString& text, locale_t locale) {
    std::wstring out;
    for (char32_t c : WideToCodePoints(text)) out += static_cast<wchar_t>(towlower_l(static_cast<wint_t>(c), locale));
    return out;
}

}  // namespace

bool HasLocaleCollation(TLanguage locale) { return CollationOf(locale) != nullptr; }

// Without regard to case, in the order of the list's locale; a locale the
// system does not have compares by the case-folded characters.
int TWideStrings::LocaleCompare(const WideString& a, const WideString& b) const {
    locale_t collation = CollationOf(locale_);
    if (!collation) return LocaleCompareText(a, b);
    const int order = wcscoll_l(LowerWide(a, collation).c_str(), LowerWide(b, collation).c_str(), collation);
    return order < 0 ? -1 : order > 0 ? 1 : 0;
}

int TWideStrings::IndexOf(const WideString& text) const {
    for (int i = 0; i < GetCount(); ++i)
        if (LocaleCompare(Get(i), text) == 0) return i;
    return -1;
}

void TWideStrings::LoadFromFile(const std::string& fileName) {
    TFileStream stream(fileName, TFileMode::OpenRead);
    LoadFromStream(stream);
}

void TWideStrings::LoadFromStream(TStream& stream) {
    InUpdate(*this, [&] {
        uint8_t mark[2] = {0, 0};
        bool swapped = false;
        if (stream.Remaining() < 2) {
            Clear();
            return;
        }
        stream.ReadBuffer(mark, 2);
        if (mark[0] == 0xFF && mark[1] == 0xFE) swapped = true;
        else if (!(mark[0] == 0xFE && mark[1] == 0xFF)) stream.Seek(-2, TSeekOrigin::Current);
        std::vector<uint8_t> bytes(static_cast<size_t>(stream.Remaining() / 2 * 2));
        stream.ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
        WideString text(bytes.size() / 2, u'\0');
        for (size_t i = 0; i < text.size(); ++i) {
            uint8_t first = bytes[2 * i], second = bytes[2 * i + 1];
            text[i] = swapped ? static_cast<WideChar>((first << 8) | second) : static_cast<WideChar>(first | (second << 8));
        }
        SetTextStr(text);
    });
}

void TWideStrings::Move(int currentIndex, int newIndex) {
    if (currentIndex == newIndex) return;
    InUpdate(*this, [&] {
        WideString text = Get(currentIndex);
        intptr_t value = GetObject(currentIndex);
        Delete(currentIndex);
        Insert(newIndex, text);
        PutObject(newIndex, value);
    });
}

void TWideStrings::SaveToFile(const std::string& fileName) const {
    TMemoryStream bytes;
    SaveToStream(bytes);
    WriteFileBytes(fileName, bytes.Memory(), bytes.Bytes().size());
}

void TWideStrings::SaveToStream(TStream& stream) const {
    // This family's own mark: FE FF in front of little-endian text.
    WideString text = GetTextStr();
    std::vector<uint8_t> bytes{0xFE, 0xFF};
    for (WideChar c : text) {
        bytes.push_back(static_cast<uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<uint8_t>(c >> 8));
    }
    stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
}

void TWideStrings::SetText(const WideChar* text) { SetTextStr(text ? WideString(text) : WideString()); }

void TWideStrings::BeginUpdate() {
    if (updateCount_ == 0) SetUpdateState(true);
    ++updateCount_;
}

void TWideStrings::EndUpdate() {
    --updateCount_;
    if (updateCount_ == 0) SetUpdateState(false);
}

void TWideStrings::Assign(const TWideStrings& source) {
    if (&source == this) return;
    InUpdate(*this, [&] {
        Clear();
        AddStrings(source);
    });
}

std::string TWideStrings::WriteWideStringsProperty() const {
    std::string digits;
    for (WideChar c : GetTextStr()) digits += FormatStr("%04X", static_cast<unsigned>(c));
    return digits;
}

void TWideStrings::ReadWideStringsProperty(const std::string& digits) {
    InUpdate(*this, [&] {
        Clear();
        WideString text;
        for (size_t at = 0; at + 4 <= digits.size(); at += 4) {
            unsigned code = 0;
            for (size_t k = at; k < at + 4; ++k) {
                char c = digits[k];
                int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
                if (digit < 0) throw EReadError("Invalid property value");
                code = code * 16 + static_cast<unsigned>(digit);
            }
            text += static_cast<WideChar>(code);
        }
        SetTextStr(text);
    });
}

// ------------------------------------------------------------ the list

TWideStringList::~TWideStringList() {
    OnChange = nullptr;
    OnChanging = nullptr;
}

void TWideStringList::Changed() {
    if (UpdateCount() == 0 && OnChange) OnChange(this);
}

void TWideStringList::Changing() {
    if (UpdateCount() == 0 && OnChanging) OnChanging(this);
}

void TWideStringList::SetUpdateState(bool updating) {
    if (updating) Changing();
    else Changed();
}

void TWideStringList::CheckIndex(int index) const {
    if (index < 0 || index >= GetCount()) throw EStringListError(FormatStr(SListIndexError, index));
}

WideString TWideStringList::Get(int index) const {
    CheckIndex(index);
    return AnsiToWideDefault(items_[static_cast<size_t>(index)].text);
}

intptr_t TWideStringList::GetObject(int index) const {
    CheckIndex(index);
    return items_[static_cast<size_t>(index)].value;
}

void TWideStringList::Put(int index, const WideString& text) {
    if (sorted_) throw EStringListError(SSortedListError);
    CheckIndex(index);
    Changing();
    items_[static_cast<size_t>(index)].text = WideToAnsiDefault(text);
    Changed();
}

void TWideStringList::PutObject(int index, intptr_t value) {
    CheckIndex(index);
    Changing();
    items_[static_cast<size_t>(index)].value = value;
    Changed();
}

void TWideStringList::SetCapacity(int capacity) {
    capacity_ = std::max(capacity, GetCount());
    items_.reserve(static_cast<size_t>(capacity_));
}

void TWideStringList::SetLocale(TLanguage locale) {
    TWideStrings::SetLocale(locale);
    if (sorted_) {
        sorted_ = false;  // Sort leaves a sorted list alone
        Sort();
        sorted_ = true;
    }
}

void TWideStringList::SetSorted(bool sorted) {
    if (sorted_ == sorted) return;
    if (sorted) Sort();
    sorted_ = sorted;
}

int TWideStringList::Add(const WideString& text) {
    int index;
    if (!sorted_) {
        index = GetCount();
    } else if (Find(text, index)) {
        if (duplicates_ == dupIgnore) return index;
        if (duplicates_ == dupError) throw EStringListError(SDuplicateString);
    }
    InsertItem(index, text);
    return index;
}

void TWideStringList::Clear() {
    if (items_.empty()) return;
    Changing();
    items_.clear();
    capacity_ = 0;
    Changed();
}

void TWideStringList::Delete(int index) {
    CheckIndex(index);
    Changing();
    items_.erase(items_.begin() + index);
    Changed();
}

void TWideStringList::Exchange(int index1, int index2) {
    CheckIndex(index1);
    CheckIndex(index2);
    Changing();
    std::swap(items_[static_cast<size_t>(index1)], items_[static_cast<size_t>(index2)]);
    Changed();
}

bool TWideStringList::Find(const WideString& text, int& index) const {
    return list_helpers::Find(GetCount(), duplicates_ == dupAccept, index,
                              [&](int i) { return LocaleCompare(Get(i), text); });
}

int TWideStringList::IndexOf(const WideString& text) const {
    if (!sorted_) return TWideStrings::IndexOf(text);
    int index;
    return Find(text, index) ? index : -1;
}

void TWideStringList::Insert(int index, const WideString& text) {
    if (sorted_) throw EStringListError(SSortedListError);
    if (index < 0 || index > GetCount()) throw EStringListError(FormatStr(SListIndexError, index));
    InsertItem(index, text);
}

void TWideStringList::InsertItem(int index, const WideString& text) {
    Changing();
    if (GetCount() == capacity_) SetCapacity(list_helpers::GrownCapacity(capacity_));
    items_.insert(items_.begin() + index, Item{WideToAnsiDefault(text), 0});
    Changed();
}

void TWideStringList::Sort() {
    if (sorted_ || GetCount() < 2) return;
    Changing();
    list_helpers::QuickSort(
        0, GetCount() - 1, [&](int a, int b) { return LocaleCompare(Get(a), Get(b)); },
        [&](int a, int b) { std::swap(items_[static_cast<size_t>(a)], items_[static_cast<size_t>(b)]); });
    Changed();
}

}  // namespace WStrList
