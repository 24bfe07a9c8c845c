// Sounds of the movie builder, judged by ffmpeg: a sine made by ffmpeg goes
// into a movie as its stream sound (PCM encoded as SWF ADPCM, Microsoft
// ADPCM re-encoded, MPEG frames from MP3 and WAVE files copied) or as an
// event sound, and ffmpeg's SWF demuxer decodes it back. Beside them the
// stream's figures, its blocks frame by frame, sprites' own streams, and
// files that a movie cannot use.
#include "movie/sounds.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "media_fixtures.h"
#include "movie/flash_movie.h"
#include "movie/sprites.h"
#include "swf/control_tags.h"
#include "swf/reader.h"
#include "swf/sound_tags.h"
#include "test_util.h"

namespace {

struct SoundSource {
    const char* name;
    const char* options;
    uint8_t format;      // SWF sound format
    bool adpcm;          // written as SWF ADPCM
    uint16_t channels;
};

// 2 seconds of a 440 Hz sine each.
const std::vector<SoundSource>& Sources() {
    static const std::vector<SoundSource> sources = {
        {"movie-pcm16-mono.wav", "-c:a pcm_s16le -ac 1 -ar 22050", kSWFSoundUncompressed, true, 1},
        {"movie-pcm8-stereo.wav", "-c:a pcm_u8 -ac 2 -ar 11025", kSWFSoundUncompressed, true, 2},
        {"movie-msadpcm-stereo.wav", "-c:a adpcm_ms -ac 2 -ar 22050", kSWFSoundADPCM, true, 2},
        {"movie-mono.mp3", "-c:a libmp3lame -ac 1 -ar 22050 -b:a 64k", kSWFSoundMP3, false, 1},
        {"movie-mp3-in-wave.wav", "-c:a libmp3lame -ac 2 -ar 44100 -b:a 96k -f wav", kSWFSoundMP3, false, 2},
    };
    return sources;
}

std::string SourceFile(const SoundSource& s) { return SoundFixture(s.name, s.options, 2); }

std::string Saved(TFlashMovie& movie, const std::string& name) {
    movie.MakeStream();
    std::string path = UniqueTemporary(FixtureDir() + "/" + name + ".swf");
    movie.SaveToFile(path);
    return path;
}

double SNR(const std::vector<int16_t>& reference, const std::vector<int16_t>& test, size_t count) {
    double signal = 0, noise = 0;
    for (size_t i = 0; i < count && i < reference.size() && i < test.size(); ++i) {
        signal += double(reference[i]) * reference[i];
        double d = double(reference[i]) - test[i];
        noise += d * d;
    }
    return noise == 0 ? 200 : 10 * std::log10(signal / noise);
}

double RMS(const std::vector<int16_t>& samples) {
    double sum = 0;
    for (int16_t s : samples) sum += double(s) * s;
    return samples.empty() ? 0 : std::sqrt(sum / double(samples.size()));
}

std::string WriteTemporary(const std::string& name, const MediaBytes& bytes) {
    std::string path = UniqueTemporary(FixtureDir() + "/" + name);
    WriteFileBytes(path, bytes.data(), bytes.size());
    return path;
}

// The tag records of a body: code and body bytes.
struct Record {
    uint16_t code;
    MediaBytes body;
};

std::vector<Record> Records(const MediaBytes& bytes) {
    std::vector<Record> records;
    size_t at = 0;
    while (at + 2 <= bytes.size()) {
        uint16_t header = static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
        at += 2;
        uint32_t length = header & 0x3F;
        if (length == 0x3F) {
            length = uint32_t{bytes[at]} | uint32_t{bytes[at + 1]} << 8 | uint32_t{bytes[at + 2]} << 16 |
                     uint32_t{bytes[at + 3]} << 24;
            at += 4;
        }
        records.push_back({static_cast<uint16_t>(header >> 6),
                           MediaBytes(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                      bytes.begin() + static_cast<std::ptrdiff_t>(at + length))});
        at += length;
    }
    return records;
}

std::vector<MediaBytes> BlocksOf(const MediaBytes& body) {
    std::vector<MediaBytes> blocks;
    for (const Record& r : Records(body))
        if (r.code == 19) blocks.push_back(r.body);
    return blocks;
}

}  // namespace

