// Other SWF movies embedded into the movie being built: what each mode lets
// through, identifiers after renumbering (checked by reading the written
// movie back and resolving every reference), font-name prefixes, and the
// errors of bad input.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "movie/external_movie.h"
#include "movie/flash_movie.h"
#include "movie/shapes.h"
#include "movie/sprites.h"
#include "platform/errors.h"
#include "swf/character_ids.h"
#include "swf/control_tags.h"
#include "swf/display_tags.h"
#include "swf/font_tags.h"
#include "swf/names.h"
#include "swf/sprite_tags.h"
#include "swf/text_tags.h"
#include "test_util.h"
#include "tool_fixtures.h"

namespace {

Bytes Saved(TFlashMovie& movie) {
    movie.MakeStream();
    TMemoryStream out;
    movie.SaveToStream(out);
    return out.Bytes();
}

// A 200 x 100 movie: background, file attributes, shapes placed in the
// first frame, then frames.
Bytes SourceMovie(int shapes, int frames) {
    TFlashMovie movie(0, 0, 200, 100, 12, true);
    movie.SetVersion(8);
    movie.GetBackgroundColor().SetRGB(SWFRGB(0, 0, 255));
    movie.AddObject(std::make_unique<TSWFFileAttributes>());
    for (int i = 0; i < shapes; ++i) {
        TFlashShape* shape = movie.AddRectangle(0, 0, 100, 50);
        shape->AddSolidFill(SWFRGBA(255, 0, 0, 255));
        movie.PlaceObject(shape, static_cast<uint16_t>(i + 1));
    }
    movie.ShowFrame(static_cast<uint16_t>(frames));
    return Saved(movie);
}

std::unique_ptr<TSWFStreamReader> ReadBack(const Bytes& file) {
    TMemoryStream in(file);
    auto reader = TSWFStreamReader::CreateFromStream(in);
    reader->ParseTags(true, false);
    return reader;
}

std::map<uint16_t, int> TopLevelCodes(TSWFStreamReader& reader) {
    std::map<uint16_t, int> counts;
    for (const auto& info : reader.Tags) ++counts[info->TagCode];
    return counts;
}

// Every tag object of the movie in the order a player meets them.
std::vector<TSWFObject*> AllObjects(TSWFStreamReader& reader) {
    std::vector<TSWFObject*> objects;
    for (const auto& info : reader.Tags) objects.push_back(info->Object);
    return objects;
}

// The check a player's loader makes: every reference defined before it, no
// identifier defined twice.
void ExpectEveryReferenceResolves(TSWFStreamReader& reader) {
    std::vector<TUnresolvedReference> duplicates;
    for (const TUnresolvedReference& r : FindUnresolvedReferences(AllObjects(reader), true, &duplicates))
        ADD_FAILURE() << TagIdToName(r.TagCode) << " (tag " << r.TagIndex << ") refers to " << r.Id
                      << " before any definition";
    for (const TUnresolvedReference& r : duplicates)
        ADD_FAILURE() << TagIdToName(r.TagCode) << " (tag " << r.TagIndex << ") defines " << r.Id << " again";
}

const TSWFDefineSprite* FindSprite(TSWFStreamReader& reader, uint16_t id) {
    for (const auto& info : reader.Tags)
        if (auto* sprite = dynamic_cast<const TSWFDefineSprite*>(info->Object); sprite && sprite->SpriteID == id)
            return sprite;
    return nullptr;
}

}  // namespace

