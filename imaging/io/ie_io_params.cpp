#include "imaging/io/ie_io_params.h"

#include <cmath>
#include <cstdio>
#include <ctime>

#include "imaging/core/ie_helpers.h"
#include "imaging/io/ie_vidurer_io.h"
#include "platform/clock.h"
#include "platform/mathutil.h"

int32_t IELibraryDefaultDPI[2] = {300, 300};
int32_t DefaultQuantizerMethod = -1;
int32_t DefaultQuantizerQuality = -1;
std::string IEDebugLogFileName;
TIETIFFLZWDecompressor TIFFLZWDecompressorHook = nullptr;
TIETIFFLZWCompressor TIFFLZWCompressorHook = nullptr;
TIEGIFLZWDecompressor GIFLZWDecompressorHook = nullptr;
TIEGIFLZWCompressor GIFLZWCompressorHook = nullptr;

void IEDebugLog(const std::string& text) {
    if (IEDebugLogFileName.empty()) return;
    std::FILE* file = std::fopen(IEDebugLogFileName.c_str(), "a");
    if (!file) return;
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    std::fprintf(file, "%s : %s\n", stamp, text.c_str());
    std::fflush(file);
    std::fclose(file);
}

namespace {

// Today as the toolkit's date value: whole days since 1899-12-30.
double Today() { return std::floor(NowAsDateTime()); }

}  // namespace

TIOParamsVals::TIOParamsVals(TVidurErIO* owner) : owner_(owner) { SetDefaultParams(); }

void TIOParamsVals::SetDefaultParams() {
    // Without an owner the size and resolution keep their values; the owner's
    // view, once there is one, gives the size.
    int32_t width = Width, height = Height, dpiX = DpiX, dpiY = DpiY;
    static_cast<TIOParamsData&>(*this) = TIOParamsData{};
    Width = width;
    Height = height;
    if (owner_) {
        SetDpiX(IELibraryDefaultDPI[0]);
        SetDpiY(IELibraryDefaultDPI[1]);
    } else {
        DpiX = dpiX;
        DpiY = dpiY;
    }
    TgaDate = Today();
    TiffLZWDecompress = TIFFLZWDecompressorHook;
    TiffLZWCompress = TIFFLZWCompressorHook;
    GifLZWDecompress = GIFLZWDecompressorHook;
    GifLZWCompress = GIFLZWCompressorHook;
    ResetEXIF();
    imagingAnnot_.reset();
    inputICC_.reset();
    outputICC_.reset();
    defaultICC_.reset();
}

void TIOParamsVals::ResetEXIF() {
    static_cast<TIEExifData&>(*this) = TIEExifData{};
    exifThumbnail_.reset();
    // The EXIF block a JPEG brought along would otherwise be written back.
    for (int32_t i = 0; i < JpegMarkerList.GetCount(); ++i) {
        if (JpegMarkerList.GetMarkerType(i) == 0xE1 &&
            IEIsEXIFBlock(JpegMarkerList.GetMarkerData(i), JpegMarkerList.GetMarkerLength(i))) {
            JpegMarkerList.DeleteMarker(i);
            break;
        }
    }
}

void TIOParamsVals::ResetInfo() {
    IPTCList.Clear();
    imagingAnnot_.reset();
    JpegMarkerList.Clear();
    ResetEXIF();
    DicomTags.Clear();
    GifComments.clear();
    PngTextKeys.clear();
    PngTextValues.clear();
    PxmComments.clear();
    TiffDocumentName.clear();
    TiffImageDescription.clear();
    TiffPageName.clear();
    TgaImageId.clear();
    TgaAuthor.clear();
    TgaJobName.clear();
    XmpInfo.clear();
    inputICC_.reset();
}

void TIOParamsVals::Assign(const TIOParamsVals& source) {
    if (&source == this) return;
    bool nativePixelFormat = NativePixelFormat;
    static_cast<TIOParamsData&>(*this) = source;
    NativePixelFormat = nativePixelFormat;
    SetDpiX(source.DpiX);
    SetDpiY(source.DpiY);
    ExifXResolution = source.ExifXResolution;
    ExifYResolution = source.ExifYResolution;
    // The index setter runs once per group in declaration order, so the last
    // group's value, the cursor's, ends in all six index fields.
    SetImageIndex(source.CurImageIndex);
    SetGetEXIFThumbnail(source.JpegGetExifThumbnail);
    if (source.exifThumbnail_) GetOrCreateExifThumbnail().Assign(*source.exifThumbnail_);
    if (source.imagingAnnot_) GetImagingAnnot().Assign(*source.imagingAnnot_);
    else imagingAnnot_.reset();
    // Each profile is copied when the source has one and freed when not.
    for (auto profile : {&TIOParamsVals::inputICC_, &TIOParamsVals::outputICC_, &TIOParamsVals::defaultICC_}) {
        if (!(source.*profile)) {
            (this->*profile).reset();
            continue;
        }
        if (!(this->*profile)) this->*profile = std::make_unique<TIEICC>();
        (this->*profile)->Assign((source.*profile).get());
    }
}

