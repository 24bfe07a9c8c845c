// The pixel buffer at work: allocating, filling and copying a 4000 x 3000
// 24-bit image (36 MB) in memory and in a temporary file, in MB of image per
// second, beside a plain memcpy of the same bytes measured in the same run
// (vs_memcpy is the ratio of the two rates), and beside the same work done
// with plain calls (malloc, memset, malloc, memcpy, free: vs_plain). Fresh
// memory costs a fault per page on first touch, so vs_plain is the fair one.
#include <benchmark/benchmark.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "imaging/core/ie_bitmap.h"

namespace {

constexpr int32_t kWidth = 4000, kHeight = 3000;
constexpr size_t kBytes = size_t{kWidth} * 3 * kHeight;

// memcpy of the image's bytes, in bytes per second (best of a few runs).
double MemcpyRate() {
    std::vector<uint8_t> from(kBytes, 1), to(kBytes, 0);
    double best = 0;
    for (int run = 0; run < 5; ++run) {
        auto start = std::chrono::steady_clock::now();
        std::memcpy(to.data(), from.data(), kBytes);
        benchmark::DoNotOptimize(to.data());
        std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        best = std::max(best, static_cast<double>(kBytes) / took.count());
    }
    return best;
}

// Allocate, fill and copy with plain calls, in bytes of image per second.
double PlainRate() {
    double best = 0;
    for (int run = 0; run < 3; ++run) {
        auto start = std::chrono::steady_clock::now();
        auto* image = static_cast<uint8_t*>(std::malloc(kBytes));
        std::memset(image, 0x66, kBytes);
        auto* copy = static_cast<uint8_t*>(std::malloc(kBytes));
        std::memcpy(copy, image, kBytes);
        benchmark::DoNotOptimize(copy);
        std::free(copy);
        std::free(image);
        std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        best = std::max(best, static_cast<double>(kBytes) / took.count());
    }
    return best;
}

void AllocateFillCopy(benchmark::State& state, bool inFile) {
    double reference = MemcpyRate();
    double plain = PlainRate();
    int64_t threshold = inFile ? 0 : INT64_MAX;
    for (auto _ : state) {
        TIEBitmap image;
        image.MemoryThreshold = threshold;
        image.Allocate(kWidth, kHeight, ie24RGB);
        image.Fill(0x336699);
        TIEBitmap copy;
        copy.MemoryThreshold = threshold;
        copy.Assign(image);
        benchmark::DoNotOptimize(copy.GetScanline(kHeight - 1));
        if (copy.GetLocation() != (inFile ? ieFile : ieMemory)) state.SkipWithError("image not where asked");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kBytes));
    state.counters["memcpy_MBps"] = reference / 1e6;
    state.counters["plain_MBps"] = plain / 1e6;
    state.counters["vs_plain"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * static_cast<double>(kBytes) / plain, benchmark::Counter::kIsRate);
    // The image rate over memcpy's: Google Benchmark divides kIsRate counters
    // by the run's time, so this is bytes / time / memcpy rate.
    state.counters["vs_memcpy"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * static_cast<double>(kBytes) / reference, benchmark::Counter::kIsRate);
}

void BM_ImageInMemory(benchmark::State& state) { AllocateFillCopy(state, false); }
void BM_ImageInFile(benchmark::State& state) { AllocateFillCopy(state, true); }

void BM_Memcpy(benchmark::State& state) {
    std::vector<uint8_t> from(kBytes, 1), to(kBytes, 0);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), kBytes);
        benchmark::DoNotOptimize(to.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kBytes));
}

}  // namespace

BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImageInMemory)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImageInFile)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_MAIN();
