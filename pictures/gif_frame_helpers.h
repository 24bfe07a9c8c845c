// Appending captured bitmaps as the frames of an animated GIF: the looping
// extension on the first frame, a delay on every frame and, when asked, the
// palette index of a transparent colour; in memory, or written to a stream
// frame by frame as they come.
#pragma once

#include <cstdint>

#include "pictures/gif_image.h"
#include "platform/stream.h"

// The palette index of colour (a toolkit colour, 0x00BBGGRR) that some pixel
// of the frame uses, else -1.
int FindUsedPaletteIndex(TGIFSubImage& frame, uint32_t color);

// Appends bitmap as a frame with a graphic control extension of delayMs div
// 10 hundredths (and a loop extension of loopCount, 0 = forever, on frame 0);
// transparentColor -1 means none. Returns the new frame's index.
int AddGifFrame(TGIFImage& gif, const TBitmap& bitmap, int64_t transparentColor, int loopCount, int delayMs);

// An animated GIF written to a stream as its frames come, so that only the
// frame being added is ever in memory: the header goes out with the first
// frame, each frame (converted with the settings of the image given, with
// the extensions AddGifFrame gives) as it is added, the trailer at Finish.
// The image holds no frame between two calls.
class TGIFFrameWriter {
public:
    TGIFFrameWriter(TGIFImage& settings, TStream& stream) : gif_(settings), stream_(stream) {}

    void AddFrame(const TBitmap& bitmap, int64_t transparentColor, int loopCount, int delayMs);
    // Writes the trailer; a file without frames cannot be finished.
    void Finish();
    int Count() const { return count_; }

private:
    TGIFImage& gif_;
    TStream& stream_;
    int count_ = 0;
};
