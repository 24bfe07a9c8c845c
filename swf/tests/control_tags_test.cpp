#include "swf/control_tags.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdio>
#include <functional>
#include <set>

#include "platform/clock.h"
#include "platform/errors.h"
#include "platform/stream.h"
#include "platform/xml.h"
#include "test_util.h"
#include "swf/xml_form.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Str(const std::string& text, bool nul = true) {
    Bytes b(text.begin(), text.end());
    if (nul) b.push_back(0);
    return b;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// Writes the whole record and returns its body, checking that the header
// frames it under the tag's own code and length.
Bytes BodyOf(TSWFObject& tag) {
    TMemoryStream out;
    TBitsEngine be(out);
    tag.WriteTag(be);
    const Bytes& all = out.Bytes();
    EXPECT_GE(all.size(), 2u);
    if (all.size() < 2) return {};
    uint16_t header = static_cast<uint16_t>(all[0] | all[1] << 8);
    EXPECT_EQ(header >> 6, tag.TagCode);
    size_t length = header & 63, start = 2;
    if (length == 63) {
        length = all[2] | all[3] << 8 | all[4] << 16 | static_cast<size_t>(all[5]) << 24;
        start = 6;
    }
    EXPECT_EQ(all.size(), start + length);
    return Bytes(all.begin() + static_cast<std::ptrdiff_t>(start), all.end());
}

// Reads a body the way the file reader hands one over, and insists that the
// tag consumed all of it.
void ReadInto(TSWFObject& tag, const Bytes& body) {
    TMemoryStream in{Bytes(body)};
    TBitsEngine be(in);
    tag.BodySize = static_cast<int32_t>(body.size());
    tag.ReadBody(be);
    EXPECT_EQ(in.GetPosition(), in.GetSize()) << "body not fully read";
}

std::string Hex(const Bytes& b) {
    std::string s;
    for (uint8_t c : b) s += FormatStr("%02X ", c);
    return s;
}

using Factory = std::function<std::unique_ptr<TSWFObject>()>;

template <class T>
Factory Fresh() {
    return [] { return std::make_unique<T>(); };
}

template <class T>
Factory Built(std::function<void(T&)> fill) {
    return [fill] {
        auto tag = std::make_unique<T>();
        fill(*tag);
        return tag;
    };
}

struct Case {
    const char* name;
    Factory build;
    Factory fresh;
    Bytes body;
    int version;
};

const std::string kHash = "$1$ab$dslkcXxVH.x8LwW1W/oAB/";  // "secret", salt "ab"

