// Reading and writing a large compressed movie, beside plain zlib inflate and
// deflate of the same body: the cost of the SWF layer on top of zlib.
//
// The movie is made once by ffmpeg (MJPEG video, tens of MB) and saved
// compressed by our writer; without ffmpeg a synthetic body of bitmap-sized
// tags stands in.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>

#include <zlib.h>

#include "platform/zstream.h"
#include "swf/reader.h"

namespace {

struct BenchMovie {
    std::vector<uint8_t> compressedFile;  // our CWS file
    std::vector<uint8_t> body;            // its uncompressed body
};

// A plain movie of count raw tags of size bytes each, filled with mildly
// compressible bytes.
std::vector<uint8_t> PlainMovie(int count, uint32_t size) {
    std::vector<uint8_t> file = {'F', 'W', 'S', 8, 0, 0, 0, 0, 0x78, 0x00, 0x05, 0x5F, 0x00, 0x00, 0x0F, 0xA0, 0x00,
                                 0x00, 0x0C, 0x01, 0x00};
    uint32_t state = 1;
    for (int t = 0; t < count; ++t) {
        uint16_t header = 6 * 64 + 63;
        file.insert(file.end(), {static_cast<uint8_t>(header), static_cast<uint8_t>(header >> 8),
                                 static_cast<uint8_t>(size), static_cast<uint8_t>(size >> 8),
                                 static_cast<uint8_t>(size >> 16), static_cast<uint8_t>(size >> 24)});
        for (uint32_t i = 0; i < size; ++i) {
            state = state * 1664525 + 1013904223;
            file.push_back(static_cast<uint8_t>((state >> 28) + (i & 0x3F)));
        }
        file.insert(file.end(), {0x40, 0x00});
    }
    file.insert(file.end(), {0x00, 0x00});
    uint32_t length = static_cast<uint32_t>(file.size());
    for (int i = 0; i < 4; ++i) file[4 + i] = static_cast<uint8_t>(length >> (8 * i));
    return file;
}

const BenchMovie& Movie() {
    static BenchMovie movie = [] {
        namespace fs = std::filesystem;
        fs::path dir = TW_BENCH_DATA_DIR;
        fs::create_directories(dir);
        fs::path source = dir / "ffmpeg-mjpeg-large.swf";
        if (!fs::exists(source)) {
            std::string command =
                "ffmpeg -nostdin -y -loglevel error -f lavfi -i testsrc2=size=960x540:rate=25 -t 40 -c:v mjpeg "
                "-q:v 3 -f swf '" + source.string() + ".part' && mv '" + source.string() + ".part' '" +
                source.string() + "'";
            if (std::system(command.c_str()) != 0) fs::remove(source.string() + ".part");
        }
        std::vector<uint8_t> plain = fs::exists(source) ? ReadFileBytes(source.string()) : PlainMovie(120, 200000);  // 24 MB
        TMemoryStream in(plain);
        TSWFStreamReader reader;
        reader.LoadFromStream(in);
        reader.SetCompressed(true);
        TMemoryStream out;
        reader.SaveToStream(out);
        BenchMovie result;
        result.compressedFile = out.Bytes();
        result.body = reader.GetBodyStream().Bytes();
        return result;
    }();
    return movie;
}

void SetBytes(benchmark::State& state) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(Movie().body.size()));
    state.counters["body_MB"] = static_cast<double>(Movie().body.size()) / 1e6;
}

void BM_ReadCompressedMovie(benchmark::State& state) {
    TMemoryStream in(Movie().compressedFile);  // made before the timed loop
    for (auto _ : state) {
        in.SetPosition(0);
        TSWFStreamReader reader;
        reader.LoadFromStream(in);
        reader.ParseTags(true, true);
        benchmark::DoNotOptimize(reader.Tags.size());
    }
    SetBytes(state);
}

// zlib's own inflate of the body into a fresh buffer of the known size: the
// least any reader of the file must do.
void BM_ZlibInflateBody(benchmark::State& state) {
    const auto& file = Movie().compressedFile;  // made before the timed loop
    const size_t size = Movie().body.size() + 64;
    for (auto _ : state) {
        std::unique_ptr<uint8_t[]> body(new uint8_t[size]);
        uLongf length = static_cast<uLongf>(size);
        int code = uncompress(body.get(), &length, file.data() + 8, static_cast<uLong>(file.size() - 8));
        if (code != Z_OK) state.SkipWithError("zlib could not inflate the body");
        benchmark::DoNotOptimize(body.get());
    }
    SetBytes(state);
}

