#include "imaging/core/ie_color_reduce.h"

#include <cmath>
#include <cstring>
#include <unordered_set>
#include <vector>

#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_quantizer.h"
#include "platform/mathutil.h"

namespace {

constexpr uint8_t kDither[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26}, {12, 44, 4, 36, 14, 46, 6, 38},
    {60, 28, 52, 20, 62, 30, 54, 22}, {3, 35, 11, 43, 1, 33, 9, 41},   {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37},  {63, 31, 55, 23, 61, 29, 53, 21},
};

int32_t Gray(TRGB c) { return (c.r * 21 + c.g * 71 + c.b * 8) / 100; }

void PutBit(uint8_t* row, int32_t x, bool on) {
    auto mask = static_cast<uint8_t>(0x80 >> (x & 7));
    row[x >> 3] = on ? static_cast<uint8_t>(row[x >> 3] | mask) : static_cast<uint8_t>(row[x >> 3] & ~mask);
}

uint16_t Word(const uint8_t* p) {
    uint16_t w;
    std::memcpy(&w, p, 2);
    return w;
}

// The colour of pixel x of a row for the analysis routines; ieRGB48 as
// Trunc(word * 255 / 65535) when exact, else its high bytes.
TRGB PixelColor(TIEBitmap& bitmap, const uint8_t* row, int32_t x, bool exact48) {
    if (bitmap.GetPixelFormat() == ieRGB48 && exact48) {
        const uint8_t* p = row + 6 * x;
        auto scale = [](uint16_t w) { return static_cast<uint8_t>(uint32_t{w} * 255 / 65535); };
        return IECreateRGB(scale(Word(p)), scale(Word(p + 2)), scale(Word(p + 4)));
    }
    return IERowPixelRGB(bitmap, row, x);
}

void ReportRow(TIEProgressRec& progress, int32_t k) {
    if (progress.OnProgress) progress.Report(static_cast<int>(Trunc(k * progress.PercentPerUnit)));
}

}  // namespace

TIEAverageColor IEAverageColor(TIEBitmap& bitmap) {
    TIEAverageColor result;
    const int32_t w = bitmap.GetWidth(), h = bitmap.GetHeight();
    if (w == 0 || h == 0) return result;
    int64_t sums[3] = {0, 0, 0};
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* row = bitmap.GetScanline(y);
        int64_t rowSums[3] = {0, 0, 0};
        for (int32_t x = 0; x < w; ++x) {
            TRGB c = PixelColor(bitmap, row, x, true);
            rowSums[0] += c.r;
            rowSums[1] += c.g;
            rowSums[2] += c.b;
        }
        for (int i = 0; i < 3; ++i) sums[i] += rowSums[i] / w;
    }
    bitmap.UnmapAllRows();
    result.Red = static_cast<int32_t>(sums[0] / h);
    result.Green = static_cast<int32_t>(sums[1] / h);
    result.Blue = static_cast<int32_t>(sums[2] / h);
    return result;
}

void IEGrayHistogram(TIEBitmap& bitmap, int32_t counts[256]) {
    std::fill(counts, counts + 256, 0);
    const int32_t w = bitmap.GetWidth();
    const TIEPixelFormat format = bitmap.GetPixelFormat();
    for (int32_t y = 0; y < bitmap.GetHeight(); ++y) {
        const uint8_t* row = bitmap.GetScanline(y);
        for (int32_t x = 0; x < w; ++x) {
            int32_t level;
            if (format == ie1g) level = (row[x >> 3] & (0x80 >> (x & 7))) ? 1 : 0;
            else if (format == ie8g) level = row[x];
            else level = Gray(PixelColor(bitmap, row, x, false));
            ++counts[level & 255];
        }
    }
    bitmap.UnmapAllRows();
}

