// Decoding and encoding a 4000 x 3000 (12-megapixel) JPEG: megapixels per
// second of our codec, beside djpeg/cjpeg and ImageMagick on the same file,
// all with the fast integer DCT that is the codec's default and quality 90.
// The tools run as processes that read and write files, so their figures
// include process start and file I/O (a few per cent at this size). The
// ratios are printed at the end of the run.
//
// The picture is made in code and written once (our JPEG and a PPM for the
// encoders) before any timing. Without a tool its benchmark is skipped.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "imaging/io/ie_jpeg.h"

namespace {

namespace fs = std::filesystem;

constexpr int kWidth = 4000, kHeight = 3000;
constexpr double kMegapixels = kWidth * double(kHeight) / 1e6;

TIEBitmap& Picture() {
    static std::unique_ptr<TIEBitmap> bitmap = [] {
        auto picture = std::make_unique<TIEBitmap>(kWidth, kHeight, ie24RGB);
        TIEBitmap& b = *picture;
        uint32_t seed = 7;
        for (int32_t y = 0; y < kHeight; ++y) {
            uint8_t* row = b.GetScanline(y);
            for (int32_t x = 0; x < kWidth; ++x) {
                seed = seed * 1103515245u + 12345u;
                int grain = static_cast<int>((seed >> 16) & 15);
                row[3 * x] = static_cast<uint8_t>(x * 255 / kWidth + grain);
                row[3 * x + 1] = static_cast<uint8_t>(y * 255 / kHeight);
                row[3 * x + 2] = static_cast<uint8_t>(((x / 40 + y / 40) & 1) ? 200 - grain : 40 + grain);
            }
        }
        return picture;
    }();
    return *bitmap;
}

std::vector<uint8_t> EncodeOurs() {
    TIOParamsVals params;
    params.JpegQuality = 90;
    TMemoryStream stream;
    TIEProgressRec progress;
    IEWriteJPEGStream(stream, Picture(), params, progress);
    return stream.TakeBytes();
}

std::string DataFile(const std::string& name) {
    fs::path dir = TW_BENCH_DATA_DIR;
    fs::create_directories(dir);
    return (dir / name).string();
}

// Our JPEG and the PPM the encoders read, written once.
void WriteInputs() {
    static bool done = false;
    if (done) return;
    std::vector<uint8_t> jpeg = EncodeOurs();
    WriteFileBytes(DataFile("picture.jpg"), jpeg.data(), jpeg.size());
    std::string header = "P6\n" + std::to_string(kWidth) + " " + std::to_string(kHeight) + "\n255\n";
    std::vector<uint8_t> ppm(header.begin(), header.end());
    for (int32_t y = 0; y < kHeight; ++y) {
        const uint8_t* row = Picture().GetScanline(y);
        for (int32_t x = 0; x < kWidth; ++x) ppm.insert(ppm.end(), {row[3 * x + 2], row[3 * x + 1], row[3 * x]});
    }
    WriteFileBytes(DataFile("picture.ppm"), ppm.data(), ppm.size());
    done = true;
}

bool ToolInstalled(const std::string& tool) {
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

std::map<std::string, double>& Results() {
    static std::map<std::string, double> results;
    return results;
}

template <typename Work>
void Time(benchmark::State& state, const std::string& name, Work work) {
    double seconds = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        bool ok = work();
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!ok) {
            state.SkipWithError("the work failed");
            return;
        }
    }
    double rate = kMegapixels * static_cast<double>(state.iterations()) / seconds;
    state.counters["megapixels_per_second"] = rate;
    Results()[name] = rate;
}

void Tool(benchmark::State& state, const std::string& tool, const std::string& name, const std::string& command) {
    if (!ToolInstalled(tool)) {
        state.SkipWithError((tool + " is not installed").c_str());
        return;
    }
    WriteInputs();
    Time(state, name, [&] { return std::system(command.c_str()) == 0; });
}

void BM_Decode_Ours(benchmark::State& state) {
    WriteInputs();
    std::vector<uint8_t> jpeg = ReadFileBytes(DataFile("picture.jpg"));
    TIEBitmap bitmap;
    Time(state, "decode ours", [&] {
        TMemoryStream stream(jpeg);
        TIOParamsVals params;
        bool abort = false;
        TIEProgressRec progress;
        progress.AbortFlag = &abort;
        return IEReadJPEGStream(stream, nullptr, bitmap, false, -1, true, true, false, true, false, false, progress,
                                params) == kHeight && !abort;
    });
}

void BM_Decode_Djpeg(benchmark::State& state) {
    Tool(state, "djpeg", "decode djpeg",
         "djpeg -dct fast -ppm -outfile /dev/null '" + DataFile("picture.jpg") + "'");
}

void BM_Decode_ImageMagick(benchmark::State& state) {
    Tool(state, "convert", "decode ImageMagick",
         "convert -define jpeg:dct-method=ifast '" + DataFile("picture.jpg") + "' ppm:/dev/null");
}

void BM_Encode_Ours(benchmark::State& state) {
    Picture();
    Time(state, "encode ours", [] { return !EncodeOurs().empty(); });
}

void BM_Encode_Cjpeg(benchmark::State& state) {
    Tool(state, "cjpeg", "encode cjpeg",
         "cjpeg -quality 90 -dct fast -outfile /dev/null '" + DataFile("picture.ppm") + "'");
}

void BM_Encode_ImageMagick(benchmark::State& state) {
    Tool(state, "convert", "encode ImageMagick",
         "convert '" + DataFile("picture.ppm") + "' -define jpeg:dct-method=ifast -quality 90 jpg:/dev/null");
}

}  // namespace

BENCHMARK(BM_Decode_Ours)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Decode_Djpeg)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Decode_ImageMagick)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Encode_Ours)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Encode_Cjpeg)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Encode_ImageMagick)->Unit(benchmark::kMillisecond)->Iterations(3);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    auto& r = Results();
    for (const char* work : {"decode", "encode"}) {
        std::string ours = std::string(work) + " ours";
        if (!r.count(ours)) continue;
        for (const char* reference : {"djpeg", "cjpeg", "ImageMagick"}) {
            std::string key = std::string(work) + " " + reference;
            if (r.count(key))
                std::printf("%s: ours / %s = %.2fx the megapixels per second\n", work, reference, r[ours] / r[key]);
        }
    }
    return 0;
}
