// GIF files for the image library: a reader that returns one frame of a
// GIF87a/GIF89a stream (chosen by GifImageIndex) at the frame's own size with
// its parameters, palette and an optional 8-bit transparency mask; a writer
// of single-frame files; and a frame counter that can drop a frame from a
// file. The LZW coding goes through the parameters' GifLZWDecompress and
// GifLZWCompress (or the unit's hooks). The reader never composes frames:
// the input/output component does that on the logical screen.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "imaging/io/ie_format_filter.h"

class TIEBitmap;
class TIEMask;

// Reads from the stream's position. frameCount gets the number of image
// descriptors met; the bitmap gets frame GifImageIndex (an index at or past
// the last frame leaves it untouched). The mask gets the frame's
// transparency (255 opaque, 0 transparent), or is reset when the frame has
// no transparent pixel; an existing mask object is reused. paramsOnly skips
// pixels and mask, noMask only the mask. Bad data sets the abort flag.
void IEReadGIFStream(TStream& stream, TIEBitmap& bitmap, int32_t& frameCount, TIOParamsVals& params,
                     TIEProgressRec& progress, bool paramsOnly, std::unique_ptr<TIEMask>& mask, bool noMask);

// Writes a complete one-frame GIF at the stream's position: BitsPerSample
// (1..8) gives the colour depth; a bitmap with an alpha channel (above 1 bit)
// reserves the last palette entry for its transparent pixels.
void IEWriteGIFStream(TStream& stream, TIEBitmap& bitmap, TIOParamsVals& params, TIEProgressRec& progress);
void IEWriteGIFFile(const std::string& fileName, TIEBitmap& bitmap, TIOParamsVals& params, TIEProgressRec& progress);

// The number of frames of a GIF file, leaving out frame dropIndex (-1 drops
// nothing); with rewrite the file is replaced by the copy without it (only
// when the whole file was walked). 0 for a file that is not a GIF.
int32_t IEGIFFrameCount(const std::string& fileName, int32_t dropIndex, bool rewrite);


// What the input/output component loads: frames 0 to GifImageIndex read one
// by one and composed on the logical screen as a viewer shows the animation
// at that frame (disposal 2 clears a frame's area to the background, 3
// restores what lay under it); the canvas starts transparent, so the bitmap
// gets an alpha channel where no frame covers it. A lone frame that fills the
// screen is returned as read. The parameters end with those of the frame
// asked for, and Width and Height with the screen's size.
void IEReadGIFComposedStream(TStream& stream, TIEBitmap& bitmap, TIOParamsVals& params, TIEProgressRec& progress,
                             bool paramsOnly);
