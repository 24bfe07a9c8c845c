#include "swf/filters.h"

#include <cmath>
#include <numbers>

#include "platform/codepage.h"
#include "platform/errors.h"
#include "swf/names.h"
#include "swf/xml_form.h"

namespace {

template <class T>
const T& FilterAs(const TSWFFilter& source, const TSWFFilter& target) {
    auto* typed = dynamic_cast<const T*>(&source);
    if (typed == nullptr)
        throw EConvertError(FormatStr("Cannot copy filter %d into filter %d", source.FilterID, target.FilterID));
    return *typed;
}

float ReadFixed8(TBitsEngine& be) { return Fixed8ToSingle(be.ReadWord()); }
void WriteFixed8(TBitsEngine& be, float x) { be.WriteWord(SingleToFixed8(x)); }

TSWFRGBA ReadColor(TBitsEngine& be) {
    TSWFRGBA color(true);
    color.SetRGBA(be.ReadRGBA());
    return color;
}

constexpr double kDegrees = 180.0 / std::numbers::pi;

float AngleFromXml(const TXmlNode& node) { return static_cast<float>(node.AttrFloat("Angle") / kDegrees); }
void AngleToXml(TXmlNode node, float radians) { node.SetAttr("Angle", static_cast<double>(radians) * kDegrees); }
float StrengthFromXml(const TXmlNode& node) { return static_cast<float>(node.AttrFloat("Strength") / 100.0); }
void StrengthToXml(TXmlNode node, float strength) { node.SetAttr("Strength", static_cast<double>(strength) * 100.0); }

void ColorToXml(TXmlNode node, const std::string& name, const TSWFRGBA& color) {
    SetRGBAAttr(node, color.GetRGBA(), 2, name);
}
void ColorFromXml(const TXmlNode& node, const std::string& name, TSWFRGBA& color) {
    color.SetRGBA(ReadRGBAAttr(node, name));
}

const char* const kQualityNames[] = {"Low", "Medium", "High"};

// Passes has three names; any other count is written as its number so that
// a document keeps what the stream held (up to 31 passes).
uint8_t PassesFromXml(const TXmlNode& node) {
    std::string text = node.AttrStrDef("Passes", "Low");
    for (int i = 0; i < 3; ++i)
        if (AnsiSameText(text, kQualityNames[i])) return static_cast<uint8_t>(i + 1);
    bool digits = !text.empty() && text.size() <= 3;
    for (char c : text) digits = digits && c >= '0' && c <= '9';
    if (digits) {
        int value = std::stoi(text);
        if (value <= 255) return static_cast<uint8_t>(value);
    }
    return 0;
}

std::string PassesToXml(uint8_t passes) {
    return passes >= 1 && passes <= 3 ? kQualityNames[passes - 1] : std::to_string(passes);
}

// The flags byte of the shadow, glow and bevel families: three flags on
// top, then OnTop (bevels only) and the passes in the bits that remain.
uint8_t PackFlags(bool inner, bool knockout, bool composite, int onTop, uint8_t passes) {
    uint8_t b = static_cast<uint8_t>((inner ? 0x80 : 0) | (knockout ? 0x40 : 0) | (composite ? 0x20 : 0));
    if (onTop < 0) return static_cast<uint8_t>(b | (passes & 0x1F));
    return static_cast<uint8_t>(b | (onTop ? 0x10 : 0) | (passes & 0x0F));
}

// 101 steps, 0 to 10, non-decreasing: the gain of the contrast adjustment.
const float kContrastTable[101] = {
    0.00f, 0.01f, 0.02f, 0.04f, 0.05f, 0.06f, 0.07f, 0.08f, 0.10f, 0.11f,  //
    0.12f, 0.14f, 0.15f, 0.16f, 0.17f, 0.18f, 0.20f, 0.21f, 0.22f, 0.24f,  //
    0.25f, 0.27f, 0.28f, 0.30f, 0.32f, 0.34f, 0.36f, 0.38f, 0.40f, 0.42f,  //
    0.44f, 0.46f, 0.48f, 0.50f, 0.53f, 0.56f, 0.59f, 0.62f, 0.65f, 0.68f,  //
    0.71f, 0.74f, 0.77f, 0.80f, 0.83f, 0.86f, 0.89f, 0.92f, 0.95f, 0.98f,  //
    1.00f, 1.06f, 1.12f, 1.18f, 1.24f, 1.30f, 1.36f, 1.42f, 1.48f, 1.54f,  //
    1.60f, 1.66f, 1.72f, 1.78f, 1.84f, 1.90f, 1.96f, 2.00f, 2.12f, 2.25f,  //
    2.37f, 2.50f, 2.62f, 2.75f, 2.87f, 3.00f, 3.20f, 3.40f, 3.60f, 3.80f,  //
    4.00f, 4.30f, 4.70f, 4.90f, 5.00f, 5.50f, 6.00f, 6.50f, 6.80f, 7.00f,  //
    7.30f, 7.50f, 7.80f, 8.00f, 8.40f, 8.70f, 9.00f, 9.40f, 9.60f, 9.80f,  //
    10.00f,
};

using TMatrix5 = float[5][5];

void SetIdentity(TMatrix5& m) {
    for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 5; ++j) m[i][j] = i == j ? 1.0f : 0.0f;
}

