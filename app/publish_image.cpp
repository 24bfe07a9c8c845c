#include "app/publish_image.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "pictures/color_reduction.h"
#include "pictures/dithering.h"
#include "pictures/gif_frame_helpers.h"
#include "platform/paths.h"
#include "swf/reader.h"

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

// Bytes a frame takes in the output: its palette indices, rows padded as
// the AVI pads them, and a little for the frame's own records.
uint64_t FrameBytes(const TCaptureJob& job) {
    return uint64_t(TAviWriter::AviBytesPerScanline(job.Width, 8, 32)) * uint64_t(job.Height) + 1024;
}

// The frames a capture is projected to take: 500 without stages, else the
// movie's own frames at the capture's rate; within the frame cap.
int64_t ProjectedFrames(const TCaptureJob& job, int maxFrames) {
    int64_t frames = kNoStageFrameLimit;
    if (job.StageCount > 0) {
        frames = 1;
        try {
            TSWFStreamReader movie(UcSystem::WideToUtf8(job.MoviePath));
            if (movie.Valid && movie.GetFrameRate() > 0)
                frames = int64_t(std::ceil(movie.FrameCount * double(job.FramesPerSecond) / movie.GetFrameRate()));
        } catch (const Exception&) {
            // The player says what is wrong with the movie.
        }
    }
    return std::clamp<int64_t>(frames, 1, std::max(maxFrames, 1));
}

std::string Megabytes(uint64_t bytes) {
    return FormatStr("%.1f MB", double(bytes) / (1024.0 * 1024.0));
}

// Raises when the folder has fewer bytes free than needed.
void CheckDiskSpace(const TFormPublishImage& form, const std::string& folder, uint64_t needed, const std::string& what) {
    uint64_t free;
    if (form.FreeDiskSpace) {
        free = form.FreeDiskSpace(folder);
    } else {
        std::error_code error;
        std::filesystem::space_info space = std::filesystem::space(folder, error);
        if (error) return;  // it cannot tell: a write that finds the disk full raises
        free = space.available;
    }
    if (free >= needed) return;
    throw EPublishError("Not enough free disk space in \"" + folder + "\" for " + what + ": it needs about " +
                        Megabytes(needed) + ", and " + Megabytes(free) + " are free");
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
        // A movie without stages is captured for its 500 frames even when it
        // reaches its end frame before them (one by one, nothing waits there).
        if (StageCount <= 0) {
            if (FFrameCounter >= kNoStageFrameLimit) return TCaptureEnd::NoStageLimit;
        } else if (FEndSeen) {
            return TCaptureEnd::EndOfMovie;
        }
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
        Gif->AddFrame(bitmap, Transparent ? int64_t{TransparentColor} : -1, GifLoopCount, 1000 / FramesPerSecond);
    } else {
        FCaption = u"Publish to AVI video (Frame:" + Decimal(FFrameCounter) + u")";
        Avi->AddFrame(bitmap);
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
        }
    } targets{form};

    const std::string target = UcSystem::WideToUtf8(job.OutputPath);
    std::string folder = std::filesystem::path(target).parent_path().string();
    if (folder.empty()) folder = ".";
    const uint64_t projected = uint64_t(ProjectedFrames(job, form.MaxFrames)) * FrameBytes(job);
    TPublishImageResult result;
    if (job.Kind == pkGIF) {
        TGIFImage settings;
        settings.ReductionMethod = rdOctree;
        settings.DitherMethod = dtFloydSteinberg;
        settings.CompressionMethod = cmLZW;
        if (job.Transparent) settings.BackgroundFillColor = 0xFFFFFF;
        // The GIF is written beside the target and put in its place once whole.
        struct TWorkFile {
            std::string path;
            std::unique_ptr<TFileStream> stream;
            ~TWorkFile() {
                stream.reset();
                DeleteFileIfExists(path);
            }
        } work{(std::filesystem::path(folder) / "~FlashTemp.gif").string(), nullptr};
        try {
            work.stream = std::make_unique<TFileStream>(work.path, TFileMode::Create);
        } catch (const EStreamError& e) {
            throw EPublishError("Cannot write the GIF image \"" + target + "\": " + e.what());
        }
        CheckDiskSpace(form, folder, projected, "the GIF image");
        TGIFFrameWriter writer(settings, *work.stream);
        form.Gif = &writer;
        result.End = form.CaptureMovie();
        result.Frames = form.FrameCounter();
        writer.Finish();
        work.stream->Close();
        work.stream.reset();
        ReplaceFile(work.path, target);
    } else {
        TAviWriter writer;
        writer.FileName = job.OutputPath;
        writer.FrameTime = 1000 / job.FramesPerSecond;
        writer.Width = job.Width;
        writer.Height = job.Height;
        writer.Stretch = true;
        try {
            writer.BeginFrames();
        } catch (const EAviWriterError& e) {
            throw EPublishError("Cannot write the AVI video \"" + target + "\": " + e.what());
        }
        CheckDiskSpace(form, folder, projected, "the AVI video");
        form.Avi = &writer;
        result.End = form.CaptureMovie();
        result.Frames = form.FrameCounter();
        // The video is written beside the frame file, which stays until it
        // is whole: the room it needs is known exactly by now.
        CheckDiskSpace(form, folder, uint64_t(result.Frames) * FrameBytes(job), "the AVI video");
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
