// The shipped picture templates in composed movies played by the real
// player: each shows the user's picture where the picture builder placed
// it, three timed stages of it run to the movie's end, and the player logs
// no script trouble; a stretched picture covers the movie and a turned one
// stands as the builder turned it; Wipe, Slide and Ken Burns go the way the
// user picks; a template played alone shows its placeholder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/composer.h"
#include "app/templates.h"
#include "app/tests/app_fixture.h"
#include "app/tests/capture_test_support.h"
#include "content/tests/content_test_support.h"
#include "platform/player/player_test_support.h"

namespace {

struct TPictureTemplate {
    const char* theme;
    const char* file;
};

const TPictureTemplate kTemplates[] = {
    {"Basic", "Fade.swf"},   {"Basic", "Zoom.swf"},  {"Basic", "Wipe.swf"},
    {"Motion", "Slide.swf"}, {"Motion", "Spin.swf"}, {"Motion", "Ken Burns.swf"},
};

// The colour of the test pictures and of the movie's background.
const TPlayerPixel kPictureColor{0x20, 0x80, 0xE0, 255};
const TColor kBackground = RGBColor(255, 255, 255);

bool Near(TPlayerPixel a, TPlayerPixel b, int tolerance = 16) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance;
}

std::string Text(TPlayerPixel p) {
    return "(" + std::to_string(p.r) + ", " + std::to_string(p.g) + ", " + std::to_string(p.b) + ")";
}

// What a composed movie did in the player up to its end marker.
using TRun = TPlayedToEnd;

class PictureTemplatesInThePlayer : public AppFixture {
protected:
    void SetUp() override {
        AppFixture::SetUp();
        SetProgramFolder(UcSystem::Utf8ToWide(TW_PROGRAM_DIR "/"));
        ScanEffectFolder(ekImage, tree_);
        project_.FrameRate = 24;
        project_.BgKind = bkSolid;
        project_.SolidColor = kBackground;
        project_.OneByOne = false;
    }

    // A picture made by ffmpeg from its input arguments (kept between runs).
    static std::string Fixture(const std::string& name, const std::string& input) {
        const std::string folder = std::string(TW_FIXTURE_DIR) + "/pictures";
        std::filesystem::create_directories(folder);
        return MakeFixture(folder + "/" + name, "ffmpeg -v error " + input + " -frames:v 1 -y {out}");
    }

    // A picture of the test colour.
    static std::string Picture(int width, int height, const std::string& extension) {
        const std::string size = std::to_string(width) + "x" + std::to_string(height);
        return Fixture("blue" + size + "." + extension, "-f lavfi -i color=c=0x2080E0:s=" + size);
    }

    // A picture stage with a copy of the shipped template's record, as the
    // application makes one when the user picks the template.
    StageRecord& AddStage(const TPictureTemplate& t, const std::string& picture, float enter) {
        const TEffectTemplateNode* node =
            tree_.Find(UcSystem::Utf8ToWide(t.theme), UcSystem::Utf8ToWide(t.file));
        if (node == nullptr) throw std::runtime_error(std::string("not shipped: ") + t.theme + "/" + t.file);
        auto stage = std::make_unique<StageRecord>();
        stage->PictureStage = true;
        stage->PictureFile = UcSystem::Utf8ToWide(picture);
        stage->Effect = std::make_unique<EffectRecord>(*node->Effect);
        stage->EnterTime = enter;
        stage->Duration = 1.0f;
        stages_.push_back(std::move(stage));
        project_.Stages.push_back(stages_.back().get());
        return *stages_.back();
    }

    // Composes the project and plays it frame by frame until the end
    // marker arrives or cap frames have run, keeping the frames asked for.
    TRun PlayToEnd(int cap, const std::vector<int>& keep) {
        return PlayToEndMarker(project_, root_ + "/movie.swf", cap, keep);
    }

    TEffectTree tree_;
    ProjectRecord project_;
    std::vector<std::unique_ptr<StageRecord>> stages_;
};

