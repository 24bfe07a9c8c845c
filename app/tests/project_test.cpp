// The project model: the snapshot's rules, the font-style XML and the
// characters each style must embed.
#include <gtest/gtest.h>

#include "app/project.h"
#include "app/tests/app_fixture.h"
#include "app/xml_document.h"

namespace {

class Project : public AppFixture {};

std::unique_ptr<FontStyleRecord> Style(const WideString& name) {
    auto style = std::make_unique<FontStyleRecord>();
    style->Name = name;
    return style;
}

std::unique_ptr<StageRecord> TextStage(const WideString& formattedText) {
    auto stage = std::make_unique<StageRecord>();
    stage->FormattedText = formattedText;
    return stage;
}

std::unique_ptr<EffectRecord> Effect(const WideString& theme, const WideString& name) {
    auto effect = std::make_unique<EffectRecord>();
    effect->ThemeName = theme;
    effect->TemplateName = name;
    return effect;
}

TEST(FontXml, DefaultStyleGivesTheFixedDocument) {
    auto style = Style(u"default");
    EXPECT_EQ(BuildFontXml({style.get()}),
              u"<Txt.Font><Txt.Format name=\"default\"><FontFormatName>default</FontFormatName>"
              u"<FontSize>20</FontSize><FontUnderline>false</FontUnderline><FontXScale>100</FontXScale>"
              u"<FontYScale>100</FontYScale><Alpha>100</Alpha><TextSpace>0</TextSpace><FillStyle>solid</FillStyle>"
              u"<FontBeginColor>0xFF9900</FontBeginColor><FontEndColor>0x663300</FontEndColor><Border>false</Border>"
              u"<BorderColor>0xFF0000</BorderColor><BorderSize>0</BorderSize><BorderShadow>false</BorderShadow>"
              u"<CharRotation>0</CharRotation></Txt.Format></Txt.Font>");
    EXPECT_EQ(BuildFontXml({}), u"<Txt.Font></Txt.Font>");
}

TEST(FontXml, FieldsFollowTheStyleAndNamesAreEscaped) {
    auto plain = Style(u"default");
    auto odd = Style(u"Say \"<hi>\" & 'bye'");
    odd->Size = 7;
    odd->Underline = true;
    odd->FillKind = fkRadial;
    odd->BorderSize = 3;
    odd->Shadow = true;
    odd->CharRotation = -15;
    odd->FillBeginColor = RGBColor(1, 2, 3);
    auto linear = Style(u"Линия");
    linear->FillKind = fkLinear;
    linear->BorderColor = RGBColor(0, 0, 255);  // colour without size: no border

    TAppXmlDocument document(BuildFontXml({plain.get(), odd.get(), linear.get()}));
    std::vector<TXmlNode> formats = XmlItems(document.DocumentElement());
    ASSERT_EQ(formats.size(), 3u);
    auto field = [&](int format, const char* name) { return *XmlNodeValue(formats[format].ChildNode(name)); };
    EXPECT_EQ(*XmlAttribute(formats[1], "name"), u"Say \"<hi>\" & 'bye'");
    EXPECT_EQ(field(1, "FontFormatName"), u"Say \"<hi>\" & 'bye'");
    EXPECT_EQ(field(1, "FontSize"), u"7");
    EXPECT_EQ(field(1, "FontUnderline"), u"true");
    EXPECT_EQ(field(1, "FillStyle"), u"radial");
    EXPECT_EQ(field(1, "FontBeginColor"), u"0x010203");
    EXPECT_EQ(field(1, "Border"), u"true");
    EXPECT_EQ(field(1, "BorderSize"), u"3");
    EXPECT_EQ(field(1, "BorderShadow"), u"true");
    EXPECT_EQ(field(1, "CharRotation"), u"-15");
    EXPECT_EQ(field(2, "FontFormatName"), u"Линия");
    EXPECT_EQ(field(2, "FillStyle"), u"linear");
    EXPECT_EQ(field(2, "Border"), u"false");
    EXPECT_EQ(field(2, "BorderColor"), u"0x0000FF");
}

TEST(StyleChars, CollectedFromEveryTextStageWithoutRegardToCase) {
    std::vector<std::unique_ptr<StageRecord>> stages;
    stages.push_back(TextStage(
        u"<Txt.StrFormatedText>\n"
        u"  <Line><StrText format=\"Default\">Ab</StrText><StrText format=\"Title\">Zz</StrText></Line>\n"
        u"  <Line><StrText format=\"default\">   </StrText><StrText format=\"DEFAULT\"><![CDATA[<&>]]></StrText>"
        u"<StrText format=\"default\"/><StrText format=\"default\"><b>bold</b></StrText><StrText>no format</StrText>"
        u"</Line>\n"
        u"</Txt.StrFormatedText>"));
    auto picture = std::make_unique<StageRecord>();
    picture->PictureStage = true;
    picture->FormattedText = u"not XML at all <";  // a picture stage's text is never read
    stages.push_back(std::move(picture));
    stages.push_back(TextStage(u"<Other><Line><StrText format=\"default\">skipped</StrText></Line></Other>"));
    stages.push_back(TextStage(u"<txt.strformatedtext><Line><StrText format=\"default\">Ab €</StrText></Line>"
                               u"</txt.strformatedtext>"));
    std::vector<const StageRecord*> borrowed;
    for (const auto& stage : stages) borrowed.push_back(stage.get());

    EXPECT_EQ(CollectStyleChars(borrowed, u"default"), u"Ab   <&>Ab €");
    EXPECT_EQ(CollectStyleChars(borrowed, u"title"), u"Zz");
    EXPECT_EQ(CollectStyleChars(borrowed, u"unused"), u"");

    auto broken = TextStage(u"<Txt.StrFormatedText><Line></Txt.StrFormatedText>");
    borrowed.push_back(broken.get());
    EXPECT_THROW(CollectStyleChars(borrowed, u"default"), EConvertError);
}

TEST(StyleChars, RunOfSpacesSurvivesTheParse) {
    TAppXmlDocument document(u"<Txt.StrFormatedText><Line><StrText format=\"default\">  </StrText>"
                             u"<StrText format=\"default\"> \t </StrText></Line></Txt.StrFormatedText>");
    std::vector<TXmlNode> runs = XmlItems(XmlItems(document.DocumentElement())[0]);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(XmlNodeValue(runs[0]), u"  ");
    EXPECT_EQ(XmlNodeValue(runs[1]), u" \t ");
    EXPECT_FALSE(XmlAttribute(runs[0], "missing").has_value());
}

TEST_F(Project, SoundFileRules) {
    std::string present = WriteProgramFile("sounds/loop ü.mp3", "ID3");
    struct {
        bool ticked;
        WideString text;
        bool soundOn;
        WideString file;
        WideString warning;  // a sound asked for but left out is told
    } cases[] = {
        {true, u"  " + UcSystem::Utf8ToWide(present) + u" ", true, UcSystem::Utf8ToWide(present), u""},
        {true, UcSystem::Utf8ToWide(programFolder_ + "sounds/gone.mp3"), false, u"",
         u"The background sound file \"" + UcSystem::Utf8ToWide(programFolder_) +
             u"sounds/gone.mp3\" is missing: the movie has no sound."},
        {true, UcSystem::Utf8ToWide(programFolder_ + "sounds"), false, u"",  // a folder is no sound
         u"The background sound file \"" + UcSystem::Utf8ToWide(programFolder_) +
             u"sounds\" is missing: the movie has no sound."},
        {true, u" ", false, u"", u"No background sound file is chosen: the movie has no sound."},
        {false, UcSystem::Utf8ToWide(programFolder_ + "sounds/gone.mp3 "), false,
         UcSystem::Utf8ToWide(programFolder_ + "sounds/gone.mp3"), u""},
    };
    for (const auto& c : cases) {
        TProjectState state;
        state.ChkSound = c.ticked;
        state.EditSoundFile = c.text;
        auto project = GatherProject(state);
        EXPECT_EQ(project->SoundOn, c.soundOn) << UcSystem::WideToUtf8(c.text);
        EXPECT_EQ(project->SoundFile, c.file) << UcSystem::WideToUtf8(c.text);
        EXPECT_EQ(project->Warnings, c.warning.empty() ? std::vector<WideString>{} : std::vector<WideString>{c.warning});
    }
}

TEST_F(Project, SnapshotTakesTheStateInListOrder) {
    TProjectState state;
    state.UpDownMovieWidth = 640;
    state.UpDownFrameRate = 12;
    state.RdoSolidColor = false;
    state.RdoGradientColor = true;
    state.SpinEditBgLinearColorRotation = 44.5;  // halves round to even
    state.SpinEditBgRadialColorRadius = 45.5;
    state.CmbFontFormat.push_back(Style(u"default"));
    state.CmbFontFormat.push_back(Style(u"Second"));
    state.LbxText.push_back(TextStage(u"<Txt.StrFormatedText/>"));
    state.LbxText.push_back(TextStage(u"<Txt.StrFormatedText/>"));
    state.LbxText[1]->StaticStage = true;
    state.lstBgImage.push_back(std::make_unique<BgImageRecord>());
    state.CmbPreLoader.push_back({u"bar.swf", Effect(u"", u"bar.swf")});
    state.CmbPreLoader.push_back({u"ring.swf", Effect(u"", u"ring.swf")});
    state.CmbPreLoaderIndex = 1;
    state.CmbPreLoaderText = u"ring.swf";
    state.EditURLOnClick = u"  http://example.org/ ";
    state.CmbURLTargetOnClick = u" _blank";
    state.RdoClickTAGOnClick = true;

    auto project = GatherProject(state);
    EXPECT_EQ(project->Width, 640);
    EXPECT_EQ(project->Height, 300);
    EXPECT_EQ(project->FrameRate, 12);
    EXPECT_EQ(project->BgKind, bkGradient);
    EXPECT_EQ(project->LinearRotation, 44);
    EXPECT_EQ(project->RadialRadius, 46);
    ASSERT_EQ(project->FontStyles.size(), 2u);
    EXPECT_EQ(project->FontStyles[1], state.CmbFontFormat[1].get());
    EXPECT_EQ(project->FontXml, BuildFontXml(project->FontStyles));
    ASSERT_EQ(project->Stages.size(), 2u);
    EXPECT_EQ(project->Stages[1], state.LbxText[1].get());
    EXPECT_TRUE(project->StaticStages.empty());  // static stages travel among the stages
    ASSERT_EQ(project->Pictures.size(), 1u);
    EXPECT_EQ(project->PreloaderEffect, state.CmbPreLoader[1].Effect.get());
    EXPECT_EQ(project->PreloaderName, u"ring.swf");
    EXPECT_EQ(project->ClickUrl, u"http://example.org/");
    EXPECT_EQ(project->ClickUrlTarget, u"_blank");
    EXPECT_EQ(project->ClickUrlKind, 1);
    EXPECT_EQ(project->CloseUrlKind, 0);

    state.RdoGradientColor = false;
    state.CmbPreLoaderIndex = -1;
    project = GatherProject(state);
    EXPECT_EQ(project->BgKind, bkTransparent);
    EXPECT_EQ(project->PreloaderEffect, nullptr);
}

TEST_F(Project, BackgroundEffectsResolvedByNameOrLeftEmpty) {
    TProjectState state;
    state.TreeBg.Themes.push_back({u"Space", {}});
    state.TreeBg.Themes.push_back({u"Water", {}});
    state.TreeBg.Themes[0].Templates.push_back({u"stars.swf", Effect(u"Space", u"stars.swf")});
    state.TreeBg.Themes[1].Templates.push_back({u"stars.swf", Effect(u"Water", u"stars.swf")});
    state.TreeBg.Themes[1].Templates.push_back({u"waves.swf", Effect(u"Water", u"waves.swf")});
    state.ListViewBgEffectMultiple = {
        {u"WAVES.SWF", u"water"},    // names compare without regard to case
        {u"removed.swf", u"Water"},  // no longer installed
        {u"stars.swf", u"Water"},    // the theme decides between equal file names
        {u"waves.swf", u"Space"},
    };
    auto project = GatherProject(state);
    ASSERT_EQ(project->BgEffects.size(), 4u);
    EXPECT_EQ(project->BgEffects[0], state.TreeBg.Themes[1].Templates[1].Effect.get());
    EXPECT_EQ(project->BgEffects[1], nullptr);
    EXPECT_EQ(project->BgEffects[2], state.TreeBg.Themes[1].Templates[0].Effect.get());
    EXPECT_EQ(project->BgEffects[3], nullptr);
}

TEST_F(Project, StageItemTextsCarryTheMarkerAndTheWholeText) {
    auto text = TextStage(u"<Txt.StrFormatedText>" + WideString(5000, u'x') + u"</Txt.StrFormatedText>");
    EXPECT_EQ(StageItemText(*text), u"ORVUTXT" + text->FormattedText);  // never cut to a buffer's length
    StageRecord picture;
    picture.PictureStage = true;
    picture.PictureFile = u"resources/sun.png";
    EXPECT_EQ(StageItemText(picture), u"ORVUIMG" + GetProgramFolder() + u"resources/sun.png");
}

}  // namespace
