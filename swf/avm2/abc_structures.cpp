#include "swf/avm2/abc_structures.h"

#include "platform/codepage.h"
#include "platform/stream.h"
#include "swf/xml_form.h"

namespace {

// Method flags.
enum : uint8_t {
    kNeedArguments = 0x01,
    kNeedActivation = 0x02,
    kNeedRest = 0x04,
    kHasOptional = 0x08,
    kSetDxns = 0x40,
    kHasParamNames = 0x80,
};

// Instance flags.
enum : uint8_t {
    kClassSealed = 0x01,
    kClassFinal = 0x02,
    kClassInterface = 0x04,
    kClassProtectedNs = 0x08,
};

// Trait attributes, above the type in the kind byte.
enum : uint8_t {
    kTraitFinal = 0x10,
    kTraitOverride = 0x20,
    kTraitMetadata = 0x40,
};

void SaveIndexItems(TXmlNode node, const TSWFIntegerList& list) {
    for (uint32_t value : list.Items) SetAbcElementText(node.AddChild("Item"), std::to_string(value));
}

void LoadIndexItems(const TXmlNode& node, TSWFIntegerList& list) {
    for (const TXmlNode& item : node.ChildElements()) list.Add(AbcTextToU32(item));
}

bool HasChildNodes(const TXmlNode& node) { return node.ChildCount() > 0; }

}  // namespace

// ---------------------------------------------------------------- methods

TSWFAS3MethodOptions& TSWFAS3Method::AddOption() {
    HasOptional = true;
    return Options.emplace_back();
}

void TSWFAS3Method::ReadFromStream(TBitsEngine& be) {
    uint32_t count = ReadAbcCount(be, 1, "parameter");
    ReturnType = be.ReadEncodedU32();
    ParamTypes.Items.resize(count);
    for (uint32_t& type : ParamTypes.Items) type = be.ReadEncodedU32();
    Name = be.ReadEncodedU32();
    uint8_t flags = be.ReadByte();
    if (flags & 0x30)
        throw EAbcNotModelled(FormatStr("a method has the flag bits 0x%02X, which the model does not keep", flags & 0x30));
    NeedArguments = flags & kNeedArguments;
    NeedActivation = flags & kNeedActivation;
    NeedRest = flags & kNeedRest;
    HasOptional = flags & kHasOptional;
    SetDxns = flags & kSetDxns;
    HasParamNames = flags & kHasParamNames;
    Options.clear();
    if (HasOptional) {
        Options.resize(ReadAbcCount(be, 2, "optional parameter"));
        for (TSWFAS3MethodOptions& option : Options) {
            option.Value = be.ReadEncodedU32();
            option.Kind = be.ReadByte();
        }
    }
    ParamNames.Items.clear();
    if (HasParamNames) {
        ParamNames.Items.resize(count);
        for (uint32_t& name : ParamNames.Items) name = be.ReadEncodedU32();
    }
}

void TSWFAS3Method::WriteToStream(TBitsEngine& be) const {
    const size_t count = ParamTypes.Count();
    if (HasParamNames && ParamNames.Count() < count)
        throw EWriteError(FormatStr("A method has %zu parameters but %zu parameter names", count, ParamNames.Count()));
    be.WriteEncodedU32(static_cast<uint32_t>(count));
    be.WriteEncodedU32(ReturnType);
    for (uint32_t type : ParamTypes.Items) be.WriteEncodedU32(type);
    be.WriteEncodedU32(Name);
    be.WriteByte(static_cast<uint8_t>((NeedArguments ? kNeedArguments : 0) | (NeedActivation ? kNeedActivation : 0) |
                                      (NeedRest ? kNeedRest : 0) | (HasOptional ? kHasOptional : 0) |
                                      (SetDxns ? kSetDxns : 0) | (HasParamNames ? kHasParamNames : 0)));
    if (HasOptional) {
        be.WriteEncodedU32(static_cast<uint32_t>(Options.size()));
        for (const TSWFAS3MethodOptions& option : Options) {
            be.WriteEncodedU32(option.Value);
            be.WriteByte(option.Kind);
        }
    }
    if (HasParamNames)
        for (size_t i = 0; i < count; ++i) be.WriteEncodedU32(ParamNames.Items[i]);
}

