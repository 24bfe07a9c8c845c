// ActionScript 3 byte code (ABC): the constant pool and its multiname
// records, read and written in the layout of the ABC format, and their XML
// form. Every other ABC structure refers to these entries by index.
//
// ABC integers (u30, u32 and s32) travel as EncodedU32; a signed value is
// kept as its 32-bit pattern. Entry 0 of every pool is implied and not
// stored: item k of a list stands for ABC index k + 1.
//
// The model keeps exactly what it can write back: a value it has no place
// for (a multiname kind it does not know, a flag bit the format reserves)
// raises EAbcNotModelled while reading, and the DoABC tag then keeps its
// block as bytes rather than write something else.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/xml.h"
#include "swf/bits_engine.h"

// An ABC block that reads without fault but holds a value the model cannot
// write back as it stands.
class EAbcNotModelled : public Exception { using Exception::Exception; };

// Reads an item count and checks it against the bytes left, each item taking
// at least minItemBytes: a count from the file never drives work or memory
// for items that are not there.
uint32_t ReadAbcCount(TBitsEngine& be, uint32_t minItemBytes, const char* what);

class TSWFIntegerList {
public:
    std::vector<uint32_t> Items;

    size_t Count() const { return Items.size(); }
    void Add(uint32_t value) { Items.push_back(value); }
    uint32_t GetItem(size_t index) const { return Items.at(index); }
    void SetItem(size_t index, uint32_t value) { Items.at(index) = value; }
    bool operator==(const TSWFIntegerList&) const = default;

    // EncodedU32 count, then each value.
    void ReadFromStream(TBitsEngine& be);
    void WriteToStream(TBitsEngine& be) const;
};

class TSWFDoubleObject {
public:
    explicit TSWFDoubleObject(double value = 0) : Value(value) {}
    double Value;
};

class TSWFNameSpaceObject {
public:
    TSWFNameSpaceObject(uint8_t kind = 0, uint32_t name = 0) : Kind(kind), Name(name) {}
    uint8_t Kind;
    uint32_t Name;  // string index
};

// Multiname kinds.
enum : uint8_t {
    kMnQName = 0x07,
    kMnQNameA = 0x0D,
    kMnRTQName = 0x0F,
    kMnRTQNameA = 0x10,
    kMnRTQNameL = 0x11,
    kMnRTQNameLA = 0x12,
    kMnMultiname = 0x09,
    kMnMultinameA = 0x0E,
    kMnMultinameL = 0x1B,
    kMnMultinameLA = 0x1C,
    // A generic type applied to parameters (Vector.<int>).
    kMnTypeName = 0x1D,
};

// The root of the multinames, and the class of the kinds without data. The
// pool reads and writes the kind byte; each class its fields after it.
class TSWFBasedMultiNameObject {
public:
    explicit TSWFBasedMultiNameObject(uint8_t kind = kMnRTQNameL) : Kind(kind) {}
    virtual ~TSWFBasedMultiNameObject() = default;

    uint8_t Kind;

    virtual std::unique_ptr<TSWFBasedMultiNameObject> Clone() const {
        return std::make_unique<TSWFBasedMultiNameObject>(*this);
    }
    virtual void ReadFromStream(TBitsEngine&) {}
    virtual void WriteToStream(TBitsEngine&) const {}
    virtual void LoadFromXml(const TXmlNode& node);
    virtual void SaveToXml(TXmlNode node) const;
};

class TSWFmnQName : public TSWFBasedMultiNameObject {
public:
    using TSWFBasedMultiNameObject::TSWFBasedMultiNameObject;
    uint32_t NameSpace = 0;
    uint32_t Name = 0;

    std::unique_ptr<TSWFBasedMultiNameObject> Clone() const override { return std::make_unique<TSWFmnQName>(*this); }
    void ReadFromStream(TBitsEngine& be) override;
    void WriteToStream(TBitsEngine& be) const override;
    void LoadFromXml(const TXmlNode& node) override;
    void SaveToXml(TXmlNode node) const override;
};

class TSWFmnRTQName : public TSWFBasedMultiNameObject {
public:
    using TSWFBasedMultiNameObject::TSWFBasedMultiNameObject;
    uint32_t Name = 0;

    std::unique_ptr<TSWFBasedMultiNameObject> Clone() const override { return std::make_unique<TSWFmnRTQName>(*this); }
    void ReadFromStream(TBitsEngine& be) override;
    void WriteToStream(TBitsEngine& be) const override;
    void LoadFromXml(const TXmlNode& node) override;
    void SaveToXml(TXmlNode node) const override;
};

class TSWFmnMultiname : public TSWFBasedMultiNameObject {
public:
    using TSWFBasedMultiNameObject::TSWFBasedMultiNameObject;
    uint32_t Name = 0;
    uint32_t NameSpaceSet = 0;

    std::unique_ptr<TSWFBasedMultiNameObject> Clone() const override {
        return std::make_unique<TSWFmnMultiname>(*this);
    }
    void ReadFromStream(TBitsEngine& be) override;
    void WriteToStream(TBitsEngine& be) const override;
    void LoadFromXml(const TXmlNode& node) override;
    void SaveToXml(TXmlNode node) const override;
};

