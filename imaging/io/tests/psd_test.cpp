// Photoshop documents: files ImageMagick makes read like ImageMagick reads
// them, ours read back in ImageMagick, layers and masks round trip, and
// damaged files are refused.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_view.h"
#include "imaging/io/ie_psd.h"
#include "imaging/io/ie_vidurer_io.h"
#include "imaging/io/tests/rgba_support.h"

namespace {

using imaging_test::FixtureFolder;
using imaging_test::MagickRGBA;
using imaging_test::OurRGBA;
using imaging_test::ReadBytes;
using imaging_test::RunCommand;

struct TRead {
    TIEBitmap bitmap;
    TIELayerList layers;
    TIOParamsVals params;
    bool abort = false;
    std::string failure;
};

void ReadFile(const std::filesystem::path& file, TRead& read, bool loadLayers, bool native = false) {
    TMemoryStream stream(ReadBytes(file));
    TIEProgressRec progress;
    progress.AbortFlag = &read.abort;
    read.params.NativePixelFormat = native;
    IEReadPSDStream(stream, &read.bitmap, read.params, progress, loadLayers, &read.layers, &read.failure);
}

std::vector<uint8_t> WriteDocument(TIEBitmap* bitmap, const std::vector<TIELayer*>& layers, bool* abort = nullptr) {
    TMemoryStream stream;
    TIOParamsVals params;
    params.SetDpiX(150);
    params.SetDpiY(150);
    bool failed = false;
    TIEProgressRec progress;
    progress.AbortFlag = abort ? abort : &failed;
    IEWritePSDStream(stream, params, progress, bitmap, layers);
    return stream.TakeBytes();
}

int MaxDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a.size() != b.size()) return 256;
    int worst = 0;
    for (size_t i = 0; i < a.size(); ++i) worst = std::max(worst, std::abs(int(a[i]) - int(b[i])));
    return worst;
}

// A colourful test picture with a soft alpha ramp when asked.
void Paint(TIEBitmap& bitmap, int32_t w, int32_t h, bool alpha) {
    bitmap.Allocate(w, h, ie24RGB);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            bitmap.SetPixelTRGB(x, y, TRGB{uint8_t(x * 255 / w), uint8_t(y * 255 / h), uint8_t((x * 7 + y * 13) % 256)});
    if (alpha)
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) bitmap.GetAlphaChannel()->SetPixelByte(x, y, uint8_t(x * 255 / (w - 1)));
}

// Layers as identify -verbose lists them: name and page geometry of each
// frame after the first (the composite).
struct TLayerInfo {
    std::string name;
    int32_t width, height, x, y;
};
std::vector<TLayerInfo> IdentifyLayers(const std::filesystem::path& file) {
    const std::string text = RunCommand("identify -format '%[label]|%w|%h|%X|%Y\\n' '" + file.string() + "' 2>/dev/null");
    std::vector<TLayerInfo> layers;
    std::stringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> f;
        std::stringstream fields(line);
        for (std::string field; std::getline(fields, field, '|');) f.push_back(field);
        if (f.size() == 5) layers.push_back({f[0], std::stoi(f[1]), std::stoi(f[2]), std::stoi(f[3]), std::stoi(f[4])});
    }
    if (!layers.empty()) layers.erase(layers.begin());
    return layers;
}

}  // namespace

