// Composed movies in the real player: kit stages report when they enter and
// count themselves down, the end frame sends its marker and opens the close
// address, fonts draw, and the published embed code plays in a page.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "app/composer.h"
#include "app/publish.h"
#include "app/tests/app_fixture.h"
#include "app/tests/kit/template_kit.h"
#include "platform/player/player_test_support.h"

namespace {

std::string U8(const WideString& text) { return UcSystem::WideToUtf8(text); }

// A stage that traces "enter <name> <main frame>", traces its alpha when
// it changes, and after Kit.Hold frames traces "done <name> <main frame>",
// counts g_effectcount down and resumes the main timeline when it is 0.
const std::string kStageScript = std::string(kKitParamsValueReader) + R"(
var name = pv("Kit.Name");
var hold = Number(pv("Kit.Hold"));
var n = 0;
var lastAlpha = 100;
trace("enter " + name + " " + _root._currentframe);
this.onEnterFrame = function() {
  n++;
  var a = Math.round(this._alpha);
  if (a != lastAlpha) { trace(name + " alpha " + a); lastAlpha = a; }
  if (n == hold) {
    trace("done " + name + " " + _root._currentframe);
    _root.g_effectcount--;
    if (_root.g_effectcount <= 0) _root.play();
  }
};
)";

class ComposerInThePlayer : public AppFixture {
protected:
    void SetUp() override {
        AppFixture::SetUp();
        std::filesystem::create_directories(programFolder_ + "text/kit");
        TKitTemplate kit;
        kit.Script = kStageScript;
        WriteKitTemplate(programFolder_ + "text/kit/stage.swf", kit);
        project_.Width = 200;
        project_.Height = 100;
        project_.FrameRate = 10;
        project_.BgKind = bkSolid;
        project_.SolidColor = RGBColor(255, 255, 255);
        style_.Name = u"default";
        project_.FontStyles = {&style_};
        project_.FontXml = BuildFontXml(project_.FontStyles);
    }

    StageRecord& AddStage(const char16_t* name, float enter, int hold) {
        auto stage = std::make_unique<StageRecord>();
        stage->Effect = std::make_unique<EffectRecord>();
        stage->Effect->ThemeName = u"kit";
        stage->Effect->TemplateName = u"stage.swf";
        stage->Effect->Params = {StringParam(u"Kit.Name", name),
                                 StringParam(u"Kit.Hold", UcSystem::Utf8ToWide(std::to_string(hold)))};
        stage->FormattedText = u"<Txt.StrFormatedText><Txt.StrLine><StrText format=\"default\">" + WideString(name) +
                               u"</StrText></Txt.StrLine></Txt.StrFormatedText>";
        stage->EnterTime = enter;
        stages_.push_back(std::move(stage));
        project_.Stages.push_back(stages_.back().get());
        return *stages_.back();
    }

    std::string Compose(const std::string& name, const TComposeOptions& options = {}) {
        std::string path = root_ + "/" + name;
        ComposeMovie(project_, UcSystem::Utf8ToWide(path), options);
        return path;
    }

    static std::vector<std::string> Lines(const std::vector<std::string>& trace, const std::string& prefix) {
        std::vector<std::string> lines;
        for (const std::string& line : trace)
            if (line.starts_with(prefix)) lines.push_back(line);
        return lines;
    }

    ProjectRecord project_;
    FontStyleRecord style_;
    std::vector<std::unique_ptr<StageRecord>> stages_;
};

TEST_F(ComposerInThePlayer, TimedStagesEnterAtTheirFrames) {
    TW_REQUIRE_PLAYER();
    project_.OneByOne = false;
    // Frame 1 starts, frame 2 is "loopstart", stage frames count from 3.
    AddStage(u"A", 0.0f, 100);
    AddStage(u"B", 1.0f, 100);
    AddStage(u"C", 0.5f, 100);
    AddStage(u"D", 1.0f, 100);
    AddStage(u"S", 0.3f, 100).StaticStage = true;
    TPlayedMovie played = TPlayerHarness::Shared().Play(Compose("timed.swf"), 16);
    EXPECT_EQ(Lines(played.trace, "enter"),
              (std::vector<std::string>{"enter S 2", "enter A 3", "enter C 8", "enter B 13", "enter D 13"}));
}

