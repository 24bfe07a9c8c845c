// The Flash Player control of the application: what the preview, frame
// capture and the canvas painter ask of a player, over the real player of
// platform/player (Ruffle in headless Chromium, one browser for the whole
// process, shared by every control).
//
// A control loads a movie by path, reports it loaded (ReadyState 4), its
// frame count and rate, and runs it under its own clock: Advance moves the
// movie on by a period of its time and keeps the picture after it, which
// PaintFlashToCanvas paints into a bitmap. Trace lines and FSCommand calls
// of the movie arrive as events while it runs. The movie never runs by
// itself, so no frame is missed or doubled however slow the machine is.
//
// Left out: a current-frame query (the player has none; a movie that must
// say where it is sends an FSCommand), real-time playback in a window,
// sound, and mouse input.
#pragma once

#include <functional>
#include <string>

#include "controls/ucsystem.h"
#include "platform/bitmap.h"
#include "platform/errors.h"
#include "platform/player/player_harness.h"

class EFlashPlayerError : public Exception {
    using Exception::Exception;
};

// Scale modes, as the control numbers them.
constexpr int smShowAll = 0;
constexpr int smNoBorder = 1;
constexpr int smExactFit = 2;
constexpr int smNoScale = 3;

class TShockwaveFlash {
public:
    // The control's size in pixels; 0 takes the movie's stage size.
    int Width = 0;
    int Height = 0;
    // How a movie is fitted to a control of another size (sm* above).
    int ScaleMode = smShowAll;
    // Bounds on a load and on one step; a player that does not answer in
    // time gives an error and leaves no movie loaded.
    int LoadTimeoutMs = 60'000;
    int StepTimeoutMs = 30'000;

    std::function<void(const std::string& command, const std::string& args)> OnFSCommand;
    std::function<void(const std::string& line)> OnTrace;

    // Reports FSCommand calls only when set before the movie is loaded.
    bool ReportFSCommands = true;

    // " " (or empty) unloads the movie; a path loads it and waits until it
    // is loaded and shows its first frame (whose events are sent). Setting the same path again loads it again. A movie that
    // cannot be loaded, or not in time, raises with the reason and leaves
    // the control empty.
    void SetMovie(const WideString& path);
    const WideString& Movie() const { return FMovie; }

    // 4 once the movie is loaded (and still this control's), else 0.
    int ReadyState() const;
    int TotalFrames() const { return ReadyState() == 4 ? FInfo.numFrames : 0; }
    double FrameRate() const { return ReadyState() == 4 ? FInfo.frameRate : 0; }
    const TPlayerMovieInfo& MovieInfo() const { return FInfo; }

    // Advance runs the movie only while it plays; a loaded movie plays.
    void Play() { FPlaying = true; }
    void Stop() { FPlaying = false; }
    bool Playing() const { return FPlaying; }

    // Runs the movie on by periodMs of its own time (its frame period when
    // 0) and keeps the picture after it; trace and FSCommand events are sent
    // before it returns. Does nothing while stopped. Raises when no movie is
    // loaded or the player fails.
    void Advance(double periodMs = 0);
    // Steps since the load, the first frame's included.
    int FramesAdvanced() const { return FAdvanced; }

    // The last picture (empty before the first Advance).
    const TPlayerFrame& Picture() const { return FPicture; }

private:
    TPlayerHarness& Player();
    void Unload();

    WideString FMovie;
    TPlayerMovieInfo FInfo;
    TPlayerFrame FPicture;
    long FLoad = -1;  // the player's load count when this control loaded its movie
    bool FPlaying = false;
    int FAdvanced = 0;
};

// The player control of the preview and capture windows. CreateWnd makes
// the player's window again at the control's current size, as the owners
// do after their panel was resized: the movie is loaded again at that size.
class TMyShockwaveFlash : public TShockwaveFlash {
public:
    void CreateWnd();
};

// Paints the control's last picture into the bitmap at its top-left corner,
// over white where the movie is transparent (as a windowed player shows
// it). A bitmap that is not 24 or 32 bits is made 24 bits first. A null
// control, or one without a picture, paints nothing.
void PaintFlashToCanvas(const TShockwaveFlash* control, TBitmap& canvas);
