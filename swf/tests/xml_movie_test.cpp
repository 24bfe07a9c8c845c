// A whole movie through its XML form: control tags and raw tags saved into an
// "SWF" element, loaded into a new reader and written again give the same bytes.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/diagnostics.h"
#include "platform/paths.h"
#include "swf/control_tags.h"
#include "swf/names.h"
#include "swf/reader.h"
#include "test_util.h"
#include "platform/testing/test_support.h"

namespace {

// A movie file whose body is the records of the given tags.
Bytes MovieOf(std::vector<std::unique_ptr<TSWFObject>>& tags, bool compressed) {
    TSWFStreamReader movie;  // used here only as a writer of header and body
    movie.SetSystemCoord(true);
    movie.SetBounds(TRect{0, 0, 550, 400});
    movie.SetFrameRate(12);
    movie.SetVersion(9);
    movie.SetCompressed(compressed);
    movie.FrameCount = 1;
    TBitsEngine be(movie.GetBodyStream());
    for (auto& tag : tags) tag->WriteTag(be);
    TMemoryStream out;
    movie.SaveToStream(out);
    return out.Bytes();
}

std::vector<std::unique_ptr<TSWFObject>> EveryControlTag() {
    std::vector<std::unique_ptr<TSWFObject>> tags;
    auto background = std::make_unique<TSWFSetBackgroundColor>();
    background->Color.SetRGB(SWFRGB(0x12, 0x34, 0x56));
    tags.push_back(std::move(background));
    auto attributes = std::make_unique<TSWFFileAttributes>();
    attributes->SetActionScript3(true);
    attributes->SetUseNetwork(true);
    tags.push_back(std::move(attributes));
    auto metadata = std::make_unique<TSWFMetadata>();
    metadata->Metadata = "<rdf:RDF>caf\xE9 &amp; more</rdf:RDF>";
    tags.push_back(std::move(metadata));
    auto protect = std::make_unique<TSWFProtect>();
    protect->Password = "secret";
    tags.push_back(std::move(protect));
    auto debugger = std::make_unique<TSWFEnableDebugger2>();
    debugger->Hash = "$1$ab$0123456789012345678901";
    tags.push_back(std::move(debugger));
    auto limits = std::make_unique<TSWFScriptLimits>();
    limits->MaxRecursionDepth = 1000;
    limits->ScriptTimeoutSeconds = 60;
    tags.push_back(std::move(limits));
    auto tab = std::make_unique<TSWFSetTabIndex>();
    tab->Depth = 3;
    tab->TabIndex = 7;
    tags.push_back(std::move(tab));
    auto exports = std::make_unique<TSWFExportAssets>();
    exports->AddAsset("logo", 1);
    exports->AddAsset("Button\tTab", 2);
    tags.push_back(std::move(exports));
    auto imports = std::make_unique<TSWFImportAssets2>();
    imports->URL = "library.swf";
    imports->AddAsset("shared", 9);
    tags.push_back(std::move(imports));
    auto symbols = std::make_unique<TSWFSymbolClass>();
    symbols->AddAsset("Main", 0);
    tags.push_back(std::move(symbols));
    auto product = std::make_unique<TSWFProductInfo>();
    product->ProductId = 3;
    product->Edition = 6;
    product->MajorVersion = 9;
    product->MinorVersion = 1;
    product->BuildNumber1 = 0x00020003;
    product->BuildNumber2 = 0x00040005;
    for (int i = 0; i < 8; ++i) product->CompileDate[i] = static_cast<uint8_t>(0x10 + i);
    tags.push_back(std::move(product));
    auto grid = std::make_unique<TSWFDefineScalingGrid>();
    grid->CharacterId = 1;
    grid->Splitter.SetRect(TRect{-200, 20, 400, 600});
    tags.push_back(std::move(grid));
    tags.push_back(TSWFFrameLabel::CreateWithName("intro"));
    auto anchor = TSWFFrameLabel::CreateWithName("anchor");
    anchor->IsAnchor = true;
    tags.push_back(std::move(anchor));
    // Raw tags: an unknown code, and a known code whose body its class
    // cannot read (a frame label without its terminator).
    auto unknown = CreateTagByCode(255);
    static_cast<TSWFByteCodeTag&>(*unknown).SetData(HexBytes("00 01 02 FE FF"));
    tags.push_back(std::move(unknown));
    auto unreadable = std::make_unique<TSWFByteCodeTag>();
    unreadable->RealCode = 43;
    unreadable->SetData(HexBytes("61 62"));
    tags.push_back(std::move(unreadable));
    tags.push_back(std::make_unique<TSWFShowFrame>());
    tags.push_back(std::make_unique<TSWFEnd>());
    return tags;
}

Bytes Rewritten(TSWFStreamReader& reader) {
    reader.MakeStream();
    TMemoryStream out;
    reader.SaveToStream(out);
    return out.Bytes();
}

}  // namespace

