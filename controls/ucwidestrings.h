// Lists of wide strings, in three layers: UcWideStrings::TWideStrings, the
// abstract list with the operations of the toolkit's string list; TUcStrings,
// which adds text files with byte-order marks and an 8-bit view; and
// TUcStringList, the array-backed list with objects, change events and a
// sorted mode. Beside them TUcFileStream, a file stream opened by a wide name.
//
// Text files are read as UTF-16 of either byte order, UTF-8 or 8-bit text by
// their mark, and written as UTF-16LE with the mark FF FE and CR LF after
// every line, through a temporary file that replaces the old one.
//
// Objects stored beside the strings belong to the caller. The toolkit's
// form-file streaming of lists does not exist here and is not built.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "controls/ucsystem.h"
#include "platform/handle_stream.h"
#include "platform/stream.h"

namespace UcWideStrings {

class TWideStrings {
public:
    TWideStrings() = default;
    virtual ~TWideStrings() = default;
    TWideStrings(const TWideStrings&) = delete;
    TWideStrings& operator=(const TWideStrings&) = delete;

    // Separators read as ',', '"' and '=' until set.
    WideChar Delimiter() const { return delimiter_; }
    void SetDelimiter(WideChar c) { delimiter_ = c; }
    WideChar QuoteChar() const { return quoteChar_; }
    void SetQuoteChar(WideChar c) { quoteChar_ = c; }
    WideChar NameValueSeparator() const { return nameValueSeparator_; }
    void SetNameValueSeparator(WideChar c) { nameValueSeparator_ = c; }

    virtual WideString Get(int index) const = 0;
    virtual int GetCapacity() const { return GetCount(); }
    virtual int GetCount() const = 0;
    virtual void* GetObject(int index) const;
    // Every line followed by CR LF.
    virtual WideString GetTextStr() const;
    virtual void Put(int index, const WideString& text);
    virtual void PutObject(int index, void* object);
    virtual void SetCapacity(int capacity);
    // Lines end at CR LF, CR, LF or U+2028 (also CR LF U+2028); the text ends
    // at its first NUL; a final line break adds no empty line.
    virtual void SetTextStr(const WideString& text);
    virtual void SetUpdateState(bool updating);
    virtual int CompareStrings(const WideString& a, const WideString& b) const;
    virtual int Add(const WideString& text);
    virtual int AddObject(const WideString& text, void* object);
    virtual void AddStrings(const TWideStrings& strings);
    virtual void Clear() = 0;
    virtual void Delete(int index) = 0;
    virtual void Exchange(int index1, int index2);
    virtual int IndexOf(const WideString& text) const;
    // The first line with a separator whose name compares equal.
    virtual int IndexOfName(const WideString& name) const;
    virtual int IndexOfObject(const void* object) const;
    virtual void Insert(int index, const WideString& text) = 0;
    virtual void InsertObject(int index, const WideString& text, void* object);
    // The base reads and writes raw UTF-16LE without a mark.
    virtual void LoadFromFile(const WideString& fileName);
    virtual void LoadFromStream(TStream& stream);
    virtual void Move(int currentIndex, int newIndex);
    virtual void SaveToFile(const WideString& fileName) const;
    virtual void SaveToStream(TStream& stream) const;
    // SetTextStr of the text up to its NUL.
    virtual void SetText(const WideChar* text);

    // Copies separators and lines of another list.
    void Assign(const TWideStrings& source);
    void BeginUpdate();
    void EndUpdate();
    int Count() const { return GetCount(); }
    WideString Names(int index) const { return ExtractName(Get(index)); }
    // The text before the first separator; empty when there is none.
    WideString ExtractName(const WideString& line) const;
    bool Equals(const TWideStrings& other) const;
    // Raises EStringListError with the message formatted with data.
    [[noreturn]] void Error(const char* message, int data) const;

protected:
    int UpdateCount() const { return updateCount_; }
    // Raw UTF-16LE bytes of the stream from its position, n div 2 units.
    static WideString ReadUtf16(TStream& stream);
    static void WriteUtf16(TStream& stream, const WideString& text);

private:
    WideChar delimiter_ = u',';
    WideChar quoteChar_ = u'"';
    WideChar nameValueSeparator_ = u'=';
    int updateCount_ = 0;
};

}  // namespace UcWideStrings

// Messages of the string lists.
extern const char* const SListIndexError;
extern const char* const SSortedListError;
extern const char* const SDuplicateString;

// Encodings found by a mark.
constexpr int encAnsi = 0;
constexpr int encUtf16LE = 1;
constexpr int encUtf16BE = 2;
constexpr int encUtf8 = 3;

// The encoding of the text at the stream's position, by its mark: FF FE
// UTF-16LE, FE FF UTF-16BE, EF BB BF UTF-8; the position stays after the
// mark. Without a mark, encAnsi and the position is unchanged.
int DetectStreamEncoding(TStream& stream);

class TUcStrings;

