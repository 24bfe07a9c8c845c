// JPEG files for the movie's pictures: the frame size read from the markers
// without decoding, and the re-encoding of data that a player cannot take
// as it is (progressive data, or data whose markers give no baseline size).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/stream.h"

// Reads the size from the first baseline or extended sequential frame header
// (SOF0, SOF1). Returns false, leaving the outputs untouched, when the data
// is not JPEG or has no such header before it ends: progressive data (SOF2)
// answers false on purpose, so that the caller re-encodes it.
bool GetJPEGSize(const std::string& fileName, uint16_t& width, uint16_t& height);
bool GetJPEGSize(TStream& stream, uint16_t& width, uint16_t& height);

struct TBaselineJPEG {
    uint16_t Width = 0;
    uint16_t Height = 0;
    bool WasProgressive = false;
    std::vector<uint8_t> Data;
};

// Decodes the JPEG data and encodes it again as baseline at quality. Raises
// EJPEGError when it does not decode, and Exception naming the file when the
// picture is empty or wider or higher than a movie's bitmaps can be
// (65535), so that no picture is ever stored without data.
TBaselineJPEG ReencodeAsBaseline(const std::vector<uint8_t>& jpeg, int quality, const std::string& fileName);
