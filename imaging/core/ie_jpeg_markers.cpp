#include "imaging/core/ie_jpeg_markers.h"

#include <cstring>
#include <utility>

#include "imaging/core/ie_helpers.h"

namespace {

constexpr uint8_t kApp1 = 0xE1, kApp2 = 0xE2;

bool IsICCChunk(const std::vector<uint8_t>& data) {
    return data.size() > 13 && std::memcmp(data.data(), "ICC_PROFILE", 12) == 0;
}

}  // namespace

bool IEIsEXIFBlock(const uint8_t* data, int32_t length) {
    return length >= 6 && std::memcmp(data, "Exif\0\0", 6) == 0;
}

int32_t TIEMarkerList::IndexOf(uint8_t marker) const {
    for (int32_t i = 0; i < GetCount(); ++i)
        if (types_[i] == marker) return i;
    return -1;
}

void TIEMarkerList::AddMarker(uint8_t marker, const uint8_t* data, int32_t length) {
    auto size = static_cast<uint16_t>(length);
    data_.emplace_back(data, data + size);
    types_.push_back(marker);
}

void TIEMarkerList::SetMarker(int32_t i, uint8_t marker, int32_t length, const uint8_t* data) {
    auto size = static_cast<uint16_t>(length);
    data_[i].assign(data, data + size);
    types_[i] = marker;
}

void TIEMarkerList::DeleteMarker(int32_t i) {
    data_.erase(data_.begin() + i);
    types_.erase(types_.begin() + i);
}

void TIEMarkerList::Clear() {
    data_.clear();
    types_.clear();
}

void TIEMarkerList::Assign(const TIEMarkerList* source) {
    if (source == this) return;
    Clear();
    if (!source) return;
    for (int32_t i = 0; i < source->GetCount(); ++i)
        AddMarker(source->types_[i], source->data_[i].data(), source->GetMarkerLength(i));
}

int32_t TIEMarkerList::CompareMarkers(int32_t i, int32_t j) const {
    if (types_[i] == kApp2 && types_[j] == kApp2 && IsICCChunk(data_[i]) && IsICCChunk(data_[j]))
        return int32_t{data_[i][12]} - int32_t{data_[j][12]};
    return int32_t{types_[i]} - int32_t{types_[j]};
}

void TIEMarkerList::ExchangeMarkers(int32_t i, int32_t j) {
    std::swap(data_[i], data_[j]);
    std::swap(types_[i], types_[j]);
}

void TIEMarkerList::SortMarkers() {
    IEQuickSort(
        GetCount(), [this](int32_t i, int32_t j) { ExchangeMarkers(i, j); },
        [this](int32_t i, int32_t j) { return CompareMarkers(i, j); });
    int32_t first = IndexOf(kApp1);
    if (first < 0) return;
    for (int32_t i = first + 1; i < GetCount(); ++i)
        if (types_[i] == kApp1 && IEIsEXIFBlock(data_[i].data(), GetMarkerLength(i))) ExchangeMarkers(first, i);
}

int32_t TIEIPTCInfoList::AddBufferItem(int32_t record, int32_t dataset, int32_t length, const uint8_t* data) {
    records_.push_back(Record{record, dataset, std::vector<uint8_t>(data, data + (length > 0 ? length : 0))});
    userChanged_ = true;
    return GetCount() - 1;
}

void TIEIPTCInfoList::Clear() {
    records_.clear();
    userChanged_ = true;
}

void TIEIPTCInfoList::Assign(const TIEIPTCInfoList* source) {
    if (source == this) return;
    Clear();
    if (!source) return;
    for (const Record& r : source->records_)
        AddBufferItem(r.record, r.dataset, static_cast<int32_t>(r.data.size()), r.data.data());
}

std::vector<uint8_t> TIEIPTCInfoList::SaveToBuffer(bool photoshopHeader) const {
    std::vector<uint8_t> out;
    if (records_.empty()) return out;
    if (photoshopHeader) {
        static const char kPrefix[] = "Photoshop 3.0\0008BIM\004\004\0\0\0\0\0\0";
        out.assign(kPrefix, kPrefix + 26);
    } else {
        out = {0x1C, 0x02, 0x00, 0x00, 0x02, 0x00, 0x02};
    }
    uint32_t total = 0;
    for (const Record& r : records_) {
        if ((r.record == 2 && r.dataset == 0) || r.data.empty()) continue;
        auto length = static_cast<uint32_t>(r.data.size());
        out.push_back(0x1C);
        out.push_back(static_cast<uint8_t>(r.record));
        out.push_back(static_cast<uint8_t>(r.dataset));
        if (length < 32768) {
            out.push_back(static_cast<uint8_t>(length >> 8));
            out.push_back(static_cast<uint8_t>(length));
            total += length + 5;
        } else {
            out.insert(out.end(), {0x80, 0x04, static_cast<uint8_t>(length >> 24), static_cast<uint8_t>(length >> 16),
                                   static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)});
            total += length + 9;
        }
        out.insert(out.end(), r.data.begin(), r.data.end());
    }
    if (out.size() % 2 != 0) out.push_back(0);
    if (photoshopHeader) {
        for (int k = 0; k < 4; ++k) out[22 + k] = static_cast<uint8_t>(total >> (24 - 8 * k));
    }
    return out;
}

bool TIEIPTCInfoList::LoadFromBuffer(const uint8_t* buffer, int32_t length) {
    Clear();
    userChanged_ = false;
    if (length <= 0 || !buffer) return false;
    const auto size = static_cast<int64_t>(length);
    int64_t p = 0;
    if (size >= 13 && std::memcmp(buffer, "Photoshop 3.0", 13) == 0) {
        while (p + 6 <= size && std::memcmp(buffer + p, "8BIM\004\004", 6) != 0) ++p;
        if (p + 6 <= size) p += 6;
    }
    while (p < size && buffer[p] != 0x1C) ++p;
    while (p + 1 < size && buffer[p + 1] == 0x1C) ++p;
    bool any = false;
    while (p < size && buffer[p] == 0x1C) {
        ++p;
        if (!(p + 4 < size)) break;
        int32_t record = buffer[p], dataset = buffer[p + 1];
        int64_t dataLength, start;
        if (buffer[p + 2] & 0x80) {
            if (p + 8 > size) break;
            int32_t value = static_cast<int32_t>(uint32_t{buffer[p + 4]} << 24 | uint32_t{buffer[p + 5]} << 16 |
                                                 uint32_t{buffer[p + 6]} << 8 | buffer[p + 7]);
            dataLength = value < 0 ? -static_cast<int64_t>(value) : value;
            start = p + 8;
        } else {
            dataLength = int64_t{buffer[p + 2]} << 8 | buffer[p + 3];
            start = p + 4;
        }
        if (start + dataLength > size) break;
        records_.push_back(Record{record, dataset, std::vector<uint8_t>(buffer + start, buffer + start + dataLength)});
        any = true;
        p = start + dataLength;
    }
    userChanged_ = false;
    return any;
}