void TSWFAS3Method::SaveToXml(TXmlNode node) const {
    node.SetAttr("Name", Name);
    node.SetAttr("ReturnType", ReturnType);
    node.SetAttrBool("NeedArguments", NeedArguments);
    node.SetAttrBool("NeedActivation", NeedActivation);
    node.SetAttrBool("NeedRest", NeedRest);
    node.SetAttrBool("SetDxns", SetDxns);
    // The flags follow from the children, except on a method whose list of
    // options or of parameters is empty.
    if (HasOptional && Options.empty()) node.SetAttrBool("HasOptional", true);
    if (HasParamNames && ParamTypes.Count() == 0) node.SetAttrBool("HasParamNames", true);
    for (size_t i = 0; i < ParamTypes.Count(); ++i) {
        TXmlNode param = node.AddChild("Param");
        param.SetAttr("Type", ParamTypes.Items[i]);
        if (HasParamNames && i < ParamNames.Count()) param.SetAttr("Name", ParamNames.Items[i]);
    }
    for (const TSWFAS3MethodOptions& option : Options) {
        TXmlNode child = node.AddChild("Option");
        child.SetAttr("Kind", static_cast<int>(option.Kind));
        child.SetAttr("Value", option.Value);
    }
}

void TSWFAS3Method::LoadFromXml(const TXmlNode& node) {
    Name = AbcAttrU32(node, "Name");
    ReturnType = AbcAttrU32(node, "ReturnType");
    NeedArguments = node.AttrBool("NeedArguments");
    NeedActivation = node.AttrBool("NeedActivation");
    NeedRest = node.AttrBool("NeedRest");
    SetDxns = node.AttrBool("SetDxns");
    HasOptional = node.AttrBoolDef("HasOptional", false);
    HasParamNames = node.AttrBoolDef("HasParamNames", false);
    for (const TXmlNode& child : node.ChildElements()) {
        const std::string name = child.NodeName();
        if (AnsiSameText(name, "Param")) {
            ParamTypes.Add(AbcAttrU32(child, "Type"));
            if (child.HasAttribute("Name")) {
                ParamNames.Add(AbcAttrU32(child, "Name"));
                HasParamNames = true;
            }
        } else if (AnsiSameText(name, "Option")) {
            TSWFAS3MethodOptions& option = AddOption();
            option.Kind = static_cast<uint8_t>(child.AttrInt("Kind"));
            option.Value = AbcAttrU32(child, "Value");
        }
    }
}

void TSWFAS3Methods::ReadFromStream(TBitsEngine& be) {
    Items.resize(ReadAbcCount(be, 4, "method"));
    for (TSWFAS3Method& method : Items) method.ReadFromStream(be);
}

void TSWFAS3Methods::WriteToStream(TBitsEngine& be) const {
    be.WriteEncodedU32(static_cast<uint32_t>(Items.size()));
    for (const TSWFAS3Method& method : Items) method.WriteToStream(be);
}

void TSWFAS3Methods::SaveToXml(TXmlNode node) const {
    for (const TSWFAS3Method& method : Items) method.SaveToXml(node.AddChild("Method"));
}

void TSWFAS3Methods::LoadFromXml(const TXmlNode& node) {
    for (const TXmlNode& child : node.ChildElements()) AddMethod().LoadFromXml(child);
}

// ---------------------------------------------------------------- metadata

void TSWFAS3Metadata::ReadFromStream(TBitsEngine& be) {
    Items.resize(ReadAbcCount(be, 2, "metadata"));
    for (TSWFAS3MetadataInfo& info : Items) {
        info.Name = be.ReadEncodedU32();
        info.Items.resize(ReadAbcCount(be, 2, "metadata item"));
        for (TSWFAS3MetadataItem& item : info.Items) {
            item.Key = be.ReadEncodedU32();
            item.Value = be.ReadEncodedU32();
        }
    }
}

void TSWFAS3Metadata::WriteToStream(TBitsEngine& be) const {
    be.WriteEncodedU32(static_cast<uint32_t>(Items.size()));
    for (const TSWFAS3MetadataInfo& info : Items) {
        be.WriteEncodedU32(info.Name);
        be.WriteEncodedU32(static_cast<uint32_t>(info.Items.size()));
        for (const TSWFAS3MetadataItem& item : info.Items) {
            be.WriteEncodedU32(item.Key);
            be.WriteEncodedU32(item.Value);
        }
    }
}

