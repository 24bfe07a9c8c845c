// Reading and writing a 12-megapixel RGB picture with an alpha channel as a
// Photoshop document (one layer and the merged image: every channel twice)
// beside a TIFF file of the same picture in PackBits strips, the coding
// both share. The ratios printed at the end are Photoshop's CPU time over
// TIFF's: the writer codes every pixel twice, the reader decodes only the
// merged image.
#include <benchmark/benchmark.h>

#include <memory>

#include "bench/ratio_reporter.h"
#include "imaging/core/ie_view.h"
#include "imaging/io/ie_psd.h"
#include "imaging/io/ie_tiff.h"

namespace {

constexpr int32_t kWidth = 4000, kHeight = 3000;

TIEBitmap& Picture() {
    static std::unique_ptr<TIEBitmap> picture = [] {
        auto bitmap = std::make_unique<TIEBitmap>(kWidth, kHeight, ie24RGB);
        for (int32_t y = 0; y < kHeight; ++y) {
            uint8_t* row = bitmap->GetScanline(y);
            uint8_t* alpha = bitmap->GetAlphaChannel()->GetScanline(y);
            for (int32_t x = 0; x < kWidth; ++x) {
                row[3 * x] = static_cast<uint8_t>(x / 16);
                row[3 * x + 1] = static_cast<uint8_t>(y / 12);
                row[3 * x + 2] = static_cast<uint8_t>((x + y) / 28);
                alpha[x] = x < kWidth / 2 ? 255 : static_cast<uint8_t>(y / 12);
            }
        }
        bitmap->SetFullOpacity(false);
        return bitmap;
    }();
    return *picture;
}

std::vector<uint8_t> EncodePSD() {
    TMemoryStream stream;
    TIOParamsVals params;
    bool abort = false;
    TIEProgressRec progress;
    progress.AbortFlag = &abort;
    IEWritePSDStream(stream, params, progress, &Picture(), {});
    return stream.TakeBytes();
}

std::vector<uint8_t> EncodeTIFF() {
    TMemoryStream stream;
    TIOParamsVals params;
    params.TiffCompression = 8;
    bool abort = false;
    TIEProgressRec progress;
    progress.AbortFlag = &abort;
    IEWriteTIFFStream(stream, false, &Picture(), params, progress);
    return stream.TakeBytes();
}

const std::vector<uint8_t>& PSDFile() {
    static const std::vector<uint8_t> bytes = EncodePSD();
    return bytes;
}

const std::vector<uint8_t>& TIFFFile() {
    static const std::vector<uint8_t> bytes = EncodeTIFF();
    return bytes;
}

void BM_PSDEncode(benchmark::State& state) {
    Picture();
    for (auto _ : state) benchmark::DoNotOptimize(EncodePSD());
}

void BM_TIFFEncode(benchmark::State& state) {
    Picture();
    for (auto _ : state) benchmark::DoNotOptimize(EncodeTIFF());
}

void BM_PSDDecode(benchmark::State& state) {
    const std::vector<uint8_t>& bytes = PSDFile();
    for (auto _ : state) {
        TMemoryStream stream{std::vector<uint8_t>(bytes)};
        TIEBitmap bitmap;
        TIOParamsVals params;
        bool abort = false;
        TIEProgressRec progress;
        progress.AbortFlag = &abort;
        IEReadPSDStream(stream, &bitmap, params, progress, false, nullptr);
        benchmark::DoNotOptimize(bitmap.GetScanline(0));
    }
}

void BM_TIFFDecode(benchmark::State& state) {
    const std::vector<uint8_t>& bytes = TIFFFile();
    for (auto _ : state) {
        TMemoryStream stream{std::vector<uint8_t>(bytes)};
        TIEBitmap bitmap;
        TIOParamsVals params;
        bool abort = false;
        TIEProgressRec progress;
        progress.AbortFlag = &abort;
        std::unique_ptr<TIEMask> mask;
        int32_t pages = 0;
        IEReadTIFFStream(&bitmap, stream, pages, &params, progress, false, mask, false, false, false);
        benchmark::DoNotOptimize(bitmap.GetScanline(0));
    }
}

}  // namespace

BENCHMARK(BM_PSDEncode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TIFFEncode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PSDDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TIFFDecode)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    PSDFile();
    TIFFFile();
    TRatioReporter reporter({{"BM_PSDEncode", "BM_TIFFEncode"}, {"BM_PSDDecode", "BM_TIFFDecode"}});
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
