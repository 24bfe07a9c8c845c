// The project file: its keys and their order as another ini reader sees
// them, saving and opening again, locale-proof times, bad values and a
// failed write.
#include <gtest/gtest.h>

#include <clocale>
#include <csignal>
#include <filesystem>
#include <sys/resource.h>

#include "app/project_file.h"
#include "app/templates.h"
#include "app/tests/app_fixture.h"
#include "app/tests/kit/template_kit.h"
#include "platform/testing/test_support.h"

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class ProjectFile : public AppFixture {
protected:
    void SetUp() override {
        AppFixture::SetUp();
        Kit("preloader/bar.swf", "<Bg.Color type=\"color\" default=\"0x112233\"/><Pl.Text type=\"string\" default=\"…\"/>");
        Kit("background/Space/stars.swf", "<Bg.Count type=\"integer\" default=\"20\" min=\"1\" max=\"99\"/>");
        Kit("background/Water/waves.swf", "");
        Kit("text/Basic/fade.swf", "<Txt.Speed type=\"integer\" default=\"5\"/><Txt.Mode type=\"selection\" "
                                   "default=\"in\" selection=\"in;out\"/>");
        Kit("image/Basic/zoom.swf", "<Img.EffectName type=\"const\" default=\"zoom\"/>");
    }

    void Kit(const std::string& relative, const std::string& params) {
        std::string path = programFolder_ + relative;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        TKitTemplate kit;
        kit.Declaration = "<ParamsDefine>" + params + "</ParamsDefine>";
        WriteKitTemplate(path, kit);
    }

    // A state with the templates scanned, as at start-up.
    std::unique_ptr<TProjectState> ScannedState() {
        auto state = std::make_unique<TProjectState>();
        ScanTemplates(*state);
        return state;
    }

    // A project that uses every kind of record.
    std::unique_ptr<TProjectState> SampleProject() {
        auto state = ScannedState();
        TProjectState& s = *state;
        s.ChkPreloader = true;
        FindParam(*s.CmbPreLoader[0].Effect, u"Pl.Text")->Value = u"Загрузка…";
        s.EditSoundFile = UcSystem::Utf8ToWide(programFolder_ + "sounds/loop.mp3");  // not ticked: kept as written
        s.ChkBgImage = true;
        s.lstBgImage.push_back(std::make_unique<BgImageRecord>());
        s.lstBgImage[0]->FileName = UcSystem::Utf8ToWide(programFolder_ + "resources/bg.jpg");
        s.lstBgImage[0]->PositionMode = pmTile;
        s.ChkBgEffectMultiple = true;
        s.ListViewBgEffectMultiple = {{u"waves.swf", u"Water"}, {u"gone.swf", u"Water"}, {u"stars.swf", u"Space"}};
        FindParam(*s.TreeBg.Find(u"Space", u"stars.swf")->Effect, u"Bg.Count")->Value = u"42";
        for (const char16_t* name : {u"default", u"Заголовок"}) {
            s.CmbFontFormat.push_back(std::make_unique<FontStyleRecord>());
            s.CmbFontFormat.back()->Name = name;
        }
        s.CmbFontFormat[1]->FillKind = fkRadial;
        s.CmbFontFormat[1]->Bold = true;
        auto text = NewStageEffect(s, false);
        text->FormattedText = u"<Txt.StrFormatedText><Line><StrText format=\"Заголовок\">Привет, мир</StrText>"
                              u"<StrText format=\"default\">  </StrText></Line></Txt.StrFormatedText>";
        text->EnterTime = 0.1f;
        text->Duration = 1.5f;
        text->DelayAfterPrevious = 2.0f;
        FindParam(*text->Effect, u"Txt.Speed")->Value = u"7";
        s.LbxText.push_back(std::move(text));
        auto picture = NewStageEffect(s, true);
        picture->PictureFile = u"resources/sun.png";
        picture->StaticStage = true;
        s.LbxText.push_back(std::move(picture));
        s.ChkURLOnClick = true;
        s.RdoClickTAGOnClick = true;
        s.EditURLOnClick = u"http://example.org/?a=1&b=2";
        return state;
    }

    std::string Save(const TProjectState& state, const std::string& name) {
        std::string path = root_ + "/" + name;
        WriteProjectFile(UcSystem::Utf8ToWide(path), *GatherProject(state));
        return path;
    }
};

