// The image parameters: defaults, resets, copies, coupled setters, and the
// colour-row conversion.
#include <gtest/gtest.h>

#include <vector>

#include "imaging/core/ie_helpers.h"
#include "imaging/io/ie_io_params.h"

namespace {
// Any non-null pointer does for an owner: the parameters only keep it.
TVidurErIO* const kSomeOwner = reinterpret_cast<TVidurErIO*>(uintptr_t{0x1000});
}

TEST(IOParams, DefaultsWithAndWithoutAnOwner) {
    TIOParamsVals alone;
    EXPECT_EQ(alone.DpiX, 0);
    EXPECT_EQ(alone.Width, 0);
    EXPECT_EQ(alone.BitsPerSample, 8);
    EXPECT_EQ(alone.SamplesPerPixel, 3);
    EXPECT_EQ(alone.JpegQuality, 80);
    EXPECT_EQ(alone.GifVersion, "GIF89a");
    EXPECT_EQ(alone.PsTitle, "No Title");
    EXPECT_EQ(alone.TgaGamma, 2.2);
    EXPECT_EQ(alone.RawGamma, 0.6);
    EXPECT_EQ(alone.TiffSubIndex, -1);
    EXPECT_EQ(alone.ExifWhiteBalance, -1);
    EXPECT_EQ(alone.ExifDigitalZoomRatio, -1.0);
    EXPECT_EQ(alone.IcoSizes[0][0], 64);
    EXPECT_EQ(alone.IcoSizes[1][0], 0);
    EXPECT_GT(alone.TgaDate, 40000);  // today, in days since 1899-12-30

    TIOParamsVals owned(kSomeOwner);
    EXPECT_EQ(owned.DpiX, 300);
    EXPECT_EQ(owned.ExifXResolution, 0);  // the EXIF reset comes after the DPI
    owned.SetDpiX(72);
    EXPECT_EQ(owned.DpiX, 72);
    EXPECT_EQ(owned.ExifXResolution, 72);

    // A reset without an owner keeps the size and resolution.
    alone.SetDpiY(96);
    alone.Width = 20;
    alone.JpegQuality = 10;
    alone.SetDefaultParams();
    EXPECT_EQ(alone.DpiY, 96);
    EXPECT_EQ(alone.Width, 20);
    EXPECT_EQ(alone.JpegQuality, 80);
}

TEST(IOParams, CoupledSetters) {
    TIOParamsVals params;
    struct ResolutionCase {
        double exif;
        int32_t dpi;
    };
    for (ResolutionCase c : {ResolutionCase{71.5, 72}, {72.5, 72}, {71.4, 71}, {299.9, 300}}) {
        params.SetEXIFXResolution(c.exif);
        EXPECT_EQ(params.DpiX, c.dpi) << c.exif;
        EXPECT_EQ(params.ExifXResolution, c.exif);
    }
    params.SetImageIndex(3);
    for (int32_t v : {params.ImageIndex, params.TiffImageIndex, params.DcxImageIndex, params.GifImageIndex,
                      params.IcoImageIndex, params.CurImageIndex})
        EXPECT_EQ(v, 3);
    params.SetImageCount(7);
    for (int32_t v : {params.ImageCount, params.TiffImageCount, params.AviFrameCount, params.GifImageCount,
                      params.MediaFileFrameCount})
        EXPECT_EQ(v, 7);
    params.SetEXIFOrientation(6);
    EXPECT_EQ(params.TiffOrientation, 6);
    params.SetGetEXIFThumbnail(true);
    EXPECT_TRUE(params.GetThumbnail && params.JpegGetExifThumbnail);
    params.SetEXIFPrimaryChromaticities(5, 0.25);
    EXPECT_EQ(params.GetEXIFPrimaryChromaticities(5), 0.25);
}

TEST(IOParams, ResetsKeepTheSavingSettings) {
    TIOParamsVals params;
    params.JpegQuality = 95;
    params.TiffCompression = 5;
    params.GifComments = {"one", "two"};
    params.PngTextKeys = {"Title"};
    params.TiffPageName = "page";
    params.XmpInfo = "<x/>";
    params.ExifMake = "maker";
    params.ExifHasData = true;
    params.GetOrCreateExifThumbnail().Allocate(2, 2, ie24RGB);
    params.ResetInfo();
    EXPECT_EQ(params.JpegQuality, 95);
    EXPECT_EQ(params.TiffCompression, 5);
    EXPECT_TRUE(params.GifComments.empty());
    EXPECT_TRUE(params.PngTextKeys.empty());
    EXPECT_TRUE(params.TiffPageName.empty());
    EXPECT_TRUE(params.XmpInfo.empty());
    EXPECT_TRUE(params.ExifMake.empty());
    EXPECT_FALSE(params.ExifHasData);
    EXPECT_EQ(params.ExifThumbnail(), nullptr);
    EXPECT_EQ(params.ExifContrast, -1);
}

