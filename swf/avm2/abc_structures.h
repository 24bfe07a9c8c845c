// ActionScript 3 byte code (ABC): the structures after the constant pool
// (method signatures, metadata, instances, classes, scripts and method
// bodies, and the traits they share), each read and written in the layout of
// the ABC format, and the whole block (TSWFAS3Block) that runs them in ABC
// order and gives their XML form. Method bodies keep their code as bytes.
//
// Like the pool, these keep exactly what they can write back: a trait kind
// or flag bit the format reserves raises EAbcNotModelled while reading.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "swf/avm2/abc_pool.h"

class TSWFAS3MethodOptions {
public:
    uint32_t Value = 0;  // index of the constant
    uint8_t Kind = 0;    // the constant's kind
};

class TSWFAS3Method {
public:
    TSWFIntegerList ParamTypes;  // multiname indices; its length is the parameter count
    uint32_t ReturnType = 0;
    uint32_t Name = 0;
    bool NeedArguments = false;
    bool NeedActivation = false;
    bool NeedRest = false;
    bool HasOptional = false;
    bool SetDxns = false;
    bool HasParamNames = false;
    std::vector<TSWFAS3MethodOptions> Options;
    TSWFIntegerList ParamNames;  // string indices

    // Also sets HasOptional.
    TSWFAS3MethodOptions& AddOption();

    void ReadFromStream(TBitsEngine& be);
    void WriteToStream(TBitsEngine& be) const;
    void LoadFromXml(const TXmlNode& node);
    void SaveToXml(TXmlNode node) const;
};

class TSWFAS3Methods {
public:
    std::vector<TSWFAS3Method> Items;

    TSWFAS3Method& AddMethod() { return Items.emplace_back(); }
    TSWFAS3Method& GetMethod(size_t index) { return Items.at(index); }
    size_t Count() const { return Items.size(); }

    void ReadFromStream(TBitsEngine& be);
    void WriteToStream(TBitsEngine& be) const;
    void LoadFromXml(const TXmlNode& node);
    void SaveToXml(TXmlNode node) const;
};

class TSWFAS3MetadataItem {
public:
    uint32_t Key = 0;    // string indices
    uint32_t Value = 0;
};

class TSWFAS3MetadataInfo {
public:
    uint32_t Name = 0;
    std::vector<TSWFAS3MetadataItem> Items;

    TSWFAS3MetadataItem& AddItem() { return Items.emplace_back(); }
};

class TSWFAS3Metadata {
public:
    std::vector<TSWFAS3MetadataInfo> Items;

    TSWFAS3MetadataInfo& AddInfo() { return Items.emplace_back(); }
    TSWFAS3MetadataInfo& GetInfo(size_t index) { return Items.at(index); }
    size_t Count() const { return Items.size(); }

    void ReadFromStream(TBitsEngine& be);
    void WriteToStream(TBitsEngine& be) const;
    void LoadFromXml(const TXmlNode& node);
    void SaveToXml(TXmlNode node) const;
};

// Trait types.
enum : uint8_t {
    kTraitSlot = 0,
    kTraitMethod = 1,
    kTraitGetter = 2,
    kTraitSetter = 3,
    kTraitClass = 4,
    kTraitFunction = 5,
    kTraitConst = 6,
};

class TSWFAS3Trait {
public:
    uint32_t Name = 0;  // multiname index
    uint8_t TraitType = kTraitSlot;
    bool IsFinal = false;
    bool IsOverride = false;
    uint32_t ID = 0;      // slot or dispatch ID
    uint32_t SpecID = 0;  // type name, class index or method index
    uint32_t VIndex = 0;  // slot and const
    uint8_t VKind = 0;

    bool HasMetadata() const { return metadata_.has_value(); }
    // On creates an empty metadata list, off drops it.
    void SetHasMetadata(bool has);
    // Created (and HasMetadata set) when missing.
    TSWFIntegerList& GetMetadata();

    void ReadFromStream(TBitsEngine& be);
    void WriteToStream(TBitsEngine& be) const;
    void LoadFromXml(const TXmlNode& node);
    void SaveToXml(TXmlNode node) const;

private:
    std::optional<TSWFIntegerList> metadata_;
};

// The root of the structures that hold traits.
class TSWFAS3Traits {
public:
    std::vector<TSWFAS3Trait> Traits;

    TSWFAS3Trait& AddTrait() { return Traits.emplace_back(); }
    TSWFAS3Trait& GetTrait(size_t index) { return Traits.at(index); }

protected:
    void ReadTraits(TBitsEngine& be);
    void WriteTraits(TBitsEngine& be) const;
    void SaveTraitsToXml(TXmlNode node) const;
};

class TSWFAS3InstanceItem : public TSWFAS3Traits {
public:
    uint32_t Name = 0;       // multiname indices
    uint32_t SuperName = 0;
    bool ClassSealed = false;
    bool ClassFinal = false;
    bool ClassInterface = false;
    bool ClassProtectedNs = false;
    uint32_t ProtectedNs = 0;  // namespace index
    TSWFIntegerList Interfaces;
    uint32_t Iinit = 0;        // method index