TEST(ExternalMovie, ModesDecideFramesPlacementsAndDroppedTags) {
    const Bytes source = SourceMovie(1, 3);
    auto host = [](TFlashMovie& movie) {
        movie.GetBackgroundColor().SetRGB(SWFRGB(255, 255, 255));
        TFlashShape* own = movie.AddRectangle(0, 0, 10, 10);
        own->AddSolidFill(SWFRGBA(0, 255, 0, 255));
        movie.PlaceObject(own, 1);
    };
    TFlashMovie plain(0, 0, 400, 300, 12, true);
    host(plain);
    plain.ShowFrame();
    auto baseline = TopLevelCodes(*ReadBack(Saved(plain)));

    using namespace TagCodes;
    struct Expect {
        uint8_t mode;
        int showFrames, placements, shapes, sprites, frameCount;
    };
    for (const Expect& e : {Expect{kExternalRoot, 3, 1, 1, 0, 4}, Expect{kExternalResource, 0, 0, 1, 0, 1},
                            Expect{kExternalNoFrameRoot, 0, 1, 1, 0, 1}, Expect{kExternalSprite, 0, 0, 1, 1, 1}}) {
        SCOPED_TRACE(int(e.mode));
        TFlashMovie movie(0, 0, 400, 300, 12, true);
        host(movie);
        TMemoryStream stream(source);
        TFlashExternalMovie* ext = movie.AddExternalMovie(stream, e.mode, true);
        movie.ShowFrame();
        auto out = ReadBack(Saved(movie));
        auto codes = TopLevelCodes(*out);
        EXPECT_EQ(codes[ShowFrame] - baseline[ShowFrame], e.showFrames);
        EXPECT_EQ(codes[PlaceObject2] - baseline[PlaceObject2], e.placements);
        int shapes = 0;
        for (uint16_t code : {DefineShape, DefineShape2, DefineShape3, DefineShape4}) shapes += codes[code] - baseline[code];
        EXPECT_EQ(shapes, e.shapes);
        EXPECT_EQ(codes[DefineSprite] - baseline[DefineSprite], e.sprites);
        EXPECT_EQ(out->FrameCount, e.frameCount);
        // The embedded movie's End, background and file attributes never
        // reach the output.
        for (uint16_t code : {End, SetBackgroundColor, FileAttributes})
            EXPECT_EQ(codes[code], baseline[code]) << TagIdToName(code);
        if (e.mode == kExternalSprite) {
            const TSWFDefineSprite* sprite = FindSprite(*out, ext->GetCharacterId());
            ASSERT_NE(sprite, nullptr);
            EXPECT_EQ(sprite->FrameCount, 3);
            std::map<uint16_t, int> inner;
            for (const auto& tag : sprite->ControlTags) ++inner[tag->WrittenCode()];
            EXPECT_EQ(inner[ShowFrame], 3);
            EXPECT_EQ(inner[PlaceObject2], 1);
        }
        ExpectEveryReferenceResolves(*out);
    }
}

TEST(ExternalMovie, IdentifiersFollowTheMovieAndTwoCopiesStayApart) {
    const Bytes source = SourceMovie(5, 1);
    TFlashMovie movie(0, 0, 400, 300, 12, true);
    movie.SetNextCharacterId(10);
    TMemoryStream stream(source);
    TFlashExternalMovie* first = movie.AddExternalMovie(stream, kExternalSprite, true);
    // The sprite takes 10, the five characters 11..15, and one more is skipped.
    EXPECT_EQ(first->GetCharacterId(), 10);
    EXPECT_EQ(movie.GetNextCharacterId(), 17);
    std::vector<int> ids;
    for (const auto& info : first->Reader().Tags)
        if (info->Object) ForEachDefinedId(*info->Object, [&](uint16_t& id) { ids.push_back(id); });
    EXPECT_EQ(ids, (std::vector<int>{11, 12, 13, 14, 15}));

    TMemoryStream again(source);
    TFlashExternalMovie* second = movie.AddExternalMovie(again, kExternalSprite, true);
    EXPECT_EQ(second->GetCharacterId(), 17);
    movie.PlaceObject(first->Sprite(), 1);
    movie.PlaceObject(second->Sprite(), 2)->SetTranslate(200, 0);
    movie.ShowFrame();
    auto out = ReadBack(Saved(movie));
    ExpectEveryReferenceResolves(*out);
    EXPECT_NE(FindSprite(*out, 10), nullptr);
    EXPECT_NE(FindSprite(*out, 17), nullptr);
}

