#include "movie/mp3_scanner.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/errors.h"

namespace {

// Bit rates in kbit/s by [version is MPEG-1 ? 0 : 1][layer 1..3 -> I..III][index].
const uint16_t kBitRates[2][3][16] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}},
};

const uint32_t kSampleRates[4][3] = {
    {11025, 12000, 8000},   // MPEG-2.5
    {0, 0, 0},              // reserved
    {22050, 24000, 16000},  // MPEG-2
    {44100, 48000, 32000},  // MPEG-1
};

uint8_t VersionOf(const uint8_t* h) { return (h[1] >> 3) & 3; }
uint8_t LayerOf(const uint8_t* h) { return (h[1] >> 1) & 3; }

// Bytes per frame per bit-rate unit: samples per frame / 8.
int Coefficient(uint8_t versionID, uint8_t layerID) {
    switch (layerID) {
        case 3: return 48;
        case 2: return 144;
        case 1: return versionID == 3 ? 144 : 72;
        default: return 0;
    }
}

// Where a frame's tag header would stand: after the header and the side
// information, whose size depends on version and channels.
int SideInfoOffset(uint8_t versionID, uint8_t modeID) {
    bool mono = modeID == 3;
    if (versionID == 3) return mono ? 21 : 36;
    return mono ? 13 : 21;
}

int32_t BigEndian32(const uint8_t* p) {
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
                                static_cast<uint32_t>(p[2]) << 8 | p[3]);
}

bool IsTagFrameId(const uint8_t* p) {
    static const char* const ids[] = {"Info", "UUUU", "Xing", "LAME", "VBRI"};
    for (const char* id : ids)
        if (std::memcmp(p, id, 4) == 0) return true;
    return false;
}

}  // namespace

bool IsValidMPEGFrameHeader(const uint8_t* h) {
    return h[0] == 0xFF && (h[1] & 0xE0) == 0xE0 && VersionOf(h) != 1 && LayerOf(h) != 0 && (h[2] >> 4) != 0 &&
           (h[2] >> 4) != 15 && ((h[2] >> 2) & 3) != 3 && (h[3] & 3) != 2;
}

uint16_t MPEGBitRate(uint8_t versionID, uint8_t layerID, uint16_t bitRateID) {
    if (versionID == 1 || layerID == 0 || layerID > 3 || bitRateID > 15) return 0;
    return kBitRates[versionID == 3 ? 0 : 1][3 - layerID][bitRateID];
}

uint32_t MPEGSampleRate(uint8_t versionID, uint16_t sampleRateID) {
    if (versionID > 3 || sampleRateID > 2) return 0;
    return kSampleRates[versionID][sampleRateID];
}

uint16_t MPEGSamplesPerFrame(uint8_t versionID, uint8_t layerID) {
    return static_cast<uint16_t>(Coefficient(versionID, layerID) * 8);
}

uint16_t MPEGFrameLength(const uint8_t* h) {
    uint8_t version = VersionOf(h), layer = LayerOf(h);
    uint32_t rate = MPEGSampleRate(version, (h[2] >> 2) & 3);
    uint32_t bitRate = MPEGBitRate(version, layer, h[2] >> 4);
    if (rate == 0 || bitRate == 0) return 0;
    uint32_t padding = (h[2] & 2) ? (layer == 3 ? 4 : 1) : 0;
    return static_cast<uint16_t>(uint64_t{static_cast<uint32_t>(Coefficient(version, layer))} * bitRate * 1000 / rate +
                                 padding);
}

// ---------------------------------------------------------------- ID3 tags

bool TID3v1::ReadFromFile(TStream& stream) {
    ResetData();
    int64_t size = stream.GetSize();
    if (size < 128) return true;
    uint8_t tag[3];
    stream.SetPosition(size - 128);
    stream.ReadBuffer(tag, 3);
    if (std::memcmp(tag, "TAG", 3) == 0) {
        Exists = true;
        Size = 128;
    }
    return true;
}

bool TID3v2::ReadFromFile(TStream& stream) {
    ResetData();
    uint8_t header[10];
    stream.SetPosition(0);
    if (stream.Read(header, 10) != 10 || std::memcmp(header, "ID3", 3) != 0) return true;
    Exists = true;
    VersionID = header[3];
    // Synchsafe: seven bits a byte. The bytes are taken whole, so a damaged
    // size comes out large and is then refused below.
    int64_t size = int64_t{header[6]} * (1 << 21) + int64_t{header[7]} * (1 << 14) + int64_t{header[8]} * (1 << 7) +
                   header[9] + 10;
    Size = size > stream.GetSize() ? 0 : static_cast<int32_t>(size);
    return true;
}

// ---------------------------------------------------------------- scanner

