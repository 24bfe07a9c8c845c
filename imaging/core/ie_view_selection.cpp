// The image view's selection: the polygon that outlines it while it is made
// (and gives rectangles their grips), the mask built from it, the magic
// wand, moving and resizing, the selection stream of undo and layer
// switches, and the marching outline.
#include <algorithm>
#include <cmath>

#include "imaging/core/ie_geometry.h"
#include "imaging/core/ie_magic_wand.h"
#include "imaging/core/ie_mask.h"
#include "imaging/core/ie_streams.h"
#include "imaging/core/ie_view.h"
#include "platform/mathutil.h"

namespace {
int32_t Round32(double x) { return static_cast<int32_t>(RoundHalfEven(x)); }
constexpr int32_t kSeparator = TIEMask::kPolygonSeparator;

bool IsRectPolygon(const std::vector<TPoint>& p) {
    if (p.size() != 4) return false;
    // The closing edge and the three others alternate between vertical and
    // horizontal.
    auto vertical = [](const TPoint& a, const TPoint& b) { return a.X == b.X && a.Y != b.Y; };
    auto horizontal = [](const TPoint& a, const TPoint& b) { return a.Y == b.Y && a.X != b.X; };
    const bool firstVertical = vertical(p[3], p[0]);
    for (size_t i = 0; i < 4; ++i) {
        const TPoint& a = i == 0 ? p[3] : p[i - 1];
        const bool wantVertical = (i % 2 == 0) == firstVertical;
        if (wantVertical ? !vertical(a, p[i]) : !horizontal(a, p[i])) return false;
    }
    return true;
}
}  // namespace

bool IEIsRectPolygon(const TPoint* points, int32_t count) {
    return count == 4 && IsRectPolygon(std::vector<TPoint>(points, points + count));
}

void TVidurErView::TSelectionPolygon::Append(int32_t x, int32_t y) {
    if (Points.size() % 64 == 0) Points.reserve(Points.size() + 64);
    Points.push_back({x, y});
    if (x == kSeparator) return;
    // The second point sets the box from the first two; later ones widen it.
    int32_t real = 0;
    for (const TPoint& p : Points) real += p.X != kSeparator;
    if (real == 1) {
        Box = {x, y, x, y};
    } else {
        Box.Left = std::min(Box.Left, x);
        Box.Top = std::min(Box.Top, y);
        Box.Right = std::max(Box.Right, x);
        Box.Bottom = std::max(Box.Bottom, y);
    }
}

void TVidurErView::TSelectionPolygon::AppendBreak() {
    if (!Points.empty() && Points.back().X != kSeparator) Points.push_back({kSeparator, 0});
}

void TVidurErView::SelectionChanged(const TNotifyEvent& event) {
    if (!event) return;
    // A handler sees the application's base even while the mouse code
    // forces client coordinates.
    if (mouseDepth_ > 0) std::swap(SelectionBase, savedSelectionBase_);
    try {
        event(this);
    } catch (...) {
        if (mouseDepth_ > 0) std::swap(SelectionBase, savedSelectionBase_);
        throw;
    }
    if (mouseDepth_ > 0) std::swap(SelectionBase, savedSelectionBase_);
}

void TVidurErView::SetSelectionOptions(TIESelectionOptions options) {
    selectionOptions_ = options;
    polygon_.Animated = (options & IESO(iesoAnimated)) != 0;
    polygon_.Sizeable = (options & IESO(iesoSizeable)) != 0;
    SelectTransparentLayers = (options & IESO(iesoSelectTranspLayers)) != 0;
    Update();
}

void TVidurErView::SetSelectionAspectRatio(double ratio) {
    if (ratio == selectionAspectRatio_) return;
    selectionAspectRatio_ = ratio;
    SetSelectionOptions(ratio != 0 ? (selectionOptions_ | IESO(iesoSizeable))
                                   : static_cast<TIESelectionOptions>(selectionOptions_ & ~IESO(iesoSizeable)));
}

void TVidurErView::ShowSelection(bool redraw) {
    polygon_.Visible = true;
    if (redraw) InvalidateViewRect({0, 0, ClientWidth(), ClientHeight()});
}

void TVidurErView::HideSelection(bool repaint) {
    polygon_.Visible = false;
    if (repaint && PaintLockCount() == 0) InvalidateViewRect({0, 0, ClientWidth(), ClientHeight()});
}

