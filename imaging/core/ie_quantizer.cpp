#include "imaging/core/ie_quantizer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "imaging/core/ie_helpers.h"
#include "platform/mathutil.h"

namespace {

// Nearest integer, halves to even.
int32_t Nearest(double v) { return static_cast<int32_t>(std::nearbyint(v)); }

bool IsGrey(TIEBitmap& bitmap) {
    switch (bitmap.GetPixelFormat()) {
        case ie8p:
            for (int32_t i = 0; i < bitmap.GetPaletteLen(); ++i) {
                TRGB c = bitmap.GetPaletteColor(i);
                if (c.r != c.g || c.g != c.b) return false;
            }
            return true;
        case ie24RGB:
        case ieRGB48: {
            const bool wide = bitmap.GetPixelFormat() == ieRGB48;
            for (int32_t y = 0; y < bitmap.GetHeight(); ++y) {
                const uint8_t* row = bitmap.GetScanline(y);
                for (int32_t x = 0; x < bitmap.GetWidth(); ++x) {
                    bool equal = wide ? std::memcmp(row + 6 * x, row + 6 * x + 2, 2) == 0 &&
                                            std::memcmp(row + 6 * x + 2, row + 6 * x + 4, 2) == 0
                                      : row[3 * x] == row[3 * x + 1] && row[3 * x + 1] == row[3 * x + 2];
                    if (!equal) {
                        bitmap.UnmapAllRows();
                        return false;
                    }
                }
            }
            bitmap.UnmapAllRows();
            return true;
        }
        default: return true;
    }
}

}  // namespace

// ---------------------------------------------------------------- histogram boxes

class TIEHistogramQuantizer {
public:
    TIEHistogramQuantizer(TIEBitmap& bitmap, TRGB* palette, int32_t colors);
    int32_t Index(TRGB c) const { return inverse_[static_cast<size_t>((c.r >> 3) * 1024 + (c.g >> 3) * 32 + (c.b >> 3))]; }

private:
    struct Box {
        double variance = 0;
        double mean[3] = {0, 0, 0};
        int32_t count = 0;
        int32_t marginal[3][32] = {};
        int32_t lo[3] = {0, 0, 0};
        int32_t hi[3] = {32, 32, 32};
    };
    int32_t Cell(int32_t r, int32_t g, int32_t b) const { return histogram_[static_cast<size_t>(r * 1024 + g * 32 + b)]; }
    void Statistics(Box& box) const;
    bool Split(int32_t index, int32_t slot);
    bool Cut(const Box& box, int channel, Box& part1, Box& part2, double& score) const;

    std::vector<int32_t> histogram_ = std::vector<int32_t>(32768);
    std::vector<Box> boxes_;
    std::vector<uint8_t> inverse_ = std::vector<uint8_t>(32768);
    int64_t total_ = 0;
};

TIEHistogramQuantizer::TIEHistogramQuantizer(TIEBitmap& bitmap, TRGB* palette, int32_t colors) {
    colors = std::clamp(colors, 1, 256);
    boxes_.resize(static_cast<size_t>(colors));
    Box& first = boxes_[0];
    for (int32_t y = 0; y < bitmap.GetHeight(); ++y) {
        const uint8_t* row = bitmap.GetScanline(y);
        for (int32_t x = 0; x < bitmap.GetWidth(); ++x) {
            int32_t b = row[3 * x] >> 3, g = row[3 * x + 1] >> 3, r = row[3 * x + 2] >> 3;
            ++histogram_[static_cast<size_t>(r * 1024 + g * 32 + b)];
            ++first.marginal[0][r];
            ++first.marginal[1][g];
            ++first.marginal[2][b];
        }
    }
    bitmap.UnmapAllRows();
    total_ = int64_t{bitmap.GetWidth()} * bitmap.GetHeight();
    first.count = static_cast<int32_t>(total_);
    Statistics(first);
    int32_t made = 1;
    while (made < colors) {
        int32_t pick = -1;
        for (int32_t i = 0; i < made; ++i)
            if (boxes_[static_cast<size_t>(i)].variance > 0 &&
                (pick < 0 || boxes_[static_cast<size_t>(i)].variance > boxes_[static_cast<size_t>(pick)].variance))
                pick = i;
        if (pick < 0) break;
        if (Split(pick, made)) ++made;
    }
    for (int32_t i = 0; i < made; ++i) {
        const Box& box = boxes_[static_cast<size_t>(i)];
        auto channel = [&](int c) { return static_cast<uint8_t>(std::clamp(Nearest(box.mean[c]) * 8, 0, 255)); };
        palette[i] = IECreateRGB(channel(0), channel(1), channel(2));
    }
    for (int32_t i = 0; i < made; ++i) {
        const Box& box = boxes_[static_cast<size_t>(i)];
        for (int32_t r = box.lo[0]; r < box.hi[0]; ++r)
            for (int32_t g = box.lo[1]; g < box.hi[1]; ++g)
                for (int32_t b = box.lo[2]; b < box.hi[2]; ++b)
                    inverse_[static_cast<size_t>(r * 1024 + g * 32 + b)] = static_cast<uint8_t>(i);
    }
}

