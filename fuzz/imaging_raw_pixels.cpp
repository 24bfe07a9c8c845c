// The image library's raw pixel reader: the first bytes choose the pixel
// format, the size and the layout, the rest are the pixels.
#include "fuzz/fuzz_input.h"
#include "imaging/core/ie_bitmap.h"
#include "imaging/io/ie_raw_pixels.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TQuietMessages quiet;
    if (size < 6) return 0;
    static const TIEPixelFormat formats[] = {ie1g, ie8p, ie8g, ie16g, ie32f, ie24RGB, ieCMYK, ieRGB48, ieCIELab};
    try {
        TIEBitmap bitmap(1 + data[1] % 64, 1 + data[2] % 64, formats[data[0] % 9]);
        TIOParamsVals params;
        params.RawPixelsBGR = data[3] & 1;
        params.RawPixelsPlanar = data[3] & 2;
        params.RawPixelsRowAlign = data[4] % 40;
        params.RawPixelsDataStart = data[5] % 16 - 2;
        TMemoryStream in(InputBytes(data + 6, size - 6));
        TIEProgressRec progress;
        IEReadRawPixels(in, bitmap, params, progress);
    } catch (const Exception&) {
    }
    return 0;
}
