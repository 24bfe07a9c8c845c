// Mouse and keyboard on the image view (zoom, scroll, the selection tools,
// moving, resizing and rotating layers), its private messages, cursors and
// the overview link.
#include <algorithm>
#include <cmath>
#include <sstream>

#include "imaging/core/ie_geometry.h"
#include "imaging/core/ie_mask.h"
#include "imaging/core/ie_proc.h"
#include "imaging/core/ie_view.h"
#include "imaging/core/ie_view_services.h"
#include "platform/mathutil.h"

namespace {
int32_t Trunc32(double x) { return static_cast<int32_t>(Trunc(x)); }
int32_t Round32(double x) { return static_cast<int32_t>(RoundHalfEven(x)); }

TShiftState ShiftOf(intptr_t keys) {
    TShiftState shift = 0;
    if (keys & MK_SHIFT) shift |= ssShift;
    if (keys & MK_CONTROL) shift |= ssCtrl;
    return shift;
}

constexpr TIEMouseInteract kSelectModes = IEMI(miSelect) | IEMI(miSelectPolygon) | IEMI(miSelectCircle) |
                                          IEMI(miSelectMagicWand) | IEMI(miSelectLasso);
constexpr TIEMouseInteract kLayerModes = IEMI(miMoveLayers) | IEMI(miResizeLayers) | IEMI(miRotateLayers);

TCursor GripCursor(TIEGrip grip) {
    switch (grip) {
        case ieTopLeft:
        case ieBottomRight: return crIEGripDiag1;
        case ieTopRight:
        case ieBottomLeft: return crIEGripDiag2;
        case ieLeftSide:
        case ieRightSide: return crIEGripHorz;
        case ieTopSide:
        case ieBottomSide: return crIEGripVert;
        default: return 0;
    }
}
}  // namespace

// ---------------------------------------------------------------- cursors

void IELoadViewCursors() {
    // The platform draws its own shapes (IEViewCursorShape); the ids stay
    // the ones the view and its users name.
}

TCursor IEViewCursorShape(TCursor id) {
    switch (id) {
        case crIEHand: return crHandPoint;
        case crIEGripDiag1: return crSizeNWSE;
        case crIEGripVert: return crSizeNS;
        case crIEGripDiag2: return crSizeNESW;
        case crIEGripHorz: return crSizeWE;
        case crIEMove: return crSizeAll;
        default: break;
    }
    if (id >= 1778 && id <= 1814) return crCross;
    return id;
}

void TVidurErView::SetCursor(TCursor cursor) {
    baseCursor_ = cursor;
    TWinControl::SetCursor(cursor);
    if (NativeWindow()) NativeWindow()->SetCursor(IEViewCursorShape(cursor));
}

void TVidurErView::SetTempCursor(TCursor cursor) {
    if (!hasOwner_) return;
    TWinControl::SetCursor(cursor);
    if (NativeWindow()) NativeWindow()->SetCursor(IEViewCursorShape(cursor));
}

void TVidurErView::RestoreCursor() { SetTempCursor(baseCursor_); }

// ---------------------------------------------------------------- messages

void TVidurErView::InstallMessageHandlers() {
    auto mouse = [this](uint32_t msg, auto action) {
        HandleMessage(msg, [this, action](TMessage& message, const TMessageHandler& inherited) {
            inherited(message);
            action(ShiftOf(message.WParam), LParamX(message.LParam), LParamY(message.LParam));
        });
    };
    mouse(WM_LBUTTONDOWN, [this](TShiftState s, int x, int y) { MouseDown(0, s, x, y); });
    mouse(WM_RBUTTONDOWN, [this](TShiftState s, int x, int y) { MouseDown(1, s, x, y); });
    mouse(WM_MBUTTONDOWN, [this](TShiftState s, int x, int y) { MouseDown(2, s, x, y); });
    mouse(WM_LBUTTONUP, [this](TShiftState s, int x, int y) { MouseUp(0, s, x, y); });
    mouse(WM_RBUTTONUP, [this](TShiftState s, int x, int y) { MouseUp(1, s, x, y); });
    mouse(WM_MBUTTONUP, [this](TShiftState s, int x, int y) { MouseUp(2, s, x, y); });
    mouse(WM_MOUSEMOVE, [this](TShiftState s, int x, int y) { MouseMove(s, x, y); });
    // A double click is a press too (its release follows), and it ends a
    // polygon: the point the press adds goes again.
    mouse(WM_LBUTTONDBLCLK, [this](TShiftState s, int x, int y) {
        MouseDown(0, s, x, y);
        EndPolygonSelection((s & ssShift) != 0);
    });
    HandleMessage(WM_MOUSEWHEEL, [this](TMessage& message, const TMessageHandler& inherited) {
        inherited(message);
        const intptr_t keys = LoWord(message.WParam);
        const auto delta = static_cast<int16_t>(HiWord(message.WParam));
        DoMouseWheel(delta, LParamX(message.LParam), LParamY(message.LParam), (keys & MK_CONTROL) != 0);
    });
    HandleMessage(WM_SETCURSOR, [this](TMessage& message, const TMessageHandler&) {
        if (NativeWindow()) NativeWindow()->SetCursor(IEViewCursorShape(Cursor()));
        message.Result = 1;
    });
    auto refocus = [this](TMessage& message, const TMessageHandler& inherited) {
        inherited(message);
        Invalidate();
    };
    HandleMessage(WM_SETFOCUS, refocus);
    HandleMessage(WM_KILLFOCUS, refocus);
    HandleMessage(WM_KEYDOWN, [this](TMessage& message, const TMessageHandler& inherited) {
        inherited(message);
        const auto shift = static_cast<TShiftState>(message.LParam);
        bool handled = false;
        if (OnSpecialKey) OnSpecialKey(*this, static_cast<uint16_t>(message.WParam), shift, handled);
        if (handled) message.Result = 1;
        if ((shift & ssShift || message.WParam == VK_SHIFT) && ShiftAddsSelection) {
            if (Cursor() == crIEDefault) SetTempCursor(crIEAdd);
            else if (Cursor() == crIECross2) SetTempCursor(crIECross2Add);
        }
    });
    HandleMessage(WM_KEYUP, [this](TMessage& message, const TMessageHandler& inherited) {
        inherited(message);
        if (message.WParam == VK_SHIFT && ShiftAddsSelection) RestoreCursor();
    });
    // What worker threads and the video object post.
    HandleMessage(IEM_UPDATE, [this](TMessage&, const TMessageHandler&) { Update(); });
    // A message from an object destroyed since it posted is ignored.
    HandleMessage(IEM_NEWFRAME, [this](TMessage& message, const TMessageHandler&) {
        auto* video = reinterpret_cast<TIEDirectShow*>(message.LParam);
        if (!IEDirectShowAlive(video) || !video->Connected()) return;
        if (OnDShowNewFrame) OnDShowNewFrame(*this);
        // The video drawn into the window shows its new frame.
        if (io_ && io_->HasDirectShow() && io_->GetDirectShow() == video && VideoOverlay() && GetCurrentLayer()) {
            const TRect& d = GetCurrentLayer()->DrawRect;
            InvalidateRect({d.Left, d.Top, d.Left + d.Right, d.Top + d.Bottom});
        }
    });
    HandleMessage(IEM_EVENT, [this](TMessage& message, const TMessageHandler&) {
        auto* video = reinterpret_cast<TIEDirectShow*>(message.LParam);
        if (IEDirectShowAlive(video) && video->Connected() && OnDShowEvent) OnDShowEvent(*this);
    });
    HandleMessage(IEM_PROGRESS, [this](TMessage& message, const TMessageHandler&) {
        if (GetOnProgress()) GetOnProgress()(this, static_cast<int32_t>(message.WParam));
    });
    HandleMessage(IEM_FINISHWORK, [this](TMessage&, const TMessageHandler&) {
        if (GetOnFinishWork()) GetOnFinishWork()();
    });
}

