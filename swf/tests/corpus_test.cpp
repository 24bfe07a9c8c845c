// Round trips of SWF files made by producers other than ours: the corpus of
// another player's test suite, and movies that ffmpeg and haxe write. These
// are the strongest checks of the reader and writer, and they grow stronger
// as more tag classes parse their bodies.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>

#include "platform/zstream.h"
#include "swf/names.h"
#include "swf/reader.h"
#include "swf/tag_xml.h"
#include "swf/xml_form.h"
#include "test_util.h"
#include "tool_fixtures.h"

namespace fs = std::filesystem;

namespace {

// The file as a plain one: the 8 leading bytes, then the rest inflated when
// it is compressed (compressed bytes differ with the compressor's choices).
Bytes Expanded(const Bytes& file) {
    if (file.size() < 8 || file[0] != 'C') return file;
    Bytes out(file.begin(), file.begin() + 8);
    out[0] = 'F';
    TMemoryStream in(Bytes(file.begin() + 8, file.end()));
    TMemoryStream body;
    uint32_t length = uint32_t(file[4]) | uint32_t(file[5]) << 8 | uint32_t(file[6]) << 16 | uint32_t(file[7]) << 24;
    InflateExactly(in, int64_t(length) - 8, body);
    out.insert(out.end(), body.Bytes().begin(), body.Bytes().end());
    return out;
}

Bytes Saved(TSWFStreamReader& reader) {
    TMemoryStream out;
    reader.SaveToStream(out);
    return out.Bytes();
}

// Splits a body into (code, body) pairs, ignoring how each header was framed.
std::vector<TagRecord> SplitTags(TSWFStreamReader& reader) {
    std::vector<TagRecord> records;
    TMemoryStream& body = reader.GetBodyStream();
    for (const auto& info : reader.Tags) {
        int64_t start = int64_t(info->Offset) + info->GetFullSize() - info->BodySize;
        records.push_back({info->TagCode, Bytes(body.Memory() + start, body.Memory() + start + info->BodySize)});
    }
    return records;
}

std::vector<TagRecord> SplitTags(const Bytes& file) {
    TMemoryStream in(file);
    auto reader = TSWFStreamReader::CreateFromStream(in);
    reader->ParseTags(false, false);
    return SplitTags(*reader);
}

struct RoundTripResult {
    bool rawIdentical = false;
    int tags = 0;
    int parsedObjects = 0;
    int longerEncodings = 0;  // producer's bytes differ, objects read back the same
    bool parsedChanged = false;  // read with parsing and written back, the file differs
    bool xmlChanged = false;     // through the XML form and back, a tag's code or body differs
    std::vector<std::string> xmlChangedTags;  // the names of the tags that differ, once each
    std::vector<std::string> failures;
};

// The movie through its XML form: saved, loaded into a fresh reader and
// written again. True when every tag keeps its code and body; the names of
// the tags that do not (or what went wrong) go to changed.
bool SurvivesXmlForm(TSWFStreamReader& reader, const std::vector<TagRecord>& original,
                     std::vector<std::string>& changed) {
    try {
        reader.Settings.Options = 0;
        TXmlDocument doc;
        reader.SaveToXml(doc.Root());
        TXmlDocument reread;
        reread.LoadFromString(doc.SaveToString());
        TSWFStreamReader loaded;
        loaded.Settings.Options = 0;
        if (!loaded.LoadFromXml(reread.Root(), true)) {
            changed.push_back("(the XML form does not load)");
            return false;
        }
        loaded.MakeStream();
        TMemoryStream out;
        loaded.SaveToStream(out);
        std::vector<TagRecord> written = SplitTags(out.Bytes());
        if (written.size() != original.size()) {
            changed.push_back("(the tag count changes)");
            return false;
        }
        std::set<std::string> names;
        for (size_t i = 0; i < original.size(); ++i)
            if (written[i].code != original[i].code || written[i].body != original[i].body)
                names.insert(TagIdToName(original[i].code));
        changed.assign(names.begin(), names.end());
        return names.empty();
    } catch (const std::exception& error) {
        changed.push_back(std::string("(failed: ") + error.what() + ")");
        return false;
    }
}

// Reads file without parsing (must write back byte-identical) and with
// parsing (every tag keeps its code and body, or took a longer encoding that
// reads back to the same objects and is stable on a second round trip).
RoundTripResult RoundTrip(const Bytes& file, const std::string& name) {
    RoundTripResult result;
    {
        TMemoryStream in(file);
        auto raw = TSWFStreamReader::CreateFromStream(in);
        raw->ParseTags(false, false);
        raw->MakeStream();
        result.rawIdentical = Expanded(Saved(*raw)) == Expanded(file);
    }
    TMemoryStream in(file);
    auto reader = TSWFStreamReader::CreateFromStream(in);
    reader->ParseTags(false, false);
    std::vector<TagRecord> original = SplitTags(*reader);
    reader->ParseTags(true, true);
    for (const auto& info : reader->Tags)
        if (info->Object && info->Object->TagCode != kErrorTagCode) ++result.parsedObjects;
    result.xmlChanged = !SurvivesXmlForm(*reader, original, result.xmlChangedTags);
    reader->MakeStream();
    Bytes first = Saved(*reader);
    result.parsedChanged = Expanded(first) != Expanded(file);
    std::vector<TagRecord> written = SplitTags(first);
    result.tags = static_cast<int>(original.size());
    if (written.size() != original.size()) {
        result.failures.push_back(name + ": tag count " + std::to_string(original.size()) + " became " +
                                  std::to_string(written.size()));
        return result;
    }
    bool anyLonger = false;
    for (size_t i = 0; i < original.size(); ++i) {
        if (written[i].code != original[i].code) {
            result.failures.push_back(name + ": tag " + std::to_string(i) + " code " +
                                      std::to_string(original[i].code) + " became " + std::to_string(written[i].code));
        } else if (written[i].body != original[i].body) {
            ++result.longerEncodings;
            anyLonger = true;
        }
    }
    if (anyLonger) {
        // Our encoding of the same objects must be a fixed point.
        TMemoryStream again(first);
        auto second = TSWFStreamReader::CreateFromStream(again);
        second->ParseTags(true, true);
        second->MakeStream();
        std::vector<TagRecord> rewritten = SplitTags(Saved(*second));
        for (size_t i = 0; i < written.size() && i < rewritten.size(); ++i)
            if (rewritten[i].code != written[i].code || rewritten[i].body != written[i].body)
                result.failures.push_back(name + ": tag " + std::to_string(i) + " (" +
                                          TagIdToName(written[i].code) + ") changes again on a second round trip");
        if (rewritten.size() != written.size()) result.failures.push_back(name + ": second round trip lost tags");
    }
    return result;
}

}  // namespace

