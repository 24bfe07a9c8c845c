// The transition engine: the frame of each kind at a step (1024ths of the
// way), the timer that advances the step by the elapsed share of the
// duration, and the hand-over to the view.
#include "imaging/core/ie_transitions.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_view.h"
#include "platform/colour.h"
#include "platform/errors.h"
#include "platform/mathutil.h"
#include "platform/random.h"
#include "platform/ui/application.h"

namespace {

const TEffect* effectTable = nullptr;

int32_t Round32(double x) { return static_cast<int32_t>(RoundHalfEven(x)); }

uint64_t TickNow() { return Application().Backend().Now(); }

// The picture at the frame size in 24 bits: drawn at the top-left corner
// over the background where it is smaller.
void Prepare(TBitmap& out, const TBitmap& picture, int32_t width, int32_t height, TColor background) {
    out = TBitmap();
    out.SetPixelFormat(TPixelFormat::pf24bit);
    out.SetSize(width, height);
    TCanvas canvas(out);
    if (picture.Width() < width || picture.Height() < height) {
        canvas.Brush.Style = BS_SOLID;
        canvas.Brush.Color = background;
        canvas.FillRect({0, 0, width, height});
    }
    canvas.Draw(0, 0, picture);
}

void ResetTo1x1(TBitmap& bitmap) {
    bitmap = TBitmap();
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    bitmap.SetSize(1, 1);
}

}  // namespace

void IESetEffectTable(const TEffect* table) { effectTable = table; }
const TEffect* IEEffectTable() { return effectTable; }

std::string IETransitionName(TIETransitionType kind) {
    if (!effectTable || kind < 1 || kind > IEEffectTableRows) return {};
    return effectTable[kind - 1].Name;
}

TIETransitionEffects::TIETransitionEffects(TIEView* view) : view_(view) {
    ResetTo1x1(source_);
    ResetTo1x1(target_);
    ResetTo1x1(frame_);
}

TIETransitionEffects::~TIETransitionEffects() {
    if (timer_) timer_->SetEnabled(false);
    // The view's paint lock is the view's own again.
    if (locked_ && view_) view_->UnlockPaintNoUpdate();
}

int32_t TIETransitionEffects::StepAt(uint32_t elapsed, int32_t duration, TIETransitionTiming timing) {
    if (duration <= 0) return 1024;
    const double t = static_cast<double>(elapsed) / duration;
    double step = 0;
    switch (timing) {
        case iettExponential: step = std::exp(5 * t - 2.718) / 10 * 1024; break;
        case iettLogarithmic:
            // ln(10t) has no value at 0 and falls below the start near it:
            // the step stays at 0 there.
            step = t > 0 ? (std::log(10 * t) + 2.718) / 5 * 1024 : 0;
            break;
        default: step = t * 1024; break;
    }
    return std::clamp(static_cast<int32_t>(Trunc(std::max(step, 0.0))), 0, 1024);
}

void TIETransitionEffects::Start(TIETransitionType kind, int32_t duration) {
    kind_ = kind;
    Duration = duration;
    step_ = 0;
    drawnCount_ = 0;
    frame_ = source_;
    startTick_ = TickNow();
    if (view_ && !locked_) {
        view_->LockPaint();
        locked_ = true;
    }
    running_ = true;
    // The timer is made on the first transition: a view that never runs
    // one keeps no timer of the message loop.
    if (!timer_) {
        timer_ = std::make_unique<TTimer>(nullptr);
        timer_->SetEnabled(false);
        timer_->SetInterval(1);
        timer_->OnTimer = [this](TComponent*) { TimerStep(); };
    }
    timer_->SetEnabled(true);
}

void TIETransitionEffects::Run(const TBitmap& source, const TBitmap& target, TIETransitionType kind, int32_t duration) {
    if (kind == iettNone || kind >= iettPanZoom) throw Exception("Transition kind out of range");
    if (duration < 1) throw Exception("Transition duration must be at least 1 ms");
    if (running_) Stop();
    width_ = std::max({source.Width(), target.Width(), 1});
    height_ = std::max({source.Height(), target.Height(), 1});
    const TColor background = view_ ? ColorToRGB(view_->Background()) : 0;
    Prepare(source_, source, width_, height_, background);
    Prepare(target_, target, width_, height_, background);
    Start(kind, duration);
}

void TIETransitionEffects::RunPanZoom(TIEBitmap& bitmap, const TRect& start, const TRect& end, int32_t width,
                                      int32_t height, int32_t duration) {
    if (duration < 1) throw Exception("Transition duration must be at least 1 ms");
    if (width < 1 || height < 1) throw Exception("Transition frame must be at least 1 x 1 pixels");
    if (bitmap.GetWidth() < 1 || bitmap.GetHeight() < 1) throw Exception("Pan-zoom picture is empty");
    if (running_) Stop();
    width_ = width;
    height_ = height;
    PanZoomBitmap = &bitmap;
    PanZoomStart = start;
    PanZoomEnd = end;
    source_ = TBitmap();
    source_.SetPixelFormat(TPixelFormat::pf24bit);
    source_.SetSize(width, height);
    target_ = source_;
    Start(iettPanZoom, duration);
}

