// The painters: every element of every painter drawn in each state into a
// bitmap of its own (inside its rectangle alone, states that differ where
// the look has them), the looks told apart where they differ, the drawing
// rules with exact pixels, and a contact sheet to look at.
#include <gtest/gtest.h>

#include <set>

#include "navbar/lf_office11.h"
#include "navbar/lf_painter_images.h"
#include "navbar/lf_painters.h"
#include "navbar/tests/lf_painter_sheet.h"
#include "platform/ui/application.h"

using namespace lfColors;
using namespace painter_sheet;

namespace {

struct TNamedPainter {
    const char* Name;
    TlfPainterClass Painter;
};

std::vector<TNamedPainter> Painters() {
    return {{"flat", FlatPainter()}, {"ultra-flat", UltraFlatPainter()}, {"office2003", Office11Painter()},
            {"standard", StandardPainter()}, {"themed", WinXPPainter()}};
}

TColor Pixel(const TBitmap& b, int32_t x, int32_t y) {
    const uint32_t rgb = b.PixelColor(b.ScanLine(y), x);
    return RGBColor(uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb));
}

TEST(Painters, EveryElementDrawsInsideItsRectangleAndItsStatesDiffer) {
    Application();  // the system metrics come from the running plugin
    // Elements whose hot look differs from the normal one, by painter: the
    // hot-tracking looks (ultra-flat, Office 2003) light their buttons; the
    // classic and flat looks, and the Office look's classic scroll bar
    // (visual styles are off here), do not.
    const std::set<std::string> hotButtons = {"Button", "Combo", "Close", "Segment"};
    const std::set<std::string> hotScroll = {"ScrollUp", "ScrollRight", "Thumb", "ThumbH"};
    // Elements with a pressed look, and with a disabled one (a glyph or a
    // caption greys out; a plain face or a track stays as it is).
    const std::set<std::string> pressedLook = {"Button", "ToolButton", "ArrowButton", "ScrollUp", "ScrollRight",
                                               "CheckBox", "Radio", "Combo", "Close", "Step", "HeaderSection"};
    const std::set<std::string> disabledLook = {"Button", "ArrowButton", "ScrollUp", "ScrollRight", "Thumb", "ThumbH",
                                                "CheckBox", "Radio", "Close", "Step", "CaptionExpand", "HeaderSection"};
    for (const TNamedPainter& p : Painters()) {
        const std::string painter = p.Name;
        const bool hotTracking = painter == "ultra-flat" || painter == "office2003";
        for (const TElement& e : Elements()) {
            const std::string name = e.Name;
            SCOPED_TRACE(painter + " " + name);
            const TBitmap normal = DrawElement(p.Painter, e, esNormal);
            EXPECT_EQ(Outside(normal, e), 0);
            const bool drawsNothing = name == "TabItem";  // only a themed tab strip paints tabs
            if (!drawsNothing) {
                EXPECT_GT(Inked(normal), 0);
            }
            if (!e.HasStates) continue;
            const TBitmap hot = DrawElement(p.Painter, e, esHot), pressed = DrawElement(p.Painter, e, esPressed),
                          disabled = DrawElement(p.Painter, e, esDisabled);
            EXPECT_EQ(Outside(hot, e), 0);
            EXPECT_EQ(Outside(pressed, e), 0);
            EXPECT_EQ(Outside(disabled, e), 0);
            if (drawsNothing) continue;
            if (hotButtons.count(name)) {
                EXPECT_EQ(!SamePixels(hot, normal), hotTracking);
            }
            // The tool button lights its frame in the ultra-flat look alone
            // (the Office look takes the themed painter's, classic here).
            if (hotScroll.count(name) || name == "ToolButton") {
                EXPECT_EQ(!SamePixels(hot, normal), painter == "ultra-flat");
            }
            // The themed painter's header section without a theme is the
            // classic cell, which has no pressed look.
            if (pressedLook.count(name) && !(painter == "themed" && name == "HeaderSection")) {
                EXPECT_FALSE(SamePixels(pressed, normal));
            }
            // Classic combo buttons keep their glyph black.
            // The Office and themed header sections are header cells,
            // whose captions keep their colour.
            const bool cellSection = name == "HeaderSection" && (painter == "office2003" || painter == "themed");
            if ((disabledLook.count(name) && !cellSection) || (name == "Combo" && hotTracking)) {
                EXPECT_FALSE(SamePixels(disabled, normal));
            }
        }
    }
}