TEST(ExternalMovie, RawSpriteChildCopiedAsTheApplicationDoesKeepsItsCode) {
    // A template whose sprite holds a tag of a code nobody knows.
    TFlashMovie templ(0, 0, 100, 100, 12, true);
    auto sprite = std::make_unique<TSWFDefineSprite>();
    sprite->SpriteID = templ.TakeCharacterId();
    auto raw = std::make_unique<TSWFByteCodeTag>();
    raw->RealCode = 200;
    raw->SetData(Bytes{1, 2, 3});
    sprite->ControlTags.push_back(std::move(raw));
    sprite->ControlTags.push_back(std::make_unique<TSWFShowFrame>());
    sprite->FrameCount = 1;
    templ.AddObject(std::move(sprite));
    templ.ShowFrame();
    auto read = ReadBack(Saved(templ));

    // Tag by tag into a new movie, as effects are made.
    TFlashMovie effect(0, 0, 100, 100, 12, true);
    for (const auto& info : read->Tags) {
        if (info->TagCode == TagCodes::End) continue;
        auto copy = CreateTagByCode(info->TagCode);
        copy->CopyFieldsFrom(*info->Object);
        effect.AddObject(std::move(copy));
    }
    const Bytes effectFile = Saved(effect);

    TFlashMovie movie(0, 0, 400, 300, 12, true);
    TMemoryStream stream(effectFile);
    TFlashExternalMovie* ext = movie.AddExternalMovie(stream, kExternalSprite, true);
    movie.PlaceObject(ext->Sprite(), 1);
    movie.ShowFrame();
    auto out = ReadBack(Saved(movie));
    const TSWFDefineSprite* inner = FindSprite(*out, static_cast<uint16_t>(ext->GetCharacterId() + 1));
    ASSERT_NE(inner, nullptr);
    ASSERT_FALSE(inner->ControlTags.empty());
    EXPECT_EQ(inner->ControlTags[0]->WrittenCode(), 200);
    auto* kept = dynamic_cast<const TSWFByteCodeTag*>(inner->ControlTags[0].get());
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(ToHex(Bytes(kept->Data(), kept->Data() + kept->DataSize())), "01 02 03");
}

TEST(ExternalMovie, BadInputGivesClearErrorsAndLeavesTheMovieAlone) {
    // A placement of a character the embedded movie never defines.
    TFlashMovie broken(0, 0, 100, 100, 12, true);
    auto place = std::make_unique<TSWFPlaceObject2>();
    place->SetCharacterId(9);
    place->Depth = 1;
    broken.AddObject(std::move(place));
    broken.ShowFrame();
    const Bytes dangling = Saved(broken);

    TFlashMovie movie(0, 0, 400, 300, 12, true);
    movie.SetNextCharacterId(5);
    TMemoryStream stream(dangling);
    try {
        movie.AddExternalMovie(stream, kExternalSprite, true);
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_NE(std::string(e.what()).find("character 9"), std::string::npos) << e.what();
    }
    EXPECT_TRUE(movie.GetObjectList().empty());
    EXPECT_EQ(movie.GetNextCharacterId(), 5);

    // Ten characters where only a few identifiers are left: an error, no
    // wrap-around onto identifiers in use.
    const Bytes many = SourceMovie(10, 1);
    movie.SetNextCharacterId(65530);
    TMemoryStream manyStream(many);
    EXPECT_THROW(movie.AddExternalMovie(manyStream, kExternalRoot, true), Exception);
    EXPECT_TRUE(movie.GetObjectList().empty());
    EXPECT_EQ(movie.GetNextCharacterId(), 65530);
    // Exactly enough identifiers is fine.
    movie.SetNextCharacterId(65526);
    TMemoryStream fits(many);
    EXPECT_NO_THROW(movie.AddExternalMovie(fits, kExternalRoot, true));

    // Bytes that are no movie give an embedded movie that writes nothing.
    TFlashMovie other(0, 0, 100, 100, 12, true);
    TMemoryStream junk(Bytes{'n', 'o', 't', ' ', 'a', ' ', 'm', 'o', 'v', 'i', 'e'});
    TFlashExternalMovie* nothing = other.AddExternalMovie(junk, kExternalSprite, true);
    other.ShowFrame();
    auto out = ReadBack(Saved(other));
    EXPECT_EQ(FindSprite(*out, nothing->GetCharacterId()), nullptr);
}

