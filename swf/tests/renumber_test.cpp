// Renumbering the characters of a read movie and moving its resources to an
// earlier frame, on tag lists built in memory; and the reference check that
// the embedding and its tests rely on.
#include <gtest/gtest.h>

#include <functional>

#include "platform/errors.h"
#include "swf/bitmap_tags.h"
#include "swf/button_tags.h"
#include "swf/character_ids.h"
#include "swf/control_tags.h"
#include "swf/display_tags.h"
#include "swf/do_action.h"
#include "swf/font_tags.h"
#include "swf/morph_tags.h"
#include "swf/names.h"
#include "swf/reader.h"
#include "swf/shape_tags.h"
#include "swf/sound_tags.h"
#include "swf/sprite_tags.h"
#include "swf/text_tags.h"
#include "swf/video_tags.h"
#include "test_util.h"

namespace {

using Tags = std::vector<std::unique_ptr<TSWFObject>>;

std::unique_ptr<TSWFObject> Shape(uint16_t id, int32_t bitmap = -1) {
    auto shape = std::make_unique<TSWFDefineShape3>();
    shape->ShapeId = id;
    if (bitmap >= 0) {
        auto fill = std::make_unique<TSWFImageFill>();
        fill->BitmapId = static_cast<uint16_t>(bitmap);
        shape->FillStyles.push_back(std::move(fill));
        // A bitmap fill in a style-change record's new styles too.
        auto change = std::make_unique<TSWFStyleChangeRecord>();
        auto again = std::make_unique<TSWFImageFill>();
        again->BitmapId = static_cast<uint16_t>(bitmap);
        change->GetNewFillStyles().push_back(std::move(again));
        shape->Edges.push_back(std::move(change));
    }
    return shape;
}

std::unique_ptr<TSWFObject> Bitmap(uint16_t id) {
    auto bitmap = std::make_unique<TSWFDefineBitsJPEG2>();
    bitmap->CharId = id;
    return bitmap;
}

std::unique_ptr<TSWFObject> Place(uint16_t id, uint16_t depth = 1) {
    auto place = std::make_unique<TSWFPlaceObject2>();
    place->SetCharacterId(id);
    place->Depth = depth;
    return place;
}

template <class T>
std::unique_ptr<TSWFObject> Morph(uint16_t id, uint16_t bitmap) {
    auto morph = std::make_unique<T>();
    morph->CharacterID = id;
    auto fill = std::make_unique<TSWFMorphImageFill>();
    fill->BitmapId = bitmap;
    morph->MorphFillStyles.push_back(std::move(fill));
    return morph;
}

// One line per tag: its name, the identifiers it defines and, after "->",
// those it refers to.
std::string Describe(TSWFStreamReader& reader) {
    std::string text;
    for (const auto& info : reader.Tags) {
        text += TagIdToName(info->TagCode);
        ForEachDefinedId(*info->Object, [&](uint16_t& id) { text += " " + std::to_string(id); });
        std::string refs;
        ForEachReference(*info->Object, [&](uint16_t& id) { refs += " " + std::to_string(id); });
        if (!refs.empty()) text += " ->" + refs;
        text += "; ";
    }
    return text;
}

void Fill(TSWFStreamReader& reader, Tags tags) {
    for (auto& tag : tags) {
        auto info = std::make_unique<TSWFTagInfo>(tag->TagCode);
        info->SetObject(std::move(tag));
        reader.Tags.push_back(std::move(info));
    }
}

struct RenumberCase {
    const char* name;
    std::function<Tags()> tags;
    uint16_t firstId;
    uint16_t vetoedCode;  // 0: none
    uint32_t next;
    const char* after;
};

std::vector<RenumberCase> RenumberCases() {
    return {
        {"shapes and a placement",
         [] {
             Tags t;
             t.push_back(Shape(1));
             t.push_back(Shape(2));
             t.push_back(Place(2));
             return t;
         },
         100, 0, 102, "DefineShape3 100; DefineShape3 101; PlaceObject2 -> 101; "},
        {"a character the movie does not define keeps its identifier",
         [] {
             Tags t;
             t.push_back(Shape(1));
             t.push_back(Place(9));
             return t;
         },
         50, 0, 51, "DefineShape3 50; PlaceObject2 -> 9; "},
        {"a duplicate identifier: references follow the first definition",
         [] {
             Tags t;
             t.push_back(Shape(5));
             t.push_back(Bitmap(5));
             t.push_back(Place(5));
             return t;
         },
         10, 0, 12, "DefineShape3 10; DefineBitsJPEG2 11; PlaceObject2 -> 10; "},
        {"a vetoed bitmap keeps its identifier and so do the fills using it",
         [] {
             Tags t;
             t.push_back(Bitmap(3));
             t.push_back(Shape(4, 3));
             return t;
         },
         20, TagCodes::DefineBitsJPEG2, 21, "DefineBitsJPEG2 3; DefineShape3 20 -> 3 3; "},
        {"bitmap fills of both morph shapes follow their bitmap",
         [] {
             Tags t;
             t.push_back(Bitmap(7));
             t.push_back(Shape(8, 7));
             t.push_back(Morph<TSWFDefineMorphShape>(9, 7));
             t.push_back(Morph<TSWFDefineMorphShape2>(10, 7));
             return t;
         },
         30, 0, 34, "DefineBitsJPEG2 30; DefineShape3 31 -> 30 30; DefineMorphShape 32 -> 30; DefineMorphShape2 33 -> 30; "},
        {"an empty list", [] { return Tags(); }, 77, 0, 77, ""},
        {"buttons, texts, fonts, sounds, sprites, video and asset lists",
         [] {
             Tags t;
             auto font = std::make_unique<TSWFDefineFont2>();
             font->FontId = 1;
             t.push_back(std::move(font));
             auto info = std::make_unique<TSWFDefineFontInfo2>();
             info->FontId = 1;
             t.push_back(std::move(info));
             auto text = std::make_unique<TSWFDefineText>();
             text->CharacterIdValue = 2;
             text->AddTextRecord().SetFontId(1);
             text->AddTextRecord();  // selects no font
             t.push_back(std::move(text));
             auto settings = std::make_unique<TSWFCSMTextSettings>();
             settings->TextId = 2;
             t.push_back(std::move(settings));
             auto sound = std::make_unique<TSWFDefineSound>();
             sound->SoundId = 3;
             t.push_back(std::move(sound));
             auto button = std::make_unique<TSWFDefineButton2>();
             button->ButtonId = 4;
             button->AddButtonRecord(2, kButtonStateUp, 1);
             t.push_back(std::move(button));
             auto buttonSound = std::make_unique<TSWFDefineButtonSound>();
             buttonSound->ButtonId = 4;
             buttonSound->GetOverUpToOverDown().SoundId = 3;
             t.push_back(std::move(buttonSound));
             auto video = std::make_unique<TSWFDefineVideoStream>();
             video->CharacterID = 5;
             t.push_back(std::move(video));
             auto sprite = std::make_unique<TSWFDefineSprite>();
             sprite->SpriteID = 6;
             sprite->ControlTags.push_back(Place(4));
             auto start = std::make_unique<TSWFStartSound>();
             start->SoundId = 3;
             sprite->ControlTags.push_back(std::move(start));
             auto frame = std::make_unique<TSWFVideoFrame>();
             frame->StreamID = 5;
             sprite->ControlTags.push_back(std::move(frame));
             t.push_back(std::move(sprite));
             auto init = std::make_unique<TSWFDoInitAction>();
             init->SpriteID = 6;
             t.push_back(std::move(init));
             auto exports = std::make_unique<TSWFExportAssets>();
             exports->AddAsset("clip", 6);
             t.push_back(std::move(exports));
             auto imports = std::make_unique<TSWFImportAssets>();
             imports->Assets.push_back({"a", 40});
             imports->Assets.push_back({"b", 41});
             t.push_back(std::move(imports));
             t.push_back(Place(41));
             return t;
         },
         200, 0, 208,
         "DefineFont2 200; DefineFontInfo2 -> 200; DefineText 201 -> 200; CSMTextSettings -> 201; "
         "DefineSound 202; DefineButton2 203 -> 201; DefineButtonSound -> 203 202; DefineVideoStream 204; "
         "DefineSprite 205 -> 203 202 204; DoInitAction -> 205; ExportAssets -> 205; ImportAssets 206 207; "
         "PlaceObject2 -> 207; "},
    };
}

}  // namespace

