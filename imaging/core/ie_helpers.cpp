#include "imaging/core/ie_helpers.h"

#include "imaging/core/ie_font_styles.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "imaging/core/ie_bitmap.h"
#include "platform/bitmap.h"
#include "platform/codepage.h"
#include "platform/global_memory.h"
#include "platform/mathutil.h"

int64_t IEDefaultMemoryThreshold = -1;
std::string IETempFolder;
int32_t IEGrayWeights[3] = {21, 71, 8};
bool IEColorManagementEnabled = false;
TIECMYKToRGBTransform IECMYKToRGBTransform = nullptr;
TIERGBToCMYKTransform IERGBToCMYKTransform = nullptr;

const char* IEPixelFormatName(TIEPixelFormat format) {
    static const char* const names[kIEPixelFormatCount] = {"ienull", "ie1g",  "ie8p",    "ie8g",     "ie16g",  "ie24RGB",
                                                           "ie32f",  "ieCMYK", "ieRGB48", "ieCIELab", "ie32RGB"};
    return format < kIEPixelFormatCount ? names[format] : "ienull";
}

// ---------------------------------------------------------------- bits, bytes and powers

const uint8_t IEBitMask[8] = {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01};

namespace {
constexpr std::array<uint8_t, 256> BuildReverseTable() {
    std::array<uint8_t, 256> table{};
    for (int v = 0; v < 256; ++v) {
        int r = 0;
        for (int bit = 0; bit < 8; ++bit)
            if (v & (1 << bit)) r |= 0x80 >> bit;
        table[v] = static_cast<uint8_t>(r);
    }
    return table;
}
constexpr auto kReverse = BuildReverseTable();
}  // namespace

const uint8_t IEBitReverse[256] = {
#define R(i) kReverse[i]
#define R4(i) R(i), R(i + 1), R(i + 2), R(i + 3)
#define R16(i) R4(i), R4(i + 4), R4(i + 8), R4(i + 12)
#define R64(i) R16(i), R16(i + 16), R16(i + 32), R16(i + 48)
    R64(0), R64(64), R64(128), R64(192)
#undef R64
#undef R16
#undef R4
#undef R
};

int32_t IEBitMaskWidth(uint32_t mask) {
    int bit = 0;
    while (bit < 31 && !(mask & (1u << bit))) ++bit;
    int32_t count = 0;
    while (bit < 32 && (mask & (1u << bit))) {
        ++count;
        ++bit;
    }
    return count;
}

int32_t IEBitMaskTop(uint32_t mask) {
    if (mask == 0) return -1;
    int highest = 31 - __builtin_clz(mask);
    return (mask & (mask - 1)) == 0 ? highest : highest + 1;
}

void IEReverseBitsByte(uint8_t& value) { value = IEBitReverse[value]; }

void IEReverseBitsDWord(uint32_t& value) {
    uint32_t swapped = IESwapDWord(value);
    value = uint32_t{IEBitReverse[swapped & 0xFF]} | uint32_t{IEBitReverse[(swapped >> 8) & 0xFF]} << 8 |
            uint32_t{IEBitReverse[(swapped >> 16) & 0xFF]} << 16 | uint32_t{IEBitReverse[swapped >> 24]} << 24;
}

uint16_t IESwapWord(uint16_t value) { return static_cast<uint16_t>(value << 8 | value >> 8); }
uint32_t IESwapDWord(uint32_t value) { return __builtin_bswap32(value); }

long double IEIntPower(long double base, int32_t exponent) {
    long double result = 1;
    // The magnitude as unsigned so that the most negative exponent works.
    uint32_t n = exponent < 0 ? 0u - static_cast<uint32_t>(exponent) : static_cast<uint32_t>(exponent);
    long double square = base;
    while (n) {
        if (n & 1) result *= square;
        square *= square;
        n >>= 1;
    }
    return exponent < 0 ? 1 / result : result;
}

long double IEPower(long double base, long double exponent) {
    if (exponent == 0) return 1;
    if (base == 0 && exponent > 0) return 0;
    if (std::truncl(exponent) == exponent && std::fabs(exponent) <= 2147483647.0L)
        return IEIntPower(base, static_cast<int32_t>(exponent));
    return std::exp(exponent * std::log(base));
}

