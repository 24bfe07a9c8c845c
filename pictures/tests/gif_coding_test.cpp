// GIF streams: the exact bytes the writer produces, our reader on our own
// files, and the reader's tolerance of damaged and hostile streams.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "gif_test_support.h"

namespace {

// The bytes after the header, the screen and the global table of a saved
// image with one frame (that is: the image descriptor onward).
std::vector<uint8_t> FrameBytes(TGIFImage& gif) {
    std::vector<uint8_t> bytes = SaveGif(gif);
    size_t start = 13 + (gif.GlobalColorMap().Count() > 0 ? 3u << gif.GlobalColorMap().BitsPerPixel() : 0u);
    return {bytes.begin() + static_cast<std::ptrdiff_t>(start), bytes.end()};
}

// A GIF of one frame (no tables beyond a global one of 4 colours) whose
// pixel data is given as raw sub-block bytes after the minimum code size.
std::vector<uint8_t> HandMadeGif(int width, int height, int minimumCodeSize, const std::vector<uint8_t>& data,
                                 bool interlaced = false) {
    std::vector<uint8_t> bytes = {'G', 'I', 'F', '8', '9', 'a', static_cast<uint8_t>(width), static_cast<uint8_t>(width >> 8),
                                  static_cast<uint8_t>(height), static_cast<uint8_t>(height >> 8), 0x81, 0, 0};
    for (int i = 0; i < 4; ++i) bytes.insert(bytes.end(), {static_cast<uint8_t>(i * 60), 0, 0});
    bytes.insert(bytes.end(), {0x2C, 0, 0, 0, 0, static_cast<uint8_t>(width), static_cast<uint8_t>(width >> 8),
                               static_cast<uint8_t>(height), static_cast<uint8_t>(height >> 8),
                               static_cast<uint8_t>(interlaced ? 0x40 : 0), static_cast<uint8_t>(minimumCodeSize)});
    bytes.insert(bytes.end(), data.begin(), data.end());
    bytes.push_back(0x3B);
    return bytes;
}

// Packs codes of the given widths LSB first into one data sub-block and
// the terminator.
std::vector<uint8_t> PackCodes(const std::vector<std::pair<int, int>>& codes) {
    std::vector<uint8_t> data;
    uint32_t bucket = 0;
    int bits = 0;
    for (auto [code, width] : codes) {
        bucket |= static_cast<uint32_t>(code) << bits;
        bits += width;
        while (bits >= 8) {
            data.push_back(static_cast<uint8_t>(bucket));
            bucket >>= 8;
            bits -= 8;
        }
    }
    if (bits > 0) data.push_back(static_cast<uint8_t>(bucket));
    data.insert(data.begin(), static_cast<uint8_t>(data.size()));
    data.push_back(0);
    return data;
}

}  // namespace

TEST(GifCoding, WriterBytesOfTheSmallestFrameAndTheLoopExtension) {
    TGIFImage gif;
    AddIndexedFrame(gif, 1, 1, 2, {0}, false);
    // Descriptor, 2-entry table, minimum code size 2 (never 1), then clear
    // (4), 0 and end (5) at 3 bits each in one sub-block, and the terminator.
    EXPECT_EQ(FrameBytes(gif), (std::vector<uint8_t>{0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0x80, 0x00, 0xFF, 0x00, 0x25, 0xFE, 0x65,
                                                     0x02, 0x02, 0x44, 0x01, 0x00, 0x3B}));

    TGIFImage looped;
    TGIFSubImage& frame = AddIndexedFrame(looped, 1, 1, 2, {0}, true);
    frame.AddExtension(std::make_unique<TGIFAppExtNSLoop>(&frame));
    std::vector<uint8_t> bytes = FrameBytes(looped);
    const std::vector<uint8_t> loop = {0x21, 0xFF, 0x0B, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0',
                                       0x03, 0x01, 0x00, 0x00, 0x00};
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 19), loop);
    EXPECT_EQ(SaveGif(looped)[4], '9');

    TGIFImage empty;
    EXPECT_THROW(SaveGif(empty), GIFException);
}

TEST(GifCoding, PixelsOutsideTheTableAreRefused) {
    TGIFImage gif;
    gif.CompressionMethod = cmRLE;
    AddIndexedFrame(gif, 2, 1, 3, {0, 3}, false);
    try {
        SaveGif(gif);
        FAIL();
    } catch (const GIFException& error) {
        EXPECT_STREQ(error.what(), "Color not in color table");
    }
}

