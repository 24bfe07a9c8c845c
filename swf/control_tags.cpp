#include "swf/control_tags.h"

#include <bit>
#include <cstring>

#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/errors.h"
#include "platform/md5.h"
#include "platform/random.h"
#include "swf/xml_form.h"

namespace {

// Strict whole-text conversions for the dotted and hexadecimal forms of
// ProductInfo: nothing but digits, at least one of them.
bool ParseDecimal(const std::string& text, uint32_t& value) {
    if (text.empty() || text.size() > 9) return false;
    uint32_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<uint32_t>(c - '0');
    }
    value = v;
    return true;
}

bool ParseHex32(const std::string& text, uint32_t& value) {
    if (text.empty() || text.size() > 8) return false;
    uint32_t v = 0;
    for (char c : text) {
        int d;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else return false;
        v = v << 4 | static_cast<uint32_t>(d);
    }
    value = v;
    return true;
}

uint64_t LoadLE64(const uint8_t bytes[8]) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = v << 8 | bytes[i];
    return v;
}

void StoreLE64(uint8_t bytes[8], uint64_t v) {
    for (int i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

// ---------------------------------------------------------------- background colour

void TSWFSetBackgroundColor::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto& other = SourceAs<TSWFSetBackgroundColor>(source, *this);
    TSWFObject::CopyFieldsFrom(source);
    Color.CopyFrom(other.Color);
}

void TSWFSetBackgroundColor::ReadBody(TBitsEngine& be) { Color.SetRGB(be.ReadRGB()); }

void TSWFSetBackgroundColor::WriteBody(TBitsEngine& be) { be.WriteRGB(Color.GetRGB()); }

void TSWFSetBackgroundColor::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) {
    Color.SetRGB(ReadRGBAttr(node, "Color"));
}

void TSWFSetBackgroundColor::SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) {
    SetRGBAttr(node, 2, "Color", Color.GetRGB());
}

// ---------------------------------------------------------------- frame label

std::unique_ptr<TSWFFrameLabel> TSWFFrameLabel::CreateWithName(const std::string& name) {
    auto label = std::make_unique<TSWFFrameLabel>();
    label->Name = name;
    return label;
}

void TSWFFrameLabel::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto& other = SourceAs<TSWFFrameLabel>(source, *this);
    TSWFObject::CopyFieldsFrom(source);
    Name = other.Name;
    IsAnchor = other.IsAnchor;
}

void TSWFFrameLabel::ReadBody(TBitsEngine& be) {
    Name = be.ReadString();
    IsAnchor = false;
    // The anchor flag is an optional trailing byte; anything else after the
    // name is not ours to interpret.
    int64_t rest = static_cast<int64_t>(BodySize) - static_cast<int64_t>(Name.size()) - 1;
    if (rest == 1) IsAnchor = be.ReadByte() != 0;
}

void TSWFFrameLabel::WriteBody(TBitsEngine& be) {
    be.WriteString(Name);
    if (IsAnchor) be.WriteByte(1);
}

void TSWFFrameLabel::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) {
    Name = node.AttrStr("Name");
    IsAnchor = node.AttrBoolDef("isAnchor", false);
}

void TSWFFrameLabel::SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) {
    node.SetAttr("Name", Name);
    node.SetAttrBool("isAnchor", IsAnchor);
}

// ---------------------------------------------------------------- protect and debugger

int TSWFProtect::RequiredVersion() const { return Password.empty() && Hash.empty() ? 2 : 5; }

void TSWFProtect::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto& other = SourceAs<TSWFProtect>(source, *this);
    TSWFObject::CopyFieldsFrom(source);
    Password = other.Password;
    Hash = other.Hash;
    Reserved = other.Reserved;
}

void TSWFProtect::ReadBody(TBitsEngine& be) {
    if (BodySize == 0) return;
    if (BodySize < 2)
        throw EReadError(FormatStr("A password tag body of %d byte(s) is too short for its reserved word", BodySize));
    Reserved = be.ReadWord();
    Hash = be.ReadFixedString((BodySize - 2) & 0xFF);
}

