// The base painter, the classic standard painter and the flat and
// ultra-flat painters.
#include "navbar/lf_painters.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <numbers>

#include "navbar/lf_painter_images.h"
#include "navbar/lf_office11.h"
#include "platform/ui/application.h"

using namespace lfColors;

namespace {

// Half of v rounded to the nearest, halves away from zero (the system's
// MulDiv(v, 1, 2)).
int32_t HalfRounded(int32_t v) { return v >= 0 ? (v + 1) / 2 : (v - 1) / 2; }

TRect Shrink(const TRect& r, int32_t d) { return RectInflate(r, -d, -d); }

void SetPenAndBrush(TlfCanvas& canvas, TColor color) {
    canvas.Pen().Color = static_cast<uint32_t>(color);
    canvas.Pen().Style = PS_SOLID;
    canvas.Pen().Width = 1;
    canvas.Brush().Style = BS_SOLID;
    canvas.SetBrushColor(color);
}

TlfTextFlags CellFlags(const TlfTextArgs& text) {
    TlfTextFlags flags = 0;
    static const TlfTextFlags horz[] = {tfLeft, tfRight, tfHCenter};
    static const TlfTextFlags vert[] = {tfTop, tfBottom, tfVCenter};
    flags |= horz[std::clamp(text.HorzAlign, 0, 2)];
    flags |= vert[std::clamp(text.VertAlign, 0, 2)];
    flags |= text.MultiLine ? tfWordBreak : tfSingleLine;
    if (text.EndEllipsis) flags |= tfEndEllipsis;
    if (text.ShowPrefix) flags |= tfShowPrefix;
    return flags;
}

void UseTextFont(TlfCanvas& canvas, const TlfTextArgs& text, TColor color) {
    if (text.Font) canvas.SetFont(*text.Font);
    if (color != clDefault && color != clNone) canvas.Font().Color = static_cast<uint32_t>(color);
}

// A splitter bar: pairs of lines (top and bottom of a horizontal bar, left
// and right of a vertical one), each pair inside the one before, then the
// rest filled. The lines reach a pixel past the ends along the bar; what is
// drawn stays inside the bar's rectangle.
void PaintSplitterLines(TlfCanvas& canvas, const TRect& rect, const TlfPaintParams& viewParams, bool horizontal,
                        std::initializer_list<std::pair<TColor, TColor>> lines) {
    canvas.SaveState();
    canvas.SetClipRegion(TlfRegion(rect), rcIntersection);
    TRect r = rect;
    for (const auto& [first, second] : lines) {
        if (horizontal) {
            canvas.FillRectColor({r.Left, r.Top, r.Right, r.Top + 1}, first);
            canvas.FillRectColor({r.Left, r.Bottom - 1, r.Right, r.Bottom}, second);
            r = RectInflate(r, 1, -1);
        } else {
            canvas.FillRectColor({r.Left, r.Top, r.Left + 1, r.Bottom}, first);
            canvas.FillRectColor({r.Right - 1, r.Top, r.Right, r.Bottom}, second);
            r = RectInflate(r, -1, 1);
        }
    }
    canvas.FrameAndFillRect(r, viewParams, 0, clDefault);
    canvas.RestoreState();
}

}  // namespace

TlfLookAndFeelKind PainterStyleToKind(TlfPainterStyle style) {
    switch (style) {
        case psFlat: return lfFlat;
        case psUltraFlat: return lfUltraFlat;
        case psOffice11: return lfOffice11;
        default: return lfStandard;
    }
}

// ------------------------------------------------------------------ image list

int TlfImageList::Add(const TBitmap& image, const TBitmap* mask, TColor transparentColor) {
    TImage entry;
    entry.Pixels.SetPixelFormat(TPixelFormat::pf24bit);
    entry.Pixels.SetSize(width_, height_);
    entry.Opaque.assign(static_cast<size_t>(width_) * height_, 0);
    const TColor clear = transparentColor == clNone ? -1 : ColorToRGB(transparentColor);
    for (int32_t y = 0; y < height_ && y < image.Height(); ++y) {
        const uint8_t* row = image.ScanLine(y);
        uint8_t* out = entry.Pixels.ScanLine(y);
        const uint8_t* maskRow = mask && !mask->Empty() && y < mask->Height() ? mask->ScanLine(y) : nullptr;
        for (int32_t x = 0; x < width_ && x < image.Width(); ++x) {
            const uint32_t rgb = image.PixelColor(row, x);  // 0x00RRGGBB
            entry.Pixels.SetPixelColor(out, x, rgb);
            const TColor color = RGBColor(uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb));
            bool opaque = color != clear;
            if (maskRow) opaque = (mask->PixelColor(maskRow, x) & 0xFFFFFF) == 0;
            entry.Opaque[static_cast<size_t>(y) * width_ + x] = opaque;
        }
    }
    images_.push_back(std::move(entry));
    return Count() - 1;
}

void TlfImageList::Draw(TCanvas& canvas, int32_t x, int32_t y, int index, bool enabled) const {
    if (index < 0 || index >= Count()) return;
    const TImage& image = images_[static_cast<size_t>(index)];
    for (int32_t row = 0; row < height_; ++row) {
        const uint8_t* line = image.Pixels.ScanLine(row);
        for (int32_t col = 0; col < width_; ++col) {
            if (!image.Opaque[static_cast<size_t>(row) * width_ + col]) continue;
            if (enabled) {
                const uint32_t rgb = image.Pixels.PixelColor(line, col);
                canvas.SetPixel(x + col, y + row, RGBColor(uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb)));
            } else {
                canvas.SetPixel(x + col + 1, y + row + 1, ColorToRGB(clBtnHighlight));
            }
        }
    }
    if (!enabled)
        for (int32_t row = 0; row < height_; ++row)
            for (int32_t col = 0; col < width_; ++col)
                if (image.Opaque[static_cast<size_t>(row) * width_ + col])
                    canvas.SetPixel(x + col, y + row, ColorToRGB(clBtnShadow));
}

// ------------------------------------------------------------------ base painter

std::vector<TPoint> TlfCustomLookAndFeelPainter::ArrowPoints(TRect r, TlfArrowKind direction, bool proportional) {
    if (proportional) {
        const int32_t d = RectWidth(r) - RectHeight(r);
        if (d < 1) {
            r.Top += -d / 2;
            r.Bottom -= -d / 2;
        } else {
            r.Left += d / 2;
            r.Right -= d / 2;
        }
    }
    int32_t w, h;
    if (direction == akLeft || direction == akRight) {
        const int32_t n = (RectHeight(r) - 1) / 4 + 1;
        w = n;
        h = 2 * n - 1;
    } else {
        const int32_t n = (RectWidth(r) - 1) / 4 + 1;
        w = 2 * n - 1;
        h = n;
    }
    const int32_t x0 = (r.Left + r.Right - w) / 2, y0 = HalfRounded(r.Top + r.Bottom - h);
    const int32_t cx = (r.Left + r.Right - 1) / 2, cy = (r.Top + r.Bottom) / 2;
    switch (direction) {
        case akUp: return {{x0, y0 + h - 1}, {cx, y0}, {x0 + w - 1, y0 + h - 1}};
        case akDown: return {{x0 + w - 1, y0}, {cx, y0 + h - 1}, {x0, y0}};
        case akLeft: return {{x0 + w - 1, y0 + h - 1}, {x0, cy}, {x0 + w - 1, y0}};
        default: return {{x0, y0}, {x0 + w - 1, cy}, {x0, y0 + h - 1}};
    }
}

void TlfCustomLookAndFeelPainter::FillTriangle(TlfCanvas& canvas, const std::vector<TPoint>& points, TColor color) {
    SetPenAndBrush(canvas, color);
    canvas.Polygon(points);
}

void TlfCustomLookAndFeelPainter::PaintExpandCross(TlfCanvas& canvas, const TRect& r, bool expanded, TColor color) {
    const int32_t cx = (r.Left + r.Right) / 2, cy = (r.Top + r.Bottom) / 2, half = (RectWidth(r) - 4) / 2;
    if (half < 0) return;
    canvas.SetBrushColor(color);
    canvas.FillRect({cx - half, cy, cx + half + 1, cy + 1});
    if (!expanded) canvas.FillRect({cx, cy - half, cx + 1, cy + half + 1});
}

