// The Unicode speed button (no window: it paints on its parent) and bitmap
// button (a window of its own): a glyph and a wide caption painted with our
// canvas, placed by the toolkit's rules for layout, margin and spacing.
#pragma once

#include "controls/ui/uccontrols.h"
#include "platform/canvas.h"

enum TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };
// Also the glyph's place in a bitmap of several glyphs side by side.
enum TButtonState { bsUp = 0, bsDisabled = 1, bsDown = 2, bsExclusive = 3 };

// Where a button's glyph and caption go.
struct TWideButtonLayout {
    TPoint GlyphPos;
    TRect TextBounds;
};

// glyphSize is one glyph's (the bitmap's width over the number of glyphs);
// margin and spacing -1 centre the parts with equal gaps. Right to left
// swaps the glyph-left and glyph-right layouts. The caption's "&" marks its
// accelerator; with word wrap it breaks into lines within the client width
// less the glyph's and 3.
TWideButtonLayout CalcWideButtonLayout(TCanvas& canvas, const TRect& client, const TPoint& offset,
                                       const WideString& caption, TButtonLayout layout, int margin, int spacing,
                                       const TSize& glyphSize, bool rightToLeft = false, bool wordWrap = false);
// The glyph of the state (the up one when the bitmap has none for it), its
// bottom-left pixel's colour transparent.
void DrawWideButtonGlyph(TCanvas& canvas, const TBitmap& glyph, int numGlyphs, const TPoint& at, TButtonState state);
// Disabled text is embossed: highlight one pixel down and right, shadow on top.
// Word-wrapped lines are centred each.
void DrawWideButtonText(TCanvas& canvas, const WideString& caption, const TRect& bounds, TButtonState state,
                        bool wordWrap = false);
// Layout, glyph, then text.
TWideButtonLayout DrawWideButtonFace(TCanvas& canvas, const TRect& client, const TPoint& offset,
                                     const WideString& caption, const TBitmap& glyph, int numGlyphs,
                                     TButtonLayout layout, int margin, int spacing, TButtonState state,
                                     bool rightToLeft = false, bool wordWrap = false);

// What both buttons carry.
struct TWideGlyphProperties {
    TBitmap Glyph;
    int NumGlyphs = 1;
    TButtonLayout Layout = blGlyphLeft;
    int Margin = -1;
    int Spacing = 4;
    TCanvasFont Font;
    TSize GlyphSize() const;
};

// Alt and the accelerator of its caption click it (enabled, and shown).
class TUcSpeedButton : public TUcControl<TGraphicControl>, public TWideGlyphProperties {
public:
    explicit TUcSpeedButton(TComponent* owner);
    // Buttons of one parent with the same GroupIndex (not 0) stay down one
    // at a time; AllowAllUp lets the down one come up again.
    int GroupIndex = 0;
    bool AllowAllUp = false;
    bool Flat = false;
    bool Transparent = false;
    bool Down() const { return down_; }
    void SetDown(bool down);
    TButtonState State() const { return state_; }
    void Paint(TCanvas& canvas) override;

private:
    TButtonState state_ = bsUp;
    bool down_ = false;
    bool pressed_ = false;
};

// Alt and the accelerator of its caption click it, as a push button's do.
class TUcBitBtn : public TUcWinControl<TCustomControl>, public TWideGlyphProperties {
public:
    explicit TUcBitBtn(TComponent* owner);
    // A long caption breaks into lines.
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool wordWrap);
    // The layout of the last paint.
    const TWideButtonLayout& LastLayout() const { return lastLayout_; }
    bool IsDown() const { return pressed_ && inside_; }

protected:
    void Paint() override;

private:
    bool pressed_ = false;
    bool inside_ = false;
    bool wordWrap_ = false;
    TWideButtonLayout lastLayout_{};
};