long double IEFastPower(double base, double exponent) {
    if (std::trunc(exponent) == exponent && std::fabs(exponent) < 2147483647.0) {
        auto n = static_cast<int64_t>(exponent);
        if (n == 0) return 1;
        if (base == 0) return 0;
        switch (n) {
            case 1: return base;
            case 2: return static_cast<long double>(base) * base;
            case -1: return 1 / static_cast<long double>(base);
            case -2: return 1 / (static_cast<long double>(base) * base);
            default: return IEIntPower(base, static_cast<int32_t>(n));
        }
    }
    if (base == 0) return 0;
    return std::exp2l(exponent * std::log2l(base));
}

int32_t IEPow2Power(int32_t a, int32_t count) {
    uint32_t result = 1;
    uint32_t factor = 1u << (static_cast<uint32_t>(a) % 32);
    for (int32_t i = 0; i < count; ++i) result *= factor;  // wraps as 32-bit arithmetic does
    return static_cast<int32_t>(result);
}

bool IEHasMMX() {
#if defined(__x86_64__) || defined(__i386__)
    return __builtin_cpu_supports("mmx");
#else
    return false;
#endif
}

// ---------------------------------------------------------------- numbers and colours

int32_t IECeil(double x) {
    auto t = static_cast<int32_t>(Trunc(x));
    return x - t > 0 ? t + 1 : t;
}

void IEOrderCorners(int32_t& x1, int32_t& y1, int32_t& x2, int32_t& y2) {
    if (x2 < x1) IESwap(x1, x2);
    if (y2 < y1) IESwap(y1, y2);
}

int32_t IERGBToGray(TRGB c) {
    return (c.r * IEGrayWeights[0] + c.g * IEGrayWeights[1] + c.b * IEGrayWeights[2]) / 100;
}

TColor IERGBToColor(TRGB c) { return c.r | c.g << 8 | c.b << 16; }

TRGB IEColorToRGB(TColor color) {
    TColor rgb = ColorToRGB(color);
    return IECreateRGB(static_cast<uint8_t>(rgb), static_cast<uint8_t>(rgb >> 8), static_cast<uint8_t>(rgb >> 16));
}

uint32_t IEColorToARGB(TColor color, uint8_t alpha) {
    TRGB c = IEColorToRGB(color);
    return uint32_t{alpha} << 24 | IERGBToDWord(c);
}

const int32_t* IECosineTable() {
    static const std::array<int32_t, 256> table = [] {
        std::array<int32_t, 256> t{};
        for (int i = 0; i < 256; ++i)
            t[static_cast<size_t>(i)] = static_cast<int32_t>(RoundHalfEven(64 - std::cos(i * 3.141592653589793 / 255) * 64));
        return t;
    }();
    return table.data();
}

void IERGBToHSL(TRGB color, double& hue, double& saturation, double& lightness) {
    double r = color.r / 255.0, g = color.g / 255.0, b = color.b / 255.0;
    double high = std::max({r, g, b}), low = std::min({r, g, b});
    lightness = (high + low) / 2;
    if (high == low) {
        saturation = 0;
        hue = 0;
        return;
    }
    double d = high - low;
    saturation = lightness < 0.5 ? d / (high + low) : d / (2 - high - low);
    if (high == r) hue = (g - b) / d;
    else if (high != g) hue = (r - g) / d + 4;
    else hue = (b - r) / d + 2;
    hue /= 6;
    if (hue < 0) hue += 1;
}

double IEHueToChannel(double h, double m2, double m1) {
    if (h < 0) h += 1;
    else if (h > 1) h -= 1;
    if (6 * h < 1) return m1 + (m2 - m1) * 6 * h;
    if (2 * h < 1) return m2;
    if (3 * h < 2) return m1 + (m2 - m1) * (2.0 / 3 - h) * 6;
    return m1;
}

TRGB IEHSLToRGB(double hue, double saturation, double lightness) {
    if (hue < 0) hue += 1;
    else if (hue > 1) hue -= 1;
    saturation = std::clamp(saturation, 0.0, 1.0);
    lightness = std::clamp(lightness, 0.0, 1.0);
    double r, g, b;
    if (saturation == 0) {
        r = g = b = lightness;
    } else {
        double m2 = lightness <= 0.5 ? lightness * (1 + saturation) : lightness + saturation - lightness * saturation;
        double m1 = 2 * lightness - m2;
        r = IEHueToChannel(hue + 1.0 / 3, m2, m1);
        g = IEHueToChannel(hue, m2, m1);
        b = IEHueToChannel(hue - 1.0 / 3, m2, m1);
    }
    auto channel = [](double v) { return IEClampByte(static_cast<int32_t>(RoundHalfEven(v * 255))); };
    return IECreateRGB(channel(r), channel(g), channel(b));
}

