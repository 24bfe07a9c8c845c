// The movie builder's core: identifiers, frames, the object list written as
// a body, versions, placements, sprites and the action-script builder.
#include <gtest/gtest.h>

#include "movie/action_script.h"
#include "movie/flash_movie.h"
#include "movie/fonts.h"
#include "movie/images.h"
#include "movie/shapes.h"
#include "movie/texts.h"
#include "movie/sprites.h"
#include "swf/control_tags.h"
#include "swf/do_action.h"
#include "swf/reader.h"
#include "swf/sound_tags.h"
#include "test_util.h"

namespace {

Bytes Body(TFlashMovie& movie) {
    movie.MakeStream();
    return movie.GetBodyStream().Bytes();
}

Bytes Saved(TBasedSWFStream& movie) {
    TMemoryStream out;
    movie.SaveToStream(out);
    return out.Bytes();
}

std::unique_ptr<TSWFStreamReader> ReadBack(const Bytes& file) {
    TMemoryStream in(file);
    auto reader = TSWFStreamReader::CreateFromStream(in);
    reader->ParseTags(true, true);
    return reader;
}

}  // namespace

TEST(FlashMovie, BodiesFramesAndEnd) {
    TFlashMovie empty(0, 0, 550, 400, 12, true);
    EXPECT_EQ(ToHex(Body(empty)), "00 00");
    EXPECT_EQ(empty.FrameCount, 0);

    // Placements without ShowFrame get one frame before End.
    TFlashMovie placed(0, 0, 550, 400, 12, true);
    TFlashSprite* sprite = placed.AddSprite();
    placed.PlaceObject(sprite, 1);
    Bytes body = Body(placed);
    EXPECT_EQ(placed.FrameCount, 1);
    EXPECT_EQ(ToHex(Bytes(body.end() - 4, body.end())), "40 00 00 00");

    // Only definitions: no frame.
    TFlashMovie defined(0, 0, 550, 400, 12, true);
    defined.AddSprite();
    Body(defined);
    EXPECT_EQ(defined.FrameCount, 0);

    // An object list that already ends in End gets no second one.
    TFlashMovie ended(0, 0, 550, 400, 12, true);
    ended.ShowFrame();
    ended.AddObject(std::make_unique<TSWFEnd>());
    EXPECT_EQ(ToHex(Body(ended)), "40 00 00 00");

    // ShowFrame(3): one label and one action block, then three frames.
    TFlashMovie frames(0, 0, 550, 400, 12, true);
    frames.FrameLabel = "start";
    frames.GetFrameActions().Stop();
    frames.ShowFrame(3);
    frames.ShowFrame(0);
    auto& list = frames.GetObjectList();
    ASSERT_EQ(list.size(), 6u);
    EXPECT_NE(dynamic_cast<TSWFFrameLabel*>(list[0].get()), nullptr);
    EXPECT_NE(dynamic_cast<TFlashActionScript*>(list[1].get()), nullptr);
    EXPECT_EQ(frames.FrameCount, 4);
    Body(frames);
    EXPECT_EQ(frames.FrameCount, 4);
    EXPECT_EQ(frames.GetFrameTagIndex(2), 3);
    EXPECT_EQ(frames.GetFrameTagIndex(9), 5);
}

TEST(FlashMovie, IdentifiersAndTheirEnd) {
    TFlashMovie movie(0, 0, 100, 100, 12, true);
    EXPECT_EQ(movie.AddSprite()->GetCharacterId(), 1);
    EXPECT_EQ(movie.AddSprite()->GetCharacterId(), 2);
    EXPECT_EQ(movie.GetSprites().FindById(2), movie.GetSprites().Last());
    movie.Clear();
    EXPECT_EQ(movie.AddSprite()->GetCharacterId(), 1);
    movie.SetNextCharacterId(0xFFFF);
    EXPECT_EQ(movie.AddSprite()->GetCharacterId(), 0xFFFF);
    try {
        movie.AddSprite();
        FAIL() << "the 16-bit identifier space ran out without an error";
    } catch (const Exception& e) {
        EXPECT_NE(std::string(e.what()).find("identifiers"), std::string::npos);
    }
    EXPECT_EQ(movie.GetSprites().Count(), 2);
}

