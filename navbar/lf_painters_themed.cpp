// The Office 2003 painter (the ultra-flat painter in the Office 2003
// colours, with scroll bars that follow the desktop's visual style) and the
// desktop-themed painter, which draws through the visual-styles binding and
// takes the standard painter's drawing wherever a theme class does not
// open.
//
// Qt's style, under the binding, draws parts but answers no part metrics,
// margins, colours or sizes: the themed painter's metric and colour queries
// therefore give their classic values, as they do when a theme defines no
// such property.
#include <algorithm>

#include "navbar/lf_office11.h"
#include "navbar/lf_painter_images.h"
#include "navbar/lf_painters.h"
#include "navbar/lf_theme.h"

using namespace lfColors;

namespace {

TRect Shrink(const TRect& r, int32_t d) { return RectInflate(r, -d, -d); }

// The theme of a class when visual styles are on and the class opens.
TTheme Theme(TkrThemedObjectType type) { return VisualStylesActive(type) ? AcquireThemeHandle(type) : 0; }

bool DrawPart(TlfCanvas& canvas, TkrThemedObjectType type, int part, int state, const TRect& r,
              const TRect* clip = nullptr) {
    const TTheme theme = Theme(type);
    return theme && DrawThemeBackground(theme, canvas.Canvas(), part, state, r, clip) == 0;
}

// Theme states of the element states, esDefault first.
constexpr int kPushButton[] = {5, 1, 2, 3, 4};
constexpr int kCheckUnchecked[] = {1, 1, 2, 3, 4};
constexpr int kCheckChecked[] = {5, 5, 6, 7, 8};
constexpr int kHeaderItem[] = {1, 1, 2, 3, 1};
constexpr int kExplorerBar[] = {1, 1, 2, 3, 1};
constexpr int kTabItem[] = {1, 1, 2, 3, 4};
constexpr int kSmallClose[] = {1, 1, 2, 3, 4};
constexpr int kDropDown[] = {1, 1, 2, 3, 4};
constexpr int kToolButton[] = {2, 2, 5, 3, 4};
constexpr int kScrollPart[] = {1, 1, 2, 3, 4};

int ArrowButtonState(TlfArrowKind direction, TlfElementState state) {
    const int add = state == esHot ? 2 : state == esPressed ? 3 : state == esDisabled ? 4 : 1;
    return 4 * direction + add;
}

}  // namespace

// ------------------------------------------------------------------ Office 2003 colours

TlfOffice11PainterColors Office11PainterColors() {
    TlfOffice11PainterColors c{};
    const int scheme = Office11SchemeIndex();
    if (Office11Themed() && scheme >= 1 && scheme <= 3) {
        const int i = scheme - 1;
        auto pick = [i](TColor blue, TColor olive, TColor silver) {
            const TColor values[] = {blue, olive, silver};
            return values[i];
        };
        c.BarFace = pick(0xF5BE9E, 0xA7D9D9, 0xE5D7D7);
        c.BarLight = pick(0xF9DAC3, 0xE4F0F2, 0xF7F3F3);
        c.BarGradient1 = pick(0xFEECDD, 0xDEF7F4, 0xFAF4F3);
        c.BarGradient2 = pick(0xE2A981, 0x91C6B7, 0xB59799);
        c.BarDark = pick(0xCB8C6A, 0x588060, 0x8F6D6E);
        c.BarLightLine = pick(0xFFF9F1, 0xDEF7F4, 0xFFFFFF);
        c.ShadowLine = pick(0xC9662A, 0x5E8674, 0x99797A);
        c.HighlightLine = 0xFFFFFF;
        c.SelectedBorder = pick(0x800000, 0x385D3F, 0x6F4B4B);
        c.HotFace = 0xCCF4FF;
        c.HotFace2 = 0x91D0FF;
        c.PressedFace = 0x8ED3FF;
        c.Text = 0x000000;
        c.DisabledText = 0x8D8D8D;
        c.Group = pick(MixRGB(0x913500, 0xE0A47B, 50), MixRGB(0x6B7760, 0x8FC4B5, 50), MixRGB(0x927476, 0xB09193, 50));
        c.Frame = pick(0x962D00, 0x5E8D75, 0x947C7C);
        c.Panel = pick(0xFBDABE, 0x91BAAF, 0xEBE5E5);
        c.Selection = 0x94E6FB;
        c.Header = pick(0xFADAC4, 0xE4F1F2, 0xF7F3F3);
        c.Border = pick(0x962D00, 0x588060, 0x947C7C);
        return c;
    }
    c.BarFace = clBtnFace;
    c.BarLight = MixRGB(clBtnFace, clWindow, 20);
    c.BarGradient1 = MixRGB(clBtnFace, clWindow, 22);
    c.BarGradient2 = MixRGB(clBtnFace, clWindow, 96);
    c.BarDark = MixRGB(clBtnShadow, clWindow, 70);
    c.BarLightLine = 0xFFFFFF;
    c.ShadowLine = clBtnShadow;
    c.HighlightLine = clBtnHighlight;
    c.SelectedBorder = clHighlight;
    c.HotFace = NearestScreenColor(MixSystemShades(-2, 30, 72));
    c.HotFace2 = c.HotFace;
    c.PressedFace = NearestScreenColor(MixSystemShades(14, 44, 40));
    c.Text = clBtnText;
    c.DisabledText = clGrayText;
    c.Group = MixRGB(clBtnShadow, clBtnFace, 50);
    c.Frame = clBtnShadow;
    c.Panel = clBtnFace;
    c.Selection = MixSystemShades(41, 11, 48);
    c.Header = clBtnFace;
    c.Border = clBtnShadow;
    return c;
}

