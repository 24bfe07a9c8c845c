// Font and text tags: bodies in both directions, copies and the XML form
// from one table of cases; the choices the writers make (offset widths, the
// first fill of a glyph, bit counts, UTF-8 names and texts); and haxe's
// embedded font read, written and carried through XML unchanged.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>

#include "platform/codepage.h"
#include "platform/random.h"
#include "platform/xml.h"
#include "swf/font_tags.h"
#include "swf/names.h"
#include "swf/reader.h"
#include "swf/text_tags.h"
#include "swf/xml_form.h"
#include "test_util.h"
#include "tool_fixtures.h"

namespace {

// A square glyph whose first record selects no fill, as outline builders
// leave it.
void AddSquareGlyph(TSWFShapeRecordList& glyph, int size) {
    auto move = std::make_unique<TSWFStyleChangeRecord>();
    move->SetMoveTo(0, 0);
    glyph.push_back(std::move(move));
    for (auto [dx, dy] : {std::pair{size, 0}, {0, size}, {-size, 0}, {0, -size}}) {
        auto edge = std::make_unique<TSWFStraightEdgeRecord>();
        edge->DeltaX = dx;
        edge->DeltaY = dy;
        glyph.push_back(std::move(edge));
    }
}

std::unique_ptr<TSWFDefineFont2> MakeFont2(int glyphs, bool layout) {
    auto font = std::make_unique<TSWFDefineFont2>();
    font->FontId = 3;
    font->FontName = "Sq";
    font->FontFlagsHasLayout = layout;
    font->FontAscent = 900;
    font->FontDescent = 200;
    font->FontLeading = 10;
    for (int i = 0; i < glyphs; ++i) {
        AddSquareGlyph(font->AddGlyph(), 100 + i);
        font->CodeTable.push_back(static_cast<uint16_t>('A' + i % 26));
        font->FontAdvanceTable.push_back(static_cast<int16_t>(120 + i));
        TSWFRect bounds;
        bounds.SetRect(TRect{0, -(100 + i), 100 + i, 0});
        font->FontBoundsTable.push_back(bounds);
    }
    if (layout && glyphs > 1) font->GetKerningTable().push_back(TSWFKerningRecord{'A', 'B', -15});
    return font;
}

using Factory = std::function<std::unique_ptr<TSWFObject>()>;

struct Case {
    const char* name;
    Factory build;
    Factory fresh;    // what reads the body back (the file reader's context set)
    Bytes body;       // empty: only checked for a stable round trip
    int version;
};

template <class T>
Factory Fresh(int swfVersion = 0) {
    return [swfVersion] {
        auto tag = std::make_unique<T>();
        if (swfVersion) tag->SetSWFVersion(static_cast<uint8_t>(swfVersion));
        return tag;
    };
}

std::vector<Case> Cases() {
    return {
        {"DefineFont without glyphs",
         [] { auto f = std::make_unique<TSWFDefineFont>(); f->FontId = 1; return f; }, Fresh<TSWFDefineFont>(),
         HexBytes("01 00 00 00"), 1},
        {"DefineFont of two glyphs",
         [] {
             auto f = std::make_unique<TSWFDefineFont>();
             AddSquareGlyph(f->AddGlyph(), 20);
             f->AddGlyph();  // empty: the end bits alone
             return f;
         },
         Fresh<TSWFDefineFont>(), {}, 1},
        // No codes: the ANSI bit, no layout, and one offset entry pointing
        // just past itself.
        {"DefineFont2 without codes",
         [] { auto f = std::make_unique<TSWFDefineFont2>(); f->FontId = 1; f->FontFlagsHasLayout = true; return f; },
         Fresh<TSWFDefineFont2>(), HexBytes("01 00 10 00 00 00 00 02 00"), 3},
        {"DefineFont2 with layout and kerning", [] { return MakeFont2(3, true); }, Fresh<TSWFDefineFont2>(8), {}, 3},
        {"DefineFont3 with layout", [] {
             auto f = std::make_unique<TSWFDefineFont3>();
             f->CopyFieldsFrom(*MakeFont2(2, true));
             f->TagCode = 75;
             f->FontFlagsWideCodes = true;
             return std::unique_ptr<TSWFObject>(std::move(f));
         }, Fresh<TSWFDefineFont3>(8), {}, 8},
        // A Latin-1 letter: two UTF-8 bytes in DefineFontInfo2, one byte in a
        // DefineFontInfo of SWF 5; the codes run to the end of the body.
        {"DefineFontInfo2 name in UTF-8",
         [] {
             auto f = std::make_unique<TSWFDefineFontInfo2>();
             f->FontId = 1;
             f->FontName = "\xC4rger";
             f->CodeTable = {0x41, 0x20AC};
             return f;
         },
         Fresh<TSWFDefineFontInfo2>(), HexBytes("01 00 06 C3 84 72 67 65 72 01 00 41 00 AC 20"), 6},
        {"DefineFontInfo of SWF 5",
         [] {
             auto f = std::make_unique<TSWFDefineFontInfo>();
             f->FontId = 1;
             f->SWFVersion = 5;
             f->FontName = "\xC4rger";
             f->FontFlagsBold = true;
             f->CodeTable = {0x41};
             return f;
         },
         Fresh<TSWFDefineFontInfo>(5), HexBytes("01 00 05 C4 72 67 65 72 02 41"), 1},
        {"DefineFontAlignZones",
         [] {
             auto z = std::make_unique<TSWFDefineFontAlignZones>();
             z->FontId = 1;
             z->CSMTableHint = 1;
             TSWFZoneRecord& x = z->ZoneTable.AddZoneRecord();
             x.ZoneMaskX = true;
             TSWFZoneData& data = x.AddZoneData();
             data.AlignmentCoordinate = 0x1234;
             data.Range = 0x5678;
             z->ZoneTable.AddZoneRecord().ZoneMaskY = true;
             return z;
         },
         Fresh<TSWFDefineFontAlignZones>(), HexBytes("01 00 40 01 34 12 78 56 01 00 02"), 8},
        {"DefineFontName",
         [] {
             auto n = std::make_unique<TSWFDefineFontName>();
             n->FontId = 1;
             n->FontName = "A";
             n->FontCopyright = "c";
             return n;
         },
         Fresh<TSWFDefineFontName>(), HexBytes("01 00 41 00 63 00"), 9},
        // A record without flags or entries still is a record: 80 00.
        {"DefineText with an empty record",
         [] {
             auto t = std::make_unique<TSWFDefineText>();
             t->CharacterIdValue = 1;
             t->AddTextRecord();
             return t;
         },
         Fresh<TSWFDefineText>(), HexBytes("01 00 00 00 00 00 80 00 00"), 1},
        // Colour as RGB in DefineText, RGBA in DefineText2; offsets signed.
        {"DefineText colour and offsets",
         [] {
             auto t = std::make_unique<TSWFDefineText>();
             t->CharacterIdValue = 1;
             TSWFTextRecord& r = t->AddTextRecord();
             r.SetFontId(2);
             r.SetTextHeight(240);
             r.GetTextColor().SetRGBA(SWFRGBA(1, 2, 3, 4));
             r.SetXOffset(-100);
             r.SetYOffset(50);
             r.GlyphEntries = {{1, 200}};
             t->ComputeBitCounts();
             return t;
         },
         Fresh<TSWFDefineText>(), HexBytes("01 00 00 00 01 09 8F 02 00 01 02 03 9C FF 32 00 F0 00 01 B2 00 00"), 1},
        {"DefineText2 colour with alpha",
         [] {
             auto t = std::make_unique<TSWFDefineText2>();
             t->CharacterIdValue = 1;
             t->AddTextRecord().GetTextColor().SetRGBA(SWFRGBA(1, 2, 3, 4));
             return t;
         },
         Fresh<TSWFDefineText2>(), HexBytes("01 00 00 00 00 00 84 01 02 03 04 00 00"), 3},
        {"DefineEditText with layout",
         [] {
             auto e = std::make_unique<TSWFDefineEditText>();
             e->CharacterIdValue = 7;
             e->Bounds.SetRect(TRect{0, 0, 2000, 400});
             e->HasFont = true;
             e->FontId = 2;
             e->FontHeight = 240;
             e->GetTextColor().SetRGBA(SWFRGBA(0, 0, 255, 255));
             e->HasMaxLength = true;
             e->MaxLength = 10;
             e->HasLayout = true;
             e->Align = kEditTextAlignCenter;
             e->Leading = 40;
             e->VariableName = "v";
             e->HasText = true;
             e->InitialText = "<b>x</b>";
             e->HTML = true;
             e->AutoSize = true;
             return e;
         },
         Fresh<TSWFDefineEditText>(), {}, 6},
        // SWF 9 writes a font class; the tag then needs version 9.
        {"DefineEditText font class",
         [] {
             auto e = std::make_unique<TSWFDefineEditText>();
             e->CharacterIdValue = 1;
             e->SWFVersion = 9;
             e->FontClass = "Cls";
             return e;
         },
         [] { auto e = std::make_unique<TSWFDefineEditText>(); e->SWFVersion = 9; return e; },
         HexBytes("01 00 00 00 80 43 6C 73 00 00"), 9},
        {"CSMTextSettings",
         [] {
             auto c = std::make_unique<TSWFCSMTextSettings>();
             c->TextId = 2;
             c->UseFlashType = 1;
             c->GridFit = 2;
             c->Thickness = 1.0f;
             c->Sharpness = -2.0f;
             return c;
         },
         Fresh<TSWFCSMTextSettings>(), HexBytes("02 00 50 00 00 80 3F 00 00 00 C0 00"), 8},
    };
}

TEST(FontTextTags, BodiesWriteReadCopyAndVersion) {
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        auto tag = c.build();
        Bytes written = WriteBodyBytes(*tag);
        if (!c.body.empty()) {
            EXPECT_EQ(ToHex(written), ToHex(c.body));
        }
        EXPECT_EQ(tag->RequiredVersion(), c.version);
        // Framed under its own code, and made by the factory from that code.
        EXPECT_EQ(WriteTagBytes(*tag).size(), written.size() + (written.size() >= 63 ? 6 : 2));
        EXPECT_EQ(CreateTagByCode(tag->TagCode)->TagCode, tag->TagCode);

        auto read = c.fresh();
        ReadBodyBytes(*read, written);
        EXPECT_EQ(ToHex(WriteBodyBytes(*read)), ToHex(written));

        auto copy = c.fresh();
        copy->CopyFieldsFrom(*tag);
        EXPECT_EQ(ToHex(WriteBodyBytes(*copy)), ToHex(written));
    }
}

