// SWF files embedded into a movie as a sprite with their characters
// renumbered: every tag parsed, every reference rewritten, definitions put
// before their first use, the timeline copied into the sprite and the movie
// written.
#include "fuzz/fuzz_input.h"
#include "movie/external_movie.h"
#include "movie/flash_movie.h"
#include "movie/sprites.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TQuietMessages quiet;
    try {
        TMemoryStream in(InputBytes(data, size));
        TFlashMovie movie(0, 0, 400, 300, 12, true);
        movie.SetNextCharacterId(100);
        TFlashExternalMovie* ext = movie.AddExternalMovie(in, kExternalSprite, true);
        if (ext->Sprite()) movie.PlaceObject(ext->Sprite(), 1)->SetTranslate(10, 10);
        movie.ShowFrame();
        movie.MakeStream();
    } catch (const Exception&) {
    }
    return 0;
}
