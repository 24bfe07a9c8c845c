// Display-list, sprite and sound tags of movies made by other producers: the
// corpus of another player's test suite and movies ffmpeg writes. Each tag of
// these kinds must become an object (not a raw tag) and be written back with
// the body it had.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "swf/names.h"
#include "swf/reader.h"
#include "test_util.h"
#include "tool_fixtures.h"

namespace fs = std::filesystem;

namespace {

const std::set<uint16_t> kCodes = {1, 4, 5, 14, 15, 18, 19, 26, 28, 39, 45, 70, 86, 89};

struct Tally {
    std::map<uint16_t, int> parsed;
    std::vector<std::string> failures;
};

// Every tag of the codes above, also inside sprites: an object of its class
// whose body, written again, is the body that was read.
void Check(const std::string& where, const std::vector<TSWFObject*>& objects, const std::vector<TagRecord>& records,
           Tally& tally) {
    for (size_t i = 0; i < records.size() && i < objects.size(); ++i) {
        const TagRecord& record = records[i];
        if (!kCodes.count(record.code)) continue;
        std::string here = where + " tag " + std::to_string(i) + " (" + TagIdToName(record.code) + ")";
        TSWFObject* obj = objects[i];
        if (obj == nullptr || obj->TagCode != record.code) {
            auto* raw = dynamic_cast<TSWFByteCodeTag*>(obj);
            tally.failures.push_back(here + " is raw: " + (raw ? raw->Name : std::string("no object")));
            continue;
        }
        ++tally.parsed[record.code];
        Bytes written = WriteBodyBytes(*obj);
        if (written != record.body) {
            tally.failures.push_back(here + " body changed: " + ToHex(record.body).substr(0, 90) + " became " +
                                     ToHex(written).substr(0, 90));
            continue;
        }
        if (record.code == 39 && obj->ChildTags() && record.body.size() >= 4) {
            std::vector<TSWFObject*> inner;
            for (const auto& child : *obj->ChildTags()) inner.push_back(child.get());
            Check(here, inner, SplitRecords(record.body.data() + 4, record.body.size() - 4), tally);
        }
    }
}

void CheckFile(const std::string& path, const std::string& name, Tally& tally) {
    TSWFStreamReader reader;
    reader.LoadFromFile(path);
    if (!reader.Valid) return;
    TMemoryStream& body = reader.GetBodyStream();
    std::vector<TagRecord> records = SplitRecords(body.Memory(), static_cast<size_t>(body.GetSize()));
    reader.ParseTags(true, true);
    std::vector<TSWFObject*> objects;
    for (const auto& info : reader.Tags) objects.push_back(info->Object);
    Check(name, objects, records, tally);
}

}  // namespace

TEST(DisplayCorpus, FfmpegPlacementsSoundAndFramesParseAndKeepTheirBodies) {
    std::vector<std::string> movies = FfmpegFixtures();
    if (movies.empty()) TW_SKIP_OR_FAIL() << "ffmpeg is not installed: no movies to read";
    for (const std::string& path : movies) {
        SCOPED_TRACE(path);
        Tally tally;
        CheckFile(path, fs::path(path).filename().string(), tally);
        for (const std::string& failure : tally.failures) ADD_FAILURE() << failure;
        EXPECT_GT(tally.parsed[1], 0);
        EXPECT_GT(tally.parsed[4] + tally.parsed[26], 0);
        if (path.find("mp3") != std::string::npos) {
            EXPECT_EQ(tally.parsed[18] + tally.parsed[45], 1);
            EXPECT_GT(tally.parsed[19], 0);
        }
    }
}

TEST(DisplayCorpus, CorpusPlacementsSpritesAndSoundsParseAndKeepTheirBodies) {
    fs::path root = fs::path(SharedDir()) / "corpus" / "swf-gnash";
    std::error_code error;
    if (!fs::is_directory(root, error)) TW_SKIP_OR_FAIL() << "no corpus at " << root.string();
    std::vector<std::string> files;
    for (auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file() && entry.path().extension() == ".swf") files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    Tally tally;
    for (const std::string& path : files) CheckFile(path, fs::relative(path, root).string(), tally);
    std::string counts;
    for (const auto& [code, count] : tally.parsed) counts += " " + TagIdToName(code) + " " + std::to_string(count);
    std::printf("corpus display, sprite and sound tags parsed:%s\n", counts.c_str());
    EXPECT_GT(tally.parsed[26], 1000);
    EXPECT_GT(tally.parsed[39], 500);
    for (size_t i = 0; i < tally.failures.size() && i < 30; ++i) ADD_FAILURE() << tally.failures[i];
    EXPECT_TRUE(tally.failures.empty()) << tally.failures.size() << " failures";
}