void TSWFProtect::WriteBody(TBitsEngine& be) {
    if (Password.empty() && Hash.empty()) return;
    be.WriteWord(Reserved);
    // A fresh salt on every write: the password never leaves the object.
    if (!Password.empty()) Hash = MD5Crypt(Password, "", DefaultRandom());
    be.WriteString(Hash);
}

void TSWFProtect::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) {
    if (node.HasAttribute("Hash"))
        Hash = UnescapeStr(node.AttrStr("Hash"));
    else if (node.HasAttribute("Password"))
        Password = node.AttrStr("Password");
    Reserved = static_cast<uint16_t>(node.AttrIntDef("Reserved", 0));
}

void TSWFProtect::SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) {
    if (!Password.empty()) Hash = MD5Crypt(Password, "", DefaultRandom());
    if (!Hash.empty()) node.SetAttr("Hash", EscapeStr(Hash));
    if (Reserved != 0) node.SetAttr("Reserved", static_cast<int>(Reserved));
}

// ---------------------------------------------------------------- asset lists

void TSWFExportAssets::AddAsset(const std::string& name, uint16_t id) {
    for (TSWFAssetEntry& entry : Assets) {
        if (AnsiSameText(entry.Name, name)) {
            entry.Id = id;
            return;
        }
    }
    Assets.push_back(TSWFAssetEntry{name, id});
}

void TSWFExportAssets::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto& other = SourceAs<TSWFExportAssets>(source, *this);
    TSWFObject::CopyFieldsFrom(source);
    // Appends: a copy onto a list that already has entries merges the two.
    // Copying out of the source first keeps a self-copy well defined.
    std::vector<TSWFAssetEntry> added = other.Assets;
    Assets.insert(Assets.end(), added.begin(), added.end());
}

void TSWFExportAssets::ReadAssets(TBitsEngine& be) {
    uint16_t count = be.ReadWord();
    // No reserve(count): a damaged count must fail on the reads, not allocate.
    for (uint16_t i = 0; i < count; ++i) {
        TSWFAssetEntry entry;
        entry.Id = be.ReadWord();
        entry.Name = be.ReadString();
        Assets.push_back(std::move(entry));
    }
}

void TSWFExportAssets::WriteAssets(TBitsEngine& be) {
    if (Assets.size() > 0xFFFF) throw EWriteError(FormatStr("Too many assets in one tag: %zu", Assets.size()));
    be.WriteWord(static_cast<uint16_t>(Assets.size()));
    for (const TSWFAssetEntry& entry : Assets) {
        be.WriteWord(entry.Id);
        be.WriteString(entry.Name);
    }
}

void TSWFExportAssets::ReadBody(TBitsEngine& be) { ReadAssets(be); }

void TSWFExportAssets::WriteBody(TBitsEngine& be) { WriteAssets(be); }

void TSWFExportAssets::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) {
    for (const TXmlNode& child : node.ChildElements())
        AddAsset(child.AttrStr("Name"), static_cast<uint16_t>(child.AttrInt("ID")));
}

void TSWFExportAssets::SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) {
    for (const TSWFAssetEntry& entry : Assets) {
        TXmlNode child = node.AddChild("Object");
        child.SetAttr("ID", static_cast<int>(entry.Id));
        child.SetAttr("Name", entry.Name);
    }
}

void TSWFImportAssets::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto& other = SourceAs<TSWFImportAssets>(source, *this);
    TSWFExportAssets::CopyFieldsFrom(source);
    URL = other.URL;
}

void TSWFImportAssets::ReadBody(TBitsEngine& be) {
    URL = be.ReadString();
    ReadAssets(be);
}

void TSWFImportAssets::WriteBody(TBitsEngine& be) {
    be.WriteString(URL);
    WriteAssets(be);
}

void TSWFImportAssets::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) {
    URL = node.AttrStr("URL");
    TSWFExportAssets::LoadFromXml(node, settings);
}

