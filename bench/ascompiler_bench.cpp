// Tokenising and parsing a 10,000-line script, and compiling it into a
// movie's frame actions: lines per second, beside
// `node --check` on the same text saved as JavaScript (the generated script
// keeps to the syntax both languages share). node's start-up, measured on an
// empty file, is taken off its time.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "ascompiler/compile_context.h"
#include "movie/action_script.h"
#include "movie/flash_movie.h"

namespace {

constexpr int kLines = 10000;

std::string MakeScript(int& lines) {
    std::string text;
    lines = 0;
    for (int i = 0; lines < kLines; ++i) {
        std::string n = std::to_string(i);
        text += "function f" + n + "(a, b) {\n"
                "  var x = a * 2 + b / 3 - (a % 7), s = \"item\" + " + n + ";\n"
                "  if (x > 10 && b != 0 || !a) {\n"
                "    x = x - 1; // shrink\n"
                "  } else {\n"
                "    x += 0x1F;\n"
                "  }\n"
                "  for (var i = 0; i < 10; i++) {\n"
                "    list[i] = {name: s, value: x * i, tags: [1, 2.5, 'three']};\n"
                "  }\n"
                "  while (x > 0) { x = x - 3 }\n"
                "  list.sort(function (p, q) { return p.value - q.value })\n"
                "  /* the result */\n"
                "  return obj.member.method(x, typeof b == 'number' ? b : -b, new Array(3))\n"
                "}\n";
        lines += 15;
    }
    return text;
}

struct TFixture {
    std::string Script;
    int Lines = 0;
    std::string File;
    std::string EmptyFile;
    double NodeSeconds = -1;  // for the script, start-up taken off; < 0 when node failed
};

double RunSeconds(const std::string& command) {
    auto start = std::chrono::steady_clock::now();
    int status = std::system(command.c_str());
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return status == 0 ? seconds : -1;
}

const TFixture& Fixture() {
    static TFixture fixture = [] {
        TFixture f;
        f.Script = MakeScript(f.Lines);
        std::filesystem::create_directories(TW_BENCH_DATA_DIR);
        f.File = std::string(TW_BENCH_DATA_DIR) + "/ascompiler_bench.js";
        f.EmptyFile = std::string(TW_BENCH_DATA_DIR) + "/ascompiler_bench_empty.js";
        WriteFileBytes(f.File, f.Script.data(), f.Script.size());
        WriteFileBytes(f.EmptyFile, "", 0);
        double best = 1e9;
        double bestEmpty = 1e9;
        for (int i = 0; i < 5; ++i) {
            double full = RunSeconds("node --check " + f.File);
            double empty = RunSeconds("node --check " + f.EmptyFile);
            if (full < 0 || empty < 0) return f;
            best = std::min(best, full);
            bestEmpty = std::min(bestEmpty, empty);
        }
        f.NodeSeconds = std::max(best - bestEmpty, 1e-6);
        return f;
    }();
    return fixture;
}

void ReportRates(benchmark::State& state, const TFixture& fixture) {
    double lines = static_cast<double>(fixture.Lines) * static_cast<double>(state.iterations());
    double nodeRate = fixture.Lines / fixture.NodeSeconds;
    state.counters["lines_per_second"] = benchmark::Counter(lines, benchmark::Counter::kIsRate);
    state.counters["node_lines_per_second"] = nodeRate;
    // Divided by the elapsed time this is our rate over node's: above 1 is faster.
    state.counters["ratio_to_node"] = benchmark::Counter(lines / nodeRate, benchmark::Counter::kIsRate);
}

// The fixture, or none (the benchmark skipped) when node is missing.
const TFixture* FixtureOrSkip(benchmark::State& state) {
    const TFixture& fixture = Fixture();
    if (fixture.NodeSeconds > 0) return &fixture;
    state.SkipWithError("node --check failed or is missing");
    return nullptr;
}

void BM_ParseActionScript(benchmark::State& state) {
    const TFixture* found = FixtureOrSkip(state);
    if (!found) return;
    const TFixture& fixture = *found;
    TMemoryStream source(std::vector<uint8_t>(fixture.Script.begin(), fixture.Script.end()));
    for (auto _ : state) {
        TCompileContext context;
        source.SetPosition(0);
        auto unit = context.ParseUnit(source);
        benchmark::DoNotOptimize(unit->Root);
    }
    ReportRates(state, fixture);
}

// The whole road of a frame script: parse, code generation, constant pool
// and tidy-up, through the movie builder's compile operation.
void BM_CompileActionScript(benchmark::State& state) {
    const TFixture* found = FixtureOrSkip(state);
    if (!found) return;
    const TFixture& fixture = *found;
    TMemoryStream source(std::vector<uint8_t>(fixture.Script.begin(), fixture.Script.end()));
    for (auto _ : state) {
        TFlashMovie movie(0, 0, 550, 400, 12, true);
        movie.SetVersion(8);
        TFlashActionScript script(&movie);
        if (!script.CompileFromStream(source)) {
            state.SkipWithError(movie.GetMessages().c_str());
            return;
        }
        benchmark::DoNotOptimize(script.ActionList().Count());
    }
    ReportRates(state, fixture);
}

}  // namespace

BENCHMARK(BM_CompileActionScript)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ParseActionScript)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
