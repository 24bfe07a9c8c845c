// What the input/output component costs over its codecs: loading a
// 12-megapixel JPEG, PNG and BMP by file name (open, dispatch, the
// truncation watch, the default-DPI and refresh steps) and saving them by
// extension (encoding in memory, then putting the file in place), beside the
// bare codec calls on the same bytes in memory, in the same run. The ratios
// printed at the end are the component's CPU time over the codec's.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <string>

#include "bench/ratio_reporter.h"
#include "imaging/io/ie_bmp.h"
#include "imaging/io/ie_jpeg.h"
#include "imaging/io/ie_png.h"
#include "imaging/io/ie_vidurer_io.h"

namespace {

constexpr int32_t kWidth = 4000, kHeight = 3000;

std::string DataFile(const std::string& name) {
    std::filesystem::create_directories(TW_BENCH_DATA_DIR);
    return std::string(TW_BENCH_DATA_DIR) + "/" + name;
}

// The fixture, saved once in each format by the component itself.
TVidurErIO& Source() {
    static std::unique_ptr<TVidurErIO> source = [] {
        auto io = std::make_unique<TVidurErIO>();
        TIEBitmap& p = *io->Bitmap();
        p.Allocate(kWidth, kHeight, ie24RGB);
        for (int32_t y = 0; y < kHeight; ++y) {
            uint8_t* row = p.GetScanline(y);
            for (int32_t x = 0; x < kWidth; ++x) {
                row[3 * x] = static_cast<uint8_t>(x / 16);
                row[3 * x + 1] = static_cast<uint8_t>(y / 12);
                row[3 * x + 2] = static_cast<uint8_t>((x + y) % 256);
            }
        }
        io->ImageParams.PngCompression = 1;
        for (const char* name : {"picture.jpg", "picture.png", "picture.bmp"}) io->SaveToFile(DataFile(name));
        return io;
    }();
    return *source;
}

const char* NameOf(int64_t type) { return type == 3 ? "picture.jpg" : type == 8 ? "picture.png" : "picture.bmp"; }

void CodecRead(int64_t type, TStream& stream, TIEBitmap& bitmap, TIOParamsVals& params) {
    bool abort = false;
    TIEProgressRec progress;
    progress.AbortFlag = &abort;
    if (type == 3)
        IEReadJPEGStream(stream, nullptr, bitmap, false, -1, true, true, false, true, false, false, progress, params);
    else if (type == 8) IEReadPNGStream(stream, bitmap, params, false, progress);
    else IEReadBMPStream(stream, bitmap, 0, params, progress, false, false, true);
}

void BM_Load_Component(benchmark::State& state) {
    Source();
    TVidurErIO io;
    for (auto _ : state) {
        io.LoadFromFile(DataFile(NameOf(state.range(0))));
        if (io.AbortFlag) state.SkipWithError(io.LastError().c_str());
    }
}

void BM_Load_Codec(benchmark::State& state) {
    Source();
    const std::vector<uint8_t> bytes = ReadFileBytes(DataFile(NameOf(state.range(0))));
    TIEBitmap bitmap;
    TIOParamsVals params;
    for (auto _ : state) {
        TMemoryStream stream(bytes);
        CodecRead(state.range(0), stream, bitmap, params);
    }
}

void BM_Save_Component(benchmark::State& state) {
    TVidurErIO& io = Source();
    const std::string file = DataFile(std::string("saved_") + NameOf(state.range(0)));
    for (auto _ : state) io.SaveToFile(file);
}

void BM_Save_Codec(benchmark::State& state) {
    TVidurErIO& io = Source();
    for (auto _ : state) {
        TMemoryStream stream;
        bool abort = false;
        TIEProgressRec progress;
        progress.AbortFlag = &abort;
        if (state.range(0) == 3) IEWriteJPEGStream(stream, *io.Bitmap(), io.ImageParams, progress);
        else if (state.range(0) == 8) IEWritePNGStream(stream, *io.Bitmap(), io.ImageParams, nullptr, progress);
        else IEWriteBMPStream(stream, *io.Bitmap(), io.ImageParams, progress, false);
        benchmark::DoNotOptimize(stream.Memory());
    }
}

}  // namespace

BENCHMARK(BM_Load_Component)->Arg(3)->Arg(8)->Arg(5)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Load_Codec)->Arg(3)->Arg(8)->Arg(5)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Save_Component)->Arg(3)->Arg(8)->Arg(5)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Save_Codec)->Arg(3)->Arg(8)->Arg(5)->Unit(benchmark::kMillisecond)->Iterations(5);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    std::vector<std::pair<std::string, std::string>> pairs;
    for (const char* op : {"Load", "Save"})
        for (const char* type : {"3", "8", "5"})
            pairs.emplace_back(std::string("BM_") + op + "_Component/" + type + "/iterations:5",
                               std::string("BM_") + op + "_Codec/" + type + "/iterations:5");
    TRatioReporter reporter(pairs);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