// ---------------------------------------------------------------- interaction modes

void TVidurErView::SetMouseInteract(TIEMouseInteract value) {
    if (value == mouseInteract_) return;
    if (polygonSelecting_ && (mouseInteract_ & IEMI(miSelectPolygon))) {
        TrimPolygonEnd();
        mask_->Empty();
        EndSelect();
        polygonSelecting_ = false;
        Invalidate();
    }
    const TIEMouseInteract added = value & ~mouseInteract_;
    auto keep = [&](TIEMouseInteract allowed) { return static_cast<TIEMouseInteract>(value & allowed); };
    if (added & IEMI(miScroll)) value = keep(IEMI(miZoom) | IEMI(miScroll));
    else if (added & IEMI(miSelect)) value = keep(IEMI(miZoom) | IEMI(miSelect));
    else if (added & IEMI(miSelectPolygon)) value = keep(IEMI(miSelectPolygon));
    else if (added & IEMI(miSelectCircle)) value = keep(IEMI(miZoom) | IEMI(miSelectCircle));
    else if (added & IEMI(miSelectLasso)) value = keep(IEMI(miZoom) | IEMI(miSelectLasso));
    else if (added & IEMI(miSelectZoom)) value = keep(IEMI(miZoom) | IEMI(miSelectZoom));
    else if (added & IEMI(miZoom))
        value = keep(IEMI(miZoom) | IEMI(miScroll) | IEMI(miSelect) | IEMI(miSelectCircle) | IEMI(miSelectZoom) |
                     IEMI(miSelectLasso));
    else if (added & IEMI(miSelectMagicWand)) value = keep(IEMI(miSelectMagicWand));
    else if (value & IEMI(miRotateLayers)) value = keep(IEMI(miMoveLayers) | IEMI(miRotateLayers));
    else if (value & IEMI(miMoveLayers)) {
        value = keep(kLayerModes);
        if (value & IEMI(miResizeLayers)) value &= static_cast<TIEMouseInteract>(~IEMI(miRotateLayers));
    } else if (value & IEMI(miResizeLayers))
        value = keep(IEMI(miMoveLayers) | IEMI(miResizeLayers));
    if (value & IEMI(miRotateLayers))
        CropLayersToContent(-1);
    else
        ApplyLayerRotations(-1);
    mouseInteract_ = value;
    backBufferDirty_ = true;
    Invalidate();
}

// ---------------------------------------------------------------- mouse

void TVidurErView::SwapSelectionBase() { std::swap(SelectionBase, savedSelectionBase_); }

void TVidurErView::ClampToLayer(int32_t& x, int32_t& y) {
    TIELayer* layer = GetCurrentLayer();
    if (!layer) return;
    const TRect& r = layer->ClientRect;
    x = std::clamp(x, r.Left, std::max(r.Left, r.Right + 1));
    y = std::clamp(y, r.Top, std::max(r.Top, r.Bottom + 1));
}

