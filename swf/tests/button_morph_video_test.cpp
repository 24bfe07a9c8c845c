// Buttons, morph shapes and video: one table of (object, body bytes) cases per
// record family, checked in both directions, through a copy and through the
// XML form; then what the tables cannot say (raw action blocks, condition
// names, presence flags, the version rules, damaged bodies).
#include <gtest/gtest.h>

#include <functional>

#include "platform/errors.h"
#include "platform/xml.h"
#include "swf/actions.h"
#include "swf/button_tags.h"
#include "swf/morph_tags.h"
#include "swf/names.h"
#include "swf/video_tags.h"
#include "swf/xml_form.h"
#include "test_util.h"

namespace {

struct Case {
    const char* name;
    int version;
    TTagMaker build;
    Bytes body;
};

void AddAction(TSWFActionList& list, uint8_t code) { list.Add(CreateActionByCode(code)); }

std::vector<Case> ButtonCases() {
    return {
        // Memory keeps Up 1, Down 2, Over 4; the stream has Down 4, Over 2.
        // Each record gets an (empty) colour transform; 0x20 announces the
        // blend mode byte at the record's end; no condition records: offset 0.
        {"DefineButton2Records", 3,
         MakeTagWith<TSWFDefineButton2>([](auto& t) {
             t.ButtonId = 1;
             t.AddButtonRecord(2, kButtonStateUp | kButtonStateHitTest, 1);
             auto& second = t.AddButtonRecord(4, kButtonStateUp | kButtonStateDown, 2);
             second.HasBlendMode = true;
             second.BlendMode = 3;
         }),
         HexBytes("01 00 00 00 00  09 02 00 01 00 00 00  25 04 00 02 00 00 00 03  00")},
        // Two condition records: the first's size counts its own field, the
        // last's is 0; the offset counts from its own field to the first
        // record. OutDownToOverDown is bit 0x20 on the stream; OverDownToIdle
        // and key 13 make the key byte 27.
        {"DefineButton2Conditions", 3,
         MakeTagWith<TSWFDefineButton2>([](auto& t) {
             t.ButtonId = 3;
             t.TrackAsMenu = true;
             t.AddButtonRecord(2, kButtonStateUp, 1);
             AddAction(t.AddCondAction(kCondOutDownToOverDown), 0x07);
             AddAction(t.AddCondAction(kCondOverDownToIdle, 13), 0x06);
         }),
         HexBytes("03 00 01 0A 00  01 02 00 01 00 00 00  00  06 00 20 00 07 00  00 00 00 1B 06 00")},
        {"DefineButton2OverDownToOutDown", 3,
         MakeTagWith<TSWFDefineButton2>([](auto& t) {
             t.ButtonId = 4;
             t.AddCondAction(kCondOverDownToOutDown | kCondIdleToOverUp);
         }),
         HexBytes("04 00 00 03 00  00  00 00 11 00 00")},
        {"DefineButtonRelease", 3,
         MakeTagWith<TSWFDefineButton>([](auto& t) {
             t.ButtonId = 5;
             t.AddButtonRecord(6, kButtonStateOver, 2).GetMatrix().SetTranslate(20, 0);
             AddAction(t.Actions, 0x07);
         }),
         HexBytes("05 00  02 06 00 02 00 0C A0 00  00  07 00")},
        {"DefineButtonCxform", 2,
         MakeTagWith<TSWFDefineButtonCxform>([](auto& t) {
             t.ButtonId = 7;
             t.ColorTransform.SetAddR(1);
         }),
         HexBytes("07 00 89 00")},
        // IdleToOverUp was fetched (so present) but has no sound: a 0 word.
        {"DefineButtonSound", 2,
         MakeTagWith<TSWFDefineButtonSound>([](auto& t) {
             t.ButtonId = 8;
             t.GetIdleToOverUp();
             TSWFStartSound& down = t.GetOverUpToOverDown();
             down.SoundId = 9;
             down.SyncNoMultiple = true;
         }),
         HexBytes("08 00 00 00 00 00 09 00 10 00 00")},
    };
}

std::vector<Case> MorphCases() {
    auto solid = [](TSWFDefineMorphShape& t) {
        t.CharacterID = 1;
        auto fill = std::make_unique<TSWFMorphColorFill>();
        fill->StartColor = SWFRGBA(0xFF, 0, 0, 0xFF);
        fill->EndColor = SWFRGBA(0, 0, 0xFF, 0xFF);
        t.MorphFillStyles.push_back(std::move(fill));
    };
    auto gradient = [](TSWFDefineMorphShape& t) {
        t.CharacterID = 2;
        auto fill = std::make_unique<TSWFMorphGradientFill>();
        fill->SpreadMode = 1;
        for (int i = 1; i <= 3; ++i) {
            TSWFMorphGradientRecord& r = fill->GetGradientRecord(i);
            r.StartRatio = static_cast<uint8_t>(i);
            r.StartColor = SWFRGBA(1, 2, 3, 4);
            r.EndRatio = static_cast<uint8_t>(10 * i);
            r.EndColor = SWFRGBA(5, 6, 7, 8);
        }
        t.MorphFillStyles.push_back(std::move(fill));
        auto bitmap = std::make_unique<TSWFMorphImageFill>();
        bitmap->BitmapId = 5;
        t.MorphFillStyles.push_back(std::move(bitmap));
    };
    return {
        // Offset = fill array 10 + line array 1 + widths 1 + start edges 1;
        // the end edges of the first version select nothing (widths 0).
        {"DefineMorphShapeSolid", 3, MakeTagWith<TSWFDefineMorphShape>(solid),
         HexBytes("01 00 00 00 0D 00 00 00  01 00 FF 00 00 FF 00 00 FF FF  00  10 00  00 00")},
        // The second version repeats the start widths before the end edges.
        {"DefineMorphShape2Solid", 3, MakeTagWith<TSWFDefineMorphShape2>(solid),
         HexBytes("01 00 00 00 00 00 00 0D 00 00 00  01 00 FF 00 00 FF 00 00 FF FF  00  10 00  10 00")},
        // Count byte 0x43: spread mode 1 and three records, written back
        // with its mode; a clip-bitmap fill with two matrices.
        {"DefineMorphShapeGradientAndBitmap", 3, MakeTagWith<TSWFDefineMorphShape>(gradient),
         HexBytes("02 00 00 00 2B 00 00 00  02  10 00 00 43  01 01 02 03 04 0A 05 06 07 08"
                  "  02 01 02 03 04 14 05 06 07 08  03 01 02 03 04 1E 05 06 07 08"
                  "  41 05 00 00 00  00  20 00  00 00")},
        {"DefineMorphShapeLine", 3,
         MakeTagWith<TSWFDefineMorphShape>([](auto& t) {
             auto line = std::make_unique<TSWFMorphLineStyle>();
             line->StartWidth = 20;
             line->EndWidth = 40;
             line->StartColor = SWFRGBA(0x11, 0x22, 0x33, 0x44);
             line->EndColor = SWFRGBA(0x55, 0x66, 0x77, 0x88);
             t.MorphLineStyles.push_back(std::move(line));
         }),
         HexBytes("00 00 00 00 10 00 00 00  00  01 14 00 28 00 11 22 33 44 55 66 77 88  01 00  00 00")},
        // A filled MORPHLINESTYLE2 carries a morph fill (start and end
        // colour) in place of its two colours; a scaling stroke sets 0x01.
        {"DefineMorphShape2FilledLine", 3,
         MakeTagWith<TSWFDefineMorphShape2>([](auto& t) {
             t.CharacterID = 2;
             auto line = std::make_unique<TSWFMorphLineStyle2>();
             line->StartWidth = 20;
             line->EndWidth = 40;
             line->HasFillFlag = true;
             auto* fill = static_cast<TSWFMorphColorFill*>(line->GetFillStyle(kFillSolid));
             fill->StartColor = SWFRGBA(0x11, 0x22, 0x33, 0x44);
             fill->EndColor = SWFRGBA(0x55, 0x66, 0x77, 0x88);
             t.MorphLineStyles.push_back(std::move(line));
         }),
         HexBytes("02 00 00 00 00 00 01 13 00 00 00  00  01 14 00 28 00 08 00 00 11 22 33 44 55 66 77 88  01 00"
                  "  01 00")},
    };
}

std::vector<Case> VideoCases() {
    return {
        // Deblocking 5 and smoothing: flag byte 0x0B.
        {"DefineVideoStream", 6,
         MakeTagWith<TSWFDefineVideoStream>([](auto& t) {
             t.CharacterID = 1;
             t.NumFrames = 10;
             t.Width = 160;
             t.Height = 120;
             t.VideoFlagsDeblocking = 5;
             t.VideoFlagsSmoothing = true;
             t.CodecID = 2;
         }),
         HexBytes("01 00 0A 00 A0 00 78 00 0B 02")},
        {"DefineVideoStreamScreen2", 7, MakeTagWith<TSWFDefineVideoStream>([](auto& t) { t.CodecID = 3; }),
         HexBytes("00 00 00 00 00 00 00 00 00 03")},
        {"VideoFrame", 6,
         MakeTagWith<TSWFVideoFrame>([](auto& t) {
             t.StreamID = 1;
             t.FrameNum = 2;
             t.SetData(HexBytes("AA BB CC"));
         }),
         HexBytes("01 00 02 00 AA BB CC")},
        {"VideoFrameEmpty", 6, MakeTagWith<TSWFVideoFrame>([](auto& t) { t.StreamID = 3; }), HexBytes("03 00 00 00")},
    };
}

void CheckBothWaysCopyAndXml(const std::vector<Case>& cases) {
    TXMLReadWriteSettings settings;
    settings.Options = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto tag = c.build();
        EXPECT_EQ(ToHex(WriteBodyBytes(*tag)), ToHex(c.body));
        EXPECT_EQ(tag->RequiredVersion(), c.version);
        for (bool parse : {false, true}) {
            auto read = CreateTagByCode(tag->TagCode);
            read->SetParseActions(parse);
            ReadBodyBytes(*read, c.body);
            EXPECT_EQ(ToHex(WriteBodyBytes(*read)), ToHex(c.body)) << "parse actions " << parse;
            auto copy = CreateTagByCode(tag->TagCode);
            copy->CopyFieldsFrom(*read);
            EXPECT_EQ(ToHex(WriteBodyBytes(*copy)), ToHex(c.body)) << "copy, parse actions " << parse;
        }
        TXmlDocument doc;
        tag->SaveToXml(doc.Root().AddChild(TagIdToName(tag->TagCode)), settings);
        TXmlDocument reread;
        reread.LoadFromString(doc.SaveToString());
        auto loaded = CreateTagByCode(tag->TagCode);
        loaded->LoadFromXml(reread.DocumentElement(), settings);
        EXPECT_EQ(ToHex(WriteBodyBytes(*loaded)), ToHex(c.body)) << doc.SaveToString();
    }
}

}  // namespace

