// Wide text on a drawing canvas: output and measurement of UTF-16 text with
// the canvas's font and brush, for the controls that draw their own
// captions. Text output moves the canvas's pen position to the end of the
// text, as the system's call does.
#pragma once

#include "controls/ucsystem.h"
#include "platform/canvas.h"
#include "platform/ui/extctrls.h"

// Draws the text with its top-left corner at (x, y). On a right-to-left
// canvas the text starts at x + width + 1.
void WideCanvasTextOut(TCanvas& canvas, int32_t x, int32_t y, const WideString& text, bool rightToLeft = false);
TSize WideCanvasTextExtent(TCanvas& canvas, const WideString& text);
int32_t WideCanvasTextWidth(TCanvas& canvas, const WideString& text);
int32_t WideCanvasTextHeight(TCanvas& canvas, const WideString& text);

// The picture of the Unicode image control: the toolkit's picture, with no
// behaviour of its own.
class TUcPicture : public TPicture {};
