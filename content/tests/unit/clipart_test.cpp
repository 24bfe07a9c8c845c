// The clip art and the sound that ship in the program folder, judged by
// ImageMagick and ffprobe, read by the movie builder's sound reader, and
// made the same on every run.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "content/tests/content_test_support.h"
#include "movie/sound_reader.h"
#include "movie/sounds.h"
#include "platform/testing/test_support.h"

namespace {

namespace fs = std::filesystem;

std::string ClipartFolder() { return ShippedProgramFolder() + "clipart/"; }

struct TPicture {
    const char* Name;
    const char* Facts;  // ImageMagick's format, size and channels
};

const TPicture kPictures[] = {
    {"Sun.png", "PNG 256 256 srgba"},  {"Balloon.png", "PNG 200 300 srgba"}, {"Star.png", "PNG 256 256 srgba"},
    {"Gift.png", "PNG 256 256 srgba"}, {"Heart.png", "PNG 240 220 srgba"},   {"Landscape.jpg", "JPEG 400 300 srgb"},
};

// Pictures with alpha are clear at their corners and solid in the middle,
// with soft edges between; the JPEG is a full picture.
TEST(ShippedClipart, PicturesAsImageMagickSeesThem) {
    if (!ToolInstalled("identify")) TW_SKIP_OR_FAIL() << "ImageMagick is not installed";
    for (const TPicture& picture : kPictures) {
        SCOPED_TRACE(picture.Name);
        std::string path = ClipartFolder() + picture.Name;
        ASSERT_TRUE(fs::is_regular_file(path));
        EXPECT_EQ(CommandOutput("identify -format '%m %w %h %[channels]' '" + path + "'"), picture.Facts);
        std::string facts = picture.Facts;
        if (facts.find("srgba") == std::string::npos) {
            // Not one flat colour: the standard deviation of its grey levels.
            EXPECT_GT(std::stod(CommandOutput("convert '" + path +
                                              "' -colorspace gray -format '%[fx:standard_deviation]' info:")),
                      0.05);
            continue;
        }
        EXPECT_EQ(CommandOutput("convert '" + path + "' -format '%[fx:p{0,0}.a]' info:"), "0");
        EXPECT_EQ(CommandOutput("convert '" + path + "' -format '%[fx:p{w/2,h/2}.a]' info:"), "1");
        // Partly covered pixels: anti-aliased edges.
        double soft = std::stod(
            CommandOutput("convert '" + path + "' -alpha extract -fx 'u>0.02&&u<0.98' -format '%[fx:mean]' info:"));
        EXPECT_GT(soft, 0.002);
    }
}

TEST(ShippedClipart, ChimeIsAShortMovieSound) {
    std::string path = ClipartFolder() + "Chime.wav";
    TWaveReader reader(path);
    EXPECT_EQ(reader.FormatTag, kWaveFormatPCM);
    EXPECT_EQ(reader.Channels, 1);
    EXPECT_EQ(reader.SampleRate, 22050u);
    EXPECT_EQ(reader.BitsPerSample, 16);
    EXPECT_NEAR(reader.Duration, 2.5, 0.01);
    EXPECT_NO_THROW(CheckMovieSound(reader, path));
    EXPECT_TRUE(IsSoundFileSupported(path));
    if (!ToolInstalled("ffprobe")) TW_SKIP_OR_FAIL() << "ffprobe is not installed";
    EXPECT_EQ(
        CommandOutput("ffprobe -v error -show_entries stream=codec_name,sample_rate,channels,duration -of csv=p=0 '" +
                      path + "'"),
        "pcm_s16le,22050,1,2.500000\n");
    // It rings: loud at the strike, faded out at the end.
    auto peak = [&](const char* span) {
        std::string text = CommandOutput("ffmpeg -nostdin -i '" + path + "' -af 'atrim=" + span +
                                         ",volumedetect' -f null - 2>&1 | sed -n 's/.*max_volume: \\(.*\\) dB/\\1/p'");
        return text.empty() ? 0.0 : std::stod(text);
    };
    EXPECT_GT(peak("0:0.5"), -4.0);
    EXPECT_LT(peak("2.3:2.5"), -30.0);
}

// The generator draws and writes the same bytes on every run.
TEST(ShippedClipart, MadeTheSameEveryRun) {
    std::string folder = TestScratchFolder("clipart");
    ASSERT_EQ(std::system(("'" + std::string(TW_MAKE_CLIPART) + "' '" + folder + "'").c_str()), 0);
    int files = 0;
    for (const auto& entry : fs::directory_iterator(ClipartFolder())) {
        SCOPED_TRACE(entry.path().filename().string());
        EXPECT_TRUE(FileBytes(entry.path().string()) ==
                    FileBytes((fs::path(folder) / entry.path().filename()).string()));
        ++files;
    }
    EXPECT_EQ(files, 7);
}

}  // namespace
