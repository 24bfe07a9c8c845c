#include "movie/dib_reader.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "media_fixtures.h"
#include "movie/images.h"
#include "platform/errors.h"
#include "platform/stream.h"
#include "platform/zstream.h"

namespace {

// Our pixels as ImageMagick prints them: RGBA, rows top first. Alpha comes
// from the fourth byte of 32-bit pixels where any is set (as a movie's image
// takes it) and is opaque otherwise.
MediaBytes ReaderRGBA(const TBMPReader& bmp) {
    MediaBytes out;
    int32_t width = bmp.GetWidth(), rows = bmp.RowCount;
    bool alpha32 = bmp.GetBitCount() == 32 && bmp.HasAlpha();
    for (int32_t top = 0; top < rows; ++top) {
        int32_t row = bmp.GetHeight() > 0 ? rows - 1 - top : top;
        for (int32_t col = 0; col < width; ++col) {
            TRGBTriple c;
            bmp.GetPixelColor(row, col, c);
            uint8_t alpha = alpha32 ? bmp.Rows[static_cast<size_t>(row)][col * 4 + 3] : 255;
            out.insert(out.end(), {c.rgbtRed, c.rgbtGreen, c.rgbtBlue, alpha});
        }
    }
    return out;
}

// Index of the first differing byte, or -1.
long FirstDifference(const MediaBytes& a, const MediaBytes& b) {
    if (a.size() != b.size()) return 0;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i]) return static_cast<long>(i);
    return -1;
}

void PutLE(MediaBytes& out, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// The first 40 bytes of an info header of headerSize bytes.
MediaBytes InfoHeader(uint32_t headerSize, int32_t width, int32_t height, uint16_t bits, uint32_t compression,
                      size_t pixelBytes, size_t paletteEntries) {
    MediaBytes out;
    PutLE(out, headerSize, 4);
    PutLE(out, static_cast<uint32_t>(width), 4);
    PutLE(out, static_cast<uint32_t>(height), 4);
    PutLE(out, 1, 2);
    PutLE(out, bits, 2);
    PutLE(out, compression, 4);
    PutLE(out, static_cast<uint32_t>(pixelBytes), 4);
    PutLE(out, 2835, 4);
    PutLE(out, 2835, 4);
    PutLE(out, static_cast<uint32_t>(paletteEntries), 4);
    PutLE(out, 0, 4);
    return out;
}

// The file: its 14-byte header, then the info header with what follows it
// up to the pixels, then the pixels.
MediaBytes BmpFile(const MediaBytes& headers, const MediaBytes& pixels) {
    MediaBytes out = {'B', 'M'};
    uint32_t offBits = 14 + static_cast<uint32_t>(headers.size());
    PutLE(out, offBits + static_cast<uint32_t>(pixels.size()), 4);
    PutLE(out, 0, 4);
    PutLE(out, offBits, 4);
    out.insert(out.end(), headers.begin(), headers.end());
    out.insert(out.end(), pixels.begin(), pixels.end());
    return out;
}

// A BMP file with a 40-byte header, the given palette and pixel data.
MediaBytes MakeBmp(int32_t width, int32_t height, uint16_t bits, uint32_t compression,
                   const std::vector<uint32_t>& palette, const MediaBytes& pixels) {
    MediaBytes headers = InfoHeader(40, width, height, bits, compression, pixels.size(), palette.size());
    for (uint32_t c : palette) PutLE(headers, c, 4);
    return BmpFile(headers, pixels);
}

void LoadBytes(TBMPReader& bmp, const MediaBytes& file) {
    TMemoryStream in(file);
    bmp.LoadFromStream(in);
}

std::string WriteTemp(const std::string& name, const MediaBytes& bytes) {
    std::string path = UniqueTemporary(FixtureDir() + "/" + name);
    WriteFileBytes(path, bytes.data(), bytes.size());
    return path;
}

const std::vector<uint32_t> kSixteenColours = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0x00FFFF,
                                               0xFF00FF, 0x808080, 0x800000, 0x008000, 0x000080, 0x808000,
                                               0x008080, 0x800080, 0xC0C0C0, 0xFFFFFF};

