// The toolkit bitmap, zero-filled memory blocks and handle streams with
// 64-bit sizes.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <unistd.h>

#include "platform/bitmap.h"
#include "platform/global_memory.h"
#include "platform/handle_stream.h"

TEST(ToolkitBitmap, RowsArePaddedBottomUpInOneBlock) {
    struct Case {
        TPixelFormat format;
        int32_t width;
        int32_t rowBytes;
        int paletteSize;
    };
    const Case cases[] = {{TPixelFormat::pf1bit, 33, 8, 2},   {TPixelFormat::pf4bit, 9, 8, 16},
                          {TPixelFormat::pf8bit, 5, 8, 256},  {TPixelFormat::pf15bit, 3, 8, 0},
                          {TPixelFormat::pf16bit, 2, 4, 0},   {TPixelFormat::pf24bit, 3, 12, 0},
                          {TPixelFormat::pf32bit, 3, 12, 0}};
    for (const Case& c : cases) {
        TBitmap bitmap;
        bitmap.SetPixelFormat(c.format);
        bitmap.SetSize(c.width, 3);
        EXPECT_EQ(bitmap.RowBytes(), c.rowBytes);
        EXPECT_EQ(bitmap.PaletteSize(), c.paletteSize);
        EXPECT_EQ(bitmap.ScanLine(0) - bitmap.ScanLine(2), 2 * c.rowBytes);  // bottom-up, contiguous
        EXPECT_THROW(bitmap.ScanLine(3), Exception);
    }
}

TEST(ToolkitBitmap, ResizeKeepsPixelsAndFormatChangesKeepThePicture) {
    TBitmap bitmap;
    int changes = 0;
    bitmap.OnChange = [&](TBitmap&) { ++changes; };
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    bitmap.SetSize(4, 4);
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t i = 0; i < 12; ++i) bitmap.ScanLine(y)[i] = static_cast<uint8_t>(y * 16 + i);
    bitmap.SetSize(2, 6);
    EXPECT_EQ(bitmap.ScanLine(3)[5], 3 * 16 + 5);
    EXPECT_EQ(bitmap.ScanLine(5)[0], 0);  // new rows are zero
    EXPECT_EQ(changes, 3);

    // 24 bits to 16 (5-6-5) and back keeps each colour within its step.
    uint8_t* pixel = bitmap.ScanLine(0);
    pixel[0] = 200, pixel[1] = 100, pixel[2] = 50;  // blue, green, red
    bitmap.SetPixelFormat(TPixelFormat::pf16bit);
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    EXPECT_NEAR(bitmap.ScanLine(0)[0], 200, 8);
    EXPECT_NEAR(bitmap.ScanLine(0)[1], 100, 4);
    EXPECT_NEAR(bitmap.ScanLine(0)[2], 50, 8);

    // To 1 bit each pixel takes the nearer of black and white.
    bitmap.ScanLine(1)[0] = bitmap.ScanLine(1)[1] = bitmap.ScanLine(1)[2] = 250;
    bitmap.ScanLine(1)[3] = bitmap.ScanLine(1)[4] = bitmap.ScanLine(1)[5] = 5;
    bitmap.SetPixelFormat(TPixelFormat::pf1bit);
    EXPECT_TRUE(bitmap.Monochrome());
    EXPECT_EQ(bitmap.ScanLine(1)[0] & 0xC0, 0x80);

    TPaletteEntry red{255, 0, 0, 0};
    EXPECT_EQ(bitmap.SetPaletteEntries(1, 5, &red), 1);
    EXPECT_FALSE(bitmap.Monochrome());
    TBitmap copy(bitmap);
    TPaletteEntry read[2];
    EXPECT_EQ(copy.GetPaletteEntries(0, 2, read), 2);
    EXPECT_EQ(read[1], red);
}

TEST(GlobalMemory, BlocksAreZeroedAlignedAndRefusedWhenTooLarge) {
    void* block = GlobalAllocZero(5000);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % 16, 0u);
    auto* bytes = static_cast<uint8_t*>(block);
    EXPECT_EQ(std::count(bytes, bytes + 5000, 0), 5000);
    GlobalFreeBlock(block);
    EXPECT_EQ(GlobalAllocZero(SIZE_MAX - 8), nullptr);
    EXPECT_EQ(GlobalAllocZero(size_t{1} << 62), nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(AlignUp(reinterpret_cast<void*>(33), 32)), 64u);
    EXPECT_GT(TotalPhysicalMemory(), 0);
}

TEST(HandleStream, SizesAndPositionsBeyondFourGigabytes) {
    std::string name = SystemTempPath() + "handle-stream-" + std::to_string(getpid()) + ".tmp";
    int handle = CreateExclusiveFile(name, true);
    ASSERT_GE(handle, 0);
    EXPECT_FALSE(std::filesystem::exists(name));  // deleted on close: the name is gone already
    EXPECT_LT(CreateExclusiveFile(SystemTempPath(), false), 0);
    THandleStream stream(handle);
    const int64_t far = (int64_t{5} << 30) + 3;  // a sparse file: no blocks behind the gap
    stream.SetPosition(far);
    stream.WriteBuffer("xyz", 3);
    EXPECT_EQ(stream.GetSize(), far + 3);
    stream.SetPosition(far + 1);
    char byte = 0;
    stream.ReadBuffer(&byte, 1);
    EXPECT_EQ(byte, 'y');
    stream.SetSize(10);
    EXPECT_EQ(stream.GetSize(), 10);
    EXPECT_THROW(stream.ReadBuffer(&byte, 20), EReadError);
}