std::vector<Case> Cases() {
    return {
        {"End", Fresh<TSWFEnd>(), Fresh<TSWFEnd>(), {}, 1},
        {"BackgroundColor",
         Built<TSWFSetBackgroundColor>([](auto& t) { t.Color.SetRGB(SWFRGB(0x12, 0x34, 0x56)); }),
         Fresh<TSWFSetBackgroundColor>(), {0x12, 0x34, 0x56}, 1},
        {"FrameLabel", Built<TSWFFrameLabel>([](auto& t) { t.Name = "Go"; }), Fresh<TSWFFrameLabel>(), Str("Go"), 3},
        {"FrameLabelAnchor", Built<TSWFFrameLabel>([](auto& t) { t.Name = "A"; t.IsAnchor = true; }),
         Fresh<TSWFFrameLabel>(), {'A', 0, 1}, 6},
        {"ProtectEmpty", Fresh<TSWFProtect>(), Fresh<TSWFProtect>(), {}, 2},
        {"ProtectHash", Built<TSWFProtect>([](auto& t) { t.Hash = kHash; }), Fresh<TSWFProtect>(),
         Cat({{0, 0}, Str(kHash)}), 5},
        {"EnableDebugger", Built<TSWFEnableDebugger>([](auto& t) { t.Hash = kHash; }),
         Fresh<TSWFEnableDebugger>(), Cat({{0, 0}, Str(kHash)}), 5},
        {"EnableDebugger2", Built<TSWFEnableDebugger2>([](auto& t) { t.Hash = kHash; }),
         Fresh<TSWFEnableDebugger2>(), Cat({{0, 0}, Str(kHash)}), 6},
        {"ExportAssets",
         Built<TSWFExportAssets>([](auto& t) { t.AddAsset("a", 1); t.AddAsset("Bc", 0x0102); }),
         Fresh<TSWFExportAssets>(), Cat({{2, 0, 1, 0}, Str("a"), {2, 1}, Str("Bc")}), 5},
        {"ImportAssets",
         Built<TSWFImportAssets>([](auto& t) { t.URL = "lib.swf"; t.AddAsset("x", 4); }),
         Fresh<TSWFImportAssets>(), Cat({Str("lib.swf"), {1, 0, 4, 0}, Str("x")}), 5},
        {"ImportAssets2",
         Built<TSWFImportAssets2>([](auto& t) { t.URL = "u.swf"; t.AddAsset("Clip", 7); }),
         Fresh<TSWFImportAssets2>(), Cat({Str("u.swf"), {1, 0}, {1, 0}, {7, 0}, Str("Clip")}), 5},
        {"SymbolClass",
         Built<TSWFSymbolClass>([](auto& t) { t.AddAsset("pkg.Main", 0); t.AddAsset("pkg.Ball", 5); }),
         Fresh<TSWFSymbolClass>(), Cat({{2, 0, 0, 0}, Str("pkg.Main"), {5, 0}, Str("pkg.Ball")}), 9},
        {"ScriptLimits",
         Built<TSWFScriptLimits>([](auto& t) { t.MaxRecursionDepth = 1000; t.ScriptTimeoutSeconds = 60; }),
         Fresh<TSWFScriptLimits>(), {0xE8, 0x03, 0x3C, 0x00}, 7},
        {"SetTabIndex", Built<TSWFSetTabIndex>([](auto& t) { t.Depth = 5; t.TabIndex = 0x0102; }),
         Fresh<TSWFSetTabIndex>(), {0x05, 0x00, 0x02, 0x01}, 7},
        {"FileAttributes",
         Built<TSWFFileAttributes>([](auto& t) { t.SetHasMetadata(true); t.SetUseNetwork(true); }),
         Fresh<TSWFFileAttributes>(), {0x11, 0, 0, 0}, 8},
        {"FileAttributesAS3",
         Built<TSWFFileAttributes>([](auto& t) { t.SetHasMetadata(true); t.SetActionScript3(true); }),
         Fresh<TSWFFileAttributes>(), {0x18, 0, 0, 0}, 8},
        {"Metadata", Built<TSWFMetadata>([](auto& t) { t.Metadata = "<rdf:RDF/>"; }), Fresh<TSWFMetadata>(),
         Str("<rdf:RDF/>"), 8},
        {"ProductInfo",
         Built<TSWFProductInfo>([](auto& t) {
             t.ProductId = 3;
             t.Edition = 6;
             t.MajorVersion = 10;
             t.MinorVersion = 2;
             t.BuildNumber1 = 0x00010002;
             t.BuildNumber2 = 0x01F40005;
             for (int i = 0; i < 8; ++i) t.CompileDate[i] = static_cast<uint8_t>(i + 1);
         }),
         Fresh<TSWFProductInfo>(),
         {3, 0, 0, 0, 6, 0, 0, 0, 10, 2, 2, 0, 1, 0, 5, 0, 0xF4, 1, 1, 2, 3, 4, 5, 6, 7, 8}, 9},
        // Splitter Xmin -20, Xmax 200, Ymin 40, Ymax 400: ten bits per field.
        {"DefineScalingGrid",
         Built<TSWFDefineScalingGrid>([](auto& t) {
             t.CharacterId = 3;
             t.Splitter.SetRect(TRect{-20, 40, 200, 400});
         }),
         Fresh<TSWFDefineScalingGrid>(), {3, 0, 0x57, 0xD8, 0x64, 0x05, 0x0C, 0x80}, 8},
    };
}

