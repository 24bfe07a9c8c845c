#include "swf/bitmap_tags.h"

#include <algorithm>
#include <cstring>

#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/stream.h"
#include "swf/names.h"
#include "swf/xml_form.h"

namespace {

// The FF D9 FF D8 prefix read as a little-endian word.
constexpr uint16_t kLeadingEOIWord = 0xD9FF;

bool BeginsWithSOI(const uint8_t* data, int32_t size) {
    return size >= 2 && data[0] == 0xFF && data[1] == 0xD8;
}

bool IsPNGOrGIF(const uint8_t* data, int32_t size) {
    static const uint8_t png[4] = {0x89, 'P', 'N', 'G'};
    return size >= 4 && (std::memcmp(data, png, 4) == 0 || std::memcmp(data, "GIF8", 4) == 0);
}

// ---- payloads in the XML form: an external data file or hexadecimal text

bool SavesToFile(const TXMLReadWriteSettings& settings, uint8_t kind) {
    uint8_t bit = kind == kDataKindNotIdent ? kXmlExternalRawTags : kXmlExternalImages;
    return (settings.Options & bit) != 0;
}

// Saves the bytes either as the "File" attribute of node or as the text of
// textNode (node itself or a child).
void SavePayload(TXmlNode node, TXMLReadWriteSettings& settings, uint8_t kind, const uint8_t* data, size_t size,
                 const char* childName) {
    if (SavesToFile(settings, kind) && size > 0) {
        node.SetAttr("File", settings.SaveDataFile(kind, data, size));
        return;
    }
    TXmlNode target = childName ? node.AddChild(childName) : node;
    target.SetText(BinToHexStr(data, size));
}

// The bytes of "File" (empty when the file is missing) or of the hex text;
// false when the element carries neither.
bool LoadPayload(const TXmlNode& node, TXMLReadWriteSettings& settings, uint8_t kind, const char* childName,
                 std::vector<uint8_t>& bytes) {
    bytes.clear();
    if (node.HasAttribute("File")) {
        if (auto loaded = settings.LoadDataFile(kind, node.AttrStr("File"))) bytes = std::move(*loaded);
        return true;
    }
    TXmlNode source = childName ? node.ChildNode(childName) : node;
    if (source.IsNull()) return false;
    std::string text = source.Text();
    if (text.empty()) return false;
    bytes = HexStrToBin(text);
    return true;
}

}  // namespace

uint8_t BitmapFormatFromName(const std::string& name) {
    if (AnsiSameText(name, "32bit")) return 5;
    static const std::vector<std::string> names = {"8bit", "15bit", "24bit"};
    int index = IndexOfText(name, names);
    return static_cast<uint8_t>(index < 0 ? 2 : index + 3);
}

// ---------------------------------------------------------------- image tag base

void TSWFImageTag::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto& other = SourceAs<TSWFImageTag>(source, *this);
    TSWFDataObject::CopyFieldsFrom(source);
    CharId = other.CharId;
}

// ---------------------------------------------------------------- DefineBits, DefineBitsJPEG2

void TSWFDefineBits::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto& other = SourceAs<TSWFDefineBits>(source, *this);
    TSWFImageTag::CopyFieldsFrom(source);
    Markers = other.Markers;
}

void TSWFDefineBits::ReadJPEGPart(TBitsEngine& be, int64_t partLength) {
    if (partLength < 0)
        throw EReadError(FormatStr("The JPEG data of tag %d is shorter than its markers", TagCode));
    // Looked at before reading: only a part framed one of the two JPEG ways
    // loses its markers, any other part is kept whole.
    uint8_t head[4] = {0, 0, 0, 0}, tail[2] = {0, 0};
    const int64_t start = be.Stream.GetPosition();
    if (partLength >= 4) {
        be.ReadBytes(head, 4);
        be.Stream.SetPosition(start + partLength - 2);
        be.ReadBytes(tail, 2);
        be.Stream.SetPosition(start);
    }
    const int32_t inner = static_cast<int32_t>(std::max<int64_t>(partLength - 4, 0));
    if (partLength >= 4 && head[0] == 0xFF && head[1] == 0xD9 && head[2] == 0xFF && head[3] == 0xD8) {
        Markers = TMarkers::Prefixed;
        be.Stream.SetPosition(start + 4);
        ReadPayload(be, inner);
    } else if (partLength >= 4 && head[0] == 0xFF && head[1] == 0xD8 && tail[0] == 0xFF && tail[1] == 0xD9) {
        Markers = TMarkers::Wrapped;
        be.Stream.SetPosition(start + 2);
        ReadPayload(be, inner);
        be.Stream.SetPosition(start + partLength);
    } else {
        Markers = TMarkers::None;
        ReadPayload(be, static_cast<int32_t>(partLength));
    }
}

