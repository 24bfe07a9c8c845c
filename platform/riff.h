// RIFF files: the stand-in for the multimedia file input/output functions
// through which WAVE headers are read (mmioOpen for reading, mmioDescend
// with MMIO_FINDRIFF and MMIO_FINDCHUNK, mmioAscend, mmioRead).
//
// It walks the chunks of a stream that the caller owns and never reads
// outside it: a chunk whose size runs past its parent or the end of the
// stream is cut there (and marked Clipped), as happens with WAVE files whose
// writer never went back to fill in the sizes. It leaves out writing
// (mmioCreateChunk), buffered and memory-file I/O, I/O procedures,
// big-endian RIFX and 64-bit RF64 files. TRiffWriter stands in for the
// writing half (mmioCreateChunk, mmioWrite, mmioAscend with the size filled
// in) over a seekable stream.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/errors.h"
#include "platform/stream.h"

// A four-character code as the little-endian word it is on disk.
constexpr uint32_t FourCC(const char (&text)[5]) {
    return static_cast<uint32_t>(static_cast<uint8_t>(text[0])) |
           static_cast<uint32_t>(static_cast<uint8_t>(text[1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(text[2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(text[3])) << 24;
}

struct TRiffChunk {
    uint32_t Id = 0;
    uint32_t FormType = 0;    // RIFF and LIST chunks only
    int64_t DataOffset = 0;   // absolute position of the chunk's data
    int64_t Size = 0;         // bytes of data that are really there
    uint32_t DeclaredSize = 0;
    bool Clipped = false;     // the declared size ran past the parent
};

class TRiffReader {
public:
    explicit TRiffReader(TStream& stream) : stream_(stream) {}

    // The RIFF chunk at the start of the stream when its form type matches
    // (MMIO_FINDRIFF); its data begins with the form type.
    bool DescendRiff(uint32_t formType, TRiffChunk& riff);
    // The first sub-chunk of a RIFF or LIST chunk with that id
    // (MMIO_FINDCHUNK), searched from the parent's start so that the order
    // of the chunks does not matter.
    bool FindChunk(const TRiffChunk& parent, uint32_t id, TRiffChunk& chunk);
    // Up to maxBytes of the chunk's data.
    std::vector<uint8_t> ReadChunk(const TRiffChunk& chunk, size_t maxBytes);

private:
    TStream& stream_;
};

// A chunk would pass the 32-bit size a RIFF header can hold.
class ERiffError : public Exception {
    using Exception::Exception;
};

// Writes nested chunks: Begin opens one (its size written as 0), End pads it
// to an even length and goes back to fill in its size. Chunks are closed in
// the reverse order of opening.
class TRiffWriter {
public:
    explicit TRiffWriter(TStream& stream) : stream_(stream) {}

    // A RIFF or LIST chunk whose data begins with formType.
    void BeginList(uint32_t id, uint32_t formType);
    void BeginChunk(uint32_t id);
    // Bytes of the innermost open chunk.
    void Write(const void* bytes, size_t count);
    void WriteDWord(uint32_t value);
    // Closes the innermost chunk; raises ERiffError when its data has grown
    // past 0xFFFFFFFF bytes, which no RIFF header can state.
    void End();
    // A whole chunk of id with data.
    void WriteChunk(uint32_t id, const void* bytes, size_t count);

    int Depth() const { return static_cast<int>(open_.size()); }
    // Where the next byte goes.
    int64_t Position() { return stream_.GetPosition(); }

private:
    TStream& stream_;
    std::vector<int64_t> open_;  // positions of the open chunks' size fields
};
