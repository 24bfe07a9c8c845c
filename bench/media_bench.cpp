// The movie's media readers at work: a WAVE sound encoded as SWF ADPCM
// (seconds of audio per second) and BMP pictures loaded into the in-memory
// DIB (MB/s of file), beside ImageMagick decoding the same BMP files.
//
// The inputs are made once by ffmpeg and ImageMagick in the bench-data
// folder; without those tools the benchmarks that need them are skipped.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "movie/dib_reader.h"
#include "movie/sound_reader.h"
#include "platform/stream.h"

namespace {

std::string DataFile(const std::string& name, const std::string& command) {
    namespace fs = std::filesystem;
    fs::path dir = TW_BENCH_DATA_DIR;
    fs::create_directories(dir);
    fs::path target = dir / name;
    if (!fs::exists(target)) {
        fs::path part = dir / ("part-" + name);
        std::string line = command;
        line.replace(line.find("{out}"), 5, "'" + part.string() + "'");
        if (std::system((line + " >/dev/null 2>&1").c_str()) != 0 || !fs::exists(part)) return "";
        fs::rename(part, target);
    }
    return target.string();
}

// 60 s of stereo 16-bit sound at 44.1 kHz: a chord with noise, so the
// encoder sees more than a pure tone.
std::string Wave() {
    return DataFile("stereo-60s.wav",
                    "ffmpeg -nostdin -y -f lavfi -i \"aevalsrc=0.3*sin(2*PI*440*t)+0.2*sin(2*PI*660*t)+0.05*random(0)|"
                    "0.3*sin(2*PI*550*t)+0.05*random(1):s=44100:d=60\" -c:a pcm_s16le {out}");
}

std::string Bmp(const std::string& kind) {
    std::string options = kind == "24bit" ? "-type truecolor BMP3:" : "-colors 200 -type palette -compress RLE BMP3:";
    return DataFile("picture-" + kind + ".bmp",
                    "convert -seed 3 -size 1600x1200 plasma:fractal -blur 0x2 " + options + "{out}");
}

void BM_WaveToSWFADPCM(benchmark::State& state) {
    std::string file = Wave();
    if (file.empty()) {
        state.SkipWithError("ffmpeg could not make the sound");
        return;
    }
    TWaveReader reader(file);
    int bits = static_cast<int>(state.range(0));
    for (auto _ : state) {
        TMemoryStream out;
        TBitsEngine be(out);
        reader.WritePCMEventData(be, bits);
        benchmark::DoNotOptimize(out.Memory());
    }
    state.counters["audio_s_per_s"] =
        benchmark::Counter(reader.Duration * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_WaveToSWFADPCM)->Arg(2)->Arg(4)->Arg(5)->Unit(benchmark::kMillisecond);

void BM_LoadBMP(benchmark::State& state, const std::string& kind) {
    std::string file = Bmp(kind);
    if (file.empty()) {
        state.SkipWithError("ImageMagick could not make the picture");
        return;
    }
    std::vector<uint8_t> bytes = ReadFileBytes(file);
    for (auto _ : state) {
        TMemoryStream in(bytes);
        TBMPReader bmp;
        bmp.LoadFromStream(in);
        benchmark::DoNotOptimize(bmp.Bits);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes.size()));
}
BENCHMARK_CAPTURE(BM_LoadBMP, 24bit, std::string("24bit"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LoadBMP, rle8, std::string("rle8"))->Unit(benchmark::kMillisecond);

// ImageMagick decoding the same file to raw RGB, process start included
// (which is how the movie builder's callers would meet it).
void BM_ImageMagickBMP(benchmark::State& state, const std::string& kind) {
    std::string file = Bmp(kind);
    if (file.empty()) {
        state.SkipWithError("ImageMagick could not make the picture");
        return;
    }
    int64_t size = static_cast<int64_t>(std::filesystem::file_size(file));
    std::string command = "convert '" + file + "' -depth 8 rgb:/dev/null";
    for (auto _ : state)
        if (std::system(command.c_str()) != 0) state.SkipWithError("convert failed");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * size);
}
BENCHMARK_CAPTURE(BM_ImageMagickBMP, 24bit, std::string("24bit"))->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_ImageMagickBMP, rle8, std::string("rle8"))->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
