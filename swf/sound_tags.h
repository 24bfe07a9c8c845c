// The tags that carry sound: the event sound with its samples (DefineSound),
// the tags that start one with playback options (StartSound, StartSound2;
// the same sound info serves the button-sound tag), the announcement of a
// timeline's stream sound (SoundStreamHead, SoundStreamHead2) and the
// stream data of one frame (SoundStreamBlock), whose layout depends on the
// compression of the head before it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "swf/tag.h"

enum : uint8_t { kSoundFormatMP3 = 2 };

class TSWFDefineSound : public TSWFDataObject {
public:
    TSWFDefineSound() { TagCode = TagCodes::DefineSound; }

    uint16_t SoundId = 0;
    uint8_t SoundFormat = 0;  // 4 bits
    uint8_t SoundRate = 0;    // 2 bits: 5.5, 11, 22, 44 kHz
    bool SoundSize = false;   // 16-bit samples
    bool SoundType = false;   // stereo
    uint32_t SampleCount = 0;
    int16_t SeekSamples = 0;  // MP3 only

    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    int RequiredVersion() const override;
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) override;
    int32_t CharacterId() const override { return SoundId; }
};

class TSWFSoundEnvelope {
public:
    uint32_t Pos44 = 0;  // position in 44 kHz samples
    uint16_t LeftLevel = 0, RightLevel = 0;

    void CopyFrom(const TSWFSoundEnvelope& source) { *this = source; }
    bool operator==(const TSWFSoundEnvelope&) const = default;
};

class TSWFStartSound : public TSWFObject {
public:
    TSWFStartSound() { TagCode = TagCodes::StartSound; }

    uint16_t SoundId = 0;        // StartSound only
    std::string SoundClassName;  // StartSound2 only
    bool SyncStop = false, SyncNoMultiple = false;
    bool HasEnvelope = false;
    std::vector<TSWFSoundEnvelope> SoundEnvelopes;
    bool HasLoops = false;
    uint16_t LoopCount = 0;
    bool HasOutPoint = false;
    uint32_t OutPoint = 0;
    bool HasInPoint = false;
    uint32_t InPoint = 0;

    // Each sets its has-flag to (value not 0).
    void SetInPoint(uint32_t value);
    void SetOutPoint(uint32_t value);
    void SetLoopCount(uint16_t value);

    // The sound info alone, for the tags that carry it without a sound ID.
    void ReadSoundInfo(TBitsEngine& be);
    void WriteSoundInfo(TBitsEngine& be);
    void LoadSoundInfoXml(const TXmlNode& node);
    void SaveSoundInfoXml(TXmlNode node) const;

    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) override;
};

class TSWFStartSound2 : public TSWFStartSound {
public:
    TSWFStartSound2() { TagCode = TagCodes::StartSound2; }
    int RequiredVersion() const override { return 9; }
};

class TSWFSoundStreamHead : public TSWFObject {
public:
    TSWFSoundStreamHead() { TagCode = TagCodes::SoundStreamHead; }

    uint8_t PlaybackSoundRate = 0;
    bool PlaybackSoundSize = false, PlaybackSoundType = false;
    uint8_t StreamSoundCompression = 0;  // 4 bits
    uint8_t StreamSoundRate = 0;
    bool StreamSoundSize = false, StreamSoundType = false;
    uint16_t StreamSoundSampleCount = 0;  // samples per frame
    int16_t LatencySeek = 0;              // MP3 only
    // The upper nibble of the playback byte, reserved and kept as read.
    uint8_t Reserved = 0;

    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    int RequiredVersion() const override;
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) override;
};

class TSWFSoundStreamHead2 : public TSWFSoundStreamHead {
public:
    TSWFSoundStreamHead2() { TagCode = TagCodes::SoundStreamHead2; }
    int RequiredVersion() const override;
};

class TSWFSoundStreamBlock : public TSWFDataObject {
public:
    TSWFSoundStreamBlock() { TagCode = TagCodes::SoundStreamBlock; }

    // Handed in before reading (the compression of the head before the
    // block), or set by whoever builds the block.
    uint8_t StreamSoundCompression = 0;
    uint16_t SampleCount = 0;  // MP3 only
    int16_t SeekSamples = 0;   // MP3 only

    void SetStreamSoundFormat(uint8_t format) override { StreamSoundCompression = format; }

    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) override;
};
