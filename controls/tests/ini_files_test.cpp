// Unicode ini files: a language file of some hundreds of keys in UTF-16LE,
// looked up and updated, with iconv as the judge of the file written; the
// parser's rules and the typed values in tables.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "controls/tests/text_tools.h"
#include "controls/ucinifiles.h"
#include "controls/ucsysutils.h"
#include "platform/clock.h"

using text_tools::ReadBytes;
using text_tools::WriteBytes;

namespace {

WideString W(const std::string& utf8) { return UcSystem::Utf8ToWide(utf8); }
std::string U(const WideString& text) { return UcSystem::WideToUtf8(text); }

TUcMemIniFile IniFromText(const std::string& folder, const std::string& utf8) {
    std::string file = folder + "/fixture.ini";
    WriteBytes(file, "\xEF\xBB\xBF" + utf8);
    return TUcMemIniFile(W(file));
}

}  // namespace

TEST(IniFiles, LanguageFileLooksUpAndUpdates) {
    TW_REQUIRE_TOOL("iconv");
    std::string folder = text_tools::FixtureFolder("language_file", false);
    const int keys = 300;
    auto key = [](int i) { return "Open project " + std::to_string(i) + "..."; };
    // Lines before the first header, comments, padding around '=', a
    // duplicate key and a second INTERFACE section that hides the first.
    std::string text = "orphan=dropped\r\n; a comment before anything\r\n";
    text += "[INTERFACE]\r\n";
    for (int i = 0; i < keys; ++i) text += key(i) + "=first " + std::to_string(i) + "\r\n";
    text += "[Dialogs]\r\n  Cancel   =   Отмена  \r\n# hash = a key line\r\n";
    text += "  [ INTERFACE ]  \r\n";
    std::map<int, std::string> expected;
    for (int i = 0; i < keys; i += 2) {
        std::string value = i % 3 == 0 ? "Открыть проект " + std::to_string(i) : "打开项目 " + std::to_string(i);
        text += (i % 4 == 0 ? "   " : "") + key(i) + "   =  " + value + "  \r\n";
        if (i % 10 == 0) text += "; comment inside\r\n\r\n";
        expected[i] = value;
    }
    text += key(6) + "=the later value wins\r\n";
    expected[6] = "the later value wins";
    std::string file = folder + "/lang.ini";
    WriteBytes(file, "\xFF\xFE" + TW_RUN("iconv -f UTF-8 -t UTF-16LE", text));

    TUcMemIniFile ini(W(file));
    for (int i = 0; i < keys; ++i) {
        WideString ident = W(key(i));
        std::string want = expected.count(i) ? expected[i] : "default";
        EXPECT_EQ(U(ini.ReadString(u"INTERFACE", ident, u"default")), want) << key(i);
        EXPECT_EQ(U(ini.ReadString(u"interface", UcWideUpperCase(ident), u"default")), want) << key(i);
    }
    EXPECT_EQ(ini.ReadString(u"Dialogs", u"Cancel", u""), u"Отмена");
    EXPECT_EQ(ini.ReadString(u"Dialogs", u" Cancel", u"none"), u"none");
    EXPECT_EQ(ini.ReadString(u"Dialogs", u"# hash", u""), u"a key line");
    EXPECT_EQ(ini.ReadString(u"INTERFACE", u"orphan", u"none"), u"none");
    TUcStringList sections;
    ini.ReadSections(sections);
    EXPECT_EQ(sections.GetTextStr(), u"INTERFACE\r\nDialogs\r\nINTERFACE\r\n");

    ini.WriteString(u"interface", W(key(2)), u"новое значение");
    ini.WriteString(u"New", u"Key", u"Value");
    ini.UpdateFile();
    std::string written = TW_RUN("iconv -f UTF-16 -t UTF-8", ReadBytes(file));
    std::string want = "[INTERFACE]\r\n";
    for (int i = 0; i < keys; ++i) want += key(i) + "=first " + std::to_string(i) + "\r\n";
    want += "\r\n[Dialogs]\r\nCancel=Отмена\r\n# hash=a key line\r\n\r\n[INTERFACE]\r\n";
    for (int i = 0; i < keys; i += 2)
        want += key(i) + "=" + (i == 2 ? "новое значение" : i == 6 ? "Открыть проект 6" : expected[i]) + "\r\n";
    want += key(6) + "=the later value wins\r\n\r\n[New]\r\nKey=Value\r\n\r\n";
    EXPECT_EQ(written, want);
    EXPECT_EQ(ReadBytes(file).substr(0, 2), "\xFF\xFE");
    TUcMemIniFile again(W(file));
    EXPECT_EQ(again.ReadString(u"INTERFACE", W(key(2)), u""), u"новое значение");
}

