// A locale's ANSI code page and font charset, and text in a given code page.
#pragma once

#include "controls/ucsystem.h"

// A locale id: language in the low bits, the default sort.
using TLanguage = uint16_t;

constexpr int DEFAULT_CHARSET = 1;
constexpr int GB2312_CHARSET = 134;

// The locale's default ANSI code page; the system's when the locale is unknown.
unsigned CodePageOfLocale(TLanguage locale);
// The font charset of that code page; DEFAULT_CHARSET when it has none.
int CharsetOfLocale(TLanguage locale);
// Text up to its first NUL, converted through the code page.
WideString StringToWideStringCP(const std::string& text, unsigned codePage);
std::string WideStringToStringCP(const WideString& text, unsigned codePage);