TEST(Corpus, EveryFileRoundTrips) {
    std::vector<std::string> files = CorpusFiles();
    if (files.empty()) TW_SKIP_OR_FAIL() << "no corpus at " << SharedDir() << "/corpus/swf-gnash";
    int rawDifferent = 0, tags = 0, parsed = 0, longer = 0, parsedChanged = 0, xmlChanged = 0;
    std::map<std::string, int> longerByTag, xmlChangedByTag;
    std::vector<std::string> failures;
    for (const std::string& path : files) {
        Bytes file = ReadFileBytes(path);
        std::string name = fs::path(path).filename().string();
        RoundTripResult r = RoundTrip(file, name);
        if (!r.rawIdentical) {
            ++rawDifferent;
            failures.push_back(name + ": not byte-identical when read without parsing");
        }
        tags += r.tags;
        parsed += r.parsedObjects;
        longer += r.longerEncodings;
        parsedChanged += r.parsedChanged;
        xmlChanged += r.xmlChanged;
        for (const std::string& tag : r.xmlChangedTags) ++xmlChangedByTag[tag];
        if (std::getenv("TW_CORPUS_LIST") && (r.parsedChanged || r.xmlChanged))
            std::printf("changed: %s%s%s\n", path.c_str(), r.parsedChanged ? " parsed" : "", r.xmlChanged ? " xml" : "");
        // Every file of the corpus comes back byte for byte, read into
        // objects and through the XML form alike.
        if (r.parsedChanged) failures.push_back(name + ": changes when written back parsed (" + path + ")");
        if (r.xmlChanged) {
            std::string tagsChanged;
            for (const std::string& tag : r.xmlChangedTags) tagsChanged += " " + tag;
            failures.push_back(name + ": changes through the XML form in" + tagsChanged + " (" + path + ")");
        }
        failures.insert(failures.end(), r.failures.begin(), r.failures.end());
    }
    std::printf("corpus: %zu files, %d tags, %d parsed into objects, %d took a longer producer encoding\n",
                files.size(), tags, parsed, longer);
    std::printf("corpus: %d files change when written back parsed, %d through the XML form\n", parsedChanged,
                xmlChanged);
    // Which tags the XML form changes, by the number of files they change in.
    for (const auto& [tag, count] : xmlChangedByTag) std::printf("corpus: through XML, %s changes in %d files\n", tag.c_str(), count);
    for (size_t i = 0; i < failures.size() && i < 20; ++i) ADD_FAILURE() << failures[i];
    EXPECT_TRUE(failures.empty()) << failures.size() << " failures";
}

