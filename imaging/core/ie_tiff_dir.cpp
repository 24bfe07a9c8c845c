#include "imaging/core/ie_tiff_dir.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>

namespace {

constexpr uint32_t kMaxTextCount = 0xFFFFF;

uint16_t Get16(const uint8_t* p, bool little) {
    return little ? static_cast<uint16_t>(p[0] | p[1] << 8) : static_cast<uint16_t>(p[0] << 8 | p[1]);
}

uint32_t Get32(const uint8_t* p, bool little) {
    return little ? uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24
                  : uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]};
}

void Set32(uint8_t* p, uint32_t v, bool little) {
    for (int i = 0; i < 4; ++i) p[little ? i : 3 - i] = static_cast<uint8_t>(v >> (8 * i));
}

// Reads exactly count bytes at an absolute position; false when short.
bool ReadExact(TStream& stream, int64_t position, void* buffer, size_t count) {
    if (position < 0 || position + static_cast<int64_t>(count) > stream.GetSize()) return false;
    stream.SetPosition(position);
    return stream.Read(buffer, static_cast<int64_t>(count)) == static_cast<int64_t>(count);
}

}  // namespace

int32_t IETIFFTypeSize(uint16_t type) {
    switch (type) {
        case ietBYTE: case ietASCII: case ietSBYTE: case ietUNDEFINED: return 1;
        case ietSHORT: case ietSSHORT: return 2;
        case ietLONG: case ietSLONG: case ietFLOAT: case ietIFD: return 4;
        case ietRATIONAL: case ietSRATIONAL: case ietDOUBLE: return 8;
        default: return 0;
    }
}

void IETIFFSwapValues(uint16_t type, uint8_t* data, size_t size) {
    size_t unit = static_cast<size_t>(IETIFFTypeSize(type));
    if (type == ietRATIONAL || type == ietSRATIONAL) unit = 4;
    if (unit < 2) return;
    for (size_t at = 0; at + unit <= size; at += unit) std::reverse(data + at, data + at + unit);
}

bool IEReadTIFFHeader(TStream& stream, int64_t base, bool& littleEndian, uint32_t& firstIFD) {
    uint8_t header[8];
    if (!ReadExact(stream, base, header, sizeof header)) return false;
    if (header[0] == 'I' && header[1] == 'I') littleEndian = true;
    else if (header[0] == 'M' && header[1] == 'M') littleEndian = false;
    else return false;
    firstIFD = Get32(header + 4, littleEndian);
    return true;
}

uint16_t TIETIFFDirectory::Read16(const uint8_t* p) const { return Get16(p, LittleEndian); }
uint32_t TIETIFFDirectory::Read32(const uint8_t* p) const { return Get32(p, LittleEndian); }

bool TIETIFFDirectory::ReadAt(uint32_t offset, void* buffer, size_t count) const {
    return Stream && ReadExact(*Stream, Base + offset, buffer, count);
}

bool TIETIFFDirectory::Fits(const TIETIFFEntry& entry) const {
    const uint64_t size = uint64_t{entry.Count} * static_cast<uint64_t>(std::max(IETIFFTypeSize(entry.Type), 1));
    if (size <= 4) return true;
    return Stream && Base + int64_t{entry.Value} + static_cast<int64_t>(size) <= Stream->GetSize();
}

bool TIETIFFDirectory::Load(TStream& stream, int64_t base, bool littleEndian, uint32_t offset) {
    Stream = &stream;
    Base = base;
    LittleEndian = littleEndian;
    Entries.clear();
    Offset = offset;
    NextOffset = 0;
    uint8_t countBytes[2];
    if (!ReadAt(offset, countBytes, 2)) return false;
    const uint16_t count = Read16(countBytes);
    std::vector<uint8_t> table(size_t{count} * 12);
    if (!ReadAt(offset + 2, table.data(), table.size())) return false;
    Entries.resize(count);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* p = table.data() + 12 * i;
        Entries[i] = {Read16(p), Read16(p + 2), Read32(p + 4), Read32(p + 8)};
    }
    uint8_t link[4];
    if (ReadAt(offset + 2 + static_cast<uint32_t>(table.size()), link, 4)) NextOffset = Read32(link);
    return true;
}