TEST(ButtonTags, BodiesBothWaysCopiesAndXml) { CheckBothWaysCopyAndXml(ButtonCases()); }
TEST(MorphTags, BodiesBothWaysCopiesAndXml) { CheckBothWaysCopyAndXml(MorphCases()); }
TEST(VideoTags, BodiesBothWaysCopiesAndXml) { CheckBothWaysCopyAndXml(VideoCases()); }

TEST(ButtonTags, ActionBlocksParsedOrKeptRaw) {
    // Without parsing, an empty block is one empty raw item, written back as
    // nothing before the end byte.
    TSWFDefineButton raw;
    ReadBodyBytes(raw, HexBytes("05 00 00 00"));
    ASSERT_EQ(raw.Actions.Count(), 1u);
    auto* bytes = dynamic_cast<TSWFActionByteCode*>(raw.Actions.GetAction(0));
    ASSERT_NE(bytes, nullptr);
    EXPECT_TRUE(bytes->Data.empty());
    EXPECT_EQ(ToHex(WriteBodyBytes(raw)), "05 00 00 00");

    // Parsed, the condition records hold actions; a block without its end
    // byte takes the rest of the body and gets the byte when written.
    TSWFDefineButton2 parsed;
    parsed.ParseActions = true;
    ReadBodyBytes(parsed, HexBytes("03 00 00 03 00 00  00 00 01 00 07 06"));
    ASSERT_EQ(parsed.CondActionCount(), 1u);
    EXPECT_EQ(parsed.GetCondAction(0).Conditions, kCondIdleToOverUp);
    ASSERT_EQ(parsed.GetCondAction(0).Count(), 2u);
    EXPECT_EQ(parsed.GetCondAction(0).GetAction(0)->ActionCode, 0x07);
    EXPECT_EQ(ToHex(WriteBodyBytes(parsed)), "03 00 00 03 00 00 00 00 01 00 07 06 00");
}

