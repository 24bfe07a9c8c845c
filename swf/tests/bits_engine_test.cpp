#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>

#include "swf/bits_engine.h"
#include "swf/value_records.h"
#include "test_util.h"

namespace {

Bytes Written(const std::function<void(TBitsEngine&)>& write) {
    TMemoryStream out;
    TBitsEngine be(out);
    write(be);
    return out.Bytes();
}

struct RecordCase {
    const char* name;
    std::function<void(TBitsEngine&)> write;
    const char* bytes;
    std::function<void(TBitsEngine&)> checkRead;  // reads the bytes back
};

}  // namespace

TEST(BitsEngine, RecordVectorsBothWays) {
    const RecordCase cases[] = {
        {"bits then word pads", [](TBitsEngine& be) { be.WriteBits(5, 3); be.WriteWord(0x1234); }, "A0 34 12",
         [](TBitsEngine& be) { EXPECT_EQ(be.GetBits(3), 5u); be.FlushLastByte(false); EXPECT_EQ(be.ReadWord(), 0x1234); }},
        {"byte through the packer", [](TBitsEngine& be) { be.WriteBits(5, 3); be.WriteByte(0xFF); be.FlushLastByte(true); },
         "BF E0", [](TBitsEngine& be) { EXPECT_EQ(be.GetBits(3), 5u); EXPECT_EQ(be.GetBits(8), 0xFFu); }},
        {"u32 zero", [](TBitsEngine& be) { be.WriteEncodedU32(0); }, "00",
         [](TBitsEngine& be) { EXPECT_EQ(be.ReadEncodedU32(), 0u); }},
        {"u32 127", [](TBitsEngine& be) { be.WriteEncodedU32(127); }, "7F",
         [](TBitsEngine& be) { EXPECT_EQ(be.ReadEncodedU32(), 127u); }},
        {"u32 128", [](TBitsEngine& be) { be.WriteEncodedU32(128); }, "80 01",
         [](TBitsEngine& be) { EXPECT_EQ(be.ReadEncodedU32(), 128u); }},
        {"u32 16384", [](TBitsEngine& be) { be.WriteEncodedU32(16384); }, "80 80 01",
         [](TBitsEngine& be) { EXPECT_EQ(be.ReadEncodedU32(), 16384u); }},
        {"u32 max", [](TBitsEngine& be) { be.WriteEncodedU32(0xFFFFFFFF); }, "FF FF FF FF 0F",
         [](TBitsEngine& be) { EXPECT_EQ(be.ReadEncodedU32(), 0xFFFFFFFFu); }},
        {"empty rect", [](TBitsEngine& be) { be.WriteRect(TRect{}); }, "00",
         [](TBitsEngine& be) { EXPECT_EQ(be.ReadRect(), TRect{}); }},
        {"rect 11000 wide", [](TBitsEngine& be) { be.WriteTRect(TRect{0, 0, 11000, 0}); }, "78 00 05 5F 00 00 00 00 00",
         [](TBitsEngine& be) { EXPECT_EQ(be.ReadRect(), (TRect{0, 0, 11000, 0})); }},
        {"frame rect", [](TBitsEngine& be) { be.WriteTRect(TRect{0, 0, 11000, 8000}); }, "78 00 05 5F 00 00 0F A0 00",
         [](TBitsEngine& be) { EXPECT_EQ(be.ReadRect(), (TRect{0, 0, 11000, 8000})); }},
        {"identity matrix", [](TBitsEngine& be) { be.WriteMatrix(TSWFMatrixRec{}); }, "00",
         [](TBitsEngine& be) { EXPECT_EQ(be.ReadMatrix(), TSWFMatrixRec{}); }},
        {"matrix scale skew move",
         [](TBitsEngine& be) { be.WriteMatrix(SWFMatrix(true, true, 65536, -65536, 1, -2, 20, -40)); }, nullptr,
         [](TBitsEngine& be) { EXPECT_EQ(be.ReadMatrix(), SWFMatrix(true, true, 65536, -65536, 1, -2, 20, -40)); }},
        {"cxform with alpha",
         [](TBitsEngine& be) {
             TSWFColorTransformRec c; c.HasMult = c.HasAdd = c.HasAlpha = true;
             c.MultR = 256; c.MultG = 128; c.MultB = 0; c.MultA = 64; c.AddR = -255; c.AddG = 1; c.AddB = 0; c.AddA = 2;
             be.WriteColorTransform(c); }, nullptr,
         [](TBitsEngine& be) {
             TSWFColorTransformRec c = be.ReadColorTransform(true);
             EXPECT_TRUE(c.HasMult && c.HasAdd && c.HasAlpha);
             EXPECT_EQ(c.MultG, 128); EXPECT_EQ(c.MultA, 64); EXPECT_EQ(c.AddR, -255); EXPECT_EQ(c.AddA, 2); }},
        {"string with nul", [](TBitsEngine& be) { be.WriteString("abc", true, false); }, "61 62 63 00",
         [](TBitsEngine& be) { EXPECT_EQ(be.ReadString(), "abc"); }},
        {"string as utf8", [](TBitsEngine& be) { be.WriteString("\xE9", false, true); }, "C3 A9",
         [](TBitsEngine& be) { EXPECT_EQ(be.ReadFixedString(2), "\xC3\xA9"); }},
        {"big-endian double one", [](TBitsEngine& be) { be.WriteBuffer(HexBytes("3FF0000000000000").data(), 8); },
         "3F F0 00 00 00 00 00 00", [](TBitsEngine& be) { EXPECT_EQ(be.ReadBEDouble(), 1.0); }},
        {"big-endian double pi", [](TBitsEngine& be) { be.WriteBuffer(HexBytes("400921FB54442D18").data(), 8); },
         "40 09 21 FB 54 44 2D 18", [](TBitsEngine& be) { EXPECT_EQ(be.ReadBEDouble(), std::numbers::pi); }},
        {"double little-endian", [](TBitsEngine& be) { be.WriteDouble(1.0); }, "00 00 00 00 00 00 F0 3F",
         [](TBitsEngine& be) { EXPECT_EQ(be.ReadDouble(), 1.0); }},
        {"fixed", [](TBitsEngine& be) { be.WriteFixed(-0.5f); }, "00 80 FF FF",
         [](TBitsEngine& be) { EXPECT_EQ(be.ReadFixed(), -0.5f); }},
    };
    for (const RecordCase& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes bytes = Written(c.write);
        if (c.bytes) {
            EXPECT_EQ(ToHex(bytes), ToHex(HexBytes(c.bytes)));
        }
        TMemoryStream in(bytes);
        TBitsEngine be(in);
        c.checkRead(be);
        EXPECT_EQ(in.GetPosition(), in.GetSize());
    }
}

