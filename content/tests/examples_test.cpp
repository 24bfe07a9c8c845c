// The blank project and every example as a user meets them: opened after
// the start-up scan of the shipped templates, composed, played in the real
// player to their end with nothing for the player to complain of, and
// exported as an animated GIF that ImageMagick reads.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>

#include "app/composer.h"
#include "app/flash_player.h"
#include "app/project_file.h"
#include "app/publish_image.h"
#include "app/templates.h"
#include "app/tests/app_fixture.h"
#include "content/tests/content_test_support.h"
#include "platform/player/player_test_support.h"

namespace {

std::string TestName(const ::testing::TestParamInfo<std::string>& info);

TFormPublishImage& CaptureForm() {
    static TFormPublishImage form;
    return form;
}

// Fresh per-user folders for each test, but the shipped program folder
// with its templates, clip art and projects.
class ShippedProjectFolder : public AppFixture {
protected:
    void SetUp() override {
        AppFixture::SetUp();
        SetProgramFolder(UcSystem::Utf8ToWide(ShippedProgramFolder()));
    }
};

class ShippedProject : public ShippedProjectFolder, public ::testing::WithParamInterface<std::string> {
protected:

    // The start-up scan, then the project file, as the application opens it.
    std::unique_ptr<ProjectRecord> Open(TProjectState& state) {
        TScanProblems scanProblems;
        ScanTemplates(state, &scanProblems);
        EXPECT_EQ(scanProblems.size(), 0u) << UcSystem::WideToUtf8(scanProblems.empty() ? u"" : scanProblems[0]);
        TProjectReadProblems problems;
        EXPECT_TRUE(ReadProjectFile(UcSystem::Utf8ToWide(ShippedProgramFolder() + GetParam()), state, &problems));
        EXPECT_EQ(problems.size(), 0u) << UcSystem::WideToUtf8(problems.empty() ? u"" : problems[0]);
        return GatherProject(state);
    }