TEST(PSD, PackBitsRunsAndLiterals) {
    std::vector<uint8_t> row = {7, 7, 7, 1, 2};
    std::vector<uint8_t> packed;
    IEPackBitsRow(row.data(), 5, packed);
    EXPECT_EQ(packed, (std::vector<uint8_t>{4, 7, 7, 7, 1, 2}));  // three equal bytes stay literal

    std::vector<uint8_t> long_run(200, 9);
    packed.clear();
    IEPackBitsRow(long_run.data(), 200, packed);
    EXPECT_EQ(packed, (std::vector<uint8_t>{uint8_t(1 - 128), 9, uint8_t(1 - 72), 9}));

    std::vector<uint8_t> back(200);
    EXPECT_TRUE(IEPSDUnpackRow(packed.data(), int32_t(packed.size()), back.data(), 200));
    EXPECT_EQ(back, long_run);
    // Data that unpacks past the row, or ends before it is full, is refused.
    EXPECT_FALSE(IEPSDUnpackRow(packed.data(), int32_t(packed.size()), back.data(), 150));
    EXPECT_FALSE(IEPSDUnpackRow(packed.data(), 2, back.data(), 200));
}

TEST(PSD, OwnDocumentsRoundTripEveryFormat) {
    struct TCase {
        TIEPixelFormat format;
        bool alpha;
    };
    for (const TCase& c : {TCase{ie24RGB, true}, TCase{ie8g, false}, TCase{ie16g, true}, TCase{ieRGB48, false},
                           TCase{ieCMYK, false}, TCase{ieCIELab, false}, TCase{ie1g, false}, TCase{ie8p, true}}) {
        SCOPED_TRACE(int(c.format));
        TIEBitmap source;
        Paint(source, 37, 11, false);
        source.ConvertToPixelFormat(c.format);
        if (c.alpha)
            for (int32_t y = 0; y < 11; ++y)
                for (int32_t x = 0; x < 37; ++x) source.GetAlphaChannel()->SetPixelByte(x, y, x % 3 ? 255 : 0);
        const std::vector<uint8_t> bytes = WriteDocument(&source, {});
        TMemoryStream stream{std::vector<uint8_t>(bytes)};
        ASSERT_TRUE(IEIsPSDStream(stream));
        TIEBitmap back;
        TIOParamsVals params;
        params.NativePixelFormat = true;
        bool abort = false;
        TIEProgressRec progress;
        progress.AbortFlag = &abort;
        IEReadPSDStream(stream, &back, params, progress, false, nullptr);
        ASSERT_FALSE(abort);
        ASSERT_EQ(back.GetPixelFormat(), c.format);
        EXPECT_EQ(params.DpiX, 150);
        const size_t meaningful = (size_t(37) * size_t(source.GetBitCount()) + 7) / 8;
        for (int32_t y = 0; y < 11; ++y) {
            if (c.format == ie8p) {  // transparent pixels take the transparency index
                for (int32_t x = 0; x < 37; ++x) {
                    if (source.GetAlpha(x, y) == 255) {
                        ASSERT_EQ(back.GetPixelRGB(x, y), source.GetPixelRGB(x, y));
                    }
                }
                continue;
            }
            ASSERT_EQ(0, std::memcmp(back.GetScanline(y), source.GetScanline(y), meaningful)) << "row " << y;
        }
        EXPECT_EQ(back.GetHasAlphaChannel(), c.alpha);
        if (c.alpha) {
            for (int32_t x = 0; x < 37; ++x) EXPECT_EQ(back.GetAlpha(x, 5), x % 3 ? 255 : 0) << x;
        }
    }
}

