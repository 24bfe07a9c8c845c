#include <gtest/gtest.h>

#include <lcms2.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "imaging/core/tests/tool_support.h"
#include "imaging/io/ie_jpeg.h"

namespace {

using namespace imaging_test;
using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

struct ReadResult {
    int32_t rows = 0;
    bool aborted = false;
};

ReadResult Read(const Bytes& data, TIEBitmap& bitmap, TIOParamsVals& params, bool native = false,
                bool headerOnly = false) {
    TMemoryStream stream(data);
    bool abort = false;
    TIEProgressRec progress;
    progress.AbortFlag = &abort;
    ReadResult r;
    r.rows = IEReadJPEGStream(stream, nullptr, bitmap, native, -1, true, true, false, true, false, headerOnly,
                              progress, params);
    r.aborted = abort;
    return r;
}

Bytes Write(TIEBitmap& bitmap, TIOParamsVals& params) {
    TMemoryStream stream;
    bool abort = false;
    TIEProgressRec progress;
    progress.AbortFlag = &abort;
    IEWriteJPEGStream(stream, bitmap, params, progress);
    EXPECT_FALSE(abort);
    return stream.TakeBytes();
}

// The samples of a binary PPM or PGM after its header.
Bytes PnmSamples(const Bytes& pnm, int* width = nullptr, int* height = nullptr) {
    size_t pos = 0;
    int fields[3] = {0, 0, 0};
    for (int f = -1; f < 3; ++f) {
        while (pos < pnm.size() && std::isspace(pnm[pos])) ++pos;
        while (pos < pnm.size() && !std::isspace(pnm[pos])) {
            if (f >= 0) fields[f] = fields[f] * 10 + (pnm[pos] - '0');
            ++pos;
        }
    }
    if (width) *width = fields[0];
    if (height) *height = fields[1];
    return Bytes(pnm.begin() + static_cast<std::ptrdiff_t>(pos + 1), pnm.end());
}

// The bitmap as R, G, B samples, or the gray samples of an ie8g one.
Bytes Samples(TIEBitmap& bitmap) {
    Bytes out;
    for (int32_t y = 0; y < bitmap.GetHeight(); ++y) {
        const uint8_t* row = bitmap.GetScanline(y);
        for (int32_t x = 0; x < bitmap.GetWidth(); ++x) {
            if (bitmap.GetPixelFormat() == ie8g) {
                out.push_back(row[x]);
            } else {
                out.insert(out.end(), {row[3 * x + 2], row[3 * x + 1], row[3 * x]});
            }
        }
    }
    return out;
}

double Psnr(const Bytes& a, const Bytes& b) {
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i) sum += (a[i] - b[i]) * double(a[i] - b[i]);
    return sum == 0 ? 99 : 10 * std::log10(255.0 * 255.0 * double(a.size()) / sum);
}

Bytes RunBytes(const std::string& command) {
    std::string out = RunCommand(command);
    return Bytes(out.begin(), out.end());
}

std::string Q(const fs::path& p) { return "'" + p.string() + "'"; }

// A 97 x 61 photograph-like source as PPM.
fs::path MakeSource(const fs::path& folder) {
    fs::path source = folder / "source.ppm";
    RunCommand("convert rose: -resize 97x61! " + Q(source));
    return source;
}

