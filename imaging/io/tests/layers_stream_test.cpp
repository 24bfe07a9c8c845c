// Layered pictures ("RIDIREVARAVIZ") of every version, written by a helper
// that follows the stream's layout, read into a view.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/core/ie_compose.h"
#include "imaging/core/ie_layers_stream.h"
#include "imaging/core/ie_mask.h"
#include "imaging/core/ie_view.h"
#include "imaging/core/tests/tool_support.h"
#include "imaging/io/ie_vidurer_io.h"
#include "imaging/io/tests/view_test_loader.h"
#include "platform/zstream.h"

using namespace imaging_test;

namespace {

struct TLayerSpec {
    bool Visible = true, ShowBox = true;
    int32_t Transparency = 255, PosX = 0, PosY = 0;
    bool Cropped = false, Locked = false, Magnify = false;
    double MagnifyRate = 2.0;
    uint8_t MagnifyShape = 0, MagnifySource = 1, Operation = 0;
    int32_t Width = 0, Height = 0;
    uint8_t Filter = 0;
    bool UseFilter = false;
    std::string Name;
    std::vector<uint8_t> UserData;
    bool IsMask = false, Selectable = true, ShadeOutside = false;
    TIEBitmap* Image = nullptr;
};

void PutI32(std::vector<uint8_t>& out, int32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i)));
}
void PutU8(std::vector<uint8_t>& out, uint8_t v) { out.push_back(v); }
void PutF64(std::vector<uint8_t>& out, double v) {
    uint8_t bytes[8];
    std::memcpy(bytes, &v, 8);
    out.insert(out.end(), bytes, bytes + 8);
}

std::vector<uint8_t> EncodeImage(TIEBitmap& image, int32_t format) {
    std::vector<uint8_t> out;
    if (format == -1) {
        TMemoryStream raw;
        IESaveRawBitmap(image, raw);
        const std::vector<uint8_t> packed = ZCompress(raw.Memory(), static_cast<size_t>(raw.GetSize()));
        PutI32(out, static_cast<int32_t>(packed.size()));
        out.insert(out.end(), packed.begin(), packed.end());
        return out;
    }
    TMemoryStream png;
    TIOParamsVals params;
    if (image.GetPixelFormat() == ie8g) params.SamplesPerPixel = 1;
    TIEProgressRec progress;
    std::unique_ptr<TIEMask> alpha;
    if (image.GetHasAlphaChannel()) {
        alpha = std::make_unique<TIEMask>();
        alpha->AllocateBits(image.GetWidth(), image.GetHeight(), 8);
        for (int32_t y = 0; y < image.GetHeight(); ++y)
            for (int32_t x = 0; x < image.GetWidth(); ++x) alpha->SetPixel(x, y, image.GetAlpha(x, y));
    }
    IEWritePNGStream(png, image, params, alpha.get(), progress);
    return png.Bytes();
}

