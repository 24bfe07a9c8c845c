// Makes seed inputs for the targets that do not read whole SWF files:
//   fuzz_seeds actions <folder> <swf files...>  every action block, one a file
//   fuzz_seeds xml <folder> <swf files...>      the XML form of every movie
//   fuzz_seeds abc <folder> <swf files...>      every DoABC body, one a file
// Files that do not read are passed over; the rest are written as
// <folder>/<file name>.<n>.act, <folder>/<file name>.xml or
// <folder>/<file name>.<n>.abc.
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "platform/diagnostics.h"
#include "platform/xml.h"
#include "swf/reader.h"
#include "test_util.h"

namespace fs = std::filesystem;

namespace {

// The longest input of the XML target (its max_len): a longer document
// would be cut there and no longer parse.
constexpr size_t kMaxXmlBytes = 65536;

// The bodies of the tags a seed kind takes from a run of tag records,
// sprites' tags included: the action blocks of DoAction and DoInitAction, or
// the bodies of DoABC.
void CollectBlocks(const uint8_t* data, size_t size, bool abc, std::set<Bytes>& blocks) {
    for (const TagRecord& record : SplitRecords(data, size)) {
        const Bytes& body = record.body;
        if (abc && record.code == 82) blocks.insert(body);
        if (!abc && record.code == 12 && !body.empty()) blocks.insert(body);
        if (!abc && record.code == 59 && body.size() > 2) blocks.insert(Bytes(body.begin() + 2, body.end()));
        if (record.code == 39 && body.size() > 4) CollectBlocks(body.data() + 4, body.size() - 4, abc, blocks);
    }
}

void WriteSeed(const fs::path& path, const void* data, size_t size) { WriteFileBytes(path.string(), data, size); }

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: fuzz_seeds actions|xml|abc <folder> <swf files...>\n");
        return 2;
    }
    std::string kind = argv[1];
    fs::path folder = argv[2];
    fs::create_directories(folder);
    TScopedMessageReporter quiet([](const std::string&, const std::string&) {});
    int written = 0;
    for (int i = 3; i < argc; ++i) {
        // Files of the same name live in different folders.
        std::string name = std::to_string(i - 2) + "-" + fs::path(argv[i]).filename().string();
        try {
            auto reader = std::make_unique<TSWFStreamReader>(argv[i]);
            if (kind == "actions" || kind == "abc") {
                const bool abc = kind == "abc";
                std::set<Bytes> blocks;
                TMemoryStream& body = reader->GetBodyStream();
                CollectBlocks(body.Memory(), static_cast<size_t>(body.GetSize()), abc, blocks);
                int n = 0;
                for (const Bytes& block : blocks) {
                    WriteSeed(folder / (name + "." + std::to_string(n++) + (abc ? ".abc" : ".act")), block.data(),
                              block.size());
                    ++written;
                }
            } else if (kind == "xml") {
                reader->ParseTags(true, true);
                reader->Settings.Options = 0;
                TXmlDocument doc;
                reader->SaveToXml(doc.Root());
                std::string text = doc.SaveToString();
                if (text.size() > kMaxXmlBytes) continue;
                WriteSeed(folder / (name + ".xml"), text.data(), text.size());
                ++written;
            } else {
                std::fprintf(stderr, "fuzz_seeds: unknown kind \"%s\"\n", kind.c_str());
                return 2;
            }
        } catch (const Exception& failure) {
            std::fprintf(stderr, "fuzz_seeds: %s passed over: %s\n", argv[i], failure.what());
        }
    }
    std::printf("%d %s seeds in %s\n", written, kind.c_str(), folder.string().c_str());
    return 0;
}
