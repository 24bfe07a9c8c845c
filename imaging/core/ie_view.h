// The image views. TIEView is the base control every image view stands on:
// background, border, resolution, mouse enter and leave, and the list of
// bitmap-change listeners through which the processing and input/output
// components follow the bitmap a view shows. TVidurErView shows a stack of
// layers (layer 0 is the image) with zoom, scrolling and the conversions
// between client and bitmap coordinates, and reads layered pictures.
//
// A view created with no owner and no parent never gets a window: it still
// loads, processes and hands back its bitmap (the application's picture
// loader does exactly that), while layout and painting wait for a parent
// window. Painting, selections and mouse interaction build on this header.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_mask.h"
#include "imaging/core/ie_resample.h"
#include "imaging/core/ie_transitions.h"
#include "imaging/core/ie_types.h"
#include "platform/geometry.h"
#include "platform/stream.h"
#include "platform/canvas.h"
#include "platform/ui/application.h"
#include "platform/ui/control.h"

class TIEDirectShow;
class TIEMask;
class TVidurErProc;
class TVidurErView;

enum TBorderStyle : uint8_t { bsNone, bsSingle };
enum TScrollStyle : uint8_t { ssNone, ssHorizontal, ssVertical, ssBoth };
// Selections (a set of TIESelectionOption bits), the base of the
// coordinates given to Select and AddSelPoint, the mouse interaction modes
// (a set of TIEMouseInteractItem bits), layer and selection grips and the
// ways of drawing the wallpaper.
enum TIESelectionOption : uint8_t {
    iesoAnimated,
    iesoSizeable,
    iesoMoveable,
    iesoFilled,
    iesoCutBorders,
    iesoMarkOuter,
    iesoCanScroll,
    iesoSelectTranspLayers
};
using TIESelectionOptions = uint8_t;
constexpr TIESelectionOptions IESO(TIESelectionOption option) { return static_cast<TIESelectionOptions>(1u << option); }
enum TIESelectionBase : uint8_t { iesbClientArea, iesbBitmap };
enum TIEMouseInteractItem : uint8_t {
    miZoom,
    miScroll,
    miSelect,
    miSelectPolygon,
    miSelectCircle,
    miSelectZoom,
    miSelectMagicWand,
    miSelectLasso,
    miMoveLayers,
    miResizeLayers,
    miRotateLayers
};
using TIEMouseInteract = uint16_t;
constexpr TIEMouseInteract IEMI(TIEMouseInteractItem item) { return static_cast<TIEMouseInteract>(1u << item); }
enum TIEGrip : uint8_t {
    ieNone,
    ieTopLeft,
    ieTopRight,
    ieBottomRight,
    ieBottomLeft,
    ieLeftSide,
    ieRightSide,
    ieTopSide,
    ieBottomSide,
    ieRotationCenter
};
enum TIEWallPaperStyle : uint8_t { iewoNormal, iewoStretch, iewoTile };

// The private messages through which worker threads and the video object
// reach a view: they arrive on the window thread.
constexpr uint32_t IEM_UPDATE = 8024;
constexpr uint32_t IEM_NEWFRAME = 8025;
constexpr uint32_t IEM_EVENT = 8026;
constexpr uint32_t IEM_PROGRESS = 8027;  // WParam: percent done
constexpr uint32_t IEM_FINISHWORK = 8028;

// The view's cursors (ids 1778 to 1814 of the screen's cursor table).
constexpr TCursor crIEZoomOut = 1778, crIEZoomIn = 1779, crIECross = 1780, crIEHand = 1782, crIEDefault = 1785,
                  crIEGripDiag1 = 1786, crIEGripVert = 1787, crIEGripDiag2 = 1788, crIEGripHorz = 1789,
                  crIEMove = 1790, crIEAdd = 1791, crIECross2 = 1793, crIECross2Add = 1794, crIERotate1 = 1811,
                  crIERotate2 = 1812, crIERotate3 = 1813, crIERotate4 = 1814;
// Loads the view cursors into the screen's table (the platform's own
// shapes for those it has; the rest keep their slot empty).
void IELoadViewCursors();

enum TIEBackgroundStyle : uint8_t {
    iebsSolid,
    iebsHorizontalLines,
    iebsVerticalLines,
    iebsFDiagonal,
    iebsBDiagonal,
    iebsCross,
    iebsDiagCross,
    iebsChessboard,
    iebsDiagonals,
    iebsCropped,
    iebsCropShadow,
    iebsGradient,
    iebsSoftShadow,
    iebsPhotoLike
};

// The toolkit's run-time error for a call of an operation a class leaves
// abstract.
class EAbstractError : public Exception {
    using Exception::Exception;
};

class TIEView : public TCustomControl {
public:
    explicit TIEView(TComponent* owner = nullptr);
    ~TIEView() override;