int32_t IENearestPaletteIndex(const TRGB* palette, int32_t count, TRGB color) {
    int32_t best = 0, distance = 1000;
    for (int32_t i = 0; i < count; ++i) {
        const int32_t d = std::abs(palette[i].r - color.r) + std::abs(palette[i].g - color.g) + std::abs(palette[i].b - color.b);
        if (d < distance) {
            distance = d;
            best = i;
        }
    }
    return best;
}

std::unique_ptr<TIEBitmap> IEBitmapToBWIfTwoColors(TIEBitmap& bitmap, TRGB& first, TRGB& second) {
    const int32_t w = bitmap.GetWidth(), h = bitmap.GetHeight();
    auto result = std::make_unique<TIEBitmap>(w, h, ie1g);
    std::unordered_set<uint32_t> colors;
    for (int32_t y = 0; y < h && colors.size() <= 2; ++y) {
        uint8_t* out = result->GetScanline(y);
        for (int32_t x = 0; x < w; ++x) {
            const TRGB c = bitmap.GetPixelRGB(x, y);
            if (colors.insert(IERGBToDWord(c)).second) {
                if (colors.size() == 1) first = c;
                else second = c;
            }
            PutBit(out, x, !(c == first));
        }
        result->UnmapAllRows();
    }
    if (colors.size() != 2) return nullptr;
    const int32_t g1 = first.r * 21 + first.g * 71 + first.b * 8, g2 = second.r * 21 + second.g * 71 + second.b * 8;
    if (RoundHalfEven(g2 / 100.0) < RoundHalfEven(g1 / 100.0)) {
        for (int32_t y = 0; y < h; ++y) {
            uint8_t* row = result->GetScanline(y);
            for (int32_t i = 0; i < result->GetRowLen(); ++i) row[i] = static_cast<uint8_t>(~row[i]);
        }
        result->UnmapAllRows();
        std::swap(first, second);
    }
    return result;
}

void IEMatchHistogramChannel(TIEBitmap& bitmap, int32_t channel, const int32_t target[256], int64_t total) {
    const TIEPixelFormat format = bitmap.GetPixelFormat();
    if ((format != ie24RGB && format != ieRGB48) || bitmap.IsEmpty() || total <= 0) return;
    const int32_t w = bitmap.GetWidth(), h = bitmap.GetHeight();
    const bool wide = format == ieRGB48;
    auto sample = [&](uint8_t* row, int32_t x) -> uint8_t* { return wide ? row + 6 * x + 4 - 2 * channel : row + 3 * x + channel; };
    auto read = [&](uint8_t* p) -> int32_t { return wide ? Word(p) / 256 : *p; };
    auto write = [&](uint8_t* p, int32_t v) {
        if (wide) {
            auto word = static_cast<uint16_t>(v * 257);
            std::memcpy(p, &word, 2);
        } else {
            *p = static_cast<uint8_t>(v);
        }
    };
    int64_t histogram[256] = {};
    for (int32_t y = 0; y < h; ++y) {
        uint8_t* row = bitmap.GetScanline(y);
        for (int32_t x = 0; x < w; ++x) ++histogram[read(sample(row, x))];
    }
    double equalised[256];
    int64_t cumulative = 0;
    for (int i = 0; i < 256; ++i) {
        cumulative += histogram[i];
        equalised[i] = static_cast<double>(cumulative) * 255 / (static_cast<double>(w) * h);
    }
    double goal[256];
    int64_t running = 0;
    for (int i = 0; i < 256; ++i) {
        running += target[i];
        goal[i] = 255.0 / static_cast<double>(total) * static_cast<double>(running);
    }
    int32_t map[256];
    for (int i = 0; i < 256; ++i) {
        int32_t best = 0;
        for (int j = 1; j < 256; ++j)
            if (std::fabs(i - goal[j]) < std::fabs(i - goal[best])) best = j;
        map[i] = best;
    }
    // Equalised, then mapped onto the target's cumulative curve.
    for (int32_t y = 0; y < h; ++y) {
        uint8_t* row = bitmap.GetScanline(y);
        for (int32_t x = 0; x < w; ++x) {
            uint8_t* p = sample(row, x);
            write(p, static_cast<int32_t>(Trunc(equalised[read(p)])));
            write(p, map[read(p)]);
        }
    }
    bitmap.UnmapAllRows();
}