void TSWFImportAssets::SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) {
    node.SetAttr("URL", URL);
    TSWFExportAssets::SaveToXml(node, settings);
}

void TSWFImportAssets2::ReadBody(TBitsEngine& be) {
    URL = be.ReadString();
    be.ReadByte();  // reserved: 1
    be.ReadByte();  // reserved: 0
    ReadAssets(be);
}

void TSWFImportAssets2::WriteBody(TBitsEngine& be) {
    be.WriteString(URL);
    be.WriteByte(1);
    be.WriteByte(0);
    WriteAssets(be);
}

// ---------------------------------------------------------------- script limits and tab order

void TSWFScriptLimits::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto& other = SourceAs<TSWFScriptLimits>(source, *this);
    TSWFObject::CopyFieldsFrom(source);
    MaxRecursionDepth = other.MaxRecursionDepth;
    ScriptTimeoutSeconds = other.ScriptTimeoutSeconds;
}

void TSWFScriptLimits::ReadBody(TBitsEngine& be) {
    MaxRecursionDepth = be.ReadWord();
    ScriptTimeoutSeconds = be.ReadWord();
}

void TSWFScriptLimits::WriteBody(TBitsEngine& be) {
    be.WriteWord(MaxRecursionDepth);
    be.WriteWord(ScriptTimeoutSeconds);
}

void TSWFScriptLimits::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) {
    MaxRecursionDepth = static_cast<uint16_t>(node.AttrInt("MaxRecursionDepth"));
    ScriptTimeoutSeconds = static_cast<uint16_t>(node.AttrInt("ScriptTimeoutSeconds"));
}

void TSWFScriptLimits::SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) {
    node.SetAttr("MaxRecursionDepth", static_cast<int>(MaxRecursionDepth));
    node.SetAttr("ScriptTimeoutSeconds", static_cast<int>(ScriptTimeoutSeconds));
}

void TSWFSetTabIndex::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto& other = SourceAs<TSWFSetTabIndex>(source, *this);
    TSWFObject::CopyFieldsFrom(source);
    Depth = other.Depth;
    TabIndex = other.TabIndex;
}

void TSWFSetTabIndex::ReadBody(TBitsEngine& be) {
    Depth = be.ReadWord();
    TabIndex = be.ReadWord();
}

void TSWFSetTabIndex::WriteBody(TBitsEngine& be) {
    be.WriteWord(Depth);
    be.WriteWord(TabIndex);
}

void TSWFSetTabIndex::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) {
    Depth = static_cast<uint16_t>(node.AttrInt("Depth"));
    TabIndex = static_cast<uint16_t>(node.AttrInt("TabIndex"));
}

void TSWFSetTabIndex::SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) {
    node.SetAttr("Depth", static_cast<int>(Depth));
    node.SetAttr("TabIndex", static_cast<int>(TabIndex));
}

// ---------------------------------------------------------------- file attributes

namespace {
constexpr uint8_t kNamedFileFlags = 0x10 | 0x01;  // HasMetadata, UseNetwork
}

void TSWFFileAttributes::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto& other = SourceAs<TSWFFileAttributes>(source, *this);
    TSWFObject::CopyFieldsFrom(source);
    Flags = other.Flags;
}

void TSWFFileAttributes::ReadBody(TBitsEngine& be) {
    Flags = be.ReadByte();
    for (int i = 0; i < 3; ++i) be.ReadByte();
}

void TSWFFileAttributes::WriteBody(TBitsEngine& be) {
    be.WriteByte(Flags);
    for (int i = 0; i < 3; ++i) be.WriteByte(0);
}

void TSWFFileAttributes::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) {
    Flags = static_cast<uint8_t>(node.AttrIntDef("Flags", 0));
    SetHasMetadata(node.AttrBool("HasMetadata"));
    SetUseNetwork(node.AttrBool("UseNetwork"));
}

