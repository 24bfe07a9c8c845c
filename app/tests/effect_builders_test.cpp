// The effect builders without a player: where the new scripts go, the
// position of a turned text block, and the errors of unusable input.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/effect_builders.h"
#include "app/tests/app_fixture.h"
#include "app/tests/kit/template_kit.h"
#include "movie/action_script.h"
#include "movie/flash_movie.h"
#include "movie/shapes.h"
#include "swf/reader.h"
#include "swf/tag_codes.h"

namespace {

std::string U8(const WideString& text) { return UcSystem::WideToUtf8(text); }

class EffectBuilders : public AppFixture {
protected:
    void SetUp() override {
        AppFixture::SetUp();
        project_.Width = 400;
        project_.Height = 300;
        project_.FrameRate = 24;
        effect_.ThemeName = u"plain";
        effect_.TemplateName = u"t.swf";
        stage_.Effect = std::make_unique<EffectRecord>(effect_);
        project_.Stages = {&stage_};
        std::filesystem::create_directories(programFolder_ + "text/plain");
    }

    // The tag codes of a built movie, as a reader sees them.
    std::vector<uint16_t> Codes(TFlashMovie& movie) {
        std::string path = root_ + "/built.swf";
        movie.SaveToFile(path);
        TSWFStreamReader reader(path);
        reader.ParseTags(false, false);
        std::vector<uint16_t> codes;
        for (size_t i = 0; i < reader.TagCount(); ++i) codes.push_back(reader.GetTagInfo(i).TagCode);
        return codes;
    }

    ProjectRecord project_;
    EffectRecord effect_;
    StageRecord stage_;
};

TEST_F(EffectBuilders, ScriptsGoBeforeTheFirstFrameScriptOnly) {
    std::string path = programFolder_ + "text/plain/t.swf";
    {
        // Two frame scripts in two frames.
        TFlashMovie movie(0, 0, 100, 100, 12, true);
        movie.SetVersion(8);
        movie.GetFrameActions().Stop();
        movie.ShowFrame();
        movie.GetFrameActions().Play();
        movie.ShowFrame();
        movie.MakeStream();
        movie.SaveToFile(path);
    }
    using namespace TagCodes;
    stage_.HasUrl = true;
    stage_.UrlAddress = u"https://example.org/a?b=1&c=2";
    EXPECT_EQ(Codes(*BuildTextStageMovie(project_, 0)),
              (std::vector<uint16_t>{DoAction, DoAction, DoAction, ShowFrame, DoAction, ShowFrame, End}));
    stage_.HasUrl = false;
    EXPECT_EQ(Codes(*BuildTextStageMovie(project_, 0)),
              (std::vector<uint16_t>{DoAction, DoAction, ShowFrame, DoAction, ShowFrame, End}));

    // Without a frame script the template is copied as it stands.
    {
        TFlashMovie movie(0, 0, 100, 100, 12, true);
        movie.SetVersion(8);
        movie.PlaceObject(movie.AddRectangle(0, 0, 10, 10), 1);
        movie.ShowFrame();
        movie.MakeStream();
        movie.SaveToFile(path);
    }
    stage_.HasUrl = true;
    EXPECT_EQ(Codes(*BuildTextStageMovie(project_, 0)),
              (std::vector<uint16_t>{DefineShape2, PlaceObject2, ShowFrame, End}));
}

TEST_F(EffectBuilders, TurnedTextBlocksAreRotatedAboutTheOrigin) {
    struct {
        int rotation;
        bool relative;
        int horz, vert;
        const char* position;
    } cases[] = {
        // Centre (200, 150).
        {0, true, 1, 1, "<Txt.PosX>200</Txt.PosX><Txt.PosY>150</Txt.PosY><Txt.Rotation>0</Txt.Rotation>"},
        {90, true, 1, 1, "<Txt.PosX>150</Txt.PosX><Txt.PosY>-200</Txt.PosY><Txt.Rotation>90</Txt.Rotation>"},
        // Right bottom (400, 300) turned by 30 degrees: 496.4..., 59.8...
        {30, true, 2, 2, "<Txt.PosX>496</Txt.PosX><Txt.PosY>60</Txt.PosY><Txt.Rotation>30</Txt.Rotation>"},
        // Absolute (7, 9) with the adjustment ignored.
        {0, false, 1, 1, "<Txt.PosX>7</Txt.PosX><Txt.PosY>9</Txt.PosY><Txt.Rotation>0</Txt.Rotation>"},
    };
    for (const auto& c : cases) {
        stage_.TextRotation = c.rotation;
        stage_.AlignRelative = c.relative;
        stage_.HorzAlign = c.horz;
        stage_.VertAlign = c.vert;
        stage_.AlignLeft = 7;
        stage_.AlignTop = 9;
        EXPECT_NE(U8(TextStageParamsValue(project_, 0)).find(c.position), std::string::npos) << c.position;
    }
    // Frame counts round halves to even: 24 x 1.5 = 36, 25 x 0.5 = 12.5.
    stage_.Duration = 1.5f;
    EXPECT_NE(U8(TextStageParamsValue(project_, 0)).find("<Txt.DurationFrame>36<"), std::string::npos);
    project_.FrameRate = 25;
    stage_.Duration = 0.5f;
    EXPECT_NE(U8(TextStageParamsValue(project_, 0)).find("<Txt.DurationFrame>12<"), std::string::npos);
    // One by one off: no delay whatever the stage says.
    stage_.DelayAfterPrevious = 2.0f;
    project_.OneByOne = false;
    EXPECT_NE(U8(TextStageParamsValue(project_, 0)).find("<Txt.DelayFrame>0<"), std::string::npos);
}

TEST_F(EffectBuilders, UnusableInputStopsWithItsName) {
    // A template that is not there, and one that is no movie.
    try {
        BuildTextStageMovie(project_, 0);
        FAIL() << "no error";
    } catch (const std::exception& e) {
        EXPECT_NE(std::string(e.what()).find("text/plain/t.swf"), std::string::npos) << e.what();
    }
    WriteProgramFile("text/plain/t.swf", "not a movie at all");
    EXPECT_THROW(BuildTextStageMovie(project_, 0), std::exception);

    // A picture that does not decode.
    TKitTemplate kit;
    kit.PictureStem = "zoom";
    std::filesystem::create_directories(programFolder_ + "image/plain");
    WriteKitTemplate(programFolder_ + "image/plain/t.swf", kit);
    stage_.PictureStage = true;
    stage_.PictureFile = UcSystem::Utf8ToWide(WriteProgramFile("broken.jpg", "\xFF\xD8\xFF garbage"));
    stage_.Effect->Params.push_back({u"Img.EffectName", u"zoom", u"const", u"", u"zoom", u"", u"", u""});
    try {
        BuildImageStageMovie(project_, 0);
        FAIL() << "no error";
    } catch (const std::exception& e) {
        EXPECT_NE(std::string(e.what()).find("broken.jpg"), std::string::npos) << e.what();
    }
    // A template without the placeholders its stem names.
    stage_.PictureFile = u"";
    EXPECT_EQ(BuildImageStageMovie(project_, 0), nullptr);
}

}  // namespace
