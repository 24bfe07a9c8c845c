// Helpers of the picture tests: bitmaps made in code, GIF bytes in memory,
// and outside judges (ImageMagick, gifsicle) run on files in the build tree.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "pictures/gif_image.h"

inline std::string FixtureDir() {
    std::filesystem::path dir(TW_FIXTURE_DIR);
    std::filesystem::create_directories(dir);
    return dir.string();
}

inline bool ToolInstalled(const std::string& tool) {
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// Skips when a judge is missing, except under CI, where that is a failure.
#define REQUIRE_TOOL(tool)                                                     \
    do {                                                                       \
        if (!ToolInstalled(tool)) {                                            \
            if (std::getenv("CI") != nullptr) FAIL() << (tool) << " is missing"; \
            GTEST_SKIP() << (tool) << " is not installed";                     \
        }                                                                      \
    } while (0)

// Runs a shell command and returns its standard output (empty on failure).
inline std::string RunCommand(const std::string& command, int* status = nullptr) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return output;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    int code = pclose(pipe);
    if (status != nullptr) *status = code;
    return output;
}

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::vector<uint8_t> bytes;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return bytes;
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
    std::fclose(file);
    return bytes;
}

inline std::vector<uint8_t> SaveGif(TGIFImage& gif) {
    TMemoryStream stream;
    gif.SaveToStream(stream);
    return stream.Bytes();
}

struct LoadResult {
    std::vector<std::string> warnings;
};

inline LoadResult LoadGif(TGIFImage& gif, const std::vector<uint8_t>& bytes) {
    LoadResult result;
    gif.OnGIFWarning = [&result](TGIFImage&, int, const std::string& message) { result.warnings.push_back(message); };
    TMemoryStream stream(bytes);
    gif.LoadFromStream(stream);
    gif.OnGIFWarning = nullptr;
    return result;
}

// A frame of given indices over a table of `colors` distinct colours, kept in
// the image's global table (so that interlacing is written) or its own.
inline TGIFSubImage& AddIndexedFrame(TGIFImage& gif, int width, int height, int colors,
                                     const std::vector<uint8_t>& indices, bool global, bool interlaced = false) {
    auto frame = std::make_unique<TGIFSubImage>(&gif);
    frame->SetWidth(width);
    frame->SetHeight(height);
    TGIFColorMap& table = global ? gif.GlobalColorMap() : frame->LocalTable();
    if (table.Count() == 0)
        for (int i = 0; i < colors; ++i)
            table.Add({static_cast<uint8_t>(i * 37), static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i * 101)});
    frame->IndexData() = indices;
    frame->SetInterlaced(interlaced);
    int index = gif.AddImage(std::move(frame));
    return gif.GetSubImage(index);
}

// Pseudo-random bytes below limit.
inline std::vector<uint8_t> NoiseIndices(size_t count, int limit, uint32_t seed) {
    std::vector<uint8_t> indices(count);
    for (auto& index : indices) {
        seed = seed * 1103515245u + 12345u;
        index = static_cast<uint8_t>((seed >> 16) % static_cast<uint32_t>(limit));
    }
    return indices;
}

// A smooth 24-bit picture of many colours.
inline TPictureBitmap GradientBitmap(int width, int height, int phase = 0) {
    TPictureBitmap bitmap(width, height, TPixelFormat::pf24bit);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            bitmap.SetPixel(x, y, {static_cast<uint8_t>((x * 255 / std::max(width - 1, 1) + phase) & 255),
                                   static_cast<uint8_t>(y * 255 / std::max(height - 1, 1)),
                                   static_cast<uint8_t>(((x + y) * 3 + phase * 2) & 255)});
    return bitmap;
}
