// Small streams and containers the codecs, views and input/output share: a
// counting sink, a read-only view of caller memory, a read-ahead buffer over
// another stream, a file stream with a wide name, a growable byte buffer,
// length-prefixed strings, text lines and lists of fixed-size items.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/handle_stream.h"
#include "platform/stream.h"

// Stores nothing; only counts positions. Seeking from the end goes to
// size - offset, as callers that measure with it expect.
class TNulStream : public TStream {
public:
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t GetSize() override { return size_; }

private:
    void Advance(int64_t position);
    int32_t position_ = 0;
    int32_t size_ = 0;
};

// Reads memory the caller owns; never writes, never frees it.
class TIEMemStream : public TStream {
public:
    TIEMemStream(const void* memory, int64_t size) : memory_(static_cast<const uint8_t*>(memory)), size_(size) {}
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void*, int64_t) override { return 0; }
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t GetSize() override { return size_; }
    void SetSize(int64_t) override {}

private:
    const uint8_t* memory_;
    int64_t size_;
    int64_t position_ = 0;
};

// A read-ahead view of a stream it does not own; small reads come from the
// buffer. Relative views count positions from the source's position at
// creation. Seeking from the end goes to source size - offset.
class TIEBufferedReadStream : public TStream {
public:
    TIEBufferedReadStream(TStream& source, bool relative, int32_t bufferSize);
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;  // raises
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t GetSize() override { return sourceSize_ - base_; }

private:
    void Fill();
    TStream& source_;
    std::vector<uint8_t> buffer_;
    int64_t position_ = 0;
    int32_t bufferOffset_ = 0;
    int64_t sourceSize_ = 0;
    int64_t base_ = 0;
};

// A file stream opened by a wide (UTF-16) name. A mode whose low 16 bits are
// 0xFFFF creates the file; any other is the toolkit open mode.
class TIEWideFileStream : public THandleStream {
public:
    static constexpr uint32_t fmCreate = 0xFFFF;
    TIEWideFileStream(const std::u16string& fileName, uint32_t mode);

private:
    static int OpenHandle(const std::u16string& fileName, uint32_t mode);
};

// A growable byte buffer that reallocates in steps of BlockSize bytes.
class TIEByteArray {
public:
    static constexpr int32_t BlockSize = 8192;
    TIEByteArray();
    void AddByte(uint8_t value);
    void SetSize(int32_t length);
    // Appends up to count bytes read from stream; returns the count read.
    int32_t AppendFromStream(TStream& stream, int32_t count);
    int32_t Size() const { return length_; }
    int32_t Capacity() const { return capacity_; }
    uint8_t* Data() { return data_.get(); }

private:
    void Reallocate(int32_t capacity, int32_t keep);
    int32_t length_ = 0;
    int32_t capacity_ = 0;
    std::unique_ptr<uint8_t[]> data_;
};

// Length (32-bit little-endian) then the 8-bit characters.
// Fixed-size values in the machine's byte order, as the view's saved
// settings and the layers stream hold them; a short stream raises.
inline int32_t IEReadI32(TStream& s) { int32_t v; s.ReadBuffer(&v, 4); return v; }
inline uint8_t IEReadU8(TStream& s) { uint8_t v; s.ReadBuffer(&v, 1); return v; }
inline bool IEReadBool(TStream& s) { return IEReadU8(s) != 0; }
inline double IEReadF64(TStream& s) { double v; s.ReadBuffer(&v, 8); return v; }
inline void IEWriteI32(TStream& s, int32_t v) { s.WriteBuffer(&v, 4); }
inline void IEWriteU8(TStream& s, uint8_t v) { s.WriteBuffer(&v, 1); }
inline void IEWriteF64(TStream& s, double v) { s.WriteBuffer(&v, 8); }

void IEWriteStrToStream(TStream& stream, const std::string& text);
// Reads what IEWriteStrToStream wrote; a length beyond the stream's
// remaining bytes raises EReadError rather than allocating it.
void IEReadStrFromStream(TStream& stream, std::string& text);
void IEWriteStr(TStream& stream, const std::string& text);
void IEWriteLineLF(TStream& stream, const std::string& text);
void IEWriteLineCRLF(TStream& stream, const std::string& text);
char16_t* IEWStrCopy(char16_t* destination, const char16_t* source);
// Writes length bytes; failed becomes true (never false again) on a short
// write, so writers test it once at the end.
void IEStreamWriteChecked(TStream& stream, bool& failed, const void* data, int32_t length);

// An array of fixed-size items.
class TIEList {
public:
    TIEList() = default;
    virtual ~TIEList() = default;
    virtual void SetCount(int32_t count);
    virtual void Delete(int32_t index);
    virtual void Clear();
    // nullptr does nothing.
    virtual void Assign(const TIEList* source);
    int32_t AddItem(const void* item);
    uint8_t* GetItemPtr(int32_t index) { return data_.data() + static_cast<size_t>(index) * static_cast<size_t>(itemSize_); }
    int32_t Count() const { return count_; }
    int32_t ItemSize() const { return itemSize_; }
    bool Changed() const { return changed_; }
    void SetChanged(bool value) { changed_ = value; }

protected:
    void ClearItems();
    int32_t itemSize_ = 0;

private:
    int32_t count_ = 0;
    std::vector<uint8_t> data_;
    bool changed_ = false;
};

template <typename T>
class TIERangedList : public TIEList {
public:
    TIERangedList() { TIERangedList::Clear(); }
    void Clear() override {
        ClearItems();
        itemSize_ = sizeof(T);
        RangeMin = RangeMax = RangeStep = CurrentValue = 0;
    }
    void Assign(const TIEList* source) override {
        if (!source) return;
        TIEList::Assign(source);
        if (auto* ranged = dynamic_cast<const TIERangedList*>(source)) {
            RangeMin = ranged->RangeMin;
            RangeMax = ranged->RangeMax;
            RangeStep = ranged->RangeStep;
            CurrentValue = ranged->CurrentValue;
        }
    }
    T& operator[](int32_t index) { return *reinterpret_cast<T*>(GetItemPtr(index)); }
    int32_t Add(T value) { return AddItem(&value); }
    T RangeMin = 0, RangeMax = 0, RangeStep = 0, CurrentValue = 0;
};
using TIEDoubleList = TIERangedList<double>;
using TIEIntegerList = TIERangedList<int32_t>;

class TIERecordList : public TIEList {
public:
    explicit TIERecordList(int32_t recordSize) { itemSize_ = recordSize; }
    uint8_t* GetRecord(int32_t index) { return GetItemPtr(index); }
    int32_t AddRecord(const void* record) { return AddItem(record); }
};

struct TIEScrollBarParams {
    int32_t LineStep = -1;  // one line of the view's own unit
    int32_t PageStep = -1;  // the client width or height
    bool Tracking = true;
};

struct TIEMouseWheelParams {
    bool InverseDirection = false;
    uint8_t Action = 2;     // 0 none, 1 scroll, 2 zoom
    uint8_t Variation = 1;  // 0 absolute, 1 percentage
    int32_t Value = 8;
    uint8_t ZoomPosition = 0;  // 0 about the view, 1 about the mouse
};
