// The image library's GIF codec: its LZW coder round trip and refusals,
// files made by ImageMagick and gifsicle (interlaced, transparent, local
// palettes, animations with every disposal) decoded as ImageMagick coalesces
// them, our files judged by ImageMagick and gifsicle, frame counting and
// dropping, and damaged files refused without a crash.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_mask.h"
#include "imaging/core/tests/tool_support.h"
#include "imaging/io/ie_gif.h"
#include "imaging/io/ie_gif_lzw.h"
#include "imaging/io/ie_vidurer_io.h"
#include "imaging/io/tests/rgba_support.h"

using namespace imaging_test;

namespace {

std::vector<uint8_t> Noise(size_t count, int limit, uint32_t seed) {
    std::vector<uint8_t> out(count);
    for (auto& v : out) {
        seed = seed * 1103515245u + 12345u;
        v = static_cast<uint8_t>((seed >> 16) % static_cast<uint32_t>(limit));
    }
    return out;
}

struct TReadResult {
    bool ok = false;
    int32_t frames = 0;
    std::unique_ptr<TIEMask> mask;
};

TReadResult ReadFrame(const std::vector<uint8_t>& bytes, TIEBitmap& bitmap, TIOParamsVals& params, int index = 0) {
    IEInitIOUnit();
    TReadResult result;
    TMemoryStream stream(bytes);
    bool aborted = false;
    TIEProgressRec progress;
    progress.AbortFlag = &aborted;
    params.GifImageIndex = index;
    IEReadGIFStream(stream, bitmap, result.frames, params, progress, false, result.mask, false);
    result.ok = !aborted;
    return result;
}

std::vector<uint8_t> WriteGif(TIEBitmap& bitmap, TIOParamsVals& params) {
    IEInitIOUnit();
    TMemoryStream stream;
    bool aborted = false;
    TIEProgressRec progress;
    progress.AbortFlag = &aborted;
    IEWriteGIFStream(stream, bitmap, params, progress);
    EXPECT_FALSE(aborted);
    return stream.Bytes();
}

// Frame `index` as the component composes it.
bool LoadComposed(const std::filesystem::path& file, int index, TIEBitmap& bitmap) {
    IEInitIOUnit();
    TVidurErIO io;
    io.SetAttachedIEBitmap(&bitmap);
    io.ImageParams.GifImageIndex = index;
    io.LoadFromFile(file.string());
    return !io.AbortFlag;
}

// Pixels equal where ImageMagick shows them; where it is transparent, ours is too.
void ExpectSamePicture(const std::vector<uint8_t>& ours, const std::vector<uint8_t>& magick, const std::string& what) {
    ASSERT_EQ(ours.size(), magick.size()) << what;
    size_t differences = 0;
    for (size_t i = 0; i < ours.size(); i += 4) {
        const bool clear = magick[i + 3] == 0;
        if (clear ? ours[i + 3] != 0
                  : (ours[i] != magick[i] || ours[i + 1] != magick[i + 1] || ours[i + 2] != magick[i + 2] ||
                     ours[i + 3] != 255))
            ++differences;
    }
    EXPECT_EQ(differences, 0u) << what;
}

}  // namespace

TEST(GifLzw, RoundTripsEveryShapeAndDepth) {
    struct Case {
        int width, height, bits;
        bool interlaced;
    } cases[] = {{1, 1, 1, false}, {7, 1, 1, true},   {5, 2, 2, true},    {5, 3, 3, true},
                 {5, 4, 4, true},  {9, 9, 8, true},   {300, 200, 8, false}, {257, 131, 5, true},
                 {640, 480, 8, false}};
    for (const Case& c : cases) {
        const auto pixels = Noise(static_cast<size_t>(c.width) * c.height, 1 << c.bits, c.width * 31u + c.bits);
        TMemoryStream stream;
        IEGIFLZWCompress(stream, c.height, c.width, c.interlaced, pixels.data(), c.bits);
        const std::vector<uint8_t>& bytes = stream.Bytes();
        EXPECT_EQ(bytes[0], std::max(c.bits, 2)) << c.width << "x" << c.height;
        // Sub-blocks of 254 bytes, the last one shorter, then the terminator.
        size_t at = 1;
        while (bytes.at(at) != 0) {
            const size_t length = bytes[at];
            at += 1 + length;
            if (bytes.at(at) != 0) {
                EXPECT_EQ(length, 254u);
            }
        }
        EXPECT_EQ(at + 1, bytes.size());
        std::vector<uint8_t> decoded(pixels.size(), 0xEE);
        stream.SetPosition(0);
        IEGIFLZWDecompress(stream, c.height, c.width, c.interlaced, decoded.data());
        EXPECT_EQ(stream.GetPosition(), stream.GetSize()) << c.width << "x" << c.height;
        EXPECT_EQ(decoded, pixels) << c.width << "x" << c.height << " bits " << c.bits;
    }
}

