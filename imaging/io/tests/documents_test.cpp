// PostScript, PDF and icon files as other programs see them: ghostscript
// and poppler render the pages to the image's pixels, qpdf finds the PDF
// sound, ImageMagick lists every icon image; and the desktop's icon for a
// file type.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "imaging/core/ie_bitmap.h"
#include "imaging/io/ie_ico_write.h"
#include "imaging/io/ie_pdf.h"
#include "imaging/io/ie_postscript.h"
#include "imaging/io/ie_tiff_lzw.h"
#include "imaging/io/ie_vidurer_io.h"
#include "imaging/io/tests/rgba_support.h"
#include "platform/clock.h"
#include "platform/file_type_icon.h"

namespace {

using imaging_test::FixtureFolder;
using imaging_test::ReadBytes;
using imaging_test::RunCommand;
using imaging_test::WriteBytes;

// 119 x 59 fills the default paper's width at five points a pixel.
constexpr int32_t kW = 119, kH = 59, kScale = 5;

// Sharp stripes, or for JPEG coding smooth ramps.
void Paint(TIEBitmap& bitmap, TIEPixelFormat format, bool smooth = false) {
    bitmap.Allocate(kW, kH, ie24RGB);
    for (int32_t y = 0; y < kH; ++y)
        for (int32_t x = 0; x < kW; ++x)
            bitmap.SetPixelTRGB(x, y, TRGB{uint8_t(smooth ? 128 : (x * 37 + y * 11) % 256), uint8_t(y * 4), uint8_t(x * 2)});
    if (format != ie24RGB) bitmap.ConvertToPixelFormat(format);
}

struct TRaster {
    int32_t width = 0, height = 0;
    std::vector<uint8_t> rgb;
    TRGB At(int32_t x, int32_t y) const {
        const size_t i = 3 * (size_t(y) * size_t(width) + size_t(x));
        return TRGB{rgb[i + 2], rgb[i + 1], rgb[i]};
    }
};

TRaster ReadPPM(const std::filesystem::path& file) {
    const std::vector<uint8_t> bytes = ReadBytes(file);
    TRaster raster;
    // Magic, width, height and maximum, each after blanks or comment lines.
    size_t at = 0;
    auto token = [&]() {
        std::string word;
        while (at < bytes.size()) {
            if (bytes[at] == '#') {
                while (at < bytes.size() && bytes[at] != '\n') ++at;
            } else if (std::isspace(bytes[at])) {
                ++at;
            } else {
                break;
            }
        }
        while (at < bytes.size() && !std::isspace(bytes[at])) word += char(bytes[at++]);
        return word;
    };
    const std::string magic = token();
    raster.width = std::atoi(token().c_str());
    raster.height = std::atoi(token().c_str());
    token();
    const size_t start = at + 1;
    if (magic != "P6" || start + 3 * size_t(raster.width) * size_t(raster.height) > bytes.size()) return {};
    raster.rgb.assign(bytes.begin() + std::ptrdiff_t(start), bytes.end());
    return raster;
}

// The worst channel difference between each image pixel and the centre of
// the block of the page it covers (the image at the top left corner).
int PageDifference(const TRaster& page, TIEBitmap& image) {
    if (page.width < kW * kScale || page.height < kH * kScale) return 256;
    int worst = 0;
    for (int32_t y = 0; y < image.GetHeight(); ++y)
        for (int32_t x = 0; x < image.GetWidth(); ++x) {
            const TRGB a = image.GetPixelRGB(x, y);
            const TRGB b = page.At(x * kScale + kScale / 2, y * kScale + kScale / 2);
            worst = std::max({worst, std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
        }
    return worst;
}

// The page count pdfinfo gives.
int PageCount(const std::filesystem::path& file) {
    std::istringstream lines(RunCommand("pdfinfo '" + file.string() + "' 2>&1"));
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("Pages:", 0) == 0) return std::atoi(line.c_str() + 6);
    return -1;
}

std::vector<uint8_t> WritePS(TIEBitmap& bitmap, int compression) {
    TMemoryStream stream;
    TIOParamsVals params;
    params.PsCompression = uint8_t(compression);
    TIEProgressRec progress;
    IEWritePSStream(stream, bitmap, params, progress);
    return stream.TakeBytes();
}

}  // namespace

TEST(PostScript, DocumentLayout) {
    double fixed = 0;
    ASSERT_TRUE(TryEncodeDate(2026, 12, 11, fixed));
    TFixedClock clock(fixed);
    TIEBitmap image(100, 50, ie24RGB);
    image.Fill(0);
    TMemoryStream stream;
    TIOParamsVals params;
    params.PsTitle = "Two\r\nlines";
    TIEProgressRec progress;
    auto document = IEPSCreateDocument(stream, params);
    const std::string created(stream.Bytes().begin(), stream.Bytes().end());
    EXPECT_NE(created.find("%%Pages: 0     \r\n%%BoundingBox: 0 0 594 841\r\n"), std::string::npos);
    EXPECT_NE(created.find("%%CreationDate: Fri Dec 11 00:00:00 2026\r\n"), std::string::npos);
    EXPECT_NE(created.find("%%Title: Two  lines\r\n"), std::string::npos);
    IEPSAddPage(*document, stream, image, progress, params);
    TIEBitmap narrow(3, 2, ie24RGB);
    narrow.Fill(0);
    IEPSAddPage(*document, stream, narrow, progress, params);
    IEPSCloseDocument(std::move(document), stream);
    const std::string text(stream.Bytes().begin(), stream.Bytes().end());
    EXPECT_NE(text.find("%%Pages: 2     \r\n"), std::string::npos);
    EXPECT_NE(text.find("%%Page: 1 1\r\n0 842 translate\r\n595 -297 scale\r\n100 50 8\r\n[ 100 0 0 50 0 0 ]\r\n"),
              std::string::npos);
    EXPECT_NE(text.find("%%Page: 2 2\r\n"), std::string::npos);
    EXPECT_NE(text.find("/rstr 3 string def\r\n"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 33), "showpage\r\n%%Trailer\r\nend\r\n%%EOF\r\n");
    EXPECT_EQ(params.BitsPerSample, 8);
}

TEST(PostScript, ToolsGhostscriptRendersThePixels) {
    REQUIRE_TOOL("gs");
    const auto folder = FixtureFolder("postscript-gs");
    struct TCase {
        const char* name;
        TIEPixelFormat format;
        int compression;
        int tolerance;
    };
    for (const TCase& c : {TCase{"rgb", ie24RGB, 1, 1}, TCase{"grey", ie8g, 1, 1}, TCase{"cmyk", ieCMYK, 1, 1},
                           TCase{"bw-runs", ie1g, 0, 0}, TCase{"bw-g4", ie1g, 1, 0}, TCase{"bw-g3", ie1g, 2, 0},
                           TCase{"rgb-jpeg", ie24RGB, 3, 16}}) {
        SCOPED_TRACE(c.name);
        TIEBitmap image;
        Paint(image, c.format, c.compression == 3);
        // The save wrapper takes every format to 24 bits first, as here.
        if (c.format != ie1g && c.format != ie24RGB) image.ConvertToPixelFormat(ie24RGB);
        const std::vector<uint8_t> ps = WritePS(image, c.compression);
        const auto file = folder / (std::string(c.name) + ".ps");
        WriteBytes(file, ps.data(), ps.size());
        const auto ppm = folder / (std::string(c.name) + ".ppm");
        int status = 0;
        const std::string log = RunCommand("gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=ppmraw -r72 -sOutputFile='" + ppm.string() +
                                               "' '" + file.string() + "' 2>&1",
                                           &status);
        ASSERT_EQ(status, 0) << log;
        const TRaster page = ReadPPM(ppm);
        EXPECT_EQ(page.width, 595);
        EXPECT_EQ(page.height, 842);
        EXPECT_LE(PageDifference(page, image), c.tolerance);
    }
}

TEST(PDF, DocumentObjects) {
    TIEBitmap image(100, 50, ie1g);
    image.Fill(1);
    TMemoryStream stream;
    TIOParamsVals params;
    params.PdfTitle = "A (draft)";
    TIEProgressRec progress;
    IEWritePDFStream(stream, image, params, progress);
    const std::string text(stream.Bytes().begin(), stream.Bytes().end());
    EXPECT_NE(text.find("/Filter /CCITTFaxDecode\n/DecodeParms << /K -1\n"), std::string::npos);
    EXPECT_NE(text.find("q\n595 0 0 297 0 545 cm\n/lm1 Do\nQ\nendstream"), std::string::npos);
    EXPECT_NE(text.find("/MediaBox [0 0 595 842 ]"), std::string::npos);
    EXPECT_NE(text.find("/Title (A \\(draft\\))\n/CreationDate (D:"), std::string::npos);
    EXPECT_NE(text.find("trailer\n<< /Size 8\n/Root 1 0 R\n/Info 7 0 R\n>>"), std::string::npos);

    params.PdfCompression = 4;  // JPEG is for colour: a bilevel page takes group 3
    TMemoryStream second;
    IEWritePDFStream(second, image, params, progress);
    EXPECT_EQ(params.PdfCompression, 3);
    EXPECT_NE(std::string(second.Bytes().begin(), second.Bytes().end()).find("/DecodeParms << /K 1\n"),
              std::string::npos);
}

TEST(PDF, ToolsPopplerAndQpdfReadEveryCoding) {
    for (const char* tool : {"qpdf", "pdfinfo", "pdfimages", "pdftoppm"}) REQUIRE_TOOL(tool);
    IEInstallTIFFLZWHooks();
    const auto folder = FixtureFolder("pdf-tools");
    struct TCase {
        const char* name;
        TIEPixelFormat format;
        int compression;
        const char* filter;  // as pdfimages -list names it ("image" for LZW too)
        int tolerance;
    };
    const TCase cases[] = {
        {"rgb", ie24RGB, 2, "image", 0},     {"rgb-lzw", ie24RGB, 5, "image", 0},  {"rgb-jpeg", ie24RGB, 4, "jpeg", 16},
        {"bw", ie1g, 0, "image", 0},         {"bw-runs", ie1g, 1, "image", 0},   {"bw-g4", ie1g, 2, "ccitt", 0},
        {"bw-g3", ie1g, 3, "ccitt", 0},      {"bw-lzw", ie1g, 5, "image", 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        TIEBitmap image;
        Paint(image, c.format, c.compression == 4);
        TMemoryStream stream;
        TIOParamsVals params;
        params.PdfCompression = uint8_t(c.compression);
        TIEProgressRec progress;
        IEWritePDFStream(stream, image, params, progress);
        const auto file = folder / (std::string(c.name) + ".pdf");
        WriteBytes(file, stream.Memory(), stream.Bytes().size());
        int status = 0;
        const std::string check = RunCommand("qpdf --check '" + file.string() + "' 2>&1", &status);
        EXPECT_EQ(status, 0) << check;
        EXPECT_EQ(PageCount(file), 1);
        if (c.compression == 5) {
            EXPECT_NE(std::string(stream.Bytes().begin(), stream.Bytes().end()).find("/Filter /LZWDecode"),
                      std::string::npos);
        }
        const std::string list = RunCommand("pdfimages -list '" + file.string() + "' 2>&1");
        std::istringstream rows(list);
        std::string line;
        std::getline(rows, line);
        std::getline(rows, line);
        std::getline(rows, line);
        std::istringstream fields(line);
        std::string page, num, type, width, height, color, comp, bpc, enc;
        fields >> page >> num >> type >> width >> height >> color >> comp >> bpc >> enc;
        EXPECT_EQ(width, std::to_string(kW)) << list;
        EXPECT_EQ(height, std::to_string(kH));
        EXPECT_EQ(color, c.format == ie1g ? "gray" : "rgb");
        EXPECT_EQ(bpc, c.format == ie1g ? "1" : "8");
        EXPECT_EQ(enc, c.filter);
        const auto prefix = folder / c.name;
        RunCommand("pdftoppm -r 72 '" + file.string() + "' '" + prefix.string() + "' 2>&1", &status);
        ASSERT_EQ(status, 0);
        EXPECT_LE(PageDifference(ReadPPM(prefix.string() + "-1.ppm"), image), c.tolerance);
    }

    // Several pages: each page its own image.
    TIEPDFDocumentPtr document = IEPDFCreateDocument();
    TIOParamsVals params;
    TIEProgressRec progress;
    TIEBitmap first, second;
    Paint(first, ie24RGB);
    Paint(second, ie1g);
    IEPDFAddPage(*document, first, params, progress);
    IEPDFAddPage(*document, second, params, progress);
    TMemoryStream stream;
    IEPDFCloseDocument(std::move(document), stream, params);
    const auto file = folder / "two-pages.pdf";
    WriteBytes(file, stream.Memory(), stream.Bytes().size());
    int status = 0;
    EXPECT_NE(RunCommand("qpdf --check '" + file.string() + "' 2>&1", &status).find("No syntax or stream encoding errors"),
              std::string::npos);
    EXPECT_EQ(PageCount(file), 2);
    const auto prefix = folder / "two";
    RunCommand("pdftoppm -r 72 '" + file.string() + "' '" + prefix.string() + "'");
    EXPECT_EQ(PageDifference(ReadPPM(prefix.string() + "-1.ppm"), first), 0);
    EXPECT_EQ(PageDifference(ReadPPM(prefix.string() + "-2.ppm"), second), 0);
}

TEST(Icon, DirectoryAndDepths) {
    TIEBitmap image;
    Paint(image, ie24RGB);
    image.GetAlphaChannel()->Fill(255);
    image.GetAlphaChannel()->SetPixelByte(0, 0, 128);
    TMemoryStream stream;
    TIOParamsVals params;
    TIEProgressRec progress;
    IEWriteICOStream(stream, image, params, progress, {{16, 16}, {32, 32}, {48, 48}, {256, 256}}, {4, 8, 32, 24});
    const std::vector<uint8_t>& b = stream.Bytes();
    ASSERT_GE(b.size(), 6u + 64u);
    EXPECT_EQ(b[4], 4);
    auto entry = [&](int i, int at) { return b[6 + 16 * size_t(i) + size_t(at)]; };
    EXPECT_EQ(entry(0, 2), 16);   // colours of the 4-bit image
    EXPECT_EQ(entry(1, 2), 255);  // of the 8-bit image
    EXPECT_EQ(entry(2, 2), 0);
    EXPECT_EQ(entry(2, 4), 1);
    EXPECT_EQ(entry(2, 6), 32);
    EXPECT_EQ(entry(3, 0), 0);  // 256 is written as 0
    EXPECT_EQ(entry(3, 1), 0);
    EXPECT_THROW(IEWriteICOStream(stream, image, params, progress, {{300, 300}}, {8}), EInvalidGraphic);
    EXPECT_THROW(IEWriteICOStream(stream, image, params, progress, {{16, 16}}, {}), EInvalidGraphic);
}

TEST(Icon, ToolsImageMagickListsEverySizeAndMask) {
    REQUIRE_TOOL("identify");
    const auto folder = FixtureFolder("icon-magick");
    // Left half transparent, right half opaque.
    TIEBitmap image(64, 64, ie24RGB);
    for (int32_t y = 0; y < 64; ++y)
        for (int32_t x = 0; x < 64; ++x) {
            image.SetPixelTRGB(x, y, TRGB{uint8_t(x * 4), uint8_t(y * 4), 128});
            image.GetAlphaChannel()->SetPixelByte(x, y, x < 32 ? 0 : 255);
        }
    image.SetFullOpacity(false);
    const std::vector<std::pair<int32_t, int32_t>> sizes = {{16, 16}, {16, 16}, {32, 32}, {48, 48}, {256, 256}};
    const std::vector<int32_t> depths = {1, 4, 8, 32, 24};
    TMemoryStream stream;
    TIOParamsVals params;
    TIEProgressRec progress;
    IEWriteICOStream(stream, image, params, progress, sizes, depths);
    const auto file = folder / "sizes.ico";
    WriteBytes(file, stream.Memory(), stream.Bytes().size());
    // Size, bits per sample and kind of every image.
    const std::string listed = RunCommand("identify -format '%w %h %z %[type]\\n' '" + file.string() + "' 2>&1");
    EXPECT_EQ(listed,
              "16 16 1 Bilevel\n16 16 4 PaletteAlpha\n32 32 8 PaletteAlpha\n48 48 8 TrueColorAlpha\n"
              "256 256 8 TrueColorAlpha\n");
    // ImageMagick takes the transparency of the paletted images from their
    // AND masks and of the 32-bit image from its alpha bytes.
    for (int frame : {1, 2, 3}) {
        SCOPED_TRACE(frame);
        const int32_t s = sizes[size_t(frame)].first;
        const std::vector<uint8_t> rgba = imaging_test::MagickRGBA(file, frame);
        ASSERT_EQ(rgba.size(), size_t(4 * s * s));
        for (int32_t y = 0; y < s; ++y)
            for (int32_t x = 0; x < s; ++x) {
                if (x == s / 2 - 1 || x == s / 2) continue;  // the scaled edge
                EXPECT_EQ(rgba[4 * size_t(y * s + x) + 3], x < s / 2 ? 0 : 255) << x << "," << y;
            }
    }
}

TEST(Icon, DesktopIconOfAFileType) {
    EXPECT_EQ(MimeTypeOfFileName("/some/Photo.PNG"), "image/png");
    EXPECT_EQ(MimeTypeOfFileName("backup.tar.gz"), "application/x-compressed-tar");
    EXPECT_EQ(MimeTypeOfFileName("no-extension"), "application/octet-stream");
    if (FileTypeIconPath("picture.png", 32).empty()) {
        if (imaging_test::UnderCI()) FAIL() << "no icon theme under CI";
        GTEST_SKIP() << "no icon theme";
    }
    TIEBitmap icon;
    ASSERT_TRUE(IEFileIconToBitmap("holiday/picture.png", icon, 32));
    EXPECT_EQ(icon.GetWidth(), 32);
    EXPECT_EQ(icon.GetPixelFormat(), ie24RGB);
    EXPECT_TRUE(icon.GetHasAlphaChannel());
    EXPECT_EQ(icon.GetAlphaChannel()->GetPixelByte(0, 0), 0);  // the corners of the theme's icons are clear
    // A picture of the icons of a few types, to look at.
    const auto folder = FixtureFolder("file-type-icons");
    TVidurErIO io;
    TIEBitmap sheet(5 * 40, 40, ie24RGB);
    sheet.Fill(static_cast<double>(0xFFFFFF));
    int i = 0;
    for (const char* name : {"a.png", "b.pdf", "c.txt", "d.mp3", "e.tar.gz"}) {
        TIEBitmap one;
        if (IEFileIconToBitmap(name, one, 32)) {
            for (int32_t y = 0; y < one.GetHeight() && y < 32; ++y)
                for (int32_t x = 0; x < one.GetWidth() && x < 32; ++x) {
                    const int a = one.GetHasAlphaChannel() ? one.GetAlpha(x, y) : 255;
                    const TRGB c = one.GetPixelTRGB(x, y);
                    auto mix = [a](int v) { return uint8_t((v * a + 255 * (255 - a)) / 255); };
                    sheet.SetPixelTRGB(4 + 40 * i + x, 4 + y, TRGB{mix(c.b), mix(c.g), mix(c.r)});
                }
        }
        ++i;
    }
    io.SetAttachedIEBitmap(&sheet);
    io.SaveToFilePNG((folder / "icons.png").string());
    EXPECT_FALSE(io.AbortFlag) << io.LastError();
}
