#include "movie/flash_canvas.h"

#include <algorithm>
#include <cmath>

#include "movie/flash_movie.h"
#include "movie/fonts.h"
#include "movie/images.h"
#include "movie/metafile_raster.h"
#include "movie/shapes.h"
#include "movie/texts.h"
#include "platform/canvas.h"
#include "platform/codepage.h"
#include "platform/mathutil.h"

namespace {

// Raster operations the conversion knows by name.
constexpr int32_t kRopBlackness = 0x00000042;
constexpr int32_t kRopDstInvert = 0x00550009;
constexpr int32_t kRopPatInvert = 0x005A0049;
constexpr int32_t kRopSrcInvert = 0x00660046;
constexpr int32_t kRopSrcAnd = 0x008800C6;
constexpr int32_t kRopDPa = 0x00A000C9;
constexpr int32_t kRopDestination = 0x00AA0029;
constexpr int32_t kRopSrcCopy = 0x00CC0020;
constexpr int32_t kRopSrcPaint = 0x00EE0086;
constexpr int32_t kRopPatCopy = 0x00F00021;
constexpr int32_t kRopPatPaint = 0x00FB0A09;
constexpr int32_t kRopWhiteness = 0x00FF0062;

constexpr uint32_t kOpaqueBlack = 0xFF000000u;
// Width plus height of the largest shape drawn with dashes: 20,000 pixels.
constexpr int64_t kMaxDashedTwips = 400000;

// The edge builder taking twips: its shape operations clear the switch
// after each call, so it is set again before every one.
class TTwipsEdges {
public:
    explicit TTwipsEdges(TFlashEdges& edges) : edges_(edges) {}
    TFlashEdges* operator->() {
        edges_.IgnoreMovieSettings = true;
        return &edges_;
    }

private:
    TFlashEdges& edges_;
};

TTwipsEdges Twips(TFlashShape* shape) { return TTwipsEdges(shape->Edges()); }

int32_t Tw(double pixels) {
    double t = std::round(pixels * 20.0);
    return static_cast<int32_t>(std::clamp(t, -1.0e9, 1.0e9));
}

TPoint TwPoint(const TPointF& p) { return TPoint{Tw(p.X), Tw(p.Y)}; }

// COLORREF (red in the low byte) as opaque packed RGBA.
TSWFRGBAValue Opaque(uint32_t colorRef) { return (colorRef & 0xFFFFFF) | kOpaqueBlack; }

}  // namespace

bool IsDrawingRecord(uint32_t type) {
    if (type > 119) return false;
    switch (type) {
        case 2: case 3: case 4: case 5: case 6: case 7: case 8: case 15:
        case 41: case 42: case 43: case 44: case 45: case 46: case 47:
        case 53: case 54: case 55: case 56: case 62: case 63: case 64: case 65: case 66:
        case 71: case 72: case 73: case 74: case 76: case 77: case 78: case 79: case 81:
        case 83: case 84: case 85: case 86: case 87: case 88: case 89: case 90: case 91: case 92:
        case 96: case 97: case 105: case 108: case 114: case 115: case 116: case 117: case 118:
            return true;
        default:
            return false;
    }
}

// ---------------------------------------------------------------- the canvas

TFlashCanvas::TFlashCanvas(TFlashMovie* movie) : Movie(movie) { StartRecording(); }

TFlashCanvas::~TFlashCanvas() = default;

void TFlashCanvas::ResetState() {
    ClipLayer = nullptr;
    ClipMask = nullptr;
    CurrentLayer = nullptr;
    CachedFont = nullptr;
    SelBrush = SelPen = SelFont = -1;
    PrevBrush = -1;
    CurrentPoint = TPointF{};
    Transparent = false;
    LineShape = nullptr;
    PathPoints.clear();
    PathTypes.clear();
    PathShapeUsed = false;
    Handles.clear();
}

void TFlashCanvas::StartRecording() {
    Recording.reset();
    int32_t width = Movie ? Movie->GetWidth() * Movie->UnitFactor / 20 : 1024;
    int32_t height = Movie ? Movie->GetHeight() * Movie->UnitFactor / 20 : 768;
    OpenRecording(std::max(width, 1), std::max(height, 1));
    ResetState();
}

void TFlashCanvas::CommitDrawing() {
    std::vector<uint8_t> bytes = CloseRecording();
    if (bytes.empty()) return;
    Recording = std::make_unique<TEnhMetafile>();
    Recording->LoadFromBytes(std::move(bytes));
    if (IsEmpty(Recording.get())) return;
    CurrentLayer = nullptr;
    ScaleX = ScaleY = 1;
    BuildRecords(*Recording);
    Convert(*Recording, 0, 0);
}

void TFlashCanvas::DrawMetafile(const TRect& rect, const TEnhMetafile& metafile, bool stretch) {
    CommitDrawing();
    StartRecording();
    ScaleX = ScaleY = 1;
    BuildRecords(metafile);
    if (IsEmpty(&metafile)) return;
    const double width = rect.Right - rect.Left, height = rect.Bottom - rect.Top;
    // With stretch the frame is mapped onto the rectangle by the playback
    // itself, so every point arrives at its final size.
    Convert(metafile, stretch ? width : 0, stretch ? height : 0);
    if (RootLayer && RootLayer->Placement) RootLayer->Placement->Tag().GetMatrix().SetTranslate(Tw(rect.Left), Tw(rect.Top));
    if (Movie) Movie->MoveResourcesToFrame(Movie->FrameCount, Movie->FrameCount, -1);
}

TFlashPlaceObject* TFlashCanvas::PlaceDrawing(uint16_t depth, bool detach, TFlashSprite* sprite) {
    CommitDrawing();
    TFlashPlaceObject* placement = nullptr;
    if (ResultSprite) {
        ResultSprite->ShowFrame(1);
        // Placed after every definition it refers to.
        auto& list = Movie->GetObjectList();
        auto self = std::find_if(list.begin(), list.end(), [this](auto& o) { return o.get() == ResultSprite; });
        if (self != list.end()) std::rotate(self, self + 1, list.end());
        placement = sprite ? sprite->PlaceObject(ResultSprite, depth) : Movie->PlaceObject(ResultSprite, depth);
    }
    StartRecording();
    if (detach) ResultSprite = nullptr;
    return placement;
}

TFlashSprite* TFlashCanvas::GetResultSprite() {
    if (!ResultSprite) ResultSprite = Movie->AddSprite();
    return ResultSprite;
}

TFSpriteCanvas* TFlashCanvas::GetCurrentLayer() {
    if (!CurrentLayer) CurrentLayer = NewLayer(1);
    return CurrentLayer;
}

TFSpriteCanvas* TFlashCanvas::NewLayer(uint8_t kind) {
    auto owned = std::make_unique<TFSpriteCanvas>(Movie);
    owned->Kind = kind;
    owned->SetCharacterId(Movie->TakeCharacterId());
    TFSpriteCanvas* layer = Movie->AddObject(std::move(owned));
    if (kind == 1) {
        TFlashSprite* result = GetResultSprite();
        uint16_t depth = 1;
        for (auto& tag : result->GetControlTags())
            if (auto* p = dynamic_cast<TFlashPlaceObject*>(tag.get())) depth = std::max<uint16_t>(depth, p->GetDepth() + 1);
        layer->Placement = result->PlaceObject(layer, depth);
    } else if (CurrentLayer) {
        layer->Parent = CurrentLayer;
        layer->Placement = CurrentLayer->PlaceObject(layer, ++CurrentLayer->LastDepth);
    }
    if (kind == 2) {
        ClipLayer = layer;
        ClipMask = Movie->AddSprite();
        layer->PlaceObject(ClipMask, 1)->SetClipDepth(2);
        layer->LastDepth = 1;
        ClipMaskDepth = 0;
        CurrentLayer = layer;
        CurrentLayer = NewLayer(0);
    }
    return layer;
}

void TFlashCanvas::CloseLayer() {
    if (!CurrentLayer) return;
    if (CurrentLayer->Kind == 0 && CurrentLayer->Parent && CurrentLayer->Parent->Kind == 2) {
        CurrentLayer = CurrentLayer->Parent->Parent;
        ClipLayer = nullptr;
        ClipMask = nullptr;
    } else {
        CurrentLayer = CurrentLayer->Parent;
    }
}