TEST(Painters, TheLooksDifferWhereTheirPartsSayTheyDo) {
    Application();
    const TElement* arrow = nullptr;
    const TElement* header = nullptr;
    const TElement* button = nullptr;
    const std::vector<TElement> elements = Elements();
    for (const TElement& e : elements) {
        if (std::string(e.Name) == "ScrollUp") arrow = &e;
        if (std::string(e.Name) == "HeaderCell") header = &e;
        if (std::string(e.Name) == "Button") button = &e;
    }
    ASSERT_TRUE(arrow && header && button);
    const TBitmap flat = DrawElement(FlatPainter(), *arrow, esNormal), ultra = DrawElement(UltraFlatPainter(), *arrow, esNormal),
                  office = DrawElement(Office11Painter(), *arrow, esNormal),
                  standard = DrawElement(StandardPainter(), *arrow, esNormal),
                  themed = DrawElement(WinXPPainter(), *arrow, esNormal);
    EXPECT_FALSE(SamePixels(flat, ultra));
    EXPECT_FALSE(SamePixels(flat, standard));
    EXPECT_FALSE(SamePixels(ultra, standard));
    // Without visual styles the Office look's scroll bar is the classic one,
    // and the themed painter falls back to the classic drawing.
    EXPECT_TRUE(SamePixels(office, standard));
    EXPECT_TRUE(SamePixels(themed, standard));
    // The Office header cell has its soft gradient; the ultra-flat one not.
    EXPECT_FALSE(SamePixels(DrawElement(Office11Painter(), *header, esNormal), DrawElement(UltraFlatPainter(), *header, esNormal)));
    // Three frame styles of a button.
    EXPECT_FALSE(SamePixels(DrawElement(StandardPainter(), *button, esNormal), DrawElement(FlatPainter(), *button, esNormal)));
    EXPECT_FALSE(SamePixels(DrawElement(FlatPainter(), *button, esNormal), DrawElement(UltraFlatPainter(), *button, esNormal)));
    // The default button has one more frame pixel in the classic look.
    EXPECT_EQ(StandardPainter()->ButtonFrameWidth(esDefault), 3);
    EXPECT_EQ(StandardPainter()->ButtonFrameWidth(esNormal), 2);
}

TEST(Painters, DrawingRulesGiveTheirExactPixels) {
    Application();
    TBitmap bitmap;
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    bitmap.SetSize(40, 40);
    TCanvas canvas(bitmap);
    TlfCanvas lf(canvas);
    constexpr TColor kGround = 0x123456;  // no system colour
    auto clear = [&] { lf.FillRectColor(TRect{0, 0, 40, 40}, kGround); };
    auto box = [&](TColor color) {
        TRect r{100, 100, -1, -1};
        for (int32_t y = 0; y < 40; ++y)
            for (int32_t x = 0; x < 40; ++x)
                if (Pixel(bitmap, x, y) == color) r = {std::min(r.Left, x), std::min(r.Top, y), std::max(r.Right, x + 1), std::max(r.Bottom, y + 1)};
        return r;
    };

    // An up arrow in 16 x 10 is squared to 10 x 10 first: 5 wide, 3 high.
    clear();
    CustomPainter()->PaintArrow(lf, TRect{0, 0, 16, 10}, akUp, 0x000000);
    const TRect arrow = box(0x000000);
    EXPECT_EQ(RectWidth(arrow), 5);
    EXPECT_EQ(RectHeight(arrow), 3);

    // A disabled scroll arrow: highlight one pixel right and down, shadow in place.
    clear();
    CustomPainter()->PaintScrollArrow(lf, TRect{0, 0, 16, 16}, esDisabled, akDown);
    const TRect shadow = box(ColorToRGB(clBtnShadow)), light = box(ColorToRGB(clBtnHighlight));
    EXPECT_EQ(light.Right, shadow.Right + 1);
    EXPECT_EQ(light.Bottom, shadow.Bottom + 1);

    // A grayed check box has its face and frame but no glyph; a disabled
    // checked one shows the glyph in the grey text colour.
    clear();
    StandardPainter()->PaintCheckBox(lf, TRect{0, 0, 13, 13}, esNormal, chkGrayed);
    EXPECT_EQ(box(ColorToRGB(clGrayText)).Right, -1);
    EXPECT_EQ(Pixel(bitmap, 6, 6), ColorToRGB(clWindow));
    clear();
    StandardPainter()->PaintCheckBox(lf, TRect{0, 0, 13, 13}, esDisabled, chkChecked);
    EXPECT_GT(box(ColorToRGB(clGrayText)).Right, 0);

    // Focus areas: shrunk by 4 (ultra-flat 3), the whole rectangle when tiny.
    EXPECT_EQ(CustomPainter()->ButtonFocusArea(lf, TRect{0, 0, 20, 20}), (TRect{4, 4, 16, 16}));
    EXPECT_EQ(CustomPainter()->ButtonFocusArea(lf, TRect{0, 0, 8, 20}), (TRect{0, 0, 8, 20}));
    EXPECT_EQ(UltraFlatPainter()->ButtonFocusArea(lf, TRect{0, 0, 20, 20}), (TRect{3, 3, 17, 17}));

    // A centred step button has no arrow area.
    TRect bounds{0, 0, 20, 100}, arrowArea{1, 1, 1, 1}, buttonRect{};
    CustomPainter()->LayoutStepButtons(true, true, {}, {}, bounds, arrowArea, buttonRect);
    EXPECT_TRUE(RectIsEmpty(arrowArea));
    EXPECT_EQ(RectHeight(bounds), 6 + 21 + 6);
    EXPECT_EQ(RectWidth(buttonRect), 7);

    // A pressed classic arrow button moves its glyph a pixel right and down
    // and has the flat shadow frame; the hot one is the normal one.
    clear();
    StandardPainter()->PaintScrollBarArea(lf, false, TRect{0, 0, 17, 17}, partLineUp, esNormal);
    const TRect glyphNormal = box(ColorToRGB(clBtnText));
    EXPECT_EQ(Pixel(bitmap, 16, 16), ColorToRGB(cl3DDkShadow));
    clear();
    StandardPainter()->PaintScrollBarArea(lf, false, TRect{0, 0, 17, 17}, partLineUp, esPressed);
    const TRect glyphPressed = box(ColorToRGB(clBtnText));
    EXPECT_EQ(glyphPressed.Left, glyphNormal.Left + 1);
    EXPECT_EQ(glyphPressed.Top, glyphNormal.Top + 1);
    EXPECT_EQ(Pixel(bitmap, 16, 16), ColorToRGB(clBtnShadow));

    // Ultra-flat: a hot arrow has the hot selection face and a highlight
    // frame; a pressed one the pressed face and a highlight-text arrow.
    clear();
    UltraFlatPainter()->PaintScrollBarArea(lf, false, TRect{0, 0, 17, 17}, partLineUp, esHot);
    EXPECT_EQ(Pixel(bitmap, 0, 0), ColorToRGB(clHighlight));
    EXPECT_EQ(Pixel(bitmap, 2, 14), ColorToRGB(HotSelectionColor()));
    clear();
    UltraFlatPainter()->PaintScrollBarArea(lf, false, TRect{0, 0, 17, 17}, partLineUp, esPressed);
    EXPECT_EQ(Pixel(bitmap, 2, 14), ColorToRGB(PressedSelectionColor()));
    EXPECT_GT(box(ColorToRGB(clHighlightText)).Right, 0);

    // A disabled thumb paints nothing in the classic and flat looks.
    clear();
    for (TlfPainterClass p : {StandardPainter(), FlatPainter(), UltraFlatPainter()})
        p->PaintScrollBarArea(lf, false, TRect{0, 0, 17, 30}, partThumb, esDisabled);
    EXPECT_EQ(box(kGround), (TRect{0, 0, 40, 40}));

    // The ultra-flat close cross never moves when pressed.
    clear();
    UltraFlatPainter()->PaintCloseButton(lf, TRect{0, 0, 16, 15}, esHot);  // framed in the highlight colour
    const TRect crossNormal = box(ColorToRGB(clBtnText));
    EXPECT_GT(crossNormal.Left, 0);
    clear();
    UltraFlatPainter()->PaintCloseButton(lf, TRect{0, 0, 16, 15}, esPressed);
    EXPECT_EQ(box(ColorToRGB(clHighlightText)), crossNormal);
}

