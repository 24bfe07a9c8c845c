// The Targa codec against ImageMagick: its files of every depth, coding and
// row order decode to its own pixels, ours decode alike in it, the
// extension area survives a round trip and damaged files abort cleanly.
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_dib_exchange.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/tests/tool_support.h"
#include "imaging/io/ie_tga.h"
#include "imaging/io/ie_vidurer_io.h"
#include "imaging/io/tests/rgba_support.h"

using namespace imaging_test;
namespace fs = std::filesystem;

namespace {

// The largest difference of any byte, colour and alpha alike.

// ImageMagick 6 takes every Targa as stored top row first, whatever the
// descriptor says (and writes its bottom-up files that way): FFmpeg's
// decoder, which follows the descriptor, judges the files ImageMagick made.
class TgaToolsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder_ = FixtureFolder("tga/" + std::to_string(::getpid()));
        if (!HaveTool("convert")) return;
        MakeSourcePictures(folder_);
    }
    static fs::path folder_;
};
fs::path TgaToolsTest::folder_;

}  // namespace

TEST_F(TgaToolsTest, ImageMagickFilesDecodeToFfmpegPixels) {
    REQUIRE_TOOL("convert");
    REQUIRE_TOOL("ffmpeg");
    struct TCase {
        const char* name;
        const char* options;
        const char* source;
        int tolerance;  // 16-bit colours: we widen 5 bits by x 8, ImageMagick by x 255 / 31
    };
    const TCase cases[] = {
        {"palette8", "-type palette", "src.png", 0},
        {"palette8_rle", "-type palette -compress rle", "src.png", 0},
        {"gray8", "-type grayscale", "src.png", 0},
        {"gray8_rle", "-type grayscale -compress rle", "flat.png", 0},
        {"rgb16", "-depth 5", "src.png", 7},
        {"rgb16_rle", "-depth 5 -compress rle", "flat.png", 7},
        {"rgb24", "-type truecolor", "src.png", 0},
        {"rgb24_rle", "-type truecolor -compress rle", "flat.png", 0},
        {"rgb24_top_down", "-type truecolor -orient top-left", "src.png", 0},
        {"rgb24_rle_top_down", "-type truecolor -compress rle -orient top-left", "flat.png", 0},
        {"rgba32", "", "srca.png", 0},
        {"rgba32_rle", "-compress rle", "srca.png", 0},
    };
    const std::string f = folder_.string() + "/";
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path file = f + c.name + ".tga";
        RunCommand("convert '" + f + c.source + "' " + c.options + " '" + file.string() + "'");
        ASSERT_TRUE(fs::exists(file));
        TVidurErIO io;
        io.LoadFromFile(file.string());
        ASSERT_FALSE(io.AbortFlag) << io.LastError();
        EXPECT_LE(MaxByteDifference(OurRGBA(*io.Bitmap()), FfmpegRGBA(file)), c.tolerance);
        EXPECT_EQ(io.ImageParams.TgaCompressed, std::string(c.options).find("rle") != std::string::npos);
    }
}

// A Targa's alpha goes on into other formats: saved as PNG it is there.
TEST_F(TgaToolsTest, AlphaSurvivesSavingAsPNG) {
    REQUIRE_TOOL("convert");
    const std::string f = folder_.string() + "/";
    const fs::path tga = f + "alpha_source.tga", png = f + "alpha_saved.png";
    RunCommand("convert '" + f + "srca.png' -orient top-left '" + tga.string() + "'");
    TVidurErIO io;
    io.LoadFromFile(tga.string());
    ASSERT_FALSE(io.AbortFlag) << io.LastError();
    io.SaveToFile(png.string());
    ASSERT_FALSE(io.AbortFlag) << io.LastError();
    EXPECT_EQ(MaxByteDifference(MagickRGBA(png), MagickRGBA(f + "srca.png")), 0);
}

TEST_F(TgaToolsTest, OurFilesDecodeAlikeInImageMagick) {
    REQUIRE_TOOL("convert");
    struct TCase {
        const char* name;
        const char* source;
        int32_t bits, samples;
        bool compressed, gray;
        int tolerance;  // colour-mapped files hold the quantizer's colours
    };
    const TCase cases[] = {
        {"w_rgb24", "src.png", 8, 3, false, false, 0},     {"w_rgb24_rle", "flat.png", 8, 3, true, false, 0},
        {"w_rgba32", "srca.png", 8, 3, true, false, 0},    {"w_palette8", "flat.png", 8, 1, false, false, 0},
        {"w_palette8_rle", "flat.png", 8, 1, true, false, 0}, {"w_gray8_rle", "flat.png", 8, 1, true, true, 0},
    };
    const std::string f = folder_.string() + "/";
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        TVidurErIO io;
        io.LoadFromFile(f + c.source);
        ASSERT_FALSE(io.AbortFlag) << io.LastError();
        io.ImageParams.BitsPerSample = c.bits;
        io.ImageParams.SamplesPerPixel = c.samples;
        io.ImageParams.TgaCompressed = c.compressed;
        io.ImageParams.TgaGrayLevel = c.gray;
        const fs::path file = f + c.name + ".tga";
        io.SaveToFile(file.string());
        ASSERT_FALSE(io.AbortFlag) << io.LastError();
        std::vector<uint8_t> expected = OurRGBA(*io.Bitmap());
        if (c.gray)
            for (size_t i = 0; i < expected.size(); i += 4)
                expected[i] = expected[i + 1] = expected[i + 2] =
                    static_cast<uint8_t>(IERGBToGray(TRGB{expected[i + 2], expected[i + 1], expected[i]}));
        TVidurErIO back;
        back.LoadFromFile(file.string());
        ASSERT_FALSE(back.AbortFlag) << back.LastError();
        const std::vector<uint8_t> ours = OurRGBA(*back.Bitmap());
        EXPECT_LE(MaxByteDifference(ours, expected), c.tolerance);
        EXPECT_EQ(MaxByteDifference(MagickRGBA(file), ours), 0);
    }
}

