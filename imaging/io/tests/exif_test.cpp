#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "imaging/core/tests/tool_support.h"
#include "imaging/io/ie_exif.h"
#include "imaging/io/ie_jpeg.h"
#include "imaging/io/ie_vidurer_io.h"
#include "platform/codepage.h"

namespace {

using namespace imaging_test;
using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

std::string Q(const fs::path& p) { return "'" + p.string() + "'"; }

bool ReadJpeg(const Bytes& data, TIEBitmap& bitmap, TIOParamsVals& params) {
    TMemoryStream stream(data);
    bool abort = false;
    TIEProgressRec progress;
    progress.AbortFlag = &abort;
    IEReadJPEGStream(stream, nullptr, bitmap, false, -1, true, true, false, true, false, false, progress, params);
    return !abort;
}

// exiftool's numeric report as "Group:Tag" -> value.
std::map<std::string, std::string> ExiftoolValues(const fs::path& file) {
    std::map<std::string, std::string> values;
    std::istringstream lines(RunCommand("exiftool -n -S -a -G1 " + Q(file)));
    for (std::string line; std::getline(lines, line);) {
        const size_t close = line.find("] "), colon = line.find(": ");
        if (line.empty() || line[0] != '[' || close == std::string::npos || colon == std::string::npos) continue;
        values[line.substr(1, close - 1) + ":" + line.substr(close + 2, colon - close - 2)] = line.substr(colon + 2);
    }
    return values;
}

// Decimal degrees of a degrees, minutes, seconds triple.
double Degrees(const double* dms) { return dms[0] + dms[1] / 60 + dms[2] / 3600; }

std::string Num(double v) {
    std::ostringstream out;
    out.precision(12);
    out << v;
    return out.str();
}

// Every EXIF field the parameters hold, as exiftool names and prints it
// with -n.
const std::vector<std::pair<std::string, std::function<std::string(const TIOParamsVals&)>>>& FieldTable() {
    static const std::vector<std::pair<std::string, std::function<std::string(const TIOParamsVals&)>>> table = {
        {"IFD0:ImageDescription", [](const TIOParamsVals& p) { return p.ExifImageDescription; }},
        {"IFD0:Make", [](const TIOParamsVals& p) { return p.ExifMake; }},
        {"IFD0:Model", [](const TIOParamsVals& p) { return p.ExifModel; }},
        {"IFD0:Orientation", [](const TIOParamsVals& p) { return Num(p.ExifOrientation); }},
        {"IFD0:XResolution", [](const TIOParamsVals& p) { return Num(p.ExifXResolution); }},
        {"IFD0:YResolution", [](const TIOParamsVals& p) { return Num(p.ExifYResolution); }},
        {"IFD0:Software", [](const TIOParamsVals& p) { return p.ExifSoftware; }},
        {"IFD0:ModifyDate", [](const TIOParamsVals& p) { return p.ExifDateTime; }},
        {"IFD0:Artist", [](const TIOParamsVals& p) { return p.ExifArtist; }},
        {"IFD0:Copyright", [](const TIOParamsVals& p) { return p.ExifCopyright; }},
        {"IFD0:YCbCrPositioning", [](const TIOParamsVals& p) { return Num(p.ExifYCbCrPositioning); }},
        {"IFD0:XPTitle", [](const TIOParamsVals& p) { return WideToUtf8(p.ExifXPTitle); }},
        {"IFD0:XPAuthor", [](const TIOParamsVals& p) { return WideToUtf8(p.ExifXPAuthor); }},
        {"ExifIFD:ExposureTime", [](const TIOParamsVals& p) { return Num(p.ExifExposureTime); }},
        {"ExifIFD:FNumber", [](const TIOParamsVals& p) { return Num(p.ExifFNumber); }},
        {"ExifIFD:ExposureProgram", [](const TIOParamsVals& p) { return Num(p.ExifExposureProgram); }},
        {"ExifIFD:ISO", [](const TIOParamsVals& p) { return Num(p.ExifISOSpeedRatings[0]); }},
        {"ExifIFD:ExifVersion", [](const TIOParamsVals& p) { return p.ExifVersion; }},
        {"ExifIFD:DateTimeOriginal", [](const TIOParamsVals& p) { return p.ExifDateTimeOriginal; }},
        {"ExifIFD:ShutterSpeedValue", [](const TIOParamsVals& p) { return Num(std::pow(2, -p.ExifShutterSpeedValue)); }},
        {"ExifIFD:ApertureValue", [](const TIOParamsVals& p) { return Num(std::pow(2, p.ExifApertureValue / 2)); }},
        {"ExifIFD:BrightnessValue", [](const TIOParamsVals& p) { return Num(p.ExifBrightnessValue); }},
        {"ExifIFD:ExposureCompensation", [](const TIOParamsVals& p) { return Num(p.ExifExposureBiasValue); }},
        {"ExifIFD:MaxApertureValue", [](const TIOParamsVals& p) { return Num(std::pow(2, p.ExifMaxApertureValue / 2)); }},
        {"ExifIFD:MeteringMode", [](const TIOParamsVals& p) { return Num(p.ExifMeteringMode); }},
        {"ExifIFD:Flash", [](const TIOParamsVals& p) { return Num(p.ExifFlash); }},
        {"ExifIFD:FocalLength", [](const TIOParamsVals& p) { return Num(p.ExifFocalLength); }},
        {"ExifIFD:UserComment", [](const TIOParamsVals& p) { return p.ExifUserComment; }},
        {"ExifIFD:SubSecTimeOriginal", [](const TIOParamsVals& p) { return p.ExifSubsecTimeOriginal; }},
        {"ExifIFD:FlashpixVersion", [](const TIOParamsVals& p) { return p.ExifFlashPixVersion; }},
        {"ExifIFD:ColorSpace", [](const TIOParamsVals& p) { return Num(p.ExifColorSpace); }},
        {"ExifIFD:ExifImageWidth", [](const TIOParamsVals& p) { return Num(p.ExifExifImageWidth); }},
        {"ExifIFD:ExifImageHeight", [](const TIOParamsVals& p) { return Num(p.ExifExifImageHeight); }},
        {"ExifIFD:WhiteBalance", [](const TIOParamsVals& p) { return Num(p.ExifWhiteBalance); }},
        {"ExifIFD:DigitalZoomRatio", [](const TIOParamsVals& p) { return Num(p.ExifDigitalZoomRatio); }},
        {"ExifIFD:FocalLengthIn35mmFormat", [](const TIOParamsVals& p) { return Num(p.ExifFocalLengthIn35mmFilm); }},
        {"ExifIFD:Contrast", [](const TIOParamsVals& p) { return Num(p.ExifContrast); }},
        {"ExifIFD:ImageUniqueID", [](const TIOParamsVals& p) { return p.ExifImageUniqueID; }},
        {"GPS:GPSVersionID",
         [](const TIOParamsVals& p) {
             std::string v = p.ExifGpsVersionID;
             std::replace(v.begin(), v.end(), '.', ' ');
             return v;
         }},
        {"GPS:GPSLatitudeRef", [](const TIOParamsVals& p) { return p.ExifGpsLatitudeRef; }},
        {"GPS:GPSLatitude", [](const TIOParamsVals& p) { return Num(Degrees(p.ExifGpsLatitude)); }},
        {"GPS:GPSLongitudeRef", [](const TIOParamsVals& p) { return p.ExifGpsLongitudeRef; }},
        {"GPS:GPSLongitude", [](const TIOParamsVals& p) { return Num(Degrees(p.ExifGpsLongitude)); }},
        {"GPS:GPSAltitudeRef", [](const TIOParamsVals& p) { return p.ExifGpsAltitudeRef; }},
        {"GPS:GPSAltitude", [](const TIOParamsVals& p) { return Num(p.ExifGpsAltitude); }},
        {"GPS:GPSTimeStamp",
         [](const TIOParamsVals& p) {
             char text[32];
             std::snprintf(text, sizeof text, "%02d:%02d:%02d", static_cast<int>(p.ExifGpsTimeStamp[0]),
                           static_cast<int>(p.ExifGpsTimeStamp[1]), static_cast<int>(p.ExifGpsTimeStamp[2]));
             return std::string(text);
         }},
        {"GPS:GPSSatellites", [](const TIOParamsVals& p) { return p.ExifGpsSatellites; }},
        {"GPS:GPSSpeedRef", [](const TIOParamsVals& p) { return p.ExifGpsSpeedRef; }},
        {"GPS:GPSSpeed", [](const TIOParamsVals& p) { return Num(p.ExifGpsSpeed); }},
        {"GPS:GPSMapDatum", [](const TIOParamsVals& p) { return p.ExifGpsMapDatum; }},
        {"GPS:GPSDateStamp", [](const TIOParamsVals& p) { return p.ExifGpsDateStamp; }},
        {"Canon:CanonImageType", [](const TIOParamsVals& p) { return p.ExifMakerNote.GetASCII(0x0006); }},
        {"Canon:FileNumber", [](const TIOParamsVals& p) { return Num(p.ExifMakerNote.GetInteger(0x0008)); }},
        {"Canon:SerialNumber", [](const TIOParamsVals& p) { return Num(p.ExifMakerNote.GetInteger(0x000c)); }},
        {"Canon:CanonModelID", [](const TIOParamsVals& p) { return Num(p.ExifMakerNote.GetInteger(0x0010)); }},
    };
    return table;
}

// Numbers agree to the precision a rational of 1/1,000,000 holds.
void ExpectSame(const std::string& key, const std::string& expected, const std::string& actual) {
    char* endE = nullptr;
    char* endA = nullptr;
    const double e = std::strtod(expected.c_str(), &endE), a = std::strtod(actual.c_str(), &endA);
    if (!expected.empty() && *endE == 0 && !actual.empty() && *endA == 0)
        EXPECT_NEAR(a, e, 1e-5 * std::max(1.0, std::fabs(e))) << key;
    else
        EXPECT_EQ(actual, expected) << key;
}

// A Canon-style maker note with one value outside the entry table (at
// offset 54 of the note until PlaceMakerNote moves it).
Bytes MakerNote(bool little) {
    Bytes note;
    auto put = [&](uint32_t v, int size) {
        for (int i = 0; i < size; ++i) note.push_back(static_cast<uint8_t>(v >> (8 * (little ? i : size - 1 - i))));
    };
    put(4, 2);
    const uint32_t entries[4][4] = {{6, 2, 20, 54}, {8, 4, 1, 1000123}, {12, 4, 1, 987654}, {16, 4, 1, 0x80000213}};
    for (const auto& e : entries) put(e[0], 2), put(e[1], 2), put(e[2], 4), put(e[3], 4);
    put(0, 4);
    const char text[20] = "Canon EOS 5D image";
    note.insert(note.end(), text, text + 20);
    return note;
}

// The offset (in the TIFF structure) where exiftool placed the maker note
// becomes part of its one out-of-line value's offset, as a camera writes it.
void PlaceMakerNote(const fs::path& file) {
    Bytes data = ReadBytes(file);
    size_t p = 2;
    while (p + 10 < data.size() && !(data[p + 1] == 0xE1 && std::memcmp(&data[p + 4], "Exif\0\0", 6) == 0))
        p += 2 + (size_t{data[p + 2]} << 8 | data[p + 3]);
    ASSERT_LT(p + 10, data.size());
    const size_t tiff = p + 10;
    TMemoryStream stream(Bytes(data.begin() + static_cast<std::ptrdiff_t>(tiff), data.end()));
    bool little;
    uint32_t first;
    ASSERT_TRUE(IEReadTIFFHeader(stream, 0, little, first));
    TIETIFFDirectory page, exif;
    ASSERT_TRUE(page.Load(stream, 0, little, first));
    ASSERT_TRUE(exif.Load(stream, 0, little, page.GetInteger(34665)));
    const TIETIFFEntry* note = exif.Find(37500);
    ASSERT_NE(note, nullptr);
    const uint32_t value = note->Value + 54;
    uint8_t* field = &data[tiff + note->Value + 2 + 8];
    for (int i = 0; i < 4; ++i) field[little ? i : 3 - i] = static_cast<uint8_t>(value >> (8 * i));
    WriteBytes(file, data.data(), data.size());
}

const char kExiftoolTags[] =
    "-Make=Canon -Model='Canon EOS 5D' -Software='tw 1.0' -Artist='A. Person' -Copyright='(c) 2024' "
    "-ImageDescription='A gradient' -ModifyDate='2024:05:06 07:08:09' -Orientation#=6 -XResolution=180 "
    "-YResolution=180 -ResolutionUnit=inches -ExposureTime=1/125 -FNumber=5.6 -ISO=200 -ExposureProgram#=2 "
    "-ExposureCompensation=-0.7 -ShutterSpeedValue=1/125 -ApertureValue=5.6 -MaxApertureValue=2.8 "
    "-BrightnessValue=-1.25 -MeteringMode#=5 -EXIF:Flash#=16 -FocalLength=50 -ExifVersion=0230 "
    "-FlashpixVersion=0100 -DateTimeOriginal='2024:05:06 07:08:09' -SubSecTimeOriginal=42 -ColorSpace#=1 "
    "-ExifImageWidth=64 -ExifImageHeight=48 -UserComment='hello world' -WhiteBalance#=1 -DigitalZoomRatio=1.5 "
    "-FocalLengthIn35mmFormat=80 -Contrast#=2 -ImageUniqueID=0123456789abcdef -XPTitle='Title ü' "
    "-XPAuthor='Me' -GPSVersionID=2.3.0.0 -GPSLatitude=48.8583 -GPSLatitudeRef=N -GPSLongitude=2.2945 "
    "-GPSLongitudeRef=W -GPSAltitude=35.5 -GPSAltitudeRef#=1 -GPSTimeStamp=12:34:56 -GPSDateStamp=2024:05:06 "
    "-GPSMapDatum=WGS-84 -GPSSpeed=12.5 -GPSSpeedRef#=K -GPSSatellites=7";

// The mean of |a - b| over two bitmaps of the same size and format.
double MeanDifference(TIEBitmap& a, TIEBitmap& b) {
    double total = 0;
    for (int32_t y = 0; y < a.GetHeight(); ++y)
        for (int32_t x = 0; x < a.GetRowLen(); ++x) total += std::abs(a.GetScanline(y)[x] - b.GetScanline(y)[x]);
    return total / (double(a.GetHeight()) * a.GetRowLen());
}

TEST(ToolsExif, ExiftoolFieldsReadAsWrittenAndOursReadBack) {
    REQUIRE_TOOL("exiftool");
    REQUIRE_TOOL("convert");
    const fs::path folder = FixtureFolder("exif_fields");
    const fs::path base = folder / "base.jpg", thumb = folder / "thumb.jpg";
    RunCommand("convert -size 64x48 gradient:red-blue " + Q(base));
    RunCommand("convert -size 32x24 gradient:green-yellow " + Q(thumb));
    // The thumbnail as exiftool's reader will see it, turned upright.
    TIEBitmap expectedThumb;
    {
        TIOParamsVals p;
        ASSERT_TRUE(ReadJpeg(ReadBytes(thumb), expectedThumb, p));
        IEApplyEXIFOrientation(expectedThumb, 6);
    }
    for (const char* order : {"II", "MM"}) {
        SCOPED_TRACE(order);
        const bool little = std::string(order) == "II";
        const fs::path file = folder / (std::string("exif_") + order + ".jpg");
        const fs::path note = folder / (std::string("note_") + order + ".bin");
        const Bytes noteBytes = MakerNote(little);
        WriteBytes(note, noteBytes.data(), noteBytes.size());
        fs::copy_file(base, file, fs::copy_options::overwrite_existing);
        RunCommand(std::string("exiftool -q -overwrite_original -ExifByteOrder=") + order + " " + kExiftoolTags +
                   " '-ThumbnailImage<=" + thumb.string() + "' '-MakerNotes<=" + note.string() + "' " + Q(file));
        PlaceMakerNote(file);
        const std::map<std::string, std::string> reported = ExiftoolValues(file);
        ASSERT_EQ(reported.at("File:ExifByteOrder"), order);
        ASSERT_EQ(reported.at("Canon:CanonImageType"), "Canon EOS 5D image");  // the fixture is sound

        TVidurErIO io;
        io.LoadFromFile(file.string());
        ASSERT_FALSE(io.AbortFlag) << io.LastError();
        const TIOParamsVals& params = io.ImageParams;
        EXPECT_TRUE(params.ExifHasData);
        // The block as exiftool made it, a first input for the fuzzer.
        const TIEMarkerList& markers = params.JpegMarkerList;
        const int32_t app1 = markers.IndexOf(0xE1);
        ASSERT_GE(app1, 0);
        WriteBytes(folder / (std::string("exif_") + order + ".exif"), markers.GetMarkerData(app1),
                   static_cast<size_t>(markers.GetMarkerLength(app1)));
        EXPECT_EQ(params.DpiX, 180);
        for (const auto& [key, field] : FieldTable()) {
            ASSERT_TRUE(reported.count(key)) << key;
            ExpectSame(key, reported.at(key), field(params));
        }
        ASSERT_NE(params.ExifThumbnail(), nullptr);
        ASSERT_EQ(params.ExifThumbnail()->GetWidth(), 24);
        ASSERT_EQ(params.ExifThumbnail()->GetHeight(), 32);
        EXPECT_LT(MeanDifference(*params.ExifThumbnail(), expectedThumb), 1.0);

        // Saved by us (little-endian, our own directories), exiftool reads
        // the same values back.
        const fs::path ours = folder / (std::string("ours_") + order + ".jpg");
        io.SaveToFile(ours.string());
        ASSERT_FALSE(io.AbortFlag) << io.LastError();
        const std::map<std::string, std::string> again = ExiftoolValues(ours);
        EXPECT_EQ(again.count("ExifTool:Warning"), 0u) << RunCommand("exiftool -validate -warning -a " + Q(ours));
        for (const auto& [key, field] : FieldTable()) {
            ASSERT_TRUE(again.count(key)) << key;
            ExpectSame(key, reported.at(key), again.at(key));
        }
        EXPECT_EQ(again.count("IFD1:ThumbnailLength"), 1u);
    }
}

TEST(ToolsExif, ThumbnailInPlaceOfThePicture) {
    REQUIRE_TOOL("exiftool");
    REQUIRE_TOOL("convert");
    const fs::path folder = FixtureFolder("exif_thumbnail");
    const fs::path file = folder / "t.jpg", thumb = folder / "thumb.jpg";
    RunCommand("convert -size 64x48 gradient:red-blue " + Q(file));
    RunCommand("convert -size 32x24 gradient:green-yellow " + Q(thumb));
    RunCommand("exiftool -q -overwrite_original -Make=X '-ThumbnailImage<=" + thumb.string() + "' " + Q(file));
    for (const bool withThumbnail : {true, false}) {
        TIEBitmap bitmap;
        TIOParamsVals params;
        params.SetGetEXIFThumbnail(true);
        const Bytes data = ReadBytes(withThumbnail ? file : thumb);
        ASSERT_TRUE(ReadJpeg(data, bitmap, params));
        EXPECT_EQ(bitmap.GetWidth(), 32);
        EXPECT_EQ(params.Width, withThumbnail ? 64 : 32);
        EXPECT_TRUE(params.JpegGetExifThumbnail);
    }
}

TEST(ToolsExif, XmpPacketRoundTripsAndEditsReachExiftool) {
    REQUIRE_TOOL("exiftool");
    REQUIRE_TOOL("convert");
    const fs::path folder = FixtureFolder("exif_xmp");
    const fs::path file = folder / "x.jpg";
    RunCommand("convert -size 40x30 gradient:white-black " + Q(file));
    RunCommand("exiftool -q -overwrite_original -XMP-dc:Title='Mine' -XMP-dc:Creator='Someone' " + Q(file));
    auto xmpBlock = [](const Bytes& jpeg) {
        for (size_t p = 2; p + 4 < jpeg.size() && jpeg[p] == 0xFF && jpeg[p + 1] != 0xDA;) {
            const size_t length = size_t{jpeg[p + 2]} << 8 | jpeg[p + 3];
            if (jpeg[p + 1] == 0xE1 && IEFindXMPPacket(&jpeg[p + 4], static_cast<int32_t>(length - 2)))
                return Bytes(jpeg.begin() + static_cast<std::ptrdiff_t>(p + 4),
                             jpeg.begin() + static_cast<std::ptrdiff_t>(p + 2 + length));
            p += 2 + length;
        }
        return Bytes{};
    };
    const Bytes original = xmpBlock(ReadBytes(file));
    ASSERT_FALSE(original.empty());
    WriteBytes(folder / "exiftool.xmp", original.data(), original.size());

    TVidurErIO io;
    io.LoadFromFile(file.string());
    ASSERT_NE(io.ImageParams.XmpInfo.find("Mine"), std::string::npos);
    const fs::path same = folder / "same.jpg";
    io.SaveToFile(same.string());
    EXPECT_EQ(xmpBlock(ReadBytes(same)), original);

    std::string& xmp = io.ImageParams.XmpInfo;
    xmp.replace(xmp.find("Mine"), 4, "Yours, edited");
    const fs::path edited = folder / "edited.jpg";
    io.SaveToFile(edited.string());
    EXPECT_EQ(RunCommand("exiftool -s3 -XMP-dc:Title -XMP-dc:Creator " + Q(edited)), "Yours, edited\nSomeone\n");
}

// ---------------------------------------------------------------- blocks

// A little TIFF structure built entry by entry: offsets are given by the
// cases, so they can point anywhere.
struct TiffBuilder {
    bool little = true;
    Bytes bytes;
    explicit TiffBuilder(bool l) : little(l) {
        bytes = little ? Bytes{'I', 'I', 42, 0} : Bytes{'M', 'M', 0, 42};
        Put32(8);
    }
    void Put16(uint32_t v) {
        for (int i = 0; i < 2; ++i) bytes.push_back(static_cast<uint8_t>(v >> (8 * (little ? i : 1 - i))));
    }
    void Put32(uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(v >> (8 * (little ? i : 3 - i))));
    }
    // A directory at the end: its entries {tag, type, count, value} and link.
    uint32_t Directory(const std::vector<std::array<uint32_t, 4>>& entries, uint32_t next) {
        const auto at = static_cast<uint32_t>(bytes.size());
        Put16(static_cast<uint32_t>(entries.size()));
        for (const auto& e : entries) {
            Put16(e[0]), Put16(e[1]), Put32(e[2]);
            if ((e[1] == 3 && e[2] == 1)) Put16(e[3]), Put16(0);
            else Put32(e[3]);
        }
        Put32(next);
        return at;
    }
    Bytes Block() const {
        Bytes block = {'E', 'x', 'i', 'f', 0, 0};
        block.insert(block.end(), bytes.begin(), bytes.end());
        return block;
    }
};

