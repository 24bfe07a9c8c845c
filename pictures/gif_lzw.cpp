#include "pictures/gif_lzw.h"

#include <algorithm>

#include "pictures/gif_image.h"
#include "pictures/gif_stream.h"

using namespace gifstream;

// ---------------------------------------------------------------- decoder

TLZWDecoder::TLZWDecoder(TStream& stream, int minimumCodeSize, TGIFWarn warn)
    : stream_(stream), warn_(std::move(warn)), minimumCodeSize_(minimumCodeSize) {
    codeSize_ = minimumCodeSize_ + 1;
    clearCode_ = 1 << minimumCodeSize_;
    endCode_ = clearCode_ + 1;
    codeLimit_ = 2 * clearCode_;
    nextFree_ = clearCode_ + 2;
}

int TLZWDecoder::NextCode() {
    if (clearFirst_) {
        clearFirst_ = false;
        return clearCode_;
    }
    // A code that ends exactly at the last valid bit is still taken, so a
    // stream whose data ends there loses nothing.
    while (currentBit_ + codeSize_ > validBits_) {
        if (done_) {
            if (currentBit_ >= validBits_) warn_("Decoder bit buffer under-run");
            return -1;
        }
        buffer_[0] = buffer_[validBytes_ - 2];
        buffer_[1] = buffer_[validBytes_ - 1];
        int length = 0;
        if (!ReadByte(stream_, length)) return -1;
        if (length > 0 && stream_.Remaining() < length) {
            warn_("Premature end of data");
            length = static_cast<int>(stream_.Remaining());
        }
        if (ReadSome(stream_, buffer_.data() + 2, length) != length) throw GIFException("Premature end of data");
        if (length == 0) done_ = zeroBlock_ = true;
        validBytes_ = length + 2;
        currentBit_ = currentBit_ - validBits_ + 16;
        validBits_ = (length + 2) * 8;
    }
    size_t at = static_cast<size_t>(currentBit_ >> 3);
    uint32_t bits = buffer_[at] | (buffer_[at + 1] << 8) | (static_cast<uint32_t>(buffer_[at + 2]) << 16);
    int code = static_cast<int>((bits >> (currentBit_ & 7)) & ((1u << codeSize_) - 1));
    currentBit_ += codeSize_;
    return code;
}

void TLZWDecoder::SkipRest() {
    if (zeroBlock_) return;
    int length = 0;
    while (ReadByte(stream_, length) && length > 0) Skip(stream_, length);
    zeroBlock_ = done_ = true;
}

int TLZWDecoder::NextValue() {
    if (stackTop_ > 0) return stack_[--stackTop_];
    // Nothing is read after the end code: the bytes that follow belong to the
    // next block of the file.
    if (ended_) return -2;
    int code = NextCode();
    if (code < 0) return code;

    if (code == clearCode_) {
        for (int i = 0; i < 4096; ++i) {
            prefix_[i] = 0;
            suffix_[i] = static_cast<uint16_t>(i < clearCode_ ? i : 0);
        }
        codeSize_ = minimumCodeSize_ + 1;
        codeLimit_ = 2 * clearCode_;
        nextFree_ = clearCode_ + 2;
        stackTop_ = 0;
        do code = NextCode();
        while (code == clearCode_);
        firstValue_ = previousCode_ = code;
        return code;
    }
    if (code == endCode_) {
        SkipRest();
        ended_ = true;
        return -2;
    }

    auto push = [this](int value) {
        if (stackTop_ >= static_cast<int>(stack_.size())) throw GIFException("Circular decoder table entry");
        stack_[stackTop_++] = value;
    };
    int current = code;
    if (code >= nextFree_) {
        push(firstValue_);
        code = std::max(previousCode_, 0);
    }
    while (code >= clearCode_) {
        push(suffix_[code]);
        if (prefix_[code] == code) throw GIFException("Circular decoder table entry");
        code = prefix_[code];
    }
    firstValue_ = code;
    push(firstValue_);
    if (nextFree_ <= 4095) {
        prefix_[nextFree_] = static_cast<uint16_t>(std::max(previousCode_, 0));
        suffix_[nextFree_] = static_cast<uint16_t>(firstValue_);
        ++nextFree_;
        // Grown once the next free code reaches (or, for minimum code sizes
        // below 2, has already passed) the limit, as every decoder does.
        if (nextFree_ >= codeLimit_ && codeLimit_ <= 4095) {
            codeLimit_ *= 2;
            ++codeSize_;
        }
    }
    previousCode_ = current;
    return stack_[--stackTop_];
}

// ---------------------------------------------------------------- writer

