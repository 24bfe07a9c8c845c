// The image library's Targa reader, with and without alpha; what it read
// is written back at the depth the file had, run-length coded.
#include "fuzz/fuzz_input.h"
#include "imaging/core/ie_bitmap.h"
#include "imaging/io/ie_tga.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TQuietMessages quiet;
    for (int pass = 0; pass < 2; ++pass) {
        try {
            TMemoryStream in(InputBytes(data, size));
            TIEBitmap bitmap;
            TIOParamsVals params;
            bool aborted = false;
            TIEProgressRec progress;
            progress.AbortFlag = &aborted;
            std::unique_ptr<TIEMask> mask;
            IEIsTGAStream(in);
            IEReadTGAStream(in, bitmap, params, progress, false, mask, pass == 1);
            if (aborted || bitmap.GetWidth() == 0 || bitmap.GetHeight() == 0) continue;
            TMemoryStream out;
            params.TgaCompressed = true;
            IEWriteTGAStream(out, bitmap, params, progress, mask.get());
        } catch (const Exception&) {
        }
    }
    return 0;
}
