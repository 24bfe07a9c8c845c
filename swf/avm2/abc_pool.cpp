#include "swf/avm2/abc_pool.h"

#include <cmath>
#include <cstring>

#include "platform/codepage.h"
#include "swf/xml_form.h"

// ---------------------------------------------------------------- helpers

uint32_t ReadAbcCount(TBitsEngine& be, uint32_t minItemBytes, const char* what) {
    uint32_t count = be.ReadEncodedU32();
    int64_t left = be.Stream.Remaining();
    if (minItemBytes > 0 && int64_t(count) * minItemBytes > left)
        throw EReadError(FormatStr("The ABC %s count %u runs past the end of the block (%lld bytes left)", what, count,
                                   static_cast<long long>(left)));
    return count;
}

namespace {

// Pool lists store count + 1 (0 and 1 both mean empty).
uint32_t ReadPoolCount(TBitsEngine& be, uint32_t minItemBytes, const char* what) {
    uint32_t count = be.ReadEncodedU32();
    uint32_t items = count == 0 ? 0 : count - 1;
    int64_t left = be.Stream.Remaining();
    if (int64_t(items) * minItemBytes > left)
        throw EReadError(FormatStr("The ABC %s pool count %u runs past the end of the block (%lld bytes left)", what,
                                   count, static_cast<long long>(left)));
    return items;
}

// The bytes as they stand, NULs included.
std::string ReadAbcString(TBitsEngine& be) {
    uint32_t length = be.ReadEncodedU32();
    if (int64_t(length) > be.Stream.Remaining())
        throw EReadError(FormatStr("An ABC string of %u bytes runs past the end of the block", length));
    std::string bytes(length, '\0');
    be.ReadBytes(bytes.data(), length);
    return bytes;
}

void WritePoolCount(TBitsEngine& be, size_t items) {
    if (items == 0) be.WriteByte(0);
    else be.WriteEncodedU32(static_cast<uint32_t>(items + 1));
}

template <class T>
void SetPoolItem(std::vector<T>& list, int64_t index, T value) {
    if (index == -1) list.push_back(std::move(value));
    else list.at(static_cast<size_t>(index)) = std::move(value);
}

// Length of the valid UTF-8 sequence at text[i] that XML may carry, or 0.
size_t XmlUtf8Length(const std::string& text, size_t i) {
    auto byte = [&](size_t k) { return k < text.size() ? static_cast<unsigned char>(text[k]) : 0u; };
    unsigned c = byte(i);
    if (c < 0x80) return 1;
    size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 0;
    if (length == 0 || c > 0xF4 || i + length > text.size()) return 0;
    uint32_t code = c & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
        unsigned next = byte(i + k);
        if ((next & 0xC0) != 0x80) return 0;
        code = code << 6 | (next & 0x3F);
    }
    static const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < least[length] || code > 0x10FFFF) return 0;
    if ((code >= 0xD800 && code <= 0xDFFF) || code == 0xFFFE || code == 0xFFFF) return 0;
    return length;
}

}  // namespace

std::string AbcStringToXmlText(const std::string& bytes) {
    const bool spacesOnly = !bytes.empty() && bytes.find_first_not_of(' ') == std::string::npos;
    std::string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size();) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        size_t length = XmlUtf8Length(bytes, i);
        if (length == 0 || c < 32 || c == '%' || (spacesOnly && c == ' ')) {
            out += FormatStr("%%%02X", c);
            ++i;
        } else {
            out.append(bytes, i, length);
            i += length;
        }
    }
    return out;
}

std::string AbcStringFromXmlText(const std::string& text) { return UnescapeStr(text); }

void SetAbcElementText(TXmlNode node, const std::string& utf8) {
    if (!utf8.empty()) node.Raw().append_child(pugi::node_pcdata).set_value(utf8.c_str());
}

uint32_t AbcTextToU32(const TXmlNode& node) { return static_cast<uint32_t>(StrToInt64(node.TextUtf8())); }

uint32_t AbcAttrU32(const TXmlNode& node, const std::string& name) {
    return static_cast<uint32_t>(node.AttrInt(name));
}

// ---------------------------------------------------------------- integer list

void TSWFIntegerList::ReadFromStream(TBitsEngine& be) {
    uint32_t count = ReadAbcCount(be, 1, "index list");
    Items.resize(count);
    for (uint32_t& value : Items) value = be.ReadEncodedU32();
}

void TSWFIntegerList::WriteToStream(TBitsEngine& be) const {
    be.WriteEncodedU32(static_cast<uint32_t>(Items.size()));
    for (uint32_t value : Items) be.WriteEncodedU32(value);
}

// ---------------------------------------------------------------- multinames