void TlfCustomLookAndFeelPainter::PaintSortGlyphLines(TlfCanvas& canvas, const TRect& r, bool ascending, TlfSize size,
                                                      TColor color1, TColor color2) {
    const int32_t w = size.cx, h = size.cy, s = ascending ? 1 : -1;
    const int32_t cx = (r.Left + r.Right) / 2 - (w % 2 == 0 ? 1 : 0);
    const int32_t y0 = ascending ? (r.Top + r.Bottom - h) / 2 : (r.Top + r.Bottom + h) / 2 - 1;
    const int32_t a = w / 2, b = w % 2 == 0 ? a - 1 : a;
    canvas.Pen().Width = 1;
    canvas.Pen().Style = PS_SOLID;
    canvas.Pen().Color = static_cast<uint32_t>(color1);
    canvas.MoveTo(cx + a, y0 + (h - 2) * s);
    canvas.LineTo(cx + a - b, y0);
    canvas.LineTo(cx + a, y0 + (h - 1) * s);
    canvas.Pen().Color = static_cast<uint32_t>(ascending ? color1 : color2);
    canvas.LineTo(cx - b, y0 + (h - 1) * s);
    canvas.Pen().Color = static_cast<uint32_t>(color2);
    canvas.LineTo(cx, y0);
    canvas.LineTo(cx - b, y0 + (h - (w % 2)) * s);
}

void TlfCustomLookAndFeelPainter::PaintCaptionArrows(TlfCanvas& canvas, TRect r, int arrows, int32_t offset,
                                                     int32_t borderWidth) {
    r.Top += borderWidth;
    r = RectInflate(r, 0, -1);
    int32_t c = RectHeight(r) / 2;
    if (c % 2 == 0) ++c;
    const int32_t y0 = (r.Top + r.Bottom - c) / 2, tipY = y0 + c / 2;
    SetPenAndBrush(canvas, clWindowText);
    if (arrows == 1 || arrows == 3) {
        const int32_t base = r.Left + (offset - 1);
        canvas.Polygon({{base, y0}, {base, y0 + c}, {base - (c / 2 + 1), tipY}});
    }
    if (arrows == 2 || arrows == 3) {
        const int32_t base = r.Right - (offset - 1);
        canvas.Polygon({{base, y0}, {base, y0 + c}, {base + (c / 2 + 1), tipY}});
    }
}

void TlfCustomLookAndFeelPainter::FillBackground(TlfCanvas& canvas, const TRect& r, bool transparent, TColor color,
                                                 const TBitmap* bitmap) const {
    if (!transparent) canvas.FillRectColor(r, color);
    else if (HasGlyph(bitmap)) canvas.FillRect(r, bitmap);
}

void TlfCustomLookAndFeelPainter::PaintDropDownGlyph(TlfCanvas& canvas, const TRect& r, TColor color) const {
    int32_t w = RectWidth(r) / 2;
    if (w % 2 == 0) ++w;
    const int32_t h = w / 2 + 1, x0 = (r.Left + r.Right - w) / 2, y0 = HalfRounded(r.Top + r.Bottom - h);
    FillTriangle(canvas, {{x0, y0}, {x0 + w - 1, y0}, {x0 + w / 2, y0 + h - 1}}, color);
}

void TlfCustomLookAndFeelPainter::PaintTextCell(TlfCanvas& canvas, const TRect& r, const TRect& textRect,
                                                TlfElementState, const TlfTextArgs& text, TColor backColor,
                                                const TlfCustomDrawEvent& customPaint, bool) const {
    if (!(customPaint && customPaint(canvas, r))) canvas.FillRectColor(r, backColor);
    if (text.Text.empty()) return;
    canvas.Brush().Style = BS_NULL;
    UseTextFont(canvas, text, text.TextColor);
    canvas.DrawTextInRect(text.Text, textRect, CellFlags(text), true);
    canvas.Brush().Style = BS_SOLID;
}

void TlfCustomLookAndFeelPainter::PaintStepButton(TlfCanvas& canvas, const TRect& r, const TRect& arrowRect, bool isNext,
                                                  TlfElementState state) const {
    canvas.FillRectColor(r, clBtnFace);
    const TlfBorders sides = isNext ? TlfBorders(11) : TlfBorders(14);
    canvas.DrawTwoColorFrame(r, clBtnShadow, clBtnShadow, sides);
    TRect inner = RectInflate(r, 0, -1);
    if (isNext) ++inner.Left;
    else --inner.Right;
    if (state == esPressed) canvas.DrawTwoColorFrame(inner, clBtnShadow, clBtnHighlight, sides);
    else canvas.DrawTwoColorFrame(inner, clBtnHighlight, clBtnFace, sides);
    PaintStepArrow(canvas, arrowRect, isNext, ButtonGlyphColor(state, clDefault));
}

TRect TlfCustomLookAndFeelPainter::BandCellContentRect(const TRect& r) const { return Shrink(r, BandCellFrameWidth()); }
TRect TlfCustomLookAndFeelPainter::BandCellTextRect(const TRect& r) const { return Shrink(BandCellContentRect(r), 2); }

TColor TlfCustomLookAndFeelPainter::DefaultColor(int index) const {
    switch (index) {
        case 1: return clWindow;
        case 2: case 3: return DefaultColor(1);
        case 4: return clWindowText;
        case 5: return clBtnShadow;
        case 6: return clBtnHighlight;
        case 7: return clBtnText;
        case 8: return clBtnFace;
        case 9: return clBtnText;
        case 10: case 11: return clBtnShadow;
        case 12: case 13: return clBtnFace;
        case 14: return clBtnText;
        case 15: return clBtnShadow;
        case 16: case 17: return clBtnFace;
        case 18: return clBtnText;
        case 19: return 0xFF0000;
        case 20: return clBtnFace;
        case 21: return clBtnText;
        case 22: return 0xFF0000;
        case 23: return DefaultColor(10);
        case 24: return clBtnFace;
        case 25: return DefaultColor(17);
        case 26: return clDefault;
        case 27: return 0x000000;
        case 28: return DefaultColor(27);
        case 29: return clBtnFace;
        case 30: return clHighlight;
        case 31: return clHighlightText;
        case 32: return clWindow;
        case 33: return clWindowText;
        case 34: return 0x9D9DA1;
        case 35: case 36: return clBtnFace;
        case 37: return 0xD5FFFF;
        case 38: return DefaultColor(41);
        case 39: return clWindowText;
        case 40: return clHighlight;
        case 41: return clHighlightText;
        case 42: case 43: return clBtnFace;
        case 44: return clBtnText;
        case 45: return clBtnFace;
        case 46: return 0xFFFFFF;
        case 47: return 0x000000;
        case 48: return clBtnFace;
        case 49: return clBtnText;
        case 50: return 0xFFFFFF;
        case 51: case 52: case 53: return 0x000000;
        case 54: return 0xCFCFCF;
        case 55: return 0xFFFFFF;
        case 56: return clBtnShadow;
        case 57: return 0xF0CAA6;
        case 58: return 0x800000;
        case 59: case 60: return clBtnShadow;
        default: return clDefault;
    }
}

void TlfCustomLookAndFeelPainter::PaintArrow(TlfCanvas& canvas, const TRect& r, TlfArrowKind direction, TColor color) const {
    FillTriangle(canvas, ArrowPoints(r, direction, true), color);
}

void TlfCustomLookAndFeelPainter::PaintArrowButton(TlfCanvas& canvas, const TRect& r, TlfElementState state,
                                                   TlfArrowKind direction, bool withFrame) const {
    if (withFrame) PaintArrowButtonFrame(canvas, r, state);
    else canvas.FillRectColor(r, ButtonFaceColor(state));
    FillTriangle(canvas, ArrowPoints(r, direction, false), ButtonGlyphColor(state, clDefault));
}

void TlfCustomLookAndFeelPainter::PaintArrowButtonFrame(TlfCanvas& canvas, const TRect& r, TlfElementState state) const {
    canvas.FillRectColor(r, ButtonFaceColor(state));
    PaintButtonFrame(canvas, r, state);
}

void TlfCustomLookAndFeelPainter::PaintScrollArrow(TlfCanvas& canvas, const TRect& rect, TlfElementState state,
                                                   TlfArrowKind direction) const {
    TRect r = rect;
    if (state == esPressed) r = RectOffset(r, ButtonTextPressOffset(), ButtonTextPressOffset());
    if (state == esDisabled) {
        FillTriangle(canvas, ArrowPoints(RectOffset(r, 1, 1), direction, true), clBtnHighlight);
        FillTriangle(canvas, ArrowPoints(r, direction, true), clBtnShadow);
    } else {
        FillTriangle(canvas, ArrowPoints(r, direction, true), ButtonGlyphColor(state, clDefault));
    }
}

TRect TlfCustomLookAndFeelPainter::ButtonFocusArea(TlfCanvas&, const TRect& r) const {
    const TRect inner = Shrink(r, 4);
    return RectIsEmpty(inner) ? r : inner;
}

TRect TlfCustomLookAndFeelPainter::SegmentButtonFrameWidths(int, int) const {
    const int32_t w = ButtonFrameWidth(esNormal);
    return {w, w, w, w};
}

