#include "platform/emf_canvas.h"

#include <algorithm>

namespace {

// Slots of the handle table: the canvas keeps one object of each kind and
// creates the new one into the slot of the old.
constexpr uint32_t kPenSlot = 1, kBrushSlot = 2, kFontSlot = 3;

std::vector<uint8_t> Values(std::initializer_list<int32_t> values) {
    std::vector<uint8_t> out;
    for (int32_t v : values) PutI32(out, v);
    return out;
}

TRect PointsBounds(const std::vector<TPoint>& points) {
    TRect b{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
    for (const TPoint& p : points) {
        b.Left = std::min(b.Left, p.X);
        b.Top = std::min(b.Top, p.Y);
        b.Right = std::max(b.Right, p.X);
        b.Bottom = std::max(b.Bottom, p.Y);
    }
    return points.empty() ? TRect{} : b;
}

}  // namespace

void TMetafileCanvas::OpenRecording(int32_t width, int32_t height) {
    // The frame in 0.01 mm at 96 pixels per inch.
    recorder_ = std::make_unique<TEmfRecorder>(
        TRect{0, 0, static_cast<int32_t>(int64_t(width) * 2540 / 96), static_cast<int32_t>(int64_t(height) * 2540 / 96)});
    recorder_->UseHandle(kFontSlot);
    penSelected_ = brushSelected_ = fontSelected_ = false;
}

std::vector<uint8_t> TMetafileCanvas::CloseRecording() {
    if (!recorder_) return {};
    std::vector<uint8_t> bytes = recorder_->HasDrawing() ? recorder_->Finish() : std::vector<uint8_t>{};
    recorder_.reset();
    return bytes;
}

TEmfRecorder& TMetafileCanvas::Recorder() {
    if (!recorder_) throw EConvertError("The canvas is not recording: nothing can be drawn on it");
    return *recorder_;
}

void TMetafileCanvas::SelectPen() {
    if (penSelected_ && recordedPen_ == Pen) return;
    std::vector<uint8_t> payload = Values({static_cast<int32_t>(kPenSlot), Pen.Style, Pen.Width, 0});
    PutU32(payload, Pen.Color & 0xFFFFFF);
    Recorder().Add(EMR_CREATEPEN, payload);
    Recorder().Add(EMR_SELECTOBJECT, Values({static_cast<int32_t>(kPenSlot)}));
    recordedPen_ = Pen;
    penSelected_ = true;
}

void TMetafileCanvas::SelectBrush() {
    if (brushSelected_ && recordedBrush_ == Brush) return;
    std::vector<uint8_t> payload = Values({static_cast<int32_t>(kBrushSlot), Brush.Style});
    PutU32(payload, Brush.Color & 0xFFFFFF);
    PutU32(payload, static_cast<uint32_t>(Brush.Style == BS_HATCHED ? Brush.Hatch : 0));
    Recorder().Add(EMR_CREATEBRUSHINDIRECT, payload);
    Recorder().Add(EMR_SELECTOBJECT, Values({static_cast<int32_t>(kBrushSlot)}));
    recordedBrush_ = Brush;
    brushSelected_ = true;
}

void TMetafileCanvas::SelectFont() {
    if (fontSelected_ && recordedFont_ == Font) return;
    std::vector<uint8_t> payload = Values({static_cast<int32_t>(kFontSlot), Font.Height, 0, 0, 0, Font.Bold ? 700 : 400});
    payload.push_back(Font.Italic ? 1 : 0);
    payload.push_back(Font.Underline ? 1 : 0);
    payload.push_back(Font.StrikeOut ? 1 : 0);
    payload.push_back(1);  // default character set
    payload.insert(payload.end(), {0, 0, 0, 0});
    // The face name as 32 UTF-16 units; the rest of the extended record is zero.
    std::u16string face;
    for (unsigned char c : Font.Name) face.push_back(c);
    face.resize(32);
    face[31] = 0;
    for (char16_t c : face) {
        payload.push_back(static_cast<uint8_t>(c));
        payload.push_back(static_cast<uint8_t>(c >> 8));
    }
    payload.resize(4 + 320, 0);
    Recorder().Add(EMR_EXTCREATEFONTINDIRECTW, payload);
    Recorder().Add(EMR_SELECTOBJECT, Values({static_cast<int32_t>(kFontSlot)}));
    recordedFont_ = Font;
    fontSelected_ = true;
}

void TMetafileCanvas::MoveTo(int32_t x, int32_t y) { Recorder().Add(EMR_MOVETOEX, Values({x, y})); }

void TMetafileCanvas::LineTo(int32_t x, int32_t y) {
    SelectPen();
    Recorder().Add(EMR_LINETO, Values({x, y}));
}

void TMetafileCanvas::BoxRecord(uint32_t type, const TRect& box, const std::vector<int32_t>& extra) {
    SelectPen();
    SelectBrush();
    std::vector<uint8_t> payload;
    PutRect(payload, box);
    for (int32_t v : extra) PutI32(payload, v);
    Recorder().Add(type, payload);
}

void TMetafileCanvas::Rectangle(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    BoxRecord(EMR_RECTANGLE, TRect{left, top, right, bottom});
}

void TMetafileCanvas::FillRect(const TRect& rect) {
    TCanvasPen keep = Pen;
    Pen.Style = PS_NULL;
    BoxRecord(EMR_RECTANGLE, rect);
    Pen = keep;
}

void TMetafileCanvas::Ellipse(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    BoxRecord(EMR_ELLIPSE, TRect{left, top, right, bottom});
}

void TMetafileCanvas::RoundRect(int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t cornerWidth,
                                int32_t cornerHeight) {
    BoxRecord(EMR_ROUNDRECT, TRect{left, top, right, bottom}, {cornerWidth, cornerHeight});
}

void TMetafileCanvas::Arc(const TRect& box, const TPoint& start, const TPoint& end) {
    BoxRecord(EMR_ARC, box, {start.X, start.Y, end.X, end.Y});
}

void TMetafileCanvas::Chord(const TRect& box, const TPoint& start, const TPoint& end) {
    BoxRecord(EMR_CHORD, box, {start.X, start.Y, end.X, end.Y});
}

void TMetafileCanvas::Pie(const TRect& box, const TPoint& start, const TPoint& end) {
    BoxRecord(EMR_PIE, box, {start.X, start.Y, end.X, end.Y});
}

void TMetafileCanvas::PolyRecord(uint32_t type, const std::vector<TPoint>& points) {
    SelectPen();
    SelectBrush();
    std::vector<uint8_t> payload;
    PutRect(payload, PointsBounds(points));
    PutU32(payload, static_cast<uint32_t>(points.size()));
    for (const TPoint& p : points) {
        PutI32(payload, p.X);
        PutI32(payload, p.Y);
    }
    Recorder().Add(type, payload);
}

void TMetafileCanvas::Polygon(const std::vector<TPoint>& points) { PolyRecord(EMR_POLYGON, points); }
void TMetafileCanvas::Polyline(const std::vector<TPoint>& points) { PolyRecord(EMR_POLYLINE, points); }
void TMetafileCanvas::PolyBezier(const std::vector<TPoint>& points) { PolyRecord(EMR_POLYBEZIER, points); }

void TMetafileCanvas::TextOut(int32_t x, int32_t y, const std::u16string& text) {
    SelectFont();
    Recorder().Add(EMR_SETTEXTALIGN, Values({0}));
    Recorder().Add(EMR_SETTEXTCOLOR, Values({static_cast<int32_t>(Font.Color & 0xFFFFFF)}));
    Recorder().Add(EMR_SETBKMODE, Values({Brush.Style == BS_NULL ? 1 : 2}));
    Recorder().Add(EMR_SETBKCOLOR, Values({static_cast<int32_t>(Brush.Color & 0xFFFFFF)}));
    std::vector<uint8_t> payload;
    PutRect(payload, TRect{x, y, x, y});
    PutI32(payload, 1);     // compatible graphics mode
    PutF32(payload, 1.0f);  // scales
    PutF32(payload, 1.0f);
    PutI32(payload, x);
    PutI32(payload, y);
    PutU32(payload, static_cast<uint32_t>(text.size()));
    PutU32(payload, 76);  // the string follows the fixed part of the record
    PutU32(payload, 0);   // no options
    PutRect(payload, TRect{});
    PutU32(payload, 0);   // no spacing array
    for (char16_t c : text) {
        payload.push_back(static_cast<uint8_t>(c));
        payload.push_back(static_cast<uint8_t>(c >> 8));
    }
    Recorder().Add(EMR_EXTTEXTOUTW, payload);
}

void TMetafileCanvas::IntersectClipRect(const TRect& rect) {
    std::vector<uint8_t> payload;
    PutRect(payload, rect);
    Recorder().Add(EMR_INTERSECTCLIPRECT, payload);
}