void MultiplyRight(TMatrix5& m, const TMatrix5& x) {
    TMatrix5 result;
    for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 5; ++j) {
            float sum = 0.0f;
            for (int k = 0; k < 5; ++k) sum += m[i][k] * x[k][j];
            result[i][j] = sum;
        }
    for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 5; ++j) m[i][j] = result[i][j];
}

int Clamp(int v, int low, int high) { return v < low ? low : v > high ? high : v; }

}  // namespace

// ---------------------------------------------------------------- colour matrix

float TSWFColorMatrixFilter::GetMatrixValue(int index) const {
    if (index < 0 || index >= 20) throw EConvertError(FormatStr("Colour matrix index %d out of range", index));
    return Matrix[index];
}

void TSWFColorMatrixFilter::SetMatrixValue(int index, float value) {
    if (index < 0 || index >= 20) throw EConvertError(FormatStr("Colour matrix index %d out of range", index));
    Matrix[index] = value;
}

void TSWFColorMatrixFilter::ResetMatrix() {
    for (int i = 0; i < 20; ++i) Matrix[i] = (i % 6 == 0) ? 1.0f : 0.0f;
}

void TSWFColorMatrixFilter::AdjustColorMatrix(int brightness, int contrast, int saturation, int hue) {
    ResetMatrix();
    TMatrix5 m;
    SetIdentity(m);

    if (hue != 0) {
        float a = static_cast<float>(Clamp(hue, -180, 180)) * std::numbers::pi_v<float> / 180.0f;
        float c = std::cos(a), s = std::sin(a);
        const float lumR = 0.213f, lumG = 0.715f, lumB = 0.072f;
        TMatrix5 x = {
            {lumR + c * (1 - lumR) - s * lumR, lumG - c * lumG - s * lumG, lumB - c * lumB + s * (1 - lumB), 0, 0},
            {lumR - c * lumR + 0.143f * s, lumG + c * (1 - lumG) + 0.140f * s, lumB - c * lumB - 0.283f * s, 0, 0},
            {lumR - c * lumR - s * (1 - lumR), lumG - c * lumG + s * lumG, lumB + c * (1 - lumB) + s * lumB, 0, 0},
            {0, 0, 0, 1, 0},
            {0, 0, 0, 0, 1},
        };
        MultiplyRight(m, x);
    }
    if (contrast != 0) {
        int v = Clamp(contrast, -100, 100);
        float t = v < 0 ? static_cast<float>(v) / 100.0f : kContrastTable[v];
        float level = 127.0f + 127.0f * t;
        float scale = level / 127.0f, offset = (127.0f - level) * 0.5f;
        TMatrix5 x;
        SetIdentity(x);
        for (int i = 0; i < 3; ++i) {
            x[i][i] = scale;
            x[i][4] = offset;
        }
        MultiplyRight(m, x);
    }
    if (brightness != 0) {
        float v = static_cast<float>(Clamp(brightness, -100, 100));
        TMatrix5 x;
        SetIdentity(x);
        for (int i = 0; i < 3; ++i) x[i][4] = v;
        MultiplyRight(m, x);
    }
    if (saturation != 0) {
        int v = Clamp(saturation, -100, 100);
        float s = v > 0 ? 1.0f + 3.0f * static_cast<float>(v) / 100.0f : 1.0f + static_cast<float>(v) / 100.0f;
        float wR = (1 - s) * 0.3086f, wG = (1 - s) * 0.6094f, wB = (1 - s) * 0.082f;
        TMatrix5 x = {
            {wR + s, wG, wB, 0, 0},
            {wR, wG + s, wB, 0, 0},
            {wR, wG, wB + s, 0, 0},
            {0, 0, 0, 1, 0},
            {0, 0, 0, 0, 1},
        };
        MultiplyRight(m, x);
    }
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 5; ++c) Matrix[r * 5 + c] = m[r][c];
}

