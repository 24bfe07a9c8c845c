#include "imaging/core/ie_zlib.h"

#include <algorithm>
#include <limits>

int IEZLevel(int32_t levelIndex) {
    switch (levelIndex) {
        case 0: return Z_NO_COMPRESSION;
        case 1: return Z_BEST_SPEED;
        case 3: return Z_BEST_COMPRESSION;
        default: return Z_DEFAULT_COMPRESSION;
    }
}

TZCompressionStream::TZCompressionStream(TStream& destination, int32_t levelIndex)
    : TCompressionStream(destination, IEZLevel(levelIndex)) {
    MessagePrefix.clear();
    DetailedMessages = false;
}

TZDecompressionStream::TZDecompressionStream(TStream& source) : TDecompressionStream(source) {
    MessagePrefix.clear();
    DetailedMessages = false;
}

std::vector<uint8_t> IEZDecompress(const void* input, int64_t inputSize, int64_t sizeHint) {
    if (inputSize < 0 || inputSize > std::numeric_limits<uInt>::max())
        throw EZDecompressionError(zError(Z_STREAM_ERROR));
    const int64_t step = std::max<int64_t>((inputSize + 255) / 256 * 256, 256);
    std::vector<uint8_t> out(static_cast<size_t>(sizeHint > 0 ? sizeHint : step));
    z_stream zs{};
    int code = inflateInit(&zs);
    if (code != Z_OK) throw EZDecompressionError(zError(code));
    zs.next_in = const_cast<Bytef*>(static_cast<const Bytef*>(input));
    zs.avail_in = static_cast<uInt>(inputSize);
    zs.next_out = out.data();
    zs.avail_out = static_cast<uInt>(out.size());
    for (;;) {
        code = inflate(&zs, Z_NO_FLUSH);
        if (code < 0) {
            inflateEnd(&zs);
            throw EZDecompressionError(zError(code));
        }
        if (code == Z_STREAM_END) break;
        if (zs.avail_out == 0) {
            const size_t used = out.size();
            out.resize(used + static_cast<size_t>(step));
            zs.next_out = out.data() + used;
            zs.avail_out = static_cast<uInt>(step);
        }
    }
    out.resize(zs.total_out);
    out.shrink_to_fit();
    inflateEnd(&zs);
    return out;
}
