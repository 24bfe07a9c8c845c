// Painting of the image view: the back buffer composed by the layer drawing
// (background, layers, layer boxes and grips, selection marks, pixel grid)
// and copied to the window only where the window is dirty; the selection
// outline, the version text and the interaction hint go over it.
#include <algorithm>
#include <cmath>

#include "imaging/core/ie_geometry.h"
#include "imaging/core/ie_mask.h"
#include "imaging/core/ie_render.h"
#include "imaging/core/ie_view.h"
#include "imaging/core/ie_view_services.h"
#include "platform/colour.h"
#include "platform/mathutil.h"

namespace {
int32_t Round32(double x) { return static_cast<int32_t>(RoundHalfEven(x)); }

void PutRGB(TIEBitmap& dest, int32_t x, int32_t y, uint32_t rgb) {
    uint8_t* p = dest.GetScanline(y) + 3 * static_cast<size_t>(x);
    p[0] = static_cast<uint8_t>(rgb & 0xFF);  // TColor: red in the low byte
    p[1] = static_cast<uint8_t>((rgb >> 8) & 0xFF);
    p[2] = static_cast<uint8_t>((rgb >> 16) & 0xFF);
    std::swap(p[0], p[2]);
}

// Squares of size, the first of the first row in first and alternating
// with second, each row of squares starting with the other colour.
void Chessboard(TIEBitmap& dest, const TRect& r, int32_t size, TColor first, TColor second) {
    size = std::max(size, 1);
    for (int32_t y = std::max(r.Top, 0); y < std::min(r.Bottom, dest.GetHeight()); ++y)
        for (int32_t x = std::max(r.Left, 0); x < std::min(r.Right, dest.GetWidth()); ++x) {
            const bool odd = (((x - r.Left) / size) + ((y - r.Top) / size)) % 2 != 0;
            PutRGB(dest, x, y, odd ? second : first);
        }
}
}  // namespace

void IEInvalidateViewRect(TVidurErView& view, const TRect& rect) { view.InvalidateViewRect(rect); }

void TVidurErView::InvalidateViewRect(const TRect& rect) {
    backBufferDirty_ = true;
    InvalidateRect(rect);
}

TCanvas& TVidurErView::GetCanvas() {
    TBitmap* bitmap = backBuffer_->GetTBitmap();
    if (!backCanvas_ || &backCanvas_->Bitmap() != bitmap) backCanvas_ = std::make_unique<TCanvas>(*bitmap);
    return *backCanvas_;
}

void TVidurErView::SetDrawVersion(bool value) {
    drawVersion_ = value;
    Paint();
}

void TVidurErView::SetChessboardStyle(int32_t size, int32_t brushStyle) {
    ChessboardSize = size;
    ChessboardBrushStyle = brushStyle;
}

void TVidurErView::SetWallPaper(const TBitmap& picture) {
    wallPaper_ = picture;
    backBufferDirty_ = true;
    Update();
}

void TVidurErView::SetWallPaperStyle(TIEWallPaperStyle style) {
    if (style == wallPaperStyle_) return;
    wallPaperStyle_ = style;
    backBufferDirty_ = true;
    Update();
}

