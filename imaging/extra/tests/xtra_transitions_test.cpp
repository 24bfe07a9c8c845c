// Every transition kind run by the engine from one picture to another, the
// geometry of the extra painters on small frames, and a contact sheet of all
// kinds at a quarter, half and three quarters of the way.
#include <gtest/gtest.h>

#include <cairo.h>

#include <cstring>
#include <filesystem>
#include <set>
#include <string>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_transitions.h"
#include "imaging/core/tests/bitmap24.h"
#include "imaging/extra/ie_xtra_transitions.h"

namespace {

TBitmap Picture(int32_t w, int32_t h, bool target) {
    TBitmap bitmap;
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    bitmap.SetSize(w, h);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            uint8_t* p = bitmap.ScanLine(y) + 3 * x;  // blue, green, red
            if (!target) {
                p[0] = 210;
                p[1] = static_cast<uint8_t>(x * 200 / std::max(w - 1, 1));
                p[2] = (y % 12) < 2 ? 240 : 30;
            } else {
                p[0] = ((x / 10 + y / 10) % 2) ? 20 : 110;
                p[1] = static_cast<uint8_t>(60 + y * 180 / std::max(h - 1, 1));
                p[2] = 235;
            }
        }
    return bitmap;
}

// A painter of the table called once on a canvas over frame.
void Paint(TIETransitionType kind, TBitmap& frame, const TBitmap& target, int32_t percent) {
    TCanvas canvas(frame);
    canvas.StretchMode = HALFTONE;
    IEExtraTransitionTable()[kind - 1].Painter(canvas, frame, target, {0, 0, frame.Width(), frame.Height()}, 1, percent);
}

void SavePng(const TBitmap& picture, const std::filesystem::path& path) {
    std::filesystem::create_directories(path.parent_path());
    cairo_surface_t* png = cairo_image_surface_create(CAIRO_FORMAT_RGB24, picture.Width(), picture.Height());
    const int stride = cairo_image_surface_get_stride(png);
    uint8_t* data = cairo_image_surface_get_data(png);
    for (int32_t y = 0; y < picture.Height(); ++y)
        for (int32_t x = 0; x < picture.Width(); ++x) {
            const uint8_t* p = picture.ScanLine(y) + 3 * x;
            uint8_t* q = data + static_cast<ptrdiff_t>(y) * stride + 4 * x;
            q[0] = p[0], q[1] = p[1], q[2] = p[2], q[3] = 255;
        }
    cairo_surface_mark_dirty(png);
    EXPECT_EQ(cairo_surface_write_to_png(png, path.c_str()), CAIRO_STATUS_SUCCESS);
    cairo_surface_destroy(png);
}

}  // namespace

TEST(ExtraTransitions, TheTableNamesEveryKindAndPaintsKinds31To163) {
    const TEffect* table = IEExtraTransitionTable();
    ASSERT_EQ(IEEffectTable(), table);
    EXPECT_EQ(IETransitionName(iettCrossDissolve), "Cross Fade");
    EXPECT_EQ(IETransitionName(iettExpandFromLeft), "Expand from Left");
    EXPECT_EQ(IETransitionName(iettDiagonalSweepCounterClockwise), "Diagonal Sweep Counter-Clockwise");
    EXPECT_EQ(IETransitionName(iettRectanglesFromTheBottom), "Rectangles from the Bottom");
    EXPECT_EQ(IETransitionName(iettPanZoom), "");
    for (int kind = 1; kind <= IEEffectTableRows; ++kind) {
        EXPECT_FALSE(std::string(table[kind - 1].Name).empty()) << kind;
        EXPECT_EQ(table[kind - 1].Painter != nullptr, kind >= 31) << kind;
    }
}

