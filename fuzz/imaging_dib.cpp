// Packed DIB import of the image library, every depth and YUV layout, with
// the pixels after the header or given apart; what it read goes out again
// as a DIB.
#include <algorithm>

#include "fuzz/fuzz_input.h"
#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_dib_exchange.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TQuietMessages quiet;
    // Inputs of BMP files: the packed DIB starts after the 14-byte file header.
    const size_t skip = size > 14 && data[0] == 'B' && data[1] == 'M' ? 14 : 0;
    auto bytes = InputBytes(data + skip, size - skip);
    for (int pass = 0; pass < 2; ++pass) {
        TIEBitmap bitmap;
        const size_t split = std::min<size_t>(bytes.size(), 40);
        const int32_t bits = pass == 0 ? IEDIBToIEBitmap(bytes.data(), bytes.size(), bitmap)
                                       : IEDIBToIEBitmap(bytes.data(), split, bitmap, bytes.data() + split, bytes.size() - split);
        if (bits != 0 && bitmap.GetWidth() > 0) _CopyBitmaptoDIBEx(bitmap, 0, 0, 0, 0, 96, 96);
    }
    return 0;
}
