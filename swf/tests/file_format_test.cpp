#include <gtest/gtest.h>

#include <filesystem>

#include "platform/diagnostics.h"
#include "platform/zstream.h"
#include "swf/control_tags.h"
#include "swf/names.h"
#include "swf/reader.h"
#include "swf/shape_tags.h"
#include "swf/xml_form.h"
#include "test_util.h"
#include "platform/testing/test_support.h"

namespace {

// A movie written by hand: the writer with a body that the test supplies.
class TTestMovie : public TBasedSWFStream {
public:
    using TBasedSWFStream::TBasedSWFStream;
    int32_t GetFrameTagIndex(uint16_t) override { return 0; }
    void MakeStream() override {}
    bool LoadFromXml(const TXmlNode&, bool) override { return false; }
};

Bytes SavedBytes(TBasedSWFStream& movie) {
    TMemoryStream out;
    movie.SaveToStream(out);
    return out.Bytes();
}

std::unique_ptr<TSWFStreamReader> ReadBytes(const Bytes& file, bool parse = true) {
    TMemoryStream in(file);
    auto reader = TSWFStreamReader::CreateFromStream(in);
    reader->ParseTags(parse, parse);
    return reader;
}

Bytes MovieWith(const std::vector<Bytes>& records) {
    TTestMovie movie(0, 0, 550, 400, 12, true);
    for (const Bytes& r : records) movie.GetBodyStream().WriteBuffer(r.data(), static_cast<int64_t>(r.size()));
    return SavedBytes(movie);
}

// A tag class whose reader always fails, to show how failures are kept.
class TFailingTag : public TSWFObject {
public:
    void ReadBody(TBitsEngine&) override { throw Exception("bad shape"); }
};

}  // namespace

TEST(TagFraming, ShortLongAndForcedHeaders) {
    struct Case {
        uint16_t code;
        int size;
        const char* header;
    } cases[] = {
        {43, 10, "CA 0A"}, {43, 63, "FF 0A 3F 00 00 00"}, {20, 12, "3F 05 0C 00 00 00"},
        {19, 1, "FF 04 01 00 00 00"}, {2, 0, "80 00"}, {2, 62, "BE 00"},
    };
    for (const Case& c : cases) {
        TSWFByteCodeTag tag;
        tag.RealCode = c.code;
        tag.SetData(Bytes(static_cast<size_t>(c.size), 0xAB));
        Bytes expected = HexBytes(c.header);
        expected.insert(expected.end(), static_cast<size_t>(c.size), 0xAB);
        EXPECT_EQ(ToHex(WriteTagBytes(tag)), ToHex(expected)) << c.code << "/" << c.size;
        EXPECT_EQ(tag.TagCode, kErrorTagCode);
    }
    TSWFShowFrame show;
    EXPECT_EQ(ToHex(WriteTagBytes(show)), "40 00");
    TSWFEnd end;
    EXPECT_EQ(ToHex(WriteTagBytes(end)), "00 00");

    TMemoryStream body(Bytes{1, 2, 3}), out;
    WriteTagFromStream(out, 20, body, 0);
    EXPECT_EQ(ToHex(out.Bytes()), "3F 05 03 00 00 00 01 02 03");
}

TEST(TagFraming, RawTagsKeepTheirCodeWhenCopied) {
    auto raw = CreateTagByCode(255);
    auto* bytesTag = dynamic_cast<TSWFByteCodeTag*>(raw.get());
    ASSERT_NE(bytesTag, nullptr);
    EXPECT_EQ(bytesTag->Name, "Uniknow tag");
    bytesTag->SetData(Bytes{9, 8, 7});
    auto copy = CloneTag(*raw);
    auto* copied = dynamic_cast<TSWFByteCodeTag*>(copy.get());
    ASSERT_NE(copied, nullptr);
    EXPECT_EQ(copied->RealCode, 255);
    EXPECT_EQ(copied->Name, "Uniknow tag");
    EXPECT_EQ(WriteTagBytes(*copy), WriteTagBytes(*raw));
    EXPECT_EQ(copy->TagCode, kErrorTagCode);

    TSWFByteCodeTag source;
    source.OnWrite = [](TSWFObject&, TBitsEngine& be) { be.WriteByte(42); };
    TSWFByteCodeTag target;
    target.CopyFieldsFrom(source);
    EXPECT_EQ(target.DataSize(), 0);
    EXPECT_TRUE(static_cast<bool>(target.OnWrite));
}

