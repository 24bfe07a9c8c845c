// Effect templates: finding the declaration in a template's script, its
// parameters, and scanning the template folders.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/effect_builders.h"
#include "app/templates.h"
#include "app/tests/app_fixture.h"
#include "app/tests/kit/template_kit.h"
#include "movie/flash_movie.h"
#include "swf/reader.h"

namespace {

class Templates : public AppFixture {
protected:
    std::string Kit(const std::string& relative, const TKitTemplate& kit, bool compressed = false) {
        std::string path = programFolder_ + relative;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        WriteKitTemplate(path, kit, compressed);
        return path;
    }
    static TKitTemplate Declaring(const std::string& declaration) {
        TKitTemplate kit;
        kit.Declaration = declaration;
        return kit;
    }
};

const char* const kDeclaration =
    "<ParamsDefine>\n"
    "  <Bg.Color type=\"color\" caption=\"Colour\" default=\"0x336699\"/>\n"
    "  <Txt.Speed type=\"Integer\" caption=\"Speed\" default=\"5\" min=\"1\" max=\"10\" selection=\"ignored\"/>\n"
    "  <Txt.Mode type=\"SELECTION\" caption=\"Mode\" default=\"b\" selection=\"a;b;;c;\" min=\"0\"/>\n"
    "  <Txt.Hidden type=\"const\" caption=\"Hidden\" default=\"Привет &amp; bye\"/>\n"
    "  <Txt.Free caption=\"Free\"/>\n"
    "</ParamsDefine>";

TEST_F(Templates, DeclarationGivesTheParametersInOrder) {
    std::unique_ptr<EffectRecord> record;
    ASSERT_TRUE(ReadParamsDefine(UcSystem::Utf8ToWide(Kit("t.swf", Declaring(kDeclaration), true)), record));
    ASSERT_EQ(record->ParamCount(), 5);
    struct {
        WideString name, value, type, caption, def, min, max, selection;
    } expected[] = {
        {u"Bg.Color", u"0x336699", u"color", u"Colour", u"0x336699", u"", u"", u""},
        {u"Txt.Speed", u"5", u"Integer", u"Speed", u"5", u"1", u"10", u""},
        {u"Txt.Mode", u"b", u"SELECTION", u"Mode", u"b", u"", u"", u"a;b;;c;"},
        {u"Txt.Hidden", u"Привет & bye", u"const", u"Hidden", u"Привет & bye", u"", u"", u""},
        {u"Txt.Free", u"", u"", u"Free", u"", u"", u"", u""},
    };
    for (int i = 0; i < 5; ++i) {
        const TEffectParam& p = record->Params[i];
        const auto& e = expected[i];
        EXPECT_EQ((std::vector<WideString>{p.Name, p.Value, p.Type, p.Caption, p.Default, p.Min, p.Max, p.Selection}),
                  (std::vector<WideString>{e.name, e.value, e.type, e.caption, e.def, e.min, e.max, e.selection}))
            << "parameter " << i;
    }
    EXPECT_TRUE(record->ThemeName.empty());
    EXPECT_TRUE(record->TemplateName.empty());

    // Another root: a record without parameters. No declaration: no record.
    ASSERT_TRUE(ReadParamsDefine(UcSystem::Utf8ToWide(Kit("other.swf", Declaring("<Params><A type=\"bool\"/></Params>"))),
                                 record));
    EXPECT_EQ(record->ParamCount(), 0);
    record.reset();
    EXPECT_FALSE(ReadParamsDefine(UcSystem::Utf8ToWide(Kit("none.swf", TKitTemplate{})), record));
    EXPECT_EQ(record, nullptr);
    EXPECT_THROW(ReadParamsDefine(UcSystem::Utf8ToWide(Kit("bad.swf", Declaring("<ParamsDefine><A></ParamsDefine>"))),
                                  record),
                 EConvertError);
}

TEST_F(Templates, OnlyPoolReferencesNameTheDeclaration) {
    TKitTemplate kit = Declaring("<ParamsDefine><Real type=\"bool\" caption=\"Real\" default=\"true\"/></ParamsDefine>");
    kit.Decoys = true;
    std::optional<WideString> found = FindParamsDefine(UcSystem::Utf8ToWide(Kit("decoys.swf", kit)));
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(*found, UcSystem::Utf8ToWide(kit.Declaration));
    kit.DecoysOnly = true;
    EXPECT_FALSE(FindParamsDefine(UcSystem::Utf8ToWide(Kit("decoys-only.swf", kit))).has_value());
    kit.DecoysOnly = false;
    kit.ReplacedPool = true;  // the assignment's references name the second pool's entries
    EXPECT_FALSE(FindParamsDefine(UcSystem::Utf8ToWide(Kit("replaced-pool.swf", kit))).has_value());
}

TEST_F(Templates, ScanKeepsSortedOrderCountsEveryEntryAndSkipsTheBadOnes) {
    std::string good = "<ParamsDefine><Bg.Speed type=\"integer\" caption=\"Speed\" default=\"3\"/></ParamsDefine>";
    Kit("background/Zeta/one.swf", Declaring(good));
    Kit("background/alpha/b.swf", Declaring(good));
    Kit("background/alpha/A.swf", Declaring(good), true);
    Kit("background/alpha/plain.swf", TKitTemplate{});
    Kit("background/alpha/broken.swf", Declaring("<ParamsDefine><Bg.Speed></ParamsDefine>"));
    WriteProgramFile("background/alpha/notes.txt", "not a movie");
    WriteProgramFile("background/alpha/cut.swf", "FWS\x08\xFF\xFF\xFF\x7F");
    std::filesystem::create_directories(programFolder_ + "background/alpha/sub");
    std::filesystem::create_directories(programFolder_ + "background/Mid");
    WriteProgramFile("background/readme.txt", "a file among the themes");

    TEffectTree tree;
    TScanProblems problems;
    EXPECT_EQ(ScanEffectFolder(ekBackground, tree, &problems), 8);
    ASSERT_EQ(tree.Themes.size(), 3u);
    EXPECT_EQ(tree.Themes[0].Name, u"alpha");
    EXPECT_EQ(tree.Themes[1].Name, u"Mid");
    EXPECT_EQ(tree.Themes[2].Name, u"Zeta");
    std::vector<WideString> names;
    for (const auto& node : tree.Themes[0].Templates) names.push_back(node.FileName);
    EXPECT_EQ(names, (std::vector<WideString>{u"A.swf", u"b.swf", u"plain.swf"}));
    const TEffectTemplateNode& first = tree.Themes[0].Templates[0];
    EXPECT_EQ(first.Effect->ThemeName, u"alpha");
    EXPECT_EQ(first.Effect->TemplateName, u"A.swf");
    EXPECT_EQ(first.Effect->ParamCount(), 1);
    EXPECT_EQ(tree.Themes[0].Templates[2].Effect->ParamCount(), 0);  // no declaration: no parameters
    EXPECT_TRUE(tree.Themes[1].Templates.empty());
    ASSERT_EQ(problems.size(), 5u);  // broken, cut, notes, sub, readme
    EXPECT_NE(problems[0].find(u"broken.swf"), WideString::npos);
    EXPECT_NE(problems[4].find(u"readme.txt"), WideString::npos);

    EXPECT_EQ(tree.Find(u"ALPHA", u"a.SWF"), &tree.Themes[0].Templates[0]);
    EXPECT_EQ(tree.Find(u"Zeta", u"b.swf"), nullptr);
    EXPECT_EQ(ScanEffectFolder(ekText, tree), 0);  // a missing folder is an empty tree
    EXPECT_TRUE(tree.Themes.empty());
}

// Where the code of a file's first script starts: after its first record
// (the constant pool of a compiled script).
size_t FirstScriptCode(const std::string& path) {
    TSWFStreamReader reader(path);
    reader.ParseTags(false, false);
    const int64_t header = reader.LoadedFileBytes - reader.GetBodyStream().GetSize();
    for (size_t t = 0; t < reader.TagCount(); ++t) {
        const TSWFTagInfo& info = reader.GetTagInfo(t);
        if (info.TagCode != 12) continue;
        const uint8_t* script = reader.GetBodyStream().Memory() + info.Offset + (info.LongHeader ? 6 : 2);
        size_t first = script[0] >= 0x80 ? 3 + size_t(script[1] | script[2] << 8) : 1;
        return size_t(header + info.Offset + (info.LongHeader ? 6 : 2)) + first;
    }
    ADD_FAILURE() << path << " has no script";
    return 0;
}

// A template cut short or with bytes of its script overwritten is found
// damaged by the scan and by the builders, which name the file; the whole
// template next to them passes both.
TEST_F(Templates, DamagedTemplatesAreRefusedNamingTheFile) {
    TKitTemplate kit = Declaring("<ParamsDefine><Bg.BgColor type=\"color\" default=\"0x102030\"/></ParamsDefine>");
    kit.Script = "var shown = 0;\nthis.onEnterFrame = function () { shown = shown + 1; };\n";
    const std::string whole = Kit("preloader/Whole.swf", kit);
    std::ifstream in(whole, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t code = FirstScriptCode(whole);
    ASSERT_GT(code, 0u);
    ASSERT_LT(code + 16, bytes.size());
    struct TCase {
        const char* name;
        std::string bytes;
        const char* says;
    };
    std::string overwritten = bytes, pushed = bytes;
    overwritten.replace(code, 16, std::string(16, '\xFF'));
    // A push of two bytes whose integer takes four.
    pushed.replace(code, 16, std::string("\x96\x02\x00\x07\x01\x00\x00\x00", 8) + std::string(8, '\x00'));
    const TCase cases[] = {
        {"Cut.swf", bytes.substr(0, bytes.size() * 6 / 10), "file length"},
        {"Overwritten.swf", overwritten, "declares 65535 bytes"},
        {"Pushed.swf", pushed, "run past"},
    };
    for (const TCase& c : cases) WriteProgramFile(std::string("preloader/") + c.name, c.bytes);

    std::vector<TPreloaderItem> list;
    TScanProblems problems;
    LoadPreloaderList(list, &problems);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].FileName, u"Whole.swf");
    ASSERT_EQ(problems.size(), 3u);
    ProjectRecord project;
    project.Width = 200;
    project.Height = 100;
    project.PreloaderOn = true;
    project.PreloaderEffect = list[0].Effect.get();
    project.PreloaderName = u"Whole.swf";
    EXPECT_NE(BuildPreloaderMovie(project), nullptr);
    for (size_t i = 0; i < 3; ++i) {
        const TCase& c = cases[i];
        SCOPED_TRACE(c.name);
        const std::string path = programFolder_ + "preloader/" + c.name;
        const std::string noted = UcSystem::WideToUtf8(problems[i]);
        EXPECT_NE(noted.find("\"" + path + "\" is damaged: "), std::string::npos) << noted;
        EXPECT_NE(noted.find(c.says), std::string::npos) << noted;
        project.PreloaderName = UcSystem::Utf8ToWide(c.name);
        try {
            BuildPreloaderMovie(project);
            ADD_FAILURE() << "built";
        } catch (const Exception& e) {
            EXPECT_EQ(std::string(e.what()), noted.substr(noted.find("The effect template"))) << e.what();
        }
    }
}

