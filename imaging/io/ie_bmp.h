// BMP files and packed DIB data: the reader takes 12-, 40-, 64-byte and
// longer info headers, 1/4/8/16/24/32 bits, RLE4, RLE8 and 16-bit bit fields;
// the writer makes 1/4/8/24/32-bit files with an optional RLE4/RLE8 coding.
// Both follow the filter convention: bad data sets the abort flag.
#pragma once
#include <cstdint>
#include <vector>
#include "imaging/io/ie_format_filter.h"

class TIEBitmap;

// Reads one image at the stream's position. blockSize (0 or less: not given)
// bounds the BMP data. 32-bit alpha goes into the bitmap's alpha channel unless
// ignoreAlpha, and only when it is usable (neither all 0 nor all 255).
void IEReadBMPStream(TStream& stream, TIEBitmap& bitmap, int64_t blockSize, TIOParamsVals& params,
                     TIEProgressRec& progress, bool previewOnly, bool noFileHeader, bool ignoreAlpha);

// Writes one BMP at the stream's position and leaves the stream at its end.
void IEWriteBMPStream(TStream& stream, TIEBitmap& bitmap, TIOParamsVals& params, TIEProgressRec& progress,
                      bool writeAlpha);

// One row of indices (one a byte) coded as RLE8 or RLE4, ending with 00 00.
void IEEncodeBMPRLERow(const uint8_t* indices, int32_t width, bool rle4, std::vector<uint8_t>& out);

// Largest image the reader allocates, in pixels.
constexpr int64_t kIEBMPMaxPixels = int64_t{1} << 28;
