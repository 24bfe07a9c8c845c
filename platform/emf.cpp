#include "platform/emf.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/codepage.h"

namespace {

constexpr uint32_t kEmfSignature = 0x464D4520;  // " EMF"
constexpr uint32_t kHeaderMinSize = 88;
// The reference device of recorded metafiles: 96 pixels per inch exactly.
constexpr int32_t kRecorderDevicePixels = 9600;
constexpr int32_t kRecorderDeviceMillimetres = 2540;

// A bezier quarter of an ellipse: the control distance over the radius.
constexpr double kKappa = 0.5522847498;

}  // namespace

// ---------------------------------------------------------------- transforms

TPointF TXForm::Apply(double x, double y) const {
    return TPointF{x * eM11 + y * eM21 + eDx, x * eM12 + y * eM22 + eDy};
}

TXForm CombineXForm(const TXForm& a, const TXForm& b) {
    TXForm r;
    r.eM11 = a.eM11 * b.eM11 + a.eM12 * b.eM21;
    r.eM12 = a.eM11 * b.eM12 + a.eM12 * b.eM22;
    r.eM21 = a.eM21 * b.eM11 + a.eM22 * b.eM21;
    r.eM22 = a.eM21 * b.eM12 + a.eM22 * b.eM22;
    r.eDx = a.eDx * b.eM11 + a.eDy * b.eM21 + b.eDx;
    r.eDy = a.eDx * b.eM12 + a.eDy * b.eM22 + b.eDy;
    return r;
}

// ---------------------------------------------------------------- records

const uint8_t* TEmfRecord::Bytes(size_t offset, size_t count) const {
    if (offset > size_ || count > size_ - offset)
        throw EReadError(FormatStr("Metafile record %u of %u bytes has no %zu bytes at offset %zu",
                                   size_ >= 4 ? static_cast<unsigned>(data_[0] | data_[1] << 8) : 0u,
                                   static_cast<unsigned>(size_), count, offset));
    return data_ + offset;
}

uint8_t TEmfRecord::U8(size_t offset) const { return *Bytes(offset, 1); }

