// Running outside tools from tests: a missing tool skips the test, or fails
// it under CI=true, where every tool must be there.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace imaging_test {

inline bool HaveTool(const std::string& name) {
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

inline bool UnderCI() {
    const char* ci = std::getenv("CI");
    return ci && std::string(ci) == "true";
}

// Runs a shell command; returns its standard output, and its exit status
// through status.
inline std::string RunCommand(const std::string& command, int* status = nullptr) {
    std::string output;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return output;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    int rc = pclose(pipe);
    if (status) *status = rc;
    return output;
}

// A fresh folder for one test's files under the build tree.
inline std::filesystem::path FixtureFolder(const std::string& name) {
    std::filesystem::path folder = std::filesystem::path(TW_FIXTURE_DIR) / name;
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder;
}

inline void WriteBytes(const std::filesystem::path& path, const void* data, size_t size) {
    std::ofstream out(path, std::ios::binary);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
}

inline std::vector<uint8_t> ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

}  // namespace imaging_test

// Skips (or, under CI, fails) the current test when a tool is missing.
#define REQUIRE_TOOL(name)                                                          \
    do {                                                                            \
        if (!imaging_test::HaveTool(name)) {                                        \
            if (imaging_test::UnderCI()) FAIL() << "missing tool under CI: " << name; \
            GTEST_SKIP() << "missing tool: " << name;                               \
        }                                                                           \
    } while (0)
