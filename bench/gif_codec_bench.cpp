// The image library's GIF codec on a 1000 x 1000 picture of 256 colours:
// decoding and encoding (LZW included) beside ImageMagick doing the same
// through its command (GIF to and from a raw pixel file, so the command's
// start and the raw file are part of its time). The picture and the files
// are made before any timing; the ratios of our speed to ImageMagick's are
// printed at the end of the run. Without ImageMagick its benchmarks are
// skipped.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_mask.h"
#include "imaging/io/ie_gif.h"
#include "imaging/io/ie_gif_lzw.h"
#include "imaging/io/ie_vidurer_io.h"

namespace {

constexpr int kSize = 1000;

// 256 colours in bands and grain: neither flat nor noise.
TIEBitmap& Picture() {
    static TIEBitmap& bitmap = *[] {
        auto* made = new TIEBitmap(kSize, kSize, ie8p);  // lives to the end of the run
        TIEBitmap& b = *made;
        for (int i = 0; i < 256; ++i)
            b.SetPaletteColor(i, TRGB{static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i * 7)});
        uint32_t seed = 1;
        for (int y = 0; y < kSize; ++y) {
            uint8_t* row = b.GetScanline(y);
            for (int x = 0; x < kSize; ++x) {
                seed = seed * 1103515245u + 12345u;
                row[x] = static_cast<uint8_t>(((x / 8 + y / 16) * 5 + ((seed >> 16) & 3)) & 255);
            }
        }
        return made;
    }();
    return bitmap;
}

std::vector<uint8_t> Encode() {
    TIOParamsVals params;
    params.BitsPerSample = 8;
    bool aborted = false;
    TIEProgressRec progress;
    progress.AbortFlag = &aborted;
    TMemoryStream stream;
    IEWriteGIFStream(stream, Picture(), params, progress);
    return stream.TakeBytes();
}

std::string DataDir() {
    std::filesystem::path dir = TW_BENCH_DATA_DIR;
    std::filesystem::create_directories(dir);
    return dir.string();
}

bool HaveConvert() { return std::system("command -v convert >/dev/null 2>&1") == 0; }

// Megapixels per second of each contender.
std::map<std::string, double>& Results() {
    static std::map<std::string, double> results;
    return results;
}

template <typename Work>
void Time(benchmark::State& state, const std::string& name, Work work) {
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (!work()) {
            state.SkipWithError("the work failed");
            return;
        }
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    const double rate = kSize * double{kSize} * static_cast<double>(state.iterations()) / seconds / 1e6;
    state.counters["megapixels_per_second"] = rate;
    Results()[name] = rate;
}

void BM_Decode_Ours(benchmark::State& state) {
    IEInitIOUnit();
    const std::vector<uint8_t> bytes = Encode();
    Time(state, "decode ours", [&] {
        TMemoryStream stream(bytes);
        TIEBitmap bitmap;
        TIOParamsVals params;
        params.NativePixelFormat = true;
        bool aborted = false;
        TIEProgressRec progress;
        progress.AbortFlag = &aborted;
        std::unique_ptr<TIEMask> mask;
        int32_t frames = 0;
        IEReadGIFStream(stream, bitmap, frames, params, progress, false, mask, true);
        return !aborted && bitmap.GetWidth() == kSize;
    });
}

void BM_Encode_Ours(benchmark::State& state) {
    IEInitIOUnit();
    Picture();
    Time(state, "encode ours", [] { return !Encode().empty(); });
}

void BM_Decode_ImageMagick(benchmark::State& state) {
    if (!HaveConvert()) {
        state.SkipWithError("ImageMagick's convert is not installed");
        return;
    }
    IEInitIOUnit();
    const std::string gif = DataDir() + "/picture.gif";
    const std::vector<uint8_t> bytes = Encode();
    FILE* file = std::fopen(gif.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    const std::string command = "convert '" + gif + "' rgb:'" + DataDir() + "/decoded.rgb'";
    Time(state, "decode ImageMagick", [&] { return std::system(command.c_str()) == 0; });
}

void BM_Encode_ImageMagick(benchmark::State& state) {
    if (!HaveConvert()) {
        state.SkipWithError("ImageMagick's convert is not installed");
        return;
    }
    IEInitIOUnit();
    const std::string gif = DataDir() + "/source.gif";
    const std::vector<uint8_t> bytes = Encode();
    FILE* file = std::fopen(gif.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    // A raw picture of exactly the source's 256 colours, so ImageMagick
    // encodes without reducing colours.
    const std::string raw = DataDir() + "/source.rgb";
    std::system(("convert '" + gif + "' rgb:'" + raw + "'").c_str());
    const std::string command =
        "convert -size 1000x1000 -depth 8 rgb:'" + raw + "' '" + DataDir() + "/encoded.gif'";
    Time(state, "encode ImageMagick", [&] { return std::system(command.c_str()) == 0; });
}

}  // namespace

BENCHMARK(BM_Decode_Ours)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_Encode_Ours)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Decode_ImageMagick)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Encode_ImageMagick)->Unit(benchmark::kMillisecond)->Iterations(5);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    auto& results = Results();
    for (const char* work : {"decode", "encode"}) {
        const std::string ours = std::string(work) + " ours", theirs = std::string(work) + " ImageMagick";
        if (results.count(ours) && results.count(theirs))
            std::printf("%s: ours / ImageMagick = %.2fx the megapixels per second\n", work, results[ours] / results[theirs]);
    }
    return 0;
}
