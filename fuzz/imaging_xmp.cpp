// XMP APP1 blocks: the packet is found and kept byte for byte, and the block
// made again from it is the same block.
#include <algorithm>
#include <cstdlib>

#include "fuzz/fuzz_input.h"
#include "imaging/io/ie_exif.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TQuietMessages quiet;
    TIOParamsVals params;
    const std::vector<uint8_t> block = InputBytes(data, size);
    if (!IELoadXMPFromBlock(block.data(), static_cast<int32_t>(block.size()), params)) return 0;
    const std::vector<uint8_t> again = IESaveXMPToBlock(params);
    // A block that opens with the whole namespace identifier comes back whole.
    if (std::equal(kIEXMPHeader, kIEXMPHeader + kIEXMPHeaderLength, block.begin()) && again != block) std::abort();
    return 0;
}
