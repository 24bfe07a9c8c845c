// The shipped templates are exactly what the build step makes of their
// sources now: run again into a fresh folder, it writes the same files with
// the same bytes, and no compiled template is kept in the source tree, where
// it could be edited by hand or fall behind its source.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/tests/capture_test_support.h"

namespace fs = std::filesystem;

namespace {

const char* const kKinds[] = {"preloader", "background", "text", "image"};

std::string Bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The compiled templates below a program folder, by path relative to it.
std::map<std::string, fs::path> Templates(const fs::path& folder) {
    std::map<std::string, fs::path> found;
    for (const char* kind : kKinds) {
        if (!fs::is_directory(folder / kind)) continue;
        for (const auto& entry : fs::recursive_directory_iterator(folder / kind))
            if (entry.is_regular_file() && entry.path().extension() == ".swf")
                found[fs::relative(entry.path(), folder).string()] = entry.path();
    }
    return found;
}

TEST(BuildStep, ShippedTemplatesAreWhatTheSourcesMakeNow) {
    const fs::path fresh = fs::path(TW_FIXTURE_DIR) / ("build-step." + std::to_string(getpid()));
    fs::remove_all(fresh);
    fs::create_directories(fresh);
    int status = 0;
    const std::string log = CommandOutput(std::string("'") + TW_BUILD_TEMPLATES + "' '" + TW_CONTENT_DIR + "/templates' '" +
                                              fresh.string() + "' 2>&1",
                                          &status);
    ASSERT_EQ(status, 0) << log;

    const std::map<std::string, fs::path> made = Templates(fresh), shipped = Templates(TW_PROGRAM_DIR);
    EXPECT_FALSE(made.empty()) << log;
    for (const auto& [name, path] : made) {
        auto other = shipped.find(name);
        if (other == shipped.end()) {
            ADD_FAILURE() << name << " is made from its source but not shipped";
            continue;
        }
        EXPECT_TRUE(Bytes(path) == Bytes(other->second)) << name << " differs from what its source makes";
    }
    for (const auto& [name, path] : shipped)
        EXPECT_TRUE(made.count(name)) << name << " is shipped but no source makes it";
    fs::remove_all(fresh);
}

TEST(BuildStep, NoCompiledTemplateInTheSourceTree) {
    for (const auto& entry : fs::recursive_directory_iterator(TW_CONTENT_DIR))
        EXPECT_NE(entry.path().extension(), ".swf") << entry.path();
    // Nor committed: a checkout may lack a file that the repository holds.
    int status = 0;
    const std::string listed =
        CommandOutput(std::string("git -C '") + TW_SOURCE_DIR + "' ls-files -- content 2>/dev/null", &status);
    if (status != 0) GTEST_SKIP() << "the source tree is not a git checkout";
    std::istringstream lines(listed);
    for (std::string line; std::getline(lines, line);)
        EXPECT_FALSE(fs::path(line).extension() == ".swf") << line << " is committed";
}

}  // namespace