TEST(PSD, LayersMasksAndFlagsRoundTrip) {
    TIELayer base(nullptr, false, nullptr), top(nullptr, false, nullptr), mask(nullptr, false, nullptr);
    Paint(*base.GetBitmap(), 30, 20, false);
    base.Name = "Background";
    Paint(*top.GetBitmap(), 10, 6, true);
    top.PosX = 4, top.PosY = 7;
    top.Visible = false;
    top.Transparency = 200;
    top.Name = "Top layer";
    top.Width = 20, top.Height = 12;  // shown at twice its size: stored resampled
    mask.GetBitmap()->Allocate(5, 3, ie8g);
    mask.GetBitmap()->Fill(77);
    mask.IsMask = true;
    mask.PosX = 1, mask.PosY = 2;
    TIEBitmap merged;
    Paint(merged, 30, 20, false);
    const std::vector<uint8_t> bytes = WriteDocument(&merged, {&base, &top, &mask});
    EXPECT_EQ(top.GetBitmap()->GetWidth(), 10);  // the caller's layer is left as it was

    TMemoryStream stream{std::vector<uint8_t>(bytes)};
    TIEBitmap back;
    TIOParamsVals params;
    TIELayerList layers;
    bool abort = false;
    TIEProgressRec progress;
    progress.AbortFlag = &abort;
    std::string failure;
    IEReadPSDStream(stream, &back, params, progress, true, &layers, &failure);
    ASSERT_FALSE(abort) << failure;
    EXPECT_TRUE(back.IsEmpty());  // with layers loaded the merged image is not decoded
    ASSERT_EQ(layers.size(), 3u);
    EXPECT_EQ(layers[0]->Name, "Background");
    EXPECT_TRUE(layers[0]->Visible);
    EXPECT_EQ(layers[1]->Name, "Top layer");
    EXPECT_FALSE(layers[1]->Visible);
    EXPECT_EQ(layers[1]->Transparency, 200);
    EXPECT_EQ(layers[1]->PosX, 4);
    EXPECT_EQ(layers[1]->PosY, 7);
    EXPECT_EQ(layers[1]->GetBitmap()->GetWidth(), 20);
    EXPECT_EQ(layers[1]->GetBitmap()->GetHeight(), 12);
    ASSERT_TRUE(layers[1]->GetBitmap()->GetHasAlphaChannel());
    EXPECT_TRUE(layers[2]->IsMask);
    EXPECT_FALSE(layers[2]->Visible);
    EXPECT_EQ(layers[2]->PosX, 1);
    EXPECT_EQ(layers[2]->PosY, 2);
    EXPECT_EQ(layers[2]->GetBitmap()->GetPixelFormat(), ie8g);
    EXPECT_EQ(layers[2]->GetBitmap()->GetPixelByte(4, 2), 77);
    EXPECT_EQ(OurRGBA(*layers[0]->GetBitmap()), OurRGBA(*base.GetBitmap()));

    // A two-layer document read without LoadLayers gives the merged image only.
    TIEBitmap flat;
    TIELayerList none;
    TMemoryStream again{std::vector<uint8_t>(bytes)};
    IEReadPSDStream(again, &flat, params, progress, false, &none);
    EXPECT_TRUE(none.empty());
    EXPECT_EQ(OurRGBA(flat), OurRGBA(merged));
}

TEST(PSD, ResourcesRoundTrip) {
    TIEBitmap source;
    Paint(source, 16, 8, false);
    TIOParamsVals params;
    params.SetDpiX(300);
    params.SetDpiY(200);
    params.XmpInfo = "<x:xmpmeta xmlns:x='adobe:ns:meta/'/>";
    Paint(params.GetOrCreateExifThumbnail(), 8, 4, false);
    TMemoryStream stream;
    bool abort = false;
    TIEProgressRec progress;
    progress.AbortFlag = &abort;
    IEWritePSDStream(stream, params, progress, &source, {});
    ASSERT_FALSE(abort);
    stream.SetPosition(0);
    TIEBitmap back;
    TIOParamsVals read;
    IEReadPSDStream(stream, &back, read, progress, false, nullptr);
    ASSERT_FALSE(abort);
    EXPECT_EQ(read.DpiX, 300);
    EXPECT_EQ(read.DpiY, 200);
    EXPECT_EQ(read.XmpInfo, params.XmpInfo);
    ASSERT_NE(read.ExifThumbnail(), nullptr);
    EXPECT_EQ(read.ExifThumbnail()->GetWidth(), 8);
    EXPECT_EQ(back.GetWidth(), 16);
    // Asked for, the thumbnail takes the place of the picture.
    stream.SetPosition(0);
    TIOParamsVals thumb;
    thumb.SetGetEXIFThumbnail(true);
    IEReadPSDStream(stream, &back, thumb, progress, false, nullptr);
    EXPECT_EQ(back.GetWidth(), 8);
}