// Each kind from the source to the target over steps 0, 256, 512, 768 and
// 1024: the start is the source, the middle differs from both, the end is
// the target (a few kinds end elsewhere by their own geometry).
TEST(ExtraTransitions, EveryKindGoesFromTheSourceToTheTarget) {
    IEExtraTransitionTable();
    constexpr int32_t W = 320, H = 200;
    const TBitmap source = Picture(W, H, false), target = Picture(W, H, true);
    // Where the start is not the source: the fade in starts from the
    // background, the second wipes show their red edge line at once.
    const std::set<int> startsElsewhere = {iettFadeIn, iettLeftRight2, iettUpDown2};
    // Where the end is not the target, and why.
    const std::set<int> endsElsewhere = {
        iettFadeOut,                                   // ends on the background
        iettRightLeft2, iettDownUp2,                   // the red edge line stays at the far edge
        iettRandomPoints, iettRandomBoxes,             // random cover
        iettExpandInFromSides, iettExpandInFromTopAndBottom,  // one-pixel stretch at the seams
        iettQuartersExpandToCenter, iettQuartersSlideInToCenter,
        iettSweepClockwise, iettSweepCounterClockwise,  // a 3.6-degree wedge stays
    };
    TIETransitionEffects effects(nullptr);
    for (int kind = 1; kind < iettPanZoom; ++kind) {
        SCOPED_TRACE(std::to_string(kind) + " " + IETransitionName(static_cast<TIETransitionType>(kind)));
        effects.Run(source, target, static_cast<TIETransitionType>(kind), 1000);
        effects.DrawFrame(0);
        if (startsElsewhere.count(kind)) {
            EXPECT_GT(DifferingPixels(effects.Frame(), source), 0);
        } else {
            EXPECT_EQ(DifferingPixels(effects.Frame(), source), 0);
        }
        effects.DrawFrame(256);
        effects.DrawFrame(512);
        EXPECT_GT(DifferingPixels(effects.Frame(), source), 0);
        EXPECT_GT(DifferingPixels(effects.Frame(), target), 0);
        effects.DrawFrame(768);
        effects.DrawFrame(1024);
        const int64_t left = DifferingPixels(effects.Frame(), target);
        if (endsElsewhere.count(kind)) {
            EXPECT_GT(left, 0);
            if (kind != iettFadeOut) {
                EXPECT_LT(left, W * H / 8);
            }
        } else {
            EXPECT_EQ(left, 0);
        }
    }
    effects.Stop();
}

TEST(ExtraTransitions, ExtentsFollowTheLongerSide) {
    struct TCase {
        int32_t w, h, p, x, y, u;
    } cases[] = {{400, 200, 50, 200, 100, 4}, {200, 400, 25, 50, 100, 4}, {40, 30, 100, 40, 30, 1},
                 {9000, 50, 100, 9000, 50, 100}, {100, 100, 0, 0, 0, 1}};
    for (const TCase& c : cases) {
        const TTransitionExtents e = TransitionExtents({0, 0, c.w, c.h}, 1, c.p);
        EXPECT_EQ(e.X, c.x) << c.w << "x" << c.h << " at " << c.p;
        EXPECT_EQ(e.Y, c.y) << c.w << "x" << c.h << " at " << c.p;
        EXPECT_EQ(e.U, c.u) << c.w << "x" << c.h << " at " << c.p;
        EXPECT_EQ(e.W, c.w);
        EXPECT_EQ(e.H, c.h);
    }
    EXPECT_EQ(MulDiv(7, 1, 2), 4);
    EXPECT_EQ(MulDiv(-7, 1, 2), -4);
    EXPECT_EQ(MulDiv(5, 5, 0), -1);
}

