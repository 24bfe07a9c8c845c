// JPEG data and bitmap tags made from BMP and JPEG files: the frame-size
// probe, re-encoding as baseline, and tags whose payloads decode back to the
// pictures that ImageMagick sees in the files.
#include <gtest/gtest.h>

#include <cmath>

#include "media_fixtures.h"
#include "movie/dib_reader.h"
#include "movie/jpeg_probe.h"
#include "platform/jpeg.h"
#include "platform/zstream.h"
#include "swf/bitmap_tags.h"
#include "swf/names.h"
#include "test_util.h"

namespace {

const PictureFixture& Layout(const std::string& name) {
    for (const PictureFixture& l : BmpLayouts())
        if (name == l.name) return l;
    throw std::runtime_error("no layout " + name);
}

// The picture's pixels as RGB rows top first.
MediaBytes RGBOf(const TBMPReader& bmp) {
    MediaBytes out;
    for (int32_t top = 0; top < bmp.RowCount; ++top) {
        int32_t row = bmp.GetHeight() > 0 ? bmp.RowCount - 1 - top : top;
        for (int32_t col = 0; col < bmp.GetWidth(); ++col) {
            TRGBTriple c;
            bmp.GetPixelColor(row, col, c);
            out.insert(out.end(), {c.rgbtRed, c.rgbtGreen, c.rgbtBlue});
        }
    }
    return out;
}

double MeanDifference(const MediaBytes& a, const MediaBytes& b) {
    if (a.size() != b.size() || a.empty()) return 1e9;
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i) sum += std::abs(int{a[i]} - int{b[i]});
    return sum / static_cast<double>(a.size());
}

// Writes the tag, reads the record back through the factory and checks
// that the second body equals the first.
std::unique_ptr<TSWFObject> ThroughRecord(TSWFObject& tag) {
    Bytes record = WriteTagBytes(tag);
    size_t start = (record[0] & 63) == 63 ? 6 : 2;
    Bytes body(record.begin() + static_cast<std::ptrdiff_t>(start), record.end());
    auto read = CreateTagByCode(tag.TagCode);
    ReadBodyBytes(*read, body);
    EXPECT_EQ(WriteTagBytes(*read), record);
    return read;
}

MediaBytes DecodeJPEGPayload(const TSWFDataObject& tag) {
    // The tag keeps the data as written (FF D8 ... FF D9).
    TJPEGImage image;
    image.LoadFromBytes(tag.Data(), static_cast<size_t>(tag.DataSize()));
    EXPECT_EQ(image.Components(), 3);
    return image.Pixels();
}

TEST(PictureTags, JPEGSizeProbeReadsBaselineFramesOnly) {
    if (!HaveImageMagick()) TW_SKIP_OR_FAIL() << "ImageMagick's convert is not installed";
    uint16_t width = 7, height = 7;
    ASSERT_TRUE(GetJPEGSize(JpegFixture(false), width, height));
    EXPECT_EQ(width, 61);
    EXPECT_EQ(height, 37);
    // A progressive frame is not read: the outputs stay as they were.
    width = height = 7;
    EXPECT_FALSE(GetJPEGSize(JpegFixture(true), width, height));
    EXPECT_EQ(width, 7);
    EXPECT_EQ(height, 7);
    struct {
        const char* why;
        Bytes data;
    } bad[] = {
        {"not JPEG", HexBytes("89 50 4E 47")},
        {"segment length 0", HexBytes("FF D8 FF E0 00 00 FF C0")},
        {"segment past the end", HexBytes("FF D8 FF E0 FF 00 01")},
        {"ends in the frame header", HexBytes("FF D8 FF C0 00 11 08 00")},
    };
    for (const auto& b : bad) {
        TMemoryStream in(b.data);
        EXPECT_FALSE(GetJPEGSize(in, width, height)) << b.why;
    }
}

