// WAVE files that the AVI writer adds as its audio stream: the form, the
// format and data chunks, and the fields it takes from the format.
#include "app/avi_writer.h"
#include "fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        TMemoryStream in(InputBytes(data, size));
        TAviAudio audio = TAviWriter::ReadWaveAudio(in);
        if (audio.BlockAlign == 0 || audio.Data.size() % audio.BlockAlign != 0) __builtin_trap();
    } catch (const Exception&) {
    }
    return 0;
}
