// The blank project and every example as a user meets them: opened after
// the start-up scan of the shipped templates, composed, played in the real
// player to their end with nothing for the player to complain of, and
// exported as an animated GIF that ImageMagick reads.
#include <gtest/gtest.h>

#include <algorithm>
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
    TPublishImageResult result = PublishProjectImage(CaptureForm(), *project, publish, UcSystem::Utf8ToWide(gif));
    EXPECT_EQ(result.End, TCaptureEnd::EndOfMovie);
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
