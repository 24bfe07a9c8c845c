#include "imaging/core/ie_layers_stream.h"

#include <cstring>

bool IETryLayersStream(TStream& stream) {
    const int64_t position = stream.GetPosition();
    uint8_t header[25];
    const bool whole = stream.Read(header, 25) == 25;
    stream.SetPosition(position);
    if (!whole || std::memcmp(header, "RIDIREVARAVIZ", 13) != 0) return false;
    const int32_t version = static_cast<int32_t>(header[13] | header[14] << 8 | header[15] << 16 |
                                                 static_cast<uint32_t>(header[16]) << 24);
    return version > 0;
}
