// A console reporter that prints, after the table, the CPU-time ratio of
// each measurement to its reference measured in the same run: the machines
// are shared and noisy, so only the ratio means much. Names are the full
// benchmark names, arguments included ("BM_Parse/208").
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

class TRatioReporter : public benchmark::ConsoleReporter {
public:
    explicit TRatioReporter(std::vector<std::pair<std::string, std::string>> pairs) : pairs_(std::move(pairs)) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && !run.error_occurred) cpu_[run.benchmark_name()] = run.GetAdjustedCPUTime();
        ConsoleReporter::ReportRuns(runs);
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        for (const auto& [work, reference] : pairs_) {
            if (!cpu_.count(work) || !cpu_.count(reference) || cpu_[reference] <= 0) continue;
            std::printf("%s / %s (CPU time): %.2f\n", work.c_str(), reference.c_str(), cpu_[work] / cpu_[reference]);
        }
    }

private:
    std::vector<std::pair<std::string, std::string>> pairs_;
    std::map<std::string, double> cpu_;
};

// A console reporter that also keeps each benchmark's real time per
// iteration by its full name, for benchmarks whose ratios are of wall time
// (the player runs in another process, so the CPU time of this one says
// little).
class TRealTimeCollector : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (!run.error_occurred) times_[run.benchmark_name()] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double>& Times() { return times_; }

private:
    std::map<std::string, double> times_;
};
