// Wide path, file and text helpers: backslash paths with drives and network
// shares, '/' paths, and the file-system questions.
#include <gtest/gtest.h>

#include <filesystem>

#include "controls/tests/text_tools.h"
#include "controls/ucsysutils.h"
#include "controls/ucwidestrutils.h"

namespace {
std::string U(const WideString& text) { return UcSystem::WideToUtf8(text); }
}  // namespace

TEST(Paths, PartsOfNames) {
    struct Case {
        WideString name, path, file, drive;
    };
    const Case cases[] = {
        {u"C:\\a\\b\\x.txt", u"C:\\a\\b\\", u"x.txt", u"C:"},
        {u"C:name.txt", u"C:", u"name.txt", u"C:"},
        {u"\\\\server\\share\\dir\\f.ini", u"\\\\server\\share\\dir\\", u"f.ini", u"\\\\server\\share"},
        {u"\\\\server\\share", u"\\\\server\\", u"share", u"\\\\server\\share"},
        {u"\\\\server", u"\\\\", u"server", u"\\\\server"},
        {u"/home/user/проект.ini", u"/home/user/", u"проект.ini", u""},
        {u"relative/dir\\mixed.txt", u"relative/dir\\", u"mixed.txt", u""},
        {u"plain.txt", u"", u"plain.txt", u""},
        {u"/usr/a:b/c", u"/usr/a:b/", u"c", u""},  // a colon inside a name is no drive
    };
    for (const auto& c : cases) {
        EXPECT_EQ(WideExtractFilePath(c.name), c.path) << U(c.name);
        EXPECT_EQ(WideExtractFileName(c.name), c.file) << U(c.name);
        EXPECT_EQ(WideExtractFileDrive(c.name), c.drive) << U(c.name);
    }
    EXPECT_EQ(WideExtractPathAfterDrive(u"C:\\a\\b.txt"), u"\\a\\");
}

TEST(Paths, RelativePaths) {
    struct Case {
        WideString base, destination, relative;
    };
    const Case cases[] = {
        {u"C:\\a\\b\\x.txt", u"C:\\a\\c\\y.txt", u"..\\c\\y.txt"},
        {u"C:\\a\\x.txt", u"C:\\a\\b\\y.txt", u"b\\y.txt"},
        {u"C:\\a\\x.txt", u"D:\\a\\y.txt", u"D:\\a\\y.txt"},         // another drive: unchanged
        {u"c:\\PROGRAM\\", u"C:\\Program\\text\\theme\\a.swf", u"text\\theme\\a.swf"},
        {u"C:\\a\\b\\c\\", u"C:\\x.txt", u"..\\..\\..\\x.txt"},
        {u"/opt/app/", u"/opt/app/text/theme/a.swf", u"text/theme/a.swf"},
        {u"/opt/app/", u"/home/me/pictures/p.png", u"../../home/me/pictures/p.png"},
        {u"/opt/app/x", u"/opt/app/y", u"y"},
        {u"\\\\srv\\share\\a\\", u"\\\\srv\\share\\b\\f", u"..\\b\\f"},
        {u"\\\\srv\\share\\a\\", u"\\\\other\\share\\b\\f", u"\\\\other\\share\\b\\f"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WideExtractRelativePath(c.base, c.destination), c.relative) << U(c.base) << " -> " << U(c.destination);
}

TEST(Paths, TextHelpers) {
    EXPECT_EQ(WideLastDelimiter(u"\\:", u"C:\\a\\b"), 5);
    EXPECT_EQ(WideLastDelimiter(u"\\:", u"abc"), 0);
    EXPECT_EQ(WideTextPos(u"PROGRAM", u"C:\\Program Files\\x"), 4);
    EXPECT_EQ(WideTextPos(u"ПРОЕКТ", u"мой проект"), 5);
    EXPECT_EQ(WideTextPos(u"zz", u"abc"), 0);
    EXPECT_EQ(WideAdjustLineBreaks(u"a\rb\nc\u2028d\r\ne", tlbsCRLF), u"a\r\nb\r\nc\r\nd\r\ne");
    EXPECT_EQ(WideAdjustLineBreaks(u"\r\n\r", tlbsLF), u"\n\n");
    EXPECT_EQ(WideAdjustLineBreaks(u"a\nb", tlbsCR), u"a\rb");
    EXPECT_EQ(UcWideUpperCase(u"straße ж"), u"STRAßE Ж");
    EXPECT_EQ(WideLibraryErrorMessage(u"mylib", 999999), u"Unspecified error (999999) from mylib.");
    EXPECT_FALSE(WideSysErrorMessage(2).empty());
}

TEST(Paths, FilesAndFolders) {
    std::string folder = text_tools::FixtureFolder("paths");
    WideString wideFolder = UcSystem::Utf8ToWide(folder);
    text_tools::WriteBytes(folder + "/файл.txt", "x");
    std::filesystem::create_directory(folder + "/sub");
    EXPECT_TRUE(WideFileExists(wideFolder + u"/файл.txt"));
    EXPECT_FALSE(WideFileExists(wideFolder + u"/sub"));
    EXPECT_TRUE(WideDirectoryExists(wideFolder + u"/sub"));
    EXPECT_FALSE(WideDirectoryExists(wideFolder + u"/файл.txt"));
    EXPECT_TRUE(WideFileExists(wideFolder + u"/фай?.t*"));  // wildcards: the first match is a file
    EXPECT_FALSE(WideFileExists(wideFolder + u"/su*"));     // ... or a folder
    EXPECT_FALSE(WideFileExists(wideFolder + u"/missing"));
    EXPECT_EQ(WideFileGetAttr(wideFolder + u"/sub") & faDirectory, faDirectory);
    EXPECT_EQ(WideFileGetAttr(wideFolder + u"/missing"), -1);
    EXPECT_EQ(WideFileOpen(wideFolder + u"/missing", fmOpenRead), -1);
    EXPECT_EQ(WideFileOpen(wideFolder + u"/sub", fmOpenRead), -1);
    EXPECT_EQ(WideExpandFileName(wideFolder + u"/sub/../файл.txt"), wideFolder + u"/файл.txt");
    EXPECT_EQ(WideExpandFileName(u"C:\\x"), u"C:\\x");
    EXPECT_EQ(WideWin32Check(5), 5);
    EXPECT_THROW(WideWin32Check(0), EOSError);
    std::filesystem::remove_all(folder);
}

TEST(Paths, WideBuffers) {
    WideChar* copy = WideStrNew(u"abc");
    EXPECT_EQ(WideStrLen(copy), 3u);
    EXPECT_EQ(WideStrBufSize(copy), 2u * 4 + 4);
    EXPECT_EQ(WideStrScan(copy, u'\0'), WideStrEnd(copy));
    EXPECT_EQ(WideStrScan(copy, u'z'), nullptr);
    WideChar small[3];
    WideStrLimitedCopy(small, u"abcdef", 2);
    EXPECT_EQ(WideString(small), u"ab");
    WideStrMove(copy + 1, copy, 2);  // overlapping
    EXPECT_EQ(WideString(copy), u"aab");
    EXPECT_EQ(WideStrNew(nullptr), nullptr);
    WideStrDispose(copy);
    EXPECT_EQ(WideStringFromBuffer(u"abc", 2), u"ab");
    EXPECT_EQ(WideStringFromBuffer(u"abc", -1), u"abc");
}
