// One movie described in the XML form with every kind of movie element,
// built by the movie's XML import and played in the real player: what it
// shows at spots of the stage and what its scripts trace.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "../media_fixtures.h"
#include "movie/buttons.h"
#include "movie/flash_movie.h"
#include "platform/diagnostics.h"
#include "platform/emf.h"
#include "platform/player/player_harness.h"
#include "platform/player/player_test_support.h"
#include "platform/xml.h"
#include "swf/button_tags.h"
#include "player_files.h"

namespace {

std::string Folder() {
    std::filesystem::path folder = std::filesystem::path(TestScratchFolder("tw_xml_player")) / "every-element";
    std::filesystem::create_directories(folder);
    return folder.string();
}

// A metafile of one red 40 x 30 rectangle in a 100-pixel frame.
void WriteRedMetafile(const std::string& file) {
    TEmfRecorder rec(TRect{0, 0, 2646, 2646});
    std::vector<uint8_t> brush, select, box;
    for (int32_t v : {1, 0, 0x0000FF, 0}) PutI32(brush, v);
    rec.UseHandle(1);
    rec.Add(EMR_CREATEBRUSHINDIRECT, brush);
    PutI32(select, 1);
    rec.Add(EMR_SELECTOBJECT, select);
    PutI32(select, 0);
    for (int32_t v : {0, 0, 100, 100}) PutI32(box, v);
    rec.Add(EMR_RECTANGLE, box);
    std::vector<uint8_t> bytes = rec.Finish();
    WriteFileBytes(file, bytes.data(), bytes.size());
}

// A movie of its own with a yellow square and a frame script, to be embedded.
void WriteInnerMovie(const std::string& file) {
    TXmlDocument document;
    document.LoadFromString(R"(<Flash XMin="0" YMin="0" XMax="2000" YMax="2000" FPS="12" Version="8">
        <Shape IDStr="square" Color="#FFFF00"><Edges><MoveTo X="0" Y="0"/><LineTo X="20" Y="0"/><LineTo X="20" Y="20"/><LineTo X="0" Y="20"/><LineTo X="0" Y="0"/></Edges></Shape>
        <Place IDStr="square" Depth="1"/>
        <Actions><Push><Value Type="str">inner movie</Value></Push><Trace/></Actions>
        <Frame/>
      </Flash>)");
    TFlashMovie inner(0, 0, 10, 10, 12, true);
    ASSERT_TRUE(inner.LoadFromXml(document.Root(), true));
    inner.MakeStream();
    inner.SaveToFile(file);
}

bool Traced(const TPlayedMovie& played, const std::string& line) {
    for (const std::string& traced : played.trace)
        if (traced == line) return true;
    return false;
}

std::string AllTraces(const TPlayedMovie& played) {
    std::string all;
    for (const std::string& line : played.trace) all += line + "|";
    return all;
}

}  // namespace