// Our reader gives back what our writer wrote, for both encoders, over the
// sizes where codes grow, clear and interlace.
TEST(GifCoding, RoundTripThroughOurOwnReader) {
    struct Case {
        int width, height, colors;
        bool global, interlaced;
    };
    const Case cases[] = {{1, 1, 2, false, false},   {7, 3, 2, true, true},    {5, 4, 4, true, true},
                          {200, 150, 256, false, false}, {97, 61, 16, true, true}, {64, 64, 3, false, false}};
    for (int method : {cmLZW, cmRLE}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << "method " << method << " " << c.width << "x" << c.height << " colours "
                                            << c.colors);
            TGIFImage gif;
            gif.CompressionMethod = method;
            std::vector<uint8_t> pixels = NoiseIndices(static_cast<size_t>(c.width) * c.height, c.colors, 7);
            // Long runs too, so the run-length coder uses its run codes.
            for (size_t i = 0; i < pixels.size() / 2; ++i) pixels[i] = 1;
            AddIndexedFrame(gif, c.width, c.height, c.colors, pixels, c.global, c.interlaced);
            TGIFImage back;
            LoadResult result = LoadGif(back, SaveGif(gif));
            EXPECT_TRUE(result.warnings.empty());
            ASSERT_EQ(back.Count(), 1);
            EXPECT_EQ(back.GetSubImage(0).IndexData(), pixels);
            EXPECT_EQ(back.GetSubImage(0).Interlaced(), c.global && c.interlaced);
        }
    }
}

TEST(GifCoding, ReaderAcceptsFourLeadingBytesAnyVersionAndAnimextsLoops) {
    TGIFImage gif;
    TGIFSubImage& frame = AddIndexedFrame(gif, 3, 2, 4, {0, 1, 2, 3, 2, 1}, true);
    auto loop = std::make_unique<TGIFAppExtNSLoop>(&frame);
    std::memcpy(loop->Identifier.data(), "ANIMEXTS1.0", 11);
    loop->LoopCount = 9;
    frame.AddExtension(std::move(loop));
    std::vector<uint8_t> bytes = SaveGif(gif);
    bytes[3] = 'x';
    bytes[4] = '?';
    bytes.insert(bytes.begin(), {'a', 'b', 'c', 'd'});

    TGIFImage back;
    LoadResult result = LoadGif(back, bytes);
    EXPECT_TRUE(result.warnings.empty());
    ASSERT_EQ(back.Count(), 1);
    EXPECT_EQ(back.GetSubImage(0).IndexData(), frame.IndexData());
    auto* read = dynamic_cast<TGIFAppExtNSLoop*>(back.GetSubImage(0).ExtensionBlocks().at(0).get());
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->LoopCount, 9);

    bytes[4] = 'X';
    TGIFImage bad;
    TMemoryStream stream(bytes);
    stream.SetPosition(2);
    EXPECT_THROW(bad.LoadFromStream(stream), GIFException);
    EXPECT_EQ(stream.GetPosition(), 2);  // restored for the caller
}