TEST(ControlTags, BodiesWriteReadCopyAndVersion) {
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        auto tag = c.build();
        EXPECT_EQ(Hex(BodyOf(*tag)), Hex(c.body));
        EXPECT_EQ(tag->RequiredVersion(), c.version);

        auto read = c.fresh();
        ReadInto(*read, c.body);
        EXPECT_EQ(Hex(BodyOf(*read)), Hex(c.body));
        EXPECT_EQ(read->RequiredVersion(), c.version);

        auto copy = c.fresh();
        copy->CopyFieldsFrom(*tag);
        EXPECT_EQ(Hex(BodyOf(*copy)), Hex(c.body));
    }
}

TEST(ControlTags, XmlRoundTripWritesSameBytes) {
    TXMLReadWriteSettings settings;
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        auto tag = c.build();
        TXmlDocument doc;
        TXmlNode element = doc.Root().AddChild("Tag");
        tag->SaveToXml(element, settings);
        // Through text and back, as a document on disk would go.
        TXmlDocument reread;
        reread.LoadFromString(doc.SaveToString());
        auto loaded = c.fresh();
        loaded->LoadFromXml(reread.DocumentElement(), settings);
        EXPECT_EQ(Hex(BodyOf(*loaded)), Hex(c.body)) << doc.SaveToString();
    }
}

TEST(ControlTags, CopyFromOtherClassRaises) {
    TSWFFrameLabel label;
    TSWFScriptLimits limits;
    TSWFImportAssets import;
    TSWFExportAssets exports;
    EXPECT_THROW(label.CopyFieldsFrom(limits), EConvertError);
    EXPECT_THROW(import.CopyFieldsFrom(exports), EConvertError);
}

TEST(ControlTags, FrameLabelAnchorOnlyForExactlyOneTrailingByte) {
    struct {
        Bytes body;
        bool anchor;
    } cases[] = {
        {{'L', 'b', 0, 1}, true},
        {{'L', 'b', 0}, false},
        {{'L', 'b', 0, 1, 1}, false},
        {{'L', 'b', 0, 0}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Hex(c.body));
        TSWFFrameLabel label;
        TMemoryStream in{Bytes(c.body)};
        TBitsEngine be(in);
        label.BodySize = static_cast<int32_t>(c.body.size());
        label.ReadBody(be);
        EXPECT_EQ(label.Name, "Lb");
        EXPECT_EQ(label.IsAnchor, c.anchor);
    }
    EXPECT_EQ(TSWFFrameLabel::CreateWithName("intro")->Name, "intro");
}

TEST(ControlTags, FileAttributesKeepsWholeFlagsByte) {
    TSWFFileAttributes source;
    ReadInto(source, {0x19, 0, 0, 0});  // metadata, ActionScript 3, network
    EXPECT_TRUE(source.GetHasMetadata());
    EXPECT_TRUE(source.GetActionScript3());
    EXPECT_TRUE(source.GetUseNetwork());

    TSWFFileAttributes copy;
    copy.CopyFieldsFrom(source);
    EXPECT_EQ(copy.Flags, 0x19);

    TXMLReadWriteSettings settings;
    TXmlDocument doc;
    TXmlNode element = doc.Root().AddChild("FileAttributes");
    source.SaveToXml(element, settings);
    EXPECT_EQ(element.AttrStr("HasMetadata"), "True");
    EXPECT_EQ(element.AttrStr("UseNetwork"), "True");
    EXPECT_EQ(element.AttrInt("Flags"), 0x19);

    // Only the two named flags: no extra attribute.
    TXmlNode plain = doc.Root().AddChild("FileAttributes");
    TSWFFileAttributes ordinary;
    ordinary.SetUseNetwork(true);
    ordinary.SaveToXml(plain, settings);
    EXPECT_FALSE(plain.HasAttribute("Flags"));
    EXPECT_EQ(plain.AttrStr("HasMetadata"), "False");

    // The booleans have the last word over the byte.
    doc.LoadFromString(R"(<FileAttributes Flags="25" HasMetadata="False" UseNetwork="False"/>)");
    TSWFFileAttributes loaded;
    loaded.LoadFromXml(doc.DocumentElement(), settings);
    EXPECT_EQ(loaded.Flags, 0x08);
}

