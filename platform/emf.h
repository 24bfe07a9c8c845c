// Enhanced metafiles: the stand-in for the system's metafile functions.
//
// TEnhMetafile holds the bytes of a metafile and splits them into records,
// each checked against its own size and the file's, so that a handler can
// never read past the record it was given (every field access goes through
// TEmfRecord's bounded readers and raises EReadError beyond the record).
// TEmfPlaybackDC is the device a metafile is played into: it keeps the state
// that the drawing records depend on (mapping mode, window and viewport,
// world transform, saved states, current position, the path being built,
// arc direction, fill mode, text alignment, colours and the raster mode) and
// turns logical points into device pixels of the playback rectangle. It draws
// nothing: the movie builder's converter turns the drawing records into
// shapes itself. TEmfRecorder writes records into a new metafile.
//
// Left out: palettes, the metafile region, clipping regions (the converter
// builds its own clip groups), and drawing into pixels. Text drawn inside a
// path adds its glyph outlines to the path.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/fonts.h"  // TSize
#include "platform/geometry.h"
#include "platform/stream.h"

// Record types of the format that this layer and the converter name.
enum : uint32_t {
    EMR_HEADER = 1, EMR_POLYBEZIER = 2, EMR_POLYGON = 3, EMR_POLYLINE = 4, EMR_POLYBEZIERTO = 5,
    EMR_POLYLINETO = 6, EMR_POLYPOLYLINE = 7, EMR_POLYPOLYGON = 8, EMR_SETWINDOWEXTEX = 9,
    EMR_SETWINDOWORGEX = 10, EMR_SETVIEWPORTEXTEX = 11, EMR_SETVIEWPORTORGEX = 12, EMR_SETBRUSHORGEX = 13,
    EMR_EOF = 14, EMR_SETPIXELV = 15, EMR_SETMAPPERFLAGS = 16, EMR_SETMAPMODE = 17, EMR_SETBKMODE = 18,
    EMR_SETPOLYFILLMODE = 19, EMR_SETROP2 = 20, EMR_SETSTRETCHBLTMODE = 21, EMR_SETTEXTALIGN = 22,
    EMR_SETTEXTCOLOR = 24, EMR_SETBKCOLOR = 25, EMR_MOVETOEX = 27, EMR_EXCLUDECLIPRECT = 29,
    EMR_INTERSECTCLIPRECT = 30, EMR_SCALEVIEWPORTEXTEX = 31, EMR_SCALEWINDOWEXTEX = 32, EMR_SAVEDC = 33,
    EMR_RESTOREDC = 34, EMR_SETWORLDTRANSFORM = 35, EMR_MODIFYWORLDTRANSFORM = 36, EMR_SELECTOBJECT = 37,
    EMR_CREATEPEN = 38, EMR_CREATEBRUSHINDIRECT = 39, EMR_DELETEOBJECT = 40, EMR_ANGLEARC = 41,
    EMR_ELLIPSE = 42, EMR_RECTANGLE = 43, EMR_ROUNDRECT = 44, EMR_ARC = 45, EMR_CHORD = 46, EMR_PIE = 47,
    EMR_LINETO = 54, EMR_ARCTO = 55, EMR_SETARCDIRECTION = 57, EMR_SETMITERLIMIT = 58, EMR_BEGINPATH = 59, EMR_ENDPATH = 60,
    EMR_CLOSEFIGURE = 61, EMR_FILLPATH = 62, EMR_STROKEANDFILLPATH = 63, EMR_STROKEPATH = 64,
    EMR_SELECTCLIPPATH = 67, EMR_ABORTPATH = 68, EMR_GDICOMMENT = 70, EMR_FILLRGN = 71,
    EMR_EXTSELECTCLIPRGN = 75, EMR_BITBLT = 76, EMR_STRETCHBLT = 77, EMR_MASKBLT = 78, EMR_STRETCHDIBITS = 81,
    EMR_EXTCREATEFONTINDIRECTW = 82, EMR_EXTTEXTOUTA = 83, EMR_EXTTEXTOUTW = 84, EMR_POLYBEZIER16 = 85,
    EMR_POLYGON16 = 86, EMR_POLYLINE16 = 87, EMR_POLYBEZIERTO16 = 88, EMR_POLYLINETO16 = 89,
    EMR_POLYPOLYLINE16 = 90, EMR_POLYPOLYGON16 = 91, EMR_CREATEMONOBRUSH = 93, EMR_CREATEDIBPATTERNBRUSHPT = 94,
    EMR_EXTCREATEPEN = 95, EMR_SMALLTEXTOUT = 108, EMR_ALPHABLEND = 114, EMR_GRADIENTFILL = 118,
};

