// The GIF object model: frames from bitmaps, logical screen, colour tables,
// extensions and the frame helpers of animated GIF export.
#include <gtest/gtest.h>

#include <cstring>

#include "gif_test_support.h"
#include "pictures/gif_frame_helpers.h"


TEST(GifModel, FramesGrowTheLogicalScreenWithWarningsOnlyAfterTheFirst) {
    TGIFImage gif;
    std::vector<std::string> warnings;
    gif.OnGIFWarning = [&warnings](TGIFImage&, int, const std::string& message) { warnings.push_back(message); };
    gif.AddImage(GradientBitmap(320, 240));
    EXPECT_EQ(gif.Width(), 320);
    EXPECT_EQ(gif.Height(), 240);
    EXPECT_TRUE(warnings.empty());

    gif.AddImage(GradientBitmap(400, 100));
    EXPECT_EQ(gif.Width(), 400);
    EXPECT_EQ(gif.Height(), 240);
    EXPECT_EQ(warnings, (std::vector<std::string>{"Image width too small for contained frames",
                                                  "Image exceeds Logical Screen size"}));
    EXPECT_THROW(gif.SetWidth(399), GIFException);
    EXPECT_EQ(gif.Width(), 400);
}

TEST(GifModel, ReductionToOctreeGivesA256EntryTableAndRdNoneOverflowsPast256Colours) {
    TGIFImage gif;
    gif.ReductionMethod = rdOctree;
    TPictureBitmap fewColours(16, 16, TPixelFormat::pf24bit);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) fewColours.SetPixel(x, y, {static_cast<uint8_t>(x * 10), 0, 0});
    gif.AddImage(fewColours);
    EXPECT_EQ(gif.GetSubImage(0).LocalTable().Count(), 256);
    // The pixels come back as they were: 16 colours fit the octree exactly.
    TPictureBitmap back = gif.GetSubImage(0).ToBitmap();
    for (int x = 0; x < 16; ++x) EXPECT_EQ(back.GetPixel(x, 3).Red, x * 10);

    gif.ReductionMethod = rdNone;
    EXPECT_THROW(
        {
            try {
                gif.AddImage(GradientBitmap(64, 64));
            } catch (const GIFException& error) {
                EXPECT_STREQ(error.what(), "Color table overflow");
                throw;
            }
        },
        GIFException);
    EXPECT_EQ(gif.Count(), 1);  // the failed frame is not kept

    // rdNone keeps the exact colours of a picture of at most 256 colours.
    gif.AddImage(fewColours);
    EXPECT_EQ(gif.GetSubImage(1).LocalTable().Count(), 16);
}

TEST(GifModel, ColourTableRulesAndTheirMessages) {
    TGIFImage gif;
    std::vector<std::string> warnings;
    gif.OnGIFWarning = [&warnings](TGIFImage&, int, const std::string& message) { warnings.push_back(message); };
    TGIFColorMap& table = gif.GlobalColorMap();
    try {
        table.GetEntryColor(0);
        FAIL();
    } catch (const GIFException& error) {
        EXPECT_STREQ(error.what(), "Color table is empty");
    }
    EXPECT_EQ(warnings, std::vector<std::string>{"Invalid color index"});

    for (int i = 0; i < 17; ++i) table.Add({static_cast<uint8_t>(i), 0, 0});
    EXPECT_EQ(table.Capacity(), 32);
    EXPECT_EQ(table.BitsPerPixel(), 5);
    EXPECT_EQ(table.AddUnique({5, 0, 0}), 5);
    EXPECT_EQ(table.GetEntryColor(16), 16u);
    EXPECT_THROW(table.Delete(17), GIFException);
    for (int i = 17; i < 256; ++i) table.Add({0, static_cast<uint8_t>(i), 0});
    EXPECT_THROW(table.Add({1, 2, 3}), GIFException);
}

