// Resampling and rotation: exact cases, sizes, and comparisons with
// ImageMagick's -resize and -rotate on the same pixels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_proc.h"
#include "imaging/core/ie_resample.h"
#include "imaging/core/ie_rotate.h"
#include "imaging/core/tests/tool_support.h"

using namespace imaging_test;

namespace {

// An ImageMagick plasma picture as raw r, g, b bytes.
std::vector<uint8_t> Plasma(const std::filesystem::path& folder, int32_t w, int32_t h) {
    auto raw = folder / "plasma.rgb";
    int status = 0;
    RunCommand("convert -size " + std::to_string(w) + "x" + std::to_string(h) + " -seed 11 plasma: -depth 8 rgb:" +
                   raw.string(),
               &status);
    EXPECT_EQ(status, 0);
    return ReadBytes(raw);
}

// Raw r, g, b into an ie24RGB bitmap (b, g, r) and back.
void FromRGB(TIEBitmap& bitmap, const std::vector<uint8_t>& rgb, int32_t w, int32_t h) {
    bitmap.Allocate(w, h, ie24RGB);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const uint8_t* p = &rgb[3 * (static_cast<size_t>(y) * w + x)];
            bitmap.SetPixelTRGB(x, y, TRGB{p[2], p[1], p[0]});
        }
}

std::vector<uint8_t> ToRGB(TIEBitmap& bitmap) {
    std::vector<uint8_t> rgb;
    for (int32_t y = 0; y < bitmap.GetHeight(); ++y)
        for (int32_t x = 0; x < bitmap.GetWidth(); ++x) {
            TRGB c = bitmap.GetPixelRGB(x, y);
            rgb.insert(rgb.end(), {c.r, c.g, c.b});
        }
    return rgb;
}

// ImageMagick's result of an operation on raw rgb, with its size.
std::vector<uint8_t> Magick(const std::filesystem::path& folder, int32_t w, int32_t h, const std::string& operation,
                            int32_t& outW, int32_t& outH) {
    auto in = folder / "in.rgb", out = folder / "out.rgb";
    int status = 0;
    RunCommand("convert -size " + std::to_string(w) + "x" + std::to_string(h) + " -depth 8 rgb:" + in.string() + " " +
                   operation + " -depth 8 rgb:" + out.string(),
               &status);
    EXPECT_EQ(status, 0);
    std::string size = RunCommand("convert -size " + std::to_string(w) + "x" + std::to_string(h) + " -depth 8 rgb:" +
                                  in.string() + " " + operation + " -format '%w %h' info:");
    std::sscanf(size.c_str(), "%d %d", &outW, &outH);
    return ReadBytes(out);
}

double MeanError(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a.size() != b.size() || a.empty()) return 1e9;
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i) sum += std::abs(int(a[i]) - int(b[i]));
    return sum / static_cast<double>(a.size());
}

// The centred w x h part of an rgb picture of size sw x sh.
std::vector<uint8_t> Centre(const std::vector<uint8_t>& rgb, int32_t sw, int32_t sh, int32_t w, int32_t h) {
    std::vector<uint8_t> out;
    const int32_t x0 = (sw - w) / 2, y0 = (sh - h) / 2;
    for (int32_t y = 0; y < h; ++y)
        out.insert(out.end(), rgb.begin() + 3 * ((y + y0) * sw + x0), rgb.begin() + 3 * ((y + y0) * sw + x0 + w));
    return out;
}

}  // namespace

TEST(RotateToolsTest, QuarterTurnsEqualImageMagick) {
    REQUIRE_TOOL("convert");
    auto folder = FixtureFolder("rotate_quarter");
    auto rgb = Plasma(folder, 200, 100);
    WriteBytes(folder / "in.rgb", rgb.data(), rgb.size());
    // ImageMagick turns clockwise for positive angles.
    for (double angle : {90.0, -90.0, 180.0, 450.0}) {
        SCOPED_TRACE(angle);
        for (bool antiAlias : {false, true}) {
            TIEBitmap bitmap;
            FromRGB(bitmap, rgb, 200, 100);
            TVidurErProc proc;
            proc.SetAttachedIEBitmap(&bitmap);
            proc.Rotate(angle, antiAlias, 1, clWhite);
            int32_t w = 0, h = 0;
            auto expected = Magick(folder, 200, 100, "-rotate " + std::to_string(-angle), w, h);
            ASSERT_EQ(bitmap.GetWidth(), w);
            ASSERT_EQ(bitmap.GetHeight(), h);
            EXPECT_TRUE(ToRGB(bitmap) == expected);
        }
    }
}

