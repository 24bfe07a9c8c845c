// The system colours by name: toolkit colours that resolve (ColorToRGB) to
// the desktop scheme's entry of their index.
#pragma once

#include "platform/colour.h"

namespace SystemColours {
constexpr TColor clActiveCaption = static_cast<TColor>(0x80000002);
constexpr TColor clInactiveCaption = static_cast<TColor>(0x80000003);
constexpr TColor clWindow = static_cast<TColor>(0x80000005);
constexpr TColor clWindowFrame = static_cast<TColor>(0x80000006);
constexpr TColor clHighlight = static_cast<TColor>(0x8000000D);
constexpr TColor clBtnFace = static_cast<TColor>(0x8000000F);
constexpr TColor clBtnShadow = static_cast<TColor>(0x80000010);
constexpr TColor clBtnText = static_cast<TColor>(0x80000012);
constexpr TColor clBtnHighlight = static_cast<TColor>(0x80000014);
constexpr TColor cl3DDkShadow = static_cast<TColor>(0x80000015);
}  // namespace SystemColours