void IEYCbCr2RGB(TRGB& color, int32_t y, int32_t cb, int32_t cr) {
    color.r = IEClampByte(static_cast<int32_t>(Trunc(y + 1.402 * (cr - 128))));
    color.g = IEClampByte(static_cast<int32_t>(Trunc(y - 0.34414 * (cb - 128) - 0.71414 * (cr - 128))));
    color.b = IEClampByte(static_cast<int32_t>(Trunc(y + 1.772 * (cb - 128))));
}

TRGB IECMYKToRGB(const uint8_t cmyk[4]) {
    TRGB out;
    if (IEColorManagementEnabled && IECMYKToRGBTransform && IECMYKToRGBTransform(cmyk, out)) return out;
    int k = cmyk[3];
    return IECreateRGB(static_cast<uint8_t>(cmyk[0] * k / 255), static_cast<uint8_t>(cmyk[1] * k / 255),
                       static_cast<uint8_t>(cmyk[2] * k / 255));
}

uint32_t IERGBToCMYK(uint32_t color) {
    TRGB c = IEDWordToRGB(color);
    uint8_t managed[4];
    if (IEColorManagementEnabled && IERGBToCMYKTransform && IERGBToCMYKTransform(c, managed))
        return IECreateCMYK(managed[0], managed[1], managed[2], managed[3]);
    int k = std::max({c.r, c.g, c.b});
    if (k == 0) k = 1;
    return IECreateCMYK(static_cast<uint8_t>(c.r * 255 / k), static_cast<uint8_t>(c.g * 255 / k),
                        static_cast<uint8_t>(c.b * 255 / k), static_cast<uint8_t>(k));
}

void IERGB2CIELab(TRGB color, uint8_t lab[3]) {
    auto linear = [](uint8_t c) {
        double v = c / 255.0;
        return v <= 0.03928 ? v / 12.92 : static_cast<double>(IEFastPower((v + 0.055) / 1.055, 2.4));
    };
    double r = linear(color.r), g = linear(color.g), b = linear(color.b);
    double x = (0.412453 * r + 0.35758 * g + 0.180423 * b) / 0.95047;
    double y = 0.212671 * r + 0.71516 * g + 0.072169 * b;
    double z = (0.019334 * r + 0.119193 * g + 0.950227 * b) / 1.088883;
    auto f = [](double t) {
        return t > 0.008856 ? static_cast<double>(IEFastPower(t, 1.0 / 3)) : 7.787 * t + 0.13793103448275862;
    };
    double lightness = y > 0.008856 ? 116 * f(y) - 16 : 903.3 * y;
    lab[0] = static_cast<uint8_t>(Trunc(lightness * 2.5));
    lab[1] = static_cast<uint8_t>(Trunc((f(x) - f(y)) * 500));
    lab[2] = static_cast<uint8_t>(Trunc((f(y) - f(z)) * 200));
}

TRGB IECIELab2RGB(const uint8_t lab[3]) {
    double fy = (lab[0] * 0.39215686275 + 16) / 116;
    double fx = fy + static_cast<int8_t>(lab[1]) / 500.0;
    double fz = fy - static_cast<int8_t>(lab[2]) / 200.0;
    auto t = [](double f) {
        double cube = f * f * f;
        return cube > 0.008856 ? cube : (f - 0.13793103448) / 7.787;
    };
    double x = t(fx) * 0.95047, y = t(fy), z = t(fz) * 1.08883;
    double r = 3.2406 * x - 1.5372 * y - 0.4986 * z;
    double g = -0.9689 * x + 1.8758 * y + 0.0415 * z;
    double b = 0.0557 * x - 0.204 * y + 1.057 * z;
    auto channel = [](double v) {
        v = v <= 0.0031308 ? 12.92 * v : 1.055 * static_cast<double>(IEFastPower(v, 0.41666666667)) - 0.055;
        return IEClampByte(static_cast<int32_t>(std::clamp<int64_t>(RoundHalfEven(v * 255), -1, 256)));
    };
    return IECreateRGB(channel(r), channel(g), channel(b));
}

