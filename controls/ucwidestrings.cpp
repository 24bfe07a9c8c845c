#include "controls/ucwidestrings.h"

#include <cerrno>

#include "controls/list_helpers.h"
#include "controls/ucsysutils.h"

const char* const SListIndexError = "List index out of bounds (%d)";
const char* const SSortedListError = "Operation not allowed on sorted list";
const char* const SDuplicateString = "String list does not allow duplicates";

namespace UcWideStrings {

void* TWideStrings::GetObject(int) const { return nullptr; }
void TWideStrings::PutObject(int, void*) {}
void TWideStrings::SetCapacity(int) {}
void TWideStrings::SetUpdateState(bool) {}

WideString TWideStrings::GetTextStr() const {
    size_t size = 0;
    int count = GetCount();
    for (int i = 0; i < count; ++i) size += Get(i).size() + 2;
    WideString text;
    text.reserve(size);
    for (int i = 0; i < count; ++i) {
        text += Get(i);
        text += u"\r\n";
    }
    return text;
}

void TWideStrings::SetTextStr(const WideString& text) {
    list_helpers::InUpdate(*this, [&] {
        Clear();
        size_t end = text.find(u'\0');
        if (end == WideString::npos) end = text.size();
        size_t at = 0;
        while (at < end) {
            size_t start = at;
            while (at < end && text[at] != u'\r' && text[at] != u'\n' && text[at] != 0x2028) ++at;
            Add(text.substr(start, at - start));
            if (at < end && text[at] == u'\r') ++at;
            if (at < end && text[at] == u'\n') ++at;
            if (at < end && text[at] == 0x2028) ++at;
        }
    });
}

void TWideStrings::Put(int index, const WideString& text) {
    void* object = GetObject(index);
    Delete(index);
    InsertObject(index, text, object);
}

int TWideStrings::CompareStrings(const WideString& a, const WideString& b) const { return LocaleCompareText(a, b); }

int TWideStrings::Add(const WideString& text) {
    int index = GetCount();
    Insert(index, text);
    return index;
}

int TWideStrings::AddObject(const WideString& text, void* object) {
    int index = Add(text);
    PutObject(index, object);
    return index;
}

void TWideStrings::AddStrings(const TWideStrings& strings) {
    list_helpers::InUpdate(*this, [&] {
        for (int i = 0; i < strings.GetCount(); ++i) AddObject(strings.Get(i), strings.GetObject(i));
    });
}

void TWideStrings::Exchange(int index1, int index2) {
    list_helpers::InUpdate(*this, [&] {
        WideString text = Get(index1);
        void* object = GetObject(index1);
        Put(index1, Get(index2));
        PutObject(index1, GetObject(index2));
        Put(index2, text);
        PutObject(index2, object);
    });
}

int TWideStrings::IndexOf(const WideString& text) const {
    for (int i = 0; i < GetCount(); ++i)
        if (CompareStrings(Get(i), text) == 0) return i;
    return -1;
}

int TWideStrings::IndexOfName(const WideString& name) const {
    for (int i = 0; i < GetCount(); ++i) {
        WideString line = Get(i);
        size_t at = line.find(NameValueSeparator());
        if (at != WideString::npos && CompareStrings(line.substr(0, at), name) == 0) return i;
    }
    return -1;
}

int TWideStrings::IndexOfObject(const void* object) const {
    for (int i = 0; i < GetCount(); ++i)
        if (GetObject(i) == object) return i;
    return -1;
}

void TWideStrings::InsertObject(int index, const WideString& text, void* object) {
    Insert(index, text);
    PutObject(index, object);
}

void TWideStrings::LoadFromFile(const WideString& fileName) {
    TUcFileStream stream(fileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(stream);
}

void TWideStrings::LoadFromStream(TStream& stream) {
    list_helpers::InUpdate(*this, [&] {
        SetTextStr(ReadUtf16(stream));
    });
}

void TWideStrings::Move(int currentIndex, int newIndex) {
    if (currentIndex == newIndex) return;
    list_helpers::InUpdate(*this, [&] {
        WideString text = Get(currentIndex);
        void* object = GetObject(currentIndex);
        Delete(currentIndex);
        InsertObject(newIndex, text, object);
    });
}

void TWideStrings::SaveToFile(const WideString& fileName) const {
    TMemoryStream bytes;
    SaveToStream(bytes);
    WideWriteFileReplacing(fileName, bytes.Memory(), bytes.Bytes().size());
}

void TWideStrings::SaveToStream(TStream& stream) const { WriteUtf16(stream, GetTextStr()); }

void TWideStrings::SetText(const WideChar* text) { SetTextStr(text ? WideString(text) : WideString()); }

void TWideStrings::Assign(const TWideStrings& source) {
    if (&source == this) return;
    list_helpers::InUpdate(*this, [&] {
        Clear();
        delimiter_ = source.delimiter_;
        quoteChar_ = source.quoteChar_;
        nameValueSeparator_ = source.nameValueSeparator_;
        AddStrings(source);
    });
}

void TWideStrings::BeginUpdate() {
    if (updateCount_ == 0) SetUpdateState(true);
    ++updateCount_;
}

void TWideStrings::EndUpdate() {
    --updateCount_;
    if (updateCount_ == 0) SetUpdateState(false);
}

WideString TWideStrings::ExtractName(const WideString& line) const {
    size_t at = line.find(NameValueSeparator());
    return at == WideString::npos ? WideString() : line.substr(0, at);
}

bool TWideStrings::Equals(const TWideStrings& other) const {
    if (GetCount() != other.GetCount()) return false;
    for (int i = 0; i < GetCount(); ++i)
        if (Get(i) != other.Get(i)) return false;
    return true;
}

void TWideStrings::Error(const char* message, int data) const { throw EStringListError(FormatStr(message, data)); }

WideString TWideStrings::ReadUtf16(TStream& stream) {
    int64_t remaining = stream.Remaining();
    if (remaining < 2) return {};
    std::vector<uint8_t> bytes(static_cast<size_t>(remaining / 2 * 2));
    stream.ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    WideString text(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<WideChar>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    return text;
}

void TWideStrings::WriteUtf16(TStream& stream, const WideString& text) {
    std::vector<uint8_t> bytes(text.size() * 2);
    for (size_t i = 0; i < text.size(); ++i) {
        bytes[2 * i] = static_cast<uint8_t>(text[i] & 0xFF);
        bytes[2 * i + 1] = static_cast<uint8_t>(text[i] >> 8);
    }
    stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
}

}  // namespace UcWideStrings

// ------------------------------------------------------------ marks, TUcStrings

int DetectStreamEncoding(TStream& stream) {
    uint8_t mark[3];
    if (stream.Remaining() >= 2) {
        stream.ReadBuffer(mark, 2);
        if (mark[0] == 0xFF && mark[1] == 0xFE) return encUtf16LE;
        if (mark[0] == 0xFE && mark[1] == 0xFF) return encUtf16BE;
        stream.Seek(-2, TSeekOrigin::Current);
        if (stream.Remaining() >= 3) {
            stream.ReadBuffer(mark, 3);
            if (mark[0] == 0xEF && mark[1] == 0xBB && mark[2] == 0xBF) return encUtf8;
            stream.Seek(-3, TSeekOrigin::Current);
        }
    }
    return encAnsi;
}

void TUcStrings::LoadFromFile(const WideString& fileName) {
    TUcFileStream stream(fileName, fmOpenRead | fmShareDenyWrite);
    lastFileEncoding_ = DetectStreamEncoding(stream);
    stream.SetPosition(0);
    LoadFromStream(stream);
}

void TUcStrings::SaveToFile(const WideString& fileName) const {
    TMemoryStream bytes;
    SaveToStreamEx(bytes, true);
    WideWriteFileReplacing(fileName, bytes.Memory(), bytes.Bytes().size());
}

void TUcStrings::LoadFromStreamEx(TStream& stream, bool detectMark) {
    list_helpers::InUpdate(*this, [&] {
        int encoding = detectMark ? DetectStreamEncoding(stream) : encUtf16LE;
        WideString text;
        if (encoding == encUtf16LE || encoding == encUtf16BE) {
            text = ReadUtf16(stream);
            if (encoding == encUtf16BE) WideSwapByteOrder(text);
        } else {
            std::string bytes(static_cast<size_t>(stream.Remaining()), '\0');
            stream.ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
            text = encoding == encUtf8 ? UcSystem::Utf8ToWide(bytes) : AnsiToWideDefault(bytes);
        }
        SetTextStr(text);
    });
}

void TUcStrings::SaveToStreamEx(TStream& stream, bool writeMark) const {
    if (writeMark) {
        static const uint8_t mark[2] = {0xFF, 0xFE};
        stream.WriteBuffer(mark, 2);
    }
    WriteUtf16(stream, GetTextStr());
}

// ------------------------------------------------------------------ adapter

std::string TAnsiStringsForWideStringsAdapter::Get(int index) const {
    return WideToAnsiByCodePage(strings_.Get(index), CodePage(codePage_));
}

void TAnsiStringsForWideStringsAdapter::Put(int index, const std::string& text) {
    strings_.Put(index, AnsiToWideByCodePage(text, CodePage(codePage_)));
}

void TAnsiStringsForWideStringsAdapter::Insert(int index, const std::string& text) {
    strings_.Insert(index, AnsiToWideByCodePage(text, CodePage(codePage_)));
}

void TAnsiStringsForWideStringsAdapter::SetUpdateState(bool updating) {
    if (updating) strings_.BeginUpdate();
    else strings_.EndUpdate();
}

void TAnsiStringsForWideStringsAdapter::LoadFromStreamEx(TStream& stream, unsigned codePage) {
    std::string bytes(static_cast<size_t>(stream.Remaining()), '\0');
    stream.ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    list_helpers::InUpdate(strings_, [&] {
        strings_.SetTextStr(AnsiToWideByCodePage(bytes, CodePage(codePage)));
    });
}

void TAnsiStringsForWideStringsAdapter::SaveToStreamEx(TStream& stream, unsigned codePage) const {
    std::string bytes = WideToAnsiByCodePage(strings_.GetTextStr(), CodePage(codePage));
    stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
}

// ------------------------------------------------------------- TUcStringList

TUcStringList::~TUcStringList() {
    // Destruction fires nothing.
    OnChange = nullptr;
    OnChanging = nullptr;
}

void TUcStringList::Changed() {
    if (!updating_ && OnChange) OnChange(this);
}

void TUcStringList::Changing() {
    if (!updating_ && OnChanging) OnChanging(this);
}

void TUcStringList::SetUpdateState(bool updating) {
    updating_ = updating;
    if (updating) Changing();
    else Changed();
}

void TUcStringList::CheckIndex(int index) const {
    if (index < 0 || index >= GetCount()) Error(SListIndexError, index);
}

WideString TUcStringList::Get(int index) const {
    CheckIndex(index);
    return items_[static_cast<size_t>(index)].text;
}

void* TUcStringList::GetObject(int index) const {
    CheckIndex(index);
    return items_[static_cast<size_t>(index)].object;
}

void TUcStringList::Put(int index, const WideString& text) {
    if (sorted_) Error(SSortedListError, 0);
    CheckIndex(index);
    Changing();
    items_[static_cast<size_t>(index)].text = text;
    Changed();
}

void TUcStringList::PutObject(int index, void* object) {
    CheckIndex(index);
    Changing();
    items_[static_cast<size_t>(index)].object = object;
    Changed();
}

void TUcStringList::SetCapacity(int capacity) {
    capacity_ = std::max(capacity, GetCount());
    items_.reserve(static_cast<size_t>(capacity_));
}

int TUcStringList::CompareStrings(const WideString& a, const WideString& b) const {
    return caseSensitive_ ? LocaleCompareStr(a, b) : LocaleCompareText(a, b);
}

void TUcStringList::SetSorted(bool sorted) {
    if (sorted_ == sorted) return;
    if (sorted) Sort();
    sorted_ = sorted;
}

void TUcStringList::SetCaseSensitive(bool caseSensitive) {
    if (caseSensitive_ == caseSensitive) return;
    caseSensitive_ = caseSensitive;
    if (sorted_) {
        sorted_ = false;  // Sort does nothing on a sorted list
        Sort();
        sorted_ = true;
    }
}

int TUcStringList::AddObject(const WideString& text, void* object) {
    int index;
    if (!sorted_) {
        index = GetCount();
    } else if (Find(text, index)) {
        if (duplicates_ == dupIgnore) return index;
        if (duplicates_ == dupError) Error(SDuplicateString, 0);
    }
    InsertItem(index, text, object);
    return index;
}

void TUcStringList::Clear() {
    if (items_.empty()) return;
    Changing();
    items_.clear();
    items_.shrink_to_fit();
    capacity_ = 0;
    Changed();
}

void TUcStringList::Delete(int index) {
    CheckIndex(index);
    Changing();
    items_.erase(items_.begin() + index);
    Changed();
}

void TUcStringList::Exchange(int index1, int index2) {
    CheckIndex(index1);
    CheckIndex(index2);
    Changing();
    std::swap(items_[static_cast<size_t>(index1)], items_[static_cast<size_t>(index2)]);
    Changed();
}

bool TUcStringList::Find(const WideString& text, int& index) const {
    return list_helpers::Find(GetCount(), duplicates_ == dupAccept, index,
                              [&](int i) { return CompareStrings(items_[static_cast<size_t>(i)].text, text); });
}

int TUcStringList::IndexOf(const WideString& text) const {
    if (!sorted_) return TUcStrings::IndexOf(text);
    int index;
    return Find(text, index) ? index : -1;
}

int TUcStringList::IndexOfName(const WideString& name) const {
    if (!sorted_) return TUcStrings::IndexOfName(name);
    WideString prefix = name + NameValueSeparator();
    int index;
    Find(prefix, index);
    if (index < GetCount() &&
        CompareStrings(items_[static_cast<size_t>(index)].text.substr(0, prefix.size()), prefix) == 0)
        return index;
    return -1;
}

void TUcStringList::InsertObject(int index, const WideString& text, void* object) {
    if (sorted_) Error(SSortedListError, 0);
    if (index < 0 || index > GetCount()) Error(SListIndexError, index);
    InsertItem(index, text, object);
}

void TUcStringList::InsertItem(int index, const WideString& text, void* object) {
    Changing();
    if (GetCount() == capacity_) SetCapacity(list_helpers::GrownCapacity(capacity_));
    items_.insert(items_.begin() + index, Item{text, object});
    Changed();
}

void TUcStringList::Sort() {
    CustomSort([](TUcStringList& list, int a, int b) {
        return list.CompareStrings(list.items_[static_cast<size_t>(a)].text, list.items_[static_cast<size_t>(b)].text);
    });
}

void TUcStringList::CustomSort(const std::function<int(TUcStringList&, int, int)>& compare) {
    if (sorted_ || GetCount() < 2) return;
    Changing();
    list_helpers::QuickSort(
        0, GetCount() - 1, [&](int a, int b) { return compare(*this, a, b); },
        [&](int a, int b) { std::swap(items_[static_cast<size_t>(a)], items_[static_cast<size_t>(b)]); });
    Changed();
}

// -------------------------------------------------------------- file stream

TUcFileStream::TUcFileStream(const WideString& fileName, unsigned mode) : THandleStream(OpenHandle(fileName, mode)) {}

int TUcFileStream::OpenHandle(const WideString& fileName, unsigned mode) {
    int handle = mode == fmCreate ? WideFileCreate(fileName) : WideFileOpen(fileName, mode);
    if (handle >= 0) return handle;
    int code = errno;
    std::string name = UcSystem::WideToUtf8(WideExpandFileName(fileName));
    std::string reason = UcSystem::WideToUtf8(WideSysErrorMessage(code));
    if (mode == fmCreate) throw EFCreateError(FormatStr("Cannot create file \"%s\". %s", name.c_str(), reason.c_str()));
    throw EFOpenError(FormatStr("Cannot open file \"%s\". %s", name.c_str(), reason.c_str()));
}
