// The image library's WBMP reader; what it read is written back.
#include "fuzz/fuzz_input.h"
#include "imaging/core/ie_bitmap.h"
#include "imaging/io/ie_wbmp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TQuietMessages quiet;
    try {
        TMemoryStream in(InputBytes(data, size));
        TIEBitmap bitmap;
        TIOParamsVals params;
        bool aborted = false;
        TIEProgressRec progress;
        progress.AbortFlag = &aborted;
        IEReadWBMPStream(in, bitmap, params, false, progress);
        if (aborted || bitmap.GetWidth() == 0) return 0;
        TMemoryStream out;
        IEWriteWBMPStream(out, bitmap, progress);
    } catch (const Exception&) {
    }
    return 0;
}