bool IECompareGUID(const uint8_t a[16], const uint8_t b[16]) { return std::memcmp(a, b, 16) == 0; }

TFontStyles IEFontStylesFromLogFont(const TLogFont* font) {
    TFontStyles styles;
    if (!font) return styles;
    if (font->lfWeight >= 700) styles.Include(TFontStyle::Bold);
    if (font->lfItalic) styles.Include(TFontStyle::Italic);
    if (font->lfUnderline) styles.Include(TFontStyle::Underline);
    if (font->lfStrikeOut) styles.Include(TFontStyle::StrikeOut);
    return styles;
}

// ---------------------------------------------------------------- memory

void* IEGlobalAllocZero(size_t size) { return GlobalAllocZero(size); }

void IEGlobalFreeAndNil(void*& block) {
    GlobalFreeBlock(block);
    block = nullptr;
}

// ---------------------------------------------------------------- text encoders and formatting

int32_t IEASCII85EncodeGroup(const uint8_t*& source, int32_t count, char*& destination) {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value = value << 8 | (i < count ? source[i] : 0);
    source += count;
    if (count == 4 && value == 0) {
        *destination++ = 'z';
        return 1;
    }
    static const uint32_t divisors[5] = {52200625, 614125, 7225, 85, 1};
    for (int i = 0; i <= count; ++i) *destination++ = static_cast<char>(value / divisors[i] % 85 + 33);
    return count + 1;
}

int32_t IEASCII85Encode(const uint8_t*& source, int32_t count, char*& destination, int32_t& runningTotal) {
    int32_t result = 0, line = 0;
    for (int32_t remaining = count; remaining > 0; remaining -= 4) {
        int32_t written = IEASCII85EncodeGroup(source, std::min(4, remaining), destination);
        result += written;
        runningTotal += written;
        line += written;
        if (line >= 75) {
            *destination++ = '\r';
            *destination++ = '\n';
            result += 2;
            line = 0;
        }
    }
    for (char c : {'~', '>', '\r', '\n'}) *destination++ = c;
    return result + 4;
}

int32_t IERunLengthEncode(const uint8_t* source, int32_t length, uint8_t* destination) {
    uint8_t* out = destination;
    int32_t j = 0;
    while (j < length) {
        int32_t run = 1;
        while (run < 128 && j + run < length && source[j + run] == source[j]) ++run;
        if (run >= 2) {
            *out++ = static_cast<uint8_t>(257 - run);
            *out++ = source[j];
            j += run;
            continue;
        }
        // A literal takes bytes while each differs from the one before; the
        // first byte of an equal pair ends it, which splits that pair.
        int32_t literal = 1;
        while (literal < 128 && j + literal < length && source[j + literal] != source[j + literal - 1]) ++literal;
        *out++ = static_cast<uint8_t>(literal - 1);
        std::memcpy(out, source + j, static_cast<size_t>(literal));
        out += literal;
        j += literal;
    }
    *out++ = 128;
    return static_cast<int32_t>(out - destination);
}

void IEPackBitsRow(const uint8_t* row, int32_t length, std::vector<uint8_t>& out) {
    int32_t literalStart = 0, i = 0;
    auto flush = [&](int32_t end) {
        while (literalStart < end) {
            const int32_t n = std::min(128, end - literalStart);
            out.push_back(static_cast<uint8_t>(n - 1));
            out.insert(out.end(), row + literalStart, row + literalStart + n);
            literalStart += n;
        }
    };
    while (i < length) {
        int32_t run = 1;
        while (i + run < length && run < 128 && row[i + run] == row[i]) ++run;
        if (run >= 4) {
            flush(i);
            out.push_back(static_cast<uint8_t>(1 - run));
            out.push_back(row[i]);
            i += run;
            literalStart = i;
        } else {
            i += run;
        }
    }
    flush(length);
}

void IEBase64EncodeTriplet(const uint8_t s[3], char d[4], int32_t count) {
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    d[0] = alphabet[s[0] >> 2];
    d[1] = alphabet[(s[0] & 3) << 4 | s[1] >> 4];
    d[2] = count < 2 ? '=' : alphabet[(s[1] & 15) << 2 | s[2] >> 6];
    d[3] = count < 3 ? '=' : alphabet[s[2] & 63];
}

