// PCX images and the DCX container of PCX pages. The reader takes one
// plane of 1, 2, 4 or 8 bits, planes of 1 or 2 bits making a 4-bit (or
// smaller) index, and three planes of 8 bits, raw or run-length coded; it
// gives ie1g for one plane of 1 bit, else ie24RGB. The writer makes 1-, 4-,
// 8- (with the 256-colour palette at the end) or 24-bit files. A DCX is a
// table of page offsets (at most 1024, ended by 0) after its magic, then
// the pages; pages are read by index and inserted by rewriting the whole
// container.
#pragma once

#include <cstdint>
#include <string>

#include "imaging/io/ie_format_filter.h"

class TIEBitmap;

// Reads one PCX of at most size bytes from the stream's position. Bad data
// set the abort flag and say why through failure (when given); rows decoded
// so far stay. previewOnly fills only the parameters.
void IEReadPCXStream(TStream& stream, TIEBitmap& bitmap, TIOParamsVals& params, int64_t size,
                     TIEProgressRec& progress, bool previewOnly, std::string* failure = nullptr);

// Writes one PCX at the stream's position: BitsPerSample x SamplesPerPixel
// of 1, 4 or 8 gives that depth (through a palette of the picture's
// colours), anything else 24 bits; PcxCompressed codes the lines.
void IEWritePCXStream(TStream& stream, TIEBitmap& bitmap, TIOParamsVals& params, TIEProgressRec& progress);

// The DCX magic and a page table whose offsets all lie in the stream; the
// position is restored.
bool IEIsDCXStream(TStream& stream);
// The entries of the page table; the position is restored.
int32_t IEGetDCXPageCount(TStream& stream);
// Reads page params.DcxImageIndex (kept within the pages there are);
// ImageCount receives the number of pages.
void IEReadDCXStream(TStream& stream, TIEBitmap& bitmap, TIOParamsVals& params, TIEProgressRec& progress,
                     bool previewOnly, std::string* failure = nullptr);
// Inserts the bitmap as page params.DcxImageIndex of the container at the
// stream's position (an empty stream gets a new one) and rewrites the
// stream from there; an index past the pages appends.
void IEWriteDCXStream(TStream& stream, TIEBitmap& bitmap, TIOParamsVals& params, TIEProgressRec& progress,
                      std::string* failure = nullptr);
