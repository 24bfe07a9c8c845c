#include "swf/display_tags.h"

#include <gtest/gtest.h>

#include <functional>

#include "platform/errors.h"
#include "platform/xml.h"
#include "swf/actions.h"
#include "swf/control_tags.h"
#include "swf/names.h"
#include "swf/reader.h"
#include "swf/sprite_tags.h"
#include "swf/xml_form.h"
#include "test_util.h"

namespace {

using Factory = std::function<std::unique_ptr<TSWFObject>()>;

template <class T>
Factory Make(std::function<void(T&)> fill = [](T&) {}) {
    return [fill] {
        auto tag = std::make_unique<T>();
        fill(*tag);
        return tag;
    };
}

// A placement as the file reader hands it over: the file's version, actions parsed.
template <class T>
Factory Fresh(uint8_t version) {
    return Make<T>([version](T& t) {
        t.SetSWFVersion(version);
        t.SetParseActions(true);
    });
}

void AddStop(TSWFActionList& list) { list.Add(CreateActionByCode(0x07)); }

struct Case {
    const char* name;
    int version;
    Factory build;
    Factory fresh;
    Bytes body;
};

// Matrices and colour transforms were worked out bit by bit: translate
// (20, 40) is 0E 51 40; scale 2.0 with translate (200, -100) is
// CD 00 00 20 00 02 59 19 C0; multiply (128, 256, 256) is 68 80 40 10 00;
// add (-255, 0, 0, -128) with multiply (256, 256, 256, 128) is
// E9 00 40 10 02 03 01 00 00 0E 00.
const char* const kDropShadow = "00 00 00 00 FF 00 00 05 00 00 80 02 00 0F C9 00 00 00 00 04 00 00 01 62";

void FillDropShadow(TSWFFilterList& filters) {
    auto& shadow = static_cast<TSWFDropShadowFilter&>(filters.CreateFilterById(kFilterDropShadow));
    shadow.BlurX = 5;
    shadow.BlurY = 2.5f;
    shadow.Angle = 51471.0f / 65536.0f;
    shadow.Distance = 4;
    shadow.Strength = 1;
    shadow.Knockout = true;
    shadow.Passes = 2;
}

std::vector<Case> Cases() {
    return {
        {"PlaceObject", 1,
         Make<TSWFPlaceObject>([](auto& t) {
             t.SetCharacterId(1);
             t.Depth = 1;
             t.Matrix.SetTranslate(20, 40);
         }),
         Make<TSWFPlaceObject>(), HexBytes("01 00 01 00 0E 51 40")},
        {"PlaceObjectColour", 1,
         Make<TSWFPlaceObject>([](auto& t) {
             t.SetCharacterId(1);
             t.Depth = 2;
             t.Matrix.SetTranslate(20, 40);
             t.ColorTransform.SetMultR(128);
             t.ColorTransform.SetMultG(256);
             t.ColorTransform.SetMultB(256);
         }),
         Make<TSWFPlaceObject>(), HexBytes("01 00 02 00 0E 51 40 68 80 40 10 00")},
        {"PlaceObject2Move", 3, Make<TSWFPlaceObject2>([](auto& t) { t.Depth = 1; t.PlaceFlagMove = true; }),
         Fresh<TSWFPlaceObject2>(6), HexBytes("01 01 00")},
        {"PlaceObject2Everything", 3,
         Make<TSWFPlaceObject2>([](auto& t) {
             t.Depth = 3;
             t.SetCharacterId(2);
             t.GetMatrix().SetScale(2, 2);
             t.GetMatrix().SetTranslate(200, -100);
             TSWFColorTransform& c = t.GetColorTransform();
             c.SetAddR(-255);
             c.SetAddG(0);
             c.SetAddB(0);
             c.SetAddA(-128);
             c.SetMultR(256);
             c.SetMultG(256);
             c.SetMultB(256);
             c.SetMultA(128);
             t.SetRatio(5);
             t.SetName("clip");
             t.SetClipDepth(9);
         }),
         Fresh<TSWFPlaceObject2>(6),
         HexBytes("7E 03 00 02 00 CD 00 00 20 00 02 59 19 C0 E9 00 40 10 02 03 01 00 00 0E 00 05 00 "
                  "63 6C 69 70 00 09 00")},
        {"OnLoadStopSWF5", 5,
         Make<TSWFPlaceObject2>([](auto& t) {
             t.SWFVersion = 5;
             t.Depth = 1;
             t.SetCharacterId(1);
             AddStop(t.GetClipActions().AddActionRecord(kClipEventLoad, 0));
         }),
         Fresh<TSWFPlaceObject2>(5), HexBytes("82 01 00 01 00 00 00 01 00 01 00 02 00 00 00 07 00 00 00")},
        {"OnLoadStopSWF6", 6,
         Make<TSWFPlaceObject2>([](auto& t) {
             t.SWFVersion = 6;
             t.Depth = 1;
             t.SetCharacterId(1);
             AddStop(t.GetClipActions().AddActionRecord(kClipEventLoad, 0));
         }),
         Fresh<TSWFPlaceObject2>(6),
         HexBytes("82 01 00 01 00 00 00 01 00 00 00 01 00 00 00 02 00 00 00 07 00 00 00 00 00")},
        // The key code counts in the record's size and comes before the actions.
        {"KeyPressSWF6", 6,
         Make<TSWFPlaceObject2>([](auto& t) {
             t.SWFVersion = 6;
             t.Depth = 1;
             t.PlaceFlagMove = true;
             AddStop(t.GetClipActions().AddActionRecord(kClipEventKeyPress, 13));
         }),
         Fresh<TSWFPlaceObject2>(6),
         HexBytes("81 01 00 00 00 00 00 02 00 00 00 02 00 03 00 00 00 0D 07 00 00 00 00 00")},
        {"PlaceObject3Blend", 8,
         Make<TSWFPlaceObject3>([](auto& t) {
             t.Depth = 2;
             t.PlaceFlagMove = true;
             t.HasBlendMode = true;
             t.BlendMode = 3;
         }),
         Fresh<TSWFPlaceObject3>(8), HexBytes("01 02 02 00 03")},
        {"PlaceObject3ShadowAndBlend", 8,
         Make<TSWFPlaceObject3>([](auto& t) {
             t.Depth = 1;
             t.SetCharacterId(1);
             t.GetMatrix().SetTranslate(20, 40);
             FillDropShadow(t.GetFilters());
             t.HasBlendMode = true;
             t.BlendMode = 2;
         }),
         Fresh<TSWFPlaceObject3>(8),
         HexBytes(std::string("06 03 01 00 01 00 0E 51 40 01 ") + kDropShadow + " 02")},
        {"PlaceObject3ClassNameSWF9", 9,
         Make<TSWFPlaceObject3>([](auto& t) {
             t.Depth = 1;
             t.SetCharacterId(5);
             t.SetClassName("Foo");
         }),
         Fresh<TSWFPlaceObject3>(9), HexBytes("02 08 01 00 46 6F 6F 00 05 00")},
        {"PlaceObject3CachedImage", 9,
         Make<TSWFPlaceObject3>([](auto& t) {
             t.Depth = 4;
             t.SetCharacterId(5);
             t.HasImage = true;
             t.CacheAsBitmap = true;
         }),
         // No class-name flag, so no class name: the identifier follows the depth.
         Fresh<TSWFPlaceObject3>(9), HexBytes("02 14 04 00 05 00")},
        {"RemoveObject", 1,
         Make<TSWFRemoveObject>([](auto& t) {
             t.CharacterId = 1;
             t.Depth = 5;
         }),
         Make<TSWFRemoveObject>(), HexBytes("01 00 05 00")},
        {"RemoveObject2", 3, Make<TSWFRemoveObject2>([](auto& t) { t.Depth = 5; }), Make<TSWFRemoveObject2>(),
         HexBytes("05 00")},
    };
}

TEST(DisplayTags, BodiesBothWaysCopiesXmlAndVersions) {
    TXMLReadWriteSettings settings;
    settings.Options = 0;
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        auto tag = c.build();
        EXPECT_EQ(ToHex(WriteBodyBytes(*tag)), ToHex(c.body));
        EXPECT_EQ(tag->RequiredVersion(), c.version);

        auto read = c.fresh();
        ReadBodyBytes(*read, c.body);
        EXPECT_EQ(ToHex(WriteBodyBytes(*read)), ToHex(c.body));
        EXPECT_EQ(read->RequiredVersion(), c.version);

        auto copy = c.fresh();
        copy->CopyFieldsFrom(*read);
        EXPECT_EQ(ToHex(WriteBodyBytes(*copy)), ToHex(c.body));

        TXmlDocument doc;
        read->SaveToXml(doc.Root().AddChild(TagIdToName(read->TagCode)), settings);
        TXmlDocument reread;
        reread.LoadFromString(doc.SaveToString());
        auto loaded = c.fresh();
        loaded->LoadFromXml(reread.DocumentElement(), settings);
        EXPECT_EQ(ToHex(WriteBodyBytes(*loaded)), ToHex(c.body)) << doc.SaveToString();
    }
    TSWFShowFrame frame;
    EXPECT_EQ(ToHex(WriteTagBytes(frame)), "40 00");
}