TEST(ExternalMovie, FontNamesAndHtmlFacesGetAPrefixOncePerWrite) {
    struct FaceCase {
        const char* html;
        const char* prefixed;
    };
    const FaceCase faces[] = {
        {"<font face='Arial'>x</font>", "<font face='4711Arial'>x</font>"},
        {"<FONT FACE=\"Arial\">x</FONT>", "<FONT FACE=\"4711Arial\">x</FONT>"},
        {"<p><font face = 'A'>a</font><font face=\"B\">b</font></p>",
         "<p><font face = '4711A'>a</font><font face=\"4711B\">b</font></p>"},
        {"<font face=\"\">x</font><font face='C'>", "<font face=\"4711\">x</font><font face='4711C'>"},
        {"<b>no faces</b>", "<b>no faces</b>"},
        {"face", "face"},
    };
    for (const FaceCase& c : faces) EXPECT_EQ(PrefixHtmlFaces(c.html, "4711"), c.prefixed) << c.html;

    TFlashMovie templ(0, 0, 100, 100, 12, true);
    auto font = std::make_unique<TSWFDefineFont2>();
    font->FontId = 1;
    font->FontName = "Arial";
    font->AddGlyph();
    font->CodeTable.push_back('A');
    templ.AddObject(std::move(font));
    auto empty = std::make_unique<TSWFDefineFont2>();
    empty->FontId = 2;
    empty->FontName = "Device";
    templ.AddObject(std::move(empty));
    auto text = std::make_unique<TSWFDefineEditText>();
    text->CharacterIdValue = 3;
    text->HasFont = true;
    text->FontId = 1;
    text->FontHeight = 240;
    text->HasText = true;
    text->HTML = true;
    text->InitialText = "<font face='Arial'>A</font>";
    templ.AddObject(std::move(text));
    templ.ShowFrame();
    const Bytes file = Saved(templ);

    TFlashMovie movie(0, 0, 400, 300, 12, true);
    TMemoryStream stream(file);
    TFlashExternalMovie* ext = movie.AddExternalMovie(stream, kExternalSprite, true);
    ext->SetFontPrefix(4711);
    movie.PlaceObject(ext->Sprite(), 1);
    movie.ShowFrame();
    Saved(movie);  // a first write must leave nothing behind for the second
    auto out = ReadBack(Saved(movie));
    std::vector<std::string> names;
    std::string html;
    for (const auto& info : out->Tags) {
        if (auto* f = dynamic_cast<const TSWFDefineFont2*>(info->Object)) names.push_back(f->FontName);
        if (auto* t = dynamic_cast<const TSWFDefineEditText*>(info->Object)) html = t->InitialText;
    }
    // A font with glyphs is renamed; one without keeps its name.
    EXPECT_EQ(names, (std::vector<std::string>{"4711Arial", "Device"}));
    EXPECT_EQ(html, "<font face='4711Arial'>A</font>");
}

TEST(ExternalMovie, FfmpegMoviesEmbeddedAsSpritesResolveEveryReference) {
    std::vector<std::string> movies = FfmpegFixtures();
    if (movies.empty()) TW_SKIP_OR_FAIL() << "ffmpeg is not installed";
    for (const std::string& path : movies) {
        SCOPED_TRACE(path);
        TFlashMovie movie(0, 0, 400, 300, 12, true);
        TFlashExternalMovie* ext = movie.AddExternalMovieFromFile(path, kExternalSprite, true);
        uint16_t sourceFrames = 0;
        for (const auto& info : ext->Reader().Tags) sourceFrames += info->TagCode == TagCodes::ShowFrame;
        movie.PlaceObject(ext->Sprite(), 1)->SetTranslate(100, 50);
        movie.ShowFrame();
        auto out = ReadBack(Saved(movie));
        ExpectEveryReferenceResolves(*out);
        const TSWFDefineSprite* sprite = FindSprite(*out, ext->GetCharacterId());
        ASSERT_NE(sprite, nullptr);
        EXPECT_EQ(sprite->FrameCount, sourceFrames);
        // The embedded movie's own identifiers all lie above the sprite's.
        for (TSWFObject* obj : AllObjects(*out))
            ForEachDefinedId(*obj, [&](uint16_t& id) { EXPECT_GE(id, ext->GetCharacterId()); });
    }
}
