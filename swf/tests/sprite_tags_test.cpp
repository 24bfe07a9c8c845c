#include "swf/sprite_tags.h"

#include <gtest/gtest.h>

#include <functional>

#include "platform/errors.h"
#include "platform/xml.h"
#include "swf/control_tags.h"
#include "swf/names.h"
#include "swf/reader.h"
#include "swf/sound_tags.h"
#include "swf/xml_form.h"
#include "test_util.h"

namespace {

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// A plain movie of the version around body, which holds whole tag records.
Bytes MovieWithBody(uint8_t version, const Bytes& body) {
    TSWFStreamReader movie;
    movie.SetBounds(TRect{0, 0, 2000, 2000});
    movie.SetFrameRate(12);
    movie.SetVersion(version);
    movie.FrameCount = 1;
    movie.GetBodyStream().WriteBuffer(body.data(), static_cast<int64_t>(body.size()));
    TMemoryStream out;
    movie.SaveToStream(out);
    return out.Bytes();
}

std::unique_ptr<TSWFStreamReader> ReadMovie(const Bytes& file) {
    TMemoryStream in(file);
    auto reader = TSWFStreamReader::CreateFromStream(in);
    reader->ParseTags(true, true);
    return reader;
}

struct Case {
    const char* name;
    int version;
    std::function<std::unique_ptr<TSWFObject>()> build;
    Bytes body;
};

std::vector<Case> Cases() {
    return {
        {"EmptySprite", 3,
         [] {
             auto sprite = std::make_unique<TSWFDefineSprite>();
             sprite->SpriteID = 5;
             return sprite;
         },
         HexBytes("05 00 00 00 00 00")},
        // A frame, then a raw child of code 255 and one byte (header C1 3F),
        // then the End tag that a read list keeps.
        {"FrameRawAndEnd", 3,
         [] {
             auto sprite = std::make_unique<TSWFDefineSprite>();
             sprite->SpriteID = 5;
             sprite->FrameCount = 1;
             sprite->ControlTags.push_back(std::make_unique<TSWFShowFrame>());
             auto raw = CreateTagByCode(255);
             static_cast<TSWFByteCodeTag&>(*raw).SetData(HexBytes("AA"));
             sprite->ControlTags.push_back(std::move(raw));
             sprite->ControlTags.push_back(std::make_unique<TSWFEnd>());
             return sprite;
         },
         HexBytes("05 00 01 00 40 00 C1 3F AA 00 00")},
        // A frame label child asks for version 6 as an anchor.
        {"SpriteAsksWhatItsTagsAsk", 6,
         [] {
             auto sprite = std::make_unique<TSWFDefineSprite>();
             auto label = TSWFFrameLabel::CreateWithName("a");
             label->IsAnchor = true;
             sprite->ControlTags.push_back(std::move(label));
             return sprite;
         },
         HexBytes("00 00 00 00 C3 0A 61 00 01 00 00")},
        {"OneSceneNoLabels", 9,
         [] {
             auto scenes = std::make_unique<TSWFDefineSceneAndFrameLabelData>();
             scenes->Scenes.push_back({0, "Main"});
             return scenes;
         },
         HexBytes("01 00 4D 61 69 6E 00 00")},
        // Offsets and frame numbers as EncodedU32: 200 is C8 01.
        {"ScenesAndLabels", 9,
         [] {
             auto scenes = std::make_unique<TSWFDefineSceneAndFrameLabelData>();
             scenes->Scenes.push_back({0, "A"});
             scenes->Scenes.push_back({200, "B"});
             scenes->FrameLabels.push_back({3, "go"});
             return scenes;
         },
         HexBytes("02 00 41 00 C8 01 42 00 01 03 67 6F 00")},
    };
}

TEST(SpriteTags, BodiesBothWaysCopiesAndXml) {
    TXMLReadWriteSettings settings;
    settings.Options = 0;
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        auto tag = c.build();
        EXPECT_EQ(ToHex(WriteBodyBytes(*tag)), ToHex(c.body));
        EXPECT_EQ(tag->RequiredVersion(), c.version);

        auto read = CreateTagByCode(tag->TagCode);
        ReadBodyBytes(*read, c.body);
        EXPECT_EQ(ToHex(WriteBodyBytes(*read)), ToHex(c.body));

        auto copy = CreateTagByCode(tag->TagCode);
        copy->CopyFieldsFrom(*read);
        EXPECT_EQ(ToHex(WriteBodyBytes(*copy)), ToHex(c.body));

        TXmlDocument doc;
        read->SaveToXml(doc.Root().AddChild(TagIdToName(read->TagCode)), settings);
        TXmlDocument reread;
        reread.LoadFromString(doc.SaveToString());
        auto loaded = CreateTagByCode(tag->TagCode);
        loaded->LoadFromXml(reread.DocumentElement(), settings);
        // The sprite's frame count is what its ShowFrame elements say.
        EXPECT_EQ(ToHex(WriteBodyBytes(*loaded)), ToHex(c.body)) << doc.SaveToString();
    }
}

