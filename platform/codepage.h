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

std::u16string AnsiToWide(const std::string& text);
std::string WideToAnsi(const std::u16string& text);
std::u16string Utf8ToWide(const std::string& text);
std::string WideToUtf8(const std::u16string& text);

// Upper and lower case of code-page text (ASCII and the Latin-1 letters).
std::string AnsiUpperCase(const std::string& text);
std::string AnsiLowerCase(const std::string& text);
bool AnsiSameText(const std::string& a, const std::string& b);
