// The CCITT line decoders: the first two bytes give the width, the third the
// coding and fill order; the rest is decoded line by line to its end.
#include <vector>

#include "fuzz/fuzz_input.h"
#include "imaging/io/ie_ccitt.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const int32_t width = 1 + ((data[0] << 8 | data[1]) % 4000);
    const int kind = data[2] & 3;
    const int32_t fillOrder = (data[2] & 4) ? 2 : 1;
    const std::vector<uint8_t> bytes = InputBytes(data + 3, size - 3);
    const auto total = static_cast<int64_t>(bytes.size());
    const size_t rowBytes = static_cast<size_t>((width + 7) / 8);
    std::vector<uint8_t> row(rowBytes), reference(rowBytes, 0xFF);
    int64_t at = 0;
    for (int line = 0; line < 10000 && at < total * 8; ++line) {
        int64_t next = at;
        if (kind == 0) next = 8 * (at / 8 + CCITTDecodeLineMH(row.data(), bytes.data() + at / 8, total - at / 8, width, fillOrder));
        else if (kind == 1) next = CCITTDecodeLine1D(row.data(), bytes.data(), total, width, at, fillOrder);
        else next = CCITTDecodeLine2D(row.data(), bytes.data(), total, width, reference.data(), at, fillOrder, kind == 2);
        if (next <= at) break;
        at = next;
    }
    return 0;
}