void TVidurErView::Select(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t op) {
    if (op >= 2) {
        // Take the rectangle away from the selection, or keep only what it
        // holds: the rectangle's own mask against the selection's.
        if (x1 == x2 || y1 == y2 || !mask_) return;
        const TIEMask old = *mask_;
        const bool had = hasSelection_;
        SelectRect(x1, y1, x2, y2, 0, false, false);
        TIEMask kept;
        kept.AllocateBits(old.Width(), old.Height(), old.BitsPerPixel());
        kept.DrawPolygons(1, polygon_.Points.data(), static_cast<int32_t>(polygon_.Points.size()));
        *mask_ = old;
        hasSelection_ = had;
        TIEMask& mask = *mask_;
        for (int32_t y = 0; y < mask.Height(); ++y)
            for (int32_t x = 0; x < mask.Width(); ++x) {
                const bool inRect = kept.GetPixel(x, y) != 0;
                if (op == 2 ? inRect : !inRect) mask.SetPixel(x, y, 0);
            }
        mask.SyncBounds();
        mask.SyncFull();
        // The outline no longer matches the mask; the mask's border shows it.
        polygon_.Clear();
        if (mask.IsEmpty()) ClearSelection();
        backBufferDirty_ = true;
        Paint();
        SelectionChanged(OnSelectionChange);
        return;
    }
    SelectRect(x1, y1, x2, y2, op, false, false);
    if (op == 0 && mask_) mask_->Empty();
    EndSelect();
    backBufferDirty_ = true;
    Paint();
}

void TVidurErView::StartShape(int32_t& x1, int32_t& y1, int32_t& x2, int32_t& y2, int32_t op) {
    TIELayer* layer = GetCurrentLayer();
    if (SelectionBase == iesbClientArea && layer) {
        x1 = layer->ViewToLayerX(x1), y1 = layer->ViewToLayerY(y1);
        x2 = layer->ViewToLayerX(x2), y2 = layer->ViewToLayerY(y2);
    }
    hasSelection_ = true;
    if (op == 1 && !polygon_.Points.empty())
        polygon_.AppendBreak();
    else
        polygon_.Clear();
    if (op == 0 && mask_) mask_->Empty();
}

void TVidurErView::SelectRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t op, bool constrain,
                              bool keepInside) {
    if (x1 == x2 || y1 == y2) return;
    StartShape(x1, y1, x2, y2, op);
    const int32_t width = currentBitmap_->GetWidth(), height = currentBitmap_->GetHeight();
    const double ratio = selectionAspectRatio_;
    if (constrain && ratio == -1) y2 = y1 + (x2 - x1);
    if (ratio > 0) {
        y2 = Round32((x2 - x1) * ratio) + y1;
        if (y2 >= height) x2 = Round32((height - y1 - 1 + x1 * ratio) / ratio);
        if (y2 < 0) x2 = Round32((x1 * ratio - y1) / ratio);
    }
    if (keepInside) {
        if (x1 < 0) x2 -= x1, x1 = 0;
        if (y1 < 0) y2 -= y1, y1 = 0;
        if (x2 >= width) x1 -= x2 - (width - 1), x2 = width - 1;
        if (y2 >= height) y1 -= y2 - (height - 1), y2 = height - 1;
    }
    if (x1 > x2) std::swap(x1, x2);
    if (y1 > y2) std::swap(y1, y2);
    x1 = std::clamp(x1, 0, std::max(width - 1, 0));
    y1 = std::clamp(y1, 0, std::max(height - 1, 0));
    x2 = std::clamp(x2, 0, width);
    y2 = std::clamp(y2, 0, height);
    polygon_.Append(x1, y1);
    polygon_.Append(x2, y1);
    polygon_.Append(x2, y2);
    polygon_.Append(x1, y2);
    ShowSelection(true);
}

