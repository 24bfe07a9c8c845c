// The flat helpers: bits, colours, encoders and geometry, with the encoders
// and colour formulas judged by outside tools.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <sstream>

#include "imaging/core/ie_font_styles.h"
#include "imaging/core/ie_helpers.h"
#include "platform/bitmap.h"
#include "tool_support.h"

using namespace imaging_test;

namespace {

std::vector<uint8_t> RandomBytes(size_t count, uint32_t seed, int alphabet = 256) {
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes(count);
    for (auto& b : bytes) b = static_cast<uint8_t>(random() % alphabet);
    return bytes;
}

// Runs of repeated bytes between random stretches: the run-length coder's
// interesting input (runs of 2, of 128, of more than 128, pairs in literals).
std::vector<uint8_t> RunnyBytes(size_t count, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes;
    while (bytes.size() < count) {
        size_t length = random() % 4 == 0 ? random() % 300 + 1 : random() % 4 + 1;
        uint8_t value = static_cast<uint8_t>(random() % 4 == 0 ? 0 : random());
        if (random() % 2) bytes.insert(bytes.end(), length, value);
        else
            for (size_t i = 0; i < length; ++i) bytes.push_back(static_cast<uint8_t>(random()));
    }
    bytes.resize(count);
    return bytes;
}

bool BitOf(const uint8_t* bytes, int64_t bit) { return bytes[bit / 8] & (0x80 >> (bit % 8)); }

}  // namespace

TEST(Helpers, BitsAndBytes) {
    EXPECT_EQ(IEBitMaskTop(0), -1);
    EXPECT_EQ(IEBitMaskTop(0x10), 4);
    EXPECT_EQ(IEBitMaskTop(0xF800), 16);
    EXPECT_EQ(IEBitMaskTop(0x8000), 15);
    EXPECT_EQ(IEBitMaskWidth(0xF800), 5);
    EXPECT_EQ(IEBitMaskWidth(0), 0);
    EXPECT_EQ(IEBitMaskWidth(0xFFFFFFFF), 32);
    EXPECT_EQ(IEBitMaskWidth(0x80000000), 1);
    uint8_t b = 0x01;
    IEReverseBitsByte(b);
    EXPECT_EQ(b, 0x80);
    uint32_t d = 0x00000001;
    IEReverseBitsDWord(d);
    EXPECT_EQ(d, 0x80000000u);
    d = 0x12345678;
    IEReverseBitsDWord(d);
    EXPECT_EQ(d, 0x1E6A2C48u);
    EXPECT_EQ(IESwapWordIf(0x1234, true), 0x3412);
    EXPECT_EQ(IESwapDWordIf(0x12345678, false), 0x12345678u);
    EXPECT_EQ(IESwapDWord(0x12345678), 0x78563412u);
}

TEST(Helpers, PowersAndNumbers) {
    EXPECT_EQ(IEIntPower(2, 10), 1024);
    EXPECT_EQ(IEIntPower(2, -2), 0.25);
    EXPECT_EQ(IEIntPower(5, 0), 1);
    EXPECT_EQ(IEPower(0, 3), 0);
    EXPECT_NEAR(static_cast<double>(IEPower(2, 0.5)), std::sqrt(2.0), 1e-15);
    EXPECT_EQ(IEFastPower(0, 0), 1);
    EXPECT_EQ(IEFastPower(0, 3), 0);
    EXPECT_EQ(IEFastPower(3, -2), 1.0L / 9);
    EXPECT_NEAR(static_cast<double>(IEFastPower(0.5, 2.4)), std::pow(0.5, 2.4), 1e-15);
    EXPECT_EQ(IEPow2Power(3, 2), 64);
    EXPECT_EQ(IEPow2Power(3, 0), 1);
    EXPECT_EQ(IECeil(1.2), 2);
    EXPECT_EQ(IECeil(-1.2), -1);
    EXPECT_EQ(IECeil(3.0), 3);
    EXPECT_EQ(IEClamp(5, 0, 3), 3);
    EXPECT_EQ(IEClampByte(-4), 0);
    EXPECT_EQ(IEMinReal(1.0, 1.0), 1.0);
    int32_t x1 = 5, y1 = 1, x2 = 2, y2 = 9;
    IEOrderCorners(x1, y1, x2, y2);
    EXPECT_EQ(std::vector<int32_t>({x1, y1, x2, y2}), std::vector<int32_t>({2, 1, 5, 9}));
    EXPECT_EQ(IEPadLeft("7", 3, '0'), "007");
    EXPECT_EQ(IEPadLeft("1234", 3, '0'), "1234");
    EXPECT_EQ(IEFloatToStrDot(1.5), "1.5");
    EXPECT_EQ(IEFloatToStrDot(0.1), "0.1");
    EXPECT_EQ(IEGetUrlScheme("HTTPS://x"), 2);
    EXPECT_EQ(IEGetUrlScheme("ftp://x"), 3);
    EXPECT_EQ(IEGetUrlScheme("file://x"), 0);
}