void TSWFColorMatrixFilter::CopyFrom(const TSWFFilter& source) {
    const auto& other = FilterAs<TSWFColorMatrixFilter>(source, *this);
    for (int i = 0; i < 20; ++i) Matrix[i] = other.Matrix[i];
}

void TSWFColorMatrixFilter::ReadFromStream(TBitsEngine& be) {
    for (float& value : Matrix) value = be.ReadFloat();
}

void TSWFColorMatrixFilter::WriteToStream(TBitsEngine& be) {
    be.WriteByte(FilterID);
    for (float value : Matrix) be.WriteFloat(value);
}

static const char kRowLetters[] = "RGBA";

void TSWFColorMatrixFilter::LoadFromXml(const TXmlNode& node) {
    if (node.HasAttribute("Brightness") || node.HasAttribute("Contrast") || node.HasAttribute("Saturation") ||
        node.HasAttribute("Hue")) {
        AdjustColorMatrix(static_cast<int>(node.AttrIntDef("Brightness", 0)),
                          static_cast<int>(node.AttrIntDef("Contrast", 0)),
                          static_cast<int>(node.AttrIntDef("Saturation", 0)), static_cast<int>(node.AttrIntDef("Hue", 0)));
        return;
    }
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 5; ++c)
            Matrix[r * 5 + c] = static_cast<float>(node.AttrFloat(std::string(1, kRowLetters[r]) + std::to_string(c)));
}

void TSWFColorMatrixFilter::SaveToXml(TXmlNode node) {
    for (int c = 0; c < 5; ++c)
        for (int r = 0; r < 4; ++r)
            node.SetAttr(std::string(1, kRowLetters[r]) + std::to_string(c), static_cast<double>(Matrix[r * 5 + c]));
}

// ---------------------------------------------------------------- convolution

float TSWFConvolutionFilter::GetMatrixValue(int index) const {
    if (index < 0) throw EConvertError(FormatStr("Convolution matrix index %d out of range", index));
    return static_cast<size_t>(index) < Matrix.size() ? Matrix[static_cast<size_t>(index)] : 0.0f;
}

void TSWFConvolutionFilter::SetMatrixValue(int index, float value) {
    if (index < 0 || index >= 255 * 255)
        throw EConvertError(FormatStr("Convolution matrix index %d out of range", index));
    if (static_cast<size_t>(index) >= Matrix.size()) Matrix.resize(static_cast<size_t>(index) + 1, 0.0f);
    Matrix[static_cast<size_t>(index)] = value;
}

void TSWFConvolutionFilter::CopyFrom(const TSWFFilter& source) {
    const auto& other = FilterAs<TSWFConvolutionFilter>(source, *this);
    MatrixX = other.MatrixX;
    MatrixY = other.MatrixY;
    Divisor = other.Divisor;
    Bias = other.Bias;
    Matrix.assign(static_cast<size_t>(MatrixX) * MatrixY, 0.0f);
    for (size_t i = 0; i < Matrix.size(); ++i) Matrix[i] = other.GetMatrixValue(static_cast<int>(i));
    DefaultColor.CopyFrom(other.DefaultColor);
    Clamp = other.Clamp;
    PreserveAlpha = other.PreserveAlpha;
}