// A JPEG made by our writer with the given APP1 payload.
Bytes JpegWith(const Bytes& app1) {
    TIEBitmap bitmap(16, 8, ie24RGB);
    for (int32_t y = 0; y < 8; ++y) std::memset(bitmap.GetScanline(y), y * 30, 48);
    TIOParamsVals params;
    params.JpegMarkerList.AddMarker(0xE1, app1.data(), static_cast<int32_t>(app1.size()));
    TMemoryStream stream;
    TIEProgressRec progress;
    IEWriteJPEGStream(stream, bitmap, params, progress);
    return stream.TakeBytes();
}

TEST(ExifBlock, DamagedDirectoriesAreSkippedAndThePictureLoads) {
    struct Case {
        const char* name;
        std::function<void(TiffBuilder&)> build;
        std::function<void(const TIOParamsVals&)> check;
    };
    const Case cases[] = {
        {"first directory past the end", [](TiffBuilder& t) { t.bytes[4] = 0xF0, t.bytes[7] = 0x7F; },
         [](const TIOParamsVals& p) { EXPECT_EQ(p.ExifMake, ""); }},
        {"directory cut short",
         [](TiffBuilder& t) {
             t.Directory({{271, 2, 6, 200}, {272, 2, 6, 300}}, 0);
             t.bytes.erase(t.bytes.end() - 12, t.bytes.end());
         },
         [](const TIOParamsVals& p) { EXPECT_EQ(p.ExifMake, ""); }},
        {"values past the end and offsets that wrap",
         [](TiffBuilder& t) {
             t.Directory({{271, 2, 40, 0xFFFFFFF0}, {33432, 2, 9, 0x7FFFFFF8}, {34665, 4, 1, 5000}, {274, 3, 1, 3}}, 0);
         },
         [](const TIOParamsVals& p) {
             EXPECT_EQ(p.ExifMake, "");
             EXPECT_EQ(p.ExifCopyright, "");
             EXPECT_EQ(p.ExifOrientation, 3);
         }},
        {"counts that overflow a size",
         [](TiffBuilder& t) {
             const uint32_t exif = static_cast<uint32_t>(t.bytes.size()) + 2 + 12 * 2 + 4;
             t.Directory({{319, 5, 0x20000001, 8}, {34665, 4, 1, exif}}, 0);
             t.Directory({{37510, 7, 0xFFFFFFFF, 8}, {34855, 3, 0x80000000, 8}, {37500, 7, 0xFFFFFFF8, 8}}, 0);
         },
         [](const TIOParamsVals& p) {
             EXPECT_TRUE(p.ExifHasData);
             EXPECT_EQ(p.ExifUserComment, "");
             EXPECT_EQ(p.ExifMakerNote.TagCount(), 0);
             EXPECT_EQ(p.ExifPrimaryChromaticities[0], 0);
         }},
        {"directory chain that loops",
         [](TiffBuilder& t) {
             const uint32_t second = static_cast<uint32_t>(t.bytes.size()) + 2 + 12 + 4;
             t.Directory({{274, 3, 1, 6}}, second);
             t.Directory({{259, 3, 1, 6}, {513, 4, 1, 8}, {514, 4, 1, 64}}, 8);
         },
         [](const TIOParamsVals& p) {
             EXPECT_EQ(p.ExifOrientation, 6);
             EXPECT_TRUE(p.ExifThumbnail() == nullptr || p.ExifThumbnail()->IsEmpty());
         }},
        {"sub-directory pointing back at its parent",
         [](TiffBuilder& t) { t.Directory({{271, 2, 4, 0x0041424D}, {34665, 4, 1, 8}, {34853, 4, 1, 8}}, 8); },
         [](const TIOParamsVals& p) { EXPECT_TRUE(p.ExifHasData); }},
        {"resolutions beyond any whole number",
         [](TiffBuilder& t) {
             const uint32_t values = static_cast<uint32_t>(t.bytes.size()) + 2 + 12 * 3 + 4;
             t.Directory({{282, 5, 1, values}, {283, 5, 1, values + 8}, {296, 3, 1, 3}}, 0);
             t.Put32(0xFFFFFFFF), t.Put32(1);
             t.Put32(0xFFFFFFFF), t.Put32(0);
         },
         [](const TIOParamsVals& p) {
             // Read alone the block gives the largest whole resolution; in a
             // JPEG file the JFIF density wins.
             EXPECT_TRUE(p.DpiX == std::numeric_limits<int32_t>::max() || p.DpiX == 300) << p.DpiX;
             EXPECT_GT(p.DpiY, 0);
         }},
        {"maker note of an unknown type",
         [](TiffBuilder& t) {
             const uint32_t exif = static_cast<uint32_t>(t.bytes.size()) + 2 + 12 + 4;
             t.Directory({{34665, 4, 1, exif}}, 0);
             const uint32_t note = exif + 2 + 12 + 4;
             t.Directory({{37500, 7, 2 + 24, note}}, 0);
             t.Put16(2);
             t.Put16(1), t.Put16(4), t.Put32(1), t.Put32(7);
             t.Put16(2), t.Put16(13), t.Put32(1), t.Put32(8);
         },
         [](const TIOParamsVals& p) { EXPECT_TRUE(p.ExifMakerNote.Data().empty()); }},
    };
    for (const Case& c : cases) {
        for (const bool little : {true, false}) {
            SCOPED_TRACE(std::string(c.name) + (little ? " II" : " MM"));
            TiffBuilder tiff(little);
            c.build(tiff);
            const Bytes block = tiff.Block();
            TIOParamsVals direct;
            EXPECT_TRUE(IELoadEXIFFromBlock(block.data(), static_cast<int32_t>(block.size()), direct));
            c.check(direct);
            TIEBitmap bitmap;
            TIOParamsVals params;
            EXPECT_TRUE(ReadJpeg(JpegWith(block), bitmap, params));
            EXPECT_EQ(bitmap.GetHeight(), 8);
            c.check(params);
        }
    }
}