TEST(RotateToolsTest, ThirtyDegreesHasTheGrownSizesAndFollowsImageMagick) {
    REQUIRE_TOOL("convert");
    auto folder = FixtureFolder("rotate_thirty");
    auto rgb = Plasma(folder, 100, 100);
    WriteBytes(folder / "in.rgb", rgb.data(), rgb.size());
    int32_t mw = 0, mh = 0;
    auto expected = Magick(folder, 100, 100, "-background white -rotate -30", mw, mh);
    struct Case {
        bool antiAlias;
        uint8_t mode;
        int32_t width, height;
        double maxError;
    };
    const Case cases[] = {
        {false, 0, 138, 137, 14.0},  // three shears, nearest
        {true, 0, 138, 137, 12.0},   // three shears, blended
        {true, 1, 137, 137, 10.0},   // bilinear
        {true, 2, 137, 137, 10.0},   // bicubic
        {true, 7, 137, 137, 10.0},   // an unknown mode samples bilinearly
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.antiAlias << " mode " << int(c.mode));
        TIEBitmap bitmap;
        FromRGB(bitmap, rgb, 100, 100);
        TVidurErProc proc;
        proc.SetAttachedIEBitmap(&bitmap);
        proc.Rotate(30, c.antiAlias, c.mode, clWhite);
        ASSERT_EQ(bitmap.GetWidth(), c.width);
        ASSERT_EQ(bitmap.GetHeight(), c.height);
        // The inner part both images cover, away from the edges where the
        // two ways of sizing the canvas place the corners differently.
        const int32_t side = 80;
        auto ours = Centre(ToRGB(bitmap), c.width, c.height, side, side);
        auto theirs = Centre(expected, mw, mh, side, side);
        double error = MeanError(ours, theirs);
        RecordProperty("error", std::to_string(error));
        EXPECT_LT(error, c.maxError);
        // Corners stay background.
        EXPECT_EQ(bitmap.GetPixelRGB(0, 0), (TRGB{255, 255, 255}));
    }
}

TEST(RotateTest, UnblendedShearsCopyBytesUnchanged) {
    // A uniform odd byte must come through a blend-free shear as it was.
    TIEBitmap bitmap(40, 30, ie24RGB);
    bitmap.Fill(0x0B0B0B);
    IERotate(bitmap, true, nullptr, TIEProgressEvent(), TRGB{11, 11, 11}, 12.3456);
    for (int32_t y = 0; y < bitmap.GetHeight(); ++y)
        for (int32_t x = 0; x < bitmap.GetWidth(); ++x) ASSERT_EQ(bitmap.GetPixelTRGB(x, y), (TRGB{11, 11, 11}));
}

TEST(RotateTest, AlphaFollowsTheImageAndOneBitImagesTurnExactly) {
    TIEBitmap image(60, 40, ie24RGB);
    image.Fill(0x336699);
    image.GetAlphaChannel()->Fill(200);
    for (uint8_t mode : {0, 1, 2}) {
        TIEBitmap bitmap;
        bitmap.Assign(image);
        TVidurErProc proc;
        proc.SetAttachedIEBitmap(&bitmap);
        proc.Rotate(33, true, mode, clBlack);
        TIEBitmap* alpha = bitmap.GetAlphaChannel();
        EXPECT_EQ(alpha->GetWidth(), bitmap.GetWidth());
        EXPECT_EQ(alpha->GetHeight(), bitmap.GetHeight());
        EXPECT_EQ(bitmap.GetAlpha(0, 0), 0);
        EXPECT_EQ(bitmap.GetAlpha(bitmap.GetWidth() / 2, bitmap.GetHeight() / 2), 200);
    }

    TIEBitmap bits(13, 5, ie1g);
    bits.Fill(0);
    bits.FillRect(0, 0, 0, 0, 1);
    bits.FillRect(12, 1, 12, 1, 1);
    TIEBitmap turned;
    turned.Assign(bits);
    IERotate1Bit(turned, false, nullptr, TIEProgressEvent(), 180);
    ASSERT_EQ(turned.GetWidth(), 13);
    EXPECT_EQ(turned.GetPixelRGB(12, 4), (TRGB{255, 255, 255}));
    EXPECT_EQ(turned.GetPixelRGB(0, 3), (TRGB{255, 255, 255}));
    EXPECT_EQ(turned.GetPixelRGB(0, 4), (TRGB{0, 0, 0}));
    turned.Assign(bits);
    IERotate1Bit(turned, false, nullptr, TIEProgressEvent(), 45);
    EXPECT_EQ(turned.GetWidth(), static_cast<int32_t>(13 * 0.7071 + 5 * 0.7071));
    EXPECT_EQ(turned.GetHeight(), static_cast<int32_t>(13 * 0.7071 + 5 * 0.7071));
}

