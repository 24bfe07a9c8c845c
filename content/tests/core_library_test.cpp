// The script library every shipped template includes, played in the real
// player inside composed movies: the values it reads from ParamsValue, the
// easing curves, and a stage's life (delay, entrance, stay, exit) with the
// count-down that lets the main movie reach its end.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/composer.h"
#include "app/tests/app_fixture.h"
#include "content/tests/content_test_support.h"
#include "platform/player/player_test_support.h"

namespace {

// A text template that traces what the library reads and, every frame,
// whether its box shows and at what alpha.
const char* const kProbe = R"(//@ stage 200 100 10
ParamsDefine = "<ParamsDefine><Txt.EnterFrames type=\"integer\" caption=\"Entrance frames\" default=\"3\" min=\"1\" max=\"100\"/></ParamsDefine>";
#include "lib/core.as"
trace("read " + twNum("Movie.Width", -1) + " " + twNum("Missing", -1) + " " + twBool("Txt.SkipLeave", "none") +
      " " + twColor("Probe.Color", -1) + " [" + twText("Probe.Text", "?") + "] " + twParam("Missing"));
trace("ease " + twEase("linear", 0.25) + " " + twEase("in", 0.5) + " " + twEase("out", 0.5) + " " +
      twEase("inout", 0.25) + " " + twEase("bounce", 1) + " " + twEase("back", 0) + " " + twEase("elastic", 1));
var tag = twText("Probe.Name", "?");
var box = this.createEmptyMovieClip("box", 1);
box.beginFill(0xFF0000, 100);
box.moveTo(0, 0);
box.lineTo(20, 0);
box.lineTo(20, 20);
box.lineTo(0, 20);
box.endFill();
var fadeIn = function(p) { this._alpha = Math.round(p * 100); };
var fadeOut = function(p) { this._alpha = Math.round(100 - p * 100); };
twRunStage(box, "Txt.", twNum("Txt.EnterFrames", 3), 2, fadeIn, fadeOut);
this.onEnterFrame = function() {
    trace(tag + " " + (box._visible ? Math.round(box._alpha) : "hidden") + " " + _root.g_effectcount);
};
)";

class CoreLibraryInThePlayer : public AppFixture {
protected:
    void SetUp() override {
        AppFixture::SetUp();
        // The probe is built by the same build step as the shipped
        // templates, with the shipped library.
        const std::string sources = root_ + "/sources";
        std::filesystem::create_directories(sources + "/text/Probe");
        std::filesystem::create_directories(sources + "/lib");
        std::filesystem::copy_file(std::string(TW_CONTENT_DIR) + "/templates/lib/core.as", sources + "/lib/core.as");
        std::ofstream(sources + "/text/Probe/Probe.as") << kProbe;
        const std::string command = std::string("'") + TW_BUILD_TEMPLATES + "' '" + sources + "' '" + programFolder_ +
                                    "' > '" + root_ + "/build.log' 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;

        project_.Width = 200;
        project_.Height = 100;
        project_.FrameRate = 10;
        project_.BgKind = bkSolid;
        project_.SolidColor = RGBColor(255, 255, 255);
        style_.Name = u"default";
        project_.FontStyles = {&style_};
        project_.FontXml = BuildFontXml(project_.FontStyles);
    }

    StageRecord& AddStage(const char16_t* name, float enter, float duration, std::vector<TEffectParam> extra = {}) {
        auto stage = std::make_unique<StageRecord>();
        stage->Effect = std::make_unique<EffectRecord>();
        stage->Effect->ThemeName = u"Probe";
        stage->Effect->TemplateName = u"Probe.swf";
        stage->Effect->Params = {StringParam(u"Probe.Name", name)};
        for (TEffectParam& p : extra) stage->Effect->Params.push_back(p);
        stage->FormattedText = u"<Txt.StrFormatedText><Txt.StrLine><StrText format=\"default\">x</StrText>"
                               u"</Txt.StrLine></Txt.StrFormatedText>";
        stage->EnterTime = enter;
        stage->Duration = duration;
        stages_.push_back(std::move(stage));
        project_.Stages.push_back(stages_.back().get());
        return *stages_.back();
    }

