// What the real-player harness costs a test: starting it, loading a movie,
// and stepping one frame at a few player sizes. The frames are a test pattern
// made by ffmpeg, which is harder on the PNG hand-over than flat colour. The
// work happens in other processes, so the times are wall-clock.
#include "platform/player/player_harness.h"

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

const std::string& PatternMovie() {
    // Removes the movie's folder at exit.
    static const struct TMovie {
        std::string dir, file;
        TMovie() {
            dir = (fs::temp_directory_path() / "tw-player-bench-XXXXXX").string();
            if (::mkdtemp(dir.data()) == nullptr) {
                dir.clear();
                return;
            }
            std::string path = dir + "/pattern.swf";
            std::string command = "ffmpeg -loglevel error -y -f lavfi -i testsrc=s=550x400:d=2 -r 12 -c:v flv1 -f swf '" +
                                  path + "' </dev/null";
            if (std::system(command.c_str()) == 0) file = path;
        }
        ~TMovie() {
            std::error_code ignored;
            if (!dir.empty()) fs::remove_all(dir, ignored);
        }
    } movie;
    return movie.file;
}

bool Ready(benchmark::State& state) {
    std::string why;
    if (!TPlayerHarness::Available(&why)) {
        state.SkipWithError(why.c_str());
        return false;
    }
    if (PatternMovie().empty()) {
        state.SkipWithError("ffmpeg could not make the movie");
        return false;
    }
    return true;
}

// Node, Chromium, and the player's wasm compiled and proven to step.
void BM_ColdStart(benchmark::State& state) {
    if (!Ready(state)) return;
    for (auto _ : state) {
        TPlayerHarness player;
        benchmark::DoNotOptimize(&player);
    }
}
BENCHMARK(BM_ColdStart)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_Load(benchmark::State& state) {
    if (!Ready(state)) return;
    TPlayerHarness& player = TPlayerHarness::Shared();
    for (auto _ : state) benchmark::DoNotOptimize(player.Load(PatternMovie()));
}
BENCHMARK(BM_Load)->UseRealTime()->Unit(benchmark::kMillisecond);

// One frame: tick, canvas to PNG, PNG to raw RGBA on disk, read back.
void BM_StepFrame(benchmark::State& state) {
    if (!Ready(state)) return;
    TPlayerHarness& player = TPlayerHarness::Shared();
    int width = int(state.range(0)), height = int(state.range(1));
    player.Load(PatternMovie(), width, height);
    int stepped = 0;
    for (auto _ : state) {
        // Reload before the movie would loop, so every frame is a fresh one.
        if (++stepped % 20 == 0) {
            state.PauseTiming();
            player.Load(PatternMovie(), width, height);
            state.ResumeTiming();
        }
        benchmark::DoNotOptimize(player.Step(1));
    }
}
BENCHMARK(BM_StepFrame)->Args({64, 48})->Args({550, 400})->Args({1280, 720})->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
