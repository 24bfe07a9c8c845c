// The image view in a window of the headless toolkit: painting at any zoom
// and what a repaint copies, the selections and their combinations, the
// mouse and wheel in each interaction mode, layer grips, the private
// messages from worker threads, the cursors and the overview link.
#include <gtest/gtest.h>

#include <cairo.h>

#include <cstring>
#include <filesystem>
#include <set>
#include <thread>

#include "imaging/core/ie_proc.h"
#include "imaging/core/ie_view.h"
#include "imaging/core/ie_view_services.h"
#include "imaging/core/ie_window_helpers.h"
#include "imaging/core/tests/mask_rows.h"
#include "imaging/core/tests/view_window.h"
#include "platform/ui/application.h"

namespace {

// The left half of the picture red, and a 20 x 20 lens of layer 0's pixels
// at (20, 10).
TIELayer& AddLens(TViewWindow& m) {
    TIEBitmap& image = *m.view.GetIEBitmap();
    for (int32_t y = 0; y < image.GetHeight(); ++y)
        for (int32_t x = 0; x < image.GetWidth() / 2; ++x) image.GetPixelTRGBPtr(x, y)[2] = 255;
    m.view.LayersAdd();
    TIELayer& lens = *m.view.GetCurrentLayer();
    lens.GetBitmap()->Allocate(20, 20, ie24RGB);
    lens.PosX = 20, lens.PosY = 10;
    lens.Magnify = true;
    lens.MagnifySource = 0;
    return lens;
}

}  // namespace

TEST(ViewPainting, ALargeImageShowsItsMarkedPixelAtEveryZoom) {
    TViewWindow w(400, 300, 4000, 3000);
    // A red 20 x 20 block at (2500, 1800), a blue pixel column at x = 2520.
    TIEBitmap& image = *w.view.GetIEBitmap();
    for (int32_t y = 1800; y < 1820; ++y)
        for (int32_t x = 2500; x < 2520; ++x) image.GetPixelTRGBPtr(x, y)[2] = 255, image.GetPixelTRGBPtr(x, y)[0] = 0;
    w.view.Update();
    for (double zoom : {10.0, 100.0, 333.0}) {
        w.view.SetZoom(zoom);
        w.view.SetViewXY(static_cast<int32_t>(2500 * zoom / 100) - 100, static_cast<int32_t>(1800 * zoom / 100) - 100);
        w.Paint();
        const int32_t cx = w.view.BitmapToViewX(2505), cy = w.view.BitmapToViewY(1805);
        ASSERT_GE(cx, 0);
        ASSERT_LT(cx, 400);
        EXPECT_EQ(w.Pixel(cx, cy), 0x0080FFu) << zoom;  // the mark
        EXPECT_EQ(w.Pixel(w.view.BitmapToViewX(2480), w.view.BitmapToViewY(1805)), 0x808080u) << zoom;  // left of it
        EXPECT_EQ(w.Pixel(cx, w.view.BitmapToViewY(1830)), 0x808080u) << zoom;                          // below it
    }
    // At 333 % one bitmap pixel covers three or four client pixels.
    EXPECT_GE(w.view.BitmapToViewX(2501) - w.view.BitmapToViewX(2500), 3);
}

TEST(ViewPainting, ARepaintCopiesOnlyTheDirtyPartAndDrawsVersionAndHint) {
    TViewWindow w(200, 150, 300, 200);
    EXPECT_EQ(w.view.LastBlitRect(), (TRect{0, 0, 200, 150}));
    // Scribble on the surface; an uncovered part repaints only itself.
    w.Surface().ScanLine(5)[4 * 5] = 1;
    w.Surface().ScanLine(100)[4 * 100] = 1;
    w.view.InvalidateRect({90, 90, 110, 110});
    Application().ProcessMessages();
    EXPECT_FALSE(w.view.BackBufferDirty());
    EXPECT_EQ(w.view.LastBlitRect(), (TRect{90, 90, 20, 20}));
    EXPECT_EQ(w.Surface().ScanLine(5)[4 * 5], 1);      // outside: untouched
    EXPECT_EQ(w.Surface().ScanLine(100)[4 * 100], 128);  // inside: the image again

    const uint32_t before = w.Pixel(12, 8);
    w.view.SetDrawVersion(true);
    w.Paint();
    int changed = 0;
    for (int32_t y = 2; y < 16; ++y)
        for (int32_t x = 2; x < 60; ++x) changed += w.Pixel(x, y) != 0x808080u;
    EXPECT_GT(changed, 20);
    w.view.SetDrawVersion(false);
    w.Paint();
    EXPECT_EQ(w.Pixel(12, 8), before);

    w.view.HintText = "X=10 Y=20";
    w.view.HintSample = "X=000 Y=000";
    w.view.HintX = 60, w.view.HintY = 60;
    w.Paint();
    changed = 0;
    for (int32_t y = 60; y < 100; ++y)
        for (int32_t x = 60; x < 160; ++x) changed += w.Pixel(x, y) != 0x808080u;
    EXPECT_GT(changed, 100);
    w.view.EnableInteractionHints = false;
    w.Paint();
    changed = 0;
    for (int32_t y = 60; y < 100; ++y)
        for (int32_t x = 60; x < 160; ++x) changed += w.Pixel(x, y) != 0x808080u;
    EXPECT_EQ(changed, 0);
}