    // Plays the composed movie frame by frame until its end marker arrives
    // (or maxFrames pass); returns every trace line and whether it ended.
    bool PlayToEnd(int maxFrames, std::vector<std::string>& trace) {
        TPlayedToEnd run = PlayToEndMarker(project_, root_ + "/movie.swf", maxFrames);
        trace = run.trace;
        log_ = run.log;
        return run.ended;
    }

    static std::vector<std::string> Lines(const std::vector<std::string>& trace, const std::string& prefix) {
        std::vector<std::string> lines;
        for (const std::string& line : trace)
            if (line.starts_with(prefix)) lines.push_back(line.substr(prefix.size()));
        return lines;
    }

    ProjectRecord project_;
    FontStyleRecord style_;
    std::vector<std::unique_ptr<StageRecord>> stages_;
    std::vector<std::string> log_;
};

TEST_F(CoreLibraryInThePlayer, ReadsValuesAndEases) {
    TW_REQUIRE_PLAYER();
    project_.OneByOne = false;
    AddStage(u"A", 0, 0.2f,
             {StringParam(u"Probe.Color", u"0x00FF80"), StringParam(u"Probe.Text", u" two  spaces ")});
    std::vector<std::string> trace;
    ASSERT_TRUE(PlayToEnd(60, trace));
    EXPECT_EQ(Lines(trace, "read "), std::vector<std::string>{"200 -1 false 65408 [ two  spaces ] undefined"});
    EXPECT_EQ(Lines(trace, "ease "), std::vector<std::string>{"0.25 0.25 0.75 0.125 1 0 1"});
    EXPECT_TRUE(log_.empty()) << log_.front();
}

TEST_F(CoreLibraryInThePlayer, StageLivesAndCountsDown) {
    TW_REQUIRE_PLAYER();
    // Timed: A enters at once and stays 2 frames; B enters a frame later,
    // skips its entrance and keeps its text. The movie ends when both
    // have counted down, and only then.
    project_.OneByOne = false;
    AddStage(u"A", 0, 0.2f);
    StageRecord& b = AddStage(u"B", 0.1f, 0.3f);
    b.SkipEnterAction = true;
    b.KeepText = true;
    std::vector<std::string> trace;
    ASSERT_TRUE(PlayToEnd(60, trace));
    // Entrance over 3 frames (33, 67, 100), 2 frames of stay, exit over 2
    // (50, then hidden and counted down). B has counted down meanwhile.
    std::vector<std::string> aLines = Lines(trace, "A ");
    ASSERT_GE(aLines.size(), 7u);
    EXPECT_EQ((std::vector<std::string>(aLines.begin(), aLines.begin() + 7)),
              (std::vector<std::string>{"33 2", "67 2", "100 2", "100 2", "100 2", "50 1", "hidden 0"}));
    // B shows at full alpha from its first frame, stays 3 frames and is
    // still there when the movie ends.
    std::vector<std::string> bLines = Lines(trace, "B ");
    ASSERT_GE(bLines.size(), 5u);
    EXPECT_EQ((std::vector<std::string>(bLines.begin(), bLines.begin() + 5)),
              (std::vector<std::string>{"100 2", "100 2", "100 2", "100 2", "100 1"}));
    EXPECT_EQ(bLines.back().substr(0, 3), "100");
    EXPECT_TRUE(log_.empty()) << log_.front();
}

TEST_F(CoreLibraryInThePlayer, OneByOneWaitsForTheDelay) {
    TW_REQUIRE_PLAYER();
    // One by one, B waits 3 frames (0.3 s at 10 fps) hidden before entering.
    project_.OneByOne = true;
    AddStage(u"A", 0, 0.1f);
    StageRecord& b = AddStage(u"B", 0, 0.1f);
    b.DelayAfterPrevious = 0.3f;
    std::vector<std::string> trace;
    ASSERT_TRUE(PlayToEnd(80, trace));
    std::vector<std::string> bLines = Lines(trace, "B ");
    ASSERT_GE(bLines.size(), 5u);
    EXPECT_EQ((std::vector<std::string>(bLines.begin(), bLines.begin() + 5)),
              (std::vector<std::string>{"hidden 1", "hidden 1", "hidden 1", "33 1", "67 1"}));
    EXPECT_TRUE(log_.empty()) << log_.front();
}

}  // namespace