TEST_F(Templates, StartUpScanFillsThePreloaderListAndItsColours) {
    Kit("preloader/ring.swf", Declaring("<ParamsDefine><bg.color type=\"color\" default=\"0x102030\"/>"
                                         "<Bg.BgColor type=\"COLOR\" default=\"0xA0B0C0\"/>"
                                         "<Bg.Other type=\"color\" default=\"0xFFFFFF\"/></ParamsDefine>"));
    Kit("preloader/Bar.swf", Declaring("<ParamsDefine><Bg.Color type=\"color\" default=\"0x0000FF\"/></ParamsDefine>"));
    Kit("text/Basic/fade.swf", Declaring("<ParamsDefine/>"));
    Kit("image/Basic/zoom.swf", Declaring("<ParamsDefine/>"));
    TProjectState state;
    EXPECT_EQ(ScanTemplates(state), 2);
    ASSERT_EQ(state.CmbPreLoader.size(), 2u);
    EXPECT_EQ(state.CmbPreLoader[0].FileName, u"Bar.swf");
    EXPECT_EQ(state.CmbPreLoader[0].Effect->TemplateName, u"Bar.swf");
    EXPECT_EQ(state.CmbPreLoaderIndex, 0);
    EXPECT_EQ(state.ColorPl, RGBColor(0, 0, 0xFF));
    ApplyPreloaderColors(state, *state.CmbPreLoader[1].Effect);
    EXPECT_EQ(state.ColorPl, RGBColor(0x10, 0x20, 0x30));
    EXPECT_EQ(state.ColorPlBg, RGBColor(0xA0, 0xB0, 0xC0));
    ASSERT_NE(state.TreeTextEffect.First(), nullptr);
    EXPECT_EQ(state.TreeTextEffect.First()->FileName, u"fade.swf");
}

