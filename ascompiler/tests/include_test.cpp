// Include folders and #include files: the search, nesting, the positions and
// file names of parse errors, and the working directory left alone.
#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <filesystem>

#include "ascompiler/compile_context.h"
#include "platform/paths.h"

namespace {

namespace fs = std::filesystem;

TMemoryStream StreamOf(const std::string& text) { return TMemoryStream(std::vector<uint8_t>(text.begin(), text.end())); }

void WriteText(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    WriteFileBytes(path.string(), text.data(), text.size());
}

std::string Cwd() {
    char buffer[PATH_MAX];
    return getcwd(buffer, sizeof buffer) ? buffer : "";
}

class IncludeTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::path(TW_FIXTURE_DIR) / ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(root_);
        fs::create_directories(root_);
    }
    std::string Folder(const std::string& name) {
        fs::create_directories(root_ / name);
        return (root_ / name).string();
    }
    // The message the source fails with ("" when it parses).
    std::string ErrorOf(TCompileContext& context, const std::string& source) {
        TMemoryStream stream = StreamOf(source);
        try {
            unit_ = context.ParseUnit(stream);
        } catch (const Exception& error) {
            return error.what();
        }
        return "";
    }
    fs::path root_;
    std::unique_ptr<TCompileUnit> unit_;
};

TEST_F(IncludeTest, IncludePathsMustBeExistingAbsoluteFoldersAndAreKeptOnce) {
    TCompileContext context;
    std::string scripts = Folder("Scripts");
    context.AddIncludePath(scripts);
    context.AddIncludePath(scripts + "/");
    context.AddIncludePath(scripts + "//");
    ASSERT_EQ(context.IncludeFolders().size(), 1u);
    EXPECT_EQ(context.IncludeFolders()[0], scripts + "/");  // case kept: names are case-sensitive

    for (std::string bad : {scripts + "/missing", std::string("relative"), std::string("C:\\Scripts")}) {
        try {
            context.AddIncludePath(bad);
            ADD_FAILURE() << bad;
        } catch (const EActionCompileError& error) {
            EXPECT_EQ(error.what(), "Include path \"" + bad + "\" not found.");
        }
    }
}

TEST_F(IncludeTest, NestedIncludesAreSearchedInTheFoldersInOrder) {
    std::string first = Folder("first");
    std::string second = Folder("second");
    WriteText(fs::path(second) / "lib.as", "#include \"sub\\inner.as\"\nlibValue = 1;\n");
    WriteText(fs::path(first) / "sub/inner.as", "  #include 'leaf.as'  \t\r\ninner = 2;");  // no final line feed
    WriteText(fs::path(second) / "leaf.as", "leaf = 3;\n");
    WriteText(fs::path(first) / "shadow.as", "fromFirst = 1;\n");
    WriteText(fs::path(second) / "shadow.as", "fromSecond = 1;\n");

    TCompileContext context;
    context.AddIncludePath(first);
    context.AddIncludePath(second);
    EXPECT_EQ(ErrorOf(context, "a = 0;\n#include \"lib.as\"\n#include \"shadow.as\"\nb = 4;\n"), "");
    std::vector<std::string> names;
    for (TParseTreeNode* item : unit_->Root->Items) {
        auto* list = dynamic_cast<TExprListNode*>(item);
        ASSERT_TRUE(list);
        auto* assign = dynamic_cast<TAssignNode*>(list->Items.at(0));
        ASSERT_TRUE(assign);
        names.push_back(context.Strings().Text(dynamic_cast<TStrNode*>(assign->Target->Name)->Id));
    }
    EXPECT_EQ(names, (std::vector<std::string>{"a", "leaf", "inner", "libValue", "fromFirst", "b"}));

    // An absolute name is opened as it is.
    std::string absolute = (fs::path(second) / "leaf.as").string();
    EXPECT_EQ(ErrorOf(context, "#include \"" + absolute + "\"\n"), "");
}

