// Pictures of the movie builder, judged by tools nobody here wrote: the BMP
// layouts that ImageMagick writes go into movies as lossless bitmaps that
// ffmpeg decodes back to ImageMagick's pixels (padded rows and 15-bit
// pixels are judged by the real player, in player/images_player_test.cpp);
// JPEG files become DefineBitsJPEG2 that ffmpeg decodes close to the
// source. Beside them the layouts of the tag data, transparency, image
// fills, and damaged files.
#include "movie/images.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "media_fixtures.h"
#include "movie/flash_movie.h"
#include "movie/shapes.h"
#include "platform/jpeg.h"
#include "platform/zstream.h"
#include "swf/bitmap_tags.h"
#include "swf/reader.h"
#include "test_util.h"

namespace {

std::string SavedMovie(TFlashMovie& movie, const std::string& name) {
    movie.MakeStream();
    std::string path = UniqueTemporary(FixtureDir() + "/" + name + ".swf");
    movie.SaveToFile(path);
    return path;
}

// ffmpeg's decoding of every bitmap of a movie (its SWF demuxer gives them
// as the frames of one video stream), as RGBA frames of frameBytes each.
std::vector<MediaBytes> FfmpegBitmaps(const std::string& swf, size_t frameBytes) {
    MediaBytes out;
    CaptureOutput("ffmpeg -nostdin -v error -i '" + swf + "' -vsync 0 -f rawvideo -pix_fmt rgba -", out);
    std::vector<MediaBytes> frames;
    for (size_t at = 0; at + frameBytes <= out.size(); at += frameBytes)
        frames.emplace_back(out.begin() + static_cast<std::ptrdiff_t>(at),
                            out.begin() + static_cast<std::ptrdiff_t>(at + frameBytes));
    return frames;
}

double MeanDifference(const MediaBytes& a, const MediaBytes& b) {
    if (a.size() != b.size() || a.empty()) return 256;
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i) sum += std::abs(int(a[i]) - int(b[i]));
    return sum / double(a.size());
}

// RGBA with the colour multiplied by alpha, as bitmaps with alpha hold it.
MediaBytes Premultiplied(MediaBytes rgba) {
    for (size_t i = 0; i < rgba.size(); i += 4)
        for (int c = 0; c < 3; ++c) rgba[i + c] = static_cast<uint8_t>((rgba[i + c] * rgba[i + 3] + 127) / 255);
    return rgba;
}

MediaBytes RGBAToRGB(const MediaBytes& rgba) {
    MediaBytes rgb;
    for (size_t i = 0; i < rgba.size(); i += 4) rgb.insert(rgb.end(), {rgba[i], rgba[i + 1], rgba[i + 2]});
    return rgb;
}

uint32_t LE32(const MediaBytes& b, size_t at) {
    return uint32_t{b[at]} | uint32_t{b[at + 1]} << 8 | uint32_t{b[at + 2]} << 16 | uint32_t{b[at + 3]} << 24;
}

// The same picture with its rows stored top first (negative height), made
// from an uncompressed BMP of ImageMagick's.
std::string TopDownBmp(const std::string& source, const std::string& name) {
    std::string target = FixtureDir() + "/" + name;
    if (std::filesystem::exists(target)) return target;
    MediaBytes bytes = ReadFileBytes(source);
    uint32_t offBits = LE32(bytes, 10);
    int32_t width = static_cast<int32_t>(LE32(bytes, 18)), height = static_cast<int32_t>(LE32(bytes, 22));
    uint16_t bits = static_cast<uint16_t>(bytes[28] | bytes[29] << 8);
    size_t stride = (size_t(width) * bits + 31) / 32 * 4;
    MediaBytes flipped(bytes.begin(), bytes.begin() + offBits);
    for (int32_t row = height - 1; row >= 0; --row) {
        auto start = bytes.begin() + static_cast<std::ptrdiff_t>(offBits + size_t(row) * stride);
        flipped.insert(flipped.end(), start, start + static_cast<std::ptrdiff_t>(stride));
    }
    uint32_t negative = static_cast<uint32_t>(-height);
    for (int i = 0; i < 4; ++i) flipped[22 + i] = static_cast<uint8_t>(negative >> (8 * i));
    std::string temporary = UniqueTemporary(target);
    WriteFileBytes(temporary, flipped.data(), flipped.size());
    std::filesystem::rename(temporary, target);
    return target;
}

