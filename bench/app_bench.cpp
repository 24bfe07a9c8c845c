// The project file of a large project (200 stages with effects, 20 font
// styles) written and read, beside plain references in the same run:
// - writing: the same key=value lines joined into one string;
// - reading: the same bytes split into an unordered_map of keys and values.
// Each ratio is the project file's time over its reference's.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <unordered_map>

#include "bench/ratio_reporter.h"
#include "app/project_file.h"

namespace {

std::unique_ptr<EffectRecord> Effect(const WideString& theme, const WideString& name) {
    auto effect = std::make_unique<EffectRecord>();
    effect->ThemeName = theme;
    effect->TemplateName = name;
    for (int p = 0; p < 8; ++p)
        effect->Params.push_back({u"Txt.Param" + UcSystem::Utf8ToWide(std::to_string(p)), u"42", u"integer",
                                  u"Параметр", u"1", u"0", u"100", u""});
    return effect;
}

// A project state with its templates, built once.
TProjectState& LargeProject() {
    static std::unique_ptr<TProjectState> state = [] {
        auto s = std::make_unique<TProjectState>();
        s->TreeTextEffect.Themes.push_back({u"Basic", {}});
        s->TreeTextEffect.Themes[0].Templates.push_back({u"fade.swf", Effect(u"Basic", u"fade.swf")});
        for (int f = 0; f < 20; ++f) {
            s->CmbFontFormat.push_back(std::make_unique<FontStyleRecord>());
            s->CmbFontFormat.back()->Name = u"Стиль " + UcSystem::Utf8ToWide(std::to_string(f));
        }
        for (int i = 0; i < 200; ++i) {
            auto stage = NewStageEffect(*s, false);
            stage->FormattedText = u"<Txt.StrFormatedText><Line><StrText format=\"default\">Привет, мир number " +
                                   UcSystem::Utf8ToWide(std::to_string(i)) + u"</StrText></Line></Txt.StrFormatedText>";
            stage->EnterTime = 0.1f * static_cast<float>(i);
            s->LbxText.push_back(std::move(stage));
        }
        return s;
    }();
    return *state;
}

const std::string& LargeFile() {
    static const std::string text = ProjectFileText(*GatherProject(LargeProject()));
    return text;
}

std::vector<std::pair<std::string, std::string>> Lines(const std::string& text) {
    std::vector<std::pair<std::string, std::string>> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        size_t equals = line.find('=');
        if (equals != std::string::npos) lines.emplace_back(line.substr(0, equals), line.substr(equals + 1));
        start = end + 1;
    }
    return lines;
}

void ProjectFileWrite(benchmark::State& st) {
    auto project = GatherProject(LargeProject());
    for (auto _ : st) benchmark::DoNotOptimize(ProjectFileText(*project));
    st.SetBytesProcessed(static_cast<int64_t>(st.iterations()) * static_cast<int64_t>(LargeFile().size()));
}

void ReferenceJoinLines(benchmark::State& st) {
    auto lines = Lines(LargeFile());
    for (auto _ : st) {
        std::string text = "[OPTIONS]\r\n";
        for (const auto& [key, value] : lines) text += key + "=" + value + "\n";
        benchmark::DoNotOptimize(text);
    }
    st.SetBytesProcessed(static_cast<int64_t>(st.iterations()) * static_cast<int64_t>(LargeFile().size()));
}

void ProjectFileRead(benchmark::State& st) {
    TProjectState& templates = LargeProject();
    for (auto _ : st) {
        TProjectState state;
        state.TreeTextEffect.Themes.push_back({u"Basic", {}});
        state.TreeTextEffect.Themes[0].Templates.push_back(
            {u"fade.swf", CopyEffectRecord(*templates.TreeTextEffect.Themes[0].Templates[0].Effect)});
        ReadProjectText(LargeFile(), state);
        benchmark::DoNotOptimize(state.LbxText.size());
    }
    st.SetBytesProcessed(static_cast<int64_t>(st.iterations()) * static_cast<int64_t>(LargeFile().size()));
}

void ReferenceSplitIntoMap(benchmark::State& st) {
    for (auto _ : st) {
        std::unordered_map<std::string, std::string> values;
        for (auto& [key, value] : Lines(LargeFile())) values.emplace(std::move(key), std::move(value));
        benchmark::DoNotOptimize(values.size());
    }
    st.SetBytesProcessed(static_cast<int64_t>(st.iterations()) * static_cast<int64_t>(LargeFile().size()));
}

BENCHMARK(ProjectFileWrite);
BENCHMARK(ReferenceJoinLines);
BENCHMARK(ProjectFileRead);
BENCHMARK(ReferenceSplitIntoMap);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    LargeFile();  // fixtures before any timing
    TRealTimeCollector reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::map<std::string, double>& times = reporter.Times();
    if (times.count("ProjectFileWrite") && times.count("ReferenceJoinLines"))
        std::printf("write: %.2f x the reference\n", times["ProjectFileWrite"] / times["ReferenceJoinLines"]);
    if (times.count("ProjectFileRead") && times.count("ReferenceSplitIntoMap"))
        std::printf("read: %.2f x the reference\n", times["ProjectFileRead"] / times["ReferenceSplitIntoMap"]);
    return 0;
}
