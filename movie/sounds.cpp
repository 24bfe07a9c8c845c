#include "movie/sounds.h"

#include <cmath>
#include <cstdlib>

#include "movie/flash_movie.h"
#include "platform/errors.h"
#include "platform/paths.h"
#include "swf/sound_tags.h"

namespace {

// MPEG frames carry their own rate, which players and decoders follow: the
// code only has to be the nearest one.
int NearestRateCode(uint32_t rate) {
    static const uint32_t rates[4] = {5512, 11025, 22050, 44100};
    int best = 0;
    for (int i = 1; i < 4; ++i)
        if (std::llabs(int64_t{rate} - rates[i]) < std::llabs(int64_t{rate} - rates[best])) best = i;
    return best;
}

bool IsMPEGFormat(uint16_t tag) {
    return tag == kWaveFormatMPEG || tag == kWaveFormatMPEGLayer3 || tag == kFormatMP3File;
}

}  // namespace

TFlashSound::TFlashSound(TFlashMovie* movie, const std::string& fileName) : TFlashIDObject(movie) {
    SetADPCMBits(4);
    if (!fileName.empty()) LoadFromFile(fileName);
}

TFlashSound::~TFlashSound() = default;

TWaveReader& TFlashSound::GetReader() {
    if (!reader_) reader_ = std::make_unique<TWaveReader>();
    return *reader_;
}

void TFlashSound::SetReader(std::unique_ptr<TWaveReader> reader) {
    reader_ = std::move(reader);
    streamStarted_ = false;
}

bool TFlashSound::HasData() const { return reader_ && reader_->SampleCount > 0 && reader_->GetDataStream(); }

void TFlashSound::SetADPCMBits(int bits) { ADPCMBits = static_cast<uint8_t>(bits > 5 ? 5 : bits == 1 || bits < 0 ? 0 : bits); }

void TFlashSound::LoadFromFile(const std::string& fileName) {
    if (!FileExists(fileName)) throw EFOpenError(FormatStr("Sound file \"%s\" not found", fileName.c_str()));
    auto reader = std::make_unique<TWaveReader>(fileName);
    CheckMovieSound(*reader, fileName);
    FileName = fileName;
    SetReader(std::move(reader));
    ReadFormat();
}

void TFlashSound::ReadFormat() {
    TWaveReader& r = GetReader();
    Duration = r.Duration;
    switch (r.FormatTag) {
        case kWaveFormatPCM: SoundFormat = kSWFSoundUncompressed; break;
        case kWaveFormatMSADPCM: SoundFormat = kSWFSoundADPCM; break;
        // MPEG audio in a WAVE file is tagged 0x55 (Layer III) or 0x50
        // (Layers I and II, and some writers' Layer III alike).
        case kWaveFormatMPEG:
        case kWaveFormatMPEGLayer3:
        case kFormatMP3File:
            SoundFormat = kSWFSoundMP3;
            MP3SamplesPerFrame = static_cast<uint16_t>(r.SamplesPerFrame);
            break;
        default: break;
    }
    SampleRate = r.SampleRate;
    int code = SoundRateCode(r.SampleRate);
    if (code < 0 && IsMPEGFormat(r.FormatTag) && r.SampleRate > 0) code = NearestRateCode(r.SampleRate);
    if (code >= 0) SoundRate = static_cast<uint8_t>(code);
    BitsPerSample = r.BitsPerSample;
    SoundSize = SoundFormat != kSWFSoundUncompressed || BitsPerSample != 8;
    SoundType = r.Channels == 2;
    DataOffset = r.DataOffset;
    DataSize = r.DataSize;
    SampleCount = r.SampleCount;
}

TSWFStartSound* TFlashSound::StartSound() { return Owner ? Owner->StartSound(GetCharacterId()) : nullptr; }

int TFlashSound::RequiredVersion() const {
    switch (SoundFormat) {
        case 2:
        case 3: return 4;
        case 5: return 8;
        case 6: return 6;
        default: return 1;
    }
}

void TFlashSound::CheckWritable() const {
    if (!HasData())
        throw Exception(FormatStr("Sound %u holds no sound: load a sound file before the movie is made",
                                  GetCharacterId()));
}

// ---------------------------------------------------------------- event sound