void TSWFConvolutionFilter::ReadFromStream(TBitsEngine& be) {
    MatrixX = be.ReadByte();
    MatrixY = be.ReadByte();
    Divisor = be.ReadFloat();
    Bias = be.ReadFloat();
    size_t count = static_cast<size_t>(MatrixX) * MatrixY;
    if (static_cast<int64_t>(count) * 4 > be.Stream.Remaining())
        throw EReadError(FormatStr("A %dx%d convolution matrix runs past the end of the tag", MatrixX, MatrixY));
    Matrix.resize(count);
    for (float& value : Matrix) value = be.ReadFloat();
    DefaultColor.SetRGBA(be.ReadRGBA());
    uint8_t flags = be.ReadByte();
    Clamp = flags & 0x02;
    PreserveAlpha = flags & 0x01;
}

void TSWFConvolutionFilter::WriteToStream(TBitsEngine& be) {
    be.WriteByte(FilterID);
    be.WriteByte(MatrixX);
    be.WriteByte(MatrixY);
    be.WriteFloat(Divisor);
    be.WriteFloat(Bias);
    int count = MatrixX * MatrixY;
    for (int i = 0; i < count; ++i) be.WriteFloat(GetMatrixValue(i));
    be.WriteRGBA(DefaultColor.GetRGBA());
    be.WriteByte(static_cast<uint8_t>((Clamp ? 2 : 0) | (PreserveAlpha ? 1 : 0)));
}

void TSWFConvolutionFilter::LoadFromXml(const TXmlNode& node) {
    Bias = static_cast<float>(node.AttrFloat("Bias"));
    Clamp = node.AttrBoolDef("Clamp", false);
    Divisor = static_cast<float>(node.AttrFloat("Divisor"));
    PreserveAlpha = node.AttrBoolDef("PreserveAlpha", false);
    MatrixX = static_cast<uint8_t>(node.AttrInt("MatrixX"));
    MatrixY = static_cast<uint8_t>(node.AttrInt("MatrixY"));
    int count = MatrixX * MatrixY;
    Matrix.assign(static_cast<size_t>(count), 0.0f);
    for (int i = 0; i < count; ++i) Matrix[static_cast<size_t>(i)] = static_cast<float>(node.AttrFloat("M" + std::to_string(i)));
    if (node.HasAttribute("DefaultColor")) ColorFromXml(node, "DefaultColor", DefaultColor);
}

void TSWFConvolutionFilter::SaveToXml(TXmlNode node) {
    node.SetAttr("Bias", static_cast<double>(Bias));
    node.SetAttrBool("Clamp", Clamp);
    node.SetAttr("Divisor", static_cast<double>(Divisor));
    node.SetAttrBool("PreserveAlpha", PreserveAlpha);
    node.SetAttr("MatrixX", static_cast<int>(MatrixX));
    node.SetAttr("MatrixY", static_cast<int>(MatrixY));
    int count = MatrixX * MatrixY;
    for (int i = 0; i < count; ++i) node.SetAttr("M" + std::to_string(i), static_cast<double>(GetMatrixValue(i)));
    // Kept in the document too, so that saving and loading loses nothing.
    ColorToXml(node, "DefaultColor", DefaultColor);
}

// ---------------------------------------------------------------- blur

void TSWFBlurFilter::CopyBlurFrom(const TSWFBlurFilter& source) {
    BlurX = source.BlurX;
    BlurY = source.BlurY;
    Passes = source.Passes;
}

void TSWFBlurFilter::LoadBlurXml(const TXmlNode& node) {
    BlurX = static_cast<float>(node.AttrFloat("BlurX"));
    BlurY = static_cast<float>(node.AttrFloat("BlurY"));
    Passes = PassesFromXml(node);
}

void TSWFBlurFilter::SaveBlurXml(TXmlNode node) const {
    node.SetAttr("BlurX", static_cast<double>(BlurX));
    node.SetAttr("BlurY", static_cast<double>(BlurY));
    node.SetAttr("Passes", PassesToXml(Passes));
}

void TSWFBlurFilter::CopyFrom(const TSWFFilter& source) { CopyBlurFrom(FilterAs<TSWFBlurFilter>(source, *this)); }

void TSWFBlurFilter::ReadFromStream(TBitsEngine& be) {
    BlurX = be.ReadFixed();
    BlurY = be.ReadFixed();
    Passes = be.ReadByte() >> 3;
}

