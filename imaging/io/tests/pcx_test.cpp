// PCX and DCX against ImageMagick: its files decode to its own pixels, ours
// (every depth, coded or not, single pages and containers) decode alike in
// it, pages insert where asked, and damaged files abort cleanly.
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/tests/tool_support.h"
#include "imaging/io/ie_pcx.h"
#include "imaging/io/ie_vidurer_io.h"
#include "imaging/io/tests/rgba_support.h"

using namespace imaging_test;
namespace fs = std::filesystem;

namespace {

class PcxToolsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder_ = FixtureFolder("pcx/" + std::to_string(::getpid()));
        if (!HaveTool("convert")) return;
        MakeSourcePictures(folder_);
        // ImageMagick writes 1-bit PCX from a two-colour palette image.
        RunCommand("convert '" + folder_.string() + "/mono.png' -type palette 'BMP3:" + folder_.string() + "/mono.bmp'");
    }
    static fs::path folder_;
};
fs::path PcxToolsTest::folder_;

}  // namespace

TEST_F(PcxToolsTest, ImageMagickFilesDecodeToItsPixels) {
    REQUIRE_TOOL("convert");
    REQUIRE_TOOL("ffmpeg");
    const char* cases[][2] = {
        {"palette8", "src.png -colors 200 -type palette"},
        {"palette8_raw", "src.png -colors 200 -type palette -compress none"},
        {"rgb24", "src.png -type truecolor"},
        {"rgb24_raw", "src.png -type truecolor -compress none"},
        {"mono1", "mono.bmp"},
        {"mono1_raw", "mono.bmp -compress none"},
    };
    const std::string f = folder_.string() + "/";
    for (const auto& c : cases) {
        SCOPED_TRACE(c[0]);
        const fs::path file = f + c[0] + ".pcx";
        RunCommand("cd '" + f + "' && convert " + c[1] + " '" + file.string() + "'");
        ASSERT_TRUE(fs::exists(file));
        TVidurErIO io;
        io.LoadFromFile(file.string());
        ASSERT_FALSE(io.AbortFlag) << io.LastError();
        // ImageMagick 6 reads 1-bit pixels against their palette (1 black):
        // FFmpeg judges those.
        const bool bilevel = std::string(c[0]).find("mono") == 0;
        EXPECT_EQ(MaxByteDifference(OurRGBA(*io.Bitmap()), bilevel ? FfmpegRGBA(file) : MagickRGBA(file)), 0);
        EXPECT_EQ(io.ImageParams.PcxCompressed, std::string(c[1]).find("none") == std::string::npos);
    }
}

TEST_F(PcxToolsTest, OurFilesOfEveryDepthDecodeAlikeInImageMagick) {
    REQUIRE_TOOL("convert");
    REQUIRE_TOOL("ffmpeg");
    struct TCase {
        const char* name;
        const char* source;
        int32_t bits, samples;
        bool compressed;
    };
    // Sources with no more colours than the depth holds: nothing is lost.
    const TCase cases[] = {
        {"w_mono1", "mono.png", 1, 1, true},     {"w_mono1_raw", "mono.png", 1, 1, false},
        {"w_flat4", "flat.png", 4, 1, true},     {"w_flat4_raw", "flat.png", 4, 1, false},
        {"w_flat8", "flat.png", 8, 1, true},     {"w_rgb24", "src.png", 8, 3, true},
        {"w_rgb24_raw", "src.png", 8, 3, false}, {"w_flat24", "flat.png", 8, 3, true},
    };
    const std::string f = folder_.string() + "/";
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        TVidurErIO io;
        io.LoadFromFile(f + c.source);
        ASSERT_FALSE(io.AbortFlag) << io.LastError();
        io.ImageParams.BitsPerSample = c.bits;
        io.ImageParams.SamplesPerPixel = c.samples;
        io.ImageParams.PcxCompressed = c.compressed;
        const fs::path file = f + c.name + ".pcx";
        io.SaveToFile(file.string());
        ASSERT_FALSE(io.AbortFlag) << io.LastError();
        TVidurErIO back;
        back.LoadFromFile(file.string());
        ASSERT_FALSE(back.AbortFlag) << back.LastError();
        const std::vector<uint8_t> ours = OurRGBA(*back.Bitmap());
        EXPECT_EQ(MaxByteDifference(ours, OurRGBA(*io.Bitmap())), 0);
        EXPECT_EQ(MaxByteDifference(c.bits == 1 ? FfmpegRGBA(file) : MagickRGBA(file), ours), 0);
        EXPECT_EQ(ReadBytes(file)[66] % 2, 0) << "bytes per line are even";
    }
}

