// The PNG codec against ImageMagick: its files of every colour type, depth
// and interlacing decode to its own pixels; ours pass pngcheck and decode
// the same in ImageMagick; damaged files abort cleanly.
#include <gtest/gtest.h>

#include <zlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_mask.h"
#include "imaging/core/tests/tool_support.h"
#include "imaging/io/tests/rgba_support.h"
#include "imaging/io/ie_png.h"
#include "imaging/io/ie_vidurer_io.h"

using namespace imaging_test;

namespace {

struct TRead {
    TIEBitmap bitmap;
    TIOParamsVals params;
    bool aborted = false;
};

void ReadPNG(const std::vector<uint8_t>& bytes, TRead& r, bool native = false, TIEProgressRec* progress = nullptr) {
    TMemoryStream stream(bytes);
    TIEProgressRec own;
    TIEProgressRec& p = progress ? *progress : own;
    p.AbortFlag = &r.aborted;
    r.params.NativePixelFormat = native;
    IEReadPNGStream(stream, r.bitmap, r.params, false, p);
}

// ImageMagick's 16-bit samples, each rounded to 8 bits the way libpng's
// scaling does: (v x 255 + 32895) >> 16.
std::vector<uint8_t> MagickRGBA16Scaled(const std::filesystem::path& file) {
    std::string out = RunCommand("convert '" + file.string() + "' -depth 16 -endian LSB rgba:-");
    std::vector<uint8_t> scaled;
    for (size_t i = 0; i + 1 < out.size(); i += 2) {
        const uint32_t v = static_cast<uint8_t>(out[i]) | static_cast<uint8_t>(out[i + 1]) << 8;
        scaled.push_back(static_cast<uint8_t>((v * 255 + 32895) >> 16));
    }
    return scaled;
}

int MaxDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a.size() != b.size()) return 1000;
    int worst = 0;
    for (size_t i = 0; i < a.size(); ++i) worst = std::max(worst, std::abs(a[i] - b[i]));
    return worst;
}

// Appends a chunk with its length and CRC.
void PutChunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
    const uint32_t length = static_cast<uint32_t>(data.size());
    for (int i = 3; i >= 0; --i) out.push_back(static_cast<uint8_t>(length >> (8 * i)));
    std::vector<uint8_t> body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    out.insert(out.end(), body.begin(), body.end());
    const uint32_t crc = static_cast<uint32_t>(crc32(0, body.data(), static_cast<uInt>(body.size())));
    for (int i = 3; i >= 0; --i) out.push_back(static_cast<uint8_t>(crc >> (8 * i)));
}

std::vector<uint8_t> MakePNG(uint32_t width, uint32_t height, const std::vector<uint8_t>& idat) {
    std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> ihdr;
    for (uint32_t v : {width, height})
        for (int i = 3; i >= 0; --i) ihdr.push_back(static_cast<uint8_t>(v >> (8 * i)));
    ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});  // 8-bit RGB
    PutChunk(out, "IHDR", ihdr);
    PutChunk(out, "IDAT", idat);
    PutChunk(out, "IEND", {});
    return out;
}

}  // namespace