void TSWFBlurFilter::WriteToStream(TBitsEngine& be) {
    be.WriteByte(FilterID);
    be.WriteFixed(BlurX);
    be.WriteFixed(BlurY);
    be.WriteByte(static_cast<uint8_t>((Passes & 0x1F) << 3));
}

void TSWFBlurFilter::LoadFromXml(const TXmlNode& node) { LoadBlurXml(node); }

void TSWFBlurFilter::SaveToXml(TXmlNode node) { SaveBlurXml(node); }

// ---------------------------------------------------------------- glow

void TSWFGlowFilter::CopyFrom(const TSWFFilter& source) {
    const auto& other = FilterAs<TSWFGlowFilter>(source, *this);
    CopyBlurFrom(other);
    Strength = other.Strength;
    GlowColor.CopyFrom(other.GlowColor);
    InnerGlow = other.InnerGlow;
    Knockout = other.Knockout;
    CompositeSource = other.CompositeSource;
}

void TSWFGlowFilter::ReadFromStream(TBitsEngine& be) {
    GlowColor = ReadColor(be);
    BlurX = be.ReadFixed();
    BlurY = be.ReadFixed();
    Strength = ReadFixed8(be);
    uint8_t flags = be.ReadByte();
    InnerGlow = flags & 0x80;
    Knockout = flags & 0x40;
    CompositeSource = flags & 0x20;
    Passes = flags & 0x1F;
}

void TSWFGlowFilter::WriteToStream(TBitsEngine& be) {
    be.WriteByte(FilterID);
    be.WriteRGBA(GlowColor.GetRGBA());
    be.WriteFixed(BlurX);
    be.WriteFixed(BlurY);
    WriteFixed8(be, Strength);
    be.WriteByte(PackFlags(InnerGlow, Knockout, CompositeSource, -1, Passes));
}

void TSWFGlowFilter::LoadFromXml(const TXmlNode& node) {
    LoadBlurXml(node);
    Strength = StrengthFromXml(node);
    InnerGlow = node.AttrBoolDef("InnerGlow", false);
    CompositeSource = node.AttrBoolDef("CompositeSource", true);
    Knockout = node.AttrBoolDef("Knockout", false);
    ColorFromXml(node, "Color", GlowColor);
}

void TSWFGlowFilter::SaveToXml(TXmlNode node) {
    SaveBlurXml(node);
    StrengthToXml(node, Strength);
    node.SetAttrBool("InnerGlow", InnerGlow);
    node.SetAttrBool("CompositeSource", CompositeSource);
    node.SetAttrBool("Knockout", Knockout);
    ColorToXml(node, "Color", GlowColor);
}

// ---------------------------------------------------------------- drop shadow

TSWFDropShadowFilter::TSWFDropShadowFilter() : TSWFBlurFilter(kFilterDropShadow), DropShadowColor(true) {
    DropShadowColor.SetAlpha(255);
}

void TSWFDropShadowFilter::CopyFrom(const TSWFFilter& source) {
    const auto& other = FilterAs<TSWFDropShadowFilter>(source, *this);
    CopyBlurFrom(other);
    Angle = other.Angle;
    Distance = other.Distance;
    Strength = other.Strength;
    DropShadowColor.CopyFrom(other.DropShadowColor);
    InnerShadow = other.InnerShadow;
    Knockout = other.Knockout;
    CompositeSource = other.CompositeSource;
}

void TSWFDropShadowFilter::ReadFromStream(TBitsEngine& be) {
    DropShadowColor = ReadColor(be);
    BlurX = be.ReadFixed();
    BlurY = be.ReadFixed();
    Angle = be.ReadFixed();
    Distance = be.ReadFixed();
    Strength = ReadFixed8(be);
    uint8_t flags = be.ReadByte();
    InnerShadow = flags & 0x80;
    Knockout = flags & 0x40;
    CompositeSource = flags & 0x20;
    Passes = flags & 0x1F;
}

void TSWFDropShadowFilter::WriteToStream(TBitsEngine& be) {
    be.WriteByte(FilterID);
    be.WriteRGBA(DropShadowColor.GetRGBA());
    be.WriteFixed(BlurX);
    be.WriteFixed(BlurY);
    be.WriteFixed(Angle);
    be.WriteFixed(Distance);
    WriteFixed8(be, Strength);
    be.WriteByte(PackFlags(InnerShadow, Knockout, CompositeSource, -1, Passes));
}