void TSWFFileAttributes::SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) {
    node.SetAttrBool("HasMetadata", GetHasMetadata());
    node.SetAttrBool("UseNetwork", GetUseNetwork());
    // The whole byte goes out only when the two named flags cannot say it,
    // so documents of ordinary movies keep their familiar two attributes.
    if (Flags & ~kNamedFileFlags) node.SetAttr("Flags", static_cast<int>(Flags));
}

// ---------------------------------------------------------------- metadata

void TSWFMetadata::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto& other = SourceAs<TSWFMetadata>(source, *this);
    TSWFObject::CopyFieldsFrom(source);
    Metadata = other.Metadata;
    TextIsUtf8 = other.TextIsUtf8;
}

// The bytes read stay as they are (UTF-8 from the file); only text typed in
// here in the code page is converted when written.
void TSWFMetadata::ReadBody(TBitsEngine& be) {
    Metadata = be.ReadString();
    TextIsUtf8 = true;
}

void TSWFMetadata::WriteBody(TBitsEngine& be) { be.WriteString(Metadata, true, !TextIsUtf8); }

// The document is UTF-8 like the tag's text, which therefore goes into it
// as it is; text that is not valid UTF-8 goes in as code-page text and says
// so, and comes back as the same bytes.
void TSWFMetadata::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings&) {
    TXmlNode first = node.FirstChild();
    if (first.IsNull()) return;
    const bool codePage = AnsiSameText(node.AttrStrDef("Encoding", ""), "CodePage");
    auto take = [&](const TXmlNode& source) {
        Metadata = codePage ? source.Text() : source.TextUtf8();
        TextIsUtf8 = true;
    };
    std::vector<TXmlNode> inner = first.ChildNodes();
    if (inner.size() == 1 && inner[0].NodeType() == TXmlNodeType::CData) {
        take(inner[0]);
        return;
    }
    if (first.NodeType() != TXmlNodeType::Element) return;
    for (const TXmlNode& child : inner)
        if (child.NodeType() != TXmlNodeType::Text && child.NodeType() != TXmlNodeType::CData) return;
    take(first);
}

void TSWFMetadata::SaveToXml(TXmlNode node, TXMLReadWriteSettings&) {
    TXmlNode value = node.AddChild("Value");
    if (!TextIsUtf8) {
        value.AddCData(Metadata);
    } else if (WideToUtf8(Utf8ToWide(Metadata)) == Metadata) {
        value.AddCDataUtf8(Metadata);
    } else {
        node.SetAttr("Encoding", "CodePage");
        value.AddCData(Metadata);
    }
}

// ---------------------------------------------------------------- product info

void TSWFProductInfo::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto& other = SourceAs<TSWFProductInfo>(source, *this);
    TSWFObject::CopyFieldsFrom(source);
    ProductId = other.ProductId;
    Edition = other.Edition;
    MajorVersion = other.MajorVersion;
    MinorVersion = other.MinorVersion;
    BuildNumber1 = other.BuildNumber1;
    BuildNumber2 = other.BuildNumber2;
    std::memcpy(CompileDate, other.CompileDate, sizeof CompileDate);
}

void TSWFProductInfo::ReadBody(TBitsEngine& be) {
    ProductId = be.ReadDWord();
    Edition = be.ReadDWord();
    MajorVersion = be.ReadByte();
    MinorVersion = be.ReadByte();
    BuildNumber1 = be.ReadDWord();
    BuildNumber2 = be.ReadDWord();
    be.ReadBytes(CompileDate, sizeof CompileDate);
}

void TSWFProductInfo::WriteBody(TBitsEngine& be) {
    be.WriteDWord(ProductId);
    be.WriteDWord(Edition);
    be.WriteByte(MajorVersion);
    be.WriteByte(MinorVersion);
    be.WriteDWord(BuildNumber1);
    be.WriteDWord(BuildNumber2);
    be.WriteBuffer(CompileDate, sizeof CompileDate);
}