TEST(FontTextTags, XmlRoundTripWritesSameBytes) {
    // Twips in the document: glyph coordinates are em units, finer than pixels.
    TXMLReadWriteSettings settings;
    settings.Options = 0;
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        auto tag = c.build();
        Bytes written = WriteBodyBytes(*tag);
        TXmlDocument doc;
        tag->SaveToXml(doc.Root().AddChild(TagIdToName(tag->TagCode)), settings);
        TXmlDocument reread;
        reread.LoadFromString(doc.SaveToString());
        auto loaded = c.fresh();
        loaded->LoadFromXml(reread.DocumentElement(), settings);
        EXPECT_EQ(ToHex(WriteBodyBytes(*loaded)), ToHex(written)) << doc.SaveToString();
    }
}

TEST(FontTextTags, CopyFromOtherClassRaises) {
    TSWFDefineFont2 font;
    TSWFDefineText text;
    TSWFDefineFontInfo info;
    EXPECT_THROW(font.CopyFieldsFrom(text), EConvertError);
    EXPECT_THROW(text.CopyFieldsFrom(font), EConvertError);
    EXPECT_THROW(info.CopyFieldsFrom(font), EConvertError);
}

// Offsets are 32-bit only when one needs it (or the font came with them):
// 129 small glyphs keep 16-bit offsets, glyphs that run past 64 KB get wide
// ones, and a font read with wide offsets is written with them again.
TEST(FontTextTags, OffsetWidthFollowsTheOffsets) {
    auto small = MakeFont2(129, false);
    Bytes body = WriteBodyBytes(*small);
    EXPECT_FALSE(body[2] & 0x08);
    EXPECT_FALSE(small->FontFlagsWideOffsets);

    auto large = MakeFont2(0, false);
    for (int i = 0; i < 40; ++i) {
        TSWFShapeRecordList& glyph = large->AddGlyph();
        for (int k = 0; k < 400; ++k) {
            auto curve = std::make_unique<TSWFCurvedEdgeRecord>();
            curve->ControlDeltaX = 30000;
            curve->ControlDeltaY = -30000;
            curve->AnchorDeltaX = -30000;
            curve->AnchorDeltaY = 30000;
            glyph.push_back(std::move(curve));
        }
        large->CodeTable.push_back(static_cast<uint16_t>(i));
    }
    body = WriteBodyBytes(*large);
    ASSERT_TRUE(body[2] & 0x08);
    TSWFDefineFont2 read;
    ReadBodyBytes(read, body);
    EXPECT_EQ(read.GlyphShapeTable.size(), 40u);
    EXPECT_EQ(read.GlyphShapeTable.back()->size(), 401u);  // the curves and the end record
    EXPECT_EQ(WriteBodyBytes(read), body);

    // A few glyphs with wide offsets, as some producers write them.
    auto few = MakeFont2(2, false);
    few->FontFlagsWideOffsets = true;
    body = WriteBodyBytes(*few);
    TSWFDefineFont2 again;
    ReadBodyBytes(again, body);
    EXPECT_EQ(WriteBodyBytes(again), body);
    EXPECT_TRUE(again.FontFlagsWideOffsets);
}

