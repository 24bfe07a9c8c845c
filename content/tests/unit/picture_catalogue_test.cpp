// The shipped picture templates as the application's scan finds them: each
// names the stem of its picture placeholders, and its parameters are ones a
// user can edit without surprises (captions that tell rows apart, defaults
// that lie within their own bounds and choices).
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "app/app_utils.h"
#include "app/templates.h"
#include "controls/ucsystem.h"

namespace {

std::string U8(const WideString& text) { return UcSystem::WideToUtf8(text); }

TEST(PictureCatalogue, EveryPictureTemplateDeclaresItsStemAndEditableParameters) {
    SetProgramFolder(UcSystem::Utf8ToWide(TW_PROGRAM_DIR "/"));
    TEffectTree tree;
    TScanProblems problems;
    ScanEffectFolder(ekImage, tree, &problems);
    SetProgramFolder(u"");
    EXPECT_TRUE(problems.empty()) << U8(problems.front());

    struct TExpected {
        const char* theme;
        const char* file;
        const char* stem;
    };
    const TExpected expected[] = {
        {"Basic", "Fade.swf", "PicFade"},    {"Basic", "Zoom.swf", "PicZoom"},
        {"Basic", "Wipe.swf", "PicWipe"},    {"Motion", "Slide.swf", "PicSlide"},
        {"Motion", "Spin.swf", "PicSpin"},   {"Motion", "Ken Burns.swf", "PicKenBurns"},
    };
    for (const TExpected& e : expected) {
        SCOPED_TRACE(std::string(e.theme) + "/" + e.file);
        TEffectTemplateNode* node = tree.Find(UcSystem::Utf8ToWide(e.theme), UcSystem::Utf8ToWide(e.file));
        ASSERT_NE(node, nullptr);
        EffectRecord& effect = *node->Effect;
        TEffectParam* name = FindParam(effect, u"Img.EffectName");
        ASSERT_NE(name, nullptr);
        EXPECT_EQ(U8(name->Type), "const");
        EXPECT_EQ(U8(name->Default), e.stem);
        // Every picture template times its entrance and exit.
        EXPECT_NE(FindParam(effect, u"Img.EnterFrames"), nullptr);
        EXPECT_NE(FindParam(effect, u"Img.LeaveFrames"), nullptr);

        std::set<std::string> captions;
        for (const TEffectParam& p : effect.Params) {
            SCOPED_TRACE(U8(p.Name));
            EXPECT_TRUE(U8(p.Name).starts_with("Img."));
            EXPECT_FALSE(p.Caption.empty());
            EXPECT_TRUE(captions.insert(U8(p.Caption)).second) << "caption repeated: " << U8(p.Caption);
            const std::string type = U8(p.Type);
            if (type == "integer") {
                const int value = std::stoi(U8(p.Default));
                EXPECT_LE(std::stoi(U8(p.Min)), value);
                EXPECT_GE(std::stoi(U8(p.Max)), value);
            } else if (type == "selection") {
                std::vector<WideString> choices = SelectionChoices(p.Selection);
                EXPECT_NE(std::find(choices.begin(), choices.end(), p.Default), choices.end());
            } else if (type == "bool") {
                EXPECT_TRUE(p.Default == u"true" || p.Default == u"false");
            } else {
                EXPECT_EQ(type, "const");
            }
        }
    }
}

}  // namespace
