#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include <unistd.h>

#include "actions_fixture.h"
#include "platform/paths.h"
#include "platform/random.h"
#include "swf/actions_swf4.h"
#include "swf/actions_swf5.h"
#include "swf/do_action.h"
#include "swf/names.h"
#include "test_util.h"

namespace fs = std::filesystem;
using actions_fixture::BuildScript;

namespace {

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes Str(const std::string& text) {
    Bytes b(text.begin(), text.end());
    b.push_back(0);
    return b;
}

Bytes RecordBytes(TSWFAction& action) {
    TMemoryStream out;
    TBitsEngine be(out);
    action.WriteAction(be);
    return out.Bytes();
}

Bytes ListBytes(const TSWFActionList& list) {
    TMemoryStream out;
    TBitsEngine be(out);
    for (const auto& action : list) action->WriteAction(be);
    return out.Bytes();
}

// Reads records as a block, with the ActionEnd that closes every block.
void ReadList(const Bytes& records, TSWFActionList& list) {
    Bytes block = records;
    block.push_back(0);
    TMemoryStream in(block);
    TBitsEngine be(in);
    ReadActionList(be, list, static_cast<int64_t>(block.size()));
    EXPECT_EQ(in.GetPosition(), in.GetSize());
}

// The action's fields as its XML form shows them, without the marker labels
// (a record read alone has its targets outside the block).
std::string FieldsOf(TSWFAction& action) {
    TXmlDocument doc;
    TXmlNode element = SaveToXmlChild(action, doc.Root().AddChild("r"));
    for (const char* name : {"Label", "TryLabel", "CatchLabel", "FinallyLabel"}) element.Raw().remove_attribute(name);
    return doc.SaveToString();
}

std::string Labels(const TSWFActionList& list) {
    std::string out;
    for (const auto& action : list)
        if (auto* marker = dynamic_cast<const TSWFOffsetMarker*>(action.get())) out += "[" + marker->Label + "]";
        else out += ActionCodeToName(action->ActionCode, false) + " ";
    return out;
}

template <class T>
std::function<std::unique_ptr<TSWFAction>()> Make(std::function<void(T&)> fill = nullptr) {
    return [fill] {
        auto action = std::make_unique<T>();
        if (fill) fill(*action);
        return std::unique_ptr<TSWFAction>(std::move(action));
    };
}

struct Vector {
    const char* name;
    int version;
    std::function<std::unique_ptr<TSWFAction>()> build;
    Bytes record;
};

std::vector<Vector> Vectors() {
    return {
        {"Push text and int", 5,
         Make<TSWFActionPush>([](auto& a) { a.AddValue("ParamsDefine"), a.AddValue(3); }),
         HexBytes("96 13 00 00 50 61 72 61 6D 73 44 65 66 69 6E 65 00 07 03 00 00 00")},
        {"Push double 1.0", 5, Make<TSWFActionPush>([](auto& a) { a.AddValue(1.0); }),
         HexBytes("96 09 00 06 00 00 F0 3F 00 00 00 00")},
        {"Push texts and floats", 4, Make<TSWFActionPush>([](auto& a) { a.AddValue("a"), a.AddValue(0.5f); }),
         HexBytes("96 08 00 00 61 00 01 00 00 00 3F")},
        {"Push null undefined bool reg const8 const16", 5, Make<TSWFActionPush>([](auto& a) {
             a.AddValue(TPushValue::Null()), a.AddValue(TPushValue::Undefined()), a.AddValue(true);
             a.AddValue(TPushValue::Register(1)), a.AddValue(TPushValue::Constant8(0));
             a.AddValue(TPushValue::Constant16(0x0102));
         }),
         HexBytes("96 0B 00 02 03 05 01 04 01 08 00 09 02 01")},
        {"ConstantPool", 5,
         Make<TSWFActionConstantPool>([](auto& a) { a.Constants = {"ParamsDefine", "x"}; }),
         Cat({HexBytes("88 11 00 02 00"), Str("ParamsDefine"), Str("x")})},
        {"GetURL2 load variables, POST", 4,
         Make<TSWFActionGetURL2>([](auto& a) { a.LoadVariablesFlag = true, a.SendVarsMethod = 2; }),
         HexBytes("9A 01 00 82")},
        {"GetURL2 load target, GET", 4,
         Make<TSWFActionGetURL2>([](auto& a) { a.LoadTargetFlag = true, a.SendVarsMethod = 1; }),
         HexBytes("9A 01 00 41")},
        {"GotoFrame2 play", 4, Make<TSWFActionGotoFrame2>([](auto& a) { a.PlayFlag = true; }),
         HexBytes("9F 01 00 01")},
        {"GotoFrame2 scene bias", 4,
         Make<TSWFActionGotoFrame2>([](auto& a) { a.SceneBiasFlag = true, a.SceneBias = 0x0203; }),
         HexBytes("9F 03 00 02 03 02")},
        {"Call", 4, Make<TSWFActionCall>(), HexBytes("9E 00 00")},
        {"WaitForFrame2 keeps its skip count", 4, Make<TSWFActionWaitForFrame2>([](auto& a) { a.SkipCount = 3; }),
         HexBytes("8D 01 00 03")},
        {"Try catch in register 1", 7, Make<TSWFActionTry>([](auto& a) {
             a.CatchBlockFlag = a.CatchInRegisterFlag = true, a.CatchRegister = 1;
             a.SetTrySize(4), a.SetCatchSize(2), a.SetFinallySize(0);
         }),
         HexBytes("8F 08 00 05 04 00 02 00 00 00 01")},
        {"Try catch named, finally", 7, Make<TSWFActionTry>([](auto& a) {
             a.CatchBlockFlag = a.FinallyBlockFlag = true, a.CatchName = "e";
             a.SetTrySize(1), a.SetCatchSize(2), a.SetFinallySize(3);
         }),
         HexBytes("8F 09 00 03 01 00 02 00 03 00 65 00")},
        {"DefineFunction2 PreloadThis and PreloadGlobal", 7, Make<TSWFActionDefineFunction2>([](auto& a) {
             a.FunctionName = "f", a.RegisterCount = 3, a.PreloadThis = a.PreloadGlobal = true;
             a.AddParam("p", 2);
             a.SetCodeSize(5);
         }),
         HexBytes("8E 0C 00 66 00 01 00 03 01 01 02 70 00 05 00")},
        {"DefineFunction", 5, Make<TSWFActionDefineFunction>([](auto& a) {
             a.FunctionName = "g", a.Params = {"a", "b"};
             a.SetCodeSize(0x0102);
         }),
         HexBytes("9B 0A 00 67 00 02 00 61 00 62 00 02 01")},
        {"With", 5, Make<TSWFActionWith>([](auto& a) { a.SetBlockSize(7); }), HexBytes("94 02 00 07 00")},
        {"StoreRegister", 5, Make<TSWFActionStoreRegister>([](auto& a) { a.RegisterNumber = 3; }),
         HexBytes("87 01 00 03")},
        {"GotoFrame", 3, Make<TSWFActionGotoFrame>([](auto& a) { a.Frame = 0x0105; }), HexBytes("81 02 00 05 01")},
        {"GetURL", 3, Make<TSWFActionGetUrl>([](auto& a) { a.URL = "u", a.Target = "_t"; }),
         HexBytes("83 05 00 75 00 5F 74 00")},
        {"WaitForFrame", 3, Make<TSWFActionWaitForFrame>([](auto& a) { a.Frame = 2, a.SkipCount = 1; }),
         HexBytes("8A 03 00 02 00 01")},
        {"SetTarget", 3, Make<TSWFActionSetTarget>([](auto& a) { a.TargetName = "m"; }), HexBytes("8B 02 00 6D 00")},
        {"GoToLabel", 3, Make<TSWFActionGoToLabel>([](auto& a) { a.Label = "L"; }), HexBytes("8C 02 00 4C 00")},
        {"Play", 3, Make<TSWFActionPlay>(), HexBytes("06")},
        {"Trace", 4, Make<TSWFActionTrace>(), HexBytes("26")},
        {"Equals2", 5, Make<TSWFActionEquals2>(), HexBytes("49")},
        {"StrictEquals", 6, Make<TSWFActionStrictEquals>(), HexBytes("66")},
        {"Throw", 7, Make<TSWFActionThrow>(), HexBytes("2A")},
    };
}

}  // namespace

