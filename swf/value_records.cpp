#include "swf/value_records.h"

#include <algorithm>
#include <cmath>
#include <numbers>

void TSWFRect::SetRect(const TRect& w) {
    SetRectAsRead(w);
    Normalize(3);
}

void TSWFRect::SetRectAsRead(const TRect& w) {
    Xmin = w.Left;
    Ymin = w.Top;
    Xmax = w.Right;
    Ymax = w.Bottom;
}

uint8_t TSWFRect::SmallestBits() const {
    return static_cast<uint8_t>(GetSignedBitsCount(MaxAbs4(Xmin, Xmax, Ymin, Ymax), 1));
}

void TSWFRect::SetSWFRect(const TRect& s) {
    Xmin = s.Left;
    Xmax = s.Top;
    Ymin = s.Right;
    Ymax = s.Bottom;
    Normalize(3);
}

void TSWFRect::Normalize(int axes) {
    if ((axes & 1) && Xmin > Xmax) std::swap(Xmin, Xmax);
    if ((axes & 2) && Ymin > Ymax) std::swap(Ymin, Ymax);
}

void TSWFRGB::SetRGB(const TSWFRGBRec& c) {
    R = c.R;
    G = c.G;
    B = c.B;
}

void TSWFRGB::CopyFrom(const TSWFRGB& other) { SetRGB(other.GetRGB()); }

void TSWFRGBA::SetRGB(const TSWFRGBRec& c) {
    TSWFRGB::SetRGB(c);
    SetAlpha(255);
}

void TSWFRGBA::CopyFrom(const TSWFRGB& other) {
    if (auto* rgba = dynamic_cast<const TSWFRGBA*>(&other)) SetRGBA(rgba->GetRGBA());
    else SetRGB(other.GetRGB());
}

void TSWFRGBA::SetRGBA(TSWFRGBAValue v) {
    R = static_cast<uint8_t>(v);
    G = static_cast<uint8_t>(v >> 8);
    B = static_cast<uint8_t>(v >> 16);
    SetAlpha(static_cast<uint8_t>(v >> 24));
}

void TSWFRGBA::SetAlpha(uint8_t a) {
    A = a;
    if (a != 255) HasAlpha = true;
}

void TSWFRGBA::SetHasAlpha(bool flag) {
    HasAlpha = flag;
    if (!flag) A = 255;
}

int32_t TSWFColorTransform::CheckAddValue(int32_t v) { return std::clamp(v, -255, 255); }
int32_t TSWFColorTransform::CheckMultValue(int32_t v) { return std::clamp(v, 0, 256); }

void TSWFColorTransform::GetRec(TSWFColorTransformRec& rec) const {
    rec.HasAlpha = HasAlpha;
    rec.HasAdd = HasAdd;
    if (HasAdd) {
        rec.AddR = static_cast<int16_t>(AddR);
        rec.AddG = static_cast<int16_t>(AddG);
        rec.AddB = static_cast<int16_t>(AddB);
        if (HasAlpha) rec.AddA = static_cast<int16_t>(AddA);
    }
    rec.HasMult = HasMult;
    if (HasMult) {
        rec.MultR = static_cast<int16_t>(MultR);
        rec.MultG = static_cast<int16_t>(MultG);
        rec.MultB = static_cast<int16_t>(MultB);
        if (HasAlpha) rec.MultA = static_cast<int16_t>(MultA);
    }
}

void TSWFColorTransform::SetRec(const TSWFColorTransformRec& rec) {
    HasAlpha = rec.HasAlpha;
    if (rec.HasAdd) {
        SetAddR(rec.AddR);
        SetAddG(rec.AddG);
        SetAddB(rec.AddB);
        if (rec.HasAlpha) SetAddA(rec.AddA);
    } else {
        HasAdd = false;
    }
    if (rec.HasMult) {
        SetMultR(rec.MultR);
        SetMultG(rec.MultG);
        SetMultB(rec.MultB);
        if (rec.HasAlpha) SetMultA(rec.MultA);
    } else {
        HasMult = false;
    }
}

void TSWFMatrix::SetRotate(float degrees) {
    double r = degrees * std::numbers::pi / 180.0;
    double c = std::cos(r), s = std::sin(r);
    double sx = HasScale ? GetScaleX() : 1.0, sy = HasScale ? GetScaleY() : 1.0;
    double kx = HasSkew ? GetSkewX() : 0.0, ky = HasSkew ? GetSkewY() : 0.0;
    float newScaleX = static_cast<float>(sx * c + ky * s);
    float newScaleY = static_cast<float>(sy * c - kx * s);
    float newSkewX = static_cast<float>(sy * s + kx * c);
    float newSkewY = static_cast<float>(-sx * s + ky * c);
    SetScaleX(newScaleX);
    SetScaleY(newScaleY);
    SetSkewX(newSkewX);
    SetSkewY(newSkewY);
}

TSWFMatrixRec TSWFMatrix::GetRec() const {
    TSWFMatrixRec rec = SWFMatrix(HasScale, HasSkew, ScaleX, ScaleY, SkewX, SkewY, TranslateX, TranslateY);
    rec.ScaleBits = ScaleBits;
    rec.SkewBits = SkewBits;
    rec.TranslateBits = TranslateBits;
    return rec;
}

void TSWFMatrix::SetRec(const TSWFMatrixRec& r) {
    HasScale = r.HasScale;
    HasSkew = r.HasSkew;
    ScaleX = r.ScaleX;
    ScaleY = r.ScaleY;
    SkewX = r.SkewX;
    SkewY = r.SkewY;
    TranslateX = r.TranslateX;
    TranslateY = r.TranslateY;
    ScaleBits = r.ScaleBits;
    SkewBits = r.SkewBits;
    TranslateBits = r.TranslateBits;
}
