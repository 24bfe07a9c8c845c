// The toolkit's drawing canvas over a metafile recording: the stand-in for a
// canvas whose handle is a metafile device. Each drawing operation writes the
// records that select the current pen, brush and font (when they changed)
// and then its drawing record, in pixels of a frame whose top-left is (0, 0).
//
// What it leaves out: drawing into pixels (there are none to draw into),
// pen modes, copy modes and canvas-to-canvas copies.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/canvas.h"  // pens, brushes and fonts
#include "platform/emf.h"

class TMetafileCanvas {
public:
    TMetafileCanvas() = default;
    virtual ~TMetafileCanvas() = default;
    TMetafileCanvas(const TMetafileCanvas&) = delete;
    TMetafileCanvas& operator=(const TMetafileCanvas&) = delete;

    TCanvasPen Pen;
    TCanvasBrush Brush;
    TCanvasFont Font;

    // Every operation raises EConvertError while no recording is open.
    void MoveTo(int32_t x, int32_t y);
    void LineTo(int32_t x, int32_t y);
    void Rectangle(int32_t left, int32_t top, int32_t right, int32_t bottom);
    void FillRect(const TRect& rect);
    void Ellipse(int32_t left, int32_t top, int32_t right, int32_t bottom);
    void RoundRect(int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t cornerWidth, int32_t cornerHeight);
    void Polygon(const std::vector<TPoint>& points);
    void Polyline(const std::vector<TPoint>& points);
    // The first point and then three points (two controls, the end) a segment.
    void PolyBezier(const std::vector<TPoint>& points);
    void Arc(const TRect& box, const TPoint& start, const TPoint& end);
    void Chord(const TRect& box, const TPoint& start, const TPoint& end);
    void Pie(const TRect& box, const TPoint& start, const TPoint& end);
    // Text at (x, y), its top-left corner; transparent when the brush is BS_NULL.
    void TextOut(int32_t x, int32_t y, const std::u16string& text);
    // Everything drawn after it is clipped to the rectangle.
    void IntersectClipRect(const TRect& rect);

protected:
    // A new recording over a frame of that size in pixels.
    void OpenRecording(int32_t width, int32_t height);
    // The metafile recorded since OpenRecording; none is open afterwards.
    std::vector<uint8_t> CloseRecording();
    bool IsRecording() const { return recorder_ != nullptr; }

private:
    std::unique_ptr<TEmfRecorder> recorder_;
    TCanvasPen recordedPen_;
    TCanvasBrush recordedBrush_;
    TCanvasFont recordedFont_;
    bool penSelected_ = false, brushSelected_ = false, fontSelected_ = false;

    TEmfRecorder& Recorder();
    void SelectPen();
    void SelectBrush();
    void SelectFont();
    void BoxRecord(uint32_t type, const TRect& box, const std::vector<int32_t>& extra = {});
    void PolyRecord(uint32_t type, const std::vector<TPoint>& points);
};