void TVidurErView::SelectEllipse(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t op) {
    if (x1 == x2 || y1 == y2) return;
    StartShape(x1, y1, x2, y2, op);
    if (x1 > x2) std::swap(x1, x2);
    if (y1 > y2) std::swap(y1, y2);
    const int32_t width = currentBitmap_->GetWidth(), height = currentBitmap_->GetHeight();
    const double cx = (x1 + x2) / 2.0, cy = (y1 + y2) / 2.0, rx = (x2 - x1) / 2.0, ry = (y2 - y1) / 2.0;
    const int32_t steps = std::clamp(static_cast<int32_t>(2 * kIEPi * std::max(rx, ry) / 2), 16, 720);
    for (int32_t i = 0; i < steps; ++i) {
        const double a = 2 * kIEPi * i / steps;
        polygon_.Append(std::clamp(Round32(cx + rx * std::cos(a)), 0, width),
                        std::clamp(Round32(cy + ry * std::sin(a)), 0, height));
    }
    if (mouseDepth_ == 0) {
        EndSelect();
        backBufferDirty_ = true;
        Paint();
    } else {
        ShowSelection(true);
    }
}

void TVidurErView::AddSelPoint(int32_t x, int32_t y) {
    AddSelectionPoint(x, y);
    backBufferDirty_ = true;
    Paint();
}

void TVidurErView::AddSelectionPoint(int32_t x, int32_t y) {
    TIELayer* layer = GetCurrentLayer();
    if (SelectionBase == iesbClientArea && layer) {
        x = std::clamp(layer->ViewToLayerX(x), 0, currentBitmap_->GetWidth());
        y = std::clamp(layer->ViewToLayerY(y), 0, currentBitmap_->GetHeight());
    }
    polygon_.Append(x, y);
    ShowSelection(true);
}

void TVidurErView::AddSelectionBreak() { polygon_.AppendBreak(); }

void TVidurErView::EndSelect() {
    if (!mask_) return;
    mask_->DrawPolygons(SelectionValue, polygon_.Points.data(), static_cast<int32_t>(polygon_.Points.size()));
    if (mask_->IsEmpty()) {
        hasSelection_ = false;
        polygon_.Clear();
    }
    backBufferDirty_ = true;
}

void TVidurErView::ClearSelection() {
    if (hasSelection_) HideSelection(true);
    polygon_.Clear();
    if (mask_) mask_->Empty();
    hasSelection_ = false;
    polygonSelecting_ = lassoSelecting_ = rectSelecting_ = circleSelecting_ = false;
    selectionGrip_ = ieNone;
    selectionMoveHit_ = -1;
    RestoreCursor();
    backBufferDirty_ = true;
    Update();
}

void TVidurErView::SelectMagicWand(int32_t x, int32_t y, bool add) {
    TIELayer* layer = GetCurrentLayer();
    if (SelectionBase == iesbClientArea && layer) x = layer->ViewToLayerX(x), y = layer->ViewToLayerY(y);
    const int32_t width = currentBitmap_->GetWidth(), height = currentBitmap_->GetHeight();
    if (x < 0 || y < 0 || x >= width || y >= height || !mask_) return;
    if (MagicWandMode == 0) {
        const std::vector<TPoint> outline =
            IEMagicWandPolygon(*currentBitmap_, x, y, MagicWandTolerance, MagicWandMaxFilter);
        if (!outline.empty()) {
            hasSelection_ = true;
            if (add && !polygon_.Points.empty())
                polygon_.AppendBreak();
            else
                polygon_.Clear();
            for (const TPoint& p : outline) polygon_.Append(std::clamp(p.X, 0, width), std::clamp(p.Y, 0, height));
            if (!add) mask_->Empty();
            EndSelect();
            ShowSelection(true);
        }
    } else {
        if (!add) {
            polygon_.Clear();
            mask_->Empty();
        }
        if (MagicWandMode == 1)
            IEMagicWandFill(*currentBitmap_, x, y, SelectionValue, *mask_, MagicWandTolerance, MagicWandMaxFilter);
        else
            IEMagicWandGlobal(*currentBitmap_, x, y, SelectionValue, *mask_, MagicWandTolerance);
        mask_->SyncFull();
        hasSelection_ = !mask_->IsEmpty();
        ShowSelection(true);
    }
    backBufferDirty_ = true;
    Paint();
}

