// The PNG picture classes: files of every colour type and depth made by
// ImageMagick, pngquant, optipng and pngcrush read with ImageMagick's pixels
// and their chunks kept; our files pass pngcheck and decode alike in
// ImageMagick; damaged files raise their own errors.
#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "pictures/png_object.h"
#include "pictures/tests/gif_test_support.h"

namespace {

std::string PngDir() {
    const std::filesystem::path dir = std::filesystem::path(FixtureDir()) / "png";
    std::filesystem::create_directories(dir);
    return dir.string();
}

void LoadPng(TPNGObject& png, const std::vector<uint8_t>& bytes) {
    TMemoryStream stream(bytes);
    png.LoadFromStream(stream);
}

std::vector<uint8_t> SavePng(const TPNGObject& png) {
    TMemoryStream stream;
    png.SaveToStream(stream);
    return stream.Bytes();
}

// R, G, B, A of every pixel, top row first.
std::vector<uint8_t> OurRGBA(const TPNGObject& png) {
    std::vector<uint8_t> out;
    for (int32_t y = 0; y < png.Height(); ++y)
        for (int32_t x = 0; x < png.Width(); ++x) {
            const TPNGColor c = png.GetPixelColor(x, y);
            out.insert(out.end(), {static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c >> 16),
                                   png.GetPixelAlpha(x, y)});
        }
    return out;
}

// ImageMagick's decode; 16-bit files give their high bytes, as the store keeps.
std::vector<uint8_t> MagickRGBA(const std::string& file, bool sixteen) {
    std::string out = RunCommand("convert '" + file + "' -endian MSB -depth " + (sixteen ? "16" : "8") + " rgba:- 2>/dev/null");
    std::vector<uint8_t> bytes;
    const size_t step = sixteen ? 2 : 1;
    for (size_t i = 0; i < out.size(); i += step) bytes.push_back(static_cast<uint8_t>(out[i]));
    return bytes;
}

// Colours equal where ImageMagick shows the pixel, alpha equal everywhere.
size_t Differences(const std::vector<uint8_t>& ours, const std::vector<uint8_t>& magick) {
    if (ours.size() != magick.size()) return ours.size() + magick.size() + 1;
    size_t count = 0;
    for (size_t i = 0; i < ours.size(); i += 4) {
        if (ours[i + 3] != magick[i + 3]) ++count;
        else if (magick[i + 3] != 0 &&
                 (ours[i] != magick[i] || ours[i + 1] != magick[i + 1] || ours[i + 2] != magick[i + 2]))
            ++count;
    }
    return count;
}

std::vector<std::string> ChunkNames(const TPNGObject& png) {
    std::vector<std::string> names;
    for (int i = 0; i < png.ChunkCount(); ++i) names.push_back(png.Chunk(i)->Name());
    return names;
}

bool Has(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

// A chunk of a name and data with its length and CRC.
std::vector<uint8_t> MakeChunk(const std::string& name, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> out = {static_cast<uint8_t>(data.size() >> 24), static_cast<uint8_t>(data.size() >> 16),
                                static_cast<uint8_t>(data.size() >> 8), static_cast<uint8_t>(data.size())};
    out.insert(out.end(), name.begin(), name.end());
    out.insert(out.end(), data.begin(), data.end());
    uint32_t crc = PngUpdateCrc(0, reinterpret_cast<const uint8_t*>(name.data()), 4);
    crc = PngUpdateCrc(crc, data.data(), data.size());
    out.insert(out.end(), {static_cast<uint8_t>(crc >> 24), static_cast<uint8_t>(crc >> 16), static_cast<uint8_t>(crc >> 8),
                           static_cast<uint8_t>(crc)});
    return out;
}

const std::vector<uint8_t> kSignature = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

std::vector<uint8_t> Header(uint32_t width, uint32_t height, uint8_t depth, uint8_t type) {
    return MakeChunk("IHDR", {static_cast<uint8_t>(width >> 24), static_cast<uint8_t>(width >> 16),
                              static_cast<uint8_t>(width >> 8), static_cast<uint8_t>(width), static_cast<uint8_t>(height >> 24),
                              static_cast<uint8_t>(height >> 16), static_cast<uint8_t>(height >> 8),
                              static_cast<uint8_t>(height), depth, type, 0, 0, 0});
}

template <class... Parts>
std::vector<uint8_t> Glue(const Parts&... parts) {
    std::vector<uint8_t> out = kSignature;
    (out.insert(out.end(), parts.begin(), parts.end()), ...);
    return out;
}

}  // namespace

