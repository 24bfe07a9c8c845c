// Metadata holders of an image's parameters that the library keeps without
// interpreting: one TIFF directory as found (TIETagsHandler, the camera maker
// note of EXIF data), the data elements of a DICOM file (TIEDICOMTags) and
// the imaging annotations of a TIFF file (TIEImagingAnnot). All are values:
// copying one copies what it holds.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TIEBitmap;

class TIETagsHandler {
public:
    // One 12-byte directory entry, little-endian as stored.
    struct TEntry {
        uint16_t Tag = 0, Type = 0;
        uint32_t Count = 0, Value = 0;
        bool operator==(const TEntry&) const = default;
    };

    // The directory bytes: the 16-bit tag count, the entries, then the values
    // that do not fit in an entry, offsets relative to the first byte.
    std::vector<uint8_t>& Data() { return data_; }
    const std::vector<uint8_t>& Data() const { return data_; }
    // Parses the entries from the data; an empty data keeps the previous
    // entries. Entries the data does not hold whole are not taken.
    void ReadIFD();
    void Clear();
    const std::vector<TEntry>& Entries() const { return entries_; }
    int32_t TagCount() const { return static_cast<int32_t>(entries_.size()); }

private:
    std::vector<uint8_t> data_;
    std::vector<TEntry> entries_;
};

class TIEDICOMTags {
public:
    struct TTag {
        uint16_t Group = 0, Element = 0;
        std::array<char, 2> VR{};  // 0 0 when not given
        // The value and the one terminating byte the reader appends; empty
        // for a value of length 0.
        std::vector<uint8_t> Data;
        int32_t DataLength = 0;
    };

    // The value representation is kept only when it has exactly two
    // characters; a negative length stores no data.
    int32_t AddTag(uint16_t group, uint16_t element, const std::string& vr, std::vector<uint8_t> data,
                   int32_t length);
    void Clear() { tags_.clear(); }
    int32_t Count() const { return static_cast<int32_t>(tags_.size()); }
    const TTag& GetTag(int32_t i) const { return tags_[static_cast<size_t>(i)]; }
    // The first tag of that group and element, -1 when none.
    int32_t IndexOf(uint16_t group, uint16_t element) const;

private:
    std::vector<TTag> tags_;
};

// One imaging annotation: the 164-byte attribute record kept as found, the
// points of line marks, the text of text marks and the image of image marks.
struct TIEImagingObject {
    std::array<uint8_t, 164> Attributes{};
    std::vector<std::pair<int32_t, int32_t>> Points;
    std::string Text;
    std::unique_ptr<TIEBitmap> Image;

    TIEImagingObject();
    ~TIEImagingObject();
    TIEImagingObject(const TIEImagingObject& source);
    TIEImagingObject& operator=(const TIEImagingObject&) = delete;
    int32_t MarkType() const;
};

class TIEImagingAnnot {
public:
    explicit TIEImagingAnnot(void* parent = nullptr) : parent_(parent) {}
    void* Parent() const { return parent_; }
    void Clear() { objects_.clear(); }
    void Assign(const TIEImagingAnnot& source);
    std::vector<std::unique_ptr<TIEImagingObject>>& Objects() { return objects_; }
    const std::vector<std::unique_ptr<TIEImagingObject>>& Objects() const { return objects_; }
    bool UserChanged = false;

private:
    void* parent_;
    std::vector<std::unique_ptr<TIEImagingObject>> objects_;
};
