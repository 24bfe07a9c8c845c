// The variable-length LZW coding of GIF image data for the image library's
// GIF codec: codes of (minimum code size + 1) to 12 bits packed least
// significant bit first, clear code 2^m, end code 2^m + 1, in data
// sub-blocks after the minimum code size byte. Both directions work on a
// buffer of Width x Height palette indices (rows from the top) and handle
// the four-pass interlaced row order. The input/output unit installs them
// as the GIF LZW hooks.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/stream.h"

// Decodes one image's data at the stream's position into buffer. Success
// leaves the stream after the block terminator; failure (a minimum code size
// outside 2..9, a code beyond the next free code, an end code right after a
// clear code with data left) puts the stream back at the minimum code size
// byte, which is how the caller tells. Data that ends without an end code
// keeps the pixels decoded so far; pixels never reached are not touched.
void IEGIFLZWDecompress(TStream& stream, int32_t height, int32_t width, bool interlaced, uint8_t* buffer);

// Writes the minimum code size byte (bitsPerPixel, at least 2), the codes
// in sub-blocks of 254 bytes (the last one shorter) and the terminator.
void IEGIFLZWCompress(TStream& stream, int32_t height, int32_t width, bool interlaced, const uint8_t* buffer,
                      int32_t bitsPerPixel);

void IEInstallGIFLZWHooks();
