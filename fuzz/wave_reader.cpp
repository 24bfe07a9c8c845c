// WAVE files (PCM, Microsoft ADPCM, MPEG audio) as a movie's sounds.
#include "fuzz/sound_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzSoundFile(data, size, ".wav");
    return 0;
}