bool TFlashCanvas::IsEmpty(const TEnhMetafile* metafile) const {
    if (metafile) {
        for (const TEmfRecord& r : metafile->Records())
            if (IsDrawingRecord(r.Type())) return false;
        return true;
    }
    for (const TObjMFRecord& r : Records)
        if (r.IsDrawing && r.Visible) return false;
    return true;
}

void TFlashCanvas::BuildRecords(const TEnhMetafile& metafile) {
    Records.clear();
    Records.reserve(metafile.Records().size());
    for (const TEmfRecord& r : metafile.Records()) {
        TObjMFRecord item;
        item.Record = &r;
        item.IsDrawing = IsDrawingRecord(r.Type());
        Records.push_back(item);
    }
}

// Which blits are hidden by a later one over the same bounds, and which
// records a vector conversion cannot show as they are (marked Rasterise;
// they are converted as if drawn with plain copies).
void TFlashCanvas::Analyse() {
    int32_t rop2 = 13;
    TObjMFRecord* lastBlit = nullptr;
    TRect lastBounds;
    auto near = [](const TRect& a, const TRect& b) {
        if (a.Bottom == a.Top || b.Bottom == b.Top) return a == b;
        return std::abs(a.Left - b.Left) <= 1 && std::abs(a.Top - b.Top) <= 1 && std::abs(a.Right - b.Right) <= 1 &&
               std::abs(a.Bottom - b.Bottom) <= 1;
    };
    for (TObjMFRecord& item : Records) {
        const TEmfRecord& r = *item.Record;
        const uint32_t type = r.Type();
        try {
            if (type == EMR_SETROP2) {
                rop2 = r.I32(8);
                continue;
            }
            if (type == EMR_BITBLT || type == EMR_STRETCHBLT || type == EMR_STRETCHDIBITS) {
                item.Rop = r.I32(type == EMR_STRETCHDIBITS ? 68 : 40);
                if (item.Rop == kRopDestination) {
                    item.Visible = false;
                    continue;
                }
                TRect bounds = r.Rect(8);
                if (item.Rop != kRopBlackness && item.Rop != kRopSrcCopy && item.Rop != kRopPatCopy &&
                    item.Rop != kRopWhiteness)
                    item.Rasterise = true;
                // A blit that mixes with what lies beneath is drawn blended
                // over it, not cut from a rendering: the blit before it (the
                // mask of the usual transparent picture, say) stays.
                if (lastBlit && near(bounds, lastBounds) && !item.Rasterise) lastBlit->Visible = false;
                lastBlit = &item;
                lastBounds = bounds;
                continue;
            }
            if (type == EMR_ALPHABLEND) {
                item.Rasterise = r.U32(88) != 0;
                continue;
            }
            if (item.IsDrawing) {
                if (rop2 != 13) item.Rasterise = true;
                lastBlit = nullptr;
            }
        } catch (const EReadError&) {
            item.Visible = false;
        }
    }
}

void TFlashCanvas::Convert(const TEnhMetafile& metafile, double targetWidth, double targetHeight) {
    RecordIndex = 0;
    Analyse();
    const size_t firstObject = Movie->GetObjectList().size();
    // Records that mix with what lies beneath are cut from the metafile
    // rendered over the movie's background, as far as it has been played.
    Rendered.reset();
    if (std::any_of(Records.begin(), Records.end(), [](const TObjMFRecord& item) { return item.Rasterise; })) {
        uint32_t background = 0xFFFFFF;
        if (Movie->BackgroundColorSet) {
            const TSWFRGB& colour = Movie->GetBackgroundColor();
            background = uint32_t{colour.R} | uint32_t{colour.G} << 8 | uint32_t{colour.B} << 16;
        }
        Rendered = std::make_unique<TMetafileRaster>(metafile, targetWidth, targetHeight, background);
    }
    RootLayer = CurrentLayer = NewLayer(1);
    TEmfPlaybackDC dc(metafile, targetWidth, targetHeight);
    DC = &dc;
    BkColor = dc.BkColor;
    try {
        for (size_t i = 0; i < Records.size(); ++i) {
            const TEmfRecord& r = *Records[i].Record;
            if (Rendered) Rendered->Play(r);
            dc.Play(r);
            Dispatch(r);
        }
        FinishLineShape();
    } catch (...) {
        DC = nullptr;
        Rendered.reset();
        OrderDefinitions(firstObject);
        throw;
    }
    DC = nullptr;
    Rendered.reset();
    OrderDefinitions(firstObject);
}

std::unique_ptr<TBMPReader> TFlashCanvas::CutRendered(double left, double top, double right, double bottom) {
    TBitmap& rendered = Rendered->Bitmap();
    const int32_t x0 = std::clamp(static_cast<int32_t>(std::floor(left)), 0, rendered.Width());
    const int32_t y0 = std::clamp(static_cast<int32_t>(std::floor(top)), 0, rendered.Height());
    const int32_t x1 = std::clamp(static_cast<int32_t>(std::ceil(right)), x0, rendered.Width());
    const int32_t y1 = std::clamp(static_cast<int32_t>(std::ceil(bottom)), y0, rendered.Height());
    auto cut = std::make_unique<TBMPReader>();
    cut->SetSize(std::max(x1 - x0, 1), std::max(y1 - y0, 1), 24);
    TCanvas pixels(rendered);
    for (int32_t row = y0; row < y1; ++row)
        for (int32_t col = x0; col < x1; ++col) {
            const uint32_t c = static_cast<uint32_t>(pixels.GetPixel(col, row));
            cut->SetPixelColor(row - y0, col - x0, (c & 0xFF) << 16 | (c & 0xFF00) | (c >> 16 & 0xFF));
        }
    return cut;
}

// Layers are made before what they hold; a sprite's definition must follow
// the definitions of the characters it places, so the sprites made by this
// conversion move behind its other objects, the innermost first.
void TFlashCanvas::OrderDefinitions(size_t from) {
    auto& list = Movie->GetObjectList();
    if (from >= list.size()) return;
    std::vector<std::unique_ptr<TBasedSWFObject>> others, sprites;
    for (size_t i = from; i < list.size(); ++i) {
        if (dynamic_cast<TFlashSprite*>(list[i].get()) && list[i].get() != ResultSprite) sprites.push_back(std::move(list[i]));
        else others.push_back(std::move(list[i]));
    }
    list.resize(from);
    for (auto& o : others) list.push_back(std::move(o));
    for (auto it = sprites.rbegin(); it != sprites.rend(); ++it) list.push_back(std::move(*it));
    // The result sprite stays last of all: it places the root layers.
    if (ResultSprite) {
        auto self = std::find_if(list.begin(), list.end(), [this](auto& o) { return o.get() == ResultSprite; });
        if (self != list.end()) std::rotate(self, self + 1, list.end());
    }
}

void TFlashCanvas::FinishLineShape() {
    if (!LineShape) return;
    TFlashShape* shape = LineShape;
    LineShape = nullptr;
    FinishShape(shape);
    Place(shape);
}

void TFlashCanvas::Place(TFlashVisualObject* obj, int32_t xTwips, int32_t yTwips) {
    // A dashed outline is written dash by dash: over a huge shape (a damaged
    // or hostile record) it is drawn solid instead of in millions of pieces.
    if (auto* shape = dynamic_cast<TFlashShape*>(obj); shape && shape->Dashed &&
        int64_t(shape->Bounds.Xmax) - shape->Bounds.Xmin + shape->Bounds.Ymax - shape->Bounds.Ymin > kMaxDashedTwips)
        shape->Dashed = false;
    // Lines and fills drawn in another mix mode than the plain copy are
    // blended with what lies beneath as near as the player's modes come.
    uint8_t blend = 1;
    if (DC) {
        switch (DC->Rop2) {
            case 11: return;  // R2_NOP draws nothing
            case 6: blend = 10; break;                  // R2_NOT: invert
            case 7: case 10: blend = 7; break;          // R2_XORPEN, R2_NOTXORPEN: difference
            case 9: blend = 6; break;                   // R2_MASKPEN: darken
            case 15: blend = 5; break;                  // R2_MERGEPEN: lighten
            default: break;
        }
    }
    TFSpriteCanvas* layer = GetCurrentLayer();
    TFlashPlaceObject* placement = layer->PlaceObject(obj, ++layer->LastDepth);
    if (xTwips != 0 || yTwips != 0) placement->Tag().GetMatrix().SetTranslate(xTwips, yTwips);
    if (blend > 1) placement->SetBlendMode(blend);
}