TEST(FileWriter, HeaderOfThePlainAndCompressedMovie) {
    TTestMovie movie(0, 0, 550, 400, 12, true);
    EXPECT_EQ(ToHex(SavedBytes(movie)), "46 57 53 05 15 00 00 00 78 00 05 5F 00 00 0F A0 00 00 0C 00 00");
    movie.SetCompressed(true);
    Bytes packed = SavedBytes(movie);
    EXPECT_EQ(ToHex(Bytes(packed.begin(), packed.begin() + 8)), "43 57 53 06 15 00 00 00");
    Bytes inflated = ZDecompress(packed.data() + 8, packed.size() - 8);
    EXPECT_EQ(ToHex(inflated), "78 00 05 5F 00 00 0F A0 00 00 0C 00 00");

    movie.SetVersion(4);
    EXPECT_EQ(movie.Version, 6);
    movie.SetCompressed(false);
    EXPECT_EQ(movie.Version, 6);

    TTestMovie twips(0, 0, 11010, 8000, 29.97f, false);
    EXPECT_EQ(twips.GetBounds(), (TRect{0, 0, 11010, 8000}));
    EXPECT_EQ(twips.FrameRate, 0x1DF8);
    twips.SetSystemCoord(true);
    EXPECT_EQ(twips.GetWidth(), 550);
}

