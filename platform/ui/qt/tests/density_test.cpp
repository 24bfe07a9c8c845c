// Windows at the screen's density: a control's surface holds the screen's
// pixels (its device pixel ratio a side for each layout pixel), the control
// paints in layout pixels with our canvas, Qt shows the surface without
// scaling it, and the mouse arrives in layout pixels. The program runs once
// at ratio 1 and once at ratio 2 (QT_SCALE_FACTOR).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/canvas.h"
#include "platform/testing/test_support.h"
#include "platform/ui/forms.h"
#include "platform/ui/qt/qt_testing.h"
#include "platform/ui/stdctrls.h"

namespace {

// A custom-painted control: white, a one-pixel black frame, a red block and
// a line of text; it notes where the mouse went down.
class TSwatch : public TCustomControl {
public:
    using TCustomControl::TCustomControl;
    TPoint Down{-1, -1};

protected:
    void Paint() override {
        TCanvas canvas(*PaintSurface());
        canvas.Brush.Color = 0xFFFFFF;
        canvas.FillRect({0, 0, Width(), Height()});
        canvas.Brush.Color = 0;
        canvas.FrameRect({0, 0, Width(), Height()});
        canvas.Brush.Color = 0x0000FF;
        canvas.FillRect({10, 10, 30, 30});
        canvas.Font.Name = "DejaVu Sans";
        canvas.Font.Height = -16;
        canvas.Brush.Style = BS_NULL;
        canvas.TextOut(40, 10, u"Crisp text Ag");
    }
    void WndProc(TMessage& message) override {
        if (message.Msg == WM_LBUTTONDOWN) Down = {LParamX(message.LParam), LParamY(message.LParam)};
        TCustomControl::WndProc(message);
    }
};

int ExpectedRatio() {
    const char* factor = std::getenv("QT_SCALE_FACTOR");
    return factor ? std::max(1, std::atoi(factor)) : 1;
}

uint32_t Pixel(const TBitmap& bitmap, int32_t x, int32_t y) {
    const uint8_t* p = bitmap.ScanLine(y) + x * 4;
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16;
}

}  // namespace

TEST(QtDensity, SurfacesHoldTheScreensPixelsAndTheMouseArrivesInLayoutPixels) {
    if (!QtTesting::Running()) {
        TW_SKIP_OR_FAIL() << "the Qt plugin is not running (TW_UI_PLATFORM=qt)";
    }
    const int ratio = ExpectedRatio();
    TForm form(nullptr);
    form.SetBounds(50, 50, 260, 120);
    auto* swatch = new TSwatch(&form);
    swatch->SetBounds(20, 20, 200, 60);
    swatch->SetParent(&form);
    auto* label = new TLabel(&form);
    label->Font.Name = "DejaVu Sans";
    label->Font.Height = -12;
    label->SetBounds(20, 90, 10, 10);
    label->SetParent(&form);
    label->SetText("A label at the screen's density");
    form.Show();
    ASSERT_TRUE(QtTesting::WaitUntil([&] { return !form.NeedsPaint() && !swatch->NeedsPaint(); }));
    EXPECT_EQ(swatch->NativeWindow()->DevicePixelRatio(), ratio);

    // The surface: ratio pixels a side for each layout pixel.
    const TBitmap& surface = swatch->NativeWindow()->Surface();
    EXPECT_EQ(surface.DevicePixelRatio(), ratio);
    EXPECT_EQ(surface.Width(), 200 * ratio);
    EXPECT_EQ(surface.Height(), 60 * ratio);
    // The one-pixel frame is one layout pixel: ratio device pixels, and the
    // red block's edge lies on the layout pixel's edge.
    for (int k = 0; k < ratio; ++k) EXPECT_EQ(Pixel(surface, k, 30 * ratio), 0u);
    EXPECT_EQ(Pixel(surface, ratio, 30 * ratio), 0xFFFFFFu);
    EXPECT_EQ(Pixel(surface, 10 * ratio, 10 * ratio), 0xFF0000u);
    EXPECT_EQ(Pixel(surface, 10 * ratio - 1, 10 * ratio), 0xFFFFFFu);

    // What Qt shows is the surface itself, not a scaled copy of it.
    TBitmap shown;
    double shownRatio = 0;
    ASSERT_TRUE(QtTesting::GrabWindow(*swatch, shown, shownRatio));
    EXPECT_EQ(shownRatio, ratio);
    ASSERT_EQ(shown.Width(), surface.Width());
    ASSERT_EQ(shown.Height(), surface.Height());
    int differ = 0, mixedBlocks = 0;
    for (int32_t y = 0; y < shown.Height(); ++y)
        for (int32_t x = 0; x < shown.Width(); ++x) differ += Pixel(shown, x, y) != Pixel(surface, x, y);
    EXPECT_EQ(differ, 0);
    // At ratio 2 the text has detail inside its layout pixels.
    if (ratio > 1) {
        for (int32_t y = 10 * ratio; y + 1 < 40 * ratio; y += 2)
            for (int32_t x = 40 * ratio; x + 1 < 190 * ratio; x += 2) {
                const uint32_t p = Pixel(shown, x, y);
                mixedBlocks += p != Pixel(shown, x + 1, y) || p != Pixel(shown, x, y + 1);
            }
        EXPECT_GT(mixedBlocks, 50);
    }

    // Hit testing in layout pixels.
    QtTesting::MouseClick(*swatch, 15, 25);
    EXPECT_EQ(swatch->Down, (TPoint{15, 25}));
    int x = 35, y = 45;
    EXPECT_EQ(form.ControlAtPos(x, y), swatch);
    EXPECT_EQ((TPoint{x, y}), (TPoint{15, 25}));

    // A picture of the window for a person to look at.
    std::filesystem::create_directories(TW_ARTIFACT_DIR);
    const std::string path = std::string(TW_ARTIFACT_DIR) + "/density-" + std::to_string(ratio) + ".png";
    EXPECT_TRUE(QtTesting::SaveWindowPicture(form, path));
}