void TGIFWriter::FlushBlock() {
    if (fill_ <= 1) return;
    buffer_[0] = static_cast<uint8_t>(fill_ - 1);
    stream_.WriteBuffer(buffer_.data(), fill_);
    fill_ = 1;
}

// ---------------------------------------------------------------- encoders

void TGIFEncoder::Compress(TStream& stream, int bitsPerPixel, int colorLimit, const uint8_t* pixels, bool interlaced,
                           int height, int width) {
    bitsPerPixel_ = std::max(bitsPerPixel, 2);
    colorLimit_ = colorLimit;
    WriteByte(stream, bitsPerPixel_);
    initialCodeSize_ = codeSize_ = bitsPerPixel_ + 1;
    maxCode_ = (1 << codeSize_) - 1;
    clearCode_ = 1 << (codeSize_ - 1);
    endCode_ = clearCode_ + 1;
    firstFreeCode_ = clearCode_ + 2;
    packer_ = TGifCodePacker();
    pixels_ = pixels;
    width_ = width;
    rowOrder_ = GifRowOrder(height, interlaced);
    row_ = 0;
    column_ = 0;

    TGIFWriter writer(stream);
    writer_ = &writer;
    if (pixels != nullptr && width > 0 && height > 0) DoCompress();
    Output(endCode_);
    writer.FlushBlock();
    writer_ = nullptr;
    WriteByte(stream, 0);
}

bool TGIFEncoder::NextPixel(int& pixel) {
    if (width_ <= 0 || row_ >= rowOrder_.size()) return false;
    pixel = pixels_[static_cast<size_t>(rowOrder_[row_]) * width_ + column_];
    if (pixel >= colorLimit_) throw GIFException("Color not in color table");
    if (++column_ == width_) {
        column_ = 0;
        ++row_;
    }
    return true;
}

void TGIFEncoder::Output(int code) {
    auto sink = [this](uint8_t byte) { writer_->WriteByte(byte); };
    packer_.Put(code, codeSize_, sink);
    if (code == endCode_) packer_.Flush(sink);
}

// LZW --------------------------------------------------------------

namespace {

constexpr int kHashSize = 8009;
constexpr uint32_t kHashEmpty = 0xFFFFF000;

int HashStart(uint32_t key) { return static_cast<int>(((key >> 4) ^ key) % kHashSize); }

int HashNext(int slot) {
    int step = slot == 0 ? 1 : kHashSize - slot;
    slot -= step;
    return slot < 0 ? slot + kHashSize : slot;
}

}  // namespace

void TLZWEncoder::Output(int code) {
    TGIFEncoder::Output(code);
    if (justCleared_) {
        codeSize_ = initialCodeSize_;
        maxCode_ = (1 << codeSize_) - 1;
        justCleared_ = false;
    } else if (nextFree_ > maxCode_) {
        ++codeSize_;
        maxCode_ = codeSize_ == 12 ? 4096 : (1 << codeSize_) - 1;
    }
}

void TLZWEncoder::Clear() {
    justCleared_ = true;
    Output(clearCode_);
    std::fill(hash_.begin(), hash_.end(), 0xFFFFFFFFu);
    nextFree_ = clearCode_ + 2;
}

void TLZWEncoder::DoCompress() {
    hash_.assign(kHashSize, 0xFFFFFFFFu);
    nextFree_ = clearCode_ + 2;
    Clear();
    int prefix = 0;
    if (!NextPixel(prefix)) return;
    int pixel = 0;
    while (NextPixel(pixel)) {
        uint32_t key = (static_cast<uint32_t>(prefix) << 8) | static_cast<uint32_t>(pixel);
        int slot = HashStart(key);
        bool found = false;
        while (hash_[slot] < kHashEmpty) {
            if ((hash_[slot] >> 12) == key) {
                prefix = static_cast<int>(hash_[slot] & 0xFFF);
                found = true;
                break;
            }
            slot = HashNext(slot);
        }
        if (found) continue;
        Output(prefix);
        prefix = pixel;
        if (nextFree_ < 4095) {
            hash_[slot] = (key << 12) | static_cast<uint32_t>(nextFree_++);
        } else {
            Clear();
        }
    }
    Output(prefix);
}

// Run-length ------------------------------------------------------------
//
// Codes past the end code are never real strings here: after a clear, the
// decoder's entry n stands for a run of n - first run code + 2 pixels of the
// run pixel, as long as the codes since the clear were all that pixel or its
// runs. Runs are coded with those entries, and a clear starts them afresh.

void TRLEEncoder::Clear() {
    bump_ = initialBump_;
    clearLimit_ = initialClearLimit_;
    codesSinceClear_ = 0;
    longestRunCode_ = 0;
    justCleared_ = true;
    Output(clearCode_);
    codeSize_ = initialCodeSize_;
}