void IEMatchHistogram(TIEBitmap& reference, TIEBitmap& bitmap) {
    if (reference.GetPixelFormat() != ie24RGB || reference.IsEmpty() || bitmap.IsEmpty()) return;
    int32_t counts[3][256] = {};
    for (int32_t y = 0; y < reference.GetHeight(); ++y) {
        const uint8_t* row = reference.GetScanline(y);
        for (int32_t x = 0; x < reference.GetWidth(); ++x)
            for (int k = 0; k < 3; ++k) ++counts[k][row[3 * x + k]];
    }
    reference.UnmapAllRows();
    const int64_t total = int64_t{reference.GetWidth()} * reference.GetHeight();
    for (int k = 0; k < 3; ++k) IEMatchHistogramChannel(bitmap, k, counts[k], total);
}

void IERearrangeChannels(TIEBitmap& bitmap, const std::string& pattern, void* sender, const TIEProgressEvent& onProgress) {
    int32_t from[3] = {0, 1, 2};
    for (size_t i = 0; i < 3 && i < pattern.size(); ++i) {
        switch (std::toupper(static_cast<unsigned char>(pattern[i]))) {
            case 'B': from[i] = 0; break;
            case 'G': from[i] = 1; break;
            case 'R': from[i] = 2; break;
            default: break;
        }
    }
    const int32_t w = bitmap.GetWidth(), h = bitmap.GetHeight();
    for (int32_t y = 0; y < h; ++y) {
        uint8_t* p = bitmap.GetScanline(y);
        for (int32_t x = 0; x < w && 3 * (x + 1) <= bitmap.GetRowLen(); ++x, p += 3) {
            const uint8_t pixel[3] = {p[0], p[1], p[2]};
            for (int k = 0; k < 3; ++k) p[k] = pixel[from[k]];
        }
        if (onProgress) onProgress(sender, static_cast<int>(Trunc(static_cast<double>(y) / h * 100)));
    }
    bitmap.UnmapAllRows();
}

void IEConvertToBWOrdered(TIEBitmap& bitmap, TIEProgressRec& progress) {
    if (bitmap.GetPixelFormat() != ie24RGB) return;
    const int32_t w = bitmap.GetWidth(), h = bitmap.GetHeight();
    progress.PercentPerUnit = 100.0 / (h + 0.5);
    TIEBitmap bits(w, h, ie1g);
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* in = bitmap.GetScanline(y);
        uint8_t* out = bits.GetScanline(y);
        for (int32_t x = 0; x < w; ++x) {
            const TRGB c{in[3 * x], in[3 * x + 1], in[3 * x + 2]};
            const int32_t level = c.r >= 251 && c.g >= 251 && c.b >= 251 ? 64 : Gray(c) >> 2;
            PutBit(out, x, level > kDither[x & 7][y & 7]);
        }
        bits.UnmapAllRows();
        ReportRow(progress, y + 1);
    }
    bitmap.UnmapAllRows();
    bitmap.AssignImage(bits);
}