TEST(Png, ToolsReadsEveryKindOfImageMagickFile) {
    REQUIRE_TOOL("convert");
    auto folder = FixtureFolder("png-read");
    const std::string colour = "-size 37x19 gradient:red-blue \\( -size 37x19 gradient:yellow-black \\) -append";
    const std::string gray = "-size 37x19 gradient:black-white -colorspace Gray";
    const std::string fade = " -alpha set -channel A -fx 'i/w' +channel";
    const std::string holes = " -alpha set -channel A -fx 'i<9?0:1' +channel";
    struct Case {
        const char* name;
        std::string make;
        int depth, colorType;
        bool tRNS;
    } cases[] = {
        {"gray1", gray + " -threshold 50%", 1, 0, false},
        {"gray1adam7", gray + " -threshold 50% -interlace PNG", 1, 0, false},
        {"gray1trns", gray + " -threshold 50%" + holes, 1, 0, true},
        {"gray2", gray + " -depth 2", 2, 0, false},
        {"gray4", gray + " -depth 4", 4, 0, false},
        {"gray8", gray, 8, 0, false},
        {"gray16", gray + " -depth 16", 16, 0, false},
        {"pal1", colour + " -colors 2", 1, 3, false},
        {"pal1adam7", colour + " -colors 2 -interlace PNG", 1, 3, false},
        {"pal1trns", colour + " -colors 1" + holes, 1, 3, true},
        {"pal2", colour + " -colors 4", 2, 3, false},
        {"pal2adam7", colour + " -colors 4 -interlace PNG", 2, 3, false},
        {"pal4", colour + " -colors 16", 4, 3, false},
        {"pal8", colour + " -colors 200", 8, 3, false},
        {"pal4trns", colour + holes + " -colors 12", 4, 3, true},
        {"pal8trns", colour + holes + " -colors 100", 8, 3, true},
        {"rgb8", colour, 8, 2, false},
        {"rgb16", colour + " -depth 16", 16, 2, false},
        {"graya8", gray + fade, 8, 4, false},
        {"graya16", gray + fade + " -depth 16", 16, 4, false},
        {"rgba8", colour + fade, 8, 6, false},
        {"rgba16", colour + fade + " -depth 16", 16, 6, false},
        {"rgba8adam7", colour + fade + " -interlace PNG", 8, 6, false},
        {"pal8adam7", colour + " -colors 60 -interlace PNG", 8, 3, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto file = folder / (std::string(c.name) + ".png");
        int status = 0;
        std::string command = "convert " + c.make + " -define png:bit-depth=" + std::to_string(c.depth) +
                              " -define png:color-type=" + std::to_string(c.colorType) +
                              (c.colorType == 3 ? " 'PNG8:" : " 'PNG:") + file.string() + "'";
        std::string output = RunCommand(command + " 2>&1", &status);
        ASSERT_EQ(status, 0) << command << output;
        auto bytes = ReadBytes(file);
        ASSERT_EQ(bytes[24], c.depth) << "ImageMagick made another depth";
        ASSERT_EQ(bytes[25], c.colorType) << "ImageMagick made another colour type";
        const bool hasTRNS = std::search(bytes.begin(), bytes.end(), std::begin("tRNS"), std::end("tRNS") - 1) != bytes.end();
        ASSERT_EQ(hasTRNS, c.tRNS);

        TRead r;
        int reports = 0, last = -1;
        TIEProgressRec progress;
        progress.OnProgress = [&](void*, int percent) {
            ++reports;
            EXPECT_GE(percent, last);
            last = percent;
        };
        ReadPNG(bytes, r, false, &progress);
        ASSERT_FALSE(r.aborted);
        EXPECT_EQ(last, 100);
        EXPECT_EQ(r.params.PngInterlaced, std::string(c.name).find("adam7") != std::string::npos);
        EXPECT_EQ(r.bitmap.GetPixelFormat(), c.depth == 1 && c.colorType == 0 && !c.tRNS ? ie1g : ie24RGB);
        EXPECT_EQ(r.bitmap.GetHasAlphaChannel(), c.tRNS || (c.colorType & 4) != 0);
        EXPECT_EQ(r.params.BitsPerSample, c.depth);
        const int samples[] = {1, 0, 3, 1, 2, 0, 4};
        EXPECT_EQ(r.params.SamplesPerPixel, samples[c.colorType]);
        // 16-bit samples: ImageMagick's own, rounded to 8 bits as libpng
        // scales them.
        const auto theirs = c.depth == 16 ? MagickRGBA16Scaled(file) : MagickRGBA(file);
        EXPECT_EQ(MaxDifference(OurRGBA(r.bitmap), theirs), 0);

        // The native path keeps palettes and 16-bit gray as they are (and
        // leaves transparency out).
        if (!c.tRNS && ((c.colorType == 3 && c.depth == 8) || (c.colorType == 0 && c.depth >= 8))) {
            TRead native;
            ReadPNG(bytes, native, true);
            EXPECT_EQ(native.bitmap.GetPixelFormat(), c.colorType == 3 ? ie8p : c.depth == 16 ? ie16g : ie8g);
            EXPECT_EQ(MaxDifference(OurRGBA(native.bitmap), theirs), 0);
        }
    }
}

TEST(Png, ToolsWrittenFilesPassPngcheckAndDecodeAlike) {
    REQUIRE_TOOL("convert");
    REQUIRE_TOOL("pngcheck");
    auto folder = FixtureFolder("png-write");
    // A colour picture with a soft alpha edge, its gray twin and a 16-bit gray.
    auto make = [](TIEPixelFormat format) {
        auto b = std::make_unique<TIEBitmap>(41, 23, format);
        for (int32_t y = 0; y < 23; ++y) {
            uint8_t* row = b->GetScanline(y);
            for (int32_t x = 0; x < 41; ++x) {
                const uint8_t v = static_cast<uint8_t>(x * 6 + y);
                if (format == ie24RGB) row[3 * x] = v, row[3 * x + 1] = static_cast<uint8_t>(y * 11), row[3 * x + 2] = static_cast<uint8_t>(255 - v);
                else if (format == ie8g) row[x] = v;
                else if (format == ie16g) row[2 * x] = static_cast<uint8_t>(x * 97), row[2 * x + 1] = v;
                else if (format == ie1g && (x + y) % 3 == 0) row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
            }
        }
        return b;
    };
    TIEMask mask;
    mask.AllocateBits(41, 23, 8);
    for (int32_t y = 0; y < 23; ++y)
        for (int32_t x = 0; x < 41; ++x) mask.GetScanline(y)[x] = static_cast<uint8_t>(x < 5 ? 0 : x < 10 ? 128 : 255);
    struct Case {
        const char* name;
        TIEPixelFormat format;
        int samples, bits;
        bool withMask, interlaced;
        int colorType, depth;  // what the file must hold
        bool exact;            // pixels as written (a palette of few colours, gray, RGB)
    } cases[] = {
        {"rgba", ie24RGB, 3, 8, true, false, 6, 8, true},
        {"rgba-adam7", ie24RGB, 3, 8, true, true, 6, 8, true},
        {"rgb", ie24RGB, 3, 8, false, false, 2, 8, true},
        {"palette", ie24RGB, 1, 8, false, false, 3, 8, false},
        {"palette-4-asked", ie24RGB, 1, 4, false, false, 3, 8, false},
        {"palette-alpha", ie24RGB, 1, 8, true, false, 3, 8, false},
        {"gray", ie8g, 1, 8, false, false, 0, 8, true},
        {"gray16", ie16g, 1, 16, false, false, 0, 16, true},
        {"bilevel", ie1g, 1, 1, false, false, 0, 1, true},
        {"rgb-from-gray16", ie16g, 3, 8, false, false, 2, 8, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto bitmap = make(c.format);
        TIOParamsVals params;
        params.SamplesPerPixel = c.samples;
        params.BitsPerSample = c.bits;
        params.PngInterlaced = c.interlaced;
        params.SetDpiX(300);
        params.SetDpiY(150);
        params.PngTextKeys = {"Title"};
        params.PngTextValues = {"made here"};
        bool aborted = false;
        TIEProgressRec progress;
        progress.AbortFlag = &aborted;
        TMemoryStream stream;
        IEWritePNGStream(stream, *bitmap, params, c.withMask ? &mask : nullptr, progress);
        ASSERT_FALSE(aborted);
        auto file = folder / (std::string(c.name) + ".png");
        WriteBytes(file, stream.Memory(), static_cast<size_t>(stream.GetSize()));
        auto bytes = ReadBytes(file);
        EXPECT_EQ(bytes[24], c.depth);
        EXPECT_EQ(bytes[25], c.colorType);
        int status = 0;
        std::string check = RunCommand("pngcheck -v '" + file.string() + "' 2>&1", &status);
        EXPECT_EQ(status, 0) << check;
        EXPECT_NE(check.find("11811x5906 pixels/meter"), std::string::npos) << check;
        EXPECT_NE(check.find("Title"), std::string::npos) << check;

        // ImageMagick decodes what we meant; our reader reads it back alike.
        TRead back;
        ReadPNG(bytes, back, c.format == ie16g && c.samples == 1);
        ASSERT_FALSE(back.aborted);
        const auto magick = MagickRGBA(file);
        // 16-bit samples: ImageMagick rounds where we take the high byte.
        const int tolerance = c.format == ie16g ? 1 : 0;
        EXPECT_LE(MaxDifference(OurRGBA(back.bitmap), magick), tolerance);
        if (c.exact) {
            TIEBitmap expected;
            expected.Assign(*bitmap);
            auto want = OurRGBA(expected);
            if (c.withMask)
                for (size_t i = 0; i < want.size() / 4; ++i) want[4 * i + 3] = mask.GetScanline(static_cast<int32_t>(i / 41))[i % 41];
            EXPECT_LE(MaxDifference(magick, want), tolerance);
        } else if (c.withMask) {
            // Palette with alpha: the masked pixels are the transparent entry.
            EXPECT_EQ(magick[3], 0);
            EXPECT_EQ(magick[4 * 20 + 3], 255);
        }
        if (c.format == ie16g && c.samples == 1) {
            EXPECT_EQ(back.bitmap.GetPixelFormat(), ie16g);
            EXPECT_EQ(std::memcmp(back.bitmap.GetScanline(5), bitmap->GetScanline(5), 82), 0);  // all 16 bits
        }
    }
}

TEST(Png, ReadsParametersAndBackgroundAndAbortsCleanlyOnBadData) {
    // A 3 x 2 RGB picture of our own making, then damaged in several ways.
    TIEBitmap image(3, 2, ie24RGB);
    std::memset(image.GetScanline(0), 200, 9);
    TIOParamsVals params;
    params.SamplesPerPixel = 3;
    params.PngBackground = TRGB{10, 20, 30};
    params.SetDpiX(72);
    params.SetDpiY(72);
    bool aborted = false;
    TIEProgressRec progress;
    progress.AbortFlag = &aborted;
    TMemoryStream stream;
    IEWritePNGStream(stream, image, params, nullptr, progress);
    std::vector<uint8_t> good(stream.Memory(), stream.Memory() + stream.GetSize());

    TRead r;
    ReadPNG(good, r);
    EXPECT_FALSE(r.aborted);
    EXPECT_EQ(r.params.DpiX, 72);  // 2835 pixels per metre
    EXPECT_EQ(r.params.PngBackground, (TRGB{10, 20, 30}));  // 8-bit values read back unscaled
    EXPECT_EQ(r.params.Width, 3);

    TMemoryStream probe(good);
    EXPECT_TRUE(IEIsPNGStream(probe));
    EXPECT_EQ(probe.GetPosition(), 0);
    std::vector<uint8_t> variant = {0x89, 'P', 'N', 'G', 0, 0, 0, 0};
    TMemoryStream loose(variant);
    EXPECT_TRUE(IEIsPNGStream(loose));  // only the first four bytes count

    std::vector<uint8_t> zeros(64);
    uLongf packedSize = compressBound(64);
    std::vector<uint8_t> packed(packedSize);
    compress(packed.data(), &packedSize, zeros.data(), 64);
    packed.resize(packedSize);
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        bool aborts;
    } cases[] = {
        {"CRC error in IHDR", [&] { auto b = good; b[20] ^= 1; return b; }(), true},
        {"truncated in the data", [&] { auto b = good; b.resize(b.size() - 20); return b; }(), false},
        {"signature only", std::vector<uint8_t>(good.begin(), good.begin() + 8), false},
        {"not a PNG", std::vector<uint8_t>(40, 7), true},
        {"huge dimensions, little data", MakePNG(60000, 60000, packed), true},
        {"beyond the library's limits", MakePNG(0x7FFFFFFF, 1, packed), true},
        // A text chunk whose length claims 590 MB in a file of 60 bytes: the
        // block is refused, the data then ends early.
        {"text chunk longer than the file", [&] {
             auto b = MakePNG(3, 2, packed);
             b.resize(33);
             b.insert(b.end(), {0x23, 0x32, 0, 0x0F, 't', 'E', 'X', 't', 'T', 'i', 't', 'l', 'e', 0, 'm'});
             return b;
         }(), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TRead bad;
        ReadPNG(c.bytes, bad);
        EXPECT_EQ(bad.aborted, c.aborts);
    }

    // A refusal says what libpng found, there and through the component.
    auto damaged = good;
    damaged[20] ^= 1;
    TMemoryStream source(damaged);
    TIEBitmap bitmap;
    TIOParamsVals unused;
    bool refused = false;
    TIEProgressRec watch;
    watch.AbortFlag = &refused;
    std::string reason;
    IEReadPNGStream(source, bitmap, unused, false, watch, &reason);
    EXPECT_TRUE(refused);
    EXPECT_EQ(reason, "IHDR: CRC error");
    TVidurErIO io;
    TMemoryStream again(damaged);
    io.LoadFromStreamPNG(again);
    EXPECT_TRUE(io.AbortFlag);
    EXPECT_NE(io.LastError().find("IHDR: CRC error"), std::string::npos) << io.LastError();
}

TEST(Png, ShortWriteSetsTheAbortFlag) {
    // A stream that takes the first 100 bytes and then no more.
    class TFullDisk : public TMemoryStream {
    public:
        int64_t Write(const void* buffer, int64_t count) override {
            const int64_t room = std::max<int64_t>(0, 100 - GetSize());
            return TMemoryStream::Write(buffer, std::min(count, room));
        }
    } disk;
    TIEBitmap image(64, 64, ie24RGB);
    for (int32_t y = 0; y < 64; ++y)
        for (int32_t x = 0; x < 192; ++x) image.GetScanline(y)[x] = static_cast<uint8_t>(x * y + x);
    TIOParamsVals params;
    params.PngCompression = 0;
    bool aborted = false;
    TIEProgressRec progress;
    progress.AbortFlag = &aborted;
    EXPECT_NO_THROW(IEWritePNGStream(disk, image, params, nullptr, progress));
    EXPECT_TRUE(aborted);
}
