#include "swf/bits_engine.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "platform/codepage.h"
#include "platform/mathutil.h"

// ---------------------------------------------------------------- bits out

void TBitsEngine::WriteBits(uint32_t value, uint8_t count) {
    if (count == 0) return;
    if (count < 32) value &= (uint32_t(1) << count) - 1;
    unsigned total = PendingCount + count;
    if (total <= 7) {
        PendingByte = static_cast<uint8_t>((PendingByte << count) | value);
        PendingCount = static_cast<uint8_t>(total);
        return;
    }
    // At most 7 pending bits plus 32 new ones: 39 bits, so work in 64 bits.
    unsigned leftover = total % 8;
    uint64_t buffer = (uint64_t(PendingByte) << count) | value;
    buffer >>= leftover;
    PendingByte = static_cast<uint8_t>(leftover ? value & ((1u << leftover) - 1) : 0);
    PendingCount = static_cast<uint8_t>(leftover);
    uint8_t bytes[5];
    unsigned whole = total / 8;
    for (unsigned i = 0; i < whole; ++i) bytes[i] = static_cast<uint8_t>(buffer >> (8 * (whole - 1 - i)));
    Stream.WriteBuffer(bytes, whole);
}

void TBitsEngine::FlushLastByte(bool pad) {
    if (PendingCount > 0 && pad) {
        PutByte(static_cast<uint8_t>(PendingByte << (8 - PendingCount)));
    }
    PendingByte = 0;
    PendingCount = 0;
}

// ---------------------------------------------------------------- bytes out

void TBitsEngine::WriteByte(uint8_t b) {
    if (PendingCount == 0) PutByte(b);
    else WriteBits(b, 8);
}

void TBitsEngine::WriteWord(uint16_t w) {
    FlushLastByte(true);
    uint8_t bytes[2] = {static_cast<uint8_t>(w), static_cast<uint8_t>(w >> 8)};
    Stream.WriteBuffer(bytes, 2);
}

void TBitsEngine::WriteDWord(uint32_t d) {
    FlushLastByte(true);
    uint8_t bytes[4] = {static_cast<uint8_t>(d), static_cast<uint8_t>(d >> 8), static_cast<uint8_t>(d >> 16),
                        static_cast<uint8_t>(d >> 24)};
    Stream.WriteBuffer(bytes, 4);
}

void TBitsEngine::WriteFixed(float x) { WriteDWord(static_cast<uint32_t>(SingleToFixed(x))); }

void TBitsEngine::WriteFloat(float x) {
    uint32_t bits;
    std::memcpy(&bits, &x, 4);
    WriteDWord(bits);
}

void TBitsEngine::WriteDouble(double x) {
    uint64_t bits;
    std::memcpy(&bits, &x, 8);
    uint8_t bytes[8];
    for (int i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(bits >> (8 * i));
    Stream.WriteBuffer(bytes, 8);
}

void TBitsEngine::WriteRGB(const TSWFRGBRec& c) {
    uint8_t bytes[3] = {c.R, c.G, c.B};
    Stream.WriteBuffer(bytes, 3);
}

void TBitsEngine::WriteRGBA(TSWFRGBAValue c) {
    uint8_t bytes[4] = {static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c >> 16),
                        static_cast<uint8_t>(c >> 24)};
    Stream.WriteBuffer(bytes, 4);
}

void TBitsEngine::WriteEncodedU32(uint32_t value) {
    do {
        uint32_t group = value & 0x7F;
        value >>= 7;
        WriteBit(value != 0);
        WriteBits(group, 7);
    } while (value != 0);
}

void TBitsEngine::WriteString(const std::string& text, bool addNul, bool asUTF8) {
    const std::string& bytes = asUTF8 ? AnsiToUtf8(text) : text;
    if (PendingCount == 0) {
        Stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    } else {
        for (unsigned char c : bytes) WriteByte(c);
    }
    if (addNul) WriteByte(0);
}

void TBitsEngine::WriteBuffer(const void* data, int64_t length, bool addNul) {
    if (PendingCount == 0) {
        Stream.WriteBuffer(data, length);
    } else {
        const uint8_t* bytes = static_cast<const uint8_t*>(data);
        for (int64_t i = 0; i < length; ++i) WriteByte(bytes[i]);
    }
    if (addNul) WriteByte(0);
}

