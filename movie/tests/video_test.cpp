// FLV files indexed by the movie builder against ffprobe's reading of the
// same files, the VideoFrame and placement tags a placed video writes at each
// frame, and damaged FLV files and script data.
#include <gtest/gtest.h>

#include <memory>

#include "movie/flash_movie.h"
#include "movie/video.h"
#include "swf/display_tags.h"
#include "swf/reader.h"
#include "swf/video_tags.h"
#include "video_fixtures.h"

namespace {

std::unique_ptr<TFLVData> Index(const std::vector<uint8_t>& bytes) {
    return std::make_unique<TFLVData>(std::make_unique<TMemoryStream>(bytes));
}

// The tags of a written movie, frame by frame.
struct TWrittenFrames {
    std::unique_ptr<TSWFStreamReader> reader;
    std::vector<std::vector<TSWFObject*>> frames{1};
};

TWrittenFrames ReadBack(TFlashMovie& movie) {
    movie.MakeStream();
    TMemoryStream out;
    movie.SaveToStream(out);
    TMemoryStream in(out.Bytes());
    TWrittenFrames written;
    written.reader = TSWFStreamReader::CreateFromStream(in);
    written.reader->ParseTags(true, true);
    for (const auto& info : written.reader->Tags) {
        EXPECT_NE(info->TagCode, kErrorTagCode);
        if (info->TagCode == TagCodes::ShowFrame) written.frames.emplace_back();
        else written.frames.back().push_back(info->Object);
    }
    return written;
}

}  // namespace

TEST(FLVData, SizesAndFramesAsFfprobeReadsThem) {
    if (!HaveFfmpeg()) TW_SKIP_OR_FAIL() << "ffmpeg and ffprobe are not installed";
    struct TCase {
        const char* codec;
        int width, height;
        uint8_t id;
    };
    // The H.263 sizes cover a size of the table, 8-bit and 16-bit sizes.
    const TCase cases[] = {{"flv1", 160, 120, 2}, {"flv1", 352, 288, 2}, {"flv1", 200, 150, 2},
                           {"flv1", 320, 300, 2}, {"flashsv", 96, 80, 3}, {"flashsv2", 96, 80, 6}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::string(c.codec) + " " + std::to_string(c.width) + "x" + std::to_string(c.height));
        const std::string file = FlvFixture(c.codec, c.width, c.height);
        ASSERT_FALSE(file.empty()) << "ffmpeg made no " << c.codec << " file";
        const TProbedVideo probed = ProbeVideo(file);
        ASSERT_GT(probed.frames, 0);
        TFLVData flv(file);
        EXPECT_EQ(flv.Problem, "");
        EXPECT_EQ(flv.VideoCodec, c.id);
        EXPECT_EQ(flv.Width, probed.width);
        EXPECT_EQ(flv.Height, probed.height);
        EXPECT_EQ(flv.FrameCount, probed.frames);
        EXPECT_EQ(flv.FirstFrameType, 1) << "the first frame is a key frame";
        ASSERT_TRUE(flv.MetaData);
        const auto* width = flv.MetaData->GetValue(TFLVonMetaData::mdWidth);
        const auto* height = flv.MetaData->GetValue(TFLVonMetaData::mdHeight);
        const auto* rate = flv.MetaData->GetValue(TFLVonMetaData::mdFrameRate);
        const auto* codec = flv.MetaData->GetValue(TFLVonMetaData::mdVideoCodecId);
        ASSERT_TRUE(width && height && rate && codec);
        EXPECT_EQ(width->GetIntValue(), c.width);
        EXPECT_EQ(height->GetIntValue(), c.height);
        EXPECT_EQ(rate->GetIntValue(), 12);
        EXPECT_EQ(codec->GetIntValue(), c.id);
        const auto* encoder = dynamic_cast<const TFLVDataString*>(flv.MetaData->Find("encoder"));
        ASSERT_TRUE(encoder);
        EXPECT_EQ(encoder->Value.rfind("Lavf", 0), 0u) << encoder->Value;
        for (size_t i = 0; i < flv.GetVideoFrameCount(); ++i) EXPECT_GT(flv.GetVideoFrame(i).Size, 0u);
    }
}

