#include "imaging/io/ie_dicom_elements.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct TDictionaryEntry {
    uint16_t group, element;
    char vr[3];
};

// The elements of the registry that images commonly carry, in tag order.
// Implicit data sets need it to know a value's representation; explicit
// ones name their own. Group lengths (gggg,0000) are UL whatever the group.
const TDictionaryEntry kDictionary[] = {
    {0x0002, 0x0001, "OB"}, {0x0002, 0x0002, "UI"}, {0x0002, 0x0003, "UI"}, {0x0002, 0x0010, "UI"},
    {0x0002, 0x0012, "UI"}, {0x0002, 0x0013, "SH"}, {0x0002, 0x0016, "AE"}, {0x0008, 0x0005, "CS"},
    {0x0008, 0x0008, "CS"}, {0x0008, 0x0012, "DA"}, {0x0008, 0x0013, "TM"}, {0x0008, 0x0016, "UI"},
    {0x0008, 0x0018, "UI"}, {0x0008, 0x0020, "DA"}, {0x0008, 0x0021, "DA"}, {0x0008, 0x0022, "DA"},
    {0x0008, 0x0023, "DA"}, {0x0008, 0x0030, "TM"}, {0x0008, 0x0031, "TM"}, {0x0008, 0x0032, "TM"},
    {0x0008, 0x0033, "TM"}, {0x0008, 0x0050, "SH"}, {0x0008, 0x0060, "CS"}, {0x0008, 0x0064, "CS"},
    {0x0008, 0x0070, "LO"}, {0x0008, 0x0080, "LO"}, {0x0008, 0x0090, "PN"}, {0x0008, 0x1010, "SH"},
    {0x0008, 0x1030, "LO"}, {0x0008, 0x103E, "LO"}, {0x0008, 0x1090, "LO"}, {0x0010, 0x0010, "PN"},
    {0x0010, 0x0020, "LO"}, {0x0010, 0x0030, "DA"}, {0x0010, 0x0040, "CS"}, {0x0010, 0x1010, "AS"},
    {0x0018, 0x0015, "CS"}, {0x0018, 0x0050, "DS"}, {0x0018, 0x0060, "DS"}, {0x0018, 0x0088, "DS"},
    {0x0018, 0x1020, "LO"}, {0x0018, 0x5100, "CS"}, {0x0020, 0x000D, "UI"}, {0x0020, 0x000E, "UI"},
    {0x0020, 0x0010, "SH"}, {0x0020, 0x0011, "IS"}, {0x0020, 0x0012, "IS"}, {0x0020, 0x0013, "IS"},
    {0x0020, 0x0020, "CS"}, {0x0020, 0x0032, "DS"}, {0x0020, 0x0037, "DS"}, {0x0020, 0x0052, "UI"},
    {0x0020, 0x1041, "DS"}, {0x0028, 0x0002, "US"}, {0x0028, 0x0004, "CS"}, {0x0028, 0x0006, "US"},
    {0x0028, 0x0008, "IS"}, {0x0028, 0x0010, "US"}, {0x0028, 0x0011, "US"}, {0x0028, 0x0030, "DS"},
    {0x0028, 0x0034, "IS"}, {0x0028, 0x0100, "US"}, {0x0028, 0x0101, "US"}, {0x0028, 0x0102, "US"},
    {0x0028, 0x0103, "US"}, {0x0028, 0x1050, "DS"}, {0x0028, 0x1051, "DS"}, {0x0028, 0x1052, "DS"},
    {0x0028, 0x1053, "DS"}, {0x0028, 0x1054, "LO"}, {0x0028, 0x2110, "CS"}, {0x0028, 0x2112, "DS"},
    {0x0028, 0x2114, "CS"}, {0x7FE0, 0x0010, "OW"},
};

// Explicit representations whose length takes 32 bits after two reserved
// bytes: the standard's list, which reaches beyond OB, OW, SQ and UN.
bool HasLongLength(const char* vr) {
    static const char* const kLong[] = {"OB", "OD", "OF", "OL", "OV", "OW", "SQ", "SV", "UC", "UN", "UR", "UT", "UV"};
    return std::any_of(std::begin(kLong), std::end(kLong), [vr](const char* v) { return std::strncmp(v, vr, 2) == 0; });
}

int32_t UnitSize(const std::string& vr) {
    if (vr == "SS" || vr == "US") return 2;
    if (vr == "UL" || vr == "SL" || vr == "FL") return 4;
    if (vr == "FD") return 8;
    return 1;
}

// The text of a value without its padding (spaces, NULs).
std::string ValueText(const std::vector<uint8_t>& data, uint32_t length) {
    std::string text(data.begin(), data.begin() + length);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.pop_back();
    while (!text.empty() && text.front() == ' ') text.erase(text.begin());
    return text;
}

// A decimal string up to its first backslash; -1 when it is not a number.
double DecimalValue(const std::string& text) {
    const std::string first = text.substr(0, text.find('\\'));
    char* end = nullptr;
    const double v = std::strtod(first.c_str(), &end);
    return end == first.c_str() ? -1 : v;
}

