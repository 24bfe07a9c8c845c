// Zoom, fit, scrolling limits and the client/bitmap conversions of the image
// view, laid out in a window of the headless toolkit.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "imaging/core/ie_proc.h"
#include "imaging/core/ie_view.h"
#include "platform/ui/application.h"

namespace {

// A top-level window holding one view.
struct TViewWindow {
    TCustomControl form{nullptr};
    TVidurErView view{nullptr};
    int viewChanges = 0;

    TViewWindow(int32_t width, int32_t height, TBorderStyle border, TScrollStyle bars, int32_t imageWidth,
                int32_t imageHeight) {
        form.SetBounds(0, 0, 1200, 900);
        form.Handle();
        view.SetBorderStyle(border);
        view.SetScrollBars(bars);
        view.SetBounds(0, 0, width, height);
        view.GetIEBitmap()->Allocate(imageWidth, imageHeight, ie24RGB);
        view.SetParent(&form);
        view.OnViewChange = [this](TVidurErView&, int32_t) { ++viewChanges; };
        view.Update();
    }
};

}  // namespace

TEST(ViewGeometry, NewViewDefaultsAndAnOffScreenViewThatNeverLaysOut) {
    TVidurErView view(nullptr);
    EXPECT_EQ(view.Width(), 105);
    EXPECT_EQ(view.Height(), 105);
    EXPECT_EQ(view.Zoom(), 100);
    EXPECT_EQ(view.ScrollBars(), ssBoth);
    EXPECT_EQ(view.Cursor(), 1785);
    EXPECT_EQ(view.ZoomFilter(), rfNone);
    EXPECT_EQ(view.DpiX(), 300);
    EXPECT_EQ(view.GetLayersCount(), 1);
    EXPECT_EQ(view.GetIEBitmap()->GetLocation(), ieTBitmap);
    EXPECT_EQ(view.VidurErVersion(), "3.0.0");
    EXPECT_EQ(view.GetViewAreaWidth(), 50);  // no parent window
    view.SetBackground(clWhite);
    view.Clear();
    EXPECT_EQ(view.GetIEBitmap()->GetWidth(), 1);
    EXPECT_TRUE(view.IsImageEmpty());
    EXPECT_EQ(view.GetIEBitmap()->GetPixelRGB(0, 0), (TRGB{255, 255, 255}));
    view.GetIEBitmap()->Allocate(2, 1, ie24RGB);
    EXPECT_FALSE(view.IsImageEmpty());
    EXPECT_FALSE(view.HandleAllocated());
    view.SetDPI(0, 72);
    EXPECT_EQ(view.DpiX(), 300);
    EXPECT_EQ(view.DpiY(), 72);
}

