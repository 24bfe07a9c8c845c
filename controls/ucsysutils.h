// File, path and text helpers over wide strings.
//
// Paths: '\' and '/' both separate folders; a colon ends a drive only as the
// second character ("C:"); two leading backslashes start a network path.
// Results keep the separators of their input. Wide file names reach the file
// system as UTF-8.
#pragma once

#include <optional>

#include "controls/ucsystem.h"

// 1-based index of the last character of text that is one of delimiters (a
// NUL never counts); 0 when none.
int WideLastDelimiter(const WideString& delimiters, const WideString& text);
// The name up to and including its last separator (or drive colon).
WideString WideExtractFilePath(const WideString& name);
// The name after its last separator (or drive colon).
WideString WideExtractFileName(const WideString& name);
// "C:" for a name whose second character is a colon; "\\server\share" for a
// network name; else empty.
WideString WideExtractFileDrive(const WideString& name);
WideString WideExtractPathAfterDrive(const WideString& name);
// The segment of path at cursor, up to the next separator; the cursor moves
// past that separator, or becomes empty when none follows. An empty cursor
// gives an empty segment.
WideString WideNextPathSegment(const WideString& path, std::optional<size_t>& cursor);
// destination relative to the folder of baseName; destination itself when
// the drives differ.
WideString WideExtractRelativePath(const WideString& baseName, const WideString& destination);
// The full path of a name relative to the working folder, with "." and ".."
// resolved; drive-letter text is already full.
WideString WideExpandFileName(const WideString& name);

// Files. Handles are file descriptors, -1 on failure. Open modes: bits 0-1
// access (0 read, 1 write, 2 both); bits 4-7 sharing, which this platform
// does not enforce.
constexpr unsigned fmOpenRead = 0x0000;
constexpr unsigned fmOpenWrite = 0x0001;
constexpr unsigned fmOpenReadWrite = 0x0002;
constexpr unsigned fmShareDenyWrite = 0x0020;
constexpr unsigned fmCreate = 0xFFFF;
constexpr int faReadOnly = 0x01;
constexpr int faDirectory = 0x10;
constexpr int faArchive = 0x20;

int WideFileCreate(const WideString& name);
int WideFileOpen(const WideString& name, unsigned mode);
// faDirectory, faArchive and faReadOnly as they apply; -1 when missing.
int WideFileGetAttr(const WideString& name);
bool WideDirectoryExists(const WideString& name);
// True when the name (or, with wildcards, its first match) is not a folder.
bool WideFileExists(const WideString& name);
// Writes a whole file through a temporary file beside it that is renamed
// over it, so a failure leaves the old file as it was. Raises EFCreateError
// "Cannot create file "%s". %s" naming the file and the system's reason.
void WideWriteFileReplacing(const WideString& fileName, const void* bytes, size_t count);

// The system's text for an error number; "Unspecified error (%d) from %s."
// when it has none.
WideString WideLibraryErrorMessage(const WideString& library, int errorCode);
WideString WideSysErrorMessage(int errorCode);
// A non-zero value unchanged; zero raises EOSError with the last error.
long WideWin32Check(long value);

WideString UcWideUpperCase(const WideString& text);
// 1-based position of substring in text, without regard to case; 0 when absent.
int WideTextPos(const WideString& substring, const WideString& text);
enum TTextLineBreakStyle { tlbsLF = 0, tlbsCRLF = 1, tlbsCR = 2 };
// Every line break (CR LF, CR, LF, U+2028) rewritten in one style.
WideString WideAdjustLineBreaks(const WideString& text, TTextLineBreakStyle style);
