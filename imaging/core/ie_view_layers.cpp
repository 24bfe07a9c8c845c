// The layer list of the image view and the composition of its layers.
#include <algorithm>
#include <cmath>

#include "imaging/core/ie_compose.h"
#include "imaging/core/ie_geometry.h"
#include "imaging/core/ie_proc.h"
#include "imaging/core/ie_rotate.h"
#include "imaging/core/ie_view.h"
#include "platform/colour.h"
#include "platform/mathutil.h"

namespace {
int32_t Trunc32(double x) { return static_cast<int32_t>(Trunc(x)); }
int32_t Round32(double x) { return static_cast<int32_t>(RoundHalfEven(x)); }
}  // namespace

TIEBitmap* TVidurErView::GetLayerBitmap(int32_t index) {
    if (index < 0 || index >= GetLayersCount()) return nullptr;
    return GetLayer(index)->GetBitmap();
}

void TVidurErView::SaveLayerToStream(int32_t index, TStream& stream, bool withBitmap) {
    GetLayer(index)->SaveToStream(stream, withBitmap);
}

void TVidurErView::LoadLayerFromStream(int32_t index, TStream& stream) { GetLayer(index)->LoadFromStream(stream); }

void TVidurErView::GetLayerGUID(int32_t index, uint8_t guid[16]) { std::copy(GetLayer(index)->ID, GetLayer(index)->ID + 16, guid); }

void TVidurErView::StoreCurrentBitmap() {
    if (currentLayer_ < 0 || currentLayer_ >= GetLayersCount()) return;
    TIELayer& layer = *layers_[static_cast<size_t>(currentLayer_)];
    if (layer.bitmap_ != currentBitmap_) {
        // A bitmap given to SetExternalIEBitmap(nullptr) joins its layer here.
        layer.bitmap_ = currentBitmap_;
    }
}

void TVidurErView::SetLayersCurrent(int32_t index) {
    if (index < 0 || index >= GetLayersCount() || index == currentLayer_) return;
    StoreCurrentBitmap();
    // The selection stays at the same place of the picture.
    const bool carrySelection = currentLayer_ >= 0 && hasSelection_;
    if (carrySelection) PushSelection();
    while (index > 0 && !layers_[static_cast<size_t>(index)]->Selectable) --index;
    currentLayer_ = index;
    currentBitmap_ = layers_[static_cast<size_t>(index)]->bitmap_;
    if (carrySelection) PopSelection(true, 2);
    CallBitmapChangeEvents();
    Update();
}

int32_t TVidurErView::LayersAdd() {
    layers_.push_back(std::make_unique<TIELayer>(this, false, currentBitmap_));
    const int32_t index = GetLayersCount() - 1;
    SetLayersCurrent(index);
    Blank();
    return index;
}

void TVidurErView::LayersRemove(int32_t index) {
    if (GetLayersCount() < 2 || index < 0 || index >= GetLayersCount()) return;
    StoreCurrentBitmap();
    int32_t current = currentLayer_;
    if (index + 1 < GetLayersCount() && layers_[static_cast<size_t>(index) + 1]->IsMask) {
        layers_.erase(layers_.begin() + index + 1);
        if (current > index + 1) --current;
        else if (current == index + 1) current = index;
    }
    layers_.erase(layers_.begin() + index);
    if (index == current) {
        currentLayer_ = -1;
        SetLayersCurrent(std::min(index, GetLayersCount() - 1));
    } else if (index < current) {
        currentLayer_ = -1;
        SetLayersCurrent(current - 1);
    } else {
        currentLayer_ = current;
    }
}

void TVidurErView::LayersClear() {
    while (GetLayersCount() > 1) {
        LayersRemove(GetLayersCount() - 1);
        SetLayersCurrent(0);
        layers_[0]->ResetProperties();
    }
    layers_[0]->ResetProperties();
    Blank();
}

void TVidurErView::SyncLayers() {
    StoreCurrentBitmap();
    imageWidth_ = layers_[0]->bitmap_->GetWidth();
    imageHeight_ = layers_[0]->bitmap_->GetHeight();
    if (!LayersSync || GetLayersCount() < 2) return;
    for (auto& layer : layers_) {
        imageWidth_ = std::max(imageWidth_, layer->bitmap_->GetWidth());
        imageHeight_ = std::max(imageHeight_, layer->bitmap_->GetHeight());
    }
    const double fill = static_cast<double>(ColorToRGB(Background()));
    for (auto& layer : layers_) {
        TIEBitmap& bitmap = *layer->bitmap_;
        if (bitmap.GetWidth() != imageWidth_ || bitmap.GetHeight() != imageHeight_) {
            bitmap.GetAlphaChannel();
            bitmap.Resize(imageWidth_, imageHeight_, fill, 0, 0, 0);
        }
    }
}