TEST(PlayerXmlImport, EveryMovieElementPlays) {
    TW_REQUIRE_PLAYER();
    if (!HaveImageMagick() || !HaveFfmpeg()) TW_SKIP_OR_FAIL() << "ImageMagick and ffmpeg make the pictures and sounds";
    const std::string folder = Folder();
    ASSERT_FALSE(MakeMediaFixture(folder + "/pic.bmp", "convert -size 40x30 xc:#FF00FF -type TrueColor bmp3:{out}").empty());
    const std::string tone = SoundFixture("xml-player-tone.wav", "-ar 22050 -c:a pcm_s16le", 0.5);
    ASSERT_FALSE(tone.empty());
    std::filesystem::copy_file(tone, folder + "/tone.wav", std::filesystem::copy_options::overwrite_existing);
    WriteRedMetafile(folder + "/red.emf");
    WriteInnerMovie(folder + "/inner.swf");
    ASSERT_FALSE(MakeMediaFixture(folder + "/clip.flv", "ffmpeg -nostdin -y -loglevel error -f lavfi -i color=c=red:s=64x48:r=12 "
                                                        "-t 1 -c:v flv1 -f flv {out}").empty());

    const std::string xml = R"(<Flash XMin="0" YMin="0" XMax="6400" YMax="4800" FPS="12" Version="8" BgColor="#FFFFFF">
        <Image IDStr="pic" File="pic.bmp" Depth="1" XMin="200" YMin="10"/>
        <Sound IDStr="tone" File="tone.wav" WaveCompressBit="4"/>
        <BackgroundSound File="tone.wav"/>
        <StartSound IDStr="tone" SyncStop="False" SyncNoMultiple="False"/>
        <Font IDStr="face" Name="DejaVu Sans" Size="24" Device="False"/>
        <Text FontIDStr="face" Dynamic="False" XMin="10" YMin="190" Color="#000000" Depth="2"><Value>XML</Value></Text>
        <Shape IDStr="box" Color="#0000FF"><Edges><MoveTo X="0" Y="0"/><LineTo X="30" Y="0"/><LineTo X="30" Y="30"/><LineTo X="0" Y="30"/><LineTo X="0" Y="0"/></Edges></Shape>
        <Shape IDStr="dot" Color="#00C000"><Edges><MoveTo X="0" Y="0"/><LineTo X="20" Y="0"/><LineTo X="20" Y="20"/><LineTo X="0" Y="20"/><LineTo X="0" Y="0"/></Edges></Shape>
        <Place IDStr="box" Depth="3" Name="clicker"><Matrix X="20" Y="20"/>
          <EventActions><Actions Event="Load"><Push><Value Type="str">box loaded</Value></Push><Trace/></Actions></EventActions>
        </Place>
        <Place IDStr="dot" Depth="4"><Matrix X="20" Y="120"/></Place>
        <Sprite IDStr="spin" Depth="5">
          <Place IDStr="box" Depth="1"><Matrix X="150" Y="120"/></Place>
          <Frame Repeat="2"/>
          <InitActions><Push><Value Type="str">sprite init</Value></Push><Trace/></InitActions>
        </Sprite>
        <Metafile File="red.emf" XMin="100" YMin="20" XMax="140" YMax="50" Depth="6"/>
        <ExternalSWF IDStr="ext" File="inner.swf" Type="sprite"/>
        <Place IDStr="ext" Depth="7"><Matrix X="260" Y="120"/></Place>
        <Shape IDStr="face" Color="#800080"><Edges><MoveTo X="0" Y="0"/><LineTo X="30" Y="0"/><LineTo X="30" Y="30"/><LineTo X="0" Y="30"/><LineTo X="0" Y="0"/></Edges></Shape>
        <Button IDStr="btn" Depth="9">
          <ButtonRecord IDStr="face" Depth="1" State="Up, Over, Down, HitTest"><Matrix X="4000" Y="3000"/></ButtonRecord>
          <EventActions><Actions Event="OverDownToOverUp"><Push><Value Type="str">button clicked</Value></Push><Trace/></Actions></EventActions>
        </Button>
        <MorphShape IDStr="morph" Depth="8">
          <StartShape><MoveTo X="100" Y="120"/><LineTo X="130" Y="120"/><LineTo X="130" Y="150"/><LineTo X="100" Y="150"/><LineTo X="100" Y="120"/></StartShape>
          <EndShape><MoveTo X="100" Y="130"/><LineTo X="140" Y="130"/><LineTo X="140" Y="160"/><LineTo X="100" Y="160"/><LineTo X="100" Y="130"/></EndShape>
          <SolidColor StartColor="#FF8000" EndColor="#FF8000"/>
        </MorphShape>
        <Video IDStr="clip" File="clip.flv"/>
        <PlaceVideo IDStr="clip" Depth="10"><Matrix X="240" Y="170"/></PlaceVideo>
        <Actions><Push><Value Type="str">frame one</Value></Push><Trace/></Actions>
        <Frame Time="25" Label="start"/>
        <Remove IDStr="dot"/>
        <DoAction><Push><Value Type="str">tag element</Value></Push><Trace/></DoAction>
        <Actions><Push><Value Type="str">frame four</Value></Push><Trace/></Actions>
        <Frame/>
        <ShowFrame/>
      </Flash>)";
    TXmlDocument document;
    document.LoadFromString(xml);
    std::vector<std::string> messages;
    TScopedMessageReporter reporter([&messages](const std::string&, const std::string& text) { messages.push_back(text); });
    TFlashMovie movie(0, 0, 10, 10, 12, true);
    movie.Settings.BaseFolder = folder;
    const bool loaded = movie.LoadFromXml(document.Root(), true);
    for (const std::string& message : messages) ADD_FAILURE() << message;
    ASSERT_TRUE(loaded);
    EXPECT_EQ(movie.FrameCount, 5);  // three for a quarter second at 12 a second, one, and the tag's
    const std::string swf = folder + "/every.swf";
    movie.MakeStream();
    movie.SaveToFile(swf);

    // The streamed background sound holds the timeline to the sound's clock,
    // which runs in real time: stepped frames may wait for it. Step until
    // frame four has run (its trace), and one frame past it.
    TPlayerHarness& player = TPlayerHarness::Shared();
    TPlayedMovie played;
    played.info = player.Load(swf);
    size_t fourth = 0;
    while (played.frames.size() < 300 && (fourth == 0 || played.frames.size() < fourth + 2)) {
        std::vector<TPlayerFrame> step = player.Step(1);
        ASSERT_EQ(step.size(), 1u);
        for (const std::string& line : step[0].trace)
            if (line == "frame four" && fourth == 0) fourth = played.frames.size();
        played.frames.push_back(std::move(step[0]));
    }
    played.trace = player.Trace();
    ASSERT_GE(fourth, 3u) << "frame four never ran: " << AllTraces(played);
    {
        SCOPED_TRACE("frame one");
        const TPlayerFrame& frame = played.frames[0];
        EXPECT_EQ(Pixel(frame, 220, 25), (TPlayerPixel{255, 0, 255, 255}));  // the picture
        EXPECT_EQ(Pixel(frame, 35, 35), (TPlayerPixel{0, 0, 255, 255}));     // the box, moved by name
        EXPECT_EQ(Pixel(frame, 30, 130), (TPlayerPixel{0, 192, 0, 255}));    // the dot
        EXPECT_EQ(Pixel(frame, 160, 130), (TPlayerPixel{0, 0, 255, 255}));   // the box inside the sprite
        EXPECT_EQ(Pixel(frame, 108, 24), (TPlayerPixel{255, 0, 0, 255}));    // the metafile's rectangle
        EXPECT_EQ(Pixel(frame, 270, 130), (TPlayerPixel{255, 255, 0, 255})); // the embedded movie's square
        EXPECT_EQ(Pixel(frame, 300, 30), (TPlayerPixel{255, 255, 255, 255}));
        EXPECT_EQ(Pixel(frame, 215, 165), (TPlayerPixel{128, 0, 128, 255}));  // the button's face
        EXPECT_EQ(Pixel(frame, 115, 135), (TPlayerPixel{255, 128, 0, 255}));  // the morph shape at its start
        const TPlayerPixel video = Pixel(frame, 270, 190);                       // the red video
        EXPECT_TRUE(video.r > 200 && video.g < 60 && video.b < 60) << int(video.r) << " " << int(video.g) << " " << int(video.b);
        // Some ink of the text.
        int dark = 0;
        for (int y = 185; y < 225; ++y)
            for (int x = 10; x < 80; ++x) dark += Pixel(frame, x, y).r < 96;
        EXPECT_GT(dark, 40);
    }
    {
        SCOPED_TRACE("after the removal by name");
        // The canvas read back now and then comes blank in a long-running
        // browser: the first frame after the removal that shows anything.
        size_t shown = fourth;
        while (shown < fourth + 2 && Pixel(played.frames[shown], 5, 5).a != 255) ++shown;
        ASSERT_LT(shown, fourth + 2) << "no frame after the removal came back from the player";
        const TPlayerFrame& frame = played.frames[shown];
        EXPECT_EQ(Pixel(frame, 30, 130), (TPlayerPixel{255, 255, 255, 255}));
        EXPECT_EQ(Pixel(frame, 160, 130), (TPlayerPixel{0, 0, 255, 255}));
    }
    for (const char* line : {"box loaded", "sprite init", "inner movie", "frame one", "frame four", "tag element"})
        EXPECT_TRUE(Traced(played, line)) << line << " in " << AllTraces(played);
    // The player, stepped frame by frame, passes no pointer on to buttons:
    // the button's script is judged by what the movie holds.
    ASSERT_EQ(movie.GetButtons().Count(), 1);
    auto* button = dynamic_cast<TSWFDefineButton2*>(&movie.GetButtons().GetItem(0)->GetButton());
    ASSERT_TRUE(button);
    ASSERT_EQ(button->CondActionCount(), 1u);
    EXPECT_EQ(button->GetCondAction(0).Conditions, 1u << 3);  // OverDownToOverUp, the release
    EXPECT_EQ(button->GetCondAction(0).Count(), 2u);
}