void IEBase64EncodeStream(TStream& source, TStream& text, int32_t lineLength) {
    int32_t groupsPerLine = std::max(1, lineLength / 4);
    int32_t groups = 0;
    std::string line;
    while (true) {
        uint8_t group[3] = {0, 0, 0};
        int32_t count = static_cast<int32_t>(source.Read(group, 3));
        if (count <= 0) break;
        char chars[4];
        IEBase64EncodeTriplet(group, chars, count);
        line.append(chars, 4);
        if (++groups == groupsPerLine) {
            line += '\n';
            text.WriteBuffer(line.data(), static_cast<int64_t>(line.size()));
            line.clear();
            groups = 0;
        }
        if (count < 3) break;
    }
    if (!line.empty()) {
        line += '\n';
        text.WriteBuffer(line.data(), static_cast<int64_t>(line.size()));
    }
}

std::string IEPadLeft(const std::string& text, size_t length, char pad) {
    return text.size() >= length ? text : std::string(length - text.size(), pad) + text;
}

std::string IEFloatToStrDot(double value) {
    // Shortest text of up to 15 significant digits, always with '.' (this
    // routine never consults the locale).
    // Exponents appear only outside 1E-5 .. 1E15, so 10 is "10", not "1E+01".
    char buffer[64];
    for (int digits = 1; digits <= 15; ++digits) {
        int precision = digits;
        if (value != 0 && std::isfinite(value)) {
            const int exponent = static_cast<int>(std::floor(std::log10(std::fabs(value))));
            if (exponent >= 0 && exponent < 15) precision = std::max(digits, exponent + 1);
        }
        std::snprintf(buffer, sizeof buffer, "%.*G", precision, value);
        if (std::strtod(buffer, nullptr) == value) break;
    }
    std::string text = buffer;
    std::replace(text.begin(), text.end(), ',', '.');
    return text;
}

int32_t IEGetUrlScheme(const std::string& text) {
    std::string lower = AnsiLowerCase(text);
    if (lower.rfind("http://", 0) == 0) return 1;
    if (lower.rfind("https://", 0) == 0) return 2;
    if (lower.rfind("ftp://", 0) == 0) return 3;
    return 0;
}

// ---------------------------------------------------------------- files

bool IEDirectoryExists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

void IEForceDirectories(const std::string& path) {
    if (path.empty()) throw Exception("Cannot Create Directory");
    std::string dir = path;
    if (dir.size() > 1 && (dir.back() == '/' || dir.back() == '\\')) dir.pop_back();
    if (dir.size() <= 2 || IEDirectoryExists(dir)) return;
    size_t cut = dir.find_last_of("/\\");
    if (cut == std::string::npos) {
        mkdir(dir.c_str(), 0777);
        return;
    }
    std::string parent = dir.substr(0, cut + 1);
    if (parent != dir) {
        IEForceDirectories(parent);
        mkdir(dir.c_str(), 0777);  // a failure shows as the missing folder, as before
    }
}