// The layouts of ImageMagick's BMP files at a width of 64, where no row
// needs padding: ffmpeg's SWF demuxer reads the rows of colour-mapped and
// 15-bit bitmaps without the padding to 32 bits that the format (and every
// player) has, and 15-bit pixels in the wrong byte order, so padded rows and
// 15-bit pixels are judged by the real player instead.
std::string Bmp64(const PictureFixture& layout) {
    std::string source = PictureSource();
    if (source.empty()) return "";
    std::string name = layout.name;
    if (name == "24bit-topdown") return TopDownBmp(Bmp64({"24bit", "-type truecolor BMP3:"}), "w64-24bit-topdown.bmp");
    if (name == "8bit-topdown")
        return TopDownBmp(Bmp64({"8bit-v3", "-colors 200 -type palette -compress none BMP3:"}), "w64-8bit-topdown.bmp");
    std::string options = layout.options, prefix;
    size_t colon = options.find(':');
    if (colon != std::string::npos && colon + 1 == options.size()) {
        size_t space = options.rfind(' ', colon);
        prefix = options.substr(space == std::string::npos ? 0 : space + 1);
        options = options.substr(0, space == std::string::npos ? 0 : space);
    }
    return MakeMediaFixture(FixtureDir() + "/w64-" + name + ".bmp",
                            "convert " + source + " -resize '64x37!' " + options + " " + prefix + "{out}");
}

std::vector<PictureFixture> FfmpegLayouts() {
    std::vector<PictureFixture> layouts;
    for (const PictureFixture& layout : BmpLayouts())
        if (std::string(layout.name).rfind("16bit", 0) != 0) layouts.push_back(layout);
    layouts.push_back({"24bit-topdown", nullptr});
    layouts.push_back({"8bit-topdown", nullptr});
    return layouts;
}

