// Composing a project of 20 text stages, a background effect and a font
// into a compressed movie, beside zlib compressing a body of the size of
// the composed movie (the part of the work no composer can skip).
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <filesystem>
#include <memory>
#include <vector>

#include "app/app_utils.h"
#include "app/composer.h"
#include "app/tests/kit/template_kit.h"
#include "bench/ratio_reporter.h"

namespace {

struct TBenchProject {
    std::string folder;
    FontStyleRecord style;
    EffectRecord background;
    std::vector<std::unique_ptr<StageRecord>> stages;
    ProjectRecord project;

    TBenchProject() {
        folder = (std::filesystem::temp_directory_path() / ("tw-compose-bench-" + std::to_string(::getpid()))).string();
        std::filesystem::create_directories(folder + "/text/kit");
        std::filesystem::create_directories(folder + "/background/kit");
        TKitTemplate kit;
        kit.Declaration = "<ParamsDefine><Txt.Speed type=\"integer\" caption=\"Speed\" default=\"3\"/></ParamsDefine>";
        kit.FillColor = 0x336699;
        WriteKitTemplate(folder + "/text/kit/stage.swf", kit);
        WriteKitTemplate(folder + "/background/kit/waves.swf", kit);
        SetProgramFolder(UcSystem::Utf8ToWide(folder + "/"));
        style.Name = u"default";
        style.FontName = u"DejaVu Sans";
        background.ThemeName = u"kit";
        background.TemplateName = u"waves.swf";
        project.Width = 550;
        project.Height = 400;
        project.FrameRate = 24;
        project.Compress = true;
        project.BgKind = bkSolid;
        project.BorderOn = true;
        project.BorderSize = 2;
        project.BgEffectsOn = true;
        project.BgEffects = {&background};
        project.FontStyles = {&style};
        for (int i = 0; i < 20; ++i) {
            auto stage = std::make_unique<StageRecord>();
            stage->Effect = std::make_unique<EffectRecord>();
            stage->Effect->ThemeName = u"kit";
            stage->Effect->TemplateName = u"stage.swf";
            stage->Effect->Params.push_back({u"Txt.Speed", u"3", u"integer", u"Speed", u"3", u"", u"", u""});
            stage->FormattedText = u"<Txt.StrFormatedText><Txt.StrLine><StrText format=\"default\">Stage number " +
                                   UcSystem::Utf8ToWide(std::to_string(i)) +
                                   u" of the intro</StrText></Txt.StrLine></Txt.StrFormatedText>";
            stage->EnterTime = 0.5f * float(i);
            project.Stages.push_back(stage.get());
            stages.push_back(std::move(stage));
        }
        project.FontXml = BuildFontXml(project.FontStyles);
    }
    ~TBenchProject() {
        SetProgramFolder(u"");
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
};

TBenchProject& Project() {
    static TBenchProject project;
    return project;
}

void ComposeTwentyStages(benchmark::State& state) {
    TBenchProject& bench = Project();
    size_t bytes = 0;
    for (auto _ : state) {
        std::vector<uint8_t> movie = ComposeMovieBytes(bench.project);
        bytes = movie.size();
        benchmark::DoNotOptimize(movie.data());
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["movie_bytes"] = double(bytes);
}

void ReferenceZlibBody(benchmark::State& state) {
    TBenchProject& bench = Project();
    ProjectRecord plain = bench.project;
    plain.Compress = false;
    std::vector<uint8_t> body = ComposeMovieBytes(plain);
    std::vector<uint8_t> out(compressBound(uLong(body.size())));
    for (auto _ : state) {
        uLongf size = uLongf(out.size());
        compress2(out.data(), &size, body.data(), uLong(body.size()), Z_DEFAULT_COMPRESSION);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(ComposeTwentyStages)->Unit(benchmark::kMillisecond);
BENCHMARK(ReferenceZlibBody)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    TRatioReporter reporter(std::vector<std::pair<std::string, std::string>>{{"ComposeTwentyStages", "ReferenceZlibBody"}});
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
