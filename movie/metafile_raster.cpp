#include "movie/metafile_raster.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "movie/dib_reader.h"
#include "platform/canvas.h"

namespace {

// The largest picture rendered, in pixels along each side.
constexpr double kMaxSide = 8192;

struct TRasterObject {
    bool IsPen = false;
    TCanvasPen Pen;
    TCanvasBrush Brush;
};

}  // namespace

class TMetafileRaster::TRenderer {
public:
    TRenderer(const TEnhMetafile& metafile, TBitmap& bitmap, double width, double height)
        : dc_(metafile, width, height), canvas_(bitmap) {}

    void Play(const TEmfRecord& r) {
        try {
            dc_.Play(r);
            Draw(r);
        } catch (const EReadError&) {
        }
    }

private:
    TEmfPlaybackDC dc_;
    TCanvas canvas_;
    std::map<uint32_t, TRasterObject> objects_;

    TPoint Device(const TPoint& p) const {
        const TPointF d = dc_.LPtoDP(p);
        auto clamp = [](double v) { return static_cast<int32_t>(std::lround(std::clamp(v, -1.0e6, 1.0e6))); };
        return TPoint{clamp(d.X), clamp(d.Y)};
    }

    void Select(uint32_t index) {
        if (index & 0x80000000u) {
            const uint32_t stock = index & 0xFF;
            static const uint32_t greys[] = {0xFFFFFF, 0xC0C0C0, 0x808080, 0x404040, 0x000000};
            if (stock <= 4) canvas_.Brush = TCanvasBrush{greys[stock], BS_SOLID, 0};
            else if (stock == 5) canvas_.Brush.Style = BS_NULL;
            else if (stock == 6 || stock == 7) canvas_.Pen = TCanvasPen{stock == 6 ? 0xFFFFFFu : 0u, 1, PS_SOLID, 0};
            else if (stock == 8) canvas_.Pen.Style = PS_NULL;
            return;
        }
        auto found = objects_.find(index);
        if (found == objects_.end()) return;
        if (found->second.IsPen) canvas_.Pen = found->second.Pen;
        else canvas_.Brush = found->second.Brush;
    }

    void MakePen(uint32_t slot, int32_t style, double width, uint32_t color) {
        TRasterObject pen;
        pen.IsPen = true;
        pen.Pen.Style = style > PS_INSIDEFRAME || style == PS_INSIDEFRAME ? PS_SOLID : style;
        pen.Pen.Width = std::max(1, static_cast<int32_t>(std::lround(std::min(dc_.LengthToDP(width, false), 1000.0))));
        pen.Pen.Color = color & 0xFFFFFF;
        objects_[slot] = pen;
    }

    void Draw(const TEmfRecord& r) {
        canvas_.Pen.Mode = dc_.Rop2;
        canvas_.PolyFillMode = dc_.PolyFillMode == 2 ? WINDING : ALTERNATE;
        switch (r.Type()) {
            case EMR_CREATEPEN: MakePen(r.U32(8), r.I32(12), r.I32(16), r.U32(24)); break;
            case EMR_EXTCREATEPEN: MakePen(r.U32(8), r.I32(28) & 7, r.I32(32), r.U32(40)); break;
            case EMR_CREATEBRUSHINDIRECT: {
                TRasterObject brush;
                brush.Brush = TCanvasBrush{r.U32(16) & 0xFFFFFF, r.I32(12) == BS_HATCHED ? BS_HATCHED
                                                                 : r.I32(12) == BS_NULL ? BS_NULL
                                                                                        : BS_SOLID,
                                           std::clamp<int32_t>(r.I32(20), 0, HS_DIAGCROSS)};
                objects_[r.U32(8)] = brush;
                break;
            }
            case EMR_SELECTOBJECT: Select(r.U32(8)); break;
            case EMR_DELETEOBJECT: objects_.erase(r.U32(8)); break;
            case EMR_MOVETOEX: canvas_.MoveTo(Device(r.Point(8)).X, Device(r.Point(8)).Y); break;
            case EMR_LINETO: {
                if (dc_.InPath) break;
                const TPoint p = Device(r.Point(8));
                canvas_.LineTo(p.X, p.Y);
                break;
            }
            case EMR_RECTANGLE:
            case EMR_ELLIPSE: {
                if (dc_.InPath) break;
                const TRect box = r.Rect(8);
                const TPoint a = Device({box.Left, box.Top}), b = Device({box.Right, box.Bottom});
                if (r.Type() == EMR_RECTANGLE) canvas_.Rectangle(a.X, a.Y, b.X, b.Y);
                else canvas_.Ellipse(a.X, a.Y, b.X, b.Y);
                break;
            }
            case EMR_POLYGON: case EMR_POLYLINE: case EMR_POLYLINETO:
            case EMR_POLYGON16: case EMR_POLYLINE16: case EMR_POLYLINETO16: {
                if (dc_.InPath) break;
                const uint32_t type = r.Type();
                const bool small = type >= EMR_POLYBEZIER16;
                std::vector<TPoint> points;
                if (type == EMR_POLYLINETO || type == EMR_POLYLINETO16) points.push_back(canvas_.PenPos);
                for (const TPoint& p : r.Points(28, r.U32(24), small)) points.push_back(Device(p));
                if (points.empty()) break;
                if (type == EMR_POLYGON || type == EMR_POLYGON16) canvas_.Polygon(points);
                else canvas_.Polyline(points);
                if (type == EMR_POLYLINETO || type == EMR_POLYLINETO16) canvas_.PenPos = points.back();
                break;
            }
            case EMR_SETPIXELV: {
                const TPoint p = Device(r.Point(8));
                canvas_.SetPixel(p.X, p.Y, static_cast<TColor>(r.U32(16) & 0xFFFFFF));
                break;
            }
            case EMR_BITBLT: case EMR_STRETCHBLT: case EMR_STRETCHDIBITS: Blit(r); break;
            default: break;
        }
    }

