// Wide string lists and text files: marks and encodings against files made
// by iconv, line splitting, the sorted mode, change events and safe saving.
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "controls/tests/text_tools.h"
#include "controls/ucsysutils.h"
#include "controls/ucwidestrings.h"

using text_tools::ReadBytes;
using text_tools::WriteBytes;

namespace {

std::vector<WideString> Lines(const UcWideStrings::TWideStrings& list) {
    std::vector<WideString> lines;
    for (int i = 0; i < list.Count(); ++i) lines.push_back(list.Get(i));
    return lines;
}

std::vector<WideString> LoadLines(const std::string& bytes, int* encoding = nullptr) {
    TMemoryStream stream(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    TUcStringList list;
    list.LoadFromStream(stream);
    if (encoding) {
        stream.SetPosition(0);
        *encoding = DetectStreamEncoding(stream);
    }
    return Lines(list);
}

WideString W(const std::string& utf8) { return UcSystem::Utf8ToWide(utf8); }

}  // namespace

// One master text in UTF-8 made into every encoding a file may have: all
// load to the same lines, and saving writes what iconv makes of them.
TEST(TextFiles, EveryEncodingLoadsTheSameLines) {
    TW_REQUIRE_TOOL("iconv");
    std::string folder = text_tools::FixtureFolder("text_files", false);
    const std::string master =
        "Grüße aus Köln\r\nПривет, мир\n中文文本\u2028after the line separator\r\n😀 beyond the plane\nlast line";
    const std::string latin = "Grüße aus Köln\r\nÇa coûte 5 €\nnaïve café\rlast line\r\n";
    struct Form {
        const char* name;
        std::string mark;
        const char* target;
        bool latinOnly;
        int encoding;
    };
    const Form forms[] = {
        {"utf16le", "\xFF\xFE", "UTF-16LE", false, encUtf16LE},
        {"utf16be", "\xFE\xFF", "UTF-16BE", false, encUtf16BE},
        {"utf8", "\xEF\xBB\xBF", "UTF-8", false, encUtf8},
        {"cp1252", "", "CP1252", true, encAnsi},
    };
    for (const std::string* texts : {&master, &latin}) {
        const std::string& text = *texts;
        std::vector<WideString> expected = LoadLines("\xEF\xBB\xBF" + text);
        ASSERT_GE(expected.size(), 4u);
        for (const auto& form : forms) {
            if (form.latinOnly && texts == &master) continue;
            std::string file = folder + "/" + form.name + ".txt";
            WriteBytes(file, form.mark + TW_RUN(std::string("iconv -f UTF-8 -t ") + form.target, text));
            TUcStringList list;
            list.LoadFromFile(W(file));
            EXPECT_EQ(Lines(list), expected) << form.name;
            EXPECT_EQ(list.LastFileEncoding(), form.encoding) << form.name;
        }
        // Saved: the mark, then exactly iconv's UTF-16LE of the lines with CR LF after each.
        TUcStringList list;
        list.LoadFromFile(W(folder + "/utf8.txt"));
        list.SaveToFile(W(folder + "/saved.txt"));
        std::string joined;
        for (const auto& line : expected) joined += UcSystem::WideToUtf8(line) + "\r\n";
        EXPECT_EQ(ReadBytes(folder + "/saved.txt"), "\xFF\xFE" + TW_RUN("iconv -f UTF-8 -t UTF-16LE", joined));
    }
}

TEST(TextFiles, MarksAndOddFiles) {
    int encoding;
    EXPECT_EQ(LoadLines(std::string("\xFF\xFE" "A\0\r\0\n\0B\0", 10), &encoding), (std::vector<WideString>{u"A", u"B"}));
    EXPECT_EQ(encoding, encUtf16LE);
    // Big-endian text is swapped up to its first zero unit, where the text ends.
    EXPECT_EQ(LoadLines(std::string("\xFE\xFF\0A\0\0\0B", 8), &encoding), std::vector<WideString>{u"A"});
    EXPECT_EQ(encoding, encUtf16BE);
    EXPECT_EQ(LoadLines("x", &encoding), std::vector<WideString>{u"x"});  // one byte: no mark fits
    EXPECT_EQ(encoding, encAnsi);
    EXPECT_TRUE(LoadLines("\xFF\xFE").empty());
    EXPECT_EQ(LoadLines(std::string("\xFF\xFE" "A\0B", 5)), std::vector<WideString>{u"A"});  // odd byte ignored
    // Malformed UTF-8 costs its own bytes, not the file.
    EXPECT_EQ(LoadLines("\xEF\xBB\xBF" "ok\xE4\xB8"), std::vector<WideString>{u"ok\uFFFD"});

    TUcStringList list;
    list.SetTextStr(u"A\r\nB");
    TMemoryStream out;
    list.SaveToStream(out);
    EXPECT_EQ(out.Bytes(), (std::vector<uint8_t>{0xFF, 0xFE, 'A', 0, '\r', 0, '\n', 0, 'B', 0, '\r', 0, '\n', 0}));
}

TEST(WideStrings, LinesEndAtEveryBreak) {
    struct Case {
        WideString text;
        std::vector<WideString> lines;
    };
    const Case cases[] = {
        {u"x\ry", {u"x", u"y"}},
        {u"x\ny", {u"x", u"y"}},
        {u"x\u2028y", {u"x", u"y"}},
        {u"x\r\n\u2028y", {u"x", u"y"}},
        {u"x\n\ny\r\n", {u"x", u"", u"y"}},
        {WideString(u"x\0y", 3), {u"x"}},
        {u"", {}},
    };
    TUcStringList list;
    for (const auto& c : cases) {
        list.SetTextStr(c.text);
        EXPECT_EQ(Lines(list), c.lines);
    }
    list.SetTextStr(u"a\nb");
    EXPECT_EQ(list.GetTextStr(), u"a\r\nb\r\n");
}

TEST(WideStrings, NamesAndSearches) {
    TUcStringList list;
    list.SetTextStr(u"a=b\nplain\nKey=1=2\n=empty");
    EXPECT_EQ(list.Names(0), u"a");
    EXPECT_EQ(list.Names(1), u"");
    EXPECT_EQ(list.IndexOfName(u"KEY"), 2);
    EXPECT_EQ(list.IndexOfName(u"plain"), -1);
    EXPECT_EQ(list.IndexOfName(u""), 3);
    EXPECT_EQ(list.IndexOf(u"PLAIN"), 1);
    list.SetCaseSensitive(true);
    EXPECT_EQ(list.IndexOf(u"PLAIN"), -1);
}

TEST(WideStrings, SortedModeAndErrors) {
    TUcStringList list;
    list.SetTextStr(u"pear\nApple\nbanana\ncherry");
    list.SetSorted(true);
    EXPECT_EQ(Lines(list), (std::vector<WideString>{u"Apple", u"banana", u"cherry", u"pear"}));
    EXPECT_EQ(list.Add(u"BANANA"), 1);  // ignored: the index of the one there
    EXPECT_EQ(list.Count(), 4);
    list.SetDuplicates(dupError);
    EXPECT_THROW(list.Add(u"Pear"), EStringListError);
    list.SetDuplicates(dupAccept);
    EXPECT_EQ(list.Add(u"Banana"), 1);  // before the equal items
    EXPECT_EQ(list.Get(2), u"banana");
    EXPECT_EQ(list.IndexOfName(u"x"), -1);
    list.Add(u"x=1");
    EXPECT_EQ(list.IndexOfName(u"X"), list.IndexOf(u"x=1"));

    auto message = [](auto&& action) {
        try {
            action();
        } catch (const EStringListError& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ(message([&] { list.Insert(0, u"z"); }), "Operation not allowed on sorted list");
    EXPECT_EQ(message([&] { list.Put(0, u"z"); }), "Operation not allowed on sorted list");
    TUcStringList six;
    six.SetTextStr(u"0\n1\n2\n3\n4\n5");
    EXPECT_EQ(message([&] { six.Exchange(5, 7); }), "List index out of bounds (7)");
    EXPECT_EQ(message([&] { six.Exchange(9, 1); }), "List index out of bounds (9)");
    EXPECT_EQ(message([&] { six.Get(-1); }), "List index out of bounds (-1)");
    EXPECT_EQ(six.Count(), 6);
    six.Move(0, 5);
    EXPECT_EQ(six.GetTextStr(), u"1\r\n2\r\n3\r\n4\r\n5\r\n0\r\n");
}

TEST(WideStrings, UpdateBracketFiresOnceAtTheEnd) {
    TUcStringList list;
    int changing = 0, changed = 0;
    list.OnChanging = [&](TUcStringList*) { ++changing; };
    list.OnChange = [&](TUcStringList*) { ++changed; };
    list.BeginUpdate();
    list.Add(u"a");
    list.BeginUpdate();
    list.Add(u"b");
    list.EndUpdate();
    list.Add(u"c");
    list.EndUpdate();
    EXPECT_EQ(changing, 0);
    EXPECT_EQ(changed, 1);
    list.Delete(0);
    EXPECT_EQ(changing, 1);
    EXPECT_EQ(changed, 2);
    list.Clear();
    list.Clear();  // an empty list does not change
    EXPECT_EQ(changed, 3);
}

TEST(WideStrings, AssignAndTheAnsiView) {
    TUcStringList source;
    source.SetDelimiter(u';');
    int object = 7;
    source.AddObject(u"Grüße", &object);
    source.Add(u"Жук");
    TUcStringList copy;
    copy.Add(u"old");
    copy.Assign(source);
    EXPECT_EQ(copy.Delimiter(), u';');
    EXPECT_EQ(Lines(copy), Lines(source));
    EXPECT_EQ(copy.GetObject(0), &object);

    TAnsiStringsForWideStringsAdapter& ansi = copy.AnsiStrings();
    EXPECT_EQ(ansi.Get(0), "Gr\xFC\xDF" "e");
    EXPECT_EQ(ansi.Get(1), "???");
    TMemoryStream cyrillic(std::vector<uint8_t>{0xC6, 0xF3, 0xEA, '\n', 'x'});
    ansi.LoadFromStreamEx(cyrillic, 1251);
    EXPECT_EQ(Lines(copy), (std::vector<WideString>{u"Жук", u"x"}));
    TMemoryStream out;
    ansi.SaveToStreamEx(out, 1251);
    EXPECT_EQ(out.Bytes(), (std::vector<uint8_t>{0xC6, 0xF3, 0xEA, '\r', '\n', 'x', '\r', '\n'}));
}

// A save that fails leaves the old file whole. The temporary file's name is
// longer than the target's, so a target name at the length limit makes the
// save fail even for root.
// A marked UTF-8 file with one invalid byte keeps every line through a load
// and a save.
TEST(TextFiles, OneInvalidByteLosesOnlyItself) {
    std::string folder = text_tools::FixtureFolder("text_invalid_byte");
    WriteBytes(folder + "/in.txt", "\xEF\xBB\xBF" "first\r\nsec\xFFond\r\nthird\r\n");
    TUcStringList list;
    list.LoadFromFile(W(folder + "/in.txt"));
    EXPECT_EQ(Lines(list), (std::vector<WideString>{u"first", u"sec\uFFFDond", u"third"}));
    list.SaveToFile(W(folder + "/in.txt"));
    TUcStringList again;
    again.LoadFromFile(W(folder + "/in.txt"));
    EXPECT_EQ(Lines(again), Lines(list));
    std::filesystem::remove_all(folder);
}

TEST(TextFiles, FailedSaveKeepsTheOldFile) {
    std::string folder = text_tools::FixtureFolder("failed_save");
    std::string target = folder + "/" + std::string(250, 'n');
    WriteBytes(target, "old contents");
    TUcStringList list;
    list.Add(u"new");
    try {
        list.SaveToFile(W(target));
        FAIL() << "the save did not fail";
    } catch (const EFCreateError& e) {
        EXPECT_NE(std::string(e.what()).find("Cannot create file \"" + target + "\"."), std::string::npos) << e.what();
    }
    EXPECT_EQ(ReadBytes(target), "old contents");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
    EXPECT_THROW(list.LoadFromFile(W(folder + "/missing.txt")), EFOpenError);
    std::filesystem::remove_all(folder);
}
