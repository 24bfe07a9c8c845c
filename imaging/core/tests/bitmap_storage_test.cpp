// The pixel buffer's storage: allocation, row order, the three locations and
// the moves between them, whole-image copies and the alpha channel.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_dib_bitmap.h"
#include "imaging/core/ie_helpers.h"

namespace {

// Bytes of a row that hold pixels (no padding).
int32_t PixelBytes(TIEPixelFormat format, int32_t width) {
    return IEBitmapRowLen(width, IEBitsPerPixel[format], 8);
}

uint8_t PatternByte(int format, int32_t y, int32_t i) { return static_cast<uint8_t>(format * 31 + y * 7 + i * 13 + (i >> 3)); }

void WritePattern(TIEBitmap& bitmap, TIEPixelFormat format) {
    for (int32_t y = 0; y < bitmap.GetHeight(); ++y) {
        uint8_t* row = bitmap.GetScanline(y);
        for (int32_t i = 0; i < PixelBytes(format, bitmap.GetWidth()); ++i) row[i] = PatternByte(format, y, i);
    }
    if (format != ie8p) return;
    for (int i = 0; i < 256; ++i) bitmap.SetPaletteColor(i, IECreateRGB(uint8_t(i), uint8_t(255 - i), 7));
}

// Compares every pixel byte with the pattern; a 16-bit gray image held in a
// toolkit bitmap is expected as the high bytes of its samples.
void ExpectPattern(TIEBitmap& bitmap, TIEPixelFormat written, const std::string& where) {
    bool narrowed = written == ie16g && bitmap.GetPixelFormat() == ie8g;
    for (int32_t y = 0; y < bitmap.GetHeight(); ++y) {
        const uint8_t* row = bitmap.GetScanline(y);
        int32_t count = narrowed ? bitmap.GetWidth() : PixelBytes(written, bitmap.GetWidth());
        for (int32_t i = 0; i < count; ++i) {
            uint8_t expected = narrowed ? PatternByte(written, y, 2 * i + 1) : PatternByte(written, y, i);
            ASSERT_EQ(row[i], expected) << where << " row " << y << " byte " << i;
        }
    }
    if (written == ie8p) {
        for (int i = 0; i < 256; ++i)
            ASSERT_EQ(bitmap.GetPaletteColor(i), IECreateRGB(uint8_t(i), uint8_t(255 - i), 7)) << where;
    }
}

void MoveTo(TIEBitmap& bitmap, TIELocation location) {
    // ieMemory and ieFile are decided by size against the threshold.
    if (location == ieFile) bitmap.MemoryThreshold = 0;
    if (location == ieMemory) bitmap.MemoryThreshold = INT64_MAX;
    bitmap.SetLocation(location);
}

struct ToolkitMapping {
    TIEPixelFormat format;
    TPixelFormat toolkit;     // pfDevice: refused
    TIEPixelFormat held;      // the format the bitmap reports there
    const char* message;
};

const ToolkitMapping kMappings[] = {
    {ie1g, TPixelFormat::pf1bit, ie1g, ""},
    {ie8p, TPixelFormat::pf8bit, ie8p, ""},
    {ie8g, TPixelFormat::pf8bit, ie8g, ""},
    {ie16g, TPixelFormat::pf8bit, ie8g, ""},
    {ie24RGB, TPixelFormat::pf24bit, ie24RGB, ""},
    {ie32f, TPixelFormat::pfDevice, ienull, "ie32f pixel format not allowed when Location=ieTBitmap"},
    {ieCMYK, TPixelFormat::pfDevice, ienull, "ieCMYK pixel format not allowed when Location=ieTBitmap"},
    {ieRGB48, TPixelFormat::pfDevice, ienull, "ieRGB48 pixel format not allowed when Location=ieTBitmap"},
    {ieCIELab, TPixelFormat::pfDevice, ienull, "ieCIELab pixel format not allowed when Location=ieTBitmap"},
    {ie32RGB, TPixelFormat::pf32bit, ie32RGB, ""},
};

}  // namespace

