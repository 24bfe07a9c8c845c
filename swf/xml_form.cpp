#include "swf/xml_form.h"

#include <algorithm>
#include <cstdio>

#include "platform/diagnostics.h"

#include <cmath>

#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/stream.h"

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

uint32_t HexValue(const std::string& digits) {
    uint32_t value = 0;
    if (digits.empty()) throw EConvertError("'' is not a valid hexadecimal value");
    for (char c : digits) {
        int d = HexDigit(c);
        if (d < 0) throw EConvertError(FormatStr("'%s' is not a valid hexadecimal value", digits.c_str()));
        value = value << 4 | static_cast<uint32_t>(d);
    }
    return value;
}

}  // namespace


// ---------------------------------------------------------------- settings

const char* DataKindWord(uint8_t kind) {
    static const char* words[] = {"", "image", "sound", "video", "font", "actions", "notident"};
    return kind < 7 ? words[kind] : "";
}

std::string TXMLReadWriteSettings::GetNewFileName(uint8_t kind) {
    std::string name = FilePrefix + DataKindWord(kind) + std::to_string(FileCounter) + Extension;
    ++FileCounter;
    return name;
}

std::string TXMLReadWriteSettings::GetDataFolder(uint8_t kind) const {
    if (UseCommonFolder) return CommonDataFolder.empty() ? std::string() : IncludeTrailingPathDelimiter(CommonDataFolder);
    std::string folder;
    switch (kind) {
        case kDataKindImage: folder = ImageFolder; break;
        case kDataKindSound: folder = SoundFolder; break;
        case kDataKindVideo: folder = VideoFolder; break;
        case kDataKindFont: folder = FontFolder; break;
        case kDataKindActions: folder = ActionsFolder; break;
        default: break;
    }
    if (!IsAbsolutePath(folder)) {
        folder = BaseFolder.empty() ? folder : IncludeTrailingPathDelimiter(BaseFolder) + folder;
    }
    return folder.empty() ? folder : IncludeTrailingPathDelimiter(folder);
}

std::string TXMLReadWriteSettings::GetRelativeDataFolder(uint8_t kind) const {
    std::string folder = GetDataFolder(kind);
    if (BaseFolder.empty()) return folder;
    std::string base = ExcludeTrailingPathDelimiter(BaseFolder);
    std::string common = ExcludeTrailingPathDelimiter(CommonDataFolder);
    if (common.compare(0, base.size(), base) != 0) return folder;
    return ExtractRelativePath(IncludeTrailingPathDelimiter(BaseFolder), folder);
}

std::string TXMLReadWriteSettings::GetFullFileName(uint8_t, const std::string& name) const {
    if (name.empty()) return {};
    if (IsAbsolutePath(name) || BaseFolder.empty()) return name;
    return IncludeTrailingPathDelimiter(BaseFolder) + name;
}

std::string TXMLReadWriteSettings::SaveDataFile(uint8_t kind, const void* data, size_t size,
                                               const std::string& nameOverride) {
    std::string name = nameOverride.empty() ? GetNewFileName(kind) : nameOverride;
    std::string folder = GetDataFolder(kind);
    if (!folder.empty()) ForceDirectories(folder);
    std::string path = folder + name;
    if (!IsAbsolutePath(path) && !BaseFolder.empty() && folder.empty())
        path = IncludeTrailingPathDelimiter(BaseFolder) + name;
    WriteFileBytes(path, data, size);
    return GetRelativeDataFolder(kind) + name;
}

std::optional<std::vector<uint8_t>> TXMLReadWriteSettings::LoadDataFile(uint8_t kind,
                                                                       const std::string& fileAttr) const {
    std::string fileName = GetFullFileName(kind, fileAttr);
    try {
        if (!FileExists(fileName)) throw EFOpenError("the file does not exist");
        return ReadFileBytes(fileName);
    } catch (const std::exception& failure) {
        ShowMessageBox("", FormatStr("Cannot read the data file \"%s\": %s", fileName.c_str(), failure.what()));
        return std::nullopt;
    }
}

// ---------------------------------------------------------------- coordinates

int32_t ReadCoordAttr(const TXMLReadWriteSettings& settings, const TXmlNode& node, const std::string& name) {
    int64_t value = node.AttrInt(name);
    int64_t divisor = settings.CoordDivisor == 0 ? 1 : settings.CoordDivisor;
    // Twips are 32-bit: a larger value would wrap to some other place.
    if (value > INT32_MAX / divisor || value < INT32_MIN / divisor)
        throw EConvertError(FormatStr("%s=\"%lld\" lies beyond the 32-bit range of twips", name.c_str(),
                                      static_cast<long long>(value)));
    return static_cast<int32_t>(value * divisor);
}

