// ActionScript 3 byte code that other tools wrote: the DoABC blocks of the
// shared corpus and of movies that haxe compiles (a plain one, one with
// typed vectors, one with an embedded font). Read with parsing on they are
// modelled and written back byte for byte; through the XML form, inline and
// in external files, in either action format, they come back the same.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/testing/test_support.h"
#include "swf/do_abc.h"
#include "swf/reader.h"
#include "swf/tag_xml.h"
#include "swf/xml_form.h"
#include "test_util.h"
#include "tool_fixtures.h"

namespace {

Bytes TagBody(TSWFStreamReader& reader, const TSWFTagInfo& info) {
    const uint8_t* body = reader.GetBodyStream().Memory();
    int64_t start = int64_t(info.Offset) + info.GetFullSize() - info.BodySize;
    return Bytes(body + start, body + start + info.BodySize);
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
