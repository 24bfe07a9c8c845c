// What the export tests share: bitmaps made in code and the outside judges
// (ffprobe, ffmpeg, ImageMagick) run on the files written.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "pictures/color_reduction.h"
#include "platform/bitmap.h"
#include "platform/testing/test_support.h"

#define TW_REQUIRE_TOOL(tool)                                       \
    do {                                                            \
        if (!ToolInstalled(tool)) TW_SKIP_OR_FAIL() << (tool) << " is not installed"; \
    } while (0)

// The standard output of a shell command; its exit status through status.
inline std::string CommandOutput(const std::string& command, int* status = nullptr) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return output;
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    int code = pclose(pipe);
    if (status != nullptr) *status = code;
    return output;
}

// key=value lines of `ffprobe -show_entries` for the first video stream
// (and, with audio, the first audio stream under "audio." keys).
inline std::map<std::string, std::string> ProbeAvi(const std::string& path) {
    std::map<std::string, std::string> values;
    auto read = [&](const std::string& select, const std::string& prefix) {
        std::string text = CommandOutput(
            "ffprobe -v error -count_frames -select_streams " + select +
            " -show_entries stream=codec_name,pix_fmt,width,height,r_frame_rate,nb_read_frames,sample_rate,channels"
            " -of default=noprint_wrappers=1 '" + path + "' 2>&1");
        size_t at = 0;
        while (at < text.size()) {
            size_t end = text.find('\n', at);
            if (end == std::string::npos) end = text.size();
            std::string line = text.substr(at, end - at);
            size_t eq = line.find('=');
            if (eq != std::string::npos) values[prefix + line.substr(0, eq)] = line.substr(eq + 1);
            at = end + 1;
        }
    };
    read("v:0", "");
    read("a:0", "audio.");
    values["streams"] = CommandOutput("ffprobe -v error -show_entries format=nb_streams -of csv=p=0 '" + path + "'");
    while (!values["streams"].empty() && values["streams"].back() == '\n') values["streams"].pop_back();
    return values;
}

// What ffmpeg complains of while decoding the whole file (empty: nothing).
inline std::string DecodeErrors(const std::string& path) {
    return CommandOutput("ffmpeg -nostdin -v error -i '" + path + "' -f null - 2>&1");
}

// Frame `index` of a video as RGB bytes, decoded by ffmpeg.
inline std::vector<uint8_t> DecodedFrame(const std::string& path, int index, int width, int height) {
    std::string raw = CommandOutput("ffmpeg -nostdin -v error -i '" + path + "' -vf 'select=eq(n\\," +
                                    std::to_string(index) + ")' -vframes 1 -f rawvideo -pix_fmt rgb24 - 2>/dev/null");
    std::vector<uint8_t> bytes(raw.begin(), raw.end());
    if (bytes.size() != size_t(width) * size_t(height) * 3) bytes.clear();
    return bytes;
}

// A 24-bit bitmap filled by fill(x, y) -> colour.
template <class TFill>
TBitmap FilledBitmap(int width, int height, TFill fill) {
    TBitmap bitmap = MakeBitmap(width, height, TPixelFormat::pf24bit);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) SetBitmapPixel(bitmap, x, y, fill(x, y));
    return bitmap;
}
