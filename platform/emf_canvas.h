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

#include "platform/emf.h"

// Pen styles, brush styles and text-alignment flags of the system.
enum : int32_t { PS_SOLID = 0, PS_DASH = 1, PS_DOT = 2, PS_DASHDOT = 3, PS_DASHDOTDOT = 4, PS_NULL = 5 };
enum : int32_t { BS_SOLID = 0, BS_NULL = 1, BS_HATCHED = 2 };
enum : int32_t { TA_UPDATECP = 1, TA_RIGHT = 2, TA_CENTER = 6, TA_BOTTOM = 8, TA_BASELINE = 24 };

struct TCanvasPen {
    uint32_t Color = 0;  // red in the low byte
    int32_t Width = 1;   // pixels
    int32_t Style = PS_SOLID;
    bool operator==(const TCanvasPen&) const = default;
};

struct TCanvasBrush {
    uint32_t Color = 0xFFFFFF;
    int32_t Style = BS_SOLID;
    bool operator==(const TCanvasBrush&) const = default;
};

struct TCanvasFont {
    std::string Name = "Tahoma";
    int32_t Height = -13;  // pixels; negative: the em height, positive: the cell height
    bool Bold = false, Italic = false, Underline = false, StrikeOut = false;
    uint32_t Color = 0;
    bool operator==(const TCanvasFont&) const = default;
};

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
