// The TIFF codec: the reader walks the directory chain, reads the tags of
// one page (with its EXIF and GPS directories) into the parameters, chooses
// the pixel format and decodes the strips or tiles (uncompressed, CCITT
// modified Huffman, Group 3 and Group 4, LZW with or without predictor,
// PackBits, Deflate, JPEG old and new style; chunky and planar RGB); the
// writer writes one little-endian page, as a new file or linked into the
// chain of a file it wrote before. It stands on the directory layer of
// imaging/core/ie_tiff_dir.h, the CCITT and LZW coders beside it, the
// library's zlib streams and the JPEG codec.
//
// Bad data never raises from the reader: it sets the progress record's abort
// flag, says why through failure (when given), keeps the rows decoded so
// far, and never reads outside the stream or its blocks.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_mask.h"
#include "imaging/core/ie_types.h"
#include "imaging/io/ie_io_params.h"
#include "platform/stream.h"

// Largest page the reader allocates, in pixels.
constexpr int64_t kIETIFFMaxPixels = int64_t{1} << 28;

// Reads page params->TiffImageIndex (sub-page TiffSubIndex when 0 or more).
// bitmap nullptr or params nullptr: only counts the pages (pageCount).
// alphaMask: made here when the page carries alpha and none was passed
// (ignoreAlpha: never). relativeBase: offsets count from the position at
// entry, else from 0. exifThumbnail: the page must be at most 400 x 400.
void IEReadTIFFStream(TIEBitmap* bitmap, TStream& stream, int32_t& pageCount, TIOParamsVals* params,
                      TIEProgressRec& progress, bool paramsOnly, std::unique_ptr<TIEMask>& alphaMask,
                      bool relativeBase, bool ignoreAlpha, bool exifThumbnail, std::string* failure = nullptr);

// The pages of the TIFF at the stream's position; the position is kept.
int32_t IEGetTIFFPageCount(TStream& stream);

// Writes one page. insert false: a new TIFF from the stream's position;
// returns 1. insert true: the stream holds a TIFF this writer made; the page
// is linked in at params.TiffImageIndex (appended when past the end) and the
// page count returned (0 and the abort flag for anything else). bitmap
// nullptr writes only the metadata tags. The bitmap's alpha channel, when it
// is not fully opaque, is written as a fourth (unassociated) sample of RGB
// pages. The parameters are adjusted in place to what was written (bits,
// samples, photometric, compression).
int32_t IEWriteTIFFStream(TStream& stream, bool insert, TIEBitmap* bitmap, TIOParamsVals& params,
                          TIEProgressRec& progress);
