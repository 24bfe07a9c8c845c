// What the content tests share: the program folder as it ships and the
// projects in it (the blank project and the examples), the bytes of a file,
// the outside tools' output (CommandOutput), playing a composed movie in
// coarse steps or frame by frame to its end, comparing the frames, and the
// player's complaints worth failing for.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "app/app_utils.h"
#include "app/composer.h"
#include "app/tests/capture_test_support.h"
#include "controls/ucsystem.h"
#include "platform/player/player_harness.h"

inline std::string U8(const WideString& text) { return UcSystem::WideToUtf8(text); }
inline WideString W(const std::string& text) { return UcSystem::Utf8ToWide(text); }

// Every text field starts in the player's default font before a script can
// give it the embedded one, and the player notes once per movie that it has
// no such device font. Any other complaint counts.
inline const std::string kFreshFieldFont = "Unknown device font \"Times New Roman\"";

inline std::vector<std::string> Complaints(const std::vector<std::string>& log) {
    std::vector<std::string> out;
    for (const std::string& line : log)
        if (line.find(kFreshFieldFont) == std::string::npos) out.push_back(line);
    return out;
}

// Opens a movie in the shared player at the given size and runs `steps`
// steps of framesPerStep frames each (the player runs every frame of a step,
// up to five, and hands over the last one's pixels); the frame of each step,
// and the player's complaints in log.
inline std::vector<TPlayerFrame> PlaySteps(const std::string& swf, int width, int height, int steps,
                                           int framesPerStep, double rate, std::vector<std::string>& log) {
    TPlayerHarness& player = TPlayerHarness::Shared();
    TPlayerOpenOptions open;
    open.width = width;
    open.height = height;
    player.Open(swf, open);
    std::vector<TPlayerFrame> frames;
    for (int step = 0; step < steps; ++step) frames.push_back(player.Advance(framesPerStep * 1000.0 / rate));
    log = player.TakeLog();
    return frames;
}

// What a composed movie did, played frame by frame to its end marker.
struct TPlayedToEnd {
    bool ended = false;                     // the end marker arrived
    int frames = 0;                         // frames run, the marker's included (1 is the first)
    std::map<int, TPlayerFrame> kept;       // the frames asked for, by number
    TPlayerFrame last;                      // the last frame run
    std::vector<std::string> trace;         // every trace line, in order
    std::vector<std::string> log;           // the player's warnings and errors
};

// Composes the project with the end-frame marker into path and plays it one
// frame at a time until the marker arrives or maxFrames have run, keeping
// the frames named in keep.
inline TPlayedToEnd PlayToEndMarker(const ProjectRecord& project, const std::string& path, int maxFrames,
                                    const std::vector<int>& keep = {}) {
    TComposeOptions options;
    options.EndFrameCommand = kEndFrameCommand;
    ComposeMovie(project, UcSystem::Utf8ToWide(path), options);
    TPlayerHarness& player = TPlayerHarness::Shared();
    TPlayerOpenOptions open;
    open.fsCommands = true;
    player.Open(path, open);
    TPlayedToEnd run;
    while (!run.ended && run.frames < maxFrames) {
        TPlayerFrame frame = player.Advance();
        ++run.frames;
        run.trace.insert(run.trace.end(), frame.trace.begin(), frame.trace.end());
        for (const TPlayerFSCommand& c : frame.fsCommands) run.ended |= c.command == kEndFrameCommand;
        if (std::find(keep.begin(), keep.end(), run.frames) != keep.end()) run.kept[run.frames] = frame;
        run.last = std::move(frame);
    }
    run.log = player.TakeLog();
    return run;
}

// Pixels of two frames whose colours differ by more than tolerance in a
// channel; all of them when the sizes differ.
inline int DifferingPixels(const TPlayerFrame& a, const TPlayerFrame& b, int tolerance = 32) {
    if (a.width != b.width || a.height != b.height) return a.width * a.height;
    int count = 0;
    for (size_t i = 0; i + 3 < a.rgba.size(); i += 4) {
        for (int c = 0; c < 3; ++c) {
            if (std::abs(int(a.rgba[i + c]) - int(b.rgba[i + c])) > tolerance) {
                ++count;
                break;
            }
        }
    }
    return count;
}

