// The image library's GIF reader: every frame of the input is read, composed
// as the component shows it, and the first written back and read again.
#include "fuzz/fuzz_input.h"
#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_mask.h"
#include "imaging/io/ie_gif.h"
#include "imaging/io/ie_gif_lzw.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TQuietMessages quiet;
    IEInstallGIFLZWHooks();
    try {
        const std::vector<uint8_t> bytes = InputBytes(data, size);
        TIEBitmap bitmap;
        TIOParamsVals params;
        bool aborted = false;
        TIEProgressRec progress;
        progress.AbortFlag = &aborted;
        std::unique_ptr<TIEMask> mask;
        int32_t frames = 0;
        for (int32_t index = 0; index < 4 && !aborted; ++index) {
            TMemoryStream in(bytes);
            params.GifImageIndex = index;
            IEReadGIFStream(in, bitmap, frames, params, progress, false, mask, false);
            if (index + 1 >= frames) break;
        }
        aborted = false;
        // Composing allocates the logical screen: keep each run small.
        if (int64_t{params.GifWinWidth} * params.GifWinHeight > (int64_t{1} << 20)) return 0;
        TMemoryStream composed(bytes);
        TIEBitmap screen;
        params.GifImageIndex = frames > 1 ? 1 : 0;
        IEReadGIFComposedStream(composed, screen, params, progress, false);
        if (aborted || bitmap.GetWidth() == 0) return 0;
        TMemoryStream out;
        params.BitsPerSample = 8;
        IEWriteGIFStream(out, bitmap, params, progress);
        out.SetPosition(0);
        TIEBitmap again;
        IEReadGIFStream(out, again, frames, params, progress, false, mask, false);
    } catch (const Exception&) {
    }
    return 0;
}