int32_t TVidurErView::MoveSelection(int32_t hit, int32_t dx, int32_t dy, bool cutBorders) {
    const bool rect = IEIsRectPolygon(polygon_.Points.data(), static_cast<int32_t>(polygon_.Points.size()));
    selectionMoveHit_ = hit;
    if (rect)
        mask_->Empty();
    else
        mask_->TranslateBitmap(dx, dy, cutBorders);
    if (dx == 0 && dy == 0) return hit;
    const int32_t width = currentBitmap_->GetWidth(), height = currentBitmap_->GetHeight();
    TRect& box = polygon_.Box;
    const bool leaves = box.Left + dx < 0 || box.Top + dy < 0 || box.Right + dx > width || box.Bottom + dy > height;
    const bool leavesEntirely =
        box.Right + dx < 0 || box.Bottom + dy < 0 || box.Left + dx > width || box.Top + dy > height;
    if ((!cutBorders && leaves) || (cutBorders && leavesEntirely)) {
        dx = std::clamp(dx, -box.Left, width - box.Right);
        dy = std::clamp(dy, -box.Top, height - box.Bottom);
        if (!cutBorders && (box.Left + dx < 0 || box.Top + dy < 0 || box.Right + dx > width || box.Bottom + dy > height))
            return hit;
    }
    box = {std::clamp(box.Left + dx, 0, width), std::clamp(box.Top + dy, 0, height),
           std::clamp(box.Right + dx, 0, width), std::clamp(box.Bottom + dy, 0, height)};
    for (TPoint& p : polygon_.Points)
        if (p.X != kSeparator) p = {std::clamp(p.X + dx, 0, width), std::clamp(p.Y + dy, 0, height)};
    ShowSelection(true);
    return hit;
}

void TVidurErView::MoveSelectionBy(int32_t dx, int32_t dy) {
    MoveSelection(0, dx, dy, true);
    selectionMoveHit_ = -1;
    if (IEIsRectPolygon(polygon_.Points.data(), static_cast<int32_t>(polygon_.Points.size()))) EndSelect();
    mask_->SyncBounds();
}

TIEGrip TVidurErView::MoveSelectionGrip(TIEGrip grip, int32_t x, int32_t y, bool constrain) {
    if (!IEIsRectPolygon(polygon_.Points.data(), static_cast<int32_t>(polygon_.Points.size()))) return grip;
    TIELayer* layer = GetCurrentLayer();
    if (layer) x = layer->ViewToLayerX(x), y = layer->ViewToLayerY(y);
    const int32_t width = currentBitmap_->GetWidth(), height = currentBitmap_->GetHeight();
    if (constrain) {
        double r;
        if (selectionAspectRatio_ > 0) {
            r = 1 / selectionAspectRatio_;
        } else {
            if (gripStartBox_.Bottom - gripStartBox_.Top == 0) return grip;
            r = (gripStartBox_.Right - gripStartBox_.Left + 1.0) / (gripStartBox_.Bottom - gripStartBox_.Top + 1.0);
        }
        const int32_t bx1 = gripStartBox_.Left, by1 = gripStartBox_.Top, bx2 = gripStartBox_.Right,
                      by2 = gripStartBox_.Bottom;
        if (grip == ieLeftSide) grip = ieTopLeft;
        if (grip == ieRightSide) grip = ieBottomRight;
        switch (grip) {
            case ieTopLeft:
                while ((y = Round32((by2 * r + x - bx2 - 1 + r) / r)) < 0 && x < width) ++x;
                break;
            case ieTopRight:
                while ((y = Round32((by2 * r + bx1 - x - 1) / r)) < 0 && x > 0) --x;
                break;
            case ieBottomRight: y = Round32((by1 * r + x - bx1 + 1 - r) / r); break;
            case ieBottomLeft:
                while ((y = Round32((r + by1 * r + bx2 - x + 1) / r)) > height && x < width) ++x;
                break;
            case ieTopSide:
                while ((x = Round32(-r * by2 + r * y - r + bx2 + 1)) < 0 && y < height) ++y;
                grip = ieTopLeft;
                break;
            case ieBottomSide:
                while ((x = Round32(r + y * r - r * by1 + bx1 - 1)) > width && y > 0) --y;
                grip = ieBottomRight;
                break;
            default: break;
        }
    }
    if (grip == ieTopRight || grip == ieBottomRight || grip == ieRightSide) ++x;
    if (grip == ieBottomRight || grip == ieBottomLeft || grip == ieBottomSide) ++y;
    TRect b = polygon_.Box;
    auto left = [&] { b.Left = x == b.Right ? x - 1 : x; };
    auto right = [&] { b.Right = x == b.Left ? x + 1 : x; };
    auto top = [&] { b.Top = y == b.Bottom ? y - 1 : y; };
    auto bottom = [&] { b.Bottom = y == b.Top ? y + 1 : y; };
    switch (grip) {
        case ieTopLeft: left(), top(); break;
        case ieTopRight: right(), top(); break;
        case ieBottomRight: right(), bottom(); break;
        case ieBottomLeft: left(), bottom(); break;
        case ieLeftSide: left(); break;
        case ieRightSide: right(); break;
        case ieTopSide: top(); break;
        case ieBottomSide: bottom(); break;
        default: break;
    }
    if (b.Right < b.Left) {
        static constexpr TIEGrip swapX[] = {ieNone,      ieTopRight, ieTopLeft, ieBottomLeft, ieBottomRight,
                                            ieRightSide, ieLeftSide, ieTopSide, ieBottomSide, ieRotationCenter};
        grip = swapX[grip];
    }
    if (b.Bottom < b.Top) {
        static constexpr TIEGrip swapY[] = {ieNone,     ieBottomLeft, ieBottomRight, ieTopRight,  ieTopLeft,
                                            ieLeftSide, ieRightSide,  ieBottomSide,  ieTopSide, ieRotationCenter};
        grip = swapY[grip];
    }
    polygon_.Clear();
    int32_t x1 = std::min(b.Left, b.Right), x2 = std::max(b.Left, b.Right);
    int32_t y1 = std::min(b.Top, b.Bottom), y2 = std::max(b.Top, b.Bottom);
    x1 = std::clamp(x1, 0, width), x2 = std::clamp(x2, 0, width);
    y1 = std::clamp(y1, 0, height), y2 = std::clamp(y2, 0, height);
    polygon_.Append(x1, y1);
    polygon_.Append(x2, y1);
    polygon_.Append(x2, y2);
    polygon_.Append(x1, y2);
    ShowSelection(true);
    return grip;
}

