// Building and writing a movie of 10,000 placed sprites, each with a frame
// script: how many objects per second the movie builder turns into a body.
#include <benchmark/benchmark.h>

#include "movie/action_script.h"
#include "movie/flash_movie.h"
#include "movie/sprites.h"

namespace {

constexpr int kSprites = 10000;

void BuildMovie(TFlashMovie& movie) {
    for (int i = 0; i < kSprites; ++i) {
        TFlashSprite* sprite = movie.AddSprite();
        TFlashActionScript& script = sprite->GetFrameActions();
        script.Push({"count", "count"}, {kPushString, kPushString});
        script.GetVariable();
        script.Increment();
        script.SetVariable();
        script.Stop();
        sprite->ShowFrame();
        TFlashPlaceObject* place = movie.PlaceObject(sprite, static_cast<uint16_t>(i + 1));
        place->SetTranslate(i % 550, i % 400);
        place->SetScale(1.5f, 0.5f);
        place->SetName("clip" + std::to_string(i));
    }
    movie.ShowFrame();
}

void BM_BuildAndWriteMovie(benchmark::State& state) {
    size_t bytes = 0;
    for (auto _ : state) {
        TFlashMovie movie(0, 0, 550, 400, 12, true);
        BuildMovie(movie);
        movie.MakeStream();
        TMemoryStream out;
        movie.SaveToStream(out);
        bytes = static_cast<size_t>(out.GetSize());
    }
    // A sprite and its placement are two objects.
    state.counters["objects_per_second"] =
        benchmark::Counter(2.0 * kSprites * state.iterations(), benchmark::Counter::kIsRate);
    state.counters["file_KB"] = static_cast<double>(bytes) / 1024.0;
}

void BM_WriteBuiltMovie(benchmark::State& state) {
    TFlashMovie movie(0, 0, 550, 400, 12, true);
    BuildMovie(movie);
    for (auto _ : state) {
        movie.MakeStream();
        benchmark::DoNotOptimize(movie.GetBodyStream().GetSize());
    }
    state.counters["objects_per_second"] =
        benchmark::Counter(2.0 * kSprites * state.iterations(), benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(BM_BuildAndWriteMovie)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteBuiltMovie)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
