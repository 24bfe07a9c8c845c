// The painters on Qt's offscreen plugin, where visual styles are on: the
// themed painter draws scroll-bar parts, buttons and headers with Qt's
// style and takes the classic drawing where a class has no counterpart;
// the Office 2003 painter's scroll bar is the themed one. The contact sheet
// of every painter in this look is saved to look at.
#include <gtest/gtest.h>

#include "navbar/lf_painters.h"
#include "navbar/lf_scrollbar.h"
#include "navbar/lf_theme.h"
#include "navbar/tests/lf_painter_sheet.h"
#include "platform/ui/qt/qt_testing.h"

using namespace painter_sheet;

namespace {

const TElement& ElementNamed(const std::vector<TElement>& elements, const std::string& name) {
    for (const TElement& e : elements)
        if (name == e.Name) return e;
    throw std::runtime_error("no element " + name);
}

TEST(ThemedPainters, ThemedPartsComeFromTheStyleAndMissingClassesFallBack) {
    ASSERT_TRUE(QtTesting::Running());
    ASSERT_TRUE(VisualStylesActive(totScrollBar));
    const std::vector<TElement> elements = Elements();
    for (const char* name : {"ScrollUp", "Thumb", "Track", "Button", "HeaderCell", "CheckBox"}) {
        SCOPED_TRACE(name);
        const TElement& e = ElementNamed(elements, name);
        const TBitmap themed = DrawElement(WinXPPainter(), e, esNormal);
        EXPECT_EQ(Outside(themed, e), 0);
        EXPECT_GT(Inked(themed), 0);
        EXPECT_FALSE(SamePixels(themed, DrawElement(StandardPainter(), e, esNormal)));
    }
    // Qt has no explorer bar: the caption expand button is the classic one.
    const TElement& caption = ElementNamed(elements, "CaptionExpand");
    EXPECT_TRUE(SamePixels(DrawElement(WinXPPainter(), caption, esNormal), DrawElement(StandardPainter(), caption, esNormal)));
    // The Office 2003 scroll bar is the themed one while styles are on.
    for (const char* name : {"ScrollUp", "ScrollRight", "Thumb", "ThumbH", "Track"}) {
        const TElement& e = ElementNamed(elements, name);
        for (TlfElementState s : {esNormal, esHot, esPressed})
            EXPECT_TRUE(SamePixels(DrawElement(Office11Painter(), e, s), DrawElement(WinXPPainter(), e, s))) << name;
    }
    // A themed thumb is painted even when disabled; the arrow's hot state
    // shows.
    EXPECT_GT(Inked(DrawElement(WinXPPainter(), ElementNamed(elements, "Thumb"), esDisabled)), 0);
    // The themed painter has no metrics from the style: the thumb's least
    // length is 8.
    EXPECT_EQ(WinXPPainter()->MinScrollThumbSize(true), 8);
}

TEST(ThemedPainters, ALookAndFeelWithNativeStyleChoosesTheThemedPainter) {
    TlfScrollBar bar(nullptr);
    bar.LookAndFeel().SetNativeStyle(true);
    EXPECT_EQ(bar.Painter(), WinXPPainter());
    bar.LookAndFeel().SetNativeStyle(false);
    bar.LookAndFeel().SetKind(lfOffice11);
    EXPECT_EQ(bar.Painter(), Office11Painter());
    bar.SetPosition(40);
    bar.PaintToBitmap();
    TlfScrollBar themed(nullptr);
    themed.LookAndFeel().SetNativeStyle(true);
    themed.SetPosition(40);
    themed.PaintToBitmap();
    EXPECT_TRUE(SamePixels(bar.Bitmap(), themed.Bitmap()));
}

TEST(ThemedPainters, ContactSheetIsSavedToLookAt) {
    QtTesting::ChangePalette(RGBColor(0xEF, 0xEF, 0xEF));  // the style's own face, whatever tests before set
    QtTesting::ProcessEvents(50);
    SaveContactSheet({{"themed", WinXPPainter()}, {"office2003", Office11Painter()}, {"standard", StandardPainter()}},
                     std::string(TW_ARTIFACT_DIR) + "/painters-themed-sheet.png");
}

}  // namespace