void TVidurErView::DrawBackground(TIEBitmap& dest, const TRect& image, const TRect& clip) {
    TCanvas canvas(*dest.GetTBitmap());
    const TRect area{0, 0, dest.GetWidth(), dest.GetHeight()};
    if (clip.Right > clip.Left && clip.Bottom > clip.Top) canvas.IntersectClipRect(clip);
    bool handled = false;
    if (OnDrawBackground) OnDrawBackground(*this, canvas, area, handled);
    if (!handled) {
        const TColor back = ColorToRGB(Background());
        const TColor complement = ~back & 0xFFFFFF;
        canvas.Brush.Style = BS_SOLID;
        canvas.Brush.Color = back;
        switch (BackgroundStyle()) {
            case iebsChessboard:
                if (ChessboardBrushStyle == BS_SOLID) Chessboard(dest, area, ChessboardSize, back, complement);
                else Chessboard(dest, area, ChessboardSize, complement, back);
                break;
            case iebsGradient:
                for (int32_t y = 0; y < area.Bottom; ++y) {
                    const double t = area.Bottom > 1 ? static_cast<double>(y) / (area.Bottom - 1) : 0;
                    auto mix = [&](int shift) {
                        const double a = (back >> shift) & 0xFF, b = (ColorToRGB(GradientEndColor) >> shift) & 0xFF;
                        return static_cast<uint32_t>(Round32(a + (b - a) * t)) << shift;
                    };
                    const uint32_t c = mix(0) | mix(8) | mix(16);
                    for (int32_t x = 0; x < area.Right; ++x) PutRGB(dest, x, y, c);
                }
                break;
            case iebsPhotoLike:
                canvas.Brush.Color = 0xB0B0B0;
                canvas.FillRect(area);
                Chessboard(dest, image, ChessboardSize, back, complement);
                canvas.Pen.Color = 0;
                canvas.Brush.Style = BS_NULL;
                canvas.Rectangle(image.Left - 1, image.Top - 1, image.Right + 1, image.Bottom + 1);
                break;
            case iebsDiagonals:
                canvas.FillRect(area);
                canvas.Pen.Color = complement;
                canvas.MoveTo(0, 0);
                canvas.LineTo(area.Right, area.Bottom);
                canvas.MoveTo(area.Right, 0);
                canvas.LineTo(0, area.Bottom);
                break;
            case iebsHorizontalLines:
            case iebsVerticalLines:
            case iebsFDiagonal:
            case iebsBDiagonal:
            case iebsCross:
            case iebsDiagCross:
                canvas.FillRect(area);
                canvas.Brush.Style = BS_HATCHED;
                canvas.Brush.Hatch = BackgroundStyle() - iebsHorizontalLines + HS_HORIZONTAL;
                canvas.Brush.Color = complement;
                canvas.FillRect(area);
                break;
            default: canvas.FillRect(area);
        }
        if (!wallPaper_.Empty()) {
            const int32_t w = BackgroundStyle() == iebsPhotoLike ? image.Right - image.Left : area.Right;
            const int32_t h = BackgroundStyle() == iebsPhotoLike ? image.Bottom - image.Top : area.Bottom;
            switch (wallPaperStyle_) {
                case iewoNormal: canvas.Draw(0, 0, wallPaper_); break;
                case iewoStretch: canvas.StretchDraw({0, 0, w, h}, wallPaper_); break;
                case iewoTile:
                    for (int32_t y = 0; y < h; y += std::max(wallPaper_.Height(), 1))
                        for (int32_t x = 0; x < w; x += std::max(wallPaper_.Width(), 1)) canvas.Draw(x, y, wallPaper_);
                    break;
            }
        }
    }
}

void IEDrawViewBackground(TVidurErView& view, TIEBitmap& dest) { view.DrawViewBackground(dest); }

void TVidurErView::DrawViewBackground(TIEBitmap& dest) {
    DrawBackground(dest, {offsetX_, offsetY_, offsetX_ + dstWidth_, offsetY_ + dstHeight_}, {});
}

// ---------------------------------------------------------------- transitions

TBitmap TVidurErView::ComposedPicture() {
    const int32_t width = std::max(GetViewAreaWidth(), 1), height = std::max(GetViewAreaHeight(), 1);
    if (backBuffer_->GetWidth() != width || backBuffer_->GetHeight() != height) {
        backBuffer_->Allocate(width, height, ie24RGB);
        backBufferDirty_ = true;
    }
    if (backBufferDirty_) {
        UpdateViewRect();
        UpdateZoomTables();
        DrawLayersToBuffer(*backBuffer_, true, true, {});
        if (OnDrawBackBuffer) OnDrawBackBuffer(this);
        backBufferDirty_ = false;
    }
    TBitmap picture;
    picture.SetPixelFormat(TPixelFormat::pf24bit);
    picture.SetSize(width, height);
    for (int32_t y = 0; y < height; ++y)
        std::copy_n(backBuffer_->GetScanline(y), static_cast<size_t>(width) * 3, picture.ScanLine(y));
    return picture;
}