// Sixteen colours stored as four planes of one bit: made from our 4-bit
// file by moving each index bit into its plane.
TEST_F(PcxToolsTest, FourPlanesOfOneBitReadAsSixteenColours) {
    REQUIRE_TOOL("convert");
    const std::string f = folder_.string() + "/";
    TVidurErIO io;
    io.LoadFromFile(f + "src.png");
    io.ImageParams.BitsPerSample = 4;
    io.ImageParams.SamplesPerPixel = 1;
    io.ImageParams.PcxCompressed = false;
    const fs::path four = f + "w_src4.pcx";
    io.SaveToFile(four.string());
    ASSERT_FALSE(io.AbortFlag) << io.LastError();
    const std::vector<uint8_t> packed = ReadBytes(four);
    const int32_t width = 41, height = 29, line = packed[66] | packed[67] << 8;
    const int32_t planeLine = ((width + 7) / 8 + 1) / 2 * 2;
    std::vector<uint8_t> planar(packed.begin(), packed.begin() + 128);
    planar[3] = 1;
    planar[65] = 4;
    planar[66] = static_cast<uint8_t>(planeLine);
    planar[67] = 0;
    for (int32_t y = 0; y < height; ++y) {
        std::vector<uint8_t> rows(static_cast<size_t>(4 * planeLine), 0);
        for (int32_t x = 0; x < width; ++x) {
            const uint8_t b = packed[128 + static_cast<size_t>(y * line + x / 2)];
            const int32_t index = x % 2 ? b & 15 : b >> 4;
            for (int32_t p = 0; p < 4; ++p)
                if (index >> p & 1) rows[static_cast<size_t>(p * planeLine + x / 8)] |= static_cast<uint8_t>(0x80 >> (x % 8));
        }
        planar.insert(planar.end(), rows.begin(), rows.end());
    }
    const fs::path file = f + "planes4.pcx";
    WriteBytes(file, planar.data(), planar.size());
    TVidurErIO back;
    back.LoadFromFile(file.string());
    ASSERT_FALSE(back.AbortFlag) << back.LastError();
    EXPECT_EQ(back.ImageParams.BitsPerSample, 4);
    EXPECT_EQ(back.ImageParams.SamplesPerPixel, 1);
    EXPECT_EQ(back.ImageParams.ColorMap.size(), 16u);
    TVidurErIO direct;
    direct.LoadFromFile(four.string());
    EXPECT_EQ(MaxByteDifference(OurRGBA(*back.Bitmap()), OurRGBA(*direct.Bitmap())), 0);
    EXPECT_EQ(MaxByteDifference(MagickRGBA(file), OurRGBA(*back.Bitmap())), 0);
}

TEST_F(PcxToolsTest, ContainersReadByPageAndTakeInsertedPages) {
    REQUIRE_TOOL("convert");
    REQUIRE_TOOL("identify");
    const std::string f = folder_.string() + "/";
    const fs::path magick = f + "magick.dcx";
    RunCommand("cd '" + f + "' && convert src.png flat.png \\( src.png -colors 64 \\) '" + magick.string() + "'");
    for (int32_t page = 0; page < 3; ++page) {
        TVidurErIO io;
        io.ImageParams.DcxImageIndex = page;
        io.LoadFromFile(magick.string());
        ASSERT_FALSE(io.AbortFlag) << io.LastError();
        EXPECT_EQ(io.ImageParams.ImageCount, 3);
        EXPECT_EQ(MaxByteDifference(OurRGBA(*io.Bitmap()), MagickRGBA(magick, page)), 0) << page;
    }
    // Ours: a container of one page, then one in front and one at the end.
    const fs::path ours = f + "ours.dcx";
    const char* sources[] = {"src.png", "mono.png", "flat.png"};
    const int32_t places[] = {0, 0, 99};
    for (int32_t i = 0; i < 3; ++i) {
        TVidurErIO io;
        io.LoadFromFile(f + sources[i]);
        // 24 bits: ImageMagick reads 1-bit pages against their palette.
        io.ImageParams.BitsPerSample = 8;
        io.ImageParams.SamplesPerPixel = 3;
        io.ImageParams.DcxImageIndex = places[i];
        if (i == 0) io.SaveToFileDCX(ours.string());
        else io.InsertToFileDCX(ours.string());
        ASSERT_FALSE(io.AbortFlag) << io.LastError();
    }
    EXPECT_EQ(RunCommand("identify '" + ours.string() + "' | wc -l"), "3\n");
    const char* order[] = {"mono.png", "src.png", "flat.png"};
    for (int32_t page = 0; page < 3; ++page) {
        TVidurErIO io;
        io.ImageParams.DcxImageIndex = page;
        io.LoadFromFile(ours.string());
        ASSERT_FALSE(io.AbortFlag) << io.LastError();
        EXPECT_EQ(MaxByteDifference(OurRGBA(*io.Bitmap()), MagickRGBA(f + order[page])), 0) << page;
        EXPECT_EQ(MaxByteDifference(MagickRGBA(ours, page), MagickRGBA(f + order[page])), 0) << page;
    }
}

