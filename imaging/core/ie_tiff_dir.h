// TIFF image file directories (IFDs), the layer beneath the TIFF codec and
// the EXIF blocks: reading the byte-order header, walking the directory
// chain, the typed value accessors of one directory, and the builder that
// writes a directory with its out-of-line values. All reads of file bytes
// are bounded by the stream's size; a directory that is not all there is
// not loaded, and a value that runs past the end reads as missing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/stream.h"

// TIFF field types.
enum : uint16_t {
    ietBYTE = 1, ietASCII = 2, ietSHORT = 3, ietLONG = 4, ietRATIONAL = 5, ietSBYTE = 6, ietUNDEFINED = 7,
    ietSSHORT = 8, ietSLONG = 9, ietSRATIONAL = 10, ietFLOAT = 11, ietDOUBLE = 12, ietIFD = 13,
};
// Bytes of one value of the type; 0 for types this library does not know.
int32_t IETIFFTypeSize(uint16_t type);

// One 12-byte directory entry in host order. A value of 4 bytes or less sits
// in Value as the file stored it (the raw bytes, read in the file's order as
// one 32-bit unit); longer values are at the offset Value.
struct TIETIFFEntry {
    uint16_t Tag = 0, Type = 0;
    uint32_t Count = 0, Value = 0;
    bool operator==(const TIETIFFEntry&) const = default;
};

// Reads the 8-byte header at base: byte order and first directory offset.
// False for anything but "II" or "MM" (the magic number is not checked).
bool IEReadTIFFHeader(TStream& stream, int64_t base, bool& littleEndian, uint32_t& firstIFD);

// One loaded directory and how to reach its values: the "directory state".
class TIETIFFDirectory {
public:
    TStream* Stream = nullptr;
    int64_t Base = 0;
    bool LittleEndian = true;
    std::vector<TIETIFFEntry> Entries;
    // Where the directory starts (relative to the base) and its link to the
    // next one; 0 when it was not loaded from a stream.
    uint32_t Offset = 0;
    uint32_t NextOffset = 0;

    // Loads the directory at base + offset. False, with no entries, when its
    // count or entries are not all inside the stream.
    bool Load(TStream& stream, int64_t base, bool littleEndian, uint32_t offset);
    // Walks the chain from the first directory, loads directory number
    // index (0-based) and counts them all. The walk stops at an offset of 0,
    // below 8, past the end or already visited. True when the index loaded.
    bool LoadPage(TStream& stream, int64_t base, bool littleEndian, uint32_t firstIFD, int32_t index,
                  int32_t* pageCount = nullptr);

    const TIETIFFEntry* Find(uint16_t tag) const;
    bool Has(uint16_t tag) const { return Find(tag) != nullptr; }
    // The first value of a one-value tag: a SHORT, SSHORT, BYTE or SBYTE
    // kept in the entry gives its own bits, other types the value field.
    uint32_t GetInteger(uint16_t tag, uint32_t missing = 0) const;
    // Value number index of a SHORT or LONG tag (inline or at the offset);
    // 0 for other types, an index past the count or values past the end.
    uint32_t GetValue(uint16_t tag, uint32_t index) const;
    std::vector<uint32_t> GetIntegers(uint16_t tag) const;
    // RATIONAL (unsigned) or SRATIONAL (signed) number index; a denominator
    // of 0 counts as 1. Missing tag, index past the count: the default.
    double GetRational(uint16_t tag, uint32_t index = 0, double missing = 0) const;
    // ASCII: more than 4 characters read at the offset without trailing
    // NULs, 1 to 4 from the entry up to a NUL; a count of 0 or above
    // 1,048,575 is empty.
    std::string GetString(uint16_t tag) const;
    // The value's bytes as stored (count times the type size), whether in
    // the entry or at the offset; empty when they are not all in the stream.
    std::vector<uint8_t> GetRawData(uint16_t tag) const;
    std::vector<uint8_t> GetRawData(const TIETIFFEntry& entry) const;
    // A wide text of BYTE values holding UTF-16LE, up to its NUL.
    std::u16string GetWideString(uint16_t tag) const;
    // The value's bytes in little-endian order, every unit of the type
    // swapped for big-endian files (RATIONALs as two 32-bit halves).
    std::vector<uint8_t> GetLittleEndianData(const TIETIFFEntry& entry) const;

    // The value's bytes lie inside the stream (or in the entry): a count
    // that reaches past the end makes the whole value missing.
    bool Fits(const TIETIFFEntry& entry) const;

private:
    uint16_t Read16(const uint8_t* p) const;
    uint32_t Read32(const uint8_t* p) const;
    // Reads count bytes at base + offset; false when they are not all there.
    bool ReadAt(uint32_t offset, void* buffer, size_t count) const;
};

// Swaps every unit of a value of the given type in place (RATIONALs as two
// 32-bit halves, DOUBLEs as 8 bytes).
void IETIFFSwapValues(uint16_t type, uint8_t* data, size_t size);

// Numerator and denominator for a double: the denominator starts at
// 1,000,000 and is divided by 10 while denominator x |value| exceeds
// 2,147,483,640; the numerator is rounded, halves to even.
void IERationalFromDouble(double value, int32_t& numerator, int32_t& denominator);

// Builds one directory written to a stream: values that do not fit in an
// entry are written at once at the next even position of the stream; the
// directory follows, sorted by tag. Offsets are positions of the stream, so
// a stream that starts with the TIFF header gets TIFF offsets. Always
// little-endian unless asked otherwise.
class TIETIFFIFDWriter {
public:
    explicit TIETIFFIFDWriter(TStream& stream, bool littleEndian = true) : stream_(stream), little_(littleEndian) {}

    void AddShort(uint16_t tag, uint16_t value);
    void AddShorts(uint16_t tag, const std::vector<uint16_t>& values);
    void AddLong(uint16_t tag, uint32_t value);
    void AddLongs(uint16_t tag, const std::vector<uint32_t>& values);
    void AddByte(uint16_t tag, uint8_t value);
    // The text and its NUL (in the entry up to 3 characters); an empty text
    // gives no entry.
    void AddASCII(uint16_t tag, const std::string& text);
    void AddRationals(uint16_t tag, const std::vector<double>& values, bool isSigned = false);
    // UTF-16LE text with its NUL character, as BYTE values.
    void AddWideText(uint16_t tag, const std::u16string& text);
    // Any value given as its bytes in the writer's byte order.
    void AddData(uint16_t tag, uint16_t type, uint32_t count, const uint8_t* data, size_t size);
    // An entry whose value (or offset) the caller has already placed.
    void AddEntry(const TIETIFFEntry& entry);
    void RemoveTag(uint16_t tag);
    bool Empty() const { return entries_.empty(); }

    // Writes the directory at the next even position: the count, the sorted
    // entries and the next-directory offset. Returns the directory's
    // position; linkPosition, when given, receives where the next-directory
    // offset sits.
    uint32_t Write(uint32_t nextOffset, uint32_t* linkPosition = nullptr);

    // Writes bytes at the next even position; returns that position.
    uint32_t WriteOutOfLine(const uint8_t* data, size_t size);
    void Put16(uint8_t* p, uint16_t v) const;
    void Put32(uint8_t* p, uint32_t v) const;

private:
    TStream& stream_;
    bool little_;
    std::vector<TIETIFFEntry> entries_;  // Value holds the raw bytes as Put32 would lay them
};

// Overwrites the 32-bit value at a position of the stream, in the byte
// order given; the position is kept.
void IETIFFPatch32(TStream& stream, int64_t position, uint32_t value, bool littleEndian);
