// MP3 files as a movie's sounds.
#include "fuzz/sound_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzSoundFile(data, size, ".mp3");
    return 0;
}