TEST(Painters, ButtonTakesThePaintersColoursForDefaultAndEvensItsHeight) {
    Application();
    TBitmap bitmap;
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    bitmap.SetSize(30, 30);
    TCanvas canvas(bitmap);
    TlfCanvas lf(canvas);
    UltraFlatPainter()->PaintButton(lf, TRect{0, 0, 30, 30}, u"", esHot, true, clDefault, clDefault);
    EXPECT_EQ(Pixel(bitmap, 15, 15), ColorToRGB(HotSelectionColor()));
    EXPECT_EQ(Pixel(bitmap, 0, 15), ColorToRGB(clHighlight));
    // Office 2003 colours without a scheme come from the system colours.
    const TlfOffice11PainterColors c = Office11PainterColors();
    EXPECT_EQ(c.BarFace, clBtnFace);
    EXPECT_EQ(Office11Painter()->ButtonFaceColor(esHot), c.HotFace);
    EXPECT_EQ(Office11Painter()->DefaultColor(34), c.Border);
    EXPECT_EQ(Office11Painter()->DefaultColor9(), Office11Painter()->DefaultColor18());
    EXPECT_EQ(UltraFlatPainter()->DefaultColor34(), clBtnShadow);
    EXPECT_EQ(StandardPainter()->DefaultColor37(), clWindow);
    EXPECT_EQ(CustomPainter()->DefaultColor38(), CustomPainter()->DefaultColor41());
    EXPECT_TRUE(Office11Painter()->HotTrackedButtons());
    EXPECT_EQ(Office11Painter()->MinScrollThumbSize(true), 8);
}

TEST(Painters, ContactSheetIsSavedToLookAt) {
    Application();
    std::vector<std::pair<std::string, TlfPainterClass>> painters;
    for (const TNamedPainter& p : Painters()) painters.emplace_back(p.Name, p.Painter);
    const std::string path = std::string(TW_FIXTURE_DIR) + "/../../artifacts/navbar/painters-sheet.png";
    SaveContactSheet(painters, path);
    EXPECT_TRUE(std::filesystem::exists(path));
}

}  // namespace
