// Renders an enhanced metafile into pixels record by record: the picture
// that records mixing with what lies beneath (raster operations that read
// the destination, pen mixes other than the plain copy) are cut from when a
// movie cannot show them as vectors. Lines, polygons, rectangles, ellipses,
// pixels and blits are drawn with the metafile's pens, brushes, pen mixes
// and raster operations; other records only change the playback state.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/bitmap.h"
#include "platform/emf.h"
#include "platform/stream.h"

// The fields of a BITBLT, STRETCHBLT, ALPHABLEND (its blend function in
// Rop) or STRETCHDIBITS record. A BITBLT's source window is left 0 x 0: it
// is as large as the destination.
struct TEmfBlitFields {
    int32_t X = 0, Y = 0, Cx = 0, Cy = 0;
    int32_t Rop = 0;
    int32_t XSrc = 0, YSrc = 0, CxSrc = 0, CySrc = 0;
    uint32_t OffBmi = 0, CbBmi = 0, OffBits = 0, CbBits = 0;
};
TEmfBlitFields ReadBlitFields(const TEmfRecord& r);

// A BMP file in memory from a record's BITMAPINFO and pixels; false when
// the record carries no pixels.
bool MakeBmpStream(const TEmfRecord& r, uint32_t offBmi, uint32_t cbBmi, uint32_t offBits, uint32_t cbBits,
                   TMemoryStream& out);

// Draws a metafile's records, one at a time, into a 24-bit picture of its
// frame mapped onto (0, 0, width, height) (0: the frame's own size in
// pixels), first filled with the background (a COLORREF). Damaged records
// are left out.
class TMetafileRaster {
public:
    TMetafileRaster(const TEnhMetafile& metafile, double width, double height, uint32_t background);
    ~TMetafileRaster();
    TMetafileRaster(const TMetafileRaster&) = delete;
    TMetafileRaster& operator=(const TMetafileRaster&) = delete;

    void Play(const TEmfRecord& record);
    TBitmap& Bitmap() { return bitmap_; }

private:
    class TRenderer;
    TBitmap bitmap_;
    std::unique_ptr<TRenderer> renderer_;
};