// ------------------------------------------------------------------ Office 2003 painter

TColor TlfOffice11LookAndFeelPainter::DefaultColor(int index) const {
    const TlfOffice11PainterColors c = Office11PainterColors();
    switch (index) {
        case 5: return c.ShadowLine;
        case 6: return c.HighlightLine;
        case 8: return c.BarFace;
        case 9: return DefaultColor(18);
        case 11: return c.Group;
        case 12: return c.BarGradient1;
        case 13: return c.Panel;
        case 15: return DefaultColor(11);
        case 17: return HeaderTopLineColor();
        case 29: return c.BarFace;
        case 30: return c.Selection;
        case 31: return clWindowText;
        case 34: return c.Border;
        case 35: return c.Header;
        case 43: return c.BarLight;
        case 45: return DefaultColor(43);
        case 48: return c.BarFace;
        case 50: return DefaultColor(35);
        default: return TlfUltraFlatLookAndFeelPainter::DefaultColor(index);
    }
}

void TlfOffice11LookAndFeelPainter::PaintBorder(TlfCanvas& canvas, const TRect& r) const {
    canvas.FrameRect(r, Office11PainterColors().Frame);
}

TColor TlfOffice11LookAndFeelPainter::ButtonFaceColor(TlfElementState state) const {
    const TlfOffice11PainterColors c = Office11PainterColors();
    switch (state) {
        case esHot: return c.HotFace;
        case esPressed: return c.PressedFace;
        case esDisabled: return clBtnFace;
        default: return c.BarFace;
    }
}

TColor TlfOffice11LookAndFeelPainter::ButtonGlyphColor(TlfElementState state, TColor) const {
    if (state == esPressed && !Office11Themed()) return clHighlightText;
    if (state == esDisabled) return Office11PainterColors().DisabledText;
    return Office11PainterColors().Text;
}

void TlfOffice11LookAndFeelPainter::PaintButtonFrame(TlfCanvas& canvas, const TRect& r, TlfElementState state) const {
    if (state == esDefault) {
        TlfUltraFlatLookAndFeelPainter::PaintButtonFrame(canvas, r, state);
        return;
    }
    const TlfOffice11PainterColors c = Office11PainterColors();
    canvas.FrameRect(r, state == esNormal ? clBtnText : state == esDisabled ? c.DisabledText : c.SelectedBorder);
}

TColor TlfOffice11LookAndFeelPainter::CheckFaceColor(TlfElementState state) const {
    if (state == esHot || state == esPressed || state == esDisabled) return ButtonFaceColor(state);
    return TlfUltraFlatLookAndFeelPainter::CheckFaceColor(state);
}

namespace {

// The Office 2003 expand button (11 x 11): a framed box with a soft face
// and the plus or minus.
TBitmap Office11ExpandBitmap(bool expanded) {
    TBitmap bitmap;
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    bitmap.SetSize(11, 11);
    TCanvas canvas(bitmap);
    TlfCanvas lf(canvas);
    const TlfOffice11PainterColors c = Office11PainterColors();
    FillRectGradient(canvas, TRect{1, 1, 10, 10}, 0xFFFFFF, ColorToRGB(c.BarFace), false);
    lf.FrameRect(TRect{0, 0, 11, 11}, RGBColor(46, 70, 95));
    lf.SetBrushColor(0x000000);
    lf.FillRect(TRect{3, 5, 8, 6});
    if (!expanded) lf.FillRect(TRect{5, 3, 6, 8});
    return bitmap;
}

}  // namespace

void TlfOffice11LookAndFeelPainter::PaintExpandButton(TlfCanvas& canvas, const TRect& r, bool expanded, TColor) const {
    TBitmap image = Office11ExpandBitmap(expanded);
    TCanvas on(image);
    const TColor corner1 = RGBColor(158, 174, 191), corner2 = RGBColor(46, 70, 95);
    const TColor topLeft = canvas.Canvas().GetPixel(r.Left, r.Top);
    const TColor bottomRight = canvas.Canvas().GetPixel(r.Right - 1, r.Bottom - 1);
    if (topLeft >= 0) on.SetPixel(0, 0, MixRGB(corner1, topLeft, 25));
    if (bottomRight >= 0)
        for (const TPoint& p : {TPoint{10, 10}, TPoint{0, 10}, TPoint{10, 0}}) on.SetPixel(p.X, p.Y, MixRGB(corner2, bottomRight, 25));
    // The image at the rectangle's top-left corner, no further than the
    // rectangle reaches.
    const int32_t w = std::min(image.Width(), RectWidth(r)), h = std::min(image.Height(), RectHeight(r));
    if (w > 0 && h > 0) canvas.CopyRect(TRect{r.Left, r.Top, r.Left + w, r.Top + h}, image, TRect{0, 0, w, h});
}