void TSWFDropShadowFilter::LoadFromXml(const TXmlNode& node) {
    LoadBlurXml(node);
    Angle = AngleFromXml(node);
    Distance = static_cast<float>(node.AttrFloat("Distance"));
    Strength = StrengthFromXml(node);
    InnerShadow = node.AttrBoolDef("InnerShadow", false);
    CompositeSource = node.AttrBoolDef("CompositeSource", true);
    Knockout = node.AttrBoolDef("Knockout", false);
    ColorFromXml(node, "Color", DropShadowColor);
}

void TSWFDropShadowFilter::SaveToXml(TXmlNode node) {
    SaveBlurXml(node);
    AngleToXml(node, Angle);
    node.SetAttr("Distance", static_cast<double>(Distance));
    StrengthToXml(node, Strength);
    node.SetAttrBool("InnerShadow", InnerShadow);
    node.SetAttrBool("CompositeSource", CompositeSource);
    node.SetAttrBool("Knockout", Knockout);
    ColorToXml(node, "Color", DropShadowColor);
}

// ---------------------------------------------------------------- bevel

void TSWFBevelFilter::CopyFrom(const TSWFFilter& source) {
    const auto& other = FilterAs<TSWFBevelFilter>(source, *this);
    CopyBlurFrom(other);
    Angle = other.Angle;
    Distance = other.Distance;
    Strength = other.Strength;
    ShadowColor.CopyFrom(other.ShadowColor);
    HighlightColor.CopyFrom(other.HighlightColor);
    InnerShadow = other.InnerShadow;
    Knockout = other.Knockout;
    CompositeSource = other.CompositeSource;
    OnTop = other.OnTop;
}

void TSWFBevelFilter::ReadFromStream(TBitsEngine& be) {
    ShadowColor = ReadColor(be);
    HighlightColor = ReadColor(be);
    BlurX = be.ReadFixed();
    BlurY = be.ReadFixed();
    Angle = be.ReadFixed();
    Distance = be.ReadFixed();
    Strength = ReadFixed8(be);
    uint8_t flags = be.ReadByte();
    InnerShadow = flags & 0x80;
    Knockout = flags & 0x40;
    CompositeSource = flags & 0x20;
    OnTop = flags & 0x10;
    Passes = flags & 0x0F;
}

void TSWFBevelFilter::WriteToStream(TBitsEngine& be) {
    be.WriteByte(FilterID);
    be.WriteRGBA(ShadowColor.GetRGBA());
    be.WriteRGBA(HighlightColor.GetRGBA());
    be.WriteFixed(BlurX);
    be.WriteFixed(BlurY);
    be.WriteFixed(Angle);
    be.WriteFixed(Distance);
    WriteFixed8(be, Strength);
    be.WriteByte(PackFlags(InnerShadow, Knockout, CompositeSource, OnTop, Passes));
}

void TSWFBevelFilter::LoadFromXml(const TXmlNode& node) {
    LoadBlurXml(node);
    Angle = AngleFromXml(node);
    Distance = static_cast<float>(node.AttrFloat("Distance"));
    Strength = StrengthFromXml(node);
    InnerShadow = node.AttrBoolDef("InnerShadow", false);
    CompositeSource = node.AttrBoolDef("CompositeSource", true);
    Knockout = node.AttrBoolDef("Knockout", false);
    OnTop = node.AttrBoolDef("OnTop", false);
    ColorFromXml(node, "ShadowColor", ShadowColor);
    ColorFromXml(node, "HighlightColor", HighlightColor);
}

void TSWFBevelFilter::SaveToXml(TXmlNode node) {
    SaveBlurXml(node);
    AngleToXml(node, Angle);
    node.SetAttr("Distance", static_cast<double>(Distance));
    StrengthToXml(node, Strength);
    node.SetAttrBool("InnerShadow", InnerShadow);
    node.SetAttrBool("CompositeSource", CompositeSource);
    node.SetAttrBool("Knockout", Knockout);
    node.SetAttrBool("OnTop", OnTop);
    ColorToXml(node, "ShadowColor", ShadowColor);
    ColorToXml(node, "HighlightColor", HighlightColor);
}