TEST(ViewPainting, ChessboardBackgroundAndAMagnifyingLayer) {
    TViewWindow w(200, 150, 50, 40);
    w.view.SetBackground(clWhite);
    w.view.SetBackgroundStyle(iebsChessboard);
    w.Paint();
    EXPECT_EQ(w.Pixel(0, 0), 0xFFFFFFu);
    EXPECT_EQ(w.Pixel(16, 0), 0x000000u);
    EXPECT_EQ(w.Pixel(16, 16), 0xFFFFFFu);

    // A 20 x 20 lens at rate 2 over a picture whose left half is red shows
    // the 10 x 10 under its centre enlarged: red on its left, gray right.
    TViewWindow m(200, 150, 60, 40);
    AddLens(m);
    m.view.Update();
    m.Paint();
    const int32_t ox = m.view.OffsetX(), oy = m.view.OffsetY();
    EXPECT_EQ(m.Pixel(ox + 22, oy + 20), 0x8080FFu);  // red over gray
    EXPECT_EQ(m.Pixel(ox + 38, oy + 20), 0x808080u);
    EXPECT_EQ(m.Pixel(ox + 29, oy + 20), 0x8080FFu);  // x 25..29 under the lens: red up to 30
    EXPECT_EQ(m.Pixel(ox + 31, oy + 20), 0x808080u);
}

// The lens over layer 0 enlarges through the zoom filter: with none it
// holds only the two colours under it, with a triangle filter the red edge
// is blended across.
TEST(ViewPainting, TheMagnifierEnlargesThroughTheZoomFilter) {
    for (TResampleFilter filter : {rfNone, rfTriangle}) {
        TViewWindow m(200, 150, 60, 40);
        TIELayer& lens = AddLens(m);
        m.view.SetZoomFilter(filter);
        m.view.SetZoom(200);
        m.view.Update();
        m.Paint();
        std::set<int> reds;
        for (int32_t x = 0; x < 20; ++x) reds.insert(lens.GetBitmap()->GetPixelTRGBPtr(x, 10)[2]);
        if (filter == rfNone) EXPECT_EQ(reds, (std::set<int>{0x80, 0xFF}));
        else EXPECT_GT(reds.size(), 2u);
    }
}

TEST(ViewSelections, RectangleEllipsePolygonAndTheirCombinations) {
    TViewWindow w(200, 150, 12, 8);
    TVidurErView& v = w.view;
    v.SelectionBase = iesbBitmap;
    v.Select(10, 10, 10, 50, 0);  // no width: nothing
    EXPECT_FALSE(v.HasSelection());
    v.Select(-5, -5, 4, 3, 0);
    EXPECT_EQ(v.SelX1(), 0);
    EXPECT_EQ(v.SelX2(), 3);
    EXPECT_EQ(v.SelY2(), 2);
    v.Select(6, 2, 10, 6, 1);  // add
    v.Select(2, 1, 8, 4, 2);   // subtract
    EXPECT_EQ(MaskRows(*v.GetSelectionMask()),
              (std::vector<std::string>{"xxxx--------", "xx----------", "xx------xx--", "--------xx--",
                                        "------xxxx--", "------xxxx--", "------------", "------------"}));
    v.Select(0, 0, 7, 8, 3);  // intersect
    EXPECT_EQ(MaskRows(*v.GetSelectionMask()),
              (std::vector<std::string>{"xxxx--------", "xx----------", "xx----------", "------------",
                                        "------x-----", "------x-----", "------------", "------------"}));

    v.SelectEllipse(0, 0, 12, 8, 0);
    TIEMask& mask = *v.GetSelectionMask();
    EXPECT_TRUE(mask.GetPixel(6, 4));
    EXPECT_FALSE(mask.GetPixel(0, 0));
    EXPECT_FALSE(mask.GetPixel(11, 7));
    EXPECT_TRUE(mask.GetPixel(0, 4));

    v.ClearSelection();
    v.AddSelPoint(0, 0);
    v.AddSelPoint(8, 0);
    v.AddSelPoint(0, 8);
    v.EndSelect();
    EXPECT_TRUE(mask.GetPixel(1, 1));
    EXPECT_FALSE(mask.GetPixel(7, 7));
    v.ClearSelection();
    EXPECT_FALSE(v.HasSelection());
    EXPECT_TRUE(mask.IsEmpty());
}

