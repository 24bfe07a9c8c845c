#include "imaging/core/ie_view.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <set>

#include "imaging/core/ie_compose.h"
#include "imaging/core/ie_geometry.h"
#include "imaging/core/ie_proc.h"
#include "imaging/core/ie_resample.h"
#include "imaging/core/ie_rotate.h"
#include "imaging/core/ie_streams.h"
#include "imaging/core/ie_view_services.h"
#include "platform/colour.h"
#include "platform/mathutil.h"
#include "platform/random.h"
#include "platform/ui/application.h"

namespace {

int32_t Round32(double x) { return static_cast<int32_t>(RoundHalfEven(x)); }
int32_t Trunc32(double x) { return static_cast<int32_t>(Trunc(x)); }

TIEViewIOMaker& ViewIOMaker() {
    static TIEViewIOMaker maker;
    return maker;
}

int Metric(TSystemMetric metric) { return Application().Backend().GetSystemMetric(metric); }

}  // namespace

void IESetViewIOMaker(TIEViewIOMaker maker) { ViewIOMaker() = std::move(maker); }

// ================================================================ video objects

namespace {
std::mutex& AliveLock() {
    static std::mutex lock;
    return lock;
}
std::set<const TIEDirectShow*>& Alive() {
    static std::set<const TIEDirectShow*> alive;
    return alive;
}
TIEDirectShowMaker& DirectShowMaker() {
    static TIEDirectShowMaker maker;
    return maker;
}
}  // namespace

TIEDirectShow::TIEDirectShow() {
    std::lock_guard<std::mutex> hold(AliveLock());
    Alive().insert(this);
}

TIEDirectShow::~TIEDirectShow() {
    std::lock_guard<std::mutex> hold(AliveLock());
    Alive().erase(this);
}

bool IEDirectShowAlive(const TIEDirectShow* object) {
    std::lock_guard<std::mutex> hold(AliveLock());
    return object && Alive().count(object) != 0;
}

void IESetDirectShowMaker(TIEDirectShowMaker maker) { DirectShowMaker() = std::move(maker); }

std::unique_ptr<TIEDirectShow> IEMakeDirectShow() {
    if (DirectShowMaker()) return DirectShowMaker()();
    return std::make_unique<TIEDirectShow>();
}

TIEViewIO::TIEViewIO() = default;
TIEViewIO::~TIEViewIO() = default;

TIEDirectShow* TIEViewIO::GetDirectShow() {
    if (!directShow_) {
        directShow_ = IEMakeDirectShow();
        UpdateDShowNotifyWindow();
    }
    return directShow_.get();
}

void TIEViewIO::UpdateDShowNotifyWindow() {
    if (directShow_ && AttachedView && AttachedView->HandleAllocated())
        directShow_->SetNotifyWindow(AttachedView->Handle(), IEM_NEWFRAME, IEM_EVENT);
}

// ================================================================ TIEView

TIEView::TIEView(TComponent* owner) : TCustomControl(owner) {
    HandleMessage(CM_MOUSEENTER, [this](TMessage& message, const TMessageHandler& inherited) {
        inherited(message);
        if (OnMouseEnter) OnMouseEnter(this);
    });
    HandleMessage(CM_MOUSELEAVE, [this](TMessage& message, const TMessageHandler& inherited) {
        inherited(message);
        if (OnMouseLeave) OnMouseLeave(this);
    });
}

TIEView::~TIEView() {
    // Each listener hears of the end once, in registration order.
    while (!listeners_.empty()) {
        TBitmapChangeEvent event = std::move(listeners_.front().Event);
        listeners_.erase(listeners_.begin());
        if (event) event(true);
    }
}

int32_t TIEView::RegisterBitmapChangeEvent(TBitmapChangeEvent event) {
    const int32_t handle = nextListener_++;
    listeners_.push_back({handle, std::move(event)});
    return handle;
}

void TIEView::RemoveBitmapChangeEvent(int32_t handle) {
    if (handle < 0) return;
    auto at = std::find_if(listeners_.begin(), listeners_.end(),
                           [handle](const TListener& l) { return l.Handle == handle; });
    if (at != listeners_.end()) listeners_.erase(at);
}

void TIEView::CallBitmapChangeEvents() {
    // Listeners registered during the walk wait for the next change.
    const size_t count = listeners_.size();
    for (size_t i = 0; i < count && i < listeners_.size(); ++i) {
        TBitmapChangeEvent event = listeners_[i].Event;
        if (event) event(false);
    }
}

TIEBitmap* TIEView::GetAlphaChannel() { throw EAbstractError("Abstract error"); }
bool TIEView::GetHasAlphaChannel() { throw EAbstractError("Abstract error"); }
void TIEView::RemoveAlphaChannel(bool) { throw EAbstractError("Abstract error"); }
void TIEView::LockPaint() { throw EAbstractError("Abstract error"); }
void TIEView::UnlockPaint() { throw EAbstractError("Abstract error"); }
void TIEView::UnlockPaintNoUpdate() { throw EAbstractError("Abstract error"); }

void TIEView::SetBorderStyle(TBorderStyle style) {
    if (style == borderStyle_) return;
    borderStyle_ = style;
    RecreateWnd();
}

void TIEView::SetCtl3D(bool value) {
    if (value == ctl3D_) return;
    ctl3D_ = value;
    RecreateWnd();
}

void TIEView::SetDpiX(int32_t value) {
    if (value != 0) dpiX_ = value;
}

void TIEView::SetDpiY(int32_t value) {
    if (value != 0) dpiY_ = value;
}

void TIEView::SetDPI(int32_t dpiX, int32_t dpiY) {
    SetDpiX(dpiX);
    SetDpiY(dpiY);
}

void TIEView::CreateParams(TCreateParams& params) {
    TCustomControl::CreateParams(params);
    if (borderStyle_ == bsSingle) {
        if (ctl3D_)
            params.ExStyle |= WS_EX_CLIENTEDGE;
        else
            params.Style |= WS_BORDER;
    }
    // Resizing repaints only what the view itself decides.
    params.ClassStyle &= ~(CS_HREDRAW | CS_VREDRAW);
}

// ================================================================ TIELayer