int32_t ReadCoordAttrDef(const TXMLReadWriteSettings& settings, const TXmlNode& node, const std::string& name,
                         int32_t def) {
    return node.HasAttribute(name) ? ReadCoordAttr(settings, node, name) : def;
}

namespace {
// Twips in the document's units, as written.
int64_t InUnits(const TXMLReadWriteSettings& settings, int32_t twips) {
    return twips / (settings.CoordDivisor == 0 ? 1 : settings.CoordDivisor);
}
}  // namespace

void WriteCoordAttr(const TXMLReadWriteSettings& settings, TXmlNode node, const std::string& name, int32_t twips) {
    node.SetAttr(name, InUnits(settings, twips));
}

void WriteRectAttrs(const TXMLReadWriteSettings& settings, TXmlNode node, const TRect& r, const std::string& prefix) {
    if (InUnits(settings, r.Left) != 0) WriteCoordAttr(settings, node, prefix + "XMin", r.Left);
    if (InUnits(settings, r.Top) != 0) WriteCoordAttr(settings, node, prefix + "YMin", r.Top);
    WriteCoordAttr(settings, node, prefix + "XMax", r.Right);
    WriteCoordAttr(settings, node, prefix + "YMax", r.Bottom);
}

TRect ReadRectAttrs(const TXMLReadWriteSettings& settings, const TXmlNode& node, const std::string& prefix) {
    TRect r;
    r.Left = ReadCoordAttrDef(settings, node, prefix + "XMin", 0);
    r.Top = ReadCoordAttrDef(settings, node, prefix + "YMin", 0);
    r.Right = ReadCoordAttr(settings, node, prefix + "XMax");
    r.Bottom = ReadCoordAttr(settings, node, prefix + "YMax");
    return r;
}

void WriteRectAttrs(const TXMLReadWriteSettings& settings, TXmlNode node, const TSWFRect& rect,
                    const std::string& prefix) {
    WriteRectAttrs(settings, node, rect.GetRect(), prefix);
    if (rect.Bits > rect.SmallestBits()) node.SetAttr(prefix + "RectBits", static_cast<int>(rect.Bits));
}

void ReadRectAttrs(const TXMLReadWriteSettings& settings, const TXmlNode& node, TSWFRect& rect,
                   const std::string& prefix) {
    rect.SetRectAsRead(ReadRectAttrs(settings, node, prefix));
    rect.Bits = static_cast<uint8_t>(std::clamp<int64_t>(node.AttrIntDef(prefix + "RectBits", 0), 0, 31));
}

TPoint ReadPointAttrs(const TXMLReadWriteSettings& settings, const TXmlNode& node, const std::string& prefix,
                      const std::string& suffix) {
    return TPoint{ReadCoordAttr(settings, node, prefix + "X" + suffix),
                  ReadCoordAttr(settings, node, prefix + "Y" + suffix)};
}

void WriteMatrixNode(const TXMLReadWriteSettings& settings, TXmlNode parent, const TSWFMatrixRec& m,
                     const std::string& elementName) {
    TXmlNode node = parent.AddChild(elementName);
    if (InUnits(settings, m.TranslateX) != 0) WriteCoordAttr(settings, node, "X", m.TranslateX);
    if (InUnits(settings, m.TranslateY) != 0) WriteCoordAttr(settings, node, "Y", m.TranslateY);
    if (m.HasScale) {
        node.SetAttr("ScaleX", m.ScaleX / 65536.0);
        node.SetAttr("ScaleY", m.ScaleY / 65536.0);
    }
    if (m.HasSkew) {
        node.SetAttr("SkewX", m.SkewX / 65536.0);
        node.SetAttr("SkewY", m.SkewY / 65536.0);
    }
    // Field widths wider than the values need, as a producer chose them:
    // "scale,skew,translate", so that the tag comes back as the same bytes.
    uint8_t scale, skew, translate;
    m.SmallestBits(scale, skew, translate);
    if ((m.HasScale && m.ScaleBits > scale) || (m.HasSkew && m.SkewBits > skew) || m.TranslateBits > translate)
        node.SetAttr("Bits", FormatStr("%u,%u,%u", unsigned{m.ScaleBits}, unsigned{m.SkewBits}, unsigned{m.TranslateBits}));
}

static int32_t FixedFromAttr(const TXmlNode& node, const std::string& name) {
    // The attribute holds value / 65536 exactly, so read it back in double
    // precision: going through a 32-bit float would lose low bits.
    double scaled = std::trunc(node.AttrFloat(name) * 65536.0);
    if (!(scaled >= INT32_MIN)) return INT32_MIN;
    if (scaled > INT32_MAX) return INT32_MAX;
    return static_cast<int32_t>(scaled);
}

