// The input/output component: loading by file name against ImageMagick's
// files and decodes, saving by extension judged by identify, the failure
// channel (AbortFlag, one finish notification, no exception), source-text
// export decoded back by base64 and python3, stream headers, DPI
// equalization and loading into a view.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "imaging/core/ie_proc.h"  // both headers meet in the application
#include "imaging/core/tests/tool_support.h"
#include "imaging/io/ie_vidurer_io.h"
#include "imaging/io/tests/file_formats_scope.h"

using namespace imaging_test;
namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

namespace {

// Counts the finish notifications and progress reports of a component.
struct TWatch {
    int finishes = 0;
    std::vector<int> reports;
    explicit TWatch(TVidurErIO& io) {
        io.OnFinishWork = [this](TVidurErIO&) { ++finishes; };
        io.OnProgress = [this](void*, int percent) { reports.push_back(percent); };
    }
};

// R, G, B of every pixel, top row first.
Bytes OurRGB(TIEBitmap& bitmap) {
    Bytes out;
    for (int32_t y = 0; y < bitmap.GetHeight(); ++y)
        for (int32_t x = 0; x < bitmap.GetWidth(); ++x) {
            TRGB c = bitmap.GetPixelRGB(x, y);
            out.insert(out.end(), {c.r, c.g, c.b});
        }
    return out;
}

Bytes MagickRGB(const fs::path& file) {
    std::string out = RunCommand("convert '" + file.string() + "' -depth 8 rgb:-");
    return Bytes(out.begin(), out.end());
}

int MaxDifference(const Bytes& a, const Bytes& b) {
    if (a.size() != b.size()) return 1000;
    int worst = 0;
    for (size_t i = 0; i < a.size(); ++i) worst = std::max(worst, std::abs(a[i] - b[i]));
    return worst;
}

std::string Identify(const fs::path& file, const std::string& format) {
    return RunCommand("identify -units PixelsPerInch -format '" + format + "' '" + file.string() + "'");
}

// A small picture with colour in both directions, made by ImageMagick in
// the format its name or the prefix ("BMP3:") says.
void MakePicture(const fs::path& file, const std::string& density = "72x96", int width = 37, int height = 23,
                 const std::string& prefix = "") {
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    const std::string command = "convert -size " + size + " gradient:red-blue \\( -size " + size +
                                " gradient:black-yellow -rotate 90 -resize " + size +
                                "! \\) -compose plus -composite -depth 8 -units PixelsPerInch -density " + density + " " +
                                prefix + "'" + file.string() + "' 2>&1";
    int status = 0;
    std::string output = RunCommand(command, &status);
    ASSERT_EQ(status, 0) << output;
}

// A 24-bit picture of the component's own, every pixel different.
void FillPattern(TIEBitmap& bitmap, int32_t width, int32_t height) {
    bitmap.Allocate(width, height, ie24RGB);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            bitmap.SetPixelTRGB(x, y, TRGB{static_cast<uint8_t>(x * 7), static_cast<uint8_t>(y * 11),
                                           static_cast<uint8_t>(x * y)});
}

}  // namespace