TEST(ActionRecords, VectorsBothWays) {
    for (const Vector& v : Vectors()) {
        SCOPED_TRACE(v.name);
        auto built = v.build();
        EXPECT_EQ(ToHex(RecordBytes(*built)), ToHex(v.record));
        EXPECT_EQ(built->RequiredVersion(), v.version);
        EXPECT_EQ(ActionRecordSize(*built), v.record.size());

        TSWFActionList list;
        ReadList(v.record, list);
        ASSERT_EQ(list.Count(), 1u) << Labels(list);
        TSWFAction& read = *list.GetAction(0);
        EXPECT_EQ(read.ActionCode, built->ActionCode);
        EXPECT_EQ(FieldsOf(read), FieldsOf(*built));
        EXPECT_EQ(ToHex(RecordBytes(read)), ToHex(v.record));

        auto copy = CreateActionByCode(read.ActionCode);
        copy->CopyFieldsFrom(read);
        EXPECT_EQ(ToHex(RecordBytes(*copy)), ToHex(v.record));
    }
}

TEST(ActionRecords, FactoryCoversTheNameTable) {
    for (int code = 0; code < 256; ++code) {
        auto action = CreateActionByCode(static_cast<uint8_t>(code));
        EXPECT_EQ(action != nullptr, IsKnownActionCode(static_cast<uint8_t>(code))) << code;
        if (action) {
            EXPECT_EQ(action->ActionCode, code);
        }
    }
    EXPECT_EQ(CreateActionByCode(0x16), nullptr);
    EXPECT_NE(dynamic_cast<TSWFDoAction*>(CreateTagByCode(12).get()), nullptr);
    auto init = CreateTagByCode(59);
    ASSERT_NE(dynamic_cast<TSWFDoInitAction*>(init.get()), nullptr);
    EXPECT_EQ(init->TagCode, 59);
}