void TlfOffice11LookAndFeelPainter::PaintSmallExpandButton(TlfCanvas& canvas, const TRect& r, bool expanded, TColor,
                                                           TColor) const {
    PaintExpandButton(canvas, r, expanded, clDefault);
}

void TlfOffice11LookAndFeelPainter::PaintTextCell(TlfCanvas& canvas, const TRect& r, const TRect& textRect,
                                                  TlfElementState state, const TlfTextArgs& text, TColor,
                                                  const TlfCustomDrawEvent& customPaint, bool plain) const {
    const TlfOffice11PainterColors c = Office11PainterColors();
    if (!(customPaint && customPaint(canvas, r))) {
        const TColor fill = state == esHot ? c.BarGradient1 : HeaderTopLineColor();
        const TColor end = state == esHot ? c.BarGradient1 : HeaderCornerColor();
        if (plain) {
            canvas.FillRectColor(r, fill);
        } else {
            canvas.FillRectColor({r.Left, r.Top, r.Right, r.Bottom - 3}, fill);
            FillRectGradient(canvas.Canvas(), TRect{r.Left, std::max(r.Top, r.Bottom - 4), r.Right, r.Bottom}, fill, end,
                             false);
        }
    }
    TlfCustomLookAndFeelPainter::PaintTextCell(canvas, r, textRect, state, text, clNone, nullptr, plain);
    if (state == esHot)
        FillRectGradient(canvas.Canvas(), TRect{r.Left - 1, r.Bottom - 2, r.Right, r.Bottom + 1}, c.HotFace, c.HotFace2,
                         false);
}

void TlfOffice11LookAndFeelPainter::PaintHeaderCell(TlfCanvas& canvas, const TRect& r, const TRect& textRect,
                                                    TlfBorders neighbours, TlfBorders sides, TlfElementState state,
                                                    const TlfTextArgs& text, TColor backColor,
                                                    const TlfCustomDrawEvent&, bool headerItemFlag1, bool) const {
    TlfCustomLookAndFeelPainter::PaintHeaderCell(canvas, r, textRect, neighbours, sides, state, text, backColor, nullptr,
                                                 headerItemFlag1, false);
}

void TlfOffice11LookAndFeelPainter::PaintHeaderCellFrame(TlfCanvas& canvas, const TRect& r, TlfBorders neighbours,
                                                         TlfBorders sides) const {
    const TColor t = HeaderTopLineColor(), c = HeaderCornerColor(), b = HeaderBottomLineColor(), s = HeaderSideLineColor();
    auto column = [&](int32_t x, int32_t from, int32_t to, TColor color) {
        if (to > from) canvas.FillRectColor({x, from, x + 1, to}, color);
    };
    if (sides & bTop) canvas.FillRectColor({r.Left, r.Top, r.Right, r.Top + 1}, t);
    if (sides & bBottom) canvas.FillRectColor({r.Left, r.Bottom - 1, r.Right, r.Bottom}, b);
    if (sides & bLeft) {
        canvas.SetPixel(r.Left, r.Top + 1, t);
        if (neighbours & bLeft) {
            canvas.SetPixel(r.Left, r.Top + 2, t);
            column(r.Left, r.Top + 2, r.Bottom - 3, s);
            canvas.SetPixel(r.Left, r.Bottom - 3, MixRGB(t, c, 25));
            canvas.SetPixel(r.Left, r.Bottom - 2, c);
        } else {
            column(r.Left, r.Top + 1, r.Bottom - 2, s);
            canvas.SetPixel(r.Left, r.Bottom - 2, c);
        }
    }
    if (sides & bRight) {
        const int32_t x = r.Right - 1;
        if (neighbours & bRight) {
            column(x, r.Top + 2, r.Bottom - 3, b);
            canvas.SetPixel(x, r.Top + 1, t);
            canvas.SetPixel(x, r.Top + 2, t);
            canvas.SetPixel(x, r.Bottom - 3, MixRGB(t, c, 25));
            canvas.SetPixel(x, r.Bottom - 2, c);
        } else {
            column(x, r.Top + 1, r.Bottom - 2, b);
            canvas.SetPixel(x, r.Top, MixRGB(t, b, 50));
            canvas.SetPixel(x, r.Bottom - 2, MixRGB(c, b, 50));
        }
    }
}

void TlfOffice11LookAndFeelPainter::PaintHeaderSection(TlfCanvas& canvas, const TRect& r, const TRect& textRect,
                                                       TlfBorders neighbours, TlfBorders sides, TlfElementState state,
                                                       const TlfTextArgs& text, TColor backColor) const {
    PaintHeaderCell(canvas, r, textRect, neighbours, sides, state, text, backColor, nullptr);
    if (state == esPressed) InvertHeaderCell(canvas, r);
}

void TlfOffice11LookAndFeelPainter::PaintSortGlyph(TlfCanvas& canvas, const TRect& r, bool ascending) const {
    PaintSortGlyphLines(canvas, r, ascending, SortGlyphSize(), HeaderSideLineColor(), HeaderBottomLineColor());
}

