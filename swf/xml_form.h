// What every class of the XML form shares: attribute readers and writers for
// coordinates, rectangles, points, matrices, colour transforms and colours,
// the coordinate divisor between the document's units and twips, the
// hexadecimal and escaped forms of bytes and strings, and the settings that
// decide which payloads go to external data files and where those live.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/xml.h"
#include "swf/bits_engine.h"
#include "swf/value_records.h"

// Data kinds of external files.
enum : uint8_t {
    kDataKindNone = 0,
    kDataKindImage = 1,
    kDataKindSound = 2,
    kDataKindVideo = 3,
    kDataKindFont = 4,
    kDataKindActions = 5,
    kDataKindNotIdent = 6,
};

// Option bits: which payloads SaveToXml puts into external files.
enum : uint8_t {
    kXmlExternalImages = 0x02,
    kXmlExternalSounds = 0x04,
    kXmlExternalVideo = 0x08,
    kXmlExternalFonts = 0x10,
    kXmlExternalActions = 0x20,
    kXmlExternalRawTags = 0x40,
};

class TXMLReadWriteSettings {
public:
    uint8_t ActionFormat = 0;   // 0 XML, 1 raw byte code
    uint32_t LoadFlags = 0;     // 0x1 skip clip-event actions, 0x2 skip a placement's own fields
    uint16_t FileCounter = 0;
    uint8_t Options = kXmlExternalImages | kXmlExternalSounds | kXmlExternalVideo;
    std::string BaseFolder;
    std::string CommonDataFolder;
    std::string ImageFolder, SoundFolder, FontFolder, ActionsFolder, VideoFolder;
    std::string FilePrefix;
    std::string Extension = ".dat";
    uint8_t FontFormat = 0;     // 0 XML, 1 binary tag body
    bool UseCommonFolder = true;
    // Twips per unit of the document's coordinates: readers multiply
    // coordinate attributes by it, writers divide by it. A movie's reading
    // and writing set it to the movie's unit factor, so it belongs to that
    // one conversion and no other.
    uint8_t CoordDivisor = 1;
    void SetCoordDivisor(uint8_t divisor) { CoordDivisor = divisor == 0 ? 1 : divisor; }

    std::string GetNewFileName(uint8_t kind);
    std::string GetDataFolder(uint8_t kind) const;
    std::string GetRelativeDataFolder(uint8_t kind) const;
    std::string GetFullFileName(uint8_t kind, const std::string& name) const;

    // The pattern every external payload follows: writes the bytes to a new
    // data file of the kind and returns the value of the "File" attribute.
    // nameOverride, when not empty, replaces the generated file name.
    std::string SaveDataFile(uint8_t kind, const void* data, size_t size, const std::string& nameOverride = {});
    // The mirror of SaveDataFile: the bytes of the data file that the value
    // of a "File" attribute names. A missing or unreadable file is reported
    // through the message reporter, naming the file, and gives nullopt: an
    // element's payload is then left as it was, not emptied in silence.
    std::optional<std::vector<uint8_t>> LoadDataFile(uint8_t kind, const std::string& fileAttr) const;
};

const char* DataKindWord(uint8_t kind);

// ---- attributes
inline int64_t GetAttrDefault(const TXmlNode& node, const std::string& name, int64_t def) {
    return node.AttrIntDef(name, def);
}
inline int64_t GetAttrDefault(const TXmlNode& node, const std::string& name, int def) {
    return node.AttrIntDef(name, def);
}
inline double GetAttrDefault(const TXmlNode& node, const std::string& name, double def) {
    return node.AttrFloatDef(name, def);
}
inline bool GetAttrDefault(const TXmlNode& node, const std::string& name, bool def) {
    return node.AttrBoolDef(name, def);
}
inline std::string GetAttrDefault(const TXmlNode& node, const std::string& name, const std::string& def) {
    return node.AttrStrDef(name, def);
}

// Coordinate attributes: times the settings' divisor on reading, divided on
// writing.
int32_t ReadCoordAttr(const TXMLReadWriteSettings& settings, const TXmlNode& node, const std::string& name);
int32_t ReadCoordAttrDef(const TXMLReadWriteSettings& settings, const TXmlNode& node, const std::string& name,
                         int32_t def);
void WriteCoordAttr(const TXMLReadWriteSettings& settings, TXmlNode node, const std::string& name, int32_t twips);

void WriteRectAttrs(const TXMLReadWriteSettings& settings, TXmlNode node, const TRect& windowOrder,
                    const std::string& prefix = "");
TRect ReadRectAttrs(const TXMLReadWriteSettings& settings, const TXmlNode& node, const std::string& prefix = "");
// A rectangle read from a file, with the field width it was stored with when
// that is wider than its values need (prefix + "RectBits").
void WriteRectAttrs(const TXMLReadWriteSettings& settings, TXmlNode node, const TSWFRect& rect,
                    const std::string& prefix = "");
void ReadRectAttrs(const TXMLReadWriteSettings& settings, const TXmlNode& node, TSWFRect& rect,
                   const std::string& prefix = "");
TPoint ReadPointAttrs(const TXMLReadWriteSettings& settings, const TXmlNode& node, const std::string& prefix,
                      const std::string& suffix);
void WriteMatrixNode(const TXMLReadWriteSettings& settings, TXmlNode parent, const TSWFMatrixRec& m,
                     const std::string& elementName);
TSWFMatrixRec ReadMatrixNode(const TXMLReadWriteSettings& settings, const TXmlNode& parent,
                             const std::string& elementName);
void WriteColorTransformNode(TXmlNode parent, const TSWFColorTransformRec& c);
TSWFColorTransformRec ReadColorTransformNode(const TXmlNode& parent);

// Colours. rgb is 24-bit with red in the low byte. Modes: 0 decimal,
// 1 "$" and hex B G R (A B G R), 2 "#" and hex R G B (A R G B).
std::string RGBToStr(int mode, uint32_t rgb);
std::string RGBAToStr(TSWFRGBAValue rgba, int mode);
void SetRGBAttr(TXmlNode node, int mode, const std::string& name, uint32_t rgb);
void SetRGBAttr(TXmlNode node, int mode, const std::string& name, const TSWFRGBRec& rgb);
void SetRGBAAttr(TXmlNode node, TSWFRGBAValue rgba, int mode, const std::string& name);
TSWFRGBRec ReadRGBAttr(const TXmlNode& node, const std::string& name);
TSWFRGBAValue ReadRGBAAttr(const TXmlNode& node, const std::string& name);
TSWFRGBAValue StrToRGBA(const std::string& text);

// Bytes and strings.
std::string BinToHexStr(const void* bytes, size_t count);
std::vector<uint8_t> HexStrToBin(const std::string& text);
std::string EscapeStr(const std::string& text);
std::string UnescapeStr(const std::string& text);
// Action strings in XML text: a parser turns every carriage return in text
// into a line feed, so each one is written "#$D" (and a "#$" of the text
// "#$#"); escaped reports whether anything changed, which the element then
// says with its "sp" attribute. The reverse also reads "#$A" as a line feed.
std::string EscapeLineBreaks(const std::string& text, bool& escaped);
std::string UnescapeLineBreaks(const std::string& text);
