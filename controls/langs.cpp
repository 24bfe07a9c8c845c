#include "controls/langs.h"

#include "platform/codepage.h"

unsigned CodePageOfLocale(TLanguage locale) { return LocaleAnsiCodePage(locale); }

int CharsetOfLocale(TLanguage locale) {
    int charset = CharsetOfCodePage(CodePageOfLocale(locale));
    return charset >= 0 ? charset : DEFAULT_CHARSET;
}

WideString StringToWideStringCP(const std::string& text, unsigned codePage) {
    return AnsiToWideByCodePage(text.substr(0, text.find('\0')), codePage);
}

std::string WideStringToStringCP(const WideString& text, unsigned codePage) {
    return WideToAnsiByCodePage(text.substr(0, text.find(u'\0')), codePage);
}