TEST(VidurerIOTools, LoadByFileNameEqualsImageMagick) {
    REQUIRE_TOOL("convert");
    const fs::path folder = FixtureFolder("vidurer_io_load");
    // ImageMagick names the format before the colon; the file keeps the
    // extension under test.
    const struct {
        const char* magick;
        const char* name;
        int32_t fileType;
    } cases[] = {
        {"BMP3", "a.bmp", 5}, {"BMP3", "b.dib", 5},  {"BMP3", "c.rle", 5},  {"BMP3", "D.BMP", 5},
        {"JPEG", "e.jpg", 3}, {"JPEG", "f.jpeg", 3}, {"JPEG", "g.jpe", 3},  {"JPEG", "h.jif", 3},
        {"JPEG", "I.JPG", 3}, {"PNG", "j.png", 8},   {"PNG", "K.PNG", 8},   {"BMP", "l.Bmp", 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path file = folder / c.name;
        MakePicture(file, "72x96", 37, 23, std::string(c.magick) + ":");
        TVidurErIO io;
        // ImageMagick decodes with the accurate integer transform.
        io.ImageParams.JpegDCTMethod = 0;
        TWatch watch(io);
        EXPECT_NO_THROW(io.LoadFromFile(file.string()));
        EXPECT_FALSE(io.AbortFlag) << io.LastError();
        EXPECT_EQ(watch.finishes, 1);
        ASSERT_FALSE(watch.reports.empty());
        EXPECT_EQ(watch.reports.back(), 100);
        EXPECT_EQ(io.ImageParams.FileType, c.fileType);
        std::istringstream facts(Identify(file, "%w %h %x %y"));
        int width = 0, height = 0;
        double dpiX = 0, dpiY = 0;
        facts >> width >> height >> dpiX >> dpiY;
        EXPECT_EQ(io.Bitmap()->GetWidth(), width);
        EXPECT_EQ(io.Bitmap()->GetHeight(), height);
        EXPECT_EQ(io.ImageParams.DpiX, std::lround(dpiX));
        EXPECT_EQ(io.ImageParams.DpiY, std::lround(dpiY));
        EXPECT_LE(MaxDifference(OurRGB(*io.Bitmap()), MagickRGB(file)), c.fileType == 3 ? 1 : 0);
    }
}

TEST(VidurerIOTools, LoadFailuresSetAbortFlagAndFinishOnce) {
    REQUIRE_TOOL("convert");
    const fs::path folder = FixtureFolder("vidurer_io_fail");
    std::vector<std::string> names;
    for (const char* ext : {"png", "jpg", "bmp"}) {
        const fs::path whole = folder / (std::string("whole.") + ext);
        MakePicture(whole, "72x72", 64, 64);
        Bytes bytes = ReadBytes(whole);
        bytes.resize(bytes.size() / 2);
        const fs::path cut = folder / (std::string("cut.") + ext);
        WriteBytes(cut, bytes.data(), bytes.size());
        names.push_back(cut.string());
    }
    WriteBytes(folder / "picture.xyz", "abc", 3);
    const std::string readable = (folder / "whole.png").string();
    fs::copy_file(readable, folder / "picture.tif");
    names.insert(names.end(), {(folder / "picture.xyz").string(), (folder / "missing.png").string(),
                               (folder / "missing.bmp").string(), (folder / "noextension").string(),
                               (folder / "picture.tif").string(), (folder / "picture.ps").string(),
                               "https://example.invalid/picture.png", ""});
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        TVidurErIO io;
        // A success before must not hide the failure.
        io.LoadFromFile(readable);
        ASSERT_FALSE(io.AbortFlag);
        TWatch watch(io);
        EXPECT_NO_THROW(io.LoadFromFile(name));
        EXPECT_TRUE(io.AbortFlag);
        EXPECT_EQ(watch.finishes, 1);
        EXPECT_FALSE(io.LastError().empty());
    }
    TVidurErIO io;
    io.LoadFromFile((folder / "picture.tif").string());
    EXPECT_EQ(io.LastError(), "The TIFF Bitmap data is damaged or incomplete: the data does not start with a TIFF header");
    io.LoadFromFile((folder / "picture.ps").string());
    EXPECT_EQ(io.LastError(), "PostScript Level 2 files cannot be read");
    // Nothing was loaded: an empty picture makes no GIF.
    io.SaveToFile((folder / "picture.gif").string());
    EXPECT_EQ(io.LastError(), "The image could not be written as CompuServe Bitmap");
    io.SaveToFile((folder / "picture.dcm").string());
    EXPECT_EQ(io.LastError(), "DICOM Bitmap files cannot be written");
}