// Path point kinds, as the system's path read-back gives them.
enum : uint8_t { PT_CLOSEFIGURE = 1, PT_LINETO = 2, PT_BEZIERTO = 4, PT_MOVETO = 6 };

// A metafile that cannot be read: the text says what is wrong and where.
class EMetafileError : public Exception { using Exception::Exception; };

struct TPointF {
    double X = 0, Y = 0;
};

// The world transform: x' = x eM11 + y eM21 + eDx, y' = x eM12 + y eM22 + eDy.
struct TXForm {
    float eM11 = 1, eM12 = 0, eM21 = 0, eM22 = 1, eDx = 0, eDy = 0;
    TPointF Apply(double x, double y) const;
};
// first, then second.
TXForm CombineXForm(const TXForm& first, const TXForm& second);

// One record: a view of its bytes (type and size included) inside the
// metafile's buffer.
class TEmfRecord {
public:
    TEmfRecord(const uint8_t* data, uint32_t size) : data_(data), size_(size) {}

    uint32_t Type() const { return U32(0); }
    uint32_t Size() const { return size_; }
    const uint8_t* Data() const { return data_; }

    // Each raises EReadError when the field does not lie inside the record.
    uint8_t U8(size_t offset) const;
    uint16_t U16(size_t offset) const;
    int16_t I16(size_t offset) const { return static_cast<int16_t>(U16(offset)); }
    uint32_t U32(size_t offset) const;
    int32_t I32(size_t offset) const { return static_cast<int32_t>(U32(offset)); }
    float F32(size_t offset) const;
    // Four 32-bit values in window order (left, top, right, bottom).
    TRect Rect(size_t offset) const;
    TPoint Point(size_t offset) const;
    TPoint Point16(size_t offset) const;
    TXForm XForm(size_t offset) const;
    // count bytes from offset, all inside the record.
    const uint8_t* Bytes(size_t offset, size_t count) const;
    // count points of 8 bytes (or 4 with small) from offset.
    std::vector<TPoint> Points(size_t offset, size_t count, bool small) const;

private:
    const uint8_t* data_;
    uint32_t size_;
};

class TEnhMetafile {
public:
    TEnhMetafile() = default;

    // EMetafileError for anything that is not a whole enhanced metafile:
    // a missing or short header, a wrong signature, a record whose size is
    // not a multiple of 4, under 8 bytes or past the end of the data. Bytes
    // after the EOF record are ignored.
    void LoadFromBytes(std::vector<uint8_t> bytes);
    void LoadFromStream(TStream& stream);
    void LoadFromFile(const std::string& fileName);
    void SaveToFile(const std::string& fileName) const;

    const std::vector<uint8_t>& Bytes() const { return bytes_; }
    const std::vector<TEmfRecord>& Records() const { return records_; }
    bool Empty() const { return records_.empty(); }

    // From the header.
    TRect Bounds;       // device units of the reference device, inclusive
    TRect Frame;        // 0.01 mm, inclusive
    TSize Device;       // reference device in pixels
    TSize Millimeters;  // reference device in millimetres
    uint16_t Handles = 0;
    // The frame in pixels of the reference device (window order).
    void FramePixels(double& left, double& top, double& right, double& bottom) const;

private:
    std::vector<uint8_t> bytes_;
    std::vector<TEmfRecord> records_;
};

// The logical font of an EXTCREATEFONTINDIRECTW record (its LOGFONTW at
// offset 12).
TLogFont ReadLogFontW(const TEmfRecord& record);

// What a text record (EXTTEXTOUTA, EXTTEXTOUTW, SMALLTEXTOUT) draws, in
// logical units. Glyph indexes of the common fonts run 29 below their
// characters, so ETO_GLYPH_INDEX text is read back as characters that way.
struct TEmfText {
    TPoint Reference;
    std::u16string Text;
    std::vector<int32_t> Spacing;  // one advance a character, or none
    uint32_t Options = 0;
    TRect Box;
};
TEmfText ReadTextRecord(const TEmfRecord& record);

// An elliptic arc in device pixels: angles in degrees, 0 to the right of the
// centre and growing counterclockwise on screen, the arc running from Start
// round to End in that sense.
struct TEmfArc {
    TPointF Centre;
    double RadiusX = 0, RadiusY = 0;
    double Start = 0, End = 0;
    TPointF PointAt(double degrees) const;
};

// Rectangles of region data (an RGNDATA block of size bytes at offset), in
// the units the region was recorded in. EReadError when the block does not
// hold what its header says.
std::vector<TRect> ReadRegionRects(const TEmfRecord& record, size_t offset, size_t size);

class TEmfPlaybackDC {
public:
    // The metafile's frame is mapped onto (0, 0, width, height); a width or
    // height of 0 takes the frame's own size in pixels.
    TEmfPlaybackDC(const TEnhMetafile& metafile, double width = 0, double height = 0);