// A small BMP with a 40-byte header, bottom-up.
MediaBytes MakeBmp(int32_t width, int32_t height, uint16_t bits, const std::vector<uint32_t>& palette,
                   const MediaBytes& pixels) {
    MediaBytes out = {'B', 'M'};
    auto put = [&](uint32_t v, int n) {
        for (int i = 0; i < n; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    uint32_t offBits = 54 + static_cast<uint32_t>(palette.size()) * 4;
    put(offBits + static_cast<uint32_t>(pixels.size()), 4);
    put(0, 4);
    put(offBits, 4);
    put(40, 4);
    put(static_cast<uint32_t>(width), 4);
    put(static_cast<uint32_t>(height), 4);
    put(1, 2);
    put(bits, 2);
    put(0, 4);
    put(static_cast<uint32_t>(pixels.size()), 4);
    put(2835, 4);
    put(2835, 4);
    put(static_cast<uint32_t>(palette.size()), 4);
    put(0, 4);
    for (uint32_t entry : palette) put(entry, 4);
    out.insert(out.end(), pixels.begin(), pixels.end());
    return out;
}

std::string WriteTemporary(const std::string& name, const MediaBytes& bytes) {
    std::string path = UniqueTemporary(FixtureDir() + "/" + name);
    WriteFileBytes(path, bytes.data(), bytes.size());
    return path;
}

}  // namespace

TEST(FlashImage, BmpLayoutsDecodeByFfmpegToTheirPixels) {
    if (!HaveImageMagick() || !HaveFfmpeg()) TW_SKIP_OR_FAIL() << "ImageMagick or ffmpeg is not installed";
    // One movie per picture: ffmpeg's demuxer gives all bitmaps of a movie
    // as one video stream, which cannot change its pixel format.
    for (const PictureFixture& layout : FfmpegLayouts()) {
        SCOPED_TRACE(layout.name);
        std::string file = Bmp64(layout), name = layout.name;
        ASSERT_FALSE(file.empty());
        TFlashMovie movie(0, 0, 100, 100, 12, true);
        TFlashImage* image = movie.AddImage(file);
        EXPECT_EQ(image->GetWidth(), 64);
        EXPECT_EQ(image->GetHeight(), 37);
        std::string swf = SavedMovie(movie, "bmp-" + name);
        std::vector<MediaBytes> decoded = FfmpegBitmaps(swf, 64 * 37 * 4);
        std::filesystem::remove(swf);
        ASSERT_EQ(decoded.size(), 1u);
        MediaBytes expected = ImageMagickRGBA(file);
        if (name.rfind("32bit", 0) == 0) {
            // The colours of a bitmap with alpha are stored multiplied by it.
            EXPECT_EQ(image->GetFormat(), kLosslessARGB);
            EXPECT_EQ(decoded[0], Premultiplied(expected));
        } else {
            EXPECT_EQ(image->GetFormat(), name.rfind("24bit", 0) == 0 ? kLosslessRGB24 : kLosslessColorMapped);
            EXPECT_EQ(decoded[0], expected);
        }
    }
}

namespace {

// The tags of a movie, written and read back from its bytes.
std::unique_ptr<TSWFStreamReader> Reread(TFlashMovie& movie) {
    movie.MakeStream();
    TMemoryStream file;
    movie.SaveToStream(file);
    file.SetPosition(0);
    auto reader = TSWFStreamReader::CreateFromStream(file);
    reader->ParseTags(true, true);
    return reader;
}

template <class T>
T* FirstTag(TSWFStreamReader& reader) {
    for (size_t i = 0; i < reader.TagCount(); ++i)
        if (auto* tag = dynamic_cast<T*>(reader.GetTagInfo(i).Object)) return tag;
    return nullptr;
}

MediaBytes Inflated(const TSWFDataObject& tag) { return ZDecompress(tag.Data(), static_cast<size_t>(tag.DataSize())); }

// Colours as a BMP palette holds them: 0x00RRGGBB.
const std::vector<uint32_t> kPalette8 = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0x00FFFF, 0xFF00FF, 0x808080};

}  // namespace

