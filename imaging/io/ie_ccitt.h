// CCITT fax coding of bilevel rows (ITU-T T.4 Group 3 and T.6 Group 4):
// modified Huffman run lengths, two-dimensional coding against a reference
// line, end-of-line codes. The TIFF codec decodes Compression 2, 3 and 4
// with it and encodes them back.
//
// Polarity: decoders deliver 1 bits for white (the ie1g polarity), encoders
// take 0 bits as white and 1 bits as black. Rows are packed most
// significant bit first; fillOrder 2 means the coded bytes are filled from
// their least significant bit. Decoders never read outside their data and
// never fail: codes that match nothing are skipped, runs are clipped to the
// width, and data that end early leave the rest of the line white.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/stream.h"

// One modified Huffman line from startBit; returns the bit after it.
int64_t CCITTDecodeLine1D(uint8_t* row, const uint8_t* data, int64_t size, int32_t width, int64_t startBit,
                          int32_t fillOrder);
// One byte-aligned modified Huffman line from the start of data; returns the
// bytes it took.
int64_t CCITTDecodeLineMH(uint8_t* row, const uint8_t* data, int64_t size, int32_t width, int32_t fillOrder);
// One two-dimensional line against the reference line (a row of the same
// length, updated to the decoded line), or the one-dimensional line an EOL
// with tag bit 1 announces; returns the bit after it.
int64_t CCITTDecodeLine2D(uint8_t* row, const uint8_t* data, int64_t size, int32_t width, uint8_t* reference,
                          int64_t startBit, int32_t fillOrder, bool expectEOL);

// What an encoder keeps between the rows of one strip.
struct TCCITTEncoderState {
    uint8_t PendingByte = 0;
    int32_t PendingBits = 0;
    // The previous row, for two-dimensional coding; empty before the first.
    std::vector<uint8_t> Reference;
};

// One byte-aligned modified Huffman row (Compression 2).
void CCITTEncodeRowMH(const uint8_t* row, int32_t width, TStream& stream, bool& abort, int32_t fillOrder);
// One Group 3 one-dimensional row after an EOL code; row nullptr flushes the
// pending byte.
void CCITTEncodeRow1D(const uint8_t* row, int32_t width, TStream& stream, TCCITTEncoderState& state, bool& abort,
                      int32_t fillOrder);
// Group 3 two-dimensional: the first row as EOL, tag 1 and one-dimensional
// coding, the others as EOL, tag 0 and two-dimensional coding; nullptr
// writes a closing EOL and flushes.
void CCITTEncodeRowG3_2D(const uint8_t* row, int32_t width, TStream& stream, TCCITTEncoderState& state, bool& abort,
                         int32_t fillOrder);
// Group 4: every row two-dimensional against the previous one (all white at
// first); nullptr writes the end-of-block EOL pair and flushes.
void CCITTEncodeRowG4(const uint8_t* row, int32_t width, TStream& stream, TCCITTEncoderState& state, bool& abort,
                      int32_t fillOrder);

class TIEBitmap;
// Every row of an ie1g bitmap, top first and as stored, coded as Group 4
// or as two-dimensional Group 3, closed and flushed; the bytes coded.
std::vector<uint8_t> CCITTEncodeBitmap(TIEBitmap& bitmap, bool group4, bool& abort);