TEST(Renumber, CasesOfDefinitionsReferencesAndVetoes) {
    for (const RenumberCase& c : RenumberCases()) {
        SCOPED_TRACE(c.name);
        TSWFStreamReader reader;
        Fill(reader, c.tags());
        if (c.vetoedCode)
            reader.OnBeforeRenumber = [&c](TSWFObject& tag, bool& renumber) {
                if (tag.TagCode == c.vetoedCode) renumber = false;
            };
        EXPECT_EQ(reader.RenumberCharacterIds(c.firstId), c.next);
        EXPECT_EQ(Describe(reader), c.after);
    }
}

TEST(Renumber, RunningOutOfIdentifiersIsAnError) {
    TSWFStreamReader reader;
    Tags tags;
    tags.push_back(Shape(1));
    tags.push_back(Shape(2));
    Fill(reader, std::move(tags));
    EXPECT_EQ(reader.RenumberCharacterIds(65534), 65536u);
    try {
        reader.RenumberCharacterIds(65535);
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_NE(std::string(e.what()).find("65535"), std::string::npos) << e.what();
    }
}

TEST(Renumber, UnresolvedAndDuplicateReferences) {
    Tags tags;
    tags.push_back(Place(1));   // before its definition
    tags.push_back(Shape(1));
    tags.push_back(Shape(1));   // defined twice
    tags.push_back(Place(8));   // never defined
    std::vector<TSWFObject*> list;
    for (auto& tag : tags) list.push_back(tag.get());
    std::vector<TUnresolvedReference> duplicates;
    auto before = FindUnresolvedReferences(list, true, &duplicates);
    ASSERT_EQ(before.size(), 2u);
    EXPECT_EQ(before[0].TagIndex, 0u);
    EXPECT_EQ(before[1].Id, 8);
    ASSERT_EQ(duplicates.size(), 1u);
    EXPECT_EQ(duplicates[0].TagIndex, 2u);
    auto anywhere = FindUnresolvedReferences(list, false);
    ASSERT_EQ(anywhere.size(), 1u);
    EXPECT_EQ(anywhere[0].Id, 8);

    // Writing order: a definition referred to earlier moves before the first
    // tag that refers to it, with what it needs in turn.
    Tags forward;
    forward.push_back(Place(2));
    forward.push_back(Shape(2, 3));
    forward.push_back(Bitmap(3));
    forward.push_back(Shape(4));
    std::vector<TSWFObject*> forwardList;
    for (auto& tag : forward) forwardList.push_back(tag.get());
    EXPECT_EQ(DefinitionsFirstOrder(forwardList), (std::vector<size_t>{2, 1, 0, 3}));
}