TEST(FlashMovie, VersionRisesToWhatObjectsNeed) {
    TFlashMovie movie(0, 0, 550, 400, 12, true);
    TFlashSprite* sprite = movie.AddSprite();
    movie.PlaceObject(sprite, 1)->SetBlendMode(2);
    Body(movie);
    EXPECT_EQ(movie.Version, 8);

    TFlashMovie newer(0, 0, 550, 400, 12, true);
    newer.SetVersion(9);
    newer.PlaceObject(newer.AddSprite(), 1)->SetBlendMode(2);
    Body(newer);
    EXPECT_EQ(newer.Version, 9);
}

TEST(FlashMovie, PlacementsChooseTheirTag) {
    TFlashMovie movie(0, 0, 550, 400, 12, true);
    TFlashSprite* sprite = movie.AddSprite();
    TFlashPlaceObject* plain = movie.PlaceObject(sprite, 1);
    plain->SetTranslate(0, 0);
    EXPECT_FALSE(plain->Tag().HasMatrix);
    plain->SetMove(true);
    plain->SetTranslate(0, 0);
    EXPECT_TRUE(plain->Tag().HasMatrix);
    plain->SetTranslate(10, 5);
    EXPECT_EQ(plain->Tag().GetMatrix().TranslateX, 200);
    EXPECT_EQ(plain->Tag().GetMatrix().TranslateY, 100);

    struct Case {
        const char* name;
        void (*setup)(TFlashPlaceObject&);
        int version;
        uint16_t code;
    } cases[] = {
        {"plain", [](TFlashPlaceObject&) {}, 3, 26},
        {"blend 1", [](TFlashPlaceObject& p) { p.SetBlendMode(1); }, 3, 26},
        {"blend 2", [](TFlashPlaceObject& p) { p.SetBlendMode(2); }, 8, 70},
        {"cache", [](TFlashPlaceObject& p) { p.SetCacheAsBitmap(true); }, 8, 70},
        {"clip actions", [](TFlashPlaceObject& p) { p.GetReleaseActions()->Stop(); }, 5, 26},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TFlashPlaceObject place(&movie, sprite, 3);
        c.setup(place);
        EXPECT_EQ(place.RequiredVersion(), c.version);
        TMemoryStream out;
        TBitsEngine be(out);
        place.WriteTag(be);
        uint16_t header = static_cast<uint16_t>(out.Bytes()[0] | out.Bytes()[1] << 8);
        EXPECT_EQ(header >> 6, c.code);
    }

    // Clip actions belong to placements of sprites only.
    TFlashSprite* inner = movie.AddSprite();
    TFlashPlaceObject* ofSprite = movie.PlaceObject(inner, 4);
    EXPECT_NE(ofSprite->FindClipActions(6, true), nullptr);
    EXPECT_EQ(ofSprite->FindClipActions(6, false), ofSprite->FindClipActions(6, true));
    EXPECT_EQ(ofSprite->FindClipActions(40, true), nullptr);
    TFlashPlaceObject* ofNothing = movie.PlaceDepth(5);
    EXPECT_EQ(ofNothing->FindClipActions(6, true), nullptr);
}