bool TIETIFFDirectory::LoadPage(TStream& stream, int64_t base, bool littleEndian, uint32_t firstIFD, int32_t index,
                                int32_t* pageCount) {
    std::set<uint32_t> visited;
    int32_t count = 0;
    bool loaded = false;
    TIETIFFDirectory walker;
    for (uint32_t offset = firstIFD; offset >= 8 && base + offset < stream.GetSize() && visited.insert(offset).second;) {
        if (!walker.Load(stream, base, littleEndian, offset) || walker.Entries.empty()) break;
        if (count == index) {
            *this = walker;
            loaded = true;
        }
        ++count;
        offset = walker.NextOffset;
    }
    if (pageCount) *pageCount = count;
    if (!loaded) {
        Stream = &stream, Base = base, LittleEndian = littleEndian;
        Entries.clear();
    }
    return loaded;
}

const TIETIFFEntry* TIETIFFDirectory::Find(uint16_t tag) const {
    for (const TIETIFFEntry& entry : Entries)
        if (entry.Tag == tag) return &entry;
    return nullptr;
}

uint32_t TIETIFFDirectory::GetInteger(uint16_t tag, uint32_t missing) const {
    const TIETIFFEntry* entry = Find(tag);
    if (!entry) return missing;
    switch (entry->Type) {
        case ietSHORT: case ietSSHORT: return LittleEndian ? entry->Value & 0xFFFF : entry->Value >> 16;
        case ietBYTE: case ietSBYTE: case ietUNDEFINED: return LittleEndian ? entry->Value & 0xFF : entry->Value >> 24;
        default: return entry->Value;
    }
}

uint32_t TIETIFFDirectory::GetValue(uint16_t tag, uint32_t index) const {
    const TIETIFFEntry* entry = Find(tag);
    if (!entry || index >= entry->Count || !Fits(*entry)) return 0;
    uint8_t bytes[4];
    if (entry->Type == ietSHORT) {
        if (entry->Count <= 2) {
            Set32(bytes, entry->Value, LittleEndian);
            return Read16(bytes + 2 * index);
        }
        return ReadAt(entry->Value + 2 * index, bytes, 2) ? Read16(bytes) : 0;
    }
    if (entry->Type == ietLONG || entry->Type == ietIFD) {
        if (entry->Count == 1) return entry->Value;
        return ReadAt(entry->Value + 4 * index, bytes, 4) ? Read32(bytes) : 0;
    }
    return 0;
}

std::vector<uint32_t> TIETIFFDirectory::GetIntegers(uint16_t tag) const {
    std::vector<uint32_t> values;
    const TIETIFFEntry* entry = Find(tag);
    if (!entry) return values;
    if (entry->Count == 1) return {GetInteger(tag)};
    if (!Fits(*entry)) return values;
    values.reserve(entry->Count);
    for (uint32_t i = 0; i < entry->Count; ++i) values.push_back(GetValue(tag, i));
    return values;
}

double TIETIFFDirectory::GetRational(uint16_t tag, uint32_t index, double missing) const {
    const TIETIFFEntry* entry = Find(tag);
    if (!entry || index >= entry->Count || !Fits(*entry)) return missing;
    uint8_t bytes[8];
    if (!ReadAt(entry->Value + 8 * index, bytes, 8)) return missing;
    const uint32_t numerator = Read32(bytes), denominator = Read32(bytes + 4);
    // Signed rationals (exposure bias, brightness) keep their sign.
    if (entry->Type == ietSRATIONAL) {
        const auto n = static_cast<int32_t>(numerator), d = static_cast<int32_t>(denominator);
        return static_cast<double>(n) / (d == 0 ? 1 : d);
    }
    return static_cast<double>(numerator) / (denominator == 0 ? 1 : denominator);
}

std::string TIETIFFDirectory::GetString(uint16_t tag) const {
    const TIETIFFEntry* entry = Find(tag);
    if (!entry || entry->Count == 0 || entry->Count > kMaxTextCount) return {};
    if (entry->Count <= 4) {
        uint8_t bytes[4];
        Set32(bytes, entry->Value, LittleEndian);
        // Short texts usually carry their NUL in the entry ("N" and NUL).
        return std::string(reinterpret_cast<const char*>(bytes), strnlen(reinterpret_cast<const char*>(bytes), entry->Count));
    }
    std::string text(entry->Count, '\0');
    if (!ReadAt(entry->Value, text.data(), text.size())) return {};
    while (!text.empty() && text.back() == '\0') text.pop_back();
    return text;
}