void TSWFDefineBits::WriteJPEGPart(TBitsEngine& be) {
    if (OnWrite) {
        OnWrite(*this, be);
        return;
    }
    TMarkers markers = Markers;
    if (markers == TMarkers::Chosen) markers = BeginsWithSOI(Data(), DataSize()) ? TMarkers::Prefixed : TMarkers::Wrapped;
    if (markers == TMarkers::Prefixed) {
        static const uint8_t prefix[] = {0xFF, 0xD9, 0xFF, 0xD8};
        be.WriteBuffer(prefix, 4);
        if (DataSize() > 0) be.WriteBuffer(Data(), DataSize());
    } else if (markers == TMarkers::Wrapped) {
        be.WriteWord(0xD8FF);
        if (DataSize() > 0) be.WriteBuffer(Data(), DataSize());
        be.WriteWord(0xD9FF);
    } else if (DataSize() > 0) {
        be.WriteBuffer(Data(), DataSize());
    }
}

void TSWFDefineBits::SaveMarkersToXml(TXmlNode node) const {
    static const char* const names[] = {"", "Prefixed", "Wrapped", "None"};
    if (Markers != TMarkers::Chosen) node.SetAttr("Markers", names[static_cast<int>(Markers)]);
}

void TSWFDefineBits::LoadMarkersFromXml(const TXmlNode& node) {
    std::string name = node.AttrStrDef("Markers", "");
    Markers = AnsiSameText(name, "Prefixed") ? TMarkers::Prefixed
            : AnsiSameText(name, "Wrapped")  ? TMarkers::Wrapped
            : AnsiSameText(name, "None")     ? TMarkers::None
                                             : TMarkers::Chosen;
    if (IsPNGOrGIF(Data(), DataSize())) Markers = TMarkers::None;
}

void TSWFDefineBits::ReadBody(TBitsEngine& be) {
    CharId = be.ReadWord();
    ReadJPEGPart(be, int64_t{BodySize} - 2);
}

void TSWFDefineBits::WriteBody(TBitsEngine& be) {
    be.WriteWord(CharId);
    WriteJPEGPart(be);
}

void TSWFDefineBits::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) {
    CharId = static_cast<uint16_t>(node.AttrInt("ID"));
    std::vector<uint8_t> bytes;
    if (LoadPayload(node, settings, kDataKindImage, nullptr, bytes)) SetData(std::move(bytes));
    LoadMarkersFromXml(node);
}

void TSWFDefineBits::SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) {
    node.SetAttr("ID", static_cast<int>(CharId));
    SaveMarkersToXml(node);
    if (DataSize() > 0) SavePayload(node, settings, kDataKindImage, Data(), static_cast<size_t>(DataSize()), nullptr);
}

// ---------------------------------------------------------------- JPEGTables

void TSWFJPEGTables::ReadBody(TBitsEngine& be) {
    // The writer leaves the body empty for empty tables; read that back as such.
    if (BodySize == 0) {
        ClearData();
        return;
    }
    if (BodySize < 4) throw EReadError("The JPEG tables are shorter than their markers");
    uint16_t first = be.ReadWord();
    if (first == kLeadingEOIWord) {
        be.ReadWord();
        ReadPayload(be, BodySize - 4);
    } else {
        ReadPayload(be, BodySize - 4);
        be.ReadWord();
    }
}

void TSWFJPEGTables::WriteBody(TBitsEngine& be) {
    if (OnWrite) {
        OnWrite(*this, be);
        return;
    }
    if (DataSize() == 0) return;
    if (BeginsWithSOI(Data(), DataSize())) {
        static const uint8_t prefix[] = {0xFF, 0xD9, 0xFF, 0xD8};
        be.WriteBuffer(prefix, 4);
        be.WriteBuffer(Data(), DataSize());
    } else {
        be.WriteWord(0xD8FF);
        be.WriteBuffer(Data(), DataSize());
        be.WriteWord(0xD9FF);
    }
}

void TSWFJPEGTables::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) {
    std::vector<uint8_t> bytes;
    if (LoadPayload(node, settings, kDataKindImage, nullptr, bytes)) SetData(std::move(bytes));
}

void TSWFJPEGTables::SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) {
    if (DataSize() > 0) SavePayload(node, settings, kDataKindImage, Data(), static_cast<size_t>(DataSize()), nullptr);
}

// ---------------------------------------------------------------- DefineBitsJPEG3

void TSWFDefineBitsJPEG3::SetAlphaData(std::vector<uint8_t> bytes) {
    alphaOwned_ = std::move(bytes);
    alphaBorrowed_ = nullptr;
    alphaSize_ = static_cast<int32_t>(alphaOwned_.size());
    OwnsAlphaData = true;
}