TEST(ExifBlock, SignaturesAndSavedBlocks) {
    const Bytes notExif = {'E', 'x', 'i', 'f', ' ', 0, 'I', 'I', 42, 0, 8, 0, 0, 0};
    TIOParamsVals params;
    EXPECT_FALSE(IELoadEXIFFromBlock(notExif.data(), static_cast<int32_t>(notExif.size()), params));
    EXPECT_FALSE(params.ExifHasData);

    // Our block without a thumbnail reads back field for field.
    params.ExifHasData = true;
    params.ExifMake = "Maker";
    params.ExifModel = "M1";
    params.ExifExposureBiasValue = -1.5;
    params.ExifExposureTime = 1.0 / 125;
    params.SetEXIFXResolution(300);
    params.SetEXIFYResolution(300);
    params.ExifGpsVersionID = "2.2.0.0";
    params.ExifGpsLatitudeRef = "S";
    params.ExifGpsLatitude[0] = 33, params.ExifGpsLatitude[1] = 51, params.ExifGpsLatitude[2] = 54.5;
    params.ExifXPComment = u"Wide \u00e9";
    params.ExifWhiteBalance = 0;
    const Bytes block = IESaveEXIFToBlock(params);
    ASSERT_TRUE(IEIsEXIFBlock(block.data(), static_cast<int32_t>(block.size())));
    // 1/125 is written over a denominator of a million.
    TMemoryStream tiff(Bytes(block.begin() + 6, block.end()));
    TIETIFFDirectory page, exif;
    bool little = false;
    uint32_t first = 0;
    ASSERT_TRUE(IEReadTIFFHeader(tiff, 0, little, first));
    ASSERT_TRUE(little);
    ASSERT_TRUE(page.Load(tiff, 0, true, first));
    ASSERT_TRUE(exif.Load(tiff, 0, true, page.GetInteger(34665)));
    const Bytes time = exif.GetRawData(33434);
    EXPECT_EQ(time, (Bytes{0x40, 0x1F, 0, 0, 0x40, 0x42, 0x0F, 0}));
    EXPECT_FALSE(exif.Has(41988));  // a zoom ratio of -1 is not set

    TIOParamsVals back;
    ASSERT_TRUE(IELoadEXIFFromBlock(block.data(), static_cast<int32_t>(block.size()), back));
    EXPECT_EQ(back.ExifMake, "Maker");
    EXPECT_EQ(back.ExifModel, "M1");
    EXPECT_DOUBLE_EQ(back.ExifExposureBiasValue, -1.5);
    EXPECT_EQ(back.DpiX, 300);
    EXPECT_EQ(back.ExifGpsVersionID, "2.2.0.0");
    EXPECT_EQ(back.ExifGpsLatitudeRef, "S");
    EXPECT_DOUBLE_EQ(back.ExifGpsLatitude[2], 54.5);
    EXPECT_EQ(back.ExifXPComment, u"Wide \u00e9");
    EXPECT_EQ(back.ExifWhiteBalance, 0);
    EXPECT_EQ(back.ExifContrast, -1);
    EXPECT_TRUE(back.ExifThumbnail()->IsEmpty());
}

