// PNG decoding and encoding of a 12-megapixel RGBA picture, in megapixels
// per second, beside ImageMagick and libvips on the same file in the same
// run. Their figures are whole commands (process start, and for encoding
// the decode of the source too); the ratio counters are ours over theirs.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_mask.h"
#include "imaging/io/ie_png.h"

namespace {

constexpr int32_t kWidth = 4000, kHeight = 3000;
constexpr double kMegapixels = kWidth * double{kHeight} / 1e6;

std::string Dir() {
    std::string dir = std::string(TW_BENCH_DATA_DIR) + "/png";
    std::filesystem::create_directories(dir);
    return dir;
}

// The fixture: gradients, flat areas and a soft alpha, made once.
struct TPicture {
    TIEBitmap bitmap{kWidth, kHeight, ie24RGB};
    TIEMask alpha;
    TPicture() {
        alpha.AllocateBits(kWidth, kHeight, 8);
        for (int32_t y = 0; y < kHeight; ++y) {
            uint8_t* row = bitmap.GetScanline(y);
            uint8_t* a = alpha.GetScanline(y);
            for (int32_t x = 0; x < kWidth; ++x) {
                const bool flat = (x / 250 + y / 200) % 2;
                row[3 * x] = flat ? 30 : static_cast<uint8_t>(x / 16);
                row[3 * x + 1] = flat ? 160 : static_cast<uint8_t>(y / 12);
                row[3 * x + 2] = flat ? 220 : static_cast<uint8_t>((x + y) / 28);
                a[x] = static_cast<uint8_t>(x < 2000 ? 255 : 255 - (x - 2000) / 8);
            }
        }
    }
};

TPicture& Picture() {
    static TPicture picture;
    return picture;
}

void WriteOurs(TMemoryStream& stream) {
    TIOParamsVals params;
    params.SamplesPerPixel = 3;
    bool aborted = false;
    TIEProgressRec progress;
    progress.AbortFlag = &aborted;
    IEWritePNGStream(stream, Picture().bitmap, params, &Picture().alpha, progress);
}

std::string File() {
    std::string file = Dir() + "/rgba.png";
    if (!std::filesystem::exists(file)) {
        TMemoryStream stream;
        WriteOurs(stream);
        WriteFileBytes(file, stream.Memory(), static_cast<size_t>(stream.GetSize()));
    }
    return file;
}

std::map<std::string, double>& Speeds() {
    static std::map<std::string, double> values;
    return values;
}

template <typename Work>
void TimeRuns(benchmark::State& state, const std::string& key, Work work) {
    double seconds = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        work();
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    const double speed = kMegapixels * static_cast<double>(state.iterations()) / seconds;
    state.counters["MP/s"] = speed;
    Speeds()[key] = speed;
    const std::string operation = key.substr(0, key.find(' '));
    if (key.find("ours") == std::string::npos && Speeds().count(operation + " ours"))
        state.counters["ours/this"] = Speeds()[operation + " ours"] / speed;
}

void BM_Decode_Ours(benchmark::State& state) {
    auto bytes = ReadFileBytes(File());
    TMemoryStream stream(bytes);
    TimeRuns(state, "decode ours", [&] {
        stream.SetPosition(0);
        TIEBitmap bitmap;
        bitmap.SetLocation(ieMemory);
        TIOParamsVals params;
        bool aborted = false;
        TIEProgressRec progress;
        progress.AbortFlag = &aborted;
        IEReadPNGStream(stream, bitmap, params, false, progress);
        benchmark::DoNotOptimize(bitmap.GetScanline(0));
    });
}

void BM_Encode_Ours(benchmark::State& state) {
    Picture();
    TimeRuns(state, "encode ours", [&] {
        TMemoryStream stream;
        WriteOurs(stream);
        benchmark::DoNotOptimize(stream.GetSize());
    });
}

void BM_Command(benchmark::State& state, const std::string& key, const std::string& command) {
    File();
    TimeRuns(state, key, [&] { benchmark::DoNotOptimize(std::system(command.c_str())); });
}

}  // namespace

BENCHMARK(BM_Decode_Ours)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Encode_Ours)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(BM_Command, decode_ImageMagick, "decode ImageMagick",
                  "convert '" + Dir() + "/rgba.png' -depth 8 rgba:/dev/null")
    ->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(BM_Command, decode_vips, "decode vips", "vips avg '" + Dir() + "/rgba.png' >/dev/null")
    ->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(BM_Command, encode_ImageMagick, "encode ImageMagick",
                  "convert '" + Dir() + "/rgba.png' -define png:compression-level=5 PNG32:'" + Dir() + "/magick.png'")
    ->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(BM_Command, encode_vips, "encode vips",
                  "vips pngsave '" + Dir() + "/rgba.png' '" + Dir() + "/vips.png' --compression 5")
    ->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_MAIN();