TEST(ActionRecords, PushReadKeepsTypesAndValues) {
    // Register 1 and constant 0 stay what they were; type 5 reads as an
    // integer; a type byte with no meaning is kept and written back.
    Bytes record = HexBytes("96 0C 00 04 01 08 00 05 01 0B 07 FF FF FF FF");
    TSWFActionList list;
    ReadList(record, list);
    auto* push = dynamic_cast<TSWFActionPush*>(list.GetAction(0));
    ASSERT_NE(push, nullptr);
    ASSERT_EQ(push->GetValueCount(), 5u);
    EXPECT_EQ(push->GetValueInfo(0).ValueType, kPushRegister);
    EXPECT_EQ(push->GetValue(0).AsInteger(), 1);
    EXPECT_EQ(push->GetValueInfo(1).ValueType, kPushConstant8);
    EXPECT_EQ(push->GetValue(1).AsInteger(), 0);
    EXPECT_EQ(push->GetValue(2).AsInteger(), 1);
    EXPECT_EQ(push->GetValueInfo(3).ValueType, 0x0B);
    EXPECT_EQ(push->GetValue(4).AsInteger(), -1);
    EXPECT_EQ(ToHex(RecordBytes(*push)), ToHex(record));

    // The texts that stand for null and undefined.
    TSWFActionPush built;
    built.AddValue("FlashVar_null");
    built.AddValue("FlashVar_undefined");
    built.AddValue(TPushValue());
    EXPECT_EQ(ToHex(RecordBytes(built)), "96 03 00 02 03 03");
    EXPECT_EQ(built.GetValue(0).AsString(), "null");
}

TEST(ActionRecords, GetUrlWritesUtf8AndReadsBytes) {
    TSWFActionGetUrl url;
    url.URL = "caf\xE9";
    url.Target = "\xE9";
    Bytes record = RecordBytes(url);
    EXPECT_EQ(ToHex(record), "83 08 00 63 61 66 C3 A9 00 E9 00");
    TSWFActionList list;
    ReadList(record, list);
    auto* read = dynamic_cast<TSWFActionGetUrl*>(list.GetAction(0));
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->URL, "caf\xC3\xA9");
    EXPECT_EQ(read->Target, "\xE9");
}

TEST(ActionRecords, LongConstantPoolWrapsItsLength) {
    // More than 64 KB of constants: the length field holds the size modulo
    // 65536, and the pool is read back by its count.
    TSWFDoAction tag;
    auto& pool = *tag.Actions().Add(std::make_unique<TSWFActionConstantPool>());
    for (int i = 0; i < 700; ++i) pool.Constants.push_back(std::string(99, static_cast<char>('a' + i % 26)));
    tag.Actions().Add(std::make_unique<TSWFActionStop>());
    Bytes body = WriteBodyBytes(tag);
    ASSERT_EQ(body.size(), 3u + 2 + 700 * 100 + 2);
    EXPECT_EQ(body[1] | body[2] << 8, (2 + 700 * 100) & 0xFFFF);
    TSWFDoAction read;
    read.SetParseActions(true);
    ReadBodyBytes(read, body);
    ASSERT_EQ(read.Actions().Count(), 2u);
    auto* readPool = dynamic_cast<TSWFActionConstantPool*>(read.Actions().GetAction(0));
    ASSERT_NE(readPool, nullptr);
    EXPECT_EQ(readPool->Constants, pool.Constants);
    EXPECT_EQ(WriteBodyBytes(read), body);
}

