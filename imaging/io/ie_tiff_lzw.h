// The LZW codec of TIFF Compression 5: codes of 9 to 12 bits packed most
// significant bit first, Clear 256, end of information 257, first free code
// 258 and the early change of width (one code before the table fills the
// width). Both directions work one row at a time and keep their state in a
// record owned by the caller's variable, so one strip is one LZW stream.
// The input/output unit installs them as the TIFF LZW hooks.
#pragma once

#include <cstdint>

#include "imaging/io/ie_io_params.h"
#include "platform/stream.h"

// Returns the next decoded row (rowLength bytes, valid until the next call)
// or nullptr on a code that names no table entry, a table past 4,096
// entries, or any earlier error of the same block.
// - state nullptr: a state is made for the block at input (with no known
//   size: see IETIFFLZWBeginBlock) and the first row is decoded;
// - state set and input not nullptr: the next row (input is ignored);
// - input nullptr: the state is freed, the variable cleared and nullptr
//   returned.
// Data that end before the row is full (an end code, or the block's last
// byte) give the row with its missing tail zero.
uint8_t* IETIFFLZWDecompress(const uint8_t* input, int32_t rowLength, TIETIFFLZWState*& state);

// A decoder state for a block of known size: codes are never read past
// input + size. The TIFF reader makes its states this way.
TIETIFFLZWState* IETIFFLZWBeginBlock(const uint8_t* input, int64_t size, int32_t rowLength);
// True once the decoder met the end code or the end of its block.
bool IETIFFLZWEnded(const TIETIFFLZWState* state);

// Compresses length bytes into the stream.
// - state nullptr: a state is made, a Clear code written, and the input
//   compressed;
// - state set and input not nullptr: the input continues the same stream;
// - input nullptr: the pending code and the end code are written, the last
//   byte padded with zero bits, and the state freed (the variable is
//   cleared).
void IETIFFLZWCompress(const uint8_t* input, int32_t length, TStream& output, TIETIFFLZWState*& state);

// Installs both coders as the library's TIFF LZW hooks.
void IEInstallTIFFLZWHooks();
