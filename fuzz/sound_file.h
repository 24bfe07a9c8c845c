// The sound-file targets share this: a sound file made into an event sound
// and the stream sound of a movie of a few frames.
#pragma once

#include "fuzz/fuzz_input.h"
#include "movie/flash_movie.h"
#include "movie/sounds.h"

inline void FuzzSoundFile(const uint8_t* data, size_t size, const std::string& extension) {
    TQuietMessages quiet;
    std::string file = InputFile(data, size, extension);
    TFlashMovie movie(0, 0, 100, 100, 12, true);
    try {
        movie.AddSound(file)->StartSound();
    } catch (const Exception&) {
    }
    try {
        movie.GetStreamSound()->LoadFromFile(file);
    } catch (const Exception&) {
    }
    try {
        movie.ShowFrame(6);
        movie.MakeStream();
    } catch (const Exception&) {
    }
}
