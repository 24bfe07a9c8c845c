// The input/output component's stream loading: detection, the stream
// header in front of a JPEG, and every reader it dispatches to, twice in a
// row from the same stream (as pictures saved back to back are read). A
// read must end with exactly one finish notification.
#include <cstdlib>

#include "fuzz/fuzz_input.h"
#include "imaging/io/ie_vidurer_io.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TQuietMessages quiet;
    TVidurErIO io;
    int finishes = 0;
    io.OnFinishWork = [&finishes](TVidurErIO&) { ++finishes; };
    TMemoryStream stream(InputBytes(data, size));
    for (int pass = 0; pass < 2; ++pass) {
        const int before = finishes;
        const int64_t start = stream.GetPosition();
        try {
            io.LoadFromStream(stream);
        } catch (const Exception&) {
            continue;
        }
        // Content nothing recognises leaves everything as it was.
        if (finishes == before && stream.GetPosition() != start) std::abort();
        if (finishes > before + 1) std::abort();
    }
    stream.SetPosition(0);
    try {
        io.LoadFromStreamFormat(stream, 5);
    } catch (const Exception&) {
    }
    return 0;
}
