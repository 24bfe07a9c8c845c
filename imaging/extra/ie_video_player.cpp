#include "imaging/extra/ie_video_player.h"

#include <algorithm>
#include <chrono>

#include "platform/errors.h"
#include "platform/ui/application.h"

TIEVideoFilePlayer::TIEVideoFilePlayer() { RendersIntoView = true; }

TIEVideoFilePlayer::~TIEVideoFilePlayer() { Disconnect(); }

void TIEVideoFilePlayer::Connect() {
    Disconnect();
    if (FileInput.empty()) throw Exception("No video file to play");
    auto file = std::make_unique<TVideoFile>(FileInput);
    TBitmap first;
    if (!file->ReadFrame(first)) throw Exception("The video file \"" + FileInput + "\" holds no frame");
    {
        std::lock_guard<std::mutex> hold(lock_);
        file_ = std::move(file);
        current_ = std::move(first);
        frames_ = 1;
        state_ = 1;
        quit_ = false;
        source_ = {0, 0, current_.Width(), current_.Height()};
    }
    thread_ = std::thread([this] { Play(); });
}

void TIEVideoFilePlayer::Disconnect() {
    {
        std::lock_guard<std::mutex> hold(lock_);
        quit_ = true;
        state_ = 0;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
    std::lock_guard<std::mutex> hold(lock_);
    file_.reset();
}

bool TIEVideoFilePlayer::Connected() const {
    std::lock_guard<std::mutex> hold(lock_);
    return file_ != nullptr;
}

void TIEVideoFilePlayer::Run() {
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (file_) state_ = 2;
    }
    wake_.notify_all();
}

void TIEVideoFilePlayer::Pause() {
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (file_) state_ = 1;
    }
    wake_.notify_all();
}

int32_t TIEVideoFilePlayer::GetState() const {
    std::lock_guard<std::mutex> hold(lock_);
    return state_;
}

int64_t TIEVideoFilePlayer::FrameCount() const {
    std::lock_guard<std::mutex> hold(lock_);
    return frames_;
}

void TIEVideoFilePlayer::Post(bool newFrame) {
    HWND window;
    uint32_t message;
    {
        std::lock_guard<std::mutex> hold(lock_);
        window = window_;
        message = newFrame ? newFrameMessage_ : eventMessage_;
    }
    if (window != 0 && message != 0)
        Application().PostMessage(window, message, 0, reinterpret_cast<intptr_t>(static_cast<TIEDirectShow*>(this)));
}

void TIEVideoFilePlayer::Play() {
    TBitmap next;
    auto due = std::chrono::steady_clock::now();
    for (;;) {
        double frameMs;
        {
            std::unique_lock<std::mutex> hold(lock_);
            wake_.wait(hold, [this] { return quit_ || state_ == 2; });
            if (quit_) return;
            frameMs = file_->FrameDuration();
            // Wait for the frame's time, waking early for a pause or the end.
            if (wake_.wait_until(hold, due, [this] { return quit_ || state_ != 2; })) {
                if (quit_) return;
                due = std::chrono::steady_clock::now();
                continue;
            }
        }
        // Only this thread reads the file while it runs.
        bool got = file_->ReadFrame(next);
        bool ended = false;
        if (!got) {
            if (Loop) {
                file_->Rewind();
                got = file_->ReadFrame(next);
            }
            ended = !got;
        }
        if (got) {
            {
                std::lock_guard<std::mutex> hold(lock_);
                std::swap(current_, next);
                ++frames_;
            }
            Post(true);
        }
        if (ended) {
            {
                std::lock_guard<std::mutex> hold(lock_);
                state_ = 1;  // the last frame stays
            }
            Post(false);
        }
        due += std::chrono::microseconds(static_cast<int64_t>(frameMs * 1000));
        const auto now = std::chrono::steady_clock::now();
        if (due < now) due = now;
    }
}

void TIEVideoFilePlayer::GetSample(TIEBitmap& bitmap) {
    std::lock_guard<std::mutex> hold(lock_);
    if (current_.Empty()) return;
    bitmap.CopyFromTBitmap(current_);
    if (bitmap.GetPixelFormat() != ie24RGB) bitmap.SetPixelFormat(ie24RGB);
}

void TIEVideoFilePlayer::RepaintVideo(TWinControl&, TCanvas& canvas) {
    std::lock_guard<std::mutex> hold(lock_);
    if (current_.Empty() || destination_.Right <= destination_.Left || destination_.Bottom <= destination_.Top) return;
    canvas.StretchMode = HALFTONE;
    canvas.CopyRect(destination_, current_, source_);
}

void TIEVideoFilePlayer::GetNativeVideoSize(int32_t& width, int32_t& height) const {
    std::lock_guard<std::mutex> hold(lock_);
    width = file_ ? current_.Width() : 0;
    height = file_ ? current_.Height() : 0;
}

void TIEVideoFilePlayer::SetVideoPosition(const TRect& source, const TRect& destination) {
    std::lock_guard<std::mutex> hold(lock_);
    source_ = source;
    destination_ = destination;
}

void TIEVideoFilePlayer::SetNotifyWindow(HWND window, uint32_t newFrameMessage, uint32_t eventMessage) {
    std::lock_guard<std::mutex> hold(lock_);
    window_ = window;
    newFrameMessage_ = newFrameMessage;
    eventMessage_ = eventMessage;
}

namespace {
[[maybe_unused]] const bool installed = (IEUseVideoFilePlayer(), true);
}

void IEUseVideoFilePlayer() {
    IESetDirectShowMaker([] { return std::make_unique<TIEVideoFilePlayer>(); });
}