// The stream sound of a movie, for every kind of source: ffmpeg decodes as
// many samples as the frames hold, ADPCM within 20 dB of the source, and a
// second make writes the same blocks.
TEST(FlashSound, StreamSoundDecodesByFfmpegInStepWithTheFrames) {
    if (!HaveFfmpeg()) TW_SKIP_OR_FAIL() << "ffmpeg or ffprobe is not installed";
    const int frames = 30;  // 2.5 s at 12 frames per second: the sound loops once
    for (const SoundSource& source : Sources()) {
        SCOPED_TRACE(source.name);
        std::string file = SourceFile(source);
        ASSERT_FALSE(file.empty());
        TFlashMovie movie(0, 0, 100, 100, 12, true);
        TFlashSound* sound = movie.GetStreamSound();
        sound->LoadFromFile(file);
        EXPECT_EQ(sound->SoundFormat, source.format);
        EXPECT_TRUE(sound->Loop);
        movie.ShowFrame(frames);
        movie.MakeStream();
        MediaBytes first = movie.GetBodyStream().Bytes();
        std::string swf = Saved(movie, "stream");
        EXPECT_EQ(movie.GetBodyStream().Bytes(), first);
        EXPECT_EQ(BlocksOf(first).size(), size_t(frames));

        std::vector<int16_t> decoded = FfmpegPCM(swf);
        std::filesystem::remove(swf);
        const size_t perBlock = sound->GetSamplesPerBlock();
        EXPECT_EQ(perBlock, sound->SampleRate / 12);
        const size_t samples = decoded.size() / source.channels;
        EXPECT_LE(std::llabs(int64_t(samples) - int64_t(frames * perBlock)), int64_t(perBlock))
            << samples << " samples for " << frames << " frames of " << perBlock;
        if (source.adpcm) {
            std::vector<int16_t> reference = FfmpegPCM(file);
            if (sound->BitsPerSample == 8)
                for (int16_t& s : reference) s = static_cast<int16_t>(s & ~0xFF);
            EXPECT_GE(SNR(reference, decoded, reference.size()), 20.0);
            // After the end the stream starts again from the beginning.
            std::vector<int16_t> looped(decoded.begin() + static_cast<std::ptrdiff_t>(reference.size()), decoded.end());
            EXPECT_GE(SNR(reference, looped, looped.size()), 20.0);
        } else {
            // Frames copied whole: as loud as the file throughout.
            EXPECT_NEAR(RMS(decoded) / RMS(FfmpegPCM(file)), 1.0, 0.05);
        }
    }
}

// Event sounds: a DefineSound that StartSound starts, for every kind of
// source, decoded by ffmpeg to the whole sound.
TEST(FlashSound, EventSoundsDecodeByFfmpeg) {
    if (!HaveFfmpeg()) TW_SKIP_OR_FAIL() << "ffmpeg or ffprobe is not installed";
    for (const SoundSource& source : Sources()) {
        for (int bits : {4, 0}) {
            if (bits == 0 && source.format != kSWFSoundUncompressed) continue;
            SCOPED_TRACE(std::string(source.name) + " ADPCM bits " + std::to_string(bits));
            std::string file = SourceFile(source);
            TFlashMovie movie(0, 0, 100, 100, 12, true);
            TFlashSound* sound = movie.AddSound(file);
            sound->SetADPCMBits(bits);
            EXPECT_EQ(movie.GetSounds().Count(), 1);
            EXPECT_NE(sound->StartSound(), nullptr);
            movie.ShowFrame();
            std::string swf = Saved(movie, "event");
            std::vector<int16_t> decoded = FfmpegPCM(swf);
            std::filesystem::remove(swf);
            std::vector<int16_t> reference = FfmpegPCM(file);
            if (sound->BitsPerSample == 8)
                for (int16_t& s : reference) s = static_cast<int16_t>(s & ~0xFF);
            if (source.format == kSWFSoundMP3) {
                EXPECT_NEAR(double(decoded.size()) / double(reference.size()), 1.0, 0.05);
                EXPECT_NEAR(RMS(decoded) / RMS(reference), 1.0, 0.05);
            } else {
                EXPECT_EQ(decoded.size(), reference.size());
                EXPECT_GE(SNR(reference, decoded, reference.size()), bits ? 20.0 : 200.0);
            }
        }
    }
}