TEST(PngTools, ReadsEveryColourTypeAndDepthAsImageMagickDoes) {
    REQUIRE_TOOL("convert");
    REQUIRE_TOOL("pngquant");
    REQUIRE_TOOL("optipng");
    REQUIRE_TOOL("pngcrush");
    const std::string dir = PngDir();
    auto at = [&](const std::string& name) { return dir + "/" + name; };
    const std::string size = "-size 33x17 ";
    const std::string corners = "xc: -sparse-color bilinear '0,0 red 32,0 green 0,16 blue 32,16 white' ";
    struct Case {
        std::string file, command;
        int depth, type;
        bool interlaced;
    } cases[] = {
        {"g1.png", size + "pattern:checkerboard -colorspace gray -define png:color-type=0 -define png:bit-depth=1", 1, 0, false},
        {"g2.png", size + "gradient:black-white -colorspace gray -depth 2 -define png:color-type=0 -define png:bit-depth=2", 2, 0, false},
        {"g4i.png", size + "gradient:black-white -colorspace gray -depth 4 -define png:color-type=0 -define png:bit-depth=4 -interlace PNG", 4, 0, true},
        {"g8t.png", size + "gradient:black-white -colorspace gray -depth 8 -transparent black -define png:color-type=0", 8, 0, false},
        {"g16.png", size + "gradient:black-white -colorspace gray -depth 16 -define png:color-type=0", 16, 0, false},
        {"p2.png", size + "gradient:red-blue -colors 4 -define png:color-type=3 -define png:bit-depth=2", 2, 3, false},
        {"p8i.png", size + "gradient:red-blue -colors 200 -define png:color-type=3 -define png:bit-depth=8 -interlace PNG", 8, 3, true},
        {"rgb8t.png", size + corners + "-define png:color-type=2 -depth 8 -transparent white", 8, 2, false},
        {"rgb16.png", size + corners + "-define png:color-type=2 -depth 16", 16, 2, false},
        {"ga8.png", size + "gradient:white-none -colorspace gray -define png:color-type=4 -depth 8", 8, 4, false},
        {"ga16i.png", size + "gradient:white-none -colorspace gray -depth 16 -define png:bit-depth=16 -define png:color-type=4 -interlace PNG", 16, 4, true},
        {"rgba8i.png", size + "gradient:red-none -define png:color-type=6 -depth 8 -interlace PNG", 8, 6, true},
        {"rgba16.png", size + "gradient:red-none -depth 16 -define png:bit-depth=16 -define png:color-type=6", 16, 6, false},
    };
    for (const Case& c : cases) RunCommand("convert " + c.command + " '" + at(c.file) + "'");
    RunCommand("convert -size 33x17 pattern:checkerboard -fill red -opaque black '" + at("check.png") + "'");
    // Debian's tools: palettes with alpha per entry and with one bit, a
    // lossless rewrite, text chunks added.
    RunCommand("pngquant 16 --force --output '" + at("quant4.png") + "' '" + at("rgba8i.png") + "'");
    RunCommand("pngquant 2 --force --output '" + at("quant1.png") + "' '" + at("check.png") + "'");
    RunCommand("optipng -quiet -o2 -out '" + at("opti.png") + "' '" + at("rgb16.png") + "'");
    RunCommand("pngcrush -q -text b Title Hello -ztxt b Comment 'a longer text' '" + at("g16.png") + "' '" +
               at("crush.png") + "' 2>/dev/null");

    std::vector<Case> all(std::begin(cases), std::end(cases));
    all.push_back({"quant4.png", "", 4, 3, false});
    all.push_back({"quant1.png", "", 1, 3, false});
    all.push_back({"opti.png", "", 0, -1, false});
    all.push_back({"crush.png", "", 16, 0, false});
    for (const Case& c : all) {
        SCOPED_TRACE(c.file);
        TPNGObject png;
        ASSERT_NO_THROW(LoadPng(png, ReadBytes(at(c.file))));
        TChunkIHDR& header = png.HeaderChunk();
        if (c.type >= 0) {
            EXPECT_EQ(header.BitDepth, c.depth);
            EXPECT_EQ(header.ColorType, c.type);
        }
        EXPECT_EQ(png.InterlaceKind, c.interlaced ? 1 : 0);
        EXPECT_EQ(Differences(OurRGBA(png), MagickRGBA(at(c.file), header.BitDepth == 16)), 0u);
    }

    // Chunks kept as read: gamma, time and text of ImageMagick's files, the
    // palette transparency of pngquant's, both texts of pngcrush's.
    TPNGObject crushed;
    LoadPng(crushed, ReadBytes(at("crush.png")));
    const auto names = ChunkNames(crushed);
    for (const char* name : {"IHDR", "gAMA", "tIME", "tEXt", "zTXt", "IDAT", "IEND"}) EXPECT_TRUE(Has(names, name)) << name;
    EXPECT_FALSE(Has(names, "cHRM"));
    ASSERT_TRUE(crushed.FindChunk<TChunkgAMA>());
    EXPECT_EQ(crushed.FindChunk<TChunkgAMA>()->Gamma, 45455u);
    EXPECT_GT(crushed.FindChunk<TChunktIME>()->Year, 2000);
    const TChunkzTXt* compressed = crushed.FindChunk<TChunkzTXt>();
    ASSERT_TRUE(compressed);
    EXPECT_EQ(compressed->Keyword, "Comment");
    EXPECT_EQ(compressed->Text, "a longer text");
    TPNGObject quant;
    LoadPng(quant, ReadBytes(at("quant4.png")));
    EXPECT_EQ(quant.TransparencyKind(), 2);
    TPNGObject keyed;
    LoadPng(keyed, ReadBytes(at("rgb8t.png")));
    EXPECT_EQ(keyed.TransparencyKind(), 1);
    EXPECT_EQ(keyed.KeyColor(), 0xFFFFFFu);
}