// The keys of a block of eight parameter fields.
void ParamKeys(std::vector<std::string>& keys, const std::string& base, const std::string& tag, int count) {
    for (int p = 0; p < count; ++p)
        for (const char* field : {"NAME", "VALUE", "TYPE", "CAPTION", "DEFAULT", "MIN", "MAX", "SELECTION"})
            keys.push_back(base + "PARAM_STR_" + field + tag + "_" + std::to_string(p));
}

void Keys(std::vector<std::string>& keys, const std::string& prefix, const std::string& suffix,
          std::initializer_list<const char*> names) {
    for (const char* name : names) keys.push_back(prefix + name + suffix);
}

TEST_F(ProjectFile, OtherIniReaderSeesOneSectionWithTheKeysInOrder) {
    if (!ToolInstalled("python3")) TW_SKIP_OR_FAIL() << "python3 is missing";
    auto state = SampleProject();
    std::string path = Save(*state, "project.ini");
    std::vector<std::string> lines = RunPython("import configparser\n"
                                               "c = configparser.ConfigParser(interpolation=None)\n"
                                               "c.optionxform = str\n"
                                               "c.read(sys.argv[1], encoding='utf-8')\n"
                                               "print(' '.join(c.sections()))\n"
                                               "print(' '.join(c['OPTIONS'].keys()))\n"
                                               "print(c['OPTIONS']['DYNAMICTEXTS_STR_FORMATEDTEXT0'])\n"
                                               "print(c['OPTIONS']['PLMOVIE_PARAM_STR_VALUE_1'])\n",
                                               path);
    ASSERT_EQ(lines.size(), 4u);
    const std::string &sections = lines[0], &keyLine = lines[1], &formattedText = lines[2], &preloaderText = lines[3];
    EXPECT_EQ(sections, "OPTIONS");
    EXPECT_EQ(formattedText, UcSystem::WideToUtf8(state->LbxText[0]->FormattedText));
    EXPECT_EQ(preloaderText, "Загрузка…");

    std::vector<std::string> expected;
    Keys(expected, "", "", {"I_WIDTH", "I_HEIGHT", "I_FRAMERATE", "B_BORDER", "I_BORDER", "COLOR_BORDER", "B_SOUND",
                            "STR_SOUNDFILE", "B_SOUNDLOOP", "I_SOUNDLOOP", "B_COMPRESS", "B_LOOP", "I_LOOP",
                            "B_REPLOADER", "STR_PRELOADER", "PLMOVIE_STR_THEME", "PLMOVIE_STR_TEMPLATE",
                            "PLMOVIE_I_PARAMS"});
    ParamKeys(expected, "PLMOVIE_", "", 2);
    Keys(expected, "", "", {"I_BGCOLORTYPE", "COLOR_SOLID", "COLOR_GRADIENTSTART", "COLOR_GRADIENTEND",
                            "I_BGGRADIENTSTYLE", "I_BGLINEARROTATION", "I_BGRADIALRADIUS", "B_BGIMAGE", "I_BGIMAGE"});
    Keys(expected, "", "0", {"STR_BGIMAGE", "I_BGIMAGEPOSITION", "I_BGIMAGELEFT", "I_BGIMAGETOP", "I_BGIMAGEXSCALE",
                             "I_BGIMAGEYSCALE", "I_BGIMAGEROTATE"});
    Keys(expected, "", "", {"B_BGMOVIE", "B_BGMOVIE_MULTIPLE", "I_BGMOVIE"});
    Keys(expected, "BGMOVIE_", "0", {"STR_THEME", "STR_TEMPLATE", "I_PARAMS"});
    // Entry 1 names no installed template: no keys, and its index stays free.
    Keys(expected, "BGMOVIE_", "2", {"STR_THEME", "STR_TEMPLATE", "I_PARAMS"});
    ParamKeys(expected, "BGMOVIE_", "2", 1);
    expected.push_back("I_FONTFORMATS");
    for (const char* f : {"0", "1"})
        Keys(expected, "FONT_", f, {"STR_NAME", "STR_FONTNAME", "I_FONTSIZE", "B_FONTBOLD", "B_FONTITALIC",
                                    "B_FONTUNDERLINE", "I_WIDTHSCALE", "I_HEIGHTSCALE", "I_ALPHA", "I_TEXTSPACE",
                                    "I_FILLSTYLE", "COLOR_FILLBEGIN", "COLOR_FILLEND", "COLOR_BORDER", "I_BORDERSIZE",
                                    "B_BORDERSHADOW", "I_CHARROTATION"});
    Keys(expected, "", "", {"I_STATICSTAGES", "I_DYNAMICSTAGES"});
    for (int s = 0; s < 2; ++s) {
        std::string n = std::to_string(s);
        Keys(expected, "DYNAMICTEXTS_", n, {"STR_THEME", "STR_TEMPLATE", "I_PARAMS"});
        ParamKeys(expected, "DYNAMICTEXTS_", n, s == 0 ? 2 : 1);
        Keys(expected, "DYNAMICTEXTS_", n,
             {"B_IMAGE", "STR_IMAGEFILE", "I_IMAGEPOSSIZE", "I_IMAGELEFT", "I_IMAGETOP", "I_IMAGESCALE",
              "I_IMAGEROTATE", "I_IMAGEALPHA", "STR_FORMATEDTEXT", "B_ALIGNRELATIVE", "I_HORZALIGN", "I_VERTALIGN",
              "I_HORZADJUST", "I_VERTADJUST", "I_ALIGNLEFT", "I_ALIGNTOP", "I_TEXTROTATION", "I_LINESPACE",
              "I_LINEALIGN", "B_STATICTEXT", "F_STAGEENTER", "B_REMOVEPREV", "F_STAGEDELAY", "B_SKIPENTERACTION",
              "B_LINESSYNCENTER", "F_STAGEDURATION", "B_SKIPLEAVEACTION", "B_LINESSYNCLEAVE", "B_LEAVEFROMBEGIN",
              "B_KEEPTEXT", "B_URLREPLAY", "B_URL", "I_URL", "STR_URLADDRESS", "STR_URLTARGET"});
    }
    Keys(expected, "", "", {"B_DISPLAYONEBYONE", "B_URLONCLOSE", "I_URLONCLOSE", "STR_URLONCLOSE",
                            "STR_URLTARGETONCLOSE", "B_URLONCLICK", "I_URLONCLICK", "STR_URLONCLICK",
                            "STR_URLTARGETONCLICK"});
    std::string joined;
    for (const std::string& key : expected) joined += (joined.empty() ? "" : " ") + key;
    EXPECT_EQ(keyLine, joined);
}

