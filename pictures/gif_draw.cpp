#include "pictures/gif_draw.h"

#include <algorithm>
#include <chrono>
#include <map>

#include "platform/colour.h"
#include "platform/system_colours.h"

namespace {

// TBitmap colours are 0x00RRGGBB, canvas colours have red in the low byte.
TColor ToCanvasColor(uint32_t rgb) {
    return static_cast<TColor>(((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16));
}
uint32_t FromCanvasColor(TColor color) {
    const auto c = static_cast<uint32_t>(color);
    return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}

int64_t MulDiv(int64_t a, int64_t b, int64_t c) { return c == 0 ? 0 : a * b / c; }

// A picture of the canvas under rect (white outside the canvas).
TBitmap CopyArea(TCanvas& canvas, const TRect& rect) {
    TBitmap area = MakeBitmap(rect.Right - rect.Left, rect.Bottom - rect.Top, TPixelFormat::pf24bit);
    for (int32_t y = 0; y < area.Height(); ++y) {
        uint8_t* row = area.ScanLine(y);
        for (int32_t x = 0; x < area.Width(); ++x) {
            const TColor c = canvas.GetPixel(rect.Left + x, rect.Top + y);
            area.SetPixelColor(row, x, c < 0 ? 0xFFFFFF : FromCanvasColor(c));
        }
    }
    return area;
}

void PutArea(TCanvas& canvas, const TBitmap& picture, int32_t left, int32_t top) {
    for (int32_t y = 0; y < picture.Height(); ++y) {
        const uint8_t* row = picture.ScanLine(y);
        for (int32_t x = 0; x < picture.Width(); ++x) canvas.SetPixel(left + x, top + y, ToCanvasColor(picture.PixelColor(row, x)));
    }
}

std::mutex& PainterLock() {
    static std::mutex lock;
    return lock;
}
std::map<uint32_t, TGIFPainter*>& Painters() {
    static std::map<uint32_t, TGIFPainter*> painters;
    return painters;
}
std::atomic<uint32_t> nextPainterId{1};

}  // namespace

// ---------------------------------------------------------------- frames

const TBitmap* TGIFSubImage::RenderBitmap() {
    if (Empty()) return nullptr;
    if (rendered_) return rendered_.get();
    auto bitmap = std::make_unique<TBitmap>(MakeBitmap(Width(), Height(), TPixelFormat::pf8bit));
    const TGIFColorMap& table = ActiveColorMap();
    std::vector<TPaletteEntry> entries(256);
    for (int i = 0; i < table.Count(); ++i) entries[static_cast<size_t>(i)] = TPaletteEntry{table[i].Red, table[i].Green, table[i].Blue, 0};
    bitmap->SetPaletteEntries(0, 256, entries.data());
    for (int y = 0; y < Height(); ++y)
        std::copy_n(IndexData().data() + static_cast<size_t>(y) * static_cast<size_t>(Width()), Width(), bitmap->ScanLine(y));
    mask_.clear();
    const int transparent = TransparentIndex();
    if (transparent >= 0 && HasTransparency) {
        const auto& pixels = IndexData();
        if (std::find(pixels.begin(), pixels.end(), static_cast<uint8_t>(transparent)) != pixels.end()) {
            mask_.resize(pixels.size());
            for (size_t i = 0; i < pixels.size(); ++i) mask_[i] = pixels[i] == transparent ? 1 : 0;
        }
    }
    rendered_ = std::move(bitmap);
    return rendered_.get();
}

const std::vector<uint8_t>& TGIFSubImage::RenderMask() {
    RenderBitmap();
    return mask_;
}

void TGIFSubImage::DropRendered() {
    rendered_.reset();
    mask_.clear();
}

void TGIFSubImage::Draw(TCanvas& canvas, const TRect& rect, bool tile, bool transparent) {
    const TBitmap* bitmap = RenderBitmap();
    if (!bitmap) return;
    const std::vector<uint8_t>& mask = RenderMask();
    const bool masked = transparent && !mask.empty();
    const int32_t screenWidth = image_ && image_->Width() > 0 ? image_->Width() : Width();
    const int32_t screenHeight = image_ && image_->Height() > 0 ? image_->Height() : Height();
    const int32_t rw = rect.Right - rect.Left, rh = rect.Bottom - rect.Top;
    std::vector<TPaletteEntry> palette(256);
    bitmap->GetPaletteEntries(0, 256, palette.data());
    auto put = [&](int32_t tx, int32_t ty, int32_t sx, int32_t sy) {
        const size_t at = static_cast<size_t>(sy) * static_cast<size_t>(Width()) + static_cast<size_t>(sx);
        if (masked && mask[at]) return;
        const TPaletteEntry& e = palette[IndexData()[at]];
        canvas.SetPixel(tx, ty, static_cast<TColor>(e.peRed | e.peGreen << 8 | e.peBlue << 16));
    };
    if (tile) {
        for (int32_t oy = rect.Top + Top(); oy < rect.Bottom; oy += std::max(screenHeight, 1))
            for (int32_t ox = rect.Left + Left(); ox < rect.Right; ox += std::max(screenWidth, 1))
                for (int32_t y = 0; y < Height() && oy + y < rect.Bottom; ++y)
                    for (int32_t x = 0; x < Width() && ox + x < rect.Right; ++x) put(ox + x, oy + y, x, y);
        return;
    }
    const auto left = static_cast<int32_t>(rect.Left + MulDiv(Left(), rw, screenWidth));
    const auto right = static_cast<int32_t>(rect.Left + MulDiv(Left() + Width(), rw, screenWidth));
    const auto top = static_cast<int32_t>(rect.Top + MulDiv(Top(), rh, screenHeight));
    const auto bottom = static_cast<int32_t>(rect.Top + MulDiv(Top() + Height(), rh, screenHeight));
    const int32_t tw = right - left, th = bottom - top;
    if (tw <= 0 || th <= 0) return;
    for (int32_t ty = 0; ty < th; ++ty) {
        const auto sy = static_cast<int32_t>(MulDiv(ty, Height(), th));
        for (int32_t tx = 0; tx < tw; ++tx) put(left + tx, top + ty, static_cast<int32_t>(MulDiv(tx, Width(), tw)), sy);
    }
}

// ---------------------------------------------------------------- the image

bool TGIFImage::Dithering() const {
    // Screens here have 24 bits or more: automatic dithering never applies.
    constexpr bool autoDither = false;
    return (PaintOptions & poDither) && (!(PaintOptions & poAutoDither) || autoDither);
}

std::vector<TPaletteEntry> TGIFImage::GetPalette() {
    if (paletteLookup_) throw GIFException("No global or local color table defined");
    paletteLookup_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{paletteLookup_};
    if (!globalPalette_.empty()) return globalPalette_;
    std::vector<TPaletteEntry> palette;
    if (Dithering()) {
        for (int r = 0; r < 6; ++r)
            for (int g = 0; g < 6; ++g)
                for (int b = 0; b < 6; ++b)
                    palette.push_back(TPaletteEntry{static_cast<uint8_t>(r * 51), static_cast<uint8_t>(g * 51), static_cast<uint8_t>(b * 51), 4});
        globalPalette_ = palette;
    } else if (GlobalColorMap().Count() > 0) {
        for (const TGIFColor& c : GlobalColorMap().Colors()) palette.push_back(TPaletteEntry{c.Red, c.Green, c.Blue, 4});
        globalPalette_ = palette;
    } else if (!frames_.empty()) {
        for (const TGIFColor& c : frames_.front()->ActiveColorMap().Colors()) palette.push_back(TPaletteEntry{c.Red, c.Green, c.Blue, 4});
    }
    return palette;
}

void TGIFImage::SetPalette(const std::vector<TPaletteEntry>& palette) {
    globalPalette_ = palette;
    DropRendered();
}

void TGIFImage::DropRendered() {
    rendered_.reset();
    for (const auto& frame : frames_) frame->DropRendered();
}

void TGIFImage::AssignTo(TBitmap& bitmap) {
    if (frames_.empty()) {
        bitmap = TBitmap();
        return;
    }
    if (!rendered_) {
        TGIFSubImage& first = *frames_.front();
        const int32_t width = std::max<int32_t>(Width(), first.Left() + first.Width());
        const int32_t height = std::max<int32_t>(Height(), first.Top() + first.Height());
        auto picture = std::make_unique<TBitmap>(MakeBitmap(width, height, TPixelFormat::pf24bit));
        TCanvas canvas(*picture);
        canvas.Brush.Color = static_cast<uint32_t>(BackgroundFillColor != clNone ? BackgroundFillColor
                                                   : GlobalColorMap().Count() > 0 ? BackgroundColor()
                                                                                  : 0xFFFFFF);
        canvas.FillRect(TRect{0, 0, width, height});
        first.Draw(canvas, TRect{0, 0, width, height}, false, true);
        rendered_ = std::move(picture);
    }
    bitmap = *rendered_;
}

void TGIFImage::StopDraw() { drawPainter_.reset(); }

void TGIFImage::Draw(TCanvas& canvas, const TRect& rect) {
    if (drawing_ || frames_.empty() || rect.Right <= rect.Left || rect.Bottom <= rect.Top) return;
    drawing_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{drawing_};
    if (Count() == 1 || !(PaintOptions & poAnimate)) {
        const int index = ForcedFrame >= 0 && ForcedFrame < Count() ? ForcedFrame : 0;
        frames_[static_cast<size_t>(index)]->Draw(canvas, rect, (PaintOptions & poTile) != 0,
                                                   (PaintOptions & poTransparent) != 0);
        return;
    }
    const bool sameRect = drawPainter_ && drawPainter_->Rect().Right - drawPainter_->Rect().Left == rect.Right - rect.Left &&
                          drawPainter_->Rect().Bottom - drawPainter_->Rect().Top == rect.Bottom - rect.Top;
    if (!sameRect) {
        StopDraw();
        const TBitmap background = CopyArea(canvas, rect);
        uint16_t options = PaintOptions;
        // A painter thread needs a window to post to.
        if (PaintWindow == 0) options = static_cast<uint16_t>(options & ~poThreaded);
        drawPainter_ = std::make_unique<TGIFPainter>(*this, options, rect, &background, static_cast<HWND>(PaintWindow));
        drawPainter_->Start();
    }
    PutArea(canvas, drawPainter_->Picture(), rect.Left, rect.Top);
}

// ---------------------------------------------------------------- the painter

TGIFPainter::TGIFPainter(TGIFImage& image, uint16_t options, const TRect& rect, const TBitmap* background, HWND window)
    : image_(image), options_(options), rect_(rect), window_(window), id_(nextPainterId++) {
    if (image.Count() <= 1) options_ = static_cast<uint16_t>(options_ & ~(poThreaded | poAnimate));
    speed_ = image.PlaybackSpeed;
    if (image.BackgroundFillColor != TGIFImage::clNone) backgroundColor_ = FromCanvasColor(static_cast<TColor>(image.BackgroundFillColor));
    else if (image.GlobalColorMap().Count() == 0) backgroundColor_ = FromCanvasColor(ColorToRGB(SystemColours::clWindow));
    else backgroundColor_ = FromCanvasColor(static_cast<TColor>(image.BackgroundColor()));
    const int32_t width = rect.Right - rect.Left, height = rect.Bottom - rect.Top;
    if (background && background->Width() == width && background->Height() == height) background_ = *background;
    else {
        background_ = MakeBitmap(width, height, TPixelFormat::pf24bit);
        TCanvas fill(background_);
        fill.Brush.Color = static_cast<uint32_t>(ToCanvasColor(backgroundColor_));
        fill.FillRect(TRect{0, 0, width, height});
    }
    backup_ = background_;
    shown_ = background_;
    OnPainterStart = image.OnPainterStart;
    OnFramePaint = image.OnFramePaint;
    OnFramePainted = image.OnFramePainted;
    OnLoopRestart = image.OnLoopRestart;
    OnPainterEnd = image.OnPainterEnd;
    std::lock_guard<std::mutex> guard(PainterLock());
    Painters()[id_] = this;
}

TGIFPainter::~TGIFPainter() {
    Stop();
    std::lock_guard<std::mutex> guard(PainterLock());
    Painters().erase(id_);
}

TGIFPainter* TGIFPainter::Find(uint32_t id) {
    std::lock_guard<std::mutex> guard(PainterLock());
    auto found = Painters().find(id);
    return found == Painters().end() ? nullptr : found->second;
}

void TGIFPainter::Start() {
    if (image_.Count() == 0 || rect_.Right <= rect_.Left || rect_.Bottom <= rect_.Top) return;
    activeFrame_ = 0;
    loopCount_ = 1;
    loopPoint_ = 0;
    looping_ = false;
    previousDisposal_ = 1;
    finished_ = false;
    if (OnPainterStart) OnPainterStart(*this);
    if (Threaded()) thread_ = std::thread([this] { ThreadLoop(); });
    else timer_ = std::make_unique<TTimer>(nullptr);
    if (timer_) {
        timer_->SetEnabled(false);
        timer_->OnTimer = [this](TComponent*) {
            timer_->SetEnabled(false);
            Advance();
        };
    }
    ShowFrame();
    Schedule();
}

void TGIFPainter::Stop() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
    timer_.reset();
}

