// Single-pixel access, alpha merging, imports from toolkit bitmaps, masks
// and DIBs, the whole-bitmap scans and the conversions a toolkit-held
// bitmap can take.
#include <gtest/gtest.h>

#include <cstring>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_dib_bitmap.h"
#include "imaging/core/ie_mask.h"

namespace {

void FillAlpha(TIEBitmap& bitmap, uint8_t value) {
    TIEBitmap* alpha = bitmap.GetAlphaChannel();
    alpha->Fill(value);
}

}  // namespace

TEST(PixelAccessTest, MergeAlphaKeepsTheLargerByteInsideTheClippedRectangle) {
    TIEBitmap source(4, 4, ie24RGB), destination(6, 3, ie24RGB);
    FillAlpha(source, 100);
    source.SetAlpha(0, 0, 50);
    source.SetAlpha(1, 0, 200);
    FillAlpha(destination, 120);
    // Lands at (4, 1): two columns and two rows fit.
    source.MergeAlphaRectTo(destination, 0, 0, 4, 1, 4, 4);
    EXPECT_EQ(destination.GetAlpha(4, 1), 120);  // max(120, 50)
    EXPECT_EQ(destination.GetAlpha(5, 1), 200);
    EXPECT_EQ(destination.GetAlpha(3, 1), 120);  // outside the rectangle
    EXPECT_EQ(destination.GetAlpha(5, 0), 120);
    EXPECT_EQ(destination.GetAlpha(5, 2), 120);
    EXPECT_EQ(destination.GetAlphaChannel()->GetWidth(), 6);
}

TEST(PixelAccessTest, AlphaAccessCreatesAnOpaqueChannelAndTracksFullOpacity) {
    TIEBitmap bitmap(3, 2, ie24RGB);
    EXPECT_FALSE(bitmap.GetHasAlphaChannel());
    EXPECT_EQ(bitmap.GetAlpha(2, 1), 255);
    ASSERT_TRUE(bitmap.GetHasAlphaChannel());
    EXPECT_TRUE(bitmap.GetAlphaChannel()->FullOpacity());
    bitmap.SetAlpha(1, 1, 255);
    EXPECT_TRUE(bitmap.GetAlphaChannel()->FullOpacity());
    bitmap.SetAlpha(1, 1, 254);
    EXPECT_EQ(bitmap.GetAlpha(1, 1), 254);
    EXPECT_FALSE(bitmap.GetAlphaChannel()->FullOpacity());
    // An alpha channel writes its own bytes.
    TIEBitmap* alpha = bitmap.GetAlphaChannel();
    alpha->SetAlpha(0, 0, 7);
    EXPECT_EQ(bitmap.GetAlpha(0, 0), 7);
}

// The accessors in every storage location, a file-backed bitmap included,
// whose rows must reach the file.
TEST(PixelAccessTest, DirectAccessorsRoundTripAtEveryLocationAndClearFullOpacity) {
    for (int64_t threshold : {int64_t{1} << 40, int64_t{0}}) {
        SCOPED_TRACE(threshold);
        auto make = [&](TIEPixelFormat format) {
            auto b = std::make_unique<TIEBitmap>();
            b->MemoryThreshold = threshold;
            b->Allocate(5, 4, format);
            b->SetFullOpacity(true);
            return b;
        };
        auto gray = make(ie8g);
        gray->SetPixelByte(4, 3, 255);
        EXPECT_TRUE(gray->FullOpacity());
        gray->SetPixelByte(4, 3, 9);
        gray->SetPixelByte(0, 0, 1);
        EXPECT_EQ(gray->GetPixelByte(4, 3), 9);
        EXPECT_FALSE(gray->FullOpacity());

        auto words = make(ie16g);
        words->SetPixelWord(3, 2, 65535);
        EXPECT_TRUE(words->FullOpacity());
        words->SetPixelWord(3, 2, 40000);
        words->SetPixelWord(0, 0, 1);
        EXPECT_EQ(words->GetPixelWord(3, 2), 40000);
        EXPECT_FALSE(words->FullOpacity());

        auto floats = make(ie32f);
        floats->SetPixelFloat(1, 1, 0.25f);
        floats->SetPixelFloat(0, 0, 1.0f);
        EXPECT_EQ(floats->GetPixelFloat(1, 1), 0.25f);
        EXPECT_FALSE(floats->FullOpacity());

        auto cmyk = make(ieCMYK);
        cmyk->SetPixelCMYK(2, 3, 0x11223344u);
        cmyk->SetPixelCMYK(0, 0, 0);
        EXPECT_EQ(cmyk->GetPixelCMYK(2, 3), 0x11223344u);
        EXPECT_TRUE(cmyk->FullOpacity());  // no rule for CMYK

        auto rgb = make(ie24RGB);
        rgb->SetPixelTRGB(4, 0, TRGB{1, 2, 3});
        rgb->SetPixelTRGB(0, 3, TRGB{4, 5, 6});
        EXPECT_EQ(rgb->GetPixelTRGB(4, 0), (TRGB{1, 2, 3}));
        EXPECT_EQ(rgb->GetPixelRGB(4, 0), (TRGB{1, 2, 3}));

        auto rgb48 = make(ieRGB48);
        const uint16_t white[3] = {65535, 65535, 65535}, some[3] = {1000, 2000, 65535};
        rgb48->SetPixelRGB48(1, 2, white);
        EXPECT_TRUE(rgb48->FullOpacity());
        rgb48->SetPixelRGB48(1, 2, some);
        rgb48->SetPixelRGB48(0, 0, white);
        uint16_t back[3];
        rgb48->GetPixelRGB48(1, 2, back);
        EXPECT_EQ(std::memcmp(back, some, sizeof back), 0);
        EXPECT_FALSE(rgb48->FullOpacity());
    }
}