void TVidurErView::PrepareTransition() {
    if (transition_->Running()) transition_->Stop();
    transitionSource_ = ComposedPicture();
}

void TVidurErView::RunTransition(TIETransitionType kind, int32_t duration) {
    if (transition_->Running()) transition_->Stop();
    TBitmap source = transitionSource_;
    transitionSource_ = TBitmap();
    const TBitmap target = ComposedPicture();
    if (source.Width() != target.Width() || source.Height() != target.Height()) {
        // Without a prepared picture of this size the change starts from
        // the background.
        TIEBitmap back(target.Width(), target.Height(), ie24RGB);
        DrawViewBackground(back);
        source.SetPixelFormat(TPixelFormat::pf24bit);
        source.SetSize(target.Width(), target.Height());
        for (int32_t y = 0; y < target.Height(); ++y)
            std::copy_n(back.GetScanline(y), static_cast<size_t>(target.Width()) * 3, source.ScanLine(y));
    }
    transition_->Run(source, target, kind, duration);
    if (HandleAllocated()) Invalidate();
}

void TVidurErView::RunPanZoom(const TRect& start, const TRect& end, int32_t duration) {
    if (transition_->Running()) transition_->Stop();
    transitionSource_ = TBitmap();
    transition_->RunPanZoom(*layers_[0]->bitmap_, start, end, std::max(GetViewAreaWidth(), 1),
                            std::max(GetViewAreaHeight(), 1), duration);
    if (HandleAllocated()) Invalidate();
}

void TVidurErView::StopTransitionAndUpdate() {
    if (transition_->Running()) transition_->Stop();
    Update();
}

void TVidurErView::BlitBackBuffer(TBitmap& surface, const TRect& rect) {
    const int32_t areaWidth = GetViewAreaWidth(), areaHeight = GetViewAreaHeight();
    if (backBuffer_->GetWidth() != areaWidth || backBuffer_->GetHeight() != areaHeight) {
        backBuffer_->Allocate(areaWidth, areaHeight, ie24RGB);
        backBufferDirty_ = true;
    }
    if (backBufferDirty_) {
        // The whole buffer is composed: a part left out now would show stale
        // pixels when another part of the window is uncovered later.
        DrawLayersToBuffer(*backBuffer_, true, true, {});
        if (OnDrawBackBuffer) OnDrawBackBuffer(this);
        backBufferDirty_ = false;
    }
    const int32_t left = std::max(rect.Left, 0), top = std::max(rect.Top, 0);
    const int32_t right = std::min({rect.Right, areaWidth, surface.Width()});
    const int32_t bottom = std::min({rect.Bottom, areaHeight, surface.Height()});
    lastBlitRect_ = {left, top, std::max(right - left, 0), std::max(bottom - top, 0)};
    // The video draws the current layer's rectangle itself.
    TRect video{};
    if (VideoOverlay() && GetCurrentLayer()) {
        const TRect& d = GetCurrentLayer()->DrawRect;
        video = {d.Left, d.Top, d.Left + d.Right, d.Top + d.Bottom};
    }
    for (int32_t y = top; y < bottom; ++y) {
        const uint8_t* in = backBuffer_->GetScanline(y);
        uint8_t* out = surface.ScanLine(y);
        const bool videoRow = y >= video.Top && y < video.Bottom;
        for (int32_t x = left; x < right; ++x) {
            if (videoRow && x >= video.Left && x < video.Right) continue;
            out[4 * x] = in[3 * x];
            out[4 * x + 1] = in[3 * x + 1];
            out[4 * x + 2] = in[3 * x + 2];
            out[4 * x + 3] = 255;
        }
    }
    // The rubber line from the last polygon point to the mouse.
    if (polygonSelecting_ && !lassoSelecting_ && !IsCaptured() && !polygon_.Points.empty() &&
        polygon_.Points.back().X != TIEMask::kPolygonSeparator) {
        TIELayer* layer = GetCurrentLayer();
        TCanvas canvas(surface);
        canvas.Pen.Mode = R2_NOT;
        canvas.MoveTo(lastMouseX_, lastMouseY_);
        canvas.LineTo(layer->LayerToViewX(polygon_.Points.back().X), layer->LayerToViewY(polygon_.Points.back().Y));
    }
    // A new window gets the video's notifications.
    if (lastPaintWindow_ != 0 && lastPaintWindow_ != Handle()) GetVidurErIO()->UpdateDShowNotifyWindow();
    lastPaintWindow_ = Handle();
}