void TlfOffice11LookAndFeelPainter::PaintComboButton(TlfCanvas& canvas, const TRect& r, TlfElementState state,
                                                     bool active) const {
    TlfUltraFlatLookAndFeelPainter::PaintComboButton(canvas, r, state, active);
}

void TlfOffice11LookAndFeelPainter::PaintStepButton(TlfCanvas& canvas, const TRect& r, const TRect& arrowRect, bool isNext,
                                                    TlfElementState state) const {
    const TlfOffice11PainterColors c = Office11PainterColors();
    canvas.FillRectColor(r, state == esHot ? c.HotFace : state == esPressed ? c.PressedFace : c.BarFace);
    canvas.FrameRect(r, c.Border, 1, isNext ? TlfBorders(11) : TlfBorders(14));
    PaintStepArrow(canvas, arrowRect, isNext, ButtonGlyphColor(state, clDefault));
}

void TlfOffice11LookAndFeelPainter::PaintToolButton(TlfCanvas& canvas, const TRect& r, TlfElementState state) const {
    WinXPPainter()->PaintToolButton(canvas, r, state);
}

void TlfOffice11LookAndFeelPainter::PaintArrowCaption(TlfCanvas& canvas, const TRect& r, const std::u16string& text,
                                                      TlfBorders, const TlfPaintParams& viewParams, int arrows,
                                                      int32_t offset, const TlfCustomDrawEvent& customPaint) const {
    const TRect inner = Shrink(r, 1);
    if (!(customPaint && customPaint(canvas, inner))) canvas.FrameAndFillRect(inner, viewParams, 0, clDefault);
    if (!text.empty()) {
        canvas.Brush().Style = BS_NULL;
        if (viewParams.Font) canvas.SetFont(*viewParams.Font);
        canvas.Font().Color = static_cast<uint32_t>(viewParams.TextColor);
        canvas.DrawTextInRect(text, inner, tfHCenter | tfVCenter | tfSingleLine);
        canvas.Brush().Style = BS_SOLID;
    }
    PaintCaptionArrows(canvas, r, arrows, offset, BorderWidth());
}

void TlfOffice11LookAndFeelPainter::PaintArrowCaptionFrame(TlfCanvas& canvas, const TRect& r) const {
    canvas.FrameRect(r, DefaultColor34());
}

void TlfOffice11LookAndFeelPainter::PaintGrip(TlfCanvas& canvas, const TRect& r, TColor backColor) const {
    canvas.FillRectColor(r, backColor);
    DrawCornerGrip(canvas.Canvas(), r);
}

void TlfOffice11LookAndFeelPainter::PaintPanelBackground(TlfCanvas& canvas, TControl*, const TRect& bounds,
                                                         TColor colorFrom, TColor colorTo) const {
    // Without the parent's own painting at hand the parent's background is
    // its face colour.
    if (colorFrom == clDefault) canvas.FillRectColor(bounds, clBtnFace);
    else if (colorTo == clDefault) canvas.FillRectColor(bounds, colorFrom);
    else FillRectGradient(canvas.Canvas(), bounds, colorFrom, colorTo, false);
}

void TlfOffice11LookAndFeelPainter::PaintScrollBarArea(TlfCanvas& canvas, bool horizontal, const TRect& r,
                                                       TlfScrollBarPart part, TlfElementState state) const {
    if (VisualStylesActive(totScrollBar)) WinXPPainter()->PaintScrollBarArea(canvas, horizontal, r, part, state);
    else StandardPainter()->PaintScrollBarArea(canvas, horizontal, r, part, state);
}

TColor TlfOffice11LookAndFeelPainter::StateFrameColor(TlfElementState state) const {
    return state == esNormal ? HeaderBottomLineColor() : Office11PainterColors().SelectedBorder;
}

TColor TlfOffice11LookAndFeelPainter::FocusFrameColor() const { return Office11PainterColors().SelectedBorder; }
TColor TlfOffice11LookAndFeelPainter::HeaderCornerColor() const { return Office11PainterColors().BarGradient2; }
TColor TlfOffice11LookAndFeelPainter::HeaderBottomLineColor() const { return Office11PainterColors().BarDark; }
TColor TlfOffice11LookAndFeelPainter::HeaderSideLineColor() const { return Office11PainterColors().BarLightLine; }
TColor TlfOffice11LookAndFeelPainter::HeaderTopLineColor() const {
    const TlfOffice11PainterColors c = Office11PainterColors();
    return MixRGB(c.BarGradient1, c.BarGradient2, 50);
}

// ------------------------------------------------------------------ themed painter

TColor TlfWinXPLookAndFeelPainter::DefaultColor(int index) const {
    // The combo box's border colour is a theme property the style does not
    // give; the base value stands.
    if (index == 34) return TlfCustomLookAndFeelPainter::DefaultColor(34);
    if (index == 37) return 0xD5FFFF;
    return TlfStandardLookAndFeelPainter::DefaultColor(index);
}