TEST(ExifBlock, FindTiffHeaderInRawBytes) {
    Bytes data(3000, 0x4D);  // "MM" everywhere, but no magic number
    const uint8_t header[] = {'I', 'I', 42, 0, 8, 0, 0, 0};
    std::memcpy(&data[1000], header, 8);
    const uint8_t farOffset[] = {'I', 'I', 42, 0, 0, 0, 1, 0};  // first directory past the end
    std::memcpy(&data[500], farOffset, 8);
    TMemoryStream stream(data);
    stream.SetPosition(0);
    EXPECT_EQ(IEFindTIFFHeader(stream), 1000);
    EXPECT_EQ(stream.GetPosition(), 0);
    stream.SetPosition(1001);
    EXPECT_EQ(IEFindTIFFHeader(stream), -1);
    EXPECT_EQ(stream.GetPosition(), 1001);
}

TEST(ExifBlock, OrientationTurnsThePictureUpright) {
    // A 3 x 2 picture whose pixels are numbered 1..6 row by row; each
    // orientation lists the numbers of the upright picture.
    const struct {
        int32_t orientation, width;
        std::vector<int> upright;
    } cases[] = {
        {1, 3, {1, 2, 3, 4, 5, 6}}, {2, 3, {3, 2, 1, 6, 5, 4}}, {3, 3, {6, 5, 4, 3, 2, 1}},
        {4, 3, {4, 5, 6, 1, 2, 3}}, {5, 2, {1, 4, 2, 5, 3, 6}}, {6, 2, {4, 1, 5, 2, 6, 3}},
        {7, 2, {6, 3, 5, 2, 4, 1}}, {8, 2, {3, 6, 2, 5, 1, 4}}, {9, 3, {1, 2, 3, 4, 5, 6}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.orientation);
        for (TIEPixelFormat format : {ie24RGB, ie8g, ie32RGB}) {
            TIEBitmap bitmap(3, 2, format);
            const int bytes = format == ie24RGB ? 3 : format == ie32RGB ? 4 : 1;
            for (int32_t y = 0; y < 2; ++y)
                for (int32_t x = 0; x < 3; ++x)
                    std::memset(bitmap.GetScanline(y) + x * bytes, 40 * (1 + y * 3 + x), bytes);
            IEApplyEXIFOrientation(bitmap, c.orientation);
            ASSERT_EQ(bitmap.GetWidth(), c.width);
            std::vector<int> got;
            for (int32_t y = 0; y < bitmap.GetHeight(); ++y)
                for (int32_t x = 0; x < bitmap.GetWidth(); ++x) got.push_back(bitmap.GetScanline(y)[x * bytes] / 40);
            EXPECT_EQ(got, c.upright);
        }
    }
}