bool IsKnownMultinameKind(uint8_t kind) {
    switch (kind) {
        case kMnQName: case kMnQNameA: case kMnRTQName: case kMnRTQNameA: case kMnRTQNameL: case kMnRTQNameLA:
        case kMnMultiname: case kMnMultinameA: case kMnMultinameL: case kMnMultinameLA: case kMnTypeName:
            return true;
        default:
            return false;
    }
}

std::unique_ptr<TSWFBasedMultiNameObject> CreateMultinameByKind(uint8_t kind) {
    switch (kind) {
        case kMnQName: case kMnQNameA: return std::make_unique<TSWFmnQName>(kind);
        case kMnRTQName: case kMnRTQNameA: return std::make_unique<TSWFmnRTQName>(kind);
        case kMnRTQNameL: case kMnRTQNameLA: return std::make_unique<TSWFBasedMultiNameObject>(kind);
        case kMnMultiname: case kMnMultinameA: return std::make_unique<TSWFmnMultiname>(kind);
        case kMnTypeName: return std::make_unique<TSWFmnTypeName>(kind);
        default: return std::make_unique<TSWFmnMultinameL>(kind);
    }
}

void TSWFBasedMultiNameObject::LoadFromXml(const TXmlNode& node) { Kind = static_cast<uint8_t>(node.AttrInt("Kind")); }
void TSWFBasedMultiNameObject::SaveToXml(TXmlNode node) const { node.SetAttr("Kind", static_cast<int>(Kind)); }

void TSWFmnQName::ReadFromStream(TBitsEngine& be) {
    NameSpace = be.ReadEncodedU32();
    Name = be.ReadEncodedU32();
}
void TSWFmnQName::WriteToStream(TBitsEngine& be) const {
    be.WriteEncodedU32(NameSpace);
    be.WriteEncodedU32(Name);
}
void TSWFmnQName::LoadFromXml(const TXmlNode& node) {
    TSWFBasedMultiNameObject::LoadFromXml(node);
    NameSpace = AbcAttrU32(node, "NameSpace");
    Name = AbcAttrU32(node, "Name");
}
void TSWFmnQName::SaveToXml(TXmlNode node) const {
    TSWFBasedMultiNameObject::SaveToXml(node);
    node.SetAttr("NameSpace", NameSpace);
    node.SetAttr("Name", Name);
}

void TSWFmnRTQName::ReadFromStream(TBitsEngine& be) { Name = be.ReadEncodedU32(); }
void TSWFmnRTQName::WriteToStream(TBitsEngine& be) const { be.WriteEncodedU32(Name); }
void TSWFmnRTQName::LoadFromXml(const TXmlNode& node) {
    TSWFBasedMultiNameObject::LoadFromXml(node);
    Name = AbcAttrU32(node, "Name");
}
void TSWFmnRTQName::SaveToXml(TXmlNode node) const {
    TSWFBasedMultiNameObject::SaveToXml(node);
    node.SetAttr("Name", Name);
}

void TSWFmnMultiname::ReadFromStream(TBitsEngine& be) {
    Name = be.ReadEncodedU32();
    NameSpaceSet = be.ReadEncodedU32();
}
void TSWFmnMultiname::WriteToStream(TBitsEngine& be) const {
    be.WriteEncodedU32(Name);
    be.WriteEncodedU32(NameSpaceSet);
}
void TSWFmnMultiname::LoadFromXml(const TXmlNode& node) {
    TSWFBasedMultiNameObject::LoadFromXml(node);
    NameSpaceSet = AbcAttrU32(node, "NameSpaceSET");
    Name = AbcAttrU32(node, "Name");
}
void TSWFmnMultiname::SaveToXml(TXmlNode node) const {
    TSWFBasedMultiNameObject::SaveToXml(node);
    node.SetAttr("NameSpaceSET", NameSpaceSet);
    node.SetAttr("Name", Name);
}

void TSWFmnMultinameL::ReadFromStream(TBitsEngine& be) { NameSpaceSet = be.ReadEncodedU32(); }
void TSWFmnMultinameL::WriteToStream(TBitsEngine& be) const { be.WriteEncodedU32(NameSpaceSet); }
void TSWFmnMultinameL::LoadFromXml(const TXmlNode& node) {
    TSWFBasedMultiNameObject::LoadFromXml(node);
    NameSpaceSet = AbcAttrU32(node, "NameSpaceSET");
}
void TSWFmnMultinameL::SaveToXml(TXmlNode node) const {
    TSWFBasedMultiNameObject::SaveToXml(node);
    node.SetAttr("NameSpaceSET", NameSpaceSet);
}