TEST(ActionRecords, FindsTheEndOfABlock) {
    // Play, a record whose body holds a 0 byte, Stop, ActionEnd, then more.
    TMemoryStream in(HexBytes("AA 06 81 02 00 00 00 07 00 06"));
    in.SetPosition(1);
    TBitsEngine be(in);
    EXPECT_EQ(FindActionListEnd(be), 9);
    EXPECT_EQ(in.GetPosition(), 1);
    // No ActionEnd, or a length running past the stream: the start.
    TMemoryStream open(HexBytes("06 96 09 00 00"));
    TBitsEngine openEngine(open);
    EXPECT_EQ(FindActionListEnd(openEngine), 0);
}

TEST(ActionRecords, ByteCodeHexText) {
    TSWFActionByteCode raw;
    raw.Data = {0x0A, 0xFF};
    EXPECT_EQ(raw.GetHexText(), "0AFF");
    raw.SetHexText("0aff1");
    EXPECT_EQ(raw.Data, (Bytes{0x0A, 0xFF}));
    EXPECT_THROW(raw.SetHexText("zz"), EConvertError);
    raw.SetHexText("");
    EXPECT_TRUE(raw.Data.empty());
}

// ---------------------------------------------------------------- markers

TEST(ActionMarkers, OffsetsComeFromMarkerPositions) {
    // L: Play; Jump L (backward); If M (forward); Stop; M:
    TSWFActionList list;
    auto back = std::make_unique<TSWFActionJump>();
    list.AddMarker(back->GetLabel());
    list.Add(std::make_unique<TSWFActionPlay>());
    list.Add(std::move(back));
    auto& ahead = *list.Add(std::make_unique<TSWFActionIf>());
    ahead.GetLabel().Backward = false;
    list.Add(std::make_unique<TSWFActionStop>());
    list.AddMarker(ahead.GetLabel());
    // Jump: -(1 + 5) = -6 = FA FF; If: over the Stop, 1.
    EXPECT_EQ(ToHex(ListBytes(list)), "06 99 02 00 FA FF 9D 02 00 01 00 07");
    // A second write gives the same bytes.
    EXPECT_EQ(ToHex(ListBytes(list)), "06 99 02 00 FA FF 9D 02 00 01 00 07");

    // A branch is signed: one over 40000 bytes cannot be written.
    TSWFActionList far;
    auto& jump = *far.Add(std::make_unique<TSWFActionJump>());
    jump.GetLabel().Backward = false;
    far.Add(std::make_unique<TSWFActionPush>())->AddValue(std::string(40000, 'x'));
    far.AddMarker(jump.GetLabel());
    EXPECT_THROW(ListBytes(far), EWriteError);

    // With, DefineFunction2 and Try measure their blocks from markers too.
    TSWFActionList blocks;
    auto& with = *blocks.Add(std::make_unique<TSWFActionWith>());
    blocks.Add(std::make_unique<TSWFActionPlay>());
    blocks.AddMarker(with.GetLabel());
    auto& block = *blocks.Add(std::make_unique<TSWFActionTry>());
    block.CatchBlockFlag = block.CatchInRegisterFlag = true;
    block.CatchRegister = 1;
    blocks.Add(std::make_unique<TSWFActionPlay>());
    blocks.Add(std::make_unique<TSWFActionStop>());
    blocks.AddMarker(block.GetTryLabel());
    blocks.Add(std::make_unique<TSWFActionGotoFrame>());
    blocks.AddMarker(block.GetCatchLabel());
    EXPECT_EQ(ToHex(ListBytes(blocks)),
              "94 02 00 01 00 06 "
              "8F 08 00 05 02 00 05 00 00 00 01 06 07 81 02 00 00 00");
}

