#include "controls/ucinifiles.h"

#include <cmath>
#include <cstdlib>

#include "controls/list_helpers.h"
#include "controls/ucsysutils.h"
#include "platform/clock.h"

// ------------------------------------------------------------------- hashes

uint32_t TUcStringHash::HashOf(const WideString& key) const {
    uint32_t hash = 0;
    for (WideChar c : key) hash = ((hash << 2) | (hash >> 30)) ^ c;
    return hash;
}

void TUcStringHash::Add(const WideString& key, int value) {
    buckets_[HashOf(key) % buckets_.size()].push_back({key, value});
}

void TUcStringHash::Clear() {
    for (auto& bucket : buckets_) bucket.clear();
}

int TUcStringHash::ValueOf(const WideString& key) const {
    const auto& bucket = buckets_[HashOf(key) % buckets_.size()];
    for (auto entry = bucket.rbegin(); entry != bucket.rend(); ++entry)
        if (entry->key == key) return entry->value;
    return -1;
}

WideString TUcHashedStringList::Key(const WideString& text) const {
    return CaseSensitive() ? text : UcWideUpperCase(text);
}

int TUcHashedStringList::IndexOf(const WideString& text) const {
    if (!valueHashValid_) {
        if (!valueHash_) valueHash_ = std::make_unique<TUcStringHash>();
        valueHash_->Clear();
        for (int i = 0; i < GetCount(); ++i) valueHash_->Add(Key(Get(i)), i);
        valueHashValid_ = true;
    }
    return valueHash_->ValueOf(Key(text));
}

int TUcHashedStringList::IndexOfName(const WideString& name) const {
    if (!nameHashValid_) {
        if (!nameHash_) nameHash_ = std::make_unique<TUcStringHash>();
        nameHash_->Clear();
        for (int i = 0; i < GetCount(); ++i) {
            WideString line = Get(i);
            size_t at = line.find(NameValueSeparator());
            if (at != WideString::npos) nameHash_->Add(Key(line.substr(0, at)), i);
        }
        nameHashValid_ = true;
    }
    return nameHash_->ValueOf(Key(name));
}

void TUcHashedStringList::Changed() {
    TUcStringList::Changed();
    valueHashValid_ = false;
    nameHashValid_ = false;
}

// ------------------------------------------------------------- typed values

namespace {

std::string Narrow(const WideString& text) { return WideToAnsiDefault(text); }
WideString Widen(const std::string& text) { return AnsiToWideDefault(text); }

// Delphi-style integer text: optional blanks and sign, then decimal digits
// or '$' and hexadecimal digits.
bool ParseInteger(const std::string& text, int32_t& value) {
    size_t at = 0;
    while (at < text.size() && text[at] == ' ') ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '-' || text[at] == '+')) negative = text[at++] == '-';
    int base = 10;
    if (at < text.size() && text[at] == '$') {
        base = 16;
        ++at;
    }
    if (at >= text.size()) return false;
    uint64_t number = 0;
    for (; at < text.size(); ++at) {
        char c = text[at];
        int digit = c >= '0' && c <= '9'                ? c - '0'
                    : base == 16 && c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : base == 16 && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                         : -1;
        if (digit < 0) return false;
        number = number * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
        if (number > 0xFFFFFFFFull) return false;
    }
    if (base == 10) {
        if (number > (negative ? 0x80000000ull : 0x7FFFFFFFull)) return false;
        value = negative ? static_cast<int32_t>(-static_cast<int64_t>(number)) : static_cast<int32_t>(number);
    } else {
        value = static_cast<int32_t>(static_cast<uint32_t>(number));  // hexadecimal wraps to 32 bits
        if (negative) value = static_cast<int32_t>(0u - static_cast<uint32_t>(value));
    }
    return true;
}

bool ParseFloat(std::string text, double& value) {
    while (!text.empty() && text.back() == ' ') text.pop_back();
    size_t start = text.find_first_not_of(' ');
    if (start == std::string::npos) return false;
    text = text.substr(start);
    for (char& c : text)
        if (c == ',') c = '.';
    if (text.find_first_not_of("0123456789+-.eE") != std::string::npos) return false;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size() && std::isfinite(value);
}

// "yyyy-mm-dd", "hh:nn[:ss[.zzz]]", or both separated by one blank.
bool ParseDatePart(const std::string& text, double& value) {
    int year, month, day, used = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d%n", &year, &month, &day, &used) != 3 || used != int(text.size()))
        return false;
    return TryEncodeDate(year, month, day, value);
}

bool ParseTimePart(const std::string& text, double& value) {
    int hour, minute, second = 0, millisecond = 0, used = 0;
    int fields = std::sscanf(text.c_str(), "%2d:%2d%n:%2d%n.%3d%n", &hour, &minute, &used, &second, &used, &millisecond,
                             &used);
    if (fields < 2 || used != int(text.size())) return false;
    return TryEncodeTime(hour, minute, second, millisecond, value);
}