    void ReadFromStream(TBitsEngine& be);
    void WriteToStream(TBitsEngine& be) const;
    void LoadFromXml(const TXmlNode& node);
    void SaveToXml(TXmlNode node) const;
};

// A class initialiser with the class's static traits, or a script
// initialiser with the script's traits.
class TSWFAS3ClassInfo : public TSWFAS3Traits {
public:
    uint32_t Init = 0;  // method index

    void ReadFromStream(TBitsEngine& be);
    void WriteToStream(TBitsEngine& be) const;
    void LoadFromXml(const TXmlNode& node);
    void SaveToXml(TXmlNode node) const;
};

class TSWFAS3Exception {
public:
    uint32_t From = 0, To = 0, Target = 0;  // code offsets
    uint32_t ExcType = 0, VarName = 0;      // multiname indices
};

class TSWFAS3MethodBodyInfo : public TSWFAS3Traits {
public:
    uint32_t Method = 0;
    uint32_t MaxStack = 0;
    uint32_t LocalCount = 0;
    uint32_t InitScopeDepth = 0;
    uint32_t MaxScopeDepth = 0;
    std::vector<uint8_t> Code;
    std::vector<TSWFAS3Exception> Exceptions;

    TSWFAS3Exception& AddException() { return Exceptions.emplace_back(); }
    // Two upper-case hex digits per byte.
    std::string GetCodeHex() const;
    // A last odd digit is ignored; a character that is not a hex digit is an
    // EConvertError.
    void SetCodeHex(const std::string& text);

    void ReadFromStream(TBitsEngine& be);
    void WriteToStream(TBitsEngine& be) const;
    void LoadFromXml(const TXmlNode& node);
    void SaveToXml(TXmlNode node) const;
};

// The instance and class lists carry no count of their own: the block has
// one class count for both, which the caller reads and writes.
class TSWFAS3Instance {
public:
    std::vector<TSWFAS3InstanceItem> Items;

    TSWFAS3InstanceItem& AddInstance() { return Items.emplace_back(); }
    TSWFAS3InstanceItem& GetInstance(size_t index) { return Items.at(index); }
    size_t Count() const { return Items.size(); }

    void ReadFromStream(TBitsEngine& be, uint32_t count);
    void WriteToStream(TBitsEngine& be) const;
};

class TSWFAS3Classes {
public:
    std::vector<TSWFAS3ClassInfo> Items;

    TSWFAS3ClassInfo& AddClass() { return Items.emplace_back(); }
    TSWFAS3ClassInfo& GetClass(size_t index) { return Items.at(index); }
    size_t Count() const { return Items.size(); }

    void ReadFromStream(TBitsEngine& be, uint32_t count);
    void WriteToStream(TBitsEngine& be) const;
};

class TSWFAS3Scripts {
public:
    std::vector<TSWFAS3ClassInfo> Items;

    TSWFAS3ClassInfo& AddScript() { return Items.emplace_back(); }
    TSWFAS3ClassInfo& GetScript(size_t index) { return Items.at(index); }
    size_t Count() const { return Items.size(); }

    void ReadFromStream(TBitsEngine& be);
    void WriteToStream(TBitsEngine& be) const;
};

class TSWFAS3MethodBodies {
public:
    std::vector<TSWFAS3MethodBodyInfo> Items;

    TSWFAS3MethodBodyInfo& AddBody() { return Items.emplace_back(); }
    TSWFAS3MethodBodyInfo& GetBody(size_t index) { return Items.at(index); }
    size_t Count() const { return Items.size(); }

    void ReadFromStream(TBitsEngine& be);
    void WriteToStream(TBitsEngine& be) const;
};

// One ABC block after its version numbers, in ABC order.
class TSWFAS3Block {
public:
    TSWFAS3ConstantPool ConstantPool;
    TSWFAS3Methods Methods;
    TSWFAS3Metadata Metadata;
    TSWFAS3Instance Instances;
    TSWFAS3Classes Classes;
    TSWFAS3Scripts Scripts;
    TSWFAS3MethodBodies MethodBodies;

    void ClearAbc();
    // Damaged data raises EReadError, data the model cannot keep
    // EAbcNotModelled. Bytes after the last method body are left unread.
    void ReadAbc(TBitsEngine& be);
    // EWriteError when the instance and class lists differ in length.
    void WriteAbc(TBitsEngine& be) const;
    std::vector<uint8_t> AbcBytes() const;
    // The seven children of the tag's element, always all of them.
    void SaveAbcToXml(TXmlNode node) const;
    // Children of those names that have children are appended to the model;
    // others are ignored.
    void LoadAbcFromXml(const TXmlNode& node);
};

// Reads data into block when the model can write it back byte for byte.
// Otherwise leaves block empty and says why in reason (damaged data still
// raises EReadError).
bool ReadAbcExactly(const uint8_t* data, size_t size, TSWFAS3Block& block, std::string* reason = nullptr);