namespace {
// Forces client coordinates for a mouse handler and gives the caller's
// base back when it ends.
struct TMouseScope {
    TIESelectionBase& base;
    TIESelectionBase& saved;
    int32_t& depth;
    TMouseScope(TIESelectionBase& b, TIESelectionBase& s, int32_t& d) : base(b), saved(s), depth(d) {
        if (depth++ == 0) {
            saved = base;
            base = iesbClientArea;
        }
    }
    ~TMouseScope() {
        if (--depth == 0) base = saved;
    }
};
}  // namespace

void TVidurErView::MouseDown(int button, TShiftState shift, int32_t x, int32_t y) {
    if (button == 1 && (buttonsDown_ & 1)) return;
    buttonsDown_ |= 1 << button;
    if (NativeWindow()) NativeWindow()->SetCapture(true);
    savedZoomFilter_ = zoomFilter_;
    if (button != 0 && !(mouseInteract_ & IEMI(miZoom))) return;
    if (!(mouseInteract_ & IEMI(miScroll)) && DelayZoomFilter) zoomFilter_ = rfNone;
    TMouseScope scope(SelectionBase, savedSelectionBase_, mouseDepth_);
    dragStartClampedX_ = std::clamp(x, offsetX_, offsetX_ + visibleWidth_);
    dragStartClampedY_ = std::clamp(y, offsetY_, offsetY_ + visibleHeight_);
    const int32_t rawX = x, rawY = y;
    ClampToLayer(x, y);
    mouseDownX_ = prevMouseX_ = lastMouseX_ = x;
    mouseDownY_ = prevMouseY_ = lastMouseY_ = y;
    prevRawX_ = rawX;
    prevRawY_ = rawY;
    dragStartViewX_ = viewX_;
    dragStartViewY_ = viewY_;
    polygonCountAtMouseDown_ = static_cast<int32_t>(polygon_.Points.size());
    mouseMoved_ = false;
    if (button == 0) {
        const bool adding = (shift & ssShift) && ShiftAddsSelection;
        if (mouseInteract_ & (IEMI(miSelectPolygon) | IEMI(miSelectLasso))) {
            ApplyLayerRotations(-1);
            SelectionChanged(OnBeforeSelectionChange);
            selectionMoveHit_ = HitSelectionBody(x, y, shift);
            if (selectionMoveHit_ == -1) {
                if (((shift & ssAlt) || ConstrainSelection) && !polygon_.Points.empty() &&
                    polygon_.Points.back().X != TIEMask::kPolygonSeparator) {
                    const TPoint last = polygon_.Points.back();
                    IESnapTo45(last.X + offsetX_ - viewX_, last.Y + offsetY_ - viewY_, x, y);
                }
                if (!polygonSelecting_) {
                    if (adding) AddSelectionBreak();
                    else ClearSelection();
                }
                AddSelectionPoint(x, y);
                polygonSelecting_ = true;
                lassoSelecting_ = (mouseInteract_ & IEMI(miSelectLasso)) != 0;
                SelectionChanged(OnSelectionChanging);
            }
        } else if (mouseInteract_ & IEMI(miSelect)) {
            ApplyLayerRotations(-1);
            SelectionChanged(OnBeforeSelectionChange);
            selectionGrip_ = (shift & ssShift) ? ieNone : GetSelectionGripAt(rawX, rawY);
            if (selectionGrip_ == ieNone) selectionMoveHit_ = HitSelectionBody(x, y, shift);
            if (selectionGrip_ == ieNone && selectionMoveHit_ == -1) {
                rectSelecting_ = true;
                if (selectionAspectRatio_ == 0) DragRectSelection(x, y, shift);
                SelectionChanged(OnSelectionChanging);
            } else if (selectionGrip_ != ieNone) {
                gripStartBox_ = polygon_.Box;
            }
        } else if (mouseInteract_ & IEMI(miSelectZoom)) {
            rectSelecting_ = true;
            SelectionChanged(OnSelectionChanging);
            PushSelection();
        } else if (mouseInteract_ & IEMI(miSelectCircle)) {
            ApplyLayerRotations(-1);
            SelectionChanged(OnBeforeSelectionChange);
            selectionMoveHit_ = HitSelectionBody(x, y, shift);
            if (selectionMoveHit_ == -1) {
                circleSelecting_ = true;
                polygon_.Visible = true;
                if (selectionAspectRatio_ == 0) DragCircleSelection(x, y, shift);
                SelectionChanged(OnSelectionChanging);
            }
        } else if (mouseInteract_ & IEMI(miSelectMagicWand)) {
            ApplyLayerRotations(-1);
            SelectionChanged(OnBeforeSelectionChange);
            selectionMoveHit_ = HitSelectionBody(x, y, shift);
        } else if (mouseInteract_ & kLayerModes) {
            layerUndoSaved_ = false;
            layerGrip_ = (mouseInteract_ & IEMI(miResizeLayers)) ? GetLayerGripAt(rawX, rawY) : ieNone;
            if (layerGrip_ != ieNone) {
                ApplyLayerRotations(-1);
                gripStartRect_ = GetCurrentLayer()->ClientRect;
            } else if (mouseInteract_ & (IEMI(miMoveLayers) | IEMI(miRotateLayers))) {
                if ((mouseInteract_ & IEMI(miRotateLayers)) && GetLayerGripAt(rawX, rawY) == ieRotationCenter) {
                    rotationCentreLayer_ = currentLayer_;
                } else if ((mouseInteract_ & IEMI(miRotateLayers)) && currentLayer_ >= 0 &&
                           !IsPointInLayer(rawX, rawY, currentLayer_)) {
                    rotatingLayer_ = currentLayer_;
                } else {
                    movingLayer_ = FindLayerAt(rawX, rawY, true);
                    if (movingLayer_ >= 0) {
                        SetLayersCurrent(movingLayer_);
                        DoLayerNotify(currentLayer_, ielSelected);
                        if (!GetCurrentLayer()->Locked) SetTempCursor(crIEMove);
                    }
                }
            }
        }
        if ((mouseInteract_ & IEMI(miScroll)) && IsScrollable()) SetTempCursor(crIEHand);
    }
}

