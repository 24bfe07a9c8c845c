// The shipped background effects play under everything else for the whole
// movie, so each must cost the player little per frame. Each is composed
// into a 550 x 400 movie and played for 480 frames, in steps of four frames
// with one picture read back per step, beside the same movie without an
// effect. The player works in its own processes: times are wall-clock and
// the ratio is of real time.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/ratio_reporter.h"
#include "app/app_utils.h"
#include "app/composer.h"
#include "platform/player/player_harness.h"
#include "app/templates.h"

namespace fs = std::filesystem;

namespace {

constexpr int kFrames = 480;
constexpr int kFramesPerStep = 4;
constexpr int kRate = 24;

const char* const kEffects[] = {"Classic/Gradient Sweep.swf", "Classic/Starfield.swf", "Modern/Bubbles.swf",
                                "Modern/Picture Pan.swf"};

// The composed movies, made before any timing: "" is the one without an
// effect.
struct TFixture {
    std::string dir;
    std::map<std::string, std::string> movies;

    TFixture() {
        dir = (fs::temp_directory_path() / "tw-backgrounds-bench-XXXXXX").string();
        if (::mkdtemp(dir.data()) == nullptr) {
            dir.clear();
            return;
        }
        SetProgramFolder(UcSystem::Utf8ToWide(std::string(TW_PROGRAM_DIR) + "/"));
        ProjectRecord project;
        project.Width = 550;
        project.Height = 400;
        project.FrameRate = kRate;
        project.BgKind = bkSolid;
        project.SolidColor = RGBColor(0x66, 0x33, 0x00);
        Compose(project, "");
        for (const char* effect : kEffects) {
            const std::string path = std::string(TW_PROGRAM_DIR) + "/background/" + effect;
            std::unique_ptr<EffectRecord> record;
            if (!fs::exists(path) || !ReadParamsDefine(UcSystem::Utf8ToWide(path), record)) continue;
            const fs::path relative(effect);
            record->ThemeName = UcSystem::Utf8ToWide(relative.parent_path().string());
            record->TemplateName = UcSystem::Utf8ToWide(relative.filename().string());
            project.BgEffectsOn = true;
            project.BgEffects = {record.get()};
            Compose(project, effect);
        }
    }
    ~TFixture() {
        std::error_code ignored;
        if (!dir.empty()) fs::remove_all(dir, ignored);
    }

    void Compose(const ProjectRecord& project, const std::string& name) {
        const std::string path = dir + "/movie" + std::to_string(movies.size()) + ".swf";
        try {
            ComposeMovie(project, UcSystem::Utf8ToWide(path));
            movies[name] = path;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s: %s\n", name.c_str(), e.what());
        }
    }
};

const TFixture& Fixture() {
    static TFixture fixture;
    return fixture;
}

void Play(benchmark::State& state, const std::string& name) {
    std::string why;
    if (!TPlayerHarness::Available(&why)) {
        state.SkipWithError(why.c_str());
        return;
    }
    auto movie = Fixture().movies.find(name);
    if (movie == Fixture().movies.end()) {
        state.SkipWithError("the movie could not be composed");
        return;
    }
    TPlayerHarness& player = TPlayerHarness::Shared();
    for (auto _ : state) {
        TPlayerOpenOptions open;
        player.Open(movie->second, open);
        for (int frame = 0; frame < kFrames; frame += kFramesPerStep) player.Advance(kFramesPerStep * 1000.0 / kRate);
    }
    state.counters["frames_per_second"] =
        benchmark::Counter(double(kFrames) * double(state.iterations()), benchmark::Counter::kIsRate);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    Fixture();
    // The player's start-up belongs to no measurement.
    if (TPlayerHarness::Available()) {
        try {
            TPlayerHarness::Shared();
        } catch (const EPlayerError& e) {
            std::fprintf(stderr, "%s\n", e.what());
        }
    }
    std::vector<std::string> names = {"BM_NoEffect"};
    benchmark::RegisterBenchmark("BM_NoEffect", [](benchmark::State& state) { Play(state, ""); })
        ->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);
    for (const char* effect : kEffects) {
        const std::string name = "BM_" + fs::path(effect).stem().string();
        names.push_back(name);
        benchmark::RegisterBenchmark(name.c_str(), [effect](benchmark::State& state) { Play(state, effect); })
            ->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);
    }

    TRealTimeCollector reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::map<std::string, double>& times = reporter.Times();
    const std::string reference = "BM_NoEffect/iterations:3/real_time";
    for (size_t i = 1; i < names.size(); ++i) {
        const std::string work = names[i] + "/iterations:3/real_time";
        if (times.count(work) && times.count(reference) && times[reference] > 0)
            std::printf("%s / movie without an effect (real time): %.2f\n", names[i].c_str(),
                        times[work] / times[reference]);
    }
    benchmark::Shutdown();
    return 0;
}