TIELayer::TIELayer(TVidurErView* owner, bool useGivenBitmap, TIEBitmap* bitmap) : owner_(owner) {
    for (auto& byte : ID) byte = static_cast<uint8_t>(DefaultRandom().Next(256));
    ID[6] = static_cast<uint8_t>((ID[6] & 0x0F) | 0x40);  // a random (version 4) identifier
    ID[8] = static_cast<uint8_t>((ID[8] & 0x3F) | 0x80);
    if (useGivenBitmap) {
        ownedBitmap_.reset(bitmap);
    } else {
        ownedBitmap_ = std::make_unique<TIEBitmap>();
        if (bitmap) {
            ownedBitmap_->SetLocation(bitmap->GetLocation());
            ownedBitmap_->Allocate(bitmap->GetWidth(), bitmap->GetHeight(), bitmap->GetPixelFormat());
        }
    }
    bitmap_ = ownedBitmap_.get();
    ResetProperties();
}

TIELayer::~TIELayer() = default;

void TIELayer::ResetProperties() {
    const bool first = owner_ && owner_->GetLayersCount() > 0 && owner_->GetLayer(0) == this;
    Width = Height = 0;
    MaskCache.reset();
    Visible = true;
    ShowBox = !first;
    Transparency = 255;
    PosX = PosY = 0;
    ClientRect = {};
    Cropped = false;
    Locked = first;
    Selectable = true;
    Magnify = false;
    MagnifyRate = 2.0;
    MagnifyShape = 0;
    MagnifySource = 1;
    Operation = 0;
    userData_.clear();
    IsMask = false;
    DrawRect = SrcRect = {};
    for (auto& corner : Corners) corner = {};
    ShadeOutside = false;
    RotateCenterX = RotateCenterY = 0.5;
    SetRotate(0);
}

void TIELayer::Assign(TIELayer& source) {
    Width = source.Width;
    Height = source.Height;
    bitmap_->Assign(*source.bitmap_);
    Visible = source.Visible;
    ShowBox = source.ShowBox;
    Selectable = source.Selectable;
    Transparency = source.Transparency;
    PosX = source.PosX;
    PosY = source.PosY;
    ClientRect = source.ClientRect;
    Cropped = source.Cropped;
    Locked = source.Locked;
    Magnify = source.Magnify;
    MagnifyRate = source.MagnifyRate;
    MagnifyShape = source.MagnifyShape;
    MagnifySource = source.MagnifySource;
    Operation = source.Operation;
    ResampleFilter = source.ResampleFilter;
    UseResampleFilter = source.UseResampleFilter;
    Name = source.Name;
    IsMask = source.IsMask;
    ShadeOutside = source.ShadeOutside;
}

void TIELayer::SetUserData(std::vector<uint8_t> data) { userData_ = std::move(data); }

void TIELayer::SetRotate(double angle) {
    if (angle == std::trunc(angle) && std::fmod(angle, 360.0) == 0)
        rotate_ = 0;
    else
        rotate_ = angle;
}

int32_t TIELayer::GetWidth() const { return Width != 0 ? Width : bitmap_->GetWidth(); }
int32_t TIELayer::GetHeight() const { return Height != 0 ? Height : bitmap_->GetHeight(); }

int32_t TIELayer::ViewToLayerX(int32_t x) const {
    const int32_t w = GetWidth();
    if (w == 0) return 0;
    const int32_t b = owner_->ViewToBitmapX(x - Trunc32(PosX * owner_->ZoomX() / 100));
    return Trunc32(static_cast<double>(b) / w * bitmap_->GetWidth());
}

int32_t TIELayer::ViewToLayerY(int32_t y) const {
    const int32_t h = GetHeight();
    if (h == 0) return 0;
    const int32_t b = owner_->ViewToBitmapY(y - Trunc32(PosY * owner_->ZoomY() / 100));
    return Trunc32(static_cast<double>(b) / h * bitmap_->GetHeight());
}

int32_t TIELayer::LayerToViewX(int32_t x) const {
    const int32_t bw = std::max(bitmap_->GetWidth(), 1);
    return owner_->BitmapToViewX(Trunc32(static_cast<double>(x) / bw * GetWidth())) +
           Trunc32(PosX * owner_->ZoomX() / 100);
}

int32_t TIELayer::LayerToViewY(int32_t y) const {
    const int32_t bh = std::max(bitmap_->GetHeight(), 1);
    return owner_->BitmapToViewY(Trunc32(static_cast<double>(y) / bh * GetHeight())) +
           Trunc32(PosY * owner_->ZoomY() / 100);
}

namespace {
void WriteRect(TStream& s, const TRect& r) {
    IEWriteI32(s, r.Left);
    IEWriteI32(s, r.Top);
    IEWriteI32(s, r.Right);
    IEWriteI32(s, r.Bottom);
}
TRect ReadRect(TStream& s) {
    TRect r;
    r.Left = IEReadI32(s);
    r.Top = IEReadI32(s);
    r.Right = IEReadI32(s);
    r.Bottom = IEReadI32(s);
    return r;
}
}  // namespace

void TIELayer::SaveToStream(TStream& stream, bool saveBitmap) {
    const int64_t start = stream.GetPosition();
    IEWriteI32(stream, 0);
    stream.WriteBuffer(ID, 16);
    IEWriteI32(stream, Width);
    IEWriteI32(stream, Height);
    IEWriteU8(stream, Visible);
    IEWriteU8(stream, ShowBox);
    IEWriteU8(stream, Selectable);
    IEWriteI32(stream, Transparency);
    IEWriteI32(stream, PosX);
    IEWriteI32(stream, PosY);
    WriteRect(stream, ClientRect);
    IEWriteU8(stream, Cropped);
    IEWriteU8(stream, Locked);
    uint8_t magnifier[24] = {};
    magnifier[0] = Magnify;
    std::memcpy(magnifier + 8, &MagnifyRate, 8);
    magnifier[16] = MagnifyShape;
    magnifier[17] = MagnifySource;
    stream.WriteBuffer(magnifier, 24);
    IEWriteU8(stream, Operation);
    // Where the original kept the user data's address; the block itself is
    // not part of the record.
    IEWriteI32(stream, userData_.empty() ? 0 : 1);
    IEWriteU8(stream, static_cast<uint8_t>(ResampleFilter));
    IEWriteU8(stream, UseResampleFilter);
    IEWriteStrToStream(stream, Name);
    IEWriteU8(stream, IsMask);
    IEWriteU8(stream, ShadeOutside);
    IEWriteF64(stream, rotate_);
    IEWriteF64(stream, RotateCenterX);
    IEWriteF64(stream, RotateCenterY);
    IEWriteU8(stream, saveBitmap);
    if (saveBitmap) IESaveRawBitmap(*bitmap_, stream);
    const int64_t end = stream.GetPosition();
    stream.SetPosition(start);
    IEWriteI32(stream, static_cast<int32_t>(end - start));
    stream.SetPosition(end);
}

