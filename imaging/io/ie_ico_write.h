// Writing one image as an icon file of several sizes and colour depths,
// each image rescaled and stored as a bitmap with an AND mask made from the
// alpha channel; and the desktop's icon for a file name as a bitmap.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "imaging/io/ie_format_filter.h"

class TIEBitmap;

// One image per entry of sizes (width, height, up to 256) at the depth of
// the same entry of bitCounts: 1, 4, 8, 32, any other non-zero value 24,
// and 0 the depth of the parameters' SamplesPerPixel and BitsPerSample.
// bitmap is ie24RGB or ie1g and is not changed. Fewer bitCounts than sizes,
// or a size outside 1..256, raise EInvalidGraphic.
void IEWriteICOStream(TStream& stream, TIEBitmap& bitmap, TIOParamsVals& params, TIEProgressRec& progress,
                      const std::vector<std::pair<int32_t, int32_t>>& sizes, const std::vector<int32_t>& bitCounts);

// The desktop's icon for the file name's type (see platform/file_type_icon.h)
// as an ie24RGB bitmap of about size pixels, its transparency in the alpha
// channel (none when the icon is opaque). False, with the bitmap left as it
// was, when no icon is found.
bool IEFileIconToBitmap(const std::string& fileName, TIEBitmap& bitmap, int32_t size = 32);
