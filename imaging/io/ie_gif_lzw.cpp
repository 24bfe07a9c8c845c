#include "imaging/io/ie_gif_lzw.h"

#include <array>
#include <memory>

#include "imaging/io/ie_io_params.h"
#include "platform/gif_codes.h"

namespace {

constexpr int kMaxCodes = 4096;

// Puts decoded bytes into the index buffer in row order; what comes after
// the last row is dropped.
class TRowSink {
public:
    TRowSink(uint8_t* buffer, int32_t width, int32_t height, bool interlaced)
        : buffer_(buffer), width_(width), rows_(GifRowOrder(height, interlaced)) {
        if (!rows_.empty() && width_ > 0) rowStart_ = buffer_ + static_cast<size_t>(rows_[0]) * static_cast<size_t>(width_);
    }
    void Put(uint8_t value) {
        if (!rowStart_) return;
        rowStart_[column_] = value;
        if (++column_ == width_) {
            column_ = 0;
            ++rowIndex_;
            rowStart_ = rowIndex_ < rows_.size()
                            ? buffer_ + static_cast<size_t>(rows_[rowIndex_]) * static_cast<size_t>(width_)
                            : nullptr;
        }
    }

private:
    uint8_t* buffer_;
    int32_t width_;
    std::vector<int32_t> rows_;
    size_t rowIndex_ = 0;
    int32_t column_ = 0;
    uint8_t* rowStart_ = nullptr;
};

// Codes least significant bit first out of the gathered bytes; never reads
// past them.
class TCodeReader {
public:
    explicit TCodeReader(const std::vector<uint8_t>& data) : data_(data) {}
    // False when the code's bits run past the data.
    bool Read(int size, int& code) {
        if (bitPosition_ + size > static_cast<int64_t>(data_.size()) * 8) {
            bitPosition_ = static_cast<int64_t>(data_.size()) * 8;
            return false;
        }
        uint32_t value = 0;
        int64_t byte = bitPosition_ >> 3;
        const int shift = static_cast<int>(bitPosition_ & 7);
        for (int i = 0; i < 3 && byte + i < static_cast<int64_t>(data_.size()); ++i)
            value |= static_cast<uint32_t>(data_[static_cast<size_t>(byte + i)]) << (8 * i);
        code = static_cast<int>((value >> shift) & ((1u << size) - 1));
        bitPosition_ += size;
        return true;
    }
    bool Exhausted() const { return bitPosition_ >= static_cast<int64_t>(data_.size()) * 8; }
    // Whole bytes not yet touched by a code.
    bool BytesLeft() const { return (bitPosition_ + 7) / 8 < static_cast<int64_t>(data_.size()); }

private:
    const std::vector<uint8_t>& data_;
    int64_t bitPosition_ = 0;
};

}  // namespace

void IEGIFLZWDecompress(TStream& stream, int32_t height, int32_t width, bool interlaced, uint8_t* buffer) {
    const int64_t start = stream.GetPosition();
    uint8_t minimum = 0;
    if (stream.Read(&minimum, 1) != 1 || minimum < 2 || minimum > 9) {
        stream.SetPosition(start);
        return;
    }
    // Every sub-block first, then decoding from memory.
    std::vector<uint8_t> data;
    for (;;) {
        uint8_t length = 0;
        if (stream.Read(&length, 1) != 1 || length == 0) break;
        const size_t old = data.size();
        data.resize(old + length);
        const int64_t got = stream.Read(data.data() + old, length);
        data.resize(old + static_cast<size_t>(got > 0 ? got : 0));
        if (got <= 0) break;
    }
    if (data.empty()) return;

    const int clearCode = 1 << minimum;
    const int endCode = clearCode + 1;
    int codeSize = minimum + 1;
    int nextCode = clearCode + 2;
    int growLimit = 1 << codeSize;
    int previous = 0;
    bool tableFull = false;

    auto prefix = std::make_unique<std::array<uint16_t, kMaxCodes>>();
    auto suffix = std::make_unique<std::array<uint8_t, kMaxCodes>>();
    auto stack = std::make_unique<std::array<uint8_t, kMaxCodes + 1>>();
    TRowSink sink(buffer, width, height, interlaced);
    TCodeReader reader(data);
    auto fail = [&] { stream.SetPosition(start); };

    // The string of a code pushed in reverse; returns its first byte.
    auto pushString = [&](int code, int& top) -> uint8_t {
        while (code >= clearCode && top < kMaxCodes) {
            (*stack)[static_cast<size_t>(top++)] = (*suffix)[static_cast<size_t>(code)];
            code = (*prefix)[static_cast<size_t>(code)];
        }
        const auto first = static_cast<uint8_t>(code);
        (*stack)[static_cast<size_t>(top++)] = first;
        return first;
    };
    auto popAll = [&](int top) {
        while (top > 0) sink.Put((*stack)[static_cast<size_t>(--top)]);
    };
    auto addEntry = [&](uint8_t first) {
        if (nextCode >= kMaxCodes || nextCode > growLimit) return;
        (*prefix)[static_cast<size_t>(nextCode)] = static_cast<uint16_t>(previous);
        (*suffix)[static_cast<size_t>(nextCode)] = first;
        ++nextCode;
        if (nextCode == growLimit) {
            if (codeSize < 12) {
                growLimit *= 2;
                ++codeSize;
            } else {
                tableFull = true;
            }
        }
    };

    int code = 0;
    if (!reader.Read(codeSize, code)) return;
    while (code != endCode) {
        if (code == clearCode) {
            codeSize = minimum + 1;
            nextCode = clearCode + 2;
            growLimit = 1 << codeSize;
            tableFull = false;
            do {
                if (!reader.Read(codeSize, code)) return;
            } while (code == clearCode);
            if (code == endCode) {
                if (reader.BytesLeft()) fail();
                return;
            }
            if (code >= nextCode) code = 0;
            sink.Put(static_cast<uint8_t>(code));
            previous = code;
        } else if (code < nextCode) {
            int top = 0;
            const uint8_t first = pushString(code, top);
            popAll(top);
            if (!tableFull) addEntry(first);
            previous = code;
        } else if (code == nextCode && !tableFull) {
            int top = 0;
            const uint8_t first = pushString(previous, top);
            addEntry(first);
            top = 0;
            pushString(code, top);
            popAll(top);
            previous = code;
        } else {
            fail();
            return;
        }
        if (reader.Exhausted()) return;
        // A full table is normally followed by a clear code; codes that go
        // on without one are still read, and define nothing until it comes.
        if (!reader.Read(codeSize, code)) return;
    }
}

