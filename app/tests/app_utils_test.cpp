// The application's shared routines and its settings.
#include <gtest/gtest.h>

#include <cmath>

#include "app/tests/app_fixture.h"
#include "controls/ucregistry.h"
#include "controls/ucsysutils.h"
#include "platform/clock.h"
#include "platform/registry.h"
#include "platform/testing/test_support.h"

namespace {

class AppUtils : public AppFixture {};

std::string Message(const std::function<void()>& action) {
    try {
        action();
    } catch (const Exception& e) {
        return e.what();
    }
    return "no error";
}

TEST(AppUtilsText, EscapingColoursAndMediaKinds) {
    struct {
        WideString text, escaped;
    } escapes[] = {
        {u"", u""},
        {u"plain Ünïcode\r\nline", u"plain Ünïcode\r\nline"},
        {u"a<b>&\"c\"'d'", u"a&lt;b&gt;&amp;&quot;c&quot;&apos;d&apos;"},
        {u"<<&&>>", u"&lt;&lt;&amp;&amp;&gt;&gt;"},
        {u"&amp;", u"&amp;amp;"},
    };
    for (const auto& c : escapes) EXPECT_EQ(XmlEscape(c.text), c.escaped);

    struct {
        TColor colour;
        WideString text;
    } colours[] = {
        {RGBColor(255, 0, 0), u"0xFF0000"},
        {RGBColor(0, 255, 0), u"0x00FF00"},
        {RGBColor(0x12, 0xAB, 0xCD), u"0x12ABCD"},
        {0, u"0x000000"},
    };
    for (const auto& c : colours) {
        EXPECT_EQ(ColorToHex(c.colour), c.text);
        EXPECT_EQ(HexToColor(c.text), c.colour);
    }
    EXPECT_EQ(HexToColor("0x00ff00"), RGBColor(0, 255, 0));  // lower-case digits read too
    EXPECT_EQ(HexToColor("##FF6600"), RGBColor(0xFF, 0x66, 0x00));  // the prefix is not checked
    EXPECT_THROW(HexToColor("0xGG0000"), EConvertError);
    EXPECT_THROW(HexToColor("0xFF00"), EConvertError);
    EXPECT_THROW(HexToColor(""), EConvertError);

    struct {
        WideString name;
        uint8_t kind;
    } kinds[] = {
        {u"a.bmp", mkBitmap},    {u"PHOTO.JPEG", mkJpeg},      {u"x/y.Jpg", mkJpeg}, {u"z.gif", mkGif},
        {u"z.PNG", mkPng},       {u"intro.swf", mkSwf},        {u"noextension", mkUnknown},
        {u"archive.png.zip", mkUnknown}, {u"dir.png/file", mkUnknown}, {u"", mkUnknown},
    };
    for (const auto& c : kinds) EXPECT_EQ(GetMediaKind(c.name), c.kind) << UcSystem::WideToUtf8(c.name);
}

TEST(AppUtilsText, BufferCopies) {
    WideChar buffer[6];
    WideStrToBuffer(buffer, u"abcdefgh", 6);
    EXPECT_EQ(BufferToWideStr(buffer), u"abcde");
    WideStrToBuffer(buffer, u"ab", 6);
    EXPECT_EQ(BufferToWideStr(buffer), u"ab");
    WideChar copy[8];
    const WideChar source[] = {u'x', u'y', 0, u'z'};
    EXPECT_EQ(BufferToWideStr(WideStrLCopy(copy, source, 7)), u"xy");
    EXPECT_EQ(BufferToWideStr(WideStrLCopy(copy, u"abcdef", 3)), u"abc");
}

TEST_F(AppUtils, PathsRelativeToTheProgramFolder) {
    WideString program = GetProgramFolder();
    ASSERT_EQ(program, UcSystem::Utf8ToWide(programFolder_));
    struct {
        WideString path, relative;
    } relatives[] = {
        {u"", u""},
        {program + u"resources/clip art/sun.png", u"resources/clip art/sun.png"},
        {u"/elsewhere/sun.png", u"/elsewhere/sun.png"},
        {u"D:\\Pictures\\sun.png", u"D:\\Pictures\\sun.png"},
        // File names are case-sensitive: another case is another folder.
        {UcWideUpperCase(program) + u"sun.png", UcWideUpperCase(program) + u"sun.png"},
    };
    for (const auto& c : relatives) EXPECT_EQ(MakeRelativePath(c.path), c.relative) << UcSystem::WideToUtf8(c.path);

    struct {
        WideString path, absolute;
    } absolutes[] = {
        {u"", u""},
        {u"resources/sun.png", program + u"resources/sun.png"},
        {u"resources\\sun.png", program + u"resources\\sun.png"},  // an old file's relative path
        {u"C:\\Program Files\\x.png", u"C:\\Program Files\\x.png"},
        {u"c:/x.png", u"c:/x.png"},
        {u"/home/user/x.png", u"/home/user/x.png"},
    };
    for (const auto& c : absolutes) EXPECT_EQ(MakeAbsolutePath(c.path), c.absolute) << UcSystem::WideToUtf8(c.path);
    // A long path comes back whole in both directions.
    WideString deep = program + WideString(300, u'd') + u"/" + WideString(300, u'e') + u".png";
    EXPECT_EQ(MakeAbsolutePath(MakeRelativePath(deep)), deep);
}

TEST_F(AppUtils, PerUserFoldersFollowXdg) {
    WideString data = GetProgramDataFolder();
    EXPECT_EQ(data, UcSystem::Utf8ToWide(root_ + "/data/Orvu Software/Tamblewick/"));
    EXPECT_TRUE(std::filesystem::is_directory(UcSystem::WideToUtf8(data)));
    EXPECT_EQ(GetAppDataFolder(), UcSystem::Utf8ToWide(root_ + "/data/"));
}

TEST_F(AppUtils, SettingsDefaultsAndRoundTrips) {
    const TFixedClock clock(45291.75);  // 31 December 2023, 18:00
    EXPECT_EQ(GetLanguageFile(), UcSystem::Utf8ToWide(programFolder_ + "languages/English.ini"));
    EXPECT_EQ(GetUpdateDate(), 45291.0);  // today, without the time
    EXPECT_TRUE(GetAutoUpdate());
    EXPECT_EQ(GetUpdateDays(), 15);
    EXPECT_TRUE(GetAutoPreview());

    WriteProgramFile("languages/Русский.ini", "[INTERFACE]\n");
    SetLanguageFile(UcSystem::Utf8ToWide(programFolder_ + "languages/Русский.ini"));
    SetUpdateDate(45000.0);
    SetAutoUpdate(false);
    SetUpdateDays(30);
    SetAutoPreview(false);
    EXPECT_EQ(GetLanguageFile(), UcSystem::Utf8ToWide(programFolder_ + "languages/Русский.ini"));
    EXPECT_EQ(GetUpdateDate(), 45000.0);
    EXPECT_FALSE(GetAutoUpdate());
    EXPECT_EQ(GetUpdateDays(), 30);
    EXPECT_FALSE(GetAutoPreview());

    // Only the file name is stored; once the file is gone, English is used.
    TUcRegistry registry;
    ASSERT_TRUE(registry.OpenKey("\\Software\\OrvuSoft\\Tamblewick", false));
    EXPECT_EQ(registry.ReadString(WideString(u"Language")), u"Русский.ini");
    std::filesystem::remove(programFolder_ + "languages/Русский.ini");
    EXPECT_EQ(GetLanguageFile(), UcSystem::Utf8ToWide(programFolder_ + "languages/English.ini"));
}

TEST_F(AppUtils, SettingOfTheWrongTypeRaisesTheRegistryMessage) {
    TUcRegistry registry;
    ASSERT_TRUE(registry.OpenKey("\\Software\\OrvuSoft\\Tamblewick", true));
    registry.WriteString(u"AutoUpdate", u"yes");
    registry.WriteInteger("Language", 7);
    registry.WriteBool("UpdateDate", true);
    EXPECT_EQ(Message([] { GetAutoUpdate(); }), "Invalid data type for 'AutoUpdate'");
    EXPECT_EQ(Message([] { GetLanguageFile(); }), "Invalid data type for 'Language'");
    EXPECT_EQ(Message([] { GetUpdateDate(); }), "Invalid data type for 'UpdateDate'");
    EXPECT_EQ(GetUpdateDays(), 15);  // the others still give their defaults
}

TEST_F(AppUtils, SettingsStoreReadsWithConfigparser) {
    if (!ToolInstalled("python3")) TW_SKIP_OR_FAIL() << "python3 is missing";
    SetLanguageFile(u"/anywhere/Deutsch.ini");
    SetAutoUpdate(false);
    SetUpdateDays(7);
    SetAutoPreview(true);
    SetUpdateDate(45000.5);
    std::string store = TRegistry::StoreFileName(HKEY_CURRENT_USER);
    std::vector<std::string> lines = RunPython(
        "import configparser, struct\n"
        "c = configparser.ConfigParser(interpolation=None)\n"
        "c.read(sys.argv[1], encoding='utf-8')\n"
        "s = c['Software\\\\OrvuSoft\\\\Tamblewick']\n"
        "date = struct.unpack('<d', bytes(int(b, 16) for b in s['UpdateDate'][4:].split(',')))[0]\n"
        "print(s['Language'], s['AutoUpdate'], s['UpdateDays'], s['AutoPreview'], date)\n",
        store);
    ASSERT_EQ(lines.size(), 1u);
    const std::string& line = lines[0];
    EXPECT_EQ(line, "\"Deutsch.ini\" dword:00000000 dword:00000007 dword:00000001 45000.5");
}

}  // namespace
