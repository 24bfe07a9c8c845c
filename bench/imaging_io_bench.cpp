// BMP reading and writing of a 12-megapixel picture, 24-bit and 8-bit RLE,
// in MB/s of file bytes, beside ImageMagick doing the same in the same run.
// The ratio counters are ours over ImageMagick's throughput.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "imaging/core/ie_bitmap.h"
#include "imaging/io/ie_bmp.h"

namespace {

constexpr int32_t kWidth = 4000, kHeight = 3000;

std::string Dir() {
    std::string dir = std::string(TW_BENCH_DATA_DIR) + "/imaging_io";
    std::filesystem::create_directories(dir);
    return dir;
}

// The fixture: a picture with flat areas (so RLE has runs) and gradients.
TIEBitmap& Picture() {
    static std::unique_ptr<TIEBitmap> picture = [] {
        auto made = std::make_unique<TIEBitmap>(kWidth, kHeight, ie24RGB);
        TIEBitmap& p = *made;
        for (int32_t y = 0; y < kHeight; ++y) {
            uint8_t* row = p.GetScanline(y);
            for (int32_t x = 0; x < kWidth; ++x) {
                bool flat = (x / 200 + y / 150) % 2;
                row[3 * x] = flat ? 40 : static_cast<uint8_t>(x * 7 / 100 % 6 * 40);
                row[3 * x + 1] = flat ? 200 : static_cast<uint8_t>(y / 300 * 25);
                row[3 * x + 2] = flat ? 90 : static_cast<uint8_t>((x + y) / 500 * 30);
            }
        }
        return made;
    }();
    return *picture;
}

// Our 24-bit or 8-bit RLE file of the picture.
void WriteOurs(TIEBitmap& picture, bool rle, TMemoryStream& stream) {
    TIOParamsVals params;
    params.SamplesPerPixel = rle ? 1 : 3;
    params.BmpCompressed = rle;
    bool aborted = false;
    TIEProgressRec progress;
    progress.AbortFlag = &aborted;
    IEWriteBMPStream(stream, picture, params, progress, false);
}

std::string FileFor(bool rle) {
    std::string file = Dir() + (rle ? "/rle8.bmp" : "/rgb24.bmp");
    if (!std::filesystem::exists(file)) {
        TMemoryStream stream;
        WriteOurs(Picture(), rle, stream);
        WriteFileBytes(file, stream.Memory(), static_cast<size_t>(stream.GetSize()));
    }
    return file;
}

std::map<std::string, double>& Throughput() {
    static std::map<std::string, double> values;
    return values;
}

void Record(benchmark::State& state, const std::string& key, double bytes, double seconds) {
    double mbps = bytes * static_cast<double>(state.iterations()) / seconds / 1e6;
    state.counters["MB/s"] = mbps;
    Throughput()[key] = mbps;
}

template <typename Work>
void TimeRuns(benchmark::State& state, const std::string& key, double bytes, Work work) {
    double seconds = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        work();
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    Record(state, key, bytes, seconds);
}

void BM_Read_Ours(benchmark::State& state) {
    bool rle = state.range(0);
    auto bytes = ReadFileBytes(FileFor(rle));
    TMemoryStream stream(bytes);
    TimeRuns(state, std::string("read") + (rle ? "rle" : "24") + "ours", static_cast<double>(bytes.size()), [&] {
        stream.SetPosition(0);
        TIEBitmap bitmap;
        bitmap.SetLocation(ieMemory);
        TIOParamsVals params;
        bool aborted = false;
        TIEProgressRec progress;
        progress.AbortFlag = &aborted;
        IEReadBMPStream(stream, bitmap, 0, params, progress, false, false, false);
        benchmark::DoNotOptimize(bitmap.GetScanline(0));
    });
}

void BM_Write_Ours(benchmark::State& state) {
    bool rle = state.range(0);
    double size = static_cast<double>(std::filesystem::file_size(FileFor(rle)));
    TIEBitmap& picture = Picture();
    TimeRuns(state, std::string("write") + (rle ? "rle" : "24") + "ours", size, [&] {
        TMemoryStream stream;
        WriteOurs(picture, rle, stream);
        benchmark::DoNotOptimize(stream.GetSize());
    });
}

void BM_Read_ImageMagick(benchmark::State& state) {
    bool rle = state.range(0);
    std::string file = FileFor(rle);
    std::string command = "convert '" + file + "' -depth 8 rgb:/dev/null";
    TimeRuns(state, std::string("read") + (rle ? "rle" : "24") + "magick", static_cast<double>(std::filesystem::file_size(file)),
             [&] { benchmark::DoNotOptimize(std::system(command.c_str())); });
}

void BM_Write_ImageMagick(benchmark::State& state) {
    bool rle = state.range(0);
    std::string file = FileFor(rle);
    std::string out = Dir() + "/magick_out.bmp";
    std::string command = "convert '" + file + "' " + (rle ? "-compress rle BMP3:'" : "-compress none BMP3:'") + out + "'";
    TimeRuns(state, std::string("write") + (rle ? "rle" : "24") + "magick", static_cast<double>(std::filesystem::file_size(file)),
             [&] { benchmark::DoNotOptimize(std::system(command.c_str())); });
    // ImageMagick's figures include its process start and, for writing, the
    // read of the source file: the ratio is against the whole command.
    auto& values = Throughput();
    std::string read = std::string("read") + (rle ? "rle" : "24") + "magick";
    std::string key = std::string("write") + (rle ? "rle" : "24");
    if (values.count(key + "ours")) state.counters["ours/ImageMagick"] = values[key + "ours"] / values[key + "magick"];
    std::string readKey = read.substr(0, read.size() - 6);
    if (values.count(readKey + "ours")) state.counters["read ours/ImageMagick"] = values[readKey + "ours"] / values[read];
}

}  // namespace

BENCHMARK(BM_Read_Ours)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Write_Ours)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Read_ImageMagick)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Write_ImageMagick)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_MAIN();