void TSWFDefineBitsJPEG3::SetBorrowedAlphaData(const uint8_t* data, int32_t size) {
    alphaOwned_.clear();
    alphaBorrowed_ = data;
    alphaSize_ = size;
    OwnsAlphaData = false;
}

void TSWFDefineBitsJPEG3::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto& other = SourceAs<TSWFDefineBitsJPEG3>(source, *this);
    TSWFDefineBits::CopyFieldsFrom(source);
    if (other.OnWriteAlpha) {
        OnWriteAlpha = other.OnWriteAlpha;
    } else {
        const uint8_t* alpha = other.AlphaData();
        SetAlphaData(std::vector<uint8_t>(alpha, alpha + other.AlphaDataSize()));
        OwnsAlphaData = other.OwnsAlphaData;
    }
}

void TSWFDefineBitsJPEG3::ReadBody(TBitsEngine& be) {
    OwnsData = true;
    OwnsAlphaData = true;
    CharId = be.ReadWord();
    uint32_t alphaDataOffset = be.ReadDWord();
    int64_t alphaSize = int64_t{BodySize} - 6 - alphaDataOffset;
    if (alphaSize < 0 || alphaSize > be.Stream.Remaining())
        throw EReadError(FormatStr("The alpha data offset %u of a DefineBitsJPEG3 lies past the body", alphaDataOffset));
    ReadJPEGPart(be, alphaDataOffset);
    std::vector<uint8_t> alpha(static_cast<size_t>(alphaSize));
    be.ReadBytes(alpha.data(), alphaSize);
    SetAlphaData(std::move(alpha));
}

void TSWFDefineBitsJPEG3::WriteBody(TBitsEngine& be) {
    be.WriteWord(CharId);
    int64_t offsetAt = be.Stream.GetPosition();
    be.WriteDWord(0);
    WriteJPEGPart(be);
    be.FlushLastByte(true);
    int64_t end = be.Stream.GetPosition();
    be.Stream.SetPosition(offsetAt);
    be.WriteDWord(static_cast<uint32_t>(end - offsetAt - 4));
    be.Stream.SetPosition(end);
    if (OnWriteAlpha)
        OnWriteAlpha(*this, be);
    else if (AlphaDataSize() > 0)
        be.WriteBuffer(AlphaData(), AlphaDataSize());
}

void TSWFDefineBitsJPEG3::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) {
    CharId = static_cast<uint16_t>(node.AttrInt("ID"));
    if (node.HasAttribute("File")) {
        std::string fileName = settings.GetFullFileName(kDataKindImage, node.AttrStr("File"));
        auto loaded = settings.LoadDataFile(kDataKindImage, node.AttrStr("File"));
        if (!loaded) return;
        std::vector<uint8_t> bytes = std::move(*loaded);
        int64_t alphaSize = node.AttrInt("Alpha");
        if (alphaSize < 0 || alphaSize > static_cast<int64_t>(bytes.size()))
            throw EConvertError(FormatStr("The alpha length %lld does not fit the file \"%s\"",
                                          static_cast<long long>(alphaSize), fileName.c_str()));
        size_t jpegSize = bytes.size() - static_cast<size_t>(alphaSize);
        SetAlphaData(std::vector<uint8_t>(bytes.begin() + static_cast<std::ptrdiff_t>(jpegSize), bytes.end()));
        bytes.resize(jpegSize);
        SetData(std::move(bytes));
    } else {
        TXmlNode data = node.ChildNode("Data");
        if (!data.IsNull()) SetData(HexStrToBin(data.Text()));
        TXmlNode alpha = node.ChildNode("AlphaData");
        if (!alpha.IsNull()) SetAlphaData(HexStrToBin(alpha.Text()));
    }
    LoadMarkersFromXml(node);
}

void TSWFDefineBitsJPEG3::SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) {
    node.SetAttr("ID", static_cast<int>(CharId));
    SaveMarkersToXml(node);
    // A PNG or GIF payload has no alpha plane: the image alone is saved.
    if (DataSize() == 0) return;
    if (SavesToFile(settings, kDataKindImage)) {
        std::vector<uint8_t> both(Data(), Data() + DataSize());
        both.insert(both.end(), AlphaData(), AlphaData() + AlphaDataSize());
        node.SetAttr("File", settings.SaveDataFile(kDataKindImage, both.data(), both.size()));
        node.SetAttr("Alpha", static_cast<int>(AlphaDataSize()));
        return;
    }
    node.AddChild("Data").SetText(BinToHexStr(Data(), static_cast<size_t>(DataSize())));
    if (AlphaDataSize() > 0)
        node.AddChild("AlphaData").SetText(BinToHexStr(AlphaData(), static_cast<size_t>(AlphaDataSize())));
}

