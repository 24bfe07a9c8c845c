// Enhanced metafiles: read, converted by the movie's canvas into shapes,
// texts, images and clip groups, and the movie written.
#include "fuzz/fuzz_input.h"
#include "movie/flash_canvas.h"
#include "movie/flash_movie.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TQuietMessages quiet;
    try {
        TEnhMetafile metafile;
        metafile.LoadFromBytes(InputBytes(data, size));
        TFlashMovie movie(0, 0, 320, 240, 12, true);
        TFlashCanvas& canvas = movie.GetCanvas();
        canvas.DrawMetafile(TRect{0, 0, 320, 240}, metafile, true);
        canvas.PlaceDrawing(1, true);
        movie.MakeStream();
    } catch (const Exception&) {
    }
    return 0;
}