void TSWFmnTypeName::ReadFromStream(TBitsEngine& be) {
    QName = be.ReadEncodedU32();
    Params.ReadFromStream(be);
}
void TSWFmnTypeName::WriteToStream(TBitsEngine& be) const {
    be.WriteEncodedU32(QName);
    Params.WriteToStream(be);
}
void TSWFmnTypeName::LoadFromXml(const TXmlNode& node) {
    TSWFBasedMultiNameObject::LoadFromXml(node);
    QName = AbcAttrU32(node, "QName");
    Params.Items.clear();
    for (const TXmlNode& param : node.ChildElements()) Params.Add(AbcTextToU32(param));
}
void TSWFmnTypeName::SaveToXml(TXmlNode node) const {
    TSWFBasedMultiNameObject::SaveToXml(node);
    node.SetAttr("QName", QName);
    for (uint32_t param : Params.Items) SetAbcElementText(node.AddChild("Param"), std::to_string(param));
}

// ---------------------------------------------------------------- pool

void TSWFAS3ConstantPool::CopyFrom(const TSWFAS3ConstantPool& source) {
    Integers = source.Integers;
    UIntegers = source.UIntegers;
    Doubles = source.Doubles;
    Strings = source.Strings;
    NameSpaces = source.NameSpaces;
    NameSpaceSets = source.NameSpaceSets;
    Multinames.clear();
    Multinames.reserve(source.Multinames.size());
    for (const auto& name : source.Multinames) Multinames.push_back(name->Clone());
}

void TSWFAS3ConstantPool::Clear() { CopyFrom(TSWFAS3ConstantPool()); }

void TSWFAS3ConstantPool::SetInt(int64_t index, int32_t value) {
    SetPoolItem(Integers.Items, index, static_cast<uint32_t>(value));
}
void TSWFAS3ConstantPool::SetUInt(int64_t index, uint32_t value) { SetPoolItem(UIntegers.Items, index, value); }
void TSWFAS3ConstantPool::SetDouble(int64_t index, double value) {
    SetPoolItem(Doubles, index, TSWFDoubleObject(value));
}
void TSWFAS3ConstantPool::SetString(int64_t index, const std::string& value) { SetPoolItem(Strings, index, value); }
void TSWFAS3ConstantPool::SetNameSpace(int64_t index, uint8_t kind, uint32_t name) {
    SetPoolItem(NameSpaces, index, TSWFNameSpaceObject(kind, name));
}
void TSWFAS3ConstantPool::SetNameSpaceSet(int64_t index, const TSWFIntegerList& set) {
    SetPoolItem(NameSpaceSets, index, set);
}

void TSWFAS3ConstantPool::ReadFromStream(TBitsEngine& be) {
    Clear();
    Integers.Items.resize(ReadPoolCount(be, 1, "integer"));
    for (uint32_t& value : Integers.Items) value = be.ReadEncodedU32();
    UIntegers.Items.resize(ReadPoolCount(be, 1, "unsigned integer"));
    for (uint32_t& value : UIntegers.Items) value = be.ReadEncodedU32();
    Doubles.resize(ReadPoolCount(be, 8, "double"));
    for (TSWFDoubleObject& value : Doubles) value.Value = be.ReadDouble();
    Strings.resize(ReadPoolCount(be, 1, "string"));
    for (std::string& text : Strings) text = ReadAbcString(be);
    NameSpaces.resize(ReadPoolCount(be, 2, "namespace"));
    for (TSWFNameSpaceObject& space : NameSpaces) {
        space.Kind = be.ReadByte();
        space.Name = be.ReadEncodedU32();
    }
    NameSpaceSets.resize(ReadPoolCount(be, 1, "namespace set"));
    for (TSWFIntegerList& set : NameSpaceSets) set.ReadFromStream(be);
    uint32_t names = ReadPoolCount(be, 1, "multiname");
    for (uint32_t i = 0; i < names; ++i) {
        uint8_t kind = be.ReadByte();
        if (!IsKnownMultinameKind(kind))
            throw EAbcNotModelled(FormatStr("multiname %u has the kind 0x%02X, which the model does not know", i + 1,
                                            kind));
        auto name = CreateMultinameByKind(kind);
        name->ReadFromStream(be);
        Multinames.push_back(std::move(name));
    }
}

