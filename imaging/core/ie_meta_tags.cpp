#include "imaging/core/ie_meta_tags.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_dib_exchange.h"

int32_t IEScreenPixelsPerInch = 96;

namespace {

uint16_t LE16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t LE32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
void PutLE16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v)), out.push_back(static_cast<uint8_t>(v >> 8));
}
void PutLE32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

}  // namespace

void TIETagsHandler::ReadIFD() {
    if (data_.empty()) return;
    entries_.clear();
    if (data_.size() < 2) return;
    const size_t count = static_cast<size_t>(data_[0] | data_[1] << 8);
    for (size_t i = 0; i < count && 2 + 12 * (i + 1) <= data_.size(); ++i) {
        const uint8_t* p = data_.data() + 2 + 12 * i;
        TEntry entry;
        entry.Tag = static_cast<uint16_t>(p[0] | p[1] << 8);
        entry.Type = static_cast<uint16_t>(p[2] | p[3] << 8);
        std::memcpy(&entry.Count, p + 4, 4);  // the directory is little-endian, as this machine
        std::memcpy(&entry.Value, p + 8, 4);
        entries_.push_back(entry);
    }
}

void TIETagsHandler::Clear() {
    data_.clear();
    entries_.clear();
    linkPosition_ = -1;
}

std::vector<TIETagsHandler::TField> TIETagsHandler::Fields() const {
    std::vector<TField> fields;
    for (const TEntry& entry : entries_) {
        const int32_t unit = IETIFFTypeSize(entry.Type);
        const uint64_t size = uint64_t{entry.Count} * static_cast<uint64_t>(unit);
        TField field{entry.Tag, entry.Type, entry.Count, {}};
        if (unit == 0) {
            // A type of unknown size keeps its entry bytes.
            for (int i = 0; i < 4; ++i) field.bytes.push_back(static_cast<uint8_t>(entry.Value >> (8 * i)));
        } else if (size <= 4) {
            for (uint64_t i = 0; i < size; ++i) field.bytes.push_back(static_cast<uint8_t>(entry.Value >> (8 * i)));
        } else if (entry.Value <= data_.size() && size <= data_.size() - entry.Value) {
            field.bytes.assign(data_.begin() + entry.Value, data_.begin() + static_cast<std::ptrdiff_t>(entry.Value + size));
        } else {
            continue;  // a value outside the data is not kept
        }
        fields.push_back(std::move(field));
    }
    return fields;
}

