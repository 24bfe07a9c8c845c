// The image library's file input/output: the parameters of one image
// (TIOParamsVals) that every reader fills and every writer reads, the
// settings and codec hooks of the input/output unit, and the colour-row
// conversion the codecs share. It stands on imaging/core.
//
// TIOParamsVals is plain data with a few coupled setters: it raises
// nothing, checks no ranges and does no I/O. Its plain fields live in the
// two bases below so that a reset is one assignment of defaults and a copy
// one assignment of values, with the exceptions the setters spell out.
// The metadata lists (JPEG markers, IPTC, DICOM tags, the maker note) are
// values among those fields; the objects made on demand (EXIF thumbnail,
// colour profiles, imaging annotations) belong to the class itself.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_icc.h"
#include "imaging/core/ie_jpeg_markers.h"
#include "imaging/core/ie_meta_tags.h"
#include "imaging/core/ie_types.h"
#include "platform/stream.h"

class TVidurErIO;
class TIOParamsVals;

// Library-wide settings of the input/output unit.
// The DPI a reader stores when the file gives none (horizontal, vertical).
extern int32_t IELibraryDefaultDPI[2];
// Quantizer choices read by every new quantizer; -1 automatic.
extern int32_t DefaultQuantizerMethod;
extern int32_t DefaultQuantizerQuality;
// The trace file of IEDebugLog; empty means no trace.
extern std::string IEDebugLogFileName;
// Appends "date time : text" to the trace file when one is named.
void IEDebugLog(const std::string& text);

// Codec hooks. The TIFF LZW state is the codec's own record.
struct TIETIFFLZWState;
using TIETIFFLZWDecompressor = uint8_t* (*)(const uint8_t* input, int32_t rowLength, TIETIFFLZWState*& state);
using TIETIFFLZWCompressor = void (*)(const uint8_t* input, int32_t length, TStream& output,
                                      TIETIFFLZWState*& state);
using TIEGIFLZWDecompressor = void (*)(TStream& stream, int32_t height, int32_t width, bool interlaced,
                                       uint8_t* buffer);
using TIEGIFLZWCompressor = void (*)(TStream& stream, int32_t height, int32_t width, bool interlaced,
                                     const uint8_t* buffer, int32_t bitsPerPixel);
// Installed by the LZW codecs; a reset of the parameters copies them in.
extern TIETIFFLZWDecompressor TIFFLZWDecompressorHook;
extern TIETIFFLZWCompressor TIFFLZWCompressorHook;
extern TIEGIFLZWDecompressor GIFLZWDecompressorHook;
extern TIEGIFLZWCompressor GIFLZWCompressorHook;

