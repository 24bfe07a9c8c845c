#include "platform/codepage.h"

#include <cstdint>

namespace {

// Unicode code points of the bytes 0x80..0x9F in Windows-1252.
const char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char32_t ByteToCodePoint(unsigned char b) {
    if (b >= 0x80 && b < 0xA0) return kHighControls[b - 0x80];
    return b;
}

int CodePointToByte(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<int>(c);
    for (int i = 0; i < 32; ++i)
        if (kHighControls[i] == c) return 0x80 + i;
    return -1;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Decodes one UTF-8 sequence at text[i]; returns its length, or 0 when the
// bytes there are not a valid sequence.
size_t DecodeUtf8(const std::string& text, size_t i, char32_t& c) {
    auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    unsigned char b = byte(i);
    size_t length;
    if (b < 0x80) { c = b; return 1; }
    if ((b & 0xE0) == 0xC0) { length = 2; c = b & 0x1F; }
    else if ((b & 0xF0) == 0xE0) { length = 3; c = b & 0x0F; }
    else if ((b & 0xF8) == 0xF0) { length = 4; c = b & 0x07; }
    else return 0;
    if (i + length > text.size()) return 0;
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        c = (c << 6) | (byte(i + k) & 0x3F);
    }
    static const char32_t minimum[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < minimum[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
    return length;
}

}  // namespace

std::string AnsiToUtf8(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (unsigned char b : text) AppendUtf8(out, ByteToCodePoint(b));
    return out;
}

std::string Utf8ToAnsi(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        char32_t c;
        size_t length = DecodeUtf8(text, i, c);
        if (length == 0) {
            out += text[i];
            ++i;
            continue;
        }
        int b = CodePointToByte(c);
        out += b < 0 ? '?' : static_cast<char>(b);
        i += length;
    }
    return out;
}

std::u16string AnsiToWide(const std::string& text) {
    std::u16string out;
    out.reserve(text.size());
    for (unsigned char b : text) out += static_cast<char16_t>(ByteToCodePoint(b));
    return out;
}

std::string WideToAnsi(const std::u16string& text) {
    std::string out;
    out.reserve(text.size());
    for (char16_t c : text) {
        int b = CodePointToByte(c);
        out += b < 0 ? '?' : static_cast<char>(b);
    }
    return out;
}

std::u16string Utf8ToWide(const std::string& text) {
    std::u16string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        char32_t c;
        size_t length = DecodeUtf8(text, i, c);
        if (length == 0) {
            c = ByteToCodePoint(static_cast<unsigned char>(text[i]));
            length = 1;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
        i += length;
    }
    return out;
}

std::string WideToUtf8(const std::u16string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        AppendUtf8(out, c);
    }
    return out;
}

static char ChangeCase(unsigned char b, bool upper) {
    bool isLower = (b >= 'a' && b <= 'z') || (b >= 0xE0 && b <= 0xFE && b != 0xF7);
    bool isUpper = (b >= 'A' && b <= 'Z') || (b >= 0xC0 && b <= 0xDE && b != 0xD7);
    if (upper && isLower) return static_cast<char>(b - 0x20);
    if (!upper && isUpper) return static_cast<char>(b + 0x20);
    return static_cast<char>(b);
}

std::string AnsiUpperCase(const std::string& text) {
    std::string out = text;
    for (char& c : out) c = ChangeCase(static_cast<unsigned char>(c), true);
    return out;
}

std::string AnsiLowerCase(const std::string& text) {
    std::string out = text;
    for (char& c : out) c = ChangeCase(static_cast<unsigned char>(c), false);
    return out;
}

bool AnsiSameText(const std::string& a, const std::string& b) {
    return a.size() == b.size() && AnsiUpperCase(a) == AnsiUpperCase(b);
}
