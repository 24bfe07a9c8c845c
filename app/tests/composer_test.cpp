// The composer and publishing without a player: fonts carry exactly the
// characters used, long gaps become several frame runs, a failed
// composition leaves the old file, and the embed code and publish options.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <fstream>
#include <set>

#include "app/composer.h"
#include "app/publish.h"
#include "app/tests/app_fixture.h"
#include "app/tests/kit/template_kit.h"
#include "movie/flash_movie.h"
#include "swf/control_tags.h"
#include "swf/font_tags.h"
#include "swf/reader.h"
#include "swf/tag_codes.h"

namespace {

std::string U8(const WideString& text) { return UcSystem::WideToUtf8(text); }

class Composer : public AppFixture {
protected:
    void SetUp() override {
        AppFixture::SetUp();
        std::filesystem::create_directories(programFolder_ + "text/kit");
        WriteKitTemplate(programFolder_ + "text/kit/stage.swf", {});
        project_.Width = 320;
        project_.Height = 240;
        project_.FrameRate = 24;
        project_.OneByOne = false;
    }

    StageRecord& AddStage(const WideString& formatted, float enter = 0) {
        auto stage = std::make_unique<StageRecord>();
        stage->Effect = std::make_unique<EffectRecord>();
        stage->Effect->ThemeName = u"kit";
        stage->Effect->TemplateName = u"stage.swf";
        stage->FormattedText = formatted;
        stage->EnterTime = enter;
        stages_.push_back(std::move(stage));
        project_.Stages.push_back(stages_.back().get());
        return *stages_.back();
    }

    std::unique_ptr<TSWFStreamReader> Read(const std::string& path) {
        auto reader = std::make_unique<TSWFStreamReader>(path);
        reader->ParseTags(true, false);
        return reader;
    }