TEST(ControlTags, AssetNamesFoldCaseAndCopiesAppend) {
    TSWFExportAssets tag;
    tag.AddAsset("Hero", 3);
    tag.AddAsset("hERO", 9);
    tag.AddAsset("\xE9t\xE9", 1);    // été
    tag.SetAssetId("\xC9T\xC9", 2);  // ÉTÉ
    ASSERT_EQ(tag.Assets.size(), 2u);
    EXPECT_EQ(tag.Assets[0], (TSWFAssetEntry{"Hero", 9}));
    EXPECT_EQ(tag.Assets[1], (TSWFAssetEntry{"\xE9t\xE9", 2}));

    TSWFExportAssets target;
    target.AddAsset("Own", 1);
    target.CopyFieldsFrom(tag);
    ASSERT_EQ(target.Assets.size(), 3u);
    EXPECT_EQ(target.Assets[0].Name, "Own");
    EXPECT_EQ(target.Assets[2].Name, "\xE9t\xE9");

    // The XML form goes through AddAsset too, so a duplicate folds there.
    TXMLReadWriteSettings settings;
    TXmlDocument doc;
    doc.LoadFromString(R"(<ExportAssets><Object ID="1" Name="a"/><Object ID="2" Name="A"/></ExportAssets>)");
    TSWFExportAssets loaded;
    loaded.LoadFromXml(doc.DocumentElement(), settings);
    ASSERT_EQ(loaded.Assets.size(), 1u);
    EXPECT_EQ(loaded.Assets[0], (TSWFAssetEntry{"a", 2}));
}

TEST(ControlTags, AssetCountBeyondBodyRaises) {
    TSWFExportAssets tag;
    TMemoryStream in{Bytes{0xFF, 0xFF, 1, 0, 'a', 0}};
    TBitsEngine be(in);
    tag.BodySize = 6;
    EXPECT_THROW(tag.ReadBody(be), EReadError);
}

TEST(ControlTags, MetadataWrittenAsUtf8AndLoadedFromCDataOrText) {
    TSWFMetadata tag;
    tag.Metadata = "caf\xE9";  // café in the code page
    EXPECT_EQ(Hex(BodyOf(tag)), Hex({'c', 'a', 'f', 0xC3, 0xA9, 0}));

    // Read from a file, the UTF-8 text is written back as it was, not
    // encoded a second time; its XML form still shows the character.
    TSWFMetadata read;
    ReadBodyBytes(read, Bytes{'c', 'a', 'f', 0xC3, 0xA9, 0});
    EXPECT_EQ(Hex(BodyOf(read)), Hex({'c', 'a', 'f', 0xC3, 0xA9, 0}));
    TSWFMetadata copied;
    copied.CopyFieldsFrom(read);
    EXPECT_EQ(Hex(BodyOf(copied)), Hex({'c', 'a', 'f', 0xC3, 0xA9, 0}));

    TXMLReadWriteSettings settings;
    {
        TXmlDocument xml;
        TXmlNode element = xml.Root().AddChild("Metadata");
        read.SaveToXml(element, settings);
        TSWFMetadata loaded;
        loaded.LoadFromXml(element, settings);
        EXPECT_EQ(loaded.Metadata, "caf\xC3\xA9");  // the file's UTF-8, never through the code page
        EXPECT_EQ(Hex(BodyOf(loaded)), Hex({'c', 'a', 'f', 0xC3, 0xA9, 0}));
    }
    TXmlDocument doc;
    TXmlNode element = doc.Root().AddChild("Metadata");
    tag.Metadata = "<x a=\"1\"/> & more";
    tag.SaveToXml(element, settings);
    TXmlNode value = element.ChildNode("Value");
    ASSERT_FALSE(value.IsNull());
    EXPECT_EQ(value.FirstChild().NodeType(), TXmlNodeType::CData);

    struct {
        const char* xml;
        const char* text;
    } loads[] = {
        {"<Metadata><Value><![CDATA[<a>&</a>]]></Value></Metadata>", "<a>&</a>"},
        {"<Metadata><Value>plain &amp; simple</Value></Metadata>", "plain & simple"},
        {"<Metadata><Value><b>nested</b></Value></Metadata>", ""},
        {"<Metadata/>", ""},
    };
    for (const auto& c : loads) {
        SCOPED_TRACE(c.xml);
        doc.LoadFromString(c.xml);
        TSWFMetadata loaded;
        loaded.LoadFromXml(doc.DocumentElement(), settings);
        EXPECT_EQ(loaded.Metadata, c.text);
    }
}

