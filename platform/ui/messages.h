// Message numbers and records of the toolkit. Controls talk to each other
// and to the backend through numbered messages with two word-sized
// parameters, as the original toolkit did; the numbers are those its code
// was written against, so handlers read as they did there.
#pragma once

#include <cstdint>

struct TMessage {
    uint32_t Msg = 0;
    intptr_t WParam = 0;
    intptr_t LParam = 0;
    intptr_t Result = 0;
};

// A window of the toolkit, as a number: 0 is none. A handle stays unique for
// the life of the process, so a message posted to a window that is gone
// finds nobody and is dropped.
using HWND = uint32_t;

constexpr uint32_t WM_CREATE = 0x0001;
constexpr uint32_t WM_DESTROY = 0x0002;
constexpr uint32_t WM_SIZE = 0x0005;
constexpr uint32_t WM_PAINT = 0x000F;
constexpr uint32_t WM_SETCURSOR = 0x0020;
constexpr uint32_t WM_KEYDOWN = 0x0100;
constexpr uint32_t WM_KEYUP = 0x0101;
constexpr uint32_t WM_CHAR = 0x0102;
constexpr uint32_t WM_TIMER = 0x0113;
constexpr uint32_t WM_HSCROLL = 0x0114;
constexpr uint32_t WM_VSCROLL = 0x0115;
constexpr uint32_t WM_MOUSEMOVE = 0x0200;
constexpr uint32_t WM_LBUTTONDOWN = 0x0201;
constexpr uint32_t WM_LBUTTONUP = 0x0202;
constexpr uint32_t WM_LBUTTONDBLCLK = 0x0203;
constexpr uint32_t WM_RBUTTONDOWN = 0x0204;
constexpr uint32_t WM_RBUTTONUP = 0x0205;
constexpr uint32_t WM_MBUTTONDOWN = 0x0207;
constexpr uint32_t WM_MBUTTONUP = 0x0208;
constexpr uint32_t WM_MOUSEWHEEL = 0x020A;
constexpr uint32_t WM_USER = 0x0400;
// The toolkit's own notifications.
constexpr uint32_t CM_BASE = 0xB000;
constexpr uint32_t CM_MOUSEENTER = CM_BASE + 19;
constexpr uint32_t CM_MOUSELEAVE = CM_BASE + 20;

// Scroll-bar codes (low word of WParam of WM_HSCROLL / WM_VSCROLL; the high
// word carries the thumb position).
constexpr int SB_LINEUP = 0;
constexpr int SB_LINEDOWN = 1;
constexpr int SB_PAGEUP = 2;
constexpr int SB_PAGEDOWN = 3;
constexpr int SB_THUMBPOSITION = 4;
constexpr int SB_THUMBTRACK = 5;
constexpr int SB_TOP = 6;
constexpr int SB_BOTTOM = 7;
constexpr int SB_ENDSCROLL = 8;
// Bars.
constexpr int SB_HORZ = 0;
constexpr int SB_VERT = 1;
// Arrow states.
constexpr int ESB_ENABLE_BOTH = 0;
constexpr int ESB_DISABLE_BOTH = 3;

// Mouse and key state bits of WParam.
constexpr intptr_t MK_LBUTTON = 0x0001;
constexpr intptr_t MK_RBUTTON = 0x0002;
constexpr intptr_t MK_SHIFT = 0x0004;
constexpr intptr_t MK_CONTROL = 0x0008;
constexpr intptr_t MK_MBUTTON = 0x0010;

// Position parameters: x in the low 16 bits, y in the next 16, both signed.
constexpr intptr_t MakeLParam(int x, int y) {
    return static_cast<intptr_t>((static_cast<uint32_t>(y) & 0xFFFF) << 16 | (static_cast<uint32_t>(x) & 0xFFFF));
}
constexpr int LParamX(intptr_t l) { return static_cast<int16_t>(l & 0xFFFF); }
constexpr int LParamY(intptr_t l) { return static_cast<int16_t>((l >> 16) & 0xFFFF); }
constexpr intptr_t MakeWParam(int low, int high) { return MakeLParam(low, high); }
constexpr int LoWord(intptr_t w) { return static_cast<int>(w & 0xFFFF); }
constexpr int HiWord(intptr_t w) { return static_cast<int>((w >> 16) & 0xFFFF); }

// System metrics the controls ask for (the backend answers).
enum TSystemMetric : int {
    SM_CXVSCROLL = 2,
    SM_CYHSCROLL = 3,
    SM_CXBORDER = 5,
    SM_CYBORDER = 6,
    SM_CXEDGE = 45,
    SM_CYEDGE = 46,
};

// Cursor ids: the stock ones are negative, an application's own positive.
using TCursor = int16_t;
constexpr TCursor crDefault = 0;
constexpr TCursor crNone = -1;
constexpr TCursor crArrow = -2;
constexpr TCursor crCross = -3;
constexpr TCursor crIBeam = -4;
constexpr TCursor crSizeNESW = -6;
constexpr TCursor crSizeNS = -7;
constexpr TCursor crSizeNWSE = -8;
constexpr TCursor crSizeWE = -9;
constexpr TCursor crHourGlass = -11;
constexpr TCursor crHandPoint = -21;
constexpr TCursor crSizeAll = -22;
