#include "movie/mp3_scanner.h"

#include <gtest/gtest.h>

#include <cstring>

#include "media_fixtures.h"
#include "platform/errors.h"
#include "platform/stream.h"

namespace {

struct Mp3Case {
    const char* name;
    const char* options;
    bool hasTagFrame;
};

const std::vector<Mp3Case>& Mp3Cases() {
    static const std::vector<Mp3Case> cases = {
        {"cbr-id3v2.mp3", "-c:a libmp3lame -b:a 128k -id3v2_version 3 -metadata title=x", true},
        {"vbr.mp3", "-c:a libmp3lame -q:a 4", true},
        {"mpeg2-24k.mp3", "-c:a libmp3lame -ar 24000 -b:a 64k", true},
        {"id3v1.mp3", "-c:a libmp3lame -b:a 128k -write_id3v1 1 -metadata title=x", true},
        {"mono.mp3", "-c:a libmp3lame -ac 1 -b:a 64k", true},
        {"mpeg2-mono-16k.mp3", "-c:a libmp3lame -ac 1 -ar 16000 -b:a 32k", true},
    };
    return cases;
}

// An MPEG-1 Layer III header: 128 kbit/s at 44100 Hz, joint stereo.
MediaBytes Header128(bool padding) { return {0xFF, 0xFB, static_cast<uint8_t>(padding ? 0x92 : 0x90), 0x64}; }

// frames frames of a header and zero bytes.
MediaBytes FrameRun(const MediaBytes& header, int frames) {
    MediaBytes out;
    uint16_t length = MPEGFrameLength(header.data());
    for (int i = 0; i < frames; ++i) {
        out.insert(out.end(), header.begin(), header.end());
        out.resize(out.size() + length - 4, 0);
    }
    return out;
}

TEST(MP3Scanner, FfmpegFilesCountLikeFfprobe) {
    if (!HaveFfmpeg()) TW_SKIP_OR_FAIL() << "ffmpeg or ffprobe is not installed";
    for (const Mp3Case& c : Mp3Cases()) {
        SCOPED_TRACE(c.name);
        std::string file = SoundFixture(c.name, c.options);
        ASSERT_FALSE(file.empty());
        ProbeFigures probe = FfprobeFigures(file);
        ASSERT_GT(probe.packets, 0);
        EXPECT_TRUE(TMPEGaudio().IsValidFile(file));
        TMPEGaudio mpeg;
        ASSERT_TRUE(mpeg.ReadFromFile(file));
        ASSERT_TRUE(mpeg.Header.Found);
        // ffprobe does not count the encoder's tag frame as audio; neither
        // do we, but it is listed. Its decoder drops a last frame made only
        // of the encoder's padding (MPEG-2 frames are short enough for that),
        // so the demuxed packets are the count to match; every one of them
        // is sound for a player.
        EXPECT_EQ(mpeg.GetAudioFrameCount(), static_cast<uint32_t>(probe.packets));
        EXPECT_GE(mpeg.GetAudioFrameCount(), static_cast<uint32_t>(probe.frames));
        EXPECT_LE(mpeg.GetAudioFrameCount(), static_cast<uint32_t>(probe.frames) + 1);
        EXPECT_EQ(mpeg.Frames.size(), static_cast<size_t>(probe.packets) + (c.hasTagFrame ? 1 : 0));
        EXPECT_EQ(mpeg.Frames.empty() ? true : mpeg.Frames[0].IsAudio, !c.hasTagFrame);
        EXPECT_EQ(mpeg.GetSampleRate(), static_cast<uint32_t>(probe.sampleRate));
        EXPECT_EQ(mpeg.Header.ModeID == 3 ? 1 : 2, probe.channels);
        EXPECT_TRUE(mpeg.VBR.Found);
        EXPECT_NEAR(mpeg.GetDuration(), 3.0, 0.1);
        // The frame walk stops before a trailing ID3v1 tag and covers the rest.
        const TMP3FrameInfo& last = mpeg.Frames.back();
        EXPECT_EQ(int64_t{last.Position} + last.Size + mpeg.ID3v1.Size, int64_t{mpeg.FileSize});
        if (std::string(c.name) == "id3v1.mp3") {
            EXPECT_EQ(mpeg.ID3v1.Size, 128);
        }
        if (std::string(c.name) == "cbr-id3v2.mp3") {
            EXPECT_TRUE(mpeg.ID3v2.Exists);
            EXPECT_EQ(mpeg.ID3v2.VersionID, 3);
            // The Info header's byte count includes its own frame.
            EXPECT_NEAR(mpeg.GetBitRate(), 128, 1);
        }
    }
}

TEST(MP3Scanner, FrameHeaderFigures) {
    EXPECT_EQ(MPEGFrameLength(Header128(false).data()), 417);
    EXPECT_EQ(MPEGFrameLength(Header128(true).data()), 418);
    struct {
        MediaBytes header;
        bool valid;
    } headers[] = {
        {Header128(false), true},
        {{0xFF, 0xFB, 0x00, 0x64}, false},  // free format
        {{0xFF, 0xFB, 0xF0, 0x64}, false},  // bit-rate index 15
        {{0xFF, 0xFB, 0x9C, 0x64}, false},  // sample-rate index 3
        {{0xFF, 0xEB, 0x90, 0x64}, false},  // reserved version
        {{0xFF, 0xF9, 0x90, 0x64}, false},  // reserved layer
        {{0xFF, 0xFB, 0x90, 0x66}, false},  // reserved emphasis
        {{0xFE, 0xFB, 0x90, 0x64}, false},
    };
    for (const auto& h : headers) EXPECT_EQ(IsValidMPEGFrameHeader(h.header.data()), h.valid);
    EXPECT_EQ(MPEGSamplesPerFrame(3, 1), 1152);  // MPEG-1 Layer III
    EXPECT_EQ(MPEGSamplesPerFrame(2, 1), 576);   // MPEG-2 Layer III
    EXPECT_EQ(MPEGSamplesPerFrame(0, 3), 384);   // MPEG-2.5 Layer I
    EXPECT_EQ(MPEGSampleRate(0, 2), 8000u);
}

TEST(MP3Scanner, SynthesizedStreams) {
    // A lone header not followed by another one is passed over.
    MediaBytes data(100, 0);
    MediaBytes lone = Header128(false);
    data.insert(data.begin() + 10, lone.begin(), lone.end());
    MediaBytes frames = FrameRun(Header128(false), 20);
    data.insert(data.end(), frames.begin(), frames.end());
    TMemoryStream stream(data);
    TMPEGaudio mpeg;
    ASSERT_TRUE(mpeg.ReadFromStream(stream));
    EXPECT_EQ(mpeg.Header.Position, 104);
    EXPECT_EQ(mpeg.GetFrameCount(), 20u);

    // Nothing in the first window: the middle of the audio part is searched.
    MediaBytes late(5000, 0);
    MediaBytes run = FrameRun(Header128(false), 30);
    late.insert(late.end(), run.begin(), run.end());
    TMemoryStream lateStream(late);
    ASSERT_TRUE(mpeg.ReadFromStream(lateStream));
    ASSERT_TRUE(mpeg.Header.Found);
    EXPECT_EQ(mpeg.Frames.front().Position, 5000 + int32_t{(int32_t(late.size()) / 2 - 5000 + 416) / 417} * 417);

    // An ID3v2 size beyond the file counts as 0.
    MediaBytes tagged = {'I', 'D', '3', 3, 0, 0, 0x7F, 0x7F, 0x7F, 0x7F};
    tagged.insert(tagged.end(), frames.begin(), frames.end());
    TMemoryStream taggedStream(tagged);
    ASSERT_TRUE(mpeg.ReadFromStream(taggedStream));
    EXPECT_TRUE(mpeg.ID3v2.Exists);
    EXPECT_EQ(mpeg.ID3v2.Size, 0);

    // An Info frame with flags 3 gives frames and bytes; its scale stays 0.
    MediaBytes info = FrameRun(Header128(false), 5);
    std::memcpy(&info[36], "Info", 4);
    info[36 + 7] = 3;
    info[36 + 11] = 4;                  // 4 frames
    info[36 + 14] = 0x06, info[36 + 15] = 0x84;  // 1668 bytes
    info[36 + 119] = 77;
    TMemoryStream infoStream(info);
    ASSERT_TRUE(mpeg.ReadFromStream(infoStream));
    EXPECT_TRUE(mpeg.VBR.Found);
    EXPECT_EQ(mpeg.VBR.Frames, 4);
    EXPECT_EQ(mpeg.VBR.Bytes, 1668);
    EXPECT_EQ(mpeg.VBR.Scale, 0);
    EXPECT_FALSE(mpeg.Frames[0].IsAudio);
    EXPECT_EQ(mpeg.GetAudioFrameCount(), 4u);

    // Counts do not wrap at 16 bits: 70000 frames of MPEG-2.5 at 8 kbit/s.
    MediaBytes many = FrameRun({0xFF, 0xE3, 0x18, 0xC4}, 70000);
    TMemoryStream manyStream(many);
    ASSERT_TRUE(mpeg.ReadFromStream(manyStream));
    EXPECT_EQ(mpeg.GetAudioFrameCount(), 70000u);
    EXPECT_NEAR(mpeg.GetDuration(), 70000.0 * 576 / 8000, 1e-6);
}

TEST(MP3Scanner, DamagedAndForeignFiles) {
    if (!HaveFfmpeg()) TW_SKIP_OR_FAIL() << "ffmpeg or ffprobe is not installed";
    MediaBytes bytes = ReadFileBytes(SoundFixture(Mp3Cases()[0].name, Mp3Cases()[0].options));
    uint32_t state = 5;
    for (size_t cut = 0; cut < bytes.size(); cut += 1 + cut / 3) {
        TMemoryStream in(MediaBytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut)));
        TMPEGaudio mpeg;
        EXPECT_TRUE(mpeg.ReadFromStream(in));
        for (const TMP3FrameInfo& f : mpeg.Frames) EXPECT_LT(f.Position, static_cast<int32_t>(cut));
    }
    for (int round = 0; round < 100; ++round) {
        MediaBytes damaged = bytes;
        for (int k = 0; k < 8; ++k) {
            state = state * 1664525 + 1013904223;
            damaged[(state >> 8) % (round % 2 ? damaged.size() : 64)] = static_cast<uint8_t>(state >> 2);
        }
        TMemoryStream in(damaged);
        TMPEGaudio mpeg;
        mpeg.ReadFromStream(in);
        mpeg.GetDuration();
        mpeg.GetBitRate();
    }
    if (!HaveImageMagick()) return;
    std::string png = PictureSource();
    std::string renamed = UniqueTemporary(FixtureDir() + "/picture.mp3");
    std::filesystem::copy_file(png, renamed);
    TMPEGaudio mpeg;
    EXPECT_FALSE(mpeg.IsValidFile(renamed));
    EXPECT_TRUE(mpeg.ReadFromFile(renamed));
    EXPECT_FALSE(mpeg.Header.Found);
    std::filesystem::remove(renamed);
    EXPECT_FALSE(mpeg.IsValidFile(FixtureDir() + "/no-such-file.mp3"));
}

}  // namespace