void TSWFAS3Metadata::SaveToXml(TXmlNode node) const {
    for (const TSWFAS3MetadataInfo& info : Items) {
        TXmlNode child = node.AddChild("MetadataInfo");
        child.SetAttr("Name", info.Name);
        for (const TSWFAS3MetadataItem& item : info.Items) {
            TXmlNode itemNode = child.AddChild("Item");
            itemNode.SetAttr("Key", item.Key);
            itemNode.SetAttr("Value", item.Value);
        }
    }
}

void TSWFAS3Metadata::LoadFromXml(const TXmlNode& node) {
    for (const TXmlNode& child : node.ChildElements()) {
        TSWFAS3MetadataInfo& info = AddInfo();
        info.Name = AbcAttrU32(child, "Name");
        for (const TXmlNode& itemNode : child.ChildElements()) {
            TSWFAS3MetadataItem& item = info.AddItem();
            item.Key = AbcAttrU32(itemNode, "Key");
            item.Value = AbcAttrU32(itemNode, "Value");
        }
    }
}

// ---------------------------------------------------------------- traits

void TSWFAS3Trait::SetHasMetadata(bool has) {
    if (!has) metadata_.reset();
    else if (!metadata_) metadata_.emplace();
}

TSWFIntegerList& TSWFAS3Trait::GetMetadata() {
    if (!metadata_) metadata_.emplace();
    return *metadata_;
}

void TSWFAS3Trait::ReadFromStream(TBitsEngine& be) {
    Name = be.ReadEncodedU32();
    uint8_t kind = be.ReadByte();
    TraitType = kind & 0x0F;
    if (TraitType > kTraitConst || (kind & 0x80))
        throw EAbcNotModelled(FormatStr("a trait has the kind byte 0x%02X, which the model does not know", kind));
    IsFinal = kind & kTraitFinal;
    IsOverride = kind & kTraitOverride;
    ID = be.ReadEncodedU32();
    SpecID = be.ReadEncodedU32();
    VIndex = 0;
    VKind = 0;
    if (TraitType == kTraitSlot || TraitType == kTraitConst) {
        VIndex = be.ReadEncodedU32();
        if (VIndex > 0) VKind = be.ReadByte();
    }
    SetHasMetadata(false);
    if (kind & kTraitMetadata) GetMetadata().ReadFromStream(be);
}

void TSWFAS3Trait::WriteToStream(TBitsEngine& be) const {
    be.WriteEncodedU32(Name);
    be.WriteByte(static_cast<uint8_t>((TraitType & 0x0F) | (IsFinal ? kTraitFinal : 0) |
                                      (IsOverride ? kTraitOverride : 0) | (HasMetadata() ? kTraitMetadata : 0)));
    be.WriteEncodedU32(ID);
    be.WriteEncodedU32(SpecID);
    if (TraitType == kTraitSlot || TraitType == kTraitConst) {
        be.WriteEncodedU32(VIndex);
        if (VIndex > 0) be.WriteByte(VKind);
    }
    if (HasMetadata()) metadata_->WriteToStream(be);
}

void TSWFAS3Trait::SaveToXml(TXmlNode node) const {
    node.SetAttr("ID", ID);
    node.SetAttr("SpecID", SpecID);
    node.SetAttr("Name", Name);
    node.SetAttr("TraitType", static_cast<int>(TraitType));
    if (IsFinal) node.SetAttrBool("IsFinal", true);
    if (IsOverride) node.SetAttrBool("IsOverride", true);
    if (TraitType == kTraitSlot || TraitType == kTraitConst) {
        node.SetAttr("VIndex", VIndex);
        node.SetAttr("VKind", static_cast<int>(VKind));
    }
    // Also when empty: the flag is written to the stream all the same.
    if (HasMetadata()) SaveIndexItems(node.AddChild("Metadata"), *metadata_);
}