TEST(BitmapStorage, EveryFormatSurvivesEveryLocationChange) {
    const TIELocation route[] = {ieFile, ieMemory, ieTBitmap, ieFile, ieTBitmap, ieMemory};
    const int32_t width = 37, height = 11;  // odd sizes give every format row padding
    for (const ToolkitMapping& m : kMappings) {
        for (TIELocation start : {ieMemory, ieFile}) {
            SCOPED_TRACE(std::string(IEPixelFormatName(m.format)) + (start == ieFile ? " from file" : " from memory"));
            TIEBitmap bitmap;
            bitmap.MemoryThreshold = start == ieFile ? 0 : INT64_MAX;
            ASSERT_TRUE(bitmap.Allocate(width, height, m.format));
            ASSERT_EQ(bitmap.GetLocation(), start);
            WritePattern(bitmap, m.format);
            ExpectPattern(bitmap, m.format, "after writing");
            for (TIELocation step : route) {
                MoveTo(bitmap, step);
                if (step == ieTBitmap && m.toolkit == TPixelFormat::pfDevice) {
                    EXPECT_TRUE(bitmap.IsEmpty());
                    EXPECT_EQ(bitmap.AllocationError(), m.message);
                    break;
                }
                ASSERT_EQ(bitmap.GetLocation(), step);
                ASSERT_EQ(bitmap.GetWidth(), width);
                ASSERT_EQ(bitmap.GetHeight(), height);
                if (step == ieTBitmap) {
                    EXPECT_EQ(bitmap.GetPixelFormat(), m.held);
                    EXPECT_EQ(bitmap.GetTBitmap()->PixelFormat(), m.toolkit);
                    EXPECT_EQ(bitmap.GetTBitmap()->RowBytes(), BitmapRowBytes(width, IEBitsPerPixel[m.held]));
                    if (m.held == ie8g) {
                        EXPECT_TRUE(IEIsGrayPalette(*bitmap.GetTBitmap()));
                    }
                }
                ExpectPattern(bitmap, m.format, std::string("after a move to location ") + char('0' + step));
            }
        }
    }
}

TEST(BitmapStorage, ToolkitBitmapRefusalsLeaveAnEmptyBitmapFromAllocateToo) {
    for (const ToolkitMapping& m : kMappings) {
        TIEBitmap bitmap;
        bitmap.SetLocation(ieTBitmap);
        bool ok = bitmap.Allocate(4, 3, m.format);
        EXPECT_EQ(ok, m.toolkit != TPixelFormat::pfDevice) << IEPixelFormatName(m.format);
        EXPECT_EQ(bitmap.AllocationError(), m.message);
        if (!ok) {
            EXPECT_TRUE(bitmap.IsEmpty());
        } else {
            EXPECT_EQ(bitmap.GetPixelFormat(), m.held);
        }
    }
}

TEST(BitmapStorage, RowsAreBottomUpInMemoryAndTopFirstInTheFile) {
    TIEBitmap memory(2, 2, ie24RGB);
    ASSERT_EQ(memory.GetLocation(), ieMemory);
    EXPECT_EQ(memory.GetRowLen(), 8);
    EXPECT_EQ(memory.GetScanline(0), memory.Memory() + 8);
    EXPECT_EQ(memory.GetScanline(1), memory.Memory());
    EXPECT_EQ(reinterpret_cast<uintptr_t>(memory.Memory()) % 32, 0u);

    // At ieFile only the most recent row is valid; writing it back happens
    // when the next row is asked for.
    TIEBitmap file;
    file.MemoryThreshold = 0;
    ASSERT_TRUE(file.Allocate(3, 4, ie8g));
    ASSERT_EQ(file.GetLocation(), ieFile);
    for (int32_t y = 0; y < 4; ++y) std::memset(file.GetScanline(y), 10 + y, 3);
    uint8_t* rows[2] = {file.MapRow(1), file.MapRow(3)};
    EXPECT_EQ(rows[0][2], 11);
    EXPECT_EQ(rows[1][0], 13);
    rows[0][0] = 99;
    file.UnmapRow(1);
    EXPECT_EQ(file.GetScanline(1)[0], 99);
    EXPECT_EQ(file.FileBuffer().MappingCount(), 2);  // row 3 and the current row
    file.UnmapAllRows();
    EXPECT_EQ(file.FileBuffer().MappingCount(), 0);
}

