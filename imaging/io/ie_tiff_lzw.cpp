// TIFF LZW: a table of (prefix code, last byte) pairs that the decoder
// unwinds backwards into its output, and the classic hashed compressor.
#include "imaging/io/ie_tiff_lzw.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

struct TIETIFFLZWState {
    virtual ~TIETIFFLZWState() = default;
};

namespace {

constexpr int32_t kClear = 256, kEnd = 257, kFirstFree = 258;
constexpr int32_t kTableSize = 4097;

class TDecoder : public TIETIFFLZWState {
public:
    TDecoder(const uint8_t* input, int64_t size, int32_t rowLength)
        : input_(input), size_(size), rowLength_(rowLength),
          // The longest string is 4,096 bytes; a row ends once it is full.
          out_(static_cast<size_t>(rowLength) + kTableSize + 8) {
        for (int32_t i = 0; i < 256; ++i) {
            suffix_[i] = first_[i] = static_cast<uint8_t>(i);
            length_[i] = 1;
        }
    }

    uint8_t* NextRow() {
        if (error_) return nullptr;
        if (held_ > rowLength_) {
            std::memmove(out_.data(), out_.data() + rowLength_, static_cast<size_t>(held_ - rowLength_));
            held_ -= rowLength_;
        } else {
            held_ = 0;
        }
        while (held_ < rowLength_ && !ended_) {
            int32_t code = ReadCode();
            if (code < 0 || code == kEnd) break;
            if (code == kClear) {
                Clear();
                // (Clear codes may follow one another.)
                do code = ReadCode();
                while (code == kClear);
                if (code < 0 || code == kEnd) break;
                if (code >= nextFree_) return Fail();
                Emit(code);
                previous_ = code;
                continue;
            }
            if (previous_ < 0) previous_ = code;
            if (code < nextFree_) {
                Emit(code);
                if (!Add(previous_, code)) return Fail();
            } else if (code == nextFree_) {
                // The previous string followed by its own first byte.
                if (!Add(previous_, previous_)) return Fail();
                Emit(nextFree_ - 1);
            } else {
                return Fail();
            }
            previous_ = code;
        }
        if (held_ < rowLength_) {
            ended_ = true;
            std::fill(out_.begin() + held_, out_.begin() + rowLength_, uint8_t{0});
        }
        return out_.data();
    }

    bool Ended() const { return ended_; }

private:
    uint8_t* Fail() {
        error_ = true;
        return nullptr;
    }

    void Clear() {
        nextFree_ = kFirstFree;
        width_ = 9;
    }

    int32_t ReadCode() {
        const uint64_t end = static_cast<uint64_t>(size_) * 8;
        if (bitPosition_ + static_cast<uint64_t>(width_) > end) {
            ended_ = true;
            return -1;
        }
        const uint64_t byte = bitPosition_ / 8;
        uint32_t word = 0;
        if (byte + 4 <= static_cast<uint64_t>(size_)) {
            const uint8_t* p = input_ + byte;
            word = static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 | p[3];
        } else {
            for (uint64_t i = 0; i < 4; ++i)
                word = word << 8 | (byte + i < static_cast<uint64_t>(size_) ? input_[byte + i] : 0u);
        }
        word <<= bitPosition_ % 8;
        bitPosition_ += static_cast<uint64_t>(width_);
        return static_cast<int32_t>(word >> (32 - width_));
    }

    bool Add(int32_t prefix, int32_t extension) {
        if (prefix >= nextFree_ || extension >= nextFree_ || nextFree_ >= kTableSize) return false;
        if (length_[prefix] >= kTableSize - 1) return false;
        const int32_t code = nextFree_++;
        prefix_[code] = static_cast<uint16_t>(prefix);
        suffix_[code] = first_[extension];
        first_[code] = first_[prefix];
        length_[code] = static_cast<uint16_t>(length_[prefix] + 1);
        if (nextFree_ == 511) width_ = 10;
        else if (nextFree_ == 1023) width_ = 11;
        else if (nextFree_ == 2047) width_ = 12;
        return true;
    }

    void Emit(int32_t code) {
        const int32_t length = length_[code];
        uint8_t* at = out_.data() + held_ + length;
        while (code >= 256) {
            *--at = suffix_[code];
            code = prefix_[code];
        }
        *--at = static_cast<uint8_t>(code);
        held_ += length;
    }

    const uint8_t* input_;
    int64_t size_;
    int32_t rowLength_;
    std::vector<uint8_t> out_;
    int32_t held_ = 0;
    uint64_t bitPosition_ = 0;
    int32_t width_ = 9;
    int32_t nextFree_ = kFirstFree;
    int32_t previous_ = -1;
    bool error_ = false, ended_ = false;
    uint16_t prefix_[kTableSize] = {};
    uint8_t suffix_[kTableSize] = {};
    uint8_t first_[kTableSize] = {};
    uint16_t length_[kTableSize] = {};
};

class TEncoder : public TIETIFFLZWState {
public:
    explicit TEncoder(TStream& output) : output_(output) {
        std::fill(std::begin(keys_), std::end(keys_), -1);
        Put(kClear);
    }