void TIEHistogramQuantizer::Statistics(Box& box) const {
    box.variance = 0;
    if (box.count == 0) return;
    for (int c = 0; c < 3; ++c) {
        double sum = 0, squares = 0;
        for (int32_t j = box.lo[c]; j < box.hi[c]; ++j) {
            sum += double{1.0} * j * box.marginal[c][j];
            squares += double{1.0} * j * j * box.marginal[c][j];
        }
        box.mean[c] = sum / box.count;
        box.variance += squares - box.mean[c] * box.mean[c] * box.count;
    }
    box.variance /= static_cast<double>(total_);
}

bool TIEHistogramQuantizer::Cut(const Box& box, int channel, Box& part1, Box& part2, double& score) const {
    const int32_t lo = box.lo[channel], hi = box.hi[channel];
    if (hi == lo + 1) return false;
    const double m = box.mean[channel];
    const int32_t n = box.count;
    const int32_t* h = box.marginal[channel];
    const int32_t s = Nearest((lo + m) * 0.5), e = Nearest((hi + m) * 0.5);
    int64_t running = 0;
    for (int32_t j = lo; j < s; ++j) running += h[j];
    double partial = 0, bestScore = -1;
    int32_t best = s;
    int64_t bestCount = n;
    for (int32_t j = s; j <= e && j < 32; ++j) {
        running += h[j];
        if (running == n) break;
        partial += static_cast<double>(h[j]) * j / n;
        double value = static_cast<double>(running) / static_cast<double>(n - running) * (m - partial) * (m - partial);
        if (value > bestScore) {
            bestScore = value;
            best = j;
            bestCount = running;
        }
    }
    if (bestCount == 0 || bestCount == n) return false;
    part1 = box;
    part2 = box;
    part1.hi[channel] = best + 1;
    part2.lo[channel] = best + 1;
    part1.count = static_cast<int32_t>(bestCount);
    part2.count = n - part1.count;
    std::memset(part1.marginal, 0, sizeof part1.marginal);
    for (int32_t r = part1.lo[0]; r < part1.hi[0]; ++r)
        for (int32_t g = part1.lo[1]; g < part1.hi[1]; ++g)
            for (int32_t b = part1.lo[2]; b < part1.hi[2]; ++b) {
                int32_t v = Cell(r, g, b);
                part1.marginal[0][r] += v;
                part1.marginal[1][g] += v;
                part1.marginal[2][b] += v;
            }
    for (int c = 0; c < 3; ++c)
        for (int j = 0; j < 32; ++j) part2.marginal[c][j] = box.marginal[c][j] - part1.marginal[c][j];
    for (Box* part : {&part1, &part2}) {
        for (int c = 0; c < 3; ++c) {
            int32_t first = 32, last = 0;
            for (int32_t j = 0; j < 32; ++j)
                if (part->marginal[c][j] != 0) {
                    first = std::min(first, j);
                    last = j + 1;
                }
            part->lo[c] = first;
            part->hi[c] = first == 32 ? 1 : last;
        }
        Statistics(*part);
    }
    score = part1.variance + part2.variance;
    return true;
}