void TVidurErView::DragRectSelection(int32_t x, int32_t y, TShiftState shift) {
    const bool adding = (shift & ssShift) && ShiftAddsSelection && (mouseInteract_ & IEMI(miSelect));
    polygon_.Points.resize(adding ? static_cast<size_t>(polygonCountAtMouseDown_) : 0);
    const bool constrain = (shift & ssAlt) || ConstrainSelection;
    if (selectionAspectRatio_ == 0) {
        TIELayer* layer = GetCurrentLayer();
        const int32_t lx = layer->ViewToLayerX(x), ly = layer->ViewToLayerY(y);
        const TIESelectionBase base = SelectionBase;
        SelectionBase = iesbBitmap;
        SelectRect(lx, ly, lx + FixedSelectionWidth, ly + FixedSelectionHeight, adding ? 1 : 0, false, true);
        SelectionBase = base;
    } else {
        SelectRect(mouseDownX_, mouseDownY_, x, y, adding ? 1 : 0, constrain, false);
    }
    InvalidateViewRect({0, 0, ClientWidth(), ClientHeight()});
}

void TVidurErView::DragCircleSelection(int32_t x, int32_t y, TShiftState shift) {
    const bool adding = (shift & ssShift) && ShiftAddsSelection;
    polygon_.Points.resize(adding ? static_cast<size_t>(polygonCountAtMouseDown_) : 0);
    if (selectionAspectRatio_ == 0) {
        TIELayer* layer = GetCurrentLayer();
        const int32_t lx = layer->ViewToLayerX(x), ly = layer->ViewToLayerY(y);
        const TIESelectionBase base = SelectionBase;
        SelectionBase = iesbBitmap;
        SelectEllipse(lx, ly, lx + FixedSelectionWidth, ly + FixedSelectionHeight, adding ? 1 : 0);
        SelectionBase = base;
    } else {
        if ((shift & ssAlt) || ConstrainSelection) y = mouseDownY_ + (x - mouseDownX_);
        SelectEllipse(mouseDownX_, mouseDownY_, x, y, adding ? 1 : 0);
    }
    InvalidateViewRect({0, 0, ClientWidth(), ClientHeight()});
}

bool TVidurErView::AutoScrollLoop() {
    // One step a mouse event: the view scrolls by how far the mouse is
    // beyond the drawn image, so a held drag keeps scrolling as it moves.
    inAutoScroll_ = true;
    const TPoint origin = ClientOrigin();
    const TPoint cursor = Application().CursorPos();
    const int32_t cx = cursor.X - origin.X, cy = cursor.Y - origin.Y;
    int32_t dx = 0, dy = 0;
    if (cx < offsetX_) dx = cx - offsetX_;
    else if (cx > offsetX_ + visibleWidth_ - 1) dx = cx - (offsetX_ + visibleWidth_ - 1);
    if (cy < offsetY_) dy = cy - offsetY_;
    else if (cy > offsetY_ + visibleHeight_ - 1) dy = cy - (offsetY_ + visibleHeight_ - 1);
    bool scrolled = false;
    if (dx != 0 || dy != 0) {
        const int32_t oldX = viewX_, oldY = viewY_;
        SetViewXY(viewX_ + dx, viewY_ + dy);
        const int32_t mx = viewX_ - oldX, my = viewY_ - oldY;
        if (mx != 0 || my != 0) {
            mouseDownX_ -= mx;
            mouseDownY_ -= my;
            dragStartClampedX_ -= mx;
            dragStartClampedY_ -= my;
            MoveSelectionPoints(mx, my);
            scrolled = true;
        }
    }
    inAutoScroll_ = false;
    return scrolled;
}

void TVidurErView::MoveSelectionPoints(int32_t dx, int32_t dy) {
    lastMouseX_ -= dx, lastMouseY_ -= dy;
    prevMouseX_ -= dx, prevMouseY_ -= dy;
    prevRawX_ -= dx, prevRawY_ -= dy;
}