void IEThresholdToBW(TIEBitmap& source, TIEBitmap& destination, int32_t threshold, TIEProgressRec& progress) {
    if (source.GetPixelFormat() == ie1g) {
        destination.AssignImage(source);
        return;
    }
    const int32_t w = source.GetWidth(), h = source.GetHeight();
    if (w == 0 || h == 0) return;
    progress.PercentPerUnit = 100.0 / (h + 0.5);
    if (threshold == -2) {
        int32_t counts[256];
        IEGrayHistogram(source, counts);
        double p[256], entropy = 0;
        for (int i = 0; i < 256; ++i) {
            p[i] = static_cast<double>(counts[i]) / (static_cast<double>(w) * h);
            if (p[i] != 0) entropy -= p[i] * std::log(p[i]);
        }
        double best = 0, score = 0, below = 0, belowEntropy = 0;
        for (int t = 1; t <= 255; ++t) {
            below += p[t - 1];
            if (p[t - 1] > 0) belowEntropy -= p[t - 1] * std::log(p[t - 1]);
            if (below > 0 && below < 1)
                score = std::log(below - below * below) + belowEntropy / below + (entropy - belowEntropy) / (1 - below);
            if (score > best) {
                best = score;
                threshold = t;
            }
        }
    } else if (threshold == -1) {
        const TIEAverageColor average = IEAverageColor(source);
        threshold = (average.Red * 21 + average.Green * 71 + average.Blue * 8) / 100;
    }
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* in = source.GetScanline(y);
        uint8_t* out = destination.GetScanline(y);
        for (int32_t x = 0; x < w; ++x) PutBit(out, x, Gray(PixelColor(source, in, x, false)) >= threshold);
        destination.UnmapAllRows();
        ReportRow(progress, y + 1);
    }
    source.UnmapAllRows();
}

void IEConvertToBWThreshold(TIEBitmap& bitmap, int32_t threshold, TIEProgressRec& progress) {
    if (bitmap.GetPixelFormat() != ie24RGB) return;
    TIEBitmap bits(bitmap.GetWidth(), bitmap.GetHeight(), ie1g);
    IEThresholdToBW(bitmap, bits, threshold, progress);
    bitmap.AssignImage(bits);
}

void IEQuantizeColors(TIEBitmap& bitmap, int32_t colorCount, TRGB* palette, void* sender,
                      const TIEProgressEvent& onProgress) {
    if (bitmap.GetPixelFormat() != ie24RGB || colorCount < 1) return;
    std::vector<TRGB> own;
    if (!palette) {
        own.resize(static_cast<size_t>(colorCount));
        palette = own.data();
    }
    TIEQuantizer quantizer(bitmap, palette, colorCount);
    const int32_t w = bitmap.GetWidth(), h = bitmap.GetHeight();
    for (int32_t y = 0; y < h; ++y) {
        uint8_t* row = bitmap.GetScanline(y);
        for (int32_t x = 0; x < w; ++x) {
            const int32_t index = quantizer.ColorIndex(TRGB{row[3 * x], row[3 * x + 1], row[3 * x + 2]});
            if (index >= 0) std::memcpy(row + 3 * x, &palette[index], 3);
        }
        if (onProgress) onProgress(sender, static_cast<int>(Trunc(100 / (h + 0.5) * (y + 1))));
    }
    bitmap.UnmapAllRows();
}

void IEConvertToGray24(TIEBitmap& bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, void* sender,
                       const TIEProgressEvent& onProgress) {
    if (bitmap.GetPixelFormat() != ie24RGB) return;
    x2 = std::min(x2, bitmap.GetWidth());
    y2 = std::min(y2, bitmap.GetHeight());
    x1 = std::max(x1, 0);
    y1 = std::max(y1, 0);
    if (y2 <= y1) return;
    const int32_t rows = y2 - y1;
    for (int32_t y = y1; y < y2; ++y) {
        uint8_t* p = bitmap.GetScanline(y);
        for (int32_t x = x1; x < x2; ++x) {
            auto g = static_cast<uint8_t>(Gray(TRGB{p[3 * x], p[3 * x + 1], p[3 * x + 2]}));
            std::memset(p + 3 * x, g, 3);
        }
        if (onProgress) onProgress(sender, static_cast<int>(Trunc((y - y1 + 1) * 100 / (rows + 0.5))));
    }
    bitmap.UnmapAllRows();
}
