// The effect sub-movies in the real player: the kit's templates, built with
// a project's values, report what they were handed, parse it with the
// player's own XML parser, show the user's pictures and act on clicks.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/app_utils.h"
#include "app/effect_builders.h"
#include "app/tests/app_fixture.h"
#include "app/tests/kit/template_kit.h"
#include "ascompiler/compile_context.h"
#include "movie/action_script.h"
#include "movie/external_movie.h"
#include "movie/flash_movie.h"
#include "movie/sprites.h"
#include "platform/player/player_test_support.h"

namespace {

std::string U8(const WideString& text) { return UcSystem::WideToUtf8(text); }

TEffectParam P(const char16_t* name, const char16_t* value, const char16_t* type, const char16_t* declared = u"") {
    TEffectParam param;
    param.Name = name;
    param.Value = value;
    param.Type = type;
    param.Default = declared;
    return param;
}

class EffectBuildersInThePlayer : public AppFixture {
protected:
    void SetUp() override {
        AppFixture::SetUp();
        project_.Width = 200;
        project_.Height = 100;
        project_.FrameRate = 25;
        project_.OneByOne = true;
        project_.FontXml = u"<Txt.Font><Txt.Format name=\"default\"><FontFormatName>default</FontFormatName>"
                           u"</Txt.Format></Txt.Font>";
    }

    // A kit template below the program folder; returns the record that a
    // scan of it would give (theme and template names set).
    std::unique_ptr<EffectRecord> Template(const std::string& folder, const std::string& theme,
                                           const std::string& file, TKitTemplate kit,
                                           std::vector<TEffectParam> params) {
        std::string dir = programFolder_ + folder + "/" + theme;
        std::filesystem::create_directories(dir);
        WriteKitTemplate(dir + "/" + file, kit);
        auto effect = std::make_unique<EffectRecord>();
        effect->ThemeName = UcSystem::Utf8ToWide(theme);
        effect->TemplateName = UcSystem::Utf8ToWide(file);
        effect->Params = std::move(params);
        return effect;
    }

    // A red JPEG made by ffmpeg.
    std::string RedJpeg(int width, int height) {
        std::string path = root_ + "/red" + std::to_string(width) + "x" + std::to_string(height) + ".jpg";
        std::filesystem::create_directories(root_);
        return MakeFixture(path, "ffmpeg -v error -f lavfi -i color=c=red:s=" + std::to_string(width) + "x" +
                                     std::to_string(height) + " -frames:v 1 -y {out}");
    }

    std::string Save(TFlashMovie& movie, const std::string& name) {
        std::string path = root_ + "/" + name;
        movie.SaveToFile(path);
        return path;
    }

    static StageRecord TextStage(std::unique_ptr<EffectRecord> effect) {
        StageRecord stage;
        stage.Effect = std::move(effect);
        stage.FormattedText =
            u"<Txt.StrFormatedText><Txt.StrLine><StrText format=\"default\">Hi</StrText></Txt.StrLine>"
            u"</Txt.StrFormatedText>";
        return stage;
    }

