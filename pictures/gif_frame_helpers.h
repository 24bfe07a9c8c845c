// Appending captured bitmaps as the frames of an animated GIF: the looping
// extension on the first frame, a delay on every frame and, when asked, the
// palette index of a transparent colour.
#pragma once

#include <cstdint>

#include "pictures/gif_image.h"

// The palette index of colour (a toolkit colour, 0x00BBGGRR) that some pixel
// of the frame uses, else -1.
int FindUsedPaletteIndex(TGIFSubImage& frame, uint32_t color);

// Appends bitmap as a frame with a graphic control extension of delayMs div
// 10 hundredths (and a loop extension of loopCount, 0 = forever, on frame 0);
// transparentColor -1 means none. Returns the new frame's index.
int AddGifFrame(TGIFImage& gif, const TPictureBitmap& bitmap, int64_t transparentColor, int loopCount, int delayMs);
