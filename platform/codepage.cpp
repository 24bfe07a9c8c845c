#include "platform/codepage.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cwctype>
#include <iconv.h>
#include <locale.h>

#include "platform/errors.h"

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

bool IsValidUtf8(const std::string& text) {
    char32_t c;
    for (size_t i = 0; i < text.size();) {
        size_t length = DecodeUtf8(text, i, c);
        if (length == 0) return false;
        i += length;
    }
    return true;
}

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

std::u32string WideToCodePoints(const std::u16string& text) {
    std::u32string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        out.push_back(c);
    }
    return out;
}

std::string WideToUtf8(const std::u16string& text) {
    std::string out;
    out.reserve(text.size());
    for (char32_t c : WideToCodePoints(text)) AppendUtf8(out, c);
    return out;
}

// Windows-1252 case: besides A-Z and the Latin-1 letters, the page pairs
// four letters in its 0x80 block, and y with diaeresis has its capital there.
static char ChangeCase(unsigned char b, bool upper) {
    static const unsigned char kPairs[][2] = {{0x8A, 0x9A}, {0x8C, 0x9C}, {0x8E, 0x9E}, {0x9F, 0xFF}};
    for (const auto& pair : kPairs) {
        if (upper && b == pair[1]) return static_cast<char>(pair[0]);
        if (!upper && b == pair[0]) return static_cast<char>(pair[1]);
    }
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

// ------------------------------------------------------- numbered code pages

namespace {

std::string IconvName(unsigned codePage) {
    switch (codePage) {
    case 65001: return "UTF-8";
    case 1200: return "UTF-16LE";
    case 1201: return "UTF-16BE";
    case 20127: return "ASCII";
    case 20866: return "KOI8-R";
    case 21866: return "KOI8-U";
    case 54936: return "GB18030";
    default: break;
    }
    if (codePage >= 28591 && codePage <= 28606) return FormatStr("ISO-8859-%u", codePage - 28590);
    return FormatStr("CP%u", codePage);
}

// iconv's name of UTF-16 in the machine's own byte order, as char16_t holds it.
const char* const kWideName = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";

// One iconv conversion descriptor, closed when it goes out of scope.
class Converter {
public:
    Converter(const std::string& to, const std::string& from) : handle_(iconv_open(to.c_str(), from.c_str())) {}
    ~Converter() {
        if (Valid()) iconv_close(handle_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool Valid() const { return handle_ != reinterpret_cast<iconv_t>(-1); }

    // Converts as much as it can, straight into out; returns the errno that
    // stopped it (0 at the end).
    template <typename Char>
    int Run(const char*& in, size_t& inLeft, std::basic_string<Char>& out) {
        for (;;) {
            size_t used = out.size();
            out.resize(used + std::max<size_t>(inLeft * 2 / sizeof(Char), 32));
            char* start = reinterpret_cast<char*>(out.data() + used);
            char* target = start;
            size_t room = (out.size() - used) * sizeof(Char);
            bool flushing = inLeft == 0;  // then back to the initial shift state
            size_t result = flushing ? iconv(handle_, nullptr, nullptr, &target, &room)
                                     : iconv(handle_, const_cast<char**>(&in), &inLeft, &target, &room);
            out.resize(used + static_cast<size_t>(target - start) / sizeof(Char));
            if (result == static_cast<size_t>(-1)) {
                if (errno != E2BIG) return errno;
            } else if (flushing) {
                return 0;
            }
        }
    }

private:
    iconv_t handle_;
};

}  // namespace

bool IsValidCodePage(unsigned codePage) {
    if (codePage == 1252) return true;
    Converter probe(kWideName, IconvName(codePage));
    return probe.Valid();
}

std::u16string MultiByteToWide(const std::string& bytes, unsigned codePage) {
    if (codePage == 1252) return AnsiToWide(bytes);
    Converter converter(kWideName, IconvName(codePage));
    if (!converter.Valid()) throw EConvertError(FormatStr("Unknown code page %u", codePage));
    std::u16string wide;
    wide.reserve(bytes.size() + 1);
    const char* in = bytes.data();
    size_t left = bytes.size();
    while (converter.Run(in, left, wide) != 0) {
        // A byte that starts no valid sequence, or a sequence cut off by the end.
        wide += u'\uFFFD';
        ++in;
        --left;
    }
    return wide;
}

std::string WideToMultiByte(const std::u16string& text, unsigned codePage, bool* usedDefault) {
    if (usedDefault) *usedDefault = false;
    if (codePage == 1252) {
        std::string out = WideToAnsi(text);
        if (usedDefault)
            for (size_t i = 0; i < text.size(); ++i)
                if (out[i] == '?' && text[i] != u'?') *usedDefault = true;
        return out;
    }
    Converter converter(IconvName(codePage), kWideName);
    if (!converter.Valid()) throw EConvertError(FormatStr("Unknown code page %u", codePage));
    std::string out;
    out.reserve(text.size() + 1);
    const char* in = reinterpret_cast<const char*>(text.data());
    size_t left = text.size() * 2;
    while (converter.Run(in, left, out) != 0) {
        // A character the code page lacks, or a lone surrogate: one '?' a code unit.
        out += '?';
        if (usedDefault) *usedDefault = true;
        in += 2;
        left -= 2;
    }
    return out;
}

namespace {

struct LocaleCodePage {
    unsigned locale;  // a full locale id, or a primary language id (below 0x400)
    unsigned codePage;
};

// Full locale ids come first: they override their primary language.
const LocaleCodePage kLocaleCodePages[] = {
    {0x0804, 936},  {0x1004, 936},  {0x0404, 950},  {0x0C04, 950},  {0x1404, 950},  {0x041A, 1250},
    {0x081A, 1250}, {0x0C1A, 1251}, {0x141A, 1250}, {0x042C, 1254}, {0x082C, 1251}, {0x0443, 1254},
    {0x0843, 1251},
    {0x01, 1256},   {0x02, 1251},   {0x03, 1252},   {0x04, 950},    {0x05, 1250},   {0x06, 1252},
    {0x07, 1252},   {0x08, 1253},   {0x09, 1252},   {0x0A, 1252},   {0x0B, 1252},   {0x0C, 1252},
    {0x0D, 1255},   {0x0E, 1250},   {0x0F, 1252},   {0x10, 1252},   {0x11, 932},    {0x12, 949},
    {0x13, 1252},   {0x14, 1252},   {0x15, 1250},   {0x16, 1252},   {0x18, 1250},   {0x19, 1251},
    {0x1A, 1250},   {0x1B, 1250},   {0x1C, 1250},   {0x1D, 1252},   {0x1E, 874},    {0x1F, 1254},
    {0x20, 1256},   {0x21, 1252},   {0x22, 1251},   {0x23, 1251},   {0x24, 1250},   {0x25, 1257},
    {0x26, 1257},   {0x27, 1257},   {0x29, 1256},   {0x2A, 1258},   {0x2D, 1252},   {0x2F, 1251},
    {0x36, 1252},   {0x38, 1252},   {0x3E, 1252},   {0x3F, 1251},   {0x41, 1252},   {0x44, 1251},
    {0x56, 1252},
};

struct CodePageCharset {
    unsigned codePage;
    int charset;
};

const CodePageCharset kCharsets[] = {
    {1252, 0},   {1250, 238}, {1251, 204}, {1253, 161}, {1254, 162}, {1255, 177}, {1256, 178},
    {1257, 186}, {1258, 163}, {874, 222},  {932, 128},  {936, 134},  {949, 129},  {950, 136},
    {1361, 130},
};

}  // namespace

unsigned LocaleDefaultAnsiCodePage(unsigned locale) {
    locale &= 0xFFFF;
    if (locale == 0x0400 || locale == 0x0800) locale = 0x0409;  // the user's and the system's default: US English
    for (const auto& entry : kLocaleCodePages)
        if (entry.locale == locale) return entry.codePage;
    for (const auto& entry : kLocaleCodePages)
        if (entry.locale == (locale & 0x3FF)) return entry.codePage;
    return 0;
}

int CharsetOfCodePage(unsigned codePage) {
    for (const auto& entry : kCharsets)
        if (entry.codePage == codePage) return entry.charset;
    return -1;
}

namespace {

// The C library's full Unicode case tables live in its UTF-8 C locale.
locale_t UnicodeCtype() {
    static locale_t ctype = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    return ctype;
}

char16_t MapCase(char16_t c, bool upper) {
    if (c >= 0xD800 && c < 0xE000) return c;
    if (c < 0x80) {
        if (upper && c >= 'a' && c <= 'z') return static_cast<char16_t>(c - 0x20);
        if (!upper && c >= 'A' && c <= 'Z') return static_cast<char16_t>(c + 0x20);
        return c;
    }
    locale_t ctype = UnicodeCtype();
    if (ctype == static_cast<locale_t>(nullptr)) return c;
    wint_t mapped = upper ? towupper_l(c, ctype) : towlower_l(c, ctype);
    return mapped < 0x10000 ? static_cast<char16_t>(mapped) : c;
}

}  // namespace

char16_t WideCharToUpper(char16_t c) { return MapCase(c, true); }
char16_t WideCharToLower(char16_t c) { return MapCase(c, false); }
