// JPEG files: the frame size read from the markers, and the re-encoding as
// baseline that a picture the probe cannot size goes through.
#include "fuzz/fuzz_input.h"
#include "movie/jpeg_probe.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TQuietMessages quiet;
    std::vector<uint8_t> bytes = InputBytes(data, size);
    try {
        TMemoryStream in(bytes);
        uint16_t width = 0, height = 0;
        GetJPEGSize(in, width, height);
    } catch (const Exception&) {
    }
    try {
        ReencodeAsBaseline(bytes, 75, "fuzz.jpg");
    } catch (const Exception&) {
    }
    return 0;
}
