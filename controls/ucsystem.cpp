#include "controls/ucsystem.h"

#include <cstring>

#include "platform/codepage.h"

// ------------------------------------------------------------------- UTF-8

namespace UcSystem {

WideString Utf8ToWide(const std::string& bytes) {
    WideString out;
    out.reserve(bytes.size());
    const size_t n = bytes.size();
    auto at = [&](size_t k) { return static_cast<unsigned char>(bytes[k]); };
    size_t i = 0;
    while (i < n) {
        const unsigned char b = at(i);
        if (b < 0x80) {
            out += static_cast<WideChar>(b);
            ++i;
            continue;
        }
        // The length a lead byte announces and the range its first
        // continuation byte must lie in: the narrower ranges after E0, F0
        // and F4 shut out overlong forms and code points past U+10FFFF.
        // C0, C1, F5 to FF and a continuation byte never start a sequence.
        size_t length = 0;
        unsigned char low = 0x80, high = 0xBF;
        if (b >= 0xC2 && b <= 0xDF) length = 2;
        else if (b >= 0xE0 && b <= 0xEF) length = 3, low = b == 0xE0 ? 0xA0 : 0x80;
        else if (b >= 0xF0 && b <= 0xF4) length = 4, low = b == 0xF0 ? 0x90 : 0x80, high = b == 0xF4 ? 0x8F : 0xBF;
        uint32_t code = length == 2 ? b & 0x1F : length == 3 ? b & 0x0F : b & 0x07;
        size_t taken = 1;
        while (taken < length && i + taken < n) {
            const unsigned char c = at(i + taken);
            if (c < low || c > high) break;
            code = code << 6 | (c & 0x3F);
            low = 0x80, high = 0xBF;
            ++taken;
        }
        if (length == 0 || taken < length) {
            // The malformed part as far as it went stands for one
            // replacement character; decoding goes on after it.
            out += static_cast<WideChar>(0xFFFD);
            i += taken;
            continue;
        }
        i += taken;
        if (code >= 0x10000) {
            code -= 0x10000;
            out += static_cast<WideChar>(0xD800 + (code >> 10));
            out += static_cast<WideChar>(0xDC00 + (code & 0x3FF));
        } else {
            out += static_cast<WideChar>(code);
        }
    }
    return out;
}

std::string WideToUtf8(const WideString& text) {
    std::string out;
    out.reserve(text.size() * 3);
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

}  // namespace UcSystem

// ------------------------------------------------------------------- UTF-7

namespace {

const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
const char kSetD[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789'(),-./:?";
const char kSetO[] = "!\"#$%&*;<=>@[]^_`{|}";
const char kWhiteSpace[] = "\t\r\n ";

struct Utf7Tables {
    int8_t base64Value[128];
    bool mustShiftStrict[128];
    bool mustShiftOptional[128];

    Utf7Tables() {
        for (int c = 0; c < 128; ++c) {
            base64Value[c] = -1;
            mustShiftStrict[c] = mustShiftOptional[c] = true;
        }
        for (int v = 0; v < 64; ++v) base64Value[static_cast<unsigned char>(kBase64[v])] = static_cast<int8_t>(v);
        for (const char* set : {kSetD, kWhiteSpace})
            for (const char* p = set; *p; ++p) mustShiftStrict[int(*p)] = mustShiftOptional[int(*p)] = false;
        for (const char* p = kSetO; *p; ++p) mustShiftOptional[int(*p)] = false;
    }
};

const Utf7Tables& Tables() {
    static const Utf7Tables tables;
    return tables;
}

bool IsBase64Char(uint32_t c) { return c < 128 && Tables().base64Value[c] >= 0; }

}  // namespace

std::string WideToUtf7(const WideString& text) {
    const Utf7Tables& tables = Tables();
    std::string out;
    out.reserve(text.size() * 3);
    bool inBase64 = false;
    uint32_t bits = 0;
    int bitCount = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        bool end = i == text.size();
        uint32_t c = end ? 0 : text[i];
        bool shift = !end && (c > 127 || tables.mustShiftOptional[c]);
        if (shift && !inBase64) {
            out += '+';
            if (c == '+') {
                out += '-';  // "+-" stands for '+' itself
                continue;
            }
            inBase64 = true;
        }
        if (inBase64) {
            if (shift) {
                bits = (bits << 16) | c;
                bitCount += 16;
            } else {
                while (bitCount % 6 != 0) {
                    bits <<= 1;
                    ++bitCount;
                }
            }
            while (bitCount >= 6) {
                bitCount -= 6;
                out += kBase64[(bits >> bitCount) & 0x3F];
            }
            bits &= (1u << bitCount) - 1;
            if (!shift) {
                inBase64 = false;
                // Without the '-' the next character would read as more base64.
                if (!end && (IsBase64Char(c) || c == '-')) out += '-';
            }
        }
        if (!end && !shift) out += static_cast<char>(c);
    }
    return out;
}

WideString Utf7ToWide(const std::string& bytes) {
    const Utf7Tables& tables = Tables();
    WideString out;
    out.reserve(bytes.size());
    bool shifted = false, first = false, wroteOne = false, corrupt = false;
    uint32_t bits = 0;
    int bitCount = 0;
    size_t i = 0;
    for (;;) {
        bool have = i < bytes.size();
        auto c = have ? static_cast<unsigned char>(bytes[i]) : 0u;
        bool used = false;
        if (shifted) {
            bool ends = !have || c > 127 || tables.base64Value[c] < 0;
            if (!ends) {
                bits = (bits << 6) | static_cast<uint32_t>(tables.base64Value[c]);
                bitCount += 6;
                first = false;
                used = true;
            } else {
                shifted = false;
                if (have && c == '-') {
                    ++i;  // the '-' is part of the shift; the byte after it is handled below
                    have = i < bytes.size();
                    c = have ? static_cast<unsigned char>(bytes[i]) : 0u;
                    if (first) out += u'+';
                    else if (!wroteOne) corrupt = true;
                } else if (!wroteOne) {
                    corrupt = true;
                }
            }
            while (bitCount >= 16) {
                bitCount -= 16;
                out += static_cast<WideChar>((bits >> bitCount) & 0xFFFF);
                wroteOne = true;
            }
            bits &= (1u << bitCount) - 1;
            if (!shifted) {
                if (bits != 0) corrupt = true;  // leftover bits must be padding
                bits = 0;
                bitCount = 0;
            }
        }
        if (!shifted && have && !used) {
            if (c == '+') {
                shifted = first = true;
                wroteOne = false;
            } else {
                out += static_cast<WideChar>(c);
                if (c > 127) corrupt = true;
            }
        }
        if (!have) break;
        ++i;
    }
    if (corrupt) throw EUcGeneralError("Invalid UTF7");
    return out;
}

// -------------------------------------------------------------- code pages

namespace {

unsigned ResolveCodePage(unsigned codePage) {
    return codePage == CP_ACP || codePage == CP_THREAD_ACP ? DefaultAnsiCodePage : codePage;
}

}  // namespace

WideString AnsiToWideByCodePage(const std::string& bytes, unsigned codePage) {
    if (codePage == CP_UTF7) return Utf7ToWide(bytes);
    if (codePage == CP_UTF8) return UcSystem::Utf8ToWide(bytes);
    return MultiByteToWide(bytes, ResolveCodePage(codePage));
}

std::string WideToAnsiByCodePage(const WideString& text, unsigned codePage) {
    if (codePage == CP_UTF7) return WideToUtf7(text);
    if (codePage == CP_UTF8) return UcSystem::WideToUtf8(text);
    return WideToMultiByte(text, ResolveCodePage(codePage));
}

WideString AnsiToWideDefault(const std::string& bytes) { return AnsiToWide(bytes); }
std::string WideToAnsiDefault(const WideString& text) { return WideToAnsi(text); }

unsigned LocaleAnsiCodePage(unsigned locale) {
    unsigned codePage = LocaleDefaultAnsiCodePage(locale);
    return codePage != 0 ? codePage : DefaultAnsiCodePage;
}

unsigned KeyboardCodePage() { return LocaleAnsiCodePage(UserDefaultLocale); }

WideChar KeyCharToWide(unsigned key) {
    if (key >= 256) return static_cast<WideChar>(key);
    WideString text = MultiByteToWide(std::string(1, static_cast<char>(key)), KeyboardCodePage());
    return text.size() == 1 ? text[0] : static_cast<WideChar>(key);
}

void WideSwapByteOrder(WideString& text) {
    for (WideChar& c : text) {
        if (c == 0) break;
        c = static_cast<WideChar>((c << 8) | (c >> 8));
    }
}

bool IsWideCharMappable(WideChar c) {
    bool usedDefault = false;
    WideToMultiByte(WideString(1, c), DefaultAnsiCodePage, &usedDefault);
    return !usedDefault;
}

WideString LoadWideResourceString(const char* text) {
    if (text == nullptr) return {};
    size_t length = std::strlen(text);
    if (length > 3 && std::memcmp(text, "\xEF\xBB\xBF", 3) == 0) return UcSystem::Utf8ToWide(std::string(text + 3));
    return AnsiToWideDefault(std::string(text, length));
}

WideString WideStringFromBuffer(const WideChar* buffer, int count) {
    if (buffer == nullptr) return {};
    if (count < 0) return WideString(buffer);
    return WideString(buffer, static_cast<size_t>(count));
}

// ------------------------------------------------------ case and comparison

WideChar WideCharUpper(WideChar c) { return WideCharToUpper(c); }

size_t WideCharUpperBuff(WideChar* buffer, size_t count) {
    for (size_t i = 0; i < count; ++i) buffer[i] = WideCharToUpper(buffer[i]);
    return count;
}

namespace {

int Sign(int value) { return (value > 0) - (value < 0); }

int CompareWide(const WideString& a, const WideString& b, bool ignoreCase) {
    size_t common = std::min(a.size(), b.size());
    for (size_t i = 0; i < common; ++i) {
        int difference = int(WideCharToUpper(a[i])) - int(WideCharToUpper(b[i]));
        if (difference != 0) return Sign(difference);
    }
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    if (ignoreCase) return 0;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i] == b[i]) continue;
        bool aLower = WideCharToUpper(a[i]) != a[i], bLower = WideCharToUpper(b[i]) != b[i];
        if (aLower != bLower) return aLower ? -1 : 1;
        return a[i] < b[i] ? -1 : 1;
    }
    return 0;
}

}  // namespace

int LocaleCompareText(const WideString& a, const WideString& b) { return CompareWide(a, b, true); }
int LocaleCompareStr(const WideString& a, const WideString& b) { return CompareWide(a, b, false); }

WideString WideTrim(const WideString& text) {
    size_t first = 0, last = text.size();
    while (first < last && text[first] <= u' ') ++first;
    while (last > first && text[last - 1] <= u' ') --last;
    return text.substr(first, last - first);
}