TEST_F(ComposerInThePlayer, LimitedLoopsEndAtTheCloseAddress) {
    TW_REQUIRE_PLAYER();
    TPlayerHarness& player = TPlayerHarness::Shared();
    project_.OneByOne = false;
    project_.LoopLimited = true;
    project_.LoopCount = 3;
    project_.CloseUrlOn = true;
    project_.CloseUrlKind = 1;
    project_.CloseUrlTarget = u"_blank";
    AddStage(u"A", 0.0f, 2);
    TComposeOptions options;
    options.EndFrameCommand = kEndFrameCommand;
    std::string path = Compose("loops.swf", options);
    player.TakeEvents();
    TPlayerLoadOptions load;
    load.flashVars = {{"clickTAG", player.HitUrl("close")}};
    load.network = true;
    player.Load(path, load);
    player.Step(30);
    EXPECT_EQ(Lines(player.Trace(), "enter").size(), 3u);
    TPlayerEvents events = player.TakeEvents();
    for (int tries = 0; tries < 50 && events.hits.empty(); ++tries) {
        player.Step(1);
        TPlayerEvents more = player.TakeEvents();
        events.hits = more.hits;
        events.fsCommands.insert(events.fsCommands.end(), more.fsCommands.begin(), more.fsCommands.end());
    }
    ASSERT_EQ(events.fsCommands.size(), 3u);
    EXPECT_EQ(events.fsCommands[0].command, kEndFrameCommand);
    EXPECT_EQ(events.hits, std::vector<std::string>{"/hit/close"});
}

TEST_F(ComposerInThePlayer, OneByOneStagesWaitAndFade) {
    TW_REQUIRE_PLAYER();
    project_.OneByOne = true;
    AddStage(u"A", 0.0f, 3);
    AddStage(u"B", 0.0f, 3).RemovePrevious = true;
    TPlayedMovie played = TPlayerHarness::Shared().Play(Compose("onebyone.swf"), 40);
    std::vector<std::string> enters = Lines(played.trace, "enter"), done = Lines(played.trace, "done A");
    // After B the movie loops and A enters again.
    ASSERT_GE(enters.size(), 2u);
    ASSERT_GE(done.size(), 1u);
    int doneFrame = std::stoi(done[0].substr(7)), bFrame = std::stoi(enters[1].substr(8));
    EXPECT_EQ(enters[0], "enter A 3");
    // B comes after A has counted down and the 20 frames of its fade.
    EXPECT_GE(bFrame, doneFrame + 20);
    std::vector<std::string> alphas = Lines(played.trace, "A alpha");
    alphas.resize(std::min<size_t>(alphas.size(), 18));
    std::vector<std::string> expected;
    // A sees each step in the frame after it is set; the last, 5, is set in
    // the frame before A is removed.
    for (int a = 95; a >= 10; a -= 5) expected.push_back("A alpha " + std::to_string(a));
    EXPECT_EQ(alphas, expected);
}

TEST_F(ComposerInThePlayer, MissingPictureStillReachesTheEnd) {
    TW_REQUIRE_PLAYER();
    TPlayerHarness& player = TPlayerHarness::Shared();
    project_.OneByOne = false;
    AddStage(u"A", 0.0f, 2);
    StageRecord& picture = AddStage(u"P", 0.2f, 2);
    picture.PictureStage = true;
    picture.PictureFile = UcSystem::Utf8ToWide(root_ + "/gone.jpg");
    TComposeOptions options;
    options.EndFrameCommand = kEndFrameCommand;
    std::string path = Compose("missing.swf", options);
    player.TakeEvents();
    TPlayerLoadOptions load;
    load.network = true;
    player.Load(path, load);
    player.Step(12);
    TPlayerEvents events = player.TakeEvents();
    ASSERT_FALSE(events.fsCommands.empty());
    EXPECT_EQ(events.fsCommands[0].command, kEndFrameCommand);
}

TEST_F(ComposerInThePlayer, CompressedMovieShowsTheSameFirstFrame) {
    TW_REQUIRE_PLAYER();
    project_.SolidColor = RGBColor(0x33, 0x66, 0x99);
    project_.BorderOn = true;
    project_.BorderSize = 4;
    project_.BorderColor = RGBColor(255, 0, 0);
    project_.OneByOne = false;
    AddStage(u"A", 0.0f, 100);
    project_.Compress = false;
    std::string plain = Compose("plain.swf");
    project_.Compress = true;
    std::string packed = Compose("packed.swf");
    std::vector<std::string> check = RunPython(
        "import zlib\n"
        "data = open(sys.argv[1], 'rb').read()\n"
        "body = zlib.decompress(data[8:])\n"
        "print(data[:3].decode(), int.from_bytes(data[4:8], 'little') == 8 + len(body))\n",
        packed);
    EXPECT_EQ(check, std::vector<std::string>{"CWS True"});
    TPlayedMovie a = TPlayerHarness::Shared().Play(plain, 3), b = TPlayerHarness::Shared().Play(packed, 3);
    ASSERT_EQ(a.frames.size(), 3u);
    ASSERT_EQ(b.frames.size(), 3u);
    EXPECT_TRUE(a.frames[0].rgba == b.frames[0].rgba);
    EXPECT_EQ(Pixel(a.frames[2], 100, 50), (TPlayerPixel{0x33, 0x66, 0x99, 255}));
}

