// EXIF blocks of JPEG APP1 markers and the TIFF structures of camera RAW
// files: every field, the maker note and the thumbnail are read; what was
// read is written as a block again and read back.
#include <vector>

#include "fuzz/fuzz_input.h"
#include "imaging/io/ie_exif.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TQuietMessages quiet;
    // Inputs of JPEG files: the first Exif APP1 payload, else the bytes as a block.
    std::vector<uint8_t> block = InputBytes(data, size);
    for (size_t p = 2; size > 4 && data[0] == 0xFF && data[1] == 0xD8 && p + 4 <= size && data[p] == 0xFF;) {
        const size_t length = size_t{data[p + 2]} << 8 | data[p + 3];
        if (length < 2 || p + 2 + length > size) break;
        if (data[p + 1] == 0xE1 && IEIsEXIFBlock(data + p + 4, static_cast<int32_t>(length - 2))) {
            block.assign(data + p + 4, data + p + 2 + length);
            break;
        }
        p += 2 + length;
    }
    TIOParamsVals params;
    if (IELoadEXIFFromBlock(block.data(), static_cast<int32_t>(block.size()), params)) {
        std::vector<uint8_t> again = IESaveEXIFToBlock(params);
        TIOParamsVals back;
        IELoadEXIFFromBlock(again.data(), static_cast<int32_t>(again.size()), back);
    }
    TMemoryStream stream(InputBytes(data, size));
    const int64_t header = IEFindTIFFHeader(stream);
    if (header >= 0) {
        stream.SetPosition(header);
        TIOParamsVals raw;
        IEReadRAWEXIF(stream, raw);
    }
    return 0;
}