bool TIEHistogramQuantizer::Split(int32_t index, int32_t slot) {
    Box& box = boxes_[static_cast<size_t>(index)];
    if (box.variance == 0 || box.count == 0) {
        box.variance = 0;
        return false;
    }
    constexpr double kFailed = 17523.6;
    Box parts[3][2];
    double score[3];
    for (int c = 0; c < 3; ++c)
        if (!Cut(box, c, parts[c][0], parts[c][1], score[c])) score[c] = kFailed;
    int chosen = -1;
    if (score[0] < kFailed && score[0] <= score[1] && score[0] <= score[2])
        chosen = 0;
    else if (score[1] < kFailed && score[1] <= score[0] && score[1] <= score[2])
        chosen = 1;
    else if (score[2] < kFailed)
        chosen = 2;
    if (chosen < 0) {
        box.variance = 0;
        return false;
    }
    boxes_[static_cast<size_t>(slot)] = parts[chosen][1];
    boxes_[static_cast<size_t>(index)] = parts[chosen][0];
    return true;
}

// ---------------------------------------------------------------- neural network

int32_t IENeuralSampleFactor(int64_t pixels, int32_t quality) {
    if (quality == -1) {
        if (pixels < 2000) return 1;
        return std::clamp<int64_t>(Nearest(static_cast<double>(pixels - 2000) * 13 / 148000 + 2), 1, 30);
    }
    return static_cast<int32_t>(Trunc((100 - quality) / 100.0 * 29)) + 1;
}

class TIENeuralQuantizer {
public:
    TIENeuralQuantizer(TIEBitmap& bitmap, TRGB* palette, int32_t colors, int32_t quality);
    int32_t Index(TRGB c) const;

private:
    struct Neuron {
        int32_t b, g, r, index;
    };
    int32_t Contest(int32_t b, int32_t g, int32_t r);
    void Move(Neuron& neuron, int32_t b, int32_t g, int32_t r, int32_t alpha, int32_t scale) {
        neuron.b -= (neuron.b - b) * alpha / scale;
        neuron.g -= (neuron.g - g) * alpha / scale;
        neuron.r -= (neuron.r - r) * alpha / scale;
    }
    int32_t n_;
    std::vector<Neuron> network_;
    std::vector<int32_t> bias_, frequency_;
    int32_t greenIndex_[256] = {};
};

