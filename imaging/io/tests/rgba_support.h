// Pixels of a bitmap and of a file decoded by ImageMagick, in one form to
// compare: R, G, B, A bytes of every pixel, top row first.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/tests/tool_support.h"

namespace imaging_test {

// R, G, B, A of every pixel, top row first, as ImageMagick gives them.
inline std::vector<uint8_t> OurRGBA(TIEBitmap& bitmap) {
    const int32_t w = bitmap.GetWidth(), h = bitmap.GetHeight();
    std::vector<uint8_t> out;
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* row = bitmap.GetScanline(y);
        const uint8_t* alpha = bitmap.GetHasAlphaChannel() ? bitmap.GetAlphaChannel()->GetScanline(y) : nullptr;
        for (int32_t x = 0; x < w; ++x) {
            TRGB c;
            switch (bitmap.GetPixelFormat()) {
                case ie1g: c.r = c.g = c.b = (row[x / 8] & (0x80 >> (x % 8))) ? 255 : 0; break;
                case ie8g: c.r = c.g = c.b = row[x]; break;
                case ie16g: {  // rounded to 8 bits as ImageMagick and libpng do
                    const uint32_t v = row[2 * x] | row[2 * x + 1] << 8;
                    c.r = c.g = c.b = static_cast<uint8_t>((v * 255 + 32895) >> 16);
                    break;
                }
                case ie8p: c = bitmap.GetPaletteColor(row[x]); break;
                case ieRGB48: {  // red, green, blue words rounded to 8 bits
                    auto level = [&](int32_t i) {
                        const uint32_t v = row[6 * x + 2 * i] | row[6 * x + 2 * i + 1] << 8;
                        return static_cast<uint8_t>((v * 255 + 32895) >> 16);
                    };
                    c = TRGB{level(2), level(1), level(0)};
                    break;
                }
                default: c = TRGB{row[3 * x], row[3 * x + 1], row[3 * x + 2]}; break;
            }
            out.insert(out.end(), {c.r, c.g, c.b, alpha ? alpha[x] : uint8_t{255}});
        }
    }
    return out;
}

// page -1: the file as ImageMagick takes it; else that page.
inline std::vector<uint8_t> MagickRGBA(const std::filesystem::path& file, int page = -1) {
    const std::string name = page < 0 ? file.string() : file.string() + "[" + std::to_string(page) + "]";
    std::string out = RunCommand("convert '" + name + "' -depth 8 rgba:- 2>/dev/null");
    return std::vector<uint8_t>(out.begin(), out.end());
}

// The same from FFmpeg's decoders, a second judge where ImageMagick 6
// departs from a format's rules (Targa rows bottom up, 1-bit PCX against
// its palette).
inline std::vector<uint8_t> FfmpegRGBA(const std::filesystem::path& file) {
    std::string out = RunCommand("ffmpeg -v error -i '" + file.string() + "' -f rawvideo -pix_fmt rgba - 2>/dev/null");
    return std::vector<uint8_t>(out.begin(), out.end());
}

// The largest difference of any byte; 1000 when the sizes differ or
// nothing was decoded.
inline int MaxByteDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a.size() != b.size() || a.empty()) return 1000;
    int worst = 0;
    for (size_t i = 0; i < a.size(); ++i) worst = std::max(worst, std::abs(a[i] - b[i]));
    return worst;
}

// The pictures the codec tests start from, made by ImageMagick in folder:
// src.png (a 41 x 29 plasma), flat.png (two colours in flat areas, so that
// runs cross rows), srca.png (src with a gradient of alpha) and mono.png
// (black and white).
inline void MakeSourcePictures(const std::filesystem::path& folder) {
    const std::string f = folder.string() + "/";
    RunCommand("convert -size 41x29 -seed 7 plasma:fractal -depth 8 '" + f + "src.png'");
    RunCommand("convert -size 150x20 xc:'#3060a0' -fill '#c02010' -draw 'rectangle 20,3 140,12' -depth 8 '" + f +
               "flat.png'");
    RunCommand("convert '" + f + "src.png' \\( -size 29x41 gradient: -rotate 90 \\) -alpha off -compose copy_opacity "
               "-composite -depth 8 '" + f + "srca.png'");
    RunCommand("convert -size 203x61 xc:white -fill black -draw 'circle 100,30 100,5' -monochrome '" + f + "mono.png'");
}

}  // namespace imaging_test
