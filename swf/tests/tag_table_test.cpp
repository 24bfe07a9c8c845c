// The descriptor table against the tag list of the file format, row by row,
// and the rules that the reader, the writer and the XML form take from it.
#include <gtest/gtest.h>

#include "platform/xml.h"
#include "swf/display_tags.h"
#include "swf/names.h"
#include "swf/reader.h"
#include "swf/sprite_tags.h"
#include "swf/tag_table.h"
#include "swf/tag_xml.h"
#include "swf/tests/test_util.h"
#include "swf/xml_form.h"

namespace {

struct ExpectedRow {
    uint16_t code;
    const char* name;
    bool hasClass;  // whether a class of this library reads it today
};

// Every tag code of the format with its name, in code order.
const ExpectedRow kExpected[] = {
    {0, "End", true}, {1, "ShowFrame", true}, {2, "DefineShape", true}, {3, "FreeCharacter", true}, {4, "PlaceObject", true},
    {5, "RemoveObject", true}, {6, "DefineBits", true}, {7, "DefineButton", true}, {8, "JPEGTables", true},
    {9, "SetBackgroundColor", true}, {10, "DefineFont", true}, {11, "DefineText", true},
    {12, "DoAction", true}, {13, "DefineFontInfo", true}, {14, "DefineSound", true},
    {15, "StartSound", true}, {17, "DefineButtonSound", true}, {18, "SoundStreamHead", true},
    {19, "SoundStreamBlock", true}, {20, "DefineBitsLossless", true}, {21, "DefineBitsJPEG2", true},
    {22, "DefineShape2", true}, {23, "DefineButtonCxform", true}, {24, "Protect", true},
    {26, "PlaceObject2", true}, {28, "RemoveObject2", true}, {32, "DefineShape3", true},
    {33, "DefineText2", true}, {34, "DefineButton2", true}, {35, "DefineBitsJPEG3", true},
    {36, "DefineBitsLossless2", true}, {37, "DefineEditText", true}, {39, "DefineSprite", true},
    {40, "NameCharacter", false}, {41, "ProductInfo", true}, {43, "FrameLabel", true},
    {45, "SoundStreamHead2", true}, {46, "DefineMorphShape", true}, {48, "DefineFont2", true},
    {56, "ExportAssets", true}, {57, "ImportAssets", true}, {58, "EnableDebugger", true},
    {59, "DoInitAction", true}, {60, "DefineVideoStream", true}, {61, "VideoFrame", true},
    {62, "DefineFontInfo2", true}, {64, "EnableDebugger2", true}, {65, "ScriptLimits", true},
    {66, "SetTabIndex", true}, {69, "FileAttributes", true}, {70, "PlaceObject3", true},
    {71, "ImportAssets2", true}, {73, "DefineFontAlignZones", true}, {74, "CSMTextSettings", true},
    {75, "DefineFont3", true}, {76, "SymbolClass", true}, {77, "Metadata", true},
    {78, "DefineScalingGrid", true}, {82, "DoABC", true}, {83, "DefineShape4", true},
    {84, "DefineMorphShape2", true}, {86, "DefineSceneAndFrameLabelData", true},
    {87, "DefineBinaryData", true}, {88, "DefineFontName", true}, {89, "StartSound2", true},
    {240, "Error Tag", false},
};

std::vector<uint16_t> CodesWith(TTagTraits trait) {
    std::vector<uint16_t> codes;
    for (const TTagDescriptor& row : TagDescriptors())
        if (row.Has(trait)) codes.push_back(row.Code);
    return codes;
}

}  // namespace

TEST(TagTable, HoldsEveryCodeOfTheFormatInOrder) {
    auto rows = TagDescriptors();
    ASSERT_EQ(rows.size(), std::size(kExpected));
    for (size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(kExpected[i].name);
        EXPECT_EQ(rows[i].Code, kExpected[i].code);
        EXPECT_STREQ(rows[i].Name, kExpected[i].name);
        EXPECT_EQ(FindTagDescriptor(kExpected[i].code), &rows[i]);
        EXPECT_EQ(TagIdToName(kExpected[i].code), kExpected[i].name);
        if (kExpected[i].code != kErrorTagCode) {
            EXPECT_EQ(TagNameToId(kExpected[i].name), kExpected[i].code);
        }
        // Where there is a class, it reports its code; elsewhere the factory
        // keeps the tag raw under its code.
        std::unique_ptr<TSWFObject> tag = CreateTagByCode(kExpected[i].code);
        EXPECT_EQ(tag->TagCode == kErrorTagCode, !kExpected[i].hasClass);
        EXPECT_EQ(tag->WrittenCode(), kExpected[i].code);
    }
    EXPECT_EQ(FindTagDescriptor(16), nullptr);
    EXPECT_EQ(FindTagDescriptor(1023), nullptr);
    EXPECT_EQ(FindTagDescriptor(0xFFFF), nullptr);
}

