// The harness against movies it did not make: video written by ffmpeg,
// ActionScript 3 compiled by haxe, and ActionScript 1 assembled here byte by
// byte because no tool at hand writes it.
#include "platform/player/player_harness.h"

#include <gtest/gtest.h>

#include "platform/testing/test_support.h"
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Without Chromium and the npm packages a developer's run skips these; CI
// runs setup.sh first, so there anything missing is a failure.
#define SKIP_OR_FAIL(why) TW_SKIP_OR_FAIL() << (why)

class PlayerHarnessTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::string pattern = (fs::temp_directory_path() / "tw-player-test-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        Dir = pattern;
    }
    static void TearDownTestSuite() {
        std::error_code ignored;
        fs::remove_all(Dir, ignored);
    }
    void SetUp() override {
        std::string why;
        if (!TPlayerHarness::Available(&why)) SKIP_OR_FAIL(why);
    }

    static TPlayerHarness& Player() { return TPlayerHarness::Shared(); }

    // A movie made by ffmpeg from one of its test sources (its flv1 video in
    // an SWF plays; see the notes on fixtures).
    static std::string FfmpegMovie(const std::string& name, const std::string& source) {
        std::string path = (fs::path(Dir) / name).string();
        if (!fs::exists(path)) {
            std::string command = "ffmpeg -loglevel error -y -f lavfi -i '" + source +
                                  "' -r 12 -c:v flv1 -f swf '" + path + "' </dev/null";
            if (std::system(command.c_str()) != 0 || !fs::exists(path)) return {};
        }
        return path;
    }

    static std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
        std::string path = (fs::path(Dir) / name).string();
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return path;
    }

    static inline std::string Dir;
};

#define NEED_FFMPEG_MOVIE(var, name, source)                                  \
    std::string var = FfmpegMovie(name, source);                              \
    if (var.empty()) SKIP_OR_FAIL("ffmpeg could not make a test movie: run setup.sh")

// An uncompressed SWF 6 movie, 550 x 400 px at 12 fps, whose frame i runs
// one DoAction with the actions `frames[i]`:
//   "FWS", version 6, UI32 file length,
//   RECT 0..11000 x 0..8000 twips: 78 00 05 5F 00 00 0F A0 00,
//   UI16 frame rate 8.8 (00 0C = 12), UI16 frame count,
//   SetBackgroundColor (code 9) RGB,
//   per frame: DoAction (code 12) { actions; End (00) }, ShowFrame (40 00),
//   End (00 00).
// Tag headers are the short form, UI16 code << 6 | length, so actions stay short.
std::vector<uint8_t> Movie(const std::vector<std::vector<uint8_t>>& frames, uint8_t r, uint8_t g, uint8_t b) {
    std::vector<uint8_t> movie = {'F', 'W', 'S', 6, 0, 0, 0, 0, 0x78, 0x00, 0x05, 0x5F, 0x00, 0x00, 0x0F, 0xA0, 0x00,
                                  0x00, 0x0C, uint8_t(frames.size()), uint8_t(frames.size() >> 8),
                                  0x43, 0x02, r, g, b};
    for (const auto& actions : frames) {
        EXPECT_LT(actions.size() + 1, 63u) << "actions too long for a short tag header";
        uint16_t header = uint16_t(12 << 6 | (actions.size() + 1));
        movie.push_back(uint8_t(header));
        movie.push_back(uint8_t(header >> 8));
        movie.insert(movie.end(), actions.begin(), actions.end());
        movie.push_back(0x00);
        movie.push_back(0x40);
        movie.push_back(0x00);
    }
    movie.push_back(0x00);
    movie.push_back(0x00);
    uint32_t length = uint32_t(movie.size());
    for (int i = 0; i < 4; ++i) movie[4 + i] = uint8_t(length >> (8 * i));
    return movie;
}

// Push (96, UI16 length, type 0 = string, the text, NUL), then Trace (26).
std::vector<uint8_t> TraceAction(const std::string& line) {
    uint16_t length = uint16_t(line.size() + 2);
    std::vector<uint8_t> action = {0x96, uint8_t(length), uint8_t(length >> 8), 0x00};
    action.insert(action.end(), line.begin(), line.end());
    action.push_back(0x00);
    action.push_back(0x26);
    return action;
}

std::vector<uint8_t> TraceMovie(const std::vector<std::string>& lines, uint8_t r, uint8_t g, uint8_t b) {
    std::vector<std::vector<uint8_t>> frames;
    for (const std::string& line : lines) frames.push_back(TraceAction(line));
    return Movie(frames, r, g, b);
}