TEST(GifLzw, DecoderRefusesBadDataByRewinding) {
    std::vector<uint8_t> pixels(16, 0);
    // Minimum code size 1 and 10; a code above the next free code (7 at 3
    // bits right after the clear code 4 with next code 6).
    const std::vector<std::vector<uint8_t>> refused = {{1, 1, 0x00, 0}, {10, 1, 0x00, 0}, {2, 2, 0xCC, 0x01, 0}};
    for (const auto& data : refused) {
        TMemoryStream stream(data);
        IEGIFLZWDecompress(stream, 4, 4, false, pixels.data());
        EXPECT_EQ(stream.GetPosition(), 0) << int(data[0]);
    }
    // Codes that end without an end code keep what they gave: clear, 1, 1.
    TMemoryStream open(std::vector<uint8_t>{2, 2, 0x4C, 0x00, 0});
    std::vector<uint8_t> out(4, 9);
    IEGIFLZWDecompress(open, 2, 2, false, out.data());
    EXPECT_GT(open.GetPosition(), 0);
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(out[1], 1);
}

TEST(GifLzw, CodesAfterAFullTableWithoutAClearStillDecode) {
    // Minimum code size 2: a clear code, then literal zeros until the table
    // holds 4096 entries, two more zeros at 12 bits without a clear (legal:
    // the encoder may keep using the full table), then the end code.
    std::vector<uint8_t> codes;
    uint32_t bucket = 0;
    int bits = 0, size = 3, next = 6, pixels = 0;
    auto put = [&](int code) {
        bucket |= static_cast<uint32_t>(code) << bits;
        bits += size;
        while (bits >= 8) {
            codes.push_back(static_cast<uint8_t>(bucket));
            bucket >>= 8;
            bits -= 8;
        }
    };
    put(4);
    put(0);
    ++pixels;
    while (next < 4096) {
        put(0);
        ++pixels;
        ++next;
        if (next == (1 << size) && size < 12) ++size;
    }
    put(0);
    put(0);
    pixels += 2;
    put(5);
    if (bits > 0) codes.push_back(static_cast<uint8_t>(bucket));
    std::vector<uint8_t> data = {2};
    for (size_t at = 0; at < codes.size(); at += 254) {
        const size_t length = std::min<size_t>(254, codes.size() - at);
        data.push_back(static_cast<uint8_t>(length));
        data.insert(data.end(), codes.begin() + static_cast<std::ptrdiff_t>(at),
                    codes.begin() + static_cast<std::ptrdiff_t>(at + length));
    }
    data.push_back(0);
    std::vector<uint8_t> out(static_cast<size_t>(pixels), 7);
    TMemoryStream stream(data);
    IEGIFLZWDecompress(stream, 1, pixels, false, out.data());
    EXPECT_EQ(stream.GetPosition(), stream.GetSize()) << "decoded, not refused";
    EXPECT_EQ(std::count(out.begin(), out.end(), 0), pixels);
}

