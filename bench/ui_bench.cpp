// Start-up: the time from starting the program to the screen showing its
// main window (offscreen), beside a bare Qt program that shows an empty
// widget, measured in the same run. Each program reports its first paint on
// its standard output; only the time to that line counts, not the exit.

#include <benchmark/benchmark.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ratio_reporter.h"

extern char** environ;

namespace {

// Starts the program, waits for its "painted" line and returns the seconds
// to it; the program's exit is awaited outside the time.
double TimeToFirstPaint(const char* program) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    char flag[] = "--report-first-paint";
    char* argv[] = {const_cast<char*>(program), flag, nullptr};
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (spawned != 0) {
        close(pipeFds[0]);
        return -1;
    }
    std::string line;
    char c;
    while (read(pipeFds[0], &c, 1) == 1 && c != '\n') line += c;
    const auto painted = std::chrono::steady_clock::now();
    close(pipeFds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (line != "painted" || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    return std::chrono::duration<double>(painted - start).count();
}

void Run(benchmark::State& state, const char* program) {
    for (auto _ : state) {
        const double seconds = TimeToFirstPaint(program);
        if (seconds < 0) {
            state.SkipWithError("the program did not report its first paint");
            return;
        }
        state.SetIterationTime(seconds);
    }
}

void BM_ProgramFirstPaint(benchmark::State& state) { Run(state, TW_PROGRAM); }
void BM_BareQtFirstPaint(benchmark::State& state) { Run(state, TW_BARE_QT_PROGRAM); }

BENCHMARK(BM_BareQtFirstPaint)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProgramFirstPaint)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    // Offscreen unless the caller chose a platform.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("TW_UI_PLATFORM", "qt", 0);
    // A message box would wait for a user: the program logs it instead.
    setenv("TW_UI_MESSAGE_LOG", "/dev/null", 0);
    benchmark::Initialize(&argc, argv);
    TRealTimeCollector reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto& times = reporter.Times();
    if (times.count("BM_ProgramFirstPaint/iterations:10/manual_time") && times.count("BM_BareQtFirstPaint/iterations:10/manual_time"))
        std::printf("program / bare Qt window (time to first paint): %.2f\n",
                    times["BM_ProgramFirstPaint/iterations:10/manual_time"] /
                        times["BM_BareQtFirstPaint/iterations:10/manual_time"]);
    benchmark::Shutdown();
    return 0;
}