TColor TlfCustomLookAndFeelPainter::ButtonGlyphColor(TlfElementState state, TColor defaultColor) const {
    if (state == esDisabled) return clBtnShadow;
    return defaultColor == clDefault ? clBtnText : defaultColor;
}

void TlfCustomLookAndFeelPainter::PaintButton(TlfCanvas& canvas, const TRect& rect, const std::u16string& text,
                                              TlfElementState state, bool withFrame, TColor faceColor, TColor textColor,
                                              bool wordWrap) const {
    TRect r = rect;
    if (withFrame) {
        PaintButtonFrame(canvas, r, state);
        r = Shrink(r, ButtonFrameWidth(state));
    }
    if (faceColor == clDefault) faceColor = ButtonFaceColor(state);
    canvas.FillRectColor(r, faceColor);
    if (textColor == clDefault) textColor = ButtonGlyphColor(state, clDefault);
    canvas.Font().Color = static_cast<uint32_t>(textColor);
    canvas.Brush().Style = BS_NULL;
    if (RectHeight(r) % 2 != 0) --r.Bottom;
    if (RectHeight(r) < 18) --r.Top;
    if (state == esPressed) r = RectOffset(r, ButtonTextPressOffset(), ButtonTextPressOffset());
    if (!text.empty())
        canvas.DrawTextInRect(text, r, tfHCenter | tfVCenter | tfShowPrefix | (wordWrap ? tfWordBreak : tfSingleLine),
                              state != esDisabled);
    canvas.Brush().Style = BS_SOLID;
}

void TlfCustomLookAndFeelPainter::PaintSegmentButton(TlfCanvas& canvas, const TRect& r, TlfElementState state, int, int,
                                                     TColor) const {
    PaintButton(canvas, r, u"", state, true);
}

void TlfCustomLookAndFeelPainter::PaintCaptionExpandButton(TlfCanvas& canvas, const TRect& r, bool expanded,
                                                           TlfElementState state) const {
    PaintButton(canvas, r, u"", state, true);
    canvas.Pen().Color = static_cast<uint32_t>(ButtonGlyphColor(state, clDefault));
    canvas.Pen().Width = 1;
    const int32_t x0 = (r.Left + r.Right - 7) / 2, y = (r.Top + r.Bottom - 6) / 2;
    for (int32_t row : {y, y + 1, y + 4, y + 5}) {
        // Up: the tip on the stroke's first row; down: on its last.
        const int32_t tip = expanded ? row - 1 : row + 1, ends = expanded ? row + 1 : row - 1;
        canvas.MoveTo(x0, ends);
        canvas.LineTo(x0 + 3, tip);
        canvas.LineTo(x0 + 6, ends);
        canvas.SetPixel(x0 + 6, ends, static_cast<TColor>(canvas.Pen().Color));
    }
}

void TlfCustomLookAndFeelPainter::PaintSmallExpandButton(TlfCanvas& canvas, const TRect& r, bool expanded,
                                                         TColor borderColor, TColor color) const {
    canvas.FrameRect(r, borderColor);
    if (color != clDefault) canvas.FillRectColor(Shrink(r, 1), color);
    PaintExpandCross(canvas, r, expanded, clBtnText);
}

bool TlfCustomLookAndFeelPainter::PointOverCaptionExpandButton(const TRect& r, const TPoint& p) const {
    return p.X >= r.Left && p.X < r.Right && p.Y >= r.Top && p.Y < r.Bottom;
}

TColor TlfCustomLookAndFeelPainter::CheckFaceColor(TlfElementState state) const {
    return state == esPressed || state == esDisabled ? clBtnFace : clWindow;
}

TlfSize TlfCustomLookAndFeelPainter::CheckBoxSize() const { return SystemCheckBoxSize(); }

void TlfCustomLookAndFeelPainter::PaintCheckMark(TlfCanvas& canvas, const TRect& r, TlfElementState state, bool isChecked,
                                                 TColor color) const {
    if (canvas.Brush().Style == BS_SOLID) canvas.FillRectColor(r, CheckFaceColor(state));
    if (!isChecked) return;
    const int32_t w = RectWidth(r) - 2, h = RectHeight(r) - 4, cx = (r.Left + r.Right) / 2;
    canvas.Pen().Color = static_cast<uint32_t>(color);
    canvas.Pen().Width = 1;
    for (int32_t offset = 0; offset < 3; ++offset) {
        const int32_t row = (r.Top + r.Bottom + h) / 2 - 2 + offset;
        canvas.MoveTo(cx + 1 - w / 2, row - h / 2);
        canvas.LineTo(cx, row);
        canvas.LineTo(cx + w / 2 + 2, row - h);
    }
}

void TlfCustomLookAndFeelPainter::PaintBooleanCheckBox(TlfCanvas& canvas, const TRect& r, TlfElementState state,
                                                       bool isChecked) const {
    PaintCheckBox(canvas, r, state, isChecked ? chkChecked : chkUnchecked);
}

void TlfCustomLookAndFeelPainter::PaintCheckBox(TlfCanvas& canvas, const TRect& r, TlfElementState state,
                                                TlfCheckMarkState checkState) const {
    PaintCheckFrame(canvas, r, state);
    const TRect inner = Shrink(r, CheckFrameWidth());
    const TColor glyph = state == esDisabled || checkState == chkGrayed ? clGrayText : clBtnText;
    PaintCheckMark(canvas, inner, state, checkState == chkChecked, glyph);
}

void TlfCustomLookAndFeelPainter::PaintRadioButton(TlfCanvas& canvas, int32_t x, int32_t y, TlfElementState state,
                                                   bool isChecked, bool flagB, TColor backColor, bool flagA) const {
    RadioButtonImages().PaintImage(canvas, x, y, backColor, PainterStyleToKind(PainterStyle()), state, isChecked, flagB,
                                   flagA);
}

TlfSize TlfCustomLookAndFeelPainter::RadioButtonExtent() const { return RadioButtonImages().ImageSize(); }

void TlfCustomLookAndFeelPainter::PaintHeaderCell(TlfCanvas& canvas, const TRect& r, const TRect& textRect,
                                                  TlfBorders neighbours, TlfBorders sides, TlfElementState state,
                                                  const TlfTextArgs& text, TColor backColor,
                                                  const TlfCustomDrawEvent& customPaint, bool, bool) const {
    PaintHeaderCellFrame(canvas, r, neighbours, sides);
    PaintTextCell(canvas, HeaderContentRect(r, sides), textRect, state, text, backColor, customPaint, false);
}

void TlfCustomLookAndFeelPainter::PaintFlatHeaderCell(TlfCanvas& canvas, const TRect& r, const TRect& textRect,
                                                      TlfBorders neighbours, TlfBorders sides, TlfElementState state,
                                                      const TlfTextArgs& text, TColor backColor,
                                                      const TlfCustomDrawEvent& customPaint) const {
    PaintHeaderCell(canvas, r, textRect, neighbours, sides, state, text, backColor, customPaint, false, false);
}

void TlfCustomLookAndFeelPainter::PaintHeaderSection(TlfCanvas& canvas, const TRect& r, const TRect& textRect,
                                                     TlfBorders, TlfBorders sides, TlfElementState state,
                                                     const TlfTextArgs& text, TColor backColor) const {
    PaintHeaderSectionFrame(canvas, r, sides, state);
    PaintHeaderSectionFace(canvas, SectionContentRect(r, state), textRect, state, text, backColor);
}

void TlfCustomLookAndFeelPainter::PaintHeaderSectionFace(TlfCanvas& canvas, const TRect& r, const TRect& textRect,
                                                         TlfElementState state, const TlfTextArgs& text,
                                                         TColor backColor) const {
    canvas.FillRectColor(r, backColor);
    PaintHeaderSectionCaption(canvas, SectionCaptionRect(textRect, state), state, text);
}

void TlfCustomLookAndFeelPainter::PaintHeaderSectionCaption(TlfCanvas& canvas, const TRect& textRect,
                                                            TlfElementState state, const TlfTextArgs& text) const {
    if (text.Text.empty()) return;
    canvas.Brush().Style = BS_NULL;
    UseTextFont(canvas, text, clDefault);
    if (state == esDisabled) {
        canvas.Font().Color = static_cast<uint32_t>(clBtnHighlight);
        canvas.DrawTextInRect(text.Text, RectOffset(textRect, 1, 1), CellFlags(text));
        canvas.Font().Color = static_cast<uint32_t>(clBtnShadow);
    } else if (text.TextColor != clDefault) {
        canvas.Font().Color = static_cast<uint32_t>(text.TextColor);
    }
    canvas.DrawTextInRect(text.Text, textRect, CellFlags(text));
    canvas.Brush().Style = BS_SOLID;
}

