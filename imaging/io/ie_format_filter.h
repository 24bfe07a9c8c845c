// What every format filter shares: the registry's procedure shapes, the
// failure convention (bad data sets the progress record's abort flag, it does
// not raise) and the optional 12-byte header in front of an image written
// into a larger stream.
#pragma once
#include <cstdint>
#include <string>
#include "imaging/core/ie_types.h"
#include "imaging/io/ie_io_params.h"
#include "platform/errors.h"
#include "platform/stream.h"

class TIEBitmap;

// A writer that cannot make its file at all raises this, with its text.
class EInvalidGraphic : public Exception { using Exception::Exception; };

using TIEFormatReadProc = void (*)(TStream& stream, TIEBitmap& bitmap, TIOParamsVals& params,
                                   TIEProgressRec& progress, bool previewOnly);
using TIEFormatWriteProc = void (*)(TStream& stream, TIEBitmap& bitmap, TIOParamsVals& params,
                                    TIEProgressRec& progress);
using TIEFormatTestProc = bool (*)(TStream& stream, int32_t fileType);

// Magic (4 ASCII bytes), 4 zero bytes, little-endian int32 length of the image that follows.
struct TIEStreamHeader {
    char Magic[4] = {0, 0, 0, 0};
    int32_t Length = 0;
};
constexpr int32_t kIEStreamHeaderSize = 12;

// Writes count bytes; a stream that takes fewer sets the abort flag.
void IEStreamWriteChecked(TStream& stream, const void* buffer, int64_t count, TIEProgressRec& progress);

// Writing behind a header: Begin writes 12 zero bytes and returns the header's
// position; End completes it with magic and the length written since.
int64_t IEBeginStreamHeader(TStream& stream);
void IEEndStreamHeader(TStream& stream, int64_t headerPosition, const char magic[4]);
// Reads a 12-byte header at the position; false (and nothing consumed) when
// fewer bytes remain.
bool IEReadStreamHeader(TStream& stream, TIEStreamHeader& header);

// Percent of unit i with the record's PercentPerUnit, cut to a whole number.
inline int IEUnitPercent(const TIEProgressRec& progress, int64_t unit) {
    return static_cast<int>(static_cast<double>(unit) * progress.PercentPerUnit);
}