void TVidurErView::ResizeLayerByGrip(int32_t rawX, int32_t rawY, bool constrain) {
    TIELayer& layer = *GetCurrentLayer();
    int32_t f = ViewToBitmapX(rawX), g = ViewToBitmapY(rawY);
    const int32_t h = ViewToBitmapX(prevRawX_), l = ViewToBitmapY(prevRawY_);
    const int32_t w = layer.GetWidth(), ht = layer.GetHeight();
    const double s = static_cast<double>(layer.GetBitmap()->GetHeight()) / std::max(layer.GetBitmap()->GetWidth(), 1);
    const int32_t l0 = gripStartRect_.Left, t0 = gripStartRect_.Top, r0 = gripStartRect_.Right, b0 = gripStartRect_.Bottom;
    TIEGrip grip = layerGrip_;
    if (constrain) {
        switch (grip) {
            case ieTopRight: g = ViewToBitmapY(Trunc32(s * (r0 - rawX)) + t0); break;
            case ieBottomLeft:
            case ieLeftSide:
                g = ViewToBitmapY(Trunc32(s * (l0 - rawX)) + b0);
                grip = ieBottomLeft;
                break;
            case ieTopLeft:
            case ieBottomRight:
            case ieRightSide:
                g = ViewToBitmapY(Trunc32(s * (rawX - l0)) + t0);
                if (grip == ieRightSide) grip = ieBottomRight;
                break;
            case ieTopSide:
            case ieBottomSide:
                f = ViewToBitmapX(Trunc32((rawY - t0) / s) + l0);
                grip = grip == ieTopSide ? ieTopLeft : ieBottomRight;
                break;
            default: break;
        }
    }
    auto width = [&](int32_t v) { layer.Width = std::max(v, 1); };
    auto height = [&](int32_t v) { layer.Height = std::max(v, 1); };
    switch (grip) {
        case ieTopLeft:
            width(layer.PosX + w - f), height(layer.PosY + ht - g);
            if (layer.Width > 1) layer.PosX = f;
            if (layer.Height > 1) layer.PosY = g;
            break;
        case ieTopRight:
            width(f - layer.PosX), height(layer.PosY + ht - g);
            if (layer.Height > 1) layer.PosY = g;
            break;
        case ieBottomRight: width(f - ViewToBitmapX(l0)), height(g - ViewToBitmapY(t0)); break;
        case ieBottomLeft:
            width(layer.PosX + w - f), height(g - ViewToBitmapY(t0));
            if (layer.Width > 1) layer.PosX = f;
            break;
        case ieLeftSide:
            width(w + h - f);
            if (layer.Width > 1) layer.PosX += f - h;
            break;
        case ieRightSide: width(f - ViewToBitmapX(l0)); break;
        case ieTopSide:
            height(layer.PosY + ht - g);
            if (layer.Height > 1) layer.PosY = g;
            break;
        case ieBottomSide: height(ht + g - l); break;
        default: break;
    }
}

void TVidurErView::UpdateMouseCursor(TShiftState shift, int32_t x, int32_t y, int32_t rawX, int32_t rawY) {
    if (mouseInteract_ & kSelectModes) {
        const TIEGrip grip = (shift & ssShift) ? ieNone : GetSelectionGripAt(rawX, rawY);
        if (OnMouseInResizingGrip) OnMouseInResizingGrip(*this, grip);
        if (grip == ieNone) {
            if (HitSelectionBody(x, y, shift) < 0) {
                if ((shift & ssShift) && ShiftAddsSelection) {
                    if (baseCursor_ == crIEDefault) SetTempCursor(crIEAdd);
                    else if (baseCursor_ == crIECross2) SetTempCursor(crIECross2Add);
                } else {
                    RestoreCursor();
                }
            } else {
                SetTempCursor(crIEMove);
            }
        } else {
            SetTempCursor(GripCursor(grip));
        }
    } else if (mouseInteract_ & IEMI(miRotateLayers)) {
        TIELayer* layer = GetCurrentLayer();
        if (!layer) return;
        if (IsPointInLayer(rawX, rawY, currentLayer_)) {
            RestoreCursor();
            return;
        }
        const int32_t cx = layer->LayerToViewX(Trunc32(layer->GetBitmap()->GetWidth() * layer->RotateCenterX));
        const int32_t cy = layer->LayerToViewY(Trunc32(layer->GetBitmap()->GetHeight() * layer->RotateCenterY));
        if (rawX == cx || rawY == cy) return;
        if (rawX < cx) SetTempCursor(rawY < cy ? crIERotate4 : crIERotate1);
        else SetTempCursor(rawY < cy ? crIERotate2 : crIERotate3);
    } else if (mouseInteract_ & (IEMI(miResizeLayers) | IEMI(miMoveLayers))) {
        TIELayer* layer = GetCurrentLayer();
        const TIEGrip grip = (mouseInteract_ & IEMI(miResizeLayers)) && layer && !layer->Locked
                                 ? GetLayerGripAt(rawX, rawY)
                                 : ieNone;
        if (grip == ieRotationCenter) return;
        if (grip != ieNone) {
            SetTempCursor(GripCursor(grip));
            return;
        }
        const int32_t found = (mouseInteract_ & IEMI(miMoveLayers)) ? FindLayerAt(rawX, rawY, true) : -1;
        if (found >= 0 && !GetLayer(found)->Locked) SetTempCursor(crIEMove);
        else RestoreCursor();
    }
}

