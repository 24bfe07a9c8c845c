// The shipped text effects, played in composed movies: each one brings a
// timed project of three stages to its end frame, draws its lines in the
// fonts the composer embedded under the styles' names (every style's colour
// shows where the block stands, and the player looks up no device font for
// them), and shows the style's decorations.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/composer.h"
#include "app/templates.h"
#include "app/tests/app_fixture.h"
#include "content/tests/content_test_support.h"
#include "platform/player/player_test_support.h"

namespace {

// Theme and file stem of every shipped text effect.
const std::vector<std::pair<std::string, std::string>> kTextTemplates = {
    {"Basic", "Fade"},       {"Basic", "Fly In"},  {"Basic", "Typewriter"},           {"Dynamic", "Zoom"},
    {"Dynamic", "Rotate"},   {"Dynamic", "Bounce"}, {"Dynamic", "Explode"},         {"Fancy", "Letter by Letter"},
    {"Fancy", "Wave"},       {"Fancy", "Blur"},
};


std::string TextRun(const std::string& style, const std::string& text) {
    return "<StrText format=\"" + style + "\">" + text + "</StrText>";
}
std::string Line(const std::string& runs) { return "<Txt.StrLine>" + runs + "</Txt.StrLine>"; }
std::string Lines(const std::string& lines) { return "<Txt.StrFormatedText>" + lines + "</Txt.StrFormatedText>"; }



struct TColourCount {
    int count = 0;
    int left = 1 << 30, right = -1, top = 1 << 30, bottom = -1;
    double MiddleX() const { return (left + right) / 2.0; }
    double MiddleY() const { return (top + bottom) / 2.0; }
};

// Pixels within 60 of a colour on each channel, and where they lie.
TColourCount CountColour(const TPlayerFrame& frame, int rgb) {
    const int r = (rgb >> 16) & 255, g = (rgb >> 8) & 255, b = rgb & 255;
    TColourCount c;
    for (int y = 0; y < frame.height; ++y)
        for (int x = 0; x < frame.width; ++x) {
            TPlayerPixel p = Pixel(frame, x, y);
            if (std::abs(p.r - r) < 60 && std::abs(p.g - g) < 60 && std::abs(p.b - b) < 60) {
                ++c.count;
                c.left = std::min(c.left, x);
                c.right = std::max(c.right, x);
                c.top = std::min(c.top, y);
                c.bottom = std::max(c.bottom, y);
            }
        }
    return c;
}

class TextTemplatesInThePlayer : public AppFixture {
protected:
    static constexpr int kPlain = 0xFFFF00;
    static constexpr int kBig = 0x00FFFF;

    void SetUp() override {
        AppFixture::SetUp();
        programDir_ = std::string(TW_PROGRAM_DIR) + "/";
        SetProgramFolder(W(programDir_));
        project_.Width = 320;
        project_.Height = 120;
        project_.FrameRate = 24;
        project_.BgKind = bkSolid;
        project_.SolidColor = RGBColor(0, 0, 0);
        plain_.Name = u"plain";
        plain_.FontName = u"DejaVu Sans";
        plain_.Size = 22;
        plain_.FillBeginColor = RGBColor(0xFF, 0xFF, 0x00);
        big_.Name = u"Big";
        big_.FontName = u"DejaVu Serif";
        big_.Size = 32;
        big_.Bold = true;
        big_.FillBeginColor = RGBColor(0x00, 0xFF, 0xFF);
        project_.FontStyles = {&plain_, &big_};
    }

    // A text stage with the template's declared defaults (or, with
    // otherChoices, the last choice of every selection and the other value
    // of every flag), its block centred on the movie for a line about width
    // pixels wide.
    StageRecord& AddStage(const std::pair<std::string, std::string>& which, const std::string& text, float enter,
                          float duration, int width, bool otherChoices = false) {
        auto stage = std::make_unique<StageRecord>();
        std::unique_ptr<EffectRecord> effect;
        const std::string path = programDir_ + "text/" + which.first + "/" + which.second + ".swf";
        EXPECT_TRUE(ReadParamsDefine(W(path), effect)) << path;
        if (!effect) effect = std::make_unique<EffectRecord>();
        if (otherChoices) {
            for (TEffectParam& param : effect->Params) {
                if (param.Type == u"selection") param.Value = SelectionChoices(param.Selection).back();
                if (param.Type == u"bool") param.Value = param.Value == u"true" ? u"false" : u"true";
            }
        }
        effect->ThemeName = W(which.first);
        effect->TemplateName = W(which.second + ".swf");
        stage->Effect = std::move(effect);
        stage->FormattedText = W(text);
        stage->EnterTime = enter;
        stage->Duration = duration;
        stage->HorzAdjust = -width / 2;
        stages_.push_back(std::move(stage));
        project_.Stages.push_back(stages_.back().get());
        return *stages_.back();
    }