void TIELayer::LoadFromStream(TStream& stream) {
    IEReadI32(stream);  // the record size
    stream.ReadBuffer(ID, 16);
    Width = IEReadI32(stream);
    Height = IEReadI32(stream);
    Visible = IEReadU8(stream) != 0;
    ShowBox = IEReadU8(stream) != 0;
    Selectable = IEReadU8(stream) != 0;
    Transparency = IEReadI32(stream);
    PosX = IEReadI32(stream);
    PosY = IEReadI32(stream);
    ClientRect = ReadRect(stream);
    Cropped = IEReadU8(stream) != 0;
    Locked = IEReadU8(stream) != 0;
    uint8_t magnifier[24];
    stream.ReadBuffer(magnifier, 24);
    Magnify = magnifier[0] != 0;
    std::memcpy(&MagnifyRate, magnifier + 8, 8);
    MagnifyShape = magnifier[16];
    MagnifySource = magnifier[17];
    Operation = IEReadU8(stream);
    IEReadI32(stream);
    ResampleFilter = static_cast<TResampleFilter>(IEReadU8(stream));
    UseResampleFilter = IEReadU8(stream) != 0;
    IEReadStrFromStream(stream, Name);
    IsMask = IEReadU8(stream) != 0;
    ShadeOutside = IEReadU8(stream) != 0;
    rotate_ = IEReadF64(stream);
    RotateCenterX = IEReadF64(stream);
    RotateCenterY = IEReadF64(stream);
    if (IEReadU8(stream) != 0 && !IELoadRawBitmap(*bitmap_, stream))
        throw EReadError("The layer record holds no raw bitmap");
}

// ================================================================ TVidurErView: construction

TVidurErView::TVidurErView(TComponent* owner) : TIEView(owner) {
    ++updateLock_;
    auto bitmap = std::make_unique<TIEBitmap>();
    bitmap->SetLocation(ieTBitmap);
    bitmap->Allocate(0, 0, ie24RGB);
    currentBitmap_ = bitmap.get();
    imageWidth_ = currentBitmap_->GetWidth();
    imageHeight_ = currentBitmap_->GetHeight();
    layers_.push_back(std::make_unique<TIELayer>(this, true, bitmap.release()));
    layers_[0]->ShowBox = false;
    layers_[0]->Locked = true;
    currentLayer_ = 0;
    hasOwner_ = owner != nullptr;
    IELoadViewCursors();
    SetCursor(crIEDefault);
    mask_ = std::make_unique<TIEMask>();
    mask_->AllocateBits(0, 0, MaskBitsPerPixel);
    InstallMessageHandlers();
    SetBounds(Left(), Top(), 105, 105);
    SetDPI(300, 300);
    backBuffer_ = std::make_unique<TIEBitmap>(10, 10, ie24RGB);
    transition_ = std::make_unique<TIETransitionEffects>(this);
    HandleMessage(WM_SIZE, [this](TMessage& message, const TMessageHandler& inherited) {
        inherited(message);
        if (transition_->Running()) StopTransitionAndUpdate();
        else if (!inUpdate_) Update();
    });
    HandleMessage(WM_HSCROLL, [this](TMessage& message, const TMessageHandler& inherited) {
        inherited(message);
        ScrollMessage(message, true);
    });
    HandleMessage(WM_VSCROLL, [this](TMessage& message, const TMessageHandler& inherited) {
        inherited(message);
        ScrollMessage(message, false);
    });
    UnlockUpdate();
}

TVidurErView::~TVidurErView() {
    transition_.reset();
    SetOverview(nullptr);
    SyncLayers();
    // The components go before the layers they work on.
    proc_.reset();
    io_.reset();
    DestroyHandle();
}

// ================================================================ the image

TBitmap* TVidurErView::GetBitmap() {
    if (!legacyBitmap_ || currentBitmap_->GetLocation() != ieTBitmap) return nullptr;
    return currentBitmap_->GetTBitmap();
}

void TVidurErView::RemoveAlphaChannel(bool merge) { currentBitmap_->RemoveAlphaChannel(merge, ColorToRGB(Background())); }

void TVidurErView::SetLegacyBitmap(bool value) {
    if (value == legacyBitmap_) return;
    if (!value) {
        currentBitmap_->SetLocation(ieFile);
    } else {
        currentBitmap_->SetLocation(ieTBitmap);
    }
    legacyBitmap_ = value;
    CallBitmapChangeEvents();
    Update();
}

void TVidurErView::SetExternalIEBitmap(TIEBitmap* bitmap) {
    if (currentLayer_ < 0) return;
    TIELayer& layer = *layers_[static_cast<size_t>(currentLayer_)];
    if (!bitmap) {
        layer.ownedBitmap_ = std::make_unique<TIEBitmap>();
        layer.bitmap_ = layer.ownedBitmap_.get();
        layer.ownsBitmap_ = true;
        currentBitmap_ = layer.bitmap_;
        return;
    }
    layer.ownedBitmap_.reset();
    layer.bitmap_ = bitmap;
    layer.ownsBitmap_ = false;
    currentBitmap_ = bitmap;
    CallBitmapChangeEvents();
    Update();
}

bool TVidurErView::IsImageEmpty() { return currentBitmap_->GetWidth() < 2 && currentBitmap_->GetHeight() < 2; }

void TVidurErView::Blank() {
    currentBitmap_->Fill(static_cast<double>(ColorToRGB(Background())));
    currentBitmap_->RemoveAlphaChannel(false, 0);
    Update();
}

void TVidurErView::Clear() {
    if (transition_->Running()) transition_->Stop();
    currentBitmap_->SetWidth(1);
    currentBitmap_->SetHeight(1);
    Blank();
}

