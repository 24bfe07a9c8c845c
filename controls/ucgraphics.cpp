#include "controls/ucgraphics.h"

void WideCanvasTextOut(TCanvas& canvas, int32_t x, int32_t y, const WideString& text, bool rightToLeft) {
    const int32_t width = text.empty() ? 0 : canvas.TextExtent(text).cx;
    if (rightToLeft) x += width + 1;
    if (!text.empty()) canvas.TextOut(x, y, text);
    canvas.MoveTo(x + width, y);
}

TSize WideCanvasTextExtent(TCanvas& canvas, const WideString& text) {
    if (text.empty()) return {0, 0};
    return canvas.TextExtent(text);
}

int32_t WideCanvasTextWidth(TCanvas& canvas, const WideString& text) { return WideCanvasTextExtent(canvas, text).cx; }

int32_t WideCanvasTextHeight(TCanvas& canvas, const WideString& text) { return WideCanvasTextExtent(canvas, text).cy; }
