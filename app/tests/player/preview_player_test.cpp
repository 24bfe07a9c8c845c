// The preview window in the real player: it takes the movie's size, is
// placed beside the main window once, loads the movie anew every time, and
// stretches the movie to a window resized by hand.
#include <gtest/gtest.h>

#include "app/preview.h"
#include "app/tests/player/capture_movies.h"
#include "platform/player/player_test_support.h"

namespace {

TEST(PreviewWindow, ShowsTheMovieStretchedToItsClientArea) {
    TW_REQUIRE_PLAYER();
    TCaptureMovie m;
    m.Width = 64;
    m.Height = 48;
    m.Frames = 3;
    std::string path = TestScratchFolder("preview-player") + "/preview.swf";
    WriteCaptureMovie(path, m);
    WideString movie = UcSystem::Utf8ToWide(path);

    TFormPreview preview;
    EXPECT_EQ(preview.Caption(), u"Preview Flash movie");
    EXPECT_EQ(preview.ShockwaveFlashExPlayer().ScaleMode, smExactFit);
    EXPECT_EQ(preview.ShockwaveFlashExPlayer().Movie(), u" ");
    preview.ShowMovie(movie, 64, 48, 100, 200, 500);
    EXPECT_TRUE(preview.Visible);
    EXPECT_EQ(preview.Left, 360);
    EXPECT_EQ(preview.Top, 120);
    EXPECT_EQ(preview.ClientWidth(), 64);
    EXPECT_EQ(preview.ClientHeight(), 48);
    EXPECT_EQ(preview.ShockwaveFlashExPlayer().ReadyState(), 4);

    // The same path again is loaded again; a window the user moved stays
    // where it is, a minimised one comes back.
    long loads = TPlayerHarness::Shared().Loads();
    preview.Left = 5;
    preview.Minimized = true;
    preview.ShowMovie(movie, 64, 48, 100, 200, 500);
    EXPECT_EQ(TPlayerHarness::Shared().Loads(), loads + 1);
    EXPECT_FALSE(preview.Minimized);
    EXPECT_EQ(preview.Left, 5);

    // Twice as wide by hand: the movie is stretched across, not centred.
    preview.SetClientSize(128, 48);
    TMyShockwaveFlash& player = preview.ShockwaveFlashExPlayer();
    ASSERT_EQ(player.ReadyState(), 4);
    player.Advance();
    TBitmap picture = MakeBitmap(128, 48, TPixelFormat::pf24bit);
    PaintFlashToCanvas(&player, picture);
    EXPECT_EQ(player.Picture().width, 128);
    EXPECT_EQ(GetBitmapPixel(picture, 14, 5), (TGIFColor{255, 0, 0}));   // the square, stretched
    EXPECT_EQ(GetBitmapPixel(picture, 127, 47), (TGIFColor{0x33, 0x66, 0x99}));  // the background to the edge
}

}  // namespace
