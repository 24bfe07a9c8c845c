// Metadata holders of an image's parameters that the library keeps without
// interpreting: one TIFF directory as found (TIETagsHandler, the camera maker
// note of EXIF data, and the directory of a TIFF page to edit its tags), the
// data elements of a DICOM file (TIEDICOMTags) and the imaging annotations
// of a TIFF file (TIEImagingAnnot). All are values: copying one copies what
// it holds. They stand on the TIFF directory layer (ie_tiff_dir.h) and the
// DIB exchange (ie_dib_exchange.h).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/ie_tiff_dir.h"

class TIEBitmap;

// The screen's logical resolution that annotation fonts and placements are
// scaled to (there is no physical screen to ask).
extern int32_t IEScreenPixelsPerInch;

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

    // Fills the data from the maker note (tag 37500) of a loaded EXIF
    // directory: a directory of at most 256 entries in the file's byte order
    // whose values lie in the same TIFF structure. Entries are converted to
    // little-endian, values copied behind the table; an entry of an unknown
    // type empties the handler, entries whose values are not all in the
    // stream are dropped. Anything else leaves the handler empty.
    void ReadMakerNote(const TIETIFFDirectory& exif);
    // The maker-note block to be written at an even position of a TIFF
    // output: the entries whose values are below 1,024 bytes, a zero link,
    // then the values at even offsets, all offsets positions of the output.
    // Empty when the data holds fewer than 12 bytes.
    std::vector<uint8_t> MakerNoteBlock(uint32_t position) const;

    // Editing a TIFF page's directory. Loads page index (0-based) of the TIFF
    // at the stream's start; values stay where the file has them when they
    // point elsewhere (strip offsets), so the edited directory is meant for
    // the same file. False when the header or the page is not there.
    bool LoadFromTIFF(TStream& stream, int32_t page = 0);
    // The value's bytes, little-endian, count x type size of them.
    std::vector<uint8_t> GetTagData(uint16_t tag) const;
    const TEntry* FindTag(uint16_t tag) const;
    std::string GetASCII(uint16_t tag) const;
    // The first value of a BYTE, SHORT or LONG tag.
    uint32_t GetInteger(uint16_t tag, uint32_t missing = 0) const;
    // Replaces or adds a tag; data holds count values of the type,
    // little-endian. False for an unknown type or too few bytes.
    bool SetTag(uint16_t tag, uint16_t type, uint32_t count, const uint8_t* data, size_t size);
    void SetASCII(uint16_t tag, const std::string& text);
    void SetShort(uint16_t tag, uint16_t value);
    void SetLong(uint16_t tag, uint32_t value);
    bool RemoveTag(uint16_t tag);
    // The directory as it would be written at a position of an output, in
    // either byte order: count, entries sorted by tag, the link, then the
    // values that do not fit in an entry at even offsets (values of
    // maxValueSize bytes or more are left out with their entries).
    std::vector<uint8_t> BuildIFD(uint32_t position, bool littleEndian, uint32_t nextOffset,
                                  uint32_t maxValueSize = UINT32_MAX) const;
    // Writes the edited page back into the TIFF it was loaded from (the same
    // bytes in a read-write stream): the directory is appended in the file's
    // byte order and the link that pointed at the old one points at it. The
    // old directory stays behind unused. False when nothing was loaded.
    bool SaveToTIFF(TStream& stream) const;

private:
    struct TField {
        uint16_t tag, type;
        uint32_t count;
        std::vector<uint8_t> bytes;  // little-endian
    };
    std::vector<TField> Fields() const;
    void SetFields(std::vector<TField> fields);
    static std::vector<uint8_t> Layout(std::vector<TField> fields, uint32_t position, bool littleEndian,
                                       bool withLink, uint32_t nextOffset);

    std::vector<uint8_t> data_;
    std::vector<TEntry> entries_;
    // Where LoadFromTIFF found the page.
    bool tiffLittle_ = true;
    int64_t linkPosition_ = -1;
    uint32_t nextOffset_ = 0;
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
    void Assign(const TIEDICOMTags& source) { tags_ = source.tags_; }
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
    // Reads the blocks of a TIFF annotation tag; marks, their points, texts
    // and embedded images. Lengths that run past the data end the reading.
    void LoadFromBuffer(const uint8_t* data, size_t length);
    // The annotation tag's bytes; empty for an empty list.
    std::vector<uint8_t> SaveToBuffer() const;
    std::vector<std::unique_ptr<TIEImagingObject>>& Objects() { return objects_; }
    const std::vector<std::unique_ptr<TIEImagingObject>>& Objects() const { return objects_; }
    bool UserChanged = false;

private:
    void* parent_;
    std::vector<std::unique_ptr<TIEImagingObject>> objects_;
};
