// The image library's Photoshop reader, with and without layers; what it
// read is written back.
#include "fuzz/fuzz_input.h"
#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_view.h"
#include "imaging/io/ie_psd.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TQuietMessages quiet;
    try {
        for (bool layers : {false, true}) {
            TMemoryStream in(InputBytes(data, size));
            if (!IEIsPSDStream(in)) return 0;
            TIEBitmap bitmap;
            TIOParamsVals params;
            params.NativePixelFormat = true;
            TIELayerList list;
            bool aborted = false;
            TIEProgressRec progress;
            progress.AbortFlag = &aborted;
            IEReadPSDStream(in, &bitmap, params, progress, layers, &list);
            if (aborted) continue;
            std::vector<TIELayer*> kept;
            for (auto& layer : list) kept.push_back(layer.get());
            TIEBitmap* merged = bitmap.IsEmpty() ? nullptr : &bitmap;
            if (!merged && kept.empty()) continue;
            TMemoryStream out;
            IEWritePSDStream(out, params, progress, merged, kept);
        }
    } catch (const Exception&) {
    }
    return 0;
}
