// The look-and-feel painters: objects without state whose virtual
// operations draw the elements of controls (buttons, arrows, borders, check
// boxes, radio buttons, headers, bands, tabs, scroll-bar parts, expand
// buttons and more) on a TlfCanvas and answer the metrics and default
// colours of their style. Controls never make painters: they hold a painter
// class reference (a pointer to the one instance of each painter class)
// from their look and feel and call it; a derived painter changes the style
// by overriding some operations and keeps the base behaviour of the rest.
//
// Painters: the base (TlfCustomLookAndFeelPainter), the classic standard
// look, flat, ultra-flat, Office 2003 (ultra-flat recoloured) and the
// desktop-themed painter that draws through the visual-styles binding and
// falls back to the standard drawing where a theme class does not open.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "navbar/lf_graphics.h"
#include "platform/system_colours.h"

enum TlfElementState : uint8_t { esDefault = 0, esNormal = 1, esHot = 2, esPressed = 3, esDisabled = 4 };
enum TlfArrowKind : uint8_t { akUp = 0, akDown = 1, akLeft = 2, akRight = 3 };
enum TlfCheckMarkState : uint8_t { chkUnchecked = 0, chkChecked = 1, chkGrayed = 2 };
enum TlfScrollBarPart : uint8_t {
    partNone = 0, partLineUp = 1, partLineDown = 2, partThumb = 3, partPageUp = 4, partPageDown = 5,
};
enum TlfPainterStyle : uint8_t { psFlat = 0, psStandard = 1, psUltraFlat = 2, psNative = 3, psOffice11 = 4 };
enum TlfLookAndFeelKind : uint8_t { lfFlat = 0, lfStandard = 1, lfUltraFlat = 2, lfOffice11 = 3 };
TlfLookAndFeelKind PainterStyleToKind(TlfPainterStyle style);

// The colours the painters name (system colours resolve when drawn).
namespace lfColors {
using namespace SystemColours;
constexpr TColor clWindowText = SysColor(COLOR_WINDOWTEXT);
constexpr TColor clHighlightText = SysColor(COLOR_HIGHLIGHTTEXT);
constexpr TColor clGrayText = SysColor(COLOR_GRAYTEXT);
constexpr TColor cl3DLight = SysColor(COLOR_3DLIGHT);
}  // namespace lfColors

// Horizontal alignment 0 left, 1 right, 2 centre; vertical 0 top, 1
// bottom, 2 centre.
struct TlfTextArgs {
    int HorzAlign = 0;
    int VertAlign = 2;
    bool MultiLine = false;
    bool EndEllipsis = false;
    bool ShowPrefix = false;
    std::u16string Text;
    const TCanvasFont* Font = nullptr;  // nullptr: the canvas's font
    TColor TextColor = clDefault;
};

// A custom-paint callback: true when it painted the cell itself.
using TlfCustomDrawEvent = std::function<bool(TlfCanvas& canvas, const TRect& rect)>;

// A list of glyphs of one size drawn with a transparent colour (the
// toolkit's image list, as much of it as the painters draw).
class TlfImageList {
public:
    TlfImageList(int32_t width, int32_t height) : width_(width), height_(height) {}
    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    int Count() const { return static_cast<int>(images_.size()); }
    // The image's pixels where mask (same size, may be empty) is not set;
    // with an empty mask, pixels of transparentColor are left out.
    int Add(const TBitmap& image, const TBitmap* mask = nullptr, TColor transparentColor = clNone);
    void Clear() { images_.clear(); }
    // Disabled: the image's shape embossed in the system's 3-D colours.
    void Draw(TCanvas& canvas, int32_t x, int32_t y, int index, bool enabled = true) const;

private:
    struct TImage {
        TBitmap Pixels;
        std::vector<uint8_t> Opaque;
    };
    int32_t width_, height_;
    std::vector<TImage> images_;
};

class TControl;

class TlfCustomLookAndFeelPainter;
using TlfPainterClass = const TlfCustomLookAndFeelPainter*;

class TlfCustomLookAndFeelPainter {
public:
    virtual ~TlfCustomLookAndFeelPainter() = default;
    TlfCustomLookAndFeelPainter(const TlfCustomLookAndFeelPainter&) = delete;
    TlfCustomLookAndFeelPainter& operator=(const TlfCustomLookAndFeelPainter&) = delete;
    // The class's name, as the registry and messages show it.
    virtual const char* ClassName() const { return "TlfCustomLookAndFeelPainter"; }

