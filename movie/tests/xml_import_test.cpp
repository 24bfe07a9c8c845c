// A movie described in its XML form and built from it: movie elements
// through the factories, tag elements as they are, characters named by text,
// and elements that fail reported without losing the rest.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "media_fixtures.h"
#include "test_util.h"
#include "written_movie.h"
#include "movie/external_movie.h"
#include "movie/flash_canvas.h"
#include "movie/flash_movie.h"
#include "movie/images.h"
#include "movie/shapes.h"
#include "movie/sounds.h"
#include "movie/sprites.h"
#include "platform/diagnostics.h"
#include "platform/zstream.h"
#include "swf/control_tags.h"
#include "swf/display_tags.h"
#include "swf/do_action.h"
#include "swf/reader.h"
#include "swf/sound_tags.h"

namespace {

struct TLoaded {
    std::unique_ptr<TFlashMovie> movie = std::make_unique<TFlashMovie>(0, 0, 200, 100, 12, true);
    std::vector<std::string> messages;
    bool result = false;

    template <class T>
    std::vector<T*> Objects() const {
        std::vector<T*> found;
        for (auto& obj : movie->GetObjectList())
            if (auto* typed = dynamic_cast<T*>(obj.get())) found.push_back(typed);
        return found;
    }
    size_t CountTags(uint16_t code) const {
        size_t n = 0;
        for (auto* tag : Objects<TSWFObject>()) n += tag->TagCode == code;
        return n;
    }
};

TLoaded Load(const std::string& xml, const std::string& baseFolder = "") {
    TLoaded out;
    TXmlDocument document;
    document.LoadFromString(xml);
    TScopedMessageReporter reporter([&out](const std::string&, const std::string& text) { out.messages.push_back(text); });
    out.movie->Settings.BaseFolder = baseFolder;
    out.result = out.movie->LoadFromXml(document.Root(), true);
    return out;
}


}  // namespace

