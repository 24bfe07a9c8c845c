#include "controls/ui/ucbuttons.h"

#include <algorithm>

#include "controls/ucgraphics.h"
#include "controls/ui/ucforms.h"
#include "controls/ui/ucstdctrls.h"

namespace {
constexpr TColor clBtnFace = static_cast<TColor>(0x8000000F);
constexpr TColor clBtnShadow = static_cast<TColor>(0x80000010);
constexpr TColor clBtnText = static_cast<TColor>(0x80000012);
constexpr TColor clBtnHighlight = static_cast<TColor>(0x80000014);
constexpr TColor cl3DDkShadow = static_cast<TColor>(0x80000015);
constexpr TColor clWindowFrame = static_cast<TColor>(0x80000006);

uint32_t Rgb(TColor color) { return static_cast<uint32_t>(ColorToRGB(color)); }

void Line(TCanvas& canvas, TColor color, int x1, int y1, int x2, int y2) {
    canvas.Pen.Color = Rgb(color);
    canvas.MoveTo(x1, y1);
    canvas.LineTo(x2, y2);
}

// A push button's edge: raised (two pixels, light on the top and left), or
// pressed (one shadow line round it); the rectangle shrinks inside it.
void DrawButtonEdge(TCanvas& canvas, TRect& r, bool pressed) {
    const int right = r.Right - 1, bottom = r.Bottom - 1;
    if (pressed) {
        canvas.Pen.Color = Rgb(clBtnShadow);
        canvas.Brush.Style = BS_NULL;
        canvas.Rectangle(r);
        canvas.Brush.Style = BS_SOLID;
    } else {
        Line(canvas, clBtnHighlight, r.Left, bottom, r.Left, r.Top);
        Line(canvas, clBtnHighlight, r.Left, r.Top, right, r.Top);
        Line(canvas, cl3DDkShadow, right, r.Top, right, bottom);
        Line(canvas, cl3DDkShadow, r.Left, bottom, right + 1, bottom);
        Line(canvas, clBtnShadow, right - 1, r.Top + 1, right - 1, bottom - 1);
        Line(canvas, clBtnShadow, r.Left + 1, bottom - 1, right, bottom - 1);
    }
    r = {r.Left + 2, r.Top + 2, r.Right - 2, r.Bottom - 2};
}

bool Inside(const TControl& control, intptr_t lParam) {
    const int x = LParamX(lParam), y = LParamY(lParam);
    return x >= 0 && y >= 0 && x < control.Width() && y < control.Height();
}
}  // namespace

TWideButtonLayout CalcWideButtonLayout(TCanvas& canvas, const TRect& client, const TPoint& offset,
                                       const WideString& caption, TButtonLayout layout, int margin, int spacing,
                                       const TSize& glyphSize, bool rightToLeft, bool wordWrap) {
    if (rightToLeft) {
        if (layout == blGlyphLeft) layout = blGlyphRight;
        else if (layout == blGlyphRight) layout = blGlyphLeft;
    }
    const int w = client.Right - client.Left, h = client.Bottom - client.Top;
    const int gx = glyphSize.cx, gy = glyphSize.cy;
    int tx = 0, ty = 0;
    if (!caption.empty()) {
        TRect bounds{0, 0, std::max(w - gx - 3, 0), 0};
        canvas.DrawText(caption, bounds, DT_CALCRECT | (wordWrap ? DT_WORDBREAK : DT_SINGLELINE));
        tx = std::min(bounds.Right - bounds.Left, std::max(w - gx - 3, 0));
        ty = bounds.Bottom - bounds.Top;
    }
    TPoint glyph{0, 0}, text{0, 0};
    const bool across = layout == blGlyphLeft || layout == blGlyphRight;
    if (across) {
        glyph.Y = (h - gy + 1) / 2;
        text.Y = (h - ty + 1) / 2;
    } else {
        glyph.X = (w - gx + 1) / 2;
        text.X = (w - tx + 1) / 2;
    }
    if (tx == 0 || gx == 0) spacing = 0;
    const int room = across ? w : h, glyphLength = across ? gx : gy, textLength = across ? tx : ty;
    if (margin == -1 && spacing == -1) {
        margin = spacing = (room - (glyphLength + textLength)) / 3;
    } else if (margin == -1) {
        margin = (room - (glyphLength + spacing + textLength) + 1) / 2;
    } else if (spacing == -1) {
        spacing = (room - (margin + glyphLength) - textLength) / 2;
    }
    switch (layout) {
        case blGlyphLeft:
            glyph.X = margin;
            text.X = glyph.X + gx + spacing;
            break;
        case blGlyphRight:
            glyph.X = w - margin - gx;
            text.X = glyph.X - spacing - tx;
            break;
        case blGlyphTop:
            glyph.Y = margin;
            text.Y = glyph.Y + gy + spacing;
            break;
        case blGlyphBottom:
            glyph.Y = h - margin - gy;
            text.Y = glyph.Y - spacing - ty;
            break;
    }
    TWideButtonLayout result;
    result.GlyphPos = {glyph.X + client.Left + offset.X, glyph.Y + client.Top + offset.Y};
    const int left = text.X + client.Left + offset.X, top = text.Y + client.Top + offset.Y;
    result.TextBounds = {left, top, left + tx, top + ty};
    return result;
}

