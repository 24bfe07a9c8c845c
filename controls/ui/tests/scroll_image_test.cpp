// The scroll box with the platform's scroll bars on its surface, and the
// image control, on Qt's offscreen plugin.
#include <gtest/gtest.h>

#include "controls/ui/ucextctrls.h"
#include "controls/ui/ucforms.h"
#include "controls/ui/ucstdctrls.h"
#include "platform/errors.h"
#include "platform/testing/test_support.h"
#include "platform/ui/qt/qt_testing.h"
#include "require_qt.h"

namespace {

TBitmap Filled(int32_t w, int32_t h, TColor color) {
    TBitmap bitmap;
    bitmap.SetPixelFormat(TPixelFormat::pf32bit);
    bitmap.SetSize(w, h);
    TCanvas canvas(bitmap);
    canvas.Brush.Color = color;
    canvas.FillRect({0, 0, w, h});
    return bitmap;
}

}  // namespace

TEST(UcScrollBox, ItsQtScrollBarsShowTheChildrensRangeAndScrollThemBackThroughTheControl) {
    REQUIRE_QT();
    TUcForm form(nullptr);
    form.SetBounds(50, 50, 400, 300);
    auto* box = new TUcScrollBox(&form);
    box->SetBounds(10, 10, 220, 160);
    box->SetParent(&form);
    box->SetHint(u"Прокрутка|Все кадры фильма");
    auto* far = new TUcButton(box);
    far->SetBounds(10, 400, 100, 28);
    far->SetParent(box);
    form.Show();
    ASSERT_TRUE(QtTesting::ActivateWindow(form));
    EXPECT_EQ(box->Hint(), u"Прокрутка|Все кадры фильма");

    // Only the vertical bar is needed; the client area is what is left
    // inside the sunken edge and beside the bar.
    const int extent = Application().Backend().GetSystemMetric(SM_CXVSCROLL);
    EXPECT_EQ(box->ClientWidth(), 220 - 4 - extent);
    EXPECT_EQ(box->ClientHeight(), 160 - 4);
    const QtTesting::TScrollBarState vertical = QtTesting::ScrollBarState(*box, SB_VERT);
    ASSERT_TRUE(vertical.Found);
    EXPECT_TRUE(vertical.Visible);
    EXPECT_FALSE(QtTesting::ScrollBarState(*box, SB_HORZ).Visible);
    EXPECT_EQ(vertical.Max, 428 - 1);
    EXPECT_EQ(vertical.Page, box->ClientHeight());
    EXPECT_EQ(vertical.Position, 0);
    EXPECT_EQ(vertical.Geometry, (TRect{2 + box->ClientWidth(), 2, 2 + box->ClientWidth() + extent, 2 + 156}));

    // A click below the thumb pages down: the control hears it and moves
    // its child; Qt's bar shows where the control put it.
    QtTesting::ClickScrollBar(*box, SB_VERT, extent / 2, vertical.Geometry.Bottom - vertical.Geometry.Top - extent - 4);
    EXPECT_EQ(box->VertPosition(), 156);
    EXPECT_EQ(far->Top(), 400 - 156);
    EXPECT_EQ(QtTesting::ScrollBarState(*box, SB_VERT).Position, 156);
    // Dragging the thumb past the end stops at the last page.
    QtTesting::DragScrollBar(*box, SB_VERT, 1000);
    EXPECT_EQ(box->VertPosition(), 428 - 156);
    EXPECT_EQ(far->Top(), 400 - (428 - 156));
    EXPECT_EQ(QtTesting::ScreenGeometry(*far).Top - QtTesting::ScreenGeometry(*box).Top, 2 + far->Top());
    // A child brought into view scrolls back.
    auto* near = new TUcButton(box);
    near->SetBounds(10, far->Top() - 300, 100, 28);
    near->SetParent(box);
    box->ScrollInView(near);
    EXPECT_EQ(near->Top(), 0);
    EXPECT_EQ(QtTesting::ScrollBarState(*box, SB_VERT).Position, box->VertPosition());

    // A wider child calls for the horizontal bar too.
    far->SetWidth(600);
    box->UpdateScrollBars();
    EXPECT_TRUE(QtTesting::ScrollBarState(*box, SB_HORZ).Visible);
    EXPECT_EQ(box->ClientHeight(), 160 - 4 - extent);
    // For a look at the frame, the bars and the children (in ctest's folder).
    ASSERT_TRUE(QtTesting::WaitUntil([&] { return !box->NeedsPaint() && !form.NeedsPaint(); }));
    EXPECT_TRUE(QtTesting::SaveWindowPicture(form, "uc-scroll-box.png"));
}

