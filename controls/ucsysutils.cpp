#include "controls/ucsysutils.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <algorithm>
#include <filesystem>
#include <vector>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/paths.h"

namespace {

bool IsSeparator(WideChar c) { return c == u'\\' || c == u'/'; }

bool HasDriveColon(const WideString& name) { return name.size() >= 2 && name[1] == u':'; }

// Index of the last separator or drive colon, npos when none.
size_t LastPathDelimiter(const WideString& name) {
    for (size_t i = name.size(); i > 0; --i)
        if (IsSeparator(name[i - 1]) || (i == 2 && HasDriveColon(name))) return i - 1;
    return WideString::npos;
}

std::string FileSystemName(const WideString& name) {
    std::string utf8 = UcSystem::WideToUtf8(name);
    for (char& c : utf8)
        if (c == '\\') c = '/';
    return utf8;
}

// '*' any run of characters, '?' one character; greedy with one backtrack point.
bool WildcardMatch(const WideString& pattern, const WideString& text) {
    size_t p = 0, t = 0, star = WideString::npos, resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            star = p++;
            resume = t;
        } else if (p < pattern.size() && (pattern[p] == u'?' || pattern[p] == text[t])) {
            ++p;
            ++t;
        } else if (star != WideString::npos) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*') ++p;
    return p == pattern.size();
}

}  // namespace

int WideLastDelimiter(const WideString& delimiters, const WideString& text) {
    for (size_t i = text.size(); i > 0; --i)
        if (text[i - 1] != 0 && delimiters.find(text[i - 1]) != WideString::npos) return static_cast<int>(i);
    return 0;
}

WideString WideExtractFilePath(const WideString& name) {
    size_t at = LastPathDelimiter(name);
    return at == WideString::npos ? WideString() : name.substr(0, at + 1);
}

WideString WideExtractFileName(const WideString& name) {
    size_t at = LastPathDelimiter(name);
    return at == WideString::npos ? name : name.substr(at + 1);
}

WideString WideExtractFileDrive(const WideString& name) {
    if (HasDriveColon(name)) return name.substr(0, 2);
    if (name.size() >= 3 && name[0] == u'\\' && name[1] == u'\\') {
        // The server and the share: up to the second backslash after them.
        size_t at = 2;
        int found = 0;
        while (at < name.size() - 1 && found < 2) {
            if (name[at] == u'\\') ++found;
            if (found < 2) ++at;
        }
        if (name[at] == u'\\') return name.substr(0, at);
        return name.substr(0, at + 1);
    }
    if (name.size() == 2 && name[0] == u'\\' && name[1] == u'\\') return name;
    return {};
}

WideString WideExtractPathAfterDrive(const WideString& name) {
    return WideExtractFilePath(name).substr(std::min(WideExtractFileDrive(name).size(), WideExtractFilePath(name).size()));
}

WideString WideNextPathSegment(const WideString& path, std::optional<size_t>& cursor) {
    if (!cursor) return {};
    size_t start = *cursor;
    size_t end = start;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    if (end < path.size()) cursor = end + 1;
    else cursor.reset();
    return path.substr(start, end - start);
}

WideString WideExtractRelativePath(const WideString& baseName, const WideString& destination) {
    if (LocaleCompareText(WideExtractFileDrive(baseName), WideExtractFileDrive(destination)) != 0) return destination;
    WideString basePath = WideExtractPathAfterDrive(baseName);
    WideString destPath = WideExtractPathAfterDrive(destination);
    WideChar separator = destination.find(u'/') != WideString::npos ? u'/' : u'\\';
    std::optional<size_t> baseLead = 0, destLead = 0;
    WideString baseSegment = WideNextPathSegment(basePath, baseLead);
    WideString destSegment = WideNextPathSegment(destPath, destLead);
    while (baseLead && destLead && LocaleCompareText(baseSegment, destSegment) == 0) {
        baseSegment = WideNextPathSegment(basePath, baseLead);
        destSegment = WideNextPathSegment(destPath, destLead);
    }
    WideString result;
    while (baseLead) {
        result += u"..";
        result += separator;
        WideNextPathSegment(basePath, baseLead);
    }
    if (!destSegment.empty()) result += destSegment + separator;
    if (destLead) result += destPath.substr(*destLead);
    return result + WideExtractFileName(destination);
}

WideString WideExpandFileName(const WideString& name) {
    if (HasDriveColon(name) || name.empty()) return name;
    std::filesystem::path path(UcSystem::WideToUtf8(name));
    if (path.is_relative()) {
        std::error_code error;
        path = std::filesystem::current_path(error) / path;
    }
    return UcSystem::Utf8ToWide(path.lexically_normal().string());
}