TEST(ToolsJpegCodec, DecodesAsDjpegDoes) {
    REQUIRE_TOOL("cjpeg");
    REQUIRE_TOOL("djpeg");
    REQUIRE_TOOL("convert");
    fs::path folder = FixtureFolder("jpeg_decode");
    fs::path source = MakeSource(folder);
    const struct {
        const char* name;
        std::string make;
        bool gray;
    } cases[] = {
        {"baseline", "cjpeg -quality 85", false},       {"progressive", "cjpeg -progressive", false},
        {"gray", "cjpeg -grayscale", true},             {"420", "cjpeg -sample 2x2", false},
        {"444", "cjpeg -sample 1x1", false},            {"restart", "cjpeg -restart 1 -quality 70", false},
        {"magick", "convert - -quality 90 jpg:-", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::path file = folder / (std::string(c.name) + ".jpg");
        RunCommand(c.make + " < " + Q(source) + " > " + Q(file));
        Bytes expected = PnmSamples(RunBytes("djpeg -dct int -pnm " + Q(file)));
        for (bool native : {false, true}) {
            TIEBitmap bitmap;
            TIOParamsVals params;
            params.JpegDCTMethod = 0;
            ReadResult r = Read(ReadBytes(file), bitmap, params, native);
            ASSERT_FALSE(r.aborted);
            EXPECT_EQ(r.rows, 61);
            EXPECT_EQ(bitmap.GetPixelFormat(), c.gray && native ? ie8g : ie24RGB);
            Bytes ours = Samples(bitmap);
            if (c.gray && !native) {  // gray spread over three equal bytes
                Bytes spread;
                for (uint8_t v : expected) spread.insert(spread.end(), {v, v, v});
                EXPECT_EQ(ours, spread);
            } else {
                EXPECT_EQ(ours, expected);
            }
            EXPECT_EQ(params.JpegColorSpace, c.gray ? 1 : 2);
            EXPECT_EQ(params.JpegProgressive, std::string(c.name) == "progressive");
        }
    }
}

// CMYK pixels through the Adobe formula: channel x K div 255, inverted ink.
Bytes CmykToRgb(const Bytes& cmyk) {
    Bytes rgb;
    for (size_t i = 0; i + 3 < cmyk.size(); i += 4)
        for (int k = 0; k < 3; ++k)
            rgb.push_back(static_cast<uint8_t>((255 - cmyk[i + k]) * (255 - cmyk[i + 3]) / 255));
    return rgb;
}

TEST(ToolsJpegCodec, AdobeCmykAndYcckFollowTheFormula) {
    REQUIRE_TOOL("convert");
    fs::path folder = FixtureFolder("jpeg_cmyk");
    fs::path source = MakeSource(folder);
    fs::path cmykFile = folder / "cmyk.jpg";
    RunCommand("convert " + Q(source) + " -colorspace cmyk -quality 92 " + Q(cmykFile));

    TIEBitmap bitmap;
    TIOParamsVals params;
    params.JpegDCTMethod = 0;
    ASSERT_FALSE(Read(ReadBytes(cmykFile), bitmap, params).aborted);
    EXPECT_TRUE(params.JpegColorSpace == 3 || params.JpegColorSpace == 4);  // ImageMagick writes YCCK
    EXPECT_EQ(params.SamplesPerPixel, 4);
    Bytes magick = RunBytes("convert " + Q(cmykFile) + " -depth 8 cmyk:-");
    Bytes expected = CmykToRgb(magick);
    EXPECT_EQ(Samples(bitmap), expected);

    // Native: the stored (inverted) bytes as they are.
    TIEBitmap native;
    ASSERT_FALSE(Read(ReadBytes(cmykFile), native, params, true).aborted);
    ASSERT_EQ(native.GetPixelFormat(), ieCMYK);
    EXPECT_EQ(native.GetScanline(0)[0], 255 - magick[0]);

    // Our YCCK file, judged by ImageMagick's decode.
    params.JpegColorSpace = 4;
    params.JpegQuality = 95;
    fs::path ycckFile = folder / "ycck.jpg";
    Bytes ycck = Write(bitmap, params);
    WriteBytes(ycckFile, ycck.data(), ycck.size());
    TIEBitmap back;
    TIOParamsVals backParams;
    backParams.JpegDCTMethod = 0;
    ASSERT_FALSE(Read(ycck, back, backParams).aborted);
    EXPECT_EQ(backParams.JpegColorSpace, 4);
    EXPECT_EQ(Samples(back), CmykToRgb(RunBytes("convert " + Q(ycckFile) + " -depth 8 cmyk:-")));
}

// The marker codes after SOI up to the first frame.
std::vector<int> MarkerScan(const Bytes& data) {
    std::vector<int> markers;
    size_t p = 2;
    while (p + 4 <= data.size() && data[p] == 0xFF && data[p + 1] != 0xDA) {
        markers.push_back(data[p + 1]);
        p += 2 + (size_t{data[p + 2]} << 8 | data[p + 3]);
    }
    return markers;
}

TEST(ToolsJpegCodec, WritesQualityDensityAndCmykMarkerOrder) {
    REQUIRE_TOOL("djpeg");
    REQUIRE_TOOL("exiftool");
    REQUIRE_TOOL("convert");
    fs::path folder = FixtureFolder("jpeg_write");
    // Large and smooth enough that 4:2:0 at quality 95 stays above 40 dB
    // (libjpeg's own encoder gets 47 dB on it, and 35.7 dB on the tiny rose).
    fs::path source = folder / "source.ppm";
    RunCommand("convert rose: -resize 388x244! -blur 0x1 " + Q(source));
    Bytes original = PnmSamples(ReadBytes(source));
    TIEBitmap bitmap(388, 244, ie24RGB);
    for (int32_t y = 0; y < 244; ++y)
        for (int32_t x = 0; x < 388; ++x)
            for (int k = 0; k < 3; ++k) bitmap.GetScanline(y)[3 * x + k] = original[(y * 388 + x) * 3 + 2 - k];

    TIOParamsVals params;
    params.JpegQuality = 95;
    params.SetDpiX(150);
    params.SetDpiY(72);
    const uint8_t comment[] = "kept";
    params.JpegMarkerList.AddMarker(0xFE, comment, 4);
    params.JpegMarkerList.AddMarker(0xEE, comment, 4);  // never written
    fs::path file = folder / "ours.jpg";
    Bytes ours = Write(bitmap, params);
    WriteBytes(file, ours.data(), ours.size());
    EXPECT_GT(Psnr(PnmSamples(RunBytes("djpeg -ppm " + Q(file))), original), 40.0);
    EXPECT_EQ(RunCommand("exiftool -s3 -JFIF:XResolution -JFIF:YResolution -JFIF:ResolutionUnit " + Q(file)),
              "150\n72\ninches\n");
    std::vector<int> plain = MarkerScan(ours);
    ASSERT_GE(plain.size(), 3u);
    EXPECT_EQ(std::vector<int>(plain.begin(), plain.begin() + 3), (std::vector<int>{0xE0, 0xFE, 0xDB}));

    params.JpegColorSpace = 3;
    Bytes cmyk = Write(bitmap, params);
    std::vector<int> scan = MarkerScan(cmyk);
    ASSERT_GE(scan.size(), 3u);
    EXPECT_EQ(std::vector<int>(scan.begin(), scan.begin() + 3), (std::vector<int>{0xE0, 0xEE, 0xFE}));
    fs::path cmykFile = folder / "ours_cmyk.jpg";
    WriteBytes(cmykFile, cmyk.data(), cmyk.size());
    std::string verbose = RunCommand("exiftool -v " + Q(cmykFile));
    size_t jfif = verbose.find("APP0"), adobe = verbose.find("APP14"), com = verbose.find("COM");
    EXPECT_TRUE(jfif < adobe && adobe < com) << verbose;
    // The source bitmap is left alone when another format is written.
    TIEBitmap gray(5, 3, ie8g);
    std::memset(gray.GetScanline(0), 0x80, 5);
    params.JpegColorSpace = 2;
    Bytes fromGray = Write(gray, params);
    EXPECT_EQ(gray.GetPixelFormat(), ie8g);
    EXPECT_GT(fromGray.size(), 100u);
}

TEST(ToolsJpegCodec, ResolutionJunkAndTruncation) {
    REQUIRE_TOOL("cjpeg");
    REQUIRE_TOOL("exiftool");
    REQUIRE_TOOL("convert");
    fs::path folder = FixtureFolder("jpeg_dpi");
    fs::path source = MakeSource(folder);
    fs::path base = folder / "base.jpg";
    RunCommand("cjpeg " + Q(source) + " > " + Q(base));
    const struct {
        const char* name;
        std::string edit;
        int dpiX, dpiY;
    } cases[] = {
        {"centimetres", "-JFIF:ResolutionUnit=cm -JFIF:XResolution=118 -JFIF:YResolution=59", 299, 149},
        {"no units", "-JFIF:ResolutionUnit=none -JFIF:XResolution=1 -JFIF:YResolution=1", 1, 1},
        {"jfif and exif disagree",
         "-JFIF:ResolutionUnit=inches -JFIF:XResolution=96 -JFIF:YResolution=96 -EXIF:XResolution=72 "
         "-EXIF:YResolution=72 -EXIF:ResolutionUnit=inches",
         96, 96},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::path file = folder / "dpi.jpg";
        fs::copy_file(base, file, fs::copy_options::overwrite_existing);
        RunCommand("exiftool -q -overwrite_original " + c.edit + " " + Q(file));
        TIEBitmap bitmap;
        TIOParamsVals params;
        ASSERT_FALSE(Read(ReadBytes(file), bitmap, params, false, true).aborted);
        EXPECT_EQ(params.DpiX, c.dpiX);
        EXPECT_EQ(params.DpiY, c.dpiY);
        EXPECT_EQ(bitmap.GetWidth(), 0);  // a header-only read leaves the bitmap alone
        EXPECT_EQ(params.Width, 97);
    }

    Bytes data = ReadBytes(base);
    for (size_t junk : {size_t{99}, size_t{100}}) {
        Bytes shifted(junk, 0x11);
        shifted.insert(shifted.end(), data.begin(), data.end());
        TIEBitmap bitmap;
        TIOParamsVals params;
        ReadResult r = Read(shifted, bitmap, params);
        EXPECT_EQ(r.aborted, junk == 100) << junk;
        EXPECT_EQ(r.rows, junk == 100 ? 0 : 61) << junk;
    }

    Bytes half(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(data.size() / 2));
    TIEBitmap bitmap;
    TIOParamsVals params;
    ReadResult r = Read(half, bitmap, params);
    EXPECT_FALSE(r.aborted);
    EXPECT_EQ(r.rows, 61);
    EXPECT_GE(params.JpegWarningCount, 1);
}

TEST(ToolsJpegCodec, ProfileIptcAndXmpSurviveLoadAndSave) {
    REQUIRE_TOOL("exiftool");
    REQUIRE_TOOL("convert");
    fs::path folder = FixtureFolder("jpeg_meta");
    fs::path source = MakeSource(folder);

    // An sRGB profile padded past 64 KB with a private tag.
    cmsHPROFILE profile = cmsCreate_sRGBProfile();
    Bytes padding(100000, 0x42);
    std::memcpy(padding.data(), "zzzz", 4);
    cmsWriteRawTag(profile, static_cast<cmsTagSignature>(0x7a7a7a7a), padding.data(),
                   static_cast<cmsUInt32Number>(padding.size()));
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    Bytes icc(size);
    cmsSaveProfileToMem(profile, icc.data(), &size);
    cmsCloseProfile(profile);
    fs::path iccFile = folder / "big.icc";
    WriteBytes(iccFile, icc.data(), icc.size());

    fs::path file = folder / "meta.jpg";
    RunCommand("convert " + Q(source) + " -profile " + Q(iccFile) + " " + Q(file));
    RunCommand("exiftool -q -overwrite_original -IPTC:Keywords=alpha -IPTC:Keywords=beta "
               "-IPTC:Caption-Abstract='A rose' -XMP-dc:Title='Mine' " + Q(file));

    TIEBitmap bitmap;
    TIOParamsVals params;
    ASSERT_FALSE(Read(ReadBytes(file), bitmap, params).aborted);
    ASSERT_NE(params.InputICCProfile(), nullptr);
    EXPECT_EQ(params.InputICCProfile()->Raw(), icc);
    EXPECT_GE(params.IPTCList.GetCount(), 3);
    EXPECT_NE(params.XmpInfo.find("Mine"), std::string::npos);

    Bytes saved = Write(bitmap, params);
    fs::path savedFile = folder / "saved.jpg";
    WriteBytes(savedFile, saved.data(), saved.size());
    const std::string tags = "exiftool -s -IPTC:all -XMP:all ";
    EXPECT_EQ(RunCommand(tags + Q(savedFile)), RunCommand(tags + Q(file)));
    EXPECT_EQ(RunCommand("exiftool -b -ICC_Profile " + Q(savedFile)), std::string(icc.begin(), icc.end()));
}

TEST(JpegCodec, ScalesProgressAndBadInput) {
    // A 320 x 240 picture made by our writer.
    TIEBitmap source(320, 240, ie24RGB);
    for (int32_t y = 0; y < 240; ++y)
        for (int32_t x = 0; x < 320 * 3; ++x) source.GetScanline(y)[x] = static_cast<uint8_t>(x ^ y);
    TIOParamsVals writeParams;
    Bytes data = Write(source, writeParams);

    const struct {
        uint8_t scale;
        int32_t wantW, wantH, used, width, height;
    } scales[] = {{0, 40, 30, 8, 40, 30}, {0, 41, 30, 4, 80, 60}, {0, 0, 0, 1, 320, 240}, {3, 0, 0, 4, 80, 60}};
    for (const auto& s : scales) {
        TIEBitmap bitmap;
        TIOParamsVals params;
        params.JpegScale = s.scale;
        params.Width = s.wantW, params.Height = s.wantH;
        ASSERT_FALSE(Read(data, bitmap, params).aborted);
        EXPECT_EQ(params.JpegScaleUsed, s.used);
        EXPECT_EQ(bitmap.GetWidth(), s.width);
        EXPECT_EQ(params.Height, s.height);
        EXPECT_EQ(params.JpegOriginalWidth, 320);
    }

    // Progress rises to 100 once per percent; an abort from the handler
    // stops the rows.
    std::vector<int> reported;
    bool abort = false;
    TIEProgressRec progress;
    progress.AbortFlag = &abort;
    progress.OnProgress = [&](void*, int percent) {
        reported.push_back(percent);
        if (percent >= 50 && reported.size() > 200) abort = true;
    };
    TIEBitmap bitmap;
    TIOParamsVals params;
    TMemoryStream stream(data);
    EXPECT_EQ(IEReadJPEGStream(stream, nullptr, bitmap, false, -1, false, false, false, false, false, false,
                               progress, params), 240);
    EXPECT_EQ(reported.back(), 100);
    EXPECT_TRUE(std::is_sorted(reported.begin(), reported.end()));
    progress.OnProgress = [&](void*, int percent) {
        if (percent >= 50) abort = true;
    };
    stream.SetPosition(0);
    int32_t rows = IEReadJPEGStream(stream, nullptr, bitmap, false, -1, false, false, false, false, false, false,
                                    progress, params);
    EXPECT_TRUE(abort);
    EXPECT_LT(rows, 240);

    // An abbreviated datastream decodes with its tables from a second
    // stream (as TIFF's JPEGTables gives them), and not without.
    Bytes tables = {0xFF, 0xD8}, image = {0xFF, 0xD8};
    size_t at = 2;
    while (at + 4 <= data.size() && data[at + 1] != 0xDA) {
        size_t end = at + 2 + (size_t{data[at + 2]} << 8 | data[at + 3]);
        Bytes& target = data[at + 1] == 0xDB || data[at + 1] == 0xC4 ? tables : image;
        target.insert(target.end(), data.begin() + static_cast<std::ptrdiff_t>(at),
                      data.begin() + static_cast<std::ptrdiff_t>(end));
        at = end;
    }
    image.insert(image.end(), data.begin() + static_cast<std::ptrdiff_t>(at), data.end());
    tables.insert(tables.end(), {0xFF, 0xD9});
    TIEBitmap whole, split;
    Read(data, whole, params);
    for (bool withTables : {true, false}) {
        TMemoryStream imageStream(image), tablesStream(tables);
        bool splitAbort = false;
        TIEProgressRec splitProgress;
        splitProgress.AbortFlag = &splitAbort;
        TIOParamsVals splitParams;
        IEReadJPEGStream(imageStream, withTables ? &tablesStream : nullptr, split, false, -1, false, false, false,
                         false, false, false, splitProgress, splitParams);
        EXPECT_EQ(splitAbort, !withTables);
        if (withTables) {
            EXPECT_EQ(Samples(split), Samples(whole));
        }
    }

    // Damaged files: a clear abort, or rows, never a crash.
    Bytes huge = data;
    for (size_t p = 2; p + 9 < huge.size(); ++p)
        if (huge[p] == 0xFF && huge[p + 1] == 0xC0) {
            huge[p + 5] = huge[p + 6] = huge[p + 7] = huge[p + 8] = 0xFF;  // 65535 x 65535
            break;
        }
    TIEBitmap untouched;
    ReadResult r = Read(huge, untouched, params);
    EXPECT_TRUE(r.aborted);
    EXPECT_EQ(r.rows, 0);
    EXPECT_TRUE(Read(Bytes{}, untouched, params).aborted);
    EXPECT_TRUE(Read(Bytes{0xFF, 0xD8, 0xFF}, untouched, params).aborted);
    uint32_t seed = 12345;
    for (int i = 0; i < 300; ++i) {
        Bytes mutated(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(40 + (i * 37) % data.size() / 2));
        for (int k = 0; k < 4; ++k) {
            seed = seed * 1103515245u + 12345u;
            mutated[(seed >> 8) % mutated.size()] = static_cast<uint8_t>(seed >> 24);
        }
        TIEBitmap b;
        TIOParamsVals p;
        Read(mutated, b, p);
    }

    // The writer: an empty bitmap sets the abort flag and writes nothing.
    TIEBitmap empty;
    TMemoryStream out;
    bool writeAbort = false;
    TIEProgressRec writeProgress;
    writeProgress.AbortFlag = &writeAbort;
    IEWriteJPEGStream(out, empty, writeParams, writeProgress);
    EXPECT_TRUE(writeAbort);
    EXPECT_EQ(out.GetSize(), 0);
    TIEBitmap floats(4, 4, ie32f);
    writeAbort = false;
    EXPECT_THROW(IEWriteJPEGStream(out, floats, writeParams, writeProgress), EIEJpegException);
    EXPECT_TRUE(writeAbort);
    EXPECT_EQ(out.GetSize(), 0);
    EXPECT_EQ(IEJpegMessageText(67), "Application transferred too few scanlines");
    EXPECT_EQ(IEJpegMessageText(500), "Corrupted");

    // Stream scans keep the position.
    TMemoryStream scan(data);
    EXPECT_EQ(IEJPEGStreamLength(scan), static_cast<int64_t>(data.size()));
    EXPECT_EQ(scan.GetPosition(), 0);
}

}  // namespace
