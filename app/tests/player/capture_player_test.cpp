// Frame capture in the real player, judged by ffprobe, ffmpeg and
// ImageMagick: AVI and GIF files of movies made with the movie builder, the
// stop rules, the errors, and frames that are the same on every run.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "app/publish_image.h"
#include "app/tests/capture_test_support.h"
#include "app/tests/player/capture_movies.h"
#include "platform/player/player_test_support.h"

namespace {

std::string Scratch(const std::string& name) {
    return TestScratchFolder("capture-player") + "/" + name;
}

std::string Movie(const std::string& name, const TCaptureMovie& m) {
    std::string path = Scratch(name);
    WriteCaptureMovie(path, m);
    return path;
}

// One capture window for the whole binary, as the application keeps one.
TFormPublishImage& Form() {
    static TFormPublishImage form;
    return form;
}

TPublishImageResult Export(const std::string& movie, const TCaptureMovie& m, TPublishKind kind, const std::string& out,
                           int fps, int stages = 1, int loop = 0) {
    TCaptureJob job;
    job.Kind = kind;
    job.MoviePath = UcSystem::Utf8ToWide(movie);
    job.OutputPath = UcSystem::Utf8ToWide(out);
    job.Width = m.Width;
    job.Height = m.Height;
    job.FramesPerSecond = fps;
    job.GifLoopCount = loop;
    job.StageCount = stages;
    job.Transparent = m.Transparent;
    return ExportMovieImage(Form(), job);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int GifFrames(const std::string& path) {
    std::string list = CommandOutput("identify '" + path + "' 2>/dev/null");
    return int(std::count(list.begin(), list.end(), '\n'));
}

// The count of the looping extension as the file holds it (ImageMagick
// reports it plus one, in some versions), -1 when there is none.
int LoopCount(const std::string& path) {
    std::string bytes = ReadFile(path);
    size_t at = bytes.find("NETSCAPE2.0");
    if (at == std::string::npos || at + 15 > bytes.size() || bytes[at + 11] != 3 || bytes[at + 12] != 1) return -1;
    return uint8_t(bytes[at + 13]) | uint8_t(bytes[at + 14]) << 8;
}

// A 2-second stage at 10 frames per second: one pal8 stream of the movie's
// size at 10/1, every frame the capture counted; at 24 frames per second the
// rate that a frame time of 1000 div 24 ms gives.
TEST(CaptureExport, AviOfTheWholeMovie) {
    TW_REQUIRE_PLAYER();
    TW_REQUIRE_TOOL("ffprobe");
    struct TCase {
        float movieRate;
        int fps;
        const char* rate;
    };
    for (TCase c : {TCase{10, 10, "10/1"}, TCase{24, 24, "1000/41"}}) {
        SCOPED_TRACE(c.rate);
        TCaptureMovie m;
        m.FrameRate = c.movieRate;
        m.Frames = int(2 * c.movieRate) + 1;  // two seconds after the first frame
        std::string avi = Scratch("whole.avi");
        TPublishImageResult result = Export(Movie("whole.swf", m), m, pkAVI, avi, c.fps);
        EXPECT_EQ(result.End, TCaptureEnd::EndOfMovie);
        // Every frame after the first, which the player shows on loading.
        EXPECT_EQ(result.Frames, m.Frames - 1);
        auto probe = ProbeAvi(avi);
        EXPECT_EQ(probe["streams"], "1");
        EXPECT_EQ(probe["codec_name"], "rawvideo");
        EXPECT_EQ(probe["pix_fmt"], "pal8");
        EXPECT_EQ(probe["width"], std::to_string(m.Width));
        EXPECT_EQ(probe["height"], std::to_string(m.Height));
        EXPECT_EQ(probe["r_frame_rate"], c.rate);
        EXPECT_EQ(probe["nb_read_frames"], std::to_string(result.Frames));
        EXPECT_EQ(DecodeErrors(avi), "");
    }
}

// A capture at half the movie's rate takes every other frame of the movie
// and still ends at its last one, however long the player takes for its
// frames: the player's clock is stepped a movie frame at a time.
TEST(CaptureExport, SlowerRateSamplesTheMovieTime) {
    TW_REQUIRE_PLAYER();
    TW_REQUIRE_TOOL("ffprobe");
    TCaptureMovie m;
    m.FrameRate = 20;
    m.Frames = 40;
    std::string avi = Scratch("half.avi");
    TPublishImageResult result = Export(Movie("half.swf", m), m, pkAVI, avi, 10);
    EXPECT_EQ(result.End, TCaptureEnd::EndOfMovie);
    EXPECT_EQ(result.Frames, 20);
    EXPECT_EQ(ProbeAvi(avi)["r_frame_rate"], "10/1");
}

TEST(CaptureExport, GifFramesBackgroundAndTransparency) {
    TW_REQUIRE_PLAYER();
    TW_REQUIRE_TOOL("identify");
    TCaptureMovie solid;
    solid.Frames = 12;
    std::string gif = Scratch("solid.gif");
    TPublishImageResult result = Export(Movie("solid.swf", solid), solid, pkGIF, gif, 10, 1, 3);
    EXPECT_EQ(result.End, TCaptureEnd::EndOfMovie);
    EXPECT_EQ(GifFrames(gif), result.Frames);
    EXPECT_EQ(result.Frames, 11);
    EXPECT_EQ(CommandOutput("convert '" + gif + "[0]' -format '%[pixel:p{40,40}]' info:"), "srgb(51,102,153)");
    std::string verbose = CommandOutput("identify -verbose '" + gif + "[0]' 2>/dev/null");
    EXPECT_EQ(LoopCount(gif), 3);
    EXPECT_NE(verbose.find("Delay: 10x100"), std::string::npos);
    EXPECT_EQ(verbose.find("Dispose: Background"), std::string::npos);

    TCaptureMovie clear = solid;
    clear.Transparent = true;
    gif = Scratch("transparent.gif");
    result = Export(Movie("transparent.swf", clear), clear, pkGIF, gif, 10);
    EXPECT_EQ(GifFrames(gif), result.Frames);
    verbose = CommandOutput("identify -verbose '" + gif + "[0]' 2>/dev/null");
    EXPECT_NE(verbose.find("Dispose: Background"), std::string::npos) << verbose;
    // The movie's empty background comes out white, and white is the frame's transparent entry.
    EXPECT_NE(verbose.find("Alpha: srgba(255,255,255,0)"), std::string::npos) << verbose;
    EXPECT_NE(verbose.find("(255,255,255,0) #FFFFFF00"), std::string::npos);
    EXPECT_EQ(LoopCount(gif), 0);
    EXPECT_EQ(CommandOutput("convert '" + gif + "[0]' -format '%[fx:p{40,40}.a]' info:"), "0");
}

// Without stages the capture ends at 500 frames; a stop ends it at the
// frame where it was pressed, and the frames taken are written.
TEST(CaptureExport, StopRules) {
    TW_REQUIRE_PLAYER();
    TW_REQUIRE_TOOL("identify");
    TCaptureMovie endless;
    endless.Width = 32;
    endless.Height = 24;
    endless.Frames = 10;
    endless.EndCommand = false;  // loops and never says it has ended
    std::string movie = Movie("endless.swf", endless);
    TPublishImageResult result = Export(movie, endless, pkGIF, Scratch("nostages.gif"), 25, 0);
    EXPECT_EQ(result.End, TCaptureEnd::NoStageLimit);
    EXPECT_EQ(result.Frames, kNoStageFrameLimit);
    EXPECT_EQ(GifFrames(Scratch("nostages.gif")), kNoStageFrameLimit);

    Form().OnFrame = [](TFormPublishImage& form) {
        if (form.FrameCounter() == 30) form.BtnStopClick();
    };
    result = Export(movie, endless, pkAVI, Scratch("stopped.avi"), 25, 1);
    Form().OnFrame = nullptr;
    EXPECT_EQ(result.End, TCaptureEnd::Stopped);
    EXPECT_EQ(result.Frames, 30);
    EXPECT_EQ(ProbeAvi(Scratch("stopped.avi"))["nb_read_frames"], "30");

    // A movie with stages that never ends stops at the frame cap.
    Form().MaxFrames = 15;
    result = Export(movie, endless, pkGIF, Scratch("capped.gif"), 25, 2);
    Form().MaxFrames = 20'000;
    EXPECT_EQ(result.End, TCaptureEnd::FrameCap);
    EXPECT_EQ(result.Frames, 15);
}

TEST(CaptureExport, ClearErrors) {
    TW_REQUIRE_PLAYER();
    TCaptureMovie m;
    m.Frames = 6;
    std::string movie = Movie("errors.swf", m);
    std::string gif = Scratch("errors.gif");

    // A second export while one runs is refused, the first goes on.
    std::string refusal;
    Form().OnFrame = [&](TFormPublishImage&) {
        if (!refusal.empty()) return;
        try {
            Export(movie, m, pkGIF, Scratch("second.gif"), 10);
            refusal = "accepted";
        } catch (const EPublishError& e) {
            refusal = e.what();
        }
    };
    TPublishImageResult result = Export(movie, m, pkGIF, gif, 10);
    Form().OnFrame = nullptr;
    EXPECT_EQ(refusal, "An export is already running: wait until it ends or stop it first.");
    EXPECT_EQ(result.End, TCaptureEnd::EndOfMovie);
    EXPECT_FALSE(std::filesystem::exists(Scratch("second.gif")));

    // A player that does not load in time, and a file that is not a movie,
    // end with the reason and keep the old output.
    std::ofstream(gif) << "old";
    std::ofstream(Scratch("junk.swf")) << "not a movie at all";
    struct TCase {
        const char* name;
        std::string movie;
        int timeoutMs;
        const char* says;
    };
    for (const TCase& c : {TCase{"timeout", movie, 1, "did not load"}, TCase{"junk", Scratch("junk.swf"), 60'000, "could not load"},
                           TCase{"missing", Scratch("absent.swf"), 60'000, "could not load"}}) {
        SCOPED_TRACE(c.name);
        Form().FlashPlayerImage().LoadTimeoutMs = c.timeoutMs;
        try {
            Export(c.movie, m, pkGIF, gif, 10);
            ADD_FAILURE() << "exported";
        } catch (const EFlashPlayerError& e) {
            EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << e.what();
        }
        EXPECT_EQ(ReadFile(gif), "old");
        EXPECT_FALSE(Form().Capturing());
    }
    Form().FlashPlayerImage().LoadTimeoutMs = 60'000;
    // The player works on after them.
    EXPECT_EQ(Export(movie, m, pkGIF, gif, 10).End, TCaptureEnd::EndOfMovie);
}

// Each frame goes to the work file beside the target as it is taken, so
// memory holds one frame whatever the length; the work file makes way for
// the target at the end. (The file grows by the file system's buffer, so
// the frames are large enough that ten of them fill one.)
TEST(CaptureExport, FramesGoToTheWorkFileAsTheyAreTaken) {
    TW_REQUIRE_PLAYER();
    TW_REQUIRE_TOOL("ffprobe");
    TCaptureMovie m;
    m.Width = 480;
    m.Height = 360;
    m.Frames = 31;
    std::string movie = Movie("streamed.swf", m);
    for (TPublishKind kind : {pkGIF, pkAVI}) {
        const std::string out = Scratch(kind == pkGIF ? "streamed.gif" : "streamed.avi");
        const std::string work = Scratch(kind == pkGIF ? "~FlashTemp.gif" : "~FlashTemp.frames");
        SCOPED_TRACE(out);
        std::vector<int64_t> sizes;
        Form().OnFrame = [&](TFormPublishImage& form) {
            if (form.FrameCounter() % 10 != 0) return;
            std::error_code error;
            auto size = std::filesystem::file_size(work, error);
            sizes.push_back(error ? -1 : int64_t(size));
        };
        TPublishImageResult result = Export(movie, m, kind, out, 10);
        Form().OnFrame = nullptr;
        EXPECT_EQ(result.Frames, 30);
        ASSERT_EQ(sizes.size(), 3u);
        EXPECT_GE(sizes[0], 0);
        EXPECT_GE(sizes[1], sizes[0]);
        EXPECT_GT(sizes[2], sizes[0]);
        EXPECT_FALSE(std::filesystem::exists(work));
        if (kind == pkGIF) EXPECT_EQ(GifFrames(out), 30);
        else EXPECT_EQ(ProbeAvi(out)["nb_read_frames"], "30");
    }
}

// A folder that cannot be written and a disk without room for the projected
// file are found before the player takes a frame; the old file stays.
TEST(CaptureExport, UnwritableFolderAndFullDiskEndItBeforeTheFirstFrame) {
    TW_REQUIRE_PLAYER();
    TCaptureMovie m;
    m.Frames = 6;
    std::string movie = Movie("early.swf", m);
    int taken = 0;
    Form().OnFrame = [&](TFormPublishImage&) { ++taken; };
    for (TPublishKind kind : {pkGIF, pkAVI}) {
        const std::string name = kind == pkGIF ? "early.gif" : "early.avi";
        SCOPED_TRACE(name);
        const std::string missing = Scratch("no-such-folder/" + name);
        try {
            Export(movie, m, kind, missing, 10);
            ADD_FAILURE() << "exported";
        } catch (const EPublishError& e) {
            EXPECT_NE(std::string(e.what()).find("\"" + missing + "\""), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find("No such file or directory"), std::string::npos) << e.what();
        }

        const std::string out = Scratch(name);
        std::ofstream(out) << "old";
        std::string asked;
        Form().FreeDiskSpace = [&](const std::string& folder) {
            asked = folder;
            return uint64_t{4096};
        };
        std::string message;
        try {
            Export(movie, m, kind, out, 10);
            ADD_FAILURE() << "exported";
        } catch (const EPublishError& e) {
            message = e.what();
        }
        Form().FreeDiskSpace = nullptr;
        EXPECT_EQ(asked + "/", Scratch(""));
        EXPECT_EQ(message.find("Not enough free disk space in \"" + asked + "\""), 0u) << message;
        EXPECT_EQ(ReadFile(out), "old");
        EXPECT_FALSE(std::filesystem::exists(Scratch("~FlashTemp.gif")));
        EXPECT_FALSE(std::filesystem::exists(Scratch("~FlashTemp.frames")));
    }
    Form().OnFrame = nullptr;
    EXPECT_EQ(taken, 0);
}

// The same movie captured twice gives the same frames, byte for byte.
TEST(CaptureExport, FramesAreTheSameEveryRun) {
    TW_REQUIRE_PLAYER();
    TCaptureMovie m;
    m.Frames = 15;
    std::string movie = Movie("twice.swf", m);
    Export(movie, m, pkAVI, Scratch("first.avi"), 10);
    Export(movie, m, pkAVI, Scratch("second.avi"), 10);
    std::string first = ReadFile(Scratch("first.avi"));
    EXPECT_GT(first.size(), size_t(14 * 80 * 60));  // the frames after the first
    EXPECT_TRUE(first == ReadFile(Scratch("second.avi")));
}

}  // namespace
