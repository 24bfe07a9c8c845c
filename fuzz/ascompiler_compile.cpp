// ActionScript source of any bytes compiled into a movie's frame actions and
// into a placement's clip actions: the code generator either emits code or
// reports the compiler's error; it never crashes, hangs or leaks.
#include <cstddef>
#include <cstdint>

#include "ascompiler/compile_context.h"
#include "movie/action_script.h"
#include "movie/flash_movie.h"
#include "movie/sprites.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    RegisterActionScriptCompiler();
    TFlashMovie movie(0, 0, 100, 100, 12, true);
    movie.SetVersion(8);
    std::string text(reinterpret_cast<const char*>(data), size);
    TFlashActionScript& frame = movie.GetFrameActions();
    frame.CompileFromString(text);
    frame.CompileFromString(text);
    TFlashPlaceObject* place = movie.PlaceObject(movie.AddSprite(), 1);
    place->CompileClipActionsFromString(text);
    return 0;
}