TEST_F(ProjectFile, SaveOpenSaveIsByteIdentical) {
    auto state = SampleProject();
    std::string first = Save(*state, "first.ini");
    std::string text = ReadAll(first);
    // Kept beyond the test: it seeds the project file's fuzz target.
    std::ofstream(std::string(TW_FIXTURE_DIR) + "/sample-project.ini", std::ios::binary) << text;
    EXPECT_NE(text.find("STR_SOUNDFILE=sounds/loop.mp3\r\n"), std::string::npos);  // relative below the program
    EXPECT_NE(text.find("DYNAMICTEXTS_F_STAGEENTER0=0.100000001490116\r\n"), std::string::npos);
    EXPECT_NE(text.find("DYNAMICTEXTS_F_STAGEDURATION0=1.5\r\n"), std::string::npos);
    EXPECT_NE(text.find("FONT_COLOR_FILLBEGIN1=0xFF9900\r\n"), std::string::npos);

    auto opened = ScannedState();
    TProjectReadProblems problems;
    ASSERT_TRUE(ReadProjectFile(UcSystem::Utf8ToWide(first), *opened, &problems));
    EXPECT_TRUE(problems.empty());
    EXPECT_EQ(opened->EditSoundFile, state->EditSoundFile);
    ASSERT_EQ(opened->ListViewBgEffectMultiple.size(), 2u);  // the uninstalled entry is left out
    EXPECT_EQ(FindParam(*opened->TreeBg.Find(u"Space", u"stars.swf")->Effect, u"Bg.Count")->Value, u"42");
    ASSERT_EQ(opened->LbxText.size(), 2u);
    EXPECT_EQ(opened->LbxText[0]->FormattedText, state->LbxText[0]->FormattedText);
    EXPECT_EQ(opened->LbxText[0]->EnterTime, 0.1f);
    EXPECT_EQ(FindParam(*opened->LbxText[0]->Effect, u"Txt.Speed")->Value, u"7");
    EXPECT_EQ(StageItemText(*opened->LbxText[1]), u"ORVUIMG" + GetProgramFolder() + u"resources/sun.png");
    EXPECT_EQ(opened->CmbFontFormat[1]->Name, u"Заголовок");
    EXPECT_TRUE(opened->CmbFontFormat[1]->Bold);

    // Without the entry that names no installed template, the first file
    // is what saving the opened project gives, byte for byte.
    std::string second = ReadAll(Save(*opened, "second.ini"));
    state->ListViewBgEffectMultiple.erase(state->ListViewBgEffectMultiple.begin() + 1);
    EXPECT_EQ(ReadAll(Save(*state, "first-without-gap.ini")), second);
    EXPECT_NE(second.find("BGMOVIE_STR_TEMPLATE1=stars.swf\r\n"), std::string::npos);
    auto again = ScannedState();
    ASSERT_TRUE(ReadProjectFile(UcSystem::Utf8ToWide(root_ + "/second.ini"), *again));
    EXPECT_EQ(ReadAll(Save(*again, "third.ini")), second);
}