namespace {

constexpr int kHashSize = 5003;
constexpr int kPacketSize = 254;

class TLZWWriter {
public:
    TLZWWriter(TStream& stream, int minimum) : stream_(stream), minimum_(minimum) {
        clearCode_ = 1 << minimum;
        endCode_ = clearCode_ + 1;
        ResetCodes();
        keys_.fill(-1);
    }

    void Run(const uint8_t* buffer, int32_t width, int32_t height, bool interlaced) {
        Output(clearCode_);
        const std::vector<int32_t> rows = GifRowOrder(width > 0 ? height : 0, interlaced);
        bool first = true;
        int prefix = 0;
        for (int32_t row : rows) {
            const uint8_t* pixels = buffer + static_cast<size_t>(row) * static_cast<size_t>(width);
            for (int32_t x = 0; x < width; ++x) {
                const int c = pixels[x] & ((1 << minimum_) - 1);
                if (first) {
                    prefix = c;
                    first = false;
                    continue;
                }
                prefix = Step(prefix, c);
            }
        }
        if (!first) Output(prefix);
        Output(endCode_);
        FlushPacket();
        const uint8_t terminator = 0;
        stream_.WriteBuffer(&terminator, 1);
    }

private:
    void ResetCodes() {
        codeSize_ = minimum_ + 1;
        maxCode_ = (1 << codeSize_) - 1;
        nextFree_ = clearCode_ + 2;
    }

    int Step(int prefix, int c) {
        const int32_t key = (c << 12) + prefix;
        int slot = (c << 4) ^ prefix;
        if (keys_[static_cast<size_t>(slot)] == key) return codes_[static_cast<size_t>(slot)];
        if (keys_[static_cast<size_t>(slot)] >= 0) {
            const int displacement = slot == 0 ? 1 : kHashSize - slot;
            do {
                slot -= displacement;
                if (slot < 0) slot += kHashSize;
                if (keys_[static_cast<size_t>(slot)] == key) return codes_[static_cast<size_t>(slot)];
            } while (keys_[static_cast<size_t>(slot)] >= 0);
        }
        Output(prefix);
        if (nextFree_ < kMaxCodes) {
            keys_[static_cast<size_t>(slot)] = key;
            codes_[static_cast<size_t>(slot)] = static_cast<uint16_t>(nextFree_++);
        } else {
            keys_.fill(-1);
            nextFree_ = clearCode_ + 2;
            clearPending_ = true;
            Output(clearCode_);
        }
        return c;
    }

    void Output(int code) {
        auto sink = [this](uint8_t byte) { PutByte(byte); };
        packer_.Put(code, codeSize_, sink);
        if (clearPending_) {
            codeSize_ = minimum_ + 1;
            maxCode_ = (1 << codeSize_) - 1;
            clearPending_ = false;
        } else if (nextFree_ > maxCode_) {
            ++codeSize_;
            maxCode_ = codeSize_ >= 12 ? kMaxCodes : (1 << codeSize_) - 1;
            if (codeSize_ > 12) codeSize_ = 12;
        }
        if (code == endCode_) packer_.Flush(sink);
    }

    void PutByte(uint8_t byte) {
        packet_[static_cast<size_t>(++fill_)] = byte;
        if (fill_ == kPacketSize) FlushPacket();
    }
    void FlushPacket() {
        if (fill_ == 0) return;
        packet_[0] = static_cast<uint8_t>(fill_);
        stream_.WriteBuffer(packet_.data(), fill_ + 1);
        fill_ = 0;
    }

    TStream& stream_;
    int minimum_;
    int clearCode_ = 0, endCode_ = 0;
    int codeSize_ = 0, maxCode_ = 0, nextFree_ = 0;
    bool clearPending_ = false;
    TGifCodePacker packer_;
    std::array<int32_t, kHashSize> keys_{};
    std::array<uint16_t, kHashSize> codes_{};
    std::array<uint8_t, kPacketSize + 1> packet_{};
    int fill_ = 0;
};

}  // namespace

void IEGIFLZWCompress(TStream& stream, int32_t height, int32_t width, bool interlaced, const uint8_t* buffer,
                      int32_t bitsPerPixel) {
    int minimum = bitsPerPixel <= 1 ? 2 : bitsPerPixel;
    if (minimum > 8) minimum = 8;
    const auto m = static_cast<uint8_t>(minimum);
    stream.WriteBuffer(&m, 1);
    auto writer = std::make_unique<TLZWWriter>(stream, minimum);
    writer->Run(buffer, width, height, interlaced);
}

void IEInstallGIFLZWHooks() {
    GIFLZWDecompressorHook = IEGIFLZWDecompress;
    GIFLZWCompressorHook = IEGIFLZWCompress;
}