bool TVidurErView::VideoOverlay() {
    if (!io_) return false;
    TIEDirectShow* video = io_->GetDirectShow();
    return video->RendersIntoView && video->GetState() != 0;
}

void TVidurErView::Paint() {
    TBitmap* surface = PaintSurface();
    if (!surface) {
        // Outside a paint pass the next pass of the loop shows the change;
        // the drawn rectangle and the tables follow now, as a drawing would
        // make them, so conversions see the new offsets at once.
        UpdateViewRect();
        UpdateZoomTables();
        fullRepaint_ = true;
        Invalidate();
        return;
    }
    const int32_t areaWidth = GetViewAreaWidth(), areaHeight = GetViewAreaHeight();
    if (!OffScreenDrawing && (!HasParentWindow() || areaWidth <= 0 || areaHeight <= 0 || surface->Empty())) return;
    TCanvas canvas(*surface);
    if (transition_->Running()) {
        // A transition shows its frames in place of the composed picture.
        const TBitmap& frame = transition_->Frame();
        const int32_t width = std::min({frame.Width(), areaWidth, surface->Width()});
        const int32_t height = std::min({frame.Height(), areaHeight, surface->Height()});
        for (int32_t y = 0; y < height; ++y) {
            const uint8_t* in = frame.ScanLine(y);
            uint8_t* out = surface->ScanLine(y);
            for (int32_t x = 0; x < width; ++x) {
                out[4 * x] = in[3 * x];
                out[4 * x + 1] = in[3 * x + 1];
                out[4 * x + 2] = in[3 * x + 2];
                out[4 * x + 3] = 255;
            }
        }
        lastBlitRect_ = {};
        return;
    }
    const bool overlay = VideoOverlay();
    if (overlay) io_->GetDirectShow()->RepaintVideo(*this, canvas);
    try {
        if (paintLock_ == 0) {
            TRect rect{0, 0, areaWidth, areaHeight};
            if (!fullRepaint_) {
                rect = PaintRect();
                if (rect.Right == 0) rect.Right = areaWidth;
                if (rect.Bottom == 0) rect.Bottom = areaHeight;
            }
            BlitBackBuffer(*surface, rect);
            if (OnDrawCanvas) OnDrawCanvas(*this, canvas, {0, 0, areaWidth, areaHeight});
        } else {
            lastBlitRect_ = {};
        }
        fullRepaint_ = false;
        if (selectionMoveHit_ != 0 || !IsCaptured()) PaintSelection(canvas, false);
        if (OnPaint) OnPaint(this);
    } catch (const std::exception&) {
        // A failing paint leaves the window as it was.
    }
    if (drawVersion_) {
        canvas.Font.Color = 0xFFFFFF;
        canvas.Brush.Style = BS_SOLID;
        canvas.Brush.Color = 0;
        canvas.TextOut(2, 2, "Version " + VidurErVersion());
    }
    if (!HintText.empty() && EnableInteractionHints) {
        int32_t x = HintX, y = HintY;
        IEDrawHintBox(canvas, x, y, HintText, HintSample);
    }
    if (overlay && GetCurrentLayer()) {
        TIEDirectShow* video = io_->GetDirectShow();
        int32_t nw = 0, nh = 0;
        video->GetNativeVideoSize(nw, nh);
        if (nw > 0 && nh > 0) {
            const double fx = static_cast<double>(currentBitmap_->GetWidth()) / nw;
            const double fy = static_cast<double>(currentBitmap_->GetHeight()) / nh;
            const TRect& s = GetCurrentLayer()->SrcRect;
            const TRect& d = GetCurrentLayer()->DrawRect;
            if (fx > 0 && fy > 0) {
                const int32_t sx = static_cast<int32_t>(Trunc(s.Left / fx)), sy = static_cast<int32_t>(Trunc(s.Top / fy));
                video->SetVideoPosition({sx, sy, sx + static_cast<int32_t>(Trunc(s.Right / fx)),
                                         sy + static_cast<int32_t>(Trunc(s.Bottom / fy))},
                                        {d.Left, d.Top, d.Left + d.Right, d.Top + d.Bottom});
            }
        }
    }
    if (hasOwner_ && applyCursorOnPaint_) {
        SetCursor(Cursor());
        applyCursorOnPaint_ = false;
    }
}