TEST(Helpers, ColourPrimitives) {
    EXPECT_EQ(IERGBToGray(IECreateRGB(255, 255, 255)), 255);
    EXPECT_EQ(IERGBToGray(IECreateRGB(255, 0, 0)), 53);
    EXPECT_EQ(IERGBToColor(IECreateRGB(1, 2, 3)), 0x030201);
    EXPECT_EQ(IEColorToRGB(0x030201), IECreateRGB(1, 2, 3));
    EXPECT_EQ(IEColorToARGB(clBtnFace, 255), 0xFF000000u | IERGBToDWord(IEColorToRGB(ColorToRGB(clBtnFace))));
    EXPECT_NE(IEColorToRGB(clBtnFace), IECreateRGB(0, 0, 15));  // system colour resolved first
    EXPECT_EQ(IEHSLToRGB(0, 1, 0.5), IECreateRGB(255, 0, 0));
    double h, s, l;
    IERGBToHSL(IECreateRGB(0, 0, 255), h, s, l);
    EXPECT_DOUBLE_EQ(h, 4.0 / 6);
    uint8_t lab[3];
    IERGB2CIELab(IECreateRGB(0, 0, 0), lab);
    EXPECT_EQ(std::vector<uint8_t>(lab, lab + 3), std::vector<uint8_t>({0, 0, 0}));
    IERGB2CIELab(IECreateRGB(255, 255, 255), lab);
    EXPECT_EQ(lab[1], 0);
    EXPECT_EQ(lab[2], 0);
    // Inverted CMYK of a colour and back.
    uint32_t cmyk = IERGBToCMYK(IERGBToDWord(IECreateRGB(200, 100, 50)));
    uint8_t bytes[4];
    std::memcpy(bytes, &cmyk, 4);
    EXPECT_EQ(bytes[3], 200);
    TRGB back = IECMYKToRGB(bytes);
    EXPECT_NEAR(back.r, 200, 1);
    EXPECT_NEAR(back.g, 100, 1);
    EXPECT_NEAR(back.b, 50, 1);
    uint8_t guidA[16] = {1}, guidB[16] = {1};
    EXPECT_TRUE(IECompareGUID(guidA, guidB));
    guidB[15] = 2;
    EXPECT_FALSE(IECompareGUID(guidA, guidB));
}

TEST(Helpers, FontStylesFromALogicalFont) {
    EXPECT_EQ(IEFontStylesFromLogFont(nullptr).Bits, 0);
    struct Case {
        int32_t weight;
        uint8_t italic, underline, strikeOut;
        uint8_t bits;
    } cases[] = {
        {400, 0, 0, 0, 0},
        {699, 1, 0, 0, 2},
        {700, 0, 1, 0, 1 | 4},
        {900, 1, 1, 1, 15},
        {0, 0, 0, 255, 8},
    };
    for (const Case& c : cases) {
        TLogFont font;
        font.lfWeight = c.weight;
        font.lfItalic = c.italic;
        font.lfUnderline = c.underline;
        font.lfStrikeOut = c.strikeOut;
        TFontStyles styles = IEFontStylesFromLogFont(&font);
        EXPECT_EQ(styles.Bits, c.bits) << c.weight;
        EXPECT_EQ(styles.Has(TFontStyle::Bold), c.weight >= 700);
    }
}

