// Flat helpers of the image library: bits and bytes, powers, colour and
// number primitives, colour-space formulas, text encoders (ASCII85,
// run-length, Base64) for the PostScript and PDF writers, number formatting,
// a hash set of 32-bit values, file-system helpers and the bit-row and
// toolkit-bitmap helpers. "Trunc" cuts toward zero, "Round" rounds halves to
// even, as everywhere in the library.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/ie_types.h"
#include "platform/stream.h"

class TBitmap;
class TIEBitmap;

// ---------------------------------------------------------------- bits, bytes and powers

// Bit i of a 1-bit row is byte i / 8 masked with entry i % 8.
extern const uint8_t IEBitMask[8];
extern const uint8_t IEBitReverse[256];

int32_t IEBitMaskWidth(uint32_t mask);
int32_t IEBitMaskTop(uint32_t mask);
void IEReverseBitsByte(uint8_t& value);
void IEReverseBitsDWord(uint32_t& value);
uint16_t IESwapWord(uint16_t value);
uint32_t IESwapDWord(uint32_t value);
inline uint16_t IESwapWordIf(uint16_t value, bool swap) { return swap ? IESwapWord(value) : value; }
inline uint32_t IESwapDWordIf(uint32_t value, bool swap) { return swap ? IESwapDWord(value) : value; }
long double IEIntPower(long double base, int32_t exponent);
long double IEPower(long double base, long double exponent);
long double IEFastPower(double base, double exponent);
int32_t IEPow2Power(int32_t a, int32_t count);
template <typename T>
T IEIfThen(bool flag, T ifTrue, T ifFalse) {
    return flag ? ifTrue : ifFalse;
}
bool IEHasMMX();

// ---------------------------------------------------------------- numbers and colours

int32_t IECeil(double x);
inline int32_t IEMin(int32_t a, int32_t b) { return a < b ? a : b; }
inline int32_t IEMax(int32_t a, int32_t b) { return a > b ? a : b; }
inline double IEMinReal(double a, double b) { return b < a ? b : a; }
inline double IEMaxReal(double a, double b) { return b > a ? b : a; }
inline int32_t IEClamp(int32_t value, int32_t low, int32_t high) {
    return value <= low ? low : value >= high ? high : value;
}
inline uint8_t IEClampByte(int32_t value) { return static_cast<uint8_t>(IEClamp(value, 0, 255)); }
template <typename T>
void IESwap(T& a, T& b) {
    T t = a;
    a = b;
    b = t;
}
inline void IESwapInt(int32_t& a, int32_t& b) { IESwap(a, b); }
inline void IESwapByte(uint8_t& a, uint8_t& b) { IESwap(a, b); }
void IEOrderCorners(int32_t& x1, int32_t& y1, int32_t& x2, int32_t& y2);

// c in bits 0-7, m 8-15, y 16-23, k 24-31.
inline uint32_t IECreateCMYK(uint8_t c, uint8_t m, uint8_t y, uint8_t k) {
    return uint32_t{c} | uint32_t{m} << 8 | uint32_t{y} << 16 | uint32_t{k} << 24;
}
inline TRGB IECreateRGB(uint8_t red, uint8_t green, uint8_t blue) { return TRGB{blue, green, red}; }
inline bool IESameRGB(TRGB a, TRGB b) { return a == b; }
// (red * 21 + green * 71 + blue * 8) / 100 with IEGrayWeights.
int32_t IERGBToGray(TRGB color);
TColor IERGBToColor(TRGB color);
TRGB IEColorToRGB(TColor color);
uint32_t IEColorToARGB(TColor color, uint8_t alpha);
// TRGB as a 32-bit value (blue in the low byte) and back.
inline uint32_t IERGBToDWord(TRGB c) { return uint32_t{c.b} | uint32_t{c.g} << 8 | uint32_t{c.r} << 16; }
inline TRGB IEDWordToRGB(uint32_t v) {
    return TRGB{static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16)};
}

// 256 entries Round(64 - cos(i * pi / 255) * 64): 0 at 0, 128 at 255,
// rising; filled on first use.
const int32_t* IECosineTable();

void IERGBToHSL(TRGB color, double& hue, double& saturation, double& lightness);
TRGB IEHSLToRGB(double hue, double saturation, double lightness);
double IEHueToChannel(double hue, double m2, double m1);
void IEYCbCr2RGB(TRGB& color, int32_t y, int32_t cb, int32_t cr);

// CMYK pixels are four bytes C, M, Y, K with 255 = no ink. With colour
// management on and a transform installed, the conversions go through it.
TRGB IECMYKToRGB(const uint8_t cmyk[4]);
// colour: blue in the low byte, then green, then red; returns IECreateCMYK.
uint32_t IERGBToCMYK(uint32_t color);
// Colour-managed conversions installed by the colour-profile support;
// each returns false when it cannot convert.
using TIECMYKToRGBTransform = bool (*)(const uint8_t cmyk[4], TRGB& out);
using TIERGBToCMYKTransform = bool (*)(TRGB color, uint8_t cmyk[4]);
extern TIECMYKToRGBTransform IECMYKToRGBTransform;
extern TIERGBToCMYKTransform IERGBToCMYKTransform;

// ieCIELab pixels: L* * 2.5 truncated, a and b signed bytes.
void IERGB2CIELab(TRGB color, uint8_t lab[3]);
TRGB IECIELab2RGB(const uint8_t lab[3]);

bool IECompareGUID(const uint8_t a[16], const uint8_t b[16]);

// ---------------------------------------------------------------- memory

void* IEGlobalAllocZero(size_t size);
void IEGlobalFreeAndNil(void*& block);