TEST(ResampleTest, KernelsSampledAtWholeDistancesReproduceTheImage) {
    TIEBitmap source(7, 5, ie24RGB);
    for (int32_t y = 0; y < 5; ++y)
        for (int32_t x = 0; x < 7; ++x)
            source.SetPixelTRGB(x, y, TRGB{uint8_t(x * 30), uint8_t(y * 50), uint8_t((x * y * 13) % 256)});
    struct Case {
        TResampleFilter filter;
        bool exact;
    };
    for (Case c : {Case{rfLanczos3, true}, Case{rfTriangle, true}, Case{rfBSpline, false}, Case{rfMitchell, false}}) {
        SCOPED_TRACE(int(c.filter));
        TIEBitmap dest(7, 5, ie24RGB);
        IEResample(source, dest, c.filter, TIEProgressEvent(), nullptr);
        EXPECT_EQ(ToRGB(dest) == ToRGB(source), c.exact);
    }

    // 2 to 5 pixels with the triangle: the ends land exactly, the middle is
    // the mean.
    TIEBitmap two(2, 1, ie24RGB);
    two.SetPixelTRGB(0, 0, TRGB{0, 100, 200});
    two.SetPixelTRGB(1, 0, TRGB{200, 100, 0});
    TIEBitmap five(5, 1, ie24RGB);
    IEResample(two, five, rfTriangle, TIEProgressEvent(), nullptr);
    EXPECT_EQ(five.GetPixelTRGB(0, 0), (TRGB{0, 100, 200}));
    EXPECT_EQ(five.GetPixelTRGB(4, 0), (TRGB{200, 100, 0}));
    EXPECT_EQ(five.GetPixelTRGB(2, 0), (TRGB{100, 100, 100}));

    // Fast linear copies only at scale 1; rfNone keeps palette indices.
    TIEBitmap same(7, 5, ie24RGB);
    IEResample(source, same, rfFastLinear, TIEProgressEvent(), nullptr);
    EXPECT_TRUE(ToRGB(same) == ToRGB(source));
    TIEBitmap indices(3, 1, ie8p);
    for (int32_t x = 0; x < 3; ++x) indices.SetPixelByte(x, 0, uint8_t(40 + x));
    TIEBitmap wider(6, 1, ie8p);
    IEResample(indices, wider, rfNone, TIEProgressEvent(), nullptr);
    EXPECT_EQ(wider.GetPixelByte(5, 0), 42);
    EXPECT_EQ(wider.GetPixelByte(1, 0), 40);
}

TEST(ResampleTest, OneBitAndUnfilteredFormatsGetRealPixels) {
    TIEBitmap bits(16, 16, ie1g);
    bits.Fill(0);
    bits.FillRect(0, 0, 7, 15, 1);
    TIEBitmap gray(8, 8, ie1g);
    IEResample(bits, gray, rfLanczos3, TIEProgressEvent(), nullptr);
    ASSERT_EQ(gray.GetPixelFormat(), ie24RGB);
    EXPECT_EQ(gray.GetPixelTRGB(0, 3), (TRGB{255, 255, 255}));
    EXPECT_EQ(gray.GetPixelTRGB(7, 3), (TRGB{0, 0, 0}));
    TIEBitmap projected(4, 4, ie1g);
    IEResample(bits, projected, rfProjectBW, TIEProgressEvent(), nullptr);
    EXPECT_EQ(projected.GetPixelFormat(), ie1g);

    // Formats the filters do not write go through 24 bits and come back.
    for (TIEPixelFormat format : {ie16g, ieRGB48, ie32RGB, ieCMYK, ie32f}) {
        SCOPED_TRACE(int(format));
        TIEBitmap source(10, 10, format);
        const double white = format == ie32f ? 1.0 : 0xFFFFFF;
        source.Fill(white);
        source.FillRect(0, 0, 9, 4, 0);
        TIEBitmap dest(5, 5, format);
        dest.Fill(format == ie32f ? 0.5 : 0x808080);
        IEResample(source, dest, rfTriangle, TIEProgressEvent(), nullptr);
        ASSERT_EQ(dest.GetPixelFormat(), format);
        EXPECT_EQ(dest.GetPixelRGB(2, 0), (TRGB{0, 0, 0}));
        EXPECT_EQ(dest.GetPixelRGB(2, 4), (TRGB{255, 255, 255}));
    }
}

