// The application's shared routines: XML escaping, colour text, wide-text
// buffer copies, the media kind of a file, paths relative to the program
// folder, the per-user folders and the per-user settings.
//
// Folders end with '/'. The program folder is the folder of the running
// program unless a caller (a test, a headless tool) names another one with
// SetProgramFolder; the template, language and example folders live below
// it. The per-user folders follow XDG: the application-data folder is the
// XDG data home, the per-user data folder "Orvu Software/Tamblewick/" below
// it. The settings live in the settings store (platform/registry.h) under
// the key "\Software\OrvuSoft\Tamblewick" of HKEY_CURRENT_USER.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "controls/ucsystem.h"
#include "platform/colour.h"

// The five characters that XML gives a meaning: " & ' < > as entities.
WideString XmlEscape(const WideString& text);

// "0xRRGGBB" with upper-case digits; the colour's low byte is red.
WideString ColorToHex(TColor color);
// Characters 3-8 as the hexadecimal red, green and blue bytes; the leading
// two characters are not checked. A pair that is not hexadecimal, or a text
// too short to hold three pairs, raises EConvertError.
TColor HexToColor(const std::string& text);
inline TColor HexToColor(const WideString& text) { return HexToColor(UcSystem::WideToUtf8(text)); }

// Copies of wide text into fixed buffers, for the few callers that keep one.
// WideStrToBuffer copies at most size - 1 characters and a NUL.
void WideStrToBuffer(WideChar* buffer, const WideString& text, size_t size);
// Copies until count characters are copied or a NUL is met, then a NUL.
WideChar* WideStrLCopy(WideChar* destination, const WideChar* source, size_t count);
WideString BufferToWideStr(const WideChar* buffer);

// Media kinds by extension (case-insensitive).
constexpr uint8_t mkBitmap = 0;
constexpr uint8_t mkJpeg = 1;
constexpr uint8_t mkGif = 2;
constexpr uint8_t mkPng = 3;
constexpr uint8_t mkSwf = 4;
constexpr uint8_t mkUnknown = 255;
uint8_t GetMediaKind(const WideString& fileName);

// The program folder, with a trailing '/'.
WideString GetProgramFolder();
// Names another program folder for this process (empty: the real one again).
void SetProgramFolder(const WideString& folder);

// A path below the program folder becomes relative to it; every other path,
// and the empty text, is returned unchanged. File names are case-sensitive,
// so only a path that starts with the program folder as written counts.
WideString MakeRelativePath(const WideString& path);
// Empty stays empty; an absolute path ('/' or a drive letter and a colon, as
// old project files hold them) is unchanged; anything else is appended to
// the program folder.
WideString MakeAbsolutePath(const WideString& path);

// The application-data folder and the per-user data folder, created (with
// their parents) when missing; a folder that cannot be created is returned
// all the same.
WideString GetAppDataFolder();
WideString GetProgramDataFolder();

// Settings. Each getter opens the key (creating it), reads its value when it
// exists and otherwise gives the default; a value stored with another type
// raises ERegistryException "Invalid data type for '<name>'". A setter writes
// nothing, silently, when the key cannot be opened.
//
// The language file's full path below "languages/": the stored name when
// that file exists, else "English.ini".
WideString GetLanguageFile();
// Stores only the file-name part of the path.
void SetLanguageFile(const WideString& path);
// The day of the last update check as a date-time (days since 30 December
// 1899); today when absent.
double GetUpdateDate();
void SetUpdateDate(double date);
bool GetAutoUpdate();
void SetAutoUpdate(bool value);
int32_t GetUpdateDays();
void SetUpdateDays(int32_t days);
bool GetAutoPreview();
void SetAutoPreview(bool value);

// Case-insensitive equality of wide texts, as the application's look-ups
// compare names.
bool WideSameText(const WideString& a, const WideString& b);
