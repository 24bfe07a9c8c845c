// PostScript Level 2 documents of images, one image a page, each scaled to
// fit the paper at its top left corner, following the document structuring
// conventions. Image data is 7-bit text: ASCII85 over run-length, CCITT
// fax or JPEG coding. Pages take ie1g and ie24RGB bitmaps; the save
// wrappers convert other formats to ie24RGB first.
#pragma once

#include <cstdint>
#include <memory>

#include "imaging/io/ie_format_filter.h"

class TIEBitmap;

// An open document: where the "%%Pages: " line starts and where the next
// page (or the trailer) goes.
struct TIEPSDocument {
    int64_t PagesPosition = 0;
    int64_t EndPosition = 0;
};

// Writes the header comments and the prolog at the stream's position.
std::unique_ptr<TIEPSDocument> IEPSCreateDocument(TStream& stream, TIOParamsVals& params);
// Appends one page and counts it in the header.
void IEPSAddPage(TIEPSDocument& document, TStream& stream, TIEBitmap& bitmap, TIEProgressRec& progress,
                 TIOParamsVals& params);
// Writes the trailer; nullptr does nothing.
void IEPSCloseDocument(std::unique_ptr<TIEPSDocument> document, TStream& stream);
// A document of the one image.
void IEWritePSStream(TStream& stream, TIEBitmap& bitmap, TIOParamsVals& params, TIEProgressRec& progress);