// Three stages entering at 0, 0.5 and 1 s, a second each: the movie's first
// stage frame is its third, so the last stage enters at frame 27 and, with
// entrances and exits of under a second, every stage has counted down well
// before frame 100. Frame 26 comes after the first stage's entrance: its
// picture stands in the middle, the corner keeps the background.
TEST_F(PictureTemplatesInThePlayer, ThreeTimedStagesShowThePictureAndReachTheEnd) {
    TW_REQUIRE_PLAYER();
    TW_REQUIRE_TOOL("ffmpeg");
    const std::string picture = Picture(48, 36, "jpg");
    ASSERT_FALSE(picture.empty());
    project_.Width = 160;
    project_.Height = 120;
    for (const TPictureTemplate& t : kTemplates) {
        SCOPED_TRACE(std::string(t.theme) + "/" + t.file);
        stages_.clear();
        project_.Stages.clear();
        for (float enter : {0.0f, 0.5f, 1.0f}) AddStage(t, picture, enter);
        TRun run = PlayToEnd(160, {26});
        EXPECT_TRUE(run.ended) << "no end-frame marker after " << run.frames << " frames";
        ASSERT_EQ(run.kept.count(26), 1u);
        const TPlayerPixel middle = Pixel(run.kept[26], 80, 60), corner = Pixel(run.kept[26], 4, 4);
        EXPECT_TRUE(Near(middle, kPictureColor)) << "middle " << Text(middle);
        EXPECT_TRUE(Near(corner, TPlayerPixel{255, 255, 255, 255})) << "corner " << Text(corner);
        EXPECT_TRUE(run.log.empty()) << run.log.front();
    }
}

// A small square picture stretched over a wide movie covers it to the
// corners, at the stage's opacity over the white background. As a static
// stage it stays for good and does not hold the movie back: a timed stage
// beside it still lets the movie reach its end, with the picture still there.
TEST_F(PictureTemplatesInThePlayer, StretchedStaticPictureCoversTheMovieToTheEnd) {
    TW_REQUIRE_PLAYER();
    TW_REQUIRE_TOOL("ffmpeg");
    const std::string square = Picture(30, 30, "png"), small = Picture(20, 10, "jpg");
    ASSERT_FALSE(square.empty());
    ASSERT_FALSE(small.empty());
    project_.Width = 160;
    project_.Height = 60;
    StageRecord& stage = AddStage(kTemplates[5], square, 0);
    stage.PlacementMode = pmStretch;
    stage.Alpha = 50;
    stage.StaticStage = true;
    AddStage(kTemplates[0], small, 0).Duration = 0.5f;
    TRun run = PlayToEnd(120, {20});
    EXPECT_TRUE(run.ended) << "no end-frame marker after " << run.frames << " frames";
    ASSERT_EQ(run.kept.count(20), 1u);
    const TPlayerPixel half{uint8_t((kPictureColor.r + 255) / 2), uint8_t((kPictureColor.g + 255) / 2),
                            uint8_t((kPictureColor.b + 255) / 2), 255};
    for (const TPlayerFrame* frame : {&run.kept[20], &run.last}) {
        for (auto [x, y] : {std::pair{1, 1}, {158, 1}, {1, 58}, {158, 58}, {40, 30}}) {
            const TPlayerPixel p = Pixel(*frame, x, y);
            EXPECT_TRUE(Near(p, half)) << "frame " << frame->number << " at " << x << ", " << y << ": " << Text(p);
        }
    }
    EXPECT_TRUE(run.log.empty()) << run.log.front();
}

// The directions a user picks for Wipe and Slide, halfway through a linear
// entrance of 10 frames (frame 8: the stage enters in frame 3): the picture
// (x 40..120, y 40..80) shows on the side the wipe starts from, or stands
// between the edge it comes from and its place.
TEST_F(PictureTemplatesInThePlayer, WipeAndSlideGoTheChosenWay) {
    TW_REQUIRE_PLAYER();
    TW_REQUIRE_TOOL("ffmpeg");
    const std::string picture = Picture(80, 40, "jpg");
    ASSERT_FALSE(picture.empty());
    project_.Width = 160;
    project_.Height = 120;
    struct TCase {
        const TPictureTemplate& tpl;
        const char16_t* param;
        const char16_t* choice;
        std::pair<int, int> shows, clear;
    };
    const TCase cases[] = {
        {kTemplates[2], u"Img.WipeIn", u"Left to right", {50, 60}, {110, 60}},
        {kTemplates[2], u"Img.WipeIn", u"Right to left", {110, 60}, {50, 60}},
        {kTemplates[2], u"Img.WipeIn", u"Top to bottom", {80, 45}, {80, 75}},
        {kTemplates[2], u"Img.WipeIn", u"Bottom to top", {80, 75}, {80, 45}},
        {kTemplates[2], u"Img.WipeIn", u"From the centre", {80, 60}, {45, 45}},
        {kTemplates[3], u"Img.SlideIn", u"Left", {30, 60}, {110, 60}},
        {kTemplates[3], u"Img.SlideIn", u"Right", {130, 60}, {50, 60}},
        {kTemplates[3], u"Img.SlideIn", u"Top", {80, 20}, {80, 75}},
        {kTemplates[3], u"Img.SlideIn", u"Bottom", {80, 100}, {80, 45}},
    };
    const TPlayerPixel white{255, 255, 255, 255};
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::string(c.tpl.file) + " " + UcSystem::WideToUtf8(c.choice));
        stages_.clear();
        project_.Stages.clear();
        StageRecord& stage = AddStage(c.tpl, picture, 0);
        TEffectParam* direction = FindParam(*stage.Effect, c.param);
        ASSERT_NE(direction, nullptr);
        const std::vector<WideString> choices = SelectionChoices(direction->Selection);
        ASSERT_NE(std::find(choices.begin(), choices.end(), WideString(c.choice)), choices.end());
        direction->Value = c.choice;
        FindParam(*stage.Effect, u"Img.EnterEase")->Value = u"linear";
        FindParam(*stage.Effect, u"Img.EnterFrames")->Value = u"10";
        TRun run = PlayToEnd(8, {8});
        ASSERT_EQ(run.kept.count(8), 1u);
        const TPlayerPixel shows = Pixel(run.kept[8], c.shows.first, c.shows.second),
                           clear = Pixel(run.kept[8], c.clear.first, c.clear.second);
        EXPECT_TRUE(Near(shows, kPictureColor)) << "picture side " << Text(shows);
        EXPECT_TRUE(Near(clear, white)) << "clear side " << Text(clear);
        EXPECT_TRUE(run.log.empty()) << run.log.front();
    }
}