TEST(ControlTags, ProductInfoXmlTextsAndFallbacks) {
    TXMLReadWriteSettings settings;
    TXmlDocument doc;
    TXmlNode element = doc.Root().AddChild("ProductInfo");
    std::unique_ptr<TSWFObject> tag;
    for (const Case& c : Cases())
        if (std::string(c.name) == "ProductInfo") tag = c.build();
    ASSERT_TRUE(tag);
    tag->SaveToXml(element, settings);
    EXPECT_EQ(element.AttrStr("Version"), "10.2");
    EXPECT_EQ(element.AttrStr("BuildNumber"), "1.2.500.5");
    EXPECT_EQ(element.AttrStr("Date"), "08070605:04030201");

    // A bad third build part drops only the second number.
    doc.LoadFromString(R"(<ProductInfo ProductId="1" Edition="2" Version="9.123456" )"
                       R"(BuildNumber="3.4.x.6" Date="0000000A:0000000B"/>)");
    TSWFProductInfo loaded;
    loaded.LoadFromXml(doc.DocumentElement(), settings);
    EXPECT_EQ(loaded.MajorVersion, 9);
    EXPECT_EQ(loaded.MinorVersion, 123);  // at most three characters after the dot
    EXPECT_EQ(loaded.BuildNumber1, 0x00030004u);
    EXPECT_EQ(loaded.BuildNumber2, 0u);
    EXPECT_EQ(Hex(Bytes(loaded.CompileDate, loaded.CompileDate + 8)), Hex({0x0B, 0, 0, 0, 0x0A, 0, 0, 0}));

    // A bad version gives 1.0; a bad date gives the current time as a date-time float.
    doc.LoadFromString(R"(<ProductInfo ProductId="1" Edition="2" Version="nine" BuildNumber="1.2.3.4" Date="soon"/>)");
    const TFixedClock clock(45291.75);
    TSWFProductInfo fallback;
    fallback.LoadFromXml(doc.DocumentElement(), settings);
    EXPECT_EQ(fallback.MajorVersion, 1);
    EXPECT_EQ(fallback.MinorVersion, 0);
    EXPECT_EQ(fallback.BuildNumber2, 0x00030004u);
    uint64_t raw = 0;
    for (int i = 7; i >= 0; --i) raw = raw << 8 | fallback.CompileDate[i];
    EXPECT_EQ(std::bit_cast<double>(raw), 45291.75);
}