TEST(ViewSelections, MagicWandModesLimitProcessingAndUndo) {
    TViewWindow w(200, 150, 10, 6);
    TVidurErView& v = w.view;
    TIEBitmap& image = *v.GetIEBitmap();
    image.Fill(0xFFFFFF);
    // Two dark squares of near colours, apart.
    for (int32_t y = 1; y < 4; ++y)
        for (int32_t x = 1; x < 4; ++x) {
            uint8_t* a = image.GetPixelTRGBPtr(x, y);
            uint8_t* b = image.GetPixelTRGBPtr(x + 5, y);
            a[0] = a[1] = a[2] = 40;
            b[0] = 40, b[1] = 45, b[2] = 50;
        }
    v.SelectionBase = iesbBitmap;
    const std::vector<std::string> left{"----------", "-xxx------", "-xxx------", "-xxx------",
                                        "----------", "----------"};
    const std::vector<std::string> both{"----------", "-xxx--xxx-", "-xxx--xxx-", "-xxx--xxx-",
                                        "----------", "----------"};
    for (int mode : {0, 1}) {
        v.MagicWandMode = mode;
        v.MagicWandTolerance = 15;
        v.SelectMagicWand(2, 2, false);
        EXPECT_EQ(MaskRows(*v.GetSelectionMask()), left) << mode;
    }
    v.MagicWandMode = 2;
    v.SelectMagicWand(2, 2, false);
    EXPECT_EQ(MaskRows(*v.GetSelectionMask()), both);
    v.MagicWandTolerance = 5;
    v.SelectMagicWand(2, 2, false);
    EXPECT_EQ(MaskRows(*v.GetSelectionMask()), left);
    v.MagicWandMode = 0;
    v.SelectMagicWand(7, 2, true);  // add the other square
    EXPECT_EQ(MaskRows(*v.GetSelectionMask()), both);
    v.SelectMagicWand(20, 2, false);  // outside: nothing changes
    EXPECT_EQ(MaskRows(*v.GetSelectionMask()), both);

    // The selection limits processing; undo brings the previous selection.
    TVidurErProc& proc = *v.GetVidurErProc();
    proc.AutoUndo = false;
    proc.Fill({0, 0, 255});
    EXPECT_EQ(image.GetPixelRGB(2, 2), (TRGB{0, 0, 255}));
    EXPECT_EQ(image.GetPixelRGB(6, 2), (TRGB{0, 0, 255}));
    EXPECT_EQ(image.GetPixelRGB(0, 0), (TRGB{255, 255, 255}));
    EXPECT_EQ(image.GetPixelRGB(4, 2), (TRGB{255, 255, 255}));
    proc.SaveUndo(ieuSelection);
    v.Select(0, 0, 2, 2, 0);
    EXPECT_EQ(CountSet(*v.GetSelectionMask()), 4);
    proc.Undo();
    EXPECT_EQ(MaskRows(*v.GetSelectionMask()), both);
    EXPECT_TRUE(v.HasSelection());
}