TEST(DIBReader, ImageMagickBmpsLoadPixelEqual) {
    if (!HaveImageMagick()) TW_SKIP_OR_FAIL() << "ImageMagick's convert is not installed";
    for (const PictureFixture& layout : BmpLayouts()) {
        SCOPED_TRACE(layout.name);
        std::string file = BmpFixture(layout);
        ASSERT_FALSE(file.empty()) << "convert could not write " << layout.name;
        TBMPReader bmp;
        bmp.LoadFromFile(file);
        MediaBytes expected = ImageMagickRGBA(file);
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(FirstDifference(ReaderRGBA(bmp), expected), -1);
        EXPECT_TRUE(bmp.Warnings.empty()) << bmp.Warnings[0];
    }
}

// ImageMagick writes no top-down files: turn its 24-bit one upside down in
// memory, negate the height, and let ImageMagick judge the result.
TEST(DIBReader, TopDownRowsLoadPixelEqual) {
    if (!HaveImageMagick()) TW_SKIP_OR_FAIL() << "ImageMagick's convert is not installed";
    std::string file = BmpFixture(BmpLayouts()[10]);
    ASSERT_FALSE(file.empty());
    MediaBytes bytes = ReadFileBytes(file);
    int32_t width, height;
    uint32_t offBits;
    std::memcpy(&offBits, &bytes[10], 4);
    std::memcpy(&width, &bytes[18], 4);
    std::memcpy(&height, &bytes[22], 4);
    size_t stride = (static_cast<size_t>(width) * 24 + 31) / 32 * 4;
    MediaBytes flipped(bytes.begin(), bytes.begin() + offBits);
    for (int32_t r = height - 1; r >= 0; --r) {
        auto row = bytes.begin() + offBits + static_cast<std::ptrdiff_t>(stride * static_cast<size_t>(r));
        flipped.insert(flipped.end(), row, row + static_cast<std::ptrdiff_t>(stride));
    }
    int32_t negative = -height;
    std::memcpy(&flipped[22], &negative, 4);
    std::string path = WriteTemp("topdown.bmp", flipped);

    TBMPReader bmp;
    bmp.LoadFromFile(path);
    EXPECT_EQ(bmp.GetHeight(), -height);
    EXPECT_EQ(FirstDifference(ReaderRGBA(bmp), ImageMagickRGBA(path)), -1);
    // Row 0 is the top row of a top-down picture.
    TRGBTriple top, topOfFile;
    bmp.GetPixelColor(0, 0, top);
    TBMPReader bottomUp;
    bottomUp.LoadFromFile(file);
    bottomUp.GetPixelColor(bottomUp.RowCount - 1, 0, topOfFile);
    EXPECT_EQ(top, topOfFile);
    std::filesystem::remove(path);
}

