// The MPEG audio frame scanner: finds the frames of an MP3 file (or of the
// MPEG data inside a WAVE file) so that the sound reader can copy them into
// SWF sound tags unchanged. It skips an ID3v2 tag at the start and an ID3v1
// tag at the end, finds the first frame (a valid header followed by another
// one at its frame length), reads a Xing, Info or VBRI header carried by that
// frame, lists every frame with its position and size, and derives bit rate,
// frame count and duration.
//
// Frames that carry an encoder's tag header (Xing, Info, VBRI, LAME) instead
// of sound are listed but marked as not audio: players and decoders skip
// them, and so do the counts and copies that matter for a movie.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/stream.h"

struct TMPEGFrameHeader {
    bool Found = false;
    int32_t Position = 0;  // first frame's offset counted from the end of the ID3v2 tag
    uint16_t FrameLength = 0;
    uint8_t Data[4] = {};
    uint8_t VersionID = 0;  // 0 MPEG-2.5, 1 reserved, 2 MPEG-2, 3 MPEG-1
    uint8_t LayerID = 0;    // 1 Layer III, 2 Layer II, 3 Layer I
    uint8_t ProtectionBit = 0;
    uint16_t BitRateID = 0;
    uint16_t SampleRateID = 0;
    uint8_t PaddingBit = 0;
    uint8_t PrivateBit = 0;
    uint8_t ModeID = 0;  // 0 stereo, 1 joint stereo, 2 dual channel, 3 mono
    uint8_t ModeExtensionID = 0;
    uint8_t RightsBit = 0;
    uint8_t OriginalBit = 0;
    uint8_t EmphasisID = 0;
};

struct TVBRData {
    bool Found = false;
    char ID[4] = {};  // "Xing", "VBRI" or "Info"
    int32_t Frames = 0;
    int32_t Bytes = 0;
    uint8_t Scale = 0;
    char VendorID[8] = {};
};

struct TMP3FrameInfo {
    int32_t Position = 0;  // absolute offset in the stream
    uint16_t Size = 0;
    bool IsAudio = true;
    uint8_t Header[4] = {};
};

class TID3v1 {
public:
    bool Exists = false;
    int32_t Size = 0;  // 128 or 0

    void ResetData() { Exists = false, Size = 0; }
    bool ReadFromFile(TStream& stream);
};

class TID3v2 {
public:
    bool Exists = false;
    uint8_t VersionID = 0;
    int32_t Size = 0;  // whole tag with its 10-byte header; 0 when absent

    void ResetData() { Exists = false, VersionID = 0, Size = 0; }
    bool ReadFromFile(TStream& stream);
};

class TMPEGaudio {
public:
    // The first frame is looked for in windows of this many bytes.
    static constexpr int kScanWindow = 3458;
    static constexpr int kLargestFrame = 1728;

    TMPEGaudio() { ResetData(); }

    std::vector<TMP3FrameInfo> Frames;
    int32_t FileSize = 0;
    TVBRData VBR;
    TMPEGFrameHeader Header;
    TID3v1 ID3v1;
    TID3v2 ID3v2;

    // Back to the empty state; the frame list is not cleared.
    void ResetData();
    bool IsValidFile(const std::string& fileName);
    bool ReadFromFile(const std::string& fileName);
    // False only when reading raised an error; Header.Found tells whether
    // the stream holds MPEG audio.
    bool ReadFromStream(TStream& stream);

    const TMP3FrameInfo& GetFrameInfo(size_t index) const { return Frames.at(index); }
    uint32_t GetSampleRate() const;
    uint16_t GetBitRate() const;
    // Listed frames, tag frames included (or the VBR header's count, or an
    // estimate from the size when nothing was listed).
    uint32_t GetFrameCount() const;
    // Listed frames that carry sound.
    uint32_t GetAudioFrameCount() const;
    double GetDuration() const;
    uint16_t GetSamplesPerFrame() const;

private:
    bool FindFirstFrame(const uint8_t* buffer, int size);
    void BuildFrameList(TStream& stream);
};

// Frame-header checks and figures, for any 4 header bytes.
bool IsValidMPEGFrameHeader(const uint8_t* header);
// Frame length in bytes; 0 for reserved values.
uint16_t MPEGFrameLength(const uint8_t* header);
uint16_t MPEGBitRate(uint8_t versionID, uint8_t layerID, uint16_t bitRateID);
uint32_t MPEGSampleRate(uint8_t versionID, uint16_t sampleRateID);
uint16_t MPEGSamplesPerFrame(uint8_t versionID, uint8_t layerID);