TEST(ToolFixtures, FfmpegAndHaxeMoviesRoundTripUnchanged) {
    std::vector<std::string> movies = FfmpegFixtures();
    if (movies.empty()) TW_SKIP_OR_FAIL() << "ffmpeg is not installed";
    std::string haxe = HaxeFixture();
    if (!haxe.empty()) movies.push_back(haxe);
    for (const std::string& path : movies) {
        SCOPED_TRACE(path);
        Bytes file = ReadFileBytes(path);
        RoundTripResult r = RoundTrip(file, path);
        EXPECT_TRUE(r.rawIdentical);
        EXPECT_GT(r.tags, 3);
        // Read and written back unchanged, these movies keep every byte.
        EXPECT_FALSE(r.parsedChanged);
        EXPECT_FALSE(r.xmlChanged);
        for (const std::string& f : r.failures) ADD_FAILURE() << f;
    }
}

TEST(ToolFixtures, HaxeCompressedMovie) {
    std::string path = HaxeFixture();
    if (path.empty()) TW_SKIP_OR_FAIL() << "haxe is not installed";
    Bytes file = ReadFileBytes(path);
    ASSERT_EQ(file[0], 'C');
    // The body we inflate equals an independent inflate of the file.
    TMemoryStream in(file);
    auto reader = TSWFStreamReader::CreateFromStream(in);
    ASSERT_TRUE(reader->Valid);
    Bytes expanded = Expanded(file);
    Bytes ours(reader->GetBodyStream().Bytes());
    Bytes independent = ZDecompress(file.data() + 8, file.size() - 8);
    ASSERT_GE(independent.size(), ours.size());
    EXPECT_TRUE(std::equal(ours.begin(), ours.end(), independent.end() - static_cast<long>(ours.size())));

    // Saved again compressed, it inflates to the same body.
    reader->ParseTags(true, true);
    bool sawAttributes = false;
    for (const auto& info : reader->Tags)
        if (info->TagCode == 69) {
            sawAttributes = true;
            // The ActionScript 3 flag survives the object round trip.
            Bytes body = WriteBodyBytes(*info->Object);
            EXPECT_TRUE(body[0] & 0x08) << ToHex(body);
            int64_t start = int64_t(info->Offset) + info->GetFullSize() - info->BodySize;
            EXPECT_EQ(body[0], reader->GetBodyStream().Memory()[start]);
        }
    EXPECT_TRUE(sawAttributes);
    reader->MakeStream();
    Bytes again = Saved(*reader);
    EXPECT_EQ(again[0], 'C');
    // Same tags and bodies (our writer may frame a short body with a short
    // header where haxe used a long one).
    std::vector<TagRecord> before = SplitTags(file), after = SplitTags(again);
    ASSERT_EQ(before.size(), after.size());
    for (size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(before[i].code, after[i].code);
        EXPECT_EQ(before[i].body, after[i].body) << TagIdToName(before[i].code);
    }
}