    // General
    virtual void FillBackground(TlfCanvas& canvas, const TRect& r, bool transparent, TColor color, const TBitmap* bitmap) const;
    virtual void PaintDropDownGlyph(TlfCanvas& canvas, const TRect& r, TColor color) const;
    virtual void PaintTextCell(TlfCanvas& canvas, const TRect& r, const TRect& textRect, TlfElementState state,
                               const TlfTextArgs& text, TColor backColor, const TlfCustomDrawEvent& customPaint,
                               bool plain) const;
    virtual void PaintStepButton(TlfCanvas& canvas, const TRect& r, const TRect& arrowRect, bool isNext,
                                 TlfElementState state) const;
    virtual TRect BandCellContentRect(const TRect& r) const;
    virtual TRect BandCellTextRect(const TRect& r) const;
    virtual TlfPainterStyle PainterStyle() const { return psStandard; }
    // DefaultColor1 .. DefaultColor60 by number.
    virtual TColor DefaultColor(int index) const;
#define TW_LF_DEFAULT_COLOR(n) \
    TColor DefaultColor##n() const { return DefaultColor(n); }
    TW_LF_DEFAULT_COLOR(1) TW_LF_DEFAULT_COLOR(2) TW_LF_DEFAULT_COLOR(3) TW_LF_DEFAULT_COLOR(4) TW_LF_DEFAULT_COLOR(5)
    TW_LF_DEFAULT_COLOR(6) TW_LF_DEFAULT_COLOR(7) TW_LF_DEFAULT_COLOR(8) TW_LF_DEFAULT_COLOR(9) TW_LF_DEFAULT_COLOR(10)
    TW_LF_DEFAULT_COLOR(11) TW_LF_DEFAULT_COLOR(12) TW_LF_DEFAULT_COLOR(13) TW_LF_DEFAULT_COLOR(14)
    TW_LF_DEFAULT_COLOR(15) TW_LF_DEFAULT_COLOR(16) TW_LF_DEFAULT_COLOR(17) TW_LF_DEFAULT_COLOR(18)
    TW_LF_DEFAULT_COLOR(19) TW_LF_DEFAULT_COLOR(20) TW_LF_DEFAULT_COLOR(21) TW_LF_DEFAULT_COLOR(22)
    TW_LF_DEFAULT_COLOR(23) TW_LF_DEFAULT_COLOR(24) TW_LF_DEFAULT_COLOR(25) TW_LF_DEFAULT_COLOR(26)
    TW_LF_DEFAULT_COLOR(27) TW_LF_DEFAULT_COLOR(28) TW_LF_DEFAULT_COLOR(29) TW_LF_DEFAULT_COLOR(30)
    TW_LF_DEFAULT_COLOR(31) TW_LF_DEFAULT_COLOR(32) TW_LF_DEFAULT_COLOR(33) TW_LF_DEFAULT_COLOR(34)
    TW_LF_DEFAULT_COLOR(35) TW_LF_DEFAULT_COLOR(36) TW_LF_DEFAULT_COLOR(37) TW_LF_DEFAULT_COLOR(38)
    TW_LF_DEFAULT_COLOR(39) TW_LF_DEFAULT_COLOR(40) TW_LF_DEFAULT_COLOR(41) TW_LF_DEFAULT_COLOR(42)
    TW_LF_DEFAULT_COLOR(43) TW_LF_DEFAULT_COLOR(44) TW_LF_DEFAULT_COLOR(45) TW_LF_DEFAULT_COLOR(46)
    TW_LF_DEFAULT_COLOR(47) TW_LF_DEFAULT_COLOR(48) TW_LF_DEFAULT_COLOR(49) TW_LF_DEFAULT_COLOR(50)
    TW_LF_DEFAULT_COLOR(51) TW_LF_DEFAULT_COLOR(52) TW_LF_DEFAULT_COLOR(53) TW_LF_DEFAULT_COLOR(54)
    TW_LF_DEFAULT_COLOR(55) TW_LF_DEFAULT_COLOR(56) TW_LF_DEFAULT_COLOR(57) TW_LF_DEFAULT_COLOR(58)
    TW_LF_DEFAULT_COLOR(59) TW_LF_DEFAULT_COLOR(60)
#undef TW_LF_DEFAULT_COLOR