void TSWFAS3Trait::LoadFromXml(const TXmlNode& node) {
    ID = AbcAttrU32(node, "ID");
    SpecID = AbcAttrU32(node, "SpecID");
    Name = AbcAttrU32(node, "Name");
    TraitType = static_cast<uint8_t>(node.AttrInt("TraitType") & 0x0F);
    IsFinal = node.AttrBoolDef("IsFinal", false);
    IsOverride = node.AttrBoolDef("IsOverride", false);
    if (TraitType == kTraitSlot || TraitType == kTraitConst) {
        VIndex = AbcAttrU32(node, "VIndex");
        VKind = static_cast<uint8_t>(node.AttrInt("VKind"));
    }
    if (node.ChildElements().empty()) return;
    TXmlNode metadata = node.ChildNode("Metadata");
    if (metadata.IsNull()) throw EConvertError("A Trait element has children but no Metadata child");
    LoadIndexItems(metadata, GetMetadata());
}

void TSWFAS3Traits::ReadTraits(TBitsEngine& be) {
    Traits.resize(ReadAbcCount(be, 4, "trait"));
    for (TSWFAS3Trait& trait : Traits) trait.ReadFromStream(be);
}

void TSWFAS3Traits::WriteTraits(TBitsEngine& be) const {
    be.WriteEncodedU32(static_cast<uint32_t>(Traits.size()));
    for (const TSWFAS3Trait& trait : Traits) trait.WriteToStream(be);
}

void TSWFAS3Traits::SaveTraitsToXml(TXmlNode node) const {
    for (const TSWFAS3Trait& trait : Traits) trait.SaveToXml(node.AddChild("Trait"));
}

// ---------------------------------------------------------------- instances

void TSWFAS3InstanceItem::ReadFromStream(TBitsEngine& be) {
    Name = be.ReadEncodedU32();
    SuperName = be.ReadEncodedU32();
    uint8_t flags = be.ReadByte();
    if (flags & 0xF0)
        throw EAbcNotModelled(FormatStr("an instance has the flag bits 0x%02X, which the model does not keep",
                                        flags & 0xF0));
    ClassSealed = flags & kClassSealed;
    ClassFinal = flags & kClassFinal;
    ClassInterface = flags & kClassInterface;
    ClassProtectedNs = flags & kClassProtectedNs;
    ProtectedNs = ClassProtectedNs ? be.ReadEncodedU32() : 0;
    Interfaces.ReadFromStream(be);
    Iinit = be.ReadEncodedU32();
    ReadTraits(be);
}

void TSWFAS3InstanceItem::WriteToStream(TBitsEngine& be) const {
    be.WriteEncodedU32(Name);
    be.WriteEncodedU32(SuperName);
    be.WriteByte(static_cast<uint8_t>((ClassSealed ? kClassSealed : 0) | (ClassFinal ? kClassFinal : 0) |
                                      (ClassInterface ? kClassInterface : 0) |
                                      (ClassProtectedNs ? kClassProtectedNs : 0)));
    if (ClassProtectedNs) be.WriteEncodedU32(ProtectedNs);
    Interfaces.WriteToStream(be);
    be.WriteEncodedU32(Iinit);
    WriteTraits(be);
}

void TSWFAS3InstanceItem::SaveToXml(TXmlNode node) const {
    node.SetAttr("Name", Name);
    node.SetAttr("SuperName", SuperName);
    node.SetAttr("Iinit", Iinit);
    if (ClassFinal) node.SetAttrBool("ClassFinal", true);
    if (ClassInterface) node.SetAttrBool("ClassInterface", true);
    if (ClassProtectedNs) node.SetAttr("ProtectedNs", ProtectedNs);
    if (ClassSealed) node.SetAttrBool("ClassSealed", true);
    if (Interfaces.Count() > 0) SaveIndexItems(node.AddChild("Interfaces"), Interfaces);
    SaveTraitsToXml(node);
}