TEST(Helpers, EncodersWriteTheDocumentedBytes) {
    const uint8_t zeros[4] = {0, 0, 0, 0};
    char text[64];
    const uint8_t* source = zeros;
    char* out = text;
    int32_t total = 0;
    EXPECT_EQ(IEASCII85Encode(source, 4, out, total), 5);
    EXPECT_EQ(std::string(text, out), "z~>\r\n");
    EXPECT_EQ(total, 1);
    const uint8_t ff = 0xFF;
    source = &ff;
    out = text;
    EXPECT_EQ(IEASCII85Encode(source, 1, out, total), 6);
    EXPECT_EQ(std::string(text, out), "rr~>\r\n");

    const uint8_t run[4] = {0x41, 0x41, 0x41, 0x42};
    uint8_t coded[16];
    ASSERT_EQ(IERunLengthEncode(run, 4, coded), 5);
    EXPECT_EQ(std::vector<uint8_t>(coded, coded + 5), std::vector<uint8_t>({0xFE, 0x41, 0x00, 0x42, 0x80}));

    for (auto [input, expected] : {std::pair<std::string, std::string>{"abc", "YWJj\n"}, {"a", "YQ==\n"}, {"", ""}}) {
        TMemoryStream in(std::vector<uint8_t>(input.begin(), input.end()));
        TMemoryStream result;
        IEBase64EncodeStream(in, result, 76);
        EXPECT_EQ(std::string(result.Bytes().begin(), result.Bytes().end()), expected);
    }
}

TEST(Helpers, ToolsDecodeOurBase64Ascii85AndRunLength) {
    REQUIRE_TOOL("base64");
    REQUIRE_TOOL("python3");
    REQUIRE_TOOL("gs");
    auto folder = FixtureFolder("encoders");
    for (uint32_t seed : {1u, 2u, 3u}) {
        SCOPED_TRACE(seed);
        // Sizes that end on each group boundary of the encoders.
        std::vector<uint8_t> data = RandomBytes(5000 + seed, seed);
        std::vector<uint8_t> sparse = RandomBytes(3001 + seed, seed, 3);  // many zero groups for ASCII85 'z'
        std::vector<uint8_t> runny = RunnyBytes(20000 + seed, seed);

        TMemoryStream in(data), base64;
        IEBase64EncodeStream(in, base64, 76);
        WriteBytes(folder / "b64.txt", base64.Memory(), static_cast<size_t>(base64.GetSize()));
        RunCommand("base64 -d " + (folder / "b64.txt").string() + " > " + (folder / "b64.bin").string());
        EXPECT_EQ(ReadBytes(folder / "b64.bin"), data);

        for (const auto* bytes : {&data, &sparse}) {
            std::vector<char> a85(bytes->size() * 2 + 16);
            const uint8_t* source = bytes->data();
            char* out = a85.data();
            int32_t total = 0;
            int32_t written = IEASCII85Encode(source, static_cast<int32_t>(bytes->size()), out, total);
            ASSERT_EQ(written, out - a85.data());
            WriteBytes(folder / "a85.txt", a85.data(), static_cast<size_t>(written));
            RunCommand("python3 -c \"import base64,sys; d=open(sys.argv[1],'rb').read(); "
                       "open(sys.argv[2],'wb').write(base64.a85decode(b'<~'+d.rstrip(), adobe=True))\" " +
                       (folder / "a85.txt").string() + " " + (folder / "a85.bin").string());
            EXPECT_EQ(ReadBytes(folder / "a85.bin"), *bytes);
        }

        std::vector<uint8_t> rle(runny.size() + runny.size() / 128 + 2);
        int32_t length = IERunLengthEncode(runny.data(), static_cast<int32_t>(runny.size()), rle.data());
        WriteBytes(folder / "rle.bin", rle.data(), static_cast<size_t>(length));
        std::string script = "/in (" + (folder / "rle.bin").string() + ") (r) file /RunLengthDecode filter def " +
                             "/out (" + (folder / "rle.out").string() + ") (w) file def /buf 65536 string def " +
                             "{ in buf readstring exch out exch writestring not { exit } if } loop out closefile";
        RunCommand("gs -q -dNOSAFER -dBATCH -dNOPAUSE -dNODISPLAY -c '" + script + "' -c quit");
        EXPECT_EQ(ReadBytes(folder / "rle.out"), runny);
    }
}

