// ActionScript 3 byte code: one table of vectors per record family (the
// object built in code, the bytes it stands for), each checked both ways and
// through the XML form; blocks the model cannot hold exactly, which must stay
// bytes; damaged blocks, which must fail with a message; and the DoABC tag's
// body, version text, copies and XML forms inline and in external files.
// Last, the DoABC blocks that other tools wrote (the shared corpus, and
// movies haxe compiles: plain, with typed vectors, with an embedded font):
// modelled, written back byte for byte, and the same through every XML form.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>

#include "platform/testing/test_support.h"
#include "swf/do_abc.h"
#include "swf/reader.h"
#include "swf/tag_xml.h"
#include "swf/xml_form.h"
#include "test_util.h"
#include "tool_fixtures.h"

namespace {

template <class T>
Bytes WriteRecord(const T& record) {
    TMemoryStream out;
    TBitsEngine be(out);
    record.WriteToStream(be);
    return out.Bytes();
}

// Reads the whole of bytes into a new record; fails the test when bytes
// are left over.
template <class T>
T ReadRecord(const Bytes& bytes) {
    TMemoryStream in(bytes);
    TBitsEngine be(in);
    T record;
    record.ReadFromStream(be);
    EXPECT_EQ(in.Remaining(), 0) << "bytes left after the record";
    return record;
}

// Saved as an element, through the text of a document, and loaded again.
template <class T>
T ThroughXml(const T& record) {
    TXmlDocument doc;
    record.SaveToXml(doc.Root().AddChild("Record"));
    TXmlDocument reread;
    reread.LoadFromString(doc.SaveToString());
    T back;
    back.LoadFromXml(reread.DocumentElement());
    return back;
}

template <class T>
struct TVector {
    const char* name;
    std::function<void(T&)> fill;
    const char* hex;
};

// The object writes the bytes; the bytes read give an object that writes
// them again; the object through XML writes them too.
template <class T>
void CheckVectors(const std::vector<TVector<T>>& vectors) {
    for (const auto& vector : vectors) {
        SCOPED_TRACE(vector.name);
        T built;
        vector.fill(built);
        const std::string expected = ToHex(HexBytes(vector.hex));
        EXPECT_EQ(ToHex(WriteRecord(built)), expected);
        T read = ReadRecord<T>(HexBytes(vector.hex));
        EXPECT_EQ(ToHex(WriteRecord(read)), expected);
        EXPECT_EQ(ToHex(WriteRecord(ThroughXml(read))), expected);
    }
}

TSWFmnQName* AddQName(TSWFAS3ConstantPool& pool, uint8_t kind, uint32_t space, uint32_t name) {
    auto entry = std::make_unique<TSWFmnQName>(kind);
    entry->NameSpace = space;
    entry->Name = name;
    auto* raw = entry.get();
    pool.Multinames.push_back(std::move(entry));
    return raw;
}

}  // namespace

TEST(Abc, ConstantPoolVectors) {
    CheckVectors<TSWFAS3ConstantPool>({
        {"empty pool: seven zero counts", [](TSWFAS3ConstantPool&) {}, "00 00 00 00 00 00 00"},
        {"-1 takes five bytes, 5 one", [](TSWFAS3ConstantPool& p) { p.SetInt(-1, -1); p.SetInt(-1, 5); },
         "03 FF FF FF FF 0F 05 00 00 00 00 00 00"},
        {"unsigned from 2^31", [](TSWFAS3ConstantPool& p) { p.SetUInt(-1, 0x80000000u); },
         "00 02 80 80 80 80 08 00 00 00 00 00"},
        {"double little-endian", [](TSWFAS3ConstantPool& p) { p.SetDouble(-1, 1.5); },
         "00 00 02 00 00 00 00 00 00 F8 3F 00 00 00 00"},
        {"strings, empty and not", [](TSWFAS3ConstantPool& p) { p.SetString(-1, ""); p.SetString(-1, "hi"); },
         "00 00 00 03 00 02 68 69 00 00 00"},
        {"namespace", [](TSWFAS3ConstantPool& p) { p.SetNameSpace(-1, 0x16, 1); }, "00 00 00 00 02 16 01 00 00"},
        {"namespace sets",
         [](TSWFAS3ConstantPool& p) {
             TSWFIntegerList set;
             set.Add(1);
             set.Add(2);
             p.SetNameSpaceSet(-1, set);
             p.SetNameSpaceSet(-1, TSWFIntegerList());
         },
         "00 00 00 00 00 03 02 01 02 00 00"},
        {"every multiname kind",
         [](TSWFAS3ConstantPool& p) {
             AddQName(p, kMnQName, 1, 2);
             AddQName(p, kMnQNameA, 1, 2);
             for (uint8_t kind : {kMnRTQName, kMnRTQNameA}) {
                 auto name = std::make_unique<TSWFmnRTQName>(kind);
                 name->Name = 3;
                 p.Multinames.push_back(std::move(name));
             }
             p.Multinames.push_back(std::make_unique<TSWFBasedMultiNameObject>(kMnRTQNameL));
             p.Multinames.push_back(std::make_unique<TSWFBasedMultiNameObject>(kMnRTQNameLA));
             for (uint8_t kind : {kMnMultiname, kMnMultinameA}) {
                 auto name = std::make_unique<TSWFmnMultiname>(kind);
                 name->Name = 4;
                 name->NameSpaceSet = 1;
                 p.Multinames.push_back(std::move(name));
             }
             for (uint8_t kind : {kMnMultinameL, kMnMultinameLA}) {
                 auto name = std::make_unique<TSWFmnMultinameL>(kind);
                 name->NameSpaceSet = 1;
                 p.Multinames.push_back(std::move(name));
             }
             auto generic = std::make_unique<TSWFmnTypeName>(kMnTypeName);
             generic->QName = 1;
             generic->Params.Add(5);
             p.Multinames.push_back(std::move(generic));
         },
         "00 00 00 00 00 00 0C 07 01 02 0D 01 02 0F 03 10 03 11 12 09 04 01 0E 04 01 1B 01 1C 01 1D 01 01 05"},
    });
}