// The figures of the stream head and the blocks, frame by frame.
TEST(FlashSound, StreamFiguresAndBlocksFrameByFrame) {
    if (!HaveFfmpeg()) TW_SKIP_OR_FAIL() << "ffmpeg or ffprobe is not installed";
    std::string pcm44 = SoundFixture("movie-pcm16-44k.wav", "-c:a pcm_s16le -ac 1 -ar 44100", 1);
    std::string pcm8 = SoundFixture("movie-pcm8-mono.wav", "-c:a pcm_u8 -ac 1 -ar 22050", 1);
    std::string mp3 = SoundFixture("movie-44k.mp3", "-c:a libmp3lame -ac 1 -ar 44100 -b:a 64k", 1);

    TFlashSound sound(nullptr, pcm44);
    EXPECT_EQ(sound.SoundRate, 3);
    EXPECT_TRUE(sound.SoundSize);
    EXPECT_FALSE(sound.SoundType);
    EXPECT_EQ(sound.RequiredVersion(), 1);
    TSWFSoundStreamHead2 head;
    sound.FillStreamHead(head, 12);
    EXPECT_EQ(head.StreamSoundSampleCount, 3675);
    EXPECT_EQ(head.StreamSoundCompression, 1);  // ADPCM, 4 bits from creation
    EXPECT_TRUE(head.StreamSoundSize);
    // Raw PCM: a block is a frame's 3675 samples of 2 bytes.
    sound.SetADPCMBits(0);
    sound.FillStreamHead(head, 12);
    EXPECT_EQ(head.StreamSoundCompression, 0);
    TMemoryStream out;
    TBitsEngine be(out);
    sound.WriteStreamBlock(be);
    std::vector<Record> records = Records(out.Bytes());
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].body.size(), 7350u);

    for (auto [given, stored] : {std::pair{1, 0}, {9, 5}, {3, 3}, {0, 0}}) {
        sound.SetADPCMBits(given);
        EXPECT_EQ(sound.GetADPCMBits(), stored) << given;
    }

    // An 8-bit mono event sound without ADPCM is written as it is: format 0,
    // 8-bit.
    {
        TFlashMovie movie(0, 0, 10, 10, 12, true);
        movie.AddSound(pcm8)->SetADPCMBits(0);
        movie.MakeStream();
        TMemoryStream file;
        movie.SaveToStream(file);
        file.SetPosition(0);
        auto reader = TSWFStreamReader::CreateFromStream(file);
        reader->ParseTags(true, true);
        auto* define = dynamic_cast<TSWFDefineSound*>(reader->GetTagInfo(0).Object);
        ASSERT_NE(define, nullptr);
        EXPECT_EQ(define->SoundFormat, 0);
        EXPECT_FALSE(define->SoundSize);
        EXPECT_EQ(define->SoundRate, 2);
        EXPECT_EQ(define->SampleCount, 22050u);
        EXPECT_EQ(define->DataSize(), 22050);
    }

    // A stream that does not loop: one block per frame while the sound
    // lasts (1 s: 12 frames of 3675 samples at 44100 Hz, 12 and a part of
    // 1837 at 22050 Hz), none after its end.
    for (auto [file, blocks] : {std::pair{pcm44, 12u}, {pcm8, 13u}}) {
        TFlashMovie movie(0, 0, 10, 10, 12, true);
        movie.GetStreamSound()->LoadFromFile(file);
        movie.GetStreamSound()->Loop = false;
        movie.ShowFrame(20);
        movie.MakeStream();
        EXPECT_EQ(BlocksOf(movie.GetBodyStream().Bytes()).size(), blocks) << file;
    }

    // MPEG frames of 1152 samples at 44100 Hz and 12 frames per second:
    // the first block takes 3 frames, the next 3 or 4, and the seek stays
    // within one frame.
    TFlashSound music(nullptr, mp3);
    EXPECT_EQ(music.SoundFormat, kSWFSoundMP3);
    EXPECT_EQ(music.MP3SamplesPerFrame, 1152);
    EXPECT_EQ(music.RequiredVersion(), 4);
    music.Loop = true;
    music.FillStreamHead(head, 12);
    EXPECT_EQ(head.StreamSoundCompression, kSWFSoundMP3);
    EXPECT_EQ(head.LatencySeek, 0);
    TMemoryStream blocks;
    TBitsEngine blockEngine(blocks);
    for (int i = 0; i < 40; ++i) music.WriteStreamBlock(blockEngine);
    int64_t total = 0;
    std::vector<Record> mp3Records = Records(blocks.Bytes());
    ASSERT_EQ(mp3Records.size(), 40u);
    for (size_t i = 0; i < mp3Records.size(); ++i) {
        const MediaBytes& body = mp3Records[i].body;
        uint16_t count = static_cast<uint16_t>(body[0] | body[1] << 8);
        int16_t seek = static_cast<int16_t>(body[2] | body[3] << 8);
        EXPECT_EQ(count % 1152, 0);
        if (i == 0) {
            EXPECT_EQ(count, 3 * 1152);
            EXPECT_EQ(seek, 0);
        } else {
            EXPECT_TRUE(count == 3 * 1152 || count == 4 * 1152) << i;
            EXPECT_EQ(seek, int64_t(i) * 3675 - total) << i;
            EXPECT_LE(std::abs(seek), 1152);
        }
        total += count;
    }
}

