// Every template in the shipped program folder, one case each: the
// application's own scan reads its declaration (unique captions, defaults
// valid for their types, the placeholders its kind needs), a project made
// around it composes, and the real player runs five seconds of that movie
// without a script error or warning and shows pixels that only the template
// can have put there: frames are compared with those of the same project
// without the template.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/app_utils.h"
#include "app/composer.h"
#include "app/templates.h"
#include "content/tests/content_test_support.h"
#include "platform/player/player_test_support.h"
#include "swf/reader.h"

namespace fs = std::filesystem;

namespace {

const std::string kProgramDir = std::string(TW_PROGRAM_DIR) + "/";

// A shipped template: its kind folder, theme (empty for a preloader) and
// file name.
struct TShipped {
    std::string Kind;
    std::string Theme;
    std::string File;

    std::string Path() const { return kProgramDir + Kind + "/" + (Theme.empty() ? "" : Theme + "/") + File; }
};

void PrintTo(const TShipped& t, std::ostream* os) { *os << t.Kind << "/" << t.Theme << "/" << t.File; }

std::vector<TShipped> FindShipped() {
    std::vector<TShipped> found;
    std::error_code error;
    for (const char* kind : {"preloader", "background", "text", "image"}) {
        const fs::path folder = kProgramDir + kind;
        if (!fs::is_directory(folder, error)) continue;
        for (const auto& entry : fs::recursive_directory_iterator(folder)) {
            if (!entry.is_regular_file() || entry.path().extension() != ".swf") continue;
            const fs::path relative = fs::relative(entry.path(), folder);
            TShipped t{kind, relative.has_parent_path() ? relative.parent_path().string() : "",
                       relative.filename().string()};
            found.push_back(t);
        }
    }
    std::sort(found.begin(), found.end(), [](const TShipped& a, const TShipped& b) { return a.Path() < b.Path(); });
    return found;
}

std::string CaseName(const ::testing::TestParamInfo<TShipped>& info) {
    std::string name = info.param.Kind + "_" + info.param.Theme + "_" + fs::path(info.param.File).stem().string();
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

// The movie's size and rate.
constexpr int kWidth = 400;
constexpr int kHeight = 300;
constexpr int kRate = 24;
// The player shows the movie at half its size: every pixel the player hands
// over costs time, and half the size still shows what a template draws.
constexpr int kShownWidth = kWidth / 2;
constexpr int kShownHeight = kHeight / 2;
// Five seconds in steps of four frames each.
constexpr int kFramesPerStep = 4;
constexpr int kSteps = 5 * kRate / kFramesPerStep;
// A frame shows the template when at least this many pixels differ from the
// frame without it.
constexpr int kVisible = 100;

using TFrames = std::vector<TPlayerFrame>;

// A type name as the application compares it: without regard to case.
std::string TypeName(const TEffectParam& p) {
    std::string type = U8(p.Type);
    for (char& c : type) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return type;
}

bool IsInteger(const std::string& text, long& value) {
    const size_t digits = text.starts_with("-") ? 1 : 0;
    if (text.size() <= digits || text.size() > 10) return false;
    for (size_t i = digits; i < text.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
    value = std::stol(text);
    return true;
}

// "0x" and six hexadecimal digits.
bool IsColour(const std::string& text) {
    return text.size() == 8 && text.starts_with("0x") &&
           std::all_of(text.begin() + 2, text.end(), [](unsigned char c) { return std::isxdigit(c) != 0; });
}

class ShippedTemplate : public ::testing::TestWithParam<TShipped> {
protected:
    static void SetUpTestSuite() {
        SetProgramFolder(W(kProgramDir));
        state_ = std::make_unique<TProjectState>();
        ScanTemplates(*state_);
        root_ = std::string(TW_FIXTURE_DIR) + "/catalogue." + std::to_string(getpid());
        fs::remove_all(root_);
        fs::create_directories(root_);
        baselines_ = std::make_unique<std::map<std::string, TFrames>>();
    }

    static void TearDownTestSuite() {
        state_.reset();
        baselines_.reset();
        fs::remove_all(root_);
        SetProgramFolder(u"");
    }

    void SetUp() override { SetProgramFolder(W(kProgramDir)); }

    // The record the scan made of the template; null when it has none.
    static const EffectRecord* Scanned(const TShipped& t) {
        if (t.Kind == "preloader") {
            for (const TPreloaderItem& item : state_->CmbPreLoader)
                if (U8(item.FileName) == t.File) return item.Effect.get();
            return nullptr;
        }
        TEffectTree& tree = t.Kind == "background" ? state_->TreeBg
                            : t.Kind == "text"     ? state_->TreeTextEffect
                                                   : state_->TreeImageEffect;
        const TEffectTemplateNode* node = tree.Find(W(t.Theme), W(t.File));
        return node != nullptr ? node->Effect.get() : nullptr;
    }

    // A picture for picture stages, made by ffmpeg; empty when it cannot be.
    static std::string Picture() {
        fs::create_directories(TW_FIXTURE_DIR);
        return MakeFixture(std::string(TW_FIXTURE_DIR) + "/catalogue-picture.jpg",
                           "ffmpeg -nostdin -v error -f lavfi -i testsrc=size=160x120:rate=1 -frames:v 1 -y {out}");
    }

    // A project of the template's kind around the template, or without it.
    struct TProject {
        ProjectRecord Record;
        FontStyleRecord Style;
        std::unique_ptr<EffectRecord> Effect;
        StageRecord Stage;
    };

    static std::unique_ptr<TProject> MakeProject(const TShipped& t, const EffectRecord* effect) {
        auto p = std::make_unique<TProject>();
        ProjectRecord& r = p->Record;
        r.Width = kWidth;
        r.Height = kHeight;
        r.FrameRate = kRate;
        r.BgKind = bkSolid;
        r.SolidColor = RGBColor(0x80, 0x80, 0x80);
        r.OneByOne = false;
        p->Style.Name = u"default";
        p->Style.Size = 36;
        r.FontStyles = {&p->Style};
        r.FontXml = BuildFontXml(r.FontStyles);
        if (effect == nullptr) return p;
        p->Effect = CopyEffectRecord(*effect);
        p->Effect->ThemeName = W(t.Theme);
        p->Effect->TemplateName = W(t.File);
        if (t.Kind == "preloader") {
            r.PreloaderOn = true;
            r.PreloaderName = W(t.File);
            r.PreloaderEffect = p->Effect.get();
        } else if (t.Kind == "background") {
            r.BgEffectsOn = true;
            r.BgEffects = {p->Effect.get()};
        } else {
            StageRecord& s = p->Stage;
            s.Effect = std::move(p->Effect);
            s.Duration = 2.0f;
            if (t.Kind == "image") {
                s.PictureStage = true;
                s.PictureFile = W(Picture());
            } else {
                s.FormattedText =
                    u"<Txt.StrFormatedText><Txt.StrLine><StrText format=\"default\">Catalogue</StrText></Txt.StrLine>"
                    u"<Txt.StrLine><StrText format=\"default\">check</StrText></Txt.StrLine></Txt.StrFormatedText>";
                s.HorzAdjust = -90;
                s.VertAdjust = -40;
            }
            r.Stages = {&s};
        }
        return p;
    }

    // Runs the composed project for five seconds; a frame after each step,
    // and the player's complaints in log.
    static TFrames Run(const ProjectRecord& project, const std::string& name, std::vector<std::string>& log) {
        const std::string path = root_ + "/" + name + ".swf";
        ComposeMovie(project, W(path));
        return PlaySteps(path, kShownWidth, kShownHeight, kSteps, kFramesPerStep, kRate, log);
    }

    static const TFrames& Baseline(const TShipped& t) {
        auto found = baselines_->find(t.Kind);
        if (found != baselines_->end()) return found->second;
        std::unique_ptr<TProject> project = MakeProject(t, nullptr);
        std::vector<std::string> log;
        TFrames frames = Run(project->Record, "baseline-" + t.Kind, log);
        for (const std::string& line : Complaints(log)) ADD_FAILURE() << "without a template, the player says: " << line;
        return (*baselines_)[t.Kind] = std::move(frames);
    }

    static inline std::unique_ptr<TProjectState> state_;
    static inline std::string root_;
    // The frames of each kind's project without a template.
    static inline std::unique_ptr<std::map<std::string, TFrames>> baselines_;
};

TEST_P(ShippedTemplate, DeclaresComposesAndPlays) {
    const TShipped& t = GetParam();
    // The declaration, as the application reads it.
    ASSERT_TRUE(FindParamsDefine(W(t.Path())).has_value()) << "no declaration";
    const EffectRecord* effect = Scanned(t);
    ASSERT_NE(effect, nullptr) << "the scan did not find it";
    ASSERT_FALSE(effect->Params.empty());
    const std::string prefix = t.Kind == "text" ? "Txt." : t.Kind == "image" ? "Img." : "Bg.";
    std::set<std::string> names, captions;
    std::map<std::string, std::string> types, defaults;
    for (const TEffectParam& p : effect->Params) {
        const std::string name = U8(p.Name), type = TypeName(p);
        const std::string value = U8(p.Default);
        SCOPED_TRACE(name);
        types[name] = type;
        defaults[name] = value;
        EXPECT_TRUE(name.starts_with(prefix));
        EXPECT_TRUE(names.insert(name).second) << "declared twice";
        EXPECT_EQ(p.Value, p.Default);
        if (type != "const") {
            EXPECT_FALSE(p.Caption.empty());
            EXPECT_TRUE(captions.insert(U8(p.Caption)).second) << "caption repeated: " << U8(p.Caption);
        }
        if (type == "integer") {
            long def = 0, min = 0, max = 0;
            ASSERT_TRUE(IsInteger(value, def)) << value;
            ASSERT_TRUE(IsInteger(U8(p.Min), min) && IsInteger(U8(p.Max), max)) << U8(p.Min) << ".." << U8(p.Max);
            EXPECT_LE(min, max);
            EXPECT_TRUE(min <= def && def <= max) << def << " not in " << min << ".." << max;
        } else if (type == "selection") {
            std::vector<WideString> choices = SelectionChoices(p.Selection);
            EXPECT_GE(choices.size(), 2u);
            EXPECT_NE(std::find(choices.begin(), choices.end(), p.Default), choices.end()) << value;
        } else if (type == "color") {
            EXPECT_TRUE(IsColour(value)) << value;
        } else if (type == "bool") {
            EXPECT_TRUE(value == "true" || value == "false") << value;
        }
    }

    // What the kind's builder and the application look up.
    TSWFStreamReader reader(t.Path());
    reader.ParseTags(true, true);
    if (t.Kind == "preloader") {
        EXPECT_EQ(types["Bg.Color"], "color");
        EXPECT_EQ(types["Bg.BgColor"], "color");
    }
    for (const TEffectParam& p : effect->Params) {
        if (TypeName(p) != "imagefile") continue;
        EXPECT_NE(reader.FindObjectByName(U8(p.Name) + "_Image"), nullptr) << U8(p.Name);
        EXPECT_NE(reader.FindObjectByName(U8(p.Name)), nullptr) << U8(p.Name);
    }
    if (t.Kind == "image") {
        ASSERT_EQ(types["Img.EffectName"], "const");
        const std::string stem = defaults["Img.EffectName"];
        ASSERT_FALSE(stem.empty());
        EXPECT_NE(reader.FindObjectByName(stem + "_Image"), nullptr) << stem;
        EXPECT_NE(reader.FindObjectByName(stem + "_ImageMovie"), nullptr) << stem;
    }

    // Five seconds of a project around it in the real player.
    TW_REQUIRE_PLAYER();
    if (t.Kind == "image" && Picture().empty()) TW_SKIP_OR_FAIL() << "ffmpeg could not make the picture";
    const TFrames& baseline = Baseline(t);
    std::unique_ptr<TProject> project = MakeProject(t, effect);
    std::vector<std::string> log;
    TFrames frames;
    ASSERT_NO_THROW(frames = Run(project->Record, CaseName(::testing::TestParamInfo<TShipped>(t, 0)), log));
    for (const std::string& line : Complaints(log)) ADD_FAILURE() << "the player says: " << line;
    ASSERT_EQ(frames.size(), size_t(kSteps));
    ASSERT_EQ(baseline.size(), size_t(kSteps));

    std::vector<int> differing;
    for (int step = 0; step < kSteps; ++step) differing.push_back(DifferingPixels(frames[step], baseline[step]));
    EXPECT_GE(*std::max_element(differing.begin(), differing.end()), kVisible)
        << "the template shows nothing of its own";
    if (t.Kind == "preloader") {
        // Seen from the first frame, and gone once it has let the movie on.
        EXPECT_GE(differing.front(), kVisible);
        EXPECT_LT(differing.back(), kVisible) << "the movie never went on past the preloader";
    }
    if (t.Kind == "background") {
        // Still there at the end, and moving.
        EXPECT_GE(differing.back(), kVisible);
        EXPECT_GE(DifferingPixels(frames[kSteps / 5], frames[kSteps * 4 / 5], 4), kVisible) << "it does not move";
    }
}

std::vector<TShipped> Shipped() { return FindShipped(); }

INSTANTIATE_TEST_SUITE_P(Catalogue, ShippedTemplate, ::testing::ValuesIn(Shipped()), CaseName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(ShippedTemplate);

TEST(Catalogue, TheScanFindsEveryShippedTemplate) {
    // The cases above come from the program folder: without it, they would
    // not run at all.
    std::vector<TShipped> shipped = FindShipped();
    int preloaders = 0, backgrounds = 0;
    for (const TShipped& t : shipped) {
        preloaders += t.Kind == "preloader";
        backgrounds += t.Kind == "background";
    }
    EXPECT_GE(preloaders, 3) << "build the content target first";
    EXPECT_GE(backgrounds, 4);
    SetProgramFolder(W(kProgramDir));
    TProjectState state;
    TScanProblems problems;
    const int entries = ScanTemplates(state, &problems);
    SetProgramFolder(u"");
    for (const WideString& problem : problems) ADD_FAILURE() << "the scan left out " << U8(problem);
    EXPECT_EQ(entries + int(state.CmbPreLoader.size()), int(shipped.size()));
}

}  // namespace
