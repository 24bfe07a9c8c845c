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
// destination rectangle of dest (an ie24RGB picture) through
// TIEBitmap::RenderToTIEBitmap: each destination pixel takes the source
// pixel it falls on (columns and rows, when given, are the source column of
// every destination column of the rectangle and the source row of every
// row), or the rectangle goes through filter; blended by its alpha channel
// (when useAlpha) and transparency 0..255 with the blend mode. clip limits
// the pixels written (exclusive right and bottom; empty does not limit).
void IERenderLayer(TIEBitmap& src, const TRect& srcRect, TIEBitmap& dest, const TRect& dstRect,
                   TResampleFilter filter, int32_t transparency, bool useAlpha, const TRect& clip,
                   uint8_t blendMode = 0, const std::vector<int32_t>* columns = nullptr,
                   const std::vector<int32_t>* rows = nullptr);

// The raw bitmap stream ("TIEBITMAPRAW") of TIEBitmap: pixels, settings and
// alpha channel, lossless. The loader returns false for another magic, a
// negative version or damaged or short data.
void IESaveRawBitmap(TIEBitmap& bitmap, TStream& stream);
bool IELoadRawBitmap(TIEBitmap& bitmap, TStream& stream);