TEST(Abc, StructureVectors) {
    CheckVectors<TSWFAS3Method>({
        {"plain signature",
         [](TSWFAS3Method& m) {
             m.ParamTypes.Add(4);
             m.ParamTypes.Add(5);
             m.ReturnType = 3;
             m.Name = 6;
         },
         "02 03 04 05 06 00"},
        {"options and parameter names",
         [](TSWFAS3Method& m) {
             m.ParamTypes.Add(1);
             m.Name = 2;
             m.NeedArguments = true;
             auto& option = m.AddOption();
             option.Value = 3;
             option.Kind = 0x0C;
             m.HasParamNames = true;
             m.ParamNames.Add(7);
         },
         "01 00 01 02 89 01 03 0C 07"},
        {"every flag kept",
         [](TSWFAS3Method& m) {
             m.ParamTypes.Add(0);
             m.NeedArguments = m.NeedActivation = m.NeedRest = m.SetDxns = m.HasParamNames = true;
             auto& option = m.AddOption();
             option.Value = 1;
             option.Kind = 3;
             m.ParamNames.Add(5);
         },
         "01 00 00 00 CF 01 01 03 05"},
        {"flags with empty option and name lists",
         [](TSWFAS3Method& m) { m.HasOptional = m.HasParamNames = true; }, "00 00 00 88 00"},
    });
    CheckVectors<TSWFAS3Metadata>({
        {"one entry, two items",
         [](TSWFAS3Metadata& list) {
             auto& info = list.AddInfo();
             info.Name = 1;
             info.AddItem() = {2, 3};
             info.AddItem() = {4, 5};
         },
         "01 01 02 02 03 04 05"},
    });
    CheckVectors<TSWFAS3Trait>({
        {"slot without value: no kind byte",
         [](TSWFAS3Trait& t) {
             t.Name = 1;
             t.ID = 2;
             t.SpecID = 3;
         },
         "01 00 02 03 00"},
        {"final const with value and metadata: 0x56",
         [](TSWFAS3Trait& t) {
             t.Name = 1;
             t.TraitType = kTraitConst;
             t.IsFinal = true;
             t.VIndex = 4;
             t.VKind = 3;
             t.GetMetadata().Add(7);
         },
         "01 56 00 00 04 03 01 07"},
        {"override method: no value fields",
         [](TSWFAS3Trait& t) {
             t.Name = 2;
             t.TraitType = kTraitMethod;
             t.IsOverride = true;
             t.ID = 1;
             t.SpecID = 9;
         },
         "02 21 01 09"},
        {"metadata flag with an empty list",
         [](TSWFAS3Trait& t) {
             t.Name = 2;
             t.TraitType = kTraitMethod;
             t.ID = 1;
             t.SpecID = 9;
             t.SetHasMetadata(true);
         },
         "02 41 01 09 00"},
        {"class", [](TSWFAS3Trait& t) { t.Name = 3; t.TraitType = kTraitClass; t.ID = 1; }, "03 04 01 00"},
    });
    CheckVectors<TSWFAS3InstanceItem>({
        {"sealed final with protected namespace 3",
         [](TSWFAS3InstanceItem& i) {
             i.Name = 1;
             i.SuperName = 2;
             i.ClassSealed = i.ClassFinal = i.ClassProtectedNs = true;
             i.ProtectedNs = 3;
             i.Interfaces.Add(4);
             i.Iinit = 5;
             auto& t = i.AddTrait();
             t.Name = 1;
             t.ID = 2;
             t.SpecID = 3;
         },
         "01 02 0B 03 01 04 05 01 01 00 02 03 00"},
        {"protected namespace 0", [](TSWFAS3InstanceItem& i) { i.ClassProtectedNs = true; i.Iinit = 5; },
         "00 00 08 00 00 05 00"},
        {"interface", [](TSWFAS3InstanceItem& i) { i.Name = 7; i.ClassInterface = true; }, "07 00 04 00 00 00"},
    });
    CheckVectors<TSWFAS3ClassInfo>({
        {"initialiser and a trait",
         [](TSWFAS3ClassInfo& c) {
             c.Init = 2;
             auto& t = c.AddTrait();
             t.Name = 3;
             t.TraitType = kTraitFunction;
             t.SpecID = 4;
         },
         "02 01 03 05 00 04"},
    });
    CheckVectors<TSWFAS3MethodBodyInfo>({
        {"code and an exception",
         [](TSWFAS3MethodBodyInfo& b) {
             b.Method = 1;
             b.MaxStack = 2;
             b.LocalCount = 1;
             b.MaxScopeDepth = 1;
             b.Code = {0xD0, 0x30, 0x47};
             b.AddException() = {0, 2, 2, 4, 5};
         },
         "01 02 01 00 01 03 D0 30 47 01 00 02 02 04 05 00"},
        {"no code", [](TSWFAS3MethodBodyInfo& b) { b.Method = 1; }, "01 00 00 00 00 00 00 00"},
    });
}