void DrawWideButtonGlyph(TCanvas& canvas, const TBitmap& glyph, int numGlyphs, const TPoint& at, TButtonState state) {
    numGlyphs = std::max(numGlyphs, 1);
    const int w = glyph.Width() / numGlyphs, h = glyph.Height();
    if (w <= 0 || h <= 0) return;
    int index = static_cast<int>(state);
    if (index >= numGlyphs) index = 0;
    const bool greyed = state == bsDisabled && numGlyphs < 2;
    TBitmap& source = const_cast<TBitmap&>(glyph);
    TCanvas from(source);
    const TColor transparent = from.GetPixel(index * w, h - 1);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const TColor colour = from.GetPixel(index * w + x, y);
            if (colour == transparent) continue;
            canvas.SetPixel(at.X + x, at.Y + y, greyed ? ColorToRGB(clBtnShadow) : colour);
        }
    }
}

void DrawWideButtonText(TCanvas& canvas, const WideString& caption, const TRect& bounds, TButtonState state,
                        bool wordWrap) {
    canvas.Brush.Style = BS_NULL;
    const uint32_t format = DT_CENTER | (wordWrap ? DT_WORDBREAK : DT_SINGLELINE | DT_VCENTER);
    TRect r = bounds;
    if (state == bsDisabled) {
        const uint32_t colour = canvas.Font.Color;
        canvas.Font.Color = Rgb(clBtnHighlight);
        TRect shifted{r.Left + 1, r.Top + 1, r.Right + 1, r.Bottom + 1};
        canvas.DrawText(caption, shifted, format | DT_NOCLIP);
        canvas.Font.Color = Rgb(clBtnShadow);
        canvas.DrawText(caption, r, format | DT_NOCLIP);
        canvas.Font.Color = colour;
    } else {
        canvas.DrawText(caption, r, format | DT_NOCLIP);
    }
    canvas.Brush.Style = BS_SOLID;
}

TWideButtonLayout DrawWideButtonFace(TCanvas& canvas, const TRect& client, const TPoint& offset,
                                     const WideString& caption, const TBitmap& glyph, int numGlyphs,
                                     TButtonLayout layout, int margin, int spacing, TButtonState state,
                                     bool rightToLeft, bool wordWrap) {
    const TSize glyphSize{glyph.Width() / std::max(numGlyphs, 1), glyph.Height()};
    const TWideButtonLayout placed = CalcWideButtonLayout(canvas, client, offset, caption, layout, margin, spacing,
                                                          glyphSize, rightToLeft, wordWrap);
    DrawWideButtonGlyph(canvas, glyph, numGlyphs, placed.GlyphPos, state);
    DrawWideButtonText(canvas, caption, placed.TextBounds, state, wordWrap);
    return placed;
}

TSize TWideGlyphProperties::GlyphSize() const { return {Glyph.Width() / std::max(NumGlyphs, 1), Glyph.Height()}; }

// ---------------------------------------------------------------- speed button

TUcSpeedButton::TUcSpeedButton(TComponent* owner) : TUcControl<TGraphicControl>(owner) {
    SetBounds(0, 0, 23, 22);
    Font.Color = Rgb(clBtnText);
    HandleMessage(CM_DIALOGCHAR, [this](TMessage& m, const TMessageHandler& inherited) {
        auto showing = [this] {
            for (const TControl* at = Parent(); at; at = at->Parent())
                if (!at->Visible()) return false;
            return Parent() != nullptr;
        };
        if (WideCaptionAccelMatches(static_cast<unsigned>(m.WParam), UcControlGetText(*this)) && Enabled() &&
            Visible() && showing()) {
            Click();
            m.Result = 1;
            return;
        }
        inherited(m);
    });
    HandleMessage(WM_LBUTTONDOWN, [this](TMessage& m, const TMessageHandler& inherited) {
        if (Enabled()) {
            pressed_ = true;
            if (!down_) state_ = bsDown;
            Invalidate();
        }
        inherited(m);
    });
    HandleMessage(WM_LBUTTONUP, [this](TMessage& m, const TMessageHandler& inherited) {
        if (pressed_) {
            pressed_ = false;
            const bool inside = Inside(*this, m.LParam);
            if (GroupIndex == 0) {
                state_ = bsUp;
                Invalidate();
            } else if (inside) {
                SetDown(!down_);
            } else {
                state_ = down_ ? bsExclusive : bsUp;
                Invalidate();
            }
            if (inside) Click();
        }
        inherited(m);
    });
}

void TUcSpeedButton::SetDown(bool down) {
    if (GroupIndex == 0) down = false;
    if (down == down_) return;
    if (down_ && !AllowAllUp) {
        // The down button of a group stays down until another goes down.
        state_ = bsExclusive;
        Invalidate();
        return;
    }
    down_ = down;
    state_ = down ? bsExclusive : bsUp;
    Invalidate();
    if (!down || !Parent()) return;
    for (int i = 0; i < Parent()->ControlCount(); ++i) {
        auto* other = dynamic_cast<TUcSpeedButton*>(Parent()->Controls(i));
        if (!other || other == this || other->GroupIndex != GroupIndex || !other->down_) continue;
        other->down_ = false;
        other->state_ = bsUp;
        other->Invalidate();
    }
}

