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

// Indexes of the system colour table (the system's COLOR_* numbers) and the
// toolkit colour that names each.
enum : int32_t {
    COLOR_SCROLLBAR = 0, COLOR_BACKGROUND = 1, COLOR_ACTIVECAPTION = 2, COLOR_INACTIVECAPTION = 3, COLOR_MENU = 4,
    COLOR_WINDOW = 5, COLOR_WINDOWFRAME = 6, COLOR_MENUTEXT = 7, COLOR_WINDOWTEXT = 8, COLOR_CAPTIONTEXT = 9,
    COLOR_ACTIVEBORDER = 10, COLOR_INACTIVEBORDER = 11, COLOR_APPWORKSPACE = 12, COLOR_HIGHLIGHT = 13,
    COLOR_HIGHLIGHTTEXT = 14, COLOR_BTNFACE = 15, COLOR_BTNSHADOW = 16, COLOR_GRAYTEXT = 17, COLOR_BTNTEXT = 18,
    COLOR_INACTIVECAPTIONTEXT = 19, COLOR_BTNHIGHLIGHT = 20, COLOR_3DDKSHADOW = 21, COLOR_3DLIGHT = 22,
    COLOR_INFOTEXT = 23, COLOR_INFOBK = 24, COLOR_HOTLIGHT = 26,
};
constexpr TColor SysColor(int32_t index) { return static_cast<TColor>(0xFF000000u | static_cast<uint32_t>(index)); }

// The desktop's scheme: a platform plugin that knows the desktop's colours
// (the Qt plugin, from its palette) sets them here; until then, and after
// ResetSystemColors, the standard scheme's defaults answer.
TColor GetSysColor(int32_t index);
void SetSystemColor(int32_t index, TColor rgb);
void ResetSystemColors();