TEST(Helpers, CopyBitsMatchesABitByBitCopyAndStaysInItsRange) {
    std::mt19937 random(7);
    for (int trial = 0; trial < 3000; ++trial) {
        std::vector<uint8_t> source = RandomBytes(24, random());
        std::vector<uint8_t> destination = RandomBytes(32, random());
        int32_t sourceBit = static_cast<int32_t>(random() % 40);
        int32_t destBit = static_cast<int32_t>(random() % 40);
        int32_t count = static_cast<int32_t>(random() % (24 * 8 - sourceBit)) + 1;
        if (destBit + count > 24 * 8) count = 24 * 8 - destBit;
        std::vector<uint8_t> expected = destination;
        for (int32_t i = 0; i < count; ++i) {
            int64_t bit = destBit + i;
            if (BitOf(source.data(), sourceBit + i)) expected[bit / 8] |= static_cast<uint8_t>(0x80 >> (bit % 8));
            else expected[bit / 8] &= static_cast<uint8_t>(~(0x80 >> (bit % 8)));
        }
        // The copy reads no further than sourceLength and writes nothing past
        // the run: the bytes after it, here 8 guard bytes, keep their values.
        IECopyBits(destination.data(), source.data(), destBit, 24, count, sourceBit);
        ASSERT_EQ(destination, expected) << "source bit " << sourceBit << " destination bit " << destBit << " count "
                                         << count;
    }
    // The documented case: 5 bits from source bit 3 into destination bit 6.
    uint8_t destination[2] = {0xFF, 0x00}, source[1] = {0b00010100};
    IECopyBits(destination, source, 6, 1, 5, 3);
    EXPECT_EQ(destination[0], 0xFC | 0b10);
    EXPECT_EQ(destination[1], 0b10000000);
    uint8_t untouched[2] = {1, 2};
    IECopyBits(untouched, source, -1, 1, 5, 0);
    IECopyBits(untouched, source, 0, 1, 0, 0);
    EXPECT_EQ(untouched[0], 1);
}