// Hand-made pixel data: decoder rules and tolerance.
TEST(GifCoding, DecoderCasesFromHandMadeCodes) {
    struct Case {
        const char* name;
        int width, height, minimumCodeSize;
        std::vector<uint8_t> data;
        bool interlaced;
        std::vector<uint8_t> pixels;
        std::vector<std::string> warnings;
    };
    const std::vector<Case> cases = {
        // A clear code followed at once by the end code gives the end code's
        // value (5) as a pixel, stored as a byte.
        {"clear then end", 2, 1, 2, PackCodes({{4, 3}, {5, 3}, {1, 3}, {5, 3}}), false, {5, 1}, {}},
        // Interlaced height 2: row 0 in the first pass, row 1 in the last.
        {"interlaced height 2", 1, 2, 2, PackCodes({{4, 3}, {2, 3}, {3, 3}, {5, 3}}), true, {2, 3}, {}},
        // KwKwK: code 6 is the one being defined.
        {"code being defined", 3, 1, 2, PackCodes({{4, 3}, {1, 3}, {6, 3}, {5, 3}}), false, {1, 1, 1}, {}},
        // Data that ends before the frame does: the rest keeps the fill.
        {"short data", 4, 1, 2, PackCodes({{4, 3}, {3, 3}}), false, {3, 0, 0, 0}, {}},
        // A sub-block longer than the file: warned, the bytes there (here
        // the trailer too) are used.
        {"cut sub-block", 3, 1, 2, {9, 0x4C}, false, {1, 0, 0}, {"Premature end of data"}},
        // Minimum code size 1 (clear 2, end 3): codes grow to 3 bits at once.
        {"minimum code size 1", 3, 1, 1, PackCodes({{2, 2}, {1, 2}, {0, 3}, {1, 3}, {3, 3}}), false, {1, 0, 1}, {}},
        // Minimum code size 0 and a code far beyond the next free code.
        {"minimum code size 0", 2, 1, 0, PackCodes({{1, 1}, {0, 2}, {7, 3}, {2, 3}}), false, {0, 0}, {}},
        {"code beyond the next free code", 4, 1, 2, PackCodes({{4, 3}, {1, 3}, {7, 3}, {5, 3}}), false, {1, 1, 1, 0},
         {}},
        // The largest minimum code size: codes are 12 bits from the start.
        {"minimum code size 11", 5, 1, 11, PackCodes({{2048, 12}, {1, 12}, {2, 12}, {3, 12}, {0, 12}, {2050, 12}, {2049, 12}}),
         false, {1, 2, 3, 0, 1}, {}},
        // Beyond it no code could be read: the frame keeps its fill.
        {"minimum code size 12", 2, 1, 12, PackCodes({{4096, 13}, {1, 13}, {4097, 13}}), false, {0, 0},
         {"Invalid LZW minimum code size"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TGIFImage gif;
        LoadResult result;
        ASSERT_NO_THROW(result = LoadGif(gif, HandMadeGif(c.width, c.height, c.minimumCodeSize, c.data, c.interlaced)));
        ASSERT_EQ(gif.Count(), 1);
        EXPECT_EQ(gif.GetSubImage(0).IndexData(), c.pixels);
        for (const std::string& warning : c.warnings)
            EXPECT_NE(std::find(result.warnings.begin(), result.warnings.end(), warning), result.warnings.end())
                << warning;
    }
}

TEST(GifCoding, CodesPastTheTableStopDefiningButKeepDecoding) {
    // Codes 258.. defined by a long run of new pairs until 4095; then plain
    // pixel codes at 12 bits, then end.
    std::vector<std::pair<int, int>> codes = {{256, 9}};
    int size = 9, next = 258;
    std::vector<uint8_t> pixels;
    for (int i = 0; i < 4000; ++i) {
        int pixel = i % 251;
        codes.push_back({pixel, size});
        pixels.push_back(static_cast<uint8_t>(pixel));
        if (i > 0 && next <= 4095) {
            ++next;
            if (next >= (1 << size) && size < 12) ++size;
        }
    }
    codes.push_back({257, size});
    std::vector<uint8_t> packed = PackCodes(codes);
    // PackCodes makes one sub-block; split it into blocks of 255.
    std::vector<uint8_t> raw(packed.begin() + 1, packed.end() - 1), data;
    for (size_t at = 0; at < raw.size(); at += 255) {
        size_t n = std::min<size_t>(255, raw.size() - at);
        data.push_back(static_cast<uint8_t>(n));
        data.insert(data.end(), raw.begin() + static_cast<std::ptrdiff_t>(at), raw.begin() + static_cast<std::ptrdiff_t>(at + n));
    }
    data.push_back(0);
    std::vector<uint8_t> bytes = HandMadeGif(4000, 1, 8, data);
    // The frame's pixels cannot all be in the 4-colour table; the decoder
    // does not care.
    TGIFImage gif;
    LoadResult result = LoadGif(gif, bytes);
    EXPECT_TRUE(result.warnings.empty());
    EXPECT_EQ(gif.GetSubImage(0).IndexData(), pixels);
}

TEST(GifCoding, DamagedAndHostileStreamsGiveWarningsOrClearErrors) {
    TGIFImage source;
    TGIFSubImage& frame = AddIndexedFrame(source, 40, 30, 16, NoiseIndices(1200, 16, 3), false);
    auto comment = std::make_unique<TGIFCommentExtension>(&frame);
    comment->Text = {"note"};
    frame.AddExtension(std::move(comment));
    frame.AddExtension(std::make_unique<TGIFGraphicControlExtension>(&frame));
    const std::vector<uint8_t> good = SaveGif(source);

    // Every cut of the file: loading either succeeds with warnings or raises
    // a GIFException; nothing else.
    for (size_t length = 0; length < good.size(); ++length) {
        TGIFImage gif;
        std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(length));
        try {
            LoadGif(gif, cut);
        } catch (const GIFException&) {
        }
    }

    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        const char* error;  // null: loads with warnings
    };
    std::vector<uint8_t> huge = HandMadeGif(1, 1, 2, PackCodes({{4, 3}, {5, 3}}));
    huge[30] = huge[31] = huge[32] = huge[33] = 0xFF;  // a 65535 x 65535 frame
    std::vector<uint8_t> badApplication = HandMadeGif(1, 1, 2, PackCodes({{4, 3}, {5, 3}}));
    badApplication.insert(badApplication.begin() + 25, {0x21, 0xFF, 0x05, 1, 2, 3, 4, 5, 0});
    std::vector<uint8_t> longApplication = HandMadeGif(1, 1, 2, PackCodes({{4, 3}, {5, 3}}));
    longApplication.insert(longApplication.begin() + 25, {0x21, 0xFF, 12, 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', '1',
                                                          '2', '3', '4', 0});
    const std::vector<Case> cases = {
        {"huge frame", huge, "Image too large: a frame of 65535 x 65535 pixels"},
        {"short application block", badApplication, "Unsupported Application Extension block size"},
        {"long application block", longApplication, "Unsupported Application Extension"},
        {"no signature", {'P', 'N', 'G', 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, "Invalid GIF signature"},
        {"tiny", {'G', 'I', 'F'}, "Premature end of data"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TGIFImage gif;
        try {
            LoadGif(gif, c.bytes);
            EXPECT_EQ(c.error, nullptr);
        } catch (const GIFException& error) {
            ASSERT_NE(c.error, nullptr) << error.what();
            EXPECT_STREQ(error.what(), c.error);
        }
    }

    // An extension of a label nobody knows is passed over with a warning.
    std::vector<uint8_t> unknown = good;
    unknown.insert(unknown.begin() + 13, {0x21, 0x77, 3, 'a', 'b', 'c', 2, 'd', 'e', 0});
    {
        TGIFImage gif;
        LoadResult result = LoadGif(gif, unknown);
        ASSERT_EQ(gif.Count(), 1);
        EXPECT_EQ(gif.GetSubImage(0).IndexData(), source.GetSubImage(0).IndexData());
        EXPECT_EQ(result.warnings, (std::vector<std::string>{"Unknown extension type"}));
    }

    // A zero-size descriptor gives an empty frame, whatever data follows;
    // an unknown block ends the frame list with a warning.
    std::vector<uint8_t> zero = HandMadeGif(2, 2, 2, PackCodes({{4, 3}, {1, 3}, {1, 3}, {1, 3}, {1, 3}, {5, 3}}));
    zero[30] = zero[31] = 0;  // descriptor width
    zero.insert(zero.end() - 1, {0x99});
    TGIFImage gif;
    LoadResult result = LoadGif(gif, zero);
    ASSERT_EQ(gif.Count(), 1);
    EXPECT_EQ(gif.GetSubImage(0).Width(), 0);
    EXPECT_TRUE(gif.GetSubImage(0).Empty());
    EXPECT_EQ(gif.Width(), 2);
    EXPECT_EQ(result.warnings, (std::vector<std::string>{"Image has no pixels", "Unknown GIF block type",
                                                         "Invalid Image trailer"}));

    // A descriptor without any image data still gives its frame, at the
    // fill value.
    std::vector<uint8_t> bare = HandMadeGif(3, 1, 2, {});
    bare.erase(bare.end() - 2);  // the minimum code size: the trailer follows the descriptor
    TGIFImage noData;
    LoadGif(noData, bare);
    ASSERT_EQ(noData.Count(), 1);
    EXPECT_EQ(noData.GetSubImage(0).IndexData(), (std::vector<uint8_t>{0, 0, 0}));
}
