// Morph shapes and buttons of the movie builder: bounds and style
// selection, both DefineMorphShape versions through the file reader, copies
// and the XML form; buttons' condition records, versions and sounds.
#include <gtest/gtest.h>

#include "morph_button_fixture.h"
#include "swf/names.h"
#include "swf/reader.h"
#include "swf/tag_table.h"
#include "swf/xml_form.h"
#include "test_util.h"
#include "written_movie.h"

namespace {

// Every tag the movie writes, read back.
std::unique_ptr<TSWFStreamReader> ReadWritten(TFlashMovie& movie) {
    movie.MakeStream();
    TMemoryStream out;
    movie.SaveToStream(out);
    TMemoryStream in(out.Bytes());
    auto reader = TSWFStreamReader::CreateFromStream(in);
    reader->ParseTags(true, true);
    return reader;
}

TSWFObject* FirstTag(TSWFStreamReader& reader, uint16_t code) {
    for (const auto& info : reader.Tags)
        if (info->TagCode == code) return info->Object;
    return nullptr;
}

}  // namespace

TEST(FlashMorphShape, BoundsAndStyleSelection) {
    TFlashMovie movie(0, 0, 200, 100, 12, true);
    TFlashMorphShape* morph = movie.AddMorphShape();
    morph->SetStartBounds(0, 0, 100, 50);
    EXPECT_EQ(morph->Tag().StartBounds.GetRect(), (TRect{-10, -10, 2010, 1010}));
    EXPECT_EQ(morph->GetStartWidth(), 2020);
    morph->StartEdges().MoveTo(0, 0);
    morph->StartEdges().MakeRectangle(100, 50);
    morph->StartEdges().MoveTo(10, 10);
    morph->StartEdges().LineTo(20, 20);
    morph->AddSolidFill(kOpaqueRed, kOpaqueBlue);
    TSWFStyleChangeRecord* first = static_cast<TSWFStyleChangeRecord*>(morph->Tag().StartEdges.front().get());
    EXPECT_EQ(first->Fill0Id, 1) << "one fill: the first record";
    morph->AddSolidFill(kOpaqueBlue, kOpaqueRed);
    EXPECT_EQ(morph->Tag().MorphFillStyles.size(), 2u);
    EXPECT_EQ(morph->GetLastStyleChangeRecord()->Fill0Id, 2) << "more fills: the last record";
    EXPECT_NE(morph->GetLastStyleChangeRecord(), first);
    // Ten colours of a radial gradient keep eight records, spread evenly.
    std::vector<TSWFRGBAValue> ten(10, kOpaqueRed);
    TSWFMorphGradientFill* radial = morph->AddRadialGradientColors(ten, ten);
    ASSERT_EQ(radial->NumGradients(), 8);
    EXPECT_EQ(radial->Gradients[7].StartRatio, 255);
    EXPECT_EQ(radial->Gradients[1].EndRatio, 36);
    EXPECT_THROW(morph->AddLinearGradientColors({kOpaqueRed, kOpaqueBlue}, {kOpaqueRed}), EConvertError);
}

TEST(FlashMorphShape, BothVersionsThroughReaderCopiesAndXml) {
    for (bool second : {false, true}) {
        SCOPED_TRACE(second ? "DefineMorphShape2" : "DefineMorphShape");
        TFlashMovie movie(0, 0, 200, 100, 12, true);
        TFlashMorphShape* morph = BuildRedToBlueMorph(movie, second);
        morph->AddLinearGradient(kOpaqueRed, kOpaqueBlue, kOpaqueBlue, kOpaqueRed, 0, 90);
        movie.PlaceObject(morph, 1)->SetRatio(0);
        movie.ShowFrame();
        auto reader = ReadWritten(movie);
        const uint16_t code = second ? TagCodes::DefineMorphShape2 : TagCodes::DefineMorphShape;
        EXPECT_EQ(morph->RequiredVersion(), second ? 8 : 3);
        auto* tag = static_cast<TSWFDefineMorphShape*>(FirstTag(*reader, code));
        ASSERT_TRUE(tag) << "no tag of code " << code;
        EXPECT_EQ(tag->CharacterID, morph->GetCharacterId());
        ASSERT_EQ(tag->MorphFillStyles.size(), 2u);
        auto* solid = dynamic_cast<TSWFMorphColorFill*>(tag->MorphFillStyles[0].get());
        ASSERT_TRUE(solid);
        EXPECT_EQ(solid->StartColor, kOpaqueRed);
        EXPECT_EQ(solid->EndColor, kOpaqueBlue);
        EXPECT_EQ(tag->MorphLineStyles.at(0)->EndWidth, 40);
        const Bytes body = WriteBodyBytes(*tag);
        // The morph's own tag writes what the file holds.
        std::unique_ptr<TSWFObject> written = CreateTagByCode(code);
        ReadBodyBytes(*written, body);
        EXPECT_EQ(ToHex(WriteBodyBytes(*written)), ToHex(body));

        TFlashMorphShape copy(&movie);
        copy.CopyFieldsFrom(*morph);
        TMemoryStream copied;
        TBitsEngine be(copied);
        copy.WriteTag(be);
        TMemoryStream original;
        TBitsEngine be2(original);
        morph->WriteTag(be2);
        EXPECT_EQ(ToHex(copied.Bytes()), ToHex(original.Bytes())) << "a copy writes the same tag";

        TXMLReadWriteSettings settings;
        settings.Options = 0;
        TXmlDocument doc;
        tag->SaveToXml(doc.Root().AddChild(TagIdToName(code)), settings);
        TXmlDocument reread;
        reread.LoadFromString(doc.SaveToString());
        std::unique_ptr<TSWFObject> loaded = CreateTagByCode(code);
        loaded->LoadFromXml(reread.DocumentElement(), settings);
        EXPECT_EQ(ToHex(WriteBodyBytes(*loaded)), ToHex(body)) << doc.SaveToString();
    }
}

