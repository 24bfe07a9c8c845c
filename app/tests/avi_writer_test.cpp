// The AVI writer judged by ffprobe and ffmpeg: stream layout, frame rate,
// frame count and pixels of the files it writes, the WAVE audio it adds,
// and the files it refuses to write.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/avi_writer.h"
#include "app/tests/capture_test_support.h"

namespace {

std::string Scratch(const std::string& name) {
    return TestScratchFolder("avi-writer") + "/" + name;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(AviWriter, StreamsThatFfmpegReads) {
    TW_REQUIRE_TOOL("ffprobe");
    struct TCase {
        int frameTime, frames, width, height;
        const char* rate;
    };
    for (TCase c : {TCase{100, 20, 100, 75, "10/1"}, TCase{41, 3, 101, 40, "1000/41"}, TCase{1000, 1, 7, 5, "1/1"}}) {
        SCOPED_TRACE(c.rate);
        std::vector<TBitmap> bitmaps;
        for (int i = 0; i < c.frames; ++i)
            bitmaps.push_back(FilledBitmap(c.width, c.height, [&](int x, int y) {
                return TGIFColor{uint8_t(i * 12), uint8_t(x * 2), uint8_t(y * 3)};
            }));
        TAviWriter writer;
        for (const TBitmap& b : bitmaps) writer.Bitmaps.push_back(&b);
        writer.FileName = UcSystem::Utf8ToWide(Scratch("rate.avi"));
        writer.FrameTime = c.frameTime;
        writer.Width = c.width;
        writer.Height = c.height;
        int progress = 0;
        writer.OnProgress = [&](int frame, int count) {
            EXPECT_EQ(frame, progress + 1);
            EXPECT_EQ(count, c.frames);
            progress = frame;
        };
        writer.WriteAvi();
        EXPECT_EQ(progress, c.frames);
        auto probe = ProbeAvi(Scratch("rate.avi"));
        EXPECT_EQ(probe["streams"], "1");
        EXPECT_EQ(probe["codec_name"], "rawvideo");
        EXPECT_EQ(probe["pix_fmt"], "pal8");
        EXPECT_EQ(probe["width"], std::to_string(c.width));
        EXPECT_EQ(probe["height"], std::to_string(c.height));
        EXPECT_EQ(probe["r_frame_rate"], c.rate);
        EXPECT_EQ(probe["nb_read_frames"], std::to_string(c.frames));
        EXPECT_EQ(DecodeErrors(Scratch("rate.avi")), "");
        EXPECT_FALSE(std::filesystem::exists(writer.WorkFileName()));
    }
}

// Rows come out the right way up, solid colours exactly, and a frame of far
// more than 256 colours close to what it was, all through one palette.
TEST(AviWriter, PixelsThroughOnePalette) {
    TW_REQUIRE_TOOL("ffmpeg");
    const int w = 101, h = 40;
    TGIFColor red{255, 0, 0}, blue{0, 0, 255};
    TBitmap halves = FilledBitmap(w, h, [&](int, int y) { return y < h / 2 ? red : blue; });
    auto gradient = [](int x, int y) { return TGIFColor{uint8_t(x * 255 / 100), uint8_t(y * 6), uint8_t(128)}; };
    TBitmap ramp = FilledBitmap(w, h, gradient);
    // A 32-bit frame at half the size, stretched to the full size.
    TBitmap small;
    small.SetPixelFormat(TPixelFormat::pf32bit);
    small.SetSize(w / 2 + 1, h / 2);
    for (int y = 0; y < small.Height(); ++y)
        for (int x = 0; x < small.Width(); ++x) {
            uint8_t* p = small.ScanLine(y) + 4 * x;
            p[0] = 0, p[1] = 200, p[2] = 0, p[3] = 255;  // green
        }
    TAviWriter writer;
    writer.Bitmaps = {&halves, &ramp, &small};
    writer.FileName = UcSystem::Utf8ToWide(Scratch("pixels.avi"));
    writer.FrameTime = 100;
    writer.Width = w;
    writer.Height = h;
    writer.WriteAvi();

    std::vector<uint8_t> frame = DecodedFrame(Scratch("pixels.avi"), 0, w, h);
    ASSERT_FALSE(frame.empty());
    auto at = [&](const std::vector<uint8_t>& f, int x, int y) {
        const uint8_t* p = &f[(size_t(y) * w + size_t(x)) * 3];
        return TGIFColor{p[0], p[1], p[2]};
    };
    EXPECT_EQ(at(frame, 50, 2), red);
    EXPECT_EQ(at(frame, 50, h - 3), blue);

    frame = DecodedFrame(Scratch("pixels.avi"), 1, w, h);
    ASSERT_FALSE(frame.empty());
    double error = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            TGIFColor want = gradient(x, y), got = at(frame, x, y);
            error += std::abs(want.Red - got.Red) + std::abs(want.Green - got.Green) + std::abs(want.Blue - got.Blue);
        }
    EXPECT_LT(error / (w * h), 12.0);

    frame = DecodedFrame(Scratch("pixels.avi"), 2, w, h);
    ASSERT_FALSE(frame.empty());
    EXPECT_EQ(at(frame, w - 1, h - 1), (TGIFColor{0, 200, 0}));
}

TEST(AviWriter, UnstretchedFrameStandsOnItsCornerColour) {
    TW_REQUIRE_TOOL("ffmpeg");
    TGIFColor corner{10, 20, 30};
    TBitmap frame = FilledBitmap(20, 10, [&](int x, int y) { return x == 0 && y == 0 ? corner : TGIFColor{250, 250, 0}; });
    TAviWriter writer;
    writer.Bitmaps = {&frame};
    writer.FileName = UcSystem::Utf8ToWide(Scratch("corner.avi"));
    writer.Width = 40;
    writer.Height = 30;
    writer.Stretch = false;
    writer.WriteAvi();
    std::vector<uint8_t> pixels = DecodedFrame(Scratch("corner.avi"), 0, 40, 30);
    ASSERT_EQ(pixels.size(), size_t(40 * 30 * 3));
    auto at = [&](int x, int y) { return TGIFColor{pixels[(y * 40 + x) * 3], pixels[(y * 40 + x) * 3 + 1], pixels[(y * 40 + x) * 3 + 2]}; };
    EXPECT_EQ(at(5, 5), (TGIFColor{250, 250, 0}));
    EXPECT_EQ(at(30, 25), corner);
}

TEST(AviWriter, AddsTheWaveAudio) {
    TW_REQUIRE_TOOL("ffmpeg");
    std::string wav = MakeFixture(Scratch("tone.wav"), "ffmpeg -nostdin -v error -f lavfi -i sine=frequency=440:duration=1 "
                                                        "-ar 22050 -ac 1 -c:a pcm_s16le -f wav {out}");
    ASSERT_FALSE(wav.empty());
    std::vector<TBitmap> frames(10, FilledBitmap(16, 16, [](int x, int) { return TGIFColor{uint8_t(x * 16), 0, 0}; }));
    TAviWriter writer;
    for (const TBitmap& b : frames) writer.Bitmaps.push_back(&b);
    writer.FileName = UcSystem::Utf8ToWide(Scratch("sound.avi"));
    writer.FrameTime = 100;
    writer.Width = writer.Height = 16;
    writer.SetWavFileName(wav);
    writer.WriteAvi();
    auto probe = ProbeAvi(Scratch("sound.avi"));
    EXPECT_EQ(probe["streams"], "2");
    EXPECT_EQ(probe["nb_read_frames"], "10");
    EXPECT_EQ(probe["audio.codec_name"], "pcm_s16le");
    EXPECT_EQ(probe["audio.sample_rate"], "22050");
    EXPECT_EQ(DecodeErrors(Scratch("sound.avi")), "");
    // One second of 16-bit mono samples, every one of them.
    std::string samples = CommandOutput("ffmpeg -nostdin -v error -i '" + Scratch("sound.avi") +
                                        "' -map 0:a -f s16le - 2>/dev/null");
    EXPECT_EQ(samples.size(), size_t(22050 * 2));
}

TEST(AviWriter, RefusesWithTheReason) {
    TBitmap one = FilledBitmap(4, 4, [](int, int) { return TGIFColor{}; });
    std::string notWave = Scratch("not-a-wave.wav");
    std::ofstream(notWave) << "plain text, no RIFF";
    struct TCase {
        const char* name;
        std::function<void(TAviWriter&)> set;
        std::string message;
    };
    const std::string folder = Scratch("missing/folder/");
    std::vector<TCase> cases = {
        {"no frames", [](TAviWriter& w) { w.Bitmaps.clear(); }, "No bitmaps on the Bitmaps list"},
        {"empty entry", [](TAviWriter& w) { w.Bitmaps.push_back(nullptr); }, "Bitmaps[1] is not a TBitmap"},
        // The path and the reason, not a bare "cannot".
        {"no work file", [&](TAviWriter& w) { w.FileName = UcSystem::Utf8ToWide(folder + "x.avi"); },
         "Failed to create AVI video work file for \"" + folder + "x.avi\": Cannot create file \"" + folder +
             "~FlashTemp.avi\". No such file or directory"},
        {"missing wave", [](TAviWriter& w) { w.SetWavFileName(Scratch("absent.wav")); },
         "A disk error occurred while opening the audio file."},
        {"not a wave", [&](TAviWriter& w) { w.SetWavFileName(notWave); },
         "The file could not be read, indicating a corrupt file or an unrecognized format."},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        TAviWriter writer;
        writer.Bitmaps = {&one};
        writer.FileName = UcSystem::Utf8ToWide(Scratch("refused.avi"));
        c.set(writer);
        try {
            writer.WriteAvi();
            ADD_FAILURE() << "wrote the file";
        } catch (const EAviWriterError& e) {
            EXPECT_EQ(std::string(e.what()), c.message);
        }
        EXPECT_FALSE(std::filesystem::exists(Scratch("refused.avi")));
    }

    TAviWriter writer;
    writer.SetWavFileName("");
    EXPECT_EQ(writer.WavFileName(), "");
    EXPECT_THROW(writer.SetWavFileName("music.mp3"), EAviWriterError);
    writer.SetWavFileName("Music.WAV");
    writer.SetWavFileName("music.wav");  // the same name in another case
    EXPECT_EQ(writer.WavFileName(), "Music.WAV");
}

// A file past the RIFF header's 32-bit size is refused before anything is
// written, and the file it would have replaced is kept.
TEST(AviWriter, RefusesToPassTheRiffSizeLimit) {
    std::string target = Scratch("kept.avi");
    std::ofstream(target) << "the old file";
    TBitmap pixel = FilledBitmap(1, 1, [](int, int) { return TGIFColor{1, 2, 3}; });
    TAviWriter writer;
    writer.FileName = UcSystem::Utf8ToWide(target);
    writer.Width = writer.Height = 4096;  // 16 MB a frame: 257 frames pass 4 GB
    writer.Bitmaps.assign(257, &pixel);
    try {
        writer.WriteAvi();
        ADD_FAILURE() << "wrote a file past 4 GB";
    } catch (const EAviWriterError& e) {
        EXPECT_NE(std::string(e.what()).find("257 frames of 4096 x 4096"), std::string::npos) << e.what();
    }
    EXPECT_EQ(ReadText(target), "the old file");
    EXPECT_FALSE(std::filesystem::exists(writer.WorkFileName()));

    writer.Bitmaps.assign(255, &pixel);
    writer.MaxRiffSize = 1000;  // a tighter bound shows the same on small files
    writer.Width = writer.Height = 16;
    EXPECT_THROW(writer.WriteAvi(), EAviWriterError);
    EXPECT_EQ(ReadText(target), "the old file");
}

TEST(AviWriter, BytesPerScanline) {
    struct TCase {
        int pixels, bits, alignment, bytes;
    };
    for (TCase c : {TCase{100, 8, 32, 100}, TCase{101, 8, 32, 104}, TCase{1, 1, 32, 4}, TCase{3, 24, 32, 12},
                    TCase{5, 8, 16, 6}})
        EXPECT_EQ(TAviWriter::AviBytesPerScanline(c.pixels, c.bits, c.alignment), c.bytes)
            << c.pixels << " x " << c.bits;
}

}  // namespace
