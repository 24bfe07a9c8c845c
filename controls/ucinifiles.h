// Unicode ini files held wholly in memory: wide section names, keys and
// values, loaded from a text file in any encoding that TUcStrings knows
// (UTF-16 of either byte order, UTF-8 with its mark, 8-bit text) and written
// back as UTF-16LE with its mark. The application's language files are read
// through TUcMemIniFile.
//
// Sections and keys are looked up through hashes of their upper-cased text,
// so a form that reads hundreds of keys pays a constant time for each.
// Floats are written with '.' and read with '.' or ','; dates and times are
// written as "yyyy-mm-dd", "hh:nn:ss" and both joined by a space.
#pragma once

#include <memory>
#include <vector>

#include "controls/ucwidestrings.h"

// Key-to-index hash with chained buckets; the most recent entry of a key wins.
class TUcStringHash {
public:
    explicit TUcStringHash(size_t size = 256) : buckets_(size) {}
    virtual ~TUcStringHash() = default;

    void Add(const WideString& key, int value);
    void Clear();
    // -1 when the key is absent.
    int ValueOf(const WideString& key) const;

protected:
    // Each character: rotate the 32-bit hash left by 2, then xor the code.
    virtual uint32_t HashOf(const WideString& key) const;

private:
    struct Entry {
        WideString key;
        int value;
    };
    // Each bucket's chain with its head last.
    std::vector<std::vector<Entry>> buckets_;
};

// A string list whose IndexOf and IndexOfName go through hashes of the
// lines and of the names, rebuilt after every change. Without CaseSensitive
// the keys are upper-cased; after that the match is exact, and a line that
// occurs twice is found at its later index.
class TUcHashedStringList : public TUcStringList {
public:
    int IndexOf(const WideString& text) const override;
    int IndexOfName(const WideString& name) const override;

protected:
    void Changed() override;

private:
    WideString Key(const WideString& text) const;

    mutable std::unique_ptr<TUcStringHash> valueHash_;
    mutable std::unique_ptr<TUcStringHash> nameHash_;
    mutable bool valueHashValid_ = false;
    mutable bool nameHashValid_ = false;
};

class TUcCustomIniFile {
public:
    explicit TUcCustomIniFile(const WideString& fileName) : fileName_(fileName) {}
    virtual ~TUcCustomIniFile() = default;
    TUcCustomIniFile(const TUcCustomIniFile&) = delete;
    TUcCustomIniFile& operator=(const TUcCustomIniFile&) = delete;

    const WideString& FileName() const { return fileName_; }

    virtual WideString ReadString(const WideString& section, const WideString& ident, const WideString& defaultValue) = 0;
    virtual void WriteString(const WideString& section, const WideString& ident, const WideString& value) = 0;
    // Decimal with an optional sign, or hexadecimal after '$' or "0x";
    // anything else gives the default.
    virtual int32_t ReadInteger(const WideString& section, const WideString& ident, int32_t defaultValue);
    virtual void WriteInteger(const WideString& section, const WideString& ident, int32_t value);
    virtual bool ReadBool(const WideString& section, const WideString& ident, bool defaultValue);
    virtual void WriteBool(const WideString& section, const WideString& ident, bool value);
    // Hexadecimal text, two upper-case digits a byte, decoded into the
    // stream at its position; returns the bytes made available.
    virtual int64_t ReadBinaryStream(const WideString& section, const WideString& ident, TStream& value);
    virtual double ReadDate(const WideString& section, const WideString& ident, double defaultValue);
    virtual double ReadDateTime(const WideString& section, const WideString& ident, double defaultValue);
    virtual double ReadFloat(const WideString& section, const WideString& ident, double defaultValue);
    virtual double ReadTime(const WideString& section, const WideString& ident, double defaultValue);
    // The bytes from the stream's position to its end.
    virtual void WriteBinaryStream(const WideString& section, const WideString& ident, TStream& value);
    virtual void WriteDate(const WideString& section, const WideString& ident, double value);
    virtual void WriteDateTime(const WideString& section, const WideString& ident, double value);
    virtual void WriteFloat(const WideString& section, const WideString& ident, double value);
    virtual void WriteTime(const WideString& section, const WideString& ident, double value);
    // The names of the section's lines (empty for a line without '=').
    virtual void ReadSection(const WideString& section, UcWideStrings::TWideStrings& strings) = 0;
    // Every section name in file order, duplicates too.
    virtual void ReadSections(UcWideStrings::TWideStrings& strings) = 0;
    // The section's lines as stored.
    virtual void ReadSectionValues(const WideString& section, UcWideStrings::TWideStrings& strings) = 0;
    virtual void EraseSection(const WideString& section) = 0;
    virtual void DeleteKey(const WideString& section, const WideString& ident) = 0;
    virtual void UpdateFile() = 0;

    bool SectionExists(const WideString& section);
    bool ValueExists(const WideString& section, const WideString& ident);

private:
    WideString fileName_;
};

class TUcMemIniFile : public TUcCustomIniFile {
public:
    // Loads the file; a missing file or an empty name gives an empty ini.
    explicit TUcMemIniFile(const WideString& fileName);
    ~TUcMemIniFile() override;

    bool CaseSensitive() const { return sections_.CaseSensitive(); }

    WideString ReadString(const WideString& section, const WideString& ident, const WideString& defaultValue) override;
    void WriteString(const WideString& section, const WideString& ident, const WideString& value) override;
    void ReadSection(const WideString& section, UcWideStrings::TWideStrings& strings) override;
    void ReadSections(UcWideStrings::TWideStrings& strings) override;
    void ReadSectionValues(const WideString& section, UcWideStrings::TWideStrings& strings) override;
    void EraseSection(const WideString& section) override;
    void DeleteKey(const WideString& section, const WideString& ident) override;
    // Writes every section with its lines and an empty line after it, as
    // UTF-16LE with its mark, through a temporary file. Comments, blank
    // lines and lines before the first section are not kept.
    void UpdateFile() override;

    void Clear();
    // The whole ini from lines (the parser) and back to lines.
    void SetStrings(const UcWideStrings::TWideStrings& lines);
    void GetStrings(UcWideStrings::TWideStrings& lines) const;

private:
    void LoadValues();
    TUcHashedStringList* Section(int index) const;
    TUcHashedStringList* AddSection(const WideString& section);

    TUcHashedStringList sections_;
};
