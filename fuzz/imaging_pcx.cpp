// The image library's PCX reader, and the DCX container's page reader and
// page insertion; what was read is written back at the file's depth.
#include "fuzz/fuzz_input.h"
#include "imaging/core/ie_bitmap.h"
#include "imaging/io/ie_pcx.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TQuietMessages quiet;
    for (int pass = 0; pass < 3; ++pass) {
        try {
            TMemoryStream in(InputBytes(data, size));
            TIEBitmap bitmap;
            TIOParamsVals params;
            bool aborted = false;
            TIEProgressRec progress;
            progress.AbortFlag = &aborted;
            if (pass == 0) {
                IEReadPCXStream(in, bitmap, params, static_cast<int64_t>(size), progress, false);
            } else {
                params.DcxImageIndex = pass == 1 ? 0 : 1;
                IEGetDCXPageCount(in);
                IEReadDCXStream(in, bitmap, params, progress, false);
            }
            if (aborted || bitmap.GetWidth() == 0 || bitmap.GetHeight() == 0) continue;
            TMemoryStream out;
            IEWritePCXStream(out, bitmap, params, progress);
            if (pass == 1) {
                in.SetPosition(0);
                IEWriteDCXStream(in, bitmap, params, progress);
            }
        } catch (const Exception&) {
        }
    }
    return 0;
}