TEST(DisplayTags, EventNamesAndFlags) {
    EXPECT_EQ(EventNamesToFlags("load, enterFrame"), 0xC0u);
    EXPECT_EQ(EventNamesToFlags(" KEY PRESS ,dragout,nonsense"), uint32_t(kClipEventKeyPress | kClipEventDragOut));
    EXPECT_EQ(EventFlagsToNames(0xC0, 5), "EnterFrame, Load");
    EXPECT_EQ(EventFlagsToNames(kClipEventKeyPress, 5), "");
    EXPECT_EQ(EventFlagsToNames(kClipEventKeyPress | kClipEventKeyUp, 6), "KeyUp, KeyPress");
    // Every event through the file form of SWF 6, and the SWF 5 form drops the SWF 6 events.
    for (int bit = 0; bit < 19; ++bit) {
        SCOPED_TRACE(bit);
        TMemoryStream out;
        TBitsEngine be(out);
        WriteEventFlags(be, 1u << bit, 6);
        ASSERT_EQ(out.GetSize(), 4);
        const Bytes& b = out.Bytes();
        EXPECT_EQ(ReadEventFlags(b[0] | b[1] << 8 | b[2] << 16 | uint32_t(b[3]) << 24, 6), 1u << bit);
        EXPECT_EQ(ReadEventFlags(b[0] | b[1] << 8 | b[2] << 16, 5), bit < 16 ? 1u << bit : 0u);
    }
}