TEST(Gif, ToolsReadsImageMagickAndGifsicleFilesAsImageMagickCoalescesThem) {
    REQUIRE_TOOL("convert");
    REQUIRE_TOOL("gifsicle");
    const auto folder = FixtureFolder("gif_read");
    auto path = [&](const std::string& name) { return (folder / name).string(); };
    auto run = [&](const std::string& command) {
        int status = 0;
        RunCommand(command + " 2>&1", &status);
        ASSERT_EQ(status, 0) << command;
    };
    run("convert -size 37x23 gradient:yellow-navy -colors 60 " + path("global.gif"));
    run("convert -size 37x23 gradient:red-green -colors 90 -interlace GIF " + path("interlaced.gif"));
    run("convert -size 30x20 xc:none -fill red -draw 'circle 15,10 15,3' " + path("transparent.gif"));
    run("convert -size 19x9 pattern:checkerboard -monochrome " + path("twotone.gif"));
    // Frames for an animation with a local table per frame and each disposal.
    run("convert -size 40x30 gradient:white-blue -colors 40 " + path("f0.gif"));
    run("convert -size 16x12 xc:red -fill blue -draw 'rectangle 4,4 9,9' -transparent blue " + path("f1.gif"));
    run("convert -size 10x8 gradient:green-yellow -colors 20 " + path("f2.gif"));
    run("convert -size 12x10 gradient:magenta-black -colors 12 " + path("f3.gif"));
    run("convert -size 14x6 xc:orange " + path("f4.gif"));
    run("gifsicle -m --disposal none " + path("f0.gif") + " --disposal background --position 5,4 " + path("f1.gif") +
        " --disposal previous --position 20,10 " + path("f2.gif") + " --disposal asis --interlace --position 2,15 " +
        path("f3.gif") + " --disposal background --position 24,1 " + path("f4.gif") + " -o " + path("anim.gif"));
    run("convert -delay 5 -dispose Background -size 24x16 gradient:red-blue -size 24x16 gradient:green-black "
        "-loop 0 " + path("magick_anim.gif"));

    struct File {
        std::string name;
        int frames;
    } files[] = {{"global.gif", 1}, {"interlaced.gif", 1}, {"transparent.gif", 1}, {"twotone.gif", 1},
                 {"anim.gif", 5},   {"magick_anim.gif", 2}};
    for (const File& file : files) {
        const std::filesystem::path gif = folder / file.name;
        EXPECT_EQ(IEGIFFrameCount(gif.string(), -1, false), file.frames) << file.name;
        const std::string identify = RunCommand("identify '" + gif.string() + "' | wc -l");
        EXPECT_EQ(std::stoi(identify), file.frames) << file.name;
        // Every frame after disposal against ImageMagick's coalesced frames.
        const std::string all = RunCommand("convert '" + gif.string() + "' -coalesce -depth 8 rgba:- 2>/dev/null");
        const std::vector<uint8_t> magick(all.begin(), all.end());
        for (int frame = 0; frame < file.frames; ++frame) {
            TIEBitmap bitmap;
            ASSERT_TRUE(LoadComposed(gif, frame, bitmap)) << file.name << " frame " << frame;
            const std::vector<uint8_t> ours = OurRGBA(bitmap);
            ASSERT_EQ(magick.size(), ours.size() * file.frames) << file.name;
            const std::vector<uint8_t> theirs(magick.begin() + static_cast<std::ptrdiff_t>(ours.size()) * frame,
                                              magick.begin() + static_cast<std::ptrdiff_t>(ours.size()) * (frame + 1));
            ExpectSamePicture(ours, theirs, file.name + " frame " + std::to_string(frame));
        }
    }

    // What the codec itself reports of a frame: its own size, place, table,
    // transparency and the two-tone format.
    TIEBitmap frame;
    TIOParamsVals params;
    TReadResult read = ReadFrame(ReadBytes(folder / "anim.gif"), frame, params, 1);
    ASSERT_TRUE(read.ok);
    EXPECT_EQ(read.frames, 5);
    EXPECT_EQ(params.GifImageCount, 5);
    EXPECT_EQ(frame.GetWidth(), 16);
    EXPECT_EQ(params.GifXPos, 5);
    EXPECT_EQ(params.GifYPos, 4);
    EXPECT_EQ(params.GifWinWidth, 40);
    EXPECT_EQ(params.GifAction, 2);
    EXPECT_TRUE(params.GifFlagTranspColor);
    ASSERT_TRUE(read.mask);
    EXPECT_EQ(read.mask->GetPixel(5, 5), 0);
    EXPECT_EQ(read.mask->GetPixel(0, 0), 255);
    read = ReadFrame(ReadBytes(folder / "anim.gif"), frame, params, 3);
    EXPECT_TRUE(params.GifInterlaced);
    EXPECT_EQ(params.GifAction, 1);
    TIEBitmap twoTone;
    ReadFrame(ReadBytes(folder / "twotone.gif"), twoTone, params);
    EXPECT_EQ(twoTone.GetPixelFormat(), ie1g);
    TIEBitmap native;
    params.NativePixelFormat = true;
    read = ReadFrame(ReadBytes(folder / "global.gif"), native, params);
    EXPECT_EQ(native.GetPixelFormat(), ie8p);
    EXPECT_FALSE(read.mask) << "no transparent pixel, no mask";
    // An index past the last frame leaves the bitmap alone and still counts.
    TIEBitmap untouched(3, 3, ie24RGB);
    read = ReadFrame(ReadBytes(folder / "global.gif"), untouched, params, 4);
    EXPECT_TRUE(read.ok);
    EXPECT_EQ(untouched.GetWidth(), 3);
    EXPECT_EQ(params.GifImageCount, 1);
}

