#include "platform/riff.h"

#include <algorithm>

namespace {

uint32_t LittleDWord(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

bool TRiffReader::DescendRiff(uint32_t formType, TRiffChunk& riff) {
    int64_t size = stream_.GetSize();
    if (size < 12) return false;
    uint8_t header[12];
    stream_.SetPosition(0);
    if (stream_.Read(header, 12) != 12) return false;
    if (LittleDWord(header) != FourCC("RIFF") || LittleDWord(header + 8) != formType) return false;
    riff = TRiffChunk{};
    riff.Id = FourCC("RIFF");
    riff.FormType = formType;
    riff.DataOffset = 8;
    riff.DeclaredSize = LittleDWord(header + 4);
    riff.Size = std::min<int64_t>(riff.DeclaredSize, size - 8);
    riff.Clipped = riff.Size < riff.DeclaredSize;
    return true;
}

bool TRiffReader::FindChunk(const TRiffChunk& parent, uint32_t id, TRiffChunk& chunk) {
    bool isList = parent.Id == FourCC("RIFF") || parent.Id == FourCC("LIST");
    int64_t end = std::min(parent.DataOffset + parent.Size, stream_.GetSize());
    int64_t at = parent.DataOffset + (isList ? 4 : 0);
    // Every step moves on by at least the 8-byte header, so the walk ends.
    while (at + 8 <= end) {
        uint8_t header[8];
        stream_.SetPosition(at);
        if (stream_.Read(header, 8) != 8) return false;
        uint32_t declared = LittleDWord(header + 4);
        int64_t dataOffset = at + 8;
        if (LittleDWord(header) == id) {
            chunk = TRiffChunk{};
            chunk.Id = id;
            chunk.DataOffset = dataOffset;
            chunk.DeclaredSize = declared;
            chunk.Size = std::min<int64_t>(declared, end - dataOffset);
            chunk.Clipped = chunk.Size < declared;
            if ((id == FourCC("LIST") || id == FourCC("RIFF")) && chunk.Size >= 4) {
                uint8_t form[4];
                if (stream_.Read(form, 4) == 4) chunk.FormType = LittleDWord(form);
            }
            return true;
        }
        // Chunks are padded to an even length.
        at = dataOffset + int64_t{declared} + (declared & 1);
    }
    return false;
}

std::vector<uint8_t> TRiffReader::ReadChunk(const TRiffChunk& chunk, size_t maxBytes) {
    int64_t count = std::min<int64_t>(chunk.Size, static_cast<int64_t>(maxBytes));
    count = std::max<int64_t>(0, std::min(count, stream_.GetSize() - chunk.DataOffset));
    std::vector<uint8_t> bytes(static_cast<size_t>(count));
    stream_.SetPosition(chunk.DataOffset);
    stream_.ReadBuffer(bytes.data(), count);
    return bytes;
}