// The data a lossless tag carries, byte by byte: palette, index rows top
// first padded to 32 bits, 15-bit values high byte first, ARGB with alpha
// first, and the transparency that goes with them.
TEST(FlashImage, LosslessDataLayoutAndTransparency) {
    // 3 x 2 pixels, 8 bits, five of eight colours used; rows bottom first.
    MediaBytes eight = MakeBmp(3, 2, 8, kPalette8, {0, 2, 4, 0, 5, 6, 2, 0});
    std::string file8 = WriteTemporary("five-colours.bmp", eight);
    {
        TFlashMovie movie(0, 0, 10, 10, 12, true);
        TFlashImage* image = movie.AddImage(file8);
        EXPECT_EQ(image->GetPaddedWidth(), 4);
        EXPECT_EQ(image->GetPaletteSize(), 5u);
        EXPECT_FALSE(image->GetHasAlpha());
        EXPECT_EQ(image->RequiredVersion(), 2);
        image->SetAlphaIndex(5, 0);  // past the palette: nothing happens
        EXPECT_FALSE(image->GetHasAlpha());
        TBMPReader small;
        small.SetSize(2, 2, 8);
        image->SetAlphaFromBitmap(small);  // another size: ignored
        EXPECT_FALSE(image->GetHasAlpha());
        auto reader = Reread(movie);
        auto* tag = FirstTag<TSWFDefineBitsLossless>(*reader);
        ASSERT_NE(tag, nullptr);
        EXPECT_EQ(tag->TagCode, 20);
        EXPECT_EQ(tag->BitmapFormat, 3);
        EXPECT_EQ(tag->BitmapColorTableSize, 4);
        // The used entries in index order (0, 2, 4, 5, 6 become 0 to 4),
        // then the top row first.
        EXPECT_EQ(ToHex(Inflated(*tag)),
                  "00 00 00 00 FF 00 FF FF 00 00 FF FF FF 00 FF "
                  "03 04 01 00 00 01 02 00");

        // A transparent entry: RGBA entries, DefineBitsLossless2. Each make
        // writes the picture as it is now.
        image->SetAlphaIndex(1, 0);
        image->SetAlphaColor(0x80FF00FFu);  // magenta (entry 4) at half alpha
        EXPECT_EQ(image->RequiredVersion(), 3);
        reader = Reread(movie);
        tag = FirstTag<TSWFDefineBitsLossless>(*reader);
        ASSERT_NE(tag, nullptr);
        EXPECT_EQ(tag->TagCode, 36);
        EXPECT_EQ(ToHex(Inflated(*tag)),
                  "00 00 00 FF 00 00 00 00 FF FF 00 FF 00 FF FF FF 80 00 80 80 "
                  "03 04 01 00 00 01 02 00");
    }

    struct Case {
        const char* name;
        MediaBytes bmp;
        uint16_t code;
        uint8_t format;
        const char* data;
    } cases[] = {
        // 24 bits: 255, red, green, blue per pixel (pixels are stored blue first).
        {"24-bit", MakeBmp(2, 1, 24, {}, {0x30, 0x20, 0x10, 0x33, 0x22, 0x11, 0, 0}), 20, 5,
         "FF 10 20 30 FF 11 22 33"},
        // 16 bits (5-5-5) become 15-bit values high byte first, rows padded
        // to an even number of pixels: 0x7C00 red, 0x03E0 green, 0x001F blue.
        {"16-bit", MakeBmp(3, 1, 16, {}, {0x00, 0x7C, 0xE0, 0x03, 0x1F, 0x00, 0, 0}), 20, 4,
         "7C 00 03 E0 00 1F 00 00"},
        // A one-colour 1-bit picture of entry 1 keeps both entries.
        {"1-bit of entry 1", MakeBmp(2, 1, 1, {0x000000, 0xFFFFFF}, {0xC0, 0, 0, 0}), 20, 3,
         "00 00 00 FF FF FF 01 01 00 00"},
        // 32 bits with alpha: ARGB, the colours multiplied by alpha.
        {"32-bit", MakeBmp(2, 1, 32, {}, {0xFF, 0x80, 0x40, 0x80, 0x10, 0x20, 0x30, 0xFF}), 36, 5,
         "80 20 40 80 FF 30 20 10"},
        // Plain 32-bit pixels that leave the fourth byte 0 are opaque.
        {"32-bit without alpha", MakeBmp(1, 1, 32, {}, {0x10, 0x20, 0x30, 0x00}), 36, 5, "FF 30 20 10"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TFlashMovie movie(0, 0, 10, 10, 12, true);
        movie.AddImage(WriteTemporary("layout.bmp", c.bmp));
        auto reader = Reread(movie);
        auto* tag = FirstTag<TSWFDefineBitsLossless>(*reader);
        ASSERT_NE(tag, nullptr);
        EXPECT_EQ(tag->TagCode, c.code);
        EXPECT_EQ(tag->BitmapFormat, c.format);
        EXPECT_EQ(ToHex(Inflated(*tag)), c.data);
    }

    // Alpha values from a second bitmap: a 24-bit picture widens to ARGB
    // rather than dropping them.
    TFlashMovie movie(0, 0, 10, 10, 12, true);
    TFlashImage* image = movie.AddImage(WriteTemporary("rgb.bmp", cases[0].bmp));
    std::vector<uint32_t> greys(256);
    for (uint32_t i = 0; i < 256; ++i) greys[i] = i * 0x010101u;
    std::string alphaFile = WriteTemporary("alpha.bmp", MakeBmp(2, 1, 8, greys, {0x00, 0x80, 0, 0}));
    image->LoadAlphaFromFile(alphaFile);
    EXPECT_TRUE(image->GetHasAlpha());
    auto reader = Reread(movie);
    auto* tag = FirstTag<TSWFDefineBitsLossless>(*reader);
    ASSERT_NE(tag, nullptr);
    EXPECT_EQ(tag->TagCode, 36);
    EXPECT_EQ(ToHex(Inflated(*tag)), "00 00 00 00 80 09 11 1A");

    // Unsupported files.
    for (const auto& [load, message] : std::vector<std::pair<std::function<void()>, std::string>>{
             {[&] { image->LoadFromFile("picture.png"); }, "Image format \"PNG\" not supported!"},
             {[&] { image->LoadAlphaFromFile("mask.gif"); }, "Image format \"GIF\" for alpha not supported!"},
         }) {
        try {
            load();
            ADD_FAILURE() << "no exception for " << message;
        } catch (const Exception& e) {
            EXPECT_EQ(std::string(e.what()), message);
        }
    }
    EXPECT_FALSE(image->GetHasAlpha());
    EXPECT_EQ(image->GetFileName(), "picture.png");
}

TEST(FlashImage, JPEGFilesBecomeJPEG2ThatFfmpegDecodes) {
    if (!HaveImageMagick() || !HaveFfmpeg()) TW_SKIP_OR_FAIL() << "ImageMagick or ffmpeg is not installed";
    std::string baseline = JpegFixture(false), progressive = JpegFixture(true);
    std::string bmp = BmpFixture({"24bit", "-type truecolor BMP3:"});
    TFlashMovie movie(0, 0, 100, 100, 12, true);
    // A baseline file goes in as it is, read again at every make.
    TFlashImage* asIs = movie.AddImage(baseline);
    EXPECT_EQ(asIs->GetDataKind(), kImageJPEGFile);
    // Progressive data is encoded again as baseline...
    TFlashImage* converted = movie.AddImage(progressive);
    EXPECT_EQ(converted->GetDataKind(), kImageJPEGMemory);
    // ...or, with conversion off, goes in as it is: its size, which no
    // baseline frame header gives, comes from decoding it.
    TFlashImage* kept = movie.AddImage();
    kept->SetConvertProgressive(false);
    kept->LoadFromFile(progressive);
    EXPECT_EQ(kept->GetDataKind(), kImageJPEGFile);
    // Pixels encoded as JPEG at quality 100.
    TFlashImage* encoded = movie.AddImage(bmp);
    encoded->SetAsJPEG(true);
    EXPECT_EQ(encoded->GetDataKind(), kImageJPEGMemory);
    for (TFlashImage* image : {asIs, converted, kept, encoded}) {
        EXPECT_EQ(image->GetWidth(), 61);
        EXPECT_EQ(image->GetHeight(), 37);
        EXPECT_TRUE(image->GetAsJPEG());
        EXPECT_EQ(image->RequiredVersion(), 2);
    }

    auto reader = Reread(movie);
    auto* first = FirstTag<TSWFDefineBitsJPEG2>(*reader);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->TagCode, 21);
    // The file, byte for byte, behind FF D9 FF D8.
    EXPECT_EQ(MediaBytes(first->Data(), first->Data() + first->DataSize()), ReadFileBytes(baseline));
    const MediaBytes& body = movie.GetBodyStream().Bytes();
    MediaBytes marked = HexBytes("FF D9 FF D8 FF D8");
    EXPECT_NE(std::search(body.begin(), body.end(), marked.begin(), marked.end()), body.end());

    std::string swf = SavedMovie(movie, "jpeg2");
    std::vector<MediaBytes> decoded = FfmpegBitmaps(swf, 61 * 37 * 4);
    std::filesystem::remove(swf);
    ASSERT_EQ(decoded.size(), 4u);
    const std::string sources[] = {baseline, progressive, progressive, bmp};
    for (size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_LE(MeanDifference(decoded[i], ImageMagickRGBA(sources[i])), 3.0);
    }
}