void TGIFPainter::Advance() {
    if (finished_ || activeFrame_ < 0) return;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (stopping_) return;
        posted_ = false;
    }
    int next = activeFrame_ + 1;
    if (!(options_ & poAnimate)) {
        End();
        return;
    }
    if (next >= image_.Count() || image_.GetSubImage(next).Empty()) {
        if (loopCount_ > 0) --loopCount_;
        const bool again = (options_ & poRepeat) && (loopCount_ != 0 || (options_ & poRepeatForever));
        if (!again) {
            End();
            return;
        }
        next = loopPoint_;
        activeFrame_ = next;
        if (OnLoopRestart) OnLoopRestart(*this);
    }
    activeFrame_ = next;
    ShowFrame();
    Schedule();
    if (window_)
        if (TWinControl* control = Application().FindControl(window_)) control->Invalidate();
}

void TGIFPainter::ShowFrame() {
    TGIFSubImage& frame = image_.GetSubImage(activeFrame_);
    if (OnFramePaint) OnFramePaint(*this);
    int disposal = 1;
    int delay = 0;
    for (const auto& extension : frame.ExtensionBlocks()) {
        if (const auto* loop = dynamic_cast<const TGIFAppExtNSLoop*>(extension.get())) {
            if (!looping_) {
                looping_ = true;
                loopCount_ = loop->LoopCount;
                if ((loop->LoopCount == 0 || (options_ & poRepeatForever)) && Threaded()) loopCount_ = -1;
                loopPoint_ = activeFrame_;
            }
        } else if (const auto* control = dynamic_cast<const TGIFGraphicControlExtension*>(extension.get())) {
            disposal = control->DisposalMethod();
            delay = control->DelayTime();
        }
    }
    Compose(frame, disposal);
    started_ = true;
    shownFrame_ = activeFrame_;
    ++paintCount_;
    previousDisposal_ = disposal;
    delay_ = delay != 0 ? delay : kGIFDefaultDelay;
    delay_ = std::max(delay_, kGIFMinimumDelay);
    if (!Threaded()) delay_ = std::min(delay_, kGIFMaximumDelay);
    if (OnFramePainted) OnFramePainted(*this);
}