    // ------------------------------------------------ bitmap-change listeners
    // Called whenever the view's current bitmap object changes, and once
    // with true when the view is destroyed. The handle removes the listener;
    // a negative handle (a component holding none) is ignored.
    using TBitmapChangeEvent = std::function<void(bool destroying)>;
    virtual int32_t RegisterBitmapChangeEvent(TBitmapChangeEvent event);
    virtual void RemoveBitmapChangeEvent(int32_t handle);
    virtual void CallBitmapChangeEvents();
    int32_t BitmapChangeListenerCount() const { return static_cast<int32_t>(listeners_.size()); }

    // ------------------------------------------------ the image
    // The toolkit bitmap that holds the image (nullptr when the view keeps
    // none) and the library's bitmap shown.
    virtual TBitmap* GetBitmap() { return nullptr; }
    virtual TIEBitmap* GetIEBitmap() { return nullptr; }
    virtual TIEBitmap* GetAlphaChannel();
    virtual bool GetHasAlphaChannel();
    virtual void RemoveAlphaChannel(bool merge);
    virtual void LockPaint();
    virtual void UnlockPaint();
    virtual void UnlockPaintNoUpdate();
    virtual void ImageChange() {}

    // ------------------------------------------------ look and resolution
    TColor Background() const { return background_; }
    virtual TColor GetBackground() { return background_; }
    virtual void SetBackground(TColor color) { background_ = color; }
    TBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TBorderStyle style);
    bool Ctl3D() const { return ctl3D_; }
    void SetCtl3D(bool value);
    int32_t DpiX() const { return dpiX_; }
    int32_t DpiY() const { return dpiY_; }
    virtual void SetDpiX(int32_t value);
    virtual void SetDpiY(int32_t value);
    virtual void SetDPI(int32_t dpiX, int32_t dpiY);

    TNotifyEvent OnMouseEnter;
    TNotifyEvent OnMouseLeave;

    // ------------------------------------------------ what the processing component asks of a layered view
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
    virtual bool IsVidurErVect() const { return false; }
    virtual void SaveToStreamIEV(TStream&) {}
    virtual void LoadFromStreamIEV(TStream&) {}

protected:
    void CreateParams(TCreateParams& params) override;

private:
    struct TListener {
        int32_t Handle;
        TBitmapChangeEvent Event;
    };
    std::vector<TListener> listeners_;
    int32_t nextListener_ = 1;
    TBorderStyle borderStyle_ = bsSingle;
    bool ctl3D_ = true;
    TColor background_ = clBtnFace;
    int32_t dpiX_ = 0;
    int32_t dpiY_ = 0;
};

// The view's input/output component, as the view sees it. The component
// itself lives in the input/output library, above this one; that library
// registers its maker with IESetViewIOMaker, and the view makes one on first
// use. The maker attaches the new component to the view.
class TIEViewIO {
public:
    TIEViewIO();
    virtual ~TIEViewIO();
    // The component's video object, made on first use (IEMakeDirectShow)
    // with its notifications aimed at the attached view's window.
    virtual TIEDirectShow* GetDirectShow();
    bool HasDirectShow() const { return directShow_ != nullptr; }
    // Aims the video notifications at the attached view's window again.
    virtual void UpdateDShowNotifyWindow();
    // The view that made the component (set by the view).
    TVidurErView* AttachedView = nullptr;
    // Reads one image of a registered file format from the stream's position
    // into the attached view's current bitmap; errors propagate.
    virtual void LoadFromStreamFormat(TStream& stream, int32_t fileFormat) = 0;
    virtual bool GetNativePixelFormat() = 0;
    virtual void SetNativePixelFormat(bool value) = 0;
    // The size recorded in the parameters of the image.
    virtual void SetParamsSize(int32_t width, int32_t height) = 0;
    virtual void SetOnProgress(TIEProgressEvent event) = 0;
    virtual void SetOnFinishWork(std::function<void()> event) = 0;

private:
    std::unique_ptr<TIEDirectShow> directShow_;
};
using TIEViewIOMaker = std::function<std::unique_ptr<TIEViewIO>(TVidurErView& view)>;
void IESetViewIOMaker(TIEViewIOMaker maker);

enum TIELayerEvent : uint8_t { ielSelected, ielMoved, ielResized, ielMoving, ielResizing, ielRotating, ielRotated };

// One layer of a view: a bitmap placed over layer 0.
class TIELayer {
public:
    // With useGivenBitmap the layer shows bitmap itself; otherwise it makes
    // an own bitmap at bitmap's size, format and storage (contents not copied).
    TIELayer(TVidurErView* owner, bool useGivenBitmap, TIEBitmap* bitmap);
    ~TIELayer();
    TIELayer(const TIELayer&) = delete;
    TIELayer& operator=(const TIELayer&) = delete;

