// Packed device-independent bitmaps in and out of the library: a header of
// 40 bytes, the colour table or bit masks, then the rows bottom-up, each
// padded to 4 bytes, as the clipboard, video capture and the annotation
// blocks of TIFF files carry them; the YUV layouts of captured frames come
// in too.
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/core/ie_types.h"

class TIEBitmap;

// The rectangle x1..x2-1, y1..y2-1 of the bitmap (x2 or y2 of 0: up to the
// right or bottom edge) as a packed DIB: 1-bit, 8-bit (gray and palette,
// with a 256-entry table) or 24-bit; other pixel formats go out as 24-bit.
// The block is 4 bytes longer than header and rows need. A rectangle
// outside the bitmap or with its corners swapped, one over 2^28 pixels, or
// a block that cannot be allocated gives an empty one.
std::vector<uint8_t> _CopyBitmaptoDIBEx(TIEBitmap& bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                                        int32_t dpiX, int32_t dpiY);

// Reads a packed DIB (header first; dibSize bytes at dib) into the bitmap:
// 1-bit DIBs as ie1g rows as they are (bit 1 white), every other bit count,
// run-length coded rows (RLE8, RLE4) and the YUV layouts (I420, IYUV, YV12,
// YVU9, YUY2, YUNV, UYVY, UYNV, cyuv, YVYU, Y211, IYU1, IYU2, Y41P, CLJR)
// as ie24RGB. bits, when given, holds the pixels (bitsSize bytes) instead of
// the bytes after the header and colour table. Returns the header's bit
// count, or 0 and leaves the bitmap alone when the header or the pixels are
// not all there, the picture is over 2^28 pixels, or the compression or its
// bit count is one the format does not define; all of that is checked
// before anything is allocated. A negative height in an RGB DIB means rows
// top first.
int32_t IEDIBToIEBitmap(const uint8_t* dib, size_t dibSize, TIEBitmap& bitmap, const uint8_t* bits = nullptr,
                        size_t bitsSize = 0);

// The same DIB drawn into a DIB section bitmap: 1 bit per pixel for 1-bit
// DIBs, 24 bits for 4, 8, 16, 24 and 32; returns the header's bit count and
// leaves the section alone when the DIB cannot be read.
class TIEDibbitmap;
int32_t IEPackedDIBToDibbitmap(const uint8_t* dib, size_t dibSize, TIEDibbitmap& dibbitmap,
                               const uint8_t* bits = nullptr, size_t bitsSize = 0);

// One YUV pixel (video range, the usual 601 weights) as blue, green, red.
TRGB IEYUVToRGB(int32_t y, int32_t u, int32_t v);

// Converts count pixels of a row between bit depths (1, 4, 8, 24, 32 in;
// 1, 4, 8, 24 out) with the palette (TRGB entries) or the quantizer's
// indexes; 4-bit rows are OR-ed into, so the caller zeroes them. Returns the
// destination's row length, 0 for a pair it does not convert.
class TIEQuantizer;
int32_t IEConvertRowBitDepth(const uint8_t* source, uint8_t* destination, int32_t sourceBits,
                             TIEQuantizer* quantizer, const TRGB* palette, int32_t count, int32_t destinationBits);

// Same size, same presence of alpha, and every row (alpha rows too) equal
// byte for byte over the first bitmap's row length, padding included.
bool IEBitmapsEqual(TIEBitmap& a, TIEBitmap& b);