void TlfCustomLookAndFeelPainter::PaintHeaderDivider(TlfCanvas& canvas, const TRect& r, int32_t indent, TColor color,
                                                     const TlfPaintParams& viewParams) const {
    canvas.SetBrushColor(viewParams.Color);
    canvas.FillRect({r.Left, r.Top, std::min(r.Left + indent, r.Right), r.Bottom}, viewParams.Bitmap);
    canvas.SetBrushColor(viewParams.Color);
    canvas.FillRect({std::max(r.Right - indent, r.Left), r.Top, r.Right, r.Bottom}, viewParams.Bitmap);
    canvas.FillRectColor({r.Left + indent, r.Top, r.Right - indent, r.Bottom}, color);
}

TRect TlfCustomLookAndFeelPainter::ExpandHeaderRect(const TRect& rect, TlfBorders neighbours, TlfBorders sides) const {
    TRect r = rect;
    const TlfBorders own = HeaderCellSides(neighbours);
    const int32_t w = HeaderFrameWidth();
    if ((sides & bLeft) && !(own & bLeft)) r.Left -= w;
    if ((sides & bTop) && !(own & bTop)) r.Top -= w;
    if ((sides & bRight) && !(own & bRight)) r.Right += w;
    if ((sides & bBottom) && !(own & bBottom)) r.Bottom += w;
    return r;
}

TRect TlfCustomLookAndFeelPainter::HeaderContentRect(const TRect& rect, TlfBorders sides) const {
    TRect r = rect;
    const int32_t w = HeaderFrameWidth();
    if (sides & bLeft) r.Left += w;
    if (sides & bTop) r.Top += w;
    if (sides & bRight) r.Right -= w;
    if (sides & bBottom) r.Bottom -= w;
    return r;
}

TRect TlfCustomLookAndFeelPainter::SectionCaptionRect(const TRect& r, TlfElementState state) const {
    return state == esPressed ? RectOffset(r, 1, 1) : r;
}

TRect TlfCustomLookAndFeelPainter::SectionContentRect(const TRect& r, TlfElementState state) const {
    return Shrink(r, SectionFrameWidth(state));
}

int32_t TlfCustomLookAndFeelPainter::HeaderTextWidth(TlfCanvas& canvas, TlfBorders sides, const std::u16string& text,
                                                     const TCanvasFont* font) const {
    if (font) canvas.SetFont(*font);
    int32_t w = canvas.TextWidth(text) + 4;
    if (sides & bLeft) w += HeaderFrameWidth();
    if (sides & bRight) w -= HeaderFrameWidth();
    return w;
}

void TlfCustomLookAndFeelPainter::PaintBandCell(TlfCanvas& canvas, const TRect& r, const TlfTextArgs& text,
                                                TColor backColor, const TlfCustomDrawEvent& customPaint) const {
    PaintBandCellFrame(canvas, r);
    TlfTextArgs args = text;
    args.EndEllipsis = false;
    PaintTextCell(canvas, BandCellContentRect(r), BandCellTextRect(r), esDefault, args, backColor, customPaint, true);
}

void TlfCustomLookAndFeelPainter::PaintBandContent(TlfCanvas& canvas, const TRect& r, const TlfPaintParams& viewParams) const {
    if (RectIsEmpty(r)) return;
    canvas.SetBrushColor(viewParams.Color);
    canvas.FillRect(r, viewParams.Bitmap);
}

void TlfCustomLookAndFeelPainter::PaintCloseButton(TlfCanvas& canvas, const TRect& rect, TlfElementState state) const {
    PaintButtonFrame(canvas, rect, state);
    const TRect r = Shrink(rect, ButtonFrameWidth(esNormal));
    canvas.FillRectColor(r, ButtonFaceColor(state));
    int32_t g = CloseButtonSize().cx / 2;
    if (g % 2 == 0) --g;
    TRect glyph = RectCenter(r, g, g);
    if (ButtonGlyphState(state) == esPressed) glyph = RectOffset(glyph, 1, 1);
    canvas.Pen().Color = static_cast<uint32_t>(ButtonGlyphColor(state, clDefault));
    canvas.Pen().Width = 1;
    for (int32_t dx = 0; dx < 2; ++dx) {
        canvas.MoveTo(glyph.Left + dx, glyph.Top);
        canvas.LineTo(glyph.Left + dx + g, glyph.Top + g);
        canvas.MoveTo(glyph.Left + g - 1 + dx, glyph.Top);
        canvas.LineTo(glyph.Left - 1 + dx, glyph.Top + g);
    }
}

void TlfCustomLookAndFeelPainter::PaintStripeMark(TlfCanvas& canvas, const TRect& r, TColor color) const {
    canvas.Pen().Color = static_cast<uint32_t>(color);
    canvas.Pen().Width = 1;
    for (int32_t i = 0; i < 5; ++i) {
        const int32_t y = (r.Top + r.Bottom - 9) / 2 + 2 * i;
        canvas.MoveTo(r.Left + 5, y);
        canvas.LineTo(r.Right - 3, y);
        if (i % 2 == 0) canvas.SetPixel(r.Left + 3, y, color);
    }
}

void TlfCustomLookAndFeelPainter::PaintRowStateImage(TlfCanvas& canvas, const TRect& r, int kind) const {
    const TlfImageList& images = RowStateImages();
    if (kind <= 0 || kind > images.Count()) return;
    const TRect at = RectCenter(r, images.Width(), images.Height());
    images.Draw(canvas.Canvas(), at.Left, at.Top, kind - 1);
}

void TlfCustomLookAndFeelPainter::PaintRowHeader(TlfCanvas& canvas, const TRect& r, int kind, TColor backColor,
                                                 const TlfCustomDrawEvent& customPaint) const {
    TlfTextArgs none;
    none.TextColor = clNone;
    PaintHeaderCell(canvas, r, r, 0, HeaderCellSides(10), esNormal, none, backColor, customPaint);
    PaintRowStateImage(canvas, r, kind);
}

void TlfCustomLookAndFeelPainter::PaintFlatRowHeader(TlfCanvas& canvas, const TRect& r, int kind, TColor backColor,
                                                     const TlfCustomDrawEvent& customPaint) const {
    TlfTextArgs none;
    none.TextColor = clNone;
    PaintFlatHeaderCell(canvas, r, r, 0, bAll, esNormal, none, backColor, customPaint);
    PaintRowStateImage(canvas, r, kind);
}

TlfSize TlfCustomLookAndFeelPainter::GripSize() const {
    return {Application().Backend().GetSystemMetric(SM_CXVSCROLL), Application().Backend().GetSystemMetric(SM_CYHSCROLL)};
}

void DrawSizeGrip(TlfCanvas& canvas, const TRect& r) {
    // Three pairs of ridges from the bottom-right corner, as the system's.
    const int32_t size = std::min(RectWidth(r), RectHeight(r));
    canvas.Pen().Width = 1;
    for (int32_t d = 0; d + 2 <= size && d < 12; d += 4) {
        const int32_t from = size - d;
        const std::pair<TColor, int32_t> lines[] = {{clBtnHighlight, from - 1}, {clBtnShadow, from - 2},
                                                    {clBtnShadow, from - 3}};
        for (const auto& [color, k] : lines) {
            if (k <= 0) continue;
            canvas.Pen().Color = static_cast<uint32_t>(color);
            canvas.MoveTo(r.Right - 1, r.Bottom - 1 - k);
            canvas.LineTo(r.Right - 1 - k, r.Bottom - 1);
        }
    }
}

void TlfCustomLookAndFeelPainter::PaintGrip(TlfCanvas& canvas, const TRect& r, TColor backColor) const {
    canvas.FillRectColor(r, backColor);
    DrawSizeGrip(canvas, r);
}

void TlfCustomLookAndFeelPainter::StepButtonMetrics(bool isNext, TRect& margins, TlfSize& glyphSize) const {
    margins = isNext ? TRect{2, 6, 0, 6} : TRect{0, 6, 2, 6};
    glyphSize = {7, 7};
}

void TlfCustomLookAndFeelPainter::LayoutStepButtons(bool isNext, bool centred, const TlfSize& size1, const TlfSize& size2,
                                                    TRect& bounds, TRect& arrowArea, TRect& buttonRect) const {
    TRect margins;
    TlfSize glyph;
    StepButtonMetrics(isNext, margins, glyph);
    const int32_t b = 3 * glyph.cy;
    if (centred) {
        arrowArea = TRect{0, 0, 0, 0};
        const int32_t h = margins.Top + b + margins.Bottom;
        bounds.Top = (bounds.Top + bounds.Bottom - margins.Top - margins.Bottom - b) / 2;
        bounds.Bottom = bounds.Top + h;
        buttonRect = RectCenter(bounds, glyph);
        return;
    }
    const TRect c = RectContent(bounds, margins);
    buttonRect = RectCenter(TRect{c.Left, c.Top, c.Right, c.Top + b}, glyph);
    arrowArea = TRect{c.Left, c.Top + b + 5, c.Right, c.Bottom - 2 * glyph.cy};
    const int32_t d = std::max(size1.cx, size2.cx) - RectHeight(arrowArea);
    if (d > 0) {
        buttonRect = RectOffset(buttonRect, 0, -d);
        arrowArea = RectInflate(arrowArea, 0, d);
        bounds = RectInflate(bounds, 0, d);
    }
}