// Pixels within tolerance (each channel) of the colour 0xRRGGBB.
inline int PixelsNear(const TPlayerFrame& frame, uint32_t rgb, int tolerance = 24) {
    const int want[3] = {int(rgb >> 16 & 0xFF), int(rgb >> 8 & 0xFF), int(rgb & 0xFF)};
    int count = 0;
    for (size_t i = 0; i + 3 < frame.rgba.size(); i += 4) {
        bool near = true;
        for (int c = 0; c < 3 && near; ++c) near = std::abs(int(frame.rgba[i + c]) - want[c]) <= tolerance;
        count += near;
    }
    return count;
}

// The frame numbers first, first + step, ... up to last.
inline std::vector<int> FrameNumbers(int first, int last, int step) {
    std::vector<int> numbers;
    for (int frame = first; frame <= last; frame += step) numbers.push_back(frame);
    return numbers;
}

// The frames side by side, columns to a row on a grey ground, written as
// one PNG by ImageMagick below the fixture folder's "sheets/" for a person
// to look at; the path, or empty when it could not be written.
inline std::string SaveContactSheet(const std::vector<TPlayerFrame>& frames, const std::string& name,
                                    int columns = 6) {
    if (frames.empty()) return "";
    const int gap = 4, w = frames[0].width, h = frames[0].height;
    const int across = std::min<int>(columns, int(frames.size()));
    const int down = (int(frames.size()) + across - 1) / across;
    const int sheetW = across * (w + gap) + gap, sheetH = down * (h + gap) + gap;
    std::vector<uint8_t> sheet(size_t(sheetW) * sheetH * 4, 128);
    for (size_t i = 0; i < frames.size(); ++i) {
        const TPlayerFrame& f = frames[i];
        const int left = gap + int(i) % across * (w + gap), top = gap + int(i) / across * (h + gap);
        for (int y = 0; y < std::min(h, f.height); ++y)
            std::copy_n(&f.rgba[size_t(y) * f.width * 4], size_t(std::min(w, f.width)) * 4,
                        &sheet[(size_t(top + y) * sheetW + left) * 4]);
    }
    const std::string folder = std::string(TW_FIXTURE_DIR) + "/sheets";
    std::filesystem::create_directories(folder);
    const std::string path = folder + "/" + name + ".png";
    const std::string command = "convert -size " + std::to_string(sheetW) + "x" + std::to_string(sheetH) +
                                " -depth 8 rgba:- -alpha off '" + path + "'";
    FILE* pipe = popen(command.c_str(), "w");
    if (pipe == nullptr) return "";
    std::fwrite(sheet.data(), 1, sheet.size(), pipe);
    return pclose(pipe) == 0 ? path : "";
}

inline std::string ShippedProgramFolder() { return std::string(TW_PROGRAM_DIR) + "/"; }

// "default.ini", then the examples in name order (as "examples/<name>").
inline std::vector<std::string> ShippedProjects() {
    std::vector<std::string> names = {"default.ini"};
    std::vector<std::string> examples;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(ShippedProgramFolder() + "examples", error))
        if (entry.path().extension() == ".ini") examples.push_back("examples/" + entry.path().filename().string());
    std::sort(examples.begin(), examples.end());
    names.insert(names.end(), examples.begin(), examples.end());
    return names;
}

// Points the application at the shipped program folder while it lives.
class TShippedProgramFolder {
public:
    TShippedProgramFolder() { SetProgramFolder(UcSystem::Utf8ToWide(ShippedProgramFolder())); }
    ~TShippedProgramFolder() { SetProgramFolder(u""); }
    TShippedProgramFolder(const TShippedProgramFolder&) = delete;
    TShippedProgramFolder& operator=(const TShippedProgramFolder&) = delete;
};

// The whole file; empty when it cannot be read.
inline std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