TEST(XmpBlock, PrefixesAndPackets) {
    std::string header(kIEXMPHeader, kIEXMPHeaderLength);
    TIOParamsVals params;
    const Bytes prefixOnly(header.begin(), header.end());
    EXPECT_EQ(IEFindXMPPacket(prefixOnly.data(), 29), nullptr);
    EXPECT_FALSE(IELoadXMPFromBlock(prefixOnly.data(), 29, params));
    EXPECT_EQ(params.XmpInfo, "");
    const std::string packet("<x:xmpmeta>\0tail", 16);
    Bytes block(header.begin(), header.end());
    block.insert(block.end(), packet.begin(), packet.end());
    ASSERT_TRUE(IELoadXMPFromBlock(block.data(), static_cast<int32_t>(block.size()), params));
    EXPECT_EQ(params.XmpInfo, packet);
    EXPECT_EQ(IESaveXMPToBlock(params), block);
    params.XmpInfo.clear();
    EXPECT_EQ(IESaveXMPToBlock(params), prefixOnly);
    // The extension packets of long XMP are not the main packet.
    const std::string extension = "http://ns.adobe.com/xmp/extension/";
    Bytes other(60, 0);
    std::copy(extension.begin(), extension.end(), other.begin());
    EXPECT_EQ(IEFindXMPPacket(other.data(), 60), nullptr);
}

}  // namespace
