#include "controls/ucwidestrutils.h"

#include <cstdint>
#include <cstring>
#include <limits>

WideChar* WideStrAlloc(size_t characters) {
    size_t bytes = characters * sizeof(WideChar) + sizeof(uint32_t);
    auto* block = static_cast<uint8_t*>(::operator new(bytes));
    uint32_t size = static_cast<uint32_t>(bytes);
    std::memcpy(block, &size, sizeof size);
    return reinterpret_cast<WideChar*>(block + sizeof(uint32_t));
}

void WideStrDispose(WideChar* text) {
    if (text != nullptr) ::operator delete(reinterpret_cast<uint8_t*>(text) - sizeof(uint32_t));
}

size_t WideStrBufSize(const WideChar* text) {
    uint32_t size;
    std::memcpy(&size, reinterpret_cast<const uint8_t*>(text) - sizeof(uint32_t), sizeof size);
    return size;
}

WideChar* WideStrNew(const WideChar* text) {
    if (text == nullptr) return nullptr;
    size_t length = WideStrLen(text) + 1;
    return WideStrMove(WideStrAlloc(length), text, length);
}

WideChar* WideStrMove(WideChar* destination, const WideChar* source, size_t n) {
    std::memmove(destination, source, n * sizeof(WideChar));
    return destination;
}

size_t WideStrLen(const WideChar* text) {
    size_t length = 0;
    while (text[length] != 0) ++length;
    return length;
}

WideChar* WideStrEnd(WideChar* text) { return text + WideStrLen(text); }

WideChar* WideStrLimitedCopy(WideChar* destination, const WideChar* source, size_t n) {
    size_t i = 0;
    for (; i < n && source[i] != 0; ++i) destination[i] = source[i];
    destination[i] = 0;
    return destination;
}

WideChar* WideStrCopy(WideChar* destination, const WideChar* source) {
    return WideStrLimitedCopy(destination, source, std::numeric_limits<size_t>::max());
}

WideChar* WideStrPCopy(WideChar* destination, const WideString& source) {
    return WideStrLimitedCopy(destination, source.c_str(), source.size());
}

WideChar* WideStrScan(WideChar* text, WideChar c) {
    for (;; ++text) {
        if (*text == c) return text;
        if (*text == 0) return nullptr;
    }
}
