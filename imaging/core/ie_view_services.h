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

#include "imaging/core/ie_bitmap.h"
#include "platform/geometry.h"
#include "platform/stream.h"

// The view classes themselves (TIEView and its descendants).
#include "imaging/core/ie_view.h"

// The video object of the input/output component. Without a capture graph
// of the platform's it is never connected: state 0, no video size.
class TIEDirectShow {
public:
    virtual ~TIEDirectShow() = default;
    virtual bool Connected() const { return false; }
    virtual int32_t GetState() const { return 0; }  // 0 stopped, 1 paused, 2 running
    bool RendersIntoView = false;
    virtual void RepaintVideo(void* /*window*/, void* /*deviceContext*/) {}
    virtual void GetNativeVideoSize(int32_t& width, int32_t& height) const { width = height = 0; }
    virtual void SetVideoPosition(const TRect& /*source*/, const TRect& /*destination*/) {}
};