// MPEG audio in a WAVE file is written frame by frame whatever its format
// tag says: 0x55, or 0x50 as some writers mark Layer III too.
TEST(FlashSound, MPEGInWaveFilesOfBothTags) {
    if (!HaveFfmpeg()) TW_SKIP_OR_FAIL() << "ffmpeg or ffprobe is not installed";
    std::string file = SourceFile(Sources()[4]);
    MediaBytes bytes = ReadFileBytes(file);
    ASSERT_EQ(bytes[20] | bytes[21] << 8, 0x55);  // the format tag of the canonical header
    bytes[20] = 0x50;
    std::string tagged50 = WriteTemporary("mpeg-50.wav", bytes);
    EXPECT_TRUE(IsSoundFileSupported(tagged50));
    std::vector<int16_t> reference = FfmpegPCM(file);
    for (const std::string& wave : {file, tagged50}) {
        SCOPED_TRACE(wave);
        TFlashMovie movie(0, 0, 10, 10, 12, true);
        TFlashSound* sound = movie.GetStreamSound();
        sound->LoadFromFile(wave);
        EXPECT_EQ(sound->SoundFormat, kSWFSoundMP3);
        EXPECT_EQ(sound->RequiredVersion(), 4);
        movie.ShowFrame(24);
        std::string swf = Saved(movie, "mpeg-wave");
        std::vector<int16_t> decoded = FfmpegPCM(swf);
        std::filesystem::remove(swf);
        EXPECT_NEAR(double(decoded.size()) / 2, 24.0 * sound->GetSamplesPerBlock(), sound->GetSamplesPerBlock());
        EXPECT_NEAR(RMS(decoded) / RMS(reference), 1.0, 0.05);
    }
    std::filesystem::remove(tagged50);
}