// ---------------------------------------------------------------- gradient glow and bevel

TSWFGradientGlowFilter::TSWFGradientGlowFilter() : TSWFBlurFilter(kFilterGradientGlow) {
    entries_.resize(2);
    entries_[0].Color.SetHasAlpha(true);
    entries_[0].Color.SetAlpha(0);
    entries_[1].Color.SetHasAlpha(true);
    entries_[1].Color.SetAlpha(0);
    entries_[0].Ratio = 0;
    entries_[1].Ratio = 255;
}

TSWFGradientGlowFilter::TEntry& TSWFGradientGlowFilter::Entry(int index) {
    if (index < 1 || index > kMaxColors)
        throw EConvertError(FormatStr("Gradient entry %d out of range 1..%d", index, kMaxColors));
    if (static_cast<size_t>(index) > entries_.size()) entries_.resize(static_cast<size_t>(index));
    return entries_[static_cast<size_t>(index) - 1];
}

TSWFRGBA& TSWFGradientGlowFilter::GetGradientColor(int index) { return Entry(index).Color; }

uint8_t TSWFGradientGlowFilter::GetGradientRatio(int index) const {
    if (index < 1 || index > kMaxColors)
        throw EConvertError(FormatStr("Gradient entry %d out of range 1..%d", index, kMaxColors));
    return static_cast<size_t>(index) <= entries_.size() ? entries_[static_cast<size_t>(index) - 1].Ratio : 0;
}

void TSWFGradientGlowFilter::SetGradientRatio(int index, uint8_t ratio) { Entry(index).Ratio = ratio; }

void TSWFGradientGlowFilter::CopyFrom(const TSWFFilter& source) {
    const auto& other = FilterAs<TSWFGradientGlowFilter>(source, *this);
    CopyBlurFrom(other);
    Angle = other.Angle;
    Distance = other.Distance;
    Strength = other.Strength;
    InnerShadow = other.InnerShadow;
    Knockout = other.Knockout;
    CompositeSource = other.CompositeSource;
    OnTop = other.OnTop;
    NumColors = other.NumColors;
    entries_ = other.entries_;
}

void TSWFGradientGlowFilter::ReadFromStream(TBitsEngine& be) {
    NumColors = be.ReadByte();
    // Five bytes an entry: never make room for more than the body holds.
    if (int64_t(NumColors) * 5 > be.Stream.Remaining())
        throw EReadError(FormatStr("%d gradient entries run past the end of the tag", NumColors));
    entries_.assign(NumColors, TEntry{});
    for (TEntry& entry : entries_) entry.Color = ReadColor(be);
    for (TEntry& entry : entries_) entry.Ratio = be.ReadByte();
    BlurX = be.ReadFixed();
    BlurY = be.ReadFixed();
    Angle = be.ReadFixed();
    Distance = be.ReadFixed();
    Strength = ReadFixed8(be);
    uint8_t flags = be.ReadByte();
    InnerShadow = flags & 0x80;
    Knockout = flags & 0x40;
    CompositeSource = flags & 0x20;
    OnTop = flags & 0x10;
    Passes = flags & 0x0F;
}

void TSWFGradientGlowFilter::WriteToStream(TBitsEngine& be) {
    be.WriteByte(FilterID);
    be.WriteByte(NumColors);
    for (int i = 1; i <= NumColors; ++i) be.WriteRGBA(GetGradientColor(i).GetRGBA());
    for (int i = 1; i <= NumColors; ++i) be.WriteByte(GetGradientRatio(i));
    be.WriteFixed(BlurX);
    be.WriteFixed(BlurY);
    be.WriteFixed(Angle);
    be.WriteFixed(Distance);
    WriteFixed8(be, Strength);
    be.WriteByte(PackFlags(InnerShadow, Knockout, CompositeSource, OnTop, Passes));
}

