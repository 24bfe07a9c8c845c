#include "platform/registry.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <sys/file.h>
#include <unistd.h>

#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/stream.h"
#include "platform/xdg.h"

namespace {

struct StoredValue {
    std::string name;
    uint32_t type = REG_NONE;
    std::vector<uint8_t> data;
};

struct StoredKey {
    std::string path;
    std::vector<StoredValue> values;
};

using Store = std::vector<StoredKey>;

// ------------------------------------------------------------ names and case

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() == b.size() && a == b) return true;
    std::u16string wa = Utf8ToWide(a), wb = Utf8ToWide(b);
    if (wa.size() != wb.size()) return false;
    for (size_t i = 0; i < wa.size(); ++i)
        if (WideCharToUpper(wa[i]) != WideCharToUpper(wb[i])) return false;
    return true;
}

// "\A\\B\" and "A\B" are the same key.
std::string NormalizeKey(const std::string& key) {
    std::string result, part;
    auto flush = [&] {
        if (part.empty()) return;
        if (!result.empty()) result += '\\';
        result += part;
        part.clear();
    };
    for (char c : key) {
        if (c == '\\') flush();
        else part += c;
    }
    flush();
    return result;
}

bool IsSameOrBelow(const std::string& path, const std::string& key) {
    if (key.empty()) return true;
    if (SameName(path, key)) return true;
    return path.size() > key.size() && path[key.size()] == '\\' && SameName(path.substr(0, key.size()), key);
}

StoredKey* FindKey(Store& store, const std::string& path) {
    for (auto& key : store)
        if (SameName(key.path, path)) return &key;
    return nullptr;
}

StoredValue* FindValue(StoredKey& key, const std::string& name) {
    for (auto& value : key.values)
        if (SameName(value.name, name)) return &value;
    return nullptr;
}

// ------------------------------------------------------------- the file form

std::string Quote(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        case '\r': out += "\\r"; break;
        case '\n': out += "\\n"; break;
        default: out += c;
        }
    }
    return out + '"';
}

// Reads a quoted text starting at text[at] == '"'; moves at past its end.
bool Unquote(const std::string& text, size_t& at, std::string& out) {
    out.clear();
    for (++at; at < text.size(); ++at) {
        char c = text[at];
        if (c == '"') {
            ++at;
            return true;
        }
        if (c == '\\' && at + 1 < text.size()) {
            char next = text[++at];
            out += next == 'r' ? '\r' : next == 'n' ? '\n' : next;
        } else {
            out += c;
        }
    }
    return false;
}

bool IsPlainName(const std::string& name) {
    if (name.empty() || std::strchr("@;#[ \t\"", name.front()) != nullptr) return false;
    if (name.back() == ' ' || name.back() == '\t') return false;
    return name.find_first_of("=\"\r\n") == std::string::npos;
}

// String data as the wide registry calls store it: UTF-16LE with one NUL at
// the end. Only such data, free of lone surrogates, is written as text.
bool StringDataAsText(const std::vector<uint8_t>& data, std::string& text) {
    if (data.size() < 2 || data.size() % 2 != 0) return false;
    std::u16string wide;
    for (size_t i = 0; i < data.size(); i += 2) wide += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    if (wide.back() != 0) return false;
    wide.pop_back();
    if (wide.find(u'\0') != std::u16string::npos) return false;
    for (size_t i = 0; i < wide.size(); ++i) {
        bool high = wide[i] >= 0xD800 && wide[i] < 0xDC00, low = wide[i] >= 0xDC00 && wide[i] < 0xE000;
        if (low) return false;
        if (high) {
            if (i + 1 >= wide.size() || wide[i + 1] < 0xDC00 || wide[i + 1] >= 0xE000) return false;
            ++i;
        }
    }
    text = WideToUtf8(wide);
    return true;
}

std::vector<uint8_t> TextAsStringData(const std::string& text) {
    std::vector<uint8_t> data;
    for (char16_t c : Utf8ToWide(text)) {
        data.push_back(static_cast<uint8_t>(c & 0xFF));
        data.push_back(static_cast<uint8_t>(c >> 8));
    }
    data.push_back(0);
    data.push_back(0);
    return data;
}