    // Applies a record's effect on the state; records that only draw do
    // nothing here, except that inside a path they add to it, and that the
    // TO forms move the current position.
    void Play(const TEmfRecord& record);

    // Logical to device pixels of the playback rectangle.
    TPointF LPtoDP(double x, double y) const;
    TPointF LPtoDP(const TPoint& p) const { return LPtoDP(p.X, p.Y); }
    // A length along one axis (through the page mapping and world scale).
    double LengthToDP(double value, bool vertical) const;
    // A point of the reference device (region data) to playback pixels.
    TPointF DeviceToDP(double x, double y) const;
    // The arc of an ARC, ARCTO, CHORD or PIE record: its box and radial
    // points in device pixels, the arc direction applied.
    TEmfArc ArcOf(const TEmfRecord& record) const;

    int32_t MapMode = 1;
    TPoint WindowOrg, ViewportOrg;
    TSize WindowExt{1, 1}, ViewportExt{1, 1};
    TXForm WorldTransform;
    TPointF CurrentPosition;  // device pixels
    int32_t ArcDirection = 1;  // 1 counterclockwise, 2 clockwise
    int32_t PolyFillMode = 1;
    int32_t TextAlign = 0;
    int32_t Rop2 = 13;
    int32_t BkMode = 2;
    // The selected font; the stock font is the system's sans face.
    TLogFont Font = DefaultFont();
    static TLogFont DefaultFont();
    // Longest miter join, in line widths; longer ones are bevelled.
    float MiterLimit = 10;
    uint32_t BkColor = 0xFFFFFF;
    uint32_t TextColor = 0;

    // The path: device pixels and PT_ kinds. InPath between BEGINPATH and
    // ENDPATH; HasPath after an ENDPATH until the path is used up.
    bool InPath = false;
    bool HasPath = false;
    std::vector<TPointF> PathPoints;
    std::vector<uint8_t> PathTypes;

private:
    struct TSavedState {
        int32_t MapMode;
        TPoint WindowOrg, ViewportOrg;
        TSize WindowExt, ViewportExt;
        TXForm WorldTransform;
        TPointF CurrentPosition;
        int32_t ArcDirection, PolyFillMode, TextAlign, Rop2, BkMode;
        float MiterLimit;
        uint32_t BkColor, TextColor;
    };
    std::vector<TSavedState> saved_;
    uint32_t handles_ = 0;                // slots in the handle table
    std::map<uint32_t, TLogFont> fonts_;  // the handle table's fonts
    uint32_t selectedFont_ = 0;           // its index, 0 for a stock font
    std::map<std::string, std::unique_ptr<TPlatformFont>> faces_;
    TSize deviceSize_;
    TSize millimeters_;
    double frameLeft_ = 0, frameTop_ = 0;
    double scaleX_ = 1, scaleY_ = 1;

    void SetMapMode(int32_t mode);
    void FixIsotropic();
    void PathMove(const TPointF& p);
    void PathLine(const TPointF& p);
    void PathBezier(const TPointF& c1, const TPointF& c2, const TPointF& p);
    void PathClose();
    void PathEllipse(double l, double t, double r, double b);
    void PathArc(const TEmfArc& arc);
    void PathRoundRect(const TEmfRecord& record);
    void PathText(const TEmfRecord& record);
    void TrackObjects(const TEmfRecord& record);
    void PathPolyPoints(const TEmfRecord& record, bool small, bool bezier, bool to, bool close);
};

// Writes a metafile record by record: the header first, then whatever the
// caller adds, and the EOF record with the header's totals on Finish.
class TEmfRecorder {
public:
    // frame in 0.01 mm; the reference device is 96 pixels per inch.
    explicit TEmfRecorder(const TRect& frame);

    void Add(uint32_t type, const std::vector<uint8_t>& payload);
    uint32_t NewHandle() { return nextHandle_++; }
    // Makes room in the handle table for a slot the caller chose itself.
    void UseHandle(uint32_t index) { nextHandle_ = std::max(nextHandle_, index + 1); }
    // Closes the metafile; the recorder starts empty again after it.
    std::vector<uint8_t> Finish();
    bool HasDrawing() const { return records_ > 1; }

private:
    TRect frame_;
    TMemoryStream data_;
    uint32_t records_ = 0;
    uint32_t nextHandle_ = 1;
    void Begin();
};

// Little-endian payload builders for TEmfRecorder.
void PutU32(std::vector<uint8_t>& out, uint32_t value);
void PutI32(std::vector<uint8_t>& out, int32_t value);
void PutF32(std::vector<uint8_t>& out, float value);
void PutRect(std::vector<uint8_t>& out, const TRect& rect);