    ProjectRecord project_;
    std::vector<std::unique_ptr<StageRecord>> stages_;
};

TEST_F(Composer, EachStyleFontHoldsExactlyItsCharacters) {
    FontStyleRecord plain, bold, unused;
    plain.Name = u"default";
    bold.Name = u"Heading";
    bold.Bold = true;
    unused.Name = u"spare";
    project_.FontStyles = {&plain, &bold, &unused};
    AddStage(u"<Txt.StrFormatedText><Txt.StrLine><StrText format=\"default\">abba</StrText>"
             u"<StrText format=\"HEADING\">Zé</StrText></Txt.StrLine><Txt.StrLine></Txt.StrLine>"
             u"<Txt.StrLine><StrText format=\"default\">c&amp;</StrText></Txt.StrLine></Txt.StrFormatedText>");
    std::string path = root_ + "/fonts.swf";
    ComposeMovie(project_, UcSystem::Utf8ToWide(path));

    auto reader = Read(path);
    std::map<uint16_t, std::set<uint16_t>> glyphs;
    std::map<std::string, uint16_t> exports;
    for (size_t i = 0; i < reader->TagCount(); ++i) {
        TSWFTagInfo& info = reader->GetTagInfo(i);
        if (auto* font = dynamic_cast<TSWFDefineFont2*>(info.Object))
            glyphs[font->FontId] = std::set<uint16_t>(font->CodeTable.begin(), font->CodeTable.end());
        if (info.TagCode == TagCodes::ExportAssets)
            for (const TSWFAssetEntry& asset : static_cast<TSWFExportAssets*>(info.Object)->Assets)
                exports[asset.Name] = asset.Id;
    }
    ASSERT_EQ(exports.size(), 3u);
    EXPECT_EQ(glyphs[exports["default"]], (std::set<uint16_t>{'a', 'b', 'c', '&'}));
    EXPECT_EQ(glyphs[exports["Heading"]], (std::set<uint16_t>{'Z', u'é'}));
    EXPECT_TRUE(glyphs.count(exports["spare"]) && glyphs[exports["spare"]].empty());
}

TEST_F(Composer, LongGapsBecomeSeveralFrameRuns) {
    project_.FrameRate = 100;
    AddStage(u"<Txt.StrFormatedText/>", 0);
    AddStage(u"<Txt.StrFormatedText/>", 700.0f);  // 70000 frames later
    std::unique_ptr<TFlashMovie> movie = ComposeProjectMovie(project_);
    std::string path = root_ + "/long.swf";
    movie->SaveToFile(path);
    auto reader = Read(path);
    size_t frames = 0;
    for (size_t i = 0; i < reader->TagCount(); ++i)
        if (reader->GetTagInfo(i).TagCode == TagCodes::ShowFrame) ++frames;
    // Start, loop start, 70000 stage frames, the last stage frame, the end.
    EXPECT_EQ(frames, 2u + 70000u + 2u);
}

TEST_F(Composer, AFailedCompositionLeavesTheOldFile) {
    std::string path = root_ + "/out.swf";
    std::ofstream(path) << "old movie";
    AddStage(u"<Txt.StrFormatedText/>").Effect->TemplateName = u"missing.swf";
    try {
        ComposeMovie(project_, UcSystem::Utf8ToWide(path));
        FAIL() << "no error";
    } catch (const std::exception& e) {
        EXPECT_NE(std::string(e.what()).find("missing.swf"), std::string::npos) << e.what();
    }
    std::ifstream in(path);
    std::string kept((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(kept, "old movie");

    // A formatted text that is no XML stops it as well.
    stages_.back()->Effect->TemplateName = u"stage.swf";
    FontStyleRecord style;
    style.Name = u"default";
    project_.FontStyles = {&style};
    stages_.back()->FormattedText = u"<Txt.StrFormatedText><unclosed>";
    EXPECT_THROW(ComposeMovie(project_, UcSystem::Utf8ToWide(path)), std::exception);
    std::ifstream again(path);
    std::string still((std::istreambuf_iterator<char>(again)), std::istreambuf_iterator<char>());
    EXPECT_EQ(still, "old movie");
}

// Each failure says what is wrong and where: the stage by its place in the
// list, the preloader's parameter by name, the chosen file (never the
// temporary beside it) with the reason.
TEST_F(Composer, FailuresNameWhatIsWrong) {
    std::filesystem::create_directories(programFolder_ + "preloader");
    WriteKitTemplate(programFolder_ + "preloader/Bar.swf", {});
    FontStyleRecord style;
    style.Name = u"default";
    project_.FontStyles = {&style};
    AddStage(u"<Txt.StrFormatedText/>");
    EffectRecord preloader;
    preloader.TemplateName = u"Bar.swf";
    TEffectParam colour = StringParam(u"Bg.BgColor", u"not-a-colour");
    colour.Type = u"color";
    preloader.Params = {colour};
    const std::string target = root_ + "/no such folder/movie.swf";
    struct TCase {
        const char* name;
        std::function<void()> set;
        std::vector<std::string> said;
    };
    std::vector<TCase> cases = {
        {"stage text", [&] { AddStage(u"<Txt.StrFormatedText><Line></Txt.StrFormatedText>"); },
         {"stage 2", "not well-formed", "XML error"}},
        {"preloader colour",
         [&] {
             stages_.back()->FormattedText = u"<Txt.StrFormatedText/>";
             project_.PreloaderOn = true;
             project_.PreloaderName = u"Bar.swf";
             project_.PreloaderEffect = &preloader;
         },
         {"Bar.swf", "Bg.BgColor", "\"not-a-colour\" is not a colour"}},
        {"target", [&] { project_.PreloaderOn = false; }, {"\"" + target + "\"", "No such file or directory"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        c.set();
        try {
            ComposeMovie(project_, UcSystem::Utf8ToWide(target));
            ADD_FAILURE() << "no error";
        } catch (const std::exception& e) {
            const std::string message = e.what();
            for (const std::string& part : c.said) EXPECT_NE(message.find(part), std::string::npos) << message;
            EXPECT_EQ(message.find(".tmp"), std::string::npos) << message;
        }
    }
}

// Text in a style whose font lacks its characters would show as empty
// boxes: the composition warns, naming the style and the characters once
// each, and the movie is still made. Characters the font has give no word.
TEST_F(Composer, StyleFontLackingCharactersIsWarnedOf) {
    FontStyleRecord latin, title;
    latin.Name = u"Body";
    latin.FontName = u"DejaVu Sans";
    title.Name = u"Title";
    title.FontName = u"DejaVu Serif";
    project_.FontStyles = {&latin, &title};
    AddStage(u"<Txt.StrFormatedText><Line><StrText format=\"body\">Hi \u6F22\u5B57 \u6F22!</StrText>"
             u"<StrText format=\"Title\">Caf\u00E9</StrText></Line></Txt.StrFormatedText>");
    std::vector<WideString> warnings;
    TComposeOptions options;
    options.OnWarning = [&](const WideString& warning) { warnings.push_back(warning); };
    const std::string path = root_ + "/fonts.swf";
    ComposeMovie(project_, UcSystem::Utf8ToWide(path), options);
    EXPECT_TRUE(std::filesystem::exists(path));
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(U8(warnings[0]), "The font style \"Body\" (DejaVu Sans) has no glyphs for \"\u6F22\u5B57\": they show as "
                               "empty boxes.");

    // The snapshot's own warnings come first, through the same channel.
    project_.Warnings = {u"The background sound file \"gone.mp3\" is missing: the movie has no sound."};
    warnings.clear();
    ComposeMovie(project_, UcSystem::Utf8ToWide(path), options);
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_EQ(warnings[0], project_.Warnings[0]);
}

TEST(Publish, EmbedCodeHasTheLinesOfItsKind) {
    const std::string q = "\"";
    std::vector<std::string> lines = {
        "<object classid=\"clsid:D27CDB6E-AE6D-11cf-96B8-444553540000\" codebase=\"",
        "  <param name=\"movie\" value=\"intro.swf\" />",
        "  <param name=\"quality\" value=\"high\" />",
        "  <param name=\"wmode\" value=\"transparent\">",
        "     <embed src=\"intro.swf\"",
        "      quality=\"high\"",
        "      type=\"application/x-shockwave-flash\"",
        "      WMODE=\"transparent\"",
        "      width=\"468\"",
        "      height=\"60\"",
        "      pluginspage=\"",
        "</object>",
    };
    for (bool transparent : {true, false}) {
        std::string html = U8(MakeEmbedHtml(u"intro.swf", transparent, 468, 60));
        std::vector<std::string> got;
        for (size_t at = 0, cut;; at = cut + 2) {
            cut = html.find("\r\n", at);
            got.push_back(html.substr(at, cut == std::string::npos ? std::string::npos : cut - at));
            if (cut == std::string::npos) break;
        }
        std::vector<std::string> want = lines;
        if (!transparent) {
            want.erase(want.begin() + 7);
            want.erase(want.begin() + 3);
        }
        ASSERT_EQ(got.size(), want.size()) << html;
        for (size_t i = 0; i < got.size(); ++i) EXPECT_TRUE(got[i].starts_with(want[i])) << got[i];
        EXPECT_TRUE(got[0].ends_with("/pub/shockwave/cabs/flash/swflash.cab#version=8,0,0,0\" width=\"468\" height=\"60\">"));
        EXPECT_TRUE(got[got.size() - 2].ends_with("/go/getflashplayer\" />"));
        EXPECT_EQ(html.find('\n', html.size() - 1), std::string::npos);
    }
}

// Python's HTML parser and URL splitter read the addresses back: each names
// the whole file, with nothing taken for a fragment, a query or the end of
// an attribute.
TEST_F(Composer, EmbedCodeNamesAnyFileWhole) {
    const std::string name = "Summer sale #2 \"50% off\" & more?\xC3\xA9.swf";
    const std::string page = root_ + "/page.html";
    std::ofstream(page, std::ios::binary) << U8(MakeEmbedHtml(UcSystem::Utf8ToWide(name), true, 100, 50));
    std::vector<std::string> found = RunPython(
        "import html.parser, urllib.parse\n"
        "class P(html.parser.HTMLParser):\n"
        "    def handle_starttag(self, tag, attrs):\n"
        "        a = dict(attrs)\n"
        "        url = a.get('src') if tag == 'embed' else a.get('value') if a.get('name') == 'movie' else None\n"
        "        if url is None: return\n"
        "        parts = urllib.parse.urlsplit(url)\n"
        "        print(tag, urllib.parse.unquote(parts.path), repr(parts.fragment + parts.query))\n"
        "P().feed(open(sys.argv[1], encoding='utf-8').read())\n",
        page);
    EXPECT_EQ(found, (std::vector<std::string>{"param " + name + " ''", "embed " + name + " ''"}));
}

TEST(Publish, OptionsKeepTheirRangesAndEnablingRules) {
    TPublishOptions options;
    EXPECT_EQ(options.FrameRate(), 24);
    EXPECT_FALSE(options.FrameRateEnabled());
    EXPECT_FALSE(options.LoopChoiceEnabled());
    options.Kind = pkAVI;
    EXPECT_TRUE(options.FrameRateEnabled());
    EXPECT_FALSE(options.LoopChoiceEnabled());
    options.Kind = pkGIF;
    EXPECT_TRUE(options.LoopChoiceEnabled());
    EXPECT_FALSE(options.LoopCountEnabled());
    EXPECT_EQ(options.GifLoopCount(), 0);
    options.LoopForever = false;
    options.SetLoopCount(3);
    EXPECT_TRUE(options.LoopCountEnabled());
    EXPECT_EQ(options.GifLoopCount(), 3);
    options.SetFrameRate(0);
    EXPECT_EQ(options.FrameRate(), 1);
    options.SetLoopCount(500);
    EXPECT_EQ(options.LoopCount(), 100);
    EXPECT_EQ(U8(PublishSaveDialog(pkGIF).Filter), "GIF image(*.gif)|*.gif");
    EXPECT_EQ(U8(PublishSaveDialog(pkAVI).DefaultExt), "avi");
    EXPECT_EQ(U8(PublishSaveDialog(pkSWF).Filter), "Flash movie(*.swf)|*.swf");
}

TEST_F(Composer, CaptureJobPlaysOnceWithItsMarker) {
    project_.LoopLimited = false;
    project_.BgKind = bkTransparent;
    AddStage(u"<Txt.StrFormatedText/>");
    TPublishOptions options;
    options.Kind = pkGIF;
    options.SetFrameRate(12);
    TCaptureJob job = PrepareCapture(project_, options, u"/somewhere/out.gif");
    EXPECT_TRUE(job.Transparent);
    EXPECT_EQ(job.FramesPerSecond, 12);
    EXPECT_EQ(job.StageCount, 1);
    EXPECT_EQ(job.GifLoopCount, 0);
    std::string movie = U8(job.MoviePath);
    ASSERT_TRUE(std::filesystem::exists(movie));
    EXPECT_TRUE(movie.ends_with("/preview.swf"));
    std::ifstream in(movie, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(bytes.find("FSCommand:" + kEndFrameCommand), std::string::npos);
    EXPECT_NE(bytes.find("g_loopcount"), std::string::npos);
}

}  // namespace