void TSWFAS3InstanceItem::LoadFromXml(const TXmlNode& node) {
    Name = AbcAttrU32(node, "Name");
    SuperName = AbcAttrU32(node, "SuperName");
    Iinit = AbcAttrU32(node, "Iinit");
    ClassFinal = node.AttrBoolDef("ClassFinal", false);
    ClassInterface = node.AttrBoolDef("ClassInterface", false);
    ClassSealed = node.AttrBoolDef("ClassSealed", false);
    // The attribute is written only with the flag, and its value is the
    // namespace index, which may be 0; "True" and "False" read as the flag.
    ClassProtectedNs = false;
    ProtectedNs = 0;
    if (node.HasAttribute("ProtectedNs")) {
        std::string text = node.AttrStr("ProtectedNs");
        try {
            ProtectedNs = static_cast<uint32_t>(StrToInt64(text));
            ClassProtectedNs = true;
        } catch (const EConvertError&) {
            ClassProtectedNs = StrToBool(text);
        }
    }
    for (const TXmlNode& child : node.ChildElements()) {
        if (child.NodeName() == "Trait") AddTrait().LoadFromXml(child);
        else LoadIndexItems(child, Interfaces);
    }
}

void TSWFAS3Instance::ReadFromStream(TBitsEngine& be, uint32_t count) {
    Items.resize(count);
    for (TSWFAS3InstanceItem& item : Items) item.ReadFromStream(be);
}

void TSWFAS3Instance::WriteToStream(TBitsEngine& be) const {
    for (const TSWFAS3InstanceItem& item : Items) item.WriteToStream(be);
}

// ---------------------------------------------------------------- classes and scripts

void TSWFAS3ClassInfo::ReadFromStream(TBitsEngine& be) {
    Init = be.ReadEncodedU32();
    ReadTraits(be);
}

void TSWFAS3ClassInfo::WriteToStream(TBitsEngine& be) const {
    be.WriteEncodedU32(Init);
    WriteTraits(be);
}

void TSWFAS3ClassInfo::SaveToXml(TXmlNode node) const {
    node.SetAttr("Init", Init);
    SaveTraitsToXml(node);
}

void TSWFAS3ClassInfo::LoadFromXml(const TXmlNode& node) {
    Init = AbcAttrU32(node, "Init");
    for (const TXmlNode& child : node.ChildElements()) AddTrait().LoadFromXml(child);
}

void TSWFAS3Classes::ReadFromStream(TBitsEngine& be, uint32_t count) {
    Items.resize(count);
    for (TSWFAS3ClassInfo& item : Items) item.ReadFromStream(be);
}

void TSWFAS3Classes::WriteToStream(TBitsEngine& be) const {
    for (const TSWFAS3ClassInfo& item : Items) item.WriteToStream(be);
}

void TSWFAS3Scripts::ReadFromStream(TBitsEngine& be) {
    Items.resize(ReadAbcCount(be, 2, "script"));
    for (TSWFAS3ClassInfo& item : Items) item.ReadFromStream(be);
}

void TSWFAS3Scripts::WriteToStream(TBitsEngine& be) const {
    be.WriteEncodedU32(static_cast<uint32_t>(Items.size()));
    for (const TSWFAS3ClassInfo& item : Items) item.WriteToStream(be);
}

// ---------------------------------------------------------------- method bodies

std::string TSWFAS3MethodBodyInfo::GetCodeHex() const { return BinToHexStr(Code.data(), Code.size()); }

void TSWFAS3MethodBodyInfo::SetCodeHex(const std::string& text) {
    // Whole pairs only; HexStrToBin refuses a single digit.
    std::string pairs = text.substr(0, text.size() & ~size_t(1));
    Code = HexStrToBin(pairs);
}

void TSWFAS3MethodBodyInfo::ReadFromStream(TBitsEngine& be) {
    Method = be.ReadEncodedU32();
    MaxStack = be.ReadEncodedU32();
    LocalCount = be.ReadEncodedU32();
    InitScopeDepth = be.ReadEncodedU32();
    MaxScopeDepth = be.ReadEncodedU32();
    Code.resize(ReadAbcCount(be, 1, "code byte"));
    if (!Code.empty()) be.ReadBytes(Code.data(), static_cast<int64_t>(Code.size()));
    Exceptions.resize(ReadAbcCount(be, 5, "exception"));
    for (TSWFAS3Exception& exception : Exceptions) {
        exception.From = be.ReadEncodedU32();
        exception.To = be.ReadEncodedU32();
        exception.Target = be.ReadEncodedU32();
        exception.ExcType = be.ReadEncodedU32();
        exception.VarName = be.ReadEncodedU32();
    }
    ReadTraits(be);
}