TEST(IniFiles, ParserRules) {
    std::string folder = text_tools::FixtureFolder("ini_rules");
    TUcMemIniFile ini = IniFromText(folder,
                                    "[INTERFACE]\nOk = Fine\na=b=c\n[ Main ]\nx=1\n[Main]x\nno separator\n"
                                    "key=one\nkey=two\n[Main]\nlater=yes\n");
    struct Case {
        WideString section, ident, value;
    };
    const Case cases[] = {
        {u"INTERFACE", u"Ok", u"Fine"},  {u"interface", u"ok", u"Fine"}, {u"INTERFACE", u" Ok", u"-"},
        {u"INTERFACE", u"a", u"b=c"},    {u"Main", u"x", u"-"},          // the later Main hides the first
        {u"Main", u"later", u"yes"},     {u"Missing", u"Ok", u"-"},
    };
    for (const auto& c : cases) EXPECT_EQ(ini.ReadString(c.section, c.ident, u"-"), c.value) << U(c.ident);

    TUcMemIniFile first = IniFromText(folder, "[Main]\nx=1\n[Main]x\nno separator\nkey=one\nkey=two\n");
    EXPECT_EQ(first.ReadString(u"Main", u"key", u""), u"two");
    EXPECT_EQ(first.ReadString(u"Main", u"[Main]x", u"-"), u"-");
    TUcStringList lines;
    first.ReadSectionValues(u"Main", lines);
    EXPECT_EQ(lines.GetTextStr(), u"x=1\r\n[Main]x\r\nno separator\r\nkey=one\r\nkey=two\r\n");
    first.ReadSection(u"Main", lines);
    EXPECT_EQ(lines.GetTextStr(), u"x\r\n\r\n\r\nkey\r\nkey\r\n");
    first.DeleteKey(u"Main", u"KEY");
    EXPECT_EQ(first.ReadString(u"Main", u"key", u""), u"one");
    first.EraseSection(u"main");
    EXPECT_FALSE(first.SectionExists(u"Main"));

    TUcMemIniFile none(W(folder + "/missing.ini"));
    EXPECT_EQ(none.ReadString(u"a", u"b", u"default"), u"default");
    TUcMemIniFile unnamed(u"");
    EXPECT_EQ(unnamed.ReadString(u"a", u"b", u"default"), u"default");
    std::filesystem::remove_all(folder);
}

TEST(IniFiles, TypedValues) {
    TUcMemIniFile ini(u"");
    struct IntegerCase {
        WideString text;
        int32_t value;
    };
    const IntegerCase integers[] = {
        {u"0x1F", 31}, {u"0X1f", 31}, {u"$1F", 31},        {u"1F", -5},  {u"-12", -12},   {u"+7", 7},
        {u"0x", -5},   {u"", -5},     {u"2147483648", -5}, {u"-2147483648", INT32_MIN}, {u"$FFFFFFFF", -1},
    };
    for (const auto& c : integers) {
        ini.WriteString(u"S", u"i", c.text);
        EXPECT_EQ(ini.ReadInteger(u"S", u"i", -5), c.value) << U(c.text);
    }
    ini.WriteString(u"S", u"b", u"2");
    EXPECT_TRUE(ini.ReadBool(u"S", u"b", false));
    ini.WriteBool(u"S", u"b", false);
    EXPECT_EQ(ini.ReadString(u"S", u"b", u""), u"0");
    EXPECT_TRUE(ini.ReadBool(u"S", u"missing", true));

    ini.WriteFloat(u"S", u"f", 1.5);
    EXPECT_EQ(ini.ReadString(u"S", u"f", u""), u"1.5");
    ini.WriteString(u"S", u"f", u"2,25");
    EXPECT_EQ(ini.ReadFloat(u"S", u"f", 0), 2.25);
    ini.WriteString(u"S", u"f", u"1.5x");
    EXPECT_EQ(ini.ReadFloat(u"S", u"f", -1), -1);

    double date, time;
    ASSERT_TRUE(TryEncodeDate(2024, 2, 29, date));
    ASSERT_TRUE(TryEncodeTime(13, 45, 30, 0, time));
    ini.WriteDateTime(u"S", u"d", date + time);
    EXPECT_EQ(ini.ReadString(u"S", u"d", u""), u"2024-02-29 13:45:30");
    EXPECT_DOUBLE_EQ(ini.ReadDateTime(u"S", u"d", 0), date + time);
    ini.WriteDate(u"S", u"d", date);
    EXPECT_EQ(ini.ReadDate(u"S", u"d", 0), date);
    ini.WriteTime(u"S", u"t", time);
    EXPECT_DOUBLE_EQ(ini.ReadTime(u"S", u"t", 0), time);
    ini.WriteString(u"S", u"d", u"2023-02-29");
    EXPECT_EQ(ini.ReadDate(u"S", u"d", 7), 7);

    TMemoryStream bytes(std::vector<uint8_t>{0x00, 0xAB, 0x7F});
    ini.WriteBinaryStream(u"S", u"bin", bytes);
    EXPECT_EQ(ini.ReadString(u"S", u"bin", u""), u"00AB7F");
    TMemoryStream target(std::vector<uint8_t>{9});
    target.SetPosition(1);
    EXPECT_EQ(ini.ReadBinaryStream(u"S", u"bin", target), 3);
    EXPECT_EQ(target.Bytes(), (std::vector<uint8_t>{9, 0x00, 0xAB, 0x7F}));
    EXPECT_EQ(target.GetPosition(), 1);
    EXPECT_EQ(ini.ReadBinaryStream(u"S", u"missing", target), 0);
}
