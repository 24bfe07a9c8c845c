// BMP files: read into the movie builder's bitmap, its pixels and colours
// looked at, written back, and made into a movie's lossless image tag.
#include "fuzz/fuzz_input.h"
#include "movie/dib_reader.h"
#include "movie/images.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TQuietMessages quiet;
    try {
        TMemoryStream in(InputBytes(data, size));
        TBMPReader bmp;
        bmp.LoadFromStream(in);
        TRGBTriple color;
        for (int32_t row = 0; row < bmp.RowCount; row += 1 + bmp.RowCount / 8)
            for (int32_t col = 0; col < bmp.GetWidth(); col += 1 + bmp.GetWidth() / 8) bmp.GetPixelColor(row, col, color);
        bmp.HasAlpha();
        TMemoryStream saved;
        bmp.SaveToStream(saved);
        bmp.CountColors();

        in.SetPosition(0);
        TFlashImage image(nullptr);
        image.LoadFromStream(in);
        TMemoryStream tag;
        TBitsEngine be(tag);
        image.WriteTag(be);
    } catch (const Exception&) {
    }
    return 0;
}
