#include "app/publish_image.h"

#include <algorithm>

#include "pictures/color_reduction.h"
#include "pictures/dithering.h"
#include "pictures/gif_frame_helpers.h"

namespace {

// One capture at a time in the whole process: the player is the process's,
// and a second capture would step the first one's movie.
std::atomic<bool> captureRunning{false};

const char* kAlreadyRunning = "An export is already running: wait until it ends or stop it first.";

class TCaptureSlot {
public:
    TCaptureSlot() {
        if (captureRunning.exchange(true)) throw EPublishError(kAlreadyRunning);
    }
    ~TCaptureSlot() { captureRunning = false; }
    TCaptureSlot(const TCaptureSlot&) = delete;
    TCaptureSlot& operator=(const TCaptureSlot&) = delete;
};

WideString Decimal(int value) {
    return UcSystem::Utf8ToWide(std::to_string(value));
}

}  // namespace

TFormPublishImage::TFormPublishImage() {
    FPlayer.ScaleMode = smNoScale;
    FPlayer.SetMovie(u" ");
}

TFormPublishImage::~TFormPublishImage() = default;

TCaptureEnd TFormPublishImage::CaptureMovie() {
    TCaptureSlot slot;
    if (OutputKind == pkGIF ? Gif == nullptr : OutputKind == pkAVI ? Avi == nullptr : true)
        throw EPublishError("The capture has no GIF image or AVI writer to fill");
    if (FramesPerSecond < 1 || FramesPerSecond > 100)
        throw EPublishError("Frames per second must be from 1 to 100, not " + std::to_string(FramesPerSecond));
    if (FrameWidth <= 0 || FrameHeight <= 0)
        throw EPublishError("Invalid frame size " + std::to_string(FrameWidth) + " x " + std::to_string(FrameHeight));

    struct TEnd {
        TFormPublishImage& form;
        ~TEnd() {
            form.FCapturing = false;
            form.FCaption = u"Publish";
            form.FPlayer.OnFSCommand = nullptr;
        }
    } end{*this};
    FCapturing = true;
    FFrameCounter = 0;
    FMovieClock = 0;
    FStopFlag = false;
    FEndSeen = false;
    AviFrames.clear();
    if (Avi != nullptr) Avi->Bitmaps.clear();

    FPlayer.Width = FrameWidth;
    FPlayer.Height = FrameHeight;
    FPlayer.ScaleMode = smNoScale;
    FPlayer.ReportFSCommands = true;
    FPlayer.OnFSCommand = [this](const std::string& command, const std::string&) {
        if (command == kEndFrameCommand) FEndSeen = true;
    };
    FPlayer.SetMovie(u" ");
    FPlayer.SetMovie(MoviePath);
    FPlayer.Stop();
    if (FPlayer.ReadyState() != 4) throw EPublishError("The movie to capture did not load");
    FPlayer.Play();

    auto started = std::chrono::steady_clock::now();
    for (;;) {
        TakeFrame();
        if (FStopFlag) return TCaptureEnd::Stopped;
        if (FEndSeen) return TCaptureEnd::EndOfMovie;
        if (StageCount <= 0 && FFrameCounter >= kNoStageFrameLimit) return TCaptureEnd::NoStageLimit;
        if (FFrameCounter >= MaxFrames) return TCaptureEnd::FrameCap;
        if (std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count() >= MaxSeconds)
            return TCaptureEnd::TimeCap;
    }
}

void TFormPublishImage::TakeFrame() {
    // Frame k shows the movie at k capture periods. The player's clock gets
    // there in steps of at most one frame of the movie's own: a player asked
    // for several frames in one step runs fewer of them when its frames take
    // long, which would make the frames taken depend on the machine's speed.
    const double due = (FFrameCounter + 1) * 1000.0 / FramesPerSecond;
    const double movieFrame = FPlayer.FrameRate() > 0 ? 1000.0 / FPlayer.FrameRate() : due;
    while (due - FMovieClock > 1e-6) {
        const double step = std::min(movieFrame, due - FMovieClock);
        FPlayer.Advance(step);
        FMovieClock += step;
    }
    ++FFrameCounter;
    TBitmap bitmap = MakeBitmap(FrameWidth, FrameHeight, TPixelFormat::pf24bit);
    PaintFlashToCanvas(&FPlayer, bitmap);
    if (OutputKind == pkGIF) {
        FCaption = u"Publish to GIF image (Frame:" + Decimal(FFrameCounter) + u")";
        AddGifFrame(*Gif, bitmap, Transparent ? int64_t{TransparentColor} : -1, GifLoopCount, 1000 / FramesPerSecond);
    } else {
        FCaption = u"Publish to AVI video (Frame:" + Decimal(FFrameCounter) + u")";
        AviFrames.push_back(std::make_unique<TBitmap>(std::move(bitmap)));
        Avi->Bitmaps.push_back(AviFrames.back().get());
    }
    if (OnFrame) OnFrame(*this);
}

TPublishImageResult ExportMovieImage(TFormPublishImage& form, const TCaptureJob& job) {
    if (captureRunning) throw EPublishError(kAlreadyRunning);
    if (job.Kind != pkGIF && job.Kind != pkAVI) throw EPublishError("Only GIF and AVI files are captured");
    if (job.OutputPath.empty()) throw EPublishError("No output file was chosen");

    form.OutputKind = job.Kind;
    form.MoviePath = job.MoviePath;
    form.FrameWidth = job.Width;
    form.FrameHeight = job.Height;
    form.FramesPerSecond = job.FramesPerSecond;
    form.GifLoopCount = job.GifLoopCount;
    form.StageCount = job.StageCount;
    form.Transparent = job.Transparent;
    form.TransparentColor = job.TransparentColor;
    struct TTargets {
        TFormPublishImage& form;
        ~TTargets() {
            form.Gif = nullptr;
            form.Avi = nullptr;
            form.AviFrames.clear();
        }
    } targets{form};

    TPublishImageResult result;
    if (job.Kind == pkGIF) {
        TGIFImage gif;
        gif.ReductionMethod = rdOctree;
        gif.DitherMethod = dtFloydSteinberg;
        gif.CompressionMethod = cmLZW;
        if (job.Transparent) gif.BackgroundFillColor = 0xFFFFFF;
        form.Gif = &gif;
        form.Avi = nullptr;
        result.End = form.CaptureMovie();
        result.Frames = form.FrameCounter();
        gif.SaveToFile(UcSystem::WideToUtf8(job.OutputPath));
    } else {
        TAviWriter writer;
        form.Gif = nullptr;
        form.Avi = &writer;
        result.End = form.CaptureMovie();
        result.Frames = form.FrameCounter();
        writer.FileName = job.OutputPath;
        writer.FrameTime = 1000 / job.FramesPerSecond;
        writer.Width = job.Width;
        writer.Height = job.Height;
        writer.Stretch = true;
        writer.WriteAvi();
    }
    return result;
}

TPublishImageResult PublishProjectImage(TFormPublishImage& form, const ProjectRecord& project,
                                        const TPublishOptions& options, const WideString& outputPath) {
    // Refused before "preview.swf" is written again under a running capture.
    if (captureRunning) throw EPublishError(kAlreadyRunning);
    return ExportMovieImage(form, PrepareCapture(project, options, outputPath));
}