int32_t TVidurErView::FindLayerAt(int32_t x, int32_t y, bool selectableOnly) {
    for (int32_t i = GetLayersCount() - 1; i >= 0; --i) {
        TIELayer& layer = *layers_[static_cast<size_t>(i)];
        if (!layer.Visible || (selectableOnly && !layer.Selectable)) continue;
        const TRect& r = layer.ClientRect;
        if (x < r.Left || x > r.Right || y < r.Top || y > r.Bottom) continue;
        TIEBitmap& bitmap = *layer.bitmap_;
        if (bitmap.GetHasAlphaChannel() && !SelectTransparentLayers && bitmap.GetWidth() > 0 && bitmap.GetHeight() > 0) {
            const int32_t lx = std::clamp(layer.ViewToLayerX(x), 0, bitmap.GetWidth() - 1);
            const int32_t ly = std::clamp(layer.ViewToLayerY(y), 0, bitmap.GetHeight() - 1);
            if (bitmap.GetAlphaChannel()->GetPixelByte(lx, ly) == 0) continue;
        }
        return i;
    }
    return -1;
}

bool TVidurErView::IsPointInLayer(int32_t x, int32_t y, int32_t index) {
    if (index < 0 || index >= GetLayersCount()) return false;
    TIELayer& layer = *layers_[static_cast<size_t>(index)];
    if (!layer.Visible) return false;
    if (layer.GetRotate() != 0) {
        // Inside the polygon of the rotated corners (even-odd rule).
        bool inside = false;
        for (int i = 0, j = 3; i < 4; j = i++) {
            const TPoint& a = layer.Corners[i];
            const TPoint& b = layer.Corners[j];
            if ((a.Y > y) != (b.Y > y) &&
                x < static_cast<double>(b.X - a.X) * (y - a.Y) / static_cast<double>(b.Y - a.Y) + a.X)
                inside = !inside;
        }
        return inside;
    }
    const TRect& r = layer.ClientRect;
    return x >= r.Left && x <= r.Right && y >= r.Top && y <= r.Bottom;
}

void TVidurErView::CropLayersToContent(int32_t index) {
    for (int32_t i = 0; i < GetLayersCount(); ++i) {
        if (index != -1 && i != index) continue;
        TIEBitmap& bitmap = *layers_[static_cast<size_t>(i)]->bitmap_;
        if (!bitmap.GetHasAlphaChannel()) continue;
        TIEBitmap& alpha = *bitmap.GetAlphaChannel();
        int32_t left = bitmap.GetWidth(), top = bitmap.GetHeight(), right = -1, bottom = -1;
        for (int32_t y = 0; y < alpha.GetHeight(); ++y) {
            const uint8_t* row = alpha.GetScanline(y);
            for (int32_t x = 0; x < alpha.GetWidth(); ++x) {
                if (!row[x]) continue;
                left = std::min(left, x), right = std::max(right, x);
                top = std::min(top, y), bottom = std::max(bottom, y);
            }
        }
        if (right < 0) continue;
        TIEBitmap cropped(right - left + 1, bottom - top + 1, bitmap.GetPixelFormat());
        bitmap.CopyRectTo(cropped, left, top, 0, 0, cropped.GetWidth(), cropped.GetHeight());
        TIEBitmap croppedAlpha(cropped.GetWidth(), cropped.GetHeight(), ie8g);
        alpha.CopyRectTo(croppedAlpha, left, top, 0, 0, cropped.GetWidth(), cropped.GetHeight());
        bitmap.Assign(cropped);
        bitmap.GetAlphaChannel()->AssignImage(croppedAlpha);
    }
    Update();
}