TEST(ViewInteraction, ModesAndTheirCompatibilityRules) {
    TViewWindow w(200, 150, 100, 80);
    TVidurErView& v = w.view;
    struct Case {
        TIEMouseInteract from, set, expected;
    };
    const Case cases[] = {
        {0, IEMI(miZoom) | IEMI(miSelectPolygon), IEMI(miSelectPolygon)},
        {IEMI(miSelectPolygon), IEMI(miSelectPolygon) | IEMI(miZoom), IEMI(miZoom)},
        {0, IEMI(miMoveLayers) | IEMI(miResizeLayers) | IEMI(miRotateLayers), IEMI(miMoveLayers) | IEMI(miRotateLayers)},
        {0, IEMI(miMoveLayers) | IEMI(miResizeLayers), IEMI(miMoveLayers) | IEMI(miResizeLayers)},
        {0, IEMI(miScroll) | IEMI(miSelect) | IEMI(miZoom), IEMI(miScroll) | IEMI(miZoom)},
        {0, IEMI(miSelectMagicWand) | IEMI(miSelectLasso), IEMI(miSelectLasso)},
    };
    for (const Case& c : cases) {
        v.SetMouseInteract(c.from);
        v.SetMouseInteract(c.set);
        EXPECT_EQ(v.MouseInteract(), c.expected) << c.from << " + " << c.set;
    }

    // No modes: a click does nothing, the wheel zooms.
    v.SetMouseInteract(0);
    w.Click(50, 50);
    EXPECT_EQ(v.Zoom(), 100);
    w.Wheel(50, 50, 120);
    EXPECT_EQ(v.Zoom(), 92);
    w.Wheel(50, 50, -120);
    EXPECT_EQ(v.Zoom(), 99);
    v.SetZoom(100);
    v.AutoFit = true;
    w.Wheel(50, 50, 120);
    EXPECT_EQ(v.Zoom(), 100);
    v.AutoFit = false;

    // miZoom: left click in, right click out, a handler may veto.
    v.SetMouseInteract(IEMI(miZoom));
    w.Click(50, 40);
    EXPECT_EQ(v.Zoom(), 200);
    w.Click(50, 40, WM_RBUTTONDOWN, WM_RBUTTONUP);
    EXPECT_EQ(v.Zoom(), 100);
    v.OnZoomIn = [](TVidurErView& view, double& zoom) { zoom = view.ZoomX(); };
    w.Click(50, 40);
    EXPECT_EQ(v.Zoom(), 100);
    v.OnZoomIn = nullptr;

    // miScroll: dragging moves the picture with the mouse.
    v.SetZoom(400);
    v.SetMouseInteract(IEMI(miScroll));
    const int32_t startX = v.ViewX(), startY = v.ViewY();
    w.Drag(100, 100, 70, 80);
    EXPECT_EQ(v.ViewX(), startX + 30);
    EXPECT_EQ(v.ViewY(), startY + 20);
    v.SetZoom(100);

    // miSelect: a drag selects a rectangle, a plain click clears it.
    v.SetMouseInteract(IEMI(miSelect));
    int changes = 0;
    v.OnSelectionChange = [&](TComponent*) { ++changes; };
    const int32_t ox = v.OffsetX(), oy = v.OffsetY();
    w.Drag(ox + 10, oy + 5, ox + 30, oy + 25);
    ASSERT_TRUE(v.HasSelection());
    EXPECT_EQ(v.SelX1(), 10);
    EXPECT_EQ(v.SelY1(), 5);
    EXPECT_EQ(v.SelX2(), 29);
    EXPECT_EQ(v.SelY2(), 24);
    EXPECT_EQ(changes, 1);
    // Dragging the bottom-right grip resizes it up to the pixel under the
    // mouse; a drag inside moves it.
    w.Drag(ox + 30, oy + 25, ox + 40, oy + 30);
    EXPECT_EQ(v.SelX2(), 40);
    EXPECT_EQ(v.SelY2(), 30);
    w.Drag(ox + 20, oy + 15, ox + 25, oy + 15);
    EXPECT_EQ(v.SelX1(), 15);
    EXPECT_EQ(v.SelX2(), 45);
    w.Click(ox + 80, oy + 70);
    EXPECT_FALSE(v.HasSelection());

    // miSelectLasso and miSelectCircle by drags; a polygon by clicks ended
    // with a double click.
    v.SetMouseInteract(IEMI(miSelectCircle));
    w.Drag(ox + 10, oy + 10, ox + 50, oy + 50);
    EXPECT_TRUE(v.GetSelectionMask()->GetPixel(30, 30));
    EXPECT_FALSE(v.GetSelectionMask()->GetPixel(11, 11));
    v.SetMouseInteract(IEMI(miSelectPolygon));
    w.Click(ox + 10, oy + 10);
    w.Click(ox + 60, oy + 10);
    w.Click(ox + 10, oy + 60);
    EXPECT_TRUE(v.PolygonSelecting());
    w.Mouse(WM_LBUTTONDBLCLK, ox + 10, oy + 60, MK_LBUTTON);
    w.Mouse(WM_LBUTTONUP, ox + 10, oy + 60);
    EXPECT_FALSE(v.PolygonSelecting());
    EXPECT_TRUE(v.GetSelectionMask()->GetPixel(20, 20));
    EXPECT_FALSE(v.GetSelectionMask()->GetPixel(50, 50));
    v.SetMouseInteract(IEMI(miSelectLasso));
    v.ClearSelection();  // a press inside a selection would move it
    w.Mouse(WM_LBUTTONDOWN, ox + 10, oy + 10, MK_LBUTTON);
    w.Mouse(WM_MOUSEMOVE, ox + 70, oy + 10, MK_LBUTTON);
    w.Mouse(WM_MOUSEMOVE, ox + 70, oy + 70, MK_LBUTTON);
    w.Mouse(WM_LBUTTONUP, ox + 10, oy + 70);
    EXPECT_TRUE(v.GetSelectionMask()->GetPixel(60, 20));
    EXPECT_FALSE(v.GetSelectionMask()->GetPixel(15, 60));
}

