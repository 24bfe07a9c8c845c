// The elements every painter draws, each in a rectangle of its own, and a
// contact sheet of them: one band of rows per painter (normal, hot,
// pressed, disabled), one column per element.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "navbar/kr_gdiplus.h"
#include "navbar/lf_painters.h"

namespace painter_sheet {

constexpr TColor kSentinel = 0xFF00FF;  // magenta: what no painter draws
constexpr int32_t kMargin = 4;

struct TElement {
    const char* Name;
    int32_t Width, Height;
    std::function<void(TlfPainterClass, TlfCanvas&, const TRect&, TlfElementState)> Draw;
    bool HasStates = true;
};

inline TlfTextArgs Text(const char16_t* text) {
    TlfTextArgs args;
    args.Text = text;
    args.HorzAlign = 2;
    args.TextColor = 0x000000;
    return args;
}

inline std::vector<TElement> Elements() {
    using P = TlfPainterClass;
    using S = TlfElementState;
    const TlfPaintParams view{nullptr, 0xE0E0E0, nullptr, 0x000000};
    return {
        {"Button", 40, 22, [](P p, TlfCanvas& c, const TRect& r, S s) { p->PaintButton(c, r, u"OK", s, true); }},
        {"ToolButton", 22, 22, [](P p, TlfCanvas& c, const TRect& r, S s) { p->PaintToolButton(c, r, s); }},
        {"ArrowButton", 17, 17, [](P p, TlfCanvas& c, const TRect& r, S s) { p->PaintArrowButton(c, r, s, akRight, true); }},
        {"ScrollUp", 17, 17, [](P p, TlfCanvas& c, const TRect& r, S s) { p->PaintScrollBarArea(c, false, r, partLineUp, s); }},
        {"ScrollRight", 17, 17, [](P p, TlfCanvas& c, const TRect& r, S s) { p->PaintScrollBarArea(c, true, r, partLineDown, s); }},
        {"Thumb", 17, 30, [](P p, TlfCanvas& c, const TRect& r, S s) { p->PaintScrollBarArea(c, false, r, partThumb, s); }},
        {"ThumbH", 30, 17, [](P p, TlfCanvas& c, const TRect& r, S s) { p->PaintScrollBarArea(c, true, r, partThumb, s); }},
        {"Track", 17, 30, [](P p, TlfCanvas& c, const TRect& r, S s) { p->PaintScrollBarArea(c, false, r, partPageUp, s); }},
        {"CheckBox", 13, 13, [](P p, TlfCanvas& c, const TRect& r, S s) { p->PaintCheckBox(c, r, s, chkChecked); }},
        {"Radio", 12, 12, [](P p, TlfCanvas& c, const TRect& r, S s) { p->PaintRadioButton(c, r.Left, r.Top, s, true, false, clDefault, false); }},
        {"Combo", 17, 20, [](P p, TlfCanvas& c, const TRect& r, S s) { p->PaintComboButton(c, r, s, false); }},
        {"Close", 16, 15, [](P p, TlfCanvas& c, const TRect& r, S s) { p->PaintCloseButton(c, r, s); }},
        {"Step", 14, 30,
         [](P p, TlfCanvas& c, const TRect& r, S s) { p->PaintStepButton(c, r, TRect{r.Left + 3, r.Top + 11, r.Left + 10, r.Top + 18}, true, s); }},
        {"CaptionExpand", 15, 15, [](P p, TlfCanvas& c, const TRect& r, S s) { p->PaintCaptionExpandButton(c, r, true, s); }},
        {"Segment", 30, 20, [](P p, TlfCanvas& c, const TRect& r, S s) { p->PaintSegmentButton(c, r, s, 3, 1, 0x808080); }},
        {"HeaderSection", 48, 20,
         [](P p, TlfCanvas& c, const TRect& r, S s) { p->PaintHeaderSection(c, r, RectInflate(r, -2, -2), 0, bAll, s, Text(u"Name"), 0xF0F0F0); }},
        {"HeaderCell", 48, 20,
         [](P p, TlfCanvas& c, const TRect& r, S s) {
             // The hot underline of the Office look reaches a pixel out: it
             // is drawn in a rectangle a pixel inside the element's.
             const TRect in = RectInflate(r, -1, -1);
             p->PaintHeaderCell(c, in, RectInflate(in, -2, -2), 0, bAll, s, Text(u"Cell"), 0xF0F0F0, nullptr);
         }},
        {"Expand", 11, 11, [](P p, TlfCanvas& c, const TRect& r, S) { p->PaintExpandButton(c, r, false, clDefault); }, false},
        {"SmallExpand", 11, 11, [](P p, TlfCanvas& c, const TRect& r, S) { p->PaintSmallExpandButton(c, r, true, 0x808080, 0xFFFFFF); }, false},
        {"Sort", 16, 16, [](P p, TlfCanvas& c, const TRect& r, S) { p->PaintSortGlyph(c, r, true); }, false},
        {"Border", 30, 20, [](P p, TlfCanvas& c, const TRect& r, S) { p->PaintBorder(c, r); }, false},
        {"BandCell", 40, 18, [](P p, TlfCanvas& c, const TRect& r, S) { p->PaintBandCell(c, r, Text(u"Band"), 0xFFFFFF, nullptr); }, false},
        {"BandFrame", 30, 18, [](P p, TlfCanvas& c, const TRect& r, S) { p->PaintBandFrame(c, r); }, false},
        {"TabStrip", 30, 18, [](P p, TlfCanvas& c, const TRect& r, S) { p->PaintTabStripFrame(c, r, bAll, false); }, false},
        {"TabSides", 30, 18,
         [](P p, TlfCanvas& c, const TRect& r, S) {
             p->PaintTabItemFrame(c, TRect{r.Left, r.Top, r.Left + 1, r.Bottom}, 0, bAll, false);
             p->PaintTabItemFrame(c, TRect{r.Left, r.Top, r.Right, r.Top + 1}, 1, bAll, false);
             p->PaintTabItemFrame(c, TRect{r.Right - 1, r.Top, r.Right, r.Bottom}, 2, bAll, false);
         }, false},
        {"Splitter", 40, 8, [view](P p, TlfCanvas& c, const TRect& r, S) { p->PaintSplitterBar(c, r, view, true); }, false},
        {"Progress", 40, 12,
         [view](P p, TlfCanvas& c, const TRect& r, S) { p->PaintProgressStrip(c, r, TRect{r.Left + 3, r.Top + 3, r.Left + 25, r.Bottom - 3}, view, false); }, false},
        {"Grip", 17, 17, [](P p, TlfCanvas& c, const TRect& r, S) { p->PaintGrip(c, r, 0xE0E0E0); }, false},
        {"Clock", 40, 40, [](P p, TlfCanvas& c, const TRect& r, S) { p->PaintClockFace(c, r, 0.4375, 0xFFFFFF); }, false},
        {"Stripes", 16, 16, [](P p, TlfCanvas& c, const TRect& r, S) { p->PaintStripeMark(c, r, 0x000000); }, false},
        {"RowHeader", 16, 18, [](P p, TlfCanvas& c, const TRect& r, S) { p->PaintRowHeader(c, r, 1, 0xE0E0E0, nullptr); }, false},
        {"ArrowCaption", 60, 20,
         [view](P p, TlfCanvas& c, const TRect& r, S) { p->PaintArrowCaption(c, r, u"Jan", 0, view, 3, 10, nullptr); }, false},
        {"DropDown", 15, 15, [](P p, TlfCanvas& c, const TRect& r, S) { p->PaintDropDownGlyph(c, r, 0x000000); }, false},
        {"Arrow", 16, 10, [](P p, TlfCanvas& c, const TRect& r, S) { p->PaintArrow(c, r, akUp, 0x000000); }, false},
        {"Grip6", 16, 16, [](P p, TlfCanvas& c, const TRect& r, S) { p->PaintRowStateImage(c, r, 6); }, false},
        {"Rotated", 18, 50,
         [](P p, TlfCanvas& c, const TRect& r, S s) {
             p->PaintRotatedCaptionCell(c, r, true, s, u"Tab", TRect{r.Left + 2, r.Top + 12, r.Right - 2, r.Bottom - 2},
                                        TRect{r.Left + 5, r.Top + 2, r.Left + 12, r.Top + 9});
         }, false},
        {"TabItem", 40, 20,
         [](P p, TlfCanvas& c, const TRect& r, S s) { p->PaintTabItem(c, r, bAll, u"Tab", s, false, nullptr, 0x000000, 0xFFFFFF, false); }},
    };
}

// The element drawn at (kMargin, kMargin) on a sentinel ground (or on
// another colour).
inline TBitmap DrawElement(TlfPainterClass painter, const TElement& element, TlfElementState state,
                           TColor ground = kSentinel) {
    TBitmap bitmap;
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    bitmap.SetSize(element.Width + 2 * kMargin, element.Height + 2 * kMargin);
    TCanvas canvas(bitmap);
    canvas.Font.Name = "DejaVu Sans";
    canvas.Font.Height = -10;
    canvas.Brush.Color = static_cast<uint32_t>(ground);
    canvas.FillRect(TRect{0, 0, bitmap.Width(), bitmap.Height()});
    TlfCanvas lf(canvas);
    element.Draw(painter, lf, TRect{kMargin, kMargin, kMargin + element.Width, kMargin + element.Height}, state);
    return bitmap;
}

inline bool SamePixels(const TBitmap& a, const TBitmap& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
    for (int32_t y = 0; y < a.Height(); ++y)
        for (int32_t x = 0; x < a.Width(); ++x)
            if (a.PixelColor(a.ScanLine(y), x) != b.PixelColor(b.ScanLine(y), x)) return false;
    return true;
}

// Pixels outside the element's rectangle that are not the sentinel.
inline int Outside(const TBitmap& b, const TElement& e) {
    int n = 0;
    for (int32_t y = 0; y < b.Height(); ++y)
        for (int32_t x = 0; x < b.Width(); ++x) {
            const bool inside = x >= kMargin && x < kMargin + e.Width && y >= kMargin && y < kMargin + e.Height;
            if (!inside && b.PixelColor(b.ScanLine(y), x) != 0xFF00FF) ++n;
        }
    return n;
}

inline int Inked(const TBitmap& b) {
    int n = 0;
    for (int32_t y = 0; y < b.Height(); ++y)
        for (int32_t x = 0; x < b.Width(); ++x) n += b.PixelColor(b.ScanLine(y), x) != 0xFF00FF;
    return n;
}

// Rows: for each painter its normal, hot, pressed and disabled states;
// columns: the elements. A grey ground stands where nothing is drawn.
inline void SaveContactSheet(const std::vector<std::pair<std::string, TlfPainterClass>>& painters,
                             const std::string& path) {
    const std::vector<TElement> elements = Elements();
    int32_t width = 70, cellHeight = 0;
    for (const TElement& e : elements) {
        width += e.Width + 2 * kMargin + 4;
        cellHeight = std::max(cellHeight, e.Height + 2 * kMargin + 4);
    }
    const TlfElementState states[] = {esNormal, esHot, esPressed, esDisabled};
    const int32_t height = static_cast<int32_t>(painters.size()) * (4 * cellHeight + 8) + 4;
    TBitmap sheet;
    sheet.SetPixelFormat(TPixelFormat::pf24bit);
    sheet.SetSize(width, height);
    TCanvas canvas(sheet);
    canvas.Brush.Color = 0xC8C8C8;
    canvas.FillRect(TRect{0, 0, width, height});
    canvas.Font.Name = "DejaVu Sans";
    canvas.Font.Height = -9;
    int32_t y = 4;
    for (const auto& [name, painter] : painters) {
        canvas.Brush.Style = BS_NULL;
        canvas.TextOut(2, y + 2, name);
        static const char* const stateNames[] = {"normal", "hot", "pressed", "disabled"};
        for (int s = 0; s < 4; ++s) canvas.TextOut(2, y + 14 + s * cellHeight, stateNames[s]);
        canvas.Brush.Style = BS_SOLID;
        for (int s = 0; s < 4; ++s) {
            int32_t x = 70;
            for (const TElement& e : elements) {
                const TBitmap cell = DrawElement(painter, e, states[s], 0xEBEBEB);
                canvas.Draw(x, y + s * cellHeight, cell);
                x += e.Width + 2 * kMargin + 4;
            }
        }
        y += 4 * cellHeight + 8;
    }
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    TkrPNGImage png;
    png.LoadFromBitmap(sheet);
    png.SaveToFile(path);
}

}  // namespace painter_sheet
