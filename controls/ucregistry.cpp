#include "controls/ucregistry.h"

WideString TUcRegistry::ReadString(const WideString& name) {
    std::string valueName = UcSystem::WideToUtf8(name);
    uint32_t type;
    std::vector<uint8_t> data;
    if (!QueryValue(valueName, type, data)) return {};
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        throw ERegistryException(FormatStr("Invalid data type for '%s'", valueName.c_str()));
    if (data.size() == 1) data.push_back(0);  // a one-byte value counts as two
    WideString text;
    for (size_t i = 0; i + 1 < data.size(); i += 2) {
        auto c = static_cast<WideChar>(data[i] | (data[i + 1] << 8));
        if (c == 0) break;  // the stored terminator, or an embedded NUL
        text += c;
    }
    return text;
}

void TUcRegistry::PutString(const WideString& name, const WideString& value, uint32_t type) {
    std::vector<uint8_t> data;
    data.reserve((value.size() + 1) * 2);
    for (WideChar c : value) {
        data.push_back(static_cast<uint8_t>(c & 0xFF));
        data.push_back(static_cast<uint8_t>(c >> 8));
    }
    data.push_back(0);
    data.push_back(0);
    SetValue(UcSystem::WideToUtf8(name), type, data.data(), data.size());
}
