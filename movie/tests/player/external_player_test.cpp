// Movies that ffmpeg wrote (MJPEG pictures, FLV1 video), embedded as sprites
// the way effect templates are, placed at an offset and played in the real
// player: the picture shows where the placement puts it, and nowhere else.
#include <gtest/gtest.h>

#include <filesystem>

#include "movie/external_movie.h"
#include "movie/flash_movie.h"
#include "movie/sprites.h"
#include "platform/player/player_test_support.h"
#include "tool_fixtures.h"

namespace {

bool IsWhite(const TPlayerPixel& p) { return p.r > 245 && p.g > 245 && p.b > 245; }

// The share of non-white pixels in a window-order rectangle of the frame.
double InkShare(const TPlayerFrame& frame, int left, int top, int right, int bottom) {
    int ink = 0, all = 0;
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x, ++all) ink += !IsWhite(Pixel(frame, x, y));
    return all ? double(ink) / all : 0;
}

}  // namespace

TEST(PlayerExternalMovie, FfmpegPicturesEmbeddedAsSpritesShowAtTheirPlacement) {
    TW_REQUIRE_PLAYER();
    std::vector<std::string> movies = FfmpegFixtures();
    if (movies.empty()) TW_SKIP_OR_FAIL() << "ffmpeg is not installed";
    for (const std::string& source : movies) {
        SCOPED_TRACE(source);
        TFlashMovie movie(0, 0, 400, 300, 12, true);
        movie.SetVersion(8);
        movie.GetBackgroundColor().SetRGB(SWFRGB(255, 255, 255));
        TFlashExternalMovie* ext = movie.AddExternalMovieFromFile(source, kExternalSprite, true);
        ASSERT_NE(ext->Sprite(), nullptr);
        // ffmpeg's stage is 160 x 120: the picture covers (100..260, 50..170).
        movie.PlaceObject(ext->Sprite(), 1)->SetTranslate(100, 50);
        movie.ShowFrame();
        movie.MakeStream();
        std::string path = FixtureDir() + "/embedded-" + std::filesystem::path(source).filename().string();
        movie.SaveToFile(path);

        TPlayedMovie played = TPlayerHarness::Shared().Play(path, 3);
        ASSERT_EQ(played.frames.size(), 3u);
        const TPlayerFrame& frame = played.frames.back();
        ASSERT_EQ(frame.width, 400);
        // ffmpeg's test picture is colour bars and patterns: almost no white.
        EXPECT_GT(InkShare(frame, 104, 54, 256, 166), 0.9);
        // Around it the stage stays white: left, above, right and below.
        EXPECT_EQ(InkShare(frame, 0, 0, 96, 300), 0);
        EXPECT_EQ(InkShare(frame, 0, 0, 400, 46), 0);
        EXPECT_EQ(InkShare(frame, 264, 0, 400, 300), 0);
        EXPECT_EQ(InkShare(frame, 0, 174, 400, 300), 0);
    }
}