TIENeuralQuantizer::TIENeuralQuantizer(TIEBitmap& bitmap, TRGB* palette, int32_t colors, int32_t quality)
    : n_(std::clamp(colors, 1, 256)),
      network_(static_cast<size_t>(n_)),
      bias_(static_cast<size_t>(n_)),
      frequency_(static_cast<size_t>(n_), 65536 / n_) {
    for (int32_t i = 0; i < n_; ++i) {
        int32_t v = i * 4096 / n_;
        network_[static_cast<size_t>(i)] = Neuron{v, v, v, i};
    }
    const int32_t width = bitmap.GetWidth();
    const int64_t pixels = int64_t{width} * bitmap.GetHeight();
    const int64_t lengthCount = pixels * 3;
    const int32_t factor = IENeuralSampleFactor(pixels, quality);
    const int32_t alphaDecrement = 30 + (factor - 1) / 3;
    const int64_t samples = lengthCount / (3 * factor);
    const int64_t delta = std::max<int64_t>(samples / 100, 1);
    int32_t alpha = 1024;
    int32_t radius = (n_ / 8) * 64;
    std::vector<int32_t> powers(static_cast<size_t>(std::max(n_ / 8, 1)) + 1);
    int32_t rad = 0;
    auto refresh = [&] {
        rad = radius >> 6;
        if (rad <= 1) rad = 0;
        for (int32_t i = 0; i < rad; ++i)
            powers[static_cast<size_t>(i)] = alpha * (((rad * rad - i * i) * 256) / (rad * rad));
    };
    refresh();
    int64_t step = 499;
    if (lengthCount % 499 == 0) {
        step = 491;
        if (lengthCount % 491 == 0) {
            step = 487;
            if (lengthCount % 487 == 0) step = 503;
        }
    }
    int64_t position = 0;
    for (int64_t i = 0; i < samples; ++i) {
        const uint8_t* p = bitmap.GetScanline(static_cast<int32_t>(position / width)) + 3 * (position % width);
        const int32_t b = p[0] * 16, g = p[1] * 16, r = p[2] * 16;
        const int32_t j = Contest(b, g, r);
        Move(network_[static_cast<size_t>(j)], b, g, r, alpha, 1024);
        if (rad > 0) {
            const int32_t lo = std::max(j - rad, -1), hi = std::min(j + rad, n_);
            int32_t k = j + 1, m = j - 1, q = 1;
            while (k < hi || m > lo) {
                const int32_t a = powers[static_cast<size_t>(q++)];
                if (k < hi) Move(network_[static_cast<size_t>(k++)], b, g, r, a, 262144);
                if (m > lo) Move(network_[static_cast<size_t>(m--)], b, g, r, a, 262144);
            }
        }
        position += step;
        while (position >= pixels) position -= pixels;
        if ((i + 1) % delta == 0) {
            alpha -= alpha / alphaDecrement;
            radius -= radius / 30;
            refresh();
        }
    }
    bitmap.UnmapAllRows();
    for (int32_t i = 0; i < n_; ++i) {
        Neuron& neuron = network_[static_cast<size_t>(i)];
        neuron.b >>= 4;
        neuron.g >>= 4;
        neuron.r >>= 4;
        neuron.index = i;
        palette[i] = TRGB{static_cast<uint8_t>(std::clamp(neuron.b, 0, 255)),
                          static_cast<uint8_t>(std::clamp(neuron.g, 0, 255)),
                          static_cast<uint8_t>(std::clamp(neuron.r, 0, 255))};
    }
    // Sort by green and index the start of each green value.
    int32_t previous = 0, start = 0;
    for (int32_t i = 0; i < n_; ++i) {
        int32_t smallest = i;
        for (int32_t j = i + 1; j < n_; ++j)
            if (network_[static_cast<size_t>(j)].g < network_[static_cast<size_t>(smallest)].g) smallest = j;
        std::swap(network_[static_cast<size_t>(i)], network_[static_cast<size_t>(smallest)]);
        const int32_t green = std::clamp(network_[static_cast<size_t>(i)].g, 0, 255);
        if (green != previous) {
            greenIndex_[previous] = (start + i) / 2;
            for (int32_t v = previous + 1; v < green; ++v) greenIndex_[v] = i;
            previous = green;
            start = i;
        }
    }
    greenIndex_[previous] = (start + n_ - 1) / 2;
    for (int32_t v = previous + 1; v < 256; ++v) greenIndex_[v] = n_ - 1;
}

int32_t TIENeuralQuantizer::Contest(int32_t b, int32_t g, int32_t r) {
    int32_t bestDistance = INT32_MAX, biasedBest = INT32_MAX, best = 0, winner = 0;
    for (int32_t i = 0; i < n_; ++i) {
        const Neuron& neuron = network_[static_cast<size_t>(i)];
        const int32_t distance = std::abs(neuron.b - b) + std::abs(neuron.g - g) + std::abs(neuron.r - r);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
        const int32_t biased =
            distance - static_cast<int32_t>(static_cast<uint32_t>(bias_[static_cast<size_t>(i)]) >> 12);
        if (biased < biasedBest) {
            biasedBest = biased;
            winner = i;
        }
        const int32_t betaFreq = frequency_[static_cast<size_t>(i)] >> 10;
        frequency_[static_cast<size_t>(i)] -= betaFreq;
        bias_[static_cast<size_t>(i)] += betaFreq * 1024;
    }
    frequency_[static_cast<size_t>(best)] += 64;
    bias_[static_cast<size_t>(best)] -= 65536;
    return winner;
}

