#include "imaging/io/ie_exif.h"
#include "platform/mathutil.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "imaging/core/ie_effects.h"
#include "imaging/core/ie_jpeg_markers.h"
#include "imaging/io/ie_jpeg.h"

namespace {

// Directory pointers and the thumbnail's tags.
constexpr uint16_t kExifIFD = 34665, kGpsIFD = 34853, kMakerNote = 37500, kUserComment = 37510;
constexpr uint16_t kJpegOffset = 513, kJpegLength = 514;
constexpr int32_t kMaxThumbnailSide = 400;

// Text fields of the page directory.
struct TTextTag {
    uint16_t tag;
    std::string TIEExifData::*field;
};
const TTextTag kPageTexts[] = {
    {271, &TIEExifData::ExifMake},      {272, &TIEExifData::ExifModel},  {305, &TIEExifData::ExifSoftware},
    {306, &TIEExifData::ExifDateTime},  {315, &TIEExifData::ExifArtist}, {33432, &TIEExifData::ExifCopyright},
};
struct TWideTag {
    uint16_t tag;
    std::u16string TIEExifData::*field;
};
const TWideTag kPageWideTexts[] = {
    {40091, &TIEExifData::ExifXPTitle},    {40092, &TIEExifData::ExifXPComment}, {40093, &TIEExifData::ExifXPAuthor},
    {40094, &TIEExifData::ExifXPKeywords}, {40095, &TIEExifData::ExifXPSubject},
};
// Rational arrays of the page directory.
struct TArrayTag {
    uint16_t tag;
    double* (*field)(TIEExifData&);
    uint32_t count;
};
const TArrayTag kPageArrays[] = {
    {318, [](TIEExifData& d) { return d.ExifWhitePoint; }, 2},
    {319, [](TIEExifData& d) { return d.ExifPrimaryChromaticities; }, 6},
    {529, [](TIEExifData& d) { return d.ExifYCbCrCoefficients; }, 3},
    {532, [](TIEExifData& d) { return d.ExifReferenceBlackWhite; }, 6},
};

// The EXIF directory, by kind of value.
const TTextTag kExifTexts[] = {
    {36867, &TIEExifData::ExifDateTimeOriginal}, {36868, &TIEExifData::ExifDateTimeDigitized},
    {37520, &TIEExifData::ExifSubsecTime},       {37521, &TIEExifData::ExifSubsecTimeOriginal},
    {37522, &TIEExifData::ExifSubsecTimeDigitized}, {40964, &TIEExifData::ExifRelatedSoundFile},
    {42016, &TIEExifData::ExifImageUniqueID},
};
struct TRationalTag {
    uint16_t tag;
    double TIEExifData::*field;
    bool isSigned;
};
const TRationalTag kExifRationals[] = {
    {33434, &TIEExifData::ExifExposureTime, false},      {33437, &TIEExifData::ExifFNumber, false},
    {37122, &TIEExifData::ExifCompressedBitsPerPixel, false}, {37377, &TIEExifData::ExifShutterSpeedValue, true},
    {37378, &TIEExifData::ExifApertureValue, false},     {37379, &TIEExifData::ExifBrightnessValue, true},
    {37380, &TIEExifData::ExifExposureBiasValue, true},  {37381, &TIEExifData::ExifMaxApertureValue, false},
    {37382, &TIEExifData::ExifSubjectDistance, false},   {37386, &TIEExifData::ExifFocalLength, false},
    {41486, &TIEExifData::ExifFocalPlaneXResolution, false}, {41487, &TIEExifData::ExifFocalPlaneYResolution, false},
    {41493, &TIEExifData::ExifExposureIndex, false},
};
struct TIntegerTag {
    uint16_t tag;
    int32_t TIEExifData::*field;
    uint16_t type;  // as written
};
const TIntegerTag kExifIntegers[] = {
    {34850, &TIEExifData::ExifExposureProgram, ietSHORT},  {37383, &TIEExifData::ExifMeteringMode, ietSHORT},
    {37384, &TIEExifData::ExifLightSource, ietSHORT},      {37385, &TIEExifData::ExifFlash, ietSHORT},
    {40961, &TIEExifData::ExifColorSpace, ietSHORT},       {40962, &TIEExifData::ExifExifImageWidth, ietLONG},
    {40963, &TIEExifData::ExifExifImageHeight, ietLONG},   {41488, &TIEExifData::ExifFocalPlaneResolutionUnit, ietSHORT},
    {41495, &TIEExifData::ExifSensingMethod, ietSHORT},    {41728, &TIEExifData::ExifFileSource, ietUNDEFINED},
    {41729, &TIEExifData::ExifSceneType, ietUNDEFINED},
};
// Fields that stay -1 ("not set") when missing, and are then not written.
const TIntegerTag kExifOptionalIntegers[] = {
    {41986, &TIEExifData::ExifExposureMode, ietSHORT},      {41987, &TIEExifData::ExifWhiteBalance, ietSHORT},
    {41989, &TIEExifData::ExifFocalLengthIn35mmFilm, ietSHORT}, {41990, &TIEExifData::ExifSceneCaptureType, ietSHORT},
    {41991, &TIEExifData::ExifGainControl, ietSHORT},       {41992, &TIEExifData::ExifContrast, ietSHORT},
    {41993, &TIEExifData::ExifSaturation, ietSHORT},        {41994, &TIEExifData::ExifSharpness, ietSHORT},
    {41996, &TIEExifData::ExifSubjectDistanceRange, ietSHORT},
};
constexpr uint16_t kDigitalZoomRatio = 41988;

// The GPS directory.
const TTextTag kGpsTexts[] = {
    {1, &TIEExifData::ExifGpsLatitudeRef},     {3, &TIEExifData::ExifGpsLongitudeRef},
    {8, &TIEExifData::ExifGpsSatellites},      {9, &TIEExifData::ExifGpsStatus},
    {10, &TIEExifData::ExifGpsMeasureMode},    {12, &TIEExifData::ExifGpsSpeedRef},
    {14, &TIEExifData::ExifGpsTrackRef},       {16, &TIEExifData::ExifGpsImgDirectionRef},
    {18, &TIEExifData::ExifGpsMapDatum},       {19, &TIEExifData::ExifGpsDestLatitudeRef},
    {21, &TIEExifData::ExifGpsDestLongitudeRef}, {23, &TIEExifData::ExifGpsDestBearingRef},
    {25, &TIEExifData::ExifGpsDestDistanceRef}, {29, &TIEExifData::ExifGpsDateStamp},
};
const TArrayTag kGpsTriples[] = {
    {2, [](TIEExifData& d) { return d.ExifGpsLatitude; }, 3},
    {4, [](TIEExifData& d) { return d.ExifGpsLongitude; }, 3},
    {7, [](TIEExifData& d) { return d.ExifGpsTimeStamp; }, 3},
    {20, [](TIEExifData& d) { return d.ExifGpsDestLatitude; }, 3},
    {22, [](TIEExifData& d) { return d.ExifGpsDestLongitude; }, 3},
};
const TRationalTag kGpsRationals[] = {
    {6, &TIEExifData::ExifGpsAltitude, false},   {11, &TIEExifData::ExifGpsDOP, false},
    {13, &TIEExifData::ExifGpsSpeed, false},     {15, &TIEExifData::ExifGpsTrack, false},
    {17, &TIEExifData::ExifGpsImgDirection, false}, {24, &TIEExifData::ExifGpsDestBearing, false},
    {26, &TIEExifData::ExifGpsDestDistance, false},
};

// The raw bytes of a value as text (version numbers, comment codes).
std::string BytesText(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

void ReadExifDirectory(const TIETIFFDirectory& exif, TIOParamsVals& params) {
    for (const TTextTag& t : kExifTexts) params.*t.field = exif.GetString(t.tag);
    for (const TRationalTag& t : kExifRationals) params.*t.field = exif.GetRational(t.tag);
    for (const TIntegerTag& t : kExifIntegers) params.*t.field = static_cast<int32_t>(exif.GetInteger(t.tag));
    for (const TIntegerTag& t : kExifOptionalIntegers)
        if (exif.Has(t.tag)) params.*t.field = static_cast<int32_t>(exif.GetInteger(t.tag));
    if (exif.Has(kDigitalZoomRatio)) params.ExifDigitalZoomRatio = exif.GetRational(kDigitalZoomRatio);
    params.ExifISOSpeedRatings[0] = static_cast<int32_t>(exif.GetValue(34855, 0));
    params.ExifISOSpeedRatings[1] = static_cast<int32_t>(exif.GetValue(34855, 1));
    // The versions are four characters in the entry itself.
    for (auto [tag, field] : {std::pair{uint16_t{36864}, &TIEExifData::ExifVersion},
                              std::pair{uint16_t{40960}, &TIEExifData::ExifFlashPixVersion}}) {
        if (const TIETIFFEntry* entry = exif.Find(tag); entry && entry->Count > 0) {
            TIETIFFEntry four = *entry;
            four.Count = std::min<uint32_t>(entry->Count, 4);
            four.Type = ietUNDEFINED;
            params.*field = BytesText(exif.GetRawData(four));
        }
    }
    // The first 8 bytes name the character code; trailing NULs end the text.
    if (const TIETIFFEntry* entry = exif.Find(kUserComment); entry && entry->Count <= 0xFFFFF) {
        std::string comment = BytesText(exif.GetRawData(*entry));
        params.ExifUserCommentCode = comment.substr(0, std::min<size_t>(8, comment.size()));
        comment.erase(0, std::min<size_t>(8, comment.size()));
        while (!comment.empty() && comment.back() == '\0') comment.pop_back();
        params.ExifUserComment = comment;
    }
    params.ExifMakerNote.ReadMakerNote(exif);
}

void ReadGpsDirectory(const TIETIFFDirectory& gps, TIOParamsVals& params) {
    if (const TIETIFFEntry* version = gps.Find(0)) {
        TIETIFFEntry four = *version;
        four.Count = 4;
        four.Type = ietBYTE;
        const std::vector<uint8_t> bytes = gps.GetRawData(four);
        std::string text;
        for (uint8_t b : bytes) text += (text.empty() ? "" : ".") + std::to_string(b);
        params.ExifGpsVersionID = text;
    }
    for (const TTextTag& t : kGpsTexts) params.*t.field = gps.GetString(t.tag);
    if (gps.Has(5)) params.ExifGpsAltitudeRef = std::to_string(gps.GetInteger(5));
    for (const TArrayTag& t : kGpsTriples)
        for (uint32_t i = 0; i < t.count; ++i) t.field(params)[i] = gps.GetRational(t.tag, i);
    for (const TRationalTag& t : kGpsRationals) params.*t.field = gps.GetRational(t.tag);
}

uint16_t Clamp16(int32_t v) { return static_cast<uint16_t>(std::clamp(v, 0, 65535)); }

void WriteExifDirectory(TIETIFFIFDWriter& page, TStream& stream, TIOParamsVals& params) {
    TIETIFFIFDWriter exif(stream);
    for (const TRationalTag& t : kExifRationals) exif.AddRationals(t.tag, {params.*t.field}, t.isSigned);
    for (const TIntegerTag& t : kExifIntegers) {
        const int32_t v = params.*t.field;
        if (t.type == ietLONG) exif.AddLong(t.tag, static_cast<uint32_t>(std::max(v, 0)));
        else if (t.type == ietUNDEFINED) {
            const auto byte = static_cast<uint8_t>(v);
            exif.AddData(t.tag, ietUNDEFINED, 1, &byte, 1);
        } else exif.AddShort(t.tag, Clamp16(v));
    }
    for (const TIntegerTag& t : kExifOptionalIntegers)
        if (params.*t.field != -1) exif.AddShort(t.tag, Clamp16(params.*t.field));
    if (params.ExifDigitalZoomRatio != -1) exif.AddRationals(kDigitalZoomRatio, {params.ExifDigitalZoomRatio});
    std::vector<uint16_t> iso = {Clamp16(params.ExifISOSpeedRatings[0])};
    if (params.ExifISOSpeedRatings[1] != 0) iso.push_back(Clamp16(params.ExifISOSpeedRatings[1]));
    exif.AddShorts(34855, iso);
    for (auto [tag, text] : {std::pair{uint16_t{36864}, &params.ExifVersion},
                             std::pair{uint16_t{40960}, &params.ExifFlashPixVersion}})
        if (!text->empty())
            exif.AddData(tag, ietUNDEFINED, static_cast<uint32_t>(text->size()),
                         reinterpret_cast<const uint8_t*>(text->data()), text->size());
    for (const TTextTag& t : kExifTexts) exif.AddASCII(t.tag, params.*t.field);
    if (!params.ExifUserComment.empty() || !params.ExifUserCommentCode.empty()) {
        // A comment without a code is taken as plain ASCII.
        std::string code = params.ExifUserCommentCode.empty() ? std::string("ASCII\0\0\0", 8)
                                                              : params.ExifUserCommentCode;
        code.resize(8, '\0');
        const std::string value = code + params.ExifUserComment;
        exif.AddData(kUserComment, ietUNDEFINED, static_cast<uint32_t>(value.size()),
                     reinterpret_cast<const uint8_t*>(value.data()), value.size());
    }
    stream.Seek(0, TSeekOrigin::End);
    const auto notePosition = static_cast<uint32_t>((stream.GetPosition() + 1) & ~int64_t{1});
    const std::vector<uint8_t> note = params.ExifMakerNote.MakerNoteBlock(notePosition);
    if (!note.empty()) exif.AddData(kMakerNote, ietUNDEFINED, static_cast<uint32_t>(note.size()), note.data(), note.size());
    page.AddLong(kExifIFD, exif.Write(0));
}

void WriteGpsDirectory(TIETIFFIFDWriter& page, TStream& stream, TIOParamsVals& params) {
    if (params.ExifGpsVersionID.empty()) return;
    TIETIFFIFDWriter gps(stream);
    std::vector<uint8_t> version;
    for (size_t at = 0; at <= params.ExifGpsVersionID.size() && version.size() < 4;) {
        size_t dot = params.ExifGpsVersionID.find('.', at);
        if (dot == std::string::npos) dot = params.ExifGpsVersionID.size();
        version.push_back(static_cast<uint8_t>(std::atoi(params.ExifGpsVersionID.substr(at, dot - at).c_str())));
        at = dot + 1;
    }
    version.resize(4, 0);
    gps.AddData(0, ietBYTE, 4, version.data(), 4);
    for (const TTextTag& t : kGpsTexts) gps.AddASCII(t.tag, params.*t.field);
    if (!params.ExifGpsAltitudeRef.empty())
        gps.AddByte(5, static_cast<uint8_t>(std::atoi(params.ExifGpsAltitudeRef.c_str())));
    for (const TArrayTag& t : kGpsTriples) {
        const double* values = t.field(params);
        if (std::any_of(values, values + t.count, [](double v) { return v != 0; }) || t.tag == 2 || t.tag == 4)
            gps.AddRationals(t.tag, std::vector<double>(values, values + t.count));
    }
    for (const TRationalTag& t : kGpsRationals) gps.AddRationals(t.tag, {params.*t.field});
    page.AddLong(kGpsIFD, gps.Write(0));
}

bool AllZero(TIEBitmap& bitmap) {
    for (int32_t y = 0; y < bitmap.GetHeight(); ++y) {
        const uint8_t* row = bitmap.GetScanline(y);
        if (std::any_of(row, row + bitmap.GetRowLen(), [](uint8_t b) { return b != 0; })) return false;
    }
    return true;
}

}  // namespace

void IEReadTIFFMetadata(const TIETIFFDirectory& page, TIOParamsVals& params) {
    params.TiffImageDescription = page.GetString(270);
    for (const TTextTag& t : kPageTexts) params.*t.field = page.GetString(t.tag);
    for (const TWideTag& t : kPageWideTexts) params.*t.field = page.GetWideString(t.tag);
    for (const TArrayTag& t : kPageArrays)
        for (uint32_t i = 0; i < t.count; ++i) t.field(params)[i] = page.GetRational(t.tag, i);
    params.ExifYCbCrPositioning = static_cast<int32_t>(page.GetInteger(531));
    params.SetEXIFOrientation(static_cast<int32_t>(page.GetInteger(274, 1)));
    const auto unit = static_cast<int32_t>(page.GetInteger(296, 2));
    params.ExifResolutionUnit = unit;
    const double factor = unit == 3 ? 2.54 : 1.0;
    const double x = page.GetRational(282) * factor, y = page.GetRational(283) * factor;
    const int32_t dpiX = RoundToInt32Saturated(x), dpiY = RoundToInt32Saturated(y);
    params.SetDpiX(dpiX != 0 ? dpiX : IELibraryDefaultDPI[0]);
    params.SetDpiY(dpiY != 0 ? dpiY : IELibraryDefaultDPI[1]);
    params.ExifXResolution = x;
    params.ExifYResolution = y;
    if (!page.Stream) return;
    const uint32_t exifOffset = page.GetInteger(kExifIFD);
    if (static_cast<int32_t>(exifOffset) > 0) {
        TIETIFFDirectory exif;
        if (exif.Load(*page.Stream, page.Base, page.LittleEndian, exifOffset)) ReadExifDirectory(exif, params);
        params.ExifHasData = true;
    }
    const uint32_t gpsOffset = page.GetInteger(kGpsIFD);
    if (static_cast<int32_t>(gpsOffset) > 0) {
        TIETIFFDirectory gps;
        if (gps.Load(*page.Stream, page.Base, page.LittleEndian, gpsOffset)) ReadGpsDirectory(gps, params);
    }
}

void IEWriteTIFFMetadata(TIETIFFIFDWriter& page, TStream& stream, TIOParamsVals& params) {
    if (!params.ExifHasData) {
        page.AddASCII(270, params.TiffImageDescription);
        page.AddRationals(282, {static_cast<double>(params.DpiX)});
        page.AddRationals(283, {static_cast<double>(params.DpiY)});
        page.AddShort(296, 2);
        return;
    }
    WriteExifDirectory(page, stream, params);
    WriteGpsDirectory(page, stream, params);
    page.AddASCII(270, params.ExifImageDescription);
    if (std::trunc(params.ExifXResolution) != 0) page.AddRationals(282, {std::trunc(params.ExifXResolution)});
    if (std::trunc(params.ExifYResolution) != 0) page.AddRationals(283, {std::trunc(params.ExifYResolution)});
    page.AddShort(274, Clamp16(params.TiffOrientation));
    page.AddShort(296, 2);
    for (const TTextTag& t : kPageTexts) page.AddASCII(t.tag, params.*t.field);
    for (const TWideTag& t : kPageWideTexts)
        if (!(params.*t.field).empty()) page.AddWideText(t.tag, params.*t.field);
    // Arrays nobody set would claim chromaticities of 0: they stay out.
    for (const TArrayTag& t : kPageArrays) {
        const double* values = t.field(params);
        if (std::any_of(values, values + t.count, [](double v) { return v != 0; }))
            page.AddRationals(t.tag, std::vector<double>(values, values + t.count));
    }
    if (params.ExifYCbCrPositioning != 0) page.AddShort(531, Clamp16(params.ExifYCbCrPositioning));
}

bool IEReadTIFFThumbnail(const TIETIFFDirectory& directory, TIEBitmap& bitmap) {
    bitmap.FreeImage(true);
    if (!directory.Stream) return false;
    const uint32_t width = directory.GetInteger(256), height = directory.GetInteger(257);
    if (width > kMaxThumbnailSide || height > kMaxThumbnailSide) return false;
    const uint32_t compression = directory.GetInteger(259, 1);
    uint32_t jpegOffset = directory.GetInteger(kJpegOffset), jpegLength = directory.GetInteger(kJpegLength);
    if (jpegOffset == 0 && (compression == 6 || compression == 7) && directory.Find(273) &&
        directory.Find(273)->Count == 1) {
        jpegOffset = directory.GetInteger(273);
        jpegLength = directory.GetInteger(279);
    }
    TStream& stream = *directory.Stream;
    if (jpegOffset != 0 && jpegLength != 0) {
        const int64_t start = directory.Base + jpegOffset;
        if (start >= stream.GetSize() || jpegLength > stream.GetSize() - start) return false;
        std::vector<uint8_t> bytes(jpegLength);
        stream.SetPosition(start);
        if (stream.Read(bytes.data(), jpegLength) != jpegLength) return false;
        TMemoryStream jpeg(std::move(bytes));
        TIOParamsVals thumbParams;
        bool abort = false;
        TIEProgressRec progress;
        progress.AbortFlag = &abort;
        // Read the header first: a thumbnail never needs more than 400 x 400.
        IEReadJPEGStream(jpeg, nullptr, bitmap, false, -1, false, false, false, false, false, true, progress,
                         thumbParams);
        if (abort || thumbParams.Width > kMaxThumbnailSide || thumbParams.Height > kMaxThumbnailSide) return false;
        jpeg.SetPosition(0);
        IEReadJPEGStream(jpeg, nullptr, bitmap, false, -1, false, false, false, false, false, false, progress,
                         thumbParams);
        if (abort) bitmap.FreeImage(true);
        return !abort && !bitmap.IsEmpty();
    }
    // Uncompressed 8-bit chunky RGB or gray.
    const uint32_t samples = directory.GetInteger(277, 1);
    if (compression != 1 || width == 0 || height == 0 || (samples != 1 && samples != 3) ||
        directory.GetValue(258, 0) != 8 || directory.GetInteger(284, 1) != 1)
        return false;
    const std::vector<uint32_t> offsets = directory.GetIntegers(273);
    uint32_t rowsPerStrip = directory.GetInteger(278, height);
    if (rowsPerStrip == 0 || rowsPerStrip > height) rowsPerStrip = height;
    if (offsets.empty() || !bitmap.Allocate(static_cast<int32_t>(width), static_cast<int32_t>(height), ie24RGB))
        return false;
    std::vector<uint8_t> row(size_t{width} * samples);
    for (uint32_t y = 0; y < height; ++y) {
        const size_t strip = y / rowsPerStrip;
        if (strip >= offsets.size()) break;
        const int64_t at = directory.Base + offsets[strip] + int64_t{y % rowsPerStrip} * static_cast<int64_t>(row.size());
        if (at + static_cast<int64_t>(row.size()) > stream.GetSize()) break;
        stream.SetPosition(at);
        stream.ReadBuffer(row.data(), static_cast<int64_t>(row.size()));
        uint8_t* out = bitmap.GetScanline(static_cast<int32_t>(y));
        for (uint32_t x = 0; x < width; ++x) {
            const uint8_t* p = &row[size_t{x} * samples];
            out[3 * x] = p[samples == 3 ? 2 : 0];
            out[3 * x + 1] = p[samples == 3 ? 1 : 0];
            out[3 * x + 2] = p[0];
        }
    }
    return true;
}

void IECopyEXIF(const TIOParamsVals& source, TIOParamsVals& destination) {
    if (&source == &destination) return;
    static_cast<TIEExifData&>(destination) = static_cast<const TIEExifData&>(source);
    destination.SetEXIFXResolution(source.ExifXResolution);
    destination.SetEXIFYResolution(source.ExifYResolution);
    destination.SetEXIFOrientation(source.ExifOrientation);
    destination.ExifImageDescription = source.TiffImageDescription;
    destination.ExifMakerNote.ReadIFD();
}

bool IELoadEXIFFromBlock(const uint8_t* data, int32_t length, TIOParamsVals& params) {
    if (!data || !IEIsEXIFBlock(data, length)) return false;
    TMemoryStream stream(std::vector<uint8_t>(data + 6, data + length));
    TIOParamsVals read(params.Owner());
    TIEBitmap& thumbnail = params.GetOrCreateExifThumbnail();
    thumbnail.FreeImage(true);
    bool little = true;
    uint32_t first = 0;
    TIETIFFDirectory page;
    int32_t pages = 0;
    if (IEReadTIFFHeader(stream, 0, little, first) && page.LoadPage(stream, 0, little, first, 0, &pages))
        IEReadTIFFMetadata(page, read);
    IECopyEXIF(read, params);
    params.ExifHasData = true;
    TIETIFFDirectory second;
    if (pages > 1 && second.LoadPage(stream, 0, little, first, 1)) IEReadTIFFThumbnail(second, thumbnail);
    IEApplyEXIFOrientation(thumbnail, params.ExifOrientation);
    return true;
}

std::vector<uint8_t> IESaveEXIFToBlock(TIOParamsVals& params) {
    TMemoryStream stream;
    const uint8_t placeholder[8] = {};
    stream.WriteBuffer(placeholder, 8);
    TIETIFFIFDWriter page(stream);
    IEWriteTIFFMetadata(page, stream, params);
    uint32_t link = 0;
    const uint32_t first = page.Write(0, &link);
    const uint8_t header[4] = {'I', 'I', 42, 0};
    stream.SetPosition(0);
    stream.WriteBuffer(header, 4);
    IETIFFPatch32(stream, 4, first, true);
    TIEBitmap* thumbnail = params.ExifThumbnail();
    if (thumbnail && !thumbnail->IsEmpty()) {
        // The thumbnail as a second page: a JPEG stream named by its offset
        // and length, as readers of EXIF expect it.
        TIOParamsVals jpegParams;
        jpegParams.JpegQuality = params.JpegQuality;
        TMemoryStream jpeg;
        bool abort = false;
        TIEProgressRec progress;
        progress.AbortFlag = &abort;
        try {
            IEWriteJPEGStream(jpeg, *thumbnail, jpegParams, progress);
        } catch (const EIEJpegException&) {
            abort = true;
        }
        if (!abort) {
            TIETIFFIFDWriter second(stream);
            const uint32_t at = second.WriteOutOfLine(jpeg.Memory(), static_cast<size_t>(jpeg.GetSize()));
            second.AddLong(256, static_cast<uint32_t>(thumbnail->GetWidth()));
            second.AddLong(257, static_cast<uint32_t>(thumbnail->GetHeight()));
            second.AddShort(259, 6);
            second.AddRationals(282, {72.0});
            second.AddRationals(283, {72.0});
            second.AddShort(296, 2);
            second.AddLong(kJpegOffset, at);
            second.AddLong(kJpegLength, static_cast<uint32_t>(jpeg.GetSize()));
            IETIFFPatch32(stream, link, second.Write(0), true);
        }
    }
    std::vector<uint8_t> block = {'E', 'x', 'i', 'f', 0, 0};
    block.insert(block.end(), stream.Bytes().begin(), stream.Bytes().end());
    return block;
}

int64_t IEFindTIFFHeader(TStream& stream) {
    const int64_t start = stream.GetPosition();
    const int64_t size = stream.GetSize();
    std::vector<uint8_t> bytes(static_cast<size_t>(std::clamp<int64_t>(size - start, 0, 0x20000)));
    const int64_t got = bytes.empty() ? 0 : stream.Read(bytes.data(), static_cast<int64_t>(bytes.size()));
    stream.SetPosition(start);
    for (int64_t i = 0; i + 8 <= got; ++i) {
        const uint8_t* p = &bytes[static_cast<size_t>(i)];
        bool little;
        if (p[0] == 'I' && p[1] == 'I') little = true;
        else if (p[0] == 'M' && p[1] == 'M') little = false;
        else continue;
        const uint16_t magic = little ? static_cast<uint16_t>(p[2] | p[3] << 8) : static_cast<uint16_t>(p[2] << 8 | p[3]);
        const uint32_t offset = little ? uint32_t{p[4]} | uint32_t{p[5]} << 8 | uint32_t{p[6]} << 16 | uint32_t{p[7]} << 24
                                       : uint32_t{p[4]} << 24 | uint32_t{p[5]} << 16 | uint32_t{p[6]} << 8 | uint32_t{p[7]};
        if (static_cast<int32_t>(offset) >= 0 && offset < size && (magic == 42 || magic == 0x4F52 || magic == 0x5352))
            return i;
    }
    return -1;
}

bool IEReadRAWEXIF(TStream& stream, TIOParamsVals& params) {
    const int64_t start = stream.GetPosition();
    TIOParamsVals read(params.Owner());
    TIEBitmap& thumbnail = params.GetOrCreateExifThumbnail();
    thumbnail.FreeImage(true);
    bool little = true;
    uint32_t first = 0;
    if (IEReadTIFFHeader(stream, start, little, first)) {
        TIETIFFDirectory page;
        if (page.LoadPage(stream, start, little, first, 0)) IEReadTIFFMetadata(page, read);
        IECopyEXIF(read, params);
        params.ExifHasData = true;
        for (int32_t index = 0; index < 2; ++index) {
            TIETIFFDirectory directory;
            if (directory.LoadPage(stream, start, little, first, index) && IEReadTIFFThumbnail(directory, thumbnail) &&
                !AllZero(thumbnail))
                break;
            thumbnail.FreeImage(true);
        }
    } else {
        IECopyEXIF(read, params);
        params.ExifHasData = true;
    }
    stream.SetPosition(start);
    return true;
}

namespace {

// An exact quarter turn (clockwise or not) of any pixel format, with the
// palette and the alpha channel.
void QuarterTurn(TIEBitmap& bitmap, bool clockwise) {
    const int32_t width = bitmap.GetWidth(), height = bitmap.GetHeight();
    const TIEPixelFormat format = bitmap.GetPixelFormat();
    TIEBitmap turned(height, width, format);
    if (turned.IsEmpty()) return;
    for (int32_t i = 0; i < bitmap.GetPaletteLen() && i < turned.GetPaletteLen(); ++i)
        turned.SetPaletteColor(i, bitmap.GetPaletteColor(i));
    const int32_t bytes = bitmap.GetBitCount() / 8;
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* row = bitmap.GetScanline(y);
        for (int32_t x = 0; x < width; ++x) {
            // (x, y) lands on column tx of row ty.
            const int32_t tx = clockwise ? height - 1 - y : y, ty = clockwise ? x : width - 1 - x;
            uint8_t* out = turned.GetScanline(ty);
            if (bytes == 0) {
                const bool set = row[x >> 3] & (0x80 >> (x & 7));
                if (set) out[tx >> 3] |= static_cast<uint8_t>(0x80 >> (tx & 7));
                else out[tx >> 3] &= static_cast<uint8_t>(~(0x80 >> (tx & 7)));
            } else {
                std::memcpy(out + tx * bytes, row + x * bytes, static_cast<size_t>(bytes));
            }
        }
    }
    if (bitmap.GetHasAlphaChannel()) {
        TIEBitmap alpha;
        alpha.Assign(*bitmap.GetAlphaChannel());
        QuarterTurn(alpha, clockwise);
        auto owned = std::make_unique<TIEBitmap>();
        owned->Assign(alpha);
        turned.SetAlphaChannel(std::move(owned));
    }
    bitmap.Assign(turned);
}

}  // namespace