void TlfWinXPLookAndFeelPainter::PaintStepButton(TlfCanvas& canvas, const TRect& r, const TRect& arrowRect, bool isNext,
                                                 TlfElementState state) const {
    if (!Theme(totTab) || RectIsEmpty(r)) {
        TlfStandardLookAndFeelPainter::PaintStepButton(canvas, r, arrowRect, isNext, state);
        return;
    }
    TlfBitmap bitmap(RectWidth(r), RectHeight(r));
    bitmap.Canvas().CopyRect(bitmap.ClientRect(), canvas.Canvas(), r);
    bitmap.Rotate(isNext ? 2 : 1);
    DrawThemeBackground(Theme(totTab), bitmap.Canvas(), 1, kTabItem[state], bitmap.ClientRect());
    bitmap.Rotate(isNext ? 1 : 2);
    canvas.CopyRect(r, bitmap, bitmap.ClientRect());
    PaintStepArrow(canvas, arrowRect, isNext, ButtonGlyphColor(state, clDefault));
}

void TlfWinXPLookAndFeelPainter::PaintArrowButton(TlfCanvas& canvas, const TRect& r, TlfElementState state,
                                                  TlfArrowKind direction, bool withFrame) const {
    if (!DrawPart(canvas, totScrollBar, 1, ArrowButtonState(direction, state), r))
        TlfStandardLookAndFeelPainter::PaintArrowButton(canvas, r, state, direction, withFrame);
}

void TlfWinXPLookAndFeelPainter::PaintArrowButtonFrame(TlfCanvas& canvas, const TRect& r, TlfElementState state) const {
    if (!DrawPart(canvas, totButton, 1, kPushButton[state], r))
        TlfStandardLookAndFeelPainter::PaintArrowButtonFrame(canvas, r, state);
}

int32_t TlfWinXPLookAndFeelPainter::BorderWidth() const { return Theme(totListView) ? 1 : 2; }

void TlfWinXPLookAndFeelPainter::PaintBorder(TlfCanvas& canvas, const TRect& r) const {
    if (!Theme(totListView)) {
        TlfStandardLookAndFeelPainter::PaintBorder(canvas, r);
        return;
    }
    canvas.SaveState();
    canvas.ExcludeClipRect(Shrink(r, 1));
    DrawPart(canvas, totListView, 5, 0, r);
    canvas.RestoreState();
}

TRect TlfWinXPLookAndFeelPainter::SegmentButtonRect(const TRect& r, int, int) const { return r; }

int32_t TlfWinXPLookAndFeelPainter::ButtonFrameWidth(TlfElementState state) const {
    return TlfStandardLookAndFeelPainter::ButtonFrameWidth(esNormal);
}

TColor TlfWinXPLookAndFeelPainter::ButtonFaceColor(TlfElementState) const { return clBtnFace; }

TRect TlfWinXPLookAndFeelPainter::ButtonFocusArea(TlfCanvas& canvas, const TRect& r) const {
    return TlfCustomLookAndFeelPainter::ButtonFocusArea(canvas, r);
}

TRect TlfWinXPLookAndFeelPainter::SegmentButtonFrameWidths(int count, int index) const {
    return TlfCustomLookAndFeelPainter::SegmentButtonFrameWidths(count, index);
}

TColor TlfWinXPLookAndFeelPainter::ButtonGlyphColor(TlfElementState state, TColor defaultColor) const {
    return TlfCustomLookAndFeelPainter::ButtonGlyphColor(state, defaultColor);
}

void TlfWinXPLookAndFeelPainter::PaintButton(TlfCanvas& canvas, const TRect& r, const std::u16string& text,
                                             TlfElementState state, bool withFrame, TColor faceColor, TColor textColor,
                                             bool wordWrap) const {
    const TTheme theme = Theme(totButton);
    if (!theme || !DrawPart(canvas, totButton, 1, kPushButton[state], r)) {
        TlfStandardLookAndFeelPainter::PaintButton(canvas, r, text, state, withFrame, faceColor, textColor, wordWrap);
        return;
    }
    if (text.empty()) return;
    canvas.Font().Color = static_cast<uint32_t>(textColor == clDefault ? ButtonGlyphColor(state, clDefault) : textColor);
    DrawThemeText(theme, canvas.Canvas(), 1, kPushButton[state], text, DT_CENTER | DT_VCENTER | DT_SINGLELINE, r);
}

void TlfWinXPLookAndFeelPainter::PaintExpandButton(TlfCanvas& canvas, const TRect& r, bool expanded, TColor color) const {
    if (DrawPart(canvas, totTreeView, 2, expanded ? 2 : 1, r)) canvas.ExcludeClipRect(r);
    else TlfStandardLookAndFeelPainter::PaintExpandButton(canvas, r, expanded, color);
}

void TlfWinXPLookAndFeelPainter::PaintCaptionExpandButton(TlfCanvas& canvas, const TRect& r, bool expanded,
                                                          TlfElementState state) const {
    if (!DrawPart(canvas, totExplorerBar, expanded ? 6 : 7, kExplorerBar[state], r))
        TlfStandardLookAndFeelPainter::PaintCaptionExpandButton(canvas, r, expanded, state);
}

