// Morph shapes, buttons and videos of the movie builder as the real player
// shows them: a red-to-blue morph at both ends of its tween, videos that
// ffmpeg made of a red source, a red button clicked by the harness, and all
// of them built from the XML form.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "../morph_button_fixture.h"
#include "../video_fixtures.h"
#include "movie/video.h"
#include "platform/diagnostics.h"
#include "platform/player/player_harness.h"
#include "platform/player/player_test_support.h"
#include "player_files.h"

namespace {

std::string TempPath(const std::string& name) { return PlayerTempPath("tw_morph_button_video_player", name); }

bool IsRed(const TPlayerPixel& p) { return p.r > 200 && p.g < 60 && p.b < 60; }
bool IsBlue(const TPlayerPixel& p) { return p.b > 200 && p.r < 60 && p.g < 60; }
std::string Describe(const TPlayerPixel& p) {
    return "(" + std::to_string(p.r) + ", " + std::to_string(p.g) + ", " + std::to_string(p.b) + ")";
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "|";
    return text;
}

}  // namespace

TEST(PlayerMorphButtonVideo, MorphShapesAtBothEndsOfTheTween) {
    TW_REQUIRE_PLAYER();
    TFlashMovie movie(0, 0, 240, 160, 12, true);
    movie.GetBackgroundColor().SetRGB(SWFRGB(255, 255, 255));
    // Each version placed at ratio 0 and at ratio 65535, a row each.
    for (int row = 0; row < 2; ++row) {
        TFlashMorphShape* morph = BuildRedToBlueMorph(movie, row == 1);
        TFlashPlaceObject* start = movie.PlaceObject(morph, static_cast<uint16_t>(1 + 2 * row));
        start->SetTranslate(10, 10 + 80 * row);
        start->SetRatio(0);
        TFlashPlaceObject* end = movie.PlaceObject(morph, static_cast<uint16_t>(2 + 2 * row));
        end->SetTranslate(120, 10 + 80 * row);
        end->SetRatio(65535);
    }
    movie.ShowFrame();
    movie.MakeStream();
    const std::string swf = TempPath("morph.swf");
    movie.SaveToFile(swf);
    TPlayedMovie played = TPlayerHarness::Shared().Play(swf, 1);
    ASSERT_EQ(played.frames.size(), 1u);
    const TPlayerFrame& frame = played.frames.back();
    for (int row = 0; row < 2; ++row) {
        SCOPED_TRACE(row == 0 ? "DefineMorphShape" : "DefineMorphShape2");
        const int y = 40 + 80 * row;
        EXPECT_TRUE(IsRed(Pixel(frame, 50, y))) << Describe(Pixel(frame, 50, y));
        EXPECT_TRUE(IsBlue(Pixel(frame, 160, y))) << Describe(Pixel(frame, 160, y));
        // The end state is 100 pixels wide, the start 80.
        EXPECT_TRUE(IsBlue(Pixel(frame, 210, y))) << Describe(Pixel(frame, 210, y));
        EXPECT_EQ(Pixel(frame, 100, y), (TPlayerPixel{255, 255, 255, 255}));
    }
}

TEST(PlayerMorphButtonVideo, VideosOfARedSourceShowRed) {
    TW_REQUIRE_PLAYER();
    if (!HaveFfmpeg()) TW_SKIP_OR_FAIL() << "ffmpeg and ffprobe are not installed";
    TFlashMovie movie(0, 0, 200, 80, 12, true);
    movie.GetBackgroundColor().SetRGB(SWFRGB(255, 255, 255));
    const char* codecs[] = {"flv1", "flashsv"};
    for (int i = 0; i < 2; ++i) {
        const std::string file = FlvFixture(codecs[i], 64, 48, "color=c=red", 2);
        ASSERT_FALSE(file.empty()) << "ffmpeg made no " << codecs[i] << " file";
        TFlashVideo* video = movie.AddVideo(file);
        ASSERT_EQ(video->FLV().Problem, "");
        movie.PlaceVideo(video, static_cast<uint16_t>(i + 1))->SetTranslate(10 + 100 * i, 10);
    }
    movie.ShowFrame(24);
    movie.MakeStream();
    EXPECT_GE(movie.Version, 7);
    const std::string swf = TempPath("video.swf");
    movie.SaveToFile(swf);
    TPlayedMovie played = TPlayerHarness::Shared().Play(swf, 4);
    ASSERT_EQ(played.frames.size(), 4u);
    EXPECT_EQ(played.info.numFrames, 24);
    const TPlayerFrame& frame = played.frames.back();
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(codecs[i]);
        const TPlayerPixel inside = Pixel(frame, 42 + 100 * i, 34);
        EXPECT_TRUE(IsRed(inside)) << Describe(inside);
        EXPECT_EQ(Pixel(frame, 90 + 100 * i, 70), (TPlayerPixel{255, 255, 255, 255})) << "outside the video";
    }
}