TEST(Abc, XmlFormOfPoolValuesKeepsEveryBit) {
    TSWFAS3ConstantPool pool;
    pool.SetDouble(-1, std::nan(""));
    uint64_t otherNaN = 0x7FF4000000000001ull;
    double signalling;
    std::memcpy(&signalling, &otherNaN, 8);
    pool.SetDouble(-1, signalling);
    pool.SetDouble(-1, -0.0);
    pool.SetDouble(-1, 0.1);
    pool.SetDouble(-1, -INFINITY);
    pool.SetDouble(-1, 1e300);
    const std::vector<std::string> strings = {"",       "   ",          " a ", "50%", "tab\there\r\n",
                                              "\xC3\xA9t\xC3\xA9", "\xFF\x81 bad", std::string("nul\0in", 6),
                                              "\xED\xA0\x80"};
    for (const auto& text : strings) pool.SetString(-1, text);
    pool.SetUInt(-1, 0xFFFFFFFFu);

    TXmlDocument doc;
    TXmlNode node = doc.Root().AddChild("ConstantPool");
    pool.SaveToXml(node);
    const std::string xml = doc.SaveToString();
    // Valid UTF-8 stays readable; "%" and control characters are escaped.
    EXPECT_NE(xml.find("\xC3\xA9t\xC3\xA9"), std::string::npos);
    EXPECT_NE(xml.find("50%25"), std::string::npos);
    EXPECT_NE(xml.find(">NAN<"), std::string::npos);

    TXmlDocument reread;
    reread.LoadFromString(xml);
    TSWFAS3ConstantPool back;
    back.LoadFromXml(reread.DocumentElement());
    EXPECT_EQ(ToHex(WriteRecord(back)), ToHex(WriteRecord(pool)));
    ASSERT_EQ(back.StringCount(), strings.size());
    for (size_t i = 0; i < strings.size(); ++i) EXPECT_EQ(back.GetString(i), strings[i]) << i;
    EXPECT_EQ(back.GetUInt(0), 0xFFFFFFFFu);
}

