// The build step that compiles template sources: what it makes of a
// source, and the clear errors that stop it when a source breaks the rules.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "app/templates.h"
#include "controls/ucsystem.h"
#include "swf/reader.h"

namespace fs = std::filesystem;

namespace {

const char* const kDeclaration =
    "ParamsDefine = \"<ParamsDefine><Txt.Speed type=\\\"integer\\\" caption=\\\"Speed\\\" default=\\\"3\\\" "
    "min=\\\"1\\\" max=\\\"9\\\"/></ParamsDefine>\";\n";

class BuildTool : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = std::string(TW_FIXTURE_DIR) + "/BuildTool." +
                ::testing::UnitTest::GetInstance()->current_test_info()->name() + "." + std::to_string(getpid());
        fs::remove_all(root_);
        fs::create_directories(root_ + "/src/lib");
        std::ofstream(root_ + "/src/lib/util.as") << "function twice(x) { return x * 2; }\n";
    }
    void TearDown() override { fs::remove_all(root_); }

    void Source(const std::string& relative, const std::string& text) {
        fs::create_directories(fs::path(root_ + "/src/" + relative).parent_path());
        std::ofstream(root_ + "/src/" + relative) << text;
    }

    // Runs the tool; its exit status, and its output in output.
    int Run(std::string& output, const std::string& out = "out") {
        const std::string log = root_ + "/log.txt";
        const std::string command = std::string("'") + TW_BUILD_TEMPLATES + "' '" + root_ + "/src' '" + root_ + "/" +
                                    out + "' > '" + log + "' 2>&1";
        const int status = std::system(command.c_str());
        std::ifstream in(log);
        std::stringstream text;
        text << in.rdbuf();
        output = text.str();
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    static std::string Bytes(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::string root_;
};

TEST_F(BuildTool, CompilesEachKindIntoTheProgramFolder) {
    Source("preloader/Plain.as", std::string("//@ stage 120 40 12\n") + kDeclaration + "stop();\n");
    Source("text/Basic/Grow.as", std::string(kDeclaration) + "#include \"lib/util.as\"\ntrace(twice(2));\n");
    Source("image/Basic/Show.as", std::string("//@ picture PicShow\n//@ frames 3\n") + kDeclaration);
    Source("background/Warm/Glow.as", std::string("//@ picture-param Bg.Image\n") + kDeclaration);
    std::string output;
    ASSERT_EQ(Run(output), 0) << output;
    EXPECT_NE(output.find("4 templates"), std::string::npos) << output;

    const std::string out = root_ + "/out/";
    // The application finds every declaration.
    for (const char* file : {"preloader/Plain.swf", "text/Basic/Grow.swf", "image/Basic/Show.swf",
                             "background/Warm/Glow.swf"}) {
        std::unique_ptr<EffectRecord> record;
        ASSERT_TRUE(ReadParamsDefine(UcSystem::Utf8ToWide(out + file), record)) << file;
        ASSERT_EQ(record->Params.size(), 1u) << file;
        EXPECT_EQ(UcSystem::WideToUtf8(record->Params[0].Caption), "Speed");
    }
    // Stage, frames and the placeholders the builders look up by name.
    TSWFStreamReader preloader(out + "preloader/Plain.swf");
    EXPECT_EQ(preloader.Bounds.Right - preloader.Bounds.Left, 120 * 20);
    EXPECT_EQ(preloader.GetFrameRate(), 12.0f);
    TSWFStreamReader picture(out + "image/Basic/Show.swf");
    picture.ParseTags(true, true);
    EXPECT_EQ(picture.FrameCount, 3);
    EXPECT_NE(picture.FindObjectByName("PicShow_Image"), nullptr);
    EXPECT_NE(picture.FindObjectByName("PicShow_ImageMovie"), nullptr);
    TSWFStreamReader background(out + "background/Warm/Glow.swf");
    background.ParseTags(true, true);
    EXPECT_NE(background.FindObjectByName("Bg.Image_Image"), nullptr);
    EXPECT_NE(background.FindObjectByName("Bg.Image"), nullptr);

    // A second run writes the same bytes; a template whose source is gone
    // goes too, and nothing but templates is left behind.
    const std::string first = Bytes(out + "image/Basic/Show.swf");
    fs::remove(root_ + "/src/text/Basic/Grow.as");
    ASSERT_EQ(Run(output), 0) << output;
    EXPECT_EQ(Bytes(out + "image/Basic/Show.swf"), first);
    EXPECT_FALSE(fs::exists(out + "text/Basic/Grow.swf"));
    for (const auto& entry : fs::recursive_directory_iterator(out)) {
        if (entry.is_regular_file()) {
            EXPECT_EQ(entry.path().extension(), ".swf") << entry.path();
        }
    }
}

TEST_F(BuildTool, BrokenSourcesStopTheBuildWithTheirPlace) {
    struct TCase {
        const char* File;
        std::string Text;
        const char* Error;
    };
    const TCase cases[] = {
        {"text/T/NoDeclaration.as", "trace(1);\n", "text/T/NoDeclaration.as: assigns no parameter declaration"},
        {"text/T/OtherRoot.as", "ParamsDefine = \"<Other/>\";\n", "declares no parameters"},
        {"text/T/BadXml.as", "ParamsDefine = \"<ParamsDefine><a></ParamsDefine>\";\n", "text/T/BadXml.as"},
        {"text/T/Syntax.as", std::string(kDeclaration) + "x = ;\n", "does not compile: Parse Error in line: 2"},
        {"text/T/Include.as", std::string(kDeclaration) + "#include \"lib/none.as\"\n", "does not compile"},
        {"text/T/Stage.as", "//@ stage 0 10 24\n" + std::string(kDeclaration), "Stage.as:1: \"//@ stage\" wants"},
        {"text/T/Unknown.as", "//@ colour red\n" + std::string(kDeclaration), "Unknown.as:1: unknown directive"},
        {"text/T/Name.as", "//@ picture a/b\n" + std::string(kDeclaration), "Name.as:1: \"//@ picture\" wants"},
        {"text/Loose.as", kDeclaration, "effect templates lie in a theme folder"},
        {"preloader/P/Deep.as", kDeclaration, "preloaders lie directly in the preloader folder"},
    };
    for (const TCase& c : cases) {
        fs::remove_all(root_ + "/src/text");
        fs::remove_all(root_ + "/src/preloader");
        Source(c.File, c.Text);
        std::string output;
        EXPECT_EQ(Run(output), 1) << c.File;
        EXPECT_NE(output.find(c.Error), std::string::npos) << c.File << ": " << output;
        // Nothing half-made is left where the application looks.
        const std::string made = root_ + "/out/" + fs::path(c.File).replace_extension(".swf").string();
        EXPECT_FALSE(fs::exists(made)) << made;
    }
}

}  // namespace