    void ResetProperties();
    void Assign(TIELayer& source);
    // The undo record of the layer (the bitmap in the raw bitmap stream).
    void SaveToStream(TStream& stream, bool saveBitmap);
    void LoadFromStream(TStream& stream);
    void SetRotate(double angle);
    double GetRotate() const { return rotate_; }
    int32_t GetWidth() const;
    int32_t GetHeight() const;
    int32_t ViewToLayerX(int32_t x) const;
    int32_t ViewToLayerY(int32_t y) const;
    int32_t LayerToViewX(int32_t x) const;
    int32_t LayerToViewY(int32_t y) const;
    TIEBitmap* GetBitmap() const { return bitmap_; }
    bool OwnsBitmap() const { return ownsBitmap_; }
    void SetUserData(std::vector<uint8_t> data);
    const std::vector<uint8_t>& UserData() const { return userData_; }
    TVidurErView* Owner() const { return owner_; }

    int32_t Width = 0;   // display width in layer-0 pixels; 0: the bitmap's
    int32_t Height = 0;
    std::unique_ptr<TIEBitmap> MaskCache;
    bool Visible = true;
    bool ShowBox = true;
    int32_t Transparency = 255;
    int32_t PosX = 0, PosY = 0;
    TRect ClientRect{};
    bool Cropped = false;
    bool Locked = false;
    bool Selectable = true;
    bool Magnify = false;
    double MagnifyRate = 2.0;
    uint8_t MagnifyShape = 0;
    uint8_t MagnifySource = 1;
    uint8_t Operation = 0;
    TResampleFilter ResampleFilter = rfNone;
    bool UseResampleFilter = false;
    std::string Name;
    bool IsMask = false;
    TRect DrawRect{};  // x, y, width, height
    TRect SrcRect{};
    TPoint Corners[4]{};
    bool ShadeOutside = false;
    uint8_t ID[16]{};
    double RotateCenterX = 0.5, RotateCenterY = 0.5;

private:
    friend class TVidurErView;
    TVidurErView* owner_;
    TIEBitmap* bitmap_;
    std::unique_ptr<TIEBitmap> ownedBitmap_;
    bool ownsBitmap_ = true;
    double rotate_ = 0;
    std::vector<uint8_t> userData_;
};

class TVidurErView : public TIEView {
public:
    explicit TVidurErView(TComponent* owner = nullptr);
    ~TVidurErView() override;

    // ------------------------------------------------ the image
    TBitmap* GetBitmap() override;
    TIEBitmap* GetIEBitmap() override { return currentBitmap_; }
    TIEBitmap* GetAlphaChannel() override { return currentBitmap_->GetAlphaChannel(); }
    bool GetHasAlphaChannel() override { return currentBitmap_->GetHasAlphaChannel(); }
    void RemoveAlphaChannel(bool merge) override;
    bool LegacyBitmap() const { return legacyBitmap_; }
    virtual void SetLegacyBitmap(bool value);
    // Shows the caller's bitmap (not owned) in the current layer; nullptr
    // gives the layer a fresh bitmap of its own.
    void SetExternalIEBitmap(TIEBitmap* bitmap);
    virtual bool IsImageEmpty();
    void Blank();
    void Clear();
    void Assign(TVidurErView* source);
    void Assign(const TBitmap& source);
    void SetBackground(TColor color) override;
    void ImageChange() override;
    std::string VidurErVersion() const { return "3.0.0"; }

    // ------------------------------------------------ components on demand
    // Raises when no input/output library has registered its component.
    TIEViewIO* GetVidurErIO();
    TVidurErProc* GetVidurErProc();
    bool HasVidurErIO() const { return io_ != nullptr; }
    virtual void SetOnProgress(TIEProgressEvent event);
    virtual void SetOnFinishWork(std::function<void()> event);
    virtual TIEProgressEvent GetOnProgress() { return onProgress_; }
    virtual std::function<void()> GetOnFinishWork() { return onFinishWork_; }

    // ------------------------------------------------ locks and layout
    void LockPaint() override { ++paintLock_; }
    void UnlockPaint() override;
    void UnlockPaintNoUpdate() override;
    int32_t PaintLockCount() const { return paintLock_; }
    void LockUpdate() { ++updateLock_; }
    void UnlockUpdate();
    // The layout pass: automatic zoom, scroll bars, extents.
    void Update() override;
    void SetBounds(int32_t left, int32_t top, int32_t width, int32_t height) override;
    virtual int32_t GetViewAreaWidth();
    virtual int32_t GetViewAreaHeight();
    virtual bool HasParentWindow();

