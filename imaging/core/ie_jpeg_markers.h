// The application and comment markers of a JPEG file kept byte for byte
// (TIEMarkerList), and the IPTC records that JPEG files carry in their
// "Photoshop 3.0" APP13 block (TIEIPTCInfoList). Both travel in an image's
// parameters: the JPEG reader fills them and the writer puts them back.
#pragma once

#include <cstdint>
#include <vector>

class TIEMarkerList {
public:
    int32_t GetCount() const { return static_cast<int32_t>(types_.size()); }
    const uint8_t* GetMarkerData(int32_t i) const { return data_[i].data(); }
    uint8_t GetMarkerType(int32_t i) const { return types_[i]; }
    int32_t GetMarkerLength(int32_t i) const { return static_cast<int32_t>(data_[i].size()); }
    const std::vector<uint8_t>& GetMarkerBytes(int32_t i) const { return data_[i]; }
    // The first marker of that byte, -1 when none.
    int32_t IndexOf(uint8_t marker) const;
    // The length is taken as an unsigned 16-bit value, as a marker holds.
    void AddMarker(uint8_t marker, const uint8_t* data, int32_t length);
    void SetMarker(int32_t i, uint8_t marker, int32_t length, const uint8_t* data);
    void DeleteMarker(int32_t i);
    void Clear();
    void Assign(const TIEMarkerList* source);
    int32_t CompareMarkers(int32_t i, int32_t j) const;
    void ExchangeMarkers(int32_t i, int32_t j);
    // Orders the markers for writing: by marker byte, ICC profile chunks
    // by sequence number, and the Exif block first among the APP1 markers.
    void SortMarkers();

private:
    std::vector<std::vector<uint8_t>> data_;  // payloads, after the length field
    std::vector<uint8_t> types_;
};

// True when the payload is an APP1 "Exif" block.
bool IEIsEXIFBlock(const uint8_t* data, int32_t length);

class TIEIPTCInfoList {
public:
    int32_t GetCount() const { return static_cast<int32_t>(records_.size()); }
    int32_t GetRecordNumber(int32_t i) const { return records_[i].record; }
    int32_t GetDataSet(int32_t i) const { return records_[i].dataset; }
    int32_t GetDataLength(int32_t i) const { return static_cast<int32_t>(records_[i].data.size()); }
    const std::vector<uint8_t>& GetData(int32_t i) const { return records_[i].data; }
    int32_t AddBufferItem(int32_t record, int32_t dataset, int32_t length, const uint8_t* data);
    void Clear();
    void Assign(const TIEIPTCInfoList* source);
    // The encoded records with the 26-byte Photoshop resource prefix or the
    // 7-byte record-version prefix; empty when there are no records.
    std::vector<uint8_t> SaveToBuffer(bool photoshopHeader) const;
    // Reads records up to the first inconsistency; true when one was read.
    bool LoadFromBuffer(const uint8_t* buffer, int32_t length);
    bool UserChanged() const { return userChanged_; }

private:
    struct Record {
        int32_t record, dataset;
        std::vector<uint8_t> data;
    };
    std::vector<Record> records_;
    bool userChanged_ = false;
};