TEST(XmlImport, ElementNamesAndHeader) {
    EXPECT_EQ(GetMovieElementCode("frame"), 1);
    EXPECT_EQ(GetMovieElementCode("EXTERNALSWF"), 18);
    EXPECT_EQ(GetMovieElementCode("InitActions"), 19);
    EXPECT_EQ(GetMovieElementCode("DefineShape"), 0);

    TLoaded none = Load("<Other/>");
    EXPECT_FALSE(none.result);

    TLoaded header = Load(R"(<Flash XMin="0" YMin="0" XMax="4000" YMax="2000" FPS="24" Version="7" BgColor="#336699"/>)");
    EXPECT_TRUE(header.result);
    EXPECT_EQ(header.movie->Bounds.Right, 4000);  // twips
    EXPECT_FLOAT_EQ(header.movie->GetFrameRate(), 24);
    EXPECT_EQ(header.movie->Version, 7);
    EXPECT_TRUE(header.movie->Compressed);  // the default under "Flash"
    EXPECT_EQ(header.movie->GetBackgroundColor().R, 0x33);
    EXPECT_FALSE(Load(R"(<SWF XMin="0" YMin="0" XMax="20" YMax="20" FPS="12" Version="6"/>)").movie->Compressed);
}

TEST(XmlImport, FramesPlacementsByNameAndRemoval) {
    TLoaded loaded = Load(R"(<Flash XMin="0" YMin="0" XMax="4000" YMax="2000" FPS="12" Version="8">
        <Shape IDStr="box" Color="#FF0000"><Edges><MoveTo X="0" Y="0"/><LineTo X="10" Y="0"/><LineTo X="10" Y="10"/></Edges></Shape>
        <Shape IDStr="dot" Color="#00FF00"><Edges><MoveTo X="0" Y="0"/><LineTo X="5" Y="5"/></Edges></Shape>
        <Place IDStr="box" Depth="3" Name="clicker">
          <EventActions><Actions Event="Release"><Stop/></Actions></EventActions>
        </Place>
        <Place IDStr="dot" Depth="5"/>
        <Frame Time="250" Label="start"/>
        <Frame/>
        <Remove IDStr="dot"/>
        <Remove IDStr="neverPlaced"/>
        <Actions><Stop/></Actions>
        <Frame Repeat="2"/>
      </Flash>)");
    EXPECT_TRUE(loaded.result);
    EXPECT_TRUE(loaded.messages.empty());
    // 250 hundredths of a second at 12 frames a second, one, two.
    EXPECT_EQ(loaded.CountTags(TagCodes::ShowFrame), 30u + 1u + 2u);
    EXPECT_EQ(loaded.CountTags(TagCodes::FrameLabel), 1u);

    // The shape with clip actions went into a new sprite placed in its stead.
    auto placements = loaded.Objects<TFlashPlaceObject>();
    ASSERT_EQ(placements.size(), 2u);
    TFlashPlaceObject* outer = placements[0];
    auto* sprite = dynamic_cast<TFlashSprite*>(outer->Obj());
    ASSERT_TRUE(sprite);
    EXPECT_EQ(outer->GetDepth(), 3);
    EXPECT_EQ(outer->GetName(), "clicker");
    ASSERT_TRUE(outer->Tag().HasClipActions);
    EXPECT_EQ(outer->Tag().GetClipActions().GetCount(), 1u);
    EXPECT_EQ(outer->Tag().GetClipActions().GetActionRecord(0).Count(), 1u);
    TFlashPlaceObject* inner = nullptr;
    for (auto& tag : sprite->GetControlTags())
        if (auto* p = dynamic_cast<TFlashPlaceObject*>(tag.get())) inner = p;
    ASSERT_TRUE(inner);
    EXPECT_EQ(inner->GetCharacterId(), loaded.movie->GetShapes().GetItem(0)->GetCharacterId());
    EXPECT_EQ(inner->GetDepth(), 3);
    EXPECT_FALSE(inner->Tag().HasName);
    EXPECT_FALSE(inner->Tag().HasClipActions);

    // "dot" was placed by name at depth 5, and removed by name from there;
    // the name never placed removes nothing.
    EXPECT_EQ(placements[1]->GetCharacterId(), loaded.movie->GetShapes().GetItem(1)->GetCharacterId());
    auto removals = loaded.Objects<TSWFRemoveObject2>();
    ASSERT_EQ(removals.size(), 1u);
    EXPECT_EQ(removals[0]->Depth, 5);
    EXPECT_EQ(loaded.Objects<TFlashActionScript>().size(), 1u);
    ExpectWritesWhole(*loaded.movie);
}

// A name placed both on the movie's timeline and in a sprite is removed by
// name on each timeline at its own depth there.
TEST(XmlImport, RemovalByNameFollowsItsOwnTimeline) {
    TLoaded loaded = Load(R"(<Flash XMin="0" YMin="0" XMax="4000" YMax="2000" FPS="12" Version="8">
        <Shape IDStr="box" Color="#FF0000"><Edges><MoveTo X="0" Y="0"/><LineTo X="10" Y="0"/><LineTo X="10" Y="10"/></Edges></Shape>
        <Place IDStr="box" Depth="2"/>
        <Sprite IDStr="holder">
          <Place IDStr="box" Depth="7"/>
          <Frame/>
          <Remove IDStr="box"/>
          <Frame/>
        </Sprite>
        <Frame/>
        <Remove IDStr="box"/>
        <Frame/>
      </Flash>)");
    EXPECT_TRUE(loaded.result);
    EXPECT_TRUE(loaded.messages.empty());
    auto removals = loaded.Objects<TSWFRemoveObject2>();
    ASSERT_EQ(removals.size(), 1u);
    EXPECT_EQ(removals[0]->Depth, 2);
    auto* sprite = loaded.movie->GetSprites().GetItem(0);
    std::vector<uint16_t> inSprite;
    for (auto& tag : sprite->GetControlTags())
        if (auto* remove = dynamic_cast<TSWFRemoveObject2*>(tag.get())) inSprite.push_back(remove->Depth);
    EXPECT_EQ(inSprite, std::vector<uint16_t>{7});
}

TEST(XmlImport, FailingElementsAreReportedAndTheRestLoads) {
    TLoaded loaded = Load(R"(<SWF XMin="0" YMin="0" XMax="2000" YMax="2000" FPS="12" Version="8">
        <NoSuchTag/>
        <PlaceObject2 Depth="not a number"/>
        <Image IDStr="missingAttribute"/>
        <Image File="no/such/picture.bmp"/>
        <Metafile File="no/such/drawing.emf" XMin="0" YMin="0" XMax="10" YMax="10" Depth="1"/>
        <Button><ButtonRecord IDStr="nothingOfThatName" Depth="1" State="Up"/></Button>
        <ExternalSWF File="whatever.swf" Type="Sideways"/>
        <SetBackgroundColor Color="#102030"/>
        <ShowFrame/>
      </SWF>)");
    EXPECT_FALSE(loaded.result);
    ASSERT_EQ(loaded.messages.size(), 6u);  // the unknown name is skipped in silence
    EXPECT_NE(loaded.messages[0].find("Error reading node: 1"), std::string::npos);
    EXPECT_NE(loaded.messages[1].find("File"), std::string::npos) << loaded.messages[1];
    EXPECT_NE(loaded.messages[2].find("picture.bmp"), std::string::npos) << loaded.messages[2];
    EXPECT_NE(loaded.messages[3].find("drawing.emf"), std::string::npos) << loaded.messages[3];
    EXPECT_NE(loaded.messages[4].find("nothingOfThatName"), std::string::npos) << loaded.messages[4];
    EXPECT_NE(loaded.messages[5].find("Sideways"), std::string::npos) << loaded.messages[5];
    EXPECT_EQ(loaded.CountTags(TagCodes::SetBackgroundColor), 1u);
    EXPECT_EQ(loaded.CountTags(TagCodes::ShowFrame), 1u);
    // Nothing of the failed elements stays behind, not even an identifier.
    EXPECT_EQ(loaded.movie->GetImages().Count(), 0);
    EXPECT_EQ(loaded.movie->GetObjectList().size(), 2u);
    EXPECT_EQ(loaded.movie->GetNextCharacterId(), 1);
    ExpectWritesWhole(*loaded.movie);
}

// Images, sounds, fonts, texts, sprites and a metafile from files beside the
// document.
TEST(XmlImportMedia, EveryKindOfElementBuildsAMovie) {
    std::string picture = BmpFixture(BmpLayouts()[10]);
    std::string tone = SoundFixture("xml-tone.wav", "-ar 22050 -c:a pcm_s16le", 0.5);
    if (picture.empty() || tone.empty()) TW_SKIP_OR_FAIL() << "ImageMagick and ffmpeg make the fixtures";
    const std::string folder = FixtureDir() + "/xml-import";
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(picture, folder + "/picture.bmp", std::filesystem::copy_options::overwrite_existing);
    std::filesystem::copy_file(tone, folder + "/tone.wav", std::filesystem::copy_options::overwrite_existing);
    {
        TFlashMovie inner(0, 0, 50, 50, 12, true);
        inner.AddRectangle(0, 0, 20, 20)->AddSolidFillColor(0x0000FF);
        inner.PlaceObject(inner.GetShapes().GetItem(0), 1);
        inner.ShowFrame();
        inner.SaveToFile(folder + "/inner.swf");
    }
    {
        TEmfRecorder rec(TRect{0, 0, 2646, 2646});
        std::vector<uint8_t> box;
        for (int32_t v : {10, 10, 60, 40}) PutI32(box, v);
        rec.Add(EMR_RECTANGLE, box);
        std::vector<uint8_t> bytes = rec.Finish();
        WriteFileBytes(folder + "/drawing.emf", bytes.data(), bytes.size());
    }
    TLoaded loaded = Load(R"(<Flash XMin="0" YMin="0" XMax="4000" YMax="2000" FPS="12" Version="8">
        <Image IDStr="pic" File="picture.bmp" Depth="1" XMin="5" YMin="6"/>
        <Sound IDStr="tone" File="tone.wav" WaveCompressBit="0"/>
        <BackgroundSound File="tone.wav"/>
        <StartSound IDStr="tone" SyncStop="False" SyncNoMultiple="True"/>
        <Font IDStr="face" Name="DejaVu Sans" Size="20" Device="False"/>
        <Text FontIDStr="face" Dynamic="False" XMin="10" YMin="50" Color="#000000" Depth="2"><Value>Hello</Value></Text>
        <Sprite IDStr="spin" Depth="3">
          <Place IDStr="pic" Depth="1"/>
          <Frame Repeat="2"/>
          <InitActions><Stop/></InitActions>
        </Sprite>
        <Metafile File="drawing.emf" XMin="100" YMin="10" XMax="150" YMax="30" Depth="4"/>
        <ExternalSWF IDStr="ext" File="inner.swf" Type="sprite"/>
        <Place IDStr="ext" Depth="9"/>
        <Frame/>
      </Flash>)",
                          folder);
    EXPECT_TRUE(loaded.result);
    EXPECT_TRUE(loaded.messages.empty()) << (loaded.messages.empty() ? "" : loaded.messages[0]);
    ASSERT_EQ(loaded.movie->GetImages().Count(), 1);
    EXPECT_EQ(loaded.movie->GetImages().GetItem(0)->GetWidth(), 61);
    ASSERT_EQ(loaded.movie->GetSounds().Count(), 1);
    EXPECT_EQ(loaded.movie->GetSounds().GetItem(0)->GetADPCMBits(), 0);
    EXPECT_TRUE(loaded.movie->GetStreamSound()->HasData());
    auto starts = loaded.Objects<TSWFStartSound>();
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0]->SoundId, loaded.movie->GetSounds().GetItem(0)->GetCharacterId());
    EXPECT_EQ(loaded.movie->GetTexts().Count(), 1);
    // The metafile's result sprite stands at depth 4, its frame at (100, 10).
    bool metafilePlaced = false;
    for (TFlashPlaceObject* p : loaded.Objects<TFlashPlaceObject>()) metafilePlaced |= p->GetDepth() == 4;
    EXPECT_TRUE(metafilePlaced);
    // The embedded movie is a sprite (lower-case type), placed by its name.
    auto externals = loaded.Objects<TFlashExternalMovie>();
    ASSERT_EQ(externals.size(), 1u);
    EXPECT_EQ(externals[0]->Mode, kExternalSprite);
    bool externalPlaced = false;
    for (TFlashPlaceObject* p : loaded.Objects<TFlashPlaceObject>())
        externalPlaced |= p->GetDepth() == 9 && p->GetCharacterId() == externals[0]->GetCharacterId();
    EXPECT_TRUE(externalPlaced);
    ExpectWritesWhole(*loaded.movie);
}

