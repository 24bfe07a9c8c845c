// What the processing component and the other image services see of the
// image view (its current bitmap, its selection, its layers and, for the
// vector view, its objects: the virtual operations of TIEView) and the video
// object of the input/output component. Until a view is attached the
// component works on a bare bitmap.
//
// A plain TIEView has no selection, layers or vector objects; TVidurErView
// and its vector descendant answer IsVidurErView / IsVidurErVect and
// implement those groups.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "imaging/core/ie_bitmap.h"
#include "platform/geometry.h"
#include "platform/canvas.h"
#include "platform/stream.h"
#include "platform/ui/control.h"

// The view classes themselves (TIEView and its descendants).
#include "imaging/core/ie_view.h"

// The video object of the input/output component. This base is never
// connected (state 0, no video size); the extras library makes ones that
// play files and draw into the view's window (RendersIntoView), registered
// with IESetDirectShowMaker. Live objects are known (IEDirectShowAlive), so
// that a message a destroyed object posted is ignored.
class TIEDirectShow {
public:
    TIEDirectShow();
    virtual ~TIEDirectShow();
    TIEDirectShow(const TIEDirectShow&) = delete;
    TIEDirectShow& operator=(const TIEDirectShow&) = delete;
    virtual bool Connected() const { return false; }
    virtual int32_t GetState() const { return 0; }  // 0 stopped, 1 paused, 2 running
    bool RendersIntoView = false;
    // Draws the current frame onto the window's canvas at the destination
    // given last.
    virtual void RepaintVideo(TWinControl& /*window*/, TCanvas& /*canvas*/) {}
    virtual void GetNativeVideoSize(int32_t& width, int32_t& height) const { width = height = 0; }
    // Source in video pixels, destination in client pixels (left, top,
    // right, bottom each).
    virtual void SetVideoPosition(const TRect& /*source*/, const TRect& /*destination*/) {}
    // Where the new-frame and event messages go (0: nowhere).
    virtual void SetNotifyWindow(HWND /*window*/, uint32_t /*newFrameMessage*/, uint32_t /*eventMessage*/) {}
};
bool IEDirectShowAlive(const TIEDirectShow* object);
using TIEDirectShowMaker = std::function<std::unique_ptr<TIEDirectShow>()>;
void IESetDirectShowMaker(TIEDirectShowMaker maker);
// A new video object from the registered maker (the plain base without one).
std::unique_ptr<TIEDirectShow> IEMakeDirectShow();