    void Blit(const TEmfRecord& r) {
        const TEmfBlitFields f = ReadBlitFields(r);
        const int32_t x = f.X, y = f.Y, cx = f.Cx, cy = f.Cy;
        const uint32_t rop = static_cast<uint32_t>(f.Rop);
        const TPoint a = Device({x, y});
        const TPoint b = Device({static_cast<int32_t>(std::clamp<int64_t>(int64_t{x} + cx, INT32_MIN, INT32_MAX)),
                                 static_cast<int32_t>(std::clamp<int64_t>(int64_t{y} + cy, INT32_MIN, INT32_MAX))});
        TRect dest{std::min(a.X, b.X), std::min(a.Y, b.Y), std::max(a.X, b.X), std::max(a.Y, b.Y)};
        if (dest.Bottom == dest.Top) ++dest.Bottom;
        const TRect clip = canvas_.ClipRect();
        const TRect area{std::max(dest.Left, clip.Left), std::max(dest.Top, clip.Top), std::min(dest.Right, clip.Right),
                         std::min(dest.Bottom, clip.Bottom)};
        if (area.Right <= area.Left || area.Bottom <= area.Top) return;

        // Operations of the destination and the brush alone.
        auto eachPixel = [&](auto mix) {
            for (int32_t row = area.Top; row < area.Bottom; ++row)
                for (int32_t col = area.Left; col < area.Right; ++col)
                    canvas_.SetPixel(col, row, static_cast<TColor>(mix(static_cast<uint32_t>(canvas_.GetPixel(col, row))) & 0xFFFFFF));
        };
        const uint32_t brush = canvas_.Brush.Style == BS_NULL ? 0 : canvas_.Brush.Color;
        switch (rop) {
            case BLACKNESS: eachPixel([](uint32_t) { return 0u; }); return;
            case WHITENESS: eachPixel([](uint32_t) { return 0xFFFFFFu; }); return;
            case DSTINVERT: eachPixel([](uint32_t d) { return ~d; }); return;
            case 0x00F00021: eachPixel([&](uint32_t) { return brush; }); return;             // PATCOPY
            case 0x005A0049: eachPixel([&](uint32_t d) { return d ^ brush; }); return;       // PATINVERT
            case 0x00A000C9: eachPixel([&](uint32_t d) { return d & brush; }); return;       // DPa
            case 0x00AA0029: return;                                                          // the destination
            default: break;
        }

        // Operations with source pixels.
        TMemoryStream bmp;
        if (!MakeBmpStream(r, f.OffBmi, f.CbBmi, f.OffBits, f.CbBits, bmp)) return;
        TBMPReader reader;
        reader.LoadFromStream(bmp);
        const int32_t width = reader.GetWidth(), height = std::abs(reader.GetHeight());
        if (width <= 0 || height <= 0 || int64_t{width} * height > 64 * 1024 * 1024) return;
        TBitmap source;
        source.SetPixelFormat(TPixelFormat::pf24bit);
        source.SetSize(width, height);
        {
            TCanvas pixels(source);
            for (int32_t row = 0; row < height; ++row)
                for (int32_t col = 0; col < width; ++col) {
                    TRGBTriple c;
                    reader.GetPixelColor(row, col, c);
                    pixels.SetPixel(col, row,
                                    static_cast<TColor>(uint32_t{c.rgbtRed} | uint32_t{c.rgbtGreen} << 8 |
                                                        uint32_t{c.rgbtBlue} << 16));
                }
        }
        canvas_.CopyMode = rop;
        const int32_t cxSrc = f.CxSrc > 0 ? f.CxSrc : cx, cySrc = f.CySrc > 0 ? f.CySrc : cy;
        // A window past the picture takes what the picture has, fitted to
        // the destination as the conversion fits it.
        const TRect window{std::clamp(f.XSrc, 0, width - 1), std::clamp(f.YSrc, 0, height - 1),
                           static_cast<int32_t>(std::clamp<int64_t>(int64_t{f.XSrc} + cxSrc, 1, width)),
                           static_cast<int32_t>(std::clamp<int64_t>(int64_t{f.YSrc} + cySrc, 1, height))};
        if (window.Right <= window.Left || window.Bottom <= window.Top) return;
        canvas_.CopyRect(dest, source, window);
        canvas_.CopyMode = SRCCOPY;
    }
};