// The layout of the stream: the header, the records one after the other
// (the reader goes back to the end of each record after reading its image),
// then the images, in layer order or in reverse.
std::vector<uint8_t> WriteLayersStream(int32_t version, int32_t format, const std::vector<TLayerSpec>& layers,
                                       bool reversed) {
    std::vector<uint8_t> out;
    const char magic[] = "RIDIREVARAVIZ";
    out.insert(out.end(), magic, magic + 13);
    PutI32(out, version);
    PutI32(out, format);
    PutI32(out, static_cast<int32_t>(layers.size()));
    std::vector<size_t> positionFields;
    auto putImage = [&](size_t layer) {
        const size_t at = out.size();
        for (int i = 0; i < 8; ++i) out[positionFields[layer] + static_cast<size_t>(i)] = static_cast<uint8_t>(uint64_t{at} >> (8 * i));
        const std::vector<uint8_t> image = EncodeImage(*layers[layer].Image, format);
        out.insert(out.end(), image.begin(), image.end());
    };
    for (size_t i = 0; i < layers.size(); ++i) {
        const TLayerSpec& l = layers[i];
        PutU8(out, l.Visible);
        PutU8(out, l.ShowBox);
        PutI32(out, l.Transparency);
        PutI32(out, l.PosX);
        PutI32(out, l.PosY);
        PutU8(out, l.Cropped);
        PutU8(out, l.Locked);
        PutU8(out, l.Magnify);
        PutF64(out, l.MagnifyRate);
        PutU8(out, l.MagnifyShape);
        if (version >= 3) PutU8(out, l.MagnifySource);
        PutU8(out, l.Operation);
        PutI32(out, l.Width);
        PutI32(out, l.Height);
        if (version >= 3) {
            PutU8(out, l.Filter);
            PutU8(out, l.UseFilter);
            PutI32(out, static_cast<int32_t>(l.Name.size()));
            out.insert(out.end(), l.Name.begin(), l.Name.end());
            PutI32(out, static_cast<int32_t>(l.UserData.size()));
            out.insert(out.end(), l.UserData.begin(), l.UserData.end());
            PutU8(out, l.IsMask);
        }
        if (version >= 4) PutU8(out, l.Selectable);
        if (version >= 6) PutU8(out, l.ShadeOutside);
        positionFields.push_back(out.size());
        PutI32(out, 0);
        PutI32(out, 0);
    }
    for (size_t i = 0; i < layers.size(); ++i) putImage(reversed ? layers.size() - 1 - i : i);
    return out;
}

void Pattern(TIEBitmap& bitmap, int32_t width, int32_t height, int seed, bool alpha) {
    bitmap.Allocate(width, height, ie24RGB);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            bitmap.SetPixelTRGB(x, y, TRGB{static_cast<uint8_t>(x * 7 + seed), static_cast<uint8_t>(y * 11),
                                           static_cast<uint8_t>(x * y + seed * 3)});
    if (alpha)
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x) bitmap.SetAlpha(x, y, static_cast<uint8_t>((x * 37 + y * 5) & 0xFF));
}

bool SamePixels(TIEBitmap& a, TIEBitmap& b) {
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight()) return false;
    for (int32_t y = 0; y < a.GetHeight(); ++y)
        for (int32_t x = 0; x < a.GetWidth(); ++x) {
            if (!(a.GetPixelRGB(x, y) == b.GetPixelRGB(x, y))) return false;
            if (a.GetHasAlphaChannel() != b.GetHasAlphaChannel()) return false;
            if (a.GetHasAlphaChannel() && a.GetAlpha(x, y) != b.GetAlpha(x, y)) return false;
        }
    return true;
}

// A base layer and one above it.
std::vector<TLayerSpec> TwoLayers(TIEBitmap& base, TIEBitmap& top) {
    std::vector<TLayerSpec> layers(2);
    layers[0].Image = &base;
    layers[1].Image = &top;
    return layers;
}

bool Load(TVidurErView& view, const std::vector<uint8_t>& bytes) {
    TMemoryStream stream(bytes);
    return view.LayersLoadFromStream(stream);
}

}  // namespace