TEST_F(PlayerHarnessTest, PlaysAMovieMadeByAnotherTool) {
    NEED_FFMPEG_MOVIE(red, "red.swf", "color=c=red:s=64x48:d=1");
    TPlayedMovie played = Player().Play(red, 3);

    EXPECT_EQ(played.info.width, 64);
    EXPECT_EQ(played.info.height, 48);
    EXPECT_EQ(played.info.frameRate, 12);
    EXPECT_EQ(played.info.playerWidth, 64);
    EXPECT_EQ(played.info.playerHeight, 48);
    ASSERT_EQ(played.frames.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        const TPlayerFrame& frame = played.frames[size_t(i)];
        EXPECT_EQ(frame.number, i + 1);
        ASSERT_EQ(frame.width, 64);
        ASSERT_EQ(frame.height, 48);
        // The video codec is lossy: red, not exactly FF0000.
        for (auto [x, y] : {std::pair{32, 24}, {0, 0}, {63, 47}}) {
            TPlayerPixel p = Pixel(frame, x, y);
            EXPECT_GT(p.r, 200) << "frame " << frame.number << " at " << x << "," << y;
            EXPECT_LT(p.g, 50);
            EXPECT_LT(p.b, 50);
            EXPECT_EQ(p.a, 255);
        }
    }
    EXPECT_TRUE(played.trace.empty());
    EXPECT_THROW(Pixel(played.frames[0], 64, 0), EPlayerError);
    EXPECT_THROW(Pixel(played.frames[0], 0, -1), EPlayerError);
}

TEST_F(PlayerHarnessTest, SizesThePlayerAsAsked) {
    NEED_FFMPEG_MOVIE(red, "red.swf", "color=c=red:s=64x48:d=1");
    TPlayedMovie played = Player().Play(red, 1, 128, 96);
    EXPECT_EQ(played.info.width, 64);
    EXPECT_EQ(played.info.playerWidth, 128);
    ASSERT_EQ(played.frames.size(), 1u);
    ASSERT_EQ(played.frames[0].width, 128);
    ASSERT_EQ(played.frames[0].height, 96);
    // Same aspect ratio, so the stage fills the player to its corners.
    for (auto [x, y] : {std::pair{64, 48}, {1, 1}, {126, 94}})
        EXPECT_GT(Pixel(played.frames[0], x, y).r, 200) << x << "," << y;
}

TEST_F(PlayerHarnessTest, TraceLinesComeWithTheFrameThatEmittedThem) {
    // Quotes, a backslash and a non-ASCII letter go through every layer as they are.
    const std::vector<std::string> lines = {"first", R"(say "hi" \ to Zoë)", "third"};
    std::string path = Write("trace.swf", TraceMovie(lines, 0x33, 0x66, 0x99));

    TPlayerMovieInfo info = Player().Load(path);
    EXPECT_EQ(info.swfVersion, 6);
    EXPECT_EQ(info.numFrames, 3);
    EXPECT_EQ(info.frameRate, 12);
    EXPECT_EQ(info.width, 550);
    EXPECT_EQ(info.height, 400);
    EXPECT_FALSE(info.isActionScript3);
    EXPECT_EQ(info.backgroundColor, "#336699");

    // Frame 1 is the first frame run: its line, and nothing before it.
    std::vector<TPlayerFrame> first = Player().Step(1);
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0].number, 1);
    EXPECT_EQ(first[0].trace, std::vector<std::string>{lines[0]});
    EXPECT_EQ(Pixel(first[0], 275, 200), (TPlayerPixel{0x33, 0x66, 0x99, 0xFF}));

    // Stepping goes on where it stopped, and the movie loops after its last frame.
    std::vector<TPlayerFrame> more = Player().Step(3);
    ASSERT_EQ(more.size(), 3u);
    EXPECT_EQ(more[0].number, 2);
    EXPECT_EQ(more[2].number, 4);
    EXPECT_EQ(more[0].trace, std::vector<std::string>{lines[1]});
    EXPECT_EQ(more[1].trace, std::vector<std::string>{lines[2]});
    EXPECT_EQ(more[2].trace, std::vector<std::string>{lines[0]});
    EXPECT_EQ(Player().Trace(), (std::vector<std::string>{lines[0], lines[1], lines[2], lines[0]}));

    // A new load starts the count and the trace afresh.
    TPlayedMovie again = Player().Play(path, 1);
    ASSERT_EQ(again.frames.size(), 1u);
    EXPECT_EQ(again.frames[0].number, 1);
    EXPECT_EQ(again.trace, std::vector<std::string>{lines[0]});
}

TEST_F(PlayerHarnessTest, ActionScript3TracesAndStepsOneFrameAtATime) {
    fs::path source = fs::path(Dir) / "Main.hx";
    std::ofstream(source) << R"hx(
class Main {
    static function main() {
        flash.Lib.trace("main");
        var n = 0;
        flash.Lib.current.addEventListener(flash.events.Event.ENTER_FRAME, function(_) {
            n++;
            flash.Lib.trace("enter " + n);
        });
    }
}
)hx";
    std::string movie = (fs::path(Dir) / "as3.swf").string();
    std::string command = "cd '" + Dir + "' && haxe -cp . -main Main -swf as3.swf -swf-version 10 "
                          "-swf-header 200:100:12:336699 >/dev/null 2>&1 </dev/null";
    if (std::system(command.c_str()) != 0 || !fs::exists(movie)) SKIP_OR_FAIL("haxe could not make a test movie: run setup.sh");

    TPlayedMovie played = Player().Play(movie, 4);
    EXPECT_TRUE(played.info.isActionScript3);
    ASSERT_EQ(played.frames.size(), 4u);
    EXPECT_EQ(played.frames[0].trace, std::vector<std::string>{"main"});
    // One enter-frame event a step: a tick that ran two frames would show here.
    EXPECT_EQ(played.frames[1].trace, std::vector<std::string>{"enter 1"});
    EXPECT_EQ(played.frames[3].trace, std::vector<std::string>{"enter 3"});
    EXPECT_EQ(played.trace, (std::vector<std::string>{"main", "enter 1", "enter 2", "enter 3"}));
    EXPECT_EQ(Pixel(played.frames[3], 100, 50), (TPlayerPixel{0x33, 0x66, 0x99, 0xFF}));

    // Only steps advance the movie: time spent between them runs no frame.
    Player().Load(movie);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(Player().Step(1)[0].trace, std::vector<std::string>{"main"});
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(Player().Step(1)[0].trace, std::vector<std::string>{"enter 1"});
}