void TVidurErView::MouseMove(TShiftState shift, int32_t x, int32_t y) {
    TMouseScope scope(SelectionBase, savedSelectionBase_, mouseDepth_);
    const int32_t rawX = x, rawY = y;
    ClampToLayer(x, y);
    TIELayer* layer = GetCurrentLayer();
    if (IsCaptured() && (buttonsDown_ & 1)) {
        if (rawX != prevRawX_ || rawY != prevRawY_) mouseMoved_ = true;
        if (mouseInteract_ & IEMI(miScroll)) {
            SetViewXY(dragStartViewX_ - Trunc32((rawX - mouseDownX_) * MouseScrollRatio),
                      dragStartViewY_ - Trunc32((rawY - mouseDownY_) * MouseScrollRatio));
        } else if (selectionGrip_ != ieNone) {
            AutoScrollLoop();
            selectionGrip_ = MoveSelectionGrip(selectionGrip_, x, y,
                                               (shift & ssAlt) || ConstrainSelection || selectionAspectRatio_ > 0);
            InvalidateViewRect({0, 0, ClientWidth(), ClientHeight()});
            SelectionChanged(OnSelectionChanging);
        } else if (selectionMoveHit_ != 0) {
            if (rectSelecting_) {
                DragRectSelection(x, y, shift);
                SelectionChanged(OnSelectionChanging);
            } else if (polygonSelecting_) {
                AutoScrollLoop();
                AddSelectionPoint(x, y);
                InvalidateViewRect({0, 0, ClientWidth(), ClientHeight()});
                SelectionChanged(OnSelectionChanging);
            } else if (circleSelecting_) {
                DragCircleSelection(x, y, shift);
                SelectionChanged(OnSelectionChanging);
            } else if (movingLayer_ >= 0 && layer && !layer->Locked) {
                if (LayerUndo && !layerUndoSaved_) {
                    GetVidurErProc()->SaveUndo(ieuLayer);
                    layerUndoSaved_ = true;
                }
                AutoScrollLoop();
                layer->PosX += ViewToBitmapX(rawX) - ViewToBitmapX(prevRawX_);
                layer->PosY += ViewToBitmapY(rawY) - ViewToBitmapY(prevRawY_);
                HintText = "X=" + std::to_string(layer->PosX) + " Y=" + std::to_string(layer->PosY);
                HintSample = "X=000 Y=000";
                HintX = rawX, HintY = rawY;
                Update();
                DoLayerNotify(currentLayer_, ielMoving);
            } else if (rotationCentreLayer_ >= 0 && layer) {
                layer->RotateCenterX = static_cast<double>(layer->ViewToLayerX(rawX)) / std::max(layer->GetBitmap()->GetWidth(), 1);
                layer->RotateCenterY = static_cast<double>(layer->ViewToLayerY(rawY)) / std::max(layer->GetBitmap()->GetHeight(), 1);
                HintText = "X=" + std::to_string(Trunc32(layer->GetWidth() * layer->RotateCenterX)) +
                           " Y=" + std::to_string(Trunc32(layer->GetHeight() * layer->RotateCenterY));
                HintSample = "X=000 Y=000";
                HintX = rawX, HintY = rawY;
                Update();
            } else if (rotatingLayer_ >= 0 && layer && !layer->Locked) {
                if (LayerUndo && !layerUndoSaved_) {
                    GetVidurErProc()->SaveUndo(ieuFullLayer);
                    layerUndoSaved_ = true;
                }
                double dx = (ViewToBitmapX(rawX) - ViewToBitmapX(prevRawX_)) / 4.0;
                double dy = (ViewToBitmapY(rawY) - ViewToBitmapY(prevRawY_)) / 4.0;
                const int32_t cx = layer->LayerToViewX(Trunc32(layer->GetBitmap()->GetWidth() * layer->RotateCenterX));
                const int32_t cy = layer->LayerToViewY(Trunc32(layer->GetBitmap()->GetHeight() * layer->RotateCenterY));
                if (rawX > cx) dy = -dy;
                if (rawY < cy) dx = -dx;
                layer->SetRotate(layer->GetRotate() + dx + dy);
                std::ostringstream angle;
                angle << layer->GetRotate() << "\u00B0";
                HintText = angle.str();
                HintSample = "0000\u00B0";
                HintX = rawX, HintY = rawY;
                Update();
                DoLayerNotify(currentLayer_, ielRotating);
            } else if (layerGrip_ != ieNone && layer && !layer->Locked) {
                if (LayerUndo && !layerUndoSaved_) {
                    GetVidurErProc()->SaveUndo(ieuLayer);
                    layerUndoSaved_ = true;
                }
                AutoScrollLoop();
                ResizeLayerByGrip(rawX, rawY, (shift & ssAlt) || ConstrainSelection);
                HintText = std::to_string(layer->GetWidth()) + " x " + std::to_string(layer->GetHeight());
                HintSample = "0000 x 0000";
                HintX = rawX, HintY = rawY;
                Update();
                DoLayerNotify(currentLayer_, ielResizing);
            }
        } else {
            if (selectionOptions_ & IESO(iesoCanScroll)) AutoScrollLoop();
            selectionMoveHit_ = MoveSelection(selectionMoveHit_, layer->ViewToLayerX(x) - layer->ViewToLayerX(prevMouseX_),
                                              layer->ViewToLayerY(y) - layer->ViewToLayerY(prevMouseY_),
                                              (selectionOptions_ & IESO(iesoCutBorders)) != 0);
            InvalidateViewRect({0, 0, ClientWidth(), ClientHeight()});
            SelectionChanged(OnSelectionChanging);
        }
    } else if (!IsCaptured()) {
        if (!(polygonSelecting_ && !lassoSelecting_)) UpdateMouseCursor(shift, x, y, rawX, rawY);
        if (polygonSelecting_ && !lassoSelecting_) {
            if (((shift & ssAlt) || ConstrainSelection) && !polygon_.Points.empty() &&
                polygon_.Points.back().X != TIEMask::kPolygonSeparator)
                IESnapTo45(polygon_.Points.back().X + offsetX_ - viewX_, polygon_.Points.back().Y + offsetY_ - viewY_,
                           x, y);
            lastMouseX_ = x, lastMouseY_ = y;
            InvalidateRect({0, 0, ClientWidth(), ClientHeight()});
            SelectionChanged(OnSelectionChanging);
        }
    }
    if (layer && mask_ && mask_->IsPointInside(layer->ViewToLayerX(x), layer->ViewToLayerY(y)))
        SelectionChanged(OnMouseInSel);
    lastMouseX_ = prevMouseX_ = x;
    lastMouseY_ = prevMouseY_ = y;
    prevRawX_ = rawX;
    prevRawY_ = rawY;
}