std::string RenderValue(const StoredValue& value) {
    std::string text;
    if (value.type == REG_SZ && StringDataAsText(value.data, text)) return Quote(text);
    if (value.type == REG_EXPAND_SZ && StringDataAsText(value.data, text)) return "expand:" + Quote(text);
    if (value.type == REG_DWORD && value.data.size() == 4) {
        uint32_t number = value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) | (uint32_t(value.data[3]) << 24);
        return FormatStr("dword:%08x", number);
    }
    std::string out = value.type == REG_BINARY ? "hex:" : FormatStr("hex(%x):", value.type);
    for (size_t i = 0; i < value.data.size(); ++i) out += FormatStr(i ? ",%02x" : "%02x", value.data[i]);
    return out;
}

std::string Render(const Store& store) {
    std::string out = "; Per-user settings: one section a registry key, one line a value.\n";
    for (const auto& key : store) {
        out += "\n[" + key.path + "]\n";
        for (const auto& value : key.values) {
            std::string name = value.name.empty() ? "@" : IsPlainName(value.name) ? value.name : Quote(value.name);
            out += name + "=" + RenderValue(value) + "\n";
        }
    }
    return out;
}

std::string Trim(const std::string& text) {
    size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return "";
    size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

bool ParseHexBytes(const std::string& text, std::vector<uint8_t>& data) {
    std::string digits;
    for (char c : text) {
        if (c == ',' || c == ' ' || c == '\t') continue;
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
        digits += c;
    }
    if (digits.size() % 2 != 0) return false;
    for (size_t i = 0; i < digits.size(); i += 2)
        data.push_back(static_cast<uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
    return true;
}

bool ParseValue(const std::string& text, StoredValue& value) {
    size_t at = 0;
    std::string string;
    auto quoted = [&](size_t start, uint32_t type) {
        at = start;
        if (at >= text.size() || text[at] != '"' || !Unquote(text, at, string)) return false;
        value.type = type;
        value.data = TextAsStringData(string);
        return true;
    };
    if (text.rfind("\"", 0) == 0) return quoted(0, REG_SZ);
    if (text.rfind("expand:", 0) == 0) return quoted(7, REG_EXPAND_SZ);
    if (text.rfind("dword:", 0) == 0) {
        std::string digits = text.substr(6);
        if (digits.empty() || digits.size() > 8 || digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            return false;
        uint32_t number = static_cast<uint32_t>(std::stoul(digits, nullptr, 16));
        value.type = REG_DWORD;
        value.data = {uint8_t(number), uint8_t(number >> 8), uint8_t(number >> 16), uint8_t(number >> 24)};
        return true;
    }
    if (text.rfind("hex:", 0) == 0) {
        value.type = REG_BINARY;
        return ParseHexBytes(text.substr(4), value.data);
    }
    if (text.rfind("hex(", 0) == 0) {
        size_t close = text.find("):");
        if (close == std::string::npos || close == 4 || close > 12) return false;
        std::string digits = text.substr(4, close - 4);
        if (digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) return false;
        value.type = static_cast<uint32_t>(std::stoul(digits, nullptr, 16));
        return ParseHexBytes(text.substr(close + 2), value.data);
    }
    // A bare text, as a person may write it by hand.
    value.type = REG_SZ;
    value.data = TextAsStringData(text);
    return true;
}

// Lines that make no sense are passed over: a damaged store loses those
// lines only, never the rest of the settings.
Store Parse(const std::string& text) {
    Store store;
    StoredKey* current = nullptr;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = Trim(text.substr(start, end - start));
        start = end + 1;
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line.front() == '[' && line.back() == ']') {
            std::string path = NormalizeKey(line.substr(1, line.size() - 2));
            current = FindKey(store, path);
            if (current == nullptr) {
                store.push_back({path, {}});
                current = &store.back();
            }
            continue;
        }
        if (current == nullptr) continue;
        StoredValue value;
        size_t at = 0;
        if (line[0] == '"') {
            if (!Unquote(line, at, value.name)) continue;
            while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
            if (at >= line.size() || line[at] != '=') continue;
        } else {
            at = line.find('=');
            if (at == std::string::npos) continue;
            value.name = Trim(line.substr(0, at));
            if (value.name == "@") value.name.clear();
        }
        if (!ParseValue(Trim(line.substr(at + 1)), value)) continue;
        if (StoredValue* old = FindValue(*current, value.name)) *old = std::move(value);
        else current->values.push_back(std::move(value));
    }
    return store;
}

// ------------------------------------------------------------ store on disk

const char* RootName(uint32_t root) {
    switch (root) {
    case HKEY_CLASSES_ROOT: return "HKEY_CLASSES_ROOT";
    case HKEY_CURRENT_USER: return "HKEY_CURRENT_USER";
    case HKEY_LOCAL_MACHINE: return "HKEY_LOCAL_MACHINE";
    case HKEY_USERS: return "HKEY_USERS";
    default: return nullptr;
    }
}

Store LoadStore(uint32_t root) {
    std::string fileName = TRegistry::StoreFileName(root);
    if (fileName.empty() || !FileExists(fileName)) return {};
    std::vector<uint8_t> bytes = ReadFileBytes(fileName);
    return Parse(std::string(bytes.begin(), bytes.end()));
}

// Runs change on the store under an exclusive lock and writes the result
// when change says so. False when the store cannot be written.
bool ChangeStore(uint32_t root, const std::function<bool(Store&)>& change) {
    std::string fileName = TRegistry::StoreFileName(root);
    if (fileName.empty()) return false;
    try {
        ForceDirectories(ExtractFilePath(fileName));
    } catch (const Exception&) {
        return false;
    }
    int lock = open((fileName + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock < 0) return false;
    flock(lock, LOCK_EX);
    bool written = false;
    try {
        Store store = LoadStore(root);
        if (change(store)) {
            std::string text = Render(store);
            WriteFileBytes(fileName, text.data(), text.size());
        }
        written = true;
    } catch (const Exception&) {
        written = false;
    }
    flock(lock, LOCK_UN);
    close(lock);
    return written;
}

}  // namespace

std::string TRegistry::StoreFileName(uint32_t root) {
    const char* name = RootName(root);
    return name ? XdgConfigHome() + "/registry/" + name + ".ini" : std::string();
}

std::string TRegistry::RewriteStoreText(const std::string& text) { return Render(Parse(text)); }

void TRegistry::SetRootKey(uint32_t root) {
    CloseKey();
    root_ = root;
}

std::string TRegistry::Resolve(const std::string& key) const {
    if (!key.empty() && key[0] == '\\') return NormalizeKey(key);
    return NormalizeKey(current_ + '\\' + key);
}

bool TRegistry::OpenKey(const std::string& key, bool canCreate) {
    std::string path = Resolve(key);
    if (!KeyExists('\\' + path)) {
        if (!canCreate) return false;
        bool created = ChangeStore(root_, [&](Store& store) {
            if (FindKey(store, path)) return false;
            store.push_back({path, {}});
            return true;
        });
        if (!created) return false;
    }
    current_ = path;
    open_ = true;
    readOnly_ = false;
    return true;
}

bool TRegistry::OpenKeyReadOnly(const std::string& key) {
    if (!OpenKey(key, false)) return false;
    readOnly_ = true;
    return true;
}

void TRegistry::CloseKey() {
    current_.clear();
    open_ = false;
    readOnly_ = false;
}

bool TRegistry::KeyExists(const std::string& key) {
    if (RootName(root_) == nullptr) return false;
    std::string path = Resolve(key);
    if (path.empty()) return true;
    for (const auto& stored : LoadStore(root_))
        if (IsSameOrBelow(stored.path, path)) return true;
    return false;
}

bool TRegistry::DeleteKey(const std::string& key) {
    std::string path = Resolve(key);
    if (path.empty()) return false;
    bool found = false;
    bool written = ChangeStore(root_, [&](Store& store) {
        size_t before = store.size();
        std::erase_if(store, [&](const StoredKey& stored) { return IsSameOrBelow(stored.path, path); });
        found = store.size() != before;
        return found;
    });
    return written && found;
}

bool TRegistry::QueryValue(const std::string& name, uint32_t& type, std::vector<uint8_t>& data) {
    if (!open_) return false;
    Store store = LoadStore(root_);
    StoredKey* key = FindKey(store, current_);
    StoredValue* value = key ? FindValue(*key, name) : nullptr;
    if (value == nullptr) return false;
    type = value->type;
    data = value->data;
    return true;
}

void TRegistry::SetValue(const std::string& name, uint32_t type, const void* data, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    bool written = open_ && !readOnly_ && ChangeStore(root_, [&](Store& store) {
        StoredKey* key = FindKey(store, current_);
        if (key == nullptr) {
            store.push_back({current_, {}});
            key = &store.back();
        }
        StoredValue* value = FindValue(*key, name);
        if (value == nullptr) {
            key->values.push_back({name, type, {}});
            value = &key->values.back();
        }
        value->type = type;
        value->data.assign(bytes, bytes + size);
        return true;
    });
    if (!written) throw ERegistryException(FormatStr("Failed to set data for '%s'", name.c_str()));
}

bool TRegistry::ValueExists(const std::string& name) {
    uint32_t type;
    std::vector<uint8_t> data;
    return QueryValue(name, type, data);
}

bool TRegistry::DeleteValue(const std::string& name) {
    if (!open_ || readOnly_) return false;
    bool found = false;
    bool written = ChangeStore(root_, [&](Store& store) {
        StoredKey* key = FindKey(store, current_);
        if (key == nullptr) return false;
        size_t before = key->values.size();
        std::erase_if(key->values, [&](const StoredValue& value) { return SameName(value.name, name); });
        found = key->values.size() != before;
        return found;
    });
    return written && found;
}

std::vector<std::string> TRegistry::GetValueNames() {
    std::vector<std::string> names;
    if (!open_) return names;
    Store store = LoadStore(root_);
    if (StoredKey* key = FindKey(store, current_))
        for (const auto& value : key->values) names.push_back(value.name);
    return names;
}

std::vector<std::string> TRegistry::GetKeyNames() {
    std::vector<std::string> names;
    if (!open_) return names;
    for (const auto& stored : LoadStore(root_)) {
        if (!IsSameOrBelow(stored.path, current_) || SameName(stored.path, current_)) continue;
        std::string rest = current_.empty() ? stored.path : stored.path.substr(current_.size() + 1);
        std::string child = rest.substr(0, rest.find('\\'));
        bool known = false;
        for (const auto& name : names) known = known || SameName(name, child);
        if (!known) names.push_back(child);
    }
    return names;
}

std::vector<uint8_t> TRegistry::GetData(const std::string& name, uint32_t expected) {
    uint32_t type;
    std::vector<uint8_t> data;
    if (!QueryValue(name, type, data)) throw ERegistryException(FormatStr("Failed to get data for '%s'", name.c_str()));
    if (type != expected) throw ERegistryException(FormatStr("Invalid data type for '%s'", name.c_str()));
    return data;
}

std::string TRegistry::ReadString(const std::string& name) {
    uint32_t type;
    std::vector<uint8_t> data;
    if (!QueryValue(name, type, data) || data.empty()) return "";
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        throw ERegistryException(FormatStr("Invalid data type for '%s'", name.c_str()));
    std::u16string wide;
    for (size_t i = 0; i + 1 < data.size(); i += 2) {
        char16_t c = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
        if (c == 0) break;
        wide += c;
    }
    return WideToAnsi(wide);
}

void TRegistry::WriteString(const std::string& name, const std::string& value) {
    std::vector<uint8_t> data = TextAsStringData(AnsiToUtf8(value));
    SetValue(name, REG_SZ, data.data(), data.size());
}

void TRegistry::WriteExpandString(const std::string& name, const std::string& value) {
    std::vector<uint8_t> data = TextAsStringData(AnsiToUtf8(value));
    SetValue(name, REG_EXPAND_SZ, data.data(), data.size());
}

int32_t TRegistry::ReadInteger(const std::string& name) {
    std::vector<uint8_t> data = GetData(name, REG_DWORD);
    if (data.size() != 4) throw ERegistryException(FormatStr("Failed to get data for '%s'", name.c_str()));
    return static_cast<int32_t>(data[0] | (data[1] << 8) | (data[2] << 16) | (uint32_t(data[3]) << 24));
}

void TRegistry::WriteInteger(const std::string& name, int32_t value) {
    uint32_t number = static_cast<uint32_t>(value);
    uint8_t data[4] = {uint8_t(number), uint8_t(number >> 8), uint8_t(number >> 16), uint8_t(number >> 24)};
    SetValue(name, REG_DWORD, data, 4);
}

bool TRegistry::ReadBool(const std::string& name) { return ReadInteger(name) != 0; }
void TRegistry::WriteBool(const std::string& name, bool value) { WriteInteger(name, value ? 1 : 0); }

double TRegistry::ReadFloat(const std::string& name) {
    std::vector<uint8_t> data = GetData(name, REG_BINARY);
    if (data.size() != sizeof(double)) throw ERegistryException(FormatStr("Invalid data type for '%s'", name.c_str()));
    double value;
    std::memcpy(&value, data.data(), sizeof value);  // little-endian, as the original stored it
    return value;
}

void TRegistry::WriteFloat(const std::string& name, double value) { SetValue(name, REG_BINARY, &value, sizeof value); }

std::vector<uint8_t> TRegistry::ReadBinaryData(const std::string& name) { return GetData(name, REG_BINARY); }

void TRegistry::WriteBinaryData(const std::string& name, const void* data, size_t size) {
    SetValue(name, REG_BINARY, data, size);
}
