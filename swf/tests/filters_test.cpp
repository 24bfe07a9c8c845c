#include "swf/filters.h"

#include <gtest/gtest.h>

#include <functional>

#include "platform/errors.h"
#include "platform/stream.h"
#include "platform/xml.h"
#include "test_util.h"

namespace {

Bytes Written(TSWFFilter& filter) {
    TMemoryStream out;
    TBitsEngine be(out);
    filter.WriteToStream(be);
    return out.Bytes();
}

// Reads a record as the list does: the identifier byte picks the class.
std::unique_ptr<TSWFFilter> ReadRecord(const Bytes& record) {
    TMemoryStream in{Bytes(record)};
    TBoundedStream view(in, 0, static_cast<int64_t>(record.size()));
    TBitsEngine be(view);
    auto filter = CreateFilter(be.ReadByte());
    filter->ReadFromStream(be);
    EXPECT_EQ(view.Remaining(), 0) << "record not fully read";
    return filter;
}

std::unique_ptr<TSWFFilter> ThroughXml(TSWFFilter& filter) {
    TXmlDocument doc;
    TXmlNode list = doc.Root().AddChild("Filters");
    filter.SaveToXml(list.AddChild("F"));
    TXmlDocument reread;
    reread.LoadFromString(doc.SaveToString());
    auto loaded = CreateFilter(filter.FilterID);
    loaded->LoadFromXml(reread.DocumentElement().ChildElements().at(0));
    return loaded;
}

struct Case {
    const char* name;
    std::function<std::unique_ptr<TSWFFilter>()> build;
    Bytes record;
};

// BlurX 5.0 and BlurY 2.5 are 00 00 05 00 and 00 80 02 00 as FIXED; an angle
// of pi/4 is 0x0000C90F; Strength 1.5 is 80 01 as FIXED8.
std::vector<Case> Cases() {
    return {
        {"Blur31",
         [] {
             auto f = std::make_unique<TSWFBlurFilter>();
             f->BlurX = 5;
             f->BlurY = 2.5f;
             f->Passes = 31;
             return f;
         },
         HexBytes("01 00 00 05 00 00 80 02 00 F8")},
        {"Glow31",
         [] {
             auto f = std::make_unique<TSWFGlowFilter>();
             f->GlowColor.SetRGBA(SWFRGBA(0xFF, 0x80, 0x00, 0xC0));
             f->BlurX = 5;
             f->BlurY = 5;
             f->Strength = 1.5f;
             f->InnerGlow = true;
             f->Passes = 31;
             return f;
         },
         HexBytes("02 FF 80 00 C0 00 00 05 00 00 00 05 00 80 01 BF")},
        {"DropShadow",
         [] {
             auto f = std::make_unique<TSWFDropShadowFilter>();
             f->BlurX = 5;
             f->BlurY = 2.5f;
             f->Angle = 51471.0f / 65536.0f;
             f->Distance = 4;
             f->Strength = 1;
             f->Knockout = true;
             f->Passes = 2;
             return f;
         },
         HexBytes("00 00 00 00 FF 00 00 05 00 00 80 02 00 0F C9 00 00 00 00 04 00 00 01 62")},
        {"Bevel",
         [] {
             auto f = std::make_unique<TSWFBevelFilter>();
             f->ShadowColor.SetRGBA(SWFRGBA(0, 0, 0, 0xFF));
             f->HighlightColor.SetRGBA(SWFRGBA(0xFF, 0xFF, 0xFF, 0xFF));
             f->BlurX = 2;
             f->BlurY = 2;
             f->Angle = 0;
             f->Distance = 1;
             f->Strength = 2;
             f->OnTop = true;
             f->Passes = 3;
             return f;
         },
         HexBytes("03 00 00 00 FF FF FF FF FF 00 00 02 00 00 00 02 00 00 00 00 00 00 00 01 00 00 02 33")},
        {"GradientGlow3",
         [] {
             auto f = std::make_unique<TSWFGradientGlowFilter>();
             f->NumColors = 3;
             f->GetGradientColor(1).SetRGBA(SWFRGBA(1, 2, 3, 4));
             f->GetGradientColor(2).SetRGBA(SWFRGBA(5, 6, 7, 8));
             f->GetGradientColor(3).SetRGBA(SWFRGBA(9, 10, 11, 12));
             f->SetGradientRatio(1, 0);
             f->SetGradientRatio(2, 128);
             f->SetGradientRatio(3, 255);
             f->BlurX = 1;
             f->BlurY = 1;
             f->Strength = 1;
             f->InnerShadow = true;
             f->CompositeSource = false;
             f->Passes = 1;
             return f;
         },
         HexBytes("04 03 01 02 03 04 05 06 07 08 09 0A 0B 0C 00 80 FF 00 00 01 00 00 00 01 00 "
                  "00 00 00 00 00 00 00 00 00 01 81")},
        {"GradientBevel2",
         [] {
             auto f = std::make_unique<TSWFGradientBevelFilter>();
             f->GetGradientColor(1).SetRGBA(SWFRGBA(0xFF, 0, 0, 0xFF));
             f->Knockout = true;
             return f;
         },
         HexBytes("07 02 FF 00 00 FF 00 00 00 00 00 FF 00 00 00 00 00 00 00 00 00 00 00 00 "
                  "00 00 00 00 00 00 60")},
        {"Convolution3x3",
         [] {
             auto f = std::make_unique<TSWFConvolutionFilter>();
             f->MatrixX = 3;
             f->MatrixY = 3;
             f->Divisor = 1;
             f->SetMatrixValue(4, 1);
             f->DefaultColor.SetRGBA(SWFRGBA(0x10, 0x20, 0x30, 0x40));
             f->Clamp = true;
             return f;
         },
         [] {
             Bytes b = HexBytes("05 03 03 00 00 80 3F 00 00 00 00");
             for (int i = 0; i < 9; ++i) {
                 Bytes v = i == 4 ? HexBytes("00 00 80 3F") : HexBytes("00 00 00 00");
                 b.insert(b.end(), v.begin(), v.end());
             }
             Bytes tail = HexBytes("10 20 30 40 02");
             b.insert(b.end(), tail.begin(), tail.end());
             return b;
         }()},
        {"Convolution0x3",
         [] {
             auto f = std::make_unique<TSWFConvolutionFilter>();
             f->MatrixY = 3;
             f->SetMatrixValue(2, 7);  // beyond MatrixX * MatrixY: not written
             f->PreserveAlpha = true;
             return f;
         },
         HexBytes("05 00 03 00 00 00 00 00 00 00 00 00 00 00 00 01")},
        {"ColorMatrixIdentity",
         [] {
             auto f = std::make_unique<TSWFColorMatrixFilter>();
             f->ResetMatrix();
             f->SetMatrixValue(4, -0.5f);
             return f;
         },
         [] {
             Bytes b{6};
             for (int i = 0; i < 20; ++i) {
                 Bytes v = i % 6 == 0 ? HexBytes("00 00 80 3F") : i == 4 ? HexBytes("00 00 00 BF") : Bytes(4, 0);
                 b.insert(b.end(), v.begin(), v.end());
             }
             return b;
         }()},
    };
}

TEST(Filters, RecordsWriteReadCopyAndXmlBothWays) {
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        auto filter = c.build();
        EXPECT_EQ(ToHex(Written(*filter)), ToHex(c.record));

        auto read = ReadRecord(c.record);
        EXPECT_EQ(read->FilterID, filter->FilterID);
        EXPECT_EQ(ToHex(Written(*read)), ToHex(c.record));

        auto copy = CreateFilter(filter->FilterID);
        copy->CopyFrom(*read);
        EXPECT_EQ(ToHex(Written(*copy)), ToHex(c.record));

        EXPECT_EQ(ToHex(Written(*ThroughXml(*read))), ToHex(c.record));
    }
}