    // Composes the project with the end marker and plays it until the marker
    // arrives or maxFrames have run, keeping the frames named in keep.
    TPlayedToEnd Play(int maxFrames, const std::vector<int>& keep = {}) {
        project_.FontXml = BuildFontXml(project_.FontStyles);
        return PlayToEndMarker(project_, root_ + "/movie.swf", maxFrames, keep);
    }

    std::string programDir_;
    ProjectRecord project_;
    FontStyleRecord plain_;
    FontStyleRecord big_;
    std::vector<std::unique_ptr<StageRecord>> stages_;
};

// Three stages entering at 0, 0.5 and 1 s, each standing 1 s: the last one
// enters in frame 2 + 24 and cannot be done before it has stood its 24
// frames; the movie must still reach its end soon after. The stages differ
// in their flags (all lines at once, the exit from the last line, no
// entrance), and the second takes the template's other choices.
TEST_F(TextTemplatesInThePlayer, EveryTemplateEndsATimedProjectOfThreeStages) {
    TW_REQUIRE_PLAYER();
    for (const auto& which : kTextTemplates) {
        SCOPED_TRACE(which.second);
        stages_.clear();
        project_.Stages.clear();
        project_.OneByOne = false;
        AddStage(which, Lines(Line(TextRun("plain", "One"))), 0.0f, 1.0f, 40);
        StageRecord& two =
            AddStage(which, Lines(Line(TextRun("plain", "Two")) + Line(TextRun("Big", "2"))), 0.5f, 1.0f, 40, true);
        two.LinesSyncEnter = true;
        two.LinesSyncLeave = true;
        two.LeaveFromBeginning = false;
        AddStage(which, Lines(Line(TextRun("Big", "Three"))), 1.0f, 1.0f, 90).SkipEnterAction = true;
        TPlayedToEnd outcome = Play(200);
        EXPECT_TRUE(outcome.ended) << "no end marker within 200 frames";
        EXPECT_GT(outcome.frames, 2 + 24 + 24);
        EXPECT_EQ(Complaints(outcome.log), std::vector<std::string>{});
    }
}

// One stage of two lines in two styles (one run naming its style in another
// case), standing long enough to be seen after every template's entrance:
// both colours show, the block stands in
// the middle of the movie (its left edge at the anchor, its middle on the
// movie's middle), and the player looked up no device font for the styles.
TEST_F(TextTemplatesInThePlayer, EveryTemplateDrawsBothStylesWithTheEmbeddedFonts) {
    TW_REQUIRE_PLAYER();
    for (const auto& which : kTextTemplates) {
        SCOPED_TRACE(which.second);
        stages_.clear();
        project_.Stages.clear();
        project_.OneByOne = false;
        const std::string text =
            Lines(Line(TextRun("plain", "Hello ") + TextRun("big", "World")) + Line(TextRun("plain", "again")));
        AddStage(which, text, 0.0f, 3.0f, 150);
        TPlayedToEnd outcome = Play(44, {44});
        ASSERT_EQ(outcome.kept.size(), 1u);
        const TColourCount plain = CountColour(outcome.kept[44], kPlain);
        const TColourCount big = CountColour(outcome.kept[44], kBig);
        EXPECT_GT(plain.count, 60);
        EXPECT_GT(big.count, 60);
        if (plain.count > 0 && big.count > 0) {
            const double middleX = (std::min(plain.left, big.left) + std::max(plain.right, big.right)) / 2.0;
            const double middleY = (std::min(plain.top, big.top) + std::max(plain.bottom, big.bottom)) / 2.0;
            EXPECT_NEAR(middleX, 160, 25);
            EXPECT_NEAR(middleY, 60, 15);
            // "World" follows "Hello " on the first line, "again" is below.
            EXPECT_GT(big.MiddleX(), plain.left + 40);
            EXPECT_GT(plain.bottom, big.bottom);
        }
        EXPECT_EQ(Complaints(outcome.log), std::vector<std::string>{});
    }
}

// Wave's two lines never run into each other: while the letters ride the
// wave, the lowest pixel of the first line stays above the highest of the
// second in every frame, from the entrance through the whole stay. The
// frames are saved as a contact sheet to look at.
TEST_F(TextTemplatesInThePlayer, WaveKeepsItsLinesApart) {
    TW_REQUIRE_PLAYER();
    project_.Height = 160;
    AddStage({"Fancy", "Wave"}, Lines(Line(TextRun("plain", "Waving along")) + Line(TextRun("big", "Second"))), 0.0f,
             2.0f, 150);
    const std::vector<int> keep = FrameNumbers(8, 72, 4);
    TPlayedToEnd outcome = Play(72, keep);
    ASSERT_EQ(outcome.kept.size(), keep.size());
    std::vector<TPlayerFrame> sheet;
    for (const auto& kept : outcome.kept) sheet.push_back(kept.second);
    EXPECT_FALSE(SaveContactSheet(sheet, "wave-two-lines", 4).empty());
    for (auto& [number, frame] : outcome.kept) {
        const TColourCount first = CountColour(frame, kPlain), second = CountColour(frame, kBig);
        if (first.count < 20 || second.count < 20) continue;  // a line not in yet
        EXPECT_LT(first.bottom, second.top) << "frame " << number;
    }
    EXPECT_EQ(Complaints(outcome.log), std::vector<std::string>{});
}

// The log check above is only worth something if the player does complain
// about a font the movie lacks: a field asking for a style nobody embedded.
TEST_F(TextTemplatesInThePlayer, AFontTheMovieLacksShowsInTheLog) {
    TW_REQUIRE_PLAYER();
    const std::string sources = root_ + "/sources";
    std::filesystem::create_directories(sources + "/text/Probe");
    std::filesystem::copy(std::string(TW_CONTENT_DIR) + "/templates/lib", sources + "/lib");
    std::ofstream(sources + "/text/Probe/Probe.as") << R"(ParamsDefine = "<ParamsDefine><Txt.Style type=\"string\" )"
                                                       R"(caption=\"Style\" default=\"nosuchstyle\"/></ParamsDefine>";
#include "lib/core.as"
this.createTextField("t", 10, 0, 0, 200, 100);
t.embedFonts = true;
var f = new TextFormat();
f.font = twText("Txt.Style", "nosuchstyle");
t.setNewTextFormat(f);
t.text = "Hello";
)";
    const std::string command = std::string("'") + TW_BUILD_TEMPLATES + "' '" + sources + "' '" + programFolder_ +
                                "' > '" + root_ + "/build.log' 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    programDir_ = programFolder_;
    SetProgramFolder(W(programDir_));
    AddStage({"Probe", "Probe"}, Lines(Line(TextRun("plain", "Hello"))), 0.0f, 1.0f, 60);
    TPlayedToEnd outcome = Play(5);
    EXPECT_EQ(Complaints(outcome.log),
              std::vector<std::string>{"WARN core/src/library.rs:567 Unknown device font \"nosuchstyle\" "
                                       "(bold: false, italic: false)"});
}