// ---------------------------------------------------------------- the selection stream

void TVidurErView::PushSelection() {
    auto stream = std::make_unique<TMemoryStream>();
    SaveSelectionToStream(*stream);
    selectionStack_.push_back(std::move(stream));
}

bool TVidurErView::PopSelection(bool remove, int32_t mode) {
    if (selectionStack_.empty()) return false;
    TMemoryStream& stream = *selectionStack_.back();
    stream.SetPosition(0);
    LoadSelectionFromStream(stream, mode);
    if (remove) selectionStack_.pop_back();
    return true;
}

void TVidurErView::SaveSelectionToStream(TStream& stream) {
    IEWriteI32(stream, mask_->Width());
    IEWriteI32(stream, mask_->Height());
    IEWriteI32(stream, static_cast<int32_t>(polygon_.Points.size()));
    for (const TPoint& p : polygon_.Points) {
        IEWriteI32(stream, p.X);
        IEWriteI32(stream, p.Y);
    }
    IEWriteI32(stream, polygon_.Box.Left);
    IEWriteI32(stream, polygon_.Box.Top);
    IEWriteI32(stream, polygon_.Box.Right);
    IEWriteI32(stream, polygon_.Box.Bottom);
    IEWriteU8(stream, hasSelection_);
    TIELayer* layer = GetCurrentLayer();
    IEWriteI32(stream, layer ? layer->PosX : 0);
    IEWriteI32(stream, layer ? layer->PosY : 0);
    IEWriteI32(stream, mask_->BitsPerPixel());
    IEWriteI32(stream, mask_->X1);
    IEWriteI32(stream, mask_->Y1);
    IEWriteI32(stream, mask_->X2);
    IEWriteI32(stream, mask_->Y2);
    IEWriteU8(stream, mask_->Full());
    for (int32_t row = mask_->Height() - 1; row >= 0; --row)
        stream.WriteBuffer(mask_->GetScanline(row), static_cast<size_t>(mask_->RowLen()));
}