TEST(Filters, PassesAreMaskedToTheirFieldAndDefaultsDiffer) {
    TSWFBevelFilter bevel;
    bevel.Passes = 20;
    EXPECT_EQ(Written(bevel).back() & 0x0F, 4);
    TSWFDropShadowFilter shadow;
    shadow.Passes = 0x3F;
    EXPECT_EQ(Written(shadow).back(), 0x20 | 0x1F);

    // Only the blur starts with one pass; the shadow starts opaque black and
    // the glow transparent black.
    EXPECT_EQ(TSWFBlurFilter().Passes, 1);
    EXPECT_EQ(TSWFGlowFilter().Passes, 0);
    EXPECT_EQ(TSWFDropShadowFilter().DropShadowColor.GetRGBA(), SWFRGBA(0, 0, 0, 255));
    EXPECT_EQ(TSWFGlowFilter().GlowColor.GetRGBA(), 0u);
    EXPECT_EQ(TSWFGradientBevelFilter().FilterID, kFilterGradientBevel);
}

TEST(Filters, CopyFromAnotherKindRaises) {
    TSWFGlowFilter glow;
    TSWFDropShadowFilter shadow;
    TSWFBlurFilter blur;
    EXPECT_THROW(glow.CopyFrom(shadow), EConvertError);
    EXPECT_THROW(TSWFColorMatrixFilter().CopyFrom(blur), EConvertError);
    EXPECT_NO_THROW(blur.CopyFrom(blur));
}

