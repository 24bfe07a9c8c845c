// Projects published as GIF and AVI: composed with the end-frame command,
// played once in the real player and captured, judged by ffprobe, ffmpeg
// and ImageMagick. The stage is a kit template that waits a number of
// frames, then counts the stages down and lets the main timeline go on, as
// the real stage templates do.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "app/publish_image.h"
#include "app/tests/app_fixture.h"
#include "app/tests/capture_test_support.h"
#include "app/tests/kit/template_kit.h"
#include "platform/player/player_test_support.h"

namespace {

TFormPublishImage& Form() {
    static TFormPublishImage form;
    return form;
}

class ProjectExport : public AppFixture {
protected:
    void SetUp() override {
        AppFixture::SetUp();
        project_.Width = 80;
        project_.Height = 60;
        project_.FrameRate = 10;
        project_.BgKind = bkSolid;
        project_.SolidColor = RGBColor(0x33, 0x66, 0x99);
    }

    // A picture stage whose template waits `frames` frames, then counts down.
    StageRecord& WaitingStage(int frames, const std::string& picture) {
        std::string dir = programFolder_ + "image/wait";
        std::filesystem::create_directories(dir);
        TKitTemplate kit;
        kit.PictureStem = "wait";
        kit.Script = "var n = 0;\n"
                     "this.onEnterFrame = function () {\n"
                     "  n = n + 1;\n"
                     "  if (n == " + std::to_string(frames) + ") {\n"
                     "    _root.g_effectcount = _root.g_effectcount - 1;\n"
                     "    if (_root.g_effectcount <= 0) { _root.play(); }\n"
                     "  }\n"
                     "};\n";
        std::string file = "wait" + std::to_string(frames) + ".swf";
        WriteKitTemplate(dir + "/" + file, kit);
        auto stage = std::make_unique<StageRecord>();
        stage->PictureStage = true;
        stage->PictureFile = UcSystem::Utf8ToWide(picture);
        stage->Effect = std::make_unique<EffectRecord>();
        stage->Effect->ThemeName = u"wait";
        stage->Effect->TemplateName = UcSystem::Utf8ToWide(file);
        TEffectParam name;  // names the template's placeholders
        name.Name = u"Img.EffectName";
        name.Value = name.Default = u"wait";
        name.Type = u"const";
        stage->Effect->Params.push_back(name);
        stages_.push_back(std::move(stage));
        project_.Stages.push_back(stages_.back().get());
        return *stages_.back();
    }

    std::string Picture() {
        std::string path = root_ + "/picture.bmp";
        return MakeFixture(path, "convert -size 8x6 xc:red BMP3:{out}");
    }

    TPublishImageResult Publish(TPublishKind kind, const std::string& name, int fps) {
        TPublishOptions options;
        options.Kind = kind;
        options.SetFrameRate(fps);
        return ::PublishProjectImage(Form(), project_, options, UcSystem::Utf8ToWide(root_ + "/" + name));
    }

    std::string Out(const std::string& name) { return root_ + "/" + name; }