// Ken Burns pans the view across the picture the chosen way: a picture red
// on its left half and blue on its right, zoomed to twice its size, shows
// red in the middle of its place early on and blue late in a left-to-right
// pan, the other way round right to left.
TEST_F(PictureTemplatesInThePlayer, KenBurnsPansTheChosenWay) {
    TW_REQUIRE_PLAYER();
    TW_REQUIRE_TOOL("ffmpeg");
    const std::string picture = Fixture(
        "redblue80x40.png", "-f lavfi -i color=c=red:s=40x40 -f lavfi -i color=c=blue:s=40x40 -filter_complex hstack");
    ASSERT_FALSE(picture.empty());
    project_.Width = 160;
    project_.Height = 120;
    for (const char16_t* way : {u"Left to right", u"Right to left"}) {
        SCOPED_TRACE(UcSystem::WideToUtf8(way));
        stages_.clear();
        project_.Stages.clear();
        StageRecord& stage = AddStage(kTemplates[5], picture, 0);
        FindParam(*stage.Effect, u"Img.PanDirection")->Value = way;
        FindParam(*stage.Effect, u"Img.ZoomStart")->Value = u"200";
        FindParam(*stage.Effect, u"Img.ZoomEnd")->Value = u"200";
        FindParam(*stage.Effect, u"Img.EnterFrames")->Value = u"1";
        TRun run = PlayToEnd(38, {8, 38});
        ASSERT_EQ(run.kept.size(), 2u);
        const TPlayerPixel early = Pixel(run.kept[8], 80, 60), late = Pixel(run.kept[38], 80, 60);
        const bool leftFirst = WideString(way) == u"Left to right";
        EXPECT_GT(leftFirst ? early.r : early.b, 200) << "early " << Text(early);
        EXPECT_GT(leftFirst ? late.b : late.r, 200) << "late " << Text(late);
        EXPECT_TRUE(run.log.empty()) << run.log.front();
    }
}

