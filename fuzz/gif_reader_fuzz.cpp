// Reads arbitrary bytes as a GIF; what loads is written back and read again.
// Only GIFException is an expected outcome: anything else is a finding.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "pictures/gif_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TGIFImage gif;
    // Small bounds keep each run fast; the checks are the same.
    gif.MaxFramePixels = int64_t{1} << 18;
    gif.MaxImagePixels = int64_t{1} << 20;
    int warnings = 0;
    gif.OnGIFWarning = [&warnings](TGIFImage&, int, const std::string&) { ++warnings; };
    TMemoryStream input(std::vector<uint8_t>(data, data + size));
    try {
        gif.LoadFromStream(input);
    } catch (const GIFException&) {
        return 0;
    }
    for (int method : {cmLZW, cmRLE}) {
        gif.CompressionMethod = method;
        TMemoryStream output;
        try {
            gif.SaveToStream(output);
        } catch (const GIFException&) {
            continue;
        }
        TGIFImage again;
        again.OnGIFWarning = gif.OnGIFWarning;
        output.SetPosition(0);
        try {
            again.LoadFromStream(output);
        } catch (const GIFException&) {
        }
    }
    return 0;
}
