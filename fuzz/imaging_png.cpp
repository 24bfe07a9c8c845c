// The image library's PNG reader, converting and in native pixel formats;
// what it read is written back as PNG.
#include "fuzz/fuzz_input.h"
#include "imaging/core/ie_bitmap.h"
#include "imaging/io/ie_png.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TQuietMessages quiet;
    for (int pass = 0; pass < 2; ++pass) {
        try {
            TMemoryStream in(InputBytes(data, size));
            TIEBitmap bitmap;
            TIOParamsVals params;
            params.NativePixelFormat = pass == 1;
            bool aborted = false;
            TIEProgressRec progress;
            progress.AbortFlag = &aborted;
            IEReadPNGStream(in, bitmap, params, false, progress);
            if (aborted || bitmap.GetWidth() == 0 || bitmap.GetHeight() == 0) continue;
            TMemoryStream out;
            params.PngCompression = 1;
            IEWritePNGStream(out, bitmap, params, nullptr, progress);
        } catch (const Exception&) {
        }
    }
    return 0;
}
