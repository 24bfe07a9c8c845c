#include "imaging/core/ie_messages.h"

#include <array>
#include <cstdlib>
#include <mutex>

namespace {

#include "imaging/core/ie_messages_text.inc"

using Row = std::array<std::string, kIEMessageCount>;
using Rows = std::array<Row, kIEMessageLanguages>;

void FillBuiltIn(Rows& table) {
    for (int row = msEnglish; row <= msDanish; ++row)
        for (int id = 0; id < kIEMessageCount; ++id) table[static_cast<size_t>(row)][static_cast<size_t>(id)] = kEnglishTexts[id];
    for (const TranslatedRow& row : kTranslatedRows) {
        table[row.language][0] = row.preview;
        table[row.language][123] = row.rate;
    }
}

Rows& Table() {
    static Rows table;
    static std::once_flag filled;
    // The built-in rows are there from the first use, as after start-up.
    std::call_once(filled, [] { FillBuiltIn(table); });
    return table;
}

}  // namespace

void IESetLanguageWord(TMsgLanguage language, uint8_t id, const std::string& text) {
    if (language >= kIEMessageLanguages || id >= kIEMessageCount) return;
    Table()[language][id] = text;
}

void IEFillMessageTable() { FillBuiltIn(Table()); }

std::string IEGetLanguageWord(uint8_t id, TMsgLanguage language) {
    if (language >= kIEMessageLanguages || id >= kIEMessageCount) return std::string();
    auto& table = Table();
    if (language == msSystem) return table[IESystemMsgLanguage()][id];
    const std::string& text = table[language][id];
    return text.empty() ? table[msEnglish][id] : text;
}

TMsgLanguage IELocaleMsgLanguage(const std::string& locale) {
    const std::string language = locale.substr(0, locale.find_first_of("_.@"));
    const std::string territory =
        locale.find('_') == std::string::npos ? std::string() : locale.substr(locale.find('_') + 1, 2);
    if (language == "zh") {
        // Taiwan is the traditional row, mainland China the simplified one;
        // other Chinese territories read English.
        if (territory == "TW") return msChineseTraditional;
        if (territory == "CN") return msChinese;
        return msEnglish;
    }
    static const std::pair<const char*, TMsgLanguage> kLanguages[] = {
        {"cs", msCzech},      {"da", msDanish},  {"de", msGerman},  {"el", msGreek},      {"en", msEnglish},
        {"es", msSpanish},    {"fi", msFinnish}, {"fr", msFrench},  {"it", msItalian},    {"ja", msJapanese},
        {"nl", msDutch},      {"pl", msPolish},  {"pt", msPortuguese}, {"ru", msRussian}, {"sv", msSwedish},
        {"fa", msFarsi},
    };
    for (const auto& [code, row] : kLanguages)
        if (language == code) return row;
    return msEnglish;
}

TMsgLanguage IESystemMsgLanguage() {
    static const TMsgLanguage language = [] {
        for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
            const char* value = std::getenv(name);
            if (value && *value) return IELocaleMsgLanguage(value);
        }
        return msEnglish;
    }();
    return language;
}