TEST(PngTools, WrittenFilesPassPngcheckAndDecodeAlikeInImageMagick) {
    REQUIRE_TOOL("convert");
    REQUIRE_TOOL("pngcheck");
    const std::string dir = PngDir();
    auto at = [&](const std::string& name) { return dir + "/" + name; };
    struct Case {
        std::string name, command;
    } sources[] = {
        {"w_g2", "-size 29x13 gradient:black-white -colorspace gray -depth 2 -define png:color-type=0 -define png:bit-depth=2"},
        {"w_g16", "-size 29x13 gradient:black-white -colorspace gray -depth 16 -define png:color-type=0"},
        {"w_p4", "-size 29x13 gradient:red-blue -colors 16 -define png:color-type=3 -define png:bit-depth=4"},
        {"w_rgb8", "-size 29x13 plasma:fractal -seed 7 -define png:color-type=2 -depth 8"},
        {"w_ga8", "-size 29x13 gradient:white-none -colorspace gray -define png:color-type=4 -depth 8"},
        {"w_rgba16", "-size 29x13 gradient:red-none -depth 16 -define png:bit-depth=16 -define png:color-type=6"},
    };
    for (const Case& c : sources) {
        const std::string source = at(c.name + ".png");
        RunCommand("convert -seed 7 " + c.command + " '" + source + "'");
        TPNGObject png;
        LoadPng(png, ReadBytes(source));
        const bool sixteen = png.HeaderChunk().BitDepth == 16;
        // Every filter choice and both layouts.
        for (int variant = 0; variant < 3; ++variant) {
            SCOPED_TRACE(c.name + " variant " + std::to_string(variant));
            png.InterlaceKind = variant == 2 ? 1 : 0;
            png.FilterSet = variant == 0 ? pfSub : pfNone | pfSub | pfUp | pfAverage | pfPaeth;
            const std::string written = at(c.name + "_ours" + std::to_string(variant) + ".png");
            const std::vector<uint8_t> bytes = SavePng(png);
            FILE* file = std::fopen(written.c_str(), "wb");
            std::fwrite(bytes.data(), 1, bytes.size(), file);
            std::fclose(file);
            int status = 0;
            const std::string report = RunCommand("pngcheck -q '" + written + "' 2>&1", &status);
            EXPECT_EQ(status, 0) << report;
            // The low bytes of 16-bit samples are not written, so compare the
            // high bytes; ImageMagick's decode of the source is the reference.
            EXPECT_EQ(Differences(MagickRGBA(written, sixteen), MagickRGBA(source, sixteen)), 0u);
            TPNGObject back;
            LoadPng(back, bytes);
            EXPECT_EQ(Differences(OurRGBA(back), OurRGBA(png)), 0u);
        }
    }
}

