#include "imaging/core/ie_meta_tags.h"

#include <cstring>

#include "imaging/core/ie_bitmap.h"

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