TEST(MoveResources, ToTheStartOfAnEarlierFrame) {
    struct MoveCase {
        const char* name;
        std::vector<uint16_t> codes;
        int32_t target, first, last;
        std::vector<uint16_t> after;
    };
    using namespace TagCodes;
    const MoveCase cases[] = {
        {"frame 2's bitmap to the very start",
         {DefineShape, ShowFrame, ShowFrame, DefineBitsJPEG2, PlaceObject2, ShowFrame, End},
         0, 2, -1,
         {DefineBitsJPEG2, DefineShape, ShowFrame, ShowFrame, PlaceObject2, ShowFrame, End}},
        {"a frame with one tag moves nothing onto itself",
         {ShowFrame, DefineSound, ShowFrame, End}, 1, 1, 1, {ShowFrame, DefineSound, ShowFrame, End}},
        {"fonts, sounds and JPEG tables keep their order",
         {ShowFrame, DefineFont2, PlaceObject2, JPEGTables, DefineSound, ShowFrame, DefineFont3, ShowFrame, End},
         0, 1, 2,
         {DefineFont2, JPEGTables, DefineSound, DefineFont3, ShowFrame, PlaceObject2, ShowFrame, ShowFrame, End}},
    };
    for (const MoveCase& c : cases) {
        SCOPED_TRACE(c.name);
        TSWFStreamReader reader;
        for (uint16_t code : c.codes) reader.Tags.push_back(std::make_unique<TSWFTagInfo>(code));
        reader.FrameCount = 3;
        reader.MoveResourcesToFrame(c.target, c.first, c.last);
        std::vector<uint16_t> codes;
        for (const auto& info : reader.Tags) codes.push_back(info->TagCode);
        EXPECT_EQ(codes, c.after);
    }
}