bool ParseDateTime(const std::string& text, double& value) {
    size_t blank = text.find(' ');
    if (blank == std::string::npos) {
        if (ParseDatePart(text, value)) return true;
        return ParseTimePart(text, value);
    }
    double date, time;
    if (!ParseDatePart(text.substr(0, blank), date) || !ParseTimePart(text.substr(blank + 1), time)) return false;
    value = date + time;
    return true;
}

std::string DateText(double value) {
    int year, month, day;
    DecodeDate(value, year, month, day);
    return FormatStr("%04d-%02d-%02d", year, month, day);
}

std::string TimeText(double value) {
    int hour, minute, second, millisecond;
    DecodeTime(value, hour, minute, second, millisecond);
    return FormatStr("%02d:%02d:%02d", hour, minute, second);
}

int HexDigit(WideChar c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    return -1;
}

}  // namespace

int32_t TUcCustomIniFile::ReadInteger(const WideString& section, const WideString& ident, int32_t defaultValue) {
    WideString text = ReadString(section, ident, u"");
    if (text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X')) text.replace(0, 2, u"$");
    int32_t value;
    return ParseInteger(Narrow(text), value) ? value : defaultValue;
}

void TUcCustomIniFile::WriteInteger(const WideString& section, const WideString& ident, int32_t value) {
    WriteString(section, ident, Widen(std::to_string(value)));
}

bool TUcCustomIniFile::ReadBool(const WideString& section, const WideString& ident, bool defaultValue) {
    return ReadInteger(section, ident, defaultValue ? 1 : 0) != 0;
}

void TUcCustomIniFile::WriteBool(const WideString& section, const WideString& ident, bool value) {
    WriteString(section, ident, value ? u"1" : u"0");
}

int64_t TUcCustomIniFile::ReadBinaryStream(const WideString& section, const WideString& ident, TStream& value) {
    WideString text = ReadString(section, ident, u"");
    if (text.empty()) return 0;
    std::vector<uint8_t> bytes(text.size() / 2, 0);
    for (size_t i = 0; i < bytes.size(); ++i) {
        int high = HexDigit(text[2 * i]), low = HexDigit(text[2 * i + 1]);
        if (high < 0 || low < 0) break;  // the rest stays zero
        bytes[i] = static_cast<uint8_t>(high * 16 + low);
    }
    if (auto* memory = dynamic_cast<TMemoryStream*>(&value)) {
        int64_t position = memory->GetPosition();
        memory->SetSize(memory->GetSize() + static_cast<int64_t>(bytes.size()));
        memory->WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
        memory->SetPosition(position);
        return memory->GetSize() - position;
    }
    TMemoryStream temporary(std::move(bytes));
    int64_t count = temporary.GetSize();
    value.CopyFrom(temporary, 0);
    return count;
}

void TUcCustomIniFile::WriteBinaryStream(const WideString& section, const WideString& ident, TStream& value) {
    static const char digits[] = "0123456789ABCDEF";
    std::vector<uint8_t> bytes(static_cast<size_t>(value.Remaining()));
    value.ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    WideString text;
    text.reserve(bytes.size() * 2);
    for (uint8_t b : bytes) {
        text += static_cast<WideChar>(digits[b >> 4]);
        text += static_cast<WideChar>(digits[b & 15]);
    }
    WriteString(section, ident, text);
}

namespace {

template <typename Parse>
double ReadParsed(TUcCustomIniFile& ini, const WideString& section, const WideString& ident, double defaultValue,
                  Parse parse) {
    WideString text = ini.ReadString(section, ident, u"");
    double value;
    if (text.empty() || !parse(Narrow(text), value)) return defaultValue;
    return value;
}

}  // namespace

double TUcCustomIniFile::ReadDate(const WideString& section, const WideString& ident, double defaultValue) {
    return ReadParsed(*this, section, ident, defaultValue, ParseDatePart);
}

double TUcCustomIniFile::ReadDateTime(const WideString& section, const WideString& ident, double defaultValue) {
    return ReadParsed(*this, section, ident, defaultValue, ParseDateTime);
}

double TUcCustomIniFile::ReadFloat(const WideString& section, const WideString& ident, double defaultValue) {
    return ReadParsed(*this, section, ident, defaultValue, ParseFloat);
}

double TUcCustomIniFile::ReadTime(const WideString& section, const WideString& ident, double defaultValue) {
    return ReadParsed(*this, section, ident, defaultValue, ParseTimePart);
}

void TUcCustomIniFile::WriteDate(const WideString& section, const WideString& ident, double value) {
    WriteString(section, ident, Widen(DateText(value)));
}

void TUcCustomIniFile::WriteDateTime(const WideString& section, const WideString& ident, double value) {
    WriteString(section, ident, Widen(DateText(value) + " " + TimeText(value)));
}

void TUcCustomIniFile::WriteFloat(const WideString& section, const WideString& ident, double value) {
    WriteString(section, ident, Widen(FormatStr("%.15g", value)));
}

void TUcCustomIniFile::WriteTime(const WideString& section, const WideString& ident, double value) {
    WriteString(section, ident, Widen(TimeText(value)));
}

bool TUcCustomIniFile::SectionExists(const WideString& section) {
    TUcStringList names;
    ReadSection(section, names);
    return names.Count() > 0;
}

bool TUcCustomIniFile::ValueExists(const WideString& section, const WideString& ident) {
    TUcStringList names;
    ReadSection(section, names);
    return names.IndexOf(ident) >= 0;
}

// ---------------------------------------------------------------- the file

namespace {

template <typename Fill>
void FillList(UcWideStrings::TWideStrings& strings, Fill fill) {
    list_helpers::InUpdate(strings, [&] {
        strings.Clear();
        fill();
    });
}

}  // namespace

TUcMemIniFile::TUcMemIniFile(const WideString& fileName) : TUcCustomIniFile(fileName) {
    try {
        LoadValues();
    } catch (...) {
        Clear();
        throw;
    }
}

TUcMemIniFile::~TUcMemIniFile() { Clear(); }

TUcHashedStringList* TUcMemIniFile::Section(int index) const {
    return static_cast<TUcHashedStringList*>(sections_.GetObject(index));
}

TUcHashedStringList* TUcMemIniFile::AddSection(const WideString& section) {
    auto list = std::make_unique<TUcHashedStringList>();
    list->SetCaseSensitive(sections_.CaseSensitive());
    sections_.AddObject(section, list.get());
    return list.release();
}

void TUcMemIniFile::Clear() {
    for (int i = 0; i < sections_.Count(); ++i) delete Section(i);
    sections_.Clear();
}

void TUcMemIniFile::LoadValues() {
    if (!FileName().empty() && WideFileExists(FileName())) {
        TUcStringList lines;
        lines.LoadFromFile(FileName());
        SetStrings(lines);
    } else {
        Clear();
    }
}

void TUcMemIniFile::SetStrings(const UcWideStrings::TWideStrings& lines) {
    Clear();
    TUcHashedStringList* current = nullptr;
    WideChar separator = sections_.NameValueSeparator();
    for (int i = 0; i < lines.Count(); ++i) {
        WideString line = WideTrim(lines.Get(i));
        if (line.empty() || line[0] == u';') continue;
        if (line.front() == u'[' && line.back() == u']' && line.size() >= 2) {
            current = AddSection(WideTrim(line.substr(1, line.size() - 2)));
            continue;
        }
        if (current == nullptr) continue;  // before the first section
        size_t at = line.find(separator);
        if (at == WideString::npos) current->Add(line);
        else current->Add(WideTrim(line.substr(0, at)) + separator + WideTrim(line.substr(at + 1)));
    }
}

void TUcMemIniFile::GetStrings(UcWideStrings::TWideStrings& lines) const {
    FillList(lines, [&] {
        for (int i = 0; i < sections_.Count(); ++i) {
            WideString header = sections_.Get(i);
            header.insert(header.begin(), u'[');
            header.push_back(u']');
            lines.Add(header);
            lines.AddStrings(*Section(i));
            lines.Add(u"");
        }
    });
}

WideString TUcMemIniFile::ReadString(const WideString& section, const WideString& ident, const WideString& defaultValue) {
    int index = sections_.IndexOf(section);
    if (index < 0) return defaultValue;
    TUcHashedStringList* lines = Section(index);
    int line = lines->IndexOfName(ident);
    if (line < 0) return defaultValue;
    return lines->Get(line).substr(ident.size() + 1);
}

void TUcMemIniFile::WriteString(const WideString& section, const WideString& ident, const WideString& value) {
    int index = sections_.IndexOf(section);
    TUcHashedStringList* lines = index >= 0 ? Section(index) : AddSection(section);
    WideString line = ident + sections_.NameValueSeparator() + value;
    int at = lines->IndexOfName(ident);
    if (at >= 0) lines->Put(at, line);
    else lines->Add(line);
}

void TUcMemIniFile::ReadSection(const WideString& section, UcWideStrings::TWideStrings& strings) {
    FillList(strings, [&] {
        int index = sections_.IndexOf(section);
        if (index < 0) return;
        TUcHashedStringList* lines = Section(index);
        for (int i = 0; i < lines->Count(); ++i) strings.Add(lines->Names(i));
    });
}

void TUcMemIniFile::ReadSections(UcWideStrings::TWideStrings& strings) {
    FillList(strings, [&] { strings.AddStrings(sections_); });
}

void TUcMemIniFile::ReadSectionValues(const WideString& section, UcWideStrings::TWideStrings& strings) {
    FillList(strings, [&] {
        int index = sections_.IndexOf(section);
        if (index >= 0) strings.AddStrings(*Section(index));
    });
}

void TUcMemIniFile::EraseSection(const WideString& section) {
    int index = sections_.IndexOf(section);
    if (index < 0) return;
    delete Section(index);
    sections_.Delete(index);
}

void TUcMemIniFile::DeleteKey(const WideString& section, const WideString& ident) {
    int index = sections_.IndexOf(section);
    if (index < 0) return;
    TUcHashedStringList* lines = Section(index);
    int line = lines->IndexOfName(ident);
    if (line >= 0) lines->Delete(line);
}

void TUcMemIniFile::UpdateFile() {
    TUcStringList lines;
    GetStrings(lines);
    lines.SaveToFile(FileName());
}
