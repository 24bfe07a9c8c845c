// The sound reader: turns a WAVE or MP3 file into the bytes that a movie's
// sound tags carry. It reads the file's format (PCM, Microsoft ADPCM, MPEG
// audio in a WAVE file, or an MP3 file), and writes sound data into a bit
// stream on request: the whole sound for an event sound, or one movie
// frame's worth for a stream-sound block. PCM and Microsoft ADPCM become
// SWF ADPCM of 2 to 5 bits per sample (or raw PCM), MPEG frames are copied
// unchanged.
//
// A stream sound is written through a TSoundStreamCursor that the caller
// gets from StartStream() each time it starts the stream, so every make of
// a movie starts the sound from its beginning, whatever an earlier make read.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "movie/mp3_scanner.h"
#include "platform/stream.h"
#include "swf/bits_engine.h"

class TRiffReader;

// Format tags.
enum : uint16_t {
    kWaveFormatPCM = 1,
    kWaveFormatMSADPCM = 2,
    kWaveFormatMPEG = 0x50,
    kWaveFormatMPEGLayer3 = 0x55,
    kFormatMP3File = 336,
};

// The WAVE format header of a Microsoft ADPCM file.
struct TMSADPCMFormat {
    uint16_t FormatTag = 0;
    uint16_t Channels = 0;
    uint32_t SamplesPerSec = 0;
    uint32_t AvgBytesPerSec = 0;
    uint16_t BlockAlign = 0;
    uint16_t BitsPerSample = 0;
    uint16_t ExtraSize = 0;
    uint16_t SamplesPerBlock = 0;
    uint16_t NumCoef = 0;
    int16_t Coef[7][2] = {};
};

// Where a stream sound goes on: the next source byte (PCM) or block
// (Microsoft ADPCM), the decoded samples that wait for the next block, and
// the next MPEG frame.
struct TSoundStreamCursor {
    int64_t ReadPos = 0;
    std::vector<int16_t> Carry;  // interleaved by channel
    uint32_t MP3FrameIndex = 0;
};

class TWaveReader {
public:
    // Packets of SWF ADPCM hold this many samples per channel.
    static constexpr int kADPCMPacketSamples = 4096;

    // An empty name gives an empty reader. A WAVE file that cannot be opened
    // leaves the reader empty; an MP3 file that cannot be opened raises.
    explicit TWaveReader(const std::string& fileName = "");
    ~TWaveReader();
    TWaveReader(const TWaveReader&) = delete;
    TWaveReader& operator=(const TWaveReader&) = delete;

    double Duration = 0;
    std::string FileName;
    TMSADPCMFormat ADPCMFormat;
    uint16_t FormatTag = 0;
    uint16_t Channels = 0;
    uint32_t SampleRate = 0;
    uint16_t BitsPerSample = 0;
    uint32_t SampleCount = 0;  // per channel
    uint32_t FmtOffset = 0, FmtSize = 0;
    int64_t DataOffset = 0, DataSize = 0;
    // MPEG sources.
    uint16_t SamplesPerFrame = 0;
    uint16_t FrameSize = 0;
    uint32_t FrameCount = 0;  // frames that carry sound
    uint16_t BitRate = 0;

    TMPEGaudio& GetMPEG();
    void SetMPEG(std::unique_ptr<TMPEGaudio> mpeg) { mpeg_ = std::move(mpeg); }
    // The stream the sound data is read from: the file, or for MPEG data in
    // a WAVE file a window over its data chunk. Null for an empty reader.
    TStream* GetDataStream() const;
    void SetDataStream(std::unique_ptr<TStream> stream);

    void ReadWaveHeader(TRiffReader& riff, TStream& file);
    void ReadMP3(TStream& stream, bool isMP3File);

    // A cursor at the start of the sound, for a stream that starts now.
    TSoundStreamCursor StartStream() const;

    // PCM source: byteCount bytes from the cursor, raw (bits 0) or as SWF
    // ADPCM with its own header, flushed. What the data lacks comes, with
    // loop, from its start again, else as silence.
    void WritePCMData(TBitsEngine& be, TSoundStreamCursor& cursor, int64_t byteCount, bool loop, int bits);
    // PCM source: the whole sound.
    void WritePCMEventData(TBitsEngine& be, int bits);
    // Microsoft ADPCM source: the whole sound as SWF ADPCM.
    void WriteADPCMEventData(TBitsEngine& be, int bits);
    // Microsoft ADPCM source: exactly sampleCount samples per channel.
    void WriteADPCMStreamBlock(TBitsEngine& be, TSoundStreamCursor& cursor, uint32_t sampleCount, bool loop,
                               int bits);
    // MPEG source: copies count audio frames from frameIndex (tag frames
    // are skipped); returns the index of the next frame.
    uint32_t WriteMP3Frames(TBitsEngine& be, uint32_t frameIndex, bool loop, uint32_t count);
    // MPEG source: every audio frame, for an event sound.
    void WriteMP3EventData(TBitsEngine& be);

    // Decodes one Microsoft ADPCM block, appending 16-bit samples
    // interleaved by channel; returns the samples per channel decoded.
    size_t DecodeMSADPCMBlock(const uint8_t* block, size_t size, std::vector<int16_t>& out) const;

    // The SWF ADPCM encoder over PCM bytes read from source's position.
    static void WriteSWFADPCM(TBitsEngine& be, TStream& source, int64_t byteCount, bool flush, bool continued,
                              bool stereo, bool sixteen, int bits);
    // The same over 16-bit samples interleaved by channel: packets of 4096
    // samples per channel, the 2-bit code size first unless continued.
    static void EncodeSWFADPCM(TBitsEngine& be, const int16_t* samples, size_t frames, int channels, int bits,
                               bool continued, bool flush);

private:
    std::unique_ptr<TMPEGaudio> mpeg_;
    std::unique_ptr<TStream> file_;
    std::unique_ptr<TStream> view_;  // over the data chunk of an MPEG WAVE file

    void CheckPCM() const;
    void CheckMSADPCM() const;
    // Reads up to count bytes at position; fewer only at the end of the file.
    int64_t ReadAt(int64_t position, uint8_t* buffer, int64_t count);
    int64_t DataEnd() const { return DataOffset + DataSize; }
};

// The SWF rate code of a sample rate, by rate div 5000; -1 when the rate is
// none that the table maps (a player would play the sound at another speed).
int SoundRateCode(uint32_t rate);
// Raises EReadError, naming the file, unless the reader holds a sound that a
// movie can carry: PCM of 8 or 16 bits or Microsoft ADPCM, mono or stereo,
// at a rate of the table, or MPEG audio Layer III.
void CheckMovieSound(TWaveReader& reader, const std::string& fileName);
// Whether a .wav or .mp3 file can be a movie's sound: exactly when adding it
// to a movie succeeds. Never raises.
bool IsSoundFileSupported(const std::string& fileName);