void TUcSpeedButton::Paint(TCanvas& canvas) {
    if (!Enabled()) {
        state_ = bsDisabled;
        pressed_ = false;
    } else if (state_ == bsDisabled) {
        state_ = down_ && GroupIndex != 0 ? bsExclusive : bsUp;
    }
    canvas.Font = Font;
    TRect r{0, 0, Width(), Height()};
    const bool sunken = state_ == bsDown || state_ == bsExclusive;
    if (!Transparent) {
        canvas.Brush.Color = Rgb(clBtnFace);
        canvas.FillRect(r);
    }
    if (Flat) {
        if (sunken) {
            Line(canvas, clBtnShadow, 0, Height() - 1, 0, 0);
            Line(canvas, clBtnShadow, 0, 0, Width(), 0);
            Line(canvas, clBtnHighlight, Width() - 1, 0, Width() - 1, Height());
            Line(canvas, clBtnHighlight, 0, Height() - 1, Width(), Height() - 1);
        }
        r = {1, 1, Width() - 1, Height() - 1};
    } else {
        DrawButtonEdge(canvas, r, sunken);
    }
    TPoint offset{0, 0};
    if (sunken) {
        if (state_ == bsExclusive) {
            // The toolkit's pattern of face and highlight.
            for (int y = r.Top; y < r.Bottom; ++y)
                for (int x = r.Left; x < r.Right; ++x)
                    if ((x + y) % 2 == 0) canvas.SetPixel(x, y, ColorToRGB(clBtnHighlight));
        }
        offset = {1, 1};
    }
    DrawWideButtonFace(canvas, r, offset, UcControlGetText(*this), Glyph, NumGlyphs, Layout, Margin, Spacing, state_);
}

// ---------------------------------------------------------------- bitmap button

TUcBitBtn::TUcBitBtn(TComponent* owner) : TUcWinControl<TCustomControl>(owner) {
    SetBounds(0, 0, 75, 25);
    Font.Color = Rgb(clBtnText);
    HandleMessage(CM_DIALOGCHAR, [this](TMessage& m, const TMessageHandler& inherited) {
        UcPushButtonDialogChar(*this, m, inherited);
    });
    HandleMessage(WM_LBUTTONDOWN, [this](TMessage& m, const TMessageHandler& inherited) {
        // A disabled button takes no input, whichever window the mouse
        // came through.
        if (!Enabled()) return;
        pressed_ = inside_ = true;
        SetFocus();
        if (NativeWindow()) NativeWindow()->SetCapture(true);
        Invalidate();
        inherited(m);
    });
    HandleMessage(WM_MOUSEMOVE, [this](TMessage& m, const TMessageHandler& inherited) {
        if (pressed_ && inside_ != Inside(*this, m.LParam)) {
            inside_ = !inside_;
            Invalidate();
        }
        inherited(m);
    });
    HandleMessage(WM_LBUTTONUP, [this](TMessage& m, const TMessageHandler& inherited) {
        if (pressed_) {
            pressed_ = false;
            if (NativeWindow()) NativeWindow()->SetCapture(false);
            Invalidate();
            if (Inside(*this, m.LParam)) Click();
        }
        inherited(m);
    });
    HandleMessage(WM_KEYDOWN, [this](TMessage& m, const TMessageHandler& inherited) {
        inherited(m);
        if (m.Result == 0 && Enabled() && (m.WParam == VK_SPACE || m.WParam == VK_RETURN)) {
            Click();
            m.Result = 1;
        }
    });
}

void TUcBitBtn::Paint() {
    TCanvas canvas(*PaintSurface());
    canvas.Font = Font;
    const bool down = IsDown();
    const TButtonState state = !Enabled() ? bsDisabled : down ? bsDown : bsUp;
    TRect r{0, 0, canvas.Width(), canvas.Height()};
    canvas.Brush.Color = Rgb(clBtnFace);
    canvas.FillRect(r);
    const bool focused = Focused();
    if (focused) {
        canvas.Pen.Color = Rgb(clWindowFrame);
        canvas.Brush.Style = BS_NULL;
        canvas.Rectangle(r);
        canvas.Brush.Style = BS_SOLID;
        r = {r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 1};
    }
    DrawButtonEdge(canvas, r, down);
    if (down) r = {r.Left + 1, r.Top + 1, r.Right + 1, r.Bottom + 1};
    canvas.Font = Font;
    lastLayout_ = DrawWideButtonFace(canvas, r, {0, 0}, UcControlGetText(*this), Glyph, NumGlyphs, Layout, Margin,
                                     Spacing, state, false, wordWrap_);
}

void TUcBitBtn::SetWordWrap(bool wordWrap) {
    if (wordWrap == wordWrap_) return;
    wordWrap_ = wordWrap;
    Invalidate();
}