TEST(PictureTags, JPEG2FromPicturesDecodesToTheSource) {
    if (!HaveImageMagick()) TW_SKIP_OR_FAIL() << "ImageMagick's convert is not installed";
    // A BMP encoded by us at quality 100, as a movie stores a picture given
    // as pixels; and progressive and baseline JPEG files, progressive ones
    // re-encoded as baseline at quality 90.
    TBMPReader bmp;
    bmp.LoadFromFile(BmpFixture(Layout("24bit")));
    TJPEGImage encoder;
    encoder.CompressionQuality = 100;
    encoder.SetPixels(bmp.GetWidth(), bmp.RowCount, 3, RGBOf(bmp));
    struct {
        const char* name;
        MediaBytes jpeg;
        MediaBytes expected;
    } sources[] = {
        {"bmp", encoder.SaveToBytes(), RGBOf(bmp)},
        {"progressive", {}, ImageMagickRGB(JpegFixture(true))},
        {"baseline", ReadFileBytes(JpegFixture(false)), ImageMagickRGB(JpegFixture(false))},
    };
    TBaselineJPEG baseline = ReencodeAsBaseline(ReadFileBytes(JpegFixture(true)), 90, JpegFixture(true));
    EXPECT_TRUE(baseline.WasProgressive);
    EXPECT_EQ(baseline.Width, 61);
    EXPECT_EQ(baseline.Height, 37);
    sources[1].jpeg = baseline.Data;
    for (auto& s : sources) {
        SCOPED_TRACE(s.name);
        uint16_t width = 0, height = 0;
        TMemoryStream probe(s.jpeg);
        EXPECT_TRUE(GetJPEGSize(probe, width, height));
        EXPECT_EQ(width, 61);
        TSWFDefineBitsJPEG2 tag;
        tag.CharId = 1;
        tag.SetData(s.jpeg);
        auto read = ThroughRecord(tag);
        MediaBytes decoded = DecodeJPEGPayload(dynamic_cast<TSWFDataObject&>(*read));
        EXPECT_LE(MeanDifference(decoded, s.expected), 3.0);
    }
}

TEST(PictureTags, JPEG3CarriesTheAlphaPlane) {
    if (!HaveImageMagick()) TW_SKIP_OR_FAIL() << "ImageMagick's convert is not installed";
    std::string file = BmpFixture(Layout("32bit-alpha"));
    TBMPReader bmp;
    bmp.LoadFromFile(file);
    MediaBytes rgba = ImageMagickRGBA(file);
    MediaBytes alpha;
    for (size_t i = 3; i < rgba.size(); i += 4) alpha.push_back(rgba[i]);
    TJPEGImage encoder;
    encoder.SetPixels(bmp.GetWidth(), bmp.RowCount, 3, RGBOf(bmp));
    TSWFDefineBitsJPEG3 tag;
    tag.CharId = 2;
    tag.SetData(encoder.SaveToBytes());
    tag.SetAlphaData(ZCompress(alpha.data(), alpha.size()));
    auto read = ThroughRecord(tag);
    auto& jpeg3 = dynamic_cast<TSWFDefineBitsJPEG3&>(*read);
    EXPECT_EQ(ZDecompress(jpeg3.AlphaData(), static_cast<size_t>(jpeg3.AlphaDataSize())), alpha);
    EXPECT_LE(MeanDifference(DecodeJPEGPayload(jpeg3), RGBOf(bmp)), 3.0);
}