TEST(Filters, DropShadowXmlInDegreesAndPercent) {
    TSWFDropShadowFilter shadow;
    shadow.Angle = 51471.0f / 65536.0f;
    shadow.Strength = 1.5f;
    shadow.Passes = 3;
    TXmlDocument doc;
    TXmlNode element = doc.Root().AddChild("DropShadow");
    shadow.SaveToXml(element);
    EXPECT_NEAR(element.AttrFloat("Angle"), 45.0, 0.001);
    EXPECT_DOUBLE_EQ(element.AttrFloat("Strength"), 150.0);
    EXPECT_EQ(element.AttrStr("Passes"), "High");
    EXPECT_EQ(element.AttrStr("Color"), "#FF000000");

    TSWFDropShadowFilter loaded;
    loaded.LoadFromXml(element);
    EXPECT_EQ(loaded.Angle, shadow.Angle);
    EXPECT_EQ(loaded.Strength, shadow.Strength);
}

TEST(Filters, PassesTextInXml) {
    struct {
        const char* xml;
        int passes;
    } cases[] = {
        {R"(<Blur BlurX="1" BlurY="1" Passes="medium"/>)", 2},
        {R"(<Blur BlurX="1" BlurY="1"/>)", 1},
        {R"(<Blur BlurX="1" BlurY="1" Passes="Best"/>)", 0},
        {R"(<Blur BlurX="1" BlurY="1" Passes="31"/>)", 31},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.xml);
        TXmlDocument doc;
        doc.LoadFromString(c.xml);
        TSWFBlurFilter blur;
        blur.LoadFromXml(doc.DocumentElement());
        EXPECT_EQ(blur.Passes, c.passes);
    }
}

