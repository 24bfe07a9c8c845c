// The tags that carry a bitmap or opaque data as a byte payload: DefineBits
// and its JPEG tables, DefineBitsJPEG2, DefineBitsJPEG3 (JPEG plus a zlib
// alpha plane), DefineBitsLossless and DefineBitsLossless2 (zlib pixel data
// behind a small header) and DefineBinaryData. Payloads are kept as they are
// on the stream and never decoded here: the movie builder produces them, the
// file reader hands them over.
//
// JPEG payloads are held without their framing markers: on the stream they
// begin either with FF D8 and end with FF D9, or begin with FF D9 FF D8 (an
// empty image in front of the real one, which old players expect). The
// writer puts the markers back, so a payload read from a file is written as
// it was. From SWF 8 on the image tags may hold PNG or GIF data instead; a
// payload framed neither way is held whole and written back untouched.
#pragma once

#include <cstdint>
#include <vector>

#include "swf/tag.h"

// The character identifier of a bitmap or data tag is the field CharId; the
// virtual CharacterId() of every tag answers it.
class TSWFImageTag : public TSWFDataObject {
public:
    uint16_t CharId = 0;

    int32_t CharacterId() const override { return CharId; }
    void CopyFieldsFrom(const TBasedSWFObject& source) override;
};

class TSWFDefineBits : public TSWFImageTag {
public:
    TSWFDefineBits() { TagCode = TagCodes::DefineBits; }

    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;
    void SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) override;

    // How the payload stands on the stream: the markers chosen by the
    // payload (as the movie builder writes), FF D9 FF D8 in front, FF D8 and
    // FF D9 around it, or no markers at all (PNG, GIF, any other data).
    enum class TMarkers : uint8_t { Chosen, Prefixed, Wrapped, None };
    TMarkers Markers = TMarkers::Chosen;

protected:
    // The JPEG part of partLength bytes (markers included) into the payload.
    void ReadJPEGPart(TBitsEngine& be, int64_t partLength);
    void WriteJPEGPart(TBitsEngine& be);
    // The "Markers" attribute of the XML form, and its reading: a payload
    // that is a PNG or GIF file stands without markers whatever it says.
    void SaveMarkersToXml(TXmlNode node) const;
    void LoadMarkersFromXml(const TXmlNode& node);
};

class TSWFJPEGTables : public TSWFDataObject {
public:
    TSWFJPEGTables() { TagCode = TagCodes::JPEGTables; }

    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;
    void SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) override;
};

class TSWFDefineBitsJPEG2 : public TSWFDefineBits {
public:
    TSWFDefineBitsJPEG2() { TagCode = TagCodes::DefineBitsJPEG2; }
    int RequiredVersion() const override { return 2; }
};

class TSWFDefineBitsJPEG3 : public TSWFDefineBitsJPEG2 {
public:
    TSWFDefineBitsJPEG3() { TagCode = TagCodes::DefineBitsJPEG3; }

    // Writes the alpha part instead of AlphaData, like OnWrite for the JPEG.
    TWriteHandler OnWriteAlpha;
    bool OwnsAlphaData = true;

    const uint8_t* AlphaData() const { return alphaOwned_.empty() ? alphaBorrowed_ : alphaOwned_.data(); }
    int32_t AlphaDataSize() const { return alphaSize_; }
    void SetAlphaData(std::vector<uint8_t> bytes);
    void SetBorrowedAlphaData(const uint8_t* data, int32_t size);

    int RequiredVersion() const override { return 3; }
    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;
    void SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) override;

private:
    std::vector<uint8_t> alphaOwned_;
    const uint8_t* alphaBorrowed_ = nullptr;
    int32_t alphaSize_ = 0;
};

// BitmapFormat values.
enum : uint8_t {
    kBitmapColorMapped8 = 3,
    kBitmapRGB15 = 4,
    kBitmapRGB24 = 5,  // 32-bit ARGB in DefineBitsLossless2
};

class TSWFDefineBitsLossless : public TSWFImageTag {
public:
    TSWFDefineBitsLossless() { TagCode = TagCodes::DefineBitsLossless; }

    uint8_t BitmapFormat = 0;
    uint16_t BitmapWidth = 0;
    uint16_t BitmapHeight = 0;
    uint8_t BitmapColorTableSize = 0;  // entries - 1; format 3 only

    int RequiredVersion() const override { return 2; }
    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;
    void SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) override;

protected:
    virtual std::string FormatName() const;
};

class TSWFDefineBitsLossless2 : public TSWFDefineBitsLossless {
public:
    TSWFDefineBitsLossless2() { TagCode = TagCodes::DefineBitsLossless2; }
    int RequiredVersion() const override { return 3; }

protected:
    std::string FormatName() const override;
};

class TSWFDefineBinaryData : public TSWFDataObject {
public:
    TSWFDefineBinaryData() { TagCode = TagCodes::DefineBinaryData; }

    uint16_t CharId = 0;

    int32_t CharacterId() const override { return CharId; }
    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;
    void SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) override;
};

// The BitmapFormat text of the XML form, read the same way by both lossless
// classes: "32bit" gives 5, "8bit", "15bit", "24bit" give 3, 4, 5, any other
// text 2.
uint8_t BitmapFormatFromName(const std::string& name);