TEST(BitmapStorage, AllocationRules) {
    TIEBitmap bitmap;
    EXPECT_FALSE(bitmap.Allocate(0, 10, ie24RGB));
    EXPECT_TRUE(bitmap.IsEmpty());
    EXPECT_FALSE(bitmap.Allocate(10, 10, ienull));
    // A row too long for a 32-bit length is refused rather than wrapped.
    EXPECT_FALSE(bitmap.Allocate(INT32_MAX, 1, ieRGB48));
    EXPECT_TRUE(bitmap.IsEmpty());

    // The same size and format keep the pixels; a move forces a reallocation.
    ASSERT_TRUE(bitmap.Allocate(4, 4, ie8g));
    bitmap.GetScanline(0)[0] = 77;
    uint8_t* before = bitmap.GetScanline(0);
    ASSERT_TRUE(bitmap.Allocate(4, 4, ie8g));
    EXPECT_EQ(bitmap.GetScanline(0), before);
    EXPECT_EQ(bitmap.GetScanline(0)[0], 77);
    bitmap.SetRowAlignment(8);  // in memory the rows are rebuilt at once
    EXPECT_EQ(bitmap.GetRowLen(), 4);
    EXPECT_EQ(bitmap.GetScanline(0)[0], 77);
    TIEBitmap filed;
    filed.MemoryThreshold = 0;
    ASSERT_TRUE(filed.Allocate(3, 3, ie24RGB));
    filed.SetRowAlignment(8);  // in the file only the next Allocate changes
    EXPECT_EQ(filed.GetRowLen(), 12);
    EXPECT_TRUE(filed.NeedsRealloc());

    // Exactly the threshold keeps the location; one byte more moves to the file.
    TIEBitmap edge;
    edge.MemoryThreshold = 8 * 4;  // 2 x 4 ie24RGB: rows of 8 bytes
    edge.SetLocation(ieMemory);
    ASSERT_TRUE(edge.Allocate(2, 4, ie24RGB));
    EXPECT_EQ(edge.GetLocation(), ieMemory);
    edge.MemoryThreshold = 8 * 4 - 1;
    ASSERT_TRUE(edge.Allocate(2, 5, ie24RGB));
    EXPECT_EQ(edge.GetLocation(), ieFile);
}

TEST(BitmapStorage, EveryAllocatorModeGivesAnAlignedBlock) {
    for (uint8_t mode : {0, 1, 2}) {
        TIEBitmap bitmap;
        bitmap.AllocatorMode = mode;
        ASSERT_TRUE(bitmap.Allocate(600, 700, ie24RGB));
        EXPECT_EQ(reinterpret_cast<uintptr_t>(bitmap.Memory()) % 32, 0u);
        bitmap.AllocatorMode = static_cast<uint8_t>((mode + 1) % 3);  // freed the way it was obtained
    }
    for (size_t size : {size_t{16}, kIEAutoAllocGlobalFrom - 1, kIEAutoAllocGlobalFrom}) {
        void* block = IEAutoAlloc(size);
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(static_cast<uint8_t*>(block)[-1], size >= kIEAutoAllocGlobalFrom ? 1 : 0);
        IEAutoFree(block);
        EXPECT_EQ(block, nullptr);
    }
}

TEST(BitmapStorage, ResizingKeepsTheTopLeftPixels) {
    for (TIELocation location : {ieMemory, ieFile, ieTBitmap}) {
        TIEBitmap bitmap;
        MoveTo(bitmap, location);
        ASSERT_TRUE(bitmap.Allocate(10, 10, ie24RGB));
        for (int32_t y = 0; y < 10; ++y) {
            uint8_t* row = bitmap.GetScanline(y);
            for (int32_t x = 0; x < 30; ++x) row[x] = static_cast<uint8_t>(y * 30 + x);
        }
        bitmap.GetAlphaChannel()->GetScanline(4)[4] = 9;
        bitmap.SetWidth(5);
        bitmap.SetHeight(5);
        ASSERT_EQ(bitmap.GetWidth(), 5);
        ASSERT_EQ(bitmap.GetHeight(), 5);
        EXPECT_EQ(bitmap.GetAlphaChannel()->GetWidth(), 5);
        EXPECT_EQ(bitmap.GetAlphaChannel()->GetScanline(4)[4], 9);
        for (int32_t y = 0; y < 5; ++y) {
            const uint8_t* row = bitmap.GetScanline(y);
            for (int32_t x = 0; x < 15; ++x) ASSERT_EQ(row[x], y * 30 + x) << "location " << int(location);
        }
    }
}

