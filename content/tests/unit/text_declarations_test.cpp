// The declarations of the shipped text effects as the application reads
// them: every template is in the text tree under its theme, and every
// parameter it shows can be edited into a value the template accepts.
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

class TextDeclarations : public ::testing::Test {
protected:
    void SetUp() override { SetProgramFolder(UcSystem::Utf8ToWide(std::string(TW_PROGRAM_DIR) + "/")); }
    void TearDown() override { SetProgramFolder(u""); }
};

TEST_F(TextDeclarations, TheTextTreeHoldsEveryEffectWithSoundParameters) {
    TEffectTree tree;
    TScanProblems problems;
    ScanEffectFolder(ekText, tree, &problems);
    EXPECT_TRUE(problems.empty()) << U8(problems.front());
    const std::vector<std::pair<std::string, std::vector<std::string>>> expected = {
        {"Basic", {"Fade.swf", "Fly In.swf", "Typewriter.swf"}},
        {"Dynamic", {"Bounce.swf", "Explode.swf", "Rotate.swf", "Zoom.swf"}},
        {"Fancy", {"Blur.swf", "Letter by Letter.swf", "Wave.swf"}},
    };
    ASSERT_EQ(tree.Themes.size(), expected.size());
    for (size_t t = 0; t < expected.size(); ++t) {
        const TEffectTheme& theme = tree.Themes[t];
        EXPECT_EQ(U8(theme.Name), expected[t].first);
        std::vector<std::string> names;
        for (const TEffectTemplateNode& node : theme.Templates) names.push_back(U8(node.FileName));
        EXPECT_EQ(names, expected[t].second);
        for (const TEffectTemplateNode& node : theme.Templates) {
            SCOPED_TRACE(U8(theme.Name) + "/" + U8(node.FileName));
            ASSERT_NE(node.Effect, nullptr);
            const std::vector<TEffectParam>& params = node.Effect->Params;
            EXPECT_GE(params.size(), 4u);
            std::set<std::string> captions, seen;
            bool entrance = false, align = false;
            for (const TEffectParam& p : params) {
                const std::string name = U8(p.Name), type = U8(p.Type), value = U8(p.Default);
                SCOPED_TRACE(name);
                EXPECT_TRUE(name.starts_with("Txt."));
                EXPECT_TRUE(captions.insert(U8(p.Caption)).second) << "caption used twice";
                EXPECT_TRUE(seen.insert(name).second) << "name used twice";
                EXPECT_FALSE(p.Caption.empty());
                if (type == "integer") {
                    const int low = std::stoi(U8(p.Min)), high = std::stoi(U8(p.Max)), v = std::stoi(value);
                    EXPECT_LE(low, v);
                    EXPECT_LE(v, high);
                } else if (type == "selection") {
                    std::vector<WideString> choices = SelectionChoices(p.Selection);
                    EXPECT_GE(choices.size(), 2u);
                    EXPECT_NE(std::find(choices.begin(), choices.end(), p.Default), choices.end());
                } else if (type == "bool") {
                    EXPECT_TRUE(value == "true" || value == "false");
                } else if (type == "color") {
                    EXPECT_EQ(value.size(), 8u);
                } else {
                    ADD_FAILURE() << "type " << type;
                }
                entrance = entrance || name == "Txt.EnterFrames" || name == "Txt.LetterFrames";
                align = align || name == "Txt.TextAlign";
            }
            EXPECT_TRUE(entrance) << "a length of the entrance";
            EXPECT_TRUE(align);
        }
    }
}

}  // namespace
