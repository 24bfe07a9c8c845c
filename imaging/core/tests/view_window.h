// An image view in a window of the headless toolkit, for the view's tests:
// a form holding the view (no border, no scroll bars) over a gray picture,
// its window's pixels, and the mouse and wheel injected.
#pragma once

#include "imaging/core/ie_view.h"
#include "platform/ui/application.h"

struct TViewWindow {
    TCustomControl form{nullptr};
    TVidurErView view{&form};

    TViewWindow(int32_t width, int32_t height, int32_t imageWidth, int32_t imageHeight) {
        form.SetBounds(0, 0, width + 40, height + 40);
        form.Handle();
        view.SetBorderStyle(bsNone);
        view.SetScrollBars(ssNone);
        view.SetBounds(0, 0, width, height);
        view.GetIEBitmap()->Allocate(imageWidth, imageHeight, ie24RGB);
        view.GetIEBitmap()->Fill(0x808080);
        view.SetParent(&form);
        view.Update();
        Paint();
    }
    void Paint() {
        view.Invalidate();
        Application().ProcessMessages();
    }
    TBitmap& Surface() { return view.NativeWindow()->Surface(); }
    // The surface's pixel as a TColor-like 0xBBGGRR, and as 0xRRGGBB.
    uint32_t Pixel(int32_t x, int32_t y) {
        const uint8_t* p = Surface().ScanLine(y) + 4 * x;
        return uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
    }
    uint32_t Shown(int32_t x, int32_t y) {
        const uint8_t* p = Surface().ScanLine(y) + 4 * x;
        return uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
    }
    void Mouse(uint32_t msg, int32_t x, int32_t y, intptr_t keys = 0) { Application().MouseInput(form, msg, x, y, keys); }
    void Drag(int32_t x1, int32_t y1, int32_t x2, int32_t y2, intptr_t keys = 0) {
        Mouse(WM_MOUSEMOVE, x1, y1, keys);
        Mouse(WM_LBUTTONDOWN, x1, y1, keys | MK_LBUTTON);
        Mouse(WM_MOUSEMOVE, (x1 + x2) / 2, (y1 + y2) / 2, keys | MK_LBUTTON);
        Mouse(WM_MOUSEMOVE, x2, y2, keys | MK_LBUTTON);
        Mouse(WM_LBUTTONUP, x2, y2, keys);
    }
    void Click(int32_t x, int32_t y, uint32_t down = WM_LBUTTONDOWN, uint32_t up = WM_LBUTTONUP) {
        Mouse(WM_MOUSEMOVE, x, y);
        Mouse(down, x, y, MK_LBUTTON);
        Mouse(up, x, y);
    }
    void Wheel(int32_t x, int32_t y, int delta) { Mouse(WM_MOUSEWHEEL, x, y, MakeWParam(0, delta)); }
};
