// The image library's message table: 146 texts per language row, 8-bit in
// the code page of their language, looked up with a fall-back to English.
#pragma once

#include <cstdint>
#include <string>

enum TMsgLanguage : uint8_t {
    msSystem, msEnglish, msItalian, msGerman, msSpanish, msFrench, msPortuguese, msGreek, msRussian, msDutch,
    msSwedish, msPolish, msJapanese, msCzech, msFinnish, msFarsi, msChinese, msChineseTraditional, msDanish, msUser,
};
constexpr int kIEMessageLanguages = 20;
constexpr int kIEMessageCount = 146;

void IESetLanguageWord(TMsgLanguage language, uint8_t id, const std::string& text);
// An empty entry falls back to English, except for msSystem, which reads the
// row of the system language as it is.
std::string IEGetLanguageWord(uint8_t id, TMsgLanguage language);
// Stores the built-in rows msEnglish to msDanish.
void IEFillMessageTable();
// The row of a POSIX locale name ("pl_PL.UTF-8", "zh_TW"); English for
// unknown, empty, "C" and "POSIX" names.
TMsgLanguage IELocaleMsgLanguage(const std::string& locale);
// The row msSystem stands for: LC_ALL, LC_MESSAGES or LANG (the first that
// is set), read once.
TMsgLanguage IESystemMsgLanguage();
