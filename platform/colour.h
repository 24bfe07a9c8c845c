// Toolkit colours: a signed 32-bit value with red in the low byte, green in
// the next and blue in the third; negative values name system colours
// (window, button face, ...) that resolve to the standard scheme's defaults.
#pragma once

#include <cstdint>

using TColor = int32_t;

constexpr TColor RGBColor(uint8_t r, uint8_t g, uint8_t b) {
    return static_cast<TColor>(uint32_t(r) | uint32_t(g) << 8 | uint32_t(b) << 16);
}
constexpr uint8_t RedOf(TColor c) { return static_cast<uint8_t>(c); }
constexpr uint8_t GreenOf(TColor c) { return static_cast<uint8_t>(c >> 8); }
constexpr uint8_t BlueOf(TColor c) { return static_cast<uint8_t>(c >> 16); }

// System colour constants resolved to RGB; plain colours pass through.
TColor ColorToRGB(TColor color);