// EXIF and GPS fields, one per tag; ResetEXIF puts these back.
struct TIEExifData {
    bool ExifHasData = false;
    std::string ExifImageDescription, ExifMake, ExifModel;
    int32_t ExifOrientation = 0;
    double ExifXResolution = 0, ExifYResolution = 0;
    int32_t ExifResolutionUnit = 0;
    std::string ExifSoftware, ExifArtist, ExifDateTime;
    double ExifWhitePoint[2] = {0, 0};
    double ExifPrimaryChromaticities[6] = {0, 0, 0, 0, 0, 0};
    double ExifYCbCrCoefficients[3] = {0, 0, 0};
    int32_t ExifYCbCrPositioning = 0;
    double ExifReferenceBlackWhite[6] = {0, 0, 0, 0, 0, 0};
    std::string ExifCopyright;
    double ExifExposureTime = 0, ExifFNumber = 0;
    int32_t ExifExposureProgram = 0;
    int32_t ExifISOSpeedRatings[2] = {0, 0};
    std::string ExifVersion, ExifDateTimeOriginal, ExifDateTimeDigitized;
    double ExifCompressedBitsPerPixel = 0, ExifShutterSpeedValue = 0, ExifApertureValue = 0,
           ExifBrightnessValue = 0, ExifExposureBiasValue = 0, ExifMaxApertureValue = 0, ExifSubjectDistance = 0;
    int32_t ExifMeteringMode = 0, ExifLightSource = 0, ExifFlash = 0;
    double ExifFocalLength = 0;
    std::string ExifSubsecTime, ExifSubsecTimeOriginal, ExifSubsecTimeDigitized, ExifFlashPixVersion;
    int32_t ExifColorSpace = 0, ExifExifImageWidth = 0, ExifExifImageHeight = 0;
    std::string ExifRelatedSoundFile;
    double ExifFocalPlaneXResolution = 0, ExifFocalPlaneYResolution = 0;
    int32_t ExifFocalPlaneResolutionUnit = 0;
    double ExifExposureIndex = 0;
    int32_t ExifSensingMethod = 0, ExifFileSource = 0, ExifSceneType = 0;
    std::string ExifUserComment, ExifUserCommentCode;
    TIETagsHandler ExifMakerNote;
    std::u16string ExifXPTitle, ExifXPComment, ExifXPAuthor, ExifXPKeywords, ExifXPSubject;
    // -1 means "not set"; the writer skips these.
    int32_t ExifExposureMode = -1, ExifWhiteBalance = -1;
    double ExifDigitalZoomRatio = -1.0;
    int32_t ExifFocalLengthIn35mmFilm = -1, ExifSceneCaptureType = -1, ExifGainControl = -1, ExifContrast = -1,
            ExifSaturation = -1, ExifSharpness = -1, ExifSubjectDistanceRange = -1;
    std::string ExifImageUniqueID;
    // GPS directory, in tag order.
    std::string ExifGpsVersionID, ExifGpsLatitudeRef;
    double ExifGpsLatitude[3] = {0, 0, 0};
    std::string ExifGpsLongitudeRef;
    double ExifGpsLongitude[3] = {0, 0, 0};
    std::string ExifGpsAltitudeRef;
    double ExifGpsAltitude = 0;
    double ExifGpsTimeStamp[3] = {0, 0, 0};
    std::string ExifGpsSatellites, ExifGpsStatus, ExifGpsMeasureMode;
    double ExifGpsDOP = 0;
    std::string ExifGpsSpeedRef;
    double ExifGpsSpeed = 0;
    std::string ExifGpsTrackRef;
    double ExifGpsTrack = 0;
    std::string ExifGpsImgDirectionRef;
    double ExifGpsImgDirection = 0;
    std::string ExifGpsMapDatum, ExifGpsDestLatitudeRef;
    double ExifGpsDestLatitude[3] = {0, 0, 0};
    std::string ExifGpsDestLongitudeRef;
    double ExifGpsDestLongitude[3] = {0, 0, 0};
    std::string ExifGpsDestBearingRef;
    double ExifGpsDestBearing = 0;
    std::string ExifGpsDestDistanceRef;
    double ExifGpsDestDistance = 0;
    std::string ExifGpsDateStamp;
};

// Every other plain field with its default.
struct TIOParamsData : TIEExifData {
    int32_t BitsPerSample = 8;
    std::u16string FileName;
    int32_t SamplesPerPixel = 3;
    int32_t Width = 0, Height = 0;
    int32_t DpiX = 0, DpiY = 0;  // written through SetDpiX / SetDpiY
    int32_t FileType = 0;
    int32_t ImageIndex = 0;
    int32_t ImageCount = 0;
    bool GetThumbnail = false;
    bool EnableAdjustOrientation = false;

    // TIFF.
    uint8_t TiffCompression = 0;  // 0 none .. 11 other, as the TIFF codec numbers them
    int32_t TiffImageIndex = 0;
    int32_t TiffSubIndex = -1;
    uint8_t TiffPhotometric = 2;
    int32_t TiffPlanarConfig = 1;
    int32_t TiffXPos = 0, TiffYPos = 0;
    std::string TiffDocumentName, TiffImageDescription, TiffPageName;
    int32_t TiffPageNumber = -1, TiffPageCount = -1;
    int32_t TiffOrientation = 1;
    TIETIFFLZWDecompressor TiffLZWDecompress = nullptr;
    TIETIFFLZWCompressor TiffLZWCompress = nullptr;
    bool TiffEnableAdjustOrientation = false;
    int32_t TiffJpegQuality = 80;
    uint8_t TiffJpegColorSpace = 2;
    int32_t TiffZIPCompression = 1;
    int32_t TiffImageCount = 0;
    int32_t TiffFillOrder = 1;
    bool TiffByteOrderIntel = true;
    int32_t DcxImageIndex = 0;

    // GIF.
    std::string GifVersion = "GIF89a";
    int32_t GifImageIndex = 0;
    int32_t GifXPos = 0, GifYPos = 0;
    int32_t GifDelayTime = 0;
    bool GifFlagTranspColor = false;
    TRGB GifTranspColor;
    bool GifInterlaced = false;
    int32_t GifWinWidth = 0, GifWinHeight = 0;
    TRGB GifBackground;
    int32_t GifRatio = 0;
    std::vector<std::string> GifComments;
    uint8_t GifAction = 2;
    TIEGIFLZWDecompressor GifLZWDecompress = nullptr;
    TIEGIFLZWCompressor GifLZWCompress = nullptr;
    int32_t GifImageCount = 0;

