// Toolkit colours: 32-bit values with red in the low byte, green in the
// second and blue in the third; a value whose top byte is 0xFF names a system
// colour by its index in the low byte (clBtnFace is 0xFF00000F). System
// colours resolve to the classic defaults of the original platform's
// standard scheme, since there is no user scheme to ask here.
#pragma once

#include <cstdint>

using TColor = int32_t;

constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clBtnFace = static_cast<TColor>(0xFF00000F);
constexpr TColor clWindow = static_cast<TColor>(0xFF000005);
constexpr TColor clWindowText = static_cast<TColor>(0xFF000008);
constexpr TColor clHighlight = static_cast<TColor>(0xFF00000D);

// The RGB value (red in the low byte) of a colour, system colours resolved;
// unknown system indexes give black.
TColor ColorToRGB(TColor color);
