// Headerless pixels against ImageMagick's raw dumps (rgb:, bgr:, gray:, the
// plane-interlaced form and 16-bit samples), with row alignment, a skipped
// header and the progress the layouts report.
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/tests/tool_support.h"
#include "imaging/io/ie_raw_pixels.h"
#include "imaging/io/ie_vidurer_io.h"
#include "imaging/io/tests/rgba_support.h"

using namespace imaging_test;

namespace {

std::vector<uint8_t> Dump(const std::string& command) {
    const std::string out = RunCommand(command + " 2>/dev/null");
    return std::vector<uint8_t>(out.begin(), out.end());
}

// Loads bytes into a bitmap the component holds at the given size and format.
std::vector<uint8_t> Load(const std::vector<uint8_t>& bytes, TIEPixelFormat format, TVidurErIO& io, int32_t width = 41,
                          int32_t height = 29) {
    io.Bitmap()->Allocate(width, height, format);
    TMemoryStream stream(bytes);
    io.LoadFromStreamRawPixels(stream);
    EXPECT_FALSE(io.AbortFlag) << io.LastError();
    return OurRGBA(*io.Bitmap());
}

}  // namespace

TEST(RawPixels, ToolsImageMagickDumpsInEveryLayout) {
    REQUIRE_TOOL("convert");
    const auto folder = FixtureFolder("rawpixels/" + std::to_string(::getpid()));
    const std::string src = (folder / "src.png").string();
    RunCommand("convert -size 41x29 -seed 7 plasma:fractal -depth 8 '" + src + "'");
    const std::vector<uint8_t> expected = MagickRGBA(src);
    const std::string gray = "convert '" + src + "' -colorspace gray ";
    const std::vector<uint8_t> expectedGray = Dump(gray + "-depth 8 rgba:-");
    struct TCase {
        const char* name;
        std::string command;
        TIEPixelFormat format;
        bool bgr, planar;
        const std::vector<uint8_t>& expected;
        int tolerance;  // ImageMagick's gray of 16 bits rounds apart from its gray of 8
    };
    const TCase cases[] = {
        {"rgb", "convert '" + src + "' -depth 8 rgb:-", ie24RGB, false, false, expected, 0},
        {"bgr", "convert '" + src + "' -depth 8 bgr:-", ie24RGB, true, false, expected, 0},
        {"rgb planes", "convert '" + src + "' -depth 8 -interlace plane rgb:-", ie24RGB, false, true, expected, 0},
        {"rgb 16-bit", "convert '" + src + "' -depth 16 -endian LSB rgb:-", ieRGB48, false, false, expected, 0},
        {"rgb 16-bit planes", "convert '" + src + "' -depth 16 -endian LSB -interlace plane rgb:-", ieRGB48, false, true,
         expected, 0},
        {"gray", gray + "-depth 8 gray:-", ie8g, false, false, expectedGray, 0},
        {"gray 16-bit", gray + "-depth 16 -endian LSB gray:-", ie16g, false, false, expectedGray, 1},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> bytes = Dump(c.command);
        ASSERT_FALSE(bytes.empty());
        TVidurErIO io;
        io.ImageParams.RawPixelsBGR = c.bgr;
        io.ImageParams.RawPixelsPlanar = c.planar;
        const std::vector<uint8_t> got = Load(bytes, c.format, io);
        ASSERT_EQ(got.size(), c.expected.size());
        int worst = 0;
        for (size_t i = 0; i < got.size(); ++i) worst = std::max(worst, std::abs(got[i] - c.expected[i]));
        EXPECT_LE(worst, c.tolerance);
        EXPECT_EQ(io.ImageParams.FileType, 21);
    }
}

TEST(RawPixels, AlignedRowsAndASkippedHeader) {
    // 3 x 2 pixels, red, green, blue: rows of 9 bytes, or 12 when aligned
    // to 32 bits, behind a header of 100 bytes.
    std::vector<uint8_t> rows;
    for (int32_t i = 0; i < 18; ++i) rows.push_back(static_cast<uint8_t>(10 * i));
    for (int32_t align : {8, 32}) {
        SCOPED_TRACE(align);
        std::vector<uint8_t> bytes(100, 0xEE);
        for (int32_t y = 0; y < 2; ++y) {
            bytes.insert(bytes.end(), rows.begin() + 9 * y, rows.begin() + 9 * y + 9);
            if (align == 32) bytes.insert(bytes.end(), {0xAA, 0xAA, 0xAA});
        }
        TVidurErIO io;
        io.ImageParams.RawPixelsRowAlign = align;
        io.ImageParams.RawPixelsDataStart = 100;
        const std::vector<uint8_t> got = Load(bytes, ie24RGB, io, 3, 2);
        for (size_t p = 0; p < 6; ++p)
            for (size_t c = 0; c < 3; ++c) EXPECT_EQ(got[4 * p + c], rows[3 * p + c]) << p << " " << c;
    }
}

TEST(RawPixels, PlanesReportTheirShare) {
    for (TIEPixelFormat format : {ie24RGB, ieCMYK}) {
        TIEBitmap bitmap(2, 1, format);
        const int32_t planes = format == ieCMYK ? 4 : 3;
        std::vector<uint8_t> bytes;
        for (int32_t p = 0; p < planes; ++p) bytes.insert(bytes.end(), {static_cast<uint8_t>(p + 1), static_cast<uint8_t>(p + 11)});
        TMemoryStream stream(bytes);
        TIOParamsVals params;
        params.RawPixelsPlanar = true;
        params.RawPixelsBGR = true;  // kept as stored
        std::vector<int> reports;
        TIEProgressRec progress;
        progress.OnProgress = [&](void*, int percent) { reports.push_back(percent); };
        IEReadRawPixels(stream, bitmap, params, progress);
        const std::vector<int> expected = planes == 3 ? std::vector<int>{0, 33, 66, 100} : std::vector<int>{0, 25, 50, 75, 100};
        EXPECT_EQ(reports, expected);
        for (int32_t p = 0; p < planes; ++p) {
            EXPECT_EQ(bitmap.GetScanline(0)[p], p + 1);
            EXPECT_EQ(bitmap.GetScanline(0)[planes + p], p + 11);
        }
    }
}

TEST(RawPixels, ShortDataIsReportedAndKeepsTheRest) {
    TVidurErIO io;
    io.Bitmap()->Allocate(10, 10, ie8g);
    io.Bitmap()->Fill(7);
    TMemoryStream stream(std::vector<uint8_t>(35, 200));
    io.LoadFromStreamRawPixels(stream);
    EXPECT_TRUE(io.AbortFlag);
    EXPECT_NE(io.LastError().find("ends before"), std::string::npos) << io.LastError();
    EXPECT_EQ(io.Bitmap()->GetScanline(2)[9], 200);
    EXPECT_EQ(io.Bitmap()->GetScanline(9)[0], 7);
    // An empty name changes nothing.
    io.AbortFlag = false;
    io.LoadFromFileRawPixels("");
    EXPECT_FALSE(io.AbortFlag);
}