TEST(VidurerIOTools, LoadByContentIgnoresAWrongExtension) {
    REQUIRE_TOOL("convert");
    const fs::path folder = FixtureFolder("vidurer_io_content");
    MakePicture(folder / "real.png");
    fs::copy_file(folder / "real.png", folder / "named.jpg");
    TVidurErIO io;
    io.LoadFromFile((folder / "named.jpg").string());
    EXPECT_TRUE(io.AbortFlag);
    io.LoadFromFileByContent((folder / "named.jpg").string());
    EXPECT_FALSE(io.AbortFlag);
    EXPECT_EQ(io.ImageParams.FileType, 8);
    EXPECT_EQ(OurRGB(*io.Bitmap()), MagickRGB(folder / "real.png"));
}

TEST(VidurerIOTools, SaveByExtensionGivesTheFormat) {
    REQUIRE_TOOL("identify");
    const fs::path folder = FixtureFolder("vidurer_io_save");
    const std::map<std::string, std::string> writable = {
        {"a.bmp", "BMP"}, {"b.dib", "BMP"},   {"c.rle", "BMP"},  {"d.jpg", "JPEG"}, {"e.jpeg", "JPEG"},
        {"f.jpe", "JPEG"}, {"g.jif", "JPEG"}, {"h.png", "PNG"},  {"I.PNG", "PNG"},  {"J.JPG", "JPEG"},
        {"k.tif", "TIFF"}, {"l.TIFF", "TIFF"}, {"m.gif", "GIF"},
    };
    for (const auto& [name, format] : writable) {
        SCOPED_TRACE(name);
        TVidurErIO io;
        FillPattern(*io.Bitmap(), 29, 17);
        TWatch watch(io);
        io.SaveToFile((folder / name).string());
        EXPECT_FALSE(io.AbortFlag) << io.LastError();
        EXPECT_EQ(watch.finishes, 1);
        // identify reads BMP as BMP3 for version-3 headers.
        std::string facts = Identify(folder / name, "%m %w %h");
        EXPECT_TRUE(facts == format + " 29 17" || facts == format + "3 29 17") << facts;
    }
    for (const char* name : {"c.dcm", "d.xif", "e.iev", "f.xyz", "g.jp2", "noextension"}) {
        SCOPED_TRACE(name);
        TVidurErIO io;
        FillPattern(*io.Bitmap(), 5, 5);
        TWatch watch(io);
        EXPECT_NO_THROW(io.SaveToFile((folder / name).string()));
        EXPECT_TRUE(io.AbortFlag);
        EXPECT_EQ(watch.finishes, 0);
        EXPECT_FALSE(io.LastError().empty());
        EXPECT_FALSE(fs::exists(folder / name));
    }
}

TEST(VidurerIO, SaveConvertsForJPEGOnlyAndKeepsTheOldFileOnFailure) {
    const fs::path folder = FixtureFolder("vidurer_io_rules");
    TVidurErIO io;
    io.Bitmap()->Allocate(8, 8, ieRGB48);
    io.Bitmap()->Fill(0);
    io.SaveToFile((folder / "wide.png").string());
    EXPECT_EQ(io.Bitmap()->GetPixelFormat(), ieRGB48);
    io.SaveToFile((folder / "wide.jpg").string());
    EXPECT_FALSE(io.AbortFlag);
    EXPECT_EQ(io.Bitmap()->GetPixelFormat(), ie24RGB);
    EXPECT_EQ(io.ImageParams.FileType, 3);
    // A writer that stops half way leaves the previous file as it was.
    const Bytes before = ReadBytes(folder / "wide.jpg");
    io.OnProgress = [&io](void*, int percent) {
        if (percent > 0 && percent < 100) io.AbortFlag = true;
    };
    FillPattern(*io.Bitmap(), 50, 50);
    io.SaveToFile((folder / "wide.jpg").string());
    EXPECT_TRUE(io.AbortFlag);
    EXPECT_EQ(io.LastError(), "Cancelled");
    EXPECT_EQ(ReadBytes(folder / "wide.jpg"), before);
}

