// Packed DIB export: its size and header, and ImageMagick reading it behind
// a file header to the same pixels; bitmap comparison.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_dib_export.h"
#include "imaging/core/tests/tool_support.h"

using namespace imaging_test;

namespace {

uint32_t Get32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t{b[at]} | uint32_t{b[at + 1]} << 8 | uint32_t{b[at + 2]} << 16 | uint32_t{b[at + 3]} << 24;
}

std::unique_ptr<TIEBitmap> Picture(TIEPixelFormat format, int32_t w, int32_t h) {
    auto b = std::make_unique<TIEBitmap>(w, h, format);
    for (int32_t y = 0; y < h; ++y) {
        uint8_t* row = b->GetScanline(y);
        for (int32_t x = 0; x < b->GetRowLen(); ++x) row[x] = static_cast<uint8_t>(x * 37 + y * 11);
    }
    if (format == ie8p)
        for (int32_t i = 0; i < 256; ++i) b->SetPaletteColor(i, TRGB{uint8_t(i), uint8_t(255 - i), uint8_t(i * 3)});
    return b;
}

}  // namespace

TEST(DibExport, SizesHeadersAndTables) {
    auto rgb = Picture(ie24RGB, 10, 10);
    auto dib = _CopyBitmaptoDIBEx(*rgb, 0, 0, 0, 0, 300, 300);
    ASSERT_EQ(dib.size(), 364u);  // 44 + 32 x 10
    EXPECT_EQ(Get32(dib, 0), 40u);
    EXPECT_EQ(Get32(dib, 4), 10u);
    EXPECT_EQ(Get32(dib, 8), 10u);
    EXPECT_EQ(dib[14], 24);
    EXPECT_EQ(Get32(dib, 24), 11811u);
    // Bottom-up: the last bitmap row comes first.
    EXPECT_EQ(std::memcmp(dib.data() + 40, rgb->GetScanline(9), 30), 0);

    auto gray16 = Picture(ie16g, 5, 3);
    EXPECT_EQ(_CopyBitmaptoDIBEx(*gray16, 0, 0, 0, 0, 72, 72)[14], 24);

    auto bilevel = Picture(ie1g, 13, 4);
    auto one = _CopyBitmaptoDIBEx(*bilevel, 0, 0, 0, 0, 72, 72);
    EXPECT_EQ(std::vector<uint8_t>(one.begin() + 40, one.begin() + 48), (std::vector<uint8_t>{0, 0, 0, 0, 255, 255, 255, 255}));

    EXPECT_TRUE(_CopyBitmaptoDIBEx(*rgb, 5, 5, 2, 2, 72, 72).empty());    // corners swapped
    EXPECT_TRUE(_CopyBitmaptoDIBEx(*rgb, 0, 0, 11, 10, 72, 72).empty());  // past the right edge

    auto same = Picture(ie24RGB, 10, 10);
    EXPECT_TRUE(IEBitmapsEqual(*rgb, *same));
    same->GetScanline(3)[same->GetRowLen() - 1] ^= 1;  // a padding byte
    EXPECT_FALSE(IEBitmapsEqual(*rgb, *same));
}

TEST(DibExport, ToolsImageMagickReadsTheExportBehindAFileHeader) {
    REQUIRE_TOOL("convert");
    auto folder = FixtureFolder("dib-export");
    struct Case {
        const char* name;
        TIEPixelFormat format;
        int32_t x1, y1, x2, y2;
    } cases[] = {
        {"rgb", ie24RGB, 0, 0, 0, 0}, {"rgb-part", ie24RGB, 3, 2, 17, 9}, {"palette", ie8p, 1, 1, 0, 0},
        {"gray", ie8g, 0, 0, 0, 0},   {"bilevel-odd", ie1g, 3, 1, 16, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto bitmap = Picture(c.format, 19, 11);
        auto dib = _CopyBitmaptoDIBEx(*bitmap, c.x1, c.y1, c.x2, c.y2, 96, 96);
        ASSERT_FALSE(dib.empty());
        const uint32_t table = dib[14] == 1 ? 8 : dib[14] == 8 ? 1024 : 0;
        std::vector<uint8_t> file = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        const uint32_t size = static_cast<uint32_t>(14 + dib.size() - 4), offset = 14 + 40 + table;
        for (int i = 0; i < 4; ++i) file[2 + i] = static_cast<uint8_t>(size >> (8 * i)), file[10 + i] = static_cast<uint8_t>(offset >> (8 * i));
        file.insert(file.end(), dib.begin(), dib.end() - 4);
        auto path = folder / (std::string(c.name) + ".bmp");
        WriteBytes(path, file.data(), file.size());
        std::string magick = RunCommand("convert '" + path.string() + "' -depth 8 rgb:-");
        const int32_t x2 = c.x2 ? c.x2 : 19, y2 = c.y2 ? c.y2 : 11;
        std::string ours;
        for (int32_t y = c.y1; y < y2; ++y) {
            const uint8_t* row = bitmap->GetScanline(y);
            for (int32_t x = c.x1; x < x2; ++x) {
                TRGB p;
                switch (c.format) {
                    case ie1g: p.r = p.g = p.b = (row[x / 8] & (0x80 >> (x % 8))) ? 255 : 0; break;
                    case ie8g: p.r = p.g = p.b = row[x]; break;
                    case ie8p: p = bitmap->GetPaletteColor(row[x]); break;
                    default: p = TRGB{row[3 * x], row[3 * x + 1], row[3 * x + 2]}; break;
                }
                ours += {static_cast<char>(p.r), static_cast<char>(p.g), static_cast<char>(p.b)};
            }
        }
        EXPECT_EQ(magick, ours);
    }
}
