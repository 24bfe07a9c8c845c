// Colour quantizers: a palette of a requested size for a bitmap, then the
// palette index of any colour. Shortcuts first (exact colours, the source's
// palette, a gray ramp); otherwise a 5-bit histogram box splitter for small
// palettes or a neural-network quantizer for large ones.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/core/ie_bitmap.h"

class TIEHistogramQuantizer;
class TIENeuralQuantizer;

class TIEQuantizer {
public:
    // palette must hold at least colorCount entries; at most colorCount are
    // filled. method: -1 automatic, 0 neural, 1 histogram; quality -1
    // automatic or 0..100. The input/output component passes its
    // DefaultQuantizerMethod and DefaultQuantizerQuality settings.
    TIEQuantizer(TIEBitmap& bitmap, TRGB* palette, int32_t colorCount, int32_t method = -1, int32_t quality = -1);
    ~TIEQuantizer();
    TIEQuantizer(const TIEQuantizer&) = delete;
    TIEQuantizer& operator=(const TIEQuantizer&) = delete;

    // -1 for a colour missing from an exact palette.
    int32_t ColorIndex(TRGB color);
    // 0 neural, 1 histogram; meaningful only when a builder was made.
    int32_t Method() const { return method_; }
    bool HasExactColors() const { return exact_ != nullptr; }
    // The picture is gray: indexes are gray levels on the ramp.
    bool IsGray() const { return grey_; }

private:
    int32_t method_ = 0;
    std::unique_ptr<TIEHistogramQuantizer> histogram_;
    std::unique_ptr<TIENeuralQuantizer> neural_;
    bool grey_ = false;
    std::unique_ptr<std::vector<TRGB>> exact_;
    int32_t colorCount_ = 0;
    TIEBitmap& bitmap_;
};

// The sample factor of the neural quantizer; 64-bit so huge images do not
// overflow.
int32_t IENeuralSampleFactor(int64_t pixels, int32_t quality);
