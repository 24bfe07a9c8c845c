#include "swf/bitmap_tags.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "platform/errors.h"
#include "platform/stream.h"
#include "platform/xml.h"
#include "swf/names.h"
#include "swf/xml_form.h"
#include "test_util.h"
#include "platform/testing/test_support.h"

namespace {

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// The body as WriteTag frames it, checking code and length of the header.
Bytes BodyOf(TSWFObject& tag) {
    Bytes all = WriteTagBytes(tag);
    if (all.size() < 2) return {};
    uint16_t header = static_cast<uint16_t>(all[0] | all[1] << 8);
    EXPECT_EQ(header >> 6, tag.TagCode);
    size_t length = header & 63, start = 2;
    if (length == 63) {
        length = all[2] | all[3] << 8 | all[4] << 16 | static_cast<size_t>(all[5]) << 24;
        start = 6;
    }
    EXPECT_EQ(all.size(), start + length);
    return Bytes(all.begin() + static_cast<std::ptrdiff_t>(start), all.end());
}

Bytes PayloadOf(const TSWFDataObject& tag) { return Bytes(tag.Data(), tag.Data() + tag.DataSize()); }

struct Case {
    const char* name;
    uint16_t code;
    std::function<void(TSWFObject&)> fill;
    Bytes body;
    int version;
};

template <class T>
std::function<void(TSWFObject&)> Fill(std::function<void(T&)> f) {
    return [f](TSWFObject& tag) { f(dynamic_cast<T&>(tag)); };
}

std::vector<Case> Cases() {
    Bytes alpha(20);
    for (size_t i = 0; i < alpha.size(); ++i) alpha[i] = static_cast<uint8_t>(0x80 + i);
    return {
        {"DefineBitsPlain", 6, Fill<TSWFDefineBits>([](auto& t) { t.CharId = 1; t.SetData(Bytes{0xA, 0xB, 0xC}); }),
         HexBytes("01 00 FF D8 0A 0B 0C FF D9"), 1},
        {"DefineBitsLeadingEmptyImage", 6,
         Fill<TSWFDefineBits>([](auto& t) { t.CharId = 2; t.SetData(HexBytes("FF D8 0A 0B FF D9")); }),
         HexBytes("02 00 FF D9 FF D8 FF D8 0A 0B FF D9"), 1},
        {"JPEGTables", 8, Fill<TSWFJPEGTables>([](auto& t) { t.SetData(HexBytes("FF DB 00 43")); }),
         HexBytes("FF D8 FF DB 00 43 FF D9"), 1},
        {"JPEGTablesEmpty", 8, [](TSWFObject&) {}, {}, 1},
        {"DefineBitsJPEG2", 21,
         Fill<TSWFDefineBitsJPEG2>([](auto& t) { t.CharId = 0x0203; t.SetData(HexBytes("FF D8 01 FF D9")); }),
         HexBytes("03 02 FF D9 FF D8 FF D8 01 FF D9"), 2},
        // A 10-byte JPEG part and 20 bytes of alpha: AlphaDataOffset 10.
        {"DefineBitsJPEG3", 35,
         Fill<TSWFDefineBitsJPEG3>([alpha](auto& t) {
             t.CharId = 4;
             t.SetData(HexBytes("01 02 03 04 05 06"));
             t.SetAlphaData(alpha);
         }),
         Cat({HexBytes("04 00 0A 00 00 00 FF D8 01 02 03 04 05 06 FF D9"), alpha}), 3},
        {"LosslessRGB", 20,
         Fill<TSWFDefineBitsLossless>([](auto& t) {
             t.CharId = 5;
             t.BitmapFormat = 5;
             t.BitmapWidth = 0x0102;
             t.BitmapHeight = 3;
             t.SetData(HexBytes("78 9C 03 00"));
         }),
         HexBytes("05 00 05 02 01 03 00 78 9C 03 00"), 2},
        {"LosslessColorMapped", 20,
         Fill<TSWFDefineBitsLossless>([](auto& t) {
             t.CharId = 6;
             t.BitmapFormat = 3;
             t.BitmapWidth = 4;
             t.BitmapHeight = 2;
             t.BitmapColorTableSize = 4;
             t.SetData(HexBytes("AA BB"));
         }),
         HexBytes("06 00 03 04 00 02 00 04 AA BB"), 2},
        {"Lossless2ARGB", 36,
         Fill<TSWFDefineBitsLossless2>([](auto& t) {
             t.CharId = 7;
             t.BitmapFormat = 5;
             t.BitmapWidth = 1;
             t.BitmapHeight = 1;
             t.SetData(HexBytes("CC"));
         }),
         HexBytes("07 00 05 01 00 01 00 CC"), 3},
        {"BinaryData", 87, Fill<TSWFDefineBinaryData>([](auto& t) { t.CharId = 8; t.SetData(HexBytes("00 11 22")); }),
         HexBytes("08 00 00 00 00 00 00 11 22"), 1},
    };
}

TEST(BitmapTags, BodiesWriteReadCopyAndVersion) {
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        auto tag = CreateTagByCode(c.code);
        ASSERT_EQ(tag->TagCode, c.code);
        c.fill(*tag);
        EXPECT_EQ(ToHex(BodyOf(*tag)), ToHex(c.body));
        EXPECT_EQ(tag->RequiredVersion(), c.version);

        auto read = CreateTagByCode(c.code);
        ReadBodyBytes(*read, c.body);
        EXPECT_EQ(ToHex(BodyOf(*read)), ToHex(c.body));
        EXPECT_EQ(read->CharacterId(), tag->CharacterId());

        auto copy = CloneTag(*read);
        EXPECT_EQ(ToHex(BodyOf(*copy)), ToHex(c.body));
    }
}

