#include "platform/zstream.h"

#include <algorithm>
#include <limits>

namespace {
std::string ZMessage(const z_stream& zs, int code, const std::string& prefix, bool detailed) {
    if (detailed && zs.msg) return prefix + zs.msg;
    return prefix + zError(code);
}
}  // namespace

struct TCompressionStream::TDeflater {
    z_stream zs{};
    int level = 0;
    ~TDeflater() { deflateEnd(&zs); }
};

namespace {
// One idle deflate state per thread, reset and waiting for the next stream.
thread_local std::unique_ptr<TCompressionStream::TDeflater> idleDeflater;
constexpr size_t kFirstOutputSize = 4096;
}  // namespace

TCompressionStream::TCompressionStream(TStream& target, int level)
    : target_(target), targetPosition_(target.GetPosition()) {
    if (idleDeflater && idleDeflater->level == level) {
        deflater_ = std::move(idleDeflater);
    } else {
        deflater_ = std::make_unique<TDeflater>();
        int code = deflateInit(&deflater_->zs, level);
        if (code != Z_OK) throw EZCompressionError(FormatStr("Compression error: %s", zError(code)));
        deflater_->level = level;
    }
    zs_ = &deflater_->zs;
    out_.resize(kFirstOutputSize);
    zs_->next_out = out_.data();
    zs_->avail_out = static_cast<uInt>(out_.size());
}

TCompressionStream::~TCompressionStream() {
    try {
        Finish();
    } catch (...) {
        return;  // the state is dropped, not reused
    }
    if (deflateReset(zs_) == Z_OK) idleDeflater = std::move(deflater_);
}

void TCompressionStream::MakeRoom() {
    if (out_.size() < kBufferSize) {
        size_t used = out_.size() - zs_->avail_out;
        out_.resize(std::min(kBufferSize, out_.size() * 2));
        zs_->next_out = out_.data() + used;
        zs_->avail_out = static_cast<uInt>(out_.size() - used);
        return;
    }
    FlushOutput();
    if (OnProgress) OnProgress(*this);
}

void TCompressionStream::FollowTarget() {
    if (target_.GetPosition() != targetPosition_) target_.SetPosition(targetPosition_);
}

void TCompressionStream::FlushOutput() {
    const int64_t n = static_cast<int64_t>(out_.size() - zs_->avail_out);
    FollowTarget();
    target_.WriteBuffer(out_.data(), n);
    targetPosition_ += n;
    zs_->next_out = out_.data();
    zs_->avail_out = static_cast<uInt>(out_.size());
}

int64_t TCompressionStream::Write(const void* buffer, int64_t count) {
    if (finished_) throw EZCompressionError("Compression error: stream already finished");
    const uint8_t* bytes = static_cast<const uint8_t*>(buffer);
    int64_t left = count;
    while (left > 0) {
        uInt chunk = static_cast<uInt>(std::min<int64_t>(left, std::numeric_limits<uInt>::max()));
        zs_->next_in = const_cast<Bytef*>(bytes);
        zs_->avail_in = chunk;
        while (zs_->avail_in > 0) {
            int code = deflate(zs_, Z_NO_FLUSH);
            if (code != Z_OK && code != Z_BUF_ERROR)
                throw EZCompressionError(ZMessage(*zs_, code, MessagePrefix, DetailedMessages));
            if (zs_->avail_out == 0) MakeRoom();
        }
        bytes += chunk;
        left -= chunk;
    }
    return count;
}

void TCompressionStream::Finish() {
    if (finished_) return;
    finished_ = true;
    zs_->next_in = nullptr;
    zs_->avail_in = 0;
    for (;;) {
        int code = deflate(zs_, Z_FINISH);
        if (code != Z_OK && code != Z_STREAM_END && code != Z_BUF_ERROR)
            throw EZCompressionError(ZMessage(*zs_, code, MessagePrefix, DetailedMessages));
        if (code == Z_STREAM_END) break;
        if (zs_->avail_out == 0) MakeRoom();
    }
    bool full = zs_->avail_out == 0 && out_.size() == kBufferSize;
    FlushOutput();
    if (full && OnProgress) OnProgress(*this);
}

int64_t TCompressionStream::Read(void*, int64_t) { throw EZCompressionError(kZStreamMisuse); }

int64_t TCompressionStream::Seek(int64_t offset, TSeekOrigin origin) {
    if (offset == 0 && origin == TSeekOrigin::Current) return BytesIn();
    throw EZCompressionError(kZStreamMisuse);
}

// ---------------------------------------------------------------- inflate

TDecompressionStream::TDecompressionStream(TStream& source)
    : source_(source), sourcePosition_(source.GetPosition()) {
    int code = inflateInit(&zs_);
    if (code != Z_OK) throw EZDecompressionError(FormatStr("Decompression error: %s", zError(code)));
}

TDecompressionStream::~TDecompressionStream() { inflateEnd(&zs_); }