TEST(TagTable, TraitsFollowTheFormat) {
    // The character look-up: shapes, bitmaps, buttons, fonts, texts, sound,
    // edit text, sprite, morph shapes, video stream and DefineFontInfo2.
    EXPECT_EQ(CodesWith(kDefinesCharacter),
              (std::vector<uint16_t>{2, 6, 7, 10, 11, 14, 20, 21, 22, 32, 33, 34, 35, 36, 37, 39, 46, 48, 60, 62,
                                     75, 83, 84}));
    EXPECT_EQ(CodesWith(kAlwaysLongHeader), (std::vector<uint16_t>{19, 20, 36, 60}));
    EXPECT_EQ(CodesWith(kNeedsParseActions), (std::vector<uint16_t>{7, 12, 26, 34, 39, 59, 70, 82}));
    EXPECT_EQ(CodesWith(kNeedsVersion), (std::vector<uint16_t>{13, 26, 39, 48, 70, 75}));
    EXPECT_EQ(CodesWith(kNeedsStreamSoundFormat), (std::vector<uint16_t>{19}));
}

TEST(TagTable, BothHeaderWritersFrameAlike) {
    // A short stream-sound block: the tag writer and the writer of ready
    // bodies give the same record.
    for (uint16_t code : {uint16_t(19), uint16_t(20), uint16_t(43)}) {
        SCOPED_TRACE(code);
        TSWFByteCodeTag raw;
        raw.RealCode = code;
        raw.SetData(Bytes{1, 2, 3});
        Bytes fromTag = WriteTagBytes(raw);
        TMemoryStream body(Bytes{1, 2, 3});
        TMemoryStream out;
        WriteTagFromStream(out, code, body, 0);
        EXPECT_EQ(ToHex(out.Bytes()), ToHex(fromTag));
        EXPECT_EQ(fromTag.size(), TagNeedsLongHeader(code) ? 9u : 5u);
    }
}

TEST(TagTable, XmlHandsTheVersionToEveryTagThatNeedsIt) {
    // A PlaceObject3 with a class name is read only by version 9 and later;
    // at the top level and inside a sprite the movie's version reaches it.
    TXmlDocument doc;
    TXmlNode root = doc.Root().AddChild("SWF");
    root.SetAttr("Version", static_cast<int64_t>(10));
    root.SetAttr("FPS", 12.0);
    root.SetAttr("XMax", 10);
    root.SetAttr("YMax", 10);
    root.AddChild("PlaceObject3").SetAttr("Depth", 1);
    TXmlNode sprite = root.AddChild("DefineSprite");
    sprite.SetAttr("ID", 1);
    sprite.AddChild("PlaceObject3").SetAttr("Depth", 2);
    sprite.AddChild("ShowFrame");

    TSWFStreamReader reader;
    ASSERT_TRUE(reader.LoadFromXml(doc.Root(), true));
    ASSERT_EQ(reader.Tags.size(), 2u);
    auto* top = dynamic_cast<TSWFPlaceObject3*>(reader.Tags[0]->Object);
    auto* spriteTag = dynamic_cast<TSWFDefineSprite*>(reader.Tags[1]->Object);
    ASSERT_NE(top, nullptr);
    ASSERT_NE(spriteTag, nullptr);
    EXPECT_EQ(top->SWFVersion, 10);
    auto* inner = dynamic_cast<TSWFPlaceObject3*>(spriteTag->ControlTags[0].get());
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(inner->SWFVersion, 10);
    EXPECT_EQ(spriteTag->FrameCount, 1);
    ASSERT_EQ(reader.Tags[1]->Children.size(), 2u);
}