// ---------------------------------------------------------------- DefineBitsLossless(2)

void TSWFDefineBitsLossless::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto& other = SourceAs<TSWFDefineBitsLossless>(source, *this);
    TSWFImageTag::CopyFieldsFrom(source);
    BitmapFormat = other.BitmapFormat;
    BitmapWidth = other.BitmapWidth;
    BitmapHeight = other.BitmapHeight;
    BitmapColorTableSize = other.BitmapColorTableSize;
}

void TSWFDefineBitsLossless::ReadBody(TBitsEngine& be) {
    CharId = be.ReadWord();
    BitmapFormat = be.ReadByte();
    BitmapWidth = be.ReadWord();
    BitmapHeight = be.ReadWord();
    int32_t header = 7;
    if (BitmapFormat == kBitmapColorMapped8) {
        BitmapColorTableSize = be.ReadByte();
        header = 8;
    }
    ReadPayload(be, BodySize - header);
}

void TSWFDefineBitsLossless::WriteBody(TBitsEngine& be) {
    be.WriteWord(CharId);
    be.WriteByte(BitmapFormat);
    be.WriteWord(BitmapWidth);
    be.WriteWord(BitmapHeight);
    if (BitmapFormat == kBitmapColorMapped8) be.WriteByte(BitmapColorTableSize);
    WritePayload(be);
}

std::string TSWFDefineBitsLossless::FormatName() const {
    switch (BitmapFormat) {
        case 3: return "8bit";
        case 4: return "15bit";
        case 5: return "24bit";
        default: return "";
    }
}

std::string TSWFDefineBitsLossless2::FormatName() const {
    // DefineBitsLossless2 has no 15-bit form: format 4 is saved empty and
    // so loads back as 2.
    switch (BitmapFormat) {
        case 3: return "8bit";
        case 5: return "32bit";
        default: return "";
    }
}

void TSWFDefineBitsLossless::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) {
    CharId = static_cast<uint16_t>(node.AttrInt("ID"));
    BitmapWidth = static_cast<uint16_t>(node.AttrInt("Width"));
    BitmapHeight = static_cast<uint16_t>(node.AttrInt("Height"));
    BitmapFormat = BitmapFormatFromName(node.AttrStr("BitmapFormat"));
    if (BitmapFormat == kBitmapColorMapped8 && node.HasAttribute("BitmapColorTableSize"))
        BitmapColorTableSize = static_cast<uint8_t>(node.AttrInt("BitmapColorTableSize"));
    std::vector<uint8_t> bytes;
    if (LoadPayload(node, settings, kDataKindImage, "Data", bytes)) SetData(std::move(bytes));
}

void TSWFDefineBitsLossless::SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) {
    node.SetAttr("ID", static_cast<int>(CharId));
    node.SetAttr("Width", static_cast<int>(BitmapWidth));
    node.SetAttr("Height", static_cast<int>(BitmapHeight));
    node.SetAttr("BitmapFormat", FormatName());
    if (BitmapFormat == kBitmapColorMapped8) node.SetAttr("BitmapColorTableSize", static_cast<int>(BitmapColorTableSize));
    if (DataSize() > 0) SavePayload(node, settings, kDataKindImage, Data(), static_cast<size_t>(DataSize()), "Data");
}

// ---------------------------------------------------------------- DefineBinaryData

void TSWFDefineBinaryData::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto& other = SourceAs<TSWFDefineBinaryData>(source, *this);
    TSWFDataObject::CopyFieldsFrom(source);
    CharId = other.CharId;
}

void TSWFDefineBinaryData::ReadBody(TBitsEngine& be) {
    CharId = be.ReadWord();
    be.ReadDWord();  // reserved
    ReadPayload(be, BodySize - 6);
}

void TSWFDefineBinaryData::WriteBody(TBitsEngine& be) {
    be.WriteWord(CharId);
    be.WriteDWord(0);
    WritePayload(be);
}

void TSWFDefineBinaryData::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) {
    CharId = static_cast<uint16_t>(node.AttrInt("ID"));
    std::vector<uint8_t> bytes;
    if (LoadPayload(node, settings, kDataKindNotIdent, nullptr, bytes)) SetData(std::move(bytes));
}

void TSWFDefineBinaryData::SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) {
    node.SetAttr("ID", static_cast<int>(CharId));
    // Unlike the pictures, empty data still gets its (empty) text.
    if (SavesToFile(settings, kDataKindNotIdent) && DataSize() > 0)
        node.SetAttr("File", settings.SaveDataFile(kDataKindNotIdent, Data(), static_cast<size_t>(DataSize())));
    else
        node.SetText(BinToHexStr(Data(), static_cast<size_t>(DataSize())));
}