// Transparency survives the way between JPEG data and pixels: as the alpha
// plane of a DefineBitsJPEG3 one way, as ARGB pixels the other.
TEST(FlashImage, TransparencyMovesBetweenJPEGAndPixels) {
    if (!HaveImageMagick()) TW_SKIP_OR_FAIL() << "ImageMagick's convert is not installed";
    std::string file = BmpFixture({"32bit-alpha", "-alpha set -channel A -fx \"(i+j)%7/6\" +channel"});
    MediaBytes rgba = ImageMagickRGBA(file);
    MediaBytes alpha;
    for (size_t i = 3; i < rgba.size(); i += 4) alpha.push_back(rgba[i]);

    TFlashMovie movie(0, 0, 100, 100, 12, true);
    TFlashImage* image = movie.AddImage(file);
    image->SetAsJPEG(true);
    EXPECT_TRUE(image->GetHasAlpha());
    EXPECT_EQ(image->RequiredVersion(), 3);
    auto reader = Reread(movie);
    auto* jpeg3 = FirstTag<TSWFDefineBitsJPEG3>(*reader);
    ASSERT_NE(jpeg3, nullptr);
    EXPECT_EQ(ZDecompress(jpeg3->AlphaData(), static_cast<size_t>(jpeg3->AlphaDataSize())), alpha);
    TJPEGImage decoder;
    decoder.LoadFromBytes(jpeg3->Data(), static_cast<size_t>(jpeg3->DataSize()));
    EXPECT_LE(MeanDifference(decoder.Pixels(), RGBAToRGB(rgba)), 3.0);

    image->SetAsJPEG(false);
    EXPECT_EQ(image->GetFormat(), kLosslessARGB);
    reader = Reread(movie);
    auto* lossless = FirstTag<TSWFDefineBitsLossless2>(*reader);
    ASSERT_NE(lossless, nullptr);
    MediaBytes argb = Inflated(*lossless);
    MediaBytes back;
    for (size_t i = 0; i < argb.size(); i += 4) back.push_back(argb[i]);
    EXPECT_EQ(back, alpha);

    // A JPEG file takes its alpha from an 8-bit bitmap of its size.
    std::vector<uint32_t> greys(256);
    for (uint32_t i = 0; i < 256; ++i) greys[i] = i * 0x010101u;
    MediaBytes plane;
    for (int y = 0; y < 37; ++y) {
        for (int x = 0; x < 61; ++x) plane.push_back(x < 30 ? 0 : 255);
        plane.resize(plane.size() + 3, 0);  // rows of 64 bytes
    }
    TFlashImage* jpeg = movie.AddImage(JpegFixture(false));
    jpeg->LoadAlphaFromStream(*std::make_unique<TMemoryStream>(MakeBmp(61, 37, 8, greys, plane)));
    EXPECT_EQ(jpeg->GetAlphaData().size(), 61u * 37u);
    EXPECT_EQ(jpeg->GetAlphaData()[29], 0);
    EXPECT_EQ(jpeg->GetAlphaData()[30], 255);
    EXPECT_EQ(jpeg->RequiredVersion(), 3);

    // As a composer makes its pictures: an empty image given a bitmap's
    // pixels, turned into JPEG, then given a bitmap of alpha values.
    TBMPReader picture, mask;
    picture.LoadFromFile(BmpFixture({"24bit", "-type truecolor BMP3:"}));
    TMemoryStream maskFile(MakeBmp(61, 37, 8, greys, plane));
    mask.LoadFromStream(maskFile);
    TFlashImage* composed = movie.AddImage();
    composed->LoadFromBitmap(picture);
    composed->SetAsJPEG(true);
    EXPECT_FALSE(composed->GetHasAlpha());
    composed->SetAlphaFromBitmap(mask);
    EXPECT_EQ(composed->GetAlphaData(), jpeg->GetAlphaData());
    reader = Reread(movie);
    int jpeg3Tags = 0;
    for (size_t i = 0; i < reader->TagCount(); ++i) jpeg3Tags += reader->GetTagInfo(i).TagCode == 35;
    EXPECT_EQ(jpeg3Tags, 2);  // the first picture went back to pixels
}