TEST(FlashSprite, FramesOrderAndDefinitionsFirst) {
    TFlashMovie movie(0, 0, 550, 400, 12, true);
    TFlashSprite* sprite = movie.AddSprite();
    TFlashSprite* later = movie.AddSprite();  // defined after the sprite that uses it
    sprite->PlaceObject(later, 1);
    auto& list = movie.GetObjectList();
    EXPECT_EQ(list[0].get(), later);
    EXPECT_EQ(list[1].get(), sprite);

    // A sprite written without ShowFrame has one frame ending ShowFrame, End.
    TMemoryStream out;
    TBitsEngine be(out);
    later->WriteTag(be);
    EXPECT_EQ(later->GetFrameCount(), 1);
    Bytes record = out.Bytes();
    EXPECT_EQ(ToHex(record), "C8 09 02 00 01 00 40 00 00 00");

    // In a sprite the frame actions come before the label.
    sprite->GetFrameActions().Stop();
    sprite->FrameLabel = "here";
    sprite->ShowFrame(2);
    auto& tags = sprite->GetControlTags();
    ASSERT_EQ(tags.size(), 5u);
    EXPECT_NE(dynamic_cast<TFlashActionScript*>(tags[1].get()), nullptr);
    EXPECT_NE(dynamic_cast<TSWFFrameLabel*>(tags[2].get()), nullptr);
    EXPECT_EQ(sprite->GetFrameCount(), 2);
}

TEST(ActionScriptBuilder, PushMergingAndOperands) {
    TFlashMovie movie(0, 0, 100, 100, 12, true);
    TFlashActionScript script(&movie);
    script.Push({1}, {7});
    script.Push({"a"}, {0});
    ASSERT_EQ(script.ActionList().Count(), 1u);
    EXPECT_EQ(static_cast<TSWFActionPush*>(script.GetAction(0))->GetValueCount(), 2u);
    script.Pop();
    script.Push({2}, {7});
    EXPECT_EQ(script.ActionList().Count(), 3u);
    script.Pop();
    script.PushConstants({3, 300});
    auto* constants = static_cast<TSWFActionPush*>(script.GetAction(4));
    EXPECT_EQ(constants->GetValueInfo(0).ValueType, kPushConstant8);
    EXPECT_EQ(constants->GetValueInfo(1).ValueType, kPushConstant16);
    EXPECT_THROW(script.Push({1, 2}, {7}), EConvertError);

    TFlashActionScript empty(&movie);
    EXPECT_EQ(empty.RequiredVersion(), 1);
    TMemoryStream out;
    TBitsEngine be(out);
    empty.WriteTag(be);
    EXPECT_EQ(ToHex(out.Bytes()), "01 03 00");

    TFlashActionScript commands(&movie);
    commands.FSCommand("quit", "");
    commands.GotoFrame2(true, 0);
    commands.GotoFrame2(true, 2);
    auto* url = static_cast<TSWFActionGetUrl*>(commands.GetAction(0));
    EXPECT_EQ(url->URL, "FSCommand:quit");
    EXPECT_EQ(url->Target, "");
    EXPECT_FALSE(static_cast<TSWFActionGotoFrame2*>(commands.GetAction(1))->SceneBiasFlag);
    EXPECT_TRUE(static_cast<TSWFActionGotoFrame2*>(commands.GetAction(2))->SceneBiasFlag);
}

TEST(ActionScriptBuilder, BranchesGetOffsetsFromMarkers) {
    TFlashMovie movie(0, 0, 100, 100, 12, true);
    TFlashActionScript script(&movie);
    // loop: i = i + 1; if (i < 3) goto loop
    TSWFOffsetMarker* top = script.AddOffsetMarker();
    script.Push({"i", "i"}, {0, 0});
    script.GetVariable();
    script.Push({1}, {7});
    script.Add2();
    script.SetVariable();
    script.Push({"i"}, {0});
    script.GetVariable();
    script.Push({3}, {7});
    script.Less2();
    TSWFActionIf* loop = script.If();
    loop->LabelMarker.Link(top);
    // forward: if (true) skip a Stop
    script.Push({true}, {5});
    TSWFActionIf* skip = script.If();
    script.Stop();
    script.AddOffsetMarker(&skip->GetLabel(), false);
    TMemoryStream out;
    TBitsEngine be(out);
    script.WriteTag(be);
    Bytes bytes = out.Bytes();
    // The forward If jumps over the one-byte Stop; the backward one reaches
    // back to the first action.
    std::string hex = ToHex(bytes);
    EXPECT_NE(hex.find("9D 02 00 01 00 07 00"), std::string::npos) << hex;
    // Read back, the offsets resolve to the same targets.
    TSWFDoAction tag;
    ReadBodyBytes(tag, Bytes(bytes.begin() + 2, bytes.end()));
    EXPECT_EQ(WriteBodyBytes(tag), Bytes(bytes.begin() + 2, bytes.end()));
}