// Run-length data with deltas, odd absolute runs and an early end of
// bitmap, for both depths; ImageMagick decodes the same files. (It wants
// bytes after the end-of-bitmap escape, which both readers ignore.)
TEST(DIBReader, RunLengthEscapesMatchImageMagick) {
    if (!HaveImageMagick()) TW_SKIP_OR_FAIL() << "ImageMagick's convert is not installed";
    struct {
        const char* name;
        uint16_t bits;
        uint32_t compression;
        MediaBytes data;
    } cases[] = {
        {"rle4", 4, 2,
         {3, 0x12,                    // 1 2 1
          0, 5, 0x34, 0x56, 0x70, 0,  // absolute 3 4 5 6 7 from an odd column
          0, 0,                       // end of line
          0, 2, 2, 1,                 // delta: two right, one up
          4, 0xAB,                    // A B A B
          0, 0,                       //
          2, 0xCD, 0, 3, 0xEF, 0x10, 0, 0,  // C D, absolute E F 1
          0, 1, 0, 0}},               // end of bitmap: the last row stays 0
        {"rle8", 8, 1,
         {2, 5, 0, 3, 7, 8, 9, 0, 0, 0,  // 5 5, absolute 7 8 9 (padded)
          0, 2, 1, 1,                    // delta
          3, 11, 0, 0,
          1, 12, 0, 1, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint32_t> palette(c.bits == 4 ? 16 : 16);
        for (size_t i = 0; i < palette.size(); ++i) palette[i] = kSixteenColours[i];
        MediaBytes file = MakeBmp(9, 5, c.bits, c.compression, palette, c.data);
        std::string path = WriteTemp(std::string(c.name) + ".bmp", file);
        TBMPReader bmp;
        LoadBytes(bmp, file);
        MediaBytes expected = ImageMagickRGBA(path);
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(FirstDifference(ReaderRGBA(bmp), expected), -1);
        std::filesystem::remove(path);
    }
}

// What ImageMagick does not judge: runs and deltas that leave the picture
// are clipped, data that ends early is an error.
TEST(DIBReader, RunLengthBoundsAreKept) {
    std::vector<uint32_t> palette(kSixteenColours.begin(), kSixteenColours.end());
    // An encoded run of 200 on a 4-pixel row fills that row only.
    // Each clipping is reported as a warning; the picture still loads.
    TBMPReader bmp;
    LoadBytes(bmp, MakeBmp(4, 2, 8, 1, palette, {200, 3, 0, 0, 2, 1, 0, 1}));
    EXPECT_EQ(bmp.GetPixelIndex(0, 3), 3);
    EXPECT_EQ(bmp.GetPixelIndex(1, 0), 1);
    EXPECT_EQ(bmp.GetPixelIndex(1, 2), 0);
    ASSERT_EQ(bmp.Warnings.size(), 1u);
    EXPECT_NE(bmp.Warnings[0].find("past the end of a row"), std::string::npos);
    // An absolute run past the row end drops the pixels beyond it.
    LoadBytes(bmp, MakeBmp(4, 1, 8, 1, palette, {0, 6, 1, 2, 3, 4, 5, 6, 0, 1}));
    EXPECT_EQ(bmp.GetPixelIndex(0, 3), 4);
    EXPECT_EQ(bmp.Warnings.size(), 1u);
    // RLE4 absolute runs: 3 pixels take 2 data bytes, 5 take 4.
    LoadBytes(bmp, MakeBmp(8, 1, 4, 2, palette, {0, 3, 0x12, 0x30, 0, 5, 0x45, 0x67, 0x80, 0x00, 0, 1}));
    EXPECT_EQ(bmp.GetPixelIndex(0, 2), 3);
    EXPECT_EQ(bmp.GetPixelIndex(0, 3), 4);
    EXPECT_EQ(bmp.GetPixelIndex(0, 7), 8);
    EXPECT_TRUE(bmp.Warnings.empty());
    // Deltas far past the picture end the decoding without writing.
    LoadBytes(bmp, MakeBmp(4, 2, 8, 1, palette, {0, 2, 255, 255, 1, 5, 0, 1}));
    EXPECT_EQ(bmp.GetPixelIndex(0, 0), 0);
    ASSERT_EQ(bmp.Warnings.size(), 1u);
    EXPECT_NE(bmp.Warnings[0].find("past the end of the picture"), std::string::npos);
    // Indices past a short palette show black, and say so.
    LoadBytes(bmp, MakeBmp(4, 1, 8, 0, {0xFFFFFF, 0x00FF00}, {1, 0, 7, 1}));
    TRGBTriple black;
    bmp.GetPixelColor(0, 2, black);
    EXPECT_EQ(black.Value(), 0u);
    ASSERT_EQ(bmp.Warnings.size(), 1u);
    EXPECT_NE(bmp.Warnings[0].find("past the 2 of the palette"), std::string::npos);

    struct {
        const char* why;
        MediaBytes data;
    } damaged[] = {
        {"ends mid picture", {2, 1}},
        {"ends inside a delta", {0, 2, 1}},
        {"absolute run longer than the data", {0, 200, 1, 2, 3}},
    };
    for (const auto& d : damaged) {
        SCOPED_TRACE(d.why);
        TBMPReader fresh;
        EXPECT_THROW(LoadBytes(fresh, MakeBmp(4, 3, 8, 1, palette, d.data)), EReadError);
    }
}

TEST(DIBReader, DamagedFilesRaiseClearErrorsOrLoad) {
    if (!HaveImageMagick()) TW_SKIP_OR_FAIL() << "ImageMagick's convert is not installed";
    uint32_t state = 12345;
    for (const PictureFixture& layout : BmpLayouts()) {
        SCOPED_TRACE(layout.name);
        std::string file = BmpFixture(layout);
        ASSERT_FALSE(file.empty());
        MediaBytes bytes = ReadFileBytes(file);
        // Cut short anywhere: headers, colour table or pixels. Only the last
        // row's padding or final escape may be missing without an error.
        for (size_t cut = 0; cut < bytes.size(); cut += 1 + cut / 8) {
            TBMPReader bmp;
            MediaBytes part(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut));
            if (cut < bytes.size() * 9 / 10)
                EXPECT_THROW(LoadBytes(bmp, part), EReadError) << "cut at " << cut;
            else
                try {
                    LoadBytes(bmp, part);
                } catch (const EReadError&) {
                }
        }
        // Bytes changed at random, mostly in the headers.
        for (int round = 0; round < 200; ++round) {
            MediaBytes damaged = bytes;
            for (int k = 0; k < 3; ++k) {
                state = state * 1664525 + 1013904223;
                size_t at = (state >> 8) % (round % 2 ? damaged.size() : std::min<size_t>(damaged.size(), 160));
                state = state * 1664525 + 1013904223;
                damaged[at] = static_cast<uint8_t>(state >> 24);
            }
            TBMPReader bmp;
            try {
                LoadBytes(bmp, damaged);
                // A damaged run-length size may make a large, mostly empty
                // picture; walking every pixel of it proves nothing more.
                if (int64_t{bmp.GetWidth()} * bmp.RowCount <= 1 << 20) {
                    ReaderRGBA(bmp);
                    bmp.CountColors();
                }
            } catch (const Exception&) {
            }
        }
    }
}

TEST(DIBReader, SavedFilesReadBackInImageMagick) {
    if (!HaveImageMagick()) TW_SKIP_OR_FAIL() << "ImageMagick's convert is not installed";
    for (const char* name : {"4bit", "rle8", "16bit-565", "24bit", "32bit-alpha"}) {
        SCOPED_TRACE(name);
        const PictureFixture* layout = nullptr;
        for (const PictureFixture& l : BmpLayouts())
            if (std::string(l.name) == name) layout = &l;
        TBMPReader bmp;
        bmp.LoadFromFile(BmpFixture(*layout));
        TMemoryStream out;
        bmp.SaveToStream(out);
        std::string path = WriteTemp(std::string("saved-") + name + ".bmp", out.Bytes());
        // Our 40-byte files carry no alpha mask, so compare colours only.
        MediaBytes ours = ReaderRGBA(bmp), theirs = ImageMagickRGB(path);
        MediaBytes rgb;
        for (size_t i = 0; i < ours.size(); i += 4) rgb.insert(rgb.end(), {ours[i], ours[i + 1], ours[i + 2]});
        EXPECT_EQ(FirstDifference(rgb, theirs), -1);
        std::filesystem::remove(path);
    }
}

TEST(DIBReader, RowLayoutAndFormatChanges) {
    struct {
        int32_t width;
        uint16_t bits;
        int32_t stride, pad;
    } layouts[] = {{1, 24, 4, 1}, {1, 1, 4, 3}, {9, 1, 4, 2}, {3, 4, 4, 2}, {5, 8, 8, 3}, {3, 16, 8, 2}, {3, 32, 12, 0}};
    for (const auto& l : layouts) {
        TBMPReader bmp;
        bmp.SetSize(l.width, 2, l.bits);
        EXPECT_EQ(bmp.Stride, l.stride) << l.width << "x" << l.bits;
        EXPECT_EQ(bmp.Pad, l.pad) << l.width << "x" << l.bits;
        EXPECT_EQ(bmp.GetSizeImage(), static_cast<uint32_t>(2 * l.stride));
    }
    // The same format keeps the pixels; another one starts afresh.
    TBMPReader bmp;
    bmp.SetSize(4, 4, 24);
    bmp.FillColor(0x123456);
    bmp.SetSize(4, 4, 24);
    TRGBTriple c;
    bmp.GetPixelColor(3, 3, c);
    EXPECT_EQ(c.Value(), 0x123456u);
    bmp.SetSize(4, 5, 24);
    bmp.GetPixelColor(3, 3, c);
    EXPECT_EQ(c.Value(), 0u);
    // 5-6-5 masks from the widths.
    bmp.SetFormat(nullptr, 2, 2, 16, 5, 6, 5);
    EXPECT_EQ(bmp.GetRedMask(), 0xF800u);
    EXPECT_EQ(bmp.GetGreenMask(), 0x07E0u);
    EXPECT_EQ(bmp.GetBlueMask(), 0x001Fu);
    bmp.SetPixelColor(0, 0, 0xFF8040);
    bmp.GetPixelColor(0, 0, c);
    EXPECT_EQ(c.Value(), 0xFF8242u);
    EXPECT_THROW(bmp.SetSize(70000, 70000, 32), EReadError);
}

TEST(DIBReader, PaletteRulesAndColourCounts) {
    // The colour twice in the palette: the lower index wins.
    TBitmapInfo info;
    info.bmiHeader.biWidth = 3;
    info.bmiHeader.biHeight = 2;
    info.bmiHeader.biBitCount = 8;
    info.bmiColors[4] = TRGBQuad{0x30, 0x20, 0x10, 0};
    info.bmiColors[2] = TRGBQuad{0x30, 0x20, 0x10, 0};
    TBMPReader bmp;
    bmp.SetInfo(info);
    bmp.SetPixelColor(0, 0, 0x102030);
    EXPECT_EQ(bmp.GetPixelIndex(0, 0), 2);
    // A palette whose fourth bytes are all 0 becomes opaque.
    EXPECT_EQ(bmp.TransparentIndex, -1);
    EXPECT_EQ(bmp.Palette[200].rgbReserved, 255);

    // Mixed 0 and 255: the first 0 entry is transparent, nothing changes.
    for (int i = 0; i < 256; ++i) info.bmiColors[i].rgbReserved = 255;
    info.bmiColors[7].rgbReserved = 0;
    info.bmiColors[9].rgbReserved = 0;
    bmp.SetInfo(info);
    EXPECT_EQ(bmp.TransparentIndex, 7);
    EXPECT_EQ(bmp.Palette[9].rgbReserved, 0);

    // Five colours over a 3 x 2 picture are compacted to the first entries,
    // the pixels following their colours.
    for (int i = 0; i < 6; ++i) bmp.SetPixelIndex(i / 3, i % 3, static_cast<uint8_t>(10 * (i % 5) + 20));
    for (int i = 0; i < 5; ++i) bmp.Palette[10 * i + 20] = TRGBQuad{static_cast<uint8_t>(i), 0, 0, 255};
    EXPECT_EQ(bmp.CountColors(), 5);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(bmp.GetPixelIndex(i / 3, i % 3), i % 5);
    EXPECT_EQ(bmp.Palette[3].rgbBlue, 3);

    TBMPReader mono;
    mono.SetSize(16, 2, 1);
    EXPECT_EQ(mono.CountColors(), 1);
    mono.SetPixelIndex(1, 9, 1);
    EXPECT_EQ(mono.CountColors(), 2);
    TBMPReader deep;
    deep.SetSize(5, 3, 24);
    deep.FillColor(0xABCDEF);
    deep.SetPixelColor(2, 4, 0x010203);
    EXPECT_EQ(deep.CountColors(), 2);
}

TEST(DIBReader, CopyRectCountsFromTheTop) {
    TBMPReader source, target, topDown;
    source.SetSize(4, 4, 24);  // bottom-up
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 4; ++col) source.SetPixelColor(row, col, static_cast<uint32_t>((3 - row) * 16 + col));
    target.SetSize(3, 3, 32);
    target.CopyRect(source, -1, 1, 3, 3, 0, 0);  // clipped on the left and the bottom
    TRGBTriple c;
    target.GetPixelColor(1, 0, c);  // second row from the bottom = top row 1
    EXPECT_EQ(c.Value(), 1u);       // source top row 0, column 1
    target.GetPixelColor(0, 1, c);
    EXPECT_EQ(c.Value(), 16u + 2);
    topDown.SetSize(4, -4, 24);
    topDown.CopyRect(source, 0, 0, 4, 4, 0, 0);
    topDown.GetPixelColor(0, 3, c);  // row 0 is the top here
    EXPECT_EQ(c.Value(), 3u);

    TBMPReader alpha;
    alpha.SetSize(3, 3, 8);
    alpha.SetPixelIndex(0, 0, 77);
    target.CopyAlphaFrom(alpha);
    EXPECT_EQ(target.Rows[0][3], 77);
    EXPECT_TRUE(target.HasAlpha());
    target.SetAlpha(0);
    EXPECT_FALSE(target.HasAlpha());
    target.SetAlphaWhereColored(9);
    EXPECT_EQ(target.Rows[1][3], 9);
}

}  // namespace