TEST(VidurerIO, StreamsBuffersAndHeaders) {
    // Pictures of different sizes back to back, each behind its header.
    TVidurErIO writer;
    writer.StreamHeaders = true;
    TMemoryStream stream;
    const uint8_t lead[5] = {1, 2, 3, 4, 5};
    stream.WriteBuffer(lead, sizeof lead);
    for (int32_t i = 1; i <= 3; ++i) {
        FillPattern(*writer.Bitmap(), 10 * i, 7 * i);
        writer.SaveToStream(stream, 3);
        ASSERT_FALSE(writer.AbortFlag);
    }
    // The header: magic, four zero bytes, the length of what follows.
    const Bytes& bytes = stream.Bytes();
    ASSERT_EQ(std::string(bytes.begin() + 5, bytes.begin() + 9), "JFIF");
    EXPECT_EQ(bytes[9] | bytes[10] | bytes[11] | bytes[12], 0);
    const uint32_t length = bytes[13] | bytes[14] << 8 | bytes[15] << 16 | uint32_t{bytes[16]} << 24;
    EXPECT_EQ(bytes[17], 0xFF);
    EXPECT_EQ(bytes[17 + length - 2], 0xFF);
    EXPECT_EQ(bytes[17 + length - 1], 0xD9);

    TVidurErIO reader;  // headers are taken whatever StreamHeaders says
    stream.SetPosition(5);
    for (int32_t i = 1; i <= 3; ++i) {
        TWatch watch(reader);
        reader.LoadFromStream(stream);
        EXPECT_FALSE(reader.AbortFlag);
        EXPECT_EQ(watch.finishes, 1);
        EXPECT_EQ(reader.Bitmap()->GetWidth(), 10 * i);
        EXPECT_EQ(reader.Bitmap()->GetHeight(), 7 * i);
        EXPECT_TRUE(reader.ImageParams.FileName.empty());
    }
    EXPECT_EQ(stream.GetPosition(), stream.GetSize());

    // Bytes nothing recognises change nothing, not even the flag.
    const uint8_t junk[64] = {9, 9, 9};
    TMemoryStream noise(Bytes(junk, junk + sizeof junk));
    reader.AbortFlag = true;
    TWatch watch(reader);
    reader.LoadFromStream(noise);
    EXPECT_TRUE(reader.AbortFlag);
    EXPECT_EQ(noise.GetPosition(), 0);
    EXPECT_EQ(watch.finishes, 0);
    EXPECT_EQ(reader.Bitmap()->GetWidth(), 30);

    // A PNG and a BMP from memory, by content and by type.
    TVidurErIO source;
    FillPattern(*source.Bitmap(), 13, 9);
    for (int32_t type : {8, 5}) {
        TMemoryStream encoded;
        source.SaveToStream(encoded, type);
        TVidurErIO loaded;
        loaded.LoadFromBuffer(encoded.Memory(), encoded.GetSize(), 0);
        EXPECT_FALSE(loaded.AbortFlag);
        EXPECT_EQ(loaded.ImageParams.FileType, type);
        EXPECT_EQ(OurRGB(*loaded.Bitmap()), OurRGB(*source.Bitmap()));
        loaded.LoadFromBuffer(encoded.Memory(), encoded.GetSize(), type == 8 ? 5 : 8);
        EXPECT_TRUE(loaded.AbortFlag);
    }
}