void TlfWinXPLookAndFeelPainter::PaintSmallExpandButton(TlfCanvas& canvas, const TRect& r, bool expanded,
                                                        TColor borderColor, TColor color) const {
    if (Theme(totTreeView)) PaintExpandButton(canvas, r, expanded, clDefault);
    else TlfCustomLookAndFeelPainter::PaintSmallExpandButton(canvas, r, expanded, borderColor, color);
}

int32_t TlfWinXPLookAndFeelPainter::ExpandGlyphSize() const { return 12; }
int32_t TlfWinXPLookAndFeelPainter::CaptionExpandButtonSize() const { return 15; }

bool TlfWinXPLookAndFeelPainter::PointOverCaptionExpandButton(const TRect& r, const TPoint& p) const {
    return TlfCustomLookAndFeelPainter::PointOverCaptionExpandButton(r, p);
}

int32_t TlfWinXPLookAndFeelPainter::SmallExpandGlyphSize() const { return Theme(totTreeView) ? ExpandGlyphSize() : 9; }
int32_t TlfWinXPLookAndFeelPainter::CheckFrameWidth() const { return Theme(totButton) ? 0 : 2; }
TlfSize TlfWinXPLookAndFeelPainter::CheckBoxSize() const { return TlfCustomLookAndFeelPainter::CheckBoxSize(); }

void TlfWinXPLookAndFeelPainter::PaintCheckMark(TlfCanvas& canvas, const TRect& r, TlfElementState state, bool isChecked,
                                                TColor color) const {
    if (!DrawPart(canvas, totButton, 3, isChecked ? kCheckChecked[state] : kCheckUnchecked[state], r))
        TlfStandardLookAndFeelPainter::PaintCheckMark(canvas, r, state, isChecked, color);
}

void TlfWinXPLookAndFeelPainter::PaintCheckFrame(TlfCanvas& canvas, const TRect& r, TlfElementState state) const {
    if (!Theme(totButton)) TlfStandardLookAndFeelPainter::PaintCheckFrame(canvas, r, state);
}

void TlfWinXPLookAndFeelPainter::PaintRadioButton(TlfCanvas& canvas, int32_t x, int32_t y, TlfElementState state,
                                                  bool isChecked, bool flagB, TColor backColor, bool flagA) const {
    const TlfSize size = RadioButtonExtent();
    const TRect r{x, y, x + size.cx, y + size.cy};
    if (Theme(totButton) && backColor != clDefault) canvas.FillRectColor(r, backColor);
    if (!DrawPart(canvas, totButton, 2, isChecked ? kCheckChecked[state] : kCheckUnchecked[state], r))
        TlfStandardLookAndFeelPainter::PaintRadioButton(canvas, x, y, state, isChecked, flagB, backColor, flagA);
}

TlfSize TlfWinXPLookAndFeelPainter::RadioButtonExtent() const { return TlfCustomLookAndFeelPainter::RadioButtonExtent(); }

void TlfWinXPLookAndFeelPainter::PaintHeaderCell(TlfCanvas& canvas, const TRect& r, const TRect& textRect,
                                                 TlfBorders neighbours, TlfBorders sides, TlfElementState state,
                                                 const TlfTextArgs& text, TColor backColor,
                                                 const TlfCustomDrawEvent& customPaint, bool headerItemFlag1,
                                                 bool headerItemFlag2) const {
    const int themeState = kHeaderItem[state];
    const int scheme = Office11SchemeIndex();
    const int part = headerItemFlag1 && themeState == 1 && (scheme == 1 || scheme == 2) ? 3 : 1;
    if (!DrawPart(canvas, totHeader, part, themeState, r)) {
        TlfStandardLookAndFeelPainter::PaintHeaderCell(canvas, r, textRect, neighbours, sides, state, text, backColor,
                                                       customPaint, headerItemFlag1, headerItemFlag2);
        return;
    }
    const TRect t = state == esPressed ? RectOffset(textRect, 1, 1) : textRect;
    PaintThemedText(canvas, totHeader, part, themeState, r, t, text, backColor);
}

void TlfWinXPLookAndFeelPainter::PaintHeaderSection(TlfCanvas& canvas, const TRect& r, const TRect& textRect,
                                                    TlfBorders neighbours, TlfBorders sides, TlfElementState state,
                                                    const TlfTextArgs& text, TColor backColor) const {
    canvas.FillRectColor(r, clBtnFace);
    PaintHeaderCell(canvas, r, textRect, neighbours, sides, state, text, backColor, nullptr);
}

void TlfWinXPLookAndFeelPainter::PaintSortGlyph(TlfCanvas& canvas, const TRect& r, bool ascending) const {
    UltraFlatPainter()->PaintSortGlyph(canvas, r, ascending);
}

int32_t TlfWinXPLookAndFeelPainter::HeaderFrameWidth() const { return 1; }

TRect TlfWinXPLookAndFeelPainter::SectionContentRect(const TRect& r, TlfElementState state) const {
    if (Theme(totHeader)) return Shrink(r, HeaderFrameWidth());
    return TlfCustomLookAndFeelPainter::SectionContentRect(r, state);
}