TEST(FLVData, HandBuiltEdgeCases) {
    // An H.263 picture of size code 2 (352 x 288): start code, version 0,
    // temporal reference, then the code; nothing read beyond.
    {
        TFlvBuilder file;
        file.Tag(9, {0x12, 0x00, 0x00, 0x80, 0x01, 0x00});
        auto flv = Index(file.bytes);
        EXPECT_EQ(flv->Width, 352);
        EXPECT_EQ(flv->Height, 288);
        EXPECT_EQ(flv->FrameCount, 1);
    }
    // A VP6 file whose metadata gives the width as the text "640".
    {
        TAmf meta;
        meta.MetaHead(2).Text("width").String("640").Text("height").Number(480).End();
        TFlvBuilder file;
        file.Tag(18, meta.bytes).Tag(9, {0x14, 0x00, 0x00, 0x00, 0x01, 0x02});
        auto flv = Index(file.bytes);
        EXPECT_EQ(flv->VideoCodec, 4);
        EXPECT_EQ(flv->Width, 640);
        EXPECT_EQ(flv->Height, 480);
    }
    // A metadata array that counts 0 is read until its data is used up.
    {
        TAmf meta;
        meta.MetaHead(0).Text("duration").Number(2.5).Text("canSeekToEnd").Raw({1, 1}).Text("a").Number(1).End();
        TFlvBuilder file;
        file.Tag(18, meta.bytes);
        auto flv = Index(file.bytes);
        ASSERT_TRUE(flv->MetaData);
        EXPECT_EQ(flv->MetaData->Values.size(), 3u);
        EXPECT_EQ(flv->MetaData->GetValue(TFLVonMetaData::mdDuration)->GetIntValue(), 2) << "2.5 rounds to even";
        EXPECT_EQ(flv->MetaData->GetValue(TFLVonMetaData::mdCanSeekToEnd)->GetIntValue(), 1);
        EXPECT_EQ(flv->Problem, "");
    }
    // The key-frame index that ffmpeg writes on request.
    {
        TAmf meta;
        meta.MetaHead(1).Text("keyframes").Raw({3}).Text("filepositions").Raw({10}).DWord(2).Number(13).Number(99);
        meta.Text("times").Raw({10}).DWord(2).Number(0).Number(0.5).End().End();
        TFlvBuilder file;
        file.Tag(18, meta.bytes);
        auto flv = Index(file.bytes);
        ASSERT_TRUE(flv->MetaData);
        auto* keys = dynamic_cast<const TFLVKeyFramesObjectData*>(flv->MetaData->GetValue(TFLVonMetaData::mdKeyFrames));
        ASSERT_TRUE(keys);
        EXPECT_EQ(keys->FilePositions, (std::vector<double>{13, 99}));
        EXPECT_EQ(keys->Times, (std::vector<double>{0, 0.5}));
    }
}

TEST(FLVData, DamagedFilesAreCutWhereTheDataEnds) {
    const std::vector<uint8_t> frame = {0x13, 0x00, 0x60, 0x00, 0x50, 0xAA, 0xBB, 0xCC};
    TAmf meta;
    meta.MetaHead(2).Text("width").Number(96).Text("height").Number(80).End();
    TFlvBuilder whole;
    whole.Tag(18, meta.bytes).Tag(9, frame).Tag(9, frame);
    struct TCase {
        const char* name;
        std::vector<uint8_t> bytes;
        size_t frames;
    };
    auto cut = [&](size_t size) { return std::vector<uint8_t>(whole.bytes.begin(), whole.bytes.begin() + size); };
    // A string, a list and an array whose lengths run past the tag.
    TAmf longString;
    longString.MetaHead(1).Raw({0xFF, 0xFF}).Raw({'w', 'i', 'd', 't', 'h'});
    TAmf longList;
    longList.MetaHead(1).Text("keyframes").Raw({3}).Text("times").Raw({10}).DWord(0xFFFFFFFF).Number(1);
    TAmf deep;
    deep.MetaHead(1);
    for (int i = 0; i < 200; ++i) deep.Text("a").Raw({8}).DWord(1);
    TAmf shortValue;
    shortValue.MetaHead(1).Text("duration").Raw({0, 0x40, 0x00});
    const size_t firstVideo = 13 + 11 + meta.bytes.size() + 4;
    const std::vector<TCase> cases = {
        {"not an FLV", {'F', 'W', 'S', 1, 0, 0, 0, 0, 9}, 0},
        {"header only", cut(9), 0},
        {"inside a tag header", cut(firstVideo + 5), 0},
        {"inside the script data", cut(13 + 11 + 10), 0},
        {"inside the video data", cut(firstVideo + 11 + 3), 1},
        {"string longer than the tag", TFlvBuilder().Tag(18, longString.bytes).bytes, 0},
        {"list longer than the tag", TFlvBuilder().Tag(18, longList.bytes).bytes, 0},
        {"arrays nested deep", TFlvBuilder().Tag(18, deep.bytes).bytes, 0},
        {"number cut short", TFlvBuilder().Tag(18, shortValue.bytes).bytes, 0},
        {"tag announcing 16 MB", TFlvBuilder().Tag(9, frame, 0xFFFFFF).bytes, 1},
    };
    int n = 0;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        // Kept as the fuzzer's first inputs.
        WriteFileBytes(FixtureDir() + "/damaged-" + std::to_string(n++) + ".flv", c.bytes.data(), c.bytes.size());
        auto flv = Index(c.bytes);
        EXPECT_NE(flv->Problem, "") << "the damage is described";
        EXPECT_EQ(flv->GetVideoFrameCount(), c.frames);
        for (size_t i = 0; i < flv->GetVideoFrameCount(); ++i) {
            const TFLVVideoFrame& f = flv->GetVideoFrame(i);
            EXPECT_LE(uint64_t(f.Offset) + f.Size, c.bytes.size());
            EXPECT_EQ(flv->GetFrameData(i).size(), f.Size + 1) << "screen video keeps its type byte";
        }
    }
    EXPECT_EQ(Index(whole.bytes)->Problem, "");
    WriteFileBytes(FixtureDir() + "/hand-built.flv", whole.bytes.data(), whole.bytes.size());
}