TEST(GifModel, TransparentIndexIsCheckedAgainstTheActiveTable) {
    TGIFImage gif;
    std::vector<std::string> warnings;
    gif.OnGIFWarning = [&warnings](TGIFImage&, int, const std::string& message) { warnings.push_back(message); };
    TGIFSubImage& frame = AddIndexedFrame(gif, 2, 2, 32, {0, 1, 2, 3}, false);
    TGIFGraphicControlExtension control(&frame);
    control.SetTransparentIndex(40);
    EXPECT_EQ(control.TransparentIndex(), 0);
    EXPECT_EQ(warnings, std::vector<std::string>{"Invalid color index"});

    TGIFSubImage bare(&gif);
    TGIFGraphicControlExtension free(&bare);
    free.SetTransparentIndex(40);
    EXPECT_EQ(free.TransparentIndex(), 40);

    // Flag, disposal and delay share the packed byte as the file has them.
    control.SetTransparentFlag(true);
    control.SetDisposalMethod(2);
    control.SetUserInputFlag(true);
    EXPECT_EQ(control.DisposalMethod(), 2);
    EXPECT_TRUE(control.TransparentFlag());
    EXPECT_TRUE(frame.HasTransparency);
}

TEST(GifModel, SortByUseOrdersByCountAndDropsUnusedEntries) {
    TGIFImage gif;
    TGIFSubImage& frame = AddIndexedFrame(gif, 4, 2, 4, {2, 2, 2, 1, 1, 2, 1, 2}, false);
    TGIFColor two = frame.LocalTable()[2], one = frame.LocalTable()[1];
    EXPECT_TRUE(frame.LocalTable().SortByUse());
    ASSERT_EQ(frame.LocalTable().Count(), 2);
    EXPECT_EQ(frame.LocalTable()[0], two);
    EXPECT_EQ(frame.LocalTable()[1], one);
    EXPECT_EQ(frame.IndexData(), (std::vector<uint8_t>{0, 0, 0, 1, 1, 0, 1, 0}));

    // Already in order of use: nothing changes, the unused entry stays.
    TGIFSubImage& sorted = AddIndexedFrame(gif, 6, 1, 4, {0, 0, 0, 1, 1, 2}, false);
    EXPECT_TRUE(sorted.LocalTable().SortByUse());
    EXPECT_EQ(sorted.LocalTable().Count(), 4);

    TGIFSubImage& single = AddIndexedFrame(gif, 1, 1, 1, {0}, false);
    EXPECT_FALSE(single.LocalTable().SortByUse());
}

TEST(GifModel, MaskedBitmapGetsATransparentEntry) {
    TGIFImage gif;
    gif.ReductionMethod = rdNone;
    TPictureBitmap bitmap(3, 1, TPixelFormat::pf24bit);
    bitmap.SetPixel(0, 0, {255, 0, 0});
    bitmap.SetPixel(1, 0, {0, 255, 0});
    bitmap.SetPixel(2, 0, {0, 255, 0});
    bitmap.Mask = {0, 0, 1};
    gif.AddImage(bitmap);
    TGIFSubImage& frame = gif.GetSubImage(0);
    ASSERT_TRUE(frame.HasTransparency);
    ASSERT_NE(frame.GraphicControl(), nullptr);
    int transparent = frame.GraphicControl()->TransparentIndex();
    EXPECT_EQ(frame.IndexData()[2], transparent);
    EXPECT_NE(frame.IndexData()[1], transparent);
    EXPECT_EQ(frame.LocalTable().Count(), 3);
}

