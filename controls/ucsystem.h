// The Unicode text base: wide strings (UTF-16 code units, surrogate pairs
// never combined except where a UTF-8 text needs them), conversions between
// wide text and any code page including UTF-7 and UTF-8, case and
// comparison helpers, and the exceptions of the layer. Everything above it
// (string lists, ini files, settings, paths, controls) calls these rather
// than the platform directly.
//
// This platform is of the wide family only: IsUnicodePlatform is always
// true, so the 8-bit fallbacks of the old systems are not built, nor the
// window, drawing and resource-table wrappers that stand on system calls
// this platform does not have.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/errors.h"

using WideString = std::u16string;
using WideChar = char16_t;

class EUcGeneralError : public Exception { using Exception::Exception; };
class EUcInternalError : public Exception { using Exception::Exception; };

constexpr bool IsUnicodePlatform = true;
constexpr bool IsXPOrLaterPlatform = true;

// Code pages with a meaning of their own.
constexpr unsigned CP_ACP = 0;
constexpr unsigned CP_THREAD_ACP = 3;
constexpr unsigned CP_UTF7 = 65000;
constexpr unsigned CP_UTF8 = 65001;

// The code page of every implicit wide/8-bit conversion of the layer: the
// system code page, Windows-1252.
constexpr unsigned DefaultAnsiCodePage = 1252;
// The user's default locale (LOCALE_USER_DEFAULT resolves to it): US English.
constexpr unsigned UserDefaultLocale = 0x0409;

// UTF-8 of the layer. Both directions give "" for "". Decoding takes
// sequences of one to four bytes (four-byte ones become surrogate pairs,
// and pairs written as two three-byte sequences by older writers decode as
// well). Malformed input never loses the rest: overlong forms, code points
// past U+10FFFF, stray continuation bytes and cut-off sequences each decode
// as one U+FFFD (an overlong '/' must not pass for a slash). Encoding
// writes a surrogate pair as one four-byte sequence, a lone surrogate as a
// three-byte one.
namespace UcSystem {
WideString Utf8ToWide(const std::string& bytes);
std::string WideToUtf8(const WideString& text);
}  // namespace UcSystem

// UTF-7 with the optional direct characters written directly and no closing
// '-' at the end of the text. Decoding raises EUcGeneralError "Invalid UTF7"
// on malformed input.
std::string WideToUtf7(const WideString& text);
WideString Utf7ToWide(const std::string& bytes);

// Any code page: 65000 UTF-7, 65001 UTF-8, 0 and 3 the default code page,
// every other through the system's tables.
WideString AnsiToWideByCodePage(const std::string& bytes, unsigned codePage);
std::string WideToAnsiByCodePage(const WideString& text, unsigned codePage);
// Widening and narrowing in the default code page.
WideString AnsiToWideDefault(const std::string& bytes);
std::string WideToAnsiDefault(const WideString& text);

// The default ANSI code page of a locale; the system's code page when the
// locale is unknown.
unsigned LocaleAnsiCodePage(unsigned locale);
// The code page of the active keyboard layout (the user's locale here).
unsigned KeyboardCodePage();
// A key code below 256 is one byte in the keyboard's code page; codes of 256
// and above are characters already.
WideChar KeyCharToWide(unsigned key);
// Swaps the two bytes of every code unit, stopping at the first zero unit.
void WideSwapByteOrder(WideString& text);
// Whether the character exists in the default code page.
bool IsWideCharMappable(WideChar c);

// The wide text of a resource string that is a text and not a table
// ordinal: UTF-8 after the bytes EF BB BF, else widened.
WideString LoadWideResourceString(const char* text);
inline bool IsResourceOrdinal(uintptr_t value) { return (value >> 16) == 0; }
// The first count characters of a buffer; -1 means up to the NUL.
WideString WideStringFromBuffer(const WideChar* buffer, int count);

// Comparisons of the string lists and ini files, negative, 0 or positive.
// The case-insensitive form compares upper-case letters; the case-sensitive
// form orders as it does and breaks ties with lower case before upper case,
// the way the user's locale sorts Latin letters.
int LocaleCompareText(const WideString& a, const WideString& b);
int LocaleCompareStr(const WideString& a, const WideString& b);

// Upper case of one character or of a buffer, in place.
WideChar WideCharUpper(WideChar c);
size_t WideCharUpperBuff(WideChar* buffer, size_t count);
// Removes every character up to U+0020 from both ends.
WideString WideTrim(const WideString& text);