void BM_WriteCompressedMovie(benchmark::State& state) {
    TMemoryStream in(Movie().compressedFile);
    TSWFStreamReader reader;
    reader.LoadFromStream(in);
    reader.ParseTags(true, true);
    for (auto _ : state) {
        reader.MakeStream();
        TMemoryStream out;
        reader.SaveToStream(out);
        benchmark::DoNotOptimize(out.GetSize());
    }
    SetBytes(state);
}

void BM_ZlibDeflateBody(benchmark::State& state) {
    const auto& body = Movie().body;
    for (auto _ : state) {
        std::vector<uint8_t> packed = ZCompress(body.data(), body.size());
        benchmark::DoNotOptimize(packed.data());
    }
    SetBytes(state);
}

// A small movie: a few tags of about 2 KB in all, the size of a banner's
// body, where the compressor's fixed costs show rather than its speed.
std::vector<uint8_t> SmallPlainMovie() { return PlainMovie(8, 250); }

void BM_WriteSmallCompressedMovie(benchmark::State& state) {
    TMemoryStream in(SmallPlainMovie());
    TSWFStreamReader reader;
    reader.LoadFromStream(in);
    reader.ParseTags(true, true);
    reader.SetCompressed(true);
    for (auto _ : state) {
        reader.MakeStream();
        TMemoryStream out;
        reader.SaveToStream(out);
        benchmark::DoNotOptimize(out.GetSize());
    }
    state.counters["body_bytes"] = static_cast<double>(reader.GetBodyStream().GetSize());
}

// zlib alone on the same small body: its own one-call compress into a buffer
// of the bound's size, set-up and clean-up included.
void BM_ZlibCompressSmallBody(benchmark::State& state) {
    TMemoryStream in(SmallPlainMovie());
    TSWFStreamReader reader;
    reader.LoadFromStream(in);
    const std::vector<uint8_t>& body = reader.GetBodyStream().Bytes();
    for (auto _ : state) {
        uLongf length = compressBound(static_cast<uLong>(body.size()));
        std::unique_ptr<uint8_t[]> packed(new uint8_t[length]);
        int code = compress2(packed.get(), &length, body.data(), static_cast<uLong>(body.size()), Z_DEFAULT_COMPRESSION);
        if (code != Z_OK) state.SkipWithError("zlib could not deflate the body");
        benchmark::DoNotOptimize(packed.get());
    }
}

// zlib alone with its state made once and reset per body: the least work a
// compressed small file needs.
void BM_ZlibDeflateSmallBodyReused(benchmark::State& state) {
    TMemoryStream in(SmallPlainMovie());
    TSWFStreamReader reader;
    reader.LoadFromStream(in);
    const std::vector<uint8_t>& body = reader.GetBodyStream().Bytes();
    z_stream zs{};
    if (deflateInit(&zs, Z_DEFAULT_COMPRESSION) != Z_OK) state.SkipWithError("zlib could not start");
    std::vector<uint8_t> packed(deflateBound(&zs, static_cast<uLong>(body.size())));
    for (auto _ : state) {
        deflateReset(&zs);
        zs.next_in = const_cast<Bytef*>(body.data());
        zs.avail_in = static_cast<uInt>(body.size());
        zs.next_out = packed.data();
        zs.avail_out = static_cast<uInt>(packed.size());
        if (deflate(&zs, Z_FINISH) != Z_STREAM_END) state.SkipWithError("zlib could not deflate the body");
        benchmark::DoNotOptimize(packed.data());
    }
    deflateEnd(&zs);
}

}  // namespace

BENCHMARK(BM_WriteSmallCompressedMovie)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ZlibCompressSmallBody)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ZlibDeflateSmallBodyReused)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadCompressedMovie)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_ZlibInflateBody)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_WriteCompressedMovie)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_ZlibDeflateBody)->Unit(benchmark::kMillisecond)->MinTime(2);

// Prints, after the table, each measurement's ratio to its reference in the
// same run: the machines are shared, so only the ratio means much.
class TRatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && !run.error_occurred)
                cpu_[run.run_name.function_name] = run.GetAdjustedCPUTime();
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        Ratio("BM_ReadCompressedMovie", "BM_ZlibInflateBody");
        Ratio("BM_WriteCompressedMovie", "BM_ZlibDeflateBody");
        Ratio("BM_WriteSmallCompressedMovie", "BM_ZlibCompressSmallBody");
        Ratio("BM_WriteSmallCompressedMovie", "BM_ZlibDeflateSmallBodyReused");
    }

private:
    void Ratio(const std::string& work, const std::string& reference) {
        if (!cpu_.count(work) || !cpu_.count(reference) || cpu_[reference] <= 0) return;
        std::printf("%s / %s (CPU time): %.2f\n", work.c_str(), reference.c_str(), cpu_[work] / cpu_[reference]);
    }
    std::map<std::string, double> cpu_;
};

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    TRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