    // ------------------------------------------------ settings
    bool Center() const { return center_; }
    void SetCenter(bool value);
    TResampleFilter ZoomFilter() const { return zoomFilter_; }
    void SetZoomFilter(TResampleFilter filter);
    TScrollStyle ScrollBars() const { return scrollBars_; }
    virtual void SetScrollBars(TScrollStyle value);
    TIEBackgroundStyle BackgroundStyle() const { return backgroundStyle_; }
    void SetBackgroundStyle(TIEBackgroundStyle style);
    bool EnableAlphaChannel() const { return enableAlphaChannel_; }
    void SetEnableAlphaChannel(bool value);
    bool AutoFit = false;
    bool AutoStretch = false;
    bool AutoShrink = false;
    bool DelayZoomFilter = false;
    bool FlatScrollBars = false;
    bool DoubleBuffer = true;
    bool OffScreenDrawing = false;
    bool KeepScrollBarsDisabled = false;
    bool InvalidateOnUpdate = true;
    bool SuppressUpdateInvalidate = false;
    int32_t DelayZoomFilterTicks = 4;
    int32_t DelaySelectionTicks = 2;
    int32_t DelayZoomFilterCountdown = 0;
    int32_t DelaySelectionCountdown = 0;
    // The scroll-bar parameters: -1 line or page step means one pixel's
    // size or the view area.
    struct TScrollBarParams {
        int32_t LineStep = -1;
        int32_t PageStep = -1;
        bool Tracking = true;
    };
    TScrollBarParams HorizScrollBarParams, VertScrollBarParams;

    std::function<void(TVidurErView& sender, int32_t change)> OnViewChange;
    TNotifyEvent OnImageChange;
    std::function<void(TVidurErView& sender, int32_t layer, TIELayerEvent event)> OnLayerNotify;

    // ------------------------------------------------ zoom
    double Zoom() const { return zoomX_; }
    double ZoomX() const { return zoomX_; }
    double ZoomY() const { return zoomY_; }
    void SetZoom(double zoom);
    void SetZoomX(double zoom);
    void SetZoomY(double zoom);
    void ZoomAt(int32_t x, int32_t y, double zoom, bool center);
    void Fit();
    double GetFitZoom(int32_t width, int32_t height, bool shrink, bool stretch, int32_t availWidth,
                      int32_t availHeight);
    double GetOptimalZoom();

    // ------------------------------------------------ scrolling
    int32_t ViewX() const { return viewX_; }
    int32_t ViewY() const { return viewY_; }
    void SetViewXY(int32_t x, int32_t y);
    void SetViewX(int32_t x);
    void SetViewY(int32_t y);
    void GetMaxViewXY(int32_t& maxX, int32_t& maxY);
    bool IsScrollable();
    void HScrollAction(int32_t code, int32_t position);
    void VScrollAction(int32_t code, int32_t position);
    double HScrollRatio() const { return hScrollRatio_; }
    double VScrollRatio() const { return vScrollRatio_; }
    bool HScrollBarShown() const { return hScrollBarShown_; }
    bool VScrollBarShown() const { return vScrollBarShown_; }

    // ------------------------------------------------ geometry
    int32_t ViewToBitmapX(int32_t x);
    int32_t ViewToBitmapY(int32_t y);
    int32_t BitmapToViewX(int32_t x);
    int32_t BitmapToViewY(int32_t y);
    int32_t AlignViewX(int32_t v);
    int32_t AlignViewY(int32_t v);
    int32_t ImageWidth() const { return imageWidth_; }
    int32_t ImageHeight() const { return imageHeight_; }
    int32_t OffsetX() const { return offsetX_; }
    int32_t OffsetY() const { return offsetY_; }
    int32_t ExtentX() const { return extentX_; }
    int32_t ExtentY() const { return extentY_; }
    int32_t VisibleWidth() const { return visibleWidth_; }
    int32_t VisibleHeight() const { return visibleHeight_; }
    TRect SrcRect() const { return {srcX_, srcY_, srcWidth_, srcHeight_}; }  // x, y, width, height
    int32_t DstWidth() const { return dstWidth_; }
    int32_t DstHeight() const { return dstHeight_; }
    virtual void UpdateZoomTables();
    virtual void UpdateViewRect();
    virtual void UpdateExtents();

    // ------------------------------------------------ layers
    bool IsVidurErView() const override { return true; }
    int32_t GetLayersCount() override { return static_cast<int32_t>(layers_.size()); }
    int32_t GetLayersCurrent() override { return currentLayer_; }
    TIEBitmap* GetLayerBitmap(int32_t index) override;
    void SaveLayerToStream(int32_t index, TStream& stream, bool withBitmap) override;
    void LoadLayerFromStream(int32_t index, TStream& stream) override;
    void GetLayerGUID(int32_t index, uint8_t guid[16]) override;
    TIELayer* GetLayer(int32_t index) { return layers_.at(static_cast<size_t>(index)).get(); }
    TIELayer* GetCurrentLayer() { return currentLayer_ >= 0 ? GetLayer(currentLayer_) : nullptr; }
    virtual void SetLayersCurrent(int32_t index);
    int32_t LayersAdd();
    void LayersRemove(int32_t index);
    void LayersClear();
    void SyncLayers();
    int32_t FindLayerAt(int32_t x, int32_t y, bool selectableOnly);
    bool IsPointInLayer(int32_t x, int32_t y, int32_t index);
    // Flattens every layer into dest at zoom 100.
    void LayersDrawTo(TIEBitmap& dest);
    void ApplyLayerSizes(int32_t index);
    void ApplyLayerRotations(int32_t index);
    void CropLayersToContent(int32_t index);
    virtual void DoLayerNotify(int32_t layer, TIELayerEvent event);
    // Composes the layers into dest as shown (zoom, scroll, offsets); clip
    // is in dest's coordinates, empty for none.
    virtual void DrawLayersToBuffer(TIEBitmap& dest, bool drawGadgets, bool drawBackground, const TRect& clip);