    // Arrows
    virtual void PaintArrow(TlfCanvas& canvas, const TRect& r, TlfArrowKind direction, TColor color) const;
    virtual void PaintArrowButton(TlfCanvas& canvas, const TRect& r, TlfElementState state, TlfArrowKind direction,
                                  bool withFrame) const;
    virtual void PaintArrowButtonFrame(TlfCanvas& canvas, const TRect& r, TlfElementState state) const;
    virtual void PaintScrollArrow(TlfCanvas& canvas, const TRect& r, TlfElementState state, TlfArrowKind direction) const;
    // Borders
    virtual int32_t BorderWidth() const { return 0; }
    virtual void PaintBorder(TlfCanvas& canvas, const TRect& r) const {}
    // Buttons
    virtual TRect SegmentButtonRect(const TRect& r, int count, int index) const { return r; }
    virtual int32_t ButtonFrameWidth(TlfElementState state) const { return 0; }
    virtual TColor ButtonFaceColor(TlfElementState state) const { return lfColors::clBtnFace; }
    virtual TRect ButtonFocusArea(TlfCanvas& canvas, const TRect& r) const;
    virtual TRect SegmentButtonFrameWidths(int count, int index) const;
    virtual int32_t ButtonTextIndent() const { return 0; }
    virtual int32_t ButtonTextPressOffset() const { return 0; }
    virtual TColor ButtonGlyphColor(TlfElementState state, TColor defaultColor) const;
    virtual TlfElementState ButtonGlyphState(TlfElementState state) const { return state; }
    virtual void PaintButton(TlfCanvas& canvas, const TRect& r, const std::u16string& text, TlfElementState state,
                             bool withFrame, TColor faceColor = clDefault, TColor textColor = clDefault,
                             bool wordWrap = false) const;
    virtual void PaintSegmentButton(TlfCanvas& canvas, const TRect& r, TlfElementState state, int count, int index,
                                    TColor frameColor) const;
    virtual void PaintButtonFrame(TlfCanvas& canvas, const TRect& r, TlfElementState state) const {}
    virtual void PaintButtonOutline(TlfCanvas& canvas, const TRect& r, bool selected, bool highlighted) const {}
    // Expand buttons
    virtual void PaintExpandButton(TlfCanvas& canvas, const TRect& r, bool expanded, TColor color) const {}
    virtual bool ExpandButtonPaintedFirst() const { return true; }
    virtual void PaintCaptionExpandButton(TlfCanvas& canvas, const TRect& r, bool expanded, TlfElementState state) const;
    virtual void PaintSmallExpandButton(TlfCanvas& canvas, const TRect& r, bool expanded, TColor borderColor,
                                        TColor color) const;
    virtual int32_t ExpandGlyphSize() const { return 0; }
    virtual int32_t CaptionExpandButtonSize() const { return 15; }
    virtual bool HotTrackedButtons() const { return false; }
    virtual bool PointOverCaptionExpandButton(const TRect& r, const TPoint& p) const;
    virtual int32_t SmallExpandGlyphSize() const { return 9; }
    // Check boxes
    virtual int32_t CheckFrameWidth() const { return 2; }
    virtual TColor CheckFaceColor(TlfElementState state) const;
    virtual TlfSize CheckBoxSize() const;
    virtual void PaintCheckMark(TlfCanvas& canvas, const TRect& r, TlfElementState state, bool isChecked,
                                TColor color) const;
    virtual void PaintCheckFrame(TlfCanvas& canvas, const TRect& r, TlfElementState state) const {}
    virtual void PaintBooleanCheckBox(TlfCanvas& canvas, const TRect& r, TlfElementState state, bool isChecked) const;
    virtual void PaintCheckBox(TlfCanvas& canvas, const TRect& r, TlfElementState state, TlfCheckMarkState checkState) const;
    // Radio buttons
    virtual void PaintRadioButton(TlfCanvas& canvas, int32_t x, int32_t y, TlfElementState state, bool isChecked,
                                  bool flagB, TColor backColor, bool flagA) const;
    virtual TlfSize RadioButtonExtent() const;
    // Headers
    virtual void PaintHeaderCell(TlfCanvas& canvas, const TRect& r, const TRect& textRect, TlfBorders neighbours,
                                 TlfBorders sides, TlfElementState state, const TlfTextArgs& text, TColor backColor,
                                 const TlfCustomDrawEvent& customPaint, bool headerItemFlag1 = false,
                                 bool headerItemFlag2 = false) const;
    virtual void PaintFlatHeaderCell(TlfCanvas& canvas, const TRect& r, const TRect& textRect, TlfBorders neighbours,
                                     TlfBorders sides, TlfElementState state, const TlfTextArgs& text, TColor backColor,
                                     const TlfCustomDrawEvent& customPaint) const;
    virtual void PaintHeaderCellFrame(TlfCanvas& canvas, const TRect& r, TlfBorders neighbours, TlfBorders sides) const {}
    virtual void InvertHeaderCell(TlfCanvas& canvas, const TRect& r) const { canvas.InvertRect(r); }
    virtual void PaintHeaderSection(TlfCanvas& canvas, const TRect& r, const TRect& textRect, TlfBorders neighbours,
                                    TlfBorders sides, TlfElementState state, const TlfTextArgs& text,
                                    TColor backColor) const;
    virtual void PaintHeaderSectionFrame(TlfCanvas& canvas, const TRect& r, TlfBorders sides, TlfElementState state) const {}
    virtual void PaintHeaderSectionFace(TlfCanvas& canvas, const TRect& r, const TRect& textRect, TlfElementState state,
                                        const TlfTextArgs& text, TColor backColor) const;
    virtual void PaintHeaderSectionCaption(TlfCanvas& canvas, const TRect& textRect, TlfElementState state,
                                           const TlfTextArgs& text) const;
    virtual void PaintHeaderDivider(TlfCanvas& canvas, const TRect& r, int32_t indent, TColor color,
                                    const TlfPaintParams& viewParams) const;
    virtual void PaintSortGlyph(TlfCanvas& canvas, const TRect& r, bool ascending) const {}
    virtual TlfBorders HeaderCellSides(TlfBorders neighbours) const { return bAll; }
    virtual int32_t HeaderFrameWidth() const { return 0; }
    virtual TRect ExpandHeaderRect(const TRect& r, TlfBorders neighbours, TlfBorders sides) const;
    virtual TRect HeaderContentRect(const TRect& r, TlfBorders sides) const;
    virtual bool HeaderFlag1() const { return true; }
    virtual int32_t HeaderHeightForText(int32_t textHeight) const { return 2 * HeaderFrameWidth() + textHeight + 4; }
    virtual int32_t SectionFrameWidth(TlfElementState state) const { return 1; }
    virtual TRect SectionCaptionRect(const TRect& r, TlfElementState state) const;
    virtual TRect SectionContentRect(const TRect& r, TlfElementState state) const;
    virtual int32_t HeaderTextWidth(TlfCanvas& canvas, TlfBorders sides, const std::u16string& text,
                                    const TCanvasFont* font) const;
    virtual bool HeaderFlag2() const { return false; }
    virtual TlfSize SortGlyphArea(int index) const { return {16, SortGlyphSize().cy}; }
    virtual TlfSize SortGlyphSize() const { return {0, 0}; }
    // Bands
    virtual void PaintBandBackground(TlfCanvas& canvas, const TRect& r, bool transparent, TColor color,
                                     const TBitmap* bitmap) const {
        FillBackground(canvas, r, transparent, color, bitmap);
    }
    virtual TlfBorders BandCellSides() const { return bAll; }
    virtual int32_t BandFrameWidth() const { return 0; }
    virtual int32_t BandCellFrameWidth() const { return 0; }
    virtual int32_t BandCellSpacing() const { return 0; }
    virtual bool BandCellsPaintedFirst() const { return true; }
    virtual TColor BandLineColor() const { return lfColors::clBtnShadow; }
    virtual int32_t BandValue1() const { return 1; }
    virtual void PaintBandCell(TlfCanvas& canvas, const TRect& r, const TlfTextArgs& text, TColor backColor,
                               const TlfCustomDrawEvent& customPaint) const;
    virtual void PaintBandFrame(TlfCanvas& canvas, const TRect& r) const {}
    virtual void PaintBandCellFrame(TlfCanvas& canvas, const TRect& r) const {}
    virtual void PaintBandContent(TlfCanvas& canvas, const TRect& r, const TlfPaintParams& viewParams) const;
    virtual void FillBand(TlfCanvas& canvas, const TRect& r) const { canvas.FillRectColor(r, BandLineColor()); }
    virtual void PaintBandCheckBox(TlfCanvas& canvas, const TRect& r, TlfElementState state, bool isChecked) const {
        PaintBooleanCheckBox(canvas, r, state, isChecked);
    }
    // Small buttons
    virtual void PaintCloseButton(TlfCanvas& canvas, const TRect& r, TlfElementState state) const;
    virtual void PaintComboButton(TlfCanvas& canvas, const TRect& r, TlfElementState state, bool active) const {}
    virtual void PaintComboPanel(TlfCanvas& canvas, const TRect& r, bool transparent, TColor color,
                                 const TBitmap* bitmap) const {
        FillBackground(canvas, r, transparent, color, bitmap);
    }
    virtual TlfSize CheckGlyphButtonSize() const { return {13, 13}; }
    virtual TlfSize CloseButtonSize() const { return {16, 14}; }
    virtual TlfSize ComboButtonSize() const { return {15, 0}; }
    // Windows
    virtual void PaintWindowFace(TlfCanvas& canvas, const TRect& r) const { canvas.FillRectColor(r, lfColors::clBtnFace); }
    virtual int PopupFrameKind() const { return 1; }
    // Tabs (Side: 0 left, 1 top, 2 right, 3 bottom)
    virtual void PaintTabItem(TlfCanvas& canvas, const TRect& r, TlfBorders sides, const std::u16string& text,
                              TlfElementState state, bool vertical, const TCanvasFont* font, TColor textColor,
                              TColor backColor, bool showPrefix) const {}
    virtual void PaintTabItemFrame(TlfCanvas& canvas, const TRect& r, int side, TlfBorders sides, bool vertical) const {}
    virtual void PaintTabStripFrame(TlfCanvas& canvas, const TRect& r, TlfBorders sides, bool vertical) const {}
    virtual bool TabItemPaintSupported(bool vertical) const { return false; }
    virtual bool TabHotTracking(bool vertical) const { return false; }
    virtual int32_t TabFrameWidth(bool vertical) const { return 0; }
    // Row indicators (Kind 0 none, 1 .. 6 the row-state images)
    virtual void PaintStripeMark(TlfCanvas& canvas, const TRect& r, TColor color) const;
    virtual void PaintRowStateImage(TlfCanvas& canvas, const TRect& r, int kind) const;
    virtual void PaintRowHeader(TlfCanvas& canvas, const TRect& r, int kind, TColor backColor,
                                const TlfCustomDrawEvent& customPaint) const;
    virtual void PaintFlatRowHeader(TlfCanvas& canvas, const TRect& r, int kind, TColor backColor,
                                    const TlfCustomDrawEvent& customPaint) const;
    virtual bool RowImagesPaintedFirst() const { return true; }
    // Scroll bars
    virtual int32_t MinScrollThumbSize(bool vertical) const { return 8; }
    virtual void PaintScrollBarArea(TlfCanvas& canvas, bool horizontal, const TRect& r, TlfScrollBarPart part,
                                    TlfElementState state) const {}
    virtual TlfSize GripSize() const;
    virtual void PaintGrip(TlfCanvas& canvas, const TRect& r, TColor backColor) const;
    // Step buttons
    virtual void LayoutStepButtons(bool isNext, bool centred, const TlfSize& size1, const TlfSize& size2, TRect& bounds,
                                   TRect& arrowArea, TRect& buttonRect) const;
    // Captions (Arrows: 1 left, 2 right, 3 both)
    virtual void PaintArrowCaption(TlfCanvas& canvas, const TRect& r, const std::u16string& text, TlfBorders neighbours,
                                   const TlfPaintParams& viewParams, int arrows, int32_t offset,
                                   const TlfCustomDrawEvent& customPaint) const;
    virtual void PaintArrowCaptionFrame(TlfCanvas& canvas, const TRect& r) const { PaintBorder(canvas, r); }
    // Progress strips
    virtual void PaintProgressStrip(TlfCanvas& canvas, const TRect& bounds, const TRect& progressRect,
                                    const TlfPaintParams& viewParams, bool transparent) const;
    // Rotated cells
    virtual void PaintRotatedCaptionCell(TlfCanvas& canvas, const TRect& r, bool isNext, TlfElementState state,
                                         const std::u16string& text, const TRect& textRect, const TRect& contentRect) const;
    virtual void PaintStepArrow(TlfCanvas& canvas, const TRect& r, bool isNext, TColor color) const;
    virtual void PaintToolButton(TlfCanvas& canvas, const TRect& r, TlfElementState state) const;
    virtual void PaintSplitterBar(TlfCanvas& canvas, const TRect& r, const TlfPaintParams& viewParams, bool horizontal) const {}
    virtual TRect ProgressStripMargins() const { return {2, 2, 2, 2}; }
    virtual void StepButtonMetrics(bool isNext, TRect& margins, TlfSize& glyphSize) const;
    virtual int32_t ThinFrameWidth() const { return 1; }
    // Clocks: time as a date-time value (days; the fraction is the time).
    virtual void PaintClockFace(TlfCanvas& canvas, const TRect& r, double time, TColor backColor) const;
    // Hooks no control of this program calls.
    virtual void PaintHook1(TlfCanvas& canvas, const TRect& r, int a, int b) const {}
    virtual int32_t HookMetric1() const { return 0; }
    virtual TlfSize HookSize1() const { return {0, 0}; }
    virtual TColor HookColor1() const { return clDefault; }
    virtual TColor HookColor2(bool highlighted) const { return clDefault; }
    // Images
    virtual void PaintImageGlyph(TlfCanvas& canvas, const TlfImageList* imageList, int imageIndex, int unused1,
                                 const TPoint& position, bool enabled, int unused2) const;
    virtual TlfSize ImageGlyphSize() const { return {0, 0}; }
    virtual void PaintHook2(TlfCanvas& canvas, const TRect& r, bool vertical) const {}
    virtual void PaintHook3(TlfCanvas& canvas, const TRect& r, bool vertical) const {}
    virtual TRect HookMargins1(bool vertical) const { return {}; }
    virtual TColor HookColor3() const { return clDefault; }
    // Containers (CaptionPosition: 0 top, 1 bottom, 2 left, 3 right)
    virtual void PaintContainerBackground(TlfCanvas& canvas, const TRect& bounds, const TRect& r) const {}
    virtual void PaintContainerCaption(TlfCanvas& canvas, const TRect& captionRect, int captionPosition) const {}
    virtual void PaintContainerContent(TlfCanvas& canvas, const TRect& borderRect, int captionPosition) const {}
    virtual TRect ContainerMargins(bool hasCaption, int captionPosition) const { return {}; }
    virtual TColor ContainerTextColor() const { return clDefault; }
    virtual bool ContainerTransparent(bool isCaption, int captionPosition) const { return false; }
    // Panels
    virtual void PaintPanelBackground(TlfCanvas& canvas, TControl* control, const TRect& bounds, TColor colorFrom,
                                      TColor colorTo) const {
        PaintContainerBackground(canvas, bounds, bounds);
    }
    virtual void PaintPanelCaption(TlfCanvas& canvas, const TRect& r, int position) const {
        PaintContainerCaption(canvas, r, position);
    }
    virtual void PaintHook4(TlfCanvas& canvas) const {}
    virtual TRect HookMargins2() const { return {}; }
    virtual TColor HookColor4() const { return clDefault; }
    virtual void PaintHook5(TlfCanvas& canvas, const TRect& r, int a, int b) const {}
    virtual void PaintHook6(TlfCanvas& canvas, const TRect& r, int a, int b, int c) const {}
    virtual TlfSize HookSize2(bool horizontal) const { return {0, 0}; }
    virtual TColor HookColor5(bool forText) const { return clDefault; }
    virtual int32_t HookMetric2() const { return 0; }
    virtual void PaintHook7(TlfCanvas& canvas, const TRect& r, int a, int b, int c) const {}
    virtual TlfSize HookSize3(bool horizontal) const { return {0, 0}; }

protected:
    TlfCustomLookAndFeelPainter() = default;
    // The arrow's triangle (proportional: squared first).
    static std::vector<TPoint> ArrowPoints(TRect r, TlfArrowKind direction, bool proportional);
    static void FillTriangle(TlfCanvas& canvas, const std::vector<TPoint>& points, TColor color);
    static void PaintExpandCross(TlfCanvas& canvas, const TRect& r, bool expanded, TColor color);
    static void PaintSortGlyphLines(TlfCanvas& canvas, const TRect& r, bool ascending, TlfSize size, TColor color1,
                                    TColor color2);
    static void PaintCaptionArrows(TlfCanvas& canvas, TRect r, int arrows, int32_t offset, int32_t borderWidth);
};

