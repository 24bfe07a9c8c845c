// ActionScript source of any bytes through the lexer and the parser: it
// parses or raises the compiler's error; it never crashes, hangs or leaks.
#include <cstddef>
#include <cstdint>

#include "ascompiler/compile_context.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TCompileContext context;
    TMemoryStream source(std::vector<uint8_t>(data, data + size));
    try {
        context.ParseUnit(source);
    } catch (const Exception&) {
        // Parse errors, unknown events, missing classes and includes.
    }
    return 0;
}