    int32_t MinLayerSize = 2;
    int32_t LayersOutsideMode = 0;
    int32_t LayersOutsideAmount = 60;
    uint8_t LayerRotationAntialias = 0;
    bool LayersSync = false;
    bool ShowAllLayerBoxes = false;
    bool LayerUndo = false;
    bool SelectTransparentLayers = false;  // iesoSelectTranspLayers of the selection options

    // ------------------------------------------------ layers stream
    // Reads a layered picture ("RIDIREVARAVIZ"); false for another stream.
    bool LayersLoadFromStream(TStream& stream);
    bool LayersLoadFromFile(const std::string& fileName);

    // ------------------------------------------------ painting
    // The back buffer holds the composed picture; a paint copies its dirty
    // part to the window and draws the selection outline, the version text
    // and the interaction hint over it.
    TIEBitmap* GetBackBuffer() { return backBuffer_.get(); }
    bool BackBufferDirty() const { return backBufferDirty_; }
    // Marks the back buffer for composing and the rectangle of the window
    // for painting.
    void InvalidateViewRect(const TRect& rect);
    // The rectangle the last paint copied from the back buffer (x, y, width,
    // height); empty when it copied nothing.
    TRect LastBlitRect() const { return lastBlitRect_; }
    // A canvas on the back buffer (gadgets and the vector view draw there).
    TCanvas& GetCanvas();
    bool DrawVersion() const { return drawVersion_; }
    void SetDrawVersion(bool value);
    bool EnableInteractionHints = true;
    // The hint box shown while the mouse changes a layer (client position).
    std::string HintText, HintSample;
    int32_t HintX = 0, HintY = 0;
    bool ShowPixelGrid = false;
    int32_t GridMarkX = 0, GridMarkY = 0;
    int32_t ChessboardSize = 16;
    int32_t ChessboardBrushStyle = BS_SOLID;
    TColor GradientEndColor = 0xFF0000;
    void SetChessboardStyle(int32_t size, int32_t brushStyle);
    // The picture drawn over the background; the view keeps a copy.
    const TBitmap& WallPaper() const { return wallPaper_; }
    void SetWallPaper(const TBitmap& picture);
    TIEWallPaperStyle WallPaperStyle() const { return wallPaperStyle_; }
    void SetWallPaperStyle(TIEWallPaperStyle style);
    TNotifyEvent OnPaint;
    TNotifyEvent OnDrawBackBuffer;
    std::function<void(TVidurErView& sender, TCanvas& canvas, const TRect& rect, bool& handled)> OnDrawBackground;
    std::function<void(TVidurErView& sender, TCanvas& canvas, const TRect& rect)> OnDrawCanvas;
    // ------------------------------------------------ transitions
    // The view's transition effects; while one runs, the window shows its
    // frames in place of the composed picture.
    TIETransitionEffects& Transition() { return *transition_; }
    // What the window shows now (the composed picture at the client size),
    // as a 24-bit bitmap.
    TBitmap ComposedPicture();
    // Takes what the window shows as the source of the next transition.
    void PrepareTransition();
    // Animates from the prepared picture (or, without one, from the
    // background) to what the view shows now.
    void RunTransition(TIETransitionType kind, int32_t duration = 1000);
    // Pans and zooms over the current image from one rectangle of its
    // pixels to another (left, top, right, bottom).
    void RunPanZoom(const TRect& start, const TRect& end, int32_t duration = 1000);
    // Stops a running transition and lays the view out again.
    void StopTransitionAndUpdate();
    // The handlers are the transition effects' own.
    TNotifyEvent GetOnTransitionStop() const { return transition_->OnTransitionStop; }
    void SetOnTransitionStop(TNotifyEvent event) { transition_->OnTransitionStop = std::move(event); }
    std::function<void(TComponent* sender, int32_t step)> GetOnTransitionStep() const {
        return transition_->OnTransitionStep;
    }
    void SetOnTransitionStep(std::function<void(TComponent* sender, int32_t step)> event) {
        transition_->OnTransitionStep = std::move(event);
    }
    // Fills dest (at the client size) with the view's background as
    // painting draws it.
    void DrawViewBackground(TIEBitmap& dest);