TEST(ButtonTags, XmlNamesFlagsAndPresence) {
    TXMLReadWriteSettings settings;
    TXmlDocument doc;
    doc.LoadFromString(
        "<DefineButton2 ID=\"3\"><ButtonRecord ID=\"2\" Depth=\"1\" State=\"hittest, Up ,bogus\"/>"
        "<EventActions><Actions Event=\"overdowntooverup, IdleToOverUp, Nonsense\" KeyCode=\"200\"/>"
        "<Ignored/></EventActions></DefineButton2>");
    TSWFDefineButton2 button;
    button.LoadFromXml(doc.DocumentElement(), settings);
    ASSERT_EQ(button.CondActionCount(), 1u);
    EXPECT_EQ(button.GetCondAction(0).Conditions, kCondOverDownToOverUp | kCondIdleToOverUp);
    EXPECT_EQ(button.GetButtonRecord(0).States, kButtonStateHitTest | kButtonStateUp);
    // Key codes keep their low 7 bits on the stream: 200 & 127 = 72.
    Bytes body = WriteBodyBytes(button);
    EXPECT_EQ(body[body.size() - 2], 72 << 1);

    TXmlDocument saved;
    button.SaveToXml(saved.Root().AddChild("DefineButton2"), settings);
    TXmlNode actions = saved.DocumentElement().ChildNode("EventActions").ChildNode("Actions");
    EXPECT_EQ(actions.AttrStr("Event"), "IdleToOverUp, OverDownToOverUp");
    EXPECT_EQ(saved.DocumentElement().ChildNode("ButtonRecord").AttrStr("State"), "Up, HitTest");

    // An empty filter list is no "Filters" element, and loading that leaves
    // the record without a list.
    TSWFButtonRecord record(4);
    record.GetFilters();
    EXPECT_TRUE(record.HasFilterList);
    TXmlDocument recordDoc;
    record.SaveToXml(recordDoc.Root().AddChild("ButtonRecord"), TXMLReadWriteSettings());
    EXPECT_FALSE(recordDoc.DocumentElement().ChildNode("Filters"));
    TSWFButtonRecord reloaded;
    reloaded.LoadFromXml(recordDoc.DocumentElement(), TXMLReadWriteSettings());
    EXPECT_FALSE(reloaded.HasFilterList);

    // A fetched transition without a sound has no element.
    TSWFDefineButtonSound sounds;
    sounds.GetIdleToOverUp();
    sounds.GetOverDownToOverUp().SoundId = 4;
    TXmlDocument soundDoc;
    sounds.SaveToXml(soundDoc.Root().AddChild("DefineButtonSound"), settings);
    EXPECT_FALSE(soundDoc.DocumentElement().ChildNode("IdleToOverUp"));
    EXPECT_EQ(soundDoc.DocumentElement().ChildNode("OverDownToOverUp").AttrInt("ID"), 4);
}