TEST(Png, ChunksKeptAndWrittenAsTheirRules) {
    // A 2 x 2 palette picture with an unknown ancillary chunk, text and time.
    std::vector<uint8_t> rows = {0, 0x10, 1, 0x21};  // filter 0, 4-bit indices
    uLongf size = compressBound(static_cast<uLong>(rows.size()));
    std::vector<uint8_t> packed(size);
    compress2(packed.data(), &size, rows.data(), static_cast<uLong>(rows.size()), 9);
    packed.resize(size);
    const std::vector<uint8_t> file =
        Glue(Header(2, 2, 4, 3), MakeChunk("PLTE", {255, 0, 0, 0, 255, 0, 0, 0, 255}), MakeChunk("tRNS", {255, 255, 0}),
             MakeChunk("abCD", {1, 2, 3}), MakeChunk("tEXt", {'K', 0, 'v', 'a', 'l'}),
             MakeChunk("tIME", {0x07, 0xEA, 12, 11, 15, 30, 0}), MakeChunk("IDAT", packed), MakeChunk("IEND", {}));
    TPNGObject png;
    LoadPng(png, file);
    EXPECT_EQ(png.TransparencyKind(), 1) << "one entry of (255, 255, 0) is transparent";
    EXPECT_EQ(png.KeyColor(), 0xFF0000u) << "blue, red in the low byte";
    EXPECT_EQ(png.GetPixelColor(0, 0), 0x00FF00u);
    EXPECT_EQ(png.GetPixelAlpha(1, 1), 255);
    EXPECT_EQ(png.GetPixelAlpha(0, 1), 0);
    EXPECT_EQ(png.FindChunk<TChunktEXt>()->Text, "val");
    EXPECT_EQ(png.FindChunk<TChunktIME>()->Year, 2026);
    const std::vector<uint8_t> saved = SavePng(png);
    TPNGObject back;
    LoadPng(back, saved);
    EXPECT_EQ(ChunkNames(back), (std::vector<std::string>{"IHDR", "PLTE", "tRNS", "abCD", "tEXt", "tIME", "IDAT", "IEND"}));
    EXPECT_EQ(back.Chunk(3)->Data(), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(OurRGBA(back), OurRGBA(png));

    // Alpha per entry makes the kind 2.
    const std::vector<uint8_t> two = Glue(Header(2, 2, 4, 3), MakeChunk("PLTE", {255, 0, 0, 0, 255, 0, 0, 0, 255}),
                                          MakeChunk("tRNS", {0, 128}), MakeChunk("IDAT", packed), MakeChunk("IEND", {}));
    TPNGObject alpha;
    LoadPng(alpha, two);
    EXPECT_EQ(alpha.TransparencyKind(), 2);

    // The default filter set writes Sub on every row; a 2-bit grey picture
    // is written at depth 4, its sample 3 as 15 (white).
    std::vector<uint8_t> greyRows = {0, 0xC0};
    size = compressBound(2);
    std::vector<uint8_t> greyPacked(size);
    compress2(greyPacked.data(), &size, greyRows.data(), 2, 9);
    greyPacked.resize(size);
    TPNGObject grey;
    LoadPng(grey, Glue(Header(1, 1, 2, 0), MakeChunk("IDAT", greyPacked), MakeChunk("IEND", {})));
    EXPECT_EQ(grey.GetPixelColor(0, 0), 0xFFFFFFu);
    const std::vector<uint8_t> greySaved = SavePng(grey);
    EXPECT_EQ(greySaved[8 + 8 + 8], 4) << "bit depth in the header";
    TPNGObject greyBack;
    LoadPng(greyBack, greySaved);
    EXPECT_EQ(greyBack.GetPixelColor(0, 0), 0xFFFFFFu);

    // gAMA 45455 leaves the tables the identity; sizes below 1 are refused.
    TPNGObject gamma;
    LoadPng(gamma, Glue(Header(1, 1, 2, 0), MakeChunk("gAMA", {0, 0, 0xB1, 0x8F}), MakeChunk("IDAT", greyPacked),
                        MakeChunk("IEND", {})));
    for (int i = 0; i < 256; ++i) EXPECT_EQ(gamma.DecodeGamma[static_cast<size_t>(i)], i);
    EXPECT_THROW(gamma.SetWidth(0), EPNGInvalidNewSize);
    gamma.SetWidth(3);
    EXPECT_EQ(gamma.Width(), 3);
}

TEST(Png, LargeDataIsCutIntoChunksOfTheSetSize) {
    TPNGObject png;
    // Noise does not compress: well over 200,000 bytes of image data.
    TBitmap bitmap = MakeBitmap(300, 300, TPixelFormat::pf24bit);
    uint32_t seed = 1;
    for (int y = 0; y < 300; ++y) {
        uint8_t* row = bitmap.ScanLine(y);
        for (int x = 0; x < 900; ++x) {
            seed = seed * 1103515245u + 12345u;
            row[x] = static_cast<uint8_t>(seed >> 16);
        }
    }
    png.LoadFromBitmap(bitmap);
    png.FilterSet = pfNone;
    const std::vector<uint8_t> bytes = SavePng(png);
    std::vector<uint32_t> idat;
    for (size_t at = 8; at + 8 <= bytes.size();) {
        const uint32_t length = uint32_t{bytes[at]} << 24 | uint32_t{bytes[at + 1]} << 16 | uint32_t{bytes[at + 2]} << 8 | bytes[at + 3];
        if (std::string(bytes.begin() + static_cast<std::ptrdiff_t>(at) + 4, bytes.begin() + static_cast<std::ptrdiff_t>(at) + 8) == "IDAT")
            idat.push_back(length);
        at += 12 + length;
    }
    ASSERT_GE(idat.size(), 4u);
    for (size_t i = 0; i + 1 < idat.size(); ++i) EXPECT_EQ(idat[i], 65535u);
    EXPECT_LT(idat.back(), 65535u);
    TPNGObject back;
    LoadPng(back, bytes);
    EXPECT_EQ(OurRGBA(back), OurRGBA(png));
}

TEST(Png, DamagedFilesRaiseTheirOwnErrors) {
    std::vector<uint8_t> rows = {0, 0x10, 0x01, 0, 0x21, 0x21};
    uLongf size = compressBound(6);
    std::vector<uint8_t> packed(size);
    compress2(packed.data(), &size, rows.data(), 6, 9);
    packed.resize(size);
    const auto header = Header(2, 2, 8, 0);
    const auto idat = MakeChunk("IDAT", packed);
    const auto end = MakeChunk("IEND", {});
    std::vector<uint8_t> badCrc = Glue(header, idat, end);
    badCrc[8 + 25 + 8 + packed.size()] ^= 0xFF;
    std::vector<uint8_t> badZlib = Glue(header, MakeChunk("IDAT", {0x78, 0x9C, 0xFF, 0xFF, 0xFF}), end);
    const std::vector<uint8_t> good = Glue(header, idat, end);
    auto expectThrow = [](const std::vector<uint8_t>& bytes, auto exception, const char* what) {
        TPNGObject png;
        try {
            LoadPng(png, bytes);
            ADD_FAILURE() << what << ": no error";
        } catch (const decltype(exception)&) {
        } catch (const std::exception& error) {
            ADD_FAILURE() << what << ": " << error.what();
        }
    };
    expectThrow({1, 2, 3}, EPNGInvalidFileHeader(), "signature");
    expectThrow(Glue(MakeChunk("PLTE", {0, 0, 0}), header, idat, end), EPNGIHDRNotFirst(), "PLTE first");
    expectThrow(Glue(header, MakeChunk("ABcd", {}), idat, end), EPNGUnknownCriticalChunk(), "critical chunk");
    expectThrow(Glue(Header(70000, 1, 8, 0), idat, end), EPNGSizeExceeds(), "size");
    expectThrow(Glue(MakeChunk("IHDR", {0, 0, 0, 1}), idat, end), EPngInvalidIHDR(), "short header");
    expectThrow(Glue(Header(2, 2, 8, 0), MakeChunk("PLTE", {1, 2}), idat, end), EPNGInvalidPalette(), "palette");
    expectThrow(Glue(header, end), EPNGNoImageData(), "no data");
    expectThrow(Glue(Header(2, 2, 3, 2), idat, end), EPngInvalidIHDR(), "a depth the colour type lacks");
    expectThrow(Glue(Header(0, 2, 8, 0), idat, end), EPngInvalidIHDR(), "no width");
    expectThrow(badCrc, EPngInvalidCRC(), "crc");
    expectThrow(badZlib, EPNGZLIBError(""), "zlib");
    expectThrow(std::vector<uint8_t>(good.begin(), good.end() - 14), EPngUnexpectedEnd(), "cut");
    // Image data split by another chunk: the later run is skipped.
    const auto half1 = MakeChunk("IDAT", std::vector<uint8_t>(packed.begin(), packed.begin() + 3));
    const auto half2 = MakeChunk("IDAT", std::vector<uint8_t>(packed.begin() + 3, packed.end()));
    expectThrow(Glue(header, half1, MakeChunk("tEXt", {'a', 0, 'b'}), half2, end), EPNGMissingMultipleIDAT(), "split");
    TPNGObject joined;
    LoadPng(joined, Glue(header, half1, half2, end));
    EXPECT_EQ(joined.GetPixelColor(1, 1), 0x212121u);
}