TEST(VidurerIOTools, SourceTextDecodesToTheSavedStream) {
    REQUIRE_TOOL("python3");
    REQUIRE_TOOL("base64");
    const fs::path folder = FixtureFolder("vidurer_io_source");
    TVidurErIO io;
    FillPattern(*io.Bitmap(), 21, 13);
    TMemoryStream expected;
    io.SaveToStream(expected, 8);
    ASSERT_GT(expected.GetSize(), 100);
    const fs::path script = folder / "decode.py";
    const std::string python =
        "import re, sys\n"
        "text = open(sys.argv[1]).read()\n"
        "lines = text.split('\\n')\n"
        "if sys.argv[2] == '0':\n"
        "    assert lines[0] == 'const'\n"
        "    size = int(re.fullmatch(r'  (\\S+)_Size = (\\d+);', lines[1]).group(2))\n"
        "    assert re.fullmatch(r'  \\S+ : array \\[0\\.\\.\\S+_Size-1\\] of byte = \\(', lines[2])\n"
        "    body = lines[3:]\n"
        "    assert all(l.startswith('    ') and len(l) == 76 for l in body[:-3])\n"
        "    assert body[-2].endswith(');')\n"
        "    items = re.findall(r'\\$([0-9A-F]{2})', ''.join(body))\n"
        "else:\n"
        "    size = int(re.fullmatch(r'\\\\\\\\ Size=(\\d+)', lines[0]).group(1))\n"
        "    body = lines[1:]\n"
        "    assert all(len(l) == 75 for l in body[:-3])\n"
        "    items = re.findall(r'0x([0-9A-F]{2})', ''.join(body))\n"
        "assert len(items) == size\n"
        "sys.stdout.buffer.write(bytes(int(i, 16) for i in items))\n";
    WriteBytes(script, python.data(), python.size());
    for (uint8_t style : {0, 1, 2}) {
        SCOPED_TRACE(style);
        const fs::path text = folder / ("logo" + std::to_string(style) + ".pas");
        io.SaveToPascalSource(text.string(), 8, style);
        EXPECT_FALSE(io.AbortFlag);
        const std::string command = style == 2 ? "base64 -d '" + text.string() + "'"
                                               : "python3 '" + script.string() + "' '" + text.string() + "' " +
                                                     std::to_string(style);
        int status = 0;
        const std::string decoded = RunCommand(command, &status);
        EXPECT_EQ(status, 0);
        EXPECT_EQ(Bytes(decoded.begin(), decoded.end()), expected.Bytes());
    }
    // The identifier is the file's own name, wherever the folder is.
    const std::string text = [&] {
        Bytes b = ReadBytes(folder / "logo0.pas");
        return std::string(b.begin(), b.end());
    }();
    EXPECT_NE(text.find("  logo0_pas_Size = " + std::to_string(expected.GetSize()) + ";\n"), std::string::npos);
}

TEST(VidurerIOTools, SourceIdentifierIsAValidIdentifierWhateverTheFolder) {
    const struct {
        const char* file;
        const char* identifier;
    } cases[] = {
        {"logo.pas", "logo_pas"},
        {"/tmp/tmp.Ab3/p/logo.pas", "logo_pas"},
        {"C:\\Work.1\\logo.pas", "logo_pas"},
        {"C:logo.pas", "logo_pas"},
        {"my logo-2.inc.pas", "my_logo_2_inc_pas"},
        {"2logo.pas", "_2logo_pas"},
        {"/tmp/.pas", "_pas"},
        {"", "_"},
    };
    for (const auto& c : cases) EXPECT_EQ(SourceIdentifier(c.file), c.identifier) << c.file;
}

TEST(VidurerIO, CharacterPicture) {
    const fs::path folder = FixtureFolder("vidurer_io_ascii");
    TVidurErIO io;
    io.Bitmap()->Allocate(4, 3, ie24RGB);
    io.Bitmap()->Fill(0);
    io.Bitmap()->SetPixelTRGB(1, 1, TRGB{255, 255, 255});  // lightest: past the ramp's end
    io.Bitmap()->SetPixelTRGB(2, 1, TRGB{127, 127, 127});  // 127 / 255 * 9 = 4.48: "+"
    io.SaveToPascalSource((folder / "art.txt").string(), 0, 3);
    const Bytes text = ReadBytes(folder / "art.txt");
    EXPECT_EQ(std::string(text.begin(), text.end()), "WWWW\nW +W\nWWWW\n");
    // Not ie24RGB: the file is left empty and the flag says why.
    io.Bitmap()->ConvertToPixelFormat(ie8g);
    io.SaveToPascalSource((folder / "art.txt").string(), 0, 3);
    EXPECT_TRUE(ReadBytes(folder / "art.txt").empty());
    EXPECT_TRUE(io.AbortFlag);
}