class TlfStandardLookAndFeelPainter : public TlfCustomLookAndFeelPainter {
public:
    const char* ClassName() const override { return "TlfStandardLookAndFeelPainter"; }
    TlfPainterStyle PainterStyle() const override { return psStandard; }
    TColor DefaultColor(int index) const override;
    int32_t BorderWidth() const override { return 2; }
    void PaintBorder(TlfCanvas& canvas, const TRect& r) const override;
    int32_t ButtonFrameWidth(TlfElementState state) const override { return state == esDefault ? 3 : 2; }
    int32_t ButtonTextIndent() const override { return 1; }
    int32_t ButtonTextPressOffset() const override { return 1; }
    void PaintButtonFrame(TlfCanvas& canvas, const TRect& r, TlfElementState state) const override;
    void PaintExpandButton(TlfCanvas& canvas, const TRect& r, bool expanded, TColor color) const override;
    void PaintCaptionExpandButton(TlfCanvas& canvas, const TRect& r, bool expanded, TlfElementState state) const override;
    int32_t ExpandGlyphSize() const override { return 12; }
    bool HotTrackedButtons() const override { return false; }
    void PaintCheckFrame(TlfCanvas& canvas, const TRect& r, TlfElementState state) const override;
    void PaintHeaderCellFrame(TlfCanvas& canvas, const TRect& r, TlfBorders neighbours, TlfBorders sides) const override;
    void PaintHeaderSectionFrame(TlfCanvas& canvas, const TRect& r, TlfBorders sides, TlfElementState state) const override;
    void PaintSortGlyph(TlfCanvas& canvas, const TRect& r, bool ascending) const override;
    int32_t HeaderFrameWidth() const override { return 1; }
    int32_t SectionFrameWidth(TlfElementState state) const override { return state == esPressed ? 1 : 2; }
    TlfSize SortGlyphSize() const override { return {8, 7}; }
    int32_t BandFrameWidth() const override { return 1; }
    int32_t BandCellFrameWidth() const override { return 1; }
    int32_t BandCellSpacing() const override { return 1; }
    void PaintBandFrame(TlfCanvas& canvas, const TRect& r) const override;
    void PaintBandCellFrame(TlfCanvas& canvas, const TRect& r) const override;
    void PaintComboButton(TlfCanvas& canvas, const TRect& r, TlfElementState state, bool active) const override;
    void PaintTabItemFrame(TlfCanvas& canvas, const TRect& r, int side, TlfBorders sides, bool vertical) const override;
    void PaintTabStripFrame(TlfCanvas& canvas, const TRect& r, TlfBorders sides, bool vertical) const override;
    int32_t TabFrameWidth(bool vertical) const override { return 1; }
    void PaintArrowCaption(TlfCanvas& canvas, const TRect& r, const std::u16string& text, TlfBorders neighbours,
                           const TlfPaintParams& viewParams, int arrows, int32_t offset,
                           const TlfCustomDrawEvent& customPaint) const override;
    void PaintSplitterBar(TlfCanvas& canvas, const TRect& r, const TlfPaintParams& viewParams, bool horizontal) const override;
    void PaintScrollBarArea(TlfCanvas& canvas, bool horizontal, const TRect& r, TlfScrollBarPart part,
                            TlfElementState state) const override;
};