TEST(FileWriter, SaveToFileLeavesNoPartialFile) {
    std::filesystem::path folder = std::filesystem::path(TestScratchFolder("tw_writer_test"));
    std::filesystem::create_directories(folder);
    std::string path = (folder / "movie.swf").string();
    TTestMovie movie(0, 0, 100, 100, 12, true);
    movie.SaveToFile(path);
    auto before = ReadFileBytes(path);
    // A body write that fails half way must leave the old file untouched.
    movie.GetBodyStream().WriteBuffer("xyz", 3);
    movie.OnProgress = [](TBasedSWFStream&, int32_t, uint8_t) { throw Exception("disk full"); };
    movie.SetCompressed(true);
    std::vector<uint8_t> big(300000);
    uint32_t state = 5;
    for (auto& b : big) b = static_cast<uint8_t>((state = state * 1664525 + 1013904223) >> 24);
    movie.GetBodyStream().WriteBuffer(big.data(), static_cast<int64_t>(big.size()));
    EXPECT_THROW(movie.SaveToFile(path), Exception);
    EXPECT_EQ(ReadFileBytes(path), before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
    std::filesystem::remove_all(folder);
}

TEST(FileWriter, CompressionProgressOnATinyBodyStaysFinite) {
    TTestMovie movie(0, 0, 100, 100, 12, true);
    movie.SetCompressed(true);
    std::vector<uint8_t> noise(200000);
    uint32_t state = 3;
    for (auto& b : noise) b = static_cast<uint8_t>((state = state * 1664525 + 1013904223) >> 24);
    movie.GetBodyStream().WriteBuffer(noise.data(), static_cast<int64_t>(noise.size()));
    std::vector<int32_t> seen;
    movie.OnProgress = [&](TBasedSWFStream&, int32_t percent, uint8_t stage) {
        EXPECT_EQ(stage, kProgressCompressing);
        seen.push_back(percent);
    };
    SavedBytes(movie);
    ASSERT_FALSE(seen.empty());
    for (int32_t p : seen) EXPECT_LE(p, 110);

    TTestMovie tiny(0, 0, 10, 10, 12, true);
    tiny.SetCompressed(true);
    tiny.GetBodyStream().WriteBuffer("ab", 2);  // body smaller than 22 bytes
    tiny.OnProgress = [](TBasedSWFStream&, int32_t, uint8_t) {};
    EXPECT_NO_THROW(SavedBytes(tiny));
}

TEST(Names, TablesAndFactories) {
    EXPECT_EQ(TagIdToName(16), "Unknown 16");
    EXPECT_EQ(TagIdToName(240), "Error Tag");
    EXPECT_EQ(TagNameToId("placeobject2"), 26);
    EXPECT_EQ(TagNameToId("ShowFrame"), 1);
    EXPECT_EQ(TagNameToId("tag1023"), 1023);
    EXPECT_EQ(TagNameToId("Tag1023"), -1);
    EXPECT_EQ(TagNameToId("tagx"), -1);
    EXPECT_EQ(TagNameToId("Error Tag"), -1);
    EXPECT_EQ(TagNameToId("tag240"), -1);
    EXPECT_EQ(ActionCodeToName(0x96, true), "ActionPush");
    EXPECT_EQ(ActionCodeToName(0xFF, true), "Offset marker (only for work)");
    EXPECT_EQ(ActionCodeToName(0x16, true), "Unknown 22");
    EXPECT_EQ(ActionNameToCode("OFFSET"), 255);
    EXPECT_EQ(ActionNameToCode("ActionPush"), -1);
    EXPECT_EQ(ActionNameToCode("push"), 0x96);
    EXPECT_EQ(FilterNameToId("glow"), 2);
    EXPECT_EQ(FilterNameToId("Shadow"), 0);
    EXPECT_EQ(FillStyleToName(0x41, true), "SWFFillClipBitmap");
    EXPECT_EQ(FillStyleToName(0x20, false), "");
    EXPECT_EQ(FillStyleFromName("radialgradient"), 0x12);
    auto unknown = CreateTagByCode(16);
    auto* raw = dynamic_cast<TSWFByteCodeTag*>(unknown.get());
    ASSERT_NE(raw, nullptr);
    EXPECT_EQ(raw->RealCode, 16);
    // Every named code gets an object that reports its code (or the raw code).
    for (int code = 0; code < 100; ++code) {
        std::string name = TagIdToName(static_cast<uint16_t>(code));
        if (name.rfind("Unknown", 0) == 0) continue;
        auto tag = CreateTagByCode(static_cast<uint16_t>(code));
        EXPECT_EQ(tag->WrittenCode(), code) << name;
    }
    EXPECT_EQ(IndexOfText("B", {"a", "b"}), 1);
}

TEST(FileReader, SignatureHeaderAndFrames) {
    TMemoryStream lower(HexBytes("66 77 73 06 00 00 00 00"));
    TSWFStreamReader notSwf;
    notSwf.LoadFromStream(lower);
    EXPECT_FALSE(notSwf.Valid);
    notSwf.ParseTags(true, true);
    EXPECT_TRUE(notSwf.Tags.empty());

    auto empty = ReadBytes(MovieWith({}));
    EXPECT_TRUE(empty->Valid);
    EXPECT_TRUE(empty->Tags.empty());
    EXPECT_EQ(empty->GetFrameTagIndex(0), 0);

    auto movie = ReadBytes(MovieWith({HexBytes("40 00"), HexBytes("85 06 00 00 00 00 00"), HexBytes("40 00"),
                                      HexBytes("00 00")}));
    ASSERT_EQ(movie->Tags.size(), 4u);
    EXPECT_EQ(movie->Tags[0]->Frame, 1);
    EXPECT_EQ(movie->Tags[1]->Frame, 2);
    EXPECT_EQ(movie->GetFrameTagIndex(1), 0);
    EXPECT_EQ(movie->GetFrameTagIndex(2), 2);
    EXPECT_EQ(movie->GetFrameTagIndex(3), 3);
    EXPECT_EQ(movie->GetBounds(), (TRect{0, 0, 11000, 8000}));
    EXPECT_EQ(movie->FrameRate, 0x0C00);
}

TEST(FileReader, UnknownAndUnreadableTagsRoundTrip) {
    // Code 255 with a body, a FrameLabel whose body lacks its terminator (its
    // reader fails), then End.
    Bytes file = MovieWith({HexBytes("C3 3F 01 02 03"), HexBytes("C3 0A 61 62 63"), HexBytes("00 00")});
    auto reader = ReadBytes(file);
    ASSERT_EQ(reader->Tags.size(), 3u);
    EXPECT_EQ(reader->Tags[0]->TagCode, 255);
    EXPECT_EQ(reader->Tags[0]->Object->TagCode, kErrorTagCode);
    auto* failed = dynamic_cast<TSWFByteCodeTag*>(reader->Tags[1]->Object);
    ASSERT_NE(failed, nullptr);
    EXPECT_EQ(reader->Tags[1]->TagCode, kErrorTagCode);
    EXPECT_EQ(failed->RealCode, 43);
    EXPECT_FALSE(failed->Name.empty());
    reader->MakeStream();
    EXPECT_EQ(SavedBytes(*reader), file);

    auto unparsed = ReadBytes(file, false);
    EXPECT_EQ(unparsed->Tags[0]->Object, nullptr);
    unparsed->MakeStream();
    EXPECT_EQ(SavedBytes(*unparsed), file);
}

TEST(FileReader, DamagedFilesGiveClearErrors) {
    Bytes good = MovieWith({HexBytes("43 02 FF 00 00"), HexBytes("40 00")});
    // Truncated header.
    EXPECT_THROW(ReadBytes(Bytes(good.begin(), good.begin() + 10)), EReadError);
    // A record whose length runs past the end ends the list with what is there.
    Bytes cut(good.begin(), good.end() - 3);
    auto reader = ReadBytes(cut);
    ASSERT_EQ(reader->Tags.size(), 1u);
    EXPECT_EQ(reader->Tags[0]->BodySize, 2);

    TTestMovie movie(0, 0, 550, 400, 12, true);
    movie.SetCompressed(true);
    movie.GetBodyStream().WriteBuffer(HexBytes("40 00").data(), 2);
    Bytes packed = SavedBytes(movie);
    // Lengths that leave nothing to inflate are refused before inflating;
    // lengths beyond the data end in the decompression error.
    struct {
        uint32_t length;
        bool header;  // refused by the header check, not by the inflater
        const char* message;
    } cases[] = {
        {0, true, "Invalid SWF file: the header gives a file length of 0 bytes"},
        {8, true, "Invalid SWF file: the header gives a file length of 8 bytes"},
        {30, false, "Decompression error: the compressed data ends 7 bytes early"},
        {0xFFFFFFFFu, false, "Decompression error: the compressed data ends"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        Bytes bad = packed;
        for (int i = 0; i < 4; ++i) bad[4 + i] = static_cast<uint8_t>(c.length >> (8 * i));
        try {
            ReadBytes(bad);
            ADD_FAILURE() << "no error";
        } catch (const EZDecompressionError& e) {
            EXPECT_FALSE(c.header);
            EXPECT_EQ(std::string(e.what()).rfind(c.message, 0), 0u) << e.what();
        } catch (const EReadError& e) {
            EXPECT_TRUE(c.header);
            EXPECT_EQ(std::string(e.what()), c.message);
        }
    }
    Bytes truncated(packed.begin(), packed.end() - 6);
    EXPECT_THROW(ReadBytes(truncated), EZDecompressionError);
}

TEST(FileReader, LooksUpExportedAndImportedCharacters) {
    // Shape 7 is defined and exported as "logo"; id 9 is imported as "star"
    // from another movie; "ghost" is exported under an id nothing defines.
    TSWFDefineShape shape;
    shape.ShapeId = 7;
    TSWFExportAssets exports;
    exports.AddAsset("logo", 7);
    exports.AddAsset("ghost", 8);
    TSWFImportAssets imports;
    imports.URL = "library.swf";
    imports.AddAsset("star", 9);
    auto reader = ReadBytes(MovieWith({WriteTagBytes(shape), WriteTagBytes(imports), WriteTagBytes(exports)}));
    ASSERT_EQ(reader->Tags.size(), 3u);
    EXPECT_EQ(reader->FindCharacterTag(7), 0);
    EXPECT_EQ(reader->FindCharacterTag(9), 1);
    EXPECT_EQ(reader->FindCharacterTag(8), -1);
    EXPECT_EQ(reader->FindObjectByName("logo"), reader->Tags[0]->Object);
    EXPECT_EQ(reader->FindObjectByName("ghost"), nullptr);
    EXPECT_EQ(reader->FindObjectByName("Logo"), nullptr);  // names compare exactly
    EXPECT_EQ(reader->GetCharacterObject(9), reader->Tags[1]->Object);
}

// The coordinate divisor belongs to one conversion's settings: conversions
// in pixels and in twips, alternating or one after the other, each keep
// their own units, and reading a movie in pixels leaves nothing behind.
TEST(XmlForm, EachConversionKeepsItsOwnDivisor) {
    TSWFDefineScalingGrid grid;
    grid.CharacterId = 3;
    const TRect splitter{200, 400, 2000, 1000};
    grid.Splitter.SetRect(splitter);
    TXMLReadWriteSettings pixels, twips;
    pixels.SetCoordDivisor(20);
    TXmlDocument doc;
    TXmlNode root = doc.Root().AddChild("r");
    for (int round = 0; round < 2; ++round) {
        TXmlNode inPixels = root.AddChild("p"), inTwips = root.AddChild("t");
        grid.SaveToXml(inPixels, pixels);
        grid.SaveToXml(inTwips, twips);
        EXPECT_EQ(inPixels.AttrInt("XMax"), 100);
        EXPECT_EQ(inTwips.AttrInt("XMax"), 2000);
        TSWFDefineScalingGrid fromPixels, fromTwips;
        fromTwips.LoadFromXml(inTwips, twips);
        fromPixels.LoadFromXml(inPixels, pixels);
        EXPECT_EQ(fromPixels.Splitter.GetRect(), splitter);
        EXPECT_EQ(fromTwips.Splitter.GetRect(), splitter);
    }

    TSWFStreamReader movie;
    movie.SetSystemCoord(true);
    movie.Bounds = TRect{0, 0, 11000, 8000};
    TXmlDocument saved;
    movie.SaveToXml(saved.Root());
    EXPECT_EQ(saved.Root().ChildNode("SWF").AttrInt("XMax"), 550);
    TSWFStreamReader loaded;
    ASSERT_TRUE(loaded.LoadFromXml(saved.Root(), true));
    EXPECT_EQ(loaded.Bounds, movie.Bounds);
    TXmlNode after = root.AddChild("after");
    grid.SaveToXml(after, twips);
    EXPECT_EQ(after.AttrInt("XMax"), 2000);
    TXMLReadWriteSettings fresh;
    TSWFDefineScalingGrid reread;
    reread.LoadFromXml(after, fresh);
    EXPECT_EQ(reread.Splitter.GetRect(), splitter);
}

TEST(XmlForm, SharedConventions) {
    TXMLReadWriteSettings pixels;
    pixels.SetCoordDivisor(20);
    TXmlDocument doc;
    TXmlNode root = doc.Root().AddChild("r");
    TXmlNode rect = root.AddChild("rect");
    rect.SetAttr("XMax", 550);
    rect.SetAttr("YMax", 400);
    EXPECT_EQ(ReadRectAttrs(pixels, rect), (TRect{0, 0, 11000, 8000}));
    TXmlNode written = root.AddChild("w");
    WriteRectAttrs(pixels, written, TRect{0, 0, 11000, 8000});
    EXPECT_FALSE(written.HasAttribute("XMin"));
    EXPECT_EQ(written.AttrInt("XMax"), 550);
    WriteMatrixNode(pixels, root, SWFMatrix(false, false, 0, 0, 0, 0, 30, 0), "M");
    EXPECT_EQ(root.ChildNode("M").AttrInt("X"), 1);
    WriteMatrixNode(pixels, root, TSWFMatrixRec{}, "Empty");
    EXPECT_EQ(root.ChildNode("Empty").XmlText(), "<Empty/>");
    TSWFMatrixRec m = SWFMatrix(true, true, 98304, -65536, 6553, 1, 200, -400);
    WriteMatrixNode(pixels, root, m, "Full");
    EXPECT_EQ(ReadMatrixNode(pixels, root, "Full"), m);

    TXmlNode cx = root.AddChild("c");
    cx.AddChild("ColorTransform").SetAttr("MultR", 128);
    TSWFColorTransformRec c = ReadColorTransformNode(cx);
    EXPECT_TRUE(c.HasMult && c.HasAlpha && !c.HasAdd);
    EXPECT_EQ(c.MultR, 128);
    EXPECT_EQ(c.MultG, 256);
    EXPECT_EQ(c.MultA, 256);

    EXPECT_EQ(RGBToStr(0, 0xFF), "255");
    EXPECT_EQ(RGBToStr(1, 0xFF), "$0000FF");
    EXPECT_EQ(RGBToStr(2, 0xFF), "#FF0000");
    for (int mode = 0; mode < 3; ++mode) {
        TXmlNode colour = root.AddChild("col");
        SetRGBAttr(colour, mode, "Color", 0xFFu);
        EXPECT_EQ(ReadRGBAttr(colour, "Color"), SWFRGB(255, 0, 0)) << mode;
    }
    EXPECT_EQ(StrToRGBA("#80FF0000"), SWFRGBA(255, 0, 0, 128));
    EXPECT_EQ(StrToRGBA("#FF0000"), SWFRGBA(255, 0, 0, 255));
    EXPECT_EQ(BinToHexStr(HexBytes("0A FF").data(), 2), "0AFF");
    EXPECT_EQ(HexStrToBin("0aff1"), HexBytes("0A FF"));
    EXPECT_THROW(HexStrToBin("zz"), EConvertError);
    EXPECT_EQ(EscapeStr("a\t%"), "a%09%25");
    EXPECT_EQ(UnescapeStr("a%09%25"), "a\t%");

    TXMLReadWriteSettings settings;
    settings.FilePrefix = "p_";
    settings.FileCounter = 3;
    EXPECT_EQ(settings.GetNewFileName(1), "p_image3.dat");
    EXPECT_EQ(settings.FileCounter, 4);
    settings.BaseFolder = "/base";
    EXPECT_EQ(settings.GetFullFileName(1, "C:\\x.dat"), "C:\\x.dat");
    EXPECT_EQ(settings.GetFullFileName(1, "x.dat"), "/base/x.dat");
}

TEST(XmlForm, MovieLoadReportsBadElementsAndGoesOn) {
    TXmlDocument doc;
    doc.LoadFromString(
        "<doc><SWF XMax='550' YMax='400' FPS='12' Version='6'>"
        "<SetBackgroundColor Color='#FF0000'/><FrameLabel/><tag255>0102</tag255>"
        "<Error_Tag/><ShowFrame/><End/></SWF></doc>");
    std::vector<std::string> reports;
    TScopedMessageReporter capture([&](const std::string&, const std::string& text) { reports.push_back(text); });
    TSWFStreamReader reader;
    EXPECT_FALSE(reader.LoadFromXml(doc.DocumentElement(), true));
    ASSERT_EQ(reports.size(), 1u);
    // The index and the element's text, and nothing after them.
    EXPECT_EQ(reports[0], "Error reading node: 1\r " + doc.DocumentElement().ChildNode("SWF").ChildElements()[1].XmlText());
    ASSERT_EQ(reader.Tags.size(), 4u);
    EXPECT_EQ(reader.Bounds, (TRect{0, 0, 11000, 8000}));
    EXPECT_EQ(reader.FrameCount, 1);

    TXmlDocument none;
    none.LoadFromString("<doc/>");
    EXPECT_FALSE(reader.LoadFromXml(none.DocumentElement(), true));
    EXPECT_EQ(reader.Tags.size(), 4u);
}

TEST(XmlForm, MissingDataFilesAreReported) {
    // Payloads that live in data files: a raw tag, a bitmap and an action
    // list. None of the files exists.
    TXmlDocument doc;
    doc.LoadFromString(
        "<doc><SWF XMax='10' YMax='10' FPS='12' Version='6'>"
        "<tag255 File='gone1.dat'/>"
        "<DefineBitsJPEG2 ID='2' File='gone3.dat'/>"
        "<DoAction File='gone4.dat'/>"
        "</SWF></doc>");
    std::vector<std::string> reports;
    TScopedMessageReporter capture([&](const std::string&, const std::string& text) { reports.push_back(text); });
    TSWFStreamReader reader;
    reader.Settings.BaseFolder = "/no-such-folder";
    reader.LoadFromXml(doc.DocumentElement(), true);
    std::string all;
    for (const std::string& r : reports) all += r + "\n";
    for (const char* name : {"gone1.dat", "gone3.dat", "gone4.dat"}) {
        SCOPED_TRACE(name);
        EXPECT_NE(all.find(std::string("Cannot read the data file \"") + reader.Settings.BaseFolder + "/" + name),
                  std::string::npos)
            << all;
    }
}