TRect TGIFPainter::FrameRect(const TGIFSubImage& frame) const {
    const int32_t rw = rect_.Right - rect_.Left, rh = rect_.Bottom - rect_.Top;
    const int32_t sw = std::max(image_.Width(), 1), sh = std::max(image_.Height(), 1);
    return TRect{static_cast<int32_t>(MulDiv(frame.Left(), rw, sw)), static_cast<int32_t>(MulDiv(frame.Top(), rh, sh)),
                 static_cast<int32_t>(MulDiv(frame.Left() + frame.Width(), rw, sw)),
                 static_cast<int32_t>(MulDiv(frame.Top() + frame.Height(), rh, sh))};
}

void TGIFPainter::DrawFrameInto(TBitmap& target, const TGIFSubImage& frame) {
    TCanvas canvas(target);
    const_cast<TGIFSubImage&>(frame).Draw(canvas, TRect{0, 0, target.Width(), target.Height()}, (options_ & poTile) != 0,
                                          (options_ & poTransparent) != 0);
}

void TGIFPainter::ClearFrameArea(TBitmap& target, const TGIFSubImage& frame) {
    const TRect area = FrameRect(frame);
    const bool wholeTiles = (options_ & poTile) != 0;
    for (int32_t y = 0; y < target.Height(); ++y) {
        uint8_t* row = target.ScanLine(y);
        const uint8_t* under = background_.ScanLine(y);
        for (int32_t x = 0; x < target.Width(); ++x) {
            bool inside = x >= area.Left && x < area.Right && y >= area.Top && y < area.Bottom;
            if (wholeTiles) {
                const int32_t sw = std::max(image_.Width(), 1), sh = std::max(image_.Height(), 1);
                const int32_t fx = ((x - frame.Left()) % sw + sw) % sw, fy = ((y - frame.Top()) % sh + sh) % sh;
                inside = x >= frame.Left() && y >= frame.Top() && fx < frame.Width() && fy < frame.Height();
            }
            if (!inside) continue;
            target.SetPixelColor(row, x, (options_ & poTransparent) ? background_.PixelColor(under, x) : backgroundColor_);
        }
    }
}