TEST(LayersStream, EveryVersionLoadsWithTheDefaultsOfTheFieldsItLacks) {
    const TTestViewLoaderScope testLoaders;
    TIEBitmap base, top;
    Pattern(base, 30, 20, 1, false);
    Pattern(top, 12, 9, 2, true);
    std::vector<TLayerSpec> layers(2);
    layers[0].Image = &base;
    layers[0].Locked = true;
    TLayerSpec& l = layers[1];
    l.Image = &top;
    l.Visible = false, l.ShowBox = false, l.Transparency = 90, l.PosX = -4, l.PosY = 7, l.Cropped = true;
    l.Magnify = true, l.MagnifyRate = 3.5, l.MagnifyShape = 1, l.MagnifySource = 0, l.Operation = 2;
    l.Width = 24, l.Height = 18, l.Filter = static_cast<uint8_t>(rfLanczos3), l.UseFilter = true, l.Name = "logo";
    l.UserData = {1, 2, 3}, l.IsMask = false, l.Selectable = false, l.ShadeOutside = true;

    const auto folder = FixtureFolder("layers_stream");
    for (int32_t version : {1, 2, 3, 4, 5, 6, 9}) {
        for (int32_t format : {-1, kPNGFormat}) {
            for (bool reversed : {false, true}) {
                SCOPED_TRACE("version " + std::to_string(version) + " format " + std::to_string(format) +
                             (reversed ? " images in reverse" : " images in order"));
                const std::vector<uint8_t> bytes = WriteLayersStream(version, format, layers, reversed);
                if (!reversed) {
                    WriteBytes(folder / ("v" + std::to_string(version) + (format == -1 ? "-raw" : "-png") + ".layers"),
                               bytes.data(), bytes.size());
                }
                TMemoryStream probe(bytes);
                EXPECT_TRUE(IETryLayersStream(probe));
                EXPECT_EQ(probe.GetPosition(), 0);
                TVidurErView view(nullptr);
                ASSERT_TRUE(Load(view, bytes));
                ASSERT_EQ(view.GetLayersCount(), 2);
                EXPECT_EQ(view.GetLayersCurrent(), 1);
                EXPECT_TRUE(SamePixels(*view.GetLayer(0)->GetBitmap(), base));
                EXPECT_TRUE(SamePixels(*view.GetLayer(1)->GetBitmap(), top));
                // Only an input/output component that exists learns the size.
                EXPECT_EQ(view.HasVidurErIO(), format != -1);
                if (format != -1) {
                    EXPECT_EQ(TestLoaderOf(view).ParamsWidth, 30);
                }
                const TIELayer& got = *view.GetLayer(1);
                EXPECT_FALSE(got.Visible);
                EXPECT_FALSE(got.ShowBox);
                EXPECT_EQ(got.Transparency, 90);
                EXPECT_EQ(got.PosX, -4);
                EXPECT_EQ(got.PosY, 7);
                EXPECT_TRUE(got.Cropped);
                EXPECT_TRUE(got.Magnify);
                EXPECT_EQ(got.MagnifyRate, 3.5);
                EXPECT_EQ(got.MagnifyShape, 1);
                EXPECT_EQ(got.Operation, 2);
                EXPECT_EQ(got.Width, 24);
                EXPECT_EQ(got.Height, 18);
                const bool v3 = version >= 3, v4 = version >= 4, v6 = version >= 6;
                EXPECT_EQ(got.MagnifySource, v3 ? 0 : 1);
                EXPECT_EQ(got.ResampleFilter, v3 ? rfLanczos3 : rfNone);
                EXPECT_EQ(got.UseResampleFilter, v3);
                EXPECT_EQ(got.Name, v3 ? "logo" : "");
                EXPECT_EQ(got.UserData(), v3 ? (std::vector<uint8_t>{1, 2, 3}) : (std::vector<uint8_t>{}));
                EXPECT_EQ(got.Selectable, !v4);
                EXPECT_EQ(got.ShadeOutside, v6);
                EXPECT_EQ(got.ClientRect, TRect{});
            }
        }
    }
}

