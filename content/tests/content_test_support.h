// What the content tests share: the program folder as it ships, the
// projects in it (the blank project and the examples), the bytes of a file,
// and the outside tools' output (CommandOutput).
#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/app_utils.h"
#include "app/tests/capture_test_support.h"
#include "controls/ucsystem.h"

inline std::string ShippedProgramFolder() { return std::string(TW_PROGRAM_DIR) + "/"; }

// "default.ini", then the examples in name order (as "examples/<name>").
inline std::vector<std::string> ShippedProjects() {
    std::vector<std::string> names = {"default.ini"};
    std::vector<std::string> examples;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(ShippedProgramFolder() + "examples", error))
        if (entry.path().extension() == ".ini") examples.push_back("examples/" + entry.path().filename().string());
    std::sort(examples.begin(), examples.end());
    names.insert(names.end(), examples.begin(), examples.end());
    return names;
}

// Points the application at the shipped program folder while it lives.
class TShippedProgramFolder {
public:
    TShippedProgramFolder() { SetProgramFolder(UcSystem::Utf8ToWide(ShippedProgramFolder())); }
    ~TShippedProgramFolder() { SetProgramFolder(u""); }
    TShippedProgramFolder(const TShippedProgramFolder&) = delete;
    TShippedProgramFolder& operator=(const TShippedProgramFolder&) = delete;
};

// The whole file; empty when it cannot be read.
inline std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