TEST(FontTextTags, GlyphsSelectFillStyleOne) {
    auto font = MakeFont2(1, false);
    auto selects3 = MakeFont2(1, false);
    static_cast<TSWFStyleChangeRecord&>(*selects3->GlyphShapeTable[0]->front()).SetFill1Id(3);
    WriteBodyBytes(*font);
    auto& first = static_cast<TSWFStyleChangeRecord&>(*font->GlyphShapeTable[0]->front());
    EXPECT_TRUE(first.StateFillStyle1);
    EXPECT_EQ(first.Fill1Id, 1);
    EXPECT_TRUE(first.StateLineStyle);
    EXPECT_FALSE(first.StateFillStyle0);
    // Fill 3 cannot be written with one index bit: the writer refuses it
    // rather than writing another index.
    EXPECT_THROW(WriteBodyBytes(*selects3), EWriteError);
}

// XML-loaded fonts choose their code width: a code above 255 makes codes and
// kerning codes 16-bit, and DefineFont3 always has them.
TEST(FontTextTags, XmlCodesChooseTheirWidth) {
    const char* xml =
        "<DefineFont2 ID='1' Name='F' LanguageCode='0' Ascent='1' Descent='2' Leading='3'>"
        "<Glyph Code='65' Advance='10' XMax='5' YMax='5'/><Glyph Code='%d' Advance='10' XMax='0' YMax='0'/>"
        "<Kerning KerningCode1='65' KerningCode2='66' KerningAdjustment='-3'/></DefineFont2>";
    TXMLReadWriteSettings settings;
    for (int second : {66, 256}) {
        TXmlDocument doc;
        doc.LoadFromString(FormatStr(xml, second));
        for (bool three : {false, true}) {
            std::unique_ptr<TSWFDefineFont2> font = three ? std::make_unique<TSWFDefineFont3>()
                                                          : std::make_unique<TSWFDefineFont2>();
            font->FontFlagsWideCodes = three;
            font->LoadFromXml(doc.DocumentElement(), settings);
            Bytes body = WriteBodyBytes(*font);
            const bool wide = three || second > 255;
            EXPECT_EQ(bool(body[2] & 0x04), wide) << second << three;
            EXPECT_TRUE(body[2] & 0x80);
            // Kerning count, two codes and the adjustment end the body.
            const size_t tail = wide ? 8 : 6;
            ASSERT_GT(body.size(), tail);
            EXPECT_EQ(body[body.size() - tail], 1);
            EXPECT_EQ(body[body.size() - 2], 0xFD);
        }
    }
}

