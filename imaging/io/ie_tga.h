// Targa files: colour-mapped, true-colour and grey images at 1, 4, 8, 16,
// 24 or 32 bits a pixel, raw or run-length coded, in either row order, with
// the extension area (author, job, date, key colour, aspect ratio, gamma)
// found through the footer. The reader gives ie1g for 1-bit images, else
// ie24RGB, and an alpha mask for 32-bit pixels or 32-bit colour maps; the
// writer makes 1-, 4- or 8-bit colour-mapped or grey files, or 24- and
// 32-bit true colour, always with an extension area and the footer.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "imaging/core/ie_mask.h"
#include "imaging/io/ie_format_filter.h"

class TIEBitmap;

// The 18 header bytes (of size available) hold an image type, pixel
// depth, colour-map type and entry size of the format, and a size.
bool IEIsTGAHeader(const uint8_t* header, int64_t size);

// A header whose image type, pixel depth and colour-map type are of the
// format, with a size; the position is restored.
bool IEIsTGAStream(TStream& stream);

// Reads the Targa from the stream's position to its end. Bad data set the
// abort flag and say why through failure (when given); rows decoded so far
// stay. previewOnly fills only the parameters. mask receives the alpha
// (made here when nullptr; freed again when no pixel has any alpha);
// noMask keeps alpha out.
void IEReadTGAStream(TStream& stream, TIEBitmap& bitmap, TIOParamsVals& params, TIEProgressRec& progress,
                     bool previewOnly, std::unique_ptr<TIEMask>& mask, bool noMask, std::string* failure = nullptr);

// Writes an ie24RGB or ie1g bitmap (other formats write nothing). The depth
// follows BitsPerSample and SamplesPerPixel: one sample of 1, 4 or 8 bits
// gives a colour-mapped or grey file, anything else 24 bits, or 32 when a
// mask with some transparency is given. The parameters are adjusted to
// what was written (TgaCompressed, ColorMap).
void IEWriteTGAStream(TStream& stream, TIEBitmap& bitmap, TIOParamsVals& params, TIEProgressRec& progress,
                      TIEMask* mask);