void TBitsEngine::WriteU30String(const std::string& text) {
    // The length is a u30: longer texts cannot be written whole.
    if (text.size() >= (1u << 30)) throw EWriteError("A string is longer than its 30-bit length field can hold");
    WriteEncodedU32(static_cast<uint32_t>(text.size()));
    WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
}

// ---------------------------------------------------------------- records out

namespace {
// The bit count of a record's signed fields, checked against what its count
// field of countBits bits can say: a wider value would be written cut to
// the low bits of a count that wrapped, and read back as another value.
uint8_t FieldBits(int32_t largest, int countBits, const char* record) {
    int n = GetSignedBitsCount(largest, 1);
    const int most = (1 << countBits) - 1;
    if (n > most) {
        long long magnitude = largest == INT32_MIN ? 2147483648LL : static_cast<long long>(largest);
        throw EWriteError(FormatStr("A %s value of magnitude %lld needs %d bits; the record's fields hold at most %d",
                                    record, magnitude, n, most));
    }
    return static_cast<uint8_t>(n);
}
}  // namespace

void TSWFMatrixRec::SmallestBits(uint8_t& scale, uint8_t& skew, uint8_t& translate) const {
    auto bits = [](int32_t a, int32_t b) { return static_cast<uint8_t>(GetSignedBitsCount(MaxAbs2(a, b), 1)); };
    scale = HasScale ? bits(ScaleX, ScaleY) : 0;
    skew = HasSkew ? bits(SkewX, SkewY) : 0;
    translate = bits(TranslateX, TranslateY);
}

void TBitsEngine::WriteRect(const TRect& r, uint8_t minBits) {
    int n = std::max<int>(FieldBits(MaxAbs4(r.Left, r.Top, r.Right, r.Bottom), 5, "RECT"), std::min<int>(minBits, 31));
    WriteBits(static_cast<uint32_t>(n), 5);
    WriteSBits(r.Left, static_cast<uint8_t>(n));
    WriteSBits(r.Top, static_cast<uint8_t>(n));
    WriteSBits(r.Right, static_cast<uint8_t>(n));
    WriteSBits(r.Bottom, static_cast<uint8_t>(n));
    FlushLastByte(true);
}

void TBitsEngine::WriteTRect(const TRect& windowOrder) { WriteRect(RectToSWFRect(windowOrder, false)); }

void TBitsEngine::WriteMatrix(const TSWFMatrixRec& m) {
    auto wide = [](int n, uint8_t kept) { return std::min(std::max(n, int{kept}), 31); };
    WriteBit(m.HasScale);
    if (m.HasScale) {
        int n = wide(FieldBits(MaxAbs2(m.ScaleX, m.ScaleY), 5, "MATRIX scale"), m.ScaleBits);
        WriteBits(static_cast<uint32_t>(n), 5);
        WriteSBits(m.ScaleX, static_cast<uint8_t>(n));
        WriteSBits(m.ScaleY, static_cast<uint8_t>(n));
    }
    WriteBit(m.HasSkew);
    if (m.HasSkew) {
        int n = wide(FieldBits(MaxAbs2(m.SkewX, m.SkewY), 5, "MATRIX rotate and skew"), m.SkewBits);
        WriteBits(static_cast<uint32_t>(n), 5);
        WriteSBits(m.SkewY, static_cast<uint8_t>(n));
        WriteSBits(m.SkewX, static_cast<uint8_t>(n));
    }
    int n = wide(FieldBits(MaxAbs2(m.TranslateX, m.TranslateY), 5, "MATRIX translation"), m.TranslateBits);
    WriteBits(static_cast<uint32_t>(n), 5);
    if (n > 0) {
        WriteSBits(m.TranslateX, static_cast<uint8_t>(n));
        WriteSBits(m.TranslateY, static_cast<uint8_t>(n));
    }
    FlushLastByte(true);
}