void TVidurErView::MouseUp(int button, TShiftState shift, int32_t x, int32_t y) {
    const int downBefore = buttonsDown_;
    buttonsDown_ &= ~(1 << button);
    if (!buttonsDown_ && NativeWindow()) NativeWindow()->SetCapture(false);
    if (!(downBefore & (1 << button))) return;
    HintText.clear();
    TMouseScope scope(SelectionBase, savedSelectionBase_, mouseDepth_);
    const int32_t rawX = x, rawY = y;
    ClampToLayer(x, y);
    const bool adding = (shift & ssShift) && ShiftAddsSelection;
    const bool click = rawX == prevRawX_ && rawY == prevRawY_ && !mouseMoved_;
    bool changed = false;
    if ((mouseInteract_ & IEMI(miZoom)) && click && x == mouseDownX_ && y == mouseDownY_ && !IsImageEmpty()) {
        double zoom = ZoomX();
        if (button == 0) {
            if (mouseInteract_ & IEMI(miScroll)) RestoreCursor();
            if (zoom >= 100) {
                zoom += 100;
            } else {
                for (double step : {2.0, 5.0, 10.0, 25.0, 33.0, 50.0, 75.0, 100.0})
                    if (step > zoom) {
                        zoom = step;
                        break;
                    }
            }
            if (OnZoomIn) OnZoomIn(*this, zoom);
        } else if (button == 1) {
            if (zoom >= 200) {
                zoom -= 100;
            } else {
                double below = 2;
                for (double step : {100.0, 75.0, 50.0, 33.0, 25.0, 10.0, 5.0, 2.0})
                    if (step < zoom) {
                        below = step;
                        break;
                    }
                zoom = below;
            }
            if (OnZoomOut) OnZoomOut(*this, zoom);
        }
        if (button != 2 && (zoom != ZoomX() || zoom != ZoomY())) ZoomAt(x, y, zoom, false);
        if (!(mouseInteract_ & IEMI(miSelectPolygon))) polygonSelecting_ = false;
        rectSelecting_ = circleSelecting_ = false;
    } else if (button == 0 && (mouseInteract_ & IEMI(miScroll)) && IsScrollable()) {
        SetViewXY(dragStartViewX_ - Trunc32((rawX - mouseDownX_) * MouseScrollRatio),
                  dragStartViewY_ - Trunc32((rawY - mouseDownY_) * MouseScrollRatio));
        RestoreCursor();
    } else if (button == 0 && (mouseInteract_ & IEMI(miSelectZoom))) {
        ZoomSelection(ZoomSelectionKeepsAspect, true);
        rectSelecting_ = false;
        PopSelection(true, 1);
    } else if (button == 0 && (mouseInteract_ & IEMI(miSelect))) {
        if (mouseMoved_ || selectionGrip_ != ieNone || selectionMoveHit_ == 0) {
            if (rectSelecting_ || selectionGrip_ != ieNone) {
                if (!adding) mask_->Empty();
                EndSelect();
            }
            rectSelecting_ = false;
            Update();
        } else {
            rectSelecting_ = false;
            ClearSelection();
        }
        changed = true;
    } else if (button == 0 && (mouseInteract_ & IEMI(miSelectCircle))) {
        if (click && selectionMoveHit_ != 0 && selectionAspectRatio_ != 0) {
            circleSelecting_ = false;
            ClearSelection();
        } else if (circleSelecting_) {
            if (!adding) mask_->Empty();
            EndSelect();
            circleSelecting_ = false;
            Update();
        }
        changed = true;
    } else if (button == 0 && (mouseInteract_ & IEMI(miSelectPolygon))) {
        if (selectionMoveHit_ == 0) changed = true;
        Update();
    } else if (button == 0 && (mouseInteract_ & IEMI(miSelectMagicWand))) {
        if (selectionMoveHit_ != 0) {
            SetTempCursor(crHourGlass);
            SelectMagicWand(x, y, adding);
            RestoreCursor();
        }
        changed = true;
        Update();
    } else if (button == 0 && (mouseInteract_ & IEMI(miSelectLasso))) {
        if (click && polygon_.Points.size() <= static_cast<size_t>(polygonCountAtMouseDown_) + 1) {
            polygonSelecting_ = lassoSelecting_ = false;
            ClearSelection();
        } else {
            if (!adding) mask_->Empty();
            EndSelect();
            lassoSelecting_ = polygonSelecting_ = false;
            Update();
        }
        changed = true;
    }
    if (button == 0) {
        if (selectionMoveHit_ == 0 && IsRectPolygon()) {
            mask_->Empty();
            EndSelect();
        }
        TIELayer* layer = GetCurrentLayer();
        if (movingLayer_ >= 0 && layer && !layer->Locked && mouseMoved_) {
            RestoreCursor();
            DoLayerNotify(currentLayer_, ielMoved);
            backBufferDirty_ = true;
            Invalidate();
        } else if (movingLayer_ >= 0) {
            RestoreCursor();
        }
        if (rotatingLayer_ >= 0 && mouseMoved_) {
            DoLayerNotify(currentLayer_, ielRotated);
            backBufferDirty_ = true;
            Invalidate();
        }
        if (layerGrip_ != ieNone && mouseMoved_) {
            DoLayerNotify(currentLayer_, ielResized);
            Update();
        }
        rectSelecting_ = circleSelecting_ = false;
        selectionGrip_ = ieNone;
        selectionMoveHit_ = -1;
        movingLayer_ = rotatingLayer_ = rotationCentreLayer_ = -1;
        layerGrip_ = ieNone;
        if (changed) SelectionChanged(OnSelectionChange);
    }
    zoomFilter_ = savedZoomFilter_;
}