void TlfWinXPLookAndFeelPainter::PaintBandCell(TlfCanvas& canvas, const TRect& r, const TlfTextArgs& text,
                                               TColor backColor, const TlfCustomDrawEvent& customPaint) const {
    if (!DrawPart(canvas, totTrackBar, 1, 1, r)) {
        TlfStandardLookAndFeelPainter::PaintBandCell(canvas, r, text, backColor, customPaint);
        return;
    }
    PaintThemedText(canvas, totTrackBar, 1, 1, r, BandCellTextRect(r), text, backColor);
}

void TlfWinXPLookAndFeelPainter::PaintBandFrame(TlfCanvas& canvas, const TRect& r) const {
    // The edit's theme edge: the raised inner edge on every side.
    if (Theme(totEdit)) canvas.DrawEdgeFrame(r, false, false, bAll);
    else TlfStandardLookAndFeelPainter::PaintBandFrame(canvas, r);
}

void TlfWinXPLookAndFeelPainter::PaintCloseButton(TlfCanvas& canvas, const TRect& r, TlfElementState state) const {
    if (!DrawPart(canvas, totWindow, 19, kSmallClose[state], r))
        TlfStandardLookAndFeelPainter::PaintCloseButton(canvas, r, state);
}

void TlfWinXPLookAndFeelPainter::PaintComboButton(TlfCanvas& canvas, const TRect& r, TlfElementState state,
                                                  bool active) const {
    if (!DrawPart(canvas, totComboBox, 1, kDropDown[state], r))
        TlfStandardLookAndFeelPainter::PaintComboButton(canvas, r, state, active);
}

TlfSize TlfWinXPLookAndFeelPainter::CheckGlyphButtonSize() const { return {13, 13}; }
TlfSize TlfWinXPLookAndFeelPainter::CloseButtonSize() const { return {16, 14}; }

void TlfWinXPLookAndFeelPainter::PaintTabItem(TlfCanvas& canvas, const TRect& r, TlfBorders sides,
                                              const std::u16string& text, TlfElementState state, bool vertical,
                                              const TCanvasFont* font, TColor textColor, TColor backColor,
                                              bool showPrefix) const {
    const TTheme theme = Theme(totTab);
    if (!theme || RectIsEmpty(r)) return;
    TlfTextArgs args;
    args.HorzAlign = 2;
    args.VertAlign = 2;
    args.ShowPrefix = showPrefix;
    args.Text = text;
    args.Font = font;
    args.TextColor = textColor;
    auto paint = [&](TlfCanvas& on, TRect tab, bool noLeft, bool noRight) {
        TRect drawn = tab, clip = tab;
        if (noLeft) drawn.Left -= 2;
        if (noRight) drawn.Right += 2;
        if (state == esPressed) ++drawn.Bottom;
        else --clip.Bottom;
        DrawThemeBackground(theme, on.Canvas(), 1, kTabItem[state], drawn, &clip);
        TRect textRect = tab;
        if (state == esPressed) textRect.Bottom -= 2;
        PaintThemedText(on, totTab, 1, kTabItem[state], clip, textRect, args, backColor);
    };
    if (!vertical) {
        paint(canvas, r, !(sides & bLeft), !(sides & bRight));
        return;
    }
    // Vertical tabs: drawn lying on a bitmap of exchanged size, then turned.
    TlfBitmap bitmap(RectHeight(r), RectWidth(r));
    paint(bitmap.lfCanvas(), bitmap.ClientRect(), !(sides & bTop), !(sides & bBottom));
    bitmap.Rotate(1, true);
    canvas.CopyRect(r, bitmap, bitmap.ClientRect());
}

void TlfWinXPLookAndFeelPainter::PaintTabItemFrame(TlfCanvas& canvas, const TRect& r, int side, TlfBorders sides,
                                                   bool vertical) const {
    if (!Theme(totTab)) TlfStandardLookAndFeelPainter::PaintTabItemFrame(canvas, r, side, sides, vertical);
}

void TlfWinXPLookAndFeelPainter::PaintTabStripFrame(TlfCanvas& canvas, const TRect& r, TlfBorders sides,
                                                    bool vertical) const {
    if (!Theme(totTab)) {
        TlfStandardLookAndFeelPainter::PaintTabStripFrame(canvas, r, sides, vertical);
        return;
    }
    TRect pane = r;
    if (vertical) pane.Right += 10;
    else pane.Bottom += 10;
    DrawPart(canvas, totTab, 9, 0, pane, &r);
}

bool TlfWinXPLookAndFeelPainter::TabItemPaintSupported(bool) const { return Theme(totTab) != 0; }

void TlfWinXPLookAndFeelPainter::PaintRowHeader(TlfCanvas& canvas, const TRect& r, int kind, TColor backColor,
                                                const TlfCustomDrawEvent& customPaint) const {
    FlatPainter()->TlfCustomLookAndFeelPainter::PaintRowHeader(canvas, r, kind, backColor, customPaint);
}

int32_t TlfWinXPLookAndFeelPainter::MinScrollThumbSize(bool) const {
    // The gripper's minimum size is a metric the style does not give.
    return 8;
}