TEST(Helpers, ToolsColourFormulasAgreeWithPythonAndImageMagick) {
    REQUIRE_TOOL("python3");
    REQUIRE_TOOL("convert");
    const std::vector<TRGB> colours = {IECreateRGB(0, 0, 0),     IECreateRGB(255, 255, 255), IECreateRGB(255, 0, 0),
                                       IECreateRGB(0, 255, 0),   IECreateRGB(0, 0, 255),     IECreateRGB(10, 200, 30),
                                       IECreateRGB(128, 64, 32), IECreateRGB(17, 34, 51),    IECreateRGB(250, 240, 5),
                                       IECreateRGB(90, 90, 91),  IECreateRGB(1, 2, 255),     IECreateRGB(200, 150, 220)};
    auto folder = FixtureFolder("colours");

    // HSL both ways against colorsys (which orders it h, l, s).
    std::ostringstream list;
    list.precision(17);
    for (TRGB c : colours) list << c.r / 255.0 << ',' << c.g / 255.0 << ',' << c.b / 255.0 << ';';
    std::string hls = RunCommand(
        "python3 -c \"import colorsys,sys\nfor t in sys.argv[1].strip(';').split(';'):\n"
        " h,l,s=colorsys.rgb_to_hls(*map(float,t.split(',')))\n print(h,s,l)\" '" + list.str() + "'");
    std::istringstream hlsLines(hls);
    for (TRGB c : colours) {
        double h0, s0, l0, h, s, l;
        ASSERT_TRUE(hlsLines >> h0 >> s0 >> l0);
        IERGBToHSL(c, h, s, l);
        EXPECT_NEAR(h, h0, 1e-9);
        EXPECT_NEAR(s, s0, 1e-9);
        EXPECT_NEAR(l, l0, 1e-9);
        TRGB back = IEHSLToRGB(h, s, l);
        EXPECT_NEAR(back.r, c.r, 1);
        EXPECT_NEAR(back.g, c.g, 1);
        EXPECT_NEAR(back.b, c.b, 1);
    }

    // One row of the colours as a PPM for ImageMagick.
    auto ppm = [&](const std::string& name, auto channels) {
        std::string bytes = "P6\n" + std::to_string(colours.size()) + " 1\n255\n";
        for (TRGB c : colours) {
            auto [a, b, d] = channels(c);
            bytes += static_cast<char>(a);
            bytes += static_cast<char>(b);
            bytes += static_cast<char>(d);
        }
        WriteBytes(folder / name, bytes.data(), bytes.size());
        return (folder / name).string();
    };
    // Parses the numbers in "name(a,b,c)" of each line of ImageMagick's text form.
    auto parse = [](const std::string& text, const std::string& name) {
        std::vector<std::array<double, 3>> values;
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);) {
            size_t at = line.find(name + "(");
            if (at == std::string::npos) continue;
            std::array<double, 3> v{};
            std::sscanf(line.c_str() + at + name.size() + 1, "%lf,%lf,%lf", &v[0], &v[1], &v[2]);
            values.push_back(v);
        }
        return values;
    };

    // CIE L*a*b*: the bytes hold L* * 2.5 and a*, b* truncated.
    auto lab = parse(RunCommand("convert " + ppm("rgb.ppm", [](TRGB c) { return std::array<int, 3>{c.r, c.g, c.b}; }) +
                                " -colorspace Lab txt:-"),
                     "cielab");
    ASSERT_EQ(lab.size(), colours.size());
    for (size_t i = 0; i < colours.size(); ++i) {
        uint8_t bytes[3];
        IERGB2CIELab(colours[i], bytes);
        EXPECT_NEAR(bytes[0] / 2.5, lab[i][0], 0.6) << i;
        EXPECT_NEAR(static_cast<int8_t>(bytes[1]), std::clamp(lab[i][1], -128.0, 127.0), 1.6) << i;
        EXPECT_NEAR(static_cast<int8_t>(bytes[2]), std::clamp(lab[i][2], -128.0, 127.0), 1.6) << i;
    }

    // YCbCr to RGB: the same bytes taken as Y, Cb, Cr.
    auto rgb = parse(RunCommand("convert " +
                                ppm("ycc.ppm", [](TRGB c) { return std::array<int, 3>{c.r, c.g, c.b}; }) +
                                " -set colorspace YCbCr -colorspace sRGB -depth 8 txt:-"),
                     "srgb");
    ASSERT_EQ(rgb.size(), colours.size());
    for (size_t i = 0; i < colours.size(); ++i) {
        TRGB out;
        IEYCbCr2RGB(out, colours[i].r, colours[i].g, colours[i].b);
        EXPECT_NEAR(out.r, rgb[i][0], 2) << i;
        EXPECT_NEAR(out.g, rgb[i][1], 2) << i;
        EXPECT_NEAR(out.b, rgb[i][2], 2) << i;
    }
}