uint16_t TEmfRecord::U16(size_t offset) const {
    const uint8_t* p = Bytes(offset, 2);
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

uint32_t TEmfRecord::U32(size_t offset) const {
    const uint8_t* p = Bytes(offset, 4);
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

float TEmfRecord::F32(size_t offset) const {
    uint32_t bits = U32(offset);
    float value;
    std::memcpy(&value, &bits, 4);
    return std::isfinite(value) ? value : 0.0f;
}

TRect TEmfRecord::Rect(size_t offset) const {
    return TRect{I32(offset), I32(offset + 4), I32(offset + 8), I32(offset + 12)};
}

TPoint TEmfRecord::Point(size_t offset) const { return TPoint{I32(offset), I32(offset + 4)}; }

TPoint TEmfRecord::Point16(size_t offset) const { return TPoint{I16(offset), I16(offset + 2)}; }

TXForm TEmfRecord::XForm(size_t offset) const {
    return TXForm{F32(offset), F32(offset + 4), F32(offset + 8), F32(offset + 12), F32(offset + 16), F32(offset + 20)};
}

std::vector<TPoint> TEmfRecord::Points(size_t offset, size_t count, bool small) const {
    const size_t each = small ? 4 : 8;
    if (count > size_ / each)
        throw EReadError(FormatStr("A metafile record of %u bytes cannot hold %zu points", static_cast<unsigned>(size_), count));
    Bytes(offset, count * each);
    std::vector<TPoint> points(count);
    for (size_t i = 0; i < count; ++i) points[i] = small ? Point16(offset + i * 4) : Point(offset + i * 8);
    return points;
}

// ---------------------------------------------------------------- the metafile

void TEnhMetafile::LoadFromBytes(std::vector<uint8_t> bytes) {
    std::vector<TEmfRecord> records;
    const size_t n = bytes.size();
    if (n < kHeaderMinSize) throw EMetafileError(FormatStr("Not an enhanced metafile: %zu bytes is too short for its header", n));
    TEmfRecord header(bytes.data(), static_cast<uint32_t>(std::min<size_t>(n, 0xFFFFFFFFu)));
    if (header.U32(0) != EMR_HEADER || header.U32(40) != kEmfSignature)
        throw EMetafileError("Not an enhanced metafile: the header record or its signature is missing");
    size_t pos = 0;
    while (pos + 8 <= n) {
        const uint8_t* p = bytes.data() + pos;
        uint32_t type = uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
        uint32_t size = uint32_t{p[4]} | uint32_t{p[5]} << 8 | uint32_t{p[6]} << 16 | uint32_t{p[7]} << 24;
        if (size < 8 || size % 4 != 0 || size > n - pos)
            throw EMetafileError(FormatStr("Metafile record %zu (type %u) at offset %zu has a size of %u bytes, "
                                           "which does not fit the %zu bytes of the file",
                                           records.size(), type, pos, size, n));
        if (records.empty() && size < kHeaderMinSize)
            throw EMetafileError("Not an enhanced metafile: its header record is too short");
        records.emplace_back(p, size);
        pos += size;
        if (type == EMR_EOF) break;
    }
    const TEmfRecord& head = records.front();
    Bounds = head.Rect(8);
    Frame = head.Rect(24);
    Handles = head.U16(56);
    Device = TSize{head.I32(72), head.I32(76)};
    Millimeters = TSize{head.I32(80), head.I32(84)};
    // The records point into the buffer, which moves here without copying.
    bytes_ = std::move(bytes);
    records_ = std::move(records);
}

void TEnhMetafile::LoadFromStream(TStream& stream) {
    std::vector<uint8_t> bytes(static_cast<size_t>(std::max<int64_t>(stream.Remaining(), 0)));
    stream.ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    LoadFromBytes(std::move(bytes));
}

void TEnhMetafile::LoadFromFile(const std::string& fileName) {
    try {
        LoadFromBytes(ReadFileBytes(fileName));
    } catch (const EMetafileError& error) {
        throw EMetafileError(fileName + ": " + error.Message());
    }
}

void TEnhMetafile::SaveToFile(const std::string& fileName) const { WriteFileBytes(fileName, bytes_.data(), bytes_.size()); }

void TEnhMetafile::FramePixels(double& left, double& top, double& right, double& bottom) const {
    // A header without a sensible device is taken at 96 pixels per inch.
    double sx = Device.cx > 0 && Millimeters.cx > 0 ? double(Device.cx) / (Millimeters.cx * 100.0) : 96.0 / 2540.0;
    double sy = Device.cy > 0 && Millimeters.cy > 0 ? double(Device.cy) / (Millimeters.cy * 100.0) : 96.0 / 2540.0;
    // The frame is inclusive: its far edge is the far side of its last unit.
    left = Frame.Left * sx;
    top = Frame.Top * sy;
    right = (Frame.Right + 1) * sx;
    bottom = (Frame.Bottom + 1) * sy;
}

std::vector<TRect> ReadRegionRects(const TEmfRecord& record, size_t offset, size_t size) {
    if (size < 32) throw EReadError("Region data shorter than its header");
    record.Bytes(offset, size);
    uint32_t headerSize = record.U32(offset);
    uint32_t count = record.U32(offset + 8);
    if (headerSize < 32 || headerSize > size) throw EReadError("Region data with a wrong header size");
    if (count > (size - headerSize) / 16) throw EReadError(FormatStr("Region data too short for %u rectangles", count));
    std::vector<TRect> rects(count);
    for (uint32_t i = 0; i < count; ++i) rects[i] = record.Rect(offset + headerSize + size_t{i} * 16);
    return rects;
}

TLogFont ReadLogFontW(const TEmfRecord& r) {
    TLogFont lf;
    lf.lfHeight = r.I32(12);
    lf.lfWidth = r.I32(16);
    lf.lfEscapement = r.I32(20);
    lf.lfOrientation = r.I32(24);
    lf.lfWeight = r.I32(28);
    lf.lfItalic = r.U8(32) ? 1 : 0;
    lf.lfUnderline = r.U8(33) ? 1 : 0;
    lf.lfStrikeOut = r.U8(34) ? 1 : 0;
    lf.lfCharSet = r.U8(35);
    std::u16string face;
    for (size_t i = 0; i < 32; ++i) {
        char16_t c = r.U16(40 + i * 2);
        if (!c) break;
        face.push_back(c);
    }
    lf.lfFaceName = WideToAnsi(face);
    return lf;
}

TEmfText ReadTextRecord(const TEmfRecord& r) {
    TEmfText out;
    auto utf16 = [&out](const uint8_t* chars, uint32_t count, bool glyphs) {
        for (uint32_t i = 0; i < count; ++i) {
            char16_t c = static_cast<char16_t>(chars[2 * i] | chars[2 * i + 1] << 8);
            out.Text.push_back(glyphs ? static_cast<char16_t>(c + 29) : c);
        }
    };
    if (r.Type() == EMR_SMALLTEXTOUT) {
        out.Reference = r.Point(8);
        const uint32_t count = r.U32(16), flags = r.U32(20);
        const size_t at = (flags & 0x100) ? 36 : 52;
        const bool eight = flags & 0x200;
        if (count > r.Size()) throw EReadError("A metafile text record counts more characters than it holds");
        const uint8_t* chars = r.Bytes(at, size_t{count} * (eight ? 1 : 2));
        if (eight) out.Text = AnsiToWide(std::string(reinterpret_cast<const char*>(chars), count));
        else utf16(chars, count, false);
        return out;
    }
    out.Reference = r.Point(36);
    const uint32_t count = r.U32(44), offString = r.U32(48), offDx = r.U32(72);
    out.Options = r.U32(52);
    out.Box = r.Rect(56);
    if (count > r.Size()) throw EReadError("A metafile text record counts more characters than it holds");
    if (r.Type() == EMR_EXTTEXTOUTW) {
        utf16(r.Bytes(offString, size_t{count} * 2), count, out.Options & 0x10);
    } else {
        const uint8_t* chars = r.Bytes(offString, count);
        out.Text = AnsiToWide(std::string(reinterpret_cast<const char*>(chars), count));
    }
    if (offDx != 0) {
        r.Bytes(offDx, size_t{count} * 4);
        for (uint32_t i = 0; i < count; ++i) out.Spacing.push_back(r.I32(offDx + size_t{i} * 4));
    }
    return out;
}

TPointF TEmfArc::PointAt(double degrees) const {
    const double a = degrees * M_PI / 180.0;
    return TPointF{Centre.X + RadiusX * std::cos(a), Centre.Y - RadiusY * std::sin(a)};
}

// ---------------------------------------------------------------- playback state

TLogFont TEmfPlaybackDC::DefaultFont() {
    TLogFont lf;
    lf.lfFaceName = "Arial";
    lf.lfHeight = -12;
    return lf;
}

TEmfArc TEmfPlaybackDC::ArcOf(const TEmfRecord& r) const {
    const TRect box = r.Rect(8);
    const TPointF a = LPtoDP(box.Left, box.Top), b = LPtoDP(box.Right, box.Bottom);
    TPointF s = LPtoDP(r.Point(24)), e = LPtoDP(r.Point(32));
    // Clockwise arcs are the same arcs drawn the other way round.
    bool clockwise = ArcDirection == 2;
    if (WorldTransform.eM22 < 0) clockwise = !clockwise;
    if (clockwise) std::swap(s, e);
    TEmfArc arc;
    arc.Centre = TPointF{(a.X + b.X) / 2, (a.Y + b.Y) / 2};
    arc.RadiusX = std::fabs(b.X - a.X) / 2;
    arc.RadiusY = std::fabs(b.Y - a.Y) / 2;
    auto angle = [&arc](const TPointF& p) {
        return std::ceil(std::atan2(arc.Centre.Y - p.Y, p.X - arc.Centre.X) * 180.0 / M_PI);
    };
    arc.Start = angle(s);
    arc.End = angle(e);
    return arc;
}


TEmfPlaybackDC::TEmfPlaybackDC(const TEnhMetafile& metafile, double width, double height)
    : handles_(metafile.Handles), deviceSize_(metafile.Device), millimeters_(metafile.Millimeters) {
    double left, top, right, bottom;
    metafile.FramePixels(left, top, right, bottom);
    frameLeft_ = left;
    frameTop_ = top;
    double frameWidth = right - left, frameHeight = bottom - top;
    if (width > 0 && frameWidth > 0) scaleX_ = width / frameWidth;
    if (height > 0 && frameHeight > 0) scaleY_ = height / frameHeight;
}

TPointF TEmfPlaybackDC::DeviceToDP(double x, double y) const {
    return TPointF{(x - frameLeft_) * scaleX_, (y - frameTop_) * scaleY_};
}

TPointF TEmfPlaybackDC::LPtoDP(double x, double y) const {
    TPointF w = WorldTransform.Apply(x, y);
    double dx, dy;
    if (MapMode == 1) {
        dx = w.X - WindowOrg.X + ViewportOrg.X;
        dy = w.Y - WindowOrg.Y + ViewportOrg.Y;
    } else {
        double wx = WindowExt.cx ? WindowExt.cx : 1, wy = WindowExt.cy ? WindowExt.cy : 1;
        dx = (w.X - WindowOrg.X) * ViewportExt.cx / wx + ViewportOrg.X;
        dy = (w.Y - WindowOrg.Y) * ViewportExt.cy / wy + ViewportOrg.Y;
    }
    return DeviceToDP(dx, dy);
}

double TEmfPlaybackDC::LengthToDP(double value, bool vertical) const {
    TPointF origin = LPtoDP(0, 0);
    TPointF end = vertical ? LPtoDP(0, value) : LPtoDP(value, 0);
    return vertical ? end.Y - origin.Y : end.X - origin.X;
}

void TEmfPlaybackDC::SetMapMode(int32_t mode) {
    if (mode < 1 || mode > 8) return;
    MapMode = mode;
    const double mx = millimeters_.cx > 0 ? millimeters_.cx : 1, my = millimeters_.cy > 0 ? millimeters_.cy : 1;
    double unitsPerMm = 0;
    switch (mode) {
        case 2: unitsPerMm = 10; break;                 // 0.1 mm
        case 3: unitsPerMm = 100; break;                // 0.01 mm
        case 4: unitsPerMm = 100 / 25.4; break;         // 0.01 inch
        case 5: unitsPerMm = 1000 / 25.4; break;        // 0.001 inch
        case 6: unitsPerMm = 1440 / 25.4; break;        // twips
        default: break;
    }
    if (mode == 1) {
        WindowExt = ViewportExt = TSize{1, 1};
    } else if (unitsPerMm > 0) {
        WindowExt = TSize{static_cast<int32_t>(std::lround(mx * unitsPerMm)), static_cast<int32_t>(std::lround(my * unitsPerMm))};
        ViewportExt = TSize{deviceSize_.cx > 0 ? deviceSize_.cx : 1, -(deviceSize_.cy > 0 ? deviceSize_.cy : 1)};
    } else if (mode == 7) {
        FixIsotropic();
    }
}

void TEmfPlaybackDC::FixIsotropic() {
    if (MapMode != 7 || WindowExt.cx == 0 || WindowExt.cy == 0) return;
    double xs = double(ViewportExt.cx) / WindowExt.cx, ys = double(ViewportExt.cy) / WindowExt.cy;
    // The larger scale shrinks to the smaller one, keeping its sign.
    if (std::fabs(xs) < std::fabs(ys)) {
        double v = std::fabs(xs) * WindowExt.cy;
        ViewportExt.cy = static_cast<int32_t>(std::lround(ys < 0 ? -v : v));
    } else if (std::fabs(ys) < std::fabs(xs)) {
        double v = std::fabs(ys) * WindowExt.cx;
        ViewportExt.cx = static_cast<int32_t>(std::lround(xs < 0 ? -v : v));
    }
}

void TEmfPlaybackDC::PathMove(const TPointF& p) {
    PathPoints.push_back(p);
    PathTypes.push_back(PT_MOVETO);
    CurrentPosition = p;
}

void TEmfPlaybackDC::PathLine(const TPointF& p) {
    if (PathPoints.empty() || (PathTypes.back() & PT_CLOSEFIGURE)) PathMove(CurrentPosition);
    PathPoints.push_back(p);
    PathTypes.push_back(PT_LINETO);
    CurrentPosition = p;
}

void TEmfPlaybackDC::PathBezier(const TPointF& c1, const TPointF& c2, const TPointF& p) {
    if (PathPoints.empty() || (PathTypes.back() & PT_CLOSEFIGURE)) PathMove(CurrentPosition);
    for (const TPointF& q : {c1, c2, p}) {
        PathPoints.push_back(q);
        PathTypes.push_back(PT_BEZIERTO);
    }
    CurrentPosition = p;
}

void TEmfPlaybackDC::PathClose() {
    if (!PathTypes.empty() && PathTypes.back() != PT_MOVETO) PathTypes.back() |= PT_CLOSEFIGURE;
}

void TEmfPlaybackDC::PathEllipse(double l, double t, double r, double b) {
    double cx = (l + r) / 2, cy = (t + b) / 2, rx = (r - l) / 2, ry = (b - t) / 2;
    auto at = [this](double x, double y) { return LPtoDP(x, y); };
    PathMove(at(r, cy));
    PathBezier(at(r, cy + ry * kKappa), at(cx + rx * kKappa, b), at(cx, b));
    PathBezier(at(cx - rx * kKappa, b), at(l, cy + ry * kKappa), at(l, cy));
    PathBezier(at(l, cy - ry * kKappa), at(cx - rx * kKappa, t), at(cx, t));
    PathBezier(at(cx + rx * kKappa, t), at(r, cy - ry * kKappa), at(r, cy));
    PathClose();
}

// Counterclockwise from Start to End (a whole turn when they meet), in
// cubic pieces of at most a quarter turn; the path stands at the start.
void TEmfPlaybackDC::PathArc(const TEmfArc& arc) {
    double start = arc.Start, end = arc.End;
    while (end <= start) end += 360;
    const int pieces = static_cast<int>(std::ceil((end - start) / 90.0 - 1e-9));
    const double step = (end - start) / std::max(pieces, 1);
    auto tangent = [&arc](double degrees) {
        const double a = degrees * M_PI / 180.0;
        return TPointF{-arc.RadiusX * std::sin(a), -arc.RadiusY * std::cos(a)};
    };
    for (int i = 0; i < pieces; ++i) {
        const double a0 = start + i * step, a1 = a0 + step;
        const double k = 4.0 / 3.0 * std::tan(step * M_PI / 180.0 / 4.0);
        const TPointF p0 = arc.PointAt(a0), p1 = arc.PointAt(a1), t0 = tangent(a0), t1 = tangent(a1);
        PathBezier(TPointF{p0.X + k * t0.X, p0.Y + k * t0.Y}, TPointF{p1.X - k * t1.X, p1.Y - k * t1.Y}, p1);
    }
}

void TEmfPlaybackDC::PathRoundRect(const TEmfRecord& r) {
    const TRect box = r.Rect(8);
    const TPointF a = LPtoDP(box.Left, box.Top), b = LPtoDP(box.Right, box.Bottom);
    const double l = std::min(a.X, b.X), t = std::min(a.Y, b.Y), rt = std::max(a.X, b.X), bt = std::max(a.Y, b.Y);
    const double rx = std::min(std::fabs(LengthToDP(r.I32(24), false)) / 2, (rt - l) / 2);
    const double ry = std::min(std::fabs(LengthToDP(r.I32(28), true)) / 2, (bt - t) / 2);
    auto corner = [&](double cx, double cy, double from) {
        TEmfArc arc{TPointF{cx, cy}, rx, ry, from, from + 90};
        if (rx > 0 && ry > 0) PathArc(arc);
    };
    PathMove(TPointF{rt - rx, t});
    PathLine(TPointF{l + rx, t});
    corner(l + rx, t + ry, 90);
    PathLine(TPointF{l, bt - ry});
    corner(l + rx, bt - ry, 180);
    PathLine(TPointF{rt - rx, bt});
    corner(rt - rx, bt - ry, 270);
    PathLine(TPointF{rt, t + ry});
    corner(rt - rx, t + ry, 0);
    PathClose();
}

// The glyph outlines of a text, at its place on the page, in the selected
// font; the current position moves only under TA_UPDATECP.
void TEmfPlaybackDC::PathText(const TEmfRecord& r) {
    const TEmfText text = ReadTextRecord(r);
    if (text.Text.empty()) return;
    const std::string key = Font.lfFaceName + (Font.lfWeight >= 600 ? "/b" : "/") + (Font.lfItalic ? "i" : "");
    std::unique_ptr<TPlatformFont>& face = faces_[key];
    if (!face) face = TPlatformFont::Open(Font.lfFaceName, Font.lfWeight >= 600, Font.lfItalic != 0);
    if (!face) return;
    const TFontMetrics metrics = face->GetMetrics();
    double height = std::fabs(LengthToDP(Font.lfHeight, true));
    if (Font.lfHeight > 0 && metrics.Ascent + metrics.Descent > 0) height = height * 1024.0 / (metrics.Ascent + metrics.Descent);
    if (!(height > 0) || height >= 4096) return;
    const double unit = height / 1024.0;
    const TPointF keep = CurrentPosition;
    TPointF origin = (TextAlign & 1) ? CurrentPosition : LPtoDP(text.Reference);
    std::vector<double> offsets;
    double advance = 0;
    for (size_t i = 0; i < text.Text.size(); ++i) {
        offsets.push_back(advance);
        advance += i < text.Spacing.size() ? std::fabs(LengthToDP(text.Spacing[i], false))
                                           : face->GetAdvance(text.Text[i]) * unit;
    }
    double baseline = origin.Y + metrics.Ascent * unit;
    if ((TextAlign & 24) == 24) baseline = origin.Y;
    else if (TextAlign & 8) baseline = origin.Y - metrics.Descent * unit;
    double left = origin.X;
    if ((TextAlign & 6) == 6) left -= advance / 2;
    else if (TextAlign & 2) left -= advance;
    for (size_t i = 0; i < text.Text.size(); ++i) {
        TGlyphOutline outline;
        if (!face->GetGlyphOutline(text.Text[i], outline)) continue;
        const double x0 = left + offsets[i];
        auto at = [&](const TFixedPoint& p) { return TPointF{x0 + p.X / 65536.0 * unit, baseline - p.Y / 65536.0 * unit}; };
        for (const TOutlinePolygon& polygon : outline.Polygons) {
            PathMove(at(polygon.Start));
            for (const TOutlineRecord& record : polygon.Records) {
                const auto& pts = record.Points;
                if (record.Curve == TOutlineCurve::Line) {
                    for (const TFixedPoint& p : pts) PathLine(at(p));
                } else if (record.Curve == TOutlineCurve::Cubic) {
                    for (size_t k = 0; k + 3 <= pts.size(); k += 3) PathBezier(at(pts[k]), at(pts[k + 1]), at(pts[k + 2]));
                } else {
                    // Quadratic pieces as cubics: on-curve points lie midway
                    // between controls, the last point ends the spline.
                    for (size_t k = 0; k + 1 < pts.size(); ++k) {
                        const TPointF from = CurrentPosition, control = at(pts[k]);
                        const TPointF next = at(pts[k + 1]);
                        const TPointF to = k + 2 == pts.size() ? next : TPointF{(control.X + next.X) / 2, (control.Y + next.Y) / 2};
                        PathBezier(TPointF{from.X + 2.0 / 3 * (control.X - from.X), from.Y + 2.0 / 3 * (control.Y - from.Y)},
                                   TPointF{to.X + 2.0 / 3 * (control.X - to.X), to.Y + 2.0 / 3 * (control.Y - to.Y)}, to);
                    }
                }
            }
            PathClose();
        }
    }
    CurrentPosition = keep;
    if (TextAlign & 1) CurrentPosition = TPointF{origin.X + advance, origin.Y};
}

// The fonts of the handle table and the one selected: text drawn into a
// path needs them, and the converter reads the selection from here.
void TEmfPlaybackDC::TrackObjects(const TEmfRecord& r) {
    switch (r.Type()) {
        case EMR_EXTCREATEFONTINDIRECTW:
            if (r.U32(8) < handles_) fonts_[r.U32(8)] = ReadLogFontW(r);
            return;
        case EMR_CREATEPEN: case EMR_CREATEBRUSHINDIRECT: case EMR_CREATEMONOBRUSH:
        case EMR_CREATEDIBPATTERNBRUSHPT: case EMR_EXTCREATEPEN:
            fonts_.erase(r.U32(8));
            return;
        case EMR_SELECTOBJECT: {
            const uint32_t index = r.U32(8);
            if (index & 0x80000000u) {
                const uint32_t number = index & 0xFF;
                if ((number >= 10 && number <= 14) || number == 16 || number == 17) {
                    Font = DefaultFont();
                    selectedFont_ = 0;
                }
            } else if (auto found = fonts_.find(index); found != fonts_.end()) {
                Font = found->second;
                selectedFont_ = index;
            }
            return;
        }
        case EMR_DELETEOBJECT: {
            const uint32_t index = r.U32(8);
            fonts_.erase(index);
            // A selected font that is deleted leaves the stock font.
            if (index == selectedFont_ && index != 0) {
                Font = DefaultFont();
                selectedFont_ = 0;
            }
            return;
        }
        default: return;
    }
}

void TEmfPlaybackDC::PathPolyPoints(const TEmfRecord& record, bool small, bool bezier, bool to, bool close) {
    std::vector<TPoint> points = record.Points(28, record.U32(24), small);
    size_t i = 0;
    if (!to && !points.empty()) PathMove(LPtoDP(points[i++]));
    if (bezier) {
        for (; i + 3 <= points.size(); i += 3)
            PathBezier(LPtoDP(points[i]), LPtoDP(points[i + 1]), LPtoDP(points[i + 2]));
    } else {
        for (; i < points.size(); ++i) PathLine(LPtoDP(points[i]));
    }
    if (close) PathClose();
}

void TEmfPlaybackDC::Play(const TEmfRecord& r) {
    const uint32_t type = r.Type();
    TrackObjects(r);
    switch (type) {
        case EMR_SETMAPMODE: SetMapMode(r.I32(8)); return;
        case EMR_SETWINDOWEXTEX:
            if (MapMode >= 7) {
                TSize ext{r.I32(8), r.I32(12)};
                if (ext.cx != 0 && ext.cy != 0) WindowExt = ext;
                FixIsotropic();
            }
            return;
        case EMR_SETVIEWPORTEXTEX:
            if (MapMode >= 7) {
                TSize ext{r.I32(8), r.I32(12)};
                if (ext.cx != 0 && ext.cy != 0) ViewportExt = ext;
                FixIsotropic();
            }
            return;
        case EMR_SETWINDOWORGEX: WindowOrg = r.Point(8); return;
        case EMR_SETVIEWPORTORGEX: ViewportOrg = r.Point(8); return;
        case EMR_SCALEVIEWPORTEXTEX:
        case EMR_SCALEWINDOWEXTEX: {
            if (MapMode < 7) return;
            int32_t xNum = r.I32(8), xDen = r.I32(12), yNum = r.I32(16), yDen = r.I32(20);
            if (xNum == 0 || xDen == 0 || yNum == 0 || yDen == 0) return;
            TSize& ext = type == EMR_SCALEVIEWPORTEXTEX ? ViewportExt : WindowExt;
            int64_t cx = int64_t(ext.cx) * xNum / xDen, cy = int64_t(ext.cy) * yNum / yDen;
            if (cx == 0 || cy == 0 || std::llabs(cx) > INT32_MAX || std::llabs(cy) > INT32_MAX) return;
            ext = TSize{static_cast<int32_t>(cx), static_cast<int32_t>(cy)};
            FixIsotropic();
            return;
        }
        case EMR_SETWORLDTRANSFORM: WorldTransform = r.XForm(8); return;
        case EMR_MODIFYWORLDTRANSFORM: {
            TXForm x = r.XForm(8);
            switch (r.U32(32)) {
                case 1: WorldTransform = TXForm{}; break;
                case 2: WorldTransform = CombineXForm(x, WorldTransform); break;
                case 3: WorldTransform = CombineXForm(WorldTransform, x); break;
                case 4: WorldTransform = x; break;
                default: break;
            }
            return;
        }
        case EMR_SAVEDC:
            // A runaway series of saves is capped rather than kept without end.
            if (saved_.size() < 4096)
                saved_.push_back(TSavedState{MapMode, WindowOrg, ViewportOrg, WindowExt, ViewportExt, WorldTransform,
                                             CurrentPosition, ArcDirection, PolyFillMode, TextAlign, Rop2, BkMode,
                                             MiterLimit, BkColor, TextColor});
            return;
        case EMR_RESTOREDC: {
            int64_t relative = r.I32(8);
            int64_t level = relative < 0 ? int64_t(saved_.size()) + relative : relative - 1;
            if (level < 0 || level >= int64_t(saved_.size())) return;
            const TSavedState& s = saved_[static_cast<size_t>(level)];
            MapMode = s.MapMode;
            WindowOrg = s.WindowOrg;
            ViewportOrg = s.ViewportOrg;
            WindowExt = s.WindowExt;
            ViewportExt = s.ViewportExt;
            WorldTransform = s.WorldTransform;
            CurrentPosition = s.CurrentPosition;
            ArcDirection = s.ArcDirection;
            PolyFillMode = s.PolyFillMode;
            TextAlign = s.TextAlign;
            Rop2 = s.Rop2;
            BkMode = s.BkMode;
            MiterLimit = s.MiterLimit;
            BkColor = s.BkColor;
            TextColor = s.TextColor;
            saved_.resize(static_cast<size_t>(level));
            return;
        }
        case EMR_SETARCDIRECTION: ArcDirection = r.I32(8); return;
        case EMR_SETPOLYFILLMODE: PolyFillMode = r.I32(8); return;
        case EMR_SETTEXTALIGN: TextAlign = r.I32(8); return;
        case EMR_SETROP2: Rop2 = r.I32(8); return;
        case EMR_SETMITERLIMIT: {
            // Written as a whole number by most producers, as a float by some:
            // a float's bits read as a number are far beyond any limit.
            uint32_t bits = r.U32(8);
            float limit = bits > 0xFFFF ? r.F32(8) : static_cast<float>(bits);
            if (limit >= 1 && limit <= 255) MiterLimit = limit;
            return;
        }
        case EMR_SETBKMODE: BkMode = r.I32(8); return;
        case EMR_SETBKCOLOR: BkColor = r.U32(8); return;
        case EMR_SETTEXTCOLOR: TextColor = r.U32(8); return;
        case EMR_BEGINPATH:
            InPath = true;
            HasPath = false;
            PathPoints.clear();
            PathTypes.clear();
            return;
        case EMR_ENDPATH:
            if (InPath) HasPath = true;
            InPath = false;
            return;
        case EMR_ABORTPATH:
            InPath = HasPath = false;
            PathPoints.clear();
            PathTypes.clear();
            return;
        case EMR_CLOSEFIGURE:
            if (InPath) PathClose();
            return;
        case EMR_FILLPATH:
        case EMR_STROKEPATH:
        case EMR_STROKEANDFILLPATH:
        case EMR_SELECTCLIPPATH:
            HasPath = false;
            return;
        case EMR_MOVETOEX: {
            TPointF p = LPtoDP(r.Point(8));
            if (InPath) PathMove(p);
            CurrentPosition = p;
            return;
        }
        case EMR_LINETO: {
            TPointF p = LPtoDP(r.Point(8));
            if (InPath) PathLine(p);
            CurrentPosition = p;
            return;
        }
        default:
            break;
    }
    const bool small = type >= EMR_POLYBEZIER16 && type <= EMR_POLYPOLYGON16;
    const uint32_t base = small ? type - EMR_POLYBEZIER16 + EMR_POLYBEZIER : type;
    switch (base) {
        case EMR_POLYBEZIERTO:
        case EMR_POLYLINETO:
            if (InPath) {
                PathPolyPoints(r, small, base == EMR_POLYBEZIERTO, true, false);
            } else if (uint32_t count = r.U32(24); count > 0) {
                std::vector<TPoint> points = r.Points(28, count, small);
                CurrentPosition = LPtoDP(points.back());
            }
            return;
        case EMR_POLYBEZIER:
        case EMR_POLYLINE:
        case EMR_POLYGON:
            if (InPath) PathPolyPoints(r, small, base == EMR_POLYBEZIER, false, base == EMR_POLYGON);
            return;
        case EMR_POLYPOLYLINE:
        case EMR_POLYPOLYGON:
            if (InPath) {
                uint32_t polys = r.U32(24), count = r.U32(28);
                if (polys > r.Size() / 4) r.Bytes(32, r.Size());
                std::vector<TPoint> points = r.Points(32 + size_t{polys} * 4, count, small);
                size_t at = 0;
                for (uint32_t k = 0; k < polys; ++k) {
                    uint32_t n = r.U32(32 + size_t{k} * 4);
                    if (n > points.size() - at) break;
                    for (uint32_t j = 0; j < n; ++j) {
                        TPointF p = LPtoDP(points[at + j]);
                        if (j == 0) PathMove(p);
                        else PathLine(p);
                    }
                    at += n;
                    if (base == EMR_POLYPOLYGON) PathClose();
                }
            }
            return;
        default:
            break;
    }
    switch (type) {
        case EMR_ARC: case EMR_ARCTO: case EMR_CHORD: case EMR_PIE: {
            const TEmfArc arc = ArcOf(r);
            if (type == EMR_ARCTO && !InPath) CurrentPosition = arc.PointAt(arc.End);
            if (!InPath || arc.RadiusX <= 0 || arc.RadiusY <= 0) return;
            if (type == EMR_PIE) {
                PathMove(arc.Centre);
                PathLine(arc.PointAt(arc.Start));
            } else if (type == EMR_ARCTO) {
                PathLine(arc.PointAt(arc.Start));
            } else {
                PathMove(arc.PointAt(arc.Start));
            }
            PathArc(arc);
            if (type == EMR_CHORD || type == EMR_PIE) PathClose();
            return;
        }
        case EMR_ANGLEARC: {
            // The radius as recorded, as the converter takes it.
            const TPointF centre = LPtoDP(r.Point(8));
            const double radius = r.U32(16), start = r.F32(20), sweep = r.F32(24);
            if (radius <= 0 || radius > 1e6 || std::fabs(sweep) > 3600) return;
            TEmfArc arc{centre, radius, radius, start, start + sweep};
            if (InPath) {
                PathLine(arc.PointAt(start));
                if (sweep > 0) {
                    PathArc(arc);
                } else if (sweep < 0) {
                    // Clockwise: the same arc, its pieces taken backwards.
                    const size_t from = PathPoints.size();
                    PathArc(TEmfArc{centre, radius, radius, start + sweep, start});
                    std::reverse(PathPoints.begin() + static_cast<std::ptrdiff_t>(from), PathPoints.end());
                    PathPoints.erase(PathPoints.begin() + static_cast<std::ptrdiff_t>(from));
                    PathPoints.push_back(arc.PointAt(start + sweep));
                }
            }
            CurrentPosition = arc.PointAt(start + sweep);
            return;
        }
        default:
            break;
    }
    if (!InPath) return;
    switch (type) {
        case EMR_ROUNDRECT: PathRoundRect(r); return;
        case EMR_EXTTEXTOUTA: case EMR_EXTTEXTOUTW: case EMR_SMALLTEXTOUT: PathText(r); return;
        case EMR_RECTANGLE: {
            TRect b = r.Rect(8);
            PathMove(LPtoDP(b.Left, b.Top));
            PathLine(LPtoDP(b.Right, b.Top));
            PathLine(LPtoDP(b.Right, b.Bottom));
            PathLine(LPtoDP(b.Left, b.Bottom));
            PathClose();
            return;
        }
        case EMR_ELLIPSE: {
            TRect b = r.Rect(8);
            PathEllipse(b.Left, b.Top, b.Right, b.Bottom);
            return;
        }
        default:
            return;
    }
}

// ---------------------------------------------------------------- recording

void PutU32(std::vector<uint8_t>& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void PutI32(std::vector<uint8_t>& out, int32_t value) { PutU32(out, static_cast<uint32_t>(value)); }

void PutF32(std::vector<uint8_t>& out, float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    PutU32(out, bits);
}

void PutRect(std::vector<uint8_t>& out, const TRect& rect) {
    PutI32(out, rect.Left);
    PutI32(out, rect.Top);
    PutI32(out, rect.Right);
    PutI32(out, rect.Bottom);
}

TEmfRecorder::TEmfRecorder(const TRect& frame) : frame_(frame) { Begin(); }

void TEmfRecorder::Begin() {
    data_.Clear();
    records_ = 0;
    nextHandle_ = 1;
    std::vector<uint8_t> header;
    const double pixelsPer = double(kRecorderDevicePixels) / (kRecorderDeviceMillimetres * 100.0);
    PutRect(header, TRect{static_cast<int32_t>(frame_.Left * pixelsPer), static_cast<int32_t>(frame_.Top * pixelsPer),
                          static_cast<int32_t>(frame_.Right * pixelsPer), static_cast<int32_t>(frame_.Bottom * pixelsPer)});
    PutRect(header, frame_);
    PutU32(header, kEmfSignature);
    PutU32(header, 0x10000);
    PutU32(header, 0);  // bytes, filled in by Finish
    PutU32(header, 0);  // records
    PutU32(header, 0);  // handles (16 bits) and the reserved word
    PutU32(header, 0);  // no description
    PutU32(header, 0);
    PutU32(header, 0);  // no palette
    PutI32(header, kRecorderDevicePixels);
    PutI32(header, kRecorderDevicePixels);
    PutI32(header, kRecorderDeviceMillimetres);
    PutI32(header, kRecorderDeviceMillimetres);
    Add(EMR_HEADER, header);
}

void TEmfRecorder::Add(uint32_t type, const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> head;
    PutU32(head, type);
    size_t padded = (payload.size() + 3) / 4 * 4;
    PutU32(head, static_cast<uint32_t>(8 + padded));
    data_.WriteBuffer(head.data(), 8);
    if (!payload.empty()) data_.WriteBuffer(payload.data(), static_cast<int64_t>(payload.size()));
    static const uint8_t zeros[4] = {};
    if (padded > payload.size()) data_.WriteBuffer(zeros, static_cast<int64_t>(padded - payload.size()));
    ++records_;
}

std::vector<uint8_t> TEmfRecorder::Finish() {
    std::vector<uint8_t> eof;
    PutU32(eof, 0);
    PutU32(eof, 16);
    PutU32(eof, 20);
    Add(EMR_EOF, eof);
    std::vector<uint8_t> bytes = data_.TakeBytes();
    auto patch = [&bytes](size_t at, uint32_t value) {
        for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
    };
    patch(48, static_cast<uint32_t>(bytes.size()));
    patch(52, records_);
    patch(56, std::min<uint32_t>(nextHandle_, 0xFFFF));
    Begin();
    return bytes;
}