int64_t IEGetFileSizeByName(const std::string& fileName) {
    struct stat info {};
    if (stat(fileName.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return -1;
    return info.st_size;
}

int IEFileCreateW(const std::u16string& fileName) {
    return open(WideToUtf8(fileName).c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
}

int IEFileOpenW(const std::u16string& fileName, uint32_t mode) {
    uint32_t access = mode & 3, sharing = (mode >> 4) & 15;
    if (access > 2 || sharing > 4) return -1;
    static const int flags[3] = {O_RDONLY, O_WRONLY, O_RDWR};
    // Sharing modes have no counterpart in POSIX files and are not enforced.
    return open(WideToUtf8(fileName).c_str(), flags[access] | O_CLOEXEC);
}

// ---------------------------------------------------------------- hash set

THash1::THash1(int32_t bits)
    : values_(size_t{1} << bits), states_(size_t{1} << bits), data_(size_t{1} << bits), bucketCount_(1u << bits) {}

THash1::~THash1() {
    for (size_t i = 0; i < states_.size(); ++i) {
        if (states_[i] != 2) continue;
        for (Item* item = reinterpret_cast<Item*>(values_[i]); item;) {
            Item* next = item->next;
            delete item;
            item = next;
        }
    }
}

bool THash1::AddValue(uint32_t value, uint32_t& index, Item*& newItem) {
    index = HashIndex(value);
    newItem = nullptr;
    switch (states_[index]) {
        case 0:
            values_[index] = value;
            states_[index] = 1;
            break;
        case 1: {
            if (values_[index] == value) return false;
            auto* second = new Item{value, nullptr, 0};
            auto* first = new Item{static_cast<uint32_t>(values_[index]), second, data_[index]};
            values_[index] = reinterpret_cast<uintptr_t>(first);
            states_[index] = 2;
            newItem = second;
            break;
        }
        default: {
            Item* item = reinterpret_cast<Item*>(values_[index]);
            while (true) {
                if (item->value == value) return false;
                if (!item->next) break;
                item = item->next;
            }
            item->next = new Item{value, nullptr, 0};
            newItem = item->next;
            break;
        }
    }
    ++count_;
    return true;
}

bool THash1::Add(uint32_t value) {
    uint32_t index;
    Item* item;
    return AddValue(value, index, item);
}

// ---------------------------------------------------------------- bit rows and toolkit bitmaps

void IECopyBits(uint8_t* destination, const uint8_t* source, int32_t destBit, int32_t sourceLength, int32_t count,
                int32_t sourceBit) {
    if (count < 1 || destBit < 0 || sourceBit < 0) return;
    source += sourceBit / 8;
    destination += destBit / 8;
    sourceLength -= sourceBit / 8;
    sourceBit %= 8;
    destBit %= 8;
    int32_t outBytes = (count + destBit + 7) / 8;
    size_t size = static_cast<size_t>((count + sourceBit + 7) / 8 + 8);
    std::vector<uint8_t> buffer(size, 0);
    if (sourceLength > 0) std::memcpy(buffer.data(), source, std::min<size_t>(size, static_cast<size_t>(sourceLength)));
    if (count % 8 == 0 && destBit == 0 && sourceBit == 0) {
        std::memcpy(destination, buffer.data(), static_cast<size_t>(outBytes));
        return;
    }
    if (sourceBit) {
        for (size_t i = 0; i + 1 < size; ++i)
            buffer[i] = static_cast<uint8_t>(buffer[i] << sourceBit | buffer[i + 1] >> (8 - sourceBit));
        buffer[size - 1] = static_cast<uint8_t>(buffer[size - 1] << sourceBit);
    }
    if (destBit) {
        uint8_t carry = 0;
        for (size_t i = 0; i < size; ++i) {
            uint8_t byte = buffer[i];
            buffer[i] = static_cast<uint8_t>(carry | byte >> destBit);
            carry = static_cast<uint8_t>(byte << (8 - destBit));
        }
    }
    // The destination's own bits before the run and after it stay.
    uint8_t headMask = static_cast<uint8_t>(0xFF00 >> destBit);
    buffer[0] = static_cast<uint8_t>((destination[0] & headMask) | (buffer[0] & ~headMask));
    int32_t tailBits = (count + destBit) % 8;
    if (tailBits) {
        uint8_t keepMask = static_cast<uint8_t>(0xFF >> tailBits);
        uint8_t& last = buffer[static_cast<size_t>(outBytes - 1)];
        last = static_cast<uint8_t>((destination[outBytes - 1] & keepMask) | (last & ~keepMask));
    }
    std::memcpy(destination, buffer.data(), static_cast<size_t>(outBytes));
}

void IESetGrayPalette(TBitmap& bitmap) {
    TPaletteEntry ramp[256];
    for (int i = 0; i < 256; ++i) ramp[i] = {uint8_t(i), uint8_t(i), uint8_t(i), 0};
    bitmap.SetPaletteEntries(0, 256, ramp);
}

bool IEIsGrayPalette(const TBitmap& bitmap) {
    TPaletteEntry entries[256];
    int n = bitmap.GetPaletteEntries(0, 256, entries);
    for (int i = 0; i < n; ++i)
        if (entries[i].peRed != i || entries[i].peGreen != i || entries[i].peBlue != i) return false;
    return true;
}

void IECopyTBitmapPalette(const TBitmap& source, TIEBitmap& destination) {
    if (source.PixelFormat() != TPixelFormat::pf8bit || destination.GetPixelFormat() != ie8p) return;
    TPaletteEntry entries[256];
    int n = source.GetPaletteEntries(0, 256, entries);
    for (int i = 0; i < n; ++i)
        destination.SetPaletteColor(i, IECreateRGB(entries[i].peRed, entries[i].peGreen, entries[i].peBlue));
}

namespace {
// Entry (v, j): white when bit 7 - j of v is set.
struct BitExpandTable {
    TRGB entries[256][8];
    BitExpandTable() {
        for (int v = 0; v < 256; ++v)
            for (int j = 0; j < 8; ++j) entries[v][j] = (v & (0x80 >> j)) ? TRGB{255, 255, 255} : TRGB{0, 0, 0};
    }
};
const BitExpandTable& BitExpand() {
    static const BitExpandTable table;
    return table;
}
}  // namespace

void IETBitmap1To24(const TBitmap& source, TBitmap& destination, TIEProgressRec& progress) {
    destination.SetSize(1, 1);
    destination.SetPixelFormat(TPixelFormat::pf24bit);
    destination.SetSize(source.Width(), source.Height());
    int32_t width = source.Width(), height = source.Height();
    progress.PercentPerUnit = 100 / (height + 0.5);
    const auto& table = BitExpand();
    for (int32_t row = 0; row < height; ++row) {
        const uint8_t* in = source.ScanLine(row);
        uint8_t* out = destination.ScanLine(row);
        for (int32_t i = 0; i < width / 8; ++i, out += 24) std::memcpy(out, table.entries[in[i]], 24);
        if (width % 8) std::memcpy(out, table.entries[in[width / 8]], static_cast<size_t>(width % 8) * 3);
        progress.Report(static_cast<int>(Trunc((row + 1) * progress.PercentPerUnit)));
    }
}

void IECopyTBitmap(const TBitmap& source, TBitmap& destination) {
    if (source.Empty()) {
        destination.SetSize(1, 1);
        destination.SetPixelFormat(source.PixelFormat());
        return;
    }
    if (destination.Width() != source.Width() || destination.Height() != source.Height() ||
        destination.PixelFormat() != source.PixelFormat()) {
        destination.SetSize(1, 1);
        destination.SetPixelFormat(source.PixelFormat());
        destination.SetSize(source.Width(), source.Height());
    }
    // Both bitmaps keep their rows bottom-up in one block: the lower of the
    // two end rows' addresses is the block's start.
    size_t bytes = static_cast<size_t>(source.RowBytes()) * static_cast<size_t>(source.Height());
    const uint8_t* from = std::min(source.ScanLine(0), source.ScanLine(source.Height() - 1));
    uint8_t* to = std::min(destination.ScanLine(0), destination.ScanLine(destination.Height() - 1));
    std::memcpy(to, from, bytes);
    TPaletteEntry entries[256];
    int n = source.GetPaletteEntries(0, 256, entries);
    if (n) destination.SetPaletteEntries(0, n, entries);
}

std::unique_ptr<TBitmap> IECloneTBitmap(const TBitmap& source) {
    auto copy = std::make_unique<TBitmap>();
    IECopyTBitmap(source, *copy);
    return copy;
}

void IECopySwapRB(uint8_t* destination, const uint8_t* source, int32_t count) {
    for (int32_t i = 0; i < count; ++i, destination += 3, source += 3) {
        destination[0] = source[2];
        destination[1] = source[1];
        destination[2] = source[0];
    }
}

void IESwapRB(uint8_t* buffer, int32_t count) {
    for (int32_t i = 0; i < count; ++i, buffer += 3) std::swap(buffer[0], buffer[2]);
}

void IESwapRB48(uint16_t* buffer, int32_t count) {
    for (int32_t i = 0; i < count; ++i, buffer += 3) std::swap(buffer[0], buffer[2]);
}

void IEInvertBuffer(uint8_t* buffer, int32_t length) {
    for (int32_t i = 0; i < length; ++i) buffer[i] = static_cast<uint8_t>(~buffer[i]);
}

void IEInvertBitmapBits(TBitmap& bitmap) {
    for (int32_t row = 0; row < bitmap.Height(); ++row) IEInvertBuffer(bitmap.ScanLine(row), bitmap.RowBytes());
}
