#include "app/app_utils.h"

#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <unistd.h>

#include "controls/ucregistry.h"
#include "controls/ucsysutils.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/xdg.h"

namespace {

const char* const kSettingsKey = "\\Software\\OrvuSoft\\Tamblewick";

WideString& ProgramFolderOverride() {
    static WideString folder;
    return folder;
}

WideString WithTrailingDelimiter(const WideString& folder) {
    if (folder.empty() || folder.back() == u'/' || folder.back() == u'\\') return folder;
    return folder + u'/';
}

bool HasDriveColon(const WideString& path) {
    if (path.size() < 2 || path[1] != u':') return false;
    WideChar c = path[0];
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Opens the settings key (creating it) and runs action on it; false, with
// nothing done, when the key cannot be opened.
bool WithSettingsKey(const std::function<void(TUcRegistry&)>& action) {
    TUcRegistry registry;
    registry.SetRootKey(HKEY_CURRENT_USER);
    if (!registry.OpenKey(kSettingsKey, true)) return false;
    action(registry);
    registry.CloseKey();
    return true;
}

template <class T>
T ReadSetting(const char* name, T fallback, T (*read)(TUcRegistry&, const char*)) {
    T value = fallback;
    WithSettingsKey([&](TUcRegistry& registry) {
        if (registry.ValueExists(name)) value = read(registry, name);
    });
    return value;
}

}  // namespace

WideString XmlEscape(const WideString& text) {
    WideString result;
    result.reserve(text.size());
    for (WideChar c : text) {
        switch (c) {
        case u'"': result += u"&quot;"; break;
        case u'&': result += u"&amp;"; break;
        case u'\'': result += u"&apos;"; break;
        case u'<': result += u"&lt;"; break;
        case u'>': result += u"&gt;"; break;
        default: result += c;
        }
    }
    return result;
}

WideString ColorToHex(TColor color) {
    static const char digits[] = "0123456789ABCDEF";
    WideString result = u"0x";
    for (uint8_t byte : {RedOf(color), GreenOf(color), BlueOf(color)}) {
        result += static_cast<WideChar>(digits[byte >> 4]);
        result += static_cast<WideChar>(digits[byte & 15]);
    }
    return result;
}

TColor HexToColor(const std::string& text) {
    uint8_t bytes[3] = {0, 0, 0};
    for (int i = 0; i < 3; ++i) {
        size_t at = 2 + 2 * i;
        int high = at + 1 < text.size() ? HexDigit(text[at]) : -1;
        int low = at + 1 < text.size() ? HexDigit(text[at + 1]) : -1;
        if (high < 0 || low < 0) {
            std::string pair = at < text.size() ? text.substr(at, 2) : "";
            throw EConvertError(FormatStr("'$%s' is not a valid integer value", pair.c_str()));
        }
        bytes[i] = static_cast<uint8_t>(high * 16 + low);
    }
    return RGBColor(bytes[0], bytes[1], bytes[2]);
}

void WideStrToBuffer(WideChar* buffer, const WideString& text, size_t size) {
    if (size == 0) return;
    size_t count = std::min(text.size(), size - 1);
    std::memcpy(buffer, text.data(), count * sizeof(WideChar));
    buffer[count] = 0;
}

WideChar* WideStrLCopy(WideChar* destination, const WideChar* source, size_t count) {
    size_t i = 0;
    for (; i < count && source[i] != 0; ++i) destination[i] = source[i];
    destination[i] = 0;
    return destination;
}

WideString BufferToWideStr(const WideChar* buffer) { return buffer != nullptr ? WideString(buffer) : WideString(); }

uint8_t GetMediaKind(const WideString& fileName) {
    size_t dot = fileName.rfind(u'.');
    if (dot == WideString::npos) return mkUnknown;
    WideString extension = UcWideUpperCase(fileName.substr(dot));
    if (extension == u".BMP") return mkBitmap;
    if (extension == u".JPG" || extension == u".JPEG") return mkJpeg;
    if (extension == u".GIF") return mkGif;
    if (extension == u".PNG") return mkPng;
    if (extension == u".SWF") return mkSwf;
    return mkUnknown;
}

WideString GetProgramFolder() {
    if (!ProgramFolderOverride().empty()) return ProgramFolderOverride();
    std::error_code error;
    std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return u"./";
    return WithTrailingDelimiter(UcSystem::Utf8ToWide(program.parent_path().string()));
}

void SetProgramFolder(const WideString& folder) { ProgramFolderOverride() = WithTrailingDelimiter(folder); }

WideString MakeRelativePath(const WideString& path) {
    WideString folder = GetProgramFolder();
    if (path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0) return path.substr(folder.size());
    return path;
}

WideString MakeAbsolutePath(const WideString& path) {
    if (path.empty() || path[0] == u'/' || HasDriveColon(path)) return path;
    return GetProgramFolder() + path;
}

WideString GetAppDataFolder() {
    std::string folder = IncludeTrailingPathDelimiter(XdgDataHome());
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    return UcSystem::Utf8ToWide(folder);
}

WideString GetProgramDataFolder() {
    WideString folder = GetAppDataFolder() + u"Orvu Software/Tamblewick/";
    std::error_code error;
    std::filesystem::create_directories(UcSystem::WideToUtf8(folder), error);
    return folder;
}

WideString GetLanguageFile() {
    WideString name;
    WithSettingsKey([&](TUcRegistry& registry) {
        name = registry.ValueExists("Language") ? registry.ReadString(WideString(u"Language")) : u"English.ini";
    });
    WideString path = GetProgramFolder() + u"languages/" + name;
    if (name.empty() || !WideFileExists(path)) path = GetProgramFolder() + u"languages/English.ini";
    return path;
}

void SetLanguageFile(const WideString& path) {
    WithSettingsKey([&](TUcRegistry& registry) { registry.WriteString(u"Language", WideExtractFileName(path)); });
}

double GetUpdateDate() {
    return ReadSetting<double>("UpdateDate", std::floor(NowAsDateTime()),
                               [](TUcRegistry& r, const char* name) { return r.ReadDateTime(name); });
}

void SetUpdateDate(double date) {
    WithSettingsKey([&](TUcRegistry& registry) { registry.WriteDateTime("UpdateDate", date); });
}

bool GetAutoUpdate() {
    return ReadSetting<bool>("AutoUpdate", true, [](TUcRegistry& r, const char* name) { return r.ReadBool(name); });
}

void SetAutoUpdate(bool value) {
    WithSettingsKey([&](TUcRegistry& registry) { registry.WriteBool("AutoUpdate", value); });
}

int32_t GetUpdateDays() {
    return ReadSetting<int32_t>("UpdateDays", 15,
                                [](TUcRegistry& r, const char* name) { return r.ReadInteger(name); });
}

void SetUpdateDays(int32_t days) {
    WithSettingsKey([&](TUcRegistry& registry) { registry.WriteInteger("UpdateDays", days); });
}

bool GetAutoPreview() {
    return ReadSetting<bool>("AutoPreview", true, [](TUcRegistry& r, const char* name) { return r.ReadBool(name); });
}

void SetAutoPreview(bool value) {
    WithSettingsKey([&](TUcRegistry& registry) { registry.WriteBool("AutoPreview", value); });
}

bool WideSameText(const WideString& a, const WideString& b) {
    return a.size() == b.size() && LocaleCompareText(a, b) == 0;
}
