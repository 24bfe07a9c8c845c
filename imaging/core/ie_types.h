// The image library's core: the pixel buffer TIEBitmap with its pixel
// formats and its three storage locations (aligned memory, a temporary file,
// a toolkit bitmap), the DIB and work bitmaps, and the numeric, colour,
// geometry and encoder helpers every other part of the library calls. It
// stands on platform/ only: memory blocks, handle streams, the toolkit bitmap.
//
// This header holds the small shared types and the library-wide settings.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>

#include "platform/colour.h"

// Toolkit colours the library passes (system colours have the top byte 0xFF).
constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clBtnFace = static_cast<TColor>(0xFF00000F);

// Three bytes blue, green, red: an ie24RGB pixel and a palette entry. Where it
// travels in a 32-bit value, blue is bits 0-7, green 8-15, red 16-23.
struct TRGB {
    uint8_t b = 0, g = 0, r = 0;
    bool operator==(const TRGB&) const = default;
};
static_assert(sizeof(TRGB) == 3);

enum TIEPixelFormat : uint8_t {
    ienull = 0,
    ie1g = 1,      // 1 bit, most significant bit first; 1 white
    ie8p = 2,      // palette index
    ie8g = 3,      // gray 0..255
    ie16g = 4,     // gray 0..65535, little-endian word
    ie24RGB = 5,   // blue, green, red
    ie32f = 6,     // gray as a float, 0.0 black .. 1.0 white
    ieCMYK = 7,    // C, M, Y, K stored inverted (255 = no ink)
    ieRGB48 = 8,   // little-endian words red, green, blue
    ieCIELab = 9,  // L, a, b
    ie32RGB = 10,  // blue, green, red, one byte not interpreted
};
constexpr int kIEPixelFormatCount = 11;
// The pixel formats an operation accepts; empty means any.
using TIEPixelFormatSet = std::set<TIEPixelFormat>;

// Bits per pixel and channels per pixel of each format.
constexpr int32_t IEBitsPerPixel[kIEPixelFormatCount] = {0, 1, 8, 8, 16, 24, 32, 32, 48, 24, 32};
constexpr int32_t IEChannelsPerPixel[kIEPixelFormatCount] = {0, 1, 1, 1, 1, 3, 1, 4, 3, 3, 4};

// The format's name as the library's messages spell it ("ie24RGB").
const char* IEPixelFormatName(TIEPixelFormat format);

enum TIELocation : uint8_t { ieMemory = 0, ieFile = 1, ieTBitmap = 2 };

// The progress and abort record of codec calls and image routines. The
// caller fills OnProgress, Sender and AbortFlag; the routine owns the rest
// for the duration of the call. Sender is an opaque identifier handed back
// to the handler untouched.
using TIEProgressEvent = std::function<void(void* sender, int percent)>;

struct TIEProgressRec {
    TIEProgressEvent OnProgress;
    void* Sender = nullptr;
    int32_t UnitsDone = 0;
    int32_t UnitsTotal = 0;
    double PercentPerUnit = 0;
    double PercentPerSubUnit = 0;  // a nested loop's share (strips, tiles)
    bool* AbortFlag = nullptr;

    // Reports percent when a handler is assigned.
    void Report(int percent) const {
        if (OnProgress) OnProgress(Sender, percent);
    }
    bool Aborting() const { return AbortFlag && *AbortFlag; }
    void Abort() const {
        if (AbortFlag) *AbortFlag = true;
    }
};

// Library-wide settings, set before any use and read by every part.
//
// Byte size above which a pixel buffer goes to a temporary file; -1 means
// total physical memory / 1.3.
extern int64_t IEDefaultMemoryThreshold;
// Folder prefixed unchanged to temporary file names (it ends with '/');
// empty means the system's temporary folder.
extern std::string IETempFolder;
// Gray weights in percent: red, green, blue.
extern int32_t IEGrayWeights[3];
// Readers convert colours through the image's ICC profile.
extern bool IEColorManagementEnabled;