void TVidurErView::Assign(TVidurErView* source) {
    if (!source) {
        Blank();
        return;
    }
    currentBitmap_->Assign(*source->GetIEBitmap());
    TIEView::SetBackground(source->Background());
    SetDPI(source->DpiX(), source->DpiY());
    Update();
    ImageChange();
}

void TVidurErView::Assign(const TBitmap& source) {
    currentBitmap_->CopyFromTBitmap(source);
    if (currentBitmap_->GetPixelFormat() != ie1g && currentBitmap_->GetPixelFormat() != ie24RGB)
        currentBitmap_->SetPixelFormat(ie24RGB);
    Update();
    ImageChange();
}

void TVidurErView::SetBackground(TColor color) {
    TIEView::SetBackground(color);
    Update();
    ImageChange();
}

void TVidurErView::ImageChange() {
    if (OnImageChange) OnImageChange(this);
}

// ================================================================ components

TIEViewIO* TVidurErView::GetVidurErIO() {
    if (!io_) {
        if (!ViewIOMaker()) throw Exception("No image input/output component is available");
        io_ = ViewIOMaker()(*this);
        io_->AttachedView = this;
        io_->SetOnProgress(onProgress_);
        io_->SetOnFinishWork(onFinishWork_);
    }
    return io_.get();
}

TVidurErProc* TVidurErView::GetVidurErProc() {
    if (!proc_) {
        proc_ = std::make_unique<TVidurErProc>(this);
        proc_->SetAttachedVidurEr(this);
        proc_->OnProgress = onProgress_;
        if (onFinishWork_) proc_->OnFinishWork = [this](TVidurErProc&) { if (onFinishWork_) onFinishWork_(); };
    }
    return proc_.get();
}

void TVidurErView::SetOnProgress(TIEProgressEvent event) {
    onProgress_ = std::move(event);
    if (io_) io_->SetOnProgress(onProgress_);
    if (proc_) proc_->OnProgress = onProgress_;
}

void TVidurErView::SetOnFinishWork(std::function<void()> event) {
    onFinishWork_ = std::move(event);
    if (io_) io_->SetOnFinishWork(onFinishWork_);
    if (proc_) {
        proc_->OnFinishWork = nullptr;
        if (onFinishWork_) proc_->OnFinishWork = [this](TVidurErProc&) { if (onFinishWork_) onFinishWork_(); };
    }
}

// ================================================================ locks and settings

void TVidurErView::UnlockPaint() {
    if (paintLock_ > 0) --paintLock_;
    if (paintLock_ == 0) Update();
}

void TVidurErView::UnlockPaintNoUpdate() {
    if (paintLock_ > 0) --paintLock_;
}

void TVidurErView::UnlockUpdate() {
    if (updateLock_ > 0) --updateLock_;
    if (updateLock_ == 0) Update();
}

void TVidurErView::SetCenter(bool value) {
    if (value == center_) return;
    center_ = value;
    Update();
}

void TVidurErView::SetZoomFilter(TResampleFilter filter) {
    if (filter == zoomFilter_) return;
    zoomFilter_ = filter;
    Update();
}

void TVidurErView::SetBackgroundStyle(TIEBackgroundStyle style) {
    Invalidate();
    backgroundStyle_ = style;
    Update();
}

void TVidurErView::SetEnableAlphaChannel(bool value) {
    enableAlphaChannel_ = value;
    Update();
}

void TVidurErView::SetScrollBars(TScrollStyle value) {
    scrollBars_ = value;
    if (HandleAllocated()) {
        if (value != ssVertical && value != ssBoth) {
            ShowScrollBar(SB_VERT, false);
            vScrollBarShown_ = false;
        }
        if (value != ssHorizontal && value != ssBoth) {
            ShowScrollBar(SB_HORZ, false);
            hScrollBarShown_ = false;
        }
    }
    Update();
}

void TVidurErView::SetBounds(int32_t left, int32_t top, int32_t width, int32_t height) {
    TIEView::SetBounds(left, top, width, height);
    if (HasState(csLoading | csReading | csDesigning)) {
        currentBitmap_->Allocate(width, height, currentBitmap_->GetPixelFormat());
        Blank();
    }
}

void TVidurErView::ViewChange(int32_t change) {
    if (OnViewChange) OnViewChange(*this, change);
    UpdateOverview();
}

void TVidurErView::DoLayerNotify(int32_t layer, TIELayerEvent event) {
    if (OnLayerNotify) OnLayerNotify(*this, layer, event);
}

// ================================================================ layout

int32_t TVidurErView::GetViewAreaWidth() {
    if (OffScreenDrawing) return Width();
    return HasParentWindow() ? ClientWidth() : 50;
}

int32_t TVidurErView::GetViewAreaHeight() {
    if (OffScreenDrawing) return Height();
    return HasParentWindow() ? ClientHeight() : 50;
}

bool TVidurErView::HasParentWindow() { return Parent() != nullptr && Parent()->HandleAllocated(); }

void TVidurErView::RecomputeFactors() {
    zoomFactorX_ = zoomX_ / 100;
    invZoomFactorX_ = 100 / zoomX_;
    zoomFactorY_ = zoomY_ / 100;
    invZoomFactorY_ = 100 / zoomY_;
}

