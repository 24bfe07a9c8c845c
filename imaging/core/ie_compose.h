// What the image view asks of the pixel buffer to show and keep its layers:
// one rectangle of a layer drawn zoomed and blended onto the composed
// picture, and the raw bitmap stream in which layers keep their images. The
// view goes through these calls only, so the drawing can move to the
// library's general rendering routines without touching the view.
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_resample.h"
#include "platform/geometry.h"
#include "platform/stream.h"

// Draws the source rectangle (x, y, width, height) of src into the
// destination rectangle of dest (an ie24RGB picture): each destination pixel
// takes the source pixel it falls on (columns and rows, when given, are the
// source column of every destination column of the rectangle and the source
// row of every row); with a filter other than rfNone and a size change the
// rectangle is resampled with it first. The source is blended over dest by
// its alpha channel (when useAlpha and it has one) times transparency/255;
// dest's alpha channel, when it has one, becomes the union of both. clip
// limits the pixels written (an empty rectangle does not limit).
void IERenderLayer(TIEBitmap& src, const TRect& srcRect, TIEBitmap& dest, const TRect& dstRect,
                   TResampleFilter filter, int32_t transparency, bool useAlpha, const TRect& clip,
                   const std::vector<int32_t>* columns = nullptr, const std::vector<int32_t>* rows = nullptr);

// The raw bitmap stream ("TIEBITMAPRAW"): pixels, settings and alpha
// channel, lossless. The loader returns false, leaving the bitmap alone, for
// another magic or a negative version.
void IESaveRawBitmap(TIEBitmap& bitmap, TStream& stream);
bool IELoadRawBitmap(TIEBitmap& bitmap, TStream& stream);