void TVidurErView::LoadSelectionFromStream(TStream& stream, int32_t mode) {
    const int32_t width = IEReadI32(stream), height = IEReadI32(stream);
    const int32_t count = IEReadI32(stream);
    if (width < 0 || height < 0 || count < 0 || int64_t{count} * 8 > stream.GetSize() - stream.GetPosition())
        throw EReadError("The selection record is damaged");
    polygon_.Points.clear();
    polygon_.Points.reserve(static_cast<size_t>(count) + 64);
    for (int32_t i = 0; i < count; ++i) {
        const int32_t x = IEReadI32(stream);
        polygon_.Points.push_back({x, IEReadI32(stream)});
    }
    polygon_.Box.Left = IEReadI32(stream);
    polygon_.Box.Top = IEReadI32(stream);
    polygon_.Box.Right = IEReadI32(stream);
    polygon_.Box.Bottom = IEReadI32(stream);
    IEReadU8(stream);
    const int32_t storedPosX = IEReadI32(stream), storedPosY = IEReadI32(stream);
    const int32_t bits = IEReadI32(stream);
    if (bits != 1 && bits != 8) throw EReadError("The selection record is damaged");
    mask_->AllocateBits(width, height, bits);
    mask_->X1 = IEReadI32(stream);
    mask_->Y1 = IEReadI32(stream);
    mask_->X2 = IEReadI32(stream);
    mask_->Y2 = IEReadI32(stream);
    mask_->SetFull(IEReadU8(stream) != 0);
    for (int32_t row = height - 1; row >= 0; --row)
        stream.ReadBuffer(mask_->GetScanline(row), static_cast<size_t>(mask_->RowLen()));
    LockUpdate();
    const int32_t bw = currentBitmap_->GetWidth(), bh = currentBitmap_->GetHeight();
    TIELayer* layer = GetCurrentLayer();
    if (mode == 2) {
        // The selection was made on another layer: keep it at the same place
        // of the picture.
        polygon_.Clear();
        TIEMask moved;
        moved.AllocateBits(bw, bh, bits);
        const int32_t dx = storedPosX - (layer ? layer->PosX : 0), dy = storedPosY - (layer ? layer->PosY : 0);
        if (!mask_->IsEmpty())
            for (int32_t y = mask_->Y1; y <= mask_->Y2; ++y)
                for (int32_t x = mask_->X1; x <= mask_->X2; ++x)
                    if (const int32_t v = mask_->GetPixel(x, y)) moved.SetPixel(x + dx, y + dy, bits == 1 ? 1 : v);
        *mask_ = std::move(moved);
        mask_->SyncBounds();
        mask_->SyncFull();
    } else if (bw != width || bh != height) {
        if (!mask_->IsEmpty() && mode == 1) {
            int32_t dx = std::min(0, bw - 1 - mask_->X2), dy = std::min(0, bh - 1 - mask_->Y2);
            mask_->TranslateBitmap(dx, dy, true);
        }
        mask_->Resize(bw, bh);
        mask_->SyncBounds();
        mask_->SyncFull();
    }
    if (mask_->IsEmpty()) {
        UnlockUpdate();
        ClearSelection();
        return;
    }
    hasSelection_ = true;
    ShowSelection(true);
    UnlockUpdate();
    backBufferDirty_ = true;
}

// ---------------------------------------------------------------- queries

int32_t TVidurErView::SelX1() {
    if (polygonSelecting_ || rectSelecting_ || circleSelecting_ || selectionGrip_ != ieNone || selectionMoveHit_ == 0)
        return polygon_.Box.Left;
    return mask_->X1;
}
int32_t TVidurErView::SelY1() {
    if (polygonSelecting_ || rectSelecting_ || circleSelecting_ || selectionGrip_ != ieNone || selectionMoveHit_ == 0)
        return polygon_.Box.Top;
    return mask_->Y1;
}
int32_t TVidurErView::SelX2() {
    if (polygonSelecting_ || rectSelecting_ || circleSelecting_ || selectionGrip_ != ieNone || selectionMoveHit_ == 0)
        return polygon_.Box.Right - 1;
    return mask_->X2;
}
int32_t TVidurErView::SelY2() {
    if (polygonSelecting_ || rectSelecting_ || circleSelecting_ || selectionGrip_ != ieNone || selectionMoveHit_ == 0)
        return polygon_.Box.Bottom - 1;
    return mask_->Y2;
}

