// The painters' canvas (frames, edges, text, clip regions, saved states),
// the library's bitmaps (stream form, rotation, filters) and the colour
// arithmetic and names, against the numbers they are defined by.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "navbar/lf_graphics.h"
#include "platform/stream.h"
#include "platform/ui/forms.h"

namespace {

constexpr TColor kWhite = 0xFFFFFF;

struct TSurface {
    explicit TSurface(int32_t w, int32_t h) {
        bitmap.SetPixelFormat(TPixelFormat::pf24bit);
        bitmap.SetSize(w, h);
        canvas = std::make_unique<TCanvas>(bitmap);
        canvas->Brush.Color = kWhite;
        canvas->FillRect(TRect{0, 0, w, h});
        lf = std::make_unique<TlfCanvas>(*canvas);
    }
    TColor At(int32_t x, int32_t y) {
        canvas->ResetClip();
        return canvas->GetPixel(x, y);
    }
    int Count(TColor color) {
        int n = 0;
        for (int32_t y = 0; y < bitmap.Height(); ++y)
            for (int32_t x = 0; x < bitmap.Width(); ++x) n += At(x, y) == color;
        return n;
    }
    TBitmap bitmap;
    std::unique_ptr<TCanvas> canvas;
    std::unique_ptr<TlfCanvas> lf;
};

TEST(LfCanvas, FramesOfChosenSidesAndWidths) {
    TSurface s(20, 20);
    // Wider than the box: the box is filled, nothing outside it.
    s.lf->FrameRect(TRect{2, 2, 8, 8}, 0xFF, 10, bAll);
    EXPECT_EQ(s.Count(0xFF), 36);
    EXPECT_EQ(s.At(1, 1), kWhite);
    EXPECT_EQ(s.At(8, 8), kWhite);

    TSurface sides(20, 20);
    sides.lf->FrameRect(TRect{0, 0, 20, 20}, 0xFF00, 2, bLeft | bBottom);
    EXPECT_EQ(sides.At(1, 5), 0xFF00);
    EXPECT_EQ(sides.At(10, 18), 0xFF00);
    EXPECT_EQ(sides.At(18, 5), kWhite);
    EXPECT_EQ(sides.At(10, 1), kWhite);
    EXPECT_EQ(sides.At(2, 10), kWhite);

    // clNone paints nothing and leaves the brush alone.
    sides.canvas->Brush.Color = 0x123456;
    sides.lf->FillRectColor(TRect{0, 0, 20, 20}, clNone);
    EXPECT_EQ(sides.canvas->Brush.Color, 0x123456u);
    EXPECT_EQ(sides.At(10, 10), kWhite);

    // Frame and fill: the frame on its sides, the fill inside it.
    TSurface both(20, 20);
    TlfPaintParams params;
    params.Color = 0xFF0000;
    both.lf->FrameAndFillRect(TRect{0, 0, 20, 20}, params, bAll, 0xFF, 3);
    EXPECT_EQ(both.At(2, 10), 0xFF);
    EXPECT_EQ(both.At(3, 10), 0xFF0000);
    EXPECT_EQ(both.At(16, 16), 0xFF0000);
    EXPECT_EQ(both.At(17, 16), 0xFF);
}

TEST(LfCanvas, EdgesUseTheSystemColoursOfTheirKind) {
    struct TCase {
        bool Sunken, Outer;
        int32_t LeftTop, RightBottom;
    } cases[] = {{true, true, COLOR_BTNSHADOW, COLOR_BTNHIGHLIGHT},
                 {true, false, COLOR_3DDKSHADOW, COLOR_3DLIGHT},
                 {false, true, COLOR_3DLIGHT, COLOR_3DDKSHADOW},
                 {false, false, COLOR_BTNHIGHLIGHT, COLOR_BTNSHADOW}};
    for (const TCase& c : cases) {
        TSurface s(10, 10);
        s.lf->DrawEdgeFrame(TRect{0, 0, 10, 10}, c.Sunken, c.Outer);
        EXPECT_EQ(s.At(0, 5), GetSysColor(c.LeftTop));
        EXPECT_EQ(s.At(5, 0), GetSysColor(c.LeftTop));
        EXPECT_EQ(s.At(9, 5), GetSysColor(c.RightBottom));
        EXPECT_EQ(s.At(5, 9), GetSysColor(c.RightBottom));
        EXPECT_EQ(s.At(5, 5), kWhite);
    }
}

TEST(LfCanvas, AlignedAndEmbossedText) {
    SetSystemColor(COLOR_BTNHIGHLIGHT, 0x00FF00);
    SetSystemColor(COLOR_BTNSHADOW, 0x0000FF);
    TSurface s(120, 40);
    s.canvas->Font.Name = "DejaVu Sans";
    s.canvas->Font.Height = -20;
    s.canvas->Font.Bold = true;
    s.canvas->Font.Color = 0x123456;
    s.lf->DrawTextInRect(u"II", TRect{0, 0, 120, 40}, tfSingleLine | tfHCenter | tfVCenter, false);
    EXPECT_EQ(s.canvas->Font.Color, 0x123456u);
    // Both colours are there, the highlight to the right of and below the
    // shadow, and the caption sits in the middle.
    int32_t shadowLeft = 1000, highlightLeft = 1000, shadowBottom = -1, highlightBottom = -1, right = -1;
    for (int32_t y = 0; y < 40; ++y)
        for (int32_t x = 0; x < 120; ++x) {
            const TColor c = s.At(x, y);
            if (c == kWhite) continue;
            right = std::max(right, x);
            if (RedOf(c) > 200 && GreenOf(c) < 60) shadowLeft = std::min(shadowLeft, x), shadowBottom = std::max(shadowBottom, y);
            if (GreenOf(c) > 200 && RedOf(c) < 60) highlightLeft = std::min(highlightLeft, x), highlightBottom = std::max(highlightBottom, y);
        }
    ResetSystemColors();
    EXPECT_EQ(highlightLeft, shadowLeft + 1);
    EXPECT_EQ(highlightBottom, shadowBottom + 1);
    const int32_t width = s.lf->TextWidth(u"II");
    EXPECT_NEAR(shadowLeft, (120 - width) / 2, 3);

    // Right alignment: the ink ends at the right edge.
    TSurface r(120, 30);
    r.canvas->Font.Name = "DejaVu Sans";
    r.canvas->Brush.Style = BS_NULL;
    r.lf->DrawTextInRect(u"Right", TRect{0, 0, 120, 30}, tfSingleLine | tfRight);
    int32_t inkRight = -1;
    for (int32_t y = 0; y < 30; ++y)
        for (int32_t x = 0; x < 120; ++x)
            if (r.At(x, y) != kWhite) inkRight = std::max(inkRight, x);
    EXPECT_GE(inkRight, 114);

    // Measuring: an empty string in a zero-width box is an empty box at the
    // top-left; a centred text sits in the middle of the box.
    TRect empty{5, 6, 5, 20};
    r.lf->MeasureText(u"", empty, tfLeft);
    EXPECT_EQ(empty, (TRect{5, 6, 5, 6}));
    TRect centred{0, 0, 100, 30};
    r.lf->MeasureText(u"ab", centred, tfHCenter | tfSingleLine);
    EXPECT_EQ(centred.Left, (100 - r.lf->TextWidth(u"ab")) / 2);
}

TEST(LfCanvas, ClippingByACombinedRegionAndSavedStates) {
    TSurface s(40, 20);
    s.lf->SaveState();
    TlfRegion region(0, 0, 10, 20);
    region.Combine(TlfRegion(30, 0, 40, 20), rcUnion);
    s.lf->SetClipRegion(region, rcCopy);
    s.lf->SetClipRegion(TlfRegion(0, 0, 40, 10), rcDifference);
    s.lf->FillRectColor(TRect{0, 0, 40, 20}, 0xFF);
    EXPECT_EQ(s.canvas->GetPixel(5, 15), 0xFF);  // inside
    EXPECT_EQ(s.canvas->GetPixel(35, 15), 0xFF);
    EXPECT_EQ(s.canvas->GetPixel(5, 5), -1);  // cut away: outside the clip
    EXPECT_EQ(s.canvas->GetPixel(20, 15), -1);
    std::unique_ptr<TlfRegion> clip = s.lf->GetClipRegion();
    EXPECT_TRUE(clip->Handle().Contains(35, 15));
    EXPECT_FALSE(clip->Handle().Contains(35, 5));

    // Excluding a filled rectangle keeps later fills off it.
    s.lf->FillRect(TRect{0, 10, 5, 20}, nullptr, true);
    s.lf->FillRectColor(TRect{0, 0, 40, 20}, 0xFF00);
    EXPECT_EQ(s.At(2, 15), 0xFF);
    EXPECT_EQ(s.At(7, 15), 0xFF00);

    s.lf->RestoreState();
    EXPECT_EQ(s.lf->GetClipRegion()->Handle().Bounds(), (TRect{0, 0, 30000, 30000}));
    EXPECT_EQ(s.At(5, 5), kWhite);
    EXPECT_EQ(s.At(20, 15), kWhite);
}

TEST(LfCanvas, TiledFillsStartAtTheCanvasOrigin) {
    TSurface s(20, 10);
    TBitmap tile;
    tile.SetPixelFormat(TPixelFormat::pf24bit);
    tile.SetSize(4, 4);
    TCanvas tileCanvas(tile);
    tileCanvas.Brush.Color = 0xFF;
    tileCanvas.FillRect(TRect{0, 0, 4, 4});
    tileCanvas.SetPixel(0, 0, 0xFF00);
    s.lf->FillRect(TRect{3, 3, 13, 9}, &tile);
    EXPECT_EQ(s.At(4, 4), 0xFF00);
    EXPECT_EQ(s.At(8, 8), 0xFF00);
    EXPECT_EQ(s.At(3, 3), 0xFF);
    EXPECT_EQ(s.At(13, 5), kWhite);
}

TEST(LfBitmap, RunLengthCodingAndTheStreamForm) {
    const uint8_t bytes[] = {1, 1, 1, 2, 3, 3};
    EXPECT_EQ(CompressBitmapData(bytes, 6), (std::vector<uint8_t>{0x03, 0x01, 0x81, 0x02, 0x02, 0x03}));
    std::vector<uint8_t> mixed;
    for (int i = 0; i < 400; ++i) mixed.push_back(static_cast<uint8_t>(i < 200 ? i % 7 : 9));
    const auto packed = CompressBitmapData(mixed.data(), mixed.size());
    EXPECT_EQ(DecompressBitmapData(packed.data(), packed.size()), mixed);
    const uint8_t damaged[] = {0x85, 1, 2};
    EXPECT_THROW(DecompressBitmapData(damaged, 3), EReadError);

    for (bool compress : {false, true}) {
        TlfCustomBitmap bitmap(30, 20, TPixelFormat::pf24bit);
        bitmap.Canvas().Brush.Color = 0x808080;
        bitmap.Canvas().FillRect(TRect{0, 0, 30, 20});
        bitmap.Canvas().SetPixel(29, 0, 0xFF);
        bitmap.CompressData = compress;
        TMemoryStream stream;
        bitmap.WriteData(stream);
        EXPECT_EQ(std::memcmp(stream.Memory() + 4, "RKBM", 4) == 0, compress);
        if (compress) {
            EXPECT_LT(stream.GetSize(), 30 * 20 * 3 / 4);
        }
        stream.SetPosition(0);
        TlfCustomBitmap copy;
        copy.ReadData(stream);
        ASSERT_EQ(copy.Width(), 30);
        ASSERT_EQ(copy.Height(), 20);
        EXPECT_EQ(copy.Canvas().GetPixel(29, 0), 0xFF);
        EXPECT_EQ(copy.Canvas().GetPixel(3, 19), 0x808080);
    }
}

TEST(LfBitmap, RotationsPlaceEachPixel) {
    // A 3 x 2 bitmap with distinct pixels; where pixel (0, 0) and (2, 1) land.
    struct TCase {
        int Angle;
        bool Flip;
        int32_t W, H;
        TPoint First, Last;
    } cases[] = {{0, true, 3, 2, {0, 1}, {2, 0}},  {1, false, 2, 3, {0, 2}, {1, 0}}, {1, true, 2, 3, {0, 0}, {1, 2}},
                 {2, false, 2, 3, {1, 0}, {0, 2}}, {2, true, 2, 3, {1, 2}, {0, 0}},  {3, false, 3, 2, {2, 1}, {0, 0}},
                 {3, true, 3, 2, {2, 0}, {0, 1}}};
    for (const TCase& c : cases) {
        TlfCustomBitmap bitmap(3, 2, TPixelFormat::pf24bit);
        for (int32_t y = 0; y < 2; ++y)
            for (int32_t x = 0; x < 3; ++x) bitmap.Canvas().SetPixel(x, y, RGBColor(uint8_t(10 + x), uint8_t(20 + y), 0));
        bitmap.Rotate(c.Angle, c.Flip);
        ASSERT_EQ(bitmap.Width(), c.W) << c.Angle;
        ASSERT_EQ(bitmap.Height(), c.H) << c.Angle;
        EXPECT_EQ(bitmap.Canvas().GetPixel(c.First.X, c.First.Y), RGBColor(10, 20, 0)) << c.Angle << c.Flip;
        EXPECT_EQ(bitmap.Canvas().GetPixel(c.Last.X, c.Last.Y), RGBColor(12, 21, 0)) << c.Angle << c.Flip;
    }
    TlfCustomBitmap wide(2, 1, TPixelFormat::pf24bit);
    wide.Rotate(1);
    EXPECT_EQ(wide.Width(), 1);
    EXPECT_EQ(wide.Height(), 2);
    // The whole turned bitmap can be drawn on.
    EXPECT_EQ(wide.Canvas().ClipRect(), (TRect{0, 0, 1, 2}));
    TlfCustomBitmap tall(18, 50, TPixelFormat::pf24bit);
    tall.Rotate(2);
    EXPECT_EQ(tall.Canvas().ClipRect(), (TRect{0, 0, 50, 18}));
    // So can a bitmap that grew.
    tall.SetSize(200, 30);
    EXPECT_EQ(tall.Canvas().ClipRect(), (TRect{0, 0, 200, 30}));
}

TEST(LfBitmap, FiltersChangeEachPixelByItsRule) {
    SetSystemColor(COLOR_BTNSHADOW, 0x808080);
    const uint32_t transparent = 0xFF00FF00;
    struct TCase {
        TlfBitmapFilter Kind;
        uint32_t In, Out;
    } cases[] = {
        {bfLighten, 0xFF0A1464, 0xFF535A92},      // c + (255 - c) * 3 / 10
        {bfLighten, 0x80FF0000, 0x64C80000},      // scaled by 200 / 255
        {bfMean, 0xFF0A1464, 0xFF2B2B2B},
        {bfOpaque, 0x00123456, 0xFF123456},
        {bfMask, 0xFF123456, 0x00000000},
        {bfMask, transparent, 0xFFFFFFFF},
        {bfGrey, 0xFF0A1464, 0xFF1A1A1A},         // 0.299, 0.587, 0.114: 26.13
        {bfGreyLuminance, 0xFF0A1464, 0xFF242424},  // 0.0729, 0.7146, 0.2125: 36.27
        {bfAlphaFromZero, 0x00123456, 0xFF123456},
        {bfClear, 0xFF123456, transparent},
        {bfGrey, transparent, transparent},       // transparent pixels stay
        {bfShadowGrey, 0xFFFFFFFF, BlendPixel(0xC0808080, 0xFFFFFFFF, 238)},
    };
    for (const TCase& c : cases) {
        TlfBitmap bitmap(1, 1);
        bitmap.TransparentBkColor = transparent;
        bitmap.SetPixels({c.In});
        bitmap.ApplyFilter(c.Kind);
        EXPECT_EQ(bitmap.GetPixels()[0], c.Out) << int(c.Kind) << " " << std::hex << c.In;
    }
    ResetSystemColors();
    TlfBitmap checker(4, 2);
    checker.CheckerSize = 2;
    checker.CheckerColor1 = 0xFFFFFFFF;
    checker.CheckerColor2 = 0xFF000000;
    checker.ApplyFilter(bfChecker);
    const auto pixels = checker.GetPixels();
    EXPECT_EQ(pixels[0], 0xFFFFFFFFu);
    EXPECT_EQ(pixels[2], 0xFF000000u);
    // TransparentPixels count by their RGB part.
    TlfBitmap listed(1, 1);
    listed.TransparentPixels = {0x123456};
    listed.SetPixels({0x7F123456});
    listed.ApplyFilter(bfMask);
    EXPECT_EQ(listed.GetPixels()[0], 0xFFFFFFFFu);
}

TEST(LfColors, ArithmeticAndNames) {
    TColor color = 0;
    EXPECT_TRUE(ColorByName("LIGHTGREY", color));
    EXPECT_EQ(color, 0xD3D3D3);
    EXPECT_TRUE(ColorByName("lightgrey", color));
    EXPECT_FALSE(ColorByName("lightgray", color));
    EXPECT_FALSE(ColorByName("grey", color));
    EXPECT_TRUE(ColorByName("Gray", color));
    EXPECT_EQ(color, 0x808080);
    EXPECT_TRUE(ColorByName("cornflowerblue", color));
    EXPECT_EQ(color, 0xED9564);  // 0x6495ED with red in the low byte
    EXPECT_TRUE(ColorByName("ButtonFace", color));
    EXPECT_EQ(color, SysColor(COLOR_BTNFACE));
    EXPECT_TRUE(ColorByName("threedhighlight", color));
    EXPECT_EQ(color, SysColor(COLOR_HIGHLIGHTTEXT));

    EXPECT_EQ(ColorToARGB(0x0000FF, 0x80), 0x80FF0000u);
    EXPECT_EQ(BlendPixel(0xFF0000FF, 0xFFFF0000, 255), 0xFF0000FFu);
    EXPECT_EQ(BlendPixel(0xFF0000FF, 0xFFFF0000, 0), 0xFFFF0000u);
    EXPECT_EQ(BlendPixel(0x800000FF, 0xFF000000, 255), 0xFF0000FFu);  // c * source (premultiplied) + (1 - 128/255) * 0
    EXPECT_EQ(ClampChannel(-5), 0);
    EXPECT_EQ(ClampChannel(300), 255);

    // The selection colours mix button face, highlight and window.
    SetSystemColor(COLOR_BTNFACE, RGBColor(200, 200, 200));
    SetSystemColor(COLOR_HIGHLIGHT, RGBColor(0, 100, 200));
    SetSystemColor(COLOR_WINDOW, RGBColor(255, 255, 255));
    // Red: -4 + 0 + 184 = 180 (MulDiv rounds); green: -4 + 30 + 184 = 210; blue: -4 + 60 + 184 = 240.
    EXPECT_EQ(HotSelectionColor(), RGBColor(180, 210, 240));
    SetSystemColor(COLOR_BTNFACE, RGBColor(255, 255, 255));
    EXPECT_EQ(MixSelectionColor(14, 44, 40), RGBColor(0, 100, 200));
    ResetSystemColors();
}

}  // namespace

