// Builds a project in memory, with no display, takes its snapshot and
// prints it, then the project file it saves as. With a project file as
// argument, that project is opened (against the templates installed below
// the program folder) instead of the built-in sample.
#include <cstdio>
#include <exception>
#include <string>

#include "app/project.h"
#include "app/project_file.h"
#include "app/templates.h"

namespace {

std::string Text(const WideString& text) { return UcSystem::WideToUtf8(text); }

void BuildSample(TProjectState& state) {
    auto style = std::make_unique<FontStyleRecord>();
    style->Name = u"default";
    state.CmbFontFormat.push_back(std::move(style));
    auto title = std::make_unique<FontStyleRecord>();
    title->Name = u"Title";
    title->Size = 32;
    title->BorderSize = 2;
    state.CmbFontFormat.push_back(std::move(title));

    auto stage = std::make_unique<StageRecord>();
    stage->FormattedText =
        u"<Txt.StrFormatedText><Line><StrText format=\"Title\">Hello</StrText><StrText format=\"default\"> "
        u"</StrText><StrText format=\"default\">world</StrText></Line></Txt.StrFormatedText>";
    state.LbxText.push_back(std::move(stage));
    state.ListViewBgEffectMultiple.push_back({u"stars.swf", u"Space"});
}

void Print(const ProjectRecord& p) {
    std::printf("movie %dx%d at %d fps, border %s %d, compress %s\n", p.Width, p.Height, p.FrameRate,
                p.BorderOn ? "on" : "off", p.BorderSize, p.Compress ? "on" : "off");
    std::printf("sound %s \"%s\"\n", p.SoundOn ? "on" : "off", Text(p.SoundFile).c_str());
    std::printf("background kind %d, %zu pictures, %zu effects\n", p.BgKind, p.Pictures.size(), p.BgEffects.size());
    for (size_t i = 0; i < p.BgEffects.size(); ++i)
        std::printf("  effect %zu: %s\n", i, p.BgEffects[i] != nullptr ? Text(p.BgEffects[i]->TemplateName).c_str() : "(not installed)");
    std::printf("font XML %s\n", Text(p.FontXml).c_str());
    for (const FontStyleRecord* style : p.FontStyles)
        std::printf("  style %s uses \"%s\"\n", Text(style->Name).c_str(),
                    Text(CollectStyleChars(p.Stages, style->Name)).c_str());
    std::printf("%zu stages, one by one %s\n", p.Stages.size(), p.OneByOne ? "on" : "off");
}

}  // namespace

int main(int argc, char** argv) {
    try {
        TProjectState state;
        TScanProblems skipped;
        ScanTemplates(state, &skipped);
        for (const WideString& line : skipped) std::fprintf(stderr, "skipped %s\n", Text(line).c_str());
        if (argc > 1) {
            TProjectReadProblems problems;
            if (!ReadProjectFile(UcSystem::Utf8ToWide(argv[1]), state, &problems)) {
                std::fprintf(stderr, "%s: no such file\n", argv[1]);
                return 1;
            }
            for (const WideString& line : problems) std::fprintf(stderr, "%s\n", Text(line).c_str());
        } else {
            BuildSample(state);
        }
        std::unique_ptr<ProjectRecord> project = GatherProject(state);
        Print(*project);
        std::printf("\n%s", ProjectFileText(*project).c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