TSWFMatrixRec ReadMatrixNode(const TXMLReadWriteSettings& settings, const TXmlNode& parent,
                             const std::string& elementName) {
    TSWFMatrixRec m;
    TXmlNode node = parent.ChildNode(elementName);
    if (!node) return m;
    if (node.HasAttribute("ScaleX")) {
        m.HasScale = true;
        m.ScaleX = FixedFromAttr(node, "ScaleX");
        m.ScaleY = FixedFromAttr(node, "ScaleY");
    }
    if (node.HasAttribute("SkewX")) {
        m.HasSkew = true;
        m.SkewX = FixedFromAttr(node, "SkewX");
        m.SkewY = FixedFromAttr(node, "SkewY");
    }
    m.TranslateX = ReadCoordAttrDef(settings, node, "X", 0);
    m.TranslateY = ReadCoordAttrDef(settings, node, "Y", 0);
    if (node.HasAttribute("Bits")) {
        unsigned scale = 0, skew = 0, translate = 0;
        // Widths past what the count fields can say are left to the writer.
        if (std::sscanf(node.AttrStr("Bits").c_str(), "%u,%u,%u", &scale, &skew, &translate) == 3 && scale <= 31 &&
            skew <= 31 && translate <= 31) {
            m.ScaleBits = static_cast<uint8_t>(scale);
            m.SkewBits = static_cast<uint8_t>(skew);
            m.TranslateBits = static_cast<uint8_t>(translate);
        }
    }
    return m;
}

void WriteColorTransformNode(TXmlNode parent, const TSWFColorTransformRec& c) {
    TXmlNode node = parent.AddChild("ColorTransform");
    node.SetAttrBool("Alpha", c.HasAlpha);
    if (c.HasAdd) {
        node.SetAttr("AddR", c.AddR);
        node.SetAttr("AddG", c.AddG);
        node.SetAttr("AddB", c.AddB);
        if (c.HasAlpha) node.SetAttr("AddA", c.AddA);
    }
    if (c.HasMult) {
        node.SetAttr("MultR", c.MultR);
        node.SetAttr("MultG", c.MultG);
        node.SetAttr("MultB", c.MultB);
        if (c.HasAlpha) node.SetAttr("MultA", c.MultA);
    }
}

TSWFColorTransformRec ReadColorTransformNode(const TXmlNode& parent) {
    TSWFColorTransformRec c;
    TXmlNode node = parent.ChildNode("ColorTransform");
    if (!node) return c;
    c.HasAlpha = node.AttrBoolDef("Alpha", true);
    auto has = [&](const char* name) { return node.HasAttribute(name); };
    auto term = [&](const char* name, int def) { return static_cast<int16_t>(node.AttrIntDef(name, def)); };
    c.HasAdd = has("AddR") || has("AddG") || has("AddB") || (has("AddA") && c.HasAlpha);
    if (c.HasAdd) {
        c.AddR = term("AddR", 0);
        c.AddG = term("AddG", 0);
        c.AddB = term("AddB", 0);
        if (c.HasAlpha && has("AddA")) c.AddA = term("AddA", 0);
    }
    c.HasMult = has("MultR") || has("MultG") || has("MultB") || (has("MultA") && c.HasAlpha);
    if (c.HasMult) {
        c.MultR = term("MultR", 256);
        c.MultG = term("MultG", 256);
        c.MultB = term("MultB", 256);
        if (c.HasAlpha) c.MultA = term("MultA", 256);
    }
    return c;
}

// ---------------------------------------------------------------- colours

std::string RGBToStr(int mode, uint32_t rgb) {
    rgb &= 0xFFFFFF;
    unsigned r = rgb & 0xFF, g = (rgb >> 8) & 0xFF, b = (rgb >> 16) & 0xFF;
    switch (mode) {
        case 1: return FormatStr("$%02X%02X%02X", b, g, r);
        case 2: return FormatStr("#%02X%02X%02X", r, g, b);
        default: return std::to_string(rgb);
    }
}

std::string RGBAToStr(TSWFRGBAValue rgba, int mode) {
    unsigned r = rgba & 0xFF, g = (rgba >> 8) & 0xFF, b = (rgba >> 16) & 0xFF, a = rgba >> 24;
    switch (mode) {
        case 1: return FormatStr("$%02X%02X%02X%02X", a, b, g, r);
        case 2: return FormatStr("#%02X%02X%02X%02X", a, r, g, b);
        default: return std::to_string(static_cast<int32_t>(rgba));
    }
}

void SetRGBAttr(TXmlNode node, int mode, const std::string& name, uint32_t rgb) {
    node.SetAttr(name, RGBToStr(mode, rgb));
}