TEST(ResampleToolsTest, LanczosDownscaleFollowsImageMagick) {
    REQUIRE_TOOL("convert");
    auto folder = FixtureFolder("resample_lanczos");
    const int32_t w = 4000, h = 3000;
    auto rgb = Plasma(folder, w, h);
    WriteBytes(folder / "in.rgb", rgb.data(), rgb.size());
    TIEBitmap bitmap;
    FromRGB(bitmap, rgb, w, h);
    TVidurErProc proc;
    proc.SetAttachedIEBitmap(&bitmap);
    proc.Resample(400, 300, rfLanczos3);
    int32_t mw = 0, mh = 0;
    auto expected = Magick(folder, w, h, "-filter Lanczos -resize 400x300!", mw, mh);
    ASSERT_EQ(bitmap.GetWidth(), 400);
    ASSERT_EQ(bitmap.GetHeight(), 300);
    double error = MeanError(ToRGB(bitmap), expected);
    RecordProperty("error", std::to_string(error));
    EXPECT_LT(error, 2.0);
}

TEST(ResampleTest, AreaInterpolationAveragesWhenReducingAndKeepsTheSameSize) {
    for (TIEPixelFormat format : {ie24RGB, ie8g, ie16g, ieRGB48}) {
        for (TResampleFilter filter : {rfBilinear, rfBicubic}) {
            SCOPED_TRACE(testing::Message() << int(format) << " " << int(filter));
            TIEBitmap source(6, 4, format);
            for (int32_t y = 0; y < 4; ++y)
                for (int32_t x = 0; x < 6; ++x) source.FillRect(x, y, x, y, (x + 6 * y) * 10 * 0x010101);
            TIEBitmap same(6, 4, format);
            IEResample(source, same, filter, TIEProgressEvent(), nullptr);
            for (int32_t y = 0; y < 4; ++y)
                for (int32_t x = 0; x < 6; ++x) ASSERT_EQ(same.GetPixelRGB(x, y), source.GetPixelRGB(x, y));
            // Halving: each pixel is the mean of its 2 x 2 block.
            TIEBitmap half(3, 2, format);
            IEResample(source, half, filter, TIEProgressEvent(), nullptr);
            const int expected = ((0 + 1 + 6 + 7) * 10) / 4;
            if (format == ie8g || format == ie24RGB) EXPECT_EQ(half.GetPixelRGB(0, 0).g, expected);
            else EXPECT_NEAR(half.GetPixelRGB(0, 0).g, expected, 1);
            // Enlarging samples at pixel centres: the corners keep the
            // corner pixels, the pixels between them lie between them (the
            // cubic overshoots near edges, as cubics do).
            TIEBitmap large(12, 8, format);
            IEResample(source, large, filter, TIEProgressEvent(), nullptr);
            if (filter == rfBicubic) continue;
            EXPECT_NEAR(large.GetPixelRGB(0, 0).g, source.GetPixelRGB(0, 0).g, 1);
            EXPECT_NEAR(large.GetPixelRGB(11, 7).g, source.GetPixelRGB(5, 3).g, 1);
            EXPECT_GT(large.GetPixelRGB(2, 0).g, source.GetPixelRGB(0, 0).g);
            EXPECT_LT(large.GetPixelRGB(2, 0).g, source.GetPixelRGB(2, 0).g);
        }
    }
}

TEST(ResampleTest, EnlargingKeepsThePictureInPlace) {
    // One bright pixel in the middle of 5 x 5, made three times larger:
    // whatever the filter, the result is mirror-symmetric about its centre.
    TIEBitmap dot(5, 5, ie24RGB);
    dot.Fill(0);
    dot.SetPixelTRGB(2, 2, TRGB{200, 200, 200});
    for (TResampleFilter filter : {rfBilinear, rfBicubic, rfFastLinear, rfTriangle}) {
        SCOPED_TRACE(int(filter));
        TIEBitmap large(15, 15, ie24RGB);
        IEResample(dot, large, filter, TIEProgressEvent(), nullptr);
        int asymmetry = 0;
        for (int32_t y = 0; y < 15; ++y)
            for (int32_t x = 0; x < 15; ++x) {
                const int v = large.GetPixelRGB(x, y).g;
                asymmetry = std::max({asymmetry, std::abs(v - large.GetPixelRGB(14 - x, y).g),
                                      std::abs(v - large.GetPixelRGB(x, 14 - y).g)});
            }
        EXPECT_LE(asymmetry, 1);
        EXPECT_EQ(large.GetPixelRGB(7, 7).g, 200);
    }
}

