// Sounds of the movie builder. A sound is taken from a WAVE file (PCM,
// Microsoft ADPCM, or MPEG audio inside the WAVE) or an MP3 file through a
// TWaveReader, and written either as an event sound (a DefineSound tag that
// StartSound tags start) or as the stream sound of the movie or of a
// sprite: one SoundStreamHead2 before the frames and one SoundStreamBlock
// before every ShowFrame, each holding the samples of its frame. PCM
// sources are written as SWF ADPCM unless ADPCMBits is 0; Microsoft ADPCM
// sources are always re-encoded as SWF ADPCM; MPEG frames are copied as
// they are.
//
// A stream starts again from the beginning of the sound at every make of
// the movie: FillStreamHead takes a fresh cursor from the reader, so that
// two makes of the same movie write the same blocks.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "movie/flash_object.h"
#include "movie/sound_reader.h"

class TSWFSoundStreamHead;
class TSWFStartSound;

// SWF sound formats.
enum : uint8_t {
    kSWFSoundUncompressed = 0,
    kSWFSoundADPCM = 1,
    kSWFSoundMP3 = 2,
};

class TFlashSound : public TFlashIDObject {
public:
    // Loads fileName when one is given.
    explicit TFlashSound(TFlashMovie* movie, const std::string& fileName = "");
    ~TFlashSound() override;
    TFlashSound(const TFlashSound&) = delete;
    TFlashSound& operator=(const TFlashSound&) = delete;

    std::string FileName;
    uint8_t SoundFormat = kSWFSoundUncompressed;
    uint8_t SoundRate = 0;   // 0 to 3: 5.5, 11, 22, 44 kHz
    bool SoundSize = false;  // 16-bit samples
    bool SoundType = false;  // stereo
    uint32_t SampleRate = 0;
    uint16_t BitsPerSample = 0;
    uint32_t SampleCount = 0;  // per channel
    double Duration = 0;
    int64_t DataOffset = 0, DataSize = 0;
    uint16_t MP3SamplesPerFrame = 0;
    // A stream sound starts again at the beginning when its data ends.
    bool Loop = false;

    // Raises, and leaves the sound as it was, for a file that is missing,
    // damaged or of a kind a movie cannot carry.
    void LoadFromFile(const std::string& fileName);
    // The figures of the reader.
    void ReadFormat();
    TWaveReader& GetReader();
    void SetReader(std::unique_ptr<TWaveReader> reader);
    // Whether the sound holds samples to write.
    bool HasData() const;

    uint8_t GetADPCMBits() const { return ADPCMBits; }
    // Above 5 becomes 5, 1 becomes 0 (uncompressed).
    void SetADPCMBits(int bits);

    // A StartSound tag for this sound in the owner movie; nullptr without one.
    TSWFStartSound* StartSound();

    // ---- as a stream sound
    // Fills the head and starts the stream from the beginning of the sound.
    void FillStreamHead(TSWFSoundStreamHead& head, float frameRate);
    // The block of the next frame (nothing once a stream that does not
    // loop has ended, or an empty block for MP3).
    void WriteStreamBlock(TBitsEngine& be);
    // The data of a DefineSound or SoundStreamBlock tag.
    void WriteSoundData(TSWFObject& tag, TBitsEngine& be);
    uint16_t GetSamplesPerBlock() const { return SamplesPerBlock; }

    // Figures and settings, and a reader of its own over the same file.
    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    int RequiredVersion() const override;
    // The event sound.
    void WriteTag(TBitsEngine& be) override;
    // The movie's XML form: "File" (required) and the element's options.
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;
    bool IsMovableResource() const override { return true; }

private:
    std::unique_ptr<TWaveReader> reader_;
    uint8_t ADPCMBits = 4;

    // Stream state. The counters are wider than a frame count, so that a
    // long stream never wraps them.
    uint16_t SamplesPerBlock = 0;
    int64_t BlockBytes = 0;
    uint32_t BlockCount = 0;
    int64_t TotalSamples = 0;
    int64_t SeekSamples = 0;
    uint32_t FramesInBlock = 0;
    uint32_t BlockSampleCount = 0;
    uint32_t MP3FramesLeft = 0;  // audio frames not yet streamed (no loop)
    bool streamStarted_ = false;
    TSoundStreamCursor cursor_;

    void CheckWritable() const;
};