void TFlashCanvas::CloseClipGroup() {
    if (ClipLayer) CloseLayer();
    ClipLayer = nullptr;
    ClipMask = nullptr;
}

void TFlashCanvas::OpenClipGroup() { NewLayer(2); }

// ---------------------------------------------------------------- shapes and styles

TFlashShape* TFlashCanvas::NewShape() {
    TFlashShape* shape = Movie->AddShape();
    Twips(shape)->IgnoreMovieSettings = true;
    return shape;
}

void TFlashCanvas::FinishShape(TFlashShape* shape) {
    Twips(shape)->FinishEdges();
    shape->CalcBounds();
    LastShape = shape;
}

TGDIHandleInfo* TFlashCanvas::Handle(int32_t selection) const {
    if (selection < 0 || selection >= static_cast<int32_t>(Handles.size())) return nullptr;
    return Handles[static_cast<size_t>(selection)].get();
}

TFlashImage* TFlashCanvas::PatternImage(TGDIHandlePatternBrush& brush) {
    if (!brush.Image) {
        TFlashImage* image = Movie->AddImage();
        brush.Data.SetPosition(0);
        image->LoadFromStream(brush.Data);
        if (image->HasBitmap() && image->GetBitmap().GetBitCount() == 32 && !image->GetBitmap().HasAlpha()) {
            image->GetBitmap().SetAlpha(255);
            image->SetupFromBitmap();
        }
        brush.Image = image;
    }
    return brush.Image;
}

bool TFlashCanvas::ApplyFill(TFlashShape* shape) {
    if (SelBrush < 1 && !(SelBrush == 0 && Handle(0))) {
        // Stock brushes by number; the reset value -1 reads as light grey.
        static const uint32_t greys[] = {0xFFFFFF, 0xC0C0C0, 0x808080, 0x404040, 0x000000};
        int32_t number = -SelBrush;
        if (number < 0 || number > 4) return false;
        shape->AddSolidFillColor(greys[number]);
        return true;
    }
    TGDIHandleInfo* info = Handle(SelBrush);
    if (!info) return false;
    if (auto* brush = dynamic_cast<TGDIHandleBrush*>(info)) {
        if (brush->Style == BS_NULL) return false;
        // Hatches and other styles are drawn in their colour.
        shape->AddSolidFillColor(brush->Color);
        return true;
    }
    if (auto* pattern = dynamic_cast<TGDIHandlePatternBrush*>(info)) {
        TFlashImage* image = PatternImage(*pattern);
        shape->AddImageFill(image, 2, static_cast<float>(1 / ScaleX), static_cast<float>(1 / ScaleY));
        return true;
    }
    return false;
}

bool TFlashCanvas::ApplyStroke(TFlashShape* shape) {
    double width = 1;
    uint32_t color = 0;
    int32_t style = PS_SOLID;
    uint8_t cap = 0, join = 0;
    if (SelPen < 0) {
        int32_t number = -SelPen;
        if (number == 6) color = 0xFFFFFF;
        else if (number != 7) return false;
    } else {
        auto* pen = dynamic_cast<TGDIHandlePen*>(Handle(SelPen));
        if (!pen || pen->Style == PS_NULL) return false;
        width = std::max(pen->Width, 1.0);
        color = pen->Color;
        style = pen->Style;
        cap = pen->EndCap;
        join = pen->Join;
    }
    // Round ends and corners are what every line style draws; others need
    // the second form of line style (and a DefineShape4).
    std::unique_ptr<TSWFLineStyle> styled;
    if (cap != 0 || join != 0) {
        auto second = std::make_unique<TSWFLineStyle2>();
        static const uint8_t caps[] = {0, 2, 1};  // round, square, flat as none
        second->StartCapStyle = second->EndCapStyle = caps[cap];
        second->JoinStyle = join;
        if (join == 2) second->MiterLimitFactor = DC ? DC->MiterLimit : 10.0f;
        styled = std::move(second);
        shape->UseDefineShape4 = true;
    }
    TSWFLineStyle* line = shape->AddLineStyleObject(std::move(styled));
    line->Width = static_cast<uint16_t>(std::clamp(Tw(width), 1, 0xFFFF));
    line->Color.SetRGBA(Opaque(color));
    static const std::vector<uint8_t> dashes[] = {{}, {18, 6}, {3, 3}, {9, 6, 3, 6}, {9, 3, 3, 3, 3, 3}};
    if (style >= PS_DASH && style <= PS_DASHDOTDOT) {
        TFlashLineStyle& pattern = shape->GetDashPattern();
        const auto& items = dashes[style];
        pattern.SetCount(static_cast<uint8_t>(items.size()));
        for (size_t i = 0; i < items.size(); ++i) pattern.SetItem(static_cast<int>(i), items[i]);
        if (!Transparent) shape->GetGapColor().SetRGBA(Opaque(BkColor));
    }
    return true;
}

void TFlashCanvas::ApplyStyles(TFlashShape* shape, bool fill, bool stroke) {
    if (fill) ApplyFill(shape);
    if (stroke) ApplyStroke(shape);
}

// ---------------------------------------------------------------- the dispatcher

void TFlashCanvas::Dispatch(const TEmfRecord& r) {
    const TObjMFRecord& info = Records[RecordIndex];
    ++RecordIndex;
    if (!info.Visible) return;
    const uint32_t type = r.Type();
    if (type != EMR_MOVETOEX && type != EMR_LINETO) FinishLineShape();
    const bool inPath = DC->InPath || type == EMR_BEGINPATH;
    switch (type) {
        case EMR_HEADER:
            Handles.clear();
            Handles.resize(r.U16(56));
            break;
        case EMR_SETBKMODE: Transparent = r.I32(8) == 1; break;
        case EMR_SETPOLYFILLMODE:
            if (!inPath) PolyFillMode = static_cast<uint8_t>(r.I32(8));
            break;
        case EMR_SETTEXTCOLOR: TextColor = r.U32(8); break;
        case EMR_SETBKCOLOR: BkColor = r.U32(8); break;
        case EMR_MOVETOEX:
            if (inPath) break;
            CurrentPoint = DC->LPtoDP(r.Point(8));
            if (LineShape) Twips(LineShape)->MoveTo(Tw(CurrentPoint.X), Tw(CurrentPoint.Y));
            break;
        case EMR_LINETO:
            if (!inPath) DoLineTo(r);
            break;
        case EMR_INTERSECTCLIPRECT: DoClipRect(r); break;
        case EMR_RESTOREDC: CloseClipGroup(); break;
        case EMR_SELECTOBJECT: DoSelectObject(r); break;
        case EMR_CREATEPEN:
        case EMR_EXTCREATEPEN:
        case EMR_CREATEBRUSHINDIRECT:
        case EMR_EXTCREATEFONTINDIRECTW:
        case EMR_CREATEMONOBRUSH:
        case EMR_CREATEDIBPATTERNBRUSHPT:
            DoCreateObject(r);
            break;
        case EMR_DELETEOBJECT: {
            int32_t index = r.I32(8);
            if (index >= 0 && index < static_cast<int32_t>(Handles.size())) {
                Handles[static_cast<size_t>(index)].reset();
                if (SelPen == index) SelPen = -1;
                if (SelBrush == index) SelBrush = -1;
                if (SelFont == index) {
                    SelFont = -1;
                    CachedFont = nullptr;
                }
            }
            break;
        }
        case EMR_POLYGON: case EMR_POLYLINE: case EMR_POLYLINETO:
        case EMR_POLYGON16: case EMR_POLYLINE16: case EMR_POLYLINETO16:
            if (!inPath) DoPoly(r);
            break;
        case EMR_POLYPOLYLINE: case EMR_POLYPOLYGON: case EMR_POLYPOLYLINE16: case EMR_POLYPOLYGON16:
            if (!inPath) DoPolyPoly(r);
            break;
        case EMR_POLYBEZIER: case EMR_POLYBEZIERTO: case EMR_POLYBEZIER16: case EMR_POLYBEZIERTO16:
            if (!inPath) DoBezier(r);
            break;
        case EMR_RECTANGLE: case EMR_ELLIPSE: case EMR_ROUNDRECT:
            if (!inPath) DoBox(r);
            break;
        case EMR_ARC: case EMR_ARCTO: case EMR_CHORD: case EMR_PIE:
            if (!inPath) DoArc(r);
            break;
        case EMR_ANGLEARC:
            if (!inPath) DoAngleArc(r);
            break;
        case EMR_SETPIXELV: DoSetPixel(r); break;
        case EMR_BEGINPATH:
            PathPoints.clear();
            PathTypes.clear();
            break;
        case EMR_ENDPATH: DoEndPath(); break;
        case EMR_ABORTPATH:
            PathPoints.clear();
            PathTypes.clear();
            break;
        case EMR_FILLPATH: case EMR_STROKEANDFILLPATH: case EMR_STROKEPATH: DoPathDraw(type); break;
        case EMR_SELECTCLIPPATH: DoClipPath(r); break;
        case EMR_EXTSELECTCLIPRGN: DoClipRegion(r); break;
        case EMR_FILLRGN: DoFillRegion(r); break;
        case EMR_BITBLT: case EMR_STRETCHBLT: case EMR_STRETCHDIBITS: case EMR_ALPHABLEND: DoBlit(r, info); break;
        case EMR_MASKBLT: DoMaskBlt(r); break;
        case EMR_GRADIENTFILL: DoGradient(r); break;
        case EMR_EXTTEXTOUTA: case EMR_EXTTEXTOUTW: case EMR_SMALLTEXTOUT:
            if (!inPath) DoText(r);
            break;
        default:
            break;
    }
    LastRecordType = type;
}