    ProjectRecord project_;
    std::vector<std::unique_ptr<StageRecord>> stages_;
};

// A 2-second stage at 10 frames per second: the AVI holds every frame the
// capture counted, at least the stage's 20; at 24 frames per second the
// rate is 1000 / 41.
TEST_F(ProjectExport, AviOfATwoSecondStage) {
    TW_REQUIRE_PLAYER();
    TW_REQUIRE_TOOL("ffprobe");
    TW_REQUIRE_TOOL("convert");
    for (int fps : {10, 24}) {
        SCOPED_TRACE(fps);
        project_.FrameRate = fps;
        project_.Stages.clear();
        WaitingStage(2 * fps, Picture());
        TPublishImageResult result = Publish(pkAVI, "stage.avi", fps);
        EXPECT_EQ(result.End, TCaptureEnd::EndOfMovie);
        EXPECT_GE(result.Frames, 2 * fps);
        EXPECT_LT(result.Frames, 2 * fps + 10);
        auto probe = ProbeAvi(Out("stage.avi"));
        EXPECT_EQ(probe["streams"], "1");
        EXPECT_EQ(probe["codec_name"], "rawvideo");
        EXPECT_EQ(probe["pix_fmt"], "pal8");
        EXPECT_EQ(probe["width"], "80");
        EXPECT_EQ(probe["height"], "60");
        EXPECT_EQ(probe["r_frame_rate"], fps == 10 ? "10/1" : "1000/41");
        EXPECT_EQ(probe["nb_read_frames"], std::to_string(result.Frames));
        EXPECT_EQ(DecodeErrors(Out("stage.avi")), "");
    }
    // The composed movie plays once, whatever the project says.
    EXPECT_TRUE(std::filesystem::exists(UcSystem::WideToUtf8(GetProgramDataFolder() + u"preview.swf")));
}

TEST_F(ProjectExport, GifOfSolidAndTransparentBackgrounds) {
    TW_REQUIRE_PLAYER();
    TW_REQUIRE_TOOL("identify");
    WaitingStage(8, Picture());
    TPublishImageResult result = Publish(pkGIF, "solid.gif", 10);
    EXPECT_EQ(result.End, TCaptureEnd::EndOfMovie);
    std::string list = CommandOutput("identify '" + Out("solid.gif") + "'");
    EXPECT_EQ(int(std::count(list.begin(), list.end(), '\n')), result.Frames);
    EXPECT_EQ(CommandOutput("convert '" + Out("solid.gif") + "[0]' -format '%[pixel:p{40,30}]' info:"),
              "srgb(51,102,153)");

    project_.BgKind = bkTransparent;
    result = Publish(pkGIF, "clear.gif", 10);
    std::string verbose = CommandOutput("identify -verbose '" + Out("clear.gif") + "[0]' 2>/dev/null");
    EXPECT_NE(verbose.find("Alpha: srgba(255,255,255,0)"), std::string::npos) << verbose;
    EXPECT_NE(verbose.find("Dispose: Background"), std::string::npos);
}

// Without stages the capture takes 500 frames, whether the movie rests
// before its end (timed) or reaches it at once (one by one). A stop after
// 30 frames gives 30. A stage whose picture is missing is left out, and the
// movie still reaches its end instead of running to a cap.
TEST_F(ProjectExport, StopRules) {
    TW_REQUIRE_PLAYER();
    TW_REQUIRE_TOOL("convert");
    project_.Width = 32;
    project_.Height = 24;
    TPublishImageResult result;
    for (bool oneByOne : {false, true}) {
        SCOPED_TRACE(oneByOne ? "one by one" : "timed");
        project_.OneByOne = oneByOne;
        result = Publish(pkGIF, "empty.gif", 10);
        EXPECT_EQ(result.End, TCaptureEnd::NoStageLimit);
        EXPECT_EQ(result.Frames, kNoStageFrameLimit);
        std::string list = CommandOutput("identify '" + Out("empty.gif") + "'");
        EXPECT_EQ(int(std::count(list.begin(), list.end(), '\n')), kNoStageFrameLimit);
    }
    project_.OneByOne = false;

    WaitingStage(200, Picture());
    Form().OnFrame = [](TFormPublishImage& form) {
        if (form.FrameCounter() == 30) form.BtnStopClick();
    };
    result = Publish(pkAVI, "stopped.avi", 10);
    Form().OnFrame = nullptr;
    EXPECT_EQ(result.End, TCaptureEnd::Stopped);
    EXPECT_EQ(result.Frames, 30);

    project_.Stages.clear();
    WaitingStage(5, root_ + "/no-such-picture.bmp");
    result = Publish(pkGIF, "missing.gif", 10);
    EXPECT_EQ(result.End, TCaptureEnd::EndOfMovie);
    EXPECT_LT(result.Frames, 10);
}

// A capture only takes pictures: the address the project opens when it
// ends is not opened, neither for a GIF nor for an AVI.
TEST_F(ProjectExport, CaptureOpensNoAddress) {
    TW_REQUIRE_PLAYER();
    project_.CloseUrlOn = true;
    project_.CloseUrl = u"https://example.com/closed";
    project_.CloseUrlTarget = u"_self";
    WaitingStage(4, Picture());
    TPlayerHarness::Shared().TakeLog();
    for (TPublishKind kind : {pkGIF, pkAVI}) {
        TPublishImageResult result = Publish(kind, kind == pkGIF ? "closing.gif" : "closing.avi", 10);
        EXPECT_EQ(result.End, TCaptureEnd::EndOfMovie);
    }
    for (const std::string& line : TPlayerHarness::Shared().TakeLog())
        EXPECT_EQ(line.find("opening a website"), std::string::npos) << line;
}

// The same project captured twice gives the same file, byte for byte.
TEST_F(ProjectExport, SameFramesEveryRun) {
    TW_REQUIRE_PLAYER();
    TW_REQUIRE_TOOL("convert");
    WaitingStage(12, Picture());
    Publish(pkAVI, "first.avi", 10);
    Publish(pkAVI, "second.avi", 10);
    std::ifstream first(Out("first.avi"), std::ios::binary), second(Out("second.avi"), std::ios::binary);
    std::string a((std::istreambuf_iterator<char>(first)), std::istreambuf_iterator<char>());
    std::string b((std::istreambuf_iterator<char>(second)), std::istreambuf_iterator<char>());
    EXPECT_GT(a.size(), size_t(12 * 80 * 60));
    EXPECT_TRUE(a == b);
}

}  // namespace
