// Pictures and sounds made at test time by ImageMagick and ffmpeg, cached in
// the build folder, and those tools' own decodings of them, against which
// our readers are judged. Makers return "" when the tool is missing, so the
// tests can skip with a clear message.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <unistd.h>

#include "platform/stream.h"
#include "tool_fixtures.h"

using MediaBytes = std::vector<uint8_t>;

// A name no other test process uses at the same time (ctest runs them side
// by side).
// The tools choose the format by the extension, so it stays last.
inline std::string UniqueTemporary(const std::string& path) {
    static int counter = 0;
    std::filesystem::path p(path);
    std::string unique = ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
    return (p.parent_path() / (p.stem().string() + unique + p.extension().string())).string();
}

// As MakeFixture, but safe when several test processes make the same file:
// each writes its own temporary and renames it into place.
inline std::string MakeMediaFixture(const std::string& target, const std::string& command) {
    if (std::filesystem::exists(target) && std::filesystem::file_size(target) > 0) return target;
    std::string temporary = UniqueTemporary(target);
    std::string line = command;
    for (size_t at; (at = line.find("{out}")) != std::string::npos;) line.replace(at, 5, "'" + temporary + "'");
    if (std::system((line + " >/dev/null 2>&1").c_str()) != 0 || !std::filesystem::exists(temporary)) {
        std::filesystem::remove(temporary);
        return "";
    }
    std::filesystem::rename(temporary, target);
    return target;
}

inline bool HaveImageMagick() { return ToolInstalled("convert"); }
inline bool HaveFfmpeg() { return ToolInstalled("ffmpeg") && ToolInstalled("ffprobe"); }

// A deterministic picture of odd width (so rows need padding).
inline std::string PictureSource() {
    if (!HaveImageMagick()) return "";
    return MakeMediaFixture(FixtureDir() + "/source.png", "convert -seed 7 -size 61x37 plasma:fractal -blur 0x1.5 png24:{out}");
}

struct PictureFixture {
    const char* name;
    const char* options;  // ImageMagick options between the source and the output
};

// One BMP file for every layout ImageMagick writes; the 16- and 32-bit ones
// and the palette ones without the BMP3 prefix have 124-byte V5 headers.
inline const std::vector<PictureFixture>& BmpLayouts() {
    static const std::vector<PictureFixture> layouts = {
        {"1bit", "-colors 2 -type palette"},
        {"1bit-v3", "-colors 2 -type palette BMP3:"},
        {"4bit", "-colors 16 -type palette -compress none"},
        {"4bit-v3", "-colors 16 -type palette -compress none BMP3:"},
        {"8bit", "-colors 200 -type palette -compress none"},
        {"8bit-v3", "-colors 200 -type palette -compress none BMP3:"},
        {"rle8", "-colors 200 -type palette -compress RLE"},
        {"rle8-v3", "-colors 60 -type palette -compress RLE BMP3:"},
        {"16bit-565", "-define bmp:subtype=RGB565"},
        {"16bit-555", "-define bmp:subtype=RGB555"},
        {"24bit", "-type truecolor BMP3:"},
        {"24bit-core", "-type truecolor BMP2:"},
        {"32bit-alpha", "-alpha set -channel A -fx \"(i+j)%7/6\" +channel"},
    };
    return layouts;
}

inline std::string BmpFixture(const PictureFixture& layout) {
    std::string source = PictureSource();
    if (source.empty()) return "";
    std::string options = layout.options;
    std::string prefix;
    size_t colon = options.find(':');
    if (colon != std::string::npos && colon + 1 == options.size()) {
        size_t space = options.rfind(' ', colon);
        prefix = options.substr(space == std::string::npos ? 0 : space + 1);
        options = options.substr(0, space == std::string::npos ? 0 : space);
    }
    return MakeMediaFixture(FixtureDir() + "/" + layout.name + ".bmp",
                       "convert " + source + " " + options + " " + prefix + "{out}");
}

// Runs a command whose standard output is captured into bytes.
inline bool CaptureOutput(const std::string& command, MediaBytes& out) {
    std::string file = UniqueTemporary(FixtureDir() + "/capture.out");
    int rc = std::system((command + " > '" + file + "' 2>/dev/null").c_str());
    out.clear();
    if (rc == 0 && std::filesystem::exists(file)) out = ReadFileBytes(file);
    std::filesystem::remove(file);
    return rc == 0;
}

// ImageMagick's decoding: 8-bit RGBA, rows top first.
inline MediaBytes ImageMagickRGBA(const std::string& file) {
    MediaBytes out;
    CaptureOutput("convert '" + file + "' -depth 8 rgba:-", out);
    return out;
}

inline MediaBytes ImageMagickRGB(const std::string& file) {
    MediaBytes out;
    CaptureOutput("convert '" + file + "' -depth 8 rgb:-", out);
    return out;
}

// JPEG files made from the source picture.
inline std::string JpegFixture(bool progressive, bool gray = false) {
    std::string source = PictureSource();
    if (source.empty()) return "";
    std::string name = std::string(progressive ? "progressive" : "baseline") + (gray ? "-gray" : "") + ".jpg";
    std::string options = std::string(progressive ? "-interlace Plane" : "-interlace None") +
                          (gray ? " -colorspace Gray" : "") + " -quality 92";
    return MakeMediaFixture(FixtureDir() + "/" + name, "convert " + source + " " + options + " {out}");
}

// ---- sounds

// A file made by ffmpeg from a 440 Hz sine of the given length.
inline std::string SoundFixture(const std::string& name, const std::string& options, double seconds = 3) {
    if (!HaveFfmpeg()) return "";
    char duration[32];
    std::snprintf(duration, sizeof duration, "%g", seconds);
    return MakeMediaFixture(FixtureDir() + "/" + name,
                       std::string("ffmpeg -nostdin -y -loglevel error -f lavfi -i sine=f=440:d=") + duration + " " +
                           options + " {out}");
}

struct ProbeFigures {
    long frames = -1;
    long packets = -1;
    long sampleRate = -1;
    long channels = -1;
};

// ffprobe's decoded frame and demuxed packet counts, rate and channels of
// the first audio stream.
inline ProbeFigures FfprobeFigures(const std::string& file) {
    MediaBytes out;
    ProbeFigures figures;
    if (!CaptureOutput("ffprobe -v error -count_frames -count_packets -select_streams a -show_entries "
                       "stream=nb_read_frames,nb_read_packets,sample_rate,channels -of default=noprint_wrappers=1 '" + file + "'",
                       out))
        return figures;
    std::string text(out.begin(), out.end());
    std::map<std::string, long> values;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        size_t eq = line.find('=');
        if (eq != std::string::npos) values[line.substr(0, eq)] = std::atol(line.substr(eq + 1).c_str());
        at = end + 1;
    }
    figures.frames = values.count("nb_read_frames") ? values["nb_read_frames"] : -1;
    figures.packets = values.count("nb_read_packets") ? values["nb_read_packets"] : -1;
    figures.sampleRate = values.count("sample_rate") ? values["sample_rate"] : -1;
    figures.channels = values.count("channels") ? values["channels"] : -1;
    return figures;
}

// ffmpeg's decoding to signed 16-bit little-endian samples, interleaved.
inline std::vector<int16_t> FfmpegPCM(const std::string& file) {
    MediaBytes out;
    CaptureOutput("ffmpeg -nostdin -v error -i '" + file + "' -f s16le -", out);
    std::vector<int16_t> samples(out.size() / 2);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<int16_t>(out[2 * i] | out[2 * i + 1] << 8);
    return samples;
}