namespace {

// Every tag of the reader, those inside sprites included.
void CollectTags(const std::vector<std::unique_ptr<TSWFTagInfo>>& infos, std::vector<const TSWFTagInfo*>& out) {
    for (const auto& info : infos) {
        out.push_back(info.get());
        CollectTags(info->Children, out);
    }
}

// The file read with tag and action parsing on, and all of its tags.
struct TParsedMovie {
    std::unique_ptr<TSWFStreamReader> reader;
    std::vector<const TSWFTagInfo*> tags;
};

TParsedMovie ParseFile(const std::string& path) {
    TParsedMovie movie;
    Bytes file = ReadFileBytes(path);
    TMemoryStream in(file);
    movie.reader = TSWFStreamReader::CreateFromStream(in);
    movie.reader->ParseTags(true, true);
    CollectTags(movie.reader->Tags, movie.tags);
    return movie;
}

}  // namespace

TEST(ToolFixtures, EveryTagOfFfmpegAndHaxeMoviesIsAnObject) {
    std::vector<std::string> movies = FfmpegFixtures();
    if (movies.empty()) TW_SKIP_OR_FAIL() << "ffmpeg is not installed";
    std::string haxe = HaxeFixture();
    if (haxe.empty()) TW_SKIP_OR_FAIL() << "haxe is not installed";
    movies.push_back(haxe);
    std::map<uint16_t, int> seen;
    for (const std::string& path : movies) {
        SCOPED_TRACE(path);
        TParsedMovie movie = ParseFile(path);
        for (const TSWFTagInfo* info : movie.tags) {
            ++seen[info->TagCode];
            ASSERT_NE(info->Object, nullptr);
            EXPECT_NE(info->Object->TagCode, kErrorTagCode) << TagIdToName(info->TagCode);
        }
    }
    // The video tags are among them.
    EXPECT_GT(seen[TagCodes::DefineVideoStream], 0);
    EXPECT_GT(seen[TagCodes::VideoFrame], 10);
}

TEST(Corpus, ButtonMorphAndVideoTagsParseAndSurviveXml) {
    std::vector<std::string> files = CorpusFiles();
    if (files.empty()) TW_SKIP_OR_FAIL() << "no corpus at " << SharedDir() << "/corpus/swf-gnash";
    const std::vector<uint16_t> codes = {7, 17, 23, 34, 46, 84, 60, 61};
    std::map<uint16_t, int> parsed;
    TXMLReadWriteSettings settings;
    settings.Options = 0;
    for (const std::string& path : files) {
        TParsedMovie movie = ParseFile(path);
        for (const TSWFTagInfo* info : movie.tags) {
            if (std::find(codes.begin(), codes.end(), info->TagCode) == codes.end()) continue;
            SCOPED_TRACE(path + ": " + TagIdToName(info->TagCode));
            ASSERT_NE(info->Object, nullptr);
            ASSERT_NE(info->Object->TagCode, kErrorTagCode) << static_cast<TSWFByteCodeTag*>(info->Object)->Name;
            ++parsed[info->TagCode];
            // Through its XML element and back, the tag writes the same body.
            TXmlDocument doc;
            SaveTagElement(doc.Root(), *info->Object, settings);
            TXmlDocument reread;
            reread.LoadFromString(doc.SaveToString());
            auto loaded = LoadTagElement(reread.DocumentElement(), movie.reader->Version, settings);
            ASSERT_NE(loaded, nullptr);
            EXPECT_EQ(ToHex(WriteBodyBytes(*loaded)), ToHex(WriteBodyBytes(*info->Object)));
        }
    }
    // The corpus holds buttons, a morph shape and an embedded video.
    EXPECT_GT(parsed[34], 0);
    EXPECT_GT(parsed[46], 0);
    EXPECT_GT(parsed[60], 0);
    EXPECT_GT(parsed[61], 0);
    for (auto [code, count] : parsed) std::printf("%s: %d\n", TagIdToName(code).c_str(), count);
}
