// Headerless pixel data: rows of the bitmap's own pixel format, laid out as
// the parameters' raw-pixel fields say (channel order, planes, row
// alignment, bytes to skip before the data). The caller allocates the
// bitmap at the wanted size and format; only pixel values change.
#pragma once

#include "imaging/io/ie_format_filter.h"

class TIEBitmap;

// Reads from the stream's position, skipping RawPixelsDataStart bytes
// first. Interleaved rows serve ie1g, ie8p, ie8g, ie16g, ie32f, ie24RGB,
// ieCMYK and ieRGB48; planar data (one plane of 8-bit samples a channel,
// 16-bit for ieRGB48) serve the last three, the others read rows either
// way. Other formats read nothing. Data that end early leave the rest of
// the bitmap as it was (the stream's short read tells the caller).
void IEReadRawPixels(TStream& stream, TIEBitmap& bitmap, TIOParamsVals& params, TIEProgressRec& progress);