TEST_F(ProjectFile, TimesIgnoreTheLocale) {
    const char* old = std::setlocale(LC_ALL, nullptr);
    std::string saved = old != nullptr ? old : "C";
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) TW_SKIP_OR_FAIL() << "the locale de_DE.UTF-8 is missing";
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%.1f", 1.5);
    EXPECT_STREQ(buffer, "1,5");  // the locale is in force for the C library

    EXPECT_EQ(TimeToText(0.1f), "0.100000001490116");
    EXPECT_EQ(TimeToText(1.5f), "1.5");
    EXPECT_EQ(TimeToText(0.0f), "0");
    auto state = ScannedState();
    ReadProjectText("[OPTIONS]\nI_DYNAMICSTAGES=1\nDYNAMICTEXTS_F_STAGEENTER0=1,5\n"
                    "DYNAMICTEXTS_F_STAGEDURATION0=2.25\n",
                    *state);
    std::setlocale(LC_ALL, saved.c_str());
    ASSERT_EQ(state->LbxText.size(), 1u);
    EXPECT_EQ(state->LbxText[0]->EnterTime, 1.5f);
    EXPECT_EQ(state->LbxText[0]->Duration, 2.25f);
    EXPECT_EQ(state->LbxText[0]->DelayAfterPrevious, 0.0f);  // a missing time takes its default
}