// The codes of a DefineFontInfo are the rest of its body, whatever font the
// reader saw before; a body with an odd byte after 16-bit codes drops it.
TEST(FontTextTags, FontInfoCountsItsOwnCodes) {
    TSWFDefineFont font;  // four glyphs read just before
    for (int i = 0; i < 4; ++i) AddSquareGlyph(font.AddGlyph(), 10);
    TSWFDefineFont readFont;
    ReadBodyBytes(readFont, WriteBodyBytes(font));

    TSWFDefineFontInfo info;
    ReadBodyBytes(info, HexBytes("01 00 01 46 01 41 00 42 00 43"));
    EXPECT_EQ(info.CodeTable, (std::vector<uint16_t>{0x41, 0x42}));
    TSWFDefineFontInfo2 info2;
    ReadBodyBytes(info2, HexBytes("01 00 00 01 00"));
    EXPECT_TRUE(info2.CodeTable.empty());
}

TEST(FontTextTags, EditTextStrings) {
    TSWFDefineEditText edit;
    edit.SWFVersion = 6;
    edit.HasText = true;
    edit.WideInitialText = u"\u00e9";
    Bytes body = WriteBodyBytes(edit);
    EXPECT_EQ(ToHex(Bytes(body.end() - 3, body.end())), "C3 A9 00");

    // HTML text passes byte for byte; plain text becomes UTF-8.
    edit.WideInitialText.clear();
    edit.InitialText = "\xE9";
    edit.HTML = true;
    body = WriteBodyBytes(edit);
    EXPECT_EQ(ToHex(Bytes(body.end() - 2, body.end())), "E9 00");
    edit.HTML = false;
    body = WriteBodyBytes(edit);
    EXPECT_EQ(ToHex(Bytes(body.end() - 3, body.end())), "C3 A9 00");

    // Version 8 writes no font class even when it has a name.
    edit.SWFVersion = 8;
    edit.FontClass = "Cls";
    body = WriteBodyBytes(edit);
    EXPECT_FALSE(body[4] & 0x80);
    EXPECT_EQ(edit.RequiredVersion(), 4);

    TXmlDocument doc;
    doc.LoadFromString(
        "<DefineEditText ID='1' XMax='0' YMax='0' AutoSize='false' UseOutlines='true' MaxLength='10'>"
        "<Layout Align='center' LeftMargin='0' RightMargin='0' Indent='0' Leading='0'/></DefineEditText>");
    TSWFDefineEditText loaded;
    TXMLReadWriteSettings settings;
    loaded.LoadFromXml(doc.DocumentElement(), settings);
    EXPECT_EQ(loaded.Align, kEditTextAlignCenter);
    EXPECT_TRUE(loaded.HasMaxLength);
    EXPECT_EQ(loaded.MaxLength, 10);
}