void SetRGBAttr(TXmlNode node, int mode, const std::string& name, const TSWFRGBRec& c) {
    SetRGBAttr(node, mode, name, uint32_t(c.R) | uint32_t(c.G) << 8 | uint32_t(c.B) << 16);
}

void SetRGBAAttr(TXmlNode node, TSWFRGBAValue rgba, int mode, const std::string& name) {
    node.SetAttr(name, RGBAToStr(rgba, mode));
}

TSWFRGBRec ReadRGBAttr(const TXmlNode& node, const std::string& name) {
    std::string text = node.AttrStrDef(name, "");
    if (text.empty()) return TSWFRGBRec{};
    if (text[0] == '#') {
        if (text.size() < 7) throw EConvertError(FormatStr("'%s' is not a valid colour", text.c_str()));
        return TSWFRGBRec{static_cast<uint8_t>(HexValue(text.substr(1, 2))),
                          static_cast<uint8_t>(HexValue(text.substr(3, 2))),
                          static_cast<uint8_t>(HexValue(text.substr(5, 2)))};
    }
    return IntToSWFRGB(static_cast<uint32_t>(StrToInt64(text)));
}

TSWFRGBAValue StrToRGBA(const std::string& text) {
    if (text.empty()) return 0;
    if (text[0] == '#') {
        std::string digits = text.substr(1);
        if (digits.size() == 8) {
            uint32_t argb = HexValue(digits);
            return SWFRGBA(static_cast<uint8_t>(argb >> 16), static_cast<uint8_t>(argb >> 8),
                           static_cast<uint8_t>(argb), static_cast<uint8_t>(argb >> 24));
        }
        if (digits.size() < 6) throw EConvertError(FormatStr("'%s' is not a valid colour", text.c_str()));
        uint32_t rgb = HexValue(digits.substr(0, 6));
        return SWFRGBA(static_cast<uint8_t>(rgb >> 16), static_cast<uint8_t>(rgb >> 8), static_cast<uint8_t>(rgb),
                       255);
    }
    return static_cast<uint32_t>(StrToInt64(text));
}

TSWFRGBAValue ReadRGBAAttr(const TXmlNode& node, const std::string& name) {
    std::string text = node.AttrStrDef(name, "");
    if (!text.empty() && text[0] == '#') text = text.substr(0, 9);
    return StrToRGBA(text);
}

// ---------------------------------------------------------------- bytes and strings

std::string BinToHexStr(const void* bytes, size_t count) {
    static const char digits[] = "0123456789ABCDEF";
    if (!bytes || count == 0) return {};
    const uint8_t* data = static_cast<const uint8_t*>(bytes);
    std::string text(count * 2, '0');
    for (size_t i = 0; i < count; ++i) {
        text[2 * i] = digits[data[i] >> 4];
        text[2 * i + 1] = digits[data[i] & 15];
    }
    return text;
}

std::vector<uint8_t> HexStrToBin(const std::string& text) {
    if (text.size() == 1) throw EConvertError(FormatStr("'%s' is not a valid hexadecimal text", text.c_str()));
    std::vector<uint8_t> bytes(text.size() / 2);
    for (size_t i = 0; i < bytes.size(); ++i) {
        int high = HexDigit(text[2 * i]), low = HexDigit(text[2 * i + 1]);
        if (high < 0 || low < 0)
            throw EConvertError(FormatStr("'%s' is not a valid hexadecimal pair", text.substr(2 * i, 2).c_str()));
        bytes[i] = static_cast<uint8_t>(high << 4 | low);
    }
    return bytes;
}

std::string EscapeStr(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (c < 32 || c == '%') out += FormatStr("%%%02X", c);
        else out += static_cast<char>(c);
    }
    return out;
}

std::string UnescapeStr(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() + 0 && HexDigit(text[i + 1]) >= 0 && HexDigit(text[i + 2]) >= 0) {
            out += static_cast<char>(HexDigit(text[i + 1]) << 4 | HexDigit(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string EscapeLineBreaks(const std::string& text, bool& escaped) {
    escaped = text.find('\r') != std::string::npos;
    if (!escaped) return text;
    std::string out;
    out.reserve(text.size() + 8);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') out += "#$D";
        else if (text[i] == '#' && i + 1 < text.size() && text[i + 1] == '$') {
            out += "#$#";
            ++i;
        } else out += text[i];
    }
    return out;
}

std::string UnescapeLineBreaks(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '#' && i + 2 < text.size() && text[i + 1] == '$') {
            char c = text[i + 2];
            if (c == 'D' || c == 'A' || c == '#') {
                out += c == 'D' ? "\r" : c == 'A' ? "\n" : "#$";
                i += 2;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}
