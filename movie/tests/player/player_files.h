// What the movie builder's player tests share: a scratch file of this test
// process, and the check that ImageMagick, their judge, is at hand.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/testing/test_support.h"

inline std::string PlayerTempPath(const std::string& folder, const std::string& name) {
    return (std::filesystem::path(TestScratchFolder(folder)) / name).string();
}

// "why" says what is missing.
inline bool ImageMagickReady(std::string& why) {
    FILE* pipe = popen("convert -version 2>/dev/null", "r");
    bool found = false;
    if (pipe) {
        char line[256] = {};
        found = std::fgets(line, sizeof line, pipe) && std::string(line).find("ImageMagick") != std::string::npos;
        while (std::fgets(line, sizeof line, pipe)) {}
        pclose(pipe);
    }
    if (!found) why = "ImageMagick's convert is not installed (scripts/setup.sh installs it)";
    return found;
}
