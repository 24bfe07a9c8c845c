// A contact sheet of what the interface library paints (frames, 3-D edges,
// embossed and aligned text, a combined clip region, gradients with and
// without opacity, grips, a blended PNG), saved for a person to look at.
#include <gtest/gtest.h>

#include <filesystem>

#include "navbar/kr_gdiplus.h"
#include "navbar/lf_graphics.h"
#include "navbar/lf_office11.h"

namespace {

TEST(ContactSheet, InterfaceLibraryPaintingIsSavedToLookAt) {
    TBitmap sheet;
    sheet.SetPixelFormat(TPixelFormat::pf24bit);
    sheet.SetSize(400, 120);
    TCanvas canvas(sheet);
    TlfCanvas lf(canvas);
    lf.FillRectColor(TRect{0, 0, 400, 120}, GetSysColor(COLOR_BTNFACE));
    canvas.Font.Name = "DejaVu Sans";

    lf.FrameRect(TRect{10, 10, 70, 50}, 0x0000FF, 3, bLeft | bTop | bRight);
    lf.DrawEdgeFrame(TRect{80, 10, 140, 50}, true, true);
    lf.DrawEdgeFrame(TRect{81, 11, 139, 49}, true, false);
    canvas.Brush.Style = BS_NULL;
    lf.DrawTextInRect(u"Disabled", TRect{150, 10, 250, 30}, tfSingleLine | tfHCenter | tfVCenter, false);
    lf.DrawTextInRect(u"Right", TRect{150, 30, 250, 50}, tfSingleLine | tfRight);
    canvas.Brush.Style = BS_SOLID;

    lf.SaveState();
    TlfRegion region(TRegion::Ellipse(TRect{260, 10, 320, 50}));
    region.Combine(TlfRegion(300, 20, 340, 40), rcUnion);
    lf.SetClipRegion(region, rcCopy);
    FillRectGradient(canvas, TRect{250, 0, 350, 60}, 0xFF0000, 0x00FFFF, true);
    lf.RestoreState();

    FillRectGradient(canvas, TRect{10, 60, 110, 110}, NavPaneColors().GroupCaptionColor1, NavPaneColors().GroupCaptionColor2, false);
    TkrGPGraphics graphics(canvas);
    const TRect band = RectToGPRect(TRect{120, 60, 220, 110});
    graphics.FillRectangle(TkrGPLinearGradientBrush(band, 0xFF2050A0, 0x202050A0, lgmHorizontal), band);
    DrawGripDots(canvas, TRect{230, 60, 234, 110}, true);
    DrawCornerGrip(canvas, TRect{240, 60, 260, 110});

    TlfBitmap glyph(32, 32);
    std::vector<uint32_t> pixels(32 * 32);
    for (int32_t y = 0; y < 32; ++y)
        for (int32_t x = 0; x < 32; ++x) {
            const uint32_t a = static_cast<uint32_t>(x * 8);  // fading in from the left, premultiplied red
            pixels[static_cast<size_t>(y) * 32 + x] = a << 24 | a << 16;
        }
    glyph.SetPixels(pixels);
    TkrPNGImage png;
    png.LoadFromBitmap(glyph);
    png.Draw(canvas, TRect{280, 65, 344, 105});

    const std::string folder = std::string(TW_FIXTURE_DIR) + "/../../artifacts/navbar";
    std::filesystem::create_directories(folder);
    TkrPNGImage out;
    out.LoadFromBitmap(sheet);
    out.SaveToFile(folder + "/canvas-sheet.png");
    EXPECT_TRUE(std::filesystem::exists(folder + "/canvas-sheet.png"));
}

}  // namespace
