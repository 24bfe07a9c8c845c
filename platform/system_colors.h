// Named toolkit colours. A value whose top byte is 0xFF names a system
// colour by its index in the low byte (clBtnFace is 0xFF00000F);
// ColorToRGB (platform/colour.h) resolves it.
#pragma once

#include "platform/colour.h"

constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clBtnFace = static_cast<TColor>(0xFF00000F);
constexpr TColor clWindow = static_cast<TColor>(0xFF000005);
constexpr TColor clWindowText = static_cast<TColor>(0xFF000008);
constexpr TColor clHighlight = static_cast<TColor>(0xFF00000D);