    // ------------------------------------------------ selections
    // The selection polygon: points in the current layer's bitmap pixels; a
    // point whose x is TIEMask::kPolygonSeparator separates two polygons.
    struct TSelectionPolygon {
        std::vector<TPoint> Points;
        TColor Color1 = 0, Color2 = 0xFFFFFF;
        bool Animated = true;
        int32_t Phase = 0;
        int32_t DashCounter = 0;
        TRect Box{};  // x1, y1, x2, y2
        bool Visible = false;
        bool Sizeable = true;
        void Clear() { Points.clear(); Box = {}; }
        void Append(int32_t x, int32_t y);
        void AppendBreak();
    };
    TIESelectionOptions SelectionOptions() const { return selectionOptions_; }
    void SetSelectionOptions(TIESelectionOptions options);
    TIESelectionBase SelectionBase = iesbClientArea;
    double SelectionAspectRatio() const { return selectionAspectRatio_; }
    void SetSelectionAspectRatio(double ratio);
    int32_t FixedSelectionWidth = 100, FixedSelectionHeight = 100;
    bool MagicWandMaxFilter = false;
    int32_t MagicWandTolerance = 15;
    int32_t MagicWandMode = 0;  // 0 outline polygon, 1 connected fill, 2 all similar colours
    int32_t MarchingAntsPhase = 0;
    bool HideSelectionWhileDelayed = true;
    int32_t SelectionTimerLoad = -20;
    bool SelectionVisible = true;
    int32_t MaskBitsPerPixel = 1;
    int32_t SelectionValue = 1;
    TColor SelectionColor1 = 0, SelectionColor2 = 0xFFFFFF;
    TColor SelectionGripPenColor = 0, SelectionGripBrushColor = 0xBAFFFF;
    int32_t SelectionGripSize = 5;
    bool SelectionSideGrips = true;
    bool ConstrainSelection = false;
    bool ShiftAddsSelection = true;
    TNotifyEvent OnSelectionChanging, OnSelectionChange, OnBeforeSelectionChange, OnMouseInSel;
    std::function<void(TVidurErView& sender, int32_t polygon, int32_t point, TCanvas& canvas, int32_t x, int32_t y)>
        OnDrawPolygon;

    // Op: 0 replaces the selection, 1 adds the rectangle to it, 2 takes it
    // away, 3 keeps only what lies inside it.
    virtual void Select(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t op = 0);
    void SelectRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t op, bool constrain, bool keepInside);
    // An ellipse inscribed in the rectangle, as a polygon.
    void SelectEllipse(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t op = 0);
    virtual void AddSelPoint(int32_t x, int32_t y);
    void AddSelectionPoint(int32_t x, int32_t y);
    void AddSelectionBreak();
    virtual void EndSelect();
    void ClearSelection();
    void SelectMagicWand(int32_t x, int32_t y, bool add);
    int32_t MoveSelection(int32_t hit, int32_t dx, int32_t dy, bool cutBorders);
    void MoveSelectionBy(int32_t dx, int32_t dy);
    TIEGrip MoveSelectionGrip(TIEGrip grip, int32_t x, int32_t y, bool constrain);
    void PushSelection();
    bool PopSelection(bool remove, int32_t mode);
    void SaveSelectionToStream(TStream& stream) override;
    void LoadSelectionFromStream(TStream& stream, int32_t mode) override;
    bool HasSelection() override { return hasSelection_; }
    TIEMask* GetSelectionMask() override { return mask_.get(); }
    const TPoint* GetPolygonPoints() override { return polygon_.Points.data(); }
    int32_t GetPolygonPointCount() override { return static_cast<int32_t>(polygon_.Points.size()); }
    TSelectionPolygon& SelectionPolygon() { return polygon_; }
    // The selection's box in bitmap pixels, right and bottom included.
    int32_t SelX1();
    int32_t SelY1();
    int32_t SelX2();
    int32_t SelY2();
    void ShowSelection(bool redraw);
    void HideSelection(bool repaint);
    TIEGrip GetSelectionGripAt(int32_t x, int32_t y);
    int32_t HitSelectionBody(int32_t x, int32_t y, TShiftState shift);
    void ZoomSelection(bool keepAspect, bool notify);
    bool PolygonSelecting() const { return polygonSelecting_; }
    // The selection polygon is one rectangle.
    bool IsRectPolygon() const;

    // ------------------------------------------------ mouse and keyboard
    TIEMouseInteract MouseInteract() const { return mouseInteract_; }
    virtual void SetMouseInteract(TIEMouseInteract value);
    // Wheel: inverse direction, action (0 nothing, 1 scroll, 2 zoom),
    // variation (0 absolute, 1 percent), value, zoom position (0 about the
    // view, 1 about the mouse).
    struct TMouseWheelParams {
        bool InverseDirection = false;
        int32_t Action = 2;
        int32_t Variation = 1;
        int32_t Value = 8;
        int32_t ZoomPosition = 0;
    };
    TMouseWheelParams MouseWheelParams;
    bool ZoomSelectionKeepsAspect = true;
    double MouseScrollRatio = 1.0;
    TColor LayerGripPenColor = 0, LayerGripBrushColor = 0xBAFFFF;
    int32_t LayerGripSize = 5, LayerGripShape = 1;
    std::function<void(TVidurErView& sender, double& zoom)> OnZoomIn, OnZoomOut;
    std::function<void(TVidurErView& sender, TIEGrip grip)> OnMouseInResizingGrip;
    std::function<void(TVidurErView& sender, uint16_t key, TShiftState shift, bool& handled)> OnSpecialKey;
    void MouseDown(int button, TShiftState shift, int32_t x, int32_t y);
    void MouseMove(TShiftState shift, int32_t x, int32_t y);
    void MouseUp(int button, TShiftState shift, int32_t x, int32_t y);
    void DoMouseWheel(int32_t delta, int32_t x, int32_t y, bool ctrl);
    void EndPolygonSelection(bool shift);
    TIEGrip GetLayerGripAt(int32_t x, int32_t y);
    virtual void MoveSelectionPoints(int32_t dx, int32_t dy);

    // ------------------------------------------------ messages, cursors, overview
    void SetCursor(TCursor cursor) override;
    void SetTempCursor(TCursor cursor);
    void RestoreCursor();
    TCursor BaseCursor() const { return baseCursor_; }
    std::function<void(TVidurErView& sender)> OnDShowNewFrame, OnDShowEvent;
    // The input/output component's video object draws into this window: it
    // exists, renders into the view and is not stopped.
    bool VideoOverlay();
    // A second view showing the whole image with this view's visible area
    // as its selection; dragging that selection scrolls this view.
    void SetOverview(TVidurErView* view);
    TVidurErView* Overview() const { return overview_; }
    void UpdateOverview();