// Damaged and unusable files raise with a message that names the problem,
// and the movie stays as it was: no object, no identifier used.
TEST(FlashImage, DamagedFilesRaiseAndAddNothing) {
    if (!HaveImageMagick()) TW_SKIP_OR_FAIL() << "ImageMagick's convert is not installed";
    MediaBytes bmp = ReadFileBytes(BmpFixture({"24bit", "-type truecolor BMP3:"}));
    MediaBytes jpeg = ReadFileBytes(JpegFixture(false));
    auto cut = [](const MediaBytes& bytes, size_t size) { return MediaBytes(bytes.begin(), bytes.begin() + size); };
    auto patched = [](MediaBytes bytes, size_t at, std::initializer_list<uint8_t> values) {
        for (uint8_t v : values) bytes.at(at++) = v;
        return bytes;
    };
    // The frame header's marker: SOF0 changed to lossless coding (SOF3),
    // which gives no size and which the decoder does not take.
    MediaBytes sof0 = HexBytes("FF C0");
    size_t frameAt = static_cast<size_t>(std::search(jpeg.begin(), jpeg.end(), sof0.begin(), sof0.end()) - jpeg.begin());
    ASSERT_LT(frameAt, jpeg.size());
    struct Case {
        const char* name;
        MediaBytes bytes;
        const char* message;  // a part of it
    } cases[] = {
        {"cut.bmp", cut(bmp, bmp.size() / 2), "truncated"},
        {"header.bmp", cut(bmp, 30), "too short"},
        {"depth.bmp", patched(bmp, 28, {7, 0}), "7 bits"},
        {"huge.bmp", patched(bmp, 18, {0xFF, 0xFF, 0xFF, 0x0F}), "BMP"},
        {"text.bmp", {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', ' ', 'o', 'f', ' ', 'B', 'M', 'P', 's'},
         "BM"},
        {"cut.jpg", cut(jpeg, jpeg.size() / 2), "cut short"},
        {"header.jpg", cut(jpeg, 120), "JPEG file"},
        {"lossless.jpg", patched(jpeg, frameAt + 1, {0xC3}), "cannot be decoded"},
        {"empty.jpg", {}, "JPEG file"},
        {"png.jpg", HexBytes("89 50 4E 47 0D 0A 1A 0A 00 00 00 0D 49 48 44 52"), "cannot be decoded"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TFlashMovie movie(0, 0, 100, 100, 12, true);
        movie.AddSprite();
        std::string path = WriteTemporary(c.name, c.bytes);
        try {
            movie.AddImage(path);
            ADD_FAILURE() << "no exception";
        } catch (const Exception& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
        EXPECT_EQ(movie.GetObjectList().size(), 1u);
        EXPECT_EQ(movie.GetImages().Count(), 0);
        EXPECT_EQ(movie.GetNextCharacterId(), 2);
        std::filesystem::remove(path);
    }
    TFlashMovie movie(0, 0, 100, 100, 12, true);
    EXPECT_THROW(movie.AddImage(FixtureDir() + "/missing.jpg"), EStreamError);
    EXPECT_THROW(movie.AddImage(FixtureDir() + "/missing.bmp"), EStreamError);
    EXPECT_EQ(movie.GetObjectList().size(), 0u);

    // An image that was never loaded says so when the movie is made.
    movie.AddImage();
    EXPECT_THROW(movie.MakeStream(), Exception);
}

// Image fills: the fill type and matrix of each mode, the correction for
// players before SWF 8, and the picture defined before the shape.
TEST(FlashImage, ImageFillsOfShapes) {
    std::string square = WriteTemporary("square.bmp", MakeBmp(100, 100, 24, {}, MediaBytes(100 * 100 * 3, 0x40)));
    std::string column = WriteTemporary("column.bmp", MakeBmp(1, 2, 24, {}, MediaBytes(8, 0x40)));
    // Fitted: twips of the shape per pixel of the picture.
    const int32_t corrected40 = SingleToFixed(40 + 15.0f / 4096), corrected20 = SingleToFixed(20 + 15.0f / 4096);
    for (bool correct : {true, false}) {
        SCOPED_TRACE(correct ? "corrected" : "not corrected");
        TFlashMovie movie(0, 0, 400, 400, 12, true);
        movie.SetCorrectImageFill(correct);
        // The shape comes first: the fill moves the picture in front of it.
        TFlashShape* shape = movie.AddRectangle(10, 10, 210, 210);
        TFlashImage* image = movie.AddImage(square);
        TSWFImageFill* fit = shape->AddImageFill(image, 1);
        auto& list = movie.GetObjectList();
        ASSERT_EQ(list.size(), 2u);
        EXPECT_EQ(list[0].get(), image);
        EXPECT_EQ(list[1].get(), shape);
        EXPECT_EQ(fit->FillStyleType, kFillClipBitmap);
        EXPECT_EQ(fit->BitmapId, image->GetCharacterId());
        EXPECT_EQ(fit->BitmapMatrix.ScaleX, correct ? corrected40 : SingleToFixed(40));
        EXPECT_EQ(fit->BitmapMatrix.ScaleY, fit->BitmapMatrix.ScaleX);
        EXPECT_EQ(fit->BitmapMatrix.TranslateX, correct ? 195 : 200);
        EXPECT_EQ(fit->BitmapMatrix.TranslateY, correct ? 195 : 200);
        EXPECT_EQ(shape->Fill1Index, 1);

        TSWFImageFill* clip = shape->AddImageFill(image, 0, 0.5f, 2);
        EXPECT_EQ(clip->FillStyleType, kFillClipBitmap);
        EXPECT_EQ(clip->BitmapMatrix.ScaleX, SingleToFixed(10));
        EXPECT_EQ(clip->BitmapMatrix.ScaleY, SingleToFixed(40));
        TSWFImageFill* tile = shape->AddImageFill(image, 2);
        EXPECT_EQ(tile->FillStyleType, kFillTileBitmap);
        EXPECT_EQ(tile->BitmapMatrix.ScaleX, SingleToFixed(20));
        EXPECT_EQ(shape->Fill1Index, 3);

        // A 1-pixel-wide picture fitted to a shape 20000 twips wide.
        TFlashImage* thin = movie.AddImage(column);
        TFlashShape* wide = movie.AddRectangle(0, 0, 1000, 10);
        TSWFImageFill* stretched = wide->AddImageFill(thin, 1);
        EXPECT_EQ(stretched->BitmapMatrix.ScaleX, SingleToFixed(16383));

        TFlashShape* own = movie.AddImageShape(image);
        EXPECT_EQ(own->GetWidth(), 100);
        EXPECT_EQ(own->GetHeight(), 100);
        auto* ownFill = dynamic_cast<TSWFImageFill*>(own->FillStyles.at(0).get());
        ASSERT_NE(ownFill, nullptr);
        EXPECT_EQ(ownFill->BitmapMatrix.ScaleX, correct ? corrected20 : SingleToFixed(20));
    }
    // SWF 8 players place fills exactly: a movie of that version turns the
    // correction off.
    TFlashMovie movie(0, 0, 400, 400, 12, true);
    EXPECT_TRUE(movie.CorrectImageFill);
    movie.SetVersion(8);
    EXPECT_FALSE(movie.CorrectImageFill);

    // The XML form names the picture by its identifier and the mode by name.
    TFlashImage* image = movie.AddImage(square);
    TXmlDocument document;
    document.LoadFromString("<Shape XMin=\"0\" YMin=\"0\" XMax=\"50\" YMax=\"50\">"
                            "<ImageFill Type=\"Tile\" ScaleX=\"2\" ScaleY=\"3\" ID=\"" +
                            std::to_string(image->GetCharacterId()) + "\"/></Shape>");
    TFlashShape* shape = movie.AddShape();
    TXMLReadWriteSettings settings;
    shape->LoadFromXml(document.DocumentElement(), settings);
    auto* fill = dynamic_cast<TSWFImageFill*>(shape->FillStyles.at(0).get());
    ASSERT_NE(fill, nullptr);
    EXPECT_EQ(fill->FillStyleType, kFillTileBitmap);
    EXPECT_EQ(fill->BitmapMatrix.ScaleX, SingleToFixed(40));
    EXPECT_EQ(fill->BitmapMatrix.ScaleY, SingleToFixed(60));
    document.LoadFromString("<Shape><ImageFill ID=\"999\"/></Shape>");
    EXPECT_THROW(movie.AddShape()->LoadFromXml(document.DocumentElement(), settings), EConvertError);
}
