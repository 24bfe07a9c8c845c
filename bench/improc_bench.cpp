// Resampling and rotation of a 4000 x 3000 24-bit image, in megapixels of
// source per second: a Lanczos3 downscale to 400 x 300 and a 30-degree
// antialiased (bilinear) rotation, beside ImageMagick's convert and libvips
// doing the same to the same pixels in the same run (vs_magick, vs_vips: our
// rate over theirs). The tools' times include process start and reading and
// writing a PPM file, so they are generous references. vips takes the turn
// as 330 degrees, the same turn, since its options parser reads -30 as an
// option.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_resample.h"
#include "imaging/core/ie_rotate.h"

namespace {

constexpr int32_t kWidth = 4000, kHeight = 3000;
constexpr double kMegapixels = double{kWidth} * kHeight / 1e6;

void FillPattern(TIEBitmap& b) {
    for (int32_t y = 0; y < kHeight; ++y) {
        uint8_t* row = b.GetScanline(y);
        for (int32_t i = 0; i < kWidth * 3; ++i) row[i] = static_cast<uint8_t>((i * 7 + y * 13 + (i * y >> 9)) & 255);
    }
}

std::filesystem::path Folder() {
    auto folder = std::filesystem::path(TW_BENCH_DATA_DIR) / "improc";
    std::filesystem::create_directories(folder);
    return folder;
}

// The picture as a binary PPM both tools read.
std::filesystem::path WritePPM(TIEBitmap& b) {
    auto path = Folder() / "in.ppm";
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << kWidth << " " << kHeight << "\n255\n";
    std::string row(static_cast<size_t>(kWidth) * 3, '\0');
    for (int32_t y = 0; y < kHeight; ++y) {
        const uint8_t* p = b.GetScanline(y);
        for (int32_t x = 0; x < kWidth; ++x) {
            row[3 * x] = static_cast<char>(p[3 * x + 2]);
            row[3 * x + 1] = static_cast<char>(p[3 * x + 1]);
            row[3 * x + 2] = static_cast<char>(p[3 * x]);
        }
        out.write(row.data(), static_cast<std::streamsize>(row.size()));
    }
    return path;
}

// Megapixels per second of a shell command (best of two runs); 0 when the
// tool is missing or fails.
double ToolRate(const std::string& tool, const std::string& command) {
    if (std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) != 0) return 0;
    double best = 0;
    for (int run = 0; run < 2; ++run) {
        auto start = std::chrono::steady_clock::now();
        if (std::system((command + " >/dev/null 2>&1").c_str()) != 0) return 0;
        std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        best = std::max(best, kMegapixels / took.count());
    }
    return best;
}

void Report(benchmark::State& state, double magick, double vips) {
    const double done = kMegapixels * static_cast<double>(state.iterations());
    state.counters["Mpixels_per_s"] = benchmark::Counter(done, benchmark::Counter::kIsRate);
    state.counters["magick_Mpixels_per_s"] = magick;
    state.counters["vips_Mpixels_per_s"] = vips;
    if (magick > 0) state.counters["vs_magick"] = benchmark::Counter(done / magick, benchmark::Counter::kIsRate);
    if (vips > 0) state.counters["vs_vips"] = benchmark::Counter(done / vips, benchmark::Counter::kIsRate);
}

void BM_Lanczos3Downscale(benchmark::State& state) {
    TIEBitmap source(kWidth, kHeight, ie24RGB);
    FillPattern(source);
    const std::string in = WritePPM(source).string(), folder = Folder().string();
    const double magick = ToolRate("convert", "convert " + in + " -filter Lanczos -resize 400x300! " + folder + "/magick.ppm");
    const double vips = ToolRate("vips", "vips resize " + in + " " + folder + "/vips.ppm 0.1 --kernel lanczos3");
    for (auto _ : state) {
        TIEBitmap dest(400, 300, ie24RGB);
        IEResample(source, dest, rfLanczos3, TIEProgressEvent(), nullptr);
        benchmark::DoNotOptimize(dest.GetScanline(0));
    }
    Report(state, magick, vips);
}

void BM_Rotate30Antialiased(benchmark::State& state) {
    TIEBitmap source(kWidth, kHeight, ie24RGB);
    FillPattern(source);
    const std::string in = WritePPM(source).string(), folder = Folder().string();
    const double magick = ToolRate("convert", "convert " + in + " -background white -rotate -30 " + folder + "/magick.ppm");
    const double vips = ToolRate("vips", "vips rotate " + in + " " + folder + "/vips.ppm 330");
    for (auto _ : state) {
        state.PauseTiming();
        TIEBitmap work;
        work.Assign(source);
        state.ResumeTiming();
        IERotateAntialias24(work, clWhite, 1, nullptr, TIEProgressEvent(), 30);
        benchmark::DoNotOptimize(work.GetScanline(0));
    }
    Report(state, magick, vips);
}

}  // namespace

BENCHMARK(BM_Lanczos3Downscale)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Rotate30Antialiased)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