void TVidurErView::ApplyLayerSizes(int32_t index) {
    const int32_t previous = currentLayer_;
    for (int32_t i = 0; i < GetLayersCount(); ++i) {
        if (index != -1 && i != index) continue;
        TIELayer& layer = *layers_[static_cast<size_t>(i)];
        if (layer.Width == 0 && layer.Height == 0) continue;
        SetLayersCurrent(i);
        const TResampleFilter filter = layer.UseResampleFilter ? layer.ResampleFilter : zoomFilter_;
        TVidurErProc& proc = *GetVidurErProc();
        const bool undo = proc.AutoUndo;
        proc.AutoUndo = false;
        proc.Resample(layer.GetWidth(), layer.GetHeight(), filter);
        proc.AutoUndo = undo;
        layer.Width = layer.Height = 0;
    }
    SetLayersCurrent(previous);
}

void TVidurErView::ApplyLayerRotations(int32_t index) {
    const int32_t previous = currentLayer_;
    for (int32_t i = 0; i < GetLayersCount(); ++i) {
        if (index != -1 && i != index) continue;
        TIELayer& layer = *layers_[static_cast<size_t>(i)];
        if (layer.GetRotate() == 0) continue;
        ApplyLayerSizes(i);
        SetLayersCurrent(i);
        const int32_t w = layer.GetWidth(), h = layer.GetHeight();
        TVidurErProc& proc = *GetVidurErProc();
        const bool undo = proc.AutoUndo;
        proc.AutoUndo = false;
        layer.bitmap_->GetAlphaChannel();  // the corners the rotation uncovers are transparent
        proc.Rotate(layer.GetRotate(), true, LayerRotationAntialias, static_cast<TColor>(-1));
        proc.AutoUndo = undo;
        std::vector<TPoint> corners{{0, 0}, {w, 0}, {w, h}, {0, h}};
        IERotatePoints(corners, Trunc32(w * layer.RotateCenterX), Trunc32(h * layer.RotateCenterY), layer.GetRotate());
        int32_t minX = corners[0].X, minY = corners[0].Y;
        for (const TPoint& p : corners) minX = std::min(minX, p.X), minY = std::min(minY, p.Y);
        layer.PosX += minX;
        layer.PosY += minY;
        layer.Width = layer.Height = 0;
        layer.SetRotate(0);
        // Crop to the box of the pixels that remain.
        TIEBitmap& alpha = *layer.bitmap_->GetAlphaChannel();
        int32_t left = alpha.GetWidth(), top = alpha.GetHeight();
        for (int32_t y = 0; y < alpha.GetHeight(); ++y)
            for (int32_t x = 0; x < alpha.GetWidth(); ++x)
                if (alpha.GetScanline(y)[x]) left = std::min(left, x), top = std::min(top, y);
        if (left < alpha.GetWidth()) {
            CropLayersToContent(i);
            layer.PosX += left;
            layer.PosY += top;
        }
    }
    SetLayersCurrent(previous);
}

void TVidurErView::LayersDrawTo(TIEBitmap& dest) {
    TIELayer& base = *layers_[0];
    int32_t width = base.PosX + base.GetWidth(), height = base.PosY + base.GetHeight();
    for (auto& layer : layers_) {
        if (layer->Cropped) continue;
        width = std::max(width, layer->PosX + layer->GetWidth());
        height = std::max(height, layer->PosY + layer->GetHeight());
    }
    dest.Allocate(std::max(width, 1), std::max(height, 1), ie24RGB);
    dest.Fill(static_cast<double>(ColorToRGB(Background())));
    dest.GetAlphaChannel()->Fill(255);

    // Lay the view out as if it showed layer 0 whole at zoom 100.
    const double zoomX = zoomX_, zoomY = zoomY_;
    const int32_t viewX = viewX_, viewY = viewY_;
    const bool offScreen = OffScreenDrawing;
    const int32_t controlWidth = Width(), controlHeight = Height();
    const bool center = center_;
    ++updateLock_;
    zoomX_ = zoomY_ = 100;
    RecomputeFactors();
    viewX_ = viewY_ = 0;
    center_ = false;
    OffScreenDrawing = true;
    TControl::SetBounds(Left(), Top(), base.bitmap_->GetWidth(), base.bitmap_->GetHeight());
    SyncLayers();
    UpdateExtents();
    try {
        DrawLayersToBuffer(dest, false, false, {});
    } catch (...) {
        zoomX_ = zoomX, zoomY_ = zoomY;
        RecomputeFactors();
        viewX_ = viewX, viewY_ = viewY, center_ = center, OffScreenDrawing = offScreen;
        TControl::SetBounds(Left(), Top(), controlWidth, controlHeight);
        --updateLock_;
        throw;
    }
    zoomX_ = zoomX, zoomY_ = zoomY;
    RecomputeFactors();
    viewX_ = viewX, viewY_ = viewY, center_ = center, OffScreenDrawing = offScreen;
    TControl::SetBounds(Left(), Top(), controlWidth, controlHeight);
    --updateLock_;
    UpdateExtents();
    UpdateViewRect();
    UpdateZoomTables();
    Update();
}