class TlfFlatLookAndFeelPainter : public TlfCustomLookAndFeelPainter {
public:
    const char* ClassName() const override { return "TlfFlatLookAndFeelPainter"; }
    TlfPainterStyle PainterStyle() const override { return psFlat; }
    int32_t BorderWidth() const override { return 1; }
    void PaintBorder(TlfCanvas& canvas, const TRect& r) const override;
    int32_t ButtonFrameWidth(TlfElementState state) const override { return state == esDefault ? 2 : 1; }
    int32_t ButtonTextIndent() const override { return 1; }
    int32_t ButtonTextPressOffset() const override { return 1; }
    void PaintButtonFrame(TlfCanvas& canvas, const TRect& r, TlfElementState state) const override;
    void PaintExpandButton(TlfCanvas& canvas, const TRect& r, bool expanded, TColor color) const override;
    int32_t ExpandGlyphSize() const override { return 11; }
    bool HotTrackedButtons() const override { return false; }
    void PaintCheckFrame(TlfCanvas& canvas, const TRect& r, TlfElementState state) const override;
    void PaintHeaderCellFrame(TlfCanvas& canvas, const TRect& r, TlfBorders neighbours, TlfBorders sides) const override;
    void PaintHeaderSectionFrame(TlfCanvas& canvas, const TRect& r, TlfBorders sides, TlfElementState state) const override;
    void PaintSortGlyph(TlfCanvas& canvas, const TRect& r, bool ascending) const override;
    int32_t HeaderFrameWidth() const override { return 1; }
    TlfSize SortGlyphSize() const override { return {8, 7}; }
    int32_t BandFrameWidth() const override { return 1; }
    int32_t BandCellFrameWidth() const override { return 1; }
    int32_t BandCellSpacing() const override { return 1; }
    void PaintBandFrame(TlfCanvas& canvas, const TRect& r) const override;
    void PaintBandCellFrame(TlfCanvas& canvas, const TRect& r) const override;
    void PaintComboButton(TlfCanvas& canvas, const TRect& r, TlfElementState state, bool active) const override;
    void PaintTabItemFrame(TlfCanvas& canvas, const TRect& r, int side, TlfBorders sides, bool vertical) const override;
    void PaintTabStripFrame(TlfCanvas& canvas, const TRect& r, TlfBorders sides, bool vertical) const override;
    int32_t TabFrameWidth(bool vertical) const override { return 1; }
    void PaintSplitterBar(TlfCanvas& canvas, const TRect& r, const TlfPaintParams& viewParams, bool horizontal) const override;
    void PaintScrollBarArea(TlfCanvas& canvas, bool horizontal, const TRect& r, TlfScrollBarPart part,
                            TlfElementState state) const override;
};