TEST(BitmapTags, XmlRoundTripAsTextAndAsFiles) {
    std::string folder = TestScratchFolder("bitmap_tags_xml");
    std::filesystem::remove_all(folder);
    for (uint8_t options : {uint8_t{0}, uint8_t{kXmlExternalImages | kXmlExternalRawTags}}) {
        TXMLReadWriteSettings settings;
        settings.Options = options;
        settings.CommonDataFolder = folder;
        for (const Case& c : Cases()) {
            SCOPED_TRACE(std::string(c.name) + (options ? " files" : " text"));
            auto tag = CreateTagByCode(c.code);
            c.fill(*tag);
            TXmlDocument doc;
            TXmlNode element = doc.Root().AddChild(TagIdToName(c.code));
            tag->SaveToXml(element, settings);
            TXmlDocument reread;
            reread.LoadFromString(doc.SaveToString());
            auto loaded = CreateTagByCode(c.code);
            loaded->LoadFromXml(reread.DocumentElement(), settings);
            EXPECT_EQ(ToHex(BodyOf(*loaded)), ToHex(c.body)) << doc.SaveToString();
        }
    }
    std::filesystem::remove_all(folder);
}

TEST(BitmapTags, ReadingKeepsPayloadsWithoutMarkers) {
    TSWFDefineBits bits;
    ReadBodyBytes(bits, HexBytes("02 00 FF D9 FF D8 FF D8 0A 0B FF D9"));
    EXPECT_EQ(ToHex(PayloadOf(bits)), "FF D8 0A 0B FF D9");

    // 10-byte JPEG part (markers included) and 20 bytes of alpha.
    Bytes body = Cat({HexBytes("04 00 0A 00 00 00 FF D8 01 02 03 04 05 06 FF D9"), Bytes(20, 0x55)});
    ASSERT_EQ(body.size(), 36u);
    TSWFDefineBitsJPEG3 jpeg3;
    ReadBodyBytes(jpeg3, body);
    EXPECT_EQ(jpeg3.DataSize(), 6);
    EXPECT_EQ(jpeg3.AlphaDataSize(), 20);

    // The reserved word of DefineBinaryData is not kept.
    TSWFDefineBinaryData data;
    ReadBodyBytes(data, HexBytes("08 00 DE AD BE EF 01"));
    EXPECT_EQ(ToHex(BodyOf(data)), "08 00 00 00 00 00 01");
}