TEST(PSD, UnwritableFormatWritesNothing) {
    TIEBitmap floats(4, 4, ie32f);
    bool abort = false;
    EXPECT_TRUE(WriteDocument(&floats, {}, &abort).empty());
    EXPECT_TRUE(abort);
}

TEST(PSD, DamagedDocumentsAreRefused) {
    TIEBitmap source;
    Paint(source, 40, 25, true);
    TIELayer layer(nullptr, false, nullptr);
    Paint(*layer.GetBitmap(), 12, 9, true);
    layer.PosX = 3;
    const std::vector<uint8_t> good = WriteDocument(&source, {&layer});
    auto read = [](std::vector<uint8_t> bytes, bool layers) {
        TMemoryStream stream(std::move(bytes));
        TIEBitmap bitmap;
        TIOParamsVals params;
        TIELayerList list;
        bool abort = false;
        TIEProgressRec progress;
        progress.AbortFlag = &abort;
        std::string failure;
        IEReadPSDStream(stream, &bitmap, params, progress, layers, &list, &failure);
        EXPECT_EQ(abort, !failure.empty());
        return abort;
    };
    ASSERT_FALSE(read(good, true));
    ASSERT_FALSE(read(good, false));
    // Every cut refuses the file, whatever part it falls in.
    for (size_t cut = 0; cut < good.size(); cut += 7) {
        SCOPED_TRACE(cut);
        EXPECT_TRUE(read(std::vector<uint8_t>(good.begin(), good.begin() + std::ptrdiff_t(cut)), false));
    }
    struct TPatch {
        size_t at;
        std::vector<uint8_t> bytes;
    };
    for (const TPatch& p : {TPatch{0, {'8', 'B', 'P', 'X'}}, TPatch{4, {0, 2}}, TPatch{12, {0, 0}},
                            TPatch{14, {0x7f, 0xff, 0xff, 0xff}}, TPatch{18, {0x00, 0x01, 0x00, 0x00}}}) {
        SCOPED_TRACE(p.at);
        std::vector<uint8_t> bad = good;
        std::copy(p.bytes.begin(), p.bytes.end(), bad.begin() + std::ptrdiff_t(p.at));
        EXPECT_TRUE(read(bad, false));
    }
}

// ---------------------------------------------------------------- ImageMagick

TEST(PSD, ToolsReadsWhatImageMagickWrites) {
    REQUIRE_TOOL("convert");
    const auto folder = FixtureFolder("psd-magick-read");
    struct TCase {
        const char* name;
        const char* args;
        int tolerance;
    };
    const TCase cases[] = {
        {"rgb8-rle", "-size 23x9 gradient:red-blue -depth 8", 0},
        {"rgb8-raw", "-size 23x9 gradient:red-blue -depth 8 -compress none", 0},
        {"gray8", "-size 23x9 gradient:white-black -colorspace gray -depth 8", 0},
        {"gray16", "-size 23x9 gradient:white-black -colorspace gray -depth 16", 1},
        {"rgb16-raw", "-size 23x9 gradient:orange-navy -depth 16 -compress none", 1},
        {"rgba8", "-size 23x9 gradient:red-blue -alpha set -channel A -fx 'i/w' +channel -depth 8", 0},
        {"graya8", "-size 23x9 gradient:white-black -colorspace gray -alpha set -channel A -fx 'j/h' +channel -depth 8", 0},
        {"cmyk8", "-size 23x9 gradient:yellow-cyan -colorspace cmyk -depth 8", 2},
        {"cmyk16", "-size 23x9 gradient:yellow-cyan -colorspace cmyk -depth 16", 2},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        const auto file = folder / (std::string(c.name) + ".psd");
        int status = 0;
        RunCommand(std::string("convert ") + c.args + " '" + file.string() + "' 2>&1", &status);
        ASSERT_EQ(status, 0);
        TRead read;
        ReadFile(file, read, false);
        ASSERT_FALSE(read.abort) << read.failure;
        // ImageMagick changes the merged colours of pixels that are partly
        // transparent as it reads them; its single layer holds the picture
        // as stored, and the merged image's alpha is compared on its own.
        const bool alpha = std::string(c.args).find("-alpha") != std::string::npos;
        std::vector<uint8_t> expected = MagickRGBA(file, alpha ? 1 : 0);
        if (alpha) {
            const std::vector<uint8_t> merged = MagickRGBA(file, 0);
            ASSERT_EQ(merged.size(), expected.size());
            for (size_t i = 3; i < merged.size(); i += 4) EXPECT_EQ(merged[i], expected[i]);
        }
        EXPECT_LE(MaxDifference(OurRGBA(read.bitmap), expected), c.tolerance);
    }
}

