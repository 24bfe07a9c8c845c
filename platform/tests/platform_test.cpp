#include <gtest/gtest.h>

#include <crypt.h>

#include <cstdio>
#include <filesystem>

#include "platform/codepage.h"
#include "platform/colour.h"
#include "platform/geometry.h"
#include "platform/md5.h"
#include "platform/mathutil.h"
#include "platform/paths.h"
#include "platform/stream.h"
#include "platform/xml.h"
#include "platform/zstream.h"
#include "platform/testing/test_support.h"

TEST(CodePage, Windows1252RoundTripsEveryByte) {
    std::string all;
    for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
    EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8(all)), all);
    EXPECT_EQ(WideToAnsi(AnsiToWide(all)), all);
    EXPECT_EQ(AnsiToUtf8("\xE9"), "\xC3\xA9");
    EXPECT_EQ(AnsiToUtf8("\x80"), "\xE2\x82\xAC");  // euro sign
    EXPECT_EQ(Utf8ToAnsi("\xE4\xB8\xAD"), "?");      // not in the code page
    EXPECT_EQ(WideToUtf8(Utf8ToWide("a\xF0\x9F\x98\x80z")), "a\xF0\x9F\x98\x80z");
}

TEST(Rounding, HalvesGoToEven) {
    EXPECT_EQ(RoundHalfEven(0.5), 0);
    EXPECT_EQ(RoundHalfEven(1.5), 2);
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(-0.5), 0);
    EXPECT_EQ(RoundHalfEven(-1.5), -2);
    EXPECT_EQ(RoundHalfEven(2.6), 3);
}

TEST(Geometry, RectanglesCurvesAndColours) {
    EXPECT_EQ(NormalizeRect(TRect{10, 20, -5, 0}), (TRect{-5, 0, 10, 20}));
    EXPECT_DOUBLE_EQ(BezierPoint(0, 10, 20, 30, 0.5f), 15.0);
    EXPECT_DOUBLE_EQ(BezierPoint(0, 0, 100, 100, 0.25f), 15.625);
    EXPECT_EQ(ColorToRGB(RGBColor(1, 2, 3)), 0x030201);
    EXPECT_EQ(RedOf(0x030201), 1);
    EXPECT_EQ(BlueOf(0x030201), 3);
    // System colours: the window colour (5) is white, an index past the
    // table is black.
    EXPECT_EQ(ColorToRGB(static_cast<TColor>(0x80000005)), 0xFFFFFF);
    EXPECT_EQ(ColorToRGB(static_cast<TColor>(0x800000FF)), 0);
}

TEST(Streams, BoundedViewRefusesToReadPastItsEnd) {
    TMemoryStream inner(std::vector<uint8_t>{1, 2, 3, 4, 5, 6});
    TBoundedStream view(inner, 2, 3);
    uint8_t bytes[3];
    view.ReadBuffer(bytes, 2);
    EXPECT_EQ(bytes[0], 3);
    EXPECT_THROW(view.ReadBuffer(bytes, 2), EReadError);
    EXPECT_THROW(view.Write(bytes, 1), EWriteError);
}

TEST(Streams, FileWritesReplaceAtomically) {
    std::string folder = TestScratchFolder("tw_platform_test");
    ForceDirectories(folder);
    std::string path = folder + "/a.bin";
    WriteFileBytes(path, "old", 3);
    WriteFileBytes(path, "new!", 4);
    auto bytes = ReadFileBytes(path);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "new!");
    EXPECT_THROW(TFileStream(folder + "/missing/x", TFileMode::OpenRead), EFOpenError);
    int leftovers = 0;
    for (auto& entry : std::filesystem::directory_iterator(folder)) leftovers += entry.path().filename() != "a.bin";
    EXPECT_EQ(leftovers, 0);
    std::filesystem::remove_all(folder);
}

TEST(Paths, RelativeAndAbsolute) {
    EXPECT_TRUE(IsAbsolutePath("/x"));
    EXPECT_TRUE(IsAbsolutePath("C:\\data\\x"));
    EXPECT_FALSE(IsAbsolutePath("data/x"));
    EXPECT_EQ(ExtractRelativePath("/a/b/", "/a/b/c/d.dat"), "c/d.dat");
    EXPECT_EQ(ExtractRelativePath("/a/b/", "/a/x/"), "../x/");
    EXPECT_EQ(ExtractFilePath("/a/b/c.swf"), "/a/b/");
    EXPECT_EQ(ExtractFileExt("/a/b/c.swf"), ".swf");
}