void TIETransitionEffects::Stop() {
    if (!running_ || kind_ == iettNone) return;
    if (timer_) timer_->SetEnabled(false);
    running_ = false;
    ResetTo1x1(source_);
    ResetTo1x1(target_);
    ResetTo1x1(frame_);
    if (view_ && locked_) {
        locked_ = false;
        view_->UnlockPaintNoUpdate();
    }
    if (view_ && UpdateOnStop) view_->Update();
    if (OnTransitionStop) OnTransitionStop(view_);
}

void TIETransitionEffects::TimerStep() {
    if (!running_) return;
    if (OnTransitionStep) OnTransitionStep(view_, step_);
    if (!running_) return;  // the handler stopped it
    DrawFrame(step_);
    if (view_ && view_->HandleAllocated()) view_->Invalidate();
    const uint32_t elapsed = static_cast<uint32_t>(TickNow() - startTick_);
    if (elapsed >= static_cast<uint32_t>(Duration)) {
        if (UpdateOnStop && kind_ != iettPanZoom) frame_ = target_;
        Stop();
        return;
    }
    step_ = StepAt(elapsed, Duration, Timing);
}

// ---------------------------------------------------------------- frames

void TIETransitionEffects::CopyBlock(const TBitmap& from, int32_t x, int32_t y, int32_t w, int32_t h, int32_t dx,
                                     int32_t dy) {
    if (w <= 0 || h <= 0) return;
    TCanvas canvas(frame_);
    canvas.CopyRect({dx, dy, dx + w, dy + h}, from, {x, y, x + w, y + h});
}

void TIETransitionEffects::RedLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    TCanvas canvas(frame_);
    canvas.Pen.Color = 255;
    canvas.MoveTo(x1, y1);
    canvas.LineTo(x2, y2);
}

void TIETransitionEffects::Blend(int32_t s) {
    const size_t bytes = static_cast<size_t>(width_) * 3;
    for (int32_t y = 0; y < height_; ++y) {
        const uint8_t* a = source_.ScanLine(y);
        const uint8_t* b = target_.ScanLine(y);
        uint8_t* out = frame_.ScanLine(y);
        for (size_t i = 0; i < bytes; ++i)
            out[i] = static_cast<uint8_t>((a[i] * (1024 - s) + b[i] * s) >> 10);
    }
}

void TIETransitionEffects::Fade(int32_t s, bool in) {
    const TColor back = view_ ? ColorToRGB(view_->Background()) : 0;
    const uint8_t bgr[3] = {static_cast<uint8_t>((back >> 16) & 255), static_cast<uint8_t>((back >> 8) & 255),
                            static_cast<uint8_t>(back & 255)};
    for (int32_t y = 0; y < height_; ++y) {
        const uint8_t* picture = in ? target_.ScanLine(y) : source_.ScanLine(y);
        uint8_t* out = frame_.ScanLine(y);
        for (int32_t x = 0; x < width_; ++x)
            for (int c = 0; c < 3; ++c) {
                const int32_t p = picture[3 * x + c], g = bgr[c];
                out[3 * x + c] = static_cast<uint8_t>(in ? (g * (1024 - s) + p * s) >> 10 : (g * s + p * (1024 - s)) >> 10);
            }
    }
}