TEST_F(PlayerHarnessTest, SameMovieGivesTheSameFramesEveryTime) {
    NEED_FFMPEG_MOVIE(pattern, "pattern.swf", "testsrc=s=160x120:d=1");
    NEED_FFMPEG_MOVIE(red, "red.swf", "color=c=red:s=64x48:d=1");
    TPlayedMovie once = Player().Play(pattern, 4);
    Player().Play(red, 2);
    TPlayedMovie twice = Player().Play(pattern, 4);
    ASSERT_EQ(once.frames.size(), 4u);
    ASSERT_EQ(twice.frames.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        ASSERT_EQ(once.frames[i].width, 160);
        EXPECT_TRUE(once.frames[i].rgba == twice.frames[i].rgba) << "frame " << i + 1 << " differs between runs";
    }
    // A test pattern, not a blank: the frames must show something.
    EXPECT_NE(Pixel(once.frames[0], 10, 10), Pixel(once.frames[0], 150, 10));
}

TEST_F(PlayerHarnessTest, BadInputIsAnErrorAndThePlayerCarriesOn) {
    std::string notMovie = Write("not-a-movie.swf", {'h', 'e', 'l', 'l', 'o', '\n'});
    const struct {
        std::string path;
        std::string says;
    } cases[] = {
        {(fs::path(Dir) / "missing.swf").string(), "cannot read"},
        {Dir, "is not a file"},
        {notMovie, "could not read the movie"},
    };
    for (const auto& c : cases) {
        try {
            Player().Play(c.path, 1);
            ADD_FAILURE() << c.path << " played";
        } catch (const EPlayerError& e) {
            EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << c.path << ": " << e.what();
        }
        EXPECT_THROW(Player().Step(1), EPlayerError) << "stepping after a failed load of " << c.path;
    }
    EXPECT_THROW(Player().Step(-1), EPlayerError);
    // A served page waits for its players' movies: one that cannot be read
    // is an error with the player's complaint, not a shot of an empty page.
    try {
        Player().ShowPage("<html><head>{{RUFFLE}}</head><body><embed src=\"bad.swf\" type=\"application/x-shockwave-flash\""
                          " width=\"100\" height=\"100\"></body></html>",
                          {{"bad.swf", notMovie}}, 200, 200, 100);
        ADD_FAILURE() << "a page with an unreadable movie was shown";
    } catch (const EPlayerError& e) {
        EXPECT_NE(std::string(e.what()).find("could not read its movie"), std::string::npos) << e.what();
    }

    std::string good = Write("after-errors.swf", TraceMovie({"still here"}, 0, 0, 0));
    EXPECT_EQ(Player().Play(good, 1).trace, std::vector<std::string>{"still here"});
}

TEST_F(PlayerHarnessTest, AMovieThatNeverYieldsIsStoppedByTheWatchdog) {
    // Jump (99, UI16 length 2, SI16 -5) lands on itself: the frame never ends.
    std::string runaway = Write("runaway.swf", Movie({{0x99, 0x02, 0x00, 0xFB, 0xFF}}, 0, 0, 0));
    std::string good = Write("after-runaway.swf", TraceMovie({"alive"}, 0, 0, 0));

    // A watchdog shorter than the player's own script timeout (15 s), but long
    // enough for a load on a busy machine.
    TPlayerHarness& player = Player();
    struct TRestore {
        TPlayerHarness& player;
        int ms;
        ~TRestore() { player.SetWatchdog(ms); }
    } restore{player, player.Watchdog()};
    player.SetWatchdog(10'000);
    try {
        // A busy player may already run the first frame while it loads.
        player.Load(runaway);
        player.Step(1);
        ADD_FAILURE() << "the endless frame came back";
    } catch (const EPlayerError& e) {
        EXPECT_NE(std::string(e.what()).find("took longer than 10000 ms"), std::string::npos) << e.what();
    }
    // The page is rebuilt after a runaway; on a busy machine that alone can
    // take longer than the short watchdog.
    player.SetWatchdog(restore.ms);
    EXPECT_THROW(player.Step(1), EPlayerError) << "the runaway movie must be unloaded";
    EXPECT_EQ(player.Play(good, 1).trace, std::vector<std::string>{"alive"});
}

}  // namespace
