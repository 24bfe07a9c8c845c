// The TIFF LZW decoder over one block: the first byte picks the row length,
// the rest is the block, decoded row by row until it ends or fails.
#include "fuzz/fuzz_input.h"
#include "imaging/io/ie_tiff_lzw.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An empty block has no address to decode from.
    if (size < 2) return 0;
    const int32_t rowLength = 1 + data[0] * 3;
    const std::vector<uint8_t> block = InputBytes(data + 1, size - 1);
    TIETIFFLZWState* state = IETIFFLZWBeginBlock(block.data(), static_cast<int64_t>(block.size()), rowLength);
    for (int row = 0; row < 4096; ++row) {
        const uint8_t* got = IETIFFLZWDecompress(block.data(), rowLength, state);
        if (!got || IETIFFLZWEnded(state)) break;
    }
    IETIFFLZWDecompress(nullptr, 0, state);
    return 0;
}
