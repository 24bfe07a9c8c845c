// Locale-aware wide string lists, a family of their own beside the lists of
// ucwidestrings.h: WStrList::TWideStrings, the abstract list that compares
// in a locale of its own, and WStrList::TWideStringList, its sortable form.
//
// Items keep their text in the system code page, so a character that code
// page lacks comes back as '?'. Each item carries a value (a number or an
// object's address) that the list does not own. Files have a convention of
// their own: FE FF, then UTF-16 little-endian.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "controls/langs.h"
#include "platform/stream.h"

namespace WStrList {

// Whether the system has the collation of a locale's language (the C
// library's locale of its main country). The lists compare in it, without
// regard to case; without it they compare the case-folded characters.
bool HasLocaleCollation(TLanguage locale);

class TWideStrings {
public:
    TWideStrings() = default;
    virtual ~TWideStrings() = default;
    TWideStrings(const TWideStrings&) = delete;
    TWideStrings& operator=(const TWideStrings&) = delete;

    virtual WideString Get(int index) const = 0;
    virtual int GetCapacity() const { return GetCount(); }
    virtual int GetCount() const = 0;
    virtual intptr_t GetObject(int index) const;
    // Every line followed by CR LF.
    virtual WideString GetTextStr() const;
    virtual void Put(int index, const WideString& text);
    virtual void PutObject(int index, intptr_t value);
    virtual void SetCapacity(int capacity);
    // Lines end at CR, LF or CR LF; the text ends at its first NUL.
    virtual void SetTextStr(const WideString& text);
    virtual void SetUpdateState(bool updating);
    virtual void SetLocale(TLanguage locale) { locale_ = locale; }
    TLanguage GetLocale() const { return locale_; }
    virtual int Add(const WideString& text);
    virtual int AddObject(const WideString& text, intptr_t value);
    virtual void AddStrings(const TWideStrings& strings);
    virtual void Clear() = 0;
    virtual void Delete(int index) = 0;
    virtual void Exchange(int index1, int index2);
    // The text with a NUL in a zeroed block of length + 5 characters.
    virtual std::unique_ptr<WideChar[]> GetText() const;
    virtual int IndexOf(const WideString& text) const;
    virtual void Insert(int index, const WideString& text) = 0;
    virtual void LoadFromFile(const std::string& fileName);
    // FE FF: little-endian after it; FF FE: byte-swapped after it; anything
    // else is read from the start as little-endian.
    virtual void LoadFromStream(TStream& stream);
    virtual void Move(int currentIndex, int newIndex);
    virtual void SaveToFile(const std::string& fileName) const;
    virtual void SaveToStream(TStream& stream) const;
    virtual void SetText(const WideChar* text);

    // Case-insensitive comparison in the list's locale.
    int LocaleCompare(const WideString& a, const WideString& b) const;
    void BeginUpdate();
    void EndUpdate();
    int Count() const { return GetCount(); }
    // Clear, then every line with its value.
    void Assign(const TWideStrings& source);

    // The form-file property "WideStrings": every character of the text as
    // four upper-case hexadecimal digits; reading ignores a trailing
    // incomplete group and raises EReadError on a character that is no digit.
    std::string WriteWideStringsProperty() const;
    void ReadWideStringsProperty(const std::string& digits);

protected:
    int UpdateCount() const { return updateCount_; }

private:
    int updateCount_ = 0;
    TLanguage locale_ = UserDefaultLocale;
};

class TWideStringList : public TWideStrings {
public:
    using TNotifyEvent = std::function<void(TWideStringList*)>;
    enum TDuplicates { dupIgnore = 0, dupAccept = 1, dupError = 2 };

    TWideStringList() = default;
    ~TWideStringList() override;

    bool Sorted() const { return sorted_; }
    void SetSorted(bool sorted);
    TDuplicates Duplicates() const { return duplicates_; }
    void SetDuplicates(TDuplicates duplicates) { duplicates_ = duplicates; }
    TNotifyEvent OnChange;
    TNotifyEvent OnChanging;

    WideString Get(int index) const override;
    int GetCapacity() const override { return capacity_; }
    int GetCount() const override { return static_cast<int>(items_.size()); }
    intptr_t GetObject(int index) const override;
    void Put(int index, const WideString& text) override;
    void PutObject(int index, intptr_t value) override;
    void SetCapacity(int capacity) override;
    void SetUpdateState(bool updating) override;
    void SetLocale(TLanguage locale) override;
    int Add(const WideString& text) override;
    void Clear() override;
    void Delete(int index) override;
    void Exchange(int index1, int index2) override;
    int IndexOf(const WideString& text) const override;
    void Insert(int index, const WideString& text) override;

    virtual bool Find(const WideString& text, int& index) const;
    virtual void Sort();

protected:
    virtual void Changed();
    virtual void Changing();

private:
    struct Item {
        std::string text;  // in the system code page
        intptr_t value = 0;
    };

    void CheckIndex(int index) const;
    void InsertItem(int index, const WideString& text);

    std::vector<Item> items_;
    int capacity_ = 0;
    bool sorted_ = false;
    TDuplicates duplicates_ = dupIgnore;
};

}  // namespace WStrList