TEST(ControlTags, MissingRequiredAttributeRaises) {
    struct {
        Factory fresh;
        const char* xml;
    } cases[] = {
        {Fresh<TSWFFrameLabel>(), R"(<T isAnchor="True"/>)"},
        {Fresh<TSWFScriptLimits>(), R"(<T MaxRecursionDepth="5"/>)"},
        {Fresh<TSWFSetTabIndex>(), R"(<T TabIndex="5"/>)"},
        {Fresh<TSWFFileAttributes>(), R"(<T HasMetadata="True"/>)"},
        {Fresh<TSWFExportAssets>(), R"(<T><Object Name="a"/></T>)"},
        {Fresh<TSWFImportAssets>(), R"(<T><Object ID="1" Name="a"/></T>)"},
        {Fresh<TSWFDefineScalingGrid>(), R"(<T XMax="1" YMax="1"/>)"},
        {Fresh<TSWFDefineScalingGrid>(), R"(<T ID="1" XMax="1"/>)"},
        {Fresh<TSWFProductInfo>(), R"(<T ProductId="1"/>)"},
    };
    TXMLReadWriteSettings settings;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.xml);
        TXmlDocument doc;
        doc.LoadFromString(c.xml);
        auto tag = c.fresh();
        EXPECT_THROW(tag->LoadFromXml(doc.DocumentElement(), settings), EConvertError);
    }
}

std::string OpensslMd5Crypt(const std::string& salt, const std::string& password) {
    std::string command = "openssl passwd -1 -salt '" + salt + "' '" + password + "'";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return "popen failed";
    std::string out;
    char buffer[128];
    while (fgets(buffer, sizeof buffer, pipe)) out += buffer;
    pclose(pipe);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

TEST(ControlTags, ProtectHashesPasswordWithFreshSalt) {
    TSWFProtect tag;
    tag.Password = "open sesame";
    EXPECT_EQ(tag.RequiredVersion(), 5);

    std::set<std::string> hashes;
    for (int i = 0; i < 3; ++i) {
        Bytes body = BodyOf(tag);
        ASSERT_EQ(body.size(), 31u);
        EXPECT_EQ(body[0], 0);
        EXPECT_EQ(body[1], 0);
        EXPECT_EQ(body[30], 0);
        std::string hash(body.begin() + 2, body.end() - 1);
        ASSERT_EQ(hash.substr(0, 3), "$1$");
        EXPECT_EQ(OpensslMd5Crypt(hash.substr(3, 2), tag.Password), hash);
        hashes.insert(hash);

        TSWFProtect read;
        ReadInto(read, body);
        EXPECT_EQ(read.Hash, hash);
        EXPECT_TRUE(read.Password.empty());
    }
    // Three equal salts in a row would take odds of one in 4096 squared.
    EXPECT_GT(hashes.size(), 1u);

    // The XML form carries the hash, never the password.
    TXMLReadWriteSettings settings;
    TXmlDocument doc;
    TXmlNode element = doc.Root().AddChild("Protect");
    tag.SaveToXml(element, settings);
    EXPECT_FALSE(element.HasAttribute("Password"));
    std::string hash = UnescapeStr(element.AttrStr("Hash"));
    EXPECT_EQ(OpensslMd5Crypt(hash.substr(3, 2), tag.Password), hash);

    // A document may give a password instead; the hash wins when both are there.
    doc.LoadFromString(R"(<Protect Password="pw"/>)");
    TSWFEnableDebugger2 fromPassword;
    fromPassword.LoadFromXml(doc.DocumentElement(), settings);
    EXPECT_EQ(fromPassword.Password, "pw");
    doc.LoadFromString(R"(<Protect Password="pw" Hash="a%25b"/>)");
    TSWFProtect fromHash;
    fromHash.LoadFromXml(doc.DocumentElement(), settings);
    EXPECT_EQ(fromHash.Hash, "a%b");
    EXPECT_TRUE(fromHash.Password.empty());
}

TEST(ControlTags, ProtectBodyOfOneByteRaises) {
    TSWFProtect tag;
    TMemoryStream in{Bytes{0}};
    TBitsEngine be(in);
    tag.BodySize = 1;
    EXPECT_THROW(tag.ReadBody(be), EReadError);
}

}  // namespace
