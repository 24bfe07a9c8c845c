// Our GIF files judged by ImageMagick and gifsicle, and ImageMagick's GIF
// files read by our reader. The suite names end in "Tools" (label "tools").
#include <gtest/gtest.h>

#include "gif_test_support.h"
#include "pictures/gif_frame_helpers.h"

namespace {

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    WriteFileBytes(path, bytes.data(), bytes.size());
}

// ImageMagick's decode of frame `frame` as 8-bit RGBA, the frame's own size.
std::vector<uint8_t> MagickRgba(const std::string& gif, int frame) {
    std::string out = gif + "." + std::to_string(frame) + ".rgba";
    std::filesystem::remove(out);
    int status = 0;
    RunCommand("convert '" + gif + "[" + std::to_string(frame) + "]' -depth 8 rgba:'" + out + "' 2>&1", &status);
    EXPECT_EQ(status, 0) << gif;
    return ReadBytes(out);
}

// Our frame as RGBA (transparent pixels with alpha 0).
std::vector<uint8_t> OurRgba(const TGIFSubImage& frame) {
    TBitmap bitmap = frame.ToBitmap();
    std::vector<uint8_t> rgba;
    for (int y = 0; y < bitmap.Height(); ++y)
        for (int x = 0; x < bitmap.Width(); ++x) {
            TGIFColor c = GetBitmapPixel(bitmap, x, y);
            bool clear = frame.IndexData()[static_cast<size_t>(y) * bitmap.Width() + x] == frame.TransparentIndex();
            rgba.insert(rgba.end(), {c.Red, c.Green, c.Blue, static_cast<uint8_t>(clear ? 0 : 255)});
        }
    return rgba;
}

// Compares two RGBA buffers; colours of fully transparent pixels do not count.
void ExpectSamePixels(const std::vector<uint8_t>& ours, const std::vector<uint8_t>& theirs) {
    ASSERT_EQ(ours.size(), theirs.size());
    size_t differences = 0;
    for (size_t i = 0; i < ours.size(); i += 4) {
        bool bothClear = ours[i + 3] == 0 && theirs[i + 3] == 0;
        if (bothClear) continue;
        if (!std::equal(ours.begin() + static_cast<std::ptrdiff_t>(i), ours.begin() + static_cast<std::ptrdiff_t>(i + 4),
                        theirs.begin() + static_cast<std::ptrdiff_t>(i)))
            ++differences;
    }
    EXPECT_EQ(differences, 0u) << "of " << ours.size() / 4 << " pixels";
}

}  // namespace

TEST(GifExportTools, ThreeFramesWithDelayAndLoopForever) {
    REQUIRE_TOOL("identify");
    REQUIRE_TOOL("gifsicle");
    // As the export makes them: octree colours, Floyd-Steinberg, LZW.
    TGIFImage gif;
    gif.ReductionMethod = rdOctree;
    gif.DitherMethod = dtFloydSteinberg;
    gif.CompressionMethod = cmLZW;
    for (int i = 0; i < 3; ++i) AddGifFrame(gif, GradientBitmap(64, 48, i * 40), -1, 0, 1000 / 12);
    std::string path = FixtureDir() + "/three-frames.gif";
    gif.SaveToFile(path);

    EXPECT_EQ(RunCommand("identify -format '%T %w %h|' '" + path + "'"), "8 64 48|8 64 48|8 64 48|");
    std::string verbose = RunCommand("identify -verbose '" + path + "'");
    EXPECT_NE(verbose.find("Iterations: 0"), std::string::npos);
    std::string info = RunCommand("gifsicle -I '" + path + "'");
    EXPECT_NE(info.find("3 images"), std::string::npos) << info;
    EXPECT_NE(info.find("loop forever"), std::string::npos) << info;
    EXPECT_NE(info.find("delay 0.08s"), std::string::npos) << info;
    // What ImageMagick sees is what our model holds.
    for (int i = 0; i < 3; ++i) ExpectSamePixels(OurRgba(gif.GetSubImage(i)), MagickRgba(path, i));

    // Written frame by frame as they come, the same file, byte for byte,
    // while the image never holds a frame between two.
    TGIFImage settings;
    settings.ReductionMethod = rdOctree;
    settings.DitherMethod = dtFloydSteinberg;
    settings.CompressionMethod = cmLZW;
    TMemoryStream streamed;
    TGIFFrameWriter writer(settings, streamed);
    for (int i = 0; i < 3; ++i) {
        writer.AddFrame(GradientBitmap(64, 48, i * 40), -1, 0, 1000 / 12);
        EXPECT_TRUE(settings.Empty());
    }
    writer.Finish();
    EXPECT_EQ(streamed.Bytes(), ReadBytes(path));
}

