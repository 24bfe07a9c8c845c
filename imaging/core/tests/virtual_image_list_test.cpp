// The virtual image list: block sizes, reuse of freed blocks, eviction of
// the least recently used mapping, shrinking after the last delete, and
// images coming back as they went in.
#include <gtest/gtest.h>

#include <cstring>

#include "imaging/core/ie_virtual_image_list.h"

namespace {

std::unique_ptr<TIEBitmap> Pattern(int32_t width, int32_t height, bool alpha) {
    auto b = std::make_unique<TIEBitmap>(width, height, ie24RGB);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t i = 0; i < width * 3; ++i) b->GetScanline(y)[i] = static_cast<uint8_t>(i + 7 * y);
    if (alpha) {
        TIEBitmap* a = b->GetAlphaChannel();
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x) a->GetScanline(y)[x] = static_cast<uint8_t>(x * y);
        a->SetFullOpacity(false);
    }
    return b;
}


}  // namespace

TEST(VirtualImageListTest, ReservesReusesAndShrinks) {
    TIEVirtualImageList list("ILIST");
    auto plain = Pattern(100, 100, false);
    auto withAlpha = Pattern(100, 100, true);
    TIEVirtualItem* first = list.AddImage(*plain);
    TIEVirtualItem* second = list.AddImage(*withAlpha);
    EXPECT_EQ(first->Position, 0);
    EXPECT_EQ(first->Size, 30000);
    EXPECT_EQ(second->Position, 30000);
    EXPECT_EQ(second->Size, 40001);

    list.Delete(first);
    EXPECT_EQ(list.FreeBlockCount(), 1u);
    TIEVirtualItem* third = list.AddImage(*plain);
    EXPECT_EQ(third->Position, 0);
    EXPECT_EQ(list.FreeBlockCount(), 0u);

    // A large image grows the file and the growth step; the free list stays.
    list.Delete(third);
    auto big = Pattern(400, 300, false);
    TIEVirtualItem* large = list.AddImage(*big);
    EXPECT_EQ(large->Position, 70001);
    EXPECT_EQ(list.FreeBlockCount(), 1u);
    EXPECT_EQ(list.GrowthStep(), 360000);
    EXPECT_GE(list.FileSize(), 70001 + 360000);

    list.Delete(second);
    list.Delete(large);
    EXPECT_EQ(list.FreeBlockCount(), 0u);
    EXPECT_EQ(list.FileSize(), list.GrowthStep());
}

TEST(VirtualImageListTest, EvictsLeastRecentlyUsed) {
    TIEVirtualImageList list("ICACHE");
    auto small = Pattern(8, 8, false);
    std::vector<TIEVirtualItem*> items;
    for (int i = 0; i < 11; ++i) items.push_back(list.AddImage(*small));
    EXPECT_EQ(list.MappedCount(), 11);
    // Reading the first makes it the most recently used; the second goes.
    TIEBitmap out;
    list.CopyToIEBitmap(items[0], out);
    list.AddImage(*small);
    EXPECT_EQ(list.MappedCount(), 11);
    EXPECT_NE(items[0]->Data, nullptr);
    EXPECT_EQ(items[1]->Data, nullptr);
}

TEST(VirtualImageListTest, ImagesAndSharedBitmapsRoundTrip) {
    TIEVirtualImageList list("ILIST");
    auto original = Pattern(13, 5, true);
    TIEVirtualItem* item = list.AddImage(*original);
    auto opaque = Pattern(4, 4, false);
    opaque->GetAlphaChannel()->SetFullOpacity(true);
    TIEVirtualItem* opaqueItem = list.AddImage(*opaque);

    TIEBitmap back;
    list.CopyToIEBitmap(item, back);
    ASSERT_EQ(back.GetWidth(), 13);
    for (int32_t y = 0; y < 5; ++y) {
        EXPECT_EQ(std::memcmp(back.GetScanline(y), original->GetScanline(y), 39), 0) << y;
        EXPECT_EQ(std::memcmp(back.GetAlphaChannel()->GetScanline(y), original->GetAlphaChannel()->GetScanline(y), 13), 0);
    }
    TIEBitmap noAlpha;
    list.CopyToIEBitmap(opaqueItem, noAlpha);
    EXPECT_FALSE(noAlpha.GetHasAlphaChannel());
    EXPECT_EQ(list.GetItemAlphaBits(opaqueItem), nullptr);

    TIEBitmap* shared = list.GetImageBitmap(item);
    EXPECT_EQ(list.GetImageBitmap(item), shared);
    shared->Fill(0x010203);
    list.ReleaseBitmap(shared, false);
    EXPECT_TRUE(item->Shared);
    // Grown on write back: a new block, the old one back on the free list.
    shared->RemoveAlphaChannel(false, clWhite);
    shared->Resize(20, 5, 0, 255, 0, 0);
    list.ReleaseBitmap(shared, true);
    EXPECT_FALSE(item->Shared);
    EXPECT_EQ(list.GetItemWidth(item), 20);
    EXPECT_EQ(list.FreeBlockCount(), 1u);
    TIEBitmap again;
    list.CopyToIEBitmap(item, again);
    EXPECT_EQ(again.GetPixelRGB(0, 0), (TRGB{1, 2, 3}));
}