void TVidurErView::Update() {
    if (updateLock_ > 0 || !HandleAllocated() || (ComponentState() & ~csFreeNotification) != 0) return;
    const bool outer = !inUpdate_;
    inUpdate_ = true;
    for (auto& layer : layers_) layer->MaskCache.reset();
    SyncLayers();
    backBufferDirty_ = true;
    fullRepaint_ = true;
    if (mask_ && (mask_->Width() != currentBitmap_->GetWidth() || mask_->Height() != currentBitmap_->GetHeight())) {
        // The selection follows the bitmap's size.
        if (mask_->IsEmpty())
            mask_->AllocateBits(currentBitmap_->GetWidth(), currentBitmap_->GetHeight(), MaskBitsPerPixel);
        else
            mask_->Resize(currentBitmap_->GetWidth(), currentBitmap_->GetHeight());
    }

    if ((AutoFit || AutoStretch || AutoShrink) && imageWidth_ != 0 && imageHeight_ != 0) {
        int32_t mx, my;
        switch (backgroundStyle_) {
            case iebsCropped: mx = Metric(SM_CXEDGE), my = Metric(SM_CYEDGE); break;
            case iebsCropShadow: mx = my = 5; break;
            case iebsSoftShadow: mx = my = 9; break;
            default:
                mx = (Width() - GetViewAreaWidth()) / 2;
                my = (Height() - GetViewAreaHeight()) / 2;
        }
        double zoom = 100;
        if (imageWidth_ >= 2 || imageHeight_ >= 2)
            zoom = GetFitZoom(imageWidth_, imageHeight_, AutoShrink || AutoFit, AutoStretch || AutoFit,
                              GetViewAreaWidth() - 2 * mx, GetViewAreaHeight() - 2 * my);
        zoomX_ = zoomY_ = std::max(zoom, 1.0);
        RecomputeFactors();
        UpdateViewRect();
        UpdateZoomTables();
        ViewChange(1);
        DelayZoomFilterCountdown = DelaySelectionCountdown = 0;
    }

    if (currentBitmap_->GetWidth() != lastImageWidth_ || currentBitmap_->GetHeight() != lastImageHeight_) {
        lastImageWidth_ = currentBitmap_->GetWidth();
        lastImageHeight_ = currentBitmap_->GetHeight();
        if (currentBitmap_->GetHasAlphaChannel()) {
            TIEBitmap* alpha = currentBitmap_->GetAlphaChannel();
            if (alpha->GetWidth() != lastImageWidth_ || alpha->GetHeight() != lastImageHeight_) {
                alpha->Allocate(lastImageWidth_, lastImageHeight_, ie8g);
                alpha->Fill(255);
            }
        }
    }

    if (HasParentWindow()) {
        const int32_t areaWidth = GetViewAreaWidth(), areaHeight = GetViewAreaHeight();
        int32_t maxX, maxY;
        GetMaxViewXY(maxX, maxY);
        bool lowered = false;
        if (viewX_ > maxX) viewX_ = maxX, lowered = true;
        if (viewY_ > maxY) viewY_ = maxY, lowered = true;
        if (lowered) ViewChange(0);
        try {
            if (scrollBars_ == ssHorizontal || scrollBars_ == ssBoth) {
                if (maxX < 1) {
                    if (KeepScrollBarsDisabled) {
                        EnableScrollBar(SB_HORZ, ESB_DISABLE_BOTH);
                        ShowScrollBar(SB_HORZ, true);
                    } else if (hScrollBarShown_) {
                        ShowScrollBar(SB_HORZ, false);
                        hScrollBarShown_ = false;
                    }
                } else {
                    hScrollBarShown_ = true;
                    hScrollRatio_ = (areaWidth + maxX) / 65536.0;
                    SetScrollInfo(SB_HORZ, 0, 65535, Trunc32(areaWidth / hScrollRatio_), Trunc32(viewX_ / hScrollRatio_));
                    EnableScrollBar(SB_HORZ, ESB_ENABLE_BOTH);
                    ShowScrollBar(SB_HORZ, true);
                }
            }
            if (scrollBars_ == ssVertical || scrollBars_ == ssBoth) {
                if (maxY < 1) {
                    if (KeepScrollBarsDisabled) {
                        EnableScrollBar(SB_VERT, ESB_DISABLE_BOTH);
                        ShowScrollBar(SB_VERT, true);
                    } else if (vScrollBarShown_) {
                        ShowScrollBar(SB_VERT, false);
                        vScrollBarShown_ = false;
                    }
                } else {
                    vScrollBarShown_ = true;
                    vScrollRatio_ = (areaHeight + maxY) / 65536.0;
                    SetScrollInfo(SB_VERT, 0, 65535, Trunc32(areaHeight / vScrollRatio_), Trunc32(viewY_ / vScrollRatio_));
                    EnableScrollBar(SB_VERT, ESB_ENABLE_BOTH);
                    ShowScrollBar(SB_VERT, true);
                }
            }
        } catch (const std::exception&) {
            // A bar that cannot be set leaves the layout as it is.
        }
        if ((GetViewAreaWidth() != areaWidth || GetViewAreaHeight() != areaHeight) && !nestedUpdate_) {
            nestedUpdate_ = true;
            Update();
            nestedUpdate_ = false;
        }
    }

    UpdateExtents();
    if (HasParentWindow() && !SuppressUpdateInvalidate && InvalidateOnUpdate) Invalidate();
    if (overview_) {
        overview_->Update();
        UpdateOverview();
    }
    if (outer) inUpdate_ = false;
}

double TVidurErView::GetFitZoom(int32_t width, int32_t height, bool shrink, bool stretch, int32_t availWidth,
                                int32_t availHeight) {
    if (width == 0 || height == 0 || availWidth == 0 || availHeight == 0) return 100;
    const bool wider = static_cast<double>(width) / availWidth > static_cast<double>(height) / availHeight;
    const bool larger = wider ? width > availWidth : height > availHeight;
    if (larger) return shrink ? GetOptimalZoom() : 100;
    return stretch ? GetOptimalZoom() : 100;
}

double TVidurErView::GetOptimalZoom() {
    int32_t fx, fy;
    switch (backgroundStyle_) {
        case iebsCropped: fx = Metric(SM_CXEDGE), fy = Metric(SM_CYEDGE); break;
        case iebsCropShadow: fx = fy = 5; break;
        case iebsSoftShadow: fx = fy = 9; break;
        default:
            if (BorderStyle() == bsNone)
                fx = fy = 0;
            else if (Ctl3D())
                fx = Metric(SM_CXEDGE), fy = Metric(SM_CYEDGE);
            else
                fx = Metric(SM_CXBORDER), fy = Metric(SM_CYBORDER);
    }
    if (imageWidth_ == 0 || imageHeight_ == 0) return 100;
    const double fitX = (Width() - 2.0 * fx) / (imageWidth_ / 100.0);
    const double fitY = (Height() - 2.0 * fy) / (imageHeight_ / 100.0);
    return std::min(fitX, fitY);
}

void TVidurErView::Fit() {
    if (imageWidth_ == 0 || imageHeight_ == 0) return;
    if (hScrollBarShown_ && HandleAllocated()) {
        ShowScrollBar(SB_HORZ, false);
        hScrollBarShown_ = false;
    }
    if (vScrollBarShown_ && HandleAllocated()) {
        ShowScrollBar(SB_VERT, false);
        vScrollBarShown_ = false;
    }
    SetZoom(GetOptimalZoom());
}

