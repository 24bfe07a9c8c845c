// The video object that plays a video file into an image view: frames are
// decoded on a thread of its own at the file's frame rate, each one
// announced to the notify window by a posted new-frame message (the object
// in LParam), and drawn into the view's window where the view puts its
// current layer (RendersIntoView). The end of the file is announced by the
// event message; with Loop the file starts again instead.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_view_services.h"
#include "platform/video/video_file.h"

class TIEVideoFilePlayer : public TIEDirectShow {
public:
    TIEVideoFilePlayer();
    ~TIEVideoFilePlayer() override;

    // The file Connect opens.
    std::string FileInput;
    bool Loop = false;
    // Opens FileInput and shows its first frame (paused); raises with the
    // reason when the file cannot be played.
    void Connect();
    void Disconnect();
    bool Connected() const override;
    void Run();
    void Pause();
    int32_t GetState() const override;
    // Frames decoded since Connect.
    int64_t FrameCount() const;
    // The frame shown now, as an ie24RGB bitmap of the video's size.
    void GetSample(TIEBitmap& bitmap);

    void RepaintVideo(TWinControl& window, TCanvas& canvas) override;
    void GetNativeVideoSize(int32_t& width, int32_t& height) const override;
    void SetVideoPosition(const TRect& source, const TRect& destination) override;
    void SetNotifyWindow(HWND window, uint32_t newFrameMessage, uint32_t eventMessage) override;

private:
    void Play();
    void Post(bool newFrame);
    std::unique_ptr<TVideoFile> file_;
    std::thread thread_;
    mutable std::mutex lock_;
    std::condition_variable wake_;
    TBitmap current_;
    int32_t state_ = 0;
    bool quit_ = false;
    int64_t frames_ = 0;
    HWND window_ = 0;
    uint32_t newFrameMessage_ = 0, eventMessage_ = 0;
    TRect source_{}, destination_{};
};

// Installs the player as the maker of the input/output components' video
// objects (done when the program holds this library; calling it is safe).
void IEUseVideoFilePlayer();