TEST_F(Templates, KitPlaceholdersAreFoundByName) {
    TKitTemplate kit = Declaring("<ParamsDefine><Img.EffectName type=\"const\" default=\"zoom\"/></ParamsDefine>");
    kit.PictureStem = "zoom";
    kit.PictureParams = {"Bg.Picture"};
    TSWFStreamReader reader(Kit("image/Basic/zoom.swf", kit));
    reader.ParseTags(true, true);
    struct {
        const char* name;
        uint16_t code;
    } placeholders[] = {{"zoom_Image", 21}, {"zoom_ImageMovie", 39}, {"Bg.Picture_Image", 21}, {"Bg.Picture", 39}};
    for (const auto& p : placeholders) {
        TSWFObject* found = reader.FindObjectByName(p.name);
        ASSERT_NE(found, nullptr) << p.name;
        EXPECT_EQ(found->TagCode, p.code) << p.name;
    }
}

TEST(TemplateParams, SelectionChoices) {
    struct {
        WideString text;
        std::vector<WideString> choices;
    } cases[] = {
        {u"one;two;three", {u"one", u"two", u"three"}},
        {u"one;;three", {u"one", u"", u"three"}},
        {u"one;two;", {u"one", u"two"}},
        {u";", {u""}},
        {u"", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(SelectionChoices(c.text), c.choices) << UcSystem::WideToUtf8(c.text);
}

}  // namespace
