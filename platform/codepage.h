// Text in the system code page, pinned to Windows-1252, to and from UTF-8
// and UTF-16. 8-bit strings (std::string) hold code-page bytes unless a name
// says UTF-8. The five bytes that Windows-1252 leaves undefined map to the
// control characters of the same value, so every byte survives a round trip.
#pragma once

#include <string>

// Code-page text to UTF-8 (the runtime's AnsiToUtf8).
std::string AnsiToUtf8(const std::string& text);
// UTF-8 to code-page text; characters the code page lacks become '?'. Bytes
// that are not valid UTF-8 are taken as code-page bytes.
std::string Utf8ToAnsi(const std::string& text);

// Whether text is well-formed UTF-8 (no overlong forms, surrogates or code
// points past U+10FFFF).
bool IsValidUtf8(const std::string& text);

std::u16string AnsiToWide(const std::string& text);
std::string WideToAnsi(const std::u16string& text);
std::u16string Utf8ToWide(const std::string& text);
std::string WideToUtf8(const std::u16string& text);
// UTF-16 to code points; a lone surrogate becomes U+FFFD.
std::u32string WideToCodePoints(const std::u16string& text);

// Upper and lower case of code-page text: ASCII, the Latin-1 letters and
// the pairs of the 0x80 block (S, OE and Z with caron or ligature, Y with
// diaeresis).
std::string AnsiUpperCase(const std::string& text);
std::string AnsiLowerCase(const std::string& text);
bool AnsiSameText(const std::string& a, const std::string& b);

// Text in any Windows code page by number, the stand-in for the system's
// MultiByteToWideChar and WideCharToMultiByte (flags 0). Code page 1252 goes
// through the table above, 65001 is UTF-8, and every other number through
// the C library's iconv under the name "CP<number>" (936, 1251, 932, ...).
// Bytes that do not decode become U+FFFD, one per bad byte; characters the
// code page lacks become '?', and *usedDefault tells whether that happened.
// An unknown code page raises EConvertError.
std::u16string MultiByteToWide(const std::string& bytes, unsigned codePage);
std::string WideToMultiByte(const std::u16string& text, unsigned codePage, bool* usedDefault = nullptr);
// Whether MultiByteToWide and WideToMultiByte know the code page.
bool IsValidCodePage(unsigned codePage);

// The locale table of the system: the default ANSI code page and the font
// charset of a locale id (language in the low 10 bits, sub-language above).
// 0 when the locale is unknown.
unsigned LocaleDefaultAnsiCodePage(unsigned locale);
// The font charset of a code page (GB2312_CHARSET 134 for 936, ...); -1 for
// a code page that has none.
int CharsetOfCodePage(unsigned codePage);

// Simple (one-to-one) Unicode case mapping of one UTF-16 code unit; code
// units that are surrogates or have no single-unit mapping are unchanged.
char16_t WideCharToUpper(char16_t c);
char16_t WideCharToLower(char16_t c);
