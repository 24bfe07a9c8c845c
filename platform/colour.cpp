#include "platform/colour.h"

#include <algorithm>
#include <iterator>

namespace {

constexpr TColor Rgb(int r, int g, int b) { return r | g << 8 | b << 16; }

// Indexes 0 .. 30 of the system colour table.
constexpr TColor kSystemColors[] = {
    Rgb(200, 200, 200),  // scroll bar
    Rgb(0, 0, 0),        // background
    Rgb(153, 180, 209),  // active caption
    Rgb(191, 205, 219),  // inactive caption
    Rgb(240, 240, 240),  // menu
    Rgb(255, 255, 255),  // window
    Rgb(100, 100, 100),  // window frame
    Rgb(0, 0, 0),        // menu text
    Rgb(0, 0, 0),        // window text
    Rgb(0, 0, 0),        // caption text
    Rgb(180, 180, 180),  // active border
    Rgb(244, 247, 252),  // inactive border
    Rgb(171, 171, 171),  // application workspace
    Rgb(0, 120, 215),    // highlight
    Rgb(255, 255, 255),  // highlight text
    Rgb(240, 240, 240),  // button face
    Rgb(160, 160, 160),  // button shadow
    Rgb(109, 109, 109),  // gray text
    Rgb(0, 0, 0),        // button text
    Rgb(0, 0, 0),        // inactive caption text
    Rgb(255, 255, 255),  // button highlight
    Rgb(105, 105, 105),  // 3-D dark shadow
    Rgb(227, 227, 227),  // 3-D light
    Rgb(0, 0, 0),        // info text
    Rgb(255, 255, 225),  // info background
    Rgb(0, 0, 0),        // (unused)
    Rgb(0, 102, 204),    // hot light
    Rgb(185, 209, 234),  // gradient active caption
    Rgb(215, 228, 242),  // gradient inactive caption
    Rgb(0, 120, 215),    // menu highlight
    Rgb(240, 240, 240),  // menu bar
};

constexpr size_t kSystemColorCount = sizeof kSystemColors / sizeof kSystemColors[0];

// The scheme in use; the user interface thread sets it.
TColor gSchemeColors[kSystemColorCount] = {};
bool gSchemeSet = false;

}  // namespace

TColor GetSysColor(int32_t index) {
    if (index < 0 || static_cast<size_t>(index) >= kSystemColorCount) return 0;
    return gSchemeSet ? gSchemeColors[index] : kSystemColors[index];
}

void SetSystemColor(int32_t index, TColor rgb) {
    if (index < 0 || static_cast<size_t>(index) >= kSystemColorCount) return;
    if (!gSchemeSet) {
        std::copy(std::begin(kSystemColors), std::end(kSystemColors), std::begin(gSchemeColors));
        gSchemeSet = true;
    }
    gSchemeColors[index] = rgb & 0xFFFFFF;
}

void ResetSystemColors() { gSchemeSet = false; }

TColor ColorToRGB(TColor color) {
    if (color >= 0) return color;
    // System colours carry their index in the low byte.
    return GetSysColor(static_cast<int32_t>(static_cast<uint32_t>(color) & 0xFF));
}
