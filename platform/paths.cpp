#include "platform/paths.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <unistd.h>
#include <vector>

#include "platform/errors.h"

namespace fs = std::filesystem;

bool IsPathDelimiter(char c) { return c == '/' || c == '\\'; }

bool IsAbsolutePath(const std::string& path) {
    if (!path.empty() && IsPathDelimiter(path[0])) return true;
    return path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
}

std::string IncludeTrailingPathDelimiter(const std::string& path) {
    if (!path.empty() && IsPathDelimiter(path.back())) return path;
    return path + PathDelim;
}

std::string ExcludeTrailingPathDelimiter(const std::string& path) {
    std::string result = path;
    while (result.size() > 1 && IsPathDelimiter(result.back())) result.pop_back();
    return result;
}

static size_t LastDelimiter(const std::string& path) {
    for (size_t i = path.size(); i > 0; --i)
        if (IsPathDelimiter(path[i - 1]) || (i == 2 && path[1] == ':')) return i - 1;
    return std::string::npos;
}

std::string ExtractFilePath(const std::string& path) {
    size_t at = LastDelimiter(path);
    return at == std::string::npos ? std::string() : path.substr(0, at + 1);
}

std::string ExtractFileName(const std::string& path) {
    size_t at = LastDelimiter(path);
    return at == std::string::npos ? path : path.substr(at + 1);
}

std::string ExtractFileExt(const std::string& path) {
    std::string name = ExtractFileName(path);
    size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::string ChangeFileExt(const std::string& path, const std::string& extension) {
    std::string ext = ExtractFileExt(path);
    return path.substr(0, path.size() - ext.size()) + extension;
}

static std::vector<std::string> SplitPath(const std::string& path) {
    std::vector<std::string> parts;
    std::string current;
    for (char c : path) {
        if (IsPathDelimiter(c)) {
            if (!current.empty()) parts.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty()) parts.push_back(current);
    return parts;
}

std::string ExtractRelativePath(const std::string& baseFolder, const std::string& dest) {
    std::vector<std::string> base = SplitPath(ExtractFilePath(IncludeTrailingPathDelimiter(baseFolder)));
    std::vector<std::string> target = SplitPath(dest);
    bool trailing = !dest.empty() && IsPathDelimiter(dest.back());
    size_t common = 0;
    while (common < base.size() && common < target.size() && base[common] == target[common]) ++common;
    if (common == 0 && IsAbsolutePath(dest) && !base.empty() && !target.empty() && base[0] != target[0])
        return dest;  // different drives or roots: nothing relative about it
    std::string result;
    for (size_t i = common; i < base.size(); ++i) result += "../";
    for (size_t i = common; i < target.size(); ++i) {
        result += target[i];
        if (i + 1 < target.size() || trailing) result += PathDelim;
    }
    return result;
}

std::string NativePath(const std::string& path) {
    std::string result = path;
    for (char& c : result)
        if (c == '\\') c = '/';
    return result;
}

bool FileExists(const std::string& path) {
    std::error_code error;
    return fs::is_regular_file(NativePath(path), error);
}

bool DirectoryExists(const std::string& path) {
    std::error_code error;
    return fs::is_directory(NativePath(path), error);
}

void ForceDirectories(const std::string& path) {
    std::error_code error;
    fs::create_directories(NativePath(ExcludeTrailingPathDelimiter(path)), error);
    if (error && !DirectoryExists(path))
        throw EFCreateError(FormatStr("Cannot create folder \"%s\". %s", path.c_str(), error.message().c_str()));
}

bool DeleteFileIfExists(const std::string& path) {
    return std::remove(NativePath(path).c_str()) == 0;
}

void ReplaceFile(const std::string& source, const std::string& target) {
    if (std::rename(NativePath(source).c_str(), NativePath(target).c_str()) != 0)
        throw EWriteError(FormatStr("Cannot replace file \"%s\". %s", target.c_str(), std::strerror(errno)));
}

std::string TemporaryNameBeside(const std::string& path) {
    static unsigned counter = 0;
    return FormatStr("%s.tmp%d-%u", path.c_str(), static_cast<int>(getpid()), ++counter);
}
