// The magic wand: the traced outline, the connected fill and the global
// selection of similar colours.
#include <gtest/gtest.h>

#include <memory>

#include "imaging/core/ie_magic_wand.h"
#include "imaging/core/tests/mask_rows.h"

namespace {

std::unique_ptr<TIEBitmap> Picture(const std::vector<std::string>& rows) {
    // '#' dark, '+' a dark of a near colour, '.' light, anything else black.
    auto picture = std::make_unique<TIEBitmap>(static_cast<int32_t>(rows[0].size()), static_cast<int32_t>(rows.size()), ie24RGB);
    TIEBitmap& b = *picture;
    for (int32_t y = 0; y < b.GetHeight(); ++y)
        for (int32_t x = 0; x < b.GetWidth(); ++x) {
            const char c = rows[static_cast<size_t>(y)][static_cast<size_t>(x)];
            uint8_t* p = b.GetPixelTRGBPtr(x, y);
            const uint8_t v = c == '#' ? 60 : c == '+' ? 72 : c == '.' ? 230 : 0;
            p[0] = p[1] = v;
            p[2] = c == '+' ? 66 : v;
        }
    return picture;
}


}  // namespace

TEST(MagicWand, TracesTheOutlineOfAUniformImageAndOfASinglePixel) {
    TIEBitmap uniform(4, 3, ie24RGB);
    uniform.Fill(0x336699);
    const std::vector<TPoint> expected{{0, 0}, {4, 0}, {4, 0}, {4, 3}, {4, 3}, {0, 3}, {0, 3}, {0, 0}};
    EXPECT_EQ(IEMagicWandPolygon(uniform, 1, 1, 0, false), expected);

    auto singlePicture = Picture({".....", ".....", "..#..", ".....", "....."});
    TIEBitmap& single = *singlePicture;
    const std::vector<TPoint> pixel{{2, 2}, {3, 2}, {3, 2}, {3, 3}, {3, 3}, {2, 3}, {2, 3}, {2, 2}};
    EXPECT_EQ(IEMagicWandPolygon(single, 2, 2, 0, false), pixel);
    EXPECT_TRUE(IEMagicWandPolygon(single, 5, 2, 0, false).empty());  // outside
    EXPECT_TRUE(IEMagicWandPolygon(single, 2, 2, -1, false).empty());  // nothing is similar
}

TEST(MagicWand, ToleranceAndConnectivityOnTwoSimilarRegions) {
    // Two dark regions of near colours joined by a bridge, a third one
    // apart, and one touching only at a corner.
    auto picture = Picture({
        "##..++...#",
        "##..++...#",
        "######....",
        "..........",
        "#.........",
        ".#........",
    });
    TIEBitmap& b = *picture;
    struct Case {
        const char* what;
        int mode;  // 0 fill, 1 global
        int32_t tolerance;
        bool maxFilter;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"a tight tolerance stops at the near colour", 0, 5, false,
         {"xx--------", "xx--------", "xxxxxx----", "----------", "----------", "----------"}},
        {"a wider one takes the near colour through the bridge", 0, 15, false,
         {"xx--xx----", "xx--xx----", "xxxxxx----", "----------", "----------", "----------"}},
        {"the global mode takes similar pixels everywhere", 1, 5, false,
         {"xx-------x", "xx-------x", "xxxxxx----", "----------", "x---------", "-x--------"}},
        {"tolerance 255 takes everything", 0, 255, false,
         {"xxxxxxxxxx", "xxxxxxxxxx", "xxxxxxxxxx", "xxxxxxxxxx", "xxxxxxxxxx", "xxxxxxxxxx"}},
        {"the max filter grows the region by a pixel", 0, 5, true,
         {"xxx-------", "xxxxxxx---", "xxxxxxx---", "xxxxxxx---", "----------", "----------"}},
    };
    for (const Case& c : cases) {
        TIEMask mask;
        mask.AllocateBits(b.GetWidth(), b.GetHeight(), 1);
        if (c.mode == 0)
            IEMagicWandFill(b, 0, 0, 1, mask, c.tolerance, c.maxFilter);
        else
            IEMagicWandGlobal(b, 0, 0, 1, mask, c.tolerance);
        EXPECT_EQ(MaskRows(mask), c.expected) << c.what;
    }
    // Pixels touching at a corner only are separate regions.
    TIEMask corner;
    corner.AllocateBits(b.GetWidth(), b.GetHeight(), 1);
    IEMagicWandFill(b, 0, 4, 1, corner, 0, false);
    EXPECT_EQ(corner.GetPixel(1, 5), 0);
    EXPECT_NE(corner.GetPixel(0, 4), 0);
}

TEST(MagicWand, TheTracedPolygonEnclosesExactlyTheFilledRegion) {
    struct Shape {
        std::vector<std::string> rows;
        int32_t seedX, seedY;
    };
    const Shape shapes[] = {
        {{"..........", ".####.....", ".####.....", ".##.......", ".##..##...", ".######...", ".........."}, 1, 1},
        {{"..........", "....#.....", "...###....", "..#####...", "...###....", "....#.....", ".........."}, 4, 3},
    };
    for (const Shape& shape : shapes) {
        auto picture = Picture(shape.rows);
        TIEBitmap& b = *picture;
        TIEMask filled, traced;
        filled.AllocateBits(b.GetWidth(), b.GetHeight(), 1);
        traced.AllocateBits(b.GetWidth(), b.GetHeight(), 1);
        IEMagicWandFill(b, shape.seedX, shape.seedY, 1, filled, 0, false);
        const std::vector<TPoint> outline = IEMagicWandPolygon(b, shape.seedX, shape.seedY, 0, false);
        ASSERT_FALSE(outline.empty());
        traced.DrawPolygons(1, outline.data(), static_cast<int32_t>(outline.size()));
        EXPECT_EQ(MaskRows(traced), MaskRows(filled)) << shape.rows[1];
    }
}