TEST_F(ComposerInThePlayer, TextStageDrawsWithTheEmbeddedFont) {
    TW_REQUIRE_PLAYER();
    std::filesystem::create_directories(programFolder_ + "text/fonts");
    TKitTemplate kit;
    kit.Script = R"(
this.createTextField("t", 10, 0, 0, 200, 100);
t.embedFonts = true;
var f = new TextFormat();
f.font = "default";
f.size = 60;
f.color = 0x000000;
t.setNewTextFormat(f);
t.text = "HiH";
trace("width " + (t.textWidth > 0));
)";
    WriteKitTemplate(programFolder_ + "text/fonts/text.swf", kit);
    StageRecord& stage = AddStage(u"HiH", 0.0f, 100);
    stage.Effect->ThemeName = u"fonts";
    stage.Effect->TemplateName = u"text.swf";
    project_.OneByOne = false;
    TPlayedMovie played = TPlayerHarness::Shared().Play(Compose("font.swf"), 4);
    ASSERT_EQ(played.frames.size(), 4u);
    int dark = 0;
    const TPlayerFrame& frame = played.frames[3];
    for (int y = 0; y < frame.height; ++y)
        for (int x = 0; x < frame.width; ++x)
            if (Pixel(frame, x, y).r < 80) ++dark;
    EXPECT_GT(dark, 200) << "glyph pixels";
}

TEST_F(ComposerInThePlayer, EmbedCodePlaysInAPage) {
    TW_REQUIRE_PLAYER();
    // A stage that draws a blue square in the movie's top left corner, over
    // a red stage colour or none.
    TKitTemplate kit;
    kit.Script = "beginFill(0x0000FF); moveTo(0, 0); lineTo(40, 0); lineTo(40, 40); lineTo(0, 40); lineTo(0, 0); endFill();";
    std::filesystem::create_directories(programFolder_ + "text/square");
    WriteKitTemplate(programFolder_ + "text/square/stage.swf", kit);
    AddStage(u"square", 0.0f, 100).Effect->ThemeName = u"square";
    // Both movies in one page, which starts the player once: the one with
    // a transparent background on the left, the solid red one at x = 250.
    std::filesystem::create_directories(root_ + "/site");
    std::string page = "<!doctype html><html><head><meta charset=\"utf-8\">{{RUFFLE}}</head>"
                       "<body style=\"margin:0;background:#00ff00\">";
    std::vector<std::pair<std::string, std::string>> files;
    for (bool transparent : {true, false}) {
        project_.BgKind = transparent ? bkTransparent : bkSolid;
        project_.SolidColor = RGBColor(255, 0, 0);
        // The solid one under a name with a space, a '#', a quote, an
        // ampersand and a non-Latin letter: the page must still ask for it
        // by its whole name.
        const std::string name = transparent ? "clear.swf" : "Summer sale #2 \"&\xC3\xA9t\xC3\xA9\".swf";
        files.emplace_back(name, root_ + "/site/" + name);
        const std::string code = U8(PublishSwf(project_, UcSystem::Utf8ToWide(files.back().second)));
        EXPECT_EQ(std::count(code.begin(), code.end(), '\n'), transparent ? 11 : 9);
        EXPECT_EQ(code.find("site/"), std::string::npos);
        page += std::string("<div style=\"position:absolute;top:0;left:") + (transparent ? "0" : "250") + "px\">" +
                code + "</div>";
    }
    page += "</body></html>";
    int players = 0;
    TPlayerFrame shot = TPlayerHarness::Shared().ShowPage(page, files, 500, 150, 500, &players);
    // Each player takes its embed code's place at its size and draws its
    // movie; the page shows through where the transparent movie draws
    // nothing, and around the players.
    EXPECT_EQ(players, 2);
    const TPlayerPixel green{0, 255, 0, 255}, red{255, 0, 0, 255}, blue{0, 0, 255, 255};
    for (int left : {0, 250}) {
        SCOPED_TRACE(left ? "solid" : "transparent");
        const TPlayerPixel stage = left ? red : green;
        EXPECT_EQ(Pixel(shot, left + 20, 20), blue);
        EXPECT_EQ(Pixel(shot, left + 150, 70), stage);
        EXPECT_EQ(Pixel(shot, left + 199, 99), stage);
        EXPECT_EQ(Pixel(shot, left + 100, 100), green);
        EXPECT_EQ(Pixel(shot, left + 200, 50), green);
    }
}

}  // namespace