TEST(Gif, ToolsOurFilesReadBackAlikeInImageMagickAndGifsicle) {
    REQUIRE_TOOL("convert");
    REQUIRE_TOOL("gifsicle");
    const auto folder = FixtureFolder("gif_write");
    // 200 colours with a transparent corner; the same opaque at 1 bit; interlaced.
    TIEBitmap colour(53, 41, ie24RGB);
    for (int y = 0; y < 41; ++y)
        for (int x = 0; x < 53; ++x)
            colour.SetPixelTRGB(x, y, TRGB{static_cast<uint8_t>((x + y) % 10 * 25), static_cast<uint8_t>(y % 4 * 60),
                                           static_cast<uint8_t>(x % 5 * 50)});
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 9; ++x) colour.SetAlpha(x, y, 0);
    struct Case {
        const char* name;
        int bits;
        bool interlaced, alpha;
    } cases[] = {{"alpha8.gif", 8, false, true}, {"interlaced8.gif", 8, true, false}, {"mono.gif", 1, false, false}};
    for (const Case& c : cases) {
        TIEBitmap source;
        source.Assign(colour);
        if (!c.alpha) source.RemoveAlphaChannel(false, clWhite);
        if (c.bits == 1) source.ConvertToPixelFormat(ie1g);
        TIOParamsVals params;
        params.BitsPerSample = c.bits;
        params.GifInterlaced = c.interlaced;
        params.GifComments = {"made here", ""};
        const std::vector<uint8_t> bytes = WriteGif(source, params);
        const auto file = folder / c.name;
        WriteBytes(file, bytes.data(), bytes.size());
        int status = 0;
        const std::string info = RunCommand("gifsicle --info '" + file.string() + "' 2>&1", &status);
        EXPECT_EQ(status, 0) << info;
        EXPECT_NE(info.find("made here"), std::string::npos) << info;
        EXPECT_EQ(info.find("interlaced") != std::string::npos, c.interlaced) << info;
        ExpectSamePicture(OurRGBA(source), MagickRGBA(file), c.name);
        // And our reader agrees with the component's writer output.
        TIEBitmap back;
        ASSERT_TRUE(LoadComposed(file, 0, back));
        ExpectSamePicture(OurRGBA(back), MagickRGBA(file), std::string(c.name) + " read back");
    }
    // The reserved entry: 255 usable colours, the last one transparent.
    TIOParamsVals params;
    const std::vector<uint8_t> bytes = WriteGif(colour, params);
    EXPECT_EQ(bytes[10], 0xF7);
    const size_t control = 13 + 768;
    ASSERT_EQ(bytes[control], 0x21);
    EXPECT_EQ(bytes[control + 3] & 1, 1);
    EXPECT_EQ(bytes[control + 6], 255);
}