TEST(IOParams, AssignCopiesAllButTheStatedExceptions) {
    TIOParamsVals source;
    source.JpegQuality = 33;
    source.GifImageIndex = 5;
    source.CurImageIndex = 0;
    source.GifComments = {"c"};
    source.ColorMap = {IECreateRGB(1, 2, 3), IECreateRGB(4, 5, 6)};
    source.NativePixelFormat = true;
    source.MediaFileRate = 25;
    source.SetDpiX(150);
    source.ExifModel = "model";
    source.GetOrCreateExifThumbnail().Allocate(3, 2, ie8g);

    TIOParamsVals copy;
    copy.GetOrCreateExifThumbnail().Allocate(9, 9, ie24RGB);
    copy.Assign(source);
    EXPECT_EQ(copy.JpegQuality, 33);
    EXPECT_EQ(copy.GifImageIndex, 0);  // every index takes the cursor's
    EXPECT_EQ(copy.GifComments, source.GifComments);
    EXPECT_EQ(copy.ColorMapCount(), 2);
    EXPECT_EQ(copy.ColorMap[1], IECreateRGB(4, 5, 6));
    EXPECT_FALSE(copy.NativePixelFormat);
    EXPECT_EQ(copy.MediaFileRate, 0);
    EXPECT_EQ(copy.DpiX, 150);
    EXPECT_EQ(copy.ExifModel, "model");
    ASSERT_NE(copy.ExifThumbnail(), nullptr);
    EXPECT_EQ(copy.ExifThumbnail()->GetWidth(), 3);

    // A source without a thumbnail leaves the copy's own.
    TIOParamsVals bare;
    copy.Assign(bare);
    ASSERT_NE(copy.ExifThumbnail(), nullptr);

    TIOParamsVals settings;
    settings.AssignCompressionInfo(source);
    EXPECT_EQ(settings.JpegQuality, 33);
    EXPECT_TRUE(settings.ExifModel.empty());
}

TEST(IOParams, ColorRowsConvertBetweenLayouts) {
    const uint8_t rgb[6] = {10, 200, 30, 255, 255, 255};
    uint8_t bgr[6];
    IEConvertColorRow(rgb, iecRGB, bgr, nullptr, 2, iecBGR);
    EXPECT_EQ(std::vector<uint8_t>(bgr, bgr + 6), (std::vector<uint8_t>{30, 200, 10, 255, 255, 255}));

    // 16-bit samples keep their high bytes, in either byte order.
    const uint8_t little[6] = {0x11, 0xAA, 0x22, 0xBB, 0x33, 0xCC};
    const uint8_t big[6] = {0xAA, 0x11, 0xBB, 0x22, 0xCC, 0x33};
    uint8_t a[3], b[3];
    IEConvertColorRow(little, iecRGB48, a, nullptr, 1, iecBGR);
    IEConvertColorRow(big, iecRGB48BE, b, nullptr, 1, iecBGR);
    EXPECT_EQ(std::vector<uint8_t>(a, a + 3), (std::vector<uint8_t>{0xCC, 0xBB, 0xAA}));
    EXPECT_EQ(std::vector<uint8_t>(b, b + 3), (std::vector<uint8_t>{0xCC, 0xBB, 0xAA}));

    // Inverted CMYK: red = C * K / 255 with 255 meaning no ink.
    const uint8_t cmyk[4] = {255, 0, 128, 200};
    uint8_t fromCmyk[3];
    IEConvertColorRow(cmyk, iecCMYK, fromCmyk, nullptr, 1, iecBGR);
    EXPECT_EQ(std::vector<uint8_t>(fromCmyk, fromCmyk + 3), (std::vector<uint8_t>{128 * 200 / 255, 0, 200}));

    // YCbCr there and back stays within one step of rounding.
    for (TRGB c : {IECreateRGB(10, 200, 30), IECreateRGB(255, 0, 0), IECreateRGB(128, 128, 128)}) {
        uint8_t ycc[3], back[3];
        IEConvertColorRow(&c, iecBGR, ycc, nullptr, 1, iecYCbCr);
        IEConvertColorRow(ycc, iecYCbCr, back, nullptr, 1, iecBGR);
        EXPECT_NEAR(back[0], c.b, 2);
        EXPECT_NEAR(back[1], c.g, 2);
        EXPECT_NEAR(back[2], c.r, 2);
    }
}