TEmfBlitFields ReadBlitFields(const TEmfRecord& r) {
    TEmfBlitFields f;
    const bool dib = r.Type() == EMR_STRETCHDIBITS;
    f.X = r.I32(24);
    f.Y = r.I32(28);
    f.Cx = dib ? r.I32(72) : r.I32(32);
    f.Cy = dib ? r.I32(76) : r.I32(36);
    f.Rop = dib ? r.I32(68) : r.I32(40);
    if (dib) {
        f.XSrc = r.I32(32); f.YSrc = r.I32(36); f.CxSrc = r.I32(40); f.CySrc = r.I32(44);
        f.OffBmi = r.U32(48); f.CbBmi = r.U32(52); f.OffBits = r.U32(56); f.CbBits = r.U32(60);
    } else {
        f.XSrc = r.I32(44); f.YSrc = r.I32(48);
        f.OffBmi = r.U32(84); f.CbBmi = r.U32(88); f.OffBits = r.U32(92); f.CbBits = r.U32(96);
        if (r.Type() != EMR_BITBLT) { f.CxSrc = r.I32(100); f.CySrc = r.I32(104); }
    }
    return f;
}

bool MakeBmpStream(const TEmfRecord& r, uint32_t offBmi, uint32_t cbBmi, uint32_t offBits, uint32_t cbBits,
                   TMemoryStream& out) {
    if (cbBmi < 40 || cbBits == 0) return false;
    const uint8_t* bmi = r.Bytes(offBmi, cbBmi);
    const uint8_t* bits = r.Bytes(offBits, cbBits);
    std::vector<uint8_t> head;
    head.push_back('B');
    head.push_back('M');
    PutU32(head, 14 + cbBmi + cbBits);
    PutU32(head, 0);
    PutU32(head, 14 + cbBmi);
    out.WriteBuffer(head.data(), static_cast<int64_t>(head.size()));
    out.WriteBuffer(bmi, cbBmi);
    out.WriteBuffer(bits, cbBits);
    out.SetPosition(0);
    return true;
}

TMetafileRaster::TMetafileRaster(const TEnhMetafile& metafile, double width, double height, uint32_t background) {
    double left, top, right, bottom;
    metafile.FramePixels(left, top, right, bottom);
    if (width <= 0) width = right - left;
    if (height <= 0) height = bottom - top;
    bitmap_.SetPixelFormat(TPixelFormat::pf24bit);
    bitmap_.SetSize(static_cast<int32_t>(std::clamp(std::ceil(width), 1.0, kMaxSide)),
                    static_cast<int32_t>(std::clamp(std::ceil(height), 1.0, kMaxSide)));
    {
        TCanvas canvas(bitmap_);
        canvas.Brush = TCanvasBrush{background & 0xFFFFFF, BS_SOLID, 0};
        canvas.FillRect(TRect{0, 0, bitmap_.Width(), bitmap_.Height()});
    }
    renderer_ = std::make_unique<TRenderer>(metafile, bitmap_, width, height);
}

TMetafileRaster::~TMetafileRaster() = default;

void TMetafileRaster::Play(const TEmfRecord& record) { renderer_->Play(record); }