// The list seen as 8-bit strings through a code page (0: the default).
class TAnsiStringsForWideStringsAdapter {
public:
    TAnsiStringsForWideStringsAdapter(UcWideStrings::TWideStrings& strings, unsigned codePage)
        : strings_(strings), codePage_(codePage) {}

    std::string Get(int index) const;
    void Put(int index, const std::string& text);
    void Insert(int index, const std::string& text);
    int GetCount() const { return strings_.GetCount(); }
    void Clear() { strings_.Clear(); }
    void Delete(int index) { strings_.Delete(index); }
    void* GetObject(int index) const { return strings_.GetObject(index); }
    void PutObject(int index, void* object) { strings_.PutObject(index, object); }
    void SetUpdateState(bool updating);
    // All bytes from the position to the end through the code page.
    void LoadFromStreamEx(TStream& stream, unsigned codePage);
    // The whole text through the code page, without a mark.
    void SaveToStreamEx(TStream& stream, unsigned codePage) const;

private:
    unsigned CodePage(unsigned codePage) const { return codePage != 0 ? codePage : DefaultAnsiCodePage; }

    UcWideStrings::TWideStrings& strings_;
    unsigned codePage_;
};

class TUcStrings : public UcWideStrings::TWideStrings {
public:
    TUcStrings() : ansiStrings_(*this, 0) {}

    TAnsiStringsForWideStringsAdapter& AnsiStrings() { return ansiStrings_; }
    // The encoding found by the last LoadFromFile; encUtf16LE at first.
    int LastFileEncoding() const { return lastFileEncoding_; }

    void LoadFromFile(const WideString& fileName) override;
    void LoadFromStream(TStream& stream) override { LoadFromStreamEx(stream, true); }
    void SaveToFile(const WideString& fileName) const override;
    void SaveToStream(TStream& stream) const override { SaveToStreamEx(stream, true); }
    // Without detection the text is taken as UTF-16LE.
    virtual void LoadFromStreamEx(TStream& stream, bool detectMark);
    virtual void SaveToStreamEx(TStream& stream, bool writeMark) const;

private:
    TAnsiStringsForWideStringsAdapter ansiStrings_;
    int lastFileEncoding_ = encUtf16LE;
};

enum TDuplicates { dupIgnore = 0, dupAccept = 1, dupError = 2 };

class TUcStringList : public TUcStrings {
public:
    using TNotifyEvent = std::function<void(TUcStringList*)>;

    TUcStringList() = default;
    ~TUcStringList() override;

    bool Sorted() const { return sorted_; }
    void SetSorted(bool sorted);
    TDuplicates Duplicates() const { return duplicates_; }
    void SetDuplicates(TDuplicates duplicates) { duplicates_ = duplicates; }
    bool CaseSensitive() const { return caseSensitive_; }
    void SetCaseSensitive(bool caseSensitive);
    TNotifyEvent OnChange;
    TNotifyEvent OnChanging;

    WideString Get(int index) const override;
    int GetCapacity() const override { return capacity_; }
    int GetCount() const override { return static_cast<int>(items_.size()); }
    void* GetObject(int index) const override;
    void Put(int index, const WideString& text) override;
    void PutObject(int index, void* object) override;
    void SetCapacity(int capacity) override;
    void SetUpdateState(bool updating) override;
    int CompareStrings(const WideString& a, const WideString& b) const override;
    int Add(const WideString& text) override { return AddObject(text, nullptr); }
    int AddObject(const WideString& text, void* object) override;
    void Clear() override;
    void Delete(int index) override;
    void Exchange(int index1, int index2) override;
    int IndexOf(const WideString& text) const override;
    int IndexOfName(const WideString& name) const override;
    void Insert(int index, const WideString& text) override { InsertObject(index, text, nullptr); }
    void InsertObject(int index, const WideString& text, void* object) override;

    // Binary search of a sorted list: whether text is there, and where it
    // is or would go (the first of equal items under dupAccept).
    virtual bool Find(const WideString& text, int& index) const;
    virtual void Sort();
    virtual void CustomSort(const std::function<int(TUcStringList&, int, int)>& compare);

protected:
    virtual void Changed();
    virtual void Changing();
    virtual void InsertItem(int index, const WideString& text, void* object);

private:
    struct Item {
        WideString text;
        void* object = nullptr;
    };

    void CheckIndex(int index) const;

    std::vector<Item> items_;
    int capacity_ = 0;
    bool sorted_ = false;
    TDuplicates duplicates_ = dupIgnore;
    bool caseSensitive_ = false;
    bool updating_ = false;
};

// A stream on a file opened by a wide name: mode fmCreate (0xFFFF) creates
// it, any other mode opens an existing file (see WideFileOpen). Raises
// EFCreateError "Cannot create file "%s". %s" or EFOpenError "Cannot open
// file "%s". %s".
class TUcFileStream : public THandleStream {
public:
    TUcFileStream(const WideString& fileName, unsigned mode);

private:
    static int OpenHandle(const WideString& fileName, unsigned mode);
};
