// Rich text from outside: read it, write what was read, read that again.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/rtf.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    try {
        const TRtfDocument doc = ReadRtf(bytes);
        const TRtfDocument again = ReadRtf(WriteRtf(doc));
        if (again.PlainText() != doc.PlainText()) __builtin_trap();
    } catch (const ERtfError&) {
    }
    return 0;
}