// ---------------------------------------------------------------- objects

void TFlashCanvas::DoSelectObject(const TEmfRecord& r) {
    uint32_t index = r.U32(8);
    if (index & 0x80000000u) {
        int32_t number = static_cast<int32_t>(index & 0xFF);
        if (number <= 5 || number == 18) SelBrush = -number;
        else if (number <= 8 || number == 19) SelPen = -number;
        else if ((number >= 10 && number <= 14) || number == 16 || number == 17) {
            SelFont = -number;
            CachedFont = nullptr;
        }
        return;
    }
    TGDIHandleInfo* info = Handle(static_cast<int32_t>(index));
    if (!info) return;
    switch (info->Kind) {
        case 0: SelPen = static_cast<int32_t>(index); break;
        case 1: case 3: SelBrush = static_cast<int32_t>(index); break;
        case 2:
            SelFont = static_cast<int32_t>(index);
            CachedFont = nullptr;
            break;
        case 4:
            PrevBrush = SelBrush;
            SelBrush = static_cast<int32_t>(index);
            break;
        default: break;
    }
}

void TFlashCanvas::DoCreateObject(const TEmfRecord& r) {
    const uint32_t type = r.Type();
    const uint32_t index = r.U32(8);
    if (index >= Handles.size()) return;
    std::unique_ptr<TGDIHandleInfo> made;
    switch (type) {
        case EMR_CREATEPEN: {
            auto pen = std::make_unique<TGDIHandlePen>();
            pen->Style = r.I32(12) & 0xF;
            if (pen->Style == 6) pen->Style = 0;  // inside frame
            pen->Width = std::fabs(DC->LengthToDP(r.I32(16), false));
            pen->Color = r.U32(24);
            made = std::move(pen);
            break;
        }
        case EMR_EXTCREATEPEN: {
            auto pen = std::make_unique<TGDIHandlePen>();
            uint32_t style = r.U32(28);
            pen->Style = static_cast<int32_t>(style & 7);
            if (pen->Style > 5) pen->Style = 0;
            // A pen whose brush is hollow draws nothing.
            if (r.U32(36) == BS_NULL) pen->Style = PS_NULL;
            // Cosmetic pens are one pixel wide whatever they record.
            const bool geometric = style & 0x10000;
            pen->Width = geometric ? std::fabs(DC->LengthToDP(r.U32(32), false)) : 1.0;
            if (geometric) {
                pen->EndCap = static_cast<uint8_t>(std::min<uint32_t>((style >> 8) & 0xF, 2));
                pen->Join = static_cast<uint8_t>(std::min<uint32_t>((style >> 12) & 0xF, 2));
            }
            pen->Color = r.U32(40);
            made = std::move(pen);
            break;
        }
        case EMR_CREATEBRUSHINDIRECT: {
            auto brush = std::make_unique<TGDIHandleBrush>();
            brush->Style = r.I32(12);
            brush->Color = r.U32(16);
            brush->Hatch = r.U32(20);
            made = std::move(brush);
            break;
        }
        case EMR_EXTCREATEFONTINDIRECTW: {
            auto font = std::make_unique<TGDIHandleFont>();
            font->LogFont = ReadLogFontW(r);
            made = std::move(font);
            break;
        }
        case EMR_CREATEMONOBRUSH:
        case EMR_CREATEDIBPATTERNBRUSHPT: {
            auto brush = std::make_unique<TGDIHandlePatternBrush>(type == EMR_CREATEMONOBRUSH ? 3 : 4);
            if (!MakeBmpStream(r, r.U32(16), r.U32(20), r.U32(24), r.U32(28), brush->Data)) return;
            made = std::move(brush);
            break;
        }
        default:
            return;
    }
    Handles[index] = std::move(made);
}

// ---------------------------------------------------------------- lines and polygons

void TFlashCanvas::DoLineTo(const TEmfRecord& r) {
    TPointF p = DC->LPtoDP(r.Point(8));
    if (LineShape) {
        Twips(LineShape)->LineTo(Tw(p.X), Tw(p.Y));
    } else {
        LineShape = NewShape();
        Twips(LineShape)->MoveTo(Tw(CurrentPoint.X), Tw(CurrentPoint.Y));
        Twips(LineShape)->LineTo(Tw(p.X), Tw(p.Y));
        ApplyStyles(LineShape, false, true);
    }
    CurrentPoint = p;
}

void TFlashCanvas::DoPoly(const TEmfRecord& r) {
    const uint32_t type = r.Type();
    const bool small = type >= EMR_POLYBEZIER16;
    const bool polygon = type == EMR_POLYGON || type == EMR_POLYGON16;
    const bool to = type == EMR_POLYLINETO || type == EMR_POLYLINETO16;
    std::vector<TPoint> raw = r.Points(28, r.U32(24), small);
    if (raw.empty()) return;
    // Drawn in a mix with what lies beneath: the picture of its bounds.
    if (Rendered && Records[RecordIndex - 1].Rasterise &&
        (type == EMR_POLYGON16 || type == EMR_POLYLINE16 || type == EMR_POLYLINETO16)) {
        const TRect bounds = r.Rect(8);
        const TPointF a = DC->DeviceToDP(std::min(bounds.Left, bounds.Right), std::min(bounds.Top, bounds.Bottom));
        const TPointF b = DC->DeviceToDP(double(std::max(bounds.Left, bounds.Right)) + 1,
                                         double(std::max(bounds.Top, bounds.Bottom)) + 1);
        TFlashImage* image = Movie->AddImage();
        image->LoadFromBitmap(*CutRendered(a.X, a.Y, b.X, b.Y));
        TFlashShape* shape = NewShape();
        Twips(shape)->MoveTo(0, 0);
        Twips(shape)->MakeRectangle(Tw(image->GetWidth()), Tw(image->GetHeight()));
        FinishShape(shape);
        shape->AddImageFill(image, 1);
        TFSpriteCanvas* layer = GetCurrentLayer();
        layer->PlaceObject(shape, ++layer->LastDepth)->Tag().GetMatrix().SetTranslate(Tw(std::floor(a.X)), Tw(std::floor(a.Y)));
        if (to) CurrentPoint = DC->LPtoDP(raw.back());
        return;
    }
    std::vector<TPointF> points;
    points.reserve(raw.size() + 1);
    if (to) points.push_back(CurrentPoint);
    for (const TPoint& p : raw) points.push_back(DC->LPtoDP(p));
    if (raw.size() == 1 && !to) {
        CurrentPoint = points.back();
        return;
    }
    TFlashShape* shape = NewShape();
    TTwipsEdges edges(shape->Edges());
    edges->MoveTo(Tw(points[0].X), Tw(points[0].Y));
    for (size_t i = 1; i < points.size(); ++i) edges->LineTo(Tw(points[i].X), Tw(points[i].Y));
    if (polygon) edges->CloseShape();
    FinishShape(shape);
    ApplyStyles(shape, polygon, true);
    Place(shape);
    if (to) CurrentPoint = points.back();
}