// ---------------------------------------------------------------- gadgets of the composed buffer

TIEGrip TVidurErView::GetLayerGripAt(int32_t x, int32_t y) {
    TIELayer* layer = GetCurrentLayer();
    if (!layer) return ieNone;
    const TRect& r = layer->ClientRect;
    TPoint centres[9] = {{r.Left, r.Top},
                         {r.Right, r.Top},
                         {r.Right, r.Bottom},
                         {r.Left, r.Bottom},
                         {r.Left, (r.Top + r.Bottom) / 2},
                         {r.Right, (r.Top + r.Bottom) / 2},
                         {(r.Left + r.Right) / 2, r.Top},
                         {(r.Left + r.Right) / 2, r.Bottom},
                         {layer->LayerToViewX(Round32(layer->GetBitmap()->GetWidth() * layer->RotateCenterX)),
                          layer->LayerToViewY(Round32(layer->GetBitmap()->GetHeight() * layer->RotateCenterY))}};
    if (layer->GetRotate() != 0) {
        const TPoint* c = layer->Corners;
        for (int i = 0; i < 4; ++i) centres[i] = c[i];
        centres[4] = {(c[0].X + c[3].X) / 2, (c[0].Y + c[3].Y) / 2};
        centres[5] = {(c[1].X + c[2].X) / 2, (c[1].Y + c[2].Y) / 2};
        centres[6] = {(c[0].X + c[1].X) / 2, (c[0].Y + c[1].Y) / 2};
        centres[7] = {(c[3].X + c[2].X) / 2, (c[3].Y + c[2].Y) / 2};
    }
    for (int i = 0; i < 9; ++i)
        if (std::abs(x - centres[i].X) <= LayerGripSize && std::abs(y - centres[i].Y) <= LayerGripSize)
            return static_cast<TIEGrip>(i + 1);
    return ieNone;
}

void TVidurErView::DrawLayerGadgets(TIEBitmap& dest, int32_t index) {
    TIELayer& layer = *GetLayer(index);
    if (!layer.ShowBox) return;
    const bool current = index == currentLayer_;
    const bool box = current ? (mouseInteract_ & (IEMI(miMoveLayers) | IEMI(miResizeLayers))) != 0 : ShowAllLayerBoxes;
    const bool grips = current && (mouseInteract_ & IEMI(miResizeLayers)) && !layer.Locked;
    const bool centre = current && (mouseInteract_ & IEMI(miRotateLayers));
    TCanvas canvas(*dest.GetTBitmap());
    if (box) {
        canvas.Pen.Style = PS_DOT;
        canvas.Pen.Mode = R2_NOT;
        canvas.Brush.Style = BS_NULL;
        if (layer.GetRotate() != 0)
            canvas.Polygon({layer.Corners[0], layer.Corners[1], layer.Corners[2], layer.Corners[3]});
        else
            canvas.Rectangle(layer.ClientRect);
        canvas.Pen.Style = PS_SOLID;
        canvas.Pen.Mode = R2_COPYPEN;
    }
    if (grips || centre) {
        canvas.Pen.Color = LayerGripPenColor;
        canvas.Brush.Style = BS_SOLID;
        canvas.Brush.Color = LayerGripBrushColor;
        const TRect& r = layer.ClientRect;
        const int32_t s = LayerGripSize;
        std::vector<TPoint> at;
        if (grips) {
            if (layer.GetRotate() != 0) {
                const TPoint* c = layer.Corners;
                at = {c[0], c[1], c[2], c[3], {(c[0].X + c[3].X) / 2, (c[0].Y + c[3].Y) / 2},
                      {(c[1].X + c[2].X) / 2, (c[1].Y + c[2].Y) / 2}, {(c[0].X + c[1].X) / 2, (c[0].Y + c[1].Y) / 2},
                      {(c[3].X + c[2].X) / 2, (c[3].Y + c[2].Y) / 2}};
            } else {
                const int32_t mx = (r.Left + r.Right) / 2, my = (r.Top + r.Bottom) / 2;
                at = {{r.Left, r.Top}, {r.Right, r.Top}, {r.Right, r.Bottom}, {r.Left, r.Bottom},
                      {r.Left, my},    {r.Right, my},    {mx, r.Top},         {mx, r.Bottom}};
            }
            for (const TPoint& p : at) {
                if (LayerGripShape == 0) canvas.Rectangle(p.X - s, p.Y - s, p.X + s, p.Y + s);
                else canvas.Ellipse(p.X - s, p.Y - s, p.X + s, p.Y + s);
            }
        }
        if (centre) {
            const int32_t cx = layer.LayerToViewX(Round32(layer.GetBitmap()->GetWidth() * layer.RotateCenterX));
            const int32_t cy = layer.LayerToViewY(Round32(layer.GetBitmap()->GetHeight() * layer.RotateCenterY));
            canvas.Ellipse(cx - s, cy - s, cx + s, cy + s);
        }
    }
    if (layer.ShadeOutside && current) {
        const TRect& r = layer.ClientRect;
        for (int32_t y = 0; y < dest.GetHeight(); ++y)
            for (int32_t x = 0; x < dest.GetWidth(); ++x)
                if ((x < r.Left || x > r.Right || y < r.Top || y > r.Bottom) && (x % 2) == (y % 2))
                    PutRGB(dest, x, y, 0x616161);
    }
}

