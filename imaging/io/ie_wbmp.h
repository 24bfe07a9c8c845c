// Wireless bitmaps (type 0, black and white, no compression): the header
// is four multi-byte integers (type, fixed header, width, height), then the
// rows top first, 1 bit a pixel with 1 white, as the ie1g rows of the
// bitmap. Sizes are kept to 255 x 255, the low 8 bits of each header value.
#pragma once

#include "imaging/io/ie_format_filter.h"

class TIEBitmap;

// Reads one WBMP at the stream's position. A bad header sets the abort
// flag and leaves the bitmap and the parameters as they were; previewOnly
// fills only the parameters. Rows past the end of the data keep what the
// stream delivered.
void IEReadWBMPStream(TStream& stream, TIEBitmap& bitmap, TIOParamsVals& params, bool previewOnly,
                      TIEProgressRec& progress);

// Writes the bitmap as black and white, cut (not scaled) to at most
// 255 x 255 keeping its proportions; the caller's bitmap is not changed.
void IEWriteWBMPStream(TStream& stream, TIEBitmap& bitmap, TIEProgressRec& progress);