protected:
    void Notification(TComponent* component, TOperation operation) override;
    virtual void SetZoomValue(double zoom);
    virtual void SetZoomXValue(double zoom);
    virtual void SetZoomYValue(double zoom);
    virtual void ViewChange(int32_t change);
    void Paint() override;
    // The view writes its pixels into the surface itself.
    bool HighDensitySurface() const override { return false; }

private:
    struct TZoomTables {
        std::vector<int32_t> ZoomedToBitmap, BitmapToZoomed;
        int32_t ViewOrigin = 0, BitmapOrigin = 0, ViewCount = 0, BitmapCount = 0;
    };
    void RecomputeFactors();
    void StartFilterCountdown(bool zoomNot100);
    void ZoomSequence(const std::function<void()>& setValue);
    void UpdateBars();
    void ScrollAction(bool horizontal, int32_t code, int32_t position);
    void ScrollMessage(TMessage& message, bool horizontal);
    void StoreCurrentBitmap();
    void MakeLayerCurrent(int32_t index);
    int32_t ZoomedToBitmap(const TZoomTables& t, int32_t z) const;

    std::vector<std::unique_ptr<TIELayer>> layers_;
    int32_t currentLayer_ = 0;
    TIEBitmap* currentBitmap_ = nullptr;
    bool legacyBitmap_ = true;
    std::unique_ptr<TIEViewIO> io_;
    std::unique_ptr<TVidurErProc> proc_;
    TIEProgressEvent onProgress_;
    std::function<void()> onFinishWork_;

    double hScrollRatio_ = 1.0, vScrollRatio_ = 1.0;
    bool hScrollBarShown_ = false, vScrollBarShown_ = false;
    double tableZoomX_ = -1, tableZoomY_ = -1;
    int32_t tableDstWidth_ = -1, tableDstHeight_ = -1, tableImageWidth_ = -1, tableImageHeight_ = -1;
    int32_t srcX_ = 0, srcY_ = 0, srcWidth_ = 0, srcHeight_ = 0;
    int32_t dstWidth_ = 0, dstHeight_ = 0;
    int32_t lastImageWidth_ = 0, lastImageHeight_ = 0;
    int32_t viewX_ = 0, viewY_ = 0;
    double zoomX_ = 100, zoomY_ = 100;
    double zoomFactorX_ = 1, invZoomFactorX_ = 1, zoomFactorY_ = 1, invZoomFactorY_ = 1;
    int32_t paintLock_ = 0;
    int32_t offsetX_ = 0, offsetY_ = 0;
    int32_t visibleWidth_ = 0, visibleHeight_ = 0;
    int32_t extentX_ = 0, extentY_ = 0;
    int32_t updateLock_ = 0;
    int32_t imageWidth_ = 0, imageHeight_ = 0;
    TZoomTables tablesX_, tablesY_;
    bool inUpdate_ = false;
    bool nestedUpdate_ = false;

    bool center_ = true;
    TResampleFilter zoomFilter_ = rfNone;
    TScrollStyle scrollBars_ = ssBoth;
    TIEBackgroundStyle backgroundStyle_ = iebsSolid;
    bool enableAlphaChannel_ = true;
    std::unique_ptr<TIEBitmap> backBuffer_;
    std::unique_ptr<TIETransitionEffects> transition_;
    TBitmap transitionSource_;

    void InstallMessageHandlers();
    // painting
    void BlitBackBuffer(TBitmap& surface, const TRect& rect);
    void DrawBackground(TIEBitmap& dest, const TRect& imageRect, const TRect& clip);
    void DrawGadgets(TIEBitmap& dest);
    void DrawLayerGadgets(TIEBitmap& dest, int32_t index);
    // A magnifying layer shows the picture under it enlarged (layer 0's
    // pixels through the layer's or the view's zoom filter).
    void DrawMagnifier(TIELayer& layer, TIEBitmap& dest, TResampleFilter filter);
    void PaintSelection(TCanvas& canvas, bool fromTimer);
    void DrawPolygonOutline(TCanvas& canvas, TSelectionPolygon& polygon);
    bool backBufferDirty_ = true;
    bool fullRepaint_ = true;
    bool drawVersion_ = false;
    bool applyCursorOnPaint_ = true;
    TRect lastBlitRect_{};
    std::unique_ptr<TCanvas> backCanvas_;
    TBitmap wallPaper_;
    TIEWallPaperStyle wallPaperStyle_ = iewoNormal;

    // selections
    void SelectionChanged(const TNotifyEvent& event);
    void SelectionTimerTick();
    // Bitmap coordinates of a new shape, and the polygon and mask made
    // ready for it (op 1 adds).
    void StartShape(int32_t& x1, int32_t& y1, int32_t& x2, int32_t& y2, int32_t op);
    void TrimPolygonEnd();
    void DragRectSelection(int32_t x, int32_t y, TShiftState shift);
    void DragCircleSelection(int32_t x, int32_t y, TShiftState shift);
    TSelectionPolygon polygon_;
    std::unique_ptr<TIEMask> mask_;
    std::vector<std::unique_ptr<TMemoryStream>> selectionStack_;
    std::unique_ptr<TTimer> selectionTimer_;
    TIESelectionOptions selectionOptions_ = IESO(iesoAnimated) | IESO(iesoSizeable) | IESO(iesoMoveable) | IESO(iesoCanScroll);
    TIESelectionBase savedSelectionBase_ = iesbClientArea;
    double selectionAspectRatio_ = -1.0;
    bool hasSelection_ = false;
    bool polygonSelecting_ = false, lassoSelecting_ = false, rectSelecting_ = false, circleSelecting_ = false;
    TIEGrip selectionGrip_ = ieNone;
    int32_t selectionMoveHit_ = -1;
    int32_t polygonCountAtMouseDown_ = 0;
    TRect gripStartBox_{};
    // Where the rectangle or ellipse being dragged started, in layer pixels.
    int32_t dragStartLayerX_ = 0, dragStartLayerY_ = 0;
    // Above 0 while a mouse handler runs (SelectionBase is forced then).
    int32_t mouseDepth_ = 0;

    // mouse
    bool IsCaptured() const { return buttonsDown_ != 0; }
    void ClampToLayer(int32_t& x, int32_t& y);
    void UpdateMouseCursor(TShiftState shift, int32_t x, int32_t y, int32_t rawX, int32_t rawY);
    bool AutoScrollLoop();
    void ResizeLayerByGrip(int32_t rawX, int32_t rawY, bool constrain);
    void SwapSelectionBase();
    TIEMouseInteract mouseInteract_ = 0;
    int buttonsDown_ = 0;
    TResampleFilter savedZoomFilter_ = rfNone;
    TRect gripStartRect_{};
    int32_t dragStartViewX_ = 0, dragStartViewY_ = 0;
    int32_t lastMouseX_ = 0, lastMouseY_ = 0;
    int32_t dragStartClampedX_ = 0, dragStartClampedY_ = 0;
    int32_t mouseDownX_ = 0, mouseDownY_ = 0;
    int32_t prevMouseX_ = 0, prevMouseY_ = 0;
    int32_t prevRawX_ = 0, prevRawY_ = 0;
    bool inAutoScroll_ = false;
    int32_t movingLayer_ = -1, rotatingLayer_ = -1, rotationCentreLayer_ = -1;
    TIEGrip layerGrip_ = ieNone;
    bool layerUndoSaved_ = false;
    bool mouseMoved_ = false;

    // cursors and overview
    TCursor baseCursor_ = crIEDefault;
    bool hasOwner_ = false;
    TVidurErView* overview_ = nullptr;
    bool inOverviewSync_ = false;
    HWND lastPaintWindow_ = 0;
};

// The view's background over the whole of dest.
void IEDrawViewBackground(TVidurErView& view, TIEBitmap& dest);
// Marks the back buffer dirty and the rectangle of the window invalid.
void IEInvalidateViewRect(TVidurErView& view, const TRect& rect);
// Four points alternating vertical and horizontal edges.
bool IEIsRectPolygon(const TPoint* points, int32_t count);
// The platform's cursor that shows one of the view's cursor ids.
TCursor IEViewCursorShape(TCursor id);