bool TVidurErView::IsRectPolygon() const {
    return IEIsRectPolygon(polygon_.Points.data(), static_cast<int32_t>(polygon_.Points.size()));
}

void TVidurErView::EndPolygonSelection(bool shift) {
    if (!polygonSelecting_ || lassoSelecting_) return;
    TrimPolygonEnd();
    if (!(shift && ShiftAddsSelection)) mask_->Empty();
    EndSelect();
    Update();
    polygonSelecting_ = false;
    SelectionChanged(OnSelectionChange);
}

void TVidurErView::DoMouseWheel(int32_t delta, int32_t x, int32_t y, bool ctrl) {
    const TMouseWheelParams& p = MouseWheelParams;
    if (p.Action == 0 || AutoFit) return;
    int32_t d = delta > 0 ? -1 : 1;
    if (p.InverseDirection) d = -d;
    if (p.Action == 1) {
        int32_t maxX, maxY;
        GetMaxViewXY(maxX, maxY);
        const bool horizontal = ctrl || (maxX > 0 && maxY == 0);
        int32_t step;
        if (p.Variation == 0)
            step = d * p.Value * std::max(Trunc32(horizontal ? ZoomX() / 100 : ZoomY() / 100), 1);
        else if (p.Variation == 1)
            step = d * std::max(Round32((horizontal ? GetViewAreaWidth() : GetViewAreaHeight()) * p.Value / 100.0), 1);
        else
            return;
        if (horizontal) SetViewX(viewX_ + step);
        else SetViewY(viewY_ + step);
    } else if (p.Action == 2) {
        double zoom = ZoomX();
        if (p.Variation == 0) zoom = ZoomX() + d * p.Value;
        else if (p.Variation == 1) zoom = ZoomX() + d * std::max(Round32(p.Value * ZoomX() / 100), 1);
        if (zoom > ZoomX() && OnZoomIn) OnZoomIn(*this, zoom);
        if (zoom < ZoomX() && OnZoomOut) OnZoomOut(*this, zoom);
        if (p.ZoomPosition == 0) SetZoom(zoom);
        else ZoomAt(x, y, zoom, false);
    }
}

void TVidurErView::ZoomSelection(bool keepAspect, bool notify) {
    if (!hasSelection_) return;
    const int32_t left = SelX1(), top = SelY1();
    const int32_t selWidth = SelX2() - left + 1, selHeight = SelY2() - top + 1;
    if (left < 0 || top < 0 || selWidth < 2 || selHeight < 2) return;
    ClearSelection();
    const double zx = Width() / (selWidth / 100.0), zy = Height() / (selHeight / 100.0);
    double z = std::min(zx, zy);
    if (notify && OnZoomIn) OnZoomIn(*this, z);
    if (keepAspect) {
        SetZoom(z);
    } else {
        SetZoomX(zx);
        SetZoomY(zy);
    }
    SetViewXY(Trunc32(left * ZoomX() / 100) - (GetViewAreaWidth() - Trunc32(selWidth * ZoomX() / 100)) / 2,
              Trunc32(top * ZoomY() / 100) - (GetViewAreaHeight() - Trunc32(selHeight * ZoomY() / 100)) / 2);
}

// ---------------------------------------------------------------- overview

void TVidurErView::SetOverview(TVidurErView* view) {
    if (overview_) {
        overview_->OnSelectionChanging = nullptr;
        overview_->SetExternalIEBitmap(nullptr);
        overview_->RemoveFreeNotification(this);
    }
    overview_ = view;
    if (!view) return;
    view->SetEnableAlphaChannel(EnableAlphaChannel());
    view->AutoFit = true;
    view->SetMouseInteract(IEMI(miSelect));
    view->SelectionBase = iesbBitmap;
    view->SetSelectionOptions(IESO(iesoMoveable) | IESO(iesoCanScroll));
    view->SetExternalIEBitmap(GetIEBitmap());
    view->OnSelectionChanging = [this](TComponent*) {
        if (inOverviewSync_ || !overview_) return;
        inOverviewSync_ = true;
        SetViewXY(Round32(overview_->SelX1() * ZoomX() / 100), Round32(overview_->SelY1() * ZoomX() / 100));
        inOverviewSync_ = false;
    };
    view->FreeNotification(this);
    UpdateOverview();
}

void TVidurErView::UpdateOverview() {
    if (!overview_ || inOverviewSync_) return;
    inOverviewSync_ = true;
    UpdateViewRect();
    UpdateZoomTables();
    const int32_t x1 = ViewToBitmapX(offsetX_), y1 = ViewToBitmapY(offsetY_);
    const int32_t x2 = ViewToBitmapX(offsetX_ + visibleWidth_), y2 = ViewToBitmapY(offsetY_ + visibleHeight_);
    overview_->FixedSelectionWidth = x2 - x1;
    overview_->FixedSelectionHeight = y2 - y1;
    overview_->selectionAspectRatio_ = 0;
    const TIESelectionBase base = overview_->SelectionBase;
    overview_->SelectionBase = iesbBitmap;
    overview_->Select(x1, y1, x2, y2, 0);
    overview_->SelectionBase = base;
    inOverviewSync_ = false;
}

void TVidurErView::Notification(TComponent* component, TOperation operation) {
    TIEView::Notification(component, operation);
    if (operation == TOperation::opRemove && component == overview_) overview_ = nullptr;
}
