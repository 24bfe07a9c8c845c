// The image library's zlib streams: a compressing stream chosen by a level
// index, an inflating stream, and one call that inflates a whole buffer. They
// are the platform's zlib streams with the library's messages: zlib's own
// text for an error code ("data error", "buffer error"), and "Invalid ZStream
// operation!" for misuse.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/zstream.h"

// Level index: 0 none, 1 fastest, 2 zlib's default, 3 maximum.
class TZCompressionStream : public TCompressionStream {
public:
    TZCompressionStream(TStream& destination, int32_t levelIndex);
};

class TZDecompressionStream : public TDecompressionStream {
public:
    explicit TZDecompressionStream(TStream& source);
};

// The zlib level of a level index; an index outside 0..3 is the default.
int IEZLevel(int32_t levelIndex);

// Inflates a whole zlib buffer. The output starts at sizeHint bytes (or the
// input size rounded up to 256 when the hint is 0) and grows by that rounded
// input size while inflate wants room; the result has the exact size. Data
// that end before the zlib stream does raise EZDecompressionError "buffer
// error".
std::vector<uint8_t> IEZDecompress(const void* input, int64_t inputSize, int64_t sizeHint = 0);
