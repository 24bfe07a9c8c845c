// The shipped preloaders and background effects in composed movies: a
// preloader shows in the colours the application hands it and holds the
// movie for its minimum time, then lets it go on; a background effect fills
// the whole movie, at an intro's size and at a banner's, with the
// placeholder picture or the user's own.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/app_utils.h"
#include "app/composer.h"
#include "app/templates.h"
#include "content/tests/content_test_support.h"
#include "platform/player/player_test_support.h"
#include "platform/testing/test_support.h"

namespace fs = std::filesystem;

namespace {

const std::string kProgramDir = std::string(TW_PROGRAM_DIR) + "/";

// A colour no template draws: where it shows, the template left the
// project's background uncovered.
constexpr uint32_t kProjectColour = 0x7F3F1F;

class ShippedEffects : public ::testing::Test {
protected:
    void SetUp() override {
        SetProgramFolder(W(kProgramDir));
        root_ = std::string(TW_FIXTURE_DIR) + "/" + ::testing::UnitTest::GetInstance()->current_test_info()->name() +
                "." + std::to_string(getpid());
        fs::remove_all(root_);
        fs::create_directories(root_);
        project_.FrameRate = 24;
        project_.BgKind = bkSolid;
        project_.SolidColor = RGBColor(kProjectColour >> 16, kProjectColour >> 8 & 0xFF, kProjectColour & 0xFF);
        project_.OneByOne = false;
    }

    void TearDown() override {
        fs::remove_all(root_);
        SetProgramFolder(u"");
    }

    // The template's own record with some values changed.
    static std::unique_ptr<EffectRecord> Effect(const std::string& path,
                                                const std::vector<std::pair<std::string, std::string>>& values) {
        std::unique_ptr<EffectRecord> record;
        if (!ReadParamsDefine(W(kProgramDir + path), record)) return nullptr;
        for (const auto& [name, value] : values) {
            TEffectParam* param = FindParam(*record, W(name));
            if (param == nullptr) {
                ADD_FAILURE() << path << " has no parameter " << name;
                continue;
            }
            param->Value = W(value);
        }
        return record;
    }

    std::string Compose(const std::string& name) {
        const std::string path = root_ + "/" + name + ".swf";
        ComposeMovie(project_, W(path));
        return path;
    }