namespace {

// A windowed control that paints itself one colour, with a flat border.
class TPanelOf : public TCustomControl {
public:
    TPanelOf(TComponent* owner, TColor color) : TCustomControl(owner), color_(color) {}

protected:
    void CreateParams(TCreateParams& params) override { params.Style |= WS_BORDER; }
    void Paint() override {
        TCanvas canvas(*PaintSurface());
        canvas.Brush.Color = static_cast<uint32_t>(color_);
        canvas.FillRect({0, 0, canvas.Width(), canvas.Height()});
    }

private:
    TColor color_;
};

}  // namespace

TEST(LfCanvas, DrawParentBackgroundPaintsWhatLiesUnderTheControl) {
    constexpr TColor red = 0x0000FF, blue = 0xFF0000;
    TForm form(nullptr);
    form.Color = red;
    form.SetBounds(0, 0, 120, 100);
    auto* sibling = new TPanelOf(&form, blue);  // before the control: under it
    sibling->SetBounds(10, 10, 20, 20);
    sibling->SetParent(&form);
    auto* control = new TPanelOf(&form, 0);
    control->SetBounds(20, 20, 40, 40);
    control->SetParent(&form);
    form.Handle();  // the windows exist, with their borders
    const TColor frame = GetSysColor(COLOR_WINDOWFRAME);
    // At the screen's density and at twice it: the same layout pixels.
    for (int32_t ratio : {1, 2}) {
        SCOPED_TRACE(ratio);
        for (bool children : {true, false}) {
            TBitmap picture;
            picture.SetPixelFormat(TPixelFormat::pf32bit);
            picture.SetDevicePixelRatio(ratio);
            picture.SetSize(40 * ratio, 40 * ratio);
            TCanvas canvas(picture);
            canvas.Brush.Color = kWhite;
            canvas.FillRect({0, 0, 40, 40});
            // Only the top-left 30 x 30 of the control is asked for.
            DrawParentBackground(*control, canvas, {0, 0, 30, 30}, children);
            EXPECT_EQ(canvas.GetPixel(20, 20), red);          // the form alone
            EXPECT_EQ(canvas.GetPixel(35, 35), kWhite);       // outside r: untouched
            EXPECT_EQ(canvas.GetPixel(5, 5), children ? blue : red);  // the sibling's client
            EXPECT_EQ(canvas.GetPixel(9, 5), children ? frame : red);  // its right border
            EXPECT_EQ(canvas.GetPixel(10, 5), red);
        }
    }
    // Without a parent nothing is painted.
    TPanelOf orphan(nullptr, blue);
    orphan.SetBounds(0, 0, 10, 10);
    TSurface s(10, 10);
    DrawParentBackground(orphan, *s.canvas, {0, 0, 10, 10}, true);
    EXPECT_EQ(s.Count(kWhite), 100);
}