TEST_F(ProjectFile, BadValuesFallBackAndAreReportedOnce) {
    auto state = ScannedState();
    TProjectReadProblems problems;
    ReadProjectText("[options]\r\n"
                    "i_width=wide\r\n"
                    "COLOR_BORDER=0xZZ0000\r\n"
                    "B_BORDER=0\r\n"
                    "I_DYNAMICSTAGES=1\r\n"
                    "DYNAMICTEXTS_F_STAGEENTER0=soon\r\n"
                    "DYNAMICTEXTS_I_LINESPACE0=4\r\n"
                    "I_HEIGHT=480\r\n"
                    "I_HEIGHT=999\r\n"
                    "[OTHER]\r\nI_FRAMERATE=1\r\n",
                    *state, &problems);
    EXPECT_EQ(state->UpDownMovieWidth, 400);
    EXPECT_EQ(state->ColorBorder, RGBColor(0xFF, 0x66, 0x00));
    EXPECT_FALSE(state->ChkBorder);
    EXPECT_EQ(state->UpDownMovieHeight, 480);  // the first of a repeated key
    EXPECT_EQ(state->UpDownFrameRate, 24);    // other sections are not read
    ASSERT_EQ(state->LbxText.size(), 1u);
    EXPECT_EQ(state->LbxText[0]->EnterTime, 0.0f);
    EXPECT_EQ(state->LbxText[0]->LineSpace, 4);
    ASSERT_EQ(state->CmbFontFormat.size(), 1u);  // no styles in the file: "default"
    EXPECT_EQ(state->CmbFontFormat[0]->Name, u"default");
    EXPECT_EQ(problems, (TProjectReadProblems{u"I_WIDTH: 'wide' is not an integer",
                                               u"COLOR_BORDER: '0xZZ0000' is not a colour",
                                               u"DYNAMICTEXTS_F_STAGEENTER0: 'soon' is not a time in seconds"}));

    // Counts far beyond the keys present make no more items than there are keys.
    state = ScannedState();
    ReadProjectText("[OPTIONS]\nI_DYNAMICSTAGES=2000000000\nI_FONTFORMATS=2000000000\nI_BGIMAGE=2000000000\n", *state);
    EXPECT_LE(state->LbxText.size(), 3u);
    EXPECT_LE(state->lstBgImage.size(), 3u);

    // A missing file changes nothing.
    state->UpDownMovieWidth = 123;
    EXPECT_FALSE(ReadProjectFile(UcSystem::Utf8ToWide(root_ + "/missing.ini"), *state));
    EXPECT_EQ(state->UpDownMovieWidth, 123);
}

// A stored value the template's parameter cannot take keeps the template's
// own and says so, naming the parameter and the template, long before a
// publish would stumble on it.
TEST_F(ProjectFile, ParameterValuesTheTemplateCannotTakeAreReported) {
    auto state = ScannedState();
    TProjectReadProblems problems;
    ReadProjectText("[OPTIONS]\nSTR_PRELOADER=bar.swf\nPLMOVIE_STR_TEMPLATE=bar.swf\nPLMOVIE_I_PARAMS=2\n"
                    "PLMOVIE_PARAM_STR_NAME_0=Bg.Color\nPLMOVIE_PARAM_STR_VALUE_0=not-a-colour\n"
                    "PLMOVIE_PARAM_STR_NAME_1=Pl.Text\nPLMOVIE_PARAM_STR_VALUE_1=Wait\n",
                    *state, &problems);
    EXPECT_EQ(FindParam(*state->CmbPreLoader[0].Effect, u"Bg.Color")->Value, u"0x112233");
    EXPECT_EQ(FindParam(*state->CmbPreLoader[0].Effect, u"Pl.Text")->Value, u"Wait");
    EXPECT_EQ(problems, (TProjectReadProblems{u"PLMOVIE_PARAM_STR_VALUE_0: 'not-a-colour' is not a colour for "
                                               u"Bg.Color of bar.swf; its default 0x112233 is kept"}));
}

