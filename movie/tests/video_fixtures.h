// FLV files made at test time by ffmpeg, what ffprobe says of them, and
// hand-built FLV bytes for the cases no encoder writes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "media_fixtures.h"

// A second of video at 12 frames a second; source is an ffmpeg lavfi
// source ("color=c=red" or "testsrc").
inline std::string FlvFixture(const std::string& codec, int width, int height, const std::string& source = "testsrc",
                              double seconds = 1) {
    if (!HaveFfmpeg()) return "";
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    std::string tag = source.substr(0, source.find('=')) + (source.find("red") != std::string::npos ? "-red" : "");
    std::ostringstream name;
    name << FixtureDir() << "/video-" << codec << "-" << size << "-" << tag << "-" << seconds << ".flv";
    std::ostringstream command;
    command << "ffmpeg -nostdin -y -loglevel error -f lavfi -i " << source
            << (source.find('=') == std::string::npos ? "=" : ":") << "size=" << size << ":rate=12 -t " << seconds
            << " -c:v " << codec << " -f flv {out}";
    return MakeMediaFixture(name.str(), command.str());
}

struct TProbedVideo {
    int width = 0, height = 0, frames = 0;
};

// ffprobe's width, height and count of decoded frames of the first video stream.
inline TProbedVideo ProbeVideo(const std::string& file) {
    MediaBytes out;
    CaptureOutput("ffprobe -v error -select_streams v:0 -count_frames -show_entries stream=width,height,nb_read_frames "
                  "-of csv=p=0 '" + file + "'",
                  out);
    TProbedVideo probed;
    std::string text(out.begin(), out.end());
    std::sscanf(text.c_str(), "%d,%d,%d", &probed.width, &probed.height, &probed.frames);
    return probed;
}

// FLV bytes written by hand: header, then tags with their previous-tag sizes.
class TFlvBuilder {
public:
    TFlvBuilder() {
        bytes = {'F', 'L', 'V', 1, 1, 0, 0, 0, 9, 0, 0, 0, 0};
    }
    std::vector<uint8_t> bytes;

    TFlvBuilder& Tag(uint8_t type, const std::vector<uint8_t>& data, uint32_t announced = UINT32_MAX) {
        const uint32_t size = announced == UINT32_MAX ? static_cast<uint32_t>(data.size()) : announced;
        Put(type, 1);
        Put(size, 3);
        Put(0, 3);
        Put(0, 1);
        Put(0, 3);
        bytes.insert(bytes.end(), data.begin(), data.end());
        Put(11 + size, 4);
        return *this;
    }
    void Put(uint64_t v, int n) {
        for (int i = n - 1; i >= 0; --i) bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
};

// AMF0 pieces of script data.
struct TAmf {
    std::vector<uint8_t> bytes;
    TAmf& Raw(std::initializer_list<uint8_t> b) {
        bytes.insert(bytes.end(), b);
        return *this;
    }
    TAmf& Word(uint16_t v) { return Raw({uint8_t(v >> 8), uint8_t(v)}); }
    TAmf& DWord(uint32_t v) { return Raw({uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}); }
    TAmf& Text(const std::string& t) {
        Word(static_cast<uint16_t>(t.size()));
        bytes.insert(bytes.end(), t.begin(), t.end());
        return *this;
    }
    TAmf& Number(double d) {
        uint64_t bits;
        std::memcpy(&bits, &d, 8);
        Raw({0});
        for (int i = 7; i >= 0; --i) bytes.push_back(static_cast<uint8_t>(bits >> (8 * i)));
        return *this;
    }
    TAmf& String(const std::string& t) {
        Raw({2});
        return Text(t);
    }
    // "onMetaData" and the head of its ECMA array.
    TAmf& MetaHead(uint32_t count) {
        String("onMetaData");
        Raw({8});
        return DWord(count);
    }
    TAmf& End() { return Raw({0, 0, 9}); }
};
