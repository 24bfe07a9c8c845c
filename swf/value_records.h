// The value objects that tags own: a rectangle, colours, a colour transform
// and a matrix. They keep their values ordered and clamped as SWF requires
// and trade their contents with the plain records of the bit stream.
#pragma once

#include <cstdint>

#include "swf/bits_engine.h"

class TSWFRect {
public:
    int32_t Xmax = 0, Xmin = 0, Ymax = 0, Ymin = 0;
    // The field width as read: written at least this wide, so that a
    // producer's wider encoding (1-bit fields of an empty rectangle) comes
    // back byte for byte.
    uint8_t Bits = 0;

    int32_t GetWidth() const { return Xmax - Xmin; }
    int32_t GetHeight() const { return Ymax - Ymin; }
    TRect GetRect() const { return TRect{Xmin, Ymin, Xmax, Ymax}; }
    // Ordered: a minimum above its maximum is swapped. For rectangles built
    // in code.
    void SetRect(const TRect& windowOrder);
    // As stored: a rectangle read from a file keeps its values, also a
    // minimum above its maximum (the bounds of an empty glyph).
    void SetRectAsRead(const TRect& windowOrder);
    TRect GetSWFRect() const { return TRect{Xmin, Xmax, Ymin, Ymax}; }
    void SetSWFRect(const TRect& swfOrder);
    void SetXmin(int32_t v) { Xmin = v; Normalize(1); }
    void SetXmax(int32_t v) { Xmax = v; Normalize(1); }
    void SetYmin(int32_t v) { Ymin = v; Normalize(2); }
    void SetYmax(int32_t v) { Ymax = v; Normalize(2); }
    void Normalize(int axes = 3);
    void CopyFrom(const TSWFRect& other) {
        SetSWFRect(other.GetSWFRect());
        Bits = other.Bits;
    }
    // The narrowest width that holds the values.
    uint8_t SmallestBits() const;
    // A RECT record of the stream: read as stored (keeping its width) and
    // written at least as wide as it was read.
    void ReadAsStored(TBitsEngine& be) { SetRectAsRead(be.ReadRect(&Bits)); }
    void Write(TBitsEngine& be) const { be.WriteRect(GetSWFRect(), Bits); }
};

class TSWFRGB {
public:
    virtual ~TSWFRGB() = default;
    uint8_t B = 0, G = 0, R = 0;

    TSWFRGBRec GetRGB() const { return TSWFRGBRec{R, G, B}; }
    virtual void SetRGB(const TSWFRGBRec& c);
    virtual void CopyFrom(const TSWFRGB& other);
};

class TSWFRGBA : public TSWFRGB {
public:
    explicit TSWFRGBA(bool hasAlpha = false) { SetHasAlpha(hasAlpha); }

    uint8_t A = 0;
    bool HasAlpha = false;

    void SetRGB(const TSWFRGBRec& c) override;
    void CopyFrom(const TSWFRGB& other) override;
    TSWFRGBAValue GetRGBA() const { return SWFRGBA(R, G, B, A); }
    void SetRGBA(TSWFRGBAValue v);
    void SetAlpha(uint8_t a);
    void SetHasAlpha(bool flag);
};

class TSWFColorTransform {
public:
    int32_t AddA = 0, AddB = 0, AddG = 0, AddR = 0;
    bool HasAdd = false, HasAlpha = false, HasMult = false;
    int32_t MultA = 0, MultB = 0, MultG = 0, MultR = 0;

    static int32_t CheckAddValue(int32_t v);
    static int32_t CheckMultValue(int32_t v);
    void SetAddR(int32_t v) { AddR = CheckAddValue(v); HasAdd = true; }
    void SetAddG(int32_t v) { AddG = CheckAddValue(v); HasAdd = true; }
    void SetAddB(int32_t v) { AddB = CheckAddValue(v); HasAdd = true; }
    void SetAddA(int32_t v) { AddA = CheckAddValue(v); HasAdd = true; HasAlpha = true; }
    void SetMultR(int32_t v) { MultR = CheckMultValue(v); HasMult = true; }
    void SetMultG(int32_t v) { MultG = CheckMultValue(v); HasMult = true; }
    void SetMultB(int32_t v) { MultB = CheckMultValue(v); HasMult = true; }
    void SetMultA(int32_t v) { MultA = CheckMultValue(v); HasMult = true; HasAlpha = true; }
    // Copies into rec only the terms whose flags are set; the rest stay.
    void GetRec(TSWFColorTransformRec& rec) const;
    TSWFColorTransformRec GetRec() const { TSWFColorTransformRec r; GetRec(r); return r; }
    void SetRec(const TSWFColorTransformRec& rec);
    void CopyFrom(const TSWFColorTransform& other) { SetRec(other.GetRec()); }
};

class TSWFMatrix {
public:
    bool HasScale = false, HasSkew = false;
    int32_t ScaleX = 0, ScaleY = 0, SkewX = 0, SkewY = 0;
    int32_t TranslateX = 0, TranslateY = 0;
    // The widths the matrix was read with (see TSWFMatrixRec).
    uint8_t ScaleBits = 0, SkewBits = 0, TranslateBits = 0;

    float GetScaleX() const { return FixedToSingle(ScaleX); }
    float GetScaleY() const { return FixedToSingle(ScaleY); }
    float GetSkewX() const { return FixedToSingle(SkewX); }
    float GetSkewY() const { return FixedToSingle(SkewY); }
    // A matrix changed through these is written at its smallest widths.
    void SetScaleX(float x) { ScaleX = SingleToFixed(x); HasScale = true; ForgetBits(); }
    void SetScaleY(float x) { ScaleY = SingleToFixed(x); HasScale = true; ForgetBits(); }
    void SetScale(float x, float y) { SetScaleX(x); SetScaleY(y); }
    void SetSkewX(float x) { SkewX = SingleToFixed(x); HasSkew = true; ForgetBits(); }
    void SetSkewY(float x) { SkewY = SingleToFixed(x); HasSkew = true; ForgetBits(); }
    void SetSkew(float x, float y) { SetSkewX(x); SetSkewY(y); }
    void SetTranslate(int32_t x, int32_t y) { TranslateX = x; TranslateY = y; ForgetBits(); }
    void ForgetBits() { ScaleBits = SkewBits = TranslateBits = 0; }
    void SetRotate(float degrees);
    TSWFMatrixRec GetRec() const;
    void SetRec(const TSWFMatrixRec& rec);
    void CopyFrom(const TSWFMatrix& other) { SetRec(other.GetRec()); }
};