TEST(Abc, XmlFormEdges) {
    // A "Double" of "NAN" is the quiet NaN of the sign bit.
    TXmlDocument doc;
    doc.LoadFromString("<ConstantPool><Double>NAN</Double><double>2.5</double><Int>-3</Int><UInt>-1</UInt>"
                       "<Strings/><NameSpaceSET><x>4</x></NameSpaceSET><Multiname Kind=\"17\"/>"
                       "<Other>9</Other></ConstantPool>");
    TSWFAS3ConstantPool pool;
    pool.LoadFromXml(doc.DocumentElement());
    ASSERT_EQ(pool.DoubleCount(), 2u);
    uint64_t bits;
    double value = pool.GetDouble(0);
    std::memcpy(&bits, &value, 8);
    EXPECT_EQ(bits, 0xFFF8000000000000ull);
    EXPECT_EQ(pool.GetDouble(1), 2.5);
    EXPECT_EQ(pool.GetInt(0), -3);
    EXPECT_EQ(pool.GetUInt(0), 0xFFFFFFFFu);
    ASSERT_EQ(pool.StringCount(), 1u);
    EXPECT_EQ(pool.GetString(0), "");
    EXPECT_EQ(pool.GetNameSpaceSet(0).Items, std::vector<uint32_t>{4});
    ASSERT_EQ(pool.MultinameCount(), 1u);

    // A kind-0x11 name saves its kind alone; a Multiname saves its set and name.
    TXmlDocument out;
    TXmlNode names = out.Root().AddChild("P");
    pool.GetMultiname(0).SaveToXml(names.AddChild("Multiname"));
    TSWFmnMultiname multiname(kMnMultiname);
    multiname.Name = 4;
    multiname.NameSpaceSet = 2;
    multiname.SaveToXml(names.AddChild("Multiname"));
    EXPECT_EQ(names.XmlText(),
              "<P><Multiname Kind=\"17\"/><Multiname Kind=\"9\" NameSpaceSET=\"2\" Name=\"4\"/></P>");

    // An instance loads ProtectedNs as the flag and its index; without the
    // attribute it has neither.
    TXmlDocument instances;
    instances.LoadFromString("<I><Instance Name=\"1\" SuperName=\"0\" Iinit=\"2\" ProtectedNs=\"3\"/>"
                             "<Instance Name=\"1\" SuperName=\"0\" Iinit=\"2\"/></I>");
    std::vector<TXmlNode> items = instances.DocumentElement().ChildElements();
    TSWFAS3InstanceItem with, without;
    with.LoadFromXml(items[0]);
    without.LoadFromXml(items[1]);
    EXPECT_TRUE(with.ClassProtectedNs);
    EXPECT_EQ(with.ProtectedNs, 3u);
    EXPECT_FALSE(without.ClassProtectedNs);

    // Parameter names given in XML set the flag on the stream.
    TXmlDocument method;
    method.LoadFromString("<Method Name=\"1\" ReturnType=\"0\" NeedArguments=\"false\" NeedActivation=\"False\" "
                          "NeedRest=\"FALSE\" SetDxns=\"0\"><Param Type=\"2\" Name=\"3\"/></Method>");
    TSWFAS3Method loaded;
    loaded.LoadFromXml(method.DocumentElement());
    EXPECT_EQ(ToHex(WriteRecord(loaded)), "01 00 02 01 80 03");

    // Code: an empty element for none; 70000 bytes survive; a last odd digit
    // is dropped and a stray character fails.
    TSWFAS3MethodBodyInfo empty;
    TXmlDocument bodyDoc;
    empty.SaveToXml(bodyDoc.Root().AddChild("MethodBody"));
    EXPECT_NE(bodyDoc.SaveToString().find("<Code />"), std::string::npos);
    EXPECT_TRUE(ThroughXml(empty).Code.empty());
    TSWFAS3MethodBodyInfo large;
    for (int i = 0; i < 70000; ++i) large.Code.push_back(static_cast<uint8_t>(i * 7));
    EXPECT_EQ(ThroughXml(large).Code, large.Code);
    large.SetCodeHex("D0304");
    EXPECT_EQ(large.Code, (Bytes{0xD0, 0x30}));
    EXPECT_THROW(large.SetCodeHex("D0Z0"), EConvertError);

    // A trait with children but no Metadata child is refused.
    TXmlDocument trait;
    trait.LoadFromString("<Trait ID=\"0\" SpecID=\"0\" Name=\"1\" TraitType=\"1\"><Other/></Trait>");
    TSWFAS3Trait refused;
    EXPECT_THROW(refused.LoadFromXml(trait.DocumentElement()), EConvertError);
}

TEST(Abc, WritingRefusesWhatCannotBeWritten) {
    TSWFAS3Method method;
    method.ParamTypes.Add(1);
    method.ParamTypes.Add(2);
    method.HasParamNames = true;
    method.ParamNames.Add(3);
    EXPECT_THROW(WriteRecord(method), EWriteError);

    TSWFAS3Block block;
    block.Classes.AddClass();
    TMemoryStream out;
    TBitsEngine be(out);
    EXPECT_THROW(block.WriteAbc(be), EWriteError);
}

// ---------------------------------------------------------------- DoABC tag

