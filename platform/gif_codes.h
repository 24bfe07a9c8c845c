// What every GIF coder shares: the four-pass interlaced row order, and the
// packing of variable-width codes into bytes least significant bit first.
#pragma once

#include <cstdint>
#include <vector>

// Rows in GIF's interlaced order (0, 8, 16 ...; 4, 12 ...; 2, 6 ...;
// 1, 3 ...), or top to bottom when not interlaced.
inline std::vector<int32_t> GifRowOrder(int32_t height, bool interlaced) {
    std::vector<int32_t> rows;
    if (height <= 0) return rows;
    rows.reserve(static_cast<size_t>(height));
    if (!interlaced) {
        for (int32_t y = 0; y < height; ++y) rows.push_back(y);
        return rows;
    }
    static constexpr int32_t kStart[4] = {0, 4, 2, 1};
    static constexpr int32_t kStep[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
        for (int32_t y = kStart[pass]; y < height; y += kStep[pass]) rows.push_back(y);
    return rows;
}

// Codes go above the bits already waiting; whole bytes leave through the
// sink (a callable taking a uint8_t).
class TGifCodePacker {
public:
    template <class Sink>
    void Put(int code, int size, Sink&& sink) {
        bucket_ = bits_ > 0 ? (bucket_ & ((uint32_t{1} << bits_) - 1)) | (static_cast<uint32_t>(code) << bits_)
                            : static_cast<uint32_t>(code);
        bits_ += size;
        while (bits_ >= 8) {
            sink(static_cast<uint8_t>(bucket_));
            bucket_ >>= 8;
            bits_ -= 8;
        }
    }
    // The bits left, the last byte padded with zero bits.
    template <class Sink>
    void Flush(Sink&& sink) {
        while (bits_ > 0) {
            sink(static_cast<uint8_t>(bucket_));
            bucket_ >>= 8;
            bits_ = bits_ > 8 ? bits_ - 8 : 0;
        }
    }

private:
    uint32_t bucket_ = 0;
    int bits_ = 0;
};
