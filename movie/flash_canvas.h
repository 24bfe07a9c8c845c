// The drawing canvas of the movie builder and the conversion of enhanced
// metafiles into movie objects. Code draws on TFlashCanvas with the
// toolkit's canvas operations, which record a metafile; committing the
// drawing plays that metafile record by record through the platform's
// playback state and turns every drawing record into shapes with fill and
// line styles, bitmap images, texts in embedded fonts, and nested sprites
// for layers and clipping, all inside one result sprite. Ready-made
// metafiles (the movie loader's "Metafile" element) take the same road.
//
// Points reach the converter in pixels of the metafile's frame with the
// metafile's own mapping applied; shapes are built in twips, so nothing is
// lost to whole pixels whatever the movie's units.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "movie/dib_reader.h"
#include "movie/metafile_raster.h"
#include "movie/sprites.h"
#include "platform/bitmap.h"
#include "platform/emf.h"
#include "platform/emf_canvas.h"
#include "platform/fonts.h"
#include "platform/stream.h"

class TFlashFont;
class TFlashImage;
class TFlashMovie;
class TFlashShape;

// A layer of a converted drawing: the root layer of one conversion, a clip
// group (a mask sprite at depth 1 clipping depth 2) or the content of one.
class TFSpriteCanvas : public TFlashSprite {
public:
    explicit TFSpriteCanvas(TFlashMovie* movie) : TFlashSprite(movie) {}

    uint8_t Kind = 0;  // 0 content layer, 1 root layer, 2 clip group
    TFSpriteCanvas* Parent = nullptr;
    TXForm Transform;
    TFlashPlaceObject* Placement = nullptr;
    uint16_t LastDepth = 0;
};

// The GDI objects of a metafile's handle table.
class TGDIHandleInfo {
public:
    explicit TGDIHandleInfo(uint8_t kind) : Kind(kind) {}
    virtual ~TGDIHandleInfo() = default;
    uint8_t Kind;
};

class TGDIHandlePen : public TGDIHandleInfo {
public:
    TGDIHandlePen() : TGDIHandleInfo(0) {}
    int32_t Style = 0;
    double Width = 0;  // device pixels
    uint32_t Color = 0;
    // Ends and corners of a geometric pen: caps 0 round, 1 square, 2 flat;
    // joins 0 round, 1 bevel, 2 miter.
    uint8_t EndCap = 0, Join = 0;
};

class TGDIHandleBrush : public TGDIHandleInfo {
public:
    TGDIHandleBrush() : TGDIHandleInfo(1) {}
    int32_t Style = 0;
    uint32_t Color = 0;
    uint32_t Hatch = 0;
};

class TGDIHandleFont : public TGDIHandleInfo {
public:
    TGDIHandleFont() : TGDIHandleInfo(2) {}
    TLogFont LogFont;
};

// Pattern brushes, kept as BMP files in memory (kind 3 mono, 4 DIB).
class TGDIHandlePatternBrush : public TGDIHandleInfo {
public:
    explicit TGDIHandlePatternBrush(uint8_t kind) : TGDIHandleInfo(kind) {}
    TMemoryStream Data;
    TFlashImage* Image = nullptr;  // made on first use, owned by the movie
};

// One record of the metafile being converted.
struct TObjMFRecord {
    const TEmfRecord* Record = nullptr;
    bool IsDrawing = false;
    bool Visible = true;
    bool Rasterise = false;
    int32_t Rop = 0;
};

// Whether records of the type draw.
bool IsDrawingRecord(uint32_t type);

class TFlashCanvas : public TMetafileCanvas {
public:
    explicit TFlashCanvas(TFlashMovie* movie);
    ~TFlashCanvas() override;

    TFlashMovie* Movie;
    double ScaleX = 1, ScaleY = 1;

    void StartRecording();
    // Converts what was drawn since StartRecording into the result sprite.
    void CommitDrawing();
    // Converts a metafile into the result sprite, its frame placed at the
    // rectangle's top-left (pixels) and, with stretch, scaled to its size.
    void DrawMetafile(const TRect& rect, const TEnhMetafile& metafile, bool stretch);
    // Commits, and places the result sprite (one frame) at depth in sprite,
    // or in the movie without one; then records again. With detach the next
    // drawing goes to a new result sprite. None when nothing was drawn.
    TFlashPlaceObject* PlaceDrawing(uint16_t depth, bool detach, TFlashSprite* sprite = nullptr);
    TFlashSprite* GetResultSprite();
    TFSpriteCanvas* GetCurrentLayer();
    TFSpriteCanvas* NewLayer(uint8_t kind);
    void CloseLayer();
    // Whether the metafile has no visible drawing record (without one: the
    // records of the last conversion).
    bool IsEmpty(const TEnhMetafile* metafile = nullptr) const;