    // What the player complained of since the last call, beyond a fresh
    // text field's font. No export opens the address a project opens when
    // it ends, so the player has no refusal of that to report either.
    std::string Complaints(const ProjectRecord&) {
        std::string text;
        for (const std::string& line : ::Complaints(TPlayerHarness::Shared().TakeLog())) text += line + "\n";
        return text;
    }
};

TEST_P(ShippedProject, OpensComposesPlaysToItsEndAndExportsAGif) {
    TW_REQUIRE_PLAYER();
    if (!ToolInstalled("convert")) TW_SKIP_OR_FAIL() << "ImageMagick is not installed";
    TProjectState state;
    std::unique_ptr<ProjectRecord> project = Open(state);
    ASSERT_FALSE(HasFailure());

    // As published: it loads and plays its first second without complaint.
    const std::string movie = root_ + "/movie.swf";
    ComposeMovie(*project, UcSystem::Utf8ToWide(movie));
    TShockwaveFlash player;
    player.SetMovie(UcSystem::Utf8ToWide(movie));
    player.Play();
    for (int frame = 0; frame < project->FrameRate; ++frame) player.Advance();
    EXPECT_EQ(Complaints(*project), "");

    // GIF export: the capture plays it once, frame by frame, to its end.
    TPublishOptions publish;
    publish.Kind = pkGIF;
    publish.SetFrameRate(4);
    const std::string gif = root_ + "/movie.gif";
    // The blank project has no stages: it would be captured for 500 frames,
    // of which the first 40 tell as much here.
    CaptureForm().MaxFrames = project->Stages.empty() ? 40 : 20'000;
    TPublishImageResult result = PublishProjectImage(CaptureForm(), *project, publish, UcSystem::Utf8ToWide(gif));
    CaptureForm().MaxFrames = 20'000;
    EXPECT_EQ(result.End, project->Stages.empty() ? TCaptureEnd::FrameCap : TCaptureEnd::EndOfMovie);
    EXPECT_EQ(Complaints(*project), "");

    // ImageMagick reads every frame at the movie's size; the frames move and
    // show more than a flat colour.
    std::string sizes = CommandOutput("identify -format '%Wx%H\\n' '" + gif + "'");
    std::string expected;
    for (int i = 0; i < result.Frames; ++i)
        expected += std::to_string(project->Width) + "x" + std::to_string(project->Height) + "\n";
    EXPECT_EQ(sizes, expected);
    std::istringstream looks(
        CommandOutput("convert '" + gif + "' -coalesce -format '%#:%[fx:standard_deviation]\\n' info:"));
    std::set<std::string> pictures;
    double detail = 0;
    for (std::string line; std::getline(looks, line);) {
        size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        pictures.insert(line.substr(0, colon));
        detail = std::max(detail, std::stod(line.substr(colon + 1)));
    }
    EXPECT_GE(pictures.size(), std::min<size_t>(8, size_t(result.Frames) / 2)) << "the movie hardly moves";
    EXPECT_GT(detail, 0.05) << "nothing much to see";
}

// Every example played once to its end, frame by frame: no frame shows the
// player's white where neither the preloader nor the background draws
// (none of them is white), and the frames of every quarter second make a
// contact sheet, kept as a test artifact for a person to look at.
TEST_P(ShippedProject, PlaysWithoutGapsIntoAContactSheet) {
    TW_REQUIRE_PLAYER();
    if (!ToolInstalled("montage")) TW_SKIP_OR_FAIL() << "ImageMagick is not installed";
    TProjectState state;
    std::unique_ptr<ProjectRecord> project = Open(state);
    ASSERT_FALSE(HasFailure());
    project->LoopLimited = true;  // once, as an export plays it
    project->LoopCount = 1;
    project->CloseUrlOn = false;

    TComposeOptions options;
    options.EndFrameCommand = kEndFrameCommand;
    const std::string movie = root_ + "/sheet.swf";
    ComposeMovie(*project, UcSystem::Utf8ToWide(movie), options);
    TPlayerHarness& player = TPlayerHarness::Shared();
    TPlayerOpenOptions open;
    open.fsCommands = true;
    player.Open(movie, open);
    const int every = std::max(1, project->FrameRate / 4);
    const int most = 60 * project->FrameRate;
    std::vector<std::string> pictures;
    std::vector<int> white;
    bool ended = false;
    int frames = 0;
    // At least four seconds, also of a project that ends at once.
    while ((!ended || frames < 4 * project->FrameRate) && frames < most) {
        TPlayerFrame frame = player.Advance();
        ++frames;
        for (const TPlayerFSCommand& c : frame.fsCommands) ended |= c.command == kEndFrameCommand;
        if (PixelsNear(frame, 0xFFFFFF, 0) > frame.width * frame.height / 2) white.push_back(frames);
        if ((frames - 1) % every != 0) continue;
        const std::string raw = root_ + "/frame" + std::to_string(frames) + ".rgba";
        WriteFileBytes(raw, frame.rgba.data(), frame.rgba.size());
        pictures.push_back("-size " + std::to_string(frame.width) + "x" + std::to_string(frame.height) +
                           " -depth 8 rgba:'" + raw + "'");
    }
    EXPECT_TRUE(ended) << "no end after " << frames << " frames";
    EXPECT_EQ(white, std::vector<int>{}) << "frames of the player's white";
    EXPECT_EQ(Complaints(*project), "");

    std::string name = TestName(::testing::TestParamInfo<std::string>(GetParam(), 0));
    const std::string folder = std::string(TW_ARTIFACT_DIR) + "/contact-sheets";
    std::filesystem::create_directories(folder);
    const std::string sheet = folder + "/" + name + ".png";
    std::string command = "montage";
    for (const std::string& picture : pictures) command += " " + picture;
    int status = 0;
    CommandOutput(command + " -tile 8x -geometry '180x180>+3+3' -background '#404040' '" + sheet + "' 2>&1", &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(CommandOutput("identify -format '%m' '" + sheet + "'"), "PNG");
}

// The banner is a link as ad servers expect: a click anywhere opens the
// address the page hands it in clickTAG, while its stages play on top.
TEST_F(ShippedProjectFolder, BannerClickOpensClickTag) {
    TW_REQUIRE_PLAYER();
    TProjectState state;
    ScanTemplates(state);
    ASSERT_TRUE(ReadProjectFile(UcSystem::Utf8ToWide(ShippedProgramFolder() + "examples/Welcome Banner.ini"), state));
    const std::string movie = root_ + "/banner.swf";
    ComposeMovie(state, UcSystem::Utf8ToWide(movie));
    TPlayerHarness& player = TPlayerHarness::Shared();
    player.TakeEvents();
    TPlayerLoadOptions load;
    load.flashVars = {{"clickTAG", player.HitUrl("banner")}};
    load.network = true;
    player.Load(movie, load);
    player.Step(30);
    player.Click(20, 45);
    std::vector<std::string> hits;
    for (int tries = 0; tries < 50 && hits.empty(); ++tries) {
        player.Step(1);
        hits = player.TakeEvents().hits;
    }
    EXPECT_EQ(hits, std::vector<std::string>{"/hit/banner"});
}

std::string TestName(const ::testing::TestParamInfo<std::string>& info) {
    std::string name;
    for (char c : info.param.substr(0, info.param.rfind('.')))
        if (std::isalnum(static_cast<unsigned char>(c))) name += c;
    return name;
}

INSTANTIATE_TEST_SUITE_P(Content, ShippedProject, ::testing::ValuesIn(ShippedProjects()), TestName);

}  // namespace