    ProjectRecord project_;
    std::string root_;
};

TEST_F(ShippedEffects, PreloadersShowTheirColoursAndHoldTheMovieForTheirMinimum) {
    TW_REQUIRE_PLAYER();
    struct TCase {
        const char* File;
        int MinFrames;
    };
    const uint32_t foreground = 0xFFFF00, background = 0x2040A0;
    for (const TCase c : {TCase{"Bar.swf", 6}, TCase{"Ring.swf", 30}, TCase{"Dots.swf", 0}}) {
        SCOPED_TRACE(c.File);
        std::unique_ptr<EffectRecord> effect =
            Effect(std::string("preloader/") + c.File,
                   {{"Bg.Color", "0xFFFF00"}, {"Bg.BgColor", "0x2040A0"}, {"Bg.MinFrames", std::to_string(c.MinFrames)}});
        ASSERT_NE(effect, nullptr);
        project_.Width = 400;
        project_.Height = 300;
        project_.PreloaderOn = true;
        project_.PreloaderName = W(c.File);
        project_.PreloaderEffect = effect.get();
        std::vector<std::string> log;
        const int frames = c.MinFrames + 8;
        std::vector<TPlayerFrame> shown =
            PlaySteps(Compose(c.File), 200, 150, frames, 1, project_.FrameRate, log);
        EXPECT_EQ(Complaints(log), std::vector<std::string>{});
        ASSERT_EQ(shown.size(), size_t(frames));
        const int all = 200 * 150;
        // Its background fills the movie from the first frame, and its
        // indicator shows in its colour while it runs.
        EXPECT_GT(PixelsNear(shown[0], background), all * 3 / 4);
        int indicator = 0;
        for (int i = 0; i <= c.MinFrames; ++i) indicator = std::max(indicator, PixelsNear(shown[i], foreground));
        EXPECT_GT(indicator, 20);
        // The movie goes on, to its own background, once the minimum has
        // passed: the frame after the preloader's last lets the main
        // timeline on, which first clears the preloader away.
        int first = 0;
        for (int i = 0; i < frames && first == 0; ++i)
            if (PixelsNear(shown[i], kProjectColour, 6) > all * 9 / 10) first = i + 1;
        EXPECT_GE(first, c.MinFrames + 2);
        EXPECT_LE(first, c.MinFrames + 4);
    }
}

// The movie has no background colour of its own: every frame shows the
// preloader or the project's background, also the frame after the
// preloader and the first frame of a movie without one.
TEST_F(ShippedEffects, EveryFrameShowsThePreloaderOrTheBackground) {
    TW_REQUIRE_PLAYER();
    const uint32_t background = 0x2040A0;
    std::unique_ptr<EffectRecord> bar = Effect("preloader/Bar.swf", {{"Bg.BgColor", "0x2040A0"}, {"Bg.MinFrames", "3"}});
    ASSERT_NE(bar, nullptr);
    project_.Width = 200;
    project_.Height = 100;
    project_.PreloaderName = u"Bar.swf";
    for (bool preloader : {true, false}) {
        SCOPED_TRACE(preloader ? "after the preloader" : "without a preloader");
        project_.PreloaderOn = preloader;
        project_.PreloaderEffect = preloader ? bar.get() : nullptr;
        TPlayedMovie played = TPlayerHarness::Shared().Play(Compose(preloader ? "bar" : "plain"), 10);
        ASSERT_EQ(played.frames.size(), 10u);
        for (size_t i = 0; i < played.frames.size(); ++i) {
            const TPlayerFrame& frame = played.frames[i];
            EXPECT_GT(PixelsNear(frame, background, 6) + PixelsNear(frame, kProjectColour, 6), 200 * 100 * 3 / 4)
                << "frame " << i + 1 << " at (0, 0): " << int(Pixel(frame, 0, 0).r) << ", " << int(Pixel(frame, 0, 0).g)
                << ", " << int(Pixel(frame, 0, 0).b);
        }
    }
}

TEST_F(ShippedEffects, BackgroundsFillTheMovieAtEverySize) {
    TW_REQUIRE_PLAYER();
    fs::create_directories(TW_FIXTURE_DIR);
    const std::string picture =
        MakeFixture(std::string(TW_FIXTURE_DIR) + "/background-picture.jpg",
                    "ffmpeg -nostdin -v error -f lavfi -i testsrc=size=320x180:rate=1 -frames:v 1 -y {out}");
    if (picture.empty()) TW_SKIP_OR_FAIL() << "ffmpeg could not make the picture";
    struct TCase {
        const char* Theme;
        const char* File;
        std::vector<std::pair<std::string, std::string>> Values;
        bool Covers;   // an opaque backdrop over the whole movie
        bool Picture;  // shows the user's picture, not the placeholder
    };
    const TCase cases[] = {
        {"Classic", "Gradient Sweep.swf", {}, true, false},
        {"Classic", "Starfield.swf", {}, true, false},
        {"Classic", "Starfield.swf", {{"Bg.Mode", "Drift"}}, true, false},
        {"Modern", "Bubbles.swf", {}, false, false},
        {"Modern", "Picture Pan.swf", {}, true, false},
        {"Modern", "Picture Pan.swf", {{"Bg.Image", picture}, {"Bg.Motion", "Pan across"}}, true, true},
        {"Modern", "Picture Pan.swf", {{"Bg.Image", picture}, {"Bg.Motion", "Breathe"}, {"Bg.Zoom", "100"}}, true, true},
    };
    for (const auto& [width, height] : {std::pair{400, 300}, std::pair{728, 90}}) {
        project_.Width = width;
        project_.Height = height;
        const int shownWidth = width / 2, shownHeight = height / 2, all = shownWidth * shownHeight;
        std::vector<TPlayerFrame> placeholder;
        for (const TCase& c : cases) {
            SCOPED_TRACE(std::string(c.File) + " at " + std::to_string(width) + "x" + std::to_string(height) +
                         (c.Values.empty() ? "" : " with " + c.Values.back().first + " " + c.Values.back().second));
            std::unique_ptr<EffectRecord> effect = Effect(std::string("background/") + c.Theme + "/" + c.File, c.Values);
            ASSERT_NE(effect, nullptr);
            effect->ThemeName = W(c.Theme);
            effect->TemplateName = W(c.File);
            project_.BgEffectsOn = true;
            project_.BgEffects = {effect.get()};
            std::vector<std::string> log;
            // Three seconds, in steps of four frames.
            std::vector<TPlayerFrame> shown =
                PlaySteps(Compose("background"), shownWidth, shownHeight, 18, 4, project_.FrameRate, log);
            EXPECT_EQ(Complaints(log), std::vector<std::string>{});
            ASSERT_EQ(shown.size(), 18u);
            int drawn = 0;
            for (size_t i = 0; i < shown.size(); ++i) {
                const int uncovered = PixelsNear(shown[i], kProjectColour, 6);
                if (c.Covers) {
                    EXPECT_LE(uncovered, all / 200) << "step " << i;
                }
                drawn = std::max(drawn, all - uncovered);
            }
            EXPECT_GE(drawn, 50);
            if (std::string(c.File) == "Picture Pan.swf" && !c.Picture) placeholder = shown;
            if (c.Picture && !placeholder.empty()) {
                EXPECT_GT(DifferingPixels(shown.back(), placeholder.back()), all / 2) << "the placeholder still shows";
            }
        }
    }
}

}  // namespace
