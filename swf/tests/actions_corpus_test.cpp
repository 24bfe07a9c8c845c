// Every action block of the corpus (top level and inside sprites), read with
// action parsing on and written back: byte-identical, or (where the
// producer's bytes are not what our writer makes of the same objects) stable
// on a second round trip. Kept raw and deep-copied it writes the same bytes,
// and its XML form reproduces it with the offsets recomputed from markers.
#include <gtest/gtest.h>

#include "platform/testing/test_support.h"

#include <algorithm>
#include <filesystem>
#include <functional>

#include "swf/actions_swf4.h"
#include "swf/do_action.h"
#include "swf/reader.h"
#include "test_util.h"

namespace fs = std::filesystem;

namespace {

std::unique_ptr<TSWFDoAction> NewBlockTag(uint16_t code) {
    if (code == 59) return std::make_unique<TSWFDoInitAction>();
    return std::make_unique<TSWFDoAction>();
}

std::unique_ptr<TSWFDoAction> ParseBlock(uint16_t code, const Bytes& body) {
    auto tag = NewBlockTag(code);
    tag->SetParseActions(true);
    ReadBodyBytes(*tag, body);
    return tag;
}

std::string XmlOf(TSWFDoAction& tag) {
    TXmlDocument doc;
    TXMLReadWriteSettings settings;
    settings.Options = 0;
    tag.SaveToXml(doc.Root().AddChild("DoAction"), settings);
    return doc.SaveToString();
}

// A branch whose target is not in the block (another block, or inside an
// instruction) has no marker to carry it through the XML form.
bool HasUnresolvedTargets(const TSWFActionList& list) {
    for (const auto& action : list)
        if (auto* jump = dynamic_cast<const TSWFActionJump*>(action.get()))
            if (jump->LabelMarker.Get() && !jump->LabelMarker.Get()->Placed && jump->BranchOffset != 0) return true;
    return false;
}

struct Stats {
    int blocks = 0, identical = 0, longer = 0, keptRaw = 0, xmlIdentical = 0, xmlSkipped = 0;
    std::vector<std::string> failures;
};

void CheckBlock(uint16_t code, const Bytes& original, TSWFObject* object, const std::string& where, Stats& stats) {
    ++stats.blocks;
    auto* tag = dynamic_cast<TSWFDoAction*>(object);
    if (!tag) {
        // The reader kept the tag raw because its body could not be read.
        ++stats.keptRaw;
        auto* raw = dynamic_cast<TSWFByteCodeTag*>(object);
        stats.failures.push_back(where + ": kept raw: " + (raw ? raw->Name : std::string("no object")));
        return;
    }
    Bytes first = WriteBodyBytes(*tag);
    if (first == original) {
        ++stats.identical;
    } else {
        ++stats.longer;
        std::printf("longer producer encoding: %s\n", where.c_str());
        auto again = ParseBlock(code, first);
        if (WriteBodyBytes(*again) != first) stats.failures.push_back(where + ": changes on a second round trip");
        if (XmlOf(*again) != XmlOf(*tag)) stats.failures.push_back(where + ": reads back to other actions");
    }
    // Kept raw, the block is written back as it was too.
    auto raw = NewBlockTag(code);
    ReadBodyBytes(*raw, original);
    if (WriteBodyBytes(*raw) != original) stats.failures.push_back(where + ": differs when kept raw");

    // A deep copy writes the same bytes.
    auto copy = NewBlockTag(code);
    copy->CopyFieldsFrom(*tag);
    if (WriteBodyBytes(*copy) != first) stats.failures.push_back(where + ": its copy writes other bytes");

    // Through the XML form the offsets come from the markers' positions.
    if (HasUnresolvedTargets(tag->Actions())) {
        ++stats.xmlSkipped;
        std::printf("branch target outside the block: %s\n", where.c_str());
        return;
    }
    TXmlDocument doc;
    TXMLReadWriteSettings settings;
    settings.Options = 0;
    TXmlNode element = doc.Root().AddChild("DoAction");
    tag->SaveToXml(element, settings);
    auto loaded = NewBlockTag(code);
    loaded->LoadFromXml(element, settings);
    if (WriteBodyBytes(*loaded) == first) ++stats.xmlIdentical;
    else stats.failures.push_back(where + ": differs after the XML form");
}

void Walk(const std::vector<TagRecord>& records, const std::vector<TSWFObject*>& objects, const std::string& where,
          Stats& stats) {
    for (size_t i = 0; i < records.size() && i < objects.size(); ++i) {
        const std::string here = where + " tag " + std::to_string(i);
        if (records[i].code == 12 || records[i].code == 59) CheckBlock(records[i].code, records[i].body, objects[i], here, stats);
        // Sprites: their control tags, once the sprite class parses them.
        if (records[i].code == 39 && objects[i] && objects[i]->ChildTags() && records[i].body.size() >= 4) {
            std::vector<TSWFObject*> children;
            for (const auto& child : *objects[i]->ChildTags()) children.push_back(dynamic_cast<TSWFObject*>(child.get()));
            Walk(SplitRecords(records[i].body.data() + 4, records[i].body.size() - 4), children, here, stats);
        }
    }
}

}  // namespace

TEST(ActionCorpus, EveryActionBlockRoundTrips) {
    std::vector<std::string> files = CorpusFiles();
    if (files.empty()) TW_SKIP_OR_FAIL() << "no corpus at " << SharedDir() << "/corpus/swf-gnash";
    Stats stats;
    for (const std::string& path : files) {
        TSWFStreamReader reader;
        reader.LoadFromFile(path);
        if (!reader.Valid) continue;
        TMemoryStream& body = reader.GetBodyStream();
        std::vector<TagRecord> records = SplitRecords(body.Memory(), static_cast<size_t>(body.GetSize()));
        reader.ParseTags(true, true);
        std::vector<TSWFObject*> objects;
        for (const auto& info : reader.Tags) objects.push_back(info->Object);
        Walk(records, objects, fs::relative(path, fs::path(SharedDir()) / "corpus" / "swf-gnash").string(), stats);
    }
    std::printf("action blocks: %d, byte-identical %d, longer producer encoding %d, unreadable (kept as raw tags) %d; "
                "through XML identical %d, not tried (a branch leaves the block) %d\n",
                stats.blocks, stats.identical, stats.longer, stats.keptRaw, stats.xmlIdentical, stats.xmlSkipped);
    EXPECT_GT(stats.blocks, 1000);
    for (size_t i = 0; i < stats.failures.size() && i < 30; ++i) ADD_FAILURE() << stats.failures[i];
    EXPECT_TRUE(stats.failures.empty()) << stats.failures.size() << " failures";
}