TEST(XmlMovie, ControlAndRawTagsRoundTripThroughXml) {
    auto tags = EveryControlTag();
    for (bool compressed : {false, true}) {
        for (bool external : {false, true}) {
            SCOPED_TRACE(std::string(compressed ? "compressed" : "plain") + (external ? ", external files" : ""));
            Bytes file = MovieOf(tags, compressed);
            TMemoryStream in(file);
            auto reader = TSWFStreamReader::CreateFromStream(in);
            reader->ParseTags(true, true);
            Bytes expected = Rewritten(*reader);

            std::filesystem::path folder = std::filesystem::path(TestScratchFolder("tw_xml_movie"));
            std::filesystem::remove_all(folder);
            std::filesystem::create_directories(folder);
            if (external) {
                reader->Settings.Options |= kXmlExternalRawTags;
                reader->Settings.BaseFolder = folder.string();
                reader->Settings.CommonDataFolder = (folder / "data").string();
            }
            TXmlDocument doc;
            reader->SaveToXml(doc.Root().AddChild("Movie"));
            std::string text = doc.SaveToString();
            EXPECT_EQ(text.find("secret"), std::string::npos);  // passwords never reach the XML
            if (external) {
                EXPECT_NE(text.find("File=\"data/notident"), std::string::npos) << text;
            }

            TXmlDocument parsed;
            parsed.LoadFromString(text);
            TSWFStreamReader loaded;
            loaded.Settings.BaseFolder = folder.string();
            ASSERT_TRUE(loaded.LoadFromXml(parsed.DocumentElement(), true));
            EXPECT_EQ(loaded.Tags.size(), tags.size());
            EXPECT_EQ(Rewritten(loaded), expected);
            std::filesystem::remove_all(folder);
        }
    }
}

namespace {

// Loads a movie document; the header's message when it is refused, else "".
std::string HeaderFailure(const std::string& swfAttributes, const std::string& tags, TSWFStreamReader& reader) {
    TXmlDocument doc;
    doc.LoadFromString("<Movie><SWF " + swfAttributes + ">" + tags + "</SWF></Movie>");
    try {
        reader.LoadFromXml(doc.DocumentElement(), true);
    } catch (const EConvertError& failure) {
        return failure.what();
    }
    return "";
}

}  // namespace

// Header values and coordinates the file cannot hold are refused with the
// attribute named, rather than wrapped (300 frames per second were 44, a
// version of 262 was 6); the largest that fit load exactly.
TEST(XmlMovie, OutOfRangeHeaderValuesAndCoordinatesAreRefused) {
    const std::string fits = "XMax=\"550\" YMax=\"400\"";
    struct Case {
        const char* attributes;
        const char* refusedAttribute;  // nullptr: loads
    } cases[] = {
        {"FPS=\"300\" Version=\"8\"", "FPS"},
        {"FPS=\"6e66\" Version=\"8\"", "FPS"},
        {"FPS=\"-1\" Version=\"8\"", "FPS"},
        {"FPS=\"nan\" Version=\"8\"", "FPS"},
        {"FPS=\"255.999\" Version=\"8\"", "FPS"},  // rounds to 256
        {"FPS=\"12\" Version=\"262\"", "Version"},
        {"FPS=\"12\" Version=\"-1\"", "Version"},
        {"FPS=\"255.99\" Version=\"255\"", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.attributes);
        TSWFStreamReader reader;
        std::string failure = HeaderFailure(std::string("SystemCoord=\"Pix\" ") + fits + " " + c.attributes, "", reader);
        if (c.refusedAttribute) {
            EXPECT_NE(failure.find(c.refusedAttribute), std::string::npos) << failure;
        } else {
            EXPECT_EQ(failure, "");
            EXPECT_EQ(reader.FrameRate, 0xFFFD);
            EXPECT_EQ(reader.Version, 255);
        }
    }

    // Pixels are 20 twips: 107374182 pixels is the last that fits.
    TSWFStreamReader pixels;
    EXPECT_EQ(HeaderFailure("SystemCoord=\"Pix\" XMax=\"107374182\" YMax=\"-107374182\" FPS=\"12\" Version=\"8\"", "", pixels), "");
    EXPECT_EQ(pixels.Bounds.Right, 2147483640);
    EXPECT_EQ(pixels.Bounds.Bottom, -2147483640);
    EXPECT_NE(HeaderFailure("SystemCoord=\"Pix\" XMax=\"107374183\" YMax=\"400\" FPS=\"12\" Version=\"8\"", "", pixels)
                  .find("XMax"), std::string::npos);
    TSWFStreamReader twips;
    EXPECT_NE(HeaderFailure("SystemCoord=\"Twips\" XMax=\"550\" YMax=\"2147483648\" FPS=\"12\" Version=\"8\"", "", twips)
                  .find("YMax"), std::string::npos);
    EXPECT_NE(HeaderFailure("SystemCoord=\"Pix\" XMin=\"-9223372036854775808\" XMax=\"1\" YMax=\"1\" FPS=\"12\" Version=\"8\"",
                            "", twips).find("XMin"), std::string::npos);

    // In a tag the element is reported and left out; the rest of the movie loads.
    TSWFStreamReader movie;
    std::vector<std::string> messages;
    TScopedMessageReporter reporter([&](const std::string&, const std::string& text) { messages.push_back(text); });
    TXmlDocument doc;
    doc.LoadFromString("<Movie><SWF SystemCoord=\"Pix\" " + fits + " FPS=\"12\" Version=\"8\">"
                       "<DefineScalingGrid ID=\"1\" XMax=\"300000000\" YMax=\"5\"/><ShowFrame/><End/></SWF></Movie>");
    EXPECT_FALSE(movie.LoadFromXml(doc.DocumentElement(), true));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("XMax=\"300000000\""), std::string::npos) << messages[0];
    EXPECT_EQ(movie.Tags.size(), 2u);
}
