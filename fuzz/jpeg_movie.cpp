// JPEG files loaded into a movie: the size read from the markers, the
// decoding that refuses damaged data (decoder warnings) and pictures no
// bitmap tag can hold, the baseline re-encoding of progressive data, then
// the picture as the movie's image tag, held as JPEG and as pixels.
#include "fuzz/fuzz_input.h"
#include "movie/flash_movie.h"
#include "movie/images.h"
#include "movie/shapes.h"
#include "movie/sprites.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TQuietMessages quiet;
    const std::string file = InputFile(data, size, ".jpg");
    for (bool convert : {true, false}) {
        try {
            TFlashImage image(nullptr);
            image.SetConvertProgressive(convert);
            image.LoadFromFile(file);
            TMemoryStream tag;
            TBitsEngine be(tag);
            image.WriteTag(be);
            // The pixels of the picture, then JPEG again from them.
            image.SetAsJPEG(false);
            image.GetLosslessData();
            image.SetAsJPEG(true);
        } catch (const Exception&) {
        }
    }
    try {
        TFlashMovie movie(0, 0, 100, 100, 12, true);
        movie.PlaceObject(movie.AddImageShape(movie.AddImage(file)), 1);
        movie.MakeStream();
        TMemoryStream out;
        movie.SaveToStream(out);
    } catch (const Exception&) {
    }
    return 0;
}