TIEGrip TVidurErView::GetSelectionGripAt(int32_t x, int32_t y) {
    if (!polygon_.Visible || !polygon_.Sizeable || !IEIsRectPolygon(polygon_.Points.data(), static_cast<int32_t>(polygon_.Points.size())) || rectSelecting_) return ieNone;
    TIELayer* layer = GetCurrentLayer();
    if (!layer) return ieNone;
    TPoint c[4];
    for (size_t i = 0; i < 4; ++i)
        c[i] = {layer->LayerToViewX(polygon_.Points[i].X), layer->LayerToViewY(polygon_.Points[i].Y)};
    for (int32_t i = 0; i < 4; ++i)
        if (std::abs(x - c[i].X) <= SelectionGripSize && std::abs(y - c[i].Y) <= SelectionGripSize)
            return static_cast<TIEGrip>(i + 1);
    const int32_t l = std::min(c[0].X, c[2].X), r = std::max(c[0].X, c[2].X);
    const int32_t t = std::min(c[0].Y, c[2].Y), b = std::max(c[0].Y, c[2].Y);
    if (IEDistPointToSegment(x, y, l, t, l, b) < 3) return ieLeftSide;
    if (IEDistPointToSegment(x, y, r, t, r, b) < 3) return ieRightSide;
    if (IEDistPointToSegment(x, y, l, t, r, t) < 3) return ieTopSide;
    if (IEDistPointToSegment(x, y, l, b, r, b) < 3) return ieBottomSide;
    return ieNone;
}

int32_t TVidurErView::HitSelectionBody(int32_t x, int32_t y, TShiftState shift) {
    if ((shift & ssShift) || !mask_ || mask_->IsEmpty() || polygonSelecting_ || rectSelecting_ || circleSelecting_)
        return -1;
    TIELayer* layer = GetCurrentLayer();
    if (!layer) return -1;
    return mask_->IsPointInside(layer->ViewToLayerX(x), layer->ViewToLayerY(y)) &&
                   (selectionOptions_ & IESO(iesoMoveable))
               ? 0
               : -1;
}

void TVidurErView::TrimPolygonEnd() {
    if (!polygon_.Points.empty()) polygon_.Points.pop_back();
    while (!polygon_.Points.empty() && polygon_.Points.back().X == kSeparator) polygon_.Points.pop_back();
}

// ---------------------------------------------------------------- the outline

void TVidurErView::DrawPolygonOutline(TCanvas& canvas, TSelectionPolygon& polygon) {
    TIELayer* layer = GetCurrentLayer();
    if (!layer || polygon.Points.empty()) return;
    polygon.DashCounter = polygon.Phase;
    auto dot = [&](int32_t x, int32_t y) {
        const TColor color = polygon.DashCounter <= 3 ? polygon.Color1 : polygon.Color2;
        if (polygon.DashCounter > 6) polygon.DashCounter = -1;
        canvas.SetPixel(x, y, color);
        ++polygon.DashCounter;
    };
    // Every pixel of the segment but its end, as LineDDA plots it.
    auto line = [&](TPoint a, TPoint b) {
        const int32_t dx = b.X - a.X, dy = b.Y - a.Y, n = std::max(std::abs(dx), std::abs(dy));
        for (int32_t i = 0; i < n; ++i)
            dot(a.X + Round32(static_cast<double>(dx) * i / n), a.Y + Round32(static_cast<double>(dy) * i / n));
    };
    auto client = [&](const TPoint& p) { return TPoint{layer->LayerToViewX(p.X), layer->LayerToViewY(p.Y)}; };
    if (IEIsRectPolygon(polygon.Points.data(), static_cast<int32_t>(polygon.Points.size()))) {
        const TPoint a = client({polygon.Box.Left, polygon.Box.Top});
        const TPoint b = client({polygon.Box.Right, polygon.Box.Bottom});
        const TPoint c[4] = {{a.X, a.Y}, {b.X - 1, a.Y}, {b.X - 1, b.Y - 1}, {a.X, b.Y - 1}};
        for (int32_t side = 0; side < 4; ++side) {
            if (&polygon == &polygon_) polygon.DashCounter = 0;
            line(c[side], c[(side + 1) % 4]);
            const int32_t reached = (side + 1) % 4;
            if (OnDrawPolygon) OnDrawPolygon(*this, 0, reached, canvas, c[reached].X, c[reached].Y);
        }
        return;
    }
    size_t start = 0;
    const auto& p = polygon.Points;
    for (size_t i = 1; i <= p.size(); ++i) {
        const bool end = i == p.size() || p[i].X == kSeparator;
        if (!end) {
            line(client(p[i - 1]), client(p[i]));
            if (OnDrawPolygon) OnDrawPolygon(*this, 0, static_cast<int32_t>(i - 1), canvas, client(p[i]).X, client(p[i]).Y);
            continue;
        }
        // Close the part unless a polygon is still being drawn.
        if (i > start && (i < p.size() || !polygonSelecting_)) line(client(p[i - 1]), client(p[start]));
        start = i + 1;
        ++i;
    }
}