void TFlashCanvas::DoPolyPoly(const TEmfRecord& r) {
    const uint32_t type = r.Type();
    const bool small = type >= EMR_POLYBEZIER16;
    const bool polygon = type == EMR_POLYPOLYGON || type == EMR_POLYPOLYGON16;
    uint32_t polys = r.U32(24), count = r.U32(28);
    if (polys > r.Size() / 4) throw EReadError(FormatStr("A metafile record of %u bytes cannot hold %u polygons", r.Size(), polys));
    std::vector<TPoint> raw = r.Points(32 + size_t{polys} * 4, count, small);
    TFlashShape* shape = NewShape();
    TTwipsEdges edges(shape->Edges());
    size_t at = 0;
    for (uint32_t k = 0; k < polys; ++k) {
        uint32_t n = r.U32(32 + size_t{k} * 4);
        if (n > raw.size() - at) throw EReadError("A metafile poly-polygon counts more points than it holds");
        for (uint32_t j = 0; j < n; ++j) {
            TPointF p = DC->LPtoDP(raw[at + j]);
            if (j == 0) edges->MoveTo(Tw(p.X), Tw(p.Y));
            else edges->LineTo(Tw(p.X), Tw(p.Y));
            if (j + 1 == n && !polygon) CurrentPoint = p;
        }
        if (polygon && n > 0) edges->CloseShape();
        at += n;
    }
    FinishShape(shape);
    ApplyStyles(shape, polygon, true);
    Place(shape);
}

void TFlashCanvas::DoBezier(const TEmfRecord& r) {
    const uint32_t type = r.Type();
    const bool small = type >= EMR_POLYBEZIER16;
    const bool to = type == EMR_POLYBEZIERTO || type == EMR_POLYBEZIERTO16;
    std::vector<TPoint> raw = r.Points(28, r.U32(24), small);
    std::vector<TPointF> points;
    if (to) points.push_back(CurrentPoint);
    for (const TPoint& p : raw) points.push_back(DC->LPtoDP(p));
    if (points.size() < 4) {
        if (!points.empty() && to) CurrentPoint = points.back();
        return;
    }
    // One shape for the whole chain; a closed chain is filled like the
    // outline it draws.
    TFlashShape* shape = NewShape();
    TTwipsEdges edges(shape->Edges());
    edges->MoveTo(Tw(points[0].X), Tw(points[0].Y));
    size_t i = 1;
    for (; i + 3 <= points.size(); i += 3)
        edges->MakeCubicBezier(TwPoint(points[i]), TwPoint(points[i + 1]), TwPoint(points[i + 2]), 4);
    FinishShape(shape);
    ApplyStyles(shape, !to && type == EMR_POLYBEZIER, true);
    Place(shape);
    if (to) CurrentPoint = points[i - 1];
}

void TFlashCanvas::DoBox(const TEmfRecord& r) {
    const uint32_t type = r.Type();
    TRect box = r.Rect(8);
    TPointF a = DC->LPtoDP(box.Left, box.Top), b = DC->LPtoDP(box.Right, box.Bottom);
    double left = std::min(a.X, b.X), top = std::min(a.Y, b.Y), right = std::max(a.X, b.X), bottom = std::max(a.Y, b.Y);
    if (type == EMR_ELLIPSE) {
        if (right - left < 1) right = left + 1;
        if (bottom - top < 1) bottom = top + 1;
    }
    TFlashShape* shape = NewShape();
    TTwipsEdges edges(shape->Edges());
    edges->MoveTo(Tw(left), Tw(top));
    const int32_t w = Tw(right) - Tw(left), h = Tw(bottom) - Tw(top);
    if (type == EMR_RECTANGLE) {
        edges->MakeRectangle(w, h);
    } else if (type == EMR_ELLIPSE) {
        edges->MakeEllipse(w, h);
    } else {
        double cw = std::fabs(DC->LengthToDP(r.I32(24), false)), ch = std::fabs(DC->LengthToDP(r.I32(28), true));
        edges->MakeRoundRect(w, h, std::min(Tw(cw / 2), w / 2), std::min(Tw(ch / 2), h / 2));
    }
    FinishShape(shape);
    ApplyStyles(shape, true, true);
    Place(shape);
}

void TFlashCanvas::DoArc(const TEmfRecord& r) {
    const uint32_t type = r.Type();
    const TEmfArc arc = DC->ArcOf(r);
    const double cx = arc.Centre.X, cy = arc.Centre.Y, rx = arc.RadiusX, ry = arc.RadiusY;
    if (Tw(rx) == 0 || Tw(ry) == 0) return;
    const double start = arc.Start, end = arc.End;
    TFlashShape* shape = NewShape();
    TTwipsEdges edges(shape->Edges());
    const double rad = start * M_PI / 180.0;
    const TPointF first{cx + rx * std::cos(rad), cy - ry * std::sin(rad)};
    if (type == EMR_PIE) {
        edges->MoveTo(Tw(cx), Tw(cy));
        edges->LineTo(Tw(first.X), Tw(first.Y));
    }
    edges->MakeArc(Tw(cx), Tw(cy), Tw(rx), Tw(ry), static_cast<float>(start), static_cast<float>(end), false, false);
    if (type == EMR_CHORD) edges->LineTo(Tw(first.X), Tw(first.Y));
    if (type == EMR_PIE) edges->LineTo(Tw(cx), Tw(cy));
    FinishShape(shape);
    const bool filled = type == EMR_CHORD || type == EMR_PIE;
    ApplyStyles(shape, filled, true);
    Place(shape);
    if (type == EMR_ARCTO) CurrentPoint = arc.PointAt(end);
}

void TFlashCanvas::DoAngleArc(const TEmfRecord& r) {
    TPointF c = DC->LPtoDP(r.Point(8));
    const double radius = r.U32(16);
    const double start = r.F32(20), sweep = r.F32(24);
    if (radius <= 0 || radius > 1e6 || std::fabs(sweep) > 3600) return;
    const double rad = start * M_PI / 180.0;
    const TPointF first{c.X + radius * std::cos(rad), c.Y - radius * std::sin(rad)};
    TFlashShape* shape = NewShape();
    TTwipsEdges edges(shape->Edges());
    edges->MoveTo(Tw(CurrentPoint.X), Tw(CurrentPoint.Y));
    edges->LineTo(Tw(first.X), Tw(first.Y));
    double from = start, to = start + sweep;
    if (sweep < 0) std::swap(from, to);
    if (sweep != 0)
        edges->MakeArc(Tw(c.X), Tw(c.Y), Tw(radius), Tw(radius), static_cast<float>(from), static_cast<float>(to), false, false);
    FinishShape(shape);
    ApplyStyles(shape, false, true);
    Place(shape);
    const double endRad = (start + sweep) * M_PI / 180.0;
    CurrentPoint = TPointF{c.X + radius * std::cos(endRad), c.Y - radius * std::sin(endRad)};
}

void TFlashCanvas::DoSetPixel(const TEmfRecord& r) {
    TPointF p = DC->LPtoDP(r.Point(8));
    TFlashShape* shape = NewShape();
    Twips(shape)->MoveTo(Tw(p.X), Tw(p.Y));
    Twips(shape)->LineDelta(9, 9);
    FinishShape(shape);
    TSWFLineStyle* line = shape->AddLineStyleObject();
    line->Width = 20;
    line->Color.SetRGBA(Opaque(r.U32(16)));
    Place(shape);
}