TEST(FontTextTags, BitCountsCoverEveryEntry) {
    TXmlDocument doc;
    doc.LoadFromString(
        "<DefineText ID='1' XMax='0' YMax='0'><TextRecord><Glyph Index='0' Advance='0'/><Glyph Index='1' Advance='200'/>"
        "<Glyph Index='5' Advance='-200'/></TextRecord></DefineText>");
    TSWFDefineText text;
    TXMLReadWriteSettings settings;
    text.LoadFromXml(doc.DocumentElement(), settings);
    EXPECT_EQ(text.GlyphBits, 3);
    EXPECT_EQ(text.AdvanceBits, 9);

    // A record cannot count more than 255 glyphs.
    TSWFDefineText tooLong;
    tooLong.AddTextRecord().GlyphEntries.resize(256);
    EXPECT_THROW(WriteBodyBytes(tooLong), EWriteError);
}

// Counts and offsets past the body, and random damage to a real font body:
// the reader keeps a raw tag with a message, never reads past the body.
TEST(FontTextTags, DamagedBodiesGiveRawTags) {
    std::vector<std::pair<uint16_t, Bytes>> bodies = {
        {48, HexBytes("01 00 00 00 00 FF FF 02 00")},            // 65535 glyphs in a short body
        {48, HexBytes("01 00 08 00 00 01 00 F0 FF FF 7F 00 00")},  // a wide offset far beyond
        {10, HexBytes("01 00 40 00")},                             // 32 offsets announced
        {11, HexBytes("01 00 00 00 10 10 8F 02")},                 // a record cut short
        {37, HexBytes("01 00 00 FF FF")},                          // every field announced
        {73, HexBytes("01 00 00 09")},                             // nine zones, none there
    };
    Bytes font = WriteBodyBytes(*MakeFont2(6, true));
    TRandomSource random(7);
    for (int i = 0; i < 300; ++i) {
        Bytes damaged = font;
        for (int k = 0; k < 3; ++k) damaged[random.Next(static_cast<uint32_t>(damaged.size()))] = static_cast<uint8_t>(random.Next(256));
        damaged.resize(damaged.size() - random.Next(static_cast<uint32_t>(damaged.size() / 2)));
        bodies.push_back({static_cast<uint16_t>(i % 2 ? 48 : 75), damaged});
    }
    int raw = 0;
    for (auto& [code, body] : bodies) {
        TMemoryStream in(body);
        TTagReadContext context{true, 8, 0};
        std::unique_ptr<TSWFObject> obj = CreateTagByCode(code);
        if (!ReadTagObject(obj, code, in, 0, static_cast<int32_t>(body.size()), context)) {
            ++raw;
            EXPECT_EQ(obj->TagCode, kErrorTagCode);
            EXPECT_EQ(ToHex(WriteBodyBytes(*obj)), ToHex(body));
        }
    }
    EXPECT_GE(raw, 6);
}