std::vector<uint8_t> TIETIFFDirectory::GetRawData(uint16_t tag) const {
    const TIETIFFEntry* entry = Find(tag);
    return entry ? GetRawData(*entry) : std::vector<uint8_t>{};
}

std::vector<uint8_t> TIETIFFDirectory::GetRawData(const TIETIFFEntry& entry) const {
    const uint64_t size = uint64_t{entry.Count} * static_cast<uint64_t>(std::max(IETIFFTypeSize(entry.Type), 1));
    std::vector<uint8_t> data;
    if (size <= 4) {
        uint8_t bytes[4];
        Set32(bytes, entry.Value, LittleEndian);
        data.assign(bytes, bytes + size);
        return data;
    }
    if (!Stream || int64_t(size) > Stream->GetSize()) return data;
    data.resize(static_cast<size_t>(size));
    if (!ReadAt(entry.Value, data.data(), data.size())) data.clear();
    return data;
}

std::vector<uint8_t> TIETIFFDirectory::GetLittleEndianData(const TIETIFFEntry& entry) const {
    std::vector<uint8_t> data = GetRawData(entry);
    if (!LittleEndian) IETIFFSwapValues(entry.Type, data.data(), data.size());
    return data;
}

std::u16string TIETIFFDirectory::GetWideString(uint16_t tag) const {
    const TIETIFFEntry* entry = Find(tag);
    if (!entry || entry->Count > kMaxTextCount) return {};
    const std::vector<uint8_t> data = GetRawData(*entry);
    std::u16string text;
    for (size_t i = 0; i + 1 < data.size(); i += 2) {
        const auto c = static_cast<char16_t>(data[i] | data[i + 1] << 8);
        if (c == 0) break;
        text.push_back(c);
    }
    return text;
}

void IERationalFromDouble(double value, int32_t& numerator, int32_t& denominator) {
    int64_t d = 1000000;
    while (d > 1 && static_cast<double>(d) * std::fabs(value) > 2147483640.0) d /= 10;
    double n = std::nearbyint(static_cast<double>(d) * value);
    n = std::clamp(n, -2147483647.0, 2147483647.0);
    numerator = static_cast<int32_t>(n);
    denominator = static_cast<int32_t>(d);
}

void TIETIFFIFDWriter::Put16(uint8_t* p, uint16_t v) const {
    p[little_ ? 0 : 1] = static_cast<uint8_t>(v);
    p[little_ ? 1 : 0] = static_cast<uint8_t>(v >> 8);
}

void TIETIFFIFDWriter::Put32(uint8_t* p, uint32_t v) const { Set32(p, v, little_); }

uint32_t TIETIFFIFDWriter::WriteOutOfLine(const uint8_t* data, size_t size) {
    stream_.Seek(0, TSeekOrigin::End);
    if (stream_.GetPosition() & 1) {
        const uint8_t zero = 0;
        stream_.WriteBuffer(&zero, 1);
    }
    const auto position = static_cast<uint32_t>(stream_.GetPosition());
    if (size) stream_.WriteBuffer(data, static_cast<int64_t>(size));
    return position;
}

void TIETIFFIFDWriter::AddEntry(const TIETIFFEntry& entry) {
    RemoveTag(entry.Tag);
    entries_.push_back(entry);
}

void TIETIFFIFDWriter::RemoveTag(uint16_t tag) {
    std::erase_if(entries_, [tag](const TIETIFFEntry& e) { return e.Tag == tag; });
}

void TIETIFFIFDWriter::AddData(uint16_t tag, uint16_t type, uint32_t count, const uint8_t* data, size_t size) {
    TIETIFFEntry entry{tag, type, count, 0};
    if (size <= 4) {
        uint8_t raw[4] = {};
        if (size) std::memcpy(raw, data, size);
        entry.Value = Get32(raw, little_);
    } else {
        entry.Value = WriteOutOfLine(data, size);
    }
    AddEntry(entry);
}