TEST(BitmapTags, ShortOrInconsistentBodiesRaise) {
    struct {
        uint16_t code;
        const char* body;
    } cases[] = {
        {6, "01"},                   // identifier cut short
        {21, "01"},
        {8, "FF D8"},                // tables shorter than the markers
        {35, "01 00 0A 00 00"},      // offset field cut short
        {35, "01 00 FF 00 00 00 FF D8 00 00 FF D9"},  // alpha offset past the body
        {20, "01 00 05 01 00"},      // header cut short
        {36, "01 00 03 01 00 01 00"},  // colour-table byte missing
        {87, "01 00 00 00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        auto tag = CreateTagByCode(c.code);
        EXPECT_THROW(ReadBodyBytes(*tag, HexBytes(c.body)), EReadError);
    }
}

TEST(BitmapTags, XmlFormatNamesAndAlphaRules) {
    TXMLReadWriteSettings settings;
    settings.Options = 0;
    // DefineBitsLossless2 has no name for format 4: saved empty, loaded as 2.
    TSWFDefineBitsLossless2 lossless2;
    lossless2.BitmapFormat = 4;
    TXmlDocument doc;
    TXmlNode element = doc.Root().AddChild("DefineBitsLossless2");
    lossless2.SaveToXml(element, settings);
    EXPECT_EQ(element.AttrStr("BitmapFormat"), "");
    TSWFDefineBitsLossless2 loaded;
    loaded.LoadFromXml(element, settings);
    EXPECT_EQ(loaded.BitmapFormat, 2);

    struct {
        const char* text;
        uint8_t format;
    } names[] = {{"8bit", 3}, {"15BIT", 4}, {"24bit", 5}, {"32bit", 5}, {"16bit", 2}, {"", 2}};
    for (const auto& n : names) EXPECT_EQ(BitmapFormatFromName(n.text), n.format) << n.text;

    // JPEG3 without alpha (a PNG, say) keeps its image in XML.
    TSWFDefineBitsJPEG3 jpeg3;
    jpeg3.CharId = 9;
    jpeg3.SetData(HexBytes("01 02"));
    TXmlNode j3 = doc.Root().AddChild("DefineBitsJPEG3");
    jpeg3.SaveToXml(j3, settings);
    EXPECT_EQ(j3.XmlText(), "<DefineBitsJPEG3 ID=\"9\"><Data>0102</Data></DefineBitsJPEG3>");

    // A "File" that names no file leaves the payload empty without an error.
    doc.LoadFromString(R"(<DefineBitsJPEG2 ID="3" File="no/such/file.dat"/>)");
    TSWFDefineBitsJPEG2 missing;
    missing.LoadFromXml(doc.DocumentElement(), settings);
    EXPECT_EQ(missing.DataSize(), 0);
}

TEST(BitmapTags, CallbacksWriteThePayloads) {
    TSWFDefineBitsJPEG3 tag;
    tag.CharId = 1;
    tag.OnWrite = [](TSWFObject&, TBitsEngine& be) { be.WriteBuffer(HexBytes("FF D9 FF D8 AA BB").data(), 6); };
    tag.OnWriteAlpha = [](TSWFObject&, TBitsEngine& be) { be.WriteByte(0x77); };
    // The offset counts what OnWrite wrote.
    EXPECT_EQ(ToHex(BodyOf(tag)), "01 00 06 00 00 00 FF D9 FF D8 AA BB 77");

    TSWFDefineBitsJPEG3 copy;
    copy.CopyFieldsFrom(tag);
    EXPECT_EQ(ToHex(BodyOf(copy)), "01 00 06 00 00 00 FF D9 FF D8 AA BB 77");
    TSWFJPEGTables tables;
    EXPECT_THROW(copy.CopyFieldsFrom(tables), EConvertError);
}

}  // namespace
