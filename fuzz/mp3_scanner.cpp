// The MPEG audio frame scanner over any bytes: tags, first frame, VBR
// header, frame list and the figures derived from them.
#include "fuzz/fuzz_input.h"
#include "movie/mp3_scanner.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TQuietMessages quiet;
    try {
        TMemoryStream in(InputBytes(data, size));
        TMPEGaudio mpeg;
        if (!mpeg.ReadFromStream(in) || !mpeg.Header.Found) return 0;
        mpeg.GetSampleRate();
        mpeg.GetBitRate();
        mpeg.GetFrameCount();
        mpeg.GetAudioFrameCount();
        mpeg.GetDuration();
        mpeg.GetSamplesPerFrame();
        for (const TMP3FrameInfo& frame : mpeg.Frames) MPEGFrameLength(frame.Header);
    } catch (const Exception&) {
    }
    return 0;
}
