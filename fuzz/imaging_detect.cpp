// Content detection of the image library: every signature test, camera RAW
// identification included, over one input, which must leave the position.
#include <cstdlib>

#include "fuzz/fuzz_input.h"
#include "imaging/io/ie_file_formats.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TQuietMessages quiet;
    static bool once = (IEInitFileFormats(), true);
    (void)once;
    TMemoryStream stream(InputBytes(data, size));
    stream.SetPosition(size / 3);
    IEDetectFormatFromStream(stream);
    if (stream.GetPosition() != static_cast<int64_t>(size / 3)) std::abort();
    stream.SetPosition(0);
    IEDetectFormatFromStream(stream);
    return 0;
}