TEST(PixelAccessTest, CopyFromTBitmapUnpacksEveryToolkitDepth) {
    // 1 bit with a colour table other than black and white: palette indices.
    TBitmap bits;
    bits.SetPixelFormat(TPixelFormat::pf1bit);
    bits.SetSize(10, 2);
    TPaletteEntry two[2] = {{200, 0, 0, 0}, {0, 0, 200, 0}};
    bits.SetPaletteEntries(0, 2, two);
    bits.ScanLine(1)[1] = 0x40;  // pixel 9 of row 1
    bits.ScanLine(1)[0] = 0x81;  // pixels 0 and 7
    TIEBitmap fromBits;
    fromBits.CopyFromTBitmap(bits);
    ASSERT_EQ(fromBits.GetPixelFormat(), ie8p);
    EXPECT_EQ(fromBits.GetPixelByte(0, 1), 1);
    EXPECT_EQ(fromBits.GetPixelByte(1, 1), 0);
    EXPECT_EQ(fromBits.GetPixelByte(7, 1), 1);
    EXPECT_EQ(fromBits.GetPixelByte(9, 1), 1);
    EXPECT_EQ(fromBits.GetPaletteColor(1), (TRGB{200, 0, 0}));

    // A black-and-white one stays 1 bit.
    TBitmap mono;
    mono.SetPixelFormat(TPixelFormat::pf1bit);
    mono.SetSize(3, 1);
    ASSERT_TRUE(mono.Monochrome());
    mono.ScanLine(0)[0] = 0xA0;
    TIEBitmap fromMono;
    fromMono.CopyFromTBitmap(mono);
    ASSERT_EQ(fromMono.GetPixelFormat(), ie1g);
    EXPECT_EQ(fromMono.GetPixelRGB(0, 0), (TRGB{255, 255, 255}));
    EXPECT_EQ(fromMono.GetPixelRGB(1, 0), (TRGB{0, 0, 0}));

    // 4 bits: the high nibble is the even pixel.
    TBitmap nibbles;
    nibbles.SetPixelFormat(TPixelFormat::pf4bit);
    nibbles.SetSize(3, 1);
    nibbles.ScanLine(0)[0] = 0x3C;
    nibbles.ScanLine(0)[1] = 0x70;
    TIEBitmap fromNibbles;
    fromNibbles.CopyFromTBitmap(nibbles);
    ASSERT_EQ(fromNibbles.GetPixelFormat(), ie8p);
    EXPECT_EQ(fromNibbles.GetPixelByte(0, 0), 3);
    EXPECT_EQ(fromNibbles.GetPixelByte(1, 0), 12);
    EXPECT_EQ(fromNibbles.GetPixelByte(2, 0), 7);

    // 15 and 16 bits: the five or six bits of each channel shifted up.
    struct Case {
        TPixelFormat format;
        uint16_t word;
        TRGB expected;
    };
    const Case cases[] = {
        {TPixelFormat::pf15bit, static_cast<uint16_t>(0x1F << 10 | 0x01 << 5 | 0x10), TRGB{0x80, 0x08, 0xF8}},
        {TPixelFormat::pf16bit, static_cast<uint16_t>(0x1F << 11 | 0x3F << 5 | 0x01), TRGB{0x08, 0xFC, 0xF8}},
    };
    for (const Case& c : cases) {
        TBitmap packed;
        packed.SetPixelFormat(c.format);
        packed.SetSize(2, 1);
        std::memcpy(packed.ScanLine(0) + 2, &c.word, 2);
        TIEBitmap unpacked;
        unpacked.CopyFromTBitmap(packed);
        ASSERT_EQ(unpacked.GetPixelFormat(), ie24RGB);
        EXPECT_EQ(unpacked.GetPixelTRGB(1, 0), c.expected);
        EXPECT_EQ(unpacked.GetPixelTRGB(0, 0), (TRGB{0, 0, 0}));
    }

    // At the toolkit location the bitmap is copied, not wrapped.
    TBitmap wide;
    wide.SetPixelFormat(TPixelFormat::pf24bit);
    wide.SetSize(4, 2);
    wide.ScanLine(1)[9] = 77;
    TIEBitmap held;
    held.GetTBitmap();
    held.CopyFromTBitmap(wide);
    EXPECT_EQ(held.GetLocation(), ieTBitmap);
    EXPECT_EQ(held.GetWidth(), 4);
    EXPECT_EQ(held.GetPixelTRGB(3, 1).b, 77);
    EXPECT_NE(held.GetTBitmap(), &wide);
}

