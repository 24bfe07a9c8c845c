// A frame script built from action objects, its offsets and block sizes all
// from markers, played in a real player: the trace output says what the
// script computed.
#include <gtest/gtest.h>

#include "platform/testing/test_support.h"

#include <cstdlib>
#include <filesystem>

#include "actions_fixture.h"
#include "platform/player/player_harness.h"
#include "swf/control_tags.h"
#include "swf/reader.h"
#include "test_util.h"

namespace {

void SaveMovie(TSWFDoAction& script, const std::string& path) {
    TSWFStreamReader movie;  // as a writer of header and body
    movie.SetSystemCoord(true);
    movie.SetBounds(TRect{0, 0, 200, 100});
    movie.SetFrameRate(12);
    movie.SetVersion(static_cast<uint8_t>(std::max(7, script.RequiredVersion())));
    movie.FrameCount = 1;
    TBitsEngine be(movie.GetBodyStream());
    TSWFSetBackgroundColor background;
    background.Color.SetRGB(SWFRGB(255, 255, 255));
    background.WriteTag(be);
    script.WriteTag(be);
    TSWFShowFrame show;
    show.WriteTag(be);
    TSWFEnd end;
    end.WriteTag(be);
    movie.SaveToFile(path);
}

}  // namespace

TEST(PlayerActions, BuiltScriptTracesWhatItComputes) {
    std::string why;
    if (!TPlayerHarness::Available(&why)) {
        TW_SKIP_OR_FAIL() << why;
    }
    std::filesystem::path folder = std::filesystem::path(TestScratchFolder("tw_player_actions"));
    std::filesystem::create_directories(folder);
    std::string path = (folder / "script.swf").string();

    auto script = actions_fixture::BuildScript();
    SaveMovie(*script, path);
    TPlayedMovie played = TPlayerHarness::Shared().Play(path, 2);
    EXPECT_EQ(played.info.swfVersion, 7);
    EXPECT_EQ(played.trace, actions_fixture::ExpectedTrace());

    // The same script read back from the file, through its XML form and
    // written again plays the same.
    TSWFStreamReader reader(path);
    reader.ParseTags(true, true);
    TSWFDoAction* read = nullptr;
    for (const auto& info : reader.Tags)
        if (info->TagCode == 12) read = dynamic_cast<TSWFDoAction*>(info->Object);
    ASSERT_NE(read, nullptr);
    TXmlDocument doc;
    TXMLReadWriteSettings settings;
    settings.Options = 0;
    TXmlNode element = doc.Root().AddChild("DoAction");
    read->SaveToXml(element, settings);
    TSWFDoAction loaded;
    loaded.LoadFromXml(element, settings);
    std::string again = (folder / "again.swf").string();
    SaveMovie(loaded, again);
    EXPECT_EQ(ReadFileBytes(again), ReadFileBytes(path));
    std::filesystem::remove_all(folder);
}