void TSWFGradientGlowFilter::LoadFromXml(const TXmlNode& node) {
    LoadBlurXml(node);
    Angle = AngleFromXml(node);
    Distance = static_cast<float>(node.AttrFloat("Distance"));
    Strength = StrengthFromXml(node);
    InnerShadow = node.AttrBoolDef("InnerShadow", false);
    CompositeSource = node.AttrBoolDef("CompositeSource", true);
    Knockout = node.AttrBoolDef("Knockout", false);
    OnTop = node.AttrBoolDef("OnTop", false);
    std::vector<TXmlNode> children = node.ChildElements();
    if (children.size() > static_cast<size_t>(kMaxColors))
        throw EConvertError(FormatStr("A gradient filter holds at most %d colours, the element has %zu", kMaxColors,
                                      children.size()));
    NumColors = static_cast<uint8_t>(children.size());
    entries_.assign(children.size(), TEntry{});
    for (size_t k = 0; k < children.size(); ++k) {
        entries_[k].Ratio = static_cast<uint8_t>(children[k].AttrInt("Ratio"));
        entries_[k].Color.SetRGBA(StrToRGBA(children[k].Text()));
    }
}

void TSWFGradientGlowFilter::SaveToXml(TXmlNode node) {
    SaveBlurXml(node);
    AngleToXml(node, Angle);
    node.SetAttr("Distance", static_cast<double>(Distance));
    StrengthToXml(node, Strength);
    node.SetAttrBool("InnerShadow", InnerShadow);
    node.SetAttrBool("CompositeSource", CompositeSource);
    node.SetAttrBool("Knockout", Knockout);
    node.SetAttrBool("OnTop", OnTop);
    for (int i = 1; i <= NumColors; ++i) {
        TXmlNode child = node.AddChild("Color");
        child.SetAttr("Ratio", static_cast<int>(GetGradientRatio(i)));
        child.SetText(RGBAToStr(GetGradientColor(i).GetRGBA(), 2));
    }
}

// ---------------------------------------------------------------- the list

std::unique_ptr<TSWFFilter> CreateFilter(uint8_t id) {
    switch (id) {
        case kFilterDropShadow: return std::make_unique<TSWFDropShadowFilter>();
        case kFilterBlur: return std::make_unique<TSWFBlurFilter>();
        case kFilterGlow: return std::make_unique<TSWFGlowFilter>();
        case kFilterBevel: return std::make_unique<TSWFBevelFilter>();
        case kFilterGradientGlow: return std::make_unique<TSWFGradientGlowFilter>();
        case kFilterConvolution: return std::make_unique<TSWFConvolutionFilter>();
        case kFilterColorMatrix: return std::make_unique<TSWFColorMatrixFilter>();
        case kFilterGradientBevel: return std::make_unique<TSWFGradientBevelFilter>();
        default:
            // The record's length depends on its kind: an unknown one cannot be skipped.
            throw EReadError(FormatStr("Unknown filter ID %d", id));
    }
}

TSWFFilter& TSWFFilterList::CreateFilterById(uint8_t id) {
    Items.push_back(CreateFilter(id));
    return *Items.back();
}

void TSWFFilterList::CopyFrom(const TSWFFilterList& source) {
    if (&source == this) return;
    Items.clear();
    for (const auto& filter : source.Items) CreateFilterById(filter->FilterID).CopyFrom(*filter);
}

void TSWFFilterList::ReadFromStream(TBitsEngine& be) {
    Items.clear();
    uint8_t count = be.ReadByte();
    for (int i = 0; i < count; ++i) CreateFilterById(be.ReadByte()).ReadFromStream(be);
}

void TSWFFilterList::WriteToStream(TBitsEngine& be) {
    if (Items.size() > kMaxFilters)
        throw EWriteError(FormatStr("A filter list holds at most 255 filters, this one has %zu", Items.size()));
    be.WriteByte(static_cast<uint8_t>(Items.size()));
    for (const auto& filter : Items) filter->WriteToStream(be);
}

void TSWFFilterList::LoadFromXml(const TXmlNode& node) {
    Items.clear();
    std::vector<TXmlNode> children = node.ChildElements();
    if (children.size() > kMaxFilters)
        throw EConvertError(FormatStr("A filter list holds at most 255 filters, the element has %zu", children.size()));
    for (const TXmlNode& child : children) CreateFilterById(FilterNameToId(child.NodeName())).LoadFromXml(child);
}

void TSWFFilterList::SaveToXml(TXmlNode node) {
    for (const auto& filter : Items) filter->SaveToXml(node.AddChild(FilterIdToName(filter->FilterID)));
}