// A directory's bytes for a position of an output: count, entries sorted by
// tag, the link when asked for, then the values at even offsets.
std::vector<uint8_t> TIETagsHandler::Layout(std::vector<TField> fields, uint32_t position, bool littleEndian,
                                            bool withLink, uint32_t nextOffset) {
    std::stable_sort(fields.begin(), fields.end(), [](const TField& a, const TField& b) { return a.tag < b.tag; });
    const size_t tableSize = 2 + 12 * fields.size() + (withLink ? 4 : 0);
    std::vector<uint8_t> out, values;
    auto put16 = [&](uint16_t v) {
        if (littleEndian) PutLE16(out, v);
        else out.push_back(static_cast<uint8_t>(v >> 8)), out.push_back(static_cast<uint8_t>(v));
    };
    auto put32 = [&](uint32_t v) {
        if (littleEndian) PutLE32(out, v);
        else for (int i = 3; i >= 0; --i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    put16(static_cast<uint16_t>(fields.size()));
    for (TField& field : fields) {
        if (!littleEndian) IETIFFSwapValues(field.type, field.bytes.data(), field.bytes.size());
        put16(field.tag);
        put16(field.type);
        put32(field.count);
        if (field.bytes.size() <= 4) {
            uint8_t raw[4] = {};
            std::copy(field.bytes.begin(), field.bytes.end(), raw);
            out.insert(out.end(), raw, raw + 4);
        } else {
            if ((tableSize + values.size()) & 1) values.push_back(0);
            put32(position + static_cast<uint32_t>(tableSize + values.size()));
            values.insert(values.end(), field.bytes.begin(), field.bytes.end());
        }
    }
    if (withLink) put32(nextOffset);
    out.insert(out.end(), values.begin(), values.end());
    return out;
}

std::vector<uint8_t> TIETagsHandler::BuildIFD(uint32_t position, bool littleEndian, uint32_t nextOffset,
                                              uint32_t maxValueSize) const {
    std::vector<TField> fields = Fields();
    std::erase_if(fields, [maxValueSize](const TField& f) { return f.bytes.size() >= maxValueSize; });
    return Layout(std::move(fields), position, littleEndian, true, nextOffset);
}

void TIETagsHandler::SetFields(std::vector<TField> fields) {
    if (fields.empty()) {
        data_.clear();
        entries_.clear();
        return;
    }
    data_ = Layout(std::move(fields), 0, true, false, 0);
    entries_.clear();
    ReadIFD();
}

void TIETagsHandler::ReadMakerNote(const TIETIFFDirectory& exif) {
    Clear();
    const TIETIFFEntry* note = exif.Find(37500);
    if (!note || !exif.Stream || static_cast<int32_t>(note->Value) < 0) return;
    const std::vector<uint8_t> block = exif.GetRawData(*note);
    if (block.size() < 2) return;
    const bool little = exif.LittleEndian;
    const uint16_t count = little ? LE16(block.data()) : static_cast<uint16_t>(block[0] << 8 | block[1]);
    if (count > 256 || block.size() < 2 + 12 * size_t{count}) return;
    const int64_t streamSize = exif.Stream->GetSize();
    std::vector<TField> fields;
    TIETIFFDirectory table = exif;  // the same structure: offsets count from its base
    table.Entries.clear();
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* p = block.data() + 2 + 12 * i;
        auto get16 = [&](const uint8_t* q) { return little ? LE16(q) : static_cast<uint16_t>(q[0] << 8 | q[1]); };
        auto get32 = [&](const uint8_t* q) {
            return little ? LE32(q)
                          : uint32_t{q[0]} << 24 | uint32_t{q[1]} << 16 | uint32_t{q[2]} << 8 | uint32_t{q[3]};
        };
        const TIETIFFEntry entry{get16(p), get16(p + 2), get32(p + 4), get32(p + 8)};
        if (entry.Type > 12 || entry.Type == 0) {
            Clear();
            return;
        }
        if (int64_t{entry.Count} >= streamSize) continue;
        const uint64_t size = uint64_t{entry.Count} * static_cast<uint64_t>(IETIFFTypeSize(entry.Type));
        if (size > 4 && (entry.Value == 0 || exif.Base + entry.Value + int64_t(size) > streamSize)) continue;
        std::vector<uint8_t> bytes = table.GetLittleEndianData(entry);
        if (bytes.size() != size) continue;
        fields.push_back({entry.Tag, entry.Type, entry.Count, std::move(bytes)});
    }
    SetFields(std::move(fields));
}

std::vector<uint8_t> TIETagsHandler::MakerNoteBlock(uint32_t position) const {
    if (data_.size() < 12) return {};
    return BuildIFD(position, true, 0, 1024);
}

bool TIETagsHandler::LoadFromTIFF(TStream& stream, int32_t page) {
    Clear();
    bool little;
    uint32_t first;
    if (!IEReadTIFFHeader(stream, 0, little, first)) return false;
    TIETIFFDirectory directory;
    if (!directory.LoadPage(stream, 0, little, first, page)) return false;
    std::vector<TField> fields;
    for (const TIETIFFEntry& entry : directory.Entries) {
        if (IETIFFTypeSize(entry.Type) == 0) continue;
        std::vector<uint8_t> bytes = directory.GetLittleEndianData(entry);
        if (bytes.size() != uint64_t{entry.Count} * static_cast<uint64_t>(IETIFFTypeSize(entry.Type))) continue;
        fields.push_back({entry.Tag, entry.Type, entry.Count, std::move(bytes)});
    }
    SetFields(std::move(fields));
    tiffLittle_ = little;
    nextOffset_ = directory.NextOffset;
    // The link to this page: the header for the first, else the previous
    // page's next-directory field.
    linkPosition_ = 4;
    if (page > 0) {
        TIETIFFDirectory previous;
        previous.LoadPage(stream, 0, little, first, page - 1);
        linkPosition_ = int64_t{previous.Offset} + 2 + 12 * int64_t(previous.Entries.size());
    }
    return true;
}

const TIETagsHandler::TEntry* TIETagsHandler::FindTag(uint16_t tag) const {
    for (const TEntry& entry : entries_)
        if (entry.Tag == tag) return &entry;
    return nullptr;
}

std::vector<uint8_t> TIETagsHandler::GetTagData(uint16_t tag) const {
    for (TField& field : Fields())
        if (field.tag == tag) return std::move(field.bytes);
    return {};
}

std::string TIETagsHandler::GetASCII(uint16_t tag) const {
    std::vector<uint8_t> bytes = GetTagData(tag);
    std::string text(bytes.begin(), bytes.end());
    while (!text.empty() && text.back() == '\0') text.pop_back();
    return text;
}

uint32_t TIETagsHandler::GetInteger(uint16_t tag, uint32_t missing) const {
    const TEntry* entry = FindTag(tag);
    if (!entry) return missing;
    const std::vector<uint8_t> bytes = GetTagData(tag);
    switch (entry->Type) {
        case ietBYTE: case ietSBYTE: case ietUNDEFINED: return bytes.empty() ? missing : bytes[0];
        case ietSHORT: case ietSSHORT: return bytes.size() < 2 ? missing : LE16(bytes.data());
        default: return bytes.size() < 4 ? missing : LE32(bytes.data());
    }
}

bool TIETagsHandler::SetTag(uint16_t tag, uint16_t type, uint32_t count, const uint8_t* data, size_t size) {
    const int32_t unit = IETIFFTypeSize(type);
    if (unit == 0 || size < uint64_t{count} * static_cast<uint64_t>(unit)) return false;
    std::vector<TField> fields = Fields();
    std::erase_if(fields, [tag](const TField& f) { return f.tag == tag; });
    fields.push_back({tag, type, count, std::vector<uint8_t>(data, data + size_t{count} * static_cast<size_t>(unit))});
    SetFields(std::move(fields));
    return true;
}

void TIETagsHandler::SetASCII(uint16_t tag, const std::string& text) {
    const std::string stored = text + '\0';
    SetTag(tag, ietASCII, static_cast<uint32_t>(stored.size()), reinterpret_cast<const uint8_t*>(stored.data()),
           stored.size());
}

void TIETagsHandler::SetShort(uint16_t tag, uint16_t value) {
    const uint8_t bytes[2] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
    SetTag(tag, ietSHORT, 1, bytes, 2);
}

void TIETagsHandler::SetLong(uint16_t tag, uint32_t value) {
    std::vector<uint8_t> bytes;
    PutLE32(bytes, value);
    SetTag(tag, ietLONG, 1, bytes.data(), bytes.size());
}

bool TIETagsHandler::RemoveTag(uint16_t tag) {
    std::vector<TField> fields = Fields();
    const size_t removed = std::erase_if(fields, [tag](const TField& f) { return f.tag == tag; });
    if (removed) SetFields(std::move(fields));
    return removed > 0;
}

bool TIETagsHandler::SaveToTIFF(TStream& stream) const {
    if (linkPosition_ < 0 || entries_.empty()) return false;
    const int64_t end = stream.GetSize();
    const auto position = static_cast<uint32_t>((end + 1) & ~int64_t{1});
    const std::vector<uint8_t> bytes = BuildIFD(position, tiffLittle_, nextOffset_);
    stream.SetPosition(end);
    if (position != end) {
        const uint8_t zero = 0;
        stream.WriteBuffer(&zero, 1);
    }
    stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    IETIFFPatch32(stream, linkPosition_, position, tiffLittle_);
    return true;
}

int32_t TIEDICOMTags::AddTag(uint16_t group, uint16_t element, const std::string& vr, std::vector<uint8_t> data,
                             int32_t length) {
    TTag tag;
    tag.Group = group;
    tag.Element = element;
    if (vr.size() == 2) tag.VR = {vr[0], vr[1]};
    if (length > 0) {
        tag.Data = std::move(data);
        tag.Data.resize(static_cast<size_t>(length) + 1, 0);
        tag.DataLength = length;
    }
    tags_.push_back(std::move(tag));
    return Count() - 1;
}

int32_t TIEDICOMTags::IndexOf(uint16_t group, uint16_t element) const {
    for (size_t i = 0; i < tags_.size(); ++i)
        if (tags_[i].Group == group && tags_[i].Element == element) return static_cast<int32_t>(i);
    return -1;
}

TIEImagingObject::TIEImagingObject() = default;
TIEImagingObject::~TIEImagingObject() = default;

TIEImagingObject::TIEImagingObject(const TIEImagingObject& source)
    : Attributes(source.Attributes), Points(source.Points), Text(source.Text) {
    if (source.Image) {
        Image = std::make_unique<TIEBitmap>();
        Image->Assign(*source.Image);
    }
}

int32_t TIEImagingObject::MarkType() const {
    int32_t type;
    std::memcpy(&type, Attributes.data(), 4);
    return type;
}

void TIEImagingAnnot::Assign(const TIEImagingAnnot& source) {
    if (&source == this) return;
    Clear();
    for (const auto& object : source.objects_) objects_.push_back(std::make_unique<TIEImagingObject>(*object));
}

namespace {

constexpr size_t kAttributesSize = 164;
constexpr size_t kFontHeightOffset = 48;

struct TNamedBlocks {
    std::vector<std::pair<std::string, std::vector<uint8_t>>> blocks;
    const std::vector<uint8_t>* Find(const std::string& name) const {
        for (const auto& [key, data] : blocks)
            if (key == name) return &data;
        return nullptr;
    }
};

std::string TextBefore0(const uint8_t* p, size_t size) {
    size_t n = 0;
    while (n < size && p[n] != 0) ++n;
    return std::string(reinterpret_cast<const char*>(p), n);
}

void PutNamedBlock(std::vector<uint8_t>& out, uint32_t type, const char* name, const std::vector<uint8_t>& data) {
    PutLE32(out, type);
    PutLE32(out, 12);
    char padded[8] = {};
    std::memcpy(padded, name, std::min(std::strlen(name), sizeof padded));
    out.insert(out.end(), padded, padded + 8);
    PutLE32(out, static_cast<uint32_t>(data.size()));
    out.insert(out.end(), data.begin(), data.end());
}

std::vector<uint8_t> TextData(const std::string& text) {
    std::vector<uint8_t> data(text.begin(), text.end());
    data.push_back(0);
    return data;
}

}  // namespace

void TIEImagingAnnot::LoadFromBuffer(const uint8_t* data, size_t length) {
    if (length == 0) return;
    if (length < 8) {
        UserChanged = false;
        return;
    }
    const bool wideIntegers = LE32(data + 4) != 0;
    std::array<uint8_t, kAttributesSize> attributes{};
    TNamedBlocks defaults, mark;
    auto finishMark = [&]() {
        auto object = std::make_unique<TIEImagingObject>();
        object->Attributes = attributes;
        const int32_t type = object->MarkType();
        if (type < 1) return;
        if (type == 1) {
            if (const auto* dib = mark.Find("OiDIB")) {
                object->Image = std::make_unique<TIEBitmap>();
                if (IEDIBToIEBitmap(dib->data(), dib->size(), *object->Image) == 0) object->Image.reset();
            }
        } else if (type == 3 || type == 4) {
            if (const auto* points = mark.Find("OiAnoDat"); points && points->size() >= 8) {
                const size_t count = std::min<size_t>(LE32(points->data() + 4), (points->size() - 8) / 8);
                for (size_t i = 0; i < count; ++i) {
                    const uint8_t* p = points->data() + 8 + 8 * i;
                    object->Points.emplace_back(static_cast<int32_t>(LE32(p)), static_cast<int32_t>(LE32(p + 4)));
                }
            }
        } else if (type >= 7 && type <= 10) {
            if (const auto* text = mark.Find("OiAnText"); text && text->size() >= 16) {
                object->Text = TextBefore0(text->data() + 16, text->size() - 16);
                const auto scale = static_cast<int32_t>(LE32(text->data() + 8));
                if (scale != 0) {
                    int32_t height;
                    std::memcpy(&height, object->Attributes.data() + kFontHeightOffset, 4);
                    // A damaged scale could ask for a height no font has:
                    // it is held to what the field can store.
                    const double scaled = std::nearbyint(72000.0 / scale * height / IEScreenPixelsPerInch);
                    height = static_cast<int32_t>(std::clamp(scaled, double(INT32_MIN), double(INT32_MAX)));
                    std::memcpy(object->Attributes.data() + kFontHeightOffset, &height, 4);
                }
            }
        }
        objects_.push_back(std::move(object));
    };
    size_t position = 8;
    bool stop = false;
    auto readNamed = [&](TNamedBlocks& into) {
        const size_t head = 8 + 4 + (wideIntegers ? 0 : 4);
        if (length - position < head) return false;
        std::string name = TextBefore0(data + position, 8);
        const size_t size = LE32(data + position + 8);
        position += head;
        if (size > length - position) return false;
        into.blocks.emplace_back(std::move(name), std::vector<uint8_t>(data + position, data + position + size));
        position += size;
        return true;
    };
    while (!stop && length - position >= 8) {
        const uint32_t type = LE32(data + position);
        position += 8;
        switch (type) {
            case 2: stop = !readNamed(defaults); break;
            case 5:
                finishMark();
                mark.blocks.clear();
                if (length - position < kAttributesSize) {
                    attributes.fill(0);
                    stop = true;
                    break;
                }
                std::copy_n(data + position, kAttributesSize, attributes.begin());
                position += kAttributesSize;
                break;
            case 6: stop = !readNamed(mark); break;
            default: break;
        }
    }
    finishMark();
    UserChanged = false;
}

std::vector<uint8_t> TIEImagingAnnot::SaveToBuffer() const {
    std::vector<uint8_t> out;
    if (objects_.empty()) return out;
    PutLE32(out, 0);
    PutLE32(out, 1);
    PutNamedBlock(out, 2, "OiGroup", TextData("0"));
    PutNamedBlock(out, 2, "OiIndex", TextData("1"));
    const auto ppi = static_cast<uint32_t>(IEScreenPixelsPerInch);
    for (size_t i = 0; i < objects_.size(); ++i) {
        const TIEImagingObject& object = *objects_[i];
        PutLE32(out, 5);
        PutLE32(out, kAttributesSize);
        out.insert(out.end(), object.Attributes.begin(), object.Attributes.end());
        const int32_t type = object.MarkType();
        if (type == 1) {
            std::vector<uint8_t> placement;
            for (uint32_t v : {1u, 1000u, ppi, ppi, ppi, ppi}) PutLE32(placement, v);
            placement.resize(56, 0);
            PutNamedBlock(out, 6, "OiAnoDat", placement);
            if (object.Image && !object.Image->IsEmpty())
                PutNamedBlock(out, 6, "OiDIB", _CopyBitmaptoDIBEx(*object.Image, 0, 0, 0, 0, 200, 200));
        } else if (type == 3 || type == 4) {
            std::vector<uint8_t> points;
            PutLE32(points, static_cast<uint32_t>(object.Points.size()));
            PutLE32(points, static_cast<uint32_t>(object.Points.size()));
            for (const auto& [x, y] : object.Points) PutLE32(points, static_cast<uint32_t>(x)), PutLE32(points, static_cast<uint32_t>(y));
            PutNamedBlock(out, 6, "OiAnoDat", points);
        } else if (type >= 7 && type <= 10) {
            std::vector<uint8_t> text;
            PutLE32(text, 0);
            PutLE32(text, 1000);
            PutLE32(text, static_cast<uint32_t>(72000 / IEScreenPixelsPerInch));
            PutLE32(text, static_cast<uint32_t>(object.Text.size()));
            const std::vector<uint8_t> body = TextData(object.Text);
            text.insert(text.end(), body.begin(), body.end());
            PutNamedBlock(out, 6, "OiAnText", text);
        }
        PutNamedBlock(out, 6, "OiGroup", TextData("0"));
        PutNamedBlock(out, 6, "OiIndex", TextData(std::to_string(i)));
    }
    return out;
}