TEST(LayersStream, AMaskKeepsItsGrayFormatAndTheLayerCountIsExact) {
    const TTestViewLoaderScope testLoaders;
    TIEBitmap base, mask;
    Pattern(base, 16, 16, 3, false);
    mask.Allocate(16, 16, ie8g);
    for (int32_t y = 0; y < 16; ++y)
        for (int32_t x = 0; x < 16; ++x) mask.SetPixelByte(x, y, static_cast<uint8_t>(x * 16));
    std::vector<TLayerSpec> layers(3);
    layers[0].Image = &base;
    layers[1].Image = &base;
    layers[2].Image = &mask;
    layers[2].IsMask = true;
    TVidurErView view(nullptr);
    for (int i = 0; i < 4; ++i) view.LayersAdd();
    ASSERT_EQ(view.GetLayersCount(), 5);
    ASSERT_TRUE(Load(view, WriteLayersStream(6, kPNGFormat, layers, false)));
    ASSERT_EQ(view.GetLayersCount(), 3);
    EXPECT_EQ(view.GetLayer(2)->GetBitmap()->GetPixelFormat(), ie8g);
    EXPECT_EQ(view.GetLayer(0)->GetBitmap()->GetPixelFormat(), ie24RGB);
    EXPECT_FALSE(TestLoaderOf(view).GetNativePixelFormat());  // restored after the mask
    EXPECT_TRUE(SamePixels(*view.GetLayer(2)->GetBitmap(), mask));

    // No layers: layer 0 stays as it was.
    const uint8_t before = view.GetLayer(0)->GetBitmap()->GetPixelByte(5, 5);
    ASSERT_TRUE(Load(view, WriteLayersStream(6, -1, {}, false)));
    EXPECT_EQ(view.GetLayersCount(), 1);
    EXPECT_EQ(view.GetLayer(0)->GetBitmap()->GetWidth(), 16);
    EXPECT_EQ(view.GetLayer(0)->GetBitmap()->GetPixelByte(5, 5), before);
}

// The input/output component loads a layered picture (file type 26) by its
// name, its content or a stream into the view it works for.
TEST(LayersStream, TheComponentLoadsLayersIntoItsView) {
    TIEBitmap base, top;
    Pattern(base, 20, 10, 5, false);
    Pattern(top, 6, 4, 6, true);
    std::vector<TLayerSpec> layers = TwoLayers(base, top);
    layers[1].PosX = 3;
    const std::vector<uint8_t> bytes = WriteLayersStream(6, kPNGFormat, layers, false);
    const auto folder = FixtureFolder("layers_component");
    const std::string file = (folder / "picture.lyr").string();
    WriteBytes(folder / "picture.lyr", bytes.data(), bytes.size());
    WriteBytes(folder / "picture.bin", bytes.data(), bytes.size());

    for (int road = 0; road < 3; ++road) {
        SCOPED_TRACE(road);
        TVidurErView view;
        auto* io = dynamic_cast<TVidurErIO*>(view.GetVidurErIO());
        ASSERT_NE(io, nullptr);
        if (road == 0) io->LoadFromFile(file);
        if (road == 1) io->LoadFromFileByContent((folder / "picture.bin").string());
        if (road == 2) {
            TMemoryStream stream(bytes);
            io->LoadFromStream(stream);
        }
        EXPECT_FALSE(io->AbortFlag) << io->LastError();
        EXPECT_EQ(io->ImageParams.FileType, 26);
        ASSERT_EQ(view.GetLayersCount(), 2);
        EXPECT_TRUE(SamePixels(*view.GetLayer(0)->GetBitmap(), base));
        EXPECT_TRUE(SamePixels(*view.GetLayer(1)->GetBitmap(), top));
        EXPECT_EQ(view.GetLayer(1)->PosX, 3);
    }
    // A layer whose image is the layers file itself (its image position
    // 0, its format found from the content) is refused, not read forever.
    {
        std::vector<uint8_t> nested = WriteLayersStream(6, kPNGFormat, {layers[0]}, false);
        const uint8_t png[] = {0x89, 'P', 'N', 'G'};
        const auto image = std::search(nested.begin(), nested.end(), std::begin(png), std::end(png));
        ASSERT_NE(image, nested.end());
        uint8_t position[8] = {};
        const uint64_t offset = static_cast<uint64_t>(image - nested.begin());
        for (int i = 0; i < 8; ++i) position[i] = static_cast<uint8_t>(offset >> (8 * i));
        const auto field = std::search(nested.begin(), image, std::begin(position), std::end(position));
        ASSERT_NE(field, image);
        std::fill(field, field + 8, uint8_t{0});
        std::fill(nested.begin() + 17, nested.begin() + 21, uint8_t{0});  // the images' format: by content
        TVidurErView view;
        auto* io = dynamic_cast<TVidurErIO*>(view.GetVidurErIO());
        ASSERT_NE(io, nullptr);
        TMemoryStream stream(nested);
        EXPECT_THROW(io->LoadFromStream(stream), Exception);
        EXPECT_EQ(io->ImageParams.FileType, 26);
    }
    // Without a view there is nowhere to put layers: nothing is loaded.
    TVidurErIO alone;
    alone.LoadFromFile(file);
    EXPECT_EQ(alone.Bitmap()->GetWidth(), 0);
}