void TVidurErView::GetMaxViewXY(int32_t& maxX, int32_t& maxY) {
    const int32_t areaWidth = GetViewAreaWidth(), areaHeight = GetViewAreaHeight();
    int32_t ex = Trunc32(imageWidth_ * zoomFactorX_), ey = Trunc32(imageHeight_ * zoomFactorY_);
    if (zoomX_ != zoomY_) {
        if (ex > areaWidth + 10) ex = Trunc32((imageWidth_ + 1) * zoomFactorX_);
        if (ey > areaHeight + 10) ey = Trunc32((imageHeight_ + 1) * zoomFactorY_);
    } else if ((ex > areaWidth + 10 || ey > areaHeight + 10) && scrollBars_ != ssNone) {
        // A scrolled image shows one pixel more, so that its last column can
        // come fully into view.
        ex = Trunc32((imageWidth_ + 1) * zoomFactorX_);
        ey = Trunc32((imageHeight_ + 1) * zoomFactorY_);
    }
    maxX = maxY = 0;
    if (ex < 1 || ey < 1) return;
    maxX = ex - areaWidth;
    if (maxX < 0 || ViewToBitmapX(maxX) == 0) maxX = 0;
    maxY = ey - areaHeight;
    if (maxY < 0 || ViewToBitmapY(maxY) == 0) maxY = 0;
    if (zoomX_ != zoomY_) {
        if (ex <= Width()) maxX = 0;
        if (ey <= Height()) maxY = 0;
    } else if (ex <= Width() && ey <= Height()) {
        maxX = maxY = 0;
    }
}

void TVidurErView::UpdateExtents() {
    extentX_ = Round32(imageWidth_ * zoomFactorX_);
    extentY_ = Round32(imageHeight_ * zoomFactorY_);
    offsetX_ = offsetY_ = 0;
    if (HasState(csDesigning)) {
        visibleWidth_ = std::min(extentX_, Width());
        visibleHeight_ = std::min(extentY_, Height());
        return;
    }
    const int32_t areaWidth = GetViewAreaWidth(), areaHeight = GetViewAreaHeight();
    visibleWidth_ = std::min(extentX_, areaWidth);
    visibleHeight_ = std::min(extentY_, areaHeight);
    if (center_) {
        if (visibleWidth_ < areaWidth) offsetX_ = (areaWidth - visibleWidth_) / 2;
        if (visibleHeight_ < areaHeight) offsetY_ = (areaHeight - visibleHeight_) / 2;
    }
}

void TVidurErView::UpdateViewRect() {
    srcX_ = srcY_ = srcWidth_ = srcHeight_ = 0;
    if (extentX_ != 0) {
        const double ratio = static_cast<double>(imageWidth_) / extentX_;
        srcX_ = Round32(AlignViewX(viewX_) * ratio);
        srcWidth_ = Round32(ratio * visibleWidth_);
        if (srcX_ + srcWidth_ > imageWidth_) --srcWidth_;
    }
    if (extentY_ != 0) {
        const double ratio = static_cast<double>(imageHeight_) / extentY_;
        srcY_ = Round32(AlignViewY(viewY_) * ratio);
        srcHeight_ = Round32(ratio * visibleHeight_);
        if (srcY_ + srcHeight_ > imageHeight_) --srcHeight_;
    }
    if (zoomX_ > 100) {
        dstWidth_ = Trunc32(srcWidth_ * zoomFactorX_);
        if (dstWidth_ < visibleWidth_ && srcX_ + srcWidth_ + 1 <= imageWidth_) {
            ++srcWidth_;
            dstWidth_ = Trunc32(srcWidth_ * zoomFactorX_);
        }
    } else {
        dstWidth_ = visibleWidth_;
    }
    if (zoomY_ > 100) {
        dstHeight_ = Trunc32(srcHeight_ * zoomFactorY_);
        if (dstHeight_ < visibleHeight_ && srcY_ + srcHeight_ + 1 <= imageHeight_) {
            ++srcHeight_;
            dstHeight_ = Trunc32(srcHeight_ * zoomFactorY_);
        }
    } else {
        dstHeight_ = visibleHeight_;
    }
}

int32_t TVidurErView::AlignViewX(int32_t v) {
    if (v < 0) v = 0;
    const auto& t = tablesX_;
    if (v < extentX_ && static_cast<size_t>(v) < t.ZoomedToBitmap.size()) {
        const int32_t b = t.ZoomedToBitmap[static_cast<size_t>(v)];
        if (static_cast<size_t>(b) < t.BitmapToZoomed.size()) return t.BitmapToZoomed[static_cast<size_t>(b)];
    }
    return v;
}

int32_t TVidurErView::AlignViewY(int32_t v) {
    if (v < 0) v = 0;
    const auto& t = tablesY_;
    if (v < extentY_ && static_cast<size_t>(v) < t.ZoomedToBitmap.size()) {
        const int32_t b = t.ZoomedToBitmap[static_cast<size_t>(v)];
        if (static_cast<size_t>(b) < t.BitmapToZoomed.size()) return t.BitmapToZoomed[static_cast<size_t>(b)];
    }
    return v;
}

namespace {
// One axis of the zoom tables: walking downwards leaves, in each table, the
// smallest source value that maps to each entry.
void BuildAxis(std::vector<int32_t>& zoomedToBitmap, std::vector<int32_t>& bitmapToZoomed, double zoom,
               double factor, double inverse, int32_t extent, int32_t dst, int32_t imageSize) {
    const int32_t j = extent + dst;
    const int32_t k = static_cast<int32_t>(Trunc((j + 1) * inverse));
    zoomedToBitmap.assign(static_cast<size_t>(j) + 2, 0);
    bitmapToZoomed.assign(static_cast<size_t>(k) + 2, 0);
    const int32_t last = std::max(imageSize - 1, 0);
    if (zoom > 100) {
        for (int32_t z = j; z >= 0; --z) {
            const int32_t b = static_cast<int32_t>(Trunc(z * inverse));
            bitmapToZoomed[static_cast<size_t>(b)] = z;
            zoomedToBitmap[static_cast<size_t>(z)] = std::min(b, last);
        }
    } else {
        for (int32_t b = k; b >= 0; --b) {
            const int32_t z = static_cast<int32_t>(Trunc(b * factor));
            bitmapToZoomed[static_cast<size_t>(b)] = z;
            if (static_cast<size_t>(z) < zoomedToBitmap.size()) zoomedToBitmap[static_cast<size_t>(z)] = std::min(b, last);
        }
    }
}
}  // namespace