namespace {

// A BMP file of 16- or 32-bit pixels with colour masks: a 40-byte header
// followed by three masks (four for compression 6), or a V3 (56), V4 (108)
// or V5 (124) header holding all four. Raw pixel values, bottom row first.
MediaBytes MakeMaskedBmp(int32_t width, int32_t height, uint16_t bits, uint32_t compression, uint32_t headerSize,
                         const uint32_t (&masks)[4], const std::vector<uint32_t>& raw) {
    MediaBytes pixels;
    size_t stride = (static_cast<size_t>(width) * bits + 31) / 32 * 4;
    for (int32_t r = 0; r < height; ++r) {
        size_t rowStart = pixels.size();
        for (int32_t c = 0; c < width; ++c) PutLE(pixels, raw[static_cast<size_t>(r * width + c)], bits / 8);
        pixels.resize(rowStart + stride, 0);
    }
    MediaBytes headers = InfoHeader(headerSize, width, height, bits, compression, pixels.size(), 0);
    int maskCount = headerSize > 40 ? 4 : compression == 6 ? 4 : 3;
    for (int i = 0; i < maskCount; ++i) PutLE(headers, masks[i], 4);
    if (headerSize >= 108) PutLE(headers, 0x73524742, 4);  // 'sRGB'
    headers.resize(std::max<size_t>(headers.size(), headerSize), 0);
    return BmpFile(headers, pixels);
}

int MaskWidth(uint32_t mask) {
    int width = 0;
    for (; mask; mask >>= 1) width += mask & 1;
    return width;
}

}  // namespace