TEST(Pcx, StreamHeadersFrameTheImage) {
    TVidurErIO io;
    io.Bitmap()->Allocate(7, 3, ie24RGB);
    io.Bitmap()->Fill(0x205080);
    io.StreamHeaders = true;
    TMemoryStream stream;
    io.SaveToStreamPCX(stream);
    ASSERT_FALSE(io.AbortFlag) << io.LastError();
    const uint8_t tail[3] = {1, 2, 3};
    stream.WriteBuffer(tail, 3);
    EXPECT_EQ(std::memcmp(stream.Bytes().data(), "PCX2", 4), 0);
    stream.SetPosition(0);
    TVidurErIO back;
    back.StreamHeaders = true;
    back.LoadFromStreamPCX(stream);
    ASSERT_FALSE(back.AbortFlag) << back.LastError();
    EXPECT_EQ(stream.GetPosition(), stream.GetSize() - 3);
    EXPECT_EQ(back.Bitmap()->GetWidth(), 7);
    // Content detection sees the header too.
    stream.SetPosition(0);
    TVidurErIO detected;
    detected.StreamHeaders = true;
    detected.LoadFromStream(stream);
    EXPECT_FALSE(detected.AbortFlag) << detected.LastError();
    EXPECT_EQ(detected.ImageParams.FileType, 4);
}

TEST(Pcx, DamagedFilesAndContainersAreRefusedWithAReason) {
    TIEBitmap bitmap(30, 12, ie24RGB);
    bitmap.Fill(0x102030);
    TIOParamsVals params;
    params.BitsPerSample = 8;
    params.SamplesPerPixel = 3;
    TIEProgressRec quiet;
    TMemoryStream written;
    IEWritePCXStream(written, bitmap, params, quiet);
    const std::vector<uint8_t> good = written.Bytes();
    auto patched = [&](size_t at, std::vector<uint8_t> values) {
        std::vector<uint8_t> b = good;
        std::copy(values.begin(), values.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
        return b;
    };
    struct TCase {
        const char* name;
        std::vector<uint8_t> bytes;
        bool dcx;
        const char* reason;
    };
    std::vector<uint8_t> dcx = {0xB1, 0x68, 0xDE, 0x3A, 12, 0, 0, 0, 0, 0, 0, 0};
    dcx.insert(dcx.end(), good.begin(), good.end());
    std::vector<uint8_t> farPage = dcx;
    farPage[5] = 0x70;
    const TCase cases[] = {
        {"short header", std::vector<uint8_t>(good.begin(), good.begin() + 60), false, "shorter than"},
        {"manufacturer", patched(0, {11}), false, "PCX header"},
        {"encoding", patched(2, {4}), false, "encoding"},
        {"bits", patched(3, {16}), false, "bits"},
        {"planes", patched(65, {2}), false, "planes"},
        {"lines too short", patched(66, {4, 0}), false, "shorter than the image"},
        {"huge", patched(8, {0xFF, 0xFF, 0xFF, 0xFF}), false, "too large"},
        {"cut data", std::vector<uint8_t>(good.begin(), good.begin() + 150), false, "end before"},
        {"page past the end", farPage, true, "not a DCX"},
        {"no pages", {0xB1, 0x68, 0xDE, 0x3A, 0, 0, 0, 0}, true, "no page"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        TMemoryStream in(c.bytes);
        TIEBitmap out;
        TIOParamsVals read;
        bool aborted = false;
        TIEProgressRec record;
        record.AbortFlag = &aborted;
        std::string failure;
        if (c.dcx) IEReadDCXStream(in, out, read, record, false, &failure);
        else IEReadPCXStream(in, out, read, static_cast<int64_t>(c.bytes.size()), record, false, &failure);
        EXPECT_TRUE(aborted);
        EXPECT_NE(failure.find(c.reason), std::string::npos) << failure;
    }
}