TEST(PlayerMorphButtonVideo, ButtonShowsItsUpStateAndTakesAClick) {
    TW_REQUIRE_PLAYER();
    for (bool button2 : {true, false}) {
        SCOPED_TRACE(button2 ? "DefineButton2" : "DefineButton");
        TFlashMovie movie(0, 0, 160, 100, 12, true);
        movie.GetBackgroundColor().SetRGB(SWFRGB(255, 255, 255));
        TFlashButton* button = BuildRedButton(movie, button2);
        TFlashActionScript& release = button->GetReleaseActions();
        release.Push({TPushValue(std::string("released"))}, {0});
        release.Trace();
        movie.PlaceObject(button, 1)->SetTranslate(20, 30);
        movie.ShowFrame();
        movie.GetFrameActions().Stop();
        movie.ShowFrame();
        movie.MakeStream();
        const std::string swf = TempPath(button2 ? "button2.swf" : "button.swf");
        movie.SaveToFile(swf);
        TPlayerHarness& player = TPlayerHarness::Shared();
        player.Load(swf);
        std::vector<TPlayerFrame> frames = player.Step(1);
        ASSERT_EQ(frames.size(), 1u);
        EXPECT_EQ(Pixel(frames[0], 50, 50), (TPlayerPixel{255, 0, 0, 255}));
        EXPECT_EQ(Pixel(frames[0], 120, 50), (TPlayerPixel{255, 255, 255, 255}));
        // A click on the face runs the release handler at once, every time;
        // one beside it runs nothing, and a point off the stage is refused.
        EXPECT_EQ(player.Click(50, 50), std::vector<std::string>{"released"});
        EXPECT_EQ(player.Click(120, 50), std::vector<std::string>{});
        player.Step(1);
        EXPECT_EQ(player.Click(21, 31), std::vector<std::string>{"released"});
        EXPECT_EQ(player.Trace(), (std::vector<std::string>{"released", "released"}));
        EXPECT_THROW(player.Click(500, 50), EPlayerError);
    }
}

// Buttons, videos and morph shapes described in the XML form: the movie
// plays, and an element without a required attribute is reported while the
// others load.
TEST(PlayerMorphButtonVideo, XmlMovieWithButtonVideoAndMorphShape) {
    TW_REQUIRE_PLAYER();
    if (!HaveFfmpeg()) TW_SKIP_OR_FAIL() << "ffmpeg and ffprobe are not installed";
    const std::string video = FlvFixture("flv1", 64, 48, "color=c=red", 2);
    ASSERT_FALSE(video.empty());
    const std::string xml = R"(<Flash XMin="0" YMin="0" XMax="6000" YMax="3000" FPS="12" Version="8" BgColor="#FFFFFF">
        <Shape IDStr="face" Color="#0000FF"><Edges><MoveTo X="0" Y="0"/><Rectangle Width="60" Height="40"/></Edges></Shape>
        <Button IDStr="btn">
          <ButtonRecord IDStr="face" Depth="1" State="Up, Over, Down, HitTest"/>
          <EventActions><Actions Event="OverDownToOverUp"><Push><Value Type="str">xml release</Value></Push><Trace/></Actions></EventActions>
        </Button>
        <Place IDStr="btn" Depth="1"><Matrix X="10" Y="10"/></Place>
        <Video IDStr="clip" File=")" + video + R"("/>
        <PlaceVideo IDStr="clip" Depth="2"><Matrix X="100" Y="10"/></PlaceVideo>
        <Video IDStr="broken" File=")" + video + R"(" Depth="9" X="5"/>
        <MorphShape IDStr="tween">
          <StartShape><MoveTo X="0" Y="0"/><Rectangle Width="60" Height="40"/></StartShape>
          <EndShape><MoveTo X="0" Y="0"/><Rectangle Width="60" Height="40"/></EndShape>
          <SolidColor StartColor="#00FF00" EndColor="#FF00FF"/>
        </MorphShape>
        <Place IDStr="tween" Depth="3" Ratio="65535"><Matrix X="200" Y="10"/></Place>
        <Frame Repeat="6"/>
      </Flash>)";
    TXmlDocument document;
    document.LoadFromString(xml);
    TFlashMovie movie(0, 0, 10, 10, 12, true);
    std::vector<std::string> messages;
    bool result;
    {
        TScopedMessageReporter reporter([&messages](const std::string&, const std::string& text) { messages.push_back(text); });
        result = movie.LoadFromXml(document.Root(), true);
    }
    EXPECT_FALSE(result);
    ASSERT_EQ(messages.size(), 1u) << Joined(messages);
    EXPECT_NE(messages[0].find("Error reading node: 5"), std::string::npos) << messages[0];
    EXPECT_NE(messages[0].find("\"Y\""), std::string::npos) << messages[0];
    EXPECT_EQ(movie.GetVideos().Count(), 1) << "the broken video is taken back";
    const std::string swf = TempPath("xml.swf");
    movie.MakeStream();
    movie.SaveToFile(swf);
    TPlayerHarness& player = TPlayerHarness::Shared();
    player.Load(swf);
    std::vector<TPlayerFrame> frames = player.Step(4);
    ASSERT_EQ(frames.size(), 4u);
    const TPlayerFrame& frame = frames.back();
    EXPECT_EQ(Pixel(frame, 40, 30), (TPlayerPixel{0, 0, 255, 255})) << "the button's face";
    EXPECT_TRUE(IsRed(Pixel(frame, 132, 34))) << Describe(Pixel(frame, 132, 34));
    EXPECT_EQ(Pixel(frame, 230, 30), (TPlayerPixel{255, 0, 255, 255})) << "the morph at its end";
    // The handler loaded from the XML records.
    ASSERT_EQ(movie.GetButtons().Count(), 1);
    auto& button = static_cast<TSWFDefineButton2&>(movie.GetButtons().GetItem(0)->GetButton());
    ASSERT_EQ(button.CondActionCount(), 1u);
    EXPECT_EQ(button.GetCondAction(0).Conditions, kCondOverDownToOverUp);
    EXPECT_EQ(button.GetCondAction(0).Count(), 2u);
}