void TIETIFFIFDWriter::AddShort(uint16_t tag, uint16_t value) { AddShorts(tag, {value}); }

void TIETIFFIFDWriter::AddShorts(uint16_t tag, const std::vector<uint16_t>& values) {
    std::vector<uint8_t> bytes(values.size() * 2);
    for (size_t i = 0; i < values.size(); ++i) Put16(&bytes[2 * i], values[i]);
    AddData(tag, ietSHORT, static_cast<uint32_t>(values.size()), bytes.data(), bytes.size());
}

void TIETIFFIFDWriter::AddLong(uint16_t tag, uint32_t value) { AddLongs(tag, {value}); }

void TIETIFFIFDWriter::AddLongs(uint16_t tag, const std::vector<uint32_t>& values) {
    std::vector<uint8_t> bytes(values.size() * 4);
    for (size_t i = 0; i < values.size(); ++i) Put32(&bytes[4 * i], values[i]);
    AddData(tag, ietLONG, static_cast<uint32_t>(values.size()), bytes.data(), bytes.size());
}

void TIETIFFIFDWriter::AddByte(uint16_t tag, uint8_t value) { AddData(tag, ietBYTE, 1, &value, 1); }

void TIETIFFIFDWriter::AddASCII(uint16_t tag, const std::string& text) {
    if (text.empty()) return;
    // With its NUL: in the entry up to 3 characters, out of line beyond.
    AddData(tag, ietASCII, static_cast<uint32_t>(text.size() + 1), reinterpret_cast<const uint8_t*>(text.c_str()),
            text.size() + 1);
}

void TIETIFFIFDWriter::AddRationals(uint16_t tag, const std::vector<double>& values, bool isSigned) {
    std::vector<uint8_t> bytes(values.size() * 8);
    for (size_t i = 0; i < values.size(); ++i) {
        int32_t n, d;
        // An unsigned rational cannot hold a negative value: it becomes 0.
        IERationalFromDouble(isSigned ? values[i] : std::max(values[i], 0.0), n, d);
        Put32(&bytes[8 * i], static_cast<uint32_t>(n));
        Put32(&bytes[8 * i + 4], static_cast<uint32_t>(d));
    }
    AddData(tag, isSigned ? ietSRATIONAL : ietRATIONAL, static_cast<uint32_t>(values.size()), bytes.data(),
            bytes.size());
}

void TIETIFFIFDWriter::AddWideText(uint16_t tag, const std::u16string& text) {
    std::vector<uint8_t> bytes;
    for (char16_t c : text) bytes.push_back(static_cast<uint8_t>(c)), bytes.push_back(static_cast<uint8_t>(c >> 8));
    bytes.push_back(0), bytes.push_back(0);
    AddData(tag, ietBYTE, static_cast<uint32_t>(bytes.size()), bytes.data(), bytes.size());
}

uint32_t TIETIFFIFDWriter::Write(uint32_t nextOffset, uint32_t* linkPosition) {
    std::stable_sort(entries_.begin(), entries_.end(),
                     [](const TIETIFFEntry& a, const TIETIFFEntry& b) { return a.Tag < b.Tag; });
    std::vector<uint8_t> table(2 + 12 * entries_.size() + 4);
    Put16(table.data(), static_cast<uint16_t>(entries_.size()));
    for (size_t i = 0; i < entries_.size(); ++i) {
        uint8_t* p = &table[2 + 12 * i];
        Put16(p, entries_[i].Tag);
        Put16(p + 2, entries_[i].Type);
        Put32(p + 4, entries_[i].Count);
        Put32(p + 8, entries_[i].Value);
    }
    Put32(&table[table.size() - 4], nextOffset);
    const uint32_t position = WriteOutOfLine(table.data(), table.size());
    if (linkPosition) *linkPosition = position + static_cast<uint32_t>(table.size()) - 4;
    return position;
}

void IETIFFPatch32(TStream& stream, int64_t position, uint32_t value, bool littleEndian) {
    const int64_t keep = stream.GetPosition();
    uint8_t bytes[4];
    Set32(bytes, value, littleEndian);
    stream.SetPosition(position);
    stream.WriteBuffer(bytes, 4);
    stream.SetPosition(keep);
}
