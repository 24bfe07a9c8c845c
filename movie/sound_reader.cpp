#include "movie/sound_reader.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "platform/codepage.h"
#include "platform/errors.h"
#include "platform/paths.h"
#include "platform/riff.h"

namespace {

// The IMA ADPCM step table.
const int32_t kStepTable[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,    25,    28,
    31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,    88,    97,    107,   118,
    130,   143,   157,   173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,   494,
    544,   598,   658,   724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,
    2272,  2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,
    9493,  10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

// The SWF ADPCM index tables for 2-, 3-, 4- and 5-bit codes, by the code's
// magnitude bits.
const int8_t kIndexTable2[] = {-1, 2};
const int8_t kIndexTable3[] = {-1, -1, 2, 4};
const int8_t kIndexTable4[] = {-1, -1, -1, -1, 2, 4, 6, 8};
const int8_t kIndexTable5[] = {-1, -1, -1, -1, -1, -1, -1, -1, 1, 2, 4, 6, 8, 10, 13, 16};
const int8_t* const kIndexTables[] = {kIndexTable2, kIndexTable3, kIndexTable4, kIndexTable5};

// The Microsoft ADPCM adaptation table (x 1/256).
const int32_t kAdaptationTable[16] = {230, 230, 230, 230, 307, 409, 512, 614, 768, 614, 512, 409, 307, 230, 230, 230};
// Keeps delta x 768 inside 32 bits whatever the data says.
constexpr int64_t kMaxDelta = INT32_MAX / 768;

uint16_t Word(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t DWord(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

int16_t Clamp16(int64_t v) { return static_cast<int16_t>(std::clamp<int64_t>(v, -32768, 32767)); }

std::string UpperExt(const std::string& fileName) { return AnsiUpperCase(ExtractFileExt(fileName)); }

// Whole sample frames of PCM bytes as 16-bit samples.
std::vector<int16_t> PCMToSamples(const uint8_t* bytes, int64_t count, bool sixteen, int channels) {
    int frameBytes = (sixteen ? 2 : 1) * channels;
    int64_t frames = count / frameBytes;
    std::vector<int16_t> samples(static_cast<size_t>(frames * channels));
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = sixteen ? static_cast<int16_t>(Word(bytes + 2 * i)) : static_cast<int16_t>((bytes[i] - 128) * 256);
    return samples;
}

int LimitADPCMBits(int bits, int sourceBits) {
    if (bits <= 0 || bits > sourceBits) bits = sourceBits;
    return std::clamp(bits, 2, 5);
}

}  // namespace

// ---------------------------------------------------------------- SWF ADPCM

void TWaveReader::EncodeSWFADPCM(TBitsEngine& be, const int16_t* samples, size_t frames, int channels, int bits,
                                 bool continued, bool flush) {
    if (bits < 2 || bits > 5) throw Exception(FormatStr("SWF ADPCM has 2 to 5 bits per sample, not %d", bits));
    if (channels < 1 || channels > 2) throw Exception(FormatStr("SWF ADPCM has 1 or 2 channels, not %d", channels));
    if (!continued) be.WriteBits(static_cast<uint32_t>(bits - 2), 2);
    const int8_t* indexTable = kIndexTables[bits - 2];
    const int signBit = 1 << (bits - 1);
    int32_t predictor[2] = {0, 0};
    int32_t index[2] = {0, 0};
    for (size_t start = 0; start < frames; start += kADPCMPacketSamples) {
        size_t count = std::min<size_t>(kADPCMPacketSamples, frames - start);
        for (int c = 0; c < channels; ++c) {
            int32_t s0 = samples[start * channels + c];
            // The first code encodes the second sample: the initial step
            // fits the distance to it.
            int32_t s1 = count > 1 ? samples[(start + 1) * channels + c] : s0;
            int32_t distance = std::abs(s1 - s0);
            int32_t i = 0;
            while (i < 63 && kStepTable[i] < distance) ++i;
            be.WriteBits(static_cast<uint16_t>(s0), 16);
            be.WriteBits(static_cast<uint32_t>(i), 6);
            predictor[c] = s0;
            index[c] = i;
        }
        for (size_t n = 1; n < count; ++n)
            for (int c = 0; c < channels; ++c) {
                int32_t diff = samples[(start + n) * channels + c] - predictor[c];
                int sign = 0;
                if (diff < 0) {
                    sign = signBit;
                    diff = -diff;
                }
                int32_t step = kStepTable[index[c]];
                int32_t delta = step >> (bits - 1);
                int code = 0;
                for (int bit = bits - 2; bit >= 0; --bit) {
                    if (diff >= step) {
                        code |= 1 << bit;
                        delta += step;
                        diff -= step;
                    }
                    step >>= 1;
                }
                predictor[c] = Clamp16(sign ? int64_t{predictor[c]} - delta : int64_t{predictor[c]} + delta);
                index[c] = std::clamp(index[c] + indexTable[code], 0, 88);
                be.WriteBits(static_cast<uint32_t>(code | sign), static_cast<uint8_t>(bits));
            }
    }
    if (flush) be.FlushLastByte(true);
}

void TWaveReader::WriteSWFADPCM(TBitsEngine& be, TStream& source, int64_t byteCount, bool flush, bool continued,
                                bool stereo, bool sixteen, int bits) {
    int channels = stereo ? 2 : 1;
    int frameBytes = (sixteen ? 2 : 1) * channels;
    // Whole packets at a time, so that only one packet is held in memory.
    const int64_t chunk = int64_t{kADPCMPacketSamples} * frameBytes;
    byteCount = std::max<int64_t>(0, std::min(byteCount, source.Remaining()));
    std::vector<uint8_t> bytes;
    bool first = true;
    do {
        int64_t take = std::min(chunk, byteCount);
        bytes.resize(static_cast<size_t>(take));
        source.ReadBuffer(bytes.data(), take);
        byteCount -= take;
        std::vector<int16_t> samples = PCMToSamples(bytes.data(), take, sixteen, channels);
        EncodeSWFADPCM(be, samples.data(), samples.size() / channels, channels, bits, continued || !first,
                       flush && byteCount == 0);
        first = false;
    } while (byteCount > 0);
}

// ---------------------------------------------------------------- reader

TWaveReader::TWaveReader(const std::string& fileName) : FileName(fileName) {
    if (fileName.empty()) return;
    std::string ext = UpperExt(fileName);
    if (ext == ".MP3") {
        file_ = std::make_unique<TFileStream>(fileName, TFileMode::OpenRead);
        ReadMP3(*file_, true);
        return;
    }
    if (ext != ".WAV") return;
    std::unique_ptr<TFileStream> file;
    try {
        file = std::make_unique<TFileStream>(fileName, TFileMode::OpenRead);
    } catch (const EStreamError&) {
        return;
    }
    TRiffReader riff(*file);
    ReadWaveHeader(riff, *file);
    if (FormatTag == kWaveFormatPCM || FormatTag == kWaveFormatMSADPCM) {
        file->SetPosition(DataOffset);
        file_ = std::move(file);
    } else if (view_) {
        // MPEG frames in the data chunk are written through the window over
        // it, which reads from the file.
        file_ = std::move(file);
    }
}

TWaveReader::~TWaveReader() = default;

TMPEGaudio& TWaveReader::GetMPEG() {
    if (!mpeg_) mpeg_ = std::make_unique<TMPEGaudio>();
    return *mpeg_;
}

TStream* TWaveReader::GetDataStream() const { return view_ ? view_.get() : file_.get(); }

void TWaveReader::SetDataStream(std::unique_ptr<TStream> stream) {
    view_.reset();  // it reads from the file being replaced
    file_ = std::move(stream);
}

void TWaveReader::ReadWaveHeader(TRiffReader& riff, TStream& file) {
    TRiffChunk wave, fmt, data;
    if (!riff.DescendRiff(FourCC("WAVE"), wave)) return;
    if (!riff.FindChunk(wave, FourCC("fmt "), fmt) || !riff.FindChunk(wave, FourCC("data"), data)) return;
    FmtOffset = static_cast<uint32_t>(fmt.DataOffset);
    FmtSize = static_cast<uint32_t>(fmt.Size);
    DataOffset = data.DataOffset;
    DataSize = data.Size;
    std::vector<uint8_t> header = riff.ReadChunk(fmt, 256);
    if (header.size() < 16)
        throw EReadError(FormatStr("The WAVE format chunk of \"%s\" has %zu bytes, fewer than 16", FileName.c_str(),
                                   header.size()));
    FormatTag = Word(&header[0]);
    Channels = Word(&header[2]);
    SampleRate = DWord(&header[4]);
    BitsPerSample = Word(&header[14]);
    if (Channels == 0 || SampleRate == 0)
        throw EReadError(FormatStr("The WAVE file \"%s\" declares %u channels at %u Hz", FileName.c_str(), Channels,
                                   SampleRate));

    if (FormatTag == kWaveFormatMSADPCM) {
        if (header.size() < 22) throw EReadError("The Microsoft ADPCM format header is cut short");
        header.resize(std::max<size_t>(header.size(), 50), 0);
        TMSADPCMFormat& f = ADPCMFormat;
        f.FormatTag = FormatTag;
        f.Channels = Channels;
        f.SamplesPerSec = SampleRate;
        f.AvgBytesPerSec = DWord(&header[8]);
        f.BlockAlign = Word(&header[12]);
        f.BitsPerSample = BitsPerSample;
        f.ExtraSize = Word(&header[16]);
        f.SamplesPerBlock = Word(&header[18]);
        f.NumCoef = Word(&header[20]);
        for (int i = 0; i < 7; ++i) {
            f.Coef[i][0] = static_cast<int16_t>(Word(&header[22 + 4 * i]));
            f.Coef[i][1] = static_cast<int16_t>(Word(&header[24 + 4 * i]));
        }
        CheckMSADPCM();
        // Whole blocks, and what the last, shorter block holds: what is
        // decoded and written, to the sample.
        int64_t blocks = DataSize / f.BlockAlign, rest = DataSize % f.BlockAlign;
        int64_t count = blocks * f.SamplesPerBlock;
        if (rest >= 7 * int64_t{Channels})
            count += std::min<int64_t>(f.SamplesPerBlock, 2 + (rest - 7 * Channels) * 2 / Channels);
        SampleCount = static_cast<uint32_t>(std::min<int64_t>(count, UINT32_MAX));
    } else if (FormatTag == kWaveFormatMPEG || FormatTag == kWaveFormatMPEGLayer3) {
        // The frames lie in the data chunk; they are scanned and later
        // copied through a window over it.
        view_ = std::make_unique<TBoundedStream>(file, DataOffset, DataSize);
        ReadMP3(*view_, false);
    } else {
        if (BitsPerSample == 0) throw EReadError("The WAVE file declares 0 bits per sample");
        SampleCount = static_cast<uint32_t>(
            std::min<int64_t>(DataSize * 8 / (int64_t{BitsPerSample} * Channels), UINT32_MAX));
    }
    if (Duration == 0) Duration = static_cast<double>(SampleCount) / SampleRate;
}

void TWaveReader::ReadMP3(TStream& stream, bool isMP3File) {
    mpeg_ = std::make_unique<TMPEGaudio>();
    TMPEGaudio& mpeg = *mpeg_;
    if (!mpeg.ReadFromStream(stream) || !mpeg.Header.Found) {
        // Not MPEG audio after all: nothing can be written from it.
        FormatTag = isMP3File ? 0 : FormatTag;
        Channels = 0;
        SampleCount = 0;
        FrameCount = 0;
        if (!isMP3File) view_.reset();
        return;
    }
    if (isMP3File) {
        FormatTag = kFormatMP3File;
        DataOffset = int64_t{mpeg.Header.Position} + mpeg.ID3v2.Size;
        DataSize = int64_t{mpeg.FileSize} - DataOffset - mpeg.ID3v1.Size;
    }
    Channels = mpeg.Header.ModeID == 3 ? 1 : 2;
    SampleRate = mpeg.GetSampleRate();
    BitsPerSample = 16;
    FrameSize = mpeg.Header.FrameLength;
    FrameCount = mpeg.GetAudioFrameCount();
    BitRate = mpeg.GetBitRate();
    SamplesPerFrame = mpeg.GetSamplesPerFrame();
    Duration = mpeg.GetDuration();
    SampleCount = static_cast<uint32_t>(std::nearbyint(SampleRate * Duration));
    if (FrameSize > 0 && int64_t{FrameSize} * FrameCount > mpeg.FileSize)
        FrameCount = static_cast<uint32_t>(mpeg.FileSize / FrameSize);
}

TSoundStreamCursor TWaveReader::StartStream() const {
    TSoundStreamCursor cursor;
    cursor.ReadPos = DataOffset;
    return cursor;
}

int64_t TWaveReader::ReadAt(int64_t position, uint8_t* buffer, int64_t count) {
    TStream* stream = GetDataStream();
    if (!stream || count <= 0) return 0;
    stream->SetPosition(position);
    int64_t got = 0;
    while (got < count) {
        int64_t n = stream->Read(buffer + got, count - got);
        if (n <= 0) break;
        got += n;
    }
    return got;
}

void TWaveReader::CheckPCM() const {
    if (FormatTag != kWaveFormatPCM) throw Exception("The sound is not PCM");
    if ((BitsPerSample != 8 && BitsPerSample != 16) || Channels < 1 || Channels > 2)
        throw Exception(FormatStr("A movie's PCM sound has 8 or 16 bits in 1 or 2 channels, not %u bits in %u",
                                  BitsPerSample, Channels));
    if (!GetDataStream()) throw Exception("The sound has no data to read");
}

void TWaveReader::CheckMSADPCM() const {
    const TMSADPCMFormat& f = ADPCMFormat;
    if (f.Channels < 1 || f.Channels > 2)
        throw EReadError(FormatStr("Microsoft ADPCM with %u channels is not supported", f.Channels));
    if (f.BlockAlign <= 7 * f.Channels || f.SamplesPerBlock < 2)
        throw EReadError(FormatStr("Microsoft ADPCM blocks of %u bytes and %u samples cannot be decoded", f.BlockAlign,
                                   f.SamplesPerBlock));
}

// ---------------------------------------------------------------- PCM

void TWaveReader::WritePCMData(TBitsEngine& be, TSoundStreamCursor& cursor, int64_t byteCount, bool loop, int bits) {
    if (byteCount <= 0) return;
    CheckPCM();
    int frameBytes = BitsPerSample / 8 * Channels;
    std::vector<uint8_t> bytes(static_cast<size_t>(byteCount), BitsPerSample == 8 ? 0x80 : 0);
    int64_t filled = 0;
    // Whole sample frames of data only: a damaged size that ends inside one
    // must not shift the channels of what follows a loop.
    int64_t usable = DataSize / frameBytes * frameBytes;
    while (filled < byteCount) {
        int64_t end = DataOffset + usable;
        if (cursor.ReadPos < DataOffset || cursor.ReadPos > end) cursor.ReadPos = DataOffset;
        int64_t take = std::min(byteCount - filled, end - cursor.ReadPos);
        int64_t got = ReadAt(cursor.ReadPos, bytes.data() + filled, take);
        filled += got;
        cursor.ReadPos += got;
        if (filled >= byteCount) break;
        // The data has ended (or the file is shorter than it says).
        if (!loop || usable == 0 || (got == 0 && cursor.ReadPos == DataOffset)) break;
        cursor.ReadPos = DataOffset;
    }
    // Silence fills what is left: 0x80 for unsigned 8-bit samples.
    if (bits == 0) {
        be.WriteBuffer(bytes.data(), byteCount);
        return;
    }
    std::vector<int16_t> samples = PCMToSamples(bytes.data(), byteCount, BitsPerSample == 16, Channels);
    EncodeSWFADPCM(be, samples.data(), samples.size() / Channels, Channels, std::clamp(bits, 2, 5), false, true);
}

void TWaveReader::WritePCMEventData(TBitsEngine& be, int bits) {
    CheckPCM();
    int frameBytes = BitsPerSample / 8 * Channels;
    // A packet at a time: only one is held in memory.
    int64_t chunk = int64_t{kADPCMPacketSamples} * frameBytes;
    TSoundStreamCursor cursor = StartStream();
    if (bits == 0) {
        for (int64_t done = 0; done < DataSize; done += chunk)
            WritePCMData(be, cursor, std::min(chunk, DataSize - done), false, 0);
        return;
    }
    bits = std::clamp(bits, 2, 5);
    int64_t total = DataSize / frameBytes * frameBytes;
    std::vector<uint8_t> bytes;
    bool first = true;
    for (int64_t done = 0; done < total || first; done += chunk) {
        int64_t take = std::min(chunk, total - done);
        bytes.assign(static_cast<size_t>(take), BitsPerSample == 8 ? 0x80 : 0);
        ReadAt(DataOffset + done, bytes.data(), take);
        std::vector<int16_t> samples = PCMToSamples(bytes.data(), take, BitsPerSample == 16, Channels);
        EncodeSWFADPCM(be, samples.data(), samples.size() / Channels, Channels, bits, !first, done + take >= total);
        first = false;
    }
}

// ---------------------------------------------------------------- Microsoft ADPCM

size_t TWaveReader::DecodeMSADPCMBlock(const uint8_t* block, size_t size, std::vector<int16_t>& out) const {
    const TMSADPCMFormat& f = ADPCMFormat;
    int channels = f.Channels;
    if (channels < 1 || channels > 2 || size < size_t(7 * channels)) return 0;
    int coef1[2], coef2[2];
    int64_t delta[2], sample1[2], sample2[2];
    const uint8_t* p = block;
    for (int c = 0; c < channels; ++c) {
        uint8_t predictor = *p++;
        int coefficients = std::min<int>(f.NumCoef, 7);
        if (predictor >= coefficients)
            throw EReadError(FormatStr("A Microsoft ADPCM block uses coefficient pair %u of %d", predictor, coefficients));
        coef1[c] = f.Coef[predictor][0];
        coef2[c] = f.Coef[predictor][1];
    }
    for (int c = 0; c < channels; ++c, p += 2) delta[c] = static_cast<int16_t>(Word(p));
    for (int c = 0; c < channels; ++c, p += 2) sample1[c] = static_cast<int16_t>(Word(p));
    for (int c = 0; c < channels; ++c, p += 2) sample2[c] = static_cast<int16_t>(Word(p));
    // The header's two samples come out oldest first.
    for (int c = 0; c < channels; ++c) out.push_back(static_cast<int16_t>(sample2[c]));
    for (int c = 0; c < channels; ++c) out.push_back(static_cast<int16_t>(sample1[c]));
    size_t decoded = 2;
    size_t limit = f.SamplesPerBlock;
    const uint8_t* end = block + size;
    int channel = 0;
    // One nibble per sample, high nibble first, channels in turn.
    while (p < end && decoded < limit) {
        for (int shift = 4; shift >= 0; shift -= 4) {
            int nibble = (*p >> shift) & 0x0F;
            int c = channel;
            int64_t predicted = (sample1[c] * coef1[c] + sample2[c] * coef2[c]) / 256;
            predicted += (nibble & 8 ? nibble - 16 : nibble) * delta[c];
            int16_t sample = Clamp16(predicted);
            sample2[c] = sample1[c];
            sample1[c] = sample;
            delta[c] = std::min(kMaxDelta, kAdaptationTable[nibble] * delta[c] / 256);
            if (delta[c] < 16) delta[c] = 16;
            out.push_back(sample);
            channel = (channel + 1) % channels;
            if (channel == 0) ++decoded;
        }
        ++p;
        if (channels == 1 && decoded > limit) {
            // A mono byte holds two samples; the second may be past the block's count.
            out.pop_back();
            --decoded;
        }
    }
    return decoded;
}

void TWaveReader::WriteADPCMEventData(TBitsEngine& be, int bits) {
    if (FormatTag != kWaveFormatMSADPCM) throw Exception("The sound is not Microsoft ADPCM");
    CheckMSADPCM();
    bits = LimitADPCMBits(bits, 4);
    const TMSADPCMFormat& f = ADPCMFormat;
    const size_t packet = size_t{kADPCMPacketSamples} * f.Channels;
    std::vector<uint8_t> block(f.BlockAlign);
    std::vector<int16_t> work;
    work.reserve(packet + size_t{f.SamplesPerBlock} * f.Channels);
    bool continued = false;
    for (int64_t at = DataOffset; at < DataEnd(); at += f.BlockAlign) {
        int64_t got = ReadAt(at, block.data(), std::min<int64_t>(f.BlockAlign, DataEnd() - at));
        DecodeMSADPCMBlock(block.data(), static_cast<size_t>(got), work);
        if (got < f.BlockAlign) break;
        while (work.size() >= packet) {
            EncodeSWFADPCM(be, work.data(), kADPCMPacketSamples, f.Channels, bits, continued, false);
            continued = true;
            work.erase(work.begin(), work.begin() + static_cast<std::ptrdiff_t>(packet));
        }
    }
    EncodeSWFADPCM(be, work.data(), work.size() / f.Channels, f.Channels, bits, continued, true);
}

void TWaveReader::WriteADPCMStreamBlock(TBitsEngine& be, TSoundStreamCursor& cursor, uint32_t sampleCount, bool loop,
                                        int bits) {
    if (FormatTag != kWaveFormatMSADPCM) throw Exception("The sound is not Microsoft ADPCM");
    CheckMSADPCM();
    bits = LimitADPCMBits(bits, 4);
    const TMSADPCMFormat& f = ADPCMFormat;
    const size_t wanted = size_t{sampleCount} * f.Channels;
    std::vector<uint8_t> block(f.BlockAlign);
    bool wrapped = false, decodedThisPass = false;
    while (cursor.Carry.size() < wanted) {
        if (cursor.ReadPos < DataOffset || cursor.ReadPos > DataEnd()) cursor.ReadPos = DataOffset;
        if (cursor.ReadPos >= DataEnd()) {
            // A loop needs something to repeat: a whole pass that decoded
            // nothing ends the sound as if there were no loop.
            if (!loop || (wrapped && !decodedThisPass)) break;
            cursor.ReadPos = DataOffset;
            wrapped = true;
            decodedThisPass = false;
            continue;
        }
        int64_t take = std::min<int64_t>(f.BlockAlign, DataEnd() - cursor.ReadPos);
        int64_t got = ReadAt(cursor.ReadPos, block.data(), take);
        // The final block may be shorter: its samples are decoded too.
        size_t before = cursor.Carry.size();
        DecodeMSADPCMBlock(block.data(), static_cast<size_t>(got), cursor.Carry);
        decodedThisPass = decodedThisPass || cursor.Carry.size() > before;
        cursor.ReadPos = got < take ? DataEnd() : cursor.ReadPos + take;
    }
    if (cursor.Carry.size() < wanted) cursor.Carry.resize(wanted, 0);
    EncodeSWFADPCM(be, cursor.Carry.data(), sampleCount, f.Channels, bits, false, true);
    cursor.Carry.erase(cursor.Carry.begin(), cursor.Carry.begin() + static_cast<std::ptrdiff_t>(wanted));
}

// ---------------------------------------------------------------- MPEG

uint32_t TWaveReader::WriteMP3Frames(TBitsEngine& be, uint32_t frameIndex, bool loop, uint32_t count) {
    if (!mpeg_ || !GetDataStream()) throw Exception("The sound has no MPEG frames to write");
    const std::vector<TMP3FrameInfo>& frames = mpeg_->Frames;
    bool anyAudio = std::any_of(frames.begin(), frames.end(), [](const auto& f) { return f.IsAudio; });
    std::vector<uint8_t> buffer;
    uint32_t copied = 0;
    while (copied < count) {
        if (frameIndex >= frames.size()) {
            if (loop && anyAudio) {
                frameIndex = 0;
                continue;
            }
            // The sound has ended: the rest of the block stays silent.
            std::vector<uint8_t> zeros(size_t{count - copied} * FrameSize, 0);
            if (!zeros.empty()) be.WriteBuffer(zeros.data(), static_cast<int64_t>(zeros.size()));
            break;
        }
        const TMP3FrameInfo& frame = frames[frameIndex++];
        if (!frame.IsAudio) continue;
        buffer.assign(frame.Size, 0);
        // A last frame cut short by the end of the file is completed with zeros.
        ReadAt(frame.Position, buffer.data(), frame.Size);
        be.WriteBuffer(buffer.data(), frame.Size);
        ++copied;
    }
    return frameIndex;
}

void TWaveReader::WriteMP3EventData(TBitsEngine& be) {
    if (!mpeg_ || !GetDataStream()) throw Exception("The sound has no MPEG frames to write");
    WriteMP3Frames(be, 0, false, mpeg_->GetAudioFrameCount());
}

// ---------------------------------------------------------------- support check

// The SWF rate code of a sample rate, by rate div 5000; -1 when the rate is
// none that the table maps (a player would play the sound at another speed).
int SoundRateCode(uint32_t rate) {
    switch (rate / 5000) {
        case 1: return 0;
        case 2: return 1;
        case 3:
        case 4: return 2;
        case 8: return 3;
        default: return -1;
    }
}

void CheckMovieSound(TWaveReader& r, const std::string& fileName) {
    const char* name = fileName.c_str();
    switch (r.FormatTag) {
        case 0:
            throw EReadError(FormatStr("Sound file \"%s\" holds no sound that a movie can carry: it is not a WAVE or "
                                       "MP3 file, or it is damaged",
                                       name));
        case kWaveFormatPCM:
            if ((r.BitsPerSample != 8 && r.BitsPerSample != 16) || r.Channels < 1 || r.Channels > 2)
                throw EReadError(FormatStr("Sound file \"%s\" has %u-bit PCM in %u channels; a movie takes 8 or 16 "
                                           "bits in 1 or 2",
                                           name, r.BitsPerSample, r.Channels));
            [[fallthrough]];
        case kWaveFormatMSADPCM:
            if (SoundRateCode(r.SampleRate) < 0)
                throw EReadError(FormatStr("Sound file \"%s\" has %u samples per second, which no rate of a movie's "
                                           "sound plays (5512, 11025, 22050 or 44100)",
                                           name, r.SampleRate));
            break;
        case kWaveFormatMPEG:
        case kWaveFormatMPEGLayer3:
        case kFormatMP3File:
            if (!r.GetDataStream() || r.FrameCount == 0 || r.SamplesPerFrame == 0)
                throw EReadError(FormatStr("Sound file \"%s\" holds no MPEG audio frames", name));
            // A movie's MP3 sound is Layer III; players decode no other layer.
            if (r.GetMPEG().Header.LayerID != 1)
                throw EReadError(FormatStr("Sound file \"%s\" holds MPEG audio Layer %d; a movie carries Layer III only",
                                           name, 4 - r.GetMPEG().Header.LayerID));
            break;
        default:
            throw EReadError(
                FormatStr("Sound file \"%s\" has WAVE format %u, which a movie cannot carry", name, r.FormatTag));
    }
    if (r.SampleCount == 0 || r.SampleRate == 0)
        throw EReadError(FormatStr("Sound file \"%s\" holds no samples", name));
}

bool IsSoundFileSupported(const std::string& fileName) {
    try {
        std::string ext = UpperExt(fileName);
        if (ext != ".MP3" && ext != ".WAV") return false;
        // The same reader and the same check as adding the sound: the answer
        // is whether the movie can use the file, not whether it parses.
        TWaveReader reader(fileName);
        CheckMovieSound(reader, fileName);
        return true;
    } catch (...) {
        return false;
    }
}