TEST(GifEncoderTools, ImageMagickDecodesOurPixelsExactly) {
    REQUIRE_TOOL("convert");
    struct Case {
        const char* name;
        int width, height, colors;
        bool global, interlaced;
        bool runs;  // half the frame one colour
    };
    const Case cases[] = {
        {"1x1", 1, 1, 2, false, false, false},
        {"two colours, smallest code size", 13, 7, 2, false, false, false},
        {"256 colours past 4096 codes", 200, 150, 256, false, false, false},
        {"runs and noise", 160, 90, 17, false, false, true},
        {"one colour", 300, 40, 1, false, false, true},
        {"interlaced height 1", 9, 1, 4, true, true, false},
        {"interlaced height 2", 9, 2, 4, true, true, false},
        {"interlaced height 3", 9, 3, 4, true, true, false},
        {"interlaced height 4", 9, 4, 4, true, true, false},
        {"interlaced tall", 31, 45, 64, true, true, true},
    };
    for (int method : {cmLZW, cmRLE}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << c.name << (method == cmRLE ? " RLE" : " LZW"));
            TGIFImage gif;
            gif.CompressionMethod = method;
            std::vector<uint8_t> pixels = NoiseIndices(static_cast<size_t>(c.width) * c.height, c.colors, 11);
            if (c.runs)
                for (size_t i = 0; i < pixels.size() / 2; ++i) pixels[i] = 0;
            TGIFSubImage& frame = AddIndexedFrame(gif, c.width, c.height, c.colors, pixels, c.global, c.interlaced);
            std::string path = FixtureDir() + "/encoded-" + std::to_string(method) + "-" + std::to_string(c.width) +
                               "x" + std::to_string(c.height) + "-" + std::to_string(c.colors) + ".gif";
            WriteFile(path, SaveGif(gif));
            ExpectSamePixels(OurRgba(frame), MagickRgba(path, 0));
        }
    }
}

TEST(GifEncoderTools, PicturesOfAtMost256ColoursStayExact) {
    REQUIRE_TOOL("convert");
    // Neighbouring colours (many share their top five bits) reduced as the
    // export reduces them: all of them fit the table, so none may move.
    for (int colours : {2, 37, 200, 256}) {
        SCOPED_TRACE(colours);
        TBitmap bitmap = MakeBitmap(32, 16, TPixelFormat::pf24bit);
        std::vector<uint8_t> want;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 32; ++x) {
                const int i = (y * 32 + x) * 7 % colours;
                const TGIFColor c{static_cast<uint8_t>(i), static_cast<uint8_t>(100 + i / 2), static_cast<uint8_t>(255 - i / 3)};
                SetBitmapPixel(bitmap, x, y, c);
                want.insert(want.end(), {c.Red, c.Green, c.Blue, 255});
            }
        TGIFImage gif;
        gif.ReductionMethod = rdOctree;
        gif.DitherMethod = dtFloydSteinberg;
        AddGifFrame(gif, bitmap, -1, 0, 100);
        std::string path = FixtureDir() + "/exact-" + std::to_string(colours) + ".gif";
        WriteFile(path, SaveGif(gif));
        ExpectSamePixels(MagickRgba(path, 0), want);
    }
}

TEST(GifReaderTools, ReadsImageMagickFilesAsImageMagickDoes) {
    REQUIRE_TOOL("convert");
    std::string dir = FixtureDir();
    struct Fixture {
        const char* name;
        const char* command;
        int frames;
    };
    const Fixture fixtures[] = {
        {"interlaced", "-seed 7 -size 37x23 plasma:fractal -interlace GIF", 1},
        {"local tables and offsets",
         "-delay 7 -loop 0 -seed 3 -size 30x20 plasma:fractal -seed 4 -size 24x16 -page +5+3 plasma:fractal "
         "-set comment 'made here'",
         2},
        {"transparency", "-size 20x20 xc:none -fill red -draw 'circle 10,10 10,4'", 1},
        {"several frames", "-delay 20 -size 16x12 xc:blue xc:yellow -size 8x6 -page +3+2 xc:green -dispose previous", 3},
        {"one bit", "-size 33x9 pattern:checkerboard -monochrome", 1},
        {"beyond the screen", "-page 20x20+0+0 -size 20x20 xc:white -page 20x20+15+15 -size 10x10 xc:red", 2},
    };
    for (const Fixture& f : fixtures) {
        SCOPED_TRACE(f.name);
        std::string path = dir + "/magick-" + std::string(f.name).substr(0, 5) + std::to_string(f.frames) + ".gif";
        std::filesystem::remove(path);
        int status = 0;
        RunCommand(std::string("convert ") + f.command + " '" + path + "' 2>&1", &status);
        ASSERT_EQ(status, 0);
        TGIFImage gif;
        LoadResult result = LoadGif(gif, ReadBytes(path));
        EXPECT_TRUE(result.warnings.empty()) << result.warnings.front();
        ASSERT_EQ(gif.Count(), f.frames);
        for (int i = 0; i < f.frames; ++i) ExpectSamePixels(OurRgba(gif.GetSubImage(i)), MagickRgba(path, i));
        // The logical screen is the file's: frames reaching past it are
        // clipped when shown, not a reason to grow it.
        std::string screen = RunCommand("identify -format '%W %H|' '" + path + "'");
        EXPECT_EQ(std::to_string(gif.Width()) + " " + std::to_string(gif.Height()), screen.substr(0, screen.find('|')));
        if (std::string(f.name) == "local tables and offsets") {
            EXPECT_EQ(gif.GetSubImage(1).Left(), 5);
            EXPECT_GT(gif.GetSubImage(1).LocalTable().Count(), 0);
            bool comment = false;
            for (const auto& block : gif.GetSubImage(0).ExtensionBlocks())
                if (auto* text = dynamic_cast<TGIFCommentExtension*>(block.get()))
                    comment = text->Text == std::vector<std::string>{"made here"};
            EXPECT_TRUE(comment);
        }
        if (std::string(f.name) == "transparency") {
            EXPECT_TRUE(gif.GetSubImage(0).HasTransparency);
        }
        // Written back by us, ImageMagick still sees the same frames.
        std::string again = path + ".ours.gif";
        gif.SaveToFile(again);
        for (int i = 0; i < f.frames; ++i) ExpectSamePixels(OurRgba(gif.GetSubImage(i)), MagickRgba(again, i));
    }
}