TEST(DisplayTags, ClipActionOddities) {
    // Clip actions asked for but none recorded: no block, flag bit clear.
    TSWFPlaceObject2 empty;
    empty.Depth = 1;
    empty.GetClipActions();
    EXPECT_TRUE(empty.HasClipActions);
    EXPECT_EQ(ToHex(WriteBodyBytes(empty)), "00 01 00");

    // Actions ending with a branch target still end with ActionEnd.
    TSWFPlaceObject2 marked;
    marked.SWFVersion = 5;
    marked.Depth = 1;
    marked.GetClipActions().AddActionRecord(kClipEventEnterFrame, 0).Add(std::make_unique<TSWFOffsetMarker>());
    EXPECT_EQ(ToHex(WriteBodyBytes(marked)), "80 01 00 00 00 02 00 02 00 01 00 00 00 00 00 00");

    // Raw actions that already end with ActionEnd get no second one.
    TSWFPlaceObject2 raw;
    ReadBodyBytes(raw, HexBytes("82 01 00 01 00 00 00 01 00 01 00 02 00 00 00 07 00 00 00"));
    ASSERT_EQ(raw.GetClipActions().GetCount(), 1u);
    EXPECT_EQ(raw.GetClipActions().GetActionRecord(0).Count(), 1u);
    EXPECT_NE(dynamic_cast<TSWFActionByteCode*>(raw.GetClipActions().GetActionRecord(0).GetAction(0)), nullptr);
    EXPECT_EQ(ToHex(WriteBodyBytes(raw)), "82 01 00 01 00 00 00 01 00 01 00 02 00 00 00 07 00 00 00");

    // A block read without records, with or without its end flag, is
    // written back as the file had it.
    for (const char* body : {"80 01 00 00 00 01 00 00 00", "80 01 00 00 00 01 00"}) {
        SCOPED_TRACE(body);
        TSWFPlaceObject2 none;
        none.SWFVersion = 5;
        none.SetParseActions(true);
        ReadBodyBytes(none, HexBytes(body));
        EXPECT_EQ(none.GetClipActions().GetCount(), 0u);
        EXPECT_EQ(ToHex(WriteBodyBytes(none)), body);
        TSWFPlaceObject2 copy;
        copy.CopyFieldsFrom(none);
        EXPECT_EQ(ToHex(WriteBodyBytes(copy)), body);
        TXMLReadWriteSettings settings;
        TXmlDocument doc;
        none.SaveToXml(doc.Root().AddChild("PlaceObject2"), settings);
        TSWFPlaceObject2 loaded;
        loaded.SWFVersion = 5;
        loaded.LoadFromXml(doc.DocumentElement(), settings);
        EXPECT_EQ(ToHex(WriteBodyBytes(loaded)), body) << doc.SaveToString();
    }

    // Producers' wider bit fields are kept while the value stays: ffmpeg
    // gives zero skew and translation one bit each.
    Bytes wide = HexBytes("36 01 00 00 00 C9 00 00 40 00 21 02 00 00 00 76 69 64 65 6F 00");
    TSWFPlaceObject2 kept;
    ReadBodyBytes(kept, wide);
    EXPECT_EQ(ToHex(WriteBodyBytes(kept)), ToHex(wide));
    kept.GetMatrix().SetTranslate(20, 40);
    EXPECT_EQ(ToHex(WriteBodyBytes(kept)), "36 01 00 00 00 C9 00 00 40 00 20 39 45 00 00 00 76 69 64 65 6F 00");
}

