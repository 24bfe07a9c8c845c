// Decoding and encoding a 4000 x 3000 RGB TIFF with LZW and the horizontal
// predictor, ours beside libtiff doing the same in the same run; the ratio
// of each to libtiff's time is printed at the end. Both decoders leave the
// whole picture in fresh memory: writing 36 MB of new pages costs more than
// the decoding itself, so a reference that reused one strip buffer would
// time something else.
#include <benchmark/benchmark.h>
#include <tiffio.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench/ratio_reporter.h"
#include "imaging/core/ie_bitmap.h"
#include "imaging/io/ie_tiff.h"
#include "imaging/io/ie_tiff_lzw.h"

namespace {

constexpr int32_t kWidth = 4000, kHeight = 3000;

std::string Dir() {
    std::string dir = std::string(TW_BENCH_DATA_DIR) + "/tiff";
    std::filesystem::create_directories(dir);
    return dir;
}

// Gradients with flat areas and some texture, made once.
TIEBitmap& Picture() {
    static TIEBitmap* picture = [] {
        auto* bitmap = new TIEBitmap(kWidth, kHeight, ie24RGB);
        for (int32_t y = 0; y < kHeight; ++y) {
            uint8_t* row = bitmap->GetScanline(y);
            for (int32_t x = 0; x < kWidth; ++x) {
                const bool flat = (x / 250 + y / 200) % 2;
                row[3 * x] = flat ? 30 : static_cast<uint8_t>(x / 16 + (x * y % 7));
                row[3 * x + 1] = flat ? 160 : static_cast<uint8_t>(y / 12);
                row[3 * x + 2] = flat ? 220 : static_cast<uint8_t>((x + y) / 28);
            }
        }
        return bitmap;
    }();
    return *picture;
}

TIOParamsVals& LZWParams(TIOParamsVals& params) {
    params.TiffCompression = 5;
    params.TiffLZWCompress = IETIFFLZWCompress;
    params.TiffLZWDecompress = IETIFFLZWDecompress;
    return params;
}

// Our file, the one both readers decode.
const std::string& File() {
    static const std::string file = [] {
        const std::string name = Dir() + "/rgb_lzw.tif";
        TIOParamsVals params;
        bool aborted = false;
        TIEProgressRec progress;
        progress.AbortFlag = &aborted;
        TMemoryStream stream;
        IEWriteTIFFStream(stream, false, &Picture(), LZWParams(params), progress);
        WriteFileBytes(name, stream.Memory(), static_cast<size_t>(stream.GetSize()));
        return name;
    }();
    return file;
}

// Our reader on the file from its start; false when it refused it.
bool Decode(TMemoryStream& stream, TIEBitmap& bitmap) {
    stream.SetPosition(0);
    TIOParamsVals params;
    LZWParams(params);
    bool aborted = false;
    TIEProgressRec progress;
    progress.AbortFlag = &aborted;
    std::unique_ptr<TIEMask> mask;
    int32_t pages = 0;
    IEReadTIFFStream(&bitmap, stream, pages, &params, progress, false, mask, false, false, false);
    return !aborted;
}

void BM_OursDecode(benchmark::State& state) {
    // The file in memory, made before the timing; reading leaves it as it is.
    TMemoryStream stream(ReadFileBytes(File()));
    for (auto _ : state) {
        TIEBitmap bitmap;
        if (!Decode(stream, bitmap)) state.SkipWithError("our reader refused the file");
        benchmark::DoNotOptimize(bitmap.GetScanline(0));
    }
}

// The decoders alone: our bitmap and libtiff's strip buffer are made
// before the timed loop and reused.
void BM_OursDecodeReused(benchmark::State& state) {
    // The file in memory, made before the timing; reading leaves it as it is.
    TMemoryStream stream(ReadFileBytes(File()));
    TIEBitmap bitmap(kWidth, kHeight, ie24RGB);
    bitmap.Fill(0);  // its pages are touched before the timing
    for (auto _ : state) {
        if (!Decode(stream, bitmap)) state.SkipWithError("our reader refused the file");
        benchmark::DoNotOptimize(bitmap.GetScanline(0));
    }
}

void BM_LibtiffDecodeStrips(benchmark::State& state) {
    TIFFSetWarningHandler(nullptr);
    TIFF* tiff = TIFFOpen(File().c_str(), "r");
    if (!tiff) {
        state.SkipWithError("libtiff could not open the file");
        return;
    }
    std::vector<uint8_t> strip(static_cast<size_t>(TIFFStripSize(tiff)));
    TIFFClose(tiff);
    for (auto _ : state) {
        tiff = TIFFOpen(File().c_str(), "r");
        for (tstrip_t s = 0; s < TIFFNumberOfStrips(tiff); ++s)
            TIFFReadEncodedStrip(tiff, s, strip.data(), static_cast<tmsize_t>(strip.size()));
        benchmark::DoNotOptimize(strip.data());
        TIFFClose(tiff);
    }
}

void BM_LibtiffDecode(benchmark::State& state) {
    TIFFSetWarningHandler(nullptr);
    for (auto _ : state) {
        TIFF* tiff = TIFFOpen(File().c_str(), "r");
        if (!tiff) {
            state.SkipWithError("libtiff could not open the file");
            return;
        }
        // The whole picture in memory, as our reader leaves it.
        const auto stripSize = static_cast<size_t>(TIFFStripSize(tiff));
        std::unique_ptr<uint8_t[]> image(new uint8_t[static_cast<size_t>(kWidth) * kHeight * 3]);
        for (tstrip_t s = 0; s < TIFFNumberOfStrips(tiff); ++s)
            TIFFReadEncodedStrip(tiff, s, image.get() + s * stripSize, static_cast<tmsize_t>(stripSize));
        benchmark::DoNotOptimize(image.get());
        TIFFClose(tiff);
    }
}

void BM_OursEncode(benchmark::State& state) {
    Picture();
    for (auto _ : state) {
        TMemoryStream stream;
        TIOParamsVals params;
        bool aborted = false;
        TIEProgressRec progress;
        progress.AbortFlag = &aborted;
        IEWriteTIFFStream(stream, false, &Picture(), LZWParams(params), progress);
        benchmark::DoNotOptimize(stream.Memory());
    }
}

void BM_LibtiffEncode(benchmark::State& state) {
    TIEBitmap& picture = Picture();
    // The same rows in libtiff's order (red, green, blue), made before timing.
    std::vector<uint8_t> rgb(static_cast<size_t>(kWidth) * kHeight * 3);
    for (int32_t y = 0; y < kHeight; ++y) {
        const uint8_t* row = picture.GetScanline(y);
        uint8_t* out = &rgb[static_cast<size_t>(y) * kWidth * 3];
        for (int32_t x = 0; x < kWidth; ++x)
            out[3 * x] = row[3 * x + 2], out[3 * x + 1] = row[3 * x + 1], out[3 * x + 2] = row[3 * x];
    }
    const std::string name = Dir() + "/libtiff_out.tif";
    const uint32_t rowsPerStrip = 524288 / (kWidth * 3);
    for (auto _ : state) {
        TIFF* tiff = TIFFOpen(name.c_str(), "w");
        TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, kWidth);
        TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, kHeight);
        TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3);
        TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
        TIFFSetField(tiff, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
        TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
        for (uint32_t y = 0, s = 0; y < static_cast<uint32_t>(kHeight); y += rowsPerStrip, ++s) {
            const uint32_t rows = std::min<uint32_t>(rowsPerStrip, static_cast<uint32_t>(kHeight) - y);
            TIFFWriteEncodedStrip(tiff, s, &rgb[static_cast<size_t>(y) * kWidth * 3],
                                  static_cast<tmsize_t>(rows) * kWidth * 3);
        }
        TIFFClose(tiff);
    }
}

}  // namespace

BENCHMARK(BM_OursDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibtiffDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OursDecodeReused)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibtiffDecodeStrips)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OursEncode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibtiffEncode)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    File();
    TRatioReporter reporter({{"BM_OursDecode", "BM_LibtiffDecode"},
                             {"BM_OursDecodeReused", "BM_LibtiffDecodeStrips"},
                             {"BM_OursEncode", "BM_LibtiffEncode"}});
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
