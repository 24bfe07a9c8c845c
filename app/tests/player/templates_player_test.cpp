// The kit's templates in the real player: the constant pool, the pushes
// that assign the declaration and the tracing script are valid SWF, and
// what the player assigns to ParamsDefine is what the template scan reads.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/templates.h"
#include "app/tests/kit/template_kit.h"
#include "platform/player/player_test_support.h"

namespace {

TEST(KitTemplatesInThePlayer, ScriptReportsTheDeclaration) {
    TW_REQUIRE_PLAYER();
    std::string folder = std::string(TW_FIXTURE_DIR) + "/kit-player";
    std::filesystem::create_directories(folder);
    TKitTemplate kit;
    kit.Declaration =
        "<ParamsDefine><Img.EffectName type=\"const\" default=\"zoom\"/>"
        "<Img.Speed type=\"integer\" caption=\"Speed – Скорость\" default=\"4\" min=\"1\" max=\"9\"/></ParamsDefine>";
    kit.Decoys = true;
    kit.PictureStem = "zoom";
    for (bool compressed : {false, true}) {
        std::string path = folder + (compressed ? "/zoom-cws.swf" : "/zoom.swf");
        WriteKitTemplate(path, kit, compressed);
        TPlayedMovie played = TPlayerHarness::Shared().Play(path, 2);
        EXPECT_EQ(played.info.swfVersion, 8);
        EXPECT_EQ(played.trace, (std::vector<std::string>{"ParamsDefine: " + kit.Declaration, "ParamsValue: undefined"}));
        std::optional<WideString> read = FindParamsDefine(UcSystem::Utf8ToWide(path));
        ASSERT_TRUE(read.has_value());
        EXPECT_EQ(UcSystem::WideToUtf8(*read), kit.Declaration);
    }
}

}  // namespace