TEST(SpriteTags, CopyIsDeepAndKeepsRawCodes) {
    TSWFDefineSprite source;
    ReadBodyBytes(source, HexBytes("05 00 01 00 43 02 01 02 03 C1 3F AA 40 00 00 00"));
    ASSERT_EQ(source.ControlTags.size(), 4u);
    TSWFDefineSprite copy;
    copy.CopyFieldsFrom(source);
    static_cast<TSWFSetBackgroundColor&>(source.GetTag(0)).Color.R = 0x77;
    EXPECT_EQ(static_cast<TSWFSetBackgroundColor&>(copy.GetTag(0)).Color.R, 1);
    EXPECT_EQ(copy.GetTag(1).WrittenCode(), 255);
    EXPECT_EQ(ToHex(WriteBodyBytes(copy)), "05 00 01 00 43 02 01 02 03 C1 3F AA 40 00 00 00");
}

// Inside a sprite a child's header is part of the sprite's body: a long
// header on a short body, and a short one where a long one is the rule,
// stay as the file has them, also in a copy.
TEST(SpriteTags, ChildHeadersKeepTheirForm) {
    Bytes body = HexBytes("01 00 01 00 FF 3F 01 00 00 00 AA C2 04 01 02 40 00 00 00");
    TSWFDefineSprite sprite;
    ReadBodyBytes(sprite, body);
    EXPECT_EQ(ToHex(WriteBodyBytes(sprite)), ToHex(body));
    TSWFDefineSprite copy;
    copy.CopyFieldsFrom(sprite);
    EXPECT_EQ(ToHex(WriteBodyBytes(copy)), ToHex(body));
    // A new child gets the usual header.
    copy.ControlTags.insert(copy.ControlTags.begin() + 2, CreateTagByCode(19));
    EXPECT_EQ(ToHex(WriteBodyBytes(copy)), "01 00 01 00 FF 3F 01 00 00 00 AA C2 04 01 02 FF 04 00 00 00 00 40 00 00 00");
}

// A child that reads less than its body, and one whose body cannot be read
// at all: the children after them still start where their records do.
TEST(SpriteTags, ChildrenResynchroniseAfterAMisreadChild) {
    Bytes body = Cat({HexBytes("07 00 02 00"),
                      HexBytes("45 02 01 02 03 EE EE"),  // background colour with two extra bytes
                      HexBytes("83 04 0A 2A 2D"),        // stream head cut short: raw
                      HexBytes("43 02 04 05 06"),        // background colour
                      HexBytes("40 00 00 00")});
    TSWFDefineSprite sprite;
    ReadBodyBytes(sprite, body);
    ASSERT_EQ(sprite.ControlTags.size(), 5u);
    EXPECT_EQ(sprite.GetTag(0).TagCode, 9);
    auto& raw = dynamic_cast<TSWFByteCodeTag&>(sprite.GetTag(1));
    EXPECT_EQ(raw.RealCode, 18);
    EXPECT_FALSE(raw.Name.empty());
    EXPECT_EQ(ToHex(Bytes(raw.Data(), raw.Data() + raw.DataSize())), "0A 2A 2D");
    auto& color = dynamic_cast<TSWFSetBackgroundColor&>(sprite.GetTag(2));
    EXPECT_EQ(color.Color.GetRGB(), SWFRGB(4, 5, 6));
    EXPECT_EQ(sprite.GetTag(3).TagCode, 1);
    EXPECT_EQ(sprite.GetTag(4).TagCode, 0);
}

TEST(SpriteTags, StreamBlocksFollowTheSpritesOwnHead) {
    // Top level: an MP3 head. In the sprite: a block before any head of the
    // sprite (plain data), an ADPCM head, a block (plain), an MP3 head, a block.
    Bytes sprite = Cat({HexBytes("01 00 03 00"),
                        HexBytes("FF 04 04 00 00 00 80 04 00 00"),
                        HexBytes("44 0B 00 1A 2D 07"),
                        HexBytes("FF 04 04 00 00 00 80 04 00 00"),
                        HexBytes("46 0B 0A 2A 2D 07 00 00"),
                        HexBytes("FF 04 05 00 00 00 80 04 FF FF AB"),
                        HexBytes("00 00")});
    Bytes body = Cat({HexBytes("46 0B 0A 2A 2D 07 00 00"), {uint8_t(0xC0 | sprite.size()), 0x09}, sprite,
                      HexBytes("FF 04 04 00 00 00 80 04 00 00 00 00")});
    auto reader = ReadMovie(MovieWithBody(6, body));
    ASSERT_EQ(reader->TagCount(), 4u);
    auto& spriteTag = dynamic_cast<TSWFDefineSprite&>(*reader->GetTagInfo(1).Object);
    ASSERT_EQ(spriteTag.ControlTags.size(), 6u);
    auto block = [&](size_t i) -> TSWFSoundStreamBlock& {
        return dynamic_cast<TSWFSoundStreamBlock&>(spriteTag.GetTag(i));
    };
    EXPECT_EQ(block(0).DataSize(), 4);
    EXPECT_EQ(block(2).DataSize(), 4);
    EXPECT_EQ(block(4).SampleCount, 1152);
    EXPECT_EQ(block(4).SeekSamples, -1);
    EXPECT_EQ(block(4).DataSize(), 1);
    // After the sprite the top level goes on with its own head's compression.
    auto& top = dynamic_cast<TSWFSoundStreamBlock&>(*reader->GetTagInfo(2).Object);
    EXPECT_EQ(top.SampleCount, 1152);
    EXPECT_EQ(top.DataSize(), 0);
    // The reader lists the sprite's tags as child descriptors.
    EXPECT_EQ(reader->GetTagInfo(1).Children.size(), 6u);

    reader->MakeStream();
    EXPECT_EQ(ToHex(reader->GetBodyStream().Bytes()), ToHex(body));
}