TEST(BitmapStorage, MoveContentLeavesTheSourceEmptyButPlaced) {
    TIEBitmap source;
    source.MemoryThreshold = 0;
    ASSERT_TRUE(source.Allocate(5, 5, ie8p));
    source.GetAlphaChannel();
    TIEBitmap target(3, 3, ie24RGB);
    source.MoveContentTo(target);
    EXPECT_TRUE(source.IsEmpty());
    EXPECT_EQ(source.GetPixelFormat(), ienull);
    EXPECT_EQ(source.GetLocation(), ieFile);
    EXPECT_TRUE(source.NeedsRealloc());
    EXPECT_EQ(target.GetWidth(), 5);
    EXPECT_EQ(target.GetPixelFormat(), ie8p);
    EXPECT_EQ(target.GetPaletteLen(), 256);
    EXPECT_EQ(target.GetLocation(), ieFile);
    EXPECT_TRUE(target.GetHasAlphaChannel());
}

TEST(BitmapStorage, AssignBetweenFileImagesCopiesTheFileAndTheFlags) {
    // About 3 MB each, so the copy runs in several 1 MB blocks.
    const int32_t width = 1000, height = 1003;
    TIEBitmap source;
    source.MemoryThreshold = 1 << 20;
    ASSERT_TRUE(source.Allocate(width, height, ie24RGB));
    ASSERT_EQ(source.GetLocation(), ieFile);
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = source.GetScanline(y);
        for (int32_t i = 0; i < width * 3; ++i) row[i] = static_cast<uint8_t>(y * 131 + i * 7);
    }
    source.SetFullOpacity(true);
    source.BilevelMethod = 0;
    source.GetAlphaChannel()->GetScanline(7)[7] = 70;

    TIEBitmap copy;
    copy.MemoryThreshold = 1 << 20;
    copy.Assign(source);
    ASSERT_EQ(copy.GetLocation(), ieFile);
    EXPECT_EQ(copy.GetWidth(), width);
    EXPECT_TRUE(copy.FullOpacity());
    EXPECT_EQ(copy.RowAlignment(), source.RowAlignment());
    EXPECT_EQ(copy.BilevelMethod, 0);
    EXPECT_EQ(copy.GetAlphaChannel()->GetScanline(7)[7], 70);
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* row = source.GetScanline(y);  // valid until the next row is asked for
        std::vector<uint8_t> expected(row, row + width * 3);
        ASSERT_EQ(std::memcmp(copy.GetScanline(y), expected.data(), expected.size()), 0) << "row " << y;
    }
    // Assign from a bitmap without alpha drops the alpha; AssignImage keeps it.
    TIEBitmap plain(4, 4, ie24RGB);
    copy.AssignImage(plain);
    EXPECT_TRUE(copy.GetHasAlphaChannel());
    EXPECT_EQ(copy.GetAlphaChannel()->GetWidth(), 4);
    copy.Assign(plain);
    EXPECT_FALSE(copy.GetHasAlphaChannel());
}

TEST(BitmapStorage, RemoveAlphaChannelComposesOntoTheBackground) {
    TIEBitmap bitmap(3, 1, ie24RGB);
    bitmap.Fill(16777215.0);
    uint8_t* alpha = bitmap.GetAlphaChannel()->GetScanline(0);
    alpha[0] = 255;
    alpha[1] = 0;
    alpha[2] = 128;
    bitmap.RemoveAlphaChannel(true, clBlack);
    EXPECT_FALSE(bitmap.GetHasAlphaChannel());
    const uint8_t* row = bitmap.GetScanline(0);
    EXPECT_EQ(std::vector<uint8_t>(row, row + 9), (std::vector<uint8_t>{254, 254, 254, 0, 0, 0, 127, 127, 127}));

    // Over a lighter background the difference is negative and rounds down.
    TIEBitmap dark(1, 1, ie24RGB);
    dark.Fill(0.0);
    dark.GetAlphaChannel()->GetScanline(0)[0] = 1;
    dark.RemoveAlphaChannel(true, clWhite);
    EXPECT_EQ(dark.GetScanline(0)[0], 254);  // 255 + floor(-255 / 256)
}

TEST(BitmapStorage, AlphaChannelsAreOpaqueAndNeverToolkitBitmaps) {
    auto alpha = TIEBitmap::CreateAlpha(5, 4, ieTBitmap);
    EXPECT_EQ(alpha->GetLocation(), ieMemory);
    EXPECT_TRUE(alpha->FullOpacity());
    EXPECT_TRUE(alpha->IsAlpha());
    EXPECT_EQ(alpha->GetAlphaChannel(), nullptr);
    EXPECT_EQ(alpha->GetScanline(3)[4], 255);
}

