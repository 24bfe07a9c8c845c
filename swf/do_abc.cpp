#include "swf/do_abc.h"

#include <algorithm>
#include <vector>

#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/split_text.h"
#include "swf/xml_form.h"

namespace {

constexpr uint16_t kDefaultMajor = 46;
constexpr uint16_t kDefaultMinor = 16;

std::string WithoutSpaces(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n') out += c;
    return out;
}

}  // namespace

std::string TSWFDoABC::GetVersionText() const {
    return FormatStr("%d.%d.%d.0", MajorVersion & 0xFF, MinorVersion >> 8, MinorVersion & 0xFF);
}

void TSWFDoABC::SetVersionText(const std::string& text) {
    std::vector<std::string> parts = SplitText(text, '.');
    try {
        if (parts.size() < 3) throw EConvertError("too few numbers");
        uint16_t a = static_cast<uint16_t>(StrToInt64(parts[0]) & 0xFF);
        uint16_t b = static_cast<uint16_t>(StrToInt64(parts[1]) & 0xFF);
        uint16_t c = static_cast<uint16_t>(StrToInt64(parts[2]) & 0xFF);
        MajorVersion = a;
        MinorVersion = static_cast<uint16_t>(b << 8 | c);
    } catch (const EConvertError&) {
        MajorVersion = kDefaultMajor;
        MinorVersion = kDefaultMinor;
    }
}

std::vector<uint8_t> TSWFDoABC::GetAbcData() const { return HasRawData ? RawData : AbcBytes(); }

void TSWFDoABC::SetRawData(std::vector<uint8_t> bytes) {
    ClearAbc();
    RawData = std::move(bytes);
    HasRawData = true;
}

void TSWFDoABC::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto& other = SourceAs<TSWFDoABC>(source, *this);
    TSWFObject::CopyFieldsFrom(source);
    LazyInitialize = other.LazyInitialize;
    OtherFlags = other.OtherFlags;
    Name = other.Name;
    MinorVersion = other.MinorVersion;
    MajorVersion = other.MajorVersion;
    ParseActions = other.ParseActions;
    HasRawData = other.HasRawData;
    RawData = other.RawData;
    RawReason = other.RawReason;
    static_cast<TSWFAS3Block&>(*this) = other;
}

void TSWFDoABC::ReadBody(TBitsEngine& be) {
    const int64_t start = be.Stream.GetPosition();
    uint32_t flags = be.ReadDWord();
    LazyInitialize = flags & 1;
    OtherFlags = flags & ~1u;
    Name = be.ReadString();
    MinorVersion = be.ReadWord();
    MajorVersion = be.ReadWord();
    int64_t left = std::min<int64_t>(int64_t(BodySize) - (be.Stream.GetPosition() - start), be.Stream.Remaining());
    std::vector<uint8_t> bytes(static_cast<size_t>(std::max<int64_t>(left, 0)));
    if (!bytes.empty()) be.ReadBytes(bytes.data(), static_cast<int64_t>(bytes.size()));
    RawReason.clear();
    if (ParseActions) {
        if (ReadAbcExactly(bytes.data(), bytes.size(), *this, &RawReason)) {
            HasRawData = false;
            RawData.clear();
            return;
        }
    }
    SetRawData(std::move(bytes));
}

void TSWFDoABC::WriteBody(TBitsEngine& be) {
    // The name ends at its first NUL on reading.
    if (Name.find('\0') != std::string::npos) throw EWriteError("The name of a DoABC tag cannot hold a NUL byte");
    be.WriteDWord((LazyInitialize ? 1u : 0u) | (OtherFlags & ~1u));
    be.WriteString(Name, true);
    be.WriteWord(MinorVersion);
    be.WriteWord(MajorVersion);
    if (HasRawData) be.WriteBuffer(RawData.data(), static_cast<int64_t>(RawData.size()));
    else WriteAbc(be);
}