TEST(FlashButton, ConditionRecordsVersionsAndSounds) {
    TFlashMovie movie(0, 0, 200, 100, 12, true);
    TFlashButton* button = BuildRedButton(movie);
    EXPECT_EQ(button->FindCondActions(3, false), nullptr);
    TSWFButtonCondAction* release = button->FindCondActions(3, true);
    ASSERT_TRUE(release);
    EXPECT_EQ(release->Conditions, kCondOverDownToOverUp);
    EXPECT_EQ(button->FindCondActions(3, false), release);
    EXPECT_EQ(button->AddCondActions(1u | 1u << 9).Conditions, 1u) << "bits past 8 are dropped";
    EXPECT_EQ(button->RequiredVersion(), 3);
    EXPECT_EQ(BuildRedButton(movie, false)->RequiredVersion(), 1);
    EXPECT_THROW(BuildRedButton(movie, false)->AddCondActions(1), EConvertError);

    // The face is defined before the button that shows it.
    TFlashMovie ordered(0, 0, 200, 100, 12, true);
    TFlashButton* early = ordered.AddButton();
    TFlashShape* late = ordered.AddRectangle(0, 0, 10, 10);
    early->AddRecord(late, kButtonStateUp);
    EXPECT_EQ(ordered.GetObjectList().front().get(), late);

    // Sounds: none written until one is asked for.
    for (bool touched : {false, true}) {
        SCOPED_TRACE(touched ? "with a sound" : "without sounds");
        TFlashMovie built(0, 0, 200, 100, 12, true);
        TFlashButton* made = BuildRedButton(built);
        made->GetReleaseActions().Stop();
        if (touched) made->GetSndPress().SoundId = 7;
        built.PlaceObject(made, 1);
        built.ShowFrame();
        auto reader = ReadWritten(built);
        auto* sounds = static_cast<TSWFDefineButtonSound*>(FirstTag(*reader, TagCodes::DefineButtonSound));
        EXPECT_EQ(sounds != nullptr, touched);
        if (sounds) {
            EXPECT_EQ(sounds->ButtonId, made->GetCharacterId());
            ASSERT_TRUE(sounds->WrittenSound(TSWFDefineButtonSound::OverUpToOverDown));
            EXPECT_EQ(sounds->WrittenSound(TSWFDefineButtonSound::OverUpToOverDown)->SoundId, 7);
        }
        auto* tag = static_cast<TSWFDefineButton2*>(FirstTag(*reader, TagCodes::DefineButton2));
        ASSERT_TRUE(tag);
        ASSERT_EQ(tag->CondActionCount(), 1u);
        EXPECT_EQ(tag->GetCondAction(0).Conditions, kCondOverDownToOverUp);
        EXPECT_EQ(tag->ButtonRecords.size(), 1u);
    }
}

TEST(FlashButton, CompilingWithoutACompilerReportsAndFails) {
    TCompileContextFactory previous = RegisterCompileContextFactory(nullptr);
    TFlashMovie movie(0, 0, 200, 100, 12, true);
    TFlashButton* button = BuildRedButton(movie);
    EXPECT_FALSE(button->CompileActionsFromText("on (release) { stop(); }"));
    EXPECT_NE(movie.GetMessages().find("no ActionScript compiler"), std::string::npos) << movie.GetMessages();
    RegisterCompileContextFactory(previous);
    EXPECT_THROW(button->CompileActionsFromFile("/nonexistent/button.as"), Exception);
}
