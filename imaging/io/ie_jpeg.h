// The JPEG codec: reads baseline and progressive JPEG (JFIF, Adobe, EXIF)
// into a TIEBitmap and writes one back, over platform/jpeg's libjpeg layer.
// The reader never raises: a failure sets the progress record's abort flag
// and the rows decoded so far stay in the bitmap. The writer sets the flag
// too, and lets EIEJpegException (with the library message's text) leave.
// Kept markers, the ICC profile, IPTC and XMP travel in the parameters.
#pragma once

#include <cstdint>
#include <string>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_types.h"
#include "imaging/io/ie_io_params.h"
#include "platform/errors.h"
#include "platform/stream.h"

class EIEJpegException : public Exception { using Exception::Exception; };

// The text of a libjpeg message code; "Corrupted" for unknown codes.
std::string IEJpegMessageText(int32_t code);

// Reads one image from the stream (its SOI within 100 bytes of the
// position); returns the rows decoded. maxRows < 0 means every row.
int32_t IEReadJPEGStream(TStream& stream, TStream* tables, TIEBitmap& bitmap, bool nativePixelFormat,
                         int32_t maxRows, bool readICC, bool dropAppliedProfile, bool plainCMYK, bool metadata,
                         bool keepComponents, bool headerOnly, TIEProgressRec& progress, TIOParamsVals& params);
void IEWriteJPEGStream(TStream& stream, TIEBitmap& bitmap, TIOParamsVals& params, TIEProgressRec& progress);
// The position of the first FF D8 FF at or up to 99 bytes after the
// stream position, -1 when none; the position is kept.
int64_t IEFindJPEGStart(TStream& stream);
// Bytes from the position up to and including the first EOI; the position
// is kept.
int64_t IEJPEGStreamLength(TStream& stream);
// Joins the APP2 "ICC_PROFILE" chunks before the first frame into the
// params' input profile; the position is kept.
void IEReadJPEGICCProfile(TStream& stream, TIOParamsVals& params);