// A style's decorations: a border draws a ring of its colour around the
// glyphs, a linear fill shades them from the begin colour to the end colour
// across the block, and turned, spaced, stretched characters still show.
TEST_F(TextTemplatesInThePlayer, StyleDecorationsShow) {
    TW_REQUIRE_PLAYER();
    plain_.BorderSize = 2;
    plain_.BorderColor = RGBColor(0xFF, 0x00, 0x00);
    plain_.Shadow = true;
    big_.FillKind = fkLinear;
    big_.FillBeginColor = RGBColor(0x00, 0xFF, 0xFF);
    big_.FillEndColor = RGBColor(0xFF, 0x00, 0xFF);
    big_.CharRotation = 20;
    big_.TextSpace = 4;
    big_.WidthScale = 120;
    AddStage({"Basic", "Fade"}, Lines(Line(TextRun("plain", "Ring")) + Line(TextRun("Big", "Shade"))), 0.0f, 3.0f, 200)
        .StaticStage = true;
    TPlayedToEnd outcome = Play(4, {4});
    ASSERT_EQ(outcome.kept.size(), 1u);
    const TPlayerFrame& frame = outcome.kept[4];
    EXPECT_GT(CountColour(frame, 0xFF0000).count, 40) << "border";
    EXPECT_GT(CountColour(frame, kPlain).count, 30) << "glyphs inside the border";
    const TColourCount cyan = CountColour(frame, kBig), magenta = CountColour(frame, 0xFF00FF);
    EXPECT_GT(cyan.count, 20);
    EXPECT_GT(magenta.count, 20);
    if (cyan.count > 0 && magenta.count > 0) {
        EXPECT_LT(cyan.MiddleX(), magenta.MiddleX()) << "shaded left to right";
    }
    EXPECT_EQ(Complaints(outcome.log), std::vector<std::string>{});
}