// ---------------------------------------------------------------- paths and clipping

void TFlashCanvas::DoEndPath() {
    PathPoints = DC->PathPoints;
    PathTypes = DC->PathTypes;
    PathShapeUsed = false;
}

TFlashShape* TFlashCanvas::BuildPathShape(bool closeFigures) {
    TFlashShape* shape = NewShape();
    TTwipsEdges edges(shape->Edges());
    TPoint start;
    bool open = false;
    auto close = [&]() {
        if (open && closeFigures && !(edges->CurrentPos == start)) edges->LineTo(start.X, start.Y);
    };
    for (size_t i = 0; i < PathPoints.size(); ++i) {
        const TPoint p = TwPoint(PathPoints[i]);
        const uint8_t kind = PathTypes[i] & ~PT_CLOSEFIGURE;
        if (kind == PT_MOVETO) {
            close();
            edges->MoveTo(p.X, p.Y);
            start = p;
            open = true;
        } else if (kind == PT_BEZIERTO && i + 2 < PathPoints.size()) {
            edges->MakeCubicBezier(p, TwPoint(PathPoints[i + 1]), TwPoint(PathPoints[i + 2]), 4);
            i += 2;
        } else {
            edges->LineTo(p.X, p.Y);
        }
        if (PathTypes[i] & PT_CLOSEFIGURE) {
            if (!(edges->CurrentPos == start)) edges->LineTo(start.X, start.Y);
            open = false;
        }
    }
    close();
    FinishShape(shape);
    return shape;
}

void TFlashCanvas::DoPathDraw(uint32_t type) {
    if (PathPoints.empty()) return;
    const bool fill = type != EMR_STROKEPATH;
    const bool stroke = type != EMR_FILLPATH;
    TFlashShape* shape = BuildPathShape(fill);
    ApplyStyles(shape, fill, stroke);
    Place(shape);
    PathShapeUsed = true;
}

void TFlashCanvas::DoClipRect(const TEmfRecord& r) {
    CloseClipGroup();
    TRect clip = r.Rect(8);
    TPointF a = DC->LPtoDP(clip.Left, clip.Top), b = DC->LPtoDP(clip.Right, clip.Bottom);
    OpenClipGroup();
    TFlashShape* shape = NewShape();
    Twips(shape)->MoveTo(Tw(std::min(a.X, b.X)), Tw(std::min(a.Y, b.Y)));
    Twips(shape)->MakeRectangle(Tw(std::fabs(b.X - a.X)), Tw(std::fabs(b.Y - a.Y)));
    FinishShape(shape);
    shape->AddSolidFill(kOpaqueBlack);
    ClipMask->PlaceObject(shape, ++ClipMaskDepth);
}

void TFlashCanvas::DoClipRegion(const TEmfRecord& r) {
    CloseClipGroup();
    uint32_t size = r.U32(8);
    if (size == 0) return;
    std::vector<TRect> rects = ReadRegionRects(r, 16, size);
    if (rects.empty()) return;
    OpenClipGroup();
    for (const TRect& rect : rects) {
        TPointF a = DC->DeviceToDP(rect.Left, rect.Top), b = DC->DeviceToDP(rect.Right, rect.Bottom);
        TFlashShape* shape = NewShape();
        Twips(shape)->MoveTo(Tw(a.X), Tw(a.Y));
        Twips(shape)->MakeRectangle(Tw(b.X) - Tw(a.X), Tw(b.Y) - Tw(a.Y));
        FinishShape(shape);
        shape->AddSolidFill(kOpaqueBlack);
        ClipMask->PlaceObject(shape, ++ClipMaskDepth);
    }
}

void TFlashCanvas::DoClipPath(const TEmfRecord& r) {
    if (r.U32(8) == 5) CloseClipGroup();
    if (!ClipLayer) OpenClipGroup();
    if (PathPoints.empty()) return;
    TFlashShape* shape = BuildPathShape(true);
    shape->AddSolidFill(kOpaqueBlack);
    ClipMask->PlaceObject(shape, ++ClipMaskDepth);
}

// A region painted with the current brush: its rectangles in one shape.
void TFlashCanvas::DoFillRegion(const TEmfRecord& r) {
    uint32_t size = r.U32(24);
    std::vector<TRect> rects = ReadRegionRects(r, 32, size);
    if (rects.empty()) return;
    int32_t keep = SelBrush;
    int32_t brush = r.I32(28);
    if (Handle(brush)) SelBrush = brush;
    TFlashShape* shape = NewShape();
    for (const TRect& rect : rects) {
        TPointF a = DC->DeviceToDP(rect.Left, rect.Top), b = DC->DeviceToDP(rect.Right, rect.Bottom);
        Twips(shape)->MoveTo(Tw(a.X), Tw(a.Y));
        Twips(shape)->MakeRectangle(Tw(b.X) - Tw(a.X), Tw(b.Y) - Tw(a.Y));
    }
    FinishShape(shape);
    ApplyStyles(shape, true, false);
    SelBrush = keep;
    Place(shape);
}

// ---------------------------------------------------------------- blits and gradients