// A cut-out picture (the shipped heart, transparent around its outline) is
// never cropped to its rectangle while Ken Burns zooms and pans it: no edge
// of the heart's outline runs straight along a row or a column, as the lobes
// and the tip of a whole heart never do, in any frame of the pan. The frames
// are saved as a contact sheet to look at.
TEST_F(PictureTemplatesInThePlayer, KenBurnsKeepsACutOutWhole) {
    TW_REQUIRE_PLAYER();
    project_.Width = 400;
    project_.Height = 300;
    StageRecord& stage = AddStage(kTemplates[5], std::string(TW_PROGRAM_DIR) + "/clipart/Heart.png", 0);
    stage.Duration = 2.0f;
    // From the end of the entrance to the start of the exit.
    const std::vector<int> keep = FrameNumbers(14, 62, 6);
    TRun run = PlayToEnd(100, keep);
    ASSERT_EQ(run.kept.size(), keep.size());
    std::vector<TPlayerFrame> sheet;
    for (const auto& kept : run.kept) sheet.push_back(kept.second);
    EXPECT_FALSE(SaveContactSheet(sheet, "ken-burns-heart", 3).empty());
    for (auto& [number, frame] : run.kept) {
        SCOPED_TRACE("frame " + std::to_string(number));
        // The heart's reds, not the white ground nor its grey shadow.
        auto red = [&](int x, int y) {
            TPlayerPixel p = Pixel(frame, x, y);
            return p.r > p.g + 60 && p.r > p.b + 30;
        };
        int left = frame.width, right = -1, top = frame.height, bottom = -1;
        for (int y = 0; y < frame.height; ++y)
            for (int x = 0; x < frame.width; ++x)
                if (red(x, y)) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                    top = std::min(top, y);
                    bottom = std::max(bottom, y);
                }
        ASSERT_GT(right - left, 100) << "no heart";
        // The reds on each outermost row and column: a cut edge is a long
        // straight run of them.
        int onLeft = 0, onRight = 0, onTop = 0, onBottom = 0;
        for (int y = top; y <= bottom; ++y) onLeft += red(left, y), onRight += red(right, y);
        for (int x = left; x <= right; ++x) onTop += red(x, top), onBottom += red(x, bottom);
        const int tall = bottom - top + 1, wide = right - left + 1;
        EXPECT_LT(onLeft, tall / 6) << "cut on the left";
        EXPECT_LT(onRight, tall / 6) << "cut on the right";
        EXPECT_LT(onTop, wide / 6) << "cut at the top";
        EXPECT_LT(onBottom, wide / 6) << "cut at the bottom";
    }
    EXPECT_TRUE(run.log.empty()) << run.log.front();
}

// A template played on its own, with no values handed in (as when it is
// looked at by itself), shows its own placeholder in the middle of its
// stage, and its stage still runs without complaint.
TEST_F(PictureTemplatesInThePlayer, TemplateAloneShowsItsPlaceholder) {
    TW_REQUIRE_PLAYER();
    TPlayerHarness& player = TPlayerHarness::Shared();
    for (const TPictureTemplate& t : kTemplates) {
        SCOPED_TRACE(t.file);
        // At half size, which is all the check needs.
        player.Load(std::string(TW_PROGRAM_DIR) + "/image/" + t.theme + "/" + t.file, 200, 150);
        std::vector<TPlayerFrame> frames = player.Step(20);
        ASSERT_EQ(frames.size(), 20u);
        const TPlayerPixel middle = Pixel(frames.back(), 100, 75), corner = Pixel(frames.back(), 2, 2);
        EXPECT_FALSE(Near(middle, corner, 8)) << "middle " << Text(middle) << ", corner " << Text(corner);
        std::vector<std::string> log = player.TakeLog();
        EXPECT_TRUE(log.empty()) << log.front();
    }
}

// "Custom" with a quarter turn: the builder turns the long picture upright
// and puts its corner at (left, top); the template shows it as it is, not
// turned once more (which would lay it flat again). Spin and Ken Burns
// both turn or zoom the picture on their own, and come to rest on the
// builder's placement.
TEST_F(PictureTemplatesInThePlayer, CustomTurnedPictureStandsWhereTheBuilderPutIt) {
    TW_REQUIRE_PLAYER();
    TW_REQUIRE_TOOL("ffmpeg");
    const std::string picture = Picture(60, 20, "jpg");
    ASSERT_FALSE(picture.empty());
    project_.Width = 160;
    project_.Height = 120;
    for (const TPictureTemplate& t : {kTemplates[4], kTemplates[5]}) {
        SCOPED_TRACE(t.file);
        stages_.clear();
        project_.Stages.clear();
        StageRecord& stage = AddStage(t, picture, 0);
        stage.PlacementMode = pmCustom;
        stage.Left = 30;
        stage.Top = 20;
        stage.Rotation = 90;
        TRun run = PlayToEnd(120, {26});
        EXPECT_TRUE(run.ended) << "no end-frame marker after " << run.frames << " frames";
        ASSERT_EQ(run.kept.count(26), 1u);
        // Upright: x 30..50, y 20..80.
        for (auto [x, y] : {std::pair{40, 30}, {40, 50}, {40, 70}}) {
            const TPlayerPixel p = Pixel(run.kept[26], x, y);
            EXPECT_TRUE(Near(p, kPictureColor)) << x << ", " << y << ": " << Text(p);
        }
        for (auto [x, y] : {std::pair{70, 30}, {20, 50}, {40, 90}}) {
            const TPlayerPixel p = Pixel(run.kept[26], x, y);
            EXPECT_TRUE(Near(p, TPlayerPixel{255, 255, 255, 255})) << x << ", " << y << ": " << Text(p);
        }
        EXPECT_TRUE(run.log.empty()) << run.log.front();
    }
}

}  // namespace