TEST(MorphTags, CopyIntoTheSecondVersionAndXmlEdgeBounds) {
    TSWFDefineMorphShape first;
    first.StartBounds.SetRect(TRect{0, 0, 200, 100});
    first.EndBounds.SetRect(TRect{20, 20, 400, 300});
    auto line = std::make_unique<TSWFMorphLineStyle>();
    line->StartWidth = 20;
    first.MorphLineStyles.push_back(std::move(line));
    TSWFDefineMorphShape2 second;
    second.CopyFieldsFrom(first);
    ASSERT_EQ(second.MorphLineStyles.size(), 1u);
    EXPECT_NE(dynamic_cast<TSWFMorphLineStyle2*>(second.MorphLineStyles[0].get()), nullptr);
    EXPECT_EQ(second.MorphLineStyles[0]->StartWidth, 20);
    EXPECT_EQ(second.StartEdgeBounds.GetRect(), first.StartBounds.GetRect());
    EXPECT_EQ(second.EndEdgeBounds.GetRect(), first.EndBounds.GetRect());

    TXMLReadWriteSettings settings;
    TXmlDocument doc;
    second.SaveToXml(doc.Root().AddChild("DefineMorphShape2"), settings);
    TXmlNode end = doc.DocumentElement().ChildNode("EndShape");
    ASSERT_TRUE(end);
    EXPECT_TRUE(end.HasAttribute("EndXMax"));
    EXPECT_TRUE(doc.DocumentElement().ChildNode("StartShape").HasAttribute("StartXMax"));
    TSWFDefineMorphShape2 loaded;
    loaded.LoadFromXml(doc.DocumentElement(), settings);
    EXPECT_EQ(ToHex(WriteBodyBytes(loaded)), ToHex(WriteBodyBytes(second)));
}