class TSWFmnMultinameL : public TSWFBasedMultiNameObject {
public:
    using TSWFBasedMultiNameObject::TSWFBasedMultiNameObject;
    uint32_t NameSpaceSet = 0;

    std::unique_ptr<TSWFBasedMultiNameObject> Clone() const override {
        return std::make_unique<TSWFmnMultinameL>(*this);
    }
    void ReadFromStream(TBitsEngine& be) override;
    void WriteToStream(TBitsEngine& be) const override;
    void LoadFromXml(const TXmlNode& node) override;
    void SaveToXml(TXmlNode node) const override;
};

// QName is the multiname of the generic type, Params those of its
// arguments; in XML one "Param" child per argument, the index as its text.
class TSWFmnTypeName : public TSWFBasedMultiNameObject {
public:
    using TSWFBasedMultiNameObject::TSWFBasedMultiNameObject;
    uint32_t QName = 0;
    TSWFIntegerList Params;

    std::unique_ptr<TSWFBasedMultiNameObject> Clone() const override {
        return std::make_unique<TSWFmnTypeName>(*this);
    }
    void ReadFromStream(TBitsEngine& be) override;
    void WriteToStream(TBitsEngine& be) const override;
    void LoadFromXml(const TXmlNode& node) override;
    void SaveToXml(TXmlNode node) const override;
};

bool IsKnownMultinameKind(uint8_t kind);
// The class of a kind, with Kind set; a kind outside the table gives a
// MultinameL.
std::unique_ptr<TSWFBasedMultiNameObject> CreateMultinameByKind(uint8_t kind);

class TSWFAS3ConstantPool {
public:
    TSWFIntegerList Integers;   // s32 bit patterns
    TSWFIntegerList UIntegers;
    std::vector<TSWFDoubleObject> Doubles;
    std::vector<std::string> Strings;  // bytes as they stand
    std::vector<TSWFNameSpaceObject> NameSpaces;
    std::vector<TSWFIntegerList> NameSpaceSets;
    std::vector<std::unique_ptr<TSWFBasedMultiNameObject>> Multinames;

    TSWFAS3ConstantPool() = default;
    TSWFAS3ConstantPool(const TSWFAS3ConstantPool& source) { CopyFrom(source); }
    TSWFAS3ConstantPool& operator=(const TSWFAS3ConstantPool& source) {
        if (this != &source) CopyFrom(source);
        return *this;
    }
    void CopyFrom(const TSWFAS3ConstantPool& source);
    void Clear();

    size_t IntCount() const { return Integers.Count(); }
    int32_t GetInt(size_t index) const { return static_cast<int32_t>(Integers.GetItem(index)); }
    size_t UIntCount() const { return UIntegers.Count(); }
    uint32_t GetUInt(size_t index) const { return UIntegers.GetItem(index); }
    size_t DoubleCount() const { return Doubles.size(); }
    double GetDouble(size_t index) const { return Doubles.at(index).Value; }
    size_t StringCount() const { return Strings.size(); }
    const std::string& GetString(size_t index) const { return Strings.at(index); }
    size_t NameSpaceCount() const { return NameSpaces.size(); }
    const TSWFNameSpaceObject& GetNameSpace(size_t index) const { return NameSpaces.at(index); }
    size_t NameSpaceSetCount() const { return NameSpaceSets.size(); }
    const TSWFIntegerList& GetNameSpaceSet(size_t index) const { return NameSpaceSets.at(index); }
    size_t MultinameCount() const { return Multinames.size(); }
    TSWFBasedMultiNameObject& GetMultiname(size_t index) const { return *Multinames.at(index); }

    // Index -1 appends; any other index replaces that item.
    void SetInt(int64_t index, int32_t value);
    void SetUInt(int64_t index, uint32_t value);
    void SetDouble(int64_t index, double value);
    void SetString(int64_t index, const std::string& value);
    void SetNameSpace(int64_t index, uint8_t kind, uint32_t name);
    void SetNameSpaceSet(int64_t index, const TSWFIntegerList& set);

    void ReadFromStream(TBitsEngine& be);
    void WriteToStream(TBitsEngine& be) const;
    // The children of the "ConstantPool" element.
    void LoadFromXml(const TXmlNode& node);
    void SaveToXml(TXmlNode node) const;
};

// Text of an ABC string for XML: the bytes as UTF-8 text, with control
// characters, "%", bytes that are not UTF-8 and a text of spaces alone
// written %XX, so that a parser gives back every byte.
std::string AbcStringToXmlText(const std::string& bytes);
std::string AbcStringFromXmlText(const std::string& text);
// Element text as it stands in the document (UTF-8, no code page).
void SetAbcElementText(TXmlNode node, const std::string& utf8);
// A number from an element's text (decimal or the toolkit's hex forms),
// taken modulo 2^32.
uint32_t AbcTextToU32(const TXmlNode& node);
uint32_t AbcAttrU32(const TXmlNode& node, const std::string& name);