class TlfUltraFlatLookAndFeelPainter : public TlfCustomLookAndFeelPainter {
public:
    const char* ClassName() const override { return "TlfUltraFlatLookAndFeelPainter"; }
    TlfPainterStyle PainterStyle() const override { return psUltraFlat; }
    TColor DefaultColor(int index) const override;
    int32_t BorderWidth() const override { return 1; }
    void PaintBorder(TlfCanvas& canvas, const TRect& r) const override;
    int32_t ButtonFrameWidth(TlfElementState state) const override { return state == esDefault ? 2 : 1; }
    TColor ButtonFaceColor(TlfElementState state) const override;
    TRect ButtonFocusArea(TlfCanvas& canvas, const TRect& r) const override;
    TRect SegmentButtonFrameWidths(int count, int index) const override;
    int32_t ButtonTextIndent() const override { return 2; }
    int32_t ButtonTextPressOffset() const override { return 0; }
    TColor ButtonGlyphColor(TlfElementState state, TColor defaultColor) const override;
    TlfElementState ButtonGlyphState(TlfElementState state) const override { return esNormal; }
    void PaintSegmentButton(TlfCanvas& canvas, const TRect& r, TlfElementState state, int count, int index,
                            TColor frameColor) const override;
    void PaintButtonFrame(TlfCanvas& canvas, const TRect& r, TlfElementState state) const override;
    void PaintButtonOutline(TlfCanvas& canvas, const TRect& r, bool selected, bool highlighted) const override;
    void PaintExpandButton(TlfCanvas& canvas, const TRect& r, bool expanded, TColor color) const override;
    int32_t ExpandGlyphSize() const override { return 11; }
    bool HotTrackedButtons() const override { return true; }
    void PaintCheckFrame(TlfCanvas& canvas, const TRect& r, TlfElementState state) const override;
    void PaintFlatHeaderCell(TlfCanvas& canvas, const TRect& r, const TRect& textRect, TlfBorders neighbours,
                             TlfBorders sides, TlfElementState state, const TlfTextArgs& text, TColor backColor,
                             const TlfCustomDrawEvent& customPaint) const override;
    void PaintHeaderCellFrame(TlfCanvas& canvas, const TRect& r, TlfBorders neighbours, TlfBorders sides) const override;
    void PaintHeaderSectionFrame(TlfCanvas& canvas, const TRect& r, TlfBorders sides, TlfElementState state) const override;
    void PaintHeaderSectionFace(TlfCanvas& canvas, const TRect& r, const TRect& textRect, TlfElementState state,
                                const TlfTextArgs& text, TColor backColor) const override;
    void PaintSortGlyph(TlfCanvas& canvas, const TRect& r, bool ascending) const override;
    TlfBorders HeaderCellSides(TlfBorders neighbours) const override;
    int32_t HeaderFrameWidth() const override { return 1; }
    TlfSize SortGlyphSize() const override { return {7, 8}; }
    TlfBorders BandCellSides() const override { return bRight | bBottom; }
    int32_t BandFrameWidth() const override { return 1; }
    int32_t BandCellFrameWidth() const override { return 1; }
    int32_t BandCellSpacing() const override { return 2; }
    void PaintBandFrame(TlfCanvas& canvas, const TRect& r) const override;
    void PaintBandCellFrame(TlfCanvas& canvas, const TRect& r) const override;
    void PaintComboButton(TlfCanvas& canvas, const TRect& r, TlfElementState state, bool active) const override;
    TlfSize CloseButtonSize() const override { return {16, 15}; }
    void PaintTabItemFrame(TlfCanvas& canvas, const TRect& r, int side, TlfBorders sides, bool vertical) const override;
    void PaintTabStripFrame(TlfCanvas& canvas, const TRect& r, TlfBorders sides, bool vertical) const override;
    int32_t TabFrameWidth(bool vertical) const override { return 1; }
    void PaintStepButton(TlfCanvas& canvas, const TRect& r, const TRect& arrowRect, bool isNext,
                         TlfElementState state) const override;
    void PaintToolButton(TlfCanvas& canvas, const TRect& r, TlfElementState state) const override;
    void PaintSplitterBar(TlfCanvas& canvas, const TRect& r, const TlfPaintParams& viewParams, bool horizontal) const override;
    void PaintScrollBarArea(TlfCanvas& canvas, bool horizontal, const TRect& r, TlfScrollBarPart part,
                            TlfElementState state) const override;
    // Ultra-flat additions
    virtual TColor StateFrameColor(TlfElementState state) const;
    virtual TColor TabFrameColor() const { return lfColors::clBtnShadow; }
    virtual TColor TabShadeColor() const { return lfColors::clBtnText; }
    virtual TColor FocusFrameColor() const { return lfColors::clHighlight; }
};