void TVidurErView::UpdateZoomTables() {
    if (!(zoomX_ == tableZoomX_ && zoomY_ == tableZoomY_ && dstWidth_ == tableDstWidth_ &&
          dstHeight_ == tableDstHeight_ && imageWidth_ == tableImageWidth_ && imageHeight_ == tableImageHeight_)) {
        tablesX_ = {};
        tablesY_ = {};
        if (dstWidth_ == 0 || dstHeight_ == 0 || currentBitmap_->GetWidth() == 0 || currentBitmap_->GetHeight() == 0)
            return;
        tablesX_.ViewCount = dstWidth_;
        tablesY_.ViewCount = dstHeight_;
        tablesX_.BitmapCount = Trunc32(dstWidth_ * invZoomFactorX_);
        tablesY_.BitmapCount = Trunc32(dstHeight_ * invZoomFactorY_);
        BuildAxis(tablesX_.ZoomedToBitmap, tablesX_.BitmapToZoomed, zoomX_, zoomFactorX_, invZoomFactorX_, extentX_,
                  dstWidth_, imageWidth_);
        BuildAxis(tablesY_.ZoomedToBitmap, tablesY_.BitmapToZoomed, zoomY_, zoomFactorY_, invZoomFactorY_, extentY_,
                  dstHeight_, imageHeight_);
        tableZoomX_ = zoomX_;
        tableZoomY_ = zoomY_;
        tableDstWidth_ = dstWidth_;
        tableDstHeight_ = dstHeight_;
        tableImageWidth_ = imageWidth_;
        tableImageHeight_ = imageHeight_;
    }
    if (tablesX_.ViewCount > 0) {
        const int32_t a = AlignViewX(viewX_), b = AlignViewY(viewY_);
        tablesX_.ViewOrigin = a;
        tablesY_.ViewOrigin = b;
        tablesX_.BitmapOrigin = std::max(0, ZoomedToBitmap(tablesX_, a) - srcX_);
        tablesY_.BitmapOrigin = std::max(0, ZoomedToBitmap(tablesY_, b) - srcY_);
    }
}

int32_t TVidurErView::ZoomedToBitmap(const TZoomTables& t, int32_t z) const {
    if (z < 0 || static_cast<size_t>(z) >= t.ZoomedToBitmap.size()) return 0;
    return t.ZoomedToBitmap[static_cast<size_t>(z)];
}

// ================================================================ conversions

int32_t TVidurErView::ViewToBitmapX(int32_t x) {
    const int32_t d = x - offsetX_;
    const auto& t = tablesX_;
    if (d >= 0 && d < t.ViewCount && static_cast<size_t>(t.ViewOrigin + d) < t.ZoomedToBitmap.size())
        return t.ZoomedToBitmap[static_cast<size_t>(t.ViewOrigin + d)];
    return Trunc32(d * invZoomFactorX_ + srcX_);
}

int32_t TVidurErView::ViewToBitmapY(int32_t y) {
    const int32_t d = y - offsetY_;
    const auto& t = tablesY_;
    if (d >= 0 && d < t.ViewCount && static_cast<size_t>(t.ViewOrigin + d) < t.ZoomedToBitmap.size())
        return t.ZoomedToBitmap[static_cast<size_t>(t.ViewOrigin + d)];
    return Trunc32(d * invZoomFactorY_ + srcY_);
}

int32_t TVidurErView::BitmapToViewX(int32_t x) {
    const int32_t d = x - srcX_;
    const auto& t = tablesX_;
    if (d >= 0 && d < t.BitmapCount && static_cast<size_t>(t.BitmapOrigin + d) < t.BitmapToZoomed.size())
        return t.BitmapToZoomed[static_cast<size_t>(t.BitmapOrigin + d)] + offsetX_;
    const int32_t c = Round32(-AlignViewX(viewX_) * invZoomFactorX_) + x;
    return Round32(c * zoomFactorX_ + offsetX_);
}

int32_t TVidurErView::BitmapToViewY(int32_t y) {
    const int32_t d = y - srcY_;
    const auto& t = tablesY_;
    if (d >= 0 && d < t.BitmapCount && static_cast<size_t>(t.BitmapOrigin + d) < t.BitmapToZoomed.size())
        return t.BitmapToZoomed[static_cast<size_t>(t.BitmapOrigin + d)] + offsetY_;
    const int32_t c = Round32(-AlignViewY(viewY_) * invZoomFactorY_) + y;
    return Round32(c * zoomFactorY_ + offsetY_);
}

// ================================================================ zoom

void TVidurErView::SetZoomValue(double zoom) {
    const int32_t hw = GetViewAreaWidth() / 2, hh = GetViewAreaHeight() / 2;
    const int32_t cx = Round32((hw + viewX_ - offsetX_) * invZoomFactorX_);
    const int32_t cy = Round32((hh + viewY_ - offsetY_) * invZoomFactorY_);
    const int32_t nx = Trunc32(cx * zoom / 100 - hw), ny = Trunc32(cy * zoom / 100 - hh);
    int32_t maxX, maxY;
    GetMaxViewXY(maxX, maxY);
    viewX_ = nx > maxX ? maxX : std::max(nx, 0);
    viewY_ = ny > maxY ? maxY : std::max(ny, 0);
    zoomX_ = zoomY_ = zoom;
    RecomputeFactors();
}

void TVidurErView::SetZoomXValue(double zoom) {
    const int32_t hw = GetViewAreaWidth() / 2;
    const int32_t cx = Round32((hw + viewX_ - offsetX_) * invZoomFactorX_);
    const int32_t nx = Trunc32(cx * zoom / 100 - hw);
    int32_t maxX, maxY;
    GetMaxViewXY(maxX, maxY);
    viewX_ = nx > maxX ? maxX : std::max(nx, 0);
    zoomX_ = zoom;
    RecomputeFactors();
}

void TVidurErView::SetZoomYValue(double zoom) {
    const int32_t hh = GetViewAreaHeight() / 2;
    const int32_t cy = Round32((hh + viewY_ - offsetY_) * invZoomFactorY_);
    const int32_t ny = Trunc32(cy * zoom / 100 - hh);
    int32_t maxX, maxY;
    GetMaxViewXY(maxX, maxY);
    viewY_ = ny > maxY ? maxY : std::max(ny, 0);
    zoomY_ = zoom;
    RecomputeFactors();
}

