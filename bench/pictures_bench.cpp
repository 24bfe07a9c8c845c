// Encoding a 100-frame 320 x 240 animation as the GIF export does (octree
// colours, Floyd-Steinberg dithering, LZW): frames per second and file size,
// beside ImageMagick on the same true-colour frames and gifsicle reducing
// and dithering the same animation to one 256-colour palette. The ratios to
// both references are printed at the end of the run.
//
// The frames are made in code before any timing; the files the tools read
// are written once into the bench-data folder. Without a tool its benchmark
// is skipped.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "pictures/gif_frame_helpers.h"
#include "pictures/gif_image.h"

namespace {

namespace fs = std::filesystem;

constexpr int kFrames = 100;
constexpr int kWidth = 320;
constexpr int kHeight = 240;

// A moving picture of many colours: gradients, a moving disc and some grain.
const std::vector<TPictureBitmap>& Frames() {
    static const std::vector<TPictureBitmap> frames = [] {
        std::vector<TPictureBitmap> result;
        uint32_t seed = 1;
        for (int f = 0; f < kFrames; ++f) {
            TPictureBitmap bitmap(kWidth, kHeight, TPixelFormat::pf24bit);
            int cx = 40 + f * 2, cy = 120;
            for (int y = 0; y < kHeight; ++y)
                for (int x = 0; x < kWidth; ++x) {
                    seed = seed * 1103515245u + 12345u;
                    int grain = static_cast<int>((seed >> 16) & 7);
                    bool disc = (x - cx) * (x - cx) + (y - cy) * (y - cy) < 45 * 45;
                    TGIFColor c{static_cast<uint8_t>((x * 255 / kWidth + f) & 255),
                                static_cast<uint8_t>(y * 255 / kHeight),
                                static_cast<uint8_t>(disc ? 230 : ((x + y + f * 3) & 127) + grain)};
                    bitmap.SetPixel(x, y, c);
                }
            result.push_back(std::move(bitmap));
        }
        return result;
    }();
    return frames;
}

std::string DataDir() {
    fs::path dir = TW_BENCH_DATA_DIR;
    fs::create_directories(dir);
    return dir.string();
}

bool ToolInstalled(const std::string& tool) {
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

std::vector<uint8_t> EncodeOurs() {
    TGIFImage gif;
    gif.ReductionMethod = rdOctree;
    gif.DitherMethod = dtFloydSteinberg;
    gif.CompressionMethod = cmLZW;
    for (const TPictureBitmap& frame : Frames()) AddGifFrame(gif, frame, -1, 0, 80);
    TMemoryStream stream;
    gif.SaveToStream(stream);
    return stream.TakeBytes();
}

// Frames per second and file size of each contender, for the ratios.
std::map<std::string, std::pair<double, double>>& Results() {
    static std::map<std::string, std::pair<double, double>> results;
    return results;
}

template <typename Work>
void TimeFrames(benchmark::State& state, const std::string& name, Work work) {
    double seconds = 0;
    double size = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        size = work();
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (size <= 0) {
            state.SkipWithError("the encoder failed");
            return;
        }
    }
    double fps = kFrames * static_cast<double>(state.iterations()) / seconds;
    state.counters["frames_per_second"] = fps;
    state.counters["file_KB"] = size / 1024.0;
    Results()[name] = {fps, size};
}

double FileSize(const std::string& path) {
    std::error_code error;
    auto size = fs::file_size(path, error);
    return error ? 0 : static_cast<double>(size);
}

void BM_EncodeAnimation_Ours(benchmark::State& state) {
    Frames();
    TimeFrames(state, "ours", [] { return static_cast<double>(EncodeOurs().size()); });
}

void BM_EncodeAnimation_ImageMagick(benchmark::State& state) {
    if (!ToolInstalled("convert")) {
        state.SkipWithError("ImageMagick's convert is not installed");
        return;
    }
    // The same frames as binary PPM files.
    std::string dir = DataDir() + "/frames";
    fs::create_directories(dir);
    for (int f = 0; f < kFrames; ++f) {
        char name[64];
        std::snprintf(name, sizeof name, "/f%03d.ppm", f);
        std::string path = dir + name;
        if (fs::exists(path)) continue;
        const TPictureBitmap& bitmap = Frames()[static_cast<size_t>(f)];
        std::string header = "P6\n" + std::to_string(kWidth) + " " + std::to_string(kHeight) + "\n255\n";
        std::vector<uint8_t> bytes(header.begin(), header.end());
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                TGIFColor c = bitmap.GetPixel(x, y);
                bytes.insert(bytes.end(), {c.Red, c.Green, c.Blue});
            }
        WriteFileBytes(path, bytes.data(), bytes.size());
    }
    std::string out = DataDir() + "/magick.gif";
    std::string command = "convert -delay 8 -loop 0 '" + dir + "'/f*.ppm -dither FloydSteinberg -colors 256 '" + out + "'";
    TimeFrames(state, "ImageMagick", [&] { return std::system(command.c_str()) == 0 ? FileSize(out) : 0.0; });
}

void BM_ReduceAndDither_Gifsicle(benchmark::State& state) {
    if (!ToolInstalled("gifsicle")) {
        state.SkipWithError("gifsicle is not installed");
        return;
    }
    // gifsicle reads GIF only: it gets our animation and reduces all frames
    // to one 256-colour palette with dithering, then codes them again.
    std::string in = DataDir() + "/ours.gif";
    std::vector<uint8_t> ours = EncodeOurs();
    WriteFileBytes(in, ours.data(), ours.size());
    std::string out = DataDir() + "/gifsicle.gif";
    std::string command = "gifsicle --colors 256 --dither '" + in + "' -o '" + out + "'";
    TimeFrames(state, "gifsicle", [&] { return std::system(command.c_str()) == 0 ? FileSize(out) : 0.0; });
}

}  // namespace

BENCHMARK(BM_EncodeAnimation_Ours)->Unit(benchmark::kMillisecond)->Iterations(3);
// ImageMagick takes about a minute per run here: one run is enough.
BENCHMARK(BM_EncodeAnimation_ImageMagick)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ReduceAndDither_Gifsicle)->Unit(benchmark::kMillisecond)->Iterations(3);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    auto& results = Results();
    if (results.count("ours")) {
        for (const char* reference : {"ImageMagick", "gifsicle"}) {
            if (!results.count(reference)) continue;
            std::printf("ours / %s: %.2fx the frames per second, %.2fx the file size\n", reference,
                        results["ours"].first / results[reference].first,
                        results["ours"].second / results[reference].second);
        }
    }
    return 0;
}