void TBitsEngine::WriteColorTransform(const TSWFColorTransformRec& c) {
    WriteBit(c.HasAdd);
    WriteBit(c.HasMult);
    if (c.HasAdd || c.HasMult) {
        int addBits = c.HasAdd ? FieldBits(MaxAbs4(c.AddR, c.AddG, c.AddB, c.HasAlpha ? c.AddA : 0), 4, "CXFORM") : 0;
        int multBits =
            c.HasMult ? FieldBits(MaxAbs4(c.MultR, c.MultG, c.MultB, c.HasAlpha ? c.MultA : 0), 4, "CXFORM") : 0;
        uint8_t n = static_cast<uint8_t>(addBits > multBits ? addBits : multBits);
        WriteBits(n, 4);
        if (c.HasMult) {
            WriteSBits(c.MultR, n);
            WriteSBits(c.MultG, n);
            WriteSBits(c.MultB, n);
            if (c.HasAlpha) WriteSBits(c.MultA, n);
        }
        if (c.HasAdd) {
            WriteSBits(c.AddR, n);
            WriteSBits(c.AddG, n);
            WriteSBits(c.AddB, n);
            if (c.HasAlpha) WriteSBits(c.AddA, n);
        }
    }
    FlushLastByte(true);
}

// ---------------------------------------------------------------- reading

uint8_t TBitsEngine::ReadByte() {
    uint8_t b;
    Stream.ReadBuffer(&b, 1);
    return b;
}

uint16_t TBitsEngine::ReadWord() {
    uint8_t b[2];
    Stream.ReadBuffer(b, 2);
    return static_cast<uint16_t>(b[0] | b[1] << 8);
}

