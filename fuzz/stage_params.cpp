// A project file read into a project state, then each stage's formatted
// text and the project's font XML merged with the effect's values into the
// parameter documents the templates get, and each document read back as
// XML the way a template reads it.
#include "app/effect_builders.h"
#include "app/project_file.h"
#include "app/xml_document.h"
#include "fuzz/fuzz_input.h"

namespace {

std::unique_ptr<EffectRecord> Effect(const WideString& theme, const WideString& name) {
    auto effect = std::make_unique<EffectRecord>();
    effect->ThemeName = theme;
    effect->TemplateName = name;
    effect->Params.push_back({u"Txt.Color", u"#FF0000", u"color", u"Colour", u"#FF0000", u"", u"", u""});
    effect->Params.push_back({u"Txt.Speed", u"2", u"integer", u"Speed", u"2", u"1", u"9", u""});
    return effect;
}

void ReadBack(const WideString& document) {
    try {
        TAppXmlDocument xml(document);
    } catch (const Exception&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TQuietMessages quiet;
    TProjectState state;
    state.CmbPreLoader.push_back({u"bar.swf", Effect(u"", u"bar.swf")});
    for (TEffectTree* tree : {&state.TreeBg, &state.TreeTextEffect, &state.TreeImageEffect}) {
        tree->Themes.push_back({u"Basic", {}});
        tree->Themes[0].Templates.push_back({u"a.swf", Effect(u"Basic", u"a.swf")});
    }
    TProjectReadProblems problems;
    ReadProjectText(std::string(reinterpret_cast<const char*>(data), size), state, &problems);
    std::unique_ptr<ProjectRecord> project = GatherProject(state);
    try {
        ReadBack(PreloaderParamsValue(*project));
    } catch (const Exception&) {
    }
    for (size_t i = 0; i < project->BgEffects.size(); ++i) {
        try {
            ReadBack(BgEffectParamsValue(*project, static_cast<int>(i)));
        } catch (const Exception&) {
        }
    }
    for (size_t i = 0; i < project->Stages.size(); ++i) {
        try {
            const int index = static_cast<int>(i);
            ReadBack(project->Stages[i]->PictureStage ? ImageStageParamsValue(*project, index, TPicturePosition{})
                                                      : TextStageParamsValue(*project, index));
        } catch (const Exception&) {
        }
    }
    return 0;
}
