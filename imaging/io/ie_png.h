// PNG files over libpng: the reader turns every colour type and bit depth
// into a bitmap with its alpha channel and fills the parameters (size,
// samples, resolution, palette, interlacing, background, text chunks); the
// writer chooses the colour type from the parameters, the bitmap and an
// optional alpha mask. Bad data sets the abort flag; the reader never raises
// for it, the writer raises EInvalidGraphic when libpng refuses.
#pragma once

#include <string>

#include "imaging/io/ie_format_filter.h"

class TIEBitmap;
class TIEMask;

// Reads one PNG at the stream's position; previewOnly fills only the
// parameters. A stream that ends early keeps the rows read so far. When
// libpng refuses the data, failure (if given) receives its reason.
void IEReadPNGStream(TStream& stream, TIEBitmap& bitmap, TIOParamsVals& params, bool previewOnly,
                     TIEProgressRec& progress, std::string* failure = nullptr);

// Writes one PNG at the stream's position. alpha: an 8-bit mask (255
// opaque), or null, or one marked full, for none.
void IEWritePNGStream(TStream& stream, TIEBitmap& bitmap, TIOParamsVals& params, TIEMask* alpha,
                      TIEProgressRec& progress);

// The first four bytes of the PNG signature at the position; the position is
// restored.
bool IEIsPNGStream(TStream& stream);

// Largest picture the reader allocates, in pixels.
constexpr int64_t kIEPNGMaxPixels = int64_t{1} << 28;