void TlfWinXPLookAndFeelPainter::PaintScrollBarArea(TlfCanvas& canvas, bool horizontal, const TRect& r,
                                                    TlfScrollBarPart part, TlfElementState state) const {
    if (RectIsEmpty(r)) return;
    if (Theme(totScrollBar)) {
        switch (part) {
            case partLineUp:
            case partLineDown:
                PaintArrowButton(canvas, r, state,
                                 horizontal ? (part == partLineUp ? akLeft : akRight) : (part == partLineUp ? akUp : akDown),
                                 true);
                return;
            case partThumb:
                DrawPart(canvas, totScrollBar, horizontal ? 2 : 3, kScrollPart[state], r);
                DrawPart(canvas, totScrollBar, horizontal ? 8 : 9, 0, r);
                return;
            case partPageUp:
            case partPageDown:
                // A style may draw its track see-through (Qt's Fusion draws
                // none): the face colour lies under it, so nothing painted
                // before shows through.
                canvas.FillRectColor(r, clBtnFace);
                DrawPart(canvas, totScrollBar, horizontal ? (part == partPageUp ? 4 : 5) : (part == partPageUp ? 6 : 7),
                         kScrollPart[state], r);
                return;
            default: break;
        }
    }
    TlfStandardLookAndFeelPainter::PaintScrollBarArea(canvas, horizontal, r, part, state);
}

void TlfWinXPLookAndFeelPainter::PaintGrip(TlfCanvas& canvas, const TRect& r, TColor backColor) const {
    canvas.FillRectColor(r, backColor);
    if (!DrawPart(canvas, totScrollBar, 10, 1, r)) DrawSizeGrip(canvas, r);
}

void TlfWinXPLookAndFeelPainter::PaintArrowCaption(TlfCanvas& canvas, const TRect& r, const std::u16string& text,
                                                   TlfBorders neighbours, const TlfPaintParams& viewParams, int arrows,
                                                   int32_t offset, const TlfCustomDrawEvent& customPaint) const {
    TlfCustomLookAndFeelPainter::PaintArrowCaption(canvas, r, text, neighbours, viewParams, arrows, offset, customPaint);
}

void TlfWinXPLookAndFeelPainter::PaintProgressStrip(TlfCanvas& canvas, const TRect& bounds, const TRect& progressRect,
                                                    const TlfPaintParams& viewParams, bool transparent) const {
    if (!DrawPart(canvas, totProgress, 1, 0, bounds)) {
        TlfStandardLookAndFeelPainter::PaintProgressStrip(canvas, bounds, progressRect, viewParams, transparent);
        return;
    }
    DrawPart(canvas, totProgress, 3, 0, progressRect);
}

void TlfWinXPLookAndFeelPainter::PaintToolButton(TlfCanvas& canvas, const TRect& r, TlfElementState state) const {
    if (!DrawPart(canvas, totToolBar, 1, kToolButton[state], r))
        TlfStandardLookAndFeelPainter::PaintToolButton(canvas, r, state);
}

void TlfWinXPLookAndFeelPainter::PaintSplitterBar(TlfCanvas& canvas, const TRect& r, const TlfPaintParams& viewParams,
                                                  bool horizontal) const {
    if (Theme(totListView) && Theme(totComboBox)) {
        // The combo box's border colour is not given by the style: the
        // ultra-flat drawing with its own lines.
        UltraFlatPainter()->PaintSplitterBar(canvas, r, viewParams, horizontal);
        return;
    }
    TlfStandardLookAndFeelPainter::PaintSplitterBar(canvas, r, viewParams, horizontal);
}

void TlfWinXPLookAndFeelPainter::PaintPanelBackground(TlfCanvas& canvas, TControl* control, const TRect& bounds,
                                                      TColor colorFrom, TColor) const {
    Office11Painter()->PaintPanelBackground(canvas, control, bounds, colorFrom, clDefault);
}

void TlfWinXPLookAndFeelPainter::PaintThemedText(TlfCanvas& canvas, int theme, int part, int state, const TRect&,
                                                 const TRect& textRect, const TlfTextArgs& text, TColor) const {
    if (text.Text.empty()) return;
    const TTheme handle = Theme(static_cast<TkrThemedObjectType>(theme));
    if (!handle) return;
    if (text.Font) canvas.SetFont(*text.Font);
    if (text.TextColor != clDefault && text.TextColor != clNone) canvas.Font().Color = static_cast<uint32_t>(text.TextColor);
    TRect r = textRect;
    if (text.MultiLine) canvas.AlignTextVertically(r, text.Text, false, true, text.ShowPrefix, true, text.VertAlign);
    static const uint32_t horz[] = {DT_LEFT, DT_RIGHT, DT_CENTER};
    static const uint32_t vert[] = {0, DT_BOTTOM, DT_VCENTER};
    uint32_t flags = horz[std::clamp(text.HorzAlign, 0, 2)] | vert[std::clamp(text.VertAlign, 0, 2)] | DT_EDITCONTROL;
    if (text.EndEllipsis) flags |= DT_END_ELLIPSIS;
    if (!text.ShowPrefix) flags |= DT_NOPREFIX;
    flags |= text.MultiLine ? DT_WORDBREAK : DT_SINGLELINE;
    DrawThemeText(handle, canvas.Canvas(), part, state, text.Text, flags, r);
}