TEST(Filters, ListFromXmlByElementNames) {
    TXmlDocument doc;
    doc.LoadFromString(R"(<Filters>
        <Glow BlurX="2" BlurY="2" Strength="100" Color="#80FF0000"/>
        <Sparkle BlurX="3" BlurY="4" Angle="90" Distance="5" Strength="50"/>
        <GradientGlow BlurX="1" BlurY="1" Angle="0" Distance="0" Strength="100">
          <Color Ratio="0">#00000000</Color><Whatever Ratio="64">#FF112233</Whatever><Color Ratio="255">#FFFFFFFF</Color>
        </GradientGlow>
      </Filters>)");
    TSWFFilterList list;
    list.LoadFromXml(doc.DocumentElement());
    ASSERT_EQ(list.Count(), 3u);
    EXPECT_EQ(static_cast<TSWFGlowFilter&>(list.GetFilter(0)).GlowColor.GetRGBA(), SWFRGBA(0xFF, 0, 0, 0x80));

    // An element name outside the table loads as a drop shadow from its own attributes.
    auto& shadow = dynamic_cast<TSWFDropShadowFilter&>(list.GetFilter(1));
    EXPECT_EQ(shadow.BlurY, 4.0f);
    EXPECT_NEAR(shadow.Angle, 1.5707963, 1e-6);
    EXPECT_EQ(shadow.Strength, 0.5f);
    EXPECT_TRUE(shadow.CompositeSource);

    auto& gradient = dynamic_cast<TSWFGradientGlowFilter&>(list.GetFilter(2));
    EXPECT_EQ(gradient.NumColors, 3);
    EXPECT_EQ(gradient.GetGradientRatio(2), 64);
    EXPECT_EQ(gradient.GetGradientColor(2).GetRGBA(), SWFRGBA(0x11, 0x22, 0x33, 0xFF));

    // Saved under the table's names, and the copy is deep.
    TSWFFilterList copy;
    copy.CopyFrom(list);
    gradient.SetGradientRatio(2, 1);
    EXPECT_EQ(dynamic_cast<TSWFGradientGlowFilter&>(copy.GetFilter(2)).GetGradientRatio(2), 64);
    TXmlDocument saved;
    copy.SaveToXml(saved.Root().AddChild("Filters"));
    std::vector<std::string> names;
    for (const TXmlNode& child : saved.DocumentElement().ChildElements()) names.push_back(child.NodeName());
    EXPECT_EQ(names, (std::vector<std::string>{"Glow", "DropShadow", "GradientGlow"}));
}