// A turned block: its left edge stays on the anchor and the line runs along
// the turned axis (90 degrees: downwards), and runs of different sizes sit
// at the bottom of their line when asked.
TEST_F(TextTemplatesInThePlayer, TurnedBlockRunsFromItsAnchor) {
    TW_REQUIRE_PLAYER();
    project_.Height = 240;
    StageRecord& stage =
        AddStage({"Basic", "Fade"}, Lines(Line(TextRun("plain", "Turned") + TextRun("Big", "Y"))), 0.0f, 3.0f, 80);
    stage.StaticStage = true;
    stage.TextRotation = 90;
    stage.LineAlign = 2;
    TPlayedToEnd outcome = Play(4, {4});
    ASSERT_EQ(outcome.kept.size(), 1u);
    const TColourCount plain = CountColour(outcome.kept[4], kPlain), big = CountColour(outcome.kept[4], kBig);
    ASSERT_GT(plain.count, 30);
    ASSERT_GT(big.count, 10);
    // The anchor is (160 - 40, 120); the line runs down from it.
    EXPECT_GT(plain.bottom - plain.top, 2 * (plain.right - plain.left));
    EXPECT_NEAR(plain.top, 120, 8);
    EXPECT_GT(big.top, plain.bottom - 4);
    // Bottom alignment: the small run sits towards the line's bottom, which
    // the turn has put on the left (centred, both middles would meet).
    EXPECT_LT(plain.MiddleX(), big.MiddleX() - 3);
    EXPECT_EQ(Complaints(outcome.log), std::vector<std::string>{});
}

// The exit starts from the first letter or from the last, as the stage
// says: halfway through it, the run that leaves first has lost more of its
// pixels than the other.
TEST_F(TextTemplatesInThePlayer, TheExitStartsWhereTheStageSays) {
    TW_REQUIRE_PLAYER();
    // Letter by Letter: 24 frames in, 24 standing, 18 out; the stage's
    // first frame is the movie's third, so frame 60 is about halfway out.
    std::vector<double> firstKept, lastKept;
    for (bool fromBegin : {true, false}) {
        stages_.clear();
        project_.Stages.clear();
        AddStage({"Fancy", "Letter by Letter"}, Lines(Line(TextRun("plain", "First ") + TextRun("Big", "Last"))),
                 0.0f, 1.0f, 150)
            .LeaveFromBeginning = fromBegin;
        TPlayedToEnd outcome = Play(60, {45, 60});
        ASSERT_EQ(outcome.kept.size(), 2u);
        const double plainAtRest = CountColour(outcome.kept[45], kPlain).count;
        const double bigAtRest = CountColour(outcome.kept[45], kBig).count;
        ASSERT_GT(plainAtRest, 0);
        ASSERT_GT(bigAtRest, 0);
        firstKept.push_back(CountColour(outcome.kept[60], kPlain).count / plainAtRest);
        lastKept.push_back(CountColour(outcome.kept[60], kBig).count / bigAtRest);
    }
    EXPECT_LT(firstKept[0], lastKept[0]) << "from the beginning, the first run goes first";
    EXPECT_GT(firstKept[1], lastKept[1]) << "from the end, the last run goes first";
}

}  // namespace
