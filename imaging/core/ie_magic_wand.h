// The magic wand and flood fill of the image view: the region of pixels
// whose colour is close to a seed pixel's (every channel within the
// tolerance), as an outline polygon, written into a selection mask, or, for
// the global mode, every similar pixel of the image without connectivity.
// The connected modes share one 4-connected scanline seed fill; pixels are
// read as TRGB, so any pixel format works.
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_mask.h"
#include "platform/geometry.h"

// The outline of the connected region around (x, y), traced on a grid four
// times the size of the region's box: vertices in bitmap pixels, empty
// for a seed outside the image. With maxFilter every filled pixel first
// grows by one pixel on each side (clipped to the region's box).
std::vector<TPoint> IEMagicWandPolygon(TIEBitmap& bitmap, int32_t x, int32_t y, int32_t tolerance, bool maxFilter);
// Sets the connected region's pixels in the mask to value (with maxFilter
// the 3 x 3 block around each, clipped to the image).
void IEMagicWandFill(TIEBitmap& bitmap, int32_t x, int32_t y, int32_t value, TIEMask& mask, int32_t tolerance,
                     bool maxFilter);
// Sets every pixel of the image similar to the seed's to value.
void IEMagicWandGlobal(TIEBitmap& bitmap, int32_t x, int32_t y, int32_t value, TIEMask& mask, int32_t tolerance);
