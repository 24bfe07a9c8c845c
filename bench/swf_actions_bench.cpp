// Parsing a movie whose frame script is one large action block (pushes,
// arithmetic, a constant pool, forward and backward branches), at three
// sizes, beside reading the same file with its blocks kept raw. The time per
// byte must not grow with the block: building the action list and placing
// its branch markers is proportional to the data.
#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

#include "ratio_reporter.h"
#include "swf/reader.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Put16(Bytes& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

// One block of about `size` bytes. Every group pushes a string and a
// number, adds, traces, and branches: forward over the next group's first
// push, and every eighth group back to the start of the group before.
Bytes ActionBlock(size_t size) {
    Bytes block = {0x88};
    Bytes pool;
    Put16(pool, 3);
    for (const char* name : {"alpha", "beta", "gamma"}) pool.insert(pool.end(), name, name + std::char_traits<char>::length(name) + 1);
    Put16(block, static_cast<uint32_t>(pool.size()));
    block.insert(block.end(), pool.begin(), pool.end());
    std::vector<size_t> groupStarts;
    for (uint32_t n = 0; block.size() < size; ++n) {
        groupStarts.push_back(block.size());
        // Push constant n % 3, the string "v", and the integer n.
        Bytes push = {0x08, static_cast<uint8_t>(n % 3), 0x00, 'v', 0x00, 0x07};
        for (int i = 0; i < 4; ++i) push.push_back(static_cast<uint8_t>(n >> (8 * i)));
        block.push_back(0x96);
        Put16(block, static_cast<uint32_t>(push.size()));
        block.insert(block.end(), push.begin(), push.end());
        block.insert(block.end(), {0x47, 0x26, 0x17});  // Add2, Trace, Pop
        if (n % 8 == 7 && groupStarts.size() >= 2) {
            // Jump back to the previous group: offset from this record's end.
            int32_t target = static_cast<int32_t>(groupStarts[groupStarts.size() - 2]);
            int32_t offset = target - static_cast<int32_t>(block.size() + 5);
            block.insert(block.end(), {0x99, 0x02, 0x00});
            Put16(block, static_cast<uint16_t>(static_cast<int16_t>(offset)));
        } else {
            // Push true; If over the following Stop.
            block.insert(block.end(), {0x96, 0x02, 0x00, 0x05, 0x01, 0x9D, 0x02, 0x00, 0x01, 0x00, 0x07});
        }
    }
    block.push_back(0x00);
    return block;
}

Bytes MovieWithBlock(size_t size) {
    Bytes file = {'F', 'W', 'S', 6, 0, 0, 0, 0, 0x78, 0x00, 0x05, 0x5F, 0x00, 0x00, 0x0F, 0xA0, 0x00, 0x00, 0x0C, 0x01, 0x00};
    Bytes block = ActionBlock(size);
    Put16(file, 12 << 6 | 0x3F);
    for (int i = 0; i < 4; ++i) file.push_back(static_cast<uint8_t>(block.size() >> (8 * i)));
    file.insert(file.end(), block.begin(), block.end());
    file.insert(file.end(), {0x40, 0x00, 0x00, 0x00});
    for (int i = 0; i < 4; ++i) file[4 + i] = static_cast<uint8_t>(file.size() >> (8 * i));
    return file;
}

const Bytes& Movie(int64_t kilobytes) {
    static std::map<int64_t, Bytes> made;
    auto found = made.find(kilobytes);
    if (found == made.end()) found = made.emplace(kilobytes, MovieWithBlock(static_cast<size_t>(kilobytes) * 1024)).first;
    return found->second;
}

void Read(benchmark::State& state, bool parseActions) {
    const Bytes& file = Movie(state.range(0));
    for (auto _ : state) {
        TMemoryStream in(file);
        auto reader = TSWFStreamReader::CreateFromStream(in);
        reader->ParseTags(true, parseActions);
        benchmark::DoNotOptimize(reader->TagCount());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(file.size()));
    state.SetComplexityN(static_cast<int64_t>(file.size()));
}

void BM_ParseActionMovie(benchmark::State& state) { Read(state, true); }
void BM_ReadActionMovieRaw(benchmark::State& state) { Read(state, false); }

}  // namespace

BENCHMARK(BM_ParseActionMovie)->Arg(52)->Arg(208)->Arg(832)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);
BENCHMARK(BM_ReadActionMovieRaw)->Arg(52)->Arg(208)->Arg(832)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    // The parse beside the raw read of the same 208 KB movie; and the largest
    // movie beside the smallest, 16 when the parse is proportional to the data.
    TRatioReporter reporter({{"BM_ParseActionMovie/208", "BM_ReadActionMovieRaw/208"},
                             {"BM_ParseActionMovie/832", "BM_ParseActionMovie/52"}});
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