TEST(ViewGeometry, FitZoomScrollLimitsAndConversionsInOneTable) {
    struct Case {
        const char* what;
        int32_t viewWidth, viewHeight;
        TBorderStyle border;
        TScrollStyle bars;
        int32_t imageWidth, imageHeight;
        bool autoFit;
        double zoom;  // set after layout unless 0
        double expectedZoom;
        int32_t expectedMaxX, expectedMaxY;  // -1: not checked
        int32_t expectedOffsetX, expectedOffsetY;  // -1: not checked
    };
    const Case cases[] = {
        {"a wide image fits by its width", 400, 300, bsNone, ssBoth, 4000, 1000, true, 0, 10, 0, 0, 0, 100},
        {"a 1 x 1 image stays at 100", 400, 300, bsNone, ssBoth, 1, 1, true, 0, 100, 0, 0, 199, 149},
        {"the zoom never drops below 1", 400, 300, bsNone, ssBoth, 100000, 10, true, 0, 1, -1, -1, -1, -1},
        {"at 100 the bars take their room and one more pixel scrolls", 400, 300, bsNone, ssBoth, 4000, 1000, false, 0,
         100, 4001 - 383, 1001 - 283, 0, 0},
        {"10 pixels wider than the view: no extra pixel", 400, 300, bsNone, ssHorizontal, 410, 283, false, 0, 100, 10,
         -1, 0, 0},
        {"11 pixels wider: one extra pixel", 400, 300, bsNone, ssHorizontal, 411, 283, false, 0, 100, 12, -1, 0, 0},
        {"without bars the view still scrolls to its limits", 400, 300, bsNone, ssNone, 1000, 800, false, 0, 100, 600,
         500, 0, 0},
        {"a border and a 3-D edge take 2 pixels a side", 400, 300, bsSingle, ssBoth, 4000, 1000, true, 0, 9.9, 0, 0,
         -1, -1},
        {"zoom 250", 400, 300, bsNone, ssBoth, 1000, 800, false, 250, 250, -1, -1, 0, 0},
        {"zoom 33", 400, 300, bsNone, ssBoth, 1000, 800, false, 33, 33, -1, -1, -1, -1},
        {"zoom 400", 400, 300, bsNone, ssBoth, 1000, 800, false, 400, 400, -1, -1, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TViewWindow window(c.viewWidth, c.viewHeight, c.border, c.bars, c.imageWidth, c.imageHeight);
        TVidurErView& view = window.view;
        ASSERT_TRUE(view.HandleAllocated());
        view.AutoFit = c.autoFit;
        view.Update();
        if (c.zoom > 0) view.SetZoom(c.zoom);
        EXPECT_NEAR(view.Zoom(), c.expectedZoom, 1e-9);
        int32_t maxX, maxY;
        view.GetMaxViewXY(maxX, maxY);
        if (c.expectedMaxX >= 0) { EXPECT_EQ(maxX, c.expectedMaxX); }
        if (c.expectedMaxY >= 0) { EXPECT_EQ(maxY, c.expectedMaxY); }
        if (c.expectedOffsetX >= 0) { EXPECT_EQ(view.OffsetX(), c.expectedOffsetX); }
        if (c.expectedOffsetY >= 0) { EXPECT_EQ(view.OffsetY(), c.expectedOffsetY); }
        if (c.bars == ssNone) {
            EXPECT_FALSE(view.HScrollBarShown());
            EXPECT_FALSE(view.GetScrollInfo(SB_HORZ).Shown);
            view.SetViewXY(100000, 100000);
            EXPECT_EQ(view.ViewX(), maxX);
            EXPECT_EQ(view.ViewY(), maxY);
        }
        if (c.zoom > 0) {
            // Unscrolled, then scrolled: every drawn client column maps to a
            // bitmap column and back; from zoom 100 on, every shown bitmap
            // column maps to its first client column and back.
            for (bool scrolled : {false, true}) {
                if (scrolled) view.SetViewXY(137, 59);
                view.UpdateViewRect();
                view.UpdateZoomTables();
                for (int32_t x = view.OffsetX(); x < view.OffsetX() + view.DstWidth(); ++x) {
                    const int32_t back = view.BitmapToViewX(view.ViewToBitmapX(x));
                    if (scrolled) {
                        ASSERT_LE(std::abs(back - x), c.zoom < 100 ? 1 : static_cast<int>(c.zoom / 100)) << x;
                    } else if (c.zoom <= 100) {
                        ASSERT_EQ(back, x) << x;
                    } else {
                        ASSERT_EQ(view.ViewToBitmapX(back), view.ViewToBitmapX(x)) << x;
                    }
                }
                if (c.zoom >= 100) {
                    const TRect src = view.SrcRect();
                    for (int32_t b = src.Left; b < src.Left + src.Right - 1; ++b)
                        ASSERT_EQ(view.ViewToBitmapX(view.BitmapToViewX(b)), b) << b;
                    for (int32_t b = src.Top; b < src.Top + src.Bottom - 1; ++b)
                        ASSERT_EQ(view.ViewToBitmapY(view.BitmapToViewY(b)), b) << b;
                }
            }
        }
    }
}

TEST(ViewGeometry, ZoomKeepsTheCentreAndIgnoresNoChanges) {
    TViewWindow window(400, 300, bsNone, ssBoth, 1000, 800);
    TVidurErView& view = window.view;
    window.viewChanges = 0;
    view.SetZoom(100);
    view.SetZoom(-5);
    EXPECT_EQ(window.viewChanges, 0);
    // Zooming in keeps the bitmap point at the centre where it was (as long
    // as the new offsets lie within the limits of the old zoom).
    view.SetViewXY(100, 80);
    const int32_t cx = view.ViewToBitmapX(view.GetViewAreaWidth() / 2);
    const int32_t cy = view.ViewToBitmapY(view.GetViewAreaHeight() / 2);
    view.SetZoom(200);
    EXPECT_EQ(window.viewChanges, 2);
    EXPECT_NEAR(view.ViewToBitmapX(view.GetViewAreaWidth() / 2), cx, 1);
    EXPECT_NEAR(view.ViewToBitmapY(view.GetViewAreaHeight() / 2), cy, 1);
    // Scroll codes: line, page, end, start.
    view.SetViewXY(0, 0);
    view.HScrollAction(3, 0);
    EXPECT_EQ(view.ViewX(), 2);  // one bitmap pixel at 200%
    view.HScrollAction(5, 0);
    EXPECT_EQ(view.ViewX(), 2 + view.GetViewAreaWidth());
    view.HScrollAction(1, 0);
    int32_t maxX, maxY;
    view.GetMaxViewXY(maxX, maxY);
    EXPECT_EQ(view.ViewX(), maxX);
    view.HScrollAction(2, 0);
    EXPECT_EQ(view.ViewX(), 0);
    // Thumb tracking follows the bar unless tracking is off; the final
    // position always does.
    view.Perform(WM_HSCROLL, MakeWParam(SB_THUMBTRACK, 1000));
    const int32_t tracked = view.ViewX();
    EXPECT_EQ(tracked, static_cast<int32_t>(std::nearbyint(1000 * view.HScrollRatio())));
    view.HorizScrollBarParams.Tracking = false;
    view.Perform(WM_HSCROLL, MakeWParam(SB_THUMBTRACK, 2000));
    EXPECT_EQ(view.ViewX(), tracked);
    view.Perform(WM_HSCROLL, MakeWParam(SB_THUMBPOSITION, 2000));
    EXPECT_GT(view.ViewX(), tracked);
    EXPECT_EQ(view.GetScrollInfo(SB_HORZ).Position, static_cast<int>(view.ViewX() / view.HScrollRatio()));
}

TEST(ViewGeometry, ACentredSmallImageMapsClientPointsLeftOfItToNegativeColumns) {
    TViewWindow window(400, 300, bsNone, ssBoth, 100, 50);
    TVidurErView& view = window.view;
    view.UpdateViewRect();
    view.UpdateZoomTables();
    EXPECT_EQ(view.OffsetX(), 150);
    EXPECT_EQ(view.ViewToBitmapX(150), 0);
    EXPECT_EQ(view.ViewToBitmapX(140), -10);
    view.SetCenter(false);
    view.UpdateViewRect();
    view.UpdateZoomTables();
    EXPECT_EQ(view.ViewToBitmapX(0), 0);
}

TEST(ViewBase, ListenersHearOfChangesAndOfTheEndInOrder) {
    std::vector<std::string> heard;
    {
        TVidurErView view(nullptr);
        const int32_t first = view.RegisterBitmapChangeEvent([&](bool end) { heard.push_back(end ? "1 end" : "1"); });
        view.RegisterBitmapChangeEvent([&](bool end) { heard.push_back(end ? "2 end" : "2"); });
        view.RemoveBitmapChangeEvent(-1);
        view.RemoveBitmapChangeEvent(999);
        view.LayersAdd();  // another bitmap becomes current
        EXPECT_EQ(heard, (std::vector<std::string>{"1", "2"}));
        view.RemoveBitmapChangeEvent(first);
        view.RegisterBitmapChangeEvent([&](bool end) { heard.push_back(end ? "3 end" : "3"); });
        heard.clear();
    }
    EXPECT_EQ(heard, (std::vector<std::string>{"2 end", "3 end"}));
}

TEST(ViewBase, TheProcessingComponentFollowsTheCurrentLayerAndOutlivesNothing) {
    TVidurErView view(nullptr);
    view.GetIEBitmap()->Allocate(40, 30, ie24RGB);
    TVidurErProc& proc = *view.GetVidurErProc();
    EXPECT_EQ(proc.GetIEBitmap(), view.GetIEBitmap());
    const int32_t layer = view.LayersAdd();
    EXPECT_EQ(layer, 1);
    EXPECT_EQ(proc.GetIEBitmap(), view.GetIEBitmap());
    proc.Resample(20, 10, rfTriangle);
    EXPECT_EQ(view.GetLayer(1)->GetBitmap()->GetWidth(), 20);
    EXPECT_EQ(view.GetLayer(0)->GetBitmap()->GetWidth(), 40);
    view.SetLayersCurrent(0);
    EXPECT_EQ(proc.GetIEBitmap(), view.GetLayer(0)->GetBitmap());
}

TEST(ViewLayers, ListOperationsKeepTheCurrentLayerAndMasksTogether) {
    TVidurErView view(nullptr);
    view.GetIEBitmap()->Allocate(20, 10, ie24RGB);
    EXPECT_TRUE(view.GetLayer(0)->Locked);
    EXPECT_FALSE(view.GetLayer(0)->ShowBox);
    for (int i = 0; i < 3; ++i) view.LayersAdd();
    ASSERT_EQ(view.GetLayersCount(), 4);
    EXPECT_EQ(view.GetLayersCurrent(), 3);
    EXPECT_EQ(view.GetLayer(3)->GetBitmap()->GetWidth(), 20);  // the size of the layer it was made from
    // A layer that cannot be selected hands the choice down.
    view.GetLayer(2)->Selectable = false;
    view.SetLayersCurrent(2);
    EXPECT_EQ(view.GetLayersCurrent(), 1);
    // Removing a layer takes its mask above with it.
    view.GetLayer(3)->IsMask = true;
    view.GetLayer(2)->Name = "masked";
    view.LayersRemove(2);
    EXPECT_EQ(view.GetLayersCount(), 2);
    EXPECT_EQ(view.GetLayersCurrent(), 1);
    view.LayersRemove(1);
    EXPECT_EQ(view.GetLayersCurrent(), 0);
    EXPECT_EQ(view.GetIEBitmap(), view.GetLayer(0)->GetBitmap());
    view.LayersRemove(0);  // the last layer stays
    EXPECT_EQ(view.GetLayersCount(), 1);

    TIELayer& layer = *view.GetLayer(0);
    layer.SetRotate(720);
    EXPECT_EQ(layer.GetRotate(), 0);
    layer.SetRotate(360.5);
    EXPECT_EQ(layer.GetRotate(), 360.5);

    // The undo record of a layer restores its fields and pixels.
    view.GetIEBitmap()->Fill(0x102030);
    layer.PosX = 7;
    layer.Name = "saved";
    TMemoryStream record;
    view.SaveLayerToStream(0, record, true);
    layer.PosX = 0;
    layer.Name.clear();
    view.GetIEBitmap()->Fill(0);
    record.SetPosition(0);
    view.LoadLayerFromStream(0, record);
    EXPECT_EQ(layer.PosX, 7);
    EXPECT_EQ(layer.Name, "saved");
    EXPECT_EQ(view.GetIEBitmap()->GetPixelRGB(3, 3), (TRGB{0x10, 0x20, 0x30}));
    EXPECT_EQ(record.GetPosition(), record.GetSize());
}

TEST(ViewLayers, SmallLayersAreSkippedAndAMaskCutsTheLayerBelow) {
    TVidurErView view(nullptr);
    view.SetBackground(clBlack);
    view.GetIEBitmap()->Allocate(8, 8, ie24RGB);
    view.GetIEBitmap()->Fill(0x0000FF);  // red
    view.LayersAdd();
    view.GetIEBitmap()->Allocate(1, 1, ie24RGB);  // below the smallest drawn size
    view.GetIEBitmap()->Fill(0xFF0000);
    TIEBitmap flat;
    view.LayersDrawTo(flat);
    EXPECT_EQ(flat.GetPixelRGB(0, 0), (TRGB{0, 0, 255}));
    view.GetIEBitmap()->Allocate(1, 2, ie24RGB);  // one side of 2 is enough
    view.GetIEBitmap()->Fill(0xFF0000);
    view.LayersDrawTo(flat);
    EXPECT_EQ(flat.GetPixelRGB(0, 0), (TRGB{255, 0, 0}));
    // A mask over a blue layer: its gray level becomes the layer's opacity.
    view.GetIEBitmap()->Allocate(8, 8, ie24RGB);
    view.GetIEBitmap()->Fill(0xFF0000);
    view.LayersAdd();
    view.GetIEBitmap()->Allocate(8, 8, ie8g);
    for (int32_t x = 0; x < 8; ++x)
        for (int32_t y = 0; y < 8; ++y) view.GetIEBitmap()->SetPixelByte(x, y, x < 4 ? 0 : 255);
    view.GetCurrentLayer()->IsMask = true;
    view.GetCurrentLayer()->Visible = false;
    view.LayersDrawTo(flat);
    EXPECT_EQ(flat.GetPixelRGB(1, 1), (TRGB{0, 0, 255}));
    EXPECT_EQ(flat.GetPixelRGB(6, 1), (TRGB{255, 0, 0}));
    EXPECT_FALSE(view.GetLayer(1)->GetBitmap()->GetHasAlphaChannel());  // its own alpha is back
}