// The Office 2003 colour set the painter draws with (the active scheme's
// values, or the system-colour mixes without one).
struct TlfOffice11PainterColors {
    TColor BarFace, BarLight, BarGradient1, BarGradient2, BarDark, BarLightLine, ShadowLine, HighlightLine,
        SelectedBorder, HotFace, HotFace2, PressedFace, Text, DisabledText, Group, Frame, Panel, Selection, Header,
        Border;
};
// Taken from the Office 2003 scheme state and the system colours as they
// are now, so a change of either shows on the next paint.
TlfOffice11PainterColors Office11PainterColors();

class TlfOffice11LookAndFeelPainter : public TlfUltraFlatLookAndFeelPainter {
public:
    const char* ClassName() const override { return "TlfOffice11LookAndFeelPainter"; }
    TlfPainterStyle PainterStyle() const override { return psOffice11; }
    TColor DefaultColor(int index) const override;
    void PaintBorder(TlfCanvas& canvas, const TRect& r) const override;
    TColor ButtonFaceColor(TlfElementState state) const override;
    TColor ButtonGlyphColor(TlfElementState state, TColor defaultColor) const override;
    void PaintButtonFrame(TlfCanvas& canvas, const TRect& r, TlfElementState state) const override;
    TColor CheckFaceColor(TlfElementState state) const override;
    void PaintExpandButton(TlfCanvas& canvas, const TRect& r, bool expanded, TColor color) const override;
    void PaintSmallExpandButton(TlfCanvas& canvas, const TRect& r, bool expanded, TColor borderColor,
                                TColor color) const override;
    bool ExpandButtonPaintedFirst() const override { return false; }
    int32_t SmallExpandGlyphSize() const override { return ExpandGlyphSize(); }
    void PaintTextCell(TlfCanvas& canvas, const TRect& r, const TRect& textRect, TlfElementState state,
                       const TlfTextArgs& text, TColor backColor, const TlfCustomDrawEvent& customPaint,
                       bool plain) const override;
    void PaintHeaderCell(TlfCanvas& canvas, const TRect& r, const TRect& textRect, TlfBorders neighbours,
                         TlfBorders sides, TlfElementState state, const TlfTextArgs& text, TColor backColor,
                         const TlfCustomDrawEvent& customPaint, bool headerItemFlag1 = false,
                         bool headerItemFlag2 = false) const override;
    void PaintHeaderCellFrame(TlfCanvas& canvas, const TRect& r, TlfBorders neighbours, TlfBorders sides) const override;
    void PaintHeaderSection(TlfCanvas& canvas, const TRect& r, const TRect& textRect, TlfBorders neighbours,
                            TlfBorders sides, TlfElementState state, const TlfTextArgs& text,
                            TColor backColor) const override;
    void PaintSortGlyph(TlfCanvas& canvas, const TRect& r, bool ascending) const override;
    TlfBorders HeaderCellSides(TlfBorders neighbours) const override { return bAll; }
    bool HeaderFlag2() const override { return true; }
    TColor BandLineColor() const override { return HeaderBottomLineColor(); }
    void PaintComboButton(TlfCanvas& canvas, const TRect& r, TlfElementState state, bool active) const override;
    void PaintStepButton(TlfCanvas& canvas, const TRect& r, const TRect& arrowRect, bool isNext,
                         TlfElementState state) const override;
    void PaintToolButton(TlfCanvas& canvas, const TRect& r, TlfElementState state) const override;
    void PaintArrowCaption(TlfCanvas& canvas, const TRect& r, const std::u16string& text, TlfBorders neighbours,
                           const TlfPaintParams& viewParams, int arrows, int32_t offset,
                           const TlfCustomDrawEvent& customPaint) const override;
    void PaintArrowCaptionFrame(TlfCanvas& canvas, const TRect& r) const override;
    void PaintGrip(TlfCanvas& canvas, const TRect& r, TColor backColor) const override;
    void PaintPanelBackground(TlfCanvas& canvas, TControl* control, const TRect& bounds, TColor colorFrom,
                              TColor colorTo) const override;
    void PaintScrollBarArea(TlfCanvas& canvas, bool horizontal, const TRect& r, TlfScrollBarPart part,
                            TlfElementState state) const override;
    TColor StateFrameColor(TlfElementState state) const override;
    TColor TabFrameColor() const override { return HeaderBottomLineColor(); }
    TColor FocusFrameColor() const override;
    // Office 2003 additions
    virtual TColor HeaderCornerColor() const;
    virtual TColor HeaderBottomLineColor() const;
    virtual TColor HeaderSideLineColor() const;
    virtual TColor HeaderTopLineColor() const;
};