uint32_t TBitsEngine::ReadDWord() {
    uint8_t b[4];
    Stream.ReadBuffer(b, 4);
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

uint16_t TBitsEngine::ReadBEWord() {
    uint8_t b[2];
    Stream.ReadBuffer(b, 2);
    return static_cast<uint16_t>(b[0] << 8 | b[1]);
}

uint32_t TBitsEngine::ReadNBytes(int n) {
    if (n > 4) n = 4;
    if (n <= 0) return 0;
    uint8_t b[4] = {0, 0, 0, 0};
    Stream.ReadBuffer(b, n);
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

float TBitsEngine::ReadFixed() { return FixedToSingle(static_cast<int32_t>(ReadDWord())); }

float TBitsEngine::ReadFloat() {
    uint32_t bits = ReadDWord();
    float x;
    std::memcpy(&x, &bits, 4);
    return x;
}

double TBitsEngine::ReadDouble() {
    uint8_t b[8];
    Stream.ReadBuffer(b, 8);
    uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) bits = bits << 8 | b[i];
    double x;
    std::memcpy(&x, &bits, 8);
    return x;
}

double TBitsEngine::ReadBEDouble() {
    uint8_t b[8];
    Stream.ReadBuffer(b, 8);
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits = bits << 8 | b[i];
    double x;
    std::memcpy(&x, &bits, 8);
    return x;
}

uint32_t TBitsEngine::ReadEncodedU32() {
    uint32_t result = 0;
    for (int i = 0; i < 5; ++i) {
        uint8_t b = ReadByte();
        result |= uint32_t(b & 0x7F) << (7 * i);
        if (!(b & 0x80)) break;
    }
    return result;
}

std::string TBitsEngine::ReadString() {
    std::string text;
    for (;;) {
        uint8_t b = ReadByte();
        if (b == 0) break;
        text += static_cast<char>(b);
    }
    return text;
}

std::string TBitsEngine::ReadFixedString(int n) {
    if (n <= 0) return {};
    std::string bytes(static_cast<size_t>(n), '\0');
    Stream.ReadBuffer(bytes.data(), n);
    size_t nul = bytes.find('\0');
    if (nul != std::string::npos) bytes.resize(nul);
    return bytes;
}

std::string TBitsEngine::ReadLongString(bool encodedLength) {
    uint32_t length = encodedLength ? ReadEncodedU32() : ReadBEWord();
    if (length == 0) return {};
    if (length <= 255) return ReadFixedString(static_cast<int>(length));
    // The length comes from the file: nothing is allocated for bytes that
    // are not there.
    int64_t size = Stream.GetSize();
    if (size >= 0 && int64_t(length) > size - Stream.GetPosition())
        throw EReadError(FormatStr("A string of %u bytes runs past the end of its record", length));
    std::string bytes(length, '\0');
    Stream.ReadBuffer(bytes.data(), length);
    return bytes;
}

uint32_t TBitsEngine::GetBits(int n) {
    if (n < 1) return 0;
    uint32_t result = 0;
    while (n > PendingCount) {
        // Shifts are done in 64 bits: n can be 32 with nothing pending.
        result |= static_cast<uint32_t>(uint64_t(PendingByte) << (n - PendingCount));
        n -= PendingCount;
        PendingByte = ReadByte();
        PendingCount = 8;
    }
    result |= static_cast<uint32_t>(PendingByte >> (PendingCount - n));
    PendingCount = static_cast<uint8_t>(PendingCount - n);
    PendingByte &= static_cast<uint8_t>((1u << PendingCount) - 1);
    return result;
}

int32_t TBitsEngine::GetSBits(int n) {
    if (n < 1) return 0;
    uint32_t v = GetBits(n);
    if (n < 32 && (v & (uint32_t(1) << (n - 1)))) v |= ~((uint32_t(1) << n) - 1);
    return static_cast<int32_t>(v);
}

TRect TBitsEngine::ReadRect(uint8_t* bits) {
    int n = static_cast<int>(GetBits(5));
    if (bits) *bits = static_cast<uint8_t>(n);
    TRect r;
    r.Left = GetSBits(n);    // Xmin
    r.Right = GetSBits(n);   // Xmax
    r.Top = GetSBits(n);     // Ymin
    r.Bottom = GetSBits(n);  // Ymax
    FlushLastByte(false);
    return r;
}

TSWFMatrixRec TBitsEngine::ReadMatrix() {
    TSWFMatrixRec m;
    m.HasScale = GetBit();
    if (m.HasScale) {
        int n = static_cast<int>(GetBits(5));
        m.ScaleBits = static_cast<uint8_t>(n);
        m.ScaleX = GetSBits(n);
        m.ScaleY = GetSBits(n);
    }
    m.HasSkew = GetBit();
    if (m.HasSkew) {
        int n = static_cast<int>(GetBits(5));
        m.SkewBits = static_cast<uint8_t>(n);
        m.SkewY = GetSBits(n);
        m.SkewX = GetSBits(n);
    }
    int n = static_cast<int>(GetBits(5));
    m.TranslateBits = static_cast<uint8_t>(n);
    m.TranslateX = GetSBits(n);
    m.TranslateY = GetSBits(n);
    FlushLastByte(false);
    return m;
}

TSWFColorTransformRec TBitsEngine::ReadColorTransform(bool hasAlpha) {
    TSWFColorTransformRec c;
    c.HasAlpha = hasAlpha;
    c.HasAdd = GetBit();
    c.HasMult = GetBit();
    if (c.HasAdd || c.HasMult) {
        int n = static_cast<int>(GetBits(4));
        if (c.HasMult) {
            c.MultR = static_cast<int16_t>(GetSBits(n));
            c.MultG = static_cast<int16_t>(GetSBits(n));
            c.MultB = static_cast<int16_t>(GetSBits(n));
            if (hasAlpha) c.MultA = static_cast<int16_t>(GetSBits(n));
        }
        if (c.HasAdd) {
            c.AddR = static_cast<int16_t>(GetSBits(n));
            c.AddG = static_cast<int16_t>(GetSBits(n));
            c.AddB = static_cast<int16_t>(GetSBits(n));
            if (hasAlpha) c.AddA = static_cast<int16_t>(GetSBits(n));
        }
    }
    FlushLastByte(false);
    return c;
}

TSWFRGBRec TBitsEngine::ReadRGB() {
    uint8_t b[3];
    Stream.ReadBuffer(b, 3);
    return TSWFRGBRec{b[0], b[1], b[2]};
}

TSWFRGBAValue TBitsEngine::ReadRGBA() { return ReadDWord(); }

// ---------------------------------------------------------------- free functions

int GetBitsCount(int32_t v) {
    if (v == 0) return 0;
    if (v < 0) return 32;
    int c = 0;
    while (c < 31 && (int64_t(1) << c) <= v) ++c;
    return c;
}

int GetSignedBitsCount(int32_t v, int extra) {
    if (v == 0) return 0;
    int64_t magnitude = std::llabs(static_cast<int64_t>(v));
    // |INT32_MIN| does not fit in 31 bits; it needs the full 32 with the sign.
    if (magnitude > INT32_MAX) return 32;
    int bits = GetBitsCount(static_cast<int32_t>(magnitude)) + extra;
    return bits > 32 ? 32 : bits;
}

static int64_t Abs64(int32_t v) { return std::llabs(static_cast<int64_t>(v)); }

int32_t MaxAbs2(int32_t a, int32_t b) {
    int64_t m = std::max(Abs64(a), Abs64(b));
    return m > INT32_MAX ? INT32_MIN : static_cast<int32_t>(m);
}

int32_t MaxAbs4(int32_t a, int32_t b, int32_t c, int32_t d) {
    int64_t m = std::max(std::max(Abs64(a), Abs64(b)), std::max(Abs64(c), Abs64(d)));
    return m > INT32_MAX ? INT32_MIN : static_cast<int32_t>(m);
}

bool CheckBit(uint16_t v, int n) { return n >= 1 && n <= 16 && (v >> (n - 1)) & 1; }

TRect RectToSWFRect(const TRect& w, bool toTwips) {
    int32_t factor = toTwips ? 20 : 1;
    TRect r;
    r.Left = std::min(w.Left, w.Right) * factor;
    r.Top = std::max(w.Left, w.Right) * factor;
    r.Right = std::min(w.Top, w.Bottom) * factor;
    r.Bottom = std::max(w.Top, w.Bottom) * factor;
    return r;
}

float FixedToSingle(int32_t v) { return static_cast<float>(v / 65536.0); }

int32_t SingleToFixed(float x) {
    double scaled = std::trunc(static_cast<double>(x) * 65536.0);
    if (!(scaled >= INT32_MIN)) return INT32_MIN;  // also NaN
    if (scaled > INT32_MAX) return INT32_MAX;
    return static_cast<int32_t>(scaled);
}

float Fixed8ToSingle(uint16_t v) { return static_cast<float>((v >> 8) + (v & 0xFF) / 256.0); }

uint16_t SingleToFixed8(float x) {
    double whole = std::trunc(static_cast<double>(x));
    double fraction = static_cast<double>(x) - whole;
    int64_t value = static_cast<int64_t>(whole) * 256 + RoundHalfEven(fraction * 256.0);
    return static_cast<uint16_t>(value);
}

TSWFRGBRec SWFRGB(uint8_t r, uint8_t g, uint8_t b) { return TSWFRGBRec{r, g, b}; }

TSWFRGBRec IntToSWFRGB(uint32_t v) {
    return TSWFRGBRec{RedOf(TColor(v)), GreenOf(TColor(v)), BlueOf(TColor(v))};
}

TSWFRGBRec ColorToSWFRGB(int32_t color) { return IntToSWFRGB(static_cast<uint32_t>(ColorToRGB(color))); }

TSWFRGBAValue SWFRGBA(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    return uint32_t(r) | uint32_t(g) << 8 | uint32_t(b) << 16 | uint32_t(a) << 24;
}

TSWFRGBAValue ColorToSWFRGBA(int32_t color, uint8_t a) {
    TSWFRGBRec c = ColorToSWFRGB(color);
    return SWFRGBA(c.R, c.G, c.B, a);
}

TSWFRGBAValue SetRGBAAlpha(uint8_t a, TSWFRGBAValue rgba) { return (rgba & 0x00FFFFFF) | uint32_t(a) << 24; }

TSWFMatrixRec SWFMatrix(bool hasScale, bool hasSkew, int32_t scaleX, int32_t scaleY, int32_t skewX, int32_t skewY,
                        int32_t translateX, int32_t translateY) {
    TSWFMatrixRec m;
    m.HasScale = hasScale;
    m.HasSkew = hasSkew;
    m.ScaleX = scaleX;
    m.ScaleY = scaleY;
    m.SkewX = skewX;
    m.SkewY = skewY;
    m.TranslateX = translateX;
    m.TranslateY = translateY;
    return m;
}