TEST(MorphTags, EdgesOfBothStatesAndAMiddleEndRecord) {
    // Start: select fill 1, a 20-twip line, an end record, a line back; end:
    // a line of 40.
    TSWFDefineMorphShape2 shape;
    shape.MorphFillStyles.push_back(std::make_unique<TSWFMorphColorFill>());
    auto change = std::make_unique<TSWFStyleChangeRecord>();
    change->SetFill0Id(1);
    shape.StartEdges.push_back(std::move(change));
    auto line = std::make_unique<TSWFStraightEdgeRecord>();
    line->DeltaX = 20;
    shape.StartEdges.push_back(std::move(line));
    shape.StartEdges.push_back(std::make_unique<TSWFEndShapeRecord>());
    auto back = std::make_unique<TSWFStraightEdgeRecord>();
    back->DeltaX = -20;
    shape.StartEdges.push_back(std::move(back));
    auto endLine = std::make_unique<TSWFStraightEdgeRecord>();
    endLine->DeltaX = 40;
    shape.EndEdges.push_back(std::move(endLine));
    TSWFDefineMorphShape2 read;
    ReadBodyBytes(read, WriteBodyBytes(shape));
    auto kinds = [](const TSWFShapeRecordList& list) {
        std::string text;
        for (const auto& record : list) text += std::to_string(record->RecordKind);
        return text;
    };
    // The middle end record is not written (it would end the list for any
    // reader); both lists read back whole, each closed by its end record.
    EXPECT_EQ(kinds(read.StartEdges), "1220");
    EXPECT_EQ(kinds(read.EndEdges), "20");
    EXPECT_EQ(static_cast<TSWFStraightEdgeRecord&>(*read.StartEdges[2]).DeltaX, -20);
    EXPECT_EQ(static_cast<TSWFStraightEdgeRecord&>(*read.EndEdges[0]).DeltaX, 40);
}

TEST(MorphTags, DamagedBodiesRaise) {
    const char* damaged[] = {
        "01 00 00 00 00 00 00 00  01 99",           // a fill type outside the table
        "01 00 00 00 00 00 00 00  FF FF FF 00",     // 65535 fills in a few bytes
        "01 00 00 00 00 00 00 00  00 FF 40 00",     // 64 line styles in two bytes
    };
    for (const char* hex : damaged) {
        SCOPED_TRACE(hex);
        TSWFDefineMorphShape shape;
        EXPECT_THROW(ReadBodyBytes(shape, HexBytes(hex)), Exception);
    }
    TSWFDefineMorphShape tooMany;
    auto fill = std::make_unique<TSWFMorphGradientFill>();
    fill->Gradients.resize(16);
    tooMany.MorphFillStyles.push_back(std::move(fill));
    EXPECT_THROW(WriteBodyBytes(tooMany), EWriteError);
}

