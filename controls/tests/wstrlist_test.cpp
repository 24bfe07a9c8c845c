// Locale-sorted wide string lists, and the synced wide properties and
// helper registry of components.
#include <gtest/gtest.h>

#include "controls/ucclasses.h"
#include "controls/wstrlist.h"
#include "platform/testing/test_support.h"

namespace {

std::vector<WideString> Lines(const WStrList::TWideStrings& list) {
    std::vector<WideString> lines;
    for (int i = 0; i < list.Count(); ++i) lines.push_back(list.Get(i));
    return lines;
}

}  // namespace

TEST(WStrList, LocaleOrderAndSearch) {
    WStrList::TWideStringList list;
    list.SetLocale(1033);
    for (const char16_t* name : {u"cherry", u"apple", u"Banana"}) list.Add(name);
    EXPECT_EQ(list.IndexOf(u"APPLE"), 1);
    list.SetSorted(true);
    EXPECT_EQ(Lines(list), (std::vector<WideString>{u"apple", u"Banana", u"cherry"}));
    EXPECT_EQ(list.Add(u"BANANA"), 1);  // ignored: the existing index
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Add(u"avocado"), 1);
    list.SetSorted(false);
    list.Add(u"0 first?");  // appended: no longer sorted
    EXPECT_EQ(list.Get(4), u"0 first?");
    list.SetDuplicates(WStrList::TWideStringList::dupError);
    list.Clear();
    list.SetSorted(true);
    list.Add(u"x");
    EXPECT_THROW(list.Add(u"X"), EStringListError);
    EXPECT_THROW(list.Insert(0, u"y"), EStringListError);
    EXPECT_THROW(list.Get(1), EStringListError);
}

// German sorts a-umlaut with a, Swedish after z: each list collates in its
// own locale, and sorts again when the locale changes.
TEST(WStrList, EachListCollatesInItsLocale) {
    if (!WStrList::HasLocaleCollation(0x0407) || !WStrList::HasLocaleCollation(0x041D))
        TW_SKIP_OR_FAIL() << "the de_DE and sv_SE locales are not installed (scripts/setup.sh builds them)";
    WStrList::TWideStringList list;
    list.SetLocale(0x0407);
    for (const char16_t* name : {u"zebra", u"\u00C4hre", u"Ahorn", u"Birne"}) list.Add(name);
    list.SetSorted(true);
    EXPECT_EQ(Lines(list), (std::vector<WideString>{u"Ahorn", u"\u00C4hre", u"Birne", u"zebra"}));
    EXPECT_EQ(list.IndexOf(u"\u00E4HRE"), 1);
    list.SetLocale(0x041D);
    EXPECT_EQ(Lines(list), (std::vector<WideString>{u"Ahorn", u"Birne", u"zebra", u"\u00C4hre"}));
    EXPECT_EQ(list.Add(u"\u00D6l"), 4);
}

TEST(WStrList, ItemsKeepTheSystemCodePage) {
    WStrList::TWideStringList list;
    list.Add(u"Привет");
    list.Add(u"Grüße €");
    EXPECT_EQ(list.Get(0), u"??????");
    EXPECT_EQ(list.Get(1), u"Grüße €");
    list.PutObject(1, 42);
    list.Exchange(0, 1);
    EXPECT_EQ(list.GetObject(0), 42);
    list.Move(0, 1);
    EXPECT_EQ(list.GetObject(1), 42);
}

