// Paths and files: the stand-in for the runtime's file-name and file-system
// helpers. Paths use '/'; text with a drive letter ("C:\...", "C:/...") also
// counts as absolute, and backslashes are taken as separators when a path is
// handed to the file system. File names are UTF-8 and case-sensitive.
#pragma once

#include <string>

constexpr char PathDelim = '/';

bool IsPathDelimiter(char c);
bool IsAbsolutePath(const std::string& path);
std::string IncludeTrailingPathDelimiter(const std::string& path);
std::string ExcludeTrailingPathDelimiter(const std::string& path);
// Folder part with its trailing delimiter ("" when there is none).
std::string ExtractFilePath(const std::string& path);
std::string ExtractFileName(const std::string& path);
// Extension with its dot ("" when there is none).
std::string ExtractFileExt(const std::string& path);
std::string ChangeFileExt(const std::string& path, const std::string& extension);
// The path of dest relative to the folder baseFolder ("../" steps as needed).
std::string ExtractRelativePath(const std::string& baseFolder, const std::string& dest);
// The path as the file system takes it (backslashes become '/').
std::string NativePath(const std::string& path);

bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
void ForceDirectories(const std::string& path);
// Deletes the file when it exists; returns whether one was deleted.
bool DeleteFileIfExists(const std::string& path);
// Renames source over target in one step (same folder).
void ReplaceFile(const std::string& source, const std::string& target);
// A name for a new temporary file in the folder of path.
std::string TemporaryNameBeside(const std::string& path);