void TVidurErView::StartFilterCountdown(bool zoomNot100) {
    if (DelayZoomFilter && zoomFilter_ != rfNone && zoomNot100) DelayZoomFilterCountdown = DelayZoomFilterTicks;
    DelaySelectionCountdown = DelaySelectionTicks;
}

void TVidurErView::ZoomSequence(const std::function<void()>& setValue) {
    LockPaint();
    setValue();
    Update();
    Update();
    UpdateViewRect();
    UpdateZoomTables();
    UnlockPaintNoUpdate();
    Paint();
    ViewChange(1);
}

void TVidurErView::SetZoom(double zoom) {
    if (zoom <= 0 || (zoom == zoomX_ && zoom == zoomY_)) return;
    StartFilterCountdown(zoomX_ != 100 || zoomY_ != 100);
    ZoomSequence([&] { SetZoomValue(zoom); });
}

void TVidurErView::SetZoomX(double zoom) {
    if (zoom <= 0 || zoom == zoomX_) return;
    StartFilterCountdown(zoomX_ != 100);
    ZoomSequence([&] { SetZoomXValue(zoom); });
}

void TVidurErView::SetZoomY(double zoom) {
    if (zoom <= 0 || zoom == zoomY_) return;
    StartFilterCountdown(zoomY_ != 100);
    ZoomSequence([&] { SetZoomYValue(zoom); });
}

void TVidurErView::ZoomAt(int32_t x, int32_t y, double zoom, bool center) {
    LockPaint();
    const int32_t bx = ViewToBitmapX(x), by = ViewToBitmapY(y);
    SetZoom(zoom);
    const double f = zoomX_ / 100;
    int32_t nx, ny;
    if (center) {
        nx = Trunc32(bx * f - GetViewAreaWidth() / 2);
        ny = Trunc32(by * f - GetViewAreaHeight() / 2);
    } else {
        nx = Trunc32(bx * f - x + f);
        ny = Trunc32(by * f - y + f);
    }
    SetViewXY(nx, ny);
    UnlockPaint();
    UpdateViewRect();
    UpdateZoomTables();
    ViewChange(1);
}

// ================================================================ scrolling

void TVidurErView::SetViewXY(int32_t x, int32_t y) {
    if (x == viewX_ && y == viewY_) return;
    int32_t maxX, maxY;
    GetMaxViewXY(maxX, maxY);
    const int32_t nx = x > maxX ? maxX : std::max(x, 0);
    const int32_t ny = y > maxY ? maxY : std::max(y, 0);
    if (nx == viewX_ && ny == viewY_) return;
    const bool movedX = nx != viewX_, movedY = ny != viewY_;
    viewX_ = nx;
    viewY_ = ny;
    StartFilterCountdown(zoomX_ != 100 || zoomY_ != 100);
    backBufferDirty_ = true;
    fullRepaint_ = true;
    Paint();
    ViewChange(0);
    if (HandleAllocated()) {
        if (movedX && (scrollBars_ == ssHorizontal || scrollBars_ == ssBoth))
            SetScrollPos(SB_HORZ, Trunc32(viewX_ / hScrollRatio_));
        if (movedY && (scrollBars_ == ssVertical || scrollBars_ == ssBoth))
            SetScrollPos(SB_VERT, Trunc32(viewY_ / vScrollRatio_));
    }
}

void TVidurErView::SetViewX(int32_t x) { SetViewXY(x, viewY_); }
void TVidurErView::SetViewY(int32_t y) { SetViewXY(viewX_, y); }

bool TVidurErView::IsScrollable() {
    int32_t maxX, maxY;
    GetMaxViewXY(maxX, maxY);
    return maxX > 0 || maxY > 0;
}

void TVidurErView::ScrollAction(bool horizontal, int32_t code, int32_t position) {
    const TScrollBarParams& params = horizontal ? HorizScrollBarParams : VertScrollBarParams;
    const int32_t pixel = std::max(Trunc32(horizontal ? zoomFactorX_ : zoomFactorY_), 1);
    const int32_t line = params.LineStep == -1 ? pixel : pixel * params.LineStep;
    const int32_t page =
        params.PageStep == -1 ? (horizontal ? GetViewAreaWidth() : GetViewAreaHeight()) : pixel * params.PageStep;
    const int32_t current = horizontal ? viewX_ : viewY_;
    int32_t target;
    switch (code) {
        case 0: target = position; break;
        case 1: {
            int32_t maxX, maxY;
            GetMaxViewXY(maxX, maxY);
            target = horizontal ? maxX : maxY;
            break;
        }
        case 3: target = current + line; break;
        case 4: target = current - line; break;
        case 5: target = current + page; break;
        case 6: target = current - page; break;
        default: target = 0;
    }
    if (horizontal)
        SetViewX(target);
    else
        SetViewY(target);
}

void TVidurErView::HScrollAction(int32_t code, int32_t position) { ScrollAction(true, code, position); }
void TVidurErView::VScrollAction(int32_t code, int32_t position) { ScrollAction(false, code, position); }

void TVidurErView::ScrollMessage(TMessage& message, bool horizontal) {
    const TScrollBarParams& params = horizontal ? HorizScrollBarParams : VertScrollBarParams;
    const double ratio = horizontal ? hScrollRatio_ : vScrollRatio_;
    const int code = LoWord(message.WParam);
    const int thumb = HiWord(message.WParam);
    auto act = [&](int32_t action, int32_t position) { ScrollAction(horizontal, action, position); };
    switch (code) {
        case SB_LINEUP: act(4, 0); break;
        case SB_LINEDOWN: act(3, 0); break;
        case SB_PAGEUP: act(6, 0); break;
        case SB_PAGEDOWN: act(5, 0); break;
        case SB_TOP: act(2, 0); break;
        case SB_BOTTOM: act(1, 0); break;
        case SB_THUMBTRACK:
            if (!params.Tracking) break;
            [[fallthrough]];
        case SB_THUMBPOSITION: act(0, Round32(thumb * ratio)); break;
        default: act(0, horizontal ? viewX_ : viewY_);
    }
}