TEST(VidurerIOTools, DPIEqualizationOfAnImageMagickPicture) {
    REQUIRE_TOOL("convert");
    const fs::path folder = FixtureFolder("vidurer_io_dpi");
    const struct {
        const char* density;
        int width, height;
        int wantWidth, wantHeight, wantDpi;
    } cases[] = {
        {"204x98", 172, 110, 172, 228, 204},  // landscape: Trunc(110 / 98 * 204) rows
        {"100x200", 10, 30, 20, 30, 200},     // portrait: Trunc(10 / 100 * 200) columns
        {"150x150", 12, 8, 12, 8, 150},       // equal: nothing changes
    };
    for (const auto& c : cases) {
        for (bool filtered : {false, true}) {
            SCOPED_TRACE(std::string(c.density) + (filtered ? " filtered" : ""));
            const fs::path file = folder / (std::string(c.density) + ".jpg");
            MakePicture(file, c.density, c.width, c.height);
            TVidurErIO io;
            io.AutoAdjustDPI = true;
            io.FilteredAdjustDPI = filtered;
            io.LoadFromFile(file.string());
            ASSERT_FALSE(io.AbortFlag) << io.LastError();
            EXPECT_EQ(io.Bitmap()->GetWidth(), c.wantWidth);
            EXPECT_EQ(io.Bitmap()->GetHeight(), c.wantHeight);
            EXPECT_EQ(io.ImageParams.Width, c.wantWidth);
            EXPECT_EQ(io.ImageParams.Height, c.wantHeight);
            EXPECT_EQ(io.ImageParams.DpiX, c.wantDpi);
            EXPECT_EQ(io.ImageParams.DpiY, c.wantDpi);
        }
    }
}

TEST(VidurerIO, EqualizeDPIKeepsAlphaAndLeavesEqualImagesAlone) {
    TVidurErIO io;
    FillPattern(*io.Bitmap(), 40, 20);
    io.Bitmap()->GetAlphaChannel()->Fill(77);
    io.ImageParams.Width = 40;
    io.ImageParams.Height = 20;
    io.ImageParams.SetDpiX(100);
    io.ImageParams.SetDpiY(50);
    io.AdjustDPI();
    EXPECT_EQ(io.Bitmap()->GetHeight(), 40);
    ASSERT_TRUE(io.Bitmap()->GetHasAlphaChannel());
    EXPECT_EQ(io.Bitmap()->GetAlphaChannel()->GetHeight(), 40);
    EXPECT_EQ(io.Bitmap()->GetAlpha(39, 39), 77);

    TIOParamsVals params;
    TIEBitmap fax(1728, 1100, ie1g);
    params.Width = 1728, params.Height = 1100, params.DpiX = 204, params.DpiY = 98;
    std::unique_ptr<TIEBitmap> equal = IEEqualizeDPI(fax, params, false);
    ASSERT_TRUE(equal);
    EXPECT_EQ(equal->GetHeight(), 2289);
    EXPECT_EQ(equal->GetPixelFormat(), ie1g);
    EXPECT_EQ(params.DpiY, 204);
    EXPECT_FALSE(IEEqualizeDPI(fax, params, false));
    params.DpiX = 0;
    EXPECT_FALSE(IEEqualizeDPI(fax, params, true));
}

namespace {

// A view without a window: its own bitmap, a record of the calls it got.
class TFakeView : public TIEView {
public:
    TIEBitmap bitmap;
    std::map<int32_t, TBitmapChangeEvent> listeners;
    int updates = 0, changes = 0, dpiX = 0, dpiY = 0;
    TColor background = clWhite;
    ~TFakeView() override {
        auto copy = listeners;
        for (auto& [handle, event] : copy) event(true);
    }
    int32_t RegisterBitmapChangeEvent(TBitmapChangeEvent event) override {
        listeners[next] = std::move(event);
        return next++;
    }
    void RemoveBitmapChangeEvent(int32_t handle) override { listeners.erase(handle); }
    TBitmap* GetBitmap() override { return nullptr; }
    TIEBitmap* GetIEBitmap() override { return &bitmap; }
    void Update() override { ++updates; }
    void ImageChange() override { ++changes; }
    TColor GetBackground() override { return background; }
    void SetBackground(TColor color) override { background = color; }
    void SetDPI(int32_t x, int32_t y) override { dpiX = x, dpiY = y; }

private:
    int32_t next = 1;
};

}  // namespace