TEST_F(IncludeTest, ParseErrorsNameTheIncludeAsWritten) {
    std::string folder = Folder("lib");
    WriteText(fs::path(folder) / "bad.as", "ok = 1;\nbroken = ;\n");
    WriteText(fs::path(folder) / "good.as", "ok = 1;\n");
    WriteText(fs::path(folder) / "nested.as", "#include \"bad.as\"\n");
    TCompileContext context;
    context.AddIncludePath(folder);
    const std::string bad = "Parse Error in file: \"bad.as\" line: 2 pos: 10: \";\" was not expected";
    EXPECT_EQ(ErrorOf(context, "x = 1;\n#include \"bad.as\"\n"), bad);
    EXPECT_EQ(ErrorOf(context, "#include \"nested.as\"\n"), bad);
    // Back in the main source: its own line, no file name.
    EXPECT_EQ(ErrorOf(context, "x = 1;\n#include \"good.as\"\ny = ;\n"),
              "Parse Error in line: 3 pos: 5: \";\" was not expected");
    // A failed parse leaves nothing behind for the next one.
    EXPECT_EQ(ErrorOf(context, "z = 1;\n"), "");
}

// An include cycle is named instead of followed for ever.
TEST_F(IncludeTest, IncludeCyclesAreNamed) {
    std::string folder = Folder("cycle");
    WriteText(fs::path(folder) / "self.as", "a = 1;\n#include \"self.as\"\n");
    WriteText(fs::path(folder) / "ping.as", "#include \"pong.as\"\n");
    WriteText(fs::path(folder) / "pong.as", "#include \"ping.as\"\n");
    WriteText(fs::path(folder) / "twice.as", "#include \"leaf.as\"\n#include \"leaf.as\"\n");
    WriteText(fs::path(folder) / "leaf.as", "b = 2;\n");
    TCompileContext context;
    context.AddIncludePath(folder);
    EXPECT_EQ(ErrorOf(context, "#include \"self.as\"\n"), "Include file \"self.as\" includes itself.");
    EXPECT_EQ(ErrorOf(context, "#include \"ping.as\"\n"), "Include file \"ping.as\" includes itself.");
    // The same file included twice, one after the other, is no cycle.
    EXPECT_EQ(ErrorOf(context, "#include \"twice.as\"\n"), "");
}

TEST_F(IncludeTest, MissingIncludeFiles) {
    TCompileContext context;
    EXPECT_EQ(ErrorOf(context, "#include \"a\\b.as\"\n"), "Include file \"a/b.as\" not found.");
    context.AddIncludePath(Folder("empty"));
    EXPECT_EQ(ErrorOf(context, "#include \"none.as\"\n"), "Include file \"none.as\" not found.");
    EXPECT_EQ(ErrorOf(context, "#include \"C:\\none.as\"\n"), "Include file \"C:/none.as\" not found.");
    // A folder is no file.
    Folder("empty/dir.as");
    EXPECT_EQ(ErrorOf(context, "#include \"dir.as\"\n"), "Include file \"dir.as\" not found.");
}

TEST_F(IncludeTest, TheWorkingDirectoryIsNeverSearchedNorChanged) {
    std::string here = Folder("cwd");
    WriteText(fs::path(here) / "here.as", "x = 1;\n");
    std::string before = Cwd();
    ASSERT_EQ(chdir(here.c_str()), 0);
    std::string inside = Cwd();

    TCompileContext context;
    std::string noFolders = ErrorOf(context, "#include \"here.as\"\n");
    context.AddIncludePath(Folder("other"));
    std::string otherFolder = ErrorOf(context, "#include \"here.as\"\n");
    std::string relativeFolder;
    try {
        context.AddIncludePath(".");
    } catch (const EActionCompileError& error) {
        relativeFolder = error.what();
    }
    std::string after = Cwd();
    ASSERT_EQ(chdir(before.c_str()), 0);

    EXPECT_EQ(noFolders, "Include file \"here.as\" not found.");
    EXPECT_EQ(otherFolder, "Include file \"here.as\" not found.");
    EXPECT_EQ(relativeFolder, "Include path \".\" not found.");
    EXPECT_EQ(after, inside);
}

}  // namespace