// Bit-field pictures as ImageMagick decodes them: the fourth byte is alpha
// only where the header gives an alpha mask (not in X8R8G8B8, nor where red
// sits in the top byte), wide fields keep their top bits, 16-bit pictures
// keep their alpha field. ImageMagick widens narrow fields by shifting
// where we replicate bits, so narrow channels are compared on the field's
// own bits, wide ones within a level.
TEST(DIBReader, BitFieldPicturesMatchImageMagick) {
    if (!HaveImageMagick()) GTEST_SKIP() << "ImageMagick's convert is not installed";
    struct Case {
        const char* name;
        uint16_t bits;
        uint32_t headerSize;
        uint32_t masks[4];  // red, green, blue, alpha
    } cases[] = {
        {"x8r8g8b8", 32, 40, {0xFF0000, 0xFF00, 0xFF, 0}},
        {"red-in-top-byte", 32, 56, {0xFF000000, 0xFF0000, 0xFF00, 0}},
        {"a2r10g10b10", 32, 124, {0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000}},
        {"r11g11b10", 32, 108, {0xFFE00000, 0x1FFC00, 0x3FF, 0}},
        {"a4r4g4b4", 16, 56, {0xF00, 0xF0, 0xF, 0xF000}},
        {"a1r5g5b5", 16, 108, {0x7C00, 0x3E0, 0x1F, 0x8000}},
    };
    uint32_t state = 99;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int32_t width = 5, height = 3;  // odd: 16-bit rows are padded
        std::vector<uint32_t> raw;
        for (int i = 0; i < width * height; ++i) {
            state = state * 1664525 + 1013904223;
            raw.push_back(c.bits == 16 ? state >> 16 : state);
        }
        MediaBytes file = MakeMaskedBmp(width, height, c.bits, 3, c.headerSize, c.masks, raw);
        std::string path = WriteTemp(std::string(c.name) + ".bmp", file);
        TBMPReader bmp;
        LoadBytes(bmp, file);
        MediaBytes ours = ReaderRGBA(bmp), theirs = ImageMagickRGBA(path);
        ASSERT_EQ(ours.size(), theirs.size());
        for (size_t i = 0; i < ours.size(); ++i) {
            int fieldWidth = MaskWidth(c.masks[i % 4]);
            if (fieldWidth == 0) {
                EXPECT_EQ(ours[i], 255) << "byte " << i;  // no alpha: opaque
                EXPECT_EQ(theirs[i], 255) << "byte " << i;
            } else if (fieldWidth < 8) {
                EXPECT_EQ(ours[i] >> (8 - fieldWidth), theirs[i] >> (8 - fieldWidth)) << "byte " << i;
            } else {
                EXPECT_LE(std::abs(ours[i] - theirs[i]), 1) << "byte " << i;
            }
        }
        // The movie's image takes alpha exactly where the file has it: its
        // ARGB data (rows top first, as ours) carries the same alpha bytes.
        TMemoryStream in(file);
        TFlashImage image(nullptr);
        image.LoadFromStream(in);
        const MediaBytes& data = image.GetLosslessData();
        MediaBytes argb = ZDecompress(data.data(), data.size());
        ASSERT_EQ(argb.size(), ours.size());
        for (size_t i = 0; i < argb.size(); i += 4) EXPECT_EQ(argb[i], ours[i + 3]) << "pixel " << i / 4;
        std::filesystem::remove(path);

        // With the masks after a 40-byte header and compression 6, which
        // ImageMagick does not read, the picture is the same.
        if (c.masks[3] != 0) {
            TBMPReader alphaBitFields;
            LoadBytes(alphaBitFields, MakeMaskedBmp(width, height, c.bits, 6, 40, c.masks, raw));
            EXPECT_EQ(FirstDifference(ReaderRGBA(alphaBitFields), ours), -1);
        }
    }
}

