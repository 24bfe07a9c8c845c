// Rendering and blending: the blend modes by which a TIEBitmap is drawn onto
// another (the rendering entry points themselves are TIEBitmap's:
// RenderToTIEBitmap, DrawToTIEBitmap, StretchRectTo and their toolkit-bitmap
// forms), and the small canvas helpers of the views: text boxes, hint boxes
// and 3-D frames.
#pragma once

#include <cstdint>
#include <string>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_canvas.h"
#include "platform/canvas.h"

// Combines source into destination per channel by mode 0..37: 0 copy, 1 add,
// 2 difference, 3 divide, 4 multiply, 5 or, 6 and, 7 xor, 8 lighten,
// 9 darken, 10 average, 11 screen, 12 negation, 13 exclusion, 14 overlay,
// 15 hard light, 16 soft light, 17 soft light (integer form), 18 colour
// dodge, 19 colour burn, 20 inverse colour dodge, 21 inverse colour burn,
// 22 soft dodge, 23 soft burn, 24 reflect, 25 glow, 26 freeze, 27 heat,
// 28 subtract, 29 interpolation, 30 stamp, 31-33 red, green or blue only,
// 34 hue, 35 saturation, 36 colour, 37 hue and lightness. Modes above 37
// leave the destination.
void IEBlendPixel(TRGB source, TRGB& destination, uint8_t mode);

// A text in a framed box whose top-left corner (x, y) is kept inside
// widthLimit x heightLimit (written back); save receives what the box covers
// so that the caller can put it back.
void IEDrawTextBox(TCanvas& canvas, int32_t& x, int32_t& y, const std::string& text, const TCanvasFont& font,
                   const TCanvasBrush& brush, TBitmap& save, int32_t widthLimit, int32_t heightLimit,
                   TColor topLeftColor, TColor bottomRightColor);
// A half-transparent yellow hint box as wide as the wider of text and
// widthText.
void IEDrawHintBox(TCanvas& canvas, int32_t& x, int32_t& y, const std::string& text, const std::string& widthText);
// Left and top edges in one colour, bottom and right in the other.
void IEDraw3DFrame(TCanvas& canvas, int32_t left, int32_t top, int32_t right, int32_t bottom, TColor topLeftColor,
                   TColor bottomRightColor);
void IEDraw3DFrame(TIECanvas& canvas, int32_t left, int32_t top, int32_t right, int32_t bottom, TColor topLeftColor,
                   TColor bottomRightColor);