    // JPEG.
    uint8_t JpegColorSpace = 2;  // 1 gray, 2 YCbCr, 3 CMYK, 4 YCbCrK
    int32_t JpegQuality = 80;
    uint8_t JpegDCTMethod = 1;   // 0 accurate integer, 1 fast integer, 2 float
    bool JpegOptimalHuffman = false;
    int32_t JpegSmooth = 0;
    bool JpegProgressive = false;
    uint8_t JpegScale = 1;       // 0 automatic, 1 full, 2 half, 3 quarter, 4 eighth
    int32_t JpegScaleUsed = 1;
    int32_t JpegOriginalWidth = 0, JpegOriginalHeight = 0;
    bool JpegEnableAdjustOrientation = false;
    bool JpegGetExifThumbnail = false;
    TIEMarkerList JpegMarkerList;
    int32_t JpegWarningCount = 0, JpegLastMessageCode = 0;
    TIEIPTCInfoList IPTCList;

    // JPEG 2000.
    uint8_t J2000ColorSpace = 1;  // 0 gray, 1 RGB, 2 YCbCr
    double J2000Rate = 1.0;
    uint8_t J2000Progression = 0;  // 0 lrcp, 1 rlcp

    // PCX, BMP.
    int32_t PcxVersion = 5;
    bool PcxCompressed = true;
    uint8_t BmpVersion = 1;
    bool BmpCompressed = false;
    bool BmpAlphaChannel = false;

    // Icons and cursors.
    int32_t IcoImageIndex = 0;
    TRGB IcoBackground{255, 255, 255};
    int32_t CurImageIndex = 0;
    int32_t CurXHotSpot = 0, CurYHotSpot = 0;
    TRGB CurBackground{255, 255, 255};

    // PNG.
    bool PngInterlaced = false;
    TRGB PngBackground;
    uint8_t PngFilter = 0;  // 0 none, 1 sub, 2 Paeth, others the library's choice
    int32_t PngCompression = 5;
    std::vector<std::string> PngTextKeys, PngTextValues;

    TIEDICOMTags DicomTags;

    // Targa.
    int32_t TgaXPos = 0, TgaYPos = 0;
    bool TgaCompressed = true;
    std::string TgaImageId, TgaAuthor;
    double TgaDate = 0;  // days since 1899-12-30; the day of the reset
    std::string TgaJobName;
    TRGB TgaBackground;
    double TgaAspectRatio = 1.0;
    double TgaGamma = 2.2;
    bool TgaGrayLevel = false;

    std::vector<std::string> PxmComments;

    // AVI.
    int32_t AviFrameCount = 0, AviFrameDelay = 0;

    // PostScript and PDF.
    int32_t PsPaperWidth = 595, PsPaperHeight = 842;
    uint8_t PsCompression = 1;
    std::string PsTitle = "No Title";
    int32_t PdfPaperWidth = 595, PdfPaperHeight = 842;
    uint8_t PdfCompression = 2;
    std::string PdfTitle, PdfAuthor, PdfSubject, PdfKeywords, PdfCreator, PdfProducer;

    // Camera RAW.
    bool RawHalfSize = false;
    double RawGamma = 0.6, RawBright = 1.0, RawRedScale = 1.0, RawBlueScale = 1.0;
    bool RawQuickInterpolate = true, RawUseAutoWB = false, RawUseCameraWB = false, RawFourColorRGB = false;
    std::string RawCamera;
    bool RawGetExifThumbnail = false;
    bool RawAutoAdjustColors = false;

    // Raw pixel data.
    bool RawPixelsBGR = false;
    bool RawPixelsPlanar = false;
    int32_t RawPixelsRowAlign = 8;
    int32_t RawPixelsDataStart = 0;

    // PSD.
    bool PsdLoadLayers = false;
    bool PsdReplaceLayers = true;

    std::string XmpInfo;
    bool NativePixelFormat = false;
    std::vector<TRGB> ColorMap;  // ColorMapCount entries
    int32_t IcoSizes[16][2] = {{64, 64}};
    int32_t IcoBitCount[16] = {8};
};

class TIOParamsVals : public TIOParamsData {
public:
    explicit TIOParamsVals(TVidurErIO* owner = nullptr);
    TIOParamsVals(const TIOParamsVals&) = delete;
    TIOParamsVals& operator=(const TIOParamsVals&) = delete;