TEST(BitsEngine, BitFieldEdges) {
    TMemoryStream out;
    TBitsEngine be(out);
    be.WriteBits(1, 1);
    be.WriteBits(0xFFFF, 0);  // nothing
    EXPECT_EQ(be.PendingCount, 1);
    be.WriteBits(0xFFFFFFFF, 32);
    be.FlushLastByte(true);
    EXPECT_EQ(ToHex(out.Bytes()), "FF FF FF FF 80");

    TMemoryStream in(HexBytes("F8 78"));
    TBitsEngine reader(in);
    EXPECT_EQ(reader.GetSBits(5), -1);   // 11111
    reader.GetBits(3);
    EXPECT_EQ(reader.GetSBits(5), 15);   // 01111
    EXPECT_EQ(reader.GetSBits(0), 0);

    TMemoryStream six(HexBytes("01 02 03 04 05 06"));
    TBitsEngine nbytes(six);
    EXPECT_EQ(nbytes.ReadNBytes(6), 0x04030201u);
    EXPECT_EQ(six.GetPosition(), 4);
}

// A record's fields are as wide as its bit-count field can say (31 bits for
// RECT and MATRIX, 15 for CXFORM): the widest value that fits reads back,
// one bit more raises instead of writing a wrapped count.
TEST(BitsEngine, RecordValuesBeyondTheirBitCountRaise) {
    const int32_t widest = (1 << 30) - 1;
    auto rect = [](int32_t v) { return [v](TBitsEngine& be) { be.WriteTRect(TRect{0, -5, v, 7}); }; };
    using TSet = void (*)(TSWFMatrixRec&, int32_t);
    auto matrix = [](TSet set, int32_t v) {
        return [set, v](TBitsEngine& be) {
            TSWFMatrixRec m;
            set(m, v);
            be.WriteMatrix(m);
        };
    };
    TSet translate = [](TSWFMatrixRec& m, int32_t v) { m.TranslateX = v; };
    TSet scale = [](TSWFMatrixRec& m, int32_t v) {
        m.HasScale = true;
        m.ScaleX = 65536;
        m.ScaleY = v;
    };
    TSet skew = [](TSWFMatrixRec& m, int32_t v) {
        m.HasSkew = true;
        m.SkewX = v;
    };
    auto cxform = [](int16_t v) {
        return [v](TBitsEngine& be) {
            TSWFColorTransformRec c;
            c.HasAdd = c.HasMult = c.HasAlpha = true;
            c.MultA = v;
            be.WriteColorTransform(c);
        };
    };
    struct Case {
        const char* name;
        std::function<void(TBitsEngine&)> write;
        std::function<void(TBitsEngine&)> checkRead;  // null: the write raises
    } cases[] = {
        {"RECT widest", rect(widest), [&](TBitsEngine& be) { EXPECT_EQ(be.ReadRect().Right, widest); }},
        {"RECT most negative", rect(-widest), [&](TBitsEngine& be) { EXPECT_EQ(be.ReadRect().Left, -widest); }},
        {"RECT 2^30", rect(1 << 30), nullptr},
        {"RECT INT32_MIN", rect(INT32_MIN), nullptr},
        {"translation widest", matrix(translate, -widest),
         [&](TBitsEngine& be) { EXPECT_EQ(be.ReadMatrix().TranslateX, -widest); }},
        {"translation 2^30", matrix(translate, 1 << 30), nullptr},
        {"scale 2^30", matrix(scale, 1 << 30), nullptr},
        {"skew INT32_MAX", matrix(skew, INT32_MAX), nullptr},
        {"CXFORM widest", cxform(16383), [](TBitsEngine& be) { EXPECT_EQ(be.ReadColorTransform(true).MultA, 16383); }},
        {"CXFORM 2^14", cxform(16384), nullptr},
        {"CXFORM -32768", cxform(-32768), nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TMemoryStream out;
        TBitsEngine be(out);
        if (!c.checkRead) {
            try {
                c.write(be);
                ADD_FAILURE() << "no exception";
            } catch (const EWriteError& e) {
                EXPECT_NE(std::string(e.what()).find("the record's fields hold at most"), std::string::npos)
                    << e.what();
            }
            continue;
        }
        c.write(be);
        out.SetPosition(0);
        TBitsEngine reader(out);
        c.checkRead(reader);
    }
}

TEST(BitsEngine, LongStringAndReadsPastTheEnd) {
    Bytes bytes = HexBytes("01 2C");
    for (int i = 0; i < 300; ++i) bytes.push_back(static_cast<uint8_t>('a' + i % 26));
    TMemoryStream in(bytes);
    TBitsEngine be(in);
    EXPECT_EQ(be.ReadLongString(false).size(), 300u);
    EXPECT_THROW(be.ReadByte(), EReadError);

    // Strings of 64 KB and more keep their whole length both ways, and a
    // length beyond the record is refused before anything is allocated.
    for (size_t size : {size_t(65535), size_t(65536), size_t(70000)}) {
        std::string text(size, 'x');
        text.back() = 'y';
        TMemoryStream out;
        TBitsEngine writer(out);
        writer.WriteU30String(text);
        writer.WriteByte(0x5A);
        out.SetPosition(0);
        TBitsEngine back(out);
        EXPECT_EQ(back.ReadLongString(true), text);
        EXPECT_EQ(back.ReadByte(), 0x5A);
    }
    TMemoryStream claimsMore(HexBytes("FF FF FF FF 0F 61 62"));
    TBitsEngine liar(claimsMore);
    EXPECT_THROW(liar.ReadLongString(true), EReadError);

    TMemoryStream unterminated(HexBytes("61 62"));
    TBitsEngine strings(unterminated);
    EXPECT_THROW(strings.ReadString(), EReadError);
}

TEST(BitsEngine, FixedPointAndCounts) {
    EXPECT_EQ(SingleToFixed8(12.5f), 0x0C80);
    EXPECT_EQ(Fixed8ToSingle(0x0C80), 12.5f);
    EXPECT_EQ(SingleToFixed8(29.97f), 0x1DF8);
    EXPECT_EQ(SingleToFixed(-0.5f), -32768);
    EXPECT_EQ(GetBitsCount(0), 0);
    EXPECT_EQ(GetBitsCount(-1), 32);
    EXPECT_EQ(GetBitsCount(8), 4);
    EXPECT_EQ(GetSignedBitsCount(-8, 1), 5);  // -2^k gets k + 2 bits
    EXPECT_EQ(GetSignedBitsCount(7, 1), 4);
    EXPECT_TRUE(CheckBit(0x8000, 16));
    EXPECT_FALSE(CheckBit(0x8000, 15));
}

TEST(ValueRecords, KeepTheirInvariants) {
    TSWFRect rect;
    rect.SetXmax(-10);
    EXPECT_EQ(rect.Xmin, -10);
    EXPECT_EQ(rect.Xmax, 0);
    rect.SetRect(TRect{100, 50, 0, 0});
    EXPECT_EQ(rect.GetSWFRect(), (TRect{0, 100, 0, 50}));

    TSWFRGBA opaque(false), clear(true);
    EXPECT_EQ(opaque.A, 255);
    EXPECT_EQ(clear.A, 0);
    EXPECT_TRUE(clear.HasAlpha);
    clear.SetRGB(SWFRGB(1, 2, 3));
    EXPECT_EQ(clear.A, 255);
    EXPECT_TRUE(clear.HasAlpha);
    opaque.SetAlpha(128);
    opaque.SetAlpha(255);
    EXPECT_TRUE(opaque.HasAlpha);
    opaque.SetHasAlpha(false);
    EXPECT_EQ(opaque.A, 255);

    TSWFColorTransform cx;
    cx.SetAddR(300);
    EXPECT_EQ(cx.AddR, 255);
    cx.SetAddR(-300);
    EXPECT_EQ(cx.AddR, -255);
    cx.SetMultG(-5);
    EXPECT_EQ(cx.MultG, 0);
    cx.SetMultG(1000);
    EXPECT_EQ(cx.MultG, 256);
    TSWFColorTransform alpha;
    alpha.SetMultA(128);
    EXPECT_TRUE(alpha.HasMult && alpha.HasAlpha);

    TSWFMatrix m;
    m.SetScale(1.5f, 2.0f);
    EXPECT_EQ(m.ScaleX, 98304);
    EXPECT_EQ(m.ScaleY, 131072);
    m.SetSkew(0.1f, 0.0f);
    EXPECT_EQ(m.SkewX, 6553);
    TSWFMatrix turn;
    turn.SetRotate(90);
    EXPECT_LE(std::abs(turn.ScaleX), 1);
    EXPECT_LE(std::abs(turn.ScaleY), 1);
    EXPECT_EQ(turn.SkewX, 65536);
    EXPECT_EQ(turn.SkewY, -65536);
}