// The examples of the picture adjustments. Expected values are worked out
// by hand from the matrices: hue 180 has cos -1 and sin 0; contrast 100 has
// the table's 10.0, so a gain of 11 and an offset of (127 - 1397) / 2;
// saturation 100 scales by 4 with the weights 0.3086, 0.6094, 0.082.
TEST(Filters, AdjustColorMatrixExamples) {
    auto identityWith = [](std::function<void(float*)> change) {
        std::vector<float> m(20, 0.0f);
        m[0] = m[6] = m[12] = m[18] = 1.0f;
        change(m.data());
        return m;
    };
    struct {
        const char* xml;
        std::vector<float> matrix;
    } cases[] = {
        {R"(<ColorMatrix Hue="180"/>)",
         {-0.574f, 1.430f, 0.144f, 0, 0, 0.426f, 0.430f, 0.144f, 0, 0, 0.426f, 1.430f, -0.856f, 0, 0, 0, 0, 0, 1, 0}},
        {R"(<ColorMatrix Brightness="50"/>)", identityWith([](float* m) { m[4] = m[9] = m[14] = 50; })},
        {R"(<ColorMatrix Brightness="150" Hue="0"/>)", identityWith([](float* m) { m[4] = m[9] = m[14] = 100; })},
        {R"(<ColorMatrix Contrast="100"/>)", identityWith([](float* m) {
             m[0] = m[6] = m[12] = 11;
             m[4] = m[9] = m[14] = -635;
         })},
        {R"(<ColorMatrix Contrast="-50"/>)", identityWith([](float* m) {
             m[0] = m[6] = m[12] = 0.5f;
             m[4] = m[9] = m[14] = 31.75f;
         })},
        // Brightness comes after contrast: its offset is scaled by the gain.
        {R"(<ColorMatrix Contrast="100" Brightness="50"/>)", identityWith([](float* m) {
             m[0] = m[6] = m[12] = 11;
             m[4] = m[9] = m[14] = -85;
         })},
        {R"(<ColorMatrix Saturation="100"/>)",
         {4 - 0.9258f, -1.8282f, -0.246f, 0, 0, -0.9258f, 4 - 1.8282f, -0.246f, 0, 0,
          -0.9258f, -1.8282f, 4 - 0.246f, 0, 0, 0, 0, 0, 1, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.xml);
        TXmlDocument doc;
        doc.LoadFromString(c.xml);
        TSWFColorMatrixFilter filter;
        filter.LoadFromXml(doc.DocumentElement());
        for (int i = 0; i < 20; ++i) EXPECT_NEAR(filter.GetMatrixValue(i), c.matrix[static_cast<size_t>(i)], 1e-4) << i;
    }

    // Saved as the twenty entries, column by column.
    TXmlDocument doc;
    TXmlNode element = doc.Root().AddChild("ColorMatrix");
    TSWFColorMatrixFilter filter;
    filter.AdjustColorMatrix(50, 0, 0, 0);
    filter.SaveToXml(element);
    EXPECT_EQ(element.AttrFloat("R4"), 50.0);
    EXPECT_EQ(element.AttrFloat("A3"), 1.0);
    EXPECT_EQ(element.Raw().first_attribute().name(), std::string("R0"));
    EXPECT_EQ(element.Raw().first_attribute().next_attribute().name(), std::string("G0"));
}

Bytes ListBytes(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

void ReadList(TSWFFilterList& list, const Bytes& bytes) {
    TMemoryStream in{Bytes(bytes)};
    TBoundedStream view(in, 0, static_cast<int64_t>(bytes.size()));
    TBitsEngine be(view);
    list.ReadFromStream(be);
}

TEST(Filters, GradientWithMoreEntriesThanFifteenKeepsThemAll) {
    Bytes record{4, 20};
    for (int i = 0; i < 20; ++i) record.insert(record.end(), {uint8_t(i), uint8_t(i), uint8_t(i), 0xFF});
    for (int i = 0; i < 20; ++i) record.push_back(static_cast<uint8_t>(i * 10));
    record.insert(record.end(), 4 * 4 + 2 + 1, 0);
    TSWFFilterList list;
    ReadList(list, ListBytes({{1}, record}));
    auto& gradient = dynamic_cast<TSWFGradientGlowFilter&>(list.GetFilter(0));
    EXPECT_EQ(gradient.NumColors, 20);
    EXPECT_EQ(gradient.GetGradientRatio(20), 190);

    TMemoryStream out;
    TBitsEngine be(out);
    list.WriteToStream(be);
    EXPECT_EQ(ToHex(out.Bytes()), ToHex(ListBytes({{1}, record})));

    EXPECT_THROW(gradient.GetGradientColor(256), EConvertError);
    EXPECT_THROW(gradient.GetGradientColor(0), EConvertError);
}

TEST(Filters, DamagedListsRaiseReadErrors) {
    struct {
        const char* name;
        Bytes bytes;
    } cases[] = {
        {"count past the body", HexBytes("05 01 00 00 01 00 00 00 01 00 08")},
        {"unknown filter id", HexBytes("01 08 00 00")},
        {"255 gradient entries in a short body", HexBytes("01 04 FF 00 00 00 00")},
        {"convolution 255x255 in a short body", HexBytes("01 05 FF FF 00 00 80 3F 00 00 00 00")},
        {"colour matrix cut short", HexBytes("01 06 00 00 80 3F")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TSWFFilterList list;
        EXPECT_THROW(ReadList(list, c.bytes), EReadError);
    }
}

TEST(Filters, XmlLimitsOnGradientAndList) {
    std::string xml = R"(<GradientGlow BlurX="1" BlurY="1" Angle="0" Distance="0" Strength="100">)";
    for (int i = 0; i < 256; ++i) xml += R"(<Color Ratio="1">#FF000000</Color>)";
    xml += "</GradientGlow>";
    TXmlDocument doc;
    doc.LoadFromString(xml);
    TSWFGradientGlowFilter gradient;
    EXPECT_THROW(gradient.LoadFromXml(doc.DocumentElement()), EConvertError);
}

}  // namespace