TEST(Gif, FrameCountDropsAFrameAndRewritesOnlyWholeFiles) {
    const auto folder = FixtureFolder("gif_count");
    // Three frames written by our writer, glued: header of the first, then
    // the frame blocks of each.
    std::vector<uint8_t> file;
    for (int i = 0; i < 3; ++i) {
        TIEBitmap bitmap(4, 3, ie24RGB);
        bitmap.Fill(static_cast<double>(0x000010 * (i + 1)));
        TIOParamsVals params;
        params.GifDelayTime = 10 * (i + 1);
        std::vector<uint8_t> one = WriteGif(bitmap, params);
        one.pop_back();  // the trailer
        file.insert(file.end(), one.begin() + (i == 0 ? 0 : 13 + 768), one.end());
    }
    file.push_back(0x3B);
    const auto path = folder / "three.gif";
    WriteBytes(path, file.data(), file.size());
    EXPECT_EQ(IEGIFFrameCount(path.string(), -1, false), 3);
    EXPECT_EQ(IEGIFFrameCount(path.string(), 1, true), 2);
    EXPECT_EQ(IEGIFFrameCount(path.string(), -1, false), 2);
    TIEBitmap bitmap;
    TIOParamsVals params;
    ReadFrame(ReadBytes(path), bitmap, params, 1);
    EXPECT_EQ(params.GifDelayTime, 30) << "the third frame moved up with its own control block";
    // A cut file is counted but never rewritten; other files count 0.
    const auto cut = folder / "cut.gif";
    WriteBytes(cut, file.data(), file.size() - 40);
    const std::vector<uint8_t> before = ReadBytes(cut);
    IEGIFFrameCount(cut.string(), 0, true);
    EXPECT_EQ(ReadBytes(cut), before);
    WriteBytes(folder / "not.gif", "PNG", 3);
    EXPECT_EQ(IEGIFFrameCount((folder / "not.gif").string(), -1, false), 0);
    EXPECT_EQ(IEGIFFrameCount((folder / "missing.gif").string(), -1, false), 0);
}

TEST(Gif, DamagedFilesAreRefusedWithTheAbortFlag) {
    TIEBitmap good(30, 20, ie24RGB);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 30; ++x) good.SetPixelTRGB(x, y, TRGB{static_cast<uint8_t>(x * 8), static_cast<uint8_t>(y * 12), 7});
    TIOParamsVals params;
    const std::vector<uint8_t> bytes = WriteGif(good, params);
    auto damaged = [&](size_t keep) { return std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(keep)); };
    std::vector<uint8_t> badSignature = bytes;
    badSignature[0] = 'X';
    std::vector<uint8_t> badCodeSize = bytes;
    badCodeSize[13 + 768 + 8 + 10] = 12;
    std::vector<uint8_t> hugeFrame = bytes;
    hugeFrame[13 + 768 + 8 + 5] = hugeFrame[13 + 768 + 8 + 6] = 0xFF;
    hugeFrame[13 + 768 + 8 + 7] = hugeFrame[13 + 768 + 8 + 8] = 0xFF;
    for (const auto& data : {badSignature, damaged(5), damaged(13 + 768), badCodeSize, hugeFrame}) {
        TIEBitmap bitmap;
        TIOParamsVals p;
        EXPECT_FALSE(ReadFrame(data, bitmap, p).ok) << data.size();
    }
    const auto folder = FixtureFolder("gif_damaged");
    // A small frame far out on a huge logical screen is refused before the
    // screen is allocated.
    std::vector<uint8_t> hugeScreen = bytes;
    hugeScreen[6] = hugeScreen[7] = hugeScreen[8] = hugeScreen[9] = 0xFF;
    hugeScreen[13 + 768 + 8 + 1] = 100;
    WriteBytes(folder / "screen.gif", hugeScreen.data(), hugeScreen.size());
    TIEBitmap screen;
    EXPECT_FALSE(LoadComposed(folder / "screen.gif", 0, screen));
    // Through the component a file cut inside its pixel data is reported.
    const auto cut = folder / "cut.gif";
    const std::vector<uint8_t> half = damaged(bytes.size() / 2 + 400);
    WriteBytes(cut, half.data(), half.size());
    TIEBitmap bitmap;
    TVidurErIO io;
    io.SetAttachedIEBitmap(&bitmap);
    io.LoadFromFile(cut.string());
    EXPECT_TRUE(io.AbortFlag);
    EXPECT_FALSE(io.LastError().empty());
}
