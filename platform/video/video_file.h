// Video files read one frame after the other as 24-bit pictures: the
// stand-in for the original platform's media graphs, with FFmpeg's
// libraries underneath (any container and codec they know).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/bitmap.h"

class TVideoFile {
public:
    // Opens the file's first video stream; raises Exception with the reason
    // when the file cannot be read or holds no video.
    explicit TVideoFile(const std::string& fileName);
    ~TVideoFile();
    TVideoFile(const TVideoFile&) = delete;
    TVideoFile& operator=(const TVideoFile&) = delete;

    int32_t Width() const;
    int32_t Height() const;
    // Milliseconds a frame is shown (40 when the file does not say).
    double FrameDuration() const;
    // The whole length in milliseconds (0 when unknown).
    int64_t Duration() const;
    // Decodes the next frame into picture (pf24bit, Width x Height); false
    // after the last one.
    bool ReadFrame(TBitmap& picture);
    // Back to the first frame.
    void Rewind();

private:
    struct TState;
    std::unique_ptr<TState> state_;
};