void TGIFPainter::Compose(const TGIFSubImage& frame, int disposal) {
    if ((options_ & poClearOnRestart) && activeFrame_ == 0) ClearFrameArea(backup_, frame);
    switch (disposal) {
        case 0:
        case 1:
            DrawFrameInto(backup_, frame);
            shown_ = backup_;
            break;
        case 2:
            DrawFrameInto(backup_, frame);
            shown_ = backup_;
            ClearFrameArea(backup_, frame);
            break;
        case 3:
            // Shown on a copy: what lay under the frame stays for the next.
            shown_ = backup_;
            DrawFrameInto(shown_, frame);
            break;
        default: break;  // 4 to 7 draw nothing
    }
}

void TGIFPainter::Schedule() {
    if (!(options_ & poAnimate)) {
        nextWait_ = -1;
        return;
    }
    int64_t wait;
    if (speed_ > 0) wait = MulDiv(int64_t{delay_} * kGIFDelayMs, 100, speed_);
    else if (Threaded()) wait = speed_ == 0 ? -1 : 0;
    else wait = 12000;
    nextWait_ = wait;
    if (Threaded()) {
        {
            std::lock_guard<std::mutex> guard(lock_);
            threadWait_ = wait;
        }
        wake_.notify_all();
    } else if (timer_) {
        timer_->SetInterval(static_cast<uint32_t>(std::max<int64_t>(wait, 1)));
        timer_->SetEnabled(true);
    }
}

