// Layers composed by the view beside ImageMagick's -composite with the same
// geometry.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "imaging/core/ie_view.h"
#include "imaging/core/tests/tool_support.h"
#include "imaging/io/tests/view_test_loader.h"

using namespace imaging_test;

TEST(ToolsViewLayers, FlattenedLayersMatchImageMagicksComposite) {
    REQUIRE_TOOL("convert");
    const auto folder = FixtureFolder("view_layers");
    const auto at = [&](const char* name) { return (folder / name).string(); };
    int status = 0;
    RunCommand("cd " + folder.string() +
                   " && convert -size 120x90 gradient:red-blue base.png"
                   " && convert -size 60x50 gradient:green-yellow \\( -size 60x50 -define gradient:direction=east"
                   " gradient:white-black \\) -alpha off -compose copy_opacity -composite l1.png"
                   " && convert -size 70x40 pattern:checkerboard -fill orange -opaque white l2.png"
                   " && convert -size 50x50 radial-gradient:white-purple l3.png"
                   " && convert base.png -background white -extent 150x90"
                   " l1.png -geometry -10-15 -composite"
                   " \\( l2.png -crop 30x20+0+0 +repage \\) -geometry +90+70 -composite"
                   " \\( l3.png -alpha set -channel A -evaluate multiply 0.2 +channel \\) -geometry +100+20 -composite"
                   " -alpha off reference.png",
               &status);
    ASSERT_EQ(status, 0);

    const TTestViewLoaderScope testLoaders;
    TVidurErView view(nullptr);
    view.SetBackground(clWhite);
    TTestViewLoader& loader = TestLoaderOf(view);
    loader.LoadFromFile(at("base.png"));
    struct Layer {
        const char* file;
        int32_t x, y;
        bool cropped;
        int32_t transparency;
    };
    // Off the top-left corner (cut), cropped to layer 0, and a see-through
    // one that widens the picture.
    for (const Layer& l : {Layer{"l1.png", -10, -15, false, 255}, Layer{"l2.png", 90, 70, true, 255},
                           Layer{"l3.png", 100, 20, false, 51}}) {
        view.LayersAdd();
        loader.LoadFromFile(at(l.file));
        TIELayer& layer = *view.GetCurrentLayer();
        layer.PosX = l.x;
        layer.PosY = l.y;
        layer.Cropped = l.cropped;
        layer.Transparency = l.transparency;
    }
    ASSERT_TRUE(view.GetLayer(1)->GetBitmap()->GetHasAlphaChannel());
    TIEBitmap flat;
    view.LayersDrawTo(flat);
    ASSERT_EQ(flat.GetWidth(), 150);
    ASSERT_EQ(flat.GetHeight(), 90);

    TIEBitmap expected;
    TFileStream file(at("reference.png"), TFileMode::OpenRead);
    TIOParamsVals params;
    TIEProgressRec progress;
    IEReadPNGStream(file, expected, params, false, progress);
    ASSERT_EQ(expected.GetWidth(), 150);
    for (int32_t y = 0; y < 90; ++y)
        for (int32_t x = 0; x < 150; ++x) {
            const TRGB a = flat.GetPixelRGB(x, y), b = expected.GetPixelRGB(x, y);
            const int d = std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
            // The rendering routine blends in 14-bit fixed point and
            // truncates; ImageMagick rounds.
            ASSERT_LE(d, 2) << x << "," << y;
        }
    // The view is laid out as before the flattening.
    EXPECT_EQ(view.Zoom(), 100);
    EXPECT_EQ(view.Width(), 105);
}