    ProjectRecord project_;
};

TEST_F(EffectBuildersInThePlayer, EachTemplateReportsItsParameterDocument) {
    TW_REQUIRE_PLAYER();
    auto preloader = Template("preloader", ".", "bar.swf", {}, {P(u"Bg.Color", u"0xFF0000", u"color")});
    preloader->ThemeName.clear();
    project_.PreloaderOn = true;
    project_.PreloaderName = u"bar.swf";
    project_.PreloaderEffect = preloader.get();
    auto background = Template("background", "calm", "waves.swf", {}, {P(u"Bg.Speed", u"3", u"integer")});
    project_.BgEffects = {background.get()};

    StageRecord timed = TextStage(Template("text", "plain", "fade.swf", {}, {P(u"Txt.Speed", u"2", u"integer")}));
    timed.HorzAdjust = -10;
    timed.DelayAfterPrevious = 0.5f;  // 12.5 frames at 25 per second: 12
    timed.Duration = 1.5f;            // 37.5: 38
    timed.SkipEnterAction = true;
    StageRecord fixed = TextStage(Template("text", "plain", "fade.swf", {}, {}));
    fixed.StaticStage = true;
    fixed.AlignRelative = false;
    fixed.AlignLeft = 7;
    fixed.AlignTop = 9;
    fixed.DelayAfterPrevious = 3.0f;
    fixed.Duration = 9.0f;
    TKitTemplate zoom;
    zoom.PictureStem = "zoom";
    StageRecord picture;
    picture.PictureStage = true;
    picture.PictureFile = UcSystem::Utf8ToWide(RedJpeg(40, 30));
    picture.Scale = 50;
    picture.Alpha = 80;
    picture.Duration = 1.0f;
    picture.Effect = Template("image", "zoom", "zoom.swf", zoom,
                              {P(u"Img.EffectName", u"zoom", u"const", u"zoom"), P(u"Img.Size", u"4", u"integer")});
    ASSERT_FALSE(picture.PictureFile.empty());
    project_.Stages = {&timed, &fixed, &picture};

    const std::string stageDocs =
        "<Movie.Width>200</Movie.Width><Movie.Height>100</Movie.Height>"
        "<Txt.StrFormatedText><Txt.StrLine><StrText format=\"default\">Hi</StrText></Txt.StrLine></Txt.StrFormatedText>"
        "<Txt.Font><Txt.Format name=\"default\"><FontFormatName>default</FontFormatName></Txt.Format></Txt.Font>";
    struct {
        std::function<std::unique_ptr<TFlashMovie>()> build;
        std::string expected;
    } cases[] = {
        {[&] { return BuildPreloaderMovie(project_); }, "<ParamsValue><Bg.Color>0xFF0000</Bg.Color></ParamsValue>"},
        {[&] { return BuildBgEffectMovie(project_, 0); },
         "<ParamsValue><Movie.Width>200</Movie.Width><Movie.Height>100</Movie.Height><Movie.FPS>25</Movie.FPS>"
         "<Bg.Speed>3</Bg.Speed></ParamsValue>"},
        {[&] { return BuildTextStageMovie(project_, 0); },
         "<ParamsValue>" + stageDocs +
             "<Txt.Speed>2</Txt.Speed><Txt.PosX>90</Txt.PosX><Txt.PosY>50</Txt.PosY><Txt.Rotation>0</Txt.Rotation>"
             "<Txt.LineSpace>0</Txt.LineSpace><Txt.LineAlign>1</Txt.LineAlign><Txt.StaticText>false</Txt.StaticText>"
             "<Txt.DelayFrame>12</Txt.DelayFrame><Txt.SkipEnter>true</Txt.SkipEnter>"
             "<Txt.LinesSyncEnter>false</Txt.LinesSyncEnter><Txt.DurationFrame>38</Txt.DurationFrame>"
             "<Txt.SkipLeave>false</Txt.SkipLeave><Txt.LinesSyncLeave>false</Txt.LinesSyncLeave>"
             "<Txt.LeaveFromBegin>true</Txt.LeaveFromBegin><Txt.KeepText>false</Txt.KeepText>"
             "<Txt.URL>false</Txt.URL><Txt.URLAddress>about:blank</Txt.URLAddress><Txt.URLTarget></Txt.URLTarget>"
             "</ParamsValue>"},
        {[&] { return BuildTextStageMovie(project_, 1); },
         "<ParamsValue>" + stageDocs +
             "<Txt.PosX>7</Txt.PosX><Txt.PosY>9</Txt.PosY><Txt.Rotation>0</Txt.Rotation>"
             "<Txt.LineSpace>0</Txt.LineSpace><Txt.LineAlign>1</Txt.LineAlign><Txt.StaticText>true</Txt.StaticText>"
             "<Txt.DelayFrame>0</Txt.DelayFrame><Txt.SkipEnter>true</Txt.SkipEnter>"
             "<Txt.DurationFrame>-1</Txt.DurationFrame><Txt.SkipLeave>true</Txt.SkipLeave>"
             "<Txt.KeepText>true</Txt.KeepText>"
             "<Txt.URL>false</Txt.URL><Txt.URLAddress>about:blank</Txt.URLAddress><Txt.URLTarget></Txt.URLTarget>"
             "</ParamsValue>"},
        // 40 x 30 at 50 % is 20 x 15, centred: (100 - 10, 50 - 7).
        {[&] { return BuildImageStageMovie(project_, 2); },
         "<ParamsValue><Movie.Width>200</Movie.Width><Movie.Height>100</Movie.Height><Movie.FPS>25</Movie.FPS>"
         "<Img.ImageExport>zoom_Image_2</Img.ImageExport><Img.ImageMovieExport>zoom_ImageMovie_2"
         "</Img.ImageMovieExport><Img.EffectName>zoom</Img.EffectName><Img.Size>4</Img.Size>"
         "<Img.PosX>90</Img.PosX><Img.PosY>43</Img.PosY><Img.SeeThrough>false</Img.SeeThrough>"
         "<Img.Rotation>0</Img.Rotation><Img.Alpha>80</Img.Alpha>"
         "<Img.StaticText>false</Img.StaticText><Img.DelayFrame>0</Img.DelayFrame>"
         "<Img.DurationFrame>25</Img.DurationFrame><Img.KeepText>false</Img.KeepText>"
         "<Img.URL>false</Img.URL><Img.URLAddress>about:blank</Img.URLAddress><Img.URLTarget></Img.URLTarget>"
         "</ParamsValue>"},
    };
    int n = 0;
    for (auto& c : cases) {
        std::unique_ptr<TFlashMovie> movie = c.build();
        ASSERT_NE(movie, nullptr);
        TPlayedMovie played = TPlayerHarness::Shared().Play(Save(*movie, "doc" + std::to_string(n++) + ".swf"), 2);
        ASSERT_EQ(played.trace.size(), 2u) << c.expected;
        EXPECT_EQ(played.trace[1], "ParamsValue: " + c.expected);
    }
}

TEST_F(EffectBuildersInThePlayer, EscapedValuesParseInThePlayer) {
    TW_REQUIRE_PLAYER();
    TKitTemplate kit;
    kit.Script = std::string(kKitParamsValueReader) +
                 "var parsed = new XML(ParamsValue);\n"
                 "trace(\"status: \" + parsed.status);\n"
                 "trace(\"title: \" + pv(\"Bg.Title\"));\n"
                 "trace(\"speed: \" + pv(\"Bg.Speed\"));\n";
    auto background = Template("background", "calm", "title.swf", kit,
                               {P(u"Bg.Title", u"Tom & Jerry <\"best\"> 'ever'", u"string"), P(u"Bg.Speed", u"3", u"integer")});
    project_.BgEffects = {background.get()};
    EXPECT_EQ(U8(BgEffectParamsValue(project_, 0)),
              "<ParamsValue><Movie.Width>200</Movie.Width><Movie.Height>100</Movie.Height><Movie.FPS>25</Movie.FPS>"
              "<Bg.Title>Tom &amp; Jerry &lt;&quot;best&quot;&gt; &apos;ever&apos;</Bg.Title><Bg.Speed>3</Bg.Speed>"
              "</ParamsValue>");
    TPlayedMovie played = TPlayerHarness::Shared().Play(Save(*BuildBgEffectMovie(project_, 0), "escaped.swf"), 2);
    ASSERT_EQ(played.trace.size(), 5u);
    EXPECT_EQ(played.trace[2], "status: 0");
    EXPECT_EQ(played.trace[3], "title: Tom & Jerry <\"best\"> 'ever'");
    EXPECT_EQ(played.trace[4], "speed: 3");
}

TEST_F(EffectBuildersInThePlayer, BackgroundPictureTakesThePlaceholdersPlace) {
    TW_REQUIRE_PLAYER();
    std::string red = RedJpeg(64, 48);
    ASSERT_FALSE(red.empty());
    TKitTemplate kit;
    kit.PictureParams = {"Bg.Picture"};
    kit.Script = "this.attachMovie(\"Bg.Picture\", \"picture\", 5);\n";
    // The picture lies below the program folder: the value is relative.
    std::filesystem::copy_file(red, programFolder_ + "red.jpg");
    auto background = Template("background", "photo", "picture.swf", kit, {P(u"Bg.Picture", u"red.jpg", u"imagefile")});
    project_.BgEffects = {background.get()};

    TPlayedMovie original =
        TPlayerHarness::Shared().Play(programFolder_ + "background/photo/picture.swf", 1);
    ASSERT_EQ(original.frames.size(), 1u);
    TPlayerPixel blue = Pixel(original.frames[0], 1, 1);
    EXPECT_TRUE(blue.r < 30 && blue.g < 30 && blue.b > 230) << int(blue.r) << "," << int(blue.g) << "," << int(blue.b);

    TPlayedMovie built = TPlayerHarness::Shared().Play(Save(*BuildBgEffectMovie(project_, 0), "bgpicture.swf"), 1);
    ASSERT_EQ(built.frames.size(), 1u);
    for (auto [x, y] : {std::pair{1, 1}, {100, 50}, {190, 90}}) {
        TPlayerPixel p = Pixel(built.frames[0], x, y);
        EXPECT_GT(p.r, 230) << x << "," << y;
        EXPECT_LT(p.g, 30) << x << "," << y;
        EXPECT_LT(p.b, 30) << x << "," << y;
    }
}

TEST_F(EffectBuildersInThePlayer, PictureStageAttachesThePreparedPicture) {
    TW_REQUIRE_PLAYER();
    std::string red = RedJpeg(40, 30);
    ASSERT_FALSE(red.empty());
    TKitTemplate kit;
    kit.PictureStem = "zoom";
    kit.Script = std::string(kKitParamsValueReader) +
                 "var m = this.attachMovie(pv(\"Img.ImageMovieExport\"), \"picture\", 5);\n"
                 "m._x = Number(pv(\"Img.PosX\")); m._y = Number(pv(\"Img.PosY\"));\n"
                 "trace(\"size: \" + m._width + \" x \" + m._height);\n";
    StageRecord stage;
    stage.PictureStage = true;
    stage.PictureFile = UcSystem::Utf8ToWide(red);
    stage.PlacementMode = pmCustom;
    stage.Scale = 150;  // 60 x 45
    stage.Left = 10;
    stage.Top = 20;
    stage.Effect = Template("image", "zoom", "zoom.swf", kit, {P(u"Img.EffectName", u"zoom", u"const", u"zoom")});
    project_.Stages = {&stage, &stage};

    TPlayedMovie played = TPlayerHarness::Shared().Play(Save(*BuildImageStageMovie(project_, 1), "stage.swf"), 1);
    ASSERT_EQ(played.trace.size(), 3u);
    EXPECT_EQ(played.trace[2], "size: 60 x 45");
    TPlayerPixel inside = Pixel(played.frames[0], 40, 40), outside = Pixel(played.frames[0], 5, 5);
    EXPECT_GT(inside.r, 230);
    EXPECT_LT(inside.g, 30);
    EXPECT_NE(outside, inside);

    // A missing picture leaves the stage out.
    stage.PictureFile = UcSystem::Utf8ToWide(root_ + "/missing.jpg");
    EXPECT_EQ(BuildImageStageMovie(project_, 0), nullptr);
}

// A main timeline around a stage: "loopstart" in frame 2, stopped in frame 3,
// each frame tracing its name.
std::string WrapStage(TFlashMovie& stage, const std::string& path) {
    TFlashMovie movie(0, 0, 200, 100, 25, true);
    movie.SetVersion(8);
    RegisterActionScriptCompiler();
    movie.GetFrameActions().CompileFromString("trace(\"frame 1\");");
    movie.ShowFrame();
    movie.FrameLabel = "loopstart";
    movie.GetFrameActions().CompileFromString("trace(\"loopstart\");");
    TMemoryStream bytes;
    stage.SaveToStream(bytes);
    TFlashExternalMovie* embedded = movie.AddExternalMovie(bytes, kExternalSprite, true);
    movie.PlaceObject(embedded->Sprite(), 1);
    movie.ShowFrame();
    movie.GetFrameActions().CompileFromString("trace(\"frame 3\"); stop();");
    movie.ShowFrame();
    movie.MakeStream();
    movie.SaveToFile(path);
    return path;
}

TEST_F(EffectBuildersInThePlayer, StageClickOpensClickTagAndReplays) {
    TW_REQUIRE_PLAYER();
    TPlayerHarness& player = TPlayerHarness::Shared();
    TKitTemplate kit;
    kit.FillColor = 0x00FF00;
    StageRecord stage = TextStage(Template("text", "plain", "button.swf", kit, {}));
    stage.HasUrl = true;
    stage.UrlKind = 1;
    stage.UrlTarget = u"_blank";
    project_.Stages = {&stage};

    struct {
        bool replays;
        std::vector<std::string> trace;  // after the kit's two lines
    } cases[] = {
        {false, {"frame 1", "loopstart", "frame 3"}},
        {true, {"frame 1", "loopstart", "frame 3", "loopstart", "frame 3"}},
    };
    for (const auto& c : cases) {
        stage.UrlReplays = c.replays;
        std::string path = WrapStage(*BuildTextStageMovie(project_, 0), root_ + "/click.swf");
        player.TakeEvents();
        std::string target = player.HitUrl(c.replays ? "replay" : "click");
        TPlayerLoadOptions options;
        options.flashVars = {{"clickTAG", target}};
        options.network = true;
        player.Load(path, options);
        player.Step(4);
        player.Click(50, 50);
        player.Step(4);
        std::vector<std::string> trace = player.Trace();
        std::erase_if(trace, [](const std::string& line) { return line.starts_with("Params"); });
        EXPECT_EQ(trace, c.trace) << (c.replays ? "replay" : "click");
        // The new window's request reaches the server a moment later.
        std::vector<std::string> hits;
        for (int tries = 0; tries < 50 && hits.empty(); ++tries) {
            player.Step(1);
            hits = player.TakeEvents().hits;
        }
        EXPECT_EQ(hits, std::vector<std::string>{c.replays ? "/hit/replay" : "/hit/click"});
    }
}

TEST_F(EffectBuildersInThePlayer, DocumentsBeyondOnePushRecordArriveWhole) {
    TW_REQUIRE_PLAYER();
    TKitTemplate kit;
    kit.Script = "trace(\"length: \" + ParamsValue.length);\n";
    StageRecord stage = TextStage(Template("text", "plain", "long.swf", kit, {}));
    // Three-byte characters, so that pieces cut by bytes would split them.
    WideString line;
    for (int i = 0; i < 30000; ++i) line += (i % 100 == 99) ? u'a' : u'€';
    stage.FormattedText = u"<Txt.StrFormatedText><Txt.StrLine><StrText format=\"default\">" + line +
                          u"</StrText></Txt.StrLine></Txt.StrFormatedText>";
    project_.Stages = {&stage};
    const WideString expected = TextStageParamsValue(project_, 0);
    ASSERT_GT(U8(expected).size(), 90000u);
    TPlayedMovie played = TPlayerHarness::Shared().Play(Save(*BuildTextStageMovie(project_, 0), "long.swf"), 1);
    ASSERT_EQ(played.trace.size(), 3u);
    EXPECT_EQ(played.trace[1], "ParamsValue: " + U8(expected));
    EXPECT_EQ(played.trace[2], "length: " + std::to_string(expected.size()));
}

}  // namespace
