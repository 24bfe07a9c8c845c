// The blank project and every example as a user meets them: opened after
// the start-up scan of the shipped templates, composed, played in the real
// player to their end with nothing for the player to complain of, and
// exported as an animated GIF that ImageMagick reads.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>

#include "app/composer.h"
#include "app/flash_player.h"
#include "app/project_file.h"
#include "app/publish_image.h"
#include "app/templates.h"
#include "app/tests/app_fixture.h"
#include "content/tests/shipped_projects.h"
#include "platform/player/player_test_support.h"

namespace {

TFormPublishImage& CaptureForm() {
    static TFormPublishImage form;
    return form;
}

std::string Output(const std::string& command) {
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
        pclose(pipe);
    }
    return output;
}

std::string Lines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

// Distinct colours of a frame, counted up to a bound.
size_t Colours(const TPlayerFrame& frame, size_t bound = 64) {
    std::set<uint32_t> seen;
    for (size_t i = 0; i + 3 < frame.rgba.size() && seen.size() < bound; i += 4 * 7)
        seen.insert(uint32_t(frame.rgba[i]) << 16 | uint32_t(frame.rgba[i + 1]) << 8 | frame.rgba[i + 2]);
    return seen.size();
}

// A fresh program state and per-user folders for each project, but the
// shipped program folder with its templates, clip art and projects.
class ShippedProject : public AppFixture, public ::testing::WithParamInterface<std::string> {
protected:
    void SetUp() override {
        AppFixture::SetUp();
        SetProgramFolder(UcSystem::Utf8ToWide(ShippedProgramFolder()));
    }

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
};

TEST_P(ShippedProject, OpensComposesPlaysToItsEndAndExportsAGif) {
    TW_REQUIRE_PLAYER();
    TProjectState state;
    std::unique_ptr<ProjectRecord> project = Open(state);
    ASSERT_FALSE(HasFailure());

    // As published, with the end frame announcing itself.
    const std::string movie = root_ + "/movie.swf";
    TComposeOptions options;
    options.EndFrameCommand = kEndFrameCommand;
    ComposeMovie(*project, UcSystem::Utf8ToWide(movie), options);

    TShockwaveFlash player;
    bool ended = false;
    player.OnFSCommand = [&](const std::string& command, const std::string&) {
        if (command == kEndFrameCommand) ended = true;
    };
    player.SetMovie(UcSystem::Utf8ToWide(movie));
    player.Play();
    // Every shipped project comes to its end within half a minute.
    const int limit = 30 * project->FrameRate;
    size_t mostColours = 0;
    int frames = 0;
    while (!ended && frames < limit) {
        player.Advance();
        ++frames;
        if (frames % 6 == 0) mostColours = std::max(mostColours, Colours(player.Picture()));
    }
    EXPECT_TRUE(ended) << "no end frame after " << frames << " frames";
    EXPECT_GE(mostColours, 8u) << "nothing much to see";
    EXPECT_EQ(Lines(TPlayerHarness::Shared().TakeLog()), "");

    // GIF export: the capture plays it once more, to its end, frame by frame.
    if (!ToolInstalled("identify")) TW_SKIP_OR_FAIL() << "ImageMagick is not installed";
    TPublishOptions publish;
    publish.Kind = pkGIF;
    publish.SetFrameRate(8);
    const std::string gif = root_ + "/movie.gif";
    TPublishImageResult result = PublishProjectImage(CaptureForm(), *project, publish, UcSystem::Utf8ToWide(gif));
    EXPECT_EQ(result.End, TCaptureEnd::EndOfMovie);
    EXPECT_GT(result.Frames, 0);
    std::string sizes = Output("identify -format '%Wx%H\\n' '" + gif + "'");
    std::string expected;
    for (int i = 0; i < result.Frames; ++i)
        expected += std::to_string(project->Width) + "x" + std::to_string(project->Height) + "\n";
    EXPECT_EQ(sizes, expected);
    EXPECT_EQ(Lines(TPlayerHarness::Shared().TakeLog()), "");
}

std::string TestName(const ::testing::TestParamInfo<std::string>& info) {
    std::string name;
    for (char c : info.param.substr(0, info.param.rfind('.')))
        if (std::isalnum(static_cast<unsigned char>(c))) name += c;
    return name;
}

INSTANTIATE_TEST_SUITE_P(Content, ShippedProject, ::testing::ValuesIn(ShippedProjects()), TestName);

}  // namespace