class TlfWinXPLookAndFeelPainter : public TlfStandardLookAndFeelPainter {
public:
    const char* ClassName() const override { return "TlfWinXPLookAndFeelPainter"; }
    TlfPainterStyle PainterStyle() const override { return psNative; }
    TColor DefaultColor(int index) const override;
    void PaintStepButton(TlfCanvas& canvas, const TRect& r, const TRect& arrowRect, bool isNext,
                         TlfElementState state) const override;
    void PaintArrowButton(TlfCanvas& canvas, const TRect& r, TlfElementState state, TlfArrowKind direction,
                          bool withFrame) const override;
    void PaintArrowButtonFrame(TlfCanvas& canvas, const TRect& r, TlfElementState state) const override;
    int32_t BorderWidth() const override;
    void PaintBorder(TlfCanvas& canvas, const TRect& r) const override;
    TRect SegmentButtonRect(const TRect& r, int count, int index) const override;
    int32_t ButtonFrameWidth(TlfElementState state) const override;
    TColor ButtonFaceColor(TlfElementState state) const override;
    TRect ButtonFocusArea(TlfCanvas& canvas, const TRect& r) const override;
    TRect SegmentButtonFrameWidths(int count, int index) const override;
    TColor ButtonGlyphColor(TlfElementState state, TColor defaultColor) const override;
    int32_t ButtonTextIndent() const override { return 2; }
    int32_t ButtonTextPressOffset() const override { return 0; }
    void PaintButton(TlfCanvas& canvas, const TRect& r, const std::u16string& text, TlfElementState state,
                     bool withFrame, TColor faceColor = clDefault, TColor textColor = clDefault,
                     bool wordWrap = false) const override;
    void PaintExpandButton(TlfCanvas& canvas, const TRect& r, bool expanded, TColor color) const override;
    bool ExpandButtonPaintedFirst() const override { return false; }
    void PaintCaptionExpandButton(TlfCanvas& canvas, const TRect& r, bool expanded, TlfElementState state) const override;
    void PaintSmallExpandButton(TlfCanvas& canvas, const TRect& r, bool expanded, TColor borderColor,
                                TColor color) const override;
    int32_t ExpandGlyphSize() const override;
    int32_t CaptionExpandButtonSize() const override;
    bool HotTrackedButtons() const override { return true; }
    bool PointOverCaptionExpandButton(const TRect& r, const TPoint& p) const override;
    int32_t SmallExpandGlyphSize() const override;
    int32_t CheckFrameWidth() const override;
    TlfSize CheckBoxSize() const override;
    void PaintCheckMark(TlfCanvas& canvas, const TRect& r, TlfElementState state, bool isChecked,
                        TColor color) const override;
    void PaintCheckFrame(TlfCanvas& canvas, const TRect& r, TlfElementState state) const override;
    void PaintRadioButton(TlfCanvas& canvas, int32_t x, int32_t y, TlfElementState state, bool isChecked, bool flagB,
                          TColor backColor, bool flagA) const override;
    TlfSize RadioButtonExtent() const override;
    void PaintHeaderCell(TlfCanvas& canvas, const TRect& r, const TRect& textRect, TlfBorders neighbours,
                         TlfBorders sides, TlfElementState state, const TlfTextArgs& text, TColor backColor,
                         const TlfCustomDrawEvent& customPaint, bool headerItemFlag1 = false,
                         bool headerItemFlag2 = false) const override;
    void InvertHeaderCell(TlfCanvas& canvas, const TRect& r) const override {}
    void PaintHeaderSection(TlfCanvas& canvas, const TRect& r, const TRect& textRect, TlfBorders neighbours,
                            TlfBorders sides, TlfElementState state, const TlfTextArgs& text,
                            TColor backColor) const override;
    void PaintSortGlyph(TlfCanvas& canvas, const TRect& r, bool ascending) const override;
    int32_t HeaderFrameWidth() const override;
    int32_t SectionFrameWidth(TlfElementState state) const override { return HeaderFrameWidth(); }
    TRect SectionContentRect(const TRect& r, TlfElementState state) const override;
    bool HeaderFlag2() const override { return true; }
    TlfSize SortGlyphSize() const override { return {7, 8}; }
    int32_t BandFrameWidth() const override { return 1; }
    int32_t BandCellFrameWidth() const override { return 1; }
    int32_t BandCellSpacing() const override { return 1; }
    bool BandCellsPaintedFirst() const override { return false; }
    void PaintBandCell(TlfCanvas& canvas, const TRect& r, const TlfTextArgs& text, TColor backColor,
                       const TlfCustomDrawEvent& customPaint) const override;
    void PaintBandFrame(TlfCanvas& canvas, const TRect& r) const override;
    void PaintCloseButton(TlfCanvas& canvas, const TRect& r, TlfElementState state) const override;
    void PaintComboButton(TlfCanvas& canvas, const TRect& r, TlfElementState state, bool active) const override;
    TlfSize CheckGlyphButtonSize() const override;
    TlfSize CloseButtonSize() const override;
    void PaintTabItem(TlfCanvas& canvas, const TRect& r, TlfBorders sides, const std::u16string& text,
                      TlfElementState state, bool vertical, const TCanvasFont* font, TColor textColor, TColor backColor,
                      bool showPrefix) const override;
    void PaintTabItemFrame(TlfCanvas& canvas, const TRect& r, int side, TlfBorders sides, bool vertical) const override;
    void PaintTabStripFrame(TlfCanvas& canvas, const TRect& r, TlfBorders sides, bool vertical) const override;
    bool TabItemPaintSupported(bool vertical) const override;
    bool TabHotTracking(bool vertical) const override { return TabItemPaintSupported(vertical); }
    int32_t TabFrameWidth(bool vertical) const override { return 1; }
    void PaintRowHeader(TlfCanvas& canvas, const TRect& r, int kind, TColor backColor,
                        const TlfCustomDrawEvent& customPaint) const override;
    int32_t MinScrollThumbSize(bool vertical) const override;
    void PaintScrollBarArea(TlfCanvas& canvas, bool horizontal, const TRect& r, TlfScrollBarPart part,
                            TlfElementState state) const override;
    void PaintGrip(TlfCanvas& canvas, const TRect& r, TColor backColor) const override;
    void PaintArrowCaption(TlfCanvas& canvas, const TRect& r, const std::u16string& text, TlfBorders neighbours,
                           const TlfPaintParams& viewParams, int arrows, int32_t offset,
                           const TlfCustomDrawEvent& customPaint) const override;
    void PaintProgressStrip(TlfCanvas& canvas, const TRect& bounds, const TRect& progressRect,
                            const TlfPaintParams& viewParams, bool transparent) const override;
    TRect ProgressStripMargins() const override { return {3, 3, 3, 3}; }
    void PaintToolButton(TlfCanvas& canvas, const TRect& r, TlfElementState state) const override;
    void PaintSplitterBar(TlfCanvas& canvas, const TRect& r, const TlfPaintParams& viewParams, bool horizontal) const override;
    void PaintPanelBackground(TlfCanvas& canvas, TControl* control, const TRect& bounds, TColor colorFrom,
                              TColor colorTo) const override;
    // XP addition
    virtual void PaintThemedText(TlfCanvas& canvas, int theme, int part, int state, const TRect& clipRect,
                                 const TRect& textRect, const TlfTextArgs& text, TColor backColor) const;
};

// The one object of each painter class (what a painter class reference
// points at).
TlfPainterClass CustomPainter();
TlfPainterClass StandardPainter();
TlfPainterClass FlatPainter();
TlfPainterClass UltraFlatPainter();
TlfPainterClass Office11Painter();
TlfPainterClass WinXPPainter();
// The painter of a look-and-feel kind (used without native style or an
// extended-style painter).
TlfPainterClass PainterOfKind(TlfLookAndFeelKind kind);

// The system's size grip: diagonal ridges in the bottom-right corner.
void DrawSizeGrip(TlfCanvas& canvas, const TRect& r);