// A template the file names but the folders lack, or that the scan turned
// away as damaged, gives way to a stand-in (or, for a background effect, is
// left out) as before, and each such change is reported with both names.
TEST_F(ProjectFile, ReplacedTemplatesAreReportedByName) {
    WriteProgramFile("text/Basic/damaged.swf", "FWS\x08 cut short");
    auto state = ScannedState();
    TProjectReadProblems problems;
    ReadProjectText("[OPTIONS]\nB_REPLOADER=1\nSTR_PRELOADER=Ring.swf\n"
                    "I_BGMOVIE=2\nBGMOVIE_STR_THEME0=Modern\nBGMOVIE_STR_TEMPLATE0=Bubbles.swf\n"
                    "BGMOVIE_STR_THEME1=Space\nBGMOVIE_STR_TEMPLATE1=stars.swf\n"
                    "I_DYNAMICSTAGES=4\n"
                    "DYNAMICTEXTS_STR_THEME0=Fancy\nDYNAMICTEXTS_STR_TEMPLATE0=Wave.swf\n"
                    "DYNAMICTEXTS_STR_THEME1=Basic\nDYNAMICTEXTS_STR_TEMPLATE1=damaged.swf\n"
                    "DYNAMICTEXTS_B_IMAGE2=1\nDYNAMICTEXTS_STR_THEME2=Motion\nDYNAMICTEXTS_STR_TEMPLATE2=Ken Burns.swf\n"
                    "DYNAMICTEXTS_STR_THEME3=Basic\nDYNAMICTEXTS_STR_TEMPLATE3=fade.swf\n",
                    *state, &problems);
    EXPECT_EQ(state->CmbPreLoaderText, u"bar.swf");
    ASSERT_EQ(state->ListViewBgEffectMultiple.size(), 1u);
    EXPECT_EQ(state->ListViewBgEffectMultiple[0].Template, u"stars.swf");
    ASSERT_EQ(state->LbxText.size(), 4u);
    EXPECT_EQ(state->LbxText[0]->Effect->TemplateName, u"fade.swf");
    EXPECT_EQ(state->LbxText[2]->Effect->TemplateName, u"zoom.swf");
    EXPECT_EQ(problems,
              (TProjectReadProblems{
                  u"STR_PRELOADER: 'Ring.swf' is not installed or could not be read; \"bar.swf\" stands in",
                  u"BGMOVIE_STR_TEMPLATE0: 'Modern/Bubbles.swf' is not installed or could not be read; the "
                  u"background effect is left out",
                  u"DYNAMICTEXTS_STR_TEMPLATE0: 'Fancy/Wave.swf' is not installed or could not be read; in stage 1 "
                  u"\"Basic/fade.swf\" stands in",
                  u"DYNAMICTEXTS_STR_TEMPLATE1: 'Basic/damaged.swf' is not installed or could not be read; in stage 2 "
                  u"\"Basic/fade.swf\" stands in",
                  u"DYNAMICTEXTS_STR_TEMPLATE2: 'Motion/Ken Burns.swf' is not installed or could not be read; in "
                  u"stage 3 \"Basic/zoom.swf\" stands in"}));
}