// Headers that cannot describe a picture are refused before any pixel
// memory is taken, each with what is wrong: among them the 54-byte file of
// width 0 and a huge height (which took a row table of gigabytes), sizes
// whose byte count overflowed, a kilobyte of run-length data claiming
// hundreds of megabytes, and masks whose widths became 64-bit shifts.
TEST(DIBReader, ImpossibleHeadersAreRefusedWithTheirReason) {
    const std::vector<uint32_t> none;
    const std::vector<uint32_t> grey(256, 0x808080);
    const uint32_t rgb565[4] = {0xF800, 0x7E0, 0x1F, 0};
    struct Case {
        const char* why;
        MediaBytes file;
        const char* message;
    } cases[] = {
        {"width 0, huge height", MakeBmp(0, 0x7FFFFFFF, 24, 0, none, {}), "0 x 2147483647 pixels holds no pixels"},
        {"height 0", MakeBmp(10, 0, 24, 0, none, {}), "holds no pixels"},
        {"empty run-length picture", MakeBmp(0, 5, 8, 1, grey, {0, 1}), "holds no pixels"},
        {"negative width", MakeBmp(-4, 4, 24, 0, none, MediaBytes(64)), "holds no pixels"},
        {"overflowing size", MakeBmp(0x7FFFFFFF, 0x7FFFFFFF, 32, 0, none, {}), "too large"},
        {"over the cap", MakeBmp(20000, -20000, 24, 0, none, {}), "too large"},
        {"30000 bits", MakeBmp(4, 4, 30000, 0, none, MediaBytes(64)), "30000 bits per pixel are not supported"},
        {"2 bits", MakeBmp(4, 4, 2, 0, none, MediaBytes(16)), "2 bits per pixel are not supported"},
        {"64 bits", MakeBmp(1, 1, 64, 0, none, MediaBytes(8)), "64 bits per pixel are not supported"},
        {"RLE8 of a kilobyte for 16000 x 16000", MakeBmp(16000, 16000, 8, 1, grey, MediaBytes(1024, 0)),
         "1024 bytes cannot fill a picture of 16000 x 16000"},
        {"RLE stored top-down", MakeBmp(4, -2, 8, 1, grey, {4, 1, 0, 0, 4, 2, 0, 1}), "top-down"},
        {"overlapping masks", MakeMaskedBmp(2, 2, 16, 3, 40, {0xFF00, 0x0FF0, 0x000F, 0}, {0, 0, 0, 0}), "masks"},
        {"scattered mask", MakeMaskedBmp(2, 2, 16, 3, 40, {0xF00F, 0x0F0, 0xF00, 0}, {0, 0, 0, 0}), "masks"},
        {"mask past 16 bits", MakeMaskedBmp(2, 2, 16, 3, 40, {0x1F0000, 0x7E0, 0x1F, 0}, {0, 0, 0, 0}), "masks"},
        {"alpha mask sharing red", MakeMaskedBmp(2, 2, 16, 3, 56, {0xF800, 0x7E0, 0x1F, 0x8000}, {0, 0, 0, 0}), "masks"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        TBMPReader bmp;
        try {
            LoadBytes(bmp, c.file);
            ADD_FAILURE() << "loaded";
        } catch (const EReadError& failure) {
            EXPECT_NE(std::string(failure.what()).find(c.message), std::string::npos) << failure.what();
        }
        EXPECT_EQ(bmp.Bits, nullptr);
    }
    // The 5-6-5 masks those variations start from load.
    TBMPReader fine;
    LoadBytes(fine, MakeMaskedBmp(2, 2, 16, 3, 40, rgb565, {0xF800, 0x7E0, 0x1F, 0xFFFF}));
    TRGBTriple c;
    fine.GetPixelColor(0, 0, c);
    EXPECT_EQ(c.Value(), 0xFF0000u);
}