void TFlashCanvas::DoBlit(const TEmfRecord& r, const TObjMFRecord& info) {
    const uint32_t type = r.Type();
    const bool dib = type == EMR_STRETCHDIBITS;
    const TEmfBlitFields f = ReadBlitFields(r);
    const int32_t x = f.X, y = f.Y, cx = f.Cx, cy = f.Cy;
    // ALPHABLEND keeps its blend function where the others keep the raster
    // operation: a constant opacity and whether the pixels carry alpha.
    const bool alphaBlend = type == EMR_ALPHABLEND;
    const uint32_t blendFunction = alphaBlend ? static_cast<uint32_t>(f.Rop) : 0;
    const int32_t rop = alphaBlend ? kRopSrcCopy : f.Rop;
    TPointF a = DC->LPtoDP(x, y), b = DC->LPtoDP(double(x) + cx, double(y) + cy);
    double width = b.X - a.X, height = b.Y - a.Y;
    if (std::fabs(height) < 1) height = height < 0 ? -1 : 1;

    // The source pixels, cut to the source window.
    const uint32_t offBmi = f.OffBmi, cbBmi = f.CbBmi, offBits = f.OffBits, cbBits = f.CbBits;
    const int32_t xSrc = f.XSrc, ySrc = f.YSrc;
    int32_t cxSrc = f.CxSrc, cySrc = f.CySrc;
    std::unique_ptr<TBMPReader> source;
    TMemoryStream bmp;
    // ALPHABLEND shows as it is: its picture keeps its alpha and opacity.
    const bool rendered = info.Rasterise && Rendered && !alphaBlend;
    if (rendered) {
        // What the metafile leaves in the destination, as it looks there.
        source = CutRendered(std::min(a.X, a.X + width), std::min(a.Y, a.Y + height), std::max(a.X, a.X + width),
                             std::max(a.Y, a.Y + height));
    } else if (MakeBmpStream(r, offBmi, cbBmi, offBits, cbBits, bmp)) {
        source = std::make_unique<TBMPReader>();
        source->LoadFromStream(bmp);
        const int32_t fullWidth = source->GetWidth(), fullHeight = std::abs(source->GetHeight());
        if (type == EMR_BITBLT) { cxSrc = cx; cySrc = cy; }
        if (cxSrc > 0 && cySrc > 0 && (xSrc != 0 || ySrc != 0 || cxSrc != fullWidth || cySrc != fullHeight) &&
            xSrc >= 0 && ySrc >= 0 && int64_t(xSrc) + cxSrc <= fullWidth && int64_t(ySrc) + cySrc <= fullHeight) {
            auto cut = std::make_unique<TBMPReader>();
            cut->SetSize(cxSrc, cySrc, source->GetBitCount() < 8 ? 24 : source->GetBitCount());
            if (source->GetBitCount() <= 8) {
                for (int32_t row = 0; row < cySrc; ++row)
                    for (int32_t col = 0; col < cxSrc; ++col) {
                        TRGBTriple c;
                        source->GetPixelColor(ySrc + row, xSrc + col, c);
                        cut->SetPixelColor(row, col, c.Value());
                    }
            } else {
                cut->CopyRect(*source, 0, 0, cxSrc, cySrc, xSrc, ySrc);
            }
            source = std::move(cut);
        }
    }

    uint32_t solid = dib ? 0 : r.U32(76);
    if (rop == kRopBlackness) solid = 0;
    if (rop == kRopWhiteness) solid = 0xFFFFFF;
    TFlashImage* image = nullptr;
    if (source && source->GetWidth() == 1 && std::abs(source->GetHeight()) == 1) {
        TRGBTriple c;
        source->GetPixelColor(0, 0, c);
        solid = uint32_t{c.rgbtRed} | uint32_t{c.rgbtGreen} << 8 | uint32_t{c.rgbtBlue} << 16;
    } else if (source && rop != kRopBlackness && rop != kRopWhiteness) {
        if (source->GetBitCount() == 32) {
            if (alphaBlend && (blendFunction >> 24) == 0) source->SetAlpha(255);
            else if (rop == kRopSrcPaint) source->SetAlphaWhereColored(255);
            else if (!source->HasAlpha()) source->SetAlpha(255);
        }
        image = Movie->AddImage();
        image->LoadFromBitmap(*source);
    }

    TFlashShape* shape = NewShape();
    Twips(shape)->MoveTo(0, 0);
    Twips(shape)->MakeRectangle(Tw(std::fabs(width)), Tw(std::fabs(height)));
    FinishShape(shape);
    const bool pattern = rop == kRopPatInvert || rop == kRopDPa || rop == kRopPatCopy || rop == kRopPatPaint;
    if (pattern && !info.Rasterise) {
        bool keep = Transparent;
        Transparent = false;
        ApplyStyles(shape, true, false);
        Transparent = keep;
    } else if (image) {
        shape->AddImageFill(image, 1);
    } else {
        shape->AddSolidFillColor(solid);
    }
    TFSpriteCanvas* layer = GetCurrentLayer();
    TFlashPlaceObject* placement = layer->PlaceObject(shape, ++layer->LastDepth);
    // A negative extent mirrors the picture: the shape is placed at the far
    // edge and flipped back over it.
    const bool mirrorX = dib && width < 0 && !rendered, mirrorY = dib && height < 0 && !rendered;
    double left = std::min(a.X, a.X + width), top = std::min(a.Y, a.Y + height);
    if (mirrorX) left = a.X;
    if (mirrorY) top = a.Y;
    if (mirrorX || mirrorY) placement->SetScale(mirrorX ? -1.0f : 1.0f, mirrorY ? -1.0f : 1.0f);
    placement->Tag().GetMatrix().SetTranslate(Tw(left), Tw(top));
    uint8_t blend = 1;
    switch (rendered ? kRopSrcCopy : rop) {
        case kRopDstInvert: blend = 10; break;
        case kRopPatInvert: case kRopSrcInvert: blend = 7; break;
        case kRopSrcAnd: case kRopDPa: blend = 6; break;
        case kRopSrcPaint: case kRopPatPaint: blend = 5; break;
        default: break;
    }
    if (blend > 1) placement->SetBlendMode(blend);
    if (const uint32_t opacity = (blendFunction >> 16) & 0xFF; alphaBlend && opacity < 255) {
        TSWFColorTransform& colour = placement->GetColorTransform();
        colour.SetMultR(256);
        colour.SetMultG(256);
        colour.SetMultB(256);
        colour.SetMultA(static_cast<int32_t>(opacity * 256 / 255));
    }
}

// A picture through a one-bit mask. Each mask bit picks one of the two
// raster operations packed in the record (bit 1 the foreground's, bit 0 the
// background's): the destination-only one leaves the pixel transparent,
// BLACKNESS and WHITENESS paint it, any other shows the source pixel.
void TFlashCanvas::DoMaskBlt(const TEmfRecord& r) {
    const int32_t x = r.I32(24), y = r.I32(28), cx = r.I32(32), cy = r.I32(36);
    const uint32_t rop = r.U32(40);
    const int32_t xSrc = r.I32(44), ySrc = r.I32(48), xMask = r.I32(100), yMask = r.I32(104);
    TMemoryStream sourceBmp;
    if (!MakeBmpStream(r, r.U32(84), r.U32(88), r.U32(92), r.U32(96), sourceBmp)) return;
    TBMPReader source;
    source.LoadFromStream(sourceBmp);
    // The mask's rows are its bytes over its height, most significant bit first.
    const uint32_t offMask = r.U32(120), cbMask = r.U32(124);
    int32_t maskWidth = 0, maskHeight = 0;
    const uint8_t* maskBits = nullptr;
    if (r.U32(116) >= 40 && cbMask > 0) {
        maskWidth = r.I32(r.U32(112) + 4);
        maskHeight = r.I32(r.U32(112) + 8);
        maskBits = r.Bytes(offMask, cbMask);
    }
    const int32_t maskRows = std::abs(maskHeight);
    const size_t maskStride = maskRows > 0 ? cbMask / static_cast<uint32_t>(maskRows) : 0;
    const int32_t sourceWidth = source.GetWidth(), sourceRows = std::abs(source.GetHeight());
    const int32_t width = std::min(cx, sourceWidth - std::max(xSrc, 0)), height = std::min(cy, sourceRows - std::max(ySrc, 0));
    if (width <= 0 || height <= 0 || xSrc < 0 || ySrc < 0) return;
    const uint8_t fore = static_cast<uint8_t>(rop >> 16), back = static_cast<uint8_t>(rop >> 24);
    auto sourceRow = [&](int32_t top) { return source.GetHeight() > 0 ? sourceRows - 1 - top : top; };
    TBMPReader picture;
    picture.SetSize(width, -height, 32);
    for (int32_t row = 0; row < height; ++row) {
        for (int32_t col = 0; col < width; ++col) {
            bool bit = true;
            const int32_t mx = xMask + col, my = yMask + row;
            if (maskBits && mx >= 0 && mx < maskWidth && my >= 0 && my < maskRows) {
                const size_t line = static_cast<size_t>(maskHeight > 0 ? maskRows - 1 - my : my);
                const size_t at = line * maskStride + static_cast<size_t>(mx) / 8;
                if (at < cbMask) bit = (maskBits[at] >> (7 - mx % 8)) & 1;
            }
            const uint8_t op = bit ? fore : back;
            if (op == 0xAA) continue;  // the destination stays: transparent
            uint32_t color = op == 0x00 ? 0 : op == 0xFF ? 0xFFFFFF : 0;
            if (op != 0x00 && op != 0xFF) {
                TRGBTriple c;
                source.GetPixelColor(sourceRow(ySrc + row), xSrc + col, c);
                color = c.Value();
            }
            picture.SetPixelColor(row, col, color);
            picture.Rows[static_cast<size_t>(row)][col * 4 + 3] = 255;
        }
    }
    TFlashImage* image = Movie->AddImage();
    image->LoadFromBitmap(picture);
    const TPointF a = DC->LPtoDP(x, y), b = DC->LPtoDP(double(x) + cx, double(y) + cy);
    TFlashShape* shape = NewShape();
    Twips(shape)->MoveTo(Tw(std::min(a.X, b.X)), Tw(std::min(a.Y, b.Y)));
    Twips(shape)->MakeRectangle(Tw(std::fabs(b.X - a.X)), Tw(std::max(std::fabs(b.Y - a.Y), 1.0)));
    FinishShape(shape);
    shape->AddImageFill(image, 1);
    Place(shape);
}

void TFlashCanvas::DoGradient(const TEmfRecord& r) {
    uint32_t vertices = r.U32(24);
    uint32_t mode = r.U32(32);
    if (vertices < 2) return;
    auto color = [&r](uint32_t i) {
        size_t at = 36 + size_t{i} * 16;
        return TSWFRGBAValue{uint32_t{r.U16(at + 8)} >> 8 | (uint32_t{r.U16(at + 10)} >> 8) << 8 |
                             (uint32_t{r.U16(at + 12)} >> 8) << 16 | kOpaqueBlack};
    };
    TRect bounds = r.Rect(8);
    TPointF a = DC->DeviceToDP(bounds.Left, bounds.Top), b = DC->DeviceToDP(bounds.Right + 1, bounds.Bottom + 1);
    TFlashShape* shape = NewShape();
    Twips(shape)->MoveTo(Tw(a.X), Tw(a.Y));
    Twips(shape)->MakeRectangle(Tw(b.X) - Tw(a.X), Tw(b.Y) - Tw(a.Y));
    FinishShape(shape);
    if (mode == 0) shape->AddLinearGradient(color(0), color(1), 0);
    else shape->AddLinearGradient(color(1), color(0), 90);
    Place(shape);
}

