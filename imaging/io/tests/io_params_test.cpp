// The image parameters: defaults, resets, copies, coupled setters, and the
// colour-row conversion.
#include <gtest/gtest.h>

#include <functional>

#include <lcms2.h>
#include <vector>

#include "imaging/core/ie_helpers.h"
#include "imaging/io/ie_file_formats.h"
#include "imaging/io/ie_io_params.h"
#include "imaging/io/ie_vidurer_io.h"
#include "imaging/io/tests/file_formats_scope.h"
#include "platform/clock.h"

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
    {
        const TFixedClock clock(45291.75);
        EXPECT_EQ(TIOParamsVals().TgaDate, 45291.0);  // today, in days since 1899-12-30
    }

    // The owner hears of DPI changes (for its view); one without a view
    // does nothing with them.
    TVidurErIO owner;
    TIOParamsVals owned(&owner);
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

namespace {

// One field: how to change it, whether it holds its default, and what the
// resets and copies do with it.
struct FieldCase {
    const char* name;
    std::function<void(TIOParamsVals&)> change;
    std::function<bool(const TIOParamsVals&)> isDefault;
    bool resetInfoClears;  // ResetInfo brings back the default
    bool assignCopies;     // Assign takes the source's value
    bool compressionCopies;  // AssignCompressionInfo takes it
};

enum : int { kKept = 0, kCleared = 1 };

// A profile with its bytes, as a file would carry it: lcms2's sRGB.
void LoadSomeProfile(TIEICC& icc) {
    cmsHPROFILE profile = cmsCreate_sRGBProfile();
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    std::vector<uint8_t> bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    icc.LoadFromBuffer(bytes.data(), static_cast<int32_t>(size));
}

#define FIELD(field, defaultValue, changed, info, assign, compression)                                    \
    FieldCase {                                                                                              \
        #field, [](TIOParamsVals& p) { p.field = changed; },                                               \
            [](const TIOParamsVals& p) { return p.field == defaultValue; }, info == kCleared, assign, compression \
    }

std::vector<FieldCase> FieldCases() {
    using Strings = std::vector<std::string>;
    return {
        FIELD(BitsPerSample, 8, 16, kKept, true, true),
        FIELD(SamplesPerPixel, 3, 1, kKept, true, true),
        FIELD(FileType, 0, 5, kKept, true, false),
        FIELD(FileName, u"", u"a.png", kKept, true, false),
        FIELD(TiffCompression, 0, 5, kKept, true, true),
        FIELD(TiffSubIndex, -1, 2, kKept, true, false),
        FIELD(TiffPhotometric, 2, 1, kKept, true, true),
        FIELD(TiffPlanarConfig, 1, 2, kKept, true, true),
        FIELD(TiffPageNumber, -1, 3, kKept, true, false),
        FIELD(TiffDocumentName, "", "doc", kCleared, true, false),
        FIELD(TiffImageDescription, "", "desc", kCleared, true, false),
        FIELD(TiffJpegQuality, 80, 20, kKept, true, true),
        FIELD(TiffZIPCompression, 1, 2, kKept, true, true),
        FIELD(TiffFillOrder, 1, 2, kKept, true, true),
        FIELD(TiffByteOrderIntel, true, false, kKept, true, false),
        FIELD(GifVersion, "GIF89a", "GIF87a", kKept, true, false),
        FIELD(GifAction, 2, 1, kKept, true, false),
        FIELD(GifInterlaced, false, true, kKept, true, true),
        FIELD(GifTranspColor, (TRGB{0, 0, 0}), (TRGB{1, 2, 3}), kKept, true, false),
        FIELD(GifComments, Strings{}, Strings{"c"}, kCleared, true, false),
        FIELD(JpegColorSpace, 2, 3, kKept, true, true),
        FIELD(JpegQuality, 80, 30, kKept, true, true),
        FIELD(JpegDCTMethod, 1, 0, kKept, true, true),
        FIELD(JpegSmooth, 0, 10, kKept, true, true),
        FIELD(JpegProgressive, false, true, kKept, true, true),
        FIELD(JpegScale, 1, 2, kKept, true, false),
        FIELD(JpegScaleUsed, 1, 4, kKept, true, false),
        FIELD(J2000ColorSpace, 1, 2, kKept, true, true),
        FIELD(J2000Rate, 1.0, 0.5, kKept, true, true),
        FIELD(J2000Progression, 0, 1, kKept, true, true),
        FIELD(PcxVersion, 5, 3, kKept, true, true),
        FIELD(PcxCompressed, true, false, kKept, true, true),
        FIELD(BmpVersion, 1, 2, kKept, true, true),
        FIELD(BmpCompressed, false, true, kKept, true, true),
        FIELD(BmpAlphaChannel, false, true, kKept, true, true),
        FIELD(IcoBackground, (TRGB{255, 255, 255}), (TRGB{0, 0, 0}), kKept, true, false),
        FIELD(CurBackground, (TRGB{255, 255, 255}), (TRGB{0, 0, 0}), kKept, true, false),
        FIELD(CurXHotSpot, 0, 7, kKept, true, false),
        FIELD(PngInterlaced, false, true, kKept, true, true),
        FIELD(PngFilter, 0, 2, kKept, true, true),
        FIELD(PngCompression, 5, 9, kKept, true, true),
        FIELD(PngTextKeys, Strings{}, Strings{"Title"}, kCleared, true, false),
        FIELD(PngTextValues, Strings{}, Strings{"t"}, kCleared, true, false),
        FIELD(TgaCompressed, true, false, kKept, true, true),
        FIELD(TgaGrayLevel, false, true, kKept, true, true),
        FIELD(TgaImageId, "", "id", kCleared, true, false),
        FIELD(TgaAuthor, "", "me", kCleared, true, false),
        FIELD(TgaJobName, "", "job", kCleared, true, false),
        FIELD(TgaAspectRatio, 1.0, 2.0, kKept, true, false),
        FIELD(TgaGamma, 2.2, 1.0, kKept, true, false),
        FIELD(PxmComments, Strings{}, Strings{"# made"}, kCleared, true, false),
        FIELD(XmpInfo, "", "<x/>", kCleared, true, false),
        FIELD(AviFrameDelay, 0, 40, kKept, true, false),
        FIELD(PsPaperWidth, 595, 612, kKept, true, false),
        FIELD(PsPaperHeight, 842, 792, kKept, true, false),
        FIELD(PsCompression, 1, 0, kKept, true, false),
        FIELD(PsTitle, "No Title", "T", kKept, true, false),
        FIELD(PdfCompression, 2, 0, kKept, true, false),
        FIELD(PdfAuthor, "", "A", kKept, true, false),
        FIELD(RawHalfSize, false, true, kKept, true, false),
        FIELD(RawGamma, 0.6, 1.0, kKept, true, false),
        FIELD(RawBright, 1.0, 2.0, kKept, true, false),
        FIELD(RawQuickInterpolate, true, false, kKept, true, false),
        FIELD(RawCamera, "", "cam", kKept, true, false),
        FIELD(RawPixelsRowAlign, 8, 32, kKept, true, false),
        FIELD(RawPixelsBGR, false, true, kKept, true, false),
        FIELD(PsdLoadLayers, false, true, kKept, true, false),
        FIELD(PsdReplaceLayers, true, false, kKept, true, false),
        FIELD(ExifHasData, false, true, kCleared, true, false),
        FIELD(ExifMake, "", "maker", kCleared, true, false),
        FIELD(ExifFNumber, 0.0, 2.8, kCleared, true, false),
        FIELD(ExifWhiteBalance, -1, 1, kCleared, true, false),
        FIELD(ExifSubjectDistanceRange, -1, 2, kCleared, true, false),
        FIELD(ExifDigitalZoomRatio, -1.0, 2.0, kCleared, true, false),
        FIELD(ExifXPTitle, u"", u"title", kCleared, true, false),
        FIELD(ExifImageUniqueID, "", "0123", kCleared, true, false),
        FIELD(ExifGpsLatitudeRef, "", "N", kCleared, true, false),
        FIELD(ExifGpsAltitude, 0.0, 12.5, kCleared, true, false),
        FieldCase{"ExifGpsLatitude", [](TIOParamsVals& p) { p.ExifGpsLatitude[1] = 30; },
                  [](const TIOParamsVals& p) { return p.ExifGpsLatitude[1] == 0; }, true, true, false},
        FieldCase{"TiffOrientation", [](TIOParamsVals& p) { p.SetTIFFOrientation(6); },
                  [](const TIOParamsVals& p) { return p.TiffOrientation == 1; }, false, true, true},
        FieldCase{"ColorMap", [](TIOParamsVals& p) { p.ColorMap = {TRGB{1, 2, 3}}; },
                  [](const TIOParamsVals& p) { return p.ColorMapCount() == 0; }, false, true, false},
        FieldCase{"IcoSizes", [](TIOParamsVals& p) { p.IcoSizes[0][0] = 32; },
                  [](const TIOParamsVals& p) { return p.IcoSizes[0][0] == 64 && p.IcoBitCount[0] == 8; }, false, true,
                  false},
        FieldCase{"DicomTags", [](TIOParamsVals& p) { p.DicomTags.AddTag(0x0028, 0x0010, "US", {2, 0}, 2); },
                  [](const TIOParamsVals& p) { return p.DicomTags.Count() == 0; }, true, true, false},
        FieldCase{"IPTCList",
                  [](TIOParamsVals& p) {
                      const uint8_t text[] = {'h', 'i'};
                      p.IPTCList.AddBufferItem(2, 120, 2, text);
                  },
                  [](const TIOParamsVals& p) { return p.IPTCList.GetCount() == 0; }, true, true, false},
        FieldCase{"JpegMarkerList",
                  [](TIOParamsVals& p) {
                      const uint8_t comment[] = {'c'};
                      p.JpegMarkerList.AddMarker(0xFE, comment, 1);
                  },
                  [](const TIOParamsVals& p) { return p.JpegMarkerList.GetCount() == 0; }, true, true, false},
        FieldCase{"ExifMakerNote",
                  [](TIOParamsVals& p) {
                      p.ExifMakerNote.Data() = {1, 0, 1, 0, 3, 0, 1, 0, 0, 0, 7, 0, 0, 0};
                      p.ExifMakerNote.ReadIFD();
                  },
                  [](const TIOParamsVals& p) { return p.ExifMakerNote.TagCount() == 0; }, true, true, false},
        FieldCase{"ImagingAnnot",
                  [](TIOParamsVals& p) { p.GetImagingAnnot().Objects().push_back(std::make_unique<TIEImagingObject>()); },
                  [](const TIOParamsVals& p) { return !p.ImagingAnnot() || p.ImagingAnnot()->Objects().empty(); },
                  true, true, false},
        FieldCase{"InputICCProfile", [](TIOParamsVals& p) { LoadSomeProfile(p.GetInputICCProfile()); },
                  [](const TIOParamsVals& p) { return !p.InputICCProfile() || !p.InputICCProfile()->IsValid(); },
                  true, true, false},
        FieldCase{"DefaultICCProfile", [](TIOParamsVals& p) { LoadSomeProfile(p.GetDefaultICCProfile()); },
                  [](const TIOParamsVals& p) { return !p.DefaultICCProfile() || !p.DefaultICCProfile()->IsValid(); },
                  false, true, false},
    };
}

}  // namespace

