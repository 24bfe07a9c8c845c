// The image library's BMP reader, as a file and as packed DIB data, in both
// pixel forms; what it read is written back as BMP.
#include "fuzz/fuzz_input.h"
#include "imaging/core/ie_bitmap.h"
#include "imaging/io/ie_bmp.h"

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
            IEReadBMPStream(in, bitmap, 0, params, progress, false, pass == 1, false);
            if (aborted || bitmap.GetWidth() == 0 || bitmap.GetHeight() == 0) continue;
            TMemoryStream out;
            params.BmpCompressed = true;
            IEWriteBMPStream(out, bitmap, params, progress, true);
        } catch (const Exception&) {
        }
    }
    return 0;
}