namespace {

struct TTagBody {
    uint16_t code;
    std::vector<uint8_t> body;
    bool operator==(const TTagBody&) const = default;
};

// The body of a saved movie (after the 8 bytes of signature, version and
// length), inflated when compressed.
std::vector<uint8_t> Unpacked(const std::vector<uint8_t>& file) {
    std::vector<uint8_t> body(file.begin() + std::min<size_t>(file.size(), 8), file.end());
    if (file.size() >= 8 && file[0] == 'C') {
        TMemoryStream packed(body);
        TDecompressionStream inflater(packed);
        const uint32_t length = file[4] | file[5] << 8 | file[6] << 16 | uint32_t(file[7]) << 24;
        body.assign(length - 8, 0);
        inflater.ReadBuffer(body.data(), static_cast<int64_t>(body.size()));
    }
    return body;
}

// Where the tags start: after the stage rectangle, the rate and the count.
size_t FirstTag(const std::vector<uint8_t>& body) { return (5 + 4 * (body.at(0) >> 3) + 7) / 8 + 4; }

uint16_t FrameCountOf(const std::vector<uint8_t>& file) {
    const std::vector<uint8_t> body = Unpacked(file);
    const size_t at = FirstTag(body) - 2;
    return static_cast<uint16_t>(body.at(at) | body.at(at + 1) << 8);
}

// The tags of a saved movie as their codes and bodies, straight from the
// bytes: what any reader of the file would see.
std::vector<TTagBody> TagBodies(const std::vector<uint8_t>& file) {
    std::vector<TTagBody> tags;
    const std::vector<uint8_t> body = Unpacked(file);
    size_t at = FirstTag(body);
    while (at + 2 <= body.size()) {
        const uint16_t head = static_cast<uint16_t>(body[at] | body[at + 1] << 8);
        at += 2;
        uint32_t size = head & 0x3F;
        if (size == 0x3F) {
            size = body.at(at) | body.at(at + 1) << 8 | body.at(at + 2) << 16 | uint32_t(body.at(at + 3)) << 24;
            at += 4;
        }
        const size_t end = std::min(body.size(), at + size);
        tags.push_back(TTagBody{static_cast<uint16_t>(head >> 6), std::vector<uint8_t>(body.begin() + at, body.begin() + end)});
        at = end;
    }
    return tags;
}

}  // namespace

