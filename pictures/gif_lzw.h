// LZW coding of GIF pixel data: the decoder of the reader, and the two
// encoders of the writer (LZW proper, and a run-length encoder whose codes
// any GIF decoder reads but that never builds real string entries). Code
// bytes travel in data sub-blocks of at most 255 bytes.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/gif_codes.h"
#include "platform/stream.h"

using TGIFWarn = std::function<void(const std::string& message)>;

// Variable-width LZW codes in data sub-blocks to pixel values. Every table
// and stack access is bounded: a hostile stream gives warnings or a
// GIFException, never a read or write outside the tables.
class TLZWDecoder {
public:
    TLZWDecoder(TStream& stream, int minimumCodeSize, TGIFWarn warn);

    // The next pixel value; -1 when the data ran out, -2 from the end code on.
    int NextValue();
    // Skips the data sub-blocks left, through the terminator.
    void SkipRest();

private:
    int NextCode();

    TStream& stream_;
    TGIFWarn warn_;
    // The last two bytes of the previous sub-block, then the current one,
    // and slack for a code read that starts in the last byte.
    std::array<uint8_t, 2 + 255 + 3> buffer_{};
    int currentBit_ = 0;
    int validBits_ = 0;
    int validBytes_ = 2;
    bool done_ = false;
    bool zeroBlock_ = false;
    bool clearFirst_ = true;
    bool ended_ = false;

    std::array<uint16_t, 4096> prefix_{};
    std::array<uint16_t, 4096> suffix_{};
    std::array<int, 4096> stack_{};
    int stackTop_ = 0;

    int minimumCodeSize_;
    int codeSize_;
    int clearCode_;
    int endCode_;
    int nextFree_;
    int codeLimit_;
    int firstValue_ = 0;
    int previousCode_ = 0;
};

// Collects code bytes into data sub-blocks of at most 255 bytes.
class TGIFWriter {
public:
    explicit TGIFWriter(TStream& stream) : stream_(stream) {}
    TGIFWriter(const TGIFWriter&) = delete;
    TGIFWriter& operator=(const TGIFWriter&) = delete;

    void WriteByte(uint8_t byte) {
        buffer_[fill_++] = byte;
        if (fill_ == 256) FlushBlock();
    }
    // Writes the bytes held as a last, shorter block (never an empty one).
    void FlushBlock();

private:
    TStream& stream_;
    std::array<uint8_t, 256> buffer_{};  // byte 0 is the block length
    int fill_ = 1;
};

// The common part of both encoders: pixel order (plain or interlaced) and
// the bit bucket that packs codes into bytes.
class TGIFEncoder {
public:
    virtual ~TGIFEncoder() = default;
    // Writes the minimum code size, the coded pixels in sub-blocks and the
    // block terminator. A pixel at or above colorLimit raises "Color not in
    // color table".
    void Compress(TStream& stream, int bitsPerPixel, int colorLimit, const uint8_t* pixels, bool interlaced,
                  int height, int width);

protected:
    virtual void Output(int code);
    virtual void Clear() = 0;
    virtual void DoCompress() = 0;
    // The pixels in coding order, each checked against the colour limit.
    bool NextPixel(int& pixel);

    int bitsPerPixel_ = 0;
    int colorLimit_ = 0;
    int initialCodeSize_ = 0;
    int codeSize_ = 0;
    int maxCode_ = 0;
    int clearCode_ = 0;
    int endCode_ = 0;
    int firstFreeCode_ = 0;
    bool justCleared_ = false;

private:
    TGIFWriter* writer_ = nullptr;
    TGifCodePacker packer_;
    const uint8_t* pixels_ = nullptr;
    std::vector<int32_t> rowOrder_;
    int width_ = 0;
    size_t row_ = 0;
    int column_ = 0;
};

class TLZWEncoder : public TGIFEncoder {
protected:
    void Output(int code) override;
    void Clear() override;
    void DoCompress() override;

private:
    // 8009 slots of (key << 12) | code, key = prefix << 8 | pixel; a slot of
    // 0xFFFFF000 or more is empty.
    std::vector<uint32_t> hash_;
    int nextFree_ = 0;
};

class TRLEEncoder : public TGIFEncoder {
protected:
    void Clear() override;
    void DoCompress() override;

private:
    void OutputPlain(int code);
    void Flush(int count);
    void FlushFromClear(int count);
    void FlushWithTable(int count);
    void FlushClearOrRepeat(int count);
    void ResetClearLimit();
    int TriangleCount(int count) const;

    int runPixel_ = 0;
    int codesSinceClear_ = 0;
    int bump_ = 0;
    int clearLimit_ = 0;
    int initialBump_ = 0;
    int initialClearLimit_ = 0;
    int usableRunCodes_ = 0;
    int longestRunCode_ = 0;
    int runCodesPixel_ = 0;
    int firstRunCode_ = 0;
};

// The encoder of a compression method (1 run-length, anything else LZW).
std::unique_ptr<TGIFEncoder> CreateGIFEncoder(int compressionMethod);
