// The movie builder's shapes as the real player draws them, put beside
// ImageMagick's drawing of the same primitives: a translucent rectangle, a
// radial-gradient ellipse, a rounded rectangle, a star, a pie and a dashed
// line, each compared by the overlap of its filled area and the colour
// inside it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "../shapes_fixture.h"
#include "platform/player/player_harness.h"
#include "platform/player/player_test_support.h"
#include "player_files.h"

namespace {

std::string TempPath(const std::string& name) { return PlayerTempPath("tw_shapes_player", name); }

// Single quotes for the shell; the MVG text itself uses single quotes for
// paths, which become '\''.
std::string ShellQuote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') out += "'\\''";
        else out += c;
    }
    return out + "'";
}

std::vector<uint8_t> RunForBytes(const std::string& command) {
    std::vector<uint8_t> bytes;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return bytes;
    uint8_t buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) bytes.insert(bytes.end(), buffer, buffer + got);
    EXPECT_EQ(pclose(pipe), 0) << command;
    return bytes;
}

struct TImage {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;
    TPlayerPixel At(int x, int y) const {
        size_t i = (size_t(y) * width + x) * 4;
        return TPlayerPixel{rgba[i], rgba[i + 1], rgba[i + 2], rgba[i + 3]};
    }
};

int WhiteDistance(const TPlayerPixel& p) { return std::max({255 - p.r, 255 - p.g, 255 - p.b}); }

int ColourDistance(const TPlayerPixel& a, const TPlayerPixel& b) {
    return std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
}

}  // namespace

TEST(PlayerShapes, DrawnAsImageMagickDrawsThem) {
    TW_REQUIRE_PLAYER();
    std::string why;
    if (!ImageMagickReady(why)) {
        TW_SKIP_OR_FAIL() << why;
    }
    TFlashMovie movie(0, 0, kShapesMovieWidth, kShapesMovieHeight, 12, true);
    std::vector<TShapeCase> cases = BuildShapesMovie(movie);
    movie.MakeStream();
    ASSERT_GE(movie.Version, 3) << "the translucent rectangle needs DefineShape3";
    const std::string swfPath = TempPath("shapes.swf");
    movie.SaveToFile(swfPath);

    TPlayedMovie played = TPlayerHarness::Shared().Play(swfPath, 1);
    ASSERT_EQ(played.frames.size(), 1u);
    const TPlayerFrame& frame = played.frames.back();
    ASSERT_EQ(frame.width, kShapesMovieWidth);
    ASSERT_EQ(frame.height, kShapesMovieHeight);
    TImage player{frame.width, frame.height, frame.rgba};
    // Kept beside ImageMagick's picture, for a person to compare.
    {
        const std::string command = "convert -size " + std::to_string(frame.width) + "x" +
                                    std::to_string(frame.height) + " -depth 8 rgba:- " + ShellQuote(TempPath("player.png"));
        FILE* pipe = popen(command.c_str(), "w");
        ASSERT_NE(pipe, nullptr);
        std::fwrite(frame.rgba.data(), 1, frame.rgba.size(), pipe);
        pclose(pipe);
    }

    const std::string pngPath = TempPath("imagemagick.png");
    // Drawn four times as large and scaled down by averaging: ImageMagick
    // grows every edge by about a quarter of its pixel, which would show on
    // a line a few pixels wide. Its pixel (x, y) is centred on (x, y), the
    // player's covers [x, x + 1): hence the half-pixel move.
    std::string command = "convert -size " + std::to_string(kShapesMovieWidth * 4) + "x" +
                          std::to_string(kShapesMovieHeight * 4) + " xc:white";
    for (const TShapeCase& c : cases) command += " -draw " + ShellQuote("translate -0.5,-0.5 scale 4,4 " + c.draw);
    command += " -scale 25% " + ShellQuote(pngPath);
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    TImage drawn{kShapesMovieWidth, kShapesMovieHeight,
                 RunForBytes("convert " + ShellQuote(pngPath) + " -depth 8 rgba:-")};
    ASSERT_EQ(drawn.rgba.size(), size_t(kShapesMovieWidth) * kShapesMovieHeight * 4);

    for (const TShapeCase& c : cases) {
        SCOPED_TRACE(c.name);
        const TPlayerPixel inPlayer = player.At(c.inside.X, c.inside.Y);
        const TPlayerPixel inDrawing = drawn.At(c.inside.X, c.inside.Y);
        EXPECT_LE(ColourDistance(inPlayer, inDrawing), 3)
            << "player " << int(inPlayer.r) << "," << int(inPlayer.g) << "," << int(inPlayer.b) << " ImageMagick "
            << int(inDrawing.r) << "," << int(inDrawing.g) << "," << int(inDrawing.b);
        // A pixel counts as filled when at least half covered: half of the
        // full colour's distance from the white background.
        const int threshold = std::max(1, WhiteDistance(inDrawing) / 2);
        int both = 0, either = 0;
        for (int y = c.region.Top; y < c.region.Bottom; ++y)
            for (int x = c.region.Left; x < c.region.Right; ++x) {
                const bool a = WhiteDistance(player.At(x, y)) >= threshold;
                const bool b = WhiteDistance(drawn.At(x, y)) >= threshold;
                both += a && b;
                either += a || b;
            }
        ASSERT_GT(either, 0);
        const double overlap = double(both) / either;
        EXPECT_GE(overlap, 0.95) << both << " of " << either << " pixels";
        std::printf("%-22s overlap %.4f (%d of %d pixels)\n", c.name, overlap, both, either);
    }

    // The radial gradient spreads over the ellipse, not over a circle: half
    // way to the rim across and down it is half way from yellow to blue.
    for (const TPoint& p : {TPoint{360, 100}, TPoint{320, 130}}) {
        const double reach = std::hypot((p.X + 0.5 - 320) / 80.0, (p.Y + 0.5 - 100) / 60.0);
        const int blue = static_cast<int>(std::lround(reach * 255));
        const TPlayerPixel expected{static_cast<uint8_t>(255 - blue), static_cast<uint8_t>(255 - blue),
                                    static_cast<uint8_t>(blue), 255};
        EXPECT_LE(ColourDistance(player.At(p.X, p.Y), expected), 4) << p.X << "," << p.Y;
    }
}