int WideFileCreate(const WideString& name) {
    return open(FileSystemName(name).c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
}

int WideFileOpen(const WideString& name, unsigned mode) {
    static const int access[3] = {O_RDONLY, O_WRONLY, O_RDWR};
    unsigned bits = mode & 3;
    if (bits > 2) return -1;
    int handle = open(FileSystemName(name).c_str(), access[bits] | O_CLOEXEC);
    struct stat info;
    if (handle >= 0 && fstat(handle, &info) == 0 && S_ISDIR(info.st_mode)) {
        close(handle);
        errno = EISDIR;
        return -1;
    }
    return handle;
}

int WideFileGetAttr(const WideString& name) {
    std::string path = FileSystemName(name);
    struct stat info;
    if (path.empty() || stat(path.c_str(), &info) != 0) return -1;
    int attributes = S_ISDIR(info.st_mode) ? faDirectory : faArchive;
    if (access(path.c_str(), W_OK) != 0) attributes |= faReadOnly;
    return attributes;
}

bool WideDirectoryExists(const WideString& name) {
    int attributes = WideFileGetAttr(name);
    return attributes != -1 && (attributes & faDirectory) != 0;
}

bool WideFileExists(const WideString& name) {
    std::string path = FileSystemName(name);
    if (path.find_first_of("*?") == std::string::npos) {
        struct stat info;
        return !path.empty() && stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
    }
    // Wildcards in the last part of the name, '?' standing for one character.
    WideString folder = WideExtractFilePath(name), pattern = WideExtractFileName(name);
    std::string listed = folder.empty() ? std::string(".") : FileSystemName(folder);
    std::vector<std::pair<WideString, bool>> matches;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(listed, error)) {
        WideString entryName = UcSystem::Utf8ToWide(entry.path().filename().string());
        if (WildcardMatch(pattern, entryName)) matches.push_back({entryName, entry.is_directory(error)});
    }
    if (matches.empty()) return false;
    return !std::min_element(matches.begin(), matches.end())->second;
}

void WideWriteFileReplacing(const WideString& fileName, const void* bytes, size_t count) {
    std::string target = FileSystemName(fileName);
    std::string temporary = TemporaryNameBeside(target);
    auto fail = [&](int code) {
        unlink(temporary.c_str());
        throw EFCreateError(FormatStr("Cannot create file \"%s\". %s", UcSystem::WideToUtf8(WideExpandFileName(fileName)).c_str(),
                                      UcSystem::WideToUtf8(WideSysErrorMessage(code)).c_str()));
    };
    int handle = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (handle < 0) fail(errno);
    const auto* at = static_cast<const char*>(bytes);
    while (count > 0) {
        ssize_t written = write(handle, at, count);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            int code = written < 0 ? errno : EIO;
            close(handle);
            fail(code);
        }
        at += written;
        count -= static_cast<size_t>(written);
    }
    int error = fsync(handle) != 0 ? errno : 0;
    if (close(handle) != 0 && error == 0) error = errno;
    if (error != 0) fail(error);
    if (rename(temporary.c_str(), target.c_str()) != 0) fail(errno);
}

WideString WideLibraryErrorMessage(const WideString& library, int errorCode) {
    char buffer[256];
    const char* text = errorCode > 0 ? strerror_r(errorCode, buffer, sizeof buffer) : "";
    WideString message = WideTrim(UcSystem::Utf8ToWide(text));
    if (message.empty() || message.rfind(u"Unknown error", 0) == 0)
        message = UcSystem::Utf8ToWide(
            FormatStr("Unspecified error (%d) from %s.", errorCode, UcSystem::WideToUtf8(library).c_str()));
    return message;
}

WideString WideSysErrorMessage(int errorCode) { return WideLibraryErrorMessage(u"system", errorCode); }

long WideWin32Check(long value) {
    if (value != 0) return value;
    int code = errno;
    throw EOSError(FormatStr("System Error.  Code: %d.\n%s", code, UcSystem::WideToUtf8(WideSysErrorMessage(code)).c_str()),
                   code);
}

WideString UcWideUpperCase(const WideString& text) {
    WideString result = text;
    WideCharUpperBuff(result.data(), result.size());
    return result;
}

int WideTextPos(const WideString& substring, const WideString& text) {
    size_t at = UcWideUpperCase(text).find(UcWideUpperCase(substring));
    return at == WideString::npos ? 0 : static_cast<int>(at + 1);
}

WideString WideAdjustLineBreaks(const WideString& text, TTextLineBreakStyle style) {
    static const char16_t* const breaks[3] = {u"\n", u"\r\n", u"\r"};
    WideString result;
    result.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        WideChar c = text[i];
        if (c == u'\r' || c == u'\n' || c == 0x2028) {
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
            result += breaks[style];
        } else {
            result += c;
        }
    }
    return result;
}
