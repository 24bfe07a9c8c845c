// Frame capture and GIF/AVI export: a composed movie is played in the
// capture window's player and photographed frame by frame; the frames
// become an animated GIF (each frame reduced to its own palette, with the
// loop count, the delay and, for a transparent background, white as the
// transparent colour) or an AVI (through TAviWriter, one palette for the
// whole stream).
//
// Each frame goes to a work file beside the target as it is taken (the GIF
// itself, "~FlashTemp.gif", or the AVI writer's frame file), so memory
// holds one frame however long the capture. Before the player starts, the
// work file is created (a folder that cannot be written is known at once)
// and the free disk space is weighed against the size the capture is
// projected to need; the target is replaced only when the file is whole.
//
// The player never runs by itself: before each frame is taken its clock is
// stepped, at most one of the movie's frames at a time, to that frame's
// time at the capture's rate, so the frames taken depend only on the movie
// and the rate, never on how fast the machine is. The capture knows the
// movie has reached its end by an
// FSCommand that the movie sends in its last frame (the capture composition
// adds it); a movie without stages is captured for 500 frames, whether it
// reaches its end frame before them or not; the user may
// stop at any frame; and every capture has a cap on frames and on time.
// Headless: the window's caption, progress and Stop button are a text, an
// event and a call.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/avi_writer.h"
#include "app/composer.h"
#include "app/publish.h"
#include "app/flash_player.h"
#include "controls/ucsystem.h"
#include "pictures/gif_frame_helpers.h"
#include "platform/colour.h"

// Frames a movie without stages is captured for.
constexpr int kNoStageFrameLimit = 500;

class EPublishError : public Exception {
    using Exception::Exception;
};

// Why a capture ended.
enum class TCaptureEnd {
    EndOfMovie,   // the movie's last frame was captured
    NoStageLimit, // a movie without stages reached 500 frames
    Stopped,      // the user stopped it
    FrameCap,     // MaxFrames reached before the movie's end
    TimeCap,      // MaxSeconds passed before the movie's end
};

class TFormPublishImage {
public:
    TFormPublishImage();
    ~TFormPublishImage();
    TFormPublishImage(const TFormPublishImage&) = delete;
    TFormPublishImage& operator=(const TFormPublishImage&) = delete;

    // ---- the job, set before CaptureMovie
    TPublishKind OutputKind = pkGIF;
    WideString MoviePath;
    int FrameWidth = 0;   // the movie's size in pixels
    int FrameHeight = 0;
    int FramesPerSecond = 12;  // 1..100
    int GifLoopCount = 0;      // 0: forever
    int StageCount = 0;
    bool Transparent = false;
    TColor TransparentColor = 0xFFFFFF;
    // The target: each frame is written to the GIF, or added to the AVI
    // writer, as it is taken.
    TGIFFrameWriter* Gif = nullptr;
    TAviWriter* Avi = nullptr;

    // Caps that hold whatever the movie does; the frames taken are kept.
    int MaxFrames = 20'000;
    double MaxSeconds = 3600;
    // The bytes free for the work files in a folder; the file system's own
    // count when not set.
    std::function<uint64_t(const std::string& folder)> FreeDiskSpace;

    // ---- while it runs
    // After every frame taken (the caption says which); a handler may call
    // BtnStopClick, or start another export, which is refused.
    std::function<void(TFormPublishImage& sender)> OnFrame;
    int FrameCounter() const { return FFrameCounter; }
    bool Capturing() const { return FCapturing; }
    // "Publish to GIF image (Frame:12)" while a GIF is captured; "Publish" else.
    WideString Caption() const { return FCaption; }
    // Ends the capture after the frame being taken; may be called from any thread.
    void BtnStopClick() { FStopFlag = true; }

    // Plays the job's movie and takes frames until a stop rule holds. Raises
    // when the movie cannot be loaded or played, a frame cannot be written,
    // or a capture already runs anywhere in the process.
    TCaptureEnd CaptureMovie();

    TMyShockwaveFlash& FlashPlayerImage() { return FPlayer; }

private:
    void TakeFrame();

    TMyShockwaveFlash FPlayer;
    int FFrameCounter = 0;
    double FMovieClock = 0;  // ms of movie time the player has been stepped since the load
    std::atomic<bool> FStopFlag{false};
    bool FCapturing = false;
    bool FEndSeen = false;
    WideString FCaption = u"Publish";
};

// What an export did.
struct TPublishImageResult {
    TCaptureEnd End = TCaptureEnd::EndOfMovie;
    int Frames = 0;
};

// Captures the job's movie with the form and writes the GIF or AVI file;
// the old file is kept when anything fails.
TPublishImageResult ExportMovieImage(TFormPublishImage& form, const TCaptureJob& job);

// The publish command's GIF and AVI road: the project composed to play
// once with the end-frame command (PrepareCapture), then captured and
// written as above.
TPublishImageResult PublishProjectImage(TFormPublishImage& form, const ProjectRecord& project,
                                        const TPublishOptions& options, const WideString& outputPath);