TEST(ViewInteraction, LayerGripsResizeAndMoveALayerWithItsCursors) {
    TViewWindow w(300, 200, 200, 150);
    TVidurErView& v = w.view;
    v.LayersAdd();
    TIELayer& layer = *v.GetCurrentLayer();
    layer.GetBitmap()->Allocate(40, 30, ie24RGB);
    layer.GetBitmap()->Fill(0x0000FF);
    layer.PosX = 20;
    layer.PosY = 10;
    v.SetMouseInteract(IEMI(miMoveLayers) | IEMI(miResizeLayers));
    int resized = 0;
    v.OnLayerNotify = [&](TVidurErView&, int32_t, TIELayerEvent event) { resized += event == ielResized; };
    v.Update();
    w.Paint();
    const TRect r = layer.ClientRect;
    // Over the bottom-right grip the grip cursor shows; dragging it resizes.
    w.Mouse(WM_MOUSEMOVE, r.Right, r.Bottom);
    EXPECT_EQ(v.Cursor(), crIEGripDiag1);
    w.Drag(r.Right, r.Bottom, r.Right + 20, r.Bottom + 10);
    EXPECT_EQ(layer.GetWidth(), 60);
    EXPECT_EQ(layer.GetHeight(), 40);
    EXPECT_EQ(resized, 1);
    w.Paint();
    // Inside the layer the move cursor; dragging moves it.
    w.Mouse(WM_MOUSEMOVE, layer.ClientRect.Left + 20, layer.ClientRect.Top + 20);
    EXPECT_EQ(v.Cursor(), crIEMove);
    w.Drag(layer.ClientRect.Left + 20, layer.ClientRect.Top + 20, layer.ClientRect.Left + 25, layer.ClientRect.Top + 22);
    EXPECT_EQ(layer.PosX, 25);
    EXPECT_EQ(layer.PosY, 12);
    // Over layer 0 (locked) nothing moves.
    w.Mouse(WM_MOUSEMOVE, v.OffsetX() + 150, v.OffsetY() + 120);
    EXPECT_EQ(v.Cursor(), crIEDefault);
}

