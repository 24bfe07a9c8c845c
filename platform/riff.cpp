#include "platform/riff.h"

#include <algorithm>
#include <string>

namespace {

uint32_t LittleDWord(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

void PutDWord(uint8_t* p, uint32_t value) {
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
    p[2] = static_cast<uint8_t>(value >> 16);
    p[3] = static_cast<uint8_t>(value >> 24);
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

void TRiffWriter::BeginChunk(uint32_t id) {
    uint8_t header[8];
    PutDWord(header, id);
    PutDWord(header + 4, 0);
    open_.push_back(stream_.GetPosition() + 4);
    stream_.WriteBuffer(header, 8);
}

void TRiffWriter::BeginList(uint32_t id, uint32_t formType) {
    BeginChunk(id);
    WriteDWord(formType);
}

void TRiffWriter::Write(const void* bytes, size_t count) {
    stream_.WriteBuffer(bytes, static_cast<int64_t>(count));
}

void TRiffWriter::WriteDWord(uint32_t value) {
    uint8_t bytes[4];
    PutDWord(bytes, value);
    stream_.WriteBuffer(bytes, 4);
}

void TRiffWriter::End() {
    if (open_.empty()) throw ERiffError("No RIFF chunk is open");
    int64_t sizeAt = open_.back();
    int64_t end = stream_.GetPosition();
    int64_t size = end - (sizeAt + 4);
    if (size < 0 || size > int64_t{0xFFFFFFFF})
        throw ERiffError("A RIFF chunk cannot hold " + std::to_string(size) + " bytes (at most 4294967295)");
    open_.pop_back();
    if (size & 1) {
        uint8_t pad = 0;
        stream_.WriteBuffer(&pad, 1);
    }
    uint8_t bytes[4];
    PutDWord(bytes, static_cast<uint32_t>(size));
    int64_t after = stream_.GetPosition();
    stream_.SetPosition(sizeAt);
    stream_.WriteBuffer(bytes, 4);
    stream_.SetPosition(after);
}

void TRiffWriter::WriteChunk(uint32_t id, const void* bytes, size_t count) {
    BeginChunk(id);
    Write(bytes, count);
    End();
}