void TSWFAS3MethodBodyInfo::WriteToStream(TBitsEngine& be) const {
    be.WriteEncodedU32(Method);
    be.WriteEncodedU32(MaxStack);
    be.WriteEncodedU32(LocalCount);
    be.WriteEncodedU32(InitScopeDepth);
    be.WriteEncodedU32(MaxScopeDepth);
    be.WriteEncodedU32(static_cast<uint32_t>(Code.size()));
    be.WriteBuffer(Code.data(), static_cast<int64_t>(Code.size()));
    be.WriteEncodedU32(static_cast<uint32_t>(Exceptions.size()));
    for (const TSWFAS3Exception& exception : Exceptions) {
        be.WriteEncodedU32(exception.From);
        be.WriteEncodedU32(exception.To);
        be.WriteEncodedU32(exception.Target);
        be.WriteEncodedU32(exception.ExcType);
        be.WriteEncodedU32(exception.VarName);
    }
    WriteTraits(be);
}

void TSWFAS3MethodBodyInfo::SaveToXml(TXmlNode node) const {
    node.SetAttr("Method", Method);
    node.SetAttr("MaxStack", MaxStack);
    node.SetAttr("LocalCount", LocalCount);
    node.SetAttr("InitScopeDepth", InitScopeDepth);
    node.SetAttr("MaxScopeDepth", MaxScopeDepth);
    SetAbcElementText(node.AddChild("Code"), GetCodeHex());
    for (const TSWFAS3Exception& exception : Exceptions) {
        TXmlNode child = node.AddChild("Exception");
        child.SetAttr("From", exception.From);
        child.SetAttr("To", exception.To);
        child.SetAttr("Target", exception.Target);
        child.SetAttr("ExcType", exception.ExcType);
        child.SetAttr("VarName", exception.VarName);
    }
    SaveTraitsToXml(node);
}

void TSWFAS3MethodBodyInfo::LoadFromXml(const TXmlNode& node) {
    Method = AbcAttrU32(node, "Method");
    MaxStack = AbcAttrU32(node, "MaxStack");
    LocalCount = AbcAttrU32(node, "LocalCount");
    InitScopeDepth = AbcAttrU32(node, "InitScopeDepth");
    MaxScopeDepth = AbcAttrU32(node, "MaxScopeDepth");
    for (const TXmlNode& child : node.ChildElements()) {
        const std::string name = child.NodeName();
        if (AnsiSameText(name, "Code")) {
            SetCodeHex(child.TextUtf8());
        } else if (AnsiSameText(name, "Exception")) {
            TSWFAS3Exception& exception = AddException();
            exception.From = AbcAttrU32(child, "From");
            exception.To = AbcAttrU32(child, "To");
            exception.Target = AbcAttrU32(child, "Target");
            exception.ExcType = AbcAttrU32(child, "ExcType");
            exception.VarName = AbcAttrU32(child, "VarName");
        } else if (AnsiSameText(name, "Trait")) {
            AddTrait().LoadFromXml(child);
        }
    }
}

void TSWFAS3MethodBodies::ReadFromStream(TBitsEngine& be) {
    Items.resize(ReadAbcCount(be, 8, "method body"));
    for (TSWFAS3MethodBodyInfo& body : Items) body.ReadFromStream(be);
}

void TSWFAS3MethodBodies::WriteToStream(TBitsEngine& be) const {
    be.WriteEncodedU32(static_cast<uint32_t>(Items.size()));
    for (const TSWFAS3MethodBodyInfo& body : Items) body.WriteToStream(be);
}

// ---------------------------------------------------------------- block

void TSWFAS3Block::ClearAbc() { *this = TSWFAS3Block(); }

void TSWFAS3Block::ReadAbc(TBitsEngine& be) {
    ClearAbc();
    ConstantPool.ReadFromStream(be);
    Methods.ReadFromStream(be);
    Metadata.ReadFromStream(be);
    // An instance takes at least 6 bytes and its class 2.
    uint32_t classes = ReadAbcCount(be, 8, "class");
    Instances.ReadFromStream(be, classes);
    Classes.ReadFromStream(be, classes);
    Scripts.ReadFromStream(be);
    MethodBodies.ReadFromStream(be);
}

