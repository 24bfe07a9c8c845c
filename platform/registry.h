// The registry of per-user settings: the stand-in for the system registry and
// the toolkit's registry object.
//
// Each root key is kept in an ini file of its own in the XDG configuration
// folder ("registry/HKEY_CURRENT_USER.ini" below XdgConfigHome()), one section
// a key with the key's full path as its name, one line a value. The file is
// UTF-8 and readable by any ini reader; values keep their registry type:
//
//   [Software\Vendor\Product]
//   Language="English.ini"          string (REG_SZ); \\ \" \r \n escaped
//   Path=expand:"%HOME%\x"          REG_EXPAND_SZ
//   Count=dword:0000000f            REG_DWORD
//   Stamp=hex:00,00,00,00,00,80,e6,40   REG_BINARY; hex(N): for other types
//
// Every call reads the file afresh and every change rewrites it through a
// temporary file under a lock, so several processes share one store. Key and
// value names are UTF-8 and compared without regard to case, as the registry
// does. Left out: remote registries, security, key notifications.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/errors.h"

class ERegistryException : public Exception { using Exception::Exception; };

constexpr uint32_t HKEY_CLASSES_ROOT = 0x80000000;
constexpr uint32_t HKEY_CURRENT_USER = 0x80000001;
constexpr uint32_t HKEY_LOCAL_MACHINE = 0x80000002;
constexpr uint32_t HKEY_USERS = 0x80000003;

constexpr uint32_t REG_NONE = 0;
constexpr uint32_t REG_SZ = 1;
constexpr uint32_t REG_EXPAND_SZ = 2;
constexpr uint32_t REG_BINARY = 3;
constexpr uint32_t REG_DWORD = 4;

class TRegistry {
public:
    TRegistry() = default;
    virtual ~TRegistry() = default;

    uint32_t RootKey() const { return root_; }
    // Changing the root closes the current key.
    void SetRootKey(uint32_t root);
    // Opens key, relative to the current key unless it starts with '\';
    // creates it (with its parents) when canCreate. False when it is missing
    // and may not be created, or cannot be created.
    bool OpenKey(const std::string& key, bool canCreate);
    bool OpenKeyReadOnly(const std::string& key);
    void CloseKey();
    // Path of the current key without a leading backslash; empty when none.
    const std::string& CurrentPath() const { return current_; }
    bool HasCurrentKey() const { return open_; }

    bool KeyExists(const std::string& key);
    // Deletes the key with its sub-keys and values.
    bool DeleteKey(const std::string& key);
    bool ValueExists(const std::string& name);
    bool DeleteValue(const std::string& name);
    std::vector<std::string> GetValueNames();
    std::vector<std::string> GetKeyNames();

    // The toolkit's typed values. Strings here are code-page text. A missing
    // value reads as "" for strings and raises "Failed to get data for '%s'"
    // for the other types; a value of another type raises "Invalid data type
    // for '%s'".
    std::string ReadString(const std::string& name);
    void WriteString(const std::string& name, const std::string& value);
    void WriteExpandString(const std::string& name, const std::string& value);
    int32_t ReadInteger(const std::string& name);
    void WriteInteger(const std::string& name, int32_t value);
    bool ReadBool(const std::string& name);
    void WriteBool(const std::string& name, bool value);
    // Dates and floats are 8-byte binary values holding a double.
    double ReadFloat(const std::string& name);
    void WriteFloat(const std::string& name, double value);
    double ReadDateTime(const std::string& name) { return ReadFloat(name); }
    void WriteDateTime(const std::string& name, double value) { WriteFloat(name, value); }
    std::vector<uint8_t> ReadBinaryData(const std::string& name);
    void WriteBinaryData(const std::string& name, const void* data, size_t size);

    // The system calls underneath (RegQueryValueEx, RegSetValueEx): the type
    // and bytes of a value of the current key, false when there is none; and
    // storing them, which raises "Failed to set data for '%s'" on failure.
    bool QueryValue(const std::string& name, uint32_t& type, std::vector<uint8_t>& data);
    void SetValue(const std::string& name, uint32_t type, const void* data, size_t size);

    // The ini file that holds a root key.
    static std::string StoreFileName(uint32_t root);
    // A store's text read and written again, as every change does: the lines
    // that make no sense are dropped, all else is kept.
    static std::string RewriteStoreText(const std::string& text);

private:
    std::string Resolve(const std::string& key) const;
    std::vector<uint8_t> GetData(const std::string& name, uint32_t expected);

    uint32_t root_ = HKEY_CURRENT_USER;
    std::string current_;
    bool open_ = false;
    bool readOnly_ = false;
};