TEST(UcScrollBox, SizeMessagesNestedDeeperThanThirtyOneAreDropped) {
    REQUIRE_QT();
    TUcScrollBox box(nullptr);
    int handled = 0;
    box.OnResize = [&](TComponent*) {
        ++handled;
        if (handled < 40) box.Perform(WM_SIZE);
    };
    box.Perform(WM_SIZE);
    EXPECT_EQ(handled, 31);
    // The depth went back down: the next one is handled again.
    handled = 100;
    box.Perform(WM_SIZE);
    EXPECT_EQ(handled, 101);
}

TEST(UcImage, APictureResizesAndRepaintsItAndAWideHintShows) {
    REQUIRE_QT();
    TUcForm form(nullptr);
    form.SetBounds(80, 80, 300, 200);
    auto* image = new TUcImage(&form);
    image->SetBounds(20, 30, 10, 10);
    image->SetAutoSize(true);
    image->SetParent(&form);
    image->SetHint(u"Картинка|画像");
    EXPECT_NE(dynamic_cast<TUcPicture*>(image->Picture()), nullptr);
    int changes = 0, progress = 0;
    image->Picture()->OnProgress = [&](TPicture*, int) { ++progress; };
    form.Show();
    ASSERT_TRUE(QtTesting::WaitUntil([&] { return !form.NeedsPaint(); }));

    image->Picture()->Assign(Filled(40, 30, RGBColor(200, 0, 0)));
    EXPECT_EQ(image->Width(), 40);
    EXPECT_EQ(image->Height(), 30);
    ASSERT_TRUE(QtTesting::WaitUntil([&] { return !form.NeedsPaint(); }));
    TCanvas surface(form.NativeWindow()->Surface());
    EXPECT_EQ(surface.GetPixel(20, 30), RGBColor(200, 0, 0));
    EXPECT_EQ(surface.GetPixel(59, 59), RGBColor(200, 0, 0));
    EXPECT_EQ(surface.GetPixel(60, 60), ColorToRGB(form.Color));
    EXPECT_EQ(UcGetEffectiveHint(image), u"Картинка|画像");

    // Files load through the loader of their extension; an unknown one
    // leaves the picture as it was.
    RegisterPictureLoader("tst", [](const std::string&, TBitmap& bitmap) { bitmap = Filled(16, 8, 0xFF0000); });
    image->Picture()->OnChange = [&, inner = image->Picture()->OnChange](TPicture* sender) {
        ++changes;
        inner(sender);
    };
    image->Picture()->LoadFromFile("/nowhere/Picture.TST");
    EXPECT_EQ(image->Width(), 16);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(progress, 2);
    try {
        image->Picture()->LoadFromFile("/nowhere/picture.xyz");
        ADD_FAILURE() << "an unknown extension loaded";
    } catch (const Exception& error) {
        EXPECT_STREQ(error.what(), "Unknown picture file extension (.xyz)");
    }
    EXPECT_EQ(image->Picture()->Width(), 16);
    UnregisterPictureLoader("tst");
}

TEST(UcImage, StretchCenterAndProportionalPlaceThePicture) {
    TUcImage image(nullptr);
    image.SetBounds(0, 0, 100, 50);
    image.Picture()->Assign(Filled(20, 20, 0));
    struct TCase {
        bool stretch, center, proportional;
        TRect expected;
    };
    const TCase cases[] = {
        {false, false, false, {0, 0, 20, 20}},  {false, true, false, {40, 15, 60, 35}},
        {true, false, false, {0, 0, 100, 50}},  {true, false, true, {0, 0, 50, 50}},
        {true, true, true, {25, 0, 75, 50}},
    };
    for (const TCase& c : cases) {
        image.Stretch = c.stretch;
        image.Center = c.center;
        image.Proportional = c.proportional;
        EXPECT_EQ(image.DestRect(), c.expected) << c.stretch << c.center << c.proportional;
    }
    // A picture larger than the control shrinks to fit when proportional.
    image.Picture()->Assign(Filled(400, 100, 0));
    image.Stretch = false;
    image.Center = false;
    EXPECT_EQ(image.DestRect(), (TRect{0, 0, 100, 25}));
}