// Files the tools neither write nor read: 1 and 4 bits, and rows stored
// right to left, made by our writer or patched.
TEST_F(TgaToolsTest, SmallDepthsAndMirroredRowsReadBack) {
    REQUIRE_TOOL("convert");
    const std::string f = folder_.string() + "/";
    TVidurErIO io;
    io.LoadFromFile(f + "flat.png");
    ASSERT_FALSE(io.AbortFlag) << io.LastError();
    for (int32_t bits : {1, 4}) {
        SCOPED_TRACE(bits);
        io.ImageParams.BitsPerSample = bits;
        io.ImageParams.SamplesPerPixel = 1;
        io.ImageParams.TgaCompressed = true;
        const fs::path file = f + "w_bits" + std::to_string(bits) + ".tga";
        io.SaveToFile(file.string());
        ASSERT_FALSE(io.AbortFlag) << io.LastError();
        EXPECT_FALSE(io.ImageParams.TgaCompressed);
        TVidurErIO back;
        back.LoadFromFile(file.string());
        ASSERT_FALSE(back.AbortFlag) << back.LastError();
        EXPECT_EQ(back.ImageParams.BitsPerSample, bits);
        // Two colours: at 4 bits nothing is lost; at 1 bit they become black
        // and white, over the same pixels.
        const std::vector<uint8_t> source = OurRGBA(*io.Bitmap()), read = OurRGBA(*back.Bitmap());
        if (bits == 4) {
            EXPECT_EQ(MaxByteDifference(read, source), 0);
        } else {
            ASSERT_EQ(read.size(), source.size());
            for (size_t i = 0; i < source.size(); i += 4)
                ASSERT_EQ(std::memcmp(&source[i], &source[0], 3) == 0, std::memcmp(&read[i], &read[0], 3) == 0) << i / 4;
        }
    }
    // Right to left, bottom up: the file's first pixel is the bottom right.
    io.ImageParams.BitsPerSample = 8;
    io.ImageParams.SamplesPerPixel = 3;
    io.ImageParams.TgaCompressed = false;
    const fs::path plain = f + "w_plain.tga";
    io.SaveToFile(plain.string());
    std::vector<uint8_t> bytes = ReadBytes(plain);
    const int32_t width = io.Bitmap()->GetWidth(), height = io.Bitmap()->GetHeight();
    const size_t pixels = 18 + 1;  // the header and the ID's NUL
    std::vector<uint8_t> turned(bytes);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            std::memcpy(&turned[pixels + 3 * (static_cast<size_t>(height - 1 - y) * width + (width - 1 - x))],
                        &bytes[pixels + 3 * (static_cast<size_t>(y) * width + x)], 3);
    turned[17] = 0x10;
    const fs::path mirrored = f + "w_mirrored.tga";
    WriteBytes(mirrored, turned.data(), turned.size());
    TVidurErIO back;
    back.LoadFromFile(mirrored.string());
    ASSERT_FALSE(back.AbortFlag) << back.LastError();
    EXPECT_EQ(MaxByteDifference(OurRGBA(*back.Bitmap()), OurRGBA(*io.Bitmap())), 0);
}

