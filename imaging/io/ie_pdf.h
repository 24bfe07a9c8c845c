// PDF 1.4 documents of images, one image a page, each scaled to fit the
// paper at its top left corner. The document is held as PDF objects in
// memory and written out whole when it is closed. Pages take ie1g and
// ie24RGB bitmaps; the save wrappers convert other formats to ie24RGB.
//
// PdfCompression: bilevel pages 0 none, 1 run-length, 2 CCITT group 4,
// 3 and 4 CCITT group 3 two-dimensional, 5 LZW; colour pages 4 JPEG,
// 5 LZW, others none.
#pragma once

#include <memory>

#include "imaging/io/ie_format_filter.h"

class TIEBitmap;
struct TIEPDFDocument;

struct TIEPDFDocumentDeleter {
    void operator()(TIEPDFDocument* document) const;
};
using TIEPDFDocumentPtr = std::unique_ptr<TIEPDFDocument, TIEPDFDocumentDeleter>;

// A document with its catalog (object 1) and shared resources (object 2).
TIEPDFDocumentPtr IEPDFCreateDocument();
// Adds the image, content and page objects of one page.
void IEPDFAddPage(TIEPDFDocument& document, TIEBitmap& bitmap, TIOParamsVals& params, TIEProgressRec& progress);
// Adds the page tree and the information dictionary, writes the file and
// frees the document; nullptr does nothing.
void IEPDFCloseDocument(TIEPDFDocumentPtr document, TStream& stream, TIOParamsVals& params);
// A document of the one image.
void IEWritePDFStream(TStream& stream, TIEBitmap& bitmap, TIOParamsVals& params, TIEProgressRec& progress);