TEST(PixelAccessTest, MasksAndDibsCopyRowsBothWays) {
    TIEMask soft;
    soft.AllocateBits(5, 3, 8);
    soft.SetPixel(4, 2, 128);
    TIEBitmap fromSoft;
    fromSoft.CopyFromTIEMask(&soft);
    ASSERT_EQ(fromSoft.GetPixelFormat(), ie8g);
    EXPECT_EQ(fromSoft.GetPixelByte(4, 2), 128);
    EXPECT_FALSE(fromSoft.FullOpacity());

    TIEMask hard;
    hard.AllocateBits(9, 2, 1);
    hard.Fill(255);  // every byte: all bits set
    TIEBitmap fromHard;
    fromHard.CopyFromTIEMask(&hard);
    ASSERT_EQ(fromHard.GetPixelFormat(), ie1g);
    EXPECT_EQ(fromHard.GetPixelRGB(8, 1), (TRGB{255, 255, 255}));
    EXPECT_EQ(fromHard.FullOpacity(), hard.Full());

    TIEBitmap filled(2, 2, ie8g);
    filled.CopyFromTIEMask(nullptr);
    EXPECT_EQ(filled.GetPixelByte(1, 1), 255);
    EXPECT_TRUE(filled.FullOpacity());

    // Back to a mask: 8 bits as they are, 24 bits as gray div 4.
    TIEMask back;
    IECopyBitmapToMask(fromSoft, back);
    EXPECT_EQ(back.BitsPerPixel(), 8);
    EXPECT_EQ(back.GetPixel(4, 2), 128);
    TIEBitmap colour(2, 1, ie24RGB);
    colour.SetPixelTRGB(1, 0, TRGB{30, 200, 10});  // gray (10*21 + 200*71 + 30*8) / 100 = 146
    IECopyBitmapToMask(colour, back);
    EXPECT_EQ(back.GetPixel(1, 0), 146 / 4);
    TIEMask untouched;
    TIEBitmap words(2, 2, ie16g);
    IECopyBitmapToMask(words, untouched);
    EXPECT_EQ(untouched.Width(), 0);

    TIEDibbitmap dib;
    ASSERT_TRUE(dib.AllocateBits(3, 2, 24));
    dib.GetScanline(1)[8] = 99;
    for (bool atToolkit : {false, true}) {
        TIEBitmap fromDib;
        if (atToolkit) fromDib.GetTBitmap();
        fromDib.CopyFromDibBitmap(&dib);
        ASSERT_EQ(fromDib.GetPixelFormat(), ie24RGB);
        EXPECT_EQ(fromDib.GetLocation(), atToolkit ? ieTBitmap : ieMemory);
        EXPECT_EQ(fromDib.GetPixelTRGB(2, 1).r, 99);
    }
}