void TlfCustomLookAndFeelPainter::PaintArrowCaption(TlfCanvas& canvas, const TRect& r, const std::u16string& text,
                                                    TlfBorders neighbours, const TlfPaintParams& viewParams, int arrows,
                                                    int32_t offset, const TlfCustomDrawEvent& customPaint) const {
    TlfTextArgs args;
    args.HorzAlign = 2;
    args.VertAlign = 2;
    args.Text = text;
    args.Font = viewParams.Font;
    args.TextColor = viewParams.TextColor;
    PaintHeaderCell(canvas, r, r, neighbours, HeaderCellSides(neighbours), esNormal, args, viewParams.Color, customPaint);
    PaintCaptionArrows(canvas, r, arrows, offset, BorderWidth());
}

void TlfCustomLookAndFeelPainter::PaintProgressStrip(TlfCanvas& canvas, const TRect& bounds, const TRect& progressRect,
                                                     const TlfPaintParams& viewParams, bool transparent) const {
    if (transparent) {
        canvas.FrameRect(bounds, 0x808080);
    } else {
        canvas.FrameAndFillRect(bounds, viewParams, bAll, 0x808080);
    }
    canvas.FillRectColor(progressRect, 0x800000);
}

void TlfCustomLookAndFeelPainter::PaintRotatedCaptionCell(TlfCanvas& canvas, const TRect& r, bool isNext,
                                                          TlfElementState state, const std::u16string& text,
                                                          const TRect& textRect, const TRect& contentRect) const {
    if (RectIsEmpty(textRect) || RectIsEmpty(r)) {
        PaintStepButton(canvas, r, contentRect, isNext, state);
        return;
    }
    // The cell on a bitmap of its own at the origin.
    const TRect local{0, 0, RectWidth(r), RectHeight(r)};
    TlfCustomBitmap bitmap(RectWidth(r), RectHeight(r), TPixelFormat::pf24bit);
    bitmap.Canvas().CopyRect(local, canvas.Canvas(), r);
    PaintStepButton(bitmap.lfCanvas(), local, RectOffset(contentRect, -r.Left, -r.Top), isNext, state);
    bitmap.Rotate(2);  // a quarter turn clockwise: the text reads along the cell
    const TRect t = RectOffset(textRect, -r.Left, -r.Top);
    // A point (x, y) of the cell lands at (H - 1 - y, x) after the turn.
    const TRect turned{RectHeight(r) - t.Bottom, t.Left, RectHeight(r) - t.Top, t.Right};
    TCanvas& c = bitmap.Canvas();
    c.Font = canvas.Font();
    c.Font.Color = static_cast<uint32_t>(ButtonGlyphColor(state, static_cast<TColor>(canvas.Font().Color)));
    c.Brush.Style = BS_NULL;
    TRect box = turned;
    c.DrawText(text, box, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    c.Brush.Style = BS_SOLID;
    bitmap.Rotate(1);
    canvas.CopyRect(r, bitmap, local);
}

void TlfCustomLookAndFeelPainter::PaintStepArrow(TlfCanvas& canvas, const TRect& r, bool isNext, TColor color) const {
    if (RectIsEmpty(r)) return;
    canvas.SetBrushColor(color);
    const int32_t count = (RectHeight(r) + 1) / 2;
    int32_t x = isNext ? r.Left : r.Right - 2;
    int32_t top = r.Top, bottom = r.Bottom - 1;
    for (int32_t i = 0; i < count; ++i) {
        canvas.FillRect({x, top, x + 2, top + 1});
        canvas.FillRect({x, bottom, x + 2, bottom + 1});
        ++top;
        --bottom;
        x += isNext ? 1 : -1;
    }
    const int32_t tip = isNext ? r.Right - 1 : r.Left;
    canvas.FillRect({tip, r.Top, tip + 1, r.Bottom});
}

void TlfCustomLookAndFeelPainter::PaintToolButton(TlfCanvas& canvas, const TRect& r, TlfElementState state) const {
    PaintButton(canvas, r, u"", state, true);
}

void TlfCustomLookAndFeelPainter::PaintClockFace(TlfCanvas& canvas, const TRect& r, double time, TColor backColor) const {
    const double cx = (r.Left + r.Right) / 2.0, cy = (r.Top + r.Bottom) / 2.0;
    const double rx = RectWidth(r) / 2 - 2, ry = RectHeight(r) / 2 - 2;
    canvas.SaveState();
    for (int i = 0; i < 60; i += 5) {
        const double a = 2 * std::numbers::pi * i / 60;
        const int32_t x = static_cast<int32_t>(std::lround(cx + rx * std::cos(a)));
        const int32_t y = static_cast<int32_t>(std::lround(cy + ry * std::sin(a)));
        canvas.SetPixel(x, y, 0x808000);
        canvas.SetPixel(x - 1, y, 0xFFFF00);
        canvas.SetPixel(x - 1, y - 1, 0xFFFF00);
        canvas.SetPixel(x, y - 1, 0xFFFF00);
        canvas.SetPixel(x + 1, y - 1, 0xFFFF00);
        canvas.SetPixel(x + 1, y, ColorToRGB(clBtnText));
        canvas.SetPixel(x - 1, y + 1, ColorToRGB(clBtnText));
        canvas.SetPixel(x, y + 1, ColorToRGB(clBtnText));
        canvas.SetPixel(x + 1, y + 1, ColorToRGB(clBtnText));
        canvas.ExcludeClipRect({x - 1, y - 1, x + 2, y + 2});
    }
    canvas.FillRectColor(r, backColor);
    const double dayFraction = time - std::floor(time);
    const int seconds = static_cast<int>(std::lround(dayFraction * 86400)) % 86400;
    const int hour = seconds / 3600, minute = seconds / 60 % 60, second = seconds % 60;
    auto hand = [&](double theta, double l, double t, double b) {
        const auto at = [&](double angle, double factor) {
            return TPoint{static_cast<int32_t>(std::lround(cx + rx * factor * std::cos(angle))),
                          static_cast<int32_t>(std::lround(cy + ry * factor * std::sin(angle)))};
        };
        const auto side = [&](double angle) {
            return TPoint{static_cast<int32_t>(std::lround(cx + b / 2 * std::cos(angle))),
                          static_cast<int32_t>(std::lround(cy + b / 2 * std::sin(angle)))};
        };
        SetPenAndBrush(canvas, 0x808000);
        canvas.Polygon({at(theta, l), side(theta + std::numbers::pi / 2), at(theta + std::numbers::pi, t),
                        side(theta + 3 * std::numbers::pi / 2)});
    };
    const double pi2 = 2 * std::numbers::pi;
    hand((hour % 12 * 3600 + minute * 60 + second - 10800) * pi2 / (12 * 3600), 0.75, 0.15, 9);
    hand((minute * 60 + second - 900) * pi2 / 3600, 0.85, 0.2, 7);
    const double s = (second - 15) * pi2 / 60;
    canvas.Pen().Color = 0x0000FF;
    canvas.MoveTo(static_cast<int32_t>(cx), static_cast<int32_t>(cy));
    canvas.LineTo(static_cast<int32_t>(std::lround(cx + rx * 0.9 * std::cos(s))),
                  static_cast<int32_t>(std::lround(cy + ry * 0.9 * std::sin(s))));
    canvas.RestoreState();
}

void TlfCustomLookAndFeelPainter::PaintImageGlyph(TlfCanvas& canvas, const TlfImageList* imageList, int imageIndex, int,
                                                  const TPoint& position, bool enabled, int) const {
    if (imageList) imageList->Draw(canvas.Canvas(), position.X, position.Y, imageIndex, enabled);
}

// ------------------------------------------------------------------ standard painter

TColor TlfStandardLookAndFeelPainter::DefaultColor(int index) const {
    return index == 37 ? clWindow : TlfCustomLookAndFeelPainter::DefaultColor(index);
}

void TlfStandardLookAndFeelPainter::PaintBorder(TlfCanvas& canvas, const TRect& r) const {
    canvas.DrawTwoColorFrame(r, clBtnShadow, clBtnHighlight, bAll);
    canvas.DrawTwoColorFrame(Shrink(r, 1), cl3DDkShadow, cl3DLight, bAll);
}

void TlfStandardLookAndFeelPainter::PaintButtonFrame(TlfCanvas& canvas, const TRect& rect, TlfElementState state) const {
    TRect r = rect;
    if (state == esPressed) {
        canvas.FrameRect(r, 0x000000);
        canvas.DrawTwoColorFrame(Shrink(r, 1), clBtnShadow, clBtnShadow, bAll);
        return;
    }
    if (state == esDefault) {
        canvas.FrameRect(r, 0x000000);
        r = Shrink(r, 1);
    }
    canvas.DrawTwoColorFrame(r, clBtnHighlight, cl3DDkShadow, bAll);
    canvas.DrawTwoColorFrame(Shrink(r, 1), cl3DLight, clBtnShadow, bAll);
}

void TlfStandardLookAndFeelPainter::PaintExpandButton(TlfCanvas& canvas, const TRect& r, bool expanded, TColor color) const {
    canvas.DrawTwoColorFrame(r, clBtnHighlight, cl3DDkShadow, bAll);
    const TRect inner = Shrink(r, 1);
    canvas.DrawTwoColorFrame(inner, clBtnShadow, clBtnShadow, bRight | bBottom);
    const TRect face{inner.Left, inner.Top, inner.Right - 1, inner.Bottom - 1};
    canvas.FillRectColor(face, color == clDefault ? clBtnFace : color);
    PaintExpandCross(canvas, face, expanded, clBtnText);
    canvas.ExcludeClipRect(r);
}

void TlfStandardLookAndFeelPainter::PaintCaptionExpandButton(TlfCanvas& canvas, const TRect& r, bool expanded,
                                                             TlfElementState state) const {
    FlatPainter()->TlfCustomLookAndFeelPainter::PaintCaptionExpandButton(canvas, r, expanded, state);
}

void TlfStandardLookAndFeelPainter::PaintCheckFrame(TlfCanvas& canvas, const TRect& r, TlfElementState) const {
    canvas.DrawTwoColorFrame(r, cl3DDkShadow, cl3DLight, bAll);
    canvas.DrawTwoColorFrame(Shrink(r, 1), clBtnShadow, clBtnHighlight, bAll);
}

void TlfStandardLookAndFeelPainter::PaintHeaderCellFrame(TlfCanvas& canvas, const TRect& r, TlfBorders neighbours,
                                                         TlfBorders) const {
    canvas.DrawTwoColorFrame(r, clBtnHighlight, clBtnShadow, bAll);
    if (neighbours & bLeft) {
        canvas.SetPixel(r.Left, r.Top + 1, clBtnFace);
        canvas.SetPixel(r.Left, r.Bottom - 2, clBtnFace);
    }
    if (neighbours & bRight) {
        canvas.SetPixel(r.Right - 1, r.Top, clBtnHighlight);
        canvas.SetPixel(r.Right - 1, r.Top + 1, clBtnFace);
        canvas.SetPixel(r.Right - 1, r.Bottom - 2, clBtnFace);
    }
}

void TlfStandardLookAndFeelPainter::PaintHeaderSectionFrame(TlfCanvas& canvas, const TRect& r, TlfBorders sides,
                                                            TlfElementState state) const {
    if (state == esPressed) {
        canvas.DrawTwoColorFrame(r, clBtnShadow, clBtnShadow, sides);
        return;
    }
    canvas.DrawTwoColorFrame(r, clBtnHighlight, cl3DDkShadow, sides);
    canvas.DrawTwoColorFrame(Shrink(r, 1), cl3DLight, clBtnShadow, sides);
}

void TlfStandardLookAndFeelPainter::PaintSortGlyph(TlfCanvas& canvas, const TRect& r, bool ascending) const {
    PaintSortGlyphLines(canvas, r, ascending, SortGlyphSize(), clBtnHighlight, clBtnShadow);
}

void TlfStandardLookAndFeelPainter::PaintBandFrame(TlfCanvas& canvas, const TRect& r) const {
    canvas.DrawTwoColorFrame(r, clBtnHighlight, clBtnShadow, bAll);
}

void TlfStandardLookAndFeelPainter::PaintBandCellFrame(TlfCanvas& canvas, const TRect& r) const {
    canvas.DrawTwoColorFrame(r, clBtnShadow, clBtnHighlight, bAll);
}

void TlfStandardLookAndFeelPainter::PaintComboButton(TlfCanvas& canvas, const TRect& r, TlfElementState state,
                                                     bool active) const {
    if (state == esPressed) canvas.DrawTwoColorFrame(r, clBtnShadow, clBtnHighlight, bAll);
    else canvas.DrawTwoColorFrame(r, clBtnHighlight, clBtnShadow, bAll);
    const TRect inner = Shrink(r, 1);
    canvas.FillRectColor(inner, clBtnFace);
    PaintDropDownGlyph(canvas, inner, active ? 0xFF0000 : clBtnText);
}

void TlfStandardLookAndFeelPainter::PaintTabItemFrame(TlfCanvas& canvas, const TRect& rect, int side, TlfBorders sides,
                                                      bool vertical) const {
    TRect r = rect;
    if (!vertical) {
        if (side == 0 || side == 2) {
            if (sides & bTop) r.Top += 2;
            if (sides & bBottom) r.Bottom -= 1;
        } else if (side == 1) {
            canvas.SetPixel(r.Left, r.Top + 1, clBtnHighlight);
            canvas.SetPixel(r.Right - 1, r.Top + 1, clBtnHighlight);
            ++r.Left;
            --r.Right;
        }
    } else {
        if (side == 0) {
            r.Top += (sides & bTop) ? 2 : 1;
            r.Bottom -= (sides & bBottom) ? 2 : 1;
            canvas.SetPixel(r.Left + 1, r.Top - 1, clBtnHighlight);
            canvas.SetPixel(r.Left + 1, r.Bottom, clBtnHighlight);
        } else if ((side == 1 || side == 3) && (sides & bLeft)) {
            ++r.Left;
        }
    }
    const bool shade = (!vertical && side == 2) || (vertical && side == 3);
    canvas.FillRectColor(r, shade ? clBtnShadow : clBtnHighlight);
}

void TlfStandardLookAndFeelPainter::PaintTabStripFrame(TlfCanvas& canvas, const TRect& r, TlfBorders sides, bool) const {
    canvas.DrawTwoColorFrame(r, clBtnHighlight, clBtnShadow, sides);
}

void TlfStandardLookAndFeelPainter::PaintArrowCaption(TlfCanvas& canvas, const TRect& r, const std::u16string& text,
                                                      TlfBorders neighbours, const TlfPaintParams& viewParams, int arrows,
                                                      int32_t offset, const TlfCustomDrawEvent& customPaint) const {
    TlfBorders sides = bAll;
    const bool left = neighbours & bLeft, right = neighbours & bRight;
    if (left && right) sides = 10;
    else if (right) sides = 11;
    else if (left) sides = 14;
    canvas.FrameRect(r, 0x000000, 1, sides);
    const TRect content = HeaderContentRect(r, sides);
    TlfTextArgs args;
    args.HorzAlign = 2;
    args.Text = text;
    args.Font = viewParams.Font;
    args.TextColor = viewParams.TextColor;
    PaintHeaderCell(canvas, content, content, neighbours, bAll, esNormal, args, viewParams.Color, customPaint);
    PaintCaptionArrows(canvas, r, arrows, offset, BorderWidth());
}

void TlfStandardLookAndFeelPainter::PaintSplitterBar(TlfCanvas& canvas, const TRect& rect, const TlfPaintParams& viewParams,
                                                     bool horizontal) const {
    PaintSplitterLines(canvas, rect, viewParams, horizontal, {{clBtnFace, cl3DDkShadow}, {clBtnHighlight, clBtnShadow}});
}

void TlfStandardLookAndFeelPainter::PaintScrollBarArea(TlfCanvas& canvas, bool horizontal, const TRect& r,
                                                       TlfScrollBarPart part, TlfElementState state) const {
    if (RectIsEmpty(r) || (part == partThumb && state == esDisabled)) return;
    if (state == esHot) state = esNormal;
    auto buttonFrame = [&](bool pressedArrow) {
        if (pressedArrow) {
            canvas.DrawTwoColorFrame(r, clBtnShadow, clBtnShadow, bAll);
            canvas.DrawTwoColorFrame(Shrink(r, 1), clBtnFace, clBtnFace, bAll);
        } else {
            canvas.DrawTwoColorFrame(r, clBtnFace, cl3DDkShadow, bAll);
            canvas.DrawTwoColorFrame(Shrink(r, 1), clBtnHighlight, clBtnShadow, bAll);
        }
    };
    switch (part) {
        case partPageUp:
        case partPageDown:
            canvas.FillRect(r, &ScrollBarPattern(state == esPressed));
            canvas.Brush().Style = BS_SOLID;
            break;
        case partThumb:
            buttonFrame(false);
            canvas.FillRectColor(Shrink(r, ButtonFrameWidth(esNormal)), clBtnFace);
            break;
        case partLineUp:
        case partLineDown: {
            // The system's scroll arrow: the face with its glyph, grey and
            // embossed when inactive, the glyph moved by a pixel when
            // pressed (within the button: the face stays in place).
            canvas.FillRectColor(r, clBtnFace);
            const TRect face = state == esPressed ? RectOffset(r, 1, 1) : r;
            const TlfArrowKind direction = horizontal ? (part == partLineUp ? akLeft : akRight)
                                                      : (part == partLineUp ? akUp : akDown);
            const TRect glyph = Shrink(face, std::max(2, std::min(RectWidth(face), RectHeight(face)) / 4));
            if (state == esDisabled) {
                FillTriangle(canvas, ArrowPoints(RectOffset(glyph, 1, 1), direction, true), clBtnHighlight);
                FillTriangle(canvas, ArrowPoints(glyph, direction, true), clBtnShadow);
            } else {
                FillTriangle(canvas, ArrowPoints(glyph, direction, true), clBtnText);
            }
            buttonFrame(state == esPressed);
            break;
        }
        default: break;
    }
}

// ------------------------------------------------------------------ flat painter

void TlfFlatLookAndFeelPainter::PaintBorder(TlfCanvas& canvas, const TRect& r) const {
    canvas.DrawTwoColorFrame(r, clBtnShadow, clBtnHighlight, bAll);
}

void TlfFlatLookAndFeelPainter::PaintButtonFrame(TlfCanvas& canvas, const TRect& rect, TlfElementState state) const {
    TRect r = rect;
    if (state == esPressed) {
        canvas.DrawTwoColorFrame(r, clBtnShadow, clBtnHighlight, bAll);
        return;
    }
    if (state == esDefault) {
        canvas.FrameRect(r, 0x000000);
        r = Shrink(r, 1);
    }
    canvas.DrawTwoColorFrame(r, clBtnHighlight, clBtnShadow, bAll);
}

void TlfFlatLookAndFeelPainter::PaintExpandButton(TlfCanvas& canvas, const TRect& r, bool expanded, TColor color) const {
    PaintButton(canvas, r, u"", esNormal, true, color, clDefault);
    PaintExpandCross(canvas, Shrink(r, 1), expanded, clBtnText);
    canvas.ExcludeClipRect(r);
}

void TlfFlatLookAndFeelPainter::PaintCheckFrame(TlfCanvas& canvas, const TRect& r, TlfElementState state) const {
    canvas.DrawTwoColorFrame(r, clBtnShadow, clBtnHighlight, bAll);
    canvas.FrameRect(Shrink(r, 1), CheckFaceColor(state));
}

void TlfFlatLookAndFeelPainter::PaintHeaderCellFrame(TlfCanvas& canvas, const TRect& r, TlfBorders neighbours,
                                                     TlfBorders sides) const {
    StandardPainter()->PaintHeaderCellFrame(canvas, r, neighbours, sides);
}

void TlfFlatLookAndFeelPainter::PaintHeaderSectionFrame(TlfCanvas& canvas, const TRect& r, TlfBorders sides,
                                                        TlfElementState state) const {
    if (state == esPressed) canvas.DrawTwoColorFrame(r, clBtnShadow, clBtnHighlight, sides);
    else canvas.DrawTwoColorFrame(r, clBtnHighlight, clBtnShadow, sides);
}

void TlfFlatLookAndFeelPainter::PaintSortGlyph(TlfCanvas& canvas, const TRect& r, bool ascending) const {
    StandardPainter()->PaintSortGlyph(canvas, r, ascending);
}

void TlfFlatLookAndFeelPainter::PaintBandFrame(TlfCanvas& canvas, const TRect& r) const {
    StandardPainter()->PaintBandFrame(canvas, r);
}

void TlfFlatLookAndFeelPainter::PaintBandCellFrame(TlfCanvas& canvas, const TRect& r) const {
    StandardPainter()->PaintBandCellFrame(canvas, r);
}

void TlfFlatLookAndFeelPainter::PaintComboButton(TlfCanvas& canvas, const TRect& r, TlfElementState state, bool active) const {
    StandardPainter()->PaintComboButton(canvas, r, state, active);
}

void TlfFlatLookAndFeelPainter::PaintTabItemFrame(TlfCanvas& canvas, const TRect& r, int side, TlfBorders sides,
                                                  bool vertical) const {
    StandardPainter()->PaintTabItemFrame(canvas, r, side, sides, vertical);
}

void TlfFlatLookAndFeelPainter::PaintTabStripFrame(TlfCanvas& canvas, const TRect& r, TlfBorders sides, bool vertical) const {
    StandardPainter()->PaintTabStripFrame(canvas, r, sides, vertical);
}

namespace {

// Flat and ultra-flat scroll-bar areas: buttons for the arrows and the
// thumb, the checkered pattern for the tracks.
void FlatScrollBarArea(const TlfCustomLookAndFeelPainter& painter, TlfCanvas& canvas, bool horizontal, const TRect& r,
                       TlfScrollBarPart part, TlfElementState state, bool shrinkBeforeArrow) {
    if (part == partPageUp || part == partPageDown) {
        canvas.FillRect(r, &ScrollBarPattern(state == esPressed));
        canvas.Brush().Style = BS_SOLID;
        return;
    }
    if (part != partThumb && part != partLineUp && part != partLineDown) return;
    painter.PaintButton(canvas, r, u"", state, true);
    if (part == partThumb) return;
    const TRect inner = shrinkBeforeArrow ? Shrink(r, painter.ButtonFrameWidth(esNormal)) : r;
    const TlfArrowKind direction = horizontal ? (part == partLineUp ? akLeft : akRight) : (part == partLineUp ? akUp : akDown);
    painter.PaintScrollArrow(canvas, inner, state, direction);
}

}  // namespace

void TlfFlatLookAndFeelPainter::PaintSplitterBar(TlfCanvas& canvas, const TRect& r, const TlfPaintParams& viewParams,
                                                 bool horizontal) const {
    PaintSplitterLines(canvas, r, viewParams, horizontal, {{clBtnHighlight, clBtnShadow}});
}

void TlfFlatLookAndFeelPainter::PaintScrollBarArea(TlfCanvas& canvas, bool horizontal, const TRect& r,
                                                   TlfScrollBarPart part, TlfElementState state) const {
    if (RectIsEmpty(r) || (part == partThumb && state == esDisabled)) return;
    if (state == esHot) state = esNormal;
    FlatScrollBarArea(*this, canvas, horizontal, r, part, state, true);
}

// ------------------------------------------------------------------ ultra-flat painter

TColor TlfUltraFlatLookAndFeelPainter::DefaultColor(int index) const {
    return index == 34 ? clBtnShadow : TlfCustomLookAndFeelPainter::DefaultColor(index);
}

void TlfUltraFlatLookAndFeelPainter::PaintBorder(TlfCanvas& canvas, const TRect& r) const {
    canvas.FrameRect(r, clBtnShadow);
}

TColor TlfUltraFlatLookAndFeelPainter::ButtonFaceColor(TlfElementState state) const {
    if (state == esHot) return HotSelectionColor();
    if (state == esPressed) return PressedSelectionColor();
    return clBtnFace;
}

TRect TlfUltraFlatLookAndFeelPainter::ButtonFocusArea(TlfCanvas&, const TRect& r) const {
    const TRect inner = Shrink(r, 3);
    return RectIsEmpty(inner) ? r : inner;
}

TRect TlfUltraFlatLookAndFeelPainter::SegmentButtonFrameWidths(int count, int index) const {
    TRect widths{1, 2, 1, 2};
    if (index == 0) widths.Left = 2;
    if (index == count - 1 && index != 0) widths.Right = 2;
    return widths;
}

TColor TlfUltraFlatLookAndFeelPainter::ButtonGlyphColor(TlfElementState state, TColor defaultColor) const {
    if (state == esPressed) return clHighlightText;
    return TlfCustomLookAndFeelPainter::ButtonGlyphColor(state, defaultColor);
}

void TlfUltraFlatLookAndFeelPainter::PaintSegmentButton(TlfCanvas& canvas, const TRect& rect, TlfElementState state,
                                                        int count, int index, TColor frameColor) const {
    TRect r = RectInflate(rect, 0, -1);
    if (index == 0) ++r.Left;
    if (count == index + 1) --r.Right;
    if (state == esNormal || state == esDisabled) {
        canvas.FrameRect(r, frameColor);
        r = Shrink(r, 1);
    } else {
        canvas.SetBrushColor(FocusFrameColor());
        if (index > 0) {
            canvas.FillRect({r.Left, r.Top, r.Left + 1, r.Bottom});
            ++r.Left;
        }
        if (index < count - 1) {
            canvas.FillRect({r.Right - 1, r.Top, r.Right, r.Bottom});
            --r.Right;
        }
    }
    canvas.FillRectColor(r, ButtonFaceColor(state));
}

void TlfUltraFlatLookAndFeelPainter::PaintButtonFrame(TlfCanvas& canvas, const TRect& r, TlfElementState state) const {
    if (state == esDefault) {
        canvas.FrameRect(r, clWindowFrame);
        canvas.FrameRect(Shrink(r, 1), clWindowFrame);
        return;
    }
    const TColor color = state == esNormal ? clBtnText : state == esDisabled ? clBtnShadow : clHighlight;
    canvas.FrameRect(r, color);
}

void TlfUltraFlatLookAndFeelPainter::PaintButtonOutline(TlfCanvas& canvas, const TRect& r, bool selected,
                                                        bool highlighted) const {
    canvas.FrameRect(r, selected ? clBtnText : highlighted ? FocusFrameColor() : clBtnShadow);
}

void TlfUltraFlatLookAndFeelPainter::PaintExpandButton(TlfCanvas& canvas, const TRect& r, bool expanded, TColor color) const {
    canvas.FrameRect(r, clBtnShadow);
    const TRect inner = Shrink(r, 1);
    canvas.FillRectColor(inner, color == clDefault ? clBtnFace : color);
    PaintExpandCross(canvas, inner, expanded, clBtnText);
    canvas.ExcludeClipRect(r);
}

void TlfUltraFlatLookAndFeelPainter::PaintCheckFrame(TlfCanvas& canvas, const TRect& r, TlfElementState state) const {
    canvas.FrameRect(r, clBtnText);
    canvas.FrameRect(Shrink(r, 1), CheckFaceColor(state));
}

void TlfUltraFlatLookAndFeelPainter::PaintFlatHeaderCell(TlfCanvas& canvas, const TRect& r, const TRect& textRect,
                                                         TlfBorders neighbours, TlfBorders sides, TlfElementState state,
                                                         const TlfTextArgs& text, TColor backColor,
                                                         const TlfCustomDrawEvent& customPaint) const {
    PaintTextCell(canvas, r, Shrink(textRect, 1), state, text, backColor, customPaint, false);
    PaintHeaderCellFrame(canvas, Shrink(r, 1), neighbours, sides);
}

void TlfUltraFlatLookAndFeelPainter::PaintHeaderCellFrame(TlfCanvas& canvas, const TRect& r, TlfBorders,
                                                          TlfBorders sides) const {
    canvas.SetBrushColor(clBtnText);
    if (sides & bLeft) canvas.FillRect({r.Left, r.Top, r.Left + 1, r.Bottom});
    if (sides & bTop) canvas.FillRect({r.Left, r.Top, r.Right, r.Top + 1});
    canvas.FillRect({r.Right - 1, r.Top, r.Right, r.Bottom});
    canvas.FillRect({r.Left, r.Bottom - 1, r.Right, r.Bottom});
}

void TlfUltraFlatLookAndFeelPainter::PaintHeaderSectionFrame(TlfCanvas& canvas, const TRect& r, TlfBorders sides,
                                                             TlfElementState state) const {
    canvas.FrameRect(r, state == esDisabled ? clBtnShadow : 0x000000, 1, sides);
}

void TlfUltraFlatLookAndFeelPainter::PaintHeaderSectionFace(TlfCanvas& canvas, const TRect& r, const TRect& textRect,
                                                            TlfElementState state, const TlfTextArgs& text,
                                                            TColor backColor) const {
    if (state == esHot || state == esPressed || state == esDisabled) backColor = ButtonFaceColor(state);
    canvas.FillRectColor(r, backColor);
    PaintHeaderSectionCaption(canvas, SectionCaptionRect(textRect, state), state, text);
}

void TlfUltraFlatLookAndFeelPainter::PaintSortGlyph(TlfCanvas& canvas, const TRect& r, bool ascending) const {
    PaintSortGlyphLines(canvas, r, ascending, SortGlyphSize(), clBtnShadow, clBtnShadow);
}

TlfBorders TlfUltraFlatLookAndFeelPainter::HeaderCellSides(TlfBorders neighbours) const {
    TlfBorders sides = bAll;
    if (neighbours & 1) sides &= ~bLeft;
    if (neighbours & 2) sides &= ~bTop;
    return sides;
}

void TlfUltraFlatLookAndFeelPainter::PaintBandFrame(TlfCanvas& canvas, const TRect& r) const {
    canvas.FrameRect(r, BandLineColor(), 1, bRight | bBottom);
}

void TlfUltraFlatLookAndFeelPainter::PaintBandCellFrame(TlfCanvas& canvas, const TRect& r) const {
    canvas.FrameRect(r, BandLineColor());
}

void TlfUltraFlatLookAndFeelPainter::PaintComboButton(TlfCanvas& canvas, const TRect& r, TlfElementState state,
                                                      bool active) const {
    canvas.FrameRect(r, StateFrameColor(state));
    const TRect inner = Shrink(r, 1);
    canvas.FillRectColor(inner, ButtonFaceColor(state));
    PaintDropDownGlyph(canvas, inner, active ? 0xFF0000 : ButtonGlyphColor(state, clDefault));
}

void TlfUltraFlatLookAndFeelPainter::PaintTabItemFrame(TlfCanvas& canvas, const TRect& rect, int side, TlfBorders,
                                                       bool vertical) const {
    TRect r = rect;
    const bool shade = (vertical && side == 3) || (!vertical && side == 2);
    if (shade && !vertical) r.Bottom -= TabFrameWidth(vertical);
    canvas.FillRectColor(r, shade ? TabShadeColor() : TabFrameColor());
}

void TlfUltraFlatLookAndFeelPainter::PaintTabStripFrame(TlfCanvas& canvas, const TRect& r, TlfBorders sides,
                                                        bool vertical) const {
    canvas.DrawTwoColorFrame(r, TabFrameColor(), TabFrameColor(), sides, TabFrameWidth(vertical));
}

void TlfUltraFlatLookAndFeelPainter::PaintStepButton(TlfCanvas& canvas, const TRect& r, const TRect& arrowRect,
                                                     bool isNext, TlfElementState state) const {
    canvas.FillRectColor(r, clBtnFace);
    canvas.FrameRect(r, state == esHot ? TabFrameColor() : TabShadeColor(), 1, isNext ? TlfBorders(11) : TlfBorders(14));
    PaintStepArrow(canvas, arrowRect, isNext, ButtonGlyphColor(state, clDefault));
}

void TlfUltraFlatLookAndFeelPainter::PaintToolButton(TlfCanvas& canvas, const TRect& r, TlfElementState state) const {
    PaintButton(canvas, r, u"", state, state == esHot || state == esPressed);
}

void TlfUltraFlatLookAndFeelPainter::PaintSplitterBar(TlfCanvas& canvas, const TRect& r, const TlfPaintParams& viewParams,
                                                      bool horizontal) const {
    PaintSplitterLines(canvas, r, viewParams, horizontal, {{DefaultColor34(), DefaultColor34()}});
}

void TlfUltraFlatLookAndFeelPainter::PaintScrollBarArea(TlfCanvas& canvas, bool horizontal, const TRect& r,
                                                        TlfScrollBarPart part, TlfElementState state) const {
    if (RectIsEmpty(r) || (part == partThumb && state == esDisabled)) return;
    FlatScrollBarArea(*this, canvas, horizontal, r, part, state, false);
}

TColor TlfUltraFlatLookAndFeelPainter::StateFrameColor(TlfElementState state) const {
    return state == esNormal ? clBtnShadow : clHighlight;
}

// ------------------------------------------------------------------ the painters

namespace {

// The one object of a painter class.
template <typename TPainter>
TlfPainterClass Instance() {
    struct TOne final : TPainter {};
    static const TOne painter;
    return &painter;
}

}  // namespace

TlfPainterClass CustomPainter() { return Instance<TlfCustomLookAndFeelPainter>(); }
TlfPainterClass StandardPainter() { return Instance<TlfStandardLookAndFeelPainter>(); }
TlfPainterClass FlatPainter() { return Instance<TlfFlatLookAndFeelPainter>(); }
TlfPainterClass UltraFlatPainter() { return Instance<TlfUltraFlatLookAndFeelPainter>(); }
TlfPainterClass Office11Painter() { return Instance<TlfOffice11LookAndFeelPainter>(); }
TlfPainterClass WinXPPainter() { return Instance<TlfWinXPLookAndFeelPainter>(); }

TlfPainterClass PainterOfKind(TlfLookAndFeelKind kind) {
    switch (kind) {
        case lfFlat: return FlatPainter();
        case lfStandard: return StandardPainter();
        case lfOffice11: return Office11Painter();
        default: return UltraFlatPainter();
    }
}