TEST(ActionScriptBuilder, CompilingWithoutACompilerFailsClearly) {
    TFlashMovie movie(0, 0, 100, 100, 12, true);
    TFlashActionScript& script = movie.GetFrameActions();
    script.Stop();
    EXPECT_FALSE(script.CompileFromString("stop();"));
    EXPECT_NE(movie.GetMessages().find("no ActionScript compiler"), std::string::npos) << movie.GetMessages();
    EXPECT_EQ(script.ActionList().Count(), 1u);
    TFlashPlaceObject* place = movie.PlaceObject(movie.AddSprite(), 1);
    EXPECT_FALSE(place->CompileClipActionsFromString("onClipEvent(load) { stop(); }"));
    EXPECT_FALSE(place->Tag().HasClipActions);
}

TEST(FlashMovie, StreamsAreStableAndReadBack) {
    TFlashMovie movie(0, 0, 550, 400, 12, true);
    movie.SetCompressed(true);
    TFlashSprite* inner = movie.AddSprite();
    inner->GetFrameActions().Stop();
    inner->ShowFrame();
    TFlashSprite* outer = movie.AddSprite();
    outer->PlaceObject(inner, 1)->SetName("needle");
    outer->ShowFrame();
    TFlashPlaceObject* place = movie.PlaceObject(outer, 1);
    place->SetTranslate(100, 50);
    place->SetName("haystack");
    movie.ShowFrame();

    movie.MakeStream();
    Bytes first = Saved(movie);
    movie.MakeStream();
    EXPECT_EQ(Saved(movie), first);

    auto reader = ReadBack(first);
    TSWFObject* found = reader->FindObjectByName("needle");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->CharacterId(), inner->GetCharacterId());
    EXPECT_EQ(reader->FindObjectByName("haystack")->CharacterId(), outer->GetCharacterId());

    // The XML form of the written file gives the same file back.
    reader->Settings.Options = 0;
    TXmlDocument doc;
    reader->SaveToXml(doc.Root().AddChild("doc"));
    TXmlDocument parsed;
    parsed.LoadFromString(doc.SaveToString());
    TSWFStreamReader loaded;
    ASSERT_TRUE(loaded.LoadFromXml(parsed.DocumentElement(), true));
    loaded.FrameCount = reader->FrameCount;
    loaded.MakeStream();
    reader->MakeStream();
    EXPECT_EQ(Saved(loaded), Saved(*reader));
    EXPECT_EQ(Saved(*reader), first);
}

TEST(FlashMovie, ResourcesMoveToAnEarlierFrame) {
    TFlashMovie movie(0, 0, 100, 100, 12, true);
    movie.ShowFrame();
    movie.ShowFrame();
    movie.AddObject(std::make_unique<TSWFDefineSound>());
    movie.AddObject(std::make_unique<TSWFFrameLabel>());
    movie.AddObject(std::make_unique<TSWFDefineSound>());
    movie.ShowFrame();
    TSWFObject* firstSound = static_cast<TSWFObject*>(movie.GetObjectList()[2].get());
    movie.MoveResourcesToFrame(0, 2, -1);
    auto& list = movie.GetObjectList();
    EXPECT_EQ(list[0].get(), firstSound);
    EXPECT_EQ(static_cast<TSWFObject*>(list[1].get())->TagCode, 14);
    EXPECT_EQ(static_cast<TSWFObject*>(list[2].get())->TagCode, 1);
}