TEST(PSD, ToolsReadsImageMagickLayers) {
    REQUIRE_TOOL("convert");
    const auto folder = FixtureFolder("psd-magick-layers");
    const auto file = folder / "layered.psd";
    int status = 0;
    RunCommand("convert -size 20x12 gradient:red-blue \\( -size 8x6 xc:lime -set label 'Green one' -repage +3+2 \\) "
               "\\( -size 5x5 xc:yellow -alpha set -channel A -evaluate set 50% +channel -set label Yel -repage +10+4 \\) -depth 8 '" +
                   file.string() + "'",
               &status);
    ASSERT_EQ(status, 0);
    const std::vector<TLayerInfo> expected = IdentifyLayers(file);
    ASSERT_EQ(expected.size(), 2u);
    TRead read;
    ReadFile(file, read, true);
    ASSERT_FALSE(read.abort) << read.failure;
    ASSERT_EQ(read.layers.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(read.layers[i]->Name, expected[i].name);
        EXPECT_EQ(read.layers[i]->PosX, expected[i].x);
        EXPECT_EQ(read.layers[i]->PosY, expected[i].y);
        EXPECT_EQ(read.layers[i]->GetBitmap()->GetWidth(), expected[i].width);
        EXPECT_EQ(read.layers[i]->GetBitmap()->GetHeight(), expected[i].height);
        EXPECT_EQ(OurRGBA(*read.layers[i]->GetBitmap()), MagickRGBA(file, int(i) + 1));
    }
}

TEST(PSD, ToolsImageMagickReadsOurDocuments) {
    REQUIRE_TOOL("convert");
    const auto folder = FixtureFolder("psd-magick-write");
    struct TCase {
        const char* name;
        TIEPixelFormat format;
        bool alpha;
        int tolerance;
    };
    for (const TCase& c : {TCase{"rgba", ie24RGB, true, 0}, TCase{"gray", ie8g, false, 0},
                           TCase{"gray16", ie16g, false, 1}, TCase{"rgb48", ieRGB48, false, 1},
                           TCase{"cmyk", ieCMYK, false, 2}, TCase{"bw", ie1g, false, 0}}) {
        SCOPED_TRACE(c.name);
        TIEBitmap source;
        Paint(source, 31, 14, c.alpha);
        if (c.format != ie24RGB) source.ConvertToPixelFormat(c.format);
        const auto file = folder / (std::string(c.name) + ".psd");
        const std::vector<uint8_t> bytes = WriteDocument(&source, {});
        imaging_test::WriteBytes(file, bytes.data(), bytes.size());
        TIEBitmap shown;
        shown.Assign(source);
        if (c.format == ieCMYK || c.format == ieRGB48) shown.ConvertToPixelFormat(ie24RGB);
        EXPECT_LE(MaxDifference(MagickRGBA(file, c.alpha ? 1 : 0), OurRGBA(shown)), c.tolerance);
    }

    // Layers: names, positions and pixels as ImageMagick lists them.
    TIELayer base(nullptr, false, nullptr), top(nullptr, false, nullptr);
    Paint(*base.GetBitmap(), 24, 16, false);
    base.Name = "Base";
    Paint(*top.GetBitmap(), 9, 5, true);
    top.Name = "Upper part";
    top.PosX = 6, top.PosY = 3;
    TIEBitmap merged;
    Paint(merged, 24, 16, false);
    const auto file = folder / "layers.psd";
    const std::vector<uint8_t> bytes = WriteDocument(&merged, {&base, &top});
    imaging_test::WriteBytes(file, bytes.data(), bytes.size());
    const std::vector<TLayerInfo> listed = IdentifyLayers(file);
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].name, "Base");
    EXPECT_EQ(listed[1].name, "Upper part");
    EXPECT_EQ(listed[1].x, 6);
    EXPECT_EQ(listed[1].y, 3);
    EXPECT_EQ(listed[1].width, 9);
    EXPECT_EQ(MagickRGBA(file, 0), OurRGBA(merged));
    EXPECT_EQ(MagickRGBA(file, 2), OurRGBA(*top.GetBitmap()));
}

