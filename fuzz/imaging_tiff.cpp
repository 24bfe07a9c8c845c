// The image library's TIFF reader on every page, converting and in native
// pixel formats; what it read is written back as TIFF.
#include "fuzz/fuzz_input.h"
#include "imaging/core/ie_bitmap.h"
#include "imaging/io/ie_tiff.h"
#include "imaging/io/ie_tiff_lzw.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TQuietMessages quiet;
    IEInstallTIFFLZWHooks();
    for (int pass = 0; pass < 3; ++pass) {
        try {
            TMemoryStream in(InputBytes(data, size));
            TIEBitmap bitmap;
            TIOParamsVals params;
            params.NativePixelFormat = pass == 1;
            params.TiffImageIndex = pass == 2 ? 1 : 0;
            bool aborted = false;
            TIEProgressRec progress;
            progress.AbortFlag = &aborted;
            std::unique_ptr<TIEMask> mask;
            int32_t pages = 0;
            IEReadTIFFStream(&bitmap, in, pages, &params, progress, false, mask, false, false, false);
            if (aborted || bitmap.GetWidth() == 0 || bitmap.GetHeight() == 0) continue;
            TMemoryStream out;
            params.TiffCompression = 5;
            IEWriteTIFFStream(out, false, &bitmap, params, progress);
        } catch (const Exception&) {
        }
    }
    return 0;
}
