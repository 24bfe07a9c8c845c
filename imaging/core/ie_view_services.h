// What the processing component and the other image services see of the
// parts that sit above them: the image view (its current bitmap, its
// selection, its layers and, for the vector view, its objects) and the video
// object of the input/output component. The view classes implement TIEView;
// until a view is attached the component works on a bare bitmap.
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

class TIEMask;

class TIEView {
public:
    virtual ~TIEView() = default;

    // Called whenever the view's current bitmap changes, and once with true
    // when the view is destroyed. The handle removes the listener.
    using TBitmapChangeEvent = std::function<void(bool destroying)>;
    virtual int32_t RegisterBitmapChangeEvent(TBitmapChangeEvent event) = 0;
    virtual void RemoveBitmapChangeEvent(int32_t handle) = 0;
    // The legacy toolkit bitmap (nullptr unless the view keeps its image
    // only there) and the library's bitmap (nullptr in that legacy mode).
    virtual TBitmap* GetBitmap() = 0;
    virtual TIEBitmap* GetIEBitmap() = 0;
    virtual void Update() = 0;
    virtual void ImageChange() = 0;
    virtual TColor GetBackground() = 0;
    virtual void SetBackground(TColor color) = 0;
    // The resolution of the loaded image, for the view's measures.
    virtual void SetDPI(int32_t /*dpiX*/, int32_t /*dpiY*/) {}

    // ------------------------------------------------ TVidurErView
    virtual bool IsVidurErView() const { return false; }
    virtual void SaveSelectionToStream(TStream&) {}
    virtual void LoadSelectionFromStream(TStream&, int32_t /*version*/) {}
    virtual bool HasSelection() { return false; }
    virtual TIEMask* GetSelectionMask() { return nullptr; }
    virtual const TPoint* GetPolygonPoints() { return nullptr; }
    virtual int32_t GetPolygonPointCount() { return 0; }
    virtual int32_t GetLayersCount() { return 0; }
    virtual int32_t GetLayersCurrent() { return 0; }
    virtual TIEBitmap* GetLayerBitmap(int32_t /*index*/) { return nullptr; }
    // One layer record: a 32-bit length counted from the record's start,
    // then the layer's 16-byte identifier, then its fields.
    virtual void SaveLayerToStream(int32_t /*index*/, TStream&, bool /*withBitmap*/) {}
    virtual void LoadLayerFromStream(int32_t /*index*/, TStream&) {}
    virtual void GetLayerGUID(int32_t /*index*/, uint8_t guid[16]) { std::fill(guid, guid + 16, uint8_t{0}); }

    // ------------------------------------------------ TVidurErVect
    virtual bool IsVidurErVect() const { return false; }
    virtual void SaveToStreamIEV(TStream&) {}
    virtual void LoadFromStreamIEV(TStream&) {}
};

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
