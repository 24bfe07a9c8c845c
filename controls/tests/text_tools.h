// Outside judges for the text tests: iconv and python3 run on bytes the
// tests hand them. Without the tool a developer's run skips the test; under
// CI a missing tool is a failure.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace text_tools {

inline bool HaveTool(const std::string& name) {
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

// A fresh folder under the fixture folder. One of this process's own when
// perProcess; otherwise it keeps its name, so that the files a test leaves
// there can seed the fuzz target.
inline std::string FixtureFolder(const std::string& name, bool perProcess = true) {
    std::string folder = std::string(TW_FIXTURE_DIR) + "/" + name + (perProcess ? "." + std::to_string(getpid()) : "");
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder;
}

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Runs a shell command with input on its standard input; its output, or
// nothing with ok false when it fails.
inline std::string Run(const std::string& command, const std::string& input, bool& ok) {
    static int counter = 0;
    std::string base = std::filesystem::temp_directory_path() /
                       ("tw_text_tool." + std::to_string(getpid()) + "." + std::to_string(++counter));
    WriteBytes(base + ".in", input);
    int status = std::system((command + " <" + base + ".in >" + base + ".out 2>/dev/null").c_str());
    ok = status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    std::string output = ReadBytes(base + ".out");
    std::filesystem::remove(base + ".in");
    std::filesystem::remove(base + ".out");
    return output;
}

}  // namespace text_tools

#define TW_REQUIRE_TOOL(name)                                                   \
    do {                                                                        \
        if (!text_tools::HaveTool(name)) {                                      \
            if (std::getenv("CI") != nullptr) FAIL() << name << " is missing";  \
            else GTEST_SKIP() << name << " is missing";                         \
        }                                                                       \
    } while (0)

// The output of a command that must succeed.
#define TW_RUN(command, input)                                                         \
    [&] {                                                                              \
        bool tw_ok = false;                                                            \
        std::string tw_out = text_tools::Run(command, input, tw_ok);                   \
        EXPECT_TRUE(tw_ok) << "failed: " << command;                                   \
        return tw_out;                                                                 \
    }()
