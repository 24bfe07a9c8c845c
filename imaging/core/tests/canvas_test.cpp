// TIECanvas with and without the vector library, its pen and brush, the
// library's user count, and the text boxes and frames drawn with it.
#include <gtest/gtest.h>

#include "imaging/core/ie_canvas.h"
#include "imaging/core/ie_render.h"

namespace {

TBitmap White(int32_t width, int32_t height) {
    TBitmap bitmap;
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    bitmap.SetSize(width, height);
    TCanvas canvas(bitmap);
    canvas.Brush.Color = clWhite;
    canvas.FillRect(TRect{0, 0, width, height});
    return bitmap;
}

// Inclusive box of the pixels that are not white; Left > Right when none.
TRect InkBox(TBitmap& bitmap, int32_t* count = nullptr) {
    TCanvas canvas(bitmap);
    TRect box{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
    int32_t n = 0;
    for (int32_t y = 0; y < bitmap.Height(); ++y)
        for (int32_t x = 0; x < bitmap.Width(); ++x)
            if (canvas.GetPixel(x, y) != clWhite) {
                ++n;
                box = TRect{std::min(box.Left, x), std::min(box.Top, y), std::max(box.Right, x), std::max(box.Bottom, y)};
            }
    if (count) *count = n;
    return box;
}

// Keeps the library bound for one test.
struct TBound {
    TBound() { IEGDIPLoadLibrary(); }
    ~TBound() { IEGDIPUnloadLibrary(); }
};

}  // namespace

TEST(IECanvasTest, TheLibraryStaysBoundWhileAnyUserHoldsIt) {
    ASSERT_FALSE(IEGDIPLoaded());
    TBitmap bitmap = White(4, 4);
    TCanvas canvas(bitmap);
    EXPECT_FALSE(TIECanvas(canvas, true, true).UsingGDIPlus());
    IEGDIPLoadLibrary();
    IEGDIPLoadLibrary();
    IEGDIPUnloadLibrary();
    EXPECT_TRUE(IEGDIPLoaded());
    EXPECT_TRUE(TIECanvas(canvas, true, true).UsingGDIPlus());
    EXPECT_FALSE(TIECanvas(canvas, true, false).UsingGDIPlus());
    IEGDIPSwitch = false;
    EXPECT_FALSE(TIECanvas(canvas, true, true).UsingGDIPlus());
    IEGDIPSwitch = true;
    IEGDIPUnloadLibrary();
    EXPECT_FALSE(IEGDIPLoaded());
    IEGDIPUnloadLibrary();  // one too many changes nothing
    EXPECT_FALSE(IEGDIPLoaded());
}

TEST(IECanvasTest, RectangleOfTheLibraryCoversWhatFillRectCovers) {
    TBound bound;
    for (bool antialias : {true, false}) {
        TBitmap outline = White(16, 16), filled = White(16, 16);
        TCanvas a(outline), b(filled);
        TIECanvas first(a, antialias), second(b, antialias);
        first.Brush.SetStyle(bsClear);
        first.Rectangle(0, 0, 10, 10);
        second.Brush.SetColor(0);
        second.FillRect(TRect{0, 0, 10, 10});
        int32_t ring = 0, fill = 0;
        EXPECT_EQ(InkBox(outline, &ring), (TRect{0, 0, 9, 9}));
        EXPECT_EQ(InkBox(filled, &fill), (TRect{0, 0, 9, 9}));
        EXPECT_EQ(ring, 36);
        EXPECT_EQ(fill, 100);
    }
}

TEST(IECanvasTest, AClearPenDrawsNothingInBothBackEndsUntilMadeSolidAgain) {
    TBound bound;
    for (bool library : {true, false}) {
        TBitmap bitmap = White(20, 20);
        TCanvas canvas(bitmap);
        TIECanvas ie(canvas, true, library);
        ASSERT_EQ(ie.UsingGDIPlus(), library);
        ie.Pen.SetStyle(psClear);
        ie.MoveTo(1, 1);
        ie.LineTo(18, 18);
        ie.DrawLine(1, 18, 18, 1);
        int32_t count = 0;
        InkBox(bitmap, &count);
        EXPECT_EQ(count, 0);
        ie.Pen.SetStyle(psSolid);
        ie.Pen.SetTransparency(255);
        ie.MoveTo(1, 1);
        ie.LineTo(18, 1);
        InkBox(bitmap, &count);
        EXPECT_GE(count, 17);
    }
}

TEST(IECanvasTest, HatchOverATransparentBackAndArcsOfBothBackEnds) {
    TBound bound;
    TBitmap bitmap = White(24, 24);
    TCanvas canvas(bitmap);
    canvas.Brush.Color = 0x00FF00;
    canvas.FillRect(TRect{0, 0, 24, 24});
    TIECanvas ie(canvas, false);
    ie.Brush.SetStyle(bsCross);
    ie.Brush.SetColor(0);
    ie.Brush.BackTransparency = 0;
    ie.FillRect(TRect{0, 0, 24, 24});
    EXPECT_EQ(canvas.GetPixel(0, 0), 0);      // on a line of the cross
    EXPECT_EQ(canvas.GetPixel(3, 3), 0x00FF00);  // the back colour is invisible

    // The toolkit's arc from the right to the top is the upper right quarter.
    for (bool library : {true, false}) {
        TBitmap arc = White(22, 22);
        TCanvas c(arc);
        TIECanvas a(c, false, library);
        a.Arc(0, 0, 21, 21, 21, 10, 10, 0);
        const TRect box = InkBox(arc);
        EXPECT_GE(box.Left, 9) << library;
        EXPECT_LE(box.Bottom, 11) << library;
        EXPECT_GE(box.Right, 19) << library;
        EXPECT_LE(box.Top, 1) << library;
    }
}

TEST(IECanvasTest, RoundRectAndPolygonStayInsideTheirBoxes) {
    TBound bound;
    for (bool library : {true, false}) {
        TBitmap bitmap = White(30, 30);
        TCanvas canvas(bitmap);
        TIECanvas ie(canvas, true, library);
        ie.Brush.SetColor(0x0000FF);
        ie.RoundRect(2, 2, 20, 16, 8, 8);
        const TRect box = InkBox(bitmap);
        EXPECT_GE(box.Left, 1);
        EXPECT_LE(box.Right, 20);
        EXPECT_EQ(canvas.GetPixel(10, 9), 0x0000FF);
        EXPECT_EQ(canvas.GetPixel(2, 2), clWhite);  // the corner is cut
        ie.Polygon({TPoint{22, 22}, TPoint{28, 22}, TPoint{25, 28}});
        EXPECT_EQ(canvas.GetPixel(25, 24), 0x0000FF);
    }
}

TEST(IECanvasTest, FramesTextBoxesAndHintBoxes) {
    TBitmap bitmap = White(200, 100);
    TCanvas canvas(bitmap);
    IEDraw3DFrame(canvas, 10, 10, 20, 20, 0x0000FF, 0xFF0000);
    EXPECT_EQ(canvas.GetPixel(10, 15), 0x0000FF);  // left
    EXPECT_EQ(canvas.GetPixel(15, 10), 0x0000FF);  // top
    EXPECT_EQ(canvas.GetPixel(15, 20), 0xFF0000);  // bottom
    EXPECT_EQ(canvas.GetPixel(20, 15), 0xFF0000);  // right
    EXPECT_EQ(canvas.GetPixel(20, 10), clWhite);   // both lines stop short of it

    // A text box asked for beyond the limits is moved inside them.
    TCanvasFont font;
    font.Name = "DejaVu Sans";
    font.Height = -12;
    TCanvasBrush brush{0xE0E0E0, BS_SOLID, 0};
    TBitmap save;
    int32_t x = 190, y = -5;
    IEDrawTextBox(canvas, x, y, "Zoom 100%", font, brush, save, 200, 100, clWhite, 0);
    const int32_t w = canvas.TextWidth("Zoom 100%") + 12;
    EXPECT_EQ(x, 200 - w - 1);
    EXPECT_EQ(y, 0);
    EXPECT_EQ(save.Width(), w);
    EXPECT_EQ(TCanvas(save).GetPixel(7, 7), clWhite);  // what was there before
    EXPECT_EQ(canvas.GetPixel(x + 8, y + canvas.TextHeight("Z") + 10), 0xE0E0E0);

    // The hint box blends its yellow at half strength.
    TBitmap hint = White(120, 60);
    TCanvas hintCanvas(hint);
    {
        TBound bound;
        int32_t hx = -10, hy = 3;
        IEDrawHintBox(hintCanvas, hx, hy, "Hint", "Wider text");
        EXPECT_EQ(hx, 0);
        const TColor inside = hintCanvas.GetPixel(8, 12);
        EXPECT_EQ(RedOf(inside), 255);
        EXPECT_NEAR(BlueOf(inside), (255 + 0x60) / 2, 1);
        EXPECT_EQ(hintCanvas.GetPixel(6, 12), clWhite);  // the frame's left side
    }
}
