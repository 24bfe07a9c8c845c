// zlib streams: the stand-in for the runtime's compression and decompression
// stream classes, over zlib.
//
// TCompressionStream deflates what is written to it into a target stream
// (zlib header, deflate data, Adler-32 trailer); its OnProgress fires each
// time a full 64 KiB output buffer has gone to the target. Finish() writes the
// rest; the destructor finishes too but swallows errors, so callers that care
// call Finish(). TDecompressionStream inflates from a source stream as it is
// read; a damaged stream raises EZDecompressionError, a source that ends
// early gives a short read. When the zlib data ends, the source is left right
// after it, so whatever follows can be read next.
//
// Both streams keep the position of the other stream as they left it and go
// back there when somebody else moved it in between. Misuse (reading a
// compressing stream, writing an inflating one, a seek they cannot do)
// raises "Invalid ZStream operation!".
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include <zlib.h>

#include "platform/stream.h"

class TCompressionStream : public TStream {
public:
    static constexpr size_t kBufferSize = 65536;

    explicit TCompressionStream(TStream& target, int level = Z_DEFAULT_COMPRESSION);
    ~TCompressionStream() override;
    TCompressionStream(const TCompressionStream&) = delete;
    TCompressionStream& operator=(const TCompressionStream&) = delete;

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t GetSize() override { return BytesIn(); }
    void Finish();
    // Uncompressed bytes consumed so far.
    int64_t BytesIn() const { return static_cast<int64_t>(zs_->total_in); }

    std::function<void(TCompressionStream&)> OnProgress;
    // Messages of zlib's errors: the prefix, then zlib's own detail, or with
    // DetailedMessages off only its text for the code ("stream error").
    std::string MessagePrefix = "Compression error: ";
    bool DetailedMessages = true;

    // The deflate state, kept for reuse by the next stream of the thread
    // (zlib's set-up allocates and clears some 270 KB, more work than
    // deflating a small movie). It lives at a fixed address: zlib's state
    // points back at it.
    struct TDeflater;

private:
    // Makes room in the output buffer: it grows up to kBufferSize, so a small
    // result never touches 64 KiB, and only a full one goes to the target.
    void MakeRoom();
    void FlushOutput();
    void FollowTarget();
    TStream& target_;
    int64_t targetPosition_;
    std::unique_ptr<TDeflater> deflater_;
    z_stream* zs_;
    std::vector<uint8_t> out_;
    bool finished_ = false;
};

class TDecompressionStream : public TStream {
public:
    explicit TDecompressionStream(TStream& source);
    ~TDecompressionStream() override;
    TDecompressionStream(const TDecompressionStream&) = delete;
    TDecompressionStream& operator=(const TDecompressionStream&) = delete;

    // Returns fewer bytes than asked only at the end of the zlib stream or of
    // the source.
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    // Positions count uncompressed bytes. Offset 0 from the beginning starts
    // again from position 0 of the source; forward seeks (and to the end)
    // inflate and drop the bytes in between; backward ones raise.
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t GetSize() override { return -1; }
    int64_t BytesOut() const { return static_cast<int64_t>(zs_.total_out); }
    // The most bytes the data not yet inflated can still give, or -1 when the
    // source does not know its size.
    int64_t MaxBytesLeft();
    bool Ended() const { return ended_; }

    std::function<void(TDecompressionStream&)> OnProgress;
    // As for TCompressionStream.
    std::string MessagePrefix = "Decompression error: ";
    bool DetailedMessages = true;

private:
    void Skip(int64_t count);
    TStream& source_;
    int64_t sourcePosition_;
    z_stream zs_{};
    std::vector<uint8_t> in_;
    bool ended_ = false;
};

// The message of misuse of either stream.
inline constexpr const char* kZStreamMisuse = "Invalid ZStream operation!";

// Inflates exactly count bytes of a zlib stream from source into target;
// EZDecompressionError when the data ends first or is damaged. The target
// grows only as bytes really arrive.
void InflateExactly(TStream& source, int64_t count, TStream& target);
// Inflates exactly count more bytes from inflater straight into a new
// buffer: no intermediate copies. The buffer is reserved up to what the
// compressed bytes still in the source can give (deflate expands at most
// 1032 times), so a false count costs no memory; EZDecompressionError when the
// data ends first.
std::vector<uint8_t> InflateExactly(TDecompressionStream& inflater, int64_t count);
// One-shot helpers.
std::vector<uint8_t> ZCompress(const void* data, size_t size, int level = Z_DEFAULT_COMPRESSION);
std::vector<uint8_t> ZDecompress(const void* data, size_t size);