TEST(VidurerIO, LoadsIntoAnAttachedView) {
    TVidurErIO source;
    FillPattern(*source.Bitmap(), 12, 6);
    source.ImageParams.SetDpiX(120);
    source.ImageParams.SetDpiY(60);
    TMemoryStream encoded;
    source.SaveToStream(encoded, 8);

    TVidurErIO io;
    {
        TFakeView view;
        io.SetAttachedVidurEr(&view);
        EXPECT_EQ(io.Bitmap(), &view.bitmap);
        EXPECT_FALSE(io.OwnsBitmap());
        EXPECT_EQ(view.listeners.size(), 1u);
        encoded.SetPosition(0);
        io.LoadFromStream(encoded);
        EXPECT_FALSE(io.AbortFlag);
        EXPECT_EQ(view.bitmap.GetWidth(), 12);
        EXPECT_EQ(OurRGB(view.bitmap), OurRGB(*source.Bitmap()));
        EXPECT_EQ(view.updates, 1);
        EXPECT_EQ(view.changes, 1);
        EXPECT_EQ(view.dpiX, 120);
        EXPECT_EQ(view.dpiY, 60);
        // Background writes reach the view only when asked to.
        io.SetBackground(clBlack);
        EXPECT_EQ(view.background, clWhite);
        io.PassBackgroundToView = true;
        io.SetBackground(clBlack);
        EXPECT_EQ(io.Background(), clBlack);
    }
    // The view went: the component works on a bitmap of its own again.
    EXPECT_EQ(io.AttachedVidurEr(), nullptr);
    ASSERT_NE(io.Bitmap(), nullptr);
    EXPECT_TRUE(io.OwnsBitmap());
    encoded.SetPosition(0);
    io.LoadFromStream(encoded);
    EXPECT_EQ(io.Bitmap()->GetWidth(), 12);

    TFakeView view;
    io.SetAttachedVidurEr(&view);
    io.SetAttachedVidurEr(nullptr);
    io.SetAttachedVidurEr(nullptr);
    EXPECT_TRUE(view.listeners.empty());
    EXPECT_TRUE(io.OwnsBitmap());

    // An external bitmap, and none at all: then every operation does nothing.
    TIEBitmap external;
    io.SetAttachedIEBitmap(&external);
    encoded.SetPosition(0);
    io.LoadFromStream(encoded);
    EXPECT_EQ(external.GetWidth(), 12);
    io.SetAttachedIEBitmap(nullptr);
    TWatch watch(io);
    io.LoadFromFile("x.png");
    io.SaveToFile("x.png");
    EXPECT_EQ(watch.finishes, 0);
}

namespace {

// A format added to the registry: one byte of gray per pixel after a
// "ZZ" width height header.
void ReadZZ(TStream& stream, TIEBitmap& bitmap, TIOParamsVals& params, TIEProgressRec& progress, bool preview) {
    uint8_t header[4];
    if (stream.Read(header, 4) != 4 || header[0] != 'Z' || header[1] != 'Z') {
        progress.Abort();
        return;
    }
    params.Width = header[2], params.Height = header[3];
    if (preview) return;
    bitmap.Allocate(header[2], header[3], ie8g);
    for (int32_t y = 0; y < header[3]; ++y)
        if (stream.Read(bitmap.GetScanline(y), header[2]) != header[2]) progress.Abort();
}

void WriteZZ(TStream& stream, TIEBitmap& bitmap, TIOParamsVals&, TIEProgressRec&) {
    const uint8_t header[4] = {'Z', 'Z', static_cast<uint8_t>(bitmap.GetWidth()),
                               static_cast<uint8_t>(bitmap.GetHeight())};
    stream.WriteBuffer(header, 4);
    for (int32_t y = 0; y < bitmap.GetHeight(); ++y)
        for (int32_t x = 0; x < bitmap.GetWidth(); ++x) {
            const uint8_t gray = bitmap.GetPixelRGB(x, y).g;
            stream.WriteBuffer(&gray, 1);
        }
}

}  // namespace

