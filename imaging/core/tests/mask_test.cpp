// The selection mask's data operations: polygons, spans, moving, resizing,
// the full flag and copying through the mask.
#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "imaging/core/ie_mask.h"
#include "imaging/core/tests/mask_rows.h"

TEST(MaskTest, PixelsBoxAndFullFlagAtBothDepths) {
    TIEMask m;
    EXPECT_TRUE(m.IsEmpty());
    for (int32_t depth : {1, 8}) {
        m.AllocateBits(10, 10, depth);
        EXPECT_TRUE(m.IsEmpty());
        EXPECT_EQ(m.GetPixel(3, 4), 0);
        m.SetPixel(-1, 0, 1);
        EXPECT_TRUE(m.IsEmpty());
        m.SetPixel(3, 4, 1);
        EXPECT_EQ((std::array{m.X1, m.Y1, m.X2, m.Y2}), (std::array{3, 4, 3, 4}));
        m.Fill(255);
        m.SyncFull();
        EXPECT_TRUE(m.Full()) << depth;
        m.SetPixel(9, 9, 0);
        EXPECT_FALSE(m.Full()) << depth;
        EXPECT_EQ(m.GetPixel(10, 0), 0);
    }
}

TEST(MaskTest, PolygonsFillTopInclusiveBottomExclusive) {
    TIEMask m;
    m.AllocateBits(20, 20, 1);
    const TPoint square[] = {{2, 2}, {6, 2}, {6, 6}, {2, 6}};
    m.DrawPolygon(1, square, 4);
    EXPECT_EQ(CountSet(m), 16);
    for (int32_t y = 2; y <= 5; ++y)
        for (int32_t x = 2; x <= 5; ++x) EXPECT_TRUE(m.IsPointInside(x, y)) << x << "," << y;
    EXPECT_EQ((std::array{m.X1, m.Y1, m.X2, m.Y2}), (std::array{2, 2, 5, 5}));

    TIEMask two;
    two.AllocateBits(20, 20, 8);
    const TPoint both[] = {{0, 0}, {2, 0}, {2, 2}, {0, 2}, {TIEMask::kPolygonSeparator, 0},
                           {10, 10}, {13, 10}, {13, 13}, {10, 13}};
    two.DrawPolygons(200, both, 9);
    EXPECT_EQ(CountSet(two), 4 + 9);
    EXPECT_EQ(two.GetPixel(12, 12), 200);

    // A triangle: even-odd spans along sloped edges.
    TIEMask tri;
    tri.AllocateBits(20, 20, 1);
    const TPoint t[] = {{0, 0}, {8, 8}, {0, 8}};
    tri.DrawPolygon(1, t, 3);
    // Row 0 has an empty span (both edges at x 0); below, the sloped edge's
    // column is excluded.
    EXPECT_FALSE(tri.IsPointInside(0, 0));
    for (int32_t y = 1; y < 8; ++y) {
        EXPECT_TRUE(tri.IsPointInside(0, y)) << y;
        EXPECT_TRUE(tri.IsPointInside(y - 1, y)) << y;
        EXPECT_FALSE(tri.IsPointInside(y, y)) << y;
    }
    EXPECT_FALSE(tri.IsPointInside(0, 8));

    TIEMask left;
    left.AllocateBits(10, 10, 1);
    const TPoint outside[] = {{-20, 1}, {-10, 1}, {-10, 5}, {-20, 5}};
    left.DrawPolygon(1, outside, 4);
    EXPECT_EQ(CountSet(left), 0);
    EXPECT_TRUE(left.IsEmpty());
}

TEST(MaskTest, TranslateWithAndWithoutClipAndResize) {
    for (bool clip : {false, true}) {
        TIEMask m;
        m.AllocateBits(20, 10, 1);
        for (int32_t x = 2; x <= 7; ++x) m.SetPixel(x, 3, 1);
        int32_t dx = -5, dy = 0;
        m.TranslateBitmap(dx, dy, clip);
        if (!clip) {
            EXPECT_EQ(dx, -2);
            EXPECT_EQ(CountSet(m), 6);
            EXPECT_TRUE(m.IsPointInside(0, 3));
            EXPECT_TRUE(m.IsPointInside(5, 3));
        } else {
            EXPECT_EQ(dx, -5);
            EXPECT_EQ(CountSet(m), 3);  // columns 2..4 dropped
            EXPECT_TRUE(m.IsPointInside(0, 3));
            EXPECT_TRUE(m.IsPointInside(2, 3));
            EXPECT_FALSE(m.IsPointInside(3, 3));
        }
    }
    TIEMask r;
    r.AllocateBits(10, 10, 8);
    r.SetPixel(1, 1, 9);
    r.SetPixel(8, 8, 9);
    r.Resize(5, 5);
    EXPECT_EQ(r.GetPixel(1, 1), 9);
    EXPECT_EQ((std::array{r.X1, r.Y1, r.X2, r.Y2}), (std::array{1, 1, 4, 4}));
}

TEST(MaskTest, CopyThroughHalfMaskBlendsHalfway) {
    TIEBitmap source(4, 1, ie24RGB), destination(4, 1, ie24RGB);
    source.Fill(0xC8C8C8);       // 200
    destination.Fill(0x0A0A0A);  // 10
    TIEMask m;
    m.AllocateBits(4, 1, 8);
    m.SetPixel(1, 0, 128);
    m.SetPixel(2, 0, 255);
    m.CopyBitmap(destination, source, true, false, false);
    const uint8_t* row = destination.GetScanline(0);
    EXPECT_EQ(row[3], 10 + (128 * 190 >> 8));  // 105: halfway, rounded down
    EXPECT_EQ(row[6], 10 + (255 * 190 >> 8));
    EXPECT_EQ(row[9], 10);                      // outside the box
    TIEBitmap* alpha = destination.GetAlphaChannel();
    EXPECT_EQ(alpha->GetScanline(0)[1], 128);
    EXPECT_EQ(alpha->GetScanline(0)[2], 255);
    EXPECT_FALSE(alpha->FullOpacity());
}