TEST(DisplayTags, PlaceObject3Additions) {
    // An empty filter list writes no list and a clear bit.
    TSWFPlaceObject3 emptyList;
    emptyList.Depth = 1;
    emptyList.GetFilters();
    EXPECT_TRUE(emptyList.HasFilterList);
    EXPECT_EQ(ToHex(WriteBodyBytes(emptyList)), "00 00 01 00");

    // Written as a PlaceObject2, nothing of the additions shows.
    TSWFPlaceObject3 asTwo;
    asTwo.Depth = 1;
    asTwo.SetCharacterId(1);
    FillDropShadow(asTwo.GetFilters());
    asTwo.HasBlendMode = true;
    asTwo.SetClassName("Foo");
    asTwo.WriteAsPlaceObject2 = true;
    EXPECT_EQ(ToHex(WriteBodyBytes(asTwo)), "02 01 00 01 00");

    // An SWF 8 file cannot name classes: bits 4 and 3 are not looked at.
    TSWFPlaceObject3 old;
    ReadBodyBytes(old, HexBytes("02 18 01 00 05 00"));
    EXPECT_FALSE(old.HasClassName);
    EXPECT_FALSE(old.HasImage);
    EXPECT_EQ(old.CharacterId, 5);
    EXPECT_EQ(old.RequiredVersion(), 8);

    // The copy owns its own filters.
    TSWFPlaceObject3 source;
    FillDropShadow(source.GetFilters());
    TSWFPlaceObject3 copy;
    copy.CopyFieldsFrom(source);
    static_cast<TSWFDropShadowFilter&>(source.GetFilters().GetFilter(0)).Distance = 99;
    EXPECT_EQ(static_cast<TSWFDropShadowFilter&>(copy.GetFilters().GetFilter(0)).Distance, 4.0f);
    EXPECT_FALSE(copy.WriteAsPlaceObject2);
}

TEST(DisplayTags, ClipActionCopiesAreDeep) {
    TSWFPlaceObject2 source;
    source.SWFVersion = 6;
    AddStop(source.GetClipActions().AddActionRecord(kClipEventLoad, 0));
    TSWFPlaceObject2 copy;
    copy.CopyFieldsFrom(source);
    source.GetClipActions().GetActionRecord(0).Clear();
    source.GetClipActions().Records.clear();
    ASSERT_EQ(copy.GetClipActions().GetCount(), 1u);
    EXPECT_EQ(copy.GetClipActions().GetActionRecord(0).GetAction(0)->ActionCode, 0x07);
}

