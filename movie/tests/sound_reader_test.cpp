#include "movie/sound_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "media_fixtures.h"
#include "platform/errors.h"
#include "platform/stream.h"
#include "swf/control_tags.h"
#include "swf/reader.h"
#include "swf/sound_tags.h"

namespace {

// ---- an SWF ADPCM decoder of our own, written from the format's
// description, for checking the encoder without the reader's code.

class BitReader {
public:
    explicit BitReader(const MediaBytes& bytes) : bytes_(bytes) {}
    uint32_t Get(int n) {
        uint32_t v = 0;
        for (int i = 0; i < n; ++i, ++at_) v = v << 1 | ((bytes_[at_ / 8] >> (7 - at_ % 8)) & 1);
        return v;
    }
    size_t Left() const { return bytes_.size() * 8 - at_; }

private:
    const MediaBytes& bytes_;
    size_t at_ = 0;
};

std::vector<int16_t> DecodeSWFADPCM(const MediaBytes& data, int channels, size_t frames) {
    static const int steps[89] = {
        7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,    25,    28,
        31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,    88,    97,    107,   118,
        130,   143,   157,   173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,   494,
        544,   598,   658,   724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,
        2272,  2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,
        9493,  10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
    static const std::vector<std::vector<int>> tables = {
        {-1, 2}, {-1, -1, 2, 4}, {-1, -1, -1, -1, 2, 4, 6, 8},
        {-1, -1, -1, -1, -1, -1, -1, -1, 1, 2, 4, 6, 8, 10, 13, 16}};
    BitReader in(data);
    int bits = static_cast<int>(in.Get(2)) + 2;
    std::vector<int16_t> out;
    int predictor[2], index[2];
    while (out.size() < frames * channels) {
        for (int c = 0; c < channels; ++c) {
            predictor[c] = static_cast<int16_t>(in.Get(16));
            index[c] = static_cast<int>(in.Get(6));
            out.push_back(static_cast<int16_t>(predictor[c]));
        }
        for (int n = 1; n < 4096 && out.size() < frames * channels; ++n)
            for (int c = 0; c < channels; ++c) {
                int code = static_cast<int>(in.Get(bits));
                int magnitude = code & ((1 << (bits - 1)) - 1);
                int step = steps[index[c]];
                int diff = step >> (bits - 1);
                for (int b = bits - 2; b >= 0; --b, step >>= 1)
                    if (magnitude & (1 << b)) diff += step;
                predictor[c] += (code >> (bits - 1)) ? -diff : diff;
                predictor[c] = std::clamp(predictor[c], -32768, 32767);
                index[c] = std::clamp(index[c] + tables[bits - 2][magnitude], 0, 88);
                out.push_back(static_cast<int16_t>(predictor[c]));
            }
    }
    return out;
}

double SNR(const std::vector<int16_t>& reference, const std::vector<int16_t>& test) {
    size_t n = std::min(reference.size(), test.size());
    double signal = 0, noise = 0;
    for (size_t i = 0; i < n; ++i) {
        signal += double(reference[i]) * reference[i];
        double d = double(reference[i]) - test[i];
        noise += d * d;
    }
    return noise == 0 ? 200 : 10 * std::log10(signal / noise);
}

MediaBytes Written(const std::function<void(TBitsEngine&)>& write) {
    TMemoryStream out;
    TBitsEngine be(out);
    write(be);
    be.FlushLastByte(true);
    return out.Bytes();
}

struct WaveCase {
    const char* name;
    const char* options;
    uint16_t formatTag;
    uint16_t channels;
};

const std::vector<WaveCase>& WaveCases() {
    static const std::vector<WaveCase> cases = {
        {"pcm8-mono.wav", "-c:a pcm_u8 -ac 1 -ar 11025", kWaveFormatPCM, 1},
        {"pcm8-stereo.wav", "-c:a pcm_u8 -ac 2 -ar 22050", kWaveFormatPCM, 2},
        {"pcm16-mono.wav", "-c:a pcm_s16le -ac 1 -ar 22050", kWaveFormatPCM, 1},
        {"pcm16-stereo.wav", "-c:a pcm_s16le -ac 2 -ar 44100", kWaveFormatPCM, 2},
        {"msadpcm-mono.wav", "-c:a adpcm_ms -ac 1 -ar 22050", kWaveFormatMSADPCM, 1},
        {"msadpcm-stereo.wav", "-c:a adpcm_ms -ac 2 -ar 44100", kWaveFormatMSADPCM, 2},
        {"mp3-in-wave.wav", "-c:a libmp3lame -ac 2 -b:a 96k -f wav", kWaveFormatMPEGLayer3, 2},
    };
    return cases;
}

std::string WaveFixture(const std::string& name) {
    for (const WaveCase& c : WaveCases())
        if (name == c.name) return SoundFixture(c.name, c.options, 2.3);
    return "";
}

// A movie whose only content is a stream sound: the head and one block per
// frame, as the movie writes it; ffmpeg's SWF demuxer reads such a stream.
std::string StreamSoundMovie(const std::vector<MediaBytes>& blocks, uint8_t compression, uint8_t rate, bool stereo,
                             uint16_t samplesPerFrame, const std::string& name) {
    TSWFStreamReader movie;
    movie.SetSystemCoord(true);
    movie.SetBounds(TRect{0, 0, 100, 100});
    movie.SetFrameRate(10);
    movie.SetVersion(8);
    movie.FrameCount = static_cast<uint16_t>(blocks.size());
    TBitsEngine be(movie.GetBodyStream());
    TSWFSoundStreamHead2 head;
    head.PlaybackSoundRate = head.StreamSoundRate = rate;
    head.PlaybackSoundSize = head.StreamSoundSize = true;
    head.PlaybackSoundType = head.StreamSoundType = stereo;
    head.StreamSoundCompression = compression;
    head.StreamSoundSampleCount = samplesPerFrame;
    head.WriteTag(be);
    for (const MediaBytes& data : blocks) {
        TSWFSoundStreamBlock block;
        block.StreamSoundCompression = compression;
        block.SetData(data);
        block.WriteTag(be);
        TSWFShowFrame().WriteTag(be);
    }
    TSWFEnd().WriteTag(be);
    std::string path = UniqueTemporary(FixtureDir() + "/" + name + ".swf");
    movie.SaveToFile(path);
    return path;
}

TEST(SoundReader, WaveFormatsReadLikeFfmpeg) {
    if (!HaveFfmpeg()) TW_SKIP_OR_FAIL() << "ffmpeg or ffprobe is not installed";
    for (const WaveCase& c : WaveCases()) {
        SCOPED_TRACE(c.name);
        std::string file = WaveFixture(c.name);
        ASSERT_FALSE(file.empty());
        TWaveReader reader(file);
        EXPECT_EQ(reader.FormatTag, c.formatTag);
        EXPECT_EQ(reader.Channels, c.channels);
        ProbeFigures probe = FfprobeFigures(file);
        EXPECT_EQ(reader.SampleRate, static_cast<uint32_t>(probe.sampleRate));
        EXPECT_TRUE(IsSoundFileSupported(file));
        if (c.formatTag == kWaveFormatMPEGLayer3) {
            EXPECT_EQ(reader.FrameCount, static_cast<uint32_t>(probe.packets));
            continue;
        }
        // Every sample ffmpeg decodes is counted, the last short Microsoft
        // ADPCM block included.
        EXPECT_EQ(reader.SampleCount, FfmpegPCM(file).size() / c.channels);
        EXPECT_NEAR(reader.Duration, 2.3, 0.05);
    }
}

TEST(SoundReader, MicrosoftADPCMDecodesLikeFfmpeg) {
    if (!HaveFfmpeg()) TW_SKIP_OR_FAIL() << "ffmpeg or ffprobe is not installed";
    for (const char* name : {"msadpcm-mono.wav", "msadpcm-stereo.wav"}) {
        SCOPED_TRACE(name);
        std::string file = WaveFixture(name);
        TWaveReader reader(file);
        MediaBytes bytes = ReadFileBytes(file);
        std::vector<int16_t> ours;
        for (int64_t at = reader.DataOffset; at < reader.DataOffset + reader.DataSize; at += reader.ADPCMFormat.BlockAlign) {
            size_t size = static_cast<size_t>(std::min<int64_t>(reader.ADPCMFormat.BlockAlign,
                                                                reader.DataOffset + reader.DataSize - at));
            reader.DecodeMSADPCMBlock(&bytes[static_cast<size_t>(at)], size, ours);
        }
        std::vector<int16_t> theirs = FfmpegPCM(file);
        ASSERT_EQ(ours.size(), theirs.size());
        EXPECT_TRUE(ours == theirs);

        // The whole sound as SWF ADPCM, and as stream blocks that together
        // carry the same samples.
        MediaBytes event = Written([&](TBitsEngine& be) { reader.WriteADPCMEventData(be, 4); });
        std::vector<int16_t> decoded = DecodeSWFADPCM(event, reader.Channels, reader.SampleCount);
        EXPECT_GE(SNR(theirs, decoded), 20.0);
        TSoundStreamCursor cursor = reader.StartStream();
        std::vector<int16_t> streamed;
        const uint32_t perBlock = reader.SampleRate / 12;
        while (streamed.size() < theirs.size()) {
            MediaBytes block = Written([&](TBitsEngine& be) { reader.WriteADPCMStreamBlock(be, cursor, perBlock, false, 4); });
            std::vector<int16_t> samples = DecodeSWFADPCM(block, reader.Channels, perBlock);
            streamed.insert(streamed.end(), samples.begin(), samples.end());
        }
        EXPECT_GE(SNR(theirs, streamed), 20.0);
    }
}

TEST(SoundReader, SWFADPCMOfASineDecodesBack) {
    if (!HaveFfmpeg()) TW_SKIP_OR_FAIL() << "ffmpeg or ffprobe is not installed";
    for (const char* name : {"pcm16-mono.wav", "pcm16-stereo.wav", "pcm8-stereo.wav"}) {
        std::string file = WaveFixture(name);
        TWaveReader reader(file);
        std::vector<int16_t> source = FfmpegPCM(file);
        if (reader.BitsPerSample == 8)
            for (int16_t& s : source) s = static_cast<int16_t>(s & ~0xFF);
        double previous = 0;
        for (int bits = 2; bits <= 5; ++bits) {
            SCOPED_TRACE(std::string(name) + " " + std::to_string(bits) + " bits");
            MediaBytes first = Written([&](TBitsEngine& be) { reader.WritePCMEventData(be, bits); });
            MediaBytes second = Written([&](TBitsEngine& be) { reader.WritePCMEventData(be, bits); });
            EXPECT_EQ(first, second);
            double snr = SNR(source, DecodeSWFADPCM(first, reader.Channels, reader.SampleCount));
            EXPECT_GT(snr, previous);
            previous = snr;
            if (bits == 4) {
                EXPECT_GE(snr, 20.0);
            }
        }
    }
}

// The outside judge: ffmpeg decodes our stream blocks from a movie.
TEST(SoundReader, FfmpegDecodesStreamBlocksFromAMovie) {
    if (!HaveFfmpeg()) TW_SKIP_OR_FAIL() << "ffmpeg or ffprobe is not installed";
    std::string file = WaveFixture("pcm16-stereo.wav");
    TWaveReader reader(file);
    const uint32_t perFrame = reader.SampleRate / 10;
    TSoundStreamCursor cursor = reader.StartStream();
    std::vector<MediaBytes> blocks;
    for (uint32_t done = 0; done < reader.SampleCount; done += perFrame)
        blocks.push_back(Written([&](TBitsEngine& be) {
            reader.WritePCMData(be, cursor, int64_t{perFrame} * 4, false, 4);
        }));
    std::string movie = StreamSoundMovie(blocks, 1, 3, true, static_cast<uint16_t>(perFrame), "adpcm-stream");
    std::vector<int16_t> decoded = FfmpegPCM(movie);
    std::vector<int16_t> source = FfmpegPCM(file);
    ASSERT_GE(decoded.size(), source.size());
    EXPECT_GE(SNR(source, decoded), 20.0);
    std::filesystem::remove(movie);
}

TEST(SoundReader, EveryMakeStartsTheStreamAgain) {
    if (!HaveFfmpeg()) TW_SKIP_OR_FAIL() << "ffmpeg or ffprobe is not installed";
    for (const char* name : {"pcm8-mono.wav", "msadpcm-stereo.wav"}) {
        SCOPED_TRACE(name);
        TWaveReader reader(WaveFixture(name));
        auto make = [&](int blocks) {
            TSoundStreamCursor cursor = reader.StartStream();
            MediaBytes all;
            for (int i = 0; i < blocks; ++i) {
                MediaBytes block = Written([&](TBitsEngine& be) {
                    if (reader.FormatTag == kWaveFormatPCM)
                        reader.WritePCMData(be, cursor, 1000, true, 4);
                    else
                        reader.WriteADPCMStreamBlock(be, cursor, 1000, true, 4);
                });
                all.insert(all.end(), block.begin(), block.end());
            }
            return all;
        };
        MediaBytes first = make(40);
        // An event sound written between the makes does not move the stream.
        Written([&](TBitsEngine& be) {
            if (reader.FormatTag == kWaveFormatPCM)
                reader.WritePCMEventData(be, 4);
            else
                reader.WriteADPCMEventData(be, 4);
        });
        EXPECT_EQ(make(40), first);
    }
}

TEST(SoundReader, PCMBlocksAtTheEndLoopOrFallSilent) {
    if (!HaveFfmpeg()) TW_SKIP_OR_FAIL() << "ffmpeg or ffprobe is not installed";
    TWaveReader reader(WaveFixture("pcm16-mono.wav"));
    MediaBytes file = ReadFileBytes(reader.FileName);
    auto dataAt = [&](int64_t offset, int64_t count) {
        return MediaBytes(file.begin() + static_cast<std::ptrdiff_t>(reader.DataOffset + offset),
                          file.begin() + static_cast<std::ptrdiff_t>(reader.DataOffset + offset + count));
    };
    TSoundStreamCursor cursor = reader.StartStream();
    cursor.ReadPos = reader.DataOffset + reader.DataSize - 6;
    MediaBytes silent = Written([&](TBitsEngine& be) { reader.WritePCMData(be, cursor, 10, false, 0); });
    MediaBytes expected = dataAt(reader.DataSize - 6, 6);
    expected.resize(10, 0);
    EXPECT_EQ(silent, expected);

    cursor.ReadPos = reader.DataOffset + reader.DataSize - 6;
    MediaBytes looped = Written([&](TBitsEngine& be) { reader.WritePCMData(be, cursor, 10, true, 0); });
    expected = dataAt(reader.DataSize - 6, 6);
    MediaBytes start = dataAt(0, 4);
    expected.insert(expected.end(), start.begin(), start.end());
    EXPECT_EQ(looped, expected);
    EXPECT_EQ(cursor.ReadPos, reader.DataOffset + 4);
}

TEST(SoundReader, ADPCMPacketsAndCodeLimits) {
    // 4097 mono samples at 4 bits: header, a packet of 4096 samples, and a
    // packet of one initial sample and index, then padding.
    std::vector<int16_t> samples(4097);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<int16_t>(8000 * std::sin(i * 0.05));
    MediaBytes data = Written([&](TBitsEngine& be) {
        TWaveReader::EncodeSWFADPCM(be, samples.data(), samples.size(), 1, 4, false, true);
    });
    EXPECT_EQ(data.size(), (2 + 22 + 4095 * 4 + 22 + 7) / 8u);
    std::vector<int16_t> decoded = DecodeSWFADPCM(data, 1, samples.size());
    EXPECT_EQ(decoded[4096], samples[4096]);
    EXPECT_GE(SNR(samples, decoded), 20.0);

    // A full-scale square wave drives the predictor to the rails and the
    // index to its top: both stop there (our decoder, which clamps the same
    // way, follows the encoder's own predictor to the sample).
    std::vector<int16_t> square(3000);
    for (size_t i = 0; i < square.size(); ++i) square[i] = (i / 50) % 2 ? 32767 : -32768;
    for (int bits = 2; bits <= 5; ++bits) {
        MediaBytes coded = Written([&](TBitsEngine& be) {
            TWaveReader::EncodeSWFADPCM(be, square.data(), square.size(), 1, bits, false, true);
        });
        std::vector<int16_t> back = DecodeSWFADPCM(coded, 1, square.size());
        EXPECT_EQ(*std::max_element(back.begin(), back.end()), 32767) << bits;
        EXPECT_EQ(*std::min_element(back.begin(), back.end()), -32768) << bits;
    }
    EXPECT_THROW(Written([&](TBitsEngine& be) { TWaveReader::EncodeSWFADPCM(be, samples.data(), 1, 1, 6, false, true); }),
                 Exception);
}

TEST(SoundReader, MPEGFramesFromMP3AndWaveFiles) {
    if (!HaveFfmpeg()) TW_SKIP_OR_FAIL() << "ffmpeg or ffprobe is not installed";
    for (const char* name : {"mp3-in-wave.wav", "cbr.mp3"}) {
        SCOPED_TRACE(name);
        std::string file = std::string(name) == "cbr.mp3"
                               ? SoundFixture(name, "-c:a libmp3lame -b:a 128k -id3v2_version 3 -metadata title=x", 2.3)
                               : WaveFixture(name);
        TWaveReader reader(file);
        ASSERT_GT(reader.FrameCount, 0u);
        EXPECT_EQ(reader.SamplesPerFrame, 1152);
        // The event data is every audio frame, unchanged: as an MP3 file of
        // its own, ffprobe finds the same frames in it.
        MediaBytes frames = Written([&](TBitsEngine& be) { reader.WriteMP3EventData(be); });
        std::string alone = UniqueTemporary(FixtureDir() + "/frames.mp3");
        WriteFileBytes(alone, frames.data(), frames.size());
        EXPECT_EQ(FfprobeFigures(alone).packets, static_cast<long>(reader.FrameCount));
        std::filesystem::remove(alone);

        // Stream blocks: frame by frame; past the end silence of FrameSize
        // per frame, or with loop the first frames again.
        uint32_t index = 0;
        MediaBytes streamed;
        while (streamed.size() < frames.size()) {
            MediaBytes block = Written([&](TBitsEngine& be) { index = reader.WriteMP3Frames(be, index, false, 3); });
            streamed.insert(streamed.end(), block.begin(), block.end());
        }
        ASSERT_GE(streamed.size(), frames.size());
        EXPECT_TRUE(std::equal(frames.begin(), frames.end(), streamed.begin()));
        MediaBytes after = Written([&](TBitsEngine& be) { index = reader.WriteMP3Frames(be, index, false, 2); });
        EXPECT_EQ(after, MediaBytes(size_t{2} * reader.FrameSize, 0));
        MediaBytes again = Written([&](TBitsEngine& be) { index = reader.WriteMP3Frames(be, index, true, 1); });
        EXPECT_TRUE(std::equal(again.begin(), again.end(), frames.begin()));
    }
}

TEST(SoundReader, SupportCheckAndDamagedFiles) {
    if (!HaveFfmpeg() || !HaveImageMagick()) TW_SKIP_OR_FAIL() << "ffmpeg, ffprobe or ImageMagick is not installed";
    std::string dir = FixtureDir();
    std::string renamedWave = UniqueTemporary(dir + "/picture.wav"), renamedMp3 = UniqueTemporary(dir + "/picture.mp3");
    std::filesystem::copy_file(PictureSource(), renamedWave);
    std::filesystem::copy_file(PictureSource(), renamedMp3);
    std::string deep = SoundFixture("pcm24.wav", "-c:a pcm_s24le", 0.5);
    std::string surround = SoundFixture("pcm16-6ch.wav", "-c:a pcm_s16le -ac 6", 0.5);
    struct {
        std::string file;
        bool supported;
    } cases[] = {
        {WaveFixture("pcm8-mono.wav"), true},    {WaveFixture("msadpcm-mono.wav"), true},
        {WaveFixture("mp3-in-wave.wav"), true},  {renamedWave, false},
        {renamedMp3, false},                     {deep, false},
        {surround, false},                       {dir + "/no-such-file.wav", false},
        {PictureSource(), false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsSoundFileSupported(c.file), c.supported) << c.file;
    std::filesystem::remove(renamedWave);
    std::filesystem::remove(renamedMp3);

    // Cut short or changed at random: a clear error or a sound, never more.
    uint32_t state = 77;
    for (const char* name : {"pcm16-stereo.wav", "msadpcm-stereo.wav", "mp3-in-wave.wav"}) {
        MediaBytes bytes = ReadFileBytes(WaveFixture(name));
        for (int round = 0; round < 60; ++round) {
            MediaBytes damaged = bytes;
            if (round % 3 == 0) {
                state = state * 1664525 + 1013904223;
                damaged.resize((state >> 8) % bytes.size());
            } else {
                for (int k = 0; k < 6; ++k) {
                    state = state * 1664525 + 1013904223;
                    damaged[(state >> 8) % (round % 3 == 1 ? 120 : damaged.size())] = static_cast<uint8_t>(state >> 3);
                }
            }
            std::string path = UniqueTemporary(dir + "/damaged.wav");
            WriteFileBytes(path, damaged.data(), damaged.size());
            try {
                IsSoundFileSupported(path);
                TWaveReader reader(path);
                TSoundStreamCursor cursor = reader.StartStream();
                Written([&](TBitsEngine& be) {
                    switch (reader.FormatTag) {
                        case kWaveFormatPCM:
                            reader.WritePCMEventData(be, 4);
                            for (int i = 0; i < 5; ++i) reader.WritePCMData(be, cursor, 4410, true, 4);
                            break;
                        case kWaveFormatMSADPCM:
                            reader.WriteADPCMEventData(be, 4);
                            for (int i = 0; i < 5; ++i) reader.WriteADPCMStreamBlock(be, cursor, 4410, true, 3);
                            break;
                        case kWaveFormatMPEGLayer3:
                            reader.WriteMP3EventData(be);
                            reader.WriteMP3Frames(be, 0, true, 100);
                            break;
                        default: break;
                    }
                });
            } catch (const Exception&) {
            }
            std::filesystem::remove(path);
        }
    }
}

}  // namespace