void TIETransitionEffects::DrawPanZoom(int32_t s) {
    if (!PanZoomBitmap) return;
    const int32_t W = width_, H = height_;
    auto lerp = [s](int32_t a, int32_t b) { return static_cast<int32_t>(Trunc(a - s * static_cast<double>(a - b) / 1024)); };
    int32_t left = lerp(PanZoomStart.Left, PanZoomEnd.Left), top = lerp(PanZoomStart.Top, PanZoomEnd.Top);
    const int32_t right = lerp(PanZoomStart.Right, PanZoomEnd.Right), bottom = lerp(PanZoomStart.Bottom, PanZoomEnd.Bottom);
    int32_t w = right - left, h = bottom - top;
    bool clipped = false;
    if (left < 0) left = 0, w = right, clipped = true;
    if (w > PanZoomBitmap->GetWidth()) w = PanZoomBitmap->GetWidth(), clipped = true;
    if (top < 0) top = 0, h = bottom, clipped = true;
    if (h > PanZoomBitmap->GetHeight()) h = PanZoomBitmap->GetHeight(), clipped = true;
    if (w <= 0 || h <= 0) return;
    TResampleFilter filter = rfNone;
    auto* view = dynamic_cast<TVidurErView*>(view_);
    if (view) filter = view->ZoomFilter();
    if (!clipped) {
        PanZoomBitmap->DrawToTBitmap(frame_, 0, 0, W, H, left, top, w, h, 255, filter, 0);
        return;
    }
    const double scale = static_cast<double>(w) / W > static_cast<double>(h) / H ? static_cast<double>(W) / w
                                                                                   : static_cast<double>(H) / h;
    const int32_t sw = Round32(w * scale), sh = Round32(h * scale);
    const int32_t dx = static_cast<int32_t>(Trunc(W / 2.0 - sw / 2.0)), dy = static_cast<int32_t>(Trunc(H / 2.0 - sh / 2.0));
    if (view) {
        TIEBitmap back(W, H, ie24RGB);
        IEDrawViewBackground(*view, back);
        TCanvas canvas(frame_);
        canvas.Draw(0, 0, *back.GetTBitmap());
    } else {
        TCanvas canvas(frame_);
        canvas.Brush.Color = view_ ? ColorToRGB(view_->Background()) : 0;
        canvas.FillRect({0, 0, W, H});
    }
    PanZoomBitmap->DrawToTBitmap(frame_, dx, dy, sw, sh, left, top, w, h, 255, filter, 0);
}

