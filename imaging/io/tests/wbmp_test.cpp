// The WBMP codec against ImageMagick: its files decode to its own pixels,
// ours decode alike in ImageMagick, large pictures are cut to 255 x 255 and
// damaged headers abort cleanly.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/tests/tool_support.h"
#include "imaging/io/ie_vidurer_io.h"
#include "imaging/io/ie_wbmp.h"

using namespace imaging_test;

namespace {

// 0 or 255 for every pixel, top row first.
std::vector<uint8_t> OurGray(TIEBitmap& bitmap) {
    std::vector<uint8_t> out;
    for (int32_t y = 0; y < bitmap.GetHeight(); ++y) {
        const uint8_t* row = bitmap.GetScanline(y);
        for (int32_t x = 0; x < bitmap.GetWidth(); ++x) out.push_back((row[x / 8] & (0x80 >> (x % 8))) ? 255 : 0);
    }
    return out;
}

std::vector<uint8_t> MagickGray(const std::filesystem::path& file) {
    const std::string out = RunCommand("convert '" + file.string() + "' -depth 8 gray:-");
    return std::vector<uint8_t>(out.begin(), out.end());
}

bool ReadWBMP(const std::vector<uint8_t>& bytes, TIEBitmap& bitmap, TIOParamsVals& params, bool previewOnly = false) {
    TMemoryStream stream(bytes);
    bool aborted = false;
    TIEProgressRec progress;
    progress.AbortFlag = &aborted;
    IEReadWBMPStream(stream, bitmap, params, previewOnly, progress);
    return !aborted;
}

std::vector<uint8_t> WriteWBMP(TIEBitmap& bitmap) {
    TMemoryStream stream;
    TIEProgressRec progress;
    IEWriteWBMPStream(stream, bitmap, progress);
    return stream.Bytes();
}

}  // namespace

TEST(Wbmp, ToolsReadsImageMagickFilesAndItReadsOurs) {
    REQUIRE_TOOL("convert");
    const auto folder = FixtureFolder("wbmp");
    // Widths that end on a byte and inside one, and the two-byte sizes.
    for (const char* size : {"13x7", "200x130", "255x255"}) {
        const auto file = folder / (std::string("magick_") + size + ".wbmp");
        RunCommand(std::string("convert -size ") + size + " gradient:black-white -monochrome '" + file.string() + "'");
        ASSERT_TRUE(std::filesystem::exists(file)) << size;
        TIEBitmap bitmap;
        TIOParamsVals params;
        ASSERT_TRUE(ReadWBMP(ReadBytes(file), bitmap, params)) << size;
        EXPECT_EQ(bitmap.GetPixelFormat(), ie1g);
        EXPECT_EQ(params.Width, bitmap.GetWidth());
        EXPECT_EQ(params.BitsPerSample, 1);
        EXPECT_EQ(params.SamplesPerPixel, 1);
        const std::vector<uint8_t> ours = OurGray(bitmap);
        EXPECT_EQ(ours, MagickGray(file)) << size;

        const std::vector<uint8_t> written = WriteWBMP(bitmap);
        const auto back = folder / (std::string("ours_") + size + ".wbmp");
        WriteBytes(back, written.data(), written.size());
        EXPECT_EQ(MagickGray(back), ours) << size;
    }
}