// Movies written by other programs, saved as the XML form of their tags and
// built again by the movie's XML import: every tag body comes back as it was.
TEST(XmlImportTools, ToolMoviesComeBackFromTheirTagXml) {
    std::vector<std::string> files = FfmpegFixtures();
    if (std::string haxe = HaxeFixture(); !haxe.empty()) files.push_back(haxe);
    if (std::string haxe = HaxeFontFixture(); !haxe.empty()) files.push_back(haxe);
    if (files.size() < 4) TW_SKIP_OR_FAIL() << "ffmpeg and haxe make the movies of this test";
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        const std::vector<uint8_t> original = ReadFileBytes(file);
        TMemoryStream in(original);
        auto read = TSWFStreamReader::CreateFromStream(in);
        read->ParseTags(true, true);
        const std::string folder = TestScratchFolder("tw_xml_tools") + "/" + std::filesystem::path(file).stem().string();
        std::filesystem::create_directories(folder);
        read->Settings.BaseFolder = folder;
        TXmlDocument saved;
        read->SaveToXml(saved.Root().AddChild("Movie"));
        TXmlDocument parsed;
        parsed.LoadFromString(saved.SaveToString());

        TFlashMovie movie(0, 0, 10, 10, 12, true);
        movie.Settings.BaseFolder = folder;
        ASSERT_TRUE(movie.LoadFromXml(parsed.DocumentElement(), true));
        movie.MakeStream();
        TMemoryStream out;
        movie.SaveToStream(out);
        const std::vector<uint8_t> written = out.Bytes();
        EXPECT_EQ(written[3], original[3]);  // the version
        // The header counts every frame (ffmpeg's own says 0 for its MJPEG movies).
        const std::vector<TTagBody> want = TagBodies(original), got = TagBodies(written);
        const auto frames = std::count_if(want.begin(), want.end(), [](const TTagBody& t) { return t.code == 1; });
        EXPECT_EQ(FrameCountOf(written), frames);
        EXPECT_EQ(movie.FrameCount, frames);
        ASSERT_EQ(got.size(), want.size());
        for (size_t i = 0; i < want.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(got[i].code, want[i].code);
            EXPECT_EQ(ToHex(got[i].body), ToHex(want[i].body)) << "tag " << want[i].code;
        }
    }
}