TEST(PixelAccessTest, WholeBitmapScans) {
    TIEBitmap alpha(5, 2, ie8g);
    alpha.Fill(255);
    alpha.SetFullOpacity(false);
    IEUpdateAlphaFullFlag(alpha);
    EXPECT_TRUE(alpha.FullOpacity());
    alpha.GetScanline(1)[4] = 254;
    IEUpdateAlphaFullFlag(alpha);
    EXPECT_FALSE(alpha.FullOpacity());

    TIEBitmap zero(3, 3, ie24RGB);
    zero.Fill(0);
    EXPECT_TRUE(IEIsBitmapZero(zero));
    zero.GetScanline(2)[zero.GetRowLen() - 1] = 1;  // a padding byte counts
    EXPECT_FALSE(IEIsBitmapZero(zero));

    struct Case {
        TIEPixelFormat format;
        bool grayAfterSet;
    };
    for (Case c : {Case{ie24RGB, false}, Case{ieRGB48, false}, Case{ie8p, false}, Case{ieCMYK, true}}) {
        SCOPED_TRACE(static_cast<int>(c.format));
        TIEBitmap b(2, 2, c.format);
        b.Fill(0x808080);
        if (c.format == ie8p)
            for (int i = 0; i < 256; ++i) b.SetPaletteColor(i, TRGB{uint8_t(i), uint8_t(i), uint8_t(i)});
        EXPECT_TRUE(IEIsGrayBitmap(b));
        if (c.format == ie8p) b.SetPaletteColor(255, TRGB{1, 2, 3});
        else b.FillRect(1, 1, 1, 1, 0x102030);
        EXPECT_EQ(IEIsGrayBitmap(b), c.grayAfterSet);
    }
}

TEST(PixelAccessTest, ToolkitHeldBitmapsConvertOnlyThePairsTheToolkitTakes) {
    // 24 to 8-bit gray: the library's weights, in a toolkit bitmap of 8 bits.
    TIEBitmap gray;
    gray.GetTBitmap();
    gray.Allocate(3, 1, ie24RGB);
    gray.SetPixelTRGB(0, 0, TRGB{30, 200, 10});
    gray.GetAlphaChannel()->Fill(9);
    gray.SetPixelFormat(ie8g);
    EXPECT_EQ(gray.GetPixelFormat(), ie8g);
    EXPECT_EQ(gray.GetTBitmap()->PixelFormat(), TPixelFormat::pf8bit);
    EXPECT_EQ(gray.GetPixelByte(0, 0), 146);
    EXPECT_EQ(gray.GetAlpha(2, 0), 9);

    // 24 to 1 bit by threshold at the average gray, and 1 back to 24.
    TIEBitmap bits;
    bits.GetTBitmap();
    bits.Allocate(4, 1, ie24RGB);
    bits.Fill(0);
    bits.SetPixelTRGB(1, 0, TRGB{255, 255, 255});
    bits.SetPixelTRGB(3, 0, TRGB{255, 255, 255});
    bits.SetPixelFormat(ie1g);
    ASSERT_EQ(bits.GetPixelFormat(), ie1g);
    EXPECT_EQ(bits.GetTBitmap()->PixelFormat(), TPixelFormat::pf1bit);
    EXPECT_EQ(bits.GetScanline(0)[0] & 0xF0, 0x50);
    bits.SetPixelFormat(ie24RGB);
    ASSERT_EQ(bits.GetPixelFormat(), ie24RGB);
    EXPECT_EQ(bits.GetPixelTRGB(3, 0), (TRGB{255, 255, 255}));
    EXPECT_EQ(bits.GetPixelTRGB(2, 0), (TRGB{0, 0, 0}));

    // A pair the toolkit cannot hold leaves the bitmap as it was.
    bits.SetPixelFormat(ieCMYK);
    EXPECT_EQ(bits.GetPixelFormat(), ie24RGB);
    EXPECT_EQ(bits.GetPixelTRGB(1, 0), (TRGB{255, 255, 255}));

    // An empty toolkit bitmap takes the 1- or 24-bit format.
    TBitmap blank;
    TIEBitmap empty;
    empty.EncapsulateTBitmap(&blank, true);
    empty.SetPixelFormat(ie1g);
    EXPECT_EQ(blank.PixelFormat(), TPixelFormat::pf1bit);
}