TEST(ViewInteraction, SelectionCursorsFollowTheMouse) {
    TViewWindow w(200, 150, 100, 80);
    TVidurErView& v = w.view;
    v.SetMouseInteract(IEMI(miSelect));
    const int32_t ox = v.OffsetX(), oy = v.OffsetY();
    w.Drag(ox + 10, oy + 10, ox + 50, oy + 40);
    w.Mouse(WM_MOUSEMOVE, ox + 10, oy + 10);
    EXPECT_EQ(v.Cursor(), crIEGripDiag1);
    w.Mouse(WM_MOUSEMOVE, ox + 50, oy + 10);
    EXPECT_EQ(v.Cursor(), crIEGripDiag2);
    w.Mouse(WM_MOUSEMOVE, ox + 30, oy + 10);
    EXPECT_EQ(v.Cursor(), crIEGripVert);
    w.Mouse(WM_MOUSEMOVE, ox + 30, oy + 25);
    EXPECT_EQ(v.Cursor(), crIEMove);
    w.Mouse(WM_MOUSEMOVE, ox + 80, oy + 70, MK_SHIFT);
    EXPECT_EQ(v.Cursor(), crIEAdd);
    w.Mouse(WM_MOUSEMOVE, ox + 80, oy + 70);
    EXPECT_EQ(v.Cursor(), crIEDefault);
    // A view without an owner never changes its cursor for a moment.
    TVidurErView lone(nullptr);
    lone.SetTempCursor(crIEMove);
    EXPECT_EQ(lone.Cursor(), crIEDefault);
    lone.SetCursor(crIEHand);
    EXPECT_EQ(lone.Cursor(), crIEHand);
}

TEST(ViewMessages, PrivateMessagesFromAWorkerArriveOnTheWindowThread) {
    TViewWindow w(100, 80, 50, 40);
    TVidurErView& v = w.view;
    const std::thread::id windowThread = std::this_thread::get_id();
    std::vector<int32_t> progress;
    int finished = 0, frames = 0, events = 0;
    bool allOnWindowThread = true;
    v.SetOnProgress([&](void*, int32_t percent) {
        progress.push_back(percent);
        allOnWindowThread &= std::this_thread::get_id() == windowThread;
    });
    v.SetOnFinishWork([&] {
        ++finished;
        allOnWindowThread &= std::this_thread::get_id() == windowThread;
    });
    v.OnDShowNewFrame = [&](TVidurErView&) { ++frames; };
    v.OnDShowEvent = [&](TVidurErView&) { ++events; };
    struct TConnected : TIEDirectShow {
        bool Connected() const override { return true; }
    } video;
    v.GetIEBitmap()->Allocate(80, 60, ie24RGB);  // an Update must follow
    const HWND handle = v.Handle();
    std::thread worker([&] {
        Application().PostMessage(handle, IEM_PROGRESS, 40);
        Application().PostMessage(handle, IEM_PROGRESS, 90);
        Application().PostMessage(handle, IEM_UPDATE);
        Application().PostMessage(handle, IEM_NEWFRAME, 0, 0);  // no video object: ignored
        Application().PostMessage(handle, IEM_NEWFRAME, 0, reinterpret_cast<intptr_t>(&video));
        Application().PostMessage(handle, IEM_EVENT, 0, reinterpret_cast<intptr_t>(&video));
        Application().PostMessage(handle, IEM_FINISHWORK);
    });
    worker.join();
    EXPECT_TRUE(progress.empty());
    Application().ProcessMessages();
    EXPECT_EQ(progress, (std::vector<int32_t>{40, 90}));
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(frames, 1);
    EXPECT_EQ(events, 1);
    EXPECT_TRUE(allOnWindowThread);
    EXPECT_EQ(v.ImageWidth(), 80);
}

TEST(ViewOverview, TheOverviewFollowsTheViewAndScrollsIt) {
    TViewWindow w(100, 80, 400, 300);
    TVidurErView overview(&w.form);
    overview.SetBounds(110, 0, 40, 30);
    overview.SetParent(&w.form);
    w.view.SetOverview(&overview);
    EXPECT_EQ(overview.GetIEBitmap(), w.view.GetIEBitmap());
    EXPECT_EQ(overview.SelX1(), 0);
    EXPECT_EQ(overview.SelX2(), 99);
    w.view.SetViewXY(50, 30);
    EXPECT_EQ(overview.SelX1(), 50);
    EXPECT_EQ(overview.SelY1(), 30);
    overview.MoveSelectionBy(100, 0);
    if (overview.OnSelectionChanging) overview.OnSelectionChanging(&overview);
    EXPECT_EQ(w.view.ViewX(), 150);
    w.view.SetOverview(nullptr);
    EXPECT_NE(overview.GetIEBitmap(), w.view.GetIEBitmap());
}