TEST(Wbmp, HeaderRowsAndSizeLimit) {
    // Header 00 00 08 02, a white row then a black one.
    TIEBitmap small;
    TIOParamsVals params;
    ASSERT_TRUE(ReadWBMP({0, 0, 8, 2, 0xFF, 0x00}, small, params));
    EXPECT_EQ(OurGray(small), (std::vector<uint8_t>{255, 255, 255, 255, 255, 255, 255, 255, 0, 0, 0, 0, 0, 0, 0, 0}));

    // A width of 128 or more takes two bytes; each row is ceil(width / 8).
    TIEBitmap wide;
    wide.Allocate(200, 3, ie1g);
    wide.Fill(1);
    std::vector<uint8_t> bytes = WriteWBMP(wide);
    ASSERT_EQ(bytes.size(), 5u + 3 * 25);
    EXPECT_EQ(bytes[2], 0x81);
    EXPECT_EQ(bytes[3], 0x48);
    EXPECT_EQ(bytes[4], 3);
    TIEBitmap back;
    ASSERT_TRUE(ReadWBMP(bytes, back, params));
    EXPECT_EQ(back.GetWidth(), 200);

    // Bits past the width are written as 0.
    TIEBitmap odd;
    odd.Allocate(3, 1, ie1g);
    odd.Fill(1);
    EXPECT_EQ(WriteWBMP(odd), (std::vector<uint8_t>{0, 0, 3, 1, 0xE0}));

    // Larger pictures are cut to their top left part, proportions kept; the
    // caller's picture keeps its size and format.
    struct {
        int32_t width, height, cutWidth, cutHeight;
    } cases[] = {{300, 100, 255, 85}, {100, 300, 85, 255}, {255, 255, 255, 255}};
    for (const auto& c : cases) {
        TIEBitmap colour;
        colour.Allocate(c.width, c.height, ie24RGB);
        colour.Fill(0xFFFFFF);
        colour.SetPixelTRGB(0, 0, TRGB{0, 0, 0});
        const std::vector<uint8_t> cut = WriteWBMP(colour);
        EXPECT_EQ(colour.GetWidth(), c.width);
        EXPECT_EQ(colour.GetPixelFormat(), ie24RGB);
        TIEBitmap read;
        ASSERT_TRUE(ReadWBMP(cut, read, params));
        EXPECT_EQ(read.GetWidth(), c.cutWidth);
        EXPECT_EQ(read.GetHeight(), c.cutHeight);
        const std::vector<uint8_t> gray = OurGray(read);
        EXPECT_EQ(gray[0], 0);
        EXPECT_EQ(gray[1], 255);
        EXPECT_EQ(gray.back(), 255);
    }
}

TEST(Wbmp, PreviewAndDamagedFiles) {
    TIEBitmap bitmap;
    TIOParamsVals params;
    ASSERT_TRUE(ReadWBMP({0, 0, 9, 4}, bitmap, params, true));
    EXPECT_EQ(params.Width, 9);
    EXPECT_EQ(params.Height, 4);
    EXPECT_EQ(bitmap.GetWidth(), 0);

    // A bad header changes nothing and aborts, also through the component
    // with its message.
    const std::vector<std::vector<uint8_t>> refused = {{1, 0, 8, 2, 0xFF, 0}, {0, 1, 8, 2, 0xFF, 0},
                                                       {0, 0, 0, 2, 0xFF, 0}, {0, 0, 8, 0}, {}, {0x80, 0x80}};
    for (const auto& bytes : refused) {
        TIOParamsVals untouched;
        untouched.Width = 77;
        TIEBitmap unchanged;
        EXPECT_FALSE(ReadWBMP(bytes, unchanged, untouched));
        EXPECT_EQ(untouched.Width, 77);
        EXPECT_EQ(unchanged.GetWidth(), 0);
        TVidurErIO io;
        TMemoryStream stream(bytes);
        io.LoadFromStreamFormat(stream, 16);
        EXPECT_TRUE(io.AbortFlag);
        EXPECT_EQ(io.LastError(), "The Wireless Bitmap data is damaged or incomplete");
    }

    // A cut file keeps the rows it has; the component says it ended early.
    TVidurErIO io;
    TMemoryStream cut(std::vector<uint8_t>{0, 0, 16, 4, 0xFF, 0xFF, 0x0F});
    io.LoadFromStreamWBMP(cut);
    EXPECT_TRUE(io.AbortFlag);
    EXPECT_EQ(io.LastError(), "The Wireless Bitmap data ends before the picture does");
    EXPECT_EQ(io.Bitmap()->GetWidth(), 16);
}

TEST(Wbmp, ToolsComponentSavesAndLoadsByExtension) {
    REQUIRE_TOOL("convert");
    const auto folder = FixtureFolder("wbmp_component");
    TVidurErIO io;
    io.Bitmap()->Allocate(40, 20, ie24RGB);
    io.Bitmap()->Fill(0xFFFFFF);
    io.Bitmap()->FillRect(0, 0, 19, 19, 0);
    const auto file = folder / "saved.wbmp";
    io.SaveToFile(file.string());
    ASSERT_FALSE(io.AbortFlag) << io.LastError();
    const std::vector<uint8_t> magick = MagickGray(file);
    ASSERT_EQ(magick.size(), 800u);
    EXPECT_EQ(magick[0], 0);
    EXPECT_EQ(magick[39], 255);

    TVidurErIO reader;
    reader.LoadFromFile(file.string());
    ASSERT_FALSE(reader.AbortFlag) << reader.LastError();
    EXPECT_EQ(OurGray(*reader.Bitmap()), magick);
    EXPECT_EQ(reader.ImageParams.FileType, 16);
}