    void Compress(const uint8_t* data, int32_t length) {
        for (int32_t i = 0; i < length; ++i) {
            const int32_t c = data[i];
            if (prefix_ < 0) {
                prefix_ = c;
                continue;
            }
            const int32_t key = (c << 12) + prefix_;
            int32_t slot = (c << 4) ^ prefix_;
            if (keys_[slot] == key) {
                prefix_ = codes_[slot];
                continue;
            }
            if (keys_[slot] >= 0) {
                const int32_t step = slot == 0 ? 1 : kHashSize - slot;
                bool found = false;
                do {
                    slot -= step;
                    if (slot < 0) slot += kHashSize;
                    if (keys_[slot] == key) {
                        found = true;
                        break;
                    }
                } while (keys_[slot] >= 0);
                if (found) {
                    prefix_ = codes_[slot];
                    continue;
                }
            }
            Put(prefix_);
            prefix_ = c;
            if (nextFree_ > 4093) {
                std::fill(std::begin(keys_), std::end(keys_), -1);
                nextFree_ = kFirstFree;
                clearing_ = true;
                Put(kClear);
            } else {
                keys_[slot] = key;
                codes_[slot] = static_cast<uint16_t>(nextFree_++);
            }
        }
    }

    void Finish() {
        if (prefix_ >= 0) Put(prefix_);
        Put(kEnd);
        if (bits_ > 0) {
            buffer_[filled_++] = static_cast<uint8_t>(accumulator_ >> 24);
            bits_ = 0;
        }
        Flush();
    }

private:
    static constexpr int32_t kHashSize = 5003;

    void Put(int32_t code) {
        accumulator_ |= static_cast<uint32_t>(code) << (32 - width_ - bits_);
        bits_ += width_;
        while (bits_ >= 8) {
            buffer_[filled_++] = static_cast<uint8_t>(accumulator_ >> 24);
            accumulator_ <<= 8;
            bits_ -= 8;
            if (filled_ > 253) Flush();
        }
        if (clearing_) {
            width_ = 9;
            maxCode_ = 511;
            clearing_ = false;
        } else if (nextFree_ >= maxCode_ && width_ < 12) {
            ++width_;
            maxCode_ = width_ == 12 ? 4095 : (1 << width_) - 1;
        }
    }

    void Flush() {
        if (filled_ > 0) output_.WriteBuffer(buffer_, filled_);
        filled_ = 0;
    }

    TStream& output_;
    uint8_t buffer_[256] = {};
    int32_t filled_ = 0;
    uint32_t accumulator_ = 0;
    int32_t bits_ = 0;
    int32_t width_ = 9, maxCode_ = 511, nextFree_ = kFirstFree;
    bool clearing_ = false;
    int32_t prefix_ = -1;
    int32_t keys_[kHashSize];
    uint16_t codes_[kHashSize] = {};
};

}  // namespace

TIETIFFLZWState* IETIFFLZWBeginBlock(const uint8_t* input, int64_t size, int32_t rowLength) {
    return new TDecoder(input, std::max<int64_t>(size, 0), std::max(rowLength, 1));
}

bool IETIFFLZWEnded(const TIETIFFLZWState* state) {
    const auto* decoder = dynamic_cast<const TDecoder*>(state);
    return decoder && decoder->Ended();
}

uint8_t* IETIFFLZWDecompress(const uint8_t* input, int32_t rowLength, TIETIFFLZWState*& state) {
    if (!input) {
        delete state;
        state = nullptr;
        return nullptr;
    }
    // Without a size, the block is taken to end where the decoder meets its
    // end code; the reader always gives one.
    if (!state) state = IETIFFLZWBeginBlock(input, std::numeric_limits<int32_t>::max(), rowLength);
    auto* decoder = dynamic_cast<TDecoder*>(state);
    return decoder ? decoder->NextRow() : nullptr;
}

void IETIFFLZWCompress(const uint8_t* input, int32_t length, TStream& output, TIETIFFLZWState*& state) {
    if (!input) {
        if (auto* encoder = dynamic_cast<TEncoder*>(state)) encoder->Finish();
        delete state;
        state = nullptr;
        return;
    }
    if (!state) state = new TEncoder(output);
    if (auto* encoder = dynamic_cast<TEncoder*>(state)) encoder->Compress(input, length);
}

void IEInstallTIFFLZWHooks() {
    TIFFLZWDecompressorHook = IETIFFLZWDecompress;
    TIFFLZWCompressorHook = IETIFFLZWCompress;
}
