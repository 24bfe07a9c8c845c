// Pictures of the movie builder shown by a real player: every BMP layout as
// a lossless bitmap on an image-filled shape (the padded rows of odd-width
// colour-mapped and 15-bit pictures included, which ffmpeg cannot judge),
// and a JPEG with an alpha plane through whose transparent half the
// background shows.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "../media_fixtures.h"
#include "movie/flash_movie.h"
#include "movie/images.h"
#include "movie/shapes.h"
#include "movie/sprites.h"
#include "platform/player/player_test_support.h"
#include "player_files.h"

namespace {

std::string TempPath(const std::string& name) { return PlayerTempPath("tw_movie_player", name); }

bool MediaToolsReady(std::string& why) {
    if (!HaveImageMagick()) {
        why = "ImageMagick's convert is not installed";
        return false;
    }
    return true;
}

// A bottom-up 8-bit BMP whose values are the alpha: 0 in the left columns,
// 255 in the others.
MediaBytes HalfTransparentAlpha(int32_t width, int32_t height, int32_t clearColumns) {
    MediaBytes out = {'B', 'M'};
    auto put = [&](uint32_t v, int n) {
        for (int i = 0; i < n; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    uint32_t stride = (static_cast<uint32_t>(width) + 3) & ~3u;
    uint32_t offBits = 54 + 256 * 4;
    put(offBits + stride * static_cast<uint32_t>(height), 4);
    put(0, 4);
    put(offBits, 4);
    put(40, 4);
    put(static_cast<uint32_t>(width), 4);
    put(static_cast<uint32_t>(height), 4);
    put(1, 2);
    put(8, 2);
    put(0, 4);
    put(stride * static_cast<uint32_t>(height), 4);
    put(0, 4);
    put(0, 4);
    put(256, 4);
    put(0, 4);
    for (uint32_t i = 0; i < 256; ++i) put(i * 0x010101u, 4);
    for (int32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < stride; ++x) out.push_back(int32_t(x) < clearColumns ? 0 : 255);
    return out;
}

}  // namespace

// Each layout in its own cell at scale 1: the player shows ImageMagick's
// pixels (those with alpha over the white background).
TEST(PlayerImages, LosslessBitmapsShowTheirPixels) {
    TW_REQUIRE_PLAYER();
    std::string why;
    if (!MediaToolsReady(why)) {
        TW_SKIP_OR_FAIL() << why;
    }
    const std::vector<PictureFixture>& layouts = BmpLayouts();
    const int columns = 4, cellWidth = 70, cellHeight = 45;
    const int rows = static_cast<int>((layouts.size() + columns - 1) / columns);
    TFlashMovie movie(0, 0, columns * cellWidth, rows * cellHeight, 12, true);
    movie.SetVersion(8);  // fills placed exactly, without the older players' correction
    movie.GetBackgroundColor().SetRGB(SWFRGB(255, 255, 255));
    for (size_t i = 0; i < layouts.size(); ++i) {
        TFlashImage* image = movie.AddImage(BmpFixture(layouts[i]));
        TFlashShape* shape = movie.AddImageShape(image);
        movie.PlaceObject(shape, static_cast<uint16_t>(i + 1))
            ->SetTranslate(static_cast<int32_t>(i % columns) * cellWidth, static_cast<int32_t>(i / columns) * cellHeight);
    }
    movie.ShowFrame();
    movie.MakeStream();
    const std::string path = TempPath("bitmaps.swf");
    movie.SaveToFile(path);

    // The one frame is judged on its third showing: on a loaded machine the
    // player may present the first tick before its bitmaps are ready.
    TPlayedMovie played = TPlayerHarness::Shared().Play(path, 3);
    ASSERT_EQ(played.frames.size(), 3u);
    const TPlayerFrame& frame = played.frames.back();
    for (size_t i = 0; i < layouts.size(); ++i) {
        SCOPED_TRACE(layouts[i].name);
        MediaBytes expected = ImageMagickRGBA(BmpFixture(layouts[i]));
        ASSERT_EQ(expected.size(), 61u * 37u * 4u);
        const int left = static_cast<int>(i % columns) * cellWidth, top = static_cast<int>(i / columns) * cellHeight;
        double sum = 0;
        int worst = 0;
        for (int y = 0; y < 37; ++y)
            for (int x = 0; x < 61; ++x) {
                TPlayerPixel shown = Pixel(frame, left + x, top + y);
                const uint8_t* source = &expected[(size_t(y) * 61 + x) * 4];
                const uint8_t got[3] = {shown.r, shown.g, shown.b};
                for (int c = 0; c < 3; ++c) {
                    // Over white.
                    int want = (source[c] * source[3] + 255 * (255 - source[3]) + 127) / 255;
                    int d = std::abs(want - got[c]);
                    sum += d;
                    worst = std::max(worst, d);
                }
            }
        double mean = sum / (61.0 * 37.0 * 3.0);
        // 15 bits: five bits a channel, the lowest green bit of 5-6-5 lost.
        bool fifteen = std::string(layouts[i].name).rfind("16bit", 0) == 0;
        EXPECT_LE(mean, fifteen ? 4.0 : 1.0);
        EXPECT_LE(worst, fifteen ? 12 : 4);
    }
}

// A JPEG with an alpha plane (DefineBitsJPEG3) on an image-filled shape: the
// background shows through its transparent half, the picture in the other.
TEST(PlayerImages, JPEGWithAlphaShowsTheBackgroundThrough) {
    TW_REQUIRE_PLAYER();
    std::string why;
    if (!MediaToolsReady(why)) {
        TW_SKIP_OR_FAIL() << why;
    }
    std::string jpeg = JpegFixture(false);
    TFlashMovie movie(0, 0, 200, 100, 12, true);
    movie.SetVersion(8);
    movie.GetBackgroundColor().SetRGB(SWFRGB(0, 0, 255));
    TFlashImage* image = movie.AddImage(jpeg);
    TMemoryStream alpha(HalfTransparentAlpha(61, 37, 30));
    image->LoadAlphaFromStream(alpha);
    ASSERT_EQ(image->RequiredVersion(), 3);
    TFlashShape* shape = movie.AddImageShape(image);
    TFlashPlaceObject* place = movie.PlaceObject(shape, 1);
    place->SetTranslate(20, 10);
    place->SetScale(2, 2);
    movie.ShowFrame();
    movie.MakeStream();
    const std::string path = TempPath("jpeg3.swf");
    movie.SaveToFile(path);

    TPlayedMovie played = TPlayerHarness::Shared().Play(path, 1);
    ASSERT_EQ(played.frames.size(), 1u);
    const TPlayerFrame& frame = played.frames.back();
    MediaBytes source = ImageMagickRGBA(jpeg);
    int transparent = 0, opaque = 0, checked = 0;
    for (int y = 2; y < 35; y += 4)
        for (int x = 2; x < 59; x += 4) {
            if (x >= 28 && x <= 31) continue;  // the edge, blended by smoothing
            TPlayerPixel shown = Pixel(frame, 20 + 2 * x + 1, 10 + 2 * y + 1);
            ++checked;
            if (x < 30) {
                transparent += shown == TPlayerPixel{0, 0, 255, 255};
            } else {
                const uint8_t* want = &source[(size_t(y) * 61 + x) * 4];
                opaque += std::abs(want[0] - shown.r) <= 16 && std::abs(want[1] - shown.g) <= 16 &&
                          std::abs(want[2] - shown.b) <= 16;
            }
        }
    EXPECT_EQ(transparent + opaque, checked) << transparent << " transparent and " << opaque << " opaque of " << checked;
    EXPECT_GT(transparent, 50);
    EXPECT_GT(opaque, 50);
}