TEST(DisplayTags, XmlLoadFlagsAndEvents) {
    TXMLReadWriteSettings settings;
    TXmlDocument doc;
    doc.LoadFromString(R"(<PlaceObject2 ID="3" Depth="7" Name="hero" RemoveDepth="True">
        <EventActions><Actions Event="load, enterFrame"><Stop/></Actions><Anything Event="Press" KeyCode="32"/></EventActions>
      </PlaceObject2>)");
    TSWFPlaceObject2 full;
    full.SWFVersion = 6;
    full.LoadFromXml(doc.DocumentElement(), settings);
    EXPECT_EQ(full.Name, "hero");
    EXPECT_TRUE(full.PlaceFlagMove);
    ASSERT_EQ(full.GetClipActions().GetCount(), 2u);
    EXPECT_EQ(full.GetClipActions().GetActionRecord(0).EventFlags, 0xC0u);
    EXPECT_EQ(full.GetClipActions().GetActionRecord(1).EventFlags, uint32_t(kClipEventPress | kClipEventKeyPress));
    EXPECT_EQ(full.GetClipActions().AllEventFlags, uint32_t(0xC0 | kClipEventPress | kClipEventKeyPress));

    settings.LoadFlags = 0x1;
    TSWFPlaceObject2 noEvents;
    noEvents.LoadFromXml(doc.DocumentElement(), settings);
    EXPECT_FALSE(noEvents.HasClipActions);
    EXPECT_TRUE(noEvents.HasName);

    settings.LoadFlags = 0x2;
    TSWFPlaceObject2 eventsOnly;
    eventsOnly.LoadFromXml(doc.DocumentElement(), settings);
    EXPECT_FALSE(eventsOnly.HasName);
    EXPECT_FALSE(eventsOnly.HasCharacter);
    EXPECT_EQ(eventsOnly.GetClipActions().GetCount(), 2u);

    settings.LoadFlags = 0;
    doc.LoadFromString(R"(<PlaceObject2 ID="3"/>)");
    TSWFPlaceObject2 noDepth;
    EXPECT_THROW(noDepth.LoadFromXml(doc.DocumentElement(), settings), EConvertError);
}

TEST(DisplayTags, DamagedClipActionsRaise) {
    struct {
        const char* name;
        Factory fresh;
        Bytes body;
    } cases[] = {
        {"record size past the body", Make<TSWFPlaceObject2>([](auto& t) { t.SWFVersion = 5; }),
         HexBytes("80 01 00 00 00 01 00 01 00 FF FF FF 7F 07 00")},
        {"key press without room for its key", Make<TSWFPlaceObject2>([](auto& t) { t.SWFVersion = 6; }),
         HexBytes("80 01 00 00 00 00 00 02 00 00 00 02 00 00 00 00 00")},
        {"record flags cut short", Make<TSWFPlaceObject2>([](auto& t) { t.SWFVersion = 5; }),
         HexBytes("80 01 00 00 00 01 00 01")},
        {"filter count past the body", Make<TSWFPlaceObject3>(),
         HexBytes("00 01 01 00 05 01 00 00 01 00 00 00 01 00 08")},
        {"gradient entries past the body", Make<TSWFPlaceObject3>(), HexBytes("00 01 01 00 01 04 FF 00 00 00 00")},
    };
    for (const auto& c : cases) {
        for (bool parse : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (parse ? " (parsed)" : " (raw)"));
            auto tag = c.fresh();
            tag->SetParseActions(parse);
            EXPECT_THROW(ReadBodyBytes(*tag, c.body), EReadError);
        }
    }
}

