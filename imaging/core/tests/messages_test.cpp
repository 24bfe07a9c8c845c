// The message table: the built-in texts in their code pages (decoded by
// iconv), the fall-back to English and the language of a Linux locale.
#include <gtest/gtest.h>

#include "imaging/core/ie_messages.h"
#include "imaging/core/tests/tool_support.h"

using namespace imaging_test;

TEST(MessagesToolsTest, TellingRowsDecodeThroughTheirCodePages) {
    REQUIRE_TOOL("iconv");
    struct Case {
        TMsgLanguage language;
        const char* codePage;
        const char* preview;  // UTF-8
        const char* rate;
    };
    const Case cases[] = {
        {msEnglish, "CP1252", "Preview", "Rate"},
        {msItalian, "CP1252", "Anteprima", "Qualit\u00e0"},
        {msFrench, "CP1252", "Pr\u00e9visualisation", "Rate"},
        {msGreek, "CP1253", "\u03a0\u03c1\u03bf\u03b5\u03c0\u03b9\u03c3\u03ba\u03cc\u03c0\u03b7\u03c3\u03b7", "Rate"},
        {msRussian, "CP1251", "\u041f\u0440\u043e\u0441\u043c\u043e\u0442\u0440", "\u0421\u0442\u0435\u043f\u0435\u043d\u044c"},
        {msPolish, "CP1250", "Podgl\u0105d", "Rate"},
        {msJapanese, "CP932", "\u30d7\u30ec\u30d3\u30e5\u30fc", "\u30ec\u30fc\u30c8"},
        {msCzech, "CP1250", "N\u00e1hled", "Kvalita"},
        {msFarsi, "CP1256", "\u067e\u064a\u0634 \u0646\u0645\u0627\u064a\u0634", "\u0646\u0633\u0628\u062a"},
        {msChinese, "CP936", "\u9884\u89c8", "\u6bd4\u7387"},
        {msChineseTraditional, "CP936", "\u9810\u89bd", "\u6bd4\u7387"},
        {msSwedish, "CP1252", "Granska", "Proportion"},
        {msDanish, "CP1252", "Visning", "Hastighed"},
    };
    auto folder = FixtureFolder("messages");
    for (const Case& c : cases) {
        int i = 0;
        for (uint8_t id : {uint8_t{0}, uint8_t{123}}) {
            const std::string bytes = IEGetLanguageWord(id, c.language);
            auto file = folder / ("row" + std::to_string(c.language) + "_" + std::to_string(i++));
            WriteBytes(file, bytes.data(), bytes.size());
            int status = 0;
            std::string decoded = RunCommand(std::string("iconv -f ") + c.codePage + " -t UTF-8 " + file.string(), &status);
            EXPECT_EQ(status, 0);
            EXPECT_EQ(decoded, id == 0 ? c.preview : c.rate) << int{c.language} << " id " << int{id};
        }
    }
}

TEST(MessagesTest, FallBacksAndUserRow) {
    EXPECT_EQ(IEGetLanguageWord(11, msEnglish), "Value");
    EXPECT_EQ(IEGetLanguageWord(103, msEnglish), "Value");
    EXPECT_EQ(IEGetLanguageWord(145, msGerman), "Fit");
    EXPECT_EQ(IEGetLanguageWord(123, msPolish), "Rate");
    EXPECT_EQ(IEGetLanguageWord(0, msUser), "Preview");
    IESetLanguageWord(msUser, 0, "Vorschau!");
    EXPECT_EQ(IEGetLanguageWord(0, msUser), "Vorschau!");
    IESetLanguageWord(msUser, 0, "");
    IEFillMessageTable();
    EXPECT_EQ(IEGetLanguageWord(123, msSwedish), "Proportion");
}

TEST(MessagesTest, LocaleSelectsTheSystemRow) {
    const std::pair<const char*, TMsgLanguage> cases[] = {
        {"pl_PL.UTF-8", msPolish}, {"de_AT", msGerman},      {"zh_TW.UTF-8", msChineseTraditional},
        {"zh_CN.GB2312", msChinese}, {"zh_HK.UTF-8", msEnglish}, {"fa_IR", msFarsi},
        {"pt_BR.UTF-8", msPortuguese}, {"C", msEnglish},      {"POSIX", msEnglish},
        {"", msEnglish},              {"ko_KR.UTF-8", msEnglish}, {"sv_SE@euro", msSwedish},
    };
    for (const auto& [locale, row] : cases) EXPECT_EQ(IELocaleMsgLanguage(locale), row) << locale;
}
