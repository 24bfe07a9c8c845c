// Publishing: the options the publish dialog edits, the SWF road (compose
// the project into the chosen file and give the HTML code that embeds it)
// and the preparation of the GIF and AVI road, whose frame capture and
// writers stand elsewhere.
#pragma once

#include <cstdint>
#include <vector>

#include "app/project.h"

enum TPublishKind : uint8_t { pkSWF, pkGIF, pkAVI };

// What the publish dialog edits. The choices last while the program runs;
// the publish command sets the frame rate to the project's each time before
// showing the dialog.
class TPublishOptions {
public:
    TPublishKind Kind = pkSWF;
    bool LoopForever = true;
    bool BrowseOutputFolder = false;

    int FrameRate() const { return frameRate_; }
    // 1..100 frames per second: the capture divides by it.
    void SetFrameRate(int rate);
    int LoopCount() const { return loopCount_; }
    // 0..100.
    void SetLoopCount(int count);
    // The GIF's loop count: 0 (endless) when looping forever.
    int GifLoopCount() const { return LoopForever ? 0 : loopCount_; }

    // The dialog's enabling rules.
    bool FrameRateEnabled() const { return Kind != pkSWF; }
    bool LoopChoiceEnabled() const { return Kind == pkGIF; }
    bool LoopCountEnabled() const { return Kind == pkGIF && !LoopForever; }

private:
    int frameRate_ = 24;
    int loopCount_ = 1;
};

// The save dialog of a kind: its filter and default extension.
struct TPublishSaveDialog {
    WideString Filter;
    WideString DefaultExt;
};
TPublishSaveDialog PublishSaveDialog(TPublishKind kind);

// The HTML code that embeds the movie: lines separated by CR LF, the
// transparent-window lines only when transparent. The file name goes into
// the addresses percent-encoded (as UTF-8) and escaped for the attributes.
WideString MakeEmbedHtml(const WideString& fileName, bool transparent, int width, int height);

// Composes the project into path and returns the embed code naming the file
// without its folder; what the movie lacks of the project goes to warnings.
// A failed composition raises and leaves the file as it was.
WideString PublishSwf(const ProjectRecord& project, const WideString& path,
                      std::vector<WideString>* warnings = nullptr);

// What the frame capture is handed for a GIF or AVI.
struct TCaptureJob {
    TPublishKind Kind = pkGIF;
    WideString MoviePath;   // the composed "preview.swf"
    WideString OutputPath;  // the chosen file
    int Width = 0;
    int Height = 0;
    int FramesPerSecond = 24;  // the dialog's, not the project's
    int GifLoopCount = 0;
    int StageCount = 0;
    bool Transparent = false;
    TColor TransparentColor = 0xFFFFFF;
    // What the composed movie lacks of the project, for the user.
    std::vector<WideString> Warnings;
};

// Composes the project to play once and stop at its end frame (which sends
// the end-frame marker) without opening its close address, into
// "preview.swf" in the per-user data folder, and describes the capture job.
TCaptureJob PrepareCapture(const ProjectRecord& project, const TPublishOptions& options, const WideString& outputPath);

// Opens a folder in the desktop's file manager, without waiting for it.
void OpenFolder(const WideString& folder);
