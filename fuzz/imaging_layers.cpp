// A layers file as the application opens it: the view's own input/output
// component loads it as file type 26, its images stored zlib-raw or in any
// format the component reads; what it read is flattened.
#include <cstdlib>

#include "fuzz/fuzz_input.h"
#include "imaging/core/ie_view.h"
#include "imaging/io/ie_vidurer_io.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TQuietMessages quiet;
    TVidurErView view(nullptr);
    auto* io = dynamic_cast<TVidurErIO*>(view.GetVidurErIO());
    if (!io) std::abort();
    try {
        TMemoryStream in(InputBytes(data, size));
        io->LoadFromStreamFormat(in, 26);
    } catch (const Exception&) {
    }
    // Whatever the input, the parameters name the layers' type.
    if (io->ImageParams.FileType != 26) std::abort();
    // Layers of absurd display sizes are not worth the time.
    bool small = true;
    for (int32_t i = 0; i < view.GetLayersCount(); ++i) {
        const TIELayer& layer = *view.GetLayer(i);
        small = small && std::abs(int64_t{layer.PosX}) + std::abs(int64_t{layer.GetWidth()}) < 4096 &&
                std::abs(int64_t{layer.PosY}) + std::abs(int64_t{layer.GetHeight()}) < 4096;
    }
    if (small) {
        TIEBitmap flat;
        view.LayersDrawTo(flat);
    }
    return 0;
}
