// Pixel-format conversion of a 4000 x 3000 image between the common formats,
// in megapixels per second, beside ImageMagick's convert doing the same
// conversion of the same raw bytes in the same run (vs_magick is our rate
// over its rate; convert's figure includes reading and writing its raw
// files, so it is a generous reference).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "imaging/core/ie_bitmap.h"

namespace {

constexpr int32_t kWidth = 4000, kHeight = 3000;
constexpr double kPixels = double{kWidth} * kHeight;

struct Pair {
    TIEPixelFormat from, to;
    const char* magickIn;   // raw reader format
    const char* magickOut;  // options and raw writer
};
const Pair kPairs[] = {
    {ie24RGB, ie8g, "rgb", "-colorspace Gray -depth 8 gray"},
    {ie24RGB, ie32RGB, "rgb", "-alpha set -depth 8 rgba"},
    {ie32RGB, ie24RGB, "rgba", "-alpha off -depth 8 rgb"},
    {ie8g, ie24RGB, "gray", "-depth 8 rgb"},
    {ie24RGB, ie8p, "rgb", "+dither -colors 256 -depth 8 rgb"},
};

void FillPattern(TIEBitmap& b) {
    const int32_t bytes = b.GetRowLen();
    for (int32_t y = 0; y < b.GetHeight(); ++y) {
        uint8_t* row = b.GetScanline(y);
        for (int32_t i = 0; i < bytes; ++i) row[i] = static_cast<uint8_t>((i * 7 + y * 13 + (i * y >> 9)) & 255);
    }
}

// Megapixels per second of convert on the same raw data (best of two runs).
double MagickRate(const Pair& pair, TIEBitmap& source) {
    if (std::system("command -v convert >/dev/null 2>&1") != 0) return 0;
    std::filesystem::path folder = std::filesystem::path(TW_BENCH_DATA_DIR) / "pixconv";
    std::filesystem::create_directories(folder);
    auto raw = folder / "in.raw";
    {
        std::ofstream out(raw, std::ios::binary);
        const int32_t used = kWidth * IEBitsPerPixel[pair.from] / 8;
        for (int32_t y = 0; y < kHeight; ++y) out.write(reinterpret_cast<const char*>(source.GetScanline(y)), used);
    }
    const std::string command = "convert -size " + std::to_string(kWidth) + "x" + std::to_string(kHeight) +
                                " -depth 8 " + pair.magickIn + ":" + raw.string() + " " + pair.magickOut + ":" +
                                (folder / "out.raw").string();
    double best = 0;
    for (int run = 0; run < 2; ++run) {
        auto start = std::chrono::steady_clock::now();
        if (std::system(command.c_str()) != 0) return 0;
        std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        best = std::max(best, kPixels / 1e6 / took.count());
    }
    return best;
}

void BM_Convert(benchmark::State& state) {
    const Pair& pair = kPairs[state.range(0)];
    TIEBitmap source(kWidth, kHeight, pair.from);
    FillPattern(source);
    const double magick = MagickRate(pair, source);
    for (auto _ : state) {
        state.PauseTiming();
        TIEBitmap work;
        work.Assign(source);
        state.ResumeTiming();
        work.ConvertToPixelFormat(pair.to);
        benchmark::DoNotOptimize(work.GetScanline(0));
    }
    state.SetLabel(std::string(IEPixelFormatName(pair.from)) + " to " + IEPixelFormatName(pair.to));
    state.counters["Mpixels_per_s"] = benchmark::Counter(kPixels / 1e6 * static_cast<double>(state.iterations()),
                                                         benchmark::Counter::kIsRate);
    state.counters["magick_Mpixels_per_s"] = magick;
    if (magick > 0)
        state.counters["vs_magick"] = benchmark::Counter(
            kPixels / 1e6 * static_cast<double>(state.iterations()) / magick, benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(BM_Convert)->DenseRange(0, 4)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