// ---------------------------------------------------------------- text

void TFlashCanvas::DoText(const TEmfRecord& r) {
    const TEmfText record = ReadTextRecord(r);
    const std::u16string& text = record.Text;
    const std::vector<int32_t>& spacing = record.Spacing;
    const TPoint reference = record.Reference;
    const uint32_t options = record.Options;
    const int32_t align = DC->TextAlign;
    bool blank = std::all_of(text.begin(), text.end(), [](char16_t c) { return c <= u' '; });
    if (text.empty() || (blank && !(options & 2) && !(align & TA_UPDATECP))) return;

    // The font, from the selection (stock fonts are the system's sans face).
    const TLogFont& lf = DC->Font;
    double height = std::fabs(DC->LengthToDP(lf.lfHeight, true));
    std::unique_ptr<TPlatformFont>& face =
        Faces[lf.lfFaceName + (lf.lfWeight >= 600 ? "/b" : "/") + (lf.lfItalic ? "i" : "")];
    if (!face) face = TPlatformFont::Open(lf.lfFaceName, lf.lfWeight >= 600, lf.lfItalic != 0);
    TFontMetrics metrics = face->GetMetrics();
    if (lf.lfHeight > 0 && metrics.Ascent + metrics.Descent > 0)
        height = height * 1024.0 / (metrics.Ascent + metrics.Descent);  // a cell height to the em height
    if (height >= 4096 || height < 0.05) return;
    const double ascent = metrics.Ascent / 1024.0 * height, descent = metrics.Descent / 1024.0 * height;
    // A font given a width is stretched by it against its own average width
    // (that of an "x", as the system measures it).
    double widthRatio = 1;
    if (lf.lfWidth != 0) {
        const double average = face->GetAdvance(U'x') / 1024.0 * height;
        if (average > 0) widthRatio = std::clamp(std::fabs(DC->LengthToDP(lf.lfWidth, false)) / average, 0.05, 20.0);
    }

    TFlashFont* font = CachedFont;
    if (!font) {
        TFontDescription wanted{lf.lfFaceName, lf.lfWeight >= 600, lf.lfItalic != 0, 0};
        font = FindFont(Movie->GetFonts(), wanted, false);
        if (!font) {
            TLogFont made = lf;
            made.lfHeight = -std::max(1, static_cast<int32_t>(std::lround(height)));
            font = Movie->AddFontFromLogFont(made, false);
            font->Bold = wanted.Bold;
            font->Italic = wanted.Italic;
        }
        CachedFont = font;
    }
    font->AddWideChars(text);

    // Position and advance in device pixels.
    TPointF position = DC->LPtoDP(reference);
    if (align & TA_UPDATECP) {
        position = CurrentPoint;
        CurrentPoint = DC->CurrentPosition;
    }
    std::vector<double> offsets;  // of each character from the start
    double advance = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        offsets.push_back(advance);
        if (i < spacing.size()) advance += std::fabs(DC->LengthToDP(spacing[i], false));
    }
    int32_t ownWidth = 0, ownHeight = 0;
    face->GetTextExtent(std::u32string(text.begin(), text.end()), ownWidth, ownHeight);
    const double ownAdvance = ownWidth / 1024.0 * height * widthRatio;
    if (spacing.empty() || advance == 0) advance = ownAdvance;
    const bool perChar = !spacing.empty() && text.size() > 1 && std::fabs(ownAdvance - advance) > 2;
    if (align & TA_UPDATECP && !(align & TA_CENTER) && spacing.empty()) CurrentPoint.X = position.X + advance;

    double shiftY = 0, shiftX = 0;
    if ((align & TA_BASELINE) == TA_BASELINE) shiftY = -ascent;
    else if (align & TA_BOTTOM) shiftY = -(ascent + descent);
    if ((align & TA_CENTER) == TA_CENTER) shiftX = -advance / 2;
    else if (align & TA_RIGHT) shiftX = -advance;

    // The opaque and clipping rectangles of the record go into a sprite
    // around the text's own (made first: definitions are ordered from the
    // last made).
    const bool boxed = (options & 6) != 0;
    TFlashSprite* outer = boxed ? Movie->AddSprite() : nullptr;
    TFlashSprite* sprite = Movie->AddSprite();
    uint16_t depth = 1;
    if (!Transparent) {
        TFlashShape* back = NewShape();
        Twips(back)->MoveTo(Tw(shiftX), Tw(shiftY));
        Twips(back)->MakeRectangle(Tw(advance), Tw(ascent + descent));
        FinishShape(back);
        back->AddSolidFillColor(BkColor);
        sprite->PlaceObject(back, depth);
    }
    depth = 2;
    auto addText = [&](const std::u16string& part, double x) {
        TFlashText* item = Movie->AddTextAtPoint(part, Opaque(TextColor), font, TPoint{0, 0}, 0);
        item->TextHeight = static_cast<uint16_t>(std::clamp(Tw(height), 1, 0xFFFF));
        item->X = Tw((x + shiftX) / widthRatio);
        item->Y = Tw(shiftY);
        TFlashPlaceObject* placed = sprite->PlaceObject(item, depth++);
        if (widthRatio != 1) placed->SetScale(static_cast<float>(widthRatio), 1.0f);
    };
    if (perChar) {
        for (size_t i = 0; i < text.size(); ++i)
            if (text[i] > u' ') addText(std::u16string(1, text[i]), offsets[i]);
    } else {
        addText(text, 0);
    }
    if (lf.lfUnderline || lf.lfStrikeOut) {
        const double thickness = std::max(1.0, height / 16);
        for (int which = 0; which < 2; ++which) {
            if (!(which == 0 ? lf.lfUnderline : lf.lfStrikeOut)) continue;
            double y = which == 0 ? ascent + descent / 2 : ascent * 0.6;
            TFlashShape* bar = NewShape();
            Twips(bar)->MoveTo(Tw(shiftX), Tw(shiftY + y - thickness / 2));
            Twips(bar)->MakeRectangle(Tw(advance), Tw(thickness));
            FinishShape(bar);
            bar->AddSolidFillColor(TextColor);
            sprite->PlaceObject(bar, depth++);
        }
    }
    TFSpriteCanvas* layer = GetCurrentLayer();
    TFlashPlaceObject* placement = nullptr;
    if (outer) {
        const TPointF a = DC->LPtoDP(record.Box.Left, record.Box.Top), b = DC->LPtoDP(record.Box.Right, record.Box.Bottom);
        auto box = [&](uint32_t color) {
            TFlashShape* shape = NewShape();
            Twips(shape)->MoveTo(Tw(std::min(a.X, b.X) - position.X), Tw(std::min(a.Y, b.Y) - position.Y));
            Twips(shape)->MakeRectangle(Tw(std::fabs(b.X - a.X)), Tw(std::fabs(b.Y - a.Y)));
            FinishShape(shape);
            shape->AddSolidFillColor(color);
            return shape;
        };
        if (options & 2) outer->PlaceObject(box(BkColor), 3);
        if (options & 4) outer->PlaceObject(box(0), 4)->SetClipDepth(5);
        TFlashPlaceObject* inner = outer->PlaceObject(sprite, 5);
        if (lf.lfEscapement != 0) inner->SetRotate(static_cast<float>(-lf.lfEscapement / 10.0));
        placement = layer->PlaceObject(outer, ++layer->LastDepth);
    } else {
        placement = layer->PlaceObject(sprite, ++layer->LastDepth);
        if (lf.lfEscapement != 0) placement->SetRotate(static_cast<float>(-lf.lfEscapement / 10.0));
    }
    placement->Tag().GetMatrix().SetTranslate(Tw(position.X), Tw(position.Y));
}