// ---------------------------------------------------------------- text encoders and formatting

// Encodes count (1..4) bytes; both pointers advance. Returns characters written.
int32_t IEASCII85EncodeGroup(const uint8_t*& source, int32_t count, char*& destination);
// Whole buffer in lines of at most about 75 characters, then "~>" CR LF.
int32_t IEASCII85Encode(const uint8_t*& source, int32_t count, char*& destination, int32_t& runningTotal);
// PostScript RunLengthDecode coding; destination holds length + length / 128 + 2 bytes.
int32_t IERunLengthEncode(const uint8_t* source, int32_t length, uint8_t* destination);
// PackBits coding of one row (TIFF and Photoshop): runs of 4 to 128 equal
// bytes as a repeat, everything else as literals of up to 128 bytes;
// appended to out.
void IEPackBitsRow(const uint8_t* row, int32_t length, std::vector<uint8_t>& out);
void IEBase64EncodeTriplet(const uint8_t source[3], char destination[4], int32_t count);
// Base64 of the stream from its position to its end, lineLength characters
// a line, each line ended with '\n'.
void IEBase64EncodeStream(TStream& source, TStream& text, int32_t lineLength);
std::string IEPadLeft(const std::string& text, size_t length, char pad);
std::string IEFloatToStrDot(double value);
int32_t IEGetUrlScheme(const std::string& text);

// ---------------------------------------------------------------- files

bool IEDirectoryExists(const std::string& path);
// Raises Exception "Cannot Create Directory" for an empty path.
void IEForceDirectories(const std::string& path);
// File size in bytes (64-bit), -1 when the file cannot be opened.
int64_t IEGetFileSizeByName(const std::string& fileName);
// A descriptor of a new (or emptied) file opened read-write, -1 on failure.
int IEFileCreateW(const std::u16string& fileName);
// Toolkit open mode: access in bits 0..1 (0 read, 1 write, 2 both), sharing
// in bits 4..7 (0..4). -1 for an invalid mode or a file that cannot be opened.
int IEFileOpenW(const std::u16string& fileName, uint32_t mode);

// ---------------------------------------------------------------- sorting and hashing

// Sorts items 0 .. count-1 through the callbacks.
template <typename Compare, typename Exchange>
void IEQuickSort(int32_t count, Exchange exchange, Compare compare);

class THash1 {
public:
    explicit THash1(int32_t bits);
    ~THash1();
    THash1(const THash1&) = delete;
    THash1& operator=(const THash1&) = delete;

    struct Item {
        uint32_t value = 0;
        Item* next = nullptr;
        uintptr_t data = 0;
    };

    uint32_t HashIndex(uint32_t value) const { return value & (bucketCount_ - 1); }
    // Adds the value when absent; index gets its bucket and newItem the chain
    // item made for it (nullptr when it went straight into the bucket).
    bool AddValue(uint32_t value, uint32_t& index, Item*& newItem);
    bool Add(uint32_t value);
    int32_t Count() const { return count_; }

private:
    std::vector<uintptr_t> values_;  // a value, or the first Item of a chain
    std::vector<uint8_t> states_;    // 0 empty, 1 one value, 2 chain
    std::vector<uintptr_t> data_;
    uint32_t bucketCount_;
    int32_t count_ = 0;
};

// ---------------------------------------------------------------- bit rows and toolkit bitmaps

// Copies count bits (most significant first) from bit sourceBit of source to
// bit destBit of destination; the destination's other bits keep their values.
// sourceLength bounds the bytes read from source.
void IECopyBits(uint8_t* destination, const uint8_t* source, int32_t destBit, int32_t sourceLength, int32_t count,
                int32_t sourceBit);
void IESetGrayPalette(TBitmap& bitmap);
bool IEIsGrayPalette(const TBitmap& bitmap);
void IECopyTBitmapPalette(const TBitmap& source, TIEBitmap& destination);
void IETBitmap1To24(const TBitmap& source, TBitmap& destination, TIEProgressRec& progress);
void IECopyTBitmap(const TBitmap& source, TBitmap& destination);
std::unique_ptr<TBitmap> IECloneTBitmap(const TBitmap& source);
void IECopySwapRB(uint8_t* destination, const uint8_t* source, int32_t count);
void IESwapRB(uint8_t* buffer, int32_t count);
inline void IESwapRBEx(uint8_t* buffer, int32_t, int32_t count) { IESwapRB(buffer, count); }
void IESwapRB48(uint16_t* buffer, int32_t count);
void IEInvertBuffer(uint8_t* buffer, int32_t length);
void IEInvertBitmapBits(TBitmap& bitmap);

// ---------------------------------------------------------------- templates

template <typename Compare, typename Exchange>
void IEQuickSort(int32_t count, Exchange exchange, Compare compare) {
    if (count < 1) return;
    // The pivot is followed by index as the exchanges move it.
    std::vector<std::pair<int32_t, int32_t>> ranges{{0, count - 1}};
    while (!ranges.empty()) {
        auto [low, high] = ranges.back();
        ranges.pop_back();
        do {
            int32_t i = low, j = high;
            int32_t p = static_cast<int32_t>((static_cast<uint32_t>(low) + static_cast<uint32_t>(high)) >> 1);
            do {
                while (compare(i, p) < 0) ++i;
                while (compare(j, p) > 0) --j;
                if (i <= j) {
                    if (i == p) p = j;
                    else if (j == p) p = i;
                    exchange(i, j);
                    ++i;
                    --j;
                }
            } while (i <= j);
            if (low < j) ranges.emplace_back(low, j);
            low = i;
        } while (low < high);
    }
}