TEST(WStrList, FilesAndFormProperty) {
    WStrList::TWideStringList list;
    list.SetTextStr(u"A\r\nB");
    TMemoryStream out;
    list.SaveToStream(out);
    const std::vector<uint8_t> bytes{0xFE, 0xFF, 'A', 0, '\r', 0, '\n', 0, 'B', 0, '\r', 0, '\n', 0};
    EXPECT_EQ(out.Bytes(), bytes);
    TMemoryStream in(bytes);
    WStrList::TWideStringList loaded;
    loaded.LoadFromStream(in);
    EXPECT_EQ(Lines(loaded), (std::vector<WideString>{u"A", u"B"}));
    TMemoryStream swapped(std::vector<uint8_t>{0xFF, 0xFE, 0, 'A'});
    loaded.LoadFromStream(swapped);
    EXPECT_EQ(Lines(loaded), std::vector<WideString>{u"A"});
    TMemoryStream unmarked(std::vector<uint8_t>{'h', 0, 'i', 0});
    loaded.LoadFromStream(unmarked);
    EXPECT_EQ(Lines(loaded), std::vector<WideString>{u"hi"});
    TMemoryStream tiny(std::vector<uint8_t>{'x'});
    loaded.LoadFromStream(tiny);
    EXPECT_EQ(loaded.Count(), 0);

    list.SetTextStr(u"AB\nC");
    EXPECT_EQ(list.WriteWideStringsProperty(), "00410042000D000A0043000D000A");
    loaded.ReadWideStringsProperty("00410042000D000A0043000D000A004");
    EXPECT_EQ(Lines(loaded), (std::vector<WideString>{u"AB", u"C"}));
    EXPECT_THROW(loaded.ReadWideStringsProperty("00G1"), EReadError);
    auto text = list.GetText();
    EXPECT_EQ(WideString(text.get()), u"AB\r\nC\r\n");
}

TEST(WStrList, UpdateBracketFiresAtBothEnds) {
    WStrList::TWideStringList list;
    int changing = 0, changed = 0;
    list.OnChanging = [&](WStrList::TWideStringList*) { ++changing; };
    list.OnChange = [&](WStrList::TWideStringList*) { ++changed; };
    list.BeginUpdate();
    list.Add(u"a");
    list.Add(u"b");
    list.EndUpdate();
    EXPECT_EQ(changing, 1);
    EXPECT_EQ(changed, 1);
    list.SetTextStr(u"x\ny\nz");
    EXPECT_EQ(changing, 2);
    EXPECT_EQ(changed, 2);
}

TEST(WideProperties, SyncedStrings) {
    std::string ansi = "old";
    WideString wide = u"old";
    int setterCalls = 0;
    auto setAnsi = [&](const std::string& value) {
        ++setterCalls;
        ansi = value;
    };
    ansi = "changed elsewhere";
    EXPECT_EQ(UcGetSyncedWideString(wide, ansi), u"changed elsewhere");
    UcSetSyncedWideString(u"Жук", wide, ansi, setAnsi);
    EXPECT_EQ(ansi, "???");
    EXPECT_EQ(setterCalls, 1);
    // Another script that converts to the same '?'s: the 8-bit side still changes.
    UcSetSyncedWideString(u"Дом", wide, ansi, setAnsi);
    EXPECT_EQ(setterCalls, 3);
    EXPECT_EQ(UcGetSyncedWideString(wide, ansi), u"Дом");
    UcSetSyncedWideString(u"Дом", wide, ansi, setAnsi);
    EXPECT_EQ(setterCalls, 3);
}

namespace {

class CaptionHelper : public TWideComponentHelper {
public:
    CaptionHelper(const void* component, WideString caption) : TWideComponentHelper(component), Caption(std::move(caption)) {}
    WideString Caption;
};

}  // namespace

TEST(WideProperties, HelperRegistry) {
    TWideComponentHelperList registry;
    int components[3];
    for (int i : {2, 0, 1}) TWideComponentHelper::CreateHelper<CaptionHelper>(&components[i], registry, u"c");
    EXPECT_EQ(registry.Count(), 3);
    TWideComponentHelper* helper = FindComponentHelper(registry, &components[1]);
    ASSERT_NE(helper, nullptr);
    EXPECT_EQ(helper->Component(), &components[1]);
    EXPECT_THROW(TWideComponentHelper::CreateHelper<CaptionHelper>(&components[1], registry, u"again"),
                 EUcInternalError);
    helper->Notification(&components[0], TOperation::opRemove);  // another component: nothing
    EXPECT_EQ(registry.Count(), 3);
    helper->Notification(&components[1], TOperation::opRemove);  // its own: the helper leaves and is freed
    EXPECT_EQ(registry.Count(), 2);
    EXPECT_EQ(FindComponentHelper(registry, &components[1]), nullptr);
    EXPECT_NE(FindComponentHelper(registry, &components[2]), nullptr);
}