    TVidurErIO* Owner() const { return owner_; }
    int32_t ColorMapCount() const { return static_cast<int32_t>(ColorMap.size()); }
    // Not touched by a reset or a copy.
    int32_t MediaFileFrameCount = 0;
    int32_t MediaFileRate = 0;

    void SetDefaultParams();
    // A reader's first step: clears what the file read describes, keeps the
    // saving settings.
    void ResetInfo();
    void ResetEXIF();
    void Assign(const TIOParamsVals& source);
    // Only the saving settings.
    void AssignCompressionInfo(const TIOParamsVals& source);

    void SetDpiX(int32_t value);
    void SetDpiY(int32_t value);
    // The DPI rounded to the nearest integer (halves to even), the EXIF
    // value exact.
    void SetEXIFXResolution(double value);
    void SetEXIFYResolution(double value);
    void SetImageIndex(int32_t value);
    void SetImageCount(int32_t value);
    void SetEnableAdjustOrientation(bool value);
    void SetGetEXIFThumbnail(bool value);
    void SetRAWGetEXIFThumbnail(bool value) { RawGetExifThumbnail = value; }
    void SetTIFFOrientation(int32_t value) { TiffOrientation = ExifOrientation = value; }
    void SetEXIFOrientation(int32_t value) { TiffOrientation = ExifOrientation = value; }

    // Indexed EXIF arrays; the index is the caller's to keep in range.
    int32_t GetEXIFISOSpeedRatings(int i) const { return ExifISOSpeedRatings[i]; }
    void SetEXIFISOSpeedRatings(int i, int32_t v) { ExifISOSpeedRatings[i] = v; }
    double GetEXIFWhitePoint(int i) const { return ExifWhitePoint[i]; }
    void SetEXIFWhitePoint(int i, double v) { ExifWhitePoint[i] = v; }
    double GetEXIFPrimaryChromaticities(int i) const { return ExifPrimaryChromaticities[i]; }
    void SetEXIFPrimaryChromaticities(int i, double v) { ExifPrimaryChromaticities[i] = v; }
    double GetEXIFYCbCrCoefficients(int i) const { return ExifYCbCrCoefficients[i]; }
    void SetEXIFYCbCrCoefficients(int i, double v) { ExifYCbCrCoefficients[i] = v; }
    double GetEXIFReferenceBlackWhite(int i) const { return ExifReferenceBlackWhite[i]; }
    void SetEXIFReferenceBlackWhite(int i, double v) { ExifReferenceBlackWhite[i] = v; }

    // The EXIF thumbnail (nullptr until a reader makes one).
    TIEBitmap* ExifThumbnail() const { return exifThumbnail_.get(); }
    TIEBitmap& GetOrCreateExifThumbnail();
    void FreeExifThumbnail() { exifThumbnail_.reset(); }

    // The image's embedded colour profile, created empty on first use
    // (nullptr before); the output profile is sRGB.
    TIEICC* InputICCProfile() const { return inputICC_.get(); }
    TIEICC& GetInputICCProfile();
    TIEICC& GetOutputICCProfile();
    TIEICC* OutputICCProfile() const { return outputICC_.get(); }
    // The input profile of files that carry no valid one; created empty.
    TIEICC& GetDefaultICCProfile();
    TIEICC* DefaultICCProfile() const { return defaultICC_.get(); }
    // The TIFF imaging annotations, created on first use with these
    // parameters as their parent.
    TIEImagingAnnot& GetImagingAnnot();
    TIEImagingAnnot* ImagingAnnot() const { return imagingAnnot_.get(); }

private:
    TVidurErIO* owner_;
    std::unique_ptr<TIEBitmap> exifThumbnail_;
    std::unique_ptr<TIEICC> inputICC_, outputICC_, defaultICC_;
    std::unique_ptr<TIEImagingAnnot> imagingAnnot_;
};

// Converts count pixels between colour layouts (kinds below). Never fails;
// unknown kinds copy nothing.
enum TIEColorKind : int32_t {
    iecRGB = 0,       // red, green, blue
    iecBGR = 1,       // blue, green, red: the ie24RGB layout
    iecCMYK = 2,      // C, M, Y, K inverted (255 = no ink)
    iecCIELab = 4,    // ieCIELab bytes
    iecRGB48 = 6,     // little-endian words red, green, blue
    iecRGB48BE = 7,   // big-endian words red, green, blue
    iecYCbCr = 8,     // JPEG's full-range Y, Cb, Cr
};
void IEConvertColorRow(const void* source, TIEColorKind sourceKind, void* destination, const TIOParamsVals* params,
                       int32_t count, TIEColorKind destinationKind);