TEST(Helpers, ToolkitBitmapHelpers) {
    TBitmap mono;
    mono.SetPixelFormat(TPixelFormat::pf1bit);
    mono.SetSize(11, 2);
    mono.ScanLine(0)[0] = 0b10100000;
    mono.ScanLine(0)[1] = 0b11100000;
    TBitmap wide;
    TIEProgressRec progress;
    std::vector<int> reports;
    progress.OnProgress = [&](void*, int percent) { reports.push_back(percent); };
    IETBitmap1To24(mono, wide, progress);
    ASSERT_EQ(wide.PixelFormat(), TPixelFormat::pf24bit);
    ASSERT_EQ(wide.Width(), 11);
    const uint8_t* row = wide.ScanLine(0);
    EXPECT_EQ(row[0], 255);
    EXPECT_EQ(row[3], 0);
    EXPECT_EQ(row[6], 255);
    EXPECT_EQ(row[8 * 3], 255);
    EXPECT_EQ(row[10 * 3], 255);
    EXPECT_EQ(reports, std::vector<int>({40, 80}));  // rows / (2 + 0.5)

    auto clone = IECloneTBitmap(wide);
    EXPECT_EQ(clone->Width(), 11);
    EXPECT_EQ(std::memcmp(clone->ScanLine(1), wide.ScanLine(1), 33), 0);

    TBitmap gray;
    gray.SetPixelFormat(TPixelFormat::pf8bit);
    EXPECT_FALSE(IEIsGrayPalette(gray));
    IESetGrayPalette(gray);
    EXPECT_TRUE(IEIsGrayPalette(gray));

    uint8_t pixels[6] = {1, 2, 3, 4, 5, 6};
    IESwapRB(pixels, 2);
    EXPECT_EQ(std::vector<uint8_t>(pixels, pixels + 6), std::vector<uint8_t>({3, 2, 1, 6, 5, 4}));
    IEInvertBuffer(pixels, 1);
    EXPECT_EQ(pixels[0], 252);
}

TEST(Helpers, HashSetAndSort) {
    THash1 hash(1);
    EXPECT_TRUE(hash.Add(2));
    EXPECT_FALSE(hash.Add(2));
    EXPECT_TRUE(hash.Add(4));  // same bucket as 2
    EXPECT_TRUE(hash.Add(6));
    EXPECT_TRUE(hash.Add(3));
    EXPECT_FALSE(hash.Add(4));
    EXPECT_EQ(hash.Count(), 4);

    std::vector<int> items = {5, 3, 9, 1, 1, 7, 0, 8, 2, 6, 4};
    IEQuickSort(
        static_cast<int32_t>(items.size()), [&](int32_t i, int32_t j) { std::swap(items[i], items[j]); },
        [&](int32_t i, int32_t j) { return items[i] - items[j]; });
    EXPECT_TRUE(std::is_sorted(items.begin(), items.end()));
}

TEST(Helpers, FilesAndFolders) {
    auto folder = FixtureFolder("files");
    std::string deep = (folder / "a" / "b" / "c").string();
    IEForceDirectories(deep + "/");
    EXPECT_TRUE(IEDirectoryExists(deep));
    EXPECT_THROW(IEForceDirectories(""), Exception);
    std::string name = (folder / "five.bin").string();
    WriteBytes(name, "12345", 5);
    EXPECT_EQ(IEGetFileSizeByName(name), 5);
    EXPECT_EQ(IEGetFileSizeByName(name + ".missing"), -1);
    // Sizes past 4 GB are whole (a sparse file takes no blocks).
    std::string large = (folder / "large.bin").string();
    WriteBytes(large, "", 0);
    std::filesystem::resize_file(large, (int64_t{5} << 30) + 7);
    EXPECT_EQ(IEGetFileSizeByName(large), (int64_t{5} << 30) + 7);
    std::filesystem::remove(large);
    EXPECT_EQ(IEFileOpenW(u"/nonexistent-mode-check", 0x50), -1);
    int handle = IEFileOpenW(std::u16string(name.begin(), name.end()), 0x40);
    ASSERT_GE(handle, 0);
    close(handle);
}
