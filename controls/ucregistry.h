// The registry object with string values read and written as wide strings,
// so that values outside the system code page survive. Keys, the root and
// the other value types are those of TRegistry (platform/registry.h), whose
// store is an ini file in the per-user configuration folder.
#pragma once

#include "controls/ucsystem.h"
#include "platform/registry.h"

class TUcRegistry : public TRegistry {
public:
    using TRegistry::ReadString;
    using TRegistry::WriteString;

    // The string value; "" when it is missing. A value of another type
    // raises ERegistryException "Invalid data type for '%s'".
    WideString ReadString(const WideString& name);
    void WriteString(const WideString& name, const WideString& value) { PutString(name, value, REG_SZ); }
    // A string value of type REG_SZ or REG_EXPAND_SZ (not expanded on read).
    void PutString(const WideString& name, const WideString& value, uint32_t type);
};
