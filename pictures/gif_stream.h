// Byte-level helpers of the GIF reader and writer over the platform's
// streams. Reads never pass the end of the stream: a short read is reported
// (the caller decides between a warning and an error), never run past.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

#include "platform/stream.h"

namespace gifstream {

// Reads one byte; false at the end of the stream.
inline bool ReadByte(TStream& stream, int& value) {
    uint8_t byte = 0;
    if (stream.Remaining() < 1 || stream.Read(&byte, 1) != 1) return false;
    value = byte;
    return true;
}

// Reads up to count bytes (never past the end); returns the number read.
inline int64_t ReadSome(TStream& stream, void* buffer, int64_t count) {
    count = std::min(count, std::max<int64_t>(stream.Remaining(), 0));
    return count > 0 ? stream.Read(buffer, count) : 0;
}

// Skips up to count bytes (never past the end).
inline void Skip(TStream& stream, int64_t count) {
    count = std::min(count, std::max<int64_t>(stream.Remaining(), 0));
    if (count > 0) stream.Seek(count, TSeekOrigin::Current);
}

inline void StepBack(TStream& stream) { stream.Seek(-1, TSeekOrigin::Current); }

inline uint16_t Word(const uint8_t* bytes) { return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8)); }

inline void WriteByte(TStream& stream, int value) {
    auto byte = static_cast<uint8_t>(value);
    stream.WriteBuffer(&byte, 1);
}

inline void WriteWord(TStream& stream, int value) {
    uint8_t bytes[2] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
    stream.WriteBuffer(bytes, 2);
}

}  // namespace gifstream