void TVidurErView::DrawLayersToBuffer(TIEBitmap& dest, bool drawGadgets, bool drawBackground, const TRect& clip) {
    SyncLayers();
    UpdateViewRect();
    UpdateZoomTables();
    if (HasState(csDesigning) || currentBitmap_->GetWidth() == 0 || currentBitmap_->GetHeight() == 0) return;
    if (currentBitmap_->GetHasAlphaChannel()) {
        TIEBitmap* alpha = currentBitmap_->GetAlphaChannel();
        if (alpha->GetWidth() != currentBitmap_->GetWidth() || alpha->GetHeight() != currentBitmap_->GetHeight()) return;
    }
    bool drawnAny = false;
    for (int32_t i = 0; i < GetLayersCount(); ++i) {
        TIELayer& layer = *layers_[static_cast<size_t>(i)];
        TIEBitmap& bitmap = *layer.bitmap_;
        if (!layer.Visible || dstWidth_ == 0 || dstHeight_ == 0) continue;
        if (bitmap.GetWidth() < MinLayerSize && bitmap.GetHeight() < MinLayerSize) continue;

        // The mask layer above cuts this layer's alpha for this drawing.
        std::unique_ptr<TIEBitmap> savedAlpha;
        bool masked = false;
        const bool maskedByNext = i + 1 < GetLayersCount() && layers_[static_cast<size_t>(i) + 1]->IsMask &&
                                  !layer.IsMask && layer.GetRotate() == 0;
        // Outside layer 0 the other layers show at most LayersOutsideAmount.
        const bool limitOutside = !maskedByNext && i > 0 && LayersOutsideMode == 1 && layer.GetRotate() == 0;
        if (maskedByNext || limitOutside) {
            TIELayer& mask = *layers_[static_cast<size_t>(maskedByNext ? i + 1 : i)];
            auto combined = std::make_unique<TIEBitmap>(bitmap.GetWidth(), bitmap.GetHeight(), ie8g);
            if (layer.MaskCache) {
                combined->AssignImage(*layer.MaskCache);
            } else {
                TIEBitmap gray;
                if (maskedByNext) {
                    gray.Assign(*mask.bitmap_);
                    if (gray.GetHasAlphaChannel()) gray.RemoveAlphaChannel(true, clWhite);
                    gray.SetPixelFormat(ie8g);
                } else {
                    gray.Allocate(bitmap.GetWidth(), bitmap.GetHeight(), ie8g);
                    gray.Fill(255);
                }
                const int32_t baseWidth = layers_[0]->bitmap_->GetWidth(), baseHeight = layers_[0]->bitmap_->GetHeight();
                const int32_t mw = gray.GetWidth(), mh = gray.GetHeight();
                const double lx = static_cast<double>(layer.GetWidth()) / std::max(bitmap.GetWidth(), 1);
                const double ly = static_cast<double>(layer.GetHeight()) / std::max(bitmap.GetHeight(), 1);
                const double mx = static_cast<double>(mw) / std::max(mask.GetWidth(), 1);
                const double my = static_cast<double>(mh) / std::max(mask.GetHeight(), 1);
                for (int32_t y = 0; y < bitmap.GetHeight(); ++y) {
                    uint8_t* out = combined->GetScanline(y);
                    const int32_t row = Round32((y * ly + layer.PosY - mask.PosY) * my);
                    for (int32_t x = 0; x < bitmap.GetWidth(); ++x) {
                        const int32_t column = Round32((x * lx + layer.PosX - mask.PosX) * mx);
                        uint8_t value =
                            row >= 0 && row < mh && column >= 0 && column < mw ? gray.GetScanline(row)[column] : 0;
                        if (LayersOutsideMode == 1) {
                            const double bx = x * lx + layer.PosX, by = y * ly + layer.PosY;
                            if (bx < 0 || by < 0 || bx >= baseWidth || by >= baseHeight)
                                value = static_cast<uint8_t>(std::clamp(LayersOutsideAmount, 0, 255));
                        }
                        const uint8_t own = bitmap.GetHasAlphaChannel() ? bitmap.GetAlphaChannel()->GetScanline(y)[x] : 255;
                        out[x] = std::min(own, value);
                    }
                }
            }
            if (bitmap.GetHasAlphaChannel()) {
                savedAlpha = std::make_unique<TIEBitmap>();
                savedAlpha->Assign(*bitmap.GetAlphaChannel());
            }
            auto cache = std::make_unique<TIEBitmap>();
            cache->Assign(*combined);
            bitmap.SetAlphaChannel(std::move(combined));
            layer.MaskCache = std::move(cache);
            masked = true;
        }

        if (!drawnAny && drawBackground) {
            // An opaque image over the whole buffer leaves no background to see.
            const bool covers = offsetX_ < 1 && offsetY_ < 1 && dstWidth_ >= dest.GetWidth() &&
                                dstHeight_ >= dest.GetHeight() && layer.Transparency > 254 &&
                                (!enableAlphaChannel_ || !bitmap.GetHasAlphaChannel() ||
                                 bitmap.GetAlphaChannel()->FullOpacity());
            if (!covers) DrawBackground(dest, {offsetX_, offsetY_, offsetX_ + dstWidth_, offsetY_ + dstHeight_}, clip);
        }
        const bool sized = layer.Width != 0 || layer.Height != 0;
        TResampleFilter filter = rfNone;
        if (DelayZoomFilterCountdown == 0 && (sized || zoomX_ != 100 || zoomY_ != 100))
            filter = layer.UseResampleFilter ? layer.ResampleFilter : zoomFilter_;

        if (LayersSync || (GetLayersCount() == 1 && !sized && layer.PosX == 0 && layer.PosY == 0)) {
            // The exact path: the zoom tables say which pixel every client
            // column and row shows.
            std::vector<int32_t> columns(static_cast<size_t>(dstWidth_)), rows(static_cast<size_t>(dstHeight_));
            for (int32_t x = 0; x < dstWidth_; ++x) columns[static_cast<size_t>(x)] = ViewToBitmapX(offsetX_ + x);
            for (int32_t y = 0; y < dstHeight_; ++y) rows[static_cast<size_t>(y)] = ViewToBitmapY(offsetY_ + y);
            const bool exact = filter == rfNone || (zoomX_ == 100 && zoomY_ == 100);
            IERenderLayer(bitmap, {srcX_, srcY_, srcWidth_, srcHeight_}, dest, {offsetX_, offsetY_, dstWidth_, dstHeight_},
                          filter, layer.Transparency, enableAlphaChannel_, clip, layer.Operation,
                          exact ? &columns : nullptr,
                          exact ? &rows : nullptr);
            layer.ClientRect = {offsetX_, offsetY_, offsetX_ + dstWidth_, offsetY_ + dstHeight_};
            layer.DrawRect = {offsetX_, offsetY_, dstWidth_, dstHeight_};
            layer.SrcRect = {srcX_, srcY_, srcWidth_, srcHeight_};
        } else {
            TIEBitmap* drawn = &bitmap;
            std::unique_ptr<TIEBitmap> rotated;
            const int32_t keptWidth = layer.Width, keptHeight = layer.Height, keptX = layer.PosX, keptY = layer.PosY;
            if (layer.GetRotate() != 0) {
                const int32_t w = layer.GetWidth(), h = layer.GetHeight();
                TIEBitmap sizedBitmap(w, h, ie24RGB);
                TIEBitmap source;
                source.Assign(bitmap);
                if (source.GetPixelFormat() != ie24RGB) source.SetPixelFormat(ie24RGB);
                IEResample(source, sizedBitmap, rfNone, TIEProgressEvent(), nullptr);
                TIEBitmap sizedAlpha(w, h, ie8g);
                if (bitmap.GetHasAlphaChannel())
                    IEResample(*bitmap.GetAlphaChannel(), sizedAlpha, rfNone, TIEProgressEvent(), nullptr);
                else
                    sizedAlpha.Fill(255);
                rotated = std::make_unique<TIEBitmap>();
                IERotateNearestTo(sizedBitmap, *rotated, 0, nullptr, TIEProgressEvent(), layer.GetRotate());
                TIEBitmap rotatedAlpha;
                IERotateNearestTo(sizedAlpha, rotatedAlpha, 0, nullptr, TIEProgressEvent(), layer.GetRotate());
                rotated->GetAlphaChannel()->AssignImage(rotatedAlpha);
                drawn = rotated.get();
                layer.Width = rotated->GetWidth();
                layer.Height = rotated->GetHeight();
                std::vector<TPoint> corners{{0, 0}, {w, 0}, {w, h}, {0, h}};
                IERotatePoints(corners, Trunc32(w * layer.RotateCenterX), Trunc32(h * layer.RotateCenterY),
                               layer.GetRotate());
                int32_t minX = corners[0].X, minY = corners[0].Y;
                for (const TPoint& p : corners) minX = std::min(minX, p.X), minY = std::min(minY, p.Y);
                layer.PosX = keptX + minX;
                layer.PosY = keptY + minY;
                for (int c = 0; c < 4; ++c)
                    layer.Corners[c] = {Trunc32((corners[static_cast<size_t>(c)].X + keptX) * zoomFactorX_) + offsetX_ - viewX_,
                                        Trunc32((corners[static_cast<size_t>(c)].Y + keptY) * zoomFactorY_) + offsetY_ - viewY_};
            }
            if (i > 0 && layer.Magnify && layer.MagnifyRate >= 1 && !rotated) DrawMagnifier(layer, dest, filter);
            const int32_t left = BitmapToViewX(layer.PosX), top = BitmapToViewY(layer.PosY);
            const int32_t right = BitmapToViewX(layer.PosX + layer.GetWidth());
            const int32_t bottom = BitmapToViewY(layer.PosY + layer.GetHeight());
            TRect src{0, 0, drawn->GetWidth(), drawn->GetHeight()};
            TRect dst{left, top, right - left, bottom - top};
            layer.ClientRect = {left, top, right, bottom};
            if (layer.Cropped && i > 0) {
                const double sx = static_cast<double>(drawn->GetWidth()) / std::max(layer.GetWidth(), 1);
                const double sy = static_cast<double>(drawn->GetHeight()) / std::max(layer.GetHeight(), 1);
                if (layer.PosX < 0) {
                    const int32_t cut = Trunc32(sx * -layer.PosX);
                    src.Left += cut;
                    src.Right -= cut;
                    dst.Left = BitmapToViewX(0);
                    dst.Right = right - dst.Left;
                }
                if (layer.PosY < 0) {
                    const int32_t cut = Trunc32(sy * -layer.PosY);
                    src.Top += cut;
                    src.Bottom -= cut;
                    dst.Top = BitmapToViewY(0);
                    dst.Bottom = bottom - dst.Top;
                }
                const int32_t edgeX = BitmapToViewX(layers_[0]->bitmap_->GetWidth());
                if (dst.Left + dst.Right > edgeX) {
                    const int32_t whole = dst.Right;
                    dst.Right = edgeX - dst.Left;
                    src.Right = whole > 0 ? Trunc32(static_cast<double>(src.Right) / whole * dst.Right) : 0;
                }
                const int32_t edgeY = BitmapToViewY(layers_[0]->bitmap_->GetHeight());
                if (dst.Top + dst.Bottom > edgeY) {
                    const int32_t whole = dst.Bottom;
                    dst.Bottom = edgeY - dst.Top;
                    src.Bottom = whole > 0 ? Trunc32(static_cast<double>(src.Bottom) / whole * dst.Bottom) : 0;
                }
            }
            IERenderLayer(*drawn, src, dest, dst, filter, layer.Transparency, enableAlphaChannel_, clip,
                          layer.Operation);
            layer.DrawRect = dst;
            layer.SrcRect = src;
            if (rotated) {
                layer.Width = keptWidth;
                layer.Height = keptHeight;
                layer.PosX = keptX;
                layer.PosY = keptY;
            }
        }
        drawnAny = true;
        if (drawGadgets) DrawLayerGadgets(dest, i);
        if (masked) {
            if (savedAlpha)
                bitmap.GetAlphaChannel()->AssignImage(*savedAlpha);
            else
                bitmap.RemoveAlphaChannel(false, 0);
        }
    }

    if (LayersOutsideMode == 2 || LayersOutsideMode == 3) {
        const TRect& r = layers_[0]->DrawRect;
        const int32_t l = r.Left, t = r.Top, w = r.Right, h = r.Bottom;
        for (int32_t y = 0; y < dest.GetHeight(); ++y) {
            uint8_t* row = dest.GetScanline(y);
            for (int32_t x = 0; x < dest.GetWidth(); ++x) {
                uint8_t* p = row + 3 * x;
                if (LayersOutsideMode == 2) {
                    if ((y < t || y > t + h || x < l || x > l + w) && (x + y) % 2 == 0) p[0] = p[1] = p[2] = 128;
                } else if (y < t || y >= t + h || x < l || x >= l + w) {
                    for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>(std::min(255, p[c] + LayersOutsideAmount));
                }
            }
        }
    }
    if (!drawnAny && drawBackground) DrawBackground(dest, {offsetX_, offsetY_, offsetX_ + dstWidth_, offsetY_ + dstHeight_}, clip);
    if (drawGadgets) DrawGadgets(dest);
}