void TFlashSound::WriteTag(TBitsEngine& be) {
    CheckWritable();
    TSWFDefineSound tag;
    tag.SoundId = GetCharacterId();
    bool encoded = SoundFormat == kSWFSoundUncompressed && ADPCMBits != 0;
    tag.SoundFormat = encoded ? uint8_t{kSWFSoundADPCM} : SoundFormat;
    tag.SoundRate = SoundRate;
    tag.SoundSize = SoundFormat != kSWFSoundUncompressed || ADPCMBits != 0 ? true : SoundSize;
    tag.SoundType = SoundType;
    tag.SampleCount = SampleCount;
    tag.SeekSamples = 0;
    tag.OnWrite = [this](TSWFObject& t, TBitsEngine& e) { WriteSoundData(t, e); };
    tag.WriteTag(be);
}

void TFlashSound::WriteSoundData(TSWFObject& tag, TBitsEngine& be) {
    TWaveReader& r = GetReader();
    if (tag.TagCode == TagCodes::SoundStreamBlock) {
        switch (SoundFormat) {
            case kSWFSoundUncompressed: r.WritePCMData(be, cursor_, BlockBytes, Loop, ADPCMBits); break;
            case kSWFSoundADPCM: r.WriteADPCMStreamBlock(be, cursor_, SamplesPerBlock, Loop, ADPCMBits); break;
            case kSWFSoundMP3:
                // The block's sample count and seek are the tag's own fields.
                if (FramesInBlock > 0)
                    cursor_.MP3FrameIndex = r.WriteMP3Frames(be, cursor_.MP3FrameIndex, Loop, FramesInBlock);
                break;
            default: break;
        }
    } else if (tag.TagCode == TagCodes::DefineSound) {
        switch (SoundFormat) {
            case kSWFSoundUncompressed: r.WritePCMEventData(be, ADPCMBits); break;
            case kSWFSoundADPCM: r.WriteADPCMEventData(be, ADPCMBits); break;
            // The audio frames only: tag frames (Xing, LAME) and ID3 tags
            // are no sound, and MPEG data in a WAVE file lies in its data
            // chunk.
            case kSWFSoundMP3: r.WriteMP3EventData(be); break;
            default: break;
        }
    }
}

// ---------------------------------------------------------------- stream sound

void TFlashSound::FillStreamHead(TSWFSoundStreamHead& head, float frameRate) {
    CheckWritable();
    if (!(frameRate > 0)) throw Exception("A stream sound needs a movie whose frame rate is above 0");
    TWaveReader& r = GetReader();
    bool raw = SoundFormat == kSWFSoundUncompressed && ADPCMBits == 0;
    uint8_t compression = SoundFormat == kSWFSoundUncompressed ? (raw ? 0 : kSWFSoundADPCM) : SoundFormat;
    bool sixteen = raw ? SoundSize : true;
    head.StreamSoundCompression = compression;
    head.StreamSoundRate = head.PlaybackSoundRate = SoundRate;
    head.StreamSoundSize = head.PlaybackSoundSize = sixteen;
    head.StreamSoundType = head.PlaybackSoundType = SoundType;
    double perFrame = std::trunc(SampleRate / double(frameRate));
    // A block's sample count is 16 bits wide; an MP3 block may hold up to a
    // frame more than its share.
    double limit = 65535.0 - (SoundFormat == kSWFSoundMP3 ? MP3SamplesPerFrame : 0);
    if (perFrame < 1 || perFrame > limit)
        throw Exception(FormatStr("A stream sound of %u samples per second cannot be cut into frames of %g per second",
                                  SampleRate, double(frameRate)));
    SamplesPerBlock = static_cast<uint16_t>(perFrame);
    head.StreamSoundSampleCount = SamplesPerBlock;
    if (SoundFormat == kSWFSoundMP3) head.LatencySeek = 0;
    TotalSamples = 0;
    SeekSamples = 0;
    BlockCount = 0;
    FramesInBlock = 0;
    BlockSampleCount = 0;
    // Every make starts the sound from its beginning.
    cursor_ = r.StartStream();
    MP3FramesLeft = SoundFormat == kSWFSoundMP3 ? r.GetMPEG().GetAudioFrameCount() : 0;
    // Bytes of the source per block: an 8-bit source written as 16-bit ADPCM
    // still gives one byte a sample.
    BlockBytes = int64_t{SamplesPerBlock} * (r.Channels > 0 ? r.Channels : 1) * (BitsPerSample > 8 ? 2 : 1);
    streamStarted_ = true;
}

