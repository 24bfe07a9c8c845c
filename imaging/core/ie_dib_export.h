// Packed device-independent bitmaps out of the library: a header of 40
// bytes, the colour table, then the rows bottom-up, each padded to 4 bytes,
// as the clipboard and the annotation blocks of TIFF files carry them.
#pragma once

#include <cstdint>
#include <vector>

class TIEBitmap;

// The rectangle x1..x2-1, y1..y2-1 of the bitmap (x2 or y2 of 0: up to the
// right or bottom edge) as a packed DIB: 1-bit, 8-bit (gray and palette,
// with a 256-entry table) or 24-bit; other pixel formats go out as 24-bit.
// The block is 4 bytes longer than header and rows need. A rectangle
// outside the bitmap or with its corners swapped gives an empty one.
std::vector<uint8_t> _CopyBitmaptoDIBEx(TIEBitmap& bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                                        int32_t dpiX, int32_t dpiY);

// Same size, same presence of alpha, and every row (alpha rows too) equal
// byte for byte over the first bitmap's row length, padding included.
bool IEBitmapsEqual(TIEBitmap& a, TIEBitmap& b);