TEST(ExtraTransitions, PaintersPutTheTargetWhereTheirGeometrySays) {
    const uint32_t src = 0x0000FF, red = 0xFF0000, blue = 0x00FF00;
    // The whole target squeezed into the left half (400 x 200 at 50 %):
    // its red half shows on (0..99), its green half on (100..199).
    TBitmap twoHalves = SolidBitmap24(400, 200, red);
    for (int32_t y = 0; y < 200; ++y)
        for (int32_t x = 200; x < 400; ++x) std::memcpy(twoHalves.ScanLine(y) + 3 * x, "\x00\xFF\x00", 3);
    TBitmap frame = SolidBitmap24(400, 200, src);
    Paint(iettExpandFromLeft, frame, twoHalves, 50);
    EXPECT_EQ(Pixel24(frame, 50, 100), red);
    EXPECT_EQ(Pixel24(frame, 150, 100), blue);
    EXPECT_EQ(Pixel24(frame, 250, 100), src);

    // Bars in from the left on 100 x 100: at 25 % the left half of the
    // even bars; at 75 % the even bars full and the odd ones to x = 50.
    const TBitmap target = SolidBitmap24(100, 100, red);
    frame = SolidBitmap24(100, 100, src);
    Paint(iettBarsInFromLeft, frame, target, 25);
    EXPECT_EQ(Pixel24(frame, 10, 2), red);
    EXPECT_EQ(Pixel24(frame, 60, 2), src);
    EXPECT_EQ(Pixel24(frame, 10, 7), src);
    frame = SolidBitmap24(100, 100, src);
    Paint(iettBarsInFromLeft, frame, target, 75);
    EXPECT_EQ(Pixel24(frame, 90, 2), red);
    EXPECT_EQ(Pixel24(frame, 40, 7), red);
    EXPECT_EQ(Pixel24(frame, 60, 7), src);

    // Pushing right moves what the frame holds: by 20 at 10 %, then by 40
    // more at 20 %.
    frame = SolidBitmap24(200, 100, src);
    for (int32_t y = 0; y < 100; ++y) std::memcpy(frame.ScanLine(y) + 3 * 5, "\xFF\xFF\xFF", 3);
    Paint(iettPushRightAndSlideOut, frame, SolidBitmap24(200, 100, red), 10);
    EXPECT_EQ(Pixel24(frame, 25, 50), 0xFFFFFFu);
    Paint(iettPushRightAndSlideOut, frame, SolidBitmap24(200, 100, red), 20);
    EXPECT_EQ(Pixel24(frame, 65, 50), 0xFFFFFFu);
    EXPECT_EQ(Pixel24(frame, 39, 50), red);

    // The circle closing on the centre: nothing at 0 %, everything at 100 %.
    frame = SolidBitmap24(120, 80, src);
    Paint(iettCircularWipeToCenter, frame, SolidBitmap24(120, 80, red), 0);
    EXPECT_EQ(DifferingPixels(frame, SolidBitmap24(120, 80, src)), 0);
    Paint(iettCircularWipeToCenter, frame, SolidBitmap24(120, 80, red), 100);
    EXPECT_EQ(DifferingPixels(frame, SolidBitmap24(120, 80, red)), 0);

    // The sweep: nothing at 1 %; at 100 % a thin wedge left of straight up.
    frame = SolidBitmap24(200, 100, src);
    Paint(iettSweepClockwise, frame, SolidBitmap24(200, 100, red), 1);
    EXPECT_EQ(DifferingPixels(frame, SolidBitmap24(200, 100, src)), 0);
    Paint(iettSweepClockwise, frame, SolidBitmap24(200, 100, red), 100);
    EXPECT_EQ(Pixel24(frame, 98, 5), src);
    EXPECT_EQ(Pixel24(frame, 105, 5), red);
    EXPECT_EQ(Pixel24(frame, 20, 90), red);

    // A very wide frame: the blinds' pitch is one row, and they end.
    frame = SolidBitmap24(9000, 50, src);
    Paint(iettHorizontalBlinds, frame, SolidBitmap24(9000, 50, red), 100);
    EXPECT_EQ(DifferingPixels(frame, SolidBitmap24(9000, 50, red)), 0);

    // The painters leave no clip behind.
    frame = SolidBitmap24(100, 100, src);
    TCanvas canvas(frame);
    IEExtraTransitionTable()[iettCurvedWipeFromLeft - 1].Painter(canvas, frame, target, {0, 0, 100, 100}, 1, 50);
    TRegion clip;
    EXPECT_FALSE(canvas.GetClipRegion(clip));
}

// The contact sheet: every kind at 25, 50 and 75 % of the way, saved as
// artifacts/transitions/contact-sheet.png to look at.
TEST(ExtraTransitions, ContactSheetOfEveryKind) {
    IEExtraTransitionTable();
    constexpr int32_t fw = 144, fh = 90, columns = 4, labelHeight = 13;
    constexpr int32_t cellW = 3 * (fw + 2) + 6, cellH = fh + labelHeight + 6;
    const int32_t rows = (iettPanZoom + columns - 1) / columns;
    TBitmap sheet = SolidBitmap24(columns * cellW, rows * cellH, 0xFFFFFF);
    TCanvas canvas(sheet);
    canvas.Font.Height = -10;
    canvas.Brush.Style = BS_NULL;
    const TBitmap source = Picture(fw, fh, false), target = Picture(fw, fh, true);
    TIEBitmap panZoom(fw * 3, fh * 3, ie24RGB);
    panZoom.CopyFromTBitmap(Picture(fw * 3, fh * 3, true));
    TIETransitionEffects effects(nullptr);
    for (int kind = 1; kind <= iettPanZoom; ++kind) {
        const int32_t cx = ((kind - 1) % columns) * cellW, cy = ((kind - 1) / columns) * cellH;
        if (kind == iettPanZoom)
            effects.RunPanZoom(panZoom, {0, 0, fw * 3, fh * 3}, {fw, fh, 2 * fw, 2 * fh}, fw, fh, 1000);
        else
            effects.Run(source, target, static_cast<TIETransitionType>(kind), 1000);
        int32_t shot = 0;
        for (int32_t step = 0; step <= 768; step += 64) {
            effects.DrawFrame(step);
            if (step == 256 || step == 512 || step == 768) canvas.Draw(cx + 3 + shot++ * (fw + 2), cy + labelHeight + 2, effects.Frame());
        }
        const std::string name = kind == iettPanZoom ? "Pan Zoom" : IETransitionName(static_cast<TIETransitionType>(kind));
        canvas.TextOut(cx + 3, cy + 1, std::to_string(kind) + " " + name);
    }
    effects.Stop();
    SavePng(sheet, std::filesystem::path(TW_ARTIFACT_DIR) / "transitions" / "contact-sheet.png");
}