void TFlashSound::WriteStreamBlock(TBitsEngine& be) {
    if (!streamStarted_) throw Exception("A stream sound block was asked for before its stream head");
    TWaveReader& r = GetReader();
    if (SoundFormat == kSWFSoundUncompressed || SoundFormat == kSWFSoundADPCM) {
        int64_t end = r.DataOffset + r.DataSize;
        bool more = Loop || cursor_.ReadPos < end || !cursor_.Carry.empty();
        if (!more) return;  // a stream that does not loop ends silently
        TSWFSoundStreamBlock block;
        block.StreamSoundCompression = SoundFormat == kSWFSoundUncompressed && ADPCMBits == 0 ? 0 : kSWFSoundADPCM;
        block.OnWrite = [this](TSWFObject& t, TBitsEngine& e) { WriteSoundData(t, e); };
        block.WriteTag(be);
        return;
    }
    if (SoundFormat != kSWFSoundMP3) return;
    // MPEG frames are whole: each block takes the frames that keep the
    // stream in step with the movie's frames, and its seek says how far
    // the block's start lies from where the frame starts.
    const int64_t perFrame = MP3SamplesPerFrame;
    bool ended = perFrame == 0 || std::llabs(SeekSamples) > perFrame;
    int64_t frames = ended ? 0 : std::max<int64_t>(0, (int64_t{SamplesPerBlock} + SeekSamples) / perFrame);
    if (BlockCount == 0 && frames == 0 && !ended) frames = 1;
    if (!Loop) frames = std::min<int64_t>(frames, MP3FramesLeft);
    ++BlockCount;
    BlockSampleCount = static_cast<uint32_t>(frames * perFrame);
    if (BlockCount == 1) {
        SeekSamples = 0;
    } else {
        SeekSamples = int64_t{BlockCount - 1} * SamplesPerBlock - TotalSamples;
        if (std::llabs(SeekSamples) > perFrame) ended = true;
    }
    if (ended) {
        // The stream has ended: a block without frames (long header).
        SeekSamples = 0;
        FramesInBlock = 0;
        BlockSampleCount = 0;
        be.FlushLastByte(true);
        be.WriteWord(0x04FF);
        be.WriteDWord(4);
        be.WriteDWord(0);
    } else {
        FramesInBlock = static_cast<uint32_t>(frames);
        TSWFSoundStreamBlock block;
        block.StreamSoundCompression = kSWFSoundMP3;
        block.SampleCount = static_cast<uint16_t>(BlockSampleCount);
        block.SeekSamples = static_cast<int16_t>(SeekSamples);
        block.OnWrite = [this](TSWFObject& t, TBitsEngine& e) { WriteSoundData(t, e); };
        block.WriteTag(be);
        if (!Loop) MP3FramesLeft -= FramesInBlock;
    }
    TotalSamples += BlockSampleCount;
    SeekSamples = int64_t{BlockCount} * SamplesPerBlock - TotalSamples;
    // Once ended, a stream stays ended until the next head.
    if (ended) SeekSamples = perFrame + 1;
}

// ---------------------------------------------------------------- copies

void TFlashSound::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto& other = CopySourceAs<TFlashSound>(source, "a sound");
    TFlashIDObject::CopyFieldsFrom(source);
    FileName = other.FileName;
    SoundFormat = other.SoundFormat;
    SoundRate = other.SoundRate;
    SoundSize = other.SoundSize;
    SoundType = other.SoundType;
    SampleRate = other.SampleRate;
    BitsPerSample = other.BitsPerSample;
    SampleCount = other.SampleCount;
    Duration = other.Duration;
    DataOffset = other.DataOffset;
    DataSize = other.DataSize;
    MP3SamplesPerFrame = other.MP3SamplesPerFrame;
    Loop = other.Loop;
    ADPCMBits = other.ADPCMBits;
    // The copy reads its samples through a reader of its own over the same
    // file, so that the two never move each other's stream.
    if (other.HasData() && !other.FileName.empty()) SetReader(std::make_unique<TWaveReader>(other.FileName));
    else SetReader(nullptr);
}