void TVidurErView::DrawGadgets(TIEBitmap& dest) {
    TIELayer* layer = GetCurrentLayer();
    if (!layer) return;
    TCanvas canvas(*dest.GetTBitmap());
    if (SelectionVisible && polygon_.Visible && mask_ && !mask_->IsEmpty()) {
        const TRect& d = layer->DrawRect;
        const TRect& s = layer->SrcRect;
        if (selectionOptions_ & IESO(iesoFilled))
            mask_->DrawInverted(canvas, d.Left, d.Top, d.Right, d.Bottom, s.Left, s.Top, s.Right, s.Bottom);
        if (selectionOptions_ & IESO(iesoMarkOuter))
            mask_->DrawOuter(*dest.GetTBitmap(), d.Left, d.Top, d.Right, d.Bottom, s.Left, s.Top, s.Right, s.Bottom);
    }
    if (ShowPixelGrid && layer->Visible && (ZoomX() >= 400 || ZoomY() >= 400) &&
        (currentBitmap_->GetWidth() > 1 || currentBitmap_->GetHeight() > 1)) {
        canvas.Pen.Mode = R2_NOT;
        const TRect& d = layer->DrawRect;
        const TRect& s = layer->SrcRect;
        for (int32_t g = 0; s.Right > 0 && g <= s.Right; ++g) {
            const int32_t x = Round32(d.Left + static_cast<double>(g) * d.Right / s.Right);
            canvas.MoveTo(x, d.Top);
            canvas.LineTo(x, d.Top + d.Bottom);
        }
        for (int32_t r = 0; s.Bottom > 0 && r <= s.Bottom; ++r) {
            const int32_t y = Round32(d.Top + static_cast<double>(r) * d.Bottom / s.Bottom);
            canvas.MoveTo(d.Left, y);
            canvas.LineTo(d.Left + d.Right, y);
        }
        canvas.Pen.Mode = R2_COPYPEN;
        if (GridMarkX >= 0 && GridMarkY >= 0) {
            canvas.Pen.Color = 0x0000FF;
            canvas.Pen.Width = 2;
            canvas.Brush.Style = BS_NULL;
            canvas.RoundRect(BitmapToViewX(GridMarkX), BitmapToViewY(GridMarkY), BitmapToViewX(GridMarkX + 1),
                             BitmapToViewY(GridMarkY + 1), 5, 5);
            canvas.Pen.Width = 1;
        }
    }
}