void TMPEGaudio::ResetData() {
    FileSize = 0;
    VBR = TVBRData{};
    Header = TMPEGFrameHeader{};
    Header.VersionID = 1;
    Header.SampleRateID = 3;
    Header.ModeID = 4;
    Header.ModeExtensionID = 4;
    Header.EmphasisID = 2;
    ID3v1.ResetData();
    ID3v2.ResetData();
}

bool TMPEGaudio::FindFirstFrame(const uint8_t* buffer, int size) {
    int n = size - 1;
    if (n < kLargestFrame) return false;
    for (int offset = 0; offset <= n - kLargestFrame; ++offset) {
        const uint8_t* h = buffer + offset;
        if (!IsValidMPEGFrameHeader(h)) continue;
        uint16_t length = MPEGFrameLength(h);
        // MPEG-2.5 Layer II frames can be longer than the window allows.
        if (offset + int{length} + 4 > size || !IsValidMPEGFrameHeader(h + length)) continue;
        Header.Found = true;
        Header.Position = offset;
        Header.FrameLength = length;
        std::memcpy(Header.Data, h, 4);
        Header.VersionID = VersionOf(h);
        Header.LayerID = LayerOf(h);
        Header.ProtectionBit = (h[1] & 1) == 0 ? 1 : 0;
        Header.BitRateID = h[2] >> 4;
        Header.SampleRateID = (h[2] >> 2) & 3;
        Header.PaddingBit = (h[2] >> 1) & 1;
        Header.PrivateBit = h[2] & 1;
        Header.ModeID = h[3] >> 6;
        Header.ModeExtensionID = (h[3] >> 4) & 3;
        Header.RightsBit = (h[3] >> 3) & 1;
        Header.OriginalBit = (h[3] >> 2) & 1;
        Header.EmphasisID = h[3] & 3;

        VBR = TVBRData{};
        int at = offset + SideInfoOffset(Header.VersionID, Header.ModeID);
        // The fields lie up to 128 bytes on; a window that ends sooner reads zeros.
        uint8_t vbr[128] = {};
        auto take = [&](int from) {
            std::memset(vbr, 0, sizeof vbr);
            std::memcpy(vbr, buffer + from, static_cast<size_t>(std::clamp(size - from, 0, 128)));
        };
        take(at);
        // VBRI stands 32 bytes after the header whatever the side information.
        if (std::memcmp(vbr, "Xing", 4) && std::memcmp(vbr, "VBRI", 4) && std::memcmp(vbr, "Info", 4) &&
            offset + 36 + 4 <= size && std::memcmp(buffer + offset + 36, "VBRI", 4) == 0)
            take(offset + 36);
        if (std::memcmp(vbr, "Xing", 4) == 0) {
            VBR.Found = true;
            std::memcpy(VBR.ID, vbr, 4);
            VBR.Frames = BigEndian32(vbr + 8);
            VBR.Bytes = BigEndian32(vbr + 12);
            VBR.Scale = vbr[119];
            std::memcpy(VBR.VendorID, vbr + 120, 8);
        } else if (std::memcmp(vbr, "VBRI", 4) == 0) {
            VBR.Found = true;
            std::memcpy(VBR.ID, vbr, 4);
            VBR.Scale = vbr[9];
            VBR.Bytes = BigEndian32(vbr + 10);
            VBR.Frames = BigEndian32(vbr + 14);
        } else if (std::memcmp(vbr, "Info", 4) == 0) {
            VBR.Found = true;
            std::memcpy(VBR.ID, vbr, 4);
            uint8_t flags = vbr[7];
            if (flags & 1) VBR.Frames = BigEndian32(vbr + 8);
            if (flags & 2) VBR.Bytes = BigEndian32(vbr + 12);
            if (flags & 8) VBR.Scale = vbr[119];
        }
        return true;
    }
    return false;
}

void TMPEGaudio::BuildFrameList(TStream& stream) {
    int64_t at = int64_t{Header.Position} + ID3v2.Size;
    int64_t size = stream.GetSize();
    while (at + ID3v1.Size < size) {
        uint8_t header[4];
        stream.SetPosition(at);
        if (stream.Read(header, 4) != 4 || !IsValidMPEGFrameHeader(header)) break;
        TMP3FrameInfo frame;
        std::memcpy(frame.Header, header, 4);
        frame.Position = static_cast<int32_t>(at);
        frame.Size = MPEGFrameLength(header);
        // Only the first frame can carry an encoder's tag header, where the
        // side information ends (which differs by version and channels), or
        // VBRI at 36. Later frames may hold the same letters as ancillary
        // fill ("UUUU", "LAME") while their sound lies in the bit reservoir:
        // they are audio.
        if (Frames.empty()) {
            for (int offset : {SideInfoOffset(VersionOf(header), header[3] >> 6), 36}) {
                uint8_t id[4];
                stream.SetPosition(at + offset);
                if (offset + 4 <= frame.Size && stream.Read(id, 4) == 4 && IsTagFrameId(id)) frame.IsAudio = false;
            }
        }
        Frames.push_back(frame);
        at += frame.Size;
    }
}