// A long stream keeps its blocks in step past 65536 of them: no counter of
// blocks, frames or samples wraps at 16 bits.
TEST(FlashSound, LongStreamsStayInStep) {
    if (!HaveFfmpeg()) TW_SKIP_OR_FAIL() << "ffmpeg or ffprobe is not installed";
    // MPEG-2.5 Layer III at 8 kHz: 576 samples and some 70 bytes a frame.
    std::string mp3 = SoundFixture("movie-8k.mp3", "-c:a libmp3lame -ac 1 -ar 8000 -b:a 8k", 3);
    TFlashSound sound(nullptr, mp3);
    ASSERT_EQ(sound.MP3SamplesPerFrame, 576);
    sound.Loop = true;
    TSWFSoundStreamHead2 head;
    sound.FillStreamHead(head, 16);  // 500 samples a block: most blocks take one frame, some none
    TMemoryStream out;
    TBitsEngine be(out);
    const int64_t blocks = 70000;
    for (int64_t i = 0; i < blocks; ++i) sound.WriteStreamBlock(be);
    std::vector<Record> records = Records(out.Bytes());
    ASSERT_EQ(records.size(), size_t(blocks));
    int64_t total = 0, empty = 0;
    for (size_t i = 0; i < records.size(); ++i) {
        const MediaBytes& body = records[i].body;
        uint16_t count = static_cast<uint16_t>(body[0] | body[1] << 8);
        int16_t seek = static_cast<int16_t>(body[2] | body[3] << 8);
        if (i > 0 && seek != int64_t(i) * 500 - total) {
            ADD_FAILURE() << "block " << i << " seeks " << seek << " where " << int64_t(i) * 500 - total << " is due";
            break;
        }
        if (body.size() == 4) ++empty;
        total += count;
    }
    EXPECT_LE(std::llabs(blocks * 500 - total), 576);
    EXPECT_LT(empty, blocks / 5);  // a looping stream never falls silent
}

// A sprite's own stream sound: its head opens the sprite's timeline and a
// block stands before each of its frames; a copy of the sprite streams the
// same sound.
TEST(FlashSound, SpritesCarryTheirOwnStream) {
    if (!HaveFfmpeg()) TW_SKIP_OR_FAIL() << "ffmpeg or ffprobe is not installed";
    TFlashMovie movie(0, 0, 10, 10, 12, true);
    TFlashSprite* sprite = movie.AddSprite();
    sprite->GetStreamSound()->LoadFromFile(SourceFile(Sources()[0]));
    sprite->ShowFrame(5);
    TFlashSprite* copy = movie.AddSprite();
    copy->CopyFieldsFrom(*sprite);
    copy->SetCharacterId(2);
    movie.PlaceObject(sprite, 1);
    movie.ShowFrame();
    movie.MakeStream();
    TMemoryStream file;
    movie.SaveToStream(file);
    file.SetPosition(0);
    auto reader = TSWFStreamReader::CreateFromStream(file);
    reader->ParseTags(true, true);
    MediaBytes blocks[2];
    int sprites = 0;
    for (size_t i = 0; i < reader->TagCount(); ++i) {
        TSWFTagInfo& info = reader->GetTagInfo(i);
        if (info.TagCode != 39) continue;
        std::string codes;
        for (const auto& child : info.Children) {
            codes += std::to_string(child->TagCode) + " ";
            if (auto* block = dynamic_cast<TSWFSoundStreamBlock*>(child->Object))
                blocks[sprites].insert(blocks[sprites].end(), block->Data(), block->Data() + block->DataSize());
        }
        EXPECT_EQ(codes, "45 19 1 19 1 19 1 19 1 19 1 0 ");
        ++sprites;
    }
    EXPECT_EQ(sprites, 2);
    EXPECT_FALSE(blocks[0].empty());
    EXPECT_EQ(blocks[0], blocks[1]);
}

