// Reads arbitrary bytes as a JPEG with every metadata step on; what loads
// is written back. The reader must never raise: it reports through the
// abort flag. Only EIEJpegException from the writer is an expected outcome.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/io/ie_jpeg.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TMemoryStream input(std::vector<uint8_t>(data, data + size));
    TIEBitmap bitmap;
    TIOParamsVals params;
    bool abort = false;
    TIEProgressRec progress;
    progress.AbortFlag = &abort;
    IEReadJPEGStream(input, nullptr, bitmap, false, -1, true, true, false, true, false, true, progress, params);
    // Small bounds keep each run fast: big pictures are read by header only.
    if (abort || int64_t{params.Width} * params.Height > (int64_t{1} << 18)) return 0;
    input.SetPosition(0);
    params.JpegScale = static_cast<uint8_t>(size % 5);
    IEReadJPEGStream(input, nullptr, bitmap, size % 2 == 0, -1, true, true, size % 3 == 0, true, false, false,
                     progress, params);
    input.SetPosition(0);
    (void)IEJPEGStreamLength(input);
    if (abort || bitmap.GetWidth() == 0) return 0;
    TMemoryStream output;
    try {
        IEWriteJPEGStream(output, bitmap, params, progress);
    } catch (const EIEJpegException&) {
    }
    return 0;
}
