// Frame capture: 100 frames of a 550 x 400 movie taken into a GIF and into
// an AVI (loading, stepping, painting, colour reduction and writing the
// file), beside the player's own time for loading and stepping the same 100
// frames. Most of the work runs in the player's processes, so the times are
// wall-clock and the ratio is of real time. The movie is ffmpeg's test
// pattern, harder on colour reduction than flat colour.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "bench/ratio_reporter.h"
#include "app/publish_image.h"

namespace fs = std::filesystem;

namespace {

constexpr int kFrames = 100;

struct TFixture {
    std::string dir, movie;
    TFixture() {
        dir = (fs::temp_directory_path() / "tw-capture-bench-XXXXXX").string();
        if (::mkdtemp(dir.data()) == nullptr) {
            dir.clear();
            return;
        }
        std::string path = dir + "/pattern.swf";
        std::string command = "ffmpeg -loglevel error -y -f lavfi -i testsrc=s=550x400:d=10 -r 12 -c:v flv1 -f swf '" +
                              path + "' </dev/null";
        if (std::system(command.c_str()) == 0) movie = path;
    }
    ~TFixture() {
        std::error_code ignored;
        if (!dir.empty()) fs::remove_all(dir, ignored);
    }
};

const TFixture& Fixture() {
    static TFixture fixture;
    return fixture;
}

bool Ready(benchmark::State& state) {
    std::string why;
    if (!TPlayerHarness::Available(&why)) {
        state.SkipWithError(why.c_str());
        return false;
    }
    if (Fixture().movie.empty()) {
        state.SkipWithError("ffmpeg could not make the movie");
        return false;
    }
    return true;
}

// The reference: the player loads the movie and steps 100 frames, each
// read back as it would be for a capture.
void BM_PlayerStep100(benchmark::State& state) {
    if (!Ready(state)) return;
    TShockwaveFlash player;
    for (auto _ : state) {
        player.SetMovie(UcSystem::Utf8ToWide(Fixture().movie));
        for (int i = 0; i < kFrames; ++i) player.Advance();
    }
    state.counters["frames_per_second"] =
        benchmark::Counter(double(kFrames) * double(state.iterations()), benchmark::Counter::kIsRate);
}

void Capture(benchmark::State& state, TPublishKind kind, const char* name) {
    if (!Ready(state)) return;
    static TFormPublishImage form;
    form.MaxFrames = kFrames;
    TCaptureJob job;
    job.Kind = kind;
    job.MoviePath = UcSystem::Utf8ToWide(Fixture().movie);
    job.OutputPath = UcSystem::Utf8ToWide(Fixture().dir + "/" + name);
    job.Width = 550;
    job.Height = 400;
    job.FramesPerSecond = 12;
    job.StageCount = 1;
    for (auto _ : state) {
        TPublishImageResult result = ExportMovieImage(form, job);
        if (result.Frames != kFrames) state.SkipWithError("the capture did not take 100 frames");
    }
    state.counters["frames_per_second"] =
        benchmark::Counter(double(kFrames) * double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_CaptureGif100(benchmark::State& state) { Capture(state, pkGIF, "capture.gif"); }
void BM_CaptureAvi100(benchmark::State& state) { Capture(state, pkAVI, "capture.avi"); }

BENCHMARK(BM_PlayerStep100)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CaptureGif100)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CaptureAvi100)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    Fixture();  // the movie before any timing
    // The player's start-up belongs to no measurement.
    if (TPlayerHarness::Available()) {
        try {
            TPlayerHarness::Shared();
        } catch (const EPlayerError& e) {
            std::fprintf(stderr, "%s\n", e.what());
        }
    }
    TRealTimeCollector reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::map<std::string, double>& times = reporter.Times();
    const std::string reference = "BM_PlayerStep100/iterations:3/real_time";
    for (const char* work : {"BM_CaptureGif100/iterations:3/real_time", "BM_CaptureAvi100/iterations:3/real_time"})
        if (times.count(work) && times.count(reference) && times[reference] > 0)
            std::printf("%s / player's own steps (real time): %.2f\n", work, times[work] / times[reference]);
    benchmark::Shutdown();
    return 0;
}