TEST(VideoTags, FramesInXmlAsHexOrFileAndWrittenByCallback) {
    TXMLReadWriteSettings settings;
    std::string folder = TW_FIXTURE_DIR "/video_tags_test";
    settings.BaseFolder = folder;
    settings.CommonDataFolder = folder + "/data";
    TSWFVideoFrame frame;
    frame.StreamID = 1;
    frame.SetData(HexBytes("01 02 03"));
    for (bool external : {false, true}) {
        settings.Options = external ? kXmlExternalVideo : 0;
        TXmlDocument doc;
        frame.SaveToXml(doc.Root().AddChild("VideoFrame"), settings);
        EXPECT_EQ(doc.DocumentElement().HasAttribute("File"), external);
        TSWFVideoFrame loaded;
        loaded.LoadFromXml(doc.DocumentElement(), settings);
        EXPECT_EQ(ToHex(WriteBodyBytes(loaded)), "01 00 00 00 01 02 03");
    }
    // A frame that its callback writes has no data of its own to save.
    TSWFVideoFrame streamed;
    streamed.OnWrite = [](TSWFObject&, TBitsEngine& be) { be.WriteByte(0x42); };
    EXPECT_EQ(ToHex(WriteBodyBytes(streamed)), "00 00 00 00 42");
    TXmlDocument doc;
    streamed.SaveToXml(doc.Root().AddChild("VideoFrame"), settings);
    EXPECT_FALSE(doc.DocumentElement().HasAttribute("File"));
    EXPECT_EQ(doc.DocumentElement().Text(), "");
}

// The morph gradient's record fields through their accessors, and the focal
// points converted as the plain focal fill converts its own.
TEST(MorphTags, GradientAndFocalAccessors) {
    TSWFMorphFocalGradientFill fill;
    fill.SetStartRatio(2, 40);
    fill.SetEndRatio(2, 200);
    fill.GetStartColor(2) = SWFRGBA(1, 2, 3, 4);
    fill.GetEndColor(1) = SWFRGBA(9, 8, 7, 6);
    ASSERT_EQ(fill.NumGradients(), 2);
    EXPECT_EQ(fill.Gradients[1].StartRatio, 40);
    EXPECT_EQ(fill.GetEndRatio(2), 200);
    EXPECT_EQ(fill.GetStartRatio(1), 0);
    EXPECT_EQ(fill.Gradients[1].StartColor, SWFRGBA(1, 2, 3, 4));
    EXPECT_EQ(fill.GetEndColor(1), SWFRGBA(9, 8, 7, 6));
    EXPECT_THROW(fill.GetStartRatio(16), EConvertError);

    TSWFFocalGradientFill plain;
    for (float value : {0.5f, -0.25f, 1.0f, -2.0f, 3.0f}) {
        fill.SetStartFocalPoint(value);
        fill.SetEndFocalPoint(-value);
        plain.SetFocalPoint(value);
        EXPECT_EQ(fill.StartFocalPoint, plain.FocalPoint) << value;
        EXPECT_FLOAT_EQ(fill.GetStartFocalPoint(), plain.GetFocalPoint()) << value;
        plain.SetFocalPoint(-value);
        EXPECT_EQ(fill.EndFocalPoint, plain.FocalPoint) << value;
    }
    fill.StartFocalPoint = 300;
    EXPECT_FLOAT_EQ(fill.GetStartFocalPoint(), 1.0f);
    fill.EndFocalPoint = 128;
    EXPECT_FLOAT_EQ(fill.GetEndFocalPoint(), 128.0f / 255.0f);
    fill.SetEndFocalPoint(0.5f);
    EXPECT_EQ(fill.EndFocalPoint, 128);  // 127.5 rounds to even
}