// Lossless tags in the three layouts, built from the pictures the way the
// movie does (rows top first, padded; ARGB with alpha first), read back
// and inflated: the pixels are ImageMagick's.
TEST(PictureTags, LosslessTagsKeepThePixels) {
    if (!HaveImageMagick()) TW_SKIP_OR_FAIL() << "ImageMagick's convert is not installed";
    for (const char* name : {"8bit", "16bit-555", "24bit", "32bit-alpha"}) {
        SCOPED_TRACE(name);
        std::string file = BmpFixture(Layout(name));
        TBMPReader bmp;
        bmp.LoadFromFile(file);
        int32_t width = bmp.GetWidth(), height = bmp.RowCount;
        bool alpha = bmp.GetBitCount() == 32;
        std::unique_ptr<TSWFDefineBitsLossless> tag =
            alpha ? std::make_unique<TSWFDefineBitsLossless2>() : std::make_unique<TSWFDefineBitsLossless>();
        tag->CharId = 3;
        tag->BitmapWidth = static_cast<uint16_t>(width);
        tag->BitmapHeight = static_cast<uint16_t>(height);
        MediaBytes raw;
        int32_t padded = width;
        if (bmp.GetBitCount() == 8) {
            tag->BitmapFormat = 3;
            int colours = bmp.CountColors();
            tag->BitmapColorTableSize = static_cast<uint8_t>(colours - 1);
            for (int i = 0; i < colours; ++i)
                raw.insert(raw.end(), {bmp.Palette[i].rgbRed, bmp.Palette[i].rgbGreen, bmp.Palette[i].rgbBlue});
            padded = (width + 3) / 4 * 4;
        } else if (bmp.GetBitCount() == 16) {
            tag->BitmapFormat = 4;
            padded = width + (width & 1);
        } else {
            tag->BitmapFormat = 5;
        }
        for (int32_t top = 0; top < height; ++top) {
            int32_t row = bmp.GetHeight() > 0 ? height - 1 - top : top;
            for (int32_t col = 0; col < padded; ++col) {
                bool inside = col < width;
                if (tag->BitmapFormat == 3) {
                    raw.push_back(inside ? bmp.GetPixelIndex(row, col) : 0);
                } else if (tag->BitmapFormat == 4) {
                    uint16_t v = inside ? static_cast<uint16_t>(bmp.Rows[row][col * 2] | bmp.Rows[row][col * 2 + 1] << 8) : 0;
                    raw.insert(raw.end(), {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)});
                } else {
                    TRGBTriple c;
                    bmp.GetPixelColor(row, col, c);
                    uint8_t a = alpha ? bmp.Rows[row][col * 4 + 3] : 255;
                    raw.insert(raw.end(), {a, c.rgbtRed, c.rgbtGreen, c.rgbtBlue});
                }
            }
        }
        tag->SetData(ZCompress(raw.data(), raw.size()));
        auto read = ThroughRecord(*tag);
        auto& lossless = dynamic_cast<TSWFDefineBitsLossless&>(*read);
        MediaBytes inflated = ZDecompress(lossless.Data(), static_cast<size_t>(lossless.DataSize()));
        ASSERT_EQ(inflated, raw);

        // Decode the tag's layout on our own and compare with ImageMagick.
        MediaBytes expected = ImageMagickRGBA(file), got;
        size_t table = lossless.BitmapFormat == 3 ? 3 * (size_t{lossless.BitmapColorTableSize} + 1) : 0;
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x) {
                if (lossless.BitmapFormat == 3) {
                    size_t i = inflated[table + static_cast<size_t>(y * padded + x)];
                    got.insert(got.end(), {inflated[3 * i], inflated[3 * i + 1], inflated[3 * i + 2], 255});
                } else if (lossless.BitmapFormat == 4) {
                    size_t at = static_cast<size_t>(y * padded + x) * 2;
                    uint16_t v = static_cast<uint16_t>(inflated[at] << 8 | inflated[at + 1]);
                    got.insert(got.end(), {ExpandChannel(v >> 10 & 31, 5), ExpandChannel(v >> 5 & 31, 5),
                                           ExpandChannel(v & 31, 5), 255});
                } else {
                    size_t at = static_cast<size_t>(y * width + x) * 4;
                    got.insert(got.end(), {inflated[at + 1], inflated[at + 2], inflated[at + 3], inflated[at]});
                }
            }
        EXPECT_EQ(got, expected);
    }
}

TEST(PictureTags, DamagedJPEGDataRaisesOrDecodes) {
    if (!HaveImageMagick()) TW_SKIP_OR_FAIL() << "ImageMagick's convert is not installed";
    uint32_t state = 99;
    for (bool progressive : {false, true}) {
        MediaBytes bytes = ReadFileBytes(JpegFixture(progressive));
        for (size_t cut = 0; cut < bytes.size(); cut += 1 + cut / 4) {
            TJPEGImage image;
            try {
                image.LoadFromBytes(bytes.data(), cut);
                // Data that ends in the scans still decodes, with warnings.
                EXPECT_GT(image.Warnings(), 0);
            } catch (const EJPEGError& e) {
                EXPECT_NE(std::string(e.what()).find("JPEG"), std::string::npos);
            }
        }
        for (int round = 0; round < 150; ++round) {
            MediaBytes damaged = bytes;
            for (int k = 0; k < 4; ++k) {
                state = state * 1664525 + 1013904223;
                damaged[(state >> 8) % std::min<size_t>(damaged.size(), round % 2 ? damaged.size() : 700)] =
                    static_cast<uint8_t>(state >> 3);
            }
            TJPEGImage image;
            try {
                image.LoadFromBytes(damaged.data(), damaged.size());
                ReencodeAsBaseline(damaged, 90, "damaged.jpg");
            } catch (const Exception&) {
            }
        }
    }
    // A picture that does not decode is never stored as empty data.
    EXPECT_THROW(ReencodeAsBaseline(HexBytes("FF D8 FF D9"), 90, "x.jpg"), EJPEGError);
    EXPECT_THROW(ReencodeAsBaseline({}, 90, "x.jpg"), EJPEGError);
}

}  // namespace