// haxe embeds a font as DefineFont3 (with 32-bit offsets and a name that
// counts its terminator): the movie is written back and carried through the
// XML form without a changed byte.
TEST(FontTextTags, HaxeEmbeddedFontRoundTrips) {
    std::string path = HaxeFontFixture();
    if (path.empty()) {
        if (std::getenv("CI")) FAIL() << "haxe is not installed";
        GTEST_SKIP() << "haxe is not installed";
    }
    TSWFStreamReader reader(path);
    ASSERT_TRUE(reader.Valid);
    reader.ParseTags(false, false);
    TMemoryStream plain;
    Bytes original = reader.GetBodyStream().Bytes();
    reader.ParseTags(true, true);
    bool sawFont = false;
    for (const auto& info : reader.Tags) {
        ASSERT_NE(info->TagCode, kErrorTagCode) << info->Object->BodySize;
        if (auto* font = dynamic_cast<TSWFDefineFont3*>(info->Object)) {
            sawFont = true;
            EXPECT_GT(font->GlyphShapeTable.size(), 50u);
            EXPECT_TRUE(font->FontFlagsHasLayout);
        }
    }
    ASSERT_TRUE(sawFont);
    reader.MakeStream();
    std::vector<TagRecord> before = SplitRecords(original.data(), original.size());
    Bytes written = reader.GetBodyStream().Bytes();
    std::vector<TagRecord> after = SplitRecords(written.data(), written.size());
    ASSERT_EQ(before.size(), after.size());
    for (size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(before[i].code, after[i].code);
        EXPECT_TRUE(before[i].body == after[i].body) << TagIdToName(before[i].code);
    }

    TXmlDocument doc;
    reader.Settings.Options = 0;
    reader.SaveToXml(doc.Root().AddChild("Movie"));
    TXmlDocument reread;
    reread.LoadFromString(doc.SaveToString());
    TSWFStreamReader loaded;
    ASSERT_TRUE(loaded.LoadFromXml(reread.DocumentElement(), true));
    loaded.MakeStream();
    Bytes fromXml = loaded.GetBodyStream().Bytes();
    std::vector<TagRecord> xmlTags = SplitRecords(fromXml.data(), fromXml.size());
    ASSERT_EQ(xmlTags.size(), before.size());
    for (size_t i = 0; i < before.size(); ++i)
        EXPECT_TRUE(before[i].body == xmlTags[i].body) << TagIdToName(before[i].code);
}

}  // namespace