TEST(Tga, ExtensionAreaAndParametersRoundTrip) {
    TIEBitmap bitmap(5, 3, ie24RGB);
    bitmap.Fill(0x123456);
    TIOParamsVals params;
    params.BitsPerSample = 8;
    params.SamplesPerPixel = 3;
    params.TgaImageId = "picture one";
    params.TgaAuthor = "An author whose name is longer than forty characters";
    params.TgaJobName = "Job 7";
    params.TgaDate = 45000.5;  // 2023-03-15, noon
    params.TgaBackground = TRGB{10, 20, 30};
    params.TgaAspectRatio = 1.25;
    params.TgaGamma = 1.8;
    params.TgaXPos = 3;
    params.TgaYPos = 4;
    bool aborted = false;
    TIEProgressRec progress;
    progress.AbortFlag = &aborted;
    TMemoryStream stream;
    IEWriteTGAStream(stream, bitmap, params, progress, nullptr);
    ASSERT_FALSE(aborted);
    stream.SetPosition(0);
    EXPECT_TRUE(IEIsTGAStream(stream));
    TIEBitmap back;
    TIOParamsVals read;
    std::unique_ptr<TIEMask> mask;
    IEReadTGAStream(stream, back, read, progress, false, mask, false);
    ASSERT_FALSE(aborted);
    EXPECT_EQ(read.TgaImageId, "picture one");
    EXPECT_EQ(read.TgaAuthor, params.TgaAuthor.substr(0, 40));
    EXPECT_EQ(read.TgaJobName, "Job 7");
    EXPECT_DOUBLE_EQ(read.TgaDate, 45000.5);
    EXPECT_EQ(read.TgaBackground.r, 30);
    EXPECT_EQ(read.TgaBackground.b, 10);
    EXPECT_DOUBLE_EQ(read.TgaAspectRatio, 1.25);
    EXPECT_DOUBLE_EQ(read.TgaGamma, 1.8);
    EXPECT_EQ(read.TgaXPos, 3);
    EXPECT_EQ(read.TgaYPos, 4);
    EXPECT_FALSE(mask);
    EXPECT_TRUE(IEBitmapsEqual(bitmap, back));
}

TEST(Tga, AlphaThatIsZeroEverywhereIsNoAlpha) {
    TIEBitmap bitmap(4, 2, ie24RGB);
    bitmap.Fill(0x808080);
    TIEMask mask;
    mask.AllocateBits(4, 2, 8);
    mask.Fill(100);
    mask.SetFull(false);
    TIOParamsVals params;
    params.BitsPerSample = 8;
    params.SamplesPerPixel = 3;
    TIEProgressRec progress;
    TMemoryStream written;
    IEWriteTGAStream(written, bitmap, params, progress, &mask);
    ASSERT_EQ(written.Bytes()[16], 32);
    // An opaque mask writes 24 bits.
    mask.Fill(255);
    TMemoryStream opaque;
    IEWriteTGAStream(opaque, bitmap, params, progress, &mask);
    EXPECT_EQ(opaque.Bytes()[16], 24);
    for (uint8_t alpha : {0, 255, 100}) {
        std::vector<uint8_t> bytes = written.Bytes();
        for (size_t p = 0; p < 8; ++p) bytes[19 + 4 * p + 3] = alpha;
        TMemoryStream stream(bytes);
        TIEBitmap back;
        std::unique_ptr<TIEMask> read;
        IEReadTGAStream(stream, back, params, progress, false, read, false);
        ASSERT_EQ(read != nullptr, alpha != 0) << int{alpha};
        if (read) {
            EXPECT_EQ(read->GetPixel(3, 1), alpha);
        }
    }
}

TEST(Tga, DamagedFilesAreRefusedWithAReason) {
    TIEBitmap bitmap(20, 10, ie24RGB);
    bitmap.Fill(0x102030);
    for (int32_t x = 0; x < 20; x += 3) bitmap.GetScanline(x % 10)[3 * x] = 200;
    TIOParamsVals params;
    params.BitsPerSample = 8;
    params.SamplesPerPixel = 3;
    TIEProgressRec progress;
    TMemoryStream stream;
    IEWriteTGAStream(stream, bitmap, params, progress, nullptr);
    const std::vector<uint8_t> good = stream.Bytes();
    const size_t pixels = 19;
    struct TCase {
        const char* name;
        std::vector<uint8_t> bytes;
        const char* reason;
    };
    auto patched = [&](size_t at, std::vector<uint8_t> values) {
        std::vector<uint8_t> b = good;
        std::copy(values.begin(), values.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
        return b;
    };
    const TCase cases[] = {
        {"short header", std::vector<uint8_t>(good.begin(), good.begin() + 10), "shorter than"},
        {"cut pixels", std::vector<uint8_t>(good.begin(), good.begin() + pixels + 40), "end before"},
        {"image type", patched(2, {7}), "image type"},
        {"depth", patched(16, {12}), "pixel depth"},
        {"no width", patched(12, {0, 0}), "no size"},
        {"huge", patched(12, {0xFF, 0xFF, 0xFF, 0xFF}), "too large"},
        {"colour map past the end", patched(1, {1, 1, 0, 0, 0xFF, 0xFF, 32}), "colour map"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        TMemoryStream in(c.bytes);
        TIEBitmap out;
        TIOParamsVals read;
        bool aborted = false;
        TIEProgressRec record;
        record.AbortFlag = &aborted;
        std::unique_ptr<TIEMask> mask;
        std::string failure;
        IEReadTGAStream(in, out, read, record, false, mask, false, &failure);
        EXPECT_TRUE(aborted);
        EXPECT_NE(failure.find(c.reason), std::string::npos) << failure;
    }
}