TEST(IOParams, EveryFieldsDefaultResetAndCopyInOneTable) {
    for (const FieldCase& field : FieldCases()) {
        SCOPED_TRACE(field.name);
        TIOParamsVals params;
        EXPECT_TRUE(field.isDefault(params)) << "new object";
        field.change(params);
        ASSERT_FALSE(field.isDefault(params)) << "the change must leave the default";
        params.SetDefaultParams();
        EXPECT_TRUE(field.isDefault(params)) << "SetDefaultParams";

        field.change(params);
        params.ResetInfo();
        EXPECT_EQ(field.isDefault(params), field.resetInfoClears) << "ResetInfo";

        TIOParamsVals source, copy, settings;
        field.change(source);
        copy.Assign(source);
        EXPECT_EQ(!field.isDefault(copy), field.assignCopies) << "Assign";
        settings.AssignCompressionInfo(source);
        EXPECT_EQ(!field.isDefault(settings), field.compressionCopies) << "AssignCompressionInfo";

        // A copy from a source at its default brings the default back.
        copy.Assign(TIOParamsVals());
        EXPECT_TRUE(field.isDefault(copy)) << "Assign of defaults";
    }
}

TEST(IOParams, ResetEXIFDropsTheEXIFBlockOfTheJPEGMarkers) {
    TIOParamsVals params;
    const uint8_t exif[] = {'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8};
    const uint8_t xmp[] = {'h', 't', 't', 'p'};
    params.JpegMarkerList.AddMarker(0xE1, xmp, sizeof xmp);
    params.JpegMarkerList.AddMarker(0xE1, exif, sizeof exif);
    params.JpegMarkerList.AddMarker(0xE1, exif, sizeof exif);
    params.ResetEXIF();
    ASSERT_EQ(params.JpegMarkerList.GetCount(), 2);  // only the first EXIF block goes
    EXPECT_EQ(params.JpegMarkerList.GetMarkerBytes(0), std::vector<uint8_t>(xmp, xmp + sizeof xmp));
}

TEST(IOParams, FormatDescriptionText) {
    const TFileFormatsScope registry;
    IEInitFileFormats();
    struct Case {
        int32_t fileType;
        std::function<void(TIOParamsVals&)> set;
        const char* expected;
    } cases[] = {
        {0, nullptr, ""},
        {15, nullptr, ""},  // AVI has no registry row
        {1, [](TIOParamsVals& p) { p.TiffCompression = 5; }, "TIFF Bitmap (TIF) LZW"},
        {1, [](TIOParamsVals& p) { p.TiffCompression = 4; }, "TIFF Bitmap (TIF) Group 4 Fax"},
        {1, [](TIOParamsVals& p) { p.TiffCompression = 11; }, "TIFF Bitmap (TIF)"},
        {2, [](TIOParamsVals& p) { p.GifInterlaced = true; }, "CompuServe Bitmap (GIF) Interlaced"},
        {2, nullptr, "CompuServe Bitmap (GIF)"},
        {3, [](TIOParamsVals& p) { p.JpegColorSpace = 3; }, "JPEG Bitmap (JPG) CMYK"},
        {3, [](TIOParamsVals& p) { p.JpegColorSpace = 1; }, "JPEG Bitmap (JPG) Gray level"},
        {4, [](TIOParamsVals& p) { p.PcxCompressed = false; }, "PaintBrush (PCX) Uncompressed"},
        {4, nullptr, "PaintBrush (PCX)"},
        {5, nullptr, "Windows Bitmap (BMP) ver.3"},
        {5, [](TIOParamsVals& p) { p.BmpVersion = 2; }, "Windows Bitmap (BMP) OS/2 v.1"},
        {8, [](TIOParamsVals& p) { p.PngInterlaced = true; }, "Portable Network Graphics (PNG) Interlaced"},
        {11, nullptr, "Targa Bitmap (TGA) Compressed"},
        {11, [](TIOParamsVals& p) { p.TgaCompressed = false; }, "Targa Bitmap (TGA) Uncompressed"},
        {12, nullptr, "Portable Pixmap, GrayMap, BitMap (PXM)"},
        {13, [](TIOParamsVals& p) { p.J2000ColorSpace = 0; }, "JPEG2000 (JP2) Gray level"},
        {14, [](TIOParamsVals& p) { p.J2000ColorSpace = 2; }, "JPEG2000 Code Stream (J2K) YCbCr"},
        {20, [](TIOParamsVals& p) { p.RawCamera = "Maker Model"; }, "Camera RAW (CRW) (Maker Model)"},
        {28, nullptr, "DICOM Bitmap (DCM)"},
    };
    for (const Case& c : cases) {
        TIOParamsVals params;
        params.FileType = c.fileType;
        if (c.set) c.set(params);
        EXPECT_EQ(IEParamsToFormatText(params), c.expected) << c.fileType;
    }
    IEFreeFileFormats();
}