namespace {

const char* kEmptyPool = "00 00 00 00 00 00 00 ";
// One method, one script and one body whose code returns.
const std::string kSmallAbc = std::string(kEmptyPool) + "01 00 00 00 00 00 00 01 00 00 01 00 01 01 00 01 01 47 00 00";

Bytes DoAbcBody(const std::string& abcHex, const std::string& head = "00 00 00 00 00 10 00 2E 00") {
    return HexBytes(head + " " + abcHex);
}

std::unique_ptr<TSWFDoABC> ReadDoAbc(const Bytes& body, bool parse) {
    auto tag = std::make_unique<TSWFDoABC>();
    tag->ParseActions = parse;
    ReadBodyBytes(*tag, body);
    return tag;
}

// The body read raw and parsed, each copied and saved in every XML form and
// loaded again: every one writes the body unchanged.
void ExpectSameThroughEveryForm(const Bytes& body, const std::string& folder) {
    for (bool parse : {false, true}) {
        auto tag = ReadDoAbc(body, parse);
        SCOPED_TRACE(parse ? "parsed" : "raw");
        ASSERT_EQ(WriteBodyBytes(*tag), body);
        TSWFDoABC copy;
        copy.CopyFieldsFrom(*tag);
        EXPECT_EQ(WriteBodyBytes(copy), body);
        for (uint8_t options : {uint8_t(0), uint8_t(kXmlExternalActions)}) {
            for (uint8_t format : {0, 1}) {
                SCOPED_TRACE(FormatStr("external %d, format %d", options != 0, format));
                TXMLReadWriteSettings settings;
                settings.Options = options;
                settings.ActionFormat = format;
                settings.BaseFolder = folder;
                TXmlDocument doc;
                SaveTagElement(doc.Root(), *tag, settings);
                TXmlDocument reread;
                reread.LoadFromString(doc.SaveToString());
                auto loaded = LoadTagElement(reread.DocumentElement(), 10, settings);
                ASSERT_NE(loaded, nullptr);
                EXPECT_EQ(WriteBodyBytes(*loaded), body);
            }
        }
    }
}

}  // namespace

TEST(Abc, DoAbcBodies) {
    // Flags 1, a six-letter name, ABC 46.16, kept raw.
    const Bytes raw = HexBytes("01 00 00 00 66 72 61 6D 65 31 00 10 00 2E 00 AA BB");
    auto tag = ReadDoAbc(raw, false);
    EXPECT_TRUE(tag->LazyInitialize);
    EXPECT_EQ(tag->Name, "frame1");
    EXPECT_EQ(tag->GetVersionText(), "46.0.16.0");
    EXPECT_TRUE(tag->HasRawData);
    EXPECT_EQ(ToHex(WriteBodyBytes(*tag)), ToHex(raw));
    EXPECT_EQ(tag->RequiredVersion(), 9);

    // The same small block parsed: the model holds it and writes it back.
    const Bytes small = DoAbcBody(kSmallAbc);
    auto parsed = ReadDoAbc(small, true);
    EXPECT_FALSE(parsed->HasRawData) << parsed->RawReason;
    EXPECT_EQ(parsed->GetMethods().Count(), 1u);
    EXPECT_EQ(parsed->GetMethodBodies().GetBody(0).Code, Bytes{0x47});
    EXPECT_EQ(ToHex(WriteBodyBytes(*parsed)), ToHex(small));

    // Built in code: an empty name is one NUL byte.
    TSWFDoABC built;
    built.MinorVersion = 16;
    built.MajorVersion = 46;
    built.GetMethods().AddMethod();
    built.GetScripts().AddScript();
    auto& body = built.GetMethodBodies().AddBody();
    body.MaxStack = body.LocalCount = body.MaxScopeDepth = 1;
    body.Code = {0x47};
    EXPECT_EQ(ToHex(WriteBodyBytes(built)), ToHex(small));

    // The flag bits the format reserves are kept.
    const Bytes flags = HexBytes("03 00 00 80 00 10 00 2E 00 01");
    EXPECT_EQ(ToHex(WriteBodyBytes(*ReadDoAbc(flags, false))), ToHex(flags));

    // Copies are deep and write the same bytes.
    TSWFDoABC copy;
    copy.CopyFieldsFrom(*parsed);
    parsed->GetMethodBodies().GetBody(0).Code.push_back(0);
    EXPECT_EQ(ToHex(WriteBodyBytes(copy)), ToHex(small));
    TSWFDoABC rawCopy;
    rawCopy.CopyFieldsFrom(*tag);
    EXPECT_EQ(ToHex(WriteBodyBytes(rawCopy)), ToHex(raw));
}