TEST(FlashVideo, PlacedVideoWritesAFrameAtEveryFrameAndLoops) {
    // Ten screen-video frames, each with its own type byte (key, then inter).
    TFlvBuilder file;
    for (int i = 0; i < 10; ++i)
        file.Tag(9, {static_cast<uint8_t>(i == 0 ? 0x13 : 0x23), 0x00, 0x20, 0x00, 0x10, static_cast<uint8_t>(i)});
    TFlashMovie movie(0, 0, 100, 100, 12, true);
    TFlashVideo* video = movie.AddObject(std::make_unique<TFlashVideo>(&movie, Index(file.bytes)));
    video->SetCharacterId(movie.TakeCharacterId());
    movie.GetVideos().Add(video);
    EXPECT_EQ(video->RequiredVersion(), 7);
    movie.ShowFrame(3);
    TFlashPlaceVideo* placed = movie.PlaceVideo(video, 5);
    placed->SetTranslate(10, 20);
    EXPECT_EQ(placed->StartFrame, 3);
    movie.ShowFrame(12);
    TWrittenFrames written = ReadBack(movie);
    ASSERT_EQ(written.frames.size(), 16u) << "15 frames and what follows the last";

    auto* stream = dynamic_cast<TSWFDefineVideoStream*>(written.frames[0].at(0));
    ASSERT_TRUE(stream);
    EXPECT_EQ(stream->NumFrames, 10);
    EXPECT_EQ(stream->Width, 32);
    EXPECT_EQ(stream->Height, 16);
    EXPECT_EQ(stream->CodecID, 3);
    for (int f = 0; f < 3; ++f) EXPECT_EQ(written.frames[f].size(), f == 0 ? 1u : 0u) << "frame " << f;
    for (int f = 3; f < 15; ++f) {
        SCOPED_TRACE("frame " + std::to_string(f));
        ASSERT_EQ(written.frames[f].size(), 2u);
        auto* data = dynamic_cast<TSWFVideoFrame*>(written.frames[f][0]);
        auto* place = dynamic_cast<TSWFPlaceObject2*>(written.frames[f][1]);
        ASSERT_TRUE(data && place);
        const int shown = (f - 3) % 10;
        EXPECT_EQ(data->StreamID, video->GetCharacterId());
        EXPECT_EQ(data->FrameNum, shown);
        ASSERT_EQ(data->DataSize(), 6);
        EXPECT_EQ(data->Data()[0], shown == 0 ? 0x13 : 0x23) << "the frame's own type byte leads";
        EXPECT_EQ(data->Data()[5], shown);
        EXPECT_EQ(place->Depth, 5);
        EXPECT_EQ(place->PlaceFlagMove, f != 3);
        EXPECT_EQ(place->Ratio, shown);
        EXPECT_EQ(place->GetMatrix().TranslateX, 200);
    }
    EXPECT_GE(movie.Version, 7);
}

TEST(FlashVideo, FileThatCannotBeOpenedAddsNothing) {
    TFlashMovie movie(0, 0, 100, 100, 12, true);
    EXPECT_THROW(movie.AddVideo("/nonexistent/clip.flv"), Exception);
    EXPECT_EQ(movie.GetVideos().Count(), 0);
    EXPECT_EQ(movie.GetNextCharacterId(), 1);
    // A file that is no FLV: a video without frames, and a message saying so.
    const std::string text = TestScratchFolder("tw_video") + "/not-a-video.flv";
    WriteFileBytes(text, "hello", 5);
    TFlashVideo* video = movie.AddVideo(text);
    EXPECT_EQ(video->FLV().FrameCount, 0);
    EXPECT_NE(movie.GetMessages().find("not an FLV file"), std::string::npos) << movie.GetMessages();
    movie.PlaceVideo(video, 1);
    movie.ShowFrame(2);
    TWrittenFrames written = ReadBack(movie);
    ASSERT_EQ(written.frames[0].size(), 2u) << "the stream and one placement";
    EXPECT_TRUE(written.frames[1].empty());
}
