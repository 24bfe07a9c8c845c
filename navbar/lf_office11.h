// The Office 2003 look: the colour scheme (from the desktop's visual style:
// blue, olive green, silver, or none), the colour arithmetic its painters
// derive their shades with, gradient fills and the dotted finger grips.
//
// On this platform there are no visual-style files with colour names, so
// the scheme is always "none" (0) and every colour derives from the system
// colours, which the Qt plugin takes from its palette.
#pragma once

#include <cstdint>
#include <string>

#include "platform/canvas.h"

// 0 none, 1 blue, 2 olive green, 3 silver.
uint8_t DetectOffice11Scheme();
// The scheme a visual style's file and colour names give (windowsMajor: the
// system's major version).
uint8_t Office11SchemeFromTheme(const std::string& fileName, const std::string& colorName, int windowsMajor);

uint8_t Office11SchemeIndex();
bool Office11Themed();
void AcquireOffice11Colors();
void RecomputeOffice11Colors();
void DiscardOffice11Colors();
int Office11ColorUsers();

TColor GripFingerDarkColor();
TColor GripFingerLightColor();

struct TNavPaneColors {
    TColor BorderColor, GroupCaptionColor1, GroupCaptionColor2, HotTrackedColor1, HotTrackedColor2, SelectedColor1,
        SelectedColor2, SelectedHotTrackedColor1, SelectedHotTrackedColor2, HeaderColor1, HeaderColor2,
        HeaderFontColor, SplitterColor1, SplitterColor2;
};
const TNavPaneColors& NavPaneColors();

TColor MixSystemShades(int facePercent, int highlightPercent, int windowPercent);
TColor MixRGB(TColor color1, TColor color2, int percent);
TColor ScaleColor(TColor color, int percent);
TColor FadeColor(TColor color, int percent);

void FillRectSolid(TCanvas& canvas, const TRect& r, TColor color);
// Bands of colour from one to the other, left to right (horizontal) or top
// to bottom: min(extent, 256) of them.
void FillRectGradient(TCanvas& canvas, const TRect& r, TColor fromColor, TColor toColor, bool horizontal);
// Fingers: dark dots with light dots one unit down-right, every 4 units
// down (horizontal) or right. clDefault colours are the scheme's fingers.
void DrawGripDots(TCanvas& canvas, const TRect& r, bool horizontal, TColor dark = 0x20000000, TColor light = 0x20000000);
void DrawCornerGrip(TCanvas& canvas, const TRect& r, TColor dark = 0x20000000, TColor light = 0x20000000);