// Actions that end before their record does: the next record is read where
// it starts, not where the actions stopped.
TEST(DisplayTags, RecordsResynchroniseAfterShortActions) {
    // Record 1 (load, 4 bytes): Stop, ActionEnd and two stray bytes.
    // Record 2 (enterFrame): Stop.
    Bytes body = HexBytes("82 01 00 01 00 00 00 03 00 01 00 04 00 00 00 07 00 AA BB 02 00 02 00 00 00 07 00 00 00");
    for (bool parse : {false, true}) {
        SCOPED_TRACE(parse ? "parsed" : "raw");
        TSWFPlaceObject2 tag;
        tag.SWFVersion = 5;
        tag.SetParseActions(parse);
        ReadBodyBytes(tag, body);
        ASSERT_EQ(tag.GetClipActions().GetCount(), 2u);
        EXPECT_EQ(tag.GetClipActions().GetActionRecord(1).EventFlags, uint32_t(kClipEventEnterFrame));
        EXPECT_EQ(tag.GetClipActions().AllEventFlags, uint32_t(kClipEventEnterFrame | kClipEventLoad));
    }
}

// Placements inside a sprite, read from a file: the reader finds the
// character a named placement puts on the sprite's timeline.
TEST(DisplayTags, ReaderFindsNamedPlacementsInSprites) {
    TSWFDefineSprite sprite;
    sprite.SpriteID = 2;
    sprite.FrameCount = 1;
    auto place = std::make_unique<TSWFPlaceObject2>();
    place->Depth = 1;
    place->SetCharacterId(2);
    place->SetName("inner");
    sprite.ControlTags.push_back(std::move(place));
    sprite.ControlTags.push_back(std::make_unique<TSWFShowFrame>());

    TSWFStreamReader movie;
    movie.SetBounds(TRect{0, 0, 2000, 2000});
    movie.SetVersion(6);
    TBitsEngine be(movie.GetBodyStream());
    sprite.WriteTag(be);
    TSWFEnd end;
    end.WriteTag(be);
    TMemoryStream file;
    movie.SaveToStream(file);

    file.SetPosition(0);
    auto reader = TSWFStreamReader::CreateFromStream(file);
    reader->ParseTags(true, true);
    ASSERT_EQ(reader->GetTagInfo(0).Children.size(), 3u);
    EXPECT_EQ(reader->GetTagInfo(0).Children[0]->TagCode, 26);
    EXPECT_EQ(reader->FindObjectByName("inner"), reader->GetTagInfo(0).Object);
    EXPECT_EQ(reader->FindObjectByName("outer"), nullptr);
}

// A sprite hands its children the file's version and the parse-actions
// choice: a class name is read only from SWF 9 on, and clip actions become
// action objects only when asked for.
TEST(DisplayTags, SpriteChildrenGetTheFilesContext) {
    // Sprite 3: a PlaceObject3 naming class "C" (SWF 9 form), and a
    // PlaceObject2 with onClipEvent(load) { stop(); } in the SWF 6 form.
    Bytes sprite = HexBytes("03 00 01 00 88 11 02 08 01 00 43 00 05 00"
                            "99 06 82 02 00 05 00 00 00 01 00 00 00 01 00 00 00 02 00 00 00 07 00 00 00 00 00"
                            "40 00 00 00");
    struct {
        uint8_t version;
        bool parseActions;
    } cases[] = {{9, true}, {8, true}, {9, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(FormatStr("SWF %d, actions %s", c.version, c.parseActions ? "parsed" : "raw"));
        TSWFDefineSprite tag;
        tag.SetSWFVersion(c.version);
        tag.SetParseActions(c.parseActions);
        ReadBodyBytes(tag, sprite);
        ASSERT_EQ(tag.ControlTags.size(), 4u);
        auto& named = dynamic_cast<TSWFPlaceObject3&>(tag.GetTag(0));
        if (c.version >= 9) {
            EXPECT_EQ(named.ClassName, "C");
            EXPECT_EQ(named.CharacterId, 5);
        } else {
            EXPECT_FALSE(named.HasClassName);
        }
        auto& clip = dynamic_cast<TSWFPlaceObject2&>(tag.GetTag(1));
        ASSERT_EQ(clip.GetClipActions().GetCount(), 1u);
        TSWFAction* action = clip.GetClipActions().GetActionRecord(0).GetAction(0);
        EXPECT_EQ(action->ActionCode, c.parseActions ? 0x07 : kActionByteCode);
        if (c.version >= 9) {
            EXPECT_EQ(ToHex(WriteBodyBytes(tag)), ToHex(sprite));
        }
    }
}

}  // namespace
