// The application's road through an image view that has no window: load a
// picture, resample it with Lanczos3, rotate it and read back the bitmap and
// its alpha channel. Judged against the same pipeline in ImageMagick.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "imaging/core/ie_proc.h"
#include "imaging/core/ie_view.h"
#include "imaging/core/tests/tool_support.h"
#include "imaging/io/tests/view_test_loader.h"
#include "platform/ui/application.h"
#include "platform/ui/headless.h"

using namespace imaging_test;

namespace {

// Reads a PNG made by ImageMagick, with its alpha channel.
void ReadReference(const std::string& path, TIEBitmap& bitmap) {
    TFileStream file(path, TFileMode::OpenRead);
    TIOParamsVals params;
    TIEProgressRec progress;
    bool abort = false;
    progress.AbortFlag = &abort;
    IEReadPNGStream(file, bitmap, params, false, progress);
    ASSERT_FALSE(abort) << path;
}

}  // namespace

TEST(ToolsViewPipeline, LoadsResamplesRotatesAndHandsBackWithoutADisplay) {
    REQUIRE_TOOL("convert");
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    const auto folder = FixtureFolder("view_pipeline");
    const std::string jpeg = (folder / "in.jpg").string(), png = (folder / "in.png").string();
    int status = 0;
    RunCommand("convert -size 240x160 plasma:fractal -seed 7 -blur 0x1 -quality 92 " + jpeg, &status);
    ASSERT_EQ(status, 0);
    RunCommand("convert -size 240x160 gradient:yellow-navy \\( -size 240x160 xc:white -fill black -draw \"circle 120,80 120,125\" -blur 0x6 \\) "
               "-alpha off -compose copy_opacity -composite " + png, &status);
    ASSERT_EQ(status, 0);
    const TTestViewLoaderScope testLoaders;

    struct Case {
        std::string input;
        bool alpha;
    };
    for (const Case& c : {Case{jpeg, false}, Case{png, true}}) {
        SCOPED_TRACE(c.input);
        const std::string reference = (folder / "reference.png").string();
        RunCommand("convert " + c.input + " -filter Lanczos -resize 120x80! -rotate -90 " + reference, &status);
        ASSERT_EQ(status, 0);

        // As the application does it: no owner, no parent, never shown.
        auto view = std::make_unique<TVidurErView>(nullptr);
        TestLoaderOf(*view).LoadFromFile(c.input);
        ASSERT_EQ(view->GetIEBitmap()->GetWidth(), 240);
        EXPECT_FALSE(view->HandleAllocated());
        TVidurErProc& proc = *view->GetVidurErProc();
        proc.Resample(120, 80, rfLanczos3);
        proc.Rotate(90, true, 1, clWhite);

        TBitmap* legacy = view->GetBitmap();
        ASSERT_NE(legacy, nullptr);
        ASSERT_EQ(legacy->Width(), 80);
        ASSERT_EQ(legacy->Height(), 120);
        ASSERT_EQ(legacy->PixelFormat(), TPixelFormat::pf24bit);
        ASSERT_EQ(view->GetHasAlphaChannel(), c.alpha);

        TIEBitmap expected;
        ReadReference(reference, expected);
        ASSERT_EQ(expected.GetWidth(), 80);
        ASSERT_EQ(expected.GetHeight(), 120);
        double colourError = 0, alphaError = 0;
        int64_t colourCount = 0;
        for (int32_t y = 0; y < 120; ++y) {
            const uint8_t* row = legacy->ScanLine(y);
            for (int32_t x = 0; x < 80; ++x) {
                const TRGB want = expected.GetPixelRGB(x, y);
                if (c.alpha) {
                    const uint8_t a = view->GetAlphaChannel()->GetPixelByte(x, y);
                    alphaError += std::abs(a - expected.GetAlpha(x, y));
                    // ImageMagick weights colours by their alpha while resampling; where
                    // alpha is partial the two rightly differ.
                    if (a < 255 || expected.GetAlpha(x, y) < 255) continue;
                }
                colourError += std::abs(row[3 * x] - want.b) + std::abs(row[3 * x + 1] - want.g) +
                               std::abs(row[3 * x + 2] - want.r);
                colourCount += 3;
            }
        }
        ASSERT_GT(colourCount, 3000);
        EXPECT_LT(colourError / static_cast<double>(colourCount), 2.0) << colourCount;
        if (c.alpha) {
            EXPECT_LT(alphaError / (80.0 * 120.0), 1.5) << alphaError;
        }
    }
    // The whole road ran on the headless plugin: no display was opened.
    EXPECT_NE(HeadlessBackend(), nullptr);
}