TEST(Abc, VersionText) {
    TSWFDoABC tag;
    tag.SetVersionText("46.0.16.0");
    EXPECT_EQ(tag.MajorVersion, 46);
    EXPECT_EQ(tag.MinorVersion, 16);
    tag.SetVersionText("47.1.2.9");
    EXPECT_EQ(tag.MajorVersion, 47);
    EXPECT_EQ(tag.MinorVersion, 0x0102);
    EXPECT_EQ(tag.GetVersionText(), "47.1.2.0");
    tag.SetVersionText("300.0.256.0");
    EXPECT_EQ(tag.MajorVersion, 300 % 256);
    EXPECT_EQ(tag.MinorVersion, 0);
    for (const char* text : {"abc", "46.x.16.0", "", "46"}) {
        tag.SetVersionText(text);
        EXPECT_EQ(tag.MajorVersion, 46) << text;
        EXPECT_EQ(tag.MinorVersion, 16) << text;
    }
}

// Blocks that read without fault but hold what the model has no place for:
// read with parsing on, each stays bytes, unchanged.
TEST(Abc, BlocksTheModelCannotHoldStayBytes) {
    struct TCase {
        const char* name;
        std::string abc;
        const char* reason;
    };
    const std::string empty = "00 00 00 00 00";  // methods, metadata, classes, scripts, bodies
    const std::vector<TCase> cases = {
        {"unknown multiname kind", "00 00 00 00 00 00 02 42 01 " + empty, "0x42"},
        {"unknown kind that reads like a MultinameL", "00 00 00 00 00 00 03 42 01 1B 01 " + empty, "0x42"},
        {"method count in a longer encoding", std::string(kEmptyPool) + "80 00 00 00 00 00", "longer encoding"},
        {"native method flag", std::string(kEmptyPool) + "01 00 00 00 20 00 00 00 00", "0x20"},
        {"trait type 7", std::string(kEmptyPool) + "00 00 00 01 00 01 01 07 00 00 00", "0x07"},
        {"trait kind bit 0x80", std::string(kEmptyPool) + "00 00 00 01 00 01 01 81 00 00 00", "0x81"},
        {"instance flag 0x10", std::string(kEmptyPool) + "00 00 01 01 02 10 00 00 00 00 00 00 00", "0x10"},
        {"bytes after the last body", std::string(kEmptyPool) + empty + " FF", "follow"},
        {"empty pool counted 1", "01 00 00 00 00 00 00 " + empty, "longer encoding"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes body = DoAbcBody(c.abc);
        auto tag = ReadDoAbc(body, true);
        EXPECT_TRUE(tag->HasRawData);
        EXPECT_NE(tag->RawReason.find(c.reason), std::string::npos) << tag->RawReason;
        EXPECT_EQ(tag->GetMethods().Count(), 0u);
        EXPECT_EQ(ToHex(WriteBodyBytes(*tag)), ToHex(body));
        // Saved as XML in either format, inline or not, it comes back the same.
        ExpectSameThroughEveryForm(body, TestScratchFolder("tw_abc_raw"));
    }
}

// Counts and lengths past the end of the block fail with a message, and the
// file reader keeps such a tag as its bytes.
TEST(Abc, DamagedBlocksFailWithAMessage) {
    struct TCase {
        const char* name;
        std::string abc;
    };
    const std::vector<TCase> cases = {
        {"method count", std::string(kEmptyPool) + "FF FF FF FF 07"},
        {"integer pool count", "FF FF FF FF 0F"},
        {"string length", "00 00 00 02 7F 61"},
        {"class count", std::string(kEmptyPool) + "00 00 FF FF 03 00"},
        {"code length", std::string(kEmptyPool) + "00 00 00 00 01 00 00 00 00 00 FF FF 03 47"},
        {"trait count", std::string(kEmptyPool) + "00 00 00 01 00 FF FF 7F"},
        {"namespace set count", "00 00 00 00 00 02 FF FF FF 0F"},
        {"no ABC data at all", ""},
        {"cut inside a double", "00 00 02 00 00 F8"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes body = DoAbcBody(c.abc);
        TSWFDoABC tag;
        tag.ParseActions = true;
        try {
            ReadBodyBytes(tag, body);
            ADD_FAILURE() << "read without failing";
        } catch (const EReadError& failure) {
            EXPECT_NE(std::string(failure.what()).find("ABC"), std::string::npos) << failure.what();
        }
        std::unique_ptr<TSWFObject> obj = std::make_unique<TSWFDoABC>();
        TMemoryStream stream(body);
        TTagReadContext context;
        context.ParseActions = true;
        EXPECT_FALSE(ReadTagObject(obj, TagCodes::DoABC, stream, 0, static_cast<int32_t>(body.size()), context));
        EXPECT_EQ(ToHex(WriteTagBytes(*obj)).substr(6), ToHex(body)) << "a raw tag keeps the bytes";
    }
    // Every prefix of a good block fails or stays bytes; none is misread.
    const Bytes whole = HexBytes(kSmallAbc);
    for (size_t n = 0; n < whole.size(); ++n) {
        Bytes body = DoAbcBody(ToHex(Bytes(whole.begin(), whole.begin() + static_cast<long>(n))));
        TSWFDoABC tag;
        tag.ParseActions = true;
        try {
            ReadBodyBytes(tag, body);
            EXPECT_TRUE(tag.HasRawData) << n;
            EXPECT_EQ(ToHex(WriteBodyBytes(tag)), ToHex(body));
        } catch (const EReadError&) {
        }
    }
}

TEST(Abc, DoAbcXmlInlineAndInExternalFiles) {
    const Bytes small = DoAbcBody(kSmallAbc, "01 00 00 00 41 42 25 C3 A9 FF 00 10 00 2E 00");
    auto parsed = ReadDoAbc(small, true);
    ASSERT_FALSE(parsed->HasRawData) << parsed->RawReason;
    auto raw = ReadDoAbc(small, false);
    const std::string folder = TestScratchFolder("tw_abc_xml");

    for (uint8_t options : {uint8_t(0), uint8_t(kXmlExternalActions)}) {
        for (uint8_t format : {0, 1}) {
            for (TSWFDoABC* tag : {parsed.get(), raw.get()}) {
                SCOPED_TRACE(FormatStr("external %d, format %d, %s", options != 0, format,
                                       tag->HasRawData ? "raw" : "parsed"));
                TXMLReadWriteSettings settings;
                settings.Options = options;
                settings.ActionFormat = format;
                settings.BaseFolder = folder;
                TXmlDocument doc;
                SaveTagElement(doc.Root(), *tag, settings);
                TXmlNode element = doc.DocumentElement();
                EXPECT_EQ(element.AttrStr("Version"), "46.0.16.0");
                EXPECT_TRUE(element.AttrBool("LazyInitializeFlag"));
                if (options) {
                    // Only the attributes stay in the element.
                    EXPECT_EQ(element.ChildCount(), 0u);
                    EXPECT_EQ(element.AttrStr("FileType"), format == 0 ? "AC" : "bytecode");
                } else if (format == 0) {
                    EXPECT_FALSE(element.ChildNode("MethodBodies").IsNull());
                } else {
                    EXPECT_EQ(element.TextUtf8(), BinToHexStr(HexBytes(kSmallAbc).data(), HexBytes(kSmallAbc).size()));
                }
                TXmlDocument reread;
                reread.LoadFromString(doc.SaveToString());
                auto loaded = LoadTagElement(reread.DocumentElement(), 9, settings);
                ASSERT_NE(loaded, nullptr);
                auto& abc = dynamic_cast<TSWFDoABC&>(*loaded);
                EXPECT_EQ(abc.HasRawData, format == 1);
                EXPECT_EQ(ToHex(WriteBodyBytes(abc)), ToHex(small));
            }
        }
    }

    // A major version the text cannot carry keeps an attribute of its own.
    const Bytes major = DoAbcBody(kSmallAbc, "00 00 00 00 00 10 00 02 01");
    auto odd = ReadDoAbc(major, false);
    TXMLReadWriteSettings settings;
    settings.Options = 0;
    settings.ActionFormat = 1;
    TXmlDocument doc;
    SaveTagElement(doc.Root(), *odd, settings);
    auto loaded = LoadTagElement(doc.DocumentElement(), 9, settings);
    EXPECT_EQ(ToHex(WriteBodyBytes(*loaded)), ToHex(major));

    // Hand-written elements: letters for a version give 46.16; a single
    // element child is not hexadecimal text.
    TXmlDocument written;
    written.LoadFromString("<DoABC Name=\"\" LazyInitializeFlag=\"false\" Version=\"abc\">0102</DoABC>");
    loaded = LoadTagElement(written.DocumentElement(), 9, settings);
    EXPECT_EQ(ToHex(WriteBodyBytes(*loaded)), "00 00 00 00 00 10 00 2E 00 01 02");
    TXmlDocument refused;
    refused.LoadFromString("<DoABC Name=\"\" LazyInitializeFlag=\"false\" Version=\"46.0.16.0\"><Methods/></DoABC>");
    EXPECT_THROW(LoadTagElement(refused.DocumentElement(), 9, settings), EConvertError);

    // A missing external file fails the element rather than leave an empty
    // block in place of the code.
    TXmlDocument missing;
    missing.LoadFromString("<DoABC Name=\"\" LazyInitializeFlag=\"false\" Version=\"46.0.16.0\" "
                           "File=\"no-such-abc.dat\" FileType=\"bytecode\"/>");
    settings.BaseFolder = folder;
    EXPECT_THROW(LoadTagElement(missing.DocumentElement(), 9, settings), EFOpenError);
}

// ---------------------------------------------------------------- blocks of other tools

namespace {

Bytes TagBody(TSWFStreamReader& reader, const TSWFTagInfo& info) {
    const uint8_t* body = reader.GetBodyStream().Memory();
    int64_t start = int64_t(info.Offset) + info.GetFullSize() - info.BodySize;
    return Bytes(body + start, body + start + info.BodySize);
}

struct TAbcFileResult {
    int blocks = 0;
    int modelled = 0;
    bool typeNames = false;
};

// Reads the file with parsing on: every DoABC is an object and every tag
// writes back its own body; then each DoABC goes through every XML form.
TAbcFileResult CheckFile(const std::string& path, const std::string& folder) {
    TAbcFileResult result;
    Bytes file = ReadFileBytes(path);
    TMemoryStream in(file);
    auto reader = TSWFStreamReader::CreateFromStream(in);
    reader->ParseTags(false, false);
    std::vector<Bytes> bodies;
    for (const auto& info : reader->Tags) bodies.push_back(TagBody(*reader, *info));
    reader->ParseTags(true, true);
    for (const auto& info : reader->Tags) {
        if (info->TagCode != TagCodes::DoABC) continue;
        ++result.blocks;
        auto* tag = dynamic_cast<TSWFDoABC*>(info->Object);
        if (!tag) {
            ADD_FAILURE() << path << ": a DoABC is not an object";
            continue;
        }
        if (!tag->HasRawData) ++result.modelled;
        else std::printf("%s: a DoABC stays bytes: %s\n", path.c_str(), tag->RawReason.c_str());
        for (size_t i = 0; i < tag->ConstantPool.MultinameCount(); ++i)
            result.typeNames |= tag->ConstantPool.GetMultiname(i).Kind == kMnTypeName;
    }
    reader->MakeStream();
    TMemoryStream saved;
    reader->SaveToStream(saved);
    TMemoryStream again(saved.Bytes());
    auto rewritten = TSWFStreamReader::CreateFromStream(again);
    rewritten->ParseTags(false, false);
    EXPECT_EQ(rewritten->Tags.size(), bodies.size()) << path;
    for (size_t i = 0; i < bodies.size() && i < rewritten->Tags.size(); ++i)
        EXPECT_EQ(TagBody(*rewritten, *rewritten->Tags[i]), bodies[i])
            << path << ": tag " << i << " (code " << rewritten->Tags[i]->TagCode << ")";
    for (size_t i = 0; i < bodies.size(); ++i) {
        if (reader->Tags[i]->TagCode != TagCodes::DoABC) continue;
        SCOPED_TRACE(path);
        ExpectSameThroughEveryForm(bodies[i], folder);
    }
    return result;
}

}  // namespace

TEST(ToolFixtures, HaxeAbcBlocksAreModelledAndWrittenBackUnchanged) {
    const std::vector<std::string> movies = {HaxeFixture(), HaxeVectorFixture(), HaxeFontFixture()};
    for (const std::string& path : movies)
        if (path.empty()) TW_SKIP_OR_FAIL() << "haxe is not installed";
    const std::string folder = TestScratchFolder("tw_abc_haxe");
    for (const std::string& path : movies) {
        SCOPED_TRACE(path);
        TAbcFileResult result = CheckFile(path, folder);
        EXPECT_EQ(result.blocks, 1);
        // haxe writes nothing the model has no place for.
        EXPECT_EQ(result.modelled, result.blocks);
        if (path == movies[1]) {
            EXPECT_TRUE(result.typeNames) << "the vector program names no generic type";
        }
    }
}

TEST(Corpus, EveryDoAbcIsWrittenBackUnchanged) {
    std::vector<std::string> files = CorpusFiles();
    if (files.empty()) TW_SKIP_OR_FAIL() << "no corpus at " << SharedDir() << "/corpus/swf-gnash";
    const std::string folder = TestScratchFolder("tw_abc_corpus");
    int blocks = 0, modelled = 0;
    for (const std::string& path : files) {
        Bytes file = ReadFileBytes(path);
        TMemoryStream in(file);
        auto reader = TSWFStreamReader::CreateFromStream(in);
        reader->ParseTags(false, false);
        bool any = false;
        for (const auto& info : reader->Tags) any |= info->TagCode == TagCodes::DoABC;
        if (!any) continue;
        TAbcFileResult result = CheckFile(path, folder);
        blocks += result.blocks;
        modelled += result.modelled;
    }
    std::printf("corpus: %d DoABC blocks, %d modelled\n", blocks, modelled);
    EXPECT_GT(blocks, 0);
}