TEST(LayersStream, OtherStreamsAndVersionZeroAreRefused) {
    const TTestViewLoaderScope testLoaders;
    TIEBitmap base;
    Pattern(base, 8, 8, 4, false);
    std::vector<TLayerSpec> layers(1);
    layers[0].Image = &base;
    std::vector<uint8_t> bytes = WriteLayersStream(6, -1, layers, false);
    TVidurErView view(nullptr);
    view.LayersAdd();
    std::vector<uint8_t> wrong = bytes;
    wrong[0] = 'X';
    TMemoryStream wrongStream(wrong);
    EXPECT_FALSE(IETryLayersStream(wrongStream));
    EXPECT_FALSE(Load(view, wrong));
    EXPECT_EQ(view.GetLayersCount(), 2);
    std::vector<uint8_t> zero = bytes;
    std::memset(zero.data() + 13, 0, 4);
    TMemoryStream zeroStream(zero);
    EXPECT_FALSE(IETryLayersStream(zeroStream));
    EXPECT_FALSE(Load(view, zero));
    EXPECT_EQ(view.GetLayersCount(), 2);
    TMemoryStream shortStream(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 24));
    EXPECT_FALSE(IETryLayersStream(shortStream));
}

TEST(LayersStream, TruncatedStreamsFailCleanlyKeepingWhatWasRead) {
    const TTestViewLoaderScope testLoaders;
    TIEBitmap base, top;
    Pattern(base, 20, 14, 5, false);
    Pattern(top, 9, 9, 6, true);
    std::vector<TLayerSpec> layers = TwoLayers(base, top);
    layers[1].Name = "top";
    for (int32_t format : {-1, kPNGFormat}) {
        for (bool reversed : {false, true}) {
            const std::vector<uint8_t> bytes = WriteLayersStream(6, format, layers, reversed);
            for (size_t cut = 17; cut < bytes.size(); cut += std::max<size_t>(1, bytes.size() / 97)) {
                SCOPED_TRACE("format " + std::to_string(format) + " cut at " + std::to_string(cut));
                TVidurErView view(nullptr);
                const std::vector<uint8_t> part(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(cut));
                if (format == -1) {
                    EXPECT_THROW(Load(view, part), Exception);
                } else {
                    // The PNG reader keeps the rows of a picture cut short
                    // without calling it an error; all else fails.
                    try {
                        Load(view, part);
                        EXPECT_EQ(view.GetLayersCount(), 2);
                    } catch (const Exception&) {
                    }
                }
                EXPECT_GE(view.GetLayersCount(), 1);
            }
        }
    }
    // A negative display size is damage, not a size to draw at.
    for (int side = 0; side < 2; ++side) {
        std::vector<TLayerSpec> damaged = TwoLayers(base, top);
        (side == 0 ? damaged[1].Width : damaged[1].Height) = -1896217573;
        TVidurErView view(nullptr);
        EXPECT_THROW(Load(view, WriteLayersStream(6, -1, damaged, false)), Exception);
    }
}
