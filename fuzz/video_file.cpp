// Video files: opened through the platform's video layer and read frame by
// frame (at most a few), then rewound and read once more.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "fuzz/fuzz_input.h"
#include "platform/errors.h"
#include "platform/video/video_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The video layer opens files by name: the input goes to a file of this
    // process first.
    static const std::string path = "/tmp/tw-fuzz-video-" + std::to_string(::getpid()) + ".bin";
    if (std::FILE* file = std::fopen(path.c_str(), "wb")) {
        if (size) std::fwrite(data, 1, size, file);
        std::fclose(file);
    }
    try {
        TVideoFile video(path);
        TBitmap frame;
        for (int i = 0; i < 8 && video.ReadFrame(frame); ++i) {
        }
        video.Rewind();
        video.ReadFrame(frame);
    } catch (const Exception&) {
    }
    return 0;
}