void TIETransitionEffects::DrawFrame(int32_t s) {
    s = std::clamp(s, 0, 1024);
    const int32_t W = width_, H = height_;
    if (frame_.Width() != W || frame_.Height() != H) frame_ = source_;
    auto sourceAtZero = [&] {
        if (s == 0) frame_ = source_;
    };
    TCanvas canvas(frame_);
    switch (kind_) {
        case iettNone: return;
        case iettCrossDissolve: Blend(s); return;
        case iettFadeOut: Fade(s, false); return;
        case iettFadeIn: Fade(s, true); return;
        case iettFadeOutIn:
            if (s < 512) Fade(2 * s, false);
            else Fade(2 * s - 1024, true);
            return;
        case iettLeftRight1:
        case iettLeftRight2: {
            sourceAtZero();
            const int32_t x = (s * W) >> 10;
            CopyBlock(target_, 0, 0, x, H, 0, 0);
            if (kind_ == iettLeftRight2) RedLine(x, 0, x, H);
            return;
        }
        case iettRightLeft1:
        case iettRightLeft2: {
            sourceAtZero();
            const int32_t x = Round32(W * (1024.0 - s) / 1024);
            CopyBlock(target_, x, 0, Round32(s * static_cast<double>(W) / 1024), H, x, 0);
            if (kind_ == iettRightLeft2) RedLine(x, 0, x, H);
            return;
        }
        case iettUpDown1:
        case iettUpDown2: {
            sourceAtZero();
            const int32_t y = Round32(s * static_cast<double>(H) / 1024);
            CopyBlock(target_, 0, 0, W, y, 0, 0);
            if (kind_ == iettUpDown2) RedLine(0, y, W, y);
            return;
        }
        case iettDownUp1:
        case iettDownUp2: {
            sourceAtZero();
            const int32_t y = Round32(H * (1024.0 - s) / 1024);
            CopyBlock(target_, 0, y, W, Round32(s * static_cast<double>(H) / 1024), 0, y);
            if (kind_ == iettDownUp2) RedLine(0, y, W, y);
            return;
        }
        case iettFromUpLeft:
        case iettFromUpRight:
        case iettFromBottomLeft:
        case iettFromBottomRight: {
            sourceAtZero();
            const int32_t dx = ((1024 - s) * W) >> 10, dy = ((1024 - s) * H) >> 10;
            const int32_t x = kind_ == iettFromUpLeft || kind_ == iettFromBottomLeft ? -dx : dx;
            const int32_t y = kind_ == iettFromUpLeft || kind_ == iettFromUpRight ? -dy : dy;
            CopyBlock(target_, 0, 0, W, H, x, y);
            return;
        }
        case iettMoveLeftRight1:
        case iettMoveLeftRight2:
        case iettMoveRightLeft1:
        case iettMoveRightLeft2: {
            const bool leftRight = kind_ == iettMoveLeftRight1 || kind_ == iettMoveLeftRight2;
            const int32_t c = leftRight ? (s * W) >> 10 : ((1024 - s) * W) >> 10;
            for (int32_t y = 0; y < H; ++y) {
                uint8_t* out = frame_.ScanLine(y);
                const uint8_t* a = source_.ScanLine(y);
                const uint8_t* b = target_.ScanLine(y);
                const size_t left = static_cast<size_t>(c) * 3, rest = static_cast<size_t>(W - c) * 3;
                switch (kind_) {
                    case iettMoveLeftRight1:
                        std::memcpy(out, b + rest, left);
                        std::memcpy(out + left, a, rest);
                        break;
                    case iettMoveLeftRight2:
                        std::memcpy(out, b, left);
                        std::memcpy(out + left, a, rest);
                        break;
                    case iettMoveRightLeft1:
                        std::memcpy(out, a + rest, left);
                        std::memcpy(out + left, b, rest);
                        break;
                    default:
                        std::memcpy(out, a + rest, left);
                        std::memcpy(out + left, b + left, rest);
                        break;
                }
            }
            return;
        }
        case iettMoveUpDown1:
        case iettMoveUpDown2:
        case iettMoveDownUp1:
        case iettMoveDownUp2: {
            const bool down = kind_ == iettMoveUpDown1 || kind_ == iettMoveUpDown2;
            const int32_t n = down ? (s * H) >> 10 : ((1024 - s) * H) >> 10;
            const size_t bytes = static_cast<size_t>(W) * 3;
            for (int32_t y = 0; y < H; ++y) {
                const uint8_t* from;
                switch (kind_) {
                    case iettMoveUpDown1: from = y < n ? target_.ScanLine(H - n + y) : source_.ScanLine(y - n); break;
                    case iettMoveUpDown2: from = y < n ? target_.ScanLine(y) : source_.ScanLine(y - n); break;
                    case iettMoveDownUp1: from = y < n ? source_.ScanLine(H - n + y) : target_.ScanLine(y - n); break;
                    default: from = y < n ? source_.ScanLine(H - n + y) : target_.ScanLine(y); break;
                }
                std::memcpy(frame_.ScanLine(y), from, bytes);
            }
            return;
        }
        case iettRandomPoints: {
            if (s == 0) {
                frame_ = source_;
                return;
            }
            const int32_t total = Round32(s * static_cast<double>(W) * (s / 180.0) / 1024);
            for (int32_t y = 0; y < H; ++y) {
                uint8_t* out = frame_.ScanLine(y);
                const uint8_t* b = target_.ScanLine(y);
                for (int32_t i = drawnCount_; i < total; ++i) {
                    const uint32_t x = DefaultRandom().Next(static_cast<uint32_t>(W));
                    std::memcpy(out + 3 * x, b + 3 * x, 3);
                }
            }
            drawnCount_ = std::max(drawnCount_, total);
            return;
        }
        case iettRandomBoxes: {
            if (s == 0) {
                frame_ = source_;
                return;
            }
            const int32_t total = Round32(s * static_cast<double>((W * H) / 64) * (s / 180.0) / 1024);
            for (int32_t i = drawnCount_; i < total; ++i) {
                const int32_t x = static_cast<int32_t>(DefaultRandom().Next(static_cast<uint32_t>(W))) & ~7;
                const int32_t y = static_cast<int32_t>(DefaultRandom().Next(static_cast<uint32_t>(H))) & ~7;
                canvas.CopyRect({x, y, x + 8, y + 8}, target_, {x, y, x + 8, y + 8});
            }
            drawnCount_ = std::max(drawnCount_, total);
            return;
        }
        case iettCenter1:
        case iettCenterZoom1: {
            sourceAtZero();
            const int32_t x = W / 2 - ((s * (W / 2)) >> 10), y = H / 2 - ((s * (H / 2)) >> 10);
            const int32_t w = (s * W) >> 10, h = (s * H) >> 10;
            if (kind_ == iettCenter1) {
                CopyBlock(target_, x, y, w, h, x, y);
            } else if (w > 0 && h > 0) {
                canvas.StretchMode = HALFTONE;
                canvas.CopyRect({x, y, x + w, y + h}, target_, {0, 0, W, H});
            }
            return;
        }
        case iettCenter2:
        case iettCenterZoom2: {
            frame_ = target_;
            const int32_t r = 1024 - s;
            const int32_t x = W / 2 - ((r * (W / 2)) >> 10), y = H / 2 - ((r * (H / 2)) >> 10);
            const int32_t w = (r * W) >> 10, h = (r * H) >> 10;
            if (kind_ == iettCenter2) {
                CopyBlock(source_, x, y, w, h, x, y);
            } else if (w > 0 && h > 0) {
                TCanvas on(frame_);
                on.StretchMode = HALFTONE;
                on.CopyRect({x, y, x + w, y + h}, source_, {0, 0, W, H});
            }
            return;
        }
        case iettPanZoom: DrawPanZoom(s); return;
        default: {
            if (s == 0) {
                frame_ = source_;
                return;
            }
            const TEffect* table = effectTable;
            if (!table || kind_ > IEEffectTableRows || !table[kind_ - 1].Painter) return;
            canvas.StretchMode = HALFTONE;
            table[kind_ - 1].Painter(canvas, source_, target_, TRect{0, 0, W, H}, 1, Round32(s / 1024.0 * 100));
            return;
        }
    }
}
