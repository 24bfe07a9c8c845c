// Plays SWF movies in a real player so that tests can judge what the project
// writes by what a player shows and traces.
//
// The player is Ruffle (version pinned in package.json) running in headless
// Chromium, driven by player.mjs in a Node child process over JSON lines. One
// harness keeps one browser for any number of movies; starting it costs a few
// seconds, a movie after that a fraction of one. Frames are stepped one at a
// time under our own clock, so the same movie always gives the same pixels.
//
// What it leaves out: sound, keyboard input, mouse input other than a click,
// and movies that load other files. Networking is off unless a load asks for
// it; then a movie may open addresses (only the loopback server's "/hit/"
// addresses answer, and the harness lists the requests that reached them)
// and send FSCommands.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

// The player or the harness around it failed; the text says what and, where it
// has one, carries the player's own complaint.
class EPlayerError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What the player read from the movie's header.
struct TPlayerMovieInfo {
    double width = 0;               // stage size in pixels
    double height = 0;
    double frameRate = 0;
    int numFrames = 0;
    int swfVersion = 0;
    std::string backgroundColor;    // as the player reports it; empty if the movie sets none
    bool isActionScript3 = false;
    int playerWidth = 0;            // size of the player's canvas, which frames have
    int playerHeight = 0;
};

struct TPlayerPixel {
    uint8_t r = 0, g = 0, b = 0, a = 0;
    bool operator==(const TPlayerPixel&) const = default;
};

// A call the movie made with FSCommand (a getURL to "FSCommand:<command>").
struct TPlayerFSCommand {
    std::string command;
    std::string args;
    bool operator==(const TPlayerFSCommand&) const = default;
};

struct TPlayerFrame {
    int number = 0;                  // 1 is the first frame run after the load
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba;       // width*height*4 bytes, rows top down, not premultiplied
    std::vector<std::string> trace;  // trace lines the movie emitted while this frame ran
    std::vector<TPlayerFSCommand> fsCommands;  // only after Open with fsCommands on
};

// How Open plays a movie.
struct TPlayerOpenOptions {
    int width = 0;           // the player's size; 0 takes the stage's
    int height = 0;
    std::string scale;       // "showAll", "noBorder", "exactFit" or "noScale"; empty: the player's own
    bool fsCommands = false; // report the movie's FSCommand calls with its frames
};

struct TPlayedMovie {
    TPlayerMovieInfo info;
    std::vector<TPlayerFrame> frames;
    std::vector<std::string> trace;  // every trace line since the load, in order
};

// The pixel at (x, y) of a frame; throws EPlayerError outside the frame.
TPlayerPixel Pixel(const TPlayerFrame& frame, int x, int y);

// How a movie is loaded.
struct TPlayerLoadOptions {
    int width = 0;  // 0: the movie's stage size
    int height = 0;
    // The movie's FlashVars (variables of its root timeline), in order.
    std::vector<std::pair<std::string, std::string>> flashVars;
    // Lets the movie open addresses (getURL into new windows) and send
    // FSCommands.
    bool network = false;
};

// What the movies did outside themselves since the last call.
struct TPlayerEvents {
    std::vector<std::string> hits;              // paths (with query) that reached HitUrl addresses
    std::vector<TPlayerFSCommand> fsCommands;  // of the loaded movie
};

class TPlayerHarness {
public:
    // Starts Node, the browser and the player, and waits until the player has
    // shown it can be stepped. Throws EPlayerError when it cannot.
    TPlayerHarness();
    // Asks the child to quit, and kills it if it does not; always reaps it.
    ~TPlayerHarness();
    TPlayerHarness(const TPlayerHarness&) = delete;
    TPlayerHarness& operator=(const TPlayerHarness&) = delete;

    // Whether everything the harness needs is installed; if not, says what is
    // missing and how to get it. Starts nothing.
    static bool Available(std::string* why = nullptr);

    // One harness for the whole process, started on first use.
    static TPlayerHarness& Shared();

    // Loads a movie and runs its first `frames` frames. A width or height of 0
    // sizes the player to the movie's stage.
    TPlayedMovie Play(const std::string& swfPath, int frames, int width = 0, int height = 0);

    // The same in two steps, for tests that look between frames: Load replaces
    // any movie loaded before, Step runs the next `count` frames of it.
    TPlayerMovieInfo Load(const std::string& swfPath, int width = 0, int height = 0);
    TPlayerMovieInfo Load(const std::string& swfPath, const TPlayerLoadOptions& options);
    // An address on the harness's own loopback server that answers every
    // request with nothing and notes its path for TakeEvents.
    std::string HitUrl(const std::string& path);
    TPlayerEvents TakeEvents();
    // The player's own warning and error lines (a script that failed, a font
    // it could not find, ...) since the last call; each Load starts afresh.
    std::vector<std::string> TakeLog();
    // Serves a page (its text "{{RUFFLE}}" replaced by Ruffle's settings and
    // script, which take over its <object> and <embed> elements) with the
    // named files beside it from the loopback server, waits until each
    // player has read its movie, plays waitMs of the first movie's time (at
    // least one frame) under the harness's clock and returns a screenshot of
    // the page: the same picture on every run. Starting the player in a new
    // page takes seconds, so put the movies of one check into one page.
    // players receives how many players Ruffle put in place of the page's
    // elements.
    TPlayerFrame ShowPage(const std::string& html, const std::vector<std::pair<std::string, std::string>>& files,
                          int width, int height, int waitMs, int* players = nullptr);
    std::vector<TPlayerFrame> Step(int count);
    // Clicks the loaded movie at stage point (x, y), in movie pixels: the
    // pointer moves there, presses and releases. No frame runs; returns the
    // lines the click made the movie trace (they join Trace() too).
    std::vector<std::string> Click(double x, double y);
    // Every trace line since the last Load, in order.
    const std::vector<std::string>& Trace() const { return FTrace; }

    // For the application's player: Load with a scale mode and FSCommand
    // calls reported, and one step of periodMs milliseconds of the movie's
    // time (its own frame period when 0), which runs exactly one frame when
    // the period is the movie's own and none or several when it is not.
    TPlayerMovieInfo Open(const std::string& swfPath, const TPlayerOpenOptions& options);
    TPlayerFrame Advance(double periodMs = 0);
    // Counts the loads and opens this harness has begun, so that players
    // sharing it can tell whether the movie loaded is still theirs.
    long Loads() const { return FLoads; }

    // A request (a Load, or a Step of all its frames) that takes longer than
    // this fails, and its movie is unloaded; the harness carries on with the
    // next Load. 1 ms to 1 hour; 60 s to start with.
    void SetWatchdog(int milliseconds);
    int Watchdog() const { return FWatchdogMs; }

private:
    struct TReply;
    TReply Request(const std::string& json);
    std::string ReadLine(int timeoutMs);
    void Kill();
    std::string LogTail() const;

    pid_t FPid = -1;
    int FToChild = -1;
    int FFromChild = -1;
    std::string FPending;   // bytes read from the child past the last line
    std::string FTempDir;   // frames and the child's stderr live here
    long FNextId = 1;
    int FWatchdogMs = 60'000;
    std::vector<std::string> FTrace;
    std::string FOrigin;
    long FLoads = 0;
};
