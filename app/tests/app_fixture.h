// A test's own world: a fresh program folder (for templates, languages and
// relative paths) and fresh XDG folders (for the settings store and the
// per-user data folder), restored when the test ends.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "app/app_utils.h"
#include "app/project.h"

// A parameter of type "string" holding value, as the kit's templates take
// their values.
inline TEffectParam StringParam(const char16_t* name, const WideString& value) {
    TEffectParam param;
    param.Name = name;
    param.Value = value;
    param.Type = u"string";
    return param;
}

class AppFixture : public ::testing::Test {
protected:
    void SetUp() override {
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        root_ = std::string(TW_FIXTURE_DIR) + "/" + info->test_suite_name() + "." + info->name() + "." +
                std::to_string(getpid());
        std::filesystem::remove_all(root_);
        programFolder_ = root_ + "/program/";
        std::filesystem::create_directories(programFolder_);
        SetProgramFolder(UcSystem::Utf8ToWide(programFolder_));
        Override("XDG_CONFIG_HOME", root_ + "/config", oldConfig_);
        Override("XDG_DATA_HOME", root_ + "/data", oldData_);
    }

    void TearDown() override {
        SetProgramFolder(u"");
        Restore("XDG_CONFIG_HOME", oldConfig_);
        Restore("XDG_DATA_HOME", oldData_);
        std::filesystem::remove_all(root_);
    }

    // Writes a file below the program folder (folders made as needed).
    std::string WriteProgramFile(const std::string& relative, const std::string& bytes) {
        std::string path = programFolder_ + relative;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    // Runs a python3 script on a file (sys.argv[1]); the lines it prints,
    // as UTF-8. A failed run fails the test.
    std::vector<std::string> RunPython(const std::string& script, const std::string& file) {
        std::string source = root_ + "/script.py", output = root_ + "/script.out";
        std::ofstream(source) << "import sys\nsys.stdout.reconfigure(encoding='utf-8')\n" << script;
        int status = std::system(("python3 '" + source + "' '" + file + "' > '" + output + "'").c_str());
        EXPECT_EQ(status, 0) << script;
        std::vector<std::string> lines;
        std::ifstream in(output);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

    std::string root_;
    std::string programFolder_;

private:
    static void Override(const char* name, const std::string& value, std::optional<std::string>& old) {
        if (const char* current = std::getenv(name)) old = current;
        setenv(name, value.c_str(), 1);
    }
    static void Restore(const char* name, const std::optional<std::string>& old) {
        if (old) setenv(name, old->c_str(), 1);
        else unsetenv(name);
    }

    std::optional<std::string> oldConfig_;
    std::optional<std::string> oldData_;
};
