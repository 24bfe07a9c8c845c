#include "imaging/io/ie_format_filter.h"

#include <cstring>

void IEStreamWriteChecked(TStream& stream, const void* buffer, int64_t count, TIEProgressRec& progress) {
    if (count > 0 && stream.Write(buffer, count) != count) progress.Abort();
}

int64_t IEBeginStreamHeader(TStream& stream) {
    int64_t position = stream.GetPosition();
    const uint8_t zeros[kIEStreamHeaderSize] = {};
    stream.WriteBuffer(zeros, sizeof zeros);
    return position;
}

void IEEndStreamHeader(TStream& stream, int64_t headerPosition, const char magic[4]) {
    int64_t end = stream.GetPosition();
    auto length = static_cast<uint32_t>(end - headerPosition - kIEStreamHeaderSize);
    uint8_t header[kIEStreamHeaderSize] = {};
    std::memcpy(header, magic, 4);
    for (int i = 0; i < 4; ++i) header[8 + i] = static_cast<uint8_t>(length >> (8 * i));
    stream.SetPosition(headerPosition);
    stream.WriteBuffer(header, sizeof header);
    stream.SetPosition(end);
}

bool IEReadStreamHeader(TStream& stream, TIEStreamHeader& header) {
    uint8_t bytes[kIEStreamHeaderSize];
    int64_t start = stream.GetPosition();
    if (stream.Read(bytes, sizeof bytes) != static_cast<int64_t>(sizeof bytes)) {
        stream.SetPosition(start);
        return false;
    }
    std::memcpy(header.Magic, bytes, 4);
    header.Length = static_cast<int32_t>(uint32_t{bytes[8]} | uint32_t{bytes[9]} << 8 | uint32_t{bytes[10]} << 16 |
                                         uint32_t{bytes[11]} << 24);
    return true;
}