// What a person sees: a zoomed picture with a layer in resize mode (box and
// grips), a rectangular selection with its grips and outline and the hint
// box, saved as build/*/artifacts/image-view/window.png to look at.
TEST(ViewPainting, AWindowAsAPersonSeesItIsSavedAsAPicture) {
    TViewWindow w(480, 360, 320, 240);
    TVidurErView& v = w.view;
    TIEBitmap& image = *v.GetIEBitmap();
    for (int32_t y = 0; y < 240; ++y)
        for (int32_t x = 0; x < 320; ++x) {
            uint8_t* p = image.GetPixelTRGBPtr(x, y);
            p[0] = static_cast<uint8_t>(x * 255 / 319);
            p[1] = static_cast<uint8_t>(y * 255 / 239);
            p[2] = static_cast<uint8_t>(((x / 20 + y / 20) % 2) * 120 + 60);
        }
    v.SetBackground(0x404040);
    v.SetBackgroundStyle(iebsChessboard);
    v.SetZoom(125);
    v.LayersAdd();
    TIELayer& layer = *v.GetCurrentLayer();
    layer.GetBitmap()->Allocate(80, 60, ie24RGB);
    layer.GetBitmap()->Fill(0x2080F0);
    layer.PosX = 180;
    layer.PosY = 40;
    v.SetMouseInteract(IEMI(miMoveLayers) | IEMI(miResizeLayers));
    v.SetLayersCurrent(0);
    v.SelectionBase = iesbBitmap;
    v.Select(30, 100, 150, 200, 0);
    // Another layer takes the selection at the same place of the picture.
    v.SetLayersCurrent(1);
    EXPECT_FALSE(v.HasSelection());  // the layer lies outside it
    v.SetLayersCurrent(0);
    v.Select(190, 50, 200, 60, 0);
    v.SetLayersCurrent(1);
    EXPECT_EQ(v.SelX1(), 10);
    EXPECT_EQ(v.SelY2(), 19);
    v.SetLayersCurrent(0);
    EXPECT_EQ(v.SelX1(), 190);
    EXPECT_EQ(v.SelY2(), 59);
    v.ShowAllLayerBoxes = true;
    v.SetLayersCurrent(1);
    v.Select(10, 10, 60, 45, 0);
    v.HintText = "80 x 60";
    v.HintSample = "0000 x 0000";
    v.HintX = 300, v.HintY = 250;
    v.Update();
    for (int i = 0; i < 3; ++i) w.Paint();  // the outline waits two paints after a zoom
    TBitmap& surface = w.Surface();
    cairo_surface_t* png = cairo_image_surface_create(CAIRO_FORMAT_RGB24, surface.Width(), surface.Height());
    for (int32_t y = 0; y < surface.Height(); ++y)
        std::memcpy(cairo_image_surface_get_data(png) + static_cast<ptrdiff_t>(y) * cairo_image_surface_get_stride(png),
                    surface.ScanLine(y), static_cast<size_t>(surface.Width()) * 4);
    cairo_surface_mark_dirty(png);
    const std::filesystem::path folder = std::filesystem::path(TW_ARTIFACT_DIR) / "image-view";
    std::filesystem::create_directories(folder);
    EXPECT_EQ(cairo_surface_write_to_png(png, (folder / "window.png").c_str()), CAIRO_STATUS_SUCCESS);
    cairo_surface_destroy(png);
    // The layer's box is drawn inverted, its grips filled.
    const TRect r = layer.ClientRect;
    EXPECT_EQ(w.Pixel(r.Right, r.Bottom), 0xBAFFFFu);  // LayerGripBrushColor
}

TEST(ViewWindowHelpers, ScrollBarCallsAndCentring) {
    TViewWindow w(100, 80, 50, 40);
    TCustomControl& form = w.form;
    IESetScrollRange(form, SB_HORZ, 0, 500, false, true);
    IESetScrollPage(form, SB_HORZ, 100, false, false);
    IESetScrollPos(form, SB_HORZ, 450, true, false);
    EXPECT_EQ(form.GetScrollInfo(SB_HORZ).Max, 500);
    EXPECT_EQ(form.GetScrollInfo(SB_HORZ).Page, 100);
    EXPECT_EQ(form.GetScrollInfo(SB_HORZ).Position, 401);  // the page's last position
    EXPECT_EQ(IEFindHandle(&w.view), &w.view);
    form.SetBounds(0, 0, 200, 100);
    IECenterWindow(form);  // on the headless 1024 x 768 screen
    EXPECT_EQ(form.Left(), 412);
    EXPECT_EQ(form.Top(), 222);
}
