// The bit-level stream through which every SWF record is read and written:
// MSB-first bit fields with one pending partial byte, little-endian integers,
// fixed-point numbers, EncodedU32, the RECT, MATRIX and CXFORM records,
// colours and strings. The engine borrows its stream and keeps no other state.
//
// Every byte-level read raises EReadError when the stream holds fewer bytes
// than asked: readers of tag bodies work on a TBoundedStream over the body,
// so a damaged record can neither read into the next one nor past the file.
#pragma once

#include <cstdint>
#include <string>

#include "platform/colour.h"
#include "platform/geometry.h"
#include "platform/stream.h"

struct TSWFRGBRec {
    uint8_t R = 0, G = 0, B = 0;
    bool operator==(const TSWFRGBRec&) const = default;
};

// Packed RGBA: R in bits 0-7, G 8-15, B 16-23, A 24-31.
using TSWFRGBAValue = uint32_t;

struct TSWFMatrixRec {
    bool HasScale = false, HasSkew = false;
    int32_t ScaleX = 0, ScaleY = 0;  // 16.16
    int32_t SkewX = 0, SkewY = 0;    // 16.16; SkewY is stored first (RotateSkew0)
    int32_t TranslateX = 0, TranslateY = 0;  // twips
    // Field widths as read. Producers do not all choose the smallest: a
    // matrix is written at least this wide, so that one read and written
    // again gives the same bytes. They are no part of the value.
    uint8_t ScaleBits = 0, SkewBits = 0, TranslateBits = 0;
    bool operator==(const TSWFMatrixRec& o) const {
        return HasScale == o.HasScale && HasSkew == o.HasSkew && ScaleX == o.ScaleX && ScaleY == o.ScaleY &&
               SkewX == o.SkewX && SkewY == o.SkewY && TranslateX == o.TranslateX && TranslateY == o.TranslateY;
    }
    // The smallest widths of the three fields for the values held.
    void SmallestBits(uint8_t& scale, uint8_t& skew, uint8_t& translate) const;
};

struct TSWFColorTransformRec {
    int16_t AddR = 0, AddG = 0, AddB = 0, AddA = 0;
    int16_t MultR = 0, MultG = 0, MultB = 0, MultA = 0;
    bool HasAdd = false, HasMult = false, HasAlpha = false;
    bool operator==(const TSWFColorTransformRec&) const = default;
};

class TBitsEngine {
public:
    explicit TBitsEngine(TStream& stream) : Stream(stream) {}

    TStream& Stream;
    uint8_t PendingByte = 0;
    uint8_t PendingCount = 0;

    // ---- bit-level writing
    void WriteBits(uint32_t value, uint8_t count);
    void WriteSBits(int32_t value, uint8_t count) { WriteBits(static_cast<uint32_t>(value), count); }
    void WriteWordBits(uint16_t value, uint8_t count) { WriteBits(value, count); }
    void WriteByteBits(uint8_t value, uint8_t count) { WriteBits(value, count); }
    void WriteBit(bool flag) { WriteBits(flag ? 1 : 0, 1); }
    void FlushLastByte(bool pad = true);

    // ---- byte-level writing
    void WriteByte(uint8_t b);
    void WriteWord(uint16_t w);
    void WriteDWord(uint32_t d);
    void WriteInteger(int32_t i) { WriteDWord(static_cast<uint32_t>(i)); }
    void WriteFixed(float x);
    void WriteFloat(float x);
    void WriteDouble(double x);
    void WriteRGB(const TSWFRGBRec& c);
    void WriteRGBA(TSWFRGBAValue c);
    void WriteEncodedU32(uint32_t value);
    void WriteString(const std::string& text, bool addNul = true, bool asUTF8 = false);
    void WriteBuffer(const void* bytes, int64_t length, bool addNul = false);
    void WriteU30String(const std::string& text);

    // ---- record writing (each ends on a byte boundary)
    // At least minBits wide: the width a producer chose, kept when wider
    // than the values need.
    void WriteRect(const TRect& swfOrder, uint8_t minBits = 0);
    void WriteTRect(const TRect& windowOrder);
    void WriteMatrix(const TSWFMatrixRec& m);
    void WriteColorTransform(const TSWFColorTransformRec& c);

    // ---- reading
    uint8_t ReadByte();
    uint16_t ReadWord();
    uint32_t ReadDWord();
    uint16_t ReadBEWord();
    uint32_t ReadNBytes(int n);
    float ReadFixed();
    float ReadFloat();
    double ReadDouble();
    double ReadBEDouble();
    uint32_t ReadEncodedU32();
    std::string ReadString();
    std::string ReadFixedString(int n);
    std::string ReadLongString(bool encodedLength);
    void ReadBytes(void* buffer, int64_t count) { Stream.ReadBuffer(buffer, count); }
    uint32_t GetBits(int n);
    int32_t GetSBits(int n);
    bool GetBit() { return GetBits(1) != 0; }
    TRect ReadRect(uint8_t* bits = nullptr);  // window order; bits: the field width read
    TSWFMatrixRec ReadMatrix();
    TSWFColorTransformRec ReadColorTransform(bool hasAlpha);
    TSWFRGBRec ReadRGB();
    TSWFRGBAValue ReadRGBA();

private:
    void PutByte(uint8_t b) { Stream.WriteBuffer(&b, 1); }
};

// ---- free functions of the bit stream
int GetBitsCount(int32_t v);
int GetSignedBitsCount(int32_t v, int extra);
int32_t MaxAbs2(int32_t a, int32_t b);
int32_t MaxAbs4(int32_t a, int32_t b, int32_t c, int32_t d);
bool CheckBit(uint16_t v, int n);
// Window order in, SWF order out; times 20 when toTwips.
TRect RectToSWFRect(const TRect& windowOrder, bool toTwips);
float FixedToSingle(int32_t v);
int32_t SingleToFixed(float x);
float Fixed8ToSingle(uint16_t v);
uint16_t SingleToFixed8(float x);
TSWFRGBRec SWFRGB(uint8_t r, uint8_t g, uint8_t b);
TSWFRGBRec IntToSWFRGB(uint32_t v);
// Toolkit colours have red in the low byte; negative values are system colours.
TSWFRGBRec ColorToSWFRGB(int32_t color);
TSWFRGBAValue SWFRGBA(uint8_t r, uint8_t g, uint8_t b, uint8_t a);
TSWFRGBAValue ColorToSWFRGBA(int32_t color, uint8_t a);
TSWFRGBAValue SetRGBAAlpha(uint8_t a, TSWFRGBAValue rgba);
TSWFMatrixRec SWFMatrix(bool hasScale, bool hasSkew, int32_t scaleX, int32_t scaleY, int32_t skewX, int32_t skewY,
                        int32_t translateX, int32_t translateY);
