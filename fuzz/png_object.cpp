// The PNG picture classes' reader: what loads is drawn, written back (both
// layouts) and read again. Only PNG errors are an expected outcome.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "pictures/png_object.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TPNGObject png;
    TMemoryStream input(std::vector<uint8_t>(data, data + size));
    try {
        png.LoadFromStream(input);
    } catch (const EPngError&) {
        if (png.ChunkCount() == 0) return 0;
    }
    try {
        // Keep each run small: the reader allows pictures up to 65535 a side.
        if (png.Width() * int64_t{png.Height()} > (int64_t{1} << 20)) return 0;
        TBitmap canvasBitmap = TBitmap();
        canvasBitmap.SetPixelFormat(TPixelFormat::pf24bit);
        canvasBitmap.SetSize(16, 16);
        TCanvas canvas(canvasBitmap);
        png.Draw(canvas, TRect{0, 0, 16, 16});
        for (int interlace : {0, 1}) {
            png.InterlaceKind = interlace;
            png.FilterSet = interlace ? 0x1F : 0x02;
            TMemoryStream output;
            png.SaveToStream(output);
            output.SetPosition(0);
            TPNGObject again;
            again.LoadFromStream(output);
        }
    } catch (const EPngError&) {
    }
    return 0;
}