void TSWFDoABC::SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) {
    // The name's bytes as they stand (UTF-8 in the movies that carry ABC).
    node.Raw().append_attribute("Name").set_value(AbcStringToXmlText(Name).c_str());
    node.SetAttrBool("LazyInitializeFlag", LazyInitialize);
    node.SetAttr("Version", GetVersionText());
    // What the version text cannot say.
    if (OtherFlags & ~1u) node.SetAttr("Flags", static_cast<int64_t>(OtherFlags & ~1u));
    if (MajorVersion > 0xFF) node.SetAttr("MajorVersion", static_cast<int>(MajorVersion));

    const bool external = (settings.Options & kXmlExternalActions) != 0;
    const bool asXml = settings.ActionFormat == 0;
    // The form follows the settings, except that a block the model cannot
    // hold exactly is always saved as its bytes.
    const TSWFAS3Block* model = nullptr;
    TSWFAS3Block parsed;
    std::vector<uint8_t> bytes;
    if (HasRawData) {
        bool exact = false;
        if (asXml && !RawData.empty()) {
            try {
                exact = ReadAbcExactly(RawData.data(), RawData.size(), parsed);
            } catch (const EReadError&) {
                exact = false;
            }
        }
        if (exact) model = &parsed;
        else bytes = RawData;
    } else if (asXml) {
        model = this;
    } else {
        bytes = AbcBytes();
    }

    if (model) {
        model->SaveAbcToXml(node);
        if (!external) return;
        std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n" + node.XmlText();
        std::string file = settings.SaveDataFile(kDataKindActions, text.data(), text.size());
        node.Raw().remove_children();
        node.SetAttr("File", file);
        node.SetAttr("FileType", "AC");
        return;
    }
    if (external) {
        node.SetAttr("File", settings.SaveDataFile(kDataKindActions, bytes.data(), bytes.size()));
        node.SetAttr("FileType", "bytecode");
    } else if (bytes.empty()) {
        node.SetAttrBool("Empty", true);
    } else {
        SetAbcElementText(node, BinToHexStr(bytes.data(), bytes.size()));
    }
}

void TSWFDoABC::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) {
    Name = AbcStringFromXmlText(node.Raw().attribute("Name").value());
    LazyInitialize = node.AttrBool("LazyInitializeFlag");
    SetVersionText(node.AttrStrDef("Version", ""));
    OtherFlags = static_cast<uint32_t>(node.AttrIntDef("Flags", 0)) & ~1u;
    if (node.HasAttribute("MajorVersion")) MajorVersion = static_cast<uint16_t>(node.AttrInt("MajorVersion"));
    ClearAbc();
    HasRawData = false;
    RawData.clear();
    RawReason.clear();
    if (OnLoadActions) {
        OnLoadActions(*this, node);
        return;
    }

    TXmlNode source = node;
    TXmlDocument external;
    if (node.HasAttribute("File")) {
        // A missing file fails the element: loading on would leave an
        // empty block in place of the code.
        const std::string fileName = settings.GetFullFileName(kDataKindActions, node.AttrStr("File"));
        if (!FileExists(fileName))
            throw EFOpenError(FormatStr("The ABC data file \"%s\" does not exist", fileName.c_str()));
        std::vector<uint8_t> bytes = ReadFileBytes(fileName);
        if (AnsiSameText(node.AttrStrDef("FileType", ""), "bytecode")) {
            SetRawData(std::move(bytes));
            return;
        }
        external.LoadFromString(std::string(bytes.begin(), bytes.end()));
        source = external.Root().ChildNode("DoABC");
        if (source.IsNull()) return;
    } else if (node.AttrBoolDef("Empty", false)) {
        SetRawData({});
        return;
    } else {
        std::vector<TXmlNode> children = node.ChildNodes();
        if (children.size() == 1) {
            TXmlNodeType type = children[0].NodeType();
            if (type != TXmlNodeType::Text && type != TXmlNodeType::CData)
                throw EConvertError("A DoABC element with one child must hold its ABC data as hexadecimal text");
            SetRawData(HexStrToBin(WithoutSpaces(children[0].TextUtf8())));
            return;
        }
    }
    LoadAbcFromXml(source);
}