void TSWFAS3ConstantPool::WriteToStream(TBitsEngine& be) const {
    WritePoolCount(be, Integers.Count());
    for (uint32_t value : Integers.Items) be.WriteEncodedU32(value);
    WritePoolCount(be, UIntegers.Count());
    for (uint32_t value : UIntegers.Items) be.WriteEncodedU32(value);
    WritePoolCount(be, Doubles.size());
    for (const TSWFDoubleObject& value : Doubles) be.WriteDouble(value.Value);
    WritePoolCount(be, Strings.size());
    for (const std::string& text : Strings) be.WriteU30String(text);
    WritePoolCount(be, NameSpaces.size());
    for (const TSWFNameSpaceObject& space : NameSpaces) {
        be.WriteByte(space.Kind);
        be.WriteEncodedU32(space.Name);
    }
    WritePoolCount(be, NameSpaceSets.size());
    for (const TSWFIntegerList& set : NameSpaceSets) set.WriteToStream(be);
    WritePoolCount(be, Multinames.size());
    for (const auto& name : Multinames) {
        be.WriteByte(name->Kind);
        name->WriteToStream(be);
    }
}

namespace {

constexpr uint64_t kDefaultNaNBits = 0xFFF8000000000000ull;

uint64_t DoubleBits(double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, 8);
    return bits;
}

double DoubleFromBits(uint64_t bits) {
    double value;
    std::memcpy(&value, &bits, 8);
    return value;
}

// "NAN" loads as one NaN; any other NaN says its bits as well.
void SaveDouble(TXmlNode node, double value) {
    if (std::isnan(value)) {
        SetAbcElementText(node, "NAN");
        uint64_t bits = DoubleBits(value);
        if (bits != kDefaultNaNBits) node.SetAttr("Bits", BinToHexStr(&bits, 8));
        return;
    }
    SetAbcElementText(node, FloatToStr(value));
}

double LoadDouble(const TXmlNode& node) {
    std::string text = node.TextUtf8();
    if (!AnsiSameText(text, "NAN")) return StrToFloat(text);
    if (!node.HasAttribute("Bits")) return DoubleFromBits(kDefaultNaNBits);
    std::vector<uint8_t> bytes = HexStrToBin(node.AttrStr("Bits"));
    if (bytes.size() != 8) throw EConvertError("The Bits of a Double must be 16 hexadecimal digits");
    uint64_t bits;
    std::memcpy(&bits, bytes.data(), 8);
    return DoubleFromBits(bits);
}

}  // namespace

void TSWFAS3ConstantPool::SaveToXml(TXmlNode node) const {
    for (uint32_t value : Integers.Items)
        SetAbcElementText(node.AddChild("Int"), std::to_string(static_cast<int32_t>(value)));
    for (uint32_t value : UIntegers.Items)
        SetAbcElementText(node.AddChild("UInt"), std::to_string(static_cast<int32_t>(value)));
    for (const TSWFDoubleObject& value : Doubles) SaveDouble(node.AddChild("Double"), value.Value);
    for (const std::string& text : Strings) SetAbcElementText(node.AddChild("Strings"), AbcStringToXmlText(text));
    for (const TSWFNameSpaceObject& space : NameSpaces) {
        TXmlNode child = node.AddChild("NameSpace");
        child.SetAttr("Kind", static_cast<int>(space.Kind));
        SetAbcElementText(child, std::to_string(space.Name));
    }
    for (const TSWFIntegerList& set : NameSpaceSets) {
        TXmlNode child = node.AddChild("NameSpaceSET");
        for (uint32_t index : set.Items) SetAbcElementText(child.AddChild("Item"), std::to_string(index));
    }
    for (const auto& name : Multinames) name->SaveToXml(node.AddChild("Multiname"));
}

void TSWFAS3ConstantPool::LoadFromXml(const TXmlNode& node) {
    for (const TXmlNode& child : node.ChildElements()) {
        const std::string name = child.NodeName();
        if (AnsiSameText(name, "Int")) {
            Integers.Add(AbcTextToU32(child));
        } else if (AnsiSameText(name, "UInt")) {
            UIntegers.Add(AbcTextToU32(child));
        } else if (AnsiSameText(name, "Double")) {
            Doubles.emplace_back(LoadDouble(child));
        } else if (AnsiSameText(name, "Strings")) {
            Strings.push_back(AbcStringFromXmlText(child.TextUtf8()));
        } else if (AnsiSameText(name, "NameSpace")) {
            NameSpaces.emplace_back(static_cast<uint8_t>(child.AttrInt("Kind")), AbcTextToU32(child));
        } else if (AnsiSameText(name, "NameSpaceSET")) {
            TSWFIntegerList& set = NameSpaceSets.emplace_back();
            for (const TXmlNode& item : child.ChildElements()) set.Add(AbcTextToU32(item));
        } else if (AnsiSameText(name, "Multiname")) {
            auto multiname = CreateMultinameByKind(static_cast<uint8_t>(child.AttrInt("Kind")));
            multiname->LoadFromXml(child);
            Multinames.push_back(std::move(multiname));
        }
    }
}