void TVidurErView::PaintSelection(TCanvas& canvas, bool fromTimer) {
    if (!HasParentWindow() || !SelectionVisible) return;
    bool animated = false;
    if (polygon_.Visible) {
        if (polygon_.Animated) {
            animated = hasSelection_;
            if (fromTimer && !rectSelecting_ && !polygonSelecting_ && !circleSelecting_ &&
                selectionGrip_ == ieNone && selectionMoveHit_ != 0) {
                polygon_.Phase = (polygon_.Phase + 1) % 10;
                ++MarchingAntsPhase;
            }
        }
        TIELayer* layer = GetCurrentLayer();
        if (PaintLockCount() == 0 && !inAutoScroll_ && layer) {
            if (polygon_.Sizeable && IEIsRectPolygon(polygon_.Points.data(), static_cast<int32_t>(polygon_.Points.size())) && !rectSelecting_ && selectionMoveHit_ != 0) {
                canvas.Pen.Color = SelectionGripPenColor;
                canvas.Brush.Color = SelectionGripBrushColor;
                canvas.Brush.Style = BS_SOLID;
                std::vector<TPoint> grips;
                for (const TPoint& p : polygon_.Points)
                    grips.push_back({layer->LayerToViewX(p.X), layer->LayerToViewY(p.Y)});
                if (SelectionSideGrips) {
                    const TPoint a = grips[0], b = grips[2];
                    grips.push_back({(a.X + b.X) / 2, a.Y});
                    grips.push_back({(a.X + b.X) / 2, b.Y});
                    grips.push_back({a.X, (a.Y + b.Y) / 2});
                    grips.push_back({b.X, (a.Y + b.Y) / 2});
                }
                for (const TPoint& g : grips)
                    canvas.Ellipse(g.X - SelectionGripSize, g.Y - SelectionGripSize, g.X + SelectionGripSize,
                                   g.Y + SelectionGripSize);
            }
            const bool drawing = polygonSelecting_ || rectSelecting_ || circleSelecting_ || selectionGrip_ != ieNone ||
                                 selectionMoveHit_ == 0;
            if (mask_ && !mask_->IsEmpty() && !drawing) {
                if (!(HideSelectionWhileDelayed && DelaySelectionCountdown > 0)) {
                    const TRect& d = layer->DrawRect;
                    const TRect& s = layer->SrcRect;
                    mask_->DrawBorder(canvas, d.Left, d.Top, d.Right, d.Bottom, s.Left, s.Top, s.Right, s.Bottom,
                                      MarchingAntsPhase, SelectionColor1, SelectionColor2);
                }
            } else {
                DrawPolygonOutline(canvas, polygon_);
            }
        }
    }
    const bool pending = DelayZoomFilterCountdown > 0 || DelaySelectionCountdown > 0 || animated;
    // Made on first need: a view that never shows (the picture loader)
    // keeps no timer of the message loop.
    if (pending && !selectionTimer_) {
        selectionTimer_ = std::make_unique<TTimer>(nullptr);
        selectionTimer_->SetEnabled(false);
        selectionTimer_->SetInterval(210);
        selectionTimer_->OnTimer = [this](TComponent*) { SelectionTimerTick(); };
    }
    if (selectionTimer_ && selectionTimer_->Enabled() != pending) selectionTimer_->SetEnabled(pending);
    if (DelaySelectionCountdown > 0) --DelaySelectionCountdown;
    if (DelayZoomFilterCountdown > 0 && --DelayZoomFilterCountdown == 0) Update();
}

void TVidurErView::SelectionTimerTick() {
    // The outline marches on the next paint; the composed picture stays.
    polygon_.Phase = (polygon_.Phase + 1) % 10;
    ++MarchingAntsPhase;
    if (HandleAllocated()) InvalidateRect({0, 0, ClientWidth(), ClientHeight()});
    if (DelaySelectionCountdown > 0) --DelaySelectionCountdown;
    if (DelayZoomFilterCountdown > 0 && --DelayZoomFilterCountdown == 0) {
        backBufferDirty_ = true;
        Update();
    }
    if (DelayZoomFilterCountdown == 0 && DelaySelectionCountdown == 0 && !(hasSelection_ && polygon_.Animated))
        selectionTimer_->SetEnabled(false);
}