bool TMPEGaudio::ReadFromStream(TStream& stream) {
    try {
        ResetData();
        Frames.clear();
        ID3v1.ReadFromFile(stream);
        ID3v2.ReadFromFile(stream);
        int64_t size = stream.GetSize();
        if (size > INT32_MAX) throw EReadError("MPEG audio files of 2 GB or more are not supported");
        FileSize = static_cast<int32_t>(size);

        std::vector<uint8_t> window(kScanWindow);
        auto scan = [&](int64_t from) {
            stream.SetPosition(from);
            int64_t got = stream.Read(window.data(), kScanWindow);
            return FindFirstFrame(window.data(), static_cast<int>(got));
        };
        if (!scan(ID3v2.Size)) {
            int64_t middle = ID3v2.Size + (int64_t{FileSize} - ID3v2.Size) / 2;
            if (scan(middle)) Header.Position += static_cast<int32_t>(middle - ID3v2.Size);
        }
        if (Header.Found) {
            try {
                BuildFrameList(stream);
            } catch (const Exception&) {
            }
        } else {
            ResetData();
        }
        return true;
    } catch (const Exception&) {
        return false;
    }
}

bool TMPEGaudio::ReadFromFile(const std::string& fileName) {
    try {
        TFileStream file(fileName, TFileMode::OpenRead);
        return ReadFromStream(file);
    } catch (const Exception&) {
        return false;
    }
}

bool TMPEGaudio::IsValidFile(const std::string& fileName) {
    try {
        TFileStream file(fileName, TFileMode::OpenRead);
        ResetData();
        ID3v1.ReadFromFile(file);
        ID3v2.ReadFromFile(file);
        std::vector<uint8_t> window(kScanWindow);
        file.SetPosition(ID3v2.Size);
        int64_t got = file.Read(window.data(), kScanWindow);
        return FindFirstFrame(window.data(), static_cast<int>(got));
    } catch (const Exception&) {
        return false;
    }
}

uint32_t TMPEGaudio::GetSampleRate() const { return MPEGSampleRate(Header.VersionID, Header.SampleRateID); }

uint16_t TMPEGaudio::GetBitRate() const {
    if (VBR.Found && VBR.Frames > 0) {
        int coefficient = Coefficient(Header.VersionID, Header.LayerID);
        if (coefficient == 0) return 0;
        double rate = (static_cast<double>(VBR.Bytes) / VBR.Frames - Header.PaddingBit) * GetSampleRate() /
                      coefficient / 1000;
        return static_cast<uint16_t>(std::clamp(std::nearbyint(rate), 0.0, 65535.0));
    }
    return MPEGBitRate(Header.VersionID, Header.LayerID, Header.BitRateID);
}

uint32_t TMPEGaudio::GetFrameCount() const {
    if (!Frames.empty()) return static_cast<uint32_t>(Frames.size());
    if (VBR.Found && VBR.Frames > 0) return static_cast<uint32_t>(VBR.Frames);
    if (Header.FrameLength == 0) return 0;
    int64_t audio = int64_t{FileSize} - ID3v2.Size - Header.Position;
    return audio > 0 ? static_cast<uint32_t>(audio / Header.FrameLength) : 0;
}

uint32_t TMPEGaudio::GetAudioFrameCount() const {
    if (Frames.empty()) return GetFrameCount();
    return static_cast<uint32_t>(std::count_if(Frames.begin(), Frames.end(), [](const auto& f) { return f.IsAudio; }));
}

uint16_t TMPEGaudio::GetSamplesPerFrame() const { return MPEGSamplesPerFrame(Header.VersionID, Header.LayerID); }

double TMPEGaudio::GetDuration() const {
    if (!Header.Found) return 0;
    uint32_t rate = GetSampleRate();
    if (rate == 0) return 0;
    // The listed audio frames give the exact length; the header figures are
    // the fallback for a stream that was not walked.
    if (!Frames.empty()) return static_cast<double>(GetAudioFrameCount()) * GetSamplesPerFrame() / rate;
    if (VBR.Found && VBR.Frames > 0)
        return static_cast<double>(Coefficient(Header.VersionID, Header.LayerID)) * VBR.Frames * 8 / rate;
    uint16_t bitRate = GetBitRate();
    if (bitRate == 0) return 0;
    return static_cast<double>(int64_t{FileSize} - ID3v2.Size - Header.Position) * 8 / bitRate / 1000;
}