void TSWFProductInfo::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) {
    ProductId = static_cast<uint32_t>(node.AttrInt("ProductId"));
    Edition = static_cast<uint32_t>(node.AttrInt("Edition"));

    // The three text forms are forgiving: a damaged value falls back to a
    // plain default instead of rejecting the whole tag.
    {
        std::string text = node.AttrStrDef("Version", "");
        size_t dot = text.find('.');
        uint32_t major = 0, minor = 0;
        if (dot != std::string::npos && ParseDecimal(text.substr(0, dot), major) &&
            ParseDecimal(text.substr(dot + 1, 3), minor)) {
            MajorVersion = static_cast<uint8_t>(major);
            MinorVersion = static_cast<uint8_t>(minor);
        } else {
            MajorVersion = 1;
            MinorVersion = 0;
        }
    }
    {
        std::string text = node.AttrStrDef("BuildNumber", "");
        std::vector<std::string> parts;
        for (size_t start = 0;;) {
            size_t dot = text.find('.', start);
            parts.push_back(text.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
            if (dot == std::string::npos) break;
            start = dot + 1;
        }
        // Parsing stops at the first bad part: the first number keeps what
        // was read before it, the second falls back to 0.
        uint32_t p[4] = {};
        bool firstOk = parts.size() >= 2 && ParseDecimal(parts[0], p[0]) && ParseDecimal(parts[1], p[1]);
        if (firstOk) BuildNumber1 = (p[0] & 0xFFFF) << 16 | (p[1] & 0xFFFF);
        bool secondOk = firstOk && parts.size() >= 4 && ParseDecimal(parts[2], p[2]) && ParseDecimal(parts[3], p[3]);
        BuildNumber2 = secondOk ? (p[2] & 0xFFFF) << 16 | (p[3] & 0xFFFF) : 0;
    }
    {
        std::string text = node.AttrStrDef("Date", "");
        uint32_t high = 0, low = 0;
        if (text.size() > 9 && ParseHex32(text.substr(0, 8), high) && ParseHex32(text.substr(9, 8), low)) {
            StoreLE64(CompileDate, uint64_t(high) << 32 | low);
        } else {
            StoreLE64(CompileDate, std::bit_cast<uint64_t>(NowAsDateTime()));
        }
    }
}

void TSWFProductInfo::SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) {
    node.SetAttr("ProductId", static_cast<int64_t>(ProductId));
    node.SetAttr("Edition", static_cast<int64_t>(Edition));
    node.SetAttr("Version", FormatStr("%d.%d", MajorVersion, MinorVersion));
    node.SetAttr("BuildNumber", FormatStr("%u.%u.%u.%u", BuildNumber1 >> 16, BuildNumber1 & 0xFFFF,
                                          BuildNumber2 >> 16, BuildNumber2 & 0xFFFF));
    uint64_t date = LoadLE64(CompileDate);
    node.SetAttr("Date", FormatStr("%08X:%08X", static_cast<unsigned>(date >> 32), static_cast<unsigned>(date)));
}

// ---------------------------------------------------------------- scaling grid

void TSWFDefineScalingGrid::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto& other = SourceAs<TSWFDefineScalingGrid>(source, *this);
    TSWFObject::CopyFieldsFrom(source);
    CharacterId = other.CharacterId;
    Splitter.CopyFrom(other.Splitter);
}

void TSWFDefineScalingGrid::ReadBody(TBitsEngine& be) {
    CharacterId = be.ReadWord();
    Splitter.ReadAsStored(be);
}

void TSWFDefineScalingGrid::WriteBody(TBitsEngine& be) {
    be.WriteWord(CharacterId);
    Splitter.Write(be);
}

void TSWFDefineScalingGrid::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) {
    CharacterId = static_cast<uint16_t>(node.AttrInt("ID"));
    ReadRectAttrs(settings, node, Splitter);
}

void TSWFDefineScalingGrid::SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) {
    node.SetAttr("ID", static_cast<int>(CharacterId));
    WriteRectAttrs(settings, node, Splitter);
}