TEST(PSD, ViewLayersSavedAndLoadedThroughTheComponent) {
    const auto folder = FixtureFolder("psd-view");
    const std::string file = (folder / "view.psd").string();
    {
        TVidurErView view;
        auto* io = dynamic_cast<TVidurErIO*>(view.GetVidurErIO());
        ASSERT_NE(io, nullptr);
        Paint(*view.GetIEBitmap(), 40, 30, false);
        view.Update();
        view.LayersAdd();
        Paint(*view.GetIEBitmap(), 10, 8, true);
        view.GetCurrentLayer()->PosX = 5;
        view.GetCurrentLayer()->PosY = 6;
        view.GetCurrentLayer()->Name = "Second";
        io->SaveToFile(file);
        ASSERT_FALSE(io->AbortFlag) << io->LastError();
    }
    // Without PsdLoadLayers the merged picture comes; with it, the layers.
    TVidurErView flat;
    auto* flatIO = dynamic_cast<TVidurErIO*>(flat.GetVidurErIO());
    flatIO->LoadFromFile(file);
    ASSERT_FALSE(flatIO->AbortFlag) << flatIO->LastError();
    EXPECT_EQ(flat.GetLayersCount(), 1);
    EXPECT_EQ(flat.GetIEBitmap()->GetWidth(), 40);

    TVidurErView layered;
    auto* io = dynamic_cast<TVidurErIO*>(layered.GetVidurErIO());
    io->ImageParams.PsdLoadLayers = true;
    io->LoadFromFile(file);
    ASSERT_FALSE(io->AbortFlag) << io->LastError();
    ASSERT_EQ(layered.GetLayersCount(), 2);
    EXPECT_EQ(layered.GetLayer(0)->GetBitmap()->GetWidth(), 40);
    EXPECT_EQ(layered.GetLayer(1)->Name, "Second");
    EXPECT_EQ(layered.GetLayer(1)->PosX, 5);
    EXPECT_EQ(layered.GetLayer(1)->PosY, 6);
    EXPECT_TRUE(layered.GetLayer(1)->GetBitmap()->GetHasAlphaChannel());

    // A damaged file is refused with a reason and leaves the view's layers.
    std::vector<uint8_t> bytes = ReadBytes(file);
    bytes.resize(bytes.size() / 2);
    imaging_test::WriteBytes(folder / "cut.psd", bytes.data(), bytes.size());
    io->LoadFromFile((folder / "cut.psd").string());
    EXPECT_TRUE(io->AbortFlag);
    EXPECT_NE(io->LastError().find("Photoshop"), std::string::npos) << io->LastError();
    EXPECT_EQ(layered.GetLayersCount(), 2);
}
