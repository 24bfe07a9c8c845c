// The layers stream reader of the image view, with images stored zlib-raw
// and, through the tests' stand-in input/output component, as JPEG or PNG;
// what it read is flattened.
#include "fuzz/fuzz_input.h"
#include "imaging/core/ie_view.h"
#include "imaging/io/tests/view_test_loader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TQuietMessages quiet;
    // Installed for the whole run: every input reads through it.
    static const imaging_test::TTestViewLoaderScope testLoaders;
    TVidurErView view(nullptr);
    try {
        TMemoryStream in(InputBytes(data, size));
        if (view.LayersLoadFromStream(in)) {
            TIEBitmap flat;
            // Layers of absurd display sizes are not worth the time.
            bool small = true;
            for (int32_t i = 0; i < view.GetLayersCount(); ++i) {
                const TIELayer& layer = *view.GetLayer(i);
                small = small && std::abs(int64_t{layer.PosX}) + layer.GetWidth() < 4096 &&
                        std::abs(int64_t{layer.PosY}) + layer.GetHeight() < 4096;
            }
            if (small) view.LayersDrawTo(flat);
        }
    } catch (const Exception&) {
    }
    return 0;
}
