// Drawing and animating GIF pictures: frames rendered once into 8-bit
// bitmaps with a transparency mask, single frames drawn stretched or tiled,
// and TGIFPainter, which shows the frames of an animation in turn with their
// delays, disposal methods and loop count. The painter composes each frame
// into its own picture (the part of the window it paints) on the window
// thread; the window shows that picture when it paints. A threaded painter
// keeps the time between frames on a worker thread that does nothing but
// wait and post WM_GIFPAINTER to its window; an unthreaded one keeps it with
// a toolkit timer. TGIFView is a window that shows a GIF picture this way.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "pictures/gif_image.h"
#include "platform/canvas.h"
#include "platform/ui/application.h"
#include "platform/ui/control.h"

// What the painter thread posts to its window: WParam is the painter's id.
constexpr uint32_t WM_GIFPAINTER = WM_USER + 0x2F0;

// Milliseconds per delay unit (a hundredth of a second) and the delay rules.
constexpr int kGIFDelayMs = 12;
constexpr int kGIFDefaultDelay = 10;
constexpr int kGIFMinimumDelay = 3;
constexpr int kGIFMaximumDelay = 1000;

class TGIFPainter {
public:
    // Paints the image into a picture of rect's size. background is the
    // canvas under the rectangle when the painter starts (used with
    // poTransparent), or null. window is the window that shows the picture
    // (0: none is told).
    TGIFPainter(TGIFImage& image, uint16_t options, const TRect& rect, const TBitmap* background, HWND window);
    ~TGIFPainter();
    TGIFPainter(const TGIFPainter&) = delete;
    TGIFPainter& operator=(const TGIFPainter&) = delete;

    // Shows the first frame and starts the clock (window thread).
    void Start();
    // Stops the clock; a threaded painter's thread ends at once.
    void Stop();
    // Shows the next frame as the animation says (window thread); the timer
    // or the message of the thread calls it.
    void Advance();

    uint32_t Id() const { return id_; }
    const TRect& Rect() const { return rect_; }
    uint16_t Options() const { return options_; }
    bool Threaded() const { return (options_ & poThreaded) != 0; }
    // The frame shown, -1 once the animation ended (or before it started).
    int ActiveFrame() const { return activeFrame_; }
    // The frame last painted (stays after the end).
    int ShownFrame() const { return shownFrame_; }
    bool Started() const { return started_; }
    bool Finished() const { return finished_; }
    int LoopCount() const { return loopCount_; }
    // Frames painted since the start, counting repeats.
    int PaintCount() const { return paintCount_; }
    // Milliseconds until the next frame (-1 when none follows; 0 at once).
    int64_t NextWait() const { return nextWait_; }
    // The composed picture now shown.
    const TBitmap& Picture() const { return shown_; }

    std::function<void(TGIFPainter&)> OnPainterStart, OnFramePaint, OnFramePainted, OnLoopRestart, OnPainterEnd;

    // The painter of an id while it lives, else null (window thread).
    static TGIFPainter* Find(uint32_t id);

private:
    void ShowFrame();
    void Compose(const TGIFSubImage& frame, int disposal);
    void DrawFrameInto(TBitmap& target, const TGIFSubImage& frame);
    void ClearFrameArea(TBitmap& target, const TGIFSubImage& frame);
    TRect FrameRect(const TGIFSubImage& frame) const;
    void Schedule();
    void End();
    void ThreadLoop();

    TGIFImage& image_;
    uint16_t options_;
    TRect rect_;
    HWND window_;
    uint32_t id_;
    uint32_t backgroundColor_ = 0;
    TBitmap background_;  // the canvas under the rectangle at the start
    TBitmap backup_;      // the composed picture the next frame builds on
    TBitmap shown_;
    int activeFrame_ = -1, shownFrame_ = -1;
    int loopCount_ = 1, loopPoint_ = 0;
    bool looping_ = false;
    int delay_ = 0;
    int previousDisposal_ = 1;
    bool started_ = false, finished_ = false;
    int paintCount_ = 0;
    int speed_ = 100;
    int64_t nextWait_ = -1;
    std::unique_ptr<TTimer> timer_;

    // The thread's side: it waits nextWait_ ms (or until woken), posts, and
    // waits for the window thread to have shown the frame.
    std::thread thread_;
    std::mutex lock_;
    std::condition_variable wake_;
    bool stopping_ = false;
    bool posted_ = false;
    int64_t threadWait_ = -1;
};

// A window that shows a GIF picture, animated as its paint options say.
class TGIFView : public TWinControl {
public:
    explicit TGIFView(TComponent* owner);
    ~TGIFView() override;
    TGIFImage& Image() { return *image_; }
    // Whether the picture is stretched to the window (else drawn at its size).
    bool Stretch = false;
    void PaintWindow(TBitmap& surface) override;
    void DestroyWnd() override;

private:
    std::unique_ptr<TGIFImage> image_;
};
