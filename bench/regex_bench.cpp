// Searching a few MB of text for every match of typical patterns, with
// TRegExpr and with PCRE2's interpreter (no JIT) under the same options.
// Each pattern runs on both; the end of the run prints, per pattern, the
// CPU time of TRegExpr divided by that of PCRE2 (below 1 = faster than
// PCRE2; CPU time, since the machines here are shared).
// The match counts of both must agree, or the case reports an error.
#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <random>
#include <stdexcept>
#include <string>

#include "controls/regexpr.h"

namespace {

struct Case {
    const char* name;
    const char* pattern;
    bool caseless;
};

const Case kCases[] = {
    {"literal", "Tamblewick", false},
    {"word_suffix", "[a-z]+ing", false},
    {"date", "\\d{4}-\\d{2}-\\d{2}", false},
    {"email", "[\\w.]+@[\\w]+\\.com", false},
    {"alternation", "(intro|banner|movie)s?\\b", false},
    {"caseless_words", "stage (\\w+) frame", true},
    {"repeated_word", "\\b(\\w+) \\1\\b", false},
    {"line_path", "[a-z]:\\\\[^\\r\\n]*\\.swf", true},
};

// About 4 MB of lines of words, numbers, dates, mail addresses and paths.
const std::string& Text() {
    static const std::string text = [] {
        static const char* words[] = {"the",    "stage",  "frame", "movie",   "intro",   "banner", "effect",
                                      "moving", "sprite", "text",  "picture", "sound",   "loading", "shape",
                                      "is",     "a",      "and",   "of",      "playing", "Frame",  "Stage"};
        std::mt19937 rng(42);
        std::string t;
        t.reserve(4200000);
        while (t.size() < 4000000) {
            int n = 5 + static_cast<int>(rng() % 10);
            for (int i = 0; i < n; ++i) {
                uint32_t r = rng() % 100;
                if (r < 2)
                    t += "2026-" + std::to_string(10 + rng() % 3) + "-" + std::to_string(10 + rng() % 18);
                else if (r < 3)
                    t += "user" + std::to_string(rng() % 1000) + "@example.com";
                else if (r < 4)
                    t += "C:\\movies\\clip" + std::to_string(rng() % 100) + ".swf";
                else if (r < 5)
                    t += std::to_string(rng() % 100000);
                else
                    t += words[rng() % (sizeof(words) / sizeof(words[0]))];
                t += i + 1 < n ? " " : "";
            }
            t += "\r\n";
        }
        t += "Tamblewick\r\n";
        return t;
    }();
    return text;
}

int64_t CountOurs(TRegExpr& re) {
    int64_t count = 0;
    int32_t offset = 1;
    while (re.RunFrom(offset)) {
        ++count;
        offset = static_cast<int32_t>(re.MatchPos(0) + std::max<int64_t>(re.MatchLen(0), 1));
    }
    return count;
}

struct Pcre2 {
    pcre2_code* code = nullptr;
    pcre2_match_data* data = nullptr;
    explicit Pcre2(const Case& c) {
        int error;
        PCRE2_SIZE offset;
        uint32_t options = PCRE2_DOTALL | PCRE2_DOLLAR_ENDONLY | (c.caseless ? PCRE2_CASELESS : 0);
        code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(c.pattern), PCRE2_ZERO_TERMINATED, options, &error, &offset,
                             nullptr);
        if (code == nullptr) throw std::runtime_error(std::string("PCRE2 rejects ") + c.pattern);
        data = pcre2_match_data_create_from_pattern(code, nullptr);
    }
    ~Pcre2() {
        pcre2_match_data_free(data);
        pcre2_code_free(code);
    }
    int64_t Count(const std::string& text) {
        int64_t count = 0;
        PCRE2_SIZE offset = 0;
        auto subject = reinterpret_cast<PCRE2_SPTR>(text.data());
        while (offset <= text.size() && pcre2_match(code, subject, text.size(), offset, 0, data, nullptr) >= 0) {
            ++count;
            PCRE2_SIZE* ov = pcre2_get_ovector_pointer(data);
            offset = ov[1] > ov[0] ? ov[1] : ov[0] + 1;
        }
        return count;
    }
};

void Prepare(TRegExpr& re, const Case& c) {
    re.SetPattern(c.pattern);
    re.SetModifier(1, c.caseless);
    re.SetInputString(Text());
}

void BM_TRegExpr(benchmark::State& state, const Case& c) {
    TRegExpr re;
    Prepare(re, c);
    int64_t count = 0;
    for (auto _ : state) benchmark::DoNotOptimize(count = CountOurs(re));
    if (count != Pcre2(c).Count(Text())) state.SkipWithError("match counts differ from PCRE2");
    state.counters["matches"] = static_cast<double>(count);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(Text().size()));
}

void BM_Pcre2(benchmark::State& state, const Case& c) {
    Pcre2 reference(c);
    int64_t count = 0;
    for (auto _ : state) benchmark::DoNotOptimize(count = reference.Count(Text()));
    state.counters["matches"] = static_cast<double>(count);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(Text().size()));
}

// The application's use: many short subjects, one search each.
void BM_TRegExprDriveLetterPerLine(benchmark::State& state) {
    TRegExpr re;
    re.SetPattern("^[a-z]:");
    re.SetModifier(1, true);
    static const char* paths[] = {"C:\\movies\\intro.swf", "images/banner.png", "d:", "\\\\server\\share\\x.gif"};
    int64_t hits = 0;
    for (auto _ : state)
        for (const char* p : paths) hits += re.MatchString(p);
    benchmark::DoNotOptimize(hits);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * 4);
}

void BM_Pcre2DriveLetterPerLine(benchmark::State& state) {
    Pcre2 reference(Case{"drive", "^[a-z]:", true});
    static const char* paths[] = {"C:\\movies\\intro.swf", "images/banner.png", "d:", "\\\\server\\share\\x.gif"};
    int64_t hits = 0;
    for (auto _ : state)
        for (const char* p : paths)
            hits += pcre2_match(reference.code, reinterpret_cast<PCRE2_SPTR>(p), PCRE2_ZERO_TERMINATED, 0, 0,
                                reference.data, nullptr) >= 0;
    benchmark::DoNotOptimize(hits);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * 4);
}

// Prints the runs as usual and, at the end, each TRegExpr time over the
// PCRE2 time of the same case.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            std::string name = run.benchmark_name();
            bool ours = name.rfind("BM_TRegExpr", 0) == 0;
            std::string key = name.substr(ours ? 11 : 8);
            (ours ? ours_ : theirs_)[key] = run.GetAdjustedCPUTime();
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\nTRegExpr CPU time / PCRE2 (no JIT) CPU time:\n");
        for (const auto& [key, time] : ours_)
            if (theirs_.count(key)) std::printf("  %-28s %6.2f\n", key.c_str(), time / theirs_[key]);
    }

private:
    std::map<std::string, double> ours_, theirs_;
};

}  // namespace

int main(int argc, char** argv) {
    for (const Case& c : kCases) {
        benchmark::RegisterBenchmark((std::string("BM_TRegExpr/") + c.name).c_str(), BM_TRegExpr, c)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((std::string("BM_Pcre2/") + c.name).c_str(), BM_Pcre2, c)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark("BM_TRegExprDriveLetterPerLine", BM_TRegExprDriveLetterPerLine);
    benchmark::RegisterBenchmark("BM_Pcre2DriveLetterPerLine", BM_Pcre2DriveLetterPerLine);
    benchmark::Initialize(&argc, argv);
    Text();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