void TVidurErView::DrawMagnifier(TIELayer& layer, TIEBitmap& dest, TResampleFilter filter) {
    TIEBitmap& lens = *layer.bitmap_;
    if (layerGrip_ == ieNone && (layer.Width != 0 || layer.Height != 0)) {
        lens.SetWidth(layer.GetWidth());
        lens.SetHeight(layer.GetHeight());
    }
    if (lens.GetPixelFormat() != ie24RGB) lens.SetPixelFormat(ie24RGB);
    const int32_t bw = lens.GetWidth(), bh = lens.GetHeight();
    if (bw < 1 || bh < 1) return;
    const int32_t lw = std::max(Trunc32(bw / (layer.MagnifyRate / zoomFactorX_)), 1);
    const int32_t lh = std::max(Trunc32(bh / (layer.MagnifyRate / zoomFactorY_)), 1);
    const int32_t cx = BitmapToViewX(layer.PosX) + Trunc32(bw * zoomFactorX_ / 2);
    const int32_t cy = BitmapToViewY(layer.PosY) + Trunc32(bh * zoomFactorY_ / 2);
    const int32_t left = cx - lw / 2, top = cy - lh / 2;
    if (layer.MagnifySource == 1) {
        // What is composed under the lens so far, enlarged.
        for (int32_t y = 0; y < bh; ++y) {
            const int32_t sy = std::clamp(top + y * lh / bh, 0, dest.GetHeight() - 1);
            const uint8_t* in = dest.GetScanline(sy);
            uint8_t* out = lens.GetScanline(y);
            for (int32_t x = 0; x < bw; ++x) {
                const int32_t sx = std::clamp(left + x * lw / bw, 0, dest.GetWidth() - 1);
                std::copy(in + 3 * sx, in + 3 * sx + 3, out + 3 * x);
            }
        }
    } else {
        // Layer 0's own pixels under the lens, enlarged through the filter.
        TIEBitmap& base = *layers_[0]->bitmap_;
        const int32_t x1 = ViewToBitmapX(left), y1 = ViewToBitmapY(top);
        const int32_t x2 = ViewToBitmapX(left + lw), y2 = ViewToBitmapY(top + lh);
        if (x1 >= 0 && y1 >= 0 && x2 <= base.GetWidth() && y2 <= base.GetHeight() && x2 > x1 && y2 > y1) {
            lens.Fill(0);
            base.DrawToTIEBitmap(lens, 0, 0, bw, bh, x1, y1, x2 - x1, y2 - y1, 255, filter, 0);
        }
    }
    TIEBitmap& alpha = *lens.GetAlphaChannel();
    if (layer.MagnifyShape == 0) {
        alpha.Fill(255);
        return;
    }
    const double rx = (bw - 1) / 2.0, ry = (bh - 1) / 2.0;
    for (int32_t y = 0; y < bh; ++y) {
        uint8_t* row = alpha.GetScanline(y);
        for (int32_t x = 0; x < bw; ++x) {
            const double dx = rx > 0 ? (x - rx) / rx : 0, dy = ry > 0 ? (y - ry) / ry : 0;
            row[x] = dx * dx + dy * dy <= 1.0 ? 255 : 0;
        }
    }
    alpha.SetFullOpacity(false);
}