TEST(VidurerIO, AddedFormatsAndUnitStartUp) {
    TVidurErIO io;
    EXPECT_FALSE(IEColorManagementEnabled);
    EXPECT_EQ(IEMetafileMaxSize, 8000);
    const TIOPrintPreviewParams& preview = io.PrintPreviewParams;
    EXPECT_EQ(std::vector<double>({preview.MarginLeft, preview.MarginTop, preview.MarginRight, preview.MarginBottom,
                                   double(preview.Position), double(preview.Size), preview.Width, preview.Height,
                                   preview.Gamma}),
              std::vector<double>({1, 1, 1, 1, 4, 1, -1, -1, 1}));
    ASSERT_NE(IEFileFormatGetInfo(3), nullptr);

    const TFileFormatsScope registry;
    TIEFileFormatInfo zz;
    zz.FileType = 90;
    zz.FullName = "Gray bytes";
    zz.Extensions = "ZZZ";
    zz.ReadFunction = ReadZZ;
    zz.WriteFunction = WriteZZ;
    IEFileFormatAdd(zz);
    const fs::path folder = FixtureFolder("vidurer_io_added");
    FillPattern(*io.Bitmap(), 6, 4);
    TWatch watch(io);
    io.SaveToFile((folder / "p.zzz").string());
    EXPECT_FALSE(io.AbortFlag);
    EXPECT_EQ(ReadBytes(folder / "p.zzz").size(), 4u + 24u);
    io.LoadFromFile((folder / "p.zzz").string());
    EXPECT_FALSE(io.AbortFlag);
    EXPECT_EQ(io.ImageParams.FileType, 90);
    EXPECT_EQ(io.Bitmap()->GetPixelFormat(), ie8g);
    WriteBytes(folder / "bad.zzz", "QQ", 2);
    io.LoadFromFile((folder / "bad.zzz").string());
    EXPECT_TRUE(io.AbortFlag);
    EXPECT_EQ(watch.finishes, 3);
}

TEST(VidurerIOTools, LoadsIntoAnImageView) {
    REQUIRE_TOOL("convert");
    const fs::path folder = FixtureFolder("vidurer_io_view");
    MakePicture(folder / "photo.jpg", "150x75", 40, 30);
    MakePicture(folder / "logo.png", "96x96", 20, 10);
    // The application's road: a view without a window makes its component.
    TVidurErView view;
    auto* io = dynamic_cast<TVidurErIO*>(view.GetVidurErIO());
    ASSERT_NE(io, nullptr);
    EXPECT_EQ(io->AttachedVidurEr(), &view);
    int finishes = 0;
    view.SetOnFinishWork([&finishes] { ++finishes; });
    io->LoadFromFile((folder / "photo.jpg").string());
    EXPECT_FALSE(io->AbortFlag) << io->LastError();
    EXPECT_EQ(finishes, 1);
    ASSERT_EQ(view.GetIEBitmap(), io->Bitmap());
    EXPECT_EQ(view.GetIEBitmap()->GetWidth(), 40);
    EXPECT_EQ(view.GetIEBitmap()->GetHeight(), 30);
    EXPECT_EQ(view.DpiX(), 150);
    EXPECT_EQ(view.DpiY(), 75);
    EXPECT_LE(MaxDifference(OurRGB(*view.GetIEBitmap()), MagickRGB(folder / "photo.jpg")), 6);

    // A component of its own attached to the view follows the view's
    // bitmap when the view changes it.
    TVidurErIO other;
    other.SetAttachedVidurEr(&view);
    TIEBitmap external;
    view.SetExternalIEBitmap(&external);
    EXPECT_EQ(other.Bitmap(), &external);
    other.LoadFromFile((folder / "logo.png").string());
    EXPECT_FALSE(other.AbortFlag) << other.LastError();
    EXPECT_EQ(external.GetWidth(), 20);
    EXPECT_EQ(view.DpiX(), 96);
    other.SetAttachedVidurEr(nullptr);
    view.SetExternalIEBitmap(nullptr);
}