    const std::vector<TObjMFRecord>& GetRecords() const { return Records; }

private:
    struct TPathFigureState;

    // State of the conversion, as the played device and the records leave it.
    uint32_t BkColor = 0xFFFFFF;
    uint32_t TextColor = 0;
    bool Transparent = false;
    // Selections: a handle-table index, or minus a stock-object number; -1
    // after a reset (named apart from the canvas's own Pen, Brush and Font).
    int32_t SelBrush = -1, SelPen = -1, SelFont = -1, PrevBrush = -1;
    uint32_t RecordIndex = 0;
    uint32_t LastRecordType = 0;
    TPointF CurrentPoint;
    uint8_t PolyFillMode = 1;
    TFlashShape* LineShape = nullptr;
    TFlashShape* LastShape = nullptr;
    TFlashSprite* ResultSprite = nullptr;
    TFSpriteCanvas* CurrentLayer = nullptr;
    TFSpriteCanvas* RootLayer = nullptr;
    int32_t FigureCount = 0;
    TFlashShape* PathShape = nullptr;
    bool PathShapeUsed = false;
    TFSpriteCanvas* ClipLayer = nullptr;
    TFlashSprite* ClipMask = nullptr;
    uint16_t ClipMaskDepth = 0;
    TFlashFont* CachedFont = nullptr;
    TLogFont LogFont;
    std::vector<std::unique_ptr<TGDIHandleInfo>> Handles;
    std::vector<TObjMFRecord> Records;
    std::unique_ptr<TEnhMetafile> Recording;
    std::map<std::string, std::unique_ptr<TPlatformFont>> Faces;  // by name, weight and slant
    TEmfPlaybackDC* DC = nullptr;  // during a conversion
    std::vector<TPointF> PathPoints;  // the path read at ENDPATH
    std::vector<uint8_t> PathTypes;
    // The metafile rendered as far as it has been played, while a
    // conversion needs it.
    std::unique_ptr<TMetafileRaster> Rendered;
    std::unique_ptr<TBMPReader> CutRendered(double left, double top, double right, double bottom);

    void ResetState();
    void BuildRecords(const TEnhMetafile& metafile);
    void Analyse();
    void Convert(const TEnhMetafile& metafile, double targetWidth, double targetHeight);
    void Dispatch(const TEmfRecord& record);
    void FinishLineShape();
    void Place(TFlashVisualObject* obj, int32_t xTwips = 0, int32_t yTwips = 0);
    void OrderDefinitions(size_t from);
    void CloseClipGroup();
    void OpenClipGroup();

    // Shapes in twips.
    TFlashShape* NewShape();
    void FinishShape(TFlashShape* shape);
    bool ApplyFill(TFlashShape* shape);
    bool ApplyStroke(TFlashShape* shape);
    void ApplyStyles(TFlashShape* shape, bool fill, bool stroke);
    TFlashImage* PatternImage(TGDIHandlePatternBrush& brush);
    TGDIHandleInfo* Handle(int32_t selection) const;

    // Handlers.
    void DoSelectObject(const TEmfRecord& r);
    void DoCreateObject(const TEmfRecord& r);
    void DoPoly(const TEmfRecord& r);
    void DoPolyPoly(const TEmfRecord& r);
    void DoBezier(const TEmfRecord& r);
    void DoLineTo(const TEmfRecord& r);
    void DoBox(const TEmfRecord& r);
    void DoArc(const TEmfRecord& r);
    void DoAngleArc(const TEmfRecord& r);
    void DoSetPixel(const TEmfRecord& r);
    void DoEndPath();
    TFlashShape* BuildPathShape(bool closeFigures);
    void DoPathDraw(uint32_t type);
    void DoClipRect(const TEmfRecord& r);
    void DoClipRegion(const TEmfRecord& r);
    void DoClipPath(const TEmfRecord& r);
    void DoFillRegion(const TEmfRecord& r);
    void DoBlit(const TEmfRecord& r, const TObjMFRecord& info);
    void DoMaskBlt(const TEmfRecord& r);
    void DoGradient(const TEmfRecord& r);
    void DoText(const TEmfRecord& r);
};
