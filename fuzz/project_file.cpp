// A project file read into a project state that has templates installed,
// and the same bytes as a template declaration and as a stage's formatted
// text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/project_file.h"
#include "app/templates.h"

namespace {

std::unique_ptr<EffectRecord> Effect(const WideString& theme, const WideString& name, const WideString& param) {
    auto effect = std::make_unique<EffectRecord>();
    effect->ThemeName = theme;
    effect->TemplateName = name;
    effect->Params.push_back({param, u"1", u"integer", u"Caption", u"1", u"0", u"9", u""});
    return effect;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);

    TProjectState state;
    state.CmbPreLoader.push_back({u"bar.swf", Effect(u"", u"bar.swf", u"Bg.Color")});
    for (TEffectTree* tree : {&state.TreeBg, &state.TreeTextEffect, &state.TreeImageEffect}) {
        tree->Themes.push_back({u"Basic", {}});
        tree->Themes[0].Templates.push_back({u"a.swf", Effect(u"Basic", u"a.swf", u"P")});
    }
    TProjectReadProblems problems;
    ReadProjectText(bytes, state, &problems);
    std::unique_ptr<ProjectRecord> project = GatherProject(state);
    ProjectFileText(*project);

    WideString text = UcSystem::Utf8ToWide(bytes);
    try {
        ParseParamsDefine(text);
    } catch (const Exception&) {
    }
    StageRecord stage;
    stage.FormattedText = text;
    try {
        CollectStyleChars({&stage}, u"default");
    } catch (const Exception&) {
    }
    return 0;
}