// Files that a movie cannot use raise with a message saying why, and the
// movie stays as it was; a stream sound that failed to load is left out.
TEST(FlashSound, UnusableFilesRaiseAndAddNothing) {
    if (!HaveFfmpeg()) TW_SKIP_OR_FAIL() << "ffmpeg or ffprobe is not installed";
    MediaBytes pcm = ReadFileBytes(SourceFile(Sources()[0]));
    MediaBytes adpcm = ReadFileBytes(SourceFile(Sources()[2]));
    MediaBytes mp3 = ReadFileBytes(SourceFile(Sources()[3]));
    auto cut = [](const MediaBytes& bytes, size_t size) { return MediaBytes(bytes.begin(), bytes.begin() + size); };
    auto patched = [](MediaBytes bytes, size_t at, std::initializer_list<uint8_t> values) {
        for (uint8_t v : values) bytes.at(at++) = v;
        return bytes;
    };
    MediaBytes noise(4000);
    uint32_t state = 5;
    for (uint8_t& b : noise) b = static_cast<uint8_t>((state = state * 1664525 + 1013904223) >> 24);
    std::string pcm48 = SoundFixture("movie-pcm16-48k.wav", "-c:a pcm_s16le -ac 1 -ar 48000", 0.2);
    std::string mp2 = SoundFixture("movie-mp2.wav", "-c:a mp2 -ac 1 -ar 22050 -f wav", 0.5);
    std::string mp2Raw = SoundFixture("movie-mp2.mp2", "-c:a mp2 -ac 1 -ar 22050 -f mp2", 0.5);
    struct Case {
        const char* name;
        MediaBytes bytes;
        const char* message;  // a part of it
    } cases[] = {
        {"header.wav", cut(pcm, 30), "not a WAVE or MP3 file"},
        {"ima.wav", patched(pcm, 20, {0x11, 0}), "WAVE format 17"},
        {"silent.wav", patched(pcm, 22, {0, 0}), "0 channels"},
        {"blocks.wav", patched(adpcm, 32, {4, 0}), "Microsoft ADPCM blocks"},
        {"rate.wav", ReadFileBytes(pcm48), "48000 samples per second"},
        {"layer2.wav", ReadFileBytes(mp2), "Layer 2"},
        {"layer2.mp3", ReadFileBytes(mp2Raw), "Layer 2"},
        {"header.mp3", cut(mp3, 300), "MP3"},
        {"noise.mp3", noise, "MP3"},
        {"noise.wav", noise, "not a WAVE or MP3 file"},
        {"sound.ogg", pcm, "not a WAVE or MP3 file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TFlashMovie movie(0, 0, 100, 100, 12, true);
        movie.AddSprite();
        std::string path = WriteTemporary(c.name, c.bytes);
        // The support check answers what adding the sound does.
        EXPECT_FALSE(IsSoundFileSupported(path));
        try {
            movie.AddSound(path);
            ADD_FAILURE() << "no exception";
        } catch (const Exception& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
        EXPECT_EQ(movie.GetObjectList().size(), 1u);
        EXPECT_EQ(movie.GetSounds().Count(), 0);
        EXPECT_EQ(movie.GetNextCharacterId(), 2);

        EXPECT_THROW(movie.GetStreamSound()->LoadFromFile(path), Exception);
        movie.ShowFrame(3);
        movie.MakeStream();
        EXPECT_TRUE(BlocksOf(movie.GetBodyStream().Bytes()).empty());
        for (const Record& r : Records(movie.GetBodyStream().Bytes())) EXPECT_NE(r.code, 45);
        std::filesystem::remove(path);
    }
    TFlashMovie movie(0, 0, 100, 100, 12, true);
    EXPECT_THROW(movie.AddSound(FixtureDir() + "/missing.wav"), EStreamError);
    EXPECT_THROW(movie.AddSound(FixtureDir() + "/missing.mp3"), EStreamError);
    EXPECT_EQ(movie.GetObjectList().size(), 0u);
}