TEST(Zlib, RoundTripAndTruncation) {
    std::string text(200000, 'x');
    for (size_t i = 0; i < text.size(); i += 7) text[i] = static_cast<char>(i);
    std::vector<uint8_t> packed = ZCompress(text.data(), text.size());
    // The header of a stream at the default level.
    EXPECT_EQ(packed[0], 0x78);
    std::vector<uint8_t> unpacked = ZDecompress(packed.data(), packed.size());
    EXPECT_EQ(std::string(unpacked.begin(), unpacked.end()), text);

    TMemoryStream source(std::vector<uint8_t>(packed.begin(), packed.begin() + packed.size() / 2));
    TMemoryStream target;
    EXPECT_THROW(InflateExactly(source, static_cast<int64_t>(text.size()), target), EZDecompressionError);
    TMemoryStream whole(packed), out;
    EXPECT_THROW(InflateExactly(whole, static_cast<int64_t>(text.size()) + 10, out), EZDecompressionError);
}

TEST(Zlib, ProgressFiresPerOutputBuffer) {
    std::vector<uint8_t> noise(600000);
    uint32_t state = 1;
    for (auto& b : noise) b = static_cast<uint8_t>((state = state * 1103515245 + 12345) >> 16);
    TMemoryStream out;
    int calls = 0;
    {
        TCompressionStream deflater(out);
        deflater.OnProgress = [&](TCompressionStream&) { ++calls; };
        deflater.WriteBuffer(noise.data(), static_cast<int64_t>(noise.size()));
        deflater.Finish();
    }
    EXPECT_EQ(calls, static_cast<int>(out.GetSize() / 65536));
}

TEST(MD5, KnownDigestsAndCrypt) {
    EXPECT_EQ(MD5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(MD5Hex("The quick brown fox jumps over the lazy dog"), "9e107d9d372bb6826bd81d3542a419d6");
    EXPECT_EQ(MD5Hex(std::string(1000, 'a')).size(), 32u);
    TRandomSource random(7);
    std::string hash = MD5Crypt("secret", "", random);
    EXPECT_EQ(hash.size(), 28u);
    EXPECT_EQ(hash.substr(0, 3), "$1$");
    // A given salt is used as it is (its first two characters).
    EXPECT_EQ(MD5Crypt("secret", "$1$ab", random).substr(0, 6), "$1$ab$");
    EXPECT_EQ(MD5Crypt("secret", "abcdef", random), MD5Crypt("secret", "ab", random));
}

TEST(MD5, CryptAgreesWithOpenssl) {
    // openssl cuts passwords to 256 bytes, so it judges up to that length.
    for (std::string password : {std::string("secret"), std::string("p"), std::string(40, 'q'),
                                 std::string(256, 'r')}) {
        std::string ours = MD5Crypt(password, "Xy");
        std::string command = "openssl passwd -1 -salt Xy '" + password + "' 2>/dev/null";
        FILE* pipe = popen(command.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        char line[128] = {};
        ASSERT_NE(fgets(line, sizeof line, pipe), nullptr);
        pclose(pipe);
        std::string theirs(line);
        while (!theirs.empty() && (theirs.back() == '\n' || theirs.back() == '\r')) theirs.pop_back();
        EXPECT_EQ(ours, theirs) << password;
    }
}

TEST(MD5, CryptAgreesWithTheSystemCryptForLongPasswords) {
    // The system's crypt() takes passphrases of at most 512 bytes.
    for (size_t length : {size_t(255), size_t(256), size_t(300), size_t(511)}) {
        std::string password(length, 's');
        password[length / 2] = 'x';
        const char* theirs = crypt(password.c_str(), "$1$Xy$");
        ASSERT_NE(theirs, nullptr);
        EXPECT_EQ(MD5Crypt(password, "Xy"), theirs) << length;
    }
}

TEST(Xml, TypedAttributesAndErrors) {
    TXmlDocument doc;
    doc.LoadFromString("<r i='$1F' f='2.5' b='true' s='caf\xC3\xA9' bad='x'><c>t</c><![CDATA[<x>]]></r>");
    TXmlNode r = doc.DocumentElement();
    EXPECT_EQ(r.AttrInt("i"), 31);
    EXPECT_DOUBLE_EQ(r.AttrFloat("f"), 2.5);
    EXPECT_TRUE(r.AttrBool("b"));
    EXPECT_EQ(r.AttrStr("s"), "caf\xE9");
    EXPECT_EQ(r.AttrIntDef("missing", 9), 9);
    EXPECT_THROW(r.AttrInt("missing"), EConvertError);
    EXPECT_THROW(r.AttrInt("bad"), EConvertError);
    EXPECT_EQ(r.ChildNode("c").Text(), "t");
    TXmlNode added = r.AddChild("n");
    added.SetAttrBool("flag", false);
    added.SetAttr("v", 0.1);
    added.AddCData("a]]>b");
    TXmlDocument again;
    again.LoadFromString(doc.SaveToString());
    TXmlNode n = again.DocumentElement().ChildNode("n");
    EXPECT_EQ(n.AttrStr("flag"), "False");
    EXPECT_DOUBLE_EQ(n.AttrFloat("v"), 0.1);
    EXPECT_EQ(n.Text(), "a]]>b");
    EXPECT_THROW(again.LoadFromString("<unclosed>"), EConvertError);
}