void TGIFPainter::End() {
    activeFrame_ = -1;
    finished_ = true;
    nextWait_ = -1;
    if (timer_) timer_->SetEnabled(false);
    {
        std::lock_guard<std::mutex> guard(lock_);
        threadWait_ = -1;
    }
    if (OnPainterEnd) OnPainterEnd(*this);
}

// The thread waits the time the window thread set, posts, and waits for the
// next frame to be shown before it waits again. It touches nothing else.
void TGIFPainter::ThreadLoop() {
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
        wake_.wait(guard, [this] { return stopping_ || (threadWait_ >= 0 && !posted_); });
        if (stopping_) return;
        const int64_t wait = threadWait_;
        threadWait_ = -1;
        if (wait > 0 &&
            wake_.wait_for(guard, std::chrono::milliseconds(wait), [this] { return stopping_; }))
            return;
        posted_ = true;
        const HWND window = window_;
        const uint32_t id = id_;
        guard.unlock();
        const bool delivered = Application().PostMessage(window, WM_GIFPAINTER, static_cast<intptr_t>(id));
        guard.lock();
        if (!delivered) return;
    }
}

// ---------------------------------------------------------------- the view

TGIFView::TGIFView(TComponent* owner) : TWinControl(owner), image_(std::make_unique<TGIFImage>()) {
    HandleMessage(WM_GIFPAINTER, [](TMessage& message, const TMessageHandler&) {
        if (TGIFPainter* painter = TGIFPainter::Find(static_cast<uint32_t>(message.WParam))) painter->Advance();
    });
}

TGIFView::~TGIFView() { image_->StopDraw(); }

void TGIFView::DestroyWnd() {
    image_->StopDraw();
    TWinControl::DestroyWnd();
}

void TGIFView::PaintWindow(TBitmap& surface) {
    image_->PaintWindow = static_cast<uint32_t>(Handle());
    TCanvas canvas(surface);
    const TRect rect = Stretch ? TRect{0, 0, ClientWidth(), ClientHeight()} : TRect{0, 0, image_->Width(), image_->Height()};
    image_->Draw(canvas, rect);
}
