// The movies our writer makes, judged by a real player.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/player/player_test_support.h"
#include "swf/control_tags.h"
#include "swf/reader.h"
#include "test_util.h"

namespace {

// The simplest movie: a red background, one frame, End.
Bytes RedMovie(bool compressed, const std::string& path) {
    TSWFStreamReader movie;  // as a writer of header and body
    movie.SetSystemCoord(true);
    movie.SetBounds(TRect{0, 0, 550, 400});
    movie.SetFrameRate(12);
    movie.SetCompressed(compressed);
    movie.FrameCount = 1;
    TBitsEngine be(movie.GetBodyStream());
    TSWFSetBackgroundColor background;
    background.Color.SetRGB(SWFRGB(255, 0, 0));
    background.WriteTag(be);
    TSWFShowFrame show;
    show.WriteTag(be);
    TSWFEnd end;
    end.WriteTag(be);
    movie.SaveToFile(path);
    return ReadFileBytes(path);
}

}  // namespace

TEST(PlayerFileWriter, RedBackgroundPlainAndCompressed) {
    TW_REQUIRE_PLAYER();
    std::filesystem::path folder = std::filesystem::path(TestScratchFolder("tw_player_writer"));
    std::filesystem::create_directories(folder);
    for (bool compressed : {false, true}) {
        SCOPED_TRACE(compressed ? "compressed" : "plain");
        std::string path = (folder / (compressed ? "red-cws.swf" : "red-fws.swf")).string();
        Bytes file = RedMovie(compressed, path);
        // The header the writer gives 550 x 400 at 12 fps.
        if (compressed) {
            EXPECT_EQ(ToHex(Bytes(file.begin(), file.begin() + 8)), "43 57 53 06 1E 00 00 00");
        } else {
            EXPECT_EQ(ToHex(Bytes(file.begin(), file.begin() + 21)),
                      "46 57 53 05 1E 00 00 00 78 00 05 5F 00 00 0F A0 00 00 0C 01 00");
        }
        TPlayedMovie played = TPlayerHarness::Shared().Play(path, 1);
        EXPECT_EQ(played.info.numFrames, 1);
        EXPECT_EQ(played.info.swfVersion, compressed ? 6 : 5);
        ASSERT_EQ(played.frames.size(), 1u);
        const TPlayerFrame& frame = played.frames[0];
        TPlayerPixel centre = Pixel(frame, frame.width / 2, frame.height / 2);
        EXPECT_EQ(centre, (TPlayerPixel{255, 0, 0, 255}));
    }
    std::filesystem::remove_all(folder);
}