TIEICC& TIOParamsVals::GetInputICCProfile() {
    if (!inputICC_) inputICC_ = std::make_unique<TIEICC>();
    return *inputICC_;
}

TIEICC& TIOParamsVals::GetDefaultICCProfile() {
    if (!defaultICC_) defaultICC_ = std::make_unique<TIEICC>();
    return *defaultICC_;
}

TIEImagingAnnot& TIOParamsVals::GetImagingAnnot() {
    if (!imagingAnnot_) imagingAnnot_ = std::make_unique<TIEImagingAnnot>(this);
    return *imagingAnnot_;
}

TIEICC& TIOParamsVals::GetOutputICCProfile() {
    if (!outputICC_) {
        outputICC_ = std::make_unique<TIEICC>();
        outputICC_->LoadSRGB();
    }
    return *outputICC_;
}

void TIOParamsVals::AssignCompressionInfo(const TIOParamsVals& source) {
    BitsPerSample = source.BitsPerSample;
    SamplesPerPixel = source.SamplesPerPixel;
    TiffCompression = source.TiffCompression;
    TiffPhotometric = source.TiffPhotometric;
    TiffPlanarConfig = source.TiffPlanarConfig;
    SetTIFFOrientation(source.TiffOrientation);
    TiffLZWDecompress = source.TiffLZWDecompress;
    TiffLZWCompress = source.TiffLZWCompress;
    TiffEnableAdjustOrientation = source.TiffEnableAdjustOrientation;
    TiffJpegQuality = source.TiffJpegQuality;
    TiffJpegColorSpace = source.TiffJpegColorSpace;
    TiffFillOrder = source.TiffFillOrder;
    TiffZIPCompression = source.TiffZIPCompression;
    GifInterlaced = source.GifInterlaced;
    GifLZWDecompress = source.GifLZWDecompress;
    GifLZWCompress = source.GifLZWCompress;
    JpegColorSpace = source.JpegColorSpace;
    JpegQuality = source.JpegQuality;
    JpegDCTMethod = source.JpegDCTMethod;
    JpegOptimalHuffman = source.JpegOptimalHuffman;
    JpegSmooth = source.JpegSmooth;
    JpegProgressive = source.JpegProgressive;
    J2000ColorSpace = source.J2000ColorSpace;
    J2000Rate = source.J2000Rate;
    J2000Progression = source.J2000Progression;
    PcxVersion = source.PcxVersion;
    PcxCompressed = source.PcxCompressed;
    BmpVersion = source.BmpVersion;
    BmpCompressed = source.BmpCompressed;
    BmpAlphaChannel = source.BmpAlphaChannel;
    PngInterlaced = source.PngInterlaced;
    PngFilter = source.PngFilter;
    PngCompression = source.PngCompression;
    TgaCompressed = source.TgaCompressed;
    TgaGrayLevel = source.TgaGrayLevel;
}

void TIOParamsVals::SetDpiX(int32_t value) {
    DpiX = value;
    ExifXResolution = value;
    if (owner_) owner_->PushDPIToView();
}

void TIOParamsVals::SetDpiY(int32_t value) {
    DpiY = value;
    ExifYResolution = value;
    if (owner_) owner_->PushDPIToView();
}

void TIOParamsVals::SetEXIFXResolution(double value) {
    SetDpiX(RoundToInt32Saturated(value));
    ExifXResolution = value;
}

void TIOParamsVals::SetEXIFYResolution(double value) {
    SetDpiY(RoundToInt32Saturated(value));
    ExifYResolution = value;
}

void TIOParamsVals::SetImageIndex(int32_t value) {
    ImageIndex = TiffImageIndex = DcxImageIndex = GifImageIndex = IcoImageIndex = CurImageIndex = value;
}

void TIOParamsVals::SetImageCount(int32_t value) {
    ImageCount = TiffImageCount = AviFrameCount = GifImageCount = MediaFileFrameCount = value;
}

