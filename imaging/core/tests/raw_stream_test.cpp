// The raw form of a bitmap: the byte layout of its examples, round trips of
// every pixel format and storage location, and input that is not whole.
#include <gtest/gtest.h>

#include <cstring>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/tests/tool_support.h"
#include "platform/stream.h"

namespace {

std::vector<uint8_t> Raw(TIEBitmap& bitmap) {
    TMemoryStream stream;
    bitmap.SaveRawToStream(nullptr, &stream);
    std::vector<uint8_t> bytes(static_cast<size_t>(stream.GetSize()));
    stream.SetPosition(0);
    stream.ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    return bytes;
}

void Fill(TIEBitmap& bitmap, uint32_t seed) {
    for (int32_t y = 0; y < bitmap.GetHeight(); ++y) {
        uint8_t* row = bitmap.GetScanline(y);
        for (int32_t i = 0; i < bitmap.GetRowLen(); ++i) row[i] = static_cast<uint8_t>(seed + 31 * y + 7 * i);
    }
    bitmap.UnmapAllRows();
}

}  // namespace

TEST(RawStreamTest, LayoutOfTheSmallestBitmapWithAndWithoutAlpha) {
    TIEBitmap bitmap(1, 1, ie24RGB);
    bitmap.SetPixelTRGB(0, 0, TRGB{1, 2, 3});
    std::vector<uint8_t> bytes = Raw(bitmap);
    ASSERT_EQ(bytes.size(), 80u);
    EXPECT_EQ(bitmap.RawSize(), 80);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 12), "TIEBITMAPRAW");
    int32_t width = 0, alignment = 0;
    std::memcpy(&width, bytes.data() + 20, 4);
    std::memcpy(&alignment, bytes.data() + 20 + 51, 4);
    EXPECT_EQ(width, 1);
    EXPECT_EQ(bytes[20 + 8], ie24RGB);
    EXPECT_EQ(alignment, 32);
    EXPECT_EQ(bytes[75], 1);  // the pixel, blue first
    EXPECT_EQ(bytes[77], 3);
    EXPECT_EQ(bytes.back(), 0);  // no alpha
    bitmap.SetAlpha(0, 0, 9);
    bytes = Raw(bitmap);
    ASSERT_EQ(bytes.size(), 85u);
    EXPECT_EQ(bytes[79], 1);
    EXPECT_EQ(bytes[80], 9);
    EXPECT_EQ(bytes[84], 0);  // alpha not fully opaque

    // Into memory: the same bytes.
    std::vector<uint8_t> block(static_cast<size_t>(bitmap.RawSize()));
    bitmap.SaveRawToStream(block.data(), nullptr);
    EXPECT_EQ(block, bytes);
}

TEST(RawStreamTest, PaletteImagesStoreTheirWholePalette) {
    TIEBitmap bitmap(3, 2, ie8p);
    bitmap.SetPaletteColor(200, TRGB{10, 20, 30});
    std::vector<uint8_t> bytes = Raw(bitmap);
    int32_t count = 0;
    std::memcpy(&count, bytes.data() + 16, 4);
    EXPECT_EQ(count, 256);
    EXPECT_EQ(bytes[20 + 600], 10);
    TIEBitmap back;
    ASSERT_TRUE(back.LoadRawFromStream(bytes.data(), bytes.size(), nullptr));
    EXPECT_EQ(back.GetPaletteColor(200), (TRGB{10, 20, 30}));
}

TEST(RawStreamTest, EveryFormatAndLocationRoundTripsWithSettingsAndAlpha) {
    // Each format's stream is kept as one of the fuzzer's first inputs.
    const auto seeds = imaging_test::FixtureFolder("raw_stream_formats");
    for (int f = ie1g; f < kIEPixelFormatCount; ++f) {
        for (int64_t threshold : {INT64_MAX, int64_t{0}}) {
            const auto format = static_cast<TIEPixelFormat>(f);
            SCOPED_TRACE(std::string(IEPixelFormatName(format)) + (threshold ? " memory" : " file"));
            TIEBitmap source;
            source.MemoryThreshold = threshold;
            ASSERT_TRUE(source.Allocate(13, 5, format));
            Fill(source, static_cast<uint32_t>(f));
            source.BlackValue = 3.5;
            source.WhiteValue = 200.25;
            source.ChannelOffsets[2] = -7;
            source.ChannelOffsetsEnabled = true;
            source.Contrast = -4;
            source.PaletteColors = 17;
            if (f % 2) {
                source.SetAlpha(4, 2, 77);
                source.SetAlpha(12, 4, 1);
            }
            std::vector<uint8_t> bytes = Raw(source);
            EXPECT_EQ(static_cast<int64_t>(bytes.size()), source.RawSize());
            if (threshold) imaging_test::WriteBytes(seeds / (std::string(IEPixelFormatName(format)) + ".tieraw"), bytes.data(), bytes.size());

            TIEBitmap target;
            target.MemoryThreshold = threshold;
            TMemoryStream stream;
            stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
            stream.SetPosition(0);
            ASSERT_TRUE(target.LoadRawFromStream(nullptr, 0, &stream));
            EXPECT_EQ(stream.GetPosition(), stream.GetSize());
            EXPECT_EQ(target.GetLocation(), source.GetLocation());
            EXPECT_EQ(Raw(target), bytes);
            EXPECT_EQ(target.Contrast, -4);
            EXPECT_EQ(target.WhiteValue, 200.25);
            EXPECT_EQ(target.GetHasAlphaChannel(), f % 2 == 1);
        }
    }
}

TEST(RawStreamTest, ForeignOrIncompleteInputGivesFalse) {
    TIEBitmap source(5, 4, ie24RGB);
    Fill(source, 3);
    source.SetAlpha(1, 1, 5);
    const std::vector<uint8_t> bytes = Raw(source);

    TIEBitmap keep(2, 2, ie8g);
    std::vector<uint8_t> foreign = bytes;
    foreign[0] = 'X';
    EXPECT_FALSE(keep.LoadRawFromStream(foreign.data(), foreign.size(), nullptr));
    std::vector<uint8_t> negative = bytes;
    negative[15] = 0x80;  // version below 0
    EXPECT_FALSE(keep.LoadRawFromStream(negative.data(), negative.size(), nullptr));
    EXPECT_EQ(keep.GetWidth(), 2);
    EXPECT_EQ(keep.GetPixelFormat(), ie8g);

    // Every truncation, from the block and from a stream.
    for (size_t length = 0; length < bytes.size(); ++length) {
        TIEBitmap target;
        EXPECT_FALSE(target.LoadRawFromStream(bytes.data(), length, nullptr)) << length;
        TMemoryStream stream;
        stream.WriteBuffer(bytes.data(), static_cast<int64_t>(length));
        stream.SetPosition(0);
        TIEBitmap fromStream;
        EXPECT_FALSE(fromStream.LoadRawFromStream(nullptr, 0, &stream)) << length;
    }
    // A size whose rows are not there is refused before anything is allocated.
    std::vector<uint8_t> huge = bytes;
    const int32_t big = 1000000;
    std::memcpy(huge.data() + 20, &big, 4);
    std::memcpy(huge.data() + 24, &big, 4);
    TIEBitmap target;
    EXPECT_FALSE(target.LoadRawFromStream(huge.data(), huge.size(), nullptr));
    // A fixture for the fuzzer's first inputs.
    imaging_test::WriteBytes(imaging_test::FixtureFolder("raw_stream") / "alpha.tieraw", bytes.data(), bytes.size());
}