TEST(GifModel, AddGifFrameSetsLoopDelayAndTransparencyOnlyForUsedColours) {
    TGIFImage gif;
    gif.ReductionMethod = rdNone;
    TPictureBitmap white(4, 4, TPixelFormat::pf24bit);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) white.SetPixel(x, y, x == 0 ? TGIFColor{255, 0, 0} : TGIFColor{255, 255, 255});

    EXPECT_EQ(AddGifFrame(gif, white, 0xFFFFFF, 3, 1000 / 24), 0);
    TGIFSubImage& first = gif.GetSubImage(0);
    ASSERT_EQ(first.ExtensionBlocks().size(), 2u);
    auto* loop = dynamic_cast<TGIFAppExtNSLoop*>(first.ExtensionBlocks()[0].get());
    ASSERT_NE(loop, nullptr);
    EXPECT_EQ(loop->LoopCount, 3);
    TGIFGraphicControlExtension* control = first.GraphicControl();
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->DelayTime(), 4);
    EXPECT_TRUE(control->TransparentFlag());
    EXPECT_EQ(first.LocalTable()[control->TransparentIndex()], (TGIFColor{255, 255, 255}));
    EXPECT_EQ(control->DisposalMethod(), 2);

    // A colour no pixel uses, and no colour at all: no transparency.
    for (int64_t colour : {int64_t{0x00FF00}, int64_t{-1}}) {
        int index = AddGifFrame(gif, white, colour, 0, 100);
        TGIFSubImage& frame = gif.GetSubImage(index);
        EXPECT_EQ(frame.ExtensionBlocks().size(), 1u);
        EXPECT_FALSE(frame.HasTransparency);
        EXPECT_EQ(frame.GraphicControl()->DelayTime(), 10);
        EXPECT_EQ(frame.GraphicControl()->DisposalMethod(), 0);
    }
    EXPECT_EQ(FindUsedPaletteIndex(first, 0x0000FF), first.LocalTable().IndexOf({255, 0, 0}));
    EXPECT_EQ(FindUsedPaletteIndex(first, 0x123456), -1);
}

TEST(GifModel, ExtensionsRoundTripThroughTheStream) {
    TGIFImage gif;
    TGIFSubImage& frame = AddIndexedFrame(gif, 2, 1, 2, {0, 1}, true);
    auto comment = std::make_unique<TGIFCommentExtension>(&frame);
    comment->Text = {std::string(300, 'a'), "", "second"};
    frame.AddExtension(std::move(comment));
    auto text = std::make_unique<TGIFTextExtension>(&frame);
    text->Grid[0] = 7;
    text->Text = {"plain"};
    frame.AddExtension(std::move(text));
    auto unknown = std::make_unique<TGIFUnknownAppExtension>(&frame);
    std::memcpy(unknown->Identifier.data(), "XMP DataXMP", 11);
    unknown->Blocks = {{1, 2, 3}, {4}};
    frame.AddExtension(std::move(unknown));
    auto loop = std::make_unique<TGIFAppExtNSLoop>(&frame);
    loop->LoopCount = 513;
    loop->BufferSizeHint = 0x01020304;
    frame.AddExtension(std::move(loop));

    TGIFImage back;
    LoadResult result = LoadGif(back, SaveGif(gif));
    EXPECT_TRUE(result.warnings.empty());
    ASSERT_EQ(back.Count(), 1);
    const auto& blocks = back.GetSubImage(0).ExtensionBlocks();
    ASSERT_EQ(blocks.size(), 4u);
    // A 300-byte line is two sub-blocks, and each reads back as a line.
    EXPECT_EQ(dynamic_cast<TGIFCommentExtension&>(*blocks[0]).Text,
              (std::vector<std::string>{std::string(255, 'a'), std::string(45, 'a'), "second"}));
    EXPECT_EQ(dynamic_cast<TGIFTextExtension&>(*blocks[1]).Grid[0], 7);
    EXPECT_EQ(dynamic_cast<TGIFTextExtension&>(*blocks[1]).Text, std::vector<std::string>{"plain"});
    EXPECT_EQ(dynamic_cast<TGIFUnknownAppExtension&>(*blocks[2]).Blocks,
              (std::vector<std::vector<uint8_t>>{{1, 2, 3}, {4}}));
    EXPECT_EQ(dynamic_cast<TGIFAppExtNSLoop&>(*blocks[3]).LoopCount, 513);
    EXPECT_EQ(dynamic_cast<TGIFAppExtNSLoop&>(*blocks[3]).BufferSizeHint, 0x01020304u);
}