int64_t TDecompressionStream::Read(void* buffer, int64_t count) {
    if (ended_ || count <= 0) return 0;
    if (source_.GetPosition() != sourcePosition_) source_.SetPosition(sourcePosition_);
    uint8_t* bytes = static_cast<uint8_t*>(buffer);
    int64_t done = 0;
    while (done < count && !ended_) {
        if (zs_.avail_in == 0) {
            // A source in memory is inflated where it lies; others through
            // the input buffer.
            int64_t left = source_.GetSize() - source_.GetPosition();
            int64_t n = std::min<int64_t>(left, 1 << 20);
            if (const uint8_t* at = n > 0 ? source_.ContiguousBytes(n) : nullptr) {
                source_.Seek(n, TSeekOrigin::Current);
                zs_.next_in = const_cast<Bytef*>(at);
            } else {
                if (in_.empty()) in_.resize(65536);
                n = source_.Read(in_.data(), static_cast<int64_t>(in_.size()));
                zs_.next_in = in_.data();
            }
            if (n <= 0) break;
            zs_.avail_in = static_cast<uInt>(n);
            sourcePosition_ += n;
            if (OnProgress) OnProgress(*this);
        }
        uInt want = static_cast<uInt>(std::min<int64_t>(count - done, std::numeric_limits<uInt>::max()));
        zs_.next_out = bytes + done;
        zs_.avail_out = want;
        int code = inflate(&zs_, Z_NO_FLUSH);
        done += want - zs_.avail_out;
        if (code == Z_STREAM_END) {
            ended_ = true;
            // Hand back what was read past the end of the zlib data.
            if (zs_.avail_in > 0) {
                sourcePosition_ -= zs_.avail_in;
                source_.SetPosition(sourcePosition_);
                zs_.avail_in = 0;
            }
        } else if (code != Z_OK && !(code == Z_BUF_ERROR && zs_.avail_in == 0)) {
            throw EZDecompressionError(ZMessage(zs_, code, MessagePrefix, DetailedMessages));
        }
    }
    return done;
}

void TDecompressionStream::Skip(int64_t count) {
    uint8_t scratch[8192];
    while (count > 0) {
        int64_t want = std::min<int64_t>(count, sizeof scratch);
        int64_t got = Read(scratch, want);
        if (got <= 0) return;
        count -= got;
    }
}

int64_t TDecompressionStream::Seek(int64_t offset, TSeekOrigin origin) {
    const int64_t current = BytesOut();
    if (origin == TSeekOrigin::Begin && offset == 0) {
        inflateReset(&zs_);
        zs_.avail_in = 0;
        ended_ = false;
        source_.SetPosition(0);
        sourcePosition_ = 0;
        return 0;
    }
    if (origin == TSeekOrigin::Current && offset >= 0) {
        Skip(offset);
    } else if (origin == TSeekOrigin::Begin && offset > current) {
        Skip(offset - current);
    } else if (origin == TSeekOrigin::End && offset == 0) {
        Skip(std::numeric_limits<int64_t>::max());
    } else {
        throw EZDecompressionError(kZStreamMisuse);
    }
    return BytesOut();
}

int64_t TDecompressionStream::MaxBytesLeft() {
    int64_t size = source_.GetSize();
    if (size < 0) return -1;
    int64_t compressed = size - source_.GetPosition() + zs_.avail_in;
    return compressed * 1032 + 65536;
}

int64_t TDecompressionStream::Write(const void*, int64_t) { throw EZDecompressionError(kZStreamMisuse); }

void InflateExactly(TStream& source, int64_t count, TStream& target) {
    TDecompressionStream inflater(source);
    std::vector<uint8_t> chunk(1 << 16);
    while (count > 0) {
        int64_t want = std::min<int64_t>(count, static_cast<int64_t>(chunk.size()));
        int64_t got = inflater.Read(chunk.data(), want);
        target.WriteBuffer(chunk.data(), got);
        if (got < want)
            throw EZDecompressionError(
                FormatStr("Decompression error: the compressed data ends %lld bytes early",
                          static_cast<long long>(count - got)));
        count -= got;
    }
}

std::vector<uint8_t> InflateExactly(TDecompressionStream& inflater, int64_t count) {
    std::vector<uint8_t> out;
    if (count <= 0) return out;
    int64_t bound = inflater.MaxBytesLeft();
    out.reserve(static_cast<size_t>(bound < 0 ? std::min<int64_t>(count, 1 << 20) : std::min(count, bound)));
    // Grows in steps that stay in the cache while the inflater fills them.
    const int64_t step = 1 << 18;
    int64_t done = 0;
    while (done < count) {
        int64_t want = std::min(count - done, step);
        out.resize(static_cast<size_t>(done + want));
        int64_t got = inflater.Read(out.data() + done, want);
        done += got;
        if (got < want) {
            throw EZDecompressionError(
                FormatStr("Decompression error: the compressed data ends %lld bytes early",
                          static_cast<long long>(count - done)));
        }
    }
    return out;
}

std::vector<uint8_t> ZCompress(const void* data, size_t size, int level) {
    TMemoryStream out;
    {
        TCompressionStream deflater(out, level);
        deflater.WriteBuffer(data, static_cast<int64_t>(size));
        deflater.Finish();
    }
    return out.TakeBytes();
}

std::vector<uint8_t> ZDecompress(const void* data, size_t size) {
    std::vector<uint8_t> copy(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
    TMemoryStream in(std::move(copy));
    TDecompressionStream inflater(in);
    TMemoryStream out;
    std::vector<uint8_t> chunk(1 << 16);
    for (;;) {
        int64_t got = inflater.Read(chunk.data(), static_cast<int64_t>(chunk.size()));
        out.WriteBuffer(chunk.data(), got);
        if (got < static_cast<int64_t>(chunk.size())) break;
    }
    if (!inflater.Ended()) throw EZDecompressionError("Decompression error: the compressed data ends early");
    return out.TakeBytes();
}