TEST(SpriteTags, BadSpritesBecomeRawTagsWithTheirBytes) {
    struct {
        const char* name;
        Bytes sprite;
    } cases[] = {
        {"child runs past the sprite", HexBytes("01 00 01 00 45 02 01 02")},
        {"no End tag", HexBytes("01 00 01 00 40 00")},
        {"long header cut short", HexBytes("01 00 01 00 7F 02 05")},
        {"bytes after the End tag", HexBytes("01 00 01 00 40 00 00 00 99")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TSWFDefineSprite sprite;
        EXPECT_THROW(ReadBodyBytes(sprite, c.sprite), EReadError);

        Bytes body = Cat({{uint8_t(0xC0 | c.sprite.size()), 0x09}, c.sprite, HexBytes("40 00 00 00")});
        auto reader = ReadMovie(MovieWithBody(6, body));
        ASSERT_EQ(reader->TagCount(), 3u);
        auto& raw = dynamic_cast<TSWFByteCodeTag&>(*reader->GetTagInfo(0).Object);
        EXPECT_EQ(raw.RealCode, 39);
        EXPECT_TRUE(reader->GetTagInfo(0).Children.empty());
        reader->MakeStream();
        EXPECT_EQ(ToHex(reader->GetBodyStream().Bytes()), ToHex(body));
    }
}

TEST(SpriteTags, XmlFramesRawChildrenAndSkippedElements) {
    TXMLReadWriteSettings settings;
    TXmlDocument doc;
    doc.LoadFromString(R"(<DefineSprite ID="4">
        <ShowFrame/><Nonsense/><ShowFrame/><tag255>0102</tag255><tag9>AABB</tag9><ShowFrame/>
      </DefineSprite>)");
    TSWFDefineSprite sprite;
    sprite.LoadFromXml(doc.DocumentElement(), settings);
    EXPECT_EQ(sprite.SpriteID, 4);
    EXPECT_EQ(sprite.FrameCount, 3);
    ASSERT_EQ(sprite.ControlTags.size(), 5u);
    EXPECT_EQ(sprite.GetTag(2).WrittenCode(), 255);
    // "tag9" stays raw: its bytes are not a colour's.
    EXPECT_EQ(sprite.GetTag(3).TagCode, kErrorTagCode);
    EXPECT_EQ(ToHex(WriteBodyBytes(sprite)), "04 00 03 00 40 00 40 00 C2 3F 01 02 42 02 AA BB 40 00 00 00");

    TXmlDocument saved;
    TXmlNode element = saved.Root().AddChild("DefineSprite");
    sprite.SaveToXml(element, settings);
    std::vector<std::string> names;
    for (const TXmlNode& child : element.ChildElements()) names.push_back(child.NodeName());
    EXPECT_EQ(names, (std::vector<std::string>{"ShowFrame", "ShowFrame", "tag255", "tag9", "ShowFrame"}));
}

TEST(SpriteTags, SceneXmlKeepsOffsetsAndDamagedCountsRaise) {
    TXMLReadWriteSettings settings;
    TXmlDocument doc;
    doc.LoadFromString(R"(<DefineSceneAndFrameLabelData><Scene Name="Intro"/><Frame FrameNum="2" Label="x"/><Other FrameNum="5" Label="y"/></DefineSceneAndFrameLabelData>)");
    TSWFDefineSceneAndFrameLabelData data;
    data.LoadFromXml(doc.DocumentElement(), settings);
    ASSERT_EQ(data.Scenes.size(), 1u);
    EXPECT_EQ(data.Scenes[0], (TSWFSceneEntry{0, "Intro"}));
    EXPECT_EQ(data.FrameLabels.size(), 2u);

    TSWFDefineSceneAndFrameLabelData huge;
    EXPECT_THROW(ReadBodyBytes(huge, HexBytes("FF FF FF FF 0F 00 41 00")), EReadError);
}

}  // namespace