TEST(BitmapStorage, EncapsulatedToolkitBitmapsAreSharedAndFollowed) {
    TBitmap picture;
    picture.SetPixelFormat(TPixelFormat::pf24bit);
    picture.SetSize(6, 2);
    {
        TIEBitmap bitmap;
        bitmap.EncapsulateTBitmap(&picture, true);
        EXPECT_EQ(bitmap.GetPixelFormat(), ie24RGB);
        bitmap.GetScanline(1)[0] = 42;
        EXPECT_EQ(picture.ScanLine(1)[0], 42);
        // The caller changes the toolkit bitmap; the next query follows it.
        picture.SetHeight(5);
        EXPECT_EQ(bitmap.GetHeight(), 5);
        EXPECT_EQ(bitmap.GetScanline(1)[0], 42);
        // A depth the library does not address is widened, picture kept.
        picture.SetPixelFormat(TPixelFormat::pf16bit);
        EXPECT_EQ(bitmap.GetPixelFormat(), ie24RGB);
        EXPECT_EQ(picture.PixelFormat(), TPixelFormat::pf24bit);
    }
    EXPECT_EQ(picture.Width(), 6);  // borrowed, not freed
}

TEST(BitmapStorage, FillWritesEveryFormatsValue) {
    struct Case {
        TIEPixelFormat format;
        double value;
        std::vector<uint8_t> pixel;
        bool full;
    };
    const Case cases[] = {
        {ie8g, 255.0, {255}, true},
        {ie16g, 65535.0, {255, 255}, true},
        {ie24RGB, double(0x0000FF), {0, 0, 255}, false},  // red: TColor has red low
        {ie32RGB, 16777215.0, {255, 255, 255}, true},
        {ieCMYK, double(0x00FF00), {0, 255, 0, 255}, false},
        {ieRGB48, double(0x010203), {3, 3, 2, 2, 1, 1}, false},
    };
    for (const Case& c : cases) {
        for (TIELocation location : {ieMemory, ieFile}) {
            TIEBitmap bitmap;
            MoveTo(bitmap, location);
            ASSERT_TRUE(bitmap.Allocate(3, 2, c.format));
            bitmap.Fill(c.value);
            EXPECT_EQ(bitmap.FullOpacity(), c.full) << IEPixelFormatName(c.format);
            const uint8_t* row = bitmap.GetScanline(1);
            size_t step = static_cast<size_t>(IEBitsPerPixel[c.format] / 8);
            EXPECT_EQ(std::vector<uint8_t>(row + 2 * step, row + 2 * step + c.pixel.size()), c.pixel)
                << IEPixelFormatName(c.format);
        }
    }
    TIEBitmap gray(2, 2, ie32f);
    gray.Fill(0.25);
    float value;
    std::memcpy(&value, gray.GetScanline(1) + 4, 4);
    EXPECT_EQ(value, 0.25f);
}

TEST(DibAndWorkBitmaps, SizesRowsAndRefusals) {
    TIEDibbitmap dib;
    EXPECT_FALSE(dib.Allocate(10, 10, ie8g));
    EXPECT_EQ(dib.Bits, nullptr);
    ASSERT_TRUE(dib.Allocate(10, 2, ie1g));
    EXPECT_EQ(dib.RowLen, 4);
    EXPECT_EQ(dib.BitmapInfo.biSizeImage, 8u);
    EXPECT_EQ(dib.GetScanline(0), dib.Bits + 4);
    EXPECT_EQ(dib.GetPixelFormat(), ie1g);
    dib.GetScanline(1)[0] = 0xA5;

    TIEDibbitmap copy;
    copy.Assign(dib);
    EXPECT_EQ(copy.Width, 10);
    EXPECT_EQ(copy.GetScanline(1)[0], 0xA5);
    TIEBitmap other(3, 3, ie24RGB);
    copy.Assign(other);  // only from another DIB
    EXPECT_EQ(copy.Width, 10);
    EXPECT_FALSE(copy.AllocateBits(-5, 3, 24));

    TIEWorkBitmap work(7, 3, 24);
    EXPECT_EQ(work.RowLen, 24);
    uint8_t* bits = work.Bits;
    work.GetScanline(2)[0] = 9;
    work.Allocate(7, 3, 24);  // unchanged: pixels kept
    EXPECT_EQ(work.Bits, bits);
    EXPECT_EQ(work.GetScanline(2)[0], 9);
    EXPECT_EQ(work.GetScanline(2), work.Bits);
    work.Free();
    EXPECT_EQ(work.Width, 0);
}
