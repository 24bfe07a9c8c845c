// The image view in a window of the Qt plugin (offscreen): it paints a large
// picture, scrolls with Qt's own scroll bars, takes a rectangle selection
// dragged with the mouse, zooms with the wheel, and runs a transition; a
// picture of the window is saved among the artifacts to look at.
#include <gtest/gtest.h>

#include <filesystem>

#include "imaging/core/ie_view.h"
#include "platform/testing/test_support.h"
#include "platform/ui/application.h"
#include "platform/ui/forms.h"
#include "platform/ui/qt/qt_testing.h"

namespace {

// 0xRRGGBB of the view's window surface.
uint32_t Shown(TVidurErView& view, int32_t x, int32_t y) {
    const uint8_t* p = view.NativeWindow()->Surface().ScanLine(y) + 4 * x;
    return uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
}

}  // namespace

TEST(ViewOnQt, PaintsScrollsSelectsAndZoomsInARealWindow) {
    if (!QtTesting::Running()) TW_SKIP_OR_FAIL() << "the Qt plugin is not running (TW_UI_PLATFORM=qt)";
    TForm form(nullptr);
    form.SetBounds(40, 40, 460, 380);
    auto* view = new TVidurErView(&form);
    view->SetBounds(10, 10, 420, 320);
    view->SetParent(&form);
    // An 800 x 600 picture: a gradient, with a red square at (500, 400).
    TIEBitmap& image = *view->GetIEBitmap();
    image.Allocate(800, 600, ie24RGB);
    for (int32_t y = 0; y < 600; ++y)
        for (int32_t x = 0; x < 800; ++x) {
            uint8_t* p = image.GetPixelTRGBPtr(x, y);  // blue, green, red
            const bool mark = x >= 500 && x < 520 && y >= 400 && y < 420;
            p[0] = mark ? 0 : static_cast<uint8_t>(x * 255 / 799);
            p[1] = mark ? 0 : static_cast<uint8_t>(y * 255 / 599);
            p[2] = mark ? 255 : 60;
        }
    form.Show();
    ASSERT_TRUE(QtTesting::ActivateWindow(form));
    view->Update();
    QtTesting::ProcessEvents(50);
    const std::filesystem::path folder(TW_ARTIFACT_DIR);
    std::filesystem::create_directories(folder);
    EXPECT_TRUE(QtTesting::SaveWindowPicture(form, (folder / "qt-view-shown.png").string()));

    // Qt's scroll bars show the picture's range; dragging them scrolls the view.
    const QtTesting::TScrollBarState horizontal = QtTesting::ScrollBarState(*view, SB_HORZ);
    ASSERT_TRUE(horizontal.Found);
    EXPECT_TRUE(horizontal.Visible);
    EXPECT_TRUE(QtTesting::ScrollBarState(*view, SB_VERT).Visible);
    // (The bars count 0 .. 65535 over the picture's extent.)
    EXPECT_EQ(horizontal.Max, 65535);
    QtTesting::DragScrollBar(*view, SB_HORZ, static_cast<int>(300 / view->HScrollRatio()));
    QtTesting::DragScrollBar(*view, SB_VERT, static_cast<int>(250 / view->VScrollRatio()));
    QtTesting::ProcessEvents(50);
    EXPECT_NEAR(view->ViewX(), 300, view->HScrollRatio() + 1);
    EXPECT_NEAR(view->ViewY(), 250, view->VScrollRatio() + 1);
    const int32_t mx = view->BitmapToViewX(510), my = view->BitmapToViewY(410);
    ASSERT_GT(mx, 0);
    ASSERT_GT(my, 0);
    ASSERT_LT(mx, view->ClientWidth());
    ASSERT_LT(my, view->ClientHeight());
    EXPECT_EQ(Shown(*view, mx, my), 0xFF0000u);
    EXPECT_EQ(Shown(*view, mx - 20, my), (60u << 16) | (static_cast<uint32_t>(410 * 255 / 599) << 8) | (490 * 255 / 799));

    // A rectangle dragged with the mouse becomes the selection, in the
    // picture's pixels under the window's points.
    view->SetMouseInteract(IEMI(miSelect));
    QtTesting::MousePress(*view, 40, 30);
    QtTesting::MouseDrag(*view, 100, 70);
    QtTesting::MouseDrag(*view, 160, 110);
    QtTesting::MouseRelease(*view, 160, 110);
    QtTesting::ProcessEvents(50);
    ASSERT_TRUE(view->HasSelection());
    EXPECT_NEAR(view->SelX1(), view->ViewToBitmapX(40), 1);
    EXPECT_NEAR(view->SelY1(), view->ViewToBitmapY(30), 1);
    EXPECT_NEAR(view->SelX2(), view->ViewToBitmapX(160), 2);
    EXPECT_NEAR(view->SelY2(), view->ViewToBitmapY(110), 2);

    // The outline shows once the selection's short delay is over, and
    // marches on the selection timer.
    const int32_t phase = view->MarchingAntsPhase;
    EXPECT_TRUE(QtTesting::WaitUntil([&] { return view->MarchingAntsPhase > phase + 1; }, 3000));
    QtTesting::ProcessEvents(20);
    const uint32_t edge = Shown(*view, view->BitmapToViewX(view->SelX1()), 50);
    EXPECT_TRUE(edge == 0 || edge == 0xFFFFFF) << std::hex << edge;
    EXPECT_TRUE(QtTesting::SaveWindowPicture(form, (folder / "qt-view-selection.png").string()));

    // The wheel zooms (about the view): in when turned towards the user,
    // out when turned away.
    view->SetMouseInteract(IEMI(miZoom));
    const double before = view->Zoom();
    QtTesting::MouseWheel(*view, 200, 150, -120);
    QtTesting::ProcessEvents(50);
    EXPECT_GT(view->Zoom(), before);
    QtTesting::MouseWheel(*view, 200, 150, 120);
    QtTesting::MouseWheel(*view, 200, 150, 120);
    QtTesting::ProcessEvents(50);
    EXPECT_LT(view->Zoom(), before);

    // A transition runs on Qt's timer and gives the window back.
    int stops = 0;
    view->SetOnTransitionStop([&](TComponent*) { ++stops; });
    view->PrepareTransition();
    view->SetZoom(50);
    view->RunTransition(iettCenterZoom1, 200);
    EXPECT_TRUE(QtTesting::WaitUntil([&] { return stops == 1; }, 5000));
    EXPECT_EQ(view->PaintLockCount(), 0);
    QtTesting::ProcessEvents(50);
    EXPECT_TRUE(QtTesting::SaveWindowPicture(form, (folder / "qt-view-after-transition.png").string()));
}