// Values beyond what the controls hold are brought to the nearer end, a
// parameter to its template's min and max, and a count beyond the blocks the
// file holds to those blocks; each change is reported.
TEST_F(ProjectFile, OutOfRangeValuesAreBroughtIntoRangeAndReported) {
    auto state = ScannedState();
    TProjectReadProblems problems;
    ReadProjectText("[OPTIONS]\nI_WIDTH=0\nI_HEIGHT=-300\nI_FRAMERATE=0\nI_LOOP=-7\n"
                    "I_BGMOVIE=1\nBGMOVIE_STR_THEME0=Space\nBGMOVIE_STR_TEMPLATE0=stars.swf\nBGMOVIE_I_PARAMS0=1\n"
                    "BGMOVIE_PARAM_STR_NAME0_0=Bg.Count\nBGMOVIE_PARAM_STR_VALUE0_0=500\n"
                    "I_FONTFORMATS=1\nFONT_STR_NAME0=Title\nFONT_I_FONTSIZE0=1000\n"
                    "I_DYNAMICSTAGES=999999999\nDYNAMICTEXTS_I_IMAGEALPHA0=250\nDYNAMICTEXTS_F_STAGEENTER1=-2\n",
                    *state, &problems);
    EXPECT_EQ(state->UpDownMovieWidth, 1);
    EXPECT_EQ(state->UpDownMovieHeight, 1);
    EXPECT_EQ(state->UpDownFrameRate, 1);
    EXPECT_EQ(state->UpDownLoop, 1);
    EXPECT_EQ(FindParam(*state->TreeBg.Find(u"Space", u"stars.swf")->Effect, u"Bg.Count")->Value, u"99");
    ASSERT_EQ(state->CmbFontFormat.size(), 1u);
    EXPECT_EQ(state->CmbFontFormat[0]->Size, 100);
    ASSERT_EQ(state->LbxText.size(), 2u);
    EXPECT_EQ(state->LbxText[0]->Alpha, 100);
    EXPECT_EQ(state->LbxText[1]->EnterTime, 0.0f);
    EXPECT_EQ(problems,
              (TProjectReadProblems{
                  u"I_WIDTH: '0' is out of range 1..10000; 1 is used",
                  u"I_HEIGHT: '-300' is out of range 1..10000; 1 is used",
                  u"I_FRAMERATE: '0' is out of range 1..100; 1 is used",
                  u"I_LOOP: '-7' is out of range 1..100; 1 is used",
                  u"BGMOVIE_PARAM_STR_VALUE0_0: '500' is out of range 1..99 for Bg.Count of stars.swf; 99 is used",
                  u"FONT_I_FONTSIZE0: '1000' is out of range 0..100; 100 is used",
                  u"I_DYNAMICSTAGES: '999999999' announces more items than the file holds; only its 2 are read",
                  u"DYNAMICTEXTS_I_IMAGEALPHA0: '250' is out of range 0..100; 100 is used",
                  u"DYNAMICTEXTS_F_STAGEENTER1: '-2' is out of range 0..1000; 0 is used"}));
}

// A ticked sound whose file has gone is reported when the project is read;
// an unticked one is not the user's concern until it is ticked.
TEST_F(ProjectFile, AMissingSoundIsReported) {
    for (const char* ticked : {"1", "0"}) {
        auto state = ScannedState();
        TProjectReadProblems problems;
        ReadProjectText(std::string("[OPTIONS]\nB_SOUND=") + ticked + "\nSTR_SOUNDFILE=sounds/gone.mp3\n", *state,
                        &problems);
        EXPECT_EQ(state->EditSoundFile, UcSystem::Utf8ToWide(programFolder_ + "sounds/gone.mp3"));
        if (std::string(ticked) == "1")
            EXPECT_EQ(problems, (TProjectReadProblems{u"STR_SOUNDFILE: '" + UcSystem::Utf8ToWide(programFolder_) +
                                                       u"sounds/gone.mp3' does not exist; the movie will have no sound"}));
        else
            EXPECT_TRUE(problems.empty());
    }
}

TEST_F(ProjectFile, FailedWriteIsReportedAndKeepsTheOldFile) {
    std::string path = root_ + "/project.ini";
    std::ofstream(path, std::ios::binary) << "[OPTIONS]\r\nI_WIDTH=640\r\n";
    auto state = SampleProject();
    auto project = GatherProject(*state);

    // A file-size limit makes the write fail whoever runs the test.
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 100;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string message;
    try {
        WriteProjectFile(UcSystem::Utf8ToWide(path), *project);
    } catch (const EFCreateError& e) {
        message = e.what();
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_NE(message.find("project.ini"), std::string::npos) << message;
    EXPECT_EQ(ReadAll(path), "[OPTIONS]\r\nI_WIDTH=640\r\n");
    size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(root_))
        ++files;
    EXPECT_EQ(files, 2u);  // the program folder and the old file: no temporary left behind

    EXPECT_THROW(WriteProjectFile(UcSystem::Utf8ToWide(root_ + "/no/such/folder/x.ini"), *project), EFCreateError);
}

}  // namespace
