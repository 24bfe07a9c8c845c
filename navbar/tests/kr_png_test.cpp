// The PNG picture: a PNG with alpha made by ImageMagick loads through the
// toolkit's picture classes, draws blended over a background, and saves a
// file ImageMagick reads back with the same pixels; the gradient brush of
// the translucent drawing.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "navbar/kr_gdiplus.h"
#include "platform/testing/test_support.h"

namespace {

// R, G, B, A of every pixel, as ImageMagick reads the file.
std::vector<uint8_t> MagickRGBA(const std::string& path) {
    std::vector<uint8_t> bytes;
    FILE* pipe = popen(("convert '" + path + "' -depth 8 rgba:-").c_str(), "r");
    if (!pipe) return bytes;
    uint8_t buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
    pclose(pipe);
    return bytes;
}

std::string AlphaFixture() {
    std::filesystem::create_directories(TW_FIXTURE_DIR);
    // Left half: half-transparent red; right half: opaque blue but for a
    // clear bottom row.
    return MakeFixture(std::string(TW_FIXTURE_DIR) + "/alpha16x16.png",
                       "convert -size 16x16 xc:none -fill 'rgba(255,0,0,0.5)' -draw 'rectangle 0,0 7,15' "
                       "-fill 'rgba(0,0,255,1)' -draw 'rectangle 8,0 15,14' PNG32:{out}");
}

TEST(PNGPictureTools, LoadsDrawsBlendedAndSavesWhatImageMagickReadsBack) {
    if (!ToolInstalled("convert")) TW_SKIP_OR_FAIL() << "ImageMagick's convert is not installed";
    const std::string source = AlphaFixture();
    ASSERT_FALSE(source.empty());
    const TGraphicFormat* format = GraphicFormatOf(source);
    ASSERT_NE(format, nullptr);
    EXPECT_EQ(format->Description, "PNG graphics from Kestrowe");
    std::unique_ptr<TGraphic> picture = LoadPicture(source);
    ASSERT_EQ(picture->Width(), 16);
    ASSERT_EQ(picture->Height(), 16);
    EXPECT_TRUE(picture->Transparent());

    TBitmap background;
    background.SetPixelFormat(TPixelFormat::pf24bit);
    background.SetSize(20, 20);
    TCanvas canvas(background);
    canvas.Brush.Color = RGBColor(0, 255, 0);
    canvas.FillRect(TRect{0, 0, 20, 20});
    picture->Draw(canvas, TRect{2, 2, 18, 18});
    const TColor blended = canvas.GetPixel(4, 8), opaque = canvas.GetPixel(14, 8), outside = canvas.GetPixel(1, 1);
    EXPECT_NEAR(RedOf(blended), 128, 3);
    EXPECT_NEAR(GreenOf(blended), 127, 3);
    EXPECT_EQ(opaque, RGBColor(0, 0, 255));
    EXPECT_EQ(outside, RGBColor(0, 255, 0));
    EXPECT_EQ(canvas.GetPixel(14, 17), RGBColor(0, 255, 0));  // the clear row

    const std::string saved = TestScratchFolder("navbar-png") + "/saved.png";
    picture->SaveToFile(saved);
    const std::vector<uint8_t> original = MagickRGBA(source), copy = MagickRGBA(saved);
    ASSERT_EQ(original.size(), 16u * 16u * 4u);
    EXPECT_EQ(copy, original);
}

TEST(PNGPicture, EdgeCasesOfStreamsAndBitmaps) {
    // 13 bytes or fewer: an empty picture; an empty picture saves nothing.
    TkrPNGImage image;
    TMemoryStream shortStream(std::vector<uint8_t>(13, 0x89));
    image.LoadFromStream(shortStream);
    EXPECT_TRUE(image.Empty());
    TMemoryStream out;
    image.SaveToStream(out);
    EXPECT_EQ(out.GetSize(), 0);

    // A stream that starts with "BM" is a bitmap.
    TlfCustomBitmap bitmap(3, 2, TPixelFormat::pf24bit);
    bitmap.Canvas().Brush.Color = RGBColor(10, 20, 30);
    bitmap.Canvas().FillRect(TRect{0, 0, 3, 2});
    TMemoryStream data;
    bitmap.WriteData(data);
    TMemoryStream file(std::vector<uint8_t>(data.Memory() + 4, data.Memory() + data.GetSize()));
    image.LoadFromStream(file);
    ASSERT_EQ(image.Width(), 3);
    ASSERT_EQ(image.Height(), 2);
    EXPECT_EQ(image.Image()->Bits()[0], 0xFF0A141Eu);

    // Round trip through PNG bytes of our own, and a copy by assignment.
    TMemoryStream png;
    image.SaveToStream(png);
    png.SetPosition(0);
    TkrPNGImage again;
    again.LoadFromStream(png);
    TkrPNGImage copy;
    copy.Assign(again);
    ASSERT_EQ(copy.Width(), 3);
    EXPECT_EQ(copy.Image()->Bits(), image.Image()->Bits());
    EXPECT_EQ(copy.GetAsBitmap()->PixelFormat(), TPixelFormat::pf32bit);
}

TEST(TranslucentDrawing, GradientBrushWithOpacityFillsTheRectangle) {
    ASSERT_TRUE(CheckGdiPlus());
    TBitmap bitmap;
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    bitmap.SetSize(10, 100);
    TCanvas canvas(bitmap);
    canvas.Brush.Color = 0xFFFFFF;
    canvas.FillRect(TRect{0, 0, 10, 100});
    TkrGPGraphics graphics(canvas);
    const TRect rect = RectToGPRect(TRect{0, 0, 10, 100});
    // Opaque black at the top to clear at the bottom, over white.
    graphics.FillRectangle(TkrGPLinearGradientBrush(rect, 0xFF000000, 0x00000000, lgmVertical), rect);
    EXPECT_LE(GreenOf(canvas.GetPixel(5, 0)), 5);
    EXPECT_NEAR(GreenOf(canvas.GetPixel(5, 50)), 128, 6);
    EXPECT_GE(GreenOf(canvas.GetPixel(5, 99)), 250);
}

}  // namespace