void TIOParamsVals::SetEnableAdjustOrientation(bool value) {
    EnableAdjustOrientation = TiffEnableAdjustOrientation = JpegEnableAdjustOrientation = value;
}

void TIOParamsVals::SetGetEXIFThumbnail(bool value) { GetThumbnail = JpegGetExifThumbnail = value; }

TIEBitmap& TIOParamsVals::GetOrCreateExifThumbnail() {
    if (!exifThumbnail_) exifThumbnail_ = std::make_unique<TIEBitmap>();
    return *exifThumbnail_;
}

// ---------------------------------------------------------------- colour rows

namespace {

int32_t KindBytes(TIEColorKind kind) {
    switch (kind) {
        case iecCMYK: return 4;
        case iecRGB48:
        case iecRGB48BE: return 6;
        default: return 3;
    }
}

TRGB ReadPixel(const uint8_t* p, TIEColorKind kind) {
    switch (kind) {
        case iecRGB: return IECreateRGB(p[0], p[1], p[2]);
        case iecCMYK: return IECMYKToRGB(p);
        case iecCIELab: return IECIELab2RGB(p);
        case iecRGB48: return IECreateRGB(p[1], p[3], p[5]);   // high byte of each little-endian word
        case iecRGB48BE: return IECreateRGB(p[0], p[2], p[4]); // high byte first
        case iecYCbCr: {
            TRGB c;
            IEYCbCr2RGB(c, p[0], p[1], p[2]);
            return c;
        }
        default: return TRGB{p[0], p[1], p[2]};
    }
}

void WritePixel(uint8_t* p, TIEColorKind kind, TRGB c) {
    switch (kind) {
        case iecRGB:
            p[0] = c.r, p[1] = c.g, p[2] = c.b;
            break;
        case iecCMYK: {
            uint32_t cmyk = IERGBToCMYK(IERGBToDWord(c));
            for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(cmyk >> (8 * i));
            break;
        }
        case iecCIELab: IERGB2CIELab(c, p); break;
        case iecRGB48:
        case iecRGB48BE: {
            const uint8_t channels[3] = {c.r, c.g, c.b};
            for (int i = 0; i < 3; ++i) p[2 * i] = p[2 * i + 1] = channels[i];  // v * 257 in either order
            break;
        }
        case iecYCbCr: {
            // The forward JPEG (JFIF) transform, the inverse of IEYCbCr2RGB.
            double y = 0.299 * c.r + 0.587 * c.g + 0.114 * c.b;
            p[0] = IEClampByte(static_cast<int32_t>(RoundHalfEven(y)));
            p[1] = IEClampByte(static_cast<int32_t>(RoundHalfEven(128 + (c.b - y) / 1.772)));
            p[2] = IEClampByte(static_cast<int32_t>(RoundHalfEven(128 + (c.r - y) / 1.402)));
            break;
        }
        default:
            p[0] = c.b, p[1] = c.g, p[2] = c.r;
            break;
    }
}

bool KnownKind(TIEColorKind kind) {
    switch (kind) {
        case iecRGB: case iecBGR: case iecCMYK: case iecCIELab: case iecRGB48: case iecRGB48BE: case iecYCbCr:
            return true;
        default: return false;
    }
}

}  // namespace

void IEConvertColorRow(const void* source, TIEColorKind sourceKind, void* destination, const TIOParamsVals* params,
                       int32_t count, TIEColorKind destinationKind) {
    if (!KnownKind(sourceKind) || !KnownKind(destinationKind)) return;
    if (IEColorManagementEnabled && params) {
        // The profiles are created on demand and cache their transform.
        auto* owner = const_cast<TIOParamsVals*>(params);
        TIEICC* input = owner->InputICCProfile();
        if (input && input->IsValid() && !input->IsApplied()) {
            TIEICC& output = owner->GetOutputICCProfile();
            if (output.IsValid() &&
                input->Transform(output, sourceKind, destinationKind, 0, 0, source, destination, count))
                return;
        }
    }
    auto* in = static_cast<const uint8_t*>(source);
    auto* out = static_cast<uint8_t*>(destination);
    int32_t inStep = KindBytes(sourceKind), outStep = KindBytes(destinationKind);
    for (int32_t i = 0; i < count; ++i, in += inStep, out += outStep) {
        if (sourceKind == destinationKind) std::copy_n(in, inStep, out);
        else WritePixel(out, destinationKind, ReadPixel(in, sourceKind));
    }
}