TEST(ActionMarkers, ReadingPlacesLabelledMarkers) {
    struct Case {
        const char* name;
        Bytes block;
        const char* labels;
    } cases[] = {
        {"offset 0 gets no marker", HexBytes("99 02 00 00 00 06"), "Jump Play "},
        {"jump to its own first byte", HexBytes("06 99 02 00 FB FF 07"), "Play [label 1]Jump Stop "},
        {"two branches to one target", HexBytes("99 02 00 06 00 9D 02 00 01 00 06 07"),
         "Jump If Play [label 2][label 1]Stop "},
        {"one counter for labels and try blocks",
         HexBytes("99 02 00 0B 00 8F 08 00 07 01 00 01 00 01 00 01 06 07 06 99 02 00 FB FF"),
         "Jump Try [label 1]Play [Try 2]Stop [Catch 2]Play [Finally 2][label 3]Jump "},
        {"jump to the end", HexBytes("99 02 00 01 00 06"), "Jump Play [label 1]"},
        {"into an instruction", HexBytes("99 02 00 01 00 81 02 00 01 00"), "Jump GotoFrame "},
        {"past the end", HexBytes("99 02 00 09 00 06"), "Jump Play "},
        {"before the start", HexBytes("06 99 02 00 F0 FF"), "Play Jump "},
        {"across unknown codes", HexBytes("99 02 00 05 00 16 A0 01 00 FF 06"), "Jump ByteCode ByteCode [label 1]Play "},
        {"code after an inner ActionEnd", HexBytes("99 02 00 01 00 00 06"), "Jump ByteCode [label 1]Play "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TSWFActionList list;
        ReadList(c.block, list);
        EXPECT_EQ(Labels(list), c.labels);
        // The offsets are kept as read, whatever they point at.
        EXPECT_EQ(ToHex(ListBytes(list)), ToHex(c.block));
    }
    TSWFActionList list;
    ReadList(HexBytes("99 02 00 01 00 81 02 00 01 00"), list);
    auto* jump = dynamic_cast<TSWFActionJump*>(list.GetAction(0));
    ASSERT_TRUE(jump && jump->LabelMarker.Get());
    EXPECT_EQ(jump->LabelMarker.Get()->Label, "Error Size offset: 1");
    EXPECT_FALSE(jump->LabelMarker.Get()->Placed);
}

TEST(ActionMarkers, CopiesKeepTheirTargets) {
    auto tag = BuildScript();
    Bytes original = WriteBodyBytes(*tag);
    TSWFDoAction copy;
    copy.CopyFieldsFrom(*tag);
    EXPECT_EQ(WriteBodyBytes(copy), original);

    // A copy of a list that was read keeps its labels in the XML form.
    TSWFDoAction read;
    read.SetParseActions(true);
    ReadBodyBytes(read, original);
    TSWFDoAction readCopy;
    readCopy.CopyFieldsFrom(read);
    TXmlDocument doc;
    TXMLReadWriteSettings settings;
    settings.Options = 0;
    TXmlNode element = doc.Root().AddChild("DoAction");
    readCopy.SaveToXml(element, settings);
    TSWFDoAction loaded;
    loaded.LoadFromXml(element, settings);
    EXPECT_EQ(ToHex(WriteBodyBytes(loaded)), ToHex(original));

    // A Try that uses markers stays so when copied alone.
    TSWFActionTry block;
    block.GetTryLabel();
    TSWFActionTry single;
    single.CopyFieldsFrom(block);
    EXPECT_FALSE(single.SizesGiven);
}

// ---------------------------------------------------------------- XML

TEST(ActionXml, BuiltBlockRoundTripsThroughXml) {
    auto tag = BuildScript();
    Bytes original = WriteBodyBytes(*tag);

    TSWFDoAction read;
    read.SetParseActions(true);
    ReadBodyBytes(read, original);
    EXPECT_EQ(ToHex(WriteBodyBytes(read)), ToHex(original));

    TXmlDocument doc;
    TXMLReadWriteSettings settings;
    settings.Options = 0;
    TXmlNode element = doc.Root().AddChild("DoAction");
    read.SaveToXml(element, settings);
    // Through text, as a file would carry it.
    TXmlDocument reparsed;
    reparsed.LoadFromString(doc.SaveToString());
    TSWFDoAction loaded;
    loaded.LoadFromXml(reparsed.DocumentElement(), settings);
    EXPECT_EQ(ToHex(WriteBodyBytes(loaded)), ToHex(original));
    EXPECT_EQ(loaded.RequiredVersion(), 7);
}

TEST(ActionXml, ExternalFilesRoundTrip) {
    fs::path folder = fs::temp_directory_path() / ("actions_xml_" + std::to_string(::getpid()));
    fs::create_directories(folder);
    auto tag = BuildScript();
    TSWFDoInitAction init;
    init.SpriteID = 12;
    CopyActionList(tag->Actions(), init.Actions());
    Bytes original = WriteBodyBytes(init);
    for (uint8_t format : {0, 1}) {
        SCOPED_TRACE(format);
        TXMLReadWriteSettings settings;
        settings.Options = kXmlExternalActions;
        settings.ActionFormat = format;
        settings.BaseFolder = folder.string();
        settings.CommonDataFolder = (folder / "data").string();
        TXmlDocument doc;
        TXmlNode element = doc.Root().AddChild("DoInitAction");
        init.SaveToXml(element, settings);
        EXPECT_EQ(element.ChildCount(), 0u);
        EXPECT_EQ(element.AttrStr("FileType"), format == 0 ? "AC" : "bytecode");
        std::string file = settings.GetFullFileName(kDataKindActions, element.AttrStr("File"));
        ASSERT_TRUE(FileExists(file)) << file;
        if (format == 0) {
            Bytes text = ReadFileBytes(file);
            std::string head(text.begin(), text.begin() + 40);
            EXPECT_EQ(head, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n");
        }
        TSWFDoInitAction loaded;
        loaded.LoadFromXml(element, settings);
        EXPECT_EQ(loaded.SpriteID, 12);
        EXPECT_EQ(ToHex(WriteBodyBytes(loaded)), ToHex(original));
    }
    // A missing file loads the element's own children.
    TXMLReadWriteSettings settings;
    TXmlDocument doc;
    TXmlNode element = doc.Root().AddChild("DoAction");
    element.SetAttr("File", "no-such-file.dat");
    element.AddChild("Play");
    TSWFDoAction fallback;
    fallback.LoadFromXml(element, settings);
    EXPECT_EQ(ToHex(WriteBodyBytes(fallback)), "06 00");
    fs::remove_all(folder);
}

TEST(ActionXml, ExternalFileIsUtf8) {
    fs::path folder = fs::temp_directory_path() / ("actions_utf8_" + std::to_string(::getpid()));
    fs::create_directories(folder);
    TSWFDoAction tag;
    tag.Actions().Add(std::make_unique<TSWFActionPush>())->AddValue("caf\xE9");
    TXMLReadWriteSettings settings;
    settings.Options = kXmlExternalActions;
    settings.BaseFolder = folder.string();
    settings.CommonDataFolder = folder.string();
    TXmlDocument doc;
    TXmlNode element = doc.Root().AddChild("DoAction");
    tag.SaveToXml(element, settings);
    Bytes text = ReadFileBytes(settings.GetFullFileName(kDataKindActions, element.AttrStr("File")));
    EXPECT_NE(std::string(text.begin(), text.end()).find("caf\xC3\xA9"), std::string::npos);
    TSWFDoAction loaded;
    loaded.LoadFromXml(element, settings);
    EXPECT_EQ(WriteBodyBytes(loaded), WriteBodyBytes(tag));
    fs::remove_all(folder);
}

TEST(ActionXml, LabelsBindToOffsetElements) {
    struct Case {
        const char* name;
        const char* xml;
        const char* bytes;
    } cases[] = {
        {"forward", "<a><Jump Label='L1'/><Play/><Offset Label='L1'/></a>", "99 02 00 01 00 06 00"},
        {"backward", "<a><Offset Label='l1'/><Play/><Jump Label='L1'/></a>", "06 99 02 00 FA FF 00"},
        {"two jumps, one label", "<a><Jump Label='L'/><Jump Label='L'/><Offset Label='L'/></a>",
         "99 02 00 05 00 99 02 00 00 00 00"},
        {"no label, no marker", "<a><Jump/><Stop/></a>", "99 02 00 00 00 07 00"},
        {"unknown elements skipped", "<a><Nothing/><Stop/></a>", "07 00"},
        {"function body", "<a><DefineFunction Name='f' Label='E'><Variable>p</Variable></DefineFunction><Play/>"
                          "<Offset Label='E'/></a>",
         "9B 08 00 66 00 01 00 70 00 01 00 06 00"},
        {"with, no offset element", "<a><With Label='W'/><Play/></a>", "94 02 00 00 00 06 00"},
        {"Offset element before a function", "<a><Offset Label='E'/><DefineFunction Name='' Label='E'/></a>",
         "9B 05 00 00 00 00 00 00 00"},
        {"try with catch in register",
         "<a><Try Catch='2' TryLabel='T' CatchLabel='C'/><Play/><Offset Label='T'/><Stop/><Offset Label='C'/></a>",
         "8F 08 00 05 01 00 01 00 00 00 02 06 07 00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TXmlDocument doc;
        doc.LoadFromString(c.xml);
        TXMLReadWriteSettings settings;
        TSWFDoAction tag;
        tag.LoadFromXml(doc.DocumentElement(), settings);
        EXPECT_EQ(ToHex(WriteBodyBytes(tag)), c.bytes);
    }
}

TEST(ActionXml, PushValuesAndConstants) {
    TXmlDocument doc;
    doc.LoadFromString(
        "<Push><Variable>12</Variable><Variable>1.5</Variable><Variable>TRUE</Variable><Variable>abc</Variable>"
        "<Variable>FlashVar_null</Variable><Variable Type='reg'>3</Variable><Variable Type='FLOAT'>0.5</Variable>"
        "</Push>");
    TSWFActionPush push;
    push.LoadFromXml(doc.DocumentElement());
    std::vector<uint8_t> types;
    for (const auto& info : push.Values) types.push_back(info->ValueType);
    EXPECT_EQ(types, (std::vector<uint8_t>{kPushInteger, kPushDouble, kPushBoolean, kPushString, kPushNull,
                                           kPushRegister, kPushFloat}));
    TXmlDocument bad;
    bad.LoadFromString("<Push><Variable Type='word'>1</Variable></Push>");
    TSWFActionPush rejected;
    EXPECT_THROW(rejected.LoadFromXml(bad.DocumentElement()), EConvertError);

    // Line ends (every carriage return escaped) and blank texts survive.
    TSWFActionConstantPool pool;
    pool.Constants = {"a\nb\r\nc", "x\n\ny", " ", ""};
    TSWFActionPush blank;
    blank.AddValue("  ");
    TXmlDocument out;
    SaveToXmlChild(pool, out.Root().AddChild("r"));
    SaveToXmlChild(blank, out.Root().ChildNode("r"));
    std::string text = out.SaveToString();
    EXPECT_NE(text.find("b#$D\nc"), std::string::npos) << text;
    TXmlDocument in;
    in.LoadFromString(text);
    TSWFActionConstantPool loadedPool;
    loadedPool.LoadFromXml(in.DocumentElement().ChildNode("ConstantPool"));
    EXPECT_EQ(loadedPool.Constants, pool.Constants);
    TSWFActionPush loadedBlank;
    loadedBlank.LoadFromXml(in.DocumentElement().ChildNode("Push"));
    EXPECT_EQ(loadedBlank.GetValue(0).AsString(), "  ");
}

// ---------------------------------------------------------------- tags

TEST(DoActionTag, RawAndParsedForms) {
    Bytes body = HexBytes("96 02 00 08 00 26 00");
    TSWFDoAction raw;
    ReadBodyBytes(raw, body);
    ASSERT_EQ(raw.Actions().Count(), 1u);
    EXPECT_EQ(raw.Actions().GetAction(0)->ActionCode, kActionByteCode);
    EXPECT_EQ(ActionRecordSize(*raw.Actions().GetAction(0)), body.size() - 1);
    EXPECT_EQ(WriteBodyBytes(raw), body);

    TSWFDoInitAction init;
    init.SetParseActions(true);
    ReadBodyBytes(init, Cat({{0x05, 0x00}, body}));
    EXPECT_EQ(init.SpriteID, 5);
    EXPECT_EQ(init.Actions().Count(), 2u);
    EXPECT_EQ(init.RequiredVersion(), 6);
    EXPECT_EQ(WriteBodyBytes(init), Cat({{0x05, 0x00}, body}));

    TSWFDoAction empty;
    EXPECT_EQ(ToHex(WriteBodyBytes(empty)), "00");
    EXPECT_EQ(empty.RequiredVersion(), 3);

    // A tag over a list it does not own leaves the list to its keeper.
    TSWFActionList list;
    list.Add(std::make_unique<TSWFActionStop>());
    {
        auto over = TSWFDoAction::CreateWithList(list);
        EXPECT_FALSE(over->OwnsActions());
        EXPECT_EQ(ToHex(WriteBodyBytes(*over)), "07 00");
    }
    EXPECT_EQ(list.Count(), 1u);

    // The loader hands the element to the handler when one is assigned.
    TSWFDoAction handled;
    int calls = 0;
    handled.OnLoadActions = [&](TSWFDoAction&, const TXmlNode&) { ++calls; };
    TXmlDocument doc;
    doc.LoadFromString("<DoAction><Stop/></DoAction>");
    TXMLReadWriteSettings settings;
    handled.LoadFromXml(doc.DocumentElement(), settings);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(handled.Actions().Empty());
}

TEST(DoActionTag, FindsTheTemplateParameterDocument) {
    const std::string document = "<ParamsDefine><Bg.Color type=\"color\"/></ParamsDefine>";
    auto build = [&](uint8_t nameType, bool poolHasName) {
        auto tag = std::make_unique<TSWFDoAction>();
        auto& pool = *tag->Actions().Add(std::make_unique<TSWFActionConstantPool>());
        pool.Constants = {"x", poolHasName ? "paramsdefine" : "other", document};
        auto& push = *tag->Actions().Add(std::make_unique<TSWFActionPush>());
        push.AddValue(nameType == kPushConstant8 ? TPushValue::Constant8(1) : TPushValue::Constant16(1));
        push.AddValue(TPushValue::Constant16(2));
        tag->Actions().Add(std::make_unique<TSWFActionSetVariable>());
        return tag;
    };
    EXPECT_EQ(FindParamsDefine(*build(kPushConstant8, true)), document);
    EXPECT_EQ(FindParamsDefine(*build(kPushConstant16, true)), document);
    EXPECT_FALSE(FindParamsDefine(*build(kPushConstant8, false)).has_value());

    // Through a file's bytes: the parsed tag gives the same text.
    auto tag = build(kPushConstant8, true);
    TSWFDoAction read;
    read.SetParseActions(true);
    ReadBodyBytes(read, WriteBodyBytes(*tag));
    EXPECT_EQ(FindParamsDefine(read), document);

    // A pool whose declared length is shorter than its strings is read by
    // its strings, so the look-up still finds the document; written again it
    // declares its true length.
    Bytes body = WriteBodyBytes(*tag);
    ASSERT_EQ(body[0], 0x88);
    const int trueLength = body[1] | body[2] << 8;
    body[1] = 5;
    body[2] = 0;
    TSWFDoAction shortPool;
    shortPool.SetParseActions(true);
    ReadBodyBytes(shortPool, body);
    EXPECT_EQ(FindParamsDefine(shortPool), document);
    ASSERT_EQ(shortPool.Actions().Count(), 3u);
    Bytes rewritten = WriteBodyBytes(shortPool);
    EXPECT_EQ(rewritten[1] | rewritten[2] << 8, trueLength);

    // A reference past the pool names nothing.
    auto broken = build(kPushConstant8, true);
    dynamic_cast<TSWFActionPush*>(broken->Actions().GetAction(1))->GetValueInfo(1).Value = TPushValue::Constant16(9);
    EXPECT_FALSE(FindParamsDefine(*broken).has_value());
}

// ---------------------------------------------------------------- bad input

TEST(ActionDamage, BadBlocksReadWithoutHarm) {
    struct Case {
        const char* name;
        Bytes block;
        bool identical;
    } cases[] = {
        {"length past the end", HexBytes("06 96 40 00 00 61 00"), true},
        {"length byte cut off", HexBytes("06 96 01"), false},
        {"unknown long code", HexBytes("A5 03 00 01 02 03 07 00"), true},
        {"string past its length", HexBytes("96 02 00 00 61 62 63 00 00"), true},
        {"padding after the fields", HexBytes("81 04 00 01 00 EE EE 00"), true},
        {"pool count too large", HexBytes("88 04 00 05 00 61 00 00"), true},
        {"function body past the end", HexBytes("9B 05 00 00 00 00 FF 7F 06 00"), true},
        {"try sizes past the end", HexBytes("8F 08 00 07 FF FF FF FF FF FF 00 00"), true},
        {"no end byte", HexBytes("06 07"), false},
        {"empty", Bytes{}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TSWFDoAction tag;
        tag.SetParseActions(true);
        ReadBodyBytes(tag, c.block);
        Bytes written = WriteBodyBytes(tag);
        if (c.identical) {
            EXPECT_EQ(ToHex(written), ToHex(c.block));
        }
        // Whatever was read is a fixed point of writing and reading.
        TSWFDoAction again;
        again.SetParseActions(true);
        ReadBodyBytes(again, written);
        EXPECT_EQ(WriteBodyBytes(again), written);
    }
}

TEST(ActionDamage, MutatedBlocksNeverCrash) {
    Bytes original = WriteBodyBytes(*BuildScript());
    TRandomSource random(20261210);
    int identical = 0;
    for (int round = 0; round < 1000; ++round) {
        Bytes mutated = original;
        int edits = 1 + static_cast<int>(random.Next(4));
        for (int k = 0; k < edits; ++k) {
            size_t at = random.Next(static_cast<uint32_t>(mutated.size()));
            switch (random.Next(3)) {
                case 0: mutated[at] = static_cast<uint8_t>(random.Next(256)); break;
                case 1: mutated[at] ^= static_cast<uint8_t>(1u << random.Next(8)); break;
                default: mutated.resize(at + 1); break;
            }
        }
        TSWFDoAction tag;
        tag.SetParseActions(true);
        try {
            ReadBodyBytes(tag, mutated);
            Bytes written = WriteBodyBytes(tag);
            if (written == mutated) ++identical;
            TSWFDoAction again;
            again.SetParseActions(true);
            ReadBodyBytes(again, written);
            EXPECT_EQ(WriteBodyBytes(again), written) << "round " << round;
            TXmlDocument doc;
            TXMLReadWriteSettings settings;
            settings.Options = 0;
            tag.SaveToXml(doc.Root().AddChild("DoAction"), settings);
        } catch (const Exception&) {
            // A failure with a message is fine; a crash is not.
        }
    }
    std::printf("mutated blocks written back unchanged: %d of 1000\n", identical);
}
