// The settings store: values shared between processes, the registry's value
// types and messages, and a file any ini reader takes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

#include "controls/tests/text_tools.h"
#include "controls/ucregistry.h"

namespace {

const char* const kKey = "\\Software\\OrvuSoft\\Tamblewick";

// Points the per-user configuration folder at a fresh folder for one test.
class Settings : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = text_tools::FixtureFolder("settings");
        const char* old = std::getenv("XDG_CONFIG_HOME");
        hadOld_ = old != nullptr;
        if (hadOld_) old_ = old;
        setenv("XDG_CONFIG_HOME", folder_.c_str(), 1);
    }
    void TearDown() override {
        if (hadOld_) setenv("XDG_CONFIG_HOME", old_.c_str(), 1);
        else unsetenv("XDG_CONFIG_HOME");
        std::filesystem::remove_all(folder_);
    }

    std::string folder_;
    std::string old_;
    bool hadOld_ = false;
};

std::string Message(const std::function<void()>& action) {
    try {
        action();
    } catch (const ERegistryException& e) {
        return e.what();
    }
    return "no error";
}

}  // namespace

TEST_F(Settings, ValueWrittenByOneProcessIsReadByAnother) {
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        TUcRegistry registry;
        bool ok = registry.OpenKey(kKey, true);
        if (ok) {
            registry.WriteString(u"Language", u"Русский.ini");
            registry.WriteBool("AutoUpdate", false);
            registry.WriteInteger("UpdateDays", 30);
            registry.WriteDateTime("UpdateDate", 45000.5);
        }
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    TUcRegistry registry;
    ASSERT_TRUE(registry.OpenKey("\\software\\orvusoft\\tamblewick", false));  // keys ignore case
    EXPECT_EQ(registry.ReadString(u"language"), u"Русский.ini");
    EXPECT_FALSE(registry.ReadBool("AutoUpdate"));
    EXPECT_EQ(registry.ReadInteger("UpdateDays"), 30);
    EXPECT_EQ(registry.ReadDateTime("UpdateDate"), 45000.5);
    EXPECT_FALSE(registry.ValueExists("AutoPreview"));
    EXPECT_EQ(registry.ReadString(u"AutoPreview"), u"");  // a missing string is empty
}

TEST_F(Settings, WrongTypesRaiseTheRegistryMessages) {
    TUcRegistry registry;
    ASSERT_TRUE(registry.OpenKey(kKey, true));
    registry.WriteInteger("AutoUpdate", 1);
    registry.WriteString(u"Language", u"English.ini");
    EXPECT_EQ(Message([&] { registry.ReadString(u"AutoUpdate"); }), "Invalid data type for 'AutoUpdate'");
    EXPECT_EQ(Message([&] { registry.ReadInteger("Language"); }), "Invalid data type for 'Language'");
    EXPECT_EQ(Message([&] { registry.ReadDateTime("AutoUpdate"); }), "Invalid data type for 'AutoUpdate'");
    EXPECT_EQ(Message([&] { registry.ReadInteger("Missing"); }), "Failed to get data for 'Missing'");
    TUcRegistry readOnly;
    ASSERT_TRUE(readOnly.OpenKeyReadOnly(kKey));
    EXPECT_EQ(Message([&] { readOnly.WriteString(u"Language", u"x"); }), "Failed to set data for 'Language'");
    EXPECT_FALSE(readOnly.OpenKey("\\Software\\Nobody", false));
}

TEST_F(Settings, StringValuesAsStored) {
    TUcRegistry registry;
    ASSERT_TRUE(registry.OpenKey(kKey, true));
    registry.WriteString(u"Empty", u"");
    uint32_t type;
    std::vector<uint8_t> data;
    ASSERT_TRUE(registry.QueryValue("Empty", type, data));
    EXPECT_EQ(data, (std::vector<uint8_t>{0, 0}));  // the terminator alone
    uint8_t one = 0;
    registry.SetValue("OneByte", REG_SZ, &one, 1);
    EXPECT_EQ(registry.ReadString(u"OneByte"), u"");
    const uint8_t embedded[] = {'a', 0, 0, 0, 'b', 0, 0, 0};
    registry.SetValue("Embedded", REG_SZ, embedded, sizeof embedded);
    EXPECT_EQ(registry.ReadString(u"Embedded"), u"a");
    registry.PutString(u"Path", u"%HOME%\\x", REG_EXPAND_SZ);
    EXPECT_EQ(registry.ReadString(u"Path"), u"%HOME%\\x");
    registry.WriteString(u"Odd name = \"quoted\"", u"line one\nline two \\ \"end\"");
    EXPECT_EQ(registry.ReadString(u"odd NAME = \"quoted\""), u"line one\nline two \\ \"end\"");
    EXPECT_TRUE(registry.DeleteValue("Path"));
    EXPECT_FALSE(registry.ValueExists("Path"));
    // Irregular string data survives a round trip through the file.
    TUcRegistry again;
    ASSERT_TRUE(again.OpenKey(kKey, false));
    ASSERT_TRUE(again.QueryValue("Embedded", type, data));
    EXPECT_EQ(data, std::vector<uint8_t>(embedded, embedded + sizeof embedded));
    EXPECT_TRUE(again.KeyExists("\\Software\\OrvuSoft"));
    EXPECT_TRUE(again.DeleteKey("\\Software\\OrvuSoft"));
    EXPECT_FALSE(again.KeyExists(kKey));
}

TEST_F(Settings, StoreIsAnIniFileForOtherReaders) {
    TW_REQUIRE_TOOL("python3");
    TUcRegistry registry;
    ASSERT_TRUE(registry.OpenKey(kKey, true));
    registry.WriteString(u"Language", u"Deutsch.ini");
    registry.WriteInteger("UpdateDays", 15);
    registry.WriteBool("AutoPreview", true);
    std::string file = TRegistry::StoreFileName(HKEY_CURRENT_USER);
    EXPECT_EQ(file, folder_ + "/registry/HKEY_CURRENT_USER.ini");
    std::string read = TW_RUN(
        "python3 -c \"import configparser, sys\n"
        "c = configparser.ConfigParser(interpolation=None)\n"
        "c.read_file(open(sys.argv[1], encoding='utf-8'))\n"
        "s = c['Software\\\\OrvuSoft\\\\Tamblewick']\n"
        "print(s['Language'], s['UpdateDays'], s['AutoPreview'])\" " + file,
        "");
    EXPECT_EQ(read, "\"Deutsch.ini\" dword:0000000f dword:00000001\n");
}