class TReader {
public:
    explicit TReader(TStream& stream) : stream_(stream), size_(stream.GetSize()) {}
    bool Bytes(void* buffer, int64_t count) { return stream_.Read(buffer, count) == count; }
    bool U16(uint16_t& v, bool little) {
        uint8_t b[2];
        if (!Bytes(b, 2)) return false;
        v = little ? static_cast<uint16_t>(b[0] | b[1] << 8) : static_cast<uint16_t>(b[0] << 8 | b[1]);
        return true;
    }
    bool U32(uint32_t& v, bool little) {
        uint8_t b[4];
        if (!Bytes(b, 4)) return false;
        v = little ? uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24
                   : uint32_t{b[0]} << 24 | uint32_t{b[1]} << 16 | uint32_t{b[2]} << 8 | uint32_t{b[3]};
        return true;
    }
    int64_t Position() { return stream_.GetPosition(); }
    void Seek(int64_t position) { stream_.SetPosition(position); }
    int64_t Size() const { return size_; }

private:
    TStream& stream_;
    int64_t size_;
};

}  // namespace

std::string IEDICOMDictionaryVR(uint16_t group, uint16_t element) {
    if (group == 0xFFFE && (element == 0xE000 || element == 0xE00D || element == 0xE0DD)) return "!!";
    if (element == 0x0000) return "UL";
    const auto found = std::lower_bound(std::begin(kDictionary), std::end(kDictionary), std::pair{group, element},
                                        [](const TDictionaryEntry& e, const std::pair<uint16_t, uint16_t>& key) {
                                            return std::pair{e.group, e.element} < key;
                                        });
    if (found != std::end(kDictionary) && found->group == group && found->element == element) return found->vr;
    return "xs";
}

bool IEReadDICOMElements(TStream& stream, TIEDICOMTags& tags, TIEDICOMImageInfo& info) {
    TReader reader(stream);
    const int64_t start = reader.Position();
    char magic[4] = {};
    reader.Seek(start + 128);
    if (!(reader.Bytes(magic, 4) && std::memcmp(magic, "DICM", 4) == 0)) reader.Seek(start);
    bool bitsStoredSet = false, bitsAllocatedSet = false;
    while (reader.Position() < reader.Size()) {
        uint16_t group, element;
        if (!reader.U16(group, true) || !reader.U16(element, true)) break;
        if (group != 0x0002 && !info.LittleEndian) {
            group = static_cast<uint16_t>(group >> 8 | group << 8);
            element = static_cast<uint16_t>(element >> 8 | element << 8);
        }
        const bool little = group == 0x0002 || info.LittleEndian;
        std::string vr = IEDICOMDictionaryVR(group, element);
        char two[2];
        if (!reader.Bytes(two, 2)) break;
        uint32_t length = 0;
        const bool upper = two[0] >= 'A' && two[0] <= 'Z' && two[1] >= 'A' && two[1] <= 'Z';
        if (vr == "!!") {
            reader.Seek(reader.Position() - 2);
            if (!reader.U32(length, little)) break;
        } else if (group == 0x0002 || upper) {
            // The file names its representation, and that decides how the
            // length is stored.
            vr.assign(two, 2);
            uint16_t short16;
            if (HasLongLength(two)) {
                if (!reader.Bytes(two, 2) || !reader.U32(length, little)) break;
            } else {
                if (!reader.U16(short16, little)) break;
                length = short16;
            }
        } else {
            reader.Seek(reader.Position() - 2);
            if (!reader.U32(length, little)) break;
        }
        if (group == 0x7FE0 && element == 0x0010) {
            info.PixelDataPosition = reader.Position();
            info.PixelDataLength = length;
            return true;
        }
        if (length == 0xFFFFFFFF) {
            tags.AddTag(group, element, vr, {}, -1);  // the contents follow as elements
            continue;
        }
        if (int64_t{length} > reader.Size() - reader.Position()) break;
        std::vector<uint8_t> data(size_t{length} + 1, 0);
        if (length > 0 && !reader.Bytes(data.data(), length)) break;
        // A single value of 1, 2 or 4 bytes is also a number.
        uint32_t number = 0;
        const int32_t unit = UnitSize(vr);
        if (length > 0 && static_cast<int32_t>(length) == unit && (unit == 1 || unit == 2 || unit == 4)) {
            for (int32_t i = 0; i < unit; ++i)
                number |= uint32_t{data[static_cast<size_t>(little ? i : unit - 1 - i)]} << (8 * i);
        }
        const std::string text = group == 0x0002 || group == 0x0028 ? ValueText(data, length) : std::string();
        tags.AddTag(group, element, vr, std::move(data), static_cast<int32_t>(length));
        if (group == 0x0002 && element == 0x0010) {
            info.TransferSyntax = text;
            if (text == "1.2.840.10008.1.2.2") info.LittleEndian = false;
        }
        if (group != 0x0028) continue;
        const auto value = static_cast<int32_t>(number);
        switch (element) {
            case 0x0002: info.SamplesPerPixel = value; break;
            case 0x0004: info.PhotometricInterpretation = text; break;
            case 0x0006: info.PlanarConfiguration = value; break;
            case 0x0008: info.NumberOfFrames = std::atoi(text.c_str()); break;
            case 0x0010: info.Rows = value; break;
            case 0x0011: info.Columns = value; break;
            case 0x0100:
                info.BitsAllocated = value, bitsAllocatedSet = true;
                if (!bitsStoredSet) info.BitsStored = value;
                break;
            case 0x0101:
                info.BitsStored = value, bitsStoredSet = true;
                if (!bitsAllocatedSet) info.BitsAllocated = value;
                break;
            case 0x0103: info.PixelRepresentation = value; break;
            case 0x1050:
                info.WindowCenter = DecimalValue(text);
                if (info.WindowCenter == 0) info.WindowCenter = -1;
                break;
            case 0x1051: info.WindowWidth = DecimalValue(text); break;
            case 0x1052: info.RescaleIntercept = DecimalValue(text); break;
            case 0x1053: info.RescaleSlope = DecimalValue(text); break;
            default: break;
        }
    }
    return false;
}