// The typed lists never hold an object the object list has freed, however it
// went: erased, replaced, cleared, or outliving the movie after being taken
// out (run under ASan, a stale pointer fails here).
TEST(FlashMovie, TypedListsFollowTheObjectList) {
    std::unique_ptr<TBasedSWFObject> kept;
    {
        TFlashMovie movie(0, 0, 100, 100, 12, true);
        TFlashShape* first = movie.AddRectangle(0, 0, 10, 10);
        TFlashShape* second = movie.AddRectangle(0, 0, 20, 20);
        TFlashFont* font = movie.AddFont();
        movie.AddImage();
        movie.AddSprite();
        TFlashText* text = movie.AddText();
        const uint16_t firstId = first->GetCharacterId();
        auto& list = movie.GetObjectList();
        auto slot = [&](TBasedSWFObject* obj) {
            return std::find_if(list.begin(), list.end(), [obj](auto& o) { return o.get() == obj; });
        };

        list.erase(slot(first));
        EXPECT_EQ(movie.GetShapes().Count(), 1);
        EXPECT_EQ(movie.GetShapes().FindById(firstId), nullptr);
        EXPECT_EQ(movie.GetShapes().Last(), second);

        *slot(second) = std::make_unique<TSWFShowFrame>();
        EXPECT_EQ(movie.GetShapes().Count(), 0);
        EXPECT_EQ(movie.GetShapes().begin(), movie.GetShapes().end());

        // Taken out alive, the text stays listed; the font goes with its slot.
        kept = std::move(*slot(text));
        list.erase(slot(nullptr));
        list.erase(slot(font));
        EXPECT_EQ(movie.GetFonts().Count(), 0);
        EXPECT_EQ(movie.GetTexts().Last(), text);

        movie.Clear();
        for (auto count : {movie.GetShapes().Count(), movie.GetFonts().Count(), movie.GetImages().Count(),
                           movie.GetSprites().Count(), movie.GetTexts().Count()})
            EXPECT_EQ(count, 0);
        TFlashShape* again = movie.AddShape();
        EXPECT_EQ(movie.GetShapes().FindById(again->GetCharacterId()), again);
        EXPECT_EQ(movie.GetShapes().Count(), 1);
    }
    kept.reset();  // after its movie: must not reach back into it
}

// Copying the fields of another class of object raises the project's error
// with a message and leaves the target as it was, at either level.
TEST(FlashMovie, CopyingAnotherKindOfObjectRaises) {
    TFlashMovie movie(0, 0, 100, 100, 12, true);
    TFlashShape* shape = movie.AddRectangle(0, 0, 10, 10);
    TFlashImage* image = movie.AddImage();
    TFlashSprite* sprite = movie.AddSprite();
    TFlashFont* font = movie.AddFont();
    TFlashText* text = movie.AddText();
    TFlashPlaceObject* placement = movie.PlaceObject(shape, 1);
    TFlashActionScript& script = movie.GetFrameActions();
    TSWFShowFrame tag;
    struct Case {
        TBasedSWFObject* target;
        const TBasedSWFObject* source;
        const char* into;
    } cases[] = {
        {shape, sprite, "a shape"},   {image, shape, "an image"},  {sprite, text, "a sprite"},
        {font, image, "a font"},      {text, font, "a text"},      {placement, shape, "a placement"},
        {&script, &tag, "an action script"}, {&tag, shape, "tag 1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.into);
        auto* character = dynamic_cast<TFlashIDObject*>(c.target);
        const uint16_t id = character ? character->GetCharacterId() : 0;
        try {
            c.target->CopyFieldsFrom(*c.source);
            ADD_FAILURE() << "no exception";
        } catch (const EConvertError& e) {
            EXPECT_EQ(std::string(e.what()), std::string("Cannot copy the fields of another kind of object into ") + c.into);
        }
        if (character) {
            EXPECT_EQ(character->GetCharacterId(), id);
        }
    }
}