void TRLEEncoder::OutputPlain(int code) {
    justCleared_ = false;
    Output(code);
    ++codesSinceClear_;
    if (codesSinceClear_ >= bump_) {
        ++codeSize_;
        bump_ += 1 << (codeSize_ - 1);
    }
    if (codesSinceClear_ >= clearLimit_) Clear();
}

int TRLEEncoder::TriangleCount(int count) const {
    int runs = usableRunCodes_;
    int perRepeat = runs * (runs + 1) / 2;
    int cost = 0;
    while (count >= perRepeat) {
        cost += runs;
        count -= perRepeat;
    }
    if (count > 0) {
        // Integer square root, refined from a power of two above it.
        int root = 1;
        for (int v = count; v != 0; v >>= 2) root <<= 1;
        if (count < 2) {
            root = count;
        } else {
            for (;;) {
                int next = (count / root + root) / 2;
                if (next == root || next == root + 1) break;
                root = next;
            }
        }
        int n = root;
        while (n * (n + 1) >= 2 * count) --n;
        while (n * (n + 1) < 2 * count) ++n;
        cost += n;
    }
    return cost;
}

void TRLEEncoder::ResetClearLimit() {
    clearLimit_ = initialClearLimit_;
    if (codesSinceClear_ >= clearLimit_) Clear();
}

void TRLEEncoder::FlushFromClear(int count) {
    clearLimit_ = usableRunCodes_;
    runCodesPixel_ = runPixel_;
    int n = 1;
    while (count > 0) {
        if (n == 1) {
            longestRunCode_ = 1;
            OutputPlain(runPixel_);
            --count;
        } else if (count >= n) {
            longestRunCode_ = n;
            OutputPlain(firstRunCode_ + n - 2);
            count -= n;
        } else if (count == 1) {
            ++longestRunCode_;
            OutputPlain(runPixel_);
            count = 0;
        } else {
            ++longestRunCode_;
            OutputPlain(firstRunCode_ + count - 2);
            count = 0;
        }
        n = codesSinceClear_ == 0 ? 1 : n + 1;
    }
    ResetClearLimit();
}

void TRLEEncoder::FlushClearOrRepeat(int count) {
    if (1 + TriangleCount(count) < count) {
        Clear();
        FlushFromClear(count);
    } else {
        for (; count > 0; --count) OutputPlain(runPixel_);
    }
}

void TRLEEncoder::FlushWithTable(int count) {
    int repeats = count / longestRunCode_;
    int leftover = count % longestRunCode_;
    int extra = leftover > 0 ? 1 : 0;
    if (codesSinceClear_ + repeats + extra > usableRunCodes_) {
        repeats = usableRunCodes_ - codesSinceClear_;
        leftover = count - repeats * longestRunCode_;
        extra = 1 + TriangleCount(leftover);
    }
    if (1 + TriangleCount(count) < repeats + extra) {
        Clear();
        FlushFromClear(count);
        return;
    }
    clearLimit_ = usableRunCodes_;
    for (; repeats > 0; --repeats) OutputPlain(firstRunCode_ + longestRunCode_ - 2);
    if (leftover > 0) {
        if (justCleared_) {
            FlushFromClear(leftover);
        } else if (leftover == 1) {
            OutputPlain(runPixel_);
        } else {
            OutputPlain(firstRunCode_ + leftover - 2);
        }
    }
    ResetClearLimit();
}

void TRLEEncoder::Flush(int count) {
    if (count == 1) {
        OutputPlain(runPixel_);
    } else if (justCleared_) {
        FlushFromClear(count);
    } else if (longestRunCode_ < 2 || runCodesPixel_ != runPixel_) {
        FlushClearOrRepeat(count);
    } else {
        FlushWithTable(count);
    }
}

void TRLEEncoder::DoCompress() {
    firstRunCode_ = clearCode_ + 2;
    initialBump_ = clearCode_ - 1;
    initialClearLimit_ = bitsPerPixel_ > 3 ? clearCode_ - 2 : 9;
    usableRunCodes_ = 4095 - (clearCode_ + 2);
    Clear();
    int count = 0;
    int pixel = 0;
    while (NextPixel(pixel)) {
        if (count > 0 && pixel != runPixel_) {
            Flush(count);
            count = 0;
        }
        if (count > 0) {
            ++count;
        } else {
            runPixel_ = pixel;
            count = 1;
        }
    }
    if (count > 0) Flush(count);
}

std::unique_ptr<TGIFEncoder> CreateGIFEncoder(int compressionMethod) {
    if (compressionMethod == cmRLE) return std::make_unique<TRLEEncoder>();
    return std::make_unique<TLZWEncoder>();
}
