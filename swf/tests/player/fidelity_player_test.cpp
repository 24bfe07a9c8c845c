// Movies of other producers, read and written back, played beside the files
// they came from: the player must see the same version and frame count and
// the scripts must trace the same.
#include <gtest/gtest.h>

#include <filesystem>

#include "fidelity_fixtures.h"
#include "platform/player/player_test_support.h"

using namespace fidelity;

TEST(PlayerFidelity, RewrittenMoviesPlayAsTheOriginals) {
    TW_REQUIRE_PLAYER();
    const std::filesystem::path folder = std::filesystem::path(TW_FIXTURE_DIR) / "fidelity-player";
    std::filesystem::create_directories(folder);
    int played = 0;
    for (const Fixture& f : Fixtures()) {
        // The movies with scripts: a compressed SWF 5 file, blocks that end
        // without ActionEnd and branch out of themselves, and an empty block
        // beside a button without actions.
        bool scripted = false;
        for (const auto& tag : f.tags) scripted = scripted || tag.first == 12;
        if (!scripted) continue;
        SCOPED_TRACE(f.name);
        ++played;
        const std::string original = (folder / (std::to_string(played) + "-original.swf")).string();
        const std::string rewritten = (folder / (std::to_string(played) + "-rewritten.swf")).string();
        const Bytes file = FileOf(f);
        WriteFileBytes(original, file.data(), file.size());
        TSWFStreamReader movie(original);
        movie.ParseTags(true, true);
        movie.MakeStream();
        movie.SaveToFile(rewritten);

        // A fixed player size: the reversed frame gives the stage a negative one.
        TPlayedMovie before = TPlayerHarness::Shared().Play(original, 2, 200, 100);
        TPlayedMovie after = TPlayerHarness::Shared().Play(rewritten, 2, 200, 100);
        EXPECT_EQ(after.info.swfVersion, f.version);
        EXPECT_EQ(before.info.swfVersion, f.version);
        EXPECT_EQ(after.info.numFrames, before.info.numFrames);
        EXPECT_FALSE(before.trace.empty());
        EXPECT_EQ(after.trace, before.trace);
    }
    EXPECT_EQ(played, 4);
}