void IEApplyEXIFOrientation(TIEBitmap& bitmap, int32_t orientation) {
    if (bitmap.IsEmpty()) return;
    switch (orientation) {
        case 2: IEFlip(bitmap, 0); break;
        case 3: IEFlip(bitmap, 1), IEFlip(bitmap, 0); break;
        case 4: IEFlip(bitmap, 1); break;
        // 5 is the transpose and 7 the transverse: a quarter turn clockwise
        // then a mirror gives the first, counter-clockwise the second.
        case 5: QuarterTurn(bitmap, true), IEFlip(bitmap, 0); break;
        case 6: QuarterTurn(bitmap, true); break;
        case 7: QuarterTurn(bitmap, false), IEFlip(bitmap, 0); break;
        case 8: QuarterTurn(bitmap, false); break;
        default: break;
    }
}

const uint8_t* IEFindXMPPacket(const uint8_t* data, int32_t length) {
    if (!data || length < 30 || std::memcmp(data, kIEXMPHeader, 24) != 0) return nullptr;
    const auto* nul = static_cast<const uint8_t*>(std::memchr(data, 0, static_cast<size_t>(length)));
    return nul ? nul + 1 : nullptr;
}

bool IELoadXMPFromBlock(const uint8_t* data, int32_t length, TIOParamsVals& params) {
    const uint8_t* packet = IEFindXMPPacket(data, length);
    if (!packet) return false;
    params.XmpInfo.assign(reinterpret_cast<const char*>(packet), static_cast<size_t>(data + length - packet));
    return true;
}

std::vector<uint8_t> IESaveXMPToBlock(const TIOParamsVals& params) {
    std::vector<uint8_t> block(kIEXMPHeader, kIEXMPHeader + kIEXMPHeaderLength);
    block.insert(block.end(), params.XmpInfo.begin(), params.XmpInfo.end());
    return block;
}