TEST(ResampleTest, FastLinearReductionKeepsTheMeanOfFineDetail) {
    // A checkerboard of single pixels, reduced four times: mid-grey.
    TIEBitmap board(32, 32, ie24RGB);
    for (int32_t y = 0; y < 32; ++y)
        for (int32_t x = 0; x < 32; ++x) board.SetPixelTRGB(x, y, (x + y) % 2 ? TRGB{255, 255, 255} : TRGB{0, 0, 0});
    TIEBitmap small(8, 8, ie24RGB);
    IEResample(board, small, rfFastLinear, TIEProgressEvent(), nullptr);
    double sum = 0;
    for (int32_t y = 0; y < 8; ++y)
        for (int32_t x = 0; x < 8; ++x) sum += small.GetPixelRGB(x, y).g;
    EXPECT_NEAR(sum / 64, 127.5, 1.0);
}

TEST(ResampleTest, TransparentPixelsBleedNoColour) {
    // An opaque red square on transparent green: after resampling, every
    // pixel that shows at all is red, at the edges too.
    TIEBitmap picture(16, 16, ie24RGB);
    picture.Fill(0);
    TIEBitmap* alpha = picture.GetAlphaChannel();
    for (int32_t y = 0; y < 16; ++y)
        for (int32_t x = 0; x < 16; ++x) {
            const bool inside = x >= 4 && x < 12 && y >= 4 && y < 12;
            picture.SetPixelTRGB(x, y, inside ? TRGB{0, 0, 255} : TRGB{0, 255, 0});
            alpha->GetScanline(y)[x] = inside ? 255 : 0;
        }
    picture.SetFullOpacity(false);
    const std::vector<uint8_t> before = ToRGB(picture);
    for (TResampleFilter filter : {rfBilinear, rfBicubic, rfFastLinear, rfTriangle, rfLanczos3}) {
        for (int32_t size : {11, 27}) {
            SCOPED_TRACE(testing::Message() << int(filter) << " to " << size);
            TIEBitmap dst(size, size, ie24RGB);
            IEResample(picture, dst, filter, TIEProgressEvent(), nullptr);
            ASSERT_TRUE(dst.GetHasAlphaChannel());
            int worst = 0, edges = 0;
            for (int32_t y = 0; y < size; ++y)
                for (int32_t x = 0; x < size; ++x) {
                    const int a = dst.GetAlphaChannel()->GetScanline(y)[x];
                    if (a < 16) continue;  // too faint to carry a colour in 8 bits
                    edges += a < 255;
                    const TRGB c = dst.GetPixelRGB(x, y);
                    worst = std::max({worst, 255 - c.r, int(c.g), int(c.b)});
                }
            EXPECT_GT(edges, 0);
            EXPECT_LE(worst, 8);
        }
    }
    EXPECT_EQ(ToRGB(picture), before);  // the source is left as it was
}

TEST(ResampleToolsTest, InterpolatedEnlargementFollowsImageMagick) {
    REQUIRE_TOOL("convert");
    auto folder = FixtureFolder("resample_enlarge");
    const int32_t w = 20, h = 15;
    auto rgb = Plasma(folder, w, h);
    WriteBytes(folder / "in.rgb", rgb.data(), rgb.size());
    int32_t mw = 0, mh = 0;
    // Enlarging, ImageMagick's triangle filter is bilinear interpolation
    // between pixel centres.
    auto expected = Magick(folder, w, h, "-filter Triangle -resize 300%", mw, mh);
    for (TResampleFilter filter : {rfBilinear, rfFastLinear}) {
        SCOPED_TRACE(int(filter));
        TIEBitmap source;
        FromRGB(source, rgb, w, h);
        TIEBitmap large(3 * w, 3 * h, ie24RGB);
        IEResample(source, large, filter, TIEProgressEvent(), nullptr);
        ASSERT_EQ(mw, 3 * w);
        EXPECT_LT(MeanError(ToRGB(large), expected), 1.0);
    }
}
