// What every test binary shares: the rule for tests whose outside tool,
// corpus or player is missing (a developer's run skips them; under CI they
// fail, because CI installs everything first), and the making of fixtures by
// outside tools, cached in the build folder.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

// True when the environment says CI (CI=true, as the CI runner sets it).
inline bool TwUnderCI() {
    const char* ci = std::getenv("CI");
    return ci != nullptr && *ci != '\0' && std::strcmp(ci, "false") != 0 && std::strcmp(ci, "0") != 0;
}

// Use as `TW_SKIP_OR_FAIL() << "why";` where GTEST_SKIP() would go: it skips
// the test on a developer's machine and fails it under CI.
#define TW_SKIP_OR_FAIL()                                                                                        \
    return ::testing::internal::AssertHelper(                                                                    \
               TwUnderCI() ? ::testing::TestPartResult::kFatalFailure : ::testing::TestPartResult::kSkip,        \
               __FILE__, __LINE__, "") = ::testing::Message()

inline bool ToolInstalled(const std::string& tool) {
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs a shell command that writes target ("{out}" in the command); returns
// target, or "" on failure. Tests run in parallel processes: each makes its
// own temporary file and the complete one is renamed into place in one step.
inline std::string MakeFixture(const std::string& target, const std::string& command) {
    std::error_code error;
    if (std::filesystem::exists(target, error) && std::filesystem::file_size(target, error) > 0) return target;
    std::filesystem::path path(target);
    std::string temporary = (path.parent_path() / (path.stem().string() + ".part" + std::to_string(::getpid()) +
                                                   path.extension().string()))
                                .string();
    std::string line = command;
    for (size_t at; (at = line.find("{out}")) != std::string::npos;) line.replace(at, 5, "'" + temporary + "'");
    if (std::system((line + " >/dev/null 2>&1").c_str()) != 0 || !std::filesystem::exists(temporary, error)) {
        std::filesystem::remove(temporary, error);
        return "";
    }
    std::filesystem::rename(temporary, target, error);
    if (error) std::filesystem::remove(temporary, error);
    return std::filesystem::exists(target, error) ? target : "";
}

// A scratch folder of this test process under the system's temporary folder,
// named after `name` and the process: test binaries of several build trees
// run at once, and a file one of them rewrites must never be what another is
// reading. The folder and what it holds go away when the process ends.
inline std::string TestScratchFolder(const std::string& name) {
    struct Folders {
        std::vector<std::filesystem::path> made;
        ~Folders() {
            std::error_code error;
            for (const auto& folder : made) std::filesystem::remove_all(folder, error);
        }
    };
    static Folders folders;
    std::filesystem::path folder = std::filesystem::temp_directory_path() / (name + "-" + std::to_string(::getpid()));
    std::error_code error;
    if (std::filesystem::create_directories(folder, error)) folders.made.push_back(folder);
    return folder.string();
}