void TSWFAS3Block::WriteAbc(TBitsEngine& be) const {
    if (Instances.Count() != Classes.Count())
        throw EWriteError(FormatStr("The ABC block has %zu instances but %zu classes; each class needs its instance",
                                    Instances.Count(), Classes.Count()));
    ConstantPool.WriteToStream(be);
    Methods.WriteToStream(be);
    Metadata.WriteToStream(be);
    be.WriteEncodedU32(static_cast<uint32_t>(Classes.Count()));
    Instances.WriteToStream(be);
    Classes.WriteToStream(be);
    Scripts.WriteToStream(be);
    MethodBodies.WriteToStream(be);
}

std::vector<uint8_t> TSWFAS3Block::AbcBytes() const {
    TMemoryStream out;
    TBitsEngine be(out);
    WriteAbc(be);
    return out.TakeBytes();
}

void TSWFAS3Block::SaveAbcToXml(TXmlNode node) const {
    ConstantPool.SaveToXml(node.AddChild("ConstantPool"));
    Methods.SaveToXml(node.AddChild("Methods"));
    Metadata.SaveToXml(node.AddChild("Metadata"));
    TXmlNode instances = node.AddChild("Instances");
    for (const TSWFAS3InstanceItem& item : Instances.Items) item.SaveToXml(instances.AddChild("Instance"));
    TXmlNode classes = node.AddChild("Classes");
    for (const TSWFAS3ClassInfo& item : Classes.Items) item.SaveToXml(classes.AddChild("Class"));
    TXmlNode scripts = node.AddChild("Scripts");
    for (const TSWFAS3ClassInfo& item : Scripts.Items) item.SaveToXml(scripts.AddChild("Script"));
    TXmlNode bodies = node.AddChild("MethodBodies");
    for (const TSWFAS3MethodBodyInfo& body : MethodBodies.Items) body.SaveToXml(bodies.AddChild("MethodBody"));
}

void TSWFAS3Block::LoadAbcFromXml(const TXmlNode& node) {
    for (const TXmlNode& child : node.ChildElements()) {
        if (!HasChildNodes(child)) continue;
        const std::string name = child.NodeName();
        if (name == "ConstantPool") {
            ConstantPool.LoadFromXml(child);
        } else if (name == "Methods") {
            Methods.LoadFromXml(child);
        } else if (name == "Metadata") {
            Metadata.LoadFromXml(child);
        } else if (name == "Instances") {
            for (const TXmlNode& item : child.ChildElements()) Instances.AddInstance().LoadFromXml(item);
        } else if (name == "Classes") {
            for (const TXmlNode& item : child.ChildElements()) Classes.AddClass().LoadFromXml(item);
        } else if (name == "Scripts") {
            for (const TXmlNode& item : child.ChildElements()) Scripts.AddScript().LoadFromXml(item);
        } else if (name == "MethodBodies") {
            for (const TXmlNode& item : child.ChildElements()) MethodBodies.AddBody().LoadFromXml(item);
        }
    }
}

bool ReadAbcExactly(const uint8_t* data, size_t size, TSWFAS3Block& block, std::string* reason) {
    auto refuse = [&](const std::string& why) {
        block.ClearAbc();
        if (reason) *reason = why;
        return false;
    };
    TMemoryStream in(std::vector<uint8_t>(data, data + size));
    TBitsEngine be(in);
    try {
        block.ReadAbc(be);
    } catch (const EAbcNotModelled& unknown) {
        return refuse(unknown.what());
    } catch (const EReadError& failure) {
        block.ClearAbc();
        throw EReadError(FormatStr("The ABC block of %zu bytes cannot be read at byte %lld: %s", size,
                                   static_cast<long long>(in.GetPosition()), failure.what()));
    }
    if (in.Remaining() > 0)
        return refuse(FormatStr("%lld bytes follow the last method body", static_cast<long long>(in.Remaining())));
    std::vector<uint8_t> written = block.AbcBytes();
    if (written.size() != size || !std::equal(written.begin(), written.end(), data)) {
        size_t at = 0;
        while (at < size && at < written.size() && written[at] == data[at]) ++at;
        return refuse(FormatStr("the block is not in the form the model writes (first difference at byte %zu, "
                                "such as a number in a longer encoding than it needs)",
                                at));
    }
    return true;
}