int32_t TIENeuralQuantizer::Index(TRGB c) const {
    int32_t bestDistance = 1000, result = -1;
    int32_t up = greenIndex_[c.g], down = up - 1;
    auto consider = [&](const Neuron& neuron, int32_t greenDistance) {
        int32_t distance = greenDistance + std::abs(neuron.b - c.b);
        if (distance >= bestDistance) return;
        distance += std::abs(neuron.r - c.r);
        if (distance < bestDistance) {
            bestDistance = distance;
            result = neuron.index;
        }
    };
    while (up < n_ || down >= 0) {
        if (up < n_) {
            const Neuron& neuron = network_[static_cast<size_t>(up)];
            const int32_t distance = neuron.g - c.g;
            if (distance >= bestDistance) {
                up = n_;
            } else {
                ++up;
                consider(neuron, std::abs(distance));
            }
        }
        if (down >= 0) {
            const Neuron& neuron = network_[static_cast<size_t>(down)];
            const int32_t distance = c.g - neuron.g;
            if (distance >= bestDistance) {
                down = -1;
            } else {
                --down;
                consider(neuron, std::abs(distance));
            }
        }
    }
    return result;
}

// ---------------------------------------------------------------- TIEQuantizer

TIEQuantizer::TIEQuantizer(TIEBitmap& bitmap, TRGB* palette, int32_t colorCount, int32_t method, int32_t quality)
    : colorCount_(colorCount), bitmap_(bitmap) {
    grey_ = IsGrey(bitmap);
    const int32_t count = std::clamp(colorCount, 1, 256);
    if (bitmap.GetPixelFormat() == ie24RGB && !grey_) {
        auto colours = std::make_unique<std::vector<TRGB>>();
        std::vector<int32_t> seen(1 << 24 >> 5);  // one bit per colour
        bool fits = true;
        for (int32_t y = 0; y < bitmap.GetHeight() && fits; ++y) {
            const uint8_t* row = bitmap.GetScanline(y);
            for (int32_t x = 0; x < bitmap.GetWidth(); ++x) {
                TRGB c{row[3 * x], row[3 * x + 1], row[3 * x + 2]};
                uint32_t key = IERGBToDWord(c);
                int32_t& word = seen[key >> 5];
                if (word & (1 << (key & 31))) continue;
                if (static_cast<int32_t>(colours->size()) == count) {
                    fits = false;
                    break;
                }
                word |= 1 << (key & 31);
                colours->push_back(c);
            }
        }
        bitmap.UnmapAllRows();
        if (fits) {
            std::copy(colours->begin(), colours->end(), palette);
            exact_ = std::move(colours);
            return;
        }
        method_ = method == -1 ? (count < 128 ? 1 : 0) : (method == 1 ? 1 : 0);
        if (method_ == 1)
            histogram_ = std::make_unique<TIEHistogramQuantizer>(bitmap, palette, count);
        else
            neural_ = std::make_unique<TIENeuralQuantizer>(bitmap, palette, count, quality);
    } else if (bitmap.GetPixelFormat() == ie8p) {
        for (int32_t i = 0; i < count; ++i) palette[i] = bitmap.GetPaletteColor(i);
    } else if (grey_) {
        for (int32_t i = 0; i < count; ++i) {
            auto v = static_cast<uint8_t>(std::min<int64_t>(Trunc(256.0 / count * i), 255));
            palette[i] = TRGB{v, v, v};
        }
    }
}

TIEQuantizer::~TIEQuantizer() = default;

int32_t TIEQuantizer::ColorIndex(TRGB color) {
    if (exact_) {
        auto found = std::find(exact_->begin(), exact_->end(), color);
        return found == exact_->end() ? -1 : static_cast<int32_t>(found - exact_->begin());
    }
    if (grey_) return color.r * colorCount_ / 256;
    if (histogram_) return histogram_->Index(color);
    if (neural_) return neural_->Index(color);
    if (bitmap_.GetPixelFormat() == ie8p) {
        for (int32_t i = 0; i < bitmap_.GetPaletteLen(); ++i)
            if (bitmap_.GetPaletteColor(i) == color) return i;
        return bitmap_.GetPaletteLen();
    }
    return 0;
}
